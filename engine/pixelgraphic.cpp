#include "engine/pixelgraphic.h"

#include <sys/mman.h>
#include "engine/optimizedpalette.h"
#include "engine/palettes.h"
#include "engine/parallel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace orbisk {

struct TPixelGraphic::DitherState {
  std::vector<int> Rows[2]; // (Width + 2) cells of three channel errors, scaled by 16
  int Current = 0;
  int Limit[511]; // limit(e) at e + 255
  bool Gray = false;
};

namespace {

// A large picture's fresh (untouched) pages come as 2 MB pages where the system offers them on
// request: a 24-megapixel picture then costs a few dozen page faults instead of some 18,000.
void AskForHugePages(void* Start, size_t Size) {
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  if (Size < 2 * kHuge) return;
  const uintptr_t First = (reinterpret_cast<uintptr_t>(Start) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t End = (reinterpret_cast<uintptr_t>(Start) + Size) & ~(kHuge - 1);
  if (End > First) ::madvise(reinterpret_cast<void*>(First), End - First, MADV_HUGEPAGE);
}

} // namespace

namespace {
std::atomic<int64_t> TheAllocationLimit{DefaultMaxPixelCount};
} // namespace

int64_t PixelAllocationLimit() {
  return TheAllocationLimit.load();
}

void SetPixelAllocationLimit(int64_t Limit) {
  TheAllocationLimit.store(Limit);
}

TPixelGraphic::TPixelGraphic() : FileGamma(kDefaultScreenGamma) {}

TPixelGraphic::~TPixelGraphic() {
  FreeBuffer();
}

void TPixelGraphic::FreeBuffer() {
  std::free(FBits);
  FBits = nullptr;
  FHeader.clear();
}

// ---------------------------------------------------------------------------------------------
// size and storage

void TPixelGraphic::SetSize(int W, int H, int Code) {
  if (W < 0) throw EPGInvalidSize(EngineMessage(msgNegativeWidth));
  if (H < 0) throw EPGInvalidSize(EngineMessage(msgNegativeHeight));
  if (Code < 0 || Code > 3)
    throw EPGInvalidBitCountNum(EngineMessage(msgInvalidValueFor, "BitCountNum"));
  ExifOrientation = 1;
  if (W == FWidth && H == FHeight && Code == FBitCountNum) {
    Clear();
    return;
  }
  // Refuse before touching the current picture, so a refused size leaves it as it was.
  if (int64_t(W) * H > (FPixelLimit ? FPixelLimit : PixelAllocationLimit()))
    throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));
  FreeBuffer();
  FWidth = W;
  FHeight = H;
  FBitCountNum = Code;
  FRowBytes = RowBytesFor(W, BitCount());
  FDither.reset();
  if (ImageSize() != 0) {
    if (PaletteCount() > ColorCount()) SetPaletteCount(ColorCount());
    if (Code == 3) FPaletteKind = pTrueColor;
    FBits = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(ImageSize()), 1));
    if (!FBits) {
      FWidth = FHeight = 0;
      FRowBytes = 0;
      throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));
    }
    AskForHugePages(FBits, size_t(ImageSize()));
    FHeader.assign(40 + 4 * size_t(ColorCount()), 0);
    auto Put32 = [this](size_t At, uint32_t V) {
      for (int I = 0; I < 4; ++I)
        FHeader[At + I] = uint8_t(V >> (8 * I));
    };
    Put32(0, 40);
    Put32(4, uint32_t(W));
    Put32(8, uint32_t(H));
    FHeader[12] = 1;
    FHeader[14] = uint8_t(BitCount());
    Put32(20, uint32_t(ImageSize()));
    Put32(32, uint32_t(ColorCount()));
    for (int I = 0; I < ColorCount(); ++I)
      WriteHeaderSlot(I);
  }
  Changed();
}

