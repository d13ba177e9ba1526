#include "view/viewlayout.h"

#include <gtest/gtest.h>

#include <climits>

using namespace orbisk;

namespace {

constexpr int kBar = 17;

struct StretchCase {
  const char* Name;
  TStretch Rule;
  int W, H, AW, AH;
  long double Zoom;
  int BoxW, BoxH;
  long double Scale;
};

const StretchCase kStretchCases[] = {
    {"never keeps the natural size", sNeverKAR, 400, 300, 200, 200, 1, 400, 300, 1.0L},
    {"always fills the area", sAlways, 400, 300, 200, 200, 1, 200, 200, -1.0L},
    {"fit of a wide picture", sAlwaysKAR, 400, 300, 200, 200, 1, 200, 150, 0.5L},
    {"fit of a tall picture", sAlwaysKAR, 300, 400, 200, 200, 1, 150, 200, 0.5L},
    {"fit enlarges", sAlwaysKAR, 100, 50, 392, 300, 1, 392, 196, 3.92L},
    {"fit truncates", sAlwaysKAR, 3, 7, 10, 10, 1, 4, 10, 10.0L / 7},
    {"shrink one side", sShrink, 400, 300, 200, 400, 1, 200, 300, -1.0L},
    {"shrink of a small picture", sShrink, 100, 100, 200, 200, 1, 100, 100, 1.0L},
    {"shrinkKAR at exactly the area", sShrinkKAR, 200, 200, 200, 200, 1, 200, 200, 1.0L},
    {"shrinkKAR of a large picture", sShrinkKAR, 400, 300, 200, 200, 1, 200, 150, 0.5L},
    {"enlarge both sides", sEnlarge, 100, 50, 200, 200, 1, 200, 200, -1.0L},
    {"enlarge beside a horizontal bar", sEnlarge, 300, 50, 200, 200, 1, 300, 200 - kBar, -1.0L},
    {"enlarge of a large picture", sEnlarge, 300, 300, 200, 200, 1, 300, 300, 1.0L},
    {"enlargeKAR of a small picture", sEnlargeKAR, 100, 50, 200, 200, 1, 200, 100, 2.0L},
    {"enlargeKAR of a wide picture", sEnlargeKAR, 300, 50, 200, 200, 1, 300, 50, 1.0L},
    {"fill a wide picture's height", sAlwaysLongerEdgeKAR, 400, 300, 200, 200, 1, 244, 183,
     183.0L / 300},
    {"fill a tall picture's width", sAlwaysLongerEdgeKAR, 300, 400, 200, 200, 1, 183, 244,
     183.0L / 300},
    {"fill keeps a near-square fit", sAlwaysLongerEdgeKAR, 200, 190, 200, 200, 1, 200, 190, 1.0L},
    {"shrink longer edge of a large picture", sShrinkLongerEdgeKAR, 400, 300, 200, 200, 1, 244, 183,
     183.0L / 300},
    {"shrink longer edge beside a bar", sShrinkLongerEdgeKAR, 190, 300, 200, 200, 1, 183, 288,
     183.0L / 190},
    {"shrink longer edge of a small picture", sShrinkLongerEdgeKAR, 100, 100, 200, 200, 1, 100, 100,
     1.0L},
    {"enlarge-shrink fits a small picture", sEnlargeShrinkLongerEdgeKAR, 100, 50, 200, 200, 1, 200,
     100, 2.0L},
    {"enlarge-shrink fills a large picture", sEnlargeShrinkLongerEdgeKAR, 400, 300, 200, 200, 1,
     244, 183, 183.0L / 300},
    {"enlarge longer edge", sEnlargeLongerEdgeKAR, 100, 50, 200, 200, 1, 366, 183, 3.66L},
    {"enlarge longer edge keeps a large picture", sEnlargeLongerEdgeKAR, 400, 300, 200, 200, 1, 400,
     300, 1.0L},
    {"zoom rounds halves to even", sZoomKAR, 5, 3, 200, 200, 0.5L, 2, 2, 0.5L},
    {"zoom rounds up past a half", sZoomKAR, 3, 1, 200, 200, 2.5L, 8, 2, 2.5L},
    {"zoom zero is one", sZoomKAR, 5, 3, 200, 200, 0, 5, 3, 1.0L},
    {"negative zoom is one", sZoomKAR, 5, 3, 200, 200, -2, 5, 3, 1.0L},
    // Boxes that would be 0 pixels wide or high are clamped to 1.
    {"tiny zoom clamps to 1 x 1", sZoomKAR, 5, 3, 200, 200, 0.1L, 1, 1, 0.1L},
    {"extreme ratio clamps the height", sAlwaysKAR, 100000, 1, 200, 200, 1, 200, 1, 0.002L},
    {"extreme ratio clamps the width", sAlwaysKAR, 1, 100000, 200, 200, 1, 1, 200, 0.002L},
    {"no area leaves the natural size", sAlways, 40, 30, 0, 200, 1, 40, 30, 1.0L},
    {"no picture gives no box", sAlwaysKAR, 0, 0, 200, 200, 1, 0, 0, 1.0L},
};

} // namespace

