// The small file dialogs shared by the main window and the file manager: renaming one file,
// its attributes, and a new folder. Each dialog carries out its operation through
// platform/fileops.h, so the messages are the same wherever it is opened from.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace orbisk {

// "Rename File": the old name and an edit box pre-filled with it.
class TfRename : public QDialog {
  Q_OBJECT
public:
  explicit TfRename(QWidget* Parent = nullptr);
  // Shows the dialog for Folder/OldName; on OK renames without replacing. Returns the new name,
  // or an empty text when cancelled or when the rename failed (after its message).
  QString Execute(const QString& Folder, const QString& OldName);

private:
  QLabel* OldNameLabel;
  QLineEdit* NewNameEdit;
};

// "File attributes": read-only (owner write bit) and hidden (leading dot); archive and system
// are shown and disabled.
class TFileAttrForm : public QDialog {
  Q_OBJECT
public:
  explicit TFileAttrForm(QWidget* Parent = nullptr);
  // Shows the attributes of Folder/Name; on OK writes what changed. Returns the file's full path
  // afterwards (changed by hiding or unhiding it), or an empty text when nothing was written.
  QString Execute(const QString& Folder, const QString& Name);

private:
  QLabel *FileNameLabel, *PathLabel, *LastChangeLabel;
  QCheckBox *ReadOnlyCheck, *ArchiveCheck, *SystemCheck, *HiddenCheck;
};

// "Add New Folder": a folder under the current one.
class TfDirAdd : public QDialog {
  Q_OBJECT
public:
  explicit TfDirAdd(QWidget* Parent = nullptr);
  // Shows the dialog with an empty, focused name; on OK creates the folder. Returns its path,
  // or an empty text when cancelled or when it could not be made (after the warning).
  QString Execute(const QString& Parent);

private:
  QLabel* CurrentDirLabel;
  QLineEdit* NewFolderEdit;
};

} // namespace orbisk
