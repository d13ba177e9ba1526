#include "thumbnails/thumbloader.h"

#include "engine/registry.h"

namespace orbisk {

int DefaultThumbThreads() {
  const unsigned N = std::thread::hardware_concurrency();
  return N == 0 ? 1 : static_cast<int>(N);
}

TThumbLoader::TThumbLoader(std::vector<std::string> Paths, TThumbCellOptions Options, int Threads,
                           TReadyEvent OnReady)
    : FPaths(std::move(Paths)), FOptions(Options), FOnReady(std::move(OnReady)),
      FSlots(FPaths.size()) {
  // The reader lists and the placeholder are built once, before any worker reads them.
  FileFormatReaders();
  Placeholder();
  if (Threads <= 0) Threads = DefaultThumbThreads();
  Threads = std::max(1, std::min<int>(Threads, std::max<int>(1, Count())));
  FWorkers.reserve(Threads);
  for (int I = 0; I < Threads; ++I)
    FWorkers.emplace_back([this] { Work(); });
}

TThumbLoader::~TThumbLoader() {
  Cancel();
  for (auto& T : FWorkers)
    T.join();
}

void TThumbLoader::Cancel() {
  FCancel.store(true);
  std::lock_guard<std::mutex> L(FLock);
  FReadyCond.notify_all();
}

void TThumbLoader::Work() {
  for (;;) {
    if (FCancel.load()) return;
    const int I = FNextClaim.fetch_add(1);
    if (I >= Count()) return;
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
      FSlots[I] = std::move(Cell);
      Next = I == FNextDeliver;
      if (Next) FReadyCond.notify_all();
    }
    if (Next && FOnReady) FOnReady();
  }
}

std::vector<TThumbResult> TThumbLoader::CollectLocked() {
  std::vector<TThumbResult> Out;
  while (FNextDeliver < Count() && FSlots[FNextDeliver]) {
    Out.push_back({FNextDeliver, std::move(*FSlots[FNextDeliver])});
    FSlots[FNextDeliver].reset();
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
    return FCancel.load() || FNextDeliver >= Count() || FSlots[FNextDeliver].has_value();
  });
  if (FCancel.load()) return {};
  return CollectLocked();
}

int TThumbLoader::Delivered() const {
  std::lock_guard<std::mutex> L(FLock);
  return FNextDeliver;
}

} // namespace orbisk
