// Reader and writer choice, loading protocol, the save fall-back and messages.
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace orbisk;

namespace {

// A tiny format of the tests: "ORBTEST" + gamma byte (tenths) + width + height, 24-bit grey 128.
class TTestReader : public TFileFormatReader {
public:
  TTestReader() : TFileFormatReader("ort", "Orbisk test") {}
  std::string ClassName() const override { return "TTestReader"; }
  bool Sniff(const uint8_t* H) override { return std::memcmp(H, "ORBTEST", 7) == 0; }
  void ReadGraphic(TPGStream& S, TPixelGraphic& G, int, const TReadOptions&) override {
    uint8_t Hdr[10];
    S.ReadBuffer(Hdr, 10);
    G.SetSize(Hdr[8], Hdr[9], 3);
    G.FileGamma = Hdr[7] / 10.0L;
    for (int Y = 0; Y < G.Height(); ++Y)
      for (int X = 0; X < G.Width(); ++X)
        G.SetPixelValue(X, Y, RGBOf(128, 128, 128));
  }
};

// Found by its extension only, like TGA.
class TNameOnlyReader : public TFileFormatReader {
public:
  TNameOnlyReader() : TFileFormatReader("ornm", "Name only") { CanSniff = false; }
  std::string ClassName() const override { return "TNameOnlyReader"; }
  void ReadGraphic(TPGStream&, TPixelGraphic& G, int, const TReadOptions&) override {
    G.SetSize(1, 1, 3);
  }
};

// Stores black and white only; fails on demand after writing some bytes.
class TTestWriter : public TFileFormatWriter {
public:
  TTestWriter() : TFileFormatWriter("orw", "Test bitmap") { CanWriteResolutions = {0}; }
  std::string ClassName() const override { return "TTestWriter"; }
  static inline bool Fail = false;
  static inline int LastResolution = -1;
  void WriteGraphic(TPGStream& S, TPixelGraphic& G, const TWriteOptions&) override {
    LastResolution = G.ColorResolution();
    S.Write("partial", 7);
    if (Fail) throw EPixelGraphic("write failed");
  }
};

class RegistryTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    RegisterReader(std::make_unique<TTestReader>());
    RegisterReader(std::make_unique<TNameOnlyReader>());
    RegisterWriter(std::make_unique<TTestWriter>());
  }
  void TearDown() override {
    SetEnginePrompt(nullptr);
    TTestWriter::Fail = false;
  }
};

std::vector<uint8_t> TestFile(int Gamma10, int W, int H) {
  std::vector<uint8_t> D = {'O',        'R',       'B', 'T', 'E', 'S', 'T', uint8_t(Gamma10),
                            uint8_t(W), uint8_t(H)};
  return D;
}

TEST_F(RegistryTest, ContentDecidesAndPositionIsKept) {
  auto Bytes = TestFile(18, 2, 2);
  TPGMemoryStream S(Bytes.data(), Bytes.size());
  S.SetPosition(0);
  TFileFormatReader* R = FindReader(S, ".png");
  ASSERT_NE(R, nullptr);
  EXPECT_EQ(R->Extension, "ort");
  EXPECT_EQ(S.Position(), 0);
  // Short or unknown data: no reader, except a name-only reader by its extension.
  uint8_t Junk[3] = {1, 2, 3};
  TPGMemoryStream J(Junk, 3);
  EXPECT_EQ(FindReader(J, "x"), nullptr);
  ASSERT_NE(FindReader(J, ".ORNM"), nullptr);
  EXPECT_EQ(FindReader(J, "ORNM")->Extension, "ornm");
  // A content reader is never chosen by its name.
  EXPECT_EQ(FindReader(J, "ort"), nullptr);
}

TEST_F(RegistryTest, ListsAreInExtensionOrder) {
  // In extension order within each list group (the later formats follow the classic ones).
  auto Readers = FileFormatReaders();
  for (size_t I = 1; I < Readers.size(); ++I) {
    EXPECT_LE(Readers[I - 1]->ListGroup, Readers[I]->ListGroup);
    if (Readers[I - 1]->ListGroup == Readers[I]->ListGroup) {
      EXPECT_LE(Readers[I - 1]->Extension, Readers[I]->Extension);
    }
  }
}

TEST_F(RegistryTest, LoadingCorrectsGammaAndSignalsOnce) {
  struct Case {
    int Gamma10;
    unsigned Expected;
  } Cases[] = {{18, 128}, {22, 110}}; // 255 * (128/255)^(2.2/1.8) = 109.8
  for (auto C : Cases) {
    auto Bytes = TestFile(C.Gamma10, 3, 2);
    TPGMemoryStream S(Bytes.data(), Bytes.size());
    TPixelGraphic G;
    int Changes = 0;
    G.OnChange = [&](TPixelGraphic*) { ++Changes; };
    G.LoadFromStream(S);
    EXPECT_EQ(RedOf(G.GetPixelColor(1, 1)), C.Expected) << C.Gamma10;
    EXPECT_EQ(Changes, 1);
    EXPECT_EQ(G.FileGamma, TReadOptions().ScreenGamma);
  }
  TReadOptions NoGamma;
  NoGamma.GammaCorrectionOnRead = false;
  auto Bytes = TestFile(22, 1, 1);
  TPGMemoryStream S(Bytes.data(), Bytes.size());
  TPixelGraphic G;
  G.LoadFromStream(S, NoGamma);
  EXPECT_EQ(RedOf(G.GetPixelColor(0, 0)), 128u);
}

