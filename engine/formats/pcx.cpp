// PCX reader: run-length encoded Paintbrush files into 1-, 4-, 8- or 24-bit pictures.
#include "engine/formats/formats.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace orbisk {

namespace {

[[noreturn]] void PCXError(const std::string& Text) {
  throw EPGPCXFileFormatReader("PCX: " + Text);
}

struct TPCXHeader {
  uint8_t Manufacturer, Version, Encoding, BitsPerPixel;
  int XMin, YMin, XMax, YMax;
  uint8_t ColorMap[48];
  uint8_t Reserved, Planes;
  int BytesPerLine, PaletteInfo;

  int Width() const { return XMax - XMin + 1; }
  int Height() const { return YMax - YMin + 1; }
  TRGB MapEntry(int I) const {
    return RGBOf(ColorMap[3 * I], ColorMap[3 * I + 1], ColorMap[3 * I + 2]);
  }
};

TPCXHeader ReadHeader(TPGStream& Stream) {
  uint8_t B[128];
  Stream.ReadBuffer(B, sizeof B);
  auto U16 = [&](int O) { return int(B[O] | (B[O + 1] << 8)); };
  TPCXHeader H;
  H.Manufacturer = B[0];
  H.Version = B[1];
  H.Encoding = B[2];
  H.BitsPerPixel = B[3];
  H.XMin = U16(4);
  H.YMin = U16(6);
  H.XMax = U16(8);
  H.YMax = U16(10);
  std::memcpy(H.ColorMap, B + 16, 48);
  H.Reserved = B[64];
  H.Planes = B[65];
  H.BytesPerLine = U16(66);
  H.PaletteInfo = U16(68);
  return H;
}

enum class TLayout { Mono, Planes4, TwoBit, Indexed8, RGB24, Unknown };

TLayout LayoutOf(const TPCXHeader& H) {
  if (H.BitsPerPixel == 1 && H.Planes == 1) return TLayout::Mono;
  if (H.BitsPerPixel == 1 && H.Planes == 4) return TLayout::Planes4;
  // Four-colour (CGA) files: the colours are the first entries of the header's map.
  if (H.BitsPerPixel == 2 && H.Planes == 1) return TLayout::TwoBit;
  if (H.BitsPerPixel == 8 && H.Planes == 1) return TLayout::Indexed8;
  if (H.BitsPerPixel == 8 && H.Planes == 3) return TLayout::RGB24;
  return TLayout::Unknown;
}

// Scan-line bytes needed per plane for the width.
int64_t NeededBytesPerLine(TLayout L, int Width) {
  switch (L) {
  case TLayout::Mono:
  case TLayout::Planes4:
    return (int64_t(Width) + 7) / 8;
  case TLayout::TwoBit:
    return (int64_t(Width) + 3) / 4;
  default:
    return Width;
  }
}

// The run-length input, buffered; running out of data is an unexpected end of file.
class TRLEInput {
public:
  explicit TRLEInput(TPGStream& S) : FStream(S), FBuf(65536) {}

  uint8_t Next() {
    if (FPos == FLen) {
      FLen = FStream.Read(FBuf.data(), FBuf.size());
      FPos = 0;
      if (FLen == 0) PCXError(EngineMessage(msgUnexpectedEOF));
    }
    return FBuf[FPos++];
  }

  // One scan line: runs are cut at its end.
  void DecodeLine(uint8_t* Line, size_t Len) {
    size_t I = 0;
    while (I < Len) {
      const uint8_t B = Next();
      if (B >= 0xC0) {
        const size_t N = std::min<size_t>(B & 0x3F, Len - I);
        const uint8_t V = Next();
        std::memset(Line + I, V, N);
        I += N;
      } else {
        Line[I++] = B;
      }
    }
  }

private:
  TPGStream& FStream;
  std::vector<uint8_t> FBuf;
  size_t FPos = 0, FLen = 0;
};

void StoreRow(TLayout L, const uint8_t* Line, int BPL, int W, uint8_t* Dst, int64_t RowBytes) {
  switch (L) {
  case TLayout::Mono: {
    const int64_t N = std::min<int64_t>((W + 7) / 8, BPL);
    std::memcpy(Dst, Line, size_t(N));
    std::memset(Dst + N, 0, size_t(RowBytes - N));
    if (W % 8) Dst[(W - 1) / 8] &= uint8_t(0xFF00 >> (W % 8));
    break;
  }
  case TLayout::Planes4: {
    std::memset(Dst, 0, size_t(RowBytes));
    for (int X = 0; X < W; ++X) {
      const int Byte = X >> 3, Shift = 7 - (X & 7);
      int V = 0;
      for (int P = 0; P < 4; ++P)
        V |= ((Line[P * BPL + Byte] >> Shift) & 1) << P;
      Dst[X >> 1] |= uint8_t((X & 1) ? V : V << 4);
    }
    break;
  }
  case TLayout::TwoBit: {
    std::memset(Dst, 0, size_t(RowBytes));
    for (int X = 0; X < W; ++X) {
      const int V = (Line[X >> 2] >> (6 - 2 * (X & 3))) & 3;
      Dst[X >> 1] |= uint8_t((X & 1) ? V : V << 4);
    }
    break;
  }
  case TLayout::Indexed8:
    std::memcpy(Dst, Line, size_t(W));
    break;
  case TLayout::RGB24: {
    const uint8_t *R = Line, *G = Line + BPL, *B = Line + 2 * BPL;
    for (int X = 0; X < W; ++X) {
      Dst[3 * X] = B[X];
      Dst[3 * X + 1] = G[X];
      Dst[3 * X + 2] = R[X];
    }
    break;
  }
  case TLayout::Unknown:
    break;
  }
}

class TPCXFileFormatReader : public TFileFormatReader {
public:
  TPCXFileFormatReader() : TFileFormatReader("pcx", "Paintbrush") { CanSniff = true; }
  std::string ClassName() const override { return "TPCXFileFormatReader"; }

