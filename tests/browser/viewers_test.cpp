// The picture area's other viewers: AVI header parsing and playback (or its failure), the
// animated GIF control, the player of animated WebP and APNG files on a fake clock, icons
// through the program's reader; each shown through the controller.
#include "browser/display.h"
#include "browser/mainwindow.h"
#include "tests/browser/browsertest.h"
#include "view/filelist.h"
#include "tests/common/testutil.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

void Put32(QByteArray& B, uint32_t V) {
  for (int I = 0; I < 4; ++I)
    B.append(char((V >> (8 * I)) & 0xFF));
}
void Put16(QByteArray& B, uint16_t V) {
  B.append(char(V & 0xFF));
  B.append(char(V >> 8));
}
QByteArray Chunk(const char* Id, const QByteArray& Data) {
  QByteArray B(Id, 4);
  Put32(B, uint32_t(Data.size()));
  B += Data;
  if (Data.size() & 1) B.append('\0');
  return B;
}
QByteArray List(const char* Type, const QByteArray& Data) {
  return Chunk("LIST", QByteArray(Type, 4) + Data);
}

// An uncompressed AVI: W x H, 24-bit frames of one colour each, 10 frames per second.
QByteArray MakeAvi(int W, int H, const std::vector<QRgb>& Frames) {
  const int RowBytes = (W * 3 + 3) & ~3, Size = RowBytes * H;
  QByteArray Avih;
  for (uint32_t V : {100000u, uint32_t(Size * 10), 0u, 0x10u, uint32_t(Frames.size()), 0u, 1u,
                     uint32_t(Size), uint32_t(W), uint32_t(H), 0u, 0u, 0u, 0u})
    Put32(Avih, V);
  QByteArray Strh("vidsDIB ", 8);
  for (uint32_t V :
       {0u, 0u, 0u, 1u, 10u, 0u, uint32_t(Frames.size()), uint32_t(Size), 0xFFFFFFFFu, 0u})
    Put32(Strh, V);
  Put16(Strh, 0), Put16(Strh, 0), Put16(Strh, uint16_t(W)), Put16(Strh, uint16_t(H));
  QByteArray Strf;
  Put32(Strf, 40), Put32(Strf, uint32_t(W)), Put32(Strf, uint32_t(H));
  Put16(Strf, 1), Put16(Strf, 24);
  for (uint32_t V : {0u, uint32_t(Size), 0u, 0u, 0u, 0u})
    Put32(Strf, V);
  const QByteArray Hdrl =
      List("hdrl", Chunk("avih", Avih) + List("strl", Chunk("strh", Strh) + Chunk("strf", Strf)));
  QByteArray Movi, Idx;
  uint32_t Offset = 4;
  for (QRgb C : Frames) {
    QByteArray Pixels;
    for (int Y = 0; Y < H; ++Y) {
      for (int X = 0; X < W; ++X) {
        Pixels.append(char(qBlue(C)));
        Pixels.append(char(qGreen(C)));
        Pixels.append(char(qRed(C)));
      }
      Pixels.append(QByteArray(RowBytes - W * 3, '\0'));
    }
    Movi += Chunk("00db", Pixels);
    Idx += QByteArray("00db", 4);
    Put32(Idx, 0x10), Put32(Idx, Offset), Put32(Idx, uint32_t(Size));
    Offset += 8 + Size;
  }
  const QByteArray Body = QByteArray("AVI ", 4) + Hdrl + List("movi", Movi) + Chunk("idx1", Idx);
  return Chunk("RIFF", Body);
}

