#include "platform/icons.h"

#include <QFile>

// The resources live in a static library: nothing would pull them into the program otherwise.
static void InitIconResources() {
  static const bool Done = [] {
    Q_INIT_RESOURCE(icons);
    return true;
  }();
  (void)Done;
}

namespace orbisk {

QIcon FallbackIcon(const QString& Name) {
  InitIconResources();
  const QString Path = ":/orbisk/icons/" + Name + ".svg";
  return QFile::exists(Path) ? QIcon(Path) : QIcon();
}

QIcon ThemeIcon(const QString& Name) {
  return QIcon::fromTheme(Name, FallbackIcon(Name));
}

QIcon ApplicationIcon() {
  return QIcon::fromTheme(QStringLiteral("orbisk"), FallbackIcon(QStringLiteral("orbisk")));
}

} // namespace orbisk
