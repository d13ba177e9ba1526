// The picture area's other viewers: AVI header parsing and playback (or its failure), the
// animated GIF control, icons through the program's reader; each shown through the controller.
#include "browser/display.h"
#include "tests/browser/browsertest.h"
#include "tests/common/testutil.h"

#include <QElapsedTimer>
#include <QFile>
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
  while (T.elapsed() < 3000 && Changes < 4) {
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

} // namespace
