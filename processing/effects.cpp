#include "processing/effects.h"

#include "engine/parallel.h"

#include "processing/colorfilters.h"
#include "processing/convfilter.h"
#include "processing/transforms.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace orbisk {

// ---------------------------------------------------------------------------------------------
// fast-bitmap effects

void ApplyFastEffect(TFastEffect Effect, const TFastBMP& Source, TFastBMP& Work, int Amount) {
  if (Effect == feSprayPaint) {
    Source.Spray(Work, Amount);
    return;
  }
  Work.Assign(Source);
  switch (Effect) {
  case feMonoNoise:
    Work.AddMonoNoise(Amount);
    break;
  case feColorNoise:
    Work.AddColorNoise(Amount);
    break;
  case feMosaic:
    Work.Mosaic(Amount, Amount);
    break;
  default:
    break;
  }
}

void FastEffectPicture(TPixelGraphic& Picture, TFastEffect Effect, int Amount) {
  const TFastBMP Source(Picture);
  TFastBMP Work;
  ApplyFastEffect(Effect, Source, Work, Amount);
  Work.CopyTo(Picture);
}

void EmbossPicture(TPixelGraphic& Picture) {
  TFastBMP B(Picture);
  B.Emboss();
  B.CopyTo(Picture);
}

void EffectPreviewSize(int Width, int Height, int& PreviewWidth, int& PreviewHeight) {
  if (Width <= 0 || Height <= 0) {
    PreviewWidth = PreviewHeight = 0;
    return;
  }
  const long double Aspect = static_cast<long double>(Width) / Height;
  if (Width >= Height) {
    PreviewWidth = 240;
    PreviewHeight = int(std::max(1.0L, std::nearbyint(240 / Aspect)));
  } else {
    PreviewHeight = 240;
    PreviewWidth = int(std::max(1.0L, std::nearbyint(Aspect * 240)));
  }
}

void BuildEffectPreview(const TPixelGraphic& Picture, TFastBMP& Preview) {
  int PW, PH;
  EffectPreviewSize(Picture.Width(), Picture.Height(), PW, PH);
  TPixelGraphic Small;
  Small.SetSize(PW, PH, 3);
  Small.StretchFrom(Picture);
  Preview.LoadFrom(Small);
}

// ---------------------------------------------------------------------------------------------
// Gaussian blur

TGaussianKernel GaussianKernel(float Radius) {
  float W[201];
  float Sum = 0;
  for (int I = 0; I <= 200; ++I) {
    const float Q = float(I - 100) / Radius;
    W[I] = std::exp(-(Q * Q) / 2);
    Sum += W[I];
  }
  for (float& V : W)
    V /= Sum;
  int J = 100;
  float Tail = 0;
  while (Tail < 1.0f / 510 && J > 1) {
    Tail += 2 * W[100 + J];
    --J;
  }
  TGaussianKernel K;
  K.HalfWidth = J;
  K.Weights.assign(W + 100 - J, W + 100 + J + 1);
  Sum = 0;
  for (float V : K.Weights)
    Sum += V;
  for (float& V : K.Weights)
    V /= Sum;
  return K;
}

