// Engine core timings: resampling, error diffusion into fixed and optimized palettes, BMP
// decoding. Pictures are synthetic (smooth gradients with fine detail), made once per run.
#include "engine/optimizedpalette.h"
#include "engine/parallel.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace orbisk;

namespace {

// A photo-like picture: gradients, a colour wheel-ish pattern and per-pixel noise.
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
      P[2] = Clamp(((X / 7) ^ (Y / 5)) & 255);
    }
  }
  return G;
}

const TPixelGraphic& Picture24MP() {
  static auto G = MakePicture(6000, 4000);
  return *G;
}

const TPixelGraphic& Picture12MP() {
  static auto G = MakePicture(4000, 3000);
  return *G;
}

// Engine threads for a timing: the second argument, 0 for every processor.
struct TThreads {
  explicit TThreads(int64_t N) { SetEngineThreadCount(int(N)); }
  ~TThreads() { SetEngineThreadCount(0); }
};

void BM_StretchFrom(benchmark::State& State) {
  const TPixelGraphic& Source = Picture24MP();
  TThreads Threads(State.range(1));
  TPixelGraphic Dest;
  Dest.SetSize(1920, 1280, 3);
  Dest.StretchMode = TStretchMode(State.range(0));
  for (auto _ : State) {
    Dest.StretchFrom(Source);
    benchmark::DoNotOptimize(Dest.Bits());
  }
  State.SetLabel(std::string(State.range(0) == smFast     ? "smFast"
                             : State.range(0) == smMedium ? "smMedium"
                                                          : "smPrecise") +
                 ", threads " + std::to_string(EngineThreadCount()));
}
BENCHMARK(BM_StretchFrom)
    ->ArgsProduct({{smFast, smMedium, smPrecise}, {1, 0}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Nearest-colour matching without dithering into an own palette with the colour cache (as
// posterizing does), on one thread and on all.
void BM_MatchOptimized256(benchmark::State& State) {
  const TPixelGraphic& Source = Picture12MP();
  TThreads Threads(State.range(0));
  TPixelGraphic Dest;
  Dest.SetSize(Source.Width(), Source.Height(), 2);
  Dest.Dither = false;
  BuildOptimizedPalette(Dest, Source, 256, false);
  for (auto _ : State) {
    // A fresh cache each time, as a new picture has.
    Dest.SetPaletteEntry(0, Dest.GetPaletteEntry(0));
    Dest.StretchFrom(Source);
    benchmark::DoNotOptimize(Dest.Bits());
  }
  State.SetLabel("threads " + std::to_string(EngineThreadCount()));
}
BENCHMARK(BM_MatchOptimized256)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_DiffuseSpecial252(benchmark::State& State) {
  const TPixelGraphic& Source = Picture12MP();
  TPixelGraphic Dest;
  Dest.SetSize(Source.Width(), Source.Height(), 2);
  Dest.SetPaletteKind(pSpecial252);
  for (auto _ : State) {
    Dest.StretchFrom(Source);
    benchmark::DoNotOptimize(Dest.Bits());
  }
}
BENCHMARK(BM_DiffuseSpecial252)->Unit(benchmark::kMillisecond);

void BM_DiffuseOptimized256(benchmark::State& State) {
  const TPixelGraphic& Source = Picture12MP();
  TPixelGraphic Dest;
  Dest.SetSize(Source.Width(), Source.Height(), 2);
  for (auto _ : State) {
    BuildOptimizedPalette(Dest, Source, 256, false);
    Dest.StretchFrom(Source);
    benchmark::DoNotOptimize(Dest.Bits());
  }
}
BENCHMARK(BM_DiffuseOptimized256)->Unit(benchmark::kMillisecond);

void BM_BuildOptimizedPalette(benchmark::State& State) {
  const TPixelGraphic& Source = Picture12MP();
  TPixelGraphic Dest;
  Dest.SetSize(1, 1, 2);
  for (auto _ : State)
    BuildOptimizedPalette(Dest, Source, 256, false);
}
BENCHMARK(BM_BuildOptimizedPalette)->Unit(benchmark::kMillisecond);

// Decoding a 24 MP 24-bit BMP from a file, as loading for display does.
void BM_DecodeBMP24MP(benchmark::State& State) {
  const std::string Path = "/tmp/orbisk-bench-24mp.bmp";
  {
    TPixelGraphic Copy;
    Copy.Assign(&Picture24MP());
    Copy.SaveToFile(Path);
  }
  TPixelGraphic G;
  for (auto _ : State) {
    G.LoadFromFile(Path);
    benchmark::DoNotOptimize(G.Bits());
  }
  std::remove(Path.c_str());
  State.SetBytesProcessed(int64_t(State.iterations()) * 6000 * 4000 * 3);
}
BENCHMARK(BM_DecodeBMP24MP)->Unit(benchmark::kMillisecond);

// The converter's resize of a 24 MP JPEG to 1920 x 1280 JPEG, by stage: decoding alone, and
// decoding, resampling and encoding together (into memory), on one thread and on all.
const std::string& JPEG24MP() {
  static const std::string Path = [] {
    const std::string P = "/tmp/orbisk-bench-24mp.jpg";
    TPixelGraphic Copy;
    Copy.Assign(&Picture24MP());
    Copy.SaveToFile(P);
    return P;
  }();
  return Path;
}

void BM_DecodeJPEG24MP(benchmark::State& State) {
  TThreads Threads(State.range(0));
  const std::string& Path = JPEG24MP();
  TPixelGraphic G;
  for (auto _ : State) {
    G.LoadFromFile(Path);
    benchmark::DoNotOptimize(G.Bits());
  }
  State.SetLabel("threads " + std::to_string(EngineThreadCount()));
}
BENCHMARK(BM_DecodeJPEG24MP)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ResizeJPEG24MP(benchmark::State& State) {
  TThreads Threads(State.range(0));
  const std::string& Path = JPEG24MP();
  for (auto _ : State) {
    TPixelGraphic G, Small;
    G.LoadFromFile(Path);
    Small.SetSize(1920, 1280, 3);
    Small.StretchFrom(G);
    TPGMemoryStream Out;
    Small.SaveToStreamExt(Out, "jpg");
    benchmark::DoNotOptimize(Out.Size());
  }
  State.SetLabel("threads " + std::to_string(EngineThreadCount()));
}
BENCHMARK(BM_ResizeJPEG24MP)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
