// The album window driven as a user drives it: files dragged in, turned, moved and captioned,
// saved, cleared and opened again; the preferences dialog; the preview printed to PDF.
#include "albums/albumwindow.h"
#include "albums/aprefs.h"
#include "browser/mainwindow.h"
#include "platform/dragfiles.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QTabWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

// Drops the files on the window as if dragged from one of the program's lists.
void DropFiles(TfAlbum& W, const QStringList& Files, TDragSource Source) {
  std::unique_ptr<QMimeData> Data(
      MakeFileDragData(Files, QFileInfo(Files.first()).absolutePath(), Source));
  const QPoint At = Child<QTreeWidget>(W, "ListView1").geometry().center();
  QDragEnterEvent Enter(At, Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&W, &Enter);
  if (!Enter.isAccepted()) return;
  QDropEvent Drop(At, Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&W, &Drop);
}

QStringList Column(const TfAlbum& W, int C) {
  QStringList L;
  for (int I = 0; I < Child<QTreeWidget>(W, "ListView1").topLevelItemCount(); ++I)
    L << Child<QTreeWidget>(W, "ListView1").topLevelItem(I)->text(C);
  return L;
}

// Answers the next modal caption editor with Text and Enter.
void TypeCaptionWhenShown(const QString& Text) {
  QTimer::singleShot(0, [Text] {
    auto* Editor = qobject_cast<TfrmEdit*>(QApplication::activePopupWidget());
    if (!Editor) {
      for (QWidget* W : QApplication::topLevelWidgets())
        if (auto* E = qobject_cast<TfrmEdit*>(W); E && E->isVisible()) Editor = E;
    }
    ASSERT_NE(Editor, nullptr);
    QLineEdit* Field = &Child<QLineEdit>(*Editor, "Edit");
    QTest::keyClick(Field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(Field, Text);
    QTest::keyClick(Field, Qt::Key_Return);
  });
}

struct TAlbumFixture : ::testing::Test {
  void SetUp() override {
    ResetUserFiles();
    Dir = MakeFolder("album");
  }
  QString Picture(const QString& Name, int W = 40, int H = 30, QColor C = QColor(200, 30, 30)) {
    QString P = Dir + "/" + Name;
    QImage I(W, H, QImage::Format_RGB32);
    I.fill(C);
    I.save(P, "PNG");
    return P;
  }
  QString Dir;
  TPromptScope Prompt;
};

} // namespace

using AlbumWindow = TAlbumFixture;

