#include "view/displaycopy.h"

#include "engine/parallel.h"

#include "platform/pgqt.h"
#include "tests/common/testutil.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>

using namespace orbisk;

namespace {

// A true-colour picture with a colour gradient (many distinct colours).
std::unique_ptr<TPixelGraphic> Gradient(int W, int H) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y, RGBOf(X * 255 / W, Y * 255 / H, 128));
  return G;
}

// An 8-bit picture using Colors palette entries of its own.
std::unique_ptr<TPixelGraphic> PalettePicture(int W, int H, int Colors) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 2);
  G->SetPaletteCount(256);
  for (int I = 0; I < 256; ++I)
    G->SetPaletteEntry(I, RGBOf((I * 37) % 256, (I * 91) % 256, I));
  G->RecognisePaletteKind();
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelValue(X, Y, uint32_t((X + Y) % Colors));
  return G;
}

class ScreenDepthGuard {
public:
  explicit ScreenDepthGuard(int Depth) {
    SetScreenDepthQuery([Depth] { return Depth; });
  }
  ~ScreenDepthGuard() { SetScreenDepthQuery(nullptr); }
};

std::unique_ptr<TPixelGraphic> RunNow(const TPixelGraphic& Source, int Screen, int BoxW, int BoxH,
                                      const TDisplayCopySettings& S) {
  TCreatePaintPGThread Run(Source, PlanDisplayCopy(Screen, Source, BoxW, BoxH, S), S);
  std::unique_ptr<TPixelGraphic> Result;
  Run.OnFinished = [&](std::unique_ptr<TPixelGraphic> C) { Result = std::move(C); };
  Run.Execute();
  return Result;
}

} // namespace

