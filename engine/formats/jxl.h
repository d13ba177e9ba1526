// JPEG XL: reader of still pictures and of the first frame of animations (alpha composited onto
// the background colour, the codestream's orientation applied, pictures coded in the format's
// own colour space shown as sRGB; CMYK pictures are refused; a reduced picture asked of a lossy
// still is taken from its low-frequency pass at 1/8 of the size), over libjxl.
#pragma once

#include "engine/registry.h"

namespace orbisk {

class EPGJXLFileFormatReader : public EPixelGraphic {
public:
  explicit EPGJXLFileFormatReader(const std::string& Msg) : EPixelGraphic(Msg) {}
};

class TJXLFileFormatReader : public TFileFormatReader {
public:
  TJXLFileFormatReader();
  std::string ClassName() const override { return "TJXLFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options = {}) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options = {}) override;
};

} // namespace orbisk
