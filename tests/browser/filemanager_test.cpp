// The file manager window driven as a user would: moving files into the main window's folder,
// watching its folder, the single-file commands, the preview box.
#include "browser/filemanager.h"
#include "browser/mainwindow.h"
#include "browser/increname.h"
#include "platform/foldertree.h"
#include "platform/help.h"
#include "platform/settingsstore.h"
#include "platform/fileundo.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLayout>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

// Readable texts in failure messages.
inline void PrintTo(const QString& S, std::ostream* O) {
  *O << '"' << S.toStdString() << '"';
}

using namespace orbisk;

namespace {

class FileManager : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Source = test::MakeFolder("fm-source");
    Dest = test::MakeFolder("fm-dest");
    test::WritePicture(Source + "/a.png", 640, 480);
    test::WritePicture(Source + "/photo.png", 30, 20);
    test::WritePicture(Source + "/z.png", 20, 30);
    test::WritePicture(Dest + "/photo.png", 10, 10);
    test::WritePicture(Dest + "/m.png", 10, 10);
    F = std::make_unique<TForm1>();
    F->show();
    QApplication::processEvents();
    F->SetSelectedFolder(Dest);
    TSettingsStore().WriteString("SourceDir", Source);
    test::Action(*F, "MoveFiles1").trigger();
    W = F->SelectFilesWindow();
    QObject::connect(W, &TfSelectFiles::OnPanelText, W, [this](int Panel, const QString& Text) {
      if (Panel == 3) Progress << Text;
    });
  }
  const TFileListModel* List() const { return &test::Child<TFileListModel>(*W, "FileList"); }
  QCheckBox& Check(const char* Name) { return test::Child<QCheckBox>(*W, Name); }
  TFolderTree& Tree() { return test::Child<TFolderTree>(*W, "SelectFilesTree"); }
  QTreeView& ListView() { return test::Child<QTreeView>(*W, "SelectFilesList"); }
  QAction& Command(const char* Name) { return test::Action(*W, Name); }
  QStringList Names(const TFileListModel* L) const {
    QStringList N;
    for (int R = 0; R < L->Count(); ++R)
      N << L->Item(R).Name;
    return N;
  }
  QAction* Button(const char* Text) {
    return W->findChild<QAction*>(QString::fromLatin1(Text) + " button");
  }
  QString Source, Dest;
  test::TPromptScope P;
  std::unique_ptr<TForm1> F;
  TfSelectFiles* W = nullptr;
  QStringList Progress;
};

} // namespace

TEST(FileManagerModel, PreviewBoxAndSnapshots) {
  EXPECT_EQ(FitPreviewBox(640, 480), QSize(145, 109));
  EXPECT_EQ(FitPreviewBox(480, 640), QSize(109, 145));
  EXPECT_EQ(FitPreviewBox(100, 100), QSize(145, 145));
  // Halves go to the even neighbour: 72.5 gives 72.
  EXPECT_EQ(FitPreviewBox(400, 200), QSize(145, 72));
  EXPECT_EQ(FitPreviewBox(200, 400), QSize(72, 145));
  EXPECT_EQ(FitPreviewBox(290, 3), QSize(145, 2)); // 1.5 gives 2
  EXPECT_EQ(PreviewSizeText(0), "1K");
  EXPECT_EQ(PreviewSizeText(2048), "3K");
  EXPECT_EQ(FirstNewName({"a.jpg", "b.jpg", "c.jpg"}, {"a.jpg", "c.jpg"}), "b.jpg");
  EXPECT_EQ(FirstNewName({"a.jpg"}, {"a.jpg"}), "");
}

