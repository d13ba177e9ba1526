#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace orbisk;
using namespace orbisk::test;

namespace {

void Put32(std::vector<uint8_t>& D, uint32_t V) {
  for (int S = 0; S < 32; S += 8)
    D.push_back(uint8_t(V >> S));
}

// A bitmap icon image. Pixel gives a palette index, or 0xAARRGGBB for 24 and 32 bits; Mask
// tells the transparent pixels. The colour table entry i is (3i, 2i, i) as red, green, blue.
std::vector<uint8_t> BitmapImage(
    int W, int H, int Bits, std::function<uint32_t(int, int)> Pixel,
    std::function<bool(int, int)> Mask = [](int, int) { return false; }) {
  std::vector<uint8_t> D;
  Put32(D, 40), Put32(D, uint32_t(W)), Put32(D, uint32_t(2 * H)), Put32(D, 1 | Bits << 16);
  D.resize(40, 0);
  for (int I = 0; Bits <= 8 && I < (1 << Bits); ++I)
    D.insert(D.end(), {uint8_t(I), uint8_t(2 * I), uint8_t(3 * I), 0});
  const size_t Start = D.size(), ColorRow = size_t(TPixelGraphic::RowBytesFor(W, Bits));
  const size_t MaskRow = size_t(TPixelGraphic::RowBytesFor(W, 1));
  D.resize(Start + (ColorRow + MaskRow) * size_t(H), 0);
  for (int Y = 0; Y < H; ++Y) // rows bottom-up
    for (int X = 0; X < W; ++X) {
      uint8_t* Row = &D[Start + size_t(H - 1 - Y) * ColorRow];
      const uint32_t V = Pixel(X, Y);
      if (Bits < 8) Row[X * Bits / 8] |= uint8_t(V << (8 - Bits - X * Bits % 8));
      for (int B = 0; Bits >= 8 && B < Bits / 8; ++B)
        Row[X * Bits / 8 + B] = uint8_t(V >> 8 * B);
      if (Mask(X, Y))
        D[Start + ColorRow * H + size_t(H - 1 - Y) * MaskRow + X / 8] |= 0x80 >> X % 8;
    }
  return D;
}

std::vector<uint8_t> MakeIcon(const std::vector<std::vector<uint8_t>>& Images, int Type = 1) {
  std::vector<uint8_t> D = {0, 0, uint8_t(Type), 0, uint8_t(Images.size()), 0};
  uint32_t Offset = uint32_t(6 + 16 * Images.size());
  for (const auto& I : Images) {
    D.insert(D.end(), {0, 0, 0, 0, 1, 0, 0, 0});
    Put32(D, uint32_t(I.size())), Put32(D, Offset);
    Offset += uint32_t(I.size());
  }
  for (const auto& I : Images)
    D.insert(D.end(), I.begin(), I.end());
  return D;
}

TFileFormatReader& IcoReader() {
  for (TFileFormatReader* R : FileFormatReaders())
    if (R->Extension == "ico") return *R;
  throw std::logic_error("no ico reader");
}

// Straight through the reader, so that cursors reach it too.
std::string LoadError(const std::vector<uint8_t>& D, TPixelGraphic& G, int Index = 0) {
  TPGMemoryStream S(D.data(), D.size());
  try {
    IcoReader().ReadGraphic(S, G, Index);
  } catch (const EPixelGraphic& E) {
    return E.what();
  }
  return "";
}

const TRGB White = RGBOf(255, 255, 255);

TEST(ICODecode, PaletteImagesBecomeTrueColourWithWhiteForMaskedPixels) {
  const struct Case {
    int W, H, Bits;
  } Cases[] = {{32, 32, 4}, {24, 24, 1}, {17, 9, 8}, {1, 1, 4}, {256, 256, 8}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << "x" << C.Bits);
    auto Pixel = [&](int X, int Y) { return uint32_t((X * 3 + Y) % (1 << C.Bits)); };
    auto Mask = [](int X, int Y) { return (X + 2 * Y) % 5 == 0; };
    TPixelGraphic G;
    ASSERT_EQ(LoadError(MakeIcon({BitmapImage(C.W, C.H, C.Bits, Pixel, Mask)}), G), "");
    EXPECT_EQ(std::tuple(G.Width(), G.Height(), G.BitCount(), G.Transparent, G.TransparentColor),
              std::tuple(C.W, C.H, 24, true, White));
    int Wrong = 0;
    for (int Y = 0; Y < C.H; ++Y)
      for (int X = 0; X < C.W; ++X) {
        const unsigned I = Pixel(X, Y);
        Wrong += G.GetPixelColor(X, Y) != (Mask(X, Y) ? White : RGBOf(3 * I & 255, 2 * I & 255, I));
      }
    EXPECT_EQ(Wrong, 0);
  }
}

