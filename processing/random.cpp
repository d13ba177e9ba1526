#include "processing/random.h"

namespace orbisk {

std::atomic<uint32_t> RandSeed{0};

int Random(int N) {
  TRandomRun Run;
  return Run(N);
}

} // namespace orbisk
