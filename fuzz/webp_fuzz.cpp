// Feeds arbitrary bytes to the WebP reader (stills, animations, full and scaled) and its header
// query, and writes small pictures back, lossy and lossless.
#include "engine/formats/webp.h"
#include "fuzz/fuzz_reader.h"

using namespace orbisk;

namespace {

// The same bytes read for a thumbnail: the last byte picks the size asked for.
void ReadReduced(const char* Ext, const uint8_t* Data, size_t Size) {
  if (Size == 0) return;
  TPixelGraphic G;
  G.ReducedSize = 1 + Data[Size - 1] % 48;
  try {
    TPGMemoryStream S(Data, Size);
    fuzz::ReaderFor(Ext).ReadGraphic(S, G, 0);
  } catch (const EPixelGraphic&) {
    return;
  }
  // A reduced picture is never larger than the stored one.
  if (G.FullWidth && (G.Width() > G.FullWidth || G.Height() > G.FullHeight)) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::ReadAndDescribe("webp", Data, Size);
  ReadReduced("webp", Data, Size);
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
