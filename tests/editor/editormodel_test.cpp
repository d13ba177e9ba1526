// The editor's rules without its window: undo, running operations, the gauge's pace, zoom
// clicks and the picture-file rule.
#include "processing/editor/editormodel.h"
#include "processing/transforms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <any>
#include <cstring>
#include <vector>
#include <stdexcept>

using namespace orbisk;

namespace {

std::unique_ptr<TPixelGraphic> Pattern(int W, int H) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y, RGBOf(X * 7, Y * 11, (X + Y) * 3));
  return G;
}

bool SamePixels(const TPixelGraphic& A, const TPixelGraphic& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() && A.BitCountNum() == B.BitCountNum() &&
         (A.Empty() || std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())) == 0);
}

// A host whose picture lives in the fixture, as the view would hold it.
struct Host {
  std::unique_ptr<TPixelGraphic> Picture;
  int Changes = 0;
  TEditorPictureHost Make() {
    TEditorPictureHost H;
    H.Picture = [this] { return Picture.get(); };
    H.TakePicture = [this](std::unique_ptr<TPixelGraphic> G) {
      Picture = std::move(G);
      ++Changes;
    };
    H.Changed = [this] { ++Changes; };
    return H;
  }
};

} // namespace

TEST(EditorModel, UndoRestoresThePictureBeforeTheLastOperation) {
  Host H;
  H.Picture = Pattern(5, 3);
  auto Original = Pattern(5, 3);
  TEditorModel M(H.Make());
  EXPECT_FALSE(M.CanUndo());
  EXPECT_EQ(M.UndoCaption(), "Undo");

  ASSERT_TRUE(M.RunOperation("Rotate", [](TPixelGraphic& G) { RotatePicture(G, 90); }));
  EXPECT_EQ(H.Picture->Width(), 3);
  EXPECT_EQ(M.UndoCaption(), "Undo Rotate");
  auto Rotated = std::make_unique<TPixelGraphic>();
  Rotated->Assign(H.Picture.get());

  ASSERT_TRUE(M.RunOperation("Flip Vertical", [](TPixelGraphic& G) { FlipVertical(G); }));
  EXPECT_EQ(M.UndoCaption(), "Undo Flip Vertical");
  EXPECT_EQ(M.SnapshotCount(), 2); // one copy per operation

  // The newest step holds the picture as it was before the second operation.
  ASSERT_TRUE(M.Undo());
  EXPECT_TRUE(SamePixels(*H.Picture, *Rotated));
  EXPECT_EQ(M.UndoCaption(), "Undo Rotate");
  ASSERT_TRUE(M.Undo());
  EXPECT_TRUE(SamePixels(*H.Picture, *Original));
  EXPECT_FALSE(M.CanUndo());
  EXPECT_EQ(M.UndoCaption(), "Undo");
  // Nothing older: another undo does nothing.
  EXPECT_FALSE(M.Undo());
  EXPECT_TRUE(SamePixels(*H.Picture, *Original));
  EXPECT_EQ(M.SnapshotCount(), 2); // undoing copies no snapshot of its own
}

TEST(EditorModel, AFailingOperationKeepsItsSnapshot) {
  Host H;
  H.Picture = Pattern(4, 4);
  auto Original = Pattern(4, 4);
  TEditorModel M(H.Make());
  QString Error;
  EXPECT_FALSE(M.RunOperation(
      "Half done",
      [](TPixelGraphic& G) {
        G.SetPixelColor(0, 0, 0xFFFFFF); // part of the work is done, then it fails
        throw std::runtime_error("no memory left");
      },
      &Error));
  EXPECT_EQ(Error, "no memory left");
  EXPECT_TRUE(M.CanUndo());
  EXPECT_EQ(M.UndoCaption(), "Undo Half done");
  ASSERT_TRUE(M.Undo());
  EXPECT_TRUE(SamePixels(*H.Picture, *Original));
}

