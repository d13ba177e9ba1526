// EXIF reader on arbitrary bytes: must end quickly with whatever it could read.
#include "metadata/exif.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::span<const uint8_t> Bytes(Data, Size);
  size_t Text = 0;
  for (const orbisk::TExifEntry& E : orbisk::ReadExifEntries(Bytes)) {
    // The name always follows the tag (in the GPS directory by its own names), and no value
    // outgrows its cut.
    const std::string Name = E.Chain == orbisk::TExifChain::ecGPS ? orbisk::ExifGPSTagName(E.Tag)
                                                                  : orbisk::ExifTagName(E.Tag);
    if (E.Name != Name) std::abort();
    if (E.Type == 2 && E.Value.size() > orbisk::ExifAsciiMax) std::abort();
    Text += E.Value.size();
  }
  if (Text > orbisk::ExifMaxListBytes + 4 * orbisk::ExifUndefinedMax) std::abort();
  if (Size >= 8) {
    (void)orbisk::ReadExifWord(Bytes, Data[0], orbisk::ExifByteOrder(Data[1] % 3));
    (void)orbisk::ReadExifLong(Bytes, Data[2], orbisk::ExifByteOrder(Data[3] % 3));
  }
  return 0;
}
