#include "platform/packedbitmap.h"

#include <cstring>

namespace orbisk {

namespace {

uint32_t GetLE32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}
uint16_t GetLE16(const uint8_t* P) {
  return uint16_t(P[0] | P[1] << 8);
}
void PutLE32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I)
    P[I] = uint8_t(V >> (8 * I));
}

constexpr uint32_t kBI_RGB = 0, kBI_BITFIELDS = 3;

} // namespace

int PackedBitmapToBMP(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Out) {
  Out.clear();
  if (!Data || Size < 40) return kNativeUnusable;
  const uint32_t HeaderSize = GetLE32(Data);
  if (HeaderSize < 40 || HeaderSize > Size) return kNativeUnusable;
  const int64_t Width = int32_t(GetLE32(Data + 4));
  const int64_t Height = int32_t(GetLE32(Data + 8));
  const uint16_t BitCount = GetLE16(Data + 14);
  const uint32_t Compression = GetLE32(Data + 16);
  uint32_t ImageSize = GetLE32(Data + 20);
  const uint32_t Used = GetLE32(Data + 32);
  int64_t Colours = Used;
  if (Used == 0 && BitCount <= 8) Colours = int64_t(1) << BitCount;
  // A 40-byte header with bit-field compression carries its three masks after it.
  int64_t Masks = HeaderSize == 40 && Compression == kBI_BITFIELDS ? 12 : 0;
  if (Colours > 65536) return kNativeUnusable;
  const int64_t Table = 4 * Colours + Masks;
  if (Compression == kBI_RGB) {
    if (Width <= 0 || BitCount == 0 || BitCount > 32) return kNativeUnusable;
    const int64_t Rows = Height < 0 ? -Height : Height; // top-down bitmaps have a negative height
    const int64_t Row = ((int64_t(BitCount) * Width + 31) / 32) * 4;
    if (Rows > 0 && Row > int64_t(UINT32_MAX) / Rows) return kNativeUnusable; // no overflow
    ImageSize = uint32_t(Rows * Row);
  } else if (ImageSize == 0) {
    return kNativeWriteFailed;
  }
  const int64_t Packed = int64_t(HeaderSize) + Table + ImageSize;
  if (Packed > int64_t(Size)) return kNativeUnusable;
  const int64_t FileSize = 14 + Packed;
  if (FileSize > UINT32_MAX) return kNativeUnusable;
  Out.resize(size_t(FileSize));
  uint8_t* F = Out.data();
  F[0] = 'B';
  F[1] = 'M';
  PutLE32(F + 2, uint32_t(FileSize));
  PutLE32(F + 10, uint32_t(14 + HeaderSize + Table));
  std::memcpy(F + 14, Data, size_t(Packed));
  PutLE32(F + 14 + 20, ImageSize);
  return kNativeWritten;
}

} // namespace orbisk
