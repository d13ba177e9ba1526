#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace orbisk;
using namespace orbisk::test;

namespace {

struct TPCXSpec {
  int Version = 5, Bits = 8, Planes = 1, W = 1, H = 1, BytesPerLine = 1, PaletteInfo = 1;
  int XMin = 0, Reserved = 0;
  std::vector<uint8_t> Lines =
      {}; // H scan lines of Planes x BytesPerLine bytes, run-length coded here
  std::vector<uint8_t> Tail = {}; // bytes after the pixel data (the 256-colour palette)
};

std::vector<uint8_t> MakePCX(const TPCXSpec& S) {
  std::vector<uint8_t> D(128, 0);
  auto Put16 = [&](int O, int V) { D[size_t(O)] = uint8_t(V), D[size_t(O + 1)] = uint8_t(V >> 8); };
  D[0] = 0x0A, D[1] = uint8_t(S.Version), D[2] = 1, D[3] = uint8_t(S.Bits);
  Put16(4, S.XMin), Put16(8, S.XMin + S.W - 1), Put16(10, S.H - 1);
  for (int I = 0; I < 48; ++I)
    D[size_t(16 + I)] = uint8_t(200 - I); // header colour map
  D[64] = uint8_t(S.Reserved), D[65] = uint8_t(S.Planes);
  Put16(66, S.BytesPerLine), Put16(68, S.PaletteInfo);
  const size_t Len = size_t(S.Planes * S.BytesPerLine);
  for (size_t Line = 0; Line + Len <= S.Lines.size(); Line += Len)
    for (size_t I = Line, Run; I < Line + Len; I += Run) {
      for (Run = 1; I + Run < Line + Len && Run < 63 && S.Lines[I + Run] == S.Lines[I];)
        ++Run;
      if (Run > 1 || S.Lines[I] >= 0xC0) D.push_back(uint8_t(0xC0 | Run));
      D.push_back(S.Lines[I]);
    }
  D.insert(D.end(), S.Tail.begin(), S.Tail.end());
  return D;
}

std::vector<uint8_t> Palette256() {
  std::vector<uint8_t> P = {12};
  for (int I = 0; I < 768; ++I)
    P.push_back(uint8_t(I * 5));
  return P;
}

std::string LoadError(const std::vector<uint8_t>& D, TPixelGraphic& G, int Index = 0) {
  TPGMemoryStream S(D.data(), D.size());
  try {
    G.LoadFromStreamExt(S, "pcx", Index);
  } catch (const EPixelGraphic& E) {
    return E.what();
  }
  return "";
}

TEST(PCXDecode, EveryVariantGivesItsDepthPaletteAndPixels) {
  const TRGB Map1 = RGBOf(197, 196, 195); // header colour map entry 1
  const struct Case {
    const char* Name;
    TPCXSpec Layout;
    int BitCount;
    std::vector<uint32_t> Values; // first row, by GetPixelValue (colours for 24 bits)
    int PaletteIndex;
    TRGB PaletteEntry;
  } Cases[] = {
      // Odd bytes per line: the extra byte is not a pixel.
      {"8 bits",
       {5, 8, 1, 3, 1, 5, 1, 0, 0, {1, 2, 3, 4, 5}, Palette256()},
       8,
       {1, 2, 3},
       3,
       RGBOf(45, 50, 55)},
      {"24 bits",
       {5, 8, 3, 2, 1, 3, 1, 0, 0, {1, 2, 0, 3, 4, 0, 5, 6, 0}},
       24,
       {RGBOf(1, 3, 5), RGBOf(2, 4, 6)},
       -1,
       0},
      // Pixel 0 in planes 0 and 2, pixel 9 in plane 3.
      {"4 planes v5",
       {5, 1, 4, 10, 1, 2, 1, 0, 0, {0x80, 0, 0, 0, 0x80, 0, 0, 0x40}},
       4,
       {5, 0, 0, 0, 0, 0, 0, 0, 0, 8},
       1,
       Map1},
      {"4 planes v3",
       {3, 1, 4, 2, 1, 1, 1, 0, 0, {0x40, 0x40, 0, 0}},
       4,
       {0, 3},
       9,
       RGBOf(255, 0, 0)},
      // Bits beyond the width are cleared.
      {"1 bit",
       {5, 1, 1, 12, 1, 3, 1, 0, 0, {0xA5, 0xFF, 0xEE}},
       1,
       {1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 1, 1},
       1,
       RGBOf(255, 255, 255)},
      {"2 bits", {5, 2, 1, 5, 1, 2, 1, 0, 0, {0x1B, 0xC0}}, 4, {0, 1, 2, 3, 3}, 1, Map1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TPixelGraphic G;
    ASSERT_EQ(LoadError(MakePCX(C.Layout), G), "");
    EXPECT_EQ(G.BitCount(), C.BitCount);
    EXPECT_EQ(G.Width(), C.Layout.W);
    for (size_t X = 0; X < C.Values.size(); ++X)
      EXPECT_EQ(G.GetPixelValue(int(X), 0), C.Values[X]);
    if (C.PaletteIndex >= 0) {
      EXPECT_EQ(G.GetPaletteEntry(C.PaletteIndex), C.PaletteEntry);
    }
    if (C.BitCount == 1) {
      EXPECT_EQ(G.ScanLine(0)[1], 0xF0);
    }
  }
}

TEST(PCXDecode, RunsStopAtTheEndOfTheirScanLine) {
  TPCXSpec S{5, 8, 1, 4, 2, 4};
  S.Tail = {0xC6, 9, 1, 2, 3, 4}; // a run of 6 for a line of 4, then literals
  const auto P = Palette256();
  S.Tail.insert(S.Tail.end(), P.begin(), P.end());
  TPixelGraphic G;
  ASSERT_EQ(LoadError(MakePCX(S), G), "");
  for (int X = 0; X < 4; ++X)
    EXPECT_EQ(G.GetPixelValue(X, 0) * 10 + G.GetPixelValue(X, 1), 91u + X);
}

TEST(PCXErrors, MalformedFilesFailKeepingWhatWasDecoded) {
  const TPCXSpec Mono{5, 1, 1, 16, 2, 2, 1, 0, 0, {1, 2, 3, 4}};
  auto With = [&](auto Change) {
    TPCXSpec S = Mono;
    Change(S);
    return MakePCX(S);
  };
  auto Truncated = MakePCX(Mono);
  Truncated.pop_back();
  const std::string Unknown = "PCX: Unknown subformat";
  const struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    int Index;
    std::string Error;
  } Cases[] = {
      {"grey palette info", With([](TPCXSpec& S) { S.PaletteInfo = 2; }), 0, Unknown},
      {"reserved byte", With([](TPCXSpec& S) { S.Reserved = 1; }), 0, Unknown},
      {"4 bits in 1 plane", With([](TPCXSpec& S) { S.Bits = 4; }), 0, Unknown},
      {"line too short", With([](TPCXSpec& S) { S.BytesPerLine = 1; }), 0, Unknown},
      {"no palette marker",
       With([](TPCXSpec& S) { S.Bits = 8, S.BytesPerLine = 16, S.Tail.assign(769, 0); }), 0,
       Unknown},
      {"empty window", With([](TPCXSpec& S) { S.XMin = 5, S.W = 0; }), 0,
       "PCX: Width = 0 or Height = 0"},
      {"index 1", MakePCX(Mono), 1, "PCX: Index invalid"},
      {"truncated", Truncated, 0, "PCX: Unexpected end of file"},
      {"huge, no data", With([](TPCXSpec& S) { S.W = S.H = 16000, S.BytesPerLine = 2000; }), 0,
       "PCX: Unexpected end of file"},
      {"beyond the pixel limit",
       With([](TPCXSpec& S) { S.W = S.H = 60000, S.BytesPerLine = 7500; }), 0,
       "PCX: CreateDIBSection failed"},
  };
  for (const Case& C : Cases) {
    TPixelGraphic G;
    EXPECT_EQ(LoadError(C.Data, G, C.Index), C.Error) << C.Name;
  }

  TPixelGraphic G;
  int Ends = 0;
  G.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  EXPECT_EQ(LoadError(Truncated, G), "PCX: Unexpected end of file");
  EXPECT_EQ(std::tuple(Ends, G.ScanLine(0)[0], G.ScanLine(0)[1]), std::tuple(1, 1, 2));

  // The palette check leaves the stream where it was.
  const auto NoMarker =
      With([](TPCXSpec& S) { S.Bits = 8, S.BytesPerLine = 16, S.Tail.assign(769, 11); });
  TPGMemoryStream M(NoMarker.data(), NoMarker.size());
  EXPECT_THROW(FindReader(M, "")->ReadGraphic(M, G, 0), EPGPCXFileFormatReader);
  EXPECT_EQ(M.Position(), 128);
}

TEST(PCXInfo, DescribesTheHeader) {
  const struct Case {
    int Version, Bits, Planes;
    const char *SubType, *Colors;
  } Cases[] = {{0, 1, 1, "Version 2.5 (0)", "2"},
               {2, 1, 4, "Version 2.8 (2) with Palette", "16"},
               {3, 1, 4, "Version 2.8 (3) without Palette", "16"},
               {5, 8, 1, "Version 3.0 (5)", "256"},
               {4, 8, 3, "", "16.7M"}};
  for (const Case& C : Cases) {
    const auto D = MakePCX(TPCXSpec{C.Version, C.Bits, C.Planes, 30, 7, 30});
    TPGMemoryStream M(D.data(), D.size());
    TGraphicFileInfo I;
    FindReader(M, "")->GetInfo(M, 0, I);
    EXPECT_EQ(I.SubType + "/" + I.Colors, std::string(C.SubType) + "/" + C.Colors);
    EXPECT_EQ(std::tuple(I.BitsPerPixel, I.Width, I.Height), std::tuple(C.Bits * C.Planes, 30, 7));
    EXPECT_THROW(FindReader(M, "")->GetInfo(M, 1, I), EPGPCXFileFormatReader);
  }
}

TEST(PCXCorpus, FilesMatchReferencesOrFailCleanly) {
  if (CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  int Matched = 0;
  for (const ManifestEntry& E : ManifestFor("PCX")) {
    SCOPED_TRACE(E.Path);
    TPixelGraphic G;
    const std::string Error = LoadError(ReadFileBytes(CorpusDir() + "/" + E.Path), G);
    if (E.Category == "invalid") {
      EXPECT_EQ(Error.rfind("PCX: ", 0), 0u) << Error;
    }
    if (E.References.empty()) continue;
    ASSERT_EQ(Error, "");
    RGBAImage Ref;
    ASSERT_TRUE(LoadPNGReference(CorpusDir() + "/" + E.References[0], Ref));
    EXPECT_EQ(CountDifferences(ToRGBA(G), Ref, !Ref.Opaque()), 0);
    ++Matched;
  }
  EXPECT_EQ(Matched, 7);
}

} // namespace
