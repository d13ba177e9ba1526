// Finding a window's widgets and commands the way a user does: by their names. A window keeps
// its widgets and actions to itself; tests look them up by objectName.
#pragma once

#include <QAction>
#include <QObject>
#include <QString>

#include <stdexcept>

namespace orbisk::test {

// The child of type T named Name (searched recursively); a missing one fails the test.
template <class T>
T& Child(const QObject& Parent, const QString& Name) {
  T* C = Parent.findChild<T*>(Name);
  if (!C)
    throw std::runtime_error("no child named " + Name.toStdString() + " in " +
                             Parent.objectName().toStdString());
  return *C;
}

// The window's command named Name.
inline QAction& Action(const QObject& Window, const QString& Name) {
  return Child<QAction>(Window, Name);
}

} // namespace orbisk::test
