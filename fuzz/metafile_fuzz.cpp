// Feeds arbitrary bytes to the WMF and EMF readers: header parsing, record checks, sizes, the
// preview fit and the file information must fail cleanly. The player only checks what it is
// handed, so the records the readers pass on are looked at as a player would.
#include "engine/formats/metafile.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

uint32_t Get32(const uint8_t* P) {
  return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}

// Walks the records as a player does and traps on anything a player could not trust.
struct TCheckingPlayer : orbisk::TMetafilePlayer {
  void Play(const orbisk::TMetafile& M, orbisk::TPixelGraphic& Target) override {
    const std::vector<uint8_t>& D = M.Data;
    if (Target.Empty() || M.Width <= 0 || M.Height <= 0) std::abort();
    if (M.Enhanced) {
      if (D.size() < 88 || Get32(D.data() + 48) != D.size()) std::abort();
      size_t Pos = 0;
      uint32_t Type = 0;
      while (Pos < D.size()) {
        if (D.size() - Pos < 8) std::abort();
        Type = Get32(D.data() + Pos);
        const size_t Size = Get32(D.data() + Pos + 4);
        if (Size < 8 || Size % 4 || Size > D.size() - Pos) std::abort();
        Pos += Size;
      }
      if (Type != 14) std::abort();
    } else {
      if (D.size() < 22 + 18 + 6 || Get32(D.data()) != orbisk::kPlaceableKey) std::abort();
      if (size_t(Get32(D.data() + 22 + 6)) * 2 != D.size() - 22) std::abort();
      size_t Pos = 40;
      uint16_t Function = 1;
      while (Pos < D.size()) {
        if (D.size() - Pos < 6) std::abort();
        const uint64_t Words = Get32(D.data() + Pos);
        Function = uint16_t(D[Pos + 4] | (D[Pos + 5] << 8));
        if (Words < 3 || Words * 2 > D.size() - Pos) std::abort();
        Pos += Words * 2;
      }
      if (Function != 0) std::abort();
    }
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  orbisk::TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 16; // small pictures keep the runs fast
  static bool Installed = (orbisk::SetMetafilePlayer(std::make_shared<TCheckingPlayer>()), true);
  (void)Installed;
  for (const char* Ext : {"wmf", "emf"}) {
    orbisk::TFileFormatReader* Reader = nullptr;
    for (orbisk::TFileFormatReader* R : orbisk::FileFormatReaders())
      if (R->Extension == Ext) Reader = R;
    for (bool Fast : {false, true}) {
      try {
        orbisk::TPGMemoryStream S(Data, Size);
        orbisk::TPixelGraphic G;
        G.FastJPEGDecode = Fast;
        Reader->ReadGraphic(S, G, 0, Read);
      } catch (const orbisk::EPixelGraphic&) {
      }
    }
    try {
      orbisk::TPGMemoryStream S(Data, Size);
      orbisk::TGraphicFileInfo Info;
      Reader->GetInfo(S, 0, Info, Read);
    } catch (const orbisk::EPixelGraphic&) {
    }
  }
  return 0;
}
