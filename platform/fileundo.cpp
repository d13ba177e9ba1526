#include "platform/fileundo.h"

#include "platform/filenames.h"
#include "platform/prompt.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

namespace {

// Also a dangling link takes a name. Names are taken as their bytes (any name, also one that is
// not UTF-8).
bool Taken(const QString& Path) {
  struct stat St;
  return lstat(EncodeFileName(Path).constData(), &St) == 0;
}

QString FolderPart(const QString& Path) {
  return QFileInfo(Path).absolutePath();
}

// Whether the trash entry described by Info is still the one made for Original: once the trash
// was emptied, its name may belong to another deleted file, which must not be taken.
bool InfoNames(const QString& Info, const QString& Original) {
  const int Fd = open(EncodeFileName(Info).constData(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return false;
  QFile F;
  if (!F.open(Fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    close(Fd);
    return false;
  }
  const QByteArray Want = "Path=" + PercentEncodedPath(EncodeFileName(Original));
  for (const QByteArray& Line : F.read(64 * 1024).split('\n'))
    if (Line.startsWith("Path=")) return Line.trimmed() == Want;
  return false;
}

} // namespace

TFileUndo& FileUndo() {
  static TFileUndo* U = new TFileUndo(); // lives as long as the program
  return *U;
}

void TFileUndo::RecordTrash(const QList<TTrashedFile>& Files) {
  if (Files.isEmpty()) return;
  FKind = TFileUndoKind::fuTrash;
  FItems.clear();
  FInfos.clear();
  for (const TTrashedFile& F : Files) {
    FItems.append({F.Original, F.TrashedPath});
    FInfos << F.InfoPath;
  }
  emit Changed();
}

void TFileUndo::RecordRenames(const QList<TFileMove>& Renames) {
  if (Renames.isEmpty()) return;
  FKind = TFileUndoKind::fuRename;
  FItems = Renames;
  FInfos.clear();
  emit Changed();
}

void TFileUndo::RecordMoves(const QList<TFileMove>& Moves) {
  if (Moves.isEmpty()) return;
  FKind = TFileUndoKind::fuMove;
  FItems = Moves;
  FInfos.clear();
  emit Changed();
}

void TFileUndo::Clear() {
  if (FKind == TFileUndoKind::fuNone) return;
  FKind = TFileUndoKind::fuNone;
  FItems.clear();
  FInfos.clear();
  emit Changed();
}

QString TFileUndo::Caption() const {
  switch (FKind) {
  case TFileUndoKind::fuTrash:
    return "Undo Delete";
  case TFileUndoKind::fuRename:
    return "Undo Rename";
  case TFileUndoKind::fuMove:
    return "Undo Move";
  case TFileUndoKind::fuNone:
    break;
  }
  return "Undo";
}

TFileUndo::TResult TFileUndo::Undo() {
  TResult R;
  if (FKind == TFileUndoKind::fuNone) return R;
  // First every file is checked, so that a refusal changes nothing. A name that another file of
  // the same operation holds now is free by the time its file goes back (last first).
  QSet<QString> Leaving;
  for (const TFileMove& M : FItems)
    Leaving.insert(M.To);
  for (qsizetype I = 0; I < FItems.size(); ++I) {
    const TFileMove& M = FItems[I];
    if (!Taken(M.To) || (FKind == TFileUndoKind::fuTrash && !InfoNames(FInfos.value(I), M.From))) {
      R.Errors << (FKind == TFileUndoKind::fuTrash
                       ? "Cannot undo: " + M.From + " is no longer in the trash"
                       : "Cannot undo: " + M.To + " is no longer there");
    } else if (Taken(M.From) && !Leaving.contains(M.From)) {
      R.Errors << "Cannot undo: " + M.From + " already exists";
    } else if (!StatPath(FolderPart(M.From)).IsDir) {
      R.Errors << "Cannot undo: the folder " + FolderPart(M.From) + " is no longer there";
    }
    if (!R.Errors.isEmpty()) return R;
  }
  QList<TFileMove> Left;
  QStringList LeftInfos;
  for (qsizetype I = FItems.size() - 1; I >= 0; --I) {
    const TFileMove& M = FItems[I];
    try {
      // Renames and the trash stay on one file system; a move may have crossed to another.
      if (FKind == TFileUndoKind::fuMove)
        MoveFile(M.To, M.From);
      else
        RenameNoReplaceFile(M.To, M.From, "Cannot undo: error moving file " + M.To);
    } catch (const EFileOpTargetExists&) {
      R.Errors.prepend("Cannot undo: " + M.From + " already exists");
      Left.prepend(M);
      if (FKind == TFileUndoKind::fuTrash) LeftInfos.prepend(FInfos.value(I));
      continue;
    } catch (const std::exception&) {
      R.Errors.prepend("Cannot undo: error moving file " + M.To);
      Left.prepend(M);
      if (FKind == TFileUndoKind::fuTrash) LeftInfos.prepend(FInfos.value(I));
      continue;
    }
    // The entry's info goes with it, while it still describes the file taken back (nothing
    // else's info is removed).
    if (FKind == TFileUndoKind::fuTrash && InfoNames(FInfos.value(I), M.From))
      unlink(EncodeFileName(FInfos.value(I)).constData());
    R.Restored.prepend(M.From);
    for (const QString& F : {FolderPart(M.From), FolderPart(M.To)})
      if (!R.Folders.contains(F)) R.Folders << F;
  }
  FItems = Left;
  FInfos = LeftInfos;
  if (FItems.isEmpty()) FKind = TFileUndoKind::fuNone;
  emit Changed();
  return R;
}

bool UndoFileOperation(QWidget* Owner) {
  const TFileUndo::TResult R = FileUndo().Undo();
  for (const QString& E : R.Errors)
    ShowMessage(E, Owner);
  for (const QString& F : R.Folders)
    NotifyFolderChanged(F);
  return !R.Restored.isEmpty();
}

} // namespace orbisk
