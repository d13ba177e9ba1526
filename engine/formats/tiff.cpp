// TIFF reader: header and IFD parsing shared by ReadGraphic and GetInfo, strip decoding.
#include "engine/formats/tiff.h"

#include "engine/formats/formats.h"
#include "engine/formats/tifflib.h"
#include "engine/stream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace orbisk {

namespace {

enum : uint16_t {
  tagNewSubfileType = 254,
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagStripOffsets = 273,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagPlanarConfiguration = 284,
  tagColorMap = 320,
  tagOrientation = 274,
  tagTileWidth = 322,
  tagTileLength = 323,
  tagTileOffsets = 324,
  tagTileByteCounts = 325,
  tagExtraSamples = 338,
};

enum : uint16_t { ftByte = 1, ftShort = 3, ftLong = 4 };

enum : uint32_t {
  phWhiteIsZero = 0,
  phBlackIsZero = 1,
  phRGB = 2,
  phPalette = 3,
  phSeparated = 5,
};

[[noreturn]] void ReadError(const std::string& Text) {
  throw EPGTIFFileFormatReader("TIFF: " + Text);
}

[[noreturn]] void UnexpectedEnd() {
  ReadError(EngineMessage(msgUnexpectedEOF));
}

// An array tag as found in the IFD; its values are loaded on demand.
struct TArrayEntry {
  bool Present = false;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint8_t Field[4] = {0, 0, 0, 0};
};

// Everything the reader needs from one IFD, checked for consistency.
struct TTIFFImageInfo {
  bool BigEndian = false;
  int64_t Start = 0; // stream position of the TIFF data; offsets count from here
  int GraphicCount = 1;
  uint32_t Width = 0, Height = 0, Compression = 0, Photometric = 0, SamplesPerPixel = 0,
           PlanarConfiguration = 0;
  uint64_t RowsPerStrip = 0;
  int Orientation = 1; // camera orientation, 1..8
  // Why this reader cannot read the IFD although the library may ("" when it can): the text
  // the file fails with when the library makes nothing of it either.
  std::string Deferred;
  bool IndexInvalid = false; // Index names no IFD this reader counts
  bool Tiled = false;
  uint32_t ExtraSample = 0; // the first ExtraSamples value: 1 or 2 mark the fourth sample alpha
  std::vector<uint32_t> BitsPerSample, StripOffsets, StripByteCounts, ColorMap;

  uint32_t BitsPerPixel() const {
    uint64_t Sum = 0;
    for (uint32_t B : BitsPerSample)
      Sum += B;
    return static_cast<uint32_t>(std::min<uint64_t>(Sum, UINT32_MAX));
  }
};

class TTIFFParser {
public:
  TTIFFParser(TPGStream& S, const TReadOptions& O) : Stream(S), Options(O) {}

  TTIFFImageInfo Parse(int Index);

private:
  void ParseIFD(uint32_t IFDOffset, TTIFFImageInfo& Info);
  uint16_t U16(const uint8_t* P) const {
    return BigEndian ? uint16_t(P[0] << 8 | P[1]) : uint16_t(P[1] << 8 | P[0]);
  }
  uint32_t U32(const uint8_t* P) const {
    return BigEndian ? uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3]
                     : uint32_t(P[3]) << 24 | uint32_t(P[2]) << 16 | uint32_t(P[1]) << 8 | P[0];
  }
  // Reads Count bytes at Offset (relative to the TIFF start); false when they are not all there.
  bool ReadAt(uint64_t Offset, void* Buffer, uint64_t Count);
  int CountImages(uint32_t First, int Index, uint32_t& Chosen);
  std::vector<uint32_t> LoadArray(const TArrayEntry& E);

  TPGStream& Stream;
  const TReadOptions& Options;
  bool BigEndian = false;
  int64_t Start = 0;
  uint64_t Available = 0;
};

