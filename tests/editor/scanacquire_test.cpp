// The editor's "Select..." and "Acquire..." driven as a user drives them, against SANE's test
// backend: the source list, the options window, the progress window's Cancel, and error reports.
#include "browser/mainwindow.h"
#include "platform/scanner.h"
#include "platform/scanwindow.h"
#include "processing/editor/acquire.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "tests/common/sanetest.h"
#include "view/pgimage.h"
#include "tests/common/widgetfind.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <deque>

using namespace orbisk;
using orbisk::test::Child;

namespace {

class EditorScan : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    test::TSaneTestConfig::Get().Write();
    // The temporary BMP goes to a folder of the test's own, so that leftovers show.
    qputenv("TMPDIR", Temp.path().toLocal8Bit());
    Scanner().ResetAvailability();
    Scanner().SetSelectedDevice(QByteArray());
    Scanner().ReportError = ShowScanError;
    W = std::make_unique<TfrmAcquire>();
    W->SetScannerAvailable(true);
    // The picture being edited before the scan: 5 × 4 true colour.
    auto G = std::make_unique<TPixelGraphic>();
    G->SetSize(5, 4, 3);
    W->TakeAcquiredPicture(std::move(G));
    W->Model().SetModified(false); // as if it had been saved: a scan asks nothing
  }
  void TearDown() override {
    ScanWindows().Exec = [](QDialog& D) { return D.exec(); };
    W.reset();
    qunsetenv("TMPDIR");
  }
  // Answers the options window: shows it, lets Fill set it, clicks Scan (or Cancel).
  void AnswerOptions(std::function<void(TfrmScanOptions&)> Fill, bool Scan = true) {
    ScanWindows().Exec = [Fill, Scan, this](QDialog& D) {
      auto* O = qobject_cast<TfrmScanOptions*>(&D);
      if (!O) return int(QDialog::Rejected);
      ++OptionWindows;
      D.show();
      if (Fill) Fill(*O);
      QTest::mouseClick(Scan ? &Child<QPushButton>(*O, "ScanButton")
                             : &Child<QPushButton>(*O, "CancelButton"),
                        Qt::LeftButton);
      return D.result();
    };
  }
  QStringList Leftovers() const { return QDir(Temp.path()).entryList(QDir::Files); }
  TPixelGraphic* Shown() const { return test::Child<TPGImage>(*W, "PGImage1").PixelGraphic(); }

  QTemporaryDir Temp;
  std::unique_ptr<TfrmAcquire> W;
  int OptionWindows = 0;
};

// Picks Text in a combo box with the keyboard, as a user does.
void Choose(QComboBox* C, const QString& Text) {
  C->setFocus();
  const int Want = C->findText(Text);
  ASSERT_GE(Want, 0) << Text.toStdString();
  while (C->currentIndex() < Want)
    QTest::keyClick(C, Qt::Key_Down);
  while (C->currentIndex() > Want)
    QTest::keyClick(C, Qt::Key_Up);
}

} // namespace

