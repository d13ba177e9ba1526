// PNG codec: PngSuite conformance, background composition, gamma, 2-bit files, warnings,
// hostile files, write-then-read.
#include "engine/formats/png.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include <png.h>
#include <zlib.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

using Bytes = std::vector<uint8_t>;

struct Layout {
  explicit Layout(int T = PNG_COLOR_TYPE_RGB_ALPHA, int D = 8, int Wd = 5, int Ht = 3,
                  bool I = false)
      : W(Wd), H(Ht), Type(T), Depth(D), Interlace(I) {}
  int W, H, Type, Depth;
  bool Interlace;
  std::vector<png_color> Palette;
  std::vector<png_byte> TransAlpha;       // palette tRNS
  std::optional<png_color_16> TransColor; // grey / RGB tRNS
  std::optional<png_color_16> Background; // bKGD
  int Filter = -1;                        // png_set_filter's choice; -1: libpng's default
  size_t IdatSize = 0;                    // IDAT chunk size; 0: libpng's default
  double Gamma = 0;                       // gAMA; 0: none
};

png_color_16 Colour16(unsigned R, unsigned G, unsigned B, unsigned Grey = 0, png_byte Index = 0) {
  return {Index, png_uint_16(R), png_uint_16(G), png_uint_16(B), png_uint_16(Grey)};
}
png_color_16 Grey16(unsigned G) {
  return Colour16(0, 0, 0, G);
}

// Writes a PNG with libpng; Sample(x, y, channel) gives each sample at the file's depth.
Bytes MakePNG(const Layout& S, const std::function<unsigned(int, int, int)>& Sample) {
  Bytes Out;
  png_structp P = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop I = png_create_info_struct(P);
  png_set_write_fn(
      P, &Out,
      [](png_structp P, png_bytep D, size_t N) {
        auto* V = static_cast<Bytes*>(png_get_io_ptr(P));
        V->insert(V->end(), D, D + N);
      },
      nullptr);
  png_set_IHDR(P, I, S.W, S.H, S.Depth, S.Type,
               S.Interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  if (!S.Palette.empty()) png_set_PLTE(P, I, S.Palette.data(), int(S.Palette.size()));
  if (!S.TransAlpha.empty() || S.TransColor) {
    png_color_16 T = S.TransColor.value_or(png_color_16{});
    png_set_tRNS(P, I, S.TransAlpha.data(), int(S.TransAlpha.size()), &T);
  }
  if (S.Background) png_set_bKGD(P, I, &*S.Background);
  if (S.Gamma > 0) png_set_gAMA(P, I, S.Gamma);
  if (S.Filter >= 0) png_set_filter(P, 0, S.Filter);
  if (S.IdatSize > 0) png_set_compression_buffer_size(P, S.IdatSize);
  png_write_info(P, I);
  const int Channels = png_get_channels(P, I);
  const int Passes = png_set_interlace_handling(P);
  Bytes Row(png_get_rowbytes(P, I));
  for (int Pass = 0; Pass < Passes; ++Pass)
    for (int Y = 0; Y < S.H; ++Y) {
      std::fill(Row.begin(), Row.end(), 0);
      for (int X = 0; X < S.W; ++X)
        for (int C = 0; C < Channels; ++C) {
          const unsigned V = Sample(X, Y, C);
          const size_t Bit = (size_t(X) * Channels + C) * S.Depth;
          if (S.Depth == 16) {
            Row[Bit / 8] = uint8_t(V >> 8);
            Row[Bit / 8 + 1] = uint8_t(V);
          } else {
            Row[Bit / 8] |= uint8_t(V << (8 - S.Depth - Bit % 8));
          }
        }
      png_write_row(P, Row.data());
    }
  png_write_end(P, nullptr);
  png_destroy_write_struct(&P, &I);
  return Out;
}

// Inserts a chunk (by default right after IHDR); a wrong CRC when asked.
Bytes WithChunk(Bytes F, const char* Type, const Bytes& Data, bool BadCRC = false, size_t At = 33) {
  Bytes C = {0, 0, 0, uint8_t(Data.size())};
  C.insert(C.end(), Type, Type + 4);
  C.insert(C.end(), Data.begin(), Data.end());
  uLong Crc = crc32(0, C.data() + 4, uInt(C.size() - 4)) ^ (BadCRC ? 1 : 0);
  for (int K = 3; K >= 0; --K)
    C.push_back(uint8_t(Crc >> (8 * K)));
  F.insert(F.begin() + long(At), C.begin(), C.end());
  return F;
}

void Load(TPixelGraphic& G, const Bytes& B, const TReadOptions& Options = {}) {
  TPGMemoryStream S(B.data(), B.size());
  G.LoadFromStream(S, Options);
}

std::string LoadError(TPixelGraphic& G, const Bytes& B, const TReadOptions& Options = {}) {
  try {
    Load(G, B, Options);
  } catch (const EPGPNGFileFormatReaderWriter& E) {
    return E.what();
  }
  return "";
}

TGraphicFileInfo InfoOf(const Bytes& B) {
  TPGMemoryStream S(B.data(), B.size());
  TGraphicFileInfo I;
  TPNGFileFormatReader().GetInfo(S, 0, I);
  return I;
}

std::vector<long> ReadJsonNumbers(const std::string& Path) {
  std::ifstream In(Path);
  std::stringstream Text;
  Text << In.rdbuf();
  std::vector<long> V;
  long Cur = -1;
  for (char C : Text.str() + " ") {
    if (C >= '0' && C <= '9')
      Cur = (Cur < 0 ? 0 : Cur * 10) + (C - '0');
    else if (Cur >= 0)
      V.push_back(Cur), Cur = -1;
  }
  return V;
}

// The file's bKGD as (r, g, b) in the file's sample scale (palette: the entry's colour).
std::optional<std::array<long, 3>> FileBackground(const Bytes& F) {
  Bytes Plte;
  for (size_t P = 8; P + 12 <= F.size();) {
    const size_t N = size_t(F[P]) << 24 | F[P + 1] << 16 | F[P + 2] << 8 | F[P + 3];
    const std::string Type(F.begin() + long(P) + 4, F.begin() + long(P) + 8);
    const uint8_t* D = F.data() + P + 8;
    auto U16 = [&](int K) { return long(D[2 * K]) << 8 | D[2 * K + 1]; };
    if (Type == "PLTE") Plte.assign(D, D + N);
    if (Type == "bKGD" && N == 1)
      return std::array<long, 3>{Plte[3 * D[0]], Plte[3 * D[0] + 1], Plte[3 * D[0] + 2]};
    if (Type == "bKGD" && N == 2) return std::array<long, 3>{U16(0), U16(0), U16(0)};
    if (Type == "bKGD" && N == 6) return std::array<long, 3>{U16(0), U16(1), U16(2)};
    P += N + 12;
  }
  return std::nullopt;
}

struct PngTest : ::testing::Test {
  void TearDown() override { SetEnginePrompt(nullptr); }
};

} // namespace

