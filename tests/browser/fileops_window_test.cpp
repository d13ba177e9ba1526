// The main window's file commands used as a user would: F2, Del, the attributes dialog, the
// folder tree's pop-up, the incremental rename window and files dropped from the desktop.
#include "browser/display.h"
#include "browser/filedialogs.h"
#include "browser/increname.h"
#include "browser/mainwindow.h"
#include "platform/dragfiles.h"
#include "platform/fileundo.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
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

// Runs Action on the next modal dialog once it is shown.
void WhenModal(std::function<void(QWidget*)> Action) {
  auto* T = new QTimer;
  QObject::connect(T, &QTimer::timeout, [T, Action] {
    if (QWidget* W = QApplication::activeModalWidget()) {
      T->stop();
      T->deleteLater();
      Action(W);
    }
  });
  T->start(10);
}

void ClickOK(QWidget* Dialog) {
  auto* Box = Dialog->findChild<QDialogButtonBox*>();
  QTest::mouseClick(Box->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

class FileCommands : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Dir = test::MakeFolder("filecmds");
    for (const char* N : {"a.png", "b.png", "c.png"})
      test::WritePicture(Dir + "/" + N, 20, 10);
    F = std::make_unique<TForm1>();
    F->show();
    QApplication::processEvents();
    F->SetSelectedFolder(Dir);
  }
  QStringList Names() const {
    QStringList L;
    for (int R = 0; R < test::Child<TFileListModel>(*F, "FileList").Count(); ++R)
      L << test::Child<TFileListModel>(*F, "FileList").Item(R).Name;
    return L;
  }
  void ClickRow(int Row, Qt::KeyboardModifiers M = Qt::NoModifier) {
    const QRect R = test::Child<QTreeView>(*F, "ListView1")
                        .visualRect(test::Child<TFileListModel>(*F, "FileList").index(Row, 0));
    test::Click(test::Child<QTreeView>(*F, "ListView1").viewport(), R.center(), M);
  }
  QString Dir;
  test::TPromptScope P;
  std::unique_ptr<TForm1> F;
};

} // namespace

TEST_F(FileCommands, KeysTypedIntoTheSecondsBoxStayThere) {
  ClickRow(0);
  ASSERT_EQ(F->SelectedFile(), Dir + "/a.png");
  // Delete, F2 and F8 typed into the slide show's seconds box: no question, no dialog, and the
  // file is where it was, also with confirmations off.
  test::Child<QSpinBox>(*F, "SecondsEdit").setFocus();
  // A dialog a key opened is recorded and closed again.
  QStringList Dialogs;
  QTimer Watch;
  QObject::connect(&Watch, &QTimer::timeout, [&] {
    if (QWidget* D = QApplication::activeModalWidget()) {
      Dialogs << D->windowTitle();
      D->close();
    }
  });
  Watch.start(10);
  for (QWidget* Box :
       {static_cast<QWidget*>(&test::Child<QSpinBox>(*F, "SecondsEdit")),
        static_cast<QWidget*>(test::Child<QSpinBox>(*F, "SecondsEdit").findChild<QLineEdit*>())}) {
    QTest::keyClick(Box, Qt::Key_Delete);
    QTest::keyClick(Box, Qt::Key_F2);
    QTest::keyClick(Box, Qt::Key_F5);
    QTest::keyClick(Box, Qt::Key_Plus, Qt::KeypadModifier);
  }
  Watch.stop();
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("|").toStdString();
  EXPECT_TRUE(Dialogs.isEmpty()) << Dialogs.join("|").toStdString();
  EXPECT_TRUE(QFileInfo::exists(Dir + "/a.png"));
  EXPECT_EQ(F->SelectedFile(), Dir + "/a.png");
  EXPECT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").text(), "4");

  // The same key in the list asks about the selected file.
  test::Child<QTreeView>(*F, "ListView1").setFocus();
  QTest::keyClick(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_Delete);
  EXPECT_EQ(P->Messages, QStringList{"Delete file a.png?"});
  EXPECT_TRUE(QFileInfo::exists(Dir + "/a.png")); // answered No
  // And in the folder tree and the picture area.
  P->Messages.clear();
  test::Key(&test::Child<TFolderTree>(*F, "ShellTreeView1"), Qt::Key_Delete);
  test::Key(&test::Child<TPGImage>(*F, "PGImage1"), Qt::Key_Delete);
  EXPECT_EQ(P->Messages, QStringList({"Delete file a.png?", "Delete file a.png?"}));
}

