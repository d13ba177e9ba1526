// The explorer's thumbnail grid used with the mouse and the keyboard, the viewer it opens, the
// windows at their default sizes, and saved thumbnails that must not replace other files.
#include "tests/browser/browsertest.h"
#include "tests/thumbnails/cachehome.h"
#include "tests/common/widgetfind.h"
#include "tests/common/testutil.h"

#include "engine/pixelgraphic.h"
#include "platform/dialogscale.h"
#include "thumbnails/savethumbdialog.h"
#include "thumbnails/tesslyoptions.h"
#include "thumbnails/tesslyviewer.h"
#include "thumbnails/thumbedit.h"
#include "thumbnails/thumbexplorer.h"
#include "thumbnails/thumblistmodel.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

void SavePicture(const QString& Path, int W, int H, TRGB C) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  G.SetBackGroundColor(C);
  G.Clear();
  G.SaveToFile(QFile::encodeName(Path).toStdString());
}

QByteArray Bytes(const QString& Path) {
  QFile F(Path);
  F.open(QIODevice::ReadOnly);
  return F.readAll();
}

QModelIndex IndexOf(TfrmThumbnails& W, const QString& Name) {
  for (int R = 0; R < Child<TFileListModel>(W, "FileList").Count(); ++R)
    if (Child<TFileListModel>(W, "FileList").Item(R).Name == Name)
      return Child<TThumbListModel>(W, "ListModel").index(R, 0);
  return {};
}

QPoint CentreOf(TfrmThumbnails& W, const QString& Name) {
  return Child<QListView>(W, "ListView1").visualRect(IndexOf(W, Name)).center();
}

void ClickCell(TfrmThumbnails& W, const QString& Name, Qt::KeyboardModifiers M = {}) {
  QTest::mouseClick(Child<QListView>(W, "ListView1").viewport(), Qt::LeftButton, M,
                    CentreOf(W, Name));
}

QList<TfrmTessly*> Viewers() {
  QList<TfrmTessly*> L;
  for (QWidget* W : QApplication::topLevelWidgets())
    if (auto* V = qobject_cast<TfrmTessly*>(W); V && V->isVisible()) L << V;
  return L;
}

void CloseViewers() {
  for (TfrmTessly* V : Viewers())
    V->close();
  WaitFor([] { return Viewers().isEmpty(); });
}

// Every control that shows text or takes input is inside its window and at least as large as
// it needs to be drawn whole.
void ExpectNothingClipped(QWidget* Window, const char* What) {
  const QRect Area = Window->rect();
  for (QWidget* C : Window->findChildren<QWidget*>()) {
    if (!C->isVisible() || C->window() != Window) continue;
    const bool Control = qobject_cast<QAbstractButton*>(C) || qobject_cast<QLineEdit*>(C) ||
                         qobject_cast<QComboBox*>(C) || qobject_cast<QAbstractSpinBox*>(C) ||
                         qobject_cast<QSlider*>(C) ||
                         (qobject_cast<QLabel*>(C) && !static_cast<QLabel*>(C)->text().isEmpty());
    // Parts of spin and combo boxes are sized by their box; fixed sizes are deliberate.
    if (!Control || qobject_cast<QAbstractSpinBox*>(C->parentWidget()) ||
        qobject_cast<QComboBox*>(C->parentWidget()) || C->minimumSize() == C->maximumSize())
      continue;
    const QRect R(C->mapTo(Window, QPoint(0, 0)), C->size());
    EXPECT_TRUE(Area.contains(R)) << What << ": " << C->metaObject()->className() << " "
                                  << C->objectName().toStdString() << " outside the window";
    const QSize Need = C->minimumSizeHint();
    if (!Need.isValid()) continue;
    const bool WideEnough = C->minimumWidth() == C->maximumWidth() || C->width() >= Need.width();
    const bool HighEnough =
        C->minimumHeight() == C->maximumHeight() || C->height() >= Need.height();
    EXPECT_TRUE(WideEnough && HighEnough)
        << What << ": " << C->metaObject()->className() << " " << C->objectName().toStdString()
        << " " << C->width() << "x" << C->height() << " needs " << Need.width() << "x"
        << Need.height();
  }
}

// No button of the tool bar is left to the extension menu.
void ExpectWholeToolBar(QMainWindow* Window, const char* What) {
  for (QToolBar* Bar : Window->findChildren<QToolBar*>()) {
    for (QAction* A : Bar->actions()) {
      if (A->isSeparator() || !A->isVisible()) continue;
      QWidget* B = Bar->widgetForAction(A);
      ASSERT_NE(B, nullptr) << What;
      EXPECT_TRUE(B->isVisible()) << What << ": \"" << A->text().toStdString() << "\" hidden";
      EXPECT_TRUE(Bar->rect().contains(B->geometry()))
          << What << ": \"" << A->text().toStdString() << "\" cut";
    }
    for (QToolButton* T : Bar->findChildren<QToolButton*>("qt_toolbar_ext_button"))
      EXPECT_FALSE(T->isVisible()) << What << ": the tool bar overflows";
  }
}