TEST(DisplayCopyWanted, ByScreenPictureAndStretchMode) {
  TDisplayCopySettings Fast, Precise, Source, Gray, Reduce;
  Precise.StretchMode = smPrecise;
  Source.Palette8BitSys8BitGraphic = pSource;
  Gray.Palette8BitSys8BitGraphic = pGray256;
  Reduce.ReduceOnLoad = true;
  struct Case {
    const char* Name;
    int Screen, Bits;
    TPaletteIdent Kind;
    int BoxW;
    const TDisplayCopySettings& S;
    bool Stale, Wanted;
  } Cases[] = {
      {"true colour, fast, stretched", 24, 24, pTrueColor, 50, Fast, true, false},
      {"true colour, precise, stretched", 24, 24, pTrueColor, 50, Precise, true, true},
      {"true colour, precise, natural size", 24, 24, pTrueColor, 100, Precise, true, false},
      {"8-bit screen, true-colour picture", 8, 24, pTrueColor, 100, Fast, false, true},
      {"8-bit screen, own palette shown as is", 8, 8, pUnknown, 100, Source, true, false},
      {"8-bit screen, palette already the display palette", 8, 8, pGray256, 100, Gray, true, false},
      {"8-bit screen, palette reduced to the optimized one", 8, 8, pGray256, 100, Fast, false,
       true},
      {"reduce on load: only while stale", 8, 8, pUnknown, 100, Reduce, false, false},
      {"reduce on load: stale", 8, 8, pUnknown, 100, Reduce, true, true},
      {"4-bit screen, system colours", 4, 4, pSys16, 100, Fast, false, false},
      {"4-bit screen, other 16 colours", 4, 4, pGray16, 100, Fast, false, true},
      {"4-bit screen, 8-bit picture", 4, 8, pGray256, 100, Fast, false, true},
      {"8-bit screen, black and white", 8, 1, pBlackWhite, 100, Fast, false, true},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(DisplayCopyWanted(C.Screen, C.Bits, C.Kind, 100, 100, C.BoxW, 100, C.S, C.Stale),
              C.Wanted)
        << C.Name;
}

TEST(PlanDisplayCopy, DestinationAndSteps) {
  auto True = Gradient(40, 30);
  auto Pal = PalettePicture(40, 30, 10);
  TDisplayCopySettings S;
  S.Allow24BitStretch = true;
  S.StretchMode = smPrecise;

  TDisplayCopyPlan P = PlanDisplayCopy(8, *True, 20, 15, S);
  EXPECT_TRUE(P.Resample24);
  EXPECT_TRUE(P.Optimized);
  EXPECT_EQ(P.DestBitCount, 8);
  EXPECT_EQ(P.Steps, 3);
  EXPECT_EQ(P.DestWidth, 20);

  S.Allow24BitStretch = false;
  S.Palette8BitSys8BitGraphic = pSource;
  P = PlanDisplayCopy(8, *Pal, 20, 15, S);
  EXPECT_EQ(P.DestPalette, pSource);
  EXPECT_EQ(P.Steps, 1);

  P = PlanDisplayCopy(4, *True, 20, 15, S);
  EXPECT_EQ(P.DestBitCount, 4);
  EXPECT_EQ(P.DestPalette, pSys16);
  S.StretchMode = smFast;
  P = PlanDisplayCopy(24, *True, 20, 15, S);
  EXPECT_EQ(P.DestBitCount, 24);
  EXPECT_EQ(P.DestWidth, 40); // fast mode: the copy keeps the picture's size
  EXPECT_EQ(P.Steps, 1);
}

TEST(PreparationRun, ResamplesAndReducesLikeTheEngine) {
  TDisplayCopySettings S;
  S.StretchMode = smPrecise;
  auto Src = Gradient(64, 48);
  // True-colour screen: the copy is the precise stretch of the picture at the box size.
  auto Copy = RunNow(*Src, 24, 32, 24, S);
  ASSERT_TRUE(Copy);
  TPixelGraphic Expected;
  Expected.SetSize(32, 24, 3);
  Expected.StretchMode = smPrecise;
  Expected.StretchFrom(*Src);
  EXPECT_EQ(test::CountDifferences(test::ToRGBA(*Copy), test::ToRGBA(Expected), false), 0);

  // A fixed display palette.
  S.Palette8BitSys24BitGraphic = pGray256;
  S.StretchMode = smFast;
  Copy = RunNow(*Src, 8, 32, 24, S);
  ASSERT_TRUE(Copy);
  EXPECT_EQ(Copy->BitCount(), 8);
  EXPECT_EQ(Copy->PaletteKind(), pGray256);
  EXPECT_EQ(Copy->Width(), 64);

  // A palette picture with few colours keeps them exactly through the optimized palette.
  auto Pal = PalettePicture(30, 20, 12);
  S = TDisplayCopySettings();
  Copy = RunNow(*Pal, 8, 30, 20, S);
  ASSERT_TRUE(Copy);
  EXPECT_EQ(Copy->BitCount(), 8);
  EXPECT_LE(Copy->PaletteCount(), 256);
  EXPECT_EQ(test::CountDifferences(test::ToRGBA(*Copy), test::ToRGBA(*Pal), false), 0);

  // A 4-bit screen gets the 16 system colours.
  Copy = RunNow(*Src, 4, 64, 48, S);
  ASSERT_TRUE(Copy);
  EXPECT_EQ(Copy->BitCount(), 4);
  EXPECT_EQ(Copy->PaletteKind(), pSys16);
}

// Every kind of run (resampling, the optimized palette, the table copy, dithering into fixed
// palettes) gives the same copy and the same progress on several engine threads as on one.
TEST(PreparationRun, SameCopyOnAnyThreadCount) {
  auto True = Gradient(203, 157);
  auto Pal = PalettePicture(190, 121, 200);
  struct TCase {
    const TPixelGraphic* Source;
    int Screen, BoxW, BoxH;
    TStretchMode Mode;
    TPaletteIdent Palette24, Palette8;
    bool Dither, Allow24;
  } Cases[] = {
      {True.get(), 24, 97, 301, smPrecise, pOptimized252Sys16, pOptimized252Sys16, true, false},
      {True.get(), 8, 120, 80, smMedium, pOptimized252Sys16, pOptimized252Sys16, true, true},
      {True.get(), 8, 203, 157, smFast, pOptimized252Sys16, pOptimized252Sys16, false, false},
      {True.get(), 8, 150, 100, smPrecise, pSpecial216, pSpecial216, true, false},
      {True.get(), 4, 203, 157, smFast, pOptimized252Sys16, pOptimized252Sys16, true, false},
      {Pal.get(), 8, 190, 121, smPrecise, pOptimized252Sys16, pOptimized252Sys16, true, false},
      {Pal.get(), 8, 77, 240, smPrecise, pOptimized252Sys16, pSource, false, false},
      {Pal.get(), 24, 300, 61, smMedium, pOptimized252Sys16, pSource, true, false},
  };
  for (const TCase& C : Cases) {
    TDisplayCopySettings S;
    S.StretchMode = C.Mode;
    S.Palette8BitSys24BitGraphic = C.Palette24;
    S.Palette8BitSys8BitGraphic = C.Palette8;
    S.Dither = C.Dither;
    S.Allow24BitStretch = C.Allow24;
    std::vector<uint8_t> Reference;
    for (int Threads : {1, 2, 4}) {
      SetEngineThreadCount(Threads);
      TCreatePaintPGThread Run(*C.Source, PlanDisplayCopy(C.Screen, *C.Source, C.BoxW, C.BoxH, S),
                               S);
      std::unique_ptr<TPixelGraphic> Copy;
      Run.OnFinished = [&](std::unique_ptr<TPixelGraphic> R) { Copy = std::move(R); };
      Run.Execute();
      ASSERT_TRUE(Copy);
      std::vector<uint8_t> Bytes(Copy->Bits(), Copy->Bits() + Copy->ImageSize());
      for (TRGB E : Copy->Palette())
        Bytes.insert(Bytes.end(), {uint8_t(E), uint8_t(E >> 8), uint8_t(E >> 16)});
      if (Threads == 1)
        Reference = std::move(Bytes);
      else
        EXPECT_TRUE(Bytes == Reference) << "screen " << C.Screen << " box " << C.BoxW << "x"
                                        << C.BoxH << " on " << Threads << " threads";
    }
    SetEngineThreadCount(0);
  }
}

TEST(PreparationRun, TerminatedRunHandsNothingOver) {
  auto Src = Gradient(200, 200);
  TDisplayCopySettings S;
  S.StretchMode = smPrecise;
  TCreatePaintPGThread Run(*Src, PlanDisplayCopy(24, *Src, 100, 100, S), S);
  bool Finished = false;
  Run.OnFinished = [&](std::unique_ptr<TPixelGraphic>) { Finished = true; };
  Run.Terminate();
  Run.Execute();
  EXPECT_FALSE(Finished);
}

TEST(PreparationRun, ProgressIsThrottledAndAbortStops) {
  auto Src = Gradient(600, 600);
  TDisplayCopySettings S;
  S.StretchMode = smPrecise;
  TCreatePaintPGThread Run(*Src, PlanDisplayCopy(24, *Src, 1500, 1500, S), S);
  std::vector<int> Reports;
  bool Finished = false;
  Run.OnProgressReport = [&](int Step, int Percent) {
    EXPECT_EQ(Step, 1);
    Reports.push_back(Percent);
  };
  Run.OnFinished = [&](std::unique_ptr<TPixelGraphic>) { Finished = true; };
  auto T0 = std::chrono::steady_clock::now();
  Run.Execute();
  auto Ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - T0)
          .count();
  EXPECT_TRUE(Finished);
  EXPECT_LE(int64_t(Reports.size()), Ms / 50 + 1);
  for (size_t I = 1; I < Reports.size(); ++I)
    EXPECT_GT(Reports[I], Reports[I - 1]);
  for (int P : Reports)
    EXPECT_LE(P, 100);

  // Terminating from the progress report ends the run without a copy. Reports come at most
  // once per 50 ms, so this run is made long enough to report even on a fast machine.
  auto Big = Gradient(1500, 1500);
  TCreatePaintPGThread Run2(*Big, PlanDisplayCopy(24, *Big, 4000, 4000, S), S);
  bool Finished2 = false, Reported2 = false;
  Run2.OnProgressReport = [&](int, int) {
    Reported2 = true;
    Run2.Terminate();
  };
  Run2.OnFinished = [&](std::unique_ptr<TPixelGraphic>) { Finished2 = true; };
  Run2.Execute();
  EXPECT_TRUE(Reported2);
  EXPECT_FALSE(Finished2);
}

