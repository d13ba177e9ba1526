// WebP, AVIF, HEIF and JPEG XL: decoded pixels against each library's own command-line tools on
// files the tests make, the writers, content recognition, hostile files, the pixel limit,
// progress and abort.
#include "engine/formats/avif.h"
#include "engine/formats/heif.h"
#include "engine/formats/jpeg.h"
#include "engine/formats/jxl.h"
#include "engine/formats/png.h"
#include "engine/formats/webp.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>

#include <avif/avif.h>
#include <jxl/decode.h>
#include <jxl/encode.h>
#include <png.h>
#include <webp/demux.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

std::string Quoted(const std::string& S) {
  return "'" + S + "'";
}

// An asymmetric test picture with smooth and sharp parts, 8-bit RGBA, top row first.
RGBAImage TestPicture(int W, int H, bool Alpha) {
  RGBAImage P;
  P.Width = W;
  P.Height = H;
  P.Pixels.resize(size_t(W) * H * 4);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint8_t* D = &P.Pixels[(size_t(Y) * W + X) * 4];
      D[0] = uint8_t(X * 255 / std::max(1, W - 1));
      D[1] = uint8_t(Y * 255 / std::max(1, H - 1));
      D[2] = uint8_t((X / 8 + Y / 8) % 2 ? 200 : 40);
      D[3] = Alpha ? uint8_t(X * 255 / std::max(1, W - 1)) : 255;
    }
  return P;
}

// Opaque pictures are written without an alpha channel, so that encoders store none.
bool WritePNG(const std::string& Path, const RGBAImage& P) {
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  Img.width = png_uint_32(P.Width);
  Img.height = png_uint_32(P.Height);
  Img.format = P.Opaque() ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
  std::vector<uint8_t> Rgb;
  if (P.Opaque())
    for (size_t I = 0; I < P.Pixels.size(); I += 4)
      Rgb.insert(Rgb.end(), P.Pixels.begin() + std::ptrdiff_t(I),
                 P.Pixels.begin() + std::ptrdiff_t(I) + 3);
  return png_image_write_to_file(&Img, Path.c_str(), 0, P.Opaque() ? Rgb.data() : P.Pixels.data(),
                                 0, nullptr) != 0;
}

// Mean absolute difference of the colour channels (sizes must agree).
double MeanDifference(const RGBAImage& A, const RGBAImage& B) {
  double Sum = 0;
  for (size_t I = 0; I < A.Pixels.size(); ++I)
    if (I % 4 != 3) Sum += std::abs(int(A.Pixels[I]) - int(B.Pixels[I]));
  return Sum / double(A.Pixels.size() / 4 * 3);
}

// The RGBA reference composited onto a background as the readers do it.
RGBAImage Composited(const RGBAImage& A, TRGB Bk) {
  RGBAImage R = A;
  const unsigned B[3] = {RedOf(Bk), GreenOf(Bk), BlueOf(Bk)};
  for (size_t I = 0; I < R.Pixels.size(); I += 4) {
    const unsigned Al = R.Pixels[I + 3];
    for (int C = 0; C < 3; ++C)
      R.Pixels[I + C] = uint8_t((R.Pixels[I + C] * Al + B[C] * (255 - Al) + 127) / 255);
    R.Pixels[I + 3] = 255;
  }
  return R;
}

struct TCase {
  const char* Name;
  const char* Ext;
  const char* Encode; // {in} {out}
  const char* Decode; // {in} {out}, a PNG
  bool Alpha;
  bool Lossless; // the tool's decode and ours agree exactly, and equal the original
};

std::string Fill(std::string T, const std::string& In, const std::string& Out) {
  T.replace(T.find("{in}"), 4, Quoted(In));
  T.replace(T.find("{out}"), 5, Quoted(Out));
  return T;
}

const TCase kCases[] = {
    {"webp_lossless", "webp", "cwebp -quiet -lossless {in} -o {out}", "dwebp -quiet {in} -o {out}",
     false, true},
    {"webp_lossy", "webp", "cwebp -quiet -q 75 {in} -o {out}", "dwebp -quiet {in} -o {out}", false,
     false},
    {"webp_alpha", "webp", "cwebp -quiet -lossless -exact {in} -o {out}",
     "dwebp -quiet {in} -o {out}", true, true},
    {"avif_lossless", "avif", "avifenc -l {in} {out}", "avifdec {in} {out}", false, true},
    {"avif_lossy", "avif", "avifenc --min 20 --max 30 {in} {out}", "avifdec {in} {out}", false,
     false},
    {"avif_alpha", "avif", "avifenc {in} {out}", "avifdec {in} {out}", true, false},
    {"avif_10bit", "avif", "avifenc -d 10 -y 420 {in} {out}", "avifdec -d 8 {in} {out}", false,
     false},
    {"heic_lossy", "heic", "heif-enc -q 60 {in} -o {out}", "heif-convert {in} {out}", false, false},
    {"heic_alpha", "heic", "heif-enc -q 90 {in} -o {out}", "heif-convert {in} {out}", true, false},
    {"jxl_lossless", "jxl", "cjxl -d 0 {in} {out}", "djxl {in} {out}", false, true},
    {"jxl_lossy", "jxl", "cjxl -d 1.5 {in} {out}", "djxl {in} {out}", false, false},
    {"jxl_alpha", "jxl", "cjxl -d 0 {in} {out}", "djxl {in} {out}", true, true},
};

