#include "processing/gifwriter.h"

#include "engine/messages.h"
#include "engine/safefile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace orbisk {

const char* const GIFCommentText = "Written by Orbisk";

const char* GIFErrorText(int Code) {
  switch (Code) {
  case gifOK:
    return "no error";
  case gifEncodingFailed:
    return "out of memory while compressing";
  case gifTooManyColors:
    return "the picture has more than 256 colours";
  case gifIndexingFailed:
    return "out of memory while indexing the colours";
  case gifEmptyPicture:
    return "the picture is empty";
  case gifTooLarge:
    return "the picture is wider or higher than 65535 pixels";
  case gifWriteFailed:
    return "the file could not be written";
  default:
    return "unknown error";
  }
}

namespace {

constexpr int kMaxBits = 12;
constexpr int kMaxCodes = 1 << kMaxBits; // 4096
constexpr int kHashSize = 5119;          // prime, so a probe sequence visits every slot

// Appends the LZW data of Count indices (each below 2^MinCodeSize) to Out as sub-blocks of at
// most 255 bytes and the block terminator. Codes are packed least significant bit first.
//
// The string table: key k * 4096 + prefix in a hash of 5119 slots, probed backwards with a
// fixed displacement. A slot whose key is not above 0 ends a probe, so the one string with key
// 0 can be displaced; it is then simply entered again under a new code, which every decoder
// accepts. All state lives in locals so the hot loop keeps it in registers.
void LZWEncode(const uint8_t* In, size_t Count, int MinCodeSize, std::vector<uint8_t>& Out) {
  const int InitBits = MinCodeSize + 1, Clear = 1 << MinCodeSize, End = Clear + 1,
            First = Clear + 2;
  std::vector<int32_t> KeyTable(kHashSize + 1);
  std::vector<uint16_t> CodeTable(kHashSize + 1);
  int32_t* const Keys = KeyTable.data();
  uint16_t* const Codes = CodeTable.data();
  int Bits = InitBits, Free = First;
  uint64_t Acc = 0;
  int AccBits = 0;
  uint8_t Block[256];
  int BlockLen = 0;

  auto Put = [&](int Code) {
    Acc |= uint64_t(Code) << AccBits;
    AccBits += Bits;
    while (AccBits >= 8) {
      Block[BlockLen++] = uint8_t(Acc);
      Acc >>= 8;
      AccBits -= 8;
      if (BlockLen == 255) {
        Out.push_back(255);
        Out.insert(Out.end(), Block, Block + 255);
        BlockLen = 0;
      }
    }
  };
  // After each code (but not after a clear) the width grows once the next free code no
  // longer fits, up to 12 bits.
  auto Grow = [&] {
    if (Free > (1 << Bits) - 1 && Bits < kMaxBits) ++Bits;
  };
  auto Reset = [&] {
    std::fill(Keys, Keys + kHashSize + 1, -1);
    Free = First;
    Bits = InitBits;
  };

  Reset();
  Put(Clear);
  if (Count > 0) {
    int Ent = In[0];
    for (size_t I = 1; I < Count; ++I) {
      const int K = In[I];
      const int32_t Key = (int32_t(K) << kMaxBits) + Ent;
      int Slot = (K << 4) ^ Ent;
      if (Keys[Slot] == Key) {
        Ent = Codes[Slot];
        continue;
      }
      if (Keys[Slot] >= 0) {
        const int Disp = Slot == 0 ? 1 : kHashSize - Slot;
        bool Found = false;
        for (;;) {
          Slot -= Disp;
          if (Slot < 0) Slot += kHashSize;
          if (Keys[Slot] == Key) {
            Found = true;
            break;
          }
          if (Keys[Slot] <= 0) break;
        }
        if (Found) {
          Ent = Codes[Slot];
          continue;
        }
      }
      Put(Ent);
      Grow();
      if (Free == kMaxCodes) {
        // The clear code still goes out at the full width; the table starts over after it.
        Put(Clear);
        Reset();
      } else {
        Codes[Slot] = uint16_t(Free++);
        Keys[Slot] = Key;
      }
      Ent = K;
    }
    Put(Ent);
    Grow();
  }
  Put(End);
  if (AccBits > 0) {
    Bits = 8;
    Put(0); // flushes the last partial byte
  }
  if (BlockLen > 0) {
    Out.push_back(uint8_t(BlockLen));
    Out.insert(Out.end(), Block, Block + BlockLen);
  }
  Out.push_back(0);
}

// Rows in the order they are stored: top to bottom, or the four interlace passes.
std::vector<int> RowOrder(int Height, bool Interlaced) {
  std::vector<int> Rows;
  Rows.reserve(size_t(Height));
  if (!Interlaced) {
    for (int Y = 0; Y < Height; ++Y)
      Rows.push_back(Y);
    return Rows;
  }
  static constexpr int Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
  for (int P = 0; P < 4; ++P)
    for (int Y = Start[P]; Y < Height; Y += Step[P])
      Rows.push_back(Y);
  return Rows;
}

// Colours in first-seen order with a small open-addressing hash for the lookups.
class TColorTable {
public:
  TColorTable() { FKeys.fill(kEmpty); }
  // Index of C (a 24-bit colour), appending it when new; -1 for a 257th colour.
  int IndexOf(uint32_t C) {
    uint32_t H = (C * 2654435761u) >> (32 - kHashBits);
    while (FKeys[H] != kEmpty) {
      if (FKeys[H] == C) return FIndex[H];
      H = (H + 1) & (kHashSlots - 1);
    }
    if (FColors.size() == 256) return -1;
    const int I = int(FColors.size());
    FColors.push_back(C);
    FKeys[H] = C;
    FIndex[H] = uint8_t(I);
    return I;
  }
  const std::vector<uint32_t>& Colors() const { return FColors; }

private:
  static constexpr int kHashBits = 10;
  static constexpr uint32_t kHashSlots = 1u << kHashBits;
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu; // above every 24-bit colour
  std::array<uint32_t, kHashSlots> FKeys;
  std::array<uint8_t, kHashSlots> FIndex{};
  std::vector<uint32_t> FColors;
};

// Picture rows to GIF colour indices in visiting order. Returns false for a 257th colour.
bool IndexPixels(const TPixelGraphic& G, const std::vector<int>& Rows, TColorTable& Table,
                 std::vector<uint8_t>& Indices) {
  const int W = G.Width();
  const size_t N = size_t(W) * size_t(G.Height());
  Indices.resize(N);
  uint8_t* Out = Indices.data();
  if (G.BitCountNum() == 3) {
    uint32_t Last = 0xFFFFFFFFu;
    int LastIndex = 0;
    for (int Y : Rows) {
      const uint8_t* P = G.ScanLine(Y);
      for (int X = 0; X < W; ++X, P += 3) {
        const uint32_t C = RGBOf(P[2], P[1], P[0]);
        if (C != Last) {
          LastIndex = Table.IndexOf(C);
          if (LastIndex < 0) return false;
          Last = C;
        }
        *Out++ = uint8_t(LastIndex);
      }
    }
    return true;
  }
  // Palette pictures: colours as the stored colour table has them (slots past the palette
  // hold entry 0, black when the palette is empty); equal colours share one GIF index.
  const auto& Pal = G.Palette();
  const uint32_t Fill = Pal.empty() ? 0 : (Pal[0] & 0xFFFFFF);
  std::array<int, 256> Map;
  Map.fill(-1);
  const int Bits = G.BitCount();
  for (int Y : Rows) {
    const uint8_t* Row = G.ScanLine(Y);
    for (int X = 0; X < W; ++X) {
      unsigned V;
      if (Bits == 8)
        V = Row[X];
      else if (Bits == 4)
        V = (X & 1) ? (Row[X >> 1] & 0x0F) : (Row[X >> 1] >> 4);
      else
        V = (Row[X >> 3] >> (7 - (X & 7))) & 1;
      int I = Map[V];
      if (I < 0) {
        I = Table.IndexOf(V < Pal.size() ? (Pal[V] & 0xFFFFFF) : Fill);
        if (I < 0) return false;
        Map[V] = I;
      }
      *Out++ = uint8_t(I);
    }
  }
  return true;
}

void PutU16(std::vector<uint8_t>& Out, int V) {
  Out.push_back(uint8_t(V & 0xFF));
  Out.push_back(uint8_t((V >> 8) & 0xFF));
}

int Encode(const TPixelGraphic& Picture, bool Interlaced, TRGB TransparentColor, bool Transparent,
           std::vector<uint8_t>& Out) {
  const int W = Picture.Width(), H = Picture.Height();
  if (Picture.Empty() || W <= 0 || H <= 0) return gifEmptyPicture;
  if (W > 0xFFFF || H > 0xFFFF) return gifTooLarge;

  TColorTable Table;
  std::vector<uint8_t> Indices;
  try {
    if (!IndexPixels(Picture, RowOrder(H, Interlaced), Table, Indices)) return gifTooManyColors;
  } catch (const std::bad_alloc&) {
    return gifIndexingFailed;
  }
  const auto& Colors = Table.Colors();
  int TransIndex = -1;
  if (Transparent) {
    const uint32_t T = TransparentColor & 0xFFFFFF;
    for (size_t I = 0; I < Colors.size(); ++I)
      if (Colors[I] == T) {
        // 255 also stands for "no transparent colour".
        if (I != 255) TransIndex = int(I);
        break;
      }
  }
  int Bits = 1;
  while ((size_t(1) << Bits) < Colors.size())
    ++Bits;

  try {
    Out.clear();
    Out.reserve(Indices.size() / 2 + 1024);
    static constexpr char Sig[] = "GIF89a";
    Out.insert(Out.end(), Sig, Sig + 6);
    PutU16(Out, W);
    PutU16(Out, H);
    Out.push_back(uint8_t(0x80 + (Bits - 1)));
    Out.push_back(0); // background colour index
    Out.push_back(0); // pixel aspect ratio
    for (int I = 0; I < (1 << Bits); ++I) {
      const uint32_t C = size_t(I) < Colors.size() ? Colors[size_t(I)] : 0;
      Out.push_back(uint8_t(RedOf(C)));
      Out.push_back(uint8_t(GreenOf(C)));
      Out.push_back(uint8_t(BlueOf(C)));
    }
    // Graphic control extension.
    const uint8_t Gce[] = {0x21,
                           0xF9,
                           4,
                           uint8_t(TransIndex >= 0 ? 1 : 0),
                           0,
                           0,
                           uint8_t(TransIndex >= 0 ? TransIndex : 0),
                           0};
    Out.insert(Out.end(), Gce, Gce + sizeof Gce);
    // Image descriptor.
    Out.push_back(0x2C);
    PutU16(Out, 0);
    PutU16(Out, 0);
    PutU16(Out, W);
    PutU16(Out, H);
    Out.push_back(Interlaced ? 0x40 : 0);
    const int MinCodeSize = Bits < 2 ? 2 : Bits;
    Out.push_back(uint8_t(MinCodeSize));
    LZWEncode(Indices.data(), Indices.size(), MinCodeSize, Out);
    // Comment extension, then the trailer.
    Out.push_back(0x21);
    Out.push_back(0xFE);
    const size_t Len = std::strlen(GIFCommentText);
    for (size_t P = 0; P < Len; P += 255) {
      const size_t N = Len - P < 255 ? Len - P : 255;
      Out.push_back(uint8_t(N));
      Out.insert(Out.end(), GIFCommentText + P, GIFCommentText + P + N);
    }
    Out.push_back(0);
    Out.push_back(0x3B);
  } catch (const std::bad_alloc&) {
    Out.clear();
    return gifEncodingFailed;
  }
  return gifOK;
}

} // namespace

int EncodeGIF(const TPixelGraphic& Picture, bool Interlaced, TRGB TransparentColor,
              bool Transparent, std::vector<uint8_t>& Out) {
  std::vector<uint8_t> Data;
  const int Code = Encode(Picture, Interlaced, TransparentColor, Transparent, Data);
  if (Code == gifOK) Out = std::move(Data);
  return Code;
}

bool WriteGIF(const std::string& FileName, const TPixelGraphic& Picture, bool Interlaced,
              TRGB TransparentColor, bool Transparent, int* ErrorCode, std::string* WriteError) {
  std::vector<uint8_t> Data;
  int Code = Encode(Picture, Interlaced, TransparentColor, Transparent, Data);
  if (Code == gifOK) {
    try {
      WriteFileSafely(FileName, Data.data(), Data.size());
    } catch (const EPGStreamError& E) {
      Code = gifWriteFailed;
      if (WriteError) *WriteError = E.what();
    }
  }
  if (ErrorCode) *ErrorCode = Code;
  return Code == gifOK;
}

} // namespace orbisk
