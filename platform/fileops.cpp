#include "platform/fileops.h"

#include "platform/filenames.h"
#include "platform/fileundo.h"

#include "platform/prompt.h"

#include "engine/messages.h"
#include "engine/safefile.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

EFileOp::EFileOp(const QString& Message, int Errno)
    : std::runtime_error(Message.toUtf8().toStdString()), FErrno(Errno) {}

// ---- change notification

TFileEvents& FileEvents() {
  static TFileEvents* E = new TFileEvents(); // lives as long as the program
  return *E;
}

void NotifyFolderChanged(const QString& Folder) {
  if (Folder.isEmpty()) return;
  emit FileEvents().FolderChanged(QDir::cleanPath(QFileInfo(Folder).absoluteFilePath()));
}

QString FolderOf(const QString& Path) {
  return QDir::cleanPath(QFileInfo(Path).absolutePath());
}

bool SameFolder(const QString& A, const QString& B) {
  if (A.isEmpty() || B.isEmpty()) return false;
  return QDir::cleanPath(QFileInfo(A).absoluteFilePath()) ==
         QDir::cleanPath(QFileInfo(B).absoluteFilePath());
}

TFileOpSeams& FileOpSeams() {
  static TFileOpSeams S;
  return S;
}

namespace {

QByteArray Enc(const QString& Path) {
  return EncodeFileName(Path);
}

QString FileNameOf(const QString& Path) {
  const int Slash = Path.lastIndexOf('/');
  return Slash < 0 ? Path : Path.mid(Slash + 1);
}

QString FolderPartOf(const QString& Path) {
  const int Slash = Path.lastIndexOf('/');
  return Slash < 0 ? QString() : Path.left(Slash + 1);
}

QString FolderWithSeparatorText(const QString& Folder) {
  return Folder.endsWith('/') ? Folder : Folder + '/';
}

bool Exists(const QByteArray& Path) {
  struct stat St;
  return lstat(Path.constData(), &St) == 0;
}

bool IsValidName(const QString& Name) {
  return !Name.isEmpty() && !Name.contains('/') && Name != "." && Name != ".." &&
         !Name.contains(QChar(0));
}

// 0 on success, else the error number; an existing target is never replaced (EEXIST).
int RenameNoReplaceRaw(const QByteArray& From, const QByteArray& To) {
  return RenameNoReplace(From.toStdString(), To.toStdString()) ? 0 : errno;
}

class TFd {
public:
  explicit TFd(int Fd = -1) : F(Fd) {}
  ~TFd() {
    if (F >= 0) ::close(F);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return F; }
  // Closes now; the error number of close, 0 when fine.
  int Close() {
    const int R = ::close(F);
    F = -1;
    return R == 0 ? 0 : errno;
  }

private:
  int F;
};

// Counts writes of the copy routine for the write-failure seam.
int NextWriteFails() {
  static int Count = 0;
  TFileOpSeams& S = FileOpSeams();
  if (S.FailWriteNumber <= 0) return 0;
  if (++Count == S.FailWriteNumber) {
    Count = 0;
    S.FailWriteNumber = 0;
    return S.FailErrno;
  }
  return 0;
}

// Writes the whole buffer; the error number, 0 when fine. Seam: writes of the copy routine, which
// the write-failure seam counts.
int WriteAll(int Fd, const char* Data, size_t Count, bool Seam = true) {
  while (Count > 0) {
    if (const int Fail = Seam ? NextWriteFails() : 0) return Fail;
    const ssize_t N = ::write(Fd, Data, Count);
    if (N < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (N == 0) return EIO;
    Data += N;
    Count -= static_cast<size_t>(N);
  }
  return 0;
}

// Copies In to Out until end of file: kernel copy where it works, else read and write.
// Returns the error number (0 when fine) and the bytes copied.
int CopyData(int In, int Out, qint64& Copied) {
  Copied = 0;
  bool Kernel = true;
  for (;;) {
    if (Kernel) {
      if (const int Fail = NextWriteFails()) return Fail;
      const ssize_t N = copy_file_range(In, nullptr, Out, nullptr, 8 << 20, 0);
      if (N > 0) {
        Copied += N;
        continue;
      }
      if (N == 0) {
        // End of file, or a file system that reports nothing at all (some virtual files): the
        // read loop below decides.
        Kernel = false;
        continue;
      }
      if (errno == EINTR) continue;
      if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
          errno == EBADF) {
        Kernel = false;
        continue;
      }
      return errno;
    }
    static thread_local std::vector<char> Buffer(1 << 20);
    const ssize_t N = ::read(In, Buffer.data(), Buffer.size());
    if (N < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (N == 0) return 0;
    if (const int E = WriteAll(Out, Buffer.data(), static_cast<size_t>(N))) return E;
    Copied += N;
  }
}

QString ExistsMessage(const QString& Destination) {
  return "file " + Destination + " already exists. Select another directory before moving";
}

QString ZeroSizeMessage(const QString& Source) {
  return Source + " has a size of zero. This may be because it is not yet closed.";
}

} // namespace

// ---- plain operations

void RenameNoReplaceFile(const QString& From, const QString& To, const QString& Message) {
  const int E = RenameNoReplaceRaw(Enc(From), Enc(To));
  if (E == EEXIST || E == ENOTEMPTY) throw EFileOpTargetExists(Message, E);
  if (E != 0) throw EFileOp(Message, E);
}

namespace {

// A copy of Source written, checked and ready to be named Destination (its Commit or a group's
// gives it the name). Size receives the bytes copied. Raises as CopyFile does.
std::unique_ptr<TSafeFile> WriteCopy(const QString& Source, const QString& Destination,
                                     bool KeepTimes, qint64& Size) {
  const QByteArray Src = Enc(Source), Dst = Enc(Destination);
  TFd In(::open(Src.constData(), O_RDONLY | O_CLOEXEC));
  struct stat St;
  if (In.Get() < 0) throw EFileOp("Cannot open file " + Source, errno);
  if (fstat(In.Get(), &St) != 0 || !S_ISREG(St.st_mode))
    throw EFileOp("Cannot open file " + Source, errno);
  if (Exists(Dst)) throw EFileOpTargetExists(ExistsMessage(Destination), EEXIST);

  // The copy takes its name only when it is complete, checked and synced.
  std::unique_ptr<TSafeFile> Out;
  try {
    Out = std::make_unique<TSafeFile>(Dst.toStdString(), TCommitMode::cmNoReplace);
  } catch (const EPGTargetExists&) {
    throw EFileOpTargetExists(ExistsMessage(Destination), EEXIST);
  } catch (const std::exception&) {
    throw EFileOp("Cannot create file " + Destination);
  }
  const QString Failed = "error moving file " + Source;
  qint64 Copied = 0;
  if (const int E = CopyData(In.Get(), Out->Descriptor(), Copied)) throw EFileOp(Failed, E);
  // The file must not have changed size while it was copied (a short read, a writer).
  struct stat After;
  if (fstat(In.Get(), &After) != 0 || Copied != St.st_size || After.st_size != St.st_size)
    throw EFileOp(Failed, EIO);
  if (fchmod(Out->Descriptor(), St.st_mode & 0777) != 0) throw EFileOp(Failed, errno);
  if (KeepTimes) {
    const struct timespec Times[2] = {St.st_atim, St.st_mtim};
    futimens(Out->Descriptor(), Times);
  }
  Size = Copied;
  return Out;
}

} // namespace

void CopyFile(const QString& Source, const QString& Destination, bool KeepTimes) {
  qint64 Size = 0;
  std::unique_ptr<TSafeFile> Out = WriteCopy(Source, Destination, KeepTimes, Size);
  const QString Failed = "error moving file " + Source;
  if (FileOpSeams().BeforeMoveHook) FileOpSeams().BeforeMoveHook(Destination);
  try {
    Out->Commit();
  } catch (const EPGTargetExists&) {
    throw EFileOpTargetExists(ExistsMessage(Destination), EEXIST);
  } catch (const std::exception&) {
    throw EFileOp(Failed);
  }
}

namespace {

// Moves Source to Dest (a full path) by renaming it, or by making a link again on the other file
// system; false when the file has to be copied there (a writable file on another file system).
// Raises as MoveFile does.
bool MoveUnlessCopied(const QString& Source, const QString& Dest) {
  const QByteArray Src = Enc(Source), Dst = Enc(Dest);
  const QString Failed = "error moving file " + Source;
  struct stat St;
  if (lstat(Src.constData(), &St) != 0) throw EFileOp(Failed, errno);
  if (Exists(Dst)) throw EFileOpTargetExists(ExistsMessage(Dest), EEXIST);
  if (FileOpSeams().BeforeMoveHook) FileOpSeams().BeforeMoveHook(Dest);
  const int E = RenameNoReplaceRaw(Src, Dst);
  if (E == 0) return true;
  if (E == EEXIST) throw EFileOpTargetExists(ExistsMessage(Dest), E);
  if (E != EXDEV) throw EFileOp(Failed, E);
  // Another file system. A symbolic link is made again there, pointing where it pointed;
  // copying would turn it into a copy of its target.
  if (S_ISLNK(St.st_mode)) {
    std::vector<char> Target(size_t(St.st_size > 0 ? St.st_size : PATH_MAX) + 1);
    const ssize_t N = readlink(Src.constData(), Target.data(), Target.size());
    if (N < 0 || size_t(N) >= Target.size()) throw EFileOp(Failed, N < 0 ? errno : EIO);
    Target[size_t(N)] = 0;
    if (symlink(Target.data(), Dst.constData()) != 0) {
      if (errno == EEXIST) throw EFileOpTargetExists(ExistsMessage(Dest), EEXIST);
      throw EFileOp(Failed, errno);
    }
    // The new link is checked like a copy before the source goes, and only a link that is still
    // ours is taken back.
    const auto IsOurLink = [&] {
      std::vector<char> Made(Target.size());
      const ssize_t M = readlink(Dst.constData(), Made.data(), Made.size());
      return M == N && std::memcmp(Made.data(), Target.data(), size_t(N)) == 0;
    };
    if (!IsOurLink()) throw EFileOp(Failed, EIO);
    SyncFolder(Enc(FolderPartOf(Dest)).toStdString());
    if (unlink(Src.constData()) != 0) {
      const int Err = errno;
      if (IsOurLink()) unlink(Dst.constData());
      throw EFileOp(Failed, Err);
    }
    return true;
  }
  if (!(St.st_mode & S_IWUSR)) throw EFileOp("Cannot move file " + Source, E);
  return false;
}

} // namespace

void MoveFile(const QString& Source, const QString& Destination) {
  const QString Dest = AbsoluteFilePath(Destination);
  if (MoveUnlessCopied(Source, Dest)) return;
  // Copy, check, sync, and only then remove the source.
  CopyFile(Source, Dest, true);
  SyncFolder(Enc(FolderPartOf(Dest)).toStdString());
  if (unlink(Enc(Source).constData()) != 0) throw EFileOp("error moving file " + Source, errno);
}

namespace {

// A folder of the trash, made when missing (owner only); false when it is not a usable folder.
bool TrashFolder(const QByteArray& Path) {
  if (::mkdir(Path.constData(), 0700) != 0 && errno != EEXIST) return false;
  struct stat St;
  return lstat(Path.constData(), &St) == 0 && S_ISDIR(St.st_mode) && St.st_uid == getuid();
}

// The trash for a file on device Dev: the home trash when it is on the same file system, else
// the file system's own ".Trash/$uid" (a sticky, real folder) or ".Trash-$uid". Empty when none
// can be used; the files must never be moved across file systems to reach a trash.
QByteArray TrashFor(const QString& File, dev_t Dev) {
  struct stat St;
  QString Data = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
  if (Data.isEmpty() || !Data.startsWith('/')) Data = QDir::homePath() + "/.local/share";
  const QByteArray Home = Enc(Data + "/Trash");
  if (stat(Enc(NearestExistingFolder(Data)).constData(), &St) == 0 && St.st_dev == Dev) {
    if (QDir().mkpath(Data) && TrashFolder(Home) && TrashFolder(Home + "/files") &&
        TrashFolder(Home + "/info"))
      return Home;
    return QByteArray();
  }
  // The top folder of the file's file system.
  QString Top = File.left(std::max<qsizetype>(File.lastIndexOf('/'), 1));
  for (;;) {
    const int Slash = Top.lastIndexOf('/');
    const QString Up = Slash <= 0 ? QStringLiteral("/") : Top.left(Slash);
    if (Up == Top || stat(Enc(Up).constData(), &St) != 0 || St.st_dev != Dev) break;
    Top = Up;
  }
  const QByteArray Uid = QByteArray::number(uint(getuid()));
  const QByteArray Shared = Enc(FolderWithSeparatorText(Top) + ".Trash");
  if (lstat(Shared.constData(), &St) == 0 && S_ISDIR(St.st_mode) && (St.st_mode & S_ISVTX)) {
    const QByteArray Own = Shared + "/" + Uid;
    if (TrashFolder(Own) && TrashFolder(Own + "/files") && TrashFolder(Own + "/info")) return Own;
  }
  const QByteArray Own = Enc(FolderWithSeparatorText(Top) + ".Trash-") + Uid;
  if (TrashFolder(Own) && TrashFolder(Own + "/files") && TrashFolder(Own + "/info")) return Own;
  return QByteArray();
}

} // namespace

// The freedesktop trash, written here rather than through QFile::moveToTrash: when Qt 6.4
// cannot set up the home trash it moves the file into a "files" folder under the current
// directory and reports success.
bool TrashFile(const QString& Path, TTrashedFile* Where) {
  const QString Abs = AbsoluteFilePath(Path);
  if (Where) *Where = TTrashedFile{Abs, QString(), QString()};
  if (FileOpSeams().Trash) return FileOpSeams().Trash(Path);
  const QByteArray Src = Enc(Abs);
  struct stat St;
  if (lstat(Src.constData(), &St) != 0) return false;
  const QByteArray Trash = TrashFor(Abs, St.st_dev);
  if (Trash.isEmpty()) return false;
  // The info file claims the name in the trash first (exclusively), then the file follows.
  const QString Name = FileNameOf(Abs);
  const QByteArray Info = "[Trash Info]\nPath=" + PercentEncodedPath(Src) + "\nDeletionDate=" +
                          QDateTime::currentDateTime().toString("yyyy-MM-ddThh:mm:ss").toUtf8() +
                          "\n";
  for (int N = 1; N < 10000; ++N) {
    const QString Entry = N == 1 ? Name : Name + "." + QString::number(N);
    const QByteArray InfoPath = Trash + "/info/" + Enc(Entry) + ".trashinfo";
    TFd F(::open(InfoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (F.Get() < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const bool Written =
        WriteAll(F.Get(), Info.constData(), size_t(Info.size()), false) == 0 && F.Close() == 0;
    const QByteArray Target = Trash + "/files/" + Enc(Entry);
    if (Written && RenameNoReplaceRaw(Src, Target) == 0) {
      if (Where) {
        Where->TrashedPath = DecodeFileName(Target);
        Where->InfoPath = DecodeFileName(InfoPath);
      }
      return true;
    }
    unlink(InfoPath.constData());
    if (!Written || Exists(Target) == false) return false;
  }
  return false;
}

bool DeleteFilePermanently(const QString& Path) {
  return unlink(Enc(Path).constData()) == 0;
}

bool CreateFolder(const QString& Path) {
  return ::mkdir(Enc(Path).constData(), 0777) == 0;
}

bool RemoveEmptyFolder(const QString& Path) {
  return ::rmdir(Enc(Path).constData()) == 0;
}

QString NearestExistingFolder(const QString& Path) {
  QString P = QDir::cleanPath(QFileInfo(Path).absoluteFilePath());
  while (!QFileInfo(P).isDir()) {
    const int Slash = P.lastIndexOf('/');
    if (Slash <= 0) return QStringLiteral("/");
    P = P.left(Slash);
  }
  return P;
}

// ---- deleting files

TDeleteMode DeleteModeFromSetting(int Deletions) {
  return Deletions == 1 ? TDeleteMode::dmPermanent : TDeleteMode::dmTrash;
}

int NeighbourAfterDelete(const QList<int>& SelectedRows, int Count) {
  if (SelectedRows.isEmpty() || Count <= 0) return -1;
  QList<int> Rows = SelectedRows;
  std::sort(Rows.begin(), Rows.end());
  const int First = Rows.first();
  for (int R = First - 1; R >= 0; --R)
    if (!Rows.contains(R)) return R;
  for (int R = First + 1; R < Count; ++R)
    if (!Rows.contains(R)) return R;
  return -1;
}

bool ConfirmDeleteFiles(const QStringList& Names, bool Confirm, QWidget* Owner) {
  if (Names.isEmpty()) {
    ShowMessage("You need to click on a file name first", Owner);
    return false;
  }
  if (!Confirm) return true;
  const QString Question =
      Names.size() == 1 ? "Delete file " + Names.first() + "?" : QString("Delete selected files?");
  return AskYesNo(Question, Owner);
}

QStringList DeleteFiles(const QStringList& Paths, TDeleteMode Mode,
                        const std::function<void(const QString&)>& Status, QWidget* Owner) {
  QStringList Gone, Folders;
  QList<TTrashedFile> Trashed;
  for (const QString& Path : Paths) {
    if (Status) Status("Deleting " + Path);
    bool Done;
    if (Mode == TDeleteMode::dmPermanent) {
      Done = DeleteFilePermanently(Path); // failures are not reported
    } else {
      TTrashedFile Where;
      Done = TrashFile(Path, &Where);
      if (!Done) ShowMessage("Error moving " + Path + " to recycle bin", Owner);
      if (Done && !Where.TrashedPath.isEmpty()) Trashed << Where;
    }
    if (Done) {
      Gone << Path;
      if (!Folders.contains(FolderOf(Path))) Folders << FolderOf(Path);
    }
  }
  if (!Trashed.isEmpty()) FileUndo().RecordTrash(Trashed);
  for (const QString& F : Folders)
    NotifyFolderChanged(F);
  return Gone;
}

// ---- renaming

bool RenameFileCommand(const QString& Folder, const QString& OldName, const QString& NewName,
                       QWidget* Owner) {
  try {
    if (NewName == OldName) return true;
    if (!IsValidName(NewName) || !IsValidName(OldName)) throw EFileOp("Error changing name");
    RenameNoReplaceFile(FolderWithSeparatorText(Folder) + OldName,
                        FolderWithSeparatorText(Folder) + NewName, "Error changing name");
    FileUndo().RecordRenames({{AbsoluteFilePath(FolderWithSeparatorText(Folder) + OldName),
                               AbsoluteFilePath(FolderWithSeparatorText(Folder) + NewName)}});
  } catch (const EFileOp&) {
    ShowMessage("Error changing name", Owner);
    return false;
  } catch (const std::exception&) {
    ShowMessage("Error renaming file", Owner);
    return false;
  }
  NotifyFolderChanged(Folder);
  return true;
}

// ---- incremental rename

bool IncRenameAccepts(const QString& Name) {
  const QString File = FileNameOf(Name);
  const int Dot = File.lastIndexOf('.');
  if (Dot < 0) return false;
  const QString Ext = File.mid(Dot).toUpper();
  if (Ext.size() < 2) return false;
  // Whole extensions only: ".JP" is not ".JPG".
  const QString Types = QString::fromLatin1(kIncRenameTypes) + '.';
  return Types.contains(Ext + '.');
}

QString FormatRunningNumber(qint64 Number, int Width) {
  return QStringLiteral("%1").arg(Number, std::max(Width, 1), 10, QChar('0'));
}

QString IncRenameTarget(const QString& Line, const QString& NewName, qint64 Number, int Width) {
  const QString File = FileNameOf(Line);
  const int Dot = File.lastIndexOf('.');
  const QString Ext = Dot < 0 ? QString() : File.mid(Dot);
  return FolderPartOf(Line) + NewName + "_" + FormatRunningNumber(Number, Width) + Ext;
}

QString IncRenameNumberError(const QString& NumberText) {
  bool Digits = !NumberText.isEmpty() && NumberText.size() <= 5;
  for (QChar C : NumberText)
    Digits = Digits && C >= '0' && C <= '9';
  return Digits ? QString() : QStringLiteral("The Number field must hold a number (digits 0 to 9)");
}

bool IncrementalRename(QStringList& Lines, const QString& NewName, const QString& NumberText,
                       QWidget* Owner) {
  const QString Error = IncRenameNumberError(NumberText);
  if (!Error.isEmpty()) {
    ShowMessage(Error, Owner);
    return false;
  }
  if (!AskYesNo("Ready to rename " + QString::number(Lines.size()) + " files.  Proceed?", Owner))
    return false;
  qint64 Number = NumberText.toLongLong();
  const int Width = static_cast<int>(NumberText.size());
  QStringList Folders;
  QList<TFileMove> Renamed;
  for (QString& Line : Lines) {
    const QString Target = IncRenameTarget(Line, NewName, Number++, Width);
    bool OK = NewName.indexOf('/') < 0 && !FileNameOf(Line).isEmpty();
    if (OK) {
      try {
        RenameNoReplaceFile(Line, Target, "Error changing name");
      } catch (const EFileOp&) {
        OK = false;
      }
    }
    if (OK && !Folders.contains(FolderOf(Line))) Folders << FolderOf(Line);
    if (OK) Renamed.append({AbsoluteFilePath(Line), AbsoluteFilePath(Target)});
    Line = OK ? Target : "ERROR * " + Line;
  }
  if (!Renamed.isEmpty()) FileUndo().RecordRenames(Renamed);
  for (const QString& F : Folders)
    NotifyFolderChanged(F);
  return true;
}

// ---- attributes

TFileAttributes ReadFileAttributes(const QString& Path) {
  TFileAttributes A;
  struct stat St;
  if (lstat(Enc(Path).constData(), &St) == 0) A.ReadOnly = !(St.st_mode & S_IWUSR);
  A.Hidden = FileNameOf(QDir::cleanPath(Path)).startsWith('.');
  return A;
}

QDateTime FileLastChange(const QString& Path) {
  return QFileInfo(Path).lastModified();
}

QString WriteFileAttributes(const QString& Path, const TFileAttributes& A) {
  const TFileAttributes Old = ReadFileAttributes(Path);
  QString Result = Path;
  if (A.ReadOnly != Old.ReadOnly) {
    struct stat St;
    const QByteArray P = Enc(Path);
    if (stat(P.constData(), &St) != 0) throw EFileOp("Cannot change attributes of " + Path, errno);
    const mode_t Mode = A.ReadOnly ? (St.st_mode & ~S_IWUSR) : (St.st_mode | S_IWUSR);
    if (chmod(P.constData(), Mode & 07777) != 0)
      throw EFileOp("Cannot change attributes of " + Path, errno);
  }
  if (A.Hidden != Old.Hidden) {
    QString Name = FileNameOf(QDir::cleanPath(Path));
    if (A.Hidden) {
      Name.prepend('.');
    } else {
      while (Name.startsWith('.'))
        Name.remove(0, 1);
    }
    if (!IsValidName(Name)) throw EFileOp("Error changing name");
    const QString Target = FolderPartOf(QDir::cleanPath(Path)) + Name;
    RenameNoReplaceFile(Path, Target, "Error changing name");
    Result = Target;
  }
  if (!(A == Old)) NotifyFolderChanged(FolderOf(Path));
  return Result;
}

// ---- folders

QString AddFolderCommand(const QString& Parent, const QString& Name, QWidget* Owner) {
  const QString Path = FolderWithSeparatorText(Parent) + Name;
  if (!IsValidName(Name) || !CreateFolder(Path)) {
    ShowMessage("Cannot create directory " + Path, Owner);
    return QString();
  }
  NotifyFolderChanged(Parent);
  return Path;
}

TDeleteFolderResult DeleteFolderCommand(const QString& Folder,
                                        const std::function<void()>& BeforeRemove, QWidget* Owner) {
  if (!AskYesNo("Delete folder " + Folder + "?", Owner)) return TDeleteFolderResult::dfCancelled;
  if (BeforeRemove) BeforeRemove();
  if (!RemoveEmptyFolder(Folder)) {
    ShowMessage("Directory can't be deleted - there might be files in it!", Owner);
    return TDeleteFolderResult::dfFailed;
  }
  NotifyFolderChanged(FolderOf(QDir::cleanPath(Folder)));
  return TDeleteFolderResult::dfDeleted;
}

// ---- moving and copying into a folder

namespace {

QString AutoRenameTargetAvoiding(const QString& Folder, const QString& Name,
                                 const QStringList& Taken) {
  const QString Base = FolderWithSeparatorText(Folder);
  const int Dot = Name.indexOf('.');
  QString Part = Dot < 0 ? Name : Name.left(Dot);
  const QString Rest = Dot < 0 ? QString() : Name.mid(Dot);
  QString Target = Base + Name;
  while (Exists(Enc(Target)) || Taken.contains(Target)) {
    Part += '1';
    Target = Base + Part + Rest;
  }
  return Target;
}

// Copies of a transfer waiting for their group's one sync, and the files done after them whose
// ItemDone waits with them (so that the window hears of the files in their order).
struct TTransferGroup {
  struct TItem {
    int Index;
    QString Source, Dest; // Dest empty: nothing to name (done or failed before)
    bool Move = false;
  };
  TSafeFileGroup Files;
  std::vector<TItem> Items;
  QStringList Names; // destinations not named yet
  bool Waiting() const { return Files.Count() > 0; }
};

} // namespace

QString AutoRenameTarget(const QString& Folder, const QString& Name) {
  return AutoRenameTargetAvoiding(Folder, Name, {});
}

TTransferResult TransferFiles(const TTransferRequest& R, QWidget* Owner) {
  TTransferResult Result;
  const int Count = static_cast<int>(R.Names.size());
  bool Changed = false;
  int LastIndex = -1;
  QList<TFileMove> Moved;
  auto Done = [&](int I, const QString& Dest) {
    Changed = true;
    ++Result.Done;
    if (R.Move)
      Moved.append({AbsoluteFilePath(FolderWithSeparatorText(R.SourceFolder) + R.Names[I]),
                    AbsoluteFilePath(Dest)});
    if (I > LastIndex) {
      LastIndex = I;
      Result.LastDestinationName = FileNameOf(Dest);
    }
  };
  // Copies are written into a group of temporary files that are synced together, then named;
  // the sources of moves go only after that.
  TTransferGroup Group;
  auto Flush = [&] {
    if (FileOpSeams().BeforeMoveHook)
      for (const auto& It : Group.Items)
        if (!It.Dest.isEmpty()) FileOpSeams().BeforeMoveHook(It.Dest);
    const std::vector<std::exception_ptr> Errors = Group.Files.Commit();
    size_t F = 0;
    for (const auto& It : Group.Items) {
      if (!It.Dest.isEmpty()) {
        bool Named = !Errors[F++];
        if (Named && It.Move && unlink(Enc(It.Source).constData()) != 0) Named = false;
        if (Named)
          Done(It.Index, It.Dest);
        else
          ShowMessage("error moving file " + It.Source, Owner);
      }
      if (R.ItemDone) R.ItemDone(It.Index);
    }
    Group.Items.clear();
    Group.Names.clear();
  };
  for (int I = 0; I < Count; ++I) {
    if (R.KeepRunning && !R.KeepRunning()) {
      // The copies not named yet are dropped, their sources kept.
      Group.Files.Discard();
      for (const auto& It : Group.Items)
        if (It.Dest.isEmpty() && R.ItemDone) R.ItemDone(It.Index);
      Group.Items.clear();
      Group.Names.clear();
      Result.Aborted = true;
      break;
    }
    const QString& Name = R.Names[I];
    const QString Source = FolderWithSeparatorText(R.SourceFolder) + Name;
    QString Dest = FolderWithSeparatorText(R.DestinationFolder) + Name;
    if (R.Status) R.Status("File " + QString::number(I + 1) + " of " + QString::number(Count));
    bool Waits = false;
    try {
      bool Skip = false;
      if (Exists(Enc(Dest)) || Group.Names.contains(Dest)) {
        if (R.AutoRename) {
          Dest = AutoRenameTargetAvoiding(R.DestinationFolder, Name, Group.Names);
        } else {
          ShowMessage(ExistsMessage(Dest), Owner);
          Skip = true;
        }
      }
      if (!Skip) {
        const TFileStat Info = StatPath(Source);
        if (!Info.Exists || !Info.IsFile) throw EFileOp("error moving file " + Source);
        if (Info.Size == 0) {
          ShowMessage(ZeroSizeMessage(Source), Owner);
        } else {
          const QString Target = R.Move ? AbsoluteFilePath(Dest) : Dest;
          if (R.Move && MoveUnlessCopied(Source, Target)) {
            Done(I, Target);
          } else {
            qint64 Size = 0;
            auto Out = WriteCopy(Source, Target, R.Move, Size);
            Out->StartWriteback();
            Group.Files.Add(std::move(Out), uint64_t(Size));
            Group.Items.push_back({I, Source, Target, R.Move});
            Group.Names << Dest;
            Waits = true;
          }
        }
      }
    } catch (const std::exception&) {
      ShowMessage("error moving file " + Source, Owner);
    }
    if (Group.Waiting()) {
      if (!Waits) Group.Items.push_back({I, Source, QString(), false});
      if (Group.Files.Count() >= kTransferGroupFiles || Group.Files.Bytes() >= kTransferGroupBytes)
        Flush();
    } else if (R.ItemDone) {
      R.ItemDone(I);
    }
  }
  if (Group.Waiting()) Flush();
  if (R.Status) R.Status(QString());
  if (!Moved.isEmpty()) FileUndo().RecordMoves(Moved);
  if (Changed) {
    NotifyFolderChanged(R.DestinationFolder);
    if (R.Move) NotifyFolderChanged(R.SourceFolder);
  }
  return Result;
}

QStringList DropFiles(const QList<QUrl>& Urls, const QString& Folder, QWidget* Owner) {
  QStringList Moved, Sources;
  QList<TFileMove> Undo;
  for (const QUrl& U : Urls) {
    if (!U.isLocalFile()) {
      ShowMessage("Only local files can be moved here: " + U.toDisplayString(), Owner);
      continue;
    }
    const QString Source = U.toLocalFile();
    const QString Dest = FolderWithSeparatorText(Folder) + FileNameOf(QDir::cleanPath(Source));
    try {
      const TFileStat Info = StatPath(Source);
      if (Exists(Enc(Dest))) {
        ShowMessage(ExistsMessage(Dest), Owner);
      } else if (!Info.Exists || Info.Size == 0) {
        ShowMessage(ZeroSizeMessage(Source), Owner);
      } else if (!Info.IsFile) {
        throw EFileOp("error moving file " + Source);
      } else {
        MoveFile(Source, Dest);
        Moved << Dest;
        Undo.append({AbsoluteFilePath(Source), AbsoluteFilePath(Dest)});
        if (!Sources.contains(FolderOf(Source))) Sources << FolderOf(Source);
      }
    } catch (const std::exception&) {
      ShowMessage("error moving file " + Source, Owner);
    }
  }
  if (!Undo.isEmpty()) FileUndo().RecordMoves(Undo);
  if (!Moved.isEmpty()) {
    NotifyFolderChanged(Folder);
    for (const QString& S : Sources)
      NotifyFolderChanged(S);
  }
  return Moved;
}

} // namespace orbisk