TEST(EditorModel, ReplacementsTakeTheNewPictureWithoutACopy) {
  Host H;
  H.Picture = Pattern(6, 2);
  TEditorModel M(H.Make());
  int Rows = 0;
  M.OnProgress = [&](TPixelGraphic*, int, bool&, int) { ++Rows; };
  TPixelGraphic* Made = nullptr;
  ASSERT_TRUE(M.RunReplacement("Sharpen", [&](const TPixelGraphic& Old, const auto& Progress) {
    auto N = std::make_unique<TPixelGraphic>();
    N->OnProgress = Progress;
    N->SetSize(Old.Width() * 2, Old.Height(), 3);
    N->DoProgress(0, 1);
    Made = N.get();
    return N;
  }));
  EXPECT_EQ(H.Picture.get(), Made);
  EXPECT_EQ(H.Picture->Width(), 12);
  EXPECT_EQ(Rows, 1);
  EXPECT_EQ(M.UndoCaption(), "Undo Sharpen");
  // A failing replacement leaves the picture and keeps the snapshot of it.
  QString Error;
  EXPECT_FALSE(M.RunReplacement(
      "Blur",
      [](const TPixelGraphic&, const auto&) -> std::unique_ptr<TPixelGraphic> {
        throw std::runtime_error("Blur failed");
      },
      &Error));
  EXPECT_EQ(H.Picture.get(), Made);
  EXPECT_EQ(Error, "Blur failed");
  EXPECT_EQ(M.UndoCaption(), "Undo Blur");
}

TEST(EditorModel, OperationsOnAnEmptyOrMissingPictureDoNothing) {
  Host H;
  TEditorModel M(H.Make());
  bool Ran = false;
  EXPECT_FALSE(M.RunOperation("Rotate", [&](TPixelGraphic&) { Ran = true; }));
  H.Picture = std::make_unique<TPixelGraphic>(); // what a resize to 0 leaves
  H.Picture->SetSize(0, 5, 3);
  EXPECT_FALSE(M.HasPicture());
  EXPECT_FALSE(M.RunOperation("Rotate", [&](TPixelGraphic&) { Ran = true; }));
  EXPECT_FALSE(M.RunReplacement("Blur", [&](const TPixelGraphic&, const auto&) {
    Ran = true;
    return std::make_unique<TPixelGraphic>();
  }));
  EXPECT_FALSE(Ran);
  EXPECT_FALSE(M.CanUndo());
  EXPECT_EQ(H.Changes, 0);
}

TEST(EditorModel, ClearUndoForgetsTheSnapshot) {
  Host H;
  H.Picture = Pattern(2, 2);
  TEditorModel M(H.Make());
  M.RunOperation("Emboss", [](TPixelGraphic&) {});
  M.ClearUndo();
  EXPECT_FALSE(M.CanUndo());
  EXPECT_EQ(M.UndoCaption(), "Undo");
  EXPECT_FALSE(M.Undo());
}

TEST(EditorModel, ChangesAreTrackedSinceOpeningOrSaving) {
  Host H;
  H.Picture = Pattern(4, 4);
  TEditorModel M(H.Make());
  EXPECT_FALSE(M.Modified()); // as opened
  ASSERT_TRUE(M.RunOperation("Emboss", [](TPixelGraphic& G) { G.SetPixelColor(0, 0, 1); }));
  EXPECT_TRUE(M.Modified());
  // Undo of the only change gives the picture as opened.
  ASSERT_TRUE(M.Undo());
  EXPECT_FALSE(M.Modified());
  // After a save the older picture in the snapshot is a change against the file.
  ASSERT_TRUE(M.RunOperation("Emboss", [](TPixelGraphic& G) { G.SetPixelColor(0, 0, 2); }));
  M.Saved();
  EXPECT_FALSE(M.Modified());
  ASSERT_TRUE(M.Undo());
  EXPECT_TRUE(M.Modified());
  // A failing change may have touched the pixels; a replacement that makes nothing did not.
  M.Saved();
  M.RunOperation("Bad", [](TPixelGraphic&) { throw std::runtime_error("half-way"); });
  EXPECT_TRUE(M.Modified());
  M.Saved();
  M.RunReplacement("None", [](const TPixelGraphic&, const auto&) { return nullptr; });
  EXPECT_FALSE(M.Modified());
  M.RunReplacement("Posterize", [](const TPixelGraphic&, const auto&) { return Pattern(2, 2); });
  EXPECT_TRUE(M.Modified());
}

