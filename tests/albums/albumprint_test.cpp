// The printed album: turned pictures, frames drawn where the layout puts them, captions and
// effects, the preview run printed to PDF and checked with poppler's tools, and album-pdf.
#include "albums/albumrender.h"
#include "albums/albumwindow.h"
#include "engine/pixelgraphic.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"

#include <QLabel>
#include <QPrinter>
#include <QTreeWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

const QColor kColors[] = {{220, 20, 20}, {20, 180, 20}, {20, 20, 220}, {220, 200, 0},
                          {0, 200, 200}, {200, 0, 200}, {120, 60, 0}};

QString WriteColorPicture(const QString& Path, int W, int H, QColor C) {
  QImage I(W, H, QImage::Format_RGB32);
  I.fill(C);
  I.save(Path);
  return Path;
}

bool Near(QColor A, QColor B, int Tol = 40) {
  return std::abs(A.red() - B.red()) <= Tol && std::abs(A.green() - B.green()) <= Tol &&
         std::abs(A.blue() - B.blue()) <= Tol;
}

bool HaveTool(const char* Name) {
  return !QStandardPaths::findExecutable(Name).isEmpty();
}

QString RunTool(const QString& Program, const QStringList& Args, int* Exit = nullptr) {
  QProcess P;
  P.start(Program, Args);
  P.waitForFinished(120000);
  if (Exit) *Exit = P.exitCode();
  return QString::fromUtf8(P.readAllStandardOutput() + P.readAllStandardError());
}

int PdfPages(const QString& Pdf) {
  for (const QString& Line : RunTool("pdfinfo", {Pdf}).split('\n'))
    if (Line.startsWith("Pages:")) return Line.mid(6).trimmed().toInt();
  return -1;
}

// Page N of the PDF rendered at Dpi.
QImage RenderPage(const QString& Pdf, int N, int Dpi) {
  const QString Prefix = Pdf + "-page";
  RunTool("pdftoppm", {"-r", QString::number(Dpi), "-f", QString::number(N), "-l",
                       QString::number(N), "-singlefile", "-png", Pdf, Prefix});
  return QImage(Prefix + ".png");
}

// The pixel at page pixel (X, Y) at 300 dpi, read from a rendering at 30 dpi.
QColor At300(const QImage& Page30, int X, int Y) {
  return Page30.pixelColor(X / 10, Y / 10);
}

} // namespace

TEST(AlbumPicture, QuarterTurnsKeepDepthAndPalette) {
  const QString Dir = MakeFolder("turns");
  TPixelGraphic G;
  G.SetSize(5, 3, 2); // 8 bits
  G.SetPaletteCount(256);
  for (int I = 0; I < 256; ++I)
    G.SetPaletteEntry(I, RGBOf(I, 255 - I, I / 2));
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 5; ++X)
      G.SetPixelValue(X, Y, Y * 5 + X);
  const QString Path = Dir + "/p.bmp";
  G.SaveToFile(QFile::encodeName(Path).toStdString());

  TPixelGraphic R;
  ASSERT_TRUE(RotatedPicture(Path, 90, R));
  EXPECT_EQ(R.Width(), 3);
  EXPECT_EQ(R.Height(), 5);
  EXPECT_EQ(R.BitCount(), 8);
  EXPECT_EQ(R.GetPaletteEntry(7), G.GetPaletteEntry(7));
  // Clockwise: the bottom-left source pixel comes to the top left.
  EXPECT_EQ(R.GetPixelValue(0, 0), G.GetPixelValue(0, 2));
  EXPECT_EQ(R.GetPixelValue(2, 0), G.GetPixelValue(0, 0));
  ASSERT_TRUE(RotatedPicture(Path, 180, R));
  EXPECT_EQ(R.GetPixelValue(0, 0), G.GetPixelValue(4, 2));
  EXPECT_FALSE(RotatedPicture(Path, 45, R));
  EXPECT_FALSE(RotatedPicture(Dir + "/missing.bmp", 90, R));

  // A picture that cannot be turned is reported and the run goes on.
  TAlbumPrefs Prefs;
  QStringList Said;
  TAlbumRunHooks Hooks;
  Hooks.OnMessage = [&](const QString& T) { Said << T; };
  std::vector<AlbumEntry> E = {{Dir + "/missing.bmp", "", 1}, {Path, "", 3}};
  auto Pages = BuildAlbumPages(E, Prefs, TAlbumFont(), TPrintPage(), Hooks);
  EXPECT_EQ(Said, (QStringList{kErrorRotatingImage, kCantLoadGraphic + Dir + "/missing.bmp"}));
  ASSERT_EQ(Pages.size(), 1u);
  ASSERT_EQ(Pages[0].Items.size(), 1u);
  // The turned 3 x 5 picture stands upright in the second frame.
  const TFrameRect& Pic = Pages[0].Items[0].Rect;
  EXPECT_GT(Pic.Height(), Pic.Width());
  EXPECT_EQ(Pic.Top, 300 + (900 - 700) / 2);
}

