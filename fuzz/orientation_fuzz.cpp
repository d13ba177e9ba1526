// Camera orientation from arbitrary EXIF blocks and JPEG headers: always 1..8, the reset finds
// the same entry the reader found, and nothing is read or written outside the data.
#include "engine/orientation.h"
#include "processing/jpegturn.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const int O = orbisk::OrientationFromExif(Data, Size);
  if (O < 1 || O > 8) std::abort();

  std::vector<uint8_t> Copy(Data, Data + Size);
  const bool Reset = orbisk::ResetExifOrientation(Copy.data(), Copy.size());
  if (O != 1 && !Reset) std::abort(); // a value was found, so there is an entry to reset
  if (Reset && orbisk::OrientationFromExif(Copy.data(), Copy.size()) != 1) std::abort();

  // The same bytes as a JPEG header: segments walked, EXIF values reset in place.
  std::vector<uint8_t> Jpeg = {0xFF, 0xD8};
  Jpeg.insert(Jpeg.end(), Data, Data + Size);
  const size_t Before = Jpeg.size();
  orbisk::ResetJPEGOrientation(Jpeg);
  if (Jpeg.size() != Before) std::abort();

  orbisk::TPixelGraphic G;
  G.SetSize(3, 2, Size % 4);
  orbisk::ApplyOrientation(G, O);
  if (G.ExifOrientation != 1 || G.Width() != (O >= 5 ? 2 : 3)) std::abort();
  return 0;
}
