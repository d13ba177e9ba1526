// The picture view driven as a user would: pictures loaded and shown, dragging to pan, drawing,
// moving and resizing the selection, the threaded display copy.
#include "view/pgimage.h"

#include "platform/pgqt.h"
#include "tests/common/testutil.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

constexpr TRGB kRed = RGBOf(255, 0, 0), kBlue = RGBOf(0, 0, 255), kGreen = RGBOf(0, 255, 0),
               kWhite = RGBOf(255, 255, 255);

// Quadrants: red top-left, blue top-right, green bottom-left, white bottom-right.
std::unique_ptr<TPixelGraphic> Quadrants(int W, int H) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y,
                       Y < H / 2 ? (X < W / 2 ? kRed : kBlue) : (X < W / 2 ? kGreen : kWhite));
  return G;
}

std::unique_ptr<TPixelGraphic> Uniform(int W, int H, TRGB C) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y, C);
  return G;
}

TRGB At(const QImage& I, int X, int Y) {
  QRgb C = I.pixel(X, Y);
  return RGBOf(qRed(C), qGreen(C), qBlue(C));
}

bool Near(TRGB A, TRGB B) {
  return std::abs(int(RedOf(A)) - int(RedOf(B))) <= 8 &&
         std::abs(int(GreenOf(A)) - int(GreenOf(B))) <= 8 &&
         std::abs(int(BlueOf(A)) - int(BlueOf(B))) <= 8;
}

// A view without a frame, so the area is exactly its size.
std::unique_ptr<TPGImage> MakeView(int W, int H) {
  auto V = std::make_unique<TPGImage>();
  V->setFrameShape(QFrame::NoFrame);
  V->resize(W, H);
  V->show();
  QApplication::processEvents();
  return V;
}

int BarExtent(const TPGImage& V) {
  return V.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, V.verticalScrollBar());
}

// Sends mouse input the way the window system does: presses go to the widget under the point,
// which keeps the mouse until the button is released.
class TUser {
public:
  explicit TUser(QWidget* Root) : FRoot(Root) {}
  void Press(QPoint P, Qt::MouseButton B = Qt::LeftButton) {
    FGrab = Target(P);
    Send(QEvent::MouseButtonPress, P, B, B);
  }
  void Move(QPoint P) {
    Send(QEvent::MouseMove, P, Qt::NoButton, FGrab ? Qt::LeftButton : Qt::NoButton);
  }
  void Release(QPoint P, Qt::MouseButton B = Qt::LeftButton) {
    Send(QEvent::MouseButtonRelease, P, B, Qt::NoButton);
    FGrab = nullptr;
  }
  void Drag(QPoint From, QPoint To) {
    Press(From);
    Move((From + To) / 2);
    Move(To);
    Release(To);
  }

private:
  QWidget* Target(QPoint P) {
    QWidget* W = FRoot->childAt(P);
    return W ? W : FRoot;
  }
  void Send(QEvent::Type T, QPoint P, Qt::MouseButton B, Qt::MouseButtons Bs) {
    QWidget* W = FGrab ? FGrab.data() : Target(P);
    const QPointF Local = W->mapFrom(FRoot, P);
    QMouseEvent E(T, Local, FRoot->mapToGlobal(QPointF(P)), B, Bs, Qt::NoModifier);
    QApplication::sendEvent(W, &E);
  }
  QWidget* FRoot;
  QPointer<QWidget> FGrab;
};

} // namespace

