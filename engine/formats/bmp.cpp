// BMP, DIB and RLE files: the decoding core shared with packed bitmaps and streaming, the three
// readers and the uncompressed writer.
#include "engine/formats/bmp.h"

#include "engine/formats/formats.h"
#include "engine/stream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace orbisk {
namespace {

constexpr uint32_t kCompRGB = 0, kCompRLE8 = 1, kCompRLE4 = 2, kCompBitFields = 3;
// Windows headers: 4 = JPEG, 5 = PNG (refused); OS/2 2.x headers: 4 = 24-bit RLE.
constexpr uint32_t kCompOS2RLE24 = 4, kCompAlphaBitFields = 6;

constexpr int kFileHeaderSize = 14;
constexpr int kCoreHeaderSize = 12;
constexpr int kInfoHeaderSize = 40;
constexpr int kOS2v2HeaderSize = 64;

// Info header sizes read as such: the plain header, its successors with masks and colour-space
// data (52, 56, 108, 124) and the OS/2 2.x header (64), whose first 40 bytes match it.
bool IsInfoHeaderSize(uint32_t Size) {
  return Size == 40 || Size == 52 || Size == 56 || Size == 64 || Size == 108 || Size == 124;
}

[[noreturn]] void Fail(const std::string& Msg) {
  throw EPGBMPFileFormatReader("BMP: " + Msg);
}
[[noreturn]] void FailInvalid(const char* What) {
  Fail(EngineMessage(msgInvalid, What));
}
[[noreturn]] void FailHeaderSize() {
  Fail(EngineMessage(msgInvalidSizeOf, "BitmapInfoHeader/BitmapCoreHeader"));
}
[[noreturn]] void FailTooLarge() {
  throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));
}

uint16_t U16(const uint8_t* P) {
  return uint16_t(P[0] | (P[1] << 8));
}
uint32_t U32(const uint8_t* P) {
  return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}
int32_t I32(const uint8_t* P) {
  return static_cast<int32_t>(U32(P));
}
void PutU16(uint8_t* P, uint16_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
}
void PutU32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I)
    P[I] = uint8_t(V >> (8 * I));
}

// Header bytes must all be there.
void ReadHeaderBytes(TPGStream& Stream, void* Buffer, size_t Count) {
  if (Stream.Read(Buffer, Count) != Count) Fail(EngineMessage(msgUnexpectedEOF));
}

// Reads as much as there is; the rest of the buffer is left as it was.
size_t ReadSome(TPGStream& Stream, uint8_t* Buffer, size_t Count) {
  size_t Done = 0;
  while (Done < Count) {
    size_t N = Stream.Read(Buffer + Done, Count - Done);
    if (N == 0) break;
    Done += N;
  }
  return Done;
}

int64_t Remaining(TPGStream& Stream) {
  return std::max<int64_t>(0, Stream.Remaining());
}

void SkipBytes(TPGStream& Stream, int64_t N) {
  if (N <= 0) return;
  Stream.Seek(std::min(N, Remaining(Stream)), TSeekOrigin::soCurrent);
}

// Data shorter than the header promises: the image's warning action decides whether the
// decodable part is kept (missing pixels stay zero) or the reading fails.
void WarnTruncated(TPixelGraphic& Image) {
  const std::string Text = EngineMessage(msgUnexpectedEOF);
  ApplyReadWarning(Image, EngineMessage(msgWarning), "BMP: " + Text, Text, Fail);
}

// Everything the decoder needs from either header kind.
struct TDIBHeader {
  uint32_t Size = 0;
  bool Core = false;
  bool OS2 = false;
  int32_t Width = 0;
  int64_t Height = 0; // as stored (negative: top-down)
  int Planes = 0;
  int BitCount = 0;
  uint32_t Compression = kCompRGB;
  uint32_t SizeImage = 0;
  uint32_t ClrUsed = 0;
  bool HeaderMasks = false; // masks are part of the header (sizes 52 and up)
  uint32_t Masks[3] = {0, 0, 0};
};

TDIBHeader ParseCoreHeader(const uint8_t* B) {
  TDIBHeader H;
  H.Size = kCoreHeaderSize;
  H.Core = true;
  H.Width = U16(B + 4);
  H.Height = U16(B + 6);
  H.Planes = U16(B + 8);
  H.BitCount = U16(B + 10);
  return H;
}