// The references hold RGBA samples without gamma. The engine has no alpha: the reader
// composites every pixel onto the file's bKGD (black, the default BackGroundColor, without
// one), at the file's precision, and keeps the high byte of 16-bit results. The expected colour
// is that composition of the reference: round((v * a + bg * (max - a)) / max).
TEST_F(PngTest, CorpusMatchesPngSuiteReferences) {
  if (CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  TReadOptions NoGamma;
  NoGamma.GammaCorrectionOnRead = false;
  int Compared = 0, Refused = 0;
  for (const auto& E : ManifestFor("PNG")) {
    if (!E.Path.starts_with("pngsuite/")) { // others have no exact references: load or fail
      TPixelGraphic G;
      G.ReadWarningAction = pgwaIgnore;
      try {
        G.LoadFromFile(CorpusDir() + "/" + E.Path, NoGamma);
      } catch (const EPGUnknownFileFormat&) {
        EXPECT_EQ(E.Category, "invalid") << E.Path;
      } catch (const EPixelGraphic& X) {
        EXPECT_NE(E.Category, "valid") << E.Path << ": " << X.what();
        EXPECT_TRUE(std::string(X.what()).starts_with("PNG: ")) << E.Path << ": " << X.what();
      }
      continue;
    }
    const std::string Name = E.Path.substr(E.Path.rfind('/') + 1);
    const Bytes File = ReadFileBytes(CorpusDir() + "/" + E.Path);
    TPixelGraphic G;
    G.ReadWarningAction = pgwaIgnore;
    if (Name[0] == 'x') { // through the reader: a broken signature is nobody's format
      TPGMemoryStream S(File.data(), File.size());
      std::string Error;
      try {
        TPNGFileFormatReader().ReadGraphic(S, G, 0);
      } catch (const EPGPNGFileFormatReaderWriter& X) {
        Error = X.what();
      }
      EXPECT_TRUE(Error.starts_with("PNG: ")) << Name << " gave \"" << Error << "\"";
      ++Refused;
      continue;
    }
    ASSERT_EQ(LoadError(G, File, NoGamma), "") << Name;
    const int Type = Name[4] - '0', Depth = std::stoi(Name.substr(6, 2));
    EXPECT_EQ(G.BitCountNum(), Type & 2 && Type != 3 ? 3
                               : Depth == 1          ? 0
                               : Depth <= 4          ? 1
                                                     : 2)
        << Name;
    if (!(Type & 2)) {
      EXPECT_EQ(G.PaletteKind(), Depth == 1   ? pBlackWhite
                                 : Depth == 2 ? pGray4
                                 : Depth == 4 ? pGray16
                                              : pGray256)
          << Name;
    }

    const auto Ref = ReadJsonNumbers(CorpusDir() + "/pngsuite/json/" + Name.substr(0, 8) + ".json");
    ASSERT_EQ(Ref.size(), size_t(G.Width()) * G.Height() * 4) << Name;
    const bool Wide = *std::max_element(Ref.begin(), Ref.end()) > 255;
    const long Max = Wide ? 65535 : 255;
    auto Bg = FileBackground(File).value_or(std::array<long, 3>{0, 0, 0});
    if (!Wide && Depth < 8 && !(Type & 2)) // low-depth grey bKGD is in sample units
      for (auto& C : Bg)
        C = C * 255 / ((1 << Depth) - 1);
    int64_t Bad = 0;
    for (int Y = 0; Y < G.Height(); ++Y)
      for (int X = 0; X < G.Width(); ++X) {
        const long* Px = &Ref[(size_t(Y) * G.Width() + X) * 4];
        const TRGB Got = G.GetPixelColor(X, Y);
        const unsigned Have[3] = {RedOf(Got), GreenOf(Got), BlueOf(Got)};
        for (int C = 0; C < 3; ++C) {
          long V = (Px[C] * Px[3] + Bg[C] * (Max - Px[3]) + Max / 2) / Max;
          if (Wide) V >>= 8;
          Bad += long(Have[C]) != V;
        }
      }
    EXPECT_EQ(Bad, 0) << Name;
    ++Compared;
  }
  EXPECT_GE(Compared, 110);
  EXPECT_GE(Refused, 10);
  std::printf("PngSuite: %d compared, %d corrupt files refused\n", Compared, Refused);
}

TEST_F(PngTest, TransparencyIsCompositedOntoTheBackground) {
  auto Rgba = [](int Depth, std::optional<png_color_16> Bk) {
    const unsigned Max = (1u << Depth) - 1;
    Layout S(PNG_COLOR_TYPE_RGB_ALPHA, Depth);
    S.Background = Bk;
    return MakePNG(
        S, [=](int X, int Y, int C) { return C == 3 ? (X == 0 && Y == 0 ? 0 : Max) : Max / 2; });
  };
  Layout P(PNG_COLOR_TYPE_PALETTE, 8);
  P.Palette = {{1, 2, 3}, {40, 50, 60}, {7, 8, 9}};
  P.TransAlpha = {0};
  P.Background = Colour16(0, 0, 0, 0, 1);
  const Bytes PaletteFile = MakePNG(P, [](int X, int Y, int) { return X == 0 && Y == 0 ? 0 : 2; });
  Layout Gr(PNG_COLOR_TYPE_GRAY, 8);
  Gr.TransColor = Grey16(9);
  Gr.Background = Grey16(77);
  const Bytes GreyFile = MakePNG(Gr, [](int X, int Y, int) { return X == 0 && Y == 0 ? 9 : 200; });
  Layout Low(PNG_COLOR_TYPE_GRAY, 4); // bKGD and tRNS in 4-bit sample units
  Low.TransColor = Grey16(3);
  Low.Background = Grey16(5);
  const Bytes LowFile = MakePNG(Low, [](int X, int Y, int) { return X == 0 && Y == 0 ? 3 : 12; });
  const Bytes GreyAlpha16 = MakePNG(Layout(PNG_COLOR_TYPE_GRAY_ALPHA, 16), [](int X, int Y, int C) {
    return C == 1 ? (X == 0 && Y == 0 ? 0 : 65535) : 40000;
  });
  struct Case {
    Bytes File;
    bool UseFile;
    TRGB Picture, Want;
  } Cases[] = {
      {Rgba(8, std::nullopt), true, 0, 0},
      {Rgba(8, std::nullopt), true, RGBOf(200, 100, 50), RGBOf(200, 100, 50)},
      {Rgba(8, Colour16(10, 20, 30)), true, 0, RGBOf(10, 20, 30)}, // not divided
      {Rgba(8, Colour16(10, 20, 30)), false, RGBOf(200, 100, 50), RGBOf(200, 100, 50)},
      {Rgba(16, Colour16(0x1234, 0x5678, 0x9ABC)), true, 0, RGBOf(0x12, 0x56, 0x9A)},
      {Rgba(16, std::nullopt), true, RGBOf(200, 100, 50), RGBOf(200, 100, 50)},
      {PaletteFile, true, 0, RGBOf(40, 50, 60)},
      {GreyFile, true, 0, RGBOf(77, 77, 77)},
      {GreyFile, false, RGBOf(90, 90, 90), RGBOf(90, 90, 90)},
      {LowFile, true, 0, RGBOf(85, 85, 85)},
      {GreyAlpha16, true, RGBOf(90, 90, 90), RGBOf(90, 90, 90)},
  };
  for (const auto& C : Cases) {
    TReadOptions Read;
    Read.PNGUseFileBackground = C.UseFile;
    TPixelGraphic G;
    G.SetBackGroundColor(C.Picture);
    Load(G, C.File, Read);
    EXPECT_EQ(G.GetPixelColor(0, 0), C.Want) << &C - Cases;
    EXPECT_NE(G.GetPixelColor(1, 0), C.Want) << &C - Cases;
    // The file's background becomes the picture's; otherwise the picture keeps its own.
    const bool FromFile = C.UseFile && C.Want != C.Picture;
    const TRGB Bg = FromFile && G.BitCountNum() < 3 ? G.GetPaletteEntry(G.BackGroundColor())
                                                    : G.BackGroundColor();
    EXPECT_EQ(Bg, FromFile ? C.Want : C.Picture) << &C - Cases;
  }
}

TEST_F(PngTest, GammaSetsFileGammaAndLoadingCorrectsIt) {
  auto Grey = [](unsigned V) {
    return MakePNG(Layout(PNG_COLOR_TYPE_GRAY, 8), [=](int, int, int) { return V; });
  };
  const Bytes Plain = Grey(128);
  auto Gamma = [&](uint32_t G) {
    return WithChunk(Plain, "gAMA",
                     {uint8_t(G >> 24), uint8_t(G >> 16), uint8_t(G >> 8), uint8_t(G)});
  };
  struct Case {
    Bytes File;
    long double FileGamma;
    int Level; // after correction towards ScreenGamma 1.8
  } Cases[] = {{Plain, 1.8L, 128},
               {Gamma(45455), 1 / 0.45455L, 110}, // round(255 * (128/255)^(2.2/1.8)),
               {Gamma(0), 1.8L, 128},             // no gamma at all: ignored
               {Gamma(0x80000000u), 1.8L, 128}};  // negative as a signed value
  for (const auto& C : Cases) {
    TPixelGraphic Raw, Corrected;
    Raw.ReadWarningAction = Corrected.ReadWarningAction = pgwaIgnore;
    TPGMemoryStream S(C.File.data(), C.File.size());
    TPNGFileFormatReader().ReadGraphic(S, Raw, 0);
    EXPECT_NEAR(double(Raw.FileGamma), double(C.FileGamma), 1e-4);
    Load(Corrected, C.File);
    EXPECT_EQ(int(RedOf(Corrected.GetPixelColor(2, 1))), C.Level);
  }
}

TEST_F(PngTest, TwoBitSamplesWidenToFourBits) {
  auto Value = [](int X, int Y, int) { return unsigned(X * 3 + Y) % 4; };
  for (bool Interlace : {false, true}) {
    for (int Type : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_PALETTE}) {
      Layout S(Type, 2, 13, 9, Interlace);
      if (Type == PNG_COLOR_TYPE_PALETTE) S.Palette = {{9, 9, 9}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
      TPixelGraphic G;
      Load(G, MakePNG(S, Value));
      ASSERT_EQ(G.BitCountNum(), 1);
      if (Type == PNG_COLOR_TYPE_GRAY) {
        EXPECT_EQ(G.PaletteKind(), pGray4);
      }
      for (int Y = 0; Y < 9; ++Y)
        for (int X = 0; X < 13; ++X)
          EXPECT_EQ(G.GetPixelValue(X, Y), Value(X, Y, 0)) << X << "," << Y;
    }
  }
  // An abort keeps the rows read so far in the picture's layout.
  TPixelGraphic G;
  int Ends = 0;
  G.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step == 3; };
  G.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  ASSERT_EQ(LoadError(G, MakePNG(Layout(PNG_COLOR_TYPE_GRAY, 2, 13, 9), Value)), "");
  EXPECT_EQ(Ends, 1);
  for (int X = 0; X < 13; ++X)
    EXPECT_EQ(G.GetPixelValue(X, 3), Value(X, 3, 0)) << X;
  EXPECT_EQ(G.GetPixelValue(5, 8), 0u);
}

