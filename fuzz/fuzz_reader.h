// Shared by the fuzz targets: feed arbitrary bytes to one reader's decoding and file
// information query; only errors of the engine's family may come out.
#pragma once

#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace orbisk::fuzz {

inline TFileFormatReader& ReaderFor(const char* Ext) {
  for (TFileFormatReader* R : FileFormatReaders())
    if (R->Extension == Ext) return *R;
  __builtin_trap(); // the target names a reader the engine does not have
}

// The read options of every target: a lower pixel limit keeps the runs fast.
inline TReadOptions FuzzReadOptions() {
  TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  return Read;
}

inline void ReadAndDescribe(const char* Ext, const uint8_t* Data, size_t Size,
                            std::initializer_list<int> Indices = {0, 1}) {
  const TReadOptions Read = FuzzReadOptions();
  TFileFormatReader& Reader = ReaderFor(Ext);
  for (int Index : Indices) {
    try {
      TPGMemoryStream S(Data, Size);
      TPixelGraphic G;
      Reader.ReadGraphic(S, G, Index, Read);
    } catch (const EPixelGraphic&) {
    }
    try {
      TPGMemoryStream S(Data, Size);
      TGraphicFileInfo Info;
      Reader.GetInfo(S, Index, Info, Read);
    } catch (const EPixelGraphic&) {
    }
  }
}

// The same bytes read for a thumbnail: the last byte picks the reduced size asked for.
inline void ReadReduced(const char* Ext, const uint8_t* Data, size_t Size) {
  if (Size == 0) return;
  const TReadOptions Read = FuzzReadOptions();
  TPixelGraphic G;
  G.ReducedSize = 1 + Data[Size - 1] % 48;
  try {
    TPGMemoryStream S(Data, Size);
    ReaderFor(Ext).ReadGraphic(S, G, 0, Read);
  } catch (const EPixelGraphic&) {
    return;
  }
  // A reduced picture is never larger than the stored one.
  if (G.FullWidth && (G.Width() > G.FullWidth || G.Height() > G.FullHeight)) __builtin_trap();
}

} // namespace orbisk::fuzz
