// Feeds arbitrary bytes to the JPEG XL reader and its header query.
#include "fuzz/fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  orbisk::fuzz::ReadAndDescribe("jxl", Data, Size);
  return 0;
}
