// Standard palettes and the arithmetic behind nearest-colour matching for the named kinds.
#include "engine/palettes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orbisk {

int HighestPixelIndex(const TPixelGraphic& G) {
  const int W = G.Width(), Bits = G.BitCount();
  int Max = 0;
  if (Bits > 8) return 0;
  for (int Y = 0; Y < G.Height(); ++Y) {
    const uint8_t* Row = G.ScanLine(Y);
    if (Bits == 8) {
      for (int X = 0; X < W; ++X)
        Max = std::max<int>(Max, Row[X]);
    } else if (Bits == 4) {
      for (int X = 0; X < W; ++X)
        Max = std::max<int>(Max, (Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 15);
    } else {
      for (int X = 0; X < W; ++X)
        Max = std::max<int>(Max, (Row[X >> 3] >> (7 - (X & 7))) & 1);
    }
    if (Max == G.ColorCount() - 1) break;
  }
  return Max;
}

std::vector<TRGB> ShownPalette(const TPixelGraphic& G, int Count) {
  const auto& Pal = G.Palette();
  const TRGB Fill = Pal.empty() ? 0 : Pal[0];
  std::vector<TRGB> Out(size_t(std::max(Count, 0)), Fill);
  for (size_t I = 0; I < Out.size() && I < Pal.size(); ++I)
    Out[I] = Pal[I];
  return Out;
}

const std::array<TRGB, 16>& Sys16Colors() {
  static const std::array<TRGB, 16> T = [] {
    const uint32_t Hex[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                              0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                              0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    std::array<TRGB, 16> A{};
    for (int I = 0; I < 16; ++I)
      A[I] = RGBFromHex(Hex[I]);
    return A;
  }();
  return T;
}

static TRGB Grey(unsigned V) {
  return RGBOf(V, V, V);
}

int Gray236Level(int I) {
  // round(255 * i / 235); no value falls on a half, so plain rounding is exact.
  return static_cast<int>(std::lround(255.0 * I / 235.0));
}

static std::vector<TRGB> BuildSpecial252() {
  std::vector<TRGB> P(Sys16Colors().begin(), Sys16Colors().end());
  const int Levels[5] = {0, 64, 128, 192, 255};
  for (int R = 0; R < 5; ++R)
    for (int G = 0; G < 5; ++G)
      for (int B = 0; B < 5; ++B) {
        TRGB C = RGBOf(Levels[R], Levels[G], Levels[B]);
        if (std::find(Sys16Colors().begin(), Sys16Colors().end(), C) == Sys16Colors().end())
          P.push_back(C);
      }
  static const uint32_t Tail[127] = {
      0x202020, 0x606060, 0xA0A0A0, 0xE0E0E0, 0xFFE0FF, 0xE0E0FF, 0xE0FFFF, 0xE0FFE0, 0xFFFFE0,
      0xFFE0E0, 0xFFC0E0, 0xE0C0FF, 0xC0E0FF, 0xC0FFE0, 0xE0FFC0, 0xFFE0C0, 0xE0C0E0, 0xC0C0E0,
      0xC0E0E0, 0xC0E0C0, 0xE0E0C0, 0xE0C0C0, 0xFFA0C0, 0xFFA0E0, 0xFFA0FF, 0xE0A0FF, 0xC0A0FF,
      0xA0A0FF, 0xA0C0FF, 0xA0E0FF, 0xA0FFFF, 0xA0FFE0, 0xA0FFC0, 0xA0FFA0, 0xC0FFA0, 0xE0FFA0,
      0xFFFFA0, 0xFFE0A0, 0xFFC0A0, 0xFFA0A0, 0xE0A0C0, 0xE0A0E0, 0xC0A0E0, 0xA0A0E0, 0xA0C0E0,
      0xA0E0E0, 0xA0E0C0, 0xA0E0A0, 0xC0E0A0, 0xE0E0A0, 0xE0C0A0, 0xE0A0A0, 0xFF80A0, 0xFF80E0,
      0xE080FF, 0xA080FF, 0x80A0FF, 0x80E0FF, 0x80FFE0, 0x80FFA0, 0xA0FF80, 0xE0FF80, 0xFFE080,
      0xFFA080, 0xC0A0C0, 0xA0A0C0, 0xA0C0C0, 0xA0C0A0, 0xC0C0A0, 0xC0A0A0, 0xE080A0, 0xE080C0,
      0xE080E0, 0xC080E0, 0xA080E0, 0x8080E0, 0x80A0E0, 0x80C0E0, 0x80E0E0, 0x80E0C0, 0x80E0A0,
      0x80E080, 0xA0E080, 0xC0E080, 0xE0E080, 0xE0C080, 0xE0A080, 0xE08080, 0xFF6080, 0xFF60A0,
      0xFF60C0, 0xFF60E0, 0xFF60FF, 0xE060FF, 0xC060FF, 0xA060FF, 0x8060FF, 0x6060FF, 0x6080FF,
      0x60A0FF, 0x60C0FF, 0x60E0FF, 0x60FFFF, 0x60FFE0, 0x60FFC0, 0x60FFA0, 0x60FF80, 0x60FF60,
      0x80FF60, 0xA0FF60, 0xC0FF60, 0xE0FF60, 0xFFFF60, 0xFFE060, 0xFFC060, 0xFFA060, 0xFF8060,
      0xFF6060, 0xC080A0, 0xA080C0, 0x80A0C0, 0x80C0A0, 0xA0C080, 0xC0A080, 0xE06080, 0xE060A0,
      0xE060C0};
  for (uint32_t H : Tail)
    P.push_back(RGBFromHex(H));
  return P;
}

const std::vector<TRGB>& StandardPalette(TPaletteIdent Kind) {
  static const std::array<std::vector<TRGB>, 15> Tables = [] {
    std::array<std::vector<TRGB>, 15> T;
    T[pBlackWhite] = {Grey(0), Grey(255)};
    T[pSysGray4] = {Grey(0), Grey(128), Grey(192), Grey(255)};
    T[pSys16].assign(Sys16Colors().begin(), Sys16Colors().end());
    for (int I = 0; I < 4; ++I)
      T[pGray4].push_back(Grey(I * 255 / 3));
    for (int I = 0; I < 16; ++I)
      T[pGray16].push_back(Grey(I * 255 / 15));
    for (int I = 0; I < 236; ++I)
      T[pGray236].push_back(Grey(Gray236Level(I)));
    for (int I = 0; I < 256; ++I)
      T[pGray256].push_back(Grey(I));
    for (int R = 0; R < 5; ++R)
      for (int G = 0; G < 5; ++G)
        for (int B = 0; B < 5; ++B)
          T[pSpecial125].push_back(RGBOf((R * 255 + 3) / 4, (G * 255 + 3) / 4, (B * 255 + 3) / 4));
    for (int R = 0; R < 6; ++R)
      for (int G = 0; G < 6; ++G)
        for (int B = 0; B < 6; ++B)
          T[pSpecial216].push_back(RGBOf((R * 255 + 4) / 5, (G * 255 + 4) / 5, (B * 255 + 4) / 5));
    T[pSpecial252] = BuildSpecial252();
    return T;
  }();
  static const std::vector<TRGB> None;
  return (Kind >= 0 && Kind < 15) ? Tables[Kind] : None;
}

int BitCountToNum(int BitCount) {
  switch (BitCount) {
  case 1:
    return 0;
  case 4:
    return 1;
  case 8:
    return 2;
  case 24:
    return 3;
  }
  throw EPGInvalidBitCountNum(EngineMessage(msgInvalidValueFor, "BitCountNum"));
}

int SquaredDistance(TRGB A, TRGB B) {
  int DR = int(RedOf(A)) - int(RedOf(B));
  int DG = int(GreenOf(A)) - int(GreenOf(B));
  int DB = int(BlueOf(A)) - int(BlueOf(B));
  return DR * DR + DG * DG + DB * DB;
}

const uint8_t* Sys16Candidates(int Cell) {
  static const uint8_t T[64][3] = {
      {0, 0, 0},    {4, 4, 4},   {4, 4, 4},   {12, 12, 12}, {2, 2, 2},   {6, 6, 6},
      {6, 6, 6},    {6, 12, 12}, {2, 2, 2},   {6, 6, 6},    {6, 6, 6},   {6, 14, 14},
      {10, 10, 10}, {6, 10, 10}, {6, 14, 14}, {14, 14, 14}, {1, 1, 1},   {5, 5, 5},
      {5, 5, 5},    {5, 12, 12}, {3, 3, 3},   {8, 8, 8},    {8, 8, 8},   {8, 12, 12},
      {3, 3, 3},    {8, 8, 8},   {8, 8, 8},   {7, 8, 14},   {3, 10, 10}, {8, 10, 10},
      {7, 8, 14},   {7, 14, 14}, {1, 1, 1},   {5, 5, 5},    {5, 5, 5},   {5, 13, 13},
      {3, 3, 3},    {8, 8, 8},   {8, 8, 8},   {7, 8, 13},   {3, 3, 3},   {8, 8, 8},
      {7, 8, 8},    {7, 7, 7},   {3, 11, 11}, {7, 8, 11},   {7, 7, 7},   {7, 7, 7},
      {9, 9, 9},    {5, 9, 9},   {5, 13, 13}, {13, 13, 13}, {3, 9, 9},   {8, 9, 9},
      {7, 8, 13},   {7, 13, 13}, {3, 11, 11}, {7, 8, 11},   {7, 7, 7},   {7, 7, 7},
      {11, 11, 11}, {7, 11, 11}, {7, 7, 7},   {7, 15, 15}};
  return T[Cell];
}

const std::array<uint8_t, 766>& Gray236Table() {
  static const std::array<uint8_t, 766> T = [] {
    std::array<uint8_t, 766> A{};
    for (int L = 0; L < 766; ++L) {
      int Best = 0, BestD = 1 << 30;
      for (int I = 0; I < 236; ++I) {
        int D = std::abs(3 * Gray236Level(I) - L);
        if (D < BestD) {
          BestD = D;
          Best = I;
        }
      }
      A[L] = static_cast<uint8_t>(Best);
    }
    return A;
  }();
  return T;
}

// Candidate lists of the 252-colour table for each cell of a 32 x 32 x 32 grid (8 levels per
// channel), in index order: an entry whose smallest distance to the cell exceeds the smallest
// largest distance of any entry can never be the nearest. Every list holds the nearest entry of
// every colour of its cell and all entries tied with it, so the first best candidate in list
// order is the lowest-index nearest entry: the same answer as any coarser candidate grid.
const std::vector<uint8_t>& Special252Candidates(TRGB C) {
  static const std::vector<std::vector<uint8_t>> Lists = [] {
    const auto& Pal = StandardPalette(pSpecial252);
    std::vector<std::vector<uint8_t>> L(32768);
    std::vector<int> MinD(Pal.size());
    for (int Cell = 0; Cell < 32768; ++Cell) {
      int Lo[3] = {(Cell >> 10) * 8, ((Cell >> 5) & 31) * 8, (Cell & 31) * 8};
      int Bound = 1 << 30;
      for (size_t E = 0; E < Pal.size(); ++E) {
        int V[3] = {int(RedOf(Pal[E])), int(GreenOf(Pal[E])), int(BlueOf(Pal[E]))};
        int Mn = 0, Mx = 0;
        for (int K = 0; K < 3; ++K) {
          int Near = std::clamp(V[K], Lo[K], Lo[K] + 7) - V[K];
          int Far = std::max(std::abs(V[K] - Lo[K]), std::abs(V[K] - Lo[K] - 7));
          Mn += Near * Near;
          Mx += Far * Far;
        }
        MinD[E] = Mn;
        Bound = std::min(Bound, Mx);
      }
      for (size_t E = 0; E < Pal.size(); ++E)
        if (MinD[E] <= Bound) L[size_t(Cell)].push_back(static_cast<uint8_t>(E));
    }
    return L;
  }();
  return Lists[size_t((RedOf(C) >> 3) << 10 | (GreenOf(C) >> 3) << 5 | (BlueOf(C) >> 3))];
}

} // namespace orbisk
