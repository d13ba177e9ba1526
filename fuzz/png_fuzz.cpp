// Feeds arbitrary bytes to the PNG reader and its header query, and writes back what it read.
// Every input is also decoded with the image data inflated on the worker thread and on the
// calling thread alone: both must show the same error, warnings, progress and picture.
#include "engine/formats/png.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace orbisk;

namespace {

struct TOutcome {
  std::string Error;
  std::vector<std::string> Warnings;
  std::vector<long> Events;
  std::vector<uint8_t> Pixels;
  std::vector<TRGB> Palette;
  int W = 0, H = 0, Code = 0;
  bool operator==(const TOutcome&) const = default;
};

TOutcome Decode(const uint8_t* Data, size_t Size, TReadOptions Read, int Threads,
                TPGWarningAction Action, long AbortAt, int Reduced) {
  Read.PNGDecodeThreads = Threads;
  TOutcome O;
  SetEnginePrompt([&](const std::string&, const std::string& Text, bool) {
    O.Warnings.push_back(Text);
    return true;
  });
  TPixelGraphic G;
  G.ReadWarningAction = Action;
  G.ReducedSize = Reduced;
  G.SetBackGroundColor(RGBOf(200, 100, 50));
  G.OnProgressStart = [&](TPixelGraphic*) { O.Events.push_back(-1); };
  G.OnProgress = [&](TPixelGraphic*, int Step, bool& Abort, int) {
    O.Events.push_back(Step);
    Abort = Step == AbortAt;
  };
  G.OnProgressEnd = [&](TPixelGraphic*) { O.Events.push_back(-2); };
  try {
    TPGMemoryStream S(Data, Size);
    TPNGFileFormatReader().ReadGraphic(S, G, 0, Read);
  } catch (const EPixelGraphic& E) {
    O.Error = E.what();
  }
  SetEnginePrompt(nullptr);
  O.W = G.Width(), O.H = G.Height(), O.Code = G.BitCountNum();
  for (int Y = 0; Y < G.Height(); ++Y)
    O.Pixels.insert(O.Pixels.end(), G.ScanLine(Y), G.ScanLine(Y) + G.RowBytes());
  for (int K = 0; K < G.PaletteCount(); ++K)
    O.Palette.push_back(G.GetPaletteEntry(K));
  return O;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TReadOptions Read;
  Read.MaxPixelCount = int64_t(1) << 22;
  TPNGFileFormatReader Reader;
  try {
    TPGMemoryStream S(Data, Size);
    TGraphicFileInfo Info;
    Reader.GetInfo(S, 0, Info, Read);
  } catch (const EPixelGraphic&) {
  }
  // Both warning paths, both background choices, an abort now and then.
  const TPGWarningAction Action = Size % 2 ? pgwaOKBox : pgwaRaise;
  Read.PNGUseFileBackground = Size % 3 != 0;
  const long AbortAt = Size % 5 == 0 ? long(Size % 7) : -2;
  const TOutcome One = Decode(Data, Size, Read, 1, Action, AbortAt, 0);
  if (!(Decode(Data, Size, Read, 2, Action, AbortAt, 0) == One)) __builtin_trap();
  // the reduced decode, when interlaced
  Decode(Data, Size, Read, 2, Action, AbortAt, int(Size % 40));

  TPixelGraphic G;
  G.ReadWarningAction = Size % 2 ? pgwaIgnore : pgwaRaise;
  G.SetBackGroundColor(RGBOf(200, 100, 50));
  try {
    TPGMemoryStream S(Data, Size);
    Reader.ReadGraphic(S, G, 0, Read);
  } catch (const EPixelGraphic&) {
    return 0;
  }
  if (G.Empty() || int64_t(G.Width()) * G.Height() > 4096) return 0;
  try {
    TPGMemoryStream Out;
    TPNGFileFormatWriter().WriteGraphic(Out, G, TWriteOptions{});
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
