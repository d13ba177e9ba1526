// Drawing, the canvas, QImage exchange, clipboard data and printing on the Qt desktop.
#include "platform/pgqt.h"
#include "tests/common/testutil.h"

#include <QMimeData>
#include <QPrinter>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace orbisk;

namespace {

// A picture of the given depth filled with pseudo-random pixels and a full palette.
void Fill(TPixelGraphic& G, int W, int H, int Code, unsigned Seed) {
  std::mt19937 Rng(Seed);
  G.SetSize(W, H, Code);
  if (Code != 3) {
    int N = G.ColorCount();
    G.SetPaletteCount(N);
    for (int I = 0; I < N; ++I)
      G.SetPaletteEntry(I, Rng() & 0xFFFFFF);
  }
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelValue(X, Y, Code == 3 ? (Rng() & 0xFFFFFF) : Rng() % unsigned(G.ColorCount()));
}

::testing::AssertionResult SameColours(const QImage& I, const TPixelGraphic& G) {
  for (int Y = 0; Y < G.Height(); ++Y)
    for (int X = 0; X < G.Width(); ++X) {
      QRgb P = I.pixel(X, Y);
      TRGB C = G.GetPixelColor(X, Y);
      if (TRGB(RGBOf(unsigned(qRed(P)), unsigned(qGreen(P)), unsigned(qBlue(P)))) != C)
        return ::testing::AssertionFailure() << "pixel " << X << "," << Y;
    }
  return ::testing::AssertionSuccess();
}

TEST(Drawing, EveryDepthAtOddWidthsMatchesThePixels) {
  for (int Code = 0; Code < 4; ++Code)
    for (int W : {1, 3, 7, 47}) {
      TPixelGraphic G;
      Fill(G, W, 5, Code, unsigned(W * 10 + Code));
      QImage Out(W, 5, QImage::Format_RGB32);
      Out.fill(Qt::magenta);
      QPainter P(&Out);
      DrawPixelGraphic(P, QRectF(0, 0, W, 5), G);
      P.end();
      EXPECT_TRUE(SameColours(Out, G)) << "depth code " << Code << " width " << W;
      EXPECT_TRUE(SameColours(ToQImage(G), G));
    }
}

TEST(Drawing, SourceAreaAndStretching) {
  TPixelGraphic G;
  Fill(G, 6, 4, 3, 7);
  QImage Out(4, 4, QImage::Format_RGB32);
  QPainter P(&Out);
  DrawPixelGraphic(P, QRectF(0, 0, 4, 4), G, QRect(2, 1, 2, 2)); // doubled
  P.end();
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X) {
      TRGB C = G.GetPixelColor(2 + X / 2, 1 + Y / 2);
      EXPECT_EQ(Out.pixel(X, Y) & 0xFFFFFF, (RedOf(C) << 16) | (GreenOf(C) << 8) | BlueOf(C));
    }
}

TEST(Canvas, TextLandsUprightAtItsPlace) {
  TPixelGraphic G;
  G.SetSize(80, 40, 3);
  {
    TPGCanvas C(G);
    C.Painter().fillRect(QRect(0, 0, 80, 10), Qt::white); // a band at the top
    C.Painter().setPen(Qt::white);
    QFont F("DejaVu Sans");
    F.setPixelSize(20);
    C.Painter().setFont(F);
    C.Painter().drawText(QRect(0, 12, 80, 28), Qt::AlignLeft | Qt::AlignTop, "T");
  }
  EXPECT_EQ(G.GetPixelColor(5, 2), RGBOf(255, 255, 255));
  EXPECT_EQ(G.GetPixelColor(5, 38), 0u);
  // A "T" has more ink in its top half than in its bottom half when it is upright.
  int Top = 0, Bottom = 0;
  for (int Y = 12; Y < 40; ++Y)
    for (int X = 0; X < 40; ++X)
      if (G.GetPixelColor(X, Y) != 0) (Y < 22 ? Top : Bottom)++;
  EXPECT_GT(Top, Bottom);
  EXPECT_GT(Bottom, 0);
}