TEST_F(EditorScan, AcquireScansWithTheChosenOptionsAndRemovesTheTemporaryFile) {
  test::TPromptScope Prompt;
  AnswerOptions([](TfrmScanOptions& O) {
    EXPECT_TRUE(Child<QComboBox>(O, "ModeCombo").isVisible());
    EXPECT_EQ(Child<QComboBox>(O, "ModeCombo").currentText(), "Color");
    Choose(&Child<QComboBox>(O, "ModeCombo"), "Gray");
    // The area: 20 mm wide instead of 40, typed in.
    Child<QDoubleSpinBox>(O, "RightSpin").setFocus();
    Child<QDoubleSpinBox>(O, "RightSpin").selectAll();
    QTest::keyClicks(&Child<QDoubleSpinBox>(O, "RightSpin"), "20");
    QTest::keyClick(&Child<QDoubleSpinBox>(O, "RightSpin"), Qt::Key_Tab);
  });
  test::Action(*W, "Acquire1").trigger();
  EXPECT_EQ(OptionWindows, 1);
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
  ASSERT_TRUE(Shown());
  EXPECT_EQ(Shown()->Width(), 19);
  EXPECT_EQ(Shown()->Height(), 29);
  EXPECT_EQ(Shown()->BitCount(), 8);
  test::TRefPicture Ref;
  if (test::ScanImageReference({"--mode", "Gray", "--test-picture", "Color pattern", "-x", "20"},
                               Ref)) {
    ASSERT_EQ(Ref.Width, 19);
    for (int Y = 0; Y < Ref.Height; ++Y)
      for (int X = 0; X < Ref.Width; ++X)
        ASSERT_EQ(Shown()->GetPixelColor(X, Y) & 0xFF, Ref.At(X, Y) & 0xFF) << X << "," << Y;
  }
  EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(" ").toStdString();
  EXPECT_TRUE(W->SaveFileName().isEmpty()); // not the temporary file's name
  EXPECT_EQ(Scanner().State(), tsNoManager);
}

TEST_F(EditorScan, CancelInTheOptionsWindowChangesNothing) {
  test::TPromptScope Prompt;
  AnswerOptions(nullptr, false);
  test::Action(*W, "Acquire1").trigger();
  EXPECT_EQ(OptionWindows, 1);
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  EXPECT_EQ(Shown()->Width(), 5);
  EXPECT_EQ(Scanner().State(), tsNoManager);
}

// Records warnings with their titles; the rest as the recording prompt does.
class TWarningPrompt : public test::TRecordingPrompt {
public:
  QStringList Titles;
  std::deque<TAnswer> Answers3;
  QStringList Questions;
  void Warning(QWidget*, const QString& Title, const QString& Text) override {
    Titles << Title;
    Messages << Text;
  }
  TAnswer YesNoCancel(QWidget*, const QString& Text) override {
    Questions << Text;
    if (Answers3.empty()) return paCancel;
    const TAnswer A = Answers3.front();
    Answers3.pop_front();
    return A;
  }
};

TEST_F(EditorScan, AnErrorMidScanIsReportedAndThePictureStays) {
  test::TSaneTestConfig::Get().Write({{"read-status-code", "\"SANE_STATUS_JAMMED\""}});
  auto Own = std::make_unique<TWarningPrompt>();
  TWarningPrompt* Prompt = Own.get();
  SetPrompt(std::move(Own));
  AnswerOptions(nullptr);
  test::Action(*W, "Acquire1").trigger();
  auto Done = SetPrompt(nullptr); // keeps the prompt alive for the checks
  ASSERT_EQ(Prompt->Messages.size(), 1);
  // A warning box of the scanner's own title.
  EXPECT_EQ(Prompt->Titles, QStringList({"Scanner Error"}));
  EXPECT_EQ(Prompt->Messages[0], "Failed to transfer the image.\nDataSource operation failed\n"
                                 "RC:   SANE_STATUS_JAMMED\nCC:   Document feeder jammed");
  EXPECT_EQ(Shown()->Width(), 5);
  EXPECT_TRUE(Leftovers().isEmpty());
  EXPECT_EQ(Scanner().State(), tsNoManager);
}

