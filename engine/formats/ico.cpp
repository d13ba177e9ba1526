// ICO reader: one image of a Windows icon file into a 24-bit picture whose transparent pixels
// are white. Bitmap images of 1, 4, 8, 24 and 32 bits are decoded here; PNG images go through
// the engine's PNG reader.
#include "engine/formats/formats.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace orbisk {

namespace {

const char* const kNotAnIcon = "Not an Icon file";
const char* const kIndexOutOfBounds = "Index out of bounds";
constexpr TRGB kMaskedColor = 0xFFFFFF; // white
constexpr int kMaxIconSide = 256;       // the largest size a directory entry can state

[[noreturn]] void IconError(const char* Text) {
  throw EPixelGraphic(Text);
}

uint16_t U16(const uint8_t* P) {
  return uint16_t(P[0] | (P[1] << 8));
}
uint32_t U32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}
uint32_t U32BE(const uint8_t* P) {
  return uint32_t(P[3]) | uint32_t(P[2]) << 8 | uint32_t(P[1]) << 16 | uint32_t(P[0]) << 24;
}

bool IsPNG(const uint8_t* P, size_t N) {
  static const uint8_t Sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return N >= 8 && std::memcmp(P, Sig, 8) == 0;
}

struct TIconEntry {
  uint32_t Bytes = 0;
  uint32_t Offset = 0; // from the start of the icon data
};

struct TIconDirectory {
  int Type = 0;
  std::vector<TIconEntry> Entries; // empty when the directory is unusable
};

// Reads and checks the directory; the stream position is restored. Every entry must lie
// inside the data (sums in 64 bits).
TIconDirectory DirectoryCheck(TPGStream& Stream) {
  TIconDirectory D;
  const int64_t Start = Stream.Position();
  const int64_t Avail = Stream.Size() - Start;
  if (Avail <= 6) return D;
  uint8_t H[6];
  Stream.ReadBuffer(H, 6);
  const int Reserved = U16(H), Type = U16(H + 2), Count = U16(H + 4);
  if (Reserved != 0 || (Type != 1 && Type != 2) || Count == 0 || 6 + int64_t(Count) * 16 > Avail) {
    Stream.SetPosition(Start);
    return D;
  }
  std::vector<uint8_t> Dir(size_t(Count) * 16);
  Stream.ReadBuffer(Dir.data(), Dir.size());
  Stream.SetPosition(Start);
  std::vector<TIconEntry> Entries(static_cast<size_t>(Count));
  for (int I = 0; I < Count; ++I) {
    const uint8_t* E = Dir.data() + 16 * I;
    Entries[size_t(I)].Bytes = U32(E + 8);
    Entries[size_t(I)].Offset = U32(E + 12);
    if (int64_t(Entries[size_t(I)].Offset) + Entries[size_t(I)].Bytes > Avail) return D;
  }
  D.Type = Type;
  D.Entries = std::move(Entries);
  return D;
}

// What an image says about itself: bitmap header, or the PNG header.
struct TIconImageInfo {
  bool PNG = false;
  int Width = 0, Height = 0, BitCount = 0;
};

std::optional<TIconImageInfo> DescribeImage(const uint8_t* P, size_t N) {
  TIconImageInfo I;
  if (IsPNG(P, N)) {
    if (N < 26) return std::nullopt;
    static const int Channels[7] = {1, 0, 3, 1, 2, 0, 4};
    I.PNG = true;
    I.Width = int(std::min<uint32_t>(U32BE(P + 16), 0x7FFFFFFF));
    I.Height = int(std::min<uint32_t>(U32BE(P + 20), 0x7FFFFFFF));
    I.BitCount = P[24] * (P[25] <= 6 ? Channels[P[25]] : 0);
    return I;
  }
  if (N < 40) return std::nullopt;
  I.Width = int32_t(U32(P + 4));
  I.Height = int32_t(U32(P + 8)) / 2; // the colour bitmap and the mask share the height
  I.BitCount = U16(P + 14);
  return I;
}

std::string ColorText(int BitCount) {
  switch (BitCount) {
  case 1:
    return "2";
  case 4:
    return "16";
  case 8:
    return "256";
  default:
    return "";
  }
}

// Reads the bytes of image Index of a checked directory.
std::vector<uint8_t> ReadImageBytes(TPGStream& Stream, int64_t Start, const TIconEntry& E) {
  std::vector<uint8_t> Buf(E.Bytes);
  if (Buf.empty()) return Buf;
  Stream.SetPosition(Start + E.Offset);
  Stream.ReadBuffer(Buf.data(), Buf.size());
  return Buf;
}

// Blends a colour channel onto white by its alpha.
inline uint8_t OnWhite(unsigned C, unsigned A) {
  return uint8_t((C * A + 255 * (255 - A) + 127) / 255);
}

