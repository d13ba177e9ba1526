// The BMP file of a packed device-independent bitmap (information header, colour table, pixel
// rows): the 14-byte file header in front of the bitmap's bytes. No Qt, so that it is fuzzed alone.
#pragma once

#include "platform/scanframes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orbisk {

// The results of WriteNativeToFile.
constexpr int kNativeWritten = 0;
constexpr int kNativeNoName = -1; // no name given and the file dialog was cancelled
constexpr int kNativeCannotCreate = -2;
constexpr int kNativeUnusable = -3;    // no bitmap, or one whose sizes do not fit its bytes
constexpr int kNativeWriteFailed = -4; // writing failed, or a compressed bitmap without its size

// The BMP file of a packed bitmap in Out; one of the codes above (kNativeCannotCreate never).
// Colours in the table: the header's used-colour count, or 2^bit count when that count is 0 and
// the bit count is at most 8. An uncompressed bitmap gets its image size field set to
// height × row size; a compressed one must carry its size. Every size and count is checked
// against the bytes there are: nothing is read beyond Size.
int PackedBitmapToBMP(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Out);

} // namespace orbisk
