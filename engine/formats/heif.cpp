#include "engine/formats/heif.h"

#include "engine/formats/avif.h"
#include "engine/formats/decodedrows.h"
#include "engine/formats/formats.h"
#include "engine/messages.h"
#include "engine/stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include <libheif/heif.h>

namespace orbisk {

namespace {

const std::string kTag = "HEIF: ";
const char* const kDescription = "High Efficiency Image File Format";

[[noreturn]] void Fail(const std::string& Text) {
  throw EPGHEIFFileFormatReader(kTag + Text);
}

const TFailFn kFail = [](const std::string& T) { Fail(T); };

void Check(const heif_error& E) {
  if (E.code != heif_error_Ok) Fail(E.message && *E.message ? E.message : "Corrupt data");
}

std::once_flag& HEIFInitOnce() {
  static std::once_flag Once;
  return Once;
}

// Brands of HEIF files whose pictures this reader decodes (HEVC coded or general).
bool IsHEIFBrand(const std::string& B) {
  static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                        "hevm", "hevs", "mif1", "msf1", "mif2"};
  for (const char* K : kBrands)
    if (B == K) return true;
  return false;
}

// AVIF files (by their major brand, or a general one with AVIF among the compatible brands and
// no HEVC brand) go to the AVIF reader: one AV1 path for every AVIF file.
bool IsAVIFUnderGeneralBrand(const std::vector<uint8_t>& Data) {
  const std::string Major = Data.size() >= 12 ? FileTypeBrand(Data.data()) : "";
  if (Major == "avif" || Major == "avis") return true;
  return (Major == "mif1" || Major == "msf1" || Major == "mif2") &&
         (HasCompatibleBrand(Data, "avif") || HasCompatibleBrand(Data, "avis")) &&
         !HasCompatibleBrand(Data, "heic") && !HasCompatibleBrand(Data, "heix");
}

// The coded item types libheif has a decoder for here, and the derived ones it assembles.
const TItemTypes& HEIFItemTypes() {
  static const TItemTypes Types = [] {
    std::call_once(HEIFInitOnce(), [] { heif_init(nullptr); });
    TItemTypes T;
    if (heif_have_decoder_for_format(heif_compression_HEVC)) T.Coded.push_back("hvc1");
    if (heif_have_decoder_for_format(heif_compression_AV1)) T.Coded.push_back("av01");
    if (heif_have_decoder_for_format(heif_compression_JPEG)) T.Coded.push_back("jpeg");
    T.Derived = {"grid", "iovl", "iden"};
    return T;
  }();
  return Types;
}

// Whether thumbnail item Thumbnail is one coded picture (no grid: its tiles are not checked
// like the primary picture's) with the same crop, rotation and mirror as the primary picture, so
// that decoded it shows what the primary picture shows.
bool ThumbnailUsable(const std::vector<uint8_t>& Data, uint32_t Thumbnail);

struct TContext {
  heif_context* C = nullptr;
  heif_image_handle* H = nullptr;
  TContext() {
    std::call_once(HEIFInitOnce(), [] { heif_init(nullptr); });
    C = heif_context_alloc();
    if (!C) Fail("Out of memory");
  }
  ~TContext() {
    if (H) heif_image_handle_release(H);
    heif_context_free(C);
  }
  TContext(const TContext&) = delete;
  TContext& operator=(const TContext&) = delete;

