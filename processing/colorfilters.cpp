#include "processing/colorfilters.h"

#include <algorithm>
#include <cmath>

namespace orbisk {

using LD = long double;

// ---------------------------------------------------------------------------------------------
// colour models

void RGBToYCbCr(LD R, LD G, LD B, LD& Y, LD& Cb, LD& Cr) {
  Y = 0.299L * R + 0.587L * G + 0.114L * B;
  Cb = -0.169L * R - 0.331L * G + 0.5L * B;
  Cr = 0.5L * R - 0.419L * G - 0.081L * B;
}

void YCbCrToRGB(LD Y, LD Cb, LD Cr, LD& R, LD& G, LD& B) {
  R = Y + 1.403L * Cr;
  G = Y - 0.344L * Cb - 0.714L * Cr;
  B = Y + 1.773L * Cb;
}

namespace {

// Hue of a non-grey colour from its extremes, tested in the order red, green, blue.
LD HueOf(LD R, LD G, LD B, LD Mx, LD D) {
  LD H;
  if (R == Mx)
    H = (G - B) / D;
  else if (G == Mx)
    H = 2 + (B - R) / D;
  else
    H = 4 + (R - G) / D;
  H = H * 60;
  if (H < 0) H = H + 360;
  return H;
}

// Grey colours never reach a division: their span is zero and their hue is undefined.
bool DefinedHue(LD H) {
  return H != HueSentinel && std::isfinite(H);
}

} // namespace

void RGBToHLS(LD R, LD G, LD B, LD& H, LD& L, LD& S) {
  LD Mx = std::max({R, G, B}), Mn = std::min({R, G, B});
  L = (Mx + Mn) / 2;
  if (Mx == Mn) {
    S = 0;
    H = HueSentinel;
    return;
  }
  LD D = Mx - Mn;
  S = L > 0.5L ? D / (2 - Mx - Mn) : D / (Mx + Mn);
  H = HueOf(R, G, B, Mx, D);
}

void RGBToHSV(LD R, LD G, LD B, LD& H, LD& S, LD& V) {
  LD Mx = std::max({R, G, B}), Mn = std::min({R, G, B});
  V = Mx;
  S = Mx != 0 ? (Mx - Mn) / Mx : 0;
  if (S == 0)
    H = HueSentinel;
  else
    H = HueOf(R, G, B, Mx, Mx - Mn);
}

void HLSToRGB(LD H, LD L, LD S, LD& R, LD& G, LD& B) {
  LD M2 = L <= 0.5L ? L * (1 + S) : L + S - L * S;
  LD M1 = 2 * L - M2;
  if (S == 0) {
    if (H != HueSentinel) throw EPGSaturationHue(EngineMessage(msgSaturationHue));
    R = G = B = L;
    return;
  }
  if (!DefinedHue(H)) {
    R = G = B = L;
    return;
  }
  auto F = [M1, M2](LD Hh) {
    if (Hh > 360)
      Hh = Hh - 360;
    else if (Hh < 0)
      Hh = Hh + 360;
    if (Hh < 60) return M1 + (M2 - M1) * Hh / 60;
    if (Hh < 180) return M2;
    if (Hh < 240) return M1 + (M2 - M1) * (240 - Hh) / 60;
    return M1;
  };
  R = F(H + 120);
  G = F(H);
  B = F(H - 120);
}

void HSVToRGB(LD H, LD S, LD V, LD& R, LD& G, LD& B) {
  if (S == 0) {
    if (H != HueSentinel) throw EPGSaturationHue(EngineMessage(msgSaturationHue));
    R = G = B = V;
    return;
  }
  if (!DefinedHue(H)) {
    R = G = B = V;
    return;
  }
  // fmod equals repeated subtraction of 360 here (each step is exact), without the long loop.
  if (H >= 360)
    H = std::fmod(H, 360.0L);
  else if (H < 0)
    H = std::fmod(H, 360.0L) + 360;
  LD Hh = H / 60;
  LD Fl = std::floor(Hh);
  LD F = Hh - Fl;
  int I = int(Fl) % 6; // H just below 360 may divide to exactly 6
  LD P = V * (1 - S), Q = V * (1 - S * F), T = V * (1 - S * (1 - F));
  switch (I) {
  case 0:
    R = V, G = T, B = P;
    break;
  case 1:
    R = Q, G = V, B = P;
    break;
  case 2:
    R = P, G = V, B = T;
    break;
  case 3:
    R = P, G = Q, B = V;
    break;
  case 4:
    R = T, G = P, B = V;
    break;
  default:
    R = V, G = P, B = Q;
    break;
  }
}

LD TableLookup(const TChannelTable& T, LD Y) {
  LD P = Y * 255;
  // Sums of rounded coefficients can stray a hair outside 0..1; never index outside the table.
  if (!(P > 0)) P = 0;
  if (P > 255) P = 255;
  LD K = std::floor(P);
  int Ki = int(K);
  if (Ki > 254) return LD(T[255]) / 255;
  LD Fr = P - K;
  return ((1 - Fr) * T[size_t(Ki)] + Fr * T[size_t(Ki) + 1]) / 255;
}

LD HueLookup(const TChannelTable& T, LD H) {
  LD P = (H + 180) * 256 / 360;
  if (P >= 256) P = P - 256;
  if (!(P >= 0 && P < 256)) { // only for hues outside 0..360
    P = std::fmod(P, 256.0L);
    if (P < 0) P += 256;
    if (!(P >= 0 && P < 256)) P = 0;
  }
  LD K = std::floor(P);
  int Ki = int(K);
  int A = T[size_t(Ki)];
  int Bv = Ki > 254 ? T[0] : T[size_t(Ki) + 1];
  // The representative of the next entry nearest to this one on the 256-circle.
  if (A - Bv > 128) Bv = Bv + 256;
  if (A - Bv + 128 < 0) Bv = Bv - 256;
  LD Fr = P - K;
  LD V = (1 - Fr) * A + Fr * Bv;
  LD Hn = V * 360 / 256 - 180;
  while (Hn >= 360)
    Hn = Hn - 360;
  while (Hn < 0)
    Hn = Hn + 360;
  return Hn;
}

TChannelTable PercentTable(int Percent) {
  TChannelTable T;
  int64_t Shift = int64_t(Percent) * 255 / 100;
  for (int I = 0; I < 256; ++I)
    T[size_t(I)] = uint8_t(std::clamp<int64_t>(I + Shift, 0, 255));
  return T;
}

int WrapHueShift(int Degrees) {
  int64_t D = Degrees % 360; // -359..359
  if (D > 180) D -= 360;
  if (D < -180) D += 360;
  return int(D);
}

TChannelTable HueShiftTable(int Degrees) {
  TChannelTable T;
  int Shift = WrapHueShift(Degrees) * 256 / 360;
  for (int I = 0; I < 256; ++I) {
    int V = I + Shift;
    if (V < 0) V += 256;
    if (V > 255) V -= 256;
    T[size_t(I)] = uint8_t(V);
  }
  return T;
}

// ---------------------------------------------------------------------------------------------
// shared row loop

namespace {

// Applies Fn (colour to colour) to source row Y, straight from the bytes of a 24-bit source.
template <class Fn> void ColorRow(const TPixelGraphic& S, int Y, uint8_t* Out, Fn&& F) {
  const int W = S.Width();
  if (S.BitCountNum() == 3) {
    const uint8_t* In = S.ScanLine(Y);
    for (int X = 0; X < W; ++X, In += 3, Out += 3) {
      TRGB C = F(RGBOf(In[2], In[1], In[0]));
      Out[0] = uint8_t(BlueOf(C));
      Out[1] = uint8_t(GreenOf(C));
      Out[2] = uint8_t(RedOf(C));
    }
  } else {
    for (int X = 0; X < W; ++X, Out += 3) {
      TRGB C = F(S.GetPixelColor(X, Y));
      Out[0] = uint8_t(BlueOf(C));
      Out[1] = uint8_t(GreenOf(C));
      Out[2] = uint8_t(RedOf(C));
    }
  }
}

// Photographs repeat colours a lot, and the floating-point filters give the same answer for the
// same colour.
constexpr int kMemoBits = 16;

template <class Fn> TRGB Remember(TColorMemo& Memo, TRGB C, Fn&& F) {
  return Memo.Get(C, F);
}

} // namespace

void TColorMemo::Reset() {
  if (!FSlots) FSlots.reset(new std::atomic<uint64_t>[size_t(1) << kMemoBits]);
  for (size_t I = 0; I < (size_t(1) << kMemoBits); ++I)
    FSlots[I].store(0, std::memory_order_relaxed);
}

template <class Fn> TRGB TColorMemo::Get(TRGB C, Fn&& F) {
  if (!FSlots) return F(C); // rows outside a run
  std::atomic<uint64_t>& Slot = FSlots[(uint32_t(C) * 2654435761u) >> (32 - kMemoBits)];
  const uint32_t Key = C | 0x01000000u; // slot 0 means empty
  const uint64_t Old = Slot.load(std::memory_order_relaxed);
  if (uint32_t(Old >> 32) == Key) return TRGB(Old & 0xFFFFFFFFu);
  const TRGB R = F(C);
  Slot.store((uint64_t(Key) << 32) | R, std::memory_order_relaxed);
  return R;
}

namespace {

TRGB FromUnit(LD R, LD G, LD B) {
  return RGBOf(ClampToByte(R * 255), ClampToByte(G * 255), ClampToByte(B * 255));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// negative and greyscale

TRGB TNegativeFilter::FilterPixel(int X, int Y) {
  return FilterColor(FSource->GetPixelColor(X, Y));
}
TRGB TNegativeFilter::FilterColor(TRGB Color) {
  return (Color ^ 0xFFFFFFu) & 0xFFFFFFu;
}
void TNegativeFilter::FilterRow(int Y, uint8_t* Out) {
  ColorRow(*FSource, Y, Out, [](TRGB C) { return (C ^ 0xFFFFFFu) & 0xFFFFFFu; });
}

TRGB TGrayScaleFilter::FilterPixel(int X, int Y) {
  return FilterColor(FSource->GetPixelColor(X, Y));
}
TRGB TGrayScaleFilter::FilterColor(TRGB Color) {
  unsigned R = RedOf(Color), G = GreenOf(Color), B = BlueOf(Color);
  unsigned V = RGBWeighting ? (299 * R + 587 * G + 114 * B) / 1000 : (R + G + B) / 3;
  return RGBOf(V, V, V);
}
void TGrayScaleFilter::FilterRow(int Y, uint8_t* Out) {
  ColorRow(*FSource, Y, Out, [this](TRGB C) { return TGrayScaleFilter::FilterColor(C); });
}

// ---------------------------------------------------------------------------------------------
// brightness, contrast, gamma

void TBCGFilter::BuildTable() {
  const LD BrightnessShift = LD(int64_t(FBrightness) * 255) * 0.01L;
  for (int I = 0; I < 256; ++I) {
    LD Base = I / 255.0L;
    LD V;
    if (FGamma == 0)
      V = 1;
    else if (Base == 0)
      V = 0;
    // Always exp(gamma * ln x) in extended precision, also for gamma 1: its last-bit error
    // decides which way values on a half round, and the results follow that computation.
    else
      V = std::exp(FGamma * std::log(Base));
    V = V * 255;
    V = (V - 127.5L) * FContrast + 127.5L;
    V = V + BrightnessShift;
    if (V < -1) V = -1;
    if (V > 256) V = 256;
    FTable[size_t(I)] = ClampToByte(V);
  }
}

void TBCGFilter::Prepare(const TPixelGraphic& Source) {
  BuildTable();
  if (UseY)
    FMemo.Reset();
  else
    FMemo.Release();
  TPGFilter::Prepare(Source);
}

TRGB TBCGFilter::FilterPixel(int X, int Y) {
  return FilterColor(FSource->GetPixelColor(X, Y));
}

TRGB TBCGFilter::FilterColor(TRGB Color) {
  if (!UseY) return RGBOf(FTable[RedOf(Color)], FTable[GreenOf(Color)], FTable[BlueOf(Color)]);
  LD Y, Cb, Cr, R, G, B;
  RGBToYCbCr(RedOf(Color) / 255.0L, GreenOf(Color) / 255.0L, BlueOf(Color) / 255.0L, Y, Cb, Cr);
  Y = TableLookup(FTable, Y);
  YCbCrToRGB(Y, Cb, Cr, R, G, B);
  return FromUnit(R, G, B);
}

void TBCGFilter::FilterRow(int Y, uint8_t* Out) {
  if (!UseY && FSource->BitCountNum() == 3) {
    const uint8_t* In = FSource->ScanLine(Y);
    const size_t N = size_t(3) * size_t(FSource->Width());
    for (size_t I = 0; I < N; ++I)
      Out[I] = FTable[In[I]];
    return;
  }
  ColorRow(*FSource, Y, Out, [this](TRGB C) {
    return UseY ? Remember(FMemo, C, [this](TRGB K) { return TBCGFilter::FilterColor(K); })
                : TBCGFilter::FilterColor(C);
  });
}

// ---------------------------------------------------------------------------------------------
// per-channel filters

TXXXFilter::TXXXFilter() {
  for (auto& T : ChannelTable)
    for (int I = 0; I < 256; ++I)
      T[size_t(I)] = uint8_t(I);
}

void TXXXFilter::SetPercents(int A0, int A1, int A2) {
  ChannelTable[0] = PercentTable(A0);
  ChannelTable[1] = PercentTable(A1);
  ChannelTable[2] = PercentTable(A2);
}

void TXXXFilter::Prepare(const TPixelGraphic& Source) {
  // The owner may have changed the tables since the last run.
  if (Memoize())
    FMemo.Reset();
  else
    FMemo.Release();
  TPGFilter::Prepare(Source);
}

TRGB TXXXFilter::FilterPixel(int X, int Y) {
  return FilterColor(FSource->GetPixelColor(X, Y));
}

void TXXXFilter::FilterRow(int Y, uint8_t* Out) {
  if (Memoize())
    ColorRow(*FSource, Y, Out, [this](TRGB C) {
      return Remember(FMemo, C, [this](TRGB K) { return FilterColor(K); });
    });
  else
    ColorRow(*FSource, Y, Out, [this](TRGB C) { return FilterColor(C); });
}

TRGB TRGBFilter::FilterColor(TRGB Color) {
  return RGBOf(ChannelTable[0][RedOf(Color)], ChannelTable[1][GreenOf(Color)],
               ChannelTable[2][BlueOf(Color)]);
}

TRGB TCMYFilter::FilterColor(TRGB Color) {
  return RGBOf(255 - ChannelTable[0][255 - RedOf(Color)],
               255 - ChannelTable[1][255 - GreenOf(Color)],
               255 - ChannelTable[2][255 - BlueOf(Color)]);
}

TRGB TYCbCrFilter::FilterColor(TRGB Color) {
  LD Y, Cb, Cr, R, G, B;
  RGBToYCbCr(RedOf(Color) / 255.0L, GreenOf(Color) / 255.0L, BlueOf(Color) / 255.0L, Y, Cb, Cr);
  Y = TableLookup(ChannelTable[0], Y);
  Cb = TableLookup(ChannelTable[1], Cb + 0.5L) - 0.5L;
  Cr = TableLookup(ChannelTable[2], Cr + 0.5L) - 0.5L;
  YCbCrToRGB(Y, Cb, Cr, R, G, B);
  return FromUnit(R, G, B);
}

void THLSFilter::SetShifts(int HueDegrees, int A1, int A2) {
  ChannelTable[0] = HueShiftTable(HueDegrees);
  ChannelTable[1] = PercentTable(A1);
  ChannelTable[2] = PercentTable(A2);
}

TRGB THLSFilter::FilterColor(TRGB Color) {
  LD H, L, S, R, G, B;
  RGBToHLS(RedOf(Color) / 255.0L, GreenOf(Color) / 255.0L, BlueOf(Color) / 255.0L, H, L, S);
  if (H != HueSentinel) H = HueLookup(ChannelTable[0], H);
  L = TableLookup(ChannelTable[1], L);
  S = TableLookup(ChannelTable[2], S);
  if (S == 0 || H == HueSentinel) {
    S = 0;
    H = HueSentinel;
  }
  HLSToRGB(H, L, S, R, G, B);
  return FromUnit(R, G, B);
}

void THSVFilter::SetShifts(int HueDegrees, int A1, int A2) {
  ChannelTable[0] = HueShiftTable(HueDegrees);
  ChannelTable[1] = PercentTable(A1);
  ChannelTable[2] = PercentTable(A2);
}

TRGB THSVFilter::FilterColor(TRGB Color) {
  LD H, S, V, R, G, B;
  RGBToHSV(RedOf(Color) / 255.0L, GreenOf(Color) / 255.0L, BlueOf(Color) / 255.0L, H, S, V);
  if (H != HueSentinel) H = HueLookup(ChannelTable[0], H);
  S = TableLookup(ChannelTable[1], S);
  if (S == 0 || H == HueSentinel) {
    S = 0;
    H = HueSentinel;
  }
  V = TableLookup(ChannelTable[2], V);
  HSVToRGB(H, S, V, R, G, B);
  return FromUnit(R, G, B);
}

} // namespace orbisk
