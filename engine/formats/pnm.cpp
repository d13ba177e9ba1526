// PBM, PGM and PPM reader and writers, ASCII (P1-P3) and binary (P4-P6).
#include "engine/formats/pnm.h"
#include "engine/formats/formats.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace orbisk {

namespace {

const std::string kTag = "PBM, PGM, PPM: ";
constexpr size_t kBufferSize = 64 * 1024;
constexpr unsigned kMaxSampleValue = 65535;

[[noreturn]] void ReadError(const std::string& Msg) {
  throw EPGPxMFileFormatReader(kTag + Msg);
}
[[noreturn]] void UnexpectedEnd() {
  ReadError(EngineMessage(msgUnexpectedEOF));
}

bool IsDigit(uint8_t C) {
  return C >= '0' && C <= '9';
}

// Buffered characters of the stream: header numbers, ASCII samples and binary rows come from
// the same buffer, because the header's last separator may share a block with the pixels.
class TPxMSource {
public:
  explicit TPxMSource(TPGStream& S) : FStream(S), FBuf(kBufferSize) {}

  // False at the end of the data.
  bool TryNext(uint8_t& C) {
    if (FPos == FLen && !Fill()) return false;
    C = FBuf[FPos++];
    return true;
  }
  uint8_t Next() {
    uint8_t C;
    if (!TryNext(C)) UnexpectedEnd();
    return C;
  }

  // Skips everything up to the next digit, comments included, then collects the digits. The
  // first character after them ends the number and is consumed; so is the rest of its line
  // when it opens a comment. The end of the data also ends a number.
  unsigned ReadNumber() {
    uint8_t C = SkipToDigit();
    uint64_t V = 0;
    for (;;) {
      V = V * 10 + (C - '0');
      if (V > uint64_t(std::numeric_limits<int32_t>::max()))
        ReadError(EngineMessage(msgOutOfRange, "Number"));
      if (!TryNext(C)) break;
      if (!IsDigit(C)) {
        if (C == '#') SkipComment();
        break;
      }
    }
    return static_cast<unsigned>(V);
  }

  // One plain-bitmap sample: a single digit, so that samples written without separators
  // ("0110") read as four pixels. True for ink (any digit but 0).
  bool ReadBit() { return SkipToDigit() != '0'; }

  void ReadBytes(uint8_t* Dst, size_t N) {
    size_t Have = std::min(N, FLen - FPos);
    std::memcpy(Dst, FBuf.data() + FPos, Have);
    FPos += Have;
    if (Have < N && FStream.Read(Dst + Have, N - Have) != N - Have) UnexpectedEnd();
  }

  // Bytes still to come (buffered and in the stream).
  int64_t Available() { return int64_t(FLen - FPos) + FStream.Remaining(); }

private:
  bool Fill() {
    FLen = FStream.Read(FBuf.data(), FBuf.size());
    FPos = 0;
    return FLen > 0;
  }
  uint8_t SkipToDigit() {
    for (;;) {
      uint8_t C = Next();
      if (IsDigit(C)) return C;
      if (C == '#') SkipComment();
    }
  }
  void SkipComment() {
    uint8_t C;
    while (TryNext(C) && C != '\n' && C != '\r') {
    }
  }

