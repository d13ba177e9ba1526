// WMF and EMF reading: recognition, the placeable header, sizes, file information, progress, the
// record checks, and playback through libwmf / libemf2svg / QtSvg (isolated and in-process).
#include "engine/formats/metafile.h"
#include "engine/messages.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "platform/metafileplayer.h"
#include "tests/common/testutil.h"

#include <QImage>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace orbisk {
namespace {

// ---- building metafiles ----------------------------------------------------------------------

struct TBytes {
  std::vector<uint8_t> D;
  TBytes& U16(int V) {
    D.push_back(uint8_t(V));
    D.push_back(uint8_t(unsigned(V) >> 8));
    return *this;
  }
  TBytes& U32(uint32_t V) {
    for (int I = 0; I < 4; ++I)
      D.push_back(uint8_t(V >> (8 * I)));
    return *this;
  }
  TBytes& Add(const std::vector<uint8_t>& More) {
    D.insert(D.end(), More.begin(), More.end());
    return *this;
  }
};

constexpr uint32_t ColorRef(int R, int G, int B) {
  return uint32_t(R | (G << 8) | (B << 16));
}

std::vector<uint8_t> Placeable(int L, int T, int R, int B, int Inch, bool GoodSum = true) {
  TBytes H;
  H.U32(kPlaceableKey).U16(0).U16(L).U16(T).U16(R).U16(B).U16(Inch).U32(0);
  uint16_t Sum = PlaceableChecksum(H.D.data());
  H.U16(GoodSum ? Sum : Sum ^ 1);
  return H.D;
}

// A WMF body: metafile header and records drawing a filled rectangle over the window (0,0)-(W,H).
std::vector<uint8_t> WmfBody(int W, int H, uint32_t Color, bool WithEnd = true) {
  TBytes R;
  R.U32(5).U16(0x020B).U16(0).U16(0);               // SetWindowOrg
  R.U32(5).U16(0x020C).U16(H).U16(W);               // SetWindowExt
  R.U32(7).U16(0x02FC).U16(0).U32(Color).U16(0);    // CreateBrushIndirect, solid
  R.U32(4).U16(0x012D).U16(0);                      // SelectObject 0
  R.U32(8).U16(0x02FA).U16(5).U16(0).U16(0).U32(0); // CreatePenIndirect, null pen
  R.U32(4).U16(0x012D).U16(1);                      // SelectObject 1
  R.U32(7).U16(0x041B).U16(H).U16(W).U16(0).U16(0); // Rectangle (bottom, right, top, left)
  if (WithEnd) R.U32(3).U16(0);
  TBytes Head;
  Head.U16(1).U16(9).U16(0x300).U32(uint32_t((18 + R.D.size()) / 2)).U16(2).U32(8).U16(0);
  return Head.Add(R.D).D;
}

struct TEmfLayout {
  int32_t Frame[4] = {0, 0, 10000, 5000}; // 0.01 mm
  int32_t Bounds[4] = {0, 0, 100, 50};
  int32_t Dev[2] = {1000, 1000};
  int32_t Mm[2] = {100, 100};
  uint32_t HeaderSize = 88;
  uint32_t Signature = kEnhancedSignature;
  std::vector<uint32_t> Palette;        // COLORREFs in the end record
  uint32_t Color = ColorRef(0, 0, 255); // rectangle fill
  int32_t Rect[4] = {0, 0, 100, 50};
  bool WithEnd = true;
  int64_t DeclaredExtra = 0; // added to the size at offset 48
};

std::vector<uint8_t> MakeEmf(const TEmfLayout& S) {
  TBytes R;
  R.U32(39).U32(24).U32(1).U32(0).U32(S.Color).U32(0); // CreateBrushIndirect #1
  R.U32(37).U32(12).U32(1);                            // SelectObject #1
  R.U32(37).U32(12).U32(0x80000008);                   // SelectObject NULL_PEN
  R.U32(43).U32(24);                                   // Rectangle
  for (int32_t V : S.Rect)
    R.U32(uint32_t(V));
  if (S.WithEnd) {
    const uint32_t N = uint32_t(S.Palette.size());
    R.U32(14).U32(20 + 4 * N).U32(N).U32(16);
    for (uint32_t C : S.Palette)
      R.U32(C);
    R.U32(20 + 4 * N);
  }
  const uint32_t Records = 5 + (S.WithEnd ? 1 : 0);
  TBytes H;
  H.U32(1).U32(S.HeaderSize);
  for (int32_t V : S.Bounds)
    H.U32(uint32_t(V));
  for (int32_t V : S.Frame)
    H.U32(uint32_t(V));
  const uint32_t Total = S.HeaderSize + uint32_t(R.D.size());
  H.U32(S.Signature).U32(0x10000).U32(uint32_t(Total + S.DeclaredExtra)).U32(Records);
  H.U16(2).U16(0).U32(0).U32(0).U32(uint32_t(S.Palette.size()));
  H.U32(uint32_t(S.Dev[0])).U32(uint32_t(S.Dev[1])).U32(uint32_t(S.Mm[0])).U32(uint32_t(S.Mm[1]));
  while (H.D.size() < S.HeaderSize)
    H.D.push_back(0);
  return H.Add(R.D).D;
}

TFileFormatReader& Reader(const std::string& Ext) {
  for (TFileFormatReader* R : FileFormatReaders())
    if (R->Extension == Ext) return *R;
  throw std::runtime_error("no reader " + Ext);
}

TGraphicFileInfo InfoOf(const std::string& Ext, const std::vector<uint8_t>& Data) {
  TPGMemoryStream S(Data.data(), Data.size());
  TGraphicFileInfo Info;
  Reader(Ext).GetInfo(S, 0, Info);
  return Info;
}

std::string ErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const EPixelGraphic& E) {
    return E.what();
  }
  return "";
}

