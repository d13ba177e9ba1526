// TForm1: the main window. Folder tree and file list on the left, the picture area on the right,
// a two-row tool bar, the menus and a five-panel status bar. The listing, sorting and settings
// logic lives in filelist, typemask, mainsettings and bookmarks, showing files in the display
// controller and the slide show in its own unit; this class wires them to the widgets. Each
// command is one action, named like its field, in every menu and tool bar that shows it; the
// commands of tools given to the window later (the thumbnail explorer and the sheet creator) are
// enabled when they are given.
#pragma once

#include "platform/foldertree.h"
#include "view/typemask.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QFileSystemModel;
class QLabel;
class QMenu;
class QPrinter;
class QProgressBar;
class QSpinBox;
class QSplitter;
class QToolBar;
class QTreeView;

namespace orbisk {

class TDisplayController;
class TFileListModel;
class TSlideShow;
class TPGImage;
class TfPrefs;
class TfBMEdit;
class TfrmEXIF;
class TfrmFileProp;
class TfrmConvert;
class TfSearch;
class TfRename;
class TFileAttrForm;
class TfDirAdd;
class TfrmIncRename;
class TfSelectFiles;
class TfrmThumbnails;
class TfrmThumbEdit;
class TfAlbum;
class TfrmAcquire;

// The about box.
class TfAbout : public QDialog {
  Q_OBJECT
public:
  explicit TfAbout(QWidget* Parent = nullptr);
};

class TForm1 : public QMainWindow {
  Q_OBJECT
public:
  // Reads the settings and bookmarks (the window's creation).
  explicit TForm1(QWidget* Parent = nullptr);
  ~TForm1() override;

  // The file named on the command line, shown when the window is first shown.
  void SetStartFile(const QString& Path) { FStartFile = Path; }
  // Windows created by the program at start-up; made on demand when not given.
  void SetPrefsWindow(TfPrefs* W) { FPrefs = W; }
  void SetBookmarkEditor(TfBMEdit* W) { FBMEdit = W; }
  void SetAboutBox(TfAbout* W) { FAbout = W; }
  void SetFilePropWindow(TfrmFileProp* W);
  void SetExifWindow(TfrmEXIF* W);
  // The album window ("Folvanas"); made on demand when not given.
  void SetAlbumWindow(TfAlbum* W);
  TfAlbum* AlbumWindow();
  // The image editor; its hooks are set to this window's folder, list and help.
  void SetEditorWindow(TfrmAcquire* W);
  TfrmAcquire* EditorWindow();
  TfrmFileProp* FilePropWindow();
  // The thumbnail explorer and the sheet creator: their commands join and their hooks are set.
  void SetThumbnailWindows(TfrmThumbnails* Explorer, TfrmThumbEdit* Creator);
  TfrmThumbnails* ThumbnailExplorer() const { return FThumbnails; }
  TfrmThumbEdit* TesslyCreator() const { return FThumbEdit; }
  TfrmEXIF* ExifWindow();
  TfPrefs* PrefsWindow();
  TfBMEdit* BookmarkEditor();
  void SetConverterWindow(TfrmConvert* W);
  void SetSearchWindow(TfSearch* W);
  TfrmConvert* ConverterWindow();
  TfSearch* SearchWindow();
  // The bookmarks file (the user's unless replaced).
  QString BookmarksFile;

  // ---- folder listing
  // Lists the folder into the file list and sets the file count panel; the caller sorts.
  // Raises std::runtime_error when the folder cannot be read (the list is then empty).
  void ListFolder(const QString& Folder);
  // Sorts the list with the current sort state; "Error sorting items" on failure.
  void SortList();
  // Clears the selection and selects the first file whose name begins with Name.
  void SelectFileByName(const QString& Name);
  // The folder selected in the tree ("" when none).
  QString SelectedFolder() const;
  // Selects the folder in the tree, which lists it.
  void SetSelectedFolder(const QString& Folder);
  QString FolderWithSeparatorOfList() const;
  // The file list's selected rows, ascending.
  QList<int> SelectedRows() const;
  int SelectedCount() const { return SelectedRows().size(); }

  // ---- showing a file (served by the display controller, in request order)
  void ShowFile(const QString& Path);
  // Fits the shown picture into the picture area.
  void FitShown();
  // The file whose display was requested last, and its type.
  QString ShownFile() const;
  QString ShownType() const;

  // ---- state
  QString TypeMask() const { return FTypeMask; }
  void RebuildTypeMask();
  bool AllFiles() const;
  bool DeletePermanently() const { return FDeletePermanently; }
  bool ConfirmDeletions() const { return FConfirmDeletions; }
  bool BGColorChanged() const;
  void SetPictureAreaColor(const QColor& C, bool ByUser);
  QColor PictureAreaColor() const;
  // Time taken by the last listing and sort, milliseconds.
  qint64 LastListMs() const { return FLastListMs; }