class Conformance : public ::testing::TestWithParam<TCase> {};

TEST_P(Conformance, DecodedPixelsMatchTheLibrarysOwnTool) {
  const TCase& C = GetParam();
  const std::string Enc(C.Encode), Dec(C.Decode);
  const std::string EncTool = Enc.substr(0, Enc.find(' ')), DecTool = Dec.substr(0, Dec.find(' '));
  if (!HaveTool(EncTool) || !HaveTool(DecTool))
    GTEST_SKIP() << EncTool << " or " << DecTool << " is not installed";

  const RGBAImage Original = TestPicture(47, 33, C.Alpha);
  const std::string Src = TempPath(std::string(C.Name) + "-src.png");
  const std::string File = TempPath(std::string(C.Name) + "." + C.Ext);
  const std::string Ref = TempPath(std::string(C.Name) + "-ref.png");
  ASSERT_TRUE(WritePNG(Src, Original));
  ASSERT_TRUE(RunTool(Fill(Enc, Src, File))) << Fill(Enc, Src, File);
  ASSERT_TRUE(RunTool(Fill(Dec, File, Ref))) << Fill(Dec, File, Ref);
  RGBAImage Tool;
  ASSERT_TRUE(LoadPNGReference(Ref, Tool));

  TPixelGraphic G;
  const TRGB Bk = RGBOf(10, 200, 90);
  G.SetBackGroundColor(Bk);
  G.LoadFromFile(File);
  ASSERT_EQ(G.BitCountNum(), 3);
  const RGBAImage Ours = ToRGBA(G);
  const RGBAImage Expected = C.Alpha ? Composited(Tool, Bk) : Tool;
  // Lossless: exact; lossy files go through the same library path, rounding may differ by one.
  EXPECT_EQ(CountDifferences(Ours, Expected, false, C.Lossless && !C.Alpha ? 0 : 1), 0);
  if (C.Lossless) {
    EXPECT_EQ(CountDifferences(Ours, C.Alpha ? Composited(Original, Bk) : Original, false,
                               C.Alpha ? 1 : 0),
              0);
  }

  TGraphicFileInfo Info;
  ASSERT_TRUE(GetGraphicFileInfo(File, 0, Info));
  EXPECT_EQ(Info.Width, 47);
  EXPECT_EQ(Info.Height, 33);
  EXPECT_EQ(Info.SubType.find("alpha") != std::string::npos, C.Alpha) << Info.SubType;
}

INSTANTIATE_TEST_SUITE_P(Tools, Conformance, ::testing::ValuesIn(kCases),
                         [](const auto& I) { return std::string(I.param.Name); });

// Runs Body with the process's stderr sent to a file; returns what was written there.
std::string CapturedStderr(const std::function<void()>& Body) {
  const std::string Path = TempPath("stderr.txt");
  fflush(stderr);
  const int Saved = dup(2);
  const int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(Fd, 2);
  close(Fd);
  Body();
  fflush(stderr);
  dup2(Saved, 2);
  close(Saved);
  const auto Bytes = ReadFileBytes(Path);
  return std::string(Bytes.begin(), Bytes.end());
}

// A small file of each format, made by the tools (empty when a tool is missing).
std::vector<std::pair<std::string, std::vector<uint8_t>>> ToolFiles() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> Files;
  const std::string Src = TempPath("hostile-src.png");
  WritePNG(Src, TestPicture(40, 24, true));
  const std::pair<const char*, const char*> Makers[] = {{"webp", "cwebp -quiet {in} -o {out}"},
                                                        {"avif", "avifenc {in} {out}"},
                                                        {"heic", "heif-enc {in} -o {out}"},
                                                        {"jxl", "cjxl -d 1 {in} {out}"}};
  for (const auto& [Ext, Cmd] : Makers) {
    const std::string Out = TempPath(std::string("hostile.") + Ext);
    if (RunTool(Fill(Cmd, Src, Out))) Files.emplace_back(Ext, ReadFileBytes(Out));
  }
  return Files;
}

std::string Tag(const std::string& Ext) {
  return Ext == "webp" ? "WebP: " : Ext == "avif" ? "AVIF: " : Ext == "heic" ? "HEIF: " : "JXL: ";
}

TEST(ModernFormats, DamagedFilesFailWithTheFormatsTagAndPrintNothingOfTheirOwn) {
  const auto Files = ToolFiles();
  if (Files.empty()) GTEST_SKIP() << "none of cwebp, avifenc, heif-enc, cjxl is installed";
  for (const auto& [Ext, Data] : Files) {
    // Cut short at several places, and with a stretch of the data overwritten.
    std::vector<std::vector<uint8_t>> Broken;
    for (size_t Keep : {size_t(20), Data.size() / 3, Data.size() / 2, Data.size() - 5})
      Broken.emplace_back(Data.begin(), Data.begin() + std::ptrdiff_t(Keep));
    auto Garbled = Data;
    for (size_t I = Garbled.size() / 2; I < Garbled.size(); ++I)
      Garbled[I] = uint8_t(I * 37);
    Broken.push_back(Garbled);
    // The coded picture damaged, the container intact (it comes last in these files).
    auto Coded = Data;
    for (size_t I = Coded.size() - Coded.size() / 4; I < Coded.size(); I += 3)
      Coded[I] ^= 0x5A;
    Broken.push_back(Coded);
    for (size_t K = 0; K < Broken.size(); ++K) {
      std::string Error;
      const std::string Printed = CapturedStderr([&] {
        TPGMemoryStream S(Broken[K].data(), Broken[K].size());
        TPixelGraphic G;
        try {
          G.LoadFromStream(S);
        } catch (const EPixelGraphic& E) {
          Error = E.what();
        }
      });
      // The readers print nothing themselves; the AV1, HEVC and JPEG XL decoders may print
      // their own diagnostics, which are left alone. libwebp prints nothing at all.
      EXPECT_EQ(Printed.find(Tag(Ext)), std::string::npos) << Ext << " case " << K << Printed;
      if (!Error.empty()) {
        EXPECT_EQ(Printed.find(Error), std::string::npos) << Ext << " case " << K << Printed;
      }
      if (Ext == "webp") {
        EXPECT_EQ(Printed, "") << " case " << K;
      }
      // Damaged data may still decode (the damage can sit in data the picture does not use).
      if (K + 2 < Broken.size() || !Error.empty()) {
        EXPECT_EQ(Error.rfind(Tag(Ext), 0), 0u) << Ext << " case " << K << ": " << Error;
      }
    }
  }
}