// Records what it is asked to draw and paints nothing.
struct TFakePlayer : TMetafilePlayer {
  int Calls = 0;
  int Width = 0, Height = 0, BitCountNum = -1;
  void Play(const TMetafile&, TPixelGraphic& T) override {
    ++Calls;
    Width = T.Width();
    Height = T.Height();
    BitCountNum = T.BitCountNum();
  }
};

class PlayerScope {
public:
  explicit PlayerScope(std::shared_ptr<TMetafilePlayer> P) : Old(MetafilePlayer()) {
    SetMetafilePlayer(std::move(P));
  }
  ~PlayerScope() { SetMetafilePlayer(Old); }

private:
  std::shared_ptr<TMetafilePlayer> Old;
};

void Read(const std::string& Ext, const std::vector<uint8_t>& Data, TPixelGraphic& G,
          const TReadOptions& Options = {}) {
  TPGMemoryStream S(Data.data(), Data.size());
  Reader(Ext).ReadGraphic(S, G, 0, Options);
}

std::vector<uint8_t> Join(std::vector<uint8_t> A, const std::vector<uint8_t>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

// ---- recognition ----------------------------------------------------------------------------

TEST(MetafileSniff, HeadersAreRecognised) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    bool Wmf, Emf;
  };
  TEmfLayout Long;
  Long.HeaderSize = 108;
  TEmfLayout Odd;
  Odd.HeaderSize = 90;
  TEmfLayout Short;
  Short.HeaderSize = 84;
  std::vector<uint8_t> Type2 = WmfBody(10, 10, 0);
  Type2[0] = 2;
  std::vector<uint8_t> NoObjects = WmfBody(10, 10, 0);
  NoObjects[10] = 0;
  const Case Cases[] = {
      {"placeable", Join(Placeable(0, 0, 100, 100, 96), WmfBody(100, 100, 0)), true, false},
      {"plain header", WmfBody(10, 10, 0), true, false},
      {"plain header of type 2", Type2, false, false},
      {"plain header without objects", NoObjects, false, false},
      {"88-byte EMF header", MakeEmf(TEmfLayout{}), false, true},
      {"108-byte EMF header", MakeEmf(Long), false, true},
      {"header size not a multiple of 4", MakeEmf(Odd), false, false},
      {"header shorter than the fixed fields", MakeEmf(Short), false, false},
      {"BMP", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, false},
  };
  for (const Case& C : Cases) {
    std::vector<uint8_t> H = C.Data;
    H.resize(kHeaderSniffSize, 0);
    EXPECT_EQ(Reader("wmf").Sniff(H.data()), C.Wmf) << C.Name;
    EXPECT_EQ(Reader("emf").Sniff(H.data()), C.Emf) << C.Name;
  }
}

