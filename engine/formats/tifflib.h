// TIFF files beyond the engine's own strip reader, decoded through libtiff: every compression
// the library knows (LZW, Deflate, JPEG, fax, ...), tiles, separate planes, 2-, 12-, 16- and
// 32-bit samples, alpha, and the colour spaces the library converts (YCbCr, CIE L*a*b*, ...).
// Results match what the engine's own reader gives for the same pixels stored uncompressed:
// bilevel, grey and palette files stay palette pictures, CMYK uses the same conversion.
#pragma once

#include "engine/registry.h"

#include <cstdint>
#include <string>

namespace orbisk {

// Why the library could not give a picture. Final: the reason stands as the file's error (rows
// were decoded, the page does not exist, the picture passes the pixel limit); otherwise the
// library made nothing of the file and the engine's own reader may report it in its own words.
struct TTIFFLibraryFailure {
  std::string Text; // tagged "TIFF: "
  bool Final = false;
};

// What the library reports about one page.
struct TTIFFLibraryInfo {
  bool BigEndian = false;
  int GraphicCount = 1;
  uint32_t Width = 0, Height = 0;
  uint32_t Compression = 1, Photometric = 0;
  uint32_t BitsPerPixel = 0;
  bool Decodable = true; // the first row or tile decodes (probed for compressions 2 to 6)
};

// Decodes page Index of the TIFF data starting at the stream's position into Image, alpha
// composited onto Image's background colour; sets Image.ExifOrientation from the Orientation
// tag. Throws TTIFFLibraryFailure. The other pages are counted: Index may be any of them.
void ReadTIFFWithLibrary(TPGStream& Stream, TPixelGraphic& Image, int Index,
                         const TReadOptions& Options = {});

// A reduced decode of the first page (Image.ReducedSize above 0): decodes the smallest reduced-
// resolution subfile of the page (in its SubIFDs, or marked reduced in the directories that
// follow it) whose size answers the request, with the page's orientation, and sets
// Image.FullWidth and FullHeight to the page's size. False, with Image untouched, when the page
// has no such subfile. Throws TTIFFLibraryFailure when the library cannot open the file or the
// subfile fails to decode.
bool ReadReducedTIFFWithLibrary(TPGStream& Stream, TPixelGraphic& Image,
                                const TReadOptions& Options = {});

// Describes page Index; for the compressions the engine's own reader names as unsupported
// (CCITT, fax, LZW, old JPEG) it also tries to decode the first row or tile. Throws
// TTIFFLibraryFailure.
TTIFFLibraryInfo DescribeTIFFWithLibrary(TPGStream& Stream, int Index,
                                         const TReadOptions& Options = {});

} // namespace orbisk
