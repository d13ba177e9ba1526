#include "processing/effects.h"
#include "processing/random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using namespace orbisk;

namespace {

void MakeRandom(TPixelGraphic& G, int W, int H, int Code, unsigned Seed = 1) {
  std::mt19937 Rng(Seed);
  G.SetSize(W, H, Code);
  if (Code == 0) G.SetPaletteKind(pBlackWhite);
  if (Code == 1) G.SetPaletteKind(pSys16);
  if (Code == 2) G.SetPaletteKind(pSpecial216);
  const uint32_t Limit = Code == 3 ? 0x1000000 : uint32_t(G.PaletteCount());
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, Rng() % Limit);
}

void Fill(TPixelGraphic& G, int W, int H, TRGB C) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, C);
}

unsigned Grey(const TPixelGraphic& G, int X, int Y) {
  return RedOf(G.GetPixelColor(X, Y));
}

// Pixel (x, y) holds (x, y, 7) so that moved pixels tell where they came from.
void Coordinates(TFastBMP& B, int W, int H) {
  B.SetSize(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint8_t* P = B.Pixel(X, Y);
      P[0] = uint8_t(X), P[1] = uint8_t(Y), P[2] = 7;
    }
}

class SeedZero : public ::testing::Test {
protected:
  void SetUp() override { RandSeed = 0; }
};

} // namespace

// ---- random numbers and fast-bitmap effects --------------------------------------------------

TEST_F(SeedZero, FirstDrawsFollowTheRecurrence) {
  // seed(k+1) = seed(k) * 134775813 + 1 mod 2^32; the draw is the high half of n * seed.
  const struct {
    int N, Draw;
    uint32_t Seed;
  } Draws[] = {{100, 0, 1u},          {100, 3, 134775814u},   {100, 86, 3698175007u},
               {100, 20, 870078620u}, {100, 27, 1172187917u}, {1000, 671, 2884733762u},
               {7, 2, 1368768587u},   {0, 0, 694906232u},     {2147483647, 799375788, 1598751577u}};
  for (auto D : Draws) {
    EXPECT_EQ(Random(D.N), D.Draw);
    EXPECT_EQ(RandSeed.load(), D.Seed);
  }
}

TEST_F(SeedZero, NoiseOfZeroChangesNothingButDraws) {
  TFastBMP B, Original;
  Coordinates(B, 5, 4);
  Original.Assign(B);
  B.AddColorNoise(0);
  B.AddMonoNoise(0);
  for (int Y = 0; Y < 4; ++Y)
    EXPECT_EQ(0, std::memcmp(B.Row(Y), Original.Row(Y), 15));
  EXPECT_EQ(RandSeed.load(), 3713897392u); // after 20 * 3 + 20 draws
}

TEST_F(SeedZero, NoiseAddsTheDrawsInOrder) {
  TFastBMP B;
  B.SetSize(2, 1);
  std::memset(B.Row(0), 100, 6);
  B.AddColorNoise(100); // draws 0, 3, 86, 20, 27, 67: offsets -50, -47, 36, -30, -23, ...
  const uint8_t* P = B.Row(0);
  EXPECT_EQ(P[0], 50);
  EXPECT_EQ(P[1], 53);
  EXPECT_EQ(P[2], 136);
  EXPECT_EQ(P[3], 70);
  EXPECT_EQ(P[4], 77);
  RandSeed = 0;
  std::memset(B.Row(0), 30, 6);
  B.AddMonoNoise(100); // -50 then -47, limited at 0
  EXPECT_EQ(P[0], 0);
  EXPECT_EQ(P[2], 0);
  EXPECT_EQ(P[3], 0);
}

TEST_F(SeedZero, SprayTakesPixelsFromNearby) {
  TFastBMP S, D;
  Coordinates(S, 30, 20);
  S.Spray(D, 0);
  for (int Y = 0; Y < 20; ++Y)
    EXPECT_EQ(0, std::memcmp(D.Row(Y), S.Row(Y), 90));
  S.Spray(D, 6);
  int Moved = 0;
  for (int Y = 0; Y < 20; ++Y)
    for (int X = 0; X < 30; ++X) {
      const uint8_t* P = D.Pixel(X, Y);
      ASSERT_LE(std::abs(P[0] - X), 5);
      ASSERT_LE(std::abs(P[1] - Y), 5);
      Moved += P[0] != X || P[1] != Y;
    }
  EXPECT_GT(Moved, 100);
}

