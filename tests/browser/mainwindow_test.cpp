// The main window driven as a user would: choosing folders in the tree, clicking column headers
// and files, keys, the pop-up menu, preferences and bookmarks, and settings kept between runs.
#include "browser/batchwindow.h"
#include "browser/bmedit.h"
#include "browser/display.h"
#include "view/filelist.h"
#include "browser/mainwindow.h"
#include "browser/prefs.h"
#include "platform/dialogscale.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "metadata/ui/exifwindow.h"
#include "tests/common/testutil.h"
#include "view/pgimage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QListWidget>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QToolBar>
#include <QtTest/QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <memory>

using namespace orbisk;

namespace {

class MainWindow : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Pics = test::MakeFolder("pics");
    test::WritePicture(Pics + "/red.png", 40, 30);
    test::WriteBytes(Pics + "/big.jpg", 5000);
    test::WriteBytes(Pics + "/Alpha.gif", 10);
    test::WriteBytes(Pics + "/notes.txt", 10);
    Other = test::MakeFolder("other");
    test::WritePicture(Other + "/red.png", 20, 10);
  }

  std::unique_ptr<TForm1> Open(const QString& StartFile = QString()) {
    auto F = std::make_unique<TForm1>();
    F->SetStartFile(StartFile);
    F->show();
    QApplication::processEvents();
    return F;
  }

  static QStringList Column0(TForm1& F) {
    QStringList L;
    for (int R = 0; R < test::Child<TFileListModel>(F, "FileList").rowCount(); ++R)
      L << test::Child<TFileListModel>(F, "FileList").Item(R).Name;
    return L;
  }

  static void ClickHeader(TForm1& F, int Column) {
    QHeaderView* H = test::Child<QTreeView>(F, "ListView1").header();
    QPoint P(H->sectionViewportPosition(Column) + H->sectionSize(Column) / 2, H->height() / 2);
    test::Click(H->viewport(), P);
  }

  static void ClickRow(TForm1& F, int Row, Qt::KeyboardModifiers M = Qt::NoModifier) {
    test::Child<QTreeView>(F, "ListView1")
        .scrollTo(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    QRect R = test::Child<QTreeView>(F, "ListView1")
                  .visualRect(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    ASSERT_TRUE(R.isValid());
    test::Click(test::Child<QTreeView>(F, "ListView1").viewport(), R.center(), M);
  }

  static void ChooseFolder(TForm1& F, const QString& Folder) {
    // Through the tree's own selection, as a click or a key in the tree does.
    QModelIndex I = test::Child<TFolderTree>(F, "ShellTreeView1").Model()->index(Folder);
    ASSERT_TRUE(I.isValid()) << Folder.toStdString();
    test::Child<TFolderTree>(F, "ShellTreeView1").setCurrentIndex(I);
    QApplication::processEvents();
  }

  QString Pics, Other;
};

} // namespace

