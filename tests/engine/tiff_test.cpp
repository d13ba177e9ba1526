// TIFF reader and writer: write-then-read over every layout, crafted malformed files, the
// writer's layout and PackBits coding, multi-image files and the corpus.
#include "engine/formats/tiff.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

using namespace orbisk;
using namespace orbisk::test;

namespace {

// The options the helpers below write and read with; every test starts from the defaults.
TWriteOptions WriteOpts;
TReadOptions ReadOpts;

class TIFFTest : public ::testing::Test {
protected:
  void TearDown() override {
    WriteOpts = TWriteOptions{};
    ReadOpts = TReadOptions{};
    SetEnginePrompt(nullptr);
  }
};

std::vector<uint8_t> Write(TPixelGraphic& G) {
  TPGMemoryStream S;
  TTIFFileFormatWriter().WriteGraphic(S, G, WriteOpts);
  return S.Bytes();
}

// "" when the data loads, else the error text.
std::string Read(const std::vector<uint8_t>& Data, TPixelGraphic& G, int Index = 0) {
  TPGMemoryStream S(Data.data(), Data.size());
  try {
    TTIFFileFormatReader().ReadGraphic(S, G, Index, ReadOpts);
  } catch (const EPixelGraphic& E) {
    return E.what();
  }
  return "";
}

TGraphicFileInfo Info(const std::vector<uint8_t>& Data) {
  TPGMemoryStream S(Data.data(), Data.size());
  TGraphicFileInfo I;
  TTIFFileFormatReader().GetInfo(S, 0, I, ReadOpts);
  return I;
}

// 47 x 33 with long runs and noise, so PackBits meets literals, short and long runs.
void Fill(TPixelGraphic& G, int Code, TPaletteIdent Kind) {
  G.SetSize(47, 33, Code);
  if (Kind == pUnknown) {
    G.SetPaletteCount(G.ColorCount());
    for (int I = 0; I < G.ColorCount(); ++I)
      G.SetPaletteEntry(I, RGBOf(I * 7 % 256, I, 255 - I));
  } else if (Code < 3) {
    G.SetPaletteKind(Kind);
  }
  uint32_t Seed = 12345;
  for (int Y = 0; Y < 33; ++Y)
    for (int X = 0; X < 47; ++X) {
      Seed = Seed * 1103515245 + 12345;
      uint32_t V = (X / 9 + Y) % 3 == 0 ? 0x0102FFu * (Y % 4) : Seed >> 8;
      G.SetPixelValue(X, Y, Code == 3 ? V & 0xFFFFFF : V % G.ColorCount());
    }
}

TEST_F(TIFFTest, WriteThenReadEveryLayoutOrderAndCompression) {
  struct Layout {
    int Code;
    TPaletteIdent Kind;
    bool CMYK, WhiteIsZero;
  };
  const Layout Layouts[] = {{0, pBlackWhite, false, false}, {0, pBlackWhite, false, true},
                            {1, pGray16, false, false},     {1, pGray16, false, true},
                            {1, pUnknown, false, false},    {2, pGray256, false, false},
                            {2, pGray256, false, true},     {2, pUnknown, false, true},
                            {3, pTrueColor, false, false},  {3, pTrueColor, true, false}};
  for (const Layout& L : Layouts)
    for (bool BE : {false, true})
      for (int Compression : {kTIFFCompressionNone, kTIFFCompressionPackBits}) {
        SCOPED_TRACE(testing::Message()
                     << L.Code << " kind " << L.Kind << " cmyk " << L.CMYK << " wiz "
                     << L.WhiteIsZero << " be " << BE << " " << Compression);
        WriteOpts.TIFFBigEndian = BE;
        WriteOpts.TIFFCompression = Compression;
        WriteOpts.TIFFWriteCMYK = L.CMYK;
        WriteOpts.TIFFWhiteIsZero = L.WhiteIsZero;
        TPixelGraphic Src, Back;
        Fill(Src, L.Code, L.Kind);
        auto Data = Write(Src);
        TPGMemoryStream S(Data.data(), Data.size());
        EXPECT_EQ(FindReader(S, "")->Extension, "tif");
        ASSERT_EQ(Read(Data, Back), "");
        ASSERT_EQ(Back.BitCountNum(), L.Code);
        EXPECT_EQ(CountDifferences(ToRGBA(Src), ToRGBA(Back), false), 0);
        for (int Y = 0; Y < 33; ++Y)
          ASSERT_EQ(0, memcmp(Src.ScanLine(Y), Back.ScanLine(Y), (Src.BitCount() * 47 + 7) / 8));
      }
}

TEST(TIFFPackBits, EncodesRuns) {
  const std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> Cases = {
      {std::vector<uint8_t>(130, 'A'), {0x81, 'A', 0xFF, 'A'}}, // 128 + 2
      {{'A', 'B', 'B', 'C'}, {3, 'A', 'B', 'B', 'C'}},          // two-run between singles
      {{'A', 'A', 'B'}, {2, 'A', 'A', 'B'}},
      {{'A', 'B', 'B'}, {2, 'A', 'B', 'B'}},
      {{'A', 'A', 'B', 'B'}, {0xFF, 'A', 0xFF, 'B'}},
      {{'A', 'B', 'B', 'B', 'C'}, {0, 'A', 0xFE, 'B', 0, 'C'}},
  };
  for (const auto& [Row, Coded] : Cases) {
    std::vector<uint8_t> Out;
    PackBitsEncodeRow(Row.data(), Row.size(), Out);
    EXPECT_EQ(Out, Coded) << "row of " << Row.size();
  }
  std::vector<uint8_t> Ramp(200), Out; // literals are cut at 128
  for (int I = 0; I < 200; ++I)
    Ramp[I] = uint8_t(I);
  PackBitsEncodeRow(Ramp.data(), Ramp.size(), Out);
  ASSERT_EQ(Out.size(), 202u);
  EXPECT_EQ(Out[129], 71);
}

// Tag -> (count, value field) of the first IFD of a little-endian file.
std::map<int, std::pair<uint32_t, uint32_t>> Entries(const std::vector<uint8_t>& D) {
  auto U16 = [&](size_t P) { return uint32_t(D[P] | D[P + 1] << 8); };
  auto U32 = [&](size_t P) { return U16(P) | U16(P + 2) << 16; };
  std::map<int, std::pair<uint32_t, uint32_t>> M;
  for (uint32_t I = 0, IFD = U32(4); I < U16(IFD); ++I) {
    size_t E = IFD + 2 + 12 * I;
    M[U16(E)] = {U32(E + 4), U16(E + 2) == 3 && U32(E + 4) == 1 ? U16(E + 8) : U32(E + 8)};
  }
  return M;
}

TEST_F(TIFFTest, StripsAndResolutionAreLaidOutAsPromised) {
  TPixelGraphic G;
  G.SetSize(100, 100, 3);
  WriteOpts.TIFFYResolution = {254, 10};
  WriteOpts.TIFFResolutionUnit = 2;
  auto D = Write(G);
  auto E = Entries(D);
  EXPECT_EQ(E[278].second, 100u); // 32767 div 300, cut to the height
  EXPECT_EQ(E[273].first, 1u);
  EXPECT_EQ(E[279].second, 30000u);
  EXPECT_EQ(E[273].second + 30000u, D.size());
  EXPECT_EQ(E[296].second, 3u);
  EXPECT_EQ(D[E[283].second + 4], 10);
  WriteOpts.TIFFCompression = kTIFFCompressionPackBits;
  E = Entries(Write(G));
  EXPECT_EQ(E[278].second, 54u); // 32767 div 600
  EXPECT_EQ(E[279].first, 2u);
}

TEST_F(TIFFTest, WriterRefusesBadInputBeforeWritingAnything) {
  TPixelGraphic Empty, G;
  G.SetSize(3, 3, 3);
  const std::vector<std::tuple<std::function<void()>, TPixelGraphic*, std::string>> Cases = {
      {[] {}, &Empty, "TIFF: Width = 0 or Height = 0"},
      {[] { WriteOpts.TIFFCompression = 5; }, &G, "TIFF: Internal Error"},
      {[] {
         WriteOpts.TIFFXResolution = {300, 0};
       },
       &G, "TIFF: XResolution invalid"},
      {[] {
         WriteOpts.TIFFYResolution = {300, 0};
       },
       &G, "TIFF: YResolution invalid"}};
  for (const auto& [Set, Image, Message] : Cases) {
    TearDown();
    Set();
    TPGMemoryStream S;
    std::string Err;
    try {
      TTIFFileFormatWriter().WriteGraphic(S, *Image, WriteOpts);
    } catch (const EPGTIFFileFormatWriter& E) {
      Err = E.what();
    }
    EXPECT_EQ(Err, Message);
    EXPECT_EQ(S.Size(), 0);
  }
}

// ---- crafted files ---------------------------------------------------------------------------

struct Tag {
  uint16_t Id, Type;
  std::vector<uint32_t> Values;
};

// Little-endian header, one IFD at 8, out-of-line values, then the strips; StripOffsets and
// StripByteCounts are added unless the tags hold StripOffsets.
std::vector<uint8_t> Craft(std::vector<Tag> Tags, const std::vector<std::vector<uint8_t>>& Strips,
                           uint32_t NextIFD = 0) {
  auto Size = [](uint16_t T) { return T == 1 ? 1u : T == 3 ? 2u : 4u; };
  const bool Auto = std::none_of(Tags.begin(), Tags.end(), [](auto& T) { return T.Id == 273; });
  if (Auto) {
    Tags.push_back({273, 4, {}});
    Tags.push_back({279, 4, {}});
    for (auto& S : Strips)
      Tags.back().Values.push_back(uint32_t(S.size()));
  }
  uint32_t Pos = 8 + 2 + 12 * uint32_t(Tags.size()) + 4;
  for (auto& T : Tags)
    if (T.Values.size() * Size(T.Type) > 4) Pos += uint32_t(T.Values.size()) * Size(T.Type);
  for (size_t I = 0; Auto && I < Strips.size(); Pos += uint32_t(Strips[I++].size()))
    Tags[Tags.size() - 2].Values.push_back(Pos);
  std::vector<uint8_t> Out = {'I', 'I'}, Extra;
  auto Put = [](std::vector<uint8_t>& To, uint32_t V, unsigned N) {
    for (unsigned I = 0; I < N; ++I)
      To.push_back(uint8_t(V >> 8 * I));
  };
  Put(Out, 42, 2);
  Put(Out, 8, 4);
  Put(Out, uint32_t(Tags.size()), 2);
  const uint32_t ExtraPos = 8 + 2 + 12 * uint32_t(Tags.size()) + 4;
  for (auto& T : Tags) {
    Put(Out, T.Id, 2);
    Put(Out, T.Type, 2);
    Put(Out, uint32_t(T.Values.size()), 4);
    std::vector<uint8_t> Field;
    for (uint32_t V : T.Values)
      Put(Field, V, Size(T.Type));
    if (Field.size() > 4) {
      Put(Out, ExtraPos + uint32_t(Extra.size()), 4);
      Extra.insert(Extra.end(), Field.begin(), Field.end());
    } else {
      Field.resize(4, 0);
      Out.insert(Out.end(), Field.begin(), Field.end());
    }
  }
  Put(Out, NextIFD, 4);
  Out.insert(Out.end(), Extra.begin(), Extra.end());
  for (auto& S : Strips)
    Out.insert(Out.end(), S.begin(), S.end());
  return Out;
}

// W x H with the given photometric, samples, bits and compression.
std::vector<Tag> Basic(uint32_t W, uint32_t H, uint32_t Photometric, uint32_t Samples,
                       uint32_t Bits = 8, uint32_t Compression = 1) {
  return {{256, 4, {W}},
          {257, 3, {H}},
          {258, 3, std::vector(Samples, Bits)},
          {259, 3, {Compression}},
          {262, 3, {Photometric}},
          {277, 3, {Samples}},
          {278, 4, {H}}};
}

std::vector<Tag> With(std::vector<Tag> T, const Tag& Changed) {
  auto It = std::find_if(T.begin(), T.end(), [&](auto& X) { return X.Id == Changed.Id; });
  if (It != T.end())
    *It = Changed;
  else
    T.push_back(Changed);
  return T;
}

TEST_F(TIFFTest, MalformedAndUnsupportedFilesFailWithTheirMessage) {
  const std::vector<uint8_t> Px(16, 9);
  const auto G = Basic(4, 4, 1, 1);
  const std::string Strips = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
  auto Cut = Craft(With(G, {273, 4, {8, 8, 8, 8}}), {Px});
  Cut.resize(Cut.size() - 20); // ends inside the StripOffsets array
  const std::vector<std::pair<std::vector<uint8_t>, std::string>> Cases = {
      {{'I', 'I', 43, 0, 8, 0, 0, 0}, "TIFF: Not a TIF file"},
      {{'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "TIFF: Invalid RowsPerStrip"}, // no tags
      {Craft(Basic(4, 4, 2, 3, 8, 5), {Px}), "TIFF: Unsupported compression LZW"},
      // Any bytes are some fax picture: strips without data make these fail to decode.
      {Craft(Basic(4, 4, 0, 1, 1, 2), {{}}), "TIFF: Unsupported compression CCITT 1D"},
      {Craft(Basic(4, 4, 0, 1, 1, 3), {{}}), "TIFF: Unsupported compression Group 3 Fax"},
      {Craft(Basic(4, 4, 0, 1, 1, 4), {{}}), "TIFF: Unsupported compression Group 4 Fax"},
      {Craft(Basic(4, 4, 2, 3, 8, 6), {Px}), "TIFF: Unsupported compression JPEG"},
      {Craft(Basic(4, 4, 1, 1, 8, 8), {Px}), "TIFF: Unsupported compression 8"},
      {Craft(Basic(4, 4, 1, 1, 16), {Px}), "TIFF: Invalid SamplesPerPixel"},
      {Craft(Basic(4, 4, 1, 2), {Px}), "TIFF: Invalid SamplesPerPixel"},
      {Craft(Basic(4, 4, 6, 3), {Px}), "TIFF: Invalid SamplesPerPixel"},
      {Craft(With(G, {258, 3, {8, 8}}), {Px}), "TIFF: Invalid count of SamplesPerPixel"},
      {Craft(With(G, {284, 3, {2}}), {Px}), "TIFF: PlanarConfiguration invalid"},
      {Craft(With(G, {257, 9, {4}}), {Px}), "TIFF: Unsupported field Type: 9"},
      {Craft(With(G, {278, 4, {0}}), {Px, Px}), "TIFF: Invalid RowsPerStrip"},
      {Craft(With(G, {278, 4, {1}}), {Px, Px}), Strips},
      {Craft(With(G, {273, 4, {}}), {}), Strips},
      {Craft(With(G, {256, 4, {0}}), {Px}), "TIFF: Width = 0 or Height = 0"},
      {Craft(With(G, {256, 4, {0x7FFFFFFF}}), {Px}), "CreateDIBSection failed"},
      {Cut, "TIFF: Unexpected end of file"},
      {Craft(With(G, {273, 4, {1u << 30}}), {}), "TIFF: Unexpected end of file"},
      {Craft(G, {{1, 2, 3}}), "Stream read error"},
      {Craft(Basic(2, 2, 3, 1), {Px}), "TIFF: ColorMap invalid"},
  };
  for (size_t I = 0; I < Cases.size(); ++I) {
    TPixelGraphic P;
    EXPECT_EQ(Read(Cases[I].first, P), Cases[I].second) << "case " << I;
  }
}

TEST_F(TIFFTest, DamagedPackBitsKeepsTheRowsRead) {
  auto Tags = Basic(4, 3, 1, 1, 8, kTIFFCompressionPackBits);
  TPixelGraphic P; // row 0 a literal, row 1 a run, row 2 cut short
  EXPECT_EQ(Read(Craft(Tags, {{3, 10, 20, 30, 40, 0xFD, 77, 1, 5}}), P),
            "TIFF: Unexpected end of file");
  EXPECT_EQ(P.GetPixelValue(3, 0), 40u);
  EXPECT_EQ(P.GetPixelValue(2, 1), 77u);
  EXPECT_EQ(Read(Craft(Tags, {{3, 10, 20, 30, 40, 0xFC, 77}}), P),
            "TIFF (PackBits): Invalid count of bytes in row 1");
  EXPECT_EQ(P.GetPixelValue(1, 0), 20u);
}

TEST_F(TIFFTest, StoredSamplesBecomeTheRightColours) {
  auto Pal = With(Basic(2, 1, 3, 1, 1), {320, 3, {0, 0xFFFF, 0, 0x8080, 0, 0}});
  const std::vector<Tag> Bare = {{256, 3, {8}}, {257, 3, {1}}, {262, 3, {1}}};
  struct Case {
    std::vector<uint8_t> File;
    std::vector<TRGB> Colours; // of the first pixels of the row
  };
  const Case Cases[] = {
      // CMYK: 255 - C - K, clamped at 0
      {Craft(Basic(2, 1, 5, 4), {{0, 255, 255, 0, 100, 50, 0, 200}}), {0x0000FF, 0x370500}},
      {Craft(Basic(1, 1, 2, 4), {{1, 2, 3, 4}}), {RGBOf(1, 2, 3)}}, // fourth sample ignored
      {Craft(Basic(2, 1, 0, 1, 4), {{0x0F}}), {0xFFFFFF, 0}},       // WhiteIsZero grey
      {Craft(Basic(3, 1, 0, 1, 1), {{0x40}}), {0xFFFFFF, 0, 0xFFFFFF}},
      {Craft(Pal, {{0x40}}), {0, RGBOf(255, 128, 0)}}, // two-colour palette keeps its colours
      {Craft(Bare, {{0x81}}), {0xFFFFFF, 0, 0, 0, 0, 0, 0, 0xFFFFFF}}, // baseline defaults
  };
  for (const Case& C : Cases) {
    TPixelGraphic P;
    ASSERT_EQ(Read(C.File, P), "");
    for (size_t X = 0; X < C.Colours.size(); ++X)
      EXPECT_EQ(P.GetPixelColor(int(X), 0), C.Colours[X]) << &C - Cases << " x " << X;
  }
}

TEST_F(TIFFTest, OneStripWithAWrongRowsPerStripFollowsTheWarningAction) {
  const auto Tags = With(Basic(2, 3, 1, 1), {278, 4, {1}}); // declares 3 strips, has 1
  const std::vector<uint8_t> Strip = {1, 2, 3, 4, 5, 6};
  const std::tuple<TPGWarningAction, bool, bool> Cases[] = {{pgwaIgnore, false, true},
                                                            {pgwaOKCancelBox, true, true},
                                                            {pgwaOKCancelBox, false, false},
                                                            {pgwaOKBox, true, false},
                                                            {pgwaRaise, true, false}};
  for (const auto& [Action, Answer, Loads] : Cases) {
    std::string Shown;
    SetEnginePrompt([&, Answer = Answer](const std::string& Cap, const std::string& T, bool) {
      Shown = Cap + "|" + T;
      return Answer;
    });
    TPixelGraphic P;
    P.ReadWarningAction = Action;
    std::string Err = Read(Craft(Tags, {Strip}), P);
    EXPECT_EQ(Err.empty(), Loads) << Action << " " << Err;
    if (Loads) {
      EXPECT_EQ(P.GetPixelValue(1, 2), 6u);
    }
    if (Action != pgwaIgnore && Action != pgwaRaise) {
      EXPECT_EQ(Shown.substr(0, 20), "TIFF-Warning|TIFF: N");
    }
  }
  // 2^32 - 1 rows per strip is one strip: no warning.
  TPixelGraphic P;
  P.ReadWarningAction = pgwaRaise;
  EXPECT_EQ(Read(Craft(With(Tags, {278, 4, {0xFFFFFFFF}}), {Strip}), P), "");
}

TEST_F(TIFFTest, AbortStopsReadingWithoutError) {
  TPixelGraphic Src, P;
  Fill(Src, 2, pGray256);
  int Ends = 0;
  P.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step == 4; };
  P.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  EXPECT_EQ(Read(Write(Src), P), "");
  EXPECT_EQ(Ends, 1);
  const std::vector<uint8_t> Zero(47, 0);
  EXPECT_EQ(0, memcmp(P.ScanLine(4), Src.ScanLine(4), 47));
  EXPECT_EQ(0, memcmp(P.ScanLine(5), Zero.data(), 47));
}

TEST_F(TIFFTest, GetInfoDescribesSupportedAndUnsupportedFiles) {
  TPixelGraphic G;
  Fill(G, 3, pTrueColor);
  WriteOpts.TIFFBigEndian = WriteOpts.TIFFWriteCMYK = true;
  WriteOpts.TIFFCompression = kTIFFCompressionPackBits;
  auto I = Info(Write(G));
  EXPECT_EQ(I.SubType + " " + I.Colors + " " + std::to_string(I.BitsPerPixel),
            "M, PackBits, CMYK 16.7 M 32");
  I = Info(Craft(Basic(4, 4, 2, 3, 8, 5), {{0}}));
  EXPECT_EQ(I.SubType + " " + I.Options, "I, LZW, RGB (Unsupported compression)");
  I = Info(Craft(Basic(4, 4, 0, 1, 4), {{0}}));
  EXPECT_EQ(I.SubType + " " + I.Colors + " " + std::to_string(I.Width),
            "I, Uncompr., WhiteIsZero 16 4");
}

// Three one-pixel-high images k + 1 wide holding k; the last IFD points back when Loop.
std::vector<uint8_t> Chain(bool Loop) {
  std::vector<uint8_t> All;
  const uint32_t Size = uint32_t(Craft(Basic(1, 1, 1, 1), {{0}}).size()) + 2;
  for (uint32_t K = 0; K < 3; ++K) {
    auto F = Craft(Basic(K + 1, 1, 1, 1), {{uint8_t(K), 7, 7}},
                   K < 2  ? Size * (K + 1) + 8
                   : Loop ? 8
                          : 0);
    uint8_t* Strip = &F[8 + 2 + 12 * 7 + 8]; // the strip offset, moved with the copy
    const uint32_t Moved = uint32_t(Strip[0] | Strip[1] << 8) + Size * K;
    Strip[0] = uint8_t(Moved);
    Strip[1] = uint8_t(Moved >> 8);
    F.resize(Size);
    All.insert(All.end(), F.begin(), F.end());
  }
  return All;
}

TEST_F(TIFFTest, AllImagesAreCountedAndChosenWhenAsked) {
  TPixelGraphic P;
  EXPECT_EQ(Info(Chain(false)).GraphicCount, 1);
  EXPECT_NE(Read(Chain(false), P, 1), "");
  ReadOpts.TIFFReadAllImages = true;
  EXPECT_EQ(Info(Chain(false)).GraphicCount, 3);
  EXPECT_EQ(Read(Chain(false), P, 2), "");
  EXPECT_EQ(P.Width() * 10 + int(P.GetPixelValue(0, 0)), 32);
  EXPECT_EQ(Read(Chain(false), P, 3), "TIFF: Index invalid");
  EXPECT_EQ(Info(Chain(true)).GraphicCount, 1); // a looping chain counts as one image
  ReadOpts.TIFFMaxImages = 2;
  EXPECT_EQ(Info(Chain(false)).GraphicCount, 1);
}

// A reference PNG as 8-bit RGBA composited onto black (the picture's default background):
// 16-bit references are read without conversion (the simplified reader's linear form, alpha
// premultiplied) and rounded to 8 bits. Wide: the reference had 16-bit samples. Premultiplied:
// 8-bit colours are taken as already multiplied by alpha (some references of files with
// associated alpha hold the stored samples as they are).
bool LoadFlattenedReference(const std::string& Path, RGBAImage& Out, bool& Wide,
                            bool Premultiplied) {
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Img, Path.c_str())) return false;
  Wide = (Img.format & PNG_FORMAT_FLAG_LINEAR) != 0;
  Img.format = Wide ? PNG_FORMAT_LINEAR_RGB_ALPHA : PNG_FORMAT_RGBA;
  std::vector<uint8_t> Raw(PNG_IMAGE_SIZE(Img));
  if (!png_image_finish_read(&Img, nullptr, Raw.data(), 0, nullptr)) {
    png_image_free(&Img);
    return false;
  }
  Out.Width = int(Img.width);
  Out.Height = int(Img.height);
  Out.Pixels.resize(size_t(Out.Width) * Out.Height * 4);
  for (size_t I = 0; I < Out.Pixels.size(); I += 4) {
    for (size_t C = 0; C < 4; ++C) {
      unsigned V;
      if (Wide) {
        uint16_t W16;
        std::memcpy(&W16, &Raw[2 * (I + C)], 2);
        V = (W16 + 128u) / 257u;
      } else {
        V = Raw[I + C];
        if (C < 3 && !Premultiplied) V = (V * Raw[I + 3] + 127) / 255;
      }
      Out.Pixels[I + C] = uint8_t(V);
    }
  }
  return true;
}

