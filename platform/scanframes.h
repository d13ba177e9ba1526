// Scanned frames into a packed device-independent bitmap: the 40-byte information header, the
// colour table and the pixel rows bottom-up, each row padded to 4 bytes. Line art becomes 1 bit
// (black and white palette), grey 8 bits with the grey palette, colour 24 bits; 16-bit samples
// are reduced to 8 and the three frames of a three-pass scanner are joined. Nothing here talks to
// a device, so the checks on what a device reports are testable on their own.
#pragma once

#include "engine/codecoptions.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orbisk {

// A packed device-independent bitmap as one block (empty: none).
using TNativeBitmap = std::vector<uint8_t>;

// What a scanner says about a frame, as SANE reports it.
enum class TFrameFormat { ffGray = 0, ffRGB = 1, ffRed = 2, ffGreen = 3, ffBlue = 4 };
struct TFrameParams {
  int Format = 0; // TFrameFormat; other values are refused
  bool LastFrame = true;
  int BytesPerLine = 0;
  int PixelsPerLine = 0;
  int Lines = 0; // -1: not known before the end (hand-held scanners)
  int Depth = 0; // bits per sample: 1, 8 or 16
};

// A frame the program cannot take: impossible parameters, a frame that ended early, a picture
// beyond the pixel limit. The text says which, with the numbers.
class EScanFrame : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TFrameAssembler {
public:
  // Resolution in dots per inch for the header's pixels per metre (0: none); pictures above
  // MaxPixelCount pixels are refused.
  explicit TFrameAssembler(double Resolution = 0, int64_t MaxPixelCount = DefaultMaxPixelCount)
      : FResolution(Resolution), FMaxPixelCount(MaxPixelCount) {}

  // Starts a frame. Throws EScanFrame for parameters that cannot describe a picture or that do
  // not fit the frames before it.
  void BeginFrame(const TFrameParams& P);
  // Bytes of the current frame as they arrive, in any pieces. Bytes beyond the lines announced
  // are ignored. Throws EScanFrame when a frame of unknown length passes the pixel limit.
  void Add(const uint8_t* Data, size_t Count);
  // The device said the frame is over. Throws EScanFrame when lines are missing.
  void EndFrame();
  // True when the frames so far make a whole picture (the last frame, or all three colours).
  bool Complete() const;
  // The picture (empty unless Complete). Leaves the assembler empty.
  TNativeBitmap Finish();

  // Progress: bytes received and expected for the whole picture (-1 when not known).
  int64_t BytesDone() const { return FBytesDone; }
  int64_t BytesExpected() const;
  int Frames() const { return FFrames; }

private:
  void StoreLine();

  double FResolution;
  int64_t FMaxPixelCount;
  TFrameParams FFirst{}; // the first frame's parameters
  TFrameParams FCur{};
  bool FInFrame = false;
  int FFrames = 0;
  unsigned FChannels = 0; // bit mask of the colour frames received (red 1, green 2, blue 4)
  bool FGotWhole = false; // a grey or colour frame, or the last of the colour frames
  int FBitCount = 0;      // of the result
  size_t FStride = 0;     // of a result row
  int64_t FRows = 0;      // rows of the current frame stored
  int64_t FHeight = 0;    // rows of the picture (after the first frame)
  std::vector<uint8_t> FLine;
  size_t FLineFill = 0;
  std::vector<uint8_t> FPixels; // result rows, top-down
  int64_t FBytesDone = 0;
};

} // namespace orbisk