// The AV1 decoder behind libavif may report the bitstream error on stderr itself; the reader
// raises its own tagged error and prints nothing of its own.
TEST(ModernFormats, BrokenAV1PayloadFailsWithTheTagAndPrintsNothingOfItsOwn) {
  const auto Data =
      ReadFileBytes(std::string(ORBISK_TEST_DATA_DIR) + "/avif/broken-av1-sequence-header.avif");
  ASSERT_FALSE(Data.empty());
  std::string Error;
  const std::string Printed = CapturedStderr([&] {
    TPGMemoryStream S(Data.data(), Data.size());
    TPixelGraphic G;
    try {
      G.LoadFromStream(S);
    } catch (const EPixelGraphic& E) {
      Error = E.what();
    }
  });
  EXPECT_EQ(Printed.find("AVIF: "), std::string::npos) << Printed;
  EXPECT_EQ(Error.rfind("AVIF: ", 0), 0u) << Error;
}

// The C library's output functions stay the C library's: a program linking the engine gets
// every write to stderr it makes.
TEST(ModernFormats, TheCLibrarysOutputFunctionsAreNotReplaced) {
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the address checker puts its own functions in front of the C library's";
#endif
#endif
  for (const char* Name : {"fwrite", "__fprintf_chk", "__vfprintf_chk", "fprintf", "vfprintf"}) {
    void* Symbol = dlsym(RTLD_DEFAULT, Name);
    if (!Symbol) continue;
    Dl_info Info;
    ASSERT_TRUE(dladdr(Symbol, &Info)) << Name;
    ASSERT_NE(Info.dli_fname, nullptr) << Name;
    EXPECT_NE(std::string(Info.dli_fname).find("libc.so"), std::string::npos)
        << Name << " comes from " << Info.dli_fname;
  }
}

TEST(ModernFormats, PixelLimitRefusesBeforeDecoding) {
  const auto Files = ToolFiles();
  if (Files.empty()) GTEST_SKIP() << "none of cwebp, avifenc, heif-enc, cjxl is installed";
  TReadOptions Small;
  Small.MaxPixelCount = 40 * 24 - 1;
  for (const auto& [Ext, Data] : Files) {
    TPGMemoryStream S(Data.data(), Data.size());
    TPixelGraphic G;
    try {
      G.LoadFromStream(S, Small);
      ADD_FAILURE() << Ext << " loaded past the pixel limit";
    } catch (const EPixelGraphic& E) {
      EXPECT_EQ(std::string(E.what()), Tag(Ext) + "CreateDIBSection failed");
    }
  }
}

TEST(ModernFormats, ContentDecidesTheReaderNotTheName) {
  const auto Files = ToolFiles();
  if (Files.empty()) GTEST_SKIP() << "none of cwebp, avifenc, heif-enc, cjxl is installed";
  const std::map<std::string, std::string> Classes = {{"webp", "TWebPFileFormatReader"},
                                                      {"avif", "TAVIFFileFormatReader"},
                                                      {"heic", "THEICFileFormatReader"},
                                                      {"jxl", "TJXLFileFormatReader"}};
  for (const auto& [Ext, Data] : Files) {
    TPGMemoryStream S(Data.data(), Data.size());
    TFileFormatReader* R = FindReader(S, "png");
    ASSERT_NE(R, nullptr) << Ext;
    EXPECT_EQ(R->ClassName(), Classes.at(Ext));
    const std::string Misnamed = TempPath("really-" + Ext + ".jpg");
    WriteFileBytes(Misnamed, Data);
    TPixelGraphic G;
    G.LoadFromFile(Misnamed);
    EXPECT_EQ(G.Width(), 40) << Ext;
  }
}

TEST(ModernFormats, AVIFUnderTheGeneralBrandIsDecodedAsAVIF) {
  if (!HaveTool("avifenc")) GTEST_SKIP() << "avifenc is not installed";
  const std::string Src = TempPath("brand-src.png"), File = TempPath("brand.avif");
  const RGBAImage P = TestPicture(21, 13, false);
  ASSERT_TRUE(WritePNG(Src, P));
  ASSERT_TRUE(RunTool("avifenc -l " + Quoted(Src) + " " + Quoted(File)));
  auto Data = ReadFileBytes(File);
  ASSERT_EQ(std::string(Data.begin() + 8, Data.begin() + 12), "avif");
  std::copy_n("mif1", 4, Data.begin() + 8); // "avif" stays among the compatible brands
  TPGMemoryStream S(Data.data(), Data.size());
  EXPECT_EQ(FindReader(S, "")->ClassName(), "THEICFileFormatReader");
  TPixelGraphic G;
  G.LoadFromStream(S);
  EXPECT_EQ(CountDifferences(ToRGBA(G), P, false), 0);
}

