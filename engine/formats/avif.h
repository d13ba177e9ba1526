// AVIF: reader of the primary picture (10- and 12-bit samples reduced to 8, alpha composited
// onto the background colour, the container's crop, rotation and mirror applied) and writer of
// 8-bit files at the JPEG quality setting with the picture's metadata blocks, over libavif.
#pragma once

#include "engine/registry.h"

#include <vector>

namespace orbisk {

class EPGAVIFFileFormatReaderWriter : public EPixelGraphic {
public:
  explicit EPGAVIFFileFormatReaderWriter(const std::string& Msg) : EPixelGraphic(Msg) {}
};

// The brand of an ISO base media file ("ftyp" box) at the start of Header, or "" when the first
// box is not one. Header holds at least 12 bytes.
std::string FileTypeBrand(const uint8_t* Header);
// True when the "ftyp" box at the start of Data lists Brand as major or compatible brand.
bool HasCompatibleBrand(const std::vector<uint8_t>& Data, const char* Brand);

// Decodes a whole AVIF file held in Data into Image (the HEIF reader hands AVIF files under a
// general brand to it as well).
void DecodeAVIF(const std::vector<uint8_t>& Data, TPixelGraphic& Image,
                const TReadOptions& Options = {});
void DescribeAVIF(const std::vector<uint8_t>& Data, TGraphicFileInfo& Info, int64_t MaxPixelCount);

class TAVIFFileFormatReader : public TFileFormatReader {
public:
  TAVIFFileFormatReader();
  std::string ClassName() const override { return "TAVIFFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options = {}) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options = {}) override;
};

class TAVIFFileFormatWriter : public TFileFormatWriter {
public:
  TAVIFFileFormatWriter();
  std::string ClassName() const override { return "TAVIFFileFormatWriter"; }
  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                    const TWriteOptions& Options = {}) override;
};

} // namespace orbisk
