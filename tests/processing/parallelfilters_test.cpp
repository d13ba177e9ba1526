// The filters and effects that share their rows out between the engine's threads give the same
// bytes as the one-thread run, for every shape, depth and thread count, and raise progress in
// row order.
#include "engine/parallel.h"
#include "processing/colorfilters.h"
#include "processing/convfilter.h"
#include "processing/effects.h"
#include "processing/fastbmp.h"
#include "processing/random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace orbisk;

namespace {

// 1 x 1 up to shapes whose bands really go to several threads (at least twice the rows a band
// takes: 8, or 16384 / width).
const std::pair<int, int> kShapes[] = {{1, 1},    {1, 300},  {300, 1},   {17, 13},
                                       {1001, 3}, {7, 5000}, {173, 409}, {2100, 70}};

// Colours at random; with Few, a 24-bit picture takes its colours from 3000 of them, as
// photographs repeat colours (and the colour filters' memory is put to use from every thread).
void MakeRandom(TPixelGraphic& G, int W, int H, int Code, unsigned Seed, bool Few = false) {
  std::mt19937 Rng(Seed);
  std::vector<uint32_t> Colours(Few ? 3000 : 0);
  for (uint32_t& C : Colours)
    C = Rng() % 0x1000000;
  G.SetSize(W, H, Code);
  if (Code == 0) G.SetPaletteKind(pBlackWhite);
  if (Code == 1) G.SetPaletteKind(pSys16);
  if (Code == 2) G.SetPaletteKind(pSpecial216);
  const uint32_t Limit = Code == 3 ? 0x1000000 : uint32_t(G.PaletteCount());
  // Runs of equal pixels as well as noise, so flat areas take part.
  uint32_t V = 0;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      if (Rng() % 4 != 0) V = Few && Code == 3 ? Colours[Rng() % 3000] : Rng() % Limit;
      G.SetPixelValue(X, Y, V);
    }
}

std::vector<uint8_t> Bytes(const TPixelGraphic& G) {
  if (G.Empty()) return {};
  std::vector<uint8_t> B(G.Bits(), G.Bits() + G.ImageSize());
  for (TRGB C : G.Palette())
    for (int K = 0; K < 3; ++K)
      B.push_back(uint8_t(C >> (8 * K)));
  return B;
}

std::vector<uint8_t> Bytes(const TFastBMP& B) {
  std::vector<uint8_t> V;
  for (int Y = 0; Y < B.Height(); ++Y)
    V.insert(V.end(), B.Row(Y), B.Row(Y) + 3 * size_t(B.Width()));
  return V;
}

class Threads : public ::testing::Test {
protected:
  void TearDown() override { SetEngineThreadCount(0); }

  // Run(Threads) gives the bytes of one run; every count must give the one-thread bytes.
  static void ExpectSame(const std::function<std::vector<uint8_t>()>& Run,
                         const std::string& What) {
    SetEngineThreadCount(1);
    const std::vector<uint8_t> Reference = Run();
    for (int N : {2, 3, 4}) {
      SetEngineThreadCount(N);
      ASSERT_TRUE(Run() == Reference) << What << " with " << N << " threads";
    }
  }
};

std::string Shape(int W, int H) {
  return std::to_string(W) + "x" + std::to_string(H);
}

using TMakeFilter = std::function<std::unique_ptr<TPGFilter>()>;

template <class F> TMakeFilter Maker(std::function<void(F&)> Set = {}) {
  return [Set] {
    auto P = std::make_unique<F>();
    if (Set) Set(*P);
    return std::unique_ptr<TPGFilter>(std::move(P));
  };
}

