#include "processing/editor/filterdialogpreview.h"

#include "processing/editor/filterdialog.h"

#include <exception>
#include <utility>

namespace orbisk {

// ---- workers --------------------------------------------------------------------------------

TCreateSrcPGThread::TCreateSrcPGThread(QObject* Owner, const TPixelGraphic& Picture,
                                       TPixelGraphic& Source, std::function<void()> Done)
    : FWorker(Owner, 1) {
  FWorker.Start([&Picture, &Source, Done = std::move(Done)](const TWorker::TRun& Run, int) {
    Source.OnProgress = [Run](TPixelGraphic*, int, bool& Abort, int) {
      if (Run.Cancelled()) Abort = true;
    };
    bool Ok = true;
    try {
      Source.StretchFrom(Picture);
    } catch (const std::exception&) {
      Ok = false; // no preview rather than a broken one
    }
    Source.OnProgress = nullptr;
    if (Ok && !Run.Cancelled()) Run.Post(Done);
  });
}

TCreateDestPGThread::TCreateDestPGThread(QObject* Owner, const TPixelGraphic& Source,
                                         std::unique_ptr<TPGFilter> Filter, TDone Done)
    : FWorker(Owner, 1) {
  std::shared_ptr<TPGFilter> Shared(std::move(Filter));
  FWorker.Start([&Source, Shared, Done = std::move(Done)](const TWorker::TRun& Run, int) {
    auto Result = std::make_unique<TPixelGraphic>();
    Result->OnProgress = [Run](TPixelGraphic*, int, bool& Abort, int) {
      if (Run.Cancelled()) Abort = true;
    };
    bool Ok = true;
    try {
      ApplyFilter(*Result, *Shared, Source);
    } catch (const std::exception&) {
      Ok = false;
    }
    Result->OnProgress = nullptr;
    if (!Ok || Run.Cancelled()) return; // the picture is freed here
    // The post owns the picture: dropped with it when it is never delivered.
    auto Box = std::make_shared<std::unique_ptr<TPixelGraphic>>(std::move(Result));
    Run.Post([Done, Box] { Done(std::move(*Box)); });
  });
}

// ---- the preview ----------------------------------------------------------------------------

TFilterPreview::TFilterPreview(const TPixelGraphic* Picture, TFilterFactory Factory,
                               QObject* Parent)
    : QObject(Parent), FPicture(Picture), FFactory(std::move(Factory)) {
  FTimer.setSingleShot(true);
  FTimer.setTimerType(Qt::PreciseTimer);
  connect(&FTimer, &QTimer::timeout, this, [this] { TimerFired(); });
}

TFilterPreview::~TFilterPreview() {
  Stop();
}

void TFilterPreview::Start() {
  if (FStopped || FSrc || FSourceReady) return;
  if (!FPicture || FPicture->Empty() || FPicture->Width() <= 0 || FPicture->Height() <= 0) return;
  FittedPreviewSize(FPicture->Width(), FPicture->Height(), BoxSize, FSourceWidth, FSourceHeight);
  FSource = std::make_unique<TPixelGraphic>();
  FSource->SetSize(FSourceWidth, FSourceHeight, 3);
  FSrc = std::make_unique<TCreateSrcPGThread>(this, *FPicture, *FSource, [this] { SourceDone(); });
}

void TFilterPreview::SourceDone() {
  if (FStopped || !FSrc) return;
  FSrc->Join(); // it has finished: this was its last step
  FSrc.reset();
  FSourceReady = true;
  FTimer.start(TimerInterval);
}

void TFilterPreview::SettingsChanged() {
  if (FStopped) return;
  if (FDest) FDest->Stop();
  ++FGeneration; // whatever is under way now shows old settings
  FTimer.start(TimerInterval);
}

void TFilterPreview::StopDest() {
  if (!FDest) return;
  FDest->Stop();
  FDest->Join();
  FDest.reset();
}

void TFilterPreview::TimerFired() {
  if (FStopped || !FSourceReady) return;
  StopDest();
  std::unique_ptr<TPGFilter> Filter = FFactory ? FFactory() : nullptr;
  if (!Filter) return;
  const uint64_t Generation = ++FGeneration;
  ++FStarted;
  FDest = std::make_unique<TCreateDestPGThread>(
      this, *FSource, std::move(Filter), [this, Generation](std::unique_ptr<TPixelGraphic> Result) {
        ResultDone(Generation, std::move(Result));
      });
}

void TFilterPreview::ResultDone(uint64_t Generation, std::unique_ptr<TPixelGraphic> Result) {
  if (FStopped || Generation != FGeneration || !Result) return; // stale
  ++FShown;
  if (OnResult) OnResult(std::move(Result));
}

void TFilterPreview::Stop() {
  FStopped = true;
  FTimer.stop();
  ++FGeneration;
  // Tell both first so that they wind down together, then wait.
  if (FSrc) FSrc->Stop();
  if (FDest) FDest->Stop();
  FDest.reset(); // reads the preview source: joined before the source goes
  FSrc.reset();  // reads the picture being edited and writes the source
  FSource.reset();
  FSourceReady = false;
}

} // namespace orbisk
