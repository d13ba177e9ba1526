// Cells made from JPEG files: byte for byte the cells of the reference implementation (checksums
// taken before the loader was made faster) over pictures of odd sizes, subsamplings and camera
// orientations, at every cell size of the grid, whether made alone or by the threaded loader.
#include "platform/autoorient.h"
#include "tests/common/testutil.h"
#include "thumbnails/thumbcache.h"
#include "thumbnails/thumbcell.h"
#include "thumbnails/thumbloader.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

using namespace orbisk;

namespace {

// Beside this file (the tests' data folder is tests/data).
const std::string kGolden =
    (std::filesystem::path(ORBISK_TEST_DATA_DIR).parent_path() / "thumbnails" / "golden").string();

uint64_t Fnv(const TPixelGraphic& G) {
  uint64_t H = 1469598103934665603ULL;
  auto Mix = [&](uint8_t B) { H = (H ^ B) * 1099511628211ULL; };
  for (int V : {G.Width(), G.Height(), G.BitCount()})
    for (int I = 0; I < 4; ++I)
      Mix(uint8_t(V >> (8 * I)));
  const uint8_t* P = G.Bits();
  for (int64_t I = 0; I < G.ImageSize(); ++I)
    Mix(P[I]);
  return H;
}

const char* kFiles[] = {"wide420.jpg", "tall444-o6.jpg", "prog-o8.jpg", "grey.jpg",
                        "small.jpg",   "edge63.jpg",     "flat-o3.jpg", "mid422-o5.jpg"};
const int kSizes[] = {64, 96, 128, 192, 256};

// Checksums of the reference cells, by file and cell size.
const std::map<std::pair<std::string, int>, uint64_t>& Reference() {
  static const std::map<std::pair<std::string, int>, uint64_t> M = {
#include "golden/cells.inc"
  };
  return M;
}

} // namespace

TEST(JpegCells, EqualTheReferenceCellsAtEverySize) {
  ::setenv("XDG_CACHE_HOME", orbisk::test::TempPath("xdg-cache").c_str(), 1);
  SetAutoOrientPictures(true);
  const bool Print = std::getenv("ORBISK_PRINT_GOLDEN") != nullptr;
  std::vector<std::string> Paths;
  std::vector<int> Sizes;
  for (const char* F : kFiles)
    for (int S : kSizes) {
      const std::string Path = kGolden + "/" + F;
      TThumbCellOptions O;
      O.Size = S;
      const TThumbCell C = MakeThumbCell(Path, O);
      ASSERT_EQ(C.Source, TCellSource::csPicture) << F << ": " << C.Error;
      const uint64_t H = Fnv(*C.Picture);
      if (Print) {
        std::printf("{{\"%s\", %d}, 0x%016" PRIx64 "ULL},\n", F, S, H);
        continue;
      }
      auto It = Reference().find({F, S});
      ASSERT_NE(It, Reference().end()) << F << " " << S;
      EXPECT_EQ(H, It->second) << F << " at " << S;
    }
  if (Print) return;
  // Made with an empty disk cache (which they then fill), they are the same cells.
  const auto Cache = std::make_shared<TThumbCache>(orbisk::test::TempPath("golden-cache"));
  for (const char* F : kFiles) {
    TThumbCellOptions O;
    O.Cache = Cache;
    const TThumbCell C = MakeThumbCell(kGolden + "/" + F, O);
    EXPECT_FALSE(C.FromCache) << F;
    EXPECT_EQ(Fnv(*C.Picture), Reference().at({F, 64})) << F << " with the cache";
  }
  // The loader's cells equal them too, in whatever order it is asked to work.
  for (int S : {64, 192}) {
    std::vector<std::string> Files;
    for (const char* F : kFiles)
      Files.push_back(kGolden + "/" + F);
    TThumbCellOptions O;
    O.Size = S;
    TThumbLoader Loader(Files, O, 2);
    Loader.Prefer(5, 7);
    int Got = 0;
    for (auto Batch = Loader.WaitReady(); !Batch.empty(); Batch = Loader.WaitReady())
      for (auto& R : Batch) {
        ++Got;
        EXPECT_EQ(Fnv(*R.Cell.Picture), Reference().at({kFiles[R.Index], S}))
            << kFiles[R.Index] << " at " << S;
      }
    EXPECT_EQ(Got, int(Files.size()));
  }
}
