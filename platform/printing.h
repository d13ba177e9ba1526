// The printer every window prints on: one QPrinter for the whole run, so that the page set-up
// chosen once ("Page Setup...") holds for the print previews of pictures, folder listings and
// album pages. Also the folder listing report: a table over as many pages as it needs.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <Qt>

#include <functional>

class QDialog;
class QPainter;
class QPrinter;
class QRect;
class QWidget;

namespace orbisk {

// The shared printer (high resolution), made on first use.
QPrinter& SharedPrinter();

// Runs a modal dialog of this module and returns its result; exec() unless replaced (tests
// look at the dialog and close it).
using TDialogRunner = std::function<int(QDialog& Dialog)>;
TDialogRunner SetPrintDialogRunner(TDialogRunner Runner);

// "Page Setup...": the page set-up dialog on the shared printer; true on OK.
bool PageSetup(QWidget* Owner);

// A print preview of the shared printer with its own page navigation and Print button. Paint
// draws every page on the printer it is given (the preview's, or the real one when printing);
// it is called again whenever the preview is rebuilt. True when the user printed.
bool PrintPreview(QWidget* Owner, const QString& Title, std::function<void(QPrinter&)> Paint);

// A table printed over pages: the header on top of every page, the column captions, one row
// per item, the footer at the bottom left and the page number at the bottom right.
struct TListingReport {
  QString Header; // e.g. the listed folder
  int HeaderPointSize = 18;
  QStringList Captions;            // column captions
  QList<int> Widths;               // on-screen widths, scaled to the page
  QList<Qt::Alignment> Alignments; // per column
  QList<QStringList> Rows;         // cell texts
  QString Footer = QStringLiteral("Orbisk Directory Report");
  QString PageNumberFormat = QStringLiteral("Page %d");
};

// The rows on each page for a page body of BodyHeight, a row height of RowHeight and one caption
// row on every page: counts per page, at least one page (empty listings print their header).
QList<int> ListingPageRows(int RowCount, int BodyHeight, int RowHeight);
// Column x positions and widths scaled in proportion to Width.
QList<int> ScaleColumns(const QList<int>& Widths, int Width);
// Prints the report on the printer (the painter begins and ends here); the number of pages.
int PrintListing(QPrinter& Printer, const TListingReport& Report);
// Paints the report with a painter already begun on a paged device of Page size; NewPage
// starts each following page. The number of pages.
int PaintListing(QPainter& P, const QRect& Page, const TListingReport& Report,
                 const std::function<void()>& NewPage);

} // namespace orbisk
