// TfrmAcquire: the image editor window. One picture in a view between the tool bar and the
// status bar, the operations of the "Image" and "Filters" menus with undo and redo, opening,
// saving, GIF export, printing and screen capture. The undo and the running of operations live
// in TEditorModel; this class wires menus, tool buttons and dialogs to it.
#pragma once

#include "engine/imagemetadata.h"
#include "engine/pixelgraphic.h"
#include "processing/editor/editormodel.h"
#include "processing/editor/losslesssave.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QDialog;
class QFileDialog;
class QLabel;
class QMenu;
class QMimeData;
class QPrinter;
class QProgressBar;
class QScreen;
class QToolBar;

namespace orbisk {

class TEditorFilterDialogs;
class TPGImage;
class TPGOpenDialog;
class TPGSaveDialog;
class TfRotate;
class TfrmBarrel;
class TfrmBorder;
class TfrmColorRez;
class TfrmFileSaveOptions;
class TfrmGaussianBlur;
class TfrmGIFTrans;
class TfrmNewEFX;
class TfrmRedEyeReduction;
class TfrmResize;

class TfrmAcquire : public QMainWindow {
  Q_OBJECT
public:
  // Creates the window and its operation windows and applies the stored placement
  // ("AcquireLeft", "AcquireTop", "AcquireWidth", "AcquireHeight").
  explicit TfrmAcquire(QWidget* Parent = nullptr);
  // Stores the placement.
  ~TfrmAcquire() override;

  // ---- pictures in
  // Every way a picture comes in replaces the one being edited: when that one has changes
  // since it was opened or saved, AskToSaveChanges comes first and its Cancel leaves all as is.
  // The main window's "Edit with Orbisk...", the thumbnail explorer and albums: zoom 1.0, the
  // file becomes the picture and the save name, the undo is cleared and the window shown. A file
  // that cannot be loaded shows "Can not edit " + Path, leaves the picture as it was and gives
  // false (as does Cancel).
  bool EditFile(const QString& Path);
  // A scanned picture file: zoom 1.0, no save name (it is a temporary file), the picture it
  // replaces kept for Undo ("Undo Acquire"); false with "Unable to aquire image" when it cannot
  // be loaded. Counts as unsaved. Asks nothing: "Acquire..." asked before the scan.
  bool LoadAcquiredFile(const QString& Path);
  // A picture handed over directly (zoom 1.0, no save name, the old picture kept for Undo as
  // "Undo Acquire", unsaved); nullptr changes nothing. Asks nothing.
  void TakeAcquiredPicture(std::unique_ptr<TPixelGraphic> Picture);
  // Before the picture is replaced or the window closed: when it changed since it was opened or
  // saved, asks "Save changes to NAME?". Yes saves it (to its file, or through "Save As..." when
  // it has none or its type cannot be written), No goes on without saving, Cancel, or a save
  // that did not happen, gives false. True at once without changes.
  bool AskToSaveChanges();
  // Whether the picture changed since it was opened or saved.
  bool Modified() const { return FModel->Modified(); }
  // Enables "Select..." and "Acquire..." (the main window, when a scanner is there).
  void SetScannerAvailable(bool Available);
  // "Select...": the scanner's source-selection window.
  void SelectSourceClick();
  // "Acquire...": a scan through the scanner's windows, handed over in a temporary BMP file.
  void AcquireClick();
  // Files dragged onto the view: one local file, the editor's picture rule, "Can't edit ".
  bool CanDropFiles(const QMimeData* Data) const;
  void DropFiles(const QMimeData* Data);

  // ---- operations (the filter dialogs run theirs through these)
  // Runs Change on the current picture with the editor's rules: nothing without a picture;
  // the undo snapshot ("Undo " + ActionName) is taken, then Change runs under the hour-glass
  // with the progress gauge; an exception is shown as a message and keeps the snapshot. Call
  // it after the operation's dialog was confirmed. True when Change ran to its end.
  bool RunOperation(const QString& ActionName,
                    const std::function<void(TPixelGraphic& Picture)>& Change);
  // The same for an operation that makes a new picture from the current one (convolution
  // filters); the new picture replaces the current one. Give Progress to the new picture's
  // OnProgress so that the gauge follows it.
  bool RunReplacement(const QString& ActionName, const TEditorModel::TMake& Make);
  // The current picture for previews (nullptr when none; do not keep it).
  TPixelGraphic* Picture() const;
  bool HasPicture() const { return FModel->HasPicture(); }
  TEditorModel& Model() { return *FModel; }
  QString SaveFileName() const { return FSource.SaveName; }
  // What a JPEG save may do without encoding again (see losslesssave.h).
  const TLosslessJPEGTracker& Lossless() const { return FLossless; }
  // How the last "Save As..." wrote the file: true from the DCT coefficients.
  bool LastSaveLossless() const { return FLastSaveLossless; }

