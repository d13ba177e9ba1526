// The display copy of the picture view: a colour-reduced copy for palette screens or a
// resampled copy for smooth stretch modes, prepared in the GUI thread or in a worker thread.
#pragma once

#include "engine/pixelgraphic.h"
#include "platform/worker.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace orbisk {

// The view's properties that steer the preparation.
struct TDisplayCopySettings {
  bool Allow24BitStretch = false;
  bool Dither = true;
  uint8_t DitherErrorLimit = 32;
  bool DitherErrorLimitAuto = true;
  bool DitherErrorLimitSoft = true;
  bool KeepOldPaintPixelGraphic = false;
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  bool RGBWeighting = true;
  bool ReduceOnLoad = false;
  TStretchMode StretchMode = smFast;
  bool UseThread = true;
};

// Whether a picture of this depth, kind and size shown in a box of BoxW x BoxH on a screen of
// ScreenDepth bits needs a display copy. Stale: the current copy no longer fits.
bool DisplayCopyWanted(int ScreenDepth, int PictureBitCount, TPaletteIdent PictureKind, int PicW,
                       int PicH, int BoxW, int BoxH, const TDisplayCopySettings& S, bool Stale);

// How one run makes its copy.
struct TDisplayCopyPlan {
  bool Resample24 = false; // resample into a 24-bit intermediate of the box size first
  int DestBitCount = 24;   // 4, 8 or 24
  TPaletteIdent DestPalette = pTrueColor; // a fixed kind, pOptimized252Sys16 or pSource
  bool Optimized = false;                 // build the optimized palette
  int DestWidth = 0, DestHeight = 0;
  int Steps = 1;
};
TDisplayCopyPlan PlanDisplayCopy(int ScreenDepth, const TPixelGraphic& Source, int BoxW, int BoxH,
                                 const TDisplayCopySettings& S);

// Percentage reported for row Step of a run whose last row is Max.
int ProgressPercent(int Step, int Max);

// One preparation run. It reads Source (not owned; the owner keeps it unchanged while the run
// may be reading) and writes its own intermediate and destination pictures.
class TCreatePaintPGThread {
public:
  TCreatePaintPGThread(const TPixelGraphic& Source, const TDisplayCopyPlan& Plan,
                       const TDisplayCopySettings& S);
  TCreatePaintPGThread(const TCreatePaintPGThread&) = delete;
  TCreatePaintPGThread& operator=(const TCreatePaintPGThread&) = delete;

  // Does the work. Ends with OnFinished(destination), or with nothing when terminated.
  void Execute();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  int Step() const { return FStep; }

  // Called from the executing thread.
  std::function<void(int Step, int Percent)> OnProgressReport;
  std::function<void(std::unique_ptr<TPixelGraphic> Copy)> OnFinished;

private:
  void Progress(int Row, int Max, bool& Abort);
  void CopyThroughTable(const TPixelGraphic& From, TPixelGraphic& To);

  const TPixelGraphic& FSource;
  TDisplayCopyPlan FPlan;
  std::unique_ptr<TPixelGraphic> FIntermediate; // only when made for this run
  std::unique_ptr<TPixelGraphic> FDestination;
  std::atomic<bool> FTerminated{false};
  int FStep = 1;
  int FLastPercent = 0;
  int64_t FLastTick = 0;
};

// The view's side of the preparation: the copy, its staleness, the run, its progress figures
// and the hand-over. Lives in the GUI thread; results come back through queued calls that own
// them, tagged with the run that made them, so a late result never reaches a newer picture.
class TDisplayCopyPreparer : public QObject {
  Q_OBJECT
public:
  TDisplayCopyPreparer();
  ~TDisplayCopyPreparer() override;

  // Asked at every paint. Returns whether the view must draw the copy (which may not exist yet)
  // and starts a run when one is needed and none is valid.
  bool PaintCopyNeeded(const TPixelGraphic* Source, int BoxW, int BoxH,
                       const TDisplayCopySettings& S);
  // Terminates the run and waits for it; its result is dropped.
  void Stop();
  // Waits for the run to end normally and hands its result over now.
  void WaitAndDeliver();
  // Waits for the worker to end; its result stays queued until events are processed.
  void Join();
  void MarkStale() { FStale = true; }
  bool Stale() const { return FStale; }
  // Drops the copy (after stopping) unless it may be kept: then it is only marked stale.
  void Release(const TDisplayCopySettings& S);

  const TPixelGraphic* Copy() const { return FCopy.get(); }
  bool Running() const { return FRunning; }
  int Step() const { return FStep; }
  int Steps() const { return FSteps; }
  int Percent() const { return FPercent; }
  int CopyWidth() const { return FMadeWidth; }
  int CopyHeight() const { return FMadeHeight; }
  uint64_t RunsStarted() const { return FRunId; }

  // With ReduceOnLoad: the copy replaces the source picture (the view takes it over).
  std::function<void(std::unique_ptr<TPixelGraphic> Copy)> OnReduce;

signals:
  // A fresh copy was stored (repaint).
  void OnCopyReady();
  // The progress figures changed (redraw the clocks).
  void OnProgressChange();

private:
  void Start(const TPixelGraphic& Source, int BoxW, int BoxH, const TDisplayCopySettings& S);
  void Deliver(uint64_t Run, std::unique_ptr<TPixelGraphic> Copy, bool Reduce);

  std::unique_ptr<TPixelGraphic> FCopy;
  bool FStale = true;
  int FMadeWidth = 0, FMadeHeight = 0;
  std::shared_ptr<TCreatePaintPGThread> FRun; // shared with the worker's job while it runs
  TWorker FWorker{this, 1};
  uint64_t FRunId = 0;     // identity of the latest run
  uint64_t FAcceptRun = 0; // the run whose result may still arrive (0: none)
  bool FRunning = false;
  bool FStopped = true; // no run, or the last one was stopped before it ended
  int FStep = 1, FSteps = 1, FPercent = 0;
};

} // namespace orbisk
