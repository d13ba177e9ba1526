// Zooming and panning the main window's picture as a user does it: keys, ctrl and the wheel,
// dragging, the zoom panel, "Centre pictures" and "Use colour profiles" in the preferences.
#include "browser/display.h"
#include "browser/mainwindow.h"
#include "browser/prefs.h"
#include "platform/codecsettings.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QCheckBox>
#include <QColorSpace>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace orbisk;

namespace {

// A 256 x 256 picture whose red is x and green is y: any shown pixel tells where it comes from.
void WriteGradient(const QString& Path) {
  QImage I(256, 256, QImage::Format_RGB32);
  for (int Y = 0; Y < 256; ++Y)
    for (int X = 0; X < 256; ++X)
      I.setPixel(X, Y, qRgb(X, Y, 128));
  ASSERT_TRUE(I.save(Path, "PNG"));
}

class Zoom : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Dir = test::MakeFolder("zoom");
    WriteGradient(Dir + "/a.png");
    QImage Small(40, 20, QImage::Format_RGB32);
    Small.fill(QColor(30, 200, 60));
    ASSERT_TRUE(Small.save(Dir + "/b.png", "PNG"));
  }

  std::unique_ptr<TForm1> Open() {
    auto F = std::make_unique<TForm1>();
    F->resize(640, 480);
    F->show();
    QApplication::processEvents();
    const QModelIndex I = test::Child<TFolderTree>(*F, "ShellTreeView1").Model()->index(Dir);
    test::Child<TFolderTree>(*F, "ShellTreeView1").setCurrentIndex(I);
    QApplication::processEvents();
    return F;
  }

  static void Settle(TForm1& F) {
    test::WaitFor([&] { return F.PictureDisplay().PendingCount() == 0; });
    QApplication::processEvents();
  }

  static void Select(TForm1& F, int Row) {
    auto& List = test::Child<QTreeView>(F, "ListView1");
    const QRect R = List.visualRect(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    test::Click(List.viewport(), R.center());
    Settle(F);
  }

  static QWidget& Area(TForm1& F) { return test::Child<QWidget>(F, "ImagePanel"); }
  static QString ZoomText(TForm1& F) { return test::Child<QLabel>(F, "ZoomPanel").text(); }
  static QRect Shown(TForm1& F) { return F.PictureDisplay().VisibleViewer()->geometry(); }

  static void Type(TForm1& F, int Key, Qt::KeyboardModifiers M = Qt::NoModifier) {
    test::Key(&Area(F), Key, M);
  }

  // The picture point shown at P of the area (red and green of the gradient).
  static QPoint PictureAt(TForm1& F, QPoint P) {
    const QColor C = Area(F).grab().toImage().pixelColor(P);
    return QPoint(C.red(), C.green());
  }

  // The wheel turned by Notches over point P of the area, at the widget the pointer is over.
  static void Wheel(TForm1& F, QPoint P, int Notches, Qt::KeyboardModifiers M) {
    QWidget* W = Area(F).childAt(P);
    if (!W) W = &Area(F);
    const QPointF Local = W->mapFrom(&Area(F), P);
    QWheelEvent E(Local, W->mapToGlobal(Local), QPoint(), QPoint(0, 120 * Notches), Qt::NoButton, M,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(W, &E);
    QApplication::processEvents();
  }

  // A left-button drag from P by D, in three moves.
  static void Drag(TForm1& F, QPoint P, QPoint D) {
    QWidget* W = Area(F).childAt(P);
    ASSERT_NE(W, nullptr);
    auto Send = [&](QEvent::Type T, QPoint At, Qt::MouseButtons Held) {
      const QPointF L = W->mapFrom(&Area(F), At);
      QMouseEvent E(T, L, W->mapToGlobal(L), Qt::LeftButton, Held, Qt::NoModifier);
      QApplication::sendEvent(W, &E);
    };
    Send(QEvent::MouseButtonPress, P, Qt::LeftButton);
    for (int I = 1; I <= 3; ++I)
      Send(QEvent::MouseMove, P + D * I / 3, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, P + D, Qt::NoButton);
    QApplication::processEvents();
  }

  static void ExpectNear(QPoint A, QPoint B, const char* What) {
    EXPECT_LE(std::abs(A.x() - B.x()), 1) << What << ": " << A.x() << " vs " << B.x();
    EXPECT_LE(std::abs(A.y() - B.y()), 1) << What << ": " << A.y() << " vs " << B.y();
  }

  QString Dir;
};

} // namespace