struct TGridWindow {
  TPromptScope Prompt;
  QString Dir;
  TfrmThumbnails W;
  explicit TGridWindow(const char* Folder) : Dir(MakeFolder(Folder)) {}
  void Open() {
    W.OpenOn(Dir);
    Action(W, "ThumbnailsButton").trigger();
    ASSERT_TRUE(WaitFor([&] { return W.PanelText(1) == "Thumbnails loaded"; }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&W));
  }
};

} // namespace

TEST(ThumbGrid, ClicksAndKeysSelectWhatTheCommandsUse) {
  TGridWindow G("grid");
  for (const char* N : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"})
    SavePicture(G.Dir + "/" + N, 20, 20, RGBOf(10, 20, 30));
  G.Open();
  TfrmThumbnails& W = G.W;
  EXPECT_FALSE(Action(W, "ViewImage1").isEnabled());
  EXPECT_FALSE(Action(W, "SaveAsThumbnail1").isEnabled());

  ClickCell(W, "b.bmp");
  EXPECT_EQ(W.SelectedNames(), QStringList({"b.bmp"}));
  for (QAction* A : {&Action(W, "ViewImage1"), &Action(W, "ImageProperties1"),
                     &Action(W, "EXIFData1"), &Action(W, "SaveAsThumbnail1")})
    EXPECT_TRUE(A->isEnabled()) << A->text().toStdString();

  ClickCell(W, "d.bmp", Qt::ControlModifier);
  EXPECT_EQ(W.SelectedNames(), QStringList({"b.bmp", "d.bmp"}));
  for (QAction* A :
       {&Action(W, "ViewImage1"), &Action(W, "ImageProperties1"), &Action(W, "EXIFData1")})
    EXPECT_FALSE(A->isEnabled()) << A->text().toStdString();
  EXPECT_TRUE(Action(W, "SaveAsThumbnail1").isEnabled());

  ClickCell(W, "a.bmp");
  ClickCell(W, "c.bmp", Qt::ShiftModifier);
  EXPECT_EQ(W.SelectedNames(), QStringList({"a.bmp", "b.bmp", "c.bmp"}));

  // The keyboard moves the selection in the grid.
  ClickCell(W, "a.bmp");
  QTest::keyClick(&Child<QListView>(W, "ListView1"), Qt::Key_Right);
  EXPECT_EQ(W.SelectedNames(), QStringList({"b.bmp"}));
  QTest::keyClick(&Child<QListView>(W, "ListView1"), Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(W.SelectedNames(), QStringList({"b.bmp", "c.bmp"}));
  EXPECT_TRUE(Action(W, "SaveAsThumbnail1").isEnabled());
  EXPECT_FALSE(Action(W, "ViewImage1").isEnabled());

  // What the grid selected is what the details view shows.
  Action(W, "DetailsButton").trigger();
  EXPECT_EQ(W.SelectedNames(), QStringList({"b.bmp", "c.bmp"}));
  EXPECT_EQ(Child<QTreeView>(W, "DetailsView").selectionModel()->selectedRows().size(), 2);
  W.SetViewStyle(TThumbViewStyle::vsThumbnails);

  // The save command sees the grid's selection.
  int Files = -1;
  Child<TfrmSaveThumbnail>(W, "SaveDialog").OnExecute = [&](TfrmSaveThumbnail& D) {
    Files = Child<QLabel>(D, "lFiles").text().section(' ', -1).toInt();
    return false;
  };
  Action(W, "SaveAsThumbnail1").trigger();
  EXPECT_EQ(Files, 2);
  EXPECT_TRUE(G.Prompt->Messages.isEmpty()) << G.Prompt->Messages.join("|").toStdString();
}

TEST(ThumbGrid, DoubleClickOpensTheViewerSizedAfterItsLayout) {
  TGridWindow G("grid-view");
  SavePicture(G.Dir + "/small.bmp", 200, 100, RGBOf(0, 90, 0));
  // Larger than the screen both ways: shown fitted into the viewer at its own size.
  const QSize Screen = QGuiApplication::primaryScreen()->availableGeometry().size();
  const int BW = Screen.width() * 2, BH = Screen.width() * 3 / 2;
  SavePicture(G.Dir + "/photo.bmp", BW, BH, RGBOf(90, 0, 0));
  G.Open();
  TfrmThumbnails& W = G.W;

  // A click selects, the double click opens.
  ClickCell(W, "small.bmp");
  EXPECT_TRUE(Viewers().isEmpty());
  QTest::mouseDClick(Child<QListView>(W, "ListView1").viewport(), Qt::LeftButton, {},
                     CentreOf(W, "small.bmp"));
  ASSERT_TRUE(WaitFor([] { return Viewers().size() == 1; }));
  TfrmTessly* V = Viewers()[0];
  EXPECT_EQ(V->windowTitle(), "small.bmp");
  EXPECT_EQ(V->size(), QSize(204, 104));
  EXPECT_EQ(V->View()->Stretch(), sAlwaysKAR);
  CloseViewers();

  ClickCell(W, "photo.bmp");
  Action(W, "ViewImage1").trigger();
  ASSERT_TRUE(WaitFor([] { return Viewers().size() == 1; }));
  V = Viewers()[0];
  EXPECT_EQ(V->windowTitle(), "photo.bmp");
  // The displayed picture is the 4 : 3 fit into the viewer's default area, plus 4 each way.
  const QSize Default = ScaledSize(TfrmTessly::kWidth, TfrmTessly::kHeight);
  const int DW = V->width() - 4, DH = V->height() - 4;
  EXPECT_GE(DW, Default.width() - 8) << DW << "x" << DH;
  EXPECT_LE(DW, Default.width());
  EXPECT_NEAR(DH, DW * 3 / 4, 2) << DW << "x" << DH;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(V));
  // Shown, the view fits the picture into the window again (less its frame).
  EXPECT_NEAR(V->View()->BoxRect().Width(), DW, 4);
  CloseViewers();
}

TEST(ThumbGrid, WindowsShowEveryControlAtTheirDefaultSize) {
  TGridWindow G("grid-sizes");
  SavePicture(G.Dir + "/x.bmp", 8, 8, 0);
  G.Open();
  EXPECT_GE(G.W.width(), ScaledWidth(594));
  EXPECT_EQ(Child<QTreeView>(G.W, "DetailsView").model()->headerData(0, Qt::Horizontal).toString(),
            "Name");
  ExpectWholeToolBar(&G.W, "explorer");
  ExpectNothingClipped(&G.W, "explorer");

  TfrmThumbEdit Creator;
  Creator.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Creator));
  EXPECT_EQ(Creator.size(), ScaledSize(605, 437));
  ExpectNothingClipped(&Creator, "creator");

  TfrmTesslyOptions Options;
  Options.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Options));
  EXPECT_GE(Options.width(), ScaledWidth(304));
  EXPECT_GE(Options.height(), ScaledHeight(308));
  auto* Tabs = Options.findChild<QTabWidget*>();
  ASSERT_NE(Tabs, nullptr);
  for (int T = 0; T < Tabs->count(); ++T) {
    Tabs->setCurrentIndex(T);
    QApplication::processEvents();
    ExpectNothingClipped(&Options, Tabs->tabText(T).toUtf8().constData());
  }

  Child<TfrmSaveThumbnail>(G.W, "SaveDialog").show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Child<TfrmSaveThumbnail>(G.W, "SaveDialog")));
  ExpectNothingClipped(&Child<TfrmSaveThumbnail>(G.W, "SaveDialog"), "save thumbnail");
  Child<TfrmSaveThumbnail>(G.W, "SaveDialog").hide();
}

