// File operations on the user's files: deleting (to the trash or permanently), renaming one file
// or a numbered batch, attributes, adding and removing folders, moving and copying files into a
// folder (also files dropped from the desktop). The main window, the file manager, the converter,
// the thumbnail explorer and the albums all use these, so every message is the same everywhere.
//
// Nothing here replaces a file the user did not ask to replace: renames and moves refuse an
// existing target (renameat2 RENAME_NOREPLACE, link + unlink where the file system refuses
// that), copies are written to a temporary file in the destination folder, checked, synced and
// only then given their name, and a move removes its source only after that.
//
// Two layers:
//  - plain operations (MoveFile, CopyFile, RenameNoReplaceFile, TrashFile, ...) that raise
//    EFileOp with the program's message text, or return false; they never prompt;
//  - user commands (DeleteFiles, RenameFileCommand, TransferFiles, DropFiles, ...) that ask and
//    report through platform/prompt.h, go on with the next file after an error, and announce
//    changed folders through FileEvents().
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <stdexcept>

class QWidget;

namespace orbisk {

// ---- errors

// A failed file operation; what() is the text shown to the user (UTF-8).
class EFileOp : public std::runtime_error {
public:
  explicit EFileOp(const QString& Message, int Errno = 0);
  QString Message() const { return QString::fromUtf8(what()); }
  // The system's error number, 0 when none.
  int Errno() const { return FErrno; }

private:
  int FErrno;
};
// A rename, move or copy found its target already existing; nothing was changed.
class EFileOpTargetExists : public EFileOp {
public:
  using EFileOp::EFileOp;
};

// ---- change notification

// Announces folders whose files changed through these operations, so that every window listing
// such a folder can list it again (the main list, the file manager, the thumbnail explorer).
// Folders are announced cleaned (QDir::cleanPath of the absolute path).
class TFileEvents : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;
signals:
  void FolderChanged(const QString& Folder);
};
TFileEvents& FileEvents();
// Emits FolderChanged for the folder (and for nothing when Folder is empty).
void NotifyFolderChanged(const QString& Folder);
// The cleaned folder of a full path.
QString FolderOf(const QString& Path);
// True when the two folder texts name the same folder (cleaned, absolute).
bool SameFolder(const QString& A, const QString& B);

// ---- plain operations (no prompts)

// Renames From to To unless To exists (also a dangling link). Raises EFileOpTargetExists when
// the target exists, EFileOp(Message) for other failures. Works for files and folders.
void RenameNoReplaceFile(const QString& From, const QString& To, const QString& Message);
// Copies Source to Destination: a temporary file in the destination folder, read until end of
// file, byte count checked against the source's size, synced, then renamed without replacing.
// On failure the partial copy is removed and EFileOp is raised: "Cannot open file " + source,
// "Cannot create file " + destination, or "error moving file " + source for a short copy, a full
// disk or an I/O error; EFileOpTargetExists when the destination exists. KeepTimes keeps the
// source's modification time (used for moves). The owner write bit and other permission bits
// of the source are kept.
void CopyFile(const QString& Source, const QString& Destination, bool KeepTimes = false);
// Moves Source to Destination: a rename without replacing; across file systems a CopyFile that
// keeps the times, then the source is removed. A read-only source (no owner write bit) that has
// to be copied is refused with "Cannot move file " + source and left alone.
void MoveFile(const QString& Source, const QString& Destination);
// Where a file went in the trash: its place under the trash's "files" folder and its
// ".trashinfo" under "info" (both empty when the trash was the test seam).
struct TTrashedFile {
  QString Original; // the file's full path before
  QString TrashedPath, InfoPath;
};
// Moves one file to the freedesktop trash; false when it could not, in which case the file is
// untouched. Never deletes permanently. Where receives the file's place in the trash.
bool TrashFile(const QString& Path, TTrashedFile* Where = nullptr);
// Deletes one file for good (unlink); false when it could not.
bool DeleteFilePermanently(const QString& Path);
// Creates one folder (not its parents); false when it could not.
bool CreateFolder(const QString& Path);
// Removes an empty folder (rmdir, never recursively); false when it could not.
bool RemoveEmptyFolder(const QString& Path);
// The nearest existing folder at or above Path ("/" at worst).
QString NearestExistingFolder(const QString& Path);

