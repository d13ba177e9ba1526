// Feeds arbitrary bytes to the moving-picture reader (WebP, AVIF, JPEG XL, APNG): opens them,
// plays a few frames, rewinds and plays the first again.
#include "engine/animation.h"
#include "engine/messages.h"

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    auto A = TAnimation::FromBytes(std::vector<uint8_t>(Data, Data + Size));
    if (int64_t(A->Width()) * A->Height() > (1 << 20)) return 0;
    TPixelGraphic F;
    int Ms = 0;
    for (int I = 0; I < 8 && A->NextFrame(F, Ms); ++I) {
    }
    A->Rewind();
    A->NextFrame(F, Ms);
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
