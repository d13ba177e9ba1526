// Tessly sheets: layout, picture sizes and places, the shadow's darkening, failures during
// generation, and orbisk-cli's sheet against the one generated here.
#include "engine/pixelgraphic.h"
#include "tests/common/testutil.h"
#include "thumbnails/tessly.h"

#include <QFile>
#include <QFont>

#include <gtest/gtest.h>

#include <cstring>

using namespace orbisk;
using orbisk::test::TempPath;

namespace {

std::string MakeSolid(const std::string& Name, int W, int H, TRGB C) {
  const std::string Path = TempPath(Name);
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  G.SetBackGroundColor(C);
  G.Clear();
  G.SaveToFile(Path);
  return Path;
}

QString Q(const std::string& S) {
  return QFile::decodeName(QByteArray::fromStdString(S));
}

} // namespace

TEST(TesslyLayout, SheetSizeAndRows) {
  const TTesslyOptions O;
  const TTesslyLayout Ten = TesslyLayout(10, O, 0, 0);
  EXPECT_EQ(Ten.Width, 716);
  EXPECT_EQ(Ten.Height, 282);
  EXPECT_EQ(Ten.Rows, 2);
  EXPECT_EQ(TesslyLayout(12, O, 0, 0).Rows, 2);
  EXPECT_EQ(TesslyLayout(13, O, 0, 0).Rows, 3);
  EXPECT_EQ(TesslyLayout(13, O, 0, 0).Height, 30 * 2 + 96 * 3 + 60);
  EXPECT_EQ(TesslyLayout(1, O, 33, 11).Height, 96 + 60 + 33 + 11);
}

TEST(TesslyLayout, PicturesStandCentredOnTheCellsBottomEdge) {
  const TTesslyOptions O;
  struct Case {
    int W, H, SW, SH, X, Y;
  } Cases[] = {{200, 100, 96, 48, 20, 68},
               {100, 200, 48, 96, 44, 20},
               {50, 40, 96, 76, 20, 40},  // small pictures are enlarged
               {1000, 5, 96, 1, 20, 115}, // too flat to truncate to 0
               {96, 96, 96, 96, 20, 20}};
  for (const Case& C : Cases) {
    const TSize2 S = TesslyPictureSize(C.W, C.H, 96);
    EXPECT_EQ(S, (TSize2{C.SW, C.SH})) << C.W << "x" << C.H;
    int X, Y;
    TesslyPicturePos(0, O, 0, S.Width, S.Height, X, Y);
    EXPECT_EQ(X, C.X) << C.W << "x" << C.H;
    EXPECT_EQ(Y, C.Y) << C.W << "x" << C.H;
  }
  // Item 7 of six columns: second row, second column, below a 30-pixel title band.
  int X, Y;
  TesslyPicturePos(7, O, 30, 96, 96, X, Y);
  EXPECT_EQ(X, 1 * (96 + 20) + 20);
  EXPECT_EQ(Y, 30 + 20 + 1 * (96 + 30));
}

TEST(TesslyShadow, DarkensSixLinesByTheFormula) {
  TPixelGraphic Sheet;
  Sheet.SetBackGroundColor(RGBOf(200, 120, 24));
  Sheet.SetSize(200, 200, 3);
  Sheet.Clear();
  DarkenShadow(Sheet, 20, 20, 96, 96);
  const TRGB Half = RGBOf(100, 60, 12);
  for (int X = 26; X <= 116; ++X)
    EXPECT_EQ(Sheet.GetPixelColor(X, 116), Half) << X;
  for (int Y = 26; Y <= 115; ++Y)
    EXPECT_EQ(Sheet.GetPixelColor(116, Y), Half) << Y;
  EXPECT_EQ(Sheet.GetPixelColor(25, 116), RGBOf(200, 120, 24));
  EXPECT_EQ(Sheet.GetPixelColor(116, 25), RGBOf(200, 120, 24));
  // Line e: v div 2 + (v div 12) x e, out to x + w + e and y + h + e.
  for (int E = 1; E <= 5; ++E) {
    const TRGB Lighter = RGBOf(100 + 16 * E, 60 + 10 * E, 12 + 2 * E);
    EXPECT_EQ(Sheet.GetPixelColor(116 + E, 116 + E - 1), Lighter) << E;
    EXPECT_EQ(Sheet.GetPixelColor(116 + E, 116 + E), Lighter) << E;
    EXPECT_EQ(Sheet.GetPixelColor(26, 116 + E), Lighter) << E;
  }
  EXPECT_EQ(Sheet.GetPixelColor(122, 122), RGBOf(200, 120, 24));
}

