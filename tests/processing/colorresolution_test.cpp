// Colour resolution choices, posterize and the GIF preparation.
#include "processing/colorresolution.h"

#include "processing/gifwriter.h"

#include <gtest/gtest.h>

namespace orbisk {
namespace {

// A smooth colour ramp: many colours, every channel used.
void Ramp(TPixelGraphic& G, int W, int H) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, RGBOf(X * 255 / (W - 1), Y * 255 / (H - 1), (X + Y) * 127 / (W + H)));
}

// Without dithering every pixel of R is the nearest palette entry of Src's pixel.
void ExpectNearest(TPixelGraphic& R, const TPixelGraphic& Src) {
  for (int Y = 0; Y < R.Height(); ++Y)
    for (int X = 0; X < R.Width(); ++X)
      ASSERT_EQ(int(R.GetPixelValue(X, Y)), R.GetNearestPaletteIndex(Src.GetPixelColor(X, Y)))
          << X << "," << Y;
}

TColorResolutionChoice Choice(int Bits, TPaletteIdent Kind, int Colors = 0, bool Dither = false) {
  TColorResolutionChoice C;
  C.BitCount = Bits;
  C.Kind = Kind;
  C.Colors = Colors;
  C.Dither = Dither;
  return C;
}

TEST(ColorResolution, StandardPalettesGiveTheirKindAndNearestColours) {
  TPixelGraphic Src;
  Ramp(Src, 37, 23);
  const std::pair<int, TPaletteIdent> Cases[] = {
      {1, pBlackWhite}, {4, pGray4},   {4, pSysGray4},   {4, pGray16},     {4, pSys16},
      {8, pGray236},    {8, pGray256}, {8, pSpecial125}, {8, pSpecial216}, {8, pSpecial252}};
  for (auto [Bits, Kind] : Cases) {
    for (bool Weighting : {true, false}) {
      SCOPED_TRACE(testing::Message() << "kind " << Kind << " weighting " << Weighting);
      TColorResolutionChoice C = Choice(Bits, Kind);
      C.RGBWeighting = Weighting;
      auto R = ApplyColorResolution(Src, C);
      ASSERT_TRUE(R);
      EXPECT_EQ(R->BitCount(), Bits);
      EXPECT_EQ(R->Width() * 100 + R->Height(), 3723);
      EXPECT_EQ(R->PaletteKind(), Kind);
      EXPECT_EQ(R->Palette(), StandardPalette(Kind));
      EXPECT_EQ(R->RGBWeighting(), Weighting);
      EXPECT_FALSE(R->OnProgress); // no handler of ours left behind
      ExpectNearest(*R, Src);
    }
  }
}

TEST(ColorResolution, OptimizedPalettesStayWithinTheirCount) {
  TPixelGraphic Src;
  Ramp(Src, 41, 29);
  struct Case {
    int Bits, Colors;
    bool System16;
  } Cases[] = {{1, 2, false},  {4, 9, false},  {4, 16, true},  {8, 2, false},
               {8, 100, true}, {8, 252, true}, {8, 256, false}};
  for (const Case& C : Cases) {
    for (bool Dither : {true, false}) {
      SCOPED_TRACE(testing::Message() << C.Bits << " bits, " << C.Colors << " colours");
      TColorResolutionChoice Ch = Choice(C.Bits, pUnknown, C.Colors, Dither);
      Ch.IncludeSystem16 = C.System16;
      auto R = ApplyColorResolution(Src, Ch);
      EXPECT_EQ(R->BitCount(), C.Bits);
      EXPECT_EQ(R->Dither, Dither);
      EXPECT_GE(R->PaletteCount(), 1);
      EXPECT_LE(R->PaletteCount(), C.Colors);
      for (int Y = 0; Y < R->Height(); ++Y)
        for (int X = 0; X < R->Width(); ++X)
          ASSERT_LT(int(R->GetPixelValue(X, Y)), R->PaletteCount());
      if (!Dither) ExpectNearest(*R, Src);
      if (C.Bits == 8 && C.System16) { // the system colours close the palette
        const auto &P = R->Palette(), &Sys = StandardPalette(pSys16);
        EXPECT_TRUE(std::equal(Sys.begin(), Sys.end(), P.end() - long(Sys.size())));
      }
    }
  }
}

TEST(ColorResolution, ChoicesThatDoNotFitAreRefused) {
  TPixelGraphic Src, Empty;
  Ramp(Src, 4, 4);
  struct Case {
    int Bits;
    TPaletteIdent Kind;
    int Colors;
    bool Valid;
  } Cases[] = {{1, pBlackWhite, 0, true}, {1, pUnknown, 3, false},   {1, pGray4, 0, false},
               {4, pUnknown, 1, false},   {4, pUnknown, 17, false},  {4, pGray236, 0, false},
               {8, pUnknown, 256, true},  {8, pUnknown, 257, false}, {8, pSys16, 0, true},
               {8, pNone, 0, false},      {8, pTrueColor, 0, false}, {8, pSource, 0, false},
               {24, pNone, 0, true},      {16, pUnknown, 2, false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Bits << " bits, kind " << C.Kind << ", " << C.Colors);
    EXPECT_EQ(ValidChoice(Choice(C.Bits, C.Kind, C.Colors)), C.Valid);
    if (C.Valid)
      EXPECT_TRUE(ApplyColorResolution(Src, Choice(C.Bits, C.Kind, C.Colors)));
    else
      EXPECT_THROW(ApplyColorResolution(Src, Choice(C.Bits, C.Kind, C.Colors)), EPixelGraphic);
  }
  // No picture, no action.
  EXPECT_EQ(ApplyColorResolution(Empty, TColorResolutionChoice{}), nullptr);
  EXPECT_EQ(Posterize(Empty), nullptr);
  EXPECT_EQ(PrepareGIFExport(Empty), nullptr);
  // A bare colour count picks the smallest depth that holds it.
  EXPECT_EQ(OptimizedChoice(2, true).BitCount, 1);
  EXPECT_EQ(OptimizedChoice(16, true).BitCount, 4);
  EXPECT_EQ(OptimizedChoice(17, true).BitCount, 8);
  EXPECT_THROW(OptimizedChoice(257, true), EPixelGraphic);
}