TEST_F(PngTest, WriteThenReadEveryDepthAtOddSize) {
  struct Case {
    int Code;
    TPaletteIdent Kind; // pUnknown: an own palette of PaletteCount entries
    int Entries;
    const char* SubType;
    int Bits;
  } Cases[] = {{0, pBlackWhite, 0, "palette", 1}, {0, pUnknown, 2, "palette", 1},
               {1, pGray16, 0, "palette", 4},     {1, pUnknown, 11, "palette", 4},
               {2, pGray256, 0, "GrayScale", 8},  {2, pUnknown, 256, "palette", 8},
               {3, pTrueColor, 0, "RGB", 24}};
  for (const auto& C : Cases) {
    TPixelGraphic G, Back;
    G.SetSize(47, 33, C.Code);
    if (C.Kind == pUnknown) {
      G.SetPaletteCount(C.Entries);
      for (int K = 0; K < C.Entries; ++K)
        G.SetPaletteEntry(K, RGBOf(K * 7, 255 - K, K * 3 % 256));
    } else {
      G.SetPaletteKind(C.Kind);
    }
    const uint32_t Mask = C.Code == 3 ? 0xFFFFFF : C.Code == 0 ? 1 : C.Code == 1 ? 15 : 255;
    for (int Y = 0; Y < 33; ++Y)
      for (int X = 0; X < 47; ++X)
        G.SetPixelValue(X, Y, uint32_t(X * 2654435761u + Y * 40503u) % (Mask + 1));
    TPGMemoryStream S;
    G.SaveToStreamExt(S, "png");
    const TGraphicFileInfo I = InfoOf(S.Bytes());
    EXPECT_EQ(I.SubType, C.SubType) << C.Code << "/" << C.Kind;
    EXPECT_EQ(I.BitsPerPixel, C.Bits) << C.Code << "/" << C.Kind;
    EXPECT_EQ(I.Options, C.Code == 3 || C.Kind == pGray256 ? "(gama)" : "(gama, plte)");
    Load(Back, S.Bytes());
    ASSERT_EQ(Back.BitCountNum(), C.Code);
    // Indices past the palette's end (the 11-entry case) come back in the colour they showed:
    // entry 0's.
    for (int Y = 0; Y < 33; ++Y)
      for (int X = 0; X < 47; ++X) {
        const uint32_t V = G.GetPixelValue(X, Y);
        ASSERT_EQ(Back.GetPixelValue(X, Y), V) << X << "," << Y;
        if (C.Code < 3) {
          ASSERT_EQ(Back.GetPixelColor(X, Y), G.GetPixelColor(X, Y));
        }
      }
  }
  TWriteOptions NoGamma;
  NoGamma.WriteGamma = false;
  TPixelGraphic G;
  G.SetSize(3, 3, 3);
  TPGMemoryStream S;
  G.SaveToStreamExt(S, "png", NoGamma);
  EXPECT_EQ(InfoOf(S.Bytes()).Options, "");

  const TGraphicFileInfo I =
      InfoOf(MakePNG(Layout(6, 8, 5, 3, true), [](int, int, int) { return 7u; }));
  EXPECT_EQ(I.SubType, "RGB, alpha, interlaced");
  EXPECT_EQ(I.Colors, "16.7M?");
  EXPECT_EQ(I.BitsPerPixel, 32);
}

