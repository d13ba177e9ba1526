// Shared by the readers that decode a whole picture through a codec library (WebP, AVIF,
// HEIF, JPEG XL): the file's bytes in memory, the thread count the libraries may use, the pixel
// limit and the copy of decoded rows into the picture with alpha composited onto the picture's
// background colour.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orbisk {

class TPGStream;

// A reader's error: raises the format's own exception with the tagged text.
using TFailFn = std::function<void(const std::string&)>;

// The rest of the stream from its position, at most MaxBytes (larger inputs are refused through
// Fail before anything is read).
std::vector<uint8_t> ReadRemaining(TPGStream& Stream, const TFailFn& Fail);

// Worker threads a decoder or encoder may run: the processors this process may use, at least 1.
int CodecThreadCount();

// Refuses sizes that are not positive or pass the engine's pixel limit, before any allocation,
// with the text the other readers use ("CreateDIBSection failed").
void CheckPictureSize(int64_t Width, int64_t Height, const TFailFn& Fail, int64_t MaxPixelCount);

// Decoded rows, top row first: Channels 3 (blue, green, red) or 4 (blue, green, red, alpha;
// alpha not premultiplied).
struct TDecodedRows {
  const uint8_t* Data = nullptr;
  int64_t Stride = 0;
  int Width = 0, Height = 0;
  int Channels = 3;
  bool RedFirst = false;      // red, green, blue (and alpha) instead
  bool Premultiplied = false; // colours already multiplied by alpha (over black)
};

// Sizes Image to 24 bits and copies the rows in, compositing alpha onto Image's background
// colour, with progress per row (when Progress is on). Returns false when the progress handler
// asked to abort: the rows done so far stay, the rest is black.
bool StoreDecodedRows(TPixelGraphic& Image, const TDecodedRows& Rows, bool Progress = true);
// The same into a 24-bit Image already sized, with the rows' top-left pixel at (X, Y); the rows
// must fit inside.
bool StoreDecodedRowsAt(TPixelGraphic& Image, const TDecodedRows& Rows, int X, int Y,
                        bool Progress = true);

// Turns a decoded buffer by the container's rotation (quarter turns anti-clockwise) and then its
// mirror (0: top and bottom exchanged, 1: left and right exchanged, -1: none). Returns the turned
// copy; Rows is updated to describe it.
std::vector<uint8_t> TurnDecodedRows(TDecodedRows& Rows, int QuarterTurns, int Mirror);

// Whether a W x H decode of a FullW x FullH picture answers a reduced-decode request for
// Reduced (TPixelGraphic::ReducedSize): both sides at least the stored sides times Reduced /
// max(FullW, FullH), neither more than the stored side. False when Reduced is 0 or less.
bool ReducedSizeFits(int64_t FullW, int64_t FullH, int64_t W, int64_t H, int Reduced);

// The smallest size that answers the request, for decoders that scale freely; the stored size
// when nothing is asked or the picture is no larger than asked.
void ReducedTarget(int64_t FullW, int64_t FullH, int Reduced, int& W, int& H);

// Sets the picture's camera orientation from its EXIF block (raw bytes as the container holds
// them); call it after the picture is sized.
void NoteExifBlock(TPixelGraphic& Image, const uint8_t* Data, size_t Size);

} // namespace orbisk
