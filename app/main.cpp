// The orbisk program: splash, title, the windows in their order, the event loop. One optional
// argument names a picture to show at start-up.
#include "app/splash.h"
#include "app/startup.h"
#include "view/filelist.h"
#include "browser/mainwindow.h"

#include "engine/registry.h"
#include "platform/filenames.h"
#include "platform/metafileplayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
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
  orbisk::InstallMetafilePlayer();
  // The engine's questions and warnings (a different colour resolution when saving, reader
  // warnings) appear as message boxes. Work on other threads never shows a window: it gets the
  // engine's own answer (Cancel).
  orbisk::SetEnginePrompt([](const std::string& Caption, const std::string& Text, bool WithCancel) {
    if (QThread::currentThread() != qApp->thread()) return !WithCancel;
    QString Body = QString::fromStdString(Text);
    Body.replace('\r', '\n');
    const auto Buttons = WithCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
    return QMessageBox::warning(QApplication::activeWindow(), QString::fromStdString(Caption), Body,
                                Buttons) == QMessageBox::Ok;
  });

  auto* Splash = new orbisk::TfrmSplashForm; // frees itself when it closes
  Splash->show();
  QApplication::setApplicationName("Orbisk");

  // The file name as bytes (QApplication took out its own options): names that are not valid
  // UTF-8 open too.
  const QString StartFile = argc == 2 ? orbisk::DecodeFileName(argv[1]) : QString();
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
