#include "processing/transforms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <random>
#include <string>

using namespace orbisk;

namespace {

// A picture of the given depth with random pixel values; palette pictures get a palette of
// their own (8 bits), the system colours (4 bits) or black and white (1 bit).
void MakeRandom(TPixelGraphic& G, int W, int H, int Code, unsigned Seed = 1) {
  std::mt19937 Rng(Seed);
  G.SetSize(W, H, Code);
  if (Code == 0) G.SetPaletteKind(pBlackWhite);
  if (Code == 1) G.SetPaletteKind(pSys16);
  if (Code == 2) {
    G.SetPaletteCount(256);
    for (int I = 0; I < 256; ++I)
      G.SetPaletteEntry(I, Rng() & 0xFFFFFF);
  }
  const uint32_t Mask = Code == 3 ? 0xFFFFFF : uint32_t(G.ColorCount() - 1);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, Rng() & Mask);
}

void Fill(TPixelGraphic& G, int W, int H, TRGB C) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, C);
}

::testing::AssertionResult SameValues(const TPixelGraphic& A, const TPixelGraphic& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.BitCountNum() != B.BitCountNum())
    return ::testing::AssertionFailure()
           << A.Width() << "x" << A.Height() << "/" << A.BitCountNum() << " vs " << B.Width() << "x"
           << B.Height() << "/" << B.BitCountNum();
  if (A.Palette() != B.Palette()) return ::testing::AssertionFailure() << "palettes differ";
  for (int Y = 0; Y < A.Height(); ++Y)
    for (int X = 0; X < A.Width(); ++X)
      if (A.GetPixelValue(X, Y) != B.GetPixelValue(X, Y))
        return ::testing::AssertionFailure() << "pixel " << X << "," << Y << " differs";
  return ::testing::AssertionSuccess();
}

const int Sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {4, 3}, {5, 3}, {9, 13}, {70, 67}};

} // namespace

// ---- right angles and flips ------------------------------------------------------------------

TEST(RightAngles, TurnsAndFlipsGiveBackTheOriginalAtEveryDepth) {
  for (int Code = 0; Code <= 3; ++Code)
    for (auto [W, H] : Sizes) {
      SCOPED_TRACE("depth " + std::to_string(Code) + ", " + std::to_string(W) + "x" +
                   std::to_string(H));
      TPixelGraphic Original, G;
      MakeRandom(Original, W, H, Code);
      G.Assign(&Original);
      for (int I = 0; I < 4; ++I)
        RotatePicture(G, 90);
      EXPECT_TRUE(SameValues(G, Original));
      RotatePicture(G, 90);
      RotatePicture(G, 270);
      EXPECT_TRUE(SameValues(G, Original));
      FlipHorizontal(G);
      FlipHorizontal(G);
      FlipVertical(G);
      FlipVertical(G);
      EXPECT_TRUE(SameValues(G, Original));
      // Half a turn is both flips.
      RotatePicture(G, 180);
      FlipHorizontal(G);
      FlipVertical(G);
      EXPECT_TRUE(SameValues(G, Original));
    }
}

TEST(RightAngles, EveryPixelLandsWhereTheTurnSendsIt) {
  // Destination (x, y) of the turned picture and the source pixel it shows.
  struct Case {
    long double Angle;
    int (*SX)(int X, int Y, int W, int H);
    int (*SY)(int X, int Y, int W, int H);
  };
  const Case Cases[] = {
      {90, [](int, int Y, int, int) { return Y; },
       [](int X, int, int, int H) { return H - 1 - X; }},
      {180, [](int X, int, int W, int) { return W - 1 - X; },
       [](int, int Y, int, int H) { return H - 1 - Y; }},
      {270, [](int, int Y, int W, int) { return W - 1 - Y; },
       [](int X, int, int, int) { return X; }},
      {-90, [](int, int Y, int W, int) { return W - 1 - Y; },
       [](int X, int, int, int) { return X; }},
      {450, [](int, int Y, int, int) { return Y; },
       [](int X, int, int, int H) { return H - 1 - X; }},
  };
  for (int Code = 0; Code <= 3; ++Code)
    for (const Case& C : Cases) {
      TPixelGraphic S, G;
      MakeRandom(S, 5, 3, Code, 7);
      G.Assign(&S);
      RotatePicture(G, C.Angle);
      const bool Odd = std::fmod(std::fabs(C.Angle), 180.0L) == 90;
      ASSERT_EQ(G.Width(), Odd ? 3 : 5) << C.Angle;
      ASSERT_EQ(G.Height(), Odd ? 5 : 3);
      EXPECT_EQ(G.Palette(), S.Palette());
      for (int Y = 0; Y < G.Height(); ++Y)
        for (int X = 0; X < G.Width(); ++X)
          ASSERT_EQ(G.GetPixelValue(X, Y), S.GetPixelValue(C.SX(X, Y, 5, 3), C.SY(X, Y, 5, 3)))
              << "angle " << C.Angle << " depth " << Code << " at " << X << "," << Y;
    }
}

