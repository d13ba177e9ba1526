// The options a reading or a writing runs with, handed to every load and save call and from
// there to the reader or writer. Each call carries its own, so threads that read or write at
// the same time never see each other's options. The defaults are the program's defaults.
#pragma once

#include <atomic>
#include <cstdint>

namespace orbisk {

constexpr long double kDefaultScreenGamma = 1.8L;
// Largest picture (Width x Height) the engine allocates by default.
constexpr int64_t DefaultMaxPixelCount = int64_t(1) << 28;

constexpr int kTIFFCompressionNone = 1;
constexpr int kTIFFCompressionPackBits = 32773;

struct TTIFFResolution {
  uint32_t Numerator;
  uint32_t Denominator;
};

// Counts for tests and measurements of the PNG reader: readings whose image data went through
// the worker, and readings decoded a second time without it after the worker met something
// irregular.
struct TPNGDecodeStats {
  std::atomic<int> Piped{0};
  std::atomic<int> Repeated{0};
};

struct TReadOptions {
  // Gamma of the display pictures are corrected for, and whether loading corrects them.
  long double ScreenGamma = kDefaultScreenGamma;
  bool GammaCorrectionOnRead = true;
  // Largest picture (Width x Height) a reader allocates; readers refuse larger declared sizes
  // with "%S1 failed" before allocating. Fuzzers lower it.
  int64_t MaxPixelCount = DefaultMaxPixelCount;
  // DCT method: 0 integer precise, 1 integer fast, 2 floating point.
  int JPEGReadDCTMethod = 0;
  // Screen resolution that metafile sizes are computed for.
  int MetafilePixelsPerInchX = 96;
  int MetafilePixelsPerInchY = 96;
  // Composite PNG transparency onto the file's bKGD.
  bool PNGUseFileBackground = true;
  // How a large PNG picture's image data is decoded: 0 inflates it on a worker thread while
  // libpng unfilters the rows on the calling thread, when more than one processor may be used;
  // 1 always on the calling thread alone (the reference for tests); 2 always with the worker,
  // whatever the size and processor count (tests).
  int PNGDecodeThreads = 0;
  // When set, the PNG reader counts its worker runs here.
  TPNGDecodeStats* PNGDecodeStats = nullptr;
  // Follow the TIFF IFD chain (GraphicCount, Index > 0). Files read through libtiff always
  // count their pages, and Index chooses among them.
  bool TIFFReadAllImages = false;
  int TIFFMaxImages = 1000; // longest chain followed before falling back to one image
  // Loading a file by name turns the pixels of a picture that carries an ICC profile into sRGB
  // (perceptual intent). A profile that cannot be used is ignored with a read warning. Off, the
  // pixels stay as the file stores them (what converters and writers that keep the profile want).
  bool ColourProfiles = false;
};

struct TWriteOptions {
  // JPEG: quality 1..100 (also lossy WebP and AVIF), progressive files, DCT method (codes as
  // for reading).
  int JPEGQuality = 80;
  bool JPEGProgressive = false;
  int JPEGWriteDCTMethod = 2;
  // PNG: store a gAMA chunk.
  bool WriteGamma = true;
  // PBM/PGM/PPM: the binary forms (P4, P5, P6) instead of ASCII.
  bool PxMWriteBinary = false;
  // TGA: run-length encoded pixels (image types 9 and 10) instead of plain ones (1 and 2).
  bool TGAWriteRLE = false;
  // TIFF.
  int TIFFCompression = kTIFFCompressionNone; // or kTIFFCompressionPackBits
  bool TIFFWriteCMYK = false;                 // true colour written as CMYK instead of RGB
  bool TIFFWhiteIsZero = false;               // grey and bilevel written as WhiteIsZero
  bool TIFFBigEndian = false;                 // "MM" instead of "II"
  int TIFFResolutionUnit = 1;                 // 0 none, 1 inch, 2 centimetre
  TTIFFResolution TIFFXResolution = {300, 1};
  TTIFFResolution TIFFYResolution = {300, 1};
  // WebP: lossless files (otherwise lossy at JPEGQuality).
  bool WebPLossless = false;
};

} // namespace orbisk
