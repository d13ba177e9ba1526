// TWorker: the program's one way of running work off the window thread. A run is a job started
// on one or more threads; every run has an identity, and whatever a run posts back to the owner
// arrives on the owner's thread only while that run is still the current one. Starting a new
// run, Cancel and Stop make the older run's late results disappear, so a slow earlier file never
// shows up as the result of the current one.
#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace orbisk {

class TWorker {
public:
  // What a job sees of its run. Copies share the run's state.
  class TRun {
  public:
    uint64_t Id() const { return FState ? FState->Id : 0; }
    // Cancel, Stop or a newer Start asked this run to end.
    bool Cancelled() const { return !FState || FState->Cancel.load(); }
    // The flag behind Cancelled, for code that polls an atomic (decoders, loops).
    const std::atomic<bool>* CancelFlag() const { return FState ? &FState->Cancel : nullptr; }
    // Runs Fn on the owner's thread later, unless the run is no longer current by then (or the
    // owner is gone). Safe from any thread.
    void Post(std::function<void()> Fn) const;

  private:
    friend class TWorker;
    struct TState {
      uint64_t Id = 0;
      std::atomic<bool> Cancel{false};
      std::shared_ptr<std::atomic<uint64_t>> Current; // the worker's accepted run
      QPointer<QObject> Owner;
    };
    std::shared_ptr<TState> FState;
  };

  using TJob = std::function<void(const TRun& Run, int Thread)>;

  // Owner: the object on whose thread posts arrive (may be null when nothing is posted).
  // Threads 0: one per processor this process may use.
  explicit TWorker(QObject* Owner = nullptr, int Threads = 1);
  ~TWorker(); // Stop
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  // Cancels and joins the run before, then starts Job on ThreadCount() threads (Thread 0..N-1).
  // Wake, when given, is called after the cancel flag is set (to wake a job that sleeps on its
  // own condition). Returns the new run's identity. Call from the owner's thread.
  uint64_t Start(TJob Job, std::function<void()> Wake = {});
  // The current run is asked to end and nothing more arrives from it; does not wait.
  void Cancel();
  // Cancel, then waits for the threads.
  void Stop();
  // Waits for the threads to end; the run stays current, so what it posted still arrives.
  void Wait();
  // Waits for the threads, then carries out what the current run posted, now (tests, shutdown).
  void WaitAndDeliver();
  // The run whose posts are accepted (0: none). Call from the owner's thread.
  uint64_t Current() const { return FCurrent->load(); }
  // Ends the current run's acceptance once its final result arrived: later posts are dropped.
  void Finish(uint64_t Run);
  bool Busy() const { return Current() != 0; }
  int ThreadCount() const { return FThreads; }
  uint64_t RunsStarted() const { return FNextId - 1; }

private:
  QPointer<QObject> FOwner;
  const int FThreads;
  std::vector<std::thread> FPool;
  std::shared_ptr<TRun::TState> FRun;
  std::function<void()> FWake;
  std::shared_ptr<std::atomic<uint64_t>> FCurrent = std::make_shared<std::atomic<uint64_t>>(0);
  uint64_t FNextId = 1;
};

} // namespace orbisk