TEST(RightAngles, GeneralRotationByRightAnglesIsTheExactTurn) {
  for (int Code : {2, 3})
    for (auto [W, H] : Sizes)
      for (long double Angle : {0.0L, 90.0L, 180.0L, 270.0L, 360.0L, -90.0L, 720.0L, 990.0L}) {
        TPixelGraphic S, D, Expected;
        MakeRandom(S, W, H, Code, 3);
        D.SetSize(0, 0, Code);
        D.AssignPalette(S);
        Rotate(D, true, S, Angle);
        RotateQuarterTurns(Expected, S, int(std::fmod(Angle, 360.0L) / 90));
        EXPECT_TRUE(SameValues(D, Expected)) << "angle " << Angle << ", " << W << "x" << H;
      }
}

TEST(Flips, AbortAfterTheFirstColumnKeepsItFlipped) {
  TPixelGraphic G, Original;
  MakeRandom(Original, 300, 4, 3);
  G.Assign(&Original);
  int Calls = 0;
  G.OnProgress = [&](TPixelGraphic*, int, bool& Abort, int Max) {
    EXPECT_EQ(Max, 299);
    ++Calls;
    Abort = true;
  };
  FlipVertical(G);
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(G.GetPixelValue(0, 0), Original.GetPixelValue(0, 3));
  // Columns beyond the work done when the abort came are untouched.
  EXPECT_EQ(G.GetPixelValue(299, 0), Original.GetPixelValue(299, 0));
}

// ---- arbitrary angles ------------------------------------------------------------------------

TEST(Rotation, FortyFiveDegrees) {
  TPixelGraphic G;
  Fill(G, 100, 100, RGBOf(200, 150, 100));
  RotatePicture(G, 45);
  EXPECT_EQ(G.Width(), 142);
  EXPECT_EQ(G.Height(), 142);
  EXPECT_EQ(G.GetPixelColor(0, 0), 0u);
  EXPECT_EQ(G.GetPixelColor(141, 141), 0u);
  // Inside, the weights sum to one: a uniform picture stays exactly uniform.
  for (int X = 50; X < 92; ++X)
    EXPECT_EQ(G.GetPixelColor(X, 71), RGBOf(200, 150, 100));
  // The edges blend into black.
  EXPECT_EQ(G.GetPixelColor(70, 1), RGBOf(159, 119, 80));
  EXPECT_EQ(G.GetPixelColor(71, 0), RGBOf(127, 95, 63)); // the corner, partly covered
  // Large pictures are turned in bands on several threads: no row may be missed.
  Fill(G, 700, 700, RGBOf(200, 150, 100));
  RotatePicture(G, 45);
  for (int Y = 100; Y < G.Height() - 100; ++Y)
    ASSERT_EQ(G.GetPixelColor(G.Width() / 2, Y), RGBOf(200, 150, 100)) << Y;
}

TEST(Rotation, WithoutInterpolationEveryColourComesFromTheSource) {
  TPixelGraphic S, D;
  MakeRandom(S, 31, 17, 3);
  D.Smooth = false;
  Rotate(D, true, S, 17);
  std::set<uint32_t> Colors;
  for (int Y = 0; Y < 17; ++Y)
    for (int X = 0; X < 31; ++X)
      Colors.insert(S.GetPixelValue(X, Y));
  Colors.insert(0); // the untouched corners
  for (int Y = 0; Y < D.Height(); ++Y)
    for (int X = 0; X < D.Width(); ++X)
      ASSERT_TRUE(Colors.count(D.GetPixelValue(X, Y)));
}

TEST(Rotation, PaletteDestinationsAndUntouchedOutside) {
  TPixelGraphic S, D;
  MakeRandom(S, 40, 30, 3);
  D.SetSize(60, 60, 2);
  D.SetPaletteKind(pSpecial216);
  D.SetBackGroundColor(RGBOf(255, 255, 255));
  D.Clear();
  Rotate(D, false, S, 33.3L); // fixed size: only the covered box changes
  EXPECT_EQ(D.GetPixelColor(0, 0), RGBOf(255, 255, 255));
  EXPECT_EQ(D.Width(), 60);
  TPixelGraphic Empty;
  Rotate(D, true, Empty, 10); // nothing happens
  EXPECT_EQ(D.Width(), 60);
  EXPECT_THROW(Rotate(D, true, S, NAN), EPixelGraphic);
}

