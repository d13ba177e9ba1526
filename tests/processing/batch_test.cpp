// Batch conversion: a mixed folder with a broken file converts every good picture, lists the
// bad one and leaves every source as it was; names follow the pattern and the collision rule
// and never land on a source or on a file written earlier in the run; JPEGs that only turn keep
// their coefficients; sizes follow the resize modes; a cancel stops before the rest.
#include "processing/batch.h"

#include "engine/orientation.h"
#include "tests/common/orientationfixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <unistd.h>

using namespace orbisk;
using namespace orbisk::test;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(F), {}};
}

void WriteAll(const std::string& Path, const std::vector<uint8_t>& Data) {
  std::ofstream F(Path, std::ios::binary);
  F.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
  ASSERT_TRUE(F.good()) << Path;
}

class BatchTest : public ::testing::Test {
protected:
  void SetUp() override {
    Root = fs::temp_directory_path() /
           ("orbisk-batch-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Root);
    fs::create_directories(Root / "in");
    fs::create_directories(Root / "out");
  }
  void TearDown() override { fs::remove_all(Root); }

  std::string In(const std::string& Name) const { return (Root / "in" / Name).string(); }
  std::string Out(const std::string& Name) const { return (Root / "out" / Name).string(); }

  // A picture of W x H saved under Name in the source folder.
  std::string Picture(const std::string& Name, int W = 48, int H = 32) {
    TPixelGraphic G;
    MakeUpright(G, W, H);
    G.SaveToFile(In(Name));
    return In(Name);
  }

  fs::path Root;
};

} // namespace

