// Camera orientation in the main window: eight JPEG files, one per EXIF orientation, of one
// asymmetric picture all show it upright; with "Rotate pictures by their camera orientation"
// switched off in the preferences they show as stored.
#include "browser/display.h"
#include "browser/mainwindow.h"
#include "browser/prefs.h"
#include "platform/autoorient.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QCheckBox>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace orbisk;

namespace {

// Whether G shows Expected, compared at the middle of every 16 x 16 block (JPEG keeps flat
// blocks within a few levels).
::testing::AssertionResult Shows(const TPixelGraphic* G, const TPixelGraphic& Expected) {
  if (!G) return ::testing::AssertionFailure() << "no picture";
  if (G->Width() != Expected.Width() || G->Height() != Expected.Height())
    return ::testing::AssertionFailure() << G->Width() << " x " << G->Height();
  for (int Y = 8; Y < G->Height(); Y += 16)
    for (int X = 8; X < G->Width(); X += 16) {
      const TRGB A = G->GetPixelColor(X, Y), B = Expected.GetPixelColor(X, Y);
      const int D = std::abs(int(RedOf(A)) - int(RedOf(B))) +
                    std::abs(int(GreenOf(A)) - int(GreenOf(B))) +
                    std::abs(int(BlueOf(A)) - int(BlueOf(B)));
      if (D > 30) return ::testing::AssertionFailure() << "differs at " << X << "," << Y;
    }
  return ::testing::AssertionSuccess();
}

class AutoOrient : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Dir = test::MakeFolder("orient");
    test::MakeUpright(Upright);
    for (int O = 1; O <= 8; ++O) {
      test::MakeStored(Upright, O, Stored[O]);
      test::WriteFileBytes(Path(O).toStdString(),
                           test::WithApp1(test::EncodeJPEG(Stored[O]), test::ExifBlock(O, O % 2)));
    }
  }

  QString Path(int O) const { return Dir + QString("/o%1.jpg").arg(O); }

  std::unique_ptr<TForm1> Open() {
    auto F = std::make_unique<TForm1>();
    F->show();
    QApplication::processEvents();
    test::Child<TFolderTree>(*F, "ShellTreeView1")
        .setCurrentIndex(test::Child<TFolderTree>(*F, "ShellTreeView1").Model()->index(Dir));
    QApplication::processEvents();
    return F;
  }

  static void Settle(TForm1& F) {
    test::WaitFor([&] { return F.PictureDisplay().PendingCount() == 0; });
    QApplication::processEvents();
  }

  static void ClickRow(TForm1& F, int Row) {
    test::Child<QTreeView>(F, "ListView1")
        .scrollTo(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    test::Click(test::Child<QTreeView>(F, "ListView1").viewport(),
                test::Child<QTreeView>(F, "ListView1")
                    .visualRect(test::Child<TFileListModel>(F, "FileList").index(Row, 0))
                    .center());
    Settle(F);
  }

  static void SetPreference(TForm1& F, bool On) {
    QTimer::singleShot(0, [&F, On] {
      TfPrefs* P = F.PrefsWindow();
      test::Child<QTabWidget>(*P, "PageControl1").setCurrentIndex(2);
      EXPECT_EQ(test::Child<QTabWidget>(*P, "PageControl1").tabText(2), "Viewing");
      EXPECT_EQ(test::Child<QCheckBox>(*P, "AutoOrientCheck").text(),
                "Rotate pictures by their camera orientation");
      EXPECT_EQ(test::Child<QCheckBox>(*P, "AutoOrientCheck").isChecked(), !On);
      test::Child<QCheckBox>(*P, "AutoOrientCheck").setChecked(On);
      test::Child<QPushButton>(*P, "OKButton").click();
    });
    test::Action(F, "SetPreferences1").trigger();
    Settle(F);
  }

  QString Dir;
  TPixelGraphic Upright;
  TPixelGraphic Stored[9];
};

TEST_F(AutoOrient, EveryOrientationShowsUprightAndNothingTurnsTwice) {
  auto F = Open();
  ASSERT_EQ(test::Child<TFileListModel>(*F, "FileList").Count(), 8);
  ClickRow(*F, 0);
  for (int O = 1; O <= 8; ++O) {
    ASSERT_EQ(F->ShownFile(), Path(O));
    EXPECT_TRUE(Shows(test::Child<TPGImage>(*F, "PGImage1").PixelGraphic(), Upright))
        << "orientation " << O;
    EXPECT_EQ(F->PanelText(3), QString(" o%1.jpg  (48 x 32)").arg(O));
    test::Action(*F, "NextImageButton")
        .trigger(); // the next file was decoded ahead: that path turns it too
    Settle(*F);
  }
  // Back through pictures decoded ahead and shown before: still upright.
  for (int I = 0; I < 3; ++I) {
    test::Action(*F, "PreviousImageButton").trigger();
    Settle(*F);
    EXPECT_TRUE(Shows(test::Child<TPGImage>(*F, "PGImage1").PixelGraphic(), Upright))
        << F->ShownFile().toStdString();
  }
}

TEST_F(AutoOrient, PreferenceOffShowsThePicturesAsStored) {
  auto F = Open();
  ClickRow(*F, 5); // o6.jpg, shown upright
  ASSERT_TRUE(Shows(test::Child<TPGImage>(*F, "PGImage1").PixelGraphic(), Upright));

  SetPreference(*F, false);
  EXPECT_FALSE(AutoOrientPictures());
  EXPECT_EQ(TSettingsStore().ReadString("AutoOrient", "?"), "0");
  // The shown picture is read again as stored.
  EXPECT_TRUE(Shows(test::Child<TPGImage>(*F, "PGImage1").PixelGraphic(), Stored[6]));
  EXPECT_EQ(F->PanelText(3), " o6.jpg  (32 x 48)");
  ClickRow(*F, 0);
  for (int O = 1; O <= 8; ++O) {
    EXPECT_TRUE(Shows(test::Child<TPGImage>(*F, "PGImage1").PixelGraphic(), Stored[O]))
        << "orientation " << O;
    test::Action(*F, "NextImageButton").trigger();
    Settle(*F);
  }

  // On again, also for a new window that reads the settings.
  SetPreference(*F, true);
  EXPECT_EQ(TSettingsStore().ReadString("AutoOrient", "?"), "1");
  EXPECT_TRUE(Shows(test::Child<TPGImage>(*F, "PGImage1").PixelGraphic(), Upright));
  F.reset();
  SetAutoOrientPictures(false);
  auto G = Open();
  EXPECT_TRUE(AutoOrientPictures());
}

} // namespace
