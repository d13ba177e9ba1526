#include "engine/formats/webp.h"

#include "engine/animation.h"
#include "engine/formats/decodedrows.h"
#include "engine/formats/formats.h"
#include "engine/formats/jpeg.h"
#include "engine/messages.h"
#include "engine/stream.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

namespace orbisk {

namespace {

const std::string kTag = "WebP: ";
const char* const kDescription = "WebP";
// The format's own limit on either side.
constexpr int kMaxSide = WEBP_MAX_DIMENSION;

[[noreturn]] void Fail(const std::string& Text) {
  throw EPGWebPFileFormatReaderWriter(kTag + Text);
}

const TFailFn kFail = [](const std::string& T) { Fail(T); };

std::string StatusText(VP8StatusCode S) {
  switch (S) {
  case VP8_STATUS_OUT_OF_MEMORY:
    return "Out of memory";
  case VP8_STATUS_INVALID_PARAM:
    return EngineMessage(msgInvalidValueFor, "parameter");
  case VP8_STATUS_BITSTREAM_ERROR:
    return "Corrupt data";
  case VP8_STATUS_UNSUPPORTED_FEATURE:
    return EngineMessage(msgNotSupportedSubformat);
  case VP8_STATUS_SUSPENDED:
  case VP8_STATUS_NOT_ENOUGH_DATA:
    return EngineMessage(msgUnexpectedEOF);
  default:
    return EngineMessage(msgUnknownSubformat);
  }
}

WebPBitstreamFeatures Features(const std::vector<uint8_t>& Data) {
  WebPBitstreamFeatures F;
  const VP8StatusCode S = WebPGetFeatures(Data.data(), Data.size(), &F);
  if (S != VP8_STATUS_OK) Fail(StatusText(S));
  return F;
}

// The EXIF chunk of an extended file (its VP8X header says whether there is one).
void NoteExif(const std::vector<uint8_t>& Data, TPixelGraphic& Image) {
  if (Data.size() < 21 || std::memcmp(Data.data() + 12, "VP8X", 4) != 0 || !(Data[20] & 0x08))
    return;
  WebPData In{Data.data(), Data.size()};
  WebPDemuxer* Demux = WebPDemux(&In);
  if (!Demux) return;
  WebPChunkIterator It;
  if (WebPDemuxGetChunk(Demux, "EXIF", 1, &It)) {
    NoteExifBlock(Image, It.chunk.bytes, It.chunk.size);
    WebPDemuxReleaseChunkIterator(&It);
  }
  WebPDemuxDelete(Demux);
}

WebPBitstreamFeatures Features(const uint8_t* Data, size_t Size) {
  WebPBitstreamFeatures F;
  const VP8StatusCode S = WebPGetFeatures(Data, Size, &F);
  if (S != VP8_STATUS_OK) Fail(StatusText(S));
  return F;
}

// Decodes the top rows only, into a small buffer: data that cannot even give those is refused
// before a buffer of the whole declared size is allocated.
void ProbeTopRows(const uint8_t* Data, size_t Size, const WebPBitstreamFeatures& F) {
  WebPDecoderConfig Config;
  if (!WebPInitDecoderConfig(&Config)) Fail("Invalid library version");
  const int Rows = std::min(F.height, 16);
  std::vector<uint8_t> Buffer(size_t(F.width) * Rows * 4);
  Config.options.use_cropping = 1;
  Config.options.crop_width = F.width;
  Config.options.crop_height = Rows;
  Config.output.is_external_memory = 1;
  Config.output.colorspace = MODE_BGRA;
  Config.output.u.RGBA.rgba = Buffer.data();
  Config.output.u.RGBA.stride = F.width * 4;
  Config.output.u.RGBA.size = Buffer.size();
  const VP8StatusCode S = WebPDecode(Data, Size, &Config);
  WebPFreeDecBuffer(&Config.output);
  if (S != VP8_STATUS_OK) Fail(StatusText(S));
}

struct TIDecoderDeleter {
  void operator()(WebPIDecoder* D) const { WebPIDelete(D); }
};

// A picture's data (a still file or one frame of an animation), decoded piece by piece so that
// progress shows and an abort stops it, into the 24-bit Image (already sized) with its top-left
// pixel at (X, Y): opaque pictures straight into the picture's rows, others into a
// blue-green-red-alpha buffer that is then composited onto the background. Scaled by the
// library to W x H when that differs from the stored size (a reduced decode).
void ReadStill(const uint8_t* Data, size_t Size, const WebPBitstreamFeatures& F,
               TPixelGraphic& Image, int X, int Y, int W, int H) {
  WebPDecoderConfig Config;
  if (!WebPInitDecoderConfig(&Config)) Fail("Invalid library version");
  Config.options.use_threads = CodecThreadCount() > 1;
  if (W != F.width || H != F.height) {
    Config.options.use_scaling = 1;
    Config.options.scaled_width = W;
    Config.options.scaled_height = H;
  }
  std::vector<uint8_t> Buffer;
  Config.output.is_external_memory = 1;
  if (F.has_alpha) {
    Buffer.resize(size_t(W) * H * 4);
    Config.output.colorspace = MODE_BGRA;
    Config.output.u.RGBA.rgba = Buffer.data();
    Config.output.u.RGBA.stride = W * 4;
    Config.output.u.RGBA.size = Buffer.size();
  } else {
    // The picture's rows are stored bottom-up: the library writes them flipped, starting from
    // the lowest row in memory.
    Config.options.flip = 1;
    Config.output.colorspace = MODE_BGR;
    Config.output.u.RGBA.rgba = Image.ScanLine(Y + H - 1) + size_t(X) * 3;
    Config.output.u.RGBA.stride = static_cast<int>(Image.RowBytes());
    Config.output.u.RGBA.size = size_t(Image.RowBytes()) * size_t(H - 1) + size_t(W) * 3;
  }
  std::unique_ptr<WebPIDecoder, TIDecoderDeleter> Dec(WebPIDecode(nullptr, 0, &Config));
  if (!Dec) Fail(StatusText(VP8_STATUS_OUT_OF_MEMORY));

  // Pieces of about a sixteenth of the data, at least 64 KB.
  const size_t Piece = std::max<size_t>(Size / 16, 65536);
  bool Aborted = false;
  VP8StatusCode S = VP8_STATUS_SUSPENDED;
  {
    TProgressScope Progress(Image);
    for (size_t Fed = 0; S == VP8_STATUS_SUSPENDED && Fed < Size && !Aborted;) {
      Fed = std::min(Size, Fed + Piece);
      S = WebPIUpdate(Dec.get(), Data, Fed);
      int LastY = 0;
      WebPIDecGetRGB(Dec.get(), &LastY, nullptr, nullptr, nullptr);
      Aborted = Image.DoProgress(LastY, H);
    }
    if (S != VP8_STATUS_OK && !Aborted) Fail(StatusText(S));
  }
  if (F.has_alpha) {
    TDecodedRows Rows;
    Rows.Data = Buffer.data();
    Rows.Width = W;
    Rows.Height = H;
    Rows.Stride = int64_t(W) * 4;
    Rows.Channels = 4;
    StoreDecodedRowsAt(Image, Rows, X, Y, false);
  }
}

// Sizes Image to W x H filled with its background colour (the transparent canvas composited).
void BackgroundCanvas(TPixelGraphic& Image, int W, int H) {
  Image.SetSize(W, H, 3);
  const TRGB Bk = Image.BackGroundColor();
  const uint8_t Pixel[3] = {uint8_t(BlueOf(Bk)), uint8_t(GreenOf(Bk)), uint8_t(RedOf(Bk))};
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* D = Image.ScanLine(Y);
    for (int X = 0; X < W; ++X, D += 3)
      std::memcpy(D, Pixel, 3);
  }
}

struct TDemuxDeleter {
  void operator()(WebPDemuxer* D) const { WebPDemuxDelete(D); }
};

// The span [Start', Start' + Length') of a reduced canvas of Reduced pixels that covers the span
// [Start, Start + Length) of the stored canvas of Full pixels (at least one pixel, inside).
void ScaledSpan(int Start, int Length, int Full, int Reduced, int& OutStart, int& OutLength) {
  OutStart = static_cast<int>(int64_t(Start) * Reduced / Full);
  const int End = static_cast<int>((int64_t(Start + Length) * Reduced + Full - 1) / Full);
  OutStart = std::min(OutStart, Reduced - 1);
  OutLength = std::clamp(End - OutStart, 1, Reduced - OutStart);
}

// The first frame of an animation on its canvas (the canvas starts transparent, so the frame
// is drawn onto the background as it stands). Only the frame's own rows are decoded besides
// the picture: no second canvas. A reduced decode scales the canvas and the frame alike.
void ReadFirstFrame(const std::vector<uint8_t>& Data, TPixelGraphic& Image, int64_t MaxPixelCount) {
  WebPData In{Data.data(), Data.size()};
  std::unique_ptr<WebPDemuxer, TDemuxDeleter> Demux(WebPDemux(&In));
  if (!Demux) Fail(StatusText(VP8_STATUS_BITSTREAM_ERROR));
  const int CW = static_cast<int>(WebPDemuxGetI(Demux.get(), WEBP_FF_CANVAS_WIDTH));
  const int CH = static_cast<int>(WebPDemuxGetI(Demux.get(), WEBP_FF_CANVAS_HEIGHT));
  CheckPictureSize(CW, CH, kFail, MaxPixelCount);
  WebPIterator It;
  if (!WebPDemuxGetFrame(Demux.get(), 1, &It)) Fail(StatusText(VP8_STATUS_BITSTREAM_ERROR));
  std::unique_ptr<WebPIterator, decltype(&WebPDemuxReleaseIterator)> Release(
      &It, WebPDemuxReleaseIterator);
  const WebPBitstreamFeatures F = Features(It.fragment.bytes, It.fragment.size);
  if (F.width != It.width || F.height != It.height || It.x_offset < 0 || It.y_offset < 0 ||
      int64_t(It.x_offset) + F.width > CW || int64_t(It.y_offset) + F.height > CH)
    Fail(StatusText(VP8_STATUS_BITSTREAM_ERROR));
  int RW = CW, RH = CH;
  ReducedTarget(CW, CH, Image.ReducedSize, RW, RH);
  if (RW == CW && RH == CH) {
    ProbeTopRows(It.fragment.bytes, It.fragment.size, F);
    BackgroundCanvas(Image, CW, CH);
    ReadStill(It.fragment.bytes, It.fragment.size, F, Image, It.x_offset, It.y_offset, F.width,
              F.height);
    return;
  }
  // Reduced: the buffers are small, no probe is needed before them.
  int X = 0, Y = 0, W = 0, H = 0;
  ScaledSpan(It.x_offset, F.width, CW, RW, X, W);
  ScaledSpan(It.y_offset, F.height, CH, RH, Y, H);
  BackgroundCanvas(Image, RW, RH);
  Image.FullWidth = CW;
  Image.FullHeight = CH;
  ReadStill(It.fragment.bytes, It.fragment.size, F, Image, X, Y, W, H);
}

const char* FormatName(int Format) {
  switch (Format) {
  case 1:
    return "lossy";
  case 2:
    return "lossless";
  default:
    return "mixed";
  }
}

} // namespace

