// Saving through every writer from every colour resolution: the picture is stored in the
// resolution the fall-back order chooses for that writer, and reads back in it.
#include "engine/registry.h"
#include "engine/stream.h"

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

// A 7 x 5 picture in colour resolution R.
void MakePicture(TPixelGraphic& G, int R) {
  static const int Codes[8] = {0, 0, 1, 1, 1, 2, 2, 3};
  G.SetSize(7, 5, Codes[R]);
  switch (R) {
  case 0:
    G.SetPaletteKind(pBlackWhite);
    break;
  case 1:
    G.SetPaletteCount(2);
    G.SetPaletteEntry(0, RGBOf(200, 0, 0));
    G.SetPaletteEntry(1, RGBOf(0, 0, 200));
    break;
  case 2:
    G.SetPaletteKind(pGray16);
    break;
  case 3:
    G.SetPaletteKind(pSys16);
    break;
  case 4:
  case 6:
    G.SetPaletteCount(R == 4 ? 5 : 40);
    for (int I = 0; I < G.PaletteCount(); ++I)
      G.SetPaletteEntry(I, RGBOf(I * 6, 255 - I * 6, 77));
    break;
  case 5:
    G.SetPaletteKind(pGray256);
    break;
  default:
    break;
  }
  for (int Y = 0; Y < 5; ++Y)
    for (int X = 0; X < 7; ++X)
      G.SetPixelValue(X, Y,
                      R == 7 ? RGBOf(X * 30, Y * 50, 99)
                             : uint32_t((X + Y) % std::max(2, G.PaletteCount())));
  G.RecognisePaletteKind();
  ASSERT_EQ(G.ColorResolution(), R);
}

TEST(SaveFallback, EveryResolutionThroughEveryWriter) {
  struct Writer {
    const char* Ext;
    std::set<int> Can;
  } Writers[] = {
      {"bmp", {0, 1, 2, 3, 4, 5, 6, 7}},
      {"dib", {0, 1, 2, 3, 4, 5, 6, 7}},
      {"jpg", {5, 7}},
      {"jpeg", {5, 7}},
      {"jif", {5, 7}},
      {"png", {0, 1, 2, 3, 4, 5, 6, 7}},
      {"pbm", {0}},
      {"pgm", {5}},
      {"ppm", {7}},
      {"tga", {6, 7}},
      {"tif", {0, 2, 3, 4, 5, 6, 7}},
      {"tiff", {0, 2, 3, 4, 5, 6, 7}},
  };
  for (const auto& W : Writers) {
    TFileFormatWriter* Found = FindWriter(W.Ext);
    ASSERT_NE(Found, nullptr);
    EXPECT_EQ(Found->CanWriteResolutions, W.Can) << W.Ext;
    for (int R = 0; R < 8; ++R) {
      TPixelGraphic G;
      MakePicture(G, R);
      G.SaveColorResWarningAction = pgwaIgnore;
      TPGMemoryStream S;
      G.SaveToStreamExt(S, W.Ext);
      EXPECT_EQ(G.ColorResolution(), R) << "the picture itself is not changed";
      int T = FallbackResolution(R, W.Can);
      S.SetPosition(0);
      TPixelGraphic Back;
      Back.LoadFromStreamExt(S, W.Ext, 0);
      EXPECT_EQ(Back.ColorResolution(), T) << W.Ext << " from resolution " << R;
      EXPECT_EQ(Back.Width(), 7);
    }
  }
}

TEST(SaveFallback, DialogFiltersListTheFormats) {
  EXPECT_EQ(DefaultSaveFilter(),
            "BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|"
            "PGM - Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|"
            "PPM - Portable Pixelmap|*.ppm|TGA - Truevision Targa|*.tga|"
            "TIF - Tagged Image File Format|*.tif|AVIF - AV1 Image File Format|*.avif|"
            "WEBP - WebP|*.webp|");
  std::string Open = DefaultOpenFilter();
  EXPECT_EQ(Open.substr(0, Open.find('|', 12) + 1),
            "Image files|*.bmp; *.dib; *.emf; *.gif; *.ico; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; "
            "*.pgm; *.png; *.ppm; *.rle; *.tga; *.tif; *.tiff; *.wmf; *.avif; *.heic; *.heif; "
            "*.jxl; *.webp|");
  EXPECT_EQ(Open.substr(Open.size() - 13), "All files|*.*");
  EXPECT_EQ(SaveFilterExtension(2), "jpg");
  EXPECT_EQ(OpenFilterExtension(2), "bmp");
  EXPECT_EQ(OpenFilterExtension(1), "");
}

} // namespace
