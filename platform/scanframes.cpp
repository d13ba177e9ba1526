#include "platform/scanframes.h"

#include "engine/pixelgraphic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orbisk {

namespace {

// Bytes a line needs for its pixels at a depth and format (0 when the pair is not taken).
int64_t NeededBytes(const TFrameParams& P) {
  const int64_t W = P.PixelsPerLine;
  switch (static_cast<TFrameFormat>(P.Format)) {
  case TFrameFormat::ffGray:
    if (P.Depth == 1) return (W + 7) / 8;
    if (P.Depth == 8) return W;
    if (P.Depth == 16) return 2 * W;
    return 0;
  case TFrameFormat::ffRGB:
    if (P.Depth == 8) return 3 * W;
    if (P.Depth == 16) return 6 * W;
    return 0;
  case TFrameFormat::ffRed:
  case TFrameFormat::ffGreen:
  case TFrameFormat::ffBlue:
    if (P.Depth == 8) return W;
    if (P.Depth == 16) return 2 * W;
    return 0;
  }
  return 0;
}

std::string Describe(const TFrameParams& P) {
  return std::to_string(P.PixelsPerLine) + " pixels and " + std::to_string(P.BytesPerLine) +
         " bytes per line, " + std::to_string(P.Lines) + " lines, depth " +
         std::to_string(P.Depth) + ", format " + std::to_string(P.Format);
}

[[noreturn]] void Impossible(const TFrameParams& P, const std::string& Why) {
  throw EScanFrame("impossible parameters (" + Why + "): " + Describe(P));
}

void PutLE(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
  P[2] = uint8_t(V >> 16);
  P[3] = uint8_t(V >> 24);
}

uint8_t Sample16(const uint8_t* P) {
  uint16_t V; // SANE sends 16-bit samples in the machine's byte order
  std::memcpy(&V, P, 2);
  return uint8_t(V >> 8);
}

} // namespace

void TFrameAssembler::BeginFrame(const TFrameParams& P) {
  if (FInFrame) throw EScanFrame("a frame began before the last one ended");
  if (Complete()) throw EScanFrame("the device sent a frame after the last one");
  if (P.Format < 0 || P.Format > 4) Impossible(P, "unknown frame format");
  if (P.BytesPerLine <= 0) Impossible(P, "no bytes per line");
  if (P.PixelsPerLine <= 0) Impossible(P, "no pixels per line");
  if (P.Lines == 0 || P.Lines < -1) Impossible(P, "no lines");
  const int64_t Needed = NeededBytes(P);
  if (Needed == 0) Impossible(P, "unsupported depth");
  if (P.BytesPerLine < Needed) Impossible(P, "lines shorter than their pixels");
  // Padding beyond a few kilobytes is no scanner's; it would only make us allocate for nothing.
  if (P.BytesPerLine - Needed > 65536) Impossible(P, "lines far longer than their pixels");
  if (P.Lines > 0 && int64_t(P.PixelsPerLine) * P.Lines > FMaxPixelCount)
    Impossible(P, "beyond the pixel limit");

  const bool Colour = P.Format >= 2;
  if (FFrames == 0) {
    if (Colour)
      FBitCount = 24;
    else
      FBitCount = P.Format == 1 ? 24 : (P.Depth == 1 ? 1 : 8);
    FStride = size_t(((int64_t(FBitCount) * P.PixelsPerLine + 31) / 32) * 4);
    FFirst = P;
    FHeight = P.Lines > 0 ? P.Lines : 0;
    FPixels.clear();
    if (P.Lines > 0) FPixels.assign(FStride * size_t(P.Lines), 0);
  } else {
    // Only the colour frames of a three-pass scanner follow one another.
    if (!Colour || FFirst.Format < 2) Impossible(P, "a second frame of a one-frame picture");
    const unsigned Bit = 1u << (P.Format - 2);
    if (FChannels & Bit) Impossible(P, "the same colour twice");
    if (P.PixelsPerLine != FFirst.PixelsPerLine || P.Depth != FFirst.Depth ||
        (P.Lines != -1 && P.Lines != FHeight))
      Impossible(P, "a colour frame that does not match the first");
  }
  FCur = P;
  FLine.assign(size_t(P.BytesPerLine), 0);
  FLineFill = 0;
  FRows = 0;
  FInFrame = true;
}

void TFrameAssembler::Add(const uint8_t* Data, size_t Count) {
  if (!FInFrame) throw EScanFrame("data outside a frame");
  FBytesDone += int64_t(Count);
  // The rows of a later colour frame stop at the height of the first.
  const int64_t Limit = FFrames > 0 || FCur.Lines > 0 ? FHeight : -1;
  while (Count > 0) {
    if (Limit >= 0 && FRows >= Limit) return; // beyond what was announced: ignored
    const size_t Take = std::min(Count, FLine.size() - FLineFill);
    std::memcpy(FLine.data() + FLineFill, Data, Take);
    FLineFill += Take;
    Data += Take;
    Count -= Take;
    if (FLineFill == FLine.size()) {
      StoreLine();
      FLineFill = 0;
    }
  }
}

