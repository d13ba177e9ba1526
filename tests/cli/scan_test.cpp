// orbisk-cli scan against SANE's test backend: the device list, a scan saved by its extension,
// and refused settings.
#include "engine/pixelgraphic.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace orbisk;
using orbisk::test::RunCli;
using orbisk::test::TempPath;

namespace {

// A SANE configuration with the test backend (two devices, grey, 40 × 30 mm at 25 dpi), for the
// orbisk-cli this process starts.
class CliScan : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = TempPath("sane-cli");
    std::filesystem::create_directories(Dir);
    std::ofstream(Dir + "/dll.conf") << "test\n";
    std::ofstream(Dir + "/test.conf")
        << "number_of_devices 2\nmode Gray\ndepth 8\nresolution 25.0\n"
           "test-picture \"Color pattern\"\ntl_x 0.0\ntl_y 0.0\nbr_x 40.0\nbr_y 30.0\n";
    setenv("SANE_CONFIG_DIR", Dir.c_str(), 1);
  }
  std::string Dir;
};

} // namespace

TEST_F(CliScan, ListsTheDevicesOneALine) {
  std::string Out;
  ASSERT_EQ(RunCli({"scan", "--list"}, &Out), 0);
  EXPECT_EQ(Out, "test:0\tNoname\tfrontend-tester\tvirtual device\n"
                 "test:1\tNoname\tfrontend-tester\tvirtual device\n");
  std::ofstream(Dir + "/dll.conf") << "";
  ASSERT_EQ(RunCli({"scan", "--list"}, &Out), 0);
  EXPECT_EQ(Out, "");
}

TEST_F(CliScan, ScansIntoTheFormatOfTheExtension) {
  const std::string Png = TempPath("scan-out.png");
  ASSERT_EQ(RunCli({"scan", Png, "--device", "test:1", "--mode", "Color", "--resolution", "50"}),
            0);
  TPixelGraphic G;
  G.LoadFromFile(Png);
  EXPECT_EQ(G.Width(), 78);
  EXPECT_EQ(G.Height(), 59);
  EXPECT_EQ(G.BitCount(), 24);
  const std::string Bmp = TempPath("scan-out.bmp");
  ASSERT_EQ(RunCli({"scan", Bmp, "--mode=Lineart"}), 0);
  TPixelGraphic L;
  L.LoadFromFile(Bmp);
  EXPECT_EQ(L.BitCount(), 1);
  EXPECT_EQ(L.Width(), 39);
}

TEST_F(CliScan, RefusedSettingsAndDeviceErrorsFailWithTheReport) {
  const std::string Out = TempPath("scan-refused.png");
  std::string Err;
  EXPECT_EQ(RunCli({"scan", Out, "--mode", "Sepia"}, nullptr, &Err), 1);
  EXPECT_NE(Err.find("--mode takes Color, Gray or Lineart"), std::string::npos) << Err;
  EXPECT_EQ(RunCli({"scan", Out, "--resolution", "0"}, nullptr, &Err), 1);
  EXPECT_EQ(RunCli({"scan", Out, "--resolution", "5000"}, nullptr, &Err), 1);
  EXPECT_NE(Err.find("Failed to set the resolution."), std::string::npos) << Err;
  EXPECT_EQ(RunCli({"scan", Out, "--device", "nosuch:0"}, nullptr, &Err), 1);
  EXPECT_NE(Err.find("Unable to open default Data Source.\nSource Manager operation failed\n"
                     "RC:   SANE_STATUS_INVAL"),
            std::string::npos)
      << Err;
  std::ofstream(Dir + "/test.conf", std::ios::app) << "read-status-code \"SANE_STATUS_IO_ERROR\"\n";
  EXPECT_EQ(RunCli({"scan", Out}, nullptr, &Err), 1);
  EXPECT_NE(Err.find("RC:   SANE_STATUS_IO_ERROR"), std::string::npos) << Err;
  EXPECT_FALSE(std::filesystem::exists(Out));
}
