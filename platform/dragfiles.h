// Files dragged between the program's windows: the main window's file list, the file manager and
// the thumbnail explorer offer them; the editor, the converter, the incremental rename, the sheet
// creator and the album take them. Every drag carries the files as local URLs, so that other
// programs can take them too, plus a marker naming the list it comes from.
#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

namespace orbisk {

enum class TDragSource { dsNone, dsFileList, dsThumbnailList };

// The marker types: their data is the folder the files were listed from (UTF-8).
inline constexpr const char* kFileListMime = "application/x-orbisk-file-list";
inline constexpr const char* kThumbnailListMime = "application/x-orbisk-thumbnail-list";

// Drag data for full file names taken from one of the program's lists.
QMimeData* MakeFileDragData(const QStringList& FullNames, const QString& Folder,
                            TDragSource Source);
// Which of the program's lists the data comes from (dsNone for anything else).
TDragSource DragSourceOf(const QMimeData* Data);
// The local files the data names, full paths in drag order; remote URLs are left out.
QStringList DraggedLocalFiles(const QMimeData* Data);
// True when the data names at least one URL that is not a local file.
bool HasRemoteUrls(const QMimeData* Data);

} // namespace orbisk