TDIBHeader ParseInfoHeader(const uint8_t* B, uint32_t Size) {
  TDIBHeader H;
  H.Size = Size;
  H.OS2 = Size == kOS2v2HeaderSize;
  H.Width = I32(B + 4);
  H.Height = I32(B + 8);
  H.Planes = U16(B + 12);
  H.BitCount = U16(B + 14);
  H.Compression = U32(B + 16);
  H.SizeImage = U32(B + 20);
  H.ClrUsed = U32(B + 32);
  if (Size >= 52 && !H.OS2) {
    H.HeaderMasks = true;
    for (int I = 0; I < 3; ++I)
      H.Masks[I] = U32(B + 40 + 4 * I);
  }
  return H;
}

void CheckCoreHeader(const TDIBHeader& H) {
  if (H.Planes != 1) FailInvalid("BitmapCoreHeader.bcPlanes");
  if (H.BitCount != 1 && H.BitCount != 4 && H.BitCount != 8 && H.BitCount != 24)
    FailInvalid("BitmapCoreHeader.bcBitCount");
}

void CheckInfoHeader(const TDIBHeader& H) {
  if (H.Planes != 1) FailInvalid("BitmapInfoHeader.biPlanes");
  const int B = H.BitCount;
  if (B != 1 && B != 4 && B != 8 && B != 16 && B != 24 && B != 32)
    FailInvalid("BitmapInfoHeader.biBitCount");
  bool Ok = false;
  switch (H.Compression) {
  case kCompRGB:
    Ok = true;
    break;
  case kCompRLE8:
    Ok = B == 8 && H.Height >= 0;
    break;
  case kCompRLE4:
    Ok = B == 4 && H.Height >= 0;
    break;
  case kCompBitFields:
    Ok = !H.OS2 && (B == 16 || B == 32);
    break;
  case kCompOS2RLE24:
    Ok = H.OS2 && B == 24 && H.Height >= 0;
    break;
  case kCompAlphaBitFields:
    Ok = !H.OS2 && (B == 16 || B == 32);
    break;
  default:
    break;
  }
  if (!Ok) FailInvalid("BitmapInfoHeader.biCompression");
}

// Reads and checks a header of the given kind at the stream's position.
TDIBHeader ReadHeader(TPGStream& Stream, bool CoreHeader) {
  uint8_t B[124];
  if (CoreHeader) {
    ReadHeaderBytes(Stream, B, kCoreHeaderSize);
    TDIBHeader H = ParseCoreHeader(B);
    CheckCoreHeader(H);
    return H;
  }
  ReadHeaderBytes(Stream, B, 4);
  const uint32_t Size = U32(B);
  if (!IsInfoHeaderSize(Size)) FailHeaderSize();
  ReadHeaderBytes(Stream, B + 4, Size - 4);
  TDIBHeader H = ParseInfoHeader(B, Size);
  CheckInfoHeader(H);
  return H;
}

// One channel of a 16- or 32-bit pixel. Masks up to 8 bits wide are scaled so that their full
// value gives 255 (a 5-bit 1 gives 8, as every other reader shows it); wider masks are shifted
// down to their top 8 bits; a zero mask reads as 0.
struct TChannel {
  uint32_t Mask = 0;
  int Down = 0;                     // right shift of the masked value
  std::array<uint8_t, 256> Scale{}; // shifted value -> 0..255
  uint8_t Get(uint32_t P) const { return Mask ? Scale[(P & Mask) >> Down] : 0; }
};

TChannel MakeChannel(uint32_t Mask) {
  TChannel C;
  C.Mask = Mask;
  if (!Mask) return C;
  const int Low = std::countr_zero(Mask);
  const int Width = std::bit_width(Mask >> Low);
  C.Down = Low + std::max(0, Width - 8);
  const unsigned Max = Width >= 8 ? 0 : (Mask >> Low); // 0: identity
  for (unsigned V = 0; V < 256; ++V)
    C.Scale[V] = Max ? uint8_t(std::min(255u, (V * 255 + Max / 2) / Max)) : uint8_t(V);
  return C;
}

