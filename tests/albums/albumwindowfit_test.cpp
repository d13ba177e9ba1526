// The album windows as a new user meets them: everything visible at the default size, the
// picture viewer, where the file dialogs start, restoring the window, drops of every picture
// type, printing to a file, and what the web wizard says it published.
#include "albums/albumwindow.h"
#include "albums/aprefs.h"
#include "albums/pubwizard.h"
#include "platform/dragfiles.h"
#include "platform/settingsstore.h"
#include "tests/albums/webtestutil.h"
#include "tests/browser/browsertest.h"
#include "platform/dialogscale.h"
#include "thumbnails/tesslyviewer.h"
#include "view/pgimage.h"
#include "tests/common/widgetfind.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

struct AlbumWindowFit : ::testing::Test {
  void SetUp() override {
    ResetUserFiles();
    Dir = MakeFolder("album-fit");
  }
  QString Picture(const QString& Name, int W = 40, int H = 30) {
    QString P = Dir + "/" + Name;
    QImage I(W, H, QImage::Format_RGB32);
    I.fill(QColor(200, 30, 30));
    I.save(P, "PNG");
    return P;
  }
  QString Dir;
  TPromptScope Prompt;
};

// Every button, box and field of Top that is shown lies whole inside its parent and gets at least
// the size it asks for.
void ExpectNothingClipped(QWidget* Top) {
  for (QWidget* W : Top->findChildren<QWidget*>()) {
    if (!W->isVisible() || W->isWindow()) continue;
    if (!qobject_cast<QAbstractButton*>(W) && !qobject_cast<QLineEdit*>(W)) continue;
    if (W->objectName().startsWith("qt_")) continue; // parts of other controls
    const QString Name =
        W->metaObject()->className() + QString(" ") +
        (qobject_cast<QAbstractButton*>(W) ? qobject_cast<QAbstractButton*>(W)->text()
                                           : W->objectName());
    EXPECT_TRUE(W->parentWidget()->rect().contains(W->geometry())) << Name.toStdString();
    if (qobject_cast<QRadioButton*>(W) || qobject_cast<QCheckBox*>(W)) {
      EXPECT_GE(W->width(), W->sizeHint().width()) << Name.toStdString();
    }
    EXPECT_GE(W->height(), W->minimumSizeHint().height()) << Name.toStdString();
  }
}

TEST_F(AlbumWindowFit, EveryToolBarButtonAndEveryControlIsVisibleAtTheDefaultSize) {
  TfAlbum W;
  W.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&W));
  EXPECT_GE(W.width(), 478);
  EXPECT_GE(W.height(), 401);
  for (QAction* A : Child<QToolBar>(W, "ToolBar1").actions()) {
    if (A->isSeparator()) continue;
    QWidget* B = Child<QToolBar>(W, "ToolBar1").widgetForAction(A);
    ASSERT_NE(B, nullptr) << A->text().toStdString();
    EXPECT_TRUE(B->isVisible()) << A->text().toStdString();
    EXPECT_TRUE(Child<QToolBar>(W, "ToolBar1").rect().contains(B->geometry()))
        << A->text().toStdString();
  }
  for (QToolButton* B : Child<QToolBar>(W, "ToolBar1").findChildren<QToolButton*>())
    if (B->objectName() == "qt_toolbar_ext_button") {
      EXPECT_FALSE(B->isVisible()) << "buttons behind the tool bar's extension";
    }
  EXPECT_TRUE(Child<QToolBar>(W, "ToolBar1")
                  .widgetForAction(&Action(W, "ContactSheetButton"))
                  ->isVisible());
  EXPECT_TRUE(
      Child<QToolBar>(W, "ToolBar1").widgetForAction(&Action(W, "WebAlbumButton"))->isVisible());

  // Frame Setup, both tabs.
  TfAPrefs* D = W.PrefsDialog();
  QTimer::singleShot(0, [D] {
    EXPECT_GE(D->width(), 353);
    EXPECT_GE(D->height(), 413);
    for (int T = 0; T < Child<QTabWidget>(*D, "Tabs").count(); ++T) {
      Child<QTabWidget>(*D, "Tabs").setCurrentIndex(T);
      QApplication::processEvents();
      ExpectNothingClipped(D);
    }
    // The Captions tab: six caption choices, the custom text and the six positions whole.
    Child<QTabWidget>(*D, "Tabs").setCurrentIndex(1);
    QApplication::processEvents();
    for (QAbstractButton* B : Child<QButtonGroup>(*D, "rgCaption").buttons())
      EXPECT_TRUE(B->isVisible()) << B->text().toStdString();
    EXPECT_GE(Child<QLineEdit>(*D, "eCustomCaption").height(),
              Child<QLineEdit>(*D, "eCustomCaption").sizeHint().height());
    for (const char* T : {"Bottom Center", "Bottom Right"}) {
      QAbstractButton* B = nullptr;
      for (QAbstractButton* C : Child<QButtonGroup>(*D, "rgEmbeddedPosition").buttons())
        if (C->text() == T) B = C;
      ASSERT_NE(B, nullptr);
      EXPECT_GE(B->width(), B->sizeHint().width()) << T;
    }
    D->close();
  });
  Action(W, "FrameSetup1").trigger();

  // The web wizard, every page.
  TfrmPubWizard* Z = W.PubWizard();
  Z->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Z));
  for (int P = 0; P < Child<QStackedWidget>(*Z, "Pages").count(); ++P) {
    Child<QStackedWidget>(*Z, "Pages").setCurrentIndex(P);
    QApplication::processEvents();
    ExpectNothingClipped(Z);
  }
  Z->close();
}