TEST_F(MainWindow, FirstRunLayoutAndHomeFolder) {
  test::WriteBytes(test::TestHome() + "/home.jpg", 1);
  auto F = Open();
  EXPECT_EQ(F->windowTitle(), "Orbisk 7.8 by Brenmoor Software");
  // The first run's sizes, grown with this desktop's font.
  EXPECT_EQ(F->width(), ScaledWidth(620));
  EXPECT_EQ(F->height(), ScaledHeight(460));
  EXPECT_EQ(test::Child<QSplitter>(*F, "Splitter1").sizes().value(0), ScaledWidth(180));
  EXPECT_EQ(test::Child<QSplitter>(*F, "Splitter2").sizes().value(0), ScaledHeight(120));
  EXPECT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").text(), "4");
  EXPECT_EQ(F->SelectedFolder(), QDir::homePath());
  EXPECT_TRUE(Column0(*F).contains("home.jpg"));
  // Every name ending of the ten types, then the later formats'.
  EXPECT_EQ(F->TypeMask(), "*.jpg;*.jpeg;*.jpe;*.jif;*.jfif;*.gif;*.bmp;*.dib;*.rle;*.ico;*.wmf;"
                           "*.emf;*.avi;*.pcx;*.png;*.tga;*.tif;*.tiff;" +
                               LaterTypeMask());
  EXPECT_EQ(test::Child<TFolderTree>(*F, "ShellTreeView1").Model()->rootPath(), "/");

  // The tools' commands are there and enabled.
  // One command on the tool bar and in the Tools menu.
  QAction& Shiftra = test::Action(*F, "Shiftra1");
  EXPECT_EQ(Shiftra.toolTip(), "Shiftra");
  EXPECT_TRUE(Shiftra.isEnabled());
  EXPECT_TRUE(test::Child<QToolBar>(*F, "ToolBar2").actions().contains(&Shiftra));
  EXPECT_TRUE(test::Child<QMenu>(*F, "ToolsMenu").actions().contains(&Shiftra));
  EXPECT_TRUE(test::Action(*F, "RenameFile1").isEnabled());
  EXPECT_TRUE(test::Action(*F, "PageSetup1").isEnabled());
  EXPECT_TRUE(test::Action(*F, "SetPreferences1").isEnabled());
  EXPECT_FALSE(test::Action(*F, "CopyToClipboard1").isVisible());
  const int Widths[5] = {25, 80, 60, 250, 50};
  for (int I = 0; I < 5; ++I)
    EXPECT_GE(test::Child<QLabel>(*F, QString("StatusPanel%1").arg(I)).width(), Widths[I]) << I;
  QFile::remove(test::TestHome() + "/home.jpg");
}

TEST_F(MainWindow, TreeListsFolderAndHeadersSort) {
  auto F = Open();
  ChooseFolder(*F, Pics);
  EXPECT_EQ(Column0(*F), QStringList({"Alpha.gif", "big.jpg", "red.png"}));
  EXPECT_EQ(F->PanelText(1), "3 files");

  ClickHeader(*F, 1); // size ascending
  EXPECT_EQ(test::Child<TFileListModel>(*F, "FileList").SortColumn(), 1);
  EXPECT_EQ(Column0(*F).last(), "big.jpg");
  ClickHeader(*F, 1); // size descending
  EXPECT_EQ(Column0(*F).first(), "big.jpg");
  EXPECT_FALSE(test::Child<TFileListModel>(*F, "FileList").SortAscending());

  // F5 lists again by name, keeping the direction.
  test::WriteBytes(Pics + "/zeta.bmp", 1);
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F5);
  EXPECT_EQ(Column0(*F), QStringList({"zeta.bmp", "red.png", "big.jpg", "Alpha.gif"}));
  EXPECT_EQ(F->PanelText(1), "4 files");

  ClickHeader(*F, 2); // type ascending
  EXPECT_EQ(Column0(*F), QStringList({"zeta.bmp", "Alpha.gif", "big.jpg", "red.png"}));

  // "View All Files" names column 0 and lists the text file.
  test::Action(*F, "ViewAllFiles1").trigger();
  EXPECT_EQ(test::Child<TFileListModel>(*F, "FileList")
                .headerData(0, Qt::Horizontal, Qt::DisplayRole)
                .toString(),
            "Name (All)");
  EXPECT_EQ(F->PanelText(1), "5 files");
  EXPECT_EQ(test::Child<TFileListModel>(*F, "FileList").SortColumn(), 0);
  test::Action(*F, "ViewAllFiles1").trigger();
  EXPECT_EQ(test::Child<TFileListModel>(*F, "FileList")
                .headerData(0, Qt::Horizontal, Qt::DisplayRole)
                .toString(),
            "Name (Images)");
  EXPECT_EQ(F->PanelText(1), "4 files");

  // Another folder replaces the list and is told once it is listed; listing the same folder
  // again (a refresh, a bookmark to it) is no change.
  QStringList Changes;
  QObject::connect(F.get(), &TForm1::FolderChanged, [&](const QString& Folder) {
    Changes << Folder + ":" + QString::number(test::Child<TFileListModel>(*F, "FileList").Count());
  });
  ChooseFolder(*F, Other);
  EXPECT_EQ(Column0(*F), QStringList({"red.png"}));
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F5);
  F->SetSelectedFolder(Other);
  EXPECT_EQ(Changes, QStringList{Other + ":1"});
}