TEST(TIFFCorpus, FilesLoadMatchTheirReferencesOrFailCleanly) {
  const std::string Dir = CorpusDir();
  if (Dir.empty()) GTEST_SKIP() << "corpus folder absent";
  int Loaded = 0, Matched = 0;
  for (const ManifestEntry& E : ManifestFor("TIFF")) {
    TPixelGraphic P;
    P.ReadWarningAction = pgwaIgnore;
    try {
      P.LoadFromFile(Dir + "/" + E.Path);
    } catch (const EPixelGraphic&) {
      continue; // refusing is fine; any other exception or a crash fails the test
    }
    ++Loaded;
    for (const std::string& Ref : E.References) {
      RGBAImage Want, WantPremultiplied;
      bool Wide = false;
      if (Ref.size() < 4 || Ref.substr(Ref.size() - 4) != ".png") continue;
      ASSERT_TRUE(LoadFlattenedReference(Dir + "/" + Ref, Want, Wide, false)) << Ref;
      ASSERT_TRUE(LoadFlattenedReference(Dir + "/" + Ref, WantPremultiplied, Wide, true));
      // 16-bit samples are cut to their high byte, the reference rounds them.
      const int Tolerance = Wide || !Want.Opaque() ? 1 : 0;
      EXPECT_EQ(std::min(CountDifferences(ToRGBA(P), Want, false, Tolerance),
                         CountDifferences(ToRGBA(P), WantPremultiplied, false, Tolerance)),
                0)
          << E.Path;
      ++Matched;
    }
  }
  EXPECT_GE(Matched, 5);
  std::printf("TIFF corpus: %d files loaded, %d matched their reference\n", Loaded, Matched);
}

} // namespace
