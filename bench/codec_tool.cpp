// Times the engine's codecs without the CLI around them: "load FILE" decodes only,
// "convert IN OUT" loads and saves as orbisk-cli convert does.
#include "engine/formats/png.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

using namespace orbisk;

int main(int argc, char** argv) {
  const std::string Mode = argc > 1 ? argv[1] : "";
  if (!((Mode == "load" && argc == 3) || (Mode == "convert" && argc == 4))) {
    std::fprintf(stderr, "usage: codec_tool load FILE | convert IN OUT\n");
    return 2;
  }
  // CODEC_PNG_THREADS=1 decodes PNG image data on one thread only (the reference).
  TReadOptions Read;
  TPNGDecodeStats Stats;
  Read.PNGDecodeStats = &Stats;
  if (const char* T = std::getenv("CODEC_PNG_THREADS")) Read.PNGDecodeThreads = std::atoi(T);
  try {
    TPixelGraphic G;
    G.ReadWarningAction = pgwaIgnore;
    // CODEC_REDUCED_SIZE=N asks for a reduced decode (a thumbnail of about N pixels a side).
    if (const char* R = std::getenv("CODEC_REDUCED_SIZE")) G.ReducedSize = std::atoi(R);
    G.LoadFromFile(argv[2], Read);
    if (Mode == "convert") G.SaveToFile(argv[3]);
    std::printf("%d x %d, %d bits\n", G.Width(), G.Height(), G.BitCount());
    if (Stats.Piped || Stats.Repeated)
      std::printf("PNG image data: %s\n", Stats.Repeated ? "decoded again" : "worker thread");
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}
