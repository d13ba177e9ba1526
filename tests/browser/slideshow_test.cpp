// The slide show: seconds box rules, the start/stop state machine, and a running show that
// steps through files with a real picture view.
#include "browser/display.h"
#include "browser/slideshow.h"
#include "tests/browser/browsertest.h"

#include <QFileInfo>
#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

TEST(SlideShowRules, SecondsTextAndArrows) {
  // A stored number past the arrows' 60 is kept; only what is not a usable number falls back.
  const std::pair<const char*, int> Texts[] = {
      {"4", 4},   {"1", 1}, {"60", 60}, {" 7 ", 7},           {"0", 4},      {"61", 61}, {"-3", 4},
      {"abc", 4}, {"", 4},  {"2.5", 4}, {"2147483", 2147483}, {"2147484", 4}};
  for (const auto& [Text, Seconds] : Texts)
    EXPECT_EQ(SecondsFromText(Text), Seconds) << Text;
  const int Steps[][3] = {{60, 1, 60}, {1, -1, 1},  {4, 1, 5},   {4, -1, 3},
                          {59, 1, 60}, {90, 1, 90}, {90, -1, 60}};
  for (const auto& S : Steps)
    EXPECT_EQ(StepSeconds(S[0], S[1]), S[2]);
}

struct ShowFixture : ::testing::Test {
  int Items = 3, Selected = 0, FirstSelections = 0, Nexts = 0;
  bool ButtonDown = false, Bookmarks = true;
  QString Seconds = "4";
  QStringList Messages;
  std::unique_ptr<TSlideShow> Show;
  ShowFixture() {
    TSlideShowHost H;
    H.ItemCount = [this] { return Items; };
    H.SelectedCount = [this] { return Selected; };
    H.SelectFirst = [this] {
      ++FirstSelections;
      Selected = 1;
    };
    H.NextImage = [this] { ++Nexts; };
    H.SecondsText = [this] { return Seconds; };
    H.SetButtonDown = [this](bool D) { ButtonDown = D; };
    H.SetBookmarksEnabled = [this](bool E) { Bookmarks = E; };
    H.Message = [this](const QString& T) { Messages << T; };
    Show = std::make_unique<TSlideShow>(H);
  }
  void Click() {
    ButtonDown = !ButtonDown; // the check button toggles itself first
    Show->ButtonClick(ButtonDown);
  }
};

TEST_F(ShowFixture, EmptyListRefusesToStart) {
  Items = 0;
  Click();
  EXPECT_FALSE(ButtonDown);
  EXPECT_FALSE(Show->Running());
  EXPECT_TRUE(Bookmarks);
  EXPECT_EQ(Messages, QStringList{"You must select a directory with files to run a Orbisk"});
}

TEST_F(ShowFixture, StartStopAndInterval) {
  Seconds = "abc"; // a stored value that is not a number runs at 4 seconds
  Click();
  EXPECT_TRUE(Show->Running());
  EXPECT_EQ(Show->IntervalMs(), 4000);
  EXPECT_EQ(FirstSelections, 1); // nothing was selected: the first file at once
  EXPECT_FALSE(Bookmarks);
  Seconds = "9";
  Show->SecondsChanged();
  EXPECT_EQ(Show->IntervalMs(), 9000);
  EXPECT_TRUE(Show->Running());
  Click();
  EXPECT_FALSE(Show->Running());
  EXPECT_TRUE(Bookmarks);
  // Starting with a file selected keeps it: no new selection.
  Click();
  EXPECT_EQ(FirstSelections, 1);
  // Running with nothing selected any more: the click (which releases the button) selects and
  // shows the first file too.
  Selected = 0;
  Click();
  EXPECT_FALSE(Show->Running());
  EXPECT_EQ(FirstSelections, 2);
  // The list emptied while running: releasing the button brings the message, and the timer is
  // left as it was.
  Click();
  ASSERT_TRUE(Show->Running());
  Items = 0;
  Click();
  EXPECT_FALSE(ButtonDown);
  EXPECT_TRUE(Show->Running());
  EXPECT_TRUE(Bookmarks);
  EXPECT_EQ(Messages, QStringList{"You must select a directory with files to run a Orbisk"});
  Click(); // and starting again is refused, with the message again
  EXPECT_EQ(Messages.size(), 2);
  Show->Stop();
  EXPECT_FALSE(Show->Running());
  EXPECT_EQ(Nexts, 0);
}

TEST(SlideShowRun, ShowsFurtherFilesInTurnAndLoops) {
  const QString Dir = MakeFolder("slideshow");
  const QStringList Files = {Dir + "/a.png", Dir + "/b.png", Dir + "/c.png"};
  for (int I = 0; I < 3; ++I)
    WritePicture(Files[I], 10 + I, 10);
  QWidget Area;
  Area.resize(300, 200);
  auto* View = new TPGImage(&Area);
  View->SetAutoSize(true);
  View->SetStretch(sAlwaysKAR);
  View->SetShowHourGlass(false);
  View->hide();
  int Focused = -1;
  QStringList Shown;
  QString Panel3;
  TDisplayHost DH;
  DH.SetPanelText = [&](int P, const QString& T) {
    if (P == 3) Panel3 = T;
  };
  TDisplayController D(&Area, View, DH);
  QObject::connect(&D, &TDisplayController::Displayed, [&](const QString& P, bool Ok) {
    if (Ok) Shown << QFileInfo(P).fileName();
  });
  TSlideShowHost H;
  H.ItemCount = [&] { return int(Files.size()); };
  H.SelectedCount = [&] { return Focused < 0 ? 0 : 1; };
  H.SelectFirst = [&] {
    Focused = 0;
    D.ShowFile(Files[0]);
  };
  H.NextImage = [&] {
    Focused = NextImageIndex(Focused, int(Files.size()));
    D.ShowFile(Files[Focused]);
  };
  H.SecondsText = [] { return QString("1"); };
  TSlideShow Show(H);
  Area.show();
  Show.ButtonClick(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Shown.size() >= 4; }, 12000));
  Show.ButtonClick(false);
  EXPECT_EQ(Shown, (QStringList{"a.png", "b.png", "c.png", "a.png"}));
  EXPECT_EQ(Panel3, " a.png  (10 x 10)");
  // Longer than an interval: stopped, no further file is shown.
  EXPECT_FALSE(QTest::qWaitFor([&] { return Shown.size() > 4; }, 1300));
  EXPECT_EQ(Shown.size(), 4);
}

} // namespace
