// JPEG codec: reference decodes, grey and CMYK files, warnings and aborts, hostile files,
// write-then-read, reduced (DCT-scaled) decodes.
#include "engine/formats/jpeg.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

using Bytes = std::vector<uint8_t>;

// A file made by libjpeg itself, for layouts our writer never produces (CMYK, many scans).
Bytes LibJPEG(int W, int H, int Comps, J_COLOR_SPACE Space, bool Progressive) {
  jpeg_compress_struct C{};
  jpeg_error_mgr E{};
  C.err = jpeg_std_error(&E);
  jpeg_create_compress(&C);
  unsigned char* Buf = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&C, &Buf, &Size);
  C.image_width = W;
  C.image_height = H;
  C.input_components = Comps;
  C.in_color_space = Space;
  jpeg_set_defaults(&C);
  if (Progressive) jpeg_simple_progression(&C);
  jpeg_start_compress(&C, TRUE);
  Bytes Row(size_t(W) * Comps);
  while (C.next_scanline < C.image_height) {
    for (size_t I = 0; I < Row.size(); ++I)
      Row[I] = uint8_t(I * 7 + C.next_scanline * 13);
    JSAMPROW R = Row.data();
    jpeg_write_scanlines(&C, &R, 1);
  }
  jpeg_finish_compress(&C);
  jpeg_destroy_compress(&C);
  Bytes Out(Buf, Buf + Size);
  std::free(Buf);
  return Out;
}

// Reddish left half, bluish right half, with a noise pattern that the DCT methods round apart.
void FillPhoto(TPixelGraphic& G, int W, int H, bool Noise = true) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const unsigned N = Noise ? (X * 73 + Y * 151 + X * Y * 17) % 61 : 0;
      G.SetPixelColor(X, Y,
                      X < W / 2 ? RGBOf(200 + N / 2, 40 + N, 30) : RGBOf(30, 40 + N, 200 + N / 2));
    }
}

Bytes Save(TPixelGraphic& G, const std::string& Ext = "jpg", const TWriteOptions& Options = {}) {
  TPGMemoryStream S;
  G.SaveToStreamExt(S, Ext, Options);
  return S.Bytes();
}

void Load(TPixelGraphic& G, const Bytes& B, const TReadOptions& Options = {}) {
  TPGMemoryStream S(B.data(), B.size());
  G.LoadFromStream(S, Options);
}

// The error text of loading B ("" when it loads); only JPG errors count.
std::string LoadError(const Bytes& B, TPGWarningAction Action = pgwaIgnore) {
  TPixelGraphic G;
  G.ReadWarningAction = Action;
  try {
    Load(G, B);
  } catch (const EPGJPGFileFormatReaderWriter& E) {
    return E.what();
  }
  return "";
}

TGraphicFileInfo InfoOf(const Bytes& B) {
  TPGMemoryStream S(B.data(), B.size());
  TGraphicFileInfo I;
  TJPGFileFormatReader().GetInfo(S, 0, I);
  return I;
}

struct JpegTest : ::testing::Test {
  void TearDown() override { SetEnginePrompt(nullptr); }
};

} // namespace

