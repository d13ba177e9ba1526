// Colour profiles: pictures in Adobe RGB, Display P3 and ProPhoto come out as Little CMS's own
// tificc converts them to sRGB; pictures without a profile or with an sRGB one stay byte for
// byte; broken and unfitting profiles leave the picture alone with a reason; palettes and grey
// pictures are converted through their colours.
#include "engine/colorprofile.h"

#include "tests/common/testutil.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

using namespace orbisk;

namespace {

struct TNamedProfile {
  const char* Name;
  std::vector<uint8_t> Bytes;
};

std::vector<uint8_t> Save(cmsHPROFILE P) {
  cmsUInt32Number Size = 0;
  cmsSaveProfileToMem(P, nullptr, &Size);
  std::vector<uint8_t> Bytes(Size);
  cmsSaveProfileToMem(P, Bytes.data(), &Size);
  cmsCloseProfile(P);
  return Bytes;
}

// An RGB profile from its white point, primaries (xy) and one tone curve for all channels.
std::vector<uint8_t> RGBProfile(cmsCIExyY White, cmsCIExyYTRIPLE Primaries, cmsToneCurve* Curve) {
  cmsToneCurve* Curves[3] = {Curve, Curve, Curve};
  std::vector<uint8_t> Bytes = Save(cmsCreateRGBProfile(&White, &Primaries, Curves));
  cmsFreeToneCurve(Curve);
  return Bytes;
}

std::vector<TNamedProfile> WideProfiles() {
  const cmsCIExyY D65{0.3127, 0.3290, 1.0}, D50{0.3457, 0.3585, 1.0};
  const cmsFloat64Number SRGBCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  return {
      {"Adobe RGB", RGBProfile(D65, {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
                               cmsBuildGamma(nullptr, 563.0 / 256.0))},
      {"Display P3", RGBProfile(D65, {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
                                cmsBuildParametricToneCurve(nullptr, 4, SRGBCurve))},
      {"ProPhoto", RGBProfile(D50, {{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}},
                              cmsBuildGamma(nullptr, 1.8))},
  };
}

// Every hue and level on a small grid.
void Gradient(TPixelGraphic& G) {
  G.SetSize(64, 48, 3);
  for (int Y = 0; Y < G.Height(); ++Y)
    for (int X = 0; X < G.Width(); ++X)
      G.SetPixelColor(X, Y, RGBOf(X * 4, Y * 5, (X * Y) % 256));
}

std::vector<uint8_t> Pixels(const TPixelGraphic& G) {
  return std::vector<uint8_t>(G.Bits(), G.Bits() + G.ImageSize());
}

// The largest difference of one channel between two pictures of one size.
int WorstDifference(const TPixelGraphic& P, const TPixelGraphic& Q) {
  int Worst = 0;
  for (int Y = 0; Y < P.Height(); ++Y)
    for (int X = 0; X < P.Width(); ++X) {
      const TRGB A = P.GetPixelColor(X, Y), B = Q.GetPixelColor(X, Y);
      Worst = std::max({Worst, std::abs(int(RedOf(A)) - int(RedOf(B))),
                        std::abs(int(GreenOf(A)) - int(GreenOf(B))),
                        std::abs(int(BlueOf(A)) - int(BlueOf(B)))});
    }
  return Worst;
}

} // namespace

TEST(ColorProfile, WideGamutPicturesMatchLittleCMSsOwnTool) {
  if (!test::HaveTool("tificc")) GTEST_SKIP() << "tificc (liblcms2-utils) is not installed";
  const auto Dir =
      std::filesystem::temp_directory_path() / ("orbisk-colorprofile-" + std::to_string(getpid()));
  std::filesystem::create_directories(Dir);
  for (const TNamedProfile& P : WideProfiles()) {
    SCOPED_TRACE(P.Name);
    const std::string Icc = (Dir / "in.icc").string(), In = (Dir / "in.tif").string(),
                      Out = (Dir / "out.tif").string();
    std::ofstream(Icc, std::ios::binary)
        .write(reinterpret_cast<const char*>(P.Bytes.data()), std::streamsize(P.Bytes.size()));
    TPixelGraphic G;
    Gradient(G);
    G.SaveToFile(In);
    std::filesystem::remove(Out);
    ASSERT_TRUE(test::RunTool("tificc -t0 -i'" + Icc + "' '" + In + "' '" + Out + "'"));
    TPixelGraphic Ref;
    Ref.LoadFromFile(Out);
    ASSERT_EQ(ConvertToSRGB(G, P.Bytes), TProfileResult::Converted);
    ASSERT_EQ(Ref.Width(), G.Width());
    EXPECT_LE(WorstDifference(G, Ref), 2);
  }
  std::filesystem::remove_all(Dir);
}

TEST(ColorProfile, PicturesWithoutAWorkingProfileStayByteForByte) {
  TPixelGraphic G;
  Gradient(G);
  const std::vector<uint8_t> Before = Pixels(G);
  std::string Why;
  EXPECT_EQ(ConvertToSRGB(G, {}, &Why), TProfileResult::Unchanged);
  const std::vector<uint8_t> SRGB = Save(cmsCreate_sRGBProfile());
  EXPECT_TRUE(IsSRGBProfile(SRGB));
  EXPECT_EQ(ConvertToSRGB(G, SRGB, &Why), TProfileResult::Unchanged);
  EXPECT_EQ(Pixels(G), Before);

  // Broken: cut short, or garbage behind a sound-looking size.
  std::vector<uint8_t> Cut = WideProfiles()[0].Bytes;
  Cut.resize(Cut.size() / 2);
  std::vector<uint8_t> Garbage(600, 0x5A);
  for (const auto& Bad : {Cut, Garbage}) {
    Why.clear();
    EXPECT_EQ(ConvertToSRGB(G, Bad, &Why), TProfileResult::Ignored);
    EXPECT_FALSE(Why.empty());
    EXPECT_FALSE(IsSRGBProfile(Bad));
  }
  // A Lab profile does not describe RGB pixels; a grey one does not describe colours.
  const std::vector<uint8_t> Lab = Save(cmsCreateLab4Profile(nullptr));
  EXPECT_EQ(ConvertToSRGB(G, Lab, &Why), TProfileResult::Ignored);
  cmsToneCurve* Linear = cmsBuildGamma(nullptr, 1.0);
  const std::vector<uint8_t> Grey = Save(cmsCreateGrayProfile(cmsD50_xyY(), Linear));
  cmsFreeToneCurve(Linear);
  EXPECT_EQ(ConvertToSRGB(G, Grey, &Why), TProfileResult::Ignored);
  EXPECT_EQ(Pixels(G), Before);
  EXPECT_FALSE(IsSRGBProfile(WideProfiles()[0].Bytes));
}

TEST(ColorProfile, PalettesAndGreyPicturesAreConvertedThroughTheirColours) {
  const std::vector<uint8_t> Adobe = WideProfiles()[0].Bytes;
  // A palette picture gets the colours its entries get as true-colour pixels.
  TPixelGraphic Pal, True;
  Pal.SetSize(16, 1, 2);
  Pal.SetPaletteCount(16);
  True.SetSize(16, 1, 3);
  for (int I = 0; I < 16; ++I) {
    const TRGB C = RGBOf(I * 16, 255 - I * 16, (I * 40) % 256);
    Pal.SetPaletteEntry(I, C);
    Pal.SetPixelValue(I, 0, uint32_t(I));
    True.SetPixelColor(I, 0, C);
  }
  ASSERT_EQ(ConvertToSRGB(Pal, Adobe), TProfileResult::Converted);
  ASSERT_EQ(ConvertToSRGB(True, Adobe), TProfileResult::Converted);
  for (int I = 0; I < 16; ++I)
    EXPECT_EQ(Pal.GetPixelColor(I, 0), True.GetPixelColor(I, 0)) << I;

  // Grey stored linearly is brighter in sRGB, and stays grey; black and white stay.
  cmsToneCurve* Linear = cmsBuildGamma(nullptr, 1.0);
  const std::vector<uint8_t> Grey = Save(cmsCreateGrayProfile(cmsD50_xyY(), Linear));
  cmsFreeToneCurve(Linear);
  TPixelGraphic G;
  G.SetSize(3, 1, 3);
  G.SetPixelColor(0, 0, RGBOf(0, 0, 0));
  G.SetPixelColor(1, 0, RGBOf(128, 128, 128));
  G.SetPixelColor(2, 0, RGBOf(255, 255, 255));
  ASSERT_EQ(ConvertToSRGB(G, Grey), TProfileResult::Converted);
  const TRGB Mid = G.GetPixelColor(1, 0);
  EXPECT_NEAR(int(RedOf(Mid)), 188, 2); // sRGB's level for half the light
  EXPECT_EQ(RedOf(Mid), GreenOf(Mid));
  EXPECT_EQ(GreenOf(Mid), BlueOf(Mid));
  EXPECT_LE(RedOf(G.GetPixelColor(0, 0)), 1u);
  EXPECT_GE(RedOf(G.GetPixelColor(2, 0)), 254u);
}

// Loading by name with colour profiles gives the converted pixels of the file's own profile,
// whatever format carries it; without the option, or without a profile, the pixels are as
// stored; a broken profile is a read warning and leaves the pixels alone.
TEST(ColorProfile, LoadingWithColourProfilesConvertsWhatTheFileCarries) {
  const auto Dir =
      std::filesystem::temp_directory_path() / ("orbisk-colorload-" + std::to_string(getpid()));
  std::filesystem::create_directories(Dir);
  const std::vector<uint8_t> Adobe = WideProfiles()[0].Bytes;
  TReadOptions Profiles;
  Profiles.ColourProfiles = true;
  for (const char* Ext : {"tif", "png", "jpg", "webp"}) {
    SCOPED_TRACE(Ext);
    const std::string File = (Dir / (std::string("in.") + Ext)).string();
    TPixelGraphic Made;
    Gradient(Made);
    Made.Metadata.Icc = Adobe;
    Made.SaveToFile(File);

    TPixelGraphic Stored, Shown, Expected;
    Stored.LoadFromFile(File);
    Shown.LoadFromFile(File, Profiles);
    Expected.LoadFromFile(File);
    ASSERT_EQ(ConvertToSRGB(Expected, Adobe), TProfileResult::Converted);
    EXPECT_EQ(Pixels(Shown), Pixels(Expected));
    EXPECT_NE(Pixels(Shown), Pixels(Stored));
  }

  // No profile: the same bytes with the option on.
  const std::string Plain = (Dir / "plain.png").string();
  TPixelGraphic Made, Off, On;
  Gradient(Made);
  Made.SaveToFile(Plain);
  Off.LoadFromFile(Plain);
  On.LoadFromFile(Plain, Profiles);
  EXPECT_EQ(Pixels(On), Pixels(Off));

  // A broken profile: raised as a warning when asked to, else ignored.
  const std::string Broken = (Dir / "broken.tif").string();
  Made.Metadata.Icc.assign(600, 0x5A);
  Made.SaveToFile(Broken);
  TPixelGraphic Quiet, Loud;
  Quiet.ReadWarningAction = pgwaIgnore;
  Quiet.LoadFromFile(Broken, Profiles);
  EXPECT_EQ(Pixels(Quiet), Pixels(Off));
  Loud.ReadWarningAction = pgwaRaise;
  try {
    Loud.LoadFromFile(Broken, Profiles);
    ADD_FAILURE() << "no warning for a broken profile";
  } catch (const EPixelGraphic& E) {
    EXPECT_NE(std::string(E.what()).find("colour profile"), std::string::npos) << E.what();
  }
  std::filesystem::remove_all(Dir);
}

// The conversion a load makes matches Little CMS's own tool reading the profile from the file.
TEST(ColorProfile, LoadedTIFFMatchesTificcWithTheEmbeddedProfile) {
  if (!test::HaveTool("tificc")) GTEST_SKIP() << "tificc (liblcms2-utils) is not installed";
  const auto Dir =
      std::filesystem::temp_directory_path() / ("orbisk-colorembed-" + std::to_string(getpid()));
  std::filesystem::create_directories(Dir);
  const std::string In = (Dir / "in.tif").string(), Out = (Dir / "out.tif").string();
  TPixelGraphic Made;
  Gradient(Made);
  Made.Metadata.Icc = WideProfiles()[2].Bytes; // ProPhoto
  Made.SaveToFile(In);
  ASSERT_TRUE(test::RunTool("tificc -t0 '" + In + "' '" + Out + "'"));
  TReadOptions Profiles;
  Profiles.ColourProfiles = true;
  TPixelGraphic Shown, Ref;
  Shown.LoadFromFile(In, Profiles);
  Ref.LoadFromFile(Out);
  ASSERT_EQ(Ref.Width(), Shown.Width());
  EXPECT_LE(WorstDifference(Shown, Ref), 2);
  std::filesystem::remove_all(Dir);
}
