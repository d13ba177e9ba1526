// Filter timings. Without arguments (or with Google Benchmark flags) it runs the in-memory
// benchmarks; "filters_bench apply IN OUT OPTION [VALUE]" loads IN, applies one filter the way
// the editor's dialogs set it up by default, and saves OUT, for whole-process comparisons with
// other tools (bench/filters.sh).
#include "engine/parallel.h"
#include "engine/pixelgraphic.h"
#include "processing/colorfilters.h"
#include "processing/convfilter.h"
#include "processing/effects.h"
#include "processing/fastbmp.h"
#include "processing/random.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

using namespace orbisk;

namespace {

// A smooth picture with some noise, like a photograph as far as the filters care.
void MakePicture(TPixelGraphic& G, int W, int H) {
  G.SetSize(W, H, 3);
  std::mt19937 Rng(1);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* P = G.ScanLine(Y);
    for (int X = 0; X < W; ++X, P += 3) {
      unsigned N = Rng() & 15;
      P[0] = uint8_t((X * 255 / W + N) & 0xFF);
      P[1] = uint8_t((Y * 255 / H + N) & 0xFF);
      P[2] = uint8_t(((X + Y) * 127 / (W + H) + N) & 0xFF);
    }
  }
}

std::unique_ptr<TPGFilter> MakeFilter(const std::string& Option, const std::string& Value) {
  auto Conv = std::make_unique<TConvFilter>();
  if (Option == "--sharpen")
    Conv->SetSharpenKernel(dsGaussian, true, Value.empty() ? 50 : std::stold(Value), 0.75L);
  else if (Option == "--smooth")
    Conv->SetSmoothKernel(dsGaussian, true, 100, 1.3L);
  else if (Option == "--detail")
    Conv->SetDetailKernel(dsGaussian, true, 75, 0.75L);
  else if (Option == "--contour")
    Conv->SetContourKernel(dsRect, true, true, 100, 1.0L);
  else if (Option == "--blur")
    Conv->SetBlurKernel(100, 2.5L);
  else if (Option == "--negative")
    return std::make_unique<TNegativeFilter>();
  else if (Option == "--gray")
    return std::make_unique<TGrayScaleFilter>();
  else if (Option == "--hsv") {
    auto F = std::make_unique<THSVFilter>();
    F->SetShifts(30, 10, 10);
    return F;
  } else
    return nullptr;
  return Conv;
}

int Apply(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: filters_bench apply IN OUT OPTION [VALUE]\n");
    return 2;
  }
  auto F = MakeFilter(argv[4], argc > 5 ? argv[5] : "");
  if (!F) {
    std::fprintf(stderr, "unknown filter %s\n", argv[4]);
    return 2;
  }
  try {
    TPixelGraphic In, Out;
    In.LoadFromFile(argv[2]);
    if (F->IsColorFilter()) {
      ApplyFilter(In, *F, In);
      In.SaveToFile(argv[3]);
    } else {
      ApplyFilter(Out, *F, In);
      Out.SaveToFile(argv[3]);
    }
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}

void BM_Filter(benchmark::State& State, const char* Option) {
  TPixelGraphic S, D;
  MakePicture(S, int(State.range(0)), int(State.range(1)));
  auto F = MakeFilter(Option, "");
  for (auto _ : State) {
    ApplyFilter(D, *F, S);
    benchmark::DoNotOptimize(D.Bits());
  }
  State.SetItemsProcessed(State.iterations() * State.range(0) * State.range(1));
}

BENCHMARK_CAPTURE(BM_Filter, sharpen, "--sharpen")
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, smooth, "--smooth")->Args({6000, 4000})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, contour, "--contour")
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, blur, "--blur")->Args({2000, 1500})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, negative, "--negative")
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter, hsv, "--hsv")->Args({2000, 1500})->Unit(benchmark::kMillisecond);

// The Gaussian blur in place (the picture is restored from a copy between runs, untimed).
void BM_Gaussian(benchmark::State& State) {
  TPixelGraphic S, G;
  MakePicture(S, int(State.range(0)), int(State.range(1)));
  const float Radius = float(State.range(2)) / 10;
  for (auto _ : State) {
    State.PauseTiming();
    G.Assign(&S);
    State.ResumeTiming();
    GaussianBlur(G, nullptr, Radius);
    benchmark::DoNotOptimize(G.Bits());
  }
  State.SetItemsProcessed(State.iterations() * State.range(0) * State.range(1));
}
BENCHMARK(BM_Gaussian)
    ->Args({6000, 4000, 50})
    ->Args({6000, 4000, 13})
    ->Unit(benchmark::kMillisecond);

// The fast-bitmap effects on a 24-bit copy.
void BM_FastEffect(benchmark::State& State, TFastEffect Effect, int Amount) {
  TPixelGraphic S;
  MakePicture(S, int(State.range(0)), int(State.range(1)));
  const TFastBMP Source(S);
  TFastBMP Work;
  for (auto _ : State) {
    ApplyFastEffect(Effect, Source, Work, Amount);
    benchmark::DoNotOptimize(Work.Row(0));
  }
  State.SetItemsProcessed(State.iterations() * State.range(0) * State.range(1));
}
BENCHMARK_CAPTURE(BM_FastEffect, colornoise, feColorNoise, 40)
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FastEffect, spray, feSprayPaint, 10)
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FastEffect, mosaic, feMosaic, 8)
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond);

void BM_Emboss(benchmark::State& State) {
  TPixelGraphic S;
  MakePicture(S, int(State.range(0)), int(State.range(1)));
  TFastBMP B(S);
  for (auto _ : State) {
    B.Emboss();
    benchmark::DoNotOptimize(B.Row(0));
  }
  State.SetItemsProcessed(State.iterations() * State.range(0) * State.range(1));
}
BENCHMARK(BM_Emboss)->Args({6000, 4000})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "apply") == 0) return Apply(argc, argv);
  // ORBISK_THREADS=1 gives the one-thread figures.
  if (const char* T = std::getenv("ORBISK_THREADS")) SetEngineThreadCount(std::atoi(T));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