TEST_F(AlbumWindowFit, ViewImageShowsTheTurnedPictureInTheViewerWindow) {
  TfAlbum W;
  W.show();
  const QString Small = Picture("small.png", 300, 200);
  const QSize Screen = QGuiApplication::primaryScreen()->availableGeometry().size();
  const QString Large = Picture("large.png", Screen.width() + 600, 100);
  W.AddFiles({Small, Large});
  auto Viewer = [](const QString& Title) -> TfrmTessly* {
    for (QWidget* T : QApplication::topLevelWidgets())
      if (auto* V = qobject_cast<TfrmTessly*>(T); V && V->isVisible() && V->windowTitle() == Title)
        return V;
    return nullptr;
  };

  // Smaller than the screen: the turned picture plus 4 pixels each way, fitted with its aspect.
  W.SelectRow(0);
  Action(W, "RotateCWButton").trigger();
  Action(W, "ViewImage2").trigger();
  TfrmTessly* V = Viewer(Small);
  ASSERT_NE(V, nullptr);
  EXPECT_EQ(V->size(), QSize(204, 304));
  EXPECT_EQ(V->View()->Stretch(), sAlwaysKAR);
  EXPECT_EQ(V->View()->ImageWidth(), 200);
  EXPECT_EQ(V->View()->ImageHeight(), 300);
  V->close();

  // Larger: the size the view shows it at plus 4, with the picture's proportions.
  W.SelectRow(1);
  Action(W, "ViewImage2").trigger();
  V = Viewer(Large);
  ASSERT_NE(V, nullptr);
  // The viewer's default view (415 pixels wide, scaled for this desktop): the picture is fitted
  // into it.
  const int ViewerWidth = ScaledWidth(TfrmTessly::kWidth);
  EXPECT_LE(V->width(), ViewerWidth + 4);
  EXPECT_GE(V->width(), ViewerWidth - 20);
  EXPECT_NEAR(double(V->width() - 4) / (V->height() - 4), double(Screen.width() + 600) / 100,
              double(Screen.width() + 600) / 100 / 10);
  EXPECT_EQ(V->View()->Stretch(), sAlwaysKAR);
  V->close();
}

