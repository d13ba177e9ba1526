// PNG: reader of every colour type and depth into 1-, 4-, 8- or 24-bit pictures (transparency
// composited onto a background), writer of palette, grey and true-colour files, over libpng.
#pragma once

#include "engine/registry.h"

namespace orbisk {

class TPNGFileFormatReader : public TFileFormatReader {
public:
  TPNGFileFormatReader();
  std::string ClassName() const override { return "TPNGFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options = {}) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options = {}) override;
};

class TPNGFileFormatWriter : public TFileFormatWriter {
public:
  TPNGFileFormatWriter();
  std::string ClassName() const override { return "TPNGFileFormatWriter"; }
  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                    const TWriteOptions& Options = {}) override;
};

} // namespace orbisk
