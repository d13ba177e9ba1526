// JPEG (jpg, jpeg, jif): reader into 8-bit grey or 24-bit pictures, writer of baseline or
// progressive JFIF files, over libjpeg's classic interface. A picture's ReducedSize is honoured
// by DCT scaling (the smallest scale M/8 that keeps the wanted size, see TPixelGraphic).
#pragma once

#include "engine/registry.h"

namespace orbisk {

// Progressive files with more scans than this are refused: each scan walks the whole picture,
// so a crafted file with thousands of empty scans would otherwise decode for minutes.
constexpr int JPEGMaxScans = 500;

class TJPGFileFormatReader : public TFileFormatReader {
public:
  TJPGFileFormatReader() : TJPGFileFormatReader("jpg") {}
  std::string ClassName() const override { return "TJPGFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options = {}) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options = {}) override;

protected:
  explicit TJPGFileFormatReader(const char* Ext);
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
public:
  TJPEGFileFormatReader() : TJPGFileFormatReader("jpeg") {}
  std::string ClassName() const override { return "TJPEGFileFormatReader"; }
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
public:
  TJIFFileFormatReader() : TJPGFileFormatReader("jif") {}
  std::string ClassName() const override { return "TJIFFileFormatReader"; }
};

class TJPGFileFormatWriter : public TFileFormatWriter {
public:
  TJPGFileFormatWriter() : TJPGFileFormatWriter("jpg", true) {}
  std::string ClassName() const override { return "TJPGFileFormatWriter"; }
  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                    const TWriteOptions& Options = {}) override;

protected:
  TJPGFileFormatWriter(const char* Ext, bool IsListed);
};

class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJPEGFileFormatWriter() : TJPGFileFormatWriter("jpeg", false) {}
  std::string ClassName() const override { return "TJPEGFileFormatWriter"; }
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJIFFileFormatWriter() : TJPGFileFormatWriter("jif", false) {}
  std::string ClassName() const override { return "TJIFFileFormatWriter"; }
};

} // namespace orbisk
