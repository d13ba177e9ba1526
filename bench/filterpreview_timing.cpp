// Filter dialog preview timing: opens the RGB filter dialog on a W x H 24-bit picture (as the
// editor does), then drags the "R" slider (five moves 20 ms apart) and measures the time from the
// last move to the new preview painted in the window. Prints the time the first preview took
// after opening and the median, minimum and maximum of the drag-to-preview times.
// Usage: filterpreview_timing [W H [RUNS]]   (offscreen: QT_QPA_PLATFORM=offscreen)
#include "processing/editor/filterdialogform.h"
#include "processing/editor/filterdialogpreview.h"
#include "processing/editor/filterdialogs.h"
#include "view/pgimage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace orbisk;

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  const int W = argc > 2 ? std::atoi(argv[1]) : 6000;
  const int H = argc > 2 ? std::atoi(argv[2]) : 4000;
  const int Runs = argc > 3 ? std::atoi(argv[3]) : 30;

  TPixelGraphic Pic;
  Pic.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = Pic.ScanLine(Y);
    for (int X = 0; X < 3 * W; ++X)
      Row[X] = uint8_t((X * 7 + Y * 13) >> 2);
  }

  TRGBFilterDialog D;
  QElapsedTimer Clock;
  double FirstPreview = -1;
  std::vector<double> Times;
  QTimer::singleShot(10, [&] {
    TFilterDialogForm* F = D.Form();
    TFilterPreview* P = F->Preview();
    QEventLoop Loop;
    qint64 Shown = 0;
    auto Show = P->OnResult;
    P->OnResult = [&, Show](std::unique_ptr<TPixelGraphic> G) {
      Show(std::move(G));
      F->PreviewView()->viewport()->repaint(); // painted, not only scheduled
      Shown = Clock.nsecsElapsed();
      Loop.quit();
    };
    Loop.exec();
    FirstPreview = Shown / 1e6;
    QSlider* R = F->SliderControl(0);
    for (int I = 0; I < Runs; ++I) {
      for (int M = 0; M < 5; ++M) {
        R->setValue((I * 5 + M) % 200 - 99);
        if (M < 4) {
          QElapsedTimer Pause;
          Pause.start();
          while (Pause.elapsed() < 20)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
      }
      const qint64 LastMove = Clock.nsecsElapsed();
      Loop.exec();
      Times.push_back((Shown - LastMove) / 1e6);
    }
    F->accept();
  });
  Clock.start();
  D.Execute(&Pic);

  std::sort(Times.begin(), Times.end());
  std::printf("picture %d x %d, preview %d runs\n", W, H, int(Times.size()));
  std::printf("open to first preview: %.1f ms\n", FirstPreview);
  if (!Times.empty())
    std::printf("last slider move to preview painted: median %.1f ms, min %.1f, max %.1f "
                "(of which the one-shot timer: 100 ms)\n",
                Times[Times.size() / 2], Times.front(), Times.back());
  return 0;
}
