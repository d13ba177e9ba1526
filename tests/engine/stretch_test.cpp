// The resampling copy and the unscaled copy.
#include "engine/pixelgraphic.h"

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

void Row(TPixelGraphic& G, std::initializer_list<int> Greys) {
  G.SetSize(int(Greys.size()), 1, 3);
  int X = 0;
  for (int V : Greys)
    G.SetPixelValue(X++, 0, RGBOf(V, V, V));
}

std::vector<int> Reds(const TPixelGraphic& G) {
  std::vector<int> R;
  for (int X = 0; X < G.Width(); ++X)
    R.push_back(int(RedOf(G.GetPixelColor(X, 0))));
  return R;
}

TEST(Stretch, WorkedExamplesPerMode) {
  struct Case {
    TStretchMode Mode;
    std::initializer_list<int> Src;
    int DW;
    std::vector<int> Expected;
  } Cases[] = {
      {smPrecise, {0, 100, 200, 250}, 2, {50, 225}}, // area average of pairs
      {smFast, {0, 100, 200, 250}, 2, {0, 200}},     // nearest
      {smPrecise, {0, 255}, 4, {0, 63, 191, 255}},   // linear with copied edges
      {smMedium, {0, 255}, 4, {0, 0, 255, 255}},     // area when enlarging
      {smFast, {10, 20}, 5, {10, 10, 10, 20, 20}},
      {smPrecise, {0, 30, 60}, 2, {10, 50}}, // partial overlaps: (0*2+30)/3, (30+60*2)/3
  };
  for (auto& C : Cases) {
    TPixelGraphic S, D;
    Row(S, C.Src);
    D.SetSize(C.DW, 1, 3);
    D.StretchMode = C.Mode;
    D.StretchFrom(S);
    EXPECT_EQ(Reds(D), C.Expected) << "mode " << C.Mode;
  }
}

TEST(Stretch, BothAxesAndPaletteSource) {
  // A 2 x 2 palette picture scaled to 4 x 4 keeps its corner colours.
  TPixelGraphic S, D;
  S.SetSize(2, 2, 2);
  S.SetPaletteKind(pSys16);
  S.SetPixelValue(0, 0, 9);  // red
  S.SetPixelValue(1, 1, 12); // blue
  D.SetSize(4, 4, 3);
  D.StretchFrom(S);
  EXPECT_EQ(D.GetPixelColor(0, 0), RGBOf(255, 0, 0));
  EXPECT_EQ(D.GetPixelColor(3, 3), RGBOf(0, 0, 255));
  EXPECT_EQ(D.GetPixelColor(3, 0), RGBOf(0, 0, 0));
}

TEST(Stretch, DegenerateRectanglesDoNothing) {
  TPixelGraphic S, D;
  Row(S, {1, 2, 3});
  D.SetSize(2, 2, 3);
  D.StretchRect(0, 0, 0, 2, S, 0, 0, 3, 1);
  D.StretchRect(0, 0, 2, 2, S, 0, 0, -3, 1);
  D.StretchRect(0, 0, -2, 2, S, 0, 0, 0, 0);
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 2; ++X)
      EXPECT_EQ(D.GetPixelValue(X, Y), 0u);
  TPixelGraphic Empty;
  D.StretchFrom(Empty);
}

TEST(Stretch, AbortKeepsRowsNotYetWritten) {
  TPixelGraphic S, D;
  S.SetSize(8, 8, 3);
  for (int Y = 0; Y < 8; ++Y)
    for (int X = 0; X < 8; ++X)
      S.SetPixelValue(X, Y, RGBOf(200, 200, 200));
  D.SetSize(4, 4, 3);
  int Ends = 0;
  D.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step == 1; };
  D.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  D.StretchFrom(S);
  EXPECT_EQ(RedOf(D.GetPixelColor(0, 1)), 200u);
  EXPECT_EQ(RedOf(D.GetPixelColor(0, 2)), 0u);
  EXPECT_EQ(Ends, 1);
}

TEST(Stretch, IntoPaletteDestinationByNearestColour) {
  TPixelGraphic S, D;
  Row(S, {0, 0, 255, 255});
  D.SetSize(2, 1, 0);
  D.SetPaletteKind(pBlackWhite);
  D.Dither = false;
  D.StretchFrom(S);
  EXPECT_EQ(D.GetPixelValue(0, 0), 0u);
  EXPECT_EQ(D.GetPixelValue(1, 0), 1u);
}

TEST(CopyRect, ClipsToBothPictures) {
  TPixelGraphic S, D;
  Row(S, {10, 20, 30, 40});
  D.SetSize(4, 1, 3);
  D.CopyRect(-1, 0, S, 0, 0, 4, 1); // destination starts left of the picture
  EXPECT_EQ(Reds(D), (std::vector<int>{20, 30, 40, 0}));
  D.SetSize(4, 1, 3);
  D.CopyRect(2, 0, S, 0, 0, 4, 1);
  EXPECT_EQ(Reds(D), (std::vector<int>{0, 0, 10, 20}));
  D.SetSize(4, 1, 3);
  D.CopyRect(0, 0, S, 3, 0, 4, 1); // only one source column is left
  EXPECT_EQ(Reds(D), (std::vector<int>{40, 0, 0, 0}));
}

TEST(CopyRect, ConvertsThroughColoursBetweenDepths) {
  TPixelGraphic S, D;
  S.SetSize(2, 1, 2);
  S.SetPaletteCount(2);
  S.SetPaletteEntry(0, RGBOf(0, 0, 0));
  S.SetPaletteEntry(1, RGBOf(255, 255, 255));
  S.SetPixelValue(1, 0, 1);
  D.SetSize(2, 1, 1);
  D.SetPaletteKind(pSys16);
  D.Dither = false;
  D.CopyRect(0, 0, S, 0, 0, 2, 1);
  EXPECT_EQ(D.GetPixelValue(0, 0), 0u);
  EXPECT_EQ(D.GetPixelValue(1, 0), 15u);
}

} // namespace
