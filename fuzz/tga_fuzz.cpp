// Feeds arbitrary bytes to the Targa reader and its header query, and writes back what it read.
#include "engine/formats/tga.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <cstdint>

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  TFileFormatReader* Reader = nullptr;
  for (auto* R : FileFormatReaders())
    if (R->Extension == "tga") Reader = R;
  try {
    TPGMemoryStream S(Data, Size);
    TGraphicFileInfo Info;
    Reader->GetInfo(S, 0, Info, Read);
  } catch (const EPixelGraphic&) {
  }
  TPixelGraphic G;
  try {
    TPGMemoryStream S(Data, Size);
    Reader->ReadGraphic(S, G, 0, Read);
  } catch (const EPixelGraphic&) {
  }
  if (G.Empty() || int64_t(G.Width()) * G.Height() > 4096) return 0;
  // Every index must have a palette entry.
  for (int Y = 0; Y < G.Height(); ++Y)
    for (int X = 0; X < G.Width(); ++X)
      (void)G.GetPixelColor(X, Y);
  for (bool RLE : {false, true}) {
    TWriteOptions Write;
    Write.TGAWriteRLE = RLE;
    TPGMemoryStream Out;
    FindWriter("tga")->WriteGraphic(Out, G, Write);
  }
  return 0;
}
