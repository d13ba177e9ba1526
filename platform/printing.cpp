#include "platform/printing.h"

#include "platform/filenames.h"

#include <QFontMetrics>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>
#include <memory>

namespace orbisk {

namespace {

TDialogRunner& Runner() {
  static TDialogRunner R = [](QDialog& D) { return D.exec(); };
  return R;
}

} // namespace

QPrinter& SharedPrinter() {
  // Lives until the program ends: every window prints with the same set-up.
  static QPrinter* Printer = new QPrinter(QPrinter::HighResolution);
  return *Printer;
}

TDialogRunner SetPrintDialogRunner(TDialogRunner R) {
  TDialogRunner Old = std::move(Runner());
  Runner() = R ? std::move(R) : [](QDialog& D) { return D.exec(); };
  return Old;
}

bool PageSetup(QWidget* Owner) {
  QPageSetupDialog Dialog(&SharedPrinter(), Owner);
  return Runner()(Dialog) == QDialog::Accepted;
}

bool PrintPreview(QWidget* Owner, const QString& Title, std::function<void(QPrinter&)> Paint) {
  QPrintPreviewDialog Dialog(&SharedPrinter(), Owner);
  Dialog.setWindowTitle(Title);
  QObject::connect(&Dialog, &QPrintPreviewDialog::paintRequested, &Dialog,
                   [&Paint](QPrinter* Printer) { Paint(*Printer); });
  return Runner()(Dialog) == QDialog::Accepted;
}

// ---- the folder listing

QList<int> ListingPageRows(int RowCount, int BodyHeight, int RowHeight) {
  // One caption row on each page; at least one item row even on a tiny page.
  const int PerPage = std::max(1, BodyHeight / std::max(1, RowHeight) - 1);
  QList<int> Pages;
  int Left = std::max(0, RowCount);
  do {
    Pages << std::min(Left, PerPage);
    Left -= PerPage;
  } while (Left > 0);
  return Pages;
}

QList<int> ScaleColumns(const QList<int>& Widths, int Width) {
  qint64 Total = 0;
  for (int W : Widths)
    Total += std::max(0, W);
  QList<int> Scaled;
  qint64 Done = 0, Sum = 0;
  for (int W : Widths) {
    Sum += std::max(0, W);
    // Rounded running edges: the columns always add up to Width exactly.
    const qint64 Edge =
        Total > 0 ? Sum * Width / Total : qint64(Scaled.size() + 1) * Width / Widths.size();
    Scaled << int(Edge - Done);
    Done = Edge;
  }
  return Scaled;
}

int PaintListing(QPainter& P, const QRect& Page, const TListingReport& R,
                 const std::function<void()>& NewPage) {
  QFont Body = P.font();
  Body.setFamily(QStringLiteral("DejaVu Sans"));
  Body.setPointSize(10);
  QFont Bold = Body;
  Bold.setBold(true);
  QFont Head = Body;
  Head.setPointSize(R.HeaderPointSize);
  QFont Foot = Body;
  Foot.setItalic(true);
  // Metrics on the device: printers count many more pixels per point than the screen.
  const QFontMetrics BodyM(Body, P.device()), HeadM(Head, P.device()), FootM(Foot, P.device());
  const int RowH = BodyM.lineSpacing() * 5 / 4;
  const int HeadH = HeadM.lineSpacing() * 3 / 2;
  const int FootH = FootM.lineSpacing() * 2;
  const int Pad = BodyM.averageCharWidth() / 2 + 1;
  const QList<int> Cols = ScaleColumns(R.Widths, Page.width());
  const QList<int> PageRows =
      ListingPageRows(int(R.Rows.size()), Page.height() - HeadH - FootH, RowH);
  const QPen Line(Qt::black, std::max(1, BodyM.lineWidth()));

  auto DrawRow = [&](int Y, const QStringList& Cells, const QFont& F) {
    P.setFont(F);
    const QFontMetrics M(F, P.device());
    int X = Page.left();
    for (int C = 0; C < Cols.size(); ++C) {
      const QRect Cell(X + Pad, Y, Cols[C] - 2 * Pad, RowH);
      const Qt::Alignment A = (C < R.Alignments.size() ? R.Alignments[C] : Qt::AlignLeft);
      // One line per cell, whatever the name holds: breaks and direction changes become marks.
      const QString Text =
          M.elidedText(DisplayFileName(Cells.value(C)), Qt::ElideRight, std::max(0, Cell.width()));
      P.drawText(Cell, int((A & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter | Qt::TextSingleLine),
                 Text);
      X += Cols[C];
    }
  };

  int Row = 0;
  for (int Index = 0; Index < PageRows.size(); ++Index) {
    if (Index > 0) NewPage();
    P.setPen(Qt::black);
    P.setFont(Head);
    P.drawText(QRect(Page.left(), Page.top(), Page.width(), HeadH),
               int(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine),
               HeadM.elidedText(DisplayFileName(R.Header), Qt::ElideMiddle, Page.width()));
    int Y = Page.top() + HeadH;
    DrawRow(Y, R.Captions, Bold);
    Y += RowH;
    P.setPen(Line);
    P.drawLine(Page.left(), Y, Page.right(), Y);
    for (int N = 0; N < PageRows[Index]; ++N, ++Row, Y += RowH)
      DrawRow(Y, R.Rows[Row], Body);
    const QRect FootRect(Page.left(), Page.bottom() - FootH, Page.width(), FootH);
    P.drawLine(Page.left(), FootRect.top(), Page.right(), FootRect.top());
    P.setFont(Foot);
    P.drawText(FootRect, int(Qt::AlignLeft | Qt::AlignVCenter), R.Footer);
    P.setFont(Body);
    QString Number = R.PageNumberFormat;
    Number.replace(QStringLiteral("%d"), QString::number(Index + 1));
    P.drawText(FootRect, int(Qt::AlignRight | Qt::AlignVCenter), Number);
  }
  return int(PageRows.size());
}

int PrintListing(QPrinter& Printer, const TListingReport& Report) {
  QPainter P;
  if (!P.begin(&Printer)) return 0;
  const QRect Page(0, 0, P.device()->width(), P.device()->height());
  const int Pages = PaintListing(P, Page, Report, [&Printer] { Printer.newPage(); });
  P.end();
  return Pages;
}

} // namespace orbisk
