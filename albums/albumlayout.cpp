#include "albums/albumlayout.h"

#include <algorithm>
#include <cmath>

namespace orbisk {

int RoundEven(double V) {
  return int(std::nearbyint(V));
}

TPageLayout ComputePageLayout(const TPrintPage& Page, int Rows, int Cols) {
  TPageLayout L;
  L.Rows = std::max(Rows, 1);
  L.Cols = std::max(Cols, 1);
  L.MarginLeft = RoundEven(Page.Px * Page.MarginLeft);
  L.MarginRight = RoundEven(Page.Px * Page.MarginRight);
  L.MarginTop = RoundEven(Page.Py * Page.MarginTop);
  L.MarginBottom = RoundEven(Page.Py * Page.MarginBottom);
  L.CellWidth = (Page.Width - L.MarginLeft - L.MarginRight) / L.Cols;
  L.CellHeight = (Page.Height - L.MarginTop - L.MarginBottom) / L.Rows;
  for (int R = 0; R < L.Rows; ++R)
    for (int C = 0; C < L.Cols; ++C)
      L.Frames.push_back({L.MarginLeft + L.CellWidth * C, L.MarginTop + L.CellHeight * R,
                          L.MarginLeft + L.CellWidth * (C + 1),
                          L.MarginTop + L.CellHeight * (R + 1)});
  return L;
}

TFrameRect FitPictureRect(const TFrameRect& F, int PictureWidth, int PictureHeight, int Border) {
  if (PictureWidth <= 0 || PictureHeight <= 0) return {F.Left, F.Top, F.Left, F.Top};
  const double R = double(PictureHeight) / double(PictureWidth);
  int W = F.Width() - 2 * Border;
  int H = RoundEven(R * W);
  if (H > F.Height() - 2 * Border) {
    H = F.Height() - 2 * Border;
    W = RoundEven(H / R);
  }
  W = std::max(W, 0);
  H = std::max(H, 0);
  int X = F.Left + (F.Width() - W) / 2;
  int Y = F.Top + (F.Height() - H) / 2;
  return {X, Y, X + W, Y + H};
}

int PrintResolution(TResizingQuality Q) {
  switch (Q) {
  case rqGood:
    return 160;
  case rqBest:
    return 240;
  default:
    return 200;
  }
}

void PrintPictureSize(int W, int H, int Px, int Py, int Resolution, int& PW, int& PH) {
  PW = std::max(1, int(std::trunc(double(W) / std::max(Px, 1) * Resolution)));
  PH = std::max(1, int(std::trunc(double(H) / std::max(Py, 1) * Resolution)));
}

int EmbeddedCaptionFontPixels(int Resolution) {
  return RoundEven(Resolution / 72.0 * 6);
}

TFrameRect EmbeddedCaptionBox(int W, int H, int TextWidth, int TextHeight, TEmbeddedPosition P) {
  const int BW = TextWidth + 10, BH = TextHeight + 10;
  int X = 10, Y = 10;
  switch (P) {
  case epTopLeft:
    break;
  case epBottomLeft:
    Y = H - 10 - BH;
    break;
  case epTopCenter:
    X = (W - BW) / 2;
    break;
  case epBottomCenter:
    X = (W - BW) / 2;
    Y = H - 10 - BH;
    break;
  case epTopRight:
    X = W - 10 - BW;
    break;
  case epBottomRight:
    X = W - 10 - BW;
    Y = H - 10 - BH;
    break;
  }
  return {X, Y, X + BW, Y + BH};
}

int AlbumPageCount(int Entries, int FramesPerPage) {
  if (Entries <= 0) return 0;
  FramesPerPage = std::max(FramesPerPage, 1);
  return (Entries + FramesPerPage - 1) / FramesPerPage;
}

} // namespace orbisk