TEST(MetafileSniff, RegistryChoosesByContent) {
  std::vector<uint8_t> Wmf = Join(Placeable(0, 0, 100, 100, 96), WmfBody(100, 100, 0));
  std::vector<uint8_t> Emf = MakeEmf(TEmfLayout{});
  TPGMemoryStream A(Wmf.data(), Wmf.size()), B(Emf.data(), Emf.size());
  ASSERT_NE(FindReader(A, "png"), nullptr);
  EXPECT_EQ(FindReader(A, "png")->Description, "Windows Metafile");
  EXPECT_EQ(FindReader(B, "")->Description, "Enhanced Metafile");
}

// ---- sizes and file information ---------------------------------------------------------------

TEST(MetafileInfo, SizesAndSubTypes) {
  TEmfLayout Emf;
  Emf.Frame[2] = 2540; // 25.4 mm = 1 inch at 1000 px / 100 mm
  Emf.Frame[3] = 1270;
  TEmfLayout Palette16 = Emf;
  for (int I = 0; I < 16; ++I)
    Palette16.Palette.push_back(ColorRef(I * 16, 0, 0));
  TEmfLayout Palette2 = Emf;
  Palette2.Palette = {0, 0xFFFFFF};
  TEmfLayout Palette300 = Emf;
  Palette300.Palette.assign(300, 0x123456);
  TEmfLayout Truncated = Emf;
  Truncated.DeclaredExtra = 1000; // says more than there is
  struct Case {
    const char* Name;
    std::string Ext;
    std::vector<uint8_t> Data;
    int W, H;
    std::string SubType, Colors;
    int Bits;
  };
  const Case Cases[] = {
      {"1440 units per inch", "wmf", Join(Placeable(0, 0, 1440, 720, 1440), WmfBody(1440, 720, 0)),
       96, 48, "Placeable, Aldus header", "16.7M", 24},
      {"offset box", "wmf", Join(Placeable(-100, 50, 860, 530, 480), WmfBody(960, 480, 0)), 192, 96,
       "Placeable, Aldus header", "16.7M", 24},
      {"0 units per inch counts as 96", "wmf",
       Join(Placeable(0, 0, 300, 150, 0), WmfBody(300, 150, 0)), 300, 150,
       "Placeable, Aldus header", "16.7M", 24},
      {"halves round to even", "wmf", Join(Placeable(0, 0, 5, 3, 192), WmfBody(5, 3, 0)), 2, 2,
       "Placeable, Aldus header", "16.7M", 24},
      {"no placeable header", "wmf", WmfBody(500, 500, 0), 99, 49, "No header", "16.7M", 24},
      {"wrong checksum", "wmf",
       Join(Placeable(0, 0, 1440, 720, 1440, false), WmfBody(1440, 720, 0)), 99, 49,
       "Placeable, Aldus header", "16.7M", 24},
      {"empty box", "wmf", Join(Placeable(0, 0, 0, 0, 1440), WmfBody(10, 10, 0)), 99, 49,
       "Placeable, Aldus header", "16.7M", 24},
      {"EMF", "emf", MakeEmf(Emf), 254, 127, "", "16.7M", 24},
      {"EMF with 16 palette entries", "emf", MakeEmf(Palette16), 254, 127, "", "16", 4},
      {"EMF with 2 palette entries", "emf", MakeEmf(Palette2), 254, 127, "", "2", 1},
      {"EMF with more than 256 entries", "emf", MakeEmf(Palette300), 254, 127, "", "256", 8},
      {"EMF shorter than its header says", "emf", MakeEmf(Truncated), 254, 127, "", "16.7M", 24},
  };
  for (const Case& C : Cases) {
    TGraphicFileInfo Info;
    ASSERT_NO_THROW(Info = InfoOf(C.Ext, C.Data)) << C.Name;
    EXPECT_EQ(Info.Width, C.W) << C.Name;
    EXPECT_EQ(Info.Height, C.H) << C.Name;
    EXPECT_EQ(Info.SubType, C.SubType) << C.Name;
    EXPECT_EQ(Info.Colors, C.Colors) << C.Name;
    EXPECT_EQ(Info.BitsPerPixel, C.Bits) << C.Name;
    EXPECT_EQ(Info.GraphicCount, 1) << C.Name;
  }
}

