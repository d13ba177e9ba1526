#include "engine/formats/gif.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <unordered_map>

using namespace orbisk;
using namespace orbisk::test;

namespace {

struct TBitWriter {
  std::vector<uint8_t> Bytes;
  uint32_t Acc = 0;
  int N = 0;
  TBitWriter& Put(uint32_t Code, int Width) {
    for (Acc |= Code << N, N += Width; N >= 8; Acc >>= 8, N -= 8)
      Bytes.push_back(uint8_t(Acc));
    return *this;
  }
  std::vector<uint8_t> Finish() {
    if (N > 0) Bytes.push_back(uint8_t(Acc));
    return Bytes;
  }
};

// Plain GIF LZW; without ClearWhenFull it goes on coding with a full table.
std::vector<uint8_t> LZWEncode(const std::vector<uint8_t>& Px, int M, bool ClearWhenFull = true) {
  const uint32_t Clear = 1u << M;
  TBitWriter W;
  int Width = M + 1;
  uint32_t Next = Clear + 2;
  std::unordered_map<uint32_t, uint32_t> Dict;
  W.Put(Clear, Width);
  int64_t Prefix = -1;
  for (uint8_t C : Px) {
    const uint32_t Key = uint32_t(Prefix) << 8 | C;
    if (Prefix < 0 || Dict.count(Key)) {
      Prefix = Prefix < 0 ? C : Dict[Key];
      continue;
    }
    W.Put(uint32_t(Prefix), Width);
    if (Next < 4096) {
      Dict[Key] = Next++;
      if (Next > (1u << Width) && Width < 12) ++Width;
    } else if (ClearWhenFull) {
      W.Put(Clear, Width);
      Dict.clear();
      Width = M + 1;
      Next = Clear + 2;
    }
    Prefix = C;
  }
  if (Prefix >= 0) W.Put(uint32_t(Prefix), Width);
  return W.Put(Clear + 1, Width).Finish();
}

struct TFrameSpec {
  int W = 1, H = 1;
  std::vector<uint8_t> Px; // picture order, top row first
  int MinCodeSize = 8;
  int LocalBits = 0; // 0: no local table
  bool Interlaced = false;
  std::vector<uint8_t> Codes;  // instead of coding Px
  std::vector<uint8_t> Before; // blocks in front of the image descriptor
};

TFrameSpec Frame(int W, int H, std::vector<uint8_t> Px, int MinCodeSize = 8) {
  TFrameSpec F;
  F.W = W, F.H = H, F.Px = std::move(Px), F.MinCodeSize = MinCodeSize;
  return F;
}

void Put16(std::vector<uint8_t>& D, int V) {
  D.insert(D.end(), {uint8_t(V), uint8_t(V >> 8)});
}

void PutTable(std::vector<uint8_t>& D, int Bits) {
  for (int I = 0; I < (1 << Bits); ++I)
    D.insert(D.end(), {uint8_t(I * 7), uint8_t(I), uint8_t(~I)});
}

std::vector<uint8_t> MakeGIF(int GlobalBits, const std::vector<TFrameSpec>& Frames) {
  std::vector<uint8_t> D = {'G', 'I', 'F', '8', '9', 'a', 64, 0, 64, 0};
  D.insert(D.end(), {uint8_t(GlobalBits ? 0x80 | (GlobalBits - 1) : 0), 0, 0});
  if (GlobalBits) PutTable(D, GlobalBits);
  for (const TFrameSpec& F : Frames) {
    D.insert(D.end(), F.Before.begin(), F.Before.end());
    D.insert(D.end(), {0x2C, 0, 0, 0, 0});
    Put16(D, F.W);
    Put16(D, F.H);
    D.push_back(uint8_t((F.LocalBits ? 0x80 | (F.LocalBits - 1) : 0) | (F.Interlaced ? 0x40 : 0)));
    if (F.LocalBits) PutTable(D, F.LocalBits);
    D.push_back(uint8_t(F.MinCodeSize));
    std::vector<uint8_t> Rows = F.Px;
    if (F.Interlaced) { // rows 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
      Rows.clear();
      for (int P : {0, 1, 2, 3})
        for (int Y = P ? 4 >> (P - 1) : 0; Y < F.H; Y += P < 2 ? 8 : 8 >> (P - 1))
          Rows.insert(Rows.end(), F.Px.begin() + Y * F.W, F.Px.begin() + (Y + 1) * F.W);
    }
    const std::vector<uint8_t> Codes = F.Codes.empty() ? LZWEncode(Rows, F.MinCodeSize) : F.Codes;
    for (size_t I = 0; I < Codes.size(); I += 255) {
      D.push_back(uint8_t(std::min<size_t>(255, Codes.size() - I)));
      D.insert(D.end(), Codes.begin() + I, Codes.begin() + I + D.back());
    }
    D.push_back(0);
  }
  D.push_back(0x3B);
  return D;
}

std::vector<uint8_t> Random(int N, int Alphabet, unsigned Seed) {
  std::mt19937 R(Seed);
  std::vector<uint8_t> P(size_t(N), 0);
  for (auto& V : P)
    V = uint8_t(R() % unsigned(Alphabet));
  return P;
}

// The error text of a failing load ("" when it succeeds).
std::string LoadError(const std::vector<uint8_t>& D, int Index, TPixelGraphic& G) {
  TPGMemoryStream S(D.data(), D.size());
  try {
    G.LoadFromStreamExt(S, "gif", Index);
  } catch (const EPixelGraphic& E) {
    return E.what();
  }
  return "";
}

std::vector<uint8_t> Load(const std::vector<uint8_t>& D, TPixelGraphic& G, int Index = 0) {
  EXPECT_EQ(LoadError(D, Index, G), "");
  std::vector<uint8_t> V;
  for (int Y = 0; Y < G.Height(); ++Y)
    for (int X = 0; X < G.Width(); ++X)
      V.push_back(uint8_t(G.GetPixelValue(X, Y)));
  return V;
}

TEST(GIFDecode, RoundTripsAcrossSizesCodeSizesAndTableStates) {
  struct Case {
    int W, H, MinCode, Alphabet;
    bool ClearWhenFull, Interlaced;
  } Cases[] = {{1, 1, 2, 2, true, false},       {7, 3, 2, 2, true, true},
               {33, 17, 4, 16, true, true},     {47, 33, 8, 256, true, false},
               {300, 200, 8, 5, true, false},   {300, 200, 8, 5, false, false},
               {250, 250, 8, 256, false, true}, {500, 3, 8, 1, true, false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " m" << C.MinCode);
    TFrameSpec F = Frame(C.W, C.H, Random(C.W * C.H, C.Alphabet, unsigned(C.W + C.H)), C.MinCode);
    F.Interlaced = C.Interlaced;
    if (!C.Interlaced) F.Codes = LZWEncode(F.Px, C.MinCode, C.ClearWhenFull);
    TPixelGraphic G;
    EXPECT_EQ(Load(MakeGIF(8, {F}), G), F.Px);
    EXPECT_EQ(G.Width(), C.W);
  }
}

TEST(GIFDecode, InterlacedRowsAreStoredInPassOrder) {
  std::vector<uint8_t> Px;
  for (int Y = 0; Y < 8; ++Y)
    Px.insert(Px.end(), 3, uint8_t(Y));
  TFrameSpec F = Frame(3, 8, Px, 3);
  F.Interlaced = true;
  std::vector<int> Stored; // the row completed at each progress step
  TPixelGraphic G;
  G.OnProgress = [&](TPixelGraphic* S, int, bool&, int) {
    for (int Y = 1; Y < 8; ++Y)
      if (S->GetPixelValue(0, Y) == unsigned(Y) && !std::count(Stored.begin(), Stored.end(), Y))
        Stored.push_back(Y);
  };
  EXPECT_EQ(Load(MakeGIF(3, {F}), G), Px);
  EXPECT_EQ(Stored, (std::vector<int>{4, 2, 6, 1, 3, 5, 7}));
}

TEST(GIFDecode, DepthAndPaletteFollowTheTableInUse) {
  struct Case {
    int GlobalBits, LocalBits, BitCount, Entries;
    std::vector<uint8_t> Px;
  } Cases[] = {{1, 0, 1, 2, {0, 1}},   {2, 0, 4, 4, {3, 0}},     {8, 4, 4, 16, {15, 1}},
               {1, 5, 8, 32, {31, 0}}, {8, 0, 8, 256, {255, 0}}, {0, 0, 1, 1, {0, 0}},
               {2, 0, 4, 10, {9, 0}}}; // an index beyond the table grows it with black
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.GlobalBits << "/" << C.LocalBits);
    TFrameSpec F = Frame(2, 1, C.Px, 8);
    F.LocalBits = C.LocalBits;
    TPixelGraphic G;
    EXPECT_EQ(Load(MakeGIF(C.GlobalBits, {F}), G), C.Px);
    EXPECT_EQ(G.BitCount(), C.BitCount);
    EXPECT_EQ(G.PaletteCount(), C.Entries);
    const int I = C.Px[0];
    const bool InTable =
        C.GlobalBits + C.LocalBits > 0 && I < (1 << std::max(C.GlobalBits, C.LocalBits));
    EXPECT_EQ(G.GetPixelColor(0, 0), InTable ? RGBOf(uint8_t(I * 7), I, uint8_t(~I)) : 0u);
  }
}