TEST_F(FileCommands, F2RenamesTheSelectedFileInPlace) {
  ClickRow(0);
  WhenModal([](QWidget* W) {
    auto* D = qobject_cast<TfRename*>(W);
    ASSERT_TRUE(D);
    EXPECT_EQ(D->windowTitle(), "Rename File");
    EXPECT_EQ(test::Child<QLabel>(*D, "OldNameLabel").text(), "a.png");
    EXPECT_EQ(test::Child<QLineEdit>(*D, "NewNameEdit").text(), "a.png");
    test::Child<QLineEdit>(*D, "NewNameEdit").setText("z.png");
    ClickOK(D);
  });
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F2);
  EXPECT_EQ(Names(), QStringList({"z.png", "b.png", "c.png"})); // not sorted again
  EXPECT_TRUE(QFileInfo::exists(Dir + "/z.png"));
  EXPECT_EQ(F->SelectedFile(), Dir + "/z.png");

  // Onto an existing name: refused, both files as they were.
  WhenModal([](QWidget* W) {
    test::Child<QLineEdit>(*qobject_cast<TfRename*>(W), "NewNameEdit").setText("b.png");
    ClickOK(W);
  });
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F2);
  EXPECT_EQ(P->Messages, QStringList{"Error changing name"});
  EXPECT_TRUE(QFileInfo::exists(Dir + "/z.png"));
  EXPECT_EQ(QImage(Dir + "/b.png").size(), QSize(20, 10));
  EXPECT_EQ(Names(), QStringList({"z.png", "b.png", "c.png"}));
}

TEST_F(FileCommands, DeleteKeyAsksTrashesAndSelectsTheNeighbour) {
  test::Child<QTreeView>(*F, "ListView1").setFocus();
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_Delete);
  EXPECT_EQ(P->Messages, QStringList{"You need to click on a file name first"});
  ClickRow(0);
  P->Messages.clear();
  P->Answers = {true};
  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_Delete);
  EXPECT_EQ(P->Messages, QStringList{"Delete file a.png?"});
  EXPECT_FALSE(QFileInfo::exists(Dir + "/a.png"));
  EXPECT_TRUE(QFileInfo::exists(test::TestHome() + "/data/Trash/files/a.png"));
  EXPECT_EQ(Names(), QStringList({"b.png", "c.png"}));
  EXPECT_EQ(F->SelectedFile(), Dir + "/b.png");
  EXPECT_TRUE(test::WaitFor([&] { return F->ShownFile() == Dir + "/b.png"; }));

  // Several files, the last ones: the one before is selected.
  ClickRow(1);
  P->Messages.clear();
  P->Answers = {false};
  test::Action(*F, "DeleteFiles1").trigger();
  EXPECT_EQ(P->Messages, QStringList{"Delete file c.png?"});
  EXPECT_TRUE(QFileInfo::exists(Dir + "/c.png"));
  P->Answers = {true};
  test::Action(*F, "DeleteFile1").trigger();
  EXPECT_EQ(Names(), QStringList({"b.png"}));
  EXPECT_EQ(F->SelectedFile(), Dir + "/b.png");
}

TEST_F(FileCommands, AttributesAndFolders) {
  ClickRow(1);
  WhenModal([this](QWidget* W) {
    auto* D = qobject_cast<TFileAttrForm*>(W);
    ASSERT_TRUE(D);
    EXPECT_EQ(test::Child<QLabel>(*D, "FileNameLabel").text(), "b.png");
    EXPECT_EQ(test::Child<QLabel>(*D, "PathLabel").text(), Dir);
    EXPECT_FALSE(test::Child<QCheckBox>(*D, "ArchiveCheck").isEnabled());
    EXPECT_FALSE(test::Child<QCheckBox>(*D, "ReadOnlyCheck").isChecked());
    test::Child<QCheckBox>(*D, "ReadOnlyCheck").setChecked(true);
    ClickOK(D);
  });
  test::Action(*F, "FileAttributes1").trigger();
  EXPECT_FALSE(QFileInfo(Dir + "/b.png").permissions() & QFile::WriteOwner);
  WhenModal([](QWidget* W) {
    auto* D = qobject_cast<TFileAttrForm*>(W);
    EXPECT_TRUE(test::Child<QCheckBox>(*D, "ReadOnlyCheck").isChecked());
    test::Child<QCheckBox>(*D, "HiddenCheck").setChecked(true);
    ClickOK(D);
  });
  test::Action(*F, "FileAttributes2").trigger();
  EXPECT_TRUE(QFileInfo::exists(Dir + "/.b.png"));
  EXPECT_EQ(Names(), QStringList({"a.png", "c.png"})); // hidden files are not listed

  WhenModal([this](QWidget* W) {
    auto* D = qobject_cast<TfDirAdd*>(W);
    ASSERT_TRUE(D);
    EXPECT_EQ(test::Child<QLabel>(*D, "CurrentDirLabel").text(), Dir + "/");
    EXPECT_TRUE(test::Child<QLineEdit>(*D, "NewFolderEdit").text().isEmpty());
    test::Child<QLineEdit>(*D, "NewFolderEdit").setText("Sub");
    ClickOK(D);
  });
  test::Action(*F, "AddFolder1").trigger();
  EXPECT_TRUE(QFileInfo(Dir + "/Sub").isDir());
  EXPECT_EQ(F->SelectedFolder(), Dir + "/Sub");

  test::WriteBytes(Dir + "/Sub/in.jpg", 10);
  P->Answers = {true};
  test::Action(*F, "DeleteFolder1").trigger();
  EXPECT_TRUE(QFileInfo::exists(Dir + "/Sub/in.jpg"));
  EXPECT_EQ(F->SelectedFolder(), Dir); // the nearest parent
  EXPECT_EQ(P->Messages, QStringList({"Delete folder " + Dir + "/Sub?",
                                      "Directory can't be deleted - there might be files in it!"}));
  QFile::remove(Dir + "/Sub/in.jpg");
  F->SetSelectedFolder(Dir + "/Sub");
  P->Answers = {true};
  test::Action(*F, "DeleteFolder1").trigger();
  EXPECT_FALSE(QFileInfo::exists(Dir + "/Sub"));
  EXPECT_EQ(F->SelectedFolder(), Dir);
  EXPECT_EQ(Names(), QStringList({"a.png", "c.png"}));
}

