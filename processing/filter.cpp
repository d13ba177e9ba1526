#include "processing/filter.h"

#include "engine/parallel.h"

#include <algorithm>
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

// Rows a band takes at least: enough pixels that handing a band to another thread pays.
int MinBandRows(int W) {
  return std::max(8, 16384 / std::max(W, 1));
}

// Writes filtered row Out (B, G, R bytes) into a palette Dest in the driver's serpentine order.
void WritePaletteRow(TPixelGraphic& D, int Y, const uint8_t* Out) {
  const int W = D.Width();
  if (D.Dithering()) D.DitherNextRow(Y);
  for (int K = 0; K < W; ++K) {
    int X = (Y % 2 == 0) ? K : W - 1 - K;
    const uint8_t* P = Out + 3 * int64_t(X);
    D.WriteColor(X, Y, RGBOf(P[2], P[1], P[0]));
  }
}

void FilterPixels(TPixelGraphic& D, TPGFilter& F, const TPixelGraphic& S) {
  const int W = D.Width(), H = D.Height();
  const bool Palette = D.BitCountNum() != 3;
  if (!Palette || !D.Dither) D.EndDither();
  TDitherScope Dither(D, Palette && D.Dither);
  F.Prepare(S);
  TFinishScope Finish(F);
  TProgressScope Progress(D);
  const size_t RowSize = size_t(3) * size_t(W);
  const bool Concurrent = F.ConcurrentRows();
  const int MinBand = MinBandRows(W);
  if (!Palette) {
    // Rows go straight into a separate 24-bit Dest, else through a buffer of the band's own.
    const bool Direct = &S != &D;
    auto Rows = [&](int Y0, int Y1) {
      std::vector<uint8_t> Row(Direct ? 0 : RowSize);
      for (int Y = Y0; Y < Y1; ++Y) {
        uint8_t* Out = Direct ? D.ScanLine(Y) : Row.data();
        F.FilterRow(Y, Out);
        if (!Direct) std::memcpy(D.ScanLine(Y), Out, RowSize);
      }
    };
    auto Report = [&](int Y) { return D.DoProgress(Y, H - 1); };
    if (Concurrent) {
      ParallelBands(H, Rows, Report, MinBand);
    } else {
      for (int Y = 0; Y < H; ++Y) {
        Rows(Y, Y + 1);
        if (Report(Y)) break;
      }
    }
    return;
  }
  if (!Concurrent) {
    std::vector<uint8_t> Row(RowSize);
    for (int Y = 0; Y < H; ++Y) {
      F.FilterRow(Y, Row.data());
      WritePaletteRow(D, Y, Row.data());
      if (D.DoProgress(Y, H - 1)) break;
    }
    return;
  }
  // A palette Dest: the threads filter a window of rows ahead (Source is never Dest here, a
  // palette Dest of a colour filter being at most as deep as its Source only on the palette
  // path), and this thread writes them in order, where progress is raised.
  const int Window = int(std::min<int64_t>(
      std::max<int64_t>((int64_t(8) << 20) / int64_t(std::max<size_t>(RowSize, 1)),
                        int64_t(2) * MinBand * std::max(EngineThreadCount(), 1)),
      H));
  std::vector<uint8_t> Buffer(RowSize * size_t(Window));
  for (int Y0 = 0; Y0 < H; Y0 += Window) {
    const int N = std::min(Window, H - Y0);
    bool Stop = false;
    ParallelBands(
        N,
        [&](int R0, int R1) {
          for (int R = R0; R < R1; ++R)
            F.FilterRow(Y0 + R, Buffer.data() + RowSize * size_t(R));
        },
        [&](int R) {
          WritePaletteRow(D, Y0 + R, Buffer.data() + RowSize * size_t(R));
          return Stop = D.DoProgress(Y0 + R, H - 1);
        },
        MinBand);
    if (Stop) break;
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
