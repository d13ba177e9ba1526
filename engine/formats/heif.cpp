#include "engine/formats/heif.h"

#include "engine/formats/avif.h"
#include "engine/formats/decodedrows.h"
#include "engine/formats/formats.h"
#include "engine/messages.h"
#include "engine/stream.h"

#include <cstring>
#include <memory>
#include <mutex>

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

struct TContext {
  heif_context* C = nullptr;
  heif_image_handle* H = nullptr;
  TContext() {
    static std::once_flag Once;
    std::call_once(Once, [] { heif_init(nullptr); });
    C = heif_context_alloc();
    if (!C) Fail("Out of memory");
  }
  ~TContext() {
    if (H) heif_image_handle_release(H);
    heif_context_free(C);
  }
  TContext(const TContext&) = delete;
  TContext& operator=(const TContext&) = delete;

  // Parses the container and takes the primary picture.
  void Open(const std::vector<uint8_t>& Data) {
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

void THEICFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index) {
  if (Index != 0) Fail(EngineMessage(msgInvalid, "Index"));
  const std::vector<uint8_t> Data = ReadRemaining(Stream, kFail);
  if (IsAVIFUnderGeneralBrand(Data)) return DecodeAVIF(Data, Image);
  Image.FileGamma = ScreenGamma; // the samples are shown as they are

  TContext Ctx;
  Ctx.Open(Data);
  // Both the coded size and the size after the container's turns must fit the pixel limit.
  CheckPictureSize(heif_image_handle_get_ispe_width(Ctx.H),
                   heif_image_handle_get_ispe_height(Ctx.H), kFail);
  CheckPictureSize(heif_image_handle_get_width(Ctx.H), heif_image_handle_get_height(Ctx.H), kFail);
  // The container's own turns (irot/imir), which libheif applies, give the picture as it is
  // shown; the EXIF Orientation of such files repeats them and is not applied a second time.

  const bool Alpha = heif_image_handle_has_alpha_channel(Ctx.H) != 0;
  TDecodingOptions Options;
  if (!Options.O) Fail("Out of memory");
  Options.O->convert_hdr_to_8bit = 1;
  TImage Img;
  Check(heif_decode_image(Ctx.H, &Img.I, heif_colorspace_RGB,
                          Alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          Options.O));
  int Stride = 0;
  const uint8_t* Plane = heif_image_get_plane_readonly(Img.I, heif_channel_interleaved, &Stride);
  const int W = heif_image_get_width(Img.I, heif_channel_interleaved);
  const int H = heif_image_get_height(Img.I, heif_channel_interleaved);
  if (!Plane || heif_image_get_bits_per_pixel(Img.I, heif_channel_interleaved) != (Alpha ? 32 : 24))
    Fail(EngineMessage(msgNotSupportedSubformat));
  CheckPictureSize(W, H, kFail);
  if (Stride < W * (Alpha ? 4 : 3)) Fail(EngineMessage(msgInvalidRowByteCount));

  TDecodedRows Rows;
  Rows.Data = Plane;
  Rows.Stride = Stride;
  Rows.Width = W;
  Rows.Height = H;
  Rows.Channels = Alpha ? 4 : 3;
  Rows.RedFirst = true;
  StoreDecodedRows(Image, Rows);
}

void THEICFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info) {
  TFileFormatReader::GetInfo(Stream, Index, Info);
  if (Index != 0) Fail(EngineMessage(msgInvalidValueFor, "Index"));
  const std::vector<uint8_t> Data = ReadRemaining(Stream, kFail);
  if (IsAVIFUnderGeneralBrand(Data)) return DescribeAVIF(Data, Info);
  TContext Ctx;
  Ctx.Open(Data);
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

void RegisterHEIFFormats() {
  RegisterReader(std::make_unique<THEICFileFormatReader>());
  RegisterReader(std::make_unique<THEIFFileFormatReader>());
}

} // namespace orbisk
