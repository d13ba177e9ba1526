#pragma once
// Metadata blocks a picture file carries beside its pixels (camera data, colour profile, XMP),
// handed from a source file to a file written from it.
#include <cstddef>
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

// The largest blocks taken from a file; larger ones are left out.
constexpr size_t kMaxExifBytes = 4 * 1024 * 1024;
constexpr size_t kMaxIccBytes = 16 * 1024 * 1024;
constexpr size_t kMaxXmpBytes = 16 * 1024 * 1024;

// The metadata a picture file carries; empty when it has none or cannot be read. Never throws.
// JPEG (APP1 Exif, APP2 ICC_PROFILE chunks, APP1 XMP), PNG (eXIf, iCCP, iTXt XMP), TIFF (the
// descriptive tags of the first directory with its Exif and GPS directories, ICC tag 34675, XMP
// tag 700), WebP (EXIF, ICCP and XMP chunks), HEIF and AVIF (the primary picture's Exif and XMP
// items and its colour profile).
TImageMetadata ReadImageMetadata(const std::string& FileName);

// Fits the blocks to pixels written at Width x Height: the EXIF pixel dimensions are updated, and
// the orientation becomes 1 when ResetOrientation is set (the pixels were turned upright or
// turned by the user). The EXIF thumbnail is dropped when it no longer shows the picture (turned
// pixels or another pixel size).
void FitMetadataToPicture(TImageMetadata& M, int Width, int Height, bool ResetOrientation);

// Blocks taken apart from the bytes they are stored in (also used by the readers of other
// modules). Each returns false, leaving the result empty, when the bytes are not sound.
// An EXIF block with or without the "Exif\0\0" prefix of a JPEG segment: the TIFF-structured
// block itself.
bool ExifBlockFromBytes(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Exif);
// A TIFF-structured EXIF block built from a TIFF file's first directory: the tags that describe
// the picture (not its layout), with the Exif and GPS directories, in the file's byte order.
bool ExifBlockFromTIFF(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Exif);

// The EXIF block laid out for a TIFF file's own directory, in the file's byte order: the entries
// that describe the picture (camera, dates, orientation, the Exif and GPS directories; not the
// resolution, which the file's writer gives) to merge into the picture's directory, and the
// bytes they point into, to be written at file offset Base. False when the block holds nothing
// to write.
struct TTIFFMetadataEntry {
  uint16_t Tag = 0, Type = 0;
  uint32_t Count = 0;
  uint8_t Field[4] = {}; // the value field, in the file's byte order
};
bool ExifForTIFF(const std::vector<uint8_t>& Exif, bool BigEndian, uint32_t Base,
                 std::vector<TTIFFMetadataEntry>& Entries, std::vector<uint8_t>& Data);

} // namespace orbisk