  // ---- hooks set by the main window (unset: none)
  std::function<QString()> CurrentFolder; // where the file dialogs start
  // Help topics 370, 380, 590; unset: the manual opens at the topic (ShowHelpTopic). A hook the
  // host supplies (how help is shown, one answer), not an event: events are signals.
  std::function<void(int Topic)> OnHelp;

  // ---- hooks for tests and other hosts
  // Shows an operation's window modally; the dialog result.
  std::function<int(QDialog& Dialog)> ExecDialog;
  // Shows the open or save dialog; true when a file was chosen (its FileName).
  std::function<bool(TPGOpenDialog& Dialog)> ExecFileDialog;
  // Shows the GIF export dialog; the chosen file or an empty text.
  std::function<QString(QFileDialog& Dialog)> ExecGIFDialog;
  // Sets up the printer before printing; false cancels. A print dialog unless replaced.
  std::function<bool(QPrinter& Printer)> PrintSetup;
  // Grabs the screen the window is on (a null image when the desktop refuses).
  std::function<QImage(QScreen* Screen)> GrabScreen;
  // Reads the metadata blocks of an opened file, written again into the files saved from it.
  std::function<TImageMetadata(const QString& Path)> ReadMetadata;

  // ---- handlers
  void NewClick();
  void OpenClick();
  // Shows the save dialog and writes the picture; true when it was written.
  bool SaveAsClick();
  void CloseClick();
  void ExportGIFClick();
  void SaveOptionsClick();
  void PrintClick();
  void UndoClick();
  void RedoClick();
  void RotateClick(long double Angle);
  void RotateArbitraryClick();
  void CropClick();
  void GradientBorderClick();
  void ColorResolutionClick();
  void ResizeClick();
  void RadialAdjustClick();
  void RedEyeClick();
  void GaussianBlurClick();
  void EffectClick(int Effect); // TFastEffect
  void AutoSizeClick(bool Down);
  void TileClick(bool Down);
  void PointerClick();
  void ZoomClick(bool Down);
  void SelectClick(bool Down);
  void ScreenCaptureClick();
  // A click on the picture in zoom mode at picture-box point (X, Y).
  void ZoomPictureClick(bool RightButton, int X, int Y);
  // The picture-change rule: size panel, menus, tiling off.
  void PictureChanged();
  // The size panel's text ("" without a picture).
  QString SizeText() const;
  // How often the gauge was redrawn during the last operation.
  int GaugeUpdates() const { return FGaugeUpdates; }

signals:
  // A file was written into a folder the main window may list.
  void FilesChanged();

protected:
  void showEvent(QShowEvent* E) override;
  // The close box: asks to save changes like "Close"; Cancel keeps the window open.
  void closeEvent(QCloseEvent* E) override;

private:
  // ---- widgets and commands (found by their names, e.g. "Undo1", "PGImage1")
  TPGImage* PGImage1;
  QToolBar* ToolBar1;
  QLabel* StatusPanel0;
  QLabel* StatusPanel1;
  QProgressBar* Gauge; // shown in panel 1 while an operation runs
  QMenu *FileMenu, *EditMenu, *ImageMenu, *FiltersMenu, *HelpMenu;

  // File menu
  QAction *New1, *Open1, *Save1, *SaveAs1, *ExportGIF1, *SaveOptions1, *Print1, *Select1, *Acquire1,
      *Close1;
  // Edit menu
  QAction *Undo1, *Redo1;
  // Image menu
  QAction *Rotate180, *Rotate90CW, *Rotate90CCW, *RotateArbitrary, *FlipHorizontal1, *FlipVertical1,
      *Crop1, *DropShadow1, *WhiteBorder1, *GradientBorder1, *Bevel1, *ColorResolution1, *Resize1,
      *RadialAdjust1;
  // Filters menu
  QAction *RGB1, *CMY1, *YCbCr1, *HSL1, *HSV1, *BCG1, *Greyscale1, *Negative1;
  QAction *Sharpen1, *Detail1, *Smooth1, *Blur1, *Contour1;
  QAction *RedEye1, *GaussianBlur1, *Emboss1, *Fisheye1, *Swirl1, *SprayPaint1, *BWNoise1,
      *ColorNoise1, *Mosaic1, *PencilDrawing1, *Posterize1, *Antique1;
  // Help menu
  QAction *HelpTwain1, *HelpEditing1;
  // Tool buttons
  QAction *AutoSizeButton, *TileButton, *PointerButton, *ZoomButton, *SelectButton, *CaptureButton,
      *RotateLeftButton, *RotateRightButton, *RedEyeButton;

