// orbisk-cli and camera orientation: convert --auto-orient turns all eight orientations upright
// (and nothing is turned without it); jpegturn turns losslessly and refuses what it cannot do.
#include "engine/orientation.h"
#include "engine/pixelgraphic.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace orbisk;
using namespace orbisk::test;

namespace {

TEST(OrientationCli, ConvertAutoOrientTurnsEveryOrientationUpright) {
  TPixelGraphic Upright;
  MakeUpright(Upright);
  for (int O = 1; O <= 8; ++O) {
    TPixelGraphic Stored;
    MakeStored(Upright, O, Stored);
    const std::string In = TempPath("o" + std::to_string(O) + ".jpg");
    WriteFileBytes(In, WithApp1(EncodeJPEG(Stored), ExifBlock(O, O > 4)));
    const std::string Out = TempPath("o" + std::to_string(O) + ".bmp");
    std::string Err;
    ASSERT_EQ(RunCli({"convert", In, Out, "--auto-orient"}, nullptr, &Err), 0) << Err;
    TPixelGraphic G;
    G.LoadFromFile(Out);
    EXPECT_TRUE(Shows(G, Upright)) << "orientation " << O;
    // Without the option the picture stays as stored, also after other operations.
    const std::string Plain = TempPath("p" + std::to_string(O) + ".bmp");
    ASSERT_EQ(RunCli({"convert", In, Plain, "--negative", "--negative"}), 0);
    G.LoadFromFile(Plain);
    EXPECT_TRUE(Shows(G, Stored)) << "orientation " << O;
    // The option applies first wherever it stands: a flip after it mirrors the upright picture.
    ASSERT_EQ(RunCli({"convert", In, Out, "--flip", "h", "--auto-orient"}), 0);
    G.LoadFromFile(Out);
    TPixelGraphic Mirrored;
    MakeStored(Upright, 2, Mirrored);
    EXPECT_TRUE(Shows(G, Mirrored)) << "orientation " << O;
  }
}

// The commands that show pictures take --auto-orient too: a thumbnail of a picture stored on
// its side (portrait as stored, landscape upright) comes out upright only with it.
TEST(OrientationCli, ThumbnailsAutoOrient) {
  TPixelGraphic Upright;
  MakeUpright(Upright, 96, 48);
  TPixelGraphic Stored;
  MakeStored(Upright, 6, Stored);
  const std::string In = TempPath("side.jpg");
  WriteFileBytes(In, WithApp1(EncodeJPEG(Stored), ExifBlock(6, true)));
  for (bool Orient : {false, true}) {
    const std::string Dir = TempPath(Orient ? "thumbs-upright" : "thumbs-stored");
    std::filesystem::create_directories(Dir);
    std::vector<std::string> Args = {"thumbnails", Dir, In, "--size", "64", "--no-cache"};
    if (Orient) Args.push_back("--auto-orient");
    std::string Err;
    ASSERT_EQ(RunCli(Args, nullptr, &Err), 0) << Err;
    TPixelGraphic G;
    G.LoadFromFile(Dir + "/thm_side.bmp");
    // The cell is square: a landscape picture (at its top) leaves background below it, a
    // portrait one (centred) beside it.
    const TRGB Background = G.GetPixelColor(G.Width() - 1, G.Height() - 1);
    EXPECT_EQ(G.GetPixelColor(G.Width() / 2, G.Height() - 3) == Background, Orient);
    EXPECT_EQ(G.GetPixelColor(2, G.Height() / 4) == Background, !Orient);
  }
}

TEST(OrientationCli, JpegTurn) {
  TPixelGraphic Upright;
  MakeUpright(Upright);
  const std::string In = TempPath("turn.jpg"), Out = TempPath("turned.jpg");
  WriteFileBytes(In, WithApp1(EncodeJPEG(Upright), ExifBlock(8)));
  std::string Err;
  ASSERT_EQ(RunCli({"jpegturn", In, Out, "90"}, nullptr, &Err), 0) << Err;
  TPixelGraphic G, Want;
  G.LoadFromFile(Out);
  EXPECT_EQ(G.ExifOrientation, 1);
  MakeStored(Upright, 8, Want); // turning 90 clockwise stores what orientation 8 describes
  EXPECT_TRUE(Shows(G, Want));
  for (const char* T : {"180", "270", "h", "v"})
    EXPECT_EQ(RunCli({"jpegturn", In, Out, T, "--perfect"}), 0) << T;

  // 37 x 21 has partial blocks: trimmed by default and with --trim, refused with --perfect.
  TPixelGraphic Odd;
  MakeUpright(Odd, 37, 21);
  const std::string OddIn = TempPath("odd.jpg"), OddOut = TempPath("odd-out.jpg");
  WriteFileBytes(OddIn, EncodeJPEG(Odd));
  ASSERT_EQ(RunCli({"jpegturn", OddIn, OddOut, "90"}), 0);
  G.LoadFromFile(OddOut);
  EXPECT_EQ(G.Width(), 16);
  EXPECT_EQ(G.Height(), 37);
  ASSERT_EQ(RunCli({"jpegturn", "--trim", OddIn, OddOut, "270"}), 0);
  G.LoadFromFile(OddOut);
  EXPECT_EQ(G.Width(), 21);
  EXPECT_EQ(G.Height(), 32);
  const auto Before = ReadFileBytes(OddOut);
  EXPECT_NE(RunCli({"jpegturn", OddIn, OddOut, "90", "--perfect"}, nullptr, &Err), 0);
  EXPECT_NE(Err.find("JPG: The size 37 x 21 is not a whole number of 16 x 16 blocks"),
            std::string::npos)
      << Err;
  EXPECT_EQ(ReadFileBytes(OddOut), Before);

  EXPECT_NE(RunCli({"jpegturn", In, Out, "45"}, nullptr, &Err), 0);
  EXPECT_NE(Err.find("not \"45\""), std::string::npos) << Err;
  EXPECT_NE(RunCli({"jpegturn", In, Out}), 0);
  const std::string Text = TempPath("text.jpg");
  WriteFileBytes(Text, {'h', 'e', 'l', 'l', 'o'});
  EXPECT_NE(RunCli({"jpegturn", Text, Out, "90"}, nullptr, &Err), 0);
  EXPECT_EQ(Err.rfind("JPG: ", 0), 0u) << Err;
}

// The same turn as libjpeg-turbo's own jpegtran (libjpeg-turbo-progs): the same library path,
// so the same bytes.
TEST(OrientationCli, JpegTurnMatchesJpegtran) {
  if (std::system("command -v jpegtran >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "jpegtran is not installed (libjpeg-turbo-progs)";
  TPixelGraphic Odd;
  MakeUpright(Odd, 77, 45);
  const std::string In = TempPath("tran.jpg");
  WriteFileBytes(In, EncodeJPEG(Odd));
  const struct {
    const char* Ours;
    const char* Theirs;
  } Cases[] = {{"90", "-rotate 90"},
               {"180", "-rotate 180"},
               {"270", "-rotate 270"},
               {"h", "-flip horizontal"},
               {"v", "-flip vertical"}};
  for (const auto& C : Cases) {
    const std::string Ours = TempPath("tran-ours.jpg"), Theirs = TempPath("tran-theirs.jpg");
    ASSERT_EQ(RunCli({"jpegturn", In, Ours, C.Ours, "--trim"}), 0);
    const std::string Command = std::string("jpegtran ") + C.Theirs +
                                " -trim -copy all -outfile '" + Theirs + "' '" + In + "'";
    ASSERT_EQ(std::system(Command.c_str()), 0) << Command;
    EXPECT_EQ(ReadFileBytes(Ours), ReadFileBytes(Theirs)) << C.Ours;
  }
}

} // namespace