TEST(ThumbSave, NeverReplacesAFileTheRunDidNotWrite) {
  TPromptScope Prompt;
  const QString Dir = MakeFolder("save-guard");
  SavePicture(Dir + "/x.png", 30, 30, RGBOf(1, 2, 3));
  WriteData(Dir + "/x.jpg", "the user's own x.jpg");
  SavePicture(Dir + "/a.b.png", 40, 20, RGBOf(200, 0, 0));
  SavePicture(Dir + "/a.c.png", 40, 20, RGBOf(0, 0, 200));
  SavePicture(Dir + "/y.png", 10, 10, RGBOf(5, 5, 5));
  WriteData(Dir + "/thm_y.bmp", "an older thumbnail kept by the user");
  TfrmThumbnails W;
  W.OpenOn(Dir);
  W.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&W));
  auto SelectAll = [&](const QStringList& Names) {
    Child<QTreeView>(W, "DetailsView").clearSelection();
    for (const QString& N : Names)
      Child<QTreeView>(W, "DetailsView")
          .selectionModel()
          ->select(IndexOf(W, N), QItemSelectionModel::Select);
  };

  // An empty prefix into the pictures' folder: x.png would become the unrelated x.jpg.
  SelectAll({"x.png"});
  Child<TfrmSaveThumbnail>(W, "SaveDialog").OnExecute = [&](TfrmSaveThumbnail& D) {
    Child<QLineEdit>(D, "ePrefix").clear();
    Child<QComboBox>(D, "cbFormat").setCurrentIndex(1);
    return true;
  };
  Action(W, "SaveAsThumbnail1").trigger();
  EXPECT_EQ(Bytes(Dir + "/x.jpg"), "the user's own x.jpg");
  ASSERT_EQ(Prompt->Messages.size(), 1);
  EXPECT_TRUE(Prompt->Messages[0].contains(Dir + "/x.jpg")) << Prompt->Messages[0].toStdString();
  EXPECT_TRUE(Prompt->Messages[0].startsWith("Not saved")) << Prompt->Messages[0].toStdString();
  Prompt->Messages.clear();

  // Two pictures of one stem get two files; an existing thumbnail stays.
  SelectAll({"a.b.png", "a.c.png", "y.png"});
  Child<TfrmSaveThumbnail>(W, "SaveDialog").OnExecute = [&](TfrmSaveThumbnail& D) {
    Child<QLineEdit>(D, "ePrefix").setText("thm_");
    Child<QComboBox>(D, "cbFormat").setCurrentIndex(0);
    return true;
  };
  Action(W, "SaveAsThumbnail1").trigger();
  EXPECT_EQ(Bytes(Dir + "/thm_y.bmp"), "an older thumbnail kept by the user");
  ASSERT_EQ(Prompt->Messages.size(), 1);
  EXPECT_TRUE(Prompt->Messages[0].contains(Dir + "/thm_y.bmp"));
  TPixelGraphic First, Second;
  First.LoadFromFile(QFile::encodeName(Dir + "/thm_a.bmp").toStdString());
  Second.LoadFromFile(QFile::encodeName(Dir + "/thm_a_2.bmp").toStdString());
  EXPECT_EQ(First.GetPixelColor(20, 5), RGBOf(200, 0, 0));
  EXPECT_EQ(Second.GetPixelColor(20, 5), RGBOf(0, 0, 200));
  Prompt->Messages.clear();

  // Only when the user says so is a file of another run replaced.
  SelectAll({"y.png"});
  Child<TfrmSaveThumbnail>(W, "SaveDialog").OnExecute = [&](TfrmSaveThumbnail& D) {
    Child<QCheckBox>(D, "cbReplace").setChecked(true);
    return true;
  };
  Action(W, "SaveAsThumbnail1").trigger();
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
  TPixelGraphic Y;
  Y.LoadFromFile(QFile::encodeName(Dir + "/thm_y.bmp").toStdString());
  EXPECT_EQ(Y.Width(), 64);
}

