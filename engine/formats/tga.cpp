// Truevision Targa reader (8, 16, 24, 32 bits, plain or run-length encoded, any origin) and
// writer (8-bit colour-mapped or 24-bit true colour).
#include "engine/formats/tga.h"
#include "engine/formats/formats.h"
#include "engine/palettes.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orbisk {

namespace {

const std::string kTag = "TGA: ";
constexpr size_t kBufferSize = 64 * 1024;
constexpr int kHeaderSize = 18;
constexpr uint8_t kRLEBit = 0x08;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;

[[noreturn]] void ReadError(const std::string& Msg) {
  throw EPGTGAFileFormatReader(kTag + Msg);
}
[[noreturn]] void UnexpectedEnd() {
  ReadError(EngineMessage(msgUnexpectedEOF));
}
[[noreturn]] void NotSupported() {
  ReadError(EngineMessage(msgNotSupportedSubformat));
}

struct TTGAHeader {
  uint8_t IDLength = 0;
  uint8_t ColorMapType = 0;
  uint8_t ImageType = 0;
  uint16_t MapFirst = 0;
  uint16_t MapLength = 0;
  uint8_t MapEntrySize = 0;
  uint16_t Width = 0;
  uint16_t Height = 0;
  uint8_t Depth = 0;
  uint8_t Descriptor = 0;
};

uint16_t Word(const uint8_t* P) {
  return uint16_t(P[0] | (P[1] << 8));
}

TTGAHeader ReadHeader(TPGStream& S) {
  uint8_t B[kHeaderSize];
  if (S.Read(B, kHeaderSize) != size_t(kHeaderSize)) UnexpectedEnd();
  TTGAHeader H;
  H.IDLength = B[0];
  H.ColorMapType = B[1];
  H.ImageType = B[2];
  H.MapFirst = Word(B + 3);
  H.MapLength = Word(B + 5);
  H.MapEntrySize = B[7];
  H.Width = Word(B + 12);
  H.Height = Word(B + 14);
  H.Depth = B[16];
  H.Descriptor = B[17];
  return H;
}

// A 5-bit channel on the full 0..255 scale (v * 255 / 31, rounded), so that white stays white,
// as the BMP reader scales its 16-bit channels.
inline uint8_t Expand5(unsigned V) {
  return uint8_t((V * 255 + 15) / 31);
}

// A 16-bit pixel (x RRRRR GGGGG BBBBB) as blue, green, red bytes.
inline void Decode16(const uint8_t* P, uint8_t* BGR) {
  const unsigned W = unsigned(P[0] | (P[1] << 8));
  BGR[0] = Expand5(W & 0x1F);
  BGR[1] = Expand5((W >> 5) & 0x1F);
  BGR[2] = Expand5((W >> 10) & 0x1F);
}

void ReadExact(TPGStream& S, uint8_t* Dst, size_t N) {
  if (S.Read(Dst, N) != N) UnexpectedEnd();
}

// Run-length packets. A packet may run past the end of a row: what is left of it carries on
// into the next row, so rows never receive more than their width.
class TRLEDecoder {
public:
  TRLEDecoder(TPGStream& S, int Bpp) : FStream(S), FBpp(size_t(Bpp)), FBuf(kBufferSize) {}

  void DecodeRow(uint8_t* Dst, int Width) {
    size_t X = 0;
    const size_t W = size_t(Width);
    while (X < W) {
      if (FLeft == 0) {
        const uint8_t H = Byte();
        FLeft = size_t(H & 0x7F) + 1;
        FRun = (H & 0x80) != 0;
        if (FRun) Bytes(FPixel, FBpp);
      }
      const size_t N = std::min(FLeft, W - X);
      if (FRun) {
        for (size_t I = 0; I < N; ++I)
          std::memcpy(Dst + (X + I) * FBpp, FPixel, FBpp);
      } else {
        Bytes(Dst + X * FBpp, N * FBpp);
      }
      X += N;
      FLeft -= N;
    }
  }

private:
  void Refill() {
    const int64_t Left = FStream.Size() - FStream.Position();
    const size_t Want = size_t(std::clamp<int64_t>(Left, 0, int64_t(FBuf.size())));
    FLen = Want ? FStream.Read(FBuf.data(), Want) : 0;
    FPos = 0;
    if (FLen == 0) UnexpectedEnd();
  }
  uint8_t Byte() {
    if (FPos == FLen) Refill();
    return FBuf[FPos++];
  }
  void Bytes(uint8_t* Dst, size_t N) {
    while (N > 0) {
      if (FPos == FLen) Refill();
      const size_t Take = std::min(N, FLen - FPos);
      std::memcpy(Dst, FBuf.data() + FPos, Take);
      FPos += Take;
      Dst += Take;
      N -= Take;
    }
  }