// Uncompressed pixels in the stored layout, straight into the buffer in ten slices.
void BulkRead(TPGStream& Stream, TPixelGraphic& Image) {
  uint8_t* Dest = Image.Bits();
  const int64_t N = Image.ImageSize();
  if (!Dest || N <= 0) return;
  if (N < 101) {
    ReadSome(Stream, Dest, size_t(N));
    return;
  }
  const int64_t Slice = N / 10;
  int64_t Done = 0;
  for (int K = 1; K <= 10; ++K) {
    const int64_t Len = K < 10 ? Slice : N - Done;
    const size_t Got = ReadSome(Stream, Dest + Done, size_t(Len));
    Done += Len;
    if (Image.DoProgress(K, 10)) return;
    if (Got < size_t(Len)) return; // the data ended: the rest stays zero
  }
}

// 16- and 32-bit pixels, row by row, into the 24-bit picture.
void ReadMaskedRows(TPGStream& Stream, TPixelGraphic& Image, const TDIBHeader& H,
                    const uint32_t Masks[3]) {
  if (Image.Empty()) return; // a zero height must not size the row buffer by the width
  const int W = Image.Width(), Rows = Image.Height();
  const bool Word = H.BitCount == 16;
  const TChannel R = MakeChannel(Masks[0]), G = MakeChannel(Masks[1]), B = MakeChannel(Masks[2]);
  std::vector<uint8_t> Row(size_t(TPixelGraphic::RowBytesFor(W, H.BitCount)));
  // 16-bit pixels take one table look-up each.
  std::vector<uint32_t> Lut;
  if (Word) {
    Lut.resize(65536);
    for (uint32_t P = 0; P < 65536; ++P)
      Lut[P] = B.Get(P) | (G.Get(P) << 8) | (R.Get(P) << 16);
  }
  for (int Rw = 0; Rw < Rows; ++Rw) {
    const size_t Got = ReadSome(Stream, Row.data(), Row.size());
    std::fill(Row.begin() + Got, Row.end(), 0);
    uint8_t* D = Image.ScanLine(H.Height < 0 ? Rw : Rows - 1 - Rw);
    const uint8_t* S = Row.data();
    if (Word) {
      for (int X = 0; X < W; ++X, S += 2, D += 3) {
        const uint32_t C = Lut[U16(S)];
        D[0] = uint8_t(C);
        D[1] = uint8_t(C >> 8);
        D[2] = uint8_t(C >> 16);
      }
    } else {
      for (int X = 0; X < W; ++X, S += 4, D += 3) {
        const uint32_t P = U32(S);
        D[0] = B.Get(P);
        D[1] = G.Get(P);
        D[2] = R.Get(P);
      }
    }
    if (Image.DoProgress(Rw, Rows)) return;
    if (Got < Row.size()) return;
  }
}

// Forward-only window on the compressed data: byte P of the S bytes is At(P) once Need(P, N)
// has made P .. P + N - 1 available (N is at most a few hundred bytes).
class TRLEData {
public:
  TRLEData(TPGStream& S, int64_t Size) : FStream(S), FBase(S.Position()), FSize(Size) {}
  int64_t Size() const { return FSize; }
  bool Need(int64_t P, int64_t N) {
    if (P + N > FSize) return false;
    const int64_t End = FStart + int64_t(FBuf.size());
    if (P >= FStart && P + N <= End) return true;
    // Keep what is buffered from P on, then fill up to a full window.
    const int64_t Keep = (P >= FStart && P < End) ? End - P : 0;
    if (Keep > 0) std::memmove(FBuf.data(), FBuf.data() + (P - FStart), size_t(Keep));
    const int64_t Total = std::min<int64_t>(std::max<int64_t>(kWindow, N), FSize - P);
    FBuf.resize(size_t(Total));
    FStream.SetPosition(FBase + P + Keep);
    const size_t Got = ReadSome(FStream, FBuf.data() + Keep, size_t(Total - Keep));
    FBuf.resize(size_t(Keep) + Got);
    FStart = P;
    return P + N <= FStart + int64_t(FBuf.size());
  }
  uint8_t At(int64_t P) const { return FBuf[size_t(P - FStart)]; }

private:
  static constexpr int64_t kWindow = 65536;
  TPGStream& FStream;
  int64_t FBase;
  int64_t FSize;
  int64_t FStart = 0;
  std::vector<uint8_t> FBuf;
};