// Test seams for fault tests: the n-th write of the copy routine (counted from 1 over the whole
// program) fails with Errno; 0 switches it off. BeforeMoveHook runs in MoveFile/TransferFiles
// after the destination was checked and before it is moved, with the destination.
struct TFileOpSeams {
  int FailWriteNumber = 0;
  int FailErrno = 28; // ENOSPC
  std::function<void(const QString& Destination)> BeforeMoveHook;
  std::function<bool(const QString& Path)> Trash; // replaces QFile::moveToTrash when set
};
TFileOpSeams& FileOpSeams();

// ---- deleting files

enum class TDeleteMode { dmTrash, dmPermanent };
// "Deletions": 1 deletes permanently, anything else moves to the trash.
TDeleteMode DeleteModeFromSetting(int Deletions);

// The row to select after deleting the selected rows of a list of Count rows: the last unselected
// row before the first selected one; when the first row is selected, the first unselected row
// after it; -1 when none. Rows index the list before the deletion.
int NeighbourAfterDelete(const QList<int>& SelectedRows, int Count);

// Asks before deleting the named files (names without folder, list order):
// none → "You need to click on a file name first" and false; Confirm set → "Delete file " + name +
// "?" or "Delete selected files?", false unless Yes.
bool ConfirmDeleteFiles(const QStringList& Names, bool Confirm, QWidget* Owner = nullptr);
// Deletes the files in order, each to the trash or for good. Status gets "Deleting " + path
// before each file. A file the trash refused: "Error moving " + path + " to recycle bin", and
// the next file follows; permanent deletions fail silently. Announces the changed folders.
// Files moved to the trash become the last operation to undo (platform/fileundo.h). Returns the
// paths that are gone.
QStringList DeleteFiles(const QStringList& Paths, TDeleteMode Mode,
                        const std::function<void(const QString&)>& Status = {},
                        QWidget* Owner = nullptr);

// ---- renaming

// Renames Folder/OldName to Folder/NewName without replacing. On failure (an existing target, a
// name with "/", an empty name, a system error) shows "Error changing name" and returns false;
// an unexpected exception shows "Error renaming file". Announces the folder. A rename becomes the
// last operation to undo.
bool RenameFileCommand(const QString& Folder, const QString& OldName, const QString& NewName,
                       QWidget* Owner = nullptr);

// ---- incremental rename

// The extensions a file list may drop into the incremental rename (upper case, with dots).
inline constexpr const char* kIncRenameTypes = ".JPG.GIF.BMP.ICO.TIF.PNG.PCX.TGA.WMF";
// True when the name's upper-case extension occurs in kIncRenameTypes.
bool IncRenameAccepts(const QString& Name);
// Number formatted as a decimal of at least Width digits, zero-padded.
QString FormatRunningNumber(qint64 Number, int Width);
// The name the line (a full path) gets: its folder + NewName + "_" + number + its extension.
QString IncRenameTarget(const QString& Line, const QString& NewName, qint64 Number, int Width);
// Checks the "Number" text (only digits, not empty, at most 5); the message when not valid,
// else an empty text.
QString IncRenameNumberError(const QString& NumberText);
// The "Rename" command: checks the number ("The Number field must hold a number (digits 0 to 9)"
// and stops), asks "Ready to rename " + count + " files.  Proceed?", then renames each line
// without replacing. Lines holds the full paths and receives the results (the new path, or
// "ERROR * " + old path); the number grows after every line. Returns false when nothing was
// attempted. Announces the folders. The renames together become the last operation to undo.
bool IncrementalRename(QStringList& Lines, const QString& NewName, const QString& NumberText,
                       QWidget* Owner = nullptr);

// ---- attributes

