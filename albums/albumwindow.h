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

class QLineEdit;
class QMimeData;
class QPrinter;

namespace orbisk {

class TfAPrefs;
class TfrmPubWizard;

// TfrmEdit: the caption editor laid over the selected entry's caption cell. Its one field is
// named "Edit".
class TfrmEdit : public QDialog {
  Q_OBJECT
public:
  explicit TfrmEdit(QWidget* Parent = nullptr);
  QString Text() const;
  // Shows Text, all of it selected.
  void SetText(const QString& Text);
  // The height the field needs.
  int FieldHeight() const;
  static constexpr int kWidth = 274, kHeight = 20;

private:
  QLineEdit* FEdit;
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

  // ---- hooks the host (or a test) supplies
  // Full paths of the files the main window lists, in list order.
  std::function<QStringList()> ListedFiles;
  // The web publishing wizard of this album (created on first use, then kept), and showing it
  // modally.
  TfrmPubWizard* PubWizard();
  void ShowPubWizard();
  // File dialogs ("" for cancel); file dialogs unless replaced.
  std::function<QString()> AskOpenFileName;
  std::function<QString()> AskSaveFileName;
  // Shows the preview window for the pages; a print preview dialog unless replaced.
  std::function<void(QPrinter& Printer)> ShowPreview;
  // Lets the caller answer the caption editor (tests); unset: the editor is shown modally.
  std::function<bool(TfrmEdit& Editor)> RunCaptionEditor;
  // Checks the commands' availability again (the web album command follows whether anyone
  // listens to OnCreateWebAlbum).
  void UpdateCommands();

  static constexpr int kWidth = 478, kHeight = 401;

protected:
  void showEvent(QShowEvent* E) override;
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dragMoveEvent(QDragMoveEvent* E) override;
  void dropEvent(QDropEvent* E) override;
  void connectNotify(const QMetaMethod& Signal) override;
  void disconnectNotify(const QMetaMethod& Signal) override;

signals:
  // "Create Web Photo Album": the command is available while this is connected (the program
  // connects it to ShowPubWizard).
  void OnCreateWebAlbum();
  // Shows an entry's picture; not connected: a viewer window of this module.
  void OnViewImage(const QString& Path, int Rotation);
  // The image properties window for a file; not connected: the properties window of the view
  // layer.
  void OnImageProperties(const QString& Path);

private:
  struct Private;
  std::unique_ptr<Private> d;

  void CreateWidgets();
  void CreateActions();
  void RefreshList();
  void UpdateCount();
  void TellReplaced(bool AllKept);
  bool AcceptsDrag(const QMimeData* Data) const;
  QString AlbumDialogFolder(const QString& Remembered) const;
  void RememberAlbumFolder(const QString& AlbumPath);

  bool Listens(const QMetaMethod& Signal) const;

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
