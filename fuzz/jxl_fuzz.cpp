// Feeds arbitrary bytes to the JPEG XL reader (full and reduced decodes) and its header query.
#include "fuzz/fuzz_reader.h"

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::ReadAndDescribe("jxl", Data, Size);
  fuzz::ReadReduced("jxl", Data, Size);
  return 0;
}
