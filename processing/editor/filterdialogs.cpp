#include "processing/editor/filterdialogs.h"

#include <algorithm>
#include <cmath>

namespace orbisk {

namespace {

// Engine message numbers of the dialogs' texts.
enum : int {
  mRGBFilter = 44,
  mR = 45,
  mG = 46,
  mB = 47,
  mCMYFilter = 48,
  mC = 49,
  mM = 50,
  mY = 51,
  mYCbCrFilter = 52,
  mYLuma = 53,
  mCb = 54,
  mCr = 55,
  mHLSFilter = 56,
  mH = 57,
  mL = 58,
  mS = 59,
  mHSVFilter = 60,
  mV = 61,
  mNegativeFilter = 62,
  mGamma = 63,
  mRGB = 64,
  mYOnly = 65,
  mBrightness = 66,
  mContrast = 67,
  mApplyOn = 68,
  mBCGFilter = 69,
  mGrayscaleFilter = 70,
  mRGBWeighting = 71,
  mStdDeviation = 72,
  mStrength = 73,
  mSharpen = 74,
  mDetail = 75,
  mSmooth = 76,
  mRadius = 77,
  mBlur = 78,
  mContour = 79,
  mWhite = 80,
  mBlack = 81,
  mPlusMinus = 82,
  mDegree = 83,
};

TFilterSlider PercentSlider(int NameMessage, int NameWidth) {
  TFilterSlider S;
  S.Visible = true;
  S.Min = -100;
  S.Max = 100;
  S.Frequency = 10;
  S.NameWidth = NameWidth;
  S.Name = DialogText(NameMessage);
  S.TextLeft = "-100%";
  S.TextMiddle = DialogText(mPlusMinus) + "0%";
  S.TextRight = "+100%";
  S.ValueWidth = 40;
  S.Kind = svkPercent;
  return S;
}

TFilterSlider HueSlider(int NameMessage) {
  TFilterSlider S;
  S.Visible = true;
  S.Min = -180;
  S.Max = 180;
  S.Frequency = 15;
  S.NameWidth = 20;
  S.Name = DialogText(NameMessage);
  const QString Deg = DialogText(mDegree);
  S.TextLeft = "-180" + Deg;
  S.TextMiddle = DialogText(mPlusMinus) + "0" + Deg;
  S.TextRight = "+180" + Deg;
  S.ValueWidth = 40;
  S.Kind = svkHue;
  return S;
}

TFilterSlider PowerOf5Slider(int NameMessage) {
  TFilterSlider S;
  S.Visible = true;
  S.Min = -100;
  S.Max = 100;
  S.Frequency = 100;
  S.NameWidth = 70;
  S.Name = DialogText(NameMessage);
  S.TextLeft = "0.20";
  S.TextMiddle = "1.00";
  S.TextRight = "5.00";
  S.ValueWidth = 40;
  S.Kind = svkPowerOf5;
  return S;
}

QString HundredthsText(int Position) {
  TFilterSlider S;
  S.Position = Position;
  S.Kind = svkHundredths;
  return SliderValueText(S);
}

bool Finite(long double V) {
  return std::isfinite(V);
}

} // namespace

// ---- colour filters ---------------------------------------------------------------------------

TPreviewFilterDialog::TPreviewFilterDialog(QObject* Owner) : TFilterDialog(Owner) {
  FPreview = true;
}

TXXXFilterDialog::TXXXFilterDialog(QObject* Owner, int TitleMessage,
                                   const std::array<int, 3>& NameMessages, bool HueFirst)
    : TPreviewFilterDialog(Owner), FHueFirst(HueFirst) {
  FTitle = DialogText(TitleMessage);
  for (int I = 0; I < 3; ++I)
    Slider(I) = (HueFirst && I == 0) ? HueSlider(NameMessages[0])
                                     : PercentSlider(NameMessages[size_t(I)], 20);
}

void TXXXFilterDialog::SetChannel(int I, int Value) {
  if (I < 0 || I > 2) return;
  if (FHueFirst && I == 0) Value = WrapHueShift(Value);
  SetSliderPosition(I, Value);
}

void TXXXFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* X = dynamic_cast<TXXXFilter*>(&F))
    X->SetPercents(SliderPosition(0), SliderPosition(1), SliderPosition(2));
}

TRGBFilterDialog::TRGBFilterDialog(QObject* Owner)
    : TXXXFilterDialog(Owner, mRGBFilter, {mR, mG, mB}, false) {
  InitFilter();
}

std::unique_ptr<TPGFilter> TRGBFilterDialog::CreateFilter() const {
  return std::make_unique<TRGBFilter>();
}

TCMYFilterDialog::TCMYFilterDialog(QObject* Owner)
    : TXXXFilterDialog(Owner, mCMYFilter, {mC, mM, mY}, false) {
  InitFilter();
}

std::unique_ptr<TPGFilter> TCMYFilterDialog::CreateFilter() const {
  return std::make_unique<TCMYFilter>();
}

