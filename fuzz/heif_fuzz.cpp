// Feeds arbitrary bytes to the HEIF/HEIC reader (which hands AVIF files under the general brand
// to the AVIF decoder), its thumbnail reading and its header query.
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
  fuzz::ReadAndDescribe("heic", Data, Size);
  ReadReduced("heic", Data, Size);
  return 0;
}
