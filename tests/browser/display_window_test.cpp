// The main window showing files as a user sees them: selecting and stepping through the list,
// the slide show, "Auto Zoom", unreadable files, animated GIFs, videos and the commands on the
// shown picture (printing, external editor, background colour).
#include "browser/display.h"
#include "view/filelist.h"
#include "browser/mainwindow.h"
#include "browser/slideshow.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "view/pgimage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTreeView>
#include <gtest/gtest.h>

#include <memory>

using namespace orbisk;

namespace {

const QColor Blue(20, 40, 220), Green(30, 200, 60), Red(210, 20, 20);

void WriteColoured(const QString& Path, int W, int H, const QColor& C) {
  QImage I(W, H, QImage::Format_RGB32);
  I.fill(C);
  ASSERT_TRUE(I.save(Path, "PNG")) << Path.toStdString();
}

class DisplayWindow : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    // These cases look at pictures placed at the area's top-left corner.
    TSettingsStore().WriteString("CentrePictures", "0");
    Dir = test::MakeFolder("shown");
    WriteColoured(Dir + "/a.png", 40, 30, Blue);
    WriteColoured(Dir + "/b.png", 20, 10, Green);
    WriteColoured(Dir + "/c.png", 60, 20, Red);
  }

  std::unique_ptr<TForm1> Open(const QString& Folder) {
    auto F = std::make_unique<TForm1>();
    F->show();
    QApplication::processEvents();
    const QModelIndex I = test::Child<TFolderTree>(*F, "ShellTreeView1").Model()->index(Folder);
    EXPECT_TRUE(I.isValid()) << Folder.toStdString();
    test::Child<TFolderTree>(*F, "ShellTreeView1").setCurrentIndex(I);
    QApplication::processEvents();
    return F;
  }

  static void ClickRow(TForm1& F, int Row, Qt::KeyboardModifiers M = Qt::NoModifier) {
    test::Child<QTreeView>(F, "ListView1")
        .scrollTo(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    const QRect R = test::Child<QTreeView>(F, "ListView1")
                        .visualRect(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    ASSERT_TRUE(R.isValid());
    test::Click(test::Child<QTreeView>(F, "ListView1").viewport(), R.center(), M);
    Settle(F);
  }

  // Waits until every requested display has been served.
  static void Settle(TForm1& F) {
    test::WaitFor([&] { return F.PictureDisplay().PendingCount() == 0; });
    QApplication::processEvents();
  }

  static QColor AreaPixel(TForm1& F, int X, int Y) {
    return test::Child<QWidget>(F, "ImagePanel").grab().toImage().pixelColor(X, Y);
  }

  static QSize Fitted(TForm1& F, int W, int H) {
    return FitViewerSize(W, H, test::Child<QWidget>(F, "ImagePanel").width(),
                         test::Child<QWidget>(F, "ImagePanel").height())
        .value_or(QSize());
  }

  QString Dir;
};

TEST_F(DisplayWindow, SelectionShowsThePictureAndNextWraps) {
  auto F = Open(Dir);
  ASSERT_EQ(test::Child<TFileListModel>(*F, "FileList").Count(), 3);
  ClickRow(*F, 2); // c.png
  EXPECT_EQ(F->ShownFile(), Dir + "/c.png");
  EXPECT_EQ(F->PanelText(3), " c.png  (60 x 20)");
  EXPECT_EQ(F->PanelText(2), "1K");
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").geometry(), QRect(4, 4, 60, 20));
  EXPECT_EQ(AreaPixel(*F, 10, 10), Red);
  EXPECT_TRUE(test::Child<QLabel>(*F, "BusyLamp")
                  .styleSheet()
                  .contains("#800000")); // the lamp is off again

  // Past the last item: the first, shown in place of the last one.
  test::Action(*F, "NextImageButton").trigger();
  Settle(*F);
  EXPECT_EQ(F->SelectedRows(), QList<int>({0}));
  EXPECT_EQ(F->ShownFile(), Dir + "/a.png");
  EXPECT_EQ(F->PanelText(3), " a.png  (40 x 30)");
  EXPECT_EQ(AreaPixel(*F, 10, 10), Blue);
  EXPECT_EQ(AreaPixel(*F, 70, 10), F->PictureAreaColor()); // c.png's width is gone

  test::Action(*F, "PreviousImageButton").trigger();
  Settle(*F);
  EXPECT_EQ(F->PanelText(3), " c.png  (60 x 20)");
  EXPECT_EQ(AreaPixel(*F, 10, 10), Red);
}

TEST_F(DisplayWindow, SlideShowStepsThroughTheListAndStops) {
  auto F = Open(Dir);
  test::Child<QSpinBox>(*F, "SecondsEdit").stepBy(-3); // the arrows, down to 1
  ASSERT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").text(), "1");
  QStringList Shown;
  QObject::connect(&F->PictureDisplay(), &TDisplayController::Displayed,
                   [&](const QString& Path, bool Ok) {
                     Shown << QFileInfo(Path).fileName() + (Ok ? "" : " failed");
                   });

  test::Action(*F, "RunButton").trigger(); // nothing selected: the first file at once
  EXPECT_TRUE(test::Action(*F, "RunButton").isChecked());
  EXPECT_TRUE(F->SlideShowTimer().Running());
  EXPECT_EQ(F->SlideShowTimer().IntervalMs(), 1000);
  EXPECT_FALSE(test::Child<QMenu>(*F, "BookmarksMenu").isEnabled());
  // The first file at once, the next ones each after the interval.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown.size() >= 1; }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown.size() >= 3; }, 10000))
      << Shown.join(",").toStdString();
  EXPECT_EQ(Shown.mid(0, 3), QStringList({"a.png", "b.png", "c.png"}));

  test::Action(*F, "RunButton").trigger(); // released: stops, the shown file stays
  EXPECT_FALSE(F->SlideShowTimer().Running());
  EXPECT_TRUE(test::Child<QMenu>(*F, "BookmarksMenu").isEnabled());
  const QString Last = F->ShownFile();
  // Longer than an interval: no further file is shown.
  EXPECT_FALSE(QTest::qWaitFor([&] { return F->ShownFile() != Last; }, 1300));
  EXPECT_EQ(F->ShownFile(), Last);
  EXPECT_TRUE(test::Child<TPGImage>(*F, "PGImage1").isVisible());

  // Closing the window stops a running show.
  test::Action(*F, "RunButton").trigger();
  ASSERT_TRUE(F->SlideShowTimer().Running());
  F->close();
  EXPECT_FALSE(F->SlideShowTimer().Running());
  EXPECT_EQ(TSettingsStore().ReadString("Seconds", ""), "1");
}

TEST_F(DisplayWindow, SlideShowNeedsFiles) {
  auto F = Open(test::MakeFolder("empty"));
  test::TPromptScope Prompt;
  test::Action(*F, "RunButton").trigger();
  EXPECT_EQ(Prompt->Messages,
            QStringList({"You must select a directory with files to run a Orbisk"}));
  EXPECT_FALSE(test::Action(*F, "RunButton").isChecked());
  EXPECT_FALSE(F->SlideShowTimer().Running());
  EXPECT_TRUE(test::Child<QMenu>(*F, "BookmarksMenu").isEnabled());
}

TEST_F(DisplayWindow, AutoZoomFitsEveryShownPicture) {
  auto F = Open(Dir);
  ClickRow(*F, 0);
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), QSize(40, 30));
  test::Action(*F, "AutoZoomButton").trigger(); // down: fits the shown picture
  ASSERT_TRUE(test::Action(*F, "AutoZoomButton").isChecked());
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), Fitted(*F, 40, 30));
  test::Action(*F, "NextImageButton").trigger(); // the next picture comes fitted
  Settle(*F);
  EXPECT_EQ(F->PanelText(3), " b.png  (20 x 10)");
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), Fitted(*F, 20, 10));
  EXPECT_EQ(AreaPixel(*F, test::Child<TPGImage>(*F, "PGImage1").width() - 2,
                      test::Child<TPGImage>(*F, "PGImage1").height() / 2),
            Green);

  // A resized area refits.
  F->resize(F->width() + 200, F->height() + 100);
  QApplication::processEvents();
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), Fitted(*F, 20, 10));

  test::Action(*F, "AutoZoomButton").trigger(); // up: the selected file again, at its natural size
  Settle(*F);
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").size(), QSize(20, 10));
}

