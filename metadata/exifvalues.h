// EXIF values as people read them: exposure times, apertures, enumerations, versions, GPS
// positions. Used by the reader once every directory has been walked.
#pragma once

#include "metadata/exif.h"

#include <vector>

namespace orbisk {

// Fills Readable for the entries whose meaning is known. GPS positions take their hemisphere
// from the reference entry of the same directory.
// Motorola: the byte order of the values (for 16-bit text).
void DescribeValues(std::vector<TExifEntry>& Entries, bool Motorola);

} // namespace orbisk