TEST(ModernFormats, AbortKeepsWhatWasDecodedWithoutAnError) {
  const auto Files = ToolFiles();
  for (const auto& [Ext, Data] : Files) {
    TPGMemoryStream S(Data.data(), Data.size());
    TPixelGraphic G;
    int Starts = 0, Ends = 0;
    G.OnProgressStart = [&](TPixelGraphic*) { ++Starts; };
    G.OnProgressEnd = [&](TPixelGraphic*) { ++Ends; };
    G.OnProgress = [](TPixelGraphic*, int, bool& Abort, int) { Abort = true; };
    EXPECT_NO_THROW(G.LoadFromStream(S)) << Ext;
    EXPECT_EQ(G.Width(), 40) << Ext;
    EXPECT_EQ(Starts, 1) << Ext;
    EXPECT_EQ(Ends, 1) << Ext;
  }
}

TEST(ModernFormats, AnimatedWebPShowsItsFirstFrame) {
  if (!HaveTool("img2webp")) GTEST_SKIP() << "img2webp is not installed";
  RGBAImage Red = TestPicture(16, 16, false), Blue = Red;
  for (size_t I = 0; I < Red.Pixels.size(); I += 4) {
    Red.Pixels[I] = 255, Red.Pixels[I + 1] = 0, Red.Pixels[I + 2] = 0;
    Blue.Pixels[I] = 0, Blue.Pixels[I + 1] = 0, Blue.Pixels[I + 2] = 255;
  }
  const std::string A = TempPath("frame1.png"), B = TempPath("frame2.png");
  const std::string File = TempPath("anim.webp");
  ASSERT_TRUE(WritePNG(A, Red) && WritePNG(B, Blue));
  ASSERT_TRUE(RunTool("img2webp -lossless " + Quoted(A) + " " + Quoted(B) + " -o " + Quoted(File)));
  TPixelGraphic G;
  G.LoadFromFile(File);
  EXPECT_EQ(CountDifferences(ToRGBA(G), Red, false), 0);
  TGraphicFileInfo Info;
  ASSERT_TRUE(GetGraphicFileInfo(File, 0, Info));
  EXPECT_NE(Info.SubType.find("animation"), std::string::npos);
}

// A WebP file's EXIF chunk gives the picture its camera orientation (turned upright where
// pictures are shown); a file without one stays at 1.
TEST(ModernFormats, WebPExifChunkGivesTheCameraOrientation) {
  if (!HaveTool("cwebp") || !HaveTool("webpmux")) GTEST_SKIP() << "cwebp/webpmux are not installed";
  const std::string Src = TempPath("orient.png"), Plain = TempPath("orient.webp");
  const std::string Exif = TempPath("orient.exif"), Tagged = TempPath("orient6.webp");
  ASSERT_TRUE(WritePNG(Src, TestPicture(24, 16, false)));
  ASSERT_TRUE(RunTool("cwebp -lossless " + Quoted(Src) + " -o " + Quoted(Plain)));
  // The EXIF chunk holds the TIFF structure without the JPEG segment's "Exif\0\0" prefix.
  const std::vector<uint8_t> Block = ExifBlock(6, true);
  WriteFileBytes(Exif, std::vector<uint8_t>(Block.begin() + 6, Block.end()));
  ASSERT_TRUE(
      RunTool("webpmux -set exif " + Quoted(Exif) + " " + Quoted(Plain) + " -o " + Quoted(Tagged)));
  TPixelGraphic G;
  G.LoadFromFile(Plain);
  EXPECT_EQ(G.ExifOrientation, 1);
  G.LoadFromFile(Tagged);
  EXPECT_EQ(G.ExifOrientation, 6);
  EXPECT_EQ(G.Width(), 24) << "the reader keeps the pixels as stored";
}

// ---- writers ----

TPixelGraphic* MakePicture(TPixelGraphic& G, const RGBAImage& P) {
  G.SetSize(P.Width, P.Height, 3);
  for (int Y = 0; Y < P.Height; ++Y)
    for (int X = 0; X < P.Width; ++X) {
      const uint8_t* S = &P.Pixels[(size_t(Y) * P.Width + X) * 4];
      G.SetPixelColor(X, Y, RGBOf(S[0], S[1], S[2]));
    }
  return &G;
}

TEST(ModernFormats, WebPLosslessWriteThenReadIsExact) {
  const RGBAImage P = TestPicture(47, 33, false);
  TPixelGraphic G;
  MakePicture(G, P);
  const std::string File = TempPath("written-lossless.webp");
  TWriteOptions Lossless;
  Lossless.WebPLossless = true;
  G.SaveToFile(File, Lossless);
  TPixelGraphic Back;
  Back.LoadFromFile(File);
  EXPECT_EQ(CountDifferences(ToRGBA(Back), P, false), 0);

  // A palette picture is written as the colours it shows.
  TPixelGraphic Pal;
  Pal.SetSize(5, 3, 1);
  Pal.SetPaletteKind(pSys16);
  for (int X = 0; X < 5; ++X)
    Pal.SetPixelValue(X, 1, uint32_t(X + 9));
  Pal.SaveToFile(File, Lossless);
  Back.LoadFromFile(File);
  EXPECT_EQ(CountDifferences(ToRGBA(Back), ToRGBA(Pal), false), 0);
}