bool TTIFFParser::ReadAt(uint64_t Offset, void* Buffer, uint64_t Count) {
  if (Offset > Available || Count > Available - Offset) return false;
  if (Count == 0) return true;
  Stream.SetPosition(Start + static_cast<int64_t>(Offset));
  return Stream.Read(Buffer, Count) == Count;
}

// Follows the IFD chain; a broken or overlong chain counts as a single image.
int TTIFFParser::CountImages(uint32_t First, int Index, uint32_t& Chosen) {
  Chosen = First;
  uint32_t Offset = First;
  int Count = 0;
  while (Offset != 0) {
    uint8_t Buf[4];
    if (Count >= Options.TIFFMaxImages || !ReadAt(Offset, Buf, 2)) {
      Chosen = First;
      return 1;
    }
    uint64_t NextField = uint64_t(Offset) + 2 + 12 * uint64_t(U16(Buf));
    if (!ReadAt(NextField, Buf, 4)) {
      Chosen = First;
      return 1;
    }
    if (Count == Index) Chosen = Offset;
    ++Count;
    Offset = U32(Buf);
  }
  return Count;
}

std::vector<uint32_t> TTIFFParser::LoadArray(const TArrayEntry& E) {
  std::vector<uint32_t> Values;
  if (!E.Present) return Values;
  const uint64_t Size = E.Type == ftByte ? 1 : E.Type == ftShort ? 2 : 4;
  const uint64_t Bytes = Size * E.Count;
  std::vector<uint8_t> Raw;
  const uint8_t* P = E.Field;
  if (Bytes > 4) {
    // Checked against the data before anything is allocated.
    uint32_t Offset = U32(E.Field);
    if (Offset > Available || Bytes > Available - Offset) UnexpectedEnd();
    Raw.resize(Bytes);
    if (!ReadAt(Offset, Raw.data(), Bytes)) UnexpectedEnd();
    P = Raw.data();
  }
  Values.resize(E.Count);
  for (uint32_t I = 0; I < E.Count; ++I, P += Size)
    Values[I] = Size == 1 ? *P : Size == 2 ? U16(P) : U32(P);
  return Values;
}

TTIFFImageInfo TTIFFParser::Parse(int Index) {
  TTIFFImageInfo Info;
  Start = Stream.Position();
  int64_t Size = Stream.Size();
  Available = Size > Start ? uint64_t(Size - Start) : 0;
  Info.Start = Start;

  uint8_t Head[8];
  if (Stream.Read(Head, 8) != 8) ReadError(EngineMessage(msgNotAFile, "TIF"));
  if (Head[0] == 'I' && Head[1] == 'I')
    BigEndian = false;
  else if (Head[0] == 'M' && Head[1] == 'M')
    BigEndian = true;
  else
    ReadError(EngineMessage(msgNotAFile, "TIF"));
  Info.BigEndian = BigEndian;
  if (U16(Head + 2) == 43) { // BigTIFF: 64-bit offsets, for the library
    Info.Deferred = EngineMessage(msgNotAFile, "TIF");
    return Info;
  }
  if (U16(Head + 2) != 42) ReadError(EngineMessage(msgNotAFile, "TIF"));

  uint32_t IFDOffset = U32(Head + 4);
  if (Options.TIFFReadAllImages) Info.GraphicCount = CountImages(IFDOffset, Index, IFDOffset);
  // The first IFD still tells whether the library reads the file, and counts its pages itself.
  Info.IndexInvalid = Index < 0 || Index >= Info.GraphicCount;
  try {
    ParseIFD(IFDOffset, Info);
  } catch (const EPGTIFFileFormatReader&) {
    if (Info.IndexInvalid) ReadError(EngineMessage(msgInvalid, "Index"));
    throw;
  }
  return Info;
}