TEST(ICODecode, TrueColourImages) {
  auto FirstMasked = [](int X, int) { return X == 0; };
  TPixelGraphic G;
  ASSERT_EQ(
      LoadError(MakeIcon({BitmapImage(
                    3, 2, 24, [](int X, int Y) { return 0x102030u + X + 16 * Y; }, FirstMasked)}),
                G),
      "");
  EXPECT_EQ(G.GetPixelColor(0, 0), White);
  EXPECT_EQ(G.GetPixelColor(2, 1), RGBOf(0x10, 0x20, 0x30 + 2 + 16));
  // Alpha blends onto white and overrides the mask...
  const uint32_t Alpha[3] = {0x00, 0x80, 0xFF};
  auto Alphas = [&](int X, int) { return Alpha[X] << 24 | 0x204060u; };
  ASSERT_EQ(LoadError(MakeIcon({BitmapImage(3, 1, 32, Alphas, [](int, int) { return true; })}), G),
            "");
  EXPECT_EQ(G.GetPixelColor(0, 0), White);
  EXPECT_EQ(G.GetPixelColor(1, 0), RGBOf(143, 159, 175));
  EXPECT_EQ(G.GetPixelColor(2, 0), RGBOf(0x20, 0x40, 0x60));
  // ...unless the alpha channel is empty.
  ASSERT_EQ(LoadError(MakeIcon({BitmapImage(
                          2, 1, 32, [](int, int) { return 0x204060u; }, FirstMasked)}),
                      G),
            "");
  EXPECT_EQ(G.GetPixelColor(0, 0), White);
  EXPECT_EQ(G.GetPixelColor(1, 0), RGBOf(0x20, 0x40, 0x60));
}

TEST(ICOInfo, SeveralImagesAreSummarisedAndLoadByIndex) {
  auto Zero = [](int, int) { return 0u; };
  const auto D = MakeIcon(
      {BitmapImage(16, 16, 4, Zero), BitmapImage(32, 32, 8, Zero), BitmapImage(48, 48, 4, Zero)});
  TGraphicFileInfo I;
  TPGMemoryStream S(D.data(), D.size());
  FindReader(S, "")->GetInfo(S, 0, I);
  EXPECT_EQ(I.SubType + "/" + I.Options + "/" + I.Colors, "Sizes 16..48/Colors 16..256/");
  EXPECT_EQ(std::tuple(I.GraphicCount, I.Width, I.Height, I.BitsPerPixel),
            std::tuple(3, 16, 16, 4));
  TPixelGraphic G;
  G.LoadFromStreamExt(S, "ico", 2);
  EXPECT_EQ(G.Width(), 48);

  const auto One = MakeIcon({BitmapImage(8, 8, 8, Zero)});
  TPGMemoryStream S1(One.data(), One.size());
  IcoReader().GetInfo(S1, 0, I = {});
  EXPECT_EQ(I.Colors + "/" + I.SubType, "256/");
}

