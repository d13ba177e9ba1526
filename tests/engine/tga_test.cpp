// Targa: pixel depths, origins, colour maps, run-length packets, rejected input, the writer and
// the corpus.
#include "engine/formats/tga.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <random>

using namespace orbisk;
using namespace orbisk::test;

namespace {

using Bytes = std::vector<uint8_t>;

struct THeader {
  uint8_t IDLength = 0, MapType = 0, Type = 2;
  uint16_t MapFirst = 0, MapLength = 0;
  uint8_t EntrySize = 0;
  uint16_t Width = 1, Height = 1;
  uint8_t Depth = 24, Descriptor = 0;
};

Bytes MakeTGA(const THeader& H, const Bytes& Rest) {
  Bytes B = {H.IDLength, H.MapType, H.Type, 0, 0, 0, 0, H.EntrySize, 0,
             0,          0,         0,      0, 0, 0, 0, H.Depth,     H.Descriptor};
  for (auto [At, V] : {std::pair{3, H.MapFirst}, {5, H.MapLength}, {12, H.Width}, {14, H.Height}}) {
    B[size_t(At)] = uint8_t(V);
    B[size_t(At) + 1] = uint8_t(V >> 8);
  }
  B.insert(B.end(), Rest.begin(), Rest.end());
  return B;
}

void LoadTGA(TPixelGraphic& G, const Bytes& Data) {
  TPGMemoryStream S(Data.data(), Data.size());
  G.LoadFromStreamExt(S, "tga", 0);
}

std::vector<TRGB> Colors(const TPixelGraphic& G) {
  std::vector<TRGB> C;
  for (int Y = 0; Y < G.Height(); ++Y)
    for (int X = 0; X < G.Width(); ++X)
      C.push_back(G.GetPixelColor(X, Y));
  return C;
}

Bytes Save(TPixelGraphic& G, bool RLE = false) {
  TWriteOptions W;
  W.TGAWriteRLE = RLE;
  TPGMemoryStream S;
  FindWriter("tga")->WriteGraphic(S, G, W);
  return S.Bytes();
}

constexpr TRGB kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF;

} // namespace

TEST(TGARead, DecodesDepthsMapsAndPackets) {
  Bytes BigMap(600, 0); // 300 16-bit entries, 255 is blue
  BigMap[2 * 255] = 0x1F;
  BigMap.push_back(255);
  const THeader Big{.MapType = 1, .Type = 1, .MapLength = 300, .EntrySize = 16, .Depth = 8};
  THeader Offset{.MapType = 1, .Type = 1, .MapFirst = 2, .MapLength = 2, .EntrySize = 24};
  Offset.Width = 3;
  Offset.Depth = 8;
  THeader Short = Offset;
  Short.MapFirst = 0;
  Short.MapLength = 1;
  Short.Width = 2;
  const THeader Run{.Type = 10, .Width = 2, .Height = 2};
  const struct {
    Bytes Data;
    std::vector<TRGB> Want;
    int PaletteCount;
  } Cases[] = {
      {MakeTGA({.Depth = 16}, {0xFF, 0x7F}), {RGBOf(255, 255, 255)}, 0},      // 5 bits to 0..255
      {MakeTGA({.Type = 3, .Depth = 16}, {90, 0}), {RGBOf(90, 90, 90)}, 256}, // grey, alpha
      {MakeTGA(Big, BigMap), {RGBOf(0, 0, 255)}, 256},
      {MakeTGA(Offset, {0, 0, 255, 0, 255, 0, 2, 3, 2}), {kRed, kGreen, kRed}, 4},
      {MakeTGA(Short, {255, 255, 255, 0, 5}), {kWhite, 0}, 6}, // index past the map
      {MakeTGA(Run, {0x82, 255, 0, 0, 0x00, 0, 0, 255}), {kBlue, kRed, kBlue, kBlue}, 0},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(&C - Cases);
    TPixelGraphic G;
    LoadTGA(G, C.Data);
    EXPECT_EQ(Colors(G), C.Want);
    EXPECT_EQ(G.PaletteCount(), C.PaletteCount);
  }
}