// Run-length data (8-, 4- or 24-bit). Every run is bounded by the data present; pixels outside
// the picture are dropped. Returns false when the data ended before the picture was complete.
bool DecodeRLE(TRLEData& Data, TPixelGraphic& Image, int Bits) {
  const int64_t W = Image.Width(), H = Image.Height();
  const int64_t S = Data.Size();
  int64_t P = 0, X = 0, Y = H - 1;
  uint8_t* Row = H > 0 ? Image.ScanLine(int(Y)) : nullptr;
  auto MoveTo = [&](int64_t NewY) {
    Y = NewY;
    Row = (Y >= 0 && Y < H) ? Image.ScanLine(int(Y)) : nullptr;
  };
  auto Put = [&](int64_t At, uint32_t V) {
    if (!Row || At < 0 || At >= W) return;
    if (Bits == 8) {
      Row[At] = uint8_t(V);
    } else if (Bits == 4) {
      uint8_t& Byte = Row[At / 2];
      Byte = (At & 1) ? uint8_t((Byte & 0xF0) | (V & 0x0F)) : uint8_t((Byte & 0x0F) | (V << 4));
    } else {
      uint8_t* D = Row + 3 * At;
      D[0] = uint8_t(V);
      D[1] = uint8_t(V >> 8);
      D[2] = uint8_t(V >> 16);
    }
  };
  const int64_t Tenth = S >= 10 ? S / 10 : 0;
  while (P < S - 1) {
    if (!Data.Need(P, 2)) return false;
    const unsigned B0 = Data.At(P), B1 = Data.At(P + 1);
    if (B0 > 0) {
      if (Bits == 24) {
        if (!Data.Need(P, 4)) return false;
        const uint32_t C =
            Data.At(P + 1) | (Data.At(P + 2) << 8) | (uint32_t(Data.At(P + 3)) << 16);
        for (unsigned I = 0; I < B0 && X + I < W; ++I)
          Put(X + I, C);
        P += 4;
      } else {
        for (unsigned I = 0; I < B0 && X + I < W; ++I)
          Put(X + I, Bits == 8 ? B1 : ((I & 1) ? (B1 & 0x0F) : (B1 >> 4)));
        P += 2;
      }
      X += B0;
    } else if (B1 == 0) {
      X = 0;
      MoveTo(Y - 1);
      P += 2;
    } else if (B1 == 1) {
      return true;
    } else if (B1 == 2) {
      if (P >= S - 3 || !Data.Need(P, 4)) return false;
      X += Data.At(P + 2);
      MoveTo(Y - Data.At(P + 3));
      P += 4;
    } else {
      const int64_t N = B1;
      const int64_t Bytes = Bits == 8 ? N : Bits == 4 ? (N + 1) / 2 : 3 * N;
      const int64_t Avail = std::min(Bytes, S - (P + 2));
      if (!Data.Need(P, 2 + Avail)) return false;
      for (int64_t K = 0; K < N; ++K) {
        uint32_t V;
        if (Bits == 8) {
          if (K >= Avail) return false;
          V = Data.At(P + 2 + K);
        } else if (Bits == 4) {
          if (K / 2 >= Avail) return false;
          const uint8_t Byte = Data.At(P + 2 + K / 2);
          V = (K & 1) ? (Byte & 0x0F) : (Byte >> 4);
        } else {
          if (3 * K + 3 > Avail) return false;
          const int64_t Q = P + 2 + 3 * K;
          V = Data.At(Q) | (Data.At(Q + 1) << 8) | (uint32_t(Data.At(Q + 2)) << 16);
        }
        Put(X + K, V);
      }
      X += N;
      P += Bytes + 2;
      P += P & 1;
    }
    if (Y < 0) return true; // every row is done
    if (Tenth > 0 && P % Tenth == 0 && Image.DoProgress(int(P / Tenth), 10)) return true;
  }
  return false;
}

// The file header's pixel offset as a stream position when it can be used: past TableEnd (the
// end of the headers and the colour table) and inside the data; otherwise -1, and the pixels
// follow the table directly.
int64_t UsablePixelStart(TPGStream& Stream, int64_t PixelStart, int64_t TableEnd) {
  if (PixelStart < 0 || PixelStart < TableEnd || PixelStart >= Stream.Size()) return -1;
  return PixelStart;
}