void TPixelGraphic::SetBitCountNum(int Code) {
  if (Code != FBitCountNum) SetSize(FWidth, FHeight, Code);
}

uint8_t* TPixelGraphic::ScanLine(int Y) {
  if (!FBits || Y < 0 || Y >= FHeight) return nullptr;
  return FBits + int64_t(FHeight - 1 - Y) * FRowBytes;
}

const uint8_t* TPixelGraphic::ScanLine(int Y) const {
  return const_cast<TPixelGraphic*>(this)->ScanLine(Y);
}

void TPixelGraphic::FlipRows() {
  if (!FBits) return;
  std::vector<uint8_t> Tmp(static_cast<size_t>(FRowBytes));
  for (int Y = 0; Y < FHeight / 2; ++Y) {
    uint8_t* A = ScanLine(Y);
    uint8_t* B = ScanLine(FHeight - 1 - Y);
    std::memcpy(Tmp.data(), A, Tmp.size());
    std::memcpy(A, B, Tmp.size());
    std::memcpy(B, Tmp.data(), Tmp.size());
  }
}

// ---------------------------------------------------------------------------------------------
// pixels

uint32_t TPixelGraphic::GetPixelValue(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || !FBits) {
    if (RangeCheck) throw EPGXYIndexOutOfRange(EngineMessage(msgXYIndexOutOfRange));
    return FBackGroundColor;
  }
  const uint8_t* Row = ScanLine(Y);
  switch (FBitCountNum) {
  case 0:
    return (Row[X >> 3] >> (7 - (X & 7))) & 1;
  case 1:
    return (X & 1) ? (Row[X >> 1] & 0x0F) : (Row[X >> 1] >> 4);
  case 2:
    return Row[X];
  default: {
    const uint8_t* P = Row + 3 * int64_t(X);
    return RGBOf(P[2], P[1], P[0]);
  }
  }
}

void TPixelGraphic::SetPixelValue(int X, int Y, uint32_t V) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || !FBits) {
    if (RangeCheck) throw EPGXYIndexOutOfRange(EngineMessage(msgXYIndexOutOfRange));
    return;
  }
  uint8_t* Row = ScanLine(Y);
  switch (FBitCountNum) {
  case 0: {
    uint8_t Mask = uint8_t(0x80 >> (X & 7));
    if (V == 1)
      Row[X >> 3] |= Mask;
    else
      Row[X >> 3] &= uint8_t(~Mask);
    break;
  }
  case 1: {
    uint8_t& B = Row[X >> 1];
    if (X & 1)
      B = uint8_t((B & 0xF0) | (V & 0x0F));
    else
      B = uint8_t((B & 0x0F) | ((V & 0x0F) << 4));
    break;
  }
  case 2:
    Row[X] = uint8_t(V);
    break;
  default: {
    uint8_t* P = Row + 3 * int64_t(X);
    P[0] = uint8_t(V >> 16);
    P[1] = uint8_t(V >> 8);
    P[2] = uint8_t(V);
  }
  }
}

TRGB TPixelGraphic::GetPixelColor(int X, int Y) const {
  uint32_t V = GetPixelValue(X, Y);
  if (FBitCountNum == 3) return V;
  if (FPaletteKind == pTrueColor) return V;
  // Indices beyond the palette show entry 0, as the bitmap's colour table does.
  if (V < FPalette.size()) return FPalette[V];
  return FPalette.empty() ? 0 : FPalette[0];
}

void TPixelGraphic::SetPixelColor(int X, int Y, TRGB C) {
  if (FBitCountNum == 3)
    SetPixelValue(X, Y, C);
  else
    SetPixelValue(X, Y, uint32_t(GetNearestPaletteIndex(C)));
}

