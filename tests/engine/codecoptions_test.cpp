// Readings that run at the same time each keep to their own options.
#include "engine/codecoptions.h"
#include "engine/pixelgraphic.h"
#include "engine/stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using namespace orbisk;

namespace {

using Bytes = std::vector<uint8_t>;

// A picture with fine detail, so that the DCT methods and gamma corrections give other pixels.
void FillNoise(TPixelGraphic& G, int W, int H) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(
          X, Y, RGBOf((X * 37 + Y * 11) % 256, (X * Y * 7 + 40) % 256, (X * 5 + Y * 91) % 256));
}

Bytes Encode(TPixelGraphic& G, const char* Ext, const TWriteOptions& Options = {}) {
  TPGMemoryStream S;
  G.SaveToStreamExt(S, Ext, Options);
  return S.Bytes();
}

Bytes Pixels(const Bytes& File, const TReadOptions& Options) {
  TPGMemoryStream S(File.data(), File.size());
  TPixelGraphic G;
  G.LoadFromStream(S, Options);
  Bytes P;
  for (int Y = 0; Y < G.Height(); ++Y)
    P.insert(P.end(), G.ScanLine(Y), G.ScanLine(Y) + G.RowBytes());
  return P;
}

} // namespace

TEST(CodecOptions, EachReadingKeepsItsOwnOptionsWhileOthersReadWithOthers) {
  TPixelGraphic G;
  FillNoise(G, 96, 64);
  G.FileGamma = 1.0L; // the PNG file asks for correction on every display but a linear one
  const Bytes Png = Encode(G, "png");
  TWriteOptions Quality;
  Quality.JPEGQuality = 95;
  const Bytes Jpeg = Encode(G, "jpg", Quality);

  struct TCase {
    const Bytes* File;
    TReadOptions Options;
    Bytes Want;
  };
  std::vector<TCase> Cases(4);
  Cases[0].File = &Png; // corrected for 1.8
  Cases[1].File = &Png;
  Cases[1].Options.GammaCorrectionOnRead = false;
  Cases[2].File = &Png;
  Cases[2].Options.ScreenGamma = 2.5L;
  Cases[3].File = &Jpeg;
  Cases[3].Options.JPEGReadDCTMethod = 1; // the fast integer method
  TCase Precise{&Jpeg, {}, {}};
  Cases.push_back(Precise);
  for (TCase& C : Cases)
    C.Want = Pixels(*C.File, C.Options);
  // Every option changes the result: a reading that took another's options shows.
  EXPECT_NE(Cases[0].Want, Cases[1].Want);
  EXPECT_NE(Cases[0].Want, Cases[2].Want);
  EXPECT_NE(Cases[3].Want, Cases[4].Want);

  std::atomic<int> Wrong{0};
  std::vector<std::thread> Threads;
  for (const TCase& C : Cases)
    Threads.emplace_back([&C, &Wrong] {
      for (int Round = 0; Round < 25; ++Round)
        if (Pixels(*C.File, C.Options) != C.Want) ++Wrong;
    });
  for (std::thread& T : Threads)
    T.join();
  EXPECT_EQ(Wrong.load(), 0);
}

TEST(CodecOptions, ALoadsPixelLimitHoldsForThatLoadOnly) {
  TPixelGraphic G;
  FillNoise(G, 40, 30);
  const Bytes Png = Encode(G, "png");
  TReadOptions Small;
  Small.MaxPixelCount = 40 * 30 - 1;
  TPixelGraphic Back;
  TPGMemoryStream S(Png.data(), Png.size());
  EXPECT_THROW(Back.LoadFromStream(S, Small), EPixelGraphic);
  // The picture itself may be as large as ever afterwards, and the next load has its own limit.
  EXPECT_NO_THROW(Back.SetSize(2000, 2000, 3));
  TPGMemoryStream Again(Png.data(), Png.size());
  Back.LoadFromStream(Again);
  EXPECT_EQ(Back.Width(), 40);
}
