// orbisk-cli batch and search: the batch's options, what it prints and its exit status; the
// search's walk below a folder with its criteria, the matched values and refused criteria.
#include "engine/pixelgraphic.h"
#include "tests/common/testutil.h"
#include "tests/metadata/criteriaexif.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orbisk;
using orbisk::test::RunCli;
namespace fs = std::filesystem;

namespace {

void Save(const std::string& Path, int W, int H, std::vector<uint8_t> Exif = {}) {
  fs::create_directories(fs::path(Path).parent_path());
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  G.Metadata.Exif = std::move(Exif);
  G.SaveToFile(Path);
}

} // namespace

TEST(CliBatch, ConvertsResizesNamesAndReportsFailures) {
  const std::string In = test::EmptyTempFolder("batch-cli-in"),
                    Out = test::EmptyTempFolder("batch-cli-out");
  Save(In + "/a.png", 80, 40);
  Save(In + "/b.bmp", 40, 80);
  test::WriteFileBytes(In + "/bad.jpg", {0xFF, 0xD8, 0xFF});
  std::string StdOut, Err;
  EXPECT_EQ(RunCli({"batch", In + "/a.png", In + "/b.bmp", "--into", Out, "--to", "png",
                    "--percent", "25", "--name", "p##-*"},
                   &StdOut, &Err),
            0)
      << Err;
  EXPECT_EQ(StdOut, Out + "/p01-a.png\n" + Out + "/p02-b.png\n");
  EXPECT_NE(Err.find("2 converted, 0 skipped, 0 failed"), std::string::npos) << Err;
  TPixelGraphic G;
  G.LoadFromFile(Out + "/p02-b.png");
  EXPECT_EQ(G.Width(), 10);
  EXPECT_EQ(G.Height(), 20);
  // Again with skip: both names are taken; the broken file fails the run.
  EXPECT_EQ(RunCli({"batch", In + "/a.png", In + "/b.bmp", In + "/bad.jpg", "--into", Out,
                    "--to=png", "--percent=25", "--name", "p##-*", "--existing", "skip"},
                   &StdOut, &Err),
            1);
  EXPECT_EQ(StdOut, "");
  EXPECT_NE(Err.find(In + "/bad.jpg: "), std::string::npos) << Err;
  EXPECT_NE(Err.find("0 converted, 2 skipped, 1 failed"), std::string::npos) << Err;
  // The longest side, and an existing name taking "!".
  EXPECT_EQ(RunCli({"batch", In + "/a.png", "--into", Out, "--to", "png", "--longest", "20",
                    "--name", "p01-*"},
                   &StdOut, &Err),
            0)
      << Err;
  EXPECT_EQ(StdOut, Out + "/!p01-a.png\n");
  G.LoadFromFile(Out + "/!p01-a.png");
  EXPECT_EQ(G.Width(), 20);
  EXPECT_EQ(G.Height(), 10);

  // Unusable options are refused before anything is written.
  for (const std::vector<std::string>& Bad :
       {std::vector<std::string>{"batch", In + "/a.png"},
        {"batch", "--into", Out},
        {"batch", In + "/a.png", "--into", Out + "/missing"},
        {"batch", In + "/a.png", "--into", Out, "--turn", "45"},
        {"batch", In + "/a.png", "--into", Out, "--longest", "20", "--percent", "50"},
        {"batch", In + "/a.png", "--into", Out, "--box", "20"},
        {"batch", In + "/a.png", "--into", Out, "--quality", "0"},
        {"batch", In + "/a.png", "--into", Out, "--name", "x/y"}}) {
    EXPECT_NE(RunCli(Bad, &StdOut, &Err), 0) << Bad.back();
    EXPECT_FALSE(Err.empty());
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(Out), {}), 3);
}

TEST(CliSearch, WalksBelowTheFolderWithTheCriteria) {
  const std::string D = test::EmptyTempFolder("search-cli");
  Save(D + "/canon.jpg", 40, 30,
       test::Exif("Canon", "Canon EOS 5D", "2024:06:01 08:00:00", "2024:05:01 12:30:00"));
  Save(D + "/sub/Big.jpg", 200, 100);
  Save(D + "/sub/other.png", 10, 10);
  Save(D + "/.hidden/x.jpg", 300, 300);
  std::string StdOut, Err;
  // The name alone: sorted as text, hidden folders left out, no values.
  ASSERT_EQ(RunCli({"search", D, "--name", "*.jpg"}, &StdOut, &Err), 0) << Err;
  EXPECT_EQ(StdOut, D + "/canon.jpg\n" + D + "/sub/Big.jpg\n");
  ASSERT_EQ(RunCli({"search", D}, &StdOut, &Err), 0) << Err;
  EXPECT_EQ(StdOut, D + "/canon.jpg\n" + D + "/sub/Big.jpg\n" + D + "/sub/other.png\n");
  // Criteria: each line with what matched.
  ASSERT_EQ(RunCli({"search", D, "--camera", "EOS", "--taken-from", "2024-05-01"}, &StdOut, &Err),
            0)
      << Err;
  EXPECT_EQ(StdOut, D + "/canon.jpg\ttaken 2024-05-01 12:30:00, Canon EOS 5D\n");
  ASSERT_EQ(RunCli({"search", D, "--min-width", "20", "--max-width", "100"}, &StdOut, &Err), 0);
  EXPECT_EQ(StdOut, D + "/canon.jpg\t40 x 30\n");
  ASSERT_EQ(RunCli({"search", D, "--taken-to", "2020-01-01"}, &StdOut, &Err), 0);
  EXPECT_EQ(StdOut, "");
  // Refused.
  EXPECT_NE(RunCli({"search", D, "--taken-from", "2024-02-30"}, &StdOut, &Err), 0);
  EXPECT_NE(Err.find("is not a date"), std::string::npos) << Err;
  EXPECT_NE(RunCli({"search", D, "--min-bytes", "10", "--max-bytes", "5"}, &StdOut, &Err), 0);
  EXPECT_NE(RunCli({"search", D + "/none"}, &StdOut, &Err), 0);
  EXPECT_NE(RunCli({"search"}, &StdOut, &Err), 0);
}
