// Storage, pixel access, palettes, colour matching and dithering of the pixel image.
#include "engine/palettes.h"
#include "engine/pixelgraphic.h"

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

TEST(PixelGraphicStorage, OneBitLayoutIsBottomUpMostSignificantBitFirst) {
  TPixelGraphic G;
  G.SetSize(3, 2, 0);
  EXPECT_EQ(G.RowBytes(), 4);
  EXPECT_EQ(G.ImageSize(), 8);
  G.SetPixelValue(2, 0, 1);
  // Picture row 0 is the last stored row; pixel 2 is bit 5 of its first byte.
  EXPECT_EQ(G.Bits()[4], 0x20);
  EXPECT_EQ(G.Bits()[0], 0);
  EXPECT_EQ(G.GetPixelValue(2, 0), 1u);
}

TEST(PixelGraphicStorage, RowPaddingForEveryDepth) {
  struct Case {
    int W, Code;
    int64_t RowBytes;
  } Cases[] = {{1, 0, 4}, {33, 0, 8}, {7, 1, 4}, {9, 1, 8}, {5, 2, 8}, {47, 3, 144}, {1, 3, 4}};
  for (auto C : Cases) {
    TPixelGraphic G;
    G.SetSize(C.W, 3, C.Code);
    EXPECT_EQ(G.RowBytes(), C.RowBytes) << C.W << " " << C.Code;
  }
}

TEST(PixelGraphicStorage, FourAndTwentyFourBitPixels) {
  TPixelGraphic G;
  G.SetSize(3, 1, 1);
  G.SetPixelValue(0, 0, 0xA);
  G.SetPixelValue(1, 0, 0x15); // only the low nibble is stored
  EXPECT_EQ(G.Bits()[0], 0xA5);
  G.SetSize(2, 1, 3);
  G.SetPixelValue(1, 0, RGBOf(1, 2, 3));
  EXPECT_EQ(G.Bits()[3], 3); // blue first
  EXPECT_EQ(G.Bits()[5], 1);
  EXPECT_EQ(G.GetPixelColor(1, 0), RGBOf(1, 2, 3));
}

TEST(PixelGraphicStorage, SetSizeClearsOrZeroes) {
  TPixelGraphic G;
  G.SetSize(4, 4, 3);
  G.SetBackGroundColor(RGBOf(9, 8, 7));
  G.SetPixelValue(1, 1, RGBOf(1, 1, 1));
  G.SetSize(4, 4, 3); // same size: cleared to the background
  EXPECT_EQ(G.GetPixelValue(1, 1), RGBOf(9, 8, 7));
  G.SetSize(5, 4, 3); // new size: all zero
  EXPECT_EQ(G.GetPixelValue(1, 1), 0u);
}

TEST(PixelGraphicStorage, OutsideReadsGiveBackgroundAndWritesAreIgnored) {
  TPixelGraphic G;
  G.SetSize(2, 2, 3);
  G.SetBackGroundColor(RGBOf(5, 6, 7));
  EXPECT_EQ(G.GetPixelValue(-1, 0), RGBOf(5, 6, 7));
  G.SetPixelValue(2, 0, 123);
  EXPECT_EQ(G.GetPixelValue(1, 0), 0u);
  G.RangeCheck = true;
  EXPECT_THROW(G.GetPixelValue(0, 2), EPGXYIndexOutOfRange);
  EXPECT_THROW(G.SetPixelValue(-1, 0, 0), EPGXYIndexOutOfRange);
}

TEST(PixelGraphicStorage, InvalidSizesAndLimits) {
  TPixelGraphic G;
  EXPECT_THROW(G.SetSize(-1, 1, 3), EPGInvalidSize);
  try {
    G.SetSize(1, -1, 3);
  } catch (const EPGInvalidSize& E) {
    EXPECT_STREQ(E.what(), "Negative height");
  }
  EXPECT_THROW(BitCountToNum(16), EPGInvalidBitCountNum);
  try {
    G.SetSize(1 << 16, 1 << 16, 3); // 2^32 pixels, above the limit
    FAIL();
  } catch (const EPixelGraphic& E) {
    EXPECT_STREQ(E.what(), "CreateDIBSection failed");
  }
  EXPECT_TRUE(G.Empty());
  G.SetSize(0, 5, 3);
  EXPECT_TRUE(G.Empty());
}