TEST(FastBitmap, MosaicBlocksAndSamples) {
  struct {
    int Size, W, X, Y, SX, SY; // pixel (X, Y) takes the colour of (SX, SY)
  } Cases[] = {
      {1, 6, 0, 0, 1, 1},  {1, 6, 5, 5, 5, 5},   {1, 6, 5, 2, 5, 3},  {4, 10, 0, 0, 2, 2},
      {4, 10, 3, 3, 2, 2}, {4, 10, 4, 0, 6, 2},  {4, 10, 8, 9, 9, 9}, {3, 10, 0, 0, 2, 2},
      {3, 10, 9, 9, 9, 9}, {20, 10, 0, 0, 9, 9},
  };
  for (auto C : Cases) {
    TFastBMP B;
    Coordinates(B, C.W, C.W);
    B.Mosaic(C.Size, C.Size);
    const uint8_t* P = B.Pixel(C.X, C.Y);
    EXPECT_EQ(P[0], C.SX) << "size " << C.Size << " at " << C.X << "," << C.Y;
    EXPECT_EQ(P[1], C.SY) << "size " << C.Size << " at " << C.X << "," << C.Y;
  }
  TFastBMP B, Original;
  Coordinates(B, 7, 7);
  Original.Assign(B);
  B.Mosaic(0, 3);
  B.Mosaic(3, -1);
  for (int Y = 0; Y < 7; ++Y)
    EXPECT_EQ(0, std::memcmp(B.Row(Y), Original.Row(Y), 21));
}

TEST(FastBitmap, EmbossUsesTheNeighbourBelowRight) {
  TFastBMP B;
  Coordinates(B, 4, 4);
  B.Emboss();
  // ((255 - q) + p) div 2 per channel; the last two rows take q from column 1 of the last row.
  auto Expect = [&](int X, int Y, int QX, int QY) {
    const uint8_t* P = B.Pixel(X, Y);
    EXPECT_EQ(P[0], ((255 - QX) + X) / 2) << X << "," << Y;
    EXPECT_EQ(P[1], ((255 - QY) + Y) / 2) << X << "," << Y;
    EXPECT_EQ(P[2], ((255 - 7) + 7) / 2);
  };
  Expect(0, 0, 1, 1);
  Expect(3, 0, 3, 1); // column limited to the last
  Expect(2, 1, 3, 2);
  Expect(0, 2, 1, 3);
  Expect(3, 3, 1, 3);
  // One pixel wide: the neighbour is the only column.
  Coordinates(B, 1, 3);
  B.Emboss();
  EXPECT_EQ(B.Pixel(0, 0)[1], ((255 - 1) + 0) / 2);
  EXPECT_EQ(B.Pixel(0, 2)[1], ((255 - 2) + 2) / 2);
}

TEST(FastBitmap, RefusesHugeAndNegativeSizes) {
  TFastBMP B;
  EXPECT_THROW(B.SetSize(-1, 4), EPGInvalidSize);
  EXPECT_THROW(B.SetSize(1 << 20, 1 << 20), EPixelGraphic);
  B.SetSize(0, 5);
  EXPECT_TRUE(B.Empty());
  B.Emboss();
  B.Mosaic(2, 2);
}

// ---- Gaussian blur ---------------------------------------------------------------------------

TEST(Gaussian, KernelHalfWidths) {
  const struct {
    float Radius;
    int HalfWidth;
  } Cases[] = {{0.1f, 1}, {1.0f, 2}, {3.0f, 8}, {10.0f, 30}, {5.0f, 14}};
  for (auto C : Cases) {
    const TGaussianKernel K = GaussianKernel(C.Radius);
    EXPECT_EQ(K.HalfWidth, C.HalfWidth) << C.Radius;
    ASSERT_EQ(K.Weights.size(), size_t(2 * K.HalfWidth + 1));
    float Sum = 0;
    for (float W : K.Weights)
      Sum += W;
    EXPECT_NEAR(Sum, 1.0f, 1e-6f);
    EXPECT_EQ(K.Weights.front(), K.Weights.back());
  }
}