void TPixelGraphic::Clear() {
  if (!FBits) return;
  if (FBackGroundColor == 0) {
    std::memset(FBits, 0, static_cast<size_t>(ImageSize()));
  } else if (FBitCountNum == 2) {
    for (int Y = 0; Y < FHeight; ++Y)
      std::memset(ScanLine(Y), int(FBackGroundColor & 0xFF), size_t(FWidth));
  } else {
    for (int Y = 0; Y < FHeight; ++Y)
      for (int X = 0; X < FWidth; ++X)
        SetPixelValue(X, Y, FBackGroundColor);
  }
  Changed();
}

// ---------------------------------------------------------------------------------------------
// palette

void TPixelGraphic::WriteHeaderSlot(int I) {
  if (FHeader.empty() || I < 0 || I >= ColorCount()) return;
  TRGB C = I < PaletteCount() ? FPalette[I] : (FPalette.empty() ? 0 : FPalette[0]);
  uint8_t* S = FHeader.data() + 40 + 4 * I;
  S[0] = uint8_t(BlueOf(C));
  S[1] = uint8_t(GreenOf(C));
  S[2] = uint8_t(RedOf(C));
  S[3] = 0;
}

void TPixelGraphic::InvalidatePalette() {
  FMemoValid = false;
  if (FCache) FCache->Built = false;
}

void TPixelGraphic::SetPaletteCount(int N) {
  N = std::clamp(N, 0, 256);
  if (N != PaletteCount()) {
    FPalette.resize(size_t(N), 0);
    FPaletteKind = N > 0 ? pUnknown : pNone;
    FMemoValid = false;
    if (!FHeader.empty()) {
      for (int I = 0; I < 4; ++I)
        FHeader[32 + I] = uint8_t(uint32_t(N) >> (8 * I));
      for (int I = 0; I < ColorCount(); ++I)
        WriteHeaderSlot(I);
    }
  }
  InvalidatePalette();
}

TRGB TPixelGraphic::GetPaletteEntry(int I) const {
  if (FPaletteKind == pTrueColor) return TRGB(I);
  if (I < 0 || I >= PaletteCount())
    throw EPGInvalidPaletteIndex(EngineMessage(msgInvalidPaletteIndex));
  return FPalette[size_t(I)];
}

void TPixelGraphic::SetPaletteEntry(int I, TRGB C) {
  if (FPaletteKind == pNone || FPaletteKind == pTrueColor)
    throw EPGNoPalette(EngineMessage(msgNoPalette));
  if (I < 0 || I >= PaletteCount())
    throw EPGInvalidPaletteIndex(EngineMessage(msgInvalidPaletteIndex));
  FPalette[size_t(I)] = C & 0xFFFFFF;
  // Slots past the count repeat entry 0, so a new entry 0 rewrites them too.
  if (I == 0)
    for (int S = 0; S < ColorCount(); ++S)
      WriteHeaderSlot(S);
  else
    WriteHeaderSlot(I);
  FPaletteKind = pUnknown;
  InvalidatePalette();
}

void TPixelGraphic::AssignPalette(const TPixelGraphic& Source) {
  SetPaletteCount(Source.PaletteCount());
  FPalette = Source.FPalette;
  for (int S = 0; S < ColorCount(); ++S)
    WriteHeaderSlot(S);
  if (!FPalette.empty()) FPaletteKind = pUnknown;
  InvalidatePalette();
  RecognisePaletteKind();
}

void TPixelGraphic::SetPaletteKind(TPaletteIdent K) {
  if (K == FPaletteKind) return;
  switch (K) {
  case pNone:
  case pTrueColor:
    SetPaletteCount(0);
    FPaletteKind = K;
    break;
  case pUnknown:
    FPaletteKind = K;
    break;
  case pOptimized252Sys16:
  case pSource:
    return;
  default: {
    const auto& P = StandardPalette(K);
    SetPaletteCount(int(P.size()));
    FPalette = P;
    for (int S = 0; S < ColorCount(); ++S)
      WriteHeaderSlot(S);
    FPaletteKind = K;
  }
  }
  InvalidatePalette();
}

