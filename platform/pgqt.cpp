#include "platform/pgqt.h"
#include "engine/stream.h"
#include "platform/codecsettings.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>

#include <cmath>
#include <cstring>

namespace orbisk {

// ---------------------------------------------------------------------------------------------
// screen depth

namespace {
TScreenDepthQuery& DepthSlot() {
  static TScreenDepthQuery Q;
  return Q;
}
} // namespace

void SetScreenDepthQuery(TScreenDepthQuery Query) {
  DepthSlot() = std::move(Query);
}

int ScreenDepth() {
  return DepthSlot() ? DepthSlot()() : 24;
}

// ---------------------------------------------------------------------------------------------
// drawing

namespace {

// The colour table a bitmap of this depth draws with: entries past the palette repeat entry 0.
QList<QRgb> ColorTable(const TPixelGraphic& G, int Size) {
  QList<QRgb> T(Size, qRgb(0, 0, 0));
  const auto& P = G.Palette();
  for (int I = 0; I < Size; ++I) {
    TRGB C = I < int(P.size()) ? P[size_t(I)] : (P.empty() ? 0 : P[0]);
    T[I] = qRgb(int(RedOf(C)), int(GreenOf(C)), int(BlueOf(C)));
  }
  return T;
}

// The rows Src.top() .. Src.bottom() of the picture as an image stored bottom-up (row 0 is the
// picture's row Src.bottom()). Shares the picture's buffer except for 4-bit pictures.
QImage BottomUpRows(const TPixelGraphic& G, const QRect& Src) {
  const int Top = Src.top(), Rows = Src.height();
  const uchar* First = G.ScanLine(Top + Rows - 1);
  const qsizetype Bpl = qsizetype(G.RowBytes());
  switch (G.BitCountNum()) {
  case 3:
    return QImage(First, G.Width(), Rows, Bpl, QImage::Format_BGR888);
  case 2: {
    QImage I(First, G.Width(), Rows, Bpl, QImage::Format_Indexed8);
    I.setColorTable(ColorTable(G, 256));
    return I;
  }
  case 0: {
    QImage I(First, G.Width(), Rows, Bpl, QImage::Format_Mono);
    I.setColorTable(ColorTable(G, 2));
    return I;
  }
  default: {
    // Qt has no 4-bit format: expand the drawn rows to one index byte per pixel.
    QImage I(G.Width(), Rows, QImage::Format_Indexed8);
    I.setColorTable(ColorTable(G, 16));
    for (int R = 0; R < Rows; ++R) {
      const uchar* S = G.ScanLine(Top + Rows - 1 - R);
      uchar* D = I.scanLine(R);
      for (int X = 0; X < G.Width(); ++X)
        D[X] = (X & 1) ? (S[X >> 1] & 0x0F) : (S[X >> 1] >> 4);
    }
    return I;
  }
  }
}

} // namespace

void DrawPixelGraphic(QPainter& Painter, const QRectF& Dest, const TPixelGraphic& G,
                      const QRect& SrcArea) {
  if (G.Empty()) return;
  QRect Src = SrcArea.intersected(QRect(0, 0, G.Width(), G.Height()));
  if (Src.isEmpty() || Dest.isEmpty()) return;
  QImage Rows = BottomUpRows(G, Src);
  Painter.save();
  // The rows are stored bottom-up: draw them mirrored onto the destination.
  Painter.translate(Dest.left(), Dest.top() + Dest.height());
  Painter.scale(1, -1);
  Painter.drawImage(QRectF(0, 0, Dest.width(), Dest.height()), Rows,
                    QRectF(Src.left(), 0, Src.width(), Src.height()));
  Painter.restore();
}

void DrawPixelGraphic(QPainter& Painter, const QRectF& Dest, const TPixelGraphic& G) {
  DrawPixelGraphic(Painter, Dest, G, QRect(0, 0, G.Width(), G.Height()));
}

// ---------------------------------------------------------------------------------------------
// QImage exchange

QImage ToQImage(const TPixelGraphic& G) {
  if (G.Empty()) return QImage();
  QImage I(G.Width(), G.Height(), QImage::Format_RGB32);
  for (int Y = 0; Y < G.Height(); ++Y) {
    QRgb* D = reinterpret_cast<QRgb*>(I.scanLine(Y));
    if (G.BitCountNum() == 3) {
      const uint8_t* S = G.ScanLine(Y);
      for (int X = 0; X < G.Width(); ++X, S += 3)
        D[X] = qRgb(S[2], S[1], S[0]);
    } else {
      for (int X = 0; X < G.Width(); ++X) {
        TRGB C = G.GetPixelColor(X, Y);
        D[X] = qRgb(int(RedOf(C)), int(GreenOf(C)), int(BlueOf(C)));
      }
    }
  }
  return I;
}

void AssignFromQImage(TPixelGraphic& G, const QImage& Source) {
  TUpdateScope Update(G);
  G.FileGamma = CurrentReadOptions().ScreenGamma;
  if (Source.isNull()) {
    G.SetSize(0, 0, 3);
    return;
  }
  QImage Img = Source;
  int Code = 3;
  if (Img.format() == QImage::Format_Mono || Img.format() == QImage::Format_MonoLSB) {
    Img = Img.convertToFormat(QImage::Format_Mono);
    Code = 0;
  } else if (Img.format() == QImage::Format_Indexed8 && Img.colorCount() <= 256) {
    Code = 2;
  } else {
    Img = Img.convertToFormat(QImage::Format_RGB888);
  }
  G.SetSize(0, 0, Code);
  if (Code != 3) {
    G.SetPaletteCount(std::max(1, int(Img.colorCount())));
    for (int I = 0; I < Img.colorCount(); ++I) {
      QRgb C = Img.color(I);
      G.SetPaletteEntry(I, RGBOf(unsigned(qRed(C)), unsigned(qGreen(C)), unsigned(qBlue(C))));
    }
  }
  G.SetSize(Img.width(), Img.height(), Code);
  for (int Y = 0; Y < Img.height(); ++Y) {
    const uchar* S = Img.constScanLine(Y);
    uint8_t* D = G.ScanLine(Y);
    if (Code == 3) {
      for (int X = 0; X < Img.width(); ++X) {
        D[3 * X] = S[3 * X + 2];
        D[3 * X + 1] = S[3 * X + 1];
        D[3 * X + 2] = S[3 * X];
      }
    } else {
      std::memcpy(D, S, size_t(std::min<qsizetype>(Img.bytesPerLine(), G.RowBytes())));
    }
  }
  G.RecognisePaletteKind();
}

// ---------------------------------------------------------------------------------------------
// canvas

TPGCanvas::TPGCanvas(TPixelGraphic& G) : FG(G) {
  if (G.Empty()) {
    FImage = QImage(1, 1, QImage::Format_RGB32);
  } else if (G.BitCountNum() == 3) {
    FImage = QImage(G.ScanLine(G.Height() - 1), G.Width(), G.Height(), qsizetype(G.RowBytes()),
                    QImage::Format_BGR888);
  } else {
    FImage = ToQImage(G);
    FOriginal = FImage.copy();
  }
  FPainter = std::make_unique<QPainter>(&FImage);
  if (!G.Empty() && G.BitCountNum() == 3) {
    // The buffer is bottom-up: picture row y is image row Height - 1 - y.
    FPainter->translate(0, G.Height());
    FPainter->scale(1, -1);
  }
}

TPGCanvas::~TPGCanvas() {
  FPainter->end();
  if (!FOriginal.isNull()) {
    for (int Y = 0; Y < FImage.height(); ++Y) {
      const QRgb* Now = reinterpret_cast<const QRgb*>(FImage.constScanLine(Y));
      const QRgb* Was = reinterpret_cast<const QRgb*>(FOriginal.constScanLine(Y));
      for (int X = 0; X < FImage.width(); ++X)
        if (Now[X] != Was[X])
          FG.SetPixelColor(
              X, Y,
              RGBOf(unsigned(qRed(Now[X])), unsigned(qGreen(Now[X])), unsigned(qBlue(Now[X]))));
    }
  }
  FG.Changed();
}

// ---------------------------------------------------------------------------------------------
// clipboard

// "image/bmp" holds a whole BMP file (programs reading that type expect its file header);
// "image/png" is what most programs on the desktop read first.
QMimeData* MakeClipboardData(TPixelGraphic& G) {
  auto* Data = new QMimeData;
  TPGMemoryStream Bmp;
  G.SaveToStream(Bmp);
  Data->setData("image/bmp",
                QByteArray(reinterpret_cast<const char*>(Bmp.Memory()), qsizetype(Bmp.Size())));
  const QImage Image = ToQImage(G);
  QByteArray Png;
  QBuffer Buffer(&Png);
  if (Buffer.open(QIODevice::WriteOnly) && Image.save(&Buffer, "PNG"))
    Data->setData("image/png", Png);
  Data->setImageData(Image);
  return Data;
}

void CopyToClipboard(TPixelGraphic& G) {
  QGuiApplication::clipboard()->setMimeData(MakeClipboardData(G));
}

void LoadFromMimeData(TPixelGraphic& G, const QMimeData* Data) {
  if (Data && Data->hasFormat("image/bmp")) {
    QByteArray B = Data->data("image/bmp");
    if (B.size() >= 2 && B[0] == 'B' && B[1] == 'M') {
      TPGMemoryStream S(B.constData(), size_t(B.size()));
      G.LoadFromStreamExt(S, "bmp", 0, CurrentReadOptions());
    } else {
      G.LoadFromPackedDIB(reinterpret_cast<const uint8_t*>(B.constData()), size_t(B.size()));
    }
    return;
  }
  if (Data && Data->hasFormat("image/png")) {
    const QImage Image = QImage::fromData(Data->data("image/png"), "PNG");
    if (!Image.isNull()) {
      AssignFromQImage(G, Image);
      return;
    }
  }
  if (Data && Data->hasImage()) {
    AssignFromQImage(G, qvariant_cast<QImage>(Data->imageData()));
    return;
  }
  throw EPGUnknownClipboardFormat(EngineMessage(msgUnknownClipboardFormat));
}

void PasteFromClipboard(TPixelGraphic& G) {
  LoadFromMimeData(G, QGuiApplication::clipboard()->mimeData());
}

// ---------------------------------------------------------------------------------------------
// printing

QRect PrintRect(int W, int H, int PW, int PH, int AX, int AY) {
  if (W <= 0 || H <= 0 || PW <= 0 || PH <= 0 || AX <= 0 || AY <= 0) return QRect();
  double Ratio = double(W) / H;
  if (Ratio >= (double(PW) / PH) * (double(AY) / AX)) {
    int Hh = int(std::nearbyint(PW * (double(H) / W) * double(AX) / AY));
    int Top = (PH - Hh) / 2;
    return QRect(0, Top, PW, Hh);
  }
  int Ww = int(std::nearbyint(PH * (double(W) / H) * double(AY) / AX));
  int Left = (PW - Ww) / 2;
  return QRect(Left, 0, Ww, PH);
}

QString PrintJobTitle(const QString& AppTitle, const TPixelGraphic& G) {
  return QStringLiteral("%1 Graphic %2x%3x%4")
      .arg(AppTitle)
      .arg(G.Width())
      .arg(G.Height())
      .arg(qulonglong(1) << G.BitCount());
}

bool PrintPixelGraphic(TPixelGraphic& G, QPrinter& Printer, bool ShowDialog, bool AutoOrientation,
                       QWidget* Owner, const QString& AppTitle) {
  if (G.Empty()) return false;
  if (ShowDialog) {
    QPrintDialog Dialog(&Printer, Owner);
    if (Dialog.exec() != QDialog::Accepted) return false;
  }
  const QPageLayout::Orientation Old = Printer.pageLayout().orientation();
  struct Restore {
    QPrinter& P;
    QPageLayout::Orientation O;
    ~Restore() { P.setPageOrientation(O); }
  } RestoreOrientation{Printer, Old};
  if (AutoOrientation && G.Width() != G.Height())
    Printer.setPageOrientation(G.Width() > G.Height() ? QPageLayout::Landscape
                                                      : QPageLayout::Portrait);
  Printer.setDocName(PrintJobTitle(AppTitle, G));
  QPainter Painter;
  if (!Painter.begin(&Printer)) return false;
  const QRect Page = Printer.pageLayout().paintRectPixels(Printer.resolution());
  // Printers report one resolution; a pixel's width and height follow the two axes' densities.
  const int AspectX = Printer.logicalDpiY(), AspectY = Printer.logicalDpiX();
  QRect R = PrintRect(G.Width(), G.Height(), Page.width(), Page.height(), AspectX, AspectY);
  DrawPixelGraphic(Painter, R, G);
  Painter.end();
  return true;
}

} // namespace orbisk
