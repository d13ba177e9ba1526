// The convolution filter: preset kernels, refused settings, and the fast row loop against the
// per-pixel definition.
#include "processing/convfilter.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

using namespace orbisk;

namespace {

using Builder = std::function<void(TConvFilter&)>;

std::vector<int> Entries(const TConvFilter& F) {
  std::vector<int> V;
  for (int R = 0; R < F.Height(); ++R)
    for (int C = 0; C < F.Width(); ++C)
      V.push_back(F.Kernel(C, R));
  return V;
}

void Random24(TPixelGraphic& G, int W, int H, unsigned Seed, uint32_t Or = 0) {
  std::mt19937 Rng(Seed);
  G.SetSize(W, H, 3);
  for (int I = 0; I < W * H; ++I)
    G.SetPixelValue(I % W, I / W, (Rng() & 0xFFFFFF) | Or);
}

int64_t Differences(const TPixelGraphic& A, const TPixelGraphic& B) {
  int64_t N = 0;
  for (int I = 0; I < A.Width() * A.Height(); ++I)
    N += A.GetPixelColor(I % A.Width(), I / A.Width()) !=
         B.GetPixelColor(I % A.Width(), I / A.Width());
  return N;
}

} // namespace

TEST(ConvFilterKernels, DistributionsAndPresets) {
  const std::vector<int> Gauss3 = {3, 7, 3, 7, 16, 7, 3, 7, 3};
  const std::vector<int> Sharp = {-3, -7, -3, -7, 0, -7, -3, -7, -3}, Edge(9, -1);
  auto Centre = [](std::vector<int> K, int C) { return K[K.size() / 2] = C, K; };
  struct Case {
    const char* Preset; // distribution, sharpen, detail, smooth, contour (white), Contour (black)
    TDistributionShape Shape;
    bool UseDistance;
    long double Percent, Sigma;
    std::vector<int> Kernel;
    long double Bias = 0, Factor = 1;
  } Cases[] = {
      // clang-format off
      {"distribution", dsGaussian, false, 0, 0.75L, Gauss3},
      {"distribution", dsGaussian, true, 0, 0.75L, Gauss3},
      {"distribution", dsTent, false, 0, 0.75L, Gauss3},
      {"distribution", dsTent, true, 0, 0.75L, {4, 7, 4, 7, 16, 7, 4, 7, 4}},
      {"distribution", dsGaussian, true, 0, 1.0L,
       {0, 1, 2, 1, 0, 1, 6, 10, 6, 1, 2, 10, 16, 10, 2, 1, 6, 10, 6, 1, 0, 1, 2, 1, 0}},
      {"distribution", dsTent, true, 0, 0.4L, {16}},
      {"distribution", dsRect, true, 0, 0.75L, {0, 1, 0, 1, 1, 1, 0, 1, 0}},
      {"distribution", dsRect, false, 0, 1.0L, std::vector<int>(9, 1)},
      {"sharpen", dsGaussian, true, 50, 0.75L, Centre(Sharp, 112)},
      {"sharpen", dsTent, false, 70, 0.75L, Centre(Sharp, 80)}, // resized pictures
      {"sharpen", dsGaussian, true, 100, 0.75L, Centre(Sharp, 56)}, // weighs 16 in all
      {"detail", dsGaussian, true, 75, 0.75L, Centre(Sharp, 55)},
      {"smooth", dsGaussian, true, 100, 0.75L, Gauss3},
      {"smooth", dsGaussian, true, 50, 0.75L, Centre(Gauss3, 72)},
      {"contour", dsRect, true, 100, 1, Centre(Edge, 9), 100, 100},
      {"Contour", dsRect, true, 250, 1, Centre(Edge, 9), 0, -250},
      {"contour", dsRect, true, 792, 1.16L, // pencil drawing
       {0, 0, -1, 0, 0, 0, -1, -1, -1, 0, -1, -1, 13, -1, -1, 0, -1, -1, -1, 0, 0, 0, -1, 0, 0}, 100, 792},
      // clang-format on
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Preset << " " << C.Shape << " " << C.UseDistance << " "
                                    << double(C.Percent) << " " << double(C.Sigma));
    TConvFilter F;
    F.SetBias(5); // every preset resets the placement
    F.SetOffsetY(3);
    const std::string P = C.Preset;
    if (P == "distribution")
      F.SetDistributionKernel(C.Shape, C.UseDistance, C.Sigma);
    else if (P == "sharpen")
      F.SetSharpenKernel(C.Shape, C.UseDistance, C.Percent, C.Sigma);
    else if (P == "detail")
      F.SetDetailKernel(C.Shape, C.UseDistance, C.Percent, C.Sigma);
    else if (P == "smooth")
      F.SetSmoothKernel(C.Shape, C.UseDistance, C.Percent, C.Sigma);
    else
      F.SetContourKernel(C.Shape, C.UseDistance, P == "contour", C.Percent, C.Sigma);
    EXPECT_EQ(Entries(F), C.Kernel);
    EXPECT_EQ(F.Bias(), C.Bias);
    EXPECT_EQ(F.Factor(), C.Factor);
    EXPECT_EQ(F.OffsetX(), -(F.Width() / 2));
    EXPECT_EQ(F.OffsetY(), -(F.Height() / 2));
  }
  TConvFilter G;
  G.SetDistributionKernel(dsGaussian, false, 1.3L);
  ASSERT_EQ(G.Width(), 7);
  const int Middle[] = {1, 5, 12, 16, 12, 5, 1};
  for (int C = 0; C < 7; ++C)
    EXPECT_EQ(G.Kernel(C, 3), Middle[C]);
  G.SetBlurKernel(100, 2.5L); // the default ring
  EXPECT_EQ(Entries(G), (std::vector<int>{17, 25, 23, 25, 17, 25, 0,  0,  0,  25, 23, 0, 0,
                                          0,  23, 25, 0,  0,  0,  25, 17, 25, 23, 25, 17}));
  G.SetBlurKernel(50, 0.3L); // radius 0: all hits on the centre, which counts twice
  EXPECT_EQ(Entries(G), std::vector<int>{720});
  // Every radius the blur dialog offers keeps all 360 ring hits inside its kernel.
  for (int Pos = 50; Pos <= 500; Pos += 5) {
    G.SetBlurKernel(100, Pos / 100.0L);
    int64_t Sum = 0;
    for (int V : Entries(G))
      Sum += V;
    EXPECT_EQ(Sum, 360) << Pos;
  }
}