TEST(ColorResolution, AnAbortStopsWithoutAnError) {
  TPixelGraphic Src;
  Ramp(Src, 30, 40);
  int Calls = 0;
  auto R = ApplyColorResolution(Src, Choice(8, pGray256),
                                [&](TPixelGraphic*, int Step, bool& Abort, int) {
                                  ++Calls;
                                  Abort = Step == 9;
                                });
  ASSERT_TRUE(R);
  EXPECT_EQ(Calls, 10);
  EXPECT_EQ(int(R->GetPixelValue(29, 9)), R->GetNearestPaletteIndex(Src.GetPixelColor(29, 9)));
  EXPECT_EQ(R->GetPixelValue(29, 10), 0u); // rows after the abort were not written
  EXPECT_FALSE(R->OnProgress);
}

TEST(ColorResolution, WindowModelAndCountFields) {
  TColorResolutionModel M;
  EXPECT_EQ(M.Choice().BitCount, 24);
  M.ChoosePalette(1, pUnknown);
  EXPECT_EQ(M.Choice().Colors, 2);
  M.EditCount4(" 9 ");
  TColorResolutionChoice C = M.Choice();
  EXPECT_EQ(C.BitCount * 1000 + C.Kind * 100 + C.Colors, 4209); // 4 bits, optimized, 9
  M.ChoosePalette(24, pTrueColor);
  M.SetIncludeSystem16(true);
  C = M.Choice();
  EXPECT_EQ(C.BitCount * 1000 + C.Kind * 100 + C.Colors, 8452); // 8 bits, optimized, 252
  EXPECT_TRUE(C.IncludeSystem16);
  struct Case {
    const char* Count4;
    const char* Count8;
    bool Ok;
  } Fields[] = {{"16", "252", true},   {" 2\t", "256", true}, {"1", "252", false},
                {"17", "2", false},    {"16", "257", false},  {"", "252", false},
                {"1 6", "252", false}, {"8x", "252", false},  {"16", "99999999999", false}};
  for (const Case& F : Fields) {
    M.EditCount4(F.Count4);
    M.EditCount8(F.Count8);
    EXPECT_EQ(M.CanConfirm(), F.Ok) << F.Count4 << " / " << F.Count8;
  }
}

TEST(ColorReduction, PosterizeAndGIFPreparation) {
  TPixelGraphic Src;
  Ramp(Src, 64, 48);
  auto P = Posterize(Src);
  EXPECT_EQ(P->BitCount(), 4);
  EXPECT_LE(P->PaletteCount(), 8);
  EXPECT_FALSE(P->Dither || P->RGBWeighting());
  ExpectNearest(*P, Src); // hard edges, no dithering
  P = Posterize(Src, 40);
  EXPECT_EQ(P->BitCount(), 8);
  EXPECT_LE(P->PaletteCount(), 40);
  EXPECT_THROW(Posterize(Src, 1), EPixelGraphic);
  for (auto [W, H] : {std::pair{0, 0}, {32, 24}, {100, 10}}) {
    auto G = PrepareGIFPicture(Src, W, H);
    EXPECT_EQ(G->Width() * 1000 + G->Height(), W ? W * 1000 + H : 64048);
    EXPECT_EQ(G->BitCount(), 8);
    EXPECT_LE(G->PaletteCount(), 252);
    EXPECT_TRUE(G->Dither && G->RGBWeighting());
    std::vector<uint8_t> Out;
    EXPECT_EQ(EncodeGIF(*G, true, 0, false, Out), gifOK);
  }
  // The export copies palette pictures unchanged.
  TPixelGraphic Pal;
  Pal.SetSize(9, 5, 1);
  Pal.SetPaletteCount(3);
  Pal.SetPaletteEntry(1, RGBOf(200, 100, 0));
  for (int X = 0; X < 9; ++X)
    Pal.SetPixelValue(X, 2, uint32_t(X % 3));
  auto E = PrepareGIFExport(Pal);
  EXPECT_EQ(E->BitCountNum(), 1);
  EXPECT_EQ(E->Palette(), Pal.Palette());
  EXPECT_EQ(std::vector<uint8_t>(E->Bits(), E->Bits() + E->ImageSize()),
            std::vector<uint8_t>(Pal.Bits(), Pal.Bits() + Pal.ImageSize()));
}

} // namespace
} // namespace orbisk