TEST_F(DisplayWindow, CorruptJpegLeavesTheAreaEmpty) {
  const QString Bad = test::MakeFolder("corrupt");
  WriteColoured(Bad + "/a.png", 40, 30, Blue);
  test::WriteData(Bad + "/b.jpg", QByteArray("\xFF\xD8\xFF\xE0 this is no JPEG at all", 28));
  auto F = Open(Bad);
  test::TPromptScope Prompt;
  ClickRow(*F, 0);
  ASSERT_TRUE(test::Child<TPGImage>(*F, "PGImage1").isVisible());
  ClickRow(*F, 1);
  EXPECT_EQ(F->ShownFile(), Bad + "/b.jpg");
  EXPECT_EQ(F->PictureDisplay().VisibleViewer(), nullptr);
  EXPECT_EQ(F->PanelText(3), " b.jpg (unreadable)");
  EXPECT_EQ(F->PanelText(2), "1K");
  EXPECT_EQ(AreaPixel(*F, 10, 10), F->PictureAreaColor());
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  // Copying shows nothing stale from the previous picture.
  EXPECT_FALSE(F->PictureDisplay().CopyToClipboard());
}

TEST_F(DisplayWindow, MultiFrameGifAnimates) {
  const QString Anim = test::MakeFolder("anim");
  test::WriteData(Anim + "/anim.gif", test::TwoFrameGif());
  auto F = Open(Anim);
  ClickRow(*F, 0);
  TAnimatedGifViewer* G = F->PictureDisplay().GifViewer();
  ASSERT_EQ(F->PictureDisplay().VisibleViewer(), G);
  EXPECT_FALSE(test::Child<TPGImage>(*F, "PGImage1").isVisible());
  EXPECT_EQ(F->PanelText(3), " anim.gif  (1 x 1)");
  EXPECT_TRUE(G->Animate());
  test::Action(*F, "ZoomIn1").trigger();
  ASSERT_EQ(G->size(), Fitted(*F, 1, 1));
  // The picture area shows white and black in turn.
  QSet<QRgb> Seen;
  const QPoint Centre = G->geometry().center();
  test::WaitFor(
      [&] {
        Seen.insert(AreaPixel(*F, Centre.x(), Centre.y()).rgb() & 0xFFFFFF);
        return Seen.contains(0xFFFFFF) && Seen.contains(0x000000);
      },
      3000);
  EXPECT_TRUE(Seen.contains(0xFFFFFF));
  EXPECT_TRUE(Seen.contains(0x000000));
}

