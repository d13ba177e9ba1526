#include "view/viewlayout.h"

#include <algorithm>
#include <cmath>

namespace orbisk {

namespace {

using Ext = long double;

int TruncToInt(Ext V) {
  V = std::trunc(V);
  if (V > Ext(INT32_MAX)) return INT32_MAX;
  if (V < Ext(INT32_MIN)) return INT32_MIN;
  return int(V);
}

int RoundToInt(Ext V) {
  return TruncToInt(std::nearbyint(V));
} // halves to even

// The largest box of the picture's aspect ratio inside the area.
TBoxSize Fit(int W, int H, int AW, int AH) {
  TBoxSize B;
  if (Ext(W) / H <= Ext(AW) / AH) {
    B.Height = AH;
    B.Width = TruncToInt(Ext(AH) * W / H);
    B.Scale = Ext(AH) / H;
  } else {
    B.Width = AW;
    B.Height = TruncToInt(Ext(AW) * H / W);
    B.Scale = Ext(AW) / W;
  }
  return B;
}

// Fills the shorter side of the area, leaving room for the scroll bar the longer side needs.
TBoxSize Fill(int W, int H, int AW, int AH, int BarW, int BarH) {
  TBoxSize B = Fit(W, H, AW, AH);
  if (B.Width >= AW - BarW && B.Height >= AH - BarH) return B;
  if (Ext(W) / H < Ext(AW) / AH) {
    B.Width = std::max(1, AW - BarW);
    B.Height = TruncToInt(Ext(B.Width) * H / W);
    B.Scale = Ext(B.Width) / W;
  } else {
    B.Height = std::max(1, AH - BarH);
    B.Width = TruncToInt(Ext(B.Height) * W / H);
    B.Scale = Ext(B.Height) / H;
  }
  return B;
}

TBoxSize Natural(int W, int H) {
  return TBoxSize{W, H, 1.0L};
}

TBoxSize ShrinkLongerEdge(int W, int H, int AW, int AH, int BarW, int BarH) {
  if ((W > AW && H > AH - BarH) || (W > AW - BarW && H > AH)) return Fill(W, H, AW, AH, BarW, BarH);
  return Natural(W, H);
}

} // namespace

TBoxSize StretchBox(TStretch Rule, int W, int H, int AW, int AH, int BarW, int BarH,
                    long double ZoomFactor) {
  TBoxSize B = Natural(W, H);
  if (W > 0 && H > 0 && AW > 0 && AH > 0) {
    switch (Rule) {
    case sNeverKAR:
      break;
    case sAlways:
      B = TBoxSize{AW, AH, -1.0L};
      break;
    case sAlwaysKAR:
      B = Fit(W, H, AW, AH);
      break;
    case sShrink:
      if (AW < W) B.Width = AW;
      if (AH < H) B.Height = AH;
      if (B.Width != W || B.Height != H) B.Scale = -1.0L;
      break;
    case sShrinkKAR:
      if (!(W <= AW && H <= AH)) B = Fit(W, H, AW, AH);
      break;
    case sEnlarge: {
      int HA = AW - (H > AH ? BarW : 0);
      int VA = AH - (W > AW ? BarH : 0);
      if (W < HA) B.Width = HA;
      if (H < VA) B.Height = VA;
      if (B.Width != W || B.Height != H) B.Scale = -1.0L;
      break;
    }
    case sEnlargeKAR:
      if (W < AW && H < AH) B = Fit(W, H, AW, AH);
      break;
    case sAlwaysLongerEdgeKAR:
      B = Fill(W, H, AW, AH, BarW, BarH);
      break;
    case sShrinkLongerEdgeKAR:
      B = ShrinkLongerEdge(W, H, AW, AH, BarW, BarH);
      break;
    case sEnlargeShrinkLongerEdgeKAR:
      if (W < AW && H < AH)
        B = Fit(W, H, AW, AH);
      else
        B = ShrinkLongerEdge(W, H, AW, AH, BarW, BarH);
      break;
    case sEnlargeLongerEdgeKAR:
      if (W < AW || H < AH) B = Fill(W, H, AW, AH, BarW, BarH);
      break;
    case sZoomKAR: {
      Ext Z = ZoomFactor > 0 ? Ext(ZoomFactor) : 1.0L;
      B = TBoxSize{RoundToInt(W * Z), RoundToInt(H * Z), Z};
      break;
    }
    }
  }
  // A box of zero width or height (rounding, extreme aspect ratios, tiny areas) would break
  // every later division by the box size.
  if (W > 0 && H > 0) {
    B.Width = std::max(B.Width, 1);
    B.Height = std::max(B.Height, 1);
  }
  return B;
}

TBoxPlacement PlaceBox(int BoxW, int BoxH, int AW, int AH, int BarW, int BarH, bool Center) {
  TBoxPlacement P;
  int HA = AW, VA = AH;
  for (int Pass = 0; Pass < 2; ++Pass) {
    if (!P.HorzBar && HA < BoxW) {
      VA -= BarH;
      P.HorzBar = true;
    }
    if (!P.VertBar && VA < BoxH) {
      HA -= BarW;
      P.VertBar = true;
    }
  }
  P.ClientWidth = HA;
  P.ClientHeight = VA;
  if (Center) {
    if (BoxH < VA) P.Top = (VA - BoxH) / 2;
    if (BoxW < HA) P.Left = (HA - BoxW) / 2;
    if (P.HorzBar) P.ScrollX = (BoxW - HA) / 2;
    if (P.VertBar) P.ScrollY = (BoxH - VA) / 2;
  }
  return P;
}

TIntSize AutoSizeWanted(int ImageWidth, int ImageHeight, int Border, int MinWidth, int MaxWidth,
                        int MinHeight, int MaxHeight, int BarWidth, int BarHeight) {
  int64_t W = int64_t(ImageWidth) + 2 * int64_t(Border);
  int64_t H = int64_t(ImageHeight) + 2 * int64_t(Border);
  bool HorzBar = false, VertBar = false;
  for (int Pass = 0; Pass < 2; ++Pass) {
    if (!HorzBar && W > MaxWidth) {
      H += BarHeight;
      HorzBar = true;
    }
    if (!VertBar && H > MaxHeight) {
      W += BarWidth;
      VertBar = true;
    }
  }
  W = std::max<int64_t>(std::min<int64_t>(W, MaxWidth), MinWidth);
  H = std::max<int64_t>(std::min<int64_t>(H, MaxHeight), MinHeight);
  return TIntSize{int(W), int(H)};
}

int BoxToPicture(int V, int BoxExtent, int ImageExtent) {
  if (BoxExtent <= 0) return 0;
  return int(int64_t(V) * ImageExtent / BoxExtent);
}

int PictureToBox(int V, int BoxExtent, int ImageExtent) {
  if (ImageExtent <= 0) return 0;
  return int(int64_t(V) * BoxExtent / ImageExtent);
}

TIntRect SelectionBoxRect(int Left, int Top, int Width, int Height, int BoxWidth, int BoxHeight,
                          int ImageWidth, int ImageHeight) {
  return TIntRect{PictureToBox(Left, BoxWidth, ImageWidth),
                  PictureToBox(Top, BoxHeight, ImageHeight),
                  PictureToBox(int(int64_t(Left) + Width), BoxWidth, ImageWidth),
                  PictureToBox(int(int64_t(Top) + Height), BoxHeight, ImageHeight)};
}

TIntRect HandleRect(int I, const TIntRect& S) {
  const int MidX = (S.Left + S.Right) / 2 - 2, MidY = (S.Top + S.Bottom) / 2 - 2;
  const int Xs[3] = {S.Left - 8, MidX, S.Right + 3};
  const int Ys[3] = {S.Top - 8, MidY, S.Bottom + 3};
  static constexpr int Col[8] = {0, 1, 2, 0, 2, 0, 1, 2};
  static constexpr int Row[8] = {0, 0, 0, 1, 1, 2, 2, 2};
  const int X = Xs[Col[I]], Y = Ys[Row[I]];
  return TIntRect{X, Y, X + 5, Y + 5};
}

int HandleAt(const TIntRect& Sel, int X, int Y) {
  for (int I = 0; I < 8; ++I)
    if (HandleRect(I, Sel).Contains(X, Y)) return I;
  return -1;
}

TTileRange TileRange(const TIntRect& Box, int ClientWidth, int ClientHeight, bool Tiling) {
  TTileRange R;
  const int BW = Box.Width(), BH = Box.Height();
  if (!Tiling || BW <= 0 || BH <= 0) return R;
  if (Box.Top > 0) R.FirstRow = (1 - Box.Bottom) / BH;
  if (Box.Bottom < ClientHeight) R.LastRow = (ClientHeight - Box.Top - 1) / BH;
  if (Box.Left > 0) R.FirstCol = (1 - Box.Right) / BW;
  if (Box.Right < ClientWidth) R.LastCol = (ClientWidth - Box.Left - 1) / BW;
  return R;
}

bool TileMirroredHorizontally(int Col, TTiling Tiling, bool FlipHorizontal) {
  bool Odd = Col % 2 != 0;
  return FlipHorizontal != (Odd && (Tiling == tMirrorHorizontal || Tiling == tMirror));
}

bool TileMirroredVertically(int Row, TTiling Tiling, bool FlipVertical) {
  bool Odd = Row % 2 != 0;
  return FlipVertical != (Odd && (Tiling == tMirrorVertical || Tiling == tMirror));
}

bool SelectionPatternSecond(int X, int Y, int I) {
  return ((Y + X - I + 8) % 8) > 3;
}

int SelectionBrushIndex(int Phase, int Left, int Top) {
  int I = (Phase + Left + Top) % 8;
  return I < 0 ? I + 8 : I;
}

TMouseState MouseDownState(const TMouseDownContext& C, int X, int Y) {
  const bool Inside = C.SelectionShown && C.SelectionRect.Contains(X, Y);
  if (Inside && (C.Mode == amMoveResizeCreateSelection || C.Mode == amMoveSelection ||
                 C.Mode == amMoveSelectionMoveImage))
    return msMoveSelection;
  if ((C.Mode == amMoveImage || (C.Mode == amMoveSelectionMoveImage && !Inside)) && C.CanPan)
    return msPanning;
  if (C.Mode == amMoveResizeCreateSelection && C.SelectionShown) {
    int H = HandleAt(C.SelectionRect, X, Y);
    if (H >= 0) return TMouseState(msResizeTopLeft + H);
  }
  if (C.Mode == amMoveResizeCreateSelection || C.Mode == amCreateSelection)
    return msCreateSelection;
  return msIdle;
}

namespace {
bool GrabsLeft(TMouseState S) {
  return S == msResizeTopLeft || S == msResizeLeft || S == msResizeBottomLeft;
}
bool GrabsRight(TMouseState S) {
  return S == msResizeTopRight || S == msResizeRight || S == msResizeBottomRight;
}
bool GrabsTop(TMouseState S) {
  return S == msResizeTopLeft || S == msResizeTop || S == msResizeTopRight;
}
bool GrabsBottom(TMouseState S) {
  return S == msResizeBottomLeft || S == msResizeBottom || S == msResizeBottomRight;
}
} // namespace

void TSelectionGesture::Begin(TMouseState S, int PX, int PY, const TSelectionBounds& Current) {
  FState = S;
  FStart = Current;
  FGrabX = FGrabY = 0;
  switch (S) {
  case msMoveSelection:
    FGrabX = PX - Current.Left;
    FGrabY = PY - Current.Top;
    break;
  case msCreateSelection:
    FAnchorX = PX;
    FAnchorY = PY;
    FStart = TSelectionBounds{PX, PY, 1, 1};
    break;
  default:
    if (GrabsLeft(S)) FGrabX = PX - Current.Left;
    if (GrabsRight(S)) FGrabX = PX - (Current.Left + Current.Width);
    if (GrabsTop(S)) FGrabY = PY - Current.Top;
    if (GrabsBottom(S)) FGrabY = PY - (Current.Top + Current.Height);
    break;
  }
}

TSelectionBounds TSelectionGesture::Move(int PX, int PY, int ImageWidth, int ImageHeight) const {
  TSelectionBounds B = FStart;
  switch (FState) {
  case msMoveSelection:
    // At least one pixel of the selection stays over the picture.
    B.Left = std::clamp(PX - FGrabX, 1 - B.Width, std::max(1 - B.Width, ImageWidth - 1));
    B.Top = std::clamp(PY - FGrabY, 1 - B.Height, std::max(1 - B.Height, ImageHeight - 1));
    break;
  case msCreateSelection:
    B.Left = std::min(FAnchorX, PX);
    B.Top = std::min(FAnchorY, PY);
    B.Width = std::max(FAnchorX, PX) - B.Left + 1;
    B.Height = std::max(FAnchorY, PY) - B.Top + 1;
    break;
  case msIdle:
  case msPanning:
    break;
  default: {
    const int Right = FStart.Left + FStart.Width, Bottom = FStart.Top + FStart.Height;
    if (GrabsLeft(FState)) {
      B.Left = std::min(PX - FGrabX, Right - 1);
      B.Width = Right - B.Left;
    }
    if (GrabsRight(FState)) B.Width = std::max(PX - FGrabX, B.Left + 1) - B.Left;
    if (GrabsTop(FState)) {
      B.Top = std::min(PY - FGrabY, Bottom - 1);
      B.Height = Bottom - B.Top;
    }
    if (GrabsBottom(FState)) B.Height = std::max(PY - FGrabY, B.Top + 1) - B.Top;
    break;
  }
  }
  return B;
}

std::vector<TIntPoint> ClockPositions(const TIntRect& Box, bool FiveClocks) {
  std::vector<TIntPoint> P;
  const int W = Box.Width(), H = Box.Height();
  if (W > 20 && H > 20) P.push_back({Box.Left + W / 2 - 7, Box.Top + H / 2 - 7});
  if (FiveClocks && W >= 101 && H >= 101) {
    P.push_back({Box.Left + 5, Box.Top + 5});
    P.push_back({Box.Right - 20, Box.Top + 5});
    P.push_back({Box.Left + 5, Box.Bottom - 20});
    P.push_back({Box.Right - 20, Box.Bottom - 20});
  }
  return P;
}

void ClockHands(const TIntPoint& Corner, int Percent, int Step, TIntPoint& Long, TIntPoint& Short) {
  const Ext Pi2 = 2 * 3.14159265358979323846264338327950288L;
  const int CX = Corner.X + 7, CY = Corner.Y + 7;
  const Ext A = Percent * Pi2 / 100;
  const Ext B = ((Step - 1) * Pi2 + A) / 12;
  Long = {CX + RoundToInt(7 * std::sin(A)), CY - RoundToInt(7 * std::cos(A))};
  Short = {CX + RoundToInt(6 * std::sin(B)), CY - RoundToInt(6 * std::cos(B))};
}

} // namespace orbisk
