// Feeds arbitrary bytes to the JPEG reader and its header query, and writes back what it read.
#include "engine/formats/jpeg.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <cstdint>

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  TJPGFileFormatReader Reader;
  try {
    TPGMemoryStream S(Data, Size);
    TGraphicFileInfo Info;
    Reader.GetInfo(S, 0, Info, Read);
  } catch (const EPixelGraphic&) {
  }
  TPixelGraphic G;
  // Both warning paths: carrying on after a warning and raising it.
  G.ReadWarningAction = Size % 2 ? pgwaIgnore : pgwaRaise;
  G.FastJPEGDecode = Size % 3 == 0;
  // Three inputs in four take the reduced (DCT-scaled) decode of some size.
  G.ReducedSize = Size % 4 == 0 ? 0 : int(Data[Size / 2] % 64) + 1 + int(Size % 7) * 40;
  try {
    TPGMemoryStream S(Data, Size);
    Reader.ReadGraphic(S, G, 0, Read);
  } catch (const EPixelGraphic&) {
    return 0;
  }
  if (G.Empty() || int64_t(G.Width()) * G.Height() > 4096) return 0;
  try {
    TPGMemoryStream Out;
    TJPGFileFormatWriter().WriteGraphic(Out, G, TWriteOptions{});
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
