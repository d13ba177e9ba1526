// Undoing the last file operation on real files: the trash gives files back under their names,
// renames and moves go back, and nothing is ever put over a file that took a name meanwhile.
#include "platform/filenames.h"
#include "platform/fileundo.h"
#include "tests/browser/browsertest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

inline void PrintTo(const QString& S, std::ostream* O) {
  *O << '"' << S.toStdString() << '"';
}

using namespace orbisk;
using namespace orbisk::test;

namespace {

class FileUndoTest : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* Info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = MakeFolder(QString("fileundo-") + Info->name());
    Trash = TestHome() + "/data/Trash";
    // By bytes: Qt's removal leaves names it cannot convert (another test's entries).
    std::filesystem::remove_all(EncodeFileName(Trash).toStdString());
    FileOpSeams() = TFileOpSeams();
    FileUndo().Clear();
  }
  void TearDown() override { FileUndo().Clear(); }
  QString Path(const QString& Name) const { return Dir + "/" + Name; }
  QStringList TrashFiles() const { return QDir(Trash + "/files").entryList(QDir::Files); }
  QStringList TrashInfos() const { return QDir(Trash + "/info").entryList(QDir::Files); }
  QString Dir, Trash;
  TPromptScope P;
};

} // namespace

TEST_F(FileUndoTest, TrashUndoRestoresNamesAndContents) {
  EXPECT_EQ(FileUndo().Caption(), "Undo");
  EXPECT_FALSE(UndoFileOperation());
  // An older file of the same name already lies in the trash: ours goes in beside it.
  WriteData(Path("a.jpg"), "older");
  ASSERT_TRUE(TrashFile(Path("a.jpg")));
  WriteData(Path("a.jpg"), "aaa");
  WriteData(Path("b c.png"), "bbbb");
  EXPECT_EQ(DeleteFiles({Path("a.jpg"), Path("b c.png")}, TDeleteMode::dmTrash).size(), 2);
  EXPECT_EQ(FileUndo().Caption(), "Undo Delete");
  EXPECT_EQ(TrashFiles().size(), 3);
  EXPECT_FALSE(QFileInfo::exists(Path("a.jpg")));

  EXPECT_TRUE(UndoFileOperation());
  EXPECT_EQ(ReadData(Path("a.jpg")), "aaa");
  EXPECT_EQ(ReadData(Path("b c.png")), "bbbb");
  // Only the older file stays in the trash, with its own info.
  EXPECT_EQ(TrashFiles(), QStringList({"a.jpg"}));
  EXPECT_EQ(TrashInfos(), QStringList({"a.jpg.trashinfo"}));
  EXPECT_EQ(ReadData(Trash + "/files/a.jpg"), "older");
  EXPECT_FALSE(FileUndo().CanUndo());
  EXPECT_EQ(FileUndo().Caption(), "Undo");
  EXPECT_TRUE(P->Messages.isEmpty());
  // Permanent deletions cannot be undone and leave the record alone.
  DeleteFiles({Path("a.jpg")}, TDeleteMode::dmPermanent);
  EXPECT_FALSE(FileUndo().CanUndo());
}

