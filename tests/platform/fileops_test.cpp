// File operations on real files in temporary folders: deleting, renaming, numbered renames,
// attributes, folders, moving and copying (in groups with one sync), drops, and the faults that
// must never lose a file.
#include "platform/fileops.h"
#include "engine/safefile.h"
#include "platform/filenames.h"
#include "tests/browser/browsertest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Readable texts in failure messages.
inline void PrintTo(const QString& S, std::ostream* O) {
  *O << '"' << S.toStdString() << '"';
}

using namespace orbisk;
using namespace orbisk::test;

namespace {

void Write(const QString& Path, const QByteArray& Data) {
  WriteData(Path, Data);
}

QStringList Entries(const QString& Folder) {
  return QDir(Folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class FileOps : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* Info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = MakeFolder(QString("fileops-") + Info->name());
    FileOpSeams() = TFileOpSeams();
  }
  void TearDown() override { FileOpSeams() = TFileOpSeams(); }
  QString Path(const QString& Name) const { return Dir + "/" + Name; }
  QString Dir;
  TPromptScope P;
};

} // namespace

TEST(FileOpsModel, NeighbourAfterDelete) {
  EXPECT_EQ(NeighbourAfterDelete({0}, 3), 1);    // first of three: the second
  EXPECT_EQ(NeighbourAfterDelete({2}, 3), 1);    // last: the one before
  EXPECT_EQ(NeighbourAfterDelete({1, 3}, 5), 0); // before the first selected
  EXPECT_EQ(NeighbourAfterDelete({0, 1, 3}, 5), 2);
  EXPECT_EQ(NeighbourAfterDelete({0, 1, 2}, 3), -1);
  EXPECT_EQ(NeighbourAfterDelete({}, 3), -1);
  EXPECT_EQ(DeleteModeFromSetting(1), TDeleteMode::dmPermanent);
  EXPECT_EQ(DeleteModeFromSetting(0), TDeleteMode::dmTrash);
  EXPECT_EQ(DeleteModeFromSetting(2), TDeleteMode::dmTrash);
}

TEST_F(FileOps, DeleteAsksAndUsesTheTrashOrDeletesForGood) {
  EXPECT_FALSE(ConfirmDeleteFiles({}, true));
  EXPECT_FALSE(ConfirmDeleteFiles({"a.jpg"}, true)); // No
  P->Answers = {true};
  EXPECT_TRUE(ConfirmDeleteFiles({"a.jpg", "b.jpg"}, true));
  EXPECT_TRUE(ConfirmDeleteFiles({"a.jpg"}, false)); // no question at all
  EXPECT_EQ(P->Messages, QStringList({"You need to click on a file name first",
                                      "Delete file a.jpg?", "Delete selected files?"}));

  Write(Path("a.jpg"), "aaa");
  Write(Path("b.jpg"), "bbb");
  QSignalSpy Changed(&FileEvents(), &TFileEvents::FolderChanged);
  QStringList Status;
  const QStringList Gone =
      DeleteFiles({Path("a.jpg")}, TDeleteMode::dmTrash, [&](const QString& S) { Status << S; });
  EXPECT_EQ(Gone, QStringList{Path("a.jpg")});
  EXPECT_EQ(Status, QStringList{"Deleting " + Path("a.jpg")});
  EXPECT_FALSE(QFileInfo::exists(Path("a.jpg")));
  // The private trash holds the file and the info file naming where it came from.
  const QString Trash = TestHome() + "/data/Trash";
  EXPECT_EQ(ReadData(Trash + "/files/a.jpg"), "aaa");
  const QByteArray Info = ReadData(Trash + "/info/a.jpg.trashinfo");
  EXPECT_TRUE(Info.contains("[Trash Info]")) << Info.constData();
  EXPECT_TRUE(Info.contains("Path=" + QUrl::toPercentEncoding(Path("a.jpg"), "/")))
      << Info.constData();
  EXPECT_TRUE(Info.contains("DeletionDate="));
  ASSERT_EQ(Changed.size(), 1);
  EXPECT_EQ(Changed[0][0].toString(), Dir);

  DeleteFiles({Path("b.jpg"), Path("gone.jpg")}, TDeleteMode::dmPermanent);
  EXPECT_FALSE(QFileInfo::exists(Path("b.jpg")));
  EXPECT_FALSE(QFileInfo::exists(Trash + "/files/b.jpg"));
  EXPECT_EQ(P->Messages.size(), 3); // a failed permanent deletion is silent
}

