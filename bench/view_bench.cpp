// Picture view timings, offscreen: repainting a 24 MP picture fitted into a 1920 x 1080 view,
// the first paint (which makes the fitted copy), one smPrecise display-copy preparation, and how
// long the GUI thread goes without handling events while a threaded preparation runs.
#include "view/pgimage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

using namespace orbisk;

namespace {

std::unique_ptr<TPixelGraphic> MakePicture(int W, int H) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  uint32_t Seed = 12345;
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* P = G->ScanLine(Y);
    for (int X = 0; X < W; ++X, P += 3) {
      Seed = Seed * 1664525u + 1013904223u;
      const int N = int(Seed >> 28) - 8;
      auto Clamp = [](int V) { return uint8_t(V < 0 ? 0 : V > 255 ? 255 : V); };
      P[0] = Clamp(X * 255 / W + N);
      P[1] = Clamp(Y * 255 / H + N);
      P[2] = Clamp(((X ^ Y) & 255) + N);
    }
  }
  return G;
}

const TPixelGraphic& Picture24MP() {
  static auto G = MakePicture(6000, 4000);
  return *G;
}

std::unique_ptr<TPGImage> FittedView(TStretchMode Mode, bool Thread) {
  auto V = std::make_unique<TPGImage>();
  V->setFrameShape(QFrame::NoFrame);
  V->resize(1920, 1080);
  V->SetStretch(sAlwaysKAR);
  V->SetCenter(true);
  V->SetUseThread(Thread);
  V->SetStretchMode(Mode);
  V->AssignPixelGraphic(&Picture24MP());
  return V;
}

// One repaint of the whole view into an offscreen device, as a paint event would do it.
void Repaint(TPGImage& V, QImage& Target) {
  QPainter P(&Target);
  V.render(&P);
}

void BM_RepaintFitted(benchmark::State& State) {
  auto V = FittedView(smFast, true);
  QImage Target(1920, 1080, QImage::Format_RGB32);
  Repaint(*V, Target); // the first paint makes the fitted copy
  for (auto _ : State)
    Repaint(*V, Target);
}
BENCHMARK(BM_RepaintFitted)->Unit(benchmark::kMillisecond);

void BM_FirstPaintFitted(benchmark::State& State) {
  auto V = FittedView(smFast, true);
  QImage Target(1920, 1080, QImage::Format_RGB32);
  for (auto _ : State) {
    V->Rearrange(); // a picture change: the fitted copy is made again
    Repaint(*V, Target);
  }
}
BENCHMARK(BM_FirstPaintFitted)->Unit(benchmark::kMillisecond);

void BM_RepaintUnscaled(benchmark::State& State) {
  auto V = FittedView(smFast, true);
  V->SetStretch(sNeverKAR);
  QImage Target(1920, 1080, QImage::Format_RGB32);
  for (auto _ : State)
    Repaint(*V, Target);
}
BENCHMARK(BM_RepaintUnscaled)->Unit(benchmark::kMillisecond);

void BM_PreparePrecise(benchmark::State& State) {
  TDisplayCopySettings S;
  S.StretchMode = smPrecise;
  const TPixelGraphic& G = Picture24MP();
  for (auto _ : State) {
    TCreatePaintPGThread Run(G, PlanDisplayCopy(24, G, 1620, 1080, S), S);
    std::unique_ptr<TPixelGraphic> Copy;
    Run.OnFinished = [&](std::unique_ptr<TPixelGraphic> C) { Copy = std::move(C); };
    Run.Execute();
    benchmark::DoNotOptimize(Copy.get());
  }
}
BENCHMARK(BM_PreparePrecise)->Unit(benchmark::kMillisecond)->Iterations(3);

// A threaded smPrecise preparation: the longest gap between two 5 ms timer ticks in the GUI
// thread while the copy is made (reported as the counter "max_gap_ms").
void BM_ThreadedPreciseInputGap(benchmark::State& State) {
  for (auto _ : State) {
    auto V = FittedView(smPrecise, true);
    QElapsedTimer Clock;
    qint64 Last = 0, MaxGap = 0;
    QTimer Tick;
    Tick.setInterval(5);
    QObject::connect(&Tick, &QTimer::timeout, [&] {
      const qint64 Now = Clock.elapsed();
      MaxGap = std::max(MaxGap, Now - Last);
      Last = Now;
    });
    Clock.start();
    Tick.start();
    V->show(); // the first paint starts the run
    bool Started = false;
    while (Clock.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      Started = Started || V->Preparing();
      if (Started && !V->Preparing() && V->DisplayCopy()) break;
    }
    Tick.stop();
    State.counters["max_gap_ms"] = double(MaxGap);
    State.counters["copy_ms"] = double(Clock.elapsed());
  }
}
BENCHMARK(BM_ThreadedPreciseInputGap)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
