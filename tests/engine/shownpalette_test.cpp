// Palette pictures whose pixels use indices past the palette show entry 0's colour there; every
// writer must store that colour, so that a save and reload changes nothing on screen.
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

TEST(ShownPalette, IndicesPastThePaletteKeepTheirColourThroughEveryWriter) {
  for (int Code : {1, 2}) { // 4 and 8 bits
    TPixelGraphic G;
    G.SetSize(5, 2, Code);
    G.SetPaletteCount(3);
    G.SetPaletteEntry(0, RGBOf(200, 30, 40));
    G.SetPaletteEntry(1, RGBOf(0, 150, 0));
    G.SetPaletteEntry(2, RGBOf(10, 20, 250));
    const uint32_t Past = Code == 1 ? 13 : 200;
    for (int X = 0; X < 5; ++X) {
      G.SetPixelValue(X, 0, uint32_t(X % 3));
      G.SetPixelValue(X, 1, Past);
    }
    ASSERT_EQ(G.GetPixelColor(2, 1), RGBOf(200, 30, 40));
    for (const std::string Ext : {"png", "tif", "tga", "bmp"}) {
      if (Ext == "tga" && Code == 1) continue; // TGA stores 8-bit palettes only
      const std::string Path = test::TempPath("shown-" + std::to_string(Code) + "." + Ext);
      TPixelGraphic Copy;
      Copy.Assign(&G);
      Copy.SaveToFile(Path);
      TPixelGraphic Back;
      Back.LoadFromFile(Path);
      for (int Y = 0; Y < 2; ++Y)
        for (int X = 0; X < 5; ++X)
          EXPECT_EQ(Back.GetPixelColor(X, Y), G.GetPixelColor(X, Y))
              << Ext << ", " << Code << ": " << X << "," << Y;
    }
  }
}

} // namespace