namespace {

// Four doubles; plain SSE2 pairs in the generic build, one AVX register in the AVX2 one.
typedef double TV4 __attribute__((vector_size(32)));

inline void LoadV4(TV4& V, const double* P) {
  std::memcpy(&V, P, sizeof V);
}

inline uint8_t TruncByte(double V) {
  return uint8_t(int(std::min(std::max(V, 0.0), 255.0))); // toward zero
}

// Out[i] = sum over t of Taps[t] * Rows[t][i], the taps added in order, truncated to a byte, for
// i < N. Sixteen sums at a time stay in registers while the taps run over them; lanes never mix,
// so each sum is formed exactly as one after the other. Paired: the taps are symmetric and every
// partial sum is exact (see GaussianBlur), so mirrored rows are added first and multiplied once.
template <bool Paired>
[[gnu::always_inline]] inline void SumBody(const double* const* Rows, const double* Taps, int NT,
                                           uint8_t* Out, int N) {
  const int Singles = Paired ? NT / 2 : 0;
  int I = 0;
  for (; I + 16 <= N; I += 16) {
    TV4 A0 = {}, A1 = {}, A2 = {}, A3 = {};
    for (int T = Singles; T < NT; ++T) {
      const double* R = Rows[T] + I;
      const TV4 Wt = {Taps[T], Taps[T], Taps[T], Taps[T]};
      TV4 V0, V1, V2, V3;
      LoadV4(V0, R);
      LoadV4(V1, R + 4);
      LoadV4(V2, R + 8);
      LoadV4(V3, R + 12);
      if constexpr (Paired) {
        if (T != Singles) {
          const double* Q = Rows[NT - 1 - T] + I;
          TV4 U0, U1, U2, U3;
          LoadV4(U0, Q);
          LoadV4(U1, Q + 4);
          LoadV4(U2, Q + 8);
          LoadV4(U3, Q + 12);
          V0 += U0, V1 += U1, V2 += U2, V3 += U3;
        }
      }
      A0 += Wt * V0, A1 += Wt * V1, A2 += Wt * V2, A3 += Wt * V3;
    }
    double Sums[16];
    std::memcpy(Sums, &A0, sizeof A0);
    std::memcpy(Sums + 4, &A1, sizeof A1);
    std::memcpy(Sums + 8, &A2, sizeof A2);
    std::memcpy(Sums + 12, &A3, sizeof A3);
    for (int K = 0; K < 16; ++K)
      Out[I + K] = TruncByte(Sums[K]);
  }
  for (; I < N; ++I) {
    double A = 0;
    for (int T = 0; T < NT; ++T)
      A += Taps[T] * Rows[T][I];
    Out[I] = TruncByte(A);
  }
}

template <class TElem>
[[gnu::always_inline]] inline void WidenBody(const uint8_t* In, TElem* Out, int64_t N) {
  for (int64_t I = 0; I < N; ++I)
    Out[I] = TElem(In[I]);
}

// The blur's weights as exact integers: with every weight at least 2^-21 (a single-precision
// number, so a whole multiple of 2^-44), weight n is M[n] / 2^44 for n = 0..J (the kernel is
// symmetric), and a blurred value is floor(sum of M[n] * (v(-n) + v(+n)) / 2^44) exactly, which is
// what the double sums give (see GaussianBlur). M[n] is cut into 15 + 15 + 14 bits for products
// in 16-bit lanes; Pairs holds the high and middle parts of offsets 2k and 2k + 1 side by side.
struct TExactTaps {
  std::vector<int64_t> M;
  std::vector<uint32_t> High, Mid; // per pair of offsets: offset 2k in the low half, 2k + 1 above
};

// floor(sum M[n] * (Rows[J - n][I] + Rows[J + n][I]) / 2^44) (the centre counted once), exactly.
template <class TSrc>
inline uint8_t ExactAt(const TSrc* const* Rows, const TExactTaps& X, int J, int I) {
  int64_t S = X.M[0] * Rows[J][I];
  for (int N = 1; N <= J; ++N)
    S += X.M[size_t(N)] * (int(Rows[J - N][I]) + int(Rows[J + N][I]));
  return uint8_t(std::clamp<int64_t>(S >> 44, 0, 255));
}

struct TBlurKernels {
  void (*Sum)(const double* const* Rows, const double* Taps, int NT, uint8_t* Out, int N,
              bool Paired);
  void (*Widen)(const uint8_t* In, double* Out, int64_t N);
  // The exact integer sums, when the processor has the instructions that make them pay: over
  // widened rows (across) and over byte rows (down).
  void (*SumExact)(const int16_t* const* Rows, const TExactTaps& X, int J, uint8_t* Out, int N);
  void (*SumExact8)(const uint8_t* const* Rows, const TExactTaps& X, int J, uint8_t* Out, int N);
  void (*Widen16)(const uint8_t* In, int16_t* Out, int64_t N);
};

void SumGeneric(const double* const* Rows, const double* Taps, int NT, uint8_t* Out, int N,
                bool Paired) {
  if (Paired)
    SumBody<true>(Rows, Taps, NT, Out, N);
  else
    SumBody<false>(Rows, Taps, NT, Out, N);
}
void WidenGeneric(const uint8_t* In, double* Out, int64_t N) {
  WidenBody(In, Out, N);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same code for processors with AVX2: four lanes per register instead of two.
__attribute__((target("avx2"))) void SumAVX2(const double* const* Rows, const double* Taps, int NT,
                                             uint8_t* Out, int N, bool Paired) {
  if (Paired)
    SumBody<true>(Rows, Taps, NT, Out, N);
  else
    SumBody<false>(Rows, Taps, NT, Out, N);
}
__attribute__((target("avx2"))) void WidenAVX2(const uint8_t* In, double* Out, int64_t N) {
  WidenBody(In, Out, N);
}
__attribute__((target("avx2"))) void Widen16AVX2(const uint8_t* In, int16_t* Out, int64_t N) {
  int64_t I = 0;
  for (; I + 16 <= N; I += 16)
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(Out + I),
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(In + I))));
  for (; I < N; ++I)
    Out[I] = In[I];
}

