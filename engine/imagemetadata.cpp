#include "engine/imagemetadata.h"

#include "engine/orientation.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include <libheif/heif.h>
#include <zlib.h>

namespace orbisk {

namespace {

// ---- random access to the bytes of a file or of a buffer, every read checked ----

class TSource {
public:
  virtual ~TSource() = default;
  virtual uint64_t Size() const = 0;
  // Exactly N bytes at Offset, or false.
  virtual bool Read(uint64_t Offset, size_t N, uint8_t* Out) = 0;
  bool Read(uint64_t Offset, size_t N, std::vector<uint8_t>& Out) {
    if (Offset > Size() || N > Size() - Offset) return false;
    Out.resize(N);
    return N == 0 || Read(Offset, N, Out.data());
  }
};

class TFileSource : public TSource {
public:
  explicit TFileSource(const std::string& Name) : F(std::fopen(Name.c_str(), "rb")) {
    if (F && std::fseek(F, 0, SEEK_END) == 0) {
      const long S = std::ftell(F);
      FSize = S > 0 ? uint64_t(S) : 0;
    }
  }
  ~TFileSource() override {
    if (F) std::fclose(F);
  }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;
  bool Open() const { return F != nullptr; }
  uint64_t Size() const override { return FSize; }
  bool Read(uint64_t Offset, size_t N, uint8_t* Out) override {
    if (!F || Offset > FSize || N > FSize - Offset) return false;
    if (std::fseek(F, long(Offset), SEEK_SET) != 0) return false;
    return std::fread(Out, 1, N, F) == N;
  }

private:
  std::FILE* F;
  uint64_t FSize = 0;
};

class TMemorySource : public TSource {
public:
  TMemorySource(const uint8_t* D, size_t S) : Data(D), FSize(D ? S : 0) {}
  uint64_t Size() const override { return FSize; }
  bool Read(uint64_t Offset, size_t N, uint8_t* Out) override {
    if (Offset > FSize || N > FSize - Offset) return false;
    if (N) std::memcpy(Out, Data + Offset, N);
    return true;
  }

private:
  const uint8_t* Data;
  size_t FSize;
};

uint16_t Get16(const uint8_t* P, bool BE) {
  return BE ? uint16_t((P[0] << 8) | P[1]) : uint16_t((P[1] << 8) | P[0]);
}
uint32_t Get32(const uint8_t* P, bool BE) {
  return BE ? (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | P[3]
            : (uint32_t(P[3]) << 24) | (uint32_t(P[2]) << 16) | (uint32_t(P[1]) << 8) | P[0];
}
void Put16(uint8_t* P, uint16_t V, bool BE) {
  P[BE ? 0 : 1] = uint8_t(V >> 8);
  P[BE ? 1 : 0] = uint8_t(V);
}
void Put32(uint8_t* P, uint32_t V, bool BE) {
  for (int I = 0; I < 4; ++I)
    P[BE ? 3 - I : I] = uint8_t(V >> (8 * I));
}
uint32_t GetBE32(const uint8_t* P) {
  return Get32(P, true);
}
uint32_t GetLE32(const uint8_t* P) {
  return Get32(P, false);
}

bool StartsWith(const std::vector<uint8_t>& D, size_t At, const char* Text, size_t N) {
  return D.size() >= At + N && std::memcmp(D.data() + At, Text, N) == 0;
}

// ---- TIFF-structured directories ----

// Bytes of one value of a field type (13 is a directory offset); 0 for unknown types.
size_t TypeSize(uint16_t Type) {
  static constexpr uint8_t kSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return Type < 14 ? kSizes[Type] : 0;
}

constexpr uint16_t kExifIFDTag = 34665, kGPSIFDTag = 34853, kInteropIFDTag = 40965;
constexpr uint16_t kPixelXTag = 40962, kPixelYTag = 40963;
constexpr size_t kMaxEntries = 1000;

struct TEntry {
  uint16_t Tag = 0, Type = 0;
  uint32_t Count = 0;
  std::vector<uint8_t> Data; // the values, in the block's byte order
  int Sub = -1;              // for directory pointers: the index of the directory pointed to
};
using TDir = std::vector<TEntry>;

// Reads the directory at Offset of a TIFF structure starting at Base. Keep decides which tags
// are taken; pointer tags are returned with their target offset in Data (4 bytes).
bool ReadDir(TSource& S, uint64_t Base, uint32_t Offset, bool BE, size_t& Budget,
             bool (*Keep)(uint16_t), TDir& Dir) {
  uint8_t B[12];
  if (!S.Read(Base + Offset, 2, B)) return false;
  const uint16_t N = Get16(B, BE);
  if (N > kMaxEntries) return false;
  for (uint16_t I = 0; I < N; ++I) {
    if (!S.Read(Base + Offset + 2 + 12ull * I, 12, B)) return false;
    TEntry E;
    E.Tag = Get16(B, BE);
    E.Type = Get16(B + 2, BE);
    E.Count = Get32(B + 4, BE);
    const size_t Unit = TypeSize(E.Type);
    if (!Unit || (Keep && !Keep(E.Tag))) continue;
    const uint64_t Bytes = uint64_t(Unit) * E.Count;
    if (Bytes > Budget) continue;
    if (Bytes <= 4) {
      E.Data.assign(B + 8, B + 8 + Bytes);
    } else if (!S.Read(Base + Get32(B + 8, BE), size_t(Bytes), E.Data)) {
      continue; // values outside the data: the entry is left out
    }
    Budget -= size_t(Bytes);
    Dir.push_back(std::move(E));
  }
  return true;
}

bool IsDirPointer(uint16_t Tag) {
  return Tag == kExifIFDTag || Tag == kGPSIFDTag || Tag == kInteropIFDTag;
}

// Bytes a directory takes when written: the entries, the link, and values past 4 bytes.
size_t DirBytes(const TDir& D) {
  size_t N = 2 + 12 * D.size() + 4;
  for (const TEntry& E : D)
    if (E.Data.size() > 4) N += (E.Data.size() + 1) & ~size_t(1);
  return N;
}

// Writes Dirs[0] (and the directories its pointers reach) as a TIFF structure.
std::vector<uint8_t> WriteBlock(const std::vector<TDir>& Dirs, bool BE) {
  std::vector<size_t> At(Dirs.size());
  size_t Pos = 8;
  for (size_t I = 0; I < Dirs.size(); ++I) {
    At[I] = Pos;
    Pos += DirBytes(Dirs[I]);
  }
  std::vector<uint8_t> Out(Pos, 0);
  Out[0] = Out[1] = BE ? 'M' : 'I';
  Put16(&Out[2], 42, BE);
  Put32(&Out[4], 8, BE);
  for (size_t I = 0; I < Dirs.size(); ++I) {
    TDir D = Dirs[I];
    std::stable_sort(D.begin(), D.end(),
                     [](const TEntry& A, const TEntry& B) { return A.Tag < B.Tag; });
    size_t P = At[I];
    size_t Data = P + 2 + 12 * D.size() + 4;
    Put16(&Out[P], uint16_t(D.size()), BE);
    P += 2;
    for (const TEntry& E : D) {
      Put16(&Out[P], E.Tag, BE);
      Put16(&Out[P + 2], E.Type, BE);
      Put32(&Out[P + 4], E.Count, BE);
      if (E.Sub >= 0) {
        Put32(&Out[P + 8], uint32_t(At[size_t(E.Sub)]), BE);
      } else if (E.Data.size() <= 4) {
        std::copy(E.Data.begin(), E.Data.end(), Out.begin() + long(P + 8));
      } else {
        Put32(&Out[P + 8], uint32_t(Data), BE);
        std::copy(E.Data.begin(), E.Data.end(), Out.begin() + long(Data));
        Data += (E.Data.size() + 1) & ~size_t(1);
      }
      P += 12;
    }
    // The link to a next directory stays 0: a block built here has no thumbnail.
  }
  return Out;
}

bool DescriptiveTag(uint16_t Tag) {
  switch (Tag) {
  case 269:   // DocumentName
  case 270:   // ImageDescription
  case 271:   // Make
  case 272:   // Model
  case 274:   // Orientation
  case 282:   // XResolution
  case 283:   // YResolution
  case 285:   // PageName
  case 296:   // ResolutionUnit
  case 305:   // Software
  case 306:   // DateTime
  case 315:   // Artist
  case 316:   // HostComputer
  case 318:   // WhitePoint
  case 319:   // PrimaryChromaticities
  case 33432: // Copyright
  case kExifIFDTag:
  case kGPSIFDTag:
    return true;
  default:
    return false;
  }
}

// Every tag but nested directory pointers (interoperability data is left behind).
bool PlainTag(uint16_t Tag) {
  return Tag != kInteropIFDTag && Tag != kExifIFDTag && Tag != kGPSIFDTag;
}

bool TIFFHeader(TSource& S, uint64_t Base, bool& BE, uint32_t& First) {
  uint8_t H[8];
  if (!S.Read(Base, 8, H)) return false;
  if (H[0] == 'I' && H[1] == 'I')
    BE = false;
  else if (H[0] == 'M' && H[1] == 'M')
    BE = true;
  else
    return false;
  if (Get16(H + 2, BE) != 42) return false;
  First = Get32(H + 4, BE);
  return First >= 8;
}

bool BuildExifFromTIFF(TSource& S, std::vector<uint8_t>& Exif) {
  Exif.clear();
  bool BE = false;
  uint32_t First = 0;
  if (!TIFFHeader(S, 0, BE, First)) return false;
  size_t Budget = kMaxExifBytes / 2;
  std::vector<TDir> Dirs(1);
  if (!ReadDir(S, 0, First, BE, Budget, DescriptiveTag, Dirs[0])) return false;
  bool Describes = false;
  for (size_t I = 0; I < Dirs[0].size(); ++I) {
    TEntry& E = Dirs[0][I];
    if (E.Tag != kExifIFDTag && E.Tag != kGPSIFDTag) {
      if (E.Tag == 271 || E.Tag == 272 || E.Tag == 306 || E.Tag == 315 || E.Tag == 33432 ||
          E.Tag == 270 || E.Tag == 274)
        Describes = true;
      continue;
    }
    TDir Sub;
    if (E.Count != 1 || E.Data.size() != 4 ||
        !ReadDir(S, 0, Get32(E.Data.data(), BE), BE, Budget, PlainTag, Sub)) {
      E.Count = 0; // marked for removal
      continue;
    }
    Describes = true;
    E.Type = 4;
    E.Sub = int(Dirs.size());
    Dirs.push_back(std::move(Sub));
  }
  std::erase_if(Dirs[0], [](const TEntry& E) { return IsDirPointer(E.Tag) && E.Sub < 0; });
  // Resolution tags alone are no camera data worth carrying.
  if (!Describes) return false;
  Exif = WriteBlock(Dirs, BE);
  return Exif.size() <= kMaxExifBytes;
}

bool MergedTag(uint16_t Tag) {
  return DescriptiveTag(Tag) && Tag != 282 && Tag != 283 && Tag != 296;
}

// The values of E turned from one byte order into the other, value by value.
void SwapValues(TEntry& E) {
  const size_t Unit = E.Type == 5 || E.Type == 10 ? 4 : TypeSize(E.Type);
  if (Unit < 2) return;
  for (size_t I = 0; I + Unit <= E.Data.size(); I += Unit)
    std::reverse(E.Data.begin() + long(I), E.Data.begin() + long(I + Unit));
}

// The value field of E for a file in byte order BE whose values past 4 bytes lie at At.
void Field(const TEntry& E, bool BE, uint32_t At, uint8_t* F) {
  std::memset(F, 0, 4);
  if (E.Data.size() <= 4)
    std::copy(E.Data.begin(), E.Data.end(), F);
  else
    Put32(F, At, BE);
}

// ---- in-place edits of an EXIF block ----

struct TBlockView {
  uint8_t* D;
  size_t Size;
  bool BE = false;
  bool Open() {
    if (Size < 8) return false;
    if (D[0] == 'I' && D[1] == 'I')
      BE = false;
    else if (D[0] == 'M' && D[1] == 'M')
      BE = true;
    else
      return false;
    return Get16(D + 2, BE) == 42;
  }
  bool U16(size_t At, uint16_t& V) const {
    if (At > Size || Size - At < 2) return false;
    V = Get16(D + At, BE);
    return true;
  }
  bool U32(size_t At, uint32_t& V) const {
    if (At > Size || Size - At < 4) return false;
    V = Get32(D + At, BE);
    return true;
  }
  // The entry of Tag in the directory at Dir: its position, or 0.
  size_t Find(uint32_t Dir, uint16_t Tag) const {
    uint16_t N = 0;
    if (Dir < 8 || !U16(Dir, N)) return 0;
    for (uint32_t I = 0; I < N; ++I) {
      const size_t E = size_t(Dir) + 2 + 12 * size_t(I);
      uint16_t T = 0;
      if (!U16(E, T) || E + 12 > Size) return 0;
      if (T == Tag) return E;
    }
    return 0;
  }
  // A Short or Long value of count 1 at entry E.
  bool Number(size_t E, uint32_t& V) const {
    uint16_t Type = 0;
    uint32_t Count = 0;
    if (!E || !U16(E + 2, Type) || !U32(E + 4, Count) || Count != 1) return false;
    if (Type == 3) {
      uint16_t S = 0;
      if (!U16(E + 8, S)) return false;
      V = S;
      return true;
    }
    return (Type == 4 || Type == 13) && U32(E + 8, V); // 13: a directory offset
  }
  // Stores V at entry E (Short when it was one and V fits, else Long).
  void SetNumber(size_t E, uint32_t V) {
    uint16_t Type = 0;
    U16(E + 2, Type);
    std::memset(D + E + 8, 0, 4);
    if (Type == 3 && V <= 0xFFFF) {
      Put16(D + E + 8, uint16_t(V), BE);
      return;
    }
    Put16(D + E + 2, 4, BE);
    Put32(D + E + 8, V, BE);
  }
};

// ---- files ----

bool Inflate(const uint8_t* Data, size_t Size, size_t Max, std::vector<uint8_t>& Out) {
  Out.clear();
  z_stream Z{};
  if (inflateInit(&Z) != Z_OK) return false;
  Z.next_in = const_cast<Bytef*>(Data);
  Z.avail_in = uInt(Size);
  uint8_t Buf[16384];
  int R = Z_OK;
  while (R == Z_OK) {
    Z.next_out = Buf;
    Z.avail_out = sizeof Buf;
    R = inflate(&Z, Z_NO_FLUSH);
    if (R != Z_OK && R != Z_STREAM_END) break;
    const size_t Got = sizeof Buf - Z.avail_out;
    if (Out.size() + Got > Max) {
      R = Z_MEM_ERROR;
      break;
    }
    Out.insert(Out.end(), Buf, Buf + Got);
    if (Got == 0 && Z.avail_in == 0 && R == Z_OK) break;
  }
  inflateEnd(&Z);
  if (R != Z_STREAM_END) Out.clear();
  return R == Z_STREAM_END;
}

const char kXmpSignature[] = "http://ns.adobe.com/xap/1.0/"; // followed by a NUL in JPEG files

void ReadJPEG(TSource& S, TImageMetadata& M) {
  std::map<int, std::vector<uint8_t>> IccChunks;
  int IccTotal = 0;
  uint64_t Pos = 2;
  std::vector<uint8_t> Seg;
  for (int Segments = 0; Segments < 10000; ++Segments) {
    uint8_t H[4];
    if (!S.Read(Pos, 2, H)) break;
    if (H[0] != 0xFF) break;
    const uint8_t Marker = H[1];
    if (Marker == 0xFF) { // fill byte
      ++Pos;
      continue;
    }
    if (Marker == 0xD8 || (Marker >= 0xD0 && Marker <= 0xD7) || Marker == 0x01) {
      Pos += 2;
      continue;
    }
    if (Marker == 0xDA || Marker == 0xD9) break; // image data: no more metadata segments
    if (!S.Read(Pos + 2, 2, H + 2)) break;
    const size_t Len = size_t((H[2] << 8) | H[3]);
    if (Len < 2) break;
    if (Marker == 0xE1 || Marker == 0xE2) {
      if (!S.Read(Pos + 4, Len - 2, Seg)) break;
      if (Marker == 0xE1 && M.Exif.empty() && StartsWith(Seg, 0, "Exif\0", 5)) {
        ExifBlockFromBytes(Seg.data(), Seg.size(), M.Exif);
      } else if (Marker == 0xE1 && M.Xmp.empty() &&
                 StartsWith(Seg, 0, kXmpSignature, sizeof kXmpSignature)) {
        M.Xmp.assign(Seg.begin() + sizeof kXmpSignature, Seg.end());
      } else if (Marker == 0xE2 && StartsWith(Seg, 0, "ICC_PROFILE\0", 12) && Seg.size() > 14) {
        const int Seq = Seg[12], Count = Seg[13];
        if (Seq >= 1 && Count >= 1 && Seq <= Count && (IccTotal == 0 || IccTotal == Count) &&
            !IccChunks.count(Seq)) {
          IccTotal = Count;
          IccChunks[Seq].assign(Seg.begin() + 14, Seg.end());
        }
      }
    }
    Pos += 2 + Len;
  }
  // The profile only when every chunk is there.
  if (IccTotal > 0 && int(IccChunks.size()) == IccTotal) {
    for (auto& [Seq, Bytes] : IccChunks)
      M.Icc.insert(M.Icc.end(), Bytes.begin(), Bytes.end());
    if (M.Icc.size() > kMaxIccBytes) M.Icc.clear();
  }
}

void ReadPNG(TSource& S, TImageMetadata& M) {
  uint64_t Pos = 8;
  std::vector<uint8_t> Data;
  for (int Chunks = 0; Chunks < 100000; ++Chunks) {
    uint8_t H[8];
    if (!S.Read(Pos, 8, H)) break;
    const uint32_t Len = GetBE32(H);
    const std::string Type(reinterpret_cast<const char*>(H + 4), 4);
    if (Len > 0x7FFFFFFFu || Type == "IEND") break;
    const bool Wanted = Type == "eXIf" || Type == "iCCP" || Type == "iTXt";
    if (Wanted && Len <= kMaxIccBytes && S.Read(Pos + 8, Len, Data)) {
      if (Type == "eXIf" && M.Exif.empty()) {
        ExifBlockFromBytes(Data.data(), Data.size(), M.Exif);
      } else if (Type == "iCCP" && M.Icc.empty()) {
        const auto Nul = std::find(Data.begin(), Data.end(), 0);
        if (Nul != Data.end() && Nul - Data.begin() <= 79 && Data.end() - Nul >= 2 && Nul[1] == 0)
          Inflate(&*(Nul + 2), size_t(Data.end() - Nul - 2), kMaxIccBytes, M.Icc);
      } else if (Type == "iTXt" && M.Xmp.empty() &&
                 StartsWith(Data, 0, "XML:com.adobe.xmp\0", 18)) {
        // keyword, compression flag and method, language tag, translated keyword, text
        size_t P = 18;
        if (P + 2 <= Data.size()) {
          const bool Compressed = Data[P] != 0;
          P += 2;
          for (int Skip = 0; Skip < 2 && P <= Data.size(); ++Skip) {
            const auto Nul = std::find(Data.begin() + long(P), Data.end(), 0);
            P = Nul == Data.end() ? Data.size() + 1 : size_t(Nul - Data.begin()) + 1;
          }
          if (P <= Data.size()) {
            if (!Compressed) {
              M.Xmp.assign(Data.begin() + long(P), Data.end());
            } else {
              std::vector<uint8_t> Text;
              if (Inflate(Data.data() + P, Data.size() - P, kMaxXmpBytes, Text))
                M.Xmp.assign(Text.begin(), Text.end());
            }
          }
        }
      }
    }
    Pos += 12ull + Len;
  }
}

void ReadTIFF(TSource& S, TImageMetadata& M) {
  bool BE = false;
  uint32_t First = 0;
  if (!TIFFHeader(S, 0, BE, First)) return;
  size_t Budget = kMaxIccBytes + kMaxXmpBytes;
  TDir Dir;
  if (!ReadDir(
          S, 0, First, BE, Budget, [](uint16_t T) { return T == 700 || T == 34675; }, Dir))
    return;
  for (const TEntry& E : Dir) {
    if (E.Tag == 34675 && M.Icc.empty() && E.Data.size() <= kMaxIccBytes) M.Icc = E.Data;
    if (E.Tag == 700 && M.Xmp.empty() && E.Data.size() <= kMaxXmpBytes)
      M.Xmp.assign(E.Data.begin(), E.Data.end());
  }
  BuildExifFromTIFF(S, M.Exif);
}

void ReadWebP(TSource& S, TImageMetadata& M) {
  uint8_t H[12];
  if (!S.Read(0, 12, H)) return;
  const uint64_t End = std::min<uint64_t>(S.Size(), 8ull + GetLE32(H + 4));
  uint64_t Pos = 12;
  std::vector<uint8_t> Data;
  for (int Chunks = 0; Chunks < 10000 && Pos + 8 <= End; ++Chunks) {
    if (!S.Read(Pos, 8, H)) break;
    const uint32_t Len = GetLE32(H + 4);
    const std::string Type(reinterpret_cast<const char*>(H), 4);
    const bool Wanted = Type == "EXIF" || Type == "ICCP" || Type == "XMP ";
    if (Wanted && Len <= kMaxIccBytes && S.Read(Pos + 8, Len, Data)) {
      if (Type == "EXIF" && M.Exif.empty()) ExifBlockFromBytes(Data.data(), Data.size(), M.Exif);
      if (Type == "ICCP" && M.Icc.empty()) M.Icc = Data;
      if (Type == "XMP " && M.Xmp.empty() && Data.size() <= kMaxXmpBytes)
        M.Xmp.assign(Data.begin(), Data.end());
    }
    Pos += 8ull + Len + (Len & 1);
  }
}

// HEIF and AVIF: the primary picture's metadata items and colour profile, through libheif's
// container parser (no decoding).
void ReadHEIF(const std::string& FileName, TImageMetadata& M) {
  static std::once_flag Once;
  std::call_once(Once, [] { heif_init(nullptr); });
  std::unique_ptr<heif_context, void (*)(heif_context*)> C(heif_context_alloc(), heif_context_free);
  if (!C || heif_context_read_from_file(C.get(), FileName.c_str(), nullptr).code != heif_error_Ok)
    return;
  heif_image_handle* Raw = nullptr;
  if (heif_context_get_primary_image_handle(C.get(), &Raw).code != heif_error_Ok || !Raw) return;
  std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle*)> H(
      Raw, heif_image_handle_release);
  std::vector<uint8_t> Data;
  const auto Block = [&](heif_item_id Id, size_t Max) {
    const size_t N = heif_image_handle_get_metadata_size(H.get(), Id);
    if (N == 0 || N > Max) return false;
    Data.resize(N);
    return heif_image_handle_get_metadata(H.get(), Id, Data.data()).code == heif_error_Ok;
  };
  heif_item_id Ids[16];
  int N = heif_image_handle_get_list_of_metadata_block_IDs(H.get(), "Exif", Ids, 16);
  for (int I = 0; I < N && M.Exif.empty(); ++I)
    // The block starts with the offset of the TIFF header behind it.
    if (Block(Ids[I], kMaxExifBytes) && Data.size() >= 4) {
      const uint32_t Skip = GetBE32(Data.data());
      if (Skip <= Data.size() - 4)
        ExifBlockFromBytes(Data.data() + 4 + Skip, Data.size() - 4 - Skip, M.Exif);
    }
  N = heif_image_handle_get_list_of_metadata_block_IDs(H.get(), "mime", Ids, 16);
  for (int I = 0; I < N && M.Xmp.empty(); ++I) {
    const char* Type = heif_image_handle_get_metadata_content_type(H.get(), Ids[I]);
    if (Type && std::strcmp(Type, "application/rdf+xml") == 0 && Block(Ids[I], kMaxXmpBytes))
      M.Xmp.assign(Data.begin(), Data.end());
  }
  const size_t Icc = heif_image_handle_get_raw_color_profile_size(H.get());
  if (Icc > 0 && Icc <= kMaxIccBytes) {
    M.Icc.resize(Icc);
    if (heif_image_handle_get_raw_color_profile(H.get(), M.Icc.data()).code != heif_error_Ok)
      M.Icc.clear();
  }
}

} // namespace

bool ExifBlockFromBytes(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Exif) {
  Exif.clear();
  if (!Data) return false;
  if (Size >= 6 && std::memcmp(Data, "Exif\0", 5) == 0) {
    Data += 6;
    Size -= 6;
  }
  if (Size < 8 || Size > kMaxExifBytes) return false;
  const bool II = std::memcmp(Data, "II*\0", 4) == 0, MM = std::memcmp(Data, "MM\0*", 4) == 0;
  if (!II && !MM) return false;
  Exif.assign(Data, Data + Size);
  return true;
}

bool ExifBlockFromTIFF(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Exif) {
  TMemorySource S(Data, Size);
  return BuildExifFromTIFF(S, Exif);
}

bool ExifForTIFF(const std::vector<uint8_t>& Exif, bool BE, uint32_t Base,
                 std::vector<TTIFFMetadataEntry>& Entries, std::vector<uint8_t>& Data) {
  Entries.clear();
  Data.clear();
  TMemorySource S(Exif.data(), Exif.size());
  bool SourceBE = false;
  uint32_t First = 0;
  if (!TIFFHeader(S, 0, SourceBE, First)) return false;
  size_t Budget = kMaxExifBytes;
  TDir Main;
  if (!ReadDir(S, 0, First, SourceBE, Budget, MergedTag, Main)) return false;
  std::vector<TDir> Subs;
  for (TEntry& E : Main) {
    if (!IsDirPointer(E.Tag)) continue;
    TDir Sub;
    if (E.Count == 1 && E.Data.size() == 4 &&
        ReadDir(S, 0, Get32(E.Data.data(), SourceBE), SourceBE, Budget, PlainTag, Sub)) {
      E.Sub = int(Subs.size());
      Subs.push_back(std::move(Sub));
    }
  }
  std::erase_if(Main, [](const TEntry& E) { return IsDirPointer(E.Tag) && E.Sub < 0; });
  if (Main.empty()) return false;
  const auto ByTag = [](const TEntry& A, const TEntry& B) { return A.Tag < B.Tag; };
  const auto Even = [](size_t N) { return (N + 1) & ~size_t(1); };
  const auto Prepare = [&](TDir& D) {
    std::stable_sort(D.begin(), D.end(), ByTag);
    if (SourceBE != BE)
      for (TEntry& E : D)
        SwapValues(E);
  };
  Prepare(Main);
  for (TDir& D : Subs)
    Prepare(D);
  // Layout from Base: the main entries' long values, then each directory with its values.
  size_t Size = 0;
  for (const TEntry& E : Main)
    if (E.Data.size() > 4) Size += Even(E.Data.size());
  std::vector<size_t> SubAt;
  for (const TDir& D : Subs) {
    SubAt.push_back(Size);
    Size += DirBytes(D);
  }
  if (uint64_t(Base) + Size > UINT32_MAX) return false;
  Data.assign(Size, 0);
  size_t P = 0;
  for (const TEntry& E : Main) {
    TTIFFMetadataEntry Out;
    Out.Tag = E.Tag;
    Out.Type = E.Sub >= 0 ? 4 : E.Type;
    Out.Count = E.Sub >= 0 ? 1 : E.Count;
    if (E.Sub >= 0) {
      Put32(Out.Field, uint32_t(Base + SubAt[size_t(E.Sub)]), BE);
    } else {
      Field(E, BE, uint32_t(Base + P), Out.Field);
      if (E.Data.size() > 4) {
        std::copy(E.Data.begin(), E.Data.end(), Data.begin() + long(P));
        P += Even(E.Data.size());
      }
    }
    Entries.push_back(Out);
  }
  for (size_t I = 0; I < Subs.size(); ++I) {
    const TDir& D = Subs[I];
    size_t At = SubAt[I], Values = At + 2 + 12 * D.size() + 4;
    Put16(&Data[At], uint16_t(D.size()), BE);
    for (const TEntry& E : D) {
      uint8_t* F = &Data[At + 2];
      Put16(F, E.Tag, BE);
      Put16(F + 2, E.Type, BE);
      Put32(F + 4, E.Count, BE);
      Field(E, BE, uint32_t(Base + Values), F + 8);
      if (E.Data.size() > 4) {
        std::copy(E.Data.begin(), E.Data.end(), Data.begin() + long(Values));
        Values += Even(E.Data.size());
      }
      At += 12;
    }
  }
  return true;
}

TImageMetadata ReadImageMetadata(const std::string& FileName) {
  TImageMetadata M;
  try {
    TFileSource S(FileName);
    uint8_t H[12] = {};
    if (!S.Open() || !S.Read(0, std::min<uint64_t>(12, S.Size()), H)) return M;
    if (H[0] == 0xFF && H[1] == 0xD8)
      ReadJPEG(S, M);
    else if (std::memcmp(H, "\x89PNG\r\n\x1a\n", 8) == 0)
      ReadPNG(S, M);
    else if (std::memcmp(H, "II*\0", 4) == 0 || std::memcmp(H, "MM\0*", 4) == 0)
      ReadTIFF(S, M);
    else if (std::memcmp(H, "RIFF", 4) == 0 && std::memcmp(H + 8, "WEBP", 4) == 0)
      ReadWebP(S, M);
    else if (std::memcmp(H + 4, "ftyp", 4) == 0)
      ReadHEIF(FileName, M);
  } catch (...) {
    return {};
  }
  return M;
}

void FitMetadataToPicture(TImageMetadata& M, int Width, int Height, bool ResetOrientation) {
  if (M.Exif.empty()) return;
  const bool Turned = ResetOrientation && OrientationFromExif(M.Exif.data(), M.Exif.size()) != 1;
  if (ResetOrientation) ResetExifOrientation(M.Exif.data(), M.Exif.size());
  TBlockView B{M.Exif.data(), M.Exif.size()};
  uint32_t IFD0 = 0;
  if (!B.Open() || !B.U32(4, IFD0)) return;
  bool SizeChanged = false;
  uint32_t ExifIFD = 0;
  if (B.Number(B.Find(IFD0, kExifIFDTag), ExifIFD) && Width > 0 && Height > 0) {
    const size_t EX = B.Find(ExifIFD, kPixelXTag), EY = B.Find(ExifIFD, kPixelYTag);
    uint32_t OldW = 0, OldH = 0;
    if (B.Number(EX, OldW)) {
      SizeChanged |= OldW != uint32_t(Width);
      B.SetNumber(EX, uint32_t(Width));
    }
    if (B.Number(EY, OldH)) {
      SizeChanged |= OldH != uint32_t(Height);
      B.SetNumber(EY, uint32_t(Height));
    }
  }
  // The thumbnail (the second directory) shows the picture as it was: unlinked when the pixels
  // were turned or resized.
  uint16_t N = 0;
  if ((Turned || SizeChanged) && B.U16(IFD0, N)) {
    const size_t Link = size_t(IFD0) + 2 + 12 * size_t(N);
    if (Link + 4 <= M.Exif.size()) Put32(M.Exif.data() + Link, 0, B.BE);
  }
}

} // namespace orbisk
