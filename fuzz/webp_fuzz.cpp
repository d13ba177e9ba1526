// Feeds arbitrary bytes to the WebP reader (stills, animations, full and scaled) and its header
// query, and writes small pictures back, lossy and lossless.
#include "engine/formats/webp.h"
#include "fuzz/fuzz_reader.h"

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::ReadAndDescribe("webp", Data, Size);
  fuzz::ReadReduced("webp", Data, Size);
  const TReadOptions Read = fuzz::FuzzReadOptions();
  TPixelGraphic G;
  G.SetBackGroundColor(RGBOf(200, 100, 50));
  try {
    TPGMemoryStream S(Data, Size);
    TWebPFileFormatReader().ReadGraphic(S, G, 0, Read);
  } catch (const EPixelGraphic&) {
    return 0;
  }
  if (G.Empty() || int64_t(G.Width()) * G.Height() > 4096) return 0;
  TWriteOptions Write;
  Write.WebPLossless = Size % 2 != 0;
  try {
    TPGMemoryStream Out;
    TWebPFileFormatWriter().WriteGraphic(Out, G, Write);
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