[[gnu::always_inline]] inline __m256i __attribute__((target("avx2"))) Load16(const int16_t* P) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P));
}
[[gnu::always_inline]] inline __m256i __attribute__((target("avx2"))) Load16(const uint8_t* P) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P)));
}

// Sixteen values at a time: the mirrored rows are added in 16-bit lanes, two offsets are
// interleaved and multiplied by the high and middle parts of their weights with pairwise sums
// into 32 bits. The sum is known up to the low parts, which add less than 255 * (2J + 1) units
// of 2^-30; where that leaves the whole part in doubt the group is summed exactly instead.
template <class TSrc>
[[gnu::always_inline]] inline void __attribute__((target("avx2")))
SumExactBody(const TSrc* const* Rows, const TExactTaps& X, int J, uint8_t* Out, int N) {
  const int Pairs = int(X.High.size()), Full = (J + 1) / 2; // pairs below Full have both offsets
  const __m256i Low15 = _mm256_set1_epi32(0x7FFF);
  const __m256i Doubt = _mm256_set1_epi32((1 << 30) - 1 - 255 * (2 * J + 1));
  int I = 0;
  for (; I + 16 <= N; I += 16) {
    __m256i HL = _mm256_setzero_si256(), HH = HL, ML = HL, MH = HL;
    auto Add = [&](int K, __m256i P0, __m256i P1) __attribute__((target("avx2"))) {
      const __m256i Lo = _mm256_unpacklo_epi16(P0, P1);
      const __m256i Hi = _mm256_unpackhi_epi16(P0, P1);
      const __m256i CH = _mm256_set1_epi32(int(X.High[size_t(K)]));
      const __m256i CM = _mm256_set1_epi32(int(X.Mid[size_t(K)]));
      HL = _mm256_add_epi32(HL, _mm256_madd_epi16(Lo, CH));
      HH = _mm256_add_epi32(HH, _mm256_madd_epi16(Hi, CH));
      ML = _mm256_add_epi32(ML, _mm256_madd_epi16(Lo, CM));
      MH = _mm256_add_epi32(MH, _mm256_madd_epi16(Hi, CM));
    };
    auto Mirrored = [&](int Off) __attribute__((target("avx2"))) {
      return _mm256_add_epi16(Load16(Rows[J - Off] + I), Load16(Rows[J + Off] + I));
    };
    Add(0, Load16(Rows[J] + I), Mirrored(1)); // J is at least 1
    for (int K = 1; K < Full; ++K)
      Add(K, Mirrored(2 * K), Mirrored(2 * K + 1));
    if (Pairs > Full) Add(Full, Mirrored(2 * Full), _mm256_setzero_si256());
    // Value = (H * 2^15 + M) / 2^30 + less than the doubt margin.
    const __m256i SL = _mm256_add_epi32(HL, _mm256_srli_epi32(ML, 15));
    const __m256i SH = _mm256_add_epi32(HH, _mm256_srli_epi32(MH, 15));
    const __m256i FL = _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(SL, Low15), 15),
                                       _mm256_and_si256(ML, Low15));
    const __m256i FH = _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(SH, Low15), 15),
                                       _mm256_and_si256(MH, Low15));
    const __m256i Bad =
        _mm256_or_si256(_mm256_cmpgt_epi32(FL, Doubt), _mm256_cmpgt_epi32(FH, Doubt));
    if (!_mm256_testz_si256(Bad, Bad)) {
      for (int K = 0; K < 16; ++K)
        Out[I + K] = ExactAt(Rows, X, J, I + K);
      continue;
    }
    const __m256i W16 = _mm256_packs_epi32(_mm256_srli_epi32(SL, 15), _mm256_srli_epi32(SH, 15));
    const __m256i W8 = _mm256_permute4x64_epi64(_mm256_packus_epi16(W16, W16), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + I), _mm256_castsi256_si128(W8));
  }
  for (; I < N; ++I)
    Out[I] = ExactAt(Rows, X, J, I);
}