std::vector<std::pair<std::string, TMakeFilter>> ConvolutionFilters() {
  return {
      {"sharpen",
       Maker<TConvFilter>([](auto& F) { F.SetSharpenKernel(dsGaussian, true, 50, 0.75L); })},
      {"sharpen tent",
       Maker<TConvFilter>([](auto& F) { F.SetSharpenKernel(dsTent, false, 70, 0.75L); })},
      {"detail",
       Maker<TConvFilter>([](auto& F) { F.SetDetailKernel(dsGaussian, true, 75, 0.75L); })},
      {"smooth",
       Maker<TConvFilter>([](auto& F) { F.SetSmoothKernel(dsGaussian, true, 100, 1.3L); })},
      {"contour",
       Maker<TConvFilter>([](auto& F) { F.SetContourKernel(dsRect, true, true, 792, 1.16L); })},
      {"ring blur", Maker<TConvFilter>([](auto& F) { F.SetBlurKernel(100, 2.5L); })},
      // Weights too large for 32-bit sums, off-centre, with bias and factor.
      {"custom", Maker<TConvFilter>([](auto& F) {
         F.SetWidth(4), F.SetHeight(3), F.SetOffsetX(-1), F.SetOffsetY(-2);
         for (int I = 0; I < 12; ++I)
           F.SetKernel(I % 4, I / 4, (I % 3 - 1) * 3000000);
         F.SetBias(12), F.SetFactor(0.8L);
       })},
  };
}

std::vector<std::pair<std::string, TMakeFilter>> ColourFilters() {
  return {
      {"negative", Maker<TNegativeFilter>()},
      {"grey", Maker<TGrayScaleFilter>()},
      {"bcg", Maker<TBCGFilter>(
                  [](auto& F) { F.SetBrightness(-20), F.SetContrast(1.6L), F.SetGamma(0.7L); })},
      {"bcg y",
       Maker<TBCGFilter>([](auto& F) { F.SetBrightness(30), F.SetContrast(0.7L), F.UseY = true; })},
      {"rgb", Maker<TRGBFilter>([](auto& F) { F.SetPercents(10, -30, 55); })},
      {"cmy", Maker<TCMYFilter>([](auto& F) { F.SetPercents(-40, 20, 5); })},
      {"ycbcr", Maker<TYCbCrFilter>([](auto& F) { F.SetPercents(15, -25, 40); })},
      {"hls", Maker<THLSFilter>([](auto& F) { F.SetShifts(75, -10, 35); })},
      {"hsv", Maker<THSVFilter>([](auto& F) { F.SetShifts(-120, 30, -15); })},
  };
}

// Destinations: 24 bits, and palettes written by nearest colour and with error diffusion.
struct TDest {
  int Code;
  TPaletteIdent Kind;
  bool Dither;
};
const TDest kDests[] = {
    {3, pNone, false}, {2, pSpecial216, false}, {2, pSpecial216, true}, {1, pSys16, true}};

void PrepareDest(TPixelGraphic& D, const TDest& Dd) {
  D.SetSize(1, 1, Dd.Code);
  if (Dd.Code != 3) D.SetPaletteKind(Dd.Kind);
  D.Dither = Dd.Dither;
}

} // namespace

TEST_F(Threads, ConvolutionFiltersEveryShapeAndDepth) {
  // (Named pairs, not structured bindings: clang 14's lambdas cannot capture bindings.)
  for (const auto& Filter : ConvolutionFilters())
    for (auto [W, H] : kShapes)
      for (int Code : {0, 1, 2, 3}) {
        TPixelGraphic S;
        MakeRandom(S, W, H, Code, unsigned(W * 31 + H + Code));
        for (const TDest& Dd : kDests) {
          // Every depth pairing on the small shapes; the larger ones from 8 and 24 bits.
          // (8-bit sources of the larger shapes through two filters only, to keep it quick).
          if (W * H > 20000 &&
              (Code < 2 || (Code == 2 && Filter.first != "sharpen" && Filter.first != "contour") ||
               (Dd.Code != 3 && Dd.Code != Code - 1)))
            continue;
          ExpectSame(
              [&] {
                auto F = Filter.second();
                TPixelGraphic D;
                PrepareDest(D, Dd);
                ApplyFilter(D, *F, S);
                return Bytes(D);
              },
              Filter.first + " " + Shape(W, H) + " depth " + std::to_string(Code) + " into " +
                  std::to_string(Dd.Code) + (Dd.Dither ? " dithered" : ""));
        }
      }
}

