#include "platform/associations.h"

#include "platform/filenames.h"

#include "platform/shellfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <functional>
#include <map>

namespace orbisk {

QStringList MimeTypesOfType(const QString& Type) {
  static const std::map<QString, QStringList> Types = {
      {"JPG", {"image/jpeg"}},
      {"GIF", {"image/gif"}},
      {"BMP", {"image/bmp", "image/x-bmp", "image/x-ms-bmp"}},
      {"ICO", {"image/vnd.microsoft.icon", "image/x-icon"}},
      {"WMF", {"image/wmf", "image/x-wmf"}},
      {"AVI", {"video/x-msvideo"}},
      {"PCX", {"image/vnd.zbrush.pcx", "image/x-pcx"}},
      {"PNG", {"image/png"}},
      {"TGA", {"image/x-tga", "image/x-targa"}},
      {"TIF", {"image/tiff"}},
  };
  const auto I = Types.find(Type.toUpper());
  return I == Types.end() ? QStringList() : I->second;
}

QStringList ReadableMimeTypes() {
  QStringList All;
  for (const char* T : {"BMP", "JPG", "PNG", "GIF", "TIF", "PCX", "TGA", "ICO", "WMF", "AVI"})
    All << MimeTypesOfType(T);
  // Read as well, without a preferences row of their own.
  All << "image/x-portable-bitmap"
      << "image/x-portable-graymap"
      << "image/x-portable-pixmap"
      << "image/x-portable-anymap"
      << "image/emf"
      << "image/x-emf"
      // The later formats.
      << "image/webp"
      << "image/avif"
      << "image/heic"
      << "image/heif"
      << "image/jxl";
  return All;
}

QString UnwritableProgramPath(const QString& Program) {
  // A desktop entry is UTF-8 text whose values hold no control characters; only line breaks,
  // tabs and carriage returns have escapes. Bytes that are not UTF-8 cannot be written at all.
  for (qsizetype I = 0; I < Program.size(); ++I) {
    const QChar C = Program[I];
    if (C.isHighSurrogate() && I + 1 < Program.size() && Program[I + 1].isLowSurrogate()) {
      ++I;
      continue;
    }
    const bool Escaped = C == '\n' || C == '\t' || C == '\r';
    if (C.isSurrogate() || (C.category() == QChar::Other_Control && !Escaped))
      return "The program cannot be associated from " + DisplayFileName(Program) +
             ": its path holds characters a desktop entry cannot store. Move the program to "
             "another folder and associate again.";
  }
  return QString();
}

QString QuoteExecArgument(const QString& Program) {
  // Reserved characters make a quoted argument; inside, " ` $ \ are escaped with a backslash.
  static const QString Reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`");
  bool Quote = false;
  for (QChar C : Program)
    Quote = Quote || Reserved.contains(C);
  QString Arg = Program;
  if (Quote) {
    QString Q;
    for (QChar C : Program) {
      if (C == '"' || C == '`' || C == '$' || C == '\\') Q += '\\';
      Q += C;
    }
    Arg = '"' + Q + '"';
  }
  // Then the escapes of a desktop entry's string value (a line break must not end the line:
  // it would start a key of its own), and "%" of the field codes.
  Arg.replace('\\', "\\\\");
  Arg.replace('\n', "\\n");
  Arg.replace('\t', "\\t");
  Arg.replace('\r', "\\r");
  Arg.replace('%', "%%");
  return Arg;
}

QByteArray DesktopFileText(const QString& Program) {
  const QString Exec = Program.isEmpty() ? QStringLiteral("orbisk") : QuoteExecArgument(Program);
  QString T;
  T += "[Desktop Entry]\n";
  T += "Type=Application\n";
  T += "Name=Orbisk\n";
  T += "GenericName=Picture Viewer\n";
  T += "Comment=Browse, view and organise pictures\n";
  T += "Exec=" + Exec + " %F\n";
  T += "Icon=orbisk\n";
  T += "Terminal=false\n";
  T += "StartupNotify=true\n";
  T += "Categories=Graphics;Viewer;RasterGraphics;2DGraphics;\n";
  T += "Keywords=picture;photo;image;viewer;slide show;album;\n";
  T += "MimeType=" + ReadableMimeTypes().join(';') + ";\n";
  return T.toUtf8();
}

// ---- mimeapps.list

namespace {

struct TLine {
  QByteArray Text;
  QByteArray Group; // the group the line belongs to
};

QByteArray KeyOf(const QByteArray& Line) {
  const qsizetype Eq = Line.indexOf('=');
  return Eq < 0 ? QByteArray() : Line.left(Eq).trimmed();
}

} // namespace

