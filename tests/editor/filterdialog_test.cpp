#include "processing/editor/filterdialogs.h"

#include "processing/editor/filterdialogform.h"
#include "processing/editor/filterdialogpreview.h"
#include "view/pgimage.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <thread>

inline void PrintTo(const QString& S, std::ostream* Os) {
  *Os << '"' << S.toStdString() << '"';
}

using namespace orbisk;

namespace {

// A 24-bit picture whose colours vary over it.
std::unique_ptr<TPixelGraphic> Gradient(int W, int H) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y, RGBOf((X * 7 + Y * 3) % 256, (X * 5) % 200 + 20, (Y * 11) % 256));
  return G;
}

TRGB Filtered(TPGFilter& F, TRGB C) {
  TPixelGraphic G, Out;
  G.SetSize(1, 1, 3);
  G.SetPixelColor(0, 0, C);
  ApplyFilter(Out, F, G);
  return Out.GetPixelColor(0, 0);
}

// Runs Execute while Drive acts on the open window as the user would; the window is cancelled
// afterwards if Drive left it open, so a failing test never hangs in the modal loop. Drive runs
// from a timer (not a posted call), so that the workers' queued calls reach the window while it
// waits.
template <class TExec>
bool RunWindow(TFilterDialog& D, TExec Execute,
               const std::function<void(TFilterDialogForm&)>& Drive) {
  QTimer::singleShot(10, [&D, Drive] {
    TFilterDialogForm* Form = D.Form();
    if (!Form) return;
    Drive(*Form);
    if (D.Form() && D.Form()->isVisible()) D.Form()->reject();
  });
  return Execute();
}

const TPixelGraphic* Shown(TFilterDialogForm& F) {
  return F.PreviewView()->PixelGraphicNoWait();
}

// Filters one row as slowly as a huge picture would, to catch the window closing mid-way.
class TSlowRGBFilter : public TRGBFilter {
public:
  void FilterRow(int Y, uint8_t* Out) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    TRGBFilter::FilterRow(Y, Out);
  }
};

class TSlowRGBDialog : public TRGBFilterDialog {
public:
  TSlowRGBDialog() { InitFilter(); }
  std::unique_ptr<TPGFilter> CreateFilter() const override {
    return std::make_unique<TSlowRGBFilter>();
  }
};

} // namespace

// ---- settings ---------------------------------------------------------------------------------

TEST(FilterDialogSettings, HueWrapsByWholeTurnsAndPercentsAreLimited) {
  THLSFilterDialog HLS;
  const std::pair<int, int> Cases[] = {{200, -160}, {-540, -180},
                                       {180, 180},  {-181, 179},
                                       {720, 0},    {std::numeric_limits<int>::min(), -128}};
  for (auto [In, Out] : Cases) {
    HLS.SetH(In);
    EXPECT_EQ(HLS.H(), Out) << In;
  }
  HLS.SetL(150);
  HLS.SetS(-250);
  EXPECT_EQ(HLS.L(), 100);
  EXPECT_EQ(HLS.S(), -100);

  TRGBFilterDialog RGB;
  RGB.SetRed(10);
  RGB.SetGreen(-300);
  EXPECT_EQ(RGB.Red(), 10);
  EXPECT_EQ(RGB.Green(), -100);
  // The owned filter follows every change: red up by 10% of 255, green down to nothing.
  EXPECT_EQ(Filtered(RGB.Filter(), RGBOf(100, 50, 30)), RGBOf(125, 0, 30));
}

TEST(FilterDialogSettings, ContrastGammaAreStoredAsPowerOf5Positions) {
  TBCGFilterDialog D;
  EXPECT_EQ(D.Contrast(), 1.0L);
  D.SetContrast(2.0L);
  EXPECT_EQ(D.SliderPosition(1), 43);
  EXPECT_EQ(D.Contrast(), 2.0L);
  D.SetGamma(0.1L); // limited to 0.2
  EXPECT_EQ(D.SliderPosition(2), -100);
  EXPECT_NEAR(double(D.Gamma()), 0.2, 1e-12);
  D.SetGamma(7);
  EXPECT_EQ(D.SliderPosition(2), 100);
  // Not a number, or infinite (a broken settings file): the previous value stays.
  D.SetContrast(std::numeric_limits<long double>::quiet_NaN());
  D.SetGamma(-std::numeric_limits<long double>::infinity());
  EXPECT_EQ(D.SliderPosition(1), 43);
  EXPECT_EQ(D.SliderPosition(2), 100);
  D.SetBrightness(-120);
  D.SetUseY(true);
  auto& F = dynamic_cast<TBCGFilter&>(D.Filter());
  EXPECT_EQ(F.Brightness(), -100);
  EXPECT_NEAR(double(F.Contrast()), std::pow(5.0, 0.43), 1e-12);
  EXPECT_NEAR(double(F.Gamma()), 5.0, 1e-12);
  EXPECT_TRUE(F.UseY);
}