TEST_F(BatchTest, AMixedRunConvertsTheGoodListsTheBadAndLeavesEverySource) {
  std::vector<std::string> Sources = {Picture("one.png", 64, 40), Picture("two.bmp", 40, 64),
                                      Picture("three.tif", 20, 10), In("broken.jpg"),
                                      In("missing.png")};
  WriteAll(In("broken.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1});
  std::map<std::string, std::string> Before;
  for (const auto& S : Sources)
    Before[S] = ReadAll(S);
  TBatchSettings S;
  S.Target = ctPNG;
  S.Resize = TBatchResize::LongestSide;
  S.LongestSide = 32;
  S.NamePattern = "pic-##-*";
  S.Folder = (Root / "out").string();
  std::vector<int> Seen;
  const TBatchReport R = RunBatch(Sources, S, [&](int Done, int Count) {
    EXPECT_EQ(Count, 5);
    Seen.push_back(Done);
    return false;
  });
  EXPECT_EQ(Seen, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(R.Cancelled);
  EXPECT_EQ(R.Converted, 3);
  EXPECT_EQ(R.Failed, 2);
  ASSERT_EQ(R.Items.size(), 5u);
  EXPECT_EQ(R.Items[0].Destination, Out("pic-01-one.png"));
  EXPECT_EQ(R.Items[2].Destination, Out("pic-03-three.png"));
  for (int I : {3, 4}) {
    EXPECT_FALSE(R.Items[size_t(I)].Error.empty()) << I;
    EXPECT_TRUE(R.Items[size_t(I)].Destination.empty());
  }
  const std::pair<int, int> Sizes[] = {{32, 20}, {20, 32}, {20, 10}}; // the small one stays
  for (int I = 0; I < 3; ++I) {
    TPixelGraphic G;
    G.LoadFromFile(R.Items[size_t(I)].Destination);
    EXPECT_EQ(G.Width(), Sizes[I].first) << I;
    EXPECT_EQ(G.Height(), Sizes[I].second) << I;
  }
  for (const auto& [Path, Bytes] : Before)
    EXPECT_EQ(ReadAll(Path), Bytes) << Path;
  EXPECT_EQ(std::distance(fs::directory_iterator(Root / "out"), {}), 3);
}

TEST_F(BatchTest, TakenNamesFollowTheCollisionRuleAndSourcesAreNeverReplaced) {
  // a.png and a.bmp both become a.jpg; a.jpg exists already; the run writes into the sources'
  // own folder, where a source (c.jpg) has the name the third file would get.
  const std::string A1 = Picture("a.png"), A2 = Picture("a.bmp"), C = Picture("c.jpg");
  const std::string CPng = Picture("c.png"), B1 = Picture("b.png"), B2 = Picture("b.bmp");
  WriteAll(In("a.jpg"), {'o', 'l', 'd'});
  const std::string CBytes = ReadAll(C);
  TBatchSettings S;
  S.Target = ctJPG;
  S.Turn = TBatchTurn::None;
  S.Folder = (Root / "in").string();
  const std::vector<std::string> Sources = {A1, A2, CPng, C, B1, B2};

  S.Collision = TBatchCollision::Prefix;
  TBatchReport R = RunBatch(Sources, S);
  ASSERT_EQ(R.Items.size(), 6u);
  EXPECT_EQ(R.Items[0].Destination, In("!a.jpg"));
  EXPECT_EQ(R.Items[1].Destination, In("!!a.jpg")); // the first file of the run has "!a.jpg"
  EXPECT_EQ(R.Items[2].Destination, In("!c.jpg"));  // c.jpg is a source
  EXPECT_EQ(R.Items[3].Destination, In("!!c.jpg"));
  EXPECT_EQ(R.Items[4].Destination, In("b.jpg"));
  EXPECT_EQ(R.Items[5].Destination, In("!b.jpg"));
  EXPECT_EQ(ReadAll(In("a.jpg")), "old");
  EXPECT_EQ(ReadAll(C), CBytes);

  S.Collision = TBatchCollision::Skip;
  for (const char* N : {"!a.jpg", "!!a.jpg", "!c.jpg", "!!c.jpg", "b.jpg", "!b.jpg"})
    fs::remove(In(N));
  R = RunBatch(Sources, S);
  EXPECT_EQ(R.Skipped, 4); // a.jpg exists (twice), c.jpg is a source (twice)
  // A name the run itself gave is not a reason to skip: the second b takes the "!" name.
  EXPECT_EQ(R.Items[4].Destination, In("b.jpg"));
  EXPECT_EQ(R.Items[5].Destination, In("!b.jpg"));
  EXPECT_EQ(ReadAll(In("a.jpg")), "old");

  S.Collision = TBatchCollision::Overwrite;
  R = RunBatch(Sources, S);
  EXPECT_EQ(R.Items[0].Destination, In("a.jpg"));
  EXPECT_NE(ReadAll(In("a.jpg")), "old");
  EXPECT_EQ(R.Items[2].Destination, In("!c.jpg")); // never over the source c.jpg
  EXPECT_EQ(ReadAll(C), CBytes);
  EXPECT_EQ(R.Failed, 0);
}

TEST_F(BatchTest, JPEGsThatOnlyTurnKeepTheirCoefficients) {
  // A camera picture stored turned (orientation 6), whole blocks: upright without decoding.
  TPixelGraphic Upright, Stored;
  MakeUpright(Upright, 48, 32);
  MakeStored(Upright, 6, Stored);
  const std::vector<uint8_t> Jpeg = WithApp1(EncodeJPEG(Stored), ExifBlock(6));
  WriteAll(In("cam.jpg"), Jpeg);
  TBatchSettings S;
  S.Target = ctJPG;
  S.Turn = TBatchTurn::Camera;
  S.Folder = (Root / "out").string();
  TBatchReport R = RunBatch({In("cam.jpg")}, S);
  ASSERT_EQ(R.Converted, 1);
  EXPECT_TRUE(R.Items[0].Lossless);
  TPixelGraphic G;
  G.LoadFromFile(R.Items[0].Destination);
  EXPECT_TRUE(Shows(G, Upright));
  EXPECT_EQ(G.ExifOrientation, 1);

  // Turning right as well, then resizing: the resize needs the pixels.
  S.Turn = TBatchTurn::Right;
  S.NamePattern = "right";
  R = RunBatch({In("cam.jpg")}, S);
  ASSERT_EQ(R.Converted, 1);
  EXPECT_TRUE(R.Items[0].Lossless);
  G.LoadFromFile(R.Items[0].Destination);
  TPixelGraphic Right;
  MakeStored(Upright, 8, Right); // the upright picture turned 90 degrees clockwise
  EXPECT_TRUE(Shows(G, Right));

  S.Resize = TBatchResize::Percentage;
  S.Percent = 50;
  S.NamePattern = "half";
  R = RunBatch({In("cam.jpg")}, S);
  ASSERT_EQ(R.Converted, 1);
  EXPECT_FALSE(R.Items[0].Lossless);
  G.LoadFromFile(R.Items[0].Destination);
  EXPECT_EQ(G.Width(), 16);
  EXPECT_EQ(G.Height(), 24);

  // A JPEG cut short, as a camera card may leave it: converted as the viewer shows it (the
  // header check asks nothing), never reported as cancelled.
  TPixelGraphic Big;
  MakeUpright(Big, 480, 320);
  std::vector<uint8_t> Cut = EncodeJPEG(Big);
  Cut.resize(Cut.size() * 3 / 5);
  WriteAll(In("cut.jpg"), Cut);
  S = TBatchSettings();
  S.Target = ctJPG;
  S.Turn = TBatchTurn::Camera;
  S.Folder = (Root / "out").string();
  R = RunBatch({In("cut.jpg")}, S);
  EXPECT_EQ(R.Converted, 1) << R.Items[0].Error;
  G.LoadFromFile(R.Items[0].Destination);
  EXPECT_EQ(G.Width(), 480);
}

TEST_F(BatchTest, SizesNamesSettingsAndCancel) {
  TBatchSettings S;
  int W = 0, H = 0;
  S.Resize = TBatchResize::FitBox;
  S.BoxWidth = 100, S.BoxHeight = 100;
  BatchTargetSize(S, 400, 200, W, H);
  EXPECT_EQ(std::pair(W, H), std::pair(100, 50));
  BatchTargetSize(S, 50, 20, W, H); // smaller pictures stay unless Enlarge
  EXPECT_EQ(std::pair(W, H), std::pair(50, 20));
  S.Enlarge = true;
  BatchTargetSize(S, 50, 20, W, H);
  EXPECT_EQ(std::pair(W, H), std::pair(100, 40));
  S.Resize = TBatchResize::Percentage;
  S.Percent = 1;
  BatchTargetSize(S, 30, 300, W, H);
  EXPECT_EQ(std::pair(W, H), std::pair(1, 3)); // never below one pixel

  EXPECT_EQ(BatchName("", "/x/a.b.jpg", 3), "a");
  EXPECT_EQ(BatchName("#-*", "/x/.hidden.png", 12), "12-.hidden");
  EXPECT_EQ(BatchName("img###", "/x/a.png", 7), "img007");

  std::string Why;
  S.Folder = (Root / "nowhere").string();
  EXPECT_FALSE(CheckBatchSettings(S, Why));
  S.Folder = (Root / "out").string();
  S.NamePattern = "a/b";
  EXPECT_FALSE(CheckBatchSettings(S, Why));
  S.NamePattern = "*";
  S.Percent = 0;
  EXPECT_FALSE(CheckBatchSettings(S, Why));
  EXPECT_THROW(RunBatch({}, S), std::invalid_argument);
  S.Percent = 50;
  EXPECT_TRUE(CheckBatchSettings(S, Why)) << Why;

  std::vector<std::string> Sources;
  for (int I = 0; I < 40; ++I)
    Sources.push_back(Picture("p" + std::to_string(I) + ".bmp", 16, 16));
  S.Target = ctBMP;
  const TBatchReport R = RunBatch(Sources, S, [](int Done, int) { return Done >= 2; });
  EXPECT_TRUE(R.Cancelled);
  EXPECT_GE(R.Converted, 2);
  EXPECT_LT(R.Converted, 40);
}

TEST_F(BatchTest, ReadAndWriteOptionsReachEveryFile) {
  const std::string A = Picture("a.png", 40, 30), B = Picture("b.png", 40, 30);
  TBatchSettings S;
  S.Target = ctTGA;
  S.Folder = (Root / "out").string();
  S.WriteOptions.TGAWriteRLE = true;
  TBatchReport R = RunBatch({A, B}, S);
  ASSERT_EQ(R.Converted, 2);
  for (const TBatchItem& It : R.Items)
    EXPECT_EQ(ReadAll(It.Destination)[2], 10) << "run-length encoded true colour";
  // A reading limit below the pictures' size refuses them.
  S.ReadOptions.MaxPixelCount = 100;
  S.Collision = TBatchCollision::Overwrite;
  R = RunBatch({A, B}, S);
  EXPECT_EQ(R.Failed, 2);
  EXPECT_EQ(ReadAll(Out("a.tga"))[2], 10) << "a failed file leaves the earlier one alone";
}

// A JPEG made smaller is read reduced where its reader can: the target still follows the stored
// picture (turned by the camera), and the result shows the picture, not a blur or a crop.
TEST_F(BatchTest, JPEGsMadeSmallerKeepTheirSizeRulesAndContent) {
  TPixelGraphic Upright, Stored;
  MakeUpright(Upright, 320, 480);
  MakeStored(Upright, 6, Stored);
  WriteAll(In("cam.jpg"), WithApp1(EncodeJPEG(Stored), ExifBlock(6)));
  TBatchSettings S;
  S.Target = ctPNG;
  S.Turn = TBatchTurn::Camera;
  S.Folder = (Root / "out").string();
  const auto Check = [&](int W, int H) {
    SCOPED_TRACE(std::to_string(W) + " x " + std::to_string(H));
    const TBatchReport R = RunBatch({In("cam.jpg")}, S);
    ASSERT_EQ(R.Converted, 1) << R.Items[0].Error;
    TPixelGraphic G;
    G.LoadFromFile(R.Items[0].Destination);
    ASSERT_EQ(G.Width(), W);
    ASSERT_EQ(G.Height(), H);
    // The middle of every block of the upright picture has the block's colour.
    for (int BY = 0; BY < 30; ++BY)
      for (int BX = 0; BX < 20; ++BX) {
        const TRGB A = G.GetPixelColor((BX * 16 + 8) * W / 320, (BY * 16 + 8) * H / 480);
        const TRGB B = BlockColor(BX, BY);
        EXPECT_LE(std::abs(int(RedOf(A)) - int(RedOf(B))) +
                      std::abs(int(GreenOf(A)) - int(GreenOf(B))) +
                      std::abs(int(BlueOf(A)) - int(BlueOf(B))),
                  60)
            << BX << " " << BY;
      }
  };
  S.Resize = TBatchResize::Percentage;
  S.Percent = 25;
  S.NamePattern = "quarter";
  Check(80, 120);
  S.Resize = TBatchResize::LongestSide;
  S.LongestSide = 150;
  S.NamePattern = "longest";
  Check(100, 150);
}
