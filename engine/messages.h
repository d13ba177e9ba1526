// The engine's numbered message table and the exception family built on it.
#pragma once

#include <stdexcept>
#include <string>

namespace orbisk {

// Numbered engine messages (English column). Entries 0 and 84 are empty.
enum TPGMessage : int {
  msgXYIndexOutOfRange = 1,
  msgNoPalette = 2,
  msgInvalidPaletteIndex = 3,
  msgUnknownClipboardFormat = 4,
  msgInvalidTemporaryFile = 5,
  msgUnknownFileFormat = 6,
  msgInvalid = 7,          // "%S1 invalid"
  msgBlackAndWhite = 8,    // colour resolution names 8..15
  msgIsEmpty = 16,         // "%S1 is empty"
  msgColorResWarning = 17, // two-line save fall-back warning
  msgCannotWriteColorRes = 18,
  msgUnknownExtension = 19,
  msgInvalidValueFor = 20, // "Invalid value for %S1"
  msgNegativeHeight = 21,
  msgNegativeWidth = 22,
  msgFilterSourceIsTarget = 23,
  msgBit = 24,
  msgImageFiles = 25,
  msgAllFiles = 26,
  msgInvalidSizeOf = 27, // "Invalid size of %S1"
  msgWarning = 28,
  msgOperationAborted = 29,
  msgNotSupportedSubformat = 30,
  msgFailed = 31, // "%S1 failed"
  msgUnexpectedEOF = 32,
  msgUnknownSubformat = 33,
  msgNotAFile = 34, // "Not a %S1 file"
  msgWidthOrHeightZero = 35,
  msgInvalidColorResolution = 36,
  msgUnsupportedFieldType = 37,
  msgInvalidRowByteCount = 38,
  msgUnsupportedCompression = 39,
  msgSaturationHue = 40,
  msgOutOfRange = 41, // "%S1 out of range"
  msgLast = 84,
};

// The unfilled text of entry N ("" for numbers outside the table).
const std::string& EngineMessage(int N);
// Entry N with the first occurrence of %S1 (%S2, %S3) replaced.
std::string EngineMessage(int N, const std::string& S1);
std::string EngineMessage(int N, const std::string& S1, const std::string& S2);
std::string EngineMessage(int N, const std::string& S1, const std::string& S2,
                          const std::string& S3);
// Throws EPixelGraphic when the table's numbering is inconsistent.
void CheckMessageTable();

// ---- exception family -------------------------------------------------------

class EPixelGraphic : public std::runtime_error {
public:
  explicit EPixelGraphic(const std::string& Msg) : std::runtime_error(Msg) {}
};

#define ORBISK_EXCEPTION(Name, Parent)                                                             \
  class Name : public Parent {                                                                     \
  public:                                                                                          \
    explicit Name(const std::string& Msg) : Parent(Msg) {}                                         \
  };

ORBISK_EXCEPTION(EPGXYIndexOutOfRange, EPixelGraphic)
ORBISK_EXCEPTION(EPGNoPalette, EPixelGraphic)
ORBISK_EXCEPTION(EPGInvalidPaletteIndex, EPixelGraphic)
ORBISK_EXCEPTION(EPGEmpty, EPixelGraphic)
ORBISK_EXCEPTION(EPGCanWriteResolutionsEmpty, EPixelGraphic)
ORBISK_EXCEPTION(EPGCannotWriteColorRes, EPixelGraphic)
ORBISK_EXCEPTION(EPGFileFormatWritersEmpty, EPixelGraphic)
ORBISK_EXCEPTION(EPGUnknownExtension, EPixelGraphic)
ORBISK_EXCEPTION(EPGUnknownFileFormat, EPixelGraphic)
ORBISK_EXCEPTION(EPGUnknownClipboardFormat, EPixelGraphic)
ORBISK_EXCEPTION(EPGBMPFileFormatReader, EPixelGraphic)
ORBISK_EXCEPTION(EPGJPGFileFormatReaderWriter, EPixelGraphic)
ORBISK_EXCEPTION(EPGPNGFileFormatReaderWriter, EPixelGraphic)
ORBISK_EXCEPTION(EPGPCXFileFormatReader, EPixelGraphic)
ORBISK_EXCEPTION(EPGPxMFileFormatReader, EPixelGraphic)
ORBISK_EXCEPTION(EPGPxMFileFormatWriter, EPixelGraphic)
ORBISK_EXCEPTION(EPGTGAFileFormatReader, EPixelGraphic)
ORBISK_EXCEPTION(EPGTGAFileFormatWriter, EPixelGraphic)
ORBISK_EXCEPTION(EPGTIFFileFormatReader, EPixelGraphic)
ORBISK_EXCEPTION(EPGTIFFileFormatWriter, EPixelGraphic)
ORBISK_EXCEPTION(EPGInvalidBitCountNum, EPixelGraphic)
ORBISK_EXCEPTION(EPGInvalidSize, EPixelGraphic)
ORBISK_EXCEPTION(EPGFilter, EPixelGraphic)
ORBISK_EXCEPTION(EPGSaturationHue, EPixelGraphic)
ORBISK_EXCEPTION(EPGConvFilter, EPixelGraphic)
// Stream failures (short reads past the end, unwritable files).
ORBISK_EXCEPTION(EPGStreamError, EPixelGraphic)
// A write that must not replace a file found one under the target's name.
ORBISK_EXCEPTION(EPGTargetExists, EPGStreamError)

#undef ORBISK_EXCEPTION

} // namespace orbisk
