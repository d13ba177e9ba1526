// Thumbnail cells made on worker threads while the window thread changes the program's current
// reader options: every cell is made with one whole set of them.
#include "engine/pixelgraphic.h"
#include "platform/codecsettings.h"
#include "thumbnails/thumbcell.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace orbisk;

namespace {

std::vector<uint8_t> CellBytes(const TThumbCell& C) {
  const TPixelGraphic& P = *C.Picture;
  return std::vector<uint8_t>(P.Bits(), P.Bits() + P.ImageSize());
}

TReadOptions WithGamma(long double Gamma) {
  TReadOptions O;
  O.ScreenGamma = Gamma;
  return O;
}

} // namespace

TEST(ThumbCellOptions, CellsMadeWhileTheOptionsChangeAreEachMadeWithOneSet) {
  const std::string Path = testing::TempDir() + "/thumboptions.png";
  {
    TPixelGraphic G;
    G.SetSize(90, 60, 3);
    for (int Y = 0; Y < 60; ++Y)
      for (int X = 0; X < 90; ++X)
        G.SetPixelColor(X, Y, RGBOf(X * 2 + 40, Y * 3 + 30, (X + Y) % 200 + 20));
    G.FileGamma = 1.0L; // stored with a gAMA chunk that every display gamma corrects
    G.SaveToFile(Path);
  }
  const TReadOptions Saved = CurrentReadOptions();
  const TThumbCellOptions Options(64, false); // the full reading, with the current options
  const TReadOptions A = WithGamma(1.8L), B = WithGamma(2.6L);
  SetCurrentReadOptions(A);
  const std::vector<uint8_t> WantA = CellBytes(MakeThumbCell(Path, Options));
  SetCurrentReadOptions(B);
  const std::vector<uint8_t> WantB = CellBytes(MakeThumbCell(Path, Options));
  ASSERT_NE(WantA, WantB);

  std::atomic<int> Made{0}, Wrong{0};
  std::vector<std::thread> Workers;
  for (int K = 0; K < 3; ++K)
    Workers.emplace_back([&] {
      for (int Round = 0; Round < 20; ++Round) {
        const std::vector<uint8_t> Got = CellBytes(MakeThumbCell(Path, Options));
        if (Got != WantA && Got != WantB) ++Wrong;
        ++Made;
      }
    });
  // The window thread changes the options all the while, as "File Save Options" does.
  for (int Flip = 0; Made.load() < 60; ++Flip) {
    SetCurrentReadOptions(Flip % 2 ? A : B);
    ChangeCurrentReadOptions([&](TReadOptions& O) { O.ScreenGamma = Flip % 2 ? 1.8L : 2.6L; });
    std::this_thread::yield();
  }
  for (std::thread& T : Workers)
    T.join();
  SetCurrentReadOptions(Saved);
  EXPECT_EQ(Made.load(), 60);
  EXPECT_EQ(Wrong.load(), 0);
}
