// The GIF writer: exact bytes of small files, error codes, and round trips through our reader,
// ImageMagick and giftext.
#include "processing/gifwriter.h"

#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {
namespace {

using test::ReadFileBytes;
using test::TempPath;

const TRGB Red = RGBOf(255, 0, 0), Blue = RGBOf(0, 0, 255);

std::vector<uint8_t> Encode(const TPixelGraphic& G, bool Interlaced = false, TRGB T = 0,
                            bool Transparent = false) {
  std::vector<uint8_t> Out;
  EXPECT_EQ(EncodeGIF(G, Interlaced, T, Transparent, Out), gifOK);
  return Out;
}

// W x H pixels picked at random from N distinct colours; palette pictures get those N entries.
void RandomPicture(TPixelGraphic& G, int W, int H, int N, int Code, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::vector<TRGB> Colors;
  std::set<TRGB> Seen;
  while (int(Colors.size()) < N)
    if (TRGB C = Rng() & 0xFFFFFF; Seen.insert(C).second) Colors.push_back(C);
  G.SetSize(W, H, Code);
  if (Code != 3) {
    G.SetPaletteCount(N);
    for (int I = 0; I < N; ++I)
      G.SetPaletteEntry(I, Colors[size_t(I)]);
  }
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint32_t I = Rng() % uint32_t(N);
      G.SetPixelValue(X, Y, Code == 3 ? Colors[I] : I);
    }
}

// The picture's colours row by row in the order a GIF stores them.
std::vector<TRGB> StoredColors(const TPixelGraphic& G, bool Interlaced) {
  std::vector<int> Rows;
  const int Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
  for (int P = 0; P < (Interlaced ? 4 : 1); ++P)
    for (int Y = Interlaced ? Start[P] : 0; Y < G.Height(); Y += Interlaced ? Step[P] : 1)
      Rows.push_back(Y);
  std::vector<TRGB> C;
  for (int Y : Rows)
    for (int X = 0; X < G.Width(); ++X)
      C.push_back(G.GetPixelColor(X, Y));
  return C;
}

std::string Capture(const std::string& Cmd, int* Status = nullptr) {
  std::string Out;
  FILE* P = popen(Cmd.c_str(), "r");
  char Buf[65536];
  for (size_t N; P && (N = fread(Buf, 1, sizeof Buf, P)) > 0;)
    Out.append(Buf, N);
  int S = P ? pclose(P) : -1;
  if (Status) *Status = S;
  return Out;
}

TEST(GIFBytes, ThreeByTwoPictureIsWrittenExactly) {
  TPixelGraphic G;
  G.SetSize(3, 2, 3);
  const TRGB Rows[2][3] = {{Blue, Red, Red}, {Red, Red, Blue}};
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 3; ++X)
      G.SetPixelValue(X, Y, Rows[Y][X]);
  std::vector<uint8_t> Want = {'G',  'I',
                               'F',  '8',
                               '9',  'a',
                               3,    0,
                               2,    0,
                               0x80, 0,
                               0,    0,
                               0,    0xFF,
                               0xFF, 0,
                               0,    0x21,
                               0xF9, 4,
                               0,    0,
                               0,    0,
                               0,    0x2C,
                               0,    0,
                               0,    0,
                               3,    0,
                               2,    0,
                               0,    2,
                               3,    0x44,
                               0x1E, 0x50,
                               0,    0x21,
                               0xFE, uint8_t(strlen(GIFCommentText))};
  Want.insert(Want.end(), GIFCommentText, GIFCommentText + strlen(GIFCommentText));
  Want.insert(Want.end(), {0, 0x3B});
  EXPECT_EQ(Encode(G), Want);
}

