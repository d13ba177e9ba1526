// Optimized palettes: median cut for true-colour sources, octree for palette sources.
#pragma once

#include "engine/pixelgraphic.h"

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

} // namespace orbisk