  TPGStream& FStream;
  std::vector<uint8_t> FBuf;
  size_t FPos = 0, FLen = 0;
};

struct TPxMHeader {
  int Magic = 0; // 1..6
  int Width = 0, Height = 0;
};

int ReadMagic(TPxMSource& Src) {
  uint8_t C;
  if (!Src.TryNext(C) || C != 'P') ReadError(EngineMessage(msgNotAFile, "PBM, PGM, PPM"));
  if (!Src.TryNext(C) || C < '1' || C > '6') ReadError(EngineMessage(msgUnknownSubformat));
  return C - '0';
}

TPxMHeader ReadSizes(TPxMSource& Src) {
  TPxMHeader H;
  H.Magic = ReadMagic(Src);
  H.Width = static_cast<int>(Src.ReadNumber());
  H.Height = static_cast<int>(Src.ReadNumber());
  return H;
}

void DecodeRows(TPxMSource& Src, TPixelGraphic& Image, int Magic, unsigned MaxVal) {
  const int W = Image.Width(), H = Image.Height();
  // Sample to 0..255: v * 255 div maxval, values above maxval clamped.
  std::vector<uint8_t> Scale;
  if (Magic != 1 && Magic != 4) {
    Scale.resize(size_t(Magic >= 5 ? 256 : MaxVal + 1));
    for (size_t V = 0; V < Scale.size(); ++V)
      Scale[V] = static_cast<uint8_t>(std::min<uint64_t>(V, MaxVal) * 255 / MaxVal);
  }
  auto Sample = [&]() { return Scale[std::min(Src.ReadNumber(), MaxVal)]; };
  const bool Identity = MaxVal == 255;

  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = Image.ScanLine(Y);
    switch (Magic) {
    case 1: // ink is index 0 (black): white pixels set their bit
      std::memset(Row, 0, size_t((W + 7) / 8));
      for (int X = 0; X < W; ++X)
        if (!Src.ReadBit()) Row[X >> 3] |= uint8_t(0x80 >> (X & 7));
      break;
    case 2:
      for (int X = 0; X < W; ++X)
        Row[X] = Sample();
      break;
    case 3:
      for (int X = 0; X < W; ++X) {
        uint8_t* P = Row + 3 * size_t(X);
        P[2] = Sample();
        P[1] = Sample();
        P[0] = Sample();
      }
      break;
    case 4: {
      const size_t N = size_t((W + 7) / 8);
      Src.ReadBytes(Row, N);
      for (size_t I = 0; I < N; ++I)
        Row[I] = uint8_t(~Row[I]);
      break;
    }
    case 5:
      Src.ReadBytes(Row, size_t(W));
      if (!Identity)
        for (int X = 0; X < W; ++X)
          Row[X] = Scale[Row[X]];
      break;
    case 6:
      Src.ReadBytes(Row, 3 * size_t(W));
      for (uint8_t *P = Row, *E = Row + 3 * size_t(W); P < E; P += 3) {
        std::swap(P[0], P[2]);
        if (!Identity) {
          P[0] = Scale[P[0]];
          P[1] = Scale[P[1]];
          P[2] = Scale[P[2]];
        }
      }
      break;
    }
    if (Image.DoProgress(Y, H)) break;
  }
}

class TPxMFileFormatReader : public TFileFormatReader {
public:
  TPxMFileFormatReader(std::string Ext, std::string Desc, std::string Class, char Ascii,
                       char Binary)
      : TFileFormatReader(std::move(Ext), std::move(Desc)), FClass(std::move(Class)), FAscii(Ascii),
        FBinary(Binary) {}

  std::string ClassName() const override { return FClass; }

