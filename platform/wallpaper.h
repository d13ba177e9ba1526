// "Set As Wallpaper" and "Remove Wallpaper": the desktop's own settings tool, chosen from
// XDG_CURRENT_DESKTOP (gsettings for GNOME, Cinnamon, MATE and Budgie, the Plasma shell's
// scripting call over D-Bus for KDE, xfconf-query for Xfce). The desktop gets the picture itself
// when it reads that format (JPEG, PNG, BMP, GIF; TIFF too except on Plasma); other pictures are
// converted, after asking, into the program's one bitmap copy under $XDG_DATA_HOME/Orbiskel/.
// Nothing is ever written beside the picture.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace orbisk {

enum class TWallpaperStyle { Centered, Tiled, Stretched, Remove };
enum class TDesktopKind { Gnome, Cinnamon, Mate, Kde, Xfce, Unsupported };

// The desktop named by an XDG_CURRENT_DESKTOP value ("ubuntu:GNOME", "X-Cinnamon", "KDE", ...).
TDesktopKind DesktopKind(const QString& CurrentDesktop);

// Runs a program found on PATH; its exit code, or -1 when it could not be started. Output, when
// given, receives what it wrote on stdout.
using TCommandRunner =
    std::function<int(const QString& Program, const QStringList& Args, QByteArray* Output)>;
int RunCommand(const QString& Program, const QStringList& Args, QByteArray* Output);

// Hands the picture (an absolute path, or "" with Remove) to the desktop: a file URI of the
// name's bytes for GNOME, Cinnamon and Plasma, the path for MATE and Xfce. Throws
// std::runtime_error with a message for the user when the desktop's tool fails.
void ApplyWallpaper(TDesktopKind Desktop, const QString& Picture, TWallpaperStyle Style,
                    const TCommandRunner& Run = RunCommand);

// The program's bitmap copy: $XDG_DATA_HOME/Orbiskel/wallpaper.bmp (~/.local/share without it).
QString WallpaperCopyPath();

// What a picture file holds, by its first bytes.
enum class TPictureKind { Jpeg, Png, Bmp, Gif, Tiff, Other };
TPictureKind PictureKindOf(const QString& Picture);
// True when the desktop's own picture loader reads that kind.
bool DesktopTakesDirectly(TDesktopKind Desktop, TPictureKind Kind);

// The whole command on a picture (built as folder + name) or, with Remove, without one. A picture
// the desktop reads goes to it as it is, without a question; any other is converted after the
// BMP question into WallpaperCopyPath(), replacing only that copy. Desktops that take only UTF-8
// paths (MATE, Xfce, Plasma) refuse a name that is not UTF-8 with a message. Messages go
// through the prompt; Desktop is the XDG_CURRENT_DESKTOP value to use.
struct TWallpaperResult {
  bool Applied = false;
  QString WrittenBitmap; // the copy written, "" when none
};
TWallpaperResult SetAsWallpaper(const QString& Picture, TWallpaperStyle Style, QWidget* Owner,
                                const QString& Desktop, const TCommandRunner& Run = RunCommand);

} // namespace orbisk
