// TIFF files read through libtiff: every compression, layout and depth tiffcp and ImageMagick
// write, compared with ImageMagick's decode of the same file and with the engine's own reading
// of the uncompressed twin; pages, orientation, file information, the pixel limit, damaged and
// hostile files, and the corpus files.
#include "engine/formats/tiff.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

using namespace orbisk;
using namespace orbisk::test;

namespace {

bool Shell(const std::string& Command) {
  return std::system((Command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveTools() {
  return Shell("command -v tiffcp") && Shell("command -v tiffset") && Shell("command -v convert");
}

// "" when the file loads, else the error text.
std::string Read(const std::vector<uint8_t>& Data, TPixelGraphic& G, int Index = 0,
                 const TReadOptions& Options = {}) {
  TPGMemoryStream S(Data.data(), Data.size());
  try {
    TTIFFileFormatReader().ReadGraphic(S, G, Index, Options);
  } catch (const EPixelGraphic& E) {
    return E.what();
  }
  return "";
}

std::string ReadFile(const std::string& Path, TPixelGraphic& G, int Index = 0,
                     const TReadOptions& Options = {}) {
  return Read(ReadFileBytes(Path), G, Index, Options);
}

TGraphicFileInfo Info(const std::string& Path, int Index = 0) {
  const auto Data = ReadFileBytes(Path);
  TPGMemoryStream S(Data.data(), Data.size());
  TGraphicFileInfo I;
  TTIFFileFormatReader().GetInfo(S, Index, I);
  return I;
}

// The files every test of this suite reads, written once from one small picture (61 x 43, odd
// sizes so that rows, tiles and strips end part-way).
class TIFFLibraryTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!HaveTools()) return;
    Dir = TempPath("tifflib");
    Shell("mkdir -p " + Dir);
    const int W = 61, H = 43;
    std::string Ppm = "P6\n61 43\n255\n", Pam = "P7\nWIDTH 61\nHEIGHT 43\nDEPTH 4\nMAXVAL 255\n"
                                                "TUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::string Flipped = Ppm;
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        const unsigned char R = uint8_t(X * 4), G = uint8_t(Y * 6), B = uint8_t((X * Y) % 251);
        Ppm += {char(R), char(G), char(B)};
        Pam += {char(R), char(G), char(B), char((X + Y) % 3 == 0 ? 0 : X * 255 / 60)};
        Flipped += {char(B), char(255 - R), char(G)};
      }
    WriteFileBytes(Dir + "/base.ppm", std::vector<uint8_t>(Ppm.begin(), Ppm.end()));
    WriteFileBytes(Dir + "/alpha.pam", std::vector<uint8_t>(Pam.begin(), Pam.end()));
    WriteFileBytes(Dir + "/other.ppm", std::vector<uint8_t>(Flipped.begin(), Flipped.end()));
    const std::string In = Dir + "/base.ppm", Base = Dir + "/base.tif";
    const std::vector<std::pair<std::string, std::string>> Commands = {
        {"base", "convert " + In + " -compress none " + Base},
        {"none", "tiffcp -c none " + Base},
        {"lzw", "tiffcp -c lzw -r 4 " + Base},
        {"lzwpredictor", "tiffcp -c lzw:2 " + Base},
        {"zip", "tiffcp -c zip " + Base},
        {"packbits", "tiffcp -c packbits " + Base},
        {"bigtiff", "tiffcp -8 -c zip " + Base},
        {"jpeg", "tiffcp -c jpeg:90 " + Base},
        {"tiled", "tiffcp -t -w 16 -l 16 -c lzw " + Base},
        {"planar", "tiffcp -p separate -c zip " + Base},
        {"tiledplanar", "tiffcp -t -w 32 -l 16 -p separate " + Base},
        {"depth16", "convert " + In + " -depth 16 -compress zip"},
        {"float",
         "convert " + In + " -define quantum:format=floating-point -depth 32 -compress zip"},
        {"cmyk", "convert " + In + " -colorspace CMYK -compress lzw"},
        {"alpha", "convert " + Dir + "/alpha.pam -alpha on -compress zip"},
        {"alphanone", "convert " + Dir + "/alpha.pam -alpha on -compress none"},
        {"grey", "convert " + In + " -colorspace Gray -compress lzw"},
        {"grey16", "convert " + In + " -colorspace Gray -depth 16 -compress zip"},
        {"grey4", "convert " + In + " -colorspace Gray -depth 4 -compress lzw"},
        {"grey2", "convert " + In + " -colorspace Gray -depth 2 -compress zip"},
        {"bilevel", "convert " + In +
                        " -colorspace Gray -threshold 40% -type Bilevel -compress "
                        "Group4"},
        {"palette", "convert " + In + " -colors 200 -type Palette -compress lzw"},
        {"multi", "convert " + In + " " + Dir + "/other.ppm " + In + " -compress lzw"},
    };
    for (const auto& [Name, Command] : Commands) {
      const std::string Out = Dir + "/" + Name + ".tif";
      if (Name == "base" ? Shell(Command) : Shell(Command + " " + Out)) continue;
      Failed = Name;
      return;
    }
    // Made from the others.
    if (!Shell("tiffcp -c none " + Dir + "/cmyk.tif " + Dir + "/cmyknone.tif") ||
        !Shell("tiffcp -c g3 " + Dir + "/bilevel.tif " + Dir + "/fax3.tif") ||
        !Shell("tiffcp -c lzw " + Base + " " + Dir + "/turned.tif") ||
        !Shell("tiffset -s 274 6 " + Dir + "/turned.tif"))
      Failed = "derived files";
  }

  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "tiffcp, tiffset or ImageMagick's convert not installed";
    ASSERT_EQ(Failed, "") << "writing the test files failed";
  }

  static std::string Path(const std::string& Name) { return Dir + "/" + Name + ".tif"; }

  // ImageMagick's decode, flattened onto black (the picture's default background).
  static RGBAImage Reference(const std::string& Name, int Page = 0) {
    const std::string Raw = Dir + "/" + Name + ".rgb";
    RGBAImage R;
    EXPECT_TRUE(Shell("convert '" + Path(Name) + "[" + std::to_string(Page) +
                      "]' -background black -flatten -depth 8 rgb:" + Raw));
    const auto Bytes = ReadFileBytes(Raw);
    TPixelGraphic P;
    EXPECT_EQ(ReadFile(Path(Name), P, Page), "");
    R.Width = P.Width();
    R.Height = P.Height();
    R.Pixels.resize(size_t(R.Width) * R.Height * 4);
    if (Bytes.size() * 4 != R.Pixels.size() * 3) {
      ADD_FAILURE() << Name << ": reference of " << Bytes.size() << " bytes";
      return R;
    }
    for (size_t I = 0, J = 0; I < Bytes.size(); I += 3, J += 4) {
      std::memcpy(&R.Pixels[J], &Bytes[I], 3);
      R.Pixels[J + 3] = 255;
    }
    return R;
  }

  static inline std::string Dir, Failed;
};