// A name that is not UTF-8 goes to the trash and comes back under its own bytes, and its info
// goes with it.
TEST_F(FileUndoTest, TrashUndoKeepsANameThatIsNotUtf8) {
  const QByteArray Name = EncodeFileName(Dir) + "/caf\xE9.jpg";
  {
    const int Fd = open(Name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(Fd, 0);
    ASSERT_EQ(write(Fd, "latin", 5), 5);
    close(Fd);
  }
  const QString Shown = DecodeFileName(Name);
  ASSERT_EQ(DeleteFiles({Shown}, TDeleteMode::dmTrash).size(), 1);
  struct stat St;
  ASSERT_NE(lstat(Name.constData(), &St), 0);
  // Counted by bytes: Qt's listing drops names it cannot convert.
  const auto Count = [&](const char* Sub) {
    const std::filesystem::path Folder((EncodeFileName(Trash) + Sub).toStdString());
    return std::distance(std::filesystem::directory_iterator(Folder),
                         std::filesystem::directory_iterator());
  };
  EXPECT_EQ(Count("/info"), 1);
  EXPECT_TRUE(UndoFileOperation()) << P->Messages.join("|").toStdString();
  EXPECT_EQ(lstat(Name.constData(), &St), 0);
  EXPECT_EQ(St.st_size, 5);
  EXPECT_EQ(Count("/files"), 0);
  EXPECT_EQ(Count("/info"), 0);
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("|").toStdString();
}

TEST_F(FileUndoTest, TrashUndoNeverReplacesAFileThatTookTheName) {
  WriteData(Path("a.jpg"), "aaa");
  WriteData(Path("b.jpg"), "bbb");
  DeleteFiles({Path("a.jpg"), Path("b.jpg")}, TDeleteMode::dmTrash);
  WriteData(Path("b.jpg"), "new");
  EXPECT_FALSE(UndoFileOperation());
  EXPECT_EQ(P->Messages, QStringList({"Cannot undo: " + Path("b.jpg") + " already exists"}));
  // Nothing changed: not even the file whose name is free came back.
  EXPECT_EQ(ReadData(Path("b.jpg")), "new");
  EXPECT_FALSE(QFileInfo::exists(Path("a.jpg")));
  EXPECT_EQ(TrashFiles().size(), 2);
  EXPECT_TRUE(FileUndo().CanUndo());
  // Once the name is free again the undo goes through.
  QFile::remove(Path("b.jpg"));
  EXPECT_TRUE(UndoFileOperation());
  EXPECT_EQ(ReadData(Path("a.jpg")), "aaa");
  EXPECT_EQ(ReadData(Path("b.jpg")), "bbb");
  EXPECT_TRUE(TrashInfos().isEmpty());
}

TEST_F(FileUndoTest, AnEmptiedTrashIsNotTakenForTheDeletedFiles) {
  WriteData(Path("a.jpg"), "ours");
  DeleteFiles({Path("a.jpg")}, TDeleteMode::dmTrash);
  // The trash is emptied, and another folder's a.jpg goes there under the same name.
  QDir(Trash).removeRecursively();
  const QString Other = MakeFolder("fileundo-other") + "/a.jpg";
  WriteData(Other, "theirs");
  ASSERT_TRUE(TrashFile(Other));
  ASSERT_EQ(TrashFiles(), QStringList({"a.jpg"}));
  EXPECT_FALSE(UndoFileOperation());
  EXPECT_EQ(P->Messages,
            QStringList({"Cannot undo: " + Path("a.jpg") + " is no longer in the trash"}));
  EXPECT_FALSE(QFileInfo::exists(Path("a.jpg")));
  EXPECT_EQ(ReadData(Trash + "/files/a.jpg"), "theirs");
  EXPECT_EQ(TrashInfos(), QStringList({"a.jpg.trashinfo"}));
}

TEST_F(FileUndoTest, RenamesGoBack) {
  WriteData(Path("a.jpg"), "aaa");
  ASSERT_TRUE(RenameFileCommand(Dir, "a.jpg", "b.jpg"));
  EXPECT_EQ(FileUndo().Caption(), "Undo Rename");
  EXPECT_TRUE(UndoFileOperation());
  EXPECT_EQ(ReadData(Path("a.jpg")), "aaa");
  EXPECT_FALSE(QFileInfo::exists(Path("b.jpg")));

  // A numbered rename goes back as a whole.
  WriteData(Path("c.png"), "ccc");
  QStringList Lines = {Path("a.jpg"), Path("c.png")};
  P->Answers = {true};
  ASSERT_TRUE(IncrementalRename(Lines, "trip", "7", nullptr));
  EXPECT_EQ(Lines, QStringList({Path("trip_7.jpg"), Path("trip_8.png")}));
  EXPECT_TRUE(UndoFileOperation());
  EXPECT_EQ(ReadData(Path("a.jpg")), "aaa");
  EXPECT_EQ(ReadData(Path("c.png")), "ccc");
  EXPECT_EQ(QDir(Dir).entryList(QDir::Files), QStringList({"a.jpg", "c.png"}));

  // A renamed file that is gone is reported and nothing else happens.
  ASSERT_TRUE(RenameFileCommand(Dir, "a.jpg", "d.jpg"));
  QFile::remove(Path("d.jpg"));
  P->Messages.clear();
  EXPECT_FALSE(UndoFileOperation());
  EXPECT_EQ(P->Messages, QStringList({"Cannot undo: " + Path("d.jpg") + " is no longer there"}));
}

TEST_F(FileUndoTest, AMoveUndoOntoATakenNameRefusesAndChangesNothing) {
  const QString Src = MakeFolder("fileundo-src"), Dst = MakeFolder("fileundo-dst");
  WriteData(Src + "/a.jpg", "aaa");
  WriteData(Src + "/b.jpg", "bbb");
  WriteData(Dst + "/a.jpg", "there"); // the move auto-renames onto a1.jpg
  TTransferRequest R;
  R.Names = {"a.jpg", "b.jpg"};
  R.SourceFolder = Src;
  R.DestinationFolder = Dst;
  ASSERT_EQ(TransferFiles(R).Done, 2);
  EXPECT_EQ(FileUndo().Caption(), "Undo Move");
  // A copy is not an operation to undo: the move stays the last one.
  R.Move = false;
  R.SourceFolder = Dst;
  R.DestinationFolder = Src;
  WriteData(Dst + "/c.jpg", "ccc");
  R.Names = {"c.jpg"};
  ASSERT_EQ(TransferFiles(R).Done, 1);
  EXPECT_EQ(FileUndo().Caption(), "Undo Move");

  WriteData(Src + "/b.jpg", "taken");
  EXPECT_FALSE(UndoFileOperation());
  EXPECT_EQ(P->Messages, QStringList({"Cannot undo: " + Src + "/b.jpg already exists"}));
  EXPECT_EQ(ReadData(Src + "/b.jpg"), "taken");
  EXPECT_FALSE(QFileInfo::exists(Src + "/a.jpg"));
  EXPECT_EQ(ReadData(Dst + "/a1.jpg"), "aaa");
  EXPECT_EQ(ReadData(Dst + "/b.jpg"), "bbb");

  QFile::remove(Src + "/b.jpg");
  EXPECT_TRUE(UndoFileOperation());
  EXPECT_EQ(ReadData(Src + "/a.jpg"), "aaa");
  EXPECT_EQ(ReadData(Src + "/b.jpg"), "bbb");
  EXPECT_EQ(QDir(Dst).entryList(QDir::Files), QStringList({"a.jpg", "c.jpg"}));
  EXPECT_FALSE(FileUndo().CanUndo());
}
