// Start-up: the windows the program creates and the splash that closes itself.
#include "app/splash.h"
#include "app/startup.h"
#include "browser/bmedit.h"
#include "browser/mainwindow.h"
#include "browser/prefs.h"
#include "tests/browser/browsertest.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace orbisk;

TEST(Startup, WindowsAreCreatedOnceAndHidden) {
  test::ResetUserFiles();
  const QString Folder = test::MakeFolder("start");
  test::WritePicture(Folder + "/one.png", 8, 6);
  std::unique_ptr<TForm1> F = CreateWindows(Folder + "/one.png");
  ASSERT_TRUE(F);
  EXPECT_FALSE(F->isVisible());
  EXPECT_EQ(F->findChildren<TfPrefs*>().size(), 1);
  EXPECT_EQ(F->findChildren<TfBMEdit*>().size(), 1);
  EXPECT_EQ(F->findChildren<TfAbout*>().size(), 1);
  EXPECT_EQ(F->PrefsWindow(), F->findChild<TfPrefs*>());
  EXPECT_FALSE(F->PrefsWindow()->isVisible());
  bool Shown = false;
  QObject::connect(F.get(), &TForm1::FirstShown, [&] { Shown = true; });
  F->show();
  EXPECT_TRUE(Shown);
  EXPECT_EQ(F->ShownFile(), Folder + "/one.png");
  EXPECT_EQ(F->PanelText(1), "1 files");
}

TEST(Startup, SplashClosesAfterTwoSeconds) {
  QPointer<TfrmSplashForm> Splash = new TfrmSplashForm;
  EXPECT_TRUE(Splash->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(Splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  Splash->show();
  EXPECT_TRUE(Splash->isVisible());
  // Closed and freed by its own timer.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return Splash.isNull();
      },
      10000));
}
