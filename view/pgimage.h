// TPGImage: the scrolling, zooming picture view used by every window that shows a picture.
// A scroll area whose viewport paints the picture (stretch rules, tiling, flips, display copy)
// and holds one child, the picture box, which takes the mouse and paints the selection frame.
#pragma once

#include "engine/pixelgraphic.h"
#include "view/displaycopy.h"
#include "view/viewlayout.h"

#include <QAbstractScrollArea>
#include <QBrush>
#include <QColor>
#include <QCursor>
#include <QPointer>
#include <QString>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMimeData;
class QPainter;

namespace orbisk {

class TPGImage;

// Event types. Sender is the view or its picture box.
using TPGNotifyEvent = std::function<void(QWidget* Sender)>;
using TPGMouseEvent = std::function<void(QWidget* Sender, Qt::MouseButton Button,
                                         Qt::KeyboardModifiers Shift, int X, int Y)>;
using TPGMouseMoveEvent =
    std::function<void(QWidget* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;
// Painting: the painter draws on the sender (viewport or picture box) in its own coordinates.
using TPGPaintEvent = std::function<void(QWidget* Sender, QPainter& Canvas)>;
using TPGINewAutoSizeEvent =
    std::function<void(QWidget* Sender, int PGImageWidth, int PGImageHeight)>;
using TPGProgressEvent = std::function<void(QWidget* Sender, int Step, int Max, bool& Abort)>;
// The cursor about to be shown; the handler may replace it.
using TPGSetCursorEvent = std::function<void(QWidget* Sender, QCursor& Cursor)>;
// Dropping data on the view: DragOver answers whether a drop is accepted there.
using TPGDragOverEvent = std::function<bool(QWidget* Sender, const QMimeData* Data, int X, int Y)>;
using TPGDragDropEvent = std::function<void(QWidget* Sender, const QMimeData* Data, int X, int Y)>;

// The picture box: its bounds are exactly the displayed picture rectangle.
class TPicBox : public QWidget {
  Q_OBJECT
public:
  explicit TPicBox(TPGImage* Owner, QWidget* Parent);

protected:
  void paintEvent(QPaintEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override;
  void mouseDoubleClickEvent(QMouseEvent* E) override;
  void contextMenuEvent(QContextMenuEvent* E) override;
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dragMoveEvent(QDragMoveEvent* E) override;
  void dropEvent(QDropEvent* E) override;

private:
  TPGImage* FOwner;
};

class TPGImage : public QAbstractScrollArea {
  Q_OBJECT
public:
  explicit TPGImage(QWidget* Parent = nullptr);
  ~TPGImage() override;

  // ---- the picture ----
  // Replaces the picture by image Index of the file (the reader's index). Errors propagate
  // after clean-up, leaving the view empty.
  void LoadFromFile(const QString& Name, int Index = 0);
  // Saves through the registry (the extension chooses the writer); then FileName := Name.
  // Raises EPGEmpty ("PixelGraphic is empty") when there is no picture.
  void SaveToFile(const QString& Name);
  // Stores a copy of G (nullptr: no picture).
  void AssignPixelGraphic(const TPixelGraphic* G);
  // Takes ownership of G (nullptr: no picture).
  void TakePixelGraphic(std::unique_ptr<TPixelGraphic> G);
  // Stops the display-copy preparation first; the picture stays owned by the view.
  TPixelGraphic* PixelGraphic();
  // The same without waiting for the preparation.
  TPixelGraphic* PixelGraphicNoWait() const { return FPicture.get(); }
  // A copy the caller owns (nullptr without a picture).
  std::unique_ptr<TPixelGraphic> CopyPixelGraphic();
  int ImageWidth() const { return FImageWidth; }
  int ImageHeight() const { return FImageHeight; }
  // The display copy being drawn (nullptr when none), for hosts that show it.
  const TPixelGraphic* DisplayCopy() const { return FPreparer.Copy(); }
  // Palette of the display copy when in use, else of the picture; empty for the standard
  // palettes that need no realisation (pBlackWhite, pSysGray4, pSys16).
  std::vector<TRGB> Palette() const;

  QString FileName() const { return FFileName; }
  void SetFileName(const QString& Name) { LoadFromFile(Name, 0); }

  // ---- layout ----
  TStretch Stretch() const { return FStretch; }
  void SetStretch(TStretch V);
  bool Center() const { return FCenter; }
  void SetCenter(bool V);
  long double ZoomFactor() const { return FZoomFactor; }
  void SetZoomFactor(long double V);
  // The scale the last layout used (-1 when stretched without one common scale).
  long double EffectiveZoom() const { return FEffectiveZoom; }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool V);
  int AutoSizeMaxWidth() const { return FAutoSizeMaxWidth; }
  void SetAutoSizeMaxWidth(int V);
  int AutoSizeMaxHeight() const { return FAutoSizeMaxHeight; }
  void SetAutoSizeMaxHeight(int V);
  int AutoSizeMinWidth() const { return FAutoSizeMinWidth; }
  void SetAutoSizeMinWidth(int V);
  int AutoSizeMinHeight() const { return FAutoSizeMinHeight; }
  void SetAutoSizeMinHeight(int V);
  bool RearrangeAlways() const { return FRearrangeAlways; }
  void SetRearrangeAlways(bool V) { FRearrangeAlways = V; }
  TTiling Tiling() const { return FTiling; }
  void SetTiling(TTiling V);
  bool FlipHorizontal() const { return FFlipHorizontal; }
  void SetFlipHorizontal(bool V);
  bool FlipVertical() const { return FFlipVertical; }
  void SetFlipVertical(bool V);
  // Border allowance: 0 none, 1 single, 2 single with 3-D look (the frame width).
  int BorderWidth() const;
  // The picture box (its geometry is the displayed picture in viewport coordinates).
  TPicBox* PicBox() const { return FPicBox; }
  // The box in content coordinates (before scrolling).
  TIntRect BoxRect() const { return FBox; }
  // Re-applies the layout; Force also resets the scroll positions.
  void Layout(bool Force);
  // Runs the re-layout that follows a picture change.
  void Rearrange();

  // ---- colours and cursors ----
  QColor Color() const { return FColor; }
  void SetColor(const QColor& C);
  TRGB BackGroundColor() const { return FBackGroundColor; }
  void SetBackGroundColor(TRGB C) { FBackGroundColor = C; }
  QColor PicBoxColor() const { return FPicBoxColor; }
  void SetPicBoxColor(const QColor& C);
  bool PicBoxParentColor() const { return FPicBoxParentColor; }
  void SetPicBoxParentColor(bool V);
  QColor PicBoxFrameColor() const { return FPicBoxFrameColor; }
  void SetPicBoxFrameColor(const QColor& C);
  QCursor PicBoxCursor() const { return FPicBoxCursor; }
  void SetPicBoxCursor(const QCursor& C);
  QString PicBoxHint() const;
  void SetPicBoxHint(const QString& S);
  bool PicBoxShowHint() const { return FPicBoxShowHint; }
  void SetPicBoxShowHint(bool V);
  bool PicBoxParentShowHint() const { return FPicBoxParentShowHint; }
  void SetPicBoxParentShowHint(bool V);
  QMenu* PicBoxPopupMenu() const { return FPicBoxPopupMenu; }
  void SetPicBoxPopupMenu(QMenu* M) { FPicBoxPopupMenu = M; }
  intptr_t PicBoxTag() const { return FPicBoxTag; }
  void SetPicBoxTag(intptr_t V) { FPicBoxTag = V; }
  QMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(QMenu* M) { FPopupMenu = M; }
  bool ShowHourGlass() const { return FShowHourGlass; }
  void SetShowHourGlass(bool V) { FShowHourGlass = V; }

  // ---- loading and saving options ----
  TPGWarningAction ReadWarningAction() const { return FReadWarningAction; }
  void SetReadWarningAction(TPGWarningAction V) { FReadWarningAction = V; }
  TPGWarningAction SaveColorResWarningAction() const { return FSaveColorResWarningAction; }
  void SetSaveColorResWarningAction(TPGWarningAction V) { FSaveColorResWarningAction = V; }

  // ---- display copy ----
  bool Allow24BitStretch() const { return FSettings.Allow24BitStretch; }
  void SetAllow24BitStretch(bool V);
  bool Dither() const { return FSettings.Dither; }
  void SetDither(bool V);
  uint8_t DitherErrorLimit() const { return FSettings.DitherErrorLimit; }
  void SetDitherErrorLimit(uint8_t V);
  bool DitherErrorLimitAuto() const { return FSettings.DitherErrorLimitAuto; }
  void SetDitherErrorLimitAuto(bool V);
  bool DitherErrorLimitSoft() const { return FSettings.DitherErrorLimitSoft; }
  void SetDitherErrorLimitSoft(bool V);
  bool KeepOldPaintPixelGraphic() const { return FSettings.KeepOldPaintPixelGraphic; }
  void SetKeepOldPaintPixelGraphic(bool V) { FSettings.KeepOldPaintPixelGraphic = V; }
  TPaletteIdent Palette8BitSys24BitGraphic() const { return FSettings.Palette8BitSys24BitGraphic; }
  void SetPalette8BitSys24BitGraphic(TPaletteIdent V);
  TPaletteIdent Palette8BitSys8BitGraphic() const { return FSettings.Palette8BitSys8BitGraphic; }
  void SetPalette8BitSys8BitGraphic(TPaletteIdent V);
  bool RGBWeighting() const { return FSettings.RGBWeighting; }
  void SetRGBWeighting(bool V);
  bool ReduceOnLoad() const { return FSettings.ReduceOnLoad; }
  void SetReduceOnLoad(bool V) { FSettings.ReduceOnLoad = V; }
  TStretchMode StretchMode() const { return FSettings.StretchMode; }
  void SetStretchMode(TStretchMode V);
  bool UseThread() const { return FSettings.UseThread; }
  void SetUseThread(bool V);
  // Progress clocks.
  bool Progress5Clocks() const { return FProgress5Clocks; }
  void SetProgress5Clocks(bool V) { FProgress5Clocks = V; }
  QColor ProgressClockBkColor() const { return FProgressClockBkColor; }
  void SetProgressClockBkColor(const QColor& C) { FProgressClockBkColor = C; }
  QColor ProgressClockLineColor() const { return FProgressClockLineColor; }
  void SetProgressClockLineColor(const QColor& C) { FProgressClockLineColor = C; }
  bool ProgressClockVisible() const { return FProgressClockVisible; }
  void SetProgressClockVisible(bool V) { FProgressClockVisible = V; }
  // The preparation's figures: current step (from 1), steps, percentage.
  int ProgressStep() const { return FPreparer.Step(); }
  int ProgressSteps() const { return FPreparer.Steps(); }
  int ProgressPercent() const { return FPreparer.Percent(); }
  // Whether a preparation run is going on.
  bool Preparing() const { return FPreparer.Running(); }
  // Waits for the running preparation and lets its result arrive (tools and tests).
  void WaitForDisplayCopy();
  // The preparation itself (hosts that need finer control, tests).
  TDisplayCopyPreparer& DisplayCopyPreparer() { return FPreparer; }
  // A display-mode change: the copy is made again for the new screen depth.
  void DisplayModeChanged();

  // ---- mouse and selection ----
  TActionMode ActionMode() const { return FActionMode; }
  void SetActionMode(TActionMode V);
  bool Selection() const { return FSelection; }
  void SetSelection(bool V);
  int SelectionLeft() const { return FSel.Left; }
  void SetSelectionLeft(int V);
  int SelectionTop() const { return FSel.Top; }
  void SetSelectionTop(int V);
  int SelectionWidth() const { return FSel.Width; }
  void SetSelectionWidth(int V);
  int SelectionHeight() const { return FSel.Height; }
  void SetSelectionHeight(int V);
  void SetSelectionBounds(int Left, int Top, int Width, int Height);
  QColor SelectionColor1() const { return FSelectionColor1; }
  void SetSelectionColor1(const QColor& C);
  QColor SelectionColor2() const { return FSelectionColor2; }
  void SetSelectionColor2(const QColor& C);
  // The selection in picture-box pixels.
  TIntRect SelectionRect() const;
  TMouseState MouseState() const { return FMouseState; }
  int SelectionPhase() const { return FPhase; }

  // ---- coordinate conversion ----
  int PicBoxToPictureX(int X) const { return BoxToPicture(X, FBox.Width(), FImageWidth); }
  int PicBoxToPictureY(int Y) const { return BoxToPicture(Y, FBox.Height(), FImageHeight); }
  int PictureToPicBoxX(int X) const { return PictureToBox(X, FBox.Width(), FImageWidth); }
  int PictureToPicBoxY(int Y) const { return PictureToBox(Y, FBox.Height(), FImageHeight); }

  // The cursor shown over the picture box at box point (X, Y) in the current state.
  QCursor CursorAt(int X, int Y) const;
  // The view's own cursors (32 x 32): pan-ready, panning, creation, move.
  static QCursor PanReadyCursor();
  static QCursor PanningCursor();
  static QCursor CreationCursor();
  static QCursor MoveCursor();

  // ---- events (unset: none) ----
  TPGNotifyEvent PicBoxOnClick, PicBoxOnDblClick;
  TPGDragDropEvent PicBoxOnDragDrop;
  TPGDragOverEvent PicBoxOnDragOver;
  TPGMouseEvent PicBoxOnMouseDown, PicBoxOnMouseUp;
  TPGMouseMoveEvent PicBoxOnMouseMove;
  TPGPaintEvent PicBoxOnPaint;
  TPGSetCursorEvent PicBoxOnSetCursor;
  TPGNotifyEvent OnClick, OnDblClick;
  TPGDragDropEvent OnDragDrop;
  TPGDragOverEvent OnDragOver;
  TPGMouseEvent OnMouseDown, OnMouseUp;
  TPGMouseMoveEvent OnMouseMove;
  TPGINewAutoSizeEvent OnNewAutoSize;
  TPGPaintEvent OnPaint, OnPainting;
  TPGNotifyEvent OnPixelGraphicChange;
  TPGProgressEvent OnPixelGraphicProgress;
  TPGNotifyEvent OnPixelGraphicProgressEnd, OnPixelGraphicProgressStart;
  TPGNotifyEvent OnSelectionChange, OnSelectionMade;
  TPGSetCursorEvent OnSetCursor;
  TPGNotifyEvent OnZoomFactorChange;

signals:
  // Emitted besides the events above, for hosts that prefer connections.
  void pixelGraphicChanged();
  void selectionChanged();
  void zoomFactorChanged();

protected:
  void paintEvent(QPaintEvent* E) override;
  void resizeEvent(QResizeEvent* E) override;
  void scrollContentsBy(int DX, int DY) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override;
  void mouseDoubleClickEvent(QMouseEvent* E) override;
  void contextMenuEvent(QContextMenuEvent* E) override;
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dragMoveEvent(QDragMoveEvent* E) override;
  void dropEvent(QDropEvent* E) override;

private:
  friend class TPicBox;
  void BoxMouseDown(QMouseEvent* E);
  void BoxMouseMove(QMouseEvent* E);
  void BoxMouseUp(QMouseEvent* E);
  void PaintBox(QPainter& P);
  void ReplacePicture(std::unique_ptr<TPixelGraphic> G);
  void HookPicture(TPixelGraphic& G);
  void UpdateScrollBars();
  void PlaceBoxWidget();
  int BarWidth() const;
  int BarHeight() const;
  bool CanPan() const;
  void StoreSelection(const TSelectionBounds& B);
  QRect FrameStrip(const TSelectionBounds& B) const;
  void AutoScrollTick();
  void AnimationTick();
  void UpdateBoxCursor(int X, int Y);
  void DrawTiles(QPainter& P, const TPixelGraphic& G, const QRect& Clip);
  void DrawPicture(QPainter& P, const QRect& Dest, const TPixelGraphic& G, bool MirrorH,
                   bool MirrorV, const QRect& Clip);
  void DrawClocks(QPainter& P, const QRect& Box);
  const QImage& FittedImage(const TPixelGraphic& G, int W, int H);
  void CopyArrived();
  void SourceReplacedByCopy(std::unique_ptr<TPixelGraphic> G);

  std::unique_ptr<TPixelGraphic> FPicture;
  int FImageWidth = 0, FImageHeight = 0;
  TDisplayCopyPreparer FPreparer;
  TDisplayCopySettings FSettings;
  TPicBox* FPicBox = nullptr;
  QString FFileName;

  TStretch FStretch = sNeverKAR;
  bool FCenter = false;
  long double FZoomFactor = 1.0L;
  long double FEffectiveZoom = 1.0L;
  bool FAutoSize = false;
  int FAutoSizeMaxWidth = 2147483647, FAutoSizeMaxHeight = 2147483647;
  int FAutoSizeMinWidth = 0, FAutoSizeMinHeight = 0;
  bool FRearrangeAlways = false;
  TTiling FTiling = tNone;
  bool FFlipHorizontal = false, FFlipVertical = false;
  TIntRect FBox;                         // content coordinates
  int FAreaWidth = -1, FAreaHeight = -1; // the area of the last layout
  bool FInLayout = false;

  QColor FColor, FPicBoxColor, FPicBoxFrameColor;
  bool FPicBoxParentColor = true;
  QCursor FPicBoxCursor;
  bool FPicBoxShowHint = false, FPicBoxParentShowHint = true;
  QPointer<QMenu> FPicBoxPopupMenu, FPopupMenu;
  intptr_t FPicBoxTag = 0;
  bool FShowHourGlass = true;
  TRGB FBackGroundColor = 0;
  TPGWarningAction FReadWarningAction = pgwaOKCancelBox;
  TPGWarningAction FSaveColorResWarningAction = pgwaOKCancelBox;

  bool FProgress5Clocks = true, FProgressClockVisible = true;
  QColor FProgressClockBkColor, FProgressClockLineColor;

  TActionMode FActionMode = amMoveImage;
  bool FSelection = false;
  TSelectionBounds FSel;
  QColor FSelectionColor1 = Qt::white, FSelectionColor2 = Qt::red;
  std::array<QBrush, 8> FBrushes;
  bool FBrushesValid = false;
  int FPhase = 0;
  TMouseState FMouseState = msIdle;
  TSelectionGesture FGesture;
  QPoint FLastPoint; // viewport pixels, while panning
  QPoint FLastBoxPoint;
  QTimer FAnimationTimer, FAutoScrollTimer;

  // The picture scaled to the box, so that repaints of a fitted view do not rescale it.
  QImage FFitted;
  const TPixelGraphic* FFittedSource = nullptr;
  uint64_t FFittedGeneration = 0;
  uint64_t FGeneration = 0; // bumped on every picture change
};

} // namespace orbisk