TEST_F(TIFFLibraryTest, EveryLayoutMatchesImageMagicksDecode) {
  // File, tolerance per channel (JPEG: the two decoders' rounding; 16-bit: ImageMagick rounds
  // where the reader keeps the high byte, as the PNG reader does; palette: 16-bit colour maps
  // are cut to 8 bits the same way), depth code.
  const std::vector<std::tuple<std::string, int, int>> Cases = {
      {"lzw", 0, 3},     {"lzwpredictor", 0, 3}, {"zip", 0, 3},       {"packbits", 0, 3},
      {"jpeg", 3, 3},    {"tiled", 0, 3},        {"planar", 0, 3},    {"tiledplanar", 0, 3},
      {"depth16", 1, 3}, {"alpha", 1, 3},        {"alphanone", 1, 3}, {"grey", 0, 2},
      {"grey16", 1, 2},  {"grey4", 0, 1},        {"grey2", 0, 1},     {"bilevel", 0, 0},
      {"fax3", 0, 0},    {"palette", 1, 2},      {"multi", 0, 3},     {"bigtiff", 0, 3},
      {"float", 1, 3},
  };
  for (const auto& [Name, Tolerance, Code] : Cases) {
    TPixelGraphic P;
    ASSERT_EQ(ReadFile(Path(Name), P), "") << Name;
    EXPECT_EQ(P.BitCountNum(), Code) << Name;
    EXPECT_EQ(CountDifferences(ToRGBA(P), Reference(Name), false, Tolerance), 0) << Name;
  }
}

