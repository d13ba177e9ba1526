// TPGOpenDialog and TPGSaveDialog: the file dialogs with a preview panel. While the user moves
// through the files, the current picture is loaded in a worker thread, shrunk to the preview box
// and shown with a few lines of picture information. The filters come from the format registry;
// the save dialog keeps the typed name's extension in step with the chosen file type.
#pragma once

#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "platform/worker.h"

#include <QColor>
#include <QFileDialog>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orbisk {

// ---- the parts without a window

// "Description|pattern|Description|pattern..." (patterns joined by "; ") as Qt name filters,
// "Description (pattern pattern)". A trailing "|" is allowed.
QStringList NameFiltersFromFilter(const std::string& Filter);
// The size the preview worker shrinks a picture to so it fits a box; unchanged when it fits.
QSize PreviewShrinkSize(int PicW, int PicH, int BoxW, int BoxH);
// Where a preview of PicW x PicH is drawn inside an inner area of AreaW x AreaH: at its size
// when it fits, else fitted keeping its aspect ratio; centred.
QRect PreviewDrawRect(int PicW, int PicH, int AreaW, int AreaH);
// The information lines for a file: type, subtype, options (each when not empty) and the size
// line "WxHxColors Bits bit[, Count]".
QStringList PreviewInfoLines(const TGraphicFileInfo& Info);
// The text for the file-name box after the save type changed to NewExt (no dot), or nothing
// when the box must stay as it is. Text is what the box holds, Folder the dialog's folder.
std::optional<QString> SaveNameForType(const QString& Text, const QString& Folder,
                                       const QString& NewExt);
// Name with ".Ext" appended when it has no extension (Ext without a dot; empty: unchanged).
QString WithDefaultExtension(const QString& Name, const QString& Ext);

// What the preview worker makes for one file.
struct TPreviewRequest {
  std::string Path;
  int BoxWidth = 1, BoxHeight = 1; // inner size of the preview box
  TStretchMode StretchMode = smPrecise;
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  int ScreenBits = 24;
};

// Decides which progress figures are worth sending to the window: a new percentage, and either
// a new 100 ms bucket or a new sixteenth.
class TPreviewProgressGate {
public:
  // Row Row of Rows in step Step; true when (Step, Percent()) should be reported now.
  bool Pass(int Step, int Row, int Rows, int64_t TickMs);
  int Percent() const { return FPercent; }

private:
  int FPercent = 0;
  int FLastStep = 1;
  int64_t FLastBucket = -1;
};

// The worker's job: loads the file (read warnings ignored), shrinks it into the box and adapts
// it to the screen depth. nullptr when the file is missing or unreadable or Cancel was set.
// Progress(Step, Percent) is called from the calling thread.
std::unique_ptr<TPixelGraphic>
MakePreviewPicture(const TPreviewRequest& R, const std::atomic<bool>& Cancel,
                   const std::function<void(int Step, int Percent)>& Progress = nullptr);

// Runs preview jobs on a worker thread. Each job has an identity; starting a job cancels the one
// before, and a result or progress report that is not from the current job is dropped, so a
// slow earlier file never shows up as the preview of the current one. Lives in the GUI thread.
class TPreviewLoader : public QObject {
  Q_OBJECT
public:
  TPreviewLoader();
  ~TPreviewLoader() override; // cancels and waits for the job
  // Cancels the current job, waits for it and starts a new one; returns its identity. Only one
  // job reads at a time: readers are shared by the whole program.
  uint64_t Start(const TPreviewRequest& R);
  // Cancels the current job without waiting; nothing more arrives from it.
  void Stop();
  // Cancels the current job and waits until no job runs.
  void StopAndWait();
  // Waits for the job to end and lets the current one's result arrive (tests, shutdown).
  void WaitForIdle();
  // Waits for the job to end; its result stays queued until events are processed.
  void Join() { FWorker.Wait(); }
  uint64_t Current() const { return FWorker.Current(); }
  uint64_t JobsStarted() const { return FWorker.RunsStarted(); }
  bool Busy() const { return FWorker.Busy(); }

signals:
  // The current job's picture (null when the file could not be read); it is shared with every
  // listener and not changed any more.
  void OnReady(uint64_t Id, std::shared_ptr<const TPixelGraphic> Picture);
  void OnProgress(uint64_t Id, int Step, int Percent);

private:
  void Deliver(uint64_t Id, std::shared_ptr<const TPixelGraphic> Picture);

  TWorker FWorker{this, 1};
};

