// Feeds arbitrary bytes to the thumbnails' scaled JPEG decoding at several cell sizes. The
// decoder has no Qt in it, so its source is compiled in here with the engine alone.
#include "thumbnails/scaledjpeg.cpp"

#include <algorithm>
#include <cstdint>

using namespace orbisk;

namespace {

// The explorer's rule, without the rest of the thumbnail code.
TSize2 Fit(int W, int H, int S) {
  if (W < S && H < S) return {std::max(W, 1), std::max(H, 1)};
  if (W > H) return {S, std::max(1, int(int64_t(H) * S / std::max(W, 1)))};
  return {std::max(1, int(int64_t(W) * S / std::max(H, 1))), S};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  SetPixelAllocationLimit(int64_t(1) << 22);
  const int S = Size % 2 ? 64 : 128;
  TPixelGraphic G;
  int W = 0, H = 0;
  try {
    LoadScaledJPEG(Data, Size, Fit, S, G, W, H);
  } catch (const EPixelGraphic&) {
    return 0;
  }
  // The output is never smaller than the fitted size of the full picture.
  const TSize2 Want = Fit(W, H, S);
  if (G.Width() < Want.Width || G.Height() < Want.Height) __builtin_trap();
  return 0;
}