TEST(FilterDialogSettings, ConvolutionValuesAreHundredthsOfTheirSliders) {
  TSharpenFilterDialog S;
  EXPECT_EQ(S.StdDeviation(), 0.75L);
  EXPECT_EQ(S.Percent(), 50);
  S.SetStdDeviation(2);
  EXPECT_EQ(S.SliderPosition(0), 130);
  EXPECT_EQ(S.StdDeviation(), 1.3L);
  S.SetStdDeviation(0.1L);
  EXPECT_EQ(S.SliderPosition(0), 40);
  S.SetStdDeviation(std::numeric_limits<long double>::infinity());
  S.SetPercent(std::numeric_limits<long double>::quiet_NaN());
  EXPECT_EQ(S.SliderPosition(0), 40);
  EXPECT_EQ(S.Percent(), 50);
  S.SetPercent(150);
  EXPECT_EQ(S.Percent(), 100);

  TBlurFilterDialog B;
  EXPECT_EQ(B.Radius(), 2.5L);
  B.SetRadius(10);
  EXPECT_EQ(B.SliderPosition(0), 500);
  B.SetRadius(0.746L);
  EXPECT_EQ(B.SliderPosition(0), 75);

  TContourFilterDialog C;
  EXPECT_EQ(C.DistributionShape(), dsRect);
  EXPECT_EQ(C.Percent(), 100);
  C.SetPercent(50);
  EXPECT_EQ(C.Percent(), 100);
  // The owned filter is a contour kernel: a flat area comes out white, or black with BlackBk.
  auto Flat = [&] { return Filtered(C.Filter(), RGBOf(90, 90, 90)); };
  EXPECT_EQ(Flat(), RGBOf(255, 255, 255));
  C.SetBlackBk(true);
  EXPECT_EQ(Flat(), RGBOf(0, 0, 0));
}

TEST(FilterDialogSettings, ValueTextsAndPreviewSizes) {
  auto Text = [](TSliderValueKind K, int P) {
    TFilterSlider S;
    S.Position = P;
    S.Kind = K;
    return SliderValueText(S);
  };
  EXPECT_EQ(Text(svkPercent, 10), "+10%");
  EXPECT_EQ(Text(svkPercent, 0), QString::fromUtf8("\xC2\xB1") + "0%");
  EXPECT_EQ(Text(svkPercent, -20), "-20%");
  EXPECT_EQ(Text(svkHue, 15), QString::fromUtf8("+15\xC2\xB0"));
  EXPECT_EQ(Text(svkHundredths, 75), "0.75");
  EXPECT_EQ(Text(svkHundredths, 130), "1.30");
  EXPECT_EQ(Text(svkHundredths, 250), "2.50");
  EXPECT_EQ(Text(svkPowerOf5, -100), "0.20");
  EXPECT_EQ(Text(svkPowerOf5, 0), "1.00");
  EXPECT_EQ(Text(svkPowerOf5, 43), "2.00");
  EXPECT_EQ(Text(svkPowerOf5, 100), "5.00");
  EXPECT_EQ(Text(svkStrength, 50), "50%");

  const struct {
    int W, H, OutW, OutH;
  } Sizes[] = {{10, 10, 10, 10},     {400, 200, 140, 70},  {200, 400, 70, 140},
               {141, 140, 140, 139}, {140, 140, 140, 140}, {1000, 1, 140, 1}};
  for (auto S : Sizes) {
    int W = 0, H = 0;
    FittedPreviewSize(S.W, S.H, 140, W, H);
    EXPECT_EQ(W, S.OutW) << S.W << "x" << S.H;
    EXPECT_EQ(H, S.OutH) << S.W << "x" << S.H;
  }
}