TEST_F(RegistryTest, UnknownContentIsRejected) {
  uint8_t Junk[20] = {};
  TPGMemoryStream S(Junk, sizeof Junk);
  TPixelGraphic G;
  try {
    G.LoadFromStreamExt(S, "png", 0);
    FAIL();
  } catch (const EPGUnknownFileFormat& E) {
    EXPECT_STREQ(E.what(), "Unknown file format");
  }
}

TEST_F(RegistryTest, FallbackRows) {
  struct Case {
    int R;
    std::set<int> Can;
    int T;
  } Cases[] = {
      {2, {5, 7}, 5},                // grey 16 into JPEG: 256 greys
      {4, {5, 7}, 7},                // own 16 colours into JPEG: true colour
      {1, {0, 2, 3, 4, 5, 6, 7}, 4}, // two colours into TIFF: 16 colours
      {7, {0}, 0},                   // true colour into PBM
      {6, {6, 7}, 6},
      {0, {}, -1},
  };
  for (auto C : Cases)
    EXPECT_EQ(FallbackResolution(C.R, C.Can), C.T) << C.R;
}

TEST_F(RegistryTest, SaveFallbackAsksAndCancelWritesNothing) {
  std::string Path = test::TempPath("fallback.orw");
  std::filesystem::remove(Path);
  TPixelGraphic G;
  G.SetSize(3, 3, 3);
  std::string Asked;
  SetEnginePrompt([&](const std::string& Caption, const std::string& Text, bool WithCancel) {
    EXPECT_EQ(Caption, "Warning");
    EXPECT_TRUE(WithCancel);
    Asked = Text;
    return false;
  });
  try {
    G.SaveToFile(Path);
    FAIL();
  } catch (const EPGCannotWriteColorRes& E) {
    EXPECT_STREQ(E.what(),
                 "The graphic cannot be saved with to a Test bitmap file with the current "
                 "color resolution (16.7 million colors)");
  }
  EXPECT_EQ(Asked, "The graphic cannot be saved to a Test bitmap file with the current color "
                   "resolution (16.7 million colors).\r\rThe graphic will be saved with a "
                   "different color resolution (black and white).");
  EXPECT_FALSE(std::filesystem::exists(Path));
  // OK converts a copy; the picture itself stays true colour.
  SetEnginePrompt([](const std::string&, const std::string&, bool) { return true; });
  G.SaveToFile(Path);
  EXPECT_EQ(TTestWriter::LastResolution, 0);
  EXPECT_EQ(G.BitCountNum(), 3);
  G.SaveColorResWarningAction = pgwaRaise;
  EXPECT_THROW(G.SaveToFile(Path), EPGCannotWriteColorRes);
}

TEST_F(RegistryTest, FailedSaveLeavesTheOldFileAlone) {
  std::string Path = test::TempPath("keep.orw");
  test::WriteFileBytes(Path, {1, 2, 3});
  TPixelGraphic G;
  G.SetSize(2, 2, 0);
  G.SetPaletteKind(pBlackWhite);
  TTestWriter::Fail = true;
  EXPECT_THROW(G.SaveToFile(Path), EPixelGraphic);
  EXPECT_EQ(test::ReadFileBytes(Path), (std::vector<uint8_t>{1, 2, 3}));
  // No temporary file is left behind.
  int Files = 0;
  for (auto& E : std::filesystem::directory_iterator(std::filesystem::path(Path).parent_path()))
    Files += E.path().filename().string().find("keep.orw") != std::string::npos;
  EXPECT_EQ(Files, 1);
  TTestWriter::Fail = false;
  G.SaveToFile(Path);
  EXPECT_EQ(test::ReadFileBytes(Path).size(), 7u);
}

TEST_F(RegistryTest, WriterChoiceErrors) {
  TPixelGraphic G;
  G.SetSize(1, 1, 3);
  TPGMemoryStream S;
  try {
    G.SaveToStreamExt(S, ".GIF");
    FAIL();
  } catch (const EPGUnknownExtension& E) {
    EXPECT_STREQ(E.what(), "Unknown file extension \"gif\"");
  }
}

TEST_F(RegistryTest, FileInformation) {
  std::string Path = test::TempPath("info.png");
  test::WriteFileBytes(Path, TestFile(18, 4, 5));
  TGraphicFileInfo Info;
  ASSERT_TRUE(GetGraphicFileInfo(Path, 0, Info));
  EXPECT_EQ(Info.Type, "Orbisk test");
  EXPECT_EQ(Info.GraphicCount, 1);
  EXPECT_FALSE(GetGraphicFileInfo(test::TempPath("") + "/", 0, Info));
  EXPECT_FALSE(GetGraphicFileInfo(test::TempPath("missing.png"), 0, Info));
  EXPECT_EQ(Info.Type, "");
}

TEST(EngineMessages, FillingAndNumbering) {
  EXPECT_NO_THROW(CheckMessageTable());
  EXPECT_EQ(EngineMessage(7, "Index"), "Index invalid");
  EXPECT_EQ(EngineMessage(19, "gif"), "Unknown file extension \"gif\"");
  EXPECT_EQ(EngineMessage(83), "\xC2\xB0");
  EXPECT_EQ(EngineMessage(84), "");
  EXPECT_EQ(EngineMessage(85), "");
  EXPECT_EQ(ColorResolutionName(7), "16.7 million colors");
}

} // namespace
