// The filter framework: a filter turns a source picture into a destination picture one output
// pixel at a time; ApplyFilter drives any filter over a whole picture.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>

namespace orbisk {

class TPGFilter {
public:
  TPGFilter() = default;
  virtual ~TPGFilter() = default;
  TPGFilter(const TPGFilter&) = delete;
  TPGFilter& operator=(const TPGFilter&) = delete;

  // Binds the source for one run; subclasses build their tables here too.
  virtual void Prepare(const TPixelGraphic& Source);
  // Colour of the output pixel (X, Y).
  virtual TRGB FilterPixel(int X, int Y);
  // Drops the source reference.
  virtual void Finish();
  // A colour filter's output pixel depends only on the same source pixel, so it may run in place
  // and on palettes.
  virtual bool IsColorFilter() const { return false; }
  virtual TRGB FilterColor(TRGB Color) { return Color; }

  // Fills Out with output row Y, three bytes per pixel in the order B, G, R. The base visits the
  // pixels through FilterPixel in the driver's serpentine order; filters override it with a
  // faster loop that must give the same bytes. Out never aliases the source.
  virtual void FilterRow(int Y, uint8_t* Out);
  // True when FilterRow may be called for different rows on several threads at once during a
  // run (between Prepare and Finish): the driver then shares the rows out between the engine's
  // threads. Filters that keep state of their own in FilterRow, FilterPixel or FilterColor must
  // answer false, and then run on the calling thread only.
  virtual bool ConcurrentRows() const { return false; }

  const TPixelGraphic* Source() const { return FSource; }

protected:
  const TPixelGraphic* FSource = nullptr;
};

// Makes Dest the filtered version of Source. Source may be Dest itself only for a colour filter
// (otherwise EPGFilter). Dest keeps its own bit depth and writes nearest (or dithered) colours
// when it has a palette. Exception: a colour filter with a palette Dest at least as deep as
// Source filters the palette entries only; a separate Dest first becomes a copy of Source
// (pixels, depth, palette). Progress goes through Dest's OnProgress once per row, in order, on
// the calling thread; an abort keeps the rows done so far and is not an error. Filters whose rows
// may run concurrently are spread over the engine's threads (engine/parallel.h); the result is
// the same whatever the thread count. A palette Dest is always written on the calling thread in
// row order (its nearest-colour search and error diffusion depend on that), from rows filtered
// ahead by the threads; an abort there leaves every later row untouched. A 24-bit Dest may have
// a few whole rows after the aborted one filtered too when several threads run.
void ApplyFilter(TPixelGraphic& Dest, TPGFilter& Filter, const TPixelGraphic& Source);

// Channel value of an extended result: rounded half to even and limited to 0..255; NaN gives 0.
uint8_t ClampToByte(long double V);

} // namespace orbisk
