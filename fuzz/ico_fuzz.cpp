// Feeds arbitrary bytes to the ICO reader: loading and the file information must fail cleanly.
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  orbisk::MaxPixelCount = int64_t(1) << 22;
  orbisk::TFileFormatReader* Reader = nullptr;
  for (orbisk::TFileFormatReader* R : orbisk::FileFormatReaders())
    if (R->Extension == "ico") Reader = R;
  for (int Index : {0, 1}) {
    try {
      orbisk::TPGMemoryStream S(Data, Size);
      orbisk::TPixelGraphic G;
      Reader->ReadGraphic(S, G, Index);
    } catch (const orbisk::EPixelGraphic&) {
    }
    try {
      orbisk::TPGMemoryStream S(Data, Size);
      orbisk::TGraphicFileInfo Info;
      Reader->GetInfo(S, Index, Info);
    } catch (const orbisk::EPixelGraphic&) {
    }
  }
  return 0;
}