TEST(GIFDecode, FramesByIndexAndFileInformation) {
  TFrameSpec A = Frame(4, 2, std::vector<uint8_t>(8, 1), 2),
             B = Frame(3, 5, std::vector<uint8_t>(15, 2), 2);
  TFrameSpec Empty = Frame(0, 4, {}, 2);
  Empty.Codes = {0};
  // Graphic control, comment and looping blocks in front of a frame.
  B.Before = {0x21, 0xF9, 4,   0x09, 10,   0,   3,   0,   0x21, 0xFE, 2,
              'h',  'i',  0,   0x21, 0xFF, 11,  'N', 'E', 'T',  'S',  'C',
              'A',  'P',  'E', '2',  '.',  '0', 3,   1,   5,    0,    0};
  const auto D = MakeGIF(2, {A, Empty, B});
  TPixelGraphic G;
  EXPECT_EQ(Load(D, G, 1), B.Px);
  EXPECT_FALSE(G.Transparent);
  const TGIFStructure S = ParseGIFStructure(D.data(), D.size());
  ASSERT_EQ(S.Frames.size(), 2u);
  const TGIFFrame& F = S.Frames[1];
  EXPECT_EQ(std::tuple(S.EmptyFrames, S.LoopCount, F.Disposal, F.DelayMs, F.TransparentIndex),
            std::tuple(1, 5, 2, 100, 3));
  EXPECT_EQ(F.Comment, "hi");

  TPGMemoryStream M(D.data(), D.size());
  TGraphicFileInfo I;
  FindReader(M, "")->GetInfo(M, 1, I);
  EXPECT_EQ(std::tuple(I.GraphicCount, I.Width, I.Height, I.BitsPerPixel), std::tuple(2, 3, 5, 2));
  EXPECT_EQ(I.SubType + "/" + I.Options + "/" + I.Colors, "89a/Non-interlaced/4");
  EXPECT_THROW(FindReader(M, "")->GetInfo(M, 2, I), EPixelGraphic);
}