void TPixelGraphic::RecognisePaletteKind() {
  FIsGrayPalette = FBitCountNum != 3 && std::all_of(FPalette.begin(), FPalette.end(), [](TRGB C) {
                     return RedOf(C) == GreenOf(C) && GreenOf(C) == BlueOf(C);
                   });
  auto Is = [this](TPaletteIdent K) { return FPalette == StandardPalette(K); };
  TPaletteIdent Kind;
  if (Is(pBlackWhite))
    Kind = pBlackWhite;
  else if (Is(pGray4))
    Kind = pGray4;
  else if (Is(pSysGray4))
    Kind = pSysGray4;
  else if (Is(pGray16))
    Kind = pGray16;
  else if (Is(pGray236))
    Kind = pGray236;
  else if (Is(pGray256))
    Kind = pGray256;
  else if (Is(pSys16))
    Kind = pSys16;
  else if (Is(pSpecial216))
    Kind = pSpecial216;
  else if (Is(pSpecial125))
    Kind = pSpecial125;
  else if (Is(pSpecial252))
    Kind = pSpecial252;
  else if (!FPalette.empty())
    Kind = pUnknown;
  else
    Kind = FBitCountNum == 3 ? pTrueColor : pNone;
  if (Kind != FPaletteKind) {
    FPaletteKind = Kind;
    InvalidatePalette();
  }
}

int TPixelGraphic::ColorResolution() const {
  switch (FBitCountNum) {
  case 0:
    return FPaletteKind == pBlackWhite ? 0 : 1;
  case 1:
    return FPaletteKind == pGray16 ? 2 : FPaletteKind == pSys16 ? 3 : 4;
  case 2:
    return FPaletteKind == pGray256 ? 5 : 6;
  default:
    return 7;
  }
}

int TPixelGraphic::Luminance(unsigned R, unsigned G, unsigned B) const {
  return FRGBWeighting ? int((897 * R + 1761 * G + 342 * B) / 1000) : int(R + G + B);
}

int TPixelGraphic::ExhaustiveSearch(TRGB C) const {
  int Best = 0, BestD = 1 << 30;
  for (size_t I = 0; I < FPalette.size(); ++I) {
    int D = SquaredDistance(C, FPalette[I]);
    if (D < BestD) {
      BestD = D;
      Best = int(I);
      if (D == 0) break;
    }
  }
  return Best;
}

void TPixelGraphic::ColorCacheData::Build(const std::vector<TRGB>& Palette) {
  Cells.Filled.fill(0);
  for (int S = 0; S <= 4; ++S)
    for (size_t E = 0; E < Palette.size(); ++E) {
      int R0 = RedOf(Palette[E]) >> 3, G0 = GreenOf(Palette[E]) >> 2, B0 = BlueOf(Palette[E]) >> 3;
      for (int R = std::max(0, R0 - S); R <= std::min(31, R0 + S); ++R)
        for (int G = std::max(0, G0 - S); G <= std::min(63, G0 + S); ++G) {
          bool Inner = std::abs(R - R0) < S && std::abs(G - G0) < S;
          for (int B = std::max(0, B0 - S); B <= std::min(31, B0 + S); ++B) {
            // Only the surface of the cube of radius S.
            if (Inner && std::abs(B - B0) < S) {
              B = B0 + S - 1;
              continue;
            }
            int Cell = R * 2048 + G * 32 + B;
            if (!Cells.Has(Cell)) Cells.Set(Cell, uint8_t(E));
          }
        }
    }
  Built = true;
}

int TPixelGraphic::CacheLookup(TRGB C) {
  if (!FCache) FCache = std::make_unique<ColorCacheData>();
  ColorCacheData& Cc = *FCache;
  if (!Cc.Built) Cc.Build(FPalette);
  const int Cell = TColorCacheCells::CellOf(C);
  if (!Cc.Cells.Has(Cell)) Cc.Cells.Set(Cell, uint8_t(ExhaustiveSearch(C)));
  return Cc.Cells.Index[size_t(Cell)];
}