// The window needs no main window: what it asks goes through the hooks its host fills.
TEST(FileManagerHost, WorksThroughTheHooksItIsGiven) {
  test::ResetUserFiles();
  const QString Source = test::MakeFolder("fmh-source"), Dest = test::MakeFolder("fmh-dest");
  test::WritePicture(Source + "/a.png", 20, 10);
  test::WritePicture(Source + "/b.png", 20, 10);
  test::TPromptScope P;
  QStringList Calls;
  TSelectFilesHooks H;
  H.TypeMask = [] { return QStringLiteral("*.png;"); };
  H.MainFolder = [&] { return Dest; };
  H.RelistMain = [&] { Calls << "relist"; };
  H.RelistMainAndSelect = [&](const QString& Name) { Calls << "select " + Name; };
  H.ConfirmDeletions = [] { return false; };
  H.DeletePermanently = [] { return true; };
  TfSelectFiles W(nullptr, std::move(H));
  W.SetSourceFolder(Source);
  EXPECT_EQ(W.PanelText(1), "2 files");
  // A copy goes into the host's folder, whose list then shows the copy.
  W.SelectRow(0, true);
  W.TransferClick(false);
  EXPECT_TRUE(QFileInfo::exists(Dest + "/a.png"));
  EXPECT_TRUE(QFileInfo::exists(Source + "/a.png"));
  EXPECT_EQ(Calls, QStringList{"select a.png"});
  // Deleting follows the host's preferences: no question, not into the trash.
  W.SelectRow(1, true);
  W.DeleteClick();
  EXPECT_FALSE(QFileInfo::exists(Source + "/b.png"));
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("|").toStdString();
  EXPECT_EQ(W.PanelText(1), "1 files");

  // Without hooks nothing is listed, moved or asked for, and nothing fails.
  TfSelectFiles Bare(nullptr, {});
  Bare.SetSourceFolder(Source);
  EXPECT_EQ(Bare.PanelText(1), "0 files");
  Bare.TransferClick(true);
  Bare.AddFolderClick();
  Bare.ImageInfoClick();
  EXPECT_TRUE(QFileInfo::exists(Source + "/a.png"));
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("|").toStdString();
}

TEST_F(FileManager, MovesSelectedFilesIntoTheMainFolder) {
  ASSERT_TRUE(W->isVisible());
  EXPECT_EQ(W->SourceFolder(), Source);
  EXPECT_EQ(Names(List()), QStringList({"a.png", "photo.png", "z.png"}));
  EXPECT_EQ(W->PanelText(1), "3 files");
  W->SelectRow(1, true);
  W->SelectRow(2, false);
  Button("Move to...")->trigger();
  const int Second = int(Progress.indexOf("File 2 of 2"));
  ASSERT_GT(Second, 0) << Progress.join("|").toStdString();
  EXPECT_EQ(Progress.mid(Second - 1, 3), QStringList({"File 1 of 2", "File 2 of 2", ""}));
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("|").toStdString();
  // Auto-rename kept the main folder's photo; both files left the source.
  EXPECT_EQ(QImage(Dest + "/photo.png").size(), QSize(10, 10));
  EXPECT_EQ(QImage(Dest + "/photo1.png").size(), QSize(30, 20));
  EXPECT_EQ(QImage(Dest + "/z.png").size(), QSize(20, 30));
  EXPECT_EQ(Names(List()), QStringList{"a.png"});
  // The main list shows the last file moved; the neighbour is selected and previewed here.
  EXPECT_EQ(Names(&test::Child<TFileListModel>(*F, "FileList")),
            QStringList({"m.png", "photo.png", "photo1.png", "z.png"}));
  EXPECT_EQ(F->SelectedFile(), Dest + "/z.png");
  EXPECT_EQ(W->SelectedRows(), QList<int>{0});
  EXPECT_EQ(W->PreviewedFile(), Source + "/a.png");
  EXPECT_EQ(W->PanelText(2), QString::number(QFileInfo(Source + "/a.png").size() / 1024 + 1) + "K");
  EXPECT_EQ(W->PreviewWidget(), &test::Child<TPGImage>(*W, "PreviewImage"));
  EXPECT_EQ(W->PanelText(3), " (640 x 480)");

  // A copy keeps the source.
  W->SelectRow(0, true);
  Command("Copy1").trigger();
  EXPECT_TRUE(QFileInfo::exists(Source + "/a.png"));
  EXPECT_TRUE(QFileInfo::exists(Dest + "/a.png"));
  EXPECT_EQ(F->SelectedFile(), Dest + "/a.png");
}

TEST_F(FileManager, AutoUpdateSelectsAndPreviewsANewFile) {
  Check("AutoUpdateCheck").setChecked(true);
  test::WritePicture(test::TestHome() + "/incoming.png", 50, 40);
  ASSERT_TRUE(QFile::copy(test::TestHome() + "/incoming.png", Source + "/b.png"));
  EXPECT_TRUE(test::WaitFor([&] { return W->PreviewedFile() == Source + "/b.png"; }));
  EXPECT_EQ(W->SelectedRows(), QList<int>{1});
  EXPECT_EQ(W->PanelText(3), " (50 x 40)");
  // Another folder in the tree switches it off.
  QModelIndex I = Tree().Model()->index(Dest);
  ASSERT_TRUE(I.isValid());
  Tree().setCurrentIndex(I);
  EXPECT_FALSE(Check("AutoUpdateCheck").isChecked());
  EXPECT_EQ(W->SourceFolder(), Dest);
  EXPECT_EQ(W->windowTitle(), Dest);
}