TEST_F(MainWindow, SelectingOneFileShowsIt) {
  auto F = Open();
  ChooseFolder(*F, Pics);
  ClickRow(*F, 2); // red.png
  EXPECT_EQ(F->ShownFile(), Pics + "/red.png");
  EXPECT_TRUE(test::Child<TPGImage>(*F, "PGImage1").isVisible());
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").ImageWidth(), 40);
  // A first run centres pictures smaller than the area.
  const QSize Area = test::Child<QWidget>(*F, "ImagePanel").size();
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").pos(),
            QPoint((Area.width() - 40) / 2, (Area.height() - 30) / 2));
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), QSize(40, 30));
  EXPECT_EQ(F->PanelText(3), " red.png  (40 x 30)");
  EXPECT_EQ(F->PanelText(2), "1K");
  EXPECT_EQ(F->ShownType(), "PNG");
  EXPECT_TRUE(test::Action(*F, "CopyToClipboard1").isVisible());

  // The same name in another folder is another file.
  ChooseFolder(*F, Other);
  ClickRow(*F, 0);
  EXPECT_EQ(F->ShownFile(), Other + "/red.png");
  EXPECT_EQ(F->PanelText(3), " red.png  (20 x 10)");
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), QSize(20, 10));

  // An unreadable picture leaves the area empty and says so instead of naming the last file.
  ChooseFolder(*F, Pics);
  ClickRow(*F, 1); // big.jpg holds no picture
  EXPECT_FALSE(test::Child<TPGImage>(*F, "PGImage1").isVisible());
  EXPECT_EQ(F->PanelText(3), " big.jpg (unreadable)");
  EXPECT_EQ(F->PanelText(2), "5K");

  // Two selected files show nothing and hide "Copy to clipboard".
  ClickRow(*F, 2, Qt::ControlModifier);
  EXPECT_EQ(F->SelectedCount(), 2);
  EXPECT_FALSE(test::Action(*F, "CopyToClipboard1").isVisible());
}

TEST_F(MainWindow, NextPreviousWrapAndFit) {
  auto F = Open();
  ChooseFolder(*F, Pics);
  test::Action(*F, "PreviousImageButton").trigger(); // nothing focused: the last file
  EXPECT_EQ(F->ShownFile(), Pics + "/red.png");
  test::Action(*F, "NextImageButton").trigger(); // past the last: the first
  EXPECT_EQ(F->SelectedRows(), QList<int>({0}));
  test::Action(*F, "PreviousImageButton").trigger();
  EXPECT_EQ(F->SelectedRows(), QList<int>({2}));
  QApplication::processEvents(); // the display is served from the event loop

  // Fitting keeps 4 pixels free and the aspect ratio.
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_Plus,
            Qt::KeypadModifier); // zoom in: fit
  const QSize Area = test::Child<QWidget>(*F, "ImagePanel").size();
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(),
            FitViewerSize(40, 30, Area.width(), Area.height()));
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_Minus,
            Qt::KeypadModifier); // zoom out: natural size
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), QSize(40, 30));
  // The main keyboard's + is no fit: it steps by the root of 2 (the file list lets it through);
  // the keypad's + in the picture area fits.
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_Plus);
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), QSize(57, 42));
  test::Key(&test::Child<TPGImage>(*F, "PGImage1"), Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(),
            FitViewerSize(40, 30, Area.width(), Area.height()));
}