void ReadPixelsCore(TPGStream& Stream, TPixelGraphic& Image, const TDIBHeader& H,
                    int64_t PixelStart) {
  const int Code = BitCountToNum(H.BitCount);
  int Entries = H.BitCount <= 8 ? 1 << H.BitCount : 0;
  // A table shorter than 2^bits entries (some writers store only the colours used): the gap up
  // to the pixel offset tells how many entries there are.
  const int64_t TableStart = Stream.Position();
  const int64_t Start = UsablePixelStart(Stream, PixelStart, TableStart);
  if (Start >= 0) Entries = int(std::min<int64_t>(Entries, (Start - TableStart) / 3));
  const int64_t PixelBytes = TPixelGraphic::RowBytesFor(H.Width, H.BitCount) * H.Height;
  const int64_t Avail = Start >= 0 ? Stream.Size() - Start : Remaining(Stream) - Entries * 3;
  if (Avail < PixelBytes || Remaining(Stream) < int64_t(Entries) * 3) WarnTruncated(Image);
  Image.SetSize(H.Width, int(H.Height), Code);
  if (Image.ColorCount() == 0) {
    Image.SetPaletteKind(pTrueColor);
  } else {
    Image.SetPaletteCount(Entries);
    std::vector<uint8_t> Pal(size_t(Entries) * 3, 0);
    ReadSome(Stream, Pal.data(), Pal.size());
    for (int I = 0; I < Entries; ++I)
      Image.SetPaletteEntry(I, RGBOf(Pal[3 * I + 2], Pal[3 * I + 1], Pal[3 * I]));
  }
  if (Start >= 0) Stream.SetPosition(Start);
  BulkRead(Stream, Image);
}

void ReadPixelsInfo(TPGStream& Stream, TPixelGraphic& Image, const TDIBHeader& H,
                    int64_t PixelStart) {
  const int64_t Rows = H.Height < 0 ? -H.Height : H.Height;
  uint32_t Masks[3] = {0, 0, 0};
  int64_t MaskBytes = 0;
  if ((H.Compression == kCompBitFields || H.Compression == kCompAlphaBitFields) && !H.HeaderMasks)
    MaskBytes = H.Compression == kCompAlphaBitFields ? 16 : 12;

  const bool Palette = H.BitCount <= 8;
  const int Capacity = Palette ? (1 << H.BitCount) : 0;
  int64_t Entries = 0, Skip = 0;
  if (Palette) {
    Entries = H.ClrUsed ? int64_t(H.ClrUsed) : Capacity;
    // Entries beyond the capacity are skipped so that the pixels stay where they are.
    if (Entries > Capacity) {
      Skip = (Entries - Capacity) * 4;
      Entries = Capacity;
    }
  } else {
    Skip = int64_t(H.ClrUsed) * 4;
  }
  const bool RLE = H.Compression == kCompRLE8 || H.Compression == kCompRLE4 ||
                   (H.OS2 && H.Compression == kCompOS2RLE24);
  const int64_t PixelBytes = RLE ? 0 : TPixelGraphic::RowBytesFor(H.Width, H.BitCount) * Rows;
  const int64_t Start =
      UsablePixelStart(Stream, PixelStart, Stream.Position() + MaskBytes + Entries * 4 + Skip);
  if (Start >= 0) {
    if (Stream.Size() - Start < PixelBytes) WarnTruncated(Image);
  } else if (Remaining(Stream) < MaskBytes + Entries * 4 + Skip + PixelBytes) {
    WarnTruncated(Image);
  }

  if (MaskBytes) {
    uint8_t M[16] = {};
    ReadSome(Stream, M, size_t(MaskBytes));
    for (int I = 0; I < 3; ++I)
      Masks[I] = U32(M + 4 * I);
  } else if (H.HeaderMasks &&
             (H.Compression == kCompBitFields || H.Compression == kCompAlphaBitFields)) {
    std::copy(H.Masks, H.Masks + 3, Masks);
  } else if (H.BitCount == 16) {
    Masks[0] = 0x7C00, Masks[1] = 0x03E0, Masks[2] = 0x001F;
  } else if (H.BitCount == 32) {
    Masks[0] = 0xFF0000, Masks[1] = 0x00FF00, Masks[2] = 0x0000FF;
  }

  if (!Palette) {
    Image.SetSize(H.Width, int(Rows), 3);
    Image.SetPaletteKind(pTrueColor);
  } else {
    Image.SetSize(H.Width, int(Rows), BitCountToNum(H.BitCount));
    if (Entries == 0) {
      Image.SetPaletteKind(pNone);
    } else {
      Image.SetPaletteCount(int(Entries));
      std::vector<uint8_t> Pal(size_t(Entries) * 4, 0);
      ReadSome(Stream, Pal.data(), Pal.size());
      for (int I = 0; I < int(Entries); ++I)
        Image.SetPaletteEntry(I, RGBOf(Pal[4 * I + 2], Pal[4 * I + 1], Pal[4 * I]));
    }
  }
  SkipBytes(Stream, Skip);
  if (Start >= 0) Stream.SetPosition(Start);

  if (Image.Empty()) return;
  if (RLE) {
    const int64_t Avail = Remaining(Stream);
    const int64_t S = H.SizeImage > 0 ? std::min<int64_t>(H.SizeImage, Avail) : Avail;
    TRLEData Data(Stream, S);
    const int Bits = H.Compression == kCompRLE8 ? 8 : H.Compression == kCompRLE4 ? 4 : 24;
    // Data that ends before the picture is complete (and is not cut short by the header's own
    // size) is a truncated file.
    if (!DecodeRLE(Data, Image, Bits) && S == Avail) WarnTruncated(Image);
    return;
  }
  if (H.BitCount == 16 || H.BitCount == 32) {
    ReadMaskedRows(Stream, Image, H, Masks);
    return;
  }
  BulkRead(Stream, Image);
  if (H.Height < 0) Image.FlipRows();
}