TEST(PixelGraphicPalette, TrueColorEntriesReadAsTheirIndex) {
  TPixelGraphic G;
  G.SetSize(1, 1, 3);
  EXPECT_EQ(G.PaletteKind(), pTrueColor);
  EXPECT_EQ(G.GetPaletteEntry(77), 77u);
  EXPECT_THROW(G.SetPaletteEntry(0, 0), EPGNoPalette);
}

TEST(PixelGraphicPalette, EntriesAndHeaderSlots) {
  TPixelGraphic G;
  G.SetSize(2, 2, 2);
  G.SetPaletteCount(3);
  EXPECT_EQ(G.PaletteKind(), pUnknown);
  G.SetPaletteEntry(0, RGBOf(10, 20, 30));
  G.SetPaletteEntry(2, RGBOf(1, 2, 3));
  EXPECT_THROW(G.SetPaletteEntry(3, 0), EPGInvalidPaletteIndex);
  EXPECT_THROW(G.GetPaletteEntry(-1), EPGInvalidPaletteIndex);
  const auto& H = G.InfoHeader();
  ASSERT_EQ(H.size(), 40u + 256 * 4);
  EXPECT_EQ(H[32], 3);                // colours used
  EXPECT_EQ(H[40 + 8], 3);            // slot 2 blue
  EXPECT_EQ(H[40 + 10], 1);           // slot 2 red
  EXPECT_EQ(H[40 + 4 * 200 + 2], 10); // slots past the count repeat entry 0
}

TEST(PixelGraphicPalette, IndicesBeyondThePaletteNeverReadOutside) {
  TPixelGraphic G;
  G.SetSize(2, 1, 2);
  G.SetPaletteCount(2);
  G.SetPaletteEntry(0, RGBOf(1, 2, 3));
  G.SetPixelValue(0, 0, 200);
  EXPECT_EQ(G.GetPixelColor(0, 0), RGBOf(1, 2, 3));
}

TEST(PixelGraphicPalette, RecognitionOfEveryStandardKind) {
  for (TPaletteIdent K : {pBlackWhite, pSysGray4, pSys16, pGray4, pGray16, pGray236, pGray256,
                          pSpecial125, pSpecial216, pSpecial252}) {
    TPixelGraphic G;
    G.SetSize(1, 1, 2);
    const auto& P = StandardPalette(K);
    G.SetPaletteCount(int(P.size()));
    for (size_t I = 0; I < P.size(); ++I)
      G.SetPaletteEntry(int(I), P[I]);
    EXPECT_EQ(G.PaletteKind(), pUnknown);
    G.RecognisePaletteKind();
    EXPECT_EQ(G.PaletteKind(), K) << K;
  }
}

TEST(PixelGraphicPalette, StandardTablesHaveTheirSizesAndAnchors) {
  EXPECT_EQ(StandardPalette(pSpecial252).size(), 252u);
  EXPECT_EQ(StandardPalette(pSpecial252)[16], RGBFromHex(0x000040));
  EXPECT_EQ(StandardPalette(pSpecial252)[17], RGBFromHex(0x0000C0));
  EXPECT_EQ(StandardPalette(pSpecial252)[125], RGBFromHex(0x202020));
  EXPECT_EQ(StandardPalette(pSpecial252)[251], RGBFromHex(0xE060C0));
  EXPECT_EQ(StandardPalette(pSpecial125)[124], RGBOf(255, 255, 255));
  EXPECT_EQ(StandardPalette(pSpecial216)[1], RGBOf(0, 0, 51));
  EXPECT_EQ(StandardPalette(pGray236)[235], RGBOf(255, 255, 255));
}