TEST_F(FileManager, SingleFileCommandsAndDefaults) {
  Button("Rename")->trigger();
  W->SelectAllClick();
  Button("Rename")->trigger();
  EXPECT_EQ(P->Messages, QStringList({"You must click on a file",
                                      "You must select a single file for this function"}));
  emit test::Child<QMenu>(*W, "ListMenu").aboutToShow();
  EXPECT_FALSE(Command("Rename1").isEnabled());
  EXPECT_TRUE(Command("Move1").isEnabled());
  W->SelectNoneClick();
  emit test::Child<QMenu>(*W, "ListMenu").aboutToShow();
  EXPECT_FALSE(Command("Copy1").isEnabled());

  // Delete with the main window's confirmation; the neighbour is selected.
  W->SelectRow(2, true);
  P->Messages.clear();
  P->Answers = {true};
  // The Delete key while the list has the focus.
  W->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W));
  ListView().setFocus();
  QTest::keyClick(&ListView(), Qt::Key_Delete);
  EXPECT_EQ(P->Messages, QStringList{"Delete file z.png?"});
  EXPECT_FALSE(QFileInfo::exists(Source + "/z.png"));
  EXPECT_EQ(Names(List()), QStringList({"a.png", "photo.png"}));
  EXPECT_EQ(W->SelectedRows(), QList<int>{1});

  P->Messages.clear();
  Command("SaveDefaultPath1").trigger();
  EXPECT_EQ(P->Messages, QStringList{"Saved default as " + Source});
  EXPECT_EQ(TSettingsStore().ReadString("SourceDir", ""), Source);
  W->close();
  EXPECT_FALSE(Check("AutoUpdateCheck").isChecked());
}

TEST_F(FileManager, TheDeleteKeyDeletesOnlyWhileTheListHasTheFocus) {
  W->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W));
  W->SelectRow(0, true);
  // In the folder tree the key deletes nothing (and asks nothing).
  Tree().setFocus();
  QTest::keyClick(&Tree(), Qt::Key_Delete);
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("|").toStdString();
  EXPECT_TRUE(QFileInfo::exists(Source + "/a.png"));
  // In the list it deletes the selected file, after the question.
  P->Answers = {true};
  ListView().setFocus();
  QTest::keyClick(&ListView(), Qt::Key_Delete);
  EXPECT_EQ(P->Messages, QStringList{"Delete file a.png?"});
  EXPECT_FALSE(QFileInfo::exists(Source + "/a.png"));
}

TEST_F(FileManager, MovingOrCopyingIntoTheFilesOwnFolderIsRefused) {
  // The main window shows the source folder itself.
  F->SetSelectedFolder(Source);
  QApplication::processEvents();
  W->SelectRow(1, true);
  P->Messages.clear();
  Button("Move to...")->trigger();
  ASSERT_EQ(P->Messages.size(), 1);
  EXPECT_TRUE(P->Messages[0].startsWith("The files are already in " + Source))
      << P->Messages[0].toStdString();
  Button("Copy to...")->trigger();
  EXPECT_EQ(P->Messages.size(), 2);
  // Nothing renamed, nothing copied.
  EXPECT_EQ(QDir(Source).entryList(QDir::Files), QStringList({"a.png", "photo.png", "z.png"}));
  EXPECT_EQ(Names(List()), QStringList({"a.png", "photo.png", "z.png"}));
  // The main window's folder stays the target once it is another one.
  F->SetSelectedFolder(Dest);
  QApplication::processEvents();
  W->SelectRow(2, true);
  Button("Move to...")->trigger();
  EXPECT_EQ(P->Messages.size(), 2);
  EXPECT_TRUE(QFileInfo::exists(Dest + "/z.png"));
}