// Sizes are checked before anything is allocated.
void CheckSize(int64_t Width, int64_t Height, int64_t MaxPixelCount) {
  if (Width < 0) return; // SetSize reports it
  if (Height > INT_MAX || Width * Height > MaxPixelCount) FailTooLarge();
}

} // namespace

void ReadDIB(TPGStream& Stream, TPixelGraphic& Image, bool CoreHeader, int64_t PixelStart,
             int64_t MaxPixelCount) {
  WithProgress(Image, [&] {
    const TDIBHeader H = ReadHeader(Stream, CoreHeader);
    const int64_t Rows = H.Height < 0 ? -H.Height : H.Height;
    CheckSize(H.Width, Rows, MaxPixelCount);
    if (H.Core)
      ReadPixelsCore(Stream, Image, H, PixelStart);
    else
      ReadPixelsInfo(Stream, Image, H, PixelStart);
  });
}

namespace {

// Header kind at the stream's position, judged from the header size; the position is kept.
bool PeekCoreHeader(TPGStream& Stream) {
  uint8_t B[4];
  ReadHeaderBytes(Stream, B, 4);
  Stream.Seek(-4, TSeekOrigin::soCurrent);
  const uint32_t Size = U32(B);
  if (Size == kCoreHeaderSize) return true;
  if (IsInfoHeaderSize(Size)) return false;
  FailHeaderSize();
}

// A packed bitmap (no file header) starts with a plausible info header.
bool LooksPacked(const uint8_t* H) {
  const uint32_t Size = U32(H);
  const uint16_t Bits = U16(H + 14);
  return IsInfoHeaderSize(Size) && U16(H + 12) == 1 &&
         (Bits == 1 || Bits == 4 || Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32);
}

const char* ColorsText(int Bits) {
  switch (Bits) {
  case 1:
    return "2";
  case 4:
    return "16";
  case 8:
    return "256";
  case 16:
    return "64K";
  default:
    return "16.7M";
  }
}

class TBMPFileFormatReader : public TFileFormatReader {
public:
  TBMPFileFormatReader(const char* Ext = "bmp") : TFileFormatReader(Ext, "Bitmap") {
    CanSniff = true;
  }
  std::string ClassName() const override { return "TBMPFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override { return Header[0] == 'B' && Header[1] == 'M'; }

  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options) override {
    if (Index != 0) Fail(EngineMessage(msgInvalid, "Index"));
    const int64_t FileStart = Stream.Position();
    const int64_t Offset = SkipFileHeader(Stream);
    ReadDIB(Stream, Image, PeekCoreHeader(Stream), Offset > 0 ? FileStart + Offset : -1,
            Options.MaxPixelCount);
  }

  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options) override {
    TFileFormatReader::GetInfo(Stream, Index, Info, Options);
    if (Index != 0) Fail(EngineMessage(msgInvalidValueFor, "Index"));
    SkipFileHeader(Stream);
    const TDIBHeader H = ReadHeader(Stream, PeekCoreHeader(Stream));
    Info.Width = H.Width;
    Info.Height = int(H.Height);
    Info.BitsPerPixel = H.BitCount;
    Info.GraphicCount = 1;
    std::string Sub = H.Core || H.OS2 ? "OS/2" : "Windows";
    if (!H.Core) {
      switch (H.Compression) {
      case kCompRGB:
        Sub += ", RGB";
        break;
      case kCompRLE8:
        Sub += ", RLE8";
        break;
      case kCompRLE4:
        Sub += ", RLE4";
        break;
      case kCompOS2RLE24:
        Sub += ", RLE24";
        break;
      default:
        break;
      }
      if (H.Height < 0) Sub += ", Top-Down";
    }
    Info.SubType = std::move(Sub);
    Info.Colors = std::string(ColorsText(H.BitCount));
  }

protected:
  // Reads past the file header; answers its pixel offset (0: none).
  virtual int64_t SkipFileHeader(TPGStream& Stream) {
    uint8_t B[kFileHeaderSize];
    ReadHeaderBytes(Stream, B, kFileHeaderSize);
    return U32(B + 10);
  }
};

