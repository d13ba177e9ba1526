#include "view/displaycopy.h"

#include "engine/optimizedpalette.h"
#include "engine/parallel.h"
#include "platform/pgqt.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <array>
#include <chrono>

namespace orbisk {

namespace {

int64_t TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A picture of the wanted size, or 1 x 1 when that size cannot be had.
void SizeOrFallback(TPixelGraphic& G, int W, int H, int Code) {
  try {
    G.SetSize(W, H, Code);
  } catch (const std::exception&) {
    G.SetSize(1, 1, Code);
  }
}

bool IsFixedPalette(TPaletteIdent K) {
  return K >= pBlackWhite && K <= pSpecial252;
}

} // namespace

bool DisplayCopyWanted(int ScreenDepth, int PictureBitCount, TPaletteIdent PictureKind, int PicW,
                       int PicH, int BoxW, int BoxH, const TDisplayCopySettings& S, bool Stale) {
  if (ScreenDepth < PictureBitCount && ScreenDepth <= 8) return true;
  if (S.StretchMode != smFast && (BoxW != PicW || BoxH != PicH)) return true;
  if (ScreenDepth <= 8 && PictureBitCount <= 8) {
    // With ReduceOnLoad the copy becomes the picture: once made, it is not made again.
    const bool Allowed = !S.ReduceOnLoad || Stale;
    if (ScreenDepth == 4) return PictureKind != pSys16 && Allowed;
    if (S.Palette8BitSys8BitGraphic == pSource || S.Palette8BitSys8BitGraphic == PictureKind)
      return false;
    return Allowed;
  }
  return false;
}

TDisplayCopyPlan PlanDisplayCopy(int ScreenDepth, const TPixelGraphic& Source, int BoxW, int BoxH,
                                 const TDisplayCopySettings& S) {
  TDisplayCopyPlan P;
  const bool SizeDiffers = BoxW != Source.Width() || BoxH != Source.Height();
  P.Resample24 = ScreenDepth == 8 && S.Allow24BitStretch && SizeDiffers &&
                 S.Palette8BitSys24BitGraphic == pOptimized252Sys16;
  const bool TrueColorIntermediate = P.Resample24 || Source.BitCount() == 24;
  if (ScreenDepth < 8) {
    P.DestBitCount = 4;
    P.DestPalette = pSys16;
  } else if (ScreenDepth > 8) {
    P.DestBitCount = 24;
    P.DestPalette = pTrueColor;
  } else {
    P.DestBitCount = 8;
    TPaletteIdent K =
        TrueColorIntermediate ? S.Palette8BitSys24BitGraphic : S.Palette8BitSys8BitGraphic;
    // A true-colour picture has no palette of its own to keep.
    if (TrueColorIntermediate && K == pSource) K = pOptimized252Sys16;
    if (!IsFixedPalette(K) && K != pSource) K = pOptimized252Sys16;
    P.DestPalette = K;
    P.Optimized = K == pOptimized252Sys16;
  }
  if (S.StretchMode != smFast) {
    P.DestWidth = BoxW;
    P.DestHeight = BoxH;
  } else {
    P.DestWidth = Source.Width();
    P.DestHeight = Source.Height();
  }
  P.Steps = 1 + (P.Resample24 ? 1 : 0) + (P.Optimized ? 1 : 0);
  return P;
}

int ProgressPercent(int Step, int Max) {
  if (Max <= 0) return 100;
  return int(int64_t(Step) * 100 / Max);
}

// ---------------------------------------------------------------------------------------------
// the run

TCreatePaintPGThread::TCreatePaintPGThread(const TPixelGraphic& Source,
                                           const TDisplayCopyPlan& Plan,
                                           const TDisplayCopySettings& S)
    : FSource(Source), FPlan(Plan) {
  auto Hook = [this](TPixelGraphic*, int Step, bool& Abort, int Max) {
    Progress(Step, Max, Abort);
  };
  const TPixelGraphic* Intermediate = &Source;
  if (Plan.Resample24) {
    FIntermediate = std::make_unique<TPixelGraphic>();
    SizeOrFallback(*FIntermediate, Plan.DestWidth, Plan.DestHeight, 3);
    FIntermediate->StretchMode = S.StretchMode;
    FIntermediate->OnProgress = Hook;
    Intermediate = FIntermediate.get();
  }
  FDestination = std::make_unique<TPixelGraphic>();
  TPixelGraphic& D = *FDestination;
  SizeOrFallback(D, Plan.DestWidth, Plan.DestHeight, BitCountToNum(Plan.DestBitCount));
  if (Plan.DestBitCount != 24) {
    if (IsFixedPalette(Plan.DestPalette))
      D.SetPaletteKind(Plan.DestPalette);
    else if (Plan.DestPalette == pSource)
      D.AssignPalette(*Intermediate);
  }
  D.StretchMode = S.StretchMode;
  D.Dither = S.Dither;
  D.DitherErrorLimit = S.DitherErrorLimit;
  D.DitherErrorLimitAuto = S.DitherErrorLimitAuto;
  D.DitherErrorLimitSoft = S.DitherErrorLimitSoft;
  D.SetRGBWeighting(S.RGBWeighting);
  D.OnProgress = Hook;
}

void TCreatePaintPGThread::Progress(int Row, int Max, bool& Abort) {
  const int Percent = ProgressPercent(Row, Max);
  const int64_t Tick = TickCount();
  // At most one report per 50 ms bucket.
  if (Percent != FLastPercent && Tick / 50 != FLastTick / 50) {
    FLastPercent = Percent;
    FLastTick = Tick;
    if (OnProgressReport) OnProgressReport(FStep, Percent);
  }
  Abort = FTerminated;
}

void TCreatePaintPGThread::CopyThroughTable(const TPixelGraphic& From, TPixelGraphic& To) {
  std::array<uint8_t, 256> Table{};
  {
    // The table is built once per run: search every entry exhaustively for the best match.
    const bool Cache = To.ColorCache();
    To.SetColorCache(false);
    for (int I = 0; I < From.PaletteCount() && I < 256; ++I)
      Table[size_t(I)] = uint8_t(To.GetNearestPaletteIndex(From.GetPaletteEntry(I)));
    To.SetColorCache(Cache);
  }
  TProgressScope Scope(To);
  const int H = To.Height(), W = To.Width();
  // Rows in bands on the engine's threads; progress and the abort answer in row order here.
  ParallelBands(
      H,
      [&](int Begin, int End) {
        for (int Y = Begin; Y < End; ++Y) {
          const uint8_t* S = From.ScanLine(Y);
          uint8_t* D = To.ScanLine(Y);
          for (int X = 0; X < W; ++X)
            D[X] = Table[S[X]];
        }
      },
      [&](int Y) { return To.DoProgress(Y, H - 1); });
  To.Changed();
}

void TCreatePaintPGThread::Execute() {
  FStep = 1;
  FLastTick = TickCount();
  FLastPercent = 0;
  const TPixelGraphic& Intermediate = FIntermediate ? *FIntermediate : FSource;
  if (FPlan.Resample24 && !FTerminated) {
    FIntermediate->StretchFrom(FSource);
    ++FStep;
  }
  if (FPlan.Optimized && !FTerminated) {
    BuildOptimizedPalette(*FDestination, Intermediate, 252, true);
    ++FStep;
  }
  if (!FTerminated) {
    TPixelGraphic& D = *FDestination;
    if (FPlan.Optimized && Intermediate.BitCount() == 8 && Intermediate.Width() == D.Width() &&
        Intermediate.Height() == D.Height())
      CopyThroughTable(Intermediate, D);
    else
      D.StretchFrom(Intermediate);
    ++FStep;
  }
  if (FTerminated) {
    FDestination.reset();
  } else {
    FDestination->OnProgress = nullptr;
    if (OnFinished) OnFinished(std::move(FDestination));
  }
  FIntermediate.reset();
}

// ---------------------------------------------------------------------------------------------
// the view's side

TDisplayCopyPreparer::TDisplayCopyPreparer() = default;

TDisplayCopyPreparer::~TDisplayCopyPreparer() {
  Stop();
}

void TDisplayCopyPreparer::Join() {
  FWorker.Wait();
}

void TDisplayCopyPreparer::Stop() {
  FWorker.Stop(); // terminates the run (through its wake-up) and waits for it
  if (FAcceptRun != 0) FStopped = true;
  FAcceptRun = 0; // a result already on its way is dropped
  FRunning = false;
}

void TDisplayCopyPreparer::WaitAndDeliver() {
  FWorker.WaitAndDeliver();
}

void TDisplayCopyPreparer::Release(const TDisplayCopySettings& S) {
  Stop();
  if (FCopy && S.KeepOldPaintPixelGraphic && S.UseThread) {
    FStale = true;
    return;
  }
  FCopy.reset();
  FStopped = true;
  FStale = true;
}

bool TDisplayCopyPreparer::PaintCopyNeeded(const TPixelGraphic* Source, int BoxW, int BoxH,
                                           const TDisplayCopySettings& S) {
  if (!Source || Source->Empty()) {
    if (FRunning) Stop();
    return false;
  }
  if (S.StretchMode != smFast && !S.ReduceOnLoad && (BoxW != FMadeWidth || BoxH != FMadeHeight))
    FStale = true;
  const bool Needed = DisplayCopyWanted(ScreenDepth(), Source->BitCount(), Source->PaletteKind(),
                                        Source->Width(), Source->Height(), BoxW, BoxH, S, FStale);
  const bool MayKeep = S.KeepOldPaintPixelGraphic && S.UseThread;
  if (!Needed && FRunning) Stop();
  if (FCopy && (!Needed || (FStale && !MayKeep))) {
    Stop();
    FCopy.reset();
    FStopped = true;
  }
  if (Needed && (FStale || (!FCopy && FStopped))) {
    try {
      Start(*Source, BoxW, BoxH, S);
    } catch (const std::exception&) {
      // The view shows the empty frame with the clocks.
      FRunning = false;
      FStale = false;
      FStopped = false;
    }
  }
  return Needed;
}

void TDisplayCopyPreparer::Start(const TPixelGraphic& Source, int BoxW, int BoxH,
                                 const TDisplayCopySettings& S) {
  Stop();
  FRun.reset();
  if (!(S.KeepOldPaintPixelGraphic && S.UseThread)) FCopy.reset();
  FStep = 1;
  FSteps = 1;
  FPercent = 0;
  const TDisplayCopyPlan Plan = PlanDisplayCopy(ScreenDepth(), Source, BoxW, BoxH, S);
  FMadeWidth = S.StretchMode != smFast ? BoxW : Source.Width();
  FMadeHeight = S.StretchMode != smFast ? BoxH : Source.Height();
  FSteps = Plan.Steps;
  FRun = std::make_shared<TCreatePaintPGThread>(Source, Plan, S);
  const uint64_t Id = ++FRunId;
  const bool Reduce = S.ReduceOnLoad;
  FAcceptRun = Id;
  FStale = false;
  FStopped = false;
  FRunning = true;
  std::shared_ptr<TCreatePaintPGThread> Run = FRun;
  if (!S.UseThread) {
    Run->OnProgressReport = [this](int Step, int Percent) {
      FStep = Step;
      FPercent = Percent;
    };
    Run->OnFinished = [this, Id, Reduce](std::unique_ptr<TPixelGraphic> Copy) {
      Deliver(Id, std::move(Copy), Reduce);
    };
    try {
      Run->Execute();
    } catch (const std::exception&) {
      Deliver(Id, nullptr, Reduce);
    }
    return;
  }
  // Everything the job reports travels in posts that own their data; the worker drops the posts
  // of a run that is no longer current, and Deliver those of a run no longer accepted.
  FWorker.Start(
      [this, Run, Id, Reduce](const TWorker::TRun& W, int) {
        auto Post = [this, W, Id, Reduce](std::unique_ptr<TPixelGraphic> Copy) {
          auto Holder = std::make_shared<std::unique_ptr<TPixelGraphic>>(std::move(Copy));
          W.Post([this, Id, Reduce, Holder] { Deliver(Id, std::move(*Holder), Reduce); });
        };
        Run->OnProgressReport = [this, W, Id](int Step, int Percent) {
          W.Post([this, Id, Step, Percent] {
            if (Id != FAcceptRun) return;
            FStep = Step;
            FPercent = Percent;
            emit OnProgressChange();
          });
        };
        Run->OnFinished = Post;
        try {
          Run->Execute();
          if (Run->Terminated()) Post(nullptr);
        } catch (...) {
          Post(nullptr); // the run ends without a copy
        }
      },
      [Run] { Run->Terminate(); });
}

void TDisplayCopyPreparer::Deliver(uint64_t Run, std::unique_ptr<TPixelGraphic> Copy, bool Reduce) {
  if (Run != FAcceptRun) return; // late result of an older or stopped run
  // The worker may still be leaving its run; it must be gone before the source can change.
  Join();
  FAcceptRun = 0;
  FRunning = false;
  if (Copy) {
    if (Reduce && OnReduce) {
      FCopy.reset();
      OnReduce(std::move(Copy));
    } else {
      FCopy = std::move(Copy);
    }
  }
  emit OnCopyReady();
}

} // namespace orbisk
