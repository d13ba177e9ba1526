// Tables behind the standard palette kinds and their colour matching.
#pragma once

#include "engine/pixelgraphic.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orbisk {

const std::array<TRGB, 16>& Sys16Colors();

// The highest palette index a palette picture's pixels use (0 for an empty picture).
int HighestPixelIndex(const TPixelGraphic& G);
// The colours a palette picture's indices 0..Count-1 show: its palette, and entry 0's colour for
// indices beyond the table (black when the table is empty). Writers store this table, so that a
// saved and reloaded picture shows the same colours.
std::vector<TRGB> ShownPalette(const TPixelGraphic& G, int Count);
int Gray236Level(int I);
int SquaredDistance(TRGB A, TRGB B);
// Three candidate indices of the 64-cell system-colour table.
const uint8_t* Sys16Candidates(int Cell);
// Nearest pGray236 index for each luminance 0..765.
const std::array<uint8_t, 766>& Gray236Table();
// Entries of the 252-colour table that can be nearest to colours near C, in index order.
const std::vector<uint8_t>& Special252Candidates(TRGB C);

} // namespace orbisk
