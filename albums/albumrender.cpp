#include "albums/albumrender.h"

#include "platform/codecsettings.h"
#include "platform/filenames.h"

#include "engine/pixelgraphic.h"
#include "metadata/exif.h"
#include "platform/autoorient.h"
#include "platform/pgqt.h"
#include "processing/colorfilters.h"
#include "processing/effects.h"
#include "processing/filter.h"
#include "processing/transforms.h"
#include "thumbnails/thumbcell.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace orbisk {

namespace {

std::string FsName(const QString& Path) {
  return EncodeFileName(Path).toStdString();
}

void Load(const QString& Path, TPixelGraphic& G, int ReducedSize = 0, QSize* Full = nullptr) {
  G.ReadWarningAction = pgwaIgnore;
  G.SaveColorResWarningAction = pgwaIgnore;
  G.ReducedSize = ReducedSize;
  G.LoadFromFile(FsName(Path), ViewReadOptions());
  // Upright first: an entry's own quarter turns count from the picture as it is shown.
  const bool Across = OrientForDisplay(G) >= 5;
  if (Full) *Full = Across ? QSize(G.FullHeight, G.FullWidth) : QSize(G.FullWidth, G.FullHeight);
  if (G.Empty() || G.Width() <= 0 || G.Height() <= 0) throw EAlbumPicture("The picture is empty");
}

// RotatedPicture, reading the file as Load does.
bool TurnedPicture(const QString& Path, int Angle, TPixelGraphic& Dest, int ReducedSize,
                   QSize* Full) {
  if (Angle % 90 != 0 || Angle < 0 || Angle > 270) {
    Dest.SetSize(0, 0, 3);
    return false;
  }
  try {
    TPixelGraphic Source;
    Load(Path, Source, ReducedSize, Full);
    if (Angle == 0) {
      Dest.Assign(&Source);
    } else {
      RotateQuarterTurns(Dest, Source, Angle / 90);
      if (Full && Angle != 180) Full->transpose();
    }
    return !Dest.Empty();
  } catch (const std::exception&) {
    Dest.SetSize(0, 0, 3);
    return false;
  }
}

// A paint device with the printer's resolution, for measuring text in page pixels.
QImage MetricsDevice(int Px, int Py) {
  QImage I(1, 1, QImage::Format_RGB32);
  I.setDotsPerMeterX(int(std::lround(std::max(Px, 1) / 0.0254)));
  I.setDotsPerMeterY(int(std::lround(std::max(Py, 1) / 0.0254)));
  return I;
}

QColor ColorOf(int C) {
  if (C < 0) return Qt::black; // system colours: the window text colour
  return QColor(int(RedOf(TRGB(C))), int(GreenOf(TRGB(C))), int(BlueOf(TRGB(C))));
}

bool IsMetafile(const QString& Path) {
  return QFileInfo(Path).suffix().toUpper() == "WMF";
}

void EmbedCaption(TPixelGraphic& PP, const QString& Text, const TAlbumPrefs& Prefs,
                  int Resolution) {
  QFont F("Arial");
  F.setPixelSize(EmbeddedCaptionFontPixels(Resolution));
  QFontMetrics FM(F);
  const QString Shown = ElidedCaption(Text, FM, PP.Width());
  const int TW = FM.horizontalAdvance(Shown), TH = FM.height();
  TFrameRect Box = EmbeddedCaptionBox(PP.Width(), PP.Height(), TW, TH, Prefs.EmbeddedPosition());
  if (!Prefs.TransparentBackground()) {
    // The part under the box, limited to the picture, lightened through a copy.
    int L = std::max(Box.Left, 0), T = std::max(Box.Top, 0);
    int R = std::min(Box.Right, PP.Width()), B = std::min(Box.Bottom, PP.Height());
    if (R > L && B > T) {
      TPixelGraphic Part;
      Part.SetSize(R - L, B - T, 3);
      Part.CopyRect(0, 0, PP, L, T, R - L, B - T);
      TBCGFilter Light;
      Light.SetBrightness(30);
      Light.SetContrast(0.7L);
      ApplyFilter(Part, Light, Part);
      PP.CopyRect(L, T, Part, 0, 0, R - L, B - T);
    }
  }
  TPGCanvas Canvas(PP);
  QPainter& P = Canvas.Painter();
  P.setFont(F);
  P.setPen(ColorOf(Prefs.CaptionColor()));
  P.drawText(QRect(Box.Left, Box.Top, Box.Width(), Box.Height()),
             Qt::AlignCenter | Qt::TextSingleLine, Shown);
}

void ApplyBorderEffect(TPixelGraphic& PP, const TAlbumPrefs& Prefs, const TPrintPage& Page) {
  switch (Prefs.BorderEffect()) {
  case beNone:
    break;
  case beDropShadow:
    DropShadowInPlace(PP, (Page.Px / 16) / 2, Page.Px / 16);
    break;
  case beSoftRectangle:
  case beSoftEllipse: {
    TPixelGraphic G;
    G.SetSize(PP.Width(), PP.Height(), 3);
    G.GradientBorder(Prefs.BorderEffect() == beSoftEllipse, 40, PP, RGBOf(255, 255, 255));
    PP.StretchFrom(G);
    break;
  }
  case beWhiteBorder:
    WhiteBorder(PP);
    break;
  case beBevel:
    Bevel(PP, int(std::trunc(0.03 * PP.Width())));
    break;
  }
}

void Say(const TAlbumRunHooks& Hooks, const QString& Text) {
  if (Hooks.OnMessage) Hooks.OnMessage(Text);
}

} // namespace

