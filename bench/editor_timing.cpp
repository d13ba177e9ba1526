// Times the image editor's commands end to end through the window's handlers, as a user's
// menu choices run them: rotate 90, Gaussian blur (strength 30) and undo on a large picture.
//   editor_timing [WIDTH HEIGHT [RUNS]]   (default 6000 x 4000, 3 runs)
// Runs offscreen; prints one line per command and run.
#include "processing/editor/acquire.h"
#include "processing/editor/editordialogs.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QSlider>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <ctime>

using namespace orbisk;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication App(argc, argv);
  const int W = argc > 2 ? std::atoi(argv[1]) : 6000;
  const int H = argc > 2 ? std::atoi(argv[2]) : 4000;
  const int Runs = argc > 3 ? std::atoi(argv[3]) : 3;

  TfrmAcquire Editor;
  Editor.ExecDialog = [](QDialog& D) {
    if (auto* B = qobject_cast<TfrmGaussianBlur*>(&D))
      B->findChild<QSlider*>("StrengthSlider")->setValue(30);
    return int(QDialog::Accepted);
  };
  Editor.show();
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = G->ScanLine(Y);
    for (int X = 0; X < W; ++X) {
      Row[3 * X] = uint8_t(X * 7 + Y);
      Row[3 * X + 1] = uint8_t(Y * 3);
      Row[3 * X + 2] = uint8_t((X ^ Y) & 255);
    }
  }
  Editor.TakeAcquiredPicture(std::move(G));
  App.processEvents();

  std::printf("picture %d x %d (%.1f MP), %d runs\n", W, H, W * double(H) / 1e6, Runs);
  auto Time = [&](const char* Name, QAction* A) {
    const int Before = Editor.Model().SnapshotCount();
    QElapsedTimer T;
    timespec C0{}, C1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &C0);
    T.start();
    A->trigger();
    const qint64 Ms = T.elapsed();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &C1);
    const double CpuMs = (C1.tv_sec - C0.tv_sec) * 1e3 + (C1.tv_nsec - C0.tv_nsec) / 1e6;
    App.processEvents();
    std::printf("%-12s wall %5lld ms  cpu %5.0f ms  gauge updates %2d  snapshots %d  picture %d x %d\n",
                Name, static_cast<long long>(Ms), CpuMs, Editor.GaugeUpdates(),
                Editor.Model().SnapshotCount() - Before, Editor.Picture()->Width(),
                Editor.Picture()->Height());
  };
  for (int R = 0; R < Runs; ++R) {
    Time("rotate 90", Editor.findChild<QAction*>("Rotate90CW"));
    Time("undo", Editor.findChild<QAction*>("Undo1"));
    Time("gaussian 30", Editor.findChild<QAction*>("GaussianBlur1"));
    Time("undo", Editor.findChild<QAction*>("Undo1"));
  }
  rusage U{};
  getrusage(RUSAGE_SELF, &U);
  std::printf("peak resident set %.0f MB\n", U.ru_maxrss / 1024.0);
  return 0;
}