TYCbCrFilterDialog::TYCbCrFilterDialog(QObject* Owner)
    : TXXXFilterDialog(Owner, mYCbCrFilter, {mYLuma, mCb, mCr}, false) {
  InitFilter();
}

std::unique_ptr<TPGFilter> TYCbCrFilterDialog::CreateFilter() const {
  return std::make_unique<TYCbCrFilter>();
}

THLSFilterDialog::THLSFilterDialog(QObject* Owner)
    : TXXXFilterDialog(Owner, mHLSFilter, {mH, mL, mS}, true) {
  InitFilter();
}

std::unique_ptr<TPGFilter> THLSFilterDialog::CreateFilter() const {
  return std::make_unique<THLSFilter>();
}

void THLSFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* X = dynamic_cast<THLSFilter*>(&F))
    X->SetShifts(SliderPosition(0), SliderPosition(1), SliderPosition(2));
}

THSVFilterDialog::THSVFilterDialog(QObject* Owner)
    : TXXXFilterDialog(Owner, mHSVFilter, {mH, mS, mV}, true) {
  InitFilter();
}

std::unique_ptr<TPGFilter> THSVFilterDialog::CreateFilter() const {
  return std::make_unique<THSVFilter>();
}

void THSVFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* X = dynamic_cast<THSVFilter*>(&F))
    X->SetShifts(SliderPosition(0), SliderPosition(1), SliderPosition(2));
}

TBCGFilterDialog::TBCGFilterDialog(QObject* Owner) : TPreviewFilterDialog(Owner) {
  FTitle = DialogText(mBCGFilter);
  Slider(0) = PercentSlider(mBrightness, 70);
  Slider(1) = PowerOf5Slider(mContrast);
  Slider(2) = PowerOf5Slider(mGamma);
  FState.RadioPair = true;
  FState.SectionCaption = DialogText(mApplyOn);
  FState.RadioCaptions = {DialogText(mRGB), DialogText(mYOnly)};
  FState.RadioChecked = {true, false};
  InitFilter();
}

std::unique_ptr<TPGFilter> TBCGFilterDialog::CreateFilter() const {
  return std::make_unique<TBCGFilter>();
}

long double TBCGFilterDialog::Contrast() const {
  return std::nearbyint(PowerOf5Value(SliderPosition(1)) * 100) / 100;
}

long double TBCGFilterDialog::Gamma() const {
  return std::nearbyint(PowerOf5Value(SliderPosition(2)) * 100) / 100;
}

void TBCGFilterDialog::SetPowerOf5(int I, long double V) {
  if (!Finite(V)) return;
  SetSliderPosition(I, PowerOf5Position(std::clamp<long double>(V, 0.2L, 5.0L)));
}

void TBCGFilterDialog::SetContrast(long double V) {
  SetPowerOf5(1, V);
}

void TBCGFilterDialog::SetGamma(long double V) {
  SetPowerOf5(2, V);
}

void TBCGFilterDialog::SetUseY(bool V) {
  if (V == UseY()) return;
  FState.RadioChecked = {!V, V};
  UpdateFilter();
}

void TBCGFilterDialog::ConfigureFilter(TPGFilter& F) const {
  auto* X = dynamic_cast<TBCGFilter*>(&F);
  if (!X) return;
  X->SetBrightness(SliderPosition(0));
  X->SetContrast(PowerOf5Value(SliderPosition(1)));
  X->SetGamma(PowerOf5Value(SliderPosition(2)));
  X->UseY = FState.RadioChecked[1];
}

TGrayScaleFilterDialog::TGrayScaleFilterDialog(QObject* Owner) : TPreviewFilterDialog(Owner) {
  FTitle = DialogText(mGrayscaleFilter);
  FState.CheckBox = true;
  FState.CheckBoxCaption = DialogText(mRGBWeighting);
  FState.Checked = true;
  InitFilter();
}

std::unique_ptr<TPGFilter> TGrayScaleFilterDialog::CreateFilter() const {
  return std::make_unique<TGrayScaleFilter>();
}

void TGrayScaleFilterDialog::SetRGBWeighting(bool V) {
  if (V == FState.Checked) return;
  FState.Checked = V;
  UpdateFilter();
}

void TGrayScaleFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* X = dynamic_cast<TGrayScaleFilter*>(&F)) X->RGBWeighting = FState.Checked;
}

TNegativeFilterDialog::TNegativeFilterDialog(QObject* Owner) : TPreviewFilterDialog(Owner) {
  FTitle = DialogText(mNegativeFilter);
  InitFilter();
}

std::unique_ptr<TPGFilter> TNegativeFilterDialog::CreateFilter() const {
  return std::make_unique<TNegativeFilter>();
}

// ---- convolution filters ----------------------------------------------------------------------

TConvFilterDialog::TConvFilterDialog(QObject* Owner, int TitleMessage) : TFilterDialog(Owner) {
  FTitle = DialogText(TitleMessage);
}