TEST(PGImageView, FitsAndShowsThePicture) {
  auto V = MakeView(200, 200);
  V->SetColor(QColor(10, 20, 30));
  V->SetStretch(sAlwaysKAR);
  auto G = Quadrants(400, 300);
  V->AssignPixelGraphic(G.get());
  EXPECT_EQ(V->ImageWidth(), 400);
  EXPECT_EQ(V->PicBox()->geometry(), QRect(0, 0, 200, 150));
  EXPECT_DOUBLE_EQ(double(V->EffectiveZoom()), 0.5);
  EXPECT_EQ(V->horizontalScrollBar()->maximum(), 0);
  const QImage Shot = V->grab().toImage();
  EXPECT_EQ(At(Shot, 50, 37), kRed);
  EXPECT_EQ(At(Shot, 150, 37), kBlue);
  EXPECT_EQ(At(Shot, 50, 112), kGreen);
  EXPECT_EQ(At(Shot, 199, 149), kWhite);
  EXPECT_EQ(At(Shot, 100, 180), RGBOf(10, 20, 30)); // the margin below
  // A copy of the picture was stored; the caller's picture is untouched and separate.
  EXPECT_NE(V->PixelGraphic(), G.get());
  // Picture-box and picture coordinates.
  EXPECT_EQ(V->PicBoxToPictureX(100), 200);
  EXPECT_EQ(V->PictureToPicBoxY(300), 150);
}

TEST(PGImageView, LoadsFilesAndCleansUpAfterFailures) {
  const std::string Path = test::TempPath("view-load.bmp");
  Quadrants(120, 80)->SaveToFile(Path);
  auto V = MakeView(300, 300);
  V->SetAutoSize(true);
  int NewW = -1, NewH = -1, Changes = 0;
  V->OnNewAutoSize = [&](QWidget*, int W, int H) {
    NewW = W;
    NewH = H;
  };
  V->OnPixelGraphicChange = [&](QWidget*) { ++Changes; };
  V->SetFileName(QString::fromStdString(Path));
  EXPECT_EQ(V->FileName(), QString::fromStdString(Path));
  EXPECT_EQ(V->ImageWidth(), 120);
  EXPECT_EQ(NewW, 120);
  EXPECT_EQ(NewH, 80);
  EXPECT_EQ(V->size(), QSize(120, 80)); // AutoSize took the picture's size
  EXPECT_EQ(Changes, 1);

  const QString Missing = QString::fromStdString(test::TempPath("no-such-picture.bmp"));
  EXPECT_THROW(V->LoadFromFile(Missing, 0), EPixelGraphic);
  EXPECT_EQ(V->PixelGraphic(), nullptr);
  EXPECT_EQ(V->ImageWidth(), 0);
  EXPECT_EQ(V->FileName(), Missing);

  // Saving without a picture.
  try {
    V->SaveToFile(QString::fromStdString(test::TempPath("out.bmp")));
    FAIL() << "no error";
  } catch (const EPGEmpty& E) {
    EXPECT_STREQ(E.what(), "PixelGraphic is empty");
  }

  // Saving a picture renames the view's file.
  V->TakePixelGraphic(Quadrants(10, 10));
  const QString Out = QString::fromStdString(test::TempPath("saved.bmp"));
  V->SaveToFile(Out);
  EXPECT_EQ(V->FileName(), Out);
  TPixelGraphic Back;
  Back.LoadFromFile(Out.toStdString());
  EXPECT_EQ(Back.Width(), 10);
}

TEST(PGImageView, ZoomEventsAndRules) {
  auto V = MakeView(200, 200);
  V->AssignPixelGraphic(Quadrants(400, 300).get());
  std::vector<double> Zooms;
  V->OnZoomFactorChange = [&](QWidget*) { Zooms.push_back(double(V->EffectiveZoom())); };
  V->SetStretch(sAlways);
  V->Layout(false);
  V->Layout(true);
  EXPECT_EQ(Zooms, (std::vector<double>{-1.0}));
  EXPECT_EQ(V->PicBox()->size(), QSize(200, 200));

  V->SetStretch(sZoomKAR);
  V->SetZoomFactor(0.25L);
  EXPECT_EQ(V->PicBox()->size(), QSize(100, 75));
  EXPECT_DOUBLE_EQ(Zooms.back(), 0.25);
  // A box that rounds to nothing is still one pixel.
  V->TakePixelGraphic(Uniform(3, 1, kRed));
  V->SetZoomFactor(0.1L);
  EXPECT_EQ(V->PicBox()->size(), QSize(1, 1));
  V->grab(); // paints without dividing by zero
}

