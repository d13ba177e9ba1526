#include "engine/runtargets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace orbisk;
namespace fs = std::filesystem;

TEST(RunTargets, CollisionsNumberedExistingFilesFlaggedNotReplaced) {
  const fs::path Dir = fs::temp_directory_path() / ("runtargets_" + std::to_string(::getpid()));
  fs::remove_all(Dir);
  fs::create_directories(Dir);
  std::ofstream(Dir / "thm_b.bmp") << "user's file";
  const std::string D = Dir.string();

  TRunTargets Run;
  EXPECT_EQ(Run.Claim(D, "thm_a", ".bmp").Path, D + "/thm_a.bmp");
  EXPECT_FALSE(Run.Claim(D, "thm_a", ".bmp").Existing);
  EXPECT_EQ(Run.Claim(D, "THM_A", ".bmp").Path, D + "/THM_A_3.bmp"); // case-insensitive
  const TRunTarget B = Run.Claim(D, "thm_b", ".bmp");
  EXPECT_TRUE(B.Existing);
  EXPECT_EQ(Run.Claim(D, "thm_b", ".bmp").Path, D + "/thm_b_2.bmp");
  EXPECT_TRUE(Run.Claimed(D + "/thm_a_2.bmp"));
  EXPECT_FALSE(Run.Claimed(D + "/thm_c.bmp"));

  TRunTargets Overwriting(true);
  EXPECT_FALSE(Overwriting.Claim(D, "thm_b", ".bmp").Existing);
  fs::remove_all(Dir);
}