TEST(Canvas, PalettePicturesGetNearestColoursOnlyWherePainted) {
  TPixelGraphic G;
  G.SetSize(10, 10, 2);
  G.SetPaletteCount(3);
  G.SetPaletteEntry(0, RGBOf(0, 0, 0));
  G.SetPaletteEntry(1, RGBOf(250, 0, 0));
  G.SetPaletteEntry(2, RGBOf(0, 0, 0)); // a duplicate colour must keep its index
  G.SetPixelValue(9, 9, 2);
  {
    TPGCanvas C(G);
    C.Painter().fillRect(QRect(0, 0, 2, 2), QColor(255, 10, 10));
  }
  EXPECT_EQ(G.GetPixelValue(0, 0), 1u);
  EXPECT_EQ(G.GetPixelValue(5, 5), 0u);
  EXPECT_EQ(G.GetPixelValue(9, 9), 2u);
}

TEST(QImageExchange, KeepsDepthAndPalette) {
  for (int Code : {0, 2, 3}) {
    TPixelGraphic G, Back;
    Fill(G, 9, 4, Code, unsigned(Code));
    QImage I = Code == 0   ? ToQImage(G).convertToFormat(QImage::Format_Mono)
               : Code == 2 ? ToQImage(G).convertToFormat(QImage::Format_Indexed8)
                           : ToQImage(G);
    AssignFromQImage(Back, I);
    EXPECT_EQ(Back.BitCountNum(), Code);
    EXPECT_TRUE(SameColours(I, Back));
  }
}

TEST(Clipboard, BitmapRoundTripKeepsPixelsPaletteAndDepth) {
  for (int Code = 0; Code < 4; ++Code) {
    TPixelGraphic G, Back;
    Fill(G, 13, 6, Code, unsigned(40 + Code));
    std::unique_ptr<QMimeData> Data(MakeClipboardData(G));
    ASSERT_TRUE(Data->hasFormat("image/bmp"));
    QByteArray B = Data->data("image/bmp");
    // A whole BMP file: the 14-byte file header, then the packed bitmap.
    ASSERT_EQ(B.size(), 14 + 40 + 4 * G.PaletteCount() + G.ImageSize());
    EXPECT_TRUE(B.startsWith("BM"));
    EXPECT_EQ(uint8_t(B[10]) | uint8_t(B[11]) << 8, 14 + 40 + 4 * G.PaletteCount());
    LoadFromMimeData(Back, Data.get());
    EXPECT_EQ(Back.BitCountNum(), Code);
    EXPECT_EQ(Back.Palette(), G.Palette());
    for (int Y = 0; Y < 6; ++Y)
      for (int X = 0; X < 13; ++X)
        ASSERT_EQ(Back.GetPixelValue(X, Y), G.GetPixelValue(X, Y));
  }
  // What other programs put there: a packed bitmap without file header, or only a PNG file.
  TPixelGraphic G4, Back;
  Fill(G4, 7, 5, 1, 9);
  QMimeData Packed;
  std::vector<uint8_t> P = G4.SaveToPackedDIB();
  Packed.setData("image/bmp",
                 QByteArray(reinterpret_cast<const char*>(P.data()), qsizetype(P.size())));
  LoadFromMimeData(Back, &Packed);
  EXPECT_EQ(Back.GetPixelColor(3, 2), G4.GetPixelColor(3, 2));
  std::unique_ptr<QMimeData> Made(MakeClipboardData(G4));
  ASSERT_TRUE(Made->hasFormat("image/png"));
  QMimeData PngOnly;
  PngOnly.setData("image/png", Made->data("image/png"));
  TPixelGraphic FromPng;
  LoadFromMimeData(FromPng, &PngOnly);
  ASSERT_EQ(FromPng.Width(), 7);
  for (int Y = 0; Y < 5; ++Y)
    for (int X = 0; X < 7; ++X)
      ASSERT_EQ(FromPng.GetPixelColor(X, Y), G4.GetPixelColor(X, Y)) << X << "," << Y;

  QMimeData Text;
  Text.setText("no picture");
  TPixelGraphic G;
  EXPECT_THROW(LoadFromMimeData(G, &Text), EPGUnknownClipboardFormat);
}