namespace {

// Column by column and row by row, straight from the definition.
void ReferenceBlur(TPixelGraphic& G, float Radius) {
  const TGaussianKernel K = GaussianKernel(Radius);
  const int J = K.HalfWidth, W = G.Width(), H = G.Height();
  auto Pass = [&](bool Rows) {
    const int Lines = Rows ? H : W, Len = Rows ? W : H;
    for (int L = 0; L < Lines; ++L) {
      std::vector<uint8_t> Out(size_t(Len) * 3);
      for (int P = 0; P < Len; ++P)
        for (int Ch = 0; Ch < 3; ++Ch) {
          double Sum = 0;
          for (int N = -J; N <= J; ++N) {
            const int Q = std::clamp(P - N, 0, Len - 1);
            const uint8_t* Px = G.ScanLine(Rows ? L : Q) + 3 * (Rows ? Q : L);
            Sum += double(K.Weights[size_t(N + J)]) * Px[Ch];
          }
          Out[size_t(P) * 3 + size_t(Ch)] = uint8_t(std::clamp(int(Sum), 0, 255));
        }
      for (int P = 0; P < Len; ++P)
        std::memcpy(G.ScanLine(Rows ? L : P) + 3 * (Rows ? P : L), &Out[size_t(P) * 3], 3);
    }
  };
  Pass(true);
  Pass(false);
}

} // namespace

TEST(Gaussian, MatchesTheTwoPassDefinition) {
  // 600 x 450 is shared out between threads.
  const int Shapes[][2] = {{37, 23}, {1, 40}, {40, 1}, {1, 1}, {300, 7}, {600, 450}};
  for (auto [W, H] : Shapes)
    for (float Radius : {0.1f, 1.5f, 3.0f, 5.0f, 10.0f, 40.0f, 100.0f}) {
      if (W == 600 && Radius != 3.0f && Radius != 5.0f) continue;
      TPixelGraphic A, B;
      MakeRandom(A, W, H, 3, unsigned(W * H));
      B.Assign(&A);
      GaussianBlur(A, nullptr, Radius);
      ReferenceBlur(B, Radius);
      ASSERT_EQ(0, std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())))
          << W << "x" << H << " radius " << Radius;
    }
}

TEST(Gaussian, FlatAreasMatchTheDefinition) {
  // Flat areas put the sums closest to whole values, where the fast sums must give way to exact
  // ones; every grey level at a few radii, and two-level edges.
  for (float Radius : {0.7f, 2.0f, 5.0f, 25.0f}) {
    TPixelGraphic A, B;
    A.SetSize(256, 9, 3);
    for (int Y = 0; Y < 9; ++Y)
      for (int X = 0; X < 256; ++X)
        A.SetPixelValue(X, Y, Y < 6 ? RGBOf(X, X, X) : (X / 40) % 2 ? 0xFFFFFF : 0x000000);
    B.Assign(&A);
    GaussianBlur(A, nullptr, Radius);
    ReferenceBlur(B, Radius);
    ASSERT_EQ(0, std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize()))) << Radius;
  }
}

TEST(Gaussian, WhiteStaysUniformAndNearlyWhite) {
  // Each pass truncates a sum that may fall just below the value: white loses at most a level
  // per pass, and the picture stays uniform.
  for (float Radius : {1.0f, 3.0f, 10.0f}) {
    TPixelGraphic G;
    Fill(G, 40, 30, 0xFFFFFF);
    GaussianBlur(G, nullptr, Radius);
    const TRGB First = G.GetPixelColor(0, 0);
    EXPECT_GE(RedOf(First), 253u);
    for (int Y = 0; Y < 30; ++Y)
      for (int X = 0; X < 40; ++X)
        ASSERT_EQ(G.GetPixelColor(X, Y), First);
  }
}

