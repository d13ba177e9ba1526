// orbisk-cli as a user runs it: info, convert with operations and options, errors.
#include "engine/imagemetadata.h"
#include "engine/pixelgraphic.h"
#include "tests/common/shelloutput.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

using namespace orbisk;
using orbisk::test::RunCli;
using orbisk::test::TempPath;

namespace {

std::string MakeBMP(const std::string& Name, int W, int H) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, RGBOf(X * 255 / W, Y * 255 / H, 128));
  std::string Path = TempPath(Name);
  G.SaveToFile(Path);
  return Path;
}

TEST(Cli, InfoPrintsTheFields) {
  std::string In = MakeBMP("info.bmp", 47, 33), Out;
  ASSERT_EQ(RunCli({"info", In}, &Out), 0);
  EXPECT_EQ(Out, "Type: Bitmap\nSubType: Windows, RGB\nOptions: \nWidth: 47\nHeight: 33\n"
                 "Colors: 16.7M\nBitsPerPixel: 24\nGraphicCount: 1\n");
  std::string Junk = TempPath("junk.bmp"), Err;
  test::WriteFileBytes(Junk, {1, 2, 3});
  EXPECT_NE(RunCli({"info", Junk}, &Out, &Err), 0);
  EXPECT_NE(Err.find("Unknown file format"), std::string::npos);
}

TEST(Cli, ConvertResizesAndOptionsMayFollowTheFiles) {
  std::string In = MakeBMP("big.bmp", 40, 30), Out = TempPath("small.png");
  ASSERT_EQ(RunCli({"convert", In, Out, "--resize", "20x10"}), 0);
  TPixelGraphic G;
  G.LoadFromFile(Out);
  EXPECT_EQ(G.Width(), 20);
  EXPECT_EQ(G.Height(), 10);
  std::string Out2 = TempPath("small2.bmp");
  ASSERT_EQ(RunCli({"--resize=8x4", "convert", In, Out2}), 2); // the command comes first
  ASSERT_EQ(RunCli({"convert", "--resize=8x4", In, Out2, "--gray"}), 0);
  G.LoadFromFile(Out2);
  EXPECT_EQ(G.Width(), 8);
  TRGB C = G.GetPixelColor(3, 2);
  EXPECT_EQ(RedOf(C), GreenOf(C));
}

TEST(Cli, ColourResolutionQuestionNeedsYes) {
  std::string In = MakeBMP("colour.bmp", 9, 9), Out = TempPath("colour.pbm"), Err;
  std::filesystem::remove(Out);
  EXPECT_NE(RunCli({"convert", In, Out}, nullptr, &Err), 0);
  EXPECT_FALSE(std::filesystem::exists(Out));
  EXPECT_NE(Err.find("Portable Bitmap"), std::string::npos);
  EXPECT_EQ(RunCli({"convert", In, Out, "--yes"}), 0);
  TPixelGraphic G;
  G.LoadFromFile(Out);
  EXPECT_EQ(G.ColorResolution(), 0);
}

TEST(Cli, GifOutputAndColourOperations) {
  std::string In = MakeBMP("g.bmp", 30, 20), Out = TempPath("g.gif");
  ASSERT_EQ(RunCli({"convert", In, Out, "--interlace", "--transparent", "FF0080"}), 0);
  TPixelGraphic G;
  G.LoadFromFile(Out);
  EXPECT_EQ(G.BitCount(), 8);
  EXPECT_EQ(G.Width(), 30);
  std::string Out2 = TempPath("p.bmp");
  ASSERT_EQ(RunCli({"convert", In, Out2, "--colors", "16:dither"}), 0);
  G.LoadFromFile(Out2);
  EXPECT_EQ(G.BitCount(), 4);
}

