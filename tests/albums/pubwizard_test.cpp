// The web publishing wizard driven as a user drives it: opened from the album window, paged
// through, published, and its refusals (no entries, no layout, a folder that cannot be made).
#include "albums/albumwindow.h"
#include "albums/aprefs.h"
#include "albums/pubwizard.h"
#include "platform/dialogscale.h"
#include "browser/mainwindow.h"
#include "tests/albums/webtestutil.h"
#include "thumbnails/tesslyoptions.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

struct PubWizard : ::testing::Test {
  void SetUp() override {
    ResetUserFiles();
    Src = MakeFolder("wiz-src");
    Out = MakeFolder("wiz-out");
  }
  void AddEntries(TfAlbum& W, int N) {
    for (int I = 0; I < N; ++I)
      W.Document().Add(MakeWebPicture(Src + QString("/e%1.png").arg(I), 24, 16),
                       QString("Caption %1").arg(I));
  }
  static void Next(TfrmPubWizard* Z) {
    QTest::mouseClick(&Child<QPushButton>(*Z, "btnNext"), Qt::LeftButton);
  }
  // A click on a check box's square.
  static void Tick(QAbstractButton* B) {
    QTest::mouseClick(B, Qt::LeftButton, {}, QPoint(8, B->height() / 2));
  }
  QString Src, Out;
  TPromptScope Prompt;
};

TEST_F(PubWizard, MainWindowOpensItAndAUserPublishesTwoPages) {
  TForm1 F;
  F.show();
  TfAlbum* W = F.AlbumWindow();
  W->show();
  AddEntries(*W, 7);
  W->Prefs().SetCols(3);
  W->Prefs().SetRows(2);
  W->Prefs().SetPrintFrames(true);
  W->Prefs().SetCaptionOption(coFilename);
  ASSERT_TRUE(Action(*W, "WebAlbumButton").isEnabled());
  const QString Site = Out + "/new/site";
  QStringList Opened;
  bool Ran = false;
  QTimer::singleShot(0, [&] {
    TfrmPubWizard* Z = W->PubWizard();
    Ran = true;
    ASSERT_TRUE(Z->isVisible());
    EXPECT_TRUE(Z->isModal());
    EXPECT_EQ(Z->windowTitle(), "Folvana Web Publishing Wizard");
    EXPECT_EQ(Z->size(), ScaledSize(456, 265));
    EXPECT_EQ(Z->PageNumber(), 1);
    EXPECT_FALSE(Child<QPushButton>(*Z, "btnBack").isEnabled());
    EXPECT_EQ(Child<QSpinBox>(*Z, "udCols").value(), 3);
    EXPECT_EQ(Child<QSpinBox>(*Z, "udRows").value(), 2);
    EXPECT_TRUE(Child<QCheckBox>(*Z, "cbPrintFrames").isChecked());
    EXPECT_EQ(Child<QLabel>(*Z, "lblPageCount").text(), "2 pages");
    EXPECT_EQ(Child<QSpinBox>(*Z, "udThumbnailSize").value(), 96);
    EXPECT_EQ(Child<QSpinBox>(*Z, "udMaxSize").value(), 2000);
    Z->OpenPage = [&](const QString& P) { Opened << P; };
    Next(Z);
    EXPECT_EQ(Z->PageNumber(), 2);
    EXPECT_EQ(Child<QSlider>(*Z, "tbImageQuality").value(), 80);
    EXPECT_EQ(Child<QSlider>(*Z, "tbSharpeningFactor").value(), 60);
    Next(Z);
    EXPECT_EQ(Z->PageNumber(), 3);
    EXPECT_EQ(Child<QButtonGroup>(*Z, "rgCaption").checkedId(), int(wcFilename));
    // A folder that does not exist yet: the first Next makes it, the second goes on.
    Child<QLineEdit>(*Z, "eWebFolder").setText(Site);
    Next(Z);
    EXPECT_EQ(Z->PageNumber(), 3);
    EXPECT_TRUE(QFileInfo(Site).isDir());
    Next(Z);
    EXPECT_EQ(Z->PageNumber(), 4);
    EXPECT_EQ(Child<QLineEdit>(*Z, "ePageName").text(), "myphotos.html");
    QTest::keyClicks(&Child<QLineEdit>(*Z, "eTitle"), "Our trip");
    QTest::keyClicks(&Child<QLineEdit>(*Z, "eHeader"), "Summer & sea");
    Next(Z);
    EXPECT_EQ(Z->PageNumber(), 5);
    Child<TColorButton>(*Z, "cbtnBGColor").SetColor(RGBOf(255, 128, 0));
    Next(Z);
    EXPECT_EQ(Z->PageNumber(), 6);
    EXPECT_TRUE(Child<QCheckBox>(*Z, "cbDisplayResults").isChecked());
    Next(Z); // publishes
    EXPECT_EQ(Child<QProgressBar>(*Z, "ProgressBar1").value(), 0);
    EXPECT_EQ(Child<QProgressBar>(*Z, "ProgressBar1").maximum(), 7);
    QTest::mouseClick(&Child<QPushButton>(*Z, "btnClose"), Qt::LeftButton);
  });
  Action(*W, "WebAlbumButton").trigger();
  ASSERT_TRUE(Ran);
  EXPECT_FALSE(W->PubWizard()->isVisible());
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("; ").toStdString();
  EXPECT_EQ(Opened, QStringList{Site + "/myphotos_1.html"});
  const QString P1 = QString::fromUtf8(FileBytes(Site + "/myphotos_1.html"));
  EXPECT_EQ(P1.count("<td"), 6);
  EXPECT_TRUE(P1.contains("<title>Our trip</title>"));
  EXPECT_TRUE(P1.contains("<h1>Summer &amp; sea</h1>"));
  EXPECT_TRUE(P1.contains("<body bgcolor=\"#FF8000\">"));
  EXPECT_TRUE(P1.contains("<table border=\"3\""));
  EXPECT_TRUE(P1.contains("src=\"tm_e0.jpg\"></a><BR>e0.jpg</td>"));
  EXPECT_EQ(QString::fromUtf8(FileBytes(Site + "/myphotos_2.html")).count("<td"), 1);
  EXPECT_EQ(PictureSize(Site + "/tm_e6.jpg"), (TSize2{96, 64}));
}