void TTIFFParser::ParseIFD(uint32_t IFDOffset, TTIFFImageInfo& Info) {
  uint8_t CountBuf[2];
  if (!ReadAt(IFDOffset, CountBuf, 2)) UnexpectedEnd();
  const uint32_t EntryCount = U16(CountBuf);
  if (uint64_t(IFDOffset) + 2 + 12 * uint64_t(EntryCount) > Available) UnexpectedEnd();
  std::vector<uint8_t> Entries(size_t(EntryCount) * 12);
  if (!ReadAt(uint64_t(IFDOffset) + 2, Entries.data(), Entries.size())) UnexpectedEnd();

  bool HasSamples = false, HasCompression = false;
  TArrayEntry Bits, Offsets, Counts, Map;
  for (uint32_t I = 0; I < EntryCount; ++I) {
    const uint8_t* E = &Entries[size_t(I) * 12];
    const uint16_t Tag = U16(E), Type = U16(E + 2);
    TArrayEntry* Array = Tag == tagBitsPerSample     ? &Bits
                         : Tag == tagStripOffsets    ? &Offsets
                         : Tag == tagStripByteCounts ? &Counts
                         : Tag == tagColorMap        ? &Map
                                                     : nullptr;
    uint32_t Unused = 0, RowsPerStrip = 0;
    uint32_t* Scalar = Tag == tagNewSubfileType        ? &Unused
                       : Tag == tagImageWidth          ? &Info.Width
                       : Tag == tagImageLength         ? &Info.Height
                       : Tag == tagCompression         ? &Info.Compression
                       : Tag == tagPhotometric         ? &Info.Photometric
                       : Tag == tagSamplesPerPixel     ? &Info.SamplesPerPixel
                       : Tag == tagRowsPerStrip        ? &RowsPerStrip
                       : Tag == tagPlanarConfiguration ? &Info.PlanarConfiguration
                                                       : nullptr;
    HasSamples |= Tag == tagSamplesPerPixel;
    HasCompression |= Tag == tagCompression;
    Info.Tiled |= Tag == tagTileWidth || Tag == tagTileLength || Tag == tagTileOffsets ||
                  Tag == tagTileByteCounts;
    if (Tag == tagExtraSamples) {
      Info.ExtraSample = Type == ftShort && U32(E + 4) >= 1 && U32(E + 4) <= 2 ? U16(E + 8) : 0;
      continue;
    }
    if (Tag == tagOrientation) {
      // Only a plain value is taken; anything else leaves the picture as stored.
      const uint32_t V = Type == ftShort && U32(E + 4) == 1 ? U16(E + 8) : 1;
      Info.Orientation = V >= 1 && V <= 8 ? int(V) : 1;
      continue;
    }
    if (!Array && !Scalar) continue;
    if (Type != ftByte && Type != ftShort && Type != ftLong)
      ReadError("Unsupported field Type: " + std::to_string(Type));
    if (Array) {
      Array->Present = true;
      Array->Type = Type;
      Array->Count = U32(E + 4);
      std::memcpy(Array->Field, E + 8, 4);
      continue;
    }
    // The last entry of a tag wins.
    *Scalar = Type == ftByte ? E[8] : Type == ftShort ? U16(E + 8) : U32(E + 8);
    if (Tag == tagRowsPerStrip) Info.RowsPerStrip = RowsPerStrip;
  }
  // Baseline defaults for tags that bilevel and grey writers often leave out.
  if (!HasSamples) Info.SamplesPerPixel = 1;
  if (!HasCompression) Info.Compression = kTIFFCompressionNone;

  const uint32_t Spp = Info.SamplesPerPixel;
  // Separate planes of one sample are the same as interleaved ones: still refused here.
  if (Info.PlanarConfiguration > 1) {
    if (Spp <= 1) ReadError(EngineMessage(msgInvalid, "PlanarConfiguration"));
    Info.Deferred = EngineMessage(msgInvalid, "PlanarConfiguration");
    return;
  }
  if (Spp != 1 && Spp != 3 && Spp != 4) {
    Info.Deferred = "Invalid SamplesPerPixel";
    return;
  }
  if (Bits.Present) {
    if (Bits.Count != Spp) ReadError("Invalid count of SamplesPerPixel");
    Info.BitsPerSample = LoadArray(Bits);
  } else {
    Info.BitsPerSample.assign(Spp, 1);
  }
  auto AllBits = [&](uint32_t B) {
    return std::all_of(Info.BitsPerSample.begin(), Info.BitsPerSample.end(),
                       [B](uint32_t V) { return V == B; });
  };
  const uint32_t Ph = Info.Photometric;
  const uint32_t B0 = Info.BitsPerSample[0];
  bool Accepted = false;
  if (Spp == 1)
    Accepted = (Ph == phWhiteIsZero || Ph == phBlackIsZero || Ph == phPalette) &&
               (B0 == 1 || B0 == 4 || B0 == 8);
  else if (Spp == 3)
    Accepted = Ph == phRGB && AllBits(8);
  else
    Accepted = (Ph == phRGB || Ph == phSeparated) && AllBits(8);
  if (!Accepted) {
    Info.Deferred = "Invalid SamplesPerPixel";
    return;
  }

  Info.StripOffsets = LoadArray(Offsets);
  if (Info.RowsPerStrip == 0) {
    if (Info.StripOffsets.size() != 1) {
      if (!Info.Tiled) ReadError("Invalid RowsPerStrip");
      Info.Deferred = "Invalid RowsPerStrip";
      return;
    }
    Info.RowsPerStrip = Info.Height;
  }
  Info.StripByteCounts = LoadArray(Counts);
  Info.ColorMap = LoadArray(Map);
}

