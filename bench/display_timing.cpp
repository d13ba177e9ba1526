// Time from "Next Image" to the new picture painted in the main window's picture view,
// offscreen: cold (decoded on demand) and warm (decoded ahead while the previous one was shown).
// Usage: display_timing FILE...   Prints one line per file and the medians.
#include "browser/display.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace orbisk;

namespace {

double Median(std::vector<double> V) {
  if (V.empty()) return 0;
  std::sort(V.begin(), V.end());
  return V.size() % 2 ? V[V.size() / 2] : (V[V.size() / 2 - 1] + V[V.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  QStringList Files;
  for (int I = 1; I < argc; ++I)
    Files << QString::fromLocal8Bit(argv[I]);
  if (Files.size() < 2) {
    std::fprintf(stderr, "usage: display_timing FILE FILE...\n");
    return 2;
  }
  QWidget Area;
  Area.resize(1200, 800);
  auto* View = new TPGImage(&Area);
  View->setFrameShape(QFrame::NoFrame);
  View->SetAutoSize(true);
  View->SetStretch(sAlwaysKAR);
  View->SetUseThread(false);
  View->SetShowHourGlass(false);
  View->SetReadWarningAction(pgwaIgnore);
  View->hide();
  int Current = 0;
  TDisplayHost H;
  H.Neighbours = [&] {
    return QStringList{Files[(Current + 1) % Files.size()],
                       Files[(Current + Files.size() - 1) % Files.size()]};
  };
  TDisplayController C(&Area, View, H);
  Area.show();
  QApplication::processEvents();

  auto ShowAndPaint = [&](int I) {
    QElapsedTimer T;
    T.start();
    Current = I;
    C.ShowFileNow(Files[I]);
    Area.repaint(); // paints the view and its fitted picture now
    return T.nsecsElapsed() / 1e6;
  };
  std::vector<double> Cold, Warm;
  C.DecodeAheadEnabled = false;
  for (int I = 0; I < Files.size(); ++I)
    Cold.push_back(ShowAndPaint(I));
  C.DecodeAheadEnabled = true;
  ShowAndPaint(0);
  for (int I = 1; I < Files.size(); ++I) {
    C.DecodeAhead().WaitIdle(); // the user looks at the picture meanwhile
    Warm.push_back(ShowAndPaint(I));
  }
  for (size_t I = 0; I < Cold.size(); ++I)
    std::printf("%s cold %.1f ms%s\n", argv[I + 1], Cold[I],
                I > 0 ? QString(" warm %1 ms").arg(Warm[I - 1], 0, 'f', 1).toUtf8().constData()
                      : "");
  std::printf("median cold %.1f ms, warm %.1f ms, hits %d of %d\n", Median(Cold), Median(Warm),
              C.DecodeAhead().Hits(), int(Warm.size()));
  return 0;
}
