// Optimized palettes: median cut for true-colour sources, octree for palette sources.
#pragma once

#include "engine/pixelgraphic.h"

namespace orbisk {

// Gives Dest an own palette of at most Count colours chosen for Source's pixels; with
// IncludeSystem16 the last entries are the 16 system colours. Raises Dest's progress events.
void BuildOptimizedPalette(TPixelGraphic& Dest, const TPixelGraphic& Source, int Count,
                           bool IncludeSystem16);

} // namespace orbisk