TEST_F(AlbumWindowFit, FileDialogsStartInTheFolderOfTheAlbumLastUsedElseHome) {
  TfAlbum W;
  W.show();
  QStringList Started;
  auto Answer = [&] {
    QTimer::singleShot(0, [&] {
      for (QWidget* T : QApplication::topLevelWidgets())
        if (auto* D = qobject_cast<QFileDialog*>(T); D && D->isVisible()) {
          Started << D->directory().absolutePath();
          D->reject();
        }
    });
  };
  Answer();
  Action(W, "Open1").trigger();
  W.AddFiles({Picture("p.png")});
  Answer();
  Action(W, "SaveAs1").trigger();
  EXPECT_EQ(Started, (QStringList{QDir::homePath(), QDir::homePath()}));
  EXPECT_NE(QDir::homePath(), QCoreApplication::applicationDirPath());

  const QString Albums = MakeFolder("album-fit/albums");
  ASSERT_TRUE(W.SaveAlbum(Albums + "/trip.alb"));
  Started.clear();
  Answer();
  Action(W, "Open1").trigger();
  Answer();
  Action(W, "SaveAs1").trigger();
  EXPECT_EQ(Started, (QStringList{Albums, Albums}));

  // The next run of the program remembers it.
  TfAlbum Later;
  Later.show();
  Started.clear();
  Answer();
  Action(Later, "Open1").trigger();
  EXPECT_EQ(Started, QStringList{Albums});
}

TEST_F(AlbumWindowFit, RestoringTheWindowKeepsTheOpenedAlbumsLayout) {
  {
    TSettingsStore Store;
    Store.WriteString("PACols", "4");
    Store.WriteString("PARows", "5");
    Store.Flush();
  }
  TfAlbum W;
  W.show();
  EXPECT_EQ(W.Prefs().Cols(), 4);
  AlbumSettings S;
  S.Cols = 1;
  S.Rows = 2;
  const QString Path = Dir + "/one.alb";
  SaveAlbum(Path, {{Picture("p.png"), "", 0}}, S);
  ASSERT_TRUE(W.OpenAlbum(Path));
  W.showMinimized();
  QApplication::processEvents();
  W.showNormal();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !W.isMinimized(); }));
  EXPECT_EQ(W.Prefs().Cols(), 1);
  EXPECT_EQ(W.Prefs().Rows(), 2);
  // So the next save keeps the album's own layout.
  Prompt->Answers = {true};
  Action(W, "Save1").trigger();
  EXPECT_EQ(OpenAlbum(Path).Settings.Cols, 1);
  EXPECT_EQ(OpenAlbum(Path).Settings.Rows, 2);
}

TEST_F(AlbumWindowFit, DropsTakeEveryPictureTypeTheProgramReads) {
  TfAlbum W;
  W.show();
  QStringList Files;
  for (const char* N :
       {"a.webp", "b.avif", "c.heic", "d.jxl", "e.jpeg", "f.tiff", "g.ppm", "h.JFIF", "i.jpg"})
    Files << Picture(N);
  const QStringList Pictures = Files;
  for (const char* N : {"clip.avi", "notes.txt"}) {
    WriteBytes(Dir + "/" + N, 10);
    Files << Dir + "/" + N;
  }
  std::unique_ptr<QMimeData> Data(MakeFileDragData(Files, Dir, TDragSource::dsFileList));
  const QPoint At = Child<QTreeWidget>(W, "ListView1").geometry().center();
  QDragEnterEvent Enter(At, Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&W, &Enter);
  ASSERT_TRUE(Enter.isAccepted());
  QDropEvent Drop(At, Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&W, &Drop);
  EXPECT_EQ(W.Document().FileNames(), Pictures);
}

TEST_F(AlbumWindowFit, PrintingToAFileNeverWritesOverTheAlbumsFiles) {
  TfAlbum W;
  W.show();
  const QString A = Picture("a.png"), B = Picture("b.png");
  W.AddFiles({A, B});
  ASSERT_EQ(::symlink(EnginePath(B).c_str(), EnginePath(Dir + "/print.pdf").c_str()), 0);
  const QByteArray HashA = HashOf(A), HashB = HashOf(B);
  // The print dialog's "Print to file" names the file; the preview then prints to it.
  W.ShowPreview = [&](QPrinter& P) { W.PrintPages(P); };
  for (const QString& Out : {A, Dir + "/print.pdf"}) {
    Prompt->Messages.clear();
    W.Printer().setOutputFileName(Out);
    Action(W, "Preview1").trigger();
    ASSERT_EQ(Prompt->Messages.size(), 1) << Out.toStdString();
    EXPECT_TRUE(Prompt->Messages[0].contains("one of the album's files"));
  }
  EXPECT_EQ(HashOf(A), HashA);
  EXPECT_EQ(HashOf(B), HashB);
  Prompt->Messages.clear();
  W.Printer().setOutputFileName(Dir + "/album.pdf");
  Action(W, "Preview1").trigger();
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
  EXPECT_TRUE(FileBytes(Dir + "/album.pdf").startsWith("%PDF"));
}