TEST(ConvFilterSettings, SizesIndicesAndRefusedArguments) {
  TConvFilter F;
  EXPECT_EQ(Entries(F), std::vector<int>{1}); // the identity
  F.SetWidth(3);
  F.SetKernel(2, 0, 7);
  F.SetWidth(3);
  EXPECT_EQ(F.Kernel(2, 0), 7); // same size keeps the entries
  F.SetHeight(2);
  EXPECT_EQ(Entries(F), std::vector<int>(6, 0)); // a new size clears them
  auto Message = [](const std::function<void()>& Fn) -> std::string {
    try {
      Fn();
    } catch (const EPGConvFilter& E) {
      return E.what();
    }
    return "no error";
  };
  EXPECT_EQ(Message([&] { F.SetWidth(0); }), "TConvFilter.Width out of range");
  EXPECT_EQ(Message([&] { F.SetHeight(100); }), "TConvFilter.Height out of range");
  EXPECT_EQ(Message([&] { F.Kernel(3, 0); }), "X, Y index out of range");
  EXPECT_EQ(Message([&] { F.SetKernel(0, -1, 1); }), "X, Y index out of range");

  // Arguments that would divide by zero, search without end or overflow are refused and leave
  // the kernel as it was.
  const long double NaN = std::numeric_limits<long double>::quiet_NaN();
  const long double Inf = std::numeric_limits<long double>::infinity();
  F.SetSharpenKernel(dsTent, false, 70, 0.75L);
  const std::vector<int> Before = Entries(F);
  const std::function<void()> Refused[] = {
      [&] { F.SetSharpenKernel(dsGaussian, true, 0, 0.75L); },
      [&] { F.SetSmoothKernel(dsGaussian, true, -5, 0.75L); },
      [&] { F.SetDetailKernel(dsGaussian, true, 1e-12L, 0.75L); },
      [&] { F.SetDistributionKernel(dsGaussian, true, 0); },
      [&] { F.SetDistributionKernel(dsTent, false, NaN); },
      [&] { F.SetDistributionKernel(dsGaussian, true, 1e6L); }, // wider than 99
      [&] { F.SetBlurKernel(100, 60); },
      [&] { F.SetBlurKernel(100, -3); },
      [&] { F.SetBlurKernel(100, Inf); },
      [&] { F.SetFactor(NaN); },
      [&] { F.SetBias(Inf); },
  };
  for (size_t I = 0; I < std::size(Refused); ++I) {
    EXPECT_THROW(Refused[I](), EPGConvFilter) << I;
    EXPECT_EQ(Entries(F), Before) << I;
  }
  F.SetBlurKernel(100, 49); // the largest kernel
  EXPECT_EQ(F.Width(), 99);
  // An unknown shape keeps the kernel and only resets the placement.
  F.SetOffsetX(5);
  F.SetDistributionKernel(TDistributionShape(7), true, 1);
  EXPECT_EQ(F.Width(), 99);
  EXPECT_EQ(F.OffsetX(), 0);
}