TEST_F(EditorScan, AnEditedPictureIsOfferedForSavingBeforeTheScan) {
  auto Own = std::make_unique<TWarningPrompt>();
  TWarningPrompt* Prompt = Own.get();
  SetPrompt(std::move(Own));
  AnswerOptions(nullptr);
  test::Action(*W, "Emboss1").trigger();
  // Cancel: no scan at all.
  Prompt->Answers3 = {TPrompt::paCancel};
  test::Action(*W, "Acquire1").trigger();
  EXPECT_EQ(Prompt->Questions, QStringList({"Save changes to Untitled?"}));
  EXPECT_EQ(OptionWindows, 0);
  EXPECT_EQ(Shown()->Width(), 5);
  // No: the scan replaces it, and Undo gives it back.
  Prompt->Answers3 = {TPrompt::paNo};
  test::Action(*W, "Acquire1").trigger();
  auto Done = SetPrompt(nullptr); // keeps the prompt alive for the checks
  EXPECT_EQ(OptionWindows, 1);
  ASSERT_TRUE(Shown());
  EXPECT_NE(Shown()->Width(), 5);
  EXPECT_TRUE(W->Modified()); // a scan is in no file yet
  EXPECT_EQ(test::Action(*W, "Undo1").text(), "Undo Acquire");
  test::Action(*W, "Undo1").trigger();
  EXPECT_EQ(Shown()->Width(), 5);
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
}

TEST_F(EditorScan, CancelWhileLinesArriveEndsTheScanCleanly) {
  // A slow scanner: a pause of 0.2 s after each of the 8 blocks of a 500 KB picture.
  test::TSaneTestConfig::Get().Write(
      {{"resolution", "300.0"}, {"read-delay", "true"}, {"read-delay-duration", "200000"}});
  // With the Cancel button, and with Esc.
  for (const bool WithEsc : {false, true}) {
    SCOPED_TRACE(WithEsc ? "Esc" : "Cancel button");
    test::TPromptScope Prompt;
    AnswerOptions(nullptr);
    bool SawProgress = false;
    QTimer Watch;
    QObject::connect(&Watch, &QTimer::timeout, [&] {
      for (QWidget* T : QApplication::topLevelWidgets()) {
        auto* P = qobject_cast<QProgressDialog*>(T);
        if (!P || P->objectName() != "ScanProgress" || !P->isVisible()) continue;
        if (P->value() > 0 && !SawProgress) {
          SawProgress = true;
          QPushButton* Cancel = P->findChild<QPushButton*>();
          ASSERT_TRUE(Cancel);
          if (WithEsc)
            QTest::keyClick(P, Qt::Key_Escape);
          else
            QTest::mouseClick(Cancel, Qt::LeftButton);
        }
      }
    });
    Watch.start(20);
    test::Action(*W, "Acquire1").trigger();
    Watch.stop();
    EXPECT_TRUE(SawProgress);
    EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
    EXPECT_EQ(Shown()->Width(), 5);
    EXPECT_TRUE(Leftovers().isEmpty());
    EXPECT_EQ(Scanner().State(), tsNoManager);
  }
}

TEST_F(EditorScan, SelectListsTheDevicesAndRemembersTheChoice) {
  QStringList Rows;
  bool Cancel = false;
  ScanWindows().Exec = [&](QDialog& D) {
    auto* S = qobject_cast<TfrmSelectSource*>(&D);
    if (!S) return int(QDialog::Rejected);
    D.show();
    Rows.clear();
    for (int I = 0; I < Child<QTreeWidget>(*S, "DeviceList").topLevelItemCount(); ++I) {
      QTreeWidgetItem* It = Child<QTreeWidget>(*S, "DeviceList").topLevelItem(I);
      Rows << It->text(0) + "|" + It->text(1) + "|" + It->text(2);
    }
    Child<QTreeWidget>(*S, "DeviceList").setFocus();
    QTest::keyClick(&Child<QTreeWidget>(*S, "DeviceList"), Qt::Key_Down);
    QTest::mouseClick(Cancel ? &Child<QPushButton>(*S, "CancelButton")
                             : &Child<QPushButton>(*S, "SelectButton"),
                      Qt::LeftButton);
    return D.result();
  };
  test::Action(*W, "Select1").trigger();
  EXPECT_EQ(Rows, QStringList({"Noname|frontend-tester|test:0", "Noname|frontend-tester|test:1"}));
  EXPECT_EQ(Scanner().SelectedDevice(), "test:1");
  Cancel = true;
  test::Action(*W, "Select1").trigger();
  EXPECT_EQ(Scanner().SelectedDevice(), "test:1");
  EXPECT_EQ(Scanner().State(), tsNoManager);
}

