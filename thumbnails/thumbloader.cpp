#include "thumbnails/thumbloader.h"

#include "engine/formats/decodedrows.h"
#include "engine/registry.h"

#include <algorithm>

namespace orbisk {

int DefaultThumbThreads() {
  return std::max(1, CodecThreadCount());
}

namespace {

// Never more workers than items (but one even for none).
int WorkerCount(int Threads, size_t Items) {
  if (Threads <= 0) Threads = DefaultThumbThreads();
  return std::max(1, std::min<int>(Threads, std::max<int>(1, int(Items))));
}

} // namespace

TThumbLoader::TThumbLoader(std::vector<std::string> Paths, TThumbCellOptions Options, int Threads,
                           TReadyEvent OnReady)
    : FPaths(std::move(Paths)), FOptions(Options), FOnReady(std::move(OnReady)),
      FSlots(FPaths.size()), FClaimed(FPaths.size(), 0),
      FWorker(nullptr, WorkerCount(Threads, FPaths.size())) {
  FOrder.reserve(FPaths.size());
  // The reader lists and the placeholder are built once, before any worker reads them.
  FileFormatReaders();
  Placeholder();
  // Nothing is posted: the consumer takes the cells (OnReady only tells it when).
  FWorker.Start([this](const TWorker::TRun&, int) { Work(); });
}

TThumbLoader::~TThumbLoader() {
  Cancel();
  FWorker.Stop();
}

void TThumbLoader::Cancel() {
  FCancel.store(true);
  std::lock_guard<std::mutex> L(FLock);
  FReadyCond.notify_all();
}

void TThumbLoader::Prefer(int First, int Last) {
  std::lock_guard<std::mutex> L(FLock);
  FPreferAt = std::max(First, 0);
  FPreferLast = std::min(Last, Count() - 1);
}

int TThumbLoader::ClaimLocked() {
  int I = -1;
  while (FPreferAt <= FPreferLast && FClaimed[size_t(FPreferAt)])
    ++FPreferAt;
  if (FPreferAt <= FPreferLast) {
    I = FPreferAt++;
  } else {
    while (FCursor < Count() && FClaimed[size_t(FCursor)])
      ++FCursor;
    if (FCursor >= Count()) return -1;
    I = FCursor++;
  }
  FClaimed[size_t(I)] = 1;
  FOrder.push_back(I);
  return I;
}

void TThumbLoader::Work() {
  for (;;) {
    if (FCancel.load()) return;
    int I;
    {
      std::lock_guard<std::mutex> L(FLock);
      I = ClaimLocked();
    }
    if (I < 0) return;
    TThumbCell Cell;
    try {
      Cell = MakeThumbCell(FPaths[I], FOptions, &FCancel);
    } catch (const std::exception& E) {
      // Only the saving rule raises: the item comes without a picture.
      Cell.Error = E.what();
      Cell.Source = TCellSource::csEmpty;
    }
    // A cut-short decode gives an incomplete cell: drop it.
    if (FCancel.load()) return;
    bool Next;
    {
      std::lock_guard<std::mutex> L(FLock);
      FSlots[size_t(I)] = std::move(Cell);
      Next = FOrder[size_t(FNextDeliver)] == I;
      if (Next) FReadyCond.notify_all();
    }
    if (Next && FOnReady) FOnReady();
  }
}

std::vector<TThumbResult> TThumbLoader::CollectLocked() {
  std::vector<TThumbResult> Out;
  while (FNextDeliver < int(FOrder.size()) && FSlots[size_t(FOrder[size_t(FNextDeliver)])]) {
    const int I = FOrder[size_t(FNextDeliver)];
    Out.push_back({I, std::move(*FSlots[size_t(I)])});
    FSlots[size_t(I)].reset();
    ++FNextDeliver;
  }
  return Out;
}

std::vector<TThumbResult> TThumbLoader::TakeReady() {
  std::lock_guard<std::mutex> L(FLock);
  if (FCancel.load()) return {};
  return CollectLocked();
}

std::vector<TThumbResult> TThumbLoader::WaitReady() {
  std::unique_lock<std::mutex> L(FLock);
  FReadyCond.wait(L, [this] {
    return FCancel.load() || FNextDeliver >= Count() ||
           (FNextDeliver < int(FOrder.size()) &&
            FSlots[size_t(FOrder[size_t(FNextDeliver)])].has_value());
  });
  if (FCancel.load()) return {};
  return CollectLocked();
}

int TThumbLoader::Delivered() const {
  std::lock_guard<std::mutex> L(FLock);
  return FNextDeliver;
}

} // namespace orbisk