TEST_F(MainWindow, PopupMenuEnablesBySelection) {
  auto F = Open();
  ChooseFolder(*F, Pics);
  // The commands follow the selection rules.
  struct Case {
    QList<int> Rows;
    bool One, Some;
  } Cases[] = {{{}, false, false}, {{1}, true, true}, {{0, 2}, false, true}};
  for (const auto& C : Cases) {
    test::Child<QTreeView>(*F, "ListView1").clearSelection();
    for (int R : C.Rows)
      test::Child<QTreeView>(*F, "ListView1")
          .selectionModel()
          ->select(test::Child<TFileListModel>(*F, "FileList").index(R, 0),
                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    emit test::Child<QMenu>(*F, "PopupMenu1").aboutToShow();
    EXPECT_EQ(test::Action(*F, "RenameFile2").isEnabled(), C.One) << C.Rows.size();
    EXPECT_EQ(test::Action(*F, "EditWithOrbisk1").isEnabled(), C.One) << C.Rows.size();
    EXPECT_EQ(test::Action(*F, "DeleteFiles1").isEnabled(), C.Some) << C.Rows.size();
    EXPECT_EQ(test::Action(*F, "ImageProperties1").isEnabled(), C.One);
    EXPECT_EQ(test::Action(*F, "EXIFData1").isEnabled(), C.One);
    EXPECT_EQ(test::Action(*F, "FileAttributes2").isEnabled(), C.One);
    EXPECT_EQ(test::Action(*F, "ConvertAndResize1").isEnabled(), C.Some);
  }
}

TEST_F(MainWindow, ConvertAndResizeTakesTheSelection) {
  auto F = Open();
  ChooseFolder(*F, Pics);
  ClickRow(*F, 0);
  ClickRow(*F, 2, Qt::ControlModifier);
  ASSERT_EQ(F->SelectedCount(), 2);
  const QStringList Files = {test::Child<TFileListModel>(*F, "FileList").FullName(0),
                             test::Child<TFileListModel>(*F, "FileList").FullName(2)};
  test::Action(*F, "ConvertAndResize1").trigger();
  TfBatch* W = F->findChild<TfBatch*>();
  ASSERT_NE(W, nullptr);
  EXPECT_TRUE(W->isVisible());
  EXPECT_EQ(W->Files(), Files);
  // Written into the listed folder: the list shows the new picture.
  W->OkClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !W->Running(); }, 20000));
  EXPECT_EQ(W->Report().Converted, 1);
  EXPECT_TRUE(Column0(*F).contains("red.jpg")) << Column0(*F).join(",").toStdString();
  W->close();
}

TEST_F(MainWindow, PreferencesChangeTheList) {
  auto F = Open();
  ChooseFolder(*F, Pics);
  EXPECT_EQ(Column0(*F).size(), 3);
  test::TPromptScope Prompt;
  QTimer::singleShot(0, [&] {
    TfPrefs* P = F->PrefsWindow();
    test::Child<QCheckBox>(*P, "TypeCheck1").setChecked(false); // JPG off
    test::Child<QCheckBox>(*P, "ConfirmCheck").setChecked(false);
    test::Child<QButtonGroup>(*P, "DeleteModes").button(1)->click();
    test::Child<QPushButton>(*P, "OKButton").click();
  });
  test::Action(*F, "SetPreferences1").trigger();
  EXPECT_EQ(Column0(*F), QStringList({"Alpha.gif", "red.png"}));
  EXPECT_EQ(F->TypeMask(), "*.gif;*.bmp;*.dib;*.rle;*.ico;*.wmf;*.emf;*.avi;*.pcx;*.png;*.tga;"
                           "*.tif;*.tiff;" +
                               LaterTypeMask());
  EXPECT_FALSE(F->ConfirmDeletions());
  EXPECT_TRUE(F->DeletePermanently());

  // All types off: an empty list.
  QTimer::singleShot(0, [&] {
    for (int I = 1; I <= FileTypeCount; ++I)
      test::Child<QCheckBox>(*F->PrefsWindow(), QStringLiteral("TypeCheck%1").arg(I))
          .setChecked(false);
    test::Child<QPushButton>(*F->PrefsWindow(), "OKButton").click();
  });
  test::Action(*F, "SetPreferences1").trigger();
  EXPECT_EQ(F->PanelText(1), "0 files");
  // Cancel changes nothing.
  QTimer::singleShot(0, [&] {
    test::Child<QCheckBox>(*F->PrefsWindow(), "TypeCheck2").setChecked(true);
    test::Child<QPushButton>(*F->PrefsWindow(), "CancelButton").click();
  });
  test::Action(*F, "SetPreferences1").trigger();
  EXPECT_EQ(F->PanelText(1), "0 files");
  EXPECT_TRUE(Prompt->Messages.isEmpty());
}

