// Window positions stored by an earlier run, brought back onto the screen.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace orbisk {

// The smallest size a stored window size is brought up to.
inline constexpr QSize kSmallestRestoredSize(320, 240);

// The stored rectangle made at least Minimum in size (and no larger than Available where the
// minimum allows) and moved so that it lies within Available.
QRect FitOnScreen(const QRect& Stored, const QRect& Available, const QSize& Minimum);

// Places the window at the stored position and size, brought onto the available area of the
// screen the rectangle is on (the primary screen when it is on none).
void RestoreGeometry(QWidget& Window, const QRect& Stored);

} // namespace orbisk