TEST_F(AlbumWindow, BuildSaveClearAndOpenAgain) {
  TfAlbum W;
  W.show();
  // Keys go to the active window's focused list.
  W.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&W));
  QTreeWidget& List = Child<QTreeWidget>(W, "ListView1");
  List.setFocus();
  const QString A = Picture("a.png"), B = Picture("b.jpg"), C = Picture("c.PNG");
  const QString Video = Dir + "/clip.avi", Text = Dir + "/notes.txt";
  WriteBytes(Video, 10);
  WriteBytes(Text, 10);
  DropFiles(W, {A, Video, B, Text, C}, TDragSource::dsFileList);
  EXPECT_EQ(Column(W, 0), (QStringList{A, B, C}));
  EXPECT_EQ(Child<QLabel>(W, "StatusPanel1").text(), "3");

  // Turn the second twice, move it to the top, caption it.
  W.SelectRow(1);
  Action(W, "RotateCWButton").trigger();
  Action(W, "RotateCWButton").trigger();
  Action(W, "MoveUpButton").trigger();
  EXPECT_EQ(W.SelectedRow(), 0);
  Action(W, "MoveUpButton").trigger(); // first one: nothing happens
  EXPECT_EQ(Column(W, 0), (QStringList{B, A, C}));
  TypeCaptionWhenShown("Harbour at dusk");
  QTest::keyClick(&List, Qt::Key_Insert);
  EXPECT_EQ(Column(W, 1), (QStringList{"Harbour at dusk", "", ""}));
  EXPECT_EQ(W.Document().Entry(0).Rotation, 2);
  // Counter clockwise from 0 wraps to 3.
  W.SelectRow(2);
  Action(W, "RotateCCWButton").trigger();
  EXPECT_EQ(W.Document().Entry(2).Rotation, 3);

  const QString Path = Dir + "/trip.alb";
  W.AskSaveFileName = [&] { return Path; };
  Action(W, "SaveAs1").trigger();
  ASSERT_TRUE(QFile::exists(Path));
  const std::vector<AlbumEntry> Saved = W.Document().Entries();

  Action(W, "New1").trigger();
  EXPECT_EQ(Child<QTreeWidget>(W, "ListView1").topLevelItemCount(), 0);
  EXPECT_EQ(Child<QLabel>(W, "StatusPanel1").text(), "0");
  EXPECT_FALSE(W.Document().HasFileName());

  W.AskOpenFileName = [&] { return Path; };
  Action(W, "Open1").trigger();
  EXPECT_EQ(W.Document().Entries(), Saved);
  EXPECT_EQ(Column(W, 1), (QStringList{"Harbour at dusk", "", ""}));
  EXPECT_EQ(W.Document().FileName, Path);
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();

  // Save asks before replacing the remembered file.
  W.SelectRow(2);
  W.activateWindow(); // again, after the caption editor
  ASSERT_TRUE(QTest::qWaitForWindowActive(&W));
  List.setFocus();
  QTest::keyClick(&List, Qt::Key_Delete);
  EXPECT_EQ(Child<QLabel>(W, "StatusPanel1").text(), "2");
  Prompt->Answers = {true};
  Action(W, "Save1").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{"Replace " + Path + "?"});
  EXPECT_EQ(OpenAlbum(Path).Entries.size(), 2u);
  // No means "Save as...".
  const QString Other = Dir + "/other.alb";
  W.AskSaveFileName = [&] { return Other; };
  Prompt->Answers = {false};
  Action(W, "Save1").trigger();
  EXPECT_TRUE(QFile::exists(Other));
  EXPECT_EQ(W.Document().FileName, Other);
}

TEST_F(AlbumWindow, EmptyAlbumsAreNotSavedAndBadFilesKeepTheAlbum) {
  TfAlbum W;
  W.show();
  const QString Path = Dir + "/keep.alb";
  W.AskSaveFileName = [&] { return Path; };
  Action(W, "SaveAs1").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{kNoEntriesToSave});
  EXPECT_FALSE(QFile::exists(Path));

  DropFiles(W, {Picture("x.png")}, TDragSource::dsThumbnailList);
  ASSERT_EQ(W.Document().Count(), 1);
  const QString Bad = Dir + "/bad.alb";
  WriteData(Bad, QByteArray("not an album"));
  W.AskOpenFileName = [&] { return Bad; };
  Prompt->Messages.clear();
  Action(W, "Open1").trigger();
  ASSERT_EQ(Prompt->Messages.size(), 1);
  EXPECT_EQ(W.Document().Count(), 1);
  EXPECT_FALSE(W.Document().HasFileName());

  // A file cut inside its second entry: the first is read, and the user is told.
  std::vector<AlbumEntry> Two = {{"/p/1.png", "one", 1}, {"/p/2.png", "two", 0}};
  QByteArray Bytes = AlbumFileBytes(Two, AlbumSettings());
  WriteData(Bad, Bytes.left(Bytes.size() - 5));
  Prompt->Messages.clear();
  Action(W, "Open1").trigger();
  EXPECT_EQ(W.Document().FileNames(), QStringList{"/p/1.png"});
  EXPECT_EQ(Prompt->Messages, QStringList{TruncatedAlbumText(Bad, 1)});

  // Drags from elsewhere are refused.
  std::unique_ptr<QMimeData> Foreign(new QMimeData);
  Foreign->setUrls({QUrl::fromLocalFile(Picture("y.png"))});
  QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, Foreign.get(), Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(&W, &Enter);
  EXPECT_FALSE(Enter.isAccepted());
}

