// Undo of the last file operation: files moved to the trash come back to their names, renamed
// files get their old names back and moved files return to their folders. One operation is kept
// for the whole program (the main window, the file manager and the other windows that move or
// delete files share it). Nothing is ever put back over a file that took the name meanwhile.
#pragma once

#include "platform/fileops.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace orbisk {

// A file that was at From and is at To now (full paths).
struct TFileMove {
  QString From, To;
};

enum class TFileUndoKind { fuNone, fuTrash, fuRename, fuMove };

class TFileUndo : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;

  // Each record replaces the one before it; an empty list changes nothing.
  void RecordTrash(const QList<TTrashedFile>& Files);
  void RecordRenames(const QList<TFileMove>& Renames);
  void RecordMoves(const QList<TFileMove>& Moves);
  void Clear();

  TFileUndoKind Kind() const { return FKind; }
  bool CanUndo() const { return FKind != TFileUndoKind::fuNone; }
  // "Undo", "Undo Delete", "Undo Rename" or "Undo Move".
  QString Caption() const;

  struct TResult {
    QStringList Restored; // the paths the files have again
    QStringList Errors;   // why files stayed where they are
    QStringList Folders;  // folders whose files changed
  };
  // Puts the files back. When any file's old name is taken now, or a file is no longer where the
  // operation left it, or its old folder is gone, nothing is changed and the reason is the one
  // error; the record stays, so that it can be undone once the name is free. A file that
  // fails on the way (something took its name in the meantime) is reported and the others
  // follow; the files put back leave the record.
  TResult Undo();

signals:
  // The record changed (the windows' "Undo" entries follow its caption).
  void Changed();

private:
  TFileUndoKind FKind = TFileUndoKind::fuNone;
  QList<TFileMove> FItems; // for the trash: From the old path, To the file in the trash
  QStringList FInfos;      // the trash's ".trashinfo" of each item
};

TFileUndo& FileUndo();

// The windows' "Undo" command: undoes the last file operation, shows every error, and announces
// the changed folders. True when a file was put back.
bool UndoFileOperation(QWidget* Owner = nullptr);

} // namespace orbisk
