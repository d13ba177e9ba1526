// Icons of tool buttons: the desktop's icon theme first (freedesktop icon names), our own SVG
// drawings compiled into the program otherwise; and the application icon.
#pragma once

#include <QIcon>
#include <QString>

namespace orbisk {

// The theme's icon of that name, or our drawing of it.
QIcon ThemeIcon(const QString& Name);
// Our own drawing (":/orbisk/icons/NAME.svg"); a null icon when there is none.
QIcon FallbackIcon(const QString& Name);
// The program's icon ("orbisk").
QIcon ApplicationIcon();

} // namespace orbisk
