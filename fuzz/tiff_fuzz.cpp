// TIFF reader, its own strips and libtiff's files, reduced subfiles for thumbnails (and the
// writer on whatever it decodes): any input must end in a picture or an EPixelGraphic error.
#include "engine/formats/tiff.h"
#include "engine/pixelgraphic.h"
#include "engine/stream.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  TTIFFileFormatReader Reader;
  TTIFFileFormatWriter Writer;
  for (int Pass = 0; Pass < 2; ++Pass) {
    Read.TIFFReadAllImages = Pass == 1;
    Read.TIFFMaxImages = 64;
    TPixelGraphic Image;
    Image.ReadWarningAction = pgwaIgnore;
    try {
      TPGMemoryStream In(Data, Size);
      TGraphicFileInfo Info;
      Reader.GetInfo(In, 0, Info, Read);
    } catch (const EPixelGraphic&) {
    }
    try {
      TPGMemoryStream In(Data, Size);
      Reader.ReadGraphic(In, Image, Pass, Read);
    } catch (const EPixelGraphic&) {
    }
    if (Size > 0) { // read for a thumbnail: a reduced subfile, else the page
      TPixelGraphic Small;
      Small.ReadWarningAction = pgwaIgnore;
      Small.ReducedSize = 1 + Data[Size - 1] % 48;
      try {
        TPGMemoryStream In(Data, Size);
        Reader.ReadGraphic(In, Small, 0, Read);
      } catch (const EPixelGraphic&) {
      }
      if (Small.FullWidth && (Small.Width() > Small.FullWidth || Small.Height() > Small.FullHeight))
        std::abort();
    }
    // A two-colour picture that is not black and white is converted by saving, not here.
    if (Image.Empty() || (Image.BitCountNum() == 0 && Image.PaletteKind() != pBlackWhite)) continue;
    // Whatever was decoded must survive a write and a read back unchanged.
    TWriteOptions Write;
    Write.TIFFCompression = Pass ? kTIFFCompressionPackBits : kTIFFCompressionNone;
    Write.TIFFBigEndian = Size % 2;
    Write.TIFFWriteCMYK = Size % 3 == 0;
    TPGMemoryStream Out;
    Writer.WriteGraphic(Out, Image, Write);
    TPixelGraphic Back;
    TPGMemoryStream In(Out.Memory(), size_t(Out.Size()));
    TReadOptions Single = Read;
    Single.TIFFReadAllImages = false;
    Reader.ReadGraphic(In, Back, 0, Single);
    const size_t RowLen = (size_t(Image.BitCount()) * Image.Width() + 7) / 8;
    if (Back.Width() != Image.Width() || Back.Height() != Image.Height() ||
        Back.BitCountNum() != Image.BitCountNum())
      std::abort();
    // A palette shorter than the depth holds comes back padded with black.
    for (int I = 0; I < Image.PaletteCount(); ++I)
      if (Back.GetPaletteEntry(I) != Image.GetPaletteEntry(I)) std::abort();
    for (int Y = 0; Y < Image.Height(); ++Y)
      if (std::memcmp(Image.ScanLine(Y), Back.ScanLine(Y), RowLen) != 0) std::abort();
  }
  return 0;
}