TEST_F(DisplayWindow, VideoDisablesTheEditItems) {
  test::WriteData(Dir + "/d.avi", "RIFF\x10\0\0\0AVI LIST");
  auto F = Open(Dir);
  struct Case {
    int Row;
    bool Enabled;
  } Cases[] = {{0, true}, {3, false}, {1, true}};
  for (const Case& C : Cases) {
    ClickRow(*F, C.Row);
    emit test::Child<QMenu>(*F, "PopupMenu1").aboutToShow();
    EXPECT_EQ(test::Action(*F, "EditWithOrbisk1").isEnabled(), C.Enabled) << C.Row;
    EXPECT_EQ(test::Action(*F, "ConvertWithTransmo1").isEnabled(), C.Enabled) << C.Row;
  }
  EXPECT_TRUE(
      test::Action(*F, "Transmo1").isEnabled()); // the converter has joined; a picture is shown
}

TEST_F(DisplayWindow, PrintImageOnePagePerSelectedPicture) {
  auto F = Open(Dir);
  const QString Pdf = test::TestHome() + "/printed.pdf";
  QFile::remove(Pdf);
  int Setups = 0;
  F->PrintSetup = [&](QPrinter& P) {
    ++Setups;
    P.setOutputFormat(QPrinter::PdfFormat);
    P.setOutputFileName(Pdf);
    return true;
  };
  test::Action(*F, "PrintImage1").trigger(); // nothing selected: nothing to print
  EXPECT_EQ(Setups, 0);
  ASSERT_TRUE(test::Action(*F, "PrintImage1").isEnabled());

  ClickRow(*F, 0);
  ClickRow(*F, 2, Qt::ControlModifier);
  ASSERT_EQ(F->SelectedCount(), 2);
  // The pop-up's entry is the File menu's command.
  QAction& Print = test::Action(*F, "PrintImage1");
  EXPECT_TRUE(test::Child<QMenu>(*F, "PopupMenu1").actions().contains(&Print));
  Print.trigger();
  EXPECT_EQ(Setups, 1);
  QFile File(Pdf);
  ASSERT_TRUE(File.open(QIODevice::ReadOnly));
  const QString Text = QString::fromLatin1(File.readAll());
  EXPECT_EQ(Text.count(QRegularExpression("/Type\\s*/Page[^s]")), 2);
  EXPECT_FALSE(test::Child<QProgressBar>(*F, "PrintGauge").isVisible());

  // A cancelled dialog prints nothing.
  QFile::remove(Pdf);
  F->PrintSetup = [](QPrinter&) { return false; };
  test::Action(*F, "PrintImage1").trigger();
  EXPECT_FALSE(QFile::exists(Pdf));
}

TEST_F(DisplayWindow, ExternalEditorCommandsAndBackgroundColour) {
  auto F = Open(Dir);
  test::TPromptScope Prompt;
  ClickRow(*F, 0);
  for (QAction* A : {&test::Action(*F, "EditWithExternal1"), &test::Action(*F, "EditInExternal1"),
                     &test::Action(*F, "OpenExternalEditor1")}) {
    Prompt->Messages.clear();
    ASSERT_TRUE(A->isEnabled());
    A->trigger();
    EXPECT_EQ(Prompt->Messages, QStringList({"File type of .PNG not supported"}))
        << A->text().toStdString();
  }

  F->PictureDisplay().ColorChooser = [](const QColor&) { return QColor(0, 128, 0); };
  test::Action(*F, "BGColorButton").trigger();
  EXPECT_EQ(AreaPixel(*F, test::Child<QWidget>(*F, "ImagePanel").width() - 5,
                      test::Child<QWidget>(*F, "ImagePanel").height() - 5),
            QColor(0, 128, 0));
  EXPECT_TRUE(F->BGColorChanged());
  F->close();
  EXPECT_EQ(TSettingsStore().ReadInteger("BG Color", -1), 0x008000);
}

} // namespace