// DIB files come with a file header or, as a packed bitmap, without one.
class TDIBFileFormatReader : public TBMPFileFormatReader {
public:
  TDIBFileFormatReader() : TBMPFileFormatReader("dib") {}
  std::string ClassName() const override { return "TDIBFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override {
    return TBMPFileFormatReader::Sniff(Header) || LooksPacked(Header);
  }

protected:
  int64_t SkipFileHeader(TPGStream& Stream) override {
    uint8_t B[2];
    ReadHeaderBytes(Stream, B, 2);
    Stream.Seek(-2, TSeekOrigin::soCurrent);
    if (B[0] == 'B' && B[1] == 'M') return TBMPFileFormatReader::SkipFileHeader(Stream);
    return 0;
  }
};

class TRLEFileFormatReader : public TBMPFileFormatReader {
public:
  TRLEFileFormatReader() : TBMPFileFormatReader("rle") {}
  std::string ClassName() const override { return "TRLEFileFormatReader"; }
};

class TBMPFileFormatWriter : public TFileFormatWriter {
public:
  TBMPFileFormatWriter(const char* Ext = "bmp", bool IsListed = true)
      : TFileFormatWriter(Ext, "Bitmap", IsListed) {
    CanWriteResolutions = {0, 1, 2, 3, 4, 5, 6, 7};
  }
  std::string ClassName() const override { return "TBMPFileFormatWriter"; }
  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                    const TWriteOptions& /*Options*/) override {
    const int64_t Off = kFileHeaderSize + kInfoHeaderSize + 4 * int64_t(Image.PaletteCount());
    uint8_t F[kFileHeaderSize] = {'B', 'M'};
    PutU32(F + 2, uint32_t(std::min<int64_t>(Off + Image.ImageSize(), UINT32_MAX)));
    PutU32(F + 10, uint32_t(Off));
    Stream.WriteBuffer(F, sizeof F);
    Image.WritePackedDIB(Stream);
  }
};

class TDIBFileFormatWriter : public TBMPFileFormatWriter {
public:
  TDIBFileFormatWriter() : TBMPFileFormatWriter("dib", false) {}
  std::string ClassName() const override { return "TDIBFileFormatWriter"; }
};

// A read-only window of Length bytes of another stream, starting at Start.
class TSubStream : public TPGStream {
public:
  TSubStream(TPGStream& S, int64_t Start, int64_t Length) : FS(S), FStart(Start), FLen(Length) {}
  size_t Read(void* Buffer, size_t Count) override {
    const int64_t N = std::min<int64_t>(int64_t(Count), FLen - FPos);
    if (N <= 0) return 0;
    FS.SetPosition(FStart + FPos);
    const size_t Got = FS.Read(Buffer, size_t(N));
    FPos += int64_t(Got);
    return Got;
  }
  void Write(const void*, size_t) override {
    throw EPGStreamError(EngineMessage(msgFailed, "Write"));
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    int64_t Base = Origin == TSeekOrigin::soBeginning ? 0
                   : Origin == TSeekOrigin::soCurrent ? FPos
                                                      : FLen;
    FPos = std::clamp<int64_t>(Base + Offset, 0, FLen);
    return FPos;
  }
  int64_t Size() override { return FLen; }

private:
  TPGStream& FS;
  int64_t FStart, FLen, FPos = 0;
};

} // namespace

