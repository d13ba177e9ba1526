// Resampling, unscaled copies, transforms and colour reduction give the same bytes and the same
// progress on any number of engine threads as on one.
#include "engine/optimizedpalette.h"
#include "engine/parallel.h"
#include "engine/pixelgraphic.h"
#include "processing/colorresolution.h"
#include "processing/transforms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orbisk {
namespace {

struct TThreadCountScope {
  explicit TThreadCountScope(int N) { SetEngineThreadCount(N); }
  ~TThreadCountScope() { SetEngineThreadCount(0); }
};

// What an operation left: the pixel buffer, the palette, the size and every progress call.
struct TOutcome {
  int W = 0, H = 0, Code = 0;
  std::vector<uint8_t> Bits;
  std::vector<TRGB> Palette;
  std::vector<std::pair<int, int>> Progress;
  bool operator==(const TOutcome&) const = default;
};

TOutcome OutcomeOf(const TPixelGraphic& G, std::vector<std::pair<int, int>> Progress = {}) {
  TOutcome O;
  O.W = G.Width();
  O.H = G.Height();
  O.Code = G.BitCountNum();
  if (!G.Empty()) O.Bits.assign(G.Bits(), G.Bits() + G.ImageSize());
  O.Palette = G.Palette();
  O.Progress = std::move(Progress);
  return O;
}

// A photo-like picture with noise, so that runs of equal colours are short and colour
// matching meets many cells.
void Fill(TPixelGraphic& G, int W, int H, int Code, TPaletteIdent Kind, uint32_t Seed) {
  G.SetSize(W, H, Code);
  if (Code != 3) {
    if (Kind == pUnknown) {
      const int N = Code == 0 ? 2 : Code == 1 ? 16 : 200;
      G.SetPaletteCount(N);
      for (int I = 0; I < N; ++I)
        G.SetPaletteEntry(I, RGBOf((I * 97) & 255, (I * 41 + 30) & 255, (I * 13 + 200) & 255));
    } else {
      G.SetPaletteKind(Kind);
    }
  }
  uint32_t R = Seed;
  auto Next = [&R] {
    R = R * 1664525u + 1013904223u;
    return R >> 8;
  };
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      if (Code == 3) {
        const unsigned N = Next() % 48;
        G.SetPixelValue(X, Y,
                        RGBOf((X * 255 / std::max(W, 1) + N) & 255,
                              (Y * 255 / std::max(H, 1) + N / 2) & 255, (X + Y + N) & 255));
      } else {
        G.SetPixelValue(X, Y, Next() % uint32_t(std::max(G.PaletteCount(), 1)));
      }
    }
}

// A destination of the given depth and palette kind (pUnknown: an own palette of 37 colours).
void Prepare(TPixelGraphic& D, int W, int H, int Code, TPaletteIdent Kind, bool Dither,
             bool Cache) {
  D.SetSize(W, H, Code);
  if (Code != 3) {
    if (Kind == pUnknown) {
      const int N = Code == 0 ? 2 : Code == 1 ? 13 : 37;
      D.SetPaletteCount(N);
      for (int I = 0; I < N; ++I)
        D.SetPaletteEntry(I, RGBOf((I * 71) & 255, (I * 151 + 9) & 255, (I * 29 + 100) & 255));
    } else {
      D.SetPaletteKind(Kind);
    }
  }
  D.Dither = Dither;
  D.SetColorCache(Cache);
}

// Runs Op on a fresh destination made by Make with 1, 2, 3 and 4 threads; all runs must agree.
// With AbortAt, the handler asks to abort at that step: what was done up to there, and nothing
// after it, must agree too.
void ExpectSameOnAnyThreadCount(const std::string& Name,
                                const std::function<void(TPixelGraphic&)>& Make,
                                const std::function<void(TPixelGraphic&)>& Op, int AbortAt = -1) {
  TOutcome Reference;
  for (int Threads : {1, 2, 3, 4}) {
    TThreadCountScope Scope(Threads);
    TPixelGraphic D;
    Make(D);
    std::vector<std::pair<int, int>> Progress;
    D.OnProgress = [&Progress, AbortAt](TPixelGraphic*, int Step, bool& Abort, int Max) {
      Progress.emplace_back(Step, Max);
      Abort = Step == AbortAt;
    };
    Op(D);
    TOutcome O = OutcomeOf(D, std::move(Progress));
    if (Threads == 1)
      Reference = std::move(O);
    else
      EXPECT_TRUE(O == Reference) << Name << " differs on " << Threads << " threads";
  }
}