TEST(ConvFilterApply, WorkedResults) {
  Builder Box = [](TConvFilter& F) { F.SetDistributionKernel(dsRect, false, 1); };
  auto Contour = [](bool White) -> Builder {
    return [White](TConvFilter& F) { F.SetContourKernel(dsRect, true, White, 100, 1); };
  };
  Builder Difference = [](TConvFilter& F) { // weights -1, 1: they sum to 0
    F.SetWidth(2);
    F.SetKernel(0, 0, -1);
    F.SetKernel(1, 0, 1);
  };
  const std::vector<TRGB> Grey(6, 0x646464);
  struct Case {
    const char* Name;
    Builder Build;
    int W;
    std::vector<TRGB> Source, Expected;
  } Cases[] = {
      // clang-format off
      {"a new filter copies", [](TConvFilter&) {}, 2, {0x123456, 0xABCDEF}, {0x123456, 0xABCDEF}},
      {"corners and edges renormalise", Box, 3, {10, 20, 30, 40, 50, 60, 70, 80, 90}, {30, 35, 40, 45, 50, 55, 60, 65, 70}},
      {"halves round to even", Box, 2, {RGBOf(0, 2, 4), RGBOf(1, 3, 5)}, {RGBOf(0, 2, 4), RGBOf(0, 2, 4)}},
      {"contour, flat grey on white", Contour(true), 3, Grey, std::vector<TRGB>(6, 0xFFFFFF)},
      {"contour, flat grey on black", Contour(false), 3, Grey, std::vector<TRGB>(6, 0)},
      {"weights summing to 0 are not divided", Difference, 3, {10, 30, 25}, {20, 0, 25}},
      // clang-format on
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TPixelGraphic S, D;
    const int H = int(C.Source.size()) / C.W;
    S.SetSize(C.W, H, 3);
    for (int I = 0; I < C.W * H; ++I)
      S.SetPixelValue(I % C.W, I / C.W, C.Source[size_t(I)]);
    TConvFilter F;
    C.Build(F);
    ApplyFilter(D, F, S);
    for (int I = 0; I < C.W * H; ++I)
      EXPECT_EQ(D.GetPixelColor(I % C.W, I / C.W), C.Expected[size_t(I)]) << I;
  }
}