struct TFileAttributes {
  bool ReadOnly = false; // no owner write bit
  bool Hidden = false;   // name begins with "."
  bool Archive = false;  // no equivalent: shown, never changed
  bool System = false;   // no equivalent: shown, never changed
  bool operator==(const TFileAttributes&) const = default;
};
TFileAttributes ReadFileAttributes(const QString& Path);
// The file's last-write time (invalid when it cannot be read).
QDateTime FileLastChange(const QString& Path);
// Writes what differs from the file's present attributes: ReadOnly sets or clears the owner
// write bit, Hidden adds or removes the leading dot (a rename without replacing). Returns the
// file's full path afterwards; raises EFileOp ("Error changing name" for the rename, "Cannot
// change attributes of " + path otherwise). Archive and System are ignored.
QString WriteFileAttributes(const QString& Path, const TFileAttributes& A);

// ---- folders

// Creates Parent/Name: "Cannot create directory " + path on failure (also for an empty name or
// one with "/"). Returns the new folder's path, or an empty text. Announces the parent.
QString AddFolderCommand(const QString& Parent, const QString& Name, QWidget* Owner = nullptr);
enum class TDeleteFolderResult { dfCancelled, dfDeleted, dfFailed };
// Asks "Delete folder " + path + "?", then removes it when empty; "Directory can't be deleted -
// there might be files in it!" otherwise. BeforeRemove runs after Yes and before the removal
// (the tree leaves the folder there). Announces the parent.
TDeleteFolderResult DeleteFolderCommand(const QString& Folder,
                                        const std::function<void()>& BeforeRemove = {},
                                        QWidget* Owner = nullptr);

// ---- moving and copying into a folder

// Destination for Name in Folder when that exists: the name part before the first "." with "1"
// appended until folder + part + rest (from the first ".") does not exist. photo.jpg →
// photo1.jpg → photo11.jpg. Returns the full path.
QString AutoRenameTarget(const QString& Folder, const QString& Name);

struct TTransferRequest {
  QStringList Names; // file names in the source folder, in order
  QString SourceFolder, DestinationFolder;
  bool Move = true; // false copies
  bool AutoRename = true;
  // "File " + n + " of " + count before each file; then called with "" at the end.
  std::function<void(const QString&)> Status;
  // After each file, with its index in Names (the window deselects it and repaints); the files
  // of a group of copies hear it when the group is named, all in the order of Names.
  std::function<void(int)> ItemDone;
  // Asked before each file; false stops the transfer there (Esc). Copies not named yet are then
  // dropped and the sources of their moves kept.
  std::function<bool()> KeepRunning;
};
struct TTransferResult {
  QString LastDestinationName; // file name of the last file moved or copied, "" when none
  int Done = 0;                // files moved or copied
  bool Aborted = false;        // KeepRunning stopped it
};
// Copies (and moves to another file system) are written as temporary files in groups of at most
// this many files or bytes; each group is synced once and only then are its files named.
inline constexpr int kTransferGroupFiles = 64;
inline constexpr uint64_t kTransferGroupBytes = 256ull << 20;
// Moves or copies each file with the messages of the file manager (copies in groups with one
// sync each, see kTransferGroupFiles; no copy is named before its data is on disk, no source of a
// move goes before its copy is named): an existing destination is
// auto-renamed or reported ("file " + destination + " already exists. Select another directory
// before moving"), an empty source is reported (source + " has a size of zero. This may be
// because it is not yet closed."), any failure (also a read-only source that would have to be
// copied, or a destination that appeared meanwhile) reports "error moving file " + source and the
// next file follows. The files moved become the last operation to undo (copies do not).
TTransferResult TransferFiles(const TTransferRequest& R, QWidget* Owner = nullptr);

// Files dropped onto a window from the desktop: moves each local file into Folder with the
// same checks (no auto-rename), in drop order. URLs that are not local files are refused with
// "Only local files can be moved here: " + URL. Returns the full paths moved into Folder. The
// moves become the last operation to undo.
QStringList DropFiles(const QList<QUrl>& Urls, const QString& Folder, QWidget* Owner = nullptr);

} // namespace orbisk