TEST(Preparer, ThreadedCopyArrivesAtTheBoxSize) {
  auto Src = Gradient(300, 200);
  TDisplayCopySettings S;
  S.StretchMode = smPrecise;
  TDisplayCopyPreparer P;
  int Ready = 0;
  QObject::connect(&P, &TDisplayCopyPreparer::OnCopyReady, [&] { ++Ready; });
  EXPECT_TRUE(P.PaintCopyNeeded(Src.get(), 150, 100, S));
  EXPECT_TRUE(P.Running());
  EXPECT_EQ(P.Copy(), nullptr);
  P.WaitAndDeliver();
  ASSERT_NE(P.Copy(), nullptr);
  EXPECT_EQ(P.Copy()->Width(), 150);
  EXPECT_EQ(P.Copy()->Height(), 100);
  EXPECT_EQ(Ready, 1);
  EXPECT_FALSE(P.Running());
  // Asking again for the same box starts nothing new.
  EXPECT_TRUE(P.PaintCopyNeeded(Src.get(), 150, 100, S));
  EXPECT_EQ(P.RunsStarted(), 1u);
  // Another box size makes the copy stale.
  EXPECT_TRUE(P.PaintCopyNeeded(Src.get(), 75, 50, S));
  EXPECT_EQ(P.RunsStarted(), 2u);
  P.WaitAndDeliver();
  EXPECT_EQ(P.Copy()->Width(), 75);
}

