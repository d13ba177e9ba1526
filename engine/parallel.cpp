#include "engine/parallel.h"

#include "engine/formats/decodedrows.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orbisk {

namespace {

std::atomic<int> GThreadOverride{0};
// Set on pool threads and on a caller while it runs its bands: a parallel call from inside a band
// runs in place.
thread_local bool TInsideBand = false;

struct TJob {
  const std::function<void(int, int)>* Body = nullptr;
  int Count = 0, Band = 1, Bands = 0, MaxHelpers = 0;
  std::atomic<int> NextBand{0};
  std::atomic<bool> Stop{false};
  std::unique_ptr<std::atomic<bool>[]> Done;
  std::mutex Lock; // guards the fields below
  std::condition_variable Changed;
  int Helpers = 0; // pool threads inside this job
  int Running = 0; // bands started and not finished, by anyone
  std::exception_ptr Error;

  // Runs bands until none is left; returns after the last one this thread took.
  void RunBands() {
    for (;;) {
      if (Stop.load(std::memory_order_acquire)) return;
      const int B = NextBand.fetch_add(1, std::memory_order_acq_rel);
      if (B >= Bands) return;
      {
        std::lock_guard<std::mutex> G(Lock);
        ++Running;
      }
      const int Begin = B * Band, End = std::min(Count, Begin + Band);
      try {
        (*Body)(Begin, End);
      } catch (...) {
        std::lock_guard<std::mutex> G(Lock);
        if (!Error) Error = std::current_exception();
        Stop.store(true, std::memory_order_release);
      }
      Done[B].store(true, std::memory_order_release);
      {
        std::lock_guard<std::mutex> G(Lock);
        --Running;
      }
      Changed.notify_all();
    }
  }
};

class TPool {
public:
  static TPool& Get() {
    // Never destroyed: pool threads may still be waiting when the program ends.
    static TPool* Pool = new TPool;
    return *Pool;
  }

  void Offer(const std::shared_ptr<TJob>& Job) {
    Start(Job->MaxHelpers);
    {
      std::lock_guard<std::mutex> G(FLock);
      FJobs.push_back(Job);
    }
    FWake.notify_all();
  }

  void Withdraw(const std::shared_ptr<TJob>& Job) {
    std::lock_guard<std::mutex> G(FLock);
    FJobs.erase(std::remove(FJobs.begin(), FJobs.end(), Job), FJobs.end());
  }

private:
  void Start(int Wanted) {
    std::lock_guard<std::mutex> G(FLock);
    while (static_cast<int>(FThreads.size()) < Wanted) {
      FThreads.emplace_back([this] { Work(); });
      FThreads.back().detach();
    }
  }

  void Work() {
    TInsideBand = true;
    for (;;) {
      std::shared_ptr<TJob> Job;
      {
        std::unique_lock<std::mutex> G(FLock);
        FWake.wait(G, [&] { return FindJob(Job); });
      }
      Job->RunBands();
      {
        std::lock_guard<std::mutex> G(Job->Lock);
        --Job->Helpers;
      }
      Job->Changed.notify_all();
    }
  }

  // Under FLock: a job with bands left and room for a helper, whose helper count is raised.
  bool FindJob(std::shared_ptr<TJob>& Out) {
    for (auto It = FJobs.begin(); It != FJobs.end();) {
      TJob& J = **It;
      if (J.Stop.load() || J.NextBand.load() >= J.Bands) {
        It = FJobs.erase(It);
        continue;
      }
      std::lock_guard<std::mutex> G(J.Lock);
      if (J.Helpers < J.MaxHelpers) {
        ++J.Helpers;
        Out = *It;
        return true;
      }
      ++It;
    }
    return false;
  }

  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<std::shared_ptr<TJob>> FJobs;
  std::vector<std::thread> FThreads;
};

} // namespace

int EngineThreadCount() {
  const int N = GThreadOverride.load();
  return N > 0 ? N : CodecThreadCount();
}

void SetEngineThreadCount(int N) {
  GThreadOverride.store(std::max(N, 0));
}

bool ParallelBands(int Count, const std::function<void(int, int)>& Body,
                   const std::function<bool(int)>& Progress, int MinBand) {
  if (Count <= 0) return true;
  MinBand = std::max(MinBand, 1);
  const int Threads = TInsideBand ? 1 : EngineThreadCount();
  if (Threads <= 1 || Count < 2 * MinBand) {
    // In place: row by row when progress is wanted, so an abort stops where it is asked.
    const bool Was = TInsideBand;
    TInsideBand = true;
    struct TRestore {
      bool& Flag;
      bool Value;
      ~TRestore() { Flag = Value; }
    } Restore{TInsideBand, Was};
    if (!Progress) {
      Body(0, Count);
      return true;
    }
    for (int Y = 0; Y < Count; ++Y) {
      Body(Y, Y + 1);
      if (Progress(Y)) return false;
    }
    return true;
  }

  auto Job = std::make_shared<TJob>();
  Job->Body = &Body;
  Job->Count = Count;
  // About four bands a thread, so an uneven band does not leave the others idle, and bands short
  // enough for progress to move.
  Job->Band = std::max(MinBand, (Count + Threads * 4 - 1) / (Threads * 4));
  Job->Bands = (Count + Job->Band - 1) / Job->Band;
  Job->MaxHelpers = Threads - 1;
  Job->Done.reset(new std::atomic<bool>[Job->Bands]);
  for (int B = 0; B < Job->Bands; ++B)
    Job->Done[B].store(false);
  TPool::Get().Offer(Job);

  bool Aborted = false;
  int Reported = 0; // rows whose progress has been raised
  auto ReportDone = [&] {
    while (!Aborted && Reported < Count && Job->Done[Reported / Job->Band].load()) {
      const int End = std::min(Count, (Reported / Job->Band + 1) * Job->Band);
      for (; Reported < End; ++Reported) {
        if (Progress && Progress(Reported)) {
          Aborted = true;
          Job->Stop.store(true);
          ++Reported;
          break;
        }
      }
    }
  };

  TInsideBand = true;
  // The caller works band by band, raising progress between its bands.
  for (;;) {
    if (Job->Stop.load()) break;
    // One band at a time, so progress follows the work.
    const int B = Job->NextBand.fetch_add(1);
    if (B >= Job->Bands) break;
    {
      std::lock_guard<std::mutex> G(Job->Lock);
      ++Job->Running;
    }
    const int Begin = B * Job->Band, End = std::min(Count, Begin + Job->Band);
    try {
      Body(Begin, End);
    } catch (...) {
      std::lock_guard<std::mutex> G(Job->Lock);
      if (!Job->Error) Job->Error = std::current_exception();
      Job->Stop.store(true);
    }
    Job->Done[B].store(true);
    {
      std::lock_guard<std::mutex> G(Job->Lock);
      --Job->Running;
    }
    if (!Job->Error) ReportDone();
  }
  TInsideBand = false;
  TPool::Get().Withdraw(Job);

  // Wait for the helpers, raising progress as their bands finish.
  for (;;) {
    {
      std::unique_lock<std::mutex> G(Job->Lock);
      if (Job->Helpers == 0 && Job->Running == 0) break;
      Job->Changed.wait(G);
    }
    if (!Job->Error) ReportDone();
  }
  if (Job->Error) std::rethrow_exception(Job->Error);
  ReportDone();
  return !Aborted;
}

} // namespace orbisk
