#include "platform/wallpaper.h"

#include "platform/autoorient.h"
#include "platform/filenames.h"

#include "engine/pixelgraphic.h"
#include "engine/stream.h"
#include "platform/prompt.h"
#include "platform/shellfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <stdexcept>

namespace orbisk {

TDesktopKind DesktopKind(const QString& CurrentDesktop) {
  for (const QString& Name : CurrentDesktop.split(':', Qt::SkipEmptyParts)) {
    const QString N = Name.trimmed().toUpper();
    if (N == "GNOME" || N == "UNITY" || N == "BUDGIE" || N == "GNOME-FLASHBACK")
      return TDesktopKind::Gnome;
    if (N == "X-CINNAMON" || N == "CINNAMON") return TDesktopKind::Cinnamon;
    if (N == "MATE") return TDesktopKind::Mate;
    if (N == "KDE") return TDesktopKind::Kde;
    if (N == "XFCE") return TDesktopKind::Xfce;
  }
  return TDesktopKind::Unsupported;
}

int RunCommand(const QString& Program, const QStringList& Args, QByteArray* Output) {
  QProcess P;
  P.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  P.start(Program, Args, QIODevice::ReadOnly);
  if (!P.waitForStarted(5000)) return -1;
  if (!P.waitForFinished(20000)) {
    P.kill();
    P.waitForFinished(1000);
    return -1;
  }
  if (Output) *Output = P.readAllStandardOutput();
  return P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
}

namespace {

void Run(const TCommandRunner& Runner, const QString& Program, const QStringList& Args,
         QByteArray* Output = nullptr) {
  const int Code = Runner(Program, Args, Output);
  if (Code == 0) return;
  const QString Why = Code < 0 ? QStringLiteral("could not be started")
                               : QStringLiteral("ended with status %1").arg(Code);
  throw std::runtime_error(
      QStringLiteral("The wallpaper could not be set: %1 %2.").arg(Program, Why).toStdString());
}

// gsettings' picture-options names for the three styles.
QString GnomeOption(TWallpaperStyle S) {
  switch (S) {
  case TWallpaperStyle::Centered:
    return QStringLiteral("centered");
  case TWallpaperStyle::Tiled:
    return QStringLiteral("wallpaper");
  case TWallpaperStyle::Stretched:
    return QStringLiteral("stretched");
  case TWallpaperStyle::Remove:
    break;
  }
  return QStringLiteral("none");
}

void ApplyGSettings(const TCommandRunner& R, const QString& Schema, const QString& Key,
                    const QString& Value, TWallpaperStyle S, bool DarkKey) {
  Run(R, "gsettings", {"set", Schema, Key, Value});
  // GNOME 42 and later keep a second picture for the dark style; older versions lack the key.
  if (DarkKey) R("gsettings", {"set", Schema, "picture-uri-dark", Value}, nullptr);
  Run(R, "gsettings", {"set", Schema, "picture-options", GnomeOption(S)});
}

QString JsString(const QString& S) {
  QString Out = S;
  Out.replace('\\', "\\\\").replace('"', "\\\"");
  return '"' + Out + '"';
}

void ApplyKde(const TCommandRunner& R, const QString& Picture, TWallpaperStyle S) {
  // The image plug-in's fill modes: 6 centred, 3 tiled, 0 stretched.
  const int Fill = S == TWallpaperStyle::Centered ? 6 : S == TWallpaperStyle::Tiled ? 3 : 0;
  QString Body;
  if (S == TWallpaperStyle::Remove)
    Body = QStringLiteral("d.wallpaperPlugin = \"org.kde.color\";");
  else
    Body = QStringLiteral("d.wallpaperPlugin = \"org.kde.image\"; "
                          "d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"]; "
                          "d.writeConfig(\"Image\", %1); d.writeConfig(\"FillMode\", %2);")
               .arg(JsString(QUrl::fromLocalFile(Picture).toString(QUrl::FullyEncoded)))
               .arg(Fill);
  const QString Script =
      "var all = desktops(); for (var i = 0; i < all.length; i++) { var d = all[i]; " + Body + " }";
  Run(R, "dbus-send",
      {"--session", "--print-reply", "--dest=org.kde.plasmashell", "/PlasmaShell",
       "org.kde.PlasmaShell.evaluateScript", "string:" + Script});
}

void ApplyXfce(const TCommandRunner& R, const QString& Picture, TWallpaperStyle S) {
  // Xfce keeps one picture per monitor and workspace: set every one that exists.
  QByteArray Listing;
  Run(R, "xfconf-query", {"-c", "xfce4-desktop", "-l"}, &Listing);
  QStringList Props;
  for (const QByteArray& Line : Listing.split('\n'))
    if (Line.trimmed().endsWith("/last-image")) Props << QString::fromUtf8(Line.trimmed());
  const bool Create = Props.isEmpty();
  if (Create) Props << QStringLiteral("/backdrop/screen0/monitor0/workspace0/last-image");
  // image-style: 0 none, 1 centred, 2 tiled, 3 stretched.
  const int Style = S == TWallpaperStyle::Centered    ? 1
                    : S == TWallpaperStyle::Tiled     ? 2
                    : S == TWallpaperStyle::Stretched ? 3
                                                      : 0;
  for (const QString& Prop : Props) {
    const QString Base = Prop.chopped(int(QStringLiteral("/last-image").size()));
    if (S != TWallpaperStyle::Remove) {
      QStringList A{"-c", "xfce4-desktop", "-p", Prop};
      if (Create)
        A << "-n"
          << "-t"
          << "string";
      Run(R, "xfconf-query", A << "-s" << Picture);
    }
    QStringList A{"-c", "xfce4-desktop", "-p", Base + "/image-style"};
    if (Create)
      A << "-n"
        << "-t"
        << "int";
    Run(R, "xfconf-query", A << "-s" << QString::number(Style));
  }
}

} // namespace

