// Colour filters: each output pixel depends only on the colour of the same source pixel, so they
// run in place and, on palette pictures, on the palette entries. Also the colour-model
// conversions they use (channels on the scale 0..1, extended precision).
#pragma once

#include "processing/filter.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace orbisk {

// Hue of a grey colour (undefined hue); hues are otherwise degrees in [0, 360).
constexpr long double HueSentinel = 1e10L;

using TChannelTable = std::array<uint8_t, 256>;

// ---- colour models -----------------------------------------------------------------------------

void RGBToYCbCr(long double R, long double G, long double B, long double& Y, long double& Cb,
                long double& Cr);
void YCbCrToRGB(long double Y, long double Cb, long double Cr, long double& R, long double& G,
                long double& B);
// Grey colours get S = 0 and H = HueSentinel.
void RGBToHLS(long double R, long double G, long double B, long double& H, long double& L,
              long double& S);
void RGBToHSV(long double R, long double G, long double B, long double& H, long double& S,
              long double& V);
// Both raise EPGSaturationHue for S = 0 with a defined hue. A hue that is not a finite number
// with S > 0 is taken as undefined (the colour comes out grey).
void HLSToRGB(long double H, long double L, long double S, long double& R, long double& G,
              long double& B);
void HSVToRGB(long double H, long double S, long double V, long double& R, long double& G,
              long double& B);

// Continuous lookup of Y (0..1) through a 256-entry table, interpolating between neighbours;
// the result is on the scale 0..1. Y outside 0..1 uses the end entries.
long double TableLookup(const TChannelTable& T, long double Y);
// Hue H (degrees, defined) through a circular table whose index 0 stands for 180 degrees.
long double HueLookup(const TChannelTable& T, long double H);

// Tables as the filter dialogs fill them: entry i is i + Percent * 255 div 100, limited to
// 0..255; the hue table shifts by Degrees (wrapped into -180..+180) around the circle.
TChannelTable PercentTable(int Percent);
TChannelTable HueShiftTable(int Degrees);
// Degrees brought into -180..+180 by steps of 360 (200 gives -160, -540 gives -180).
int WrapHueShift(int Degrees);

// ---- filters -----------------------------------------------------------------------------------

// A direct-mapped memory of recent colour results for the costly filters, shared by the threads
// of one run: each slot holds a colour and its result in one atomic word, so a reader sees a
// whole entry or none, and every entry is the filter's own result for its colour.
class TColorMemo {
public:
  // Empties the memory (allocating it on first use); call before rows run.
  void Reset();
  void Release() { FSlots.reset(); }
  template <class Fn> TRGB Get(TRGB C, Fn&& F);

private:
  std::unique_ptr<std::atomic<uint64_t>[]> FSlots;
};

class TNegativeFilter : public TPGFilter {
public:
  bool IsColorFilter() const override { return true; }
  TRGB FilterPixel(int X, int Y) override;
  TRGB FilterColor(TRGB Color) override;
  void FilterRow(int Y, uint8_t* Out) override;
  bool ConcurrentRows() const override { return true; }
};

class TGrayScaleFilter : public TPGFilter {
public:
  bool RGBWeighting = true;

  bool IsColorFilter() const override { return true; }
  TRGB FilterPixel(int X, int Y) override;
  TRGB FilterColor(TRGB Color) override;
  void FilterRow(int Y, uint8_t* Out) override;
  bool ConcurrentRows() const override { return true; }
};

// Brightness (percent of full scale), contrast and gamma through a 256-entry table built by
// Prepare; with UseY only the luminance changes.
class TBCGFilter : public TPGFilter {
public:
  bool UseY = false;

  int Brightness() const { return FBrightness; }
  void SetBrightness(int V) { FBrightness = V; }
  long double Contrast() const { return FContrast; }
  void SetContrast(long double V) { FContrast = V; }
  long double Gamma() const { return FGamma; }
  void SetGamma(long double V) { FGamma = V; }
  // The table of the last Prepare (BuildTable builds it without a run).
  const TChannelTable& Table() const { return FTable; }
  void BuildTable();

  void Prepare(const TPixelGraphic& Source) override;
  bool IsColorFilter() const override { return true; }
  TRGB FilterPixel(int X, int Y) override;
  TRGB FilterColor(TRGB Color) override;
  void FilterRow(int Y, uint8_t* Out) override;
  bool ConcurrentRows() const override { return true; }

private:
  TChannelTable FTable{};
  TColorMemo FMemo;
  int FBrightness = 1; // every caller sets it
  long double FContrast = 1.0L;
  long double FGamma = 1.0L;
};

// Three channel tables filled by the owner (identity at first).
class TXXXFilter : public TPGFilter {
public:
  TXXXFilter();
  std::array<TChannelTable, 3> ChannelTable;

  // The tables from three percentages.
  void SetPercents(int A0, int A1, int A2);

  void Prepare(const TPixelGraphic& Source) override;
  bool IsColorFilter() const override { return true; }
  TRGB FilterPixel(int X, int Y) override;
  void FilterRow(int Y, uint8_t* Out) override;
  // FilterColor must then depend on the tables only (true of the filters here).
  bool ConcurrentRows() const override { return true; }

protected:
  // True when FilterColor is costly enough to remember recent results during a run.
  virtual bool Memoize() const { return true; }

private:
  TColorMemo FMemo;
};

class TRGBFilter : public TXXXFilter {
public:
  TRGB FilterColor(TRGB Color) override;

protected:
  bool Memoize() const override { return false; }
};

class TCMYFilter : public TXXXFilter {
public:
  TRGB FilterColor(TRGB Color) override;

protected:
  bool Memoize() const override { return false; }
};

class TYCbCrFilter : public TXXXFilter {
public:
  TRGB FilterColor(TRGB Color) override;
};

// ChannelTable[0] is the circular hue table.
class THLSFilter : public TXXXFilter {
public:
  // Hue shift in degrees and the lightness and saturation percentages.
  void SetShifts(int HueDegrees, int A1, int A2);
  TRGB FilterColor(TRGB Color) override;
};

class THSVFilter : public TXXXFilter {
public:
  // Hue shift in degrees and the saturation and value percentages.
  void SetShifts(int HueDegrees, int A1, int A2);
  TRGB FilterColor(TRGB Color) override;
};

} // namespace orbisk
