// The live preview of a colour filter dialog. A source worker stretches the picture being edited
// into a small 24-bit preview source; after the last control change a one-shot timer starts a
// destination worker that filters the preview source with its own filter object. Results reach
// the window's thread only as posts of the worker's current run, which own them; stale results
// are dropped, and Stop (also the destructor) stops and joins both workers before anything they
// use goes away.
#pragma once

#include "engine/pixelgraphic.h"
#include "platform/worker.h"
#include "processing/filter.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

namespace orbisk {

// Fills the preview source from the picture on its own worker; Stop makes the copy abort after
// the current row.
class TCreateSrcPGThread {
public:
  // Done runs on Owner's thread when the copy finished without being stopped.
  TCreateSrcPGThread(QObject* Owner, const TPixelGraphic& Picture, TPixelGraphic& Source,
                     std::function<void()> Done);
  ~TCreateSrcPGThread() = default; // stops and joins (the worker)
  // Asks the copy to end; Done no longer arrives.
  void Stop() { FWorker.Cancel(); }
  void Join() { FWorker.Wait(); }

private:
  TWorker FWorker;
};

// Applies its own filter from the preview source into a new picture on its own worker, handed to
// Done on Owner's thread unless the worker was stopped first (the picture is then freed unseen).
class TCreateDestPGThread {
public:
  using TDone = std::function<void(std::unique_ptr<TPixelGraphic>)>;
  TCreateDestPGThread(QObject* Owner, const TPixelGraphic& Source,
                      std::unique_ptr<TPGFilter> Filter, TDone Done);
  ~TCreateDestPGThread() = default; // stops and joins (the worker)
  void Stop() { FWorker.Cancel(); }
  void Join() { FWorker.Wait(); }

private:
  TWorker FWorker;
};

class TFilterPreview : public QObject {
  Q_OBJECT
public:
  using TFilterFactory = std::function<std::unique_ptr<TPGFilter>()>;
  using TResultEvent = std::function<void(std::unique_ptr<TPixelGraphic>)>;
  static constexpr int BoxSize = 140;

  // Picture (null or empty: an empty preview) must not change until Stop returns.
  TFilterPreview(const TPixelGraphic* Picture, TFilterFactory Factory, QObject* Parent = nullptr);
  ~TFilterPreview() override;

  // Sizes the preview source and starts the source worker.
  void Start();
  // A control changed: the running computation is told to stop and the timer restarts.
  void SettingsChanged();
  // Stops and joins both workers and frees the preview source; later results are dropped.
  void Stop();

  // Shown results go here (on the window's thread).
  TResultEvent OnResult;
  int TimerInterval = 100;

  // State for hosts and tests.
  bool SourceReady() const { return FSourceReady; }
  const TPixelGraphic* PreviewSource() const { return FSourceReady ? FSource.get() : nullptr; }
  int SourceWidth() const { return FSourceWidth; }
  int SourceHeight() const { return FSourceHeight; }
  int ComputationsStarted() const { return FStarted; }
  int ResultsShown() const { return FShown; }
  bool Running() const { return FDest != nullptr || FSrc != nullptr; }
  bool TimerActive() const { return FTimer.isActive(); }

private:
  void SourceDone();
  void TimerFired();
  void ResultDone(uint64_t Generation, std::unique_ptr<TPixelGraphic> Result);
  void StopDest();

  const TPixelGraphic* FPicture;
  TFilterFactory FFactory;
  std::unique_ptr<TPixelGraphic> FSource;
  int FSourceWidth = 0, FSourceHeight = 0;
  bool FSourceReady = false;
  bool FStopped = false;
  QTimer FTimer;
  uint64_t FGeneration = 0; // of the latest computation; older results are stale
  int FStarted = 0, FShown = 0;
  // Declared last: destroyed (stopped and joined) first.
  std::unique_ptr<TCreateSrcPGThread> FSrc;
  std::unique_ptr<TCreateDestPGThread> FDest;
};

} // namespace orbisk