// The row loop (chunked narrow sums, result table, palette row cache) must give exactly the
// bytes of the per-pixel definition for every kind of kernel, placement and source.
TEST(ConvFilterApply, FastRowsMatchPerPixelDefinition) {
  std::mt19937 Rng(7);
  auto Random = [&](int W, int H, int Lo, int Hi, int OX, int OY) -> Builder {
    return [=, &Rng](TConvFilter& F) {
      F.SetWidth(W);
      F.SetHeight(H);
      for (int I = 0; I < W * H; ++I)
        F.SetKernel(I % W, I / W, std::uniform_int_distribution(Lo, Hi)(Rng));
      F.SetOffsetX(OX);
      F.SetOffsetY(OY);
    };
  };
  struct Case {
    const char* Name;
    Builder Build;
    int W, H, Depth;
    uint32_t Bright = 0; // raises the sums to their largest values
  } Cases[] = {
      // clang-format off
      {"sharpen over several chunks", [](auto& F) { F.SetSharpenKernel(dsTent, false, 70, 0.75L); }, 1500, 6, 3},
      {"smooth 7x7", [](auto& F) { F.SetSmoothKernel(dsGaussian, false, 40, 1.3L); }, 40, 30, 3},
      // Pictures with at least as many channel values as the sums have results use the table.
      {"sharpen, table", [](auto& F) { F.SetSharpenKernel(dsTent, false, 70, 0.75L); }, 200, 60, 3},
      {"smooth 7x7, table", [](auto& F) { F.SetSmoothKernel(dsGaussian, false, 40, 1.3L); }, 300, 150, 3},
      {"contour, 8-bit source, table", [](auto& F) { F.SetContourKernel(dsRect, true, false, 300, 1); }, 60, 40, 2},
      {"detail, 8-bit source", [](auto& F) { F.SetDetailKernel(dsGaussian, true, 60, 1); }, 33, 17, 2},
      {"contour, 4-bit source", [](auto& F) { F.SetContourKernel(dsRect, true, true, 792, 1.16L); }, 21, 19, 1},
      {"ring blur, 1-bit source", [](auto& F) { F.SetBlurKernel(60, 3.2L); }, 15, 12, 0},
      {"picture smaller than the kernel", [](auto& F) { F.SetSmoothKernel(dsGaussian, true, 100, 1.3L); }, 3, 2, 3},
      {"signed kernel, factor and bias", [&](auto& F) {
         Random(5, 3, -20, 30, -2, -1)(F), F.SetFactor(1.7L), F.SetBias(-12.5L); }, 37, 23, 3},
      {"off-centre kernel", Random(4, 4, 0, 9, 2, -7), 25, 20, 3},
      {"kernel wholly outside", Random(3, 3, 1, 5, 1 << 30, -(1 << 30)), 6, 4, 3},
      {"unsigned 16-bit sums", Random(3, 3, 15, 15, -1, -1), 3000, 5, 3, 0xE0E0E0},
      {"32-bit sums", Random(3, 3, -3000, 3000, -1, -1), 30, 9, 3},
      {"64-bit sums", Random(3, 3, -2000000000, 2000000000, -1, -1), 12, 7, 3},
      // clang-format on
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TPixelGraphic S, D, Want;
    Random24(S, C.W, C.H, unsigned(C.W * 131 + C.H), C.Bright);
    if (C.Depth != 3) {
      TPixelGraphic P;
      P.SetSize(C.W, C.H, C.Depth);
      P.SetPaletteKind(C.Depth == 0 ? pBlackWhite : C.Depth == 1 ? pSys16 : pSpecial252);
      P.CopyRect(0, 0, S, 0, 0, C.W, C.H);
      S.Assign(&P);
    }
    TConvFilter F;
    C.Build(F);
    Want.SetSize(C.W, C.H, 3);
    F.Prepare(S);
    for (int I = 0; I < C.W * C.H; ++I)
      Want.SetPixelValue(I % C.W, I / C.W, F.FilterPixel(I % C.W, I / C.W));
    F.Finish();
    ApplyFilter(D, F, S);
    EXPECT_EQ(Differences(D, Want), 0);
  }
}

TEST(ConvFilterApply, SelfSourceAndAbort) {
  TPixelGraphic S, Copy, Full, D;
  Random24(S, 9, 8, 3);
  Copy.Assign(&S);
  TConvFilter F;
  F.SetSharpenKernel(dsTent, false, 70, 0.75L);
  try {
    ApplyFilter(S, F, S);
    ADD_FAILURE() << "no error";
  } catch (const EPGFilter& E) {
    EXPECT_STREQ(E.what(), "Cannot apply this filter to a source that is identical to the target");
  }
  EXPECT_EQ(Differences(S, Copy), 0);
  // An abort after row 2 keeps rows 0..2; the others stay as the resize left them.
  ApplyFilter(Full, F, S);
  int Ends = 0;
  D.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int Max) {
    Abort = Step == 2 && Max == 7;
  };
  D.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  ApplyFilter(D, F, S);
  EXPECT_EQ(Ends, 1);
  for (int I = 0; I < 72; ++I)
    EXPECT_EQ(D.GetPixelColor(I % 9, I / 9), I / 9 <= 2 ? Full.GetPixelColor(I % 9, I / 9) : 0u)
        << I;
  EXPECT_EQ(F.Source(), nullptr);
}