TEST_F(FileManager, AutoUpdatePreviewsANewFileAgainOnceItIsWhole) {
  Check("AutoUpdateCheck").setChecked(true);
  const QString Whole = test::TestHome() + "/arriving.png";
  test::WritePicture(Whole, 50, 40);
  QFile In(Whole);
  ASSERT_TRUE(In.open(QIODevice::ReadOnly));
  const QByteArray Bytes = In.readAll();
  // The first bytes arrive: the file is listed and previewed, but cannot be shown yet.
  QFile Out(Source + "/b.png");
  ASSERT_TRUE(Out.open(QIODevice::WriteOnly));
  Out.write(Bytes.left(20));
  Out.flush();
  ASSERT_TRUE(test::WaitFor([&] { return W->PreviewedFile() == Source + "/b.png"; }));
  EXPECT_NE(W->PanelText(3), " (50 x 40)");
  // The rest: once the file stops changing it is previewed again, whole.
  Out.write(Bytes.mid(20));
  Out.close();
  EXPECT_TRUE(test::WaitFor([&] { return W->PanelText(3) == " (50 x 40)"; }));
  EXPECT_EQ(W->PreviewWidget(), &test::Child<TPGImage>(*W, "PreviewImage"));
  EXPECT_EQ(W->SelectedRows(), QList<int>{1});
}

TEST_F(FileManager, HelpOpensTheManualAtTheWindowsTopic) {
  QList<QUrl> Opened;
  const THelpOpener Old = SetHelpOpener([&](const QUrl& U) {
    Opened << U;
    return true;
  });
  QTest::mouseClick(&test::Child<QPushButton>(*W, "HelpButton"), Qt::LeftButton);
  TfrmIncRename* R = F->IncRenameWindow();
  R->show();
  QTest::mouseClick(&test::Child<QPushButton>(*R, "HelpButton"), Qt::LeftButton);
  SetHelpOpener(Old);
  ASSERT_EQ(Opened.size(), 2) << P->Messages.join("|").toStdString();
  EXPECT_EQ(Opened[0].fragment(), "topic-130");
  EXPECT_EQ(Opened[1].fragment(), "topic-600");
  EXPECT_TRUE(P->Messages.isEmpty());
}

