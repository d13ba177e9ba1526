// The thumbnail explorer's grid timed through its own window, offscreen: the folder is listed,
// the view switched to "Thumbnails", and the time to the first cell shown and to "Thumbnails
// loaded" is printed. Usage: thumbnails_timing FOLDER [RUNS [SCREENSHOT.png]]
#include "thumbnails/thumbexplorer.h"
#include "thumbnails/thumblistmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace orbisk;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication App(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: thumbnails_timing FOLDER [RUNS]\n");
    return 2;
  }
  const QString Folder = QString::fromLocal8Bit(argv[1]);
  const int Runs = argc > 2 ? std::atoi(argv[2]) : 3;
  std::vector<double> First, All;
  for (int R = 0; R < Runs; ++R) {
    TfrmThumbnails W;
    W.TypeMask = [] { return QString("*.jpg;*.gif;*.bmp;*.png;*.tga;*.tif;"); };
    W.OpenOn(Folder);
    QApplication::processEvents();
    QElapsedTimer T;
    T.start();
    W.SetViewStyle(TThumbViewStyle::vsThumbnails);
    double FirstMs = -1;
    while (W.PanelText(1) != "Thumbnails loaded") {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      if (FirstMs < 0 && W.ListModel->CellCount() > 0) FirstMs = T.nsecsElapsed() / 1e6;
    }
    const double AllMs = T.nsecsElapsed() / 1e6;
    std::printf("run %d: %d cells, first %.0f ms, all %.0f ms\n", R + 1, W.ListModel->CellCount(),
                FirstMs, AllMs);
    if (argc > 3 && R == 0) {
      QApplication::processEvents();
      W.grab().save(QString::fromLocal8Bit(argv[3]));
    }
    First.push_back(FirstMs);
    All.push_back(AllMs);
  }
  std::sort(First.begin(), First.end());
  std::sort(All.begin(), All.end());
  std::printf("median: first %.0f ms, all %.0f ms\n", First[First.size() / 2], All[All.size() / 2]);
  return 0;
}
