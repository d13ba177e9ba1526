#include "processing/fastbmp.h"

#include "processing/random.h"

#include <algorithm>
#include <cstring>

namespace orbisk {

int PartsFor(int64_t Pixels, int64_t MaxParts) {
  if (Pixels < (int64_t(1) << 18)) return 1;
  const int64_t Cores = std::max<unsigned>(std::thread::hardware_concurrency(), 1u);
  return int(std::clamp<int64_t>(std::min<int64_t>(Cores, 8), 1, std::max<int64_t>(MaxParts, 1)));
}

void TFastBMP::SetSize(int W, int H) {
  if (W < 0) throw EPGInvalidSize(EngineMessage(msgNegativeWidth));
  if (H < 0) throw EPGInvalidSize(EngineMessage(msgNegativeHeight));
  if (int64_t(W) * H > MaxPixelCount)
    throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));
  if (W == 0 || H == 0) W = H = 0;
  const int64_t RB = TPixelGraphic::RowBytesFor(W, 24);
  std::vector<uint8_t> Buffer(size_t(RB * H), 0);
  FBuffer.swap(Buffer);
  FWidth = W;
  FHeight = H;
  FRowBytes = RB;
  FRows.resize(size_t(H));
  for (int Y = 0; Y < H; ++Y)
    FRows[size_t(Y)] = FBuffer.data() + int64_t(Y) * RB;
}

void TFastBMP::Assign(const TFastBMP& Source) {
  if (&Source == this) return;
  SetSize(Source.Width(), Source.Height());
  if (!FBuffer.empty()) std::memcpy(FBuffer.data(), Source.FBuffer.data(), FBuffer.size());
}

void TFastBMP::LoadFrom(const TPixelGraphic& G) {
  SetSize(G.Width(), G.Height());
  if (Empty() || G.Empty()) return;
  for (int Y = 0; Y < FHeight; ++Y) {
    uint8_t* D = Row(Y);
    if (G.BitCountNum() == 3) {
      std::memcpy(D, G.ScanLine(Y), size_t(3) * size_t(FWidth));
      continue;
    }
    for (int X = 0; X < FWidth; ++X, D += 3) {
      const TRGB C = G.GetPixelColor(X, Y);
      D[0] = uint8_t(BlueOf(C));
      D[1] = uint8_t(GreenOf(C));
      D[2] = uint8_t(RedOf(C));
    }
  }
}

TRGB BackgroundColorOf(const TPixelGraphic& G) {
  const uint32_t V = G.BackGroundColor();
  if (G.BitCountNum() == 3 || G.PaletteKind() == pTrueColor) return V & 0xFFFFFF;
  const auto& P = G.Palette();
  if (V < P.size()) return P[V];
  return P.empty() ? 0 : P[0];
}

void SetTrueColorSize(TPixelGraphic& G, int W, int H) {
  if (G.BitCountNum() != 3) {
    const TRGB C = BackgroundColorOf(G);
    G.SetSize(W, H, 3);
    G.SetBackGroundColor(C);
  } else {
    G.SetSize(W, H, 3);
  }
}

void TFastBMP::CopyTo(TPixelGraphic& G) const {
  TUpdateScope Update(G);
  SetTrueColorSize(G, FWidth, FHeight);
  if (G.Empty()) return;
  for (int Y = 0; Y < FHeight; ++Y)
    std::memcpy(G.ScanLine(Y), Row(Y), size_t(3) * size_t(FWidth));
}

namespace {

inline uint8_t ClampAdd(uint8_t V, int D) {
  return uint8_t(std::clamp(int(V) + D, 0, 255));
}

} // namespace

void TFastBMP::AddColorNoise(int N) {
  N = std::max(N, 0);
  TRandomRun Rnd;
  const int Half = N / 2;
  for (int Y = 0; Y < FHeight; ++Y) {
    uint8_t* P = Row(Y);
    for (int X = 0; X < FWidth; ++X, P += 3)
      for (int K = 0; K < 3; ++K)
        P[K] = ClampAdd(P[K], Rnd(N) - Half);
  }
}