bool RotatedPicture(const QString& Path, int Angle, TPixelGraphic& Dest) {
  return TurnedPicture(Path, Angle, Dest, 0, nullptr);
}

void LoadEntryPicture(const AlbumEntry& Entry, TPixelGraphic& Dest, int ReducedSize, QSize* Full) {
  if (Entry.Rotation % 4 == 0) {
    Load(Entry.FileName, Dest, ReducedSize, Full);
    return;
  }
  if (!TurnedPicture(Entry.FileName, 90 * (Entry.Rotation % 4), Dest, ReducedSize, Full))
    throw EAlbumPicture(kErrorRotatingImage);
}

QString EntryCaptionText(const AlbumEntry& Entry, TCaptionOption Option,
                         const QString& CustomText) {
  auto Date = [&] {
    try {
      return QString::fromStdString(GetExifDateTime(FsName(Entry.FileName)));
    } catch (const std::exception&) {
      return QString();
    }
  };
  const QString Name = QFileInfo(Entry.FileName).fileName();
  switch (Option) {
  case coNone:
    return QString();
  case coFilename:
    return Name;
  case coCaption:
    return Entry.Caption;
  case coDateTime:
    return Date();
  case coFilenameDateTime:
    return Name + "  " + Date();
  case coCustom:
    return CustomText;
  }
  return QString();
}

QFont AlbumCaptionFont(const TAlbumFont& F) {
  QFont Font(F.Name);
  Font.setPointSize(std::max(F.Size, 1));
  Font.setBold(F.Bold);
  Font.setItalic(F.Italic);
  return Font;
}

void DrawAlbumEntry(TAlbumPage& Out, const AlbumEntry& Entry, const TFrameRect& Frame,
                    const TAlbumPrefs& Prefs, const QFont& CaptionFont, const TPrintPage& Page,
                    const TAlbumRunHooks& Hooks) {
  try {
    TPixelGraphic Pic;
    const bool Meta = IsMetafile(Entry.FileName);
    if (Meta)
      Load(Entry.FileName, Pic);
    else
      LoadEntryPicture(Entry, Pic);
    const TFrameRect R = FitPictureRect(Frame, Pic.Width(), Pic.Height(), Prefs.Border());
    if (Prefs.PrintFrames()) Out.Items.push_back({TPageItem::ikFrame, Frame, {}, {}, {}, {}});
    if (Meta) {
      Out.Items.push_back({TPageItem::ikPicture, R, ToQImage(Pic), {}, {}, {}});
      return;
    }
    const int D = PrintResolution(Prefs.Quality());
    int PW = 0, PH = 0;
    PrintPictureSize(R.Width(), R.Height(), Page.Px, Page.Py, D, PW, PH);
    TPixelGraphic PP;
    PP.SetSize(PW, PH, 3);
    PP.StretchMode = Prefs.Quality() == rqGood ? smFast : smPrecise;
    Pic.StretchMode = PP.StretchMode;
    PP.StretchFrom(Pic);

    if (Prefs.CaptionOption() != coNone) {
      const QString Text = EntryCaptionText(Entry, Prefs.CaptionOption(), Prefs.CustomCaption);
      if (Prefs.CaptionPlacement() == cpUnderImage) {
        QImage Dev = MetricsDevice(Page.Px, Page.Py);
        QFontMetrics FM(CaptionFont, &Dev);
        const QString Shown = ElidedCaption(Text, FM, Frame.Width());
        int X = (Frame.Left + Frame.Right) / 2 - FM.horizontalAdvance(Shown) / 2;
        int Y = Frame.Bottom - RoundEven(1.5 * FM.height());
        Out.Items.push_back({TPageItem::ikText,
                             {X, Y, X, Y},
                             {},
                             Shown,
                             CaptionFont,
                             ColorOf(Prefs.CaptionColor())});
      } else if (!Text.isEmpty()) {
        EmbedCaption(PP, Text, Prefs, D);
      }
    }
    ApplyBorderEffect(PP, Prefs, Page);
    Out.Items.push_back({TPageItem::ikPicture, R, ToQImage(PP), {}, {}, {}});
  } catch (const EAlbumPicture& E) {
    if (QString(E.what()) == kErrorRotatingImage) Say(Hooks, kErrorRotatingImage);
    Say(Hooks, kCantLoadGraphic + Entry.FileName);
  } catch (const std::exception&) {
    Say(Hooks, kCantLoadGraphic + Entry.FileName);
  }
}

