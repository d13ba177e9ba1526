// JPEG decoding for thumbnails: libjpeg's DCT scaling picks the smallest size n/8 that is not
// smaller than the wanted size, with the fast integer transform, so a 12-megapixel photo is
// decoded at 1/8 of its sides for a 64-pixel cell.
#pragma once

#include "engine/pixelgraphic.h"
#include "thumbnails/thumbcell.h"

#include <atomic>
#include <string>

namespace orbisk {

// True when the data starts like a JPEG file (FF D8).
bool LooksLikeJPEG(const uint8_t* Data, size_t Size);

// Decodes the JPEG data into Out (24 bits; grey files are expanded) at the smallest DCT scale
// whose output is at least the size that Fit gives for the picture's full size; FullW and FullH
// receive that full size. Warnings are ignored (a truncated file gives the rows the library
// makes up), CMYK files and failures raise EPGJPGFileFormatReaderWriter ("JPG: " and the reason).
// A set Cancel flag stops the decoding with an error. Out.ExifOrientation takes the file's
// camera orientation (Out itself is as stored).
void LoadScaledJPEG(const uint8_t* Data, size_t Size, TSize2 (*Fit)(int W, int H, int S), int S,
                    TPixelGraphic& Out, int& FullW, int& FullH,
                    const std::atomic<bool>* Cancel = nullptr);

} // namespace orbisk
