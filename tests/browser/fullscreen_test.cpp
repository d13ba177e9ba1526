// Full screen as a user meets it: F11 and a double click enter it, Esc leaves it; the picture is
// alone on black, fitted; keys and the wheel step through the list; the slide show runs there;
// the window comes back as it was and its stored place is never the screen's.
#include "browser/display.h"
#include "browser/mainwindow.h"
#include "browser/slideshow.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "view/filelist.h"

#include <QFileSystemModel>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>

using namespace orbisk;

namespace {

const QColor Green(30, 200, 60), Blue(20, 40, 220), Red(210, 20, 20);

class FullScreen : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Dir = test::MakeFolder("fullscreen");
    Write("a.png", 40, 20, Green);
    Write("b.png", 30, 60, Blue);
    Write("c.png", 1000, 100, Red);
  }

  void Write(const QString& Name, int W, int H, const QColor& C) {
    QImage I(W, H, QImage::Format_RGB32);
    I.fill(C);
    ASSERT_TRUE(I.save(Dir + "/" + Name, "PNG"));
  }

  std::unique_ptr<TForm1> Open() {
    auto F = std::make_unique<TForm1>();
    F->show();
    QApplication::processEvents();
    const QModelIndex I = test::Child<TFolderTree>(*F, "ShellTreeView1").Model()->index(Dir);
    test::Child<TFolderTree>(*F, "ShellTreeView1").setCurrentIndex(I);
    QApplication::processEvents();
    auto& List = test::Child<QTreeView>(*F, "ListView1");
    test::Click(List.viewport(),
                List.visualRect(test::Child<TFileListModel>(*F, "FileList").index(0, 0)).center());
    Settle(*F);
    return F;
  }

  static void Settle(TForm1& F) {
    test::WaitFor([&] { return F.PictureDisplay().PendingCount() == 0; });
    QApplication::processEvents();
  }

  static QWidget& Area(TForm1& F) { return test::Child<QWidget>(F, "ImagePanel"); }
  static QRect Shown(TForm1& F) { return F.PictureDisplay().VisibleViewer()->geometry(); }
  static QColor Pixel(TForm1& F, QPoint P) { return Area(F).grab().toImage().pixelColor(P); }
  static QRect ScreenRect(TForm1& F) { return F.screen()->geometry(); }

  static bool Full(TForm1& F) {
    return test::WaitFor([&] {
      return F.isFullScreen() && F.geometry() == ScreenRect(F) &&
             Area(F).size() == ScreenRect(F).size();
    });
  }

  static bool Back(TForm1& F, const QRect& Before) {
    return test::WaitFor([&] { return !F.isFullScreen() && F.geometry() == Before; });
  }

  static void Type(TForm1& F, int Key) { test::Key(&Area(F), Key); }

  static void DoubleClick(TForm1& F, QPoint P) {
    QWidget* W = Area(F).childAt(P);
    if (!W) W = &Area(F);
    const QPointF L = W->mapFrom(&Area(F), P);
    for (QEvent::Type T : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                           QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
      const bool Down = T == QEvent::MouseButtonPress || T == QEvent::MouseButtonDblClick;
      QMouseEvent E(T, L, W->mapToGlobal(L), Qt::LeftButton, Down ? Qt::LeftButton : Qt::NoButton,
                    Qt::NoModifier);
      QApplication::sendEvent(W, &E);
    }
    QApplication::processEvents();
  }

  static void Wheel(TForm1& F, int Notches) {
    const QPoint P(Area(F).width() / 2, Area(F).height() / 2);
    QWidget* W = Area(F).childAt(P);
    if (!W) W = &Area(F);
    const QPointF L = W->mapFrom(&Area(F), P);
    QWheelEvent E(L, W->mapToGlobal(L), QPoint(), QPoint(0, 120 * Notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(W, &E);
    Settle(F);
  }

  QString Dir;
};

} // namespace