namespace {

// The Path= value of an info file, percent-decoded to the bytes it names.
QByteArray TrashInfoPath(const QByteArray& Info) {
  for (const QByteArray& Line : Info.split('\n'))
    if (Line.startsWith("Path=")) return QByteArray::fromPercentEncoding(Line.mid(5));
  return "<none>";
}

// Reads and writes through the system's byte names (QFile would change bytes that are not UTF-8).
void WriteRaw(const QByteArray& Path, const QByteArray& Data) {
  const int F = ::open(Path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(F, 0) << Path.constData();
  ASSERT_EQ(::write(F, Data.constData(), size_t(Data.size())), Data.size());
  ::close(F);
}

QByteArray ReadRaw(const QByteArray& Path) {
  const int F = ::open(Path.constData(), O_RDONLY);
  if (F < 0) return "<missing>";
  char Buf[4096];
  const ssize_t N = ::read(F, Buf, sizeof Buf);
  ::close(F);
  return QByteArray(Buf, N < 0 ? 0 : int(N));
}

bool ExistsRaw(const QByteArray& Path) {
  struct stat St;
  return lstat(Path.constData(), &St) == 0;
}

QByteArray TrashInfoPathLine(const QByteArray& Info) {
  for (const QByteArray& Line : Info.split('\n'))
    if (Line.startsWith("Path=")) return Line;
  return "<none>";
}

} // namespace

TEST_F(FileOps, TrashKeepsTheBytesOfNamesThatAreNotUtf8) {
  const QByteArray Folder = EncodeFileName(Dir);
  const QByteArray A = "lat\xe9.jpg", B = "lat\xe8.jpg", C = "100% sure #1?.jpg";
  for (const QByteArray& N : {A, B, C})
    WriteRaw(Folder + "/" + N, "bytes of " + N);
  // Relative paths from the current folder work as well as absolute ones.
  const QString Old = QDir::currentPath();
  ASSERT_EQ(chdir(Folder.constData()), 0);
  const bool TrashedA = TrashFile(DecodeFileName(A));
  const bool TrashedB = TrashFile(DecodeFileName("./" + B));
  ASSERT_EQ(chdir(QFile::encodeName(Old).constData()), 0);
  ASSERT_TRUE(TrashedA);
  ASSERT_TRUE(TrashedB);
  ASSERT_TRUE(TrashFile(DecodeFileName(Folder + "/" + C)));

  const QByteArray Trash = EncodeFileName(TestHome() + "/data/Trash");
  for (const QByteArray& N : {A, B, C}) {
    EXPECT_FALSE(ExistsRaw(Folder + "/" + N));
    EXPECT_EQ(ReadRaw(Trash + "/files/" + N), "bytes of " + N);
    const QByteArray Info = ReadRaw(Trash + "/info/" + N + ".trashinfo");
    // Read back as the trash's rules say: the percent-decoded Path is the original's bytes, and
    // the line itself is plain ASCII.
    EXPECT_EQ(TrashInfoPath(Info), Folder + "/" + N) << Info.constData();
    for (const char Ch : TrashInfoPathLine(Info))
      EXPECT_TRUE(Ch > ' ' && Ch < 127) << Info.constData();
  }

  // GLib's own trash writes the same Path for the same file.
  if (!QStandardPaths::findExecutable("gio").isEmpty()) {
    const QString Twin = MakeFolder("fileops-trash-gio");
    WriteRaw(Folder + "/" + A, "twin");
    QProcess Gio;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert("XDG_DATA_HOME", Twin);
    Gio.setProcessEnvironment(Env);
    // The name's byte goes through printf: program arguments from Qt are UTF-8 text.
    Gio.setWorkingDirectory(Dir);
    Gio.setProgram("sh");
    Gio.setArguments({"-c", "exec gio trash \"$(printf 'lat\\351.jpg')\""});
    Gio.start();
    ASSERT_TRUE(Gio.waitForFinished(20000));
    const QByteArray GioInfo = ReadRaw(EncodeFileName(Twin) + "/Trash/info/" + A + ".trashinfo");
    const QByteArray Ours = ReadRaw(Trash + "/info/" + A + ".trashinfo");
    if (Gio.exitCode() == 0 && GioInfo != "<missing>")
      EXPECT_EQ(TrashInfoPathLine(Ours), TrashInfoPathLine(GioInfo));
    else
      std::printf("gio could not trash the twin file: compared by the trash rules only\n");
  }
}

TEST_F(FileOps, TrashThatCannotTakeAFileNeverDeletesIt) {
  Write(Path("keep.jpg"), "keep");
  Write(Path("next.jpg"), "next");
  // A trash that cannot be made: XDG_DATA_HOME names a plain file.
  const QByteArray OldData = qgetenv("XDG_DATA_HOME");
  Write(Path("not-a-folder"), "x");
  qputenv("XDG_DATA_HOME", QFile::encodeName(Path("not-a-folder")));
  const QStringList Gone = DeleteFiles({Path("keep.jpg")}, TDeleteMode::dmTrash);
  qputenv("XDG_DATA_HOME", OldData);
  EXPECT_TRUE(Gone.isEmpty());
  EXPECT_EQ(ReadData(Path("keep.jpg")), "keep");
  // A refused file is reported and the next one still goes.
  FileOpSeams().Trash = [&](const QString& F) {
    return F.endsWith("next.jpg") && QFile::moveToTrash(F);
  };
  DeleteFiles({Path("keep.jpg"), Path("next.jpg")}, TDeleteMode::dmTrash);
  EXPECT_EQ(ReadData(Path("keep.jpg")), "keep");
  EXPECT_FALSE(QFileInfo::exists(Path("next.jpg")));
  EXPECT_EQ(P->Messages, QStringList({"Error moving " + Path("keep.jpg") + " to recycle bin",
                                      "Error moving " + Path("keep.jpg") + " to recycle bin"}));
}

TEST_F(FileOps, RenameNeverReplacesAnExistingFile) {
  Write(Path("a.jpg"), "first");
  Write(Path("b.jpg"), "second");
  EXPECT_FALSE(RenameFileCommand(Dir, "a.jpg", "b.jpg"));
  EXPECT_EQ(ReadData(Path("a.jpg")), "first");
  EXPECT_EQ(ReadData(Path("b.jpg")), "second");
  EXPECT_FALSE(RenameFileCommand(Dir, "a.jpg", "sub/c.jpg"));
  EXPECT_FALSE(RenameFileCommand(Dir, "a.jpg", ""));
  EXPECT_FALSE(RenameFileCommand(Dir, "missing.jpg", "d.jpg"));
  EXPECT_EQ(P->Messages, QStringList(4, "Error changing name"));
  EXPECT_TRUE(RenameFileCommand(Dir + "/", "a.jpg", "c.jpg"));
  EXPECT_EQ(Entries(Dir), QStringList({"b.jpg", "c.jpg"}));
  EXPECT_THROW(RenameNoReplaceFile(Path("c.jpg"), Path("b.jpg"), "x"), EFileOpTargetExists);
}

TEST(FileOpsModel, IncrementalRenameNamesAndFilters) {
  EXPECT_EQ(IncRenameTarget("/p/a.jpg", "Holiday", 98, 3), "/p/Holiday_098.jpg");
  EXPECT_EQ(IncRenameTarget("/p/b.x.png", "Holiday", 100, 3), "/p/Holiday_100.png");
  EXPECT_EQ(IncRenameTarget("/p/noext", "N", 7, 1), "/p/N_7");
  EXPECT_EQ(FormatRunningNumber(12345, 3), "12345");
  EXPECT_TRUE(IncRenameAccepts("/p/a.jpg"));
  EXPECT_TRUE(IncRenameAccepts("/p/A.Tif"));
  EXPECT_FALSE(IncRenameAccepts("/p/a.jp"));
  EXPECT_FALSE(IncRenameAccepts("/p/a.jpeg"));
  EXPECT_FALSE(IncRenameAccepts("/p/readme"));
  EXPECT_TRUE(IncRenameNumberError("001").isEmpty());
  for (const char* Bad : {"", "1a", " 1", "-1", "123456"})
    EXPECT_FALSE(IncRenameNumberError(Bad).isEmpty()) << Bad;
}

TEST_F(FileOps, IncrementalRenameNumbersEveryLineAndKeepsExistingFiles) {
  for (const char* N : {"a.jpg", "b.png", "c.gif", "d.jpg"})
    Write(Path(N), N);
  Write(Path("Holiday_099.png"), "already there");
  QStringList Lines = {Path("a.jpg"), Path("b.png"), Path("c.gif")};
  P->Answers = {true};
  ASSERT_TRUE(IncrementalRename(Lines, "Holiday", "098"));
  EXPECT_EQ(P->Messages, QStringList{"Ready to rename 3 files.  Proceed?"});
  EXPECT_EQ(Lines, QStringList({Path("Holiday_098.jpg"), "ERROR * " + Path("b.png"),
                                Path("Holiday_100.gif")}));
  EXPECT_EQ(ReadData(Path("Holiday_099.png")), "already there");
  EXPECT_EQ(ReadData(Path("b.png")), "b.png");
  EXPECT_EQ(ReadData(Path("Holiday_100.gif")), "c.gif");

  QStringList Nine = {Path("Holiday_098.jpg"), Path("d.jpg"), Path("Holiday_100.gif")};
  P->Answers = {true};
  ASSERT_TRUE(IncrementalRename(Nine, "X", "9"));
  EXPECT_EQ(Nine, QStringList({Path("X_9.jpg"), Path("X_10.jpg"), Path("X_11.gif")}));

  // A number that is not one renames nothing; No renames nothing.
  P->Messages.clear();
  QStringList Untouched = {Path("b.png")};
  for (const char* Bad : {"", "x1"})
    EXPECT_FALSE(IncrementalRename(Untouched, "Y", Bad));
  EXPECT_FALSE(IncrementalRename(Untouched, "Y", "1"));
  EXPECT_EQ(Untouched, QStringList{Path("b.png")});
  EXPECT_EQ(P->Messages.size(), 3);
  EXPECT_EQ(P->Messages[0], "The Number field must hold a number (digits 0 to 9)");
  EXPECT_TRUE(QFileInfo::exists(Path("b.png")));
}

TEST_F(FileOps, AttributesRoundTrip) {
  Write(Path("pic.jpg"), "pic");
  TFileAttributes A = ReadFileAttributes(Path("pic.jpg"));
  EXPECT_FALSE(A.ReadOnly);
  EXPECT_FALSE(A.Hidden);
  A.ReadOnly = true;
  EXPECT_EQ(WriteFileAttributes(Path("pic.jpg"), A), Path("pic.jpg"));
  EXPECT_FALSE(QFileInfo(Path("pic.jpg")).permissions() & QFile::WriteOwner);
  A.Hidden = true;
  EXPECT_EQ(WriteFileAttributes(Path("pic.jpg"), A), Path(".pic.jpg"));
  EXPECT_TRUE(ReadFileAttributes(Path(".pic.jpg")).ReadOnly);
  EXPECT_TRUE(ReadFileAttributes(Path(".pic.jpg")).Hidden);
  A = TFileAttributes();
  EXPECT_EQ(WriteFileAttributes(Path(".pic.jpg"), A), Path("pic.jpg"));
  EXPECT_EQ(ReadFileAttributes(Path("pic.jpg")), TFileAttributes());
  EXPECT_EQ(ReadData(Path("pic.jpg")), "pic");
  // Hiding onto an existing hidden name changes nothing.
  Write(Path(".pic.jpg"), "other");
  A.Hidden = true;
  EXPECT_THROW(WriteFileAttributes(Path("pic.jpg"), A), EFileOp);
  EXPECT_EQ(ReadData(Path("pic.jpg")), "pic");
  EXPECT_EQ(ReadData(Path(".pic.jpg")), "other");
}

TEST_F(FileOps, FoldersAreAddedAndOnlyEmptyOnesRemoved) {
  EXPECT_EQ(AddFolderCommand(Dir, "New"), Path("New"));
  EXPECT_TRUE(QFileInfo(Path("New")).isDir());
  EXPECT_TRUE(AddFolderCommand(Dir, "New").isEmpty());
  EXPECT_TRUE(AddFolderCommand(Dir, "").isEmpty());
  Write(Path("New/inside.jpg"), "x");
  int Before = 0;
  P->Answers = {false, true, true};
  EXPECT_EQ(DeleteFolderCommand(Path("New"), [&] { ++Before; }), TDeleteFolderResult::dfCancelled);
  EXPECT_EQ(DeleteFolderCommand(Path("New"), [&] { ++Before; }), TDeleteFolderResult::dfFailed);
  EXPECT_EQ(ReadData(Path("New/inside.jpg")), "x");
  QFile::remove(Path("New/inside.jpg"));
  EXPECT_EQ(DeleteFolderCommand(Path("New"), [&] { ++Before; }), TDeleteFolderResult::dfDeleted);
  EXPECT_EQ(Before, 2);
  EXPECT_FALSE(QFileInfo::exists(Path("New")));
  EXPECT_EQ(NearestExistingFolder(Path("New/deeper")), Dir);
  EXPECT_EQ(
      P->Messages,
      QStringList({"Cannot create directory " + Path("New"), "Cannot create directory " + Dir + "/",
                   "Delete folder " + Path("New") + "?", "Delete folder " + Path("New") + "?",
                   "Directory can't be deleted - there might be files in it!",
                   "Delete folder " + Path("New") + "?"}));
}

TEST_F(FileOps, TransferAutoRenamesAndReports) {
  const QString Src = MakeFolder("fileops-transfer-src"), Dst = Path("");
  Write(Src + "/photo.jpg", "new photo");
  Write(Src + "/empty.jpg", "");
  Write(Dst + "photo.jpg", "old photo");
  EXPECT_EQ(AutoRenameTarget(Dir, "photo.jpg"), Path("photo1.jpg"));
  Write(Dst + "photo1.jpg", "older photo");
  EXPECT_EQ(AutoRenameTarget(Dir, "photo.jpg"), Path("photo11.jpg"));
  EXPECT_EQ(AutoRenameTarget(Dir, "a.b.jpg"), Path("a.b.jpg"));

  QStringList Status;
  QList<int> Done;
  TTransferRequest R{{"photo.jpg", "empty.jpg", "missing.jpg"},
                     Src,
                     Dir,
                     false,
                     true,
                     [&](const QString& S) { Status << S; },
                     [&](int I) { Done << I; },
                     {}};
  TTransferResult Res = TransferFiles(R);
  EXPECT_EQ(Res.Done, 1);
  EXPECT_EQ(Res.LastDestinationName, "photo11.jpg");
  EXPECT_EQ(Status, QStringList({"File 1 of 3", "File 2 of 3", "File 3 of 3", ""}));
  EXPECT_EQ(Done, QList<int>({0, 1, 2}));
  EXPECT_EQ(ReadData(Path("photo11.jpg")), "new photo");
  EXPECT_EQ(ReadData(Src + "/photo.jpg"), "new photo"); // a copy keeps its source
  EXPECT_EQ(
      P->Messages,
      QStringList({Src + "/empty.jpg has a size of zero. This may be because it is not yet closed.",
                   "error moving file " + Src + "/missing.jpg"}));

  // Without auto-rename an existing destination is left alone; a move takes the file away.
  P->Messages.clear();
  Write(Src + "/fresh.jpg", "fresh");
  R = {{"photo.jpg", "fresh.jpg"}, Src, Dir, true, false, {}, {}, {}};
  Res = TransferFiles(R);
  EXPECT_EQ(Res.LastDestinationName, "fresh.jpg");
  EXPECT_EQ(P->Messages, QStringList{"file " + Path("photo.jpg") +
                                     " already exists. Select another directory before moving"});
  EXPECT_EQ(ReadData(Path("photo.jpg")), "old photo");
  EXPECT_EQ(ReadData(Src + "/photo.jpg"), "new photo");
  EXPECT_EQ(ReadData(Path("fresh.jpg")), "fresh");
  EXPECT_FALSE(QFileInfo::exists(Src + "/fresh.jpg"));
}

TEST_F(FileOps, MoveWhoseTargetAppearsMeanwhileKeepsBoth) {
  Write(Path("a.jpg"), "mine");
  const QString Other = MakeFolder("fileops-race-dest");
  FileOpSeams().BeforeMoveHook = [&](const QString& D) {
    if (!QFileInfo::exists(D)) Write(D, "theirs");
  };
  TTransferRequest R{{"a.jpg"}, Dir, Other, true, true, {}, {}, {}};
  EXPECT_EQ(TransferFiles(R).Done, 0);
  EXPECT_EQ(P->Messages, QStringList{"error moving file " + Path("a.jpg")});
  EXPECT_EQ(ReadData(Path("a.jpg")), "mine");
  EXPECT_EQ(ReadData(Other + "/a.jpg"), "theirs");
  // The same for a copy, whose finished temporary file must not replace it either.
  QFile::remove(Other + "/a.jpg");
  EXPECT_THROW(CopyFile(Path("a.jpg"), Other + "/a.jpg"), EFileOpTargetExists);
  EXPECT_EQ(ReadData(Other + "/a.jpg"), "theirs");
  EXPECT_EQ(Entries(Other), QStringList{"a.jpg"});
}

TEST_F(FileOps, FailedCopyLeavesTheSourceAndNoPartialFile) {
  QByteArray Data(3 << 20, 'p');
  for (int I = 0; I < Data.size(); I += 4096)
    Data[I] = char(I / 4096);
  Write(Path("big.jpg"), Data);
  const QString Other = MakeFolder("fileops-full-dest");
  for (int N : {1, 2}) {
    FileOpSeams().FailWriteNumber = N;
    EXPECT_THROW(CopyFile(Path("big.jpg"), Other + "/big.jpg"), EFileOp);
    EXPECT_TRUE(Entries(Other).isEmpty()) << Entries(Other).join(",").toStdString();
  }
  // A move across file systems that fails keeps its source as well.
  const QString Shm = QDir::tempPath() == "/dev/shm"
                          ? QString()
                          : "/dev/shm/orbisk-fileops-" + QString::number(getpid());
  if (!Shm.isEmpty() && QDir().mkpath(Shm)) {
    FileOpSeams().FailWriteNumber = 1;
    TTransferRequest R{{"big.jpg"}, Dir, Shm, true, true, {}, {}, {}};
    EXPECT_EQ(TransferFiles(R).Done, 0);
    EXPECT_EQ(ReadData(Path("big.jpg")), Data);
    EXPECT_TRUE(Entries(Shm).isEmpty());
    // Without the fault the move copies, checks and removes the source, keeping the time.
    const QDateTime Time = QFileInfo(Path("big.jpg")).lastModified();
    EXPECT_EQ(TransferFiles(R).Done, 1);
    EXPECT_FALSE(QFileInfo::exists(Path("big.jpg")));
    EXPECT_EQ(ReadData(Shm + "/big.jpg"), Data);
    EXPECT_EQ(QFileInfo(Shm + "/big.jpg").lastModified(), Time);
    // A read-only file is not moved across.
    Write(Shm + "/ro.jpg", "ro");
    QFile::setPermissions(Shm + "/ro.jpg", QFile::ReadOwner);
    EXPECT_THROW(MoveFile(Shm + "/ro.jpg", Path("ro.jpg")), EFileOp);
    EXPECT_EQ(ReadData(Shm + "/ro.jpg"), "ro");
    EXPECT_FALSE(QFileInfo::exists(Path("ro.jpg")));
    QDir(Shm).removeRecursively();
  }
  // A real full disk where a small file system can be mounted (root only).
  const QString Small = MakeFolder("fileops-tmpfs");
  if (mount("tmpfs", QFile::encodeName(Small).constData(), "tmpfs", 0, "size=1m") == 0) {
    FileOpSeams().FailWriteNumber = 0;
    Write(Path("big3.jpg"), Data);
    EXPECT_THROW(CopyFile(Path("big3.jpg"), Small + "/big.jpg"), EFileOp);
    EXPECT_THROW(MoveFile(Path("big3.jpg"), Small + "/big3.jpg"), EFileOp);
    EXPECT_EQ(ReadData(Path("big3.jpg")), Data);
    EXPECT_TRUE(Entries(Small).isEmpty());
    umount(QFile::encodeName(Small).constData());
  } else {
    std::printf("no tmpfs could be mounted: the full disk is covered by the write fault only\n");
  }
}

TEST_F(FileOps, SymbolicLinkMovedToAnotherFileSystemStaysALink) {
  const QString Shm = "/dev/shm/orbisk-fileops-link-" + QString::number(getpid());
  struct stat Here, There;
  if (!QDir().mkpath(Shm) || stat(QFile::encodeName(Dir).constData(), &Here) != 0 ||
      stat(QFile::encodeName(Shm).constData(), &There) != 0 || Here.st_dev == There.st_dev) {
    QDir(Shm).removeRecursively();
    GTEST_SKIP() << "no second file system (/dev/shm) beside the test folder";
  }
  Write(Path("target.jpg"), "the target");
  ASSERT_EQ(symlink(QFile::encodeName(Path("target.jpg")).constData(),
                    QFile::encodeName(Path("link.jpg")).constData()),
            0);
  ASSERT_EQ(symlink("relative/elsewhere.jpg", QFile::encodeName(Path("dangling.jpg")).constData()),
            0);
  TTransferRequest R{{"link.jpg"}, Dir, Shm, true, true, {}, {}, {}};
  EXPECT_EQ(TransferFiles(R).Done, 1);
  MoveFile(Path("dangling.jpg"), Shm + "/dangling.jpg");
  for (const QString& Name : {QString("link.jpg"), QString("dangling.jpg")}) {
    EXPECT_FALSE(QFileInfo(Path(Name)).isSymLink()) << Name.toStdString();
    EXPECT_TRUE(QFileInfo(Shm + "/" + Name).isSymLink()) << Name.toStdString();
  }
  EXPECT_EQ(QFileInfo(Shm + "/link.jpg").symLinkTarget(), Path("target.jpg"));
  EXPECT_EQ(QFile::symLinkTarget(Shm + "/dangling.jpg"), Shm + "/relative/elsewhere.jpg");
  // The target itself is where it was, untouched.
  EXPECT_EQ(ReadData(Path("target.jpg")), "the target");
  // A link never replaces a file of its name on the other side.
  ASSERT_EQ(symlink("x", QFile::encodeName(Path("again.jpg")).constData()), 0);
  Write(Shm + "/again.jpg", "keep");
  EXPECT_THROW(MoveFile(Path("again.jpg"), Shm + "/again.jpg"), EFileOpTargetExists);
  EXPECT_EQ(ReadData(Shm + "/again.jpg"), "keep");
  EXPECT_TRUE(QFileInfo(Path("again.jpg")).isSymLink());
  QDir(Shm).removeRecursively();
}

TEST_F(FileOps, DroppedFiles) {
  const QString From = MakeFolder(QString("fileops-drop-from-") + QString(90, 'd'));
  Write(From + "/long.jpg", "long path");
  Write(From + "/zero.jpg", "");
  Write(From + "/same.jpg", "dropped");
  Write(Path("same.jpg"), "here");
  QSignalSpy Changed(&FileEvents(), &TFileEvents::FolderChanged);
  const QStringList Moved =
      DropFiles({QUrl::fromLocalFile(From + "/long.jpg"), QUrl("https://example.org/a.jpg"),
                 QUrl::fromLocalFile(From + "/zero.jpg"), QUrl::fromLocalFile(From + "/same.jpg"),
                 QUrl::fromLocalFile(From + "/gone.jpg")},
                Dir);
  EXPECT_EQ(Moved, QStringList{Path("long.jpg")});
  EXPECT_EQ(ReadData(Path("long.jpg")), "long path");
  EXPECT_EQ(ReadData(Path("same.jpg")), "here");
  EXPECT_EQ(ReadData(From + "/same.jpg"), "dropped");
  EXPECT_EQ(
      P->Messages,
      QStringList(
          {"Only local files can be moved here: https://example.org/a.jpg",
           From + "/zero.jpg has a size of zero. This may be because it is not yet closed.",
           "file " + Path("same.jpg") + " already exists. Select another directory before moving",
           From + "/gone.jpg has a size of zero. This may be because it is not yet closed."}));
  ASSERT_EQ(Changed.size(), 2);
  EXPECT_EQ(Changed[0][0].toString(), Dir);
  EXPECT_EQ(Changed[1][0].toString(), From);
}

namespace {

// The safe files' syncs and namings, by call and file name, while it lives.
struct TTraceScope {
  QStringList Calls;
  TTraceScope() {
    SafeFileTrace() = [this](const char* Call, const std::string& Path) {
      Calls << QString(Call) + " " + QFileInfo(QString::fromStdString(Path)).fileName();
    };
  }
  ~TTraceScope() { SafeFileTrace() = nullptr; }
};

} // namespace

TEST_F(FileOps, CopiesAreSyncedOncePerGroupAndNamedOnlyAfterThat) {
  const QString Src = MakeFolder("fileops-group-src"), Dst = Path("");
  const int N = kTransferGroupFiles + 6;
  QStringList Names;
  for (int I = 0; I < N; ++I) {
    Names << QString("f%1.jpg").arg(I, 3, 10, QChar('0'));
    Write(Src + "/" + Names.last(), "data " + QByteArray::number(I));
  }
  // Auto-renamed names count the copies of their group that have no name yet: a.jpg becomes
  // a1.jpg (in the group), so a1.jpg becomes a11.jpg, as one file after the other would.
  Write(Src + "/a.jpg", "first");
  Write(Src + "/a1.jpg", "second");
  Write(Dst + "a.jpg", "here before");
  Names << "a.jpg"
        << "a1.jpg";
  TTraceScope Trace;
  QList<int> Done;
  TTransferRequest R{Names, Src, Dir, false, true, {}, {}, {}};
  // A file is reported done only once it has its name.
  R.ItemDone = [&](int I) {
    Done << I;
    if (I < N) {
      EXPECT_TRUE(QFileInfo::exists(Path(Names[I]))) << I;
    }
  };
  const TTransferResult Res = TransferFiles(R);
  EXPECT_EQ(Res.Done, N + 2);
  EXPECT_EQ(Res.LastDestinationName, "a11.jpg");
  QList<int> Order;
  for (int I = 0; I < N + 2; ++I)
    Order << I;
  EXPECT_EQ(Done, Order);
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("; ").toStdString();
  for (int I = 0; I < N; ++I)
    EXPECT_EQ(ReadData(Path(Names[I])), "data " + QByteArray::number(I));
  EXPECT_EQ(ReadData(Path("a.jpg")), "here before");
  EXPECT_EQ(ReadData(Path("a1.jpg")), "first");
  EXPECT_EQ(ReadData(Path("a11.jpg")), "second");
  // Two groups: each synced once, every name after its group's sync, one folder sync each.
  EXPECT_EQ(Trace.Calls.filter("syncfs").size(), 2);
  EXPECT_EQ(Trace.Calls.filter("fsync").size(), 0);
  EXPECT_EQ(Trace.Calls.filter("syncfolder").size(), 2);
  EXPECT_EQ(Trace.Calls.filter(QRegularExpression("^name ")).size(), N + 2);
  bool GroupSynced = false;
  for (const QString& C : Trace.Calls) {
    if (C.startsWith("syncfs "))
      GroupSynced = true;
    else if (C.startsWith("name "))
      EXPECT_TRUE(GroupSynced) << C.toStdString() << ": named before its group was synced";
    else if (C.startsWith("syncfolder "))
      GroupSynced = false;
  }
  EXPECT_EQ(Trace.Calls.first(), "syncfs " + Names[0]);
  EXPECT_EQ(Trace.Calls[kTransferGroupFiles + 1], "syncfolder " + QFileInfo(Dir).fileName());
}

TEST_F(FileOps, StoppedTransferNamesNothingOfItsGroupAndKeepsTheSources) {
  const QString Src = MakeFolder("fileops-stop-src");
  const QString Other = MakeFolder("fileops-stop-dest");
  for (const char* N : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
    Write(Src + "/" + N, N);
  const QString Shm = "/dev/shm/orbisk-fileops-stop-" + QString::number(getpid());
  for (bool Move : {false, true}) {
    const QString To = Move ? Shm : Other;
    if (Move && !QDir().mkpath(Shm)) continue;
    int Asked = 0;
    QList<int> Done;
    TTransferRequest R{
        {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}, Src, To, Move, true, {}, [&](int I) { Done << I; },
        [&] { return ++Asked <= 3; }};
    const TTransferResult Res = TransferFiles(R);
    EXPECT_TRUE(Res.Aborted);
    // Within one file system a move is a rename and done at once; every copy waited for its
    // group, which the stop dropped.
    struct stat Here, There;
    const bool OtherFs = stat(QFile::encodeName(Src).constData(), &Here) == 0 &&
                         stat(QFile::encodeName(To).constData(), &There) == 0 &&
                         Here.st_dev != There.st_dev;
    if (!Move || OtherFs) {
      EXPECT_EQ(Res.Done, 0);
      EXPECT_TRUE(Done.isEmpty());
      EXPECT_TRUE(Entries(To).isEmpty()) << Entries(To).join(",").toStdString();
      EXPECT_EQ(Entries(Src), QStringList({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    }
    EXPECT_TRUE(P->Messages.isEmpty());
  }
  QDir(Shm).removeRecursively();
}

TEST_F(FileOps, GroupedMovesNameBeforeTheSourcesGoAndNeverReplace) {
  const QString Shm = "/dev/shm/orbisk-fileops-group-" + QString::number(getpid());
  struct stat Here, There;
  if (!QDir().mkpath(Shm) || stat(QFile::encodeName(Dir).constData(), &Here) != 0 ||
      stat(QFile::encodeName(Shm).constData(), &There) != 0 || Here.st_dev == There.st_dev) {
    QDir(Shm).removeRecursively();
    GTEST_SKIP() << "no second file system (/dev/shm) beside the test folder";
  }
  for (const char* N : {"a.jpg", "b.jpg", "c.jpg"})
    Write(Path(N), N);
  // At the naming, every source is still there; b.jpg's name is taken meanwhile.
  int Hooks = 0;
  FileOpSeams().BeforeMoveHook = [&](const QString& D) {
    ++Hooks;
    for (const char* N : {"a.jpg", "b.jpg", "c.jpg"})
      EXPECT_TRUE(QFileInfo::exists(Path(N))) << N;
    if (D.endsWith("/b.jpg") && !QFileInfo::exists(D)) Write(D, "theirs");
  };
  TTransferRequest R{{"a.jpg", "b.jpg", "c.jpg"}, Dir, Shm, true, true, {}, {}, {}};
  const TTransferResult Res = TransferFiles(R);
  EXPECT_GE(Hooks, 3);
  EXPECT_EQ(Res.Done, 2);
  EXPECT_EQ(P->Messages, QStringList{"error moving file " + Path("b.jpg")});
  EXPECT_EQ(ReadData(Shm + "/a.jpg"), "a.jpg");
  EXPECT_EQ(ReadData(Shm + "/b.jpg"), "theirs");
  EXPECT_EQ(ReadData(Shm + "/c.jpg"), "c.jpg");
  EXPECT_EQ(Entries(Dir), QStringList{"b.jpg"}); // the one not moved stays
  EXPECT_EQ(Entries(Shm), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
  QDir(Shm).removeRecursively();
}
