// Folder bookmarks: one folder per line (CR LF) in "bookmrks.dat" under the user's data folder.
#pragma once

#include <QString>
#include <QStringList>

namespace orbisk {

// $XDG_DATA_HOME/Orbiskel/bookmrks.dat.
QString DefaultBookmarksFile();

enum class TBookmarksRead { Ok, Missing, Unreadable };

// The most of a bookmarks file that is read; the rest is ignored.
constexpr qint64 kMaxBookmarksFileBytes = 1 << 20;

// Reads the folders into List (empty unless Ok), line by line. Empty lines and lines longer than
// the system's path limit are skipped; reading stops after kMaxBookmarksFileBytes. Whole, when
// given, is false when anything was skipped that way.
TBookmarksRead ReadBookmarks(const QString& FileName, QStringList& List, bool* Whole = nullptr);
// Writes the list through a temporary file renamed over the old one; false on failure (the old
// file is then untouched).
bool SaveBookmarks(const QString& FileName, const QStringList& List);

enum class TAddBookmark { Added, Duplicate, Unreadable, WriteFailed };

// Appends Folder unless it is already there (letter case ignored). A file that exists but
// cannot be read is left alone: nothing is written. A file not read whole gets the line appended
// at its end, so that nothing of it is lost.
TAddBookmark AddBookmark(const QString& FileName, const QString& Folder);

// The message shown for each outcome (empty for Added).
QString AddBookmarkMessage(TAddBookmark Result, const QString& FileName, const QString& Folder);

// The most bookmarks the menu shows.
constexpr int kMaxBookmarkMenuItems = 100;
// Whether a line of the bookmarks file can be a folder path: not empty, no control characters,
// not longer than the system's path limit.
bool IsPlausibleBookmark(const QString& Line);
// The lines that become menu items: the plausible ones, in file order, at most
// kMaxBookmarkMenuItems.
QStringList MenuBookmarks(const QStringList& Lines);
// What choosing a bookmark whose folder is gone says.
QString MissingBookmarkMessage(const QString& Folder);

} // namespace orbisk