// ---- the window -------------------------------------------------------------------------------

TEST(FilterDialogWindow, MovingRShowsTheTextAndBrightensThePreviewReds) {
  TRGBFilterDialog D;
  auto Pic = Gradient(10, 10);
  bool Checked = false;
  const bool Ok = RunWindow(
      D, [&] { return D.Execute(Pic.get()); },
      [&](TFilterDialogForm& F) {
        EXPECT_EQ(F.windowTitle(), "RGB Filter");
        EXPECT_EQ(F.NameLabel(0)->text(), "R");
        EXPECT_EQ(F.TrackText(0, 0)->text(), "-100%");
        EXPECT_EQ(F.TrackText(0, 2)->text(), "+100%");
        ASSERT_TRUE(QTest::qWaitFor([&] { return F.Preview()->ResultsShown() >= 1; }));
        // A picture that fits is previewed at its own size, unchanged at first.
        ASSERT_EQ(Shown(F)->Width(), 10);
        ASSERT_EQ(Shown(F)->Height(), 10);
        EXPECT_EQ(Shown(F)->GetPixelColor(3, 4), Pic->GetPixelColor(3, 4));

        F.SliderControl(0)->setFocus();
        for (int I = 0; I < 10; ++I)
          QTest::keyClick(F.SliderControl(0), Qt::Key_Right);
        EXPECT_EQ(F.ValueLabel(0)->text(), "+10%");
        const int Before = F.Preview()->ResultsShown();
        ASSERT_TRUE(QTest::qWaitFor([&] { return F.Preview()->ResultsShown() > Before; }));
        for (int Y = 0; Y < 10; ++Y)
          for (int X = 0; X < 10; ++X) {
            const TRGB Src = Pic->GetPixelColor(X, Y), Got = Shown(F)->GetPixelColor(X, Y);
            ASSERT_EQ(int(RedOf(Got)), std::min(255, int(RedOf(Src)) + 25)) << X << "," << Y;
            ASSERT_EQ(GreenOf(Got), GreenOf(Src));
            ASSERT_EQ(BlueOf(Got), BlueOf(Src));
          }
        Checked = true;
        QTest::mouseClick(F.OKButton(), Qt::LeftButton);
      });
  EXPECT_TRUE(Checked);
  EXPECT_TRUE(Ok);
  EXPECT_EQ(D.Red(), 10);
  EXPECT_EQ(D.Form(), nullptr);
}

TEST(FilterDialogWindow, RapidMovesComputeOnceAndShowTheLastPosition) {
  TRGBFilterDialog D;
  auto Pic = Gradient(400, 200);
  RunWindow(
      D, [&] { return D.Execute(Pic.get()); },
      [&](TFilterDialogForm& F) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return F.Preview()->ResultsShown() >= 1; }));
        EXPECT_EQ(Shown(F)->Width(), 140);
        EXPECT_EQ(Shown(F)->Height(), 70);
        const int Started = F.Preview()->ComputationsStarted();
        for (int I = 1; I <= 20; ++I) {
          F.SliderControl(1)->setValue(-I * 3);
          QTest::qWait(10);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] {
          return !F.Preview()->TimerActive() && F.Preview()->ResultsShown() > 1 &&
                 F.Preview()->ComputationsStarted() > Started;
        }));
        QTest::qWait(150); // anything still queued would show up now
        EXPECT_LE(F.Preview()->ComputationsStarted() - Started, 4);
        EXPECT_EQ(D.Green(), -60);
        // The preview shows the last position applied to the preview source.
        TPixelGraphic Expected;
        ApplyFilter(Expected, D.Filter(), *F.Preview()->PreviewSource());
        ASSERT_EQ(Shown(F)->ImageSize(), Expected.ImageSize());
        EXPECT_EQ(0, std::memcmp(Shown(F)->Bits(), Expected.Bits(), size_t(Expected.ImageSize())));
      });
}