TEST_F(PubWizard, FollowsAndSetsTheAlbumPreferences) {
  TfAlbum W;
  AddEntries(W, 5);
  TfrmPubWizard* Z = W.PubWizard();
  W.Prefs().SetCols(2);
  W.Prefs().SetRows(2);
  Z->show();
  EXPECT_EQ(Child<QLabel>(*Z, "lblPageCount").text(), "2 pages");
  // The wizard's layout becomes the preferences'.
  Child<QSpinBox>(*Z, "udCols").setValue(5);
  EXPECT_EQ(W.Prefs().Cols(), 5);
  EXPECT_EQ(Child<QLabel>(*Z, "lblPageCount").text(), "1 page");
  Tick(&Child<QCheckBox>(*Z, "cbPrintFrames"));
  EXPECT_TRUE(W.Prefs().PrintFrames());
  // Columns of 0 are refused with a reason, not divided by.
  Child<QSpinBox>(*Z, "udCols").setValue(0);
  EXPECT_FALSE(Child<QPushButton>(*Z, "btnNext").isEnabled());
  EXPECT_FALSE(Child<QLabel>(*Z, "lblLayoutProblem").text().isEmpty());
  EXPECT_EQ(W.Prefs().Cols(), 5);
  Child<QSpinBox>(*Z, "udCols").setValue(1);
  EXPECT_TRUE(Child<QPushButton>(*Z, "btnNext").isEnabled());
  EXPECT_TRUE(Child<QLabel>(*Z, "lblLayoutProblem").text().isEmpty());
  // The caption choice follows the preferences' caption option; beyond "Caption" is "Caption".
  W.Prefs().ChangeCaptionOption(coDateTime);
  EXPECT_EQ(Child<QButtonGroup>(*Z, "rgCaption").checkedId(), int(wcCaption));
  W.Prefs().ChangeCaptionOption(coNone);
  EXPECT_EQ(Child<QButtonGroup>(*Z, "rgCaption").checkedId(), int(wcNone));
  // Sharpening amount only while auto sharpening.
  Next(Z);
  Tick(&Child<QCheckBox>(*Z, "cbAutoSharpen"));
  EXPECT_FALSE(Child<QSlider>(*Z, "tbSharpeningFactor").isEnabled());
  Child<QSlider>(*Z, "tbImageQuality").setValue(30);
  Child<QSlider>(*Z, "tbSharpeningFactor").setValue(45);
  QTest::mouseClick(&Child<QPushButton>(*Z, "btnBack"), Qt::LeftButton);
  EXPECT_EQ(Z->PageNumber(), 1);
  // Showing again: first page, quality 80 and amount 60 again, other fields kept.
  Next(Z);
  Next(Z);
  Child<QLineEdit>(*Z, "eWebFolder").setText(Out);
  Z->hide();
  Z->show();
  EXPECT_EQ(Z->PageNumber(), 1);
  EXPECT_EQ(Child<QSlider>(*Z, "tbImageQuality").value(), 80);
  EXPECT_EQ(Child<QSlider>(*Z, "tbSharpeningFactor").value(), 60);
  EXPECT_FALSE(Child<QCheckBox>(*Z, "cbAutoSharpen").isChecked());
  EXPECT_EQ(Child<QLineEdit>(*Z, "eWebFolder").text(), Out);
}

