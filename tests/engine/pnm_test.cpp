// PBM, PGM and PPM: decoding rules, rejected input, exact writer output, write-then-read and
// the corpus.
#include "engine/formats/pnm.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <random>

using namespace orbisk;
using namespace orbisk::test;

namespace {

void Read(TPixelGraphic& G, const std::string& Data) {
  TPGMemoryStream S(Data.data(), Data.size());
  for (auto* R : FileFormatReaders()) // straight to the reader, also for bad magic numbers
    if (R->Extension == "pgm") R->ReadGraphic(S, G, 0);
}

std::string Save(TPixelGraphic& G, const std::string& Ext, bool Binary) {
  TWriteOptions W;
  W.PxMWriteBinary = Binary;
  TPGMemoryStream S;
  FindWriter(Ext)->WriteGraphic(S, G, W);
  return std::string(S.Bytes().begin(), S.Bytes().end());
}

std::vector<TRGB> Colors(const TPixelGraphic& G) {
  std::vector<TRGB> C;
  for (int Y = 0; Y < G.Height(); ++Y)
    for (int X = 0; X < G.Width(); ++X)
      C.push_back(G.GetPixelColor(X, Y));
  return C;
}

constexpr TRGB kBlack = 0, kWhite = 0xFFFFFF;
TRGB Grey(unsigned V) {
  return RGBOf(V, V, V);
}

} // namespace

TEST(PxMRead, DecodesEachForm) {
  const struct {
    std::string Data;
    int W, BitCount;
    std::vector<TRGB> Want;
  } Cases[] = {
      {"P2\n3 1\n15\n15 7 0\n", 3, 8, {Grey(255), Grey(119), Grey(0)}},
      {"P2 2 1 100 150 50", 2, 8, {Grey(255), Grey(127)}}, // above maxval: clamped
      {"P2 1 1 65535 32768", 1, 8, {Grey(127)}},
      {"P1\n4 1\n0110", 4, 1, {kWhite, kBlack, kBlack, kWhite}}, // digits without blanks
      {"P3\n2 # w\n# h\n1\n255\n255 0 0 0 0 255", 2, 24, {RGBOf(255, 0, 0), RGBOf(0, 0, 255)}},
      {std::string("P4 3 2\n\x40\xBF", 9), 3, 1, {kWhite, kBlack, kWhite, kBlack, kWhite, kBlack}},
      {std::string("P5 2 1 15\n\x0F\x07", 12), 2, 8, {Grey(255), Grey(119)}},
      {std::string("P6\n1 1\n255\n\x01\x02\x03", 14), 1, 24, {RGBOf(1, 2, 3)}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Data);
    TPixelGraphic G;
    Read(G, C.Data);
    EXPECT_EQ(G.Width() * G.Height(), int(C.Want.size()));
    EXPECT_EQ(G.Width(), C.W);
    EXPECT_EQ(G.BitCount(), C.BitCount);
    EXPECT_EQ(Colors(G), C.Want);
  }
}

TEST(PxMRead, RejectsMalformedData) {
  const std::pair<std::string, const char*> Cases[] = {
      {"Q2 1 1 1", "Not a PBM, PGM, PPM file"},
      {"P7 1 1 1", "Unknown subformat"},
      {std::string("P5 1 1 65535\n\0\0", 15), "Not supported subformat"},
      {"P2 0 4 255 ", "Not supported subformat"},
      {"P2 1 1 0 0", "Invalid value for MaxVal"},
      {"P3 1 1 65536 1 1 1", "Invalid value for MaxVal"},
      {"P2 99999999999 1 255 0", "Number out of range"},
      {"P2 1 1 255 99999999999", "Number out of range"},
      {"P2 2 1 255 7", "Unexpected end of file"},
      {"P6 2 2 255\n123", "Unexpected end of file"},
      {"P4 2000000000 2000000000\n", "CreateDIBSection failed"},
  };
  for (const auto& [Data, Message] : Cases) {
    TPixelGraphic G;
    try {
      Read(G, Data);
      ADD_FAILURE() << Data << " accepted";
    } catch (const EPGPxMFileFormatReader& E) {
      EXPECT_EQ(E.what(), "PBM, PGM, PPM: " + std::string(Message));
    }
  }
}

TEST(PxMWrite, ExactOutputAndRefusals) {
  auto Make = [](int Code, std::vector<uint32_t> Values, TPaletteIdent Kind) {
    auto G = std::make_unique<TPixelGraphic>();
    G->SetSize(int(Values.size()), 1, Code);
    if (Kind != pNone) G->SetPaletteKind(Kind);
    for (size_t X = 0; X < Values.size(); ++X)
      G->SetPixelValue(int(X), 0, Values[X]);
    return G;
  };
  auto Bits = Make(0, {0, 1, 0}, pBlackWhite);
  auto BitsInBytes = Make(2, {0, 1, 0}, pBlackWhite);
  auto Gray = Make(2, {7, 255}, pGray256);
  auto Rgb = Make(3, {RGBOf(1, 2, 3), RGBOf(200, 100, 0)}, pNone);
  auto Inverted = Make(0, {0, 1}, pNone); // ink at index 1
  Inverted->SetPaletteCount(2);
  Inverted->SetPaletteEntry(0, kWhite);
  EXPECT_EQ(Save(*Bits, "pbm", false), "P1\n3 1\n1 0 1\n");
  EXPECT_EQ(Save(*Bits, "pbm", true), "P4\n3 1\n\xBF");
  EXPECT_EQ(Save(*BitsInBytes, "pbm", false), "P1\n3 1\n1 0 1\n");
  EXPECT_EQ(Save(*BitsInBytes, "pbm", true), "P4\n3 1\n\xBF");
  EXPECT_EQ(Save(*Inverted, "pbm", false), "P1\n2 1\n0 1\n");
  EXPECT_EQ(Save(*Gray, "pgm", false), "P2\n2 1\n255\n7 255\n");
  EXPECT_EQ(Save(*Rgb, "ppm", false), "P3\n2 1\n255\n1 2 3 200 100 0\n");
  EXPECT_EQ(Save(*Rgb, "ppm", true), std::string("P6\n2 1\n255\n\x01\x02\x03\xC8\x64\x00", 17));

  TPixelGraphic Empty;
  const std::tuple<TPixelGraphic*, const char*, const char*> Refused[] = {
      {&Empty, "ppm", "PBM, PGM, PPM: Width = 0 or Height = 0"},
      {Rgb.get(), "pbm", "PBM: Invalid color resolution"},
      {Rgb.get(), "pgm", "PGM: Invalid color resolution"}};
  for (const auto& [G, Ext, Message] : Refused) {
    TPGMemoryStream S;
    try {
      FindWriter(Ext)->WriteGraphic(S, *G);
      ADD_FAILURE() << Ext;
    } catch (const EPGPxMFileFormatWriter& E) {
      EXPECT_STREQ(E.what(), Message);
    }
    EXPECT_EQ(S.Size(), 0);
  }
}