TEST(Preparer, LateResultsNeverReachANewerPicture) {
  auto A = Gradient(300, 200);
  auto B = Gradient(200, 300);
  TDisplayCopySettings S;
  S.StretchMode = smPrecise;
  TDisplayCopyPreparer P;
  P.PaintCopyNeeded(A.get(), 150, 100, S);
  P.Join(); // A's result is now waiting in the event queue
  P.MarkStale();
  P.PaintCopyNeeded(B.get(), 100, 150, S);
  QCoreApplication::processEvents(); // A's result arrives first and must be dropped
  P.WaitAndDeliver();
  ASSERT_NE(P.Copy(), nullptr);
  EXPECT_EQ(P.Copy()->Width(), 100);
  EXPECT_EQ(P.Copy()->Height(), 150);

  // A stopped run's result is dropped too, and the next paint starts again.
  P.MarkStale();
  P.PaintCopyNeeded(A.get(), 150, 100, S);
  P.Join();
  P.Stop();
  QCoreApplication::processEvents();
  EXPECT_FALSE(P.Copy() && P.Copy()->Width() == 150);
  const uint64_t Runs = P.RunsStarted();
  P.Release(S);
  P.PaintCopyNeeded(A.get(), 150, 100, S);
  EXPECT_EQ(P.RunsStarted(), Runs + 1);
  P.WaitAndDeliver();
  EXPECT_EQ(P.Copy()->Width(), 150);
}

TEST(Preparer, KeepOldCopyWhilePreparing) {
  auto A = Gradient(300, 200);
  TDisplayCopySettings S;
  S.StretchMode = smPrecise;
  S.KeepOldPaintPixelGraphic = true;
  TDisplayCopyPreparer P;
  P.PaintCopyNeeded(A.get(), 150, 100, S);
  P.WaitAndDeliver();
  const TPixelGraphic* Old = P.Copy();
  ASSERT_NE(Old, nullptr);
  P.Release(S); // kept, only stale
  EXPECT_EQ(P.Copy(), Old);
  P.PaintCopyNeeded(A.get(), 120, 80, S);
  EXPECT_EQ(P.Copy(), Old); // still shown while the new one is made
  P.WaitAndDeliver();
  EXPECT_EQ(P.Copy()->Width(), 120);

  S.KeepOldPaintPixelGraphic = false;
  P.Release(S);
  EXPECT_EQ(P.Copy(), nullptr);
}

TEST(Preparer, UnthreadedRunFinishesBeforeThePaintGoesOn) {
  auto Src = Gradient(100, 80);
  TDisplayCopySettings S;
  S.StretchMode = smMedium;
  S.UseThread = false;
  TDisplayCopyPreparer P;
  EXPECT_TRUE(P.PaintCopyNeeded(Src.get(), 50, 40, S));
  ASSERT_NE(P.Copy(), nullptr);
  EXPECT_EQ(P.Copy()->Width(), 50);
  EXPECT_FALSE(P.Running());
}

TEST(Preparer, ReduceOnLoadHandsTheCopyOver) {
  ScreenDepthGuard Screen(8);
  auto Src = Gradient(60, 40);
  TDisplayCopySettings S;
  S.ReduceOnLoad = true;
  S.UseThread = false;
  TDisplayCopyPreparer P;
  std::unique_ptr<TPixelGraphic> Reduced;
  P.OnReduce = [&](std::unique_ptr<TPixelGraphic> G) { Reduced = std::move(G); };
  EXPECT_TRUE(P.PaintCopyNeeded(Src.get(), 60, 40, S));
  ASSERT_TRUE(Reduced);
  EXPECT_EQ(P.Copy(), nullptr);
  EXPECT_EQ(Reduced->BitCount(), 8);
  // The reduced picture needs no copy of its own.
  EXPECT_FALSE(P.PaintCopyNeeded(Reduced.get(), 60, 40, S));
}

TEST(Preparer, AllocationFailureFallsBackWithoutRestarting) {
  const int64_t Saved = PixelAllocationLimit();
  SetPixelAllocationLimit(10000);
  auto Src = Gradient(100, 100);
  TDisplayCopySettings S;
  S.StretchMode = smPrecise;
  S.UseThread = false;
  TDisplayCopyPreparer P;
  P.PaintCopyNeeded(Src.get(), 400, 400, S);
  ASSERT_NE(P.Copy(), nullptr);
  EXPECT_EQ(P.Copy()->Width(), 1);
  // The next paint asks for the same box: no endless re-preparation.
  P.PaintCopyNeeded(Src.get(), 400, 400, S);
  EXPECT_EQ(P.RunsStarted(), 1u);
  SetPixelAllocationLimit(Saved);
}
