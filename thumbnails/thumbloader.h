// The threaded thumbnail loader: worker threads (as many as the decoders may use) make the cells of
// a list of files in list order, except that the items asked for with Prefer (those in view) come
// first, and hand the finished cells over strictly in the order the work was taken up. Every cell
// is made once. Cancel stops the workers at once (a decode in progress is cut short); a loader
// serves one list only, so results of an old folder never reach a new one.
#pragma once

#include "platform/worker.h"
#include "thumbnails/thumbcell.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orbisk {

struct TThumbResult {
  int Index = 0;
  TThumbCell Cell;
};

class TThumbLoader {
public:
  // Called on a worker thread whenever the next cell in order has become ready (take it with
  // TakeReady on the consumer's thread). Must not call back into the loader.
  using TReadyEvent = std::function<void()>;

  // Starts at once. Threads 0: DefaultThumbThreads().
  TThumbLoader(std::vector<std::string> Paths, TThumbCellOptions Options, int Threads = 0,
               TReadyEvent OnReady = {});
  // Cancels and waits for the workers.
  ~TThumbLoader();
  TThumbLoader(const TThumbLoader&) = delete;
  TThumbLoader& operator=(const TThumbLoader&) = delete;

  void Cancel();
  // The items First..Last (list indices, clipped to the list) are taken up before any other item
  // not yet begun; items already begun or done are not made again. A later call replaces the
  // range.
  void Prefer(int First, int Last);
  bool Cancelled() const { return FCancel.load(); }
  // The cells that are ready in order since the last call (maybe none).
  std::vector<TThumbResult> TakeReady();
  // Blocks until the next cell in order is ready, then returns every ready one; empty when all
  // have been handed over or the loader was cancelled.
  std::vector<TThumbResult> WaitReady();
  int Count() const { return static_cast<int>(FPaths.size()); }
  // Number of cells handed over so far.
  int Delivered() const;
  bool Finished() const { return Delivered() == Count(); }
  int ThreadCount() const { return FWorker.ThreadCount(); }

private:
  void Work();
  int ClaimLocked();
  std::vector<TThumbResult> CollectLocked();

  const std::vector<std::string> FPaths;
  const TThumbCellOptions FOptions;
  TReadyEvent FOnReady;
  std::atomic<bool> FCancel{false};
  mutable std::mutex FLock;
  std::condition_variable FReadyCond;
  std::vector<std::optional<TThumbCell>> FSlots;
  std::vector<char> FClaimed;
  std::vector<int> FOrder; // the indices in the order they were taken up
  int FCursor = 0;         // no item below it is left unclaimed
  int FPreferAt = 0, FPreferLast = -1;
  int FNextDeliver = 0; // position in FOrder
  TWorker FWorker;      // last: its threads end before the state above goes
};

// As many as the decoders may use at once (at least one).
int DefaultThumbThreads();

} // namespace orbisk
