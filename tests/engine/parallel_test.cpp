#include "engine/parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace orbisk {
namespace {

struct TThreadCountScope {
  explicit TThreadCountScope(int N) { SetEngineThreadCount(N); }
  ~TThreadCountScope() { SetEngineThreadCount(0); }
};

// Every row is done exactly once and progress comes once a row, in order, after the row is done.
TEST(ParallelBands, EveryRowOnceAndProgressInOrder) {
  for (int Threads : {1, 2, 3, 8}) {
    TThreadCountScope Scope(Threads);
    for (int Count : {1, 7, 16, 17, 1000, 1001}) {
      std::vector<std::atomic<int>> Hits(Count);
      int Next = 0;
      bool InOrder = true;
      const bool All = ParallelBands(
          Count,
          [&](int B, int E) {
            ASSERT_LT(B, E);
            for (int Y = B; Y < E; ++Y)
              Hits[Y].fetch_add(1);
          },
          [&](int Row) {
            if (Row != Next++ || Hits[Row].load() != 1) InOrder = false;
            return false;
          });
      EXPECT_TRUE(All);
      EXPECT_TRUE(InOrder) << Threads << " threads, " << Count << " rows";
      EXPECT_EQ(Next, Count);
      for (int Y = 0; Y < Count; ++Y)
        ASSERT_EQ(Hits[Y].load(), 1) << Y;
    }
  }
}

TEST(ParallelBands, AbortStopsTheWorkAndReportsIt) {
  // In place, the rows after the aborted one stay undone.
  {
    TThreadCountScope Scope(1);
    std::vector<int> Done(100, 0);
    EXPECT_FALSE(ParallelBands(
        100, [&](int B, int E) { std::fill(Done.begin() + B, Done.begin() + E, 1); },
        [](int Row) { return Row == 9; }));
    EXPECT_EQ(std::count(Done.begin(), Done.end(), 1), 10);
  }
  // On the pool no progress comes after the abort and not every band runs.
  TThreadCountScope Scope(4);
  std::atomic<int> Rows{0};
  int Last = -1;
  EXPECT_FALSE(ParallelBands(
      100000,
      [&](int B, int E) {
        // Bands that take a while, so the abort comes before the pool has taken them all.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        Rows += E - B;
      },
      [&](int Row) {
        Last = Row;
        return Row == 50;
      },
      8));
  EXPECT_EQ(Last, 50);
  EXPECT_LT(Rows.load(), 100000);
}

TEST(ParallelBands, ABandsErrorReachesTheCaller) {
  for (int Threads : {1, 4}) {
    TThreadCountScope Scope(Threads);
    EXPECT_THROW(ParallelBands(1000,
                               [](int B, int E) {
                                 if (B <= 500 && 500 < E) throw std::runtime_error("row 500");
                               }),
                 std::runtime_error);
  }
}

// Bands that start parallel work, and several callers at once (the thumbnail workers each resize
// on their own thread), finish with every row done.
TEST(ParallelBands, NestedAndConcurrentCallsFinish) {
  TThreadCountScope Scope(3);
  std::atomic<long> Total{0};
  auto Outer = [&] {
    ParallelBands(64, [&](int B, int E) {
      for (int Y = B; Y < E; ++Y)
        ParallelBands(100, [&](int B2, int E2) { Total += E2 - B2; });
    });
  };
  std::vector<std::thread> Callers;
  for (int I = 0; I < 4; ++I)
    Callers.emplace_back(Outer);
  for (auto& T : Callers)
    T.join();
  EXPECT_EQ(Total.load(), 4L * 64 * 100);
}

} // namespace
} // namespace orbisk