// Files our writers make decode in the libraries' own tools as they decode here, and are as
// close to the written picture as the tools' own encoders make them at the same settings.
TEST(ModernFormats, WrittenFilesDecodeAlikeInTheTools) {
  const RGBAImage P = TestPicture(47, 33, false);
  const std::string Src = TempPath("written-src.png");
  ASSERT_TRUE(WritePNG(Src, P));
  TPixelGraphic G;
  MakePicture(G, P);
  TWriteOptions Quality90;
  Quality90.JPEGQuality = 90;
  struct TTarget {
    const char* Ext;
    const char* Encode; // the tool at the writer's settings for quality 90
    const char* Decode;
  };
  const TTarget Targets[] = {
      {"webp", "cwebp -quiet -q 90 {in} -o {out}", "dwebp -quiet {in} -o {out}"},
      {"avif", "avifenc -y 444 --min 6 --max 6 -s 6 {in} {out}", "avifdec {in} {out}"}};
  for (const auto& T : Targets) {
    const std::string File = TempPath(std::string("written.") + T.Ext);
    G.SaveToFile(File, Quality90);
    TPixelGraphic Back;
    Back.LoadFromFile(File);
    const RGBAImage Ours = ToRGBA(Back);
    ASSERT_EQ(CountDifferences(Ours, P, false, 255), 0) << T.Ext;
    const std::string Enc(T.Encode), Dec(T.Decode);
    if (!HaveTool(Enc.substr(0, Enc.find(' '))) || !HaveTool(Dec.substr(0, Dec.find(' ')))) {
      EXPECT_LT(MeanDifference(Ours, P), 10.0) << T.Ext;
      continue;
    }
    const std::string Ref = TempPath(std::string("written-") + T.Ext + ".png");
    ASSERT_TRUE(RunTool(Fill(Dec, File, Ref)));
    RGBAImage ToolPixels;
    ASSERT_TRUE(LoadPNGReference(Ref, ToolPixels));
    EXPECT_EQ(CountDifferences(Ours, ToolPixels, false, 1), 0) << T.Ext;

    const std::string Theirs = TempPath(std::string("tool-written.") + T.Ext);
    ASSERT_TRUE(RunTool(Fill(Enc, Src, Theirs)));
    TPixelGraphic TheirBack;
    TheirBack.LoadFromFile(Theirs);
    EXPECT_LT(MeanDifference(Ours, P), MeanDifference(ToRGBA(TheirBack), P) + 1.0) << T.Ext;
  }
}

