// orbisk-cli convert IN --to TYPE: the converter's naming rule, the overwrite choice left to the
// caller, the source never replaced, sizes and settings.
#include "engine/imagemetadata.h"
#include "engine/orientation.h"
#include "engine/pixelgraphic.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace orbisk;
using orbisk::test::RunCli;
namespace fs = std::filesystem;

namespace {

void SaveBlocks(const std::string& Path, int W, int H) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, ((X / 10 + Y / 10) % 2) ? RGBOf(250, 20, 20) : RGBOf(20, 20, 90));
  G.SaveToFile(Path);
}

TEST(CliConvertTo, WritesNextToTheSourceByTheNamingRule) {
  const std::string D = test::EmptyTempFolder("to-naming");
  SaveBlocks(D + "/a.b.bmp", 40, 30);
  std::string Out, Err;
  ASSERT_EQ(RunCli({"convert", D + "/a.b.bmp", "--to", "png"}, &Out, &Err), 0) << Err;
  EXPECT_EQ(Out, D + "/a.png\n");
  TPixelGraphic G;
  G.LoadFromFile(D + "/a.png");
  EXPECT_EQ(G.Width(), 40);
  // The same type: the source stays, the "!" name is written, no option needed.
  ASSERT_EQ(RunCli({"convert", D + "/a.b.bmp", "--to=BMP"}, &Out), 0);
  EXPECT_EQ(Out, D + "/a.bmp\n");
  const auto Before = test::ReadFileBytes(D + "/a.bmp");
  ASSERT_EQ(RunCli({"convert", D + "/a.bmp", "--to", "bmp"}, &Out), 0);
  EXPECT_EQ(Out, D + "/!a.bmp\n");
  EXPECT_EQ(test::ReadFileBytes(D + "/a.bmp"), Before);
}

TEST(CliConvertTo, AnExistingFileNeedsAnAnswer) {
  const std::string D = test::EmptyTempFolder("to-exists");
  SaveBlocks(D + "/a.bmp", 20, 20);
  test::WriteFileBytes(D + "/a.tga", {1, 2, 3});
  std::string Out, Err;
  EXPECT_NE(RunCli({"convert", D + "/a.bmp", "--to", "tga"}, &Out, &Err), 0);
  EXPECT_NE(Err.find(D + "/a.tga exists"), std::string::npos);
  EXPECT_EQ(test::ReadFileBytes(D + "/a.tga"), (std::vector<uint8_t>{1, 2, 3}));
  ASSERT_EQ(RunCli({"convert", D + "/a.bmp", "--to", "tga", "--keep-existing"}, &Out), 0);
  EXPECT_EQ(Out, D + "/!a.tga\n");
  EXPECT_EQ(test::ReadFileBytes(D + "/a.tga"), (std::vector<uint8_t>{1, 2, 3}));
  ASSERT_EQ(RunCli({"convert", D + "/a.bmp", "--to", "tga", "--overwrite"}, &Out), 0);
  EXPECT_EQ(Out, D + "/a.tga\n");
  TPixelGraphic G;
  G.LoadFromFile(D + "/a.tga");
  EXPECT_EQ(G.Width(), 20);
  EXPECT_NE(RunCli({"convert", D + "/a.bmp", "--to", "tga", "--overwrite", "--keep-existing"}), 0);
}