std::vector<TAlbumPage> BuildAlbumPages(const std::vector<AlbumEntry>& Entries,
                                        const TAlbumPrefs& Prefs, const TAlbumFont& CaptionFont,
                                        const TPrintPage& Page, const TAlbumRunHooks& Hooks) {
  const TPageLayout Layout = ComputePageLayout(Page, Prefs.Rows(), Prefs.Cols());
  const QFont Font = AlbumCaptionFont(CaptionFont);
  std::vector<TAlbumPage> Pages(1);
  size_t K = 0;
  for (size_t I = 0; I < Entries.size(); ++I) {
    if (Hooks.OnEntry) Hooks.OnEntry(int(I), Entries[I].FileName);
    DrawAlbumEntry(Pages.back(), Entries[I], Layout.Frames[K], Prefs, Font, Page, Hooks);
    ++K;
    if (K == Layout.Frames.size() && I + 1 < Entries.size()) {
      TAlbumPage Next;
      Next.Number = int(Pages.size()) + 1;
      Pages.push_back(std::move(Next));
      K = 0;
    }
    if (Hooks.KeepRunning && !Hooks.KeepRunning(int(I))) break;
  }
  return Pages;
}

void PaintAlbumPage(QPainter& P, const TAlbumPage& AlbumPage, const TPrintPage& Page) {
  P.save();
  for (const TPageItem& It : AlbumPage.Items) {
    const QRect R(It.Rect.Left, It.Rect.Top, It.Rect.Width(), It.Rect.Height());
    switch (It.Kind) {
    case TPageItem::ikFrame:
      P.setPen(QPen(Qt::black, 0));
      P.setBrush(Qt::NoBrush);
      P.drawRect(R.adjusted(0, 0, -1, -1));
      break;
    case TPageItem::ikPicture:
      if (!It.Image.isNull() && !R.isEmpty()) {
        P.setRenderHint(QPainter::SmoothPixmapTransform, true);
        P.drawImage(R, It.Image);
      }
      break;
    case TPageItem::ikText: {
      P.setFont(It.Font);
      P.setPen(It.Color);
      QFontMetrics FM(It.Font, P.device());
      P.drawText(QPoint(It.Rect.Left, It.Rect.Top + FM.ascent()), It.Text);
      break;
    }
    }
  }
  // Page decorations: the page number at the bottom right, inside the bottom margin.
  QFont F("Arial");
  F.setPointSize(10);
  P.setFont(F);
  P.setPen(Qt::black);
  QFontMetrics FM(F, P.device());
  const QString Number = QString("Page %1").arg(AlbumPage.Number);
  const int Mr = RoundEven(Page.Px * Page.MarginRight);
  const int Mb = RoundEven(Page.Py * Page.MarginBottom);
  const int X = Page.Width - Mr - FM.horizontalAdvance(Number);
  const int Y = Page.Height - Mb + std::max(Mb - FM.height(), 0) / 2 + FM.ascent();
  P.drawText(QPoint(X, Y), Number);
  P.restore();
}

QString AlbumOutputConflict(const std::vector<AlbumEntry>& Entries, const QString& AlbumFile,
                            const QString& Output) {
  std::vector<std::string> Files;
  Files.reserve(Entries.size() + 1);
  for (const AlbumEntry& E : Entries)
    Files.push_back(FsName(E.FileName));
  if (!AlbumFile.isEmpty() && AlbumFile != kNoAlbumFile) Files.push_back(FsName(AlbumFile));
  if (!TSourceFiles(Files).Contains(FsName(Output))) return {};
  return "Cannot write \"" + Output + "\": it is one of the album's files";
}

QString ElidedCaption(const QString& Text, const QFontMetrics& FM, int Width) {
  if (Width <= 0) return {};
  const qsizetype Most = qsizetype(Width) + 1;
  return FM.elidedText(Text.size() > Most ? Text.left(Most) + QChar(0x2026) : Text, Qt::ElideRight,
                       Width);
}

void PrintAlbumPages(QPrinter& Printer, const std::vector<TAlbumPage>& Pages,
                     const TPrintPage& Page) {
  QPainter P;
  if (!P.begin(&Printer)) return;
  for (size_t I = 0; I < Pages.size(); ++I) {
    if (I > 0) Printer.newPage();
    PaintAlbumPage(P, Pages[I], Page);
  }
  P.end();
}

TPrintPage PrintPageOf(QPrinter& Printer) {
  TPrintPage Page;
  const int Res = Printer.resolution();
  const QRect Full = Printer.pageLayout().fullRectPixels(Res);
  Page.Width = Full.width();
  Page.Height = Full.height();
  Page.Px = Res;
  Page.Py = Res;
  const QMarginsF M = Printer.pageLayout().margins(QPageLayout::Inch);
  Page.MarginLeft = M.left();
  Page.MarginTop = M.top();
  Page.MarginRight = M.right();
  Page.MarginBottom = M.bottom();
  return Page;
}

void PrepareAlbumPrinter(QPrinter& Printer) {
  Printer.setFullPage(true);
  Printer.setPageMargins(QMarginsF(1, 1, 1, 1), QPageLayout::Inch);
}

} // namespace orbisk
