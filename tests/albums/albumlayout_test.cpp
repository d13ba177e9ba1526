// Page layout figures of a printed album.
#include "albums/albumlayout.h"

#include <gtest/gtest.h>

using namespace orbisk;

TEST(AlbumLayout, TwoByThreeOnLetterAt300Dpi) {
  TPageLayout L = ComputePageLayout(TPrintPage(), 3, 2);
  EXPECT_EQ(L.CellWidth, 975);
  EXPECT_EQ(L.CellHeight, 900);
  ASSERT_EQ(L.Frames.size(), 6u);
  EXPECT_EQ(L.Frames[0], (TFrameRect{300, 300, 1275, 1200}));
  EXPECT_EQ(L.Frames[1], (TFrameRect{1275, 300, 2250, 1200}));
  EXPECT_EQ(L.Frames[5], (TFrameRect{1275, 2100, 2250, 3000}));
}

TEST(AlbumLayout, PicturesFitAndCentre) {
  TFrameRect F{300, 300, 1275, 1200};
  EXPECT_EQ(FitPictureRect(F, 1600, 1200, 100), (TFrameRect{400, 459, 1175, 1040}));
  TFrameRect Tall = FitPictureRect(F, 1200, 1600, 100);
  EXPECT_EQ(Tall.Width(), 525);
  EXPECT_EQ(Tall.Height(), 700);
  EXPECT_EQ(Tall.Left, 300 + (975 - 525) / 2);
  EXPECT_EQ(Tall.Top, 400);
  // A border larger than the frame and an empty picture give no negative sizes.
  TFrameRect Tiny = FitPictureRect({0, 0, 100, 100}, 10, 10, 80);
  EXPECT_GE(Tiny.Width(), 0);
  EXPECT_GE(Tiny.Height(), 0);
  EXPECT_EQ(FitPictureRect(F, 0, 0, 100).Width(), 0);
}

TEST(AlbumLayout, ZeroRowsOrColumnsCountAsOne) {
  TPageLayout L = ComputePageLayout(TPrintPage(), 0, 0);
  EXPECT_EQ(L.FramesPerPage(), 1);
  EXPECT_EQ(L.Frames[0], (TFrameRect{300, 300, 2250, 3000}));
  EXPECT_EQ(AlbumPageCount(7, 0), 7);
}

TEST(AlbumLayout, PagesPrintPicturesAndCaptionBoxes) {
  EXPECT_EQ(AlbumPageCount(7, 6), 2);
  EXPECT_EQ(AlbumPageCount(6, 6), 1);
  EXPECT_EQ(AlbumPageCount(0, 6), 0);
  int W = 0, H = 0;
  PrintPictureSize(775, 581, 300, 300, PrintResolution(rqBetter), W, H);
  EXPECT_EQ(W, 516); // 775 / 300 * 200 = 516.67, truncated
  EXPECT_EQ(H, 387);
  EXPECT_EQ(EmbeddedCaptionFontPixels(160), 13);
  EXPECT_EQ(EmbeddedCaptionFontPixels(200), 17);
  EXPECT_EQ(EmbeddedCaptionFontPixels(240), 20);
  EXPECT_EQ(EmbeddedCaptionBox(500, 400, 80, 20, epTopLeft), (TFrameRect{10, 10, 100, 40}));
  EXPECT_EQ(EmbeddedCaptionBox(500, 400, 80, 20, epBottomCenter), (TFrameRect{205, 360, 295, 390}));
  EXPECT_EQ(EmbeddedCaptionBox(500, 400, 80, 20, epBottomRight), (TFrameRect{400, 360, 490, 390}));
}
