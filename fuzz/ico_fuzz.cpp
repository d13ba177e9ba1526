// Feeds arbitrary bytes to the ICO reader: loading and the file information must fail cleanly.
#include "fuzz/fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  orbisk::fuzz::ReadAndDescribe("ico", Data, Size);
  return 0;
}