  // The picture area's display controller and the slide show's timer.
  TDisplayController& PictureDisplay() const { return *Display; }
  TSlideShow& SlideShowTimer() const { return *SlideShow; }
  // The file list as listed and sorted, and the width of one of its columns.
  const TFileListModel& ListModel() const { return *FileList; }
  int ListColumnWidth(int Column) const;
  void ClearListSelection();
  // Draws the list again (its items may look different now).
  void RepaintList();
  // Sets up a printer for "Print Image" and prints on it at once (false cancels). Unset: the
  // print preview of the shared printer.
  std::function<bool(QPrinter& Printer)> PrintSetup;

  // ---- handlers
  void FormShow();
  void FormClose();
  void ShellTreeView1Change();
  void ListView1SelectItem();
  void ListView1ColumnClick(int Column);
  void PopupMenu1Popup();
  void EXIFData1Click();
  void ImageProperties1Click();
  // The converter for the one selected file ("Click on an image filename first" otherwise).
  void ConvertClick();
  void SearchFiles1Click();
  // Lists the file's folder, selects the file (by name, else the first name it begins) and
  // shows it.
  void ShowFileInList(const QString& Path);
  // "Image Editor": shows the editor; "Edit with Orbisk...": the selected file in it.
  void ImageEditorClick();
  void EditWithOrbiskClick();
  // The full path of the one selected file, or an empty text.
  QString SelectedFile() const;
  void RefreshListClick();
  void ViewAllFilesClick();
  void NextImageButtonClick();
  void PreviousImageButtonClick();
  void AutoZoomButtonClick();
  void ZoomIn1Click();
  void ZoomOut1Click();
  void SetColor1Click();
  void CopyToClipboard1Click();
  void EditWithExternalClick();
  void PrintImageClick();
  void RunButtonClick(bool Down);
  // Full screen: the picture area alone on the whole screen (menus, bars and the left pane
  // hidden); leaving brings the window back as it was.
  bool IsFullScreen() const { return FFullScreen; }
  void SetFullScreen(bool On);
  void SetPreferences1Click();
  void AddBookmark1Click();
  void EditBookmarks1Click();
  void RebuildBookmarksMenu();
  void BookmarkClick(const QString& Folder);
  void RefreshTreeClick();
  void HelpContents();
  void AboutOrbisk1Click();
  // File operations (mainfileops.cpp).
  void DeleteFilesClick();
  void RenameFileClick();
  void FileAttributesClick();
  void AddFolderClick();
  void DeleteFolderClick();
  void IncrementalRenameClick();
  void MoveFilesClick();
  // Files dropped from the desktop: moved into the listed folder.
  void DropUrls(const QList<QUrl>& Urls);
  TfRename* RenameDialog();
  TFileAttrForm* AttributesDialog();
  TfDirAdd* DirAddDialog();
  TfrmIncRename* IncRenameWindow();
  TfSelectFiles* SelectFilesWindow();
  void SetSelectFilesWindow(TfSelectFiles* W) { FSelectFiles = W; }
  // Lists the folder again and selects Name (prefix match) when given, which shows it.
  void RelistAndSelect(const QString& Name);

  // The status bar text of a panel.
  QString PanelText(int Panel) const;
  void SetPanelText(int Panel, const QString& Text);

  // Tells the window of an open request from another run (the path or command it shows).
  void NotifyOpenRequest(const QByteArray& Target) { emit OpenRequest(Target); }

signals:
  // Once, when the window has been shown the first time and the start-up list is made.
  void FirstShown();
  // Every open request from another run that the window shows: its path or command.
  void OpenRequest(const QByteArray& Target);
  // The listed folder became another one.
  void FolderChanged(const QString& Folder);

protected:
  void showEvent(QShowEvent* E) override;
  void closeEvent(QCloseEvent* E) override;
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dropEvent(QDropEvent* E) override;

private:
  // Shows the picture area and its viewers; the slide show's timer.
  std::unique_ptr<TDisplayController> Display;
  std::unique_ptr<TSlideShow> SlideShow;

  // ---- widgets
  QToolBar *ToolBar1 = nullptr, *ToolBar2 = nullptr;
  QSpinBox* SecondsEdit = nullptr;
  QSplitter *Splitter1 = nullptr, *Splitter2 = nullptr; // left pane | picture; tree / list
  QFileSystemModel* FolderModel = nullptr;
  TFolderTree* ShellTreeView1 = nullptr;
  TFileListModel* FileList = nullptr;
  QTreeView* ListView1 = nullptr;
  QWidget* ImagePanel = nullptr;
  TPGImage* PGImage1 = nullptr;
  std::array<QLabel*, 5> StatusPanels{};
  QLabel* BusyLamp = nullptr;
  QProgressBar* PrintGauge = nullptr;
  QMenu *FileMenu = nullptr, *EditMenu = nullptr, *BookmarksMenu = nullptr, *ToolsMenu = nullptr,
        *HelpMenu = nullptr, *PopupMenu1 = nullptr, *TreePopupMenu = nullptr;

