// The pixel image on the Qt desktop: drawing, the canvas on its pixels, the exchange with QImage,
// the screen depth, the clipboard and printing.
#pragma once

#include "engine/pixelgraphic.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QMimeData;
class QPrinter;
class QWidget;

namespace orbisk {

// ---- screen depth (true colour on Linux; injectable so palette-screen paths stay testable)
using TScreenDepthQuery = std::function<int()>;
void SetScreenDepthQuery(TScreenDepthQuery Query); // nullptr restores the default (24)
int ScreenDepth();

// ---- drawing
// Draws the whole picture stretched onto Dest. 24-bit and 1/8-bit pictures are drawn from their
// own buffer (no copy); 4-bit pictures through an 8-bit copy of the rows that are drawn.
void DrawPixelGraphic(QPainter& Painter, const QRectF& Dest, const TPixelGraphic& G);
// The same for the source area Src (picture coordinates) of the picture.
void DrawPixelGraphic(QPainter& Painter, const QRectF& Dest, const TPixelGraphic& G,
                      const QRect& Src);

// ---- exchange with QImage (the framework bitmap)
// A top-down RGB32 copy of the picture's colours.
QImage ToQImage(const TPixelGraphic& G);
// Replaces the picture by the image: 1-bit mono and 8-bit indexed images keep their depth and
// palette, everything else becomes 24 bits. Recognises the palette kind; signals one change.
void AssignFromQImage(TPixelGraphic& G, const QImage& Image);

// ---- the canvas bound to the pixels
// While it lives, Painter() draws on the picture in picture coordinates (y down). True-colour
// pictures are painted in place; palette pictures through a true-colour copy whose changed
// pixels are written back by nearest colour when the canvas ends. Signals a change at the end.
class TPGCanvas {
public:
  explicit TPGCanvas(TPixelGraphic& G);
  ~TPGCanvas();
  TPGCanvas(const TPGCanvas&) = delete;
  TPGCanvas& operator=(const TPGCanvas&) = delete;
  QPainter& Painter() { return *FPainter; }

private:
  TPixelGraphic& FG;
  QImage FImage;
  QImage FOriginal; // palette pictures: the colours before painting
  std::unique_ptr<QPainter> FPainter;
};

// ---- clipboard (a QImage, "image/bmp" as a whole BMP file and "image/png")
QMimeData* MakeClipboardData(TPixelGraphic& G);
void CopyToClipboard(TPixelGraphic& G);
// Loads "image/bmp" (a BMP file, or a packed bitmap without file header), "image/png" or an
// image from the data, in that order of preference;
// raises EPGUnknownClipboardFormat when it holds none of them.
void LoadFromMimeData(TPixelGraphic& G, const QMimeData* Data);
void PasteFromClipboard(TPixelGraphic& G);

// ---- printing
// The rectangle of the largest picture of the picture's aspect ratio on the page, corrected by
// the printer's pixel aspect (AspectX, AspectY) and centred.
QRect PrintRect(int Width, int Height, int PageWidth, int PageHeight, int AspectX, int AspectY);
// "<Title> Graphic WxHx2^BitCount".
QString PrintJobTitle(const QString& AppTitle, const TPixelGraphic& G);
// Prints the picture on one page. With ShowDialog a print dialog owned by Owner comes first
// (false when it is cancelled). The printer's orientation is restored afterwards.
bool PrintPixelGraphic(TPixelGraphic& G, QPrinter& Printer, bool ShowDialog, bool AutoOrientation,
                       QWidget* Owner, const QString& AppTitle);

} // namespace orbisk
