// The printed album: the picture of an entry (turned by its rotation), each entry drawn into
// its frame with caption and border effect, pages of frames with their page numbers. A preview
// run records the pages; they are then painted onto a printer (or its preview) as often as
// needed.
#pragma once

#include "albums/albumdoc.h"
#include "albums/albumlayout.h"
#include "albums/albumprefs.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

class QFontMetrics;
class QPainter;
class QPrinter;

namespace orbisk {

class TPixelGraphic;

inline constexpr const char* kErrorRotatingImage = "Error Rotating Image";
inline constexpr const char* kCantLoadGraphic = "Can't load graphic file ";

// Dest becomes the picture of Path turned clockwise by Angle degrees (90, 180 or 270; 0 loads
// it unchanged) without loss: depth and palette stay. False, Dest empty, for other angles or
// when the file cannot be read or turned.
bool RotatedPicture(const QString& Path, int Angle, TPixelGraphic& Dest);
// The picture of an entry; raises on a file that cannot be read. With a rotation a failure
// to turn raises EAlbumPicture(kErrorRotatingImage). ReducedSize above 0 lets the reader decode
// a reduced picture (see TPixelGraphic::ReducedSize); Full, when given, receives the full
// picture's size turned as Dest is (upright, then by the entry's rotation).
void LoadEntryPicture(const AlbumEntry& Entry, TPixelGraphic& Dest, int ReducedSize = 0,
                      QSize* Full = nullptr);
class EAlbumPicture : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// What a page shows.
struct TPageItem {
  enum TKind { ikFrame, ikPicture, ikText } Kind = ikFrame;
  TFrameRect Rect; // frame, or the picture's place
  QImage Image;    // ikPicture
  QString Text;    // ikText, drawn with its top left corner at (Rect.Left, Rect.Top)
  QFont Font;      // ikText
  QColor Color;    // ikText
};
struct TAlbumPage {
  int Number = 1;
  std::vector<TPageItem> Items;
};

// The caption text of an entry for a caption option ("" for none or on failure).
QString EntryCaptionText(const AlbumEntry& Entry, TCaptionOption Option, const QString& CustomText);

// The caption font on the page (name, size, style of the album's font).
QFont AlbumCaptionFont(const TAlbumFont& F);

struct TAlbumRunHooks {
  // Before entry I (0-based) is drawn.
  std::function<void(int I, const QString& Path)> OnEntry;
  // After entry I was drawn: let pending events run; false stops the run.
  std::function<bool(int I)> KeepRunning;
  // Messages for the user ("Can't load graphic file " + path, "Error Rotating Image").
  std::function<void(const QString& Text)> OnMessage;
};

// Lays out the entries page by page for Page and draws each into its frame. The pages made so
// far are returned when KeepRunning stops the run.
std::vector<TAlbumPage> BuildAlbumPages(const std::vector<AlbumEntry>& Entries,
                                        const TAlbumPrefs& Prefs, const TAlbumFont& CaptionFont,
                                        const TPrintPage& Page, const TAlbumRunHooks& Hooks);

// Draws entry's picture into Frame on Page (exposed for tests of single frames).
void DrawAlbumEntry(TAlbumPage& Out, const AlbumEntry& Entry, const TFrameRect& Frame,
                    const TAlbumPrefs& Prefs, const QFont& CaptionFont, const TPrintPage& Page,
                    const TAlbumRunHooks& Hooks);

// Why Output may not be written by a print of the album ("" when it may): it is the album file
// or one of its pictures, under any name (a symbolic or hard link included). Printing over them
// would destroy what the album is made of.
QString AlbumOutputConflict(const std::vector<AlbumEntry>& Entries, const QString& AlbumFile,
                            const QString& Output);

// Text cut to fit Width pixels with an ellipsis, measured with FM. Very long texts are cut
// before they are measured: no frame holds more characters than it has pixels.
QString ElidedCaption(const QString& Text, const QFontMetrics& FM, int Width);

// Paints one page (its items and "Page %d" at the bottom right) with Painter in page pixels.
void PaintAlbumPage(QPainter& Painter, const TAlbumPage& AlbumPage, const TPrintPage& Page);
// Paints all pages onto the printer, a new printer page for each.
void PrintAlbumPages(QPrinter& Printer, const std::vector<TAlbumPage>& Pages,
                     const TPrintPage& Page);
// The page of a printer: full page size in device pixels, resolution and margins in inches.
TPrintPage PrintPageOf(QPrinter& Printer);
// Sets up a printer for albums: the whole page is addressed, margins 1 inch unless set.
void PrepareAlbumPrinter(QPrinter& Printer);

} // namespace orbisk