  bool Sniff(const uint8_t* Header) override {
    return Header[0] == 'P' && (Header[1] == FAscii || Header[1] == FBinary);
  }

  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options) override {
    if (Index != 0) throw EPGPxMFileFormatReader("PxM: " + EngineMessage(msgInvalid, "Index"));
    Image.FileGamma = Options.ScreenGamma;
    TPxMSource Src(Stream);
    const TPxMHeader H = ReadSizes(Src);
    const bool Binary = H.Magic >= 4;
    const unsigned MaxVal = (H.Magic == 1 || H.Magic == 4) ? 1 : Src.ReadNumber();

    if (H.Width == 0 || H.Height == 0 || (Binary && MaxVal >= 256))
      ReadError(EngineMessage(msgNotSupportedSubformat));
    if (MaxVal == 0 || MaxVal > kMaxSampleValue)
      ReadError(EngineMessage(msgInvalidValueFor, "MaxVal"));
    if (int64_t(H.Width) * H.Height > Options.MaxPixelCount)
      ReadError(EngineMessage(msgFailed, "CreateDIBSection"));
    // Every sample takes at least one byte (binary bitmaps: one bit) of the data.
    const int Channels = (H.Magic == 3 || H.Magic == 6) ? 3 : 1;
    const int64_t Needed = H.Magic == 4 ? int64_t((H.Width + 7) / 8) * H.Height
                                        : int64_t(H.Width) * H.Height * Channels;
    if (Src.Available() < Needed) UnexpectedEnd();

    const int Code = (H.Magic == 1 || H.Magic == 4) ? 0 : Channels == 1 ? 2 : 3;
    Image.SetSize(H.Width, H.Height, Code);
    if (Code == 0) Image.SetPaletteKind(pBlackWhite);
    if (Code == 2) Image.SetPaletteKind(pGray256);
    WithProgress(Image, [&] { DecodeRows(Src, Image, H.Magic, MaxVal); });
  }

  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options) override {
    TFileFormatReader::GetInfo(Stream, Index, Info, Options);
    if (Index != 0) ReadError(EngineMessage(msgInvalidValueFor, "Index"));
    TPxMSource Src(Stream);
    const TPxMHeader H = ReadSizes(Src);
    static const int Bits[3] = {1, 8, 24};
    static const char* const Colors[3] = {"2", "256", "16.7M"};
    const int Family = (H.Magic - 1) % 3;
    Info.SubType = H.Magic <= 3 ? "ASCII" : "Binary";
    Info.BitsPerPixel = Bits[Family];
    Info.Colors = Colors[Family];
    Info.Width = H.Width;
    Info.Height = H.Height;
  }

private:
  std::string FClass;
  char FAscii, FBinary;
};

// Output through a large buffer, flushed when full and at the end.
class TPxMSink {
public:
  explicit TPxMSink(TPGStream& S) : FStream(S), FBuf(kBufferSize) {}
  void Put(char C) {
    if (FLen == FBuf.size()) Flush();
    FBuf[FLen++] = C;
  }
  void Put(const char* S, size_t N) {
    if (FBuf.size() - FLen < N) Flush();
    if (N >= FBuf.size()) {
      FStream.WriteBuffer(S, N);
      return;
    }
    std::memcpy(FBuf.data() + FLen, S, N);
    FLen += N;
  }
  void Put(const std::string& S) { Put(S.data(), S.size()); }
  void PutNumber(unsigned V) { Put(std::to_string(V)); }
  void Flush() {
    if (FLen) FStream.WriteBuffer(FBuf.data(), FLen);
    FLen = 0;
  }

private:
  TPGStream& FStream;
  std::vector<char> FBuf;
  size_t FLen = 0;
};

// Decimal texts of 0..255 followed by a separator, for the ASCII forms.
struct TDecimalTable {
  std::array<std::array<char, 4>, 256> Text{};
  std::array<uint8_t, 256> Len{};
  TDecimalTable() {
    for (unsigned V = 0; V < 256; ++V) {
      std::string S = std::to_string(V);
      std::memcpy(Text[V].data(), S.data(), S.size());
      Len[V] = static_cast<uint8_t>(S.size());
    }
  }
};
const TDecimalTable& Decimals() {
  static const TDecimalTable T;
  return T;
}

// Index bytes of one picture row of a 1-, 4- or 8-bit picture.
void UnpackIndices(const uint8_t* Row, int BitCount, int W, uint8_t* Out) {
  for (int X = 0; X < W; ++X) {
    if (BitCount == 1)
      Out[X] = (Row[X >> 3] >> (7 - (X & 7))) & 1;
    else if (BitCount == 4)
      Out[X] = (X & 1) ? (Row[X >> 1] & 0x0F) : (Row[X >> 1] >> 4);
    else
      Out[X] = Row[X];
  }
}

