// The orbisk program: splash, title, the windows in their order, the event loop. One optional
// argument names a picture to show at start-up.
#include "app/splash.h"
#include "app/startup.h"
#include "view/filelist.h"
#include "browser/mainwindow.h"

#include "engine/registry.h"
#include "platform/filenames.h"
#include "platform/metafileplayer.h"
#include "platform/singleinstance.h"

#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <unistd.h>

namespace {

// The files named on the command line as absolute paths, byte for byte (names need not be UTF-8).
QList<QByteArray> FileArguments(int argc, char** argv) {
  QByteArray Cwd(4096, '\0');
  while (!::getcwd(Cwd.data(), size_t(Cwd.size())) && errno == ERANGE)
    Cwd.resize(Cwd.size() * 2);
  Cwd.truncate(qsizetype(std::strlen(Cwd.constData())));
  QList<QByteArray> Files;
  for (int I = 1; I < argc; ++I) {
    QByteArray A(argv[I]);
    if (A.isEmpty()) continue;
    if (!A.startsWith('/')) A = Cwd + '/' + A;
    Files << A;
  }
  return Files;
}

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
  // A run that finds the program already running hands its files over and ends; requests that
  // reach this run wait in the queue until the main window installs its handler.
  const QList<QByteArray> Files = FileArguments(argc, argv);
  QStringList Requests;
  for (const QByteArray& File : Files)
    Requests << orbisk::OpenCommand(File);
  orbisk::TSingleInstance Instance;
  if (Instance.Start(Requests) == orbisk::TSingleInstance::TStart::Delivered) return 0;
  if (!Instance.Error().isEmpty())
    std::fprintf(stderr, "orbisk: open requests from other runs are not received: %s\n",
                 qPrintable(Instance.Error()));
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

  // Several files (from a file manager): the last one is shown, as with open requests. Names are
  // bytes: those that are not valid UTF-8 open too.
  const QString StartFile = Files.isEmpty() ? QString() : orbisk::DecodeFileName(Files.last());
  std::unique_ptr<orbisk::TForm1> Form1 = orbisk::CreateWindows(StartFile);

  // ORBISK_TIMING=1 reports the time to the shown main window and its first listing on
  // stderr; ORBISK_TIMING=quit also ends the program there (benchmarks).
  const QByteArray Timing = qgetenv("ORBISK_TIMING");
  if (!Timing.isEmpty())
    QObject::connect(Form1.get(), &orbisk::TForm1::FirstShown, Form1.get(), [&] {
      std::fprintf(stderr, "main window shown: %lld ms (listing and sorting %d files: %lld ms)\n",
                   static_cast<long long>(Clock.elapsed()), Form1->ListModel().Count(),
                   static_cast<long long>(Form1->LastListMs()));
      if (Timing == "quit") QTimer::singleShot(0, Form1.get(), &QWidget::close);
    });
  // ORBISK_TRACE=1 reports every open request the main window shows on stderr (tests).
  if (!qgetenv("ORBISK_TRACE").isEmpty())
    QObject::connect(Form1.get(), &orbisk::TForm1::OpenRequest, Form1.get(),
                     [](const QByteArray& Target) {
                       std::fprintf(stderr, "open request: %s\n", Target.constData());
                     });
  Form1->show();
  // Closing the main window ends the program, also while the splash is still up.
  TQuitOnClose QuitOnClose;
  Form1->installEventFilter(&QuitOnClose);
  return App.exec();
}