// ---- registration -------------------------------------------------------------------------

void RegisterBMPFormats() {
  RegisterReader(std::make_unique<TBMPFileFormatReader>());
  RegisterReader(std::make_unique<TDIBFileFormatReader>());
  RegisterReader(std::make_unique<TRLEFileFormatReader>());
  RegisterWriter(std::make_unique<TBMPFileFormatWriter>());
  RegisterWriter(std::make_unique<TDIBFileFormatWriter>());
}

std::unique_ptr<TFileFormatReader> MakeBMPReader() {
  return std::make_unique<TBMPFileFormatReader>();
}
std::unique_ptr<TFileFormatWriter> MakeBMPWriter() {
  return std::make_unique<TBMPFileFormatWriter>();
}

// ---- packed bitmaps and streaming ---------------------------------------------------------

void TPixelGraphic::WritePackedDIB(TPGStream& Stream) {
  const int Count = PaletteCount();
  std::vector<uint8_t> Head(size_t(kInfoHeaderSize) + 4 * size_t(Count), 0);
  uint8_t* B = Head.data();
  PutU32(B, kInfoHeaderSize);
  PutU32(B + 4, uint32_t(FWidth));
  PutU32(B + 8, uint32_t(FHeight));
  PutU16(B + 12, 1);
  PutU16(B + 14, uint16_t(BitCount()));
  PutU32(B + 16, kCompRGB);
  PutU32(B + 20, uint32_t(std::min<int64_t>(ImageSize(), UINT32_MAX)));
  PutU32(B + 32, uint32_t(Count));
  for (int I = 0; I < Count; ++I) {
    const TRGB C = FPalette[size_t(I)];
    uint8_t* E = B + kInfoHeaderSize + 4 * I;
    E[0] = uint8_t(BlueOf(C));
    E[1] = uint8_t(GreenOf(C));
    E[2] = uint8_t(RedOf(C));
  }
  Stream.WriteBuffer(Head.data(), Head.size());
  if (FBits && ImageSize() > 0) Stream.WriteBuffer(FBits, size_t(ImageSize()));
}

std::vector<uint8_t> TPixelGraphic::SaveToPackedDIB() {
  TPGMemoryStream M;
  M.Reserve(size_t(kInfoHeaderSize) + 4 * size_t(PaletteCount()) + size_t(ImageSize()));
  WritePackedDIB(M);
  return std::move(M.Bytes());
}

void TPixelGraphic::LoadFromPackedDIB(const uint8_t* Data, size_t Size) {
  if (!Data) throw EPGUnknownClipboardFormat(EngineMessage(msgUnknownClipboardFormat));
  TPGMemoryStream M(Data, Size);
  TUpdateScope Update(*this);
  ReadDIB(M, *this, PeekCoreHeader(M), -1, PixelAllocationLimit());
  FileGamma = kDefaultScreenGamma;
  RecognisePaletteKind();
}

void TPixelGraphic::SaveToStream(TPGStream& Stream) {
  StreamingBMPWriter().WriteGraphic(Stream, *this, TWriteOptions{});
}

void TPixelGraphic::WriteData(TPGStream& Stream) {
  const int64_t Start = Stream.Position();
  Stream.WriteU32LE(0);
  SaveToStream(Stream);
  const int64_t End = Stream.Position();
  Stream.SetPosition(Start);
  Stream.WriteU32LE(uint32_t(End - Start - 4));
  Stream.SetPosition(End);
}

void TPixelGraphic::ReadData(TPGStream& Stream) {
  const uint32_t Length = Stream.ReadU32LE();
  const int64_t Start = Stream.Position();
  // The picture may not read past its own extent.
  TSubStream Part(Stream, Start, std::min<int64_t>(Length, Remaining(Stream)));
  try {
    LoadFromStreamExt(Part, "bmp", 0);
  } catch (...) {
    Stream.SetPosition(Start + Length);
    throw;
  }
  Stream.SetPosition(Start + Length);
}

} // namespace orbisk