TEST(MetafileInfo, UnusableDataIsAnInvalidMetafile) {
  TEmfLayout NoSignature;
  NoSignature.Signature = 0x12345678;
  TEmfLayout ZeroMm;
  ZeroMm.Mm[0] = 0;
  TEmfLayout ZeroMmHigh;
  ZeroMmHigh.Mm[1] = 0;
  TEmfLayout NoDevice;
  NoDevice.Dev[1] = 0;
  TEmfLayout EmptyFrame;
  EmptyFrame.Frame[2] = 0;
  TEmfLayout HugeFrame;
  HugeFrame.Frame[0] = INT32_MIN;
  HugeFrame.Frame[2] = INT32_MAX;
  HugeFrame.Dev[0] = INT32_MAX;
  HugeFrame.Mm[0] = 1;
  std::vector<uint8_t> BadRecord = MakeEmf(TEmfLayout{});
  BadRecord[88 + 4] = 6; // first record's size below its own header
  std::vector<uint8_t> UnalignedRecord = MakeEmf(TEmfLayout{});
  UnalignedRecord[88 + 4] = 26;
  std::vector<uint8_t> WmfBadRecord = WmfBody(10, 10, 0);
  WmfBadRecord[18] = 2; // a record of 2 words
  std::vector<uint8_t> WmfBadHeader = WmfBody(10, 10, 0);
  WmfBadHeader[2] = 8;
  struct Case {
    const char* Name;
    std::string Ext;
    std::vector<uint8_t> Data;
  };
  const Case Cases[] = {
      {"EMF without signature", "emf", MakeEmf(NoSignature)},
      {"reference width 0 mm", "emf", MakeEmf(ZeroMm)},
      {"reference height 0 mm", "emf", MakeEmf(ZeroMmHigh)},
      {"reference height 0 pixels", "emf", MakeEmf(NoDevice)},
      {"empty frame", "emf", MakeEmf(EmptyFrame)},
      {"size beyond any picture", "emf", MakeEmf(HugeFrame)},
      {"record shorter than 8 bytes", "emf", BadRecord},
      {"record size not a multiple of 4", "emf", UnalignedRecord},
      {"WMF record shorter than 3 words", "wmf", WmfBadRecord},
      {"WMF header of wrong size", "wmf", WmfBadHeader},
      {"a few bytes", "wmf", {0xD7, 0xCD, 0xC6, 0x9A, 0}},
      {"nothing", "emf", {}},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ErrorOf([&] { InfoOf(C.Ext, C.Data); }), "Invalid Metafile") << C.Name;
}

// ---- the records handed to players ------------------------------------------------------------

