// Thumbnail cells: the fitting rule, the placeholder, saved-thumbnail names, the guard against
// replacing source files, and the threaded loader against a single-threaded run.
#include "engine/formats/jpeg.h"
#include "engine/pixelgraphic.h"
#include "tests/common/testutil.h"
#include "thumbnails/scaledjpeg.h"
#include "thumbnails/thumbcell.h"
#include "thumbnails/thumbloader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>

using namespace orbisk;
using orbisk::test::TempPath;

namespace {

// A W x H 24-bit picture with a colour gradient, saved as Path (the extension picks the writer).
void MakePicture(const std::string& Path, int W, int H, TRGB Solid = 0xFFFFFFFF,
                 const TWriteOptions& Options = {}) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y,
                      Solid != 0xFFFFFFFF ? Solid
                                          : RGBOf(X * 255 / std::max(1, W - 1),
                                                  Y * 255 / std::max(1, H - 1), (X + Y) % 256));
  G.SaveToFile(Path, Options);
}

bool SameCell(const TPixelGraphic& A, const TPixelGraphic& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() && A.BitCount() == B.BitCount() &&
         std::memcmp(A.Bits(), B.Bits(), size_t(A.ImageSize())) == 0;
}

} // namespace

TEST(ThumbFit, PlacesPicturesByTheRule) {
  struct Case {
    int W, H, SW, SH, Left;
  } Cases[] = {{40, 30, 40, 30, 12},   // not enlarged
               {200, 100, 64, 32, 0},  // wide
               {100, 200, 32, 64, 16}, // tall, centred across
               {100, 100, 64, 64, 0},
               {63, 64, 63, 64, 0},  // one side at the cell size: scaled (to the same size)
               {64, 10, 64, 10, 0},  // W = S is not below S
               {1000, 1, 64, 1, 0},  // would truncate to 0
               {1, 1000, 1, 64, 31}, // would truncate to 0
               {3000, 2000, 64, 42, 0}};
  for (const Case& C : Cases) {
    const TSize2 F = FitThumbnail(C.W, C.H, 64);
    EXPECT_EQ(F, (TSize2{C.SW, C.SH})) << C.W << "x" << C.H;
    EXPECT_EQ(ThumbLeft(64, F.Width), C.Left) << C.W << "x" << C.H;
  }
}

TEST(ThumbCell, SmallPictureStandsCentredAtTheTop) {
  const std::string Path = TempPath("small.bmp");
  MakePicture(Path, 40, 30, RGBOf(200, 10, 10));
  TThumbCell C = MakeThumbCell(Path, {});
  ASSERT_EQ(C.Source, TCellSource::csPicture);
  const TPixelGraphic& G = *C.Picture;
  ASSERT_EQ(G.Width(), 64);
  ASSERT_EQ(G.Height(), 64);
  EXPECT_EQ(G.GetPixelColor(12, 0), RGBOf(200, 10, 10));
  EXPECT_EQ(G.GetPixelColor(51, 29), RGBOf(200, 10, 10));
  EXPECT_EQ(G.GetPixelColor(11, 0), kThumbBackground);
  EXPECT_EQ(G.GetPixelColor(52, 0), kThumbBackground);
  EXPECT_EQ(G.GetPixelColor(12, 30), kThumbBackground);
}

TEST(ThumbCell, UnreadableFilesShowThePlaceholder) {
  const TPixelGraphic* Mark = Placeholder();
  ASSERT_NE(Mark, nullptr);
  EXPECT_EQ(Mark->Width(), kPlaceholderSide);
  EXPECT_EQ(Mark->Height(), kPlaceholderSide);
  const auto Expected = PlaceInCell(*Mark, 64, smFast);

  const std::string Garbage = TempPath("garbage.jpg"), Empty = TempPath("empty.png");
  orbisk::test::WriteFileBytes(Garbage, {0xFF, 0xD8, 0x00, 0x01, 0x02});
  orbisk::test::WriteFileBytes(Empty, {});
  for (const std::string& P : {Garbage, Empty, TempPath("missing.bmp")}) {
    TThumbCell C = MakeThumbCell(P, {});
    EXPECT_EQ(C.Source, TCellSource::csPlaceholder) << P;
    EXPECT_FALSE(C.Error.empty()) << P;
    EXPECT_TRUE(SameCell(*C.Picture, *Expected)) << P;
  }
  // The saving rule reports the failure instead.
  EXPECT_ANY_THROW(MakeThumbCell(Garbage, {64, false}));
}

