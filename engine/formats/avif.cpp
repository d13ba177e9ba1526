#include "engine/formats/avif.h"

#include "engine/formats/decodedrows.h"
#include "engine/formats/formats.h"
#include "engine/formats/heif.h"
#include "engine/formats/jpeg.h"
#include "engine/messages.h"
#include "engine/stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include <avif/avif.h>

namespace orbisk {

namespace {

const std::string kTag = "AVIF: ";
const char* const kDescription = "AV1 Image File Format";

[[noreturn]] void Fail(const std::string& Text) {
  throw EPGAVIFFileFormatReaderWriter(kTag + Text);
}

const TFailFn kFail = [](const std::string& T) { Fail(T); };

uint32_t BigEndian32(const uint8_t* P) {
  return (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | P[3];
}

// The library's result with its detail, if any.
[[noreturn]] void FailResult(avifResult R, const avifDiagnostics& Diag) {
  std::string Text = avifResultToString(R);
  if (Diag.error[0])
    Text += " (" + std::string(Diag.error, strnlen(Diag.error, sizeof Diag.error)) + ")";
  Fail(Text);
}

struct TDecoderDeleter {
  void operator()(avifDecoder* D) const { avifDecoderDestroy(D); }
};
using TDecoder = std::unique_ptr<avifDecoder, TDecoderDeleter>;

// A decoder over Data with the container parsed: thread count, pixel limit and leniency set.
// The item boxes are checked first, so that a grid of thousands of tiles never reaches the
// library; a grid's tiles share the processors (the library keeps one AV1 decoder per tile).
TDecoder ParsedDecoder(const std::vector<uint8_t>& Data, int64_t MaxPixelCount) {
  static const TItemTypes kTypes{{"av01"}, {"grid"}};
  const int Tiles = CheckPrimaryItems(Data, kTypes, kFail, MaxPixelCount);
  TDecoder D(avifDecoderCreate());
  if (!D) Fail("Out of memory");
  D->maxThreads = std::max(1, CodecThreadCount() / std::max(1, Tiles));
  D->ignoreXMP = AVIF_TRUE;
  // Files from older writers miss boxes the format now requires; viewers show them anyway.
  D->strictFlags = AVIF_STRICT_DISABLED;
  avifResult R = avifDecoderSetIOMemory(D.get(), Data.data(), Data.size());
  if (R != AVIF_RESULT_OK) FailResult(R, D->diag);
  R = avifDecoderParse(D.get());
  if (R != AVIF_RESULT_OK) FailResult(R, D->diag);
  return D;
}

// The clean aperture of a W x H picture as a rectangle of whole pixels, from the box's own
// fractions (centre offsets may be odd, whatever the chroma subsampling). False when the box is
// absent or describes no rectangle inside the picture: then the whole picture is shown.
struct TCrop {
  int64_t X = 0, Y = 0, W = 0, H = 0;
};

bool FloorDiv(int64_t N, int64_t D, int64_t& Out) {
  if (D <= 0) return false;
  Out = N >= 0 ? N / D : -((-N + D - 1) / D);
  return true;
}

bool CleanAperture(const avifImage* Img, TCrop& Out) {
  if (!(Img->transformFlags & AVIF_TRANSFORM_CLAP)) return false;
  TCrop C;
  const avifCleanApertureBox& B = Img->clap;
  const int64_t W = Img->width, H = Img->height;
  if (!FloorDiv(B.widthN, B.widthD, C.W) || !FloorDiv(B.heightN, B.heightD, C.H)) return false;
  // Left edge = horizontal offset + (W - width) / 2, likewise the top edge.
  const int64_t HN = int32_t(B.horizOffN), HD = int32_t(B.horizOffD);
  const int64_t VN = int32_t(B.vertOffN), VD = int32_t(B.vertOffD);
  if (HD <= 0 || VD <= 0) return false;
  if (!FloorDiv(2 * HN + (W - C.W) * HD, 2 * HD, C.X) ||
      !FloorDiv(2 * VN + (H - C.H) * VD, 2 * VD, C.Y))
    return false;
  if (C.W <= 0 || C.H <= 0 || C.X < 0 || C.Y < 0 || C.X + C.W > W || C.Y + C.H > H) return false;
  Out = C;
  return C.W != W || C.H != H;
}

} // namespace

std::string FileTypeBrand(const uint8_t* Header) {
  if (std::memcmp(Header + 4, "ftyp", 4) != 0 || BigEndian32(Header) < 16) return "";
  return std::string(reinterpret_cast<const char*>(Header + 8), 4);
}

bool HasCompatibleBrand(const std::vector<uint8_t>& Data, const char* Brand) {
  if (Data.size() < 16 || FileTypeBrand(Data.data()).empty()) return false;
  const size_t Size = std::min<size_t>(BigEndian32(Data.data()), Data.size());
  if (std::memcmp(Data.data() + 8, Brand, 4) == 0) return true;
  for (size_t P = 16; P + 4 <= Size; P += 4)
    if (std::memcmp(Data.data() + P, Brand, 4) == 0) return true;
  return false;
}

void DecodeAVIF(const std::vector<uint8_t>& Data, TPixelGraphic& Image,
                const TReadOptions& Options) {
  Image.FileGamma = Options.ScreenGamma; // the samples are shown as they are
  TDecoder D = ParsedDecoder(Data, Options.MaxPixelCount);
  CheckPictureSize(D->image->width, D->image->height, kFail, Options.MaxPixelCount);
  // The AV1 decoder refuses frames past the engine's limit too (the container's size may lie).
  const int64_t Limit = std::min<int64_t>(Options.MaxPixelCount, AVIF_DEFAULT_IMAGE_SIZE_LIMIT);
  D->imageSizeLimit = static_cast<uint32_t>(std::max<int64_t>(Limit, 1));
  // As for HEIF, the container's turns (applied below) are the display geometry; the EXIF
  // Orientation repeats them and is not applied a second time.
  avifResult R = avifDecoderNextImage(D.get());
  if (R != AVIF_RESULT_OK) FailResult(R, D->diag);
  const avifImage* Img = D->image;
  CheckPictureSize(Img->width, Img->height, kFail, Options.MaxPixelCount);

  const bool Alpha = Img->alphaPlane != nullptr;
  avifRGBImage Rgb;
  avifRGBImageSetDefaults(&Rgb, Img);
  Rgb.format = Alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
  Rgb.depth = 8; // 10- and 12-bit samples are scaled down by the library
  const int Channels = Alpha ? 4 : 3;
  Rgb.rowBytes = Img->width * uint32_t(Channels);
  std::vector<uint8_t> Buffer(size_t(Rgb.rowBytes) * Img->height);
  Rgb.pixels = Buffer.data();
  R = avifImageYUVToRGB(Img, &Rgb);
  if (R != AVIF_RESULT_OK) FailResult(R, D->diag);

  TDecodedRows Rows;
  Rows.Data = Buffer.data();
  Rows.Width = static_cast<int>(Img->width);
  Rows.Height = static_cast<int>(Img->height);
  Rows.Stride = Rgb.rowBytes;
  Rows.Channels = Channels;
  // The container's crop, rotation and mirror belong to the picture's geometry, in this order.
  TCrop Crop;
  if (CleanAperture(Img, Crop)) {
    Rows.Data += Rows.Stride * Crop.Y + Crop.X * Channels;
    Rows.Width = static_cast<int>(Crop.W);
    Rows.Height = static_cast<int>(Crop.H);
  }
  const int Turns = (Img->transformFlags & AVIF_TRANSFORM_IROT) ? Img->irot.angle & 3 : 0;
  const int Mirror = (Img->transformFlags & AVIF_TRANSFORM_IMIR) ? (Img->imir.mode & 1) : -1;
  std::vector<uint8_t> Turned;
  if (Turns || Mirror >= 0) {
    Turned = TurnDecodedRows(Rows, Turns, Mirror);
    Buffer = {};
  }
  StoreDecodedRows(Image, Rows);
}

void DescribeAVIF(const std::vector<uint8_t>& Data, TGraphicFileInfo& Info, int64_t MaxPixelCount) {
  TDecoder D = ParsedDecoder(Data, MaxPixelCount);
  const avifImage* Img = D->image;
  const bool Turned = (Img->transformFlags & AVIF_TRANSFORM_IROT) && (Img->irot.angle & 1);
  TCrop Crop{0, 0, Img->width, Img->height};
  CleanAperture(Img, Crop);
  Info.Width = static_cast<int>(Turned ? Crop.H : Crop.W);
  Info.Height = static_cast<int>(Turned ? Crop.W : Crop.H);
  const int Planes = Img->yuvFormat == AVIF_PIXEL_FORMAT_YUV400 ? 1 : 3;
  Info.BitsPerPixel = static_cast<int>(Img->depth) * (Planes + (D->alphaPresent ? 1 : 0));
  Info.Colors = std::string(Img->depth > 8 ? "1073.7M" : "16.7M");
  std::string Sub = avifPixelFormatToString(Img->yuvFormat);
  Sub += ", " + std::to_string(Img->depth) + "-bit";
  if (D->alphaPresent) Sub += ", alpha";
  if (D->imageCount > 1) Sub += ", " + std::to_string(D->imageCount) + " frames";
  Info.GraphicCount = std::max(1, D->imageCount);
  Info.SubType = Sub;
}

// ---- reader ----

TAVIFFileFormatReader::TAVIFFileFormatReader() : TFileFormatReader("avif", kDescription) {
  ListGroup = 1;
  CanSniff = true;
}

bool TAVIFFileFormatReader::Sniff(const uint8_t* Header) {
  const std::string Brand = FileTypeBrand(Header);
  return Brand == "avif" || Brand == "avis";
}

void TAVIFFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                                        const TReadOptions& Options) {
  if (Index != 0) Fail(EngineMessage(msgInvalid, "Index"));
  DecodeAVIF(ReadRemaining(Stream, kFail), Image, Options);
}

void TAVIFFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
                                    const TReadOptions& Options) {
  TFileFormatReader::GetInfo(Stream, Index, Info, Options);
  if (Index != 0) Fail(EngineMessage(msgInvalidValueFor, "Index"));
  DescribeAVIF(ReadRemaining(Stream, kFail), Info, Options.MaxPixelCount);
}

