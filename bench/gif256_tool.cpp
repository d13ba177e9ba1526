// Reduces a picture to an optimized 252-colour palette (236 chosen + the 16 system colours)
// with error diffusion and writes it as GIF, the way the converter prepares GIF output.
//
//   gif256_tool IN OUT.gif [--interlace] [--phases]
//
// --phases prints the time of each step (load, palette, dithered copy, GIF writing) to stderr.
#include "engine/optimizedpalette.h"
#include "engine/pixelgraphic.h"
#include "processing/colorresolution.h"
#include "processing/gifwriter.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

using namespace orbisk;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point A, Clock::time_point B) {
  return std::chrono::duration<double, std::milli>(B - A).count();
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s IN OUT.gif [--interlace] [--phases]\n", argv[0]);
    return 2;
  }
  bool Interlace = false, Phases = false;
  for (int I = 3; I < argc; ++I) {
    if (std::strcmp(argv[I], "--interlace") == 0)
      Interlace = true;
    else if (std::strcmp(argv[I], "--phases") == 0)
      Phases = true;
  }
  try {
    auto T0 = Clock::now();
    TPixelGraphic Picture;
    Picture.LoadFromFile(argv[1]);
    auto T1 = Clock::now();
    std::unique_ptr<TPixelGraphic> Reduced;
    Clock::time_point T2, T3;
    if (Phases) {
      // The same steps as PrepareGIFPicture, timed one by one.
      Reduced = std::make_unique<TPixelGraphic>();
      Reduced->SetSize(Picture.Width(), Picture.Height(), 2);
      Reduced->SetPaletteKind(pNone);
      BuildOptimizedPalette(*Reduced, Picture, 252, true);
      T2 = Clock::now();
      Reduced->Dither = true;
      Reduced->SetRGBWeighting(true);
      Reduced->StretchFrom(Picture);
    } else {
      Reduced = PrepareGIFPicture(Picture);
      T2 = Clock::now();
    }
    T3 = Clock::now();
    int Code = 0;
    if (!Reduced || !WriteGIF(argv[2], *Reduced, Interlace, 0, false, &Code)) {
      std::fprintf(stderr, "GIF error %d: %s\n", Code, GIFErrorText(Code));
      return 1;
    }
    auto T4 = Clock::now();
    if (Phases)
      std::fprintf(stderr, "load %.0f ms, palette %.0f ms, dithered copy %.0f ms, gif %.0f ms\n",
                   Ms(T0, T1), Ms(T1, T2), Ms(T2, T3), Ms(T3, T4));
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}