TEST(ThumbCell, ScaledJPEGKeepsTheFullDecodesGeometryAndColours) {
  const std::string Path = TempPath("photo.jpg");
  MakePicture(Path, 1603, 1201);
  TThumbCell Fast = MakeThumbCell(Path, {});
  ASSERT_EQ(Fast.Source, TCellSource::csPicture) << Fast.Error;
  TThumbCell Full = MakeThumbCell(Path, {64, false});
  // Same fitted size (64 x 47) and place; colours close to the full decode's.
  for (int Y = 0; Y < 64; ++Y)
    for (int X = 0; X < 64; ++X) {
      const TRGB A = Fast.Picture->GetPixelColor(X, Y), B = Full.Picture->GetPixelColor(X, Y);
      if (Y >= 47) {
        EXPECT_EQ(A, kThumbBackground) << X << "," << Y;
        EXPECT_EQ(B, kThumbBackground) << X << "," << Y;
      } else {
        EXPECT_NEAR(int(RedOf(A)), int(RedOf(B)), 24) << X << "," << Y;
        EXPECT_NEAR(int(GreenOf(A)), int(GreenOf(B)), 24) << X << "," << Y;
      }
    }
  // A grey JPEG goes the same way.
  TPixelGraphic Grey;
  Grey.SetSize(300, 200, 2);
  Grey.SetPaletteKind(pGray256);
  for (int Y = 0; Y < 200; ++Y)
    for (int X = 0; X < 300; ++X)
      Grey.SetPixelValue(X, Y, uint32_t(X % 256));
  const std::string GreyPath = TempPath("grey.jpg");
  Grey.SaveToFile(GreyPath);
  EXPECT_EQ(MakeThumbCell(GreyPath, {}).Source, TCellSource::csPicture);
}

TEST(ThumbNames, FollowTheSavingRule) {
  EXPECT_EQ(ThumbnailFileName("thm_", "IMG_0001.JPG", "jpg"), "thm_IMG_0001.jpg");
  EXPECT_EQ(ThumbnailFileName("thm_", "a.b.jpg", "bmp"), "thm_a.bmp");
  EXPECT_EQ(ThumbnailFileName("thm_", "README", "png"), "thm_png");
  EXPECT_EQ(ThumbnailFileName("", "x.tga", "tga"), "x.tga");
  EXPECT_EQ(ThumbSizeOfText(kThumbSizes[3]), 128);
  EXPECT_EQ(ThumbSizeOfText(kThumbSizes[0]), 64);
  const char* Exts[] = {"bmp", "jpg", "tif", "png", "tga"};
  for (int I = 0; I < 5; ++I)
    EXPECT_EQ(ThumbExtensionOfFormat(kThumbFormats[I]), Exts[I]);
}

TEST(ThumbNames, SourceGuardKnowsFilesByIdentity) {
  namespace fs = std::filesystem;
  const std::string Dir = TempPath("guard");
  fs::create_directories(Dir);
  const std::string A = Dir + "/a.bmp";
  MakePicture(A, 4, 4);
  fs::create_hard_link(A, Dir + "/hard.bmp");
  const TSourceFiles Guard({A});
  EXPECT_TRUE(Guard.Contains(A));
  EXPECT_TRUE(Guard.Contains(Dir + "/./a.bmp"));
  EXPECT_TRUE(Guard.Contains(Dir + "/hard.bmp"));
  EXPECT_FALSE(Guard.Contains(Dir + "/b.bmp"));
}

// The grid's cells from the worker threads equal, byte for byte and in order, those of a plain
// loop over the same files, whatever the formats and damage.
TEST(ThumbLoader, ThreadedCellsEqualASingleThreadedRun) {
  namespace fs = std::filesystem;
  const std::string Dir = TempPath("mixed");
  fs::create_directories(Dir);
  std::vector<std::string> Files;
  auto Add = [&](const std::string& Name) {
    Files.push_back(Dir + "/" + Name);
    return Files.back();
  };
  MakePicture(Add("big.jpg"), 2000, 1500);
  MakePicture(Add("wide.png"), 300, 40);
  MakePicture(Add("tall.bmp"), 30, 500);
  MakePicture(Add("tiny.tga"), 5, 3);
  MakePicture(Add("flat.tif"), 900, 2);
  MakePicture(Add("square.ppm"), 64, 64);
  TWriteOptions Progressive;
  Progressive.JPEGProgressive = true;
  MakePicture(Add("progressive.jpg"), 640, 480, 0xFFFFFFFF, Progressive);
  // A JPEG cut in the middle of its data, and files no reader takes.
  {
    auto Bytes = orbisk::test::ReadFileBytes(Files[0]);
    Bytes.resize(Bytes.size() / 2);
    orbisk::test::WriteFileBytes(Add("cut.jpg"), Bytes);
    Bytes.resize(300);
    orbisk::test::WriteFileBytes(Add("header-only.jpg"), Bytes);
  }
  orbisk::test::WriteFileBytes(Add("noise.gif"), std::vector<uint8_t>(999, 0x47));
  orbisk::test::WriteFileBytes(Add("empty.bmp"), {});
  Add("missing.png");
  for (int I = 0; I < 12; ++I)
    Files.push_back(Files[size_t(I % 6)]); // repeats keep several threads busy at once

  std::vector<TThumbCell> Single;
  for (const auto& F : Files)
    Single.push_back(MakeThumbCell(F, {}));
  for (int Threads : {2, 4, 7}) {
    TThumbLoader Loader(Files, {}, Threads);
    std::vector<TThumbResult> All;
    for (auto Batch = Loader.WaitReady(); !Batch.empty(); Batch = Loader.WaitReady())
      for (auto& R : Batch)
        All.push_back(std::move(R));
    ASSERT_EQ(All.size(), Files.size()) << Threads;
    EXPECT_TRUE(Loader.Finished());
    for (size_t I = 0; I < All.size(); ++I) {
      EXPECT_EQ(All[I].Index, int(I));
      EXPECT_EQ(All[I].Cell.Source, Single[I].Source) << Files[I];
      EXPECT_TRUE(SameCell(*All[I].Cell.Picture, *Single[I].Picture)) << Files[I];
    }
  }
  EXPECT_EQ(Single[0].Source, TCellSource::csPicture);
  EXPECT_EQ(Single[7].Source, TCellSource::csPicture) << "a cut JPEG shows what it has";
  EXPECT_EQ(Single[9].Source, TCellSource::csPlaceholder);
  EXPECT_EQ(Single[10].Source, TCellSource::csPlaceholder);
}

