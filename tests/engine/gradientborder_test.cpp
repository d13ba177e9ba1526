// Gradient border: rectangle and oval fades, tiny pictures, palette destinations.
#include "engine/pixelgraphic.h"

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

void Uniform(TPixelGraphic& G, int W, int H, TRGB C) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, C);
}

TRGB Grey(unsigned V) {
  return RGBOf(V, V, V);
}

TEST(GradientBorder, FadesAsTheDistanceToEachEdgeSays) {
  struct Probe {
    bool Oval;
    int W, H, BW, X, Y;
    TRGB Expected;
  };
  const Probe Probes[] = {
      // Rectangle, border 3 on white into black: distance 0 is the colour, 1 is half way,
      // corners are faded twice.
      {false, 5, 5, 3, 0, 2, Grey(0)},
      {false, 5, 5, 3, 2, 1, Grey(127)},
      {false, 5, 5, 3, 1, 1, Grey(63)},
      {false, 5, 5, 3, 2, 2, Grey(255)},
      {false, 5, 5, 3, 4, 2, Grey(0)},
      // Oval on 9 x 9: the corner is outside, the top of the ellipse is on it, one pixel in
      // is half way, the centre keeps its colour.
      {true, 9, 9, 3, 0, 0, Grey(0)},
      {true, 9, 9, 3, 4, 0, Grey(0)},
      {true, 9, 9, 3, 4, 1, Grey(127)},
      {true, 9, 9, 3, 4, 4, Grey(255)},
      // Border width 1, or a picture too small for a border: all border colour.
      {false, 5, 5, 1, 2, 2, Grey(0)},
      {true, 2, 9, 4, 1, 4, Grey(0)},
  };
  for (const auto& P : Probes) {
    TPixelGraphic Source, D;
    Uniform(Source, P.W, P.H, Grey(255));
    D.GradientBorder(P.Oval, P.BW, Source, Grey(0));
    ASSERT_EQ(D.Width(), P.W);
    EXPECT_EQ(D.GetPixelColor(P.X, P.Y), P.Expected)
        << (P.Oval ? "oval " : "rectangle ") << P.W << "x" << P.H << " border " << P.BW << " at "
        << P.X << "," << P.Y;
  }
}

TEST(GradientBorder, KeepsTheDestinationDepthAndMayWorkInPlace) {
  TPixelGraphic Source;
  Uniform(Source, 7, 6, Grey(200));
  TPixelGraphic D;
  D.SetSize(1, 1, 2);
  D.SetPaletteKind(pGray256);
  D.Dither = false;
  D.GradientBorder(false, 2, Source, Grey(10));
  EXPECT_EQ(D.BitCountNum(), 2);
  EXPECT_EQ(D.GetPixelValue(0, 0), 10u);
  EXPECT_EQ(D.GetPixelValue(3, 3), 200u);

  // The picture as its own source keeps its inner pixels.
  Source.GradientBorder(false, 2, Source, Grey(10));
  EXPECT_EQ(Source.GetPixelColor(3, 3), Grey(200));
  EXPECT_EQ(Source.GetPixelColor(0, 3), Grey(10));
}

} // namespace