TEST(Gaussian, RefusesPalettePicturesAndReportsProgress) {
  TPixelGraphic G, Original;
  MakeRandom(Original, 20, 10, 2);
  G.Assign(&Original);
  try {
    GaussianBlur(G, nullptr, 3);
    FAIL() << "no error";
  } catch (const EPixelGraphic& E) {
    EXPECT_STREQ(E.what(), "Gaussian Blur only works for 24-bit images. Convert the image first "
                           "using Image/Color Resolution");
  }
  EXPECT_EQ(0, std::memcmp(G.Bits(), Original.Bits(), size_t(G.ImageSize())));

  struct Gauge : TStatusGauge {
    std::vector<int> Positions;
    int Shown = 0, Hidden = 0;
    void ShowGauge() override { ++Shown; }
    void SetGaugePosition(int P) override { Positions.push_back(P); }
    void HideGauge() override { ++Hidden; }
  } Bar;
  MakeRandom(G, 20, 10, 3);
  GaussianBlur(G, &Bar, 2);
  EXPECT_EQ(Bar.Shown, 1);
  EXPECT_EQ(Bar.Hidden, 1);
  ASSERT_EQ(Bar.Positions.size(), 20u);
  EXPECT_EQ(Bar.Positions.front(), 0);
  EXPECT_EQ(Bar.Positions[10], 50);
  EXPECT_EQ(Bar.Positions.back(), 95);
  EXPECT_TRUE(std::is_sorted(Bar.Positions.begin(), Bar.Positions.end()));

  // An abort during the first pass keeps the rows blurred so far, untouched below.
  MakeRandom(G, 20, 10, 3);
  Original.Assign(&G);
  G.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step == 2; };
  GaussianBlur(G, nullptr, 2);
  EXPECT_NE(0, std::memcmp(G.ScanLine(0), Original.ScanLine(0), 60));
  EXPECT_EQ(0, std::memcmp(G.ScanLine(3), Original.ScanLine(3), 60));
}

// ---- red eye ---------------------------------------------------------------------------------

TEST(RedEye, ThresholdsAndTheDisc) {
  const struct {
    TRGB C;
    bool Black;
  } Colors[] = {{RGBOf(101, 99, 99), true},
                {RGBOf(100, 0, 0), false},
                {RGBOf(255, 100, 0), false},
                {RGBOf(255, 0, 100), false},
                {RGBOf(200, 20, 30), true}};
  for (auto C : Colors) {
    TPixelGraphic G;
    Fill(G, 11, 11, C.C);
    RedEyeReduction(G, RedEyeThresholds(0));
    EXPECT_EQ(G.GetPixelColor(5, 5), C.Black ? 0u : C.C);
    EXPECT_EQ(G.GetPixelColor(5, 0), C.Black ? 0u : C.C); // on the circle
    EXPECT_EQ(G.GetPixelColor(0, 0), C.C);                // outside the disc
  }
  // The editor's flow only touches the selection.
  TPixelGraphic G;
  Fill(G, 30, 30, RGBOf(200, 20, 30));
  RedEyeReduce(G, 10, 10, 11, 11, 0);
  EXPECT_EQ(G.GetPixelColor(15, 15), 0u);
  EXPECT_EQ(G.GetPixelColor(5, 5), RGBOf(200, 20, 30));
}

// ---- bevel and frames ------------------------------------------------------------------------

TEST(Bevel, OneRingOnUniformGrey) {
  TPixelGraphic G;
  Fill(G, 4, 4, RGBOf(100, 100, 100));
  Bevel(G, 1);
  const unsigned Expected[4][4] = {
      {155, 155, 155, 155}, {130, 100, 100, 80}, {130, 100, 100, 100}, {91, 70, 70, 70}};
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X)
      EXPECT_EQ(Grey(G, X, Y), Expected[Y][X]) << X << "," << Y;
}

