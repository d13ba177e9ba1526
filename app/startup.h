// Start-up of the program: the splash, the application title, the main window and every tool
// window once in their fixed order.
#pragma once

#include <QString>

#include <memory>

namespace orbisk {

class TForm1;

struct TApplicationWindows;

// Creates the windows (not shown). The main window owns the tool windows through Qt parents.
std::unique_ptr<TForm1> CreateWindows(const QString& StartFile);

} // namespace orbisk
