// Transform and effect timings. Without arguments (or with Google Benchmark flags) it runs the
// in-memory benchmarks; "geometry_bench apply IN OUT OPTION [VALUE]" loads IN, applies one
// operation as orbisk-cli's convert flags would, and saves OUT, for whole-process comparisons
// with other tools (bench/geometry.sh). The operation's own time goes to stderr.
#include "engine/formats/pnm.h"
#include "engine/pixelgraphic.h"
#include "processing/effects.h"
#include "processing/transforms.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

using namespace orbisk;

namespace {

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

// False for an unknown option or a bad value.
bool ApplyOption(TPixelGraphic& G, const std::string& Option, const std::string& Value) {
  long double V = 0;
  const bool Number = ParseDecimal(Value, V);
  if (Option == "--rotate" && Number)
    RotatePicture(G, V);
  else if (Option == "--flip" && Value == "h")
    FlipHorizontal(G);
  else if (Option == "--flip" && Value == "v")
    FlipVertical(G);
  else if (Option == "--crop") {
    int X, Y, W, H;
    if (std::sscanf(Value.c_str(), "%d,%d,%d,%d", &X, &Y, &W, &H) != 4 || W < 0 || H < 0)
      return false;
    CropPicture(G, X, Y, W, H);
  } else if (Option == "--gaussian" && Number) {
    ConvertToTrueColor(G);
    GaussianBlur(G, nullptr, float(V));
  } else if (Option == "--emboss")
    EmbossPicture(G);
  else if (Option == "--mosaic" && Number)
    FastEffectPicture(G, feMosaic, int(V));
  else if (Option == "--fisheye")
    FisheyePicture(G);
  else if (Option == "--swirl")
    SwirlPicture(G);
  else if (Option == "--bevel" && Number) {
    ConvertToTrueColor(G);
    Bevel(G, int(V));
  } else if (Option == "--shadow")
    DropShadow(G);
  else if (Option == "--border")
    WhiteBorderPicture(G);
  else
    return false;
  return true;
}

int Apply(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: geometry_bench apply IN OUT OPTION [VALUE]\n");
    return 2;
  }
  TWriteOptions Write;
  Write.PxMWriteBinary = true; // as orbisk-cli --binary
  try {
    TPixelGraphic G;
    G.LoadFromFile(argv[2]);
    const auto T0 = std::chrono::steady_clock::now();
    if (!ApplyOption(G, argv[4], argc > 5 ? argv[5] : "")) {
      std::fprintf(stderr, "unknown option or value: %s\n", argv[4]);
      return 2;
    }
    const auto T1 = std::chrono::steady_clock::now();
    std::fprintf(stderr, "%s: %.1f ms\n", argv[4],
                 std::chrono::duration<double, std::milli>(T1 - T0).count());
    G.SaveToFile(argv[3], Write);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}

const TPixelGraphic& Big() {
  static TPixelGraphic G;
  if (G.Empty()) MakePicture(G, 6000, 4000);
  return G;
}

void BM_Rotate90(benchmark::State& State) {
  TPixelGraphic D;
  for (auto _ : State)
    RotateQuarterTurns(D, Big(), 1);
}
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);

void BM_Rotate17(benchmark::State& State) {
  for (auto _ : State) {
    TPixelGraphic D;
    D.Smooth = State.range(0) != 0;
    Rotate(D, true, Big(), 17);
  }
}
BENCHMARK(BM_Rotate17)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_GaussianBlur5(benchmark::State& State) {
  TPixelGraphic G;
  for (auto _ : State) {
    State.PauseTiming();
    G.Assign(&Big());
    State.ResumeTiming();
    GaussianBlur(G, nullptr, 5);
  }
}
BENCHMARK(BM_GaussianBlur5)->Unit(benchmark::kMillisecond);

void BM_FlipVertical(benchmark::State& State) {
  TPixelGraphic G;
  G.Assign(&Big());
  for (auto _ : State)
    FlipVertical(G);
}
BENCHMARK(BM_FlipVertical)->Unit(benchmark::kMillisecond);

void BM_Fisheye(benchmark::State& State) {
  const TFastBMP S(Big());
  TFastBMP D;
  for (auto _ : State)
    Fisheye(S, D, 1.0f);
}
BENCHMARK(BM_Fisheye)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "apply") return Apply(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
