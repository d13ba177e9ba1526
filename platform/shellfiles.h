// Writing the files of the desktop integration (mimeapps.list, the .desktop file, the wallpaper
// bitmap): every write goes to a temporary file that is renamed over the target on success, so a
// failed write never damages what was there.
#pragma once

#include <QByteArray>
#include <QString>

namespace orbisk {

// Replaces (or creates) Target with Data. A target without its owner's write bit is refused.
// Throws std::runtime_error naming the file and the system's reason.
void WriteFileReplacing(const QString& Target, const QByteArray& Data);
// Creates Target with Data; false (nothing written) when Target exists, also when another
// process creates it meanwhile. Throws std::runtime_error on other failures.
bool WriteNewFile(const QString& Target, const QByteArray& Data);

} // namespace orbisk