namespace {
// Marks the picture with the step's number in its first pixel.
void Mark(TEditorModel& M, int Step) {
  ASSERT_TRUE(M.RunOperation("Step " + QString::number(Step),
                             [Step](TPixelGraphic& G) { G.SetPixelColor(0, 0, TRGB(Step)); }));
}
int MarkOf(const TPixelGraphic& G) {
  return int(G.GetPixelColor(0, 0));
}
} // namespace

TEST(EditorModel, RedoMakesUndoneStepsAgainUntilANewStep) {
  Host H;
  H.Picture = Pattern(3, 3);
  H.Picture->SetPixelColor(0, 0, 0);
  TEditorModel M(H.Make());
  EXPECT_EQ(M.RedoCaption(), "Redo");
  for (int I = 1; I <= 3; ++I)
    Mark(M, I);
  EXPECT_FALSE(M.CanRedo());
  ASSERT_TRUE(M.Undo());
  ASSERT_TRUE(M.Undo());
  EXPECT_EQ(MarkOf(*H.Picture), 1);
  EXPECT_EQ(M.UndoCaption(), "Undo Step 1");
  EXPECT_EQ(M.RedoCaption(), "Redo Step 2");
  ASSERT_TRUE(M.Redo());
  EXPECT_EQ(MarkOf(*H.Picture), 2);
  EXPECT_EQ(M.UndoCaption(), "Undo Step 2");
  EXPECT_EQ(M.RedoCaption(), "Redo Step 3");
  // A new step forgets what could be redone.
  Mark(M, 9);
  EXPECT_FALSE(M.CanRedo());
  EXPECT_FALSE(M.Redo());
  EXPECT_EQ(M.RedoCaption(), "Redo");
  ASSERT_TRUE(M.Undo());
  EXPECT_EQ(MarkOf(*H.Picture), 2);
  ASSERT_TRUE(M.Undo());
  ASSERT_TRUE(M.Undo());
  EXPECT_EQ(MarkOf(*H.Picture), 0);
  EXPECT_FALSE(M.CanUndo());
  EXPECT_EQ(M.RedoCount(), 3);
  M.ClearUndo();
  EXPECT_FALSE(M.CanRedo());
  // After "New" took the picture away, Undo gives back the one before the last step, and there
  // is no empty state to redo.
  Mark(M, 4);
  H.Picture.reset();
  ASSERT_TRUE(M.Undo());
  ASSERT_TRUE(H.Picture);
  EXPECT_EQ(MarkOf(*H.Picture), 0);
  EXPECT_FALSE(M.CanRedo());
}

TEST(EditorModel, ModifiedFollowsUndoRedoAndSaving) {
  Host H;
  H.Picture = Pattern(3, 3);
  TEditorModel M(H.Make());
  Mark(M, 1);
  Mark(M, 2);
  M.Saved(); // state 2 is in the file
  ASSERT_TRUE(M.Undo());
  EXPECT_TRUE(M.Modified());
  ASSERT_TRUE(M.Redo());
  EXPECT_FALSE(M.Modified());
  ASSERT_TRUE(M.Undo());
  ASSERT_TRUE(M.Undo());
  EXPECT_TRUE(M.Modified()); // as opened, but the file now holds state 2
  M.Saved();                 // the opened state saved again: both later states differ now
  ASSERT_TRUE(M.Redo());
  EXPECT_TRUE(M.Modified());
  ASSERT_TRUE(M.Redo());
  EXPECT_TRUE(M.Modified());

  // A state of a picture another one replaced keeps its flag, and so do the ones before it; the
  // kept states of the same picture are shown to the caller.
  Host H2;
  H2.Picture = Pattern(3, 3);
  int Next = 0;
  std::vector<int> Seen;
  TEditorPictureHost Made = H2.Make();
  Made.SaveState = [&] { return std::any(Next++); };
  TEditorModel N(std::move(Made));
  Mark(N, 1);                      // kept state 0: the first picture, unchanged
  N.TakeSnapshot("Acquire", true); // kept state 1: the first picture, changed
  H2.Picture = Pattern(2, 2);      // what the view does after the snapshot
  N.SetModified(false);
  Mark(N, 3); // kept state 2: the new picture as it came
  N.Saved([&](std::any& S) { Seen.push_back(std::any_cast<int>(S)); });
  EXPECT_EQ(Seen, std::vector<int>({2}));
  ASSERT_TRUE(N.Undo());
  EXPECT_TRUE(N.Modified());
  ASSERT_TRUE(N.Undo());
  EXPECT_TRUE(N.Modified()); // the first picture's change was never saved
  ASSERT_TRUE(N.Undo());
  EXPECT_FALSE(N.Modified());
}