TEST(TesslyGenerate, DrawsFramedPicturesAndReportsFailures) {
  const std::string Wide = MakeSolid("wide.bmp", 200, 100, RGBOf(0, 0, 200));
  const std::string Bad = TempPath("bad.jpg");
  orbisk::test::WriteFileBytes(Bad, {1, 2, 3});
  TTesslyOptions O;
  O.AutoSharpen = false;
  O.IncFileNames = false;
  O.BGColor = RGBOf(0, 255, 0);
  O.UseBGImage = true;
  O.BGImage = Q(TempPath("no-such-background.png"));
  QStringList Messages;
  TTesslyEvents Events;
  Events.OnMessage = [&](const QString& M) { Messages << M; };
  std::vector<int> Steps;
  Events.OnProgress = [&](int I, int N) {
    EXPECT_EQ(N, 2);
    Steps.push_back(I);
  };
  auto Sheet = GenerateTessly({Q(Wide), Q(Bad)}, O, Events);
  ASSERT_EQ(Messages.size(), 2);
  EXPECT_EQ(Messages[0], "Could not load Background Image file " + O.BGImage);
  EXPECT_EQ(Messages[1], "Error loading file " + Q(Bad));
  EXPECT_EQ(Steps, (std::vector<int>{1, 2}));
  ASSERT_EQ(Sheet->Width(), 716);
  ASSERT_EQ(Sheet->Height(), 156);
  // A background that cannot be loaded leaves the plain colour.
  EXPECT_EQ(Sheet->GetPixelColor(0, 0), RGBOf(0, 255, 0));
  EXPECT_EQ(Sheet->GetPixelColor(715, 155), RGBOf(0, 255, 0));
  // 96 x 48 at (20, 68) with a red frame; the shadow below it.
  EXPECT_EQ(Sheet->GetPixelColor(20, 68), RGBOf(255, 0, 0));
  EXPECT_EQ(Sheet->GetPixelColor(115, 115), RGBOf(255, 0, 0));
  EXPECT_EQ(Sheet->GetPixelColor(60, 90), RGBOf(0, 0, 200));
  EXPECT_EQ(Sheet->GetPixelColor(60, 116), RGBOf(0, 127, 0));
  EXPECT_EQ(Sheet->GetPixelColor(19, 68), RGBOf(0, 255, 0));
  // The failed entry's cell shows the placeholder, not the background.
  EXPECT_NE(Sheet->GetPixelColor(136 + 48, 90), RGBOf(0, 255, 0));
}

TEST(TesslyGenerate, TilesTheBackgroundAndWritesNames) {
  TPixelGraphic Tile;
  Tile.SetSize(7, 5, 3);
  for (int Y = 0; Y < 5; ++Y)
    for (int X = 0; X < 7; ++X)
      Tile.SetPixelColor(X, Y, RGBOf(X * 30, Y * 50, 99));
  const std::string TilePath = TempPath("tile.bmp");
  Tile.SaveToFile(TilePath);
  const std::string Pic = MakeSolid("pic.bmp", 50, 40, RGBOf(10, 10, 10));
  TTesslyOptions O;
  O.UseBGImage = true;
  O.BGImage = Q(TilePath);
  O.DropShadow = false;
  auto Sheet = GenerateTessly({Q(Pic)}, O);
  for (int Y : {0, 4, 5, 151})
    for (int X : {0, 6, 7, 13, 700})
      EXPECT_EQ(Sheet->GetPixelColor(X, Y), Tile.GetPixelColor(X % 7, Y % 5)) << X << "," << Y;
  // Some text below the cell (Yt = 96 + 24 = 120) and none further right than the clip.
  int Ink = 0;
  for (int Y = 120; Y < 140; ++Y)
    for (int X = 10; X < 126; ++X)
      Ink += Sheet->GetPixelColor(X, Y) != Tile.GetPixelColor(X % 7, Y % 5);
  EXPECT_GT(Ink, 10);
}

TEST(TesslyGenerate, TitleTooWideSaysSo) {
  const std::string Pic = MakeSolid("one.bmp", 20, 20, RGBOf(0, 0, 0));
  TTesslyOptions O;
  O.Cols = 1;
  O.Title = true;
  O.TitleText = QString(200, 'W');
  O.IncFileNames = false;
  auto Sheet = GenerateTessly({Q(Pic)}, O);
  const int T = BandHeight(TesslyFont(O.TitleFont, O.TitleSize));
  EXPECT_GT(T, 0);
  EXPECT_EQ(Sheet->Width(), 96 + 40);
  EXPECT_EQ(Sheet->Height(), 96 + 60 + T);
  // "Text Too Long" starts at the left edge.
  int Ink = 0;
  for (int Y = 20; Y < 20 + T; ++Y)
    for (int X = 0; X < 12; ++X)
      Ink += Sheet->GetPixelColor(X, Y) != RGBOf(255, 255, 255);
  EXPECT_GT(Ink, 0);
}