TEST(Cli, BadWordsAreRefused) {
  std::string In = MakeBMP("bad.bmp", 4, 4), Err;
  struct Case {
    std::vector<std::string> Args;
    const char* Says;
  } Cases[] = {
      {{"convert", In}, "convert needs IN and OUT"},
      {{"convert", In, TempPath("x.bmp"), "--resize", "0x5"}, "--resize"},
      {{"convert", In, TempPath("x.bmp"), "--frobnicate"}, "unknown option --frobnicate"},
      {{"convert", In, TempPath("x.gif2")}, "Unknown file extension \"gif2\""},
      {{"convert", In, TempPath("x.bmp"), "--quality"}, "needs a value"},
      {{"frob"}, "unknown command"},
  };
  for (auto& C : Cases) {
    EXPECT_NE(RunCli(C.Args, nullptr, &Err), 0) << C.Says;
    EXPECT_NE(Err.find(C.Says), std::string::npos) << Err;
  }
  std::string Out;
  EXPECT_EQ(RunCli({"--help"}, &Out), 0);
  EXPECT_NE(Out.find("--tiff-compression"), std::string::npos);
}

} // namespace

TEST(Cli, GeometryOperationsInOrder) {
  std::string In = MakeBMP("geo.bmp", 40, 30), Out = TempPath("geo.bmp");
  // Crop first, then turn: the turned crop is 10 x 20.
  ASSERT_EQ(RunCli({"convert", In, Out, "--crop", "5,5,20,10", "--rotate", "90", "--flip", "v"}),
            0);
  TPixelGraphic G;
  G.LoadFromFile(Out);
  EXPECT_EQ(G.Width(), 10);
  EXPECT_EQ(G.Height(), 20);
  for (const char* Op : {"--emboss", "--fisheye", "--swirl", "--shadow", "--border"})
    EXPECT_EQ(RunCli({"convert", In, Out, Op}), 0) << Op;
  EXPECT_EQ(RunCli({"convert", In, Out, "--gaussian", "2", "--mosaic", "4", "--bevel", "3"}), 0);
  std::string Err;
  EXPECT_NE(RunCli({"convert", In, Out, "--rotate", "nan"}, nullptr, &Err), 0);
  EXPECT_NE(RunCli({"convert", In, Out, "--flip", "x"}, nullptr, &Err), 0);
}

namespace {

std::string MetafileData(const std::string& Name) {
  return std::string(ORBISK_TEST_DATA_DIR) + "/metafile/" + Name;
}

} // namespace

// Metafiles start an offscreen Qt application inside orbisk-cli; the program must still end
// with status 0 and its output complete when stdout is a file (not a terminal).
TEST(Cli, MetafilesAreReadAndTheProgramEndsCleanly) {
  std::string Out, Err;
  ASSERT_EQ(RunCli({"info", MetafileData("text-and-rectangle.wmf")}, &Out, &Err), 0) << Err;
  EXPECT_EQ(Out, "Type: Windows Metafile\nSubType: Placeable, Aldus header\nOptions: \nWidth: 400\n"
                 "Height: 200\nColors: 16.7M\nBitsPerPixel: 24\nGraphicCount: 1\n");
  ASSERT_EQ(RunCli({"info", MetafileData("half-blue.emf")}, &Out, &Err), 0) << Err;
  EXPECT_NE(Out.find("Width: "), std::string::npos) << Out;
  EXPECT_NE(Out.find("GraphicCount: 1\n"), std::string::npos) << Out;

  // convert plays the records back: the rectangle and the text (drawn with whatever font the
  // machine has when the metafile's own is missing) reach the saved picture.
  std::string Bmp = TempPath("from-wmf.bmp");
  ASSERT_EQ(RunCli({"convert", MetafileData("text-and-rectangle.wmf"), Bmp}, &Out, &Err), 0) << Err;
  TPixelGraphic G;
  G.LoadFromFile(Bmp);
  ASSERT_EQ(G.Width(), 400);
  EXPECT_EQ(G.GetPixelColor(50, 100), RGBOf(255, 0, 0));
  int Dark = 0;
  for (int Y = 0; Y < G.Height(); ++Y)
    for (int X = 160; X < G.Width(); ++X) {
      TRGB C = G.GetPixelColor(X, Y);
      Dark += RedOf(C) < 100 && GreenOf(C) < 100 && BlueOf(C) < 100;
    }
  EXPECT_GT(Dark, 100) << "no text drawn";

  std::string Png = TempPath("from-emf.png");
  ASSERT_EQ(RunCli({"convert", MetafileData("half-blue.emf"), Png}, &Out, &Err), 0) << Err;
  G.LoadFromFile(Png);
  ASSERT_GT(G.Width(), 10);
  EXPECT_EQ(G.GetPixelColor(G.Width() / 4, G.Height() / 2), RGBOf(0, 0, 255));
  EXPECT_EQ(G.GetPixelColor(G.Width() * 3 / 4, G.Height() / 2), RGBOf(255, 255, 255));
}

