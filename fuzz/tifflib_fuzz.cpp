// TIFF through libtiff, for every input (also those the engine's own strip reader would take),
// pages and reduced subfiles: any input must end in a picture or a tagged failure, within the
// pixel limit.
#include "engine/formats/tifflib.h"
#include "engine/pixelgraphic.h"
#include "engine/stream.h"

#include <cstdint>
#include <cstdlib>

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  for (int Index = 0; Index < 2; ++Index) {
    try {
      TPGMemoryStream In(Data, Size);
      const TTIFFLibraryInfo Info = DescribeTIFFWithLibrary(In, Index, Read);
      if (Info.GraphicCount < 1) std::abort();
    } catch (const TTIFFLibraryFailure& F) {
      if (F.Text.compare(0, 6, "TIFF: ") != 0) std::abort();
    }
    TPixelGraphic Image;
    Image.SetBackGroundColor(Size % 2 ? 0xFFFFFF : 0);
    try {
      TPGMemoryStream In(Data, Size);
      ReadTIFFWithLibrary(In, Image, Index, Read);
    } catch (const TTIFFLibraryFailure& F) {
      if (F.Text.compare(0, 6, "TIFF: ") != 0) std::abort();
    }
    if (int64_t(Image.Width()) * Image.Height() > Read.MaxPixelCount) std::abort();
  }
  if (Size > 0) { // a reduced-resolution subfile, for a thumbnail
    TPixelGraphic Image;
    Image.ReducedSize = 1 + Data[Size - 1] % 48;
    try {
      TPGMemoryStream In(Data, Size);
      if (ReadReducedTIFFWithLibrary(In, Image, Read) &&
          (Image.Width() > Image.FullWidth || Image.Height() > Image.FullHeight))
        std::abort();
    } catch (const TTIFFLibraryFailure& F) {
      if (F.Text.compare(0, 6, "TIFF: ") != 0) std::abort();
    }
  }
  return 0;
}
