#include "processing/colorresolution.h"

#include "engine/messages.h"
#include "engine/optimizedpalette.h"

#include <cctype>
#include <cstdlib>

namespace orbisk {

namespace {

// Installs a progress handler on a working picture that also notes an abort, and removes it
// again so the returned picture holds no reference to the caller's handler.
class TProgressHook {
public:
  TProgressHook(TPixelGraphic& G, const TPixelGraphic::TProgressEvent& Handler) : FG(G) {
    FG.OnProgress = [this, &Handler](TPixelGraphic* Sender, int Step, bool& Abort, int Max) {
      if (Handler) Handler(Sender, Step, Abort, Max);
      if (Abort) FAborted = true;
    };
  }
  ~TProgressHook() { FG.OnProgress = nullptr; }
  TProgressHook(const TProgressHook&) = delete;
  TProgressHook& operator=(const TProgressHook&) = delete;
  bool Aborted() const { return FAborted; }

private:
  TPixelGraphic& FG;
  bool FAborted = false;
};

// A new picture of the given size and depth whose palette is optimized for Source (or, with a
// standard Kind, that kind), filled from Source by the stretch copy.
std::unique_ptr<TPixelGraphic> Reduce(const TPixelGraphic& Source, int W, int H, int Code,
                                      TPaletteIdent Kind, int Colors, bool System16, bool Dither,
                                      bool RGBWeighting,
                                      const TPixelGraphic::TProgressEvent& OnProgress) {
  auto Dest = std::make_unique<TPixelGraphic>();
  TProgressHook Hook(*Dest, OnProgress);
  Dest->SetSize(W, H, Code);
  Dest->Dither = Dither;
  Dest->SetRGBWeighting(RGBWeighting);
  if (Code != 3) {
    if (Kind == pUnknown) {
      // Start from "no palette", so a palette that failed to appear is an error, never a
      // silent true-colour mapping.
      Dest->SetPaletteKind(pNone);
      BuildOptimizedPalette(*Dest, Source, Colors, System16);
      if (Hook.Aborted()) return Dest;
    } else {
      Dest->SetPaletteKind(Kind);
    }
  }
  Dest->StretchFrom(Source);
  return Dest;
}

bool StandardKind(TPaletteIdent K) {
  return K >= pBlackWhite && K <= pSpecial252;
}

} // namespace

bool ParseColorCount(const std::string& Text, int Lo, int Hi, int& Value) {
  size_t B = 0, E = Text.size();
  while (B < E && std::isspace(static_cast<unsigned char>(Text[B])))
    ++B;
  while (E > B && std::isspace(static_cast<unsigned char>(Text[E - 1])))
    --E;
  if (B == E || E - B > 9) return false;
  size_t P = B;
  if (Text[P] == '+' || Text[P] == '-') ++P;
  if (P == E) return false;
  for (size_t I = P; I < E; ++I)
    if (!std::isdigit(static_cast<unsigned char>(Text[I]))) return false;
  const long V = std::strtol(Text.substr(B, E - B).c_str(), nullptr, 10);
  if (V < Lo || V > Hi) return false;
  Value = int(V);
  return true;
}

bool ValidChoice(const TColorResolutionChoice& C) {
  if (C.BitCount == 24) return true;
  if (C.BitCount != 1 && C.BitCount != 4 && C.BitCount != 8) return false;
  const int Capacity = 1 << C.BitCount;
  if (C.Kind == pUnknown) return C.Colors >= 2 && C.Colors <= Capacity;
  return StandardKind(C.Kind) && int(StandardPalette(C.Kind).size()) <= Capacity;
}

std::unique_ptr<TPixelGraphic>
ApplyColorResolution(const TPixelGraphic& Picture, const TColorResolutionChoice& Choice,
                     const TPixelGraphic::TProgressEvent& OnProgress) {
  const int Code = BitCountToNum(Choice.BitCount);
  if (!ValidChoice(Choice)) {
    if (Choice.Kind == pUnknown) throw EPixelGraphic(EngineMessage(msgOutOfRange, "Colors"));
    throw EPixelGraphic(EngineMessage(msgInvalidValueFor, "PaletteKind"));
  }
  if (Picture.Empty()) return nullptr;
  return Reduce(Picture, Picture.Width(), Picture.Height(), Code, Choice.Kind, Choice.Colors,
                Choice.BitCount == 8 && Choice.IncludeSystem16, Choice.Dither, Choice.RGBWeighting,
                OnProgress);
}

std::unique_ptr<TPixelGraphic> Posterize(const TPixelGraphic& Picture, int Colors,
                                         const TPixelGraphic::TProgressEvent& OnProgress) {
  if (Colors < 2 || Colors > 256) throw EPixelGraphic(EngineMessage(msgOutOfRange, "Colors"));
  if (Picture.Empty()) return nullptr;
  return Reduce(Picture, Picture.Width(), Picture.Height(), Colors <= 16 ? 1 : 2, pUnknown, Colors,
                false, false, false, OnProgress);
}

std::unique_ptr<TPixelGraphic> PrepareGIFPicture(const TPixelGraphic& Picture, int Width,
                                                 int Height,
                                                 const TPixelGraphic::TProgressEvent& OnProgress) {
  if (Picture.Empty()) return nullptr;
  return Reduce(Picture, Width > 0 ? Width : Picture.Width(),
                Height > 0 ? Height : Picture.Height(), 2, pUnknown, 252, true, true, true,
                OnProgress);
}

std::unique_ptr<TPixelGraphic> PrepareGIFExport(const TPixelGraphic& Picture,
                                                const TPixelGraphic::TProgressEvent& OnProgress) {
  if (Picture.Empty()) return nullptr;
  if (Picture.BitCountNum() == 3) return PrepareGIFPicture(Picture, 0, 0, OnProgress);
  auto Copy = std::make_unique<TPixelGraphic>();
  Copy->Assign(&Picture);
  return Copy;
}

TColorResolutionChoice OptimizedChoice(int Colors, bool Dither) {
  if (Colors < 2 || Colors > 256) throw EPixelGraphic(EngineMessage(msgOutOfRange, "Colors"));
  TColorResolutionChoice C;
  C.BitCount = Colors <= 2 ? 1 : Colors <= 16 ? 4 : 8;
  C.Kind = pUnknown;
  C.Colors = Colors;
  C.IncludeSystem16 = false;
  C.Dither = Dither;
  C.RGBWeighting = true;
  return C;
}

// ---- the window's model ----

void TColorResolutionModel::ChoosePalette(int Bits, TPaletteIdent Kind) {
  BitCount = Bits;
  if (Bits == 1)
    Kind1 = Kind;
  else if (Bits == 4)
    Kind4 = Kind;
  else if (Bits == 8)
    Kind8 = Kind;
}

void TColorResolutionModel::EditCount4(const std::string& Text) {
  Count4 = Text;
  ChoosePalette(4, pUnknown);
}

void TColorResolutionModel::EditCount8(const std::string& Text) {
  Count8 = Text;
  ChoosePalette(8, pUnknown);
}

void TColorResolutionModel::SetIncludeSystem16(bool On) {
  IncludeSystem16 = On;
  if (On) ChoosePalette(8, pUnknown);
}

bool TColorResolutionModel::CanConfirm() const {
  int V;
  return ParseColorCount(Count4, 2, 16, V) && ParseColorCount(Count8, 2, 256, V);
}

TColorResolutionChoice TColorResolutionModel::Choice() const {
  TColorResolutionChoice C;
  C.BitCount = BitCount;
  C.Dither = Dither;
  C.RGBWeighting = RGBWeighting;
  C.IncludeSystem16 = false;
  switch (BitCount) {
  case 1:
    C.Kind = Kind1;
    C.Colors = 2;
    break;
  case 4:
    C.Kind = Kind4;
    if (!ParseColorCount(Count4, 2, 16, C.Colors)) C.Colors = 16;
    break;
  case 8:
    C.Kind = Kind8;
    if (!ParseColorCount(Count8, 2, 256, C.Colors)) C.Colors = 252;
    C.IncludeSystem16 = IncludeSystem16;
    break;
  default:
    C.Kind = pTrueColor;
    break;
  }
  return C;
}

} // namespace orbisk