// The decoded bitmap icon: colour table, colour bitmap and mask as stored (rows bottom-up).
class tIconHandler {
public:
  // False when the image is not a bitmap icon this handler decodes.
  bool Load(const uint8_t* P, size_t N) {
    Release();
    if (N < 40) return false;
    uint32_t HeaderSize = U32(P);
    // Later bitmap header versions put the colour table after their larger header.
    if (HeaderSize != 52 && HeaderSize != 56 && HeaderSize != 108 && HeaderSize != 124)
      HeaderSize = 40;
    const int32_t W = int32_t(U32(P + 4)), H2 = int32_t(U32(P + 8));
    const int BitCount = U16(P + 14);
    const uint32_t Compression = U32(P + 16), ColorsUsed = U32(P + 32);
    const int H = H2 / 2;
    if (W < 1 || H < 1 || W > kMaxIconSide || H > kMaxIconSide || Compression != 0) return false;
    if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 24 && BitCount != 32)
      return false;
    int Colors = 0;
    if (BitCount <= 8) {
      Colors = 1 << BitCount;
      if (ColorsUsed > 0 && ColorsUsed < uint32_t(Colors)) Colors = int(ColorsUsed);
    }
    const int64_t ColorRow = TPixelGraphic::RowBytesFor(W, BitCount);
    const int64_t MaskRow = TPixelGraphic::RowBytesFor(W, 1);
    const int64_t Needed = int64_t(HeaderSize) + 4 * int64_t(Colors) + (ColorRow + MaskRow) * H;
    if (Needed > int64_t(N)) return false;

    FWidth = W;
    FHeight = H;
    FBitCount = BitCount;
    FColorRow = ColorRow;
    FMaskRow = MaskRow;
    const uint8_t* T = P + HeaderSize;
    for (int I = 0; I < Colors; ++I)
      FColors.push_back(RGBOf(T[4 * I + 2], T[4 * I + 1], T[4 * I]));
    const uint8_t* Bits = T + 4 * Colors;
    FBits.assign(Bits, Bits + ColorRow * H);
    FMask.assign(Bits + ColorRow * H, Bits + (ColorRow + MaskRow) * H);
    // 32-bit icons carry alpha; an all-zero alpha channel means the mask alone decides.
    FUseAlpha = false;
    if (BitCount == 32)
      for (int Y = 0; Y < H && !FUseAlpha; ++Y)
        for (int X = 0; X < W; ++X)
          if (FBits[size_t(Y * ColorRow + 4 * X + 3)] != 0) {
            FUseAlpha = true;
            break;
          }
    return true;
  }

  void Release() {
    FColors.clear();
    FBits.clear();
    FMask.clear();
    FWidth = FHeight = FBitCount = 0;
  }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

  // Palette index of picture pixel (X, Y) (bitmaps of 1, 4 and 8 bits).
  int IndexAt(int X, int Y) const {
    const uint8_t* Row = &FBits[size_t(int64_t(FHeight - 1 - Y) * FColorRow)];
    switch (FBitCount) {
    case 1:
      return (Row[X >> 3] >> (7 - (X & 7))) & 1;
    case 4:
      return (X & 1) ? Row[X >> 1] & 15 : Row[X >> 1] >> 4;
    default:
      return Row[X];
    }
  }

  bool Masked(int X, int Y) const {
    const uint8_t* Row = &FMask[size_t(int64_t(FHeight - 1 - Y) * FMaskRow)];
    return (Row[X >> 3] >> (7 - (X & 7))) & 1;
  }

  TRGB ColorAt(int X, int Y) const {
    if (FBitCount == 32 && FUseAlpha) {
      const uint8_t* P = &FBits[size_t(int64_t(FHeight - 1 - Y) * FColorRow + 4 * X)];
      return RGBOf(OnWhite(P[2], P[3]), OnWhite(P[1], P[3]), OnWhite(P[0], P[3]));
    }
    if (Masked(X, Y)) return kMaskedColor;
    if (FBitCount >= 24) {
      const uint8_t* P =
          &FBits[size_t(int64_t(FHeight - 1 - Y) * FColorRow + (FBitCount / 8) * int64_t(X))];
      return RGBOf(P[2], P[1], P[0]);
    }
    const int I = IndexAt(X, Y);
    return I < int(FColors.size()) ? FColors[size_t(I)] : 0;
  }

private:
  int FWidth = 0, FHeight = 0, FBitCount = 0;
  int64_t FColorRow = 0, FMaskRow = 0;
  bool FUseAlpha = false;
  std::vector<TRGB> FColors;
  std::vector<uint8_t> FBits, FMask;
};

class tIcoFileFormatReader : public TFileFormatReader {
public:
  tIcoFileFormatReader() : TFileFormatReader("ico", "Windows Icon") { CanSniff = true; }
  std::string ClassName() const override { return "tIcoFileFormatReader"; }