TEST(MetafileLoad, RecordsAreCheckedAndTerminated) {
  // A WMF cut inside its rectangle record: the rest is played and an end record is added.
  std::vector<uint8_t> Wmf = Join(Placeable(0, 0, 100, 100, 96), WmfBody(100, 100, 0));
  Wmf.resize(Wmf.size() - 10);
  TMetafile M;
  ASSERT_TRUE(LoadMetafile(Wmf.data(), Wmf.size(), M));
  EXPECT_TRUE(M.Truncated);
  ASSERT_GE(M.Data.size(), 22u + 18u + 6u);
  const uint8_t* End = M.Data.data() + M.Data.size() - 6;
  EXPECT_EQ(std::vector<uint8_t>(End, End + 6), (std::vector<uint8_t>{3, 0, 0, 0, 0, 0}));
  const uint8_t* Head = M.Data.data() + 22;
  const uint32_t Words = Head[6] | (Head[7] << 8) | (Head[8] << 16) | (uint32_t(Head[9]) << 24);
  EXPECT_EQ(Words * 2, M.Data.size() - 22);

  // An EMF whose header claims more bytes than the file has, ending inside a record.
  TEmfLayout Layout;
  Layout.WithEnd = false;
  Layout.DeclaredExtra = 1 << 30;
  std::vector<uint8_t> Emf = MakeEmf(Layout);
  Emf.resize(Emf.size() - 8);
  ASSERT_TRUE(LoadMetafile(Emf.data(), Emf.size(), M));
  EXPECT_TRUE(M.Enhanced);
  EXPECT_TRUE(M.Truncated);
  const uint32_t Bytes =
      M.Data[48] | (M.Data[49] << 8) | (M.Data[50] << 16) | (uint32_t(M.Data[51]) << 24);
  EXPECT_EQ(Bytes, M.Data.size());
  EXPECT_EQ(M.Data[M.Data.size() - 20], 14);      // end record added
  EXPECT_EQ(M.Data.size(), Emf.size() - 16 + 20); // the cut rectangle record is dropped

  // A palette whose entries lie outside the end record is ignored.
  TEmfLayout Pal;
  Pal.Palette = {1, 2, 3};
  std::vector<uint8_t> Bad = MakeEmf(Pal);
  Bad[Bad.size() - 20 - 12 + 8] = 200; // nPalEntries in the end record
  ASSERT_TRUE(LoadMetafile(Bad.data(), Bad.size(), M));
  EXPECT_TRUE(M.Palette.empty());
}

// ---- reading with a recording player ---------------------------------------------------------

TEST(MetafileRead, PictureSizeDepthAndPreviewFit) {
  auto Fake = std::make_shared<TFakePlayer>();
  PlayerScope Scope(Fake);
  TEmfLayout Pal16;
  for (int I = 0; I < 16; ++I)
    Pal16.Palette.push_back(ColorRef(I * 17, 255 - I * 17, 0));
  TEmfLayout Pal200;
  Pal200.Palette.assign(200, ColorRef(1, 2, 3));
  TEmfLayout Tall;
  Tall.Frame[2] = 2000;
  Tall.Frame[3] = 50000; // 200 x 5000 pixels
  struct Case {
    const char* Name;
    std::string Ext;
    std::vector<uint8_t> Data;
    bool Fast;
    int W, H, Code;
  };
  const Case Cases[] = {
      {"96 x 48", "wmf", Join(Placeable(0, 0, 1440, 720, 1440), WmfBody(1, 1, 0)), false, 96, 48,
       3},
      {"96 x 48 preview stays", "wmf", Join(Placeable(0, 0, 1440, 720, 1440), WmfBody(1, 1, 0)),
       true, 96, 48, 3},
      {"400 x 200 preview", "wmf", Join(Placeable(0, 0, 400, 200, 96), WmfBody(1, 1, 0)), true, 130,
       65, 3},
      {"no header", "wmf", WmfBody(1, 1, 0), false, 99, 49, 3},
      {"EMF 1000 x 500", "emf", MakeEmf(TEmfLayout{}), false, 1000, 500, 3},
      {"EMF tall preview", "emf", MakeEmf(Tall), true, 5, 130, 3},
      {"16-entry palette", "emf", MakeEmf(Pal16), false, 1000, 500, 1},
      {"200-entry palette", "emf", MakeEmf(Pal200), false, 1000, 500, 2},
  };
  for (const Case& C : Cases) {
    TPixelGraphic G;
    G.FastJPEGDecode = C.Fast;
    Read(C.Ext, C.Data, G);
    EXPECT_EQ(G.Width(), C.W) << C.Name;
    EXPECT_EQ(G.Height(), C.H) << C.Name;
    EXPECT_EQ(G.BitCountNum(), C.Code) << C.Name;
    EXPECT_EQ(Fake->Width, C.W) << C.Name;
  }
  TPixelGraphic G;
  Read("emf", MakeEmf(Pal16), G);
  ASSERT_EQ(G.PaletteCount(), 16);
  EXPECT_EQ(G.GetPaletteEntry(5), RGBOf(85, 170, 0));
}