TEST_F(PngTest, WarningsFollowTheWarningAction) {
  const Bytes File =
      WithChunk(MakePNG(Layout(), [](int, int, int) { return 255u; }), "tEXt", {'a', 0, 'b'}, true);
  struct Case {
    TPGWarningAction Action;
    bool Answer;
    const char* Error;
    int Prompts;
  } Cases[] = {{pgwaIgnore, false, "", 0},
               {pgwaOKCancelBox, true, "", 1},
               {pgwaOKCancelBox, false, "PNG: Operation aborted on user request", 1},
               {pgwaRaise, false, "PNG: tEXt: CRC error", 0}};
  for (const auto& C : Cases) {
    int Prompts = 0;
    SetEnginePrompt([&](const std::string& Caption, const std::string&, bool) {
      ++Prompts;
      EXPECT_EQ(Caption, "PNG Warning");
      return C.Answer;
    });
    TPixelGraphic G;
    G.ReadWarningAction = C.Action;
    EXPECT_EQ(LoadError(G, File), C.Error) << C.Action;
    EXPECT_EQ(Prompts, C.Prompts) << C.Action;
  }
  // The file information of a file that loads is never refused for a warning.
  SetEnginePrompt(nullptr);
  EXPECT_EQ(InfoOf(File).Width, 5);
}

// A chunk that declares 2 GB in a file of a few hundred bytes is refused before anything is
// allocated for it, with the PNG reader's error.
TEST_F(PngTest, HugeChunkLengthsFailAtOnceWithoutTheMemory) {
  Bytes F = MakePNG(Layout(), [](int, int, int) { return 9u; });
  F.resize(33); // signature and IHDR
  for (const char* Type : {"tEXt", "zTXt", "iCCP", "abCd"}) {
    Bytes Bomb = F;
    Bomb.insert(Bomb.end(), {0x7D, 0x00, 0x00, 0x06});
    Bomb.insert(Bomb.end(), Type, Type + 4);
    Bomb.insert(Bomb.end(), 200, 'x');
    rusage Before{};
    getrusage(RUSAGE_SELF, &Before);
    TPixelGraphic G;
    G.ReadWarningAction = pgwaIgnore;
    const std::string E = LoadError(G, Bomb);
    rusage After{};
    getrusage(RUSAGE_SELF, &After);
    EXPECT_TRUE(E.starts_with("PNG: ")) << Type << ": " << E;
    EXPECT_NE(E, "PNG: Unexpected end of file") << Type << ": the chunk was read";
    EXPECT_LT(After.ru_maxrss - Before.ru_maxrss, 64 * 1024) << Type << ": kB more at peak";
  }
}