// A GIF of two 1 x 1 frames (palette white, black), 0.05 s each, looping for ever.
QByteArray MakeTwoFrameGif() {
  QByteArray B("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00", 19);
  B += QByteArray("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  for (const char* Data : {"\x02\x02\x44\x01\x00", "\x02\x02\x4c\x01\x00"}) {
    B += QByteArray("\x21\xf9\x04\x00\x05\x00\x00\x00", 8);
    B += QByteArray("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
    B += QByteArray(Data, 5);
  }
  B += ';';
  return B;
}

void WriteFile(const QString& Path, const QByteArray& Data) {
  QFile F(Path);
  ASSERT_TRUE(F.open(QIODevice::WriteOnly));
  F.write(Data);
}

TEST(AviHeader, FrameSizeFromMainHeader) {
  int W = 0, H = 0;
  const QByteArray Good = MakeAvi(32, 24, {qRgb(255, 0, 0)});
  ASSERT_TRUE(ReadAviFrameSize(Good, W, H));
  EXPECT_EQ(W, 32);
  EXPECT_EQ(H, 24);

  QByteArray BadMagic = Good;
  BadMagic[8] = 'X';
  QByteArray ZeroWidth = Good, Huge = Good, Looping = Good, HugeChunk = Good;
  const int Avih = Good.indexOf("avih");
  ZeroWidth.replace(Avih + 8 + 32, 4, QByteArray(4, '\0'));
  Huge.replace(Avih + 8 + 36, 4, QByteArray("\xff\xff\xff\x7f", 4));
  // A list of length 0 and a chunk claiming 4 GB must neither loop nor read past the data.
  Looping.replace(12, 8, QByteArray("LIST\0\0\0\0", 8));
  HugeChunk.replace(12, 8, QByteArray("JUNK\xff\xff\xff\xff", 8));
  const std::pair<const char*, QByteArray> Bad[] = {
      {"empty", QByteArray()},   {"bad magic", BadMagic}, {"truncated", Good.left(Avih + 20)},
      {"zero width", ZeroWidth}, {"huge height", Huge},   {"empty list", Looping},
      {"huge chunk", HugeChunk},
  };
  for (const auto& [Name, Data] : Bad)
    EXPECT_FALSE(ReadAviFrameSize(Data, W, H)) << Name;
}

struct ViewerFixture : ::testing::Test {
  QWidget Area;
  std::map<int, QString> Panels;
  QStringList Displayed;
  std::unique_ptr<TDisplayController> C;
  QString Dir = MakeFolder("viewers");
  bool EditItems = true;
  ViewerFixture() {
    Area.resize(400, 300);
    TDisplayHost H;
    H.SetPanelText = [this](int P, const QString& T) { Panels[P] = T; };
    H.SetEditItemsEnabled = [this](bool On) { EditItems = On; };
    C = std::make_unique<TDisplayController>(&Area, nullptr, H);
    Area.show();
  }
};

TEST_F(ViewerFixture, GifWithSeveralFramesAnimatesStretched) {
  WriteFile(Dir + "/anim.gif", MakeTwoFrameGif());
  C->ShowFileNow(Dir + "/anim.gif");
  TAnimatedGifViewer* G = C->GifViewer();
  ASSERT_EQ(C->VisibleViewer(), G);
  EXPECT_EQ(G->FrameCount(), 2);
  EXPECT_TRUE(G->Animate());
  EXPECT_EQ(Panels[3], " anim.gif  (1 x 1)");
  EXPECT_EQ(G->geometry(), QRect(4, 4, 1, 1));
  C->ZoomIn();
  EXPECT_EQ(G->size(), QSize(292, 292)); // a = 0.75 < r = 1
  // The frames change, also past the end of the file (the control loops).
  QSet<QRgb> Seen;
  QElapsedTimer T;
  T.start();
  int Changes = 0;
  QRgb Last = 0;
  while (T.elapsed() < 10000 && Changes < 4) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    const QImage Shot = G->grab().toImage();
    const QRgb Px = Shot.pixel(Shot.width() / 2, Shot.height() / 2) & 0xFFFFFF;
    if (!Seen.isEmpty() && Px != Last) ++Changes;
    Seen.insert(Px);
    Last = Px;
  }
  EXPECT_GE(Changes, 4);
  EXPECT_TRUE(Seen.contains(0xFFFFFF));
  EXPECT_TRUE(Seen.contains(0x000000));
  ASSERT_TRUE(C->CopyToClipboard());

  // Not a GIF: nothing shown, the panel says so.
  WriteFile(Dir + "/fake.gif", "GIF89a but not really");
  C->ShowFileNow(Dir + "/fake.gif");
  EXPECT_EQ(C->VisibleViewer(), nullptr);
  EXPECT_EQ(Panels[3], " fake.gif (unreadable)");
  EXPECT_FALSE(C->CopyToClipboard());
}

TEST_F(ViewerFixture, IconThroughOwnReaderWithTransparency) {
  const std::string Corpus = CorpusDir();
  if (Corpus.empty()) GTEST_SKIP() << "corpus folder absent";
  const QString Ico =
      QString::fromStdString(Corpus + "/image-rs/tests/images/ico/images/bmp-24bpp-mask.ico");
  if (!QFile::exists(Ico)) GTEST_SKIP() << "icon not in the corpus";
  C->SetBackgroundColor(QColor(0, 255, 0), false);
  C->ShowFileNow(Ico);
  TStretchedPictureViewer* V = C->PictureViewer();
  ASSERT_EQ(C->VisibleViewer(), V);
  EXPECT_EQ(
      Panels[3],
      QString(" bmp-24bpp-mask.ico  (%1 x %2)").arg(V->PictureWidth()).arg(V->PictureHeight()));
  EXPECT_GT(V->PictureWidth(), 0);
  bool AnyTransparent = false;
  for (int Y = 0; Y < V->Image().height(); ++Y)
    for (int X = 0; X < V->Image().width(); ++X)
      AnyTransparent |= qAlpha(V->Image().pixel(X, Y)) == 0;
  EXPECT_TRUE(AnyTransparent);
  EXPECT_TRUE(C->CopyToClipboard());
}

