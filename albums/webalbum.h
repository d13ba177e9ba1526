// Web albums: an album published as static web pages in one folder. Every entry gets a JPEG
// thumbnail ("tm_" + name) and a JPEG display picture; the pages show the thumbnails in a table,
// each linking to its display picture. No windows here: the publishing wizard and orbisk-cli
// share it.
//
// The pages are read by other people's browsers, so every text that goes into them is
// HTML-escaped, every file name in a link is percent-encoded, and they are written in UTF-8.
// Nothing the album is made from is ever replaced: a name that would land on a source file is
// reported and the entry is left out.
#pragma once

#include "albums/albumdoc.h"
#include "engine/pixelgraphic.h"
#include "thumbnails/thumbcell.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace orbisk {

inline constexpr const char* kErrorWritingFile = "Error writing file: ";
inline constexpr const char* kNoAlbumImages =
    "You need to have some image files added to the Album list!";
inline constexpr const char* kCannotCreateFolder = "Cannot create ";

// "Error creating folder " + folder + CR LF + "Please use a standard windows path like
// C:\MyWebPages".
QString ErrorCreatingFolderText(const QString& Folder);

enum TWebCaption : int { wcNone = 0, wcFilename, wcCaption };

// The wizard's caption choice for an album caption option: above "Caption" becomes "Caption".
TWebCaption WebCaptionOf(int AlbumCaptionOption);

struct TWebAlbumOptions {
  static constexpr int kMinThumb = 32, kMaxThumb = 256, kThumbStep = 4;
  static constexpr int kMinMax = 40, kMaxMax = 2000, kMaxStep = 10;
  static constexpr int kMinQuality = 10, kMaxQuality = 100;
  static constexpr int kMinSharpen = 40, kMaxSharpen = 80;
  static constexpr int kMaxRowsCols = 20;

  int ThumbnailSize = 96;
  int MaxSize = 2000;
  int Cols = 2, Rows = 3;
  bool ShowFrames = false;
  int Quality = 80;
  bool AutoSharpen = true;
  int SharpeningAmount = 60;
  bool Progressive = true;
  TWebCaption Caption = wcNone;
  QString WebFolder;
  QString PageName = "myphotos.html";
  QString Title, Header, Footer;
  TRGB BackgroundColor = RGBOf(255, 255, 255);
  TRGB TextColor = RGBOf(0, 0, 0);
  bool UseBGImage = false;
  QString BGImage;
  // "Remove location and camera data": EXIF (GPS, camera, dates), XMP, comments and the other
  // camera blocks are left out of every published picture; colour profiles stay.
  bool RemoveMetadata = true;
  // Files of the run's names already in the folder are replaced only when the user says so;
  // otherwise they are skipped and reported.
  bool ReplaceExisting = false;
};

// ---- names and numbers

// Pages for Entries entries at Cols x Rows per page; 0 when Cols or Rows is below 1.
int WebPageCount(int Entries, int Cols, int Rows);
// "1 page", or the number followed by " pages".
QString PageCountText(int Pages);
// Why the layout cannot be published ("" when it can): columns or rows of 0.
QString LayoutProblem(int Cols, int Rows);
// Why a page name cannot be used ("" when it can): empty, a folder in it, nothing before its
// first ".".
QString PageNameProblem(const QString& PageName);
// The page name up to its first "." (the whole name without one).
QString BasePageName(const QString& PageName);
// Base + ".html" for a single page, else Base + "_" + Page + ".html".
QString WebPageFileName(const QString& Base, int Page, int Pages);
// The name of an entry's display picture: its file name (no folder) up to the first ".", then
// ".jpg".
QString WebPictureName(const QString& FileName);
// The display picture names of all entries, made distinct: a name whose picture or thumbnail
// another entry already uses (letter case ignored, for case-blind web servers and file systems)
// gets "_2", "_3", ... before ".jpg".
std::vector<QString> WebPictureNames(const std::vector<AlbumEntry>& Entries);
// RRGGBB in upper case, red first.
QString HexColor(TRGB C);
// & < > " ' as character references.
QString HtmlEscape(const QString& Text);
// A file name as a relative address: its bytes percent-encoded (letters, digits, - . _ ~ kept).
QString UrlOfName(const QString& Name);
// A W x H picture scaled to S: square S x S; wider ones S wide and Trunc(H x S / W) high;
// others Trunc(W x S / H) wide and S high (never below 1). Small pictures are enlarged.
TSize2 WebPictureSize(int W, int H, int S);