struct TSize {
  int W, H;
};
const TSize SourceSizes[] = {{1, 1}, {1, 37}, {41, 1}, {17, 13}, {1001, 3}, {64, 233}};

// Destinations: shrunk, enlarged, mixed, and the same size (the unscaled copy).
std::vector<TSize> DestSizes(TSize S) {
  const bool Big = S.W * S.H > 2000;
  return {{std::max(1, S.W / 3), std::max(1, S.H / 3)},
          {Big ? S.W + 7 : S.W * 2 + 1, Big ? S.H + 5 : S.H * 2 + 1},
          {std::max(1, S.W / 2), S.H * 3 / 2 + 1},
          {S.W, S.H}};
}

struct TDepth {
  int Code;
  TPaletteIdent Kind;
};
const TDepth SourceDepths[] = {{3, pTrueColor}, {2, pUnknown}, {1, pSys16}, {0, pBlackWhite}};
const TDepth DestDepths[] = {{3, pTrueColor}, {2, pUnknown}, {2, pGray256},    {2, pSpecial252},
                             {1, pSys16},     {1, pUnknown}, {0, pBlackWhite}, {2, pSpecial216}};

TEST(ParallelStretch, EveryModeDepthAndSizeMatchesOneThread) {
  for (TSize SS : SourceSizes)
    for (TDepth SD : SourceDepths) {
      TPixelGraphic S;
      Fill(S, SS.W, SS.H, SD.Code, SD.Kind, uint32_t(SS.W * 7 + SS.H));
      for (TSize DS : DestSizes(SS))
        for (TDepth DD : DestDepths)
          for (TStretchMode Mode : {smFast, smMedium, smPrecise})
            for (int Flags = 0; Flags < (DD.Code == 3 ? 1 : 3); ++Flags) {
              const bool Dither = Flags == 1, Cache = Flags != 2;
              const std::string Name = std::to_string(SS.W) + "x" + std::to_string(SS.H) + "/" +
                                       std::to_string(SD.Code) + " -> " + std::to_string(DS.W) +
                                       "x" + std::to_string(DS.H) + "/" + std::to_string(DD.Code) +
                                       " kind " + std::to_string(DD.Kind) + " mode " +
                                       std::to_string(Mode) + " flags " + std::to_string(Flags);
              ExpectSameOnAnyThreadCount(
                  Name,
                  [&](TPixelGraphic& D) {
                    Prepare(D, DS.W, DS.H, DD.Code, DD.Kind, Dither, Cache);
                    D.StretchMode = Mode;
                  },
                  [&](TPixelGraphic& D) { D.StretchFrom(S); });
            }
    }
}

TEST(ParallelStretch, PartialRectanglesAndRowsOutsideTheSource) {
  TPixelGraphic S;
  Fill(S, 120, 90, 3, pTrueColor, 5);
  struct TRect {
    int DX, DY, DW, DH, SX, SY, SW, SH;
  } Rects[] = {
      {-7, -5, 80, 70, 10, 4, 100, 80},    // destination partly outside
      {3, 2, 50, 200, -20, -30, 150, 140}, // source rectangle beyond the source: unusable rows
      {0, 0, 64, 64, 60, 45, 60, 45},
      {10, 10, 33, 300, 0, 0, 120, 90},
  };
  for (const TRect& R : Rects)
    for (TDepth DD : {TDepth{3, pTrueColor}, TDepth{2, pUnknown}, TDepth{1, pSys16}})
      for (TStretchMode Mode : {smFast, smMedium, smPrecise})
        for (bool Dither : {false, true}) {
          ExpectSameOnAnyThreadCount(
              "rect " + std::to_string(R.DW) + "x" + std::to_string(R.DH) + " depth " +
                  std::to_string(DD.Code) + " mode " + std::to_string(Mode),
              [&](TPixelGraphic& D) {
                Prepare(D, 100, 240, DD.Code, DD.Kind, Dither, true);
                Fill(D, 100, 240, DD.Code, DD.Kind == pUnknown ? pSys16 : DD.Kind, 3);
                D.StretchMode = Mode;
                D.Dither = Dither;
              },
              [&](TPixelGraphic& D) {
                D.StretchRect(R.DX, R.DY, R.DW, R.DH, S, R.SX, R.SY, R.SW, R.SH);
              });
          ExpectSameOnAnyThreadCount(
              "copy at " + std::to_string(R.DX) + "," + std::to_string(R.DY),
              [&](TPixelGraphic& D) { Prepare(D, 100, 240, DD.Code, DD.Kind, Dither, true); },
              [&](TPixelGraphic& D) { D.CopyRect(R.DX, R.DY, S, R.SX, R.SY, R.DW, R.DH); });
        }
}