void ApplyWallpaper(TDesktopKind Desktop, const QString& Picture, TWallpaperStyle Style,
                    const TCommandRunner& R) {
  const bool Remove = Style == TWallpaperStyle::Remove;
  const QString Uri =
      Remove ? QString() : QUrl::fromLocalFile(Picture).toString(QUrl::FullyEncoded);
  switch (Desktop) {
  case TDesktopKind::Gnome:
    ApplyGSettings(R, "org.gnome.desktop.background", "picture-uri", Uri, Style, true);
    break;
  case TDesktopKind::Cinnamon:
    ApplyGSettings(R, "org.cinnamon.desktop.background", "picture-uri", Uri, Style, false);
    break;
  case TDesktopKind::Mate:
    ApplyGSettings(R, "org.mate.background", "picture-filename", Remove ? QString() : Picture,
                   Style, false);
    break;
  case TDesktopKind::Kde:
    ApplyKde(R, Picture, Style);
    break;
  case TDesktopKind::Xfce:
    ApplyXfce(R, Picture, Style);
    break;
  case TDesktopKind::Unsupported:
    throw std::runtime_error("Setting the wallpaper is not supported on this desktop.");
  }
}

QString WallpaperBitmapName(const QString& Picture) {
  const QFileInfo Info(Picture);
  const QString Name = Info.fileName();
  const qsizetype Dot = Name.indexOf('.');
  const QString Folder = Info.path();
  return (Folder.endsWith('/') ? Folder : Folder + '/') + (Dot < 0 ? Name : Name.left(Dot)) +
         ".bmp";
}

namespace {

QString NumberedName(const QString& BitmapName, int N) {
  return N == 0 ? BitmapName : BitmapName.chopped(4) + QString::number(N) + ".bmp";
}

// The BMP file for a picture that is not one: converted, written beside it under the first name
// that is free or that already holds this very bitmap; "" when the user declines or on errors
// (reported).
QString MakeBitmap(const QString& Picture, QWidget* Owner, bool& Written) {
  Written = false;
  if (!AskYesNo("I need a BMP (bitmap) file to set the wallpaper. Can I create a new bitmap file "
                "and store it in the current directory to proceed?",
                Owner))
    return {};
  QByteArray Bytes;
  try {
    TPixelGraphic G;
    G.LoadFromFile(EncodeFileName(Picture).toStdString());
    OrientForDisplay(G); // the bitmap keeps no EXIF: it shows the picture as the windows do
    TPGMemoryStream M;
    G.SaveToStreamExt(M, ".bmp");
    Bytes = QByteArray(reinterpret_cast<const char*>(M.Memory()), qsizetype(M.Size()));
  } catch (const std::exception& E) {
    ShowMessage(QString::fromStdString(E.what()), Owner);
    return {};
  }
  const QString Name = WallpaperBitmapName(Picture);
  bool Asked = false;
  for (int N = 0; N < 10000; ++N) {
    const QString Candidate = NumberedName(Name, N);
    QFile Existing(Candidate);
    if (Existing.exists()) {
      // The bitmap made from this picture before is used again; any other file stays untouched.
      if (Existing.open(QIODevice::ReadOnly) && Existing.size() == Bytes.size() &&
          Existing.readAll() == Bytes)
        return Candidate;
      continue;
    }
    if (N > 0 && !Asked) {
      Asked = true;
      if (!AskYesNo("The file " + Name + " already exists. Can I store the bitmap as " + Candidate +
                        " instead?",
                    Owner))
        return {};
    }
    try {
      if (WriteNewFile(Candidate, Bytes)) {
        Written = true;
        return Candidate;
      }
    } catch (const std::exception& E) {
      ShowMessage(QString::fromStdString(E.what()), Owner);
      return {};
    }
  }
  return {};
}

} // namespace

TWallpaperResult SetAsWallpaper(const QString& Picture, TWallpaperStyle Style, QWidget* Owner,
                                const QString& Desktop, const TCommandRunner& Run) {
  TWallpaperResult Result;
  const TDesktopKind Kind = DesktopKind(Desktop);
  if (Kind == TDesktopKind::Unsupported) {
    // Nothing is converted for a desktop that would not take the picture anyway.
    ShowMessage("Setting the wallpaper is not supported on this desktop" +
                    (Desktop.isEmpty() ? QString() : " (" + Desktop + ")") + ".",
                Owner);
    return Result;
  }
  QString Bitmap;
  if (Style != TWallpaperStyle::Remove) {
    const QString Name = QFileInfo(Picture).fileName();
    const qsizetype Dot = Name.lastIndexOf('.');
    if (Dot >= 0 && Name.mid(Dot).toUpper() == ".BMP") {
      Bitmap = Picture;
    } else {
      bool Written = false;
      Bitmap = MakeBitmap(Picture, Owner, Written);
      if (Bitmap.isEmpty()) return Result;
      if (Written) Result.WrittenBitmap = Bitmap;
    }
  }
  try {
    ApplyWallpaper(Kind, Bitmap.isEmpty() ? QString() : QFileInfo(Bitmap).absoluteFilePath(), Style,
                   Run);
    Result.Applied = true;
  } catch (const std::exception& E) {
    ShowMessage(QString::fromStdString(E.what()), Owner);
  }
  return Result;
}

} // namespace orbisk