TEST_F(AlbumWindowFit, TheWizardRemovesCameraDataAndSaysWhatItPublishedAndSkipped) {
  TfAlbum W;
  W.show();
  const QString Site = MakeFolder("album-fit/site");
  const QString P = Picture("p.png"), Q = Picture("q.png");
  MakeWebPicture(Site + "/q.jpg", 20, 20); // the user's own q.jpg
  W.AddFiles({P, Q});
  TfrmPubWizard* Z = W.PubWizard();
  Z->OpenPage = [](const QString&) {};
  Z->show();
  EXPECT_EQ(Child<QCheckBox>(*Z, "cbRemoveMetadata").text(), "Remove location and camera data");
  EXPECT_TRUE(Child<QCheckBox>(*Z, "cbRemoveMetadata").isChecked());
  EXPECT_FALSE(Child<QCheckBox>(*Z, "cbReplaceExisting").isChecked());
  Child<QLineEdit>(*Z, "eWebFolder").setText(Site);
  for (int Page = 1; Page < 6; ++Page)
    QTest::mouseClick(&Child<QPushButton>(*Z, "btnNext"), Qt::LeftButton);
  ASSERT_EQ(Z->PageNumber(), 6);
  QTest::mouseClick(&Child<QPushButton>(*Z, "btnNext"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !Z->Publishing() && !Child<QLabel>(*Z, "lblResult").text().isEmpty(); }));
  const QString Said = Child<QLabel>(*Z, "lblResult").text();
  EXPECT_TRUE(Said.contains("Published 1 of 2 pictures and 1 page.")) << Said.toStdString();
  EXPECT_TRUE(Said.contains("Location and camera data were removed")) << Said.toStdString();
  EXPECT_TRUE(Said.contains("already in the folder: q.jpg")) << Said.toStdString();
  EXPECT_TRUE(Child<QLabel>(*Z, "lblResult").isVisible());
  EXPECT_EQ(PictureSize(Site + "/q.jpg"), (TSize2{20, 20}));
  EXPECT_EQ(Z->LastResult().Skipped, QStringList{Site + "/q.jpg"});
  Z->close();
}

} // namespace

namespace {

// With ORBISK_SCREENSHOT_DIR set, saves the album window and both tabs of Frame Setup at their
// default sizes for a look: not a test, so not run with the tests (scripts/album-screenshots.sh
// runs it).
TEST_F(AlbumWindowFit, DISABLED_ScreenshotsWhenAsked) {
  const QString Shots = qEnvironmentVariable("ORBISK_SCREENSHOT_DIR");
  if (Shots.isEmpty()) GTEST_SKIP() << "ORBISK_SCREENSHOT_DIR is not set";
  TfAlbum W;
  W.show();
  W.AddFiles({Picture("a.png"), Picture("b.png")});
  QApplication::processEvents();
  W.grab().save(Shots + "/album.png");
  TfAPrefs* D = W.PrefsDialog();
  QTimer::singleShot(0, [D, Shots] {
    for (int T = 0; T < Child<QTabWidget>(*D, "Tabs").count(); ++T) {
      Child<QTabWidget>(*D, "Tabs").setCurrentIndex(T);
      QApplication::processEvents();
      D->grab().save(Shots + QString("/framesetup-%1.png").arg(T + 1));
    }
    D->close();
  });
  Action(W, "FrameSetup1").trigger();
}

} // namespace