TEST_F(PubWizard, RefusesWhatCannotBePublished) {
  TfAlbum W;
  TfrmPubWizard* Z = W.PubWizard();
  Z->show();
  // A folder below a file cannot be made: the message, and the focus back in the field.
  WriteData(Src + "/plain", "x");
  for (int I = 1; I < 3; ++I)
    Next(Z);
  ASSERT_EQ(Z->PageNumber(), 3);
  Child<QLineEdit>(*Z, "eWebFolder").setText(Src + "/plain/site");
  Next(Z);
  EXPECT_EQ(Z->PageNumber(), 3);
  EXPECT_EQ(Prompt->Messages, QStringList{ErrorCreatingFolderText(Src + "/plain/site")});
  EXPECT_EQ(Z->focusWidget(), &Child<QLineEdit>(*Z, "eWebFolder"));
  Prompt->Messages.clear();
  // A page name with a folder in it cannot leave page 4.
  Child<QLineEdit>(*Z, "eWebFolder").setText(Out);
  Next(Z);
  ASSERT_EQ(Z->PageNumber(), 4);
  Child<QLineEdit>(*Z, "ePageName").setText("../../elsewhere.html");
  EXPECT_FALSE(Child<QPushButton>(*Z, "btnNext").isEnabled());
  EXPECT_FALSE(Child<QLabel>(*Z, "lblPageNameProblem").text().isEmpty());
  Child<QLineEdit>(*Z, "ePageName").setText("album.html");
  Next(Z);
  Next(Z);
  ASSERT_EQ(Z->PageNumber(), 6);
  // An empty album: the message, and the wizard closes.
  Next(Z);
  EXPECT_EQ(Prompt->Messages, QStringList{kNoAlbumImages});
  EXPECT_FALSE(Z->isVisible());
  EXPECT_FALSE(QFile::exists(Out + "/album.html"));
}

TEST_F(PubWizard, LeavingTheFolderFieldMakesTheFolderAndTheBackgroundIsChosen) {
  TfAlbum W;
  AddEntries(W, 1);
  TfrmPubWizard* Z = W.PubWizard();
  Z->show();
  QApplication::setActiveWindow(Z);
  Next(Z);
  Next(Z);
  ASSERT_EQ(Z->PageNumber(), 3);
  // Typed and left with Tab: the folder is made at once.
  Child<QLineEdit>(*Z, "eWebFolder").setFocus();
  Child<QLineEdit>(*Z, "eWebFolder").clear();
  QTest::keyClicks(&Child<QLineEdit>(*Z, "eWebFolder"), Out + "/typed/site");
  QTest::keyClick(&Child<QLineEdit>(*Z, "eWebFolder"), Qt::Key_Tab);
  EXPECT_TRUE(QFileInfo(Out + "/typed/site").isDir());
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  // A folder that cannot be made: the message, and the focus goes back to the field.
  WriteData(Src + "/plain", "x");
  Child<QLineEdit>(*Z, "eWebFolder").setFocus();
  Child<QLineEdit>(*Z, "eWebFolder").setText(Src + "/plain/site");
  QTest::keyClick(&Child<QLineEdit>(*Z, "eWebFolder"), Qt::Key_Tab);
  EXPECT_EQ(Prompt->Messages, QStringList{ErrorCreatingFolderText(Src + "/plain/site")});
  EXPECT_EQ(Z->focusWidget(), &Child<QLineEdit>(*Z, "eWebFolder"));
  // The folder browser's choice replaces the field.
  Z->ChooseFolder = [this] { return Out; };
  QTest::mouseClick(&Child<QToolButton>(*Z, "btnWebFolder"), Qt::LeftButton);
  EXPECT_EQ(Child<QLineEdit>(*Z, "eWebFolder").text(), Out);
  Next(Z);
  Next(Z);
  ASSERT_EQ(Z->PageNumber(), 5);
  const QString Bg = MakeWebPicture(Src + "/tile me.png", 8, 8);
  Z->ChooseBackground = [&] { return Bg; };
  QTest::mouseClick(&Child<QToolButton>(*Z, "btnBGImage"), Qt::LeftButton);
  EXPECT_EQ(Child<QLineEdit>(*Z, "eBGImage").text(), Bg);
  Tick(&Child<QCheckBox>(*Z, "cbUseBGImage"));
  Next(Z);
  Z->OpenPage = [](const QString&) {};
  Next(Z);
  EXPECT_TRUE(QString::fromUtf8(FileBytes(Out + "/myphotos.html"))
                  .contains("<body background=\"" + Bg + "\">"));
}