TEST_F(JpegTest, CorpusMatchesIntegerReferenceDecodes) {
  if (CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  int Compared = 0, Loaded = 0, Refused = 0;
  for (const auto& E : ManifestFor("JPEG")) {
    const std::string Path = CorpusDir() + "/" + E.Path;
    std::string Ref;
    for (const auto& R : E.References)
      if (R.ends_with(".djpeg-int.png")) Ref = CorpusDir() + "/" + R;
    TPixelGraphic G;
    G.ReadWarningAction = Ref.empty() ? pgwaIgnore : pgwaRaise; // referenced files are clean
    try {
      G.LoadFromFile(Path);
      ++Loaded;
    } catch (const EPixelGraphic& X) {
      ++Refused;
      // Only damaged files without a reference (which libjpeg refuses too) and the 12-bit
      // sample may be refused, always with a JPG error.
      EXPECT_TRUE(Ref.empty() && (E.Category != "valid" || E.Path.ends_with("monkey12.jpg")))
          << E.Path << X.what();
      EXPECT_TRUE(std::string(X.what()).starts_with("JPG: ")) << E.Path << X.what();
      continue;
    }
    if (Ref.empty()) continue;
    RGBAImage Want;
    ASSERT_TRUE(LoadPNGReference(Ref, Want)) << Ref;
    EXPECT_EQ(CountDifferences(ToRGBA(G), Want, false), 0) << E.Path;
    if (InfoOf(ReadFileBytes(Path)).BitsPerPixel == 8) {
      EXPECT_EQ(G.BitCountNum(), 2) << E.Path;
      EXPECT_EQ(G.PaletteKind(), pGray256) << E.Path;
    }
    ++Compared;
  }
  EXPECT_GE(Compared, 40);
  std::printf("JPEG corpus: %d loaded, %d refused, %d compared exactly\n", Loaded, Refused,
              Compared);
}

TEST_F(JpegTest, WriteThenReadAtOddSize) {
  for (bool Progressive : {false, true}) {
    TWriteOptions W;
    W.JPEGQuality = 100;
    W.JPEGProgressive = Progressive;
    TPixelGraphic Colour, Grey, Back;
    FillPhoto(Colour, 47, 33, false);
    Load(Back, Save(Colour, "jpg", W));
    ASSERT_EQ(Back.BitCountNum(), 3);
    ASSERT_EQ(Back.Width(), 47);
    ASSERT_EQ(Back.Height(), 33);
    for (int Y = 4; Y < 29; ++Y)
      for (int X : {4, 19, 28, 42}) { // away from the colour edge: red and blue stay in place
        const TRGB A = Colour.GetPixelColor(X, Y), B = Back.GetPixelColor(X, Y);
        EXPECT_NEAR(int(RedOf(A)), int(RedOf(B)), 6) << X << "," << Y;
        EXPECT_NEAR(int(BlueOf(A)), int(BlueOf(B)), 6) << X << "," << Y;
      }

    Grey.SetSize(47, 33, 2);
    Grey.SetPaletteKind(pGray256);
    for (int Y = 0; Y < 33; ++Y)
      for (int X = 0; X < 47; ++X)
        Grey.SetPixelValue(X, Y, X * 4 + Y);
    const Bytes File = Save(Grey, "jpg", W);
    EXPECT_EQ(InfoOf(File).BitsPerPixel, 8); // one component
    Load(Back, File);
    ASSERT_EQ(Back.BitCountNum(), 2);
    EXPECT_EQ(Back.PaletteKind(), pGray256);
    for (int Y = 0; Y < 33; ++Y)
      for (int X = 0; X < 47; ++X)
        EXPECT_NEAR(int(Back.GetPixelValue(X, Y)), X * 4 + Y, 3) << X << "," << Y;
  }
}

TEST_F(JpegTest, FileInformation) {
  TPixelGraphic G;
  FillPhoto(G, 16, 8);
  const Bytes Baseline = Save(G);
  TWriteOptions W;
  W.JPEGProgressive = true;
  const Bytes Progressive = Save(G, "jpg", W);
  G.SetSize(16, 8, 2);
  G.SetPaletteKind(pGray256);
  const Bytes Grey = Save(G);
  struct Case {
    Bytes File;
    const char* SubType;
    const char* Colors;
    int Bits;
  } Cases[] = {{Baseline, "JFIF, YCbCr", "16.7M", 24},
               {Progressive, "JFIF, YCbCr, Progressive", "16.7M", 24},
               {Grey, "JFIF, GrayScale", "256", 8},
               {LibJPEG(16, 8, 4, JCS_CMYK, false), "Adope, CMYK", "4294.9M", 32}};
  for (const auto& C : Cases) {
    const TGraphicFileInfo I = InfoOf(C.File);
    EXPECT_EQ(I.SubType, C.SubType);
    EXPECT_EQ(I.Colors, C.Colors);
    EXPECT_EQ(I.BitsPerPixel, C.Bits);
    EXPECT_EQ(I.Width, 16);
    EXPECT_EQ(I.Height, 8);
    EXPECT_EQ(I.GraphicCount, 1);
  }
  TPGMemoryStream S(Baseline.data(), Baseline.size());
  TGraphicFileInfo I;
  EXPECT_THROW(TJPGFileFormatReader().GetInfo(S, 1, I), EPGJPGFileFormatReaderWriter);
}

TEST_F(JpegTest, FastDecodeUsesTheFastTransform) {
  TPixelGraphic G, Precise, Fast, Preview;
  FillPhoto(G, 64, 48);
  TWriteOptions W;
  W.JPEGQuality = 95;
  const Bytes File = Save(G, "jpg", W);
  Load(Precise, File);
  TReadOptions FastRead;
  FastRead.JPEGReadDCTMethod = 1;
  Load(Fast, File, FastRead);
  Preview.FastJPEGDecode = true;
  Load(Preview, File);
  EXPECT_GT(CountDifferences(ToRGBA(Precise), ToRGBA(Fast), false), 0);
  EXPECT_EQ(CountDifferences(ToRGBA(Preview), ToRGBA(Fast), false), 0);
}

TEST_F(JpegTest, TruncatedFileFollowsTheWarningAction) {
  TPixelGraphic G;
  FillPhoto(G, 64, 64);
  Bytes File = Save(G);
  File.resize(File.size() * 6 / 10);
  struct Case {
    TPGWarningAction Action;
    bool Answer;
    const char* Error;
    int Prompts;
  } Cases[] = {{pgwaIgnore, false, "", 0},
               {pgwaOKBox, false, "", 1},
               {pgwaOKCancelBox, true, "", 1},
               {pgwaOKCancelBox, false, "JPG: Operation aborted on user request", 1},
               {pgwaRaise, false, "JPG: Premature end of JPEG file", 0}};
  for (const auto& C : Cases) {
    int Prompts = 0;
    SetEnginePrompt([&](const std::string& Caption, const std::string& Text, bool) {
      ++Prompts;
      EXPECT_EQ(Caption, "JPG Warning");
      EXPECT_EQ(Text, "Premature end of JPEG file");
      return C.Answer;
    });
    EXPECT_EQ(LoadError(File, C.Action), C.Error) << C.Action;
    EXPECT_EQ(Prompts, C.Prompts) << C.Action;
  }
}

TEST_F(JpegTest, AbortKeepsTheRowsReadWithoutError) {
  TPixelGraphic G;
  FillPhoto(G, 40, 40);
  const Bytes File = Save(G);
  TPixelGraphic Back;
  int Ends = 0;
  Back.OnProgress = [](TPixelGraphic*, int Step, bool& Abort, int) { Abort = Step >= 10; };
  Back.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
  ASSERT_NO_THROW(Load(Back, File));
  EXPECT_EQ(Ends, 1);
  ASSERT_EQ(Back.Height(), 40);
  EXPECT_NE(Back.GetPixelColor(5, 5), 0u);
  EXPECT_EQ(Back.GetPixelColor(5, 39), 0u); // never decoded
}

TEST_F(JpegTest, HostileFilesFailCleanly) {
  TPixelGraphic G;
  FillPhoto(G, 16, 16);
  const Bytes Good = Save(G);
  Bytes Huge = Good; // SOF0 claims 60000 x 60000
  for (size_t I = 0; I + 9 < Huge.size(); ++I)
    if (Huge[I] == 0xFF && Huge[I + 1] == 0xC0) {
      Huge[I + 5] = Huge[I + 7] = 0xEA;
      Huge[I + 6] = Huge[I + 8] = 0x60;
      break;
    }
  // A progressive file whose last scan repeats 600 times.
  Bytes Scans = LibJPEG(16, 16, 1, JCS_GRAYSCALE, true);
  size_t Last = 0;
  for (size_t I = 0; I + 1 < Scans.size(); ++I)
    if (Scans[I] == 0xFF && Scans[I + 1] == 0xDA) Last = I;
  const Bytes Scan(Scans.begin() + long(Last), Scans.end() - 2);
  Scans.resize(Scans.size() - 2);
  for (int I = 0; I < 600; ++I)
    Scans.insert(Scans.end(), Scan.begin(), Scan.end());
  Scans.insert(Scans.end(), {0xFF, 0xD9});

  struct Case {
    Bytes File;
    const char* Error;
  } Cases[] = {{{0xFF, 0xD8}, "JPG: "},
               {Bytes(Good.begin(), Good.begin() + 40), "JPG: "},
               {Huge, "JPG: CreateDIBSection failed"},
               {LibJPEG(8, 8, 4, JCS_CMYK, false), "JPG: Not supported subformat"},
               {Scans, "JPG: More than 500 scans"}};
  for (const auto& C : Cases) {
    const std::string E = LoadError(C.File);
    EXPECT_TRUE(E.starts_with(C.Error)) << "got \"" << E << "\", want " << C.Error;
    EXPECT_NE(E, "");
  }
  TPixelGraphic Own; // the writer takes only grey 8-bit and 24-bit pictures
  Own.SetSize(5, 5, 2);
  Own.SetPaletteCount(3);
  TPGMemoryStream Out;
  try {
    TJPGFileFormatWriter().WriteGraphic(Out, Own);
    ADD_FAILURE() << "8-bit colour palette accepted";
  } catch (const EPGJPGFileFormatReaderWriter& E) {
    EXPECT_STREQ(E.what(), "JPG: Invalid value for BitCount");
  }
  TPGMemoryStream S(Good.data(), Good.size());
  try {
    TJPGFileFormatReader().ReadGraphic(S, G, 1);
    ADD_FAILURE() << "index 1 accepted";
  } catch (const EPGJPGFileFormatReaderWriter& E) {
    EXPECT_STREQ(E.what(), "JPG: Index invalid");
  }
}

TEST_F(JpegTest, StreamFailureWhileWritingPassesThrough) {
  struct TFull : TPGMemoryStream {
    void Write(const void* B, size_t N) override {
      if (Size() + int64_t(N) > 600) throw EPGStreamError("Stream write error");
      TPGMemoryStream::Write(B, N);
    }
  } S;
  TPixelGraphic G;
  FillPhoto(G, 64, 64);
  EXPECT_THROW(TJPGFileFormatWriter().WriteGraphic(S, G), EPGStreamError);
}

namespace {

// libjpeg's own decode of File at scale M/8 into blue-green-red rows (or grey), for comparison.
Bytes LibScaledRows(const Bytes& File, int M, int& W, int& H, int& Comps) {
  jpeg_decompress_struct D{};
  jpeg_error_mgr E{};
  D.err = jpeg_std_error(&E);
  jpeg_create_decompress(&D);
  jpeg_mem_src(&D, File.data(), File.size());
  jpeg_read_header(&D, TRUE);
  D.scale_num = unsigned(M);
  D.scale_denom = 8;
  if (D.out_color_space != JCS_GRAYSCALE) D.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&D);
  W = int(D.output_width);
  H = int(D.output_height);
  Comps = D.output_components;
  Bytes Out(size_t(W) * H * Comps);
  while (D.output_scanline < D.output_height) {
    JSAMPROW R = Out.data() + size_t(D.output_scanline) * W * Comps;
    jpeg_read_scanlines(&D, &R, 1);
  }
  jpeg_finish_decompress(&D);
  jpeg_destroy_decompress(&D);
  return Out;
}

int CeilEighths(int Side, int M) {
  return (Side * M + 7) / 8;
}

} // namespace