TEST_F(TIFFLibraryTest, CompressedFilesGiveTheSamePictureAsTheirUncompressedTwin) {
  TPixelGraphic Plain, CMYKPlain;
  ASSERT_EQ(ReadFile(Path("none"), Plain), "");
  ASSERT_EQ(ReadFile(Path("cmyknone"), CMYKPlain), "");
  const std::vector<std::pair<std::string, const TPixelGraphic*>> Cases = {
      {"lzw", &Plain},    {"lzwpredictor", &Plain}, {"zip", &Plain},      {"tiled", &Plain},
      {"planar", &Plain}, {"tiledplanar", &Plain},  {"cmyk", &CMYKPlain}, // the same CMYK
                                                                          // conversion for every
                                                                          // compression
  };
  for (const auto& [Name, Twin] : Cases) {
    TPixelGraphic P;
    ASSERT_EQ(ReadFile(Path(Name), P), "") << Name;
    ASSERT_EQ(P.Width(), Twin->Width());
    ASSERT_EQ(P.Height(), Twin->Height());
    for (int Y = 0; Y < P.Height(); ++Y)
      ASSERT_EQ(std::memcmp(P.ScanLine(Y), Twin->ScanLine(Y), size_t(P.Width()) * 3), 0)
          << Name << " row " << Y;
  }
  // Grey and bilevel files keep the engine's palettes.
  TPixelGraphic G;
  ASSERT_EQ(ReadFile(Path("grey"), G), "");
  EXPECT_EQ(G.PaletteKind(), pGray256);
  ASSERT_EQ(ReadFile(Path("grey4"), G), "");
  EXPECT_EQ(G.PaletteKind(), pGray16);
  ASSERT_EQ(ReadFile(Path("bilevel"), G), "");
  EXPECT_EQ(G.PaletteKind(), pBlackWhite);
}

TEST_F(TIFFLibraryTest, AlphaIsCompositedOntoThePicturesBackground) {
  const auto Data = ReadFileBytes(Path("alphanone"));
  TPixelGraphic White;
  White.SetBackGroundColor(0xFFFFFF);
  ASSERT_EQ(Read(Data, White), "");
  // (0, 0) is fully transparent, (60, 1) opaque.
  EXPECT_EQ(White.GetPixelColor(0, 0), 0xFFFFFFu);
  EXPECT_EQ(White.GetPixelColor(60, 1), RGBOf(240, 6, 60));
  TPixelGraphic Black;
  ASSERT_EQ(Read(Data, Black), "");
  EXPECT_EQ(Black.GetPixelColor(0, 0), 0u);
}

TEST_F(TIFFLibraryTest, PagesAreCountedAndChosen) {
  TGraphicFileInfo I = Info(Path("multi"));
  EXPECT_EQ(I.GraphicCount, 3);
  TPixelGraphic P;
  ASSERT_EQ(ReadFile(Path("multi"), P, 1), "");
  EXPECT_EQ(CountDifferences(ToRGBA(P), Reference("multi", 1), false), 0);
  EXPECT_EQ(ReadFile(Path("multi"), P, 3), "TIFF: Index invalid");
  EXPECT_THROW(Info(Path("multi"), 3), EPGTIFFileFormatReader);
  EXPECT_EQ(Info(Path("lzw")).GraphicCount, 1);
}

TEST_F(TIFFLibraryTest, BigTIFFIsRecognisedByItsContent) {
  const auto Data = ReadFileBytes(Path("bigtiff"));
  TPGMemoryStream S(Data.data(), Data.size());
  TFileFormatReader* R = FindReader(S, "");
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(R->Extension, "tif");
  EXPECT_EQ(Info(Path("bigtiff")).SubType, "I, Deflate, RGB");
}