TEST_F(MainWindow, BookmarksMenu) {
  auto F = Open();
  test::TPromptScope Prompt;
  ChooseFolder(*F, Pics);
  const int Fixed = test::Child<QMenu>(*F, "BookmarksMenu").actions().size();
  EXPECT_EQ(Fixed, 3); // Add, Edit and a separator
  test::Action(*F, "AddBookmark1").trigger();
  test::Action(*F, "AddBookmark1").trigger();
  ASSERT_EQ(Prompt->Messages, QStringList({Pics + " is already bookmarked!"}));
  ChooseFolder(*F, Other);
  test::Action(*F, "AddBookmark1").trigger();
  ASSERT_EQ(test::Child<QMenu>(*F, "BookmarksMenu").actions().size(), Fixed + 2);
  EXPECT_EQ(test::Child<QMenu>(*F, "BookmarksMenu").actions()[Fixed]->text(), Pics);

  // A bookmark selects its folder, which is listed.
  test::Child<QMenu>(*F, "BookmarksMenu").actions()[Fixed]->trigger();
  EXPECT_EQ(F->SelectedFolder(), Pics);
  EXPECT_EQ(F->PanelText(1), "3 files");

  // The editor's OK rebuilds the menu; a new window reads the file.
  QTimer::singleShot(0, [&] {
    TfBMEdit* E = F->BookmarkEditor();
    test::Child<QListWidget>(*E, "ListBox1").setCurrentRow(0);
    test::Child<QPushButton>(*E, "DeleteButton").click();
    test::Child<QPushButton>(*E, "OKButton").click();
  });
  test::Action(*F, "EditBookmarks1").trigger();
  ASSERT_EQ(test::Child<QMenu>(*F, "BookmarksMenu").actions().size(), Fixed + 1);
  EXPECT_EQ(test::Child<QMenu>(*F, "BookmarksMenu").actions()[Fixed]->text(), Other);
  F->close();
  auto G = Open();
  EXPECT_EQ(test::Child<QMenu>(*G, "BookmarksMenu").actions().size(), Fixed + 1);
}

TEST_F(MainWindow, SettingsKeptBetweenRuns) {
  {
    TSettingsStore S;
    S.WriteInteger("BG Color", 0x0000FF); // red, from an earlier run
  }
  {
    auto F = Open();
    EXPECT_EQ(F->PictureAreaColor(), QColor(255, 0, 0));
    ChooseFolder(*F, Pics);
    F->move(30, 40);
    F->resize(700, 500);
    QApplication::processEvents();
    test::Child<QSplitter>(*F, "Splitter1").setSizes({220, 480});
    test::Child<QSplitter>(*F, "Splitter2").setSizes({150, 250});
    test::Child<QSpinBox>(*F, "SecondsEdit").stepBy(3);
    EXPECT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").text(), "7");
    F->close();
  }
  TSettingsStore S;
  EXPECT_EQ(S.ReadString("Directory", ""), Pics);
  EXPECT_EQ(S.ReadString("Seconds", ""), "7");
  EXPECT_EQ(S.ReadInteger("BG Color", 0), 0x0000FF); // not changed in that run: kept
  auto F = Open();
  EXPECT_EQ(F->size(), QSize(700, 500));
  EXPECT_EQ(F->pos(), QPoint(30, 40));
  EXPECT_EQ(test::Child<QSplitter>(*F, "Splitter1").sizes().value(0), 220);
  EXPECT_EQ(test::Child<QSplitter>(*F, "Splitter2").sizes().value(0), 150);
  EXPECT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").value(), 7);
  EXPECT_EQ(F->SelectedFolder(), Pics);
  EXPECT_EQ(F->PanelText(1), "3 files");

  // The seconds stay within 1..60 without wrapping.
  test::Child<QSpinBox>(*F, "SecondsEdit").stepBy(100);
  EXPECT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").value(), 60);
  F->SetPictureAreaColor(QColor(0, 0, 255), true);
  F->close();
  EXPECT_EQ(TSettingsStore().ReadInteger("BG Color", 0), 0xFF0000);
}