// orbisk-cli draws the same sheet as the window's generation for the same options.
TEST(TesslyCli, SheetMatchesTheWindowsGeneration) {
  const std::string A = MakeSolid("cli-a.bmp", 300, 120, RGBOf(200, 40, 40));
  const std::string B = MakeSolid("cli-b.png", 90, 160, RGBOf(40, 40, 200));
  const std::string Out = TempPath("cli-sheet.bmp");
  std::string Stdout, Stderr;
  ASSERT_EQ(orbisk::test::RunCli({"sheet", Out, A, B, "--cols", "3", "--title", "Holiday",
                                  "--bevel", "--hspace", "25"},
                                 &Stdout, &Stderr),
            0)
      << Stderr;
  TTesslyOptions O;
  O.Cols = 3;
  O.HSpace = 25;
  O.Title = true;
  O.TitleText = "Holiday";
  O.Bevel = true;
  auto Here = GenerateTessly({Q(A), Q(B)}, O);
  TPixelGraphic There;
  There.LoadFromFile(Out);
  ASSERT_EQ(There.Width(), Here->Width());
  ASSERT_EQ(There.Height(), Here->Height());
  EXPECT_EQ(std::memcmp(There.Bits(), Here->Bits(), size_t(Here->ImageSize())), 0);
  EXPECT_NE(Stdout.find("Tessly size : " + std::to_string(Here->Width()) + " X "),
            std::string::npos);
  // Options out of range are refused; the output never replaces an input.
  EXPECT_NE(orbisk::test::RunCli({"sheet", Out, A, "--size", "29"}), 0);
  const std::string Keep = MakeSolid("cli-keep.bmp", 30, 20, RGBOf(1, 2, 3));
  EXPECT_NE(orbisk::test::RunCli({"sheet", Keep, B, Keep}), 0);
  TPixelGraphic Still;
  Still.LoadFromFile(Keep);
  EXPECT_EQ(Still.Width(), 30);
}

// A file that cannot be read gets the question-mark cell, as in the explorer's grid: the sheet is
// the one of the placeholder picture itself, in the window's generation and in orbisk-cli.
TEST(TesslyGenerate, UnreadableFileGetsThePlaceholderCell) {
  const std::string Bad = TempPath("unreadable.jpg");
  orbisk::test::WriteFileBytes(Bad, {0xFF, 0xD8, 0xFF, 0xE0});
  const std::string Good = MakeSolid("readable.bmp", 60, 40, RGBOf(10, 200, 10));
  const std::string Mark = TempPath("mark.bmp");
  ASSERT_NE(Placeholder(), nullptr);
  TPixelGraphic M;
  M.Assign(Placeholder());
  M.SaveToFile(Mark);
  TTesslyOptions O;
  O.IncFileNames = false;
  QStringList Messages;
  TTesslyEvents Events;
  Events.OnMessage = [&](const QString& Text) { Messages << Text; };
  auto WithBad = GenerateTessly({Q(Good), Q(Bad)}, O, Events);
  auto WithMark = GenerateTessly({Q(Good), Q(Mark)}, O);
  EXPECT_EQ(Messages, QStringList({"Error loading file " + Q(Bad)}));
  ASSERT_EQ(WithBad->ImageSize(), WithMark->ImageSize());
  EXPECT_EQ(std::memcmp(WithBad->Bits(), WithMark->Bits(), size_t(WithBad->ImageSize())), 0);
  EXPECT_NE(WithBad->GetPixelColor(136 + 48, 20 + 48), RGBOf(255, 255, 255)) << "no hole";

  const std::string OutBad = TempPath("cli-bad.bmp"), OutMark = TempPath("cli-mark.bmp");
  std::string Stdout, Stderr;
  EXPECT_EQ(orbisk::test::RunCli({"sheet", OutBad, Good, Bad, "--no-names"}, &Stdout, &Stderr), 1);
  EXPECT_NE(Stderr.find("Error loading file " + Bad), std::string::npos) << Stderr;
  ASSERT_EQ(orbisk::test::RunCli({"sheet", OutMark, Good, Mark, "--no-names"}), 0);
  EXPECT_EQ(orbisk::test::ReadFileBytes(OutBad), orbisk::test::ReadFileBytes(OutMark));
}
