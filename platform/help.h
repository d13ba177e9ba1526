// The manual: an HTML page installed with the program (PREFIX/share/orbisk/help/orbisk.html),
// opened in the user's browser at the section of a topic number.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace orbisk {

// The manual for a program in AppDir: beside it, or in ../share/orbisk/help (installed, and in
// the build tree). The first candidate when none exists.
QString HelpFileFor(const QString& AppDir);
// The manual of the running program.
QString HelpFile();
// The manual's address at a topic's section ("#topic-N"); Topic 0 is the contents.
QUrl HelpUrl(const QString& File, int Topic);
// Opens the manual at the topic; a message names the missing file. False when not opened.
bool ShowHelpTopic(int Topic, QWidget* Owner = nullptr);
// Opens an address (QDesktopServices unless replaced: tests record it). Returns the old one.
using THelpOpener = std::function<bool(const QUrl&)>;
THelpOpener SetHelpOpener(THelpOpener Opener);

// Topic numbers of the manual's sections.
namespace HelpTopic {
constexpr int Contents = 0;
constexpr int UsingHelp = 10;
constexpr int MainWindow = 100;
constexpr int FileManager = 130;
constexpr int Viewing = 200;
constexpr int SlideShow = 250;
constexpr int Preferences = 300;
constexpr int Acquire = 370;
constexpr int Editor = 380;
constexpr int LensCorrection = 590;
constexpr int IncrementalRename = 600;
constexpr int Printing = 700;
constexpr int ShellIntegration = 800;
constexpr int Keyboard = 900;
} // namespace HelpTopic

} // namespace orbisk
