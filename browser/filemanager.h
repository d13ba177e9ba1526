// "File Manager" (TfSelectFiles): a second folder tree and file list for sorting pictures into
// folders. The user previews files one by one and moves or copies them into the folder shown in
// the main window; it can also delete, rename, change attributes, add and delete folders, and
// watch its folder so that arriving files are selected and previewed.
#pragma once

#include <QSize>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <utility>

class QAction;
class QCheckBox;
class QFileSystemWatcher;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QToolBar;
class QTimer;
class QTreeView;

namespace orbisk {

class TFolderTree;
class TFileListModel;
class TPGImage;
class TAnimatedGifViewer;
class TStretchedPictureViewer;
class TAviPlayer;

// The size a picture of W x H gets in the 145-pixel preview box: with r = H / W, r > 1 makes the
// height 145 and the width Round(145 / r), otherwise the width 145 and the height Round(r * 145).
QSize FitPreviewBox(int W, int H);
// The size panel text of the previewed file: Trunc(size / 1024) + 1 followed by "K".
QString PreviewSizeText(qint64 Bytes);
// The sorted names of the folder's files that match the type mask (the "Auto Update" snapshot).
QStringList FolderSnapshot(const QString& Folder, const QString& Mask);
// The first name of the list that the snapshot does not hold ("" when none).
QString FirstNewName(const QStringList& Names, const QStringList& Snapshot);

// What the file manager asks of the window it works with (the main window): its folder, its
// list and its file dialogs. Hooks left empty give "" / false and do nothing.
struct TSelectFilesHooks {
  // The file filter (type mask) the lists use.
  std::function<QString()> TypeMask;
  // The destination folder of moves and copies (the main window's folder).
  std::function<QString()> MainFolder;
  // The name of the main list's single selected file ("" when not one).
  std::function<QString()> MainSelectedName;
  // Refills and sorts the main list.
  std::function<void()> RelistMain;
  // Refills the main list and selects Name there (when listed).
  std::function<void(const QString& Name)> RelistMainAndSelect;
  // The deletion preferences: ask before deleting, and delete instead of using the trash.
  std::function<bool()> ConfirmDeletions;
  std::function<bool()> DeletePermanently;
  // The rename and attributes dialogs on Folder/Name: the new name, "" when cancelled.
  std::function<QString(const QString& Folder, const QString& Name)> Rename;
  std::function<QString(const QString& Folder, const QString& Name)> EditAttributes;
  // The new-folder dialog under Parent: the folder made, "" when cancelled.
  std::function<QString(const QString& Parent)> AddFolder;
  // The image properties window on Path.
  std::function<void(const QString& Path)> ImageProperties;
};

class TfSelectFiles : public QWidget {
  Q_OBJECT
public:
  TfSelectFiles(QWidget* Parent, TSelectFilesHooks Hooks);
  ~TfSelectFiles() override;

  // Shows the window on the stored "SourceDir" (the home folder by default).
  void Open();
  // The source folder (selected in the window's tree).
  QString SourceFolder() const { return FFolder; }
  void SetSourceFolder(const QString& Folder);
  QList<int> SelectedRows() const;
  void SelectRow(int Row, bool Exclusive);
  QString PanelText(int Panel) const;
  // The "Large View" window; a modal viewer unless replaced.
  std::function<void(const QString& Path)> LargeView;
  // How long a move or copy runs before its progress dialog (with Cancel and Esc) shows, in ms.
  int TransferProgressDelay = 800;

  // ---- commands
  void RefreshClick();
  void DeleteClick();
  void RenameClick();
  void TransferClick(bool Move);
  // "Undo": the last file operation (delete to the trash, rename, move) is undone, and both
  // lists are made again.
  void UndoClick();
  void PreviewClick();
  void AttributesClick();
  void ImageInfoClick();
  void LargeViewClick();
  void SelectAllClick();
  void SelectNoneClick();
  void AddFolderClick();
  void DeleteFolderClick();
  void RefreshTreeClick();
  void SaveDefaultPathClick();
  void SetAutoUpdate(bool On);
  // The folder changed on disk while "Auto Update" is on.
  void FolderChangedOnDisk();
  // Preview of a file; the picture's size is shown in panel 3.
  void Preview(const QString& Path);
  // The previewed file, "" when none.
  QString PreviewedFile() const { return FPreviewed; }
  // The widget showing the preview (nullptr when none) and its size.
  QWidget* PreviewWidget() const;

signals:
  // Every change of a status panel (the progress texts of moves and copies among them).
  void OnPanelText(int Panel, const QString& Text);

protected:
  void closeEvent(QCloseEvent* E) override;

private:
  void BuildWindow();
  void SetPanel(int Panel, const QString& Text);
  void ListAndSort();
  void TreeChanged(const QString& Folder);
  void SelectionChanged();
  void UpdateMenu();
  void TakeSnapshot();
  void HidePreviews();
  QString SelectedName() const;
  void SelectByName(const QString& Name);
  void RelistMain(const QString& Folder);
  void RevealSourceFolder();
  QString TypeMask() const;
  // Follows a new file of "Auto Update" until it stops changing ("" stops following).
  void WatchNewFile(const QString& Path);
  void NewFileSettled();

  TSelectFilesHooks FHooks;
  QToolBar* ToolBar;
  QSplitter* Splitter;
  TFolderTree* TreeView;
  TFileListModel* FileList;
  QTreeView* ListView;
  QCheckBox *AutoPreviewCheck, *AutoRenameCheck, *AutoUpdateCheck;
  QPushButton* HelpButton;
  QFrame* PreviewFrame;
  TPGImage* PreviewImage;
  TAnimatedGifViewer* PreviewGif;
  TStretchedPictureViewer* PreviewPicture;
  TAviPlayer* PreviewVideo;
  QLabel* NamePanel;
  std::array<QLabel*, 4> StatusPanels{};
  QLabel* BusyLamp;
  QMenu *ListMenu, *TreeMenu;
  QAction *Refresh1, *Delete1, *Rename1, *Move1, *Copy1, *Preview1, *Attributes1, *ImageInfo1,
      *LargeView1, *SelectAll1, *SelectNone1, *AddFolder1, *DeleteFolder1, *RefreshTree1,
      *SaveDefaultPath1, *Undo1;

  QFileSystemWatcher* FWatcher;
  QString FFolder;
  QString FLastPreviewed, FPreviewed;
  QStringList FSnapshot;
  bool FTransferring = false;
  QTimer* FSettle;
  QString FGrowing;
  // The followed file's size and modification time when it was last previewed.
  std::pair<qint64, qint64> FGrowingStamp{-1, 0};
};

} // namespace orbisk