TEST(GIFErrors, CorruptDataFailsWithTheFormatsErrorKeepingWhatWasDecoded) {
  const TFrameSpec Big = Frame(40, 40, Random(1600, 200, 9));
  auto Truncated = MakeGIF(8, {Big});
  Truncated.resize(Truncated.size() / 2);
  auto CodeSize12 = MakeGIF(1, {Frame(2, 1, {1, 0}, 2)});
  CodeSize12[19 + 10] = 12;
  auto UnknownExtension = MakeGIF(1, {Frame(1, 1, {0}, 2)});
  UnknownExtension.insert(UnknownExtension.begin() + 19, {0x21, 0x02, 0});
  auto WithCodes = [](int W, int H, std::vector<uint8_t> Codes) {
    TFrameSpec F = Frame(W, H, {}, 2);
    F.Codes = std::move(Codes);
    return MakeGIF(2, {F});
  };
  const struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    int Index;
    std::string Error;
  } Cases[] = {
      {"truncated", Truncated, 0, "GIF: Unexpected end of file"},
      {"code size 12", CodeSize12, 0, "GIF: LZW code size invalid"},
      // Clear, literal 1, then 7 although the next free code is 6.
      {"beyond next free", WithCodes(4, 1, TBitWriter().Put(4, 3).Put(1, 3).Put(7, 3).Finish()), 0,
       "GIF: LZW code invalid"},
      {"first not literal", WithCodes(4, 1, TBitWriter().Put(4, 3).Put(6, 3).Put(5, 3).Finish()), 0,
       "GIF: LZW code invalid"},
      {"early end code", WithCodes(4, 4, TBitWriter().Put(4, 3).Put(1, 3).Put(5, 3).Finish()), 0,
       "GIF: Unexpected end of file"},
      {"huge frame, no data", WithCodes(65535, 1321, {0}), 0, "GIF: Unexpected end of file"},
      {"index beyond last", MakeGIF(8, {Big}), 1, "GIF: Index out of bounds"},
      {"negative index", MakeGIF(8, {Big}), -1, "GIF: Index out of bounds"},
      {"no image", MakeGIF(2, {}), 0, "GIF: No image in file"},
      {"unknown extension first", UnknownExtension, 0, "GIF: No image in file"},
      {"only empty frames", MakeGIF(2, {Frame(0, 3, {}, 2)}), 0, "GIF: Width = 0 or Height = 0"},
      {"cut header", {'G', 'I', 'F', '8', '9', 'a', 1}, 0, "GIF: Not a proper GIF file"},
  };
  for (const Case& C : Cases) {
    TPixelGraphic G;
    G.ReadWarningAction = pgwaRaise; // the end of the data is a warning: raise it
    EXPECT_EQ(LoadError(C.Data, C.Index, G), C.Error) << C.Name;
  }

  TPixelGraphic G;
  G.ReadWarningAction = pgwaRaise;
  int Ends = 0;
  G.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  EXPECT_EQ(LoadError(Truncated, 0, G), "GIF: Unexpected end of file");
  EXPECT_EQ(Ends, 1);
  for (int X = 0; X < 40; ++X)
    EXPECT_EQ(G.GetPixelValue(X, 3), Big.Px[size_t(120 + X)]);
}