TEST(PGImageView, LargeZoomDrawsTheVisiblePart) {
  auto V = MakeView(300, 300);
  V->SetStretch(sZoomKAR);
  V->SetZoomFactor(40); // a 4000 x 4000 box: drawn straight from the picture, not cached
  V->TakePixelGraphic(Quadrants(100, 100));
  V->horizontalScrollBar()->setValue(1990);
  const QImage Shot = V->grab().toImage();
  EXPECT_EQ(At(Shot, 5, 5), kRed);   // picture column 49
  EXPECT_EQ(At(Shot, 15, 5), kBlue); // picture column 50
}

TEST(PGImageView, CentredTallPictureOpensAtItsMiddle) {
  auto V = MakeView(200, 200);
  V->SetCenter(true);
  V->AssignPixelGraphic(Quadrants(150, 400).get());
  const int Bar = BarExtent(*V);
  EXPECT_EQ(V->BoxRect().Left, (200 - Bar - 150) / 2);
  EXPECT_EQ(V->verticalScrollBar()->value(), (400 - 200) / 2);
  EXPECT_EQ(V->verticalScrollBar()->maximum(), 200);
  EXPECT_EQ(V->horizontalScrollBar()->maximum(), 0);
}

TEST(PGImageView, DragPansThePicture) {
  auto V = MakeView(200, 200);
  V->AssignPixelGraphic(Quadrants(400, 300).get());
  const int Bar = BarExtent(*V);
  ASSERT_EQ(V->horizontalScrollBar()->maximum(), 400 - (200 - Bar));
  ASSERT_EQ(V->verticalScrollBar()->maximum(), 300 - (200 - Bar));
  EXPECT_EQ(V->CursorAt(10, 10).shape(), Qt::BitmapCursor); // the pan-ready hand
  TUser U(V.get());
  U.Drag({150, 150}, {100, 120});
  EXPECT_EQ(V->horizontalScrollBar()->value(), 50);
  EXPECT_EQ(V->verticalScrollBar()->value(), 30);
  EXPECT_EQ(V->PicBox()->pos(), QPoint(-50, -30));
  // Past the end the picture stops, and the grabbed point stays under the cursor.
  U.Press({100, 100});
  U.Move({-400, 100});
  EXPECT_EQ(V->horizontalScrollBar()->value(), V->horizontalScrollBar()->maximum());
  U.Move({-300, 100});
  EXPECT_EQ(V->horizontalScrollBar()->value(), V->horizontalScrollBar()->maximum());
  U.Release({-300, 100});
  EXPECT_EQ(V->MouseState(), msIdle);
  // The picture under the viewport moved with it.
  const QImage Shot = V->grab().toImage();
  EXPECT_EQ(At(Shot, 10, 10), kBlue);
}