int TPixelGraphic::GetNearestPaletteIndex(TRGB C) {
  C &= 0xFFFFFF;
  if (FMemoValid && FMemoColor == C) return FMemoIndex;
  unsigned R = RedOf(C), G = GreenOf(C), B = BlueOf(C);
  auto L = [&] { return Luminance(R, G, B); };
  int N;
  switch (FPaletteKind) {
  case pNone:
    throw EPGNoPalette(EngineMessage(msgNoPalette));
  case pTrueColor:
    return int(C);
  case pBlackWhite:
    N = (L() + 1) / 384;
    break;
  case pSysGray4: {
    int Lum = L();
    N = Lum <= 192 ? 0 : Lum <= 480 ? 1 : Lum <= 670 ? 2 : 3;
    break;
  }
  case pSys16: {
    const uint8_t* T = Sys16Candidates(int(R / 64) * 16 + int(G / 64) * 4 + int(B / 64));
    const auto& P = Sys16Colors();
    N = T[0];
    if (T[1] != T[0] && SquaredDistance(C, P[T[1]]) < SquaredDistance(C, P[N])) N = T[1];
    if (T[2] != T[1] && SquaredDistance(C, P[T[2]]) < SquaredDistance(C, P[N])) N = T[2];
    break;
  }
  case pGray4:
    N = (L() + 127) / 255;
    break;
  case pGray16:
    N = (L() + 25) / 51;
    break;
  case pGray236:
    N = Gray236Table()[size_t(L())];
    break;
  case pGray256:
    N = (L() + 1) / 3;
    break;
  case pSpecial125: {
    auto Q = [](unsigned V) { return int((V == 224 ? 225 : V) + 31) / 64; };
    N = 25 * Q(R) + 5 * Q(G) + Q(B);
    break;
  }
  case pSpecial216: {
    auto S = [](unsigned V) { return int(V + 24) / 51; };
    N = 36 * S(R) + 6 * S(G) + S(B);
    break;
  }
  case pSpecial252: {
    const auto& List = Special252Candidates(C);
    const auto& P = StandardPalette(pSpecial252);
    N = List[0];
    int BestD = SquaredDistance(C, P[N]);
    for (size_t I = 1; I < List.size(); ++I) {
      int D = SquaredDistance(C, P[List[I]]);
      if (D < BestD) {
        BestD = D;
        N = List[I];
      }
    }
    break;
  }
  default:
    N = FColorCache ? CacheLookup(C) : ExhaustiveSearch(C);
    break;
  }
  FMemoValid = true;
  FMemoColor = C;
  FMemoIndex = N;
  return N;
}

void TPixelGraphic::SetBackGroundColor(TRGB C) {
  if (FBitCountNum == 3)
    FBackGroundColor = C & 0xFFFFFF;
  else
    FBackGroundColor = FPaletteKind == pNone ? 0 : uint32_t(GetNearestPaletteIndex(C));
}

void TPixelGraphic::SetColorCache(bool V) {
  FColorCache = V;
  FMemoValid = false;
  Changed();
}

void TPixelGraphic::SetRGBWeighting(bool V) {
  FRGBWeighting = V;
  FMemoValid = false;
}

// ---------------------------------------------------------------------------------------------
// error diffusion

