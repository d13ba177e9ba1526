#include "engine/orientation.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace orbisk {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;

struct TReader {
  const uint8_t* Data;
  size_t Size;
  bool Motorola;
  bool Word(size_t Pos, uint16_t& V) const {
    if (Pos > Size || Size - Pos < 2) return false;
    V = Motorola ? uint16_t(Data[Pos] << 8 | Data[Pos + 1])
                 : uint16_t(Data[Pos] | Data[Pos + 1] << 8);
    return true;
  }
  bool Long(size_t Pos, uint32_t& V) const {
    if (Pos > Size || Size - Pos < 4) return false;
    const uint8_t* P = Data + Pos;
    V = Motorola ? uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3]
                 : uint32_t(P[3]) << 24 | uint32_t(P[2]) << 16 | uint32_t(P[1]) << 8 | P[0];
    return true;
  }
};

// The source pixel of upright pixel (X, Y) for a stored picture of W x H.
void SourceOf(int Orientation, int W, int H, int X, int Y, int& SX, int& SY) {
  switch (Orientation) {
  case 2:
    SX = W - 1 - X, SY = Y;
    break;
  case 3:
    SX = W - 1 - X, SY = H - 1 - Y;
    break;
  case 4:
    SX = X, SY = H - 1 - Y;
    break;
  case 5:
    SX = Y, SY = X;
    break;
  case 6:
    SX = Y, SY = H - 1 - X;
    break;
  case 7:
    SX = W - 1 - Y, SY = H - 1 - X;
    break;
  case 8:
    SX = W - 1 - Y, SY = X;
    break;
  default:
    SX = X, SY = Y;
  }
}

bool Swaps(int Orientation) {
  return Orientation >= 5 && Orientation <= 8;
}

// Byte-sized pixels (8 and 24 bits): rows of the result filled straight from the source rows.
template <int BPP> void RemapBytes(TPixelGraphic& Dest, const TPixelGraphic& Source, int O) {
  const int W = Source.Width(), H = Source.Height();
  const int DW = Dest.Width(), DH = Dest.Height();
  if (!Swaps(O)) {
    for (int Y = 0; Y < DH; ++Y) {
      uint8_t* D = Dest.ScanLine(Y);
      const uint8_t* S = Source.ScanLine((O == 3 || O == 4) ? H - 1 - Y : Y);
      if (O == 4) {
        std::memcpy(D, S, size_t(BPP) * size_t(W));
      } else {
        for (int X = 0; X < DW; ++X)
          std::memcpy(D + int64_t(BPP) * X, S + int64_t(BPP) * (W - 1 - X), BPP);
      }
    }
    return;
  }
  // A result row is a source column: done in square tiles, so that the source rows a tile reads
  // stay in the cache while the tile is written.
  std::vector<const uint8_t*> Rows(static_cast<size_t>(H));
  for (int Y = 0; Y < H; ++Y)
    Rows[size_t(Y)] = Source.ScanLine(Y);
  const bool Down = O == 5 || O == 8; // result X grows with source Y
  constexpr int Tile = 64;
  for (int Y0 = 0; Y0 < DH; Y0 += Tile) {
    const int Y1 = std::min(DH, Y0 + Tile);
    for (int X0 = 0; X0 < DW; X0 += Tile) {
      const int X1 = std::min(DW, X0 + Tile);
      for (int Y = Y0; Y < Y1; ++Y) {
        uint8_t* D = Dest.ScanLine(Y) + int64_t(BPP) * X0;
        const int64_t SX = int64_t(BPP) * ((O == 5 || O == 6) ? Y : W - 1 - Y);
        for (int X = X0; X < X1; ++X, D += BPP)
          std::memcpy(D, Rows[size_t(Down ? X : H - 1 - X)] + SX, BPP);
      }
    }
  }
}

void RemapValues(TPixelGraphic& Dest, const TPixelGraphic& Source, int O) {
  const int W = Source.Width(), H = Source.Height();
  for (int Y = 0; Y < Dest.Height(); ++Y)
    for (int X = 0; X < Dest.Width(); ++X) {
      int SX, SY;
      SourceOf(O, W, H, X, Y, SX, SY);
      Dest.SetPixelValue(X, Y, Source.GetPixelValue(SX, SY));
    }
}

