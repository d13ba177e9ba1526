#include "processing/fastbmp.h"

#include "processing/random.h"

#include "engine/parallel.h"

#include <algorithm>
#include <cstring>

namespace orbisk {

void TFastBMP::SetSize(int W, int H) {
  if (W < 0) throw EPGInvalidSize(EngineMessage(msgNegativeWidth));
  if (H < 0) throw EPGInvalidSize(EngineMessage(msgNegativeHeight));
  if (int64_t(W) * H > PixelAllocationLimit())
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

namespace {

// Rows a band takes at least: enough pixels that handing a band to another thread pays.
int MinBandRows(int W) {
  return std::max(8, 16384 / std::max(W, 1));
}

// Row groups of a fixed size, so that the rows at their edges are known before they run.
int GroupRows(int W, int H) {
  const int Threads = std::max(EngineThreadCount(), 1);
  return std::max({MinBandRows(W), (H + 8 * Threads - 1) / (8 * Threads), 1});
}

// The program-wide sequence from a given seed, drawn as TRandomRun draws it.
struct TSeededRandom {
  uint32_t Seed;
  int operator()(int N) {
    Seed = NextRandSeed(Seed);
    if (N <= 0) return 0;
    return int((uint64_t(uint32_t(N)) * Seed) >> 32);
  }
};

// The seed after Count steps of the sequence from Seed (the steps' affine maps composed by
// squaring), so that bands of a noise effect start where a single run would be.
uint32_t AdvanceSeed(uint32_t Seed, uint64_t Count) {
  uint32_t A = 134775813u, C = 1u; // one step: s -> A s + C
  uint32_t RA = 1u, RC = 0u;       // the steps taken so far
  static_assert(NextRandSeed(0) == 1u && NextRandSeed(1) == 134775814u);
  for (; Count; Count >>= 1) {
    if (Count & 1) {
      RA = A * RA;
      RC = A * RC + C;
    }
    C = A * C + C;
    A = A * A;
  }
  return RA * Seed + RC;
}

// Runs Body(Seeded, Y0, Y1) over bands of H rows that draw Draws numbers a row, each band from
// the seed a single run would have there; the shared seed ends where a single run leaves it.
template <class TBody> void RandomRows(int W, int H, uint64_t Draws, TBody&& Body) {
  const uint32_t Seed0 = RandSeed.load(std::memory_order_relaxed);
  ParallelBands(
      H,
      [&](int Y0, int Y1) {
        TSeededRandom Rnd{AdvanceSeed(Seed0, Draws * uint64_t(Y0))};
        Body(Rnd, Y0, Y1);
      },
      {}, MinBandRows(W));
  RandSeed.store(AdvanceSeed(Seed0, Draws * uint64_t(std::max(H, 0))), std::memory_order_relaxed);
}

} // namespace

void TFastBMP::LoadFrom(const TPixelGraphic& G) {
  SetSize(G.Width(), G.Height());
  if (Empty() || G.Empty()) return;
  ParallelBands(
      FHeight,
      [&](int Y0, int Y1) {
        for (int Y = Y0; Y < Y1; ++Y) {
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
      },
      {}, MinBandRows(FWidth));
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
  ParallelBands(
      FHeight,
      [&](int Y0, int Y1) {
        for (int Y = Y0; Y < Y1; ++Y)
          std::memcpy(G.ScanLine(Y), Row(Y), size_t(3) * size_t(FWidth));
      },
      {}, MinBandRows(FWidth));
}

namespace {

inline uint8_t ClampAdd(uint8_t V, int D) {
  return uint8_t(std::clamp(int(V) + D, 0, 255));
}

} // namespace

// The noise effects draw a fixed count of numbers a pixel in pixel order, so every band knows
// where in the sequence its rows begin.
void TFastBMP::AddColorNoise(int N) {
  N = std::max(N, 0);
  const int Half = N / 2;
  RandomRows(FWidth, FHeight, 3 * uint64_t(FWidth), [&](TSeededRandom& Rnd, int Y0, int Y1) {
    for (int Y = Y0; Y < Y1; ++Y) {
      uint8_t* P = Row(Y);
      for (int X = 0; X < FWidth; ++X, P += 3)
        for (int K = 0; K < 3; ++K)
          P[K] = ClampAdd(P[K], Rnd(N) - Half);
    }
  });
}

void TFastBMP::AddMonoNoise(int N) {
  N = std::max(N, 0);
  const int Half = N / 2;
  RandomRows(FWidth, FHeight, uint64_t(FWidth), [&](TSeededRandom& Rnd, int Y0, int Y1) {
    for (int Y = Y0; Y < Y1; ++Y) {
      uint8_t* P = Row(Y);
      for (int X = 0; X < FWidth; ++X, P += 3) {
        const int D = Rnd(N) - Half;
        for (int K = 0; K < 3; ++K)
          P[K] = ClampAdd(P[K], D);
      }
    }
  });
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
  // Three draws a pixel (the amount, the column, the row), whatever they give.
  RandomRows(FWidth, FHeight, 3 * uint64_t(FWidth), [&](TSeededRandom& Rnd, int Y0, int Y1) {
    for (int Y = Y0; Y < Y1; ++Y) {
      uint8_t* D = Dest.Row(Y);
      for (int X = 0; X < FWidth; ++X, D += 3) {
        const int C = Rnd(N);
        const int SX = int(std::clamp<int64_t>(int64_t(X) + C - Rnd(2 * C), 0, FWidth - 1));
        const int SY = int(std::clamp<int64_t>(int64_t(Y) + C - Rnd(2 * C), 0, FHeight - 1));
        std::memcpy(D, Pixel(SX, SY), 3);
      }
    }
  });
}

void TFastBMP::Mosaic(int XSize, int YSize) {
  if (XSize <= 0 || YSize <= 0 || Empty()) return;
  const int64_t OX = XSize / 2 + XSize % 2, OY = YSize / 2 + YSize % 2;
  // The sample of a block lies in the block or on the first row or column of the next one, which
  // are still untouched when the block is filled, so the mosaic can work in place. Groups of
  // block rows run at once; a sample row beyond the group (only with blocks one row high) is
  // read from a copy taken before any group starts.
  const int64_t BlockRows = (int64_t(FHeight) + YSize - 1) / YSize;
  const int64_t PerGroup =
      std::max<int64_t>(1, (int64_t(GroupRows(FWidth, FHeight)) + YSize - 1) / YSize);
  const int Groups = int((BlockRows + PerGroup - 1) / PerGroup);
  const size_t RowSize = size_t(3) * size_t(FWidth);
  std::vector<uint8_t> Edges;
  if (OY >= YSize && Groups > 1) {
    Edges.resize(RowSize * size_t(Groups));
    for (int G = 0; G + 1 < Groups; ++G) {
      const int64_t End = std::min<int64_t>(int64_t(G + 1) * PerGroup * YSize, FHeight);
      if (End < FHeight) std::memcpy(Edges.data() + RowSize * size_t(G), Row(int(End)), RowSize);
    }
  }
  ParallelBands(
      Groups,
      [&](int G0, int G1) {
        for (int G = G0; G < G1; ++G) {
          const int64_t GroupEnd = std::min<int64_t>(int64_t(G + 1) * PerGroup * YSize, FHeight);
          for (int64_t BY = int64_t(G) * PerGroup * YSize; BY < GroupEnd; BY += YSize) {
            const int SY = int(std::min<int64_t>(BY + OY, FHeight - 1));
            const uint8_t* SampleRow =
                SY >= GroupEnd ? Edges.data() + RowSize * size_t(G) : Row(SY);
            const int64_t EY = std::min<int64_t>(BY + YSize, FHeight);
            for (int64_t BX = 0; BX < FWidth; BX += XSize) {
              const int SX = int(std::min<int64_t>(BX + OX, FWidth - 1));
              const int64_t EX = std::min<int64_t>(BX + XSize, FWidth);
              uint8_t C[3];
              std::memcpy(C, SampleRow + 3 * int64_t(SX), 3);
              for (int64_t Y = BY; Y < EY; ++Y) {
                uint8_t* P = Pixel(int(BX), int(Y));
                for (int64_t X = BX; X < EX; ++X, P += 3)
                  std::memcpy(P, C, 3);
              }
            }
          }
        }
      },
      {}, 1);
}

void TFastBMP::Emboss() {
  if (Empty()) return;
  // The last two rows take their neighbour from column 1 of the last row (column 0 when the
  // picture is one pixel wide).
  uint8_t Last[3];
  std::memcpy(Last, Pixel(std::min(1, FWidth - 1), FHeight - 1), 3);
  // Each row reads the row below as it was: groups of rows run at once, the last row of a group
  // reading the next group's first row from a copy taken before any group starts.
  const int PerGroup = GroupRows(FWidth, FHeight);
  const int Groups = (FHeight + PerGroup - 1) / PerGroup;
  const size_t RowSize = size_t(3) * size_t(FWidth);
  std::vector<uint8_t> Edges(Groups > 1 ? RowSize * size_t(Groups) : 0);
  for (int G = 1; G < Groups; ++G)
    std::memcpy(Edges.data() + RowSize * size_t(G), Row(G * PerGroup), RowSize);
  ParallelBands(
      Groups,
      [&](int G0, int G1) {
        for (int G = G0; G < G1; ++G) {
          const int Y1 = std::min(FHeight, (G + 1) * PerGroup);
          for (int Y = G * PerGroup; Y < Y1; ++Y) {
            uint8_t* P = Row(Y);
            const bool UseLast = Y >= FHeight - 2;
            const uint8_t* Below = UseLast       ? nullptr
                                   : Y + 1 == Y1 ? Edges.data() + RowSize * size_t(G + 1)
                                                 : Row(Y + 1);
            for (int X = 0; X < FWidth; ++X, P += 3) {
              const uint8_t* Q = UseLast ? Last : Below + 3 * int64_t(std::min(X + 1, FWidth - 1));
              for (int K = 0; K < 3; ++K)
                P[K] = uint8_t(((255 - Q[K]) + P[K]) / 2);
            }
          }
        }
      },
      {}, 1);
}

} // namespace orbisk