__attribute__((target("avx2"))) void SumExactAVX2(const int16_t* const* Rows, const TExactTaps& X,
                                                  int J, uint8_t* Out, int N) {
  SumExactBody(Rows, X, J, Out, N);
}
__attribute__((target("avx2"))) void SumExact8AVX2(const uint8_t* const* Rows, const TExactTaps& X,
                                                   int J, uint8_t* Out, int N) {
  SumExactBody(Rows, X, J, Out, N);
}

TBlurKernels PickKernels() {
  if (__builtin_cpu_supports("avx2"))
    return {SumAVX2, WidenAVX2, SumExactAVX2, SumExact8AVX2, Widen16AVX2};
  return {SumGeneric, WidenGeneric, nullptr, nullptr, nullptr};
}
#else
TBlurKernels PickKernels() {
  return {SumGeneric, WidenGeneric, nullptr, nullptr, nullptr};
}
#endif

// Ends the gauge on every exit path.
class TGaugeScope {
public:
  explicit TGaugeScope(TStatusGauge* G) : FG(G) {
    if (FG) FG->ShowGauge();
  }
  ~TGaugeScope() {
    if (FG) FG->HideGauge();
  }
  TGaugeScope(const TGaugeScope&) = delete;
  TGaugeScope& operator=(const TGaugeScope&) = delete;

private:
  TStatusGauge* FG;
};

// One blur: the kernel and the routines for its element type (exact 16-bit integers or doubles).
struct TBlurPlan {
  int J = 0, NT = 0, W = 0, H = 0;
  int64_t RowN = 0;
  std::vector<double> Taps; // tap t stands for offset n = t - J
  bool Paired = false;
  TExactTaps Exact;
  TBlurKernels Kernels{};

  void Sum(const double* const* Rows, uint8_t* Out, int N) const {
    Kernels.Sum(Rows, Taps.data(), NT, Out, N, Paired);
  }
  void Sum(const int16_t* const* Rows, uint8_t* Out, int N) const {
    Kernels.SumExact(Rows, Exact, J, Out, N);
  }
  void Sum(const uint8_t* const* Rows, uint8_t* Out, int N) const {
    Kernels.SumExact8(Rows, Exact, J, Out, N);
  }
  void Widen(const uint8_t* In, double* Out, int64_t N) const { Kernels.Widen(In, Out, N); }
  void Widen(const uint8_t* In, int16_t* Out, int64_t N) const { Kernels.Widen16(In, Out, N); }
};

// Sums are formed in chunks that stay in the first-level cache.
constexpr int kBlurChunk = 768;

// Rows [Y0, Y1) of the horizontal pass, from the picture into Out (rows of RowN bytes).
// PerRow, when given, is called after each row and stops the band when it returns true.
template <class TElem, class TPerRow>
bool HorizontalBand(const TBlurPlan& P, const TPixelGraphic& Picture, uint8_t* Out, int Y0, int Y1,
                    TPerRow&& PerRow) {
  const int J = P.J, NT = P.NT;
  const int64_t RowN = P.RowN;
  std::vector<TElem> Padded(size_t(RowN + 6 * int64_t(J)));
  std::vector<const TElem*> Rows(static_cast<size_t>(NT));
  for (int Y = Y0; Y < Y1; ++Y) {
    const uint8_t* Row = Picture.ScanLine(Y);
    P.Widen(Row, Padded.data() + 3 * int64_t(J), RowN);
    for (int64_t X = 0; X < J; ++X) {
      // Columns beyond the edges repeat the edge pixels.
      for (int C = 0; C < 3; ++C) {
        Padded[size_t(3 * X + C)] = TElem(Row[C]);
        Padded[size_t(3 * (X + J + P.W) + C)] = TElem(Row[RowN - 3 + C]);
      }
    }
    uint8_t* O = Out + RowN * int64_t(Y);
    for (int64_t I0 = 0; I0 < RowN; I0 += kBlurChunk) {
      const int N = int(std::min<int64_t>(kBlurChunk, RowN - I0));
      // Column x - n sits at padded index 3 (x - n + J).
      for (int T = 0; T < NT; ++T)
        Rows[size_t(T)] = Padded.data() + I0 + 3 * (2 * J - T);
      P.Sum(Rows.data(), O + I0, N);
    }
    if (PerRow(Y)) return false;
  }
  return true;
}