TEST(StretchBox, EveryRule) {
  for (const StretchCase& C : kStretchCases) {
    SCOPED_TRACE(C.Name);
    TBoxSize B = StretchBox(C.Rule, C.W, C.H, C.AW, C.AH, kBar, kBar, C.Zoom);
    EXPECT_EQ(B.Width, C.BoxW);
    EXPECT_EQ(B.Height, C.BoxH);
    EXPECT_NEAR(double(B.Scale), double(C.Scale), 1e-12);
  }
}

TEST(StretchBox, NonEmptyPictureNeverGetsAnEmptyBox) {
  const int Sizes[][2] = {{1, 1}, {1, 9999}, {9999, 1}, {7, 3}, {65535, 2}};
  const int Areas[][2] = {{1, 1}, {2, 500}, {500, 2}, {10, 10}, {18, 18}};
  for (int R = sNeverKAR; R <= sZoomKAR; ++R)
    for (auto& S : Sizes)
      for (auto& A : Areas)
        for (long double Z : {0.0001L, 0.5L, 3.0L}) {
          TBoxSize B = StretchBox(TStretch(R), S[0], S[1], A[0], A[1], kBar, kBar, Z);
          ASSERT_GE(B.Width, 1) << R << " " << S[0] << "x" << S[1] << " in " << A[0] << "x" << A[1];
          ASSERT_GE(B.Height, 1) << R << " " << S[0] << "x" << S[1] << " in " << A[0] << "x"
                                 << A[1];
        }
}

