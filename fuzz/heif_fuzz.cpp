// Feeds arbitrary bytes to the HEIF/HEIC reader (which hands AVIF files under the general brand
// to the AVIF decoder) and its header query.
#include "fuzz/fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  orbisk::fuzz::ReadAndDescribe("heic", Data, Size);
  return 0;
}
