// Showing files in the picture area: fit arithmetic, status texts, previous/next, external
// editor, decode-ahead, and the controller with a real picture view, offscreen.
#include "browser/display.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QThread>
#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <map>
#include <thread>

using namespace orbisk;
using namespace orbisk::test;

namespace {

struct FitCase {
  int PicW, PicH, AreaW, AreaH;
  std::optional<QSize> Expected;
};

TEST(DisplayRules, FitViewerSize) {
  const FitCase Cases[] = {
      {100, 50, 400, 300, QSize(392, 196)},    // a = 0.75 >= r = 0.5: full width
      {1000, 2000, 400, 300, QSize(146, 292)}, // taller than the area: full height
      {400, 300, 408, 308, QSize(400, 300)},   // same aspect: exact
      {3, 1, 13, 100, QSize(5, 2)},            // 1.666.. rounds to 2
      {5, 2, 13, 100, QSize(5, 2)},            // r * 5 = 2 exactly
      {0, 50, 400, 300, std::nullopt},         // nothing shown: no division by zero
      {100, 0, 400, 300, std::nullopt},
      {100, 50, 0, 0, std::nullopt}, // an empty area
      {100, 50, 8, 300, std::nullopt},
      {100000, 1, 400, 300, QSize(392, 1)}, // thin picture keeps a pixel
  };
  for (const FitCase& C : Cases)
    EXPECT_EQ(FitViewerSize(C.PicW, C.PicH, C.AreaW, C.AreaH), C.Expected)
        << C.PicW << "x" << C.PicH << " in " << C.AreaW << "x" << C.AreaH;
}

TEST(DisplayRules, AviPlayerSizeAndOverflow) {
  EXPECT_EQ(AviPlayerSize(320, 240, 200, 200), QSize(145, 109)); // 108.75 rounds up
  EXPECT_EQ(AviPlayerSize(240, 320, 200, 200), QSize(109, 145));
  EXPECT_EQ(AviPlayerSize(320, 240, 400, 300), QSize(320, 240));
  EXPECT_EQ(AviPlayerSize(320, 240, 328, 248), QSize(320, 240)); // exactly fits
  EXPECT_EQ(AviPlayerSize(320, 240, 327, 248), QSize(145, 109));
  EXPECT_TRUE(ExceedsArea(393, 10, 400, 300));
  EXPECT_FALSE(ExceedsArea(392, 292, 400, 300));
  EXPECT_TRUE(ExceedsArea(2147483647, 1, 400, 300)); // no overflow in width + 8
}

TEST(DisplayRules, ViewerChoiceAndPanelTexts) {
  const std::pair<const char*, TViewerKind> Cases[] = {
      {"/a/clip.avi", TViewerKind::Avi},     {"/a/anim.GIF", TViewerKind::Gif},
      {"/a/x.wmf", TViewerKind::Picture},    {"/a/x.ico", TViewerKind::Picture},
      {"/a/photo.jpeg", TViewerKind::Image}, {"/a/noext", TViewerKind::Image},
      {"/a/b.gif.png", TViewerKind::Image},
  };
  for (const auto& [Path, Kind] : Cases)
    EXPECT_EQ(ViewerForType(FileTypeOfPath(Path)), Kind) << Path;
  EXPECT_EQ(FileTypeOfPath("/x/a.jpeg"), "JPE");
  EXPECT_EQ(PicturePanelText("a.jpg", 640, 480), " a.jpg  (640 x 480)");
  EXPECT_EQ(UnreadablePanelText("a.jpg"), " a.jpg (unreadable)");
  EXPECT_EQ(SizePanelText(0), "1K");
  EXPECT_EQ(SizePanelText(1024), "2K");
}

TEST(DisplayRules, NextAndPreviousWrapAround) {
  // Focused, count, next, previous
  const int Cases[][4] = {{-1, 3, 0, 2}, {0, 3, 1, 2},    {2, 3, 0, 1},
                          {0, 1, 0, 0},  {-1, 0, -1, -1}, {5, 3, 0, 2}};
  for (const auto& C : Cases) {
    EXPECT_EQ(NextImageIndex(C[0], C[1]), C[2]) << C[0] << "/" << C[1];
    EXPECT_EQ(PreviousImageIndex(C[0], C[1]), C[3]) << C[0] << "/" << C[1];
  }
}

TEST(DisplayRules, PrintRectangles) {
  const QRect Page(36, 36, 523, 770);
  EXPECT_EQ(PrintImageRect(200, 100, Page), QRect(36, 290, 523, 261));
  EXPECT_EQ(PrintImageRect(100, 300, Page), QRect(169, 36, 256, 770));
  EXPECT_EQ(PrintImageRect(0, 300, Page), QRect());
  EXPECT_TRUE(IsPrintableFile("/x/a.jpg"));
  EXPECT_TRUE(IsPrintableFile("/x/a.Wmf"));
  EXPECT_FALSE(IsPrintableFile("/x/a.avi"));
  EXPECT_FALSE(IsPrintableFile("/x/a.jpeg")); // ".JPEG" is not in the list
  EXPECT_FALSE(IsPrintableFile("/x/noext"));
}

TEST(DisplayRules, ExternalEditorChoice) {
  const QString Conf = MakeFolder("editor") + "/settings.conf";
  TSettingsStore S(Conf);
  const QString Dir = MakeFolder("my pictures");
  // A program whose path holds a space, to show that it is never split.
  const QString Prog = Dir + "/my editor";
  WriteBytes(Prog, 10);
  S.WriteString("JPG Editor", Prog);
  S.WriteString("GIF Editor", "/usr/bin/gimp --new-instance");
  S.WriteString("BMP Editor", " ");

  TExternalEditor E = ChooseExternalEditor(Dir + "/a b.jpg", S);
  EXPECT_EQ(E.Kind, TExternalEditor::Launch);
  EXPECT_EQ(E.Program, Prog);
  EXPECT_EQ(E.Args, QStringList{Dir + "/a b.jpg"});

  E = ChooseExternalEditor(Dir + "/x.GIF", S);
  EXPECT_EQ(E.Program, "/usr/bin/gimp");
  EXPECT_EQ(E.Args, (QStringList{"--new-instance", Dir + "/x.GIF"}));

  const std::pair<const char*, const char*> Messages[] = {
      {"/p/a.bmp", "You need to select a BMP editor under File/Set Preferences..."},
      {"/p/a.ico", "You need to select a ICO editor under File/Set Preferences..."},
      {"/p/a.jpeg", "File type of .JPE not supported"},
      {"/p/a.png", "File type of .PNG not supported"},
  };
  for (const auto& [Path, Text] : Messages)
    EXPECT_EQ(ChooseExternalEditor(Path, S).Message, Text);
}

// ---- the controller on a real picture view

void WriteImage(const QString& Path, int W, int H, QColor C = QColor(200, 30, 30),
                const char* Format = nullptr) {
  QImage I(W, H, QImage::Format_RGB32);
  I.fill(C);
  ASSERT_TRUE(I.save(Path, Format));
}

struct Fixture : ::testing::Test {
  QWidget Area;
  TPGImage* View;
  std::map<int, QString> Panels;
  bool AutoZoom = false, LampOn = false, EditItems = true;
  int LampSwitches = 0;
  QStringList Selected, Neighbours, Displayed;
  std::unique_ptr<TDisplayController> C;
  QString Dir;