TEST_F(FullScreen, F11ShowsThePictureAloneOnBlackAndEscComesBack) {
  auto F = Open();
  ASSERT_EQ(F->ShownFile(), Dir + "/a.png");
  const QRect Before = F->geometry();
  const QRect ShownBefore = Shown(*F);
  const QColor AreaColour = F->PictureAreaColor();

  test::Key(&test::Child<QTreeView>(*F, "ListView1"), Qt::Key_F11);
  ASSERT_TRUE(Full(*F));
  EXPECT_TRUE(F->IsFullScreen());
  EXPECT_TRUE(test::Action(*F, "FullScreen1").isChecked());
  EXPECT_EQ(QRect(Area(*F).mapToGlobal(QPoint(0, 0)), Area(*F).size()), ScreenRect(*F));
  for (QWidget* W : {static_cast<QWidget*>(F->menuBar()), static_cast<QWidget*>(F->statusBar()),
                     &test::Child<QWidget>(*F, "ToolBar1"), &test::Child<QWidget>(*F, "ToolBar2"),
                     &test::Child<QWidget>(*F, "ListView1")})
    EXPECT_FALSE(W->isVisible()) << W->objectName().toStdString();
  // 40 x 20 fitted to the screen with no margin, centred on black.
  const QSize S = ScreenRect(*F).size();
  const QSize Fit = FitViewerSize(40, 20, S.width() + 8, S.height() + 8).value();
  EXPECT_EQ(Shown(*F), QRect((S.width() - Fit.width()) / 2, (S.height() - Fit.height()) / 2,
                             Fit.width(), Fit.height()));
  EXPECT_EQ(Pixel(*F, QPoint(S.width() / 2, S.height() / 2)), Green);
  EXPECT_EQ(Pixel(*F, QPoint(S.width() / 2, 1)), QColor(Qt::black));
  // The zoom keys work there too.
  Type(*F, Qt::Key_1);
  EXPECT_EQ(Shown(*F).size(), QSize(40, 20));
  EXPECT_EQ(Shown(*F).topLeft(), QPoint((S.width() - 40) / 2, (S.height() - 20) / 2));

  Type(*F, Qt::Key_Escape);
  ASSERT_TRUE(Back(*F, Before));
  EXPECT_FALSE(test::Action(*F, "FullScreen1").isChecked());
  EXPECT_TRUE(F->statusBar()->isVisible());
  EXPECT_TRUE(test::Child<QWidget>(*F, "ListView1").isVisible());
  EXPECT_EQ(Shown(*F), ShownBefore);
  EXPECT_EQ(F->PictureAreaColor(), AreaColour);
  EXPECT_FALSE(F->BGColorChanged());
  // Esc outside full screen does nothing.
  Type(*F, Qt::Key_Escape);
  EXPECT_FALSE(F->isFullScreen());
}

TEST_F(FullScreen, DoubleClickEntersAndLeaves) {
  auto F = Open();
  const QRect Before = F->geometry();
  DoubleClick(*F, Shown(*F).center());
  ASSERT_TRUE(Full(*F));
  DoubleClick(*F, QPoint(5, 5)); // on the black around the picture
  ASSERT_TRUE(Back(*F, Before));
}

TEST_F(FullScreen, KeysAndWheelStepThroughTheList) {
  auto F = Open();
  const QRect Before = F->geometry();
  test::Action(*F, "FullScreen1").trigger();
  ASSERT_TRUE(Full(*F));
  const QSize S = ScreenRect(*F).size();
  struct Step {
    std::function<void()> Do;
    const char* File;
  } Steps[] = {
      {[&] { Type(*F, Qt::Key_Right); }, "b.png"},
      {[&] { Type(*F, Qt::Key_PageDown); }, "c.png"},
      {[&] { Type(*F, Qt::Key_Space); }, "a.png"}, // past the last: the first
      {[&] { Type(*F, Qt::Key_Left); }, "c.png"},
      {[&] { Wheel(*F, -1); }, "a.png"}, // towards the user: the next
      {[&] { Wheel(*F, 1); }, "c.png"},
      {[&] { Type(*F, Qt::Key_PageUp); }, "b.png"},
  };
  for (const Step& St : Steps) {
    St.Do();
    Settle(*F);
    ASSERT_EQ(F->ShownFile(), Dir + "/" + St.File);
    // Every file fitted to the screen, centred.
    const QRect R = Shown(*F);
    EXPECT_TRUE(R.width() == S.width() || R.height() == S.height()) << St.File;
    EXPECT_EQ(R.center(), QRect(QPoint(0, 0), S).center()) << St.File;
  }
  EXPECT_EQ(F->SelectedRows(), QList<int>({1}));
  // Back in the window the file now shown is placed as any newly shown file: natural size.
  Type(*F, Qt::Key_Escape);
  ASSERT_TRUE(Back(*F, Before));
  EXPECT_EQ(Shown(*F).size(), QSize(30, 60));
}

