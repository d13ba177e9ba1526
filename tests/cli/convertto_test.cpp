// orbisk-cli convert IN --to TYPE: the converter's naming rule, the overwrite choice left to the
// caller, the source never replaced, sizes and settings.
#include "engine/pixelgraphic.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orbisk;
using orbisk::test::RunCli;
namespace fs = std::filesystem;

namespace {

std::string Folder(const std::string& Name) {
  const std::string D = test::TempPath(Name);
  fs::remove_all(D);
  fs::create_directories(D);
  return D;
}

void SaveBlocks(const std::string& Path, int W, int H) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, ((X / 10 + Y / 10) % 2) ? RGBOf(250, 20, 20) : RGBOf(20, 20, 90));
  G.SaveToFile(Path);
}

TEST(CliConvertTo, WritesNextToTheSourceByTheNamingRule) {
  const std::string D = Folder("to-naming");
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
  const std::string D = Folder("to-exists");
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
  const std::string D = Folder("to-size");
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

} // namespace
