#include "browser/windowgeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace orbisk {

QRect FitOnScreen(const QRect& Stored, const QRect& Available, const QSize& Minimum) {
  if (Available.isEmpty()) return QRect(Stored.topLeft(), Stored.size().expandedTo(Minimum));
  const int W = std::max(Minimum.width(), std::min(Stored.width(), Available.width()));
  const int H = std::max(Minimum.height(), std::min(Stored.height(), Available.height()));
  // Right and bottom edges first, so that a window larger than the area keeps its top-left
  // corner on the screen.
  int X = std::min(Stored.x(), Available.x() + Available.width() - W);
  int Y = std::min(Stored.y(), Available.y() + Available.height() - H);
  X = std::max(X, Available.x());
  Y = std::max(Y, Available.y());
  return QRect(X, Y, W, H);
}

void RestoreGeometry(QWidget& Window, const QRect& Stored) {
  QScreen* Screen = QGuiApplication::screenAt(Stored.center());
  if (!Screen) Screen = QGuiApplication::primaryScreen();
  const QRect Available = Screen ? Screen->availableGeometry() : QRect();
  // The window's own minimum, and never less than a window a user could work with.
  const QSize Minimum =
      Window.minimumSize().expandedTo(Window.minimumSizeHint()).expandedTo(kSmallestRestoredSize);
  const QRect R = FitOnScreen(Stored, Available, Minimum);
  Window.move(R.topLeft());
  Window.resize(R.size());
}

} // namespace orbisk