TEST(EditorModel, HistoryKeepsTwentyStepsAtMost) {
  Host H;
  H.Picture = Pattern(4, 4);
  TEditorModel M(H.Make());
  for (int I = 1; I <= 25; ++I)
    Mark(M, I);
  EXPECT_EQ(M.UndoCount(), kUndoSteps);
  while (M.Undo()) {
  }
  EXPECT_EQ(MarkOf(*H.Picture), 25 - kUndoSteps); // the five oldest steps are gone
  EXPECT_EQ(M.RedoCount(), kUndoSteps);
}

TEST(EditorModel, HistoryOfLargePicturesStaysWithinItsMemory) {
  // 24 megapixels in 24 bits: 72 MB a copy, so 1 GB holds 14 of them.
  Host H;
  H.Picture = std::make_unique<TPixelGraphic>();
  H.Picture->SetSize(6000, 4000, 3);
  H.Picture->SetPixelColor(0, 0, 0);
  const int64_t Size = H.Picture->ImageSize();
  const int Fit = int(kUndoBytes / Size);
  ASSERT_EQ(Fit, 14);
  TEditorModel M(H.Make());
  for (int I = 1; I <= kUndoSteps; ++I) {
    Mark(M, I);
    ASSERT_LE(M.HistoryBytes(), kUndoBytes);
  }
  EXPECT_EQ(M.UndoCount(), Fit);
  EXPECT_EQ(M.UndoCaption(), "Undo Step 20");
  // Walking back and forth stays within the bound too, and the oldest states are the ones gone.
  int Undone = 0;
  while (M.Undo()) {
    ++Undone;
    ASSERT_LE(M.HistoryBytes(), kUndoBytes);
  }
  EXPECT_EQ(Undone, Fit);
  EXPECT_EQ(MarkOf(*H.Picture), kUndoSteps - Fit);
  while (M.Redo())
    ASSERT_LE(M.HistoryBytes(), kUndoBytes);
  EXPECT_EQ(MarkOf(*H.Picture), kUndoSteps);
  // A crop makes the pictures smaller: more of them fit again.
  ASSERT_TRUE(M.RunReplacement("Crop", [](const TPixelGraphic&, const auto&) {
    auto G = std::make_unique<TPixelGraphic>();
    G->SetSize(1000, 1000, 3);
    return G;
  }));
  for (int I = 1; I <= 5; ++I)
    Mark(M, 100 + I);
  EXPECT_EQ(M.UndoCount(), Fit + 5); // the crop's copy is large, the later ones small
  EXPECT_LE(M.HistoryBytes(), kUndoBytes);
}

TEST(EditorModel, AStepLargerThanTheBoundIsStillUndone) {
  // The last change can always be undone, as with a single snapshot; older ones then go.
  Host H;
  H.Picture = Pattern(10, 10);
  H.Picture->SetPixelColor(0, 0, 0);
  TEditorModel M(H.Make());
  M.SetHistoryLimits(kUndoSteps, H.Picture->ImageSize() / 2);
  Mark(M, 1);
  Mark(M, 2);
  EXPECT_EQ(M.UndoCount(), 1);
  ASSERT_TRUE(M.Undo());
  EXPECT_EQ(MarkOf(*H.Picture), 1);
  EXPECT_EQ(M.RedoCount(), 1); // the step just undone can be made again
  ASSERT_TRUE(M.Redo());
  EXPECT_EQ(MarkOf(*H.Picture), 2);
  EXPECT_EQ(M.UndoCount(), 1);
}

