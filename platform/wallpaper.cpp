#include "platform/wallpaper.h"

#include "platform/autoorient.h"
#include "platform/codecsettings.h"
#include "platform/filenames.h"

#include "engine/pixelgraphic.h"
#include "engine/stream.h"
#include "platform/prompt.h"
#include "platform/shellfiles.h"

#include <QDir>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
               .arg(JsString(FileUri(Picture)))
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
  const QString Uri = Remove ? QString() : FileUri(Picture);
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

QString WallpaperCopyPath() {
  QString Data = DecodeFileName(qgetenv("XDG_DATA_HOME"));
  if (!Data.startsWith('/')) Data = DecodeFileName(qgetenv("HOME")) + "/.local/share";
  return Data + "/Orbiskel/wallpaper.bmp";
}

TPictureKind PictureKindOf(const QString& Picture) {
  const int F = ::open(EncodeFileName(Picture).constData(), O_RDONLY | O_CLOEXEC);
  if (F < 0) return TPictureKind::Other;
  unsigned char H[8] = {};
  const ssize_t N = ::read(F, H, sizeof H);
  ::close(F);
  if (N >= 3 && H[0] == 0xFF && H[1] == 0xD8 && H[2] == 0xFF) return TPictureKind::Jpeg;
  if (N >= 8 && std::memcmp(H, "\x89PNG\r\n\x1a\n", 8) == 0) return TPictureKind::Png;
  if (N >= 2 && H[0] == 'B' && H[1] == 'M') return TPictureKind::Bmp;
  if (N >= 4 && std::memcmp(H, "GIF8", 4) == 0) return TPictureKind::Gif;
  if (N >= 4 && (std::memcmp(H, "II*\0", 4) == 0 || std::memcmp(H, "MM\0*", 4) == 0))
    return TPictureKind::Tiff;
  return TPictureKind::Other;
}

bool DesktopTakesDirectly(TDesktopKind Desktop, TPictureKind Kind) {
  switch (Kind) {
  case TPictureKind::Jpeg:
  case TPictureKind::Png:
  case TPictureKind::Bmp:
  case TPictureKind::Gif:
    return Desktop != TDesktopKind::Unsupported;
  case TPictureKind::Tiff:
    // The pixbuf desktops read TIFF themselves; Plasma only with an extra image plug-in.
    return Desktop != TDesktopKind::Unsupported && Desktop != TDesktopKind::Kde;
  case TPictureKind::Other:
    break;
  }
  return false;
}

namespace {

// The bitmap copy for a picture the desktop cannot read: converted and written over the
// program's own copy (never anywhere else); "" when the user declines or on errors (reported).
QString MakeWallpaperCopy(const QString& Picture, QWidget* Owner) {
  if (!AskYesNo("I need a BMP (bitmap) file to set the wallpaper. Can I create a new bitmap file "
                "and store it in the current directory to proceed?",
                Owner))
    return {};
  const QString Copy = WallpaperCopyPath();
  try {
    TPixelGraphic G;
    G.LoadFromFile(EncodeFileName(Picture).toStdString(), CurrentReadOptions());
    OrientForDisplay(G); // the bitmap keeps no EXIF: it shows the picture as the windows do
    TPGMemoryStream M;
    G.SaveToStreamExt(M, ".bmp", CurrentWriteOptions());
    const QByteArray Bytes(reinterpret_cast<const char*>(M.Memory()), qsizetype(M.Size()));
    const QByteArray Folder = EncodeFileName(Copy.left(Copy.lastIndexOf('/')));
    if (::mkdir(Folder.constData(), 0700) != 0 && errno != EEXIST) {
      // The data folder itself may be missing on a fresh account.
      QDir().mkpath(DecodeFileName(Folder));
    }
    WriteFileReplacing(Copy, Bytes);
  } catch (const std::exception& E) {
    ShowMessage(QString::fromStdString(E.what()), Owner);
    return {};
  }
  return Copy;
}

bool TakesUtf8PathsOnly(TDesktopKind Desktop) {
  // MATE and Xfce store a path as text and Plasma decodes its address as UTF-8; GNOME and
  // Cinnamon take a URI of the name's bytes.
  return Desktop == TDesktopKind::Mate || Desktop == TDesktopKind::Xfce ||
         Desktop == TDesktopKind::Kde;
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
  QString Shown;
  if (Style != TWallpaperStyle::Remove) {
    const QString Path = AbsoluteFilePath(Picture);
    if (TakesUtf8PathsOnly(Kind) && !IsUtf8Name(Path)) {
      ShowMessage("The wallpaper could not be set: this desktop takes only file names in UTF-8, "
                  "and " +
                      DisplayFileName(Path) + " is not one. Rename the picture and try again.",
                  Owner);
      return Result;
    }
    if (DesktopTakesDirectly(Kind, PictureKindOf(Path))) {
      Shown = Path;
    } else {
      Shown = MakeWallpaperCopy(Path, Owner);
      if (Shown.isEmpty()) return Result;
      Result.WrittenBitmap = Shown;
      if (TakesUtf8PathsOnly(Kind) && !IsUtf8Name(Shown)) {
        ShowMessage("The wallpaper could not be set: this desktop takes only file names in "
                    "UTF-8, and " +
                        DisplayFileName(Shown) + " is not one.",
                    Owner);
        return Result;
      }
    }
  }
  try {
    ApplyWallpaper(Kind, Shown, Style, Run);
    Result.Applied = true;
  } catch (const std::exception& E) {
    ShowMessage(QString::fromStdString(E.what()), Owner);
  }
  return Result;
}

} // namespace orbisk