  // Parses the container and takes the primary picture. The item boxes are checked first: the
  // library trusts overlays' inputs, and spends long in its parser on files of many items.
  void Open(const std::vector<uint8_t>& Data, int64_t MaxPixelCount) {
    CheckPrimaryItems(Data, HEIFItemTypes(), kFail, MaxPixelCount);
    heif_context_set_max_decoding_threads(C, CodecThreadCount());
    Check(heif_context_read_from_memory_without_copy(C, Data.data(), Data.size(), nullptr));
    Check(heif_context_get_primary_image_handle(C, &H));
  }
};

struct TDecodingOptions {
  heif_decoding_options* O = heif_decoding_options_alloc();
  ~TDecodingOptions() { heif_decoding_options_free(O); }
  TDecodingOptions(const TDecodingOptions&) = delete;
  TDecodingOptions& operator=(const TDecodingOptions&) = delete;
  TDecodingOptions() = default;
};

struct TImage {
  heif_image* I = nullptr;
  ~TImage() {
    if (I) heif_image_release(I);
  }
};

} // namespace

THEICFileFormatReader::THEICFileFormatReader(const char* Ext)
    : TFileFormatReader(Ext, kDescription) {
  ListGroup = 1;
  CanSniff = true;
}

bool THEICFileFormatReader::Sniff(const uint8_t* Header) {
  return IsHEIFBrand(FileTypeBrand(Header));
}

namespace {

// Decodes the picture of Handle (the primary picture or a thumbnail) into Image.
void DecodeHandle(heif_image_handle* Handle, TPixelGraphic& Image, int64_t MaxPixelCount) {
  const bool Alpha = heif_image_handle_has_alpha_channel(Handle) != 0;
  TDecodingOptions Options;
  if (!Options.O) Fail("Out of memory");
  Options.O->convert_hdr_to_8bit = 1;
  TImage Img;
  Check(heif_decode_image(Handle, &Img.I, heif_colorspace_RGB,
                          Alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          Options.O));
  int Stride = 0;
  const uint8_t* Plane = heif_image_get_plane_readonly(Img.I, heif_channel_interleaved, &Stride);
  const int W = heif_image_get_width(Img.I, heif_channel_interleaved);
  const int H = heif_image_get_height(Img.I, heif_channel_interleaved);
  if (!Plane || heif_image_get_bits_per_pixel(Img.I, heif_channel_interleaved) != (Alpha ? 32 : 24))
    Fail(EngineMessage(msgNotSupportedSubformat));
  CheckPictureSize(W, H, kFail, MaxPixelCount);
  if (Stride < W * (Alpha ? 4 : 3)) Fail(EngineMessage(msgInvalidRowByteCount));

  TDecodedRows Rows;
  Rows.Data = Plane;
  Rows.Stride = Stride;
  Rows.Width = W;
  Rows.Height = H;
  Rows.Channels = Alpha ? 4 : 3;
  Rows.RedFirst = true;
  // The library hands premultiplied colours out as the file stores them.
  Rows.Premultiplied = Alpha && (heif_image_is_premultiplied_alpha(Img.I) ||
                                 heif_image_handle_is_premultiplied_alpha(Handle));
  StoreDecodedRows(Image, Rows);
}

struct THandle {
  heif_image_handle* H = nullptr;
  ~THandle() {
    if (H) heif_image_handle_release(H);
  }
};

// A reduced decode from the primary picture's thumbnail: the smallest one that answers the
// request, shows the primary picture's geometry and its proportions. False when there is none,
// or it fails to decode (the primary picture may still be sound).
bool ReadThumbnail(const TContext& Ctx, const std::vector<uint8_t>& Data, TPixelGraphic& Image,
                   int64_t MaxPixelCount) {
  const int64_t FullW = heif_image_handle_get_width(Ctx.H);
  const int64_t FullH = heif_image_handle_get_height(Ctx.H);
  const int Count = std::min(heif_image_handle_get_number_of_thumbnails(Ctx.H), 16);
  if (Count <= 0) return false;
  std::vector<heif_item_id> Ids(size_t(Count), 0);
  Ids.resize(
      size_t(std::max(0, heif_image_handle_get_list_of_thumbnail_IDs(Ctx.H, Ids.data(), Count))));
  THandle Best;
  int64_t BestPixels = INT64_MAX;
  for (const heif_item_id Id : Ids) {
    THandle T;
    if (heif_image_handle_get_thumbnail(Ctx.H, Id, &T.H).code != heif_error_Ok || !T.H) continue;
    const int64_t W = heif_image_handle_get_width(T.H), H = heif_image_handle_get_height(T.H);
    // The same proportions, to a pixel: a thumbnail turned unlike the picture is not taken.
    if (!ReducedSizeFits(FullW, FullH, W, H, Image.ReducedSize) || W * H >= BestPixels ||
        std::abs(W * FullH - H * FullW) > std::max(FullW, FullH) || !ThumbnailUsable(Data, Id))
      continue;
    std::swap(Best.H, T.H);
    BestPixels = W * H;
  }
  if (!Best.H) return false;
  try {
    DecodeHandle(Best.H, Image, MaxPixelCount);
  } catch (const EPGHEIFFileFormatReader&) {
    return false;
  }
  if (!ReducedSizeFits(FullW, FullH, Image.Width(), Image.Height(), Image.ReducedSize))
    return false;
  Image.FullWidth = int(FullW);
  Image.FullHeight = int(FullH);
  return true;
}

} // namespace

void THEICFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                                        const TReadOptions& Options) {
  if (Index != 0) Fail(EngineMessage(msgInvalid, "Index"));
  const std::vector<uint8_t> Data = ReadRemaining(Stream, kFail);
  if (IsAVIFUnderGeneralBrand(Data)) return DecodeAVIF(Data, Image, Options);
  Image.FileGamma = Options.ScreenGamma; // the samples are shown as they are

  TContext Ctx;
  Ctx.Open(Data, Options.MaxPixelCount);
  // Both the coded size and the size after the container's turns must fit the pixel limit.
  CheckPictureSize(heif_image_handle_get_ispe_width(Ctx.H),
                   heif_image_handle_get_ispe_height(Ctx.H), kFail, Options.MaxPixelCount);
  CheckPictureSize(heif_image_handle_get_width(Ctx.H), heif_image_handle_get_height(Ctx.H), kFail,
                   Options.MaxPixelCount);
  // The container's own turns (irot/imir), which libheif applies, give the picture as it is
  // shown; the EXIF Orientation of such files repeats them and is not applied a second time.

  if (Image.ReducedSize > 0 && ReadThumbnail(Ctx, Data, Image, Options.MaxPixelCount)) return;
  DecodeHandle(Ctx.H, Image, Options.MaxPixelCount);
}

void THEICFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
                                    const TReadOptions& Options) {
  TFileFormatReader::GetInfo(Stream, Index, Info, Options);
  if (Index != 0) Fail(EngineMessage(msgInvalidValueFor, "Index"));
  const std::vector<uint8_t> Data = ReadRemaining(Stream, kFail);
  if (IsAVIFUnderGeneralBrand(Data)) return DescribeAVIF(Data, Info, Options.MaxPixelCount);
  TContext Ctx;
  Ctx.Open(Data, Options.MaxPixelCount);
  Info.Width = heif_image_handle_get_width(Ctx.H);
  Info.Height = heif_image_handle_get_height(Ctx.H);
  const int Bits = heif_image_handle_get_luma_bits_per_pixel(Ctx.H);
  const bool Alpha = heif_image_handle_has_alpha_channel(Ctx.H) != 0;
  Info.BitsPerPixel = Bits > 0 ? Bits * (Alpha ? 4 : 3) : 0;
  Info.Colors = std::string(Bits > 8 ? "1073.7M" : "16.7M");
  std::string Sub = FileTypeBrand(Data.data()) + ", " + std::to_string(Bits) + "-bit";
  if (Alpha) Sub += ", alpha";
  const int Count = heif_context_get_number_of_top_level_images(Ctx.C);
  if (Count > 1) Sub += ", " + std::to_string(Count) + " pictures";
  Info.SubType = Sub;
}

// ---- the item boxes, read before the library sees the file ----