bool IsWebPSignature(const uint8_t* Header, size_t Size) {
  return Size >= 12 && std::memcmp(Header, "RIFF", 4) == 0 &&
         std::memcmp(Header + 8, "WEBP", 4) == 0;
}

// ---- reader ----

TWebPFileFormatReader::TWebPFileFormatReader() : TFileFormatReader("webp", kDescription) {
  ListGroup = 1;
  CanSniff = true;
}

bool TWebPFileFormatReader::Sniff(const uint8_t* Header) {
  return IsWebPSignature(Header, kHeaderSniffSize);
}

void TWebPFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                                        const TReadOptions& Options) {
  if (Index != 0) Fail(EngineMessage(msgInvalid, "Index"));
  Image.FileGamma = Options.ScreenGamma; // no gamma correction for WebP files
  const std::vector<uint8_t> Data = ReadRemaining(Stream, kFail);
  const WebPBitstreamFeatures F = Features(Data);
  CheckPictureSize(F.width, F.height, kFail, Options.MaxPixelCount);
  if (F.has_animation) {
    ReadFirstFrame(Data, Image, Options.MaxPixelCount);
  } else {
    int W = F.width, H = F.height;
    ReducedTarget(F.width, F.height, Image.ReducedSize, W, H);
    // A reduced decode needs no probe: its buffers are small.
    if (W == F.width && H == F.height) ProbeTopRows(Data.data(), Data.size(), F);
    Image.SetSize(W, H, 3);
    if (W != F.width || H != F.height) {
      Image.FullWidth = F.width;
      Image.FullHeight = F.height;
    }
    ReadStill(Data.data(), Data.size(), F, Image, 0, 0, W, H);
  }
  NoteExif(Data, Image); // after the pixels: sizing the picture resets its orientation
}

void TWebPFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
                                    const TReadOptions& Options) {
  TFileFormatReader::GetInfo(Stream, Index, Info, Options);
  if (Index != 0) Fail(EngineMessage(msgInvalidValueFor, "Index"));
  // The first chunks are usually enough; a long colour profile in front of the picture data
  // needs the whole file.
  const int64_t Start = Stream.Position();
  Info.GraphicCount = std::max(1, CountAnimationFrames(Stream));
  std::vector<uint8_t> Head(4096);
  Head.resize(Stream.Read(Head.data(), Head.size()));
  WebPBitstreamFeatures F;
  if (WebPGetFeatures(Head.data(), Head.size(), &F) == VP8_STATUS_NOT_ENOUGH_DATA) {
    Stream.SetPosition(Start);
    Head = ReadRemaining(Stream, kFail);
  }
  F = Features(Head);
  Info.Width = F.width;
  Info.Height = F.height;
  Info.BitsPerPixel = F.has_alpha ? 32 : 24;
  Info.Colors = std::string("16.7M");
  std::string Sub = F.has_animation ? std::string("animation") : std::string(FormatName(F.format));
  if (F.has_alpha) Sub += ", alpha";
  Info.SubType = Sub;
}

// ---- writer ----

TWebPFileFormatWriter::TWebPFileFormatWriter() : TFileFormatWriter("webp", kDescription) {
  ListGroup = 1;
  // Palette and grey pictures are written as the colours they show.
  CanWriteResolutions = {0, 1, 2, 3, 4, 5, 6, 7};
}