TEST(MetafileRead, UnpaintedAreasAreWhiteAtEveryDepth) {
  PlayerScope Scope(std::make_shared<TFakePlayer>());
  for (size_t N : {0, 2, 16, 256}) {
    TEmfLayout S;
    for (size_t I = 0; I < N; ++I)
      S.Palette.push_back(ColorRef(int(I), 0, 0));
    if (N) S.Palette.back() = 0xFFFFFF;
    TPixelGraphic G;
    Read("emf", MakeEmf(S), G);
    int NotWhite = 0;
    for (int Y = 0; Y < G.Height(); Y += 7)
      for (int X = 0; X < G.Width(); X += 7)
        NotWhite += G.GetPixelColor(X, Y) != 0xFFFFFF;
    EXPECT_EQ(NotWhite, 0) << N << " palette entries";
  }
}

TEST(MetafileRead, ProgressAbortAndFailures) {
  auto Fake = std::make_shared<TFakePlayer>();
  PlayerScope Scope(Fake);
  const std::vector<uint8_t> Wmf = Join(Placeable(0, 0, 96, 48, 96), WmfBody(1, 1, 0));
  for (int AbortAt : {0, 2, 17, 32, 47}) {
    std::vector<int> Steps;
    int Starts = 0, Ends = 0;
    TPixelGraphic G;
    G.OnProgressStart = [&](TPixelGraphic*) { ++Starts; };
    G.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
    G.OnProgress = [&](TPixelGraphic*, int Step, bool& Abort, int Max) {
      EXPECT_EQ(Max, 100);
      Steps.push_back(Step);
      Abort = Step == AbortAt;
    };
    Fake->Calls = 0;
    ASSERT_NO_THROW(Read("wmf", Wmf, G)) << AbortAt;
    EXPECT_EQ(Starts, 1);
    EXPECT_EQ(Ends, 1);
    std::vector<int> Expected;
    for (int S : {2, 17, 32, 47, 62})
      if (AbortAt == 0 || S <= AbortAt) Expected.push_back(S);
    EXPECT_EQ(Steps, Expected) << AbortAt;
    EXPECT_EQ(Fake->Calls, AbortAt == 0 ? 1 : 0) << AbortAt;
  }

  // Unloadable data is an error, and the progress still ends.
  int Ends = 0;
  TPixelGraphic G;
  G.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  TEmfLayout NoSignature;
  NoSignature.Signature = 0;
  EXPECT_EQ(ErrorOf([&] { Read("emf", MakeEmf(NoSignature), G); }), "Invalid Metafile");
  EXPECT_EQ(Ends, 1);
  EXPECT_TRUE(G.Empty());

  // Larger than the engine allows: refused before anything is drawn.
  TReadOptions Small;
  Small.MaxPixelCount = 1000;
  Fake->Calls = 0;
  EXPECT_EQ(ErrorOf([&] { Read("wmf", Wmf, G, Small); }), "CreateDIBSection failed");
  EXPECT_EQ(Fake->Calls, 0);

  SetMetafilePlayer(nullptr);
  EXPECT_EQ(ErrorOf([&] { Read("wmf", Wmf, G); }), "Metafile playback failed");
}

// ---- playback through the libraries -----------------------------------------------------------

TEST(MetafilePlayback, RectanglesFillThePictureIsolatedOrNot) {
  for (bool Isolated : {true, false}) {
    auto Player = std::make_shared<TQtMetafilePlayer>();
    Player->Isolated = Isolated;
    PlayerScope Scope(Player);
    // WMF: a red rectangle over the whole window.
    TPixelGraphic G;
    Read("wmf", Join(Placeable(0, 0, 1440, 720, 1440), WmfBody(1440, 720, ColorRef(255, 0, 0))), G);
    ASSERT_EQ(G.Width(), 96);
    EXPECT_EQ(G.GetPixelColor(48, 24), RGBOf(255, 0, 0)) << Isolated;
    EXPECT_EQ(G.GetPixelColor(3, 3), RGBOf(255, 0, 0)) << Isolated;

    // EMF: a blue rectangle over the left half of the frame; the right half stays white.
    TEmfLayout S;
    S.Rect[2] = 50;
    S.Frame[2] = 1000; // 10 x 5 mm at 10 px/mm: 100 x 50 pixels, the device bounds
    S.Frame[3] = 500;
    TPixelGraphic E;
    Read("emf", MakeEmf(S), E);
    ASSERT_EQ(E.Width(), 100);
    EXPECT_EQ(E.GetPixelColor(20, 25), RGBOf(0, 0, 255)) << Isolated;
    EXPECT_EQ(E.GetPixelColor(80, 25), RGBOf(255, 255, 255)) << Isolated;

    // With a palette the drawing is matched to its entries.
    S.Palette = {ColorRef(0, 0, 0), ColorRef(0, 0, 200), ColorRef(255, 255, 255)};
    TPixelGraphic P;
    Read("emf", MakeEmf(S), P);
    ASSERT_EQ(P.BitCountNum(), 1);
    EXPECT_EQ(P.GetPixelColor(20, 25), RGBOf(0, 0, 200)) << Isolated;
    EXPECT_EQ(P.GetPixelColor(80, 25), RGBOf(255, 255, 255)) << Isolated;
  }
}

