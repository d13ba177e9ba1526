#include "processing/convfilter.h"

#include "engine/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace orbisk {

using LD = long double;

namespace {

constexpr int kMaxSize = 99;

[[noreturn]] void OutOfRange(const char* What) {
  throw EPGConvFilter(EngineMessage(msgOutOfRange, What));
}

bool Finite(LD V) {
  return std::isfinite(V);
}

// A preset's weight, which must fit the kernel's integers.
int CheckedWeight(LD V, const char* What) {
  if (!(std::fabs(V) <= LD(std::numeric_limits<int>::max()))) OutOfRange(What);
  return int(V);
}

void CheckPercent(LD Percent) {
  if (!(Percent > 0) || !Finite(Percent)) OutOfRange("Percent");
}

} // namespace

LD DistributionWeight(TDistributionShape Shape, LD Sigma, LD X) {
  switch (Shape) {
  case dsGaussian:
    return std::exp(-(X * X) / (2 * (Sigma * Sigma))) /
           (Sigma * std::sqrt(2 * std::numbers::pi_v<LD>));
  case dsTent: {
    LD A = std::sqrt(6.0L) * Sigma;
    return std::fabs(X) <= A ? 1 / A - std::fabs(X) / (A * A) : 0;
  }
  case dsRect: {
    LD A = std::sqrt(3.0L) * Sigma;
    return std::fabs(X) <= A ? 1 / (2 * A) : 0;
  }
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// kernel and settings

TConvFilter::TConvFilter() = default;

int64_t TConvFilter::TKernelState::Sum() const {
  int64_t S = 0;
  for (int K : Kernel)
    S += K;
  return S;
}

int TConvFilter::Kernel(int Col, int Row) const {
  if (Col < 0 || Col >= FWidth || Row < 0 || Row >= FHeight)
    throw EPGConvFilter(EngineMessage(msgXYIndexOutOfRange));
  return FKernel[size_t(Col) + size_t(Row) * size_t(FWidth)];
}

void TConvFilter::SetKernel(int Col, int Row, int Value) {
  if (Col < 0 || Col >= FWidth || Row < 0 || Row >= FHeight)
    throw EPGConvFilter(EngineMessage(msgXYIndexOutOfRange));
  FKernel[size_t(Col) + size_t(Row) * size_t(FWidth)] = Value;
}

void TConvFilter::SetWidth(int W) {
  if (W < 1 || W > kMaxSize) OutOfRange("TConvFilter.Width");
  if (W == FWidth) return;
  FWidth = W;
  FKernel.assign(size_t(FWidth) * size_t(FHeight), 0);
}

void TConvFilter::SetHeight(int H) {
  if (H < 1 || H > kMaxSize) OutOfRange("TConvFilter.Height");
  if (H == FHeight) return;
  FHeight = H;
  FKernel.assign(size_t(FWidth) * size_t(FHeight), 0);
}

void TConvFilter::SetBias(LD V) {
  if (!Finite(V)) OutOfRange("TConvFilter.Bias");
  FBias = V;
}

void TConvFilter::SetFactor(LD V) {
  if (!Finite(V)) OutOfRange("TConvFilter.Factor");
  FFactor = V;
}

TConvFilter::TKernelState TConvFilter::State() const {
  return {FKernel, FWidth, FHeight, FOffsetX, FOffsetY, FBias, FFactor};
}

void TConvFilter::Commit(TKernelState&& K) {
  FKernel = std::move(K.Kernel);
  FWidth = K.Width;
  FHeight = K.Height;
  FOffsetX = K.OffsetX;
  FOffsetY = K.OffsetY;
  FBias = K.Bias;
  FFactor = K.Factor;
}

// ---------------------------------------------------------------------------------------------
// presets

TConvFilter::TKernelState TConvFilter::Distribution(TDistributionShape Shape, bool UseDistance,
                                                    LD Sigma) const {
  TKernelState K = State();
  K.OffsetX = K.OffsetY = 0;
  K.Bias = 0;
  K.Factor = 1;
  if (Shape < dsGaussian || Shape > dsRect) return K; // unknown shape: kernel kept as it is
  if (!(Sigma > 0) || !Finite(Sigma)) OutOfRange("StdDeviation");
  auto Wt = [Shape, Sigma](LD X) { return DistributionWeight(Shape, Sigma, X); };
  const LD W0 = Wt(0);
  const bool Rect = Shape == dsRect;
  const LD Q = Rect ? 0 : (UseDistance ? 16 / W0 : 16 / (W0 * W0));
  // The first distance whose weight rounds to 0 (is 0 for the rectangle) ends the kernel; a
  // kernel wider than the largest size is refused instead of searched for.
  const int MaxL = (kMaxSize + 1) / 2;
  int L = 0;
  for (; L <= MaxL; ++L) {
    bool Zero = Rect ? Wt(L) == 0 : std::nearbyint(UseDistance ? Wt(L) * Q : W0 * Wt(L) * Q) == 0;
    if (Zero) break;
  }
  if (L > MaxL) OutOfRange("TConvFilter.Width");
  const int R = L - 1, Size = 2 * R + 1;
  if (Size < 1) OutOfRange("TConvFilter.Width");
  K.Width = K.Height = Size;
  K.Kernel.assign(size_t(Size) * size_t(Size), 0);
  for (int I = 0; I < Size; ++I)
    for (int J = 0; J < Size; ++J) {
      const LD Dx = J - R, Dy = I - R;
      int V;
      if (Rect) {
        V = UseDistance ? Wt(std::sqrt(Dx * Dx + Dy * Dy)) > 0 : Wt(Dx) * Wt(Dy) > 0;
      } else {
        LD E = UseDistance ? Q * Wt(std::sqrt(Dx * Dx + Dy * Dy)) : Wt(Dx) * Q * Wt(Dy);
        V = int(std::nearbyint(E));
      }
      K.At(J, I) = V;
    }
  K.OffsetX = K.OffsetY = -R;
  return K;
}

void TConvFilter::SetDistributionKernel(TDistributionShape Shape, bool UseDistance, LD Sigma) {
  Commit(Distribution(Shape, UseDistance, Sigma));
}

void TConvFilter::SetSharpenKernel(TDistributionShape Shape, bool UseDistance, LD Percent,
                                   LD Sigma) {
  CheckPercent(Percent);
  TKernelState K = Distribution(Shape, UseDistance, Sigma);
  const int64_t S = K.Sum();
  for (int& E : K.Kernel)
    E = -E;
  K.Center() = CheckedWeight(std::nearbyint(100 / Percent * S), "Percent");
  Commit(std::move(K));
}

void TConvFilter::SetDetailKernel(TDistributionShape Shape, bool UseDistance, LD Percent,
                                  LD Sigma) {
  CheckPercent(Percent);
  TKernelState K = Distribution(Shape, UseDistance, Sigma);
  const int64_t S = K.Sum();
  const int64_t Center = K.Center();
  for (int& E : K.Kernel)
    E = -E;
  K.Center() = CheckedWeight(std::nearbyint(100 / Percent * LD(S - Center + 1)), "Percent");
  Commit(std::move(K));
}

void TConvFilter::SetSmoothKernel(TDistributionShape Shape, bool UseDistance, LD Percent,
                                  LD Sigma) {
  CheckPercent(Percent);
  TKernelState K = Distribution(Shape, UseDistance, Sigma);
  const int64_t S = K.Sum();
  K.Center() = CheckedWeight(K.Center() + std::nearbyint((100 / Percent - 1) * S), "Percent");
  Commit(std::move(K));
}

void TConvFilter::SetContourKernel(TDistributionShape Shape, bool UseDistance, bool WhiteBackground,
                                   LD Percent, LD Sigma) {
  if (!Finite(Percent)) OutOfRange("Percent");
  TKernelState K = Distribution(Shape, UseDistance, Sigma);
  for (int& E : K.Kernel)
    E = -E;
  const int64_t T = K.Sum();
  K.Center() = CheckedWeight(LD(K.Center() - T + 1), "TConvFilter.Kernel");
  K.Bias = WhiteBackground ? 100 : 0;
  K.Factor = WhiteBackground ? Percent : -Percent;
  Commit(std::move(K));
}

void TConvFilter::SetBlurKernel(LD Percent, LD Radius) {
  CheckPercent(Percent);
  const LD Rr = std::nearbyint(Radius);
  // The ring must fit the largest kernel; a negative radius has no ring.
  if (!(Rr >= 0 && Rr <= (kMaxSize - 1) / 2)) OutOfRange("TConvFilter.Width");
  const int R = int(Rr), Size = 2 * R + 1;
  TKernelState K{
      std::vector<int>(size_t(Size) * size_t(Size), 0), Size, Size, -(Size / 2), -(Size / 2), 0, 1};
  for (int A = 0; A < 360; ++A) {
    const LD Angle = A * std::numbers::pi_v<LD> / 180;
    // Rounding is monotonic and |sin| <= 1, so every hit lies within round(Radius) of the
    // centre; the test only guards against the impossible.
    const LD C = std::nearbyint(Radius * std::sin(Angle)) + R;
    const LD Rw = std::nearbyint(Radius * std::cos(Angle)) + R;
    if (C >= 0 && C < Size && Rw >= 0 && Rw < Size) ++K.At(int(C), int(Rw));
  }
  const int64_t S = K.Sum();
  K.Center() = CheckedWeight(K.Center() + std::nearbyint((100 / Percent - 1) * S), "Percent");
  Commit(std::move(K));
}

// ---------------------------------------------------------------------------------------------
// filtering

uint8_t TConvFilter::Output(int64_t C, int64_t W) const {
  LD V = W != 0 ? FFactor * (LD(C) / LD(W)) : FFactor * LD(C);
  V = V + FBias * 255 * 0.01L;
  return ClampToByte(V);
}

TRGB TConvFilter::FilterPixel(int X, int Y) {
  const int SW = FSource->Width(), SH = FSource->Height();
  int64_t W = 0, R = 0, G = 0, B = 0;
  for (int I = 0; I < FHeight; ++I) {
    const int64_t SY = int64_t(Y) + I + FOffsetY;
    if (SY < 0 || SY >= SH) continue;
    for (int J = 0; J < FWidth; ++J) {
      const int64_t SX = int64_t(X) + J + FOffsetX;
      if (SX < 0 || SX >= SW) continue;
      const int64_t K = FKernel[size_t(J) + size_t(I) * size_t(FWidth)];
      const TRGB C = FSource->GetPixelColor(int(SX), int(SY));
      W += K;
      R += K * RedOf(C);
      G += K * GreenOf(C);
      B += K * BlueOf(C);
    }
  }
  return RGBOf(Output(R, W), Output(G, W), Output(B, W));
}

void TConvFilter::Prepare(const TPixelGraphic& Source) {
  TPGFilter::Prepare(Source);
  FTaps.clear();
  FPositive = FNegative = FFullWeight = 0;
  for (int I = 0; I < FHeight; ++I)
    for (int J = 0; J < FWidth; ++J) {
      const int K = FKernel[size_t(J) + size_t(I) * size_t(FWidth)];
      if (K == 0) continue;
      FTaps.push_back({J, I, K});
      (K > 0 ? FPositive : FNegative) += K > 0 ? int64_t(K) : -int64_t(K);
      FFullWeight += K;
    }
  // Whole-kernel pixels look their sums up in a table of the exact results; it pays when the
  // picture has at least as many channel values as the table has entries (the table being
  // built from the same computation, the bytes are the same either way).
  FTable.clear();
  const int64_t Span = (FPositive + FNegative) * 255 + 1;
  const int64_t Outputs = 3 * int64_t(Source.Width()) * Source.Height();
  if (Span <= std::min<int64_t>(1 << 22, Outputs)) {
    FTableMin = -FNegative * 255;
    FTable.resize(size_t(Span));
    // Up to millions of extended-precision divisions: in bands of 4096 entries.
    const int Blocks = int((Span + 4095) / 4096);
    ParallelBands(
        Blocks,
        [&](int B0, int B1) {
          for (int64_t C = int64_t(B0) * 4096; C < std::min<int64_t>(Span, int64_t(B1) * 4096); ++C)
            FTable[size_t(C)] = Output(FTableMin + C, FFullWeight);
        },
        {}, 4);
  }
  // Palette sources are read as colours once, so rows can be filtered on several threads.
  FExpanded.clear();
  if (Source.BitCountNum() != 3 && !Source.Empty()) {
    const int SW = Source.Width();
    const size_t RowSize = 3 * size_t(SW);
    FExpanded.resize(RowSize * size_t(Source.Height()));
    ParallelBands(
        Source.Height(),
        [&](int Y0, int Y1) {
          for (int Y = Y0; Y < Y1; ++Y) {
            uint8_t* P = FExpanded.data() + RowSize * size_t(Y);
            for (int X = 0; X < SW; ++X, P += 3) {
              const TRGB C = Source.GetPixelColor(X, Y);
              P[0] = uint8_t(BlueOf(C));
              P[1] = uint8_t(GreenOf(C));
              P[2] = uint8_t(RedOf(C));
            }
          }
        },
        {}, std::max(8, 16384 / std::max(SW, 1)));
  }
}

void TConvFilter::Finish() {
  FTable.clear();
  FTable.shrink_to_fit();
  FExpanded.clear();
  FExpanded.shrink_to_fit();
  TPGFilter::Finish();
}

const uint8_t* TConvFilter::SourceRow(int SY) const {
  if (FSource->BitCountNum() == 3) return FSource->ScanLine(SY);
  return FExpanded.data() + 3 * size_t(FSource->Width()) * size_t(SY);
}

void TConvFilter::BorderPixel(int X, int Y, int RowLo, int RowHi, uint8_t* Out) {
  const int SW = FSource->Width();
  int64_t W = 0, S[3] = {0, 0, 0};
  for (const TTap& T : FTaps) {
    if (T.Row < RowLo || T.Row > RowHi) continue;
    const int64_t SX = int64_t(X) + T.Col + FOffsetX;
    if (SX < 0 || SX >= SW) continue;
    const uint8_t* P = SourceRow(int(int64_t(Y) + T.Row + FOffsetY)) + 3 * SX;
    W += T.Weight;
    for (int C = 0; C < 3; ++C)
      S[C] += int64_t(T.Weight) * P[C];
  }
  for (int C = 0; C < 3; ++C)
    Out[3 * int64_t(X) + C] = Output(S[C], W);
}

namespace {

// A += K * P over N channel bytes. Whole blocks of 16 let the compiler use vector
// instructions even where it does not vectorise loops of unknown length.
template <class TAcc> inline void AddTap(TAcc* A, const uint8_t* P, int K, size_t N) {
  const TAcc Kc = TAcc(K);
  size_t I = 0;
  for (; I + 16 <= N; I += 16)
    for (size_t J = 0; J < 16; ++J)
      A[I + J] = TAcc(A[I + J] + Kc * P[I + J]);
  for (; I < N; ++I)
    A[I] = TAcc(A[I] + Kc * P[I]);
}

} // namespace

template <class TAcc>
void TConvFilter::InteriorSpan(int Y, int RowLo, int RowHi, int XLo, int XHi, uint8_t* Out) {
  // Chunks keep the sums in the first-level cache while every tap adds its row segment.
  constexpr size_t kChunk = 3 * 1024;
  alignas(32) TAcc A[kChunk];
  const bool Whole = RowLo == 0 && RowHi == FHeight - 1;
  const bool Table = Whole && !FTable.empty();
  int64_t W = 0;
  for (const TTap& T : FTaps)
    if (T.Row >= RowLo && T.Row <= RowHi) W += T.Weight;
  const size_t Begin = 3 * size_t(XLo), Total = 3 * (size_t(XHi) - size_t(XLo) + 1);
  for (size_t C0 = 0; C0 < Total; C0 += kChunk) {
    const size_t N = std::min(kChunk, Total - C0);
    std::fill(A, A + N, TAcc(0));
    for (const TTap& T : FTaps) {
      if (T.Row < RowLo || T.Row > RowHi) continue;
      const uint8_t* P =
          SourceRow(Y + T.Row + FOffsetY) + Begin + C0 + 3 * (int64_t(T.Col) + FOffsetX);
      AddTap(A, P, T.Weight, N);
    }
    uint8_t* O = Out + Begin + C0;
    if (Table) {
      const uint8_t* Tb = FTable.data();
      const int32_t Min = int32_t(FTableMin);
      for (size_t I = 0; I < N; ++I)
        O[I] = Tb[int32_t(A[I]) - Min];
    } else {
      for (size_t I = 0; I < N; ++I)
        O[I] = Output(A[I], W);
    }
  }
}

void TConvFilter::FilterRow(int Y, uint8_t* Out) {
  const int SW = FSource->Width(), SH = FSource->Height();
  // Kernel rows and output columns whose taps all lie inside the picture.
  const int RowLo = int(std::clamp<int64_t>(-int64_t(Y) - FOffsetY, 0, FHeight));
  const int RowHi = int(std::clamp<int64_t>(int64_t(SH) - 1 - Y - FOffsetY, -1, FHeight - 1));
  const int64_t XLo = std::max<int64_t>(0, -int64_t(FOffsetX));
  const int64_t XHi = std::min<int64_t>(SW - 1, int64_t(SW) - 1 - FOffsetX - (FWidth - 1));
  // Sums that might not fit 32 bits take the pixel-by-pixel path in 64 bits.
  const bool Fits32 = FPositive * 255 <= std::numeric_limits<int32_t>::max() &&
                      FNegative * 255 <= std::numeric_limits<int32_t>::max();
  if (RowLo > RowHi || XLo > XHi || !Fits32) {
    for (int X = 0; X < SW; ++X)
      BorderPixel(X, Y, RowLo, RowHi, Out);
    return;
  }
  for (int X = 0; X < XLo; ++X)
    BorderPixel(X, Y, RowLo, RowHi, Out);
  // The narrowest sums that hold every partial sum: they double the work per instruction.
  if (FPositive * 255 <= std::numeric_limits<int16_t>::max() &&
      FNegative * 255 <= -int64_t(std::numeric_limits<int16_t>::min()))
    InteriorSpan<int16_t>(Y, RowLo, RowHi, int(XLo), int(XHi), Out);
  else if (FNegative == 0 && FPositive * 255 <= std::numeric_limits<uint16_t>::max())
    InteriorSpan<uint16_t>(Y, RowLo, RowHi, int(XLo), int(XHi), Out);
  else
    InteriorSpan<int32_t>(Y, RowLo, RowHi, int(XLo), int(XHi), Out);
  for (int64_t X = XHi + 1; X < SW; ++X)
    BorderPixel(int(X), Y, RowLo, RowHi, Out);
}

} // namespace orbisk
