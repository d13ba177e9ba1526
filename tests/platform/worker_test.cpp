// The worker: late posts of an older or cancelled run never arrive, the current run's do, a
// run's threads all start, and a post that outlives its owner or its worker is dropped.
#include "platform/worker.h"

#include <QObject>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

using namespace orbisk;

TEST(Worker, OnlyTheCurrentRunsPostsArrive) {
  QObject Owner;
  TWorker W(&Owner);
  std::vector<int> Got;
  // The first run posts only after the second one started: its result must be dropped.
  const uint64_t First = W.Start([&](const TWorker::TRun& Run, int) {
    while (!Run.Cancelled())
      std::this_thread::yield();
    Run.Post([&] { Got.push_back(1); });
  });
  EXPECT_EQ(W.Current(), First);
  const uint64_t Second =
      W.Start([&](const TWorker::TRun& Run, int) { Run.Post([&] { Got.push_back(2); }); });
  EXPECT_GT(Second, First);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Got.empty(); }, 5000));
  W.Wait();
  QCoreApplication::processEvents();
  EXPECT_EQ(Got, std::vector<int>{2});
  EXPECT_EQ(W.RunsStarted(), 2u);
}

TEST(Worker, CancelDropsWhatWasAlreadyQueued) {
  QObject Owner;
  TWorker W(&Owner);
  bool Arrived = false;
  W.Start([&](const TWorker::TRun& Run, int) { Run.Post([&] { Arrived = true; }); });
  W.Wait(); // the post is queued now
  W.Cancel();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Arrived);
  EXPECT_FALSE(W.Busy());
}

TEST(Worker, WaitAndDeliverHandsTheResultOverAtOnce) {
  QObject Owner;
  TWorker W(&Owner);
  int Result = 0;
  const uint64_t Id = W.Start([&](const TWorker::TRun& Run, int) {
    Run.Post([&, Id = Run.Id()] {
      Result = 7;
      W.Finish(Id);
    });
  });
  W.WaitAndDeliver();
  EXPECT_EQ(Result, 7);
  EXPECT_NE(Id, 0u);
  EXPECT_FALSE(W.Busy()); // the final result ended the run's acceptance
}

TEST(Worker, EveryThreadOfARunWorksAndStopWakesASleeper) {
  TWorker Pool(nullptr, 3);
  std::mutex Lock;
  std::set<int> Seen;
  Pool.Start([&](const TWorker::TRun&, int Thread) {
    std::lock_guard L(Lock);
    Seen.insert(Thread);
  });
  Pool.Wait();
  EXPECT_EQ(Seen, (std::set<int>{0, 1, 2}));
  EXPECT_GE(TWorker(nullptr, 0).ThreadCount(), 1);

  // A job sleeping on its own condition is woken by the Wake call when the run is stopped.
  TWorker W;
  std::mutex M;
  std::condition_variable C;
  W.Start(
      [&](const TWorker::TRun& Run, int) {
        std::unique_lock L(M);
        C.wait(L, [&] { return Run.Cancelled(); });
      },
      [&] {
        std::lock_guard L(M);
        C.notify_all();
      });
  W.Stop(); // returns only when the sleeper woke up
  EXPECT_FALSE(W.Busy());
}

TEST(Worker, PostsOutlivingTheirOwnerOrWorkerAreDropped) {
  bool Arrived = false;
  {
    auto Owner = std::make_unique<QObject>();
    TWorker W(Owner.get());
    W.Start([&](const TWorker::TRun& Run, int) { Run.Post([&] { Arrived = true; }); });
    W.Wait();
    Owner.reset(); // the queued call goes with its receiver
  }
  QObject Owner;
  {
    TWorker W(&Owner);
    W.Start([&](const TWorker::TRun& Run, int) { Run.Post([&] { Arrived = true; }); });
    W.Wait();
  } // the worker's end cancels its run
  QCoreApplication::processEvents();
  EXPECT_FALSE(Arrived);
}