// ---- crop and resize -------------------------------------------------------------------------

TEST(Crop, RawValuesPaletteAndOutsideParts) {
  for (int Code = 0; Code <= 3; ++Code) {
    TPixelGraphic Original, G;
    MakeRandom(Original, 20, 10, Code);
    G.Assign(&Original);
    CropPicture(G, 3, 2, 9, 5);
    ASSERT_EQ(G.Width(), 9);
    EXPECT_EQ(G.BitCountNum(), Code);
    EXPECT_EQ(G.Palette(), Original.Palette());
    for (int Y = 0; Y < 5; ++Y)
      for (int X = 0; X < 9; ++X)
        ASSERT_EQ(G.GetPixelValue(X, Y), Original.GetPixelValue(X + 3, Y + 2));
    G.Assign(&Original);
    CropPicture(G, 15, -2, 10, 4);
    EXPECT_EQ(G.GetPixelValue(9, 0), Original.BackGroundColor());
    EXPECT_EQ(G.GetPixelValue(0, 2), Original.GetPixelValue(15, 0));
  }
}

TEST(Resize, ConstrainedProportions) {
  struct {
    int New, Old, Other, Expected;
  } Cases[] = {
      {320, 640, 480, 240},
      {333, 640, 480, 250},         // 249.75
      {1, 4, 2, 0},                 // 0.5, halves to even
      {3, 4, 2, 2},                 // 1.5
      {50000, 60000, 50000, 41667}, // the product passes 2^31
      {100000, 1, 100000, 2147483647},
      {10, 0, 10, 0},
  };
  for (auto C : Cases)
    EXPECT_EQ(ProportionalSide(C.New, C.Old, C.Other), C.Expected) << C.New;
}

TEST(Resize, KeepsDepthAndOwnPalette) {
  TPixelGraphic G, Original;
  MakeRandom(Original, 16, 12, 2);
  G.Assign(&Original);
  ResizePicture(G, 8, 6);
  EXPECT_EQ(G.Width(), 8);
  EXPECT_EQ(G.BitCountNum(), 2);
  EXPECT_EQ(G.Palette(), Original.Palette());
  ResizePicture(G, 0, 6);
  EXPECT_TRUE(G.Empty());
}

// ---- radial adjustment -----------------------------------------------------------------------

TEST(Radial, ParsesDecimalsOnly) {
  struct {
    const char* Text;
    bool Ok;
    long double Value;
  } Cases[] = {
      {"-0.02", true, -0.02L}, {" 1 ", true, 1},   {"+2", true, 2},       {"1e-3", true, 0.001L},
      {".5", true, 0.5L},      {"abc", false, 0},  {"", false, 0},        {"nan", false, 0},
      {"inf", false, 0},       {"-inf", false, 0}, {"1e99999", false, 0}, {"0x10", false, 0},
      {"1,5", false, 0},       {"+-1", false, 0},  {"1 2", false, 0},
  };
  for (auto C : Cases) {
    long double V = 0;
    EXPECT_EQ(ParseDecimal(C.Text, V), C.Ok) << C.Text;
    if (C.Ok) {
      EXPECT_NEAR(double(V), double(C.Value), 1e-12) << C.Text;
    }
  }
  TRadialSettings S;
  S.Outer = 7;
  EXPECT_FALSE(ParseRadialSettings("-0.02", "0", "abc", "1", S));
  EXPECT_EQ(S.Outer, 7); // untouched on failure
  EXPECT_TRUE(ParseRadialSettings("-0.02", "0", "0", "1", S));
  EXPECT_EQ(S.Outer, -0.02L);
}

TEST(Radial, IdentitySettingsGiveTheSamePicture) {
  for (int Code : {2, 3}) {
    TPixelGraphic S, D;
    MakeRandom(S, 37, 24, Code);
    RadialAdjust(D, S, TRadialSettings{0, 0, 0, 1});
    ASSERT_EQ(D.BitCountNum(), 3);
    for (int Y = 0; Y < 24; ++Y)
      for (int X = 0; X < 37; ++X)
        ASSERT_EQ(D.GetPixelColor(X, Y), S.GetPixelColor(X, Y));
  }
}

