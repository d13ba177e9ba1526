// Placeholder until the optimized palette lands: the 16 system colours.
#include "engine/optimizedpalette.h"

namespace orbisk {

void BuildOptimizedPalette(TPixelGraphic& Dest, const TPixelGraphic&, int Count, bool) {
  Dest.SetPaletteKind(pSys16);
  if (Count < 16) Dest.SetPaletteCount(Count < 1 ? 1 : Count);
}

} // namespace orbisk