TEST_F(Threads, ColourFiltersInPlaceAndIntoOtherDepths) {
  for (const auto& Filter : ColourFilters())
    for (auto [W, H] : kShapes)
      for (int Code : {2, 3}) {
        TPixelGraphic S;
        MakeRandom(S, W, H, Code, unsigned(W + H * 7 + Code), W * H > 20000);
        ExpectSame(
            [&] {
              auto F = Filter.second();
              TPixelGraphic G;
              G.Assign(&S);
              ApplyFilter(G, *F, G);
              return Bytes(G);
            },
            Filter.first + " in place " + Shape(W, H) + " depth " + std::to_string(Code));
        for (const TDest& Dd : kDests) {
          if (W * H > 20000 && Dd.Code != 3 && !Dd.Dither) continue;
          ExpectSame(
              [&] {
                auto F = Filter.second();
                TPixelGraphic D;
                PrepareDest(D, Dd);
                ApplyFilter(D, *F, S);
                return Bytes(D);
              },
              Filter.first + " " + Shape(W, H) + " depth " + std::to_string(Code) + " into " +
                  std::to_string(Dd.Code) + (Dd.Dither ? " dithered" : ""));
        }
      }
}

TEST_F(Threads, OneFilterObjectRunsAgainWithChangedTables) {
  // The colour memo of one run must not leak into the next after the tables change.
  TPixelGraphic S;
  MakeRandom(S, 173, 409, 3, 5);
  ExpectSame(
      [&] {
        THSVFilter F;
        TPixelGraphic A, B;
        F.SetShifts(40, 0, 0);
        ApplyFilter(A, F, S);
        F.SetShifts(-90, 20, 20);
        ApplyFilter(B, F, S);
        std::vector<uint8_t> V = Bytes(A), W = Bytes(B);
        V.insert(V.end(), W.begin(), W.end());
        return V;
      },
      "hsv twice");
}

TEST_F(Threads, ProgressInRowOrderAndAbortKeepsPaletteRowsBelow) {
  SetEngineThreadCount(4);
  TPixelGraphic S;
  MakeRandom(S, 173, 409, 3, 9);
  TConvFilter F;
  F.SetSharpenKernel(dsGaussian, true, 50, 0.75L);
  for (const TDest& Dd : kDests) {
    TPixelGraphic D;
    PrepareDest(D, Dd);
    std::vector<int> Steps;
    D.OnProgress = [&](TPixelGraphic*, int Step, bool&, int Max) {
      EXPECT_EQ(Max, 408);
      Steps.push_back(Step);
    };
    ApplyFilter(D, F, S);
    ASSERT_EQ(Steps.size(), 409u);
    for (int I = 0; I < 409; ++I)
      ASSERT_EQ(Steps[size_t(I)], I);

    // Stopped at row 100: rows up to it are filtered; a palette picture has nothing below.
    TPixelGraphic Full, Part;
    PrepareDest(Full, Dd);
    ApplyFilter(Full, F, S);
    PrepareDest(Part, Dd);
    Part.SetSize(173, 409, Dd.Code);
    TPixelGraphic Blank;
    Blank.Assign(&Part);
    Part.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step == 100; };
    ApplyFilter(Part, F, S);
    for (int Y = 0; Y <= 100; ++Y)
      ASSERT_EQ(0, std::memcmp(Part.ScanLine(Y), Full.ScanLine(Y), size_t(Part.RowBytes()))) << Y;
    if (Dd.Code != 3) {
      for (int Y = 101; Y < 409; ++Y)
        ASSERT_EQ(0, std::memcmp(Part.ScanLine(Y), Blank.ScanLine(Y), size_t(Part.RowBytes())))
            << Y;
    }
  }
}