TEST_F(ViewerFixture, AviPlaysOrFailsWithoutHanging) {
  WriteFile(Dir + "/clip.avi",
            MakeAvi(32, 24, {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 255, 0)}));
  Area.resize(30, 30); // smaller than the frame: longer side 145
  C->ShowFileNow(Dir + "/clip.avi");
  TAviPlayer* P = C->AviPlayer();
  EXPECT_FALSE(EditItems);
  EXPECT_EQ(Panels[3], " clip.avi  (32 x 24)");
  EXPECT_EQ(P->size(), QSize(145, 109));
  QElapsedTimer T;
  T.start();
  while (T.elapsed() < 8000 && P->FramesShown() == 0 && C->VisibleViewer() == P)
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  if (P->FramesShown() > 0) {
    const QImage Frame = P->CurrentFrame();
    const QRgb Px = Frame.pixel(Frame.width() / 2, Frame.height() / 2);
    EXPECT_GT(qRed(Px) + qGreen(Px) + qBlue(Px), 200) << "a coloured frame, not black";
  } else {
    // No backend here: the player is hidden again and the panel says so.
    EXPECT_EQ(C->VisibleViewer(), nullptr);
    EXPECT_EQ(Panels[3], " clip.avi (unreadable)");
  }
  // A damaged AVI never shows the player.
  WriteFile(Dir + "/bad.avi", "RIFF\x10\0\0\0AVI LIST");
  C->ShowFileNow(Dir + "/bad.avi");
  EXPECT_EQ(C->VisibleViewer(), nullptr);
  EXPECT_EQ(Panels[3], " bad.avi (unreadable)");
  EXPECT_FALSE(P->Playing());
  // The next picture turns the edit items back on.
  WritePicture(Dir + "/p.png", 5, 5);
  C->ShowFileNow(Dir + "/p.png");
  EXPECT_TRUE(EditItems);
}

// A clock the test moves: a frame falls due once the time asked for has passed.
struct TFakeTimer : TFrameTimer {
  int Due = -1;           // milliseconds left, -1 when nothing waits
  std::vector<int> Asked; // every wait asked for
  void Start(int Ms) override {
    Due = Ms;
    Asked.push_back(Ms);
  }
  void Stop() override { Due = -1; }
  void Advance(int Ms) {
    while (Due >= 0 && Ms >= Due) {
      Ms -= Due;
      Due = -1;
      OnTimeout();
    }
    if (Due >= 0) Due -= Ms;
  }
};

// The colour in the middle of what the viewer shows.
QRgb Shown(QWidget* W) {
  const QImage I = W->grab().toImage();
  return I.pixel(I.width() / 2, I.height() / 2) & 0xFFFFFF;
}

// Three 16 x 16 frames, red, green and blue, as PNG files f1.png, f2.png, f3.png.
QStringList ThreeFrames(const QString& Dir) {
  QStringList Paths;
  for (QRgb C : {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}) {
    QImage I(16, 16, QImage::Format_RGB32);
    I.fill(C);
    Paths << Dir + QString("/f%1.png").arg(Paths.size() + 1);
    EXPECT_TRUE(I.save(Paths.back(), "PNG"));
  }
  return Paths;
}

std::string Q(const QString& S) {
  return "'" + S.toStdString() + "'";
}