TEST(ModernFormats, WritersRefuseSizesTheFormatCannotHold) {
  TPixelGraphic G;
  G.SetSize(16384, 1, 3);
  TPGMemoryStream S;
  try {
    G.SaveToStreamExt(S, "webp");
    ADD_FAILURE() << "a 16384-pixel wide WebP file was written";
  } catch (const EPGWebPFileFormatReaderWriter& E) {
    EXPECT_EQ(std::string(E.what()).rfind("WebP: ", 0), 0u);
  }
  EXPECT_EQ(S.Size(), 0);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Peak memory (KB) a child process adds while it runs Body, over one that does nothing.
int64_t AddedPeakKB(const std::function<void()>& Body) {
  auto Peak = [](const std::function<void()>& F) {
    const pid_t Child = fork();
    if (Child == 0) {
      try {
        F();
      } catch (...) {
      }
      _exit(0);
    }
    int Status = 0;
    rusage U{};
    wait4(Child, &Status, 0, &U);
    return int64_t(U.ru_maxrss);
  };
  return Peak(Body) - Peak([] {});
}

void Put24(std::vector<uint8_t>& B, unsigned V) {
  B.push_back(uint8_t(V));
  B.push_back(uint8_t(V >> 8));
  B.push_back(uint8_t(V >> 16));
}
void Put32(std::vector<uint8_t>& B, unsigned V) {
  Put24(B, V);
  B.push_back(uint8_t(V >> 24));
}
std::vector<uint8_t> Riff(const std::vector<uint8_t>& Chunks) {
  std::vector<uint8_t> F = {'R', 'I', 'F', 'F'};
  Put32(F, unsigned(Chunks.size() + 4));
  F.insert(F.end(), {'W', 'E', 'B', 'P'});
  F.insert(F.end(), Chunks.begin(), Chunks.end());
  return F;
}

TEST(ModernFormats, WebPDeclaredSizeIsCheckedBeforeTheCanvas) {
  // A lossless header declaring 16383 x 16383 with alpha, and hardly any data after it.
  std::vector<uint8_t> Chunk = {'V', 'P', '8', 'L'};
  Put32(Chunk, 8);
  const uint32_t Bits = 16382u | (16382u << 14) | (1u << 28);
  Chunk.push_back(0x2F);
  Put32(Chunk, Bits);
  Chunk.insert(Chunk.end(), {0x12, 0x34, 0x56});
  const std::vector<uint8_t> Bomb = Riff(Chunk);
  TPGMemoryStream S(Bomb.data(), Bomb.size());
  TPixelGraphic G;
  EXPECT_THROW(G.LoadFromStreamExt(S, "webp", 0), EPGWebPFileFormatReaderWriter);
  EXPECT_LT(AddedPeakKB([&] {
              TPGMemoryStream M(Bomb.data(), Bomb.size());
              TPixelGraphic P;
              P.LoadFromStreamExt(M, "webp", 0);
            }),
            64 * 1024);

  // An animation of one large frame: the picture and the frame's decoding, no extra canvases.
  if (!HaveTool("img2webp")) GTEST_SKIP() << "img2webp is not installed";
  if (kSanitized)
    GTEST_SKIP() << "the address checker's shadow and quarantine memory hide the frame's share";
  const int Side = 2000;
  const std::string Png = TempPath("big.png"), Png2 = TempPath("big2.png");
  const std::string File = TempPath("big-anim.webp");
  RGBAImage Second = TestPicture(Side, Side, false);
  for (size_t I = 0; I < Second.Pixels.size(); I += 4)
    Second.Pixels[I] ^= 0xFF;
  ASSERT_TRUE(WritePNG(Png, TestPicture(Side, Side, false)) && WritePNG(Png2, Second));
  ASSERT_TRUE(
      RunTool("img2webp -lossy -q 10 " + Quoted(Png) + " " + Quoted(Png2) + " -o " + Quoted(File)));
  const int64_t PictureKB = int64_t(Side) * Side * 3 / 1024;
  const int64_t Added = AddedPeakKB([&] {
    TPixelGraphic P;
    P.LoadFromFile(File);
    if (P.Width() != Side) _exit(1);
  });
  EXPECT_LT(Added, PictureKB * 3 / 2) << "KB added; the picture alone is " << PictureKB;
}

TEST(ModernFormats, WebPFirstFrameLiesOnTheBackgroundAtItsOffset) {
  if (!HaveTool("cwebp")) GTEST_SKIP() << "cwebp is not installed";
  const RGBAImage Frame = TestPicture(16, 12, true);
  const std::string Png = TempPath("frame.png"), Still = TempPath("frame.webp");
  ASSERT_TRUE(WritePNG(Png, Frame));
  ASSERT_TRUE(RunTool("cwebp -quiet -lossless -exact " + Quoted(Png) + " -o " + Quoted(Still)));
  const std::vector<uint8_t> S = ReadFileBytes(Still);
  ASSERT_EQ(std::string(S.begin() + 12, S.begin() + 16), "VP8L");
  const std::vector<uint8_t> Data(S.begin() + 12, S.end());

  // Canvas 40 x 30, the frame at (6, 8).
  std::vector<uint8_t> C = {'V', 'P', '8', 'X'};
  Put32(C, 10);
  C.insert(C.end(), {0x12, 0, 0, 0});
  Put24(C, 39);
  Put24(C, 29);
  C.insert(C.end(), {'A', 'N', 'I', 'M'});
  Put32(C, 6);
  Put32(C, 0xFF0000FF);
  C.insert(C.end(), {0, 0});
  C.insert(C.end(), {'A', 'N', 'M', 'F'});
  Put32(C, unsigned(16 + Data.size()));
  Put24(C, 3);
  Put24(C, 4);
  Put24(C, 15);
  Put24(C, 11);
  Put24(C, 100);
  C.push_back(0);
  C.insert(C.end(), Data.begin(), Data.end());
  const std::string File = TempPath("offset-anim.webp");
  WriteFileBytes(File, Riff(C));

  TPixelGraphic G;
  const TRGB Bk = RGBOf(30, 140, 220);
  G.SetBackGroundColor(Bk);
  G.LoadFromFile(File);
  ASSERT_EQ(G.Width(), 40);
  ASSERT_EQ(G.Height(), 30);
  const RGBAImage Expected = Composited(Frame, Bk);
  for (int Y = 0; Y < 30; ++Y)
    for (int X = 0; X < 40; ++X) {
      const bool In = X >= 6 && X < 22 && Y >= 8 && Y < 20;
      TRGB Want = Bk;
      if (In) {
        const uint8_t* P = &Expected.Pixels[(size_t(Y - 8) * 16 + (X - 6)) * 4];
        Want = RGBOf(P[0], P[1], P[2]);
      }
      ASSERT_EQ(G.GetPixelColor(X, Y), Want) << X << "," << Y;
    }
}

// A lossless JPEG XL file of W x H with a black extra channel (the K of a CMYK picture).
std::vector<uint8_t> JXLWithBlackChannel(uint32_t W, uint32_t H) {
  std::unique_ptr<JxlEncoder, decltype(&JxlEncoderDestroy)> E(JxlEncoderCreate(nullptr),
                                                              JxlEncoderDestroy);
  JxlBasicInfo B;
  JxlEncoderInitBasicInfo(&B);
  B.xsize = W;
  B.ysize = H;
  B.bits_per_sample = 8;
  B.num_color_channels = 3;
  B.num_extra_channels = 1;
  B.uses_original_profile = JXL_TRUE;
  if (JxlEncoderSetBasicInfo(E.get(), &B) != JXL_ENC_SUCCESS) return {};
  JxlExtraChannelInfo K;
  JxlEncoderInitExtraChannelInfo(JXL_CHANNEL_BLACK, &K);
  K.bits_per_sample = 8;
  if (JxlEncoderSetExtraChannelInfo(E.get(), 0, &K) != JXL_ENC_SUCCESS) return {};
  JxlColorEncoding C;
  JxlColorEncodingSetToSRGB(&C, JXL_FALSE);
  if (JxlEncoderSetColorEncoding(E.get(), &C) != JXL_ENC_SUCCESS) return {};
  JxlEncoderFrameSettings* S = JxlEncoderFrameSettingsCreate(E.get(), nullptr);
  JxlEncoderSetFrameLossless(S, JXL_TRUE);
  const JxlPixelFormat F{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  const JxlPixelFormat F1{1, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  std::vector<uint8_t> Cmy(size_t(W) * H * 3, 40), Black(size_t(W) * H, 0);
  if (JxlEncoderAddImageFrame(S, &F, Cmy.data(), Cmy.size()) != JXL_ENC_SUCCESS ||
      JxlEncoderSetExtraChannelBuffer(S, &F1, Black.data(), Black.size(), 0) != JXL_ENC_SUCCESS)
    return {};
  JxlEncoderCloseInput(E.get());
  std::vector<uint8_t> Out(4096);
  uint8_t* Next = Out.data();
  size_t Avail = Out.size();
  JxlEncoderStatus R;
  while ((R = JxlEncoderProcessOutput(E.get(), &Next, &Avail)) == JXL_ENC_NEED_MORE_OUTPUT) {
    const size_t Done = size_t(Next - Out.data());
    Out.resize(Out.size() * 2);
    Next = Out.data() + Done;
    Avail = Out.size() - Done;
  }
  if (R != JXL_ENC_SUCCESS) return {};
  Out.resize(size_t(Next - Out.data()));
  return Out;
}

TEST(ModernFormats, JXLWithABlackChannelIsRefusedNotShownWrong) {
  const std::vector<uint8_t> File = JXLWithBlackChannel(24, 16);
  ASSERT_FALSE(File.empty());
  TPGMemoryStream S(File.data(), File.size());
  TPixelGraphic G;
  try {
    G.LoadFromStreamExt(S, "jxl", 0);
    ADD_FAILURE() << "a CMYK picture was shown from its colour channels alone";
  } catch (const EPGJXLFileFormatReader& E) {
    EXPECT_STREQ(E.what(), "JXL: CMYK not supported");
  }
  const char* Seeds = std::getenv("ORBISK_HOSTILE_DIR"); // fuzz corpus
  const std::string Path = Seeds ? std::string(Seeds) + "/cmyk.jxl" : TempPath("cmyk.jxl");
  WriteFileBytes(Path, File);
  TGraphicFileInfo Info;
  ASSERT_TRUE(GetGraphicFileInfo(Path, 0, Info));
  EXPECT_EQ(Info.Width, 24);
  EXPECT_NE(Info.SubType.find("CMYK"), std::string::npos) << Info.SubType;
}

// The blocks a picture carries, as the libraries read them back from a written file.
TImageMetadata WebPBlocks(const std::vector<uint8_t>& File, bool& Extended) {
  TImageMetadata M;
  Extended = File.size() > 16 && std::memcmp(File.data() + 12, "VP8X", 4) == 0;
  WebPData In{File.data(), File.size()};
  std::unique_ptr<WebPDemuxer, decltype(&WebPDemuxDelete)> D(WebPDemux(&In), WebPDemuxDelete);
  if (!D) return M;
  WebPChunkIterator It;
  if (WebPDemuxGetChunk(D.get(), "EXIF", 1, &It)) {
    M.Exif.assign(It.chunk.bytes, It.chunk.bytes + It.chunk.size);
    WebPDemuxReleaseChunkIterator(&It);
  }
  if (WebPDemuxGetChunk(D.get(), "ICCP", 1, &It)) {
    M.Icc.assign(It.chunk.bytes, It.chunk.bytes + It.chunk.size);
    WebPDemuxReleaseChunkIterator(&It);
  }
  if (WebPDemuxGetChunk(D.get(), "XMP ", 1, &It)) {
    M.Xmp.assign(reinterpret_cast<const char*>(It.chunk.bytes), It.chunk.size);
    WebPDemuxReleaseChunkIterator(&It);
  }
  return M;
}

TImageMetadata AVIFBlocks(const std::vector<uint8_t>& File) {
  TImageMetadata M;
  std::unique_ptr<avifDecoder, decltype(&avifDecoderDestroy)> D(avifDecoderCreate(),
                                                                avifDecoderDestroy);
  if (avifDecoderSetIOMemory(D.get(), File.data(), File.size()) != AVIF_RESULT_OK ||
      avifDecoderParse(D.get()) != AVIF_RESULT_OK)
    return M;
  const avifImage* I = D->image;
  M.Exif.assign(I->exif.data, I->exif.data + I->exif.size);
  M.Icc.assign(I->icc.data, I->icc.data + I->icc.size);
  M.Xmp.assign(reinterpret_cast<const char*>(I->xmp.data), I->xmp.size);
  return M;
}

TEST(ModernFormats, WritersEmbedTheMetadataBlocks) {
  TPixelGraphic G;
  MakePicture(G, TestPicture(21, 13, false));
  TImageMetadata M;
  // A TIFF-structured block with Orientation 6, a profile's bytes, an XMP packet.
  M.Exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
  for (int K = 0; K < 300; ++K)
    M.Icc.push_back(uint8_t(K * 7));
  M.Xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF/></x:xmpmeta>";

  // Without blocks the files are as before: a simple WebP file, no blocks in either.
  const std::string W = TempPath("meta.webp"), A = TempPath("meta.avif");
  G.SaveToFile(W);
  G.SaveToFile(A);
  bool Extended = true;
  EXPECT_TRUE(WebPBlocks(ReadFileBytes(W), Extended).Empty());
  EXPECT_FALSE(Extended);
  EXPECT_TRUE(AVIFBlocks(ReadFileBytes(A)).Empty());

  G.Metadata = M;
  G.SaveToFile(W);
  G.SaveToFile(A);
  const TImageMetadata FromWebP = WebPBlocks(ReadFileBytes(W), Extended);
  EXPECT_TRUE(Extended);
  const TImageMetadata FromAVIF = AVIFBlocks(ReadFileBytes(A));
  for (const TImageMetadata* R : {&FromWebP, &FromAVIF}) {
    EXPECT_EQ(R->Exif, M.Exif);
    EXPECT_EQ(R->Icc, M.Icc);
    EXPECT_EQ(R->Xmp, M.Xmp);
  }
  // The pictures still decode, the WebP one with the camera orientation of its block; the AVIF
  // encoder turns that orientation into the container's turn, which the reader applies.
  TPixelGraphic Back;
  Back.LoadFromFile(W);
  EXPECT_EQ(Back.Width(), 21);
  EXPECT_EQ(Back.ExifOrientation, 6);
  Back.LoadFromFile(A);
  EXPECT_EQ(Back.Width(), 13);
  EXPECT_EQ(Back.Height(), 21);
}

// Transparency the same way in every reader: composited onto the picture's background as the
// PNG reader does it for a file without gamma information, also where the file stores its
// colours premultiplied by alpha.
TEST(ModernFormats, AlphaIsCompositedOntoTheBackgroundAsForPNG) {
  const RGBAImage Straight = TestPicture(48, 32, true);
  RGBAImage Premultiplied = Straight;
  for (size_t I = 0; I < Premultiplied.Pixels.size(); I += 4)
    for (int C = 0; C < 3; ++C)
      Premultiplied.Pixels[I + C] =
          uint8_t((Premultiplied.Pixels[I + C] * Premultiplied.Pixels[I + 3] + 127) / 255);
  const std::string Src = TempPath("alpha-src.png"), Pre = TempPath("alpha-pre.png");
  ASSERT_TRUE(WritePNG(Src, Straight) && WritePNG(Pre, Premultiplied));
  // The same PNG without its colour-space chunk (sRGB), which would have libpng compose in
  // linear light.
  std::vector<uint8_t> Plain = ReadFileBytes(Src), Stripped(Plain.begin(), Plain.begin() + 8);
  for (size_t P = 8; P + 12 <= Plain.size();) {
    const size_t N =
        (size_t(Plain[P]) << 24) | (Plain[P + 1] << 16) | (Plain[P + 2] << 8) | Plain[P + 3];
    if (std::memcmp(&Plain[P + 4], "sRGB", 4) != 0)
      Stripped.insert(Stripped.end(), Plain.begin() + std::ptrdiff_t(P),
                      Plain.begin() + std::ptrdiff_t(P + 12 + N));
    P += 12 + N;
  }
  const std::string PlainPng = TempPath("alpha-plain.png");
  WriteFileBytes(PlainPng, Stripped);
  const TRGB Bk = RGBOf(240, 230, 40);
  TPixelGraphic Png;
  Png.SetBackGroundColor(Bk);
  Png.LoadFromFile(PlainPng);
  const RGBAImage FromPNG = ToRGBA(Png);
  EXPECT_EQ(CountDifferences(FromPNG, Composited(Straight, Bk), false, 1), 0);

  struct TAlphaCase {
    const char* Name;
    std::string Encode;
    bool FromPremultiplied;
    double MaxMean; // lossless ones agree with the PNG reader to one level
  };
  const TAlphaCase Cases[] = {
      {"lossless.webp", "cwebp -quiet -lossless -exact {in} -o {out}", false, 0},
      {"lossy.webp", "cwebp -quiet -q 95 -alpha_q 100 -exact {in} -o {out}", false, 10},
      {"animated.webp", "img2webp -lossless {in} " + Quoted(Pre) + " -o {out}", false, 0},
      {"lossless.avif", "avifenc -l {in} {out}", false, 0},
      {"premultiplied.avif", "avifenc -l -p {in} {out}", false, 3},
      {"alpha.heic", "heif-enc -q 95 {in} -o {out}", false, 5},
      {"premultiplied.heic", "heif-enc -q 95 --premultiplied-alpha {in} -o {out}", true, 5},
      {"lossless.jxl", "cjxl -d 0 {in} {out}", false, 0},
  };
  for (const TAlphaCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string& Enc = C.Encode;
    if (!HaveTool(Enc.substr(0, Enc.find(' ')))) continue;
    const std::string File = TempPath(std::string("alpha-") + C.Name);
    ASSERT_TRUE(RunTool(Fill(Enc, C.FromPremultiplied ? Pre : Src, File)));
    TPixelGraphic G;
    G.SetBackGroundColor(Bk);
    G.LoadFromFile(File);
    const RGBAImage Ours = ToRGBA(G);
    ASSERT_EQ(Ours.Width, 48);
    if (C.MaxMean == 0)
      EXPECT_EQ(CountDifferences(Ours, FromPNG, false, 1), 0);
    else
      EXPECT_LT(MeanDifference(Ours, FromPNG), C.MaxMean);
  }
}

} // namespace
