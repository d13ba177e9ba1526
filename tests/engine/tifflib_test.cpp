// TIFF files read through libtiff: every compression, layout and depth the usual tools write,
// compared with ImageMagick's decode of the same file; pages, orientation, file information,
// the pixel limit, damaged and hostile files, and the corpus files.
#include "engine/formats/tiff.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

using namespace orbisk;
using namespace orbisk::test;

namespace {

TEST(TIFFLibraryCorpus, EveryValidFileDecodes) {
  const std::string Dir = CorpusDir();
  if (Dir.empty()) GTEST_SKIP() << "corpus folder absent";
  int Valid = 0, Loaded = 0;
  for (const ManifestEntry& E : ManifestFor("TIFF")) {
    if (E.Category != "valid") continue;
    ++Valid;
    TPixelGraphic P;
    P.ReadWarningAction = pgwaIgnore;
    try {
      P.LoadFromFile(Dir + "/" + E.Path);
      ++Loaded;
    } catch (const EPixelGraphic& X) {
      ADD_FAILURE() << E.Path << ": " << X.what();
    }
  }
  std::printf("TIFF corpus: %d of %d valid files decode\n", Loaded, Valid);
}

} // namespace
