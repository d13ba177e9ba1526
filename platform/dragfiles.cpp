#include "platform/dragfiles.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace orbisk {

QMimeData* MakeFileDragData(const QStringList& FullNames, const QString& Folder,
                            TDragSource Source) {
  QList<QUrl> Urls;
  for (const QString& Name : FullNames)
    Urls << QUrl::fromLocalFile(Name);
  auto* Data = new QMimeData;
  Data->setUrls(Urls);
  if (Source != TDragSource::dsNone)
    Data->setData(
        QString::fromLatin1(Source == TDragSource::dsFileList ? kFileListMime : kThumbnailListMime),
        Folder.toUtf8());
  return Data;
}

TDragSource DragSourceOf(const QMimeData* Data) {
  if (!Data) return TDragSource::dsNone;
  if (Data->hasFormat(QString::fromLatin1(kFileListMime))) return TDragSource::dsFileList;
  if (Data->hasFormat(QString::fromLatin1(kThumbnailListMime))) return TDragSource::dsThumbnailList;
  return TDragSource::dsNone;
}

QStringList DraggedLocalFiles(const QMimeData* Data) {
  QStringList Files;
  if (!Data || !Data->hasUrls()) return Files;
  for (const QUrl& U : Data->urls())
    if (U.isLocalFile()) Files << U.toLocalFile();
  return Files;
}

bool HasRemoteUrls(const QMimeData* Data) {
  if (!Data || !Data->hasUrls()) return false;
  for (const QUrl& U : Data->urls())
    if (!U.isLocalFile()) return true;
  return false;
}

} // namespace orbisk
