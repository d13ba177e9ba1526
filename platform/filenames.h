// File names as the system stores them: bytes, not necessarily valid UTF-8. Qt decodes invalid
// bytes to U+FFFD, which loses them (such files cannot be listed or opened). These functions keep
// every byte: a byte that is not part of valid UTF-8 becomes the lone surrogate U+DC80..U+DCFF
// and turns back into that byte when the name is encoded, so that names round-trip exactly.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <string>

namespace orbisk {

QString DecodeFileName(const QByteArray& Bytes);
QByteArray EncodeFileName(const QString& Name);
// The path as the engine takes it.
inline std::string EnginePath(const QString& Path) {
  return EncodeFileName(Path).toStdString();
}

// What the system says about a path (following symbolic links), without Qt's name conversion.
struct TFileStat {
  bool Exists = false;
  bool IsFile = false;
  bool IsDir = false;
  qint64 Size = 0;
  QDateTime Modified;
};
TFileStat StatPath(const QString& Path);

// A name or path for one line of text (status bar, captions): control characters such as line
// breaks and the bytes kept as lone surrogates show as U+FFFD.
QString ShownName(const QString& Name);

} // namespace orbisk
