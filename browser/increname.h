// "Incremental File Rename": a list of files renamed to one new name with a running number.
// A modeless window that stays on top; files come from the main list (its selection when it
// opens, "Import Current Directory") or are dragged from the program's file lists.
#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>

class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QAction;

namespace orbisk {

class TfrmIncRename : public QWidget {
  Q_OBJECT
public:
  explicit TfrmIncRename(QWidget* Parent = nullptr);

  // Opening from the main window: the list is cleared and takes the selected files when there
  // are several.
  void OpenWith(const QStringList& SelectedFullNames);
  // Adds full paths to the list (drops filter them by type first).
  void AddFiles(const QStringList& FullNames);
  QStringList Lines() const;

  // Every file of the main list ("Import Current Directory"), full paths.
  std::function<QStringList()> CurrentDirectoryFiles;
  void RenameClick();
  void ClearAllClick();
  void DeleteSelectedClick();
  void ImportCurrentDirectoryClick();

signals:
  // Files were renamed (the lists showing them refill).
  void OnRenamed();

protected:
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dragMoveEvent(QDragMoveEvent* E) override;
  void dropEvent(QDropEvent* E) override;

private:
  QListWidget* FileListBox;
  QLineEdit *NewNameEdit, *NumberEdit;
  QPushButton *RenameButton, *CancelButton, *HelpButton;
  QMenu* PopupMenu;
  QAction *ClearAll1, *DeleteSelected1, *ImportCurrentDirectory1, *Close1;
};

} // namespace orbisk
