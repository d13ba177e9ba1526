// Lossless right-angle turns and flips of JPEG files: the DCT coefficients are rearranged
// instead of decoding and encoding the picture again, so nothing of its quality is lost.
#pragma once

#include "engine/codecoptions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orbisk {

// What to do with a picture whose size is not a whole number of MCU blocks in the direction
// the turn moves: drop the partial blocks at that edge (the picture loses up to 15 pixels of
// width or height), or refuse.
enum class TJPEGTurnEdge { jeTrim, jePerfect };

// The turn is named by the camera orientation it makes upright (engine/orientation.h): 2 flip
// left-right, 3 turn 180, 4 flip top-bottom, 5 transpose, 6 turn 90 clockwise, 7 transverse,
// 8 turn 90 anticlockwise; 1 copies the coefficients unchanged. The JPEG data's markers are
// kept, and the EXIF Orientation value, if any, becomes 1. Errors (not a JPEG, too large for the
// pixel limit MaxPixelCount, a partial block under jePerfect, a library failure) raise
// EPGJPGFileFormatReaderWriter ("JPG: " and the reason).
std::vector<uint8_t> TurnJPEGLossless(const uint8_t* Data, size_t Size, int Orientation,
                                      TJPEGTurnEdge Edge,
                                      int64_t MaxPixelCount = DefaultMaxPixelCount);

// Reads In, turns it and writes Out through the engine's safe file (replacing an existing Out
// only when the whole result is written). In and Out may be the same file.
void TurnJPEGFileLossless(const std::string& In, const std::string& Out, int Orientation,
                          TJPEGTurnEdge Edge);

// Whether the turn can be done without trimming, from the file's header: the size in MCU
// blocks is whole where it has to be. False for data that is not a readable JPEG.
bool JPEGTurnIsPerfect(const uint8_t* Data, size_t Size, int Orientation);

// The orientation for the command-line names "90", "180", "270" (clockwise), "h", "v"; 0 for
// anything else.
int TurnFromName(const std::string& Name);

// Sets every EXIF Orientation value in the APP1 segments before the first scan of JPEG data to
// 1; true when one was found.
bool ResetJPEGOrientation(std::vector<uint8_t>& Jpeg);

} // namespace orbisk