// Dialog options (the subset the program uses).
enum TOpenOption : unsigned {
  ofReadOnly = 1u << 0,
  ofOverwritePrompt = 1u << 1,
  ofHideReadOnly = 1u << 2,
  ofAllowMultiSelect = 1u << 3,
  ofPathMustExist = 1u << 4,
  ofFileMustExist = 1u << 5,
  ofShareAware = 1u << 6,
};
using TOpenOptions = unsigned;

class TPreviewBox;
class TPreviewInfoBox;

class TPGOpenDialog : public QFileDialog {
  Q_OBJECT
public:
  explicit TPGOpenDialog(QWidget* Parent = nullptr);
  ~TPGOpenDialog() override;

  // Shows the dialog modally; true when the user chose a file (FileName, Files, FilterIndex).
  bool Execute();

  // ---- the values of one execution
  QString FileName;
  QStringList Files;
  QString InitialDir;
  QString Title;
  // Filter text "Description|patterns|..."; rebuilt from the registry at every execution
  // while UseDefaultFilter is set.
  QString Filter;
  int FilterIndex = 1; // 1-based
  bool UseDefaultFilter = true;

  TOpenOptions Options() const { return FOptions; }
  // ofShareAware is always kept; leaving it out is reported through OnMessage.
  void SetOptions(TOpenOptions V);

  // ---- preview
  TStretchMode StretchMode = smPrecise;
  QColor ProgressClockBkColor;   // default: button face
  QColor ProgressClockLineColor; // default: button shadow
  bool ProgressClockVisible = true;
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  bool ShowInfo = true;

  bool IsSaveDialog() const { return FSave; }
  // The file being previewed ("" when none).
  QString PreviewFile() const { return FPreviewPath; }
  const TPixelGraphic* PreviewPicture() const { return FPreview.get(); }
  bool InfoValid() const { return FInfoValid; }
  const TGraphicFileInfo& Info() const { return FInfo; }
  // The lines the information box shows now (none while the information is invalid).
  QStringList ShownInfoLines() const;
  QWidget* PreviewBox() const;
  QWidget* InfoBox() const;
  // Where the preview picture is drawn in the preview box (empty without one).
  QRect PreviewRect() const;
  // Loading figures for the progress clock.
  bool PreviewLoading() const { return FLoader.Busy(); }
  int ProgressStep() const { return FProgressStep; }
  int ProgressPercent() const { return FProgressPercent; }
  TPreviewLoader& Loader() { return FLoader; }
  // Waits for the pending preview: the delay and the worker (tests).
  void WaitForPreview();

signals:
  // Messages to the user; with no receiver connected a message box shows them.
  void OnMessage(const QString& Text);

public:
  // Delay between the last selection change and the start of the preview.
  static constexpr int kPreviewDelayMs = 150;

protected:
  explicit TPGOpenDialog(bool Save, QWidget* Parent);
  void showEvent(QShowEvent* E) override;
  void done(int Result) override;
  // Applies the values to the dialog before it is shown.
  virtual void PrepareExecute();
  // Reads the chosen values after it was accepted.
  virtual void FinishExecute();
  QStringList CurrentNameFilters() const { return FNameFilters; }

private:
  void BuildPanel();
  void SelectionChange(const QString& Path);
  void StartPreview();
  void StopPreview();
  void PreviewArrived(uint64_t Id, std::shared_ptr<const TPixelGraphic> Picture);
  void ProgressArrived(uint64_t Id, int Step, int Percent);
  void ApplyOptions();

  bool FSave;
  TOpenOptions FOptions = ofHideReadOnly | ofShareAware;
  QStringList FNameFilters;
  QTimer FTimer;
  TPreviewLoader FLoader;
  QString FSelectedPath; // the latest selection
  QString FPreviewPath;
  std::shared_ptr<const TPixelGraphic> FPreview;
  bool FInfoValid = false;
  TGraphicFileInfo FInfo;
  int FProgressStep = 1, FProgressPercent = 0;
  TPreviewBox* FPreviewBox = nullptr;
  TPreviewInfoBox* FInfoBox = nullptr;
  bool FPlaced = false;

  friend class TPreviewBox;
  friend class TPreviewInfoBox;
};

class TPGSaveDialog : public TPGOpenDialog {
  Q_OBJECT
public:
  explicit TPGSaveDialog(QWidget* Parent = nullptr);

  // The file-name box's text (the save dialog rewrites it when the type changes).
  QString NameBoxText() const;
  void SetNameBoxText(const QString& Text);

protected:
  void PrepareExecute() override;
  void FinishExecute() override;

private:
  void TypeChanged(const QString& NameFilter);
};

} // namespace orbisk
