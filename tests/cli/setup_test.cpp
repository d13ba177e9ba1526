// scripts/setup.sh must name every Debian package the build links against and the fonts
// metafile playback needs: a fresh machine gets nothing else (it installs without recommends).
// Asks the installed tools (libwmf-config, dpkg) as child processes.
#include "tests/common/shelloutput.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string RunCommand(const std::string& Command) {
  return orbisk::test::ShellOutput(Command);
}

// The package names of setup.sh's PACKAGES array (comments left out).
std::set<std::string> SetupPackages() {
  std::ifstream In(ORBISK_TEST_DATA_DIR "/../../scripts/setup.sh");
  std::set<std::string> Names;
  std::string Line;
  bool InArray = false;
  while (std::getline(In, Line)) {
    if (Line.starts_with("PACKAGES=(")) {
      InArray = true;
      continue;
    }
    if (!InArray) continue;
    if (Line.starts_with(")")) break;
    Line = Line.substr(0, Line.find('#'));
    std::istringstream Words(Line);
    std::string W;
    while (Words >> W)
      Names.insert(W);
  }
  return Names;
}

// The package that holds the development library for -lName, "" when dpkg knows none.
std::string PackageOfLibrary(const std::string& Name) {
  std::string Out = RunCommand("dpkg -S '/usr/lib/*/lib" + Name + ".so' 2>/dev/null");
  Out = Out.substr(0, Out.find(':'));
  return Out;
}

TEST(Setup, NamesEveryLibraryOnTheMetafileLinkLine) {
  const std::set<std::string> Named = SetupPackages();
  ASSERT_GT(Named.size(), 10u) << "PACKAGES array of setup.sh not found";
  const std::string Libs = RunCommand("libwmf-config --libs 2>/dev/null");
  if (Libs.empty()) GTEST_SKIP() << "libwmf-config is not installed";
  std::istringstream Words(Libs);
  std::string W;
  int Checked = 0;
  while (Words >> W) {
    if (!W.starts_with("-l") || W == "-lm") continue; // libm comes with the compiler
    const std::string Package = PackageOfLibrary(W.substr(2));
    ASSERT_FALSE(Package.empty()) << W << ": no package holds it";
    EXPECT_TRUE(Named.count(Package)) << W << " comes from " << Package << ", not in setup.sh";
    ++Checked;
  }
  EXPECT_GE(Checked, 5);
}

TEST(Setup, NamesTheFontsAndPluginsUsedAtRunTime) {
  const std::set<std::string> Named = SetupPackages();
  for (const char* P : {"fonts-urw-base35", "fonts-dejavu-core", "libfontconfig-dev",
                        "qt6-qpa-plugins", "libexpat1-dev"})
    EXPECT_TRUE(Named.count(P)) << P;
}

} // namespace
