// The album preferences: defaults, the rules between border, caption and placement, and the
// settings store.
#include "albums/albumprefs.h"
#include "platform/settingsstore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orbisk;

TEST(AlbumPrefs, DefaultsWithNothingStored) {
  QTemporaryDir Dir;
  TSettingsStore Store(Dir.filePath("s.conf"));
  TAlbumPrefs P;
  P.SetCols(5);
  P.SetBorder(300);
  ASSERT_TRUE(P.Load(Store));
  EXPECT_EQ(P.Cols(), 2);
  EXPECT_EQ(P.Rows(), 3);
  EXPECT_EQ(P.ImagesPerSheet(), 6);
  EXPECT_EQ(P.Border(), 100);
  EXPECT_EQ(P.CaptionOption(), coNone);
  EXPECT_EQ(P.BorderEffect(), beNone);
  EXPECT_EQ(P.Quality(), rqBetter);
  EXPECT_EQ(P.CaptionPlacement(), cpUnderImage);
  EXPECT_FALSE(P.PrintFrames());
  EXPECT_EQ(P.EmbeddedPosition(), epBottomCenter);
  EXPECT_FALSE(P.TransparentBackground());
  EXPECT_EQ(P.CaptionColor(), 0);
  EXPECT_FALSE(P.EmbeddedPositionEnabled());
}

TEST(AlbumPrefs, BorderFollowsCaptionAndPlacement) {
  TAlbumPrefs P;
  P.SetBorder(40);
  P.ChangeCaptionOption(coFilename);
  EXPECT_EQ(P.Border(), 100);
  P.ChangeCaptionOption(coNone);
  EXPECT_EQ(P.Border(), 20);

  P.SetBorder(100);
  P.ChangeCaptionPlacement(cpEmbedded);
  EXPECT_EQ(P.Border(), 10);
  EXPECT_TRUE(P.EmbeddedPositionEnabled());
  P.ChangeCaptionOption(coCaption); // embedded: the small border stays
  EXPECT_EQ(P.Border(), 10);
  P.ChangeCaptionPlacement(cpUnderImage);
  EXPECT_EQ(P.Border(), 100);
  EXPECT_FALSE(P.EmbeddedPositionEnabled());

  // Direct settings apply no rule.
  P.SetBorder(30);
  P.SetCaptionOption(coFilename);
  EXPECT_EQ(P.Border(), 30);
}

TEST(AlbumPrefs, StoreRoundTripClampingAndBadValues) {
  QTemporaryDir Dir;
  QString File = Dir.filePath("s.conf");
  {
    TSettingsStore Store(File);
    TAlbumPrefs P;
    P.SetCols(4);
    P.SetRows(5);
    P.SetBorder(250);
    P.SetCaptionOption(coCustom);
    P.SetQuality(rqBest);
    P.SetBorderEffect(beBevel);
    P.SetPrintFrames(true);
    P.SetCaptionPlacement(cpEmbedded);
    P.SetTransparentBackground(true);
    P.SetCaptionColor(0x0080FF);
    P.SetEmbeddedPosition(epTopRight);
    P.Save(Store);
    EXPECT_EQ(Store.ReadString("PAFrames", ""), "1");
    EXPECT_EQ(Store.ReadString("CaptionColor", ""), QString::number(0x0080FF));
    TAlbumPrefs Q;
    ASSERT_TRUE(Q.Load(Store));
    EXPECT_EQ(Q.Cols(), 4);
    EXPECT_EQ(Q.Rows(), 5);
    EXPECT_EQ(Q.Border(), 250);
    EXPECT_EQ(Q.CaptionOption(), coCustom);
    EXPECT_EQ(Q.Quality(), rqBest);
    EXPECT_EQ(Q.BorderEffect(), beBevel);
    EXPECT_TRUE(Q.PrintFrames());
    EXPECT_EQ(Q.CaptionPlacement(), cpEmbedded);
    EXPECT_TRUE(Q.TransparentBackground());
    EXPECT_EQ(Q.CaptionColor(), 0x0080FF);
    EXPECT_EQ(Q.EmbeddedPosition(), epTopRight);

    // Values outside the ranges are limited to them; 0 columns never reach the layout.
    Store.WriteString("PACols", "9");
    Store.WriteString("PARows", "0");
    Store.WriteString("PABorder", "5");
    Store.WriteString("PACaption", "-3");
    Store.WriteString("EmbeddedPosition", "17");
    ASSERT_TRUE(Q.Load(Store));
    EXPECT_EQ(Q.Cols(), 6);
    EXPECT_EQ(Q.Rows(), 1);
    EXPECT_EQ(Q.Border(), 10);
    EXPECT_EQ(Q.CaptionOption(), coNone);
    EXPECT_EQ(Q.EmbeddedPosition(), epBottomRight);

    // A value that is not a number stops the reading there.
    Store.WriteString("PACols", "3");
    Store.WriteString("PARows", "4");
    Store.WriteString("PABorder", "wide");
    Store.WriteString("PACaption", "2");
    TAlbumPrefs R;
    R.SetBorder(70);
    EXPECT_FALSE(R.Load(Store));
    EXPECT_EQ(R.Cols(), 3);
    EXPECT_EQ(R.Rows(), 4);
    EXPECT_EQ(R.Border(), 70);
    EXPECT_EQ(R.CaptionOption(), coNone);
  }
}

TEST(AlbumPrefs, CaptionOptionChangesAreReported) {
  TAlbumPrefs P;
  std::vector<int> Seen;
  QObject::connect(&P, &TAlbumPrefs::OnCaptionOptionChanged, [&](int O) { Seen.push_back(O); });
  P.ChangeCaptionOption(coDateTime);
  P.SetCaptionOption(coDateTime);
  P.SetCaptionOption(coNone);
  EXPECT_EQ(Seen, (std::vector<int>{coDateTime, coNone}));
}
