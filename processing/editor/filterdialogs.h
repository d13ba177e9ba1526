// The concrete filter dialogs: the colour filters (with live preview) and the convolution filters.
// Setters limit out-of-range values, keep the previous value for NaN or infinite input, and
// reconfigure the owned filter whenever a value changes.
#pragma once

#include "processing/colorfilters.h"
#include "processing/convfilter.h"
#include "processing/editor/filterdialog.h"

#include <array>

namespace orbisk {

class TPreviewFilterDialog : public TFilterDialog {
  Q_OBJECT
public:
  explicit TPreviewFilterDialog(QObject* Owner = nullptr);
  // Shows the window previewing Picture (null or empty: an empty preview); true on OK. Picture
  // must not change while the window is open; nothing reads it after this returns.
  bool Execute(const TPixelGraphic* Picture) { return RunWindow(Picture); }
};

// Three channel sliders: percents, or a hue shift first.
class TXXXFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
public:
  int Channel(int I) const { return SliderPosition(I); }
  // Percents are limited to -100..100; a hue is brought into -180..180 by steps of 360.
  void SetChannel(int I, int Value);

protected:
  TXXXFilterDialog(QObject* Owner, int TitleMessage, const std::array<int, 3>& NameMessages,
                   bool HueFirst);
  void ConfigureFilter(TPGFilter& F) const override; // three percent tables

private:
  bool FHueFirst;
};

class TRGBFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
public:
  explicit TRGBFilterDialog(QObject* Owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  int Red() const { return Channel(0); }
  int Green() const { return Channel(1); }
  int Blue() const { return Channel(2); }
  void SetRed(int V) { SetChannel(0, V); }
  void SetGreen(int V) { SetChannel(1, V); }
  void SetBlue(int V) { SetChannel(2, V); }
};

class TCMYFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
public:
  explicit TCMYFilterDialog(QObject* Owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  int Cyan() const { return Channel(0); }
  int Magenta() const { return Channel(1); }
  int Yellow() const { return Channel(2); }
  void SetCyan(int V) { SetChannel(0, V); }
  void SetMagenta(int V) { SetChannel(1, V); }
  void SetYellow(int V) { SetChannel(2, V); }
};

class TYCbCrFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
public:
  explicit TYCbCrFilterDialog(QObject* Owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  int Y() const { return Channel(0); }
  int Cb() const { return Channel(1); }
  int Cr() const { return Channel(2); }
  void SetY(int V) { SetChannel(0, V); }
  void SetCb(int V) { SetChannel(1, V); }
  void SetCr(int V) { SetChannel(2, V); }
};

class THLSFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
public:
  explicit THLSFilterDialog(QObject* Owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  int H() const { return Channel(0); }
  int L() const { return Channel(1); }
  int S() const { return Channel(2); }
  void SetH(int V) { SetChannel(0, V); }
  void SetL(int V) { SetChannel(1, V); }
  void SetS(int V) { SetChannel(2, V); }

protected:
  void ConfigureFilter(TPGFilter& F) const override;
};

class THSVFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
public:
  explicit THSVFilterDialog(QObject* Owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  int H() const { return Channel(0); }
  int S() const { return Channel(1); }
  int V() const { return Channel(2); }
  void SetH(int Value) { SetChannel(0, Value); }
  void SetS(int Value) { SetChannel(1, Value); }
  void SetV(int Value) { SetChannel(2, Value); }

protected:
  void ConfigureFilter(TPGFilter& F) const override;
};

class TBCGFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
public:
  explicit TBCGFilterDialog(QObject* Owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  int Brightness() const { return SliderPosition(0); }
  void SetBrightness(int V) { SetSliderPosition(0, V); }
  // Limited to 0.2..5.0, stored as the slider position round(100 ln(V) / ln 5), read back to
  // hundredths.
  long double Contrast() const;
  void SetContrast(long double V);
  long double Gamma() const;
  void SetGamma(long double V);
  bool UseY() const { return FState.RadioChecked[1]; }
  void SetUseY(bool V);

protected:
  void ConfigureFilter(TPGFilter& F) const override;

private:
  void SetPowerOf5(int I, long double V);
};

class TGrayScaleFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
public:
  explicit TGrayScaleFilterDialog(QObject* Owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  bool RGBWeighting() const { return FState.Checked; }
  void SetRGBWeighting(bool V);

protected:
  void ConfigureFilter(TPGFilter& F) const override;
};

class TNegativeFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
public:
  explicit TNegativeFilterDialog(QObject* Owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() const override;

protected:
  void ConfigureFilter(TPGFilter&) const override {}
};

// ---- convolution filters ----------------------------------------------------------------------

class TConvFilterDialog : public TFilterDialog {
  Q_OBJECT
public:
  // Shows the window; true on OK.
  bool Execute() { return RunWindow(nullptr); }
  std::unique_ptr<TPGFilter> CreateFilter() const override;

  TDistributionShape DistributionShape() const { return FShape; }
  void SetDistributionShape(TDistributionShape V);
  bool UseDistance() const { return FUseDistance; }
  void SetUseDistance(bool V);
  // The first slider in hundredths: limited to its range (0.4..1.3), stored as round(V * 100).
  long double StdDeviation() const { return SliderPosition(0) / 100.0L; }
  void SetStdDeviation(long double V);
  // Limited to the Strength slider's range.
  long double Percent() const { return SliderPosition(1); }
  void SetPercent(long double V);

protected:
  TConvFilterDialog(QObject* Owner, int TitleMessage);
  // The "Std. deviation" (or "Radius") and "Strength" sliders.
  void SetUpSliders(int FirstName, int FirstMin, int FirstMax, int FirstFreq, int FirstInitial,
                    int StrengthMin, int StrengthMax, int StrengthFreq, int StrengthInitial);

  TDistributionShape FShape = dsGaussian;
  bool FUseDistance = true;
};

class TSharpenFilterDialog : public TConvFilterDialog {
  Q_OBJECT
public:
  explicit TSharpenFilterDialog(QObject* Owner = nullptr);

protected:
  void ConfigureFilter(TPGFilter& F) const override;
};

class TDetailFilterDialog : public TConvFilterDialog {
  Q_OBJECT
public:
  explicit TDetailFilterDialog(QObject* Owner = nullptr);

protected:
  void ConfigureFilter(TPGFilter& F) const override;
};

class TSmoothFilterDialog : public TConvFilterDialog {
  Q_OBJECT
public:
  explicit TSmoothFilterDialog(QObject* Owner = nullptr);

protected:
  void ConfigureFilter(TPGFilter& F) const override;
};

class TBlurFilterDialog : public TConvFilterDialog {
  Q_OBJECT
public:
  explicit TBlurFilterDialog(QObject* Owner = nullptr);
  // Limited to 0.5..5.0, stored as round(V * 100).
  long double Radius() const { return SliderPosition(0) / 100.0L; }
  void SetRadius(long double V) { SetStdDeviation(V); }

protected:
  void ConfigureFilter(TPGFilter& F) const override;
};

class TContourFilterDialog : public TConvFilterDialog {
  Q_OBJECT
public:
  explicit TContourFilterDialog(QObject* Owner = nullptr);
  bool BlackBk() const { return FState.RadioChecked[1]; }
  void SetBlackBk(bool V);

protected:
  void ConfigureFilter(TPGFilter& F) const override;
};

} // namespace orbisk