TEST_F(TIFFLibraryTest, OrientationIsRecordedNotApplied) {
  TPixelGraphic Turned, Plain;
  ASSERT_EQ(ReadFile(Path("turned"), Turned), "");
  ASSERT_EQ(ReadFile(Path("none"), Plain), "");
  EXPECT_EQ(Turned.ExifOrientation, 6);
  EXPECT_EQ(Plain.ExifOrientation, 1);
  ASSERT_EQ(Turned.Width(), Plain.Width());
  EXPECT_EQ(std::memcmp(Turned.ScanLine(5), Plain.ScanLine(5), size_t(Plain.Width()) * 3), 0);
}

TEST_F(TIFFLibraryTest, FileInformationDescribesTheFile) {
  struct Case {
    std::string Name, SubType, Options, Colors;
    int Bits;
  };
  const Case Cases[] = {
      {"lzw", "I, LZW, RGB", "", "16.7 M", 24},
      {"zip", "I, Deflate, RGB", "", "16.7 M", 24},
      {"jpeg", "I, JPEG, YCbCr", "", "16.7 M", 24},
      {"depth16", "I, Deflate, RGB", "", "16.7 M", 48},
      {"grey4", "I, LZW, BlackIsZero", "", "16", 4},
      {"bilevel", "I, Group 4 F., WhiteIsZero", "", "2", 1},
      {"tiled", "I, LZW, RGB", "", "16.7 M", 24},
  };
  for (const Case& C : Cases) {
    const TGraphicFileInfo I = Info(Path(C.Name));
    EXPECT_EQ(I.SubType, C.SubType) << C.Name;
    EXPECT_EQ(I.Options, C.Options) << C.Name;
    EXPECT_EQ(I.Colors, C.Colors) << C.Name;
    EXPECT_EQ(I.BitsPerPixel, C.Bits) << C.Name;
    EXPECT_EQ(I.Width, 61) << C.Name;
    EXPECT_EQ(I.Height, 43) << C.Name;
  }
}

TEST_F(TIFFLibraryTest, ThePixelLimitStopsReadingBeforeDecoding) {
  TReadOptions Small;
  Small.MaxPixelCount = 61 * 43 - 1;
  for (const char* Name : {"lzw", "tiled", "depth16", "jpeg"}) {
    TPixelGraphic P;
    EXPECT_EQ(ReadFile(Path(Name), P, 0, Small), "TIFF: CreateDIBSection failed") << Name;
    EXPECT_TRUE(P.Empty()) << Name;
  }
}

// Sets the first value of a SHORT or LONG tag of the first IFD of a little-endian file; false
// when the file has no such tag.
bool SetTag(std::vector<uint8_t>& F, uint16_t Tag, uint32_t Value) {
  auto U16 = [&](size_t P) { return uint16_t(F[P] | F[P + 1] << 8); };
  auto U32 = [&](size_t P) { return uint32_t(U16(P) | uint32_t(U16(P + 2)) << 16); };
  if (F[0] != 'I') return false;
  const size_t IFD = U32(4);
  for (size_t E = IFD + 2; E < IFD + 2 + 12 * size_t(U16(IFD)); E += 12) {
    if (U16(E) != Tag) continue;
    const unsigned Size = U16(E + 2) == 3 ? 2 : 4;
    size_t At = U32(E + 4) * Size > 4 ? U32(E + 8) : E + 8;
    for (unsigned K = 0; K < Size; ++K)
      F[At + K] = uint8_t(Value >> 8 * K);
    return true;
  }
  return false;
}