// Colour matching into an own palette fills its cache lazily, so a second conversion into the
// same picture starts from what the first left.
TEST(ParallelStretch, OwnPaletteCacheCarriesOverBetweenOperations) {
  TPixelGraphic A, B;
  Fill(A, 150, 110, 3, pTrueColor, 11);
  Fill(B, 90, 200, 3, pTrueColor, 12);
  ExpectSameOnAnyThreadCount(
      "two conversions", [](TPixelGraphic& D) { Prepare(D, 80, 160, 2, pUnknown, false, true); },
      [&](TPixelGraphic& D) {
        D.StretchFrom(A);
        D.StretchFrom(B);
        D.StretchRect(0, 0, 80, 160, A, 0, 0, 80, 160);
      });
}

// A picture copied onto itself reads rows the copy may already have written: the rows go in
// order, as on one thread.
TEST(ParallelStretch, OntoItself) {
  for (TDepth DD : {TDepth{3, pTrueColor}, TDepth{2, pUnknown}, TDepth{1, pSys16}})
    for (TStretchMode Mode : {smFast, smPrecise}) {
      auto Make = [&](TPixelGraphic& D) {
        Fill(D, 90, 240, DD.Code, DD.Kind == pUnknown ? pSys16 : DD.Kind, 8);
        D.StretchMode = Mode;
        D.Dither = false;
      };
      ExpectSameOnAnyThreadCount("stretch onto itself", Make, [](TPixelGraphic& D) {
        D.StretchRect(0, 10, 90, 200, D, 5, 0, 60, 150);
        D.StretchRect(0, 0, 90, 100, D, 0, 50, 90, 190);
      });
      ExpectSameOnAnyThreadCount("copy onto itself", Make,
                                 [](TPixelGraphic& D) { D.CopyRect(3, 20, D, 0, 0, 80, 200); });
    }
}

TEST(ParallelStretch, AbortStopsAtTheRowAsked) {
  TPixelGraphic S;
  Fill(S, 300, 400, 3, pTrueColor, 2);
  for (TDepth DD : {TDepth{3, pTrueColor}, TDepth{2, pUnknown}, TDepth{2, pSpecial252}})
    for (bool Dither : {false, true}) {
      TThreadCountScope One(1);
      TPixelGraphic Full;
      Prepare(Full, 130, 170, DD.Code, DD.Kind, Dither, true);
      Full.StretchFrom(S);
      SetEngineThreadCount(4);
      TPixelGraphic D;
      Prepare(D, 130, 170, DD.Code, DD.Kind, Dither, true);
      int Last = -1, Ends = 0;
      D.OnProgress = [&Last](TPixelGraphic*, int Step, bool& Abort, int) {
        Last = Step;
        Abort = Step == 40;
      };
      D.OnProgressEnd = [&Ends](TPixelGraphic*) { ++Ends; };
      D.StretchFrom(S);
      EXPECT_EQ(Last, 40);
      EXPECT_EQ(Ends, 1);
      // Every row up to the aborted one is finished.
      for (int Y = 0; Y <= 40; ++Y)
        ASSERT_EQ(std::memcmp(D.ScanLine(Y), Full.ScanLine(Y), size_t(D.RowBytes())), 0)
            << "row " << Y << " depth " << DD.Code;
      // And every row after it is as it was.
      const std::vector<uint8_t> Zero(size_t(D.RowBytes()), 0);
      for (int Y = 41; Y < D.Height(); ++Y)
        ASSERT_EQ(std::memcmp(D.ScanLine(Y), Zero.data(), Zero.size()), 0)
            << "row " << Y << " depth " << DD.Code;
    }
}