TEST_F(FileManager, OpensCentredWithEveryButtonAndItsFolderInView) {
  EXPECT_EQ(List()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Name");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(W));
  const QRect Area = W->screen()->availableGeometry();
  const QPoint Centre = W->frameGeometry().center();
  EXPECT_LE(std::abs(Centre.x() - Area.center().x()), 2) << Centre.x();
  EXPECT_LE(std::abs(Centre.y() - Area.center().y()), 2) << Centre.y();
  // All ten buttons and Undo (named after the longest operation) on the tool bar itself, none
  // behind its extension.
  QToolBar& Bar = test::Child<QToolBar>(*W, "ToolBar");
  ASSERT_EQ(Bar.actions().size(), 12); // with the separator before Undo
  EXPECT_EQ(Bar.actions().back(), &Command("Undo1"));
  Command("Undo1").setText("Undo Delete");
  Bar.layout()->activate();
  for (QAction* A : Bar.actions()) {
    if (A->isSeparator()) continue;
    QWidget* B = Bar.widgetForAction(A);
    ASSERT_TRUE(B) << A->text().toStdString();
    EXPECT_TRUE(B->isVisible()) << A->text().toStdString();
    EXPECT_TRUE(Bar.rect().contains(B->geometry())) << A->text().toStdString();
  }
  for (QWidget* C : std::initializer_list<QWidget*>{
           &Check("AutoPreviewCheck"), &Check("AutoRenameCheck"), &Check("AutoUpdateCheck"),
           &test::Child<QPushButton>(*W, "HelpButton")})
    EXPECT_GE(C->width(), C->sizeHint().width()) << C->objectName().toStdString();
  // The source folder's node is in view in the tree.
  EXPECT_TRUE(test::WaitFor([&] {
    const QModelIndex I = Tree().Model()->index(Source);
    return I.isValid() && Tree().currentIndex() == I &&
           Tree().viewport()->rect().contains(Tree().visualRect(I));
  }));
}

TEST_F(FileManager, UndoPutsMovedAndDeletedFilesBackButNeverOverATakenName) {
  FileUndo().Clear();
  EXPECT_FALSE(Command("Undo1").isEnabled());
  EXPECT_EQ(Command("Undo1").text(), "Undo");
  W->SelectRow(1, true);
  W->SelectRow(2, false);
  Button("Move to...")->trigger();
  ASSERT_EQ(Names(List()), QStringList{"a.png"});
  EXPECT_EQ(Command("Undo1").text(), "Undo Move");
  // ctrl+Z in the list: both files come back (the auto-renamed one under its own name), and
  // both lists show it.
  test::Key(&ListView(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Names(List()), QStringList({"a.png", "photo.png", "z.png"}));
  EXPECT_EQ(QImage(Source + "/photo.png").size(), QSize(30, 20));
  EXPECT_EQ(QImage(Dest + "/photo.png").size(), QSize(10, 10));
  EXPECT_EQ(Names(&test::Child<TFileListModel>(*F, "FileList")),
            QStringList({"m.png", "photo.png"}));
  EXPECT_FALSE(Command("Undo1").isEnabled());

  // A file that took the name meanwhile: refused, nothing moves.
  W->SelectRow(2, true);
  Command("Move1").trigger();
  ASSERT_TRUE(QFileInfo::exists(Dest + "/z.png"));
  test::WritePicture(Source + "/z.png", 5, 5);
  P->Messages.clear();
  test::Key(&Tree(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(P->Messages, QStringList({"Cannot undo: " + Source + "/z.png already exists"}));
  EXPECT_EQ(QImage(Source + "/z.png").size(), QSize(5, 5));
  EXPECT_EQ(QImage(Dest + "/z.png").size(), QSize(20, 30));
  EXPECT_TRUE(Command("Undo1").isEnabled());

  // Files deleted to the trash come back from the list menu's "Undo Delete".
  W->SelectRow(0, true);
  P->Answers = {true};
  Command("Delete1").trigger();
  ASSERT_FALSE(QFileInfo::exists(Source + "/a.png"));
  EXPECT_EQ(Command("Undo1").text(), "Undo Delete");
  EXPECT_TRUE(test::Child<QMenu>(*W, "ListMenu").actions().contains(&Command("Undo1")));
  Command("Undo1").trigger();
  EXPECT_EQ(QImage(Source + "/a.png").size(), QSize(640, 480));
  EXPECT_EQ(Names(List()), QStringList({"a.png", "photo.png", "z.png"}));
}

// A long transfer shows its progress; Esc there stops it before the next file: the files moved
// stay moved, the rest stay in the source, still selected. A stopped copy names no file whose
// group was not finished.
TEST_F(FileManager, EscStopsALongTransferBeforeTheNextFile) {
  for (int I = 0; I < 6; ++I)
    test::WritePicture(Source + QString("/s%1.png").arg(I), 8, 8);
  W->RefreshClick();
  W->TransferProgressDelay = 0;
  const auto EscOnceShown = [this] {
    // Runs in the first round of events the shown dialog lets through.
    QTimer::singleShot(0, W, [this] {
      QProgressDialog& D = test::Child<QProgressDialog>(*W, "TransferProgress");
      EXPECT_TRUE(D.isVisible());
      QTest::keyClick(&D, Qt::Key_Escape);
    });
  };
  for (int R = 2; R < 8; ++R) // s0 to s5
    W->SelectRow(R, R == 2);
  EscOnceShown();
  Button("Move to...")->trigger();
  // The dialog shows on the second file and lets events through on the third.
  EXPECT_TRUE(QFileInfo::exists(Dest + "/s0.png"));
  EXPECT_TRUE(QFileInfo::exists(Dest + "/s1.png"));
  for (int I = 2; I < 6; ++I)
    EXPECT_TRUE(QFileInfo::exists(Source + QString("/s%1.png").arg(I))) << I;
  EXPECT_EQ(Names(List()),
            QStringList({"a.png", "photo.png", "s2.png", "s3.png", "s4.png", "s5.png", "z.png"}));
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("|").toStdString();

  W->SelectRow(2, true);
  W->SelectRow(3, false);
  W->SelectRow(4, false);
  EscOnceShown();
  Command("Copy1").trigger();
  for (const char* Name : {"s2.png", "s3.png", "s4.png"}) {
    EXPECT_TRUE(QFileInfo::exists(Source + "/" + Name)) << Name;
    EXPECT_FALSE(QFileInfo::exists(Dest + "/" + Name)) << Name;
  }
  EXPECT_EQ(QDir(Dest).entryList(QDir::Files | QDir::Hidden).size(), 4); // no copy left half-done
}
