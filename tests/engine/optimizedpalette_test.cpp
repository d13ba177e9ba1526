// Optimized palettes: median cut for true colour, octree for palette pictures.
#include "engine/optimizedpalette.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orbisk;

namespace {

void Fill24(TPixelGraphic& G, int W, int H, const std::vector<TRGB>& Colors) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, Colors[size_t(X + Y * W) % Colors.size()]);
}

// A palette picture using the given colours (one index each, in order).
void FillIndexed(TPixelGraphic& G, int Code, const std::vector<TRGB>& Colors) {
  G.SetSize(int(Colors.size()) * 2, 2, Code);
  G.SetPaletteCount(G.ColorCount());
  for (int I = 0; I < int(Colors.size()); ++I)
    G.SetPaletteEntry(I, Colors[size_t(I)]);
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < G.Width(); ++X)
      G.SetPixelValue(X, Y, uint32_t(X / 2));
}

const std::vector<TRGB>& Sys16() {
  return StandardPalette(pSys16);
}

TEST(OptimizedPalette, SystemColoursAndFallbacks) {
  TPixelGraphic Source, Dest;
  Dest.SetSize(4, 4, 2);
  Fill24(Source, 4, 4, {RGBOf(1, 2, 3), RGBOf(250, 9, 80)});

  // Count 16 with the system colours leaves no room: the 16 system colours only.
  BuildOptimizedPalette(Dest, Source, 16, true);
  EXPECT_EQ(Dest.Palette(), Sys16());
  EXPECT_EQ(Dest.PaletteKind(), pSys16);

  // An empty source falls back to the system colours, cut to the count.
  TPixelGraphic Empty;
  BuildOptimizedPalette(Dest, Empty, 5, false);
  EXPECT_EQ(Dest.Palette(), std::vector<TRGB>(Sys16().begin(), Sys16().begin() + 5));
}

TEST(OptimizedPalette, MedianCutGivesCellCentres) {
  struct Case {
    const char* Name;
    std::vector<TRGB> Colors;
    int Count;
    bool System;
    std::vector<TRGB> Expected; // before the system colours
  };
  const Case Cases[] = {
      {"one colour", {RGBOf(200, 0, 0)}, 8, false, {RGBOf(204, 2, 4)}},
      {"one colour and the system colours", {RGBOf(200, 0, 0)}, 256, true, {RGBOf(204, 2, 4)}},
      {"two colours, more room than colours",
       {RGBOf(0, 0, 0), RGBOf(255, 255, 255)},
       16,
       false,
       {RGBOf(4, 2, 4), RGBOf(252, 254, 252)}},
      {"two colours into one entry average",
       {RGBOf(0, 0, 0), RGBOf(255, 255, 255)},
       1,
       false,
       {RGBOf(128, 128, 128)}},
  };
  for (const auto& C : Cases) {
    TPixelGraphic Source, Dest;
    Fill24(Source, 6, 4, C.Colors);
    Dest.SetSize(1, 1, 2);
    BuildOptimizedPalette(Dest, Source, C.Count, C.System);
    auto Expected = C.Expected;
    if (C.System) Expected.insert(Expected.end(), Sys16().begin(), Sys16().end());
    EXPECT_EQ(Dest.Palette(), Expected) << C.Name;
  }
}