TEST(MetafilePlayback, TextWithMarkupAndCodePageCharactersIsDrawn) {
  auto Player = std::make_shared<TQtMetafilePlayer>();
  Player->Isolated = false;
  PlayerScope Scope(Player);
  // Window 0..400 x 0..200; a font 60 units high; TextOut of "A&<B>" and an e-acute (0xE9).
  const std::string Text = "A&<B>\xE9xy";
  TBytes R;
  R.U32(5).U16(0x020B).U16(0).U16(0);
  R.U32(5).U16(0x020C).U16(200).U16(400);
  R.U32(3 + 8 + 4).U16(0x02FB).U16(60).U16(0).U16(0).U16(0).U16(700).U16(0).U16(0).U16(0);
  R.D.insert(R.D.end(), {'A', 'r', 'i', 'a', 'l', 0, 0, 0});
  R.U32(4).U16(0x012D).U16(0);
  R.U32(3 + 1 + uint32_t(Text.size() / 2) + 2).U16(0x0521).U16(int(Text.size()));
  R.D.insert(R.D.end(), Text.begin(), Text.end());
  R.U16(60).U16(20);
  R.U32(3).U16(0);
  TBytes Head;
  Head.U16(1).U16(9).U16(0x300).U32(uint32_t((18 + R.D.size()) / 2)).U16(1).U32(13).U16(0);
  TPixelGraphic G;
  ASSERT_NO_THROW(Read("wmf", Join(Placeable(0, 0, 400, 200, 96), Head.Add(R.D).D), G))
      << Player->LastError.toStdString();
  int Dark = 0;
  for (int Y = 0; Y < G.Height(); ++Y)
    for (int X = 0; X < G.Width(); ++X)
      Dark += G.GetPixelColor(X, Y) == 0;
  EXPECT_GT(Dark, 50);
}

TEST(MetafilePlayback, PlaybackThatTakesTooLongIsStopped) {
  // A path with a point millions of pixels away keeps the rasteriser busy for seconds.
  auto Player = std::make_shared<TQtMetafilePlayer>();
  Player->TimeoutMs = 500;
  PlayerScope Scope(Player);
  const std::vector<uint8_t> Data =
      test::ReadFileBytes(std::string(ORBISK_TEST_DATA_DIR) + "/metafile/huge-path-coordinate.emf");
  ASSERT_FALSE(Data.empty());
  const auto Start = std::chrono::steady_clock::now();
  TPixelGraphic G;
  EXPECT_EQ(ErrorOf([&] { Read("emf", Data, G); }), "Metafile playback failed");
  EXPECT_EQ(Player->LastError.toStdString(), "playback took too long");
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(3));
}

// Mean absolute difference per channel of the picture against a reference of the same size.
double MeanDifference(const TPixelGraphic& G, const test::RGBAImage& Ref) {
  test::RGBAImage Mine = test::ToRGBA(G);
  if (Mine.Width != Ref.Width || Mine.Height != Ref.Height) return 1e9;
  double Sum = 0;
  for (size_t I = 0; I < Mine.Pixels.size(); I += 4)
    for (size_t C = 0; C < 3; ++C)
      Sum += std::abs(int(Mine.Pixels[I + C]) - int(Ref.Pixels[I + C]));
  return Sum / (double(Mine.Width) * Mine.Height * 3);
}