TEST(Radial, NarrowPicturesAndWildSettings) {
  TPixelGraphic S, D;
  MakeRandom(S, 1, 9, 3);
  RadialAdjust(D, S, TRadialSettings{});
  EXPECT_TRUE(SameValues(D, S)); // nothing to measure radii in: unchanged
  MakeRandom(S, 20, 20, 3);
  S.SetBackGroundColor(RGBOf(1, 2, 3));
  RadialAdjust(D, S, TRadialSettings{1e30L, 0, 0, 1});
  EXPECT_EQ(D.GetPixelColor(0, 0), RGBOf(1, 2, 3));            // far outside reads the background
  EXPECT_EQ(D.GetPixelColor(10, 10), S.GetPixelColor(10, 10)); // the centre stays
  std::vector<int> Steps;
  D.OnProgress = [&](TPixelGraphic*, int Step, bool&, int Max) {
    EXPECT_EQ(Max, 19);
    Steps.push_back(Step);
  };
  RadialAdjust(D, S, TRadialSettings{});
  ASSERT_EQ(Steps.size(), 20u);
  EXPECT_EQ(Steps.back(), 19);
}

// ---- fisheye and swirl -----------------------------------------------------------------------

namespace {

void FastFromValues(TFastBMP& B, int W, int H, unsigned Seed) {
  TPixelGraphic G;
  MakeRandom(G, W, H, 3, Seed);
  B.LoadFrom(G);
}

} // namespace

TEST(Distortions, UniformPicturesStayUniformAtAnyShape) {
  // Tall pictures reach radii beyond the fisheye's length: positions there are brought back
  // into the picture instead of reading outside it.
  const int Shapes[][2] = {{1, 1}, {1, 9}, {9, 1}, {10, 40}, {40, 10}, {3, 200}, {33, 33}};
  for (auto [W, H] : Shapes)
    for (int Effect = 0; Effect < 2; ++Effect)
      for (float Amount : {1.0f, 0.0f, 0.25f, 100.0f, -1.0f}) {
        TPixelGraphic G;
        Fill(G, W, H, RGBOf(10, 200, 77));
        const TFastBMP S(G);
        TFastBMP D;
        if (Effect == 0)
          Fisheye(S, D, Amount);
        else
          Swirl(S, D, Amount);
        ASSERT_EQ(D.Width(), W);
        for (int Y = 0; Y < H; ++Y)
          for (int X = 0; X < W; ++X) {
            const uint8_t* P = D.Pixel(X, Y);
            ASSERT_TRUE(P[0] == 77 && P[1] == 200 && P[2] == 10)
                << (Effect ? "swirl " : "fisheye ") << W << "x" << H << " amount " << Amount
                << " at " << X << "," << Y;
          }
      }
}

TEST(Distortions, FisheyeKeepsTheCentreAndHalfItsLength) {
  TFastBMP S, D;
  FastFromValues(S, 40, 30, 9);
  Fisheye(S, D, 0.5f); // length 20: radius 10 maps onto itself
  EXPECT_EQ(0, std::memcmp(D.Pixel(20, 15), S.Pixel(20, 15), 3));
  EXPECT_EQ(0, std::memcmp(D.Pixel(30, 15), S.Pixel(30, 15), 3));
  EXPECT_EQ(0, std::memcmp(D.Pixel(20, 5), S.Pixel(20, 5), 3));
}

TEST(Distortions, SwirlWithAHugeAmountIsAQuarterTurnCounterClockwise) {
  TFastBMP S, D;
  FastFromValues(S, 9, 9, 4);
  Swirl(S, D, 1e30f);
  EXPECT_EQ(0, std::memcmp(D.Pixel(0, 0), S.Pixel(8, 0), 3)); // top right lands top left
  for (int Y = 1; Y < 8; ++Y)
    for (int X = 1; X < 8; ++X)
      ASSERT_EQ(0, std::memcmp(D.Pixel(X, Y), S.Pixel(8 - Y, X), 3)) << X << "," << Y;
}

// ---- every operation on thin, tiny and large pictures ----------------------------------------

TEST(Transforms, EveryOperationOnEveryShapeAndDepth) {
  const int Shapes[][2] = {{1, 1}, {1, 13}, {13, 1}, {500, 1000}};
  for (auto [W, H] : Shapes)
    for (int Code = 0; Code <= 3; ++Code) {
      SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H) + " depth " + std::to_string(Code));
      TPixelGraphic S, G;
      MakeRandom(S, W, H, Code);
      for (long double Angle : {90.0L, 33.0L}) {
        G.Assign(&S);
        RotatePicture(G, Angle);
        EXPECT_FALSE(G.Empty());
      }
      G.Assign(&S);
      G.Smooth = false;
      Rotate(G, false, S, 200);
      FlipHorizontal(G);
      FlipVertical(G);
      CropPicture(G, W / 3, H / 3, std::max(1, W / 2), std::max(1, H / 2));
      ResizePicture(G, W / 2 + 1, H * 2);
      RadialAdjust(G, S, TRadialSettings{});
      G.Assign(&S);
      FisheyePicture(G);
      G.Assign(&S);
      SwirlPicture(G);
      EXPECT_EQ(G.Width(), W);
    }
}