TEST_F(PngTest, HostileFilesFailCleanly) {
  const Bytes Good = MakePNG(Layout(PNG_COLOR_TYPE_RGB_ALPHA, 8, 40, 40),
                             [](int X, int, int) { return unsigned(X); });
  Bytes Huge = MakePNG(Layout(PNG_COLOR_TYPE_RGB_ALPHA, 8, 1, 1), [](int, int, int) { return 1u; });
  Huge.erase(Huge.begin() + 8, Huge.begin() + 33); // IHDR replaced: 100000 x 100000
  Huge = WithChunk(Huge, "IHDR", {0, 1, 0x86, 0xA0, 0, 1, 0x86, 0xA0, 8, 6, 0, 0, 0}, false, 8);
  struct Case {
    Bytes File;
    const char* Error;
    int Ends; // progress end events
  } Cases[] = {{Bytes(Good.begin(), Good.begin() + 20), "PNG: Unexpected end of file", 0},
               {Bytes(Good.begin(), Good.end() - 60), "PNG: ", 1},
               {Huge, "PNG: CreateDIBSection failed", 0}};
  for (const auto& C : Cases) {
    TPixelGraphic G;
    G.ReadWarningAction = pgwaIgnore;
    int Ends = 0;
    G.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
    const std::string E = LoadError(G, C.File);
    EXPECT_TRUE(E.starts_with(C.Error) && E != "") << "got \"" << E << "\", want " << C.Error;
    EXPECT_EQ(Ends, C.Ends) << C.Error;
  }
  TPixelGraphic G;
  TPGMemoryStream S(Good.data(), Good.size());
  try {
    TPNGFileFormatReader().ReadGraphic(S, G, 1);
    ADD_FAILURE() << "index 1 accepted";
  } catch (const EPGPNGFileFormatReaderWriter& E) {
    EXPECT_STREQ(E.what(), "PNG: Index invalid");
  }
}

// ---- image data inflated on a worker thread, and the reduced decode ----