TEST_F(AlbumWindow, TabsInNamesAreToldOncePerDrop) {
  TfAlbum W;
  W.show();
  const QString T1 = Picture("one\ttab.png"), T2 = Picture("two\ttab.png");
  DropFiles(W, {T1, T2, Picture("plain.png")}, TDragSource::dsFileList);
  EXPECT_EQ(Prompt->Messages, QStringList{kCharactersReplaced});
  EXPECT_EQ(W.Document().Entry(0).FileName, Dir + "/one tab.png");
  W.SelectRow(2);
  Prompt->Messages.clear();
  W.RunCaptionEditor = [](TfrmEdit& E) {
    Child<QLineEdit>(E, "Edit").setText("two\nlines");
    return true;
  };
  W.EditCaptionClick();
  EXPECT_EQ(W.Document().Entry(2).Caption, "two lines");
  EXPECT_EQ(Prompt->Messages, QStringList{kCharactersReplaced});
}

TEST_F(AlbumWindow, ImportViewAndPropertiesCommands) {
  TfAlbum W;
  W.show();
  const QString A = Picture("a.png");
  W.ListedFiles = [&] { return QStringList{A, Dir + "/movie.AVI", Dir + "/readme.txt"}; };
  Action(W, "ImportAll1").trigger();
  EXPECT_EQ(W.Document().FileNames(), (QStringList{A, Dir + "/readme.txt"}));

  Child<QTreeWidget>(W, "ListView1").clearSelection();
  Action(W, "ViewImage2").trigger();
  Action(W, "ImageProperties2").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList(2, "You must click on a filename first"));

  // Without a viewer of the main window's, the album shows the turned picture itself.
  W.SelectRow(0);
  Action(W, "RotateCWButton").trigger();
  Action(W, "ViewImage2").trigger();
  QWidget* Viewer = nullptr;
  for (QWidget* T : QApplication::topLevelWidgets())
    if (T->isVisible() && T->windowTitle() == A) Viewer = T;
  ASSERT_NE(Viewer, nullptr);
  EXPECT_EQ(Viewer->size(), QSize(34, 44)); // 40 x 30 turned, plus 4 each way
  Viewer->close();

  QString Viewed, Described;
  int ViewedRotation = -1;
  QObject::connect(&W, &TfAlbum::OnViewImage, [&](const QString& P, int R) {
    Viewed = P;
    ViewedRotation = R;
  });
  QObject::connect(&W, &TfAlbum::OnImageProperties, [&](const QString& P) { Described = P; });
  Action(W, "ViewImage2").trigger();
  Action(W, "ImageProperties2").trigger();
  EXPECT_EQ(Viewed, A);
  EXPECT_EQ(ViewedRotation, 1);
  EXPECT_EQ(Described, A);

  EXPECT_FALSE(Action(W, "WebAlbumButton").isEnabled());
  bool Wizard = false;
  // Available while someone listens (the command follows from the event loop).
  auto Listener = QObject::connect(&W, &TfAlbum::OnCreateWebAlbum, [&] { Wizard = true; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return Action(W, "WebAlbumButton").isEnabled(); }));
  Action(W, "WebAlbumButton").trigger();
  EXPECT_TRUE(Wizard);
  QObject::disconnect(Listener);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Action(W, "WebAlbumButton").isEnabled(); }));

  Action(W, "ClearAll1").trigger();
  EXPECT_EQ(Child<QLabel>(W, "StatusPanel1").text(), "0");
}