TEST(MetafileCorpus, ReferencesMatchWithinTolerance) {
  const std::string Dir = test::CorpusDir();
  if (Dir.empty()) GTEST_SKIP() << "corpus folder absent";
  PlayerScope Scope(std::make_shared<TQtMetafilePlayer>());
  struct Case {
    const char* File;
    const char* Ref;
    double Tolerance;
  };
  // The references are drawn without anti-aliasing: small pictures differ most at the edges.
  const Case Cases[] = {
      {"pillow/Tests/images/drawing.wmf", "pillow/Tests/images/drawing_wmf_ref.png", 7},
      {"pillow/Tests/images/drawing.wmf", "pillow/Tests/images/drawing_wmf_ref_144.png", 5},
      {"pillow/Tests/images/drawing.emf", "pillow/Tests/images/drawing_emf_ref_72_144.png", 6},
      {"wmf2svg/src/test/data/emf/fulltest.emf", "wmf2svg/src/test/data/emf/fulltest.png", 16},
  };
  for (const Case& C : Cases) {
    test::RGBAImage Ref;
    ASSERT_TRUE(test::LoadPNGReference(Dir + "/" + C.Ref, Ref)) << C.Ref;
    std::vector<uint8_t> Data = test::ReadFileBytes(Dir + "/" + C.File);
    TMetafile M;
    ASSERT_TRUE(LoadMetafile(Data.data(), Data.size(), M)) << C.File;
    // The references are drawn at other resolutions: play into a picture of their size.
    TPixelGraphic G;
    G.SetSize(Ref.Width, Ref.Height, 3);
    G.SetBackGroundColor(0xFFFFFF);
    G.Clear();
    MetafilePlayer()->Play(M, G);
    const double Diff = MeanDifference(G, Ref);
    EXPECT_LT(Diff, C.Tolerance) << C.File << " against " << C.Ref;
    if (std::getenv("ORBISK_METAFILE_DUMP")) {
      QImage Out(G.Width(), G.Height(), QImage::Format_RGB32);
      for (int Y = 0; Y < G.Height(); ++Y)
        for (int X = 0; X < G.Width(); ++X) {
          TRGB P = G.GetPixelColor(X, Y);
          Out.setPixel(X, Y, qRgb(int(RedOf(P)), int(GreenOf(P)), int(BlueOf(P))));
        }
      Out.save(QString::fromStdString(
          test::TempPath(std::string(C.Ref).substr(std::string(C.Ref).rfind('/') + 1))));
    }
  }
}

TEST(MetafileCorpus, EveryFileReadsOrFailsCleanly) {
  const std::string Dir = test::CorpusDir();
  if (Dir.empty()) GTEST_SKIP() << "corpus folder absent";
  PlayerScope Scope(std::make_shared<TQtMetafilePlayer>());
  int Read = 0, Failed = 0, ValidFailed = 0;
  std::string Failures;
  for (const std::string Format : {"WMF", "EMF"})
    for (const test::ManifestEntry& E : test::ManifestFor(Format)) {
      TPixelGraphic G;
      // Previews keep the run short; a few files describe pictures of 100 million pixels.
      G.FastJPEGDecode = true;
      const auto Start = std::chrono::steady_clock::now();
      try {
        G.LoadFromFile(Dir + "/" + E.Path);
        ++Read;
        EXPECT_FALSE(G.Empty()) << E.Path;
        EXPECT_LE(std::max(G.Width(), G.Height()), kMetafilePreviewLimit) << E.Path;
      } catch (const EPixelGraphic& X) {
        ++Failed;
        if (E.Category == "valid") {
          ++ValidFailed;
          Failures += E.Path + ": " + X.what() + "\n";
        }
      }
      EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(40)) << E.Path;
    }
  std::printf("metafiles read %d, failed %d (valid files failed %d)\n%s", Read, Failed, ValidFailed,
              Failures.c_str());
  EXPECT_EQ(ValidFailed, 0) << Failures;
}

} // namespace
} // namespace orbisk