namespace {

using ChunkList = std::vector<std::pair<std::string, Bytes>>;

ChunkList ChunksOf(const Bytes& F) {
  ChunkList C;
  for (size_t P = 8; P + 12 <= F.size();) {
    const size_t N = size_t(F[P]) << 24 | F[P + 1] << 16 | F[P + 2] << 8 | F[P + 3];
    C.emplace_back(std::string(F.begin() + long(P) + 4, F.begin() + long(P) + 8),
                   Bytes(F.begin() + long(P) + 8, F.begin() + long(P + 8 + N)));
    P += N + 12;
  }
  return C;
}

// The file of these chunks, the chunk at BadCRC (an index) with a wrong CRC.
Bytes FileOf(const ChunkList& C, long BadCRC = -1) {
  Bytes F = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (size_t K = 0; K < C.size(); ++K) {
    const auto& [Type, Data] = C[K];
    const size_t At = F.size();
    for (int S = 24; S >= 0; S -= 8)
      F.push_back(uint8_t(Data.size() >> S));
    F.insert(F.end(), Type.begin(), Type.end());
    F.insert(F.end(), Data.begin(), Data.end());
    uLong Crc = crc32(0, F.data() + At + 4, uInt(Data.size() + 4)) ^ (long(K) == BadCRC ? 8 : 0);
    for (int S = 24; S >= 0; S -= 8)
      F.push_back(uint8_t(Crc >> S));
  }
  return F;
}

Bytes ImageData(const ChunkList& C) {
  Bytes Z;
  for (const auto& [Type, Data] : C)
    if (Type == "IDAT") Z.insert(Z.end(), Data.begin(), Data.end());
  return Z;
}

// The chunks with their image data replaced by Z, cut into IDAT chunks of Piece bytes.
ChunkList WithImageData(const ChunkList& C, const Bytes& Z, size_t Piece) {
  ChunkList Out;
  bool Done = false;
  for (const auto& Ch : C) {
    if (Ch.first != "IDAT") {
      Out.push_back(Ch);
      continue;
    }
    if (Done) continue;
    Done = true;
    for (size_t P = 0; P < Z.size(); P += Piece)
      Out.emplace_back("IDAT",
                       Bytes(Z.begin() + long(P), Z.begin() + long(std::min(Z.size(), P + Piece))));
  }
  return Out;
}

Bytes Inflated(const Bytes& Z) {
  z_stream S{};
  inflateInit(&S);
  Bytes Out(1 << 16);
  S.next_in = const_cast<Bytef*>(Z.data());
  S.avail_in = uInt(Z.size());
  size_t Have = 0;
  for (;;) {
    S.next_out = Out.data() + Have;
    S.avail_out = uInt(Out.size() - Have);
    const int R = inflate(&S, Z_NO_FLUSH);
    Have = Out.size() - S.avail_out;
    if (R != Z_OK) break;
    if (S.avail_out == 0) Out.resize(Out.size() * 2);
  }
  inflateEnd(&S);
  Out.resize(Have);
  return Out;
}

Bytes Deflated(const Bytes& D) {
  uLongf N = compressBound(uLong(D.size()));
  Bytes Z(N);
  compress2(Z.data(), &N, D.data(), uLong(D.size()), 6);
  Z.resize(N);
  return Z;
}

size_t IndexOf(const ChunkList& C, const std::string& Type, int Nth = 0) {
  for (size_t K = 0; K < C.size(); ++K)
    if (C[K].first == Type && Nth-- == 0) return K;
  return C.size();
}

// The worker runs of the readings Decode makes.
TPNGDecodeStats DecodeStats;

// Everything a reading shows: the error, the warnings, the progress events (-1 start, -2 end,
// otherwise the step), and the picture.
struct Outcome {
  std::string Error;
  std::vector<std::string> Warnings;
  std::vector<long> Events;
  int W = 0, H = 0, Code = 0, FullW = 0, FullH = 0;
  Bytes Pixels;
  std::vector<TRGB> Palette;
  uint32_t Background = 0;
  double Gamma = 0;
};

Outcome Decode(const Bytes& F, int Threads, long AbortAt = -2, int Reduced = 0,
               TPGWarningAction Action = pgwaOKBox) {
  TReadOptions Read;
  Read.PNGDecodeThreads = Threads;
  Read.PNGDecodeStats = &DecodeStats;
  Outcome O;
  SetEnginePrompt([&](const std::string&, const std::string& Text, bool) {
    O.Warnings.push_back(Text);
    return true;
  });
  TPixelGraphic G;
  G.ReadWarningAction = Action;
  G.ReducedSize = Reduced;
  G.SetBackGroundColor(RGBOf(20, 140, 220));
  G.OnProgressStart = [&](TPixelGraphic*) { O.Events.push_back(-1); };
  G.OnProgress = [&](TPixelGraphic*, int Step, bool& Abort, int) {
    O.Events.push_back(Step);
    Abort = Step == AbortAt;
  };
  G.OnProgressEnd = [&](TPixelGraphic*) { O.Events.push_back(-2); };
  try {
    Load(G, F, Read);
  } catch (const EPixelGraphic& E) {
    O.Error = E.what();
  }
  SetEnginePrompt(nullptr);
  O.W = G.Width(), O.H = G.Height(), O.Code = G.BitCountNum();
  O.FullW = G.FullWidth, O.FullH = G.FullHeight;
  for (int Y = 0; Y < G.Height(); ++Y)
    O.Pixels.insert(O.Pixels.end(), G.ScanLine(Y), G.ScanLine(Y) + G.RowBytes());
  for (int K = 0; K < G.PaletteCount(); ++K)
    O.Palette.push_back(G.GetPaletteEntry(K));
  O.Background = G.BackGroundColor();
  O.Gamma = double(G.FileGamma);
  return O;
}

std::string Joined(const std::vector<std::string>& V) {
  std::string S;
  for (const auto& T : V)
    S += "[" + T + "]";
  return S;
}

// The threaded reading of F shows exactly what the one-thread reading shows.
void ExpectSameReading(const Bytes& F, const std::string& Label, long AbortAt = -2,
                       TPGWarningAction Action = pgwaOKBox) {
  const Outcome A = Decode(F, 1, AbortAt, 0, Action), B = Decode(F, 2, AbortAt, 0, Action);
  EXPECT_EQ(A.Error, B.Error) << Label;
  EXPECT_EQ(Joined(A.Warnings), Joined(B.Warnings)) << Label;
  EXPECT_EQ(A.Events, B.Events) << Label;
  EXPECT_EQ(A.W, B.W) << Label;
  EXPECT_EQ(A.H, B.H) << Label;
  EXPECT_EQ(A.Code, B.Code) << Label;
  EXPECT_TRUE(A.Pixels == B.Pixels) << Label;
  EXPECT_EQ(A.Palette, B.Palette) << Label;
  EXPECT_EQ(A.Background, B.Background) << Label;
  EXPECT_EQ(A.Gamma, B.Gamma) << Label;
}

struct Kind {
  int Type, Depth;
};
constexpr Kind kKinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                           {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

// A file of the kind with photo-like samples, so that every filter has work to do.
Bytes KindFile(const Kind& K, int W, int H, bool Interlace, int Filter, size_t IdatSize,
               int Extras) {
  Layout S(K.Type, K.Depth, W, H, Interlace);
  S.Filter = Filter;
  S.IdatSize = IdatSize;
  const unsigned Max = (1u << K.Depth) - 1;
  if (K.Type == PNG_COLOR_TYPE_PALETTE) {
    for (unsigned E = 0; E <= Max; ++E)
      S.Palette.push_back({png_byte(E * 37), png_byte(255 - E * 11), png_byte(E * E)});
    if (Extras & 1) S.TransAlpha = {0, 128};
  } else if (Extras & 1 && !(K.Type & PNG_COLOR_MASK_ALPHA)) {
    S.TransColor = Colour16(3 & Max, 5 & Max, 7 & Max, 3 & Max);
  }
  if (Extras & 2) S.Background = Colour16(1 & Max, 2 & Max, 3 & Max, 1 & Max, 1);
  if (Extras & 4) S.Gamma = 0.45455;
  return MakePNG(S, [=](int X, int Y, int C) {
    const unsigned V = unsigned(X * 37 + Y * 91 + C * 53 + (X * Y) % 13 + (X ^ Y) * 3);
    return (K.Depth == 16 ? V * 257 : V) & Max;
  });
}

} // namespace

TEST_F(PngTest, ThreadedDecodeMatchesTheOneThreadDecode) {
  const int Filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB,   PNG_FILTER_UP,
                         PNG_FILTER_AVG,  PNG_FILTER_PAETH, PNG_ALL_FILTERS};
  DecodeStats.Piped = 0;
  DecodeStats.Repeated = 0;
  int Files = 0, N = 0;
  for (const Kind& K : kKinds)
    for (bool Interlace : {false, true})
      for (int Filter : Filters) {
        const int W = 1 + (N * 7) % 33, H = 1 + (N * 5) % 17;
        const Bytes F = KindFile(K, W, H, Interlace, Filter, N % 3 ? 8192 : 61, N % 8);
        ExpectSameReading(F, std::to_string(K.Type) + "/" + std::to_string(K.Depth) + " " +
                                 std::to_string(W) + "x" + std::to_string(H) +
                                 (Interlace ? " interlaced" : "") + " filter " +
                                 std::to_string(Filter) + " extras " + std::to_string(N % 8));
        ++N, ++Files;
      }
  // Several stored blocks, and pictures of exactly one and two of them (4369 bytes a row).
  for (bool Interlace : {false, true}) {
    ExpectSameReading(KindFile({6, 8}, 1500, 31, Interlace, PNG_ALL_FILTERS, 5000, 3), "wide");
    ExpectSameReading(KindFile({2, 16}, 700, 40, Interlace, PNG_FILTER_PAETH, 100000, 4), "wide");
    Files += 2;
  }
  ExpectSameReading(KindFile({0, 8}, 4368, 15, false, PNG_FILTER_SUB, 8192, 0), "one block");
  ExpectSameReading(KindFile({0, 8}, 4368, 30, false, PNG_FILTER_UP, 8192, 0), "two blocks");
  Files += 2;
  // Every regular file went through the worker once, none needed a second decoding.
  EXPECT_EQ(DecodeStats.Piped, Files);
  EXPECT_EQ(DecodeStats.Repeated, 0);
}

