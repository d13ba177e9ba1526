// Feeds arbitrary bytes to the HEIF/HEIC reader (which hands AVIF files under the general brand
// to the AVIF decoder), its thumbnail reading and its header query.
#include "fuzz/fuzz_reader.h"

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::ReadAndDescribe("heic", Data, Size);
  fuzz::ReadReduced("heic", Data, Size);
  return 0;
}