// Rows [Y0, Y1) of the vertical pass, from In (the horizontal pass) into the picture. The
// integer sums widen the bytes of In as they read them; the double sums keep the rows the band
// needs, widened, in a ring.
template <class TElem, class TPerRow>
bool VerticalBand(const TBlurPlan& P, const uint8_t* In, TPixelGraphic& Picture, int Y0, int Y1,
                  TPerRow&& PerRow) {
  const int J = P.J, NT = P.NT, H = P.H;
  const int64_t RowN = P.RowN;
  if constexpr (std::is_same_v<TElem, int16_t>) {
    std::vector<const uint8_t*> Rows(static_cast<size_t>(NT));
    for (int Y = Y0; Y < Y1; ++Y) {
      for (int T = 0; T < NT; ++T)
        Rows[size_t(T)] = In + RowN * int64_t(std::clamp(Y - (T - J), 0, H - 1));
      P.Sum(Rows.data(), Picture.ScanLine(Y), int(RowN));
      if (PerRow(Y)) return false;
    }
  } else {
    std::vector<TElem> Ring(size_t(NT) * size_t(RowN));
    std::vector<const TElem*> Rows(static_cast<size_t>(NT));
    auto Slot = [&](int R) { return Ring.data() + size_t(R % NT) * size_t(RowN); };
    int Loaded = std::max(0, Y0 - J) - 1;
    for (int Y = Y0; Y < Y1; ++Y) {
      for (; Loaded < std::min(H - 1, Y + J); ++Loaded)
        P.Widen(In + RowN * int64_t(Loaded + 1), Slot(Loaded + 1), RowN);
      uint8_t* Row = Picture.ScanLine(Y);
      for (int64_t I0 = 0; I0 < RowN; I0 += kBlurChunk) {
        const int N = int(std::min<int64_t>(kBlurChunk, RowN - I0));
        for (int T = 0; T < NT; ++T)
          Rows[size_t(T)] = Slot(std::clamp(Y - (T - J), 0, H - 1)) + I0;
        P.Sum(Rows.data(), Row + I0, N);
      }
      if (PerRow(Y)) return false;
    }
  }
  return true;
}

template <class TElem>
void RunBlur(const TBlurPlan& P, TPixelGraphic& Picture, TStatusGauge* StatusBar) {
  const int W = P.W, H = P.H;
  const int64_t RowN = P.RowN;
  const int Max = 2 * H - 1;
  // The horizontal pass goes into a copy, so the vertical one reads rows no band overwrites.
  // Left uninitialised: the first pass writes every byte (and its threads touch the pages first).
  const std::unique_ptr<uint8_t[]> Across(new uint8_t[size_t(RowN) * size_t(H)]);
  int Reached = -1; // the last row of the first pass whose progress was raised
  auto First = [&](int Y) {
    if (StatusBar) StatusBar->SetGaugePosition(int(int64_t(Y) * 50 / H));
    Reached = Y;
    return Picture.DoProgress(Y, Max);
  };
  auto Second = [&](int Y) {
    if (StatusBar) StatusBar->SetGaugePosition(int(int64_t(Y) * 50 / H + 50));
    return Picture.DoProgress(H + Y, Max);
  };
  auto None = [](int) { return false; };
  const int MinBand = std::max(8, 16384 / std::max(W, 1));
  // One thread (or a small picture): one band each pass, progress raised between its rows.
  const bool Serial = EngineThreadCount() <= 1 || H < 2 * MinBand;
  bool Done;
  if (Serial)
    Done = HorizontalBand<TElem>(P, Picture, Across.get(), 0, H, First);
  else
    Done = ParallelBands(
        H, [&](int Y0, int Y1) { HorizontalBand<TElem>(P, Picture, Across.get(), Y0, Y1, None); },
        First, MinBand);
  if (!Done) {
    // An abort keeps the rows blurred so far (across only) and nothing below them.
    for (int Y = 0; Y <= Reached; ++Y)
      std::memcpy(Picture.ScanLine(Y), Across.get() + RowN * int64_t(Y), size_t(RowN));
    return;
  }
  if (Serial)
    VerticalBand<TElem>(P, Across.get(), Picture, 0, H, Second);
  else
    ParallelBands(
        H, [&](int Y0, int Y1) { VerticalBand<TElem>(P, Across.get(), Picture, Y0, Y1, None); },
        Second, MinBand);
}

} // namespace