TEST_F(TIFFLibraryTest, DamagedAndHostileFilesFailWithATaggedMessage) {
  const char* const Names[] = {"lzw",         "zip",     "jpeg", "tiled", "planar",
                               "tiledplanar", "depth16", "cmyk", "alpha", "grey2",
                               "bilevel",     "palette", "multi"};
  int Cases = 0;
  for (const char* Name : Names) {
    const auto Whole = ReadFileBytes(Path(Name));
    // Cut short anywhere: a picture (possibly partial) or a "TIFF: " error, never anything else.
    for (size_t Cut : {size_t(8), size_t(40), Whole.size() / 4, Whole.size() / 2,
                       Whole.size() * 3 / 4, Whole.size() - 3}) {
      std::vector<uint8_t> F(Whole.begin(), Whole.begin() + std::ptrdiff_t(Cut));
      TPixelGraphic P;
      const std::string Err = Read(F, P);
      EXPECT_TRUE(Err.empty() || Err.rfind("TIFF: ", 0) == 0) << Name << " cut " << Cut << Err;
      ++Cases;
    }
    // Sizes and counts far beyond the data.
    const std::vector<std::pair<uint16_t, uint32_t>> Edits = {
        {256, 0x7FFFFFFF}, {257, 0xFFFFFFFF}, {258, 0}, {258, 64},         {277, 0},
        {277, 65535},      {278, 0},          {279, 0}, {279, 0xFFFFFFF0}, {322, 0x40000000},
        {323, 0x40000000}, {325, 0xFFFFFFF0}, {262, 9}, {259, 12345},      {273, 0xFFFFFF00},
    };
    for (const auto& [Tag, Value] : Edits) {
      std::vector<uint8_t> F = Whole;
      if (!SetTag(F, Tag, Value)) continue;
      TPixelGraphic P;
      P.ReadWarningAction = pgwaIgnore;
      const std::string Err = Read(F, P);
      EXPECT_TRUE(Err.empty() || Err.rfind("TIFF: ", 0) == 0)
          << Name << " tag " << Tag << " = " << Value << ": " << Err;
      ++Cases;
    }
  }
  EXPECT_GT(Cases, 100);
}

TEST_F(TIFFLibraryTest, RowsDecodedBeforeDamageAreKept) {
  auto F = ReadFileBytes(Path("lzw")); // 4 rows a strip, the directory after the strips
  ASSERT_GT(F.size(), 8u);
  ASSERT_EQ(F[0], 'I');
  // The last third of the strip data is garbage: the first strips load, then the library's error.
  const size_t Directory = F[4] | F[5] << 8 | F[6] << 16 | size_t(F[7]) << 24;
  ASSERT_LT(Directory, F.size());
  for (size_t I = 8 + (Directory - 8) * 2 / 3; I < Directory; ++I)
    F[I] = 0xFF;
  TPixelGraphic P;
  const std::string Err = Read(F, P);
  ASSERT_NE(Err, "");
  EXPECT_EQ(Err.rfind("TIFF: ", 0), 0u) << Err;
  EXPECT_NE(Err, "TIFF: Unsupported compression LZW");
  TPixelGraphic Plain;
  ASSERT_EQ(ReadFile(Path("none"), Plain), "");
  ASSERT_FALSE(P.Empty()) << Err;
  ASSERT_EQ(P.Width(), Plain.Width());
  for (int Y = 0; Y < 4; ++Y)
    EXPECT_EQ(std::memcmp(P.ScanLine(Y), Plain.ScanLine(Y), size_t(P.Width()) * 3), 0) << Y;
}

TEST(TIFFLibraryCorpus, EveryValidFileDecodes) {
  const std::string Dir = CorpusDir();
  if (Dir.empty()) GTEST_SKIP() << "corpus folder absent";
  int Valid = 0, Loaded = 0;
  for (const ManifestEntry& E : ManifestFor("TIFF")) {
    if (E.Category != "valid") continue;
    ++Valid;
    TPixelGraphic P;
    P.ReadWarningAction = pgwaIgnore;
    try {
      P.LoadFromFile(Dir + "/" + E.Path);
      ++Loaded;
    } catch (const EPixelGraphic& X) {
      ADD_FAILURE() << E.Path << ": " << X.what();
    }
  }
  std::printf("TIFF corpus: %d of %d valid files decode\n", Loaded, Valid);
}

} // namespace