// Compressions 1..6: their names in file information and in the rejection message.
const char* const kCompressionInfo[] = {"",           "Uncompr.", "CCITT 1D", "Group 3 F.",
                                        "Group 4 F.", "LZW",      "JPEG"};
const char* const kCompressionError[] = {"",    "",    "CCITT 1D", "Group 3 Fax", "Group 4 Fax",
                                         "LZW", "JPEG"};
const char* const kPhotometricInfo[] = {
    ", WhiteIsZero", ", BlackIsZero", ", RGB", ", RGB Palette", "", ", CMYK"};

std::string CompressionName(uint32_t C) {
  if (C == kTIFFCompressionPackBits) return "PackBits";
  return C <= 6 ? kCompressionInfo[C] : "";
}

// Names of the further compressions and colour spaces the library reads.
std::string LibraryCompressionName(uint32_t C) {
  switch (C) {
  case 7:
    return "JPEG";
  case 8:
  case 32946:
    return "Deflate";
  case 34925:
    return "LZMA";
  case 50000:
    return "ZSTD";
  case 50001:
    return "WebP";
  default:
    return CompressionName(C);
  }
}

std::string LibraryPhotometricName(uint32_t P) {
  if (P == 6) return ", YCbCr";
  if (P == 8) return ", CIELab";
  return P <= 5 ? kPhotometricInfo[P] : "";
}

// The library reads what this reader cannot, and pictures with an alpha channel (this reader
// would drop it).
bool ForLibrary(const TTIFFImageInfo& Info) {
  const bool Alpha = Info.SamplesPerPixel == 4 && Info.Photometric == phRGB &&
                     (Info.ExtraSample == 1 || Info.ExtraSample == 2);
  return !Info.Deferred.empty() || Info.Tiled || Alpha ||
         (Info.Compression != kTIFFCompressionNone && Info.Compression != kTIFFCompressionPackBits);
}

void CheckCompression(uint32_t C) {
  if (C == kTIFFCompressionNone || C == kTIFFCompressionPackBits) return;
  ReadError("Unsupported compression " +
            (C >= 2 && C <= 6 ? std::string(kCompressionError[C]) : std::to_string(C)));
}

