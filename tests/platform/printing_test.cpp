// The folder listing report: rows spread over pages, columns scaled to the page, and what the
// printed pages say (read back from a PDF with pdftotext).
#include "platform/printing.h"

#include "tests/browser/browsertest.h"

#include <QPageSetupDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

// The text of each page of a PDF (pdftotext, pages split at form feeds).
QStringList PdfPages(const QString& Pdf) {
  QProcess P;
  P.start("pdftotext", {"-layout", Pdf, "-"});
  P.waitForFinished(30000);
  QStringList Pages = QString::fromUtf8(P.readAllStandardOutput()).split('\f');
  if (!Pages.isEmpty() && Pages.last().trimmed().isEmpty()) Pages.removeLast();
  return Pages;
}

TListingReport Report(int Rows) {
  TListingReport R;
  R.Header = "/home/u/pictures";
  R.Captions = {"Name (Images)", "Size (KB)", "Type", "Modified"};
  R.Widths = {160, 60, 50, 140};
  R.Alignments = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight, Qt::AlignRight};
  for (int I = 0; I < Rows; ++I)
    R.Rows << QStringList{QStringLiteral("picture%1.jpg").arg(I, 3, 10, QChar('0')),
                          QString::number(I + 1), "JPG", "09/12/2026 21:00"};
  return R;
}

} // namespace

TEST(ListingLayout, RowsPerPageAndColumns) {
  // Body of 10 rows: one caption row and 9 items per page.
  EXPECT_EQ(ListingPageRows(0, 100, 10), QList<int>{0});
  EXPECT_EQ(ListingPageRows(9, 100, 10), QList<int>{9});
  EXPECT_EQ(ListingPageRows(10, 100, 10), QList<int>({9, 1}));
  EXPECT_EQ(ListingPageRows(27, 100, 10), QList<int>({9, 9, 9}));
  // A page too small for anything still prints one item per page and never loops for ever.
  EXPECT_EQ(ListingPageRows(3, 5, 10), QList<int>({1, 1, 1}));

  const QList<int> Cols = ScaleColumns({160, 60, 50, 140}, 1000);
  EXPECT_EQ(Cols, QList<int>({390, 146, 122, 342}));
  EXPECT_EQ(ScaleColumns({1, 1, 1}, 100), QList<int>({33, 33, 34}));
  EXPECT_EQ(ScaleColumns({0, 0}, 10), QList<int>({5, 5}));
}

TEST(ListingLayout, PrintedPagesCarryHeaderRowsFooterAndNumbers) {
  const QString Pdf = test::TestHome() + "/listing.pdf";
  QPrinter Printer(QPrinter::HighResolution);
  Printer.setOutputFormat(QPrinter::PdfFormat);
  Printer.setOutputFileName(Pdf);
  Printer.setPageSize(QPageSize(QPageSize::A4));
  const TListingReport R = Report(150);
  const int Pages = PrintListing(Printer, R);
  ASSERT_GE(Pages, 2);

  const QStringList Text = PdfPages(Pdf);
  ASSERT_EQ(Text.size(), Pages);
  int Listed = 0;
  for (int P = 0; P < Pages; ++P) {
    EXPECT_TRUE(Text[P].contains("/home/u/pictures")) << P;
    EXPECT_TRUE(Text[P].contains("Name (Images)")) << P;
    EXPECT_TRUE(Text[P].contains("Orbisk Directory Report")) << P;
    EXPECT_TRUE(Text[P].contains(QStringLiteral("Page %1").arg(P + 1))) << P;
    Listed += int(Text[P].count(".jpg"));
  }
  // Every file once, in order across the pages.
  EXPECT_EQ(Listed, 150);
  EXPECT_TRUE(Text.first().contains("picture000.jpg"));
  EXPECT_TRUE(Text.last().contains("picture149.jpg"));
}

TEST(ListingLayout, HostileNamesStayOnTheirOwnLineAndInTheirOwnOrder) {
  const QString Pdf = test::TestHome() + "/hostile.pdf";
  QPrinter Printer(QPrinter::HighResolution);
  Printer.setOutputFormat(QPrinter::PdfFormat);
  Printer.setOutputFileName(Pdf);
  Printer.setPageSize(QPageSize(QPageSize::A4));
  TListingReport R = Report(0);
  R.Header = "/home/u/two\nfolders";
  R.Rows << QStringList{"one\nmore\r\nname.jpg", "11", "JPG", "date1"}
         << QStringList{QString("photo_") + QChar(0x202E) + "gpj.exe", "22", "EXE", "date2"}
         << QStringList{QString("isolate_") + QChar(0x2067) + "abc" + QChar(0x2069) + ".jpg", "33",
                        "JPG", "date3"}
         << QStringList{"next.jpg", "44", "JPG", "date4"};
  ASSERT_EQ(PrintListing(Printer, R), 1);
  const QStringList Text = PdfPages(Pdf);
  ASSERT_EQ(Text.size(), 1);
  const QStringList Lines = Text[0].split('\n');
  auto LineWith = [&](const QString& Part) {
    for (const QString& L : Lines)
      if (L.contains(Part)) return L;
    return QString("<no line with %1>").arg(Part);
  };
  // The whole name, its size and its date on one line; the row after it in its place.
  const QString First = LineWith("one");
  EXPECT_TRUE(First.contains("more") && First.contains("name.jpg") && First.contains("11") &&
              First.contains("date1"))
      << First.toStdString();
  EXPECT_TRUE(LineWith("next.jpg").contains("date4"));
  EXPECT_TRUE(LineWith("/home/u/two").contains("folders"));
  // The override does not turn the name round: it reads as stored, with a mark where the
  // control was.
  EXPECT_FALSE(Text[0].contains("exe.jpg")) << Text[0].toStdString();
  EXPECT_TRUE(LineWith("photo_").contains("gpj.exe")) << Text[0].toStdString();
  EXPECT_TRUE(LineWith("isolate_").contains("abc")) << Text[0].toStdString();
  for (const QChar C : {QChar(0x202E), QChar(0x2067), QChar(0x2069)})
    EXPECT_FALSE(Text[0].contains(C)) << Text[0].toStdString();
}

TEST(SharedPrinter, OnePrinterForEveryWindow) {
  QPrinter& P = SharedPrinter();
  EXPECT_EQ(&P, &SharedPrinter());
  // "Page Setup..." works on it: what the dialog sets is what the next preview prints with.
  QPrinter* Seen = nullptr;
  const TDialogRunner Old = SetPrintDialogRunner([&](QDialog& D) {
    auto* Setup = qobject_cast<QPageSetupDialog*>(&D);
    if (Setup) Seen = Setup->printer();
    P.setPageOrientation(QPageLayout::Landscape);
    return int(QDialog::Accepted);
  });
  EXPECT_TRUE(PageSetup(nullptr));
  EXPECT_EQ(Seen, &P);
  int Painted = 0;
  QPageLayout::Orientation Orientation = QPageLayout::Portrait;
  SetPrintDialogRunner([&](QDialog& D) {
    auto* Preview = qobject_cast<QPrintPreviewDialog*>(&D);
    if (!Preview) return int(QDialog::Rejected);
    emit Preview->paintRequested(&SharedPrinter());
    return int(QDialog::Rejected);
  });
  PrintPreview(nullptr, "Preview", [&](QPrinter& Q) {
    ++Painted;
    Orientation = Q.pageLayout().orientation();
  });
  EXPECT_EQ(Painted, 1);
  EXPECT_EQ(Orientation, QPageLayout::Landscape);
  SetPrintDialogRunner(Old);
  P.setPageOrientation(QPageLayout::Portrait);
}