TEST(ParallelStretch, NoPaletteStillFailsAsBefore) {
  TPixelGraphic S, D;
  Fill(S, 64, 64, 3, pTrueColor, 1);
  D.SetSize(32, 40, 2);
  D.SetPaletteKind(pNone);
  D.Dither = false;
  TThreadCountScope Four(4);
  int Ends = 0;
  D.OnProgressEnd = [&Ends](TPixelGraphic*) { ++Ends; };
  EXPECT_THROW(D.StretchFrom(S), EPGNoPalette);
  EXPECT_THROW(D.CopyRect(0, 0, S, 0, 0, 32, 40), EPGNoPalette);
  EXPECT_EQ(Ends, 0);
}

TEST(ParallelTransforms, RotationsFlipsAndCropsMatchOneThread) {
  for (TSize SS : SourceSizes)
    for (TDepth SD : SourceDepths) {
      TPixelGraphic S;
      Fill(S, SS.W, SS.H, SD.Code, SD.Kind, uint32_t(SS.W + SS.H * 3));
      const std::string Base =
          std::to_string(SS.W) + "x" + std::to_string(SS.H) + "/" + std::to_string(SD.Code);
      auto Copy = [&S](TPixelGraphic& D) { D.Assign(&S); };
      for (long double Angle : {90.0L, 180.0L, 270.0L, 33.0L, -127.5L})
        ExpectSameOnAnyThreadCount(Base + " turn " + std::to_string(double(Angle)), Copy,
                                   [Angle](TPixelGraphic& D) { RotatePicture(D, Angle); });
      for (int Q = 1; Q < 4; ++Q)
        ExpectSameOnAnyThreadCount(
            Base + " quarter " + std::to_string(Q), [](TPixelGraphic&) {},
            [&S, Q](TPixelGraphic& D) { RotateQuarterTurns(D, S, Q); });
      for (TDepth DD : DestDepths)
        for (bool Dither : {false, true})
          for (bool Smooth : {false, true})
            ExpectSameOnAnyThreadCount(
                Base + " rotate into " + std::to_string(DD.Code) + "/" + std::to_string(DD.Kind),
                [&](TPixelGraphic& D) {
                  Prepare(D, SS.W + 5, SS.H + 3, DD.Code, DD.Kind, Dither, true);
                  D.Smooth = Smooth;
                },
                [&S](TPixelGraphic& D) { Rotate(D, false, S, 21.0L); });
      ExpectSameOnAnyThreadCount(Base + " flip h", Copy, FlipHorizontal);
      ExpectSameOnAnyThreadCount(Base + " flip v", Copy, FlipVertical);
      ExpectSameOnAnyThreadCount(Base + " crop", Copy, [](TPixelGraphic& D) {
        CropPicture(D, 1, 0, std::max(1, D.Width() - 1), D.Height() + 2);
      });
      ExpectSameOnAnyThreadCount(Base + " resize", Copy, [](TPixelGraphic& D) {
        ResizePicture(D, D.Width() * 2 / 3 + 1, D.Height() + 7);
      });
      ExpectSameOnAnyThreadCount(
          Base + " radial", [](TPixelGraphic&) {},
          [&S](TPixelGraphic& D) { RadialAdjust(D, S, {}); });
      ExpectSameOnAnyThreadCount(Base + " fisheye", Copy,
                                 [](TPixelGraphic& D) { FisheyePicture(D); });
      ExpectSameOnAnyThreadCount(Base + " swirl", Copy,
                                 [](TPixelGraphic& D) { SwirlPicture(D, 30); });
    }
}

