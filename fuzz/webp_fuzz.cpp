// Feeds arbitrary bytes to the WebP reader (stills, animations, full and scaled) and its header
// query, and writes small pictures back, lossy and lossless.
#include "engine/formats/webp.h"
#include "fuzz/fuzz_reader.h"

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::ReadAndDescribe("webp", Data, Size);
  fuzz::ReadReduced("webp", Data, Size);
  TPixelGraphic G;
  G.SetBackGroundColor(RGBOf(200, 100, 50));
  try {
    TPGMemoryStream S(Data, Size);
    TWebPFileFormatReader().ReadGraphic(S, G, 0);
  } catch (const EPixelGraphic&) {
    return 0;
  }
  if (G.Empty() || int64_t(G.Width()) * G.Height() > 4096) return 0;
  WebPLossless = Size % 2 != 0;
  try {
    TPGMemoryStream Out;
    TWebPFileFormatWriter().WriteGraphic(Out, G);
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