// Grey value of every palette index; indices beyond the palette stand for themselves. The
// writers use it so that a picture whose palette is not the usual one still comes out right.
std::array<uint8_t, 256> GreyTable(const TPixelGraphic& Image) {
  std::array<uint8_t, 256> T{};
  for (int I = 0; I < 256; ++I) {
    if (I < Image.PaletteCount()) {
      const TRGB C = Image.Palette()[size_t(I)];
      T[size_t(I)] = uint8_t((299 * RedOf(C) + 587 * GreenOf(C) + 114 * BlueOf(C) + 500) / 1000);
    } else {
      T[size_t(I)] = uint8_t(I);
    }
  }
  return T;
}

class TPxMFileFormatWriter : public TFileFormatWriter {
public:
  // Family 1 = PBM, 2 = PGM, 3 = PPM.
  TPxMFileFormatWriter(std::string Ext, std::string Desc, std::string Class, int Family,
                       int Resolution)
      : TFileFormatWriter(std::move(Ext), std::move(Desc)), FClass(std::move(Class)),
        FFamily(Family) {
    CanWriteResolutions = {Resolution};
  }

  std::string ClassName() const override { return FClass; }

  void WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                    const TWriteOptions& Options) override {
    if (Image.Empty()) throw EPGPxMFileFormatWriter(kTag + EngineMessage(msgWidthOrHeightZero));
    const bool Fits = FFamily == 1 ? Image.BitCountNum() == 0 || Image.PaletteKind() == pBlackWhite
                      : FFamily == 2 ? Image.BitCountNum() == 2 || Image.PaletteKind() == pGray256
                                     : Image.BitCountNum() == 3;
    if (!Fits)
      throw EPGPxMFileFormatWriter(UpperCase(Extension) + ": " +
                                   EngineMessage(msgInvalidColorResolution));

    const bool Binary = Options.PxMWriteBinary;
    TPxMSink Out(Stream);
    Out.Put('P');
    Out.Put(char('0' + FFamily + (Binary ? 3 : 0)));
    Out.Put('\n');
    Out.PutNumber(unsigned(Image.Width()));
    Out.Put(' ');
    Out.PutNumber(unsigned(Image.Height()));
    Out.Put('\n');
    if (FFamily != 1) Out.Put("255\n", 4);

    // PBM: ink per index; PGM: grey per index.
    std::array<uint8_t, 256> Map{};
    if (FFamily == 1) {
      const auto Grey = GreyTable(Image);
      for (size_t I = 0; I < 256; ++I)
        Map[I] = I < size_t(Image.PaletteCount()) ? Grey[I] < 128 : I == 0;
    } else if (FFamily == 2) {
      Map = GreyTable(Image);
    }

    WithProgress(Image, [&] {
      const int H = Image.Height();
      std::vector<uint8_t> Line, Index;
      for (int Y = 0; Y < H; ++Y) {
        if (FFamily == 1)
          WritePBMRow(Out, Image, Y, Binary, Map, Index, Line);
        else if (FFamily == 2)
          WritePGMRow(Out, Image, Y, Binary, Map, Line);
        else
          WritePPMRow(Out, Image, Y, Binary, Line);
        Image.DoProgress(Y, H); // writing is not aborted: a file is complete or absent
      }
      Out.Flush();
    });
  }