  Fixture() {
    Area.resize(400, 300);
    View = new TPGImage(&Area);
    View->setFrameShape(QFrame::NoFrame);
    View->SetAutoSize(true);
    View->SetStretch(sAlwaysKAR);
    View->SetUseThread(false);
    View->SetShowHourGlass(false);
    View->SetReadWarningAction(pgwaIgnore);
    View->hide();
    TDisplayHost H;
    H.SetLamp = [this](bool On) {
      LampOn = On;
      ++LampSwitches;
    };
    H.SetPanelText = [this](int P, const QString& T) { Panels[P] = T; };
    H.SetEditItemsEnabled = [this](bool On) { EditItems = On; };
    H.AutoZoom = [this] { return AutoZoom; };
    H.SelectedFiles = [this] { return Selected; };
    H.Neighbours = [this] { return Neighbours; };
    C = std::make_unique<TDisplayController>(&Area, View, H);
    QObject::connect(C.get(), &TDisplayController::Displayed,
                     [this](const QString& P, bool) { Displayed << QFileInfo(P).fileName(); });
    Area.show();
    Dir = MakeFolder("display");
  }
  QString File(const QString& Name) { return Dir + "/" + Name; }
};

TEST_F(Fixture, ShowsPictureAtNaturalSizeOrFitted) {
  WriteImage(File("small.png"), 100, 50);
  WriteImage(File("tall.png"), 1000, 2000);
  C->ShowFileNow(File("small.png"));
  ASSERT_EQ(C->VisibleViewer(), View);
  EXPECT_EQ(View->geometry(), QRect(4, 4, 100, 50));
  EXPECT_EQ(Panels[3], " small.png  (100 x 50)");
  EXPECT_EQ(Panels[2], SizePanelText(QFileInfo(File("small.png")).size()));
  EXPECT_FALSE(LampOn);
  EXPECT_EQ(LampSwitches, 2);

  C->ZoomIn();
  EXPECT_EQ(View->size(), QSize(392, 196));

  C->ShowFileNow(File("tall.png")); // larger than the area: fitted at once
  EXPECT_EQ(View->geometry(), QRect(4, 4, 146, 292));

  AutoZoom = true;
  C->ShowFileNow(File("small.png"));
  EXPECT_EQ(View->size(), QSize(392, 196));

  // Zoom Out shows the selected file again; with Auto Zoom up it is natural size.
  AutoZoom = false;
  Selected = {File("small.png")};
  C->AutoZoomClick(false);
  EXPECT_TRUE(QTest::qWaitFor([&] { return View->size() == QSize(100, 50); }));

  // Resizing the area refits while exactly one file is selected.
  Area.resize(200, 300);
  EXPECT_EQ(View->size(), QSize(192, 96));
}

TEST_F(Fixture, UnreadableFileLeavesAreaEmptyAndSaysSo) {
  WriteImage(File("good.png"), 60, 40);
  QFile F(File("bad.jpg"));
  ASSERT_TRUE(F.open(QIODevice::WriteOnly));
  F.write("\xFF\xD8\xFF\xE0 this is not a JPEG at all");
  F.close();
  C->ShowFileNow(File("good.png"));
  ASSERT_NE(C->VisibleViewer(), nullptr);
  C->ShowFileNow(File("bad.jpg"));
  EXPECT_EQ(C->VisibleViewer(), nullptr);
  EXPECT_EQ(Panels[3], " bad.jpg (unreadable)");
  EXPECT_EQ(Panels[2], SizePanelText(QFileInfo(File("bad.jpg")).size()));
  EXPECT_FALSE(LampOn);
  // A file that vanished: no stale size either.
  C->ShowFileNow(File("missing.png"));
  EXPECT_EQ(Panels[2], "");
  EXPECT_EQ(Panels[3], " missing.png (unreadable)");
  // Fit with nothing shown and in an empty area does nothing.
  C->ZoomIn();
  Area.resize(0, 0);
  C->ShowFileNow(File("good.png"));
  C->ZoomIn();
  EXPECT_EQ(View->size(), QSize(60, 40));
}

TEST_F(Fixture, RequestsAreServedInOrder) {
  for (const char* N : {"1.png", "2.png", "3.png"})
    WriteImage(File(N), 20, 20);
  C->ShowFile(File("1.png"));
  C->ShowFile(File("2.png"));
  C->ShowFile(File("3.png"));
  EXPECT_EQ(C->ShownFile(), File("3.png")); // remembered at once
  EXPECT_TRUE(Displayed.isEmpty());         // served from the event loop
  EXPECT_TRUE(QTest::qWaitFor([&] { return Displayed.size() == 3; }));
  EXPECT_EQ(Displayed, (QStringList{"1.png", "2.png", "3.png"}));
  EXPECT_EQ(C->PendingCount(), 0);
}

TEST_F(Fixture, DecodeAheadNeverServesAStaleFile) {
  WriteImage(File("a.png"), 30, 20);
  WriteImage(File("b.png"), 40, 20, Qt::blue);
  WriteImage(File("c.gif.bmp"), 10, 10, Qt::green, "BMP");
  Neighbours = {File("b.png"), File("c.gif.bmp")};
  C->ShowFileNow(File("a.png"));
  C->DecodeAhead().WaitIdle();
  EXPECT_EQ(C->DecodeAhead().Entries(), 2u);
  C->ShowFileNow(File("b.png"));
  EXPECT_EQ(C->DecodeAhead().Hits(), 1);
  EXPECT_EQ(View->ImageWidth(), 40);
  EXPECT_EQ(View->PixelGraphicNoWait()->GetPixelColor(0, 0), RGBOf(0, 0, 255));

  // b.png is cached again as a neighbour of a.png, then changes on disk.
  Neighbours = {File("b.png")};
  C->ShowFileNow(File("a.png"));
  C->DecodeAhead().WaitIdle();
  ASSERT_EQ(C->DecodeAhead().Entries(), 1u);
  QThread::msleep(20); // a later modification time even on coarse clocks
  WriteImage(File("b.png"), 50, 25, Qt::yellow);
  C->ShowFileNow(File("b.png"));
  EXPECT_EQ(View->ImageWidth(), 50);
  EXPECT_EQ(Panels[3], " b.png  (50 x 25)");
  EXPECT_EQ(C->DecodeAhead().Hits(), 1);
}

TEST_F(Fixture, IconErrorsAndBackgroundColour) {
  TPromptScope P;
  QFile F(File("broken.ico"));
  ASSERT_TRUE(F.open(QIODevice::WriteOnly));
  F.write(QByteArray("\0\0\1\0\1\0", 6));
  F.close();
  C->ShowFileNow(File("broken.ico"));
  EXPECT_EQ(P->Messages, QStringList{"Error reading image file"});
  EXPECT_EQ(C->VisibleViewer(), nullptr);
  EXPECT_FALSE(LampOn);

  C->ColorChooser = [](const QColor&) { return QColor(10, 20, 30); };
  C->ChooseBackgroundColor();
  EXPECT_EQ(C->BackgroundColor(), QColor(10, 20, 30));
  EXPECT_TRUE(C->BackgroundColorChanged());
  const QString Conf = Dir + "/colour.conf";
  {
    TSettingsStore S(Conf);
    C->SaveBackgroundColor(S);
    EXPECT_EQ(S.ReadInteger("BG Color", -1), 10 | 20 << 8 | 30 << 16);
  }
  // A later run applies the stored colour without marking it changed.
  QWidget Area2;
  TDisplayController C2(&Area2, nullptr, {});
  TSettingsStore S(Conf);
  C2.LoadBackgroundColor(S);
  EXPECT_EQ(C2.BackgroundColor(), QColor(10, 20, 30));
  EXPECT_FALSE(C2.BackgroundColorChanged());
}

TEST_F(Fixture, ExternalEditorGetsTheFullPathAsOneArgument) {
  TPromptScope P;
  const QString Conf = SettingsFile();
  {
    TSettingsStore S;
    S.WriteString("JPG Editor", "/usr/bin/true");
    S.Remove("BMP Editor");
  }
  QString Program, Folder;
  QStringList Args;
  C->Launcher = [&](const QString& Pr, const QStringList& A, const QString& D) {
    Program = Pr;
    Args = A;
    Folder = D;
    return true;
  };
  bool PrefsOpened = false;
  TDisplayHost H;
  Selected = {File("two words.jpg")};
  C->EditWithExternalEditor();
  EXPECT_EQ(Program, "/usr/bin/true");
  EXPECT_EQ(Args, QStringList{File("two words.jpg")});
  EXPECT_EQ(Folder, Dir);
  EXPECT_TRUE(P->Messages.isEmpty());

  // No editor chosen: the message, then the preferences.
  QWidget Area2;
  H.SelectedFiles = [&] { return QStringList{File("a.bmp")}; };
  H.OpenPreferences = [&] { PrefsOpened = true; };
  TDisplayController C2(&Area2, nullptr, H);
  C2.EditWithExternalEditor();
  EXPECT_EQ(P->Messages,
            QStringList{"You need to select a BMP editor under File/Set Preferences..."});
  EXPECT_TRUE(PrefsOpened);

  // A program that cannot start is reported, not taken for success.
  C->Launcher = [](const QString&, const QStringList&, const QString&) { return false; };
  C->EditWithExternalEditor();
  EXPECT_EQ(P->Messages.last(), "Can not start /usr/bin/true");
  QFile::remove(Conf);
}

// The bounding box of the non-white pixels of a page.
QRect InkBox(const QImage& Page) {
  int L = Page.width(), T = Page.height(), R = -1, B = -1;
  for (int Y = 0; Y < Page.height(); ++Y)
    for (int X = 0; X < Page.width(); ++X)
      if (qGray(Page.pixel(X, Y)) < 200) {
        L = std::min(L, X);
        R = std::max(R, X);
        T = std::min(T, Y);
        B = std::max(B, Y);
      }
  return R < 0 ? QRect() : QRect(QPoint(L, T), QPoint(R, B));
}

TEST_F(Fixture, PrintsOnePagePerPictureCentred) {
  if (QProcess::execute("pdftoppm", {"-v"}) < 0) GTEST_SKIP() << "pdftoppm not installed";
  TPromptScope P;
  WriteImage(File("wide.png"), 200, 100, Qt::black);
  WriteImage(File("high.bmp"), 100, 300, Qt::black, "BMP");
  WriteBytes(File("clip.avi"), 100); // not a picture: skipped without a page
  WriteBytes(File("bad.png"), 100);  // unreadable: reported, no blank page
  QPrinter Printer;
  Printer.setOutputFormat(QPrinter::PdfFormat);
  Printer.setOutputFileName(File("out.pdf"));
  Printer.setResolution(72);
  Printer.setPageSize(QPageSize(QPageSize::A4));
  Printer.setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
  std::vector<std::pair<bool, int>> Gauge;
  TDisplayHost H;
  H.SetGauge = [&](bool V, int Pc) { Gauge.emplace_back(V, Pc); };
  QWidget Area2;
  TDisplayController C2(&Area2, nullptr, H);
  EXPECT_EQ(C2.PrintImages(Printer,
                           {File("wide.png"), File("clip.avi"), File("bad.png"), File("high.bmp")}),
            2);
  EXPECT_EQ(P->Messages, QStringList{"Can not print " + File("bad.png")});
  EXPECT_EQ(Gauge,
            (std::vector<std::pair<bool, int>>{{true, 0}, {true, 25}, {true, 50}, {false, 0}}));
  ASSERT_EQ(QProcess::execute("pdftoppm", {"-r", "72", "-png", File("out.pdf"), File("page")}), 0);
  const QImage P1(File("page-1.png")), P2(File("page-2.png"));
  EXPECT_FALSE(QFileInfo::exists(File("page-3.png")));
  ASSERT_FALSE(P1.isNull());
  ASSERT_FALSE(P2.isNull());
  auto Near = [](const QRect& A, const QRect& B) {
    return std::abs(A.left() - B.left()) <= 1 && std::abs(A.top() - B.top()) <= 1 &&
           std::abs(A.right() - B.right()) <= 1 && std::abs(A.bottom() - B.bottom()) <= 1;
  };
  EXPECT_PRED2(Near, InkBox(P1), QRect(36, 290, 523, 261));
  EXPECT_PRED2(Near, InkBox(P2), QRect(169, 36, 256, 770));
}

} // namespace