namespace {

int EncodeProgress(int Percent, const WebPPicture* Picture) {
  auto* Image = static_cast<TPixelGraphic*>(Picture->user_data);
  Image->DoProgress(Percent, 100); // writing is not abortable
  return 1;
}

std::string EncodeErrorText(WebPEncodingError E) {
  switch (E) {
  case VP8_ENC_ERROR_OUT_OF_MEMORY:
  case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
    return "Out of memory";
  case VP8_ENC_ERROR_BAD_DIMENSION:
    return EngineMessage(msgInvalidSizeOf, "picture");
  case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
  case VP8_ENC_ERROR_PARTITION_OVERFLOW:
  case VP8_ENC_ERROR_FILE_TOO_BIG:
    return "Picture data too large for the format";
  default:
    return EngineMessage(msgFailed, "WebPEncode");
  }
}

struct TPictureGuard {
  WebPPicture P;
  TPictureGuard() { WebPPictureInit(&P); }
  ~TPictureGuard() { WebPPictureFree(&P); }
  TPictureGuard(const TPictureGuard&) = delete;
  TPictureGuard& operator=(const TPictureGuard&) = delete;
};

struct TMemoryGuard {
  WebPMemoryWriter M;
  TMemoryGuard() { WebPMemoryWriterInit(&M); }
  ~TMemoryGuard() { WebPMemoryWriterClear(&M); }
  TMemoryGuard(const TMemoryGuard&) = delete;
  TMemoryGuard& operator=(const TMemoryGuard&) = delete;
};

} // namespace

