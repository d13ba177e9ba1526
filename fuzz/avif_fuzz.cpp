// Feeds arbitrary bytes to the AVIF reader and its header query, and writes tiny pictures back.
#include "engine/formats/avif.h"
#include "fuzz/fuzz_reader.h"

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::ReadAndDescribe("avif", Data, Size);
  const TReadOptions Read = fuzz::FuzzReadOptions();
  TPixelGraphic G;
  try {
    TPGMemoryStream S(Data, Size);
    TAVIFFileFormatReader().ReadGraphic(S, G, 0, Read);
  } catch (const EPixelGraphic&) {
    return 0;
  }
  // Encoding is slow: only the smallest pictures go back through the writer.
  if (G.Empty() || int64_t(G.Width()) * G.Height() > 256) return 0;
  try {
    TPGMemoryStream Out;
    TAVIFFileFormatWriter().WriteGraphic(Out, G, TWriteOptions{});
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
