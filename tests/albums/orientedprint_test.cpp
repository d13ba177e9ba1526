// Album pictures with a camera orientation: the turned picture of an entry starts from the
// upright picture, and its own quarter turns come on top; with the preference off, as stored.
#include "albums/albumrender.h"
#include "engine/orientation.h"
#include "platform/autoorient.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"

#include <QString>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace orbisk;
using namespace orbisk::test;

namespace {

TEST(OrientedAlbumPictures, EntryTurnsCountFromTheUprightPicture) {
  TPixelGraphic Upright, Stored, UprightTurned, StoredTurned;
  MakeUpright(Upright);
  MakeStored(Upright, 6, Stored);
  const std::string Path = TempPath("album6.jpg");
  WriteFileBytes(Path, WithApp1(EncodeJPEG(Stored), ExifBlock(6)));
  // A quarter turn clockwise of a picture is what orientation 8 stores for it.
  MakeStored(Upright, 8, UprightTurned);
  MakeStored(Stored, 8, StoredTurned);

  TPixelGraphic G;
  ASSERT_TRUE(RotatedPicture(QString::fromStdString(Path), 0, G));
  EXPECT_TRUE(Shows(G, Upright));
  ASSERT_TRUE(RotatedPicture(QString::fromStdString(Path), 90, G));
  EXPECT_TRUE(Shows(G, UprightTurned));

  SetAutoOrientPictures(false);
  ASSERT_TRUE(RotatedPicture(QString::fromStdString(Path), 0, G));
  EXPECT_TRUE(Shows(G, Stored));
  ASSERT_TRUE(RotatedPicture(QString::fromStdString(Path), 90, G));
  EXPECT_TRUE(Shows(G, StoredTurned));
  SetAutoOrientPictures(true);
}

} // namespace
