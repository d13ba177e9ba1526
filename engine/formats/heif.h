// HEIF and HEIC: reader of the primary picture (10- and 12-bit samples reduced to 8, alpha
// composited onto the background colour, the container's crop, rotation and mirror applied),
// over libheif. AVIF files under a general brand are handed to the AVIF reader.
#pragma once

#include "engine/registry.h"

namespace orbisk {

class EPGHEIFFileFormatReader : public EPixelGraphic {
public:
  explicit EPGHEIFFileFormatReader(const std::string& Msg) : EPixelGraphic(Msg) {}
};

class THEICFileFormatReader : public TFileFormatReader {
public:
  THEICFileFormatReader() : THEICFileFormatReader("heic") {}
  std::string ClassName() const override { return "THEICFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info) override;

protected:
  explicit THEICFileFormatReader(const char* Ext);
};

class THEIFFileFormatReader : public THEICFileFormatReader {
public:
  THEIFFileFormatReader() : THEICFileFormatReader("heif") {}
  std::string ClassName() const override { return "THEIFFileFormatReader"; }
};

} // namespace orbisk
