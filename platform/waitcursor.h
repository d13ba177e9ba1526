// The hour-glass while a scope runs, restored on every way out of it, exceptions included.
#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace orbisk {

class TWaitCursor {
public:
  TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace orbisk