// The same for the third-party metafiles of the corpus, when it is there.
TEST(Cli, CorpusMetafilesEndCleanly) {
  const std::string Corpus = test::CorpusDir();
  if (Corpus.empty()) GTEST_SKIP() << "corpus folder absent";
  for (const char* Name :
       {"/pillow/Tests/images/drawing.wmf", "/libemf2svg/tests/resources/emf/test-002.emf"}) {
    const std::string Path = Corpus + Name;
    if (!std::filesystem::exists(Path)) continue;
    std::string Out, Err;
    EXPECT_EQ(RunCli({"info", Path}, &Out, &Err), 0) << Name << ": " << Err;
    EXPECT_NE(Out.find("GraphicCount: 1\n"), std::string::npos) << Name << ": " << Out;
    EXPECT_EQ(RunCli({"convert", Path, TempPath("corpus-meta.png")}, &Out, &Err), 0)
        << Name << ": " << Err;
  }
}

// Read options choose how IN is decoded: gamma correction and the JPEG decoding method.
TEST(Cli, ReadOptionsChangeTheDecoding) {
  TPixelGraphic G;
  G.SetSize(16, 16, 3);
  for (int Y = 0; Y < 16; ++Y)
    for (int X = 0; X < 16; ++X)
      G.SetPixelValue(X, Y, RGBOf(100, (X * 37 + Y * 11) % 256, (X * Y * 7) % 256));
  G.FileGamma = 1.0L; // a gAMA chunk that asks for correction on a 1.8 display
  const std::string Png = TempPath("gamma.png");
  G.SaveToFile(Png);
  auto RedAt00 = [](const std::vector<std::string>& Args) {
    const std::string Out = TempPath("gamma-out.bmp");
    std::vector<std::string> A = {"convert", Args[0], Out};
    A.insert(A.end(), Args.begin() + 1, Args.end());
    std::string Err;
    EXPECT_EQ(RunCli(A, nullptr, &Err), 0) << Err;
    TPixelGraphic B;
    B.LoadFromFile(Out);
    return int(RedOf(B.GetPixelColor(0, 0)));
  };
  const int Corrected = RedAt00({Png});
  EXPECT_NE(Corrected, 100);
  EXPECT_EQ(RedAt00({Png, "--no-gamma"}), 100);
  EXPECT_NE(RedAt00({Png, "--screen-gamma", "3"}), Corrected);

  const std::string Jpg = TempPath("dct.jpg");
  G.SaveToFile(Jpg);
  std::vector<TPixelGraphic> Decoded(3);
  const char* Methods[] = {"int", "fast", "float"};
  for (int I = 0; I < 3; ++I) {
    const std::string Out = TempPath(std::string("dct-") + Methods[I] + ".bmp");
    ASSERT_EQ(RunCli({"convert", Jpg, Out, "--jpeg-dct", Methods[I]}), 0) << Methods[I];
    Decoded[size_t(I)].LoadFromFile(Out);
  }
  int Differ = 0;
  for (int Y = 0; Y < 16; ++Y)
    for (int X = 0; X < 16; ++X)
      Differ += Decoded[0].GetPixelColor(X, Y) != Decoded[1].GetPixelColor(X, Y);
  EXPECT_GT(Differ, 0) << "fast and int decoding gave the same pixels";

  std::string Err;
  EXPECT_NE(RunCli({"convert", Jpg, TempPath("x.bmp"), "--jpeg-dct", "quick"}, nullptr, &Err), 0);
  EXPECT_NE(Err.find("--jpeg-dct takes fast, int or float"), std::string::npos) << Err;
  EXPECT_NE(RunCli({"convert", Png, TempPath("x.bmp"), "--screen-gamma", "0"}, nullptr, &Err), 0);
  EXPECT_NE(Err.find("--screen-gamma"), std::string::npos) << Err;
}

// ---- metadata carried from IN to OUT