TEST_F(EditorScan, TheMainWindowEnablesTheEntriesWhenAScannerIsThere) {
  auto F = std::make_unique<TForm1>();
  TfrmAcquire* E = F->EditorWindow();
  EXPECT_FALSE(test::Action(*E, "Acquire1").isEnabled());
  F->show();
  EXPECT_TRUE(QTest::qWaitFor([E] { return test::Action(*E, "Acquire1").isEnabled(); }, 20000));
  EXPECT_TRUE(test::Action(*E, "Select1").isEnabled());
  EXPECT_EQ(Scanner().Identity().Manufacturer, "Orbisk by Brenmoor Software");
  EXPECT_EQ(Scanner().Identity().ProductName, "Orbisk");
  EXPECT_EQ(Scanner().Identity().MajorNum, 1);
  EXPECT_EQ(Scanner().Identity().Language, 2);
}

TEST_F(EditorScan, WithoutADeviceTheEntriesStayDisabled) {
  test::TSaneTestConfig::Get().Write({}, false);
  Scanner().ResetAvailability();
  auto F = std::make_unique<TForm1>();
  TfrmAcquire* E = F->EditorWindow();
  F->show();
  EXPECT_FALSE(Scanner().IsAvailable()); // waits for the main window's check to end
  QTest::qWait(50);
  QApplication::processEvents();
  EXPECT_FALSE(test::Action(*E, "Acquire1").isEnabled());
  EXPECT_FALSE(test::Action(*E, "Select1").isEnabled());
}

TEST_F(EditorScan, ThePreviewShowsTheWholeAreaAndADragOnItChoosesTheArea) {
  test::TPromptScope Prompt;
  double Left = 0, Right = 0;
  AnswerOptions([&](TfrmScanOptions& O) {
    ASSERT_TRUE(Child<QPushButton>(O, "PreviewButton").isVisible());
    QTest::mouseClick(&Child<QPushButton>(O, "PreviewButton"), Qt::LeftButton);
    // The whole 200 × 200 mm at about 30 dpi; the area chosen before stays.
    ASSERT_FALSE(Child<TScanPreview>(O, "PreviewImage").Marked().isValid());
    EXPECT_DOUBLE_EQ(Child<QDoubleSpinBox>(O, "RightSpin").value(), 40.0);
    EXPECT_EQ(Child<QDoubleSpinBox>(O, "ResolutionSpin").value(), 25.0);
    const QRect R = Child<TScanPreview>(O, "PreviewImage").rect();
    const int Side = std::min(R.width(), R.height());
    const QPoint C = R.center();
    const QPoint From = C - QPoint(Side / 4, Side / 4), To = C + QPoint(Side / 4, Side / 4);
    QTest::mousePress(&Child<TScanPreview>(O, "PreviewImage"), Qt::LeftButton, {}, From);
    QTest::mouseMove(&Child<TScanPreview>(O, "PreviewImage"), To);
    QTest::mouseRelease(&Child<TScanPreview>(O, "PreviewImage"), Qt::LeftButton, {}, To);
    Left = Child<QDoubleSpinBox>(O, "LeftSpin").value();
    Right = Child<QDoubleSpinBox>(O, "RightSpin").value();
  });
  test::Action(*W, "Acquire1").trigger();
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
  EXPECT_NEAR(Left, 50, 4);
  EXPECT_NEAR(Right, 150, 4);
  // About 100 mm at 25 dpi.
  EXPECT_NEAR(Shown()->Width(), 98, 8);
  EXPECT_NEAR(Shown()->Height(), 98, 8);
  EXPECT_EQ(Scanner().State(), tsNoManager);
}