TEST(ProgressPace, ShowsAtMostEveryTwoHundredMilliseconds) {
  TProgressPace P;
  P.Start();
  int Percent = -1;
  EXPECT_TRUE(P.Pass(0, 99, 201, Percent));
  EXPECT_EQ(Percent, 0);
  EXPECT_FALSE(P.Pass(10, 99, 300, Percent));
  EXPECT_FALSE(P.Pass(20, 99, 401, Percent)); // exactly 200 ms is not more than 200
  EXPECT_TRUE(P.Pass(50, 99, 402, Percent));
  EXPECT_EQ(Percent, 50);                     // 50 * 100 div 99
  EXPECT_FALSE(P.Pass(5, 0, 10000, Percent)); // n = 0: nothing to show
  P.Start();
  EXPECT_TRUE(P.Pass(99, 99, 201, Percent));
  EXPECT_EQ(Percent, 100);
}

TEST(ZoomClicks, StepByTwoTenthsWithinTheLimits) {
  long double F = 1.0L;
  const long double Expected[] = {0.8L, 0.6L, 0.4L, 0.2L, 0.2L};
  for (long double E : Expected) {
    F = ZoomClickFactor(F, true);
    EXPECT_NEAR(double(F), double(E), 1e-9);
  }
  EXPECT_EQ(ZoomClickFactor(0.3L, true), 0.3L);
  EXPECT_NEAR(double(ZoomClickFactor(0.31L, true)), 0.11, 1e-9);
  EXPECT_NEAR(double(ZoomClickFactor(2.9L, false)), 3.1, 1e-9);
  EXPECT_EQ(ZoomClickFactor(3.0L, false), 3.0L);
  // A fitted view can leave very small or unknown factors; a click never gives 0 or less.
  EXPECT_EQ(ZoomClickFactor(0.05L, true), 0.05L);
  EXPECT_NEAR(double(ZoomClickFactor(0.05L, false)), 0.25, 1e-9);
  EXPECT_GT(ZoomClickFactor(-1.0L, true), 0.0L);
  EXPECT_GT(ZoomClickFactor(0.0L, true), 0.0L);
  EXPECT_GT(ZoomClickFactor(std::numeric_limits<long double>::quiet_NaN(), true), 0.0L);
}

TEST(ZoomClicks, ScrollPositionCentresTheClickedPoint) {
  // A click at 105 at zoom 1.0 zoomed to 1.2: picture point 105 -> 126; view 421 wide.
  EXPECT_EQ(ZoomScrollPosition(105, 1.0L, 1.2L, 421), 126 - 200);
  // Truncation twice: 99 / 0.8 = 123.75 -> 123, * 1.0 -> 123.
  EXPECT_EQ(ZoomScrollPosition(99, 0.8L, 1.0L, 21), 123);
}

TEST(EditorFiles, PictureExtensionsAreWholeExtensions) {
  for (const char* Name : {"/a/b.jpg", "/a/B.JPG", "c.Tif", "x.wmf", "y.gif", "z.ico", "p.pcx",
                           "t.tga", "u.png", "v.bmp"})
    EXPECT_TRUE(IsEditablePicture(Name)) << Name;
  // Every name of those types and every type the engine reads.
  for (const char* Name : {"a.jpeg", "a.JPE", "a.jfif", "a.jif", "a.tiff", "a.pgm", "a.PPM",
                           "a.pbm", "a.dib", "a.rle", "a.emf", "a.webp"})
    EXPECT_TRUE(IsEditablePicture(Name)) << Name;
  for (const char* Name : {"/a/b.txt", "noext", "/dir.jpg/file", "a.jp", "a.g", "a.", "a.jpg.",
                           "archive.jpg.txt", "a.pg", "a.tif2"})
    EXPECT_FALSE(IsEditablePicture(Name)) << Name;
}

TEST(EditorFiles, CaptureDepthFollowsTheScreen) {
  EXPECT_EQ(CaptureBitCount(4), 4);
  EXPECT_EQ(CaptureBitCount(8), 8);
  EXPECT_EQ(CaptureBitCount(16), 24);
  EXPECT_EQ(CaptureBitCount(24), 24);
  EXPECT_EQ(CaptureBitCount(32), 24);
}
