// TfAlbum: the "Orbisk Folvana Maker" window. The user builds an album from files dragged in
// from the program's file lists or imported from the listed folder, orders, turns and captions
// them, saves and opens album files, and lays the album out on printed pages in a preview.
#pragma once

#include "albums/albumdoc.h"
#include "albums/albumprefs.h"
#include "albums/albumrender.h"

#include <QDialog>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMimeData;
class QMenu;
class QPrinter;
class QProgressBar;
class QToolBar;
class QTreeWidget;

namespace orbisk {

class TfAPrefs;
class TfrmPubWizard;

// TfrmEdit: the caption editor laid over the selected entry's caption cell.
class TfrmEdit : public QDialog {
  Q_OBJECT
public:
  explicit TfrmEdit(QWidget* Parent = nullptr);
  QLineEdit* Edit;
  static constexpr int kWidth = 274, kHeight = 20;
};

class TfAlbum : public QMainWindow {
  Q_OBJECT
public:
  explicit TfAlbum(QWidget* Parent = nullptr);
  ~TfAlbum() override;

  // ---- the album
  TAlbumDocument& Document() { return FDoc; }
  TAlbumPrefs& Prefs() { return FPrefs; }
  TfAPrefs* PrefsDialog() const { return FPrefsDialog; }
  // The settings an album file gets now: the preferences' layout and the caption font.
  AlbumSettings CurrentSettings() const;
  // Writes the album to Path; messages for an empty album and for errors. True when written.
  bool SaveAlbum(const QString& Path);
  // Reads Path into the album; the album stays as it was when the file cannot be read.
  bool OpenAlbum(const QString& Path);
  // Appends files as a drop does: only picture types, captions empty, rotation 0.
  int AddFiles(const QStringList& Paths);
  // The selected row (-1 when none).
  int SelectedRow() const;
  void SelectRow(int Row);

  // ---- commands (the menus, tool bar, context menu and keys trigger these)
  void NewClick();
  void OpenClick();
  void SaveClick();
  void SaveAsClick();
  void SelectPrinterClick();
  void PageSetupClick();
  void PreviewClick();
  void ClearAllClick();
  void ImportAllClick();
  void FrameSetupClick();
  void MoveUpClick();
  void MoveDownClick();
  void RotateClockwiseClick();
  void RotateCounterClockwiseClick();
  void ContactSheetClick();
  void CreateWebAlbumClick();
  void ViewImageClick();
  void ImagePropertiesClick();
  void DeleteSelectionClick();
  void EditCaptionClick();

  // ---- the preview run
  // Lays the album out and returns the pages (stops after the current frame on Esc).
  std::vector<TAlbumPage> RunPreview();
  bool Running() const { return FRunning; }
  // Pages of the last run, and painting them onto a printer (the preview window does this).
  const std::vector<TAlbumPage>& Pages() const { return FPages; }
  void PrintPages(QPrinter& Printer);
  QPrinter& Printer();

  // ---- hooks the main window (or a test) sets
  // Full paths of the files the main window lists, in list order.
  std::function<QStringList()> ListedFiles;
  // Shows the web album wizard; the command is available once this is set (the program sets it
  // to ShowPubWizard).
  std::function<void()> OnCreateWebAlbum;
  // The web publishing wizard of this album (created on first use, then kept), and showing it
  // modally.
  TfrmPubWizard* PubWizard();
  void ShowPubWizard();
  // Shows an entry's picture; unset: a viewer window of this module.
  std::function<void(const QString& Path, int Rotation)> OnViewImage;
  // The image properties window for a file; unset: the properties window of the view layer.
  std::function<void(const QString& Path)> OnImageProperties;
  // File dialogs ("" for cancel); file dialogs unless replaced.
  std::function<QString()> AskOpenFileName;
  std::function<QString()> AskSaveFileName;
  // Shows the preview window for the pages; a print preview dialog unless replaced.
  std::function<void(QPrinter& Printer)> ShowPreview;
  // Lets the caller answer the caption editor (tests); unset: the editor is shown modally.
  std::function<bool(TfrmEdit& Editor)> RunCaptionEditor;
  // Called when the web album command's availability should be checked again.
  void UpdateCommands();

  // ---- widgets
  QTreeWidget* ListView1;
  QProgressBar* ProgressBar1;
  QLabel* StatusPanel0;
  QLabel* StatusPanel1;
  QToolBar* ToolBar1;
  QMenu *FileMenu, *EditMenu, *PopupMenu1;
  QAction *New1, *Open1, *Save1, *SaveAs1, *SelectPrinter1, *PageSetup1, *Preview1, *Close1;
  QAction *ClearAll1, *ImportAll1, *FrameSetup1;
  QAction *PageSetupButton, *PreviewButton, *ClearListButton, *ImportButton, *FrameSetupButton,
      *MoveUpButton, *MoveDownButton, *RotateCWButton, *RotateCCWButton, *ContactSheetButton,
      *WebAlbumButton;
  QAction *PreviewAlbum2, *DeleteAll2, *FrameSetup2, *ViewImage2, *ImageProperties2,
      *DeleteSelection2;
  // Remembered folders of the file dialogs.
  QString OpenFolder, SaveFolder;

  static constexpr int kWidth = 478, kHeight = 401;

protected:
  void showEvent(QShowEvent* E) override;
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dragMoveEvent(QDragMoveEvent* E) override;
  void dropEvent(QDropEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;

private:
  void CreateActions();
  void RefreshList();
  void UpdateCount();
  void TellReplaced(bool AllKept);
  bool AcceptsDrag(const QMimeData* Data) const;
  QString AlbumDialogFolder(const QString& Remembered) const;
  void RememberAlbumFolder(const QString& AlbumPath);

  TAlbumDocument FDoc;
  TAlbumPrefs FPrefs;
  TfAPrefs* FPrefsDialog;
  TfrmPubWizard* FPubWizard = nullptr;
  std::unique_ptr<QPrinter> FPrinter;
  std::vector<TAlbumPage> FPages;
  TPrintPage FPagesPage;
  size_t FRunEntries = 0; // entries the last run went through
  bool FRunning = false;
  bool FPrefsLoaded = false;
  QString FLastAlbumFolder; // folder of the album last opened or saved
};

// Whether a file may join an album by drag and drop: its upper-cased extension is one of
// .JPG .GIF .BMP .ICO .TIF .PNG .PCX .TGA .WMF.
bool IsAlbumPictureFile(const QString& Path);

} // namespace orbisk