TEST(ICOErrors, BrokenDirectoriesAndImagesFail) {
  auto Zero = [](int, int) { return 0u; };
  const auto Good = BitmapImage(16, 16, 4, Zero);
  auto Patched = [&](size_t At, std::vector<uint8_t> Bytes) {
    auto D = MakeIcon({Good});
    std::copy(Bytes.begin(), Bytes.end(), D.begin() + long(At));
    return D;
  };
  auto PastEnd = MakeIcon({Good});
  PastEnd.pop_back();
  auto Bomb = BitmapImage(16, 16, 1, Zero);
  Bomb[4] = Bomb[5] = Bomb[8] = Bomb[9] = 0xFF; // 65535 x 32767 in 16 x 16 of data

  const std::string NotIcon = "Not an Icon file", Bounds = "Index out of bounds";
  const struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    int Index;
    std::string Error;
  } Cases[] = {
      {"cursor", MakeIcon({Good}, 2), 0, NotIcon},
      {"image past the end", PastEnd, 0, NotIcon},
      {"directory past the end", Patched(4, {200}), 0, NotIcon},
      {"offset near 4 GB", Patched(18, {0xFF, 0xFF, 0xFF, 0xFF}), 0, NotIcon},
      {"header only", {0, 0, 1, 0, 1, 0}, 0, NotIcon},
      {"byte count too small",
       Patched(14, {uint8_t(Good.size() - 1), uint8_t((Good.size() - 1) >> 8)}), 0, Bounds},
      {"index = count", MakeIcon({Good}), 1, Bounds},
      {"negative index", MakeIcon({Good}), -1, Bounds},
      {"wider than 256", MakeIcon({BitmapImage(257, 1, 8, Zero)}), 0, Bounds},
      {"16 bits", MakeIcon({BitmapImage(4, 4, 16, Zero)}), 0, Bounds},
      {"bomb", MakeIcon({Bomb}), 0, Bounds},
      {"too short for a header", MakeIcon({{1, 2, 3}}), 0, Bounds},
      {"empty image", ReadFileBytes(std::string(ORBISK_TEST_DATA_DIR) + "/ico/empty-image.ico"), 0,
       Bounds},
  };
  for (const Case& C : Cases) {
    TPixelGraphic G;
    EXPECT_EQ(LoadError(C.Data, G, C.Index), C.Error) << C.Name;
  }
  uint8_t Header[kHeaderSniffSize] = {0, 0, 2, 0, 1, 0};
  EXPECT_FALSE(IcoReader().Sniff(Header)); // cursors are not claimed
}

TEST(ICOCorpus, FilesMatchReferencesOrFailCleanly) {
  if (CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  int Matched = 0;
  for (const ManifestEntry& E : ManifestFor("ICO")) {
    SCOPED_TRACE(E.Path);
    const auto D = ReadFileBytes(CorpusDir() + "/" + E.Path);
    TPixelGraphic G;
    if (E.References.empty()) {
      // Some crash regressions are sound icons: loading them is fine.
      const std::string Error = LoadError(D, G);
      if (E.Category == "invalid" && E.Note.find("handled") == std::string::npos) {
        EXPECT_NE(Error, "");
      }
      continue;
    }
    RGBAImage Ref;
    ASSERT_TRUE(LoadPNGReference(CorpusDir() + "/" + E.References[0], Ref));
    // image-rs shows the widest image, the deepest among equals (PNG counted deepest).
    int Index = 0, BestBits = -1;
    for (int I = 0; I < (D[4] | D[5] << 8); ++I) {
      const uint8_t* P = &D[D[18 + 16 * I] | D[19 + 16 * I] << 8];
      const bool PNG = P[0] == 0x89;
      const int W = PNG ? P[18] << 8 | P[19] : P[4] | P[5] << 8, Bits = PNG ? 99 : P[14];
      if (W == Ref.Width && Bits > BestBits) Index = I, BestBits = Bits;
    }
    ASSERT_EQ(LoadError(D, G, Index), "");
    // The reference on white: transparent pixels white, partly transparent ones blended.
    for (size_t I = 0; I < Ref.Pixels.size(); I += 4) {
      const unsigned A = Ref.Pixels[I + 3];
      for (size_t C = I; C < I + 3; ++C)
        Ref.Pixels[C] = uint8_t((Ref.Pixels[C] * A + 255 * (255 - A) + 127) / 255);
    }
    EXPECT_EQ(CountDifferences(ToRGBA(G), Ref, false), 0);
    ++Matched;
  }
  EXPECT_EQ(Matched, 7);
}

} // namespace