TEST(PGImageView, SelectionCreateMoveResize) {
  auto V = MakeView(500, 400);
  V->SetActionMode(amMoveResizeCreateSelection);
  V->AssignPixelGraphic(Quadrants(400, 300).get());
  int Made = 0, Changes = 0;
  V->OnSelectionMade = [&](QWidget*) { ++Made; };
  V->OnSelectionChange = [&](QWidget*) { ++Changes; };
  TUser U(V.get());
  U.Press({50, 60});
  EXPECT_TRUE(V->Selection());
  EXPECT_EQ(V->MouseState(), msCreateSelection);
  U.Move({20, 30});
  U.Release({20, 30});
  EXPECT_EQ(V->SelectionLeft(), 20);
  EXPECT_EQ(V->SelectionTop(), 30);
  EXPECT_EQ(V->SelectionWidth(), 31);
  EXPECT_EQ(V->SelectionHeight(), 31);
  EXPECT_EQ(Made, 1);
  EXPECT_GT(Changes, 0);

  // Move it from inside.
  EXPECT_EQ(V->CursorAt(30, 40).shape(), Qt::BitmapCursor);
  U.Drag({30, 40}, {130, 140});
  EXPECT_EQ(V->SelectionLeft(), 120);
  EXPECT_EQ(V->SelectionTop(), 130);
  EXPECT_EQ(V->SelectionWidth(), 31);
  EXPECT_EQ(Made, 2);

  // Resize by the bottom-right handle (outside the selection: right + 3 .. right + 8).
  const QPoint Handle(120 + 31 + 5, 130 + 31 + 5);
  EXPECT_EQ(V->CursorAt(Handle.x(), Handle.y()).shape(), Qt::SizeFDiagCursor);
  U.Drag(Handle, Handle + QPoint(10, 20));
  EXPECT_EQ(V->SelectionLeft(), 120);
  EXPECT_EQ(V->SelectionWidth(), 41);
  EXPECT_EQ(V->SelectionHeight(), 51);

  // Dragged far left, one column stays over the picture.
  U.Drag({130, 140}, {-300, 140});
  EXPECT_EQ(V->SelectionLeft(), 1 - 41);

  // The frame crawls with the two colours just outside the selection.
  V->SetSelectionBounds(100, 100, 50, 50);
  V->SetSelectionColor1(QColor(255, 255, 0));
  V->SetSelectionColor2(QColor(255, 0, 255));
  const QImage Shot = V->grab().toImage();
  int Yellow = 0, Magenta = 0;
  for (int X = 99; X <= 150; ++X) {
    TRGB C = At(Shot, X, 99);
    Yellow += C == RGBOf(255, 255, 0);
    Magenta += C == RGBOf(255, 0, 255);
  }
  EXPECT_GT(Yellow, 10);
  EXPECT_GT(Magenta, 10);
  EXPECT_EQ(At(Shot, 101, 101), kRed); // the picture inside is untouched
}

TEST(PGImageView, SelectionOnAZoomedPicture) {
  auto V = MakeView(200, 200);
  V->SetStretch(sAlwaysKAR);
  V->SetActionMode(amCreateSelection);
  V->AssignPixelGraphic(Quadrants(400, 300).get());
  TUser U(V.get());
  U.Drag({10, 10}, {20, 30});
  EXPECT_EQ(V->SelectionLeft(), 20);
  EXPECT_EQ(V->SelectionTop(), 20);
  EXPECT_EQ(V->SelectionWidth(), 21);
  EXPECT_EQ(V->SelectionHeight(), 41);
  EXPECT_EQ(V->SelectionRect(), (TIntRect{10, 10, 20, 30}));
}

TEST(PGImageView, TilesFlipsAndMirrors) {
  auto V = MakeView(100, 100);
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(10, 10, 3);
  for (int Y = 0; Y < 10; ++Y)
    for (int X = 0; X < 10; ++X)
      G->SetPixelColor(X, Y, RGBOf(X * 20, Y * 20, 7));
  V->TakePixelGraphic(std::move(G));
  V->SetFlipHorizontal(true);
  QImage Shot = V->grab().toImage();
  EXPECT_EQ(At(Shot, 0, 3), RGBOf(180, 60, 7));
  V->SetFlipHorizontal(false);
  V->SetTiling(tRepeat);
  Shot = V->grab().toImage();
  EXPECT_EQ(At(Shot, 15, 5), At(Shot, 5, 5));
  EXPECT_EQ(At(Shot, 95, 95), RGBOf(100, 100, 7));
  V->SetTiling(tMirror);
  Shot = V->grab().toImage();
  EXPECT_EQ(At(Shot, 12, 3), RGBOf(7 * 20, 60, 7)); // odd column mirrored
  EXPECT_EQ(At(Shot, 2, 13), RGBOf(40, 6 * 20, 7)); // odd row mirrored
  EXPECT_EQ(At(Shot, 22, 23), RGBOf(40, 60, 7));
}