TEST_F(FullScreen, SlideShowRunsThere) {
  auto F = Open();
  test::Child<QSpinBox>(*F, "SecondsEdit").setValue(1);
  test::Action(*F, "FullScreen1").trigger();
  ASSERT_TRUE(Full(*F));
  QStringList Shown;
  QObject::connect(&F->PictureDisplay(), &TDisplayController::Displayed,
                   [&](const QString& Path, bool) { Shown << QFileInfo(Path).fileName(); });
  test::Action(*F, "RunButton").trigger();
  ASSERT_TRUE(F->SlideShowTimer().Running());
  ASSERT_TRUE(test::WaitFor([&] { return Shown.size() >= 2; }, 10000));
  EXPECT_EQ(Shown.mid(0, 2), QStringList({"b.png", "c.png"}));
  EXPECT_TRUE(F->isFullScreen());
  // c.png, 1000 x 100, fitted across the screen.
  EXPECT_EQ(FullScreen::Shown(*F).width(), ScreenRect(*F).width());
  test::Action(*F, "RunButton").trigger();
  EXPECT_FALSE(F->SlideShowTimer().Running());
}

TEST_F(FullScreen, ClosingThereStoresTheWindowsOwnPlace) {
  auto F = Open();
  F->resize(650, 470);
  ASSERT_TRUE(test::WaitFor([&] { return F->width() == 650; }));
  test::Action(*F, "FullScreen1").trigger();
  ASSERT_TRUE(Full(*F));
  F->close();
  TSettingsStore S;
  EXPECT_EQ(S.ReadInteger("Width", 0), 650);
  EXPECT_EQ(S.ReadInteger("Height", 0), 470);
  EXPECT_LT(S.ReadInteger("LeftWidth", 0), 650); // the left pane's width, not the hidden one's 0
  EXPECT_GT(S.ReadInteger("LeftWidth", 0), 0);
}

TEST_F(FullScreen, AnyViewerShowsThereAndZooms) {
  const QString Anim = test::MakeFolder("fullscreen-gif");
  test::WriteData(Anim + "/anim.gif", test::TwoFrameGif());
  Dir = Anim;
  auto F = Open();
  TAnimatedGifViewer* G = F->PictureDisplay().GifViewer();
  ASSERT_EQ(F->PictureDisplay().VisibleViewer(), G);
  test::Key(&Area(*F), Qt::Key_F11);
  ASSERT_TRUE(Full(*F));
  // 1 x 1 fitted: a square as high as the screen, in its middle, still animating.
  const QSize S = ScreenRect(*F).size();
  EXPECT_EQ(G->geometry(), QRect((S.width() - S.height()) / 2, 0, S.height(), S.height()));
  EXPECT_TRUE(G->Animate());
  Type(*F, Qt::Key_1);
  EXPECT_EQ(G->size(), QSize(1, 1));
  for (int I = 0; I < 4; ++I)
    Type(*F, Qt::Key_Plus);
  EXPECT_EQ(G->size(), QSize(4, 4));
  EXPECT_EQ(test::Child<QLabel>(*F, "ZoomPanel").text(), "400%");
}
