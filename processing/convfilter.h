// The convolution filter: each output pixel is the weighted sum of the source pixels under an
// integer kernel, divided by the weights that fall inside the picture (so borders need no
// padding), times Factor, plus Bias percent of full scale. Presets build sharpen, detail, smooth,
// contour and ring-blur kernels from a weight distribution.
#pragma once

#include "processing/filter.h"

#include <cstdint>
#include <vector>

namespace orbisk {

enum TDistributionShape : int { dsGaussian = 0, dsTent = 1, dsRect = 2 };

// Weight of the distribution at distance X for standard deviation Sigma.
long double DistributionWeight(TDistributionShape Shape, long double Sigma, long double X);

class TConvFilter : public TPGFilter {
public:
  TConvFilter(); // the identity: one entry 1

  // Entry (Col, Row); EPGConvFilter "X, Y index out of range" outside the kernel.
  int Kernel(int Col, int Row) const;
  void SetKernel(int Col, int Row, int Value);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // 1..99, else EPGConvFilter "TConvFilter.Width out of range"; a new size clears the entries.
  void SetWidth(int W);
  void SetHeight(int H);
  int OffsetX() const { return FOffsetX; }
  int OffsetY() const { return FOffsetY; }
  void SetOffsetX(int V) { FOffsetX = V; }
  void SetOffsetY(int V) { FOffsetY = V; }
  long double Bias() const { return FBias; }
  long double Factor() const { return FFactor; }
  // Both must be finite numbers (EPGConvFilter otherwise).
  void SetBias(long double V);
  void SetFactor(long double V);

  // Low-pass kernel of odd size 2r+1 centred on the target pixel; the centre weighs 16 for the
  // Gaussian and tent shapes, every entry is 0 or 1 for the rectangle. StdDeviation must be a
  // positive number, and the kernel must fit in 99 x 99 (EPGConvFilter otherwise).
  void SetDistributionKernel(TDistributionShape Shape, bool UseDistance, long double StdDeviation);
  // Percent must be a positive number (EPGConvFilter otherwise); 100 is the strongest effect.
  void SetSharpenKernel(TDistributionShape Shape, bool UseDistance, long double Percent,
                        long double StdDeviation);
  void SetDetailKernel(TDistributionShape Shape, bool UseDistance, long double Percent,
                       long double StdDeviation);
  void SetSmoothKernel(TDistributionShape Shape, bool UseDistance, long double Percent,
                       long double StdDeviation);
  // Weights summing to 1 scaled by Percent: flat areas white with WhiteBackground, else black.
  void SetContourKernel(TDistributionShape Shape, bool UseDistance, bool WhiteBackground,
                        long double Percent, long double StdDeviation);
  // Mean of a ring of the given radius (360 hits), plus the centre weighted by Percent.
  void SetBlurKernel(long double Percent, long double Radius);

  void Prepare(const TPixelGraphic& Source) override;
  TRGB FilterPixel(int X, int Y) override;
  void Finish() override;
  void FilterRow(int Y, uint8_t* Out) override;
  bool ConcurrentRows() const override { return true; }

private:
  struct TKernelState {
    std::vector<int> Kernel;
    int Width, Height, OffsetX, OffsetY;
    long double Bias, Factor;
    int& At(int Col, int Row) { return Kernel[size_t(Col) + size_t(Row) * size_t(Width)]; }
    int64_t Sum() const;
    int& Center() { return At(Width / 2, Height / 2); }
  };
  struct TTap {
    int Col, Row, Weight;
  };
  // Presets are built on a copy and committed whole, so a refused argument changes nothing.
  TKernelState State() const;
  void Commit(TKernelState&& K);
  TKernelState Distribution(TDistributionShape Shape, bool UseDistance, long double Sigma) const;

  // Channel value of a weighted sum C over the weights W.
  uint8_t Output(int64_t C, int64_t W) const;
  const uint8_t* SourceRow(int SY) const;
  void BorderPixel(int X, int Y, int RowLo, int RowHi, uint8_t* Out);
  template <class TAcc>
  void InteriorSpan(int Y, int RowLo, int RowHi, int XLo, int XHi, uint8_t* Out);

  std::vector<int> FKernel{1};
  int FWidth = 1, FHeight = 1;
  int FOffsetX = 0, FOffsetY = 0;
  long double FBias = 0, FFactor = 1;

  // Per run, built by Prepare.
  std::vector<TTap> FTaps;              // the non-zero entries
  int64_t FPositive = 0, FNegative = 0; // sums of the positive and negated negative weights
  int64_t FFullWeight = 0;              // the weight of a pixel with the whole kernel inside
  std::vector<uint8_t> FTable;          // Output(C, FFullWeight) for C from FTableMin on
  int64_t FTableMin = 0;
  std::vector<uint8_t> FExpanded; // a palette source's colours, 3 bytes a pixel, row after row
};

} // namespace orbisk