TEST(PxMWrite, WriteThenReadOddSizes) {
  std::mt19937 Rng(47);
  for (int Code : {0, 2, 3})
    for (bool Binary : {false, true}) {
      SCOPED_TRACE(Code * 10 + Binary);
      TPixelGraphic G, Back;
      G.SetSize(47, 33, Code);
      G.SetPaletteKind(Code == 0 ? pBlackWhite : Code == 2 ? pGray256 : pTrueColor);
      for (int Y = 0; Y < 33; ++Y)
        for (int X = 0; X < 47; ++X)
          G.SetPixelValue(X, Y, Rng() & (Code == 0 ? 1 : Code == 2 ? 0xFF : 0xFFFFFF));
      TPGMemoryStream S;
      TWriteOptions W;
      W.PxMWriteBinary = Binary;
      G.SaveToStreamExt(S, Code == 0 ? "pbm" : Code == 2 ? "pgm" : "ppm", W);
      S.SetPosition(0);
      Back.LoadFromStream(S); // reader chosen by content
      EXPECT_EQ(Back.BitCountNum(), Code);
      EXPECT_EQ(Colors(Back), Colors(G));
    }
}

namespace {

// Independent decoding of a binary reference file (P4, P5 or P6, up to 16 bits).
RGBAImage PNMReference(const std::string& Path) {
  auto D = ReadFileBytes(Path);
  size_t P = 2;
  auto Num = [&] {
    while (!isdigit(D.at(P)))
      P = D[P] == '#' ? size_t(std::find(D.begin() + long(P), D.end(), '\n') - D.begin()) : P + 1;
    unsigned V = 0;
    while (isdigit(D.at(P)))
      V = V * 10 + unsigned(D[P++] - '0');
    return V;
  };
  const int Kind = D.at(1) - '0';
  RGBAImage Out;
  Out.Width = int(Num());
  Out.Height = int(Num());
  const unsigned Max = Kind == 4 ? 1 : Num();
  const size_t Start = P + 1, Wide = Max > 255 ? 2 : 1, Ch = Kind == 6 ? 3 : 1;
  for (size_t I = 0; I < size_t(Out.Width) * Out.Height; ++I) {
    uint8_t V[3];
    for (size_t C = 0; C < Ch; ++C) {
      const size_t At = Start + (I * Ch + C) * Wide;
      V[C] = Kind == 4
                 ? 0
                 : uint8_t((Wide == 2 ? D.at(At) * 256u + D.at(At + 1) : D.at(At)) * 255 / Max);
    }
    if (Kind == 4) {
      const size_t X = I % Out.Width, Y = I / Out.Width;
      V[0] = (D.at(Start + Y * ((Out.Width + 7) / 8) + X / 8) >> (7 - X % 8)) & 1 ? 0 : 255;
    }
    Out.Pixels.insert(Out.Pixels.end(), {V[0], V[Ch == 3 ? 1 : 0], V[Ch == 3 ? 2 : 0], 255});
  }
  return Out;
}

} // namespace

TEST(PxMCorpus, MatchesReferencesAndRejectsCorruptFiles) {
  if (CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  int Matched = 0, Rejected = 0, Unsupported = 0;
  for (const auto& E : ManifestFor("PNM")) {
    SCOPED_TRACE(E.Path);
    const std::string Path = CorpusDir() + "/" + E.Path;
    if (ReadFileBytes(Path).at(0) != 'P') continue; // another format under a PNM name
    TPixelGraphic G;
    try {
      G.LoadFromFile(Path);
    } catch (const EPGPxMFileFormatReader& X) {
      if (E.Category == "valid") { // only 16-bit binary samples are refused
        EXPECT_STREQ(X.what(), "PBM, PGM, PPM: Not supported subformat");
        ++Unsupported;
      } else {
        ++Rejected;
      }
      continue;
    }
    EXPECT_NE(E.Category, "invalid") << "corrupt file accepted";
    if (E.References.empty()) continue;
    const std::string Ref = CorpusDir() + "/" + E.References[0];
    RGBAImage Want;
    if (Ref.ends_with(".png"))
      ASSERT_TRUE(LoadPNGReference(Ref, Want));
    else
      Want = PNMReference(Ref);
    EXPECT_EQ(CountDifferences(ToRGBA(G), Want, false), 0);
    ++Matched;
  }
  std::printf("PNM corpus: %d matched, %d corrupt rejected, %d 16-bit binary refused\n", Matched,
              Rejected, Unsupported);
}