  bool Sniff(const uint8_t* Header) override {
    return U16(Header) == 0 && U16(Header + 2) == 1 && U16(Header + 4) != 0;
  }

  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options) override {
    Image.Transparent = true;
    Image.TransparentColor = kMaskedColor;
    const int64_t Start = Stream.Position();
    const TIconDirectory D = DirectoryCheck(Stream);
    if (D.Type != 1 || D.Entries.empty()) IconError(kNotAnIcon);
    if (Index < 0 || size_t(Index) >= D.Entries.size()) IconError(kIndexOutOfBounds);
    const std::vector<uint8_t> Buf = ReadImageBytes(Stream, Start, D.Entries[size_t(Index)]);

    TProgressBracket Progress(Image);
    if (IsPNG(Buf.data(), Buf.size())) {
      ReadPNGImage(Buf, Image, Options);
      return;
    }
    // One handler per reading, so that readings on several threads cannot meet.
    tIconHandler Handler;
    if (!Handler.Load(Buf.data(), Buf.size())) IconError(kIndexOutOfBounds);
    const int W = Handler.Width(), H = Handler.Height();
    SetUpPicture(Image, W, H);
    for (int Y = 0; Y < H; ++Y) {
      uint8_t* Row = Image.ScanLine(Y);
      for (int X = 0; X < W; ++X) {
        const TRGB C = Handler.ColorAt(X, Y);
        Row[3 * X] = uint8_t(BlueOf(C));
        Row[3 * X + 1] = uint8_t(GreenOf(C));
        Row[3 * X + 2] = uint8_t(RedOf(C));
      }
      if (Image.DoProgress(Y, H - 1)) break;
    }
  }

  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options) override {
    TFileFormatReader::GetInfo(Stream, Index, Info, Options);
    const int64_t Start = Stream.Position();
    const TIconDirectory D = DirectoryCheck(Stream);
    if (D.Type != 1 || D.Entries.empty()) IconError(kNotAnIcon);
    Info.GraphicCount = int(D.Entries.size());
    int MinW = 0, MaxW = 0, MinBits = 0, MaxBits = 0;
    bool Any = false;
    for (size_t I = 0; I < D.Entries.size(); ++I) {
      // The headers are enough: at most the first 40 bytes of each image.
      TIconEntry E = D.Entries[I];
      E.Bytes = std::min<uint32_t>(E.Bytes, 40);
      const std::vector<uint8_t> Head = ReadImageBytes(Stream, Start, E);
      const auto Desc = DescribeImage(Head.data(), Head.size());
      if (!Desc) continue;
      if (I == 0) {
        Info.Width = Desc->Width;
        Info.Height = Desc->Height;
        Info.BitsPerPixel = Desc->BitCount;
      }
      MinW = Any ? std::min(MinW, Desc->Width) : Desc->Width;
      MaxW = Any ? std::max(MaxW, Desc->Width) : Desc->Width;
      MinBits = Any ? std::min(MinBits, Desc->BitCount) : Desc->BitCount;
      MaxBits = Any ? std::max(MaxBits, Desc->BitCount) : Desc->BitCount;
      Any = true;
    }
    Stream.SetPosition(Start);
    if (D.Entries.size() == 1) {
      Info.Colors = ColorText(Info.BitsPerPixel);
    } else if (Any) {
      Info.SubType = "Sizes " + std::to_string(MinW) + ".." + std::to_string(MaxW);
      Info.Options = "Colors " + ColorText(MinBits) + ".." + ColorText(MaxBits);
    }
  }

private:
  static void SetUpPicture(TPixelGraphic& Image, int W, int H) {
    Image.SetSize(W, H, 3);
    Image.Transparent = true;
    Image.TransparentColor = kMaskedColor;
    Image.SetPaletteCount(0);
  }

  // PNG images: decoded by the PNG reader with white behind transparent pixels.
  void ReadPNGImage(const std::vector<uint8_t>& Buf, TPixelGraphic& Image,
                    const TReadOptions& Options) {
    const auto Desc = DescribeImage(Buf.data(), Buf.size());
    if (!Desc || Desc->Width < 1 || Desc->Height < 1) IconError(kIndexOutOfBounds);
    if (int64_t(Desc->Width) * Desc->Height > Options.MaxPixelCount)
      throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));
    TPixelGraphic Sub;
    Sub.SetBackGroundColor(kMaskedColor);
    TPGMemoryStream M(Buf.data(), Buf.size());
    Sub.LoadFromStreamExt(M, "png", 0, Options);
    const int W = Sub.Width(), H = Sub.Height();
    SetUpPicture(Image, W, H);
    for (int Y = 0; Y < H; ++Y) {
      uint8_t* Row = Image.ScanLine(Y);
      for (int X = 0; X < W; ++X) {
        const TRGB C = Sub.GetPixelColor(X, Y);
        Row[3 * X] = uint8_t(BlueOf(C));
        Row[3 * X + 1] = uint8_t(GreenOf(C));
        Row[3 * X + 2] = uint8_t(RedOf(C));
      }
      if (Image.DoProgress(Y, H - 1)) break;
    }
  }
};

} // namespace

void RegisterICOFormats() {
  RegisterReader(std::make_unique<tIcoFileFormatReader>());
}

} // namespace orbisk