TEST(Bevel, FactorsAreExtendedAndTruncated) {
  // 1.3 is held just below 13/10, so products that would be whole fall one short.
  const struct {
    unsigned In, Out;
  } Left[] = {{90, 116}, {170, 220}, {180, 233}, {190, 246}, {100, 130}, {250, 255}};
  for (auto C : Left) {
    TPixelGraphic G;
    Fill(G, 4, 4, RGBOf(C.In, C.In, C.In));
    Bevel(G, 1);
    EXPECT_EQ(Grey(G, 0, 1), C.Out) << C.In;
  }
  TPixelGraphic A, B;
  MakeRandom(A, 100, 40, 3);
  B.Assign(&A);
  BevelPicture(A); // 3 rings for 100 pixels across
  Bevel(B, 3);
  EXPECT_EQ(0, std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())));
  Bevel(B, 1 << 30); // stops once no ring fits
}

TEST(Frames, DropShadowGrowsThePicture) {
  TPixelGraphic G, Original;
  MakeRandom(Original, 400, 300, 2);
  G.Assign(&Original);
  DropShadow(G);
  EXPECT_EQ(G.Width(), 410);
  EXPECT_EQ(G.Height(), 310);
  EXPECT_EQ(G.BitCountNum(), 3);
  EXPECT_EQ(G.GetPixelColor(123, 45), Original.GetPixelColor(123, 45));
  EXPECT_GE(Grey(G, 409, 0), 250u);   // above the shadow
  EXPECT_LT(Grey(G, 401, 200), 200u); // in the shadow
  Fill(G, 30, 20, 0x123456);          // too small for a shadow: the same picture
  DropShadow(G);
  EXPECT_EQ(G.Width(), 30);
  EXPECT_EQ(G.GetPixelColor(29, 19), 0x123456u);
}

TEST(Frames, InPlaceShadowAndWhiteBorderKeepSizeAndDepth) {
  for (int Code : {2, 3}) {
    TPixelGraphic G;
    MakeRandom(G, 120, 90, Code);
    DropShadowInPlace(G, 3, 7);
    EXPECT_EQ(G.Width(), 120);
    EXPECT_EQ(G.BitCountNum(), Code);
    WhiteBorder(G);
    EXPECT_EQ(G.Height(), 90);
    EXPECT_EQ(G.BitCountNum(), Code);
    EXPECT_GE(Grey(G, 0, 0), 250u); // the frame's outer edge is white
  }
  // No room inside: left as it is.
  TPixelGraphic G, Original;
  MakeRandom(Original, 56, 200, 3);
  G.Assign(&Original);
  WhiteBorder(G);
  DropShadowInPlace(G, 2, 56);
  EXPECT_EQ(0, std::memcmp(G.Bits(), Original.Bits(), size_t(G.ImageSize())));
}

// ---- every effect on thin, tiny and large pictures -------------------------------------------

TEST(Effects, EveryEffectOnEveryShapeAndDepth) {
  const int Shapes[][2] = {{1, 1}, {1, 13}, {13, 1}, {2, 2}, {500, 1000}};
  for (auto [W, H] : Shapes)
    for (int Code = 0; Code <= 3; ++Code) {
      SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H) + " depth " + std::to_string(Code));
      TPixelGraphic S, G;
      MakeRandom(S, W, H, Code);
      for (int E = feSprayPaint; E <= feMosaic; ++E) {
        G.Assign(&S);
        FastEffectPicture(G, TFastEffect(E), 17);
        EXPECT_EQ(G.Width(), W);
      }
      G.Assign(&S);
      EmbossPicture(G);
      TFastBMP Preview;
      BuildEffectPreview(S, Preview);
      G.Assign(&S);
      RedEyeReduce(G, -1, -1, W, H, 30);
      G.Assign(&S);
      DropShadowInPlace(G, 2, 3);
      WhiteBorder(G);
      Bevel(G, 4);
      GradientBorderPicture(G, true, 5, 0xFF0000);
      EXPECT_EQ(G.BitCountNum(), Code);
      G.Assign(&S);
      DropShadow(G);
      GaussianBlur(G, nullptr, 1.5f);
      G.Assign(&S);
      PencilDrawing(G);
      G.Assign(&S);
      WhiteBorderPicture(G);
      BevelPicture(G);
      EXPECT_EQ(G.Width(), W);
    }
}