TEST(TGARead, AllOriginsGiveTheSamePicture) {
  // Picture: top row red, green; bottom row blue, white. Stored as BGR rows.
  const Bytes Red = {0, 0, 255}, Green = {0, 255, 0}, Blue = {255, 0, 0}, White(3, 255);
  const std::pair<uint8_t, std::vector<Bytes>> Cases[] = {{0x00, {Blue, White, Red, Green}},
                                                          {0x20, {Red, Green, Blue, White}},
                                                          {0x10, {White, Blue, Green, Red}},
                                                          {0x30, {Green, Red, White, Blue}}};
  for (const auto& [Descriptor, Pixels] : Cases)
    for (uint8_t Type : {2, 10}) { // plain, or one raw packet across both rows
      SCOPED_TRACE(int(Descriptor) * 100 + Type);
      Bytes Body = Type == 10 ? Bytes{0x03} : Bytes{};
      for (const auto& P : Pixels)
        Body.insert(Body.end(), P.begin(), P.end());
      TPixelGraphic G;
      LoadTGA(G, MakeTGA({.Type = Type, .Width = 2, .Height = 2, .Descriptor = Descriptor}, Body));
      EXPECT_EQ(Colors(G), (std::vector<TRGB>{kRed, kGreen, kBlue, kWhite}));
    }
}

TEST(TGARead, RejectsMalformedData) {
  const THeader Map15{.MapType = 1, .Type = 1, .MapLength = 1, .EntrySize = 15, .Depth = 8};
  const THeader Map256{
      .MapType = 1, .Type = 1, .MapFirst = 256, .MapLength = 1, .EntrySize = 24, .Depth = 8};
  const std::pair<Bytes, const char*> Cases[] = {
      {Bytes(10, 0), "Unexpected end of file"},
      {MakeTGA({.Depth = 15}, {0, 0}), "Not supported subformat"},
      {MakeTGA(Map15, {0, 0, 0}), "Not supported subformat"},
      {MakeTGA(Map256, {0, 0, 0, 0}), "Color map invalid"},
      {MakeTGA({.MapType = 1, .MapLength = 1000, .EntrySize = 24}, {0}), "Unexpected end of file"},
      {MakeTGA({.Width = 0}, {}), "Width = 0 or Height = 0"},
      {MakeTGA({.Width = 65535, .Height = 65535}, {}), "CreateDIBSection failed"},
      {MakeTGA({.Width = 100, .Height = 100}, Bytes(299, 0)), "Unexpected end of file"},
  };
  for (const auto& [Data, Message] : Cases) {
    SCOPED_TRACE(&Data - &Cases[0].first);
    TPixelGraphic G;
    try {
      LoadTGA(G, Data);
      ADD_FAILURE() << "accepted";
    } catch (const EPGTGAFileFormatReader& E) {
      EXPECT_EQ(E.what(), "TGA: " + std::string(Message));
    }
  }
}

TEST(TGARead, CutRunLengthDataKeepsDecodedRowsAndEndsProgress) {
  // 2 x 3: the first stored (bottom) row decodes, the second runs out.
  const Bytes Data = MakeTGA({.Type = 10, .Width = 2, .Height = 3}, {0x81, 0, 255, 0, 0x80});
  TPixelGraphic G;
  int Ends = 0;
  G.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  TPGMemoryStream S(Data.data(), Data.size());
  try {
    FindReader(S, "tga")->ReadGraphic(S, G, 0);
    ADD_FAILURE() << "accepted";
  } catch (const EPGTGAFileFormatReader& E) {
    EXPECT_STREQ(E.what(), "TGA: Unexpected end of file");
  }
  EXPECT_EQ(Ends, 1);
  EXPECT_EQ(G.GetPixelColor(1, 2), kGreen);
  EXPECT_EQ(G.GetPixelColor(0, 0), 0u);
}

TEST(TGAInfo, DescribesHeader) {
  const std::tuple<uint8_t, uint8_t, std::string> Cases[] = {
      {1, 8, "Uncompressed/Color-mapped/256"},
      {2, 15, "Uncompressed/True-color/32768"},
      {10, 24, "Run-length encoded/True-color/16.7M"},
      {11, 32, "Run-length encoded/\"Black-and-white\"/16.7M ?"},
      {4, 8, "/"}}; // no such image type
  const std::string Path = TempPath("info.tga");
  for (const auto& [Type, Depth, Want] : Cases) {
    WriteFileBytes(Path, MakeTGA({.Type = Type, .Width = 300, .Height = 7, .Depth = Depth}, {}));
    TGraphicFileInfo I;
    EXPECT_EQ(GetGraphicFileInfo(Path, 0, I), Type != 4);
    EXPECT_EQ(I.SubType + "/" + I.Options + (Type != 4 ? "/" + I.Colors : ""), Want);
    EXPECT_EQ(I.BitsPerPixel * 1000 + I.Width, Type != 4 ? Depth * 1000 + 300 : 0);
    EXPECT_FALSE(GetGraphicFileInfo(Path, 1, I));
  }
}