namespace {

std::string Shell(const std::string& Command) {
  return orbisk::test::ShellOutput(Command);
}

bool HaveExiv2() {
  return Shell("exiv2 --version 2>/dev/null").find("exiv2") != std::string::npos;
}

std::vector<uint8_t> Profile(size_t N) {
  std::vector<uint8_t> P(N, 0);
  for (size_t I = 132; I < N; ++I)
    P[I] = uint8_t(I * 13);
  P[0] = uint8_t(N >> 24);
  P[1] = uint8_t(N >> 16);
  P[2] = uint8_t(N >> 8);
  P[3] = uint8_t(N);
  P[8] = 2;
  P[9] = 0x10;
  std::memcpy(&P[12], "mntrRGB XYZ ", 12);
  std::memcpy(&P[36], "acsp", 4);
  const uint8_t D50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
  std::memcpy(&P[68], D50, 12);
  return P;
}

// A 64 x 48 camera picture: a profile written by our writer, EXIF (turned: orientation 6, GPS)
// and XMP set by exiv2.
std::string CameraJPEG(const std::string& Name) {
  TPixelGraphic G;
  G.SetSize(64, 48, 3);
  for (int Y = 0; Y < 48; ++Y)
    for (int X = 0; X < 64; ++X)
      G.SetPixelColor(X, Y, X < 32 ? RGBOf(200, 40, 30) : RGBOf(30, 60, 200));
  G.Metadata.Icc = Profile(4000);
  const std::string Path = TempPath(Name);
  G.SaveToFile(Path);
  Shell("exiv2 -M'set Exif.Image.Make TestCam' -M'set Exif.Image.Orientation 6' "
        "-M'set Exif.Photo.DateTimeOriginal 2024:05:06 07:08:09' "
        "-M'set Exif.Photo.PixelXDimension 64' -M'set Exif.Photo.PixelYDimension 48' "
        "-M'set Exif.GPSInfo.GPSLatitudeRef N' -M'set Exif.GPSInfo.GPSLatitude 51/1 30/1 26/1' "
        "-M'set Xmp.dc.title Orbisk test title' '" +
        Path + "'");
  return Path;
}

} // namespace

TEST(CliMetadata, ConvertKeepsCameraDateGPSProfileAndXMPInJPEGPNGAndTIFF) {
  if (!HaveExiv2()) GTEST_SKIP() << "exiv2 is not installed";
  const std::string In = CameraJPEG("camera.jpg");
  ASSERT_NE(Shell("exiv2 -pt '" + In + "' 2>&1").find("TestCam"), std::string::npos);
  for (const char* Ext : {"jpg", "png", "tif"}) {
    SCOPED_TRACE(Ext);
    const std::string Out = TempPath(std::string("camera-gray.") + Ext);
    ASSERT_EQ(RunCli({"convert", In, Out, "--gray"}), 0);
    const std::string Tags = Shell("exiv2 -pt '" + Out + "' 2>&1");
    EXPECT_NE(Tags.find("TestCam"), std::string::npos) << Tags;
    EXPECT_NE(Tags.find("2024:05:06 07:08:09"), std::string::npos) << Tags;
    EXPECT_NE(Tags.find("51deg 30' 26\""), std::string::npos) << Tags;
    EXPECT_NE(Tags.find("right, top"), std::string::npos) << "the stored pixels still need turning";
    EXPECT_NE(Shell("exiv2 -px '" + Out + "' 2>&1").find("Orbisk test title"), std::string::npos);
    const TImageMetadata M = ReadImageMetadata(Out);
    EXPECT_EQ(M.Icc, Profile(4000));
    // Turned upright: orientation 1 and the turned size; resized: the new size.
    const std::string Upright = TempPath(std::string("camera-upright.") + Ext);
    ASSERT_EQ(RunCli({"convert", In, Upright, "--auto-orient"}), 0);
    const std::string U = Shell("exiv2 -pt '" + Upright + "' 2>&1");
    EXPECT_NE(U.find("top, left"), std::string::npos) << U;
    EXPECT_EQ(U.find("right, top"), std::string::npos) << U;
    EXPECT_NE(U.find("PixelXDimension                   Long        1  48"), std::string::npos)
        << U;
    EXPECT_NE(U.find("PixelYDimension                   Long        1  64"), std::string::npos)
        << U;
    const std::string Small = TempPath(std::string("camera-small.") + Ext);
    ASSERT_EQ(RunCli({"convert", In, Small, "--resize", "32x24"}), 0);
    const std::string S = Shell("exiv2 -pt '" + Small + "' 2>&1");
    EXPECT_NE(S.find("PixelXDimension                   Long        1  32"), std::string::npos)
        << S;
    EXPECT_NE(S.find("right, top"), std::string::npos) << S;
    // A turn by an operation resets the orientation too.
    const std::string Turned = TempPath(std::string("camera-turned.") + Ext);
    ASSERT_EQ(RunCli({"convert", In, Turned, "--rotate", "90"}), 0);
    EXPECT_NE(Shell("exiv2 -pt '" + Turned + "' 2>&1").find("top, left"), std::string::npos);
  }
}

