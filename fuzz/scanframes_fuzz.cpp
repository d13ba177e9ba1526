// Scanned frames and packed bitmaps on arbitrary input: the first bytes are a frame's parameters
// as a device might report them (any values), the rest arrives as scan data in pieces of varying
// size, for up to three frames; the finished bitmap, and the input itself taken as a packed
// bitmap, go through the BMP writer. Nothing may be read or written out of bounds, and a bitmap
// the assembler makes must always be writable.
#include "engine/pixelgraphic.h"
#include "platform/packedbitmap.h"
#include "platform/scanframes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

int32_t Take32(const uint8_t*& Data, size_t& Size) {
  int32_t V = 0;
  if (Size >= 4) {
    std::memcpy(&V, Data, 4);
    Data += 4;
    Size -= 4;
  }
  return V;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace orbisk;

  std::vector<uint8_t> File;
  PackedBitmapToBMP(Data, Size, File); // the input as a packed bitmap

  TFrameAssembler A(300, 1 << 16); // small allocations; the checks are the same
  const uint8_t* P = Data;
  size_t Left = Size;
  try {
    for (int F = 0; F < 3 && !A.Complete(); ++F) {
      TFrameParams Params;
      Params.Format = Take32(P, Left) % 6;
      Params.LastFrame = Take32(P, Left) & 1;
      // Small or absurd sizes, both signs.
      Params.BytesPerLine = Take32(P, Left) % 4096;
      Params.PixelsPerLine = Take32(P, Left) % 4096;
      Params.Lines = Take32(P, Left) % 512;
      Params.Depth = Take32(P, Left) % 20;
      const size_t Frame = Left > 0 ? size_t(P[0]) * 37 % (Left + 1) : 0;
      A.BeginFrame(Params);
      size_t Done = 0;
      while (Done < Frame) {
        const size_t Piece = std::min<size_t>(Frame - Done, 1 + (P[Done] % 97));
        A.Add(P + Done, Piece);
        Done += Piece;
      }
      P += Frame;
      Left -= Frame;
      A.EndFrame();
    }
  } catch (const EScanFrame&) {
    return 0;
  }
  const TNativeBitmap B = A.Finish();
  if (B.empty()) return 0;
  if (PackedBitmapToBMP(B.data(), B.size(), File) != kNativeWritten) std::abort();
  if (File.size() != B.size() + 14) std::abort();
  return 0;
}
