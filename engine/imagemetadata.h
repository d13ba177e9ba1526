#pragma once
// Metadata blocks a picture file carries beside its pixels (camera data, colour profile, XMP),
// handed from a source file to a file written from it.
#include <cstdint>
#include <string>
#include <vector>

namespace orbisk {

struct TImageMetadata {
  // A TIFF-structured EXIF block: starts with "II*\0" or "MM\0*" (no "Exif\0\0" prefix).
  std::vector<uint8_t> Exif;
  std::vector<uint8_t> Icc; // an ICC profile
  std::string Xmp;          // an XMP packet (UTF-8 XML)
  bool Empty() const { return Exif.empty() && Icc.empty() && Xmp.empty(); }
};

// The metadata a picture file carries; empty when it has none or cannot be read. Never throws.
TImageMetadata ReadImageMetadata(const std::string& FileName);

// Fits the blocks to pixels written at Width x Height: the EXIF pixel dimensions are updated, and
// the orientation becomes 1 when ResetOrientation is set (the pixels were turned upright or
// turned by the user).
void FitMetadataToPicture(TImageMetadata& M, int Width, int Height, bool ResetOrientation);

} // namespace orbisk
