// orbisk-cli album-pdf: prints an album file to a PDF with the stored album preferences, the way
// the album window's preview prints it (letter paper, 1-inch margins unless told otherwise).
#include "platform/filenames.h"
#include "cli/commands.h"

#include "albums/albumdoc.h"
#include "albums/albumprefs.h"
#include "albums/albumrender.h"
#include "engine/formats/metafile.h"
#include "platform/metafileplayer.h"
#include "platform/settingsstore.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <iostream>
#include <stdexcept>

namespace orbisk {

int RunAlbumPdf(const std::vector<std::string>& Args) {
  ParsedArgs P = ParseArgs(Args, {"--landscape", "--a4"}, {"--resolution"});
  if (P.Files.size() != 2)
    throw std::runtime_error("album-pdf: give the album file and the PDF file to write");
  bool Landscape = false, A4 = false;
  int Resolution = 300;
  for (const auto& [Name, Value] : P.Options) {
    if (Name == "--landscape") Landscape = true;
    if (Name == "--a4") A4 = true;
    if (Name == "--resolution") {
      try {
        Resolution = std::stoi(Value);
      } catch (const std::exception&) {
        Resolution = 0;
      }
      if (Resolution < 72 || Resolution > 1200)
        throw std::runtime_error("album-pdf: --resolution must be 72 to 1200");
    }
  }

  // Fonts and metafiles need a GUI application; it lives as long as this command.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int Argc = 1;
  char Name[] = "orbisk-cli";
  char* Argv[] = {Name, nullptr};
  std::unique_ptr<QGuiApplication> App;
  if (!QCoreApplication::instance()) App = std::make_unique<QGuiApplication>(Argc, Argv);
  if (!MetafilePlayer()) InstallMetafilePlayer();

  const QString AlbumPath = DecodeFileName(QByteArray::fromStdString(P.Files[0]));
  const QString PdfPath = DecodeFileName(QByteArray::fromStdString(P.Files[1]));
  TAlbumContent Album = OpenAlbum(AlbumPath); // EAlbumFile names the file
  if (Album.Truncated)
    std::cerr << TruncatedAlbumText(AlbumPath, int(Album.Entries.size())).toStdString() << "\n";
  if (Album.CaptionsCut) std::cerr << kCaptionsCut << "\n";
  // Never over the album or one of its pictures, whatever link names it.
  if (const QString Why = AlbumOutputConflict(Album.Entries, AlbumPath, PdfPath); !Why.isEmpty())
    throw std::runtime_error("album-pdf: " + Why.toStdString());

  TAlbumPrefs Prefs;
  {
    TSettingsStore Store;
    if (!Prefs.Load(Store)) std::cerr << kPrefsReadError << "\n";
  }
  Prefs.SetRows(Album.Settings.Rows);
  Prefs.SetCols(Album.Settings.Cols);
  Prefs.SetBorder(Album.Settings.Border);
  Prefs.SetPrintFrames(Album.Settings.PrintFrames);
  Prefs.SetCaptionOption(Album.Settings.CaptionOption);

  QBuffer Pdf;
  Pdf.open(QIODevice::WriteOnly);
  int Failures = 0;
  size_t PageCount = 0;
  {
    QPdfWriter Writer(&Pdf);
    Writer.setCreator("Orbisk");
    Writer.setTitle(AlbumPath);
    Writer.setResolution(Resolution);
    QPageLayout Layout(QPageSize(A4 ? QPageSize::A4 : QPageSize::Letter),
                       Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(1, 1, 1, 1), QPageLayout::Inch);
    Layout.setMode(QPageLayout::FullPageMode);
    Writer.setPageLayout(Layout);
    TPrintPage Page;
    const QRect Full = Writer.pageLayout().fullRectPixels(Resolution);
    Page.Width = Full.width();
    Page.Height = Full.height();
    Page.Px = Page.Py = Resolution;

    TAlbumRunHooks Hooks;
    Hooks.OnMessage = [&](const QString& Text) {
      std::cerr << Text.toStdString() << "\n";
      ++Failures;
    };
    std::vector<TAlbumPage> Pages =
        BuildAlbumPages(Album.Entries, Prefs, Album.Settings.CaptionFont, Page, Hooks);
    QPainter Painter;
    if (!Painter.begin(&Writer)) throw std::runtime_error("album-pdf: cannot start the PDF");
    for (size_t I = 0; I < Pages.size(); ++I) {
      if (I > 0) Writer.newPage();
      PaintAlbumPage(Painter, Pages[I], Page);
    }
    Painter.end();
    PageCount = Pages.size();
  }
  // The finished document replaces the target in one step (checked again: the pictures were
  // read meanwhile, and a link may have been made).
  if (const QString Why = AlbumOutputConflict(Album.Entries, AlbumPath, PdfPath); !Why.isEmpty())
    throw std::runtime_error("album-pdf: " + Why.toStdString());
  WriteAlbumFileSafely(PdfPath, Pdf.data());
  std::cout << PageCount << (PageCount == 1 ? " page" : " pages") << ", " << Album.Entries.size()
            << " entries\n";
  return Failures ? 1 : 0;
}

} // namespace orbisk