TEST(PlaceBox, CentringAndScrollStart) {
  struct Case {
    const char* Name;
    int BoxW, BoxH;
    bool Center;
    int Left, Top, ScrollX, ScrollY;
    bool HorzBar, VertBar;
  } Cases[] = {
      {"small box centred", 100, 50, true, 50, 75, 0, 0, false, false},
      {"odd margins truncate", 190, 195, true, 5, 2, 0, 0, false, false},
      // The width left after the vertical bar decides the horizontal offset.
      {"tall box", 150, 400, true, (200 - kBar - 150) / 2, 0, 0, 100, false, true},
      {"tall and wide box", 195, 400, true, 0, 0, (195 - 183) / 2, (400 - 183) / 2, true, true},
      {"not centred", 100, 50, false, 0, 0, 0, 0, false, false},
      {"not centred, oversized", 400, 400, false, 0, 0, 0, 0, true, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TBoxPlacement P = PlaceBox(C.BoxW, C.BoxH, 200, 200, kBar, kBar, C.Center);
    EXPECT_EQ(P.Left, C.Left);
    EXPECT_EQ(P.Top, C.Top);
    EXPECT_EQ(P.ScrollX, C.ScrollX);
    EXPECT_EQ(P.ScrollY, C.ScrollY);
    EXPECT_EQ(P.HorzBar, C.HorzBar);
    EXPECT_EQ(P.VertBar, C.VertBar);
  }
}

TEST(AutoSizeWanted, BordersBarsAndBounds) {
  struct Case {
    const char* Name;
    int W, H, Border, MinW, MaxW, MinH, MaxH, WantW, WantH;
  } Cases[] = {
      {"picture plus border", 400, 300, 2, 0, INT_MAX, 0, INT_MAX, 404, 304},
      {"too wide adds a horizontal bar", 400, 300, 2, 0, 300, 0, 1000, 300, 304 + kBar},
      {"then too high adds a vertical bar", 400, 300, 2, 0, 300, 0, 310, 300, 310},
      {"minimum applied last", 400, 300, 2, 500, 400, 500, 400, 500, 500},
      {"no picture", 0, 0, 1, 0, INT_MAX, 0, INT_MAX, 2, 2},
      {"huge picture does not overflow", INT_MAX, INT_MAX, 2, 0, INT_MAX, 0, INT_MAX, INT_MAX,
       INT_MAX},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIntSize S = AutoSizeWanted(C.W, C.H, C.Border, C.MinW, C.MaxW, C.MinH, C.MaxH, kBar, kBar);
    EXPECT_EQ(S.Width, C.WantW);
    EXPECT_EQ(S.Height, C.WantH);
  }
}

TEST(CoordinateConversion, BothWaysTruncated) {
  EXPECT_EQ(BoxToPicture(100, 200, 400), 200);
  EXPECT_EQ(BoxToPicture(199, 200, 400), 398);
  EXPECT_EQ(BoxToPicture(1, 3, 10), 3);      // 3.33 truncated
  EXPECT_EQ(BoxToPicture(-1, 200, 300), -1); // -1.5 truncated toward zero
  EXPECT_EQ(BoxToPicture(5, 0, 400), 0);
  EXPECT_EQ(BoxToPicture(5, -4, 400), 0);
  EXPECT_EQ(PictureToBox(3, 200, 400), 1);
  EXPECT_EQ(PictureToBox(3, 200, 0), 0);
  // Large pictures: the products need 64 bits.
  EXPECT_EQ(BoxToPicture(60000, 60000, 60000), 60000);
  EXPECT_EQ(PictureToBox(60000, 60000, 60000), 60000);
  // At an integral zoom, picture -> box -> picture is the identity.
  for (int X = 0; X < 300; ++X)
    ASSERT_EQ(BoxToPicture(PictureToBox(X, 600, 300), 600, 300), X);
  EXPECT_EQ(SelectionBoxRect(10, 20, 30, 40, 200, 150, 400, 300), (TIntRect{5, 10, 20, 30}));
}

TEST(Handles, PositionsAndHitOrder) {
  const TIntRect Sel{100, 100, 200, 150};
  const TIntRect Expected[8] = {
      {92, 92, 97, 97},     {148, 92, 153, 97}, {203, 92, 208, 97},   {92, 123, 97, 128},
      {203, 123, 208, 128}, {92, 153, 97, 158}, {148, 153, 153, 158}, {203, 153, 208, 158},
  };
  for (int I = 0; I < 8; ++I) {
    EXPECT_EQ(HandleRect(I, Sel), Expected[I]) << I;
    EXPECT_EQ(HandleAt(Sel, Expected[I].Left, Expected[I].Top), I);
    EXPECT_EQ(HandleAt(Sel, Expected[I].Right - 1, Expected[I].Bottom - 1), I);
  }
  EXPECT_EQ(HandleAt(Sel, 97, 97), -1); // right and bottom edges are outside
  EXPECT_EQ(HandleAt(Sel, 150, 125), -1);
}

TEST(Tiles, RangeAndMirroring) {
  TTileRange R = TileRange(TIntRect{50, 40, 150, 100}, 400, 300, true);
  EXPECT_EQ(R.FirstRow, -1);
  EXPECT_EQ(R.LastRow, 4);
  EXPECT_EQ(R.FirstCol, -1);
  EXPECT_EQ(R.LastCol, 3);
  // The tiles cover the whole client area.
  EXPECT_LE(40 + R.FirstRow * 60, 0);
  EXPECT_GE(100 + R.LastRow * 60, 300);
  R = TileRange(TIntRect{0, 0, 100, 60}, 400, 300, true);
  EXPECT_EQ(R.FirstRow, 0);
  EXPECT_EQ(R.FirstCol, 0);
  R = TileRange(TIntRect{50, 40, 150, 100}, 400, 300, false);
  EXPECT_EQ(R.FirstCol | R.LastCol | R.FirstRow | R.LastRow, 0);
  R = TileRange(TIntRect{5, 5, 5, 5}, 400, 300, true); // empty box: no division by zero
  EXPECT_EQ(R.LastCol, 0);

  struct Case {
    int Index;
    TTiling Tiling;
    bool Flip, Horizontal, Vertical;
  } Cases[] = {
      {0, tMirror, false, false, false},
      {1, tMirror, false, true, true},
      {-1, tMirror, false, true, true},
      {2, tMirror, false, false, false},
      {1, tMirror, true, false, false},
      {1, tRepeat, true, true, true},
      {1, tMirrorHorizontal, false, true, false},
      {1, tMirrorVertical, false, false, true},
      {0, tNone, true, true, true},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(TileMirroredHorizontally(C.Index, C.Tiling, C.Flip), C.Horizontal) << C.Index;
    EXPECT_EQ(TileMirroredVertically(C.Index, C.Tiling, C.Flip), C.Vertical) << C.Index;
  }
}

TEST(SelectionFrame, BrushesAreShiftedDiagonalStripes) {
  EXPECT_FALSE(SelectionPatternSecond(0, 0, 0));
  EXPECT_TRUE(SelectionPatternSecond(4, 0, 0));
  for (int I = 0; I < 8; ++I) {
    int Second = 0;
    for (int Y = 0; Y < 8; ++Y)
      for (int X = 0; X < 8; ++X) {
        Second += SelectionPatternSecond(X, Y, I);
        // Brush I + 1 is brush I moved one pixel to the right: the frame crawls.
        ASSERT_EQ(SelectionPatternSecond(X, Y, I),
                  SelectionPatternSecond((X + 1) % 8, Y, (I + 1) % 8));
      }
    EXPECT_EQ(Second, 32);
  }
  EXPECT_EQ(SelectionBrushIndex(7, 3, 0), 2);
  EXPECT_EQ(SelectionBrushIndex(7, -3, -10), 2); // negative sums wrap into 0..7
}

TEST(MouseDown, StateByModeAndPosition) {
  const TIntRect Sel{100, 100, 200, 150};
  struct Case {
    const char* Name;
    TActionMode Mode;
    bool Shown, CanPan;
    int X, Y;
    TMouseState State;
  } Cases[] = {
      {"pan", amMoveImage, false, true, 10, 10, msPanning},
      {"nothing to pan", amMoveImage, false, false, 10, 10, msIdle},
      {"move inside", amMoveResizeCreateSelection, true, true, 150, 120, msMoveSelection},
      {"resize by the bottom-right handle", amMoveResizeCreateSelection, true, false, 205, 155,
       msResizeBottomRight},
      {"resize by the top handle", amMoveResizeCreateSelection, true, false, 150, 94, msResizeTop},
      {"create outside", amMoveResizeCreateSelection, true, true, 10, 10, msCreateSelection},
      {"create without a selection", amMoveResizeCreateSelection, false, false, 150, 120,
       msCreateSelection},
      {"hidden selection is not moved", amMoveSelection, false, false, 150, 120, msIdle},
      {"move selection only", amMoveSelection, true, true, 10, 10, msIdle},
      {"move selection or pan: inside", amMoveSelectionMoveImage, true, true, 150, 120,
       msMoveSelection},
      {"move selection or pan: outside", amMoveSelectionMoveImage, true, true, 10, 10, msPanning},
      {"create only", amCreateSelection, true, true, 150, 120, msCreateSelection},
      {"handles only in the resize mode", amCreateSelection, true, false, 205, 155,
       msCreateSelection},
      {"none", amNone, true, true, 150, 120, msIdle},
  };
  for (const Case& C : Cases) {
    TMouseDownContext Ctx;
    Ctx.Mode = C.Mode;
    Ctx.SelectionShown = C.Shown;
    Ctx.SelectionRect = Sel;
    Ctx.CanPan = C.CanPan;
    EXPECT_EQ(MouseDownState(Ctx, C.X, C.Y), C.State) << C.Name;
  }
}

TEST(SelectionGesture, CreateMoveResize) {
  TSelectionGesture G;
  const TSelectionBounds Start{10, 10, 20, 20};

  G.Begin(msCreateSelection, 10, 10, Start);
  EXPECT_EQ(G.Move(10, 10, 400, 300), (TSelectionBounds{10, 10, 1, 1}));
  // Up and left of the anchor: positive sizes including both end pixels.
  EXPECT_EQ(G.Move(5, 3, 400, 300), (TSelectionBounds{5, 3, 6, 8}));

  G.Begin(msMoveSelection, 15, 15, Start);
  EXPECT_EQ(G.Move(25, 35, 400, 300), (TSelectionBounds{20, 30, 20, 20}));
  // Far left: stops with the right edge one pixel inside the picture.
  EXPECT_EQ(G.Move(-100, 15, 400, 300), (TSelectionBounds{-19, 10, 20, 20}));
  EXPECT_EQ(G.Move(1000, 1000, 400, 300), (TSelectionBounds{399, 299, 20, 20}));

  // Handles lie outside the selection; the grab offset keeps the opposite edges fixed.
  G.Begin(msResizeTopLeft, 5, 5, Start);
  EXPECT_EQ(G.Move(0, 2, 400, 300), (TSelectionBounds{5, 7, 25, 23}));
  EXPECT_EQ(G.Move(100, 100, 400, 300), (TSelectionBounds{29, 29, 1, 1}));

  G.Begin(msResizeBottomRight, 33, 33, Start);
  EXPECT_EQ(G.Move(43, 23, 400, 300), (TSelectionBounds{10, 10, 30, 10}));
  EXPECT_EQ(G.Move(0, 0, 400, 300), (TSelectionBounds{10, 10, 1, 1}));

  G.Begin(msResizeTop, 20, 5, Start);
  EXPECT_EQ(G.Move(90, 0, 400, 300), (TSelectionBounds{10, 5, 20, 25}));
  G.Begin(msResizeRight, 33, 20, Start);
  EXPECT_EQ(G.Move(23, 90, 400, 300), (TSelectionBounds{10, 10, 10, 20}));
  G.Begin(msResizeBottomLeft, 5, 33, Start);
  EXPECT_EQ(G.Move(10, 28, 400, 300), (TSelectionBounds{15, 10, 15, 15}));
}

TEST(ProgressClocks, PositionsAndHands) {
  EXPECT_TRUE(ClockPositions(TIntRect{0, 0, 20, 30}, true).empty());
  EXPECT_EQ(ClockPositions(TIntRect{0, 0, 100, 100}, true), (std::vector<TIntPoint>{{43, 43}}));
  EXPECT_EQ(ClockPositions(TIntRect{10, 20, 111, 121}, true),
            (std::vector<TIntPoint>{{53, 63}, {15, 25}, {91, 25}, {15, 101}, {91, 101}}));
  EXPECT_EQ(ClockPositions(TIntRect{10, 20, 111, 121}, false).size(), 1u);

  struct Case {
    int Percent, Step;
    TIntPoint Long, Short;
  } Cases[] = {
      {0, 1, {7, 0}, {7, 1}},
      {25, 1, {14, 7}, {8, 1}},
      {50, 2, {7, 14}, {11, 3}},
      {100, 1, {7, 0}, {10, 2}},
  };
  for (const Case& C : Cases) {
    TIntPoint L, S;
    ClockHands({0, 0}, C.Percent, C.Step, L, S);
    EXPECT_EQ(L, C.Long) << C.Percent << "% step " << C.Step;
    EXPECT_EQ(S, C.Short) << C.Percent << "% step " << C.Step;
  }
}