// PackBits input read through a window of the stream.
class TPackBitsSource {
public:
  explicit TPackBitsSource(TPGStream& S) : Stream(S) {}
  void Restart() { Pos = Len = 0; }
  uint8_t Next() {
    if (Pos == Len) {
      Len = Stream.Read(Window, sizeof(Window));
      Pos = 0;
      if (Len == 0) UnexpectedEnd();
    }
    return Window[Pos++];
  }
  void DecodeRow(uint8_t* Row, size_t RowLen, int RowNumber) {
    size_t Filled = 0;
    while (Filled < RowLen) {
      const int N = static_cast<int8_t>(Next());
      if (N == -128) continue;
      const size_t Run = N >= 0 ? size_t(N) + 1 : size_t(1 - N);
      if (Run > RowLen - Filled)
        throw EPGTIFFileFormatReader(
            "TIFF (PackBits): " + EngineMessage(msgInvalidRowByteCount, std::to_string(RowNumber)));
      if (N >= 0) {
        for (size_t I = 0; I < Run; ++I)
          Row[Filled++] = Next();
      } else {
        std::memset(Row + Filled, Next(), Run);
        Filled += Run;
      }
    }
  }

private:
  TPGStream& Stream;
  uint8_t Window[4096];
  size_t Pos = 0, Len = 0;
};

// OnProgressEnd is raised at the end, also after an error.
struct TProgressEndGuard {
  TPixelGraphic& G;
  ~TProgressEndGuard() {
    try {
      G.DoProgressEnd();
    } catch (...) {
      // A failing handler must not turn an unwinding error into a terminate.
    }
  }
};

// Turns one stored row into pixels of picture row Y.
void StoreRow(const TTIFFImageInfo& Info, const uint8_t* Src, TPixelGraphic& Image, int Y) {
  uint8_t* Dst = Image.ScanLine(Y);
  const int W = Image.Width();
  const bool Invert = Info.Photometric == phWhiteIsZero;
  const uint32_t Bits = Info.BitsPerPixel();
  if (Bits == 1 || Bits == 4 || Bits == 8) {
    const size_t N = (size_t(Bits) * W + 7) / 8;
    // Stored rows have the same bit layout as the picture's rows.
    for (size_t I = 0; I < N; ++I)
      Dst[I] = Invert ? uint8_t(~Src[I]) : Src[I];
    const unsigned Used = unsigned((uint64_t(Bits) * W) % 8);
    if (Used) Dst[N - 1] &= uint8_t(0xFF << (8 - Used));
  } else if (Bits == 24) {
    for (int X = 0; X < W; ++X, Src += 3, Dst += 3) {
      Dst[0] = Src[2];
      Dst[1] = Src[1];
      Dst[2] = Src[0];
    }
  } else if (Info.Photometric == phSeparated) {
    for (int X = 0; X < W; ++X, Src += 4, Dst += 3) {
      const int K = Src[3];
      Dst[2] = uint8_t(std::max(255 - Src[0] - K, 0));
      Dst[1] = uint8_t(std::max(255 - Src[1] - K, 0));
      Dst[0] = uint8_t(std::max(255 - Src[2] - K, 0));
    }
  } else {
    for (int X = 0; X < W; ++X, Src += 4, Dst += 3) {
      Dst[0] = Src[2];
      Dst[1] = Src[1];
      Dst[2] = Src[0];
    }
  }
}

void SetupPalette(const TTIFFImageInfo& Info, TPixelGraphic& Image) {
  const uint32_t Bits = Info.BitsPerPixel();
  if (Info.Photometric != phPalette) {
    Image.SetPaletteKind(Bits == 1 ? pBlackWhite : Bits == 4 ? pGray16 : pGray256);
    return;
  }
  const size_t Entries = Info.ColorMap.size() / 3;
  if (Entries == 0) {
    // A two-colour file without a map still reads as black and white.
    Image.SetPaletteKind(pBlackWhite);
    return;
  }
  // Short maps are padded with black so every stored index has a colour.
  const int Capacity = Image.ColorCount();
  Image.SetPaletteCount(Capacity);
  // 16-bit channels; a map stored with a wider field type is clamped.
  auto Channel = [&](size_t I) { return std::min<uint32_t>(Info.ColorMap[I] >> 8, 255); };
  for (int I = 0; I < Capacity; ++I) {
    const size_t E = size_t(I);
    Image.SetPaletteEntry(
        I, E < Entries ? RGBOf(Channel(E), Channel(Entries + E), Channel(2 * Entries + E)) : 0);
  }
}

} // namespace