TEST(OptimizedPalette, OctreeKeepsFewColoursAndReducesMany) {
  TPixelGraphic Source, Dest;
  Dest.SetSize(1, 1, 2);
  FillIndexed(Source, 1, {RGBOf(10, 20, 30), RGBOf(200, 100, 50)});
  BuildOptimizedPalette(Dest, Source, 16, false);
  EXPECT_EQ(Dest.Palette(), (std::vector<TRGB>{RGBOf(10, 20, 30), RGBOf(200, 100, 50)}));

  // Three colours far apart into two entries: no list of reducible nodes is filled, yet the
  // reduction must end.
  FillIndexed(Source, 1, {RGBOf(255, 0, 0), RGBOf(0, 255, 0), RGBOf(0, 0, 255)});
  BuildOptimizedPalette(Dest, Source, 2, false);
  ASSERT_GE(Dest.PaletteCount(), 1);
  EXPECT_LE(Dest.PaletteCount(), 2);

  // 256 greys into 16 entries, then the system colours appended.
  std::vector<TRGB> Greys;
  for (int I = 0; I < 256; ++I)
    Greys.push_back(RGBOf(I, I, I));
  FillIndexed(Source, 2, Greys);
  BuildOptimizedPalette(Dest, Source, 32, true);
  ASSERT_LE(Dest.PaletteCount(), 32);
  ASSERT_GT(Dest.PaletteCount(), 16);
  const auto& P = Dest.Palette();
  EXPECT_TRUE(std::equal(Sys16().begin(), Sys16().end(), P.end() - 16));
  for (size_t I = 0; I + 16 < P.size(); ++I)
    EXPECT_TRUE(RedOf(P[I]) == GreenOf(P[I]) && GreenOf(P[I]) == BlueOf(P[I])) << I;
}

// Sparse palettes must not collapse: N distinct colours reduced to K < N give K colours that
// still span the picture's colours.
TEST(OptimizedPalette, OctreeOfSparsePalettesKeepsAsManyColoursAsAsked) {
  TPixelGraphic Source, Dest;
  Dest.SetSize(1, 1, 2);
  // A 4-bit picture in the 16 system colours, reduced to 8.
  FillIndexed(Source, 1, Sys16());
  BuildOptimizedPalette(Dest, Source, 8, false);
  ASSERT_EQ(Dest.PaletteCount(), 8);
  auto Spread = [](const std::vector<TRGB>& P) {
    int Lo = 255 * 3, Hi = 0;
    for (TRGB C : P) {
      Lo = std::min(Lo, int(RedOf(C) + GreenOf(C) + BlueOf(C)));
      Hi = std::max(Hi, int(RedOf(C) + GreenOf(C) + BlueOf(C)));
    }
    return Hi - Lo;
  };
  EXPECT_GT(Spread(Dest.Palette()), 500); // dark and light colours both stay
  std::vector<TRGB> Unique = Dest.Palette();
  std::sort(Unique.begin(), Unique.end());
  EXPECT_EQ(std::unique(Unique.begin(), Unique.end()), Unique.end());

  // 200 colours spread over the cube, reduced to 16: 16 entries, not one.
  std::vector<TRGB> Many;
  for (int I = 0; I < 200; ++I)
    Many.push_back(RGBOf((I * 97) % 256, (I * 57) % 256, (I * 31) % 256));
  FillIndexed(Source, 2, Many);
  BuildOptimizedPalette(Dest, Source, 16, false);
  EXPECT_EQ(Dest.PaletteCount(), 16);
  EXPECT_GT(Spread(Dest.Palette()), 300);

  // With the system colours appended (the GIF and save fall-back): 8 picture colours + 16.
  FillIndexed(Source, 1, Sys16());
  BuildOptimizedPalette(Dest, Source, 24, true);
  EXPECT_EQ(Dest.PaletteCount(), 24);
}

TEST(OptimizedPalette, AbortStopsCountingWithoutError) {
  TPixelGraphic Source, Dest;
  Fill24(Source, 8, 50, {RGBOf(0, 0, 0)});
  for (int Y = 10; Y < 50; ++Y)
    for (int X = 0; X < 8; ++X)
      Source.SetPixelValue(X, Y, RGBOf(255, 255, 255));
  Dest.SetSize(1, 1, 2);
  int Calls = 0;
  Dest.OnProgress = [&](TPixelGraphic*, int Step, bool& Abort, int) {
    ++Calls;
    Abort = Step == 4;
  };
  BuildOptimizedPalette(Dest, Source, 16, false);
  EXPECT_EQ(Calls, 5);
  EXPECT_EQ(Dest.Palette(), std::vector<TRGB>{RGBOf(4, 2, 4)}); // only black was counted
}

} // namespace
