#include "processing/editor/filterdialogpreview.h"

#include "processing/editor/filterdialog.h"

#include <QMetaObject>

#include <exception>
#include <utility>

namespace orbisk {

// ---- workers --------------------------------------------------------------------------------

TCreateSrcPGThread::TCreateSrcPGThread(const TPixelGraphic& Picture, TPixelGraphic& Source,
                                       std::function<void()> Done) {
  FThread = std::thread([this, &Picture, &Source, Done = std::move(Done)] {
    Source.OnProgress = [this](TPixelGraphic*, int, bool& Abort, int) {
      if (FStop) Abort = true;
    };
    bool Ok = true;
    try {
      Source.StretchFrom(Picture);
    } catch (const std::exception&) {
      Ok = false; // no preview rather than a broken one
    }
    Source.OnProgress = nullptr;
    if (Ok && !FStop) Done();
  });
}

TCreateSrcPGThread::~TCreateSrcPGThread() {
  Stop();
  Join();
}

void TCreateSrcPGThread::Join() {
  if (FThread.joinable()) FThread.join();
}

TCreateDestPGThread::TCreateDestPGThread(const TPixelGraphic& Source,
                                         std::unique_ptr<TPGFilter> Filter, TDone Done) {
  FThread = std::thread([this, &Source, Filter = std::move(Filter), Done = std::move(Done)] {
    auto Result = std::make_unique<TPixelGraphic>();
    Result->OnProgress = [this](TPixelGraphic*, int, bool& Abort, int) {
      if (FStop) Abort = true;
    };
    bool Ok = true;
    try {
      ApplyFilter(*Result, *Filter, Source);
    } catch (const std::exception&) {
      Ok = false;
    }
    Result->OnProgress = nullptr;
    if (Ok && !FStop) Done(std::move(Result));
    // Otherwise the picture is freed here, and the filter with the lambda.
  });
}

TCreateDestPGThread::~TCreateDestPGThread() {
  Stop();
  Join();
}

void TCreateDestPGThread::Join() {
  if (FThread.joinable()) FThread.join();
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
  FSrc = std::make_unique<TCreateSrcPGThread>(*FPicture, *FSource, [this] {
    QMetaObject::invokeMethod(
        this, [this] { SourceDone(); }, Qt::QueuedConnection);
  });
}

void TFilterPreview::SourceDone() {
  if (FStopped || !FSrc) return;
  FSrc->Join(); // it has finished: it only posted this call
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
      *FSource, std::move(Filter), [this, Generation](std::unique_ptr<TPixelGraphic> Result) {
        // The queued call owns the picture: dropped with it when it is never delivered.
        auto Box = std::make_shared<std::unique_ptr<TPixelGraphic>>(std::move(Result));
        QMetaObject::invokeMethod(
            this, [this, Generation, Box] { ResultDone(Generation, std::move(*Box)); },
            Qt::QueuedConnection);
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