TEST(TGAWrite, HeadersAndRefusals) {
  TPixelGraphic Rgb, Pal, Wide;
  Rgb.SetSize(2, 1, 3);
  Rgb.SetPixelColor(0, 0, RGBOf(1, 2, 3));
  EXPECT_EQ(Save(Rgb), MakeTGA({.Width = 2}, {3, 2, 1, 0, 0, 0}));
  Pal.SetSize(1, 1, 2);
  Pal.SetPaletteCount(2);
  Pal.SetPaletteEntry(1, RGBOf(10, 20, 30));
  Pal.SetPixelValue(0, 0, 1);
  EXPECT_EQ(Save(Pal),
            MakeTGA({.MapType = 1, .Type = 1, .MapLength = 2, .EntrySize = 24, .Depth = 8},
                    {0, 0, 0, 30, 20, 10, 1}));
  Wide.SetSize(65536, 1, 3);
  TPGMemoryStream S;
  try {
    FindWriter("tga")->WriteGraphic(S, Wide);
    ADD_FAILURE() << "accepted";
  } catch (const EPGTGAFileFormatWriter& E) {
    EXPECT_STREQ(E.what(), "TGA: Width out of range");
  }
  EXPECT_EQ(S.Size(), 0) << "nothing written before refusing";
}

TEST(TGAWrite, WriteThenReadOddSizes) {
  std::mt19937 Rng(33);
  for (int Code : {0, 1, 2, 3})
    for (bool RLE : {false, true}) {
      SCOPED_TRACE(Code * 10 + RLE);
      TPixelGraphic G;
      G.SetSize(47, 33, Code);
      if (Code < 3) {
        G.SetPaletteCount(Code == 0 ? 2 : Code == 1 ? 16 : 200);
        for (int I = 0; I < G.PaletteCount(); ++I)
          G.SetPaletteEntry(I, Rng() & 0xFFFFFF);
      }
      for (int Y = 0; Y < 33; ++Y)
        for (int X = 0; X < 47; ++X) { // runs and noise
          const uint32_t V = (X / 5 + Y) % 3 ? Rng() : X / 7;
          G.SetPixelValue(X, Y, Code == 3 ? V & 0xFFFFFF : V % unsigned(G.PaletteCount()));
        }
      TPixelGraphic Back;
      LoadTGA(Back, Save(G, RLE));
      EXPECT_EQ(Back.BitCountNum(), Code == 3 ? 3 : 2);
      EXPECT_EQ(Back.Palette(), G.Palette());
      EXPECT_EQ(Colors(Back), Colors(G));
      if (Code == 2) { // same indices, not only the same colours
        EXPECT_EQ(std::vector<uint8_t>(Back.Bits(), Back.Bits() + Back.ImageSize()),
                  std::vector<uint8_t>(G.Bits(), G.Bits() + G.ImageSize()));
      }
    }
}

TEST(TGACorpus, MatchesReferencesAndSurvivesCorruptFiles) {
  if (CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  int Exact = 0, Survived = 0, Rejected = 0;
  for (const auto& E : ManifestFor("TGA")) {
    SCOPED_TRACE(E.Path);
    const std::string Path = CorpusDir() + "/" + E.Path;
    TPixelGraphic G;
    try {
      G.LoadFromFile(Path);
    } catch (const EPGTGAFileFormatReader& X) {
      EXPECT_EQ(E.Category, "invalid") << X.what();
      ++Rejected;
      continue;
    }
    if (E.Category == "invalid") { // decodable despite its name: surviving is enough
      ++Survived;
      continue;
    }
    if (E.References.empty() || !E.References[0].ends_with(".png")) continue;
    RGBAImage Ref;
    ASSERT_TRUE(LoadPNGReference(CorpusDir() + "/" + E.References[0], Ref));
    EXPECT_EQ(CountDifferences(ToRGBA(G), Ref, false), 0) << E.Path;
    ++Exact;
  }
  std::printf("TGA corpus: %d references exact, %d corrupt rejected, %d corrupt survived\n", Exact,
              Rejected, Survived);
}