void GaussianBlur(TPixelGraphic& Picture, TStatusGauge* StatusBar, float Radius) {
  if (Picture.BitCountNum() != 3) throw EPGFilter(GaussianBlurNeeds24Bit);
  if (!(Radius > 0) || !std::isfinite(Radius) || Picture.Empty()) return;
  const TGaussianKernel K = GaussianKernel(Radius);
  TBlurPlan P;
  P.J = K.HalfWidth;
  P.NT = 2 * P.J + 1;
  P.W = Picture.Width();
  P.H = Picture.Height();
  P.RowN = 3 * int64_t(P.W);
  P.Taps.assign(K.Weights.begin(), K.Weights.end());
  P.Kernels = PickKernels();
  // A weight of at least 2^-21 in single precision is a whole multiple of 2^-44, and so is its
  // product with a channel value or a sum of two; sums below 2^9 of such multiples need at most
  // 53 bits, so every partial sum is exact and the order of the additions cannot matter. Then
  // the mirrored taps of the symmetric kernel are added before their one multiplication, or the
  // sums are formed in integers.
  P.Paired = true;
  for (int T = 0; T < P.NT; ++T)
    if (!(K.Weights[size_t(T)] >= 0x1p-21f) ||
        K.Weights[size_t(T)] != K.Weights[size_t(P.NT - 1 - T)])
      P.Paired = false;
  bool Exact = P.Paired && P.Kernels.SumExact;
  if (Exact) {
    for (int N = 0; N <= P.J; ++N) {
      const double M = std::ldexp(double(K.Weights[size_t(P.J + N)]), 44);
      if (!(M < 0x1p44)) Exact = false; // a weight of 1 would not fit the parts
      P.Exact.M.push_back(int64_t(M));
    }
    for (int N = 0; N <= P.J; N += 2) {
      auto Part = [&](int Off, int Shift, int64_t Mask) -> uint32_t {
        return Off > P.J ? 0 : uint32_t((P.Exact.M[size_t(Off)] >> Shift) & Mask);
      };
      P.Exact.High.push_back(Part(N, 29, 0x7FFF) | Part(N + 1, 29, 0x7FFF) << 16);
      P.Exact.Mid.push_back(Part(N, 14, 0x7FFF) | Part(N + 1, 14, 0x7FFF) << 16);
    }
  }

  TGaugeScope Gauge(StatusBar);
  TProgressScope Progress(Picture);
  if (Exact)
    RunBlur<int16_t>(P, Picture, StatusBar);
  else
    RunBlur<double>(P, Picture, StatusBar);
  Picture.Changed();
}

// ---------------------------------------------------------------------------------------------
// red-eye reduction

void RedEyeReduction(TPixelGraphic& Area, const TRedEyeThresholds& T) {
  if (Area.Empty()) return;
  const int W = Area.Width(), H = Area.Height();
  const int64_t CX = W / 2, CY = H / 2, R = std::min(W, H) / 2;
  auto Red = [&](TRGB C) {
    return int(RedOf(C)) > T.Red && int(GreenOf(C)) < T.Green && int(BlueOf(C)) < T.Blue;
  };
  if (Area.BitCountNum() == 3) {
    // Every pixel on its own: rows in bands, straight on the bytes.
    ParallelBands(
        H,
        [&](int Y0, int Y1) {
          for (int Y = Y0; Y < Y1; ++Y) {
            uint8_t* P = Area.ScanLine(Y);
            for (int X = 0; X < W; ++X, P += 3) {
              const int64_t DX = X - CX, DY = Y - CY;
              if (DX * DX + DY * DY > R * R) continue;
              if (Red(RGBOf(P[2], P[1], P[0]))) P[0] = P[1] = P[2] = 0;
            }
          }
        },
        {}, std::max(8, 16384 / W));
  } else {
    // Palette pictures look their colours up in the picture's shared nearest-colour memory.
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        const int64_t DX = X - CX, DY = Y - CY;
        if (DX * DX + DY * DY > R * R) continue;
        if (Red(Area.GetPixelColor(X, Y))) Area.SetPixelColor(X, Y, 0);
      }
  }
  Area.Changed();
}

