#include "view/pgimage.h"
#include "platform/autoorient.h"

#include "platform/codecsettings.h"
#include "platform/filenames.h"
#include "platform/pgqt.h"

#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <cmath>
#include <exception>

namespace orbisk {

namespace {

// Shows the hour-glass while it lives.
class TWaitCursor {
public:
  explicit TWaitCursor(bool Show) : FShown(Show) {
    if (FShown) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~TWaitCursor() {
    if (FShown) QApplication::restoreOverrideCursor();
  }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
  bool FShown;
};

QRect ToQRect(const TIntRect& R) {
  return QRect(R.Left, R.Top, R.Width(), R.Height());
}

// A 32 x 32 monochrome cursor: black strokes with a white outline.
QCursor MakeCursor(const std::function<void(QPainter&)>& Shape, int HotX, int HotY) {
  QBitmap Bits(32, 32), Mask(32, 32);
  Bits.fill(Qt::color0);
  Mask.fill(Qt::color0);
  {
    QPainter P(&Mask);
    P.setPen(QPen(Qt::color1, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.setBrush(Qt::color1);
    Shape(P);
  }
  {
    QPainter P(&Bits);
    P.setPen(QPen(Qt::color1, 1));
    P.setBrush(Qt::NoBrush);
    Shape(P);
  }
  return QCursor(Bits, Mask, HotX, HotY);
}

void HandShape(QPainter& P, bool Open) {
  P.drawRoundedRect(QRect(9, 13, 14, 12), 4, 4); // palm
  const int FingerLen = Open ? 9 : 4;
  for (int I = 0; I < 4; ++I)
    P.drawRoundedRect(QRect(9 + 3 * I + (I > 1 ? 1 : 0), 13 - FingerLen, 3, FingerLen), 1, 1);
  if (Open)
    P.drawLine(9, 19, 5, 14); // thumb
  else
    P.drawLine(9, 18, 7, 16);
}

} // namespace

QCursor TPGImage::PanReadyCursor() {
  static const QCursor C = MakeCursor([](QPainter& P) { HandShape(P, true); }, 16, 12);
  return C;
}

QCursor TPGImage::PanningCursor() {
  static const QCursor C = MakeCursor([](QPainter& P) { HandShape(P, false); }, 16, 12);
  return C;
}

QCursor TPGImage::CreationCursor() {
  static const QCursor C = MakeCursor(
      [](QPainter& P) {
        P.drawLine(15, 3, 15, 27);
        P.drawLine(3, 15, 27, 15);
      },
      15, 15);
  return C;
}

QCursor TPGImage::MoveCursor() {
  static const QCursor C = MakeCursor(
      [](QPainter& P) {
        P.drawLine(16, 3, 16, 27);
        P.drawLine(4, 15, 28, 15);
        const QPoint Up[3] = {{16, 3}, {12, 7}, {20, 7}};
        const QPoint Down[3] = {{16, 27}, {12, 23}, {20, 23}};
        const QPoint Left[3] = {{4, 15}, {8, 11}, {8, 19}};
        const QPoint Right[3] = {{28, 15}, {24, 11}, {24, 19}};
        P.drawPolygon(Up, 3);
        P.drawPolygon(Down, 3);
        P.drawPolygon(Left, 3);
        P.drawPolygon(Right, 3);
      },
      16, 15);
  return C;
}

// ---------------------------------------------------------------------------------------------
// the picture box

TPicBox::TPicBox(TPGImage* Owner, QWidget* Parent) : QWidget(Parent), FOwner(Owner) {
  setMouseTracking(true);
  setAcceptDrops(true);
}

void TPicBox::paintEvent(QPaintEvent*) {
  QPainter P(this);
  FOwner->PaintBox(P);
  if (FOwner->PicBoxOnPaint) FOwner->PicBoxOnPaint(this, P);
}

void TPicBox::mousePressEvent(QMouseEvent* E) {
  FOwner->BoxMouseDown(E);
  const QPoint Pt = E->position().toPoint();
  if (FOwner->PicBoxOnMouseDown)
    FOwner->PicBoxOnMouseDown(this, E->button(), E->modifiers(), Pt.x(), Pt.y());
  E->accept();
}

void TPicBox::mouseMoveEvent(QMouseEvent* E) {
  FOwner->BoxMouseMove(E);
  const QPoint Pt = E->position().toPoint();
  if (FOwner->PicBoxOnMouseMove) FOwner->PicBoxOnMouseMove(this, E->modifiers(), Pt.x(), Pt.y());
  E->accept();
}

void TPicBox::mouseReleaseEvent(QMouseEvent* E) {
  const QPoint Pt = E->position().toPoint();
  if (FOwner->PicBoxOnMouseUp)
    FOwner->PicBoxOnMouseUp(this, E->button(), E->modifiers(), Pt.x(), Pt.y());
  FOwner->BoxMouseUp(E);
  if (E->button() == Qt::LeftButton && rect().contains(Pt) && FOwner->PicBoxOnClick)
    FOwner->PicBoxOnClick(this);
  E->accept();
}

void TPicBox::mouseDoubleClickEvent(QMouseEvent* E) {
  if (FOwner->PicBoxOnDblClick) FOwner->PicBoxOnDblClick(this);
  mousePressEvent(E);
}

void TPicBox::contextMenuEvent(QContextMenuEvent* E) {
  QMenu* M = FOwner->PicBoxPopupMenu() ? FOwner->PicBoxPopupMenu() : FOwner->PopupMenu();
  if (M) {
    M->popup(E->globalPos());
    E->accept();
  } else {
    E->ignore();
  }
}

void TPicBox::dragEnterEvent(QDragEnterEvent* E) {
  dragMoveEvent(E);
}

void TPicBox::dragMoveEvent(QDragMoveEvent* E) {
  const QPoint Pt = E->position().toPoint();
  if (FOwner->PicBoxOnDragOver && FOwner->PicBoxOnDragOver(this, E->mimeData(), Pt.x(), Pt.y()))
    E->acceptProposedAction();
  else
    E->ignore();
}

void TPicBox::dropEvent(QDropEvent* E) {
  const QPoint Pt = E->position().toPoint();
  if (FOwner->PicBoxOnDragDrop) {
    FOwner->PicBoxOnDragDrop(this, E->mimeData(), Pt.x(), Pt.y());
    E->acceptProposedAction();
  }
}

// ---------------------------------------------------------------------------------------------
// creation

TPGImage::TPGImage(QWidget* Parent) : QAbstractScrollArea(Parent) {
  FPicBox = new TPicBox(this, viewport());
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAcceptDrops(true);
  viewport()->setMouseTracking(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FColor = palette().color(QPalette::Button);
  FPicBoxColor = FColor;
  FPicBoxFrameColor = palette().color(QPalette::Dark);
  FProgressClockBkColor = palette().color(QPalette::Button);
  FProgressClockLineColor = palette().color(QPalette::Dark);
  FAnimationTimer.setInterval(50);
  FAutoScrollTimer.setInterval(50);
  connect(&FAnimationTimer, &QTimer::timeout, this, [this] { AnimationTick(); });
  connect(&FAutoScrollTimer, &QTimer::timeout, this, [this] { AutoScrollTick(); });
  connect(&FPreparer, &TDisplayCopyPreparer::OnCopyReady, this, [this] { CopyArrived(); });
  connect(&FPreparer, &TDisplayCopyPreparer::OnProgressChange, this,
          [this] { viewport()->update(); });
  FPreparer.OnReduce = [this](std::unique_ptr<TPixelGraphic> G) {
    SourceReplacedByCopy(std::move(G));
  };
  resize(100, 100);
  Layout(true);
}

TPGImage::~TPGImage() {
  FAnimationTimer.stop();
  FAutoScrollTimer.stop();
  FPreparer.Stop();
}

// ---------------------------------------------------------------------------------------------
// the picture

void TPGImage::HookPicture(TPixelGraphic& G) {
  G.OnProgressStart = [this](TPixelGraphic*) {
    if (OnPixelGraphicProgressStart) OnPixelGraphicProgressStart(this);
  };
  G.OnProgress = [this](TPixelGraphic*, int Step, bool& Abort, int Max) {
    if (OnPixelGraphicProgress) OnPixelGraphicProgress(this, Step, Max, Abort);
  };
  G.OnProgressEnd = [this](TPixelGraphic*) {
    if (OnPixelGraphicProgressEnd) OnPixelGraphicProgressEnd(this);
  };
  G.OnChange = [this](TPixelGraphic*) { Rearrange(); };
}

void TPGImage::LoadFromFile(const QString& Name, int Index) {
  FFileName.clear();
  std::exception_ptr Error;
  {
    TWaitCursor Wait(FShowHourGlass);
    FPreparer.Stop();
    FPicture.reset();
    FPreparer.Release(FSettings);
    if (!QFileInfo(Name).fileName().isEmpty()) {
      auto G = std::make_unique<TPixelGraphic>();
      G->ReadWarningAction = FReadWarningAction;
      G->SetBackGroundColor(FBackGroundColor);
      HookPicture(*G);
      G->OnChange = nullptr;
      try {
        G->LoadFromFileIndex(EnginePath(Name), Index, ViewReadOptions());
        OrientForDisplay(*G);
        G->OnChange = [this](TPixelGraphic*) { Rearrange(); };
        FPicture = std::move(G);
      } catch (...) {
        Error = std::current_exception();
      }
    }
    FFileName = Name;
  }
  Rearrange();
  if (Error) std::rethrow_exception(Error);
}

void TPGImage::SaveToFile(const QString& Name) {
  TPixelGraphic* G = PixelGraphic();
  if (!G || G->Empty()) throw EPGEmpty(EngineMessage(msgIsEmpty, "PixelGraphic"));
  G->SaveColorResWarningAction = FSaveColorResWarningAction;
  G->SaveToFile(EnginePath(Name), CurrentWriteOptions());
  FFileName = Name;
}

void TPGImage::ReplacePicture(std::unique_ptr<TPixelGraphic> G) {
  FPreparer.Stop();
  FPicture.reset();
  FPreparer.Release(FSettings);
  if (G) {
    HookPicture(*G);
    FPicture = std::move(G);
  }
  Rearrange();
}

void TPGImage::AssignPixelGraphic(const TPixelGraphic* G) {
  FPreparer.Stop();
  std::unique_ptr<TPixelGraphic> Copy;
  if (G) {
    Copy = std::make_unique<TPixelGraphic>();
    Copy->Assign(G);
  }
  ReplacePicture(std::move(Copy));
}

void TPGImage::TakePixelGraphic(std::unique_ptr<TPixelGraphic> G) {
  if (G && G.get() == FPicture.get()) {
    (void)G.release(); // already ours
    Rearrange();
    return;
  }
  ReplacePicture(std::move(G));
}

TPixelGraphic* TPGImage::PixelGraphic() {
  FPreparer.Stop();
  return FPicture.get();
}

std::unique_ptr<TPixelGraphic> TPGImage::CopyPixelGraphic() {
  TPixelGraphic* G = PixelGraphic();
  if (!G) return nullptr;
  auto Copy = std::make_unique<TPixelGraphic>();
  Copy->Assign(G);
  return Copy;
}

std::vector<TRGB> TPGImage::Palette() const {
  const TPixelGraphic* G = FPreparer.Copy() ? FPreparer.Copy() : FPicture.get();
  if (!G) return {};
  switch (G->PaletteKind()) {
  case pBlackWhite:
  case pSysGray4:
  case pSys16:
    return {};
  default:
    return G->Palette();
  }
}

void TPGImage::CopyArrived() {
  ++FGeneration;
  viewport()->update();
}

void TPGImage::SourceReplacedByCopy(std::unique_ptr<TPixelGraphic> G) {
  HookPicture(*G);
  FPicture = std::move(G);
  FImageWidth = FPicture->Width();
  FImageHeight = FPicture->Height();
  ++FGeneration;
  viewport()->update();
}

void TPGImage::WaitForDisplayCopy() {
  FPreparer.WaitAndDeliver();
}

void TPGImage::DisplayModeChanged() {
  FPreparer.MarkStale();
  viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// layout

int TPGImage::BorderWidth() const {
  return frameWidth();
}

int TPGImage::BarWidth() const {
  if (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) return 0;
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
}

int TPGImage::BarHeight() const {
  if (horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) return 0;
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, horizontalScrollBar());
}

void TPGImage::Rearrange() {
  FPreparer.Stop();
  FImageWidth = FPicture ? FPicture->Width() : 0;
  FImageHeight = FPicture ? FPicture->Height() : 0;
  const TIntSize Wanted =
      AutoSizeWanted(FImageWidth, FImageHeight, BorderWidth(), FAutoSizeMinWidth, FAutoSizeMaxWidth,
                     FAutoSizeMinHeight, FAutoSizeMaxHeight, BarWidth(), BarHeight());
  if (OnNewAutoSize) OnNewAutoSize(this, Wanted.Width, Wanted.Height);
  FPreparer.MarkStale();
  ++FGeneration;
  if (FAutoSize && (Wanted.Width != width() || Wanted.Height != height())) {
    resize(Wanted.Width, Wanted.Height);
    Layout(true); // hidden widgets get their resize event only when shown
  } else {
    Layout(false);
  }
  if (OnPixelGraphicChange) OnPixelGraphicChange(this);
  emit pixelGraphicChanged();
}

void TPGImage::Layout(bool Force) {
  const int Border = BorderWidth();
  const int AW = width() - 2 * Border, AH = height() - 2 * Border;
  const int BarW = BarWidth(), BarH = BarHeight();
  const TBoxSize B =
      StretchBox(FStretch, FImageWidth, FImageHeight, AW, AH, BarW, BarH, FZoomFactor);
  if (B.Scale != FEffectiveZoom) {
    FEffectiveZoom = B.Scale;
    if (OnZoomFactorChange) OnZoomFactorChange(this);
    emit zoomFactorChanged();
  }
  const TBoxPlacement P = PlaceBox(B.Width, B.Height, AW, AH, BarW, BarH, FCenter);
  const TIntRect NewBox{P.Left, P.Top, P.Left + B.Width, P.Top + B.Height};
  FAreaWidth = AW;
  FAreaHeight = AH;
  if (!Force && !FRearrangeAlways && NewBox == FBox &&
      horizontalScrollBar()->value() == P.ScrollX && verticalScrollBar()->value() == P.ScrollY) {
    viewport()->update();
    return;
  }
  FInLayout = true;
  FBox = NewBox;
  horizontalScrollBar()->setValue(0);
  verticalScrollBar()->setValue(0);
  UpdateScrollBars();
  if (FCenter) {
    horizontalScrollBar()->setValue(P.ScrollX);
    verticalScrollBar()->setValue(P.ScrollY);
  }
  FInLayout = false;
  PlaceBoxWidget();
  viewport()->update();
  FPicBox->update();
}

void TPGImage::UpdateScrollBars() {
  // Standard auto-scroll: the range follows the box's right and bottom edges.
  const int Border = BorderWidth();
  const int AW = width() - 2 * Border, AH = height() - 2 * Border;
  const int ContentW = std::max(0, FBox.Right), ContentH = std::max(0, FBox.Bottom);
  const TBoxPlacement P = PlaceBox(ContentW, ContentH, AW, AH, BarWidth(), BarHeight(), false);
  int ClientW = P.ClientWidth, ClientH = P.ClientHeight;
  // Once Qt has settled the bars, trust the viewport it made.
  if (!FInLayout) {
    ClientW = viewport()->width();
    ClientH = viewport()->height();
  }
  QScrollBar* H = horizontalScrollBar();
  QScrollBar* V = verticalScrollBar();
  H->setRange(0, std::max(0, ContentW - ClientW));
  H->setPageStep(std::max(1, ClientW));
  H->setSingleStep(std::max(1, ClientW / 20));
  V->setRange(0, std::max(0, ContentH - ClientH));
  V->setPageStep(std::max(1, ClientH));
  V->setSingleStep(std::max(1, ClientH / 20));
}

void TPGImage::PlaceBoxWidget() {
  FPicBox->setGeometry(FBox.Left - horizontalScrollBar()->value(),
                       FBox.Top - verticalScrollBar()->value(), FBox.Width(), FBox.Height());
}

void TPGImage::resizeEvent(QResizeEvent* E) {
  QAbstractScrollArea::resizeEvent(E);
  if (FInLayout) return;
  const int Border = BorderWidth();
  if (width() - 2 * Border != FAreaWidth || height() - 2 * Border != FAreaHeight) {
    Layout(true);
  } else {
    FInLayout = true;
    UpdateScrollBars();
    FInLayout = false;
    UpdateScrollBars();
    PlaceBoxWidget();
  }
}

void TPGImage::scrollContentsBy(int, int) {
  PlaceBoxWidget();
  if (!FInLayout) viewport()->update();
}

bool TPGImage::CanPan() const {
  auto Scrolls = [](const QScrollBar* B, Qt::ScrollBarPolicy Policy) {
    return Policy != Qt::ScrollBarAlwaysOff && B->maximum() > B->minimum();
  };
  return Scrolls(horizontalScrollBar(), horizontalScrollBarPolicy()) ||
         Scrolls(verticalScrollBar(), verticalScrollBarPolicy());
}

// ---------------------------------------------------------------------------------------------
// property setters

void TPGImage::SetStretch(TStretch V) {
  if (V == FStretch) return;
  FStretch = V;
  Layout(true);
}

void TPGImage::SetCenter(bool V) {
  if (V == FCenter) return;
  FCenter = V;
  Layout(true);
}

void TPGImage::SetZoomFactor(long double V) {
  if (V == FZoomFactor) return;
  FZoomFactor = V;
  Layout(true);
}

void TPGImage::SetAutoSize(bool V) {
  FAutoSize = V;
  Rearrange();
}

void TPGImage::SetAutoSizeMaxWidth(int V) {
  FAutoSizeMaxWidth = V;
  Rearrange();
}

void TPGImage::SetAutoSizeMaxHeight(int V) {
  FAutoSizeMaxHeight = V;
  Rearrange();
}

void TPGImage::SetAutoSizeMinWidth(int V) {
  FAutoSizeMinWidth = V;
  Rearrange();
}

void TPGImage::SetAutoSizeMinHeight(int V) {
  FAutoSizeMinHeight = V;
  Rearrange();
}

void TPGImage::SetTiling(TTiling V) {
  FTiling = V;
  viewport()->update();
}

void TPGImage::SetFlipHorizontal(bool V) {
  FFlipHorizontal = V;
  viewport()->update();
}

void TPGImage::SetFlipVertical(bool V) {
  FFlipVertical = V;
  viewport()->update();
}

void TPGImage::SetColor(const QColor& C) {
  FColor = C;
  if (FPicBoxParentColor) FPicBoxColor = C;
  viewport()->update();
}

void TPGImage::SetPicBoxColor(const QColor& C) {
  FPicBoxColor = C;
  FPicBoxParentColor = false;
  viewport()->update();
}

void TPGImage::SetPicBoxParentColor(bool V) {
  FPicBoxParentColor = V;
  if (V) FPicBoxColor = FColor;
  viewport()->update();
}

void TPGImage::SetPicBoxFrameColor(const QColor& C) {
  FPicBoxFrameColor = C;
  viewport()->update();
}

void TPGImage::SetPicBoxCursor(const QCursor& C) {
  FPicBoxCursor = C;
  FPicBox->setCursor(C);
}

QString TPGImage::PicBoxHint() const {
  return FPicBox->toolTip();
}

void TPGImage::SetPicBoxHint(const QString& S) {
  FPicBox->setToolTip(S);
}

void TPGImage::SetPicBoxShowHint(bool V) {
  FPicBoxShowHint = V;
}

void TPGImage::SetPicBoxParentShowHint(bool V) {
  FPicBoxParentShowHint = V;
}

void TPGImage::SetAllow24BitStretch(bool V) {
  FSettings.Allow24BitStretch = V;
  Rearrange();
}

void TPGImage::SetDither(bool V) {
  FSettings.Dither = V;
  Rearrange();
}

void TPGImage::SetDitherErrorLimit(uint8_t V) {
  FSettings.DitherErrorLimit = V;
  if (FSettings.Dither) Rearrange();
}

void TPGImage::SetDitherErrorLimitAuto(bool V) {
  FSettings.DitherErrorLimitAuto = V;
  if (FSettings.Dither) Rearrange();
}

void TPGImage::SetDitherErrorLimitSoft(bool V) {
  FSettings.DitherErrorLimitSoft = V;
  if (FSettings.Dither) Rearrange();
}

void TPGImage::SetPalette8BitSys24BitGraphic(TPaletteIdent V) {
  if (V < pBlackWhite || V > pOptimized252Sys16) return;
  FSettings.Palette8BitSys24BitGraphic = V;
  Rearrange();
}

void TPGImage::SetPalette8BitSys8BitGraphic(TPaletteIdent V) {
  if (V < pBlackWhite || V > pSource) return;
  FSettings.Palette8BitSys8BitGraphic = V;
  Rearrange();
}

void TPGImage::SetRGBWeighting(bool V) {
  FSettings.RGBWeighting = V;
  Rearrange();
}

void TPGImage::SetStretchMode(TStretchMode V) {
  FSettings.StretchMode = V;
  Rearrange();
}

void TPGImage::SetUseThread(bool V) {
  FPreparer.Stop();
  FSettings.UseThread = V;
  FPreparer.MarkStale();
  viewport()->update();
}

void TPGImage::SetActionMode(TActionMode V) {
  FActionMode = V;
  FPicBox->update();
  viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// selection

TIntRect TPGImage::SelectionRect() const {
  return SelectionBoxRect(FSel.Left, FSel.Top, FSel.Width, FSel.Height, FBox.Width(), FBox.Height(),
                          FImageWidth, FImageHeight);
}

QRect TPGImage::FrameStrip(const TSelectionBounds& B) const {
  const TIntRect R = SelectionBoxRect(B.Left, B.Top, B.Width, B.Height, FBox.Width(), FBox.Height(),
                                      FImageWidth, FImageHeight);
  const int M = FActionMode == amMoveResizeCreateSelection ? 8 : 1;
  return QRect(R.Left - M, R.Top - M, R.Width() + 2 * M, R.Height() + 2 * M);
}

void TPGImage::StoreSelection(const TSelectionBounds& B) {
  if (B == FSel) return;
  // Only the strips of the old and the new frame need painting.
  const int M = FActionMode == amMoveResizeCreateSelection ? 8 : 1;
  auto Strips = [M](const QRect& Outer) {
    QRegion R(Outer);
    return R.subtracted(QRegion(Outer.adjusted(M, M, -M, -M)));
  };
  QRegion Dirty = Strips(FrameStrip(FSel)).united(Strips(FrameStrip(B)));
  FSel = B;
  FPicBox->update(Dirty);
  if (OnSelectionChange) OnSelectionChange(this);
  emit selectionChanged();
  if (FSelection) FPicBox->repaint(Dirty);
}

void TPGImage::SetSelectionBounds(int Left, int Top, int Width, int Height) {
  StoreSelection(TSelectionBounds{Left, Top, Width, Height});
}

void TPGImage::SetSelectionLeft(int V) {
  SetSelectionBounds(V, FSel.Top, FSel.Width, FSel.Height);
}
void TPGImage::SetSelectionTop(int V) {
  SetSelectionBounds(FSel.Left, V, FSel.Width, FSel.Height);
}
void TPGImage::SetSelectionWidth(int V) {
  SetSelectionBounds(FSel.Left, FSel.Top, V, FSel.Height);
}
void TPGImage::SetSelectionHeight(int V) {
  SetSelectionBounds(FSel.Left, FSel.Top, FSel.Width, V);
}

void TPGImage::SetSelection(bool V) {
  FSelection = V;
  if (V)
    FAnimationTimer.start();
  else
    FAnimationTimer.stop();
  FPicBox->update();
  if (OnSelectionChange) OnSelectionChange(this);
  emit selectionChanged();
}

void TPGImage::SetSelectionColor1(const QColor& C) {
  FSelectionColor1 = C;
  FBrushesValid = false;
  FPicBox->update();
}

void TPGImage::SetSelectionColor2(const QColor& C) {
  FSelectionColor2 = C;
  FBrushesValid = false;
  FPicBox->update();
}

void TPGImage::AnimationTick() {
  FPhase = (FPhase + 1) % 8;
  if (!FSelection) return;
  // Only the frame (and the handles) are redrawn.
  const TIntRect R = SelectionRect();
  const QRect Outer(R.Left - 1, R.Top - 1, R.Width() + 2, R.Height() + 2);
  QRegion Frame = QRegion(Outer).subtracted(QRegion(Outer.adjusted(1, 1, -1, -1)));
  if (FActionMode == amMoveResizeCreateSelection)
    for (int I = 0; I < 8; ++I)
      Frame += ToQRect(HandleRect(I, R));
  FPicBox->update(Frame);
}

void TPGImage::PaintBox(QPainter& P) {
  if (!FSelection) return;
  if (!FBrushesValid) {
    for (int I = 0; I < 8; ++I) {
      QImage Pattern(8, 8, QImage::Format_RGB32);
      for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 8; ++X)
          Pattern.setPixel(
              X, Y, (SelectionPatternSecond(X, Y, I) ? FSelectionColor2 : FSelectionColor1).rgb());
      FBrushes[size_t(I)] = QBrush(Pattern);
    }
    FBrushesValid = true;
  }
  const TIntRect R = SelectionRect();
  const QBrush& Brush = FBrushes[size_t(SelectionBrushIndex(FPhase, R.Left, R.Top))];
  auto FrameRect = [&](const QRect& Q) {
    if (Q.width() <= 0 || Q.height() <= 0) return;
    P.fillRect(QRect(Q.left(), Q.top(), Q.width(), 1), Brush);
    P.fillRect(QRect(Q.left(), Q.bottom(), Q.width(), 1), Brush);
    P.fillRect(QRect(Q.left(), Q.top(), 1, Q.height()), Brush);
    P.fillRect(QRect(Q.right(), Q.top(), 1, Q.height()), Brush);
  };
  FrameRect(QRect(R.Left - 1, R.Top - 1, R.Width() + 2, R.Height() + 2));
  if (FActionMode == amMoveResizeCreateSelection)
    for (int I = 0; I < 8; ++I)
      FrameRect(ToQRect(HandleRect(I, R)));
}

// ---------------------------------------------------------------------------------------------
// mouse

QCursor TPGImage::CursorAt(int X, int Y) const {
  QCursor C = FPicBoxCursor;
  const TActionMode M = FActionMode;
  if ((M == amMoveImage || M == amMoveSelectionMoveImage) && CanPan())
    C = FMouseState == msPanning ? PanningCursor() : PanReadyCursor();
  if (M == amMoveResizeCreateSelection || M == amCreateSelection) C = CreationCursor();
  const TIntRect R = SelectionRect();
  if ((M == amMoveResizeCreateSelection || M == amMoveSelection || M == amMoveSelectionMoveImage) &&
      FSelection && R.Contains(X, Y))
    C = MoveCursor();
  if (M == amMoveResizeCreateSelection && FSelection) {
    int H = FMouseState >= msResizeTopLeft ? FMouseState - msResizeTopLeft : HandleAt(R, X, Y);
    static const Qt::CursorShape Shapes[8] = {
        Qt::SizeFDiagCursor, Qt::SizeVerCursor,   Qt::SizeBDiagCursor, Qt::SizeHorCursor,
        Qt::SizeHorCursor,   Qt::SizeBDiagCursor, Qt::SizeVerCursor,   Qt::SizeFDiagCursor};
    if (H >= 0) C = QCursor(Shapes[H]);
  }
  return C;
}

void TPGImage::UpdateBoxCursor(int X, int Y) {
  QCursor C = CursorAt(X, Y);
  if (PicBoxOnSetCursor) PicBoxOnSetCursor(FPicBox, C);
  FPicBox->setCursor(C);
}

void TPGImage::BoxMouseDown(QMouseEvent* E) {
  const QPoint Pt = E->position().toPoint();
  FLastBoxPoint = Pt;
  if (E->button() != Qt::LeftButton) return;
  TMouseDownContext C;
  C.Mode = FActionMode;
  C.SelectionShown = FSelection;
  C.SelectionRect = SelectionRect();
  C.CanPan = CanPan();
  const TMouseState S = MouseDownState(C, Pt.x(), Pt.y());
  const int PX = PicBoxToPictureX(Pt.x()), PY = PicBoxToPictureY(Pt.y());
  FMouseState = S;
  switch (S) {
  case msIdle:
    break;
  case msPanning:
    FLastPoint = FPicBox->mapTo(viewport(), Pt);
    break;
  case msCreateSelection:
    FGesture.Begin(S, PX, PY, FSel);
    SetSelection(true);
    StoreSelection(TSelectionBounds{PX, PY, 1, 1});
    break;
  default:
    FGesture.Begin(S, PX, PY, FSel);
    break;
  }
  UpdateBoxCursor(Pt.x(), Pt.y());
  if (S >= msMoveSelection) FAutoScrollTimer.start();
}

void TPGImage::BoxMouseMove(QMouseEvent* E) {
  const QPoint Pt = E->position().toPoint();
  FLastBoxPoint = Pt;
  if (FMouseState == msPanning) {
    QScrollBar* H = horizontalScrollBar();
    QScrollBar* V = verticalScrollBar();
    const QPoint Cur = FPicBox->mapTo(viewport(), Pt);
    const int OldX = H->value(), OldY = V->value();
    H->setValue(OldX + FLastPoint.x() - Cur.x());
    V->setValue(OldY + FLastPoint.y() - Cur.y());
    // Re-base by what actually scrolled, so the grabbed point stays under the cursor.
    FLastPoint -= QPoint(H->value() - OldX, V->value() - OldY);
    viewport()->repaint();
  } else if (FMouseState >= msMoveSelection) {
    StoreSelection(FGesture.Move(PicBoxToPictureX(Pt.x()), PicBoxToPictureY(Pt.y()), FImageWidth,
                                 FImageHeight));
  }
  UpdateBoxCursor(Pt.x(), Pt.y());
}

void TPGImage::BoxMouseUp(QMouseEvent* E) {
  if (E->button() != Qt::LeftButton) return;
  const TMouseState S = FMouseState;
  FAutoScrollTimer.stop();
  FMouseState = msIdle;
  if (S >= msMoveSelection) {
    SetSelection(true);
    if (OnSelectionMade) OnSelectionMade(this);
  }
  const QPoint Pt = E->position().toPoint();
  UpdateBoxCursor(Pt.x(), Pt.y());
}

void TPGImage::AutoScrollTick() {
  if (FMouseState < msMoveSelection) {
    FAutoScrollTimer.stop();
    return;
  }
  const QPoint Cur = FPicBox->mapTo(viewport(), FLastBoxPoint);
  const QRect Client = viewport()->rect();
  if (Client.contains(Cur)) return;
  QScrollBar* H = horizontalScrollBar();
  QScrollBar* V = verticalScrollBar();
  const int OldX = H->value(), OldY = V->value();
  if (Cur.x() < 0)
    H->setValue(OldX - 5);
  else if (Cur.x() >= Client.width() && OldX < H->maximum())
    H->setValue(OldX + 5);
  if (Cur.y() < 0)
    V->setValue(OldY - 5);
  else if (Cur.y() >= Client.height() && OldY < V->maximum())
    V->setValue(OldY + 5);
  const int DX = H->value() - OldX, DY = V->value() - OldY;
  if (DX == 0 && DY == 0) return;
  // The cursor now lies over another part of the picture: the gesture follows it.
  FLastBoxPoint += QPoint(DX, DY);
  StoreSelection(FGesture.Move(PicBoxToPictureX(FLastBoxPoint.x()),
                               PicBoxToPictureY(FLastBoxPoint.y()), FImageWidth, FImageHeight));
}

void TPGImage::mousePressEvent(QMouseEvent* E) {
  const QPoint Pt = E->position().toPoint();
  if (OnMouseDown) OnMouseDown(this, E->button(), E->modifiers(), Pt.x(), Pt.y());
}

void TPGImage::mouseMoveEvent(QMouseEvent* E) {
  const QPoint Pt = E->position().toPoint();
  if (OnSetCursor) {
    QCursor C(Qt::ArrowCursor);
    OnSetCursor(this, C);
    viewport()->setCursor(C);
  }
  if (OnMouseMove) OnMouseMove(this, E->modifiers(), Pt.x(), Pt.y());
}

void TPGImage::mouseReleaseEvent(QMouseEvent* E) {
  const QPoint Pt = E->position().toPoint();
  if (OnMouseUp) OnMouseUp(this, E->button(), E->modifiers(), Pt.x(), Pt.y());
  if (E->button() == Qt::LeftButton && viewport()->rect().contains(Pt) && OnClick) OnClick(this);
}

void TPGImage::mouseDoubleClickEvent(QMouseEvent* E) {
  if (OnDblClick) OnDblClick(this);
  mousePressEvent(E);
}

void TPGImage::contextMenuEvent(QContextMenuEvent* E) {
  if (FPopupMenu) {
    FPopupMenu->popup(E->globalPos());
    E->accept();
  } else {
    E->ignore();
  }
}

void TPGImage::dragEnterEvent(QDragEnterEvent* E) {
  dragMoveEvent(E);
}

void TPGImage::dragMoveEvent(QDragMoveEvent* E) {
  const QPoint Pt = E->position().toPoint();
  if (OnDragOver && OnDragOver(this, E->mimeData(), Pt.x(), Pt.y()))
    E->acceptProposedAction();
  else
    E->ignore();
}

void TPGImage::dropEvent(QDropEvent* E) {
  const QPoint Pt = E->position().toPoint();
  if (OnDragDrop) {
    OnDragDrop(this, E->mimeData(), Pt.x(), Pt.y());
    E->acceptProposedAction();
  }
}

// ---------------------------------------------------------------------------------------------
// painting

const QImage& TPGImage::FittedImage(const TPixelGraphic& G, int W, int H) {
  if (FFittedSource != &G || FFittedGeneration != FGeneration || FFitted.width() != W ||
      FFitted.height() != H) {
    FFitted = QImage(W, H, QImage::Format_RGB32);
    QPainter P(&FFitted);
    DrawPixelGraphic(P, QRectF(0, 0, W, H), G);
    FFittedSource = &G;
    FFittedGeneration = FGeneration;
  }
  return FFitted;
}

void TPGImage::DrawPicture(QPainter& P, const QRect& Dest, const TPixelGraphic& G, bool MirrorH,
                           bool MirrorV, const QRect& Clip) {
  const int W = Dest.width(), H = Dest.height();
  QRect Visible = Clip.intersected(Dest).translated(-Dest.topLeft());
  if (Visible.isEmpty()) return;
  if (MirrorH) Visible.moveLeft(W - Visible.left() - Visible.width());
  if (MirrorV) Visible.moveTop(H - Visible.top() - Visible.height());
  P.save();
  P.translate(Dest.left() + (MirrorH ? W : 0), Dest.top() + (MirrorV ? H : 0));
  P.scale(MirrorH ? -1 : 1, MirrorV ? -1 : 1);
  const int64_t BoxArea = int64_t(W) * H;
  if (W == G.Width() && H == G.Height()) {
    DrawPixelGraphic(P, QRectF(Visible), G, Visible);
  } else if (BoxArea <= (int64_t(1) << 23)) {
    // A scaled picture is drawn from its fitted copy, made once per picture and box size.
    P.drawImage(Visible, FittedImage(G, W, H), Visible);
  } else {
    // A large zoomed box: convert only the source part behind the visible area.
    const long double SX = (long double)G.Width() / W, SY = (long double)G.Height() / H;
    int X0 = int(std::floor(Visible.left() * SX)), Y0 = int(std::floor(Visible.top() * SY));
    int X1 = std::min(G.Width(), int(std::ceil((Visible.right() + 1) * SX)) + 1);
    int Y1 = std::min(G.Height(), int(std::ceil((Visible.bottom() + 1) * SY)) + 1);
    X0 = std::max(0, X0 - 1);
    Y0 = std::max(0, Y0 - 1);
    const QRectF Target(X0 / SX, Y0 / SY, (X1 - X0) / SX, (Y1 - Y0) / SY);
    P.setClipRect(Visible, Qt::IntersectClip);
    DrawPixelGraphic(P, Target, G, QRect(X0, Y0, X1 - X0, Y1 - Y0));
  }
  P.restore();
}

void TPGImage::DrawTiles(QPainter& P, const TPixelGraphic& G, const QRect& Clip) {
  const QRect Box = FPicBox->geometry();
  const TIntRect B{Box.left(), Box.top(), Box.left() + Box.width(), Box.top() + Box.height()};
  const TTileRange R = TileRange(B, viewport()->width(), viewport()->height(), FTiling != tNone);
  // Clip edges count as touching (inclusive).
  const QRect Touch = Clip.adjusted(-1, -1, 1, 1);
  for (int Row = R.FirstRow; Row <= R.LastRow; ++Row)
    for (int Col = R.FirstCol; Col <= R.LastCol; ++Col) {
      const QRect Tile = Box.translated(Col * Box.width(), Row * Box.height());
      if (!Tile.intersects(Touch)) continue;
      DrawPicture(P, Tile, G, TileMirroredHorizontally(Col, FTiling, FFlipHorizontal),
                  TileMirroredVertically(Row, FTiling, FFlipVertical), Clip);
    }
}

void TPGImage::DrawClocks(QPainter& P, const QRect& Box) {
  const TIntRect B{Box.left(), Box.top(), Box.left() + Box.width(), Box.top() + Box.height()};
  P.save();
  P.setRenderHint(QPainter::Antialiasing, false);
  for (const TIntPoint& C : ClockPositions(B, FProgress5Clocks)) {
    P.setPen(FProgressClockLineColor);
    P.setBrush(FProgressClockBkColor);
    P.drawEllipse(QRect(C.X, C.Y, 14, 14));
    TIntPoint Long, Short;
    ClockHands(C, FPreparer.Percent(), FPreparer.Step(), Long, Short);
    const QPoint Mid(C.X + 7, C.Y + 7);
    P.drawLine(Mid, QPoint(Long.X, Long.Y));
    P.drawLine(Mid, QPoint(Short.X, Short.Y));
  }
  P.restore();
}

void TPGImage::paintEvent(QPaintEvent* E) {
  if (FInLayout) return;
  QPainter P(viewport());
  const QRect Clip = E->rect();
  try {
    const bool NeedCopy =
        FPreparer.PaintCopyNeeded(FPicture.get(), FBox.Width(), FBox.Height(), FSettings);
    const TPixelGraphic* G = NeedCopy ? FPreparer.Copy() : FPicture.get();
    if (G && G->Empty()) G = nullptr;
    if (OnPainting) OnPainting(viewport(), P);
    const QRect Box = FPicBox->geometry();
    if (FTiling == tNone || !G) {
      const QRect V = viewport()->rect();
      auto Fill = [&](const QRect& R) {
        if (!R.isEmpty()) P.fillRect(R, FColor);
      };
      const int Top = std::clamp(Box.top(), 0, V.height());
      const int Bottom = std::clamp(Box.top() + Box.height(), 0, V.height());
      Fill(QRect(0, 0, V.width(), Top));
      Fill(QRect(0, Bottom, V.width(), V.height() - Bottom));
      Fill(QRect(0, Top, std::max(0, Box.left()), Bottom - Top));
      const int Right = std::max(0, Box.left() + Box.width());
      Fill(QRect(Right, Top, V.width() - Right, Bottom - Top));
    }
    if (G) {
      DrawTiles(P, *G, Clip);
    } else if (!Box.isEmpty()) {
      P.setPen(FPicBoxFrameColor);
      P.setBrush(FPicBoxColor);
      P.drawRect(Box.adjusted(0, 0, -1, -1));
      if (FProgressClockVisible && FPreparer.Running()) DrawClocks(P, Box);
    }
  } catch (const std::exception&) {
    // A failed paint leaves what was drawn; OnPaint still runs.
  }
  if (OnPaint) OnPaint(viewport(), P);
}

} // namespace orbisk
