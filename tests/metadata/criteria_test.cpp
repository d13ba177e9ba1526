// Search criteria: the date taken (the original date, else the stored one) within a day range,
// the camera by any part of its make and model, the pixel size from the header, the byte size
// and the modification day; what matched is described; unreadable or unfitting files and
// malformed criteria are refused.
#include "metadata/criteria.h"

#include "engine/pixelgraphic.h"
#include "tests/metadata/criteriaexif.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/time.h>
#include <unistd.h>

using namespace orbisk;
using orbisk::test::Exif;
namespace fs = std::filesystem;

namespace {

class CriteriaTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("orbisk-criteria-" + std::to_string(getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string Jpeg(const std::string& Name, int W, int H, std::vector<uint8_t> ExifBlock) {
    TPixelGraphic G;
    G.SetSize(W, H, 3);
    G.Metadata.Exif = std::move(ExifBlock);
    const std::string Path = (Dir / Name).string();
    G.SaveToFile(Path);
    return Path;
  }
  fs::path Dir;
};

} // namespace

TEST_F(CriteriaTest, DateTakenAndCameraComeFromTheExifBlock) {
  const std::string Canon =
      Jpeg("canon.jpg", 40, 30,
           Exif("Canon", "Canon EOS 5D", "2024:06:01 08:00:00", "2024:05:01 12:30:00"));
  const std::string Phone =
      Jpeg("phone.jpg", 30, 40, Exif("Google", "Pixel 7", "2023:12:31 23:59:59", ""));
  const std::string Plain = Jpeg("plain.jpg", 10, 10, {});

  TSearchCriteria C;
  C.TakenFrom = "2024-05-01";
  C.TakenTo = "2024-05-01";
  TCriteriaMatch M = MatchCriteria(Canon, C);
  EXPECT_TRUE(M.Matched); // the original date, not the later stored one
  EXPECT_EQ(M.Value, "taken 2024-05-01 12:30:00");
  EXPECT_FALSE(MatchCriteria(Phone, C).Matched);
  EXPECT_FALSE(MatchCriteria(Plain, C).Matched); // no date: no match
  C.TakenFrom = "2023-12-31";
  C.TakenTo = "";
  EXPECT_TRUE(MatchCriteria(Phone, C).Matched); // the stored date when there is no original

  C = {};
  C.Camera = "eos";
  M = MatchCriteria(Canon, C);
  EXPECT_TRUE(M.Matched);
  EXPECT_EQ(M.Value, "Canon EOS 5D"); // the maker's name once
  C.Camera = "google pixel";
  M = MatchCriteria(Phone, C);
  EXPECT_TRUE(M.Matched);
  EXPECT_EQ(M.Value, "Google Pixel 7");
  EXPECT_FALSE(MatchCriteria(Canon, C).Matched);
  EXPECT_FALSE(MatchCriteria(Plain, C).Matched);
}

TEST_F(CriteriaTest, SizesAndModifiedDaysAndEmptyCriteria) {
  const std::string Wide = Jpeg("wide.jpg", 400, 100, {});
  const std::string Small = Jpeg("small.jpg", 20, 20, {});
  const std::string Text = (Dir / "notes.jpg").string();
  std::ofstream(Text) << "not a picture";

  TSearchCriteria C;
  EXPECT_TRUE(C.Empty());
  EXPECT_TRUE(MatchCriteria(Text, C).Matched); // nothing asked, nothing read
  EXPECT_FALSE(MatchCriteria((Dir / "gone.jpg").string(), C).Matched);

  C.MinWidth = 300;
  TCriteriaMatch M = MatchCriteria(Wide, C);
  EXPECT_TRUE(M.Matched);
  EXPECT_EQ(M.Value, "400 x 100");
  EXPECT_FALSE(MatchCriteria(Small, C).Matched);
  EXPECT_FALSE(MatchCriteria(Text, C).Matched); // no readable size
  C = {};
  C.MaxHeight = 50;
  EXPECT_TRUE(MatchCriteria(Small, C).Matched);
  EXPECT_FALSE(MatchCriteria(Wide, C).Matched);

  C = {};
  C.MinBytes = 1;
  C.MaxBytes = 20;
  M = MatchCriteria(Text, C);
  EXPECT_TRUE(M.Matched);
  EXPECT_EQ(M.Value, "13 bytes");
  EXPECT_FALSE(MatchCriteria(Wide, C).Matched);

  // Modified on 2020-02-29 at noon, local time.
  std::tm Noon{};
  Noon.tm_year = 120, Noon.tm_mon = 1, Noon.tm_mday = 29, Noon.tm_hour = 12, Noon.tm_isdst = -1;
  const timeval Times[2] = {{std::mktime(&Noon), 0}, {std::mktime(&Noon), 0}};
  ASSERT_EQ(utimes(Small.c_str(), Times), 0);
  C = {};
  C.ModifiedFrom = C.ModifiedTo = "2020-02-29";
  M = MatchCriteria(Small, C);
  EXPECT_TRUE(M.Matched);
  EXPECT_EQ(M.Value, "modified 2020-02-29");
  EXPECT_FALSE(MatchCriteria(Wide, C).Matched);
  // Several criteria: all must hold, and all are described.
  C.MaxWidth = 20;
  C.MinBytes = 1;
  M = MatchCriteria(Small, C);
  EXPECT_TRUE(M.Matched);
  EXPECT_NE(M.Value.find("20 x 20, "), std::string::npos);
}

TEST(Criteria, MalformedCriteriaAreRefusedWithTheirReason) {
  EXPECT_TRUE(ValidCriteriaDate("2024-02-29"));
  for (const char* Bad : {"2023-02-29", "2024-13-01", "2024-1-01", "24-01-01", "2024-01-01x", ""})
    EXPECT_FALSE(ValidCriteriaDate(Bad)) << Bad;
  std::string Why;
  TSearchCriteria C;
  EXPECT_TRUE(CheckCriteria(C, Why));
  C.TakenFrom = "2024-05-02";
  C.TakenTo = "2024-05-01";
  EXPECT_FALSE(CheckCriteria(C, Why));
  EXPECT_FALSE(Why.empty());
  C = {};
  C.ModifiedTo = "yesterday";
  EXPECT_FALSE(CheckCriteria(C, Why));
  EXPECT_NE(Why.find("yesterday"), std::string::npos);
  C = {};
  C.MinWidth = 100;
  C.MaxWidth = 50;
  EXPECT_FALSE(CheckCriteria(C, Why));
  C = {};
  C.MinBytes = -1;
  EXPECT_FALSE(CheckCriteria(C, Why));
}
