// Thumbnail cells of pictures with a camera orientation: the explorer's fast way (DCT-scaled
// JPEG) and the full decode both show the picture upright, or as stored with the preference off.
#include "platform/autoorient.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"
#include "thumbnails/thumbcell.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace orbisk;
using namespace orbisk::test;

namespace {

// The cell's colour at the middle of each 16 x 16 block of a W x H picture placed in it.
::testing::AssertionResult CellShows(const TPixelGraphic& Cell, const TPixelGraphic& Expected,
                                     int S) {
  const TSize2 Fit = FitThumbnail(Expected.Width(), Expected.Height(), S);
  const int Left = ThumbLeft(S, Fit.Width);
  for (int BY = 0; BY * 16 < Expected.Height(); ++BY)
    for (int BX = 0; BX * 16 < Expected.Width(); ++BX) {
      const int X = Left + (BX * 16 + 8) * Fit.Width / Expected.Width();
      const int Y = (BY * 16 + 8) * Fit.Height / Expected.Height();
      const TRGB A = Cell.GetPixelColor(X, Y), B = Expected.GetPixelColor(BX * 16 + 8, BY * 16 + 8);
      const int D = std::abs(int(RedOf(A)) - int(RedOf(B))) +
                    std::abs(int(GreenOf(A)) - int(GreenOf(B))) +
                    std::abs(int(BlueOf(A)) - int(BlueOf(B)));
      if (D > 60) return ::testing::AssertionFailure() << "block " << BX << "," << BY;
    }
  return ::testing::AssertionSuccess();
}

TEST(OrientedCells, FastAndFullCellsFollowThePreference) {
  TPixelGraphic Upright;
  MakeUpright(Upright, 96, 64);
  for (bool On : {true, false}) {
    SetAutoOrientPictures(On);
    for (int O = 1; O <= 8; ++O) {
      TPixelGraphic Stored;
      MakeStored(Upright, O, Stored);
      const std::string Path = TempPath("cell" + std::to_string(O) + ".jpg");
      WriteFileBytes(Path, WithApp1(EncodeJPEG(Stored), ExifBlock(O)));
      for (bool Fast : {true, false}) {
        TThumbCellOptions Options;
        Options.Size = 64;
        Options.Fast = Fast;
        const TThumbCell C = MakeThumbCell(Path, Options);
        ASSERT_TRUE(C.Picture) << C.Error;
        EXPECT_TRUE(CellShows(*C.Picture, On ? Upright : Stored, 64))
            << "orientation " << O << (Fast ? " fast" : " full") << (On ? "" : " preference off");
      }
    }
  }
  SetAutoOrientPictures(true);
}

} // namespace