TEST_F(ViewerFixture, AnimatedWebPPlaysItsFrameTimesAndStopsAfterItsLoops) {
  if (!HaveTool("img2webp")) GTEST_SKIP() << "img2webp (package webp) is not installed";
  const QStringList F = ThreeFrames(Dir);
  const QString Path = Dir + "/a.webp";
  ASSERT_TRUE(RunTool("img2webp -loop 2 -lossless -d 100 " + Q(F[0]) + " -d 250 " + Q(F[1]) +
                      " -d 50 " + Q(F[2]) + " -o " + Q(Path)));
  EXPECT_EQ(ViewerForFile(Path), TViewerKind::Animation);
  C->ShowFileNow(Path);
  TAnimationViewer* V = C->AnimationViewer();
  ASSERT_EQ(C->VisibleViewer(), V);
  EXPECT_EQ(Panels[3], " a.webp  (16 x 16)");
  EXPECT_EQ(V->geometry(), QRect(4, 4, 16, 16));
  EXPECT_EQ(V->FrameCount(), 3);
  EXPECT_TRUE(V->Animate());
  auto* Clock = new TFakeTimer;
  V->SetFrameTimer(std::unique_ptr<TFrameTimer>(Clock));
  C->ZoomIn(); // fitted like the GIF control: a = 0.75 < r = 1
  EXPECT_EQ(V->size(), QSize(292, 292));

  const QRgb Colours[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  for (int Play = 0; Play < 2; ++Play) {
    for (int I = 0; I < 3; ++I) {
      EXPECT_EQ(V->CurrentFrameNumber(), I) << Play;
      EXPECT_EQ(Shown(V), Colours[I]) << Play << " " << I;
      const int Ms = V->CurrentFrameTime();
      Clock->Advance(Ms - 1);
      EXPECT_EQ(V->CurrentFrameNumber(), I) << "a frame stays its whole time";
      Clock->Advance(1);
    }
  }
  // Two plays, then the last frame stays.
  EXPECT_TRUE(V->Finished());
  EXPECT_EQ(V->CurrentFrameNumber(), 2);
  EXPECT_EQ(Clock->Due, -1);
  EXPECT_EQ(Clock->Asked, (std::vector<int>{100, 250, 50, 100, 250, 50}));
  ASSERT_TRUE(C->CopyToClipboard());
  EXPECT_EQ(QGuiApplication::clipboard()->image().pixel(8, 8) & 0xFFFFFF, 0x0000FFu);

  // Switched on again after its plays: from the first frame.
  V->SetAnimate(false);
  V->SetAnimate(true);
  EXPECT_EQ(V->CurrentFrameNumber(), 0);
  EXPECT_EQ(Clock->Due, 100);

  // The area resized: the shown animation is fitted again.
  Area.resize(200, 400);
  C->ZoomIn();
  EXPECT_EQ(V->size(), QSize(192, 192));

  // Showing another file pauses and hides it.
  WriteFile(Dir + "/fake.gif", "GIF89a but not really");
  C->ShowFileNow(Dir + "/fake.gif");
  EXPECT_TRUE(V->isHidden());
  EXPECT_FALSE(V->Animate());
  EXPECT_EQ(Clock->Due, -1);
}

TEST_F(ViewerFixture, StillPicturesStayWithThePictureView) {
  WritePicture(Dir + "/still.png", 5, 5);
  EXPECT_EQ(ViewerForFile(Dir + "/still.png"), TViewerKind::Image);
  WriteFile(Dir + "/anim.gif", MakeTwoFrameGif());
  EXPECT_EQ(ViewerForFile(Dir + "/anim.gif"), TViewerKind::Gif);
  // Says it is an animation, holds no frames.
  WriteFile(Dir + "/broken.webp",
            QByteArray("RIFF\x16\0\0\0WEBPVP8X\x0a\0\0\0\x02\0\0\0\x0f\0\0\x0f\0\0", 30));
  EXPECT_EQ(ViewerForFile(Dir + "/broken.webp"), TViewerKind::Image);
  if (HaveTool("img2webp")) {
    const QStringList F = ThreeFrames(Dir);
    ASSERT_TRUE(RunTool("img2webp -lossless " + Q(F[0]) + " -o " + Q(Dir + "/one.webp")));
    EXPECT_EQ(ViewerForFile(Dir + "/one.webp"), TViewerKind::Image);
  }
  if (HaveTool("cjxl")) {
    ASSERT_TRUE(RunTool("cjxl -d 0 " + Q(Dir + "/still.png") + " " + Q(Dir + "/still.jxl")));
    EXPECT_EQ(ViewerForFile(Dir + "/still.jxl"), TViewerKind::Image);
  }
}

TEST_F(ViewerFixture, APNGHonoursItsLoopCountAndReportsADamagedFrame) {
  if (!HaveTool("apngasm")) GTEST_SKIP() << "apngasm (package apngasm) is not installed";
  ThreeFrames(Dir);
  const QString Path = Dir + "/a.png";
  ASSERT_TRUE(RunTool("apngasm " + Q(Path) + " " + Q(Dir + "/f1.png") + " 1 8 -l3"));
  TAnimationViewer V;
  V.resize(16, 16);
  auto* Clock = new TFakeTimer;
  V.SetFrameTimer(std::unique_ptr<TFrameTimer>(Clock));
  V.LoadFromFile(Path);
  EXPECT_EQ(V.PictureSize(), QSize(16, 16));
  EXPECT_EQ(V.LoopCount(), 3);
  EXPECT_EQ(V.CurrentFrameNumber(), 0);
  EXPECT_EQ(Clock->Due, -1) << "not animating until switched on";
  V.SetAnimate(true);
  std::vector<int> Frames;
  for (int I = 0; I < 20 && !V.Finished(); ++I) {
    Clock->Advance(125);
    Frames.push_back(V.CurrentFrameNumber());
  }
  EXPECT_EQ(Frames, (std::vector<int>{1, 2, 0, 1, 2, 0, 1, 2, 2}));
  // Paused halfway, a frame stays however long the clock runs.
  V.SetAnimate(false);
  V.SetAnimate(true);
  Clock->Advance(125);
  V.SetAnimate(false);
  Clock->Advance(1000);
  EXPECT_EQ(V.CurrentFrameNumber(), 1);

  // The second frame's data damaged: the first frame stays and the viewer says why.
  QFile In(Path);
  ASSERT_TRUE(In.open(QIODevice::ReadOnly));
  QByteArray Data = In.readAll();
  const int Fd = Data.indexOf("fdAT");
  ASSERT_GT(Fd, 0);
  for (int I = Fd + 8; I < Fd + 20 && I < Data.size(); ++I)
    Data[I] = char(~Data[I]);
  WriteFile(Dir + "/bad.png", Data);
  V.LoadFromFile(Dir + "/bad.png");
  QSignalSpy Failed(&V, &TAnimationViewer::Error);
  V.SetAnimate(true);
  Clock->Advance(125);
  EXPECT_EQ(Failed.count(), 1);
  EXPECT_EQ(V.CurrentFrameNumber(), 0);
  EXPECT_EQ(Shown(&V), 0xFF0000u);
  EXPECT_EQ(Clock->Due, -1);
  // A file the viewer cannot read raises, and leaves it empty.
  EXPECT_THROW(V.LoadFromFile(Dir + "/f9.png"), std::runtime_error);
  EXPECT_EQ(V.CurrentFrameNumber(), -1);
  EXPECT_EQ(V.FrameCount(), 0);
}

TEST(AnimationWindow, SelectingAnAnimationPlaysItAndAStillReplacesIt) {
  if (!HaveTool("img2webp")) GTEST_SKIP() << "img2webp (package webp) is not installed";
  ResetUserFiles();
  const QString Dir = MakeFolder("moving");
  const QStringList F = ThreeFrames(Dir);
  ASSERT_TRUE(RunTool("img2webp -lossless -d 60 " + Q(F[0]) + " " + Q(F[1]) + " " + Q(F[2]) +
                      " -o " + Q(Dir + "/a.webp")));
  TForm1 W;
  W.show();
  QApplication::processEvents();
  auto& Tree = Child<TFolderTree>(W, "ShellTreeView1");
  Tree.setCurrentIndex(Tree.Model()->index(Dir));
  auto& List = Child<QTreeView>(W, "ListView1");
  auto& Files = Child<TFileListModel>(W, "FileList");
  ASSERT_TRUE(WaitFor([&] { return Files.Count() == 4; }));
  auto ClickName = [&](const QString& Name) {
    for (int Row = 0; Row < Files.Count(); ++Row)
      if (Files.index(Row, 0).data().toString() == Name) {
        List.scrollTo(Files.index(Row, 0));
        Click(List.viewport(), List.visualRect(Files.index(Row, 0)).center());
      }
    WaitFor([&] { return W.PictureDisplay().PendingCount() == 0; });
  };
  ClickName("a.webp");
  auto& V = Child<TAnimationViewer>(W, "Animation1");
  ASSERT_TRUE(WaitFor([&] { return V.isVisible(); }));
  EXPECT_EQ(W.PanelText(3), " a.webp  (16 x 16)");
  // It plays: every frame comes round, and the first again.
  QSet<int> Seen;
  EXPECT_TRUE(WaitFor([&] {
    Seen.insert(V.CurrentFrameNumber());
    return Seen.size() == 3 && V.CurrentFrameNumber() == 0;
  }));
  ClickName("f2.png");
  EXPECT_TRUE(V.isHidden());
  EXPECT_FALSE(V.Animate());
  EXPECT_TRUE(Child<QWidget>(W, "PGImage1").isVisible());
  EXPECT_EQ(W.PanelText(3), " f2.png  (16 x 16)");
}

} // namespace