// Damaged image data, odd chunk orders and aborts give the same error or warnings, the same
// progress events and the same rows as the one-thread reading (which decodes as libpng always
// has). The threaded reading meets these in its worker and decodes the file again.
TEST_F(PngTest, ThreadedDecodeOfDamagedFilesMatchesTheOneThreadDecode) {
  DecodeStats.Piped = 0;
  DecodeStats.Repeated = 0;
  struct Base {
    const char* Name;
    Bytes File;
  } Bases[] = {{"rgba", KindFile({6, 8}, 200, 300, false, PNG_ALL_FILTERS, 0, 2)},
               {"grey16 interlaced", KindFile({0, 16}, 90, 130, true, PNG_ALL_FILTERS, 0, 4)}};
  for (const Base& B : Bases) {
    const ChunkList C0 = ChunksOf(B.File);
    const Bytes Z = ImageData(C0);
    const Bytes Filtered = Inflated(Z);
    const size_t RowLength = Filtered.size() / 300; // rows of the non-interlaced base
    const ChunkList C = WithImageData(C0, Z, 5000);
    const size_t First = IndexOf(C, "IDAT"), Count = IndexOf(C, "IEND") - First;
    const size_t Last = First + Count - 1;
    std::vector<std::pair<std::string, Bytes>> Files;
    auto Add = [&](const std::string& Name, const Bytes& F) { Files.emplace_back(Name, F); };
    auto Damaged = [&](Bytes D) { return FileOf(WithImageData(C, D, 5000)); };

    Add("regular", FileOf(C));
    for (size_t K : {First, First + Count / 2, Last})
      Add("bad CRC in IDAT " + std::to_string(K), FileOf(C, long(K)));
    const Bytes Whole = FileOf(C);
    size_t IdatStart = 8 + 8; // the first IDAT's data
    for (size_t K = 0; K < First; ++K)
      IdatStart += 12 + C[K].second.size();
    for (size_t Cut :
         {IdatStart + 100, IdatStart + 8191, IdatStart + 8192, IdatStart + 8193, IdatStart + 20000,
          Whole.size() - 40, Whole.size() - 14, Whole.size() - 12, Whole.size() - 5})
      Add("cut at " + std::to_string(Cut), Bytes(Whole.begin(), Whole.begin() + long(Cut)));
    for (size_t At : {size_t(0), size_t(1), size_t(2), Z.size() / 3, Z.size() / 2, Z.size() - 6,
                      Z.size() - 5, Z.size() - 1}) {
      Bytes D = Z;
      D[At] ^= 0x5A;
      Add("deflate byte " + std::to_string(At), Damaged(D));
    }
    Bytes Extra = Z;
    Extra.insert(Extra.end(), {1, 2, 3});
    Add("bytes after the deflate stream", Damaged(Extra));
    for (bool Empty : {false, true}) {
      ChunkList More = C;
      More.insert(More.begin() + long(Last) + 1, {"IDAT", Empty ? Bytes() : Bytes{1, 2, 3}});
      Add(Empty ? "empty IDAT after the data" : "IDAT after the data", FileOf(More));
    }
    ChunkList Empty = C;
    Empty.insert(Empty.begin() + long(First) + 2, {"IDAT", {}});
    Empty.insert(Empty.begin() + long(First), {"IDAT", {}});
    Add("empty IDATs first and among the data", FileOf(Empty));
    ChunkList Between = C;
    Between.insert(Between.begin() + long(First) + 1, {"tEXt", {'a', 0, 'b'}});
    Add("text between IDATs", FileOf(Between));
    Add("one byte short", Damaged(Deflated(Bytes(Filtered.begin(), Filtered.end() - 1))));
    Add("one row short",
        Damaged(Deflated(Bytes(Filtered.begin(), Filtered.end() - long(RowLength)))));
    Bytes Longer = Filtered;
    Longer.push_back(0);
    Add("one byte too many", Damaged(Deflated(Longer)));
    Longer.resize(Filtered.size() + RowLength);
    Add("one row too many", Damaged(Deflated(Longer)));
    for (size_t Row : {size_t(0), size_t(150), size_t(299)}) {
      Bytes Bad = Filtered;
      Bad[Row * RowLength] = 7;
      Add("bad filter in row " + std::to_string(Row), Damaged(Deflated(Bad)));
    }
    for (const char* Tail : {"tEXt", "zTXt", "ABCD", "tIME"}) {
      ChunkList T = C;
      T.insert(T.begin() + long(Last) + 1, {Tail, {'k', 0, 0, 'x', 'y'}});
      Add(std::string(Tail) + " after the data", FileOf(T));
      Add(std::string(Tail) + " with a bad CRC after the data", FileOf(T, long(Last) + 1));
    }
    ChunkList NoEnd = C;
    NoEnd.pop_back();
    Add("no IEND", FileOf(NoEnd));
    Add("no IHDR", FileOf(ChunkList(C.begin() + 1, C.end())));
    ChunkList Zero = C;
    std::fill(Zero[0].second.begin(), Zero[0].second.begin() + 4, 0);
    Add("zero width", FileOf(Zero));

    for (const auto& [Name, F] : Files) {
      ExpectSameReading(F, std::string(B.Name) + ": " + Name);
      ExpectSameReading(F, std::string(B.Name) + ": " + Name + " (raise)", -2, pgwaRaise);
    }
    for (long Abort : {0L, 1L, 150L, 299L})
      ExpectSameReading(FileOf(C), std::string(B.Name) + ": abort at " + std::to_string(Abort),
                        Abort);
  }

  // Palette indices past the PLTE entries, in an interlaced file.
  Layout S(PNG_COLOR_TYPE_PALETTE, 8, 300, 200, true);
  S.Palette = {{1, 2, 3}, {4, 5, 6}};
  S.Filter = PNG_FILTER_NONE;
  const ChunkList P = ChunksOf(MakePNG(S, [](int, int, int) { return 0u; }));
  Bytes Rows = Inflated(ImageData(P));
  Rows[Rows.size() - 1] = 9;
  ExpectSameReading(FileOf(WithImageData(P, Deflated(Rows), 4000)), "palette index");
  // Most damage is met by the worker and the file decoded again; damage after the image data is
  // met by libpng on the calling thread.
  EXPECT_GE(DecodeStats.Repeated, 2 * 2 * 24);
}