TEST(AlbumPages, CaptionsFramesAndEffects) {
  const QString Dir = MakeFolder("captions");
  const QString P = WriteColorPicture(Dir + "/wide.png", 1600, 1200, QColor(40, 40, 40));
  TAlbumPrefs Prefs;
  Prefs.SetPrintFrames(true);
  Prefs.ChangeCaptionOption(coFilename);
  Prefs.SetCaptionColor(int(RGBOf(255, 0, 0)));
  std::vector<AlbumEntry> E = {{P, "A caption", 0}};
  auto Pages = BuildAlbumPages(E, Prefs, TAlbumFont(), TPrintPage(), {});
  ASSERT_EQ(Pages[0].Items.size(), 3u);
  EXPECT_EQ(Pages[0].Items[0].Kind, TPageItem::ikFrame);
  EXPECT_EQ(Pages[0].Items[0].Rect, (TFrameRect{300, 300, 1275, 1200}));
  const TPageItem& Text = Pages[0].Items[1];
  EXPECT_EQ(Text.Kind, TPageItem::ikText);
  EXPECT_EQ(Text.Text, "wide.png");
  EXPECT_EQ(Text.Color, QColor(255, 0, 0));
  EXPECT_LT(Text.Rect.Top, 1200);
  EXPECT_GT(Text.Rect.Top, 1040); // below the picture, inside the frame
  const TPageItem& Pic = Pages[0].Items[2];
  EXPECT_EQ(Pic.Rect, (TFrameRect{400, 459, 1175, 1040}));
  EXPECT_EQ(Pic.Image.size(), QSize(516, 387)); // "Better": 200 dpi

  // Embedded caption: a lightened box with the text at the bottom centre of the picture.
  Prefs.ChangeCaptionPlacement(cpEmbedded);
  Prefs.ChangeCaptionOption(coCaption);
  Prefs.SetPrintFrames(false);
  Prefs.SetQuality(rqGood);
  Pages = BuildAlbumPages(E, Prefs, TAlbumFont(), TPrintPage(), {});
  ASSERT_EQ(Pages[0].Items.size(), 1u);
  const QImage I = Pages[0].Items[0].Image;
  EXPECT_EQ(I.width(), int(Pages[0].Items[0].Rect.Width() / 300.0 * 160));
  EXPECT_TRUE(Near(I.pixelColor(5, 5), QColor(40, 40, 40), 2));
  // Just above the bottom edge of the box, at its side: lightened.
  const QColor Box = I.pixelColor(I.width() / 2 - 20, I.height() - 12);
  EXPECT_GT(Box.red(), 60) << Box.name().toStdString();
  // Some red caption pixels inside the box.
  int Red = 0;
  for (int Y = I.height() - 40; Y < I.height() - 10; ++Y)
    for (int X = I.width() / 2 - 40; X < I.width() / 2 + 40; ++X)
      if (I.pixelColor(X, Y).red() > 150 && I.pixelColor(X, Y).green() < 120) ++Red;
  EXPECT_GT(Red, 5);

  // Each border effect leaves the picture's size and changes its edge.
  Prefs.SetCaptionOption(coNone);
  for (int Effect : {beDropShadow, beSoftRectangle, beSoftEllipse, beWhiteBorder, beBevel}) {
    SCOPED_TRACE(Effect);
    Prefs.SetBorderEffect(Effect);
    Pages = BuildAlbumPages(E, Prefs, TAlbumFont(), TPrintPage(), {});
    ASSERT_EQ(Pages[0].Items.size(), 1u);
    const QImage& Fx = Pages[0].Items[0].Image;
    EXPECT_EQ(Fx.size(), I.size());
    const QColor Plain(40, 40, 40);
    EXPECT_FALSE(Near(Fx.pixelColor(1, 1), Plain, 3) &&
                 Near(Fx.pixelColor(Fx.width() - 2, Fx.height() - 2), Plain, 3));
    EXPECT_TRUE(Near(Fx.pixelColor(Fx.width() / 2, Fx.height() / 2), Plain, 3));
  }
}

