#include "browser/bookmarks.h"

#include "platform/filenames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

QString DefaultBookmarksFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/Orbiskel/bookmrks.dat");
}

TBookmarksRead ReadBookmarks(const QString& FileName, QStringList& List, bool* Whole) {
  List.clear();
  if (Whole) *Whole = true;
  const QByteArray Name = EncodeFileName(FileName);
  struct stat St;
  if (::stat(Name.constData(), &St) != 0)
    return errno == ENOENT || errno == ENOTDIR ? TBookmarksRead::Missing
                                               : TBookmarksRead::Unreadable;
  if (!S_ISREG(St.st_mode)) return TBookmarksRead::Unreadable;
  const int F = ::open(Name.constData(), O_RDONLY | O_CLOEXEC);
  if (F < 0) return TBookmarksRead::Unreadable;
  // Line by line: a line longer than any path is skipped without being kept, and reading stops
  // at a size no list of folders reaches, so a huge or endless file costs little.
  bool Complete = true, Skipping = false;
  QByteArray Line;
  QStringList Lines;
  auto EndLine = [&] {
    if (Line.endsWith('\r')) Line.chop(1);
    if (!Skipping && !Line.isEmpty()) Lines << DecodeFileName(Line);
    Line.clear();
    Skipping = false;
  };
  static constexpr qint64 Chunk = 64 * 1024;
  std::vector<char> Buffer(Chunk);
  qint64 Total = 0;
  for (;;) {
    if (Total >= kMaxBookmarksFileBytes) {
      // Stopped short: the line being read may be cut, so it is not taken.
      char Probe;
      if (::read(F, &Probe, 1) > 0) {
        Complete = false;
        Line.clear();
        Skipping = true;
      }
      break;
    }
    const ssize_t N =
        ::read(F, Buffer.data(), size_t(std::min(Chunk, kMaxBookmarksFileBytes - Total)));
    if (N < 0) {
      if (errno == EINTR) continue;
      ::close(F);
      return TBookmarksRead::Unreadable;
    }
    if (N == 0) break;
    Total += N;
    for (ssize_t I = 0; I < N; ++I) {
      const char C = Buffer[size_t(I)];
      if (C == '\n') {
        EndLine();
      } else if (!Skipping) {
        Line += C;
        if (Line.size() > PATH_MAX) {
          Skipping = true;
          Complete = false;
          Line.clear();
        }
      }
    }
  }
  ::close(F);
  EndLine();
  List = Lines;
  if (Whole) *Whole = Complete;
  return TBookmarksRead::Ok;
}

bool SaveBookmarks(const QString& FileName, const QStringList& List) {
  QDir().mkpath(QFileInfo(FileName).absolutePath());
  QSaveFile F(FileName);
  if (!F.open(QIODevice::WriteOnly)) return false;
  QByteArray Data;
  for (const QString& S : List)
    Data += EncodeFileName(S) + "\r\n";
  if (F.write(Data) != Data.size()) {
    F.cancelWriting();
    return false;
  }
  return F.commit();
}

namespace {

// Adds one line at the end of the file, leaving every byte before it as it was.
bool AppendBookmark(const QString& FileName, const QString& Folder) {
  const int F = ::open(EncodeFileName(FileName).constData(), O_RDWR | O_APPEND | O_CLOEXEC);
  if (F < 0) return false;
  QByteArray Data = EncodeFileName(Folder) + "\r\n";
  struct stat St;
  char Last = '\n';
  if (::fstat(F, &St) == 0 && St.st_size > 0 && ::pread(F, &Last, 1, St.st_size - 1) == 1 &&
      Last != '\n')
    Data.prepend("\r\n");
  const bool Written = ::write(F, Data.constData(), size_t(Data.size())) == Data.size();
  return ::close(F) == 0 && Written;
}

} // namespace

TAddBookmark AddBookmark(const QString& FileName, const QString& Folder) {
  QStringList List;
  bool Whole = true;
  if (ReadBookmarks(FileName, List, &Whole) == TBookmarksRead::Unreadable)
    return TAddBookmark::Unreadable;
  for (const QString& S : List)
    if (S.compare(Folder, Qt::CaseInsensitive) == 0) return TAddBookmark::Duplicate;
  // A file read only in part is not written again from that part: the folder is appended.
  if (!Whole)
    return AppendBookmark(FileName, Folder) ? TAddBookmark::Added : TAddBookmark::WriteFailed;
  List << Folder;
  return SaveBookmarks(FileName, List) ? TAddBookmark::Added : TAddBookmark::WriteFailed;
}

QString AddBookmarkMessage(TAddBookmark Result, const QString& FileName, const QString& Folder) {
  switch (Result) {
  case TAddBookmark::Duplicate:
    return Folder + QStringLiteral(" is already bookmarked!");
  case TAddBookmark::Unreadable:
    return QStringLiteral("The bookmarks file ") + FileName +
           QStringLiteral(" can not be read; it was left unchanged.");
  case TAddBookmark::WriteFailed:
    return QStringLiteral("The bookmarks file ") + FileName +
           QStringLiteral(" can not be written.");
  case TAddBookmark::Added:
    break;
  }
  return QString();
}

bool IsPlausibleBookmark(const QString& Line) {
  if (Line.isEmpty()) return false;
  for (QChar C : Line)
    if (C.category() == QChar::Other_Control) return false;
  return EncodeFileName(Line).size() < PATH_MAX;
}

QStringList MenuBookmarks(const QStringList& Lines) {
  QStringList Out;
  for (const QString& L : Lines) {
    if (Out.size() >= kMaxBookmarkMenuItems) break;
    if (IsPlausibleBookmark(L)) Out << L;
  }
  return Out;
}

QString MissingBookmarkMessage(const QString& Folder) {
  return QStringLiteral("The bookmarked folder ") + Folder +
         QStringLiteral(" does not exist any more.");
}

} // namespace orbisk