TEST_F(FileCommands, IncrementalRenameWindow) {
  ClickRow(0);
  ClickRow(2, Qt::ControlModifier);
  test::Action(*F, "IncrementalRename1").trigger();
  TfrmIncRename* W = F->IncRenameWindow();
  ASSERT_TRUE(W->isVisible());
  EXPECT_EQ(W->windowTitle(), "Incremental File Rename");
  EXPECT_EQ(W->Lines(), QStringList({Dir + "/a.png", Dir + "/c.png"}));
  // Only digits, at most five.
  test::Child<QLineEdit>(*W, "NumberEdit").clear();
  QTest::keyClicks(&test::Child<QLineEdit>(*W, "NumberEdit"), "0x98765");
  EXPECT_EQ(test::Child<QLineEdit>(*W, "NumberEdit").text(), "09876");
  test::Child<QLineEdit>(*W, "NumberEdit").clear();
  P->Answers = {true};
  QTest::mouseClick(&test::Child<QPushButton>(*W, "RenameButton"), Qt::LeftButton);
  EXPECT_EQ(P->Messages, QStringList{"The Number field must hold a number (digits 0 to 9)"});
  EXPECT_TRUE(QFileInfo::exists(Dir + "/a.png"));

  QTest::keyClicks(&test::Child<QLineEdit>(*W, "NumberEdit"), "098");
  test::Child<QLineEdit>(*W, "NewNameEdit").setText("Holiday");
  P->Messages.clear();
  QTest::mouseClick(&test::Child<QPushButton>(*W, "RenameButton"), Qt::LeftButton);
  EXPECT_EQ(P->Messages, QStringList{"Ready to rename 2 files.  Proceed?"});
  EXPECT_EQ(W->Lines(), QStringList({Dir + "/Holiday_098.png", Dir + "/Holiday_099.png"}));
  EXPECT_EQ(Names(), QStringList({"b.png", "Holiday_098.png", "Holiday_099.png"}));

  // The pop-up menu, and files dragged from the file list (pictures only).
  test::Child<QAction>(*W, "ClearAll1").trigger();
  EXPECT_TRUE(W->Lines().isEmpty());
  test::Child<QAction>(*W, "ImportCurrentDirectory1").trigger();
  EXPECT_EQ(W->Lines().size(), 3);
  test::Child<QListWidget>(*W, "FileListBox").item(0)->setSelected(true);
  test::Child<QAction>(*W, "DeleteSelected1").trigger();
  EXPECT_EQ(W->Lines().size(), 2);
  test::Child<QAction>(*W, "ClearAll1").trigger();
  std::unique_ptr<QMimeData> Data(
      MakeFileDragData({Dir + "/b.png", Dir + "/notes.txt"}, Dir, TDragSource::dsFileList));
  QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W, &Enter);
  EXPECT_TRUE(Enter.isAccepted());
  QDropEvent Drop(QPointF(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W, &Drop);
  EXPECT_EQ(W->Lines(), QStringList{Dir + "/b.png"});
  // Files from elsewhere are not taken.
  QMimeData Plain;
  Plain.setUrls({QUrl::fromLocalFile(Dir + "/a.png")});
  QDragEnterEvent OtherEnter(QPoint(5, 5), Qt::CopyAction, &Plain, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W, &OtherEnter);
  EXPECT_FALSE(OtherEnter.isAccepted());
  QDropEvent Other(QPointF(5, 5), Qt::CopyAction, &Plain, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W, &Other);
  EXPECT_EQ(W->Lines(), QStringList{Dir + "/b.png"});
}