// The worker reads a file on disk as well as a memory block, also one cut short.
TEST_F(PngTest, ThreadedDecodeReadsFiles) {
  const Bytes F = KindFile({2, 8}, 640, 480, false, PNG_ALL_FILTERS, 30000, 0);
  const std::string Path = testing::TempDir() + "/threaded.png", Cut = Path + ".cut.png";
  std::ofstream(Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(F.data()), long(F.size()));
  std::ofstream(Cut, std::ios::binary)
      .write(reinterpret_cast<const char*>(F.data()), long(F.size() / 2));
  for (const std::string& Name : {Path, Cut}) {
    std::string Errors[2];
    Bytes Pixels[2];
    for (int T : {1, 2}) {
      TReadOptions Read;
      Read.PNGDecodeThreads = T;
      TPixelGraphic G;
      try {
        G.LoadFromFile(Name, Read);
      } catch (const EPixelGraphic& E) {
        Errors[T - 1] = E.what();
      }
      for (int Y = 0; Y < G.Height(); ++Y)
        Pixels[T - 1].insert(Pixels[T - 1].end(), G.ScanLine(Y), G.ScanLine(Y) + G.RowBytes());
    }
    EXPECT_EQ(Errors[0], Errors[1]) << Name;
    EXPECT_EQ(Errors[0].empty(), Name == Path) << Errors[0];
    EXPECT_TRUE(Pixels[0] == Pixels[1]) << Name;
  }
  std::remove(Path.c_str());
  std::remove(Cut.c_str());
}

// A reduced decode of an Adam7 file reads only the first passes: every 8th, 4th or 2nd pixel
// of every 8th, 4th or 2nd row, the smallest picture whose sides are at least the stored ones
// times ReducedSize / the longer stored side. Other files, and ReducedSize 0, decode in full.
TEST_F(PngTest, ReducedDecodeReadsTheFirstPassesOfInterlacedFiles) {
  const Kind Kinds[] = {{2, 8}, {6, 16}, {3, 2}, {0, 1}, {0, 4}, {4, 8}, {3, 8}};
  const std::pair<int, int> Sizes[] = {{37, 23}, {100, 64}, {9, 1}, {1, 9}, {8, 8}, {5, 3}};
  for (const Kind& K : Kinds)
    for (auto [W, H] : Sizes)
      for (int Reduced : {0, 1, 4, 5, 12, 13, 26, 50, 100}) {
        const std::string Label = std::to_string(K.Type) + "/" + std::to_string(K.Depth) + " " +
                                  std::to_string(W) + "x" + std::to_string(H) + " to " +
                                  std::to_string(Reduced);
        const Bytes F = KindFile(K, W, H, true, PNG_ALL_FILTERS, 0, 3);
        const Outcome Full = Decode(F, 1);
        const Outcome Small = Decode(F, 2, -2, Reduced);
        ASSERT_EQ(Small.Error, "") << Label;
        EXPECT_EQ(Small.FullW, W) << Label;
        EXPECT_EQ(Small.FullH, H) << Label;
        const int Side = std::max(W, H);
        EXPECT_LE(Small.W, W) << Label;
        EXPECT_LE(Small.H, H) << Label;
        if (Reduced > 0 && Reduced <= Side) {
          EXPECT_GE(Small.W * Side, W * Reduced) << Label;
          EXPECT_GE(Small.H * Side, H * Reduced) << Label;
        }
        int F8 = 1;
        for (int Fac : {8, 4, 2})
          if (Reduced > 0 && ((W + Fac - 1) / Fac) * Side >= W * Reduced &&
              ((H + Fac - 1) / Fac) * Side >= H * Reduced) {
            F8 = Fac;
            break;
          }
        EXPECT_EQ(Small.W, (W + F8 - 1) / F8) << Label;
        EXPECT_EQ(Small.H, (H + F8 - 1) / F8) << Label;
        if (F8 == 1) {
          EXPECT_TRUE(Small.Pixels == Full.Pixels) << Label;
          continue;
        }
        EXPECT_EQ(Small.Palette, Full.Palette) << Label;
        EXPECT_EQ(Small.Events.front(), -1);
        EXPECT_EQ(Small.Events.back(), -2);
        // Each pixel is the stored one at (F x, F y).
        TPixelGraphic A, B;
        A.SetSize(Full.W, Full.H, Full.Code);
        B.SetSize(Small.W, Small.H, Small.Code);
        for (int Y = 0; Y < Full.H; ++Y)
          std::memcpy(A.ScanLine(Y), Full.Pixels.data() + Y * A.RowBytes(), size_t(A.RowBytes()));
        for (int Y = 0; Y < Small.H; ++Y)
          std::memcpy(B.ScanLine(Y), Small.Pixels.data() + Y * B.RowBytes(), size_t(B.RowBytes()));
        for (int Y = 0; Y < Small.H; ++Y)
          for (int X = 0; X < Small.W; ++X)
            ASSERT_EQ(B.GetPixelValue(X, Y), A.GetPixelValue(X * F8, Y * F8))
                << Label << " at " << X << "," << Y;
      }
  // Non-interlaced files are decoded in full.
  const Bytes Plain = KindFile({2, 8}, 120, 80, false, PNG_ALL_FILTERS, 0, 0);
  const Outcome A = Decode(Plain, 1), B = Decode(Plain, 1, -2, 10);
  EXPECT_EQ(B.W, 120);
  EXPECT_EQ(B.FullW, 120);
  EXPECT_TRUE(A.Pixels == B.Pixels);
}
