// Writing the files of the desktop integration (mimeapps.list, the .desktop file, the wallpaper
// bitmap) through the engine's safe file writes: a failed write never damages what was there.
#pragma once

#include <QByteArray>
#include <QString>

namespace orbisk {

// Replaces (or creates) Target with Data. A target without its owner's write bit is refused.
// Throws EPGStreamError naming the file and the system's reason.
void WriteFileReplacing(const QString& Target, const QByteArray& Data);
// Creates Target with Data; false (nothing written) when Target exists, also when another
// process creates it meanwhile. Throws EPGStreamError on other failures.
bool WriteNewFile(const QString& Target, const QByteArray& Data);

} // namespace orbisk
