#include "engine/animation.h"

#include "engine/formats/decodedrows.h"
#include "engine/messages.h"
#include "engine/stream.h"

#include <avif/avif.h>
#include <jxl/decode.h>
#include <jxl/encode.h>
#include <png.h>
#include <webp/demux.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace orbisk {

namespace {

// Files read whole; larger ones are refused before reading.
constexpr int64_t kMaxAnimationFileBytes = int64_t(1) << 30;

[[noreturn]] void Fail(const std::string& Kind, const std::string& Why) {
  throw EPixelGraphic(Kind + ": " + Why);
}

std::vector<uint8_t> ReadFile(const std::string& FileName) {
  std::ifstream F(FileName, std::ios::binary | std::ios::ate);
  if (!F) throw EPixelGraphic("Cannot open file \"" + FileName + "\"");
  const std::streamoff Size = F.tellg();
  if (Size < 0 || Size > kMaxAnimationFileBytes) throw EPixelGraphic("File too large");
  std::vector<uint8_t> Data(static_cast<size_t>(Size));
  F.seekg(0);
  if (!F.read(reinterpret_cast<char*>(Data.data()), Size))
    throw EPixelGraphic("Cannot read file \"" + FileName + "\"");
  return Data;
}

int FrameMs(double Ms) {
  if (!(Ms >= 0)) return kMinFrameMs;
  return int(std::clamp(Ms + 0.5, double(kMinFrameMs), 3600.0 * 1000));
}

uint32_t Be32(const uint8_t* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}
uint16_t Be16(const uint8_t* P) {
  return uint16_t(P[0] << 8 | P[1]);
}

// ---- WebP

// A library object freed by the library's own call when its owner goes, also when a
// constructor fails half-way.
template <typename T, void (*Free)(T*)> struct TFreeBy {
  void operator()(T* P) const { Free(P); }
};
template <typename T, void (*Free)(T*)> using TOwned = std::unique_ptr<T, TFreeBy<T, Free>>;

class TWebPAnimation : public TAnimation {
public:
  explicit TWebPAnimation(std::vector<uint8_t> Data) : FData(std::move(Data)) {
    WebPAnimDecoderOptions O;
    if (!WebPAnimDecoderOptionsInit(&O)) Fail(Kind(), "library version mismatch");
    O.color_mode = MODE_BGRA;
    O.use_threads = 0;
    const WebPData D{FData.data(), FData.size()};
    // The canvas size is checked before the decoder allocates it.
    WebPDemuxer* Demux = WebPDemux(&D);
    if (!Demux) Fail(Kind(), "damaged file");
    const int64_t W = WebPDemuxGetI(Demux, WEBP_FF_CANVAS_WIDTH),
                  H = WebPDemuxGetI(Demux, WEBP_FF_CANVAS_HEIGHT);
    WebPDemuxDelete(Demux);
    SetCanvas(W, H, Kind());
    FDecoder.reset(WebPAnimDecoderNew(&D, &O));
    if (!FDecoder) Fail(Kind(), "damaged file");
    WebPAnimInfo Info;
    if (!WebPAnimDecoderGetInfo(FDecoder.get(), &Info)) Fail(Kind(), "damaged file");
    FFrameCount = int(std::min<uint32_t>(Info.frame_count, kMaxAnimationFrames));
    FLoopCount = int(Info.loop_count);
  }
  std::string Kind() const override { return "WebP"; }

protected:
  bool DecodeNext(std::vector<uint8_t>& Bgra, int& DurationMs) override {
    if (FPosition >= FFrameCount || !WebPAnimDecoderHasMoreFrames(FDecoder.get())) return false;
    uint8_t* Pixels = nullptr;
    int End = 0;
    if (!WebPAnimDecoderGetNext(FDecoder.get(), &Pixels, &End)) Fail(Kind(), "damaged frame");
    std::memcpy(Bgra.data(), Pixels, Bgra.size());
    DurationMs = FrameMs(End - FLastEnd);
    FLastEnd = End;
    return true;
  }
  void DoRewind() override {
    WebPAnimDecoderReset(FDecoder.get());
    FLastEnd = 0;
  }

private:
  std::vector<uint8_t> FData; // the decoder reads from it
  TOwned<WebPAnimDecoder, WebPAnimDecoderDelete> FDecoder;
  int FLastEnd = 0;
};

// ---- AVIF

class TAvifAnimation : public TAnimation {
public:
  explicit TAvifAnimation(std::vector<uint8_t> Data) : FData(std::move(Data)) {
    FDecoder.reset(avifDecoderCreate());
    if (!FDecoder) Fail(Kind(), "Out of memory");
    FDecoder->maxThreads = CodecThreadCount();
    FDecoder->strictFlags = AVIF_STRICT_DISABLED;
    FDecoder->ignoreExif = FDecoder->ignoreXMP = AVIF_TRUE;
    FDecoder->imageCountLimit = kMaxAnimationFrames;
    FDecoder->imageSizeLimit =
        uint32_t(std::min<int64_t>(DefaultMaxPixelCount, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
    if (avifDecoderSetIOMemory(FDecoder.get(), FData.data(), FData.size()) != AVIF_RESULT_OK ||
        avifDecoderParse(FDecoder.get()) != AVIF_RESULT_OK)
      Fail(Kind(), "damaged file");
    SetCanvas(FDecoder->image->width, FDecoder->image->height, Kind());
    FFrameCount = std::max(1, FDecoder->imageCount);
    FLoopCount = 0; // the container names no count: sequences play for ever
  }
  std::string Kind() const override { return "AVIF"; }

protected:
  bool DecodeNext(std::vector<uint8_t>& Bgra, int& DurationMs) override {
    if (FPosition >= FFrameCount) return false;
    if (avifDecoderNextImage(FDecoder.get()) != AVIF_RESULT_OK) Fail(Kind(), "damaged frame");
    avifImage* Img = FDecoder->image;
    if (int(Img->width) != FWidth || int(Img->height) != FHeight)
      Fail(Kind(), "frame size changes");
    avifRGBImage Rgb;
    avifRGBImageSetDefaults(&Rgb, Img);
    Rgb.format = AVIF_RGB_FORMAT_BGRA;
    Rgb.depth = 8;
    Rgb.pixels = Bgra.data();
    Rgb.rowBytes = uint32_t(FWidth) * 4;
    if (avifImageYUVToRGB(Img, &Rgb) != AVIF_RESULT_OK) Fail(Kind(), "damaged frame");
    DurationMs = FrameMs(FDecoder->imageTiming.duration * 1000.0);
    return true;
  }
  void DoRewind() override {
    if (avifDecoderReset(FDecoder.get()) != AVIF_RESULT_OK) Fail(Kind(), "damaged file");
  }

private:
  std::vector<uint8_t> FData;
  TOwned<avifDecoder, avifDecoderDestroy> FDecoder;
};

// ---- JPEG XL

class TJxlAnimation : public TAnimation {
public:
  explicit TJxlAnimation(std::vector<uint8_t> Data) : FData(std::move(Data)) {
    FDecoder.reset(JxlDecoderCreate(nullptr));
    if (!FDecoder) Fail(Kind(), "Out of memory");
    // The container and the frame headers only: the count and the times.
    Start(JXL_DEC_BASIC_INFO | JXL_DEC_FRAME);
    int Frames = 0;
    for (;;) {
      const JxlDecoderStatus S = JxlDecoderProcessInput(FDecoder.get());
      if (S == JXL_DEC_BASIC_INFO) {
        if (JxlDecoderGetBasicInfo(FDecoder.get(), &FInfo) != JXL_DEC_SUCCESS)
          Fail(Kind(), "damaged file");
        SetCanvas(FInfo.xsize, FInfo.ysize, Kind());
        FLoopCount =
            FInfo.have_animation ? int(std::min<uint32_t>(FInfo.animation.num_loops, 1 << 30)) : 0;
      } else if (S == JXL_DEC_FRAME) {
        if (++Frames > kMaxAnimationFrames) Fail(Kind(), "too many frames");
      } else if (S == JXL_DEC_SUCCESS) {
        break;
      } else {
        Fail(Kind(), "damaged file");
      }
    }
    FFrameCount = std::max(1, Frames);
    DoRewind();
  }
  std::string Kind() const override { return "JPEG XL"; }

protected:
  bool DecodeNext(std::vector<uint8_t>& Bgra, int& DurationMs) override {
    if (FPosition >= FFrameCount) return false;
    JxlPixelFormat Format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    uint32_t Ticks = 0;
    for (;;) {
      const JxlDecoderStatus S = JxlDecoderProcessInput(FDecoder.get());
      if (S == JXL_DEC_COLOR_ENCODING) {
        // Pictures in the format's own colour space are shown in sRGB, as stills are.
        if (!FInfo.uses_original_profile) {
          JxlColorEncoding Srgb;
          JxlColorEncodingSetToSRGB(&Srgb, FInfo.num_color_channels == 1 ? JXL_TRUE : JXL_FALSE);
          JxlDecoderSetPreferredColorProfile(FDecoder.get(), &Srgb);
        }
      } else if (S == JXL_DEC_FRAME) {
        JxlFrameHeader H;
        if (JxlDecoderGetFrameHeader(FDecoder.get(), &H) != JXL_DEC_SUCCESS)
          Fail(Kind(), "damaged frame");
        Ticks = H.duration;
      } else if (S == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
        size_t Size = 0;
        if (JxlDecoderImageOutBufferSize(FDecoder.get(), &Format, &Size) != JXL_DEC_SUCCESS ||
            Size != FRgba.size() ||
            JxlDecoderSetImageOutBuffer(FDecoder.get(), &Format, FRgba.data(), Size) !=
                JXL_DEC_SUCCESS)
          Fail(Kind(), "damaged frame");
      } else if (S == JXL_DEC_FULL_IMAGE) {
        break;
      } else if (S == JXL_DEC_SUCCESS) {
        return false;
      } else if (S != JXL_DEC_BASIC_INFO) {
        Fail(Kind(), "damaged frame");
      }
    }
    // The library gives red first.
    for (size_t I = 0; I < FRgba.size(); I += 4) {
      Bgra[I] = FRgba[I + 2];
      Bgra[I + 1] = FRgba[I + 1];
      Bgra[I + 2] = FRgba[I];
      Bgra[I + 3] = FRgba[I + 3];
    }
    const double TicksPerSecond =
        FInfo.animation.tps_denominator
            ? double(FInfo.animation.tps_numerator) / FInfo.animation.tps_denominator
            : 0;
    DurationMs = FInfo.have_animation && TicksPerSecond > 0
                     ? FrameMs(Ticks * 1000.0 / TicksPerSecond)
                     : kMinFrameMs;
    return true;
  }
  void DoRewind() override {
    FRgba.assign(size_t(FWidth) * FHeight * 4, 0);
    Start(JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME | JXL_DEC_FULL_IMAGE);
    JxlDecoderSetUnpremultiplyAlpha(FDecoder.get(), JXL_TRUE);
  }

private:
  void Start(int Events) {
    JxlDecoderReset(FDecoder.get());
    if (JxlDecoderSubscribeEvents(FDecoder.get(), Events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(FDecoder.get(), FData.data(), FData.size()) != JXL_DEC_SUCCESS)
      Fail(Kind(), "damaged file");
    JxlDecoderCloseInput(FDecoder.get());
  }

  std::vector<uint8_t> FData, FRgba;
  TOwned<JxlDecoder, JxlDecoderDestroy> FDecoder;
  JxlBasicInfo FInfo{};
};

// ---- APNG: the frames are PNG streams of their own, made from the file's chunks and decoded
// by libpng, then drawn onto the canvas by the frame's blend and dispose rules.

struct TApngFrame {
  uint32_t W = 0, H = 0, X = 0, Y = 0;
  uint16_t DelayNum = 0, DelayDen = 0;
  uint8_t Dispose = 0, Blend = 0;
  std::vector<std::pair<const uint8_t*, size_t>> Data; // IDAT or fdAT payloads (after seq)
};

class TApngAnimation : public TAnimation {
public:
  explicit TApngAnimation(std::vector<uint8_t> Data) : FData(std::move(Data)) {
    static const uint8_t Signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (FData.size() < 8 || std::memcmp(FData.data(), Signature, 8) != 0)
      Fail(Kind(), "not a PNG file");
    size_t At = 8;
    bool SeenIDAT = false, HaveAcTL = false;
    TApngFrame* Current = nullptr;
    while (At + 12 <= FData.size()) {
      const uint32_t Len = Be32(&FData[At]);
      if (Len > FData.size() - At - 12) Fail(Kind(), "damaged chunk");
      const uint8_t* Type = &FData[At + 4];
      const uint8_t* Body = &FData[At + 8];
      const std::string T(reinterpret_cast<const char*>(Type), 4);
      if (T == "IHDR") {
        if (Len != 13) Fail(Kind(), "damaged header");
        FIHDR.assign(Body, Body + 13);
        SetCanvas(Be32(Body), Be32(Body + 4), Kind());
      } else if (T == "acTL") {
        if (Len != 8) Fail(Kind(), "damaged animation chunk");
        HaveAcTL = true;
        FLoopCount = int(std::min<uint32_t>(Be32(Body + 4), 1 << 30));
      } else if (T == "fcTL") {
        if (Len != 26) Fail(Kind(), "damaged frame chunk");
        if (FFrames.size() >= size_t(kMaxAnimationFrames)) Fail(Kind(), "too many frames");
        TApngFrame F;
        F.W = Be32(Body + 4), F.H = Be32(Body + 8), F.X = Be32(Body + 12), F.Y = Be32(Body + 16);
        F.DelayNum = Be16(Body + 20), F.DelayDen = Be16(Body + 22);
        F.Dispose = Body[24], F.Blend = Body[25];
        if (!F.W || !F.H || F.X > uint32_t(FWidth) || F.Y > uint32_t(FHeight) ||
            F.W > uint32_t(FWidth) - F.X || F.H > uint32_t(FHeight) - F.Y)
          Fail(Kind(), "frame outside the canvas");
        FFrames.push_back(F);
        Current = &FFrames.back();
      } else if (T == "IDAT") {
        // The default picture is the first frame only when a frame chunk came before it.
        if (!SeenIDAT && !Current) FDefaultHidden = true;
        SeenIDAT = true;
        if (Current && !FDefaultHidden) Current->Data.push_back({Body, Len});
        FIDAT.push_back({Body, Len});
      } else if (T == "fdAT") {
        if (Len < 4 || !Current) Fail(Kind(), "damaged frame data");
        Current->Data.push_back({Body + 4, Len - 4});
      } else if (T == "IEND") {
        break;
      } else if (!SeenIDAT &&
                 (T == "PLTE" || T == "tRNS" || T == "gAMA" || T == "sRGB" || T == "cHRM")) {
        FExtra.insert(FExtra.end(), &FData[At], &FData[At] + Len + 12);
      }
      At += size_t(Len) + 12;
    }
    if (FIHDR.empty() || FIDAT.empty()) Fail(Kind(), "damaged file");
    if (!HaveAcTL || FFrames.empty()) {
      // A still PNG: its picture is the one frame.
      FFrames.clear();
      TApngFrame F;
      F.W = uint32_t(FWidth), F.H = uint32_t(FHeight);
      F.Data = FIDAT;
      FFrames.push_back(F);
      FLoopCount = 0;
    }
    for (const TApngFrame& F : FFrames)
      if (F.Data.empty()) Fail(Kind(), "frame without data");
    FFrameCount = int(FFrames.size());
    DoRewind();
  }
  std::string Kind() const override { return "APNG"; }

protected:
  bool DecodeNext(std::vector<uint8_t>& Bgra, int& DurationMs) override {
    if (FPosition >= FFrameCount) return false;
    const TApngFrame& F = FFrames[size_t(FPosition)];
    // What the frame before left for disposal.
    if (FPosition > 0) {
      const TApngFrame& P = FFrames[size_t(FPosition - 1)];
      if (P.Dispose == 1)
        ClearRect(P);
      else if (P.Dispose == 2)
        FCanvas = FSaved;
    }
    if (F.Dispose == 2) FSaved = FCanvas;
    const std::vector<uint8_t> Pixels = DecodeFrame(F);
    for (uint32_t Y = 0; Y < F.H; ++Y) {
      const uint8_t* S = &Pixels[size_t(Y) * F.W * 4];
      uint8_t* D = &FCanvas[(size_t(F.Y + Y) * FWidth + F.X) * 4];
      for (uint32_t X = 0; X < F.W; ++X, S += 4, D += 4) {
        if (F.Blend == 0 || S[3] == 255 || D[3] == 0) {
          std::memcpy(D, S, 4);
        } else if (S[3] != 0) {
          // Straight alpha "over".
          const unsigned A = S[3], B = D[3] * (255 - A) / 255, Out = A + B;
          for (int C = 0; C < 3; ++C)
            D[C] = uint8_t((S[C] * A + D[C] * B + Out / 2) / Out);
          D[3] = uint8_t(Out);
        }
      }
    }
    Bgra = FCanvas;
    const unsigned Den = F.DelayDen ? F.DelayDen : 100;
    DurationMs = FrameMs(F.DelayNum * 1000.0 / Den);
    return true;
  }
  void DoRewind() override {
    FCanvas.assign(size_t(FWidth) * FHeight * 4, 0);
    FSaved.clear();
  }

private:
  void ClearRect(const TApngFrame& F) {
    for (uint32_t Y = 0; Y < F.H; ++Y)
      std::memset(&FCanvas[(size_t(F.Y + Y) * FWidth + F.X) * 4], 0, size_t(F.W) * 4);
  }

  static void Chunk(std::vector<uint8_t>& Out, const char* Type, const uint8_t* Body, size_t Len) {
    const size_t At = Out.size();
    Out.resize(At + 8);
    for (int I = 0; I < 4; ++I)
      Out[At + size_t(I)] = uint8_t(Len >> (24 - 8 * I));
    std::memcpy(&Out[At + 4], Type, 4);
    Out.insert(Out.end(), Body, Body + Len);
    uLong Crc = crc32(0, &Out[At + 4], uInt(Len + 4));
    for (int I = 0; I < 4; ++I)
      Out.push_back(uint8_t(Crc >> (24 - 8 * I)));
  }

  // The frame as a PNG file of its own, decoded into BGRA.
  std::vector<uint8_t> DecodeFrame(const TApngFrame& F) const {
    static const uint8_t Signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<uint8_t> Png(Signature, Signature + 8);
    std::vector<uint8_t> Header = FIHDR;
    for (int I = 0; I < 4; ++I) {
      Header[size_t(I)] = uint8_t(F.W >> (24 - 8 * I));
      Header[size_t(4 + I)] = uint8_t(F.H >> (24 - 8 * I));
    }
    Chunk(Png, "IHDR", Header.data(), Header.size());
    Png.insert(Png.end(), FExtra.begin(), FExtra.end());
    for (const auto& [Body, Len] : F.Data)
      Chunk(Png, "IDAT", Body, Len);
    Chunk(Png, "IEND", nullptr, 0);
    png_image Img;
    std::memset(&Img, 0, sizeof Img);
    Img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&Img, Png.data(), Png.size()))
      Fail(Kind(), "damaged frame");
    Img.format = PNG_FORMAT_BGRA;
    std::vector<uint8_t> Pixels(size_t(F.W) * F.H * 4);
    if (Img.width != F.W || Img.height != F.H ||
        !png_image_finish_read(&Img, nullptr, Pixels.data(), 0, nullptr)) {
      png_image_free(&Img);
      Fail(Kind(), "damaged frame");
    }
    return Pixels;
  }

  std::vector<uint8_t> FData, FIHDR, FExtra, FCanvas, FSaved;
  std::vector<std::pair<const uint8_t*, size_t>> FIDAT;
  std::vector<TApngFrame> FFrames;
  bool FDefaultHidden = false;
};

enum class TKind { None, WebP, Avif, Jxl, Png };

TKind KindOf(const std::vector<uint8_t>& D) {
  if (D.size() >= 12 && !std::memcmp(D.data(), "RIFF", 4) && !std::memcmp(&D[8], "WEBP", 4))
    return TKind::WebP;
  if (D.size() >= 12 && !std::memcmp(&D[4], "ftyp", 4) &&
      (!std::memcmp(&D[8], "avif", 4) || !std::memcmp(&D[8], "avis", 4)))
    return TKind::Avif;
  if (JxlSignatureCheck(D.data(), D.size()) >= JXL_SIG_CODESTREAM) return TKind::Jxl;
  if (D.size() >= 8 && D[0] == 137 && D[1] == 'P' && D[2] == 'N' && D[3] == 'G') return TKind::Png;
  return TKind::None;
}

} // namespace

void TAnimation::SetCanvas(int64_t W, int64_t H, const std::string& Kind) {
  CheckPictureSize(
      W, H, [&](const std::string& Why) { Fail(Kind, Why); }, DefaultMaxPixelCount);
  FWidth = int(W);
  FHeight = int(H);
}

std::unique_ptr<TAnimation> TAnimation::Open(const std::string& FileName) {
  return FromBytes(ReadFile(FileName));
}

std::unique_ptr<TAnimation> TAnimation::FromBytes(std::vector<uint8_t> Data) {
  switch (KindOf(Data)) {
  case TKind::WebP:
    return std::make_unique<TWebPAnimation>(std::move(Data));
  case TKind::Avif:
    return std::make_unique<TAvifAnimation>(std::move(Data));
  case TKind::Jxl:
    return std::make_unique<TJxlAnimation>(std::move(Data));
  case TKind::Png:
    return std::make_unique<TApngAnimation>(std::move(Data));
  case TKind::None:
    break;
  }
  throw EPixelGraphic("Not a moving picture of a known kind");
}

bool TAnimation::IsAnimated(const std::string& FileName) {
  try {
    // Stills are told from their headers; what looks like an animation must also open as one.
    return CountAnimationFrames(FileName) > 1 && Open(FileName)->FrameCount() > 1;
  } catch (const std::exception&) {
    return false;
  }
}

bool TAnimation::NextFrameBgra(std::vector<uint8_t>& Bgra, int& DurationMs) {
  Bgra.resize(size_t(FWidth) * FHeight * 4);
  if (!DecodeNext(Bgra, DurationMs)) return false;
  ++FPosition;
  return true;
}

// ---- counting frames from the container

namespace {

// Reads Count bytes at Offset, or fewer at the end.
std::vector<uint8_t> ReadSome(const TReadAt& ReadAt, int64_t Offset, size_t Count) {
  std::vector<uint8_t> B(Count);
  B.resize(ReadAt(Offset, B.data(), B.size()));
  return B;
}

std::vector<uint8_t> ReadWhole(const TReadAt& ReadAt, int64_t Size) {
  if (Size < 0 || Size > kMaxAnimationFileBytes) throw EPixelGraphic("File too large");
  return ReadSome(ReadAt, 0, size_t(Size));
}

int Capped(uint64_t Frames) {
  return int(std::clamp<uint64_t>(Frames, 1, kMaxAnimationFrames));
}

// APNG: the animation chunk comes before the picture data and names the frame count.
int CountPngFrames(const TReadAt& ReadAt, int64_t Size) {
  for (int64_t At = 8; At + 12 <= Size;) {
    const std::vector<uint8_t> Head = ReadSome(ReadAt, At, 16);
    if (Head.size() < 8) break;
    const uint32_t Len = Be32(Head.data());
    const std::string T(reinterpret_cast<const char*>(&Head[4]), 4);
    if (T == "acTL") {
      // A damaged one leaves the file a still picture, as the player takes it.
      return Len == 8 && Head.size() >= 12 ? Capped(Be32(&Head[8])) : 1;
    }
    if (T == "IDAT" || T == "IEND") break;
    At += int64_t(Len) + 12;
  }
  return 1;
}

int CountWebPFrames(const TReadAt& ReadAt, int64_t Size) {
  const std::vector<uint8_t> Head = ReadSome(ReadAt, 0, 21);
  // Only the extended format's header can announce an animation.
  if (Head.size() < 21 || std::memcmp(&Head[12], "VP8X", 4) != 0 || !(Head[20] & 0x02)) return 1;
  const std::vector<uint8_t> Data = ReadWhole(ReadAt, Size);
  const WebPData D{Data.data(), Data.size()};
  WebPDemuxer* Demux = WebPDemux(&D);
  if (!Demux) Fail("WebP", "damaged file");
  const uint32_t Frames = WebPDemuxGetI(Demux, WEBP_FF_FRAME_COUNT);
  WebPDemuxDelete(Demux);
  return Capped(Frames);
}

// AVIF: only files that name the sequence brand hold a sequence.
int CountAvifFrames(const TReadAt& ReadAt, int64_t Size) {
  const std::vector<uint8_t> Head = ReadSome(ReadAt, 0, 4096);
  const size_t Box = std::min<size_t>(Head.size() >= 4 ? Be32(Head.data()) : 0, Head.size());
  bool Sequence = Box < 16; // an odd file type box: let the library judge
  for (size_t At = 8; At + 4 <= Box && !Sequence; At += 4)
    Sequence = At != 12 && std::memcmp(&Head[At], "avis", 4) == 0;
  if (!Sequence) return 1;
  const std::vector<uint8_t> Data = ReadWhole(ReadAt, Size);
  avifDecoder* Dec = avifDecoderCreate();
  if (!Dec) Fail("AVIF", "Out of memory");
  Dec->strictFlags = AVIF_STRICT_DISABLED;
  Dec->ignoreExif = Dec->ignoreXMP = AVIF_TRUE;
  Dec->imageCountLimit = kMaxAnimationFrames;
  const bool Ok = avifDecoderSetIOMemory(Dec, Data.data(), Data.size()) == AVIF_RESULT_OK &&
                  avifDecoderParse(Dec) == AVIF_RESULT_OK;
  const int Frames = Dec->imageCount;
  avifDecoderDestroy(Dec);
  if (!Ok) Fail("AVIF", "damaged file");
  return Capped(uint64_t(std::max(Frames, 1)));
}

// JPEG XL: the basic information says whether there is an animation; its frames are counted
// from their headers.
int CountJxlFrames(const TReadAt& ReadAt, int64_t Size) {
  std::unique_ptr<JxlDecoder, void (*)(JxlDecoder*)> Dec(JxlDecoderCreate(nullptr),
                                                         JxlDecoderDestroy);
  if (!Dec) Fail("JPEG XL", "Out of memory");
  std::vector<uint8_t> Data = ReadSome(ReadAt, 0, 64 * 1024);
  bool Whole = int64_t(Data.size()) >= Size;
  auto Start = [&](int Events) {
    JxlDecoderReset(Dec.get());
    if (JxlDecoderSubscribeEvents(Dec.get(), Events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(Dec.get(), Data.data(), Data.size()) != JXL_DEC_SUCCESS)
      Fail("JPEG XL", "damaged file");
    if (Whole) JxlDecoderCloseInput(Dec.get());
  };
  Start(JXL_DEC_BASIC_INFO);
  for (;;) {
    const JxlDecoderStatus S = JxlDecoderProcessInput(Dec.get());
    if (S == JXL_DEC_BASIC_INFO) break;
    if (S == JXL_DEC_NEED_MORE_INPUT && !Whole) {
      Data = ReadWhole(ReadAt, Size);
      Whole = true;
      Start(JXL_DEC_BASIC_INFO);
      continue;
    }
    Fail("JPEG XL", "damaged file");
  }
  JxlBasicInfo Info;
  if (JxlDecoderGetBasicInfo(Dec.get(), &Info) != JXL_DEC_SUCCESS) Fail("JPEG XL", "damaged file");
  if (!Info.have_animation) return 1;
  if (!Whole) Data = ReadWhole(ReadAt, Size), Whole = true;
  Start(JXL_DEC_FRAME);
  int Frames = 0;
  for (;;) {
    const JxlDecoderStatus S = JxlDecoderProcessInput(Dec.get());
    if (S == JXL_DEC_SUCCESS) break;
    if (S != JXL_DEC_FRAME) Fail("JPEG XL", "damaged file");
    if (++Frames > kMaxAnimationFrames) Fail("JPEG XL", "too many frames");
  }
  return std::max(Frames, 1);
}

} // namespace

int CountAnimationFrames(const TReadAt& ReadAt, int64_t Size) {
  std::vector<uint8_t> Head = ReadSome(ReadAt, 0, 16);
  Head.resize(16, 0);
  switch (KindOf(Head)) {
  case TKind::WebP:
    return CountWebPFrames(ReadAt, Size);
  case TKind::Avif:
    return CountAvifFrames(ReadAt, Size);
  case TKind::Jxl:
    return CountJxlFrames(ReadAt, Size);
  case TKind::Png:
    return CountPngFrames(ReadAt, Size);
  case TKind::None:
    break;
  }
  return 0;
}

int CountAnimationFrames(const std::vector<uint8_t>& Data) {
  return CountAnimationFrames(
      [&Data](int64_t Offset, uint8_t* Buffer, size_t Count) -> size_t {
        if (Offset < 0 || uint64_t(Offset) >= Data.size()) return 0;
        const size_t N = std::min(Count, Data.size() - size_t(Offset));
        std::memcpy(Buffer, Data.data() + Offset, N);
        return N;
      },
      int64_t(Data.size()));
}

int CountAnimationFrames(TPGStream& Stream) {
  const int64_t Start = Stream.Position();
  const int Frames = CountAnimationFrames(
      [&Stream, Start](int64_t Offset, uint8_t* Buffer, size_t Count) -> size_t {
        Stream.SetPosition(Start + Offset);
        return Stream.Read(Buffer, Count);
      },
      Stream.Size() - Start);
  Stream.SetPosition(Start);
  return Frames;
}

int CountAnimationFrames(const std::string& FileName) {
  std::ifstream F(FileName, std::ios::binary | std::ios::ate);
  if (!F) throw EPixelGraphic("Cannot open file \"" + FileName + "\"");
  const std::streamoff Size = F.tellg();
  return CountAnimationFrames(
      [&F](int64_t Offset, uint8_t* Buffer, size_t Count) -> size_t {
        F.clear();
        F.seekg(Offset);
        F.read(reinterpret_cast<char*>(Buffer), std::streamsize(Count));
        return size_t(std::max<std::streamsize>(F.gcount(), 0));
      },
      int64_t(Size));
}

bool TAnimation::NextFrame(TPixelGraphic& Frame, int& DurationMs, TRGB Background) {
  FBuffer.resize(size_t(FWidth) * FHeight * 4);
  if (!DecodeNext(FBuffer, DurationMs)) return false;
  ++FPosition;
  Frame.SetSize(FWidth, FHeight, 3);
  const unsigned BR = RedOf(Background), BG = GreenOf(Background), BB = BlueOf(Background);
  for (int Y = 0; Y < FHeight; ++Y) {
    const uint8_t* S = &FBuffer[size_t(Y) * FWidth * 4];
    uint8_t* D = Frame.ScanLine(Y);
    for (int X = 0; X < FWidth; ++X, S += 4, D += 3) {
      const unsigned A = S[3];
      D[0] = uint8_t((S[0] * A + BB * (255 - A) + 127) / 255);
      D[1] = uint8_t((S[1] * A + BG * (255 - A) + 127) / 255);
      D[2] = uint8_t((S[2] * A + BR * (255 - A) + 127) / 255);
    }
  }
  Frame.Changed();
  return true;
}

} // namespace orbisk