// Finds the first Orientation entry of IFD0 holding one Short or Long value: its byte offset
// within the block (prefix skipped), its type and value. False when there is none or the
// block is not sound up to it.
bool FindOrientation(const uint8_t*& Data, size_t& Size, bool& Motorola, size_t& Entry,
                     uint16_t& Type, uint32_t& Value) {
  if (!Data) return false;
  if (Size >= 6 && std::memcmp(Data, "Exif\0\0", 6) == 0) {
    Data += 6;
    Size -= 6;
  }
  if (Size < 8) return false;
  TReader R{Data, Size, false};
  if (Data[0] == 'M' && Data[1] == 'M')
    R.Motorola = true;
  else if (Data[0] != 'I' || Data[1] != 'I')
    return false;
  Motorola = R.Motorola;
  uint16_t Magic = 0;
  uint32_t IFD = 0;
  if (!R.Word(2, Magic) || Magic != 42 || !R.Long(4, IFD) || IFD < 8) return false;
  uint16_t Count = 0;
  if (!R.Word(IFD, Count)) return false;
  for (uint32_t I = 0; I < Count; ++I) {
    const size_t E = size_t(IFD) + 2 + size_t(I) * 12;
    uint16_t Tag = 0;
    uint32_t N = 0;
    if (!R.Word(E, Tag) || !R.Word(E + 2, Type) || !R.Long(E + 4, N)) return false;
    if (Tag != kOrientationTag) continue;
    if (N != 1) return false;
    if (Type == kTypeShort) {
      uint16_t S = 0;
      if (!R.Word(E + 8, S)) return false;
      Value = S;
    } else if (Type == kTypeLong) {
      if (!R.Long(E + 8, Value)) return false;
    } else {
      return false;
    }
    Entry = E;
    return true;
  }
  return false;
}

} // namespace

int OrientationFromExif(const uint8_t* Data, size_t Size) {
  bool Motorola = false;
  size_t Entry = 0;
  uint16_t Type = 0;
  uint32_t V = 0;
  if (!FindOrientation(Data, Size, Motorola, Entry, Type, V)) return 1;
  return V >= 1 && V <= 8 ? int(V) : 1;
}

bool ResetExifOrientation(uint8_t* Data, size_t Size) {
  const uint8_t* Block = Data;
  bool Motorola = false;
  size_t Entry = 0;
  uint16_t Type = 0;
  uint32_t V = 0;
  if (!FindOrientation(Block, Size, Motorola, Entry, Type, V)) return false;
  uint8_t* P = Data + (Block - Data) + Entry + 8;
  const int Bytes = Type == kTypeShort ? 2 : 4;
  for (int I = 0; I < Bytes; ++I)
    P[I] = uint8_t((Motorola ? I == Bytes - 1 : I == 0) ? 1 : 0);
  return true;
}

void ApplyOrientation(TPixelGraphic& G, int Orientation) {
  if (!ValidOrientation(Orientation) || Orientation == 1 || G.Empty()) {
    G.ExifOrientation = 1;
    return;
  }
  TPixelGraphic Source;
  Source.Assign(&G);
  {
    TUpdateScope Update(G);
    const int W = Source.Width(), H = Source.Height();
    if (Swaps(Orientation)) G.SetSize(H, W, Source.BitCountNum());
    switch (G.BitCountNum()) {
    case 3:
      RemapBytes<3>(G, Source, Orientation);
      break;
    case 2:
      RemapBytes<1>(G, Source, Orientation);
      break;
    default:
      RemapValues(G, Source, Orientation);
    }
    G.Changed();
  }
  G.ExifOrientation = 1;
}

int ComposeOrientation(int First, int Then) {
  if (!ValidOrientation(First)) First = 1;
  if (!ValidOrientation(Then)) Then = 1;
  // Compared on an asymmetric 3 x 2 picture: every orientation maps its corners differently.
  const int W = 3, H = 2;
  const int TW = Swaps(First) ? H : W, TH = Swaps(First) ? W : H; // after First
  const int RW = Swaps(Then) ? TH : TW, RH = Swaps(Then) ? TW : TH;
  for (int C = 1; C <= 8; ++C) {
    bool Same = true;
    for (int Y = 0; Y < RH && Same; ++Y)
      for (int X = 0; X < RW && Same; ++X) {
        int MX, MY, SX, SY, CX, CY;
        SourceOf(Then, TW, TH, X, Y, MX, MY);
        SourceOf(First, W, H, MX, MY, SX, SY);
        if (Swaps(C) != (Swaps(First) != Swaps(Then))) {
          Same = false;
          break;
        }
        SourceOf(C, W, H, X, Y, CX, CY);
        Same = CX == SX && CY == SY;
      }
    if (Same) return C;
  }
  return 1; // not reached: the eight form a group
}

int InverseOrientation(int Orientation) {
  for (int C = 1; C <= 8; ++C)
    if (ComposeOrientation(Orientation, C) == 1) return C;
  return 1;
}

} // namespace orbisk
