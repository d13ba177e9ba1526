// TFolderTree: the folder tree every window shows (main window, thumbnail explorer, file
// manager, folder chooser). The tree reads folders in the background, so a folder the program
// chooses may get its node only once its parents are read, and may move as its neighbours
// arrive: for a while after the program chose a folder the tree keeps it selected and in view.
// Windows with the same filter share one folder model.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTreeView>

class QFileSystemModel;

namespace orbisk {

class TFolderTree : public QTreeView {
  Q_OBJECT
public:
  // Filter: the folders listed (the main window and the file manager list hidden ones too,
  // the explorer and the chooser the drives).
  explicit TFolderTree(QDir::Filters Filter, QWidget* Parent = nullptr);

  QFileSystemModel* Model() const { return FModel; }
  // The folder of the current node; otherwise the folder last chosen by the program (a folder
  // the tree does not show), or "".
  QString CurrentFolder() const;
  // Makes Folder the current node without emitting FolderChanged, and keeps it in view while
  // the tree is read. A folder the tree does not show leaves no current node. Returns whether
  // the tree shows the folder now.
  bool SelectFolder(const QString& Folder);
  // Brings the chosen folder into view (selecting it when its node has just been read).
  void Reveal();
  // How long after SelectFolder the chosen folder is followed, milliseconds.
  static constexpr int FollowMs = 3000;

signals:
  // The user made another folder current (not emitted for SelectFolder).
  void FolderChanged(const QString& Folder);

private:
  void Loaded();

  QFileSystemModel* FModel = nullptr;
  QString FChosen;
  QElapsedTimer FChosenAt;
};

} // namespace orbisk