namespace {

// Reads big-endian fields of one box's payload; running past its end fails.
struct TCursor {
  const uint8_t* D;
  size_t P, End;
  const TFailFn& Fail;
  const char* Box;

  uint64_t U(int Bytes) {
    if (Bytes < 0 || size_t(Bytes) > End - P) Fail(EngineMessage(msgInvalid, Box));
    uint64_t V = 0;
    for (int K = 0; K < Bytes; ++K)
      V = (V << 8) | D[P++];
    return V;
  }
  void Skip(size_t N) {
    if (N > End - P) Fail(EngineMessage(msgInvalid, Box));
    P += N;
  }
};

struct TBox {
  std::string Type;
  size_t Body = 0, End = 0;
};

// The box starting at Pos (before End); false at End. Pos moves past it.
bool NextBox(const std::vector<uint8_t>& D, size_t& Pos, size_t End, TBox& B, const TFailFn& Fail) {
  if (Pos >= End) return false;
  TCursor C{D.data(), Pos, End, Fail, "Box"};
  uint64_t Size = C.U(4);
  B.Type.assign(reinterpret_cast<const char*>(D.data() + C.P), std::min<size_t>(4, End - C.P));
  C.Skip(4);
  if (Size == 1)
    Size = C.U(8);
  else if (Size == 0)
    Size = End - Pos;
  if (Size < C.P - Pos || Size > End - Pos) Fail(EngineMessage(msgInvalid, "Box"));
  B.Body = C.P;
  B.End = Pos + size_t(Size);
  Pos = B.End;
  return true;
}

struct TItems {
  uint32_t Primary = 0;
  bool HavePrimary = false;
  std::map<uint32_t, std::string> Types;
  std::map<uint32_t, std::vector<uint32_t>> Derived; // dimg: item -> its inputs
  std::map<uint32_t, std::vector<uint32_t>> Aux;     // auxl: picture -> its auxiliary items
  std::set<uint32_t> Located;                        // items with an iloc entry
  // Where an item's data starts (its first extent): in the file, or in the idat box.
  struct TPlace {
    int Method = 0;
    uint64_t Offset = 0, Length = 0;
  };
  std::map<uint32_t, TPlace> Places;
  size_t IdatBody = 0, IdatEnd = 0;
  // The item properties (ipco: type and first payload byte) and each item's associations (ipma:
  // 1-based indices into Properties).
  std::vector<std::pair<std::string, int>> Properties;
  std::map<uint32_t, std::vector<uint32_t>> Associations;
};

void ReadItemInfos(const std::vector<uint8_t>& D, const TBox& B, TItems& It, const TFailFn& Fail) {
  TCursor C{D.data(), B.Body, B.End, Fail, "iinf"};
  const int Version = int(C.U(1));
  C.Skip(3);
  const uint64_t Count = C.U(Version == 0 ? 2 : 4);
  if (Count > uint64_t(kMaxFileItems)) Fail(EngineMessage(msgInvalid, "Number of items"));
  size_t Pos = C.P;
  TBox E;
  int Seen = 0;
  while (NextBox(D, Pos, B.End, E, Fail)) {
    if (E.Type != "infe") continue;
    if (++Seen > kMaxFileItems) Fail(EngineMessage(msgInvalid, "Number of items"));
    TCursor F{D.data(), E.Body, E.End, Fail, "infe"};
    const int V = int(F.U(1));
    F.Skip(3);
    const uint32_t Id = uint32_t(F.U(V <= 2 ? 2 : 4));
    std::string Type; // none before version 2: such items are never decoded
    if (V >= 2) {
      F.Skip(2); // protection index
      Type.assign(reinterpret_cast<const char*>(D.data() + F.P), std::min<size_t>(4, F.End - F.P));
      F.Skip(4);
    }
    // An id listed twice would be read one way here and another way by the library.
    if (!It.Types.emplace(Id, Type).second) Fail(EngineMessage(msgInvalid, "iinf"));
  }
}

void ReadReferences(const std::vector<uint8_t>& D, const TBox& B, TItems& It, const TFailFn& Fail) {
  TCursor C{D.data(), B.Body, B.End, Fail, "iref"};
  const int Version = int(C.U(1));
  C.Skip(3);
  const int IdBytes = Version == 0 ? 2 : 4;
  size_t Pos = C.P;
  TBox R;
  while (NextBox(D, Pos, B.End, R, Fail)) {
    TCursor F{D.data(), R.Body, R.End, Fail, "iref"};
    const uint32_t From = uint32_t(F.U(IdBytes));
    const uint64_t Count = F.U(2);
    if (R.Type == "dimg") {
      std::vector<uint32_t>& To = It.Derived[From];
      if (To.size() + Count > size_t(kMaxPictureTiles))
        Fail(EngineMessage(msgInvalid, "Number of tiles"));
      for (uint64_t K = 0; K < Count; ++K)
        To.push_back(uint32_t(F.U(IdBytes)));
    } else if (R.Type == "auxl") {
      for (uint64_t K = 0; K < Count; ++K) {
        std::vector<uint32_t>& A = It.Aux[uint32_t(F.U(IdBytes))];
        if (A.size() < 16) A.push_back(From);
      }
    }
  }
}

void ReadLocations(const std::vector<uint8_t>& D, const TBox& B, TItems& It, const TFailFn& Fail) {
  TCursor C{D.data(), B.Body, B.End, Fail, "iloc"};
  const int Version = int(C.U(1));
  C.Skip(3);
  const int Sizes = int(C.U(2));
  const int OffsetSize = Sizes >> 12, LengthSize = (Sizes >> 8) & 15, BaseSize = (Sizes >> 4) & 15;
  const int IndexSize = Version >= 1 ? Sizes & 15 : 0;
  const uint64_t Count = C.U(Version < 2 ? 2 : 4);
  if (Count > uint64_t(kMaxFileItems)) Fail(EngineMessage(msgInvalid, "Number of items"));
  for (uint64_t K = 0; K < Count; ++K) {
    const uint32_t Id = uint32_t(C.U(Version < 2 ? 2 : 4));
    TItems::TPlace Place;
    if (Version >= 1) Place.Method = int(C.U(2) & 15);
    C.Skip(2); // data reference index
    const uint64_t Base = C.U(BaseSize);
    const uint64_t Extents = C.U(2);
    const size_t Each = size_t(IndexSize + OffsetSize + LengthSize);
    if (Each && Extents > (C.End - C.P) / Each) Fail(EngineMessage(msgInvalid, "iloc"));
    if (Extents > 0) {
      C.Skip(size_t(IndexSize));
      Place.Offset = Base + C.U(OffsetSize);
      Place.Length = C.U(LengthSize);
      C.Skip(size_t(Extents - 1) * Each);
    }
    if (!It.Places.emplace(Id, Place).second) Fail(EngineMessage(msgInvalid, "iloc"));
    It.Located.insert(Id);
  }
}

void ReadProperties(const std::vector<uint8_t>& D, const TBox& B, TItems& It, const TFailFn& Fail) {
  size_t Pos = B.Body;
  TBox Child;
  while (NextBox(D, Pos, B.End, Child, Fail)) {
    if (Child.Type == "ipco") {
      size_t P = Child.Body;
      TBox Prop;
      while (NextBox(D, P, Child.End, Prop, Fail)) {
        if (It.Properties.size() >= size_t(kMaxFileItems)) Fail(EngineMessage(msgInvalid, "ipco"));
        It.Properties.emplace_back(Prop.Type, Prop.Body < Prop.End ? D[Prop.Body] : -1);
      }
    } else if (Child.Type == "ipma") {
      TCursor C{D.data(), Child.Body, Child.End, Fail, "ipma"};
      const int Version = int(C.U(1));
      const int Flags = int(C.U(3));
      const uint64_t Count = C.U(4);
      if (Count > uint64_t(kMaxFileItems)) Fail(EngineMessage(msgInvalid, "Number of items"));
      for (uint64_t K = 0; K < Count; ++K) {
        const uint32_t Id = uint32_t(C.U(Version < 1 ? 2 : 4));
        const int N = int(C.U(1));
        std::vector<uint32_t>& To = It.Associations[Id];
        for (int A = 0; A < N; ++A)
          To.push_back(Flags & 1 ? uint32_t(C.U(2) & 0x7FFF) : uint32_t(C.U(1) & 0x7F));
      }
    }
  }
}

bool Among(const std::vector<std::string>& List, const std::string& T) {
  return std::find(List.begin(), List.end(), T) != List.end();
}

// The output size a grid or overlay item's own data declares must pass the pixel limit: the
// library allocates it as declared, whatever the item's other properties say.
void CheckDerivedSize(const std::vector<uint8_t>& D, const TItems& It, uint32_t Id,
                      const std::string& Type, const TFailFn& Fail, int64_t MaxPixelCount) {
  const auto P = It.Places.find(Id);
  if (P == It.Places.end()) Fail(EngineMessage(msgInvalid, "iloc"));
  size_t Start = 0, End = D.size();
  if (P->second.Method == 1) {
    Start = It.IdatBody;
    End = It.IdatEnd;
  } else if (P->second.Method != 0) {
    Fail(EngineMessage(msgInvalid, "iloc"));
  }
  if (P->second.Offset > End - Start) Fail(EngineMessage(msgInvalid, "iloc"));
  Start += size_t(P->second.Offset);
  if (P->second.Length && P->second.Length < End - Start) End = Start + size_t(P->second.Length);
  TCursor C{D.data(), Start, End, Fail, Type == "grid" ? "grid" : "iovl"};
  C.Skip(1); // version
  const int Flags = int(C.U(1));
  C.Skip(Type == "grid" ? 2 : 8); // rows and columns, or the fill colour
  const int Bytes = Flags & 1 ? 4 : 2;
  const uint64_t W = C.U(Bytes), H = C.U(Bytes);
  CheckPictureSize(int64_t(W), int64_t(H), Fail, MaxPixelCount);
}

// Counts the coded items under Id into Tiles, refusing what cannot be decoded.
void WalkItem(const std::vector<uint8_t>& Data, const TItems& It, const TItemTypes& Types,
              uint32_t Id, int Depth, int& Tiles, bool CodedOnly, const TFailFn& Fail,
              int64_t MaxPixelCount) {
  const auto T = It.Types.find(Id);
  if (T == It.Types.end()) Fail(EngineMessage(msgInvalid, "dimg"));
  if (Among(Types.Coded, T->second)) {
    if (!It.Located.count(Id)) Fail(EngineMessage(msgInvalid, "iloc"));
    if (++Tiles > kMaxPictureTiles) Fail(EngineMessage(msgInvalid, "Number of tiles"));
    return;
  }
  if (CodedOnly || Depth >= 3 || !Among(Types.Derived, T->second))
    Fail(EngineMessage(msgInvalid, "Item type"));
  const auto In = It.Derived.find(Id);
  if (In == It.Derived.end() || In->second.empty()) Fail(EngineMessage(msgInvalid, "dimg"));
  if (T->second == "grid" || T->second == "iovl")
    CheckDerivedSize(Data, It, Id, T->second, Fail, MaxPixelCount);
  // A grid's cells are coded pictures; overlays may place grids too.
  const bool Grid = T->second == "grid";
  for (uint32_t Input : In->second)
    WalkItem(Data, It, Types, Input, Depth + 1, Tiles, Grid, Fail, MaxPixelCount);
}

// Reads the item boxes of the file's "meta" box; false when there is none.
bool ReadMeta(const std::vector<uint8_t>& Data, TItems& It, const TFailFn& Fail) {
  size_t Pos = 0;
  TBox Meta;
  bool Found = false;
  while (NextBox(Data, Pos, Data.size(), Meta, Fail))
    if (Meta.Type == "meta") {
      Found = true;
      break;
    }
  if (!Found) return false;

  TCursor M{Data.data(), Meta.Body, Meta.End, Fail, "meta"};
  M.Skip(4);
  size_t P = M.P;
  TBox B;
  while (NextBox(Data, P, Meta.End, B, Fail)) {
    if (B.Type == "pitm") {
      TCursor C{Data.data(), B.Body, B.End, Fail, "pitm"};
      const int Version = int(C.U(1));
      C.Skip(3);
      It.Primary = uint32_t(C.U(Version == 0 ? 2 : 4));
      It.HavePrimary = true;
    } else if (B.Type == "iinf") {
      ReadItemInfos(Data, B, It, Fail);
    } else if (B.Type == "iref") {
      ReadReferences(Data, B, It, Fail);
    } else if (B.Type == "iloc") {
      ReadLocations(Data, B, It, Fail);
    } else if (B.Type == "idat") {
      It.IdatBody = B.Body;
      It.IdatEnd = B.End;
    } else if (B.Type == "iprp") {
      ReadProperties(Data, B, It, Fail);
    }
  }
  if (!It.HavePrimary) Fail(EngineMessage(msgInvalid, "pitm"));
  return true;
}

// The steps of an item's geometry (clean aperture, rotation, mirror) in the order of its
// properties, with their values.
std::vector<std::pair<std::string, int>> Geometry(const TItems& It, uint32_t Id) {
  std::vector<std::pair<std::string, int>> Steps;
  const auto A = It.Associations.find(Id);
  if (A == It.Associations.end()) return Steps;
  for (uint32_t Index : A->second) {
    if (Index == 0 || Index > It.Properties.size()) continue;
    const auto& [Type, Value] = It.Properties[Index - 1];
    if (Type == "irot" || Type == "imir")
      Steps.emplace_back(Type, Value < 0 ? -1 : Type == "irot" ? Value & 3 : Value & 1);
    else if (Type == "clap")
      Steps.emplace_back(Type, 0);
  }
  return Steps;
}

} // namespace