// ---- writer ----

TAVIFFileFormatWriter::TAVIFFileFormatWriter() : TFileFormatWriter("avif", kDescription) {
  ListGroup = 1;
  CanWriteResolutions = {0, 1, 2, 3, 4, 5, 6, 7};
}

namespace {

struct TImageDeleter {
  void operator()(avifImage* I) const { avifImageDestroy(I); }
};
struct TEncoderDeleter {
  void operator()(avifEncoder* E) const { avifEncoderDestroy(E); }
};
struct TRWData {
  avifRWData D = AVIF_DATA_EMPTY;
  ~TRWData() { avifRWDataFree(&D); }
};

} // namespace

void TAVIFFileFormatWriter::WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                                         const TWriteOptions& Options) {
  const int W = Image.Width(), H = Image.Height();
  if (W <= 0 || H <= 0) Fail(EngineMessage(msgWidthOrHeightZero));
  if (!avifCodecName(AVIF_CODEC_CHOICE_AUTO, AVIF_CODEC_FLAG_CAN_ENCODE))
    Fail("No AV1 encoder is installed");

  const int Quality = std::clamp(Options.JPEGQuality, 1, 100);
  // Quality 100 keeps full colour resolution; below 90 colour is stored at half resolution.
  const avifPixelFormat Format =
      Quality >= 90 ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420;
  std::unique_ptr<avifImage, TImageDeleter> Img(
      avifImageCreate(uint32_t(W), uint32_t(H), 8, Format));
  if (!Img) Fail("Out of memory");
  Img->yuvRange = AVIF_RANGE_FULL;
  Img->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
  Img->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
  Img->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;

  TProgressScope Progress(Image);
  // The picture's rows top row first, blue-green-red.
  std::vector<uint8_t> Rows(size_t(W) * H * 3);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* D = &Rows[size_t(Y) * W * 3];
    if (Image.BitCountNum() == 3) {
      std::memcpy(D, Image.ScanLine(Y), size_t(W) * 3);
      continue;
    }
    for (int X = 0; X < W; ++X, D += 3) {
      const TRGB C = Image.GetPixelColor(X, Y);
      D[0] = static_cast<uint8_t>(BlueOf(C));
      D[1] = static_cast<uint8_t>(GreenOf(C));
      D[2] = static_cast<uint8_t>(RedOf(C));
    }
  }
  avifRGBImage Rgb;
  avifRGBImageSetDefaults(&Rgb, Img.get());
  Rgb.format = AVIF_RGB_FORMAT_BGR;
  Rgb.depth = 8;
  Rgb.pixels = Rows.data();
  Rgb.rowBytes = uint32_t(W) * 3;
  avifResult R = avifImageRGBToYUV(Img.get(), &Rgb);
  if (R != AVIF_RESULT_OK) Fail(avifResultToString(R));
  // The source's metadata blocks, when the picture carries any (the library copies them).
  const TImageMetadata& M = Image.Metadata;
  if (!M.Icc.empty()) avifImageSetProfileICC(Img.get(), M.Icc.data(), M.Icc.size());
  if (!M.Exif.empty()) avifImageSetMetadataExif(Img.get(), M.Exif.data(), M.Exif.size());
  if (!M.Xmp.empty())
    avifImageSetMetadataXMP(Img.get(), reinterpret_cast<const uint8_t*>(M.Xmp.data()),
                            M.Xmp.size());
  Image.DoProgress(1, 3);

  std::unique_ptr<avifEncoder, TEncoderDeleter> Enc(avifEncoderCreate());
  if (!Enc) Fail("Out of memory");
  Enc->maxThreads = CodecThreadCount();
  Enc->speed = 6;
  const int Q = static_cast<int>(std::lround((100 - Quality) * 63 / 100.0));
  Enc->minQuantizer = Enc->maxQuantizer = Q;
  Enc->minQuantizerAlpha = Enc->maxQuantizerAlpha = 0;
  TRWData Out;
  R = avifEncoderWrite(Enc.get(), Img.get(), &Out.D);
  if (R != AVIF_RESULT_OK) FailResult(R, Enc->diag);
  Image.DoProgress(3, 3);
  Stream.Write(Out.D.data, Out.D.size);
}

void RegisterAVIFFormats() {
  RegisterReader(std::make_unique<TAVIFFileFormatReader>());
  RegisterWriter(std::make_unique<TAVIFFileFormatWriter>());
}

} // namespace orbisk