TEST(PixelGraphicPalette, GreyPaletteIn8BitsKeepsResolution6) {
  TPixelGraphic G;
  G.SetSize(1, 1, 2);
  G.SetPaletteCount(16);
  for (int I = 0; I < 16; ++I)
    G.SetPaletteEntry(I, RGBOf(I * 17, I * 17, I * 17));
  G.RecognisePaletteKind();
  EXPECT_EQ(G.PaletteKind(), pGray16);
  EXPECT_EQ(G.ColorResolution(), 6);
}

int Nearest(TPaletteIdent K, TRGB C) {
  TPixelGraphic G;
  G.SetSize(1, 1, K == pBlackWhite ? 0 : K == pSys16 || K == pGray16 ? 1 : 2);
  G.SetPaletteKind(K);
  return G.GetNearestPaletteIndex(C);
}

TEST(PixelGraphicMatching, NamedKinds) {
  struct Case {
    TPaletteIdent Kind;
    TRGB Color;
    int Index;
  } Cases[] = {
      {pGray256, RGBOf(200, 100, 50), 124},     {pBlackWhite, RGBOf(128, 127, 127), 0},
      {pSpecial125, RGBOf(224, 0, 0), 100},     {pSpecial125, RGBOf(223, 0, 0), 75},
      {pSpecial216, RGBOf(255, 255, 255), 215}, {pSys16, RGBOf(250, 5, 5), 9},
      {pSys16, RGBOf(190, 190, 190), 7},        {pGray16, RGBOf(255, 255, 255), 15},
  };
  for (auto C : Cases)
    EXPECT_EQ(Nearest(C.Kind, C.Color), C.Index) << C.Kind;
}

TEST(PixelGraphicMatching, BlackWhiteThresholdOnLuminance) {
  TPixelGraphic G;
  G.SetSize(1, 1, 0);
  G.SetPaletteKind(pBlackWhite);
  G.SetRGBWeighting(false);
  EXPECT_EQ(G.GetNearestPaletteIndex(RGBOf(128, 127, 127)), 0); // L = 382
  EXPECT_EQ(G.GetNearestPaletteIndex(RGBOf(128, 128, 127)), 1); // L = 383
}

TEST(PixelGraphicMatching, Special252CandidatesAgreeWithExhaustiveSearch) {
  TPixelGraphic Named, Own;
  Named.SetSize(1, 1, 2);
  Named.SetPaletteKind(pSpecial252);
  Own.SetSize(1, 1, 2);
  Own.AssignPalette(Named);
  Own.SetPaletteKind(pUnknown);
  Own.SetColorCache(false);
  for (int R = 0; R < 256; R += 5)
    for (int G = 0; G < 256; G += 3)
      for (int B = 0; B < 256; B += 7) {
        TRGB C = RGBOf(R, G, B);
        ASSERT_EQ(Named.GetNearestPaletteIndex(C), Own.GetNearestPaletteIndex(C))
            << R << "," << G << "," << B;
      }
}

TEST(PixelGraphicMatching, OwnPaletteLowestIndexOnTiesAndCacheAgrees) {
  for (bool Cache : {false, true}) {
    TPixelGraphic G;
    G.SetSize(1, 1, 1);
    G.SetPaletteCount(2);
    G.SetPaletteEntry(0, RGBOf(255, 0, 0));
    G.SetPaletteEntry(1, RGBOf(0, 0, 255));
    G.SetColorCache(Cache);
    EXPECT_EQ(G.GetNearestPaletteIndex(RGBOf(255, 0, 1)), 0);
    EXPECT_EQ(G.GetNearestPaletteIndex(RGBOf(0, 0, 250)), 1);
    if (!Cache) {
      EXPECT_EQ(G.GetNearestPaletteIndex(RGBOf(128, 0, 128)), 0); // equal distance
    }
  }
}

TEST(PixelGraphicMatching, CacheFollowsPaletteChanges) {
  TPixelGraphic G;
  G.SetSize(1, 1, 2);
  G.SetPaletteCount(2);
  G.SetPaletteEntry(0, RGBOf(0, 0, 0));
  G.SetPaletteEntry(1, RGBOf(255, 255, 255));
  EXPECT_EQ(G.GetNearestPaletteIndex(RGBOf(250, 250, 250)), 1);
  G.SetPaletteEntry(0, RGBOf(250, 250, 250));
  EXPECT_EQ(G.GetNearestPaletteIndex(RGBOf(250, 250, 250)), 0);
  TPixelGraphic None;
  None.SetSize(1, 1, 2);
  None.SetPaletteKind(pNone);
  EXPECT_THROW(None.GetNearestPaletteIndex(0), EPGNoPalette);
}