TEST_F(AlbumWindow, FrameSetupShowsStoredValuesAndAppliesTheRules) {
  TfAlbum W;
  W.show();
  TfAPrefs* D = W.PrefsDialog();
  QTimer::singleShot(0, [D] {
    EXPECT_EQ(D->windowTitle(), "Frame Setup");
    EXPECT_EQ(Child<QSpinBox>(*D, "Cols").value(), 2);
    EXPECT_EQ(Child<QSpinBox>(*D, "Rows").value(), 3);
    EXPECT_EQ(Child<QLabel>(*D, "txtImagesPerSheet").text(), "6");
    EXPECT_EQ(Child<QSpinBox>(*D, "Border").value(), 100);
    EXPECT_EQ(Child<QButtonGroup>(*D, "rgCaption").checkedId(), coNone);
    EXPECT_EQ(Child<QButtonGroup>(*D, "rgBorderEffect").checkedId(), beNone);
    EXPECT_EQ(Child<QButtonGroup>(*D, "rgQuality").checkedButton()->text(), "Better");
    EXPECT_EQ(Child<QButtonGroup>(*D, "rgCaptionPlacement").checkedId(), cpUnderImage);
    EXPECT_FALSE(Child<QCheckBox>(*D, "cbPrintFrames").isChecked());
    EXPECT_EQ(Child<QButtonGroup>(*D, "rgEmbeddedPosition").checkedButton()->text(),
              "Bottom Center");
    EXPECT_FALSE(Child<QGroupBox>(*D, "EmbeddedPositionBox").isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(*D, "cbTransparentBackGround").isChecked());

    Child<QSpinBox>(*D, "Border").setValue(40);
    Child<QButtonGroup>(*D, "rgCaption").button(coFilename)->click();
    EXPECT_EQ(Child<QSpinBox>(*D, "Border").value(), 100);
    Child<QButtonGroup>(*D, "rgCaption").button(coNone)->click();
    EXPECT_EQ(Child<QSpinBox>(*D, "Border").value(), 20);
    Child<QSpinBox>(*D, "Border").setValue(100);
    Child<QButtonGroup>(*D, "rgCaptionPlacement").button(cpEmbedded)->click();
    EXPECT_EQ(Child<QSpinBox>(*D, "Border").value(), 10);
    EXPECT_TRUE(Child<QGroupBox>(*D, "EmbeddedPositionBox").isEnabled());
    Child<QSpinBox>(*D, "Cols").setValue(4);
    EXPECT_EQ(Child<QLabel>(*D, "txtImagesPerSheet").text(), "12");
    Child<QTabWidget>(*D, "Tabs").setCurrentIndex(1);
    QTest::mouseClick(&Child<QLineEdit>(*D, "eCustomCaption"), Qt::LeftButton);
    EXPECT_EQ(Child<QButtonGroup>(*D, "rgCaption").checkedId(), coCustom);
    Child<QPushButton>(*D, "OKButton").click();
  });
  Action(W, "FrameSetup1").trigger();
  TSettingsStore Store;
  EXPECT_EQ(Store.ReadString("PACols", ""), "4");
  EXPECT_EQ(Store.ReadString("PABorder", ""), "10");
  EXPECT_EQ(Store.ReadString("CaptionPlacement", ""), "1");
  EXPECT_EQ(Store.ReadString("PACaption", ""), "5");

  // An album's own layout lasts until the dialog shows the stored values again.
  std::vector<AlbumEntry> E = {{Picture("p.png"), "", 0}};
  AlbumSettings S;
  S.Cols = 1;
  S.Rows = 1;
  S.Border = 300;
  const QString Path = Dir + "/one.alb";
  SaveAlbum(Path, E, S);
  ASSERT_TRUE(W.OpenAlbum(Path));
  EXPECT_EQ(W.Prefs().Cols(), 1);
  EXPECT_EQ(W.Prefs().Border(), 300);
  QTimer::singleShot(0, [D] {
    EXPECT_EQ(Child<QSpinBox>(*D, "Cols").value(), 4);
    EXPECT_EQ(Child<QSpinBox>(*D, "Border").value(), 10);
    D->close();
  });
  Action(W, "FrameSetup1").trigger();

  // A stored value that is not a number, found when the user opens the dialog again.
  Store.WriteString("PARows", "many");
  Store.Flush();
  Prompt->Messages.clear();
  QTimer::singleShot(0, [D] { D->close(); });
  Action(W, "FrameSetup1").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{kPrefsReadError});
}