QByteArray SetDefaultApplications(const QByteArray& Text, const QStringList& MimeTypes,
                                  const QString& DesktopId) {
  QList<QByteArray> Lines = Text.split('\n');
  if (!Lines.isEmpty() && Lines.last().isEmpty()) Lines.removeLast();
  const QByteArray Id = DesktopId.toUtf8();

  // Sets Key in Group by Value(old value); appends the group when it is missing.
  auto Set = [&Lines](const QByteArray& Group, const QByteArray& Key,
                      const std::function<QByteArray(const QByteArray&)>& Value) {
    QByteArray Current;
    qsizetype GroupEnd = -1; // index after the last line of the group
    for (qsizetype I = 0; I < Lines.size(); ++I) {
      const QByteArray L = Lines[I].trimmed();
      if (L.startsWith('[')) {
        Current = L;
        if (Current == Group) GroupEnd = I + 1;
        continue;
      }
      if (Current != Group) continue;
      if (!L.isEmpty()) GroupEnd = I + 1;
      if (!L.startsWith('#') && KeyOf(L) == Key) {
        Lines[I] = Key + '=' + Value(L.mid(L.indexOf('=') + 1).trimmed());
        return;
      }
    }
    if (GroupEnd < 0) {
      if (!Lines.isEmpty() && !Lines.last().trimmed().isEmpty()) Lines << QByteArray();
      Lines << Group;
      GroupEnd = Lines.size();
    }
    Lines.insert(GroupEnd, Key + '=' + Value(QByteArray()));
  };

  for (const QString& Mime : MimeTypes) {
    const QByteArray Key = Mime.toUtf8();
    Set("[Default Applications]", Key, [&](const QByteArray&) { return Id + ';'; });
    Set("[Added Associations]", Key, [&](const QByteArray& Old) {
      QByteArray V = Id + ';';
      for (const QByteArray& App : Old.split(';'))
        if (!App.trimmed().isEmpty() && App.trimmed() != Id) V += App.trimmed() + ';';
      return V;
    });
  }
  return Lines.join('\n') + '\n';
}

// ---- registering

TAssociationPaths TAssociationPaths::FromEnvironment() {
  TAssociationPaths P;
  const QString Home = QDir::homePath();
  auto Env = [](const char* Name) { return DecodeFileName(qgetenv(Name)); };
  P.ConfigHome = Env("XDG_CONFIG_HOME");
  if (!P.ConfigHome.startsWith('/')) P.ConfigHome = Home + "/.config";
  P.DataHome = Env("XDG_DATA_HOME");
  if (!P.DataHome.startsWith('/')) P.DataHome = Home + "/.local/share";
  for (const QString& D : Env("XDG_DATA_DIRS").split(':', Qt::SkipEmptyParts))
    if (D.startsWith('/')) P.DataDirs << QDir::cleanPath(D);
  if (P.DataDirs.isEmpty()) P.DataDirs = {"/usr/local/share", "/usr/share"};
  P.Program = QCoreApplication::applicationFilePath();
  return P;
}

namespace {

[[noreturn]] void CannotCreate(const QString& File) {
  throw EAssociation(("Cannot create file " + File +
                      ", the user account may not have the required rights to create files "
                      "under " +
                      QFileInfo(File).path() + ".")
                         .toStdString());
}

void WriteOrFail(const QString& File, const QByteArray& Data) {
  if (!QDir().mkpath(QFileInfo(File).path())) CannotCreate(File);
  try {
    WriteFileReplacing(File, Data);
  } catch (const std::exception&) {
    CannotCreate(File);
  }
}

} // namespace

QString EnsureDesktopFile(const TAssociationPaths& Paths) {
  // Installed beside the program (PREFIX/bin/orbisk, PREFIX/share/applications/orbisk.desktop)
  // in a folder the desktop searches: nothing to write.
  const QString Share = QDir::cleanPath(QFileInfo(Paths.Program).path() + "/../share");
  const QString Installed = Share + "/applications/" + DesktopFileId;
  if (QFileInfo::exists(Installed) &&
      (Paths.DataDirs.contains(Share) || QDir::cleanPath(Paths.DataHome) == Share))
    return Installed;
  const QString Own = Paths.DataHome + "/applications/" + DesktopFileId;
  const QString Refused = UnwritableProgramPath(Paths.Program);
  if (!Refused.isEmpty()) throw EAssociation(Refused.toStdString());
  const QByteArray Text = DesktopFileText(Paths.Program);
  QFile Old(Own);
  if (!(Old.open(QIODevice::ReadOnly) && Old.readAll() == Text)) {
    WriteOrFail(Own, Text);
    // Refreshes the "Open With" cache of the folder; the defaults do not depend on it.
    QProcess::execute("update-desktop-database", {"-q", QFileInfo(Own).path()});
  }
  return Own;
}

void RegisterType(const QString& Type, const TAssociationPaths& Paths) {
  const QStringList Mimes = MimeTypesOfType(Type);
  if (Mimes.isEmpty()) return;
  EnsureDesktopFile(Paths);
  const QString List = Paths.ConfigHome + "/mimeapps.list";
  QFile F(List);
  QByteArray Old;
  if (F.exists()) {
    if (!F.open(QIODevice::ReadOnly)) CannotCreate(List);
    Old = F.readAll();
    F.close();
  }
  WriteOrFail(List, SetDefaultApplications(Old, Mimes));
}

void AssociateTypes(const QStringList& Types, const TAssociationPaths& Paths) {
  for (const QString& T : Types)
    RegisterType(T, Paths);
}

} // namespace orbisk