// ---- page text

// The table cell of an entry (PictureName is its display picture name; CaptionText the shown
// caption for wcCaption).
QString WebCellLine(TWebCaption Caption, const QString& PictureName, const QString& CaptionText);
// Up to this many pages each page links every page; beyond, the first, previous, next and last
// pages and kPageWindow pages either side of the page.
inline constexpr int kAllPageLinks = 50;
inline constexpr int kPageWindow = 5;
// The lines of page Page of Pages. RowCells holds the cell lines row by row (at most O.Rows
// rows); missing rows are written empty.
QStringList WebPageLines(const TWebAlbumOptions& O, int Page, int Pages,
                         const std::vector<QStringList>& RowCells);
// The lines as the file's bytes: UTF-8, CR LF after every line.
QByteArray WebPageBytes(const QStringList& Lines);

// ---- pictures

// The picture of an entry as the web album uses it, turned by the entry's rotation. True when
// the pixels are turned against the file (the file's own bytes then cannot be copied). Raises
// when the file cannot be read or turned. ReducedSize and Full as LoadEntryPicture takes them.
bool LoadWebSource(const AlbumEntry& Entry, TPixelGraphic& Dest, int ReducedSize = 0,
                   QSize* Full = nullptr);
// The bytes of a JPEG file without its camera data: APP1 (EXIF, XMP), APP3 to APP13, APP15,
// comments, APP2 blocks other than ICC profiles, and anything after the end of the picture
// (further pictures, such as camera previews, carry their own EXIF). The JFIF and Adobe blocks
// and ICC profiles stay, and so does every byte of the picture data. Empty when the bytes are not
// a JPEG file this can follow.
QByteArray JPEGWithoutCameraData(const QByteArray& Jpeg);

// A 24-bit copy scaled to WebPictureSize(S), sharpened when Sharpen (amount in percent).
std::unique_ptr<TPixelGraphic> WebScaledCopy(const TPixelGraphic& Source, int S, bool Sharpen,
                                             int Amount);

// ---- publishing

struct TWebPublishHooks {
  // Progress: the number of cells done (0..Entries).
  std::function<void(int Done)> OnProgress;
  // After every cell: lets pending events run; false stops the run.
  std::function<bool()> KeepRunning;
  // Messages for the user ("Error writing file: " + path, ...).
  std::function<void(const QString& Text)> OnMessage;
};

struct TWebPublishResult {
  QStringList Pages;    // full paths of the pages written
  QStringList Skipped;  // full paths of files not written because they were already there
  QString FirstPage;    // full path of the first page ("" when not written)
  int Published = 0;    // entries whose pictures were written
  int Errors = 0;       // messages given
  bool Stopped = false; // KeepRunning stopped it (the page in progress was not written)
  bool FolderMissing = false;
  bool MetadataRemoved = true; // the pictures were published without camera data
};

// What a run published, for the wizard's last page and orbisk-cli: pictures and pages written,
// whether camera data was removed, and the files skipped.
QString WebPublishSummary(const TWebPublishResult& R, int Entries);

// Creates Folder with its missing parents; true when it exists as a folder afterwards.
bool MakeWebFolder(const QString& Folder);

// Publishes the entries into O.WebFolder (created when missing; an error otherwise). The JPEG
// quality and progressive flag are those of O for this run only; the engine's settings are
// restored afterwards.
TWebPublishResult PublishWebAlbum(const std::vector<AlbumEntry>& Entries, const TWebAlbumOptions& O,
                                  const TWebPublishHooks& Hooks);

} // namespace orbisk