  TPGStream& FStream;
  size_t FBpp;
  std::vector<uint8_t> FBuf;
  size_t FPos = 0, FLen = 0;
  size_t FLeft = 0;
  bool FRun = false;
  uint8_t FPixel[4] = {};
};

// Pixel indices beyond the colour map would make colour look-ups fail later: the palette is
// lengthened (black entries) to cover every index the picture uses.
void CoverIndices(TPixelGraphic& Image) {
  const int Count = Image.PaletteCount();
  if (Count >= 256 || Image.Empty()) return;
  int Max = 0;
  for (int Y = 0; Y < Image.Height(); ++Y) {
    const uint8_t* Row = Image.ScanLine(Y);
    for (int X = 0; X < Image.Width(); ++X)
      Max = std::max<int>(Max, Row[X]);
  }
  if (Max >= Count) Image.SetPaletteCount(Max + 1);
}

class TTGAFileFormatReader : public TFileFormatReader {
public:
  TTGAFileFormatReader() : TFileFormatReader("tga", "Truevision Targa") { CanSniff = false; }
  std::string ClassName() const override { return "TTGAFileFormatReader"; }

  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options) override {
    if (Index != 0) ReadError(EngineMessage(msgInvalid, "Index"));
    const TTGAHeader H = ReadHeader(Stream);
    if (H.Depth != 8 && H.Depth != 16 && H.Depth != 24 && H.Depth != 32) NotSupported();
    if (H.Width == 0 || H.Height == 0) ReadError(EngineMessage(msgWidthOrHeightZero));
    if (int64_t(H.Width) * H.Height > Options.MaxPixelCount)
      ReadError(EngineMessage(msgFailed, "CreateDIBSection"));

    const int64_t MapStart = Stream.Position() + H.IDLength;
    const int EntryBytes = (H.MapEntrySize + 7) / 8; // 15-bit entries take two bytes
    const int64_t PixelStart = MapStart + int64_t(H.MapLength) * EntryBytes;
    const int64_t Size = Stream.Size();
    if (PixelStart > Size) UnexpectedEnd();

    // Map entry i stands for pixel index MapFirst + i.
    std::vector<TRGB> Map;
    const bool UseMap = H.Depth == 8 && H.ColorMapType == 1 && H.MapLength > 0;
    if (UseMap) {
      if (H.MapEntrySize != 16 && H.MapEntrySize != 24 && H.MapEntrySize != 32) NotSupported();
      if (H.MapFirst >= 256) ReadError(EngineMessage(msgInvalid, "Color map"));
      const int N = std::min<int>(H.MapLength, 256 - H.MapFirst);
      std::vector<uint8_t> Raw(size_t(N) * EntryBytes);
      Stream.SetPosition(MapStart);
      ReadExact(Stream, Raw.data(), Raw.size());
      Map.assign(size_t(H.MapFirst), 0);
      for (int I = 0; I < N; ++I) {
        const uint8_t* E = Raw.data() + size_t(I) * EntryBytes;
        uint8_t BGR[3] = {E[0], E[1], E[EntryBytes == 2 ? 0 : 2]};
        if (EntryBytes == 2) Decode16(E, BGR);
        Map.push_back(RGBOf(BGR[2], BGR[1], BGR[0]));
      }
    }
    Stream.SetPosition(PixelStart);

    const int Bpp = H.Depth / 8;
    const bool RLE = (H.ImageType & kRLEBit) != 0;
    // A grey picture with 16 bits holds grey and alpha bytes, not 5-5-5 colour.
    const bool GreyAlpha = H.Depth == 16 && (H.ImageType & 7) == 3;
    const int64_t Pixels = int64_t(H.Width) * H.Height;
    // The data must be able to supply the picture before it is allocated: a packet yields at
    // most 128 pixels.
    const int64_t Needed = RLE ? (Pixels + 127) / 128 * (1 + Bpp) : Pixels * Bpp;
    if (Size - PixelStart < Needed) UnexpectedEnd();

    const bool Indexed = H.Depth == 8 || GreyAlpha;
    Image.FileGamma = Options.ScreenGamma;
    Image.SetSize(H.Width, H.Height, Indexed ? 2 : 3);
    if (Indexed) {
      if (UseMap) {
        Image.SetPaletteCount(int(Map.size()));
        for (size_t I = 0; I < Map.size(); ++I)
          Image.SetPaletteEntry(int(I), Map[I]);
      } else {
        Image.SetPaletteKind(pGray256);
      }
    }

    try {
      WithProgress(Image, [&] { DecodeRows(Stream, Image, H, RLE, GreyAlpha); });
    } catch (...) {
      if (UseMap) CoverIndices(Image);
      throw;
    }
    if (UseMap) CoverIndices(Image);
  }

  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options) override {
    TFileFormatReader::GetInfo(Stream, Index, Info, Options);
    if (Index != 0) ReadError(EngineMessage(msgInvalidValueFor, "Index"));
    const TTGAHeader H = ReadHeader(Stream);
    const bool Compressed = (H.ImageType & kRLEBit) != 0;
    switch (H.ImageType & ~kRLEBit) {
    case 1:
      Info.Options = "Color-mapped";
      break;
    case 2:
      Info.Options = "True-color";
      break;
    case 3:
      Info.Options = "\"Black-and-white\"";
      break;
    default:
      ReadError(EngineMessage(msgInvalidValueFor, "ImageType"));
    }
    Info.SubType = Compressed ? "Run-length encoded" : "Uncompressed";
    Info.Width = H.Width;
    Info.Height = H.Height;
    Info.BitsPerPixel = H.Depth;
    Info.Colors = H.Depth < 24    ? std::to_string(uint64_t(1) << H.Depth)
                  : H.Depth == 24 ? "16.7M"
                                  : "16.7M ?";
    Info.GraphicCount = 1;
  }