TEST_F(Threads, GaussianBlurEveryShapeAndRadius) {
  for (auto [W, H] : kShapes)
    for (float Radius : {0.1f, 0.7f, 2.0f, 5.0f, 30.0f}) {
      TPixelGraphic S;
      MakeRandom(S, W, H, 3, unsigned(W * H) + 3);
      ExpectSame(
          [&] {
            TPixelGraphic G;
            G.Assign(&S);
            GaussianBlur(G, nullptr, Radius);
            return Bytes(G);
          },
          "blur " + Shape(W, H) + " radius " + std::to_string(Radius));
    }
  // Flat areas, where the exact sums are closest to whole values.
  TPixelGraphic Flat;
  Flat.SetSize(301, 211, 3);
  for (int Y = 0; Y < 211; ++Y)
    for (int X = 0; X < 301; ++X)
      Flat.SetPixelValue(X, Y, X < 150 ? 0xFFFFFF : Y < 100 ? 0x808080 : 0x010203);
  for (float Radius : {1.0f, 5.0f})
    ExpectSame(
        [&] {
          TPixelGraphic G;
          G.Assign(&Flat);
          GaussianBlur(G, nullptr, Radius);
          return Bytes(G);
        },
        "flat blur");
}

TEST_F(Threads, GaussianBlurProgressAndAbortInBothPasses) {
  SetEngineThreadCount(3);
  TPixelGraphic S, Full;
  MakeRandom(S, 173, 409, 3, 2);
  Full.Assign(&S);
  GaussianBlur(Full, nullptr, 4);
  struct Gauge : TStatusGauge {
    std::vector<int> Positions;
    void ShowGauge() override {}
    void SetGaugePosition(int P) override { Positions.push_back(P); }
    void HideGauge() override {}
  } Bar;
  TPixelGraphic G;
  G.Assign(&S);
  std::vector<int> Steps;
  G.OnProgress = [&](TPixelGraphic*, int Step, bool&, int Max) {
    EXPECT_EQ(Max, 2 * 409 - 1);
    Steps.push_back(Step);
  };
  GaussianBlur(G, &Bar, 4);
  ASSERT_EQ(Steps.size(), 818u);
  for (int I = 0; I < 818; ++I)
    ASSERT_EQ(Steps[size_t(I)], I);
  ASSERT_EQ(Bar.Positions.size(), 818u);
  EXPECT_TRUE(std::is_sorted(Bar.Positions.begin(), Bar.Positions.end()));
  EXPECT_EQ(Bar.Positions.back(), 99);

  // Stopped in the first pass: rows up to the step are blurred across only, the rest untouched.
  G.Assign(&S);
  G.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step == 200; };
  GaussianBlur(G, nullptr, 4);
  TPixelGraphic One;
  One.Assign(&S);
  SetEngineThreadCount(1);
  One.OnProgress = G.OnProgress;
  GaussianBlur(One, nullptr, 4);
  EXPECT_TRUE(Bytes(G) == Bytes(One));
  for (int Y = 201; Y < 409; ++Y)
    ASSERT_EQ(0, std::memcmp(G.ScanLine(Y), S.ScanLine(Y), size_t(S.RowBytes()))) << Y;

  // Stopped in the second pass: the rows up to the step are finished.
  SetEngineThreadCount(3);
  G.Assign(&S);
  G.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step == 409 + 150; };
  GaussianBlur(G, nullptr, 4);
  for (int Y = 0; Y <= 150; ++Y)
    ASSERT_EQ(0, std::memcmp(G.ScanLine(Y), Full.ScanLine(Y), size_t(S.RowBytes()))) << Y;
}