TEST_F(FileCommands, FilesDroppedFromTheDesktopAreMovedIn) {
  const QString From = test::MakeFolder("filecmds-desktop");
  test::WritePicture(From + "/new.png", 8, 8);
  test::WritePicture(From + "/b.png", 8, 8);
  ClickRow(0);
  QMimeData Data;
  Data.setUrls({QUrl::fromLocalFile(From + "/new.png"), QUrl::fromLocalFile(From + "/b.png"),
                QUrl("sftp://host/x.png")});
  QDragEnterEvent Enter(QPoint(5, 5), Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(F.get(), &Enter);
  EXPECT_TRUE(Enter.isAccepted());
  QDropEvent Drop(QPointF(5, 5), Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(F.get(), &Drop);
  EXPECT_TRUE(QFileInfo::exists(Dir + "/new.png"));
  EXPECT_FALSE(QFileInfo::exists(From + "/new.png"));
  EXPECT_EQ(QImage(Dir + "/b.png").size(), QSize(20, 10));
  EXPECT_TRUE(QFileInfo::exists(From + "/b.png"));
  EXPECT_EQ(
      P->Messages,
      QStringList({"file " + Dir + "/b.png already exists. Select another directory before moving",
                   "Only local files can be moved here: sftp://host/x.png"}));
  EXPECT_EQ(Names(), QStringList({"a.png", "b.png", "c.png", "new.png"}));
  EXPECT_EQ(F->SelectedFile(), Dir + "/a.png");
  // The program's own lists are not desktop drops.
  std::unique_ptr<QMimeData> Own(MakeFileDragData({Dir + "/a.png"}, Dir, TDragSource::dsFileList));
  QDragEnterEvent OwnEnter(QPoint(5, 5), Qt::MoveAction, Own.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(F.get(), &OwnEnter);
  EXPECT_FALSE(OwnEnter.isAccepted());
}

TEST_F(FileCommands, CtrlZUndoesTheLastDeleteRenameOrMove) {
  FileUndo().Clear();
  QAction& Undo = test::Action(*F, "UndoFileOperation");
  EXPECT_FALSE(Undo.isEnabled());
  EXPECT_EQ(Undo.text(), "Undo");
  EXPECT_EQ(test::Child<QMenu>(*F, "EditMenu").actions().value(0), &Undo);
  QTreeView& List = test::Child<QTreeView>(*F, "ListView1");

  // Del, then ctrl+Z: the file is back from the trash and listed.
  ClickRow(0);
  P->Answers = {true};
  test::Key(&List, Qt::Key_Delete);
  ASSERT_EQ(Names(), QStringList({"b.png", "c.png"}));
  EXPECT_EQ(Undo.text(), "Undo Delete");
  test::Key(&List, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Names(), QStringList({"a.png", "b.png", "c.png"}));
  EXPECT_EQ(QImage(Dir + "/a.png").size(), QSize(20, 10));
  EXPECT_FALSE(Undo.isEnabled());

  // F2, then ctrl+Z in the folder tree: the old name again.
  ClickRow(1);
  WhenModal([](QWidget* W) {
    test::Child<QLineEdit>(*qobject_cast<TfRename*>(W), "NewNameEdit").setText("y.png");
    ClickOK(W);
  });
  test::Key(&List, Qt::Key_F2);
  ASSERT_TRUE(QFileInfo::exists(Dir + "/y.png"));
  EXPECT_EQ(Undo.text(), "Undo Rename");
  test::Key(&test::Child<QWidget>(*F, "ShellTreeView1"), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(QFileInfo::exists(Dir + "/b.png"));
  EXPECT_FALSE(QFileInfo::exists(Dir + "/y.png"));
  EXPECT_TRUE(Names().contains("b.png"));

  // A file dropped from the desktop is moved in; its old name taken meanwhile, the undo refuses.
  const QString Outside = test::MakeFolder("filecmds-outside");
  test::WritePicture(Outside + "/d.png", 7, 7);
  F->DropUrls({QUrl::fromLocalFile(Outside + "/d.png")});
  ASSERT_TRUE(QFileInfo::exists(Dir + "/d.png"));
  EXPECT_EQ(Undo.text(), "Undo Move");
  test::WritePicture(Outside + "/d.png", 3, 3);
  P->Messages.clear();
  Undo.trigger();
  EXPECT_EQ(P->Messages, QStringList({"Cannot undo: " + Outside + "/d.png already exists"}));
  EXPECT_EQ(QImage(Dir + "/d.png").size(), QSize(7, 7));
  EXPECT_EQ(QImage(Outside + "/d.png").size(), QSize(3, 3));
  EXPECT_TRUE(Names().contains("d.png"));
}