TEST(CliMetadata, ASourceWithoutMetadataGivesTheWritersPlainBytes) {
  TPixelGraphic G;
  G.SetSize(40, 30, 3);
  for (int Y = 0; Y < 30; ++Y)
    for (int X = 0; X < 40; ++X)
      G.SetPixelColor(X, Y, RGBOf(X * 6, Y * 8, 77));
  const std::string In = TempPath("plain-src.png");
  G.SaveToFile(In);
  for (const char* Ext : {"jpg", "png", "tif"}) {
    SCOPED_TRACE(Ext);
    const std::string Out = TempPath(std::string("plain-out.") + Ext);
    const std::string Ref = TempPath(std::string("plain-ref.") + Ext);
    ASSERT_EQ(RunCli({"convert", In, Out}), 0);
    TPixelGraphic R;
    R.LoadFromFile(In);
    R.SaveToFile(Ref);
    EXPECT_EQ(test::ReadFileBytes(Out), test::ReadFileBytes(Ref));
    EXPECT_TRUE(ReadImageMetadata(Out).Empty());
  }
}

TEST(Cli, InfoCountsTheFramesOfMovingPictures) {
  std::vector<std::string> Frames;
  for (TRGB C : {RGBOf(255, 0, 0), RGBOf(0, 255, 0), RGBOf(0, 0, 255)}) {
    TPixelGraphic G;
    G.SetSize(12, 10, 3);
    for (int Y = 0; Y < 10; ++Y)
      for (int X = 0; X < 12; ++X)
        G.SetPixelColor(X, Y, C);
    Frames.push_back(TempPath("moving" + std::to_string(Frames.size() + 1) + ".png"));
    G.SaveToFile(Frames.back());
  }
  const std::string List = "'" + Frames[0] + "' '" + Frames[1] + "' '" + Frames[2] + "'";
  // Each tool's animation, with the command that makes it.
  const std::pair<std::string, std::string> Made[] = {
      {"img2webp", "img2webp -lossless " + List + " -o '" + TempPath("moving.webp") + "'"},
      {"avifenc", "avifenc -s 10 --fps 5 " + List + " '" + TempPath("moving.avif") + "'"},
      {"apngasm", "apngasm '" + TempPath("moving.apng.png") + "' '" + Frames[0] + "' 1 5"},
  };
  const std::string Outputs[] = {TempPath("moving.webp"), TempPath("moving.avif"),
                                 TempPath("moving.apng.png")};
  int Ran = 0;
  for (size_t I = 0; I < std::size(Made); ++I) {
    if (!test::HaveTool(Made[I].first)) continue;
    SCOPED_TRACE(Made[I].first);
    ASSERT_TRUE(test::RunTool(Made[I].second));
    std::string Out;
    ASSERT_EQ(RunCli({"info", Outputs[I]}, &Out), 0);
    EXPECT_NE(Out.find("Width: 12\nHeight: 10\n"), std::string::npos) << Out;
    EXPECT_NE(Out.find("GraphicCount: 3\n"), std::string::npos) << Out;
    ++Ran;
  }
  std::string Out;
  ASSERT_EQ(RunCli({"info", Frames[0]}, &Out), 0);
  EXPECT_NE(Out.find("GraphicCount: 1\n"), std::string::npos) << Out;
  if (Ran < 3) GTEST_SKIP() << "some of img2webp, avifenc, apngasm are missing";
}