std::unique_ptr<TPGFilter> TConvFilterDialog::CreateFilter() const {
  return std::make_unique<TConvFilter>();
}

void TConvFilterDialog::SetUpSliders(int FirstName, int FirstMin, int FirstMax, int FirstFreq,
                                     int FirstInitial, int StrengthMin, int StrengthMax,
                                     int StrengthFreq, int StrengthInitial) {
  TFilterSlider& A = Slider(0);
  A.Visible = true;
  A.Min = FirstMin;
  A.Max = FirstMax;
  A.Frequency = FirstFreq;
  A.Mark = A.Position = FirstInitial;
  A.NameWidth = 90;
  A.Name = DialogText(FirstName);
  A.TextLeft = HundredthsText(FirstMin);
  A.TextRight = HundredthsText(FirstMax);
  A.ValueWidth = 35;
  A.Kind = svkHundredths;
  TFilterSlider& B = Slider(1);
  B.Visible = true;
  B.Min = StrengthMin;
  B.Max = StrengthMax;
  B.Frequency = StrengthFreq;
  B.Mark = B.Position = StrengthInitial;
  B.NameWidth = 90;
  B.Name = DialogText(mStrength);
  B.TextLeft = QString::number(StrengthMin) + "%";
  B.TextRight = QString::number(StrengthMax) + "%";
  B.ValueWidth = 35;
  B.Kind = svkStrength;
}

void TConvFilterDialog::SetDistributionShape(TDistributionShape V) {
  if (V == FShape || V < dsGaussian || V > dsRect) return;
  FShape = V;
  UpdateFilter();
}

void TConvFilterDialog::SetUseDistance(bool V) {
  if (V == FUseDistance) return;
  FUseDistance = V;
  UpdateFilter();
}

void TConvFilterDialog::SetStdDeviation(long double V) {
  if (!Finite(V)) return;
  const TFilterSlider& S = State().Sliders[0];
  V = std::clamp<long double>(V, S.Min / 100.0L, S.Max / 100.0L);
  SetSliderPosition(0, int(std::nearbyint(V * 100)));
}

void TConvFilterDialog::SetPercent(long double V) {
  if (!Finite(V)) return;
  const TFilterSlider& S = State().Sliders[1];
  SetSliderPosition(1, int(std::nearbyint(std::clamp<long double>(V, S.Min, S.Max))));
}

TSharpenFilterDialog::TSharpenFilterDialog(QObject* Owner) : TConvFilterDialog(Owner, mSharpen) {
  SetUpSliders(mStdDeviation, 40, 130, 10, 75, 10, 100, 10, 50);
  InitFilter();
}

void TSharpenFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* C = dynamic_cast<TConvFilter*>(&F))
    C->SetSharpenKernel(FShape, FUseDistance, Percent(), StdDeviation());
}

TDetailFilterDialog::TDetailFilterDialog(QObject* Owner) : TConvFilterDialog(Owner, mDetail) {
  SetUpSliders(mStdDeviation, 40, 130, 10, 75, 10, 100, 10, 75);
  InitFilter();
}

void TDetailFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* C = dynamic_cast<TConvFilter*>(&F))
    C->SetDetailKernel(FShape, FUseDistance, Percent(), StdDeviation());
}

TSmoothFilterDialog::TSmoothFilterDialog(QObject* Owner) : TConvFilterDialog(Owner, mSmooth) {
  SetUpSliders(mStdDeviation, 40, 130, 10, 130, 10, 100, 10, 100);
  InitFilter();
}

void TSmoothFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* C = dynamic_cast<TConvFilter*>(&F))
    C->SetSmoothKernel(FShape, FUseDistance, Percent(), StdDeviation());
}

TBlurFilterDialog::TBlurFilterDialog(QObject* Owner) : TConvFilterDialog(Owner, mBlur) {
  SetUpSliders(mRadius, 50, 500, 50, 250, 10, 100, 10, 100);
  InitFilter();
}

void TBlurFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* C = dynamic_cast<TConvFilter*>(&F)) C->SetBlurKernel(Percent(), Radius());
}

TContourFilterDialog::TContourFilterDialog(QObject* Owner) : TConvFilterDialog(Owner, mContour) {
  FShape = dsRect;
  SetUpSliders(mStdDeviation, 40, 130, 10, 100, 100, 1000, 100, 100);
  FState.RadioPair = true;
  FState.RadioCaptions = {DialogText(mWhite), DialogText(mBlack)};
  FState.RadioChecked = {true, false};
  InitFilter();
}

void TContourFilterDialog::SetBlackBk(bool V) {
  if (V == BlackBk()) return;
  FState.RadioChecked = {!V, V};
  UpdateFilter();
}

void TContourFilterDialog::ConfigureFilter(TPGFilter& F) const {
  if (auto* C = dynamic_cast<TConvFilter*>(&F))
    C->SetContourKernel(FShape, FUseDistance, !BlackBk(), Percent(), StdDeviation());
}

} // namespace orbisk