private:
  static void DecodeRows(TPGStream& Stream, TPixelGraphic& Image, const TTGAHeader& H, bool RLE,
                         bool GreyAlpha) {
    const int W = H.Width, Height = H.Height, Bpp = H.Depth / 8;
    const bool Mirror = (H.Descriptor & kRightToLeft) != 0;
    const bool TopDown = (H.Descriptor & kTopToBottom) != 0;
    // Plain 8- and 24-bit rows left to right are stored exactly as the pixel buffer holds them.
    const bool Direct = !RLE && !Mirror && (H.Depth == 8 || H.Depth == 24);
    const size_t RowSize = size_t(W) * size_t(Bpp);
    std::vector<uint8_t> Row(Direct ? 0 : RowSize);
    TRLEDecoder Decoder(Stream, Bpp);

    for (int R = 0; R < Height; ++R) {
      uint8_t* Dst = Image.ScanLine(TopDown ? R : Height - 1 - R);
      if (Direct) {
        ReadExact(Stream, Dst, RowSize);
      } else {
        if (RLE)
          Decoder.DecodeRow(Row.data(), W);
        else
          ReadExact(Stream, Row.data(), RowSize);
        StoreRow(Row.data(), Dst, W, H.Depth, GreyAlpha, Mirror);
      }
      if (Image.DoProgress(R, Height)) break;
    }
  }

  static void StoreRow(const uint8_t* Src, uint8_t* Dst, int W, int Depth, bool GreyAlpha,
                       bool Mirror) {
    const int Bpp = Depth / 8;
    const int Out = (Depth == 8 || GreyAlpha) ? 1 : 3;
    for (int X = 0; X < W; ++X) {
      const uint8_t* S = Src + size_t(X) * size_t(Bpp);
      uint8_t* D = Dst + size_t(Mirror ? W - 1 - X : X) * size_t(Out);
      if (Out == 1) {
        D[0] = S[0];
      } else if (Depth == 16) {
        Decode16(S, D);
      } else {
        D[0] = S[0];
        D[1] = S[1];
        D[2] = S[2];
      }
    }
  }
};