void RedEyeReduce(TPixelGraphic& Picture, int Left, int Top, int Width, int Height, int Position) {
  TPixelGraphic Area;
  Area.SetSize(std::max(Width, 0), std::max(Height, 0), 3);
  if (Area.Empty()) return;
  Area.CopyRect(0, 0, Picture, Left, Top, Width, Height);
  RedEyeReduction(Area, RedEyeThresholds(Position));
  Picture.CopyRect(Left, Top, Area, 0, 0, Width, Height);
}

// ---------------------------------------------------------------------------------------------
// pencil drawing, frames

void ConvertToTrueColor(TPixelGraphic& Picture) {
  if (Picture.BitCountNum() == 3) return;
  const TFastBMP Copy(Picture);
  Copy.CopyTo(Picture);
}

void DrawWideLine(TPixelGraphic& G, int X0, int Y0, int X1, int Y1, int PenWidth, TRGB Color) {
  if (G.Empty()) return;
  const long double R = std::max(PenWidth, 1) / 2.0L;
  const int64_t Reach = int64_t(std::ceil(R));
  const int64_t BX0 = std::max<int64_t>(std::min(X0, X1) - Reach, 0);
  const int64_t BX1 = std::min<int64_t>(std::max(X0, X1) + Reach, G.Width() - 1);
  const int64_t BY0 = std::max<int64_t>(std::min(Y0, Y1) - Reach, 0);
  const int64_t BY1 = std::min<int64_t>(std::max(Y0, Y1) + Reach, G.Height() - 1);
  const long double VX = static_cast<long double>(X1) - X0;
  const long double VY = static_cast<long double>(Y1) - Y0;
  const long double Len2 = VX * VX + VY * VY;
  for (int64_t Y = BY0; Y <= BY1; ++Y)
    for (int64_t X = BX0; X <= BX1; ++X) {
      const long double PX = static_cast<long double>(X) - X0;
      const long double PY = static_cast<long double>(Y) - Y0;
      const long double T = Len2 == 0 ? 0 : std::clamp((PX * VX + PY * VY) / Len2, 0.0L, 1.0L);
      const long double DX = PX - T * VX, DY = PY - T * VY;
      if (DX * DX + DY * DY <= R * R) G.SetPixelColor(int(X), int(Y), Color);
    }
}

namespace {

constexpr TRGB White = 0xFFFFFF;

void FillRect(TPixelGraphic& G, int X0, int Y0, int X1, int Y1, TRGB C) {
  X0 = std::max(X0, 0), Y0 = std::max(Y0, 0);
  X1 = std::min(X1, G.Width()), Y1 = std::min(Y1, G.Height());
  for (int Y = Y0; Y < Y1; ++Y)
    for (int X = X0; X < X1; ++X)
      G.SetPixelColor(X, Y, C);
}

// A white 24-bit picture (W or H 0 gives an empty one).
void WhitePicture(TPixelGraphic& G, int W, int H) {
  G.SetSize(std::max(W, 0), std::max(H, 0), 3);
  if (!G.Empty()) std::memset(G.Bits(), 0xFF, size_t(G.ImageSize()));
}

void SharpenInto(TPixelGraphic& Picture, const TPixelGraphic& Source) {
  TConvFilter F;
  F.SetSharpenKernel(dsTent, false, 70, 0.75L);
  ApplyFilter(Picture, F, Source);
}

} // namespace

void PencilDrawing(TPixelGraphic& Picture) {
  if (Picture.Empty()) return;
  TPixelGraphic New;
  ForwardProgress(New, Picture);
  TConvFilter Contour;
  Contour.SetContourKernel(dsRect, true, true, 792, 1.16L);
  ApplyFilter(New, Contour, Picture);
  TGrayScaleFilter Gray;
  Gray.RGBWeighting = true;
  ApplyFilter(New, Gray, New);
  ReplacePicture(Picture, New);
}

void DropShadow(TPixelGraphic& Picture) {
  if (Picture.Empty()) return;
  const int W = Picture.Width(), H = Picture.Height();
  const int S = int(std::trunc(std::max(W, H) * 0.025L));
  const int T = S / 10 + 2;
  TPixelGraphic Right, Bottom, Result;
  WhitePicture(Right, S, H + S);
  DrawWideLine(Right, 0, S / 2, 0, H, T, 0);
  GaussianBlur(Right, nullptr, float(T));
  WhitePicture(Bottom, W + S, S);
  DrawWideLine(Bottom, S / 2, 0, W, 0, T, 0);
  GaussianBlur(Bottom, nullptr, float(T));
  WhitePicture(Result, W + S, H + S);
  Result.CopyRect(W, 0, Right, 0, 0, S, H + S);
  Result.CopyRect(0, H, Bottom, 0, 0, W + S, S);
  Result.CopyRect(0, 0, Picture, 0, 0, W, H);
  ReplacePicture(Picture, Result);
}

