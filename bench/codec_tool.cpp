// Times the engine's codecs without the CLI around them: "load FILE" decodes only,
// "convert IN OUT" loads and saves as orbisk-cli convert does.
#include "engine/pixelgraphic.h"
#include "engine/registry.h"

#include <cstdio>
#include <exception>
#include <string>

using namespace orbisk;

int main(int argc, char** argv) {
  const std::string Mode = argc > 1 ? argv[1] : "";
  if (!((Mode == "load" && argc == 3) || (Mode == "convert" && argc == 4))) {
    std::fprintf(stderr, "usage: codec_tool load FILE | convert IN OUT\n");
    return 2;
  }
  try {
    TPixelGraphic G;
    G.ReadWarningAction = pgwaIgnore;
    G.LoadFromFile(argv[2]);
    if (Mode == "convert") G.SaveToFile(argv[3]);
    std::printf("%d x %d, %d bits\n", G.Width(), G.Height(), G.BitCount());
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}