TEST_F(PubWizard, LastStepMakesAMissingFolderOrGoesBackToIt) {
  TfAlbum W;
  AddEntries(W, 2);
  TfrmPubWizard* Z = W.PubWizard();
  Z->show();
  Z->OpenPage = [](const QString&) {};
  for (int I = 1; I < 3; ++I)
    Next(Z);
  const QString Site = Out + "/site";
  Child<QLineEdit>(*Z, "eWebFolder").setText(Site);
  Next(Z);
  Next(Z);
  Next(Z);
  Next(Z);
  ASSERT_EQ(Z->PageNumber(), 6);
  // The folder went away meanwhile: it is made again and the album published.
  QDir(Site).removeRecursively();
  Next(Z);
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  EXPECT_TRUE(QFile::exists(Site + "/myphotos.html"));
  EXPECT_TRUE(Child<QPushButton>(*Z, "btnNext").isEnabled());
  // A file took its place: "Cannot create", and back to the folder's page.
  QDir(Site).removeRecursively();
  WriteData(Site, "x");
  Next(Z);
  EXPECT_EQ(Prompt->Messages, QStringList{kCannotCreateFolder + Site});
  EXPECT_EQ(Z->PageNumber(), 3);
  EXPECT_TRUE(Child<QPushButton>(*Z, "btnNext").isEnabled());
  EXPECT_TRUE(Child<QPushButton>(*Z, "btnBack").isEnabled());
}

TEST_F(PubWizard, EscStopsPublishingAndCloseWaitsForTheStop) {
  TfAlbum W;
  AddEntries(W, 6);
  W.Prefs().SetCols(1);
  W.Prefs().SetRows(1);
  TfrmPubWizard* Z = W.PubWizard();
  Z->show();
  bool Opened = false;
  Z->OpenPage = [&](const QString&) { Opened = true; };
  Child<QLineEdit>(*Z, "eWebFolder").setText(Out);
  for (int I = 1; I < 6; ++I)
    Next(Z);
  ASSERT_EQ(Z->PageNumber(), 6);
  // Esc arrives while the first picture is made.
  QTimer::singleShot(0, [Z] { QTest::keyClick(Z, Qt::Key_Escape); });
  Next(Z);
  EXPECT_TRUE(Z->LastResult().Stopped);
  EXPECT_EQ(Z->LastResult().Published, 1);
  EXPECT_FALSE(QFile::exists(Out + "/myphotos_1.html")); // the page in progress is not written
  EXPECT_FALSE(Opened);
  EXPECT_TRUE(Z->isVisible());
  // Close while publishing: the run stops, then the wizard closes.
  QTimer::singleShot(
      0, [Z] { QTest::mouseClick(&Child<QPushButton>(*Z, "btnClose"), Qt::LeftButton); });
  Next(Z);
  EXPECT_TRUE(Z->LastResult().Stopped);
  EXPECT_FALSE(Z->isVisible());
}

} // namespace

namespace {

// With ORBISK_SCREENSHOT_DIR set, saves the six pages for a look at the layout: not a test, so
// not run with the tests (scripts/album-screenshots.sh runs it).
TEST_F(PubWizard, DISABLED_ScreenshotsWhenAsked) {
  const QString Dir = qEnvironmentVariable("ORBISK_SCREENSHOT_DIR");
  if (Dir.isEmpty()) GTEST_SKIP() << "ORBISK_SCREENSHOT_DIR is not set";
  TfAlbum W;
  AddEntries(W, 7);
  TfrmPubWizard* Z = W.PubWizard();
  Z->show();
  for (int P = 1; P <= 6; ++P) {
    Child<QStackedWidget>(*Z, "Pages").setCurrentIndex(P - 1);
    QApplication::processEvents();
    Z->grab().save(Dir + QString("/pubwizard-%1.png").arg(P));
  }
}

} // namespace