void TPixelGraphic::StartDither() {
  auto D = std::make_unique<DitherState>();
  size_t Cells = (size_t(FWidth) + 2) * 3;
  D->Rows[0].assign(Cells, 0);
  D->Rows[1].assign(Cells, 0);
  FIsGrayPalette = FBitCountNum != 3 && std::all_of(FPalette.begin(), FPalette.end(), [](TRGB C) {
                     return RedOf(C) == GreenOf(C) && GreenOf(C) == BlueOf(C);
                   });
  D->Gray = FIsGrayPalette;
  int Bound;
  bool Soft;
  if (DitherErrorLimitAuto) {
    Soft = true;
    switch (FPaletteKind) {
    case pBlackWhite:
      Bound = 255;
      break;
    case pSysGray4:
    case pSys16:
    case pGray4:
      Bound = 128;
      break;
    case pGray236:
      Bound = 3;
      break;
    case pGray256:
      Bound = 2;
      break;
    case pSpecial125:
    case pSpecial252:
      Bound = 104;
      break;
    case pSpecial216:
      Bound = 86;
      break;
    default:
      Bound = 32;
    }
  } else {
    Bound = DitherErrorLimit;
    Soft = DitherErrorLimitSoft;
  }
  for (int E = 0; E <= 255; ++E) {
    int V = E;
    if (E >= Bound && Bound != 255) V = Bound;
    if (Soft && E >= Bound / 2 && E <= 3 * Bound / 2 && E < 255) V = E / 2 + Bound / 4;
    D->Limit[255 + E] = V;
    D->Limit[255 - E] = -V;
  }
  FDither = std::move(D);
}

void TPixelGraphic::EndDither() {
  FDither.reset();
}

void TPixelGraphic::DitherNextRow(int /*Y*/) {
  if (!FDither) return;
  FDither->Current ^= 1;
  auto& Other = FDither->Rows[FDither->Current ^ 1];
  std::fill(Other.begin(), Other.end(), 0);
}

static inline int RoundDiv16(int E) {
  // Halves away from zero.
  return E >= 0 ? (E + 8) / 16 : -((-E + 8) / 16);
}

void TPixelGraphic::SetPixelDithered(int X, int Y, unsigned R, unsigned G, unsigned B) {
  if (!FDither || X < 0 || X >= FWidth) {
    SetPixelColor(X, Y, RGBOf(R, G, B));
    return;
  }
  DitherState& D = *FDither;
  int* Cur = D.Rows[D.Current].data();
  int* Next = D.Rows[D.Current ^ 1].data();
  int Dir = (Y % 2 == 0) ? 1 : -1;
  size_t Here = size_t(X + 1) * 3, Ahead = size_t(X + 1 + Dir) * 3,
         Behind = size_t(X + 1 - Dir) * 3;
  auto Limit = [&D](int E) { return D.Limit[255 + std::clamp(E, -255, 255)]; };
  auto Push = [&](int K, int Err) {
    Cur[Ahead + K] += 7 * Err;
    Next[Behind + K] += 3 * Err;
    Next[Here + K] += 5 * Err;
    Next[Ahead + K] += Err;
  };
  if (D.Gray) {
    int Gv = Luminance(R, G, B) / 3;
    int V = std::clamp(Gv + Limit(RoundDiv16(Cur[Here + 1])), 0, 255);
    int N = GetNearestPaletteIndex(RGBOf(V, V, V));
    SetPixelValue(X, Y, uint32_t(N));
    TRGB E = N < PaletteCount() ? FPalette[size_t(N)] : 0;
    Push(1, V - int(GreenOf(E)));
  } else {
    int Ch[3] = {int(R), int(G), int(B)};
    int V[3];
    for (int K = 0; K < 3; ++K)
      V[K] = std::clamp(Ch[K] + Limit(RoundDiv16(Cur[Here + K])), 0, 255);
    int N = GetNearestPaletteIndex(RGBOf(V[0], V[1], V[2]));
    SetPixelValue(X, Y, uint32_t(N));
    TRGB E = N < PaletteCount() ? FPalette[size_t(N)] : 0;
    Push(0, V[0] - int(RedOf(E)));
    Push(1, V[1] - int(GreenOf(E)));
    Push(2, V[2] - int(BlueOf(E)));
  }
}