TEST(GIFBytes, HeaderFollowsColourCountFirstSeenOrderAndTransparency) {
  struct Case {
    int Colors;
    TRGB Trans;
    bool Transparent;
    int Flags, MinCode, GCEFlags, TransIndex;
  } Cases[] = {
      {1, 0, false, 0x80, 2, 0, -1},
      {2, RGBOf(1, 0, 0), true, 0x80, 2, 1, 1},
      {3, 0, false, 0x81, 2, 0, -1},
      {5, RGBOf(9, 9, 9), true, 0x82, 3, 0, -1},
      {9, RGBOf(4, 0, 0), false, 0x83, 4, 0, -1},
      {17, 0, true, 0x84, 5, 1, 0},
      {129, 0, false, 0x87, 8, 0, -1},
      {256, RGBOf(254, 0, 0), true, 0x87, 8, 1, 254},
      {256, RGBOf(255, 0, 0), true, 0x87, 8, 0, -1}, // 255 means "none"
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Colors << " colours");
    // An 8-bit picture whose palette order is the reverse of the order the colours are met.
    TPixelGraphic G;
    G.SetSize(C.Colors, 2, C.Colors > 16 ? 2 : C.Colors > 2 ? 1 : 0);
    G.SetPaletteCount(C.Colors);
    for (int X = 0; X < C.Colors; ++X) {
      G.SetPaletteEntry(C.Colors - 1 - X, RGBOf(X, 0, 0));
      G.SetPixelValue(X, 0, uint32_t(C.Colors - 1 - X));
      G.SetPixelValue(X, 1, uint32_t(X));
    }
    std::vector<uint8_t> B = Encode(G, false, C.Trans, C.Transparent);
    const size_t Entries = size_t(2) << (B[10] & 7), Gce = 13 + 3 * Entries;
    ASSERT_GT(B.size(), Gce + 20);
    EXPECT_EQ(B[10], C.Flags);
    for (size_t I = 0; I < Entries; ++I)
      ASSERT_EQ(RGBOf(B[13 + 3 * I], B[14 + 3 * I], B[15 + 3 * I]),
                I < size_t(C.Colors) ? RGBOf(unsigned(I), 0, 0) : 0u);
    EXPECT_EQ(B[Gce + 3], C.GCEFlags);
    if (C.TransIndex >= 0) {
      EXPECT_EQ(B[Gce + 6], C.TransIndex);
    }
    EXPECT_EQ(B[Gce + 8 + 9], 0);          // not interlaced
    EXPECT_EQ(B[Gce + 8 + 10], C.MinCode); // LZW minimum code size
  }
}

TEST(GIFErrors, EachFailureHasItsCodeAndLeavesFilesAlone) {
  struct Case {
    const char* Name;
    int W, H, Code, Want;
  } Cases[] = {{"empty", 0, 0, 3, gifEmptyPicture},
               {"wider than 65535", 65536, 1, 2, gifTooLarge},
               {"higher than 65535", 1, 65536, 2, gifTooLarge},
               {"257 colours", 257, 1, 3, gifTooManyColors}};
  const std::string Old = TempPath("old.gif"), New = TempPath("new.gif");
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TPixelGraphic G;
    G.SetSize(C.W, C.H, C.Code);
    for (int X = 0; C.Code == 3 && X < C.W; ++X)
      G.SetPixelValue(X, 0, uint32_t(X) * 65000);
    std::vector<uint8_t> Out = {1};
    EXPECT_EQ(EncodeGIF(G, false, 0, false, Out), C.Want);
    EXPECT_EQ(Out, std::vector<uint8_t>{1});
    int Code = -1;
    EXPECT_FALSE(WriteGIF(New, G, false, 0, false, &Code));
    EXPECT_EQ(Code, C.Want);
    EXPECT_NE(access(New.c_str(), F_OK), 0);
    test::WriteFileBytes(Old, {9, 8, 7});
    EXPECT_FALSE(WriteGIF(Old, G, true, 0, true));
    EXPECT_EQ(ReadFileBytes(Old), (std::vector<uint8_t>{9, 8, 7}));
  }
  // Targets that cannot be written: reported, and no temporary file is left behind.
  TPixelGraphic G;
  G.SetSize(5, 5, 3);
  const std::string Dir = TempPath("gifdir");
  ASSERT_EQ(mkdir(Dir.c_str(), 0755), 0);
  for (const std::string& T : {Dir + "/missing/a.gif", Dir, Dir + "/"}) {
    int Code = -1;
    EXPECT_FALSE(WriteGIF(T, G, false, 0, false, &Code)) << T;
    EXPECT_EQ(Code, gifWriteFailed) << T;
  }
  EXPECT_EQ(Capture("ls -A '" + Dir + "'"), "");
  // A replaced file keeps its permissions.
  const std::string Ok = Dir + "/ok.gif";
  EXPECT_TRUE(WriteGIF(Ok, G, false, 0, false));
  chmod(Ok.c_str(), 0604);
  EXPECT_TRUE(WriteGIF(Ok, G, true, 0, false));
  struct stat St;
  EXPECT_EQ(stat(Ok.c_str(), &St) == 0 ? St.st_mode & 0777 : 0u, 0604u);
  EXPECT_EQ(Capture("ls -A '" + Dir + "'"), "ok.gif\n");
}