TEST(PGImageView, ThreadedPreciseCopyAndLoadsInBetween) {
  auto V = MakeView(200, 200);
  V->SetStretch(sAlwaysKAR);
  V->AssignPixelGraphic(Uniform(400, 300, kRed).get());
  V->SetUseThread(true);
  V->SetStretchMode(smPrecise);
  // While the copy is made the box shows its frame; the copy then arrives at the box size.
  V->grab();
  V->WaitForDisplayCopy();
  ASSERT_NE(V->DisplayCopy(), nullptr);
  EXPECT_EQ(V->DisplayCopy()->Width(), 200);
  EXPECT_EQ(V->DisplayCopy()->Height(), 150);
  EXPECT_EQ(At(V->grab().toImage(), 100, 75), kRed);

  // A run for the red picture finishes while a blue one is assigned: the red result is late.
  V->SetStretchMode(smMedium);
  V->grab();
  V->DisplayCopyPreparer().Join();
  V->AssignPixelGraphic(Uniform(300, 400, kBlue).get());
  QApplication::processEvents();
  EXPECT_EQ(V->DisplayCopy(), nullptr);
  V->grab();
  V->WaitForDisplayCopy();
  ASSERT_NE(V->DisplayCopy(), nullptr);
  EXPECT_EQ(V->DisplayCopy()->Width(), 150);
  EXPECT_EQ(V->DisplayCopy()->GetPixelColor(75, 100), kBlue);
  EXPECT_EQ(At(V->grab().toImage(), 75, 100), kBlue);

  // Asking for the picture stops the preparation; nothing arrives afterwards.
  V->SetStretchMode(smPrecise);
  V->grab();
  EXPECT_NE(V->PixelGraphic(), nullptr);
  EXPECT_FALSE(V->Preparing());
}

TEST(PGImageView, ClocksWhilePreparing) {
  auto V = MakeView(200, 200);
  V->SetPicBoxColor(QColor(0, 0, 0));
  V->SetProgressClockBkColor(QColor(0, 255, 0));
  V->SetStretch(sAlways);
  V->SetStretchMode(smPrecise);
  V->TakePixelGraphic(Uniform(2000, 2000, kRed));
  // The grab paints before the worker can finish: the empty frame with five clocks.
  const QImage Shot = V->grab().toImage();
  // The run ends only when its result is handed over, in a later event.
  ASSERT_TRUE(V->Preparing());
  EXPECT_EQ(At(Shot, 100 - 3, 100 - 3), RGBOf(0, 255, 0)); // centre clock face
  EXPECT_EQ(At(Shot, 5 + 4, 5 + 10), RGBOf(0, 255, 0));    // top-left clock face
  EXPECT_EQ(At(Shot, 50, 50), RGBOf(0, 0, 0));             // the empty box
  V->WaitForDisplayCopy();
  EXPECT_EQ(At(V->grab().toImage(), 100, 100), kRed);
}

TEST(PGImageView, PaletteScreenGetsAReducedCopy) {
  SetScreenDepthQuery([] { return 8; });
  auto V = MakeView(100, 100);
  V->SetUseThread(false);
  V->TakePixelGraphic(Quadrants(64, 64));
  const QImage Shot = V->grab().toImage();
  ASSERT_NE(V->DisplayCopy(), nullptr);
  EXPECT_EQ(V->DisplayCopy()->BitCount(), 8);
  EXPECT_FALSE(V->Palette().empty());
  // Four colours survive the optimized palette (to within its cell precision).
  EXPECT_TRUE(Near(At(Shot, 10, 10), kRed)) << At(Shot, 10, 10);
  EXPECT_TRUE(Near(At(Shot, 50, 50), kWhite)) << At(Shot, 50, 50);
  EXPECT_TRUE(Near(At(Shot, 10, 50), kGreen)) << At(Shot, 10, 50);
  // With ReduceOnLoad the copy becomes the picture.
  V->SetReduceOnLoad(true);
  V->TakePixelGraphic(Quadrants(64, 64));
  V->grab();
  EXPECT_EQ(V->PixelGraphic()->BitCount(), 8);
  SetScreenDepthQuery(nullptr);
  V->DisplayModeChanged();
  V->grab();
  EXPECT_EQ(V->DisplayCopy(), nullptr);
}
