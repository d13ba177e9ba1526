// The album document: an ordered list of picture files, each with a caption and a quarter-turn
// rotation, and the settings an album file carries (page layout, caption kind, caption font).
// The album window edits it; the web album wizard publishes it.
#pragma once

#include "albums/albumformat.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>
#include <vector>

namespace orbisk {

struct AlbumEntry {
  QString FileName; // full path
  QString Caption;  // empty by default
  int Rotation = 0; // quarter turns clockwise, 0..3
  bool operator==(const AlbumEntry&) const = default;
};

// The caption font of an album. A new album uses "Arial", 8 points, black, plain.
struct TAlbumFont {
  QString Name = "Arial";
  int Size = 8;
  int Color = 0; // red in the low byte; system colours are negative
  bool Bold = false;
  bool Italic = false;
  bool operator==(const TAlbumFont&) const = default;
};

// The settings an album file carries.
struct AlbumSettings {
  int Rows = 3;
  int Cols = 2;
  int Border = 100;
  bool PrintFrames = false;
  int CaptionOption = 0;
  TAlbumFont CaptionFont;
  bool operator==(const AlbumSettings&) const = default;
};

inline constexpr const char* kNoAlbumFile = "*.alb";
// The system colour "window text" as album files store it (system colours are negative).
inline constexpr int kWindowTextColor = int(0x80000008u - 0x100000000ll);
inline constexpr const char* kNoEntriesToSave = "You need to have entries in the Album to save";
// Shown once per addition or edit when characters had to be replaced.
inline constexpr const char* kCharactersReplaced =
    "Tab characters in file names and line breaks in captions cannot be stored in an album "
    "file; they were replaced by blanks.";

// Captions are cut to this many characters when an album is read: no page or frame shows more,
// and a caption of megabytes would only cost time and memory in every print and web page.
inline constexpr int kMaxCaptionLength = 2000;
inline constexpr const char* kCaptionsCut =
    "Captions longer than 2000 characters cannot be shown whole; they were cut to 2000 "
    "characters.";

// An album file that cannot be written or read; the text names the file and the reason.
class EAlbumFile : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A QObject so that every party showing the album (the window's list, the wizard) can follow it.
class TAlbumDocument : public QObject {
  Q_OBJECT
public:
  TAlbumDocument() = default;

  const std::vector<AlbumEntry>& Entries() const { return FEntries; }
  int Count() const { return int(FEntries.size()); }
  bool IsEmpty() const { return FEntries.empty(); }
  const AlbumEntry& Entry(int I) const { return FEntries.at(size_t(I)); }
  QStringList FileNames() const;

  // Appends an entry. A TAB in the name and CR or LF in the caption become blanks; the result
  // is false when that happened (the caller tells the user once).
  bool Add(const QString& FileName, const QString& Caption = QString(), int Rotation = 0);
  // Sets a caption (CR and LF become blanks; false when that happened).
  bool SetCaption(int I, const QString& Caption);
  // Rotation + 1 (3 wraps to 0) and - 1 (0 wraps to 3).
  void RotateClockwise(int I);
  void RotateCounterClockwise(int I);
  // Moves an entry one place; false when there is no neighbour that way.
  bool MoveUp(int I);
  bool MoveDown(int I);
  void Remove(int I);
  void Clear();
  // Replaces all entries at once.
  void SetEntries(std::vector<AlbumEntry> Entries);

  // The caption font (stored in the album file).
  TAlbumFont CaptionFont;
  // The path last opened or saved; kNoAlbumFile while there is none.
  QString FileName = kNoAlbumFile;
  bool HasFileName() const { return FileName != kNoAlbumFile; }

  // New album: font "Arial" 8 black plain, no remembered file, no entries.
  void New();

signals:
  // After every change of the entries.
  void OnChange();

private:
  void Changed();
  std::vector<AlbumEntry> FEntries;
};

// ---- album files

// The bytes of an album file for the entries and the settings.
QByteArray AlbumFileBytes(const std::vector<AlbumEntry>& Entries, const AlbumSettings& Settings);

// What an album file holds.
struct TAlbumContent {
  AlbumSettings Settings;
  std::vector<AlbumEntry> Entries;
  bool HasRotation = true;
  // The file ends inside an entry: the entries before it were read.
  bool Truncated = false;
  // Captions longer than kMaxCaptionLength were cut (the user is told kCaptionsCut).
  bool CaptionsCut = false;
};
// The content of album file bytes; EAlbumFormat when they are not an album file.
TAlbumContent ParseAlbumBytes(const QByteArray& Bytes);

// Writes the album to Path through a temporary file renamed over the target, so a failed save
// leaves an existing file as it was. Raises EAlbumFile naming the file and the reason. An album
// without entries raises EAlbumFile(kNoEntriesToSave) and touches nothing.
void SaveAlbum(const QString& Path, const std::vector<AlbumEntry>& Entries,
               const AlbumSettings& Settings);
// Reads an album file (at most kMaxAlbumFileSize bytes). Raises EAlbumFile when the file
// cannot be read or is not an album file; the caller's album is then untouched.
TAlbumContent OpenAlbum(const QString& Path);
inline constexpr qint64 kMaxAlbumFileSize = qint64(256) << 20;

// Replaces a whole file safely; the one place album files are written.
void WriteAlbumFileSafely(const QString& Path, const QByteArray& Data);

// The text of the warning for a truncated file.
QString TruncatedAlbumText(const QString& Path, int EntriesRead);

} // namespace orbisk
