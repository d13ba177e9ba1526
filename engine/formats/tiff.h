// TIFF: the engine's own reader and writer (uncompressed and PackBits strips; bilevel, grey,
// palette, RGB and CMYK; both byte orders). Files the own reader cannot read (other
// compressions, tiles, planes, other depths, alpha, BigTIFF) are read through libtiff
// (tifflib.h), and so are the reduced-resolution subfiles a reduced picture is taken from.
#pragma once

#include "engine/registry.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orbisk {

class TTIFFileFormatReader : public TFileFormatReader {
public:
  TTIFFileFormatReader() : TTIFFileFormatReader("tif") {}
  std::string ClassName() const override { return "TTIFFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options = {}) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options = {}) override;

protected:
  explicit TTIFFileFormatReader(const char* Ext);
};

class TTIFFFileFormatReader : public TTIFFileFormatReader {
public:
  TTIFFFileFormatReader() : TTIFFileFormatReader("tiff") {}
  std::string ClassName() const override { return "TTIFFFileFormatReader"; }
};

class TTIFFileFormatWriter : public TFileFormatWriter {
public:
  TTIFFileFormatWriter() : TTIFFileFormatWriter("tif", true) {}
  std::string ClassName() const override { return "TTIFFileFormatWriter"; }
  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                    const TWriteOptions& Options = {}) override;

protected:
  TTIFFileFormatWriter(const char* Ext, bool IsListed);
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
public:
  TTIFFFileFormatWriter() : TTIFFileFormatWriter("tiff", false) {}
  std::string ClassName() const override { return "TTIFFFileFormatWriter"; }
};

// PackBits coding of one row, appended to Out. Runs of two between single bytes are sent as
// literals, runs and literals are cut at 128 bytes.
void PackBitsEncodeRow(const uint8_t* Row, size_t Count, std::vector<uint8_t>& Out);

} // namespace orbisk
