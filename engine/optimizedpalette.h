// Optimized palettes: median cut for true-colour sources, octree for palette sources.
#pragma once

#include "engine/pixelgraphic.h"

#include <array>
#include <memory>
#include <vector>

namespace orbisk {

// Gives Dest an own palette of at most Count colours chosen for Source's pixels; with
// IncludeSystem16 the last entries are the 16 system colours. Raises Dest's progress events.
void BuildOptimizedPalette(TPixelGraphic& Dest, const TPixelGraphic& Source, int Count,
                           bool IncludeSystem16);

// ---- colour matching on several threads ----

// Whether G's colour matching answers from the colour alone: every kind but an own palette with
// the colour cache, which fills its cells with the colours in the order they are met (and a
// picture without a palette, which cannot match at all).
bool MatchIsPure(const TPixelGraphic& G);
// A picture without pixels that matches colours exactly as G does, with a memo of its own, for
// one thread's share of a conversion. Only for pictures whose matching is pure.
std::unique_ptr<TPixelGraphic> MatchTwin(const TPixelGraphic& G);

// The colour cache of an own palette: colours grouped into 32 x 64 x 32 cells, one index and one
// filled bit a cell.
struct TColorCacheCells {
  std::array<uint8_t, 65536> Index{};
  std::array<uint8_t, 8192> Filled{};
  static int CellOf(TRGB C) {
    return int(RedOf(C) >> 3) * 2048 + int(GreenOf(C) >> 2) * 32 + int(BlueOf(C) >> 3);
  }
  bool Has(int Cell) const { return Filled[size_t(Cell >> 3)] & (1 << (Cell & 7)); }
  void Set(int Cell, uint8_t I) {
    Index[size_t(Cell)] = I;
    Filled[size_t(Cell >> 3)] |= uint8_t(1 << (Cell & 7));
  }
};

// The picture's own cache (the resampling copy reads it to share matching between threads).
struct TPixelGraphic::ColorCacheData {
  TColorCacheCells Cells;
  bool Built = false;
  // Fills the cells around the palette's entries, shell by shell (cells farther than four from
  // every entry stay empty until a colour meets them).
  void Build(const std::vector<TRGB>& Palette);
};

} // namespace orbisk
