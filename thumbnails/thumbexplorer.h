// TfrmThumbnails: the "Thumbnail Explorer". Its own folder tree and file list shown as a list,
// as details or as a grid of thumbnails (64 x 64 unless "Thumbnail Size" says otherwise) that the
// threaded loader makes, those in view first, through the desktop's thumbnail cache unless "Use
// Thumbnail Cache" is off;
// viewing, properties, EXIF data, saving scaled copies, and the list as a drag source marked as
// the explorer's. What it needs from the main window reaches it through the hooks below.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QTreeView;

namespace orbisk {

class TFileListModel;
class TFolderTree;
class TThumbListModel;
class TThumbLoader;
class TfrmSaveThumbnail;
class TfrmFileProp;
class TfrmEXIF;
struct TThumbResult;

enum class TThumbViewStyle { vsList, vsDetails, vsThumbnails };

// The cell sizes of "Thumbnail Size"; the settings values of the explorer's section.
inline constexpr int kThumbCellSizes[] = {64, 96, 128, 192, 256};
inline constexpr const char* kThumbSizeSetting = "ThumbnailExplorer/CellSize";
inline constexpr const char* kThumbCacheSetting = "ThumbnailExplorer/UseThumbnailCache";

class TfrmThumbnails : public QMainWindow {
  Q_OBJECT
public:
  explicit TfrmThumbnails(QWidget* Parent = nullptr);
  ~TfrmThumbnails() override;

  // ---- hooks set by the main window
  // The main window's file filter (type mask) and whether it lists all files.
  std::function<QString()> TypeMask;
  std::function<bool()> AllFiles;
  // The main window's current folder, and a refill and sort of its list.
  std::function<QString()> MainFolder;
  std::function<void()> RelistMain;
  // Shows the sheet creator ("Tessly Creator").
  std::function<void()> ShowTesslyCreator;
  // The properties and EXIF windows (made on demand when not set).
  std::function<TfrmFileProp*()> FilePropWindow;
  std::function<TfrmEXIF*()> ExifWindow;

  // ---- what the main window calls
  // Details view, the tree on Folder, and the window shown.
  void OpenOn(const QString& Folder);
  // After a file operation on Folder: when the window is visible and shows that folder, the list
  // is refilled and sorted and, in the thumbnail view, the thumbnails are made again.
  void FilesChanged(const QString& Folder);

  // ---- state
  QString Folder() const; // the folder listed
  TThumbViewStyle ViewStyle() const { return FStyle; }
  void SetViewStyle(TThumbViewStyle S);
  bool Running() const { return FRunning; }
  bool Loading() const { return FLoader != nullptr; }
  QString LastLoadFolder() const { return FLastLoadFolder; }
  bool ThumbnailsCurrent() const;
  // "Thumbnail Size": one of kThumbCellSizes (stored in the settings; the thumbnail view makes
  // its cells again at the new size).
  int CellSize() const { return FCellSize; }
  void SetCellSize(int S);
  // "Use Thumbnail Cache" (stored in the settings; on by default).
  bool UseThumbnailCache() const { return FUseCache; }
  void SetUseThumbnailCache(bool On);
  QString PanelText(int Panel) const;
  QStringList SelectedNames() const;
  QList<int> SelectedRows() const;

  // ---- commands
  void ChangeFolder(const QString& Folder); // as the tree does
  void MakeThumbnails();
  void EscPressed();
  void ColumnClick(int Column);
  void ViewImageClick();
  void ImagePropertiesClick();
  void EXIFDataClick();
  void SaveAsThumbnailClick();
  // "Convert and Resize...": the selected files in a new batch window.
  void ConvertAndResizeClick();
  void RefreshClick();
  // Refills and sorts the list from the folder shown.
  void Relist();

protected:
  bool eventFilter(QObject* O, QEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;
  void showEvent(QShowEvent* E) override;
  void closeEvent(QCloseEvent* E) override;

private:
  void CreateWidgets();
  void UpdateMenu();
  void StartCursor();
  void EndCursor();
  void TakeCells(uint64_t Generation);
  void EndLoad(bool Completed);
  void StopLoad();
  QString SelectedFile() const;
  void WatchKeys(QWidget* W);
  void PreferVisible();

  // The widgets, models and actions, each named as its member ("FileList", "DetailsView",
  // "ListView1", "Refresh1", ...); the items of "Thumbnail Size" are "SizeActions0".."4" in the
  // order of kThumbCellSizes.
  TFolderTree* FolderTree = nullptr;
  TFileListModel* FileList = nullptr;
  TThumbListModel* ListModel = nullptr;
  QStackedWidget* Views = nullptr;
  QTreeView* DetailsView = nullptr;
  QListView* ListView1 = nullptr; // list and thumbnail views
  QProgressBar* ProgressBar1 = nullptr;
  QAction* ProgressBarAction = nullptr; // its place in the tool bar
  std::array<QLabel*, 5> StatusPanels{};
  QAction *SaveButton, *TesslyButton, *ListButton, *DetailsButton, *ThumbnailsButton;
  QAction *ViewImage1, *ImageProperties1, *EXIFData1, *SaveAsThumbnail1, *Refresh1;
  QAction* ConvertAndResize1 = nullptr;
  QMenu* ViewMenu = nullptr;         // the menu bar's "View"
  QMenu* ThumbnailSize1 = nullptr;   // "Thumbnail Size"
  std::vector<QAction*> SizeActions; // its items, in the order of kThumbCellSizes
  QAction* UseThumbnailCache1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  TfrmSaveThumbnail* SaveDialog = nullptr;
  TThumbViewStyle FStyle = TThumbViewStyle::vsDetails;
  bool FRunning = false;
  bool FSaving = false;
  bool FCursor = false;
  bool FRefilledSinceLoad = true;
  QString FLastLoadFolder;
  QString FListedFolder;
  std::unique_ptr<TThumbLoader> FLoader;
  QStringList FLoadNames; // the names of one load, in list order
  uint64_t FGeneration = 0;
  int FCellSize = 64;
  bool FUseCache = true;
};

} // namespace orbisk