TEST(PixelGraphicDither, GreyIntoBlackWhite) {
  TPixelGraphic Src;
  Src.SetSize(40, 40, 3);
  for (int Y = 0; Y < 40; ++Y)
    for (int X = 0; X < 40; ++X)
      Src.SetPixelValue(X, Y, RGBOf(128, 128, 128));
  for (bool Dither : {true, false}) {
    TPixelGraphic D;
    D.SetSize(40, 40, 0);
    D.SetPaletteKind(pBlackWhite);
    D.Dither = Dither;
    D.SetRGBWeighting(false);
    D.CopyRect(0, 0, Src, 0, 0, 40, 40);
    int White = 0;
    for (int Y = 0; Y < 40; ++Y)
      for (int X = 0; X < 40; ++X)
        White += int(D.GetPixelValue(X, Y));
    if (Dither) {
      EXPECT_GT(White, 1600 * 4 / 10);
      EXPECT_LT(White, 1600 * 6 / 10);
    } else {
      EXPECT_EQ(White, 1600); // L = 384
    }
  }
}

TEST(PixelGraphicDither, ColourPathKeepsTheAverage) {
  // A uniform colour between palette entries dithers to a mix whose mean is close to it.
  TPixelGraphic Src, D;
  Src.SetSize(64, 64, 3);
  for (int Y = 0; Y < 64; ++Y)
    for (int X = 0; X < 64; ++X)
      Src.SetPixelValue(X, Y, RGBOf(100, 150, 30));
  D.SetSize(64, 64, 2);
  D.SetPaletteKind(pSpecial216);
  D.CopyRect(0, 0, Src, 0, 0, 64, 64);
  double Sum[3] = {};
  for (int Y = 0; Y < 64; ++Y)
    for (int X = 0; X < 64; ++X) {
      TRGB C = D.GetPixelColor(X, Y);
      Sum[0] += RedOf(C);
      Sum[1] += GreenOf(C);
      Sum[2] += BlueOf(C);
    }
  EXPECT_NEAR(Sum[0] / 4096, 100, 4);
  EXPECT_NEAR(Sum[1] / 4096, 150, 4);
  EXPECT_NEAR(Sum[2] / 4096, 30, 4);
}

TEST(PixelGraphicEvents, ChangeSignalsRespectTheUpdateCounter) {
  TPixelGraphic G;
  int Changes = 0;
  G.OnChange = [&](TPixelGraphic*) { ++Changes; };
  G.BeginUpdate();
  G.SetSize(3, 3, 3);
  G.Clear();
  EXPECT_EQ(Changes, 0);
  G.EndUpdate();
  EXPECT_EQ(Changes, 1);
}

TEST(PixelGraphicAssign, CopiesPixelsPaletteAndSettingsButNotEvents) {
  TPixelGraphic A, B;
  A.SetSize(5, 3, 1);
  A.SetPaletteKind(pSys16);
  A.SetPixelValue(4, 2, 9);
  A.Dither = false;
  A.StretchMode = smFast;
  A.FastJPEGDecode = true;
  A.OnChange = [](TPixelGraphic*) {};
  B.Assign(&A);
  EXPECT_EQ(B.Width(), 5);
  EXPECT_EQ(B.BitCountNum(), 1);
  EXPECT_EQ(B.PaletteKind(), pSys16);
  EXPECT_EQ(B.GetPixelValue(4, 2), 9u);
  EXPECT_FALSE(B.Dither);
  EXPECT_EQ(B.StretchMode, smFast);
  EXPECT_FALSE(B.FastJPEGDecode);
  EXPECT_FALSE(B.OnChange);
  B.Assign(nullptr);
  EXPECT_TRUE(B.Empty());
}

} // namespace
