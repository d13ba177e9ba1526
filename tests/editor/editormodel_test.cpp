// The editor's rules without its window: undo, running operations, the gauge's pace, zoom
// clicks and the picture-file rule.
#include "processing/editor/editormodel.h"
#include "processing/transforms.h"

#include <gtest/gtest.h>

#include <cstring>
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

  // The snapshot holds the picture as it was before the second operation.
  ASSERT_TRUE(M.Undo());
  EXPECT_TRUE(SamePixels(*H.Picture, *Rotated));
  EXPECT_FALSE(M.CanUndo());
  EXPECT_EQ(M.UndoCaption(), "Undo");
  // One level only: a second undo does nothing.
  EXPECT_FALSE(M.Undo());
  EXPECT_TRUE(SamePixels(*H.Picture, *Rotated));
  EXPECT_FALSE(SamePixels(*H.Picture, *Original));
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