void TFastBMP::AddMonoNoise(int N) {
  N = std::max(N, 0);
  TRandomRun Rnd;
  const int Half = N / 2;
  for (int Y = 0; Y < FHeight; ++Y) {
    uint8_t* P = Row(Y);
    for (int X = 0; X < FWidth; ++X, P += 3) {
      const int D = Rnd(N) - Half;
      for (int K = 0; K < 3; ++K)
        P[K] = ClampAdd(P[K], D);
    }
  }
}

void TFastBMP::Spray(TFastBMP& Dest, int N) const {
  if (&Dest == this) {
    // Scattering needs the untouched pixels.
    TFastBMP Copy;
    Copy.Assign(*this);
    Copy.Spray(Dest, N);
    return;
  }
  if (Dest.Width() != FWidth || Dest.Height() != FHeight) Dest.SetSize(FWidth, FHeight);
  // Twice the amount must stay an int.
  N = std::clamp(N, 0, 1 << 29);
  TRandomRun Rnd;
  for (int Y = 0; Y < FHeight; ++Y) {
    uint8_t* D = Dest.Row(Y);
    for (int X = 0; X < FWidth; ++X, D += 3) {
      const int C = Rnd(N);
      const int SX = int(std::clamp<int64_t>(int64_t(X) + C - Rnd(2 * C), 0, FWidth - 1));
      const int SY = int(std::clamp<int64_t>(int64_t(Y) + C - Rnd(2 * C), 0, FHeight - 1));
      std::memcpy(D, Pixel(SX, SY), 3);
    }
  }
}

void TFastBMP::Mosaic(int XSize, int YSize) {
  if (XSize <= 0 || YSize <= 0 || Empty()) return;
  const int64_t OX = XSize / 2 + XSize % 2, OY = YSize / 2 + YSize % 2;
  // The sample of a block lies in the block or on the first row or column of the next one, which
  // are still untouched when the block is filled, so the mosaic can work in place.
  for (int64_t BY = 0; BY < FHeight; BY += YSize) {
    const int SY = int(std::min<int64_t>(BY + OY, FHeight - 1));
    const int64_t EY = std::min<int64_t>(BY + YSize, FHeight);
    for (int64_t BX = 0; BX < FWidth; BX += XSize) {
      const int SX = int(std::min<int64_t>(BX + OX, FWidth - 1));
      const int64_t EX = std::min<int64_t>(BX + XSize, FWidth);
      uint8_t C[3];
      std::memcpy(C, Pixel(SX, SY), 3);
      for (int64_t Y = BY; Y < EY; ++Y) {
        uint8_t* P = Pixel(int(BX), int(Y));
        for (int64_t X = BX; X < EX; ++X, P += 3)
          std::memcpy(P, C, 3);
      }
    }
  }
}

void TFastBMP::Emboss() {
  if (Empty()) return;
  // The last two rows take their neighbour from column 1 of the last row (column 0 when the
  // picture is one pixel wide).
  uint8_t Last[3];
  std::memcpy(Last, Pixel(std::min(1, FWidth - 1), FHeight - 1), 3);
  for (int Y = 0; Y < FHeight; ++Y) {
    uint8_t* P = Row(Y);
    const bool UseLast = Y >= FHeight - 2;
    const uint8_t* Below = UseLast ? nullptr : Row(Y + 1);
    for (int X = 0; X < FWidth; ++X, P += 3) {
      const uint8_t* Q = UseLast ? Last : Below + 3 * int64_t(std::min(X + 1, FWidth - 1));
      for (int K = 0; K < 3; ++K)
        P[K] = uint8_t(((255 - Q[K]) + P[K]) / 2);
    }
  }
}

} // namespace orbisk
