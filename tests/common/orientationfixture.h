// Pictures for the camera-orientation tests: one asymmetric upright picture, the eight stored
// layouts a camera may write for it, and EXIF blocks carrying the Orientation tag.
#pragma once

#include "engine/pixelgraphic.h"
#include "engine/stream.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace orbisk::test {

// The stored pixel (X, Y) of a picture with the given orientation whose upright form is
// UW x UH, as the upright pixel it shows; written from the tag's definition (where row 0 and
// column 0 of the stored picture appear), not from the engine's turn.
inline void UprightOf(int Orientation, int UW, int UH, int X, int Y, int& UX, int& UY) {
  switch (Orientation) {
  case 2:
    UX = UW - 1 - X, UY = Y;
    break; // row 0 top, column 0 right
  case 3:
    UX = UW - 1 - X, UY = UH - 1 - Y;
    break; // row 0 bottom, column 0 right
  case 4:
    UX = X, UY = UH - 1 - Y;
    break; // row 0 bottom, column 0 left
  case 5:
    UX = Y, UY = X;
    break; // row 0 left, column 0 top
  case 6:
    UX = UW - 1 - Y, UY = X;
    break; // row 0 right, column 0 top
  case 7:
    UX = UW - 1 - Y, UY = UH - 1 - X;
    break; // row 0 right, column 0 bottom
  case 8:
    UX = Y, UY = UH - 1 - X;
    break; // row 0 left, column 0 bottom
  default:
    UX = X, UY = Y;
  }
}

// 24-bit picture of W x H in 16 x 16 blocks of distinct colours (JPEG keeps them well).
inline TRGB BlockColor(int BX, int BY) {
  static const TRGB C[] = {RGBOf(220, 30, 30),   RGBOf(30, 200, 40),  RGBOf(30, 40, 220),
                           RGBOf(230, 220, 40),  RGBOf(40, 210, 220), RGBOf(200, 40, 210),
                           RGBOf(250, 250, 250), RGBOf(10, 10, 10),   RGBOf(128, 128, 128)};
  return C[(BY * 3 + BX) % 9];
}

// True when G has Expected's size and shows the same block in every 16-pixel cell (sampled at
// the cells' centres, a little JPEG noise allowed).
inline bool Shows(const TPixelGraphic& G, const TPixelGraphic& Expected) {
  if (G.Width() != Expected.Width() || G.Height() != Expected.Height()) return false;
  for (int Y = 8; Y < G.Height(); Y += 16)
    for (int X = 8; X < G.Width(); X += 16) {
      const TRGB A = G.GetPixelColor(X, Y), B = Expected.GetPixelColor(X, Y);
      if (std::abs(int(RedOf(A)) - int(RedOf(B))) + std::abs(int(GreenOf(A)) - int(GreenOf(B))) +
              std::abs(int(BlueOf(A)) - int(BlueOf(B))) >
          30)
        return false;
    }
  return true;
}

inline void MakeUpright(TPixelGraphic& G, int W = 48, int H = 32) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, BlockColor(X / 16, Y / 16));
}

// The stored picture for Orientation whose upright form is Upright.
inline void MakeStored(const TPixelGraphic& Upright, int Orientation, TPixelGraphic& Stored) {
  const int UW = Upright.Width(), UH = Upright.Height();
  const bool Swap = Orientation >= 5;
  Stored.SetSize(Swap ? UH : UW, Swap ? UW : UH, Upright.BitCountNum());
  Stored.AssignPalette(Upright);
  for (int Y = 0; Y < Stored.Height(); ++Y)
    for (int X = 0; X < Stored.Width(); ++X) {
      int UX, UY;
      UprightOf(Orientation, UW, UH, X, Y, UX, UY);
      Stored.SetPixelValue(X, Y, Upright.GetPixelValue(UX, UY));
    }
}

// "Exif\0\0" and a TIFF block whose IFD0 holds ImageDescription first, then Orientation.
inline std::vector<uint8_t> ExifBlock(int Orientation, bool Motorola = false) {
  std::vector<uint8_t> B = {'E', 'x', 'i', 'f', 0, 0};
  auto U16 = [&](unsigned V) {
    if (Motorola)
      B.insert(B.end(), {uint8_t(V >> 8), uint8_t(V)});
    else
      B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8)});
  };
  auto U32 = [&](uint32_t V) {
    if (Motorola)
      B.insert(B.end(), {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)});
    else
      B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)});
  };
  B.push_back(Motorola ? 'M' : 'I');
  B.push_back(Motorola ? 'M' : 'I');
  U16(42);
  U32(8);
  U16(2);
  U16(0x010E), U16(2), U32(4), B.insert(B.end(), {'a', 'b', 'c', 0}); // ImageDescription
  U16(0x0112), U16(3), U32(1), U16(unsigned(Orientation)), U16(0);
  U32(0);
  return B;
}

// JPEG data with an APP1 segment holding Block right after the start marker.
inline std::vector<uint8_t> WithApp1(const std::vector<uint8_t>& Jpeg,
                                     const std::vector<uint8_t>& Block) {
  std::vector<uint8_t> Out(Jpeg.begin(), Jpeg.begin() + 2);
  const size_t Len = Block.size() + 2;
  Out.insert(Out.end(), {0xFF, 0xE1, uint8_t(Len >> 8), uint8_t(Len)});
  Out.insert(Out.end(), Block.begin(), Block.end());
  Out.insert(Out.end(), Jpeg.begin() + 2, Jpeg.end());
  return Out;
}

// The picture as JPEG data through the engine's writer (its current quality).
inline std::vector<uint8_t> EncodeJPEG(TPixelGraphic& G) {
  TPGMemoryStream S;
  G.SaveToStreamExt(S, "jpg");
  return S.Bytes();
}

} // namespace orbisk::test
