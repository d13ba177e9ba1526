// PNG: reader of every colour type and depth into 1-, 4-, 8- or 24-bit pictures (transparency
// composited onto a background), writer of palette, grey and true-colour files, over libpng.
#pragma once

#include "engine/registry.h"

#include <atomic>

namespace orbisk {

// Engine-wide PNG options.
extern bool WriteGamma;           // the writer stores a gAMA chunk (default on)
extern bool PNGUseFileBackground; // composite transparency onto the file's bKGD (default on)

// How a large picture's image data is decoded: 0 (default) inflates it on a worker thread while
// libpng unfilters the rows on the calling thread, when more than one processor may be used;
// 1 always on the calling thread alone (the reference for tests); 2 always with the worker,
// whatever the size and processor count (tests).
extern int PNGDecodeThreads;
// Counts for tests and measurements: readings whose image data went through the worker, and
// readings decoded a second time without it after the worker met something irregular.
struct TPNGDecodeStats {
  std::atomic<int> Piped{0};
  std::atomic<int> Repeated{0};
};
extern TPNGDecodeStats PNGDecodeStats;

class TPNGFileFormatReader : public TFileFormatReader {
public:
  TPNGFileFormatReader();
  std::string ClassName() const override { return "TPNGFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info) override;
};

class TPNGFileFormatWriter : public TFileFormatWriter {
public:
  TPNGFileFormatWriter();
  std::string ClassName() const override { return "TPNGFileFormatWriter"; }
  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image) override;
};

} // namespace orbisk
