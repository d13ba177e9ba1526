// The GIF writer: a picture of at most 256 distinct colours as a single-image GIF89a file.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orbisk {

// Error codes of the GIF writer; 0 is success. The export command shows the number.
enum TGIFError : int {
  gifOK = 0,
  gifEncodingFailed = 2, // memory ran out while compressing
  gifTooManyColors = 4,  // more than 256 distinct colours
  gifIndexingFailed = 6, // memory ran out while indexing the colours
  gifEmptyPicture = 7,   // no pixels
  gifTooLarge = 8,       // wider or higher than 65535 pixels
  gifWriteFailed = 9,    // the file could not be written whole
};

// A short English description of an error code.
const char* GIFErrorText(int Code);

// Builds the whole file in memory. Returns the error code; Out holds the file only on success.
int EncodeGIF(const TPixelGraphic& Picture, bool Interlaced, TRGB TransparentColor,
              bool Transparent, std::vector<uint8_t>& Out);

// Writes Picture as a GIF89a file. The file appears only when it was written whole (a
// temporary file renamed over the target), so a failure never damages an existing file.
// Returns true on success; ErrorCode, when given, receives the code (0 on success), and
// WriteError the file system's account of a gifWriteFailed (the target and the reason).
bool WriteGIF(const std::string& FileName, const TPixelGraphic& Picture, bool Interlaced,
              TRGB TransparentColor, bool Transparent, int* ErrorCode = nullptr,
              std::string* WriteError = nullptr);

// The fixed text of the closing comment extension.
extern const char* const GIFCommentText;

} // namespace orbisk
