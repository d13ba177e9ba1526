// Moving pictures beyond GIF: animated WebP, AVIF sequences, animated JPEG XL and APNG. A
// TAnimation hands out the frames one after another as whole pictures (each frame drawn onto the
// canvas left by the ones before it, as the file asks, and over the background colour), with
// the time each one stays and the file's loop count. Frames are decoded on demand, so a long
// animation costs one canvas, not all its frames.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orbisk {

class TPGStream;

// Frame times below this are shown this long (what browsers do for 0 and 10 ms frames).
constexpr int kMinFrameMs = 20;
// The most frames an animation may have.
constexpr int kMaxAnimationFrames = 100000;

class TAnimation {
public:
  // Reads the file's container (not yet its frames). Raises EPixelGraphic ("<type>: " and the
  // reason) for files that are not one of the four kinds, damaged ones and canvases past the
  // engine's pixel limit. A still picture of one of the kinds opens with one frame.
  static std::unique_ptr<TAnimation> Open(const std::string& FileName);
  // The same for a file's bytes.
  static std::unique_ptr<TAnimation> FromBytes(std::vector<uint8_t> Data);
  // Whether the file is of a kind TAnimation reads, opens and holds more than one frame (cheap
  // for stills: their headers only; false for unreadable files).
  static bool IsAnimated(const std::string& FileName);

  virtual ~TAnimation() = default;
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int FrameCount() const { return FFrameCount; }
  // 0 plays for ever, otherwise the number of times the whole animation plays.
  int LoopCount() const { return FLoopCount; }
  // The kind, as in messages: "WebP", "AVIF", "JPEG XL", "APNG".
  virtual std::string Kind() const = 0;

  // The next frame (the first after Open or Rewind) into Frame as a 24-bit picture of the
  // canvas size, transparency over Background; its time in milliseconds. False after the last
  // frame. Raises EPixelGraphic for a damaged frame.
  bool NextFrame(TPixelGraphic& Frame, int& DurationMs, TRGB Background = 0xFFFFFF);
  // The same as straight-alpha BGRA rows of the canvas (Width * 4 bytes each, no gaps), for a
  // viewer that draws the frame over a colour of its own.
  bool NextFrameBgra(std::vector<uint8_t>& Bgra, int& DurationMs);
  // Starts again at the first frame.
  void Rewind() {
    DoRewind();
    FPosition = 0;
  }
  // Frames handed out since Open or Rewind.
  int Position() const { return FPosition; }

protected:
  // The next frame as straight-alpha BGRA rows of the canvas (Width * 4 bytes each, no gaps).
  virtual bool DecodeNext(std::vector<uint8_t>& Bgra, int& DurationMs) = 0;
  virtual void DoRewind() = 0;
  void SetCanvas(int64_t W, int64_t H, const std::string& Kind);

  int FWidth = 0, FHeight = 0, FFrameCount = 0, FLoopCount = 0, FPosition = 0;

private:
  std::vector<uint8_t> FBuffer;
};

// Reads up to Count bytes at Offset (from the start of a file's data) into Buffer; gives the
// number read, fewer at the end of the data.
using TReadAt = std::function<size_t(int64_t Offset, uint8_t* Buffer, size_t Count)>;

// The number of frames of a WebP, AVIF, JPEG XL or PNG file of Size bytes, from its container
// alone: no pixels are decoded, a still picture costs a few header bytes and only animations are
// read whole. 1 for a still picture, 0 for a file of none of the four kinds. Agrees with
// TAnimation's FrameCount. Raises EPixelGraphic for a damaged animation.
int CountAnimationFrames(const TReadAt& ReadAt, int64_t Size);
int CountAnimationFrames(const std::string& FileName);
int CountAnimationFrames(const std::vector<uint8_t>& Data);
// From the stream's position to its end; the position is kept.
int CountAnimationFrames(TPGStream& Stream);

} // namespace orbisk
