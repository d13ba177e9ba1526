// Page layout of a printed album: frames per page, each picture fitted and centred in its frame,
// the size of the print picture and the place of an embedded caption. Plain arithmetic, so the
// figures can be checked without a printer.
#pragma once

#include "albums/albumprefs.h"

#include <vector>

namespace orbisk {

// A rectangle by its edges; Right and Bottom are one past the last pixel.
struct TFrameRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TFrameRect&) const = default;
};

// The page a printer offers: its size in device pixels, its resolution and the margins.
struct TPrintPage {
  int Width = 2550, Height = 3300; // letter at 300 dpi
  int Px = 300, Py = 300;          // pixels per inch across and down
  double MarginLeft = 1.0, MarginTop = 1.0, MarginRight = 1.0, MarginBottom = 1.0; // inches
};

struct TPageLayout {
  int MarginLeft = 0, MarginTop = 0, MarginRight = 0, MarginBottom = 0; // pixels
  int CellWidth = 0, CellHeight = 0;
  int Rows = 1, Cols = 1;
  std::vector<TFrameRect> Frames; // row by row
  int FramesPerPage() const { return Rows * Cols; }
};

// Rows and columns below 1 count as 1.
TPageLayout ComputePageLayout(const TPrintPage& Page, int Rows, int Cols);

// The picture's rectangle in Frame: as wide as the frame less twice the border, or as high when
// that is too tall, keeping the picture's aspect, centred. An empty picture gives an empty rect.
TFrameRect FitPictureRect(const TFrameRect& Frame, int PictureWidth, int PictureHeight, int Border);

// Resolution of the print picture for a resizing quality (160, 200, 240).
int PrintResolution(TResizingQuality Q);
// Size of the print picture for a picture rectangle of W x H page pixels (at least 1 x 1).
void PrintPictureSize(int W, int H, int Px, int Py, int Resolution, int& PrintWidth,
                      int& PrintHeight);
// Pixel size of the font of embedded captions: 6 points at the print resolution.
int EmbeddedCaptionFontPixels(int Resolution);
// The box of an embedded caption (text plus 5 pixels each way) on a W x H print picture.
TFrameRect EmbeddedCaptionBox(int W, int H, int TextWidth, int TextHeight, TEmbeddedPosition P);

// Number of pages for N entries.
int AlbumPageCount(int Entries, int FramesPerPage);

// Round half to even, as the layout's rounding is defined.
int RoundEven(double V);

} // namespace orbisk
