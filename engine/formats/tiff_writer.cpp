// TIFF writer: one IFD, strips uncompressed or PackBits-coded, in either byte order.
#include "engine/formats/tiff.h"

#include "engine/imagemetadata.h"
#include "engine/palettes.h"
#include "engine/stream.h"

#include <algorithm>
#include <cstring>

namespace orbisk {

namespace {

[[noreturn]] void WriteError(const std::string& Text) {
  throw EPGTIFFileFormatWriter("TIFF: " + Text);
}

class TTIFFOut {
public:
  TTIFFOut(TPGStream& S, bool BE) : Stream(S), BigEndian(BE) {}
  void U16(uint16_t V) { BigEndian ? Stream.WriteU16BE(V) : Stream.WriteU16LE(V); }
  void U32(uint32_t V) { BigEndian ? Stream.WriteU32BE(V) : Stream.WriteU32LE(V); }
  // One IFD entry; a SHORT value sits in the first two bytes of the value field.
  void Entry(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) {
    U16(Tag);
    U16(Type);
    U32(Count);
    if (Type == 3 && Count == 1) {
      U16(uint16_t(Value));
      U16(0);
    } else {
      U32(Value);
    }
  }

private:
  TPGStream& Stream;
  bool BigEndian;
};

struct TOutEntry {
  uint16_t Tag, Type;
  uint32_t Count, Value;
  bool Raw = false; // Field holds the value field as it is written
  uint8_t Field[4] = {};
};

enum : uint16_t { ftByte = 1, ftShort = 3, ftLong = 4, ftRational = 5, ftUndefined = 7 };

// Builds stored row Y from the picture.
void BuildRow(TPixelGraphic& Image, int Y, bool Invert, bool CMYK, uint8_t* Out, size_t RowLen) {
  const uint8_t* Src = Image.ScanLine(Y);
  const int W = Image.Width();
  const int Code = Image.BitCountNum();
  if (Code < 3) {
    const int Bits = Image.BitCount();
    for (size_t I = 0; I < RowLen; ++I)
      Out[I] = Invert ? uint8_t(~Src[I]) : Src[I];
    // Bits past the last pixel are sent as 0.
    const unsigned Used = unsigned((int64_t(Bits) * W) % 8);
    if (Used) Out[RowLen - 1] &= uint8_t(0xFF << (8 - Used));
    return;
  }
  for (int X = 0; X < W; ++X, Src += 3) {
    const int R = Src[2], G = Src[1], B = Src[0];
    if (!CMYK) {
      *Out++ = uint8_t(R);
      *Out++ = uint8_t(G);
      *Out++ = uint8_t(B);
      continue;
    }
    const int C = 255 - R, M = 255 - G, Ye = 255 - B;
    const int K = std::min({C, M, Ye});
    *Out++ = uint8_t(C - K);
    *Out++ = uint8_t(M - K);
    *Out++ = uint8_t(Ye - K);
    *Out++ = uint8_t(K);
  }
}

} // namespace

void PackBitsEncodeRow(const uint8_t* B, size_t R, std::vector<uint8_t>& Out) {
  if (R == 0) return;
  // Length of the run of equal bytes each byte belongs to.
  std::vector<size_t> L(R);
  for (size_t I = 0; I < R;) {
    size_t J = I + 1;
    while (J < R && B[J] == B[I])
      ++J;
    std::fill(L.begin() + I, L.begin() + J, J - I);
    I = J;
  }
  // A run of two beside a single byte is cheaper inside the literal.
  for (size_t I = 1; I < R; ++I)
    if (L[I] == 2 && L[I - 1] == 1) L[I] = 1;
  for (size_t I = R - 1; I-- > 0;)
    if (L[I] == 2 && L[I + 1] == 1) L[I] = 1;
  for (size_t I = 0; I < R;) {
    size_t J = I;
    if (L[I] == 1) {
      while (J < R && L[J] == 1 && J - I < 128)
        ++J;
      Out.push_back(uint8_t(J - I - 1));
      Out.insert(Out.end(), B + I, B + J);
    } else {
      while (J < R && L[J] > 1 && B[J] == B[I] && J - I < 128)
        ++J;
      Out.push_back(uint8_t(1 - int(J - I)));
      Out.push_back(B[I]);
    }
    I = J;
  }
}

TTIFFileFormatWriter::TTIFFileFormatWriter(const char* Ext, bool IsListed)
    : TFileFormatWriter(Ext, "Tagged Image File Format", IsListed) {
  CanWriteResolutions = {0, 2, 3, 4, 5, 6, 7};
}

void TTIFFileFormatWriter::WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                                        const TWriteOptions& Options) {
  // Every check comes before the first byte is written.
  if (Options.TIFFCompression != kTIFFCompressionNone &&
      Options.TIFFCompression != kTIFFCompressionPackBits)
    WriteError("Internal Error");
  if (Image.Empty() || Image.Width() <= 0 || Image.Height() <= 0)
    WriteError(EngineMessage(msgWidthOrHeightZero));
  if (Options.TIFFXResolution.Denominator == 0)
    WriteError(EngineMessage(msgInvalid, "XResolution"));
  if (Options.TIFFYResolution.Denominator == 0)
    WriteError(EngineMessage(msgInvalid, "YResolution"));
  if (Options.TIFFResolutionUnit < 0 || Options.TIFFResolutionUnit > 2)
    WriteError(EngineMessage(msgInvalid, "ResolutionUnit"));

  const int64_t W = Image.Width(), H = Image.Height();
  const int Code = Image.BitCountNum();
  const TPaletteIdent Kind = Image.PaletteKind();
  const bool CMYK = Code == 3 && Options.TIFFWriteCMYK;
  const bool Packed = Options.TIFFCompression == kTIFFCompressionPackBits;
  const bool BE = Options.TIFFBigEndian;

  const int64_t RowLen = Code == 0   ? (W + 7) / 8
                         : Code == 1 ? (W + 1) / 2
                         : Code == 2 ? W
                                     : (CMYK ? 4 : 3) * W;
  const int64_t Worst = Packed ? 2 * RowLen : RowLen;
  const int64_t RowsPerStrip = std::clamp<int64_t>(32767 / Worst, 1, H);
  const int64_t Strips = (H + RowsPerStrip - 1) / RowsPerStrip;

  const bool Grey = (Code == 1 && Kind == pGray16) || (Code == 2 && Kind == pGray256);
  const bool Palette = (Code == 1 || Code == 2) && !Grey;
  const uint16_t Photometric = Code == 3                 ? (CMYK ? 5 : 2)
                               : Palette                 ? 3
                               : Options.TIFFWhiteIsZero ? 0
                                                         : 1;
  const bool Invert = Options.TIFFWhiteIsZero && (Grey || (Code == 0 && Kind == pBlackWhite));
  const uint16_t Samples = Code == 3 ? (CMYK ? 4 : 3) : 1;
  const uint16_t BitsPerSample = Code == 0 ? 1 : Code == 1 ? 4 : 8;
  const uint32_t MapEntries = Palette ? (1u << BitsPerSample) : 0;

  // The colour profile (34675), XMP packet (700) and EXIF data carried from a source file; the
  // EXIF block's describing tags join this directory, its Exif and GPS directories follow.
  const std::vector<uint8_t>& Icc = Image.Metadata.Icc;
  const std::string& Xmp = Image.Metadata.Xmp;
  // (Blocks of 4 bytes or less, which would stand in the entry, hold nothing worth keeping.)
  const bool WriteXmp = Xmp.size() > 4 && Xmp.size() < (1u << 30);
  const bool WriteIcc = Icc.size() > 4 && Icc.size() < (1u << 30);
  const int64_t XmpBytes = WriteXmp ? (int64_t(Xmp.size()) + 1) & ~int64_t(1) : 0;
  const int64_t IccBytes = WriteIcc ? (int64_t(Icc.size()) + 1) & ~int64_t(1) : 0;

  std::vector<TTIFFMetadataEntry> ExifEntries;
  std::vector<uint8_t> ExifData;
  if (!Image.Metadata.Exif.empty())
    ExifForTIFF(Image.Metadata.Exif, BE, 0, ExifEntries, ExifData); // sizes first

  // Layout: header, IFD, ColorMap, BitsPerSample array, resolutions, strip arrays, XMP, ICC
  // profile, EXIF directories, strips.
  const uint32_t EntryCount =
      (Palette ? 14 : 13) + (WriteXmp ? 1 : 0) + (WriteIcc ? 1 : 0) + uint32_t(ExifEntries.size());
  const int64_t IFDPos = 8;
  const int64_t MapPos = IFDPos + 2 + 12 * EntryCount + 4;
  const int64_t BitsPos = MapPos + 6 * int64_t(MapEntries);
  const int64_t XResPos = BitsPos + (Samples > 1 ? 2 * Samples : 0);
  const int64_t YResPos = XResPos + 8;
  const int64_t OffsetsPos = YResPos + 8;
  const int64_t CountsPos = OffsetsPos + (Strips > 1 ? 4 * Strips : 0);
  const int64_t XmpPos = CountsPos + (Strips > 1 ? 4 * Strips : 0);
  const int64_t IccPos = XmpPos + XmpBytes;
  const int64_t ExifPos = IccPos + IccBytes;
  const int64_t DataPos = ExifPos + int64_t(ExifData.size());
  if (!ExifEntries.empty() && ExifPos < int64_t(UINT32_MAX))
    ExifForTIFF(Image.Metadata.Exif, BE, uint32_t(ExifPos), ExifEntries, ExifData);
  // Offsets are 32 bits: refuse pictures whose file could pass 4 GB.
  if (DataPos + Strips + H * Worst > int64_t(UINT32_MAX))
    WriteError(EngineMessage(msgInvalidSizeOf, "TIFF"));

  const int64_t Start = Stream.Position();
  TTIFFOut Out(Stream, BE);
  Stream.WriteBuffer(BE ? "MM" : "II", 2);
  Out.U16(42);
  Out.U32(uint32_t(IFDPos));

  // The entries in ascending tag order, as TIFF wants them.
  std::vector<TOutEntry> Entries = {
      {254, ftLong, 1, 0},
      {256, ftLong, 1, uint32_t(W)},
      {257, ftLong, 1, uint32_t(H)},
      {258, ftShort, Samples, Samples > 1 ? uint32_t(BitsPos) : BitsPerSample},
      {259, ftShort, 1, uint32_t(Options.TIFFCompression)},
      {262, ftShort, 1, Photometric},
      {273, ftLong, uint32_t(Strips), Strips > 1 ? uint32_t(OffsetsPos) : 0},
      {277, ftShort, 1, Samples},
      {278, ftLong, 1, uint32_t(RowsPerStrip)},
      {279, ftLong, uint32_t(Strips), Strips > 1 ? uint32_t(CountsPos) : 0},
      {282, ftRational, 1, uint32_t(XResPos)},
      {283, ftRational, 1, uint32_t(YResPos)},
      {296, ftShort, 1, uint16_t(Options.TIFFResolutionUnit + 1)}};
  if (Palette) Entries.push_back({320, ftShort, 3 * MapEntries, uint32_t(MapPos)});
  if (WriteXmp) Entries.push_back({700, ftByte, uint32_t(Xmp.size()), uint32_t(XmpPos)});
  if (WriteIcc) Entries.push_back({34675, ftUndefined, uint32_t(Icc.size()), uint32_t(IccPos)});
  for (const TTIFFMetadataEntry& E : ExifEntries) {
    TOutEntry O{E.Tag, E.Type, E.Count, 0, true};
    std::memcpy(O.Field, E.Field, 4);
    Entries.push_back(O);
  }
  std::stable_sort(Entries.begin(), Entries.end(),
                   [](const TOutEntry& A, const TOutEntry& B) { return A.Tag < B.Tag; });
  int StripOffsetsEntry = 0, StripByteCountsEntry = 0;
  Out.U16(uint16_t(EntryCount));
  for (size_t I = 0; I < Entries.size(); ++I) {
    const TOutEntry& E = Entries[I];
    if (E.Tag == 273) StripOffsetsEntry = int(I);
    if (E.Tag == 279) StripByteCountsEntry = int(I);
    if (E.Raw) {
      Out.U16(E.Tag);
      Out.U16(E.Type);
      Out.U32(E.Count);
      Stream.WriteBuffer(E.Field, 4);
    } else {
      Out.Entry(E.Tag, E.Type, E.Count, E.Value);
    }
  }
  Out.U32(0);

  // Entries past the palette get the colour their pixels show (entry 0's).
  const std::vector<TRGB> Map = ShownPalette(Image, int(MapEntries));
  for (int Channel = 0; Channel < 3; ++Channel)
    for (uint32_t I = 0; I < MapEntries; ++I)
      Out.U16(uint16_t(((Map[I] >> (8 * Channel)) & 0xFF) * 256));
  if (Samples > 1)
    for (int I = 0; I < Samples; ++I)
      Out.U16(8);
  Out.U32(Options.TIFFXResolution.Numerator);
  Out.U32(Options.TIFFXResolution.Denominator);
  Out.U32(Options.TIFFYResolution.Numerator);
  Out.U32(Options.TIFFYResolution.Denominator);
  if (Strips > 1) {
    const std::vector<uint8_t> Room(size_t(8 * Strips), 0);
    Stream.WriteBuffer(Room.data(), Room.size());
  }
  if (WriteXmp) {
    Stream.WriteBuffer(Xmp.data(), Xmp.size());
    if (Xmp.size() % 2) Stream.WriteByte(0);
  }
  if (WriteIcc) {
    Stream.WriteBuffer(Icc.data(), Icc.size());
    if (Icc.size() % 2) Stream.WriteByte(0);
  }
  if (!ExifData.empty()) Stream.WriteBuffer(ExifData.data(), ExifData.size());

  std::vector<uint32_t> Offsets(size_t(Strips), 0), Counts(size_t(Strips), 0);
  std::vector<uint8_t> Row(static_cast<size_t>(RowLen)), Coded;
  Coded.reserve(size_t(Worst));
  int64_t Pos = DataPos, StripStart = DataPos;
  {
    TProgressScope Progress(Image);
    for (int64_t Y = 0; Y < H; ++Y) {
      const size_t Strip = size_t(Y / RowsPerStrip);
      if (Y % RowsPerStrip == 0) {
        if (Pos % 2) {
          Stream.WriteByte(0);
          ++Pos;
        }
        StripStart = Pos;
        Offsets[Strip] = uint32_t(Pos);
      }
      BuildRow(Image, int(Y), Invert, CMYK, Row.data(), Row.size());
      if (Packed) {
        Coded.clear();
        PackBitsEncodeRow(Row.data(), Row.size(), Coded);
        Stream.WriteBuffer(Coded.data(), Coded.size());
        Pos += int64_t(Coded.size());
      } else {
        Stream.WriteBuffer(Row.data(), Row.size());
        Pos += RowLen;
      }
      if ((Y + 1) % RowsPerStrip == 0 || Y == H - 1) Counts[Strip] = uint32_t(Pos - StripStart);
      // Stopping half-way would leave a broken file, so an abort request is not honoured.
      Image.DoProgress(int(Y), int(H - 1));
    }
  }

  if (Strips == 1) {
    Stream.SetPosition(Start + IFDPos + 2 + 12 * StripOffsetsEntry + 8);
    Out.U32(Offsets[0]);
    Stream.SetPosition(Start + IFDPos + 2 + 12 * StripByteCountsEntry + 8);
    Out.U32(Counts[0]);
  } else {
    Stream.SetPosition(Start + OffsetsPos);
    for (uint32_t V : Offsets)
      Out.U32(V);
    for (uint32_t V : Counts)
      Out.U32(V);
  }
  Stream.SetPosition(Start + Pos);
}

} // namespace orbisk
