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

// Path made absolute against the current folder and cleaned, as text: unlike QFileInfo it keeps
// the bytes of names that are not UTF-8.
QString AbsoluteFilePath(const QString& Path);
// True when the name is valid UTF-8 as stored (no byte kept as a lone surrogate).
bool IsUtf8Name(const QString& Name);
// The bytes percent-encoded for a URI path: unreserved characters and "/" stay, every other byte
// becomes %XX (as GLib writes it), so a name that is not UTF-8 keeps its bytes.
QByteArray PercentEncodedPath(const QByteArray& Bytes);
// "file://" + the percent-encoded bytes of an absolute path.
QString FileUri(const QString& AbsolutePath);

// What the system says about a path (following symbolic links), without Qt's name conversion.
struct TFileStat {
  bool Exists = false;
  bool IsFile = false;
  bool IsDir = false;
  qint64 Size = 0;
  QDateTime Modified;
};
TFileStat StatPath(const QString& Path);

// A file name or path as it is shown or printed on one line (lists, status bar, captions,
// printed listings): every character that would break the line, reorder the text around it or
// not show at all becomes the visible mark U+FFFD. That is control characters (line breaks,
// tabs, escape, DEL, C1), line and paragraph separators, the bidirectional embeddings,
// overrides, isolates and marks (so "photo_<U+202E>gpj.exe" cannot read "photo_exe.jpg"), and
// the bytes that are not UTF-8. Only for showing: never build a path from the result.
QString DisplayFileName(const QString& Name);
// The same rule under its older name.
inline QString ShownName(const QString& Name) {
  return DisplayFileName(Name);
}

} // namespace orbisk
