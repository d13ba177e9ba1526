// Camera orientation: the EXIF Orientation tag (274) that says how the stored rows and columns
// map onto the upright picture, and the exact right-angle turns and flips that make a picture
// upright.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstddef>
#include <cstdint>

namespace orbisk {

// The Orientation value of IFD0 in a TIFF-structured EXIF block, with or without the
// "Exif\0\0" prefix of a JPEG APP1 segment: 1..8, or 1 when the tag is absent or anything about
// the block is invalid. Reads nothing outside Data[0, Size).
int OrientationFromExif(const uint8_t* Data, size_t Size);

// Orientation 1..8 of a picture after it was turned upright: always 1. Values outside 1..8
// count as 1. The meaning of each value, from the stored picture to the upright one:
//   1 as stored            2 mirrored left-right      3 turned 180 degrees
//   4 mirrored top-bottom  5 transposed               6 turned 90 degrees clockwise
//   7 transversed          8 turned 90 degrees anticlockwise
inline bool ValidOrientation(int Orientation) {
  return Orientation >= 1 && Orientation <= 8;
}

// Turns G from the stored layout described by Orientation to upright, pixel value for pixel
// value with G's depth and palette (no resampling), and sets G.ExifOrientation to 1, so that a
// second call with G.ExifOrientation does nothing. Orientation 1 (or an invalid value) leaves
// the pixels alone.
void ApplyOrientation(TPixelGraphic& G, int Orientation);

// ApplyOrientation(G, G.ExifOrientation).
inline void AutoOrient(TPixelGraphic& G) {
  ApplyOrientation(G, G.ExifOrientation);
}

// Sets the Orientation value of IFD0 to 1 in place in an EXIF block like the one
// OrientationFromExif reads; true when there was such a value (nothing else is touched).
bool ResetExifOrientation(uint8_t* Data, size_t Size);

// The eight orientations form a group under composition. Compose(A, B) is the orientation of
// a picture stored with orientation A whose upright form is then stored with orientation B,
// i.e. applying A's turn and then B's turn equals applying Compose(A, B)'s turn.
int ComposeOrientation(int First, int Then);
// The orientation whose turn undoes Orientation's turn.
int InverseOrientation(int Orientation);

} // namespace orbisk
