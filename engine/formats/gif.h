// GIF reader: one frame of a GIF file (87a or 89a) at the frame's own size, without compositing.
// The structure parser is public so that animation code can place frames on the logical screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orbisk {

struct TGIFFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Interlaced = false;
  int ColorBits = 0;          // of the table in use (local, else global); 0 without any table
  size_t TableOffset = 0;     // first byte of that table in the data (0: none)
  size_t DataOffset = 0;      // the LZW minimum code size byte
  bool DataTruncated = false; // the file ends inside the frame's data
  // From the graphic control extension in front of the frame.
  int Disposal = 0; // 0, 1, 2 or 3
  int DelayMs = 0;
  bool HasTransparency = false;
  int TransparentIndex = 0;
  std::string Comment;
};

struct TGIFStructure {
  std::string Version; // "87a" or "89a"
  int ScreenWidth = 0, ScreenHeight = 0;
  int BackgroundIndex = 0;
  int GlobalColorBits = 0;       // 0 without a global table
  int LoopCount = -1;            // from a NETSCAPE2.0 block; -1 when absent
  std::vector<TGIFFrame> Frames; // frames of width or height 0 are left out
  int EmptyFrames = 0;           // how many were left out
};

// True when the data starts with the "GIF" signature.
bool IsGIFSignature(const uint8_t* Data, size_t Size);
// Walks the block structure without decoding pixels. MaxFrames >= 0 stops after that many
// frames. Raises EPixelGraphic "Not a proper GIF file" without a signature or screen descriptor;
// a file that ends early keeps the frames found so far.
TGIFStructure ParseGIFStructure(const uint8_t* Data, size_t Size, int MaxFrames = -1);

} // namespace orbisk
