#include "platform/settingsstore.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orbisk;

TEST(SettingsStore, TextValuesDefaultsAndNumbers) {
  QString Path = QString::fromStdString(test::TempPath("settings.conf"));
  std::filesystem::remove(Path.toStdString());
  {
    TSettingsStore S(Path);
    EXPECT_EQ(S.ReadString("Directory", "/home"), "/home");
    S.WriteString("Confirm Deletions", "1");
    S.WriteInteger("Width", -620);
    S.WriteString("Seconds", "x4");
  }
  TSettingsStore S(Path); // a new store reads what the first one wrote
  EXPECT_EQ(S.ReadString("Confirm Deletions", "0"), "1");
  EXPECT_EQ(S.ReadInteger("Width", 0), -620);
  EXPECT_EQ(S.ReadInteger("Seconds", 4), 4); // not a number: the default
  EXPECT_EQ(S.ReadString("Seconds", ""), "x4");
  EXPECT_TRUE(S.Contains("Width"));
  S.Remove("Width");
  EXPECT_FALSE(S.Contains("Width"));
}