TEST_F(MainWindow, StartFileArgument) {
  {
    auto F = Open(Pics + "/RED.png");
    EXPECT_EQ(F->SelectedFolder(), Pics);
    EXPECT_EQ(F->SelectedRows(), QList<int>({2}));
    EXPECT_EQ(F->ShownFile(), Pics + "/red.png");
    EXPECT_TRUE(test::Child<TPGImage>(*F, "PGImage1").isVisible());
    // The tree shows the listed folder once it has read the folders above it.
    test::WaitFor([&] {
      const QModelIndex I = test::Child<TFolderTree>(*F, "ShellTreeView1").currentIndex();
      return I.isValid() &&
             test::Child<TFolderTree>(*F, "ShellTreeView1")
                 .viewport()
                 ->rect()
                 .intersects(test::Child<TFolderTree>(*F, "ShellTreeView1").visualRect(I));
    });
    const QModelIndex I = test::Child<TFolderTree>(*F, "ShellTreeView1").currentIndex();
    ASSERT_TRUE(I.isValid());
    EXPECT_TRUE(test::Child<TFolderTree>(*F, "ShellTreeView1")
                    .viewport()
                    ->rect()
                    .intersects(test::Child<TFolderTree>(*F, "ShellTreeView1").visualRect(I)));
  }
  {
    // A folder: listed itself, not its parent.
    auto F = Open(Pics);
    EXPECT_EQ(F->SelectedFolder(), Pics);
    EXPECT_EQ(F->PanelText(1), "3 files");
  }
  // A type outside the mask: the folder is listed, nothing shown.
  auto F = Open(Pics + "/notes.txt");
  EXPECT_EQ(F->SelectedFolder(), Pics);
  EXPECT_EQ(F->PanelText(1), "3 files");
  EXPECT_TRUE(F->ShownFile().isEmpty());
  EXPECT_FALSE(test::Child<TPGImage>(*F, "PGImage1").isVisible());
}

TEST_F(MainWindow, ExifWindowOpensAndFollowsTheSelection) {
  const std::string Corpus = test::CorpusDir();
  if (Corpus.empty()) GTEST_SKIP() << "corpus folder absent";
  const QString Folder = test::MakeFolder("exif");
  QFile::copy(QString::fromStdString(Corpus + "/exif-samples/jpg/Canon_40D.jpg"),
              Folder + "/a.jpg");
  test::WritePicture(Folder + "/b.png", 4, 4);
  auto F = Open();
  ChooseFolder(*F, Folder);
  ClickRow(*F, 0);
  test::Action(*F, "EXIFData1").trigger();
  QApplication::processEvents();
  TfrmEXIF* W = F->ExifWindow();
  ASSERT_TRUE(W->isVisible());
  EXPECT_EQ(W->ListedFile(), Folder + "/a.jpg");
  bool Found = false;
  for (const auto& R : W->Rows())
    Found |= R.Description == "DateTime" && R.Value == "2008:07:31 10:38:11";
  EXPECT_TRUE(Found);
  ClickRow(*F, 1); // the open window lists the new selection
  EXPECT_EQ(W->ListedFile(), Folder + "/b.png");
  EXPECT_TRUE(W->Rows().empty());
  W->close();
}

TEST_F(MainWindow, EveryToolButtonVisibleAtTheDefaultSize) {
  auto F = Open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(F.get()));
  for (QToolBar* T :
       {&test::Child<QToolBar>(*F, "ToolBar1"), &test::Child<QToolBar>(*F, "ToolBar2")})
    for (QAction* A : T->actions()) {
      if (A->isSeparator()) continue;
      QWidget* B = T->widgetForAction(A);
      ASSERT_TRUE(B) << A->text().toStdString();
      EXPECT_TRUE(B->isVisible()) << A->text().toStdString();
      EXPECT_TRUE(T->rect().contains(B->geometry())) << A->text().toStdString();
    }
  EXPECT_GE(test::Child<QSpinBox>(*F, "SecondsEdit").width(),
            test::Child<QSpinBox>(*F, "SecondsEdit").minimumSizeHint().width());
  for (int I = 0; I < 5; ++I)
    EXPECT_TRUE(test::Child<QLabel>(*F, QString("StatusPanel%1").arg(I)).isVisible()) << I;
}