TEST(CliConvertTo, SizeSharpenQualityAndGif) {
  const std::string D = test::EmptyTempFolder("to-size");
  SaveBlocks(D + "/s.bmp", 200, 150);
  std::string Out, Err;
  ASSERT_EQ(RunCli({"convert", D + "/s.bmp", "--to", "png", "--size", "80x60"}, &Out, &Err), 0)
      << Err;
  ASSERT_EQ(RunCli({"convert", D + "/s.bmp", "--to", "png", "--size", "80x60", "--no-sharpen",
                    "--keep-existing"},
                   &Out),
            0);
  EXPECT_EQ(Out, D + "/!s.png\n");
  TPixelGraphic Sharp, Soft;
  Sharp.LoadFromFile(D + "/s.png");
  Soft.LoadFromFile(D + "/!s.png");
  EXPECT_EQ(Sharp.Width(), 80);
  EXPECT_EQ(Sharp.Height(), 60);
  EXPECT_NE(test::ReadFileBytes(D + "/s.png"), test::ReadFileBytes(D + "/!s.png"));
  // The quality slider's range.
  EXPECT_NE(RunCli({"convert", D + "/s.bmp", "--to", "jpg", "--quality", "5"}, nullptr, &Err), 0);
  EXPECT_NE(Err.find("--quality"), std::string::npos);
  ASSERT_EQ(RunCli({"convert", D + "/s.bmp", "--to", "jpg", "--quality", "10"}, &Out), 0);
  ASSERT_EQ(RunCli({"convert", D + "/s.bmp", "--to", "jpg", "--keep-existing"}, &Out), 0);
  EXPECT_LT(fs::file_size(D + "/s.jpg"), fs::file_size(D + "/!s.jpg"));
  ASSERT_EQ(
      RunCli({"convert", D + "/s.bmp", "--to", "gif", "--interlace", "--transparent", "FF0000"},
             &Out, &Err),
      0)
      << Err;
  TPixelGraphic Gif;
  Gif.LoadFromFile(D + "/s.gif");
  EXPECT_EQ(Gif.Width(), 200);
  EXPECT_NE(RunCli({"convert", D + "/s.bmp", "--to", "pcx"}, nullptr, &Err), 0);
  EXPECT_NE(RunCli({"convert", D + "/missing.bmp", "--to", "png"}, nullptr, &Err), 0);
}

TEST(CliConvertTo, KeepsTheSourcesMetadataAtTheWrittenSize) {
  const std::string D = test::EmptyTempFolder("to-meta");
  TPixelGraphic G;
  G.SetSize(60, 40, 3);
  // Big-endian camera block: Orientation 6, the Exif directory's pixel size 60 x 40.
  G.Metadata.Exif = {'M', 'M',  0, 42, 0, 0,    0,    8, 0, 2, 1,  18, 0, 3, 0, 0,  0,
                     1,   0,    6, 0,  0, 0x87, 0x69, 0, 4, 0, 0,  0,  1, 0, 0, 0,  38,
                     0,   0,    0, 0,  0, 2,    0xA0, 2, 0, 3, 0,  0,  0, 1, 0, 60, 0,
                     0,   0xA0, 3, 0,  3, 0,    0,    0, 1, 0, 40, 0,  0, 0, 0, 0,  0};
  G.Metadata.Xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
  G.SaveToFile(D + "/cam.jpg");
  std::string Out, Err;
  ASSERT_EQ(RunCli({"convert", D + "/cam.jpg", "--to", "png"}, &Out, &Err), 0) << Err;
  TImageMetadata M = ReadImageMetadata(D + "/cam.png");
  EXPECT_EQ(M.Exif, G.Metadata.Exif) << "the stored pixels keep their orientation";
  EXPECT_EQ(M.Xmp, G.Metadata.Xmp);
  ASSERT_EQ(RunCli({"convert", D + "/cam.jpg", "--to", "tif", "--size", "30x20"}, &Out, &Err), 0)
      << Err;
  M = ReadImageMetadata(D + "/cam.tif");
  ASSERT_FALSE(M.Exif.empty());
  EXPECT_EQ(OrientationFromExif(M.Exif.data(), M.Exif.size()), 6);
  // The written (little-endian) file's Exif pixel width: a Short of 30.
  const std::vector<uint8_t> Width = {0x02, 0xA0, 3, 0, 1, 0, 0, 0, 30, 0};
  EXPECT_NE(std::search(M.Exif.begin(), M.Exif.end(), Width.begin(), Width.end()), M.Exif.end());
  EXPECT_EQ(M.Xmp, G.Metadata.Xmp);
}

} // namespace
