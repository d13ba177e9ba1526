#include "browser/bookmarks.h"

#include "platform/filenames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <climits>

namespace orbisk {

QString DefaultBookmarksFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/Orbiskel/bookmrks.dat");
}

TBookmarksRead ReadBookmarks(const QString& FileName, QStringList& List) {
  List.clear();
  QFileInfo Info(FileName);
  if (!Info.exists()) return TBookmarksRead::Missing;
  QFile F(FileName);
  if (Info.isDir() || !F.open(QIODevice::ReadOnly)) return TBookmarksRead::Unreadable;
  QByteArray Data = F.readAll();
  if (F.error() != QFileDevice::NoError) return TBookmarksRead::Unreadable;
  for (const QByteArray& Line : Data.split('\n')) {
    QString S = QString::fromUtf8(Line);
    if (S.endsWith(QLatin1Char('\r'))) S.chop(1);
    if (!S.isEmpty()) List << S;
  }
  return TBookmarksRead::Ok;
}

bool SaveBookmarks(const QString& FileName, const QStringList& List) {
  QDir().mkpath(QFileInfo(FileName).absolutePath());
  QSaveFile F(FileName);
  if (!F.open(QIODevice::WriteOnly)) return false;
  QByteArray Data;
  for (const QString& S : List)
    Data += S.toUtf8() + "\r\n";
  if (F.write(Data) != Data.size()) {
    F.cancelWriting();
    return false;
  }
  return F.commit();
}

TAddBookmark AddBookmark(const QString& FileName, const QString& Folder) {
  QStringList List;
  if (ReadBookmarks(FileName, List) == TBookmarksRead::Unreadable) return TAddBookmark::Unreadable;
  for (const QString& S : List)
    if (S.compare(Folder, Qt::CaseInsensitive) == 0) return TAddBookmark::Duplicate;
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
