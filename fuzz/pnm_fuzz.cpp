// Feeds arbitrary bytes to the PBM/PGM/PPM reader, its header query, and writes back what it read.
#include "engine/formats/pnm.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <cstdint>

using namespace orbisk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  TFileFormatReader* Reader = nullptr;
  for (auto* R : FileFormatReaders())
    if (R->Extension == "pgm") Reader = R; // the three readers share one decoder
  try {
    TPGMemoryStream S(Data, Size);
    TGraphicFileInfo Info;
    Reader->GetInfo(S, 0, Info, Read);
  } catch (const EPixelGraphic&) {
  }
  TPixelGraphic G;
  try {
    TPGMemoryStream S(Data, Size);
    Reader->ReadGraphic(S, G, 0, Read);
  } catch (const EPixelGraphic&) {
    return 0;
  }
  if (G.Empty() || int64_t(G.Width()) * G.Height() > 4096) return 0;
  const char* Ext = G.BitCountNum() == 0 ? "pbm" : G.BitCountNum() == 2 ? "pgm" : "ppm";
  for (bool Binary : {false, true}) {
    TWriteOptions Write;
    Write.PxMWriteBinary = Binary;
    TPGMemoryStream Out;
    try {
      FindWriter(Ext)->WriteGraphic(Out, G, Write);
    } catch (const EPixelGraphic&) {
    }
  }
  return 0;
}