TEST(FilterDialogWindow, CancelRestoresSettingsAndFilter) {
  TRGBFilterDialog D;
  D.SetBlue(20);
  auto Pic = Gradient(30, 20);
  const bool Ok = RunWindow(
      D, [&] { return D.Execute(Pic.get()); },
      [&](TFilterDialogForm& F) {
        F.SliderControl(0)->setValue(50);
        F.SliderControl(1)->setValue(-40);
        F.SliderControl(2)->setValue(0);
        EXPECT_EQ(D.Red(), 50); // the dialog follows the controls while the window is open
        QTest::keyClick(&F, Qt::Key_Escape);
      });
  EXPECT_FALSE(Ok);
  EXPECT_EQ(D.Red(), 0);
  EXPECT_EQ(D.Green(), 0);
  EXPECT_EQ(D.Blue(), 20);
  EXPECT_EQ(Filtered(D.Filter(), RGBOf(100, 100, 100)), RGBOf(100, 100, 151));
}

TEST(FilterDialogWindow, BrightnessContrastGammaAndGrayscaleControls) {
  TBCGFilterDialog D;
  auto Pic = Gradient(20, 20);
  const bool Ok = RunWindow(
      D, [&] { return D.Execute(Pic.get()); },
      [&](TFilterDialogForm& F) {
        EXPECT_EQ(F.ValueLabel(1)->text(), "1.00");
        EXPECT_EQ(F.TrackText(2, 0)->text(), "0.20");
        EXPECT_EQ(F.SectionLabel()->text(), "Apply on");
        EXPECT_TRUE(F.RadioButton(0)->isChecked());
        F.SliderControl(1)->setValue(43);
        EXPECT_EQ(F.ValueLabel(1)->text(), "2.00");
        QTest::mouseClick(F.RadioButton(1), Qt::LeftButton);
        QTest::keyClick(F.OKButton(), Qt::Key_Return);
      });
  EXPECT_TRUE(Ok);
  EXPECT_EQ(D.Contrast(), 2.0L);
  EXPECT_TRUE(D.UseY());
  EXPECT_TRUE(dynamic_cast<TBCGFilter&>(D.Filter()).UseY);

  TGrayScaleFilterDialog G;
  EXPECT_TRUE(RunWindow(
      G, [&] { return G.Execute(Pic.get()); },
      [&](TFilterDialogForm& F) {
        EXPECT_EQ(F.CheckBox()->text(), "RGB weighting");
        EXPECT_EQ(F.SliderControl(0), nullptr);
        QTest::mouseClick(F.CheckBox(), Qt::LeftButton);
        F.accept();
      }));
  EXPECT_FALSE(G.RGBWeighting());
  EXPECT_FALSE(dynamic_cast<TGrayScaleFilter&>(G.Filter()).RGBWeighting);
}

TEST(FilterDialogWindow, ConvolutionWindowHasNoPreview) {
  TSharpenFilterDialog S;
  EXPECT_TRUE(RunWindow(
      S, [&] { return S.Execute(); },
      [&](TFilterDialogForm& F) {
        EXPECT_EQ(F.windowTitle(), "Sharpen");
        EXPECT_EQ(F.PreviewView(), nullptr);
        EXPECT_EQ(F.NameLabel(0)->text(), "Std. deviation");
        EXPECT_EQ(F.ValueLabel(0)->text(), "0.75");
        EXPECT_EQ(F.TrackText(0, 2)->text(), "1.30");
        EXPECT_EQ(F.ValueLabel(1)->text(), "50%");
        // Nothing clipped with this desktop's font: the names, the texts under the track and
        // the buttons have the room their text needs.
        for (QWidget* C : std::initializer_list<QWidget*>{
                 F.NameLabel(0), F.NameLabel(1), F.TrackText(0, 0), F.TrackText(0, 2),
                 F.TrackText(1, 2), F.OKButton(), F.CancelButton()}) {
          EXPECT_GE(C->width(), C->minimumSizeHint().width()) << C->objectName().toStdString();
          EXPECT_GE(C->height(), C->minimumSizeHint().height());
        }
        F.SliderControl(0)->setValue(130);
        EXPECT_EQ(F.ValueLabel(0)->text(), "1.30");
        F.OKButton()->click();
      }));
  EXPECT_EQ(S.StdDeviation(), 1.3L);

  TContourFilterDialog C;
  EXPECT_TRUE(RunWindow(
      C, [&] { return C.Execute(); },
      [&](TFilterDialogForm& F) {
        EXPECT_EQ(F.RadioButton(0)->text(), "White");
        EXPECT_EQ(F.TrackText(1, 2)->text(), "1000%");
        QTest::mouseClick(F.RadioButton(1), Qt::LeftButton);
        F.OKButton()->click();
      }));
  EXPECT_TRUE(C.BlackBk());

  // An empty picture previews nothing and still runs the window.
  TNegativeFilterDialog N;
  EXPECT_TRUE(RunWindow(
      N, [&] { return N.Execute(nullptr); },
      [&](TFilterDialogForm& F) {
        QTest::qWait(150);
        EXPECT_EQ(F.Preview()->ComputationsStarted(), 0);
        F.OKButton()->click();
      }));
}