private:
  static void WritePBMRow(TPxMSink& Out, const TPixelGraphic& Image, int Y, bool Binary,
                          const std::array<uint8_t, 256>& Ink, std::vector<uint8_t>& Index,
                          std::vector<uint8_t>& Line) {
    const int W = Image.Width();
    const uint8_t* Row = Image.ScanLine(Y);
    const size_t N = size_t((W + 7) / 8);
    // Usual case: index 0 black, index 1 white, bits stored as they are written.
    if (Binary && Image.BitCountNum() == 0 && Ink[0] && !Ink[1]) {
      Line.resize(N);
      for (size_t I = 0; I < N; ++I)
        Line[I] = uint8_t(~Row[I]);
      Out.Put(reinterpret_cast<const char*>(Line.data()), N);
      return;
    }
    Index.resize(size_t(W));
    UnpackIndices(Row, Image.BitCount(), W, Index.data());
    if (Binary) {
      Line.assign(N, 0xFF); // padding bits set, as with the inverted stored bytes
      for (int X = 0; X < W; ++X)
        if (!Ink[Index[size_t(X)]]) Line[size_t(X >> 3)] &= uint8_t(~(0x80 >> (X & 7)));
      Out.Put(reinterpret_cast<const char*>(Line.data()), N);
      return;
    }
    Line.resize(size_t(W) * 2);
    for (int X = 0; X < W; ++X) {
      Line[2 * size_t(X)] = Ink[Index[size_t(X)]] ? '1' : '0';
      Line[2 * size_t(X) + 1] = X + 1 < W ? ' ' : '\n';
    }
    Out.Put(reinterpret_cast<const char*>(Line.data()), Line.size());
  }

  static void WritePGMRow(TPxMSink& Out, const TPixelGraphic& Image, int Y, bool Binary,
                          const std::array<uint8_t, 256>& Grey, std::vector<uint8_t>& Line) {
    const int W = Image.Width();
    Line.resize(size_t(W));
    UnpackIndices(Image.ScanLine(Y), Image.BitCount(), W, Line.data());
    if (Image.PaletteKind() != pGray256)
      for (auto& V : Line)
        V = Grey[V];
    if (Binary) {
      Out.Put(reinterpret_cast<const char*>(Line.data()), Line.size());
      return;
    }
    PutDecimalRow(Out, Line.data(), Line.size());
  }

  static void WritePPMRow(TPxMSink& Out, const TPixelGraphic& Image, int Y, bool Binary,
                          std::vector<uint8_t>& Line) {
    const size_t N = 3 * size_t(Image.Width());
    const uint8_t* Row = Image.ScanLine(Y);
    Line.resize(N);
    for (size_t I = 0; I < N; I += 3) {
      Line[I] = Row[I + 2];
      Line[I + 1] = Row[I + 1];
      Line[I + 2] = Row[I];
    }
    if (Binary) {
      Out.Put(reinterpret_cast<const char*>(Line.data()), N);
      return;
    }
    PutDecimalRow(Out, Line.data(), N);
  }

  // Values separated by one blank, the row ending with a line feed.
  static void PutDecimalRow(TPxMSink& Out, const uint8_t* V, size_t N) {
    const TDecimalTable& D = Decimals();
    char Text[4 * 256];
    size_t Len = 0;
    for (size_t I = 0; I < N; ++I) {
      std::memcpy(Text + Len, D.Text[V[I]].data(), D.Len[V[I]]);
      Len += D.Len[V[I]];
      Text[Len++] = I + 1 < N ? ' ' : '\n';
      if (Len > sizeof(Text) - 4) {
        Out.Put(Text, Len);
        Len = 0;
      }
    }
    Out.Put(Text, Len);
  }

  std::string FClass;
  int FFamily;
};

} // namespace

void RegisterPxMFormats() {
  RegisterReader(std::make_unique<TPxMFileFormatReader>("pbm", "Portable Bitmap",
                                                        "TPBMFileFormatReader", '1', '4'));
  RegisterReader(std::make_unique<TPxMFileFormatReader>("pgm", "Portable Graymap",
                                                        "TPGMFileFormatReader", '2', '5'));
  RegisterReader(std::make_unique<TPxMFileFormatReader>("ppm", "Portable Pixelmap",
                                                        "TPPMFileFormatReader", '3', '6'));
  RegisterWriter(std::make_unique<TPxMFileFormatWriter>("pbm", "Portable Bitmap",
                                                        "TPBMFileFormatWriter", 1, 0));
  RegisterWriter(std::make_unique<TPxMFileFormatWriter>("pgm", "Portable Graymap",
                                                        "TPGMFileFormatWriter", 2, 5));
  RegisterWriter(std::make_unique<TPxMFileFormatWriter>("ppm", "Portable Pixelmap",
                                                        "TPPMFileFormatWriter", 3, 7));
}

} // namespace orbisk