// A partly downloaded GIF: the rows decoded are kept and the end of the data is a reader
// warning, which the image's warning action turns into a message, nothing, or an error.
TEST(GIFErrors, TruncatedDataIsAWarningAndKeepsTheDecodedRows) {
  const TFrameSpec Big = Frame(40, 40, Random(1600, 200, 9));
  auto Truncated = MakeGIF(8, {Big});
  Truncated.resize(Truncated.size() / 2);
  struct Case {
    TPGWarningAction Action;
    bool Answer;
    const char* Error;
    int Prompts;
  } Cases[] = {{pgwaIgnore, false, "", 0},
               {pgwaOKBox, true, "", 1},
               {pgwaOKCancelBox, true, "", 1},
               {pgwaOKCancelBox, false, "GIF: Operation aborted on user request", 1},
               {pgwaRaise, false, "GIF: Unexpected end of file", 0}};
  for (const auto& C : Cases) {
    int Prompts = 0;
    std::string Shown;
    SetEnginePrompt([&](const std::string&, const std::string& Text, bool) {
      ++Prompts;
      Shown = Text;
      return C.Answer;
    });
    TPixelGraphic G;
    G.ReadWarningAction = C.Action;
    EXPECT_EQ(LoadError(Truncated, 0, G), C.Error) << C.Action;
    EXPECT_EQ(Prompts, C.Prompts) << C.Action;
    if (Prompts) {
      EXPECT_EQ(Shown, "GIF: Unexpected end of file");
    }
    ASSERT_EQ(G.Width(), 40) << C.Action;
    for (int X = 0; X < 40; ++X)
      EXPECT_EQ(G.GetPixelValue(X, 3), Big.Px[size_t(120 + X)]) << C.Action;
    EXPECT_EQ(G.GetPixelValue(39, 39), 0u); // never decoded
  }
  SetEnginePrompt(nullptr);
}