void TFrameAssembler::StoreLine() {
  const int W = FCur.PixelsPerLine;
  if (FCur.Lines == -1 && FFrames == 0) {
    // A frame of unknown length grows row by row up to the pixel limit.
    if ((FRows + 1) * int64_t(W) > FMaxPixelCount)
      throw EScanFrame("the picture passes the pixel limit of " + std::to_string(FMaxPixelCount) +
                       " pixels");
    FPixels.resize(FPixels.size() + FStride, 0);
    ++FHeight;
  }
  uint8_t* Out = FPixels.data() + size_t(FRows) * FStride;
  const uint8_t* In = FLine.data();
  const bool Wide = FCur.Depth == 16;
  switch (static_cast<TFrameFormat>(FCur.Format)) {
  case TFrameFormat::ffGray:
    if (FCur.Depth == 1) {
      // SANE's line art has 1 for black; the picture's palette has black first.
      const int Bytes = (W + 7) / 8;
      for (int I = 0; I < Bytes; ++I)
        Out[I] = uint8_t(~In[I]);
      if (W % 8) Out[Bytes - 1] &= uint8_t(0xFF << (8 - W % 8));
    } else {
      for (int X = 0; X < W; ++X)
        Out[X] = Wide ? Sample16(In + 2 * X) : In[X];
    }
    break;
  case TFrameFormat::ffRGB:
    for (int X = 0; X < W; ++X) {
      for (int C = 0; C < 3; ++C) {
        const uint8_t V = Wide ? Sample16(In + 6 * X + 2 * C) : In[3 * X + C];
        Out[3 * X + 2 - C] = V; // blue, green, red in the picture
      }
    }
    break;
  default: {
    const int Offset = 2 - (FCur.Format - 2); // red 2, green 1, blue 0
    for (int X = 0; X < W; ++X)
      Out[3 * X + Offset] = Wide ? Sample16(In + 2 * X) : In[X];
    break;
  }
  }
  ++FRows;
}

void TFrameAssembler::EndFrame() {
  if (!FInFrame) throw EScanFrame("the end of a frame that did not begin");
  FInFrame = false;
  const int64_t Want = FHeight;
  if (FCur.Lines == -1 && FFrames == 0) {
    if (FLineFill != 0 || FRows == 0)
      throw EScanFrame("the frame ended early, after " + std::to_string(FRows) +
                       " whole lines and " + std::to_string(FLineFill) + " bytes");
  } else if (FRows < Want) {
    throw EScanFrame("the frame ended early, after " + std::to_string(FRows) + " of " +
                     std::to_string(Want) + " lines");
  }
  ++FFrames;
  if (FCur.Format < 2) {
    FGotWhole = true;
  } else {
    FChannels |= 1u << (FCur.Format - 2);
    if (FChannels == 7)
      FGotWhole = true;
    else if (FCur.LastFrame)
      throw EScanFrame("the last frame came before all three colours");
  }
}

bool TFrameAssembler::Complete() const {
  return FGotWhole && !FInFrame;
}

int64_t TFrameAssembler::BytesExpected() const {
  const TFrameParams& P = FFrames > 0 ? FFirst : FCur;
  if (P.BytesPerLine <= 0 || P.Lines <= 0) return -1;
  return int64_t(P.BytesPerLine) * P.Lines * (P.Format >= 2 ? 3 : 1);
}

TNativeBitmap TFrameAssembler::Finish() {
  TNativeBitmap B;
  if (!Complete()) return B;
  const int Colours = FBitCount <= 8 ? 1 << FBitCount : 0;
  const size_t Image = FStride * size_t(FHeight);
  B.assign(40 + 4 * size_t(Colours) + Image, 0);
  uint8_t* H = B.data();
  PutLE(H, 40);
  PutLE(H + 4, uint32_t(FFirst.PixelsPerLine));
  PutLE(H + 8, uint32_t(FHeight));
  H[12] = 1; // planes
  H[14] = uint8_t(FBitCount);
  PutLE(H + 20, uint32_t(Image));
  const uint32_t PerMetre = FResolution > 0 ? uint32_t(std::lround(FResolution / 0.0254)) : 0;
  PutLE(H + 24, PerMetre);
  PutLE(H + 28, PerMetre);
  // The used-colour count stays 0: the full table of the bit count follows.
  for (int I = 0; I < Colours; ++I) {
    const uint8_t V = uint8_t(Colours == 2 ? I * 255 : I);
    uint8_t* E = H + 40 + 4 * I;
    E[0] = E[1] = E[2] = V;
  }
  uint8_t* Rows = H + 40 + 4 * Colours;
  for (int64_t Y = 0; Y < FHeight; ++Y)
    std::memcpy(Rows + size_t(FHeight - 1 - Y) * FStride, FPixels.data() + size_t(Y) * FStride,
                FStride);
  *this = TFrameAssembler(FResolution, FMaxPixelCount);
  return B;
}

} // namespace orbisk
