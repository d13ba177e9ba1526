// BMP, DIB and RLE decoding of arbitrary bytes, through the file reader and as a packed bitmap.
#include "engine/formats/bmp.h"
#include "engine/stream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  orbisk::TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  orbisk::SetPixelAllocationLimit(int64_t(1) << 22); // packed bitmaps, outside a load
  {
    orbisk::TPixelGraphic G;
    G.ReadWarningAction = orbisk::pgwaIgnore;
    orbisk::TPGMemoryStream M(Data, Size);
    try {
      orbisk::StreamingBMPReader().ReadGraphic(M, G, 0, Read);
      // What was read must survive being written and read again.
      orbisk::TPGMemoryStream Out;
      G.WriteData(Out);
      Out.SetPosition(0);
      orbisk::TPixelGraphic Back;
      Back.ReadData(Out);
    } catch (const orbisk::EPixelGraphic&) {
    }
  }
  {
    orbisk::TPixelGraphic G;
    G.ReadWarningAction = orbisk::pgwaIgnore;
    try {
      G.LoadFromPackedDIB(Data, Size);
      for (int Y = 0; Y < G.Height(); Y += 7)
        for (int X = 0; X < G.Width(); X += 7)
          G.GetPixelColor(X, Y);
    } catch (const orbisk::EPixelGraphic&) {
    }
  }
  return 0;
}
