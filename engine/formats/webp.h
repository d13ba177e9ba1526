// WebP: reader of still pictures and of the first frame of animations (alpha composited onto
// the background colour; scaled down by the library when a reduced picture is asked), writer of
// lossy files (quality from the JPEG quality setting) or lossless files with the picture's
// metadata blocks, over libwebp and libwebpmux.
#pragma once

#include "engine/registry.h"

namespace orbisk {

class EPGWebPFileFormatReaderWriter : public EPixelGraphic {
public:
  explicit EPGWebPFileFormatReaderWriter(const std::string& Msg) : EPixelGraphic(Msg) {}
};

// True for a RIFF container of the WEBP form.
bool IsWebPSignature(const uint8_t* Header, size_t Size);

class TWebPFileFormatReader : public TFileFormatReader {
public:
  TWebPFileFormatReader();
  std::string ClassName() const override { return "TWebPFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options = {}) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options = {}) override;
};

class TWebPFileFormatWriter : public TFileFormatWriter {
public:
  TWebPFileFormatWriter();
  std::string ClassName() const override { return "TWebPFileFormatWriter"; }
  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                    const TWriteOptions& Options = {}) override;
};

} // namespace orbisk
