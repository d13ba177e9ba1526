#include "processing/filter.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace orbisk {

void TPGFilter::Prepare(const TPixelGraphic& Source) {
  FSource = &Source;
}

TRGB TPGFilter::FilterPixel(int, int) {
  return 0;
}

void TPGFilter::Finish() {
  FSource = nullptr;
}

void TPGFilter::FilterRow(int Y, uint8_t* Out) {
  const int W = FSource->Width();
  for (int K = 0; K < W; ++K) {
    int X = (Y % 2 == 0) ? K : W - 1 - K;
    TRGB C = FilterPixel(X, Y);
    uint8_t* P = Out + 3 * int64_t(X);
    P[0] = uint8_t(BlueOf(C));
    P[1] = uint8_t(GreenOf(C));
    P[2] = uint8_t(RedOf(C));
  }
}

uint8_t ClampToByte(long double V) {
  if (!(V > 0)) return 0; // also NaN
  if (V >= 255) return 255;
  return uint8_t(std::nearbyint(V));
}

namespace {

// Finish on every exit path once Prepare has run.
class TFinishScope {
public:
  explicit TFinishScope(TPGFilter& F) : FF(F) {}
  ~TFinishScope() { FF.Finish(); }
  TFinishScope(const TFinishScope&) = delete;
  TFinishScope& operator=(const TFinishScope&) = delete;

private:
  TPGFilter& FF;
};

void FilterPalette(TPixelGraphic& D, TPGFilter& F, const TPixelGraphic& S) {
  if (&S != &D) {
    // Pixels, depth and palette of the source; Dest's own settings stay.
    D.SetSize(S.Width(), S.Height(), S.BitCountNum());
    std::memcpy(D.Bits(), S.Bits(), size_t(S.ImageSize()));
    D.AssignPalette(S);
  }
  if (D.PaletteCount() == 0) return;
  F.Prepare(S);
  TFinishScope Finish(F);
  for (int I = 0; I < D.PaletteCount(); ++I)
    D.SetPaletteEntry(I, F.FilterColor(D.GetPaletteEntry(I)));
}

void FilterPixels(TPixelGraphic& D, TPGFilter& F, const TPixelGraphic& S) {
  const int W = D.Width(), H = D.Height();
  const bool Palette = D.BitCountNum() != 3;
  if (!Palette || !D.Dither) D.EndDither();
  TDitherScope Dither(D, Palette && D.Dither);
  F.Prepare(S);
  TFinishScope Finish(F);
  TProgressScope Progress(D);
  // Rows are produced into a buffer unless they can go straight into a separate 24-bit Dest.
  const bool Direct = !Palette && &S != &D;
  std::vector<uint8_t> Row(Direct ? 0 : size_t(3) * size_t(W));
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Out = Direct ? D.ScanLine(Y) : Row.data();
    F.FilterRow(Y, Out);
    if (!Palette) {
      if (!Direct) std::memcpy(D.ScanLine(Y), Out, size_t(3) * size_t(W));
    } else {
      if (D.Dithering()) D.DitherNextRow(Y);
      for (int K = 0; K < W; ++K) {
        int X = (Y % 2 == 0) ? K : W - 1 - K;
        const uint8_t* P = Out + 3 * int64_t(X);
        D.WriteColor(X, Y, RGBOf(P[2], P[1], P[0]));
      }
    }
    if (D.DoProgress(Y, H - 1)) break;
  }
}

} // namespace

void ApplyFilter(TPixelGraphic& Dest, TPGFilter& Filter, const TPixelGraphic& Source) {
  const bool InPlace = &Source == &Dest;
  if (InPlace && !Filter.IsColorFilter()) throw EPGFilter(EngineMessage(msgFilterSourceIsTarget));
  if (!InPlace) Dest.SetSize(Source.Width(), Source.Height(), Dest.BitCountNum());
  if (Dest.Width() == 0 || Dest.Height() == 0) return;
  if (Filter.IsColorFilter() && Dest.BitCountNum() != 3 &&
      Dest.BitCountNum() >= Source.BitCountNum())
    FilterPalette(Dest, Filter, Source);
  else
    FilterPixels(Dest, Filter, Source);
  Dest.Changed();
}

} // namespace orbisk