  // ---- commands (tool buttons)
  QAction *PreviousImageButton, *NextImageButton, *RunButton, *EditorButton, *ConvertButton,
      *SearchButton, *BGColorButton, *AutoZoomButton;
  // File menu
  QAction *MoveFiles1, *EditInOrbisk1, *EditInExternal1, *RenameFile1, *DeleteFile1,
      *FileAttributes1, *SearchFiles1, *PageSetup1, *PrintFolderListing1, *PrintImage1,
      *SetPreferences1, *SetColor1, *Quit1;
  // Edit menu
  QAction *OpenOrbiskEditor1, *OpenExternalEditor1, *CopyToClipboard1;
  // "Undo" of the last file operation (shellcommands.cpp makes it).
  QAction* UndoFileOperation1 = nullptr;
  // Bookmarks menu
  QAction *AddBookmark1, *EditBookmarks1;
  // Tools menu
  QAction *Shiftra1, *Paintrel1, *Folvanas1, *Transmo1, *Quenty1, *ThumbnailExplorer1,
      *TesslyCreator1;
  // Help menu
  QAction *Contents1, *SearchForHelpOn1, *FeatureOverview1, *HowToUseHelp1, *WebSite1, *Email1,
      *AboutOrbisk1;
  // Pop-up menu of the list and the picture area
  QAction *ZoomIn1, *ZoomOut1, *EditWithOrbisk1, *EditWithExternal1, *ConvertWithTransmo1,
      *ViewAllFiles1, *RefreshList1, *RenameFile2, *IncrementalRename1, *DeleteFiles1,
      *FileAttributes2, *EXIFData1, *ImageProperties1, *WallpaperCentered1, *WallpaperTiled1,
      *WallpaperStretched1, *RemoveWallpaper1;
  // The selection's batch conversion (Tools menu and pop-up menu).
  QAction* ConvertAndResize1 = nullptr;
  // Folder tree pop-up
  QAction *AddFolder1, *DeleteFolder1, *RefreshTree1;
  // View menu (also at the end of the pop-up menu): zoom and full screen. The keys of the zoom,
  // pan and full-screen stepping commands belong to the picture area.
  QMenu* ViewMenu = nullptr;
  QLabel* ZoomPanel = nullptr;
  QAction *ActualSize1, *Enlarge1, *Reduce1, *Fit1, *FullScreen1, *LeaveFullScreen1, *PanLeft1,
      *PanRight1, *PanUp1, *PanDown1, *FullScreenNext1, *FullScreenPrevious1;
  void CreateViewActions();
  // An arrow key: pans when the picture is larger than the area that way; in full screen left
  // and right otherwise step to the previous and next file.
  void ArrowKey(int DX, int DY);

  void CreateActions();
  void CreateMenus();
  void CreateToolBars();
  void CreatePanes();
  void CreateStatusBar();
  // The commands with keys; ScopeKeys makes them W's (and its children's).
  QList<QAction*> KeyActions() const;
  void ScopeKeys(QWidget* W);
  void ReadSettings();
  void WriteSettings();
  // Lists and sorts Folder; with Listed, that becomes the listed folder (FolderChanged told
  // after the listing when it is another one).
  void ListAndSort(const QString& Folder, const QString& Listed = QString());
  void SetLamp(bool On);
  void UpdateCopyVisibility(bool OneSelected);
  void SelectRow(int Row, bool Exclusive);
  void StepTo(int Row);
  void SetEditItemsEnabled(bool Enabled);
  QStringList SelectedFullNames() const;
  QStringList NeighbourFiles() const;

  QString FStartFile;
  QString FTypeMask;
  QString FLastName;
  QString FListedFolder;
  bool FDeletePermanently = false, FConfirmDeletions = true;
  // Cleared while an AVI is shown: "Edit with Orbisk..." and the converter do not take videos.
  bool FEditItemsEnabled = true;
  bool FFirstShowDone = false, FClosed = false;
  // Full screen, and what it hid: the window's place, state and pane sizes.
  bool FFullScreen = false, FWasMaximized = false;
  QRect FNormalRect;
  QList<int> FSplit1Sizes, FSplit2Sizes;
  bool FScannerAvailable = false; // the editor's "Select..." and "Acquire..." are enabled
  qint64 FLastListMs = 0;
  QList<QAction*> FBookmarkItems;
  TfPrefs* FPrefs = nullptr;
  TfBMEdit* FBMEdit = nullptr;
  TfrmFileProp* FFileProp = nullptr;
  TfrmEXIF* FExif = nullptr;
  TfrmThumbnails* FThumbnails = nullptr;
  TfrmThumbEdit* FThumbEdit = nullptr;
  TfAlbum* FAlbum = nullptr;
  TfrmAcquire* FEditor = nullptr;
  TfAbout* FAbout = nullptr;
  TfrmConvert* FConvert = nullptr;
  TfSearch* FSearch = nullptr;
  TfRename* FRename = nullptr;
  TFileAttrForm* FAttr = nullptr;
  TfDirAdd* FDirAdd = nullptr;
  TfrmIncRename* FIncRename = nullptr;
  TfSelectFiles* FSelectFiles = nullptr;
};

} // namespace orbisk
