// The information and loading path for arbitrary bytes: reader choice on a memory stream, the
// chosen reader's description, then loading as the command line's info command does.
#include "engine/registry.h"
#include "engine/stream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  orbisk::TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  orbisk::TPGMemoryStream M(Data, Size);
  try {
    orbisk::TFileFormatReader* Reader = orbisk::FindReader(M, "tga");
    if (!Reader) return 0;
    orbisk::TGraphicFileInfo Info;
    try {
      Reader->GetInfo(M, 0, Info, Read);
    } catch (const orbisk::EPixelGraphic&) {
    }
    M.SetPosition(0);
    orbisk::TPixelGraphic G;
    G.ReadWarningAction = orbisk::pgwaIgnore;
    G.LoadFromStreamExt(M, "tga", 0, Read);
  } catch (const orbisk::EPixelGraphic&) {
  }
  return 0;
}