void TPixelGraphic::WriteColor(int X, int Y, TRGB C) {
  if (FBitCountNum == 3)
    SetPixelValue(X, Y, C);
  else if (FDither)
    SetPixelDithered(X, Y, RedOf(C), GreenOf(C), BlueOf(C));
  else
    SetPixelValue(X, Y, uint32_t(GetNearestPaletteIndex(C)));
}

// ---------------------------------------------------------------------------------------------
// events

void TPixelGraphic::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TPixelGraphic::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  Changed();
}

void TPixelGraphic::DoProgressStart() {
  if (OnProgressStart) OnProgressStart(this);
}

bool TPixelGraphic::DoProgress(int Step, int Max) {
  bool Abort = false;
  if (OnProgress) OnProgress(this, Step, Abort, Max);
  return Abort;
}

void TPixelGraphic::DoProgressEnd() {
  if (OnProgressEnd) OnProgressEnd(this);
}

// ---------------------------------------------------------------------------------------------
// Assign

void TPixelGraphic::Assign(const TPixelGraphic* Source) {
  TUpdateScope Update(*this);
  if (!Source) {
    SetSize(0, 0, 3);
    return;
  }
  if (Source == this) return;
  SetSize(Source->FWidth, Source->FHeight, Source->FBitCountNum);
  if (FBits && Source->FBits) std::memcpy(FBits, Source->FBits, size_t(ImageSize()));
  SetPaletteKind(Source->FPaletteKind);
  SetPaletteCount(Source->PaletteCount());
  FBackGroundColor = Source->FBackGroundColor;
  Dither = Source->Dither;
  DitherErrorLimit = Source->DitherErrorLimit;
  DitherErrorLimitAuto = Source->DitherErrorLimitAuto;
  DitherErrorLimitSoft = Source->DitherErrorLimitSoft;
  FColorCache = Source->FColorCache;
  FileGamma = Source->FileGamma;
  ExifOrientation = Source->ExifOrientation;
  FRGBWeighting = Source->FRGBWeighting;
  Smooth = Source->Smooth;
  StretchMode = Source->StretchMode;
  ReadWarningAction = Source->ReadWarningAction;
  Transparent = Source->Transparent;
  TransparentColor = Source->TransparentColor;
  RangeCheck = Source->RangeCheck;
  SaveColorResWarningAction = Source->SaveColorResWarningAction;
  FPalette = Source->FPalette;
  for (int S = 0; S < ColorCount(); ++S)
    WriteHeaderSlot(S);
  InvalidatePalette();
  RecognisePaletteKind();
}

// ---------------------------------------------------------------------------------------------
// gamma

void TPixelGraphic::ApplyGamma(const TReadOptions& Options) {
  if (!Options.GammaCorrectionOnRead) return;
  const long double ScreenGamma = Options.ScreenGamma;
  long double Ratio = FileGamma / ScreenGamma;
  if (!std::isfinite(static_cast<double>(Ratio)) || Ratio <= 0) {
    FileGamma = ScreenGamma;
    return;
  }
  if (std::fabs(static_cast<double>(Ratio - 1)) > 0.05) {
    uint8_t T[256];
    for (int I = 0; I < 256; ++I)
      T[I] =
          uint8_t(std::clamp(std::nearbyint(255.0L * std::pow(I / 255.0L, Ratio)), 0.0L, 255.0L));
    if (FBitCountNum == 3) {
      ParallelBands(FHeight, [&](int Begin, int End) {
        for (int Y = Begin; Y < End; ++Y) {
          uint8_t* P = ScanLine(Y);
          for (int64_t I = 0; I < int64_t(FWidth) * 3; ++I)
            P[I] = T[P[I]];
        }
      });
    } else {
      for (int I = 0; I < PaletteCount(); ++I) {
        TRGB C = FPalette[size_t(I)];
        SetPaletteEntry(I, RGBOf(T[RedOf(C)], T[GreenOf(C)], T[BlueOf(C)]));
      }
    }
  }
  FileGamma = ScreenGamma;
}

} // namespace orbisk