  bool Sniff(const uint8_t* Header) override { return Header[0] == 0x0A; }

  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options) override {
    if (Index != 0) PCXError(EngineMessage(msgInvalid, "Index"));
    Image.FileGamma = Options.ScreenGamma;
    const TPCXHeader H = ReadHeader(Stream);
    const TLayout L = LayoutOf(H);
    if (L == TLayout::Unknown || H.PaletteInfo != 1 || H.Reserved != 0)
      PCXError(EngineMessage(msgUnknownSubformat));
    const int W = H.Width(), Ht = H.Height();
    if (W <= 0 || Ht <= 0) PCXError(EngineMessage(msgWidthOrHeightZero));
    // Every plane's line must hold the whole width.
    if (H.BytesPerLine < NeededBytesPerLine(L, W)) PCXError(EngineMessage(msgUnknownSubformat));
    if (int64_t(W) * Ht > Options.MaxPixelCount)
      PCXError(EngineMessage(msgFailed, "CreateDIBSection"));
    const size_t LineLen = size_t(H.Planes) * size_t(H.BytesPerLine);
    // A run byte pair gives at most 63 bytes: refuse data that cannot fill the picture.
    if (int64_t(LineLen) * Ht > Stream.Remaining() * 63 / 2 + 63)
      PCXError(EngineMessage(msgUnexpectedEOF));

    std::vector<TRGB> Palette;
    int Code = 0;
    switch (L) {
    case TLayout::Mono:
      Code = 0;
      Palette = {RGBOf(0, 0, 0), RGBOf(255, 255, 255)};
      break;
    case TLayout::Planes4:
      Code = 1;
      if (H.Version == 3) {
        Palette = StandardPalette(pSys16);
      } else {
        for (int I = 0; I < 16; ++I)
          Palette.push_back(H.MapEntry(I));
      }
      break;
    case TLayout::TwoBit:
      Code = 1;
      for (int I = 0; I < 4; ++I)
        Palette.push_back(H.MapEntry(I));
      break;
    case TLayout::Indexed8:
      Code = 2;
      Palette = ReadPalette256(Stream);
      break;
    default:
      Code = 3;
      break;
    }

    Image.SetSize(W, Ht, Code);
    if (!Palette.empty()) {
      Image.SetPaletteCount(int(Palette.size()));
      for (size_t I = 0; I < Palette.size(); ++I)
        Image.SetPaletteEntry(int(I), Palette[I]);
    }

    std::vector<uint8_t> Line(LineLen);
    TProgressBracket Progress(Image);
    TRLEInput In(Stream);
    for (int Y = 0; Y < Ht; ++Y) {
      In.DecodeLine(Line.data(), LineLen);
      StoreRow(L, Line.data(), H.BytesPerLine, W, Image.ScanLine(Y), Image.RowBytes());
      if (Image.DoProgress(Y, Ht)) break;
    }
  }

  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options) override {
    TFileFormatReader::GetInfo(Stream, Index, Info, Options);
    if (Index != 0) PCXError(EngineMessage(msgInvalidValueFor, "Index"));
    const int64_t Start = Stream.Position();
    const TPCXHeader H = ReadHeader(Stream);
    Stream.SetPosition(Start);
    if (H.PaletteInfo != 1 || H.Reserved != 0) PCXError(EngineMessage(msgUnknownSubformat));
    const int Bits = int(H.Planes) * H.BitsPerPixel;
    Info.BitsPerPixel = Bits;
    Info.Width = H.Width();
    Info.Height = H.Height();
    switch (H.Version) {
    case 0:
      Info.SubType = "Version 2.5 (0)";
      break;
    case 2:
      Info.SubType = "Version 2.8 (2) with Palette";
      break;
    case 3:
      Info.SubType = "Version 2.8 (3) without Palette";
      break;
    case 5:
      Info.SubType = "Version 3.0 (5)";
      break;
    default:
      break;
    }
    if (Bits == 24)
      Info.Colors = "16.7M";
    else if (Bits < 24)
      Info.Colors = std::to_string(1u << Bits);
  }

private:
  // The 256-colour palette: the last 769 bytes, a marker 12 and 256 red, green, blue triples.
  static std::vector<TRGB> ReadPalette256(TPGStream& Stream) {
    const int64_t Start = Stream.Position();
    const int64_t At = Stream.Size() - 769;
    uint8_t B[769];
    if (At < Start) PCXError(EngineMessage(msgUnknownSubformat));
    Stream.SetPosition(At);
    Stream.ReadBuffer(B, sizeof B);
    Stream.SetPosition(Start);
    if (B[0] != 12) PCXError(EngineMessage(msgUnknownSubformat));
    std::vector<TRGB> P(256);
    for (int I = 0; I < 256; ++I)
      P[size_t(I)] = RGBOf(B[1 + 3 * I], B[2 + 3 * I], B[3 + 3 * I]);
    return P;
  }
};

} // namespace

void RegisterPCXFormats() {
  RegisterReader(std::make_unique<TPCXFileFormatReader>());
}

} // namespace orbisk