TEST(ThumbSave, CliSkipsFilesItDidNotWriteAndSaysSo) {
  const QString Src = MakeFolder("cli-guard-src"), Out = MakeFolder("cli-guard-out");
  SavePicture(Src + "/a.b.png", 40, 20, RGBOf(200, 0, 0));
  SavePicture(Src + "/a.c.png", 40, 20, RGBOf(0, 0, 200));
  SavePicture(Src + "/y.png", 10, 10, RGBOf(5, 5, 5));
  WriteData(Out + "/thm_y.bmp", "kept");
  auto S = [](const QString& P) { return QFile::encodeName(P).toStdString(); };
  std::string Stdout, Stderr;
  const int Status =
      RunCli({"thumbnails", S(Out), S(Src + "/a.b.png"), S(Src + "/a.c.png"), S(Src + "/y.png")},
             &Stdout, &Stderr);
  EXPECT_EQ(Status, 1);
  EXPECT_EQ(Stdout, "2 of 3 thumbnails saved, 1 skipped\n");
  EXPECT_NE(Stderr.find("Skipped " + S(Out) + "/thm_y.bmp"), std::string::npos) << Stderr;
  EXPECT_EQ(Bytes(Out + "/thm_y.bmp"), "kept");
  TPixelGraphic First, Second;
  First.LoadFromFile(S(Out + "/thm_a.bmp"));
  Second.LoadFromFile(S(Out + "/thm_a_2.bmp"));
  EXPECT_EQ(First.GetPixelColor(20, 5), RGBOf(200, 0, 0));
  EXPECT_EQ(Second.GetPixelColor(20, 5), RGBOf(0, 0, 200));

  // A second run finds its own earlier files: skipped too, unless --overwrite.
  EXPECT_EQ(RunCli({"thumbnails", S(Out), S(Src + "/a.b.png")}, &Stdout, &Stderr), 1);
  EXPECT_EQ(Stdout, "0 of 1 thumbnails saved, 1 skipped\n");
  EXPECT_EQ(RunCli({"thumbnails", S(Out), S(Src + "/y.png"), "--overwrite"}, &Stdout, &Stderr), 0)
      << Stderr;
  EXPECT_EQ(Stdout, "1 of 1 thumbnails saved\n");
  TPixelGraphic Y;
  Y.LoadFromFile(S(Out + "/thm_y.bmp"));
  EXPECT_EQ(Y.Width(), 64);
}
