// "Set As Wallpaper" and "Remove Wallpaper": the desktop's own settings tool, chosen from
// XDG_CURRENT_DESKTOP (gsettings for GNOME, Cinnamon, MATE and Budgie, the Plasma shell's
// scripting call over D-Bus for KDE, xfconf-query for Xfce). Pictures that are not BMP files are
// converted to a BMP beside them first, after asking.
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

// Hands the picture (a BMP, or "" with Remove) to the desktop. Throws std::runtime_error with a
// message for the user when the desktop's tool fails.
void ApplyWallpaper(TDesktopKind Desktop, const QString& Picture, TWallpaperStyle Style,
                    const TCommandRunner& Run = RunCommand);

// The BMP name for a picture: its folder, its file name up to the first ".", then ".bmp".
QString WallpaperBitmapName(const QString& Picture);

// The whole command on a picture (built as folder + name) or, with Remove, without one: asks the
// BMP question through the prompt, converts, never overwrites another file (a second question
// offers the next free name, photo1.bmp ...), applies. Messages go through the prompt. Returns
// the BMP written ("" when none); Desktop is the XDG_CURRENT_DESKTOP value to use.
struct TWallpaperResult {
  bool Applied = false;
  QString WrittenBitmap;
};
TWallpaperResult SetAsWallpaper(const QString& Picture, TWallpaperStyle Style, QWidget* Owner,
                                const QString& Desktop, const TCommandRunner& Run = RunCommand);

} // namespace orbisk