void DropShadowInPlace(TPixelGraphic& Picture, int PenWidth, int Size) {
  if (Picture.Empty()) return;
  const int W = Picture.Width(), H = Picture.Height();
  const int S = std::max(Size, 0);
  // No room left for the picture beside the shadow.
  if (W - S <= 0 || H - S <= 0) return;
  TPixelGraphic Side, Below, Result;
  constexpr TRGB Grey = RGBOf(128, 128, 128);
  WhitePicture(Side, S, H);
  DrawWideLine(Side, 0, S / 2, 0, H - S, PenWidth, Grey);
  GaussianBlur(Side, nullptr, 3);
  WhitePicture(Below, W, S);
  DrawWideLine(Below, S / 2, 0, W - S, 0, PenWidth, Grey);
  GaussianBlur(Below, nullptr, 3);
  WhitePicture(Result, W, H);
  Result.CopyRect(W - S, 0, Side, 0, 0, S, H);
  Result.CopyRect(0, H - S, Below, 0, 0, W, S);
  Result.StretchRect(0, 0, W - S, H - S, Picture, 0, 0, W, H);
  SharpenInto(Picture, Result);
}

void WhiteBorder(TPixelGraphic& Picture) {
  if (Picture.Empty()) return;
  const int W = Picture.Width(), H = Picture.Height();
  if (W - 56 <= 0 || H - 56 <= 0) return;
  TPixelGraphic Frame;
  Frame.SetSize(W, H, 3);
  Frame.GradientBorder(false, 20, Frame, White);
  FillRect(Frame, 8, 8, W - 8, H - 8, White);
  Frame.StretchRect(28, 28, W - 56, H - 56, Picture, 0, 0, W, H);
  SharpenInto(Picture, Frame);
}

void WhiteBorderPicture(TPixelGraphic& Picture) {
  ConvertToTrueColor(Picture);
  WhiteBorder(Picture);
}

void BevelPicture(TPixelGraphic& Picture) {
  ConvertToTrueColor(Picture);
  Bevel(Picture, int(std::trunc(Picture.Width() * 0.03L)));
}

void GradientBorderPicture(TPixelGraphic& Picture, bool Oval, int BorderWidth, TRGB Color) {
  if (Picture.Empty()) return;
  TPixelGraphic New;
  New.SetSize(0, 0, Picture.BitCountNum());
  New.AssignPalette(Picture);
  New.Dither = Picture.Dither;
  ForwardProgress(New, Picture);
  New.GradientBorder(Oval, BorderWidth, Picture, Color);
  ReplacePicture(Picture, New);
}

void Bevel(TPixelGraphic& Picture, int Rings) {
  if (Picture.Empty()) return;
  const int W = Picture.Width(), H = Picture.Height();
  // Points outside would read the background and write nothing; they are skipped, which is the
  // same and stays quiet when range checking is on.
  auto Scale = [&](int X, int Y, long double F) {
    if (X < 0 || Y < 0 || X >= W || Y >= H) return;
    const TRGB C = Picture.GetPixelColor(X, Y);
    auto S = [F](unsigned V) { return unsigned(std::min(std::trunc(V * F), 255.0L)); };
    Picture.SetPixelColor(X, Y, RGBOf(S(RedOf(C)), S(GreenOf(C)), S(BlueOf(C))));
  };
  for (int I = 0; I < Rings; ++I) {
    const bool Rows = int64_t(W) - I >= I, Cols = int64_t(H) - I - 1 >= int64_t(I) + 1;
    if (!Rows && !Cols) break; // and so for every later ring
    if (Rows)
      for (int X = I; X <= W - I; ++X) {
        Scale(X, I, 1.55L);
        Scale(X, H - 1 - I, 0.7L);
      }
    if (Cols)
      for (int Y = I + 1; Y <= H - I - 1; ++Y) {
        Scale(I, Y, 1.3L);
        if (Y < H - I - 2) Scale(W - 1 - I, Y, 0.8L);
      }
  }
  Picture.Changed();
}

} // namespace orbisk
