// The orbisk program: splash, title, the windows in their order, the event loop. One optional
// argument names a picture to show at start-up.
#include "app/splash.h"
#include "app/startup.h"
#include "browser/filelist.h"
#include "browser/mainwindow.h"

#if __has_include("platform/metafileplayer.h")
#include "platform/metafileplayer.h"
#define ORBISK_HAS_METAFILE_PLAYER 1
#endif

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

class TQuitOnClose : public QObject {
protected:
  bool eventFilter(QObject* O, QEvent* E) override {
    if (E->type() == QEvent::Close) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return QObject::eventFilter(O, E);
  }
};

} // namespace

int main(int argc, char** argv) {
  QElapsedTimer Clock;
  Clock.start();
  QApplication App(argc, argv);
#ifdef ORBISK_HAS_METAFILE_PLAYER
  orbisk::InstallMetafilePlayer();
#endif

  auto* Splash = new orbisk::TfrmSplashForm; // frees itself when it closes
  Splash->show();
  QApplication::setApplicationName("Orbisk");

  const QStringList Args = QApplication::arguments();
  const QString StartFile = Args.size() == 2 ? Args[1] : QString();
  std::unique_ptr<orbisk::TForm1> Form1 = orbisk::CreateWindows(StartFile);

  // ORBISK_TIMING=1 reports the time to the shown main window and its first listing on
  // stderr; ORBISK_TIMING=quit also ends the program there (benchmarks).
  const QByteArray Timing = qgetenv("ORBISK_TIMING");
  if (!Timing.isEmpty())
    Form1->OnFirstShown = [&] {
      std::fprintf(stderr, "main window shown: %lld ms (listing and sorting %d files: %lld ms)\n",
                   static_cast<long long>(Clock.elapsed()), Form1->FileList->Count(),
                   static_cast<long long>(Form1->LastListMs()));
      if (Timing == "quit") QTimer::singleShot(0, Form1.get(), &QWidget::close);
    };
  Form1->show();
  // Closing the main window ends the program, also while the splash is still up.
  TQuitOnClose QuitOnClose;
  Form1->installEventFilter(&QuitOnClose);
  return App.exec();
}