TEST(GIFErrors, AbortKeepsRowsWithoutError) {
  const TFrameSpec F = Frame(20, 10, Random(200, 7, 5));
  TPixelGraphic G;
  G.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step == 2; };
  EXPECT_EQ(LoadError(MakeGIF(8, {F}), 0, G), "");
  EXPECT_EQ(G.GetPixelValue(19, 1), F.Px[39]);
  EXPECT_EQ(G.GetPixelValue(0, 9), 0u);
}

// ---- corpus: references show frames composited, on the logical screen (image-rs, Pillow) or
// stacked one per screen height (libvips); the reader's frame must match its visible pixels.

TEST(GIFCorpus, FramesMatchTheirReferencesAndBrokenFilesFailCleanly) {
  if (CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  // Pillow references of the second frame (missing_background's despite its name).
  const std::vector<std::string> SecondFrame = {"_merged.", "_second.", "_seeked.",
                                                "missing_background_first_frame."};
  int Compared = 0;
  for (const ManifestEntry& E : ManifestFor("GIF")) {
    SCOPED_TRACE(E.Path);
    const auto Bytes = ReadFileBytes(CorpusDir() + "/" + E.Path);
    const TGIFStructure S = ParseGIFStructure(Bytes.data(), Bytes.size());
    for (size_t K = 0; K < std::max<size_t>(S.Frames.size(), 1); ++K) {
      TPixelGraphic G;
      const std::string Error = LoadError(Bytes, int(K), G);
      if (E.Category == "invalid") { // broken files may still hold sound frames
        if (!Error.empty()) {
          EXPECT_EQ(Error.rfind("GIF: ", 0), 0u) << Error;
        }
        continue;
      }
      ASSERT_EQ(Error, "");
      if (E.References.empty()) continue;
      const std::string& RefName = E.References[0];
      const bool Stacked = RefName.find("libvips/") == 0;
      const bool Second = std::any_of(SecondFrame.begin(), SecondFrame.end(), [&](auto& N) {
        return RefName.find(N) != std::string::npos;
      });
      if (!Stacked && K != (Second ? 1u : 0u)) continue;
      RGBAImage Ref;
      ASSERT_TRUE(LoadPNGReference(CorpusDir() + "/" + RefName, Ref));
      const TGIFFrame& F = S.Frames[K];
      int64_t Diff = 0, Pixels = 0;
      for (int Y = 0; Y < F.Height; ++Y)
        for (int X = 0; X < F.Width; ++X) {
          const int RX = F.Left + X, RY = F.Top + Y;
          if (RX >= std::min(Ref.Width, S.ScreenWidth) || RY >= S.ScreenHeight) continue;
          if (F.HasTransparency && G.GetPixelValue(X, Y) == unsigned(F.TransparentIndex)) continue;
          const uint8_t* P = &Ref.Pixels[size_t(
              (int64_t(RY + (Stacked ? K * S.ScreenHeight : 0)) * Ref.Width + RX) * 4)];
          const TRGB C = G.GetPixelColor(X, Y);
          ++Pixels;
          Diff += P[0] != RedOf(C) || P[1] != GreenOf(C) || P[2] != BlueOf(C) || P[3] != 255;
        }
      EXPECT_EQ(Diff, 0) << "frame " << K << " of " << Pixels << " pixels";
      EXPECT_GT(Pixels, 0);
      ++Compared;
    }
  }
  EXPECT_EQ(Compared, 18); // 14 references, two of them with 3 stacked frames
}

} // namespace