TEST(ThumbLoader, CancelStopsAtOnceAndHandsOverNothingMore) {
  const std::string Path = TempPath("cancel.jpg");
  MakePicture(Path, 1200, 900);
  std::vector<std::string> Files(400, Path);
  {
    TThumbLoader Loader(Files, {}, 2);
    auto First = Loader.WaitReady();
    ASSERT_FALSE(First.empty());
    EXPECT_EQ(First[0].Index, 0);
    Loader.Cancel();
    EXPECT_TRUE(Loader.WaitReady().empty());
    EXPECT_TRUE(Loader.TakeReady().empty());
    EXPECT_FALSE(Loader.Finished());
  }
  // An empty list is finished at once.
  TThumbLoader Empty({}, {});
  EXPECT_TRUE(Empty.Finished());
  EXPECT_TRUE(Empty.WaitReady().empty());
}

// orbisk-cli thumbnails saves the grid's cells under the saving rule's names.
TEST(ThumbCli, SavesTheGridsCellsByTheNamingRule) {
  namespace fs = std::filesystem;
  const std::string Src = TempPath("cli-src"), Out = TempPath("cli-out");
  fs::create_directories(Src);
  fs::create_directories(Out);
  MakePicture(Src + "/IMG_0001.JPG", 900, 600);
  MakePicture(Src + "/a.b.png", 30, 70);
  MakePicture(Src + "/readme.bmp", 20, 20);
  fs::rename(Src + "/readme.bmp", Src + "/README"); // a picture without a dot in its name
  orbisk::test::WriteFileBytes(Src + "/broken.jpg", {0xFF, 0xD8, 0xFF});
  std::string Stdout, Stderr;
  const int Status =
      orbisk::test::RunCli({"thumbnails", Out, Src + "/IMG_0001.JPG", Src + "/a.b.png",
                            Src + "/README", Src + "/broken.jpg", "--size", "96"},
                           &Stdout, &Stderr);
  EXPECT_EQ(Status, 1) << "one file could not be read";
  EXPECT_NE(Stderr.find("Error reading " + Src + "/broken.jpg"), std::string::npos) << Stderr;
  for (const char* Name : {"thm_IMG_0001.bmp", "thm_a.bmp", "thm_bmp"}) {
    TPixelGraphic G;
    G.LoadFromFile(Out + "/" + Name);
    EXPECT_EQ(G.Width(), 96) << Name;
    EXPECT_EQ(G.Height(), 96) << Name;
  }
  TPixelGraphic Saved;
  Saved.LoadFromFile(Out + "/thm_a.bmp");
  EXPECT_TRUE(SameCell(Saved, *MakeThumbCell(Src + "/a.b.png", {96, true}).Picture));
  EXPECT_FALSE(fs::exists(Out + "/thm_broken.bmp"));

  // Into a source folder only with a prefix; a source file is never replaced.
  const auto Before = orbisk::test::ReadFileBytes(Src + "/a.b.png");
  EXPECT_NE(orbisk::test::RunCli({"thumbnails", Src, Src + "/a.b.png", "--prefix", ""}), 0);
  EXPECT_NE(
      orbisk::test::RunCli({"thumbnails", Src, Src + "/a.b.png", "--prefix=", "--format", "png"}),
      0);
  EXPECT_EQ(orbisk::test::ReadFileBytes(Src + "/a.b.png"), Before);
  EXPECT_NE(orbisk::test::RunCli({"thumbnails", Out, Src + "/a.b.png", "--size", "100"}), 0);
  EXPECT_EQ(orbisk::test::RunCli({"thumbnails", Src, Src + "/a.b.png", "--format", "tga"}), 0);
  EXPECT_TRUE(fs::exists(Src + "/thm_a.tga"));
}