TEST(AlbumPreview, SevenEntriesPrintOnTwoPages) {
  if (!HaveTool("pdftoppm") || !HaveTool("pdfinfo") || !HaveTool("pdftotext"))
    GTEST_SKIP() << "poppler-utils are not installed";
  ResetUserFiles();
  const QString Dir = MakeFolder("preview");
  TPromptScope Prompt;
  TfAlbum W;
  W.show();
  for (int I = 0; I < 7; ++I)
    W.Document().Add(WriteColorPicture(Dir + QString("/p%1.png").arg(I), 1600, 1200, kColors[I]));
  const QString Pdf = Dir + "/album.pdf";
  W.Printer().setOutputFormat(QPrinter::PdfFormat);
  W.Printer().setOutputFileName(Pdf);
  W.Printer().setResolution(300);
  W.Printer().setPageSize(QPageSize(QPageSize::Letter));
  int Shown = 0;
  W.ShowPreview = [&](QPrinter& P) {
    ++Shown;
    W.PrintPages(P);
  };
  Action(W, "Preview1").trigger();
  EXPECT_EQ(Shown, 1);
  EXPECT_EQ(Child<QLabel>(W, "StatusPanel0").text(), "Done");
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
  ASSERT_EQ(PdfPages(Pdf), 2);
  const QString Text = RunTool("pdftotext", {Pdf, "-"});
  EXPECT_TRUE(Text.contains("Page 1"));
  EXPECT_TRUE(Text.contains("Page 2"));

  // Frame k of page 1 holds picture k, centred at the layout's place.
  const QImage P1 = RenderPage(Pdf, 1, 30), P2 = RenderPage(Pdf, 2, 30);
  ASSERT_FALSE(P1.isNull());
  ASSERT_EQ(P1.size(), QSize(255, 330));
  for (int K = 0; K < 6; ++K) {
    SCOPED_TRACE(K);
    const int X = 300 + 975 * (K % 2), Y = 300 + 900 * (K / 2);
    EXPECT_TRUE(Near(At300(P1, X + 487, Y + 450), kColors[K]));
    EXPECT_TRUE(Near(At300(P1, X + 120, Y + 180), kColors[K])); // just inside (400, 459)
    EXPECT_TRUE(Near(At300(P1, X + 60, Y + 450), Qt::white));   // the border
  }
  EXPECT_TRUE(Near(At300(P1, 150, 150), Qt::white)); // margin
  EXPECT_TRUE(Near(At300(P2, 787, 750), kColors[6]));
  EXPECT_TRUE(Near(At300(P2, 1762, 750), Qt::white)); // second frame of page 2 is empty
}