TEST(Printing, RectangleAndTitle) {
  // Wider than 4:3 with square pixels: the picture fills the page height, centred.
  // The rectangle covers exactly the printed size: 1333 x 1000 pixels from (333, 0).
  EXPECT_EQ(PrintRect(640, 480, 2000, 1000, 1, 1), QRect(333, 0, 1333, 1000));
  // Taller page: the picture spans the width, no pixel wider than the page.
  EXPECT_EQ(PrintRect(640, 480, 1000, 2000, 1, 1), QRect(0, 625, 1000, 750));
  EXPECT_EQ(PrintRect(640, 480, 1000, 2000, 1, 1).right(), 999);
  EXPECT_EQ(PrintRect(0, 480, 1000, 2000, 1, 1), QRect());
  TPixelGraphic G;
  G.SetSize(640, 480, 3);
  EXPECT_EQ(PrintJobTitle("Orbisk", G), "Orbisk Graphic 640x480x16777216");
}

TEST(Printing, PdfPageShowsThePictureInItsRectangle) {
  if (QProcess::execute("pdftoppm", {"-v"}) < 0) GTEST_SKIP() << "pdftoppm is not installed";
  TPixelGraphic G;
  G.SetSize(640, 480, 3);
  for (int Y = 0; Y < 480; ++Y)
    for (int X = 0; X < 640; ++X)
      G.SetPixelValue(X, Y, RGBOf(255, 0, 0));
  std::string Pdf = test::TempPath("print.pdf");
  QPrinter Printer(QPrinter::HighResolution);
  Printer.setOutputFormat(QPrinter::PdfFormat);
  Printer.setOutputFileName(QString::fromStdString(Pdf));
  Printer.setPageSize(QPageSize(QPageSize::A4));
  Printer.setPageMargins(QMarginsF(0, 0, 0, 0));
  Printer.setPageOrientation(QPageLayout::Portrait);
  ASSERT_TRUE(PrintPixelGraphic(G, Printer, false, true, nullptr, "Orbisk"));
  EXPECT_EQ(Printer.pageLayout().orientation(), QPageLayout::Portrait); // restored
  std::string Png = test::TempPath("print");
  ASSERT_EQ(
      QProcess::execute("pdftoppm", {"-r", "20", "-png", "-singlefile", QString::fromStdString(Pdf),
                                     QString::fromStdString(Png)}),
      0);
  QImage Page(QString::fromStdString(Png + ".png"));
  ASSERT_FALSE(Page.isNull());
  // Landscape A4 (297 x 210 mm) is wider than 4:3, so the picture spans the height.
  EXPECT_GT(Page.width(), Page.height());
  QRect Red;
  for (int Y = 0; Y < Page.height(); ++Y)
    for (int X = 0; X < Page.width(); ++X)
      if (qRed(Page.pixel(X, Y)) > 200 && qGreen(Page.pixel(X, Y)) < 60) Red |= QRect(X, Y, 1, 1);
  QRect Expected = PrintRect(640, 480, Page.width(), Page.height(), 1, 1);
  EXPECT_NEAR(Red.left(), Expected.left(), 2);
  EXPECT_NEAR(Red.right(), Expected.right(), 2);
  EXPECT_NEAR(Red.top(), 0, 1);
  EXPECT_NEAR(Red.bottom(), Page.height() - 1, 1);
}

} // namespace