TEST(ZoomRules, StepsArePowersOfTheRootOfTwo) {
  EXPECT_DOUBLE_EQ(double(StepZoom(1, 1)), std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(double(StepZoom(1, 2)), 2.0);
  EXPECT_DOUBLE_EQ(double(StepZoom(1, -2)), 0.5);
  // Between two powers: the next one in the asked direction, never the same factor again.
  EXPECT_DOUBLE_EQ(double(StepZoom(0.37L, 1)), 0.5);
  EXPECT_DOUBLE_EQ(double(StepZoom(0.37L, -1)), std::sqrt(0.125));
  EXPECT_DOUBLE_EQ(double(StepZoom(StepZoom(1, 1), -1)), 1.0);
  EXPECT_EQ(StepZoom(kMaxZoom, 1), kMaxZoom);
  EXPECT_EQ(StepZoom(kMinZoom, -3), kMinZoom);
  // The fit of a huge picture lies below the smallest factor: reducing leaves it.
  EXPECT_EQ(StepZoom(0.001L, -1), 0.001L);
  EXPECT_EQ(StepZoom(0.001L, 1), kMinZoom);
  EXPECT_EQ(StepZoom(100, 1), 100);
  EXPECT_EQ(ZoomPanelText(1), "100%");
  EXPECT_EQ(ZoomPanelText(std::sqrt(2.0L)), "141%");
  EXPECT_EQ(ZoomPanelText(0.0625L), "6.3%");
  EXPECT_EQ(ZoomPanelText(0.0999L), "10%"); // rounds up to ten: no decimal
  // A side that fits is centred or at the margin; a longer one covers the area.
  EXPECT_EQ(PlaceSide(100, 400, 4, true, -50), 150);
  EXPECT_EQ(PlaceSide(100, 400, 4, false, -50), 4);
  EXPECT_EQ(PlaceSide(1000, 400, 4, true, 50), 4);
  EXPECT_EQ(PlaceSide(1000, 400, 4, true, -900), -604);
  EXPECT_EQ(PlaceSide(1000, 400, 0, true, -300), -300);
}

TEST_F(Zoom, KeysStepAboutTheCentreAndTheWheelAboutThePointer) {
  auto F = Open();
  Select(*F, 0);
  ASSERT_EQ(F->ShownFile(), Dir + "/a.png");
  const QSize A = Area(*F).size();
  ASSERT_LT(std::max(A.width(), A.height()), 500) << "the area must be smaller than 2 x 256";
  ASSERT_GT(std::min(A.width(), A.height()), 264);
  // Natural size, centred (the default), and 100% in the zoom panel.
  EXPECT_EQ(Shown(*F), QRect((A.width() - 256) / 2, (A.height() - 256) / 2, 256, 256));
  EXPECT_EQ(ZoomText(*F), "100%");
  const QPoint Centre(A.width() / 2, A.height() / 2);
  ExpectNear(PictureAt(*F, Centre), QPoint(128, 128), "centred");

  // The keypad's + is still the fit; 1 comes back to one pixel per pixel.
  Type(*F, Qt::Key_Plus, Qt::KeypadModifier);
  const QSize Fit = FitViewerSize(256, 256, A.width(), A.height()).value();
  EXPECT_EQ(Shown(*F).size(), Fit);
  EXPECT_EQ(ZoomText(*F), ZoomPanelText((long double)Fit.width() / 256));
  Type(*F, Qt::Key_1);
  EXPECT_EQ(Shown(*F).size(), QSize(256, 256));
  EXPECT_EQ(ZoomText(*F), "100%");

  // The main keyboard's + (and =) and - step by the root of 2 about the area's centre.
  Type(*F, Qt::Key_Plus);
  EXPECT_EQ(ZoomText(*F), "141%");
  EXPECT_EQ(Shown(*F).size(), QSize(362, 362));
  Type(*F, Qt::Key_Equal);
  EXPECT_EQ(ZoomText(*F), "200%");
  Type(*F, Qt::Key_Minus);
  EXPECT_EQ(ZoomText(*F), "141%");
  Type(*F, Qt::Key_Plus);
  ASSERT_EQ(Shown(*F).size(), QSize(512, 512));
  ExpectNear(PictureAt(*F, Centre), QPoint(128, 128), "after the keys");

  // Ctrl and the wheel zoom about the pointer: the picture point under it stays there.
  const QPoint Pointer = Centre + QPoint(50, -40);
  const QPoint Under = PictureAt(*F, Pointer);
  Wheel(*F, Pointer, 1, Qt::ControlModifier);
  EXPECT_EQ(ZoomText(*F), "283%");
  ExpectNear(PictureAt(*F, Pointer), Under, "wheel in");
  Wheel(*F, Pointer, -1, Qt::ControlModifier);
  EXPECT_EQ(ZoomText(*F), "200%");
  ExpectNear(PictureAt(*F, Pointer), Under, "wheel out");

  // The next file is shown as any newly shown file: natural size.
  test::Action(*F, "NextImageButton").trigger();
  Settle(*F);
  EXPECT_EQ(Shown(*F).size(), QSize(40, 20));
  EXPECT_EQ(ZoomText(*F), "100%");
}

TEST_F(Zoom, DraggingAndArrowsPanOnlyAPictureLargerThanTheArea) {
  auto F = Open();
  Select(*F, 0);
  const QSize A = Area(*F).size();
  const QPoint Centre(A.width() / 2, A.height() / 2);
  // Fitted: nothing to pan, neither by dragging nor by the arrows.
  Type(*F, Qt::Key_0);
  const QRect Fitted = Shown(*F);
  EXPECT_EQ(Fitted.size(), FitViewerSize(256, 256, A.width(), A.height()).value());
  Drag(*F, Centre, QPoint(-60, -40));
  Type(*F, Qt::Key_Right);
  EXPECT_EQ(Shown(*F), Fitted);

  Type(*F, Qt::Key_1);
  for (int I = 0; I < 4; ++I)
    Type(*F, Qt::Key_Plus);
  ASSERT_EQ(ZoomText(*F), "400%");
  const QPoint Start = Centre + QPoint(30, 20);
  const QPoint Under = PictureAt(*F, Start);
  Drag(*F, Start, QPoint(-60, -40));
  // The picture followed the pointer.
  ExpectNear(PictureAt(*F, Start + QPoint(-60, -40)), Under, "dragged");
  EXPECT_EQ(ZoomText(*F), "400%");

  // The arrows move the view the arrow's way, the picture the other way.
  const QPoint Before = Shown(*F).topLeft();
  Type(*F, Qt::Key_Right);
  EXPECT_LT(Shown(*F).x(), Before.x());
  EXPECT_EQ(Shown(*F).y(), Before.y());
  Type(*F, Qt::Key_Left);
  EXPECT_EQ(Shown(*F).topLeft(), Before);
  Type(*F, Qt::Key_Down);
  EXPECT_LT(Shown(*F).y(), Before.y());

  // However far it is dragged, the picture still covers the area (4 pixels kept free).
  Drag(*F, Centre, QPoint(-2000, -2000));
  EXPECT_EQ(Shown(*F).right(), A.width() - 4 - 1);
  EXPECT_EQ(Shown(*F).bottom(), A.height() - 4 - 1);
  // The plain wheel scrolls it back up.
  const int Bottom = Shown(*F).y();
  Wheel(*F, Centre, 1, Qt::NoModifier);
  EXPECT_GT(Shown(*F).y(), Bottom);
}

TEST_F(Zoom, ChosenZoomSurvivesResizingAndFitFollowsIt) {
  auto F = Open();
  Select(*F, 0);
  Type(*F, Qt::Key_1);
  Type(*F, Qt::Key_Plus);
  ASSERT_EQ(ZoomText(*F), "141%");
  F->resize(700, 520);
  ASSERT_TRUE(test::WaitFor([&] { return F->width() == 700; }));
  QApplication::processEvents();
  EXPECT_EQ(ZoomText(*F), "141%");
  EXPECT_EQ(Shown(*F).size(), QSize(362, 362));

  Type(*F, Qt::Key_F); // "Fit", and fitted again whenever the area changes size
  F->resize(600, 440);
  ASSERT_TRUE(test::WaitFor([&] { return F->width() == 600; }));
  QApplication::processEvents();
  EXPECT_EQ(Shown(*F).size(), FitViewerSize(256, 256, Area(*F).width(), Area(*F).height()).value());
}

TEST_F(Zoom, CentrePicturesPreference) {
  {
    TSettingsStore S;
    S.WriteString("CentrePictures", "0");
  }
  auto F = Open();
  Select(*F, 1);                             // b.png, 40 x 20
  EXPECT_EQ(Shown(*F), QRect(4, 4, 40, 20)); // off: at the top-left corner
  QTimer::singleShot(0, [&] {
    TfPrefs* P = F->PrefsWindow();
    auto& Check = test::Child<QCheckBox>(*P, "CentreCheck");
    EXPECT_EQ(Check.text(), "Centre pictures");
    EXPECT_FALSE(Check.isChecked());
    Check.setChecked(true);
    test::Child<QPushButton>(*P, "OKButton").click();
  });
  test::Action(*F, "SetPreferences1").trigger();
  Settle(*F);
  const QSize A = Area(*F).size();
  EXPECT_EQ(Shown(*F), QRect((A.width() - 40) / 2, (A.height() - 20) / 2, 40, 20));
  EXPECT_EQ(TSettingsStore().ReadString("CentrePictures", ""), "1");
}

// New settings centre; settings of earlier runs that never made the choice keep the top-left
// placement they had. Either way the choice is stored at start-up and holds from then on.
TEST_F(Zoom, CentringDefaultsToOnForNewSettingsOnly) {
  {
    auto F = Open();
    Select(*F, 1);
    const QSize A = Area(*F).size();
    EXPECT_EQ(Shown(*F), QRect((A.width() - 40) / 2, (A.height() - 20) / 2, 40, 20));
  }
  EXPECT_EQ(TSettingsStore().ReadString("CentrePictures", ""), "1");
  {
    TSettingsStore S;
    S.Remove("CentrePictures");
    S.WriteInteger("Left", 10); // a window place from an earlier run
  }
  {
    auto F = Open();
    Select(*F, 1);
    EXPECT_EQ(Shown(*F), QRect(4, 4, 40, 20));
  }
  EXPECT_EQ(TSettingsStore().ReadString("CentrePictures", ""), "0");
}

TEST_F(Zoom, ColourProfilesPreferenceShowsThePictureAgain) {
  // A picture in a wide-gamut space: with its profile applied the shown red is another one.
  QImage I(64, 64, QImage::Format_RGB32);
  I.fill(QColor(200, 40, 40));
  I.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
  ASSERT_TRUE(I.save(Dir + "/c.png", "PNG"));
  auto F = Open();
  Select(*F, 2);
  ASSERT_EQ(F->ShownFile(), Dir + "/c.png");
  ASSERT_TRUE(UseColourProfiles());
  const QPoint Mid = Shown(*F).center();
  const QColor Converted = Area(*F).grab().toImage().pixelColor(Mid);
  EXPECT_NE(Converted, QColor(200, 40, 40));
  int Displays = 0;
  QObject::connect(&F->PictureDisplay(), &TDisplayController::Displayed,
                   [&](const QString&, bool) { ++Displays; });

  QTimer::singleShot(0, [&] {
    TfPrefs* P = F->PrefsWindow();
    auto& Check = test::Child<QCheckBox>(*P, "ColourProfilesCheck");
    EXPECT_EQ(Check.text(), "Use colour profiles");
    EXPECT_TRUE(Check.isChecked());
    Check.setChecked(false);
    test::Child<QPushButton>(*P, "OKButton").click();
  });
  test::Action(*F, "SetPreferences1").trigger();
  Settle(*F);
  EXPECT_FALSE(UseColourProfiles());
  EXPECT_EQ(Displays, 1);
  EXPECT_EQ(Area(*F).grab().toImage().pixelColor(Mid), QColor(200, 40, 40)); // as stored
  EXPECT_EQ(TSettingsStore().ReadString("ColourProfiles", ""), "0");
  F->close();
  F.reset();

  // Read at start-up.
  SetUseColourProfiles(true);
  auto G = Open();
  EXPECT_FALSE(UseColourProfiles());
  SetUseColourProfiles(true);
}