  // ---- operation windows (created with the editor, keeping their values; found by their own
  // names, e.g. "frmBarrel")
  TfrmFileSaveOptions* SaveOptionsWindow;
  TfRotate* RotateWindow;
  TfrmBorder* BorderWindow;
  TfrmColorRez* ColorRezWindow;
  TfrmResize* ResizeWindow;
  TfrmNewEFX* EffectWindow;
  TfrmGIFTrans* GIFTransWindow;
  TfrmRedEyeReduction* RedEyeWindow;
  TfrmBarrel* BarrelWindow;
  TfrmGaussianBlur* GaussianBlurWindow;

  class TGaugeAdapter;
  friend class TGaugeAdapter;
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  // Where the picture came from and what saving it needs; every state in the undo history
  // keeps its own (TKept).
  struct TSource {
    QString SaveName;
    TImageMetadata Metadata; // of the opened file
    bool Upright = false;    // turned upright by its camera orientation when opened
    bool Turned = false;     // turned or flipped since
  };
  // Reads a file into a new picture (turned upright for showing); nullptr with the error.
  std::unique_ptr<TPixelGraphic> ReadPicture(const QString& Path, int& Turned, QString* Error);
  // Reads Path, asks to save the changes, and makes it the picture (zoom 1.0, its save name).
  // UndoAction "" clears the undo; otherwise the picture it replaces is kept for Undo. False,
  // with the reader's error in Error, when the file does not load; false without an error after
  // Cancel.
  bool OpenPicture(const QString& Path, const QString& UndoAction, QString* Error);
  // Makes G the picture. Path is its file ("" for none), Turned the turn it had for showing.
  void InstallPicture(std::unique_ptr<TPixelGraphic> G, const QString& UndoAction,
                      const QString& Path, int Turned, bool Unsaved, bool ResetZoom);
  // Writes the picture to Name (the lossless way where it can); false after a shown error.
  bool SaveTo(const QString& Name);
  void ShowHelp(int Topic);
  // An undoable change under the operation rules (hour-glass, gauge, undo caption, message).
  // The pointer tool: pictures move under the mouse, the stretch follows Auto Size.
  void PointerMode();
  bool RunStep(const std::function<bool(QString* Error)>& Step);
  void BeginOperation();
  void EndOperation();
  void Progress(int Row, int LastRow);
  void SetGaugePercent(int Percent);
  void UpdateUndo();
  int RunDialog(QDialog& D);
  bool RunFileDialog(TPGOpenDialog& D);
  QString StartFolder() const;
  bool SelectionRect(int& Left, int& Top, int& Width, int& Height) const;
  // Runs an operation and keeps the lossless tracking in step: a run that took an undo snapshot
  // (which kept the state before it) forgets the current one, unless Turn (the turn's
  // orientation code, 0 for none) names the right-angle turn or flip it made.
  bool Tracked(int Turn, const std::function<bool()>& Run);

  std::unique_ptr<TEditorModel> FModel;
  TEditorFilterDialogs* FFilters = nullptr; // a child object
  std::unique_ptr<TGaugeAdapter> FGaugeAdapter;
  TProgressPace FPace;
  QElapsedTimer FClock;
  int FOperationDepth = 0;
  int FGaugeUpdates = 0;
  TSource FSource;
  // What a state in the undo history keeps besides its pixels.
  struct TKept {
    TSource Source;
    TLosslessJPEGTracker Lossless;
  };
  QString FLastSaved; // the file the last save wrote
  long double FLastAngle = 0;
  TPGOpenDialog* FOpenDialog = nullptr;
  TPGSaveDialog* FSaveDialog = nullptr;
  TLosslessJPEGTracker FLossless;
  bool FLastSaveLossless = false;
};

} // namespace orbisk
