// The fast bitmap: a 24-bit top-down pixel buffer (blue, green, red; rows padded to four bytes)
// with a table of row starts, for effects that run over raw rows instead of pixel accessors.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>
#include <vector>

namespace orbisk {

// The rows of a 24-bit buffer.
class TFastRGB {
public:
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int64_t RowBytes() const { return FRowBytes; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  // Row Y, 0 = top; Y must be inside.
  uint8_t* Row(int Y) { return FRows[size_t(Y)]; }
  const uint8_t* Row(int Y) const { return FRows[size_t(Y)]; }
  uint8_t* Pixel(int X, int Y) { return FRows[size_t(Y)] + 3 * int64_t(X); }
  const uint8_t* Pixel(int X, int Y) const { return FRows[size_t(Y)] + 3 * int64_t(X); }

protected:
  int FWidth = 0, FHeight = 0;
  int64_t FRowBytes = 0;
  std::vector<uint8_t*> FRows;
};

class TFastBMP : public TFastRGB {
public:
  TFastBMP() = default;
  TFastBMP(int W, int H) { SetSize(W, H); }
  // A 24-bit copy of the picture's colours.
  explicit TFastBMP(const TPixelGraphic& G) { LoadFrom(G); }
  TFastBMP(const TFastBMP&) = delete;
  TFastBMP& operator=(const TFastBMP&) = delete;

  // Black pixels. Refuses negative sizes and pictures above PixelAllocationLimit() before
  // allocating.
  void SetSize(int W, int H);
  void Assign(const TFastBMP& Source);
  void LoadFrom(const TPixelGraphic& G);
  // G becomes a 24-bit copy of this bitmap (its settings stay).
  void CopyTo(TPixelGraphic& G) const;

  // Amounts are integers; channels are limited to 0..255. The effects share their rows out
  // between the engine's threads with the same result as one thread; the noise effects and the
  // spray take the same numbers of the program-wide sequence in pixel order and leave its seed
  // where one thread would.
  void AddColorNoise(int N);
  void AddMonoNoise(int N);
  // Dest (made the size of this bitmap) receives this bitmap's pixels scattered by up to N.
  void Spray(TFastBMP& Dest, int N) const;
  void Mosaic(int XSize, int YSize);
  void Emboss();

private:
  std::vector<uint8_t> FBuffer;
};

// The colour of G's background value (an index in a palette picture), as reads outside show it.
TRGB BackgroundColorOf(const TPixelGraphic& G);

// Resizes G to W x H at 24 bits. The background of a palette picture is an index, so it is
// turned into its colour first.
void SetTrueColorSize(TPixelGraphic& G, int W, int H);

} // namespace orbisk