class TTGAFileFormatWriter : public TFileFormatWriter {
public:
  TTGAFileFormatWriter() : TFileFormatWriter("tga", "Truevision Targa") {
    CanWriteResolutions = {6, 7};
  }
  std::string ClassName() const override { return "TTGAFileFormatWriter"; }

  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                    const TWriteOptions& Options) override {
    // The header holds 16-bit sizes; refuse before anything is written.
    if (Image.Empty()) WriteError(EngineMessage(msgWidthOrHeightZero));
    if (Image.Width() > 0xFFFF) WriteError(EngineMessage(msgOutOfRange, "Width"));
    if (Image.Height() > 0xFFFF) WriteError(EngineMessage(msgOutOfRange, "Height"));

    const bool TrueColor = Image.BitCountNum() == 3;
    const bool RLE = Options.TGAWriteRLE;
    const int W = Image.Width(), H = Image.Height();
    // The colour map covers every index the pixels use; entries past the palette get the colour
    // such pixels show (entry 0's).
    const int Count = TrueColor ? 0 : std::max(Image.PaletteCount(), HighestPixelIndex(Image) + 1);
    uint8_t Hdr[kHeaderSize] = {};
    Hdr[1] = TrueColor ? 0 : 1;
    Hdr[2] = uint8_t((TrueColor ? 2 : 1) | (RLE ? kRLEBit : 0));
    Hdr[5] = uint8_t(Count & 0xFF);
    Hdr[6] = uint8_t(Count >> 8);
    Hdr[7] = TrueColor ? 0 : 24;
    Hdr[12] = uint8_t(W & 0xFF);
    Hdr[13] = uint8_t(W >> 8);
    Hdr[14] = uint8_t(H & 0xFF);
    Hdr[15] = uint8_t(H >> 8);
    Hdr[16] = TrueColor ? 24 : 8;
    Stream.WriteBuffer(Hdr, kHeaderSize);

    if (Count > 0) {
      std::vector<uint8_t> Map;
      for (TRGB C : ShownPalette(Image, Count)) {
        Map.push_back(uint8_t(BlueOf(C)));
        Map.push_back(uint8_t(GreenOf(C)));
        Map.push_back(uint8_t(RedOf(C)));
      }
      Stream.WriteBuffer(Map.data(), Map.size());
    }

    const int Bpp = TrueColor ? 3 : 1;
    WithProgress(Image, [&] {
      std::vector<uint8_t> Row(size_t(W) * size_t(Bpp)), Packed;
      for (int D = 0; D < H; ++D) {
        const uint8_t* Src = Image.ScanLine(H - 1 - D);
        const uint8_t* Pixels = Src;
        if (Image.BitCountNum() < 2) { // 1 and 4 bits: one index byte per pixel
          for (int X = 0; X < W; ++X)
            Row[size_t(X)] = uint8_t(Image.GetPixelValue(X, H - 1 - D));
          Pixels = Row.data();
        }
        if (RLE) {
          EncodeRow(Pixels, W, Bpp, Packed);
          Stream.WriteBuffer(Packed.data(), Packed.size());
        } else {
          Stream.WriteBuffer(Pixels, size_t(W) * size_t(Bpp));
        }
        Image.DoProgress(D, H); // writing is not aborted: a file is complete or absent
      }
    });
  }

private:
  [[noreturn]] static void WriteError(const std::string& Msg) {
    throw EPGTGAFileFormatWriter(kTag + Msg);
  }

  // Packets never cross the end of the row.
  static void EncodeRow(const uint8_t* P, int W, int Bpp, std::vector<uint8_t>& Out) {
    Out.clear();
    const size_t B = size_t(Bpp);
    const int MinRun = Bpp == 1 ? 3 : 2;
    auto Same = [&](int A, int C) { return std::memcmp(P + A * B, P + C * B, B) == 0; };
    auto RunAt = [&](int X) {
      int N = 1;
      while (X + N < W && N < 128 && Same(X, X + N))
        ++N;
      return N;
    };
    int X = 0;
    while (X < W) {
      const int Run = RunAt(X);
      if (Run >= MinRun) {
        Out.push_back(uint8_t(0x80 | (Run - 1)));
        Out.insert(Out.end(), P + X * B, P + (X + 1) * B);
        X += Run;
        continue;
      }
      const int Start = X++;
      while (X < W && X - Start < 128 && RunAt(X) < MinRun)
        ++X;
      Out.push_back(uint8_t(X - Start - 1));
      Out.insert(Out.end(), P + Start * B, P + X * B);
    }
  }
};

} // namespace

void RegisterTGAFormats() {
  RegisterReader(std::make_unique<TTGAFileFormatReader>());
  RegisterWriter(std::make_unique<TTGAFileFormatWriter>());
}

} // namespace orbisk