TEST_F(Threads, FastBitmapEffectsDrawTheSameNumbersAndLeaveTheSameSeed) {
  struct TCase {
    const char* Name;
    TFastEffect Effect;
    int Amount;
  };
  const TCase Cases[] = {{"colour noise", feColorNoise, 40}, {"mono noise", feMonoNoise, 25},
                         {"noise 0", feColorNoise, 0},       {"spray", feSprayPaint, 9},
                         {"mosaic 1", feMosaic, 1},          {"mosaic 2", feMosaic, 2},
                         {"mosaic 3", feMosaic, 3},          {"mosaic 8", feMosaic, 8}};
  for (const TCase& C : Cases)
    for (auto [W, H] : kShapes) {
      TPixelGraphic P;
      MakeRandom(P, W, H, 3, unsigned(W + H));
      const TFastBMP Source(P);
      ExpectSame(
          [&] {
            RandSeed = 12345;
            TFastBMP Work;
            ApplyFastEffect(C.Effect, Source, Work, C.Amount);
            std::vector<uint8_t> V = Bytes(Work);
            const uint32_t Seed = RandSeed;
            for (int K = 0; K < 4; ++K)
              V.push_back(uint8_t(Seed >> (8 * K)));
            return V;
          },
          std::string(C.Name) + " " + Shape(W, H));
    }
  // The shared seed moves on by exactly the numbers drawn: three a pixel for colour noise and
  // spray, one for mono noise.
  for (auto [Effect, PerPixel] :
       {std::pair{feColorNoise, 3}, std::pair{feMonoNoise, 1}, std::pair{feSprayPaint, 3}}) {
    SetEngineThreadCount(3);
    TPixelGraphic P;
    MakeRandom(P, 173, 409, 3, 6);
    const TFastBMP Source(P);
    TFastBMP Work;
    RandSeed = 777;
    ApplyFastEffect(Effect, Source, Work, 20);
    const uint32_t After = RandSeed;
    RandSeed = 777;
    for (int I = 0; I < 173 * 409 * PerPixel; ++I)
      Random(5);
    EXPECT_EQ(After, RandSeed.load()) << int(Effect);
  }
  // Mosaic blocks of one row and many columns, and of many rows and one column.
  TPixelGraphic Q;
  MakeRandom(Q, 173, 409, 3, 4);
  const TFastBMP Mosaic(Q);
  for (const auto& Block : {std::pair{7, 1}, std::pair{1, 7}, std::pair{500, 3}})
    ExpectSame(
        [&] {
          TFastBMP Work;
          Work.Assign(Mosaic);
          Work.Mosaic(Block.first, Block.second);
          return Bytes(Work);
        },
        "mosaic " + Shape(Block.first, Block.second));
}

TEST_F(Threads, EmbossAndTrueColourCopies) {
  for (auto [W, H] : kShapes)
    for (int Code : {0, 2, 3}) {
      TPixelGraphic P;
      MakeRandom(P, W, H, Code, unsigned(W * 3 + H));
      ExpectSame(
          [&] {
            TPixelGraphic G;
            G.Assign(&P);
            EmbossPicture(G);
            return Bytes(G);
          },
          "emboss " + Shape(W, H) + " depth " + std::to_string(Code));
    }
}

TEST_F(Threads, EffectsBuiltOnTheFilters) {
  TPixelGraphic P;
  MakeRandom(P, 400, 300, 3, 8);
  const std::pair<const char*, std::function<void(TPixelGraphic&)>> Effects[] = {
      {"pencil", PencilDrawing},
      {"drop shadow", DropShadow},
      {"drop shadow in place", [](TPixelGraphic& G) { DropShadowInPlace(G, 3, 12); }},
      {"white border", WhiteBorderPicture},
      {"red eye", [](TPixelGraphic& G) { RedEyeReduce(G, 20, 30, 300, 250, 10); }},
  };
  for (const auto& E : Effects)
    ExpectSame(
        [&] {
          TPixelGraphic G;
          G.Assign(&P);
          E.second(G);
          return Bytes(G);
        },
        E.first);
}