int CheckPrimaryItems(const std::vector<uint8_t>& Data, const TItemTypes& Types,
                      const TFailFn& Fail, int64_t MaxPixelCount) {
  TItems It;
  if (!ReadMeta(Data, It, Fail)) return 0;
  int Tiles = 0;
  WalkItem(Data, It, Types, It.Primary, 0, Tiles, false, Fail, MaxPixelCount);
  // The library decodes the alpha picture with the colour one: it must hold up as well.
  const auto A = It.Aux.find(It.Primary);
  if (A != It.Aux.end())
    for (uint32_t Aux : A->second) {
      int AuxTiles = 0;
      if (It.Types.count(Aux))
        WalkItem(Data, It, Types, Aux, 0, AuxTiles, false, Fail, MaxPixelCount);
    }
  return Tiles;
}

namespace {

bool ThumbnailUsable(const std::vector<uint8_t>& Data, uint32_t Thumbnail) {
  TItems It;
  if (!ReadMeta(Data, It, kFail)) return false;
  const auto T = It.Types.find(Thumbnail);
  if (T == It.Types.end() || !Among(HEIFItemTypes().Coded, T->second) ||
      !It.Located.count(Thumbnail))
    return false;
  return Geometry(It, Thumbnail) == Geometry(It, It.Primary);
}

} // namespace

void RegisterHEIFFormats() {
  RegisterReader(std::make_unique<THEICFileFormatReader>());
  RegisterReader(std::make_unique<THEIFFileFormatReader>());
}

} // namespace orbisk