TEST(AlbumPreview, EscapeStopsAfterTheCurrentFrame) {
  ResetUserFiles();
  const QString Dir = MakeFolder("escape");
  TfAlbum W;
  W.show();
  QApplication::setActiveWindow(&W);
  for (int I = 0; I < 5; ++I)
    W.Document().Add(WriteColorPicture(Dir + QString("/p%1.png").arg(I), 60, 40, kColors[I]));
  W.Printer().setOutputFormat(QPrinter::PdfFormat);
  W.Printer().setOutputFileName(Dir + "/x.pdf");
  W.ShowPreview = [](QPrinter&) {};
  QTimer::singleShot(0,
                     [&] { QTest::keyClick(&Child<QTreeWidget>(W, "ListView1"), Qt::Key_Escape); });
  W.PreviewClick();
  ASSERT_EQ(W.Pages().size(), 1u);
  EXPECT_EQ(W.Pages()[0].Items.size(), 1u);
  EXPECT_FALSE(W.Running());
}

TEST(AlbumPreview, ContactSheetLaysOutSixBySixOnLandscape) {
  ResetUserFiles();
  const QString Dir = MakeFolder("sheet");
  TfAlbum W;
  W.show();
  for (int I = 0; I < 40; ++I)
    W.Document().Add(WriteColorPicture(Dir + QString("/s%1.png").arg(I), 30, 20, kColors[I % 7]));
  W.ShowPreview = [](QPrinter&) {};
  Action(W, "ContactSheetButton").trigger();
  EXPECT_EQ(W.Prefs().Cols(), 6);
  EXPECT_EQ(W.Prefs().Rows(), 6);
  EXPECT_EQ(W.Printer().pageLayout().orientation(), QPageLayout::Landscape);
  ASSERT_EQ(W.Pages().size(), 2u);
  EXPECT_EQ(W.Pages()[1].Number, 2);
  // 36 pictures and 36 file names on the first page.
  EXPECT_EQ(W.Pages()[0].Items.size(), 72u);
}

TEST(AlbumPdfCommand, PrintsAnAlbumFile) {
  if (!HaveTool("pdfinfo")) GTEST_SKIP() << "poppler-utils are not installed";
  ResetUserFiles();
  const QString Dir = MakeFolder("cli");
  std::vector<AlbumEntry> E;
  for (int I = 0; I < 5; ++I)
    E.push_back({WriteColorPicture(Dir + QString("/c%1.png").arg(I), 300, 200, kColors[I]), "", 0});
  AlbumSettings S;
  S.Rows = 2;
  S.Cols = 2;
  const QString Alb = Dir + "/a.alb", Pdf = Dir + "/a.pdf";
  SaveAlbum(Alb, E, S);
  int Exit = -1;
  QString Out = RunTool(ORBISK_CLI_PATH, {"album-pdf", Alb, Pdf}, &Exit);
  EXPECT_EQ(Exit, 0) << Out.toStdString();
  EXPECT_TRUE(Out.contains("2 pages")) << Out.toStdString();
  EXPECT_EQ(PdfPages(Pdf), 2);
  if (HaveTool("pdftoppm")) {
    const QImage P1 = RenderPage(Pdf, 1, 30);
    // 2 x 2 on letter: cells 975 x 1350; each picture stands in its cell's middle.
    EXPECT_TRUE(Near(At300(P1, 300 + 487, 300 + 675), kColors[0]));
    EXPECT_TRUE(Near(At300(P1, 1275 + 487, 1650 + 675), kColors[3]));
  }
  // Errors: a missing album, a damaged one.
  RunTool(ORBISK_CLI_PATH, {"album-pdf", Dir + "/none.alb", Pdf}, &Exit);
  EXPECT_NE(Exit, 0);
  WriteData(Dir + "/bad.alb", "xyz");
  QString Err = RunTool(ORBISK_CLI_PATH, {"album-pdf", Dir + "/bad.alb", Dir + "/b.pdf"}, &Exit);
  EXPECT_NE(Exit, 0);
  EXPECT_FALSE(QFile::exists(Dir + "/b.pdf"));
}