TEST_F(AlbumWindow, MainWindowOpensItAndLendsItsList) {
  const QString A = Picture("a.png"), B = Picture("b.gif");
  WriteBytes(Dir + "/v.avi", 10);
  TForm1 F;
  F.show();
  ASSERT_TRUE(test::Action(F, "Folvanas1").isEnabled());
  EXPECT_TRUE(F.findChild<QWidget*>("ToolBar2")->actions().contains(&test::Action(F, "Folvanas1")));
  F.ListFolder(Dir);
  test::Action(F, "Folvanas1").trigger();
  TfAlbum* W = F.AlbumWindow();
  ASSERT_TRUE(W->isVisible());
  EXPECT_EQ(W->windowTitle(), "Orbisk Folvana Maker");
  Action(*W, "ImportAll1").trigger();
  QStringList Expected = {A, B};
  QStringList Got = W->Document().FileNames();
  Got.sort();
  EXPECT_EQ(Got, Expected);
  // The caption font before New is the window-text colour, stored as the system colour.
  EXPECT_EQ(W->Document().CaptionFont.Color, kWindowTextColor);
  EXPECT_EQ(AlbumFileBytes(W->Document().Entries(), W->CurrentSettings()).mid(53, 12),
            QByteArray(" -2147483640"));
}

TEST_F(AlbumWindow, MenusToolBarAndPopUpShowTheirOwnTextsOfTheSharedCommands) {
  TfAlbum W;
  W.show();
  auto Texts = [](const QList<QAction*>& Actions) {
    QStringList L;
    for (QAction* A : Actions)
      L << (A->isSeparator() ? QString("-") : A->text());
    return L;
  };
  EXPECT_EQ(Texts(Child<QMenu>(W, "FileMenu").actions()),
            (QStringList{"New", "Open", "Save", "Save as...", "-", "Select Printer...",
                         "Page Setup...", "Preview Current Album", "-", "Close"}));
  EXPECT_EQ(Texts(Child<QMenu>(W, "EditMenu").actions()),
            (QStringList{"Clear All Entries", "Import All Files", "Frame Setup..."}));
  EXPECT_EQ(Texts(Child<QMenu>(W, "PopupMenu1").actions()),
            (QStringList{"Preview Album...", "Delete All", "Frame Setup...", "-", "View Image",
                         "Image Properties", "-", "Delete Selection"}));

  // The tool bar shows the short texts with the hints as tips, for the same commands the menus
  // hold.
  QToolBar& Bar = Child<QToolBar>(W, "ToolBar1");
  QStringList Buttons, Tips;
  for (QAction* A : Bar.actions()) {
    if (A->isSeparator()) continue;
    auto* B = qobject_cast<QToolButton*>(Bar.widgetForAction(A));
    ASSERT_NE(B, nullptr);
    Buttons << B->text();
    Tips << B->toolTip();
  }
  EXPECT_EQ(Buttons, (QStringList{"Setup", "Preview", "Clear", "Import", "Frames", "Up", "Down",
                                  "CW", "CCW", "Sheet", "Web"}));
  EXPECT_EQ(Tips,
            (QStringList{"Page Setup", "Preview", "Clear List", "Import Directory", "Frame Setup",
                         "Move Up", "Move Down", "Rotate Clockwise", "Rotate Counter Clockwise",
                         "Contact Sheet", "Create Web Photo Album"}));
  EXPECT_EQ(Bar.actions().first(), &Action(W, "PageSetup1"));
  EXPECT_TRUE(Child<QMenu>(W, "PopupMenu1").actions().contains(&Action(W, "FrameSetup1")));
  EXPECT_TRUE(Bar.actions().contains(&Action(W, "FrameSetup1")));
}