// Random pictures of every depth, small and odd-sized, plus ones large and varied enough to
// fill the 4096-code table several times.
struct Shape {
  int W, H, Code, Colors;
  bool Interlaced;
};
std::vector<Shape> RoundTripShapes() {
  std::vector<Shape> S = {{300, 200, 2, 256, false},
                          {300, 200, 2, 256, true},
                          {97, 131, 3, 200, true},
                          {61, 37, 0, 2, true}};
  std::mt19937 Rng(2024);
  for (int I = 0; I < 150; ++I) {
    int Code = int(Rng() % 4), Max = Code == 0 ? 2 : Code == 1 ? 16 : 256;
    S.push_back({1 + int(Rng() % 40), 1 + int(Rng() % 40), Code, 1 + int(Rng() % unsigned(Max)),
                 bool(Rng() & 1)});
  }
  return S;
}

TEST(GIFRoundTrip, OurReaderGetsTheSameColours) {
  uint32_t Seed = 1;
  for (const Shape& S : RoundTripShapes()) {
    SCOPED_TRACE(testing::Message() << S.W << "x" << S.H << " code " << S.Code << ", " << S.Colors
                                    << " colours, interlaced " << S.Interlaced);
    TPixelGraphic G, Back;
    RandomPicture(G, S.W, S.H, S.Colors, S.Code, Seed++);
    std::vector<uint8_t> Bytes = Encode(G, S.Interlaced);
    TPGMemoryStream Stream(Bytes.data(), Bytes.size());
    Back.LoadFromStream(Stream);
    ASSERT_EQ(Back.Width(), S.W);
    ASSERT_EQ(Back.Height(), S.H);
    ASSERT_EQ(StoredColors(Back, false), StoredColors(G, false));
  }
}

TEST(GIFRoundTrip, ImageMagickAndGiftextAgree) {
  const bool Magick = access("/usr/bin/convert", X_OK) == 0;
  const bool Giftext = !Capture("command -v giftext").empty();
  if (!Magick && !Giftext) GTEST_SKIP() << "neither /usr/bin/convert nor giftext is installed";
  if (!Giftext) std::printf("giftext (giflib-tools) absent: only ImageMagick is checked\n");
  if (!Magick) std::printf("ImageMagick absent: only giftext is checked\n");
  const std::string Path = TempPath("ext.gif");
  const std::vector<Shape> Shapes = RoundTripShapes();
  for (size_t I = 0; I < 13; ++I) { // the large ones and a few small ones
    const Shape& S = Shapes[I];
    SCOPED_TRACE(testing::Message() << S.W << "x" << S.H << ", " << S.Colors << " colours");
    TPixelGraphic G;
    RandomPicture(G, S.W, S.H, S.Colors, S.Code, uint32_t(S.W * 7 + S.H));
    ASSERT_TRUE(WriteGIF(Path, G, S.Interlaced, G.GetPixelColor(0, 0), S.Colors > 2));
    const std::vector<uint8_t> B = ReadFileBytes(Path);
    if (Magick) {
      std::string Rgb = Capture("/usr/bin/convert '" + Path + "' -depth 8 rgb:- 2>&1");
      ASSERT_EQ(Rgb.size(), size_t(S.W) * S.H * 3) << Rgb.substr(0, 300);
      std::vector<TRGB> Got;
      for (size_t P = 0; P < Rgb.size(); P += 3)
        Got.push_back(RGBOf(uint8_t(Rgb[P]), uint8_t(Rgb[P + 1]), uint8_t(Rgb[P + 2])));
      EXPECT_EQ(Got, StoredColors(G, false));
    }
    if (Giftext) {
      // Raw indices in stored order, looked up in the file's own colour table.
      int Status = -1;
      std::string Raw = Capture("giftext -r '" + Path + "' 2>&1", &Status);
      EXPECT_EQ(Status, 0);
      std::vector<TRGB> Got;
      for (unsigned char I : Raw)
        Got.push_back(RGBOf(B[13 + 3 * I], B[14 + 3 * I], B[15 + 3 * I]));
      EXPECT_EQ(Got, StoredColors(G, S.Interlaced));
      std::string Text = Capture("giftext -z '" + Path + "' 2>&1", &Status);
      EXPECT_EQ(Status, 0);
      EXPECT_NE(Text.find("GIF file terminated normally"), std::string::npos) << Text;
      EXPECT_NE(Text.find(S.Colors > 2 ? "Transparency on: yes" : "Transparency on: no"),
                std::string::npos);
    }
  }
}

} // namespace
} // namespace orbisk
