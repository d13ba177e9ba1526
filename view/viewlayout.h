// The picture view's layout maths without a window: the stretch rules, centring, auto-size,
// coordinate conversion, tiles, selection handles and the mouse gestures on the selection.
#pragma once

#include <cstdint>
#include <vector>

namespace orbisk {

// What a left-button drag on the picture does.
enum TActionMode : int {
  amMoveImage = 0,
  amMoveResizeCreateSelection,
  amMoveSelection,
  amMoveSelectionMoveImage,
  amCreateSelection,
  amNone,
};

// Layout rules (KAR: keep aspect ratio).
enum TStretch : int {
  sNeverKAR = 0,
  sAlways,
  sAlwaysKAR,
  sShrink,
  sShrinkKAR,
  sEnlarge,
  sEnlargeKAR,
  sAlwaysLongerEdgeKAR,
  sShrinkLongerEdgeKAR,
  sEnlargeShrinkLongerEdgeKAR,
  sEnlargeLongerEdgeKAR,
  sZoomKAR,
};

enum TTiling : int { tNone = 0, tRepeat, tMirrorHorizontal, tMirrorVertical, tMirror };

// Mouse states of the view.
enum TMouseState : int {
  msIdle = 0,
  msPanning = 1,
  msMoveSelection = 2,
  msCreateSelection = 3,
  msResizeTopLeft = 4,
  msResizeTop = 5,
  msResizeTopRight = 6,
  msResizeLeft = 7,
  msResizeRight = 8,
  msResizeBottomLeft = 9,
  msResizeBottom = 10,
  msResizeBottomRight = 11,
};

// A rectangle with exclusive right and bottom edges.
struct TIntRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(int X, int Y) const { return Left <= X && X < Right && Top <= Y && Y < Bottom; }
  bool operator==(const TIntRect&) const = default;
};

struct TIntSize {
  int Width = 0, Height = 0;
  bool operator==(const TIntSize&) const = default;
};

// Box size and scale of one stretch rule. Scale -1 means stretched without one common scale.
struct TBoxSize {
  int Width = 0, Height = 0;
  long double Scale = 1.0L;
};

// The box for a W x H picture in an aW x aH area. BarWidth/BarHeight are the extents of the
// vertical and horizontal scroll bars. A non-empty picture always gets a box of at least 1 x 1.
TBoxSize StretchBox(TStretch Rule, int W, int H, int AW, int AH, int BarWidth, int BarHeight,
                    long double ZoomFactor);

// Where the box goes in the area and where the scroll bars start.
struct TBoxPlacement {
  int Left = 0, Top = 0;
  int ScrollX = 0, ScrollY = 0;          // the centred start of an oversized centred box
  int ClientWidth = 0, ClientHeight = 0; // the area left beside the needed scroll bars
  bool HorzBar = false, VertBar = false;
};
TBoxPlacement PlaceBox(int BoxWidth, int BoxHeight, int AW, int AH, int BarWidth, int BarHeight,
                       bool Center);

// The control size AutoSize asks for (OnNewAutoSize).
TIntSize AutoSizeWanted(int ImageWidth, int ImageHeight, int Border, int MinWidth, int MaxWidth,
                        int MinHeight, int MaxHeight, int BarWidth, int BarHeight);

// Picture-box pixels to picture pixels and back (integer, truncated).
int BoxToPicture(int V, int BoxExtent, int ImageExtent);
int PictureToBox(int V, int BoxExtent, int ImageExtent);
// The selection (picture pixels) in box pixels.
TIntRect SelectionBoxRect(int Left, int Top, int Width, int Height, int BoxWidth, int BoxHeight,
                          int ImageWidth, int ImageHeight);

// Handle I (0 top-left, 1 top-middle, 2 top-right, 3 middle-left, 4 middle-right, 5 bottom-left,
// 6 bottom-middle, 7 bottom-right) of a selection's box rectangle: a 5 x 5 square outside it.
TIntRect HandleRect(int I, const TIntRect& Sel);
// The first handle that holds the point, or -1.
int HandleAt(const TIntRect& Sel, int X, int Y);

// Tiles drawn for a box (client coordinates) in a client area; without tiling only (0, 0).
struct TTileRange {
  int FirstCol = 0, LastCol = 0, FirstRow = 0, LastRow = 0;
};
TTileRange TileRange(const TIntRect& Box, int ClientWidth, int ClientHeight, bool Tiling);
bool TileMirroredHorizontally(int Col, TTiling Tiling, bool FlipHorizontal);
bool TileMirroredVertically(int Row, TTiling Tiling, bool FlipVertical);

// The moving frame's brush I (0..7): true where pixel (X, Y) of its 8 x 8 pattern has the
// second selection colour.
bool SelectionPatternSecond(int X, int Y, int I);
// Brush number for a frame whose box rectangle starts at (Left, Top).
int SelectionBrushIndex(int Phase, int Left, int Top);

// The selection in picture pixels.
struct TSelectionBounds {
  int Left = 0, Top = 0, Width = 1, Height = 1;
  bool operator==(const TSelectionBounds&) const = default;
};

// What a left button press on the picture box starts.
struct TMouseDownContext {
  TActionMode Mode = amMoveImage;
  bool SelectionShown = false;
  TIntRect SelectionRect; // box pixels
  bool CanPan = false;    // the picture overflows the client area with a visible scroll bar
};
// The state (msIdle when nothing starts) and, for resizing, the handle hit.
TMouseState MouseDownState(const TMouseDownContext& C, int BoxX, int BoxY);

// A selection gesture in picture pixels: moving, creating or resizing by a handle.
class TSelectionGesture {
public:
  // Starts state S (msMoveSelection, msCreateSelection or a resize state) at picture point P.
  void Begin(TMouseState S, int PX, int PY, const TSelectionBounds& Current);
  // The selection for the picture point P; ImageWidth/ImageHeight clamp a moved selection.
  TSelectionBounds Move(int PX, int PY, int ImageWidth, int ImageHeight) const;
  TMouseState State() const { return FState; }

private:
  TMouseState FState = msIdle;
  TSelectionBounds FStart;
  int FGrabX = 0, FGrabY = 0;     // moving: point - origin; resizing: point - grabbed edge
  int FAnchorX = 0, FAnchorY = 0; // creating
};

// Progress clocks: the top-left corners of the 15 x 15 clocks over a box (client coordinates).
struct TIntPoint {
  int X = 0, Y = 0;
  bool operator==(const TIntPoint&) const = default;
};
std::vector<TIntPoint> ClockPositions(const TIntRect& Box, bool FiveClocks);
// End points of the long and the short hand of a clock whose corner is at Corner.
void ClockHands(const TIntPoint& Corner, int Percent, int Step, TIntPoint& Long, TIntPoint& Short);

} // namespace orbisk