TEST_F(JpegTest, ReducedDecodeTakesTheSmallestScaleThatKeepsTheWantedSize) {
  struct Case {
    int W, H, Wanted;
  } Cases[] = {{800, 600, 200}, {800, 600, 201}, {800, 600, 100}, {801, 13, 100}, {13, 801, 400},
               {640, 480, 639}, {640, 480, 640}, {64, 48, 5000},  {97, 97, 1}};
  for (const Case& C : Cases) {
    TPixelGraphic Src;
    FillPhoto(Src, C.W, C.H);
    const Bytes File = Save(Src);
    TPixelGraphic G;
    G.ReducedSize = C.Wanted;
    Load(G, File);
    const int Longer = std::max(C.W, C.H);
    // The scale libjpeg must have used: the first M whose sides keep the rule.
    int M = 1;
    while (M < 8 && !(int64_t(CeilEighths(C.W, M)) * Longer >= int64_t(C.W) * C.Wanted &&
                      int64_t(CeilEighths(C.H, M)) * Longer >= int64_t(C.H) * C.Wanted))
      ++M;
    EXPECT_EQ(G.Width(), CeilEighths(C.W, M)) << C.W << "x" << C.H << " " << C.Wanted;
    EXPECT_EQ(G.Height(), CeilEighths(C.H, M)) << C.W << "x" << C.H << " " << C.Wanted;
    EXPECT_GE(int64_t(G.Width()) * Longer, int64_t(C.W) * std::min(C.Wanted, Longer));
    EXPECT_GE(int64_t(G.Height()) * Longer, int64_t(C.H) * std::min(C.Wanted, Longer));
    EXPECT_EQ(G.FullWidth, C.W);
    EXPECT_EQ(G.FullHeight, C.H);
    // The pixels are libjpeg's scaled decode, byte for byte.
    int LW, LH, LC;
    const Bytes Rows = LibScaledRows(File, M, LW, LH, LC);
    ASSERT_EQ(LW, G.Width());
    ASSERT_EQ(LH, G.Height());
    bool Same = true;
    for (int Y = 0; Y < LH && Same; ++Y)
      Same = std::memcmp(G.ScanLine(Y), Rows.data() + size_t(Y) * LW * LC, size_t(LW) * LC) == 0;
    EXPECT_TRUE(Same) << C.W << "x" << C.H << " " << C.Wanted;
  }
}