TTIFFileFormatReader::TTIFFileFormatReader(const char* Ext)
    : TFileFormatReader(Ext, "Tagged Image File Format") {}

bool TTIFFileFormatReader::Sniff(const uint8_t* H) {
  // 42: classic TIFF; 43: BigTIFF (read by the library).
  return (H[0] == 'I' && H[1] == 'I' && (H[2] == 0x2A || H[2] == 0x2B) && H[3] == 0) ||
         (H[0] == 'M' && H[1] == 'M' && H[2] == 0 && (H[3] == 0x2A || H[3] == 0x2B));
}

void TTIFFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                                       const TReadOptions& Options) {
  const int64_t Start = Stream.Position();
  if (Image.ReducedSize > 0 && Index == 0) {
    // A reduced-resolution copy of the page, when the file has one of a size that will do;
    // anything else (none, or one that fails) gives the page itself, as without the request.
    try {
      if (ReadReducedTIFFWithLibrary(Stream, Image, Options)) return;
    } catch (const TTIFFLibraryFailure&) {
    }
    Image.FullWidth = Image.FullHeight = 0;
    Stream.SetPosition(Start);
  }
  TTIFFParser Parser(Stream, Options);
  const TTIFFImageInfo Info = Parser.Parse(Index);
  if (ForLibrary(Info)) {
    try {
      Stream.SetPosition(Start);
      ReadTIFFWithLibrary(Stream, Image, Index, Options);
      return;
    } catch (const TTIFFLibraryFailure& F) {
      if (F.Final) throw EPGTIFFileFormatReader(F.Text);
    }
    // Nothing decoded: the file fails as this reader would fail it, or is read by it.
    if (!Info.Deferred.empty()) ReadError(Info.Deferred);
  }
  if (Info.IndexInvalid) ReadError(EngineMessage(msgInvalid, "Index"));
  CheckCompression(Info.Compression);
  if (Info.Width == 0 || Info.Height == 0) ReadError(EngineMessage(msgWidthOrHeightZero));
  if (Info.Width > uint32_t(INT_MAX) || Info.Height > uint32_t(INT_MAX) ||
      int64_t(Info.Width) * Info.Height > Options.MaxPixelCount)
    throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));

  // 64-bit, so that RowsPerStrip = 2^32 - 1 ("one strip") does not wrap around.
  uint64_t RowsPerStrip = Info.RowsPerStrip;
  const uint64_t Strips = (uint64_t(Info.Height) + RowsPerStrip - 1) / RowsPerStrip;
  if (Strips != Info.StripOffsets.size()) {
    const std::string Text = "NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
    if (Info.StripOffsets.size() != 1) ReadError(Text);
    // A single strip is taken whole; an OK-only box still ends in the error.
    const TWarningResult Answer = ReadWarning(Image, "TIFF-Warning", "TIFF: " + Text);
    if (Answer != wrContinue || Image.ReadWarningAction == pgwaOKBox) ReadError(Text);
    RowsPerStrip = Info.Height;
  }

  const uint32_t Bits = Info.BitsPerPixel();
  if (Info.Photometric == phPalette && Bits > 1 && Info.ColorMap.size() < 3)
    ReadError(EngineMessage(msgInvalid, "ColorMap"));
  Image.SetSize(int(Info.Width), int(Info.Height), BitCountToNum(Bits <= 8 ? int(Bits) : 24));
  if (Bits <= 8) SetupPalette(Info, Image);
  Image.ExifOrientation = Info.Orientation;

  const size_t RowLen = size_t((uint64_t(Bits) * Info.Width + 7) / 8);
  std::vector<uint8_t> Row(RowLen);
  TPackBitsSource PackBits(Stream);
  const bool Packed = Info.Compression == kTIFFCompressionPackBits;
  const int64_t StreamSize = Stream.Size();

  Image.DoProgressStart();
  TProgressEndGuard EndGuard{Image};
  const int H = int(Info.Height);
  for (int R = 0; R < H; ++R) {
    if (uint64_t(R) % RowsPerStrip == 0) {
      const int64_t Pos = Info.Start + Info.StripOffsets[size_t(uint64_t(R) / RowsPerStrip)];
      if (Pos > StreamSize) UnexpectedEnd();
      Stream.SetPosition(Pos);
      PackBits.Restart();
    }
    if (Packed)
      PackBits.DecodeRow(Row.data(), RowLen, R);
    else
      Stream.ReadBuffer(Row.data(), RowLen);
    StoreRow(Info, Row.data(), Image, R);
    if (Image.DoProgress(R, H)) break;
  }
}

void TTIFFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Out,
                                   const TReadOptions& Options) {
  TFileFormatReader::GetInfo(Stream, Index, Out, Options);
  const int64_t Start = Stream.Position();
  TTIFFParser Parser(Stream, Options);
  const TTIFFImageInfo Info = Parser.Parse(Index);
  if (ForLibrary(Info)) {
    try {
      Stream.SetPosition(Start);
      const TTIFFLibraryInfo L = DescribeTIFFWithLibrary(Stream, Index, Options);
      Out.GraphicCount = L.GraphicCount;
      Out.SubType = std::string(L.BigEndian ? "M, " : "I, ") +
                    LibraryCompressionName(L.Compression) + LibraryPhotometricName(L.Photometric);
      Out.Options = L.Decodable ? "" : "(Unsupported compression)";
      Out.Width = int(std::min<uint32_t>(L.Width, INT_MAX));
      Out.Height = int(std::min<uint32_t>(L.Height, INT_MAX));
      Out.BitsPerPixel = int(L.BitsPerPixel);
      Out.Colors = L.BitsPerPixel > 23 ? "16.7 M" : std::to_string(uint32_t(1) << L.BitsPerPixel);
      return;
    } catch (const TTIFFLibraryFailure& F) {
      if (F.Final) throw EPGTIFFileFormatReader(F.Text);
    }
    if (!Info.Deferred.empty()) ReadError(Info.Deferred);
  }
  if (Info.IndexInvalid) ReadError(EngineMessage(msgInvalid, "Index"));
  Out.GraphicCount = Info.GraphicCount;
  Out.SubType = std::string(Info.BigEndian ? "M, " : "I, ") + CompressionName(Info.Compression) +
                (Info.Photometric <= 5 ? kPhotometricInfo[Info.Photometric] : "");
  Out.Options = Info.Compression >= 2 && Info.Compression <= 6 ? "(Unsupported compression)" : "";
  Out.Width = int(std::min<uint32_t>(Info.Width, INT_MAX));
  Out.Height = int(std::min<uint32_t>(Info.Height, INT_MAX));
  const uint32_t Bits = Info.BitsPerPixel();
  Out.BitsPerPixel = int(Bits);
  Out.Colors = Bits > 23 ? "16.7 M" : std::to_string(uint32_t(1) << Bits);
}

void RegisterTIFFFormats() {
  RegisterReader(std::make_unique<TTIFFileFormatReader>());
  RegisterReader(std::make_unique<TTIFFFileFormatReader>());
  RegisterWriter(std::make_unique<TTIFFileFormatWriter>());
  RegisterWriter(std::make_unique<TTIFFFileFormatWriter>());
}

} // namespace orbisk