TEST(ParallelTransforms, AnAbortLeavesWhatWasNotReached) {
  for (TDepth SD : SourceDepths) {
    TPixelGraphic S;
    Fill(S, 150, 170, SD.Code, SD.Kind, 4);
    const std::string Base = "depth " + std::to_string(SD.Code);
    auto Copy = [&S](TPixelGraphic& D) { D.Assign(&S); };
    for (long double Angle : {90.0L, 180.0L, 33.0L})
      ExpectSameOnAnyThreadCount(
          Base + " turn " + std::to_string(double(Angle)), Copy,
          [Angle](TPixelGraphic& D) { RotatePicture(D, Angle); }, 20);
    for (bool Dither : {false, true})
      ExpectSameOnAnyThreadCount(
          Base + " rotate into own palette",
          [&](TPixelGraphic& D) { Prepare(D, 160, 160, 2, pUnknown, Dither, true); },
          [&S](TPixelGraphic& D) { Rotate(D, false, S, 21.0L); }, 30);
    ExpectSameOnAnyThreadCount(Base + " flip h", Copy, FlipHorizontal, 17);
    ExpectSameOnAnyThreadCount(Base + " flip v", Copy, FlipVertical, 17);
    ExpectSameOnAnyThreadCount(
        Base + " radial", [](TPixelGraphic&) {}, [&S](TPixelGraphic& D) { RadialAdjust(D, S, {}); },
        40);
    for (TDepth DD : DestDepths)
      ExpectSameOnAnyThreadCount(
          Base + " stretch into " + std::to_string(DD.Code) + "/" + std::to_string(DD.Kind),
          [&](TPixelGraphic& D) { Prepare(D, 97, 133, DD.Code, DD.Kind, false, true); },
          [&S](TPixelGraphic& D) { D.StretchFrom(S); }, 25);
  }
}

TEST(ParallelColorReduction, EveryChoiceMatchesOneThread) {
  for (TSize SS : SourceSizes) {
    TPixelGraphic S;
    Fill(S, SS.W, SS.H, 3, pTrueColor, uint32_t(SS.W * 3 + SS.H));
    TPixelGraphic P;
    Fill(P, SS.W, SS.H, 2, pUnknown, 9);
    for (const TPixelGraphic* Source : {&S, &P})
      for (int Bits : {1, 4, 8, 24})
        for (TPaletteIdent Kind : {pUnknown, pSys16, pBlackWhite, pGray256, pSpecial252})
          for (bool Dither : {false, true}) {
            TColorResolutionChoice C;
            C.BitCount = Bits;
            C.Kind = Bits == 24 ? pTrueColor : Kind;
            C.Colors = Bits == 1 ? 2 : Bits == 4 ? 11 : 200;
            C.Dither = Dither;
            C.IncludeSystem16 = Bits == 8;
            if (!ValidChoice(C)) continue;
            std::vector<TOutcome> Runs;
            for (int Threads : {1, 3}) {
              TThreadCountScope Scope(Threads);
              std::vector<std::pair<int, int>> Progress;
              auto R =
                  ApplyColorResolution(*Source, C, [&](TPixelGraphic*, int Step, bool&, int Max) {
                    Progress.emplace_back(Step, Max);
                  });
              ASSERT_TRUE(R);
              Runs.push_back(OutcomeOf(*R, std::move(Progress)));
            }
            EXPECT_TRUE(Runs[0] == Runs[1]) << SS.W << "x" << SS.H << " bits " << Bits << " kind "
                                            << Kind << " dither " << Dither;
          }
    std::vector<TOutcome> Runs;
    for (int Threads : {1, 2}) {
      TThreadCountScope Scope(Threads);
      auto A = Posterize(S, 7);
      auto B = PrepareGIFPicture(S, SS.W / 2 + 1, SS.H + 1);
      Runs.push_back(OutcomeOf(*A));
      Runs.push_back(OutcomeOf(*B));
    }
    EXPECT_TRUE(Runs[0] == Runs[2]) << "posterize " << SS.W << "x" << SS.H;
    EXPECT_TRUE(Runs[1] == Runs[3]) << "GIF " << SS.W << "x" << SS.H;
  }
}

} // namespace
} // namespace orbisk