// ---- closing while the workers run --------------------------------------------------------------

TEST(FilterDialogWindow, ClosingWhileAComputationRunsStopsIt) {
  TSlowRGBDialog D;
  auto Pic = Gradient(400, 200);
  bool SawRunning = false;
  RunWindow(
      D, [&] { return D.Execute(Pic.get()); },
      [&](TFilterDialogForm& F) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return F.Preview()->ComputationsStarted() >= 1; }));
        SawRunning = F.Preview()->Running();
        F.CancelButton()->click();
        EXPECT_FALSE(F.Preview()->Running()); // joined before the click returns
      });
  EXPECT_TRUE(SawRunning);
  Pic.reset(); // nothing may read it any more
  QTest::qWait(100);
}

TEST(FilterDialogWindow, ClosingWhileTheSourceIsMadeLeavesThePictureAlone) {
  TRGBFilterDialog D;
  auto Pic = Gradient(3000, 2000);
  RunWindow(
      D, [&] { return D.Execute(Pic.get()); },
      [&](TFilterDialogForm& F) {
        F.close(); // most likely while the source worker still reads the picture
      });
  Pic.reset();
  QTest::qWait(100);
  EXPECT_EQ(D.Form(), nullptr);
}

TEST(FilterDialogWindow, DestroyingTheDialogWhileItsWindowIsOpen) {
  auto* D = new TSlowRGBDialog;
  auto Pic = Gradient(400, 200);
  QPointer<TFilterDialogForm> Form;
  QTimer::singleShot(10, [&] {
    Form = D->Form();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Form && Form->Preview()->ComputationsStarted() >= 1; }));
    delete D; // its owner went away while the window was open
  });
  EXPECT_FALSE(D->Execute(Pic.get()));
  EXPECT_TRUE(Form.isNull());
  Pic.reset();
  QTest::qWait(100);
}

// The preview's workers hand their results to the window's thread: a worker stopped after it
// finished but before its result arrived must never deliver it (a stale preview), while one left
// alone always does.
TEST(FilterPreviewWorkers, AResultArrivesOnlyFromAWorkerStillRunning) {
  QObject Owner;
  auto Picture = Gradient(40, 30);
  TPixelGraphic Source;
  Source.SetSize(20, 15, 3);
  int Copied = 0;
  {
    TCreateSrcPGThread Src(&Owner, *Picture, Source, [&] { ++Copied; });
    Src.Join(); // finished: its result is on its way
    Src.Stop();
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(Copied, 0);
  TCreateSrcPGThread Src(&Owner, *Picture, Source, [&] { ++Copied; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return Copied == 1; }));
  Src.Join();
  EXPECT_GE(int(GreenOf(Source.GetPixelColor(5, 5))), 20); // the picture's greens start at 20

  std::vector<std::unique_ptr<TPixelGraphic>> Results;
  auto Keep = [&](std::unique_ptr<TPixelGraphic> R) { Results.push_back(std::move(R)); };
  {
    TCreateDestPGThread Dest(&Owner, Source, std::make_unique<TNegativeFilter>(), Keep);
    Dest.Join();
    Dest.Stop();
  }
  QCoreApplication::processEvents();
  EXPECT_TRUE(Results.empty());
  TCreateDestPGThread Dest(&Owner, Source, std::make_unique<TNegativeFilter>(), Keep);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Results.size() == 1; }));
  ASSERT_TRUE(Results[0]);
  EXPECT_EQ(Results[0]->Width(), 20);
  const TRGB Before = Source.GetPixelColor(3, 4), After = Results[0]->GetPixelColor(3, 4);
  EXPECT_EQ(int(RedOf(After)), 255 - int(RedOf(Before)));
  QCoreApplication::processEvents();
  EXPECT_EQ(Results.size(), 1u); // once
}