void TWebPFileFormatWriter::WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                                         const TWriteOptions& Options) {
  const int W = Image.Width(), H = Image.Height();
  if (W <= 0 || H <= 0) Fail(EngineMessage(msgWidthOrHeightZero));
  if (W > kMaxSide || H > kMaxSide)
    Fail(EngineMessage(msgInvalidSizeOf, "picture") + " (at most 16383 x 16383 pixels)");

  WebPConfig Config;
  if (!WebPConfigInit(&Config)) Fail("Invalid library version");
  Config.lossless = Options.WebPLossless ? 1 : 0;
  Config.quality =
      Options.WebPLossless ? 75.0f : static_cast<float>(std::clamp(Options.JPEGQuality, 0, 100));
  Config.method = 4;
  Config.thread_level = CodecThreadCount() > 1;
  if (!WebPValidateConfig(&Config)) Fail(EngineMessage(msgInvalidValueFor, "quality"));

  TPictureGuard Pic;
  TMemoryGuard Out;
  Pic.P.use_argb = Config.lossless;
  Pic.P.width = W;
  Pic.P.height = H;
  Pic.P.writer = WebPMemoryWrite;
  Pic.P.custom_ptr = &Out.M;
  Pic.P.progress_hook = EncodeProgress;
  Pic.P.user_data = &Image;

  TProgressScope Progress(Image);
  bool Imported;
  if (Image.BitCountNum() == 3) {
    // Rows are stored bottom-up: start at the top row and step backwards.
    Imported = WebPPictureImportBGR(&Pic.P, Image.ScanLine(0), -static_cast<int>(Image.RowBytes()));
  } else {
    std::vector<uint8_t> Rows(size_t(W) * H * 3);
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        const TRGB C = Image.GetPixelColor(X, Y);
        uint8_t* D = &Rows[(size_t(Y) * W + X) * 3];
        D[0] = static_cast<uint8_t>(BlueOf(C));
        D[1] = static_cast<uint8_t>(GreenOf(C));
        D[2] = static_cast<uint8_t>(RedOf(C));
      }
    Imported = WebPPictureImportBGR(&Pic.P, Rows.data(), W * 3);
  }
  if (!Imported) Fail("Out of memory");
  if (!WebPEncode(&Config, &Pic.P)) Fail(EncodeErrorText(Pic.P.error_code));
  if (Image.Metadata.Empty()) {
    Stream.Write(Out.M.mem, Out.M.size);
    return;
  }
  // The metadata blocks go into chunks of an extended file around the picture data.
  std::unique_ptr<WebPMux, decltype(&WebPMuxDelete)> Mux(WebPMuxNew(), WebPMuxDelete);
  if (!Mux) Fail("Out of memory");
  const WebPData Picture{Out.M.mem, Out.M.size};
  if (WebPMuxSetImage(Mux.get(), &Picture, 0) != WEBP_MUX_OK)
    Fail(EngineMessage(msgFailed, "WebPMuxSetImage"));
  const TImageMetadata& M = Image.Metadata;
  const std::pair<const char*, WebPData> Chunks[] = {
      {"ICCP", {M.Icc.data(), M.Icc.size()}},
      {"EXIF", {M.Exif.data(), M.Exif.size()}},
      {"XMP ", {reinterpret_cast<const uint8_t*>(M.Xmp.data()), M.Xmp.size()}}};
  for (const auto& [Id, Chunk] : Chunks)
    if (Chunk.size && WebPMuxSetChunk(Mux.get(), Id, &Chunk, 0) != WEBP_MUX_OK)
      Fail(EngineMessage(msgFailed, "WebPMuxSetChunk"));
  WebPData Assembled{nullptr, 0};
  if (WebPMuxAssemble(Mux.get(), &Assembled) != WEBP_MUX_OK) {
    WebPDataClear(&Assembled);
    Fail(EngineMessage(msgFailed, "WebPMuxAssemble"));
  }
  std::unique_ptr<WebPData, decltype(&WebPDataClear)> Free(&Assembled, WebPDataClear);
  Stream.Write(Assembled.bytes, Assembled.size);
}

void RegisterWebPFormats() {
  RegisterReader(std::make_unique<TWebPFileFormatReader>());
  RegisterWriter(std::make_unique<TWebPFileFormatWriter>());
}

} // namespace orbisk