TEST_F(JpegTest, ReducedDecodeOfZeroOrFullSizeIsTheFullDecode) {
  TPixelGraphic Src;
  FillPhoto(Src, 120, 90);
  const Bytes File = Save(Src);
  TPixelGraphic Full, Zero, Big;
  Load(Full, File);
  Zero.ReducedSize = 0;
  Load(Zero, File);
  Big.ReducedSize = 120; // the longer side itself: nothing to reduce
  Load(Big, File);
  for (TPixelGraphic* G : {&Zero, &Big}) {
    ASSERT_EQ(G->Width(), 120);
    ASSERT_EQ(G->Height(), 90);
    EXPECT_EQ(CountDifferences(ToRGBA(*G), ToRGBA(Full), false), 0);
    EXPECT_EQ(G->FullWidth, 120);
    EXPECT_EQ(G->FullHeight, 90);
  }
  // A grey file reduces as grey.
  TPixelGraphic Grey;
  Grey.SetSize(64, 32, 2);
  Grey.SetPaletteKind(pGray256);
  const Bytes GreyFile = Save(Grey);
  TPixelGraphic Small;
  Small.ReducedSize = 16;
  Load(Small, GreyFile);
  EXPECT_EQ(Small.Width(), 16);
  EXPECT_EQ(Small.Height(), 8);
  EXPECT_EQ(Small.BitCountNum(), 2);
  EXPECT_EQ(Small.PaletteKind(), pGray256);
}

TEST_F(JpegTest, ReducedDecodeKeepsTheCameraOrientation) {
  TPixelGraphic Src;
  FillPhoto(Src, 160, 80);
  const Bytes File = WithApp1(Save(Src), ExifBlock(6));
  TPixelGraphic Full, Small;
  Load(Full, File);
  Small.ReducedSize = 40;
  Load(Small, File);
  EXPECT_EQ(Full.ExifOrientation, 6);
  EXPECT_EQ(Small.ExifOrientation, 6);
  // Stored (unturned) sizes on both.
  EXPECT_EQ(Small.Width(), 40);
  EXPECT_EQ(Small.Height(), 20);
  EXPECT_EQ(Small.FullWidth, 160);
  EXPECT_EQ(Small.FullHeight, 80);
}
