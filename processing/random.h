// The program-wide random generator: a 32-bit linear congruential sequence that starts at seed 0
// and is never reseeded, so effects that use noise repeat from one run of the program to the next.
#pragma once

#include <atomic>
#include <cstdint>

namespace orbisk {

// The shared seed. Tests may set it; the program never does.
extern std::atomic<uint32_t> RandSeed;

// One step of the sequence.
constexpr uint32_t NextRandSeed(uint32_t Seed) {
  return Seed * 134775813u + 1u;
}

// Advances the seed and returns a number in 0..N-1 (0 when N <= 0).
int Random(int N);

// A local run of the shared sequence: takes the seed on construction and hands it back on
// destruction, so a long effect draws without touching the shared atomic per pixel. Two effects
// running at once on different threads draw the same numbers instead of racing.
class TRandomRun {
public:
  TRandomRun() : FSeed(RandSeed.load(std::memory_order_relaxed)) {}
  ~TRandomRun() { RandSeed.store(FSeed, std::memory_order_relaxed); }
  TRandomRun(const TRandomRun&) = delete;
  TRandomRun& operator=(const TRandomRun&) = delete;

  int operator()(int N) {
    FSeed = NextRandSeed(FSeed);
    if (N <= 0) return 0;
    return int((uint64_t(uint32_t(N)) * FSeed) >> 32);
  }

private:
  uint32_t FSeed;
};

} // namespace orbisk
