#include "engine/formats/jxl.h"

#include "engine/animation.h"
#include "engine/formats/decodedrows.h"
#include "engine/formats/formats.h"
#include "engine/messages.h"
#include "engine/stream.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>

namespace orbisk {

namespace {

const std::string kTag = "JXL: ";
const char* const kDescription = "JPEG XL";

[[noreturn]] void Fail(const std::string& Text) {
  throw EPGJXLFileFormatReader(kTag + Text);
}

const TFailFn kFail = [](const std::string& T) { Fail(T); };

struct TDecoderDeleter {
  void operator()(JxlDecoder* D) const { JxlDecoderDestroy(D); }
};
struct TRunnerDeleter {
  void operator()(void* R) const { JxlThreadParallelRunnerDestroy(R); }
};

// A decoder over Data that reports Events; with Threads a runner limited to the processors this
// process may use.
struct TDecoder {
  std::unique_ptr<JxlDecoder, TDecoderDeleter> D{JxlDecoderCreate(nullptr)};
  std::unique_ptr<void, TRunnerDeleter> Runner;

  TDecoder(const std::vector<uint8_t>& Data, int Events, bool Threads) {
    if (!D) Fail("Out of memory");
    if (Threads && CodecThreadCount() > 1) {
      Runner.reset(JxlThreadParallelRunnerCreate(nullptr, size_t(CodecThreadCount())));
      if (!Runner || JxlDecoderSetParallelRunner(D.get(), JxlThreadParallelRunner, Runner.get()) !=
                         JXL_DEC_SUCCESS)
        Fail(EngineMessage(msgFailed, "JxlDecoderSetParallelRunner"));
    }
    if (JxlDecoderSubscribeEvents(D.get(), Events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(D.get(), Data.data(), Data.size()) != JXL_DEC_SUCCESS)
      Fail(EngineMessage(msgFailed, "JxlDecoderSetInput"));
    JxlDecoderCloseInput(D.get());
  }

  // The next event; errors and the end of the data raise.
  JxlDecoderStatus Next() {
    const JxlDecoderStatus S = JxlDecoderProcessInput(D.get());
    if (S == JXL_DEC_ERROR) Fail("Corrupt data");
    if (S == JXL_DEC_NEED_MORE_INPUT) Fail(EngineMessage(msgUnexpectedEOF));
    return S;
  }

  JxlBasicInfo BasicInfo() {
    JxlBasicInfo Info;
    if (JxlDecoderGetBasicInfo(D.get(), &Info) != JXL_DEC_SUCCESS) Fail("Corrupt data");
    return Info;
  }

  // Whether one of the extra channels is the black of a CMYK picture: the colour channels are
  // then cyan, magenta and yellow, and the picture cannot be shown from them alone.
  bool HasBlackChannel(const JxlBasicInfo& Info) {
    for (uint32_t K = 0; K < Info.num_extra_channels; ++K) {
      JxlExtraChannelInfo E;
      if (JxlDecoderGetExtraChannelInfo(D.get(), K, &E) != JXL_DEC_SUCCESS) Fail("Corrupt data");
      if (E.type == JXL_CHANNEL_BLACK) return true;
    }
    return false;
  }
};

// At a progression event: when the decoder's state is a whole picture at a ratio that answers the
// request, takes one pixel of every Ratio x Ratio block of it (the decoder renders the coarse
// pass at full size, each block alike) into Image. False when the ratio will not do or nothing
// could be rendered yet: decoding goes on.
bool StoreReduced(TDecoder& Dec, const JxlBasicInfo& Info, const JxlPixelFormat& Format,
                  const std::vector<uint8_t>& Buffer, TPixelGraphic& Image) {
  const int64_t Ratio = int64_t(JxlDecoderGetIntendedDownsamplingRatio(Dec.D.get()));
  const int64_t W = Info.xsize, H = Info.ysize, C = Format.num_channels;
  if (Ratio < 2 || Buffer.size() != size_t(W * H * C)) return false;
  const int64_t RW = (W + Ratio - 1) / Ratio, RH = (H + Ratio - 1) / Ratio;
  if (!ReducedSizeFits(W, H, RW, RH, Image.ReducedSize)) return false;
  if (JxlDecoderFlushImage(Dec.D.get()) != JXL_DEC_SUCCESS) return false;
  std::vector<uint8_t> Small(size_t(RW * RH * C));
  for (int64_t Y = 0; Y < RH; ++Y) {
    const uint8_t* Row = Buffer.data() + std::min(Y * Ratio + Ratio / 2, H - 1) * W * C;
    uint8_t* D = Small.data() + Y * RW * C;
    for (int64_t X = 0; X < RW; ++X, D += C)
      std::memcpy(D, Row + std::min(X * Ratio + Ratio / 2, W - 1) * C, size_t(C));
  }
  TDecodedRows Rows;
  Rows.Data = Small.data();
  Rows.Width = static_cast<int>(RW);
  Rows.Height = static_cast<int>(RH);
  Rows.Channels = static_cast<int>(C);
  Rows.Stride = RW * C;
  Rows.RedFirst = true;
  StoreDecodedRows(Image, Rows);
  Image.FullWidth = static_cast<int>(W);
  Image.FullHeight = static_cast<int>(H);
  return true;
}

} // namespace

TJXLFileFormatReader::TJXLFileFormatReader() : TFileFormatReader("jxl", kDescription) {
  ListGroup = 1;
  CanSniff = true;
}

bool TJXLFileFormatReader::Sniff(const uint8_t* Header) {
  const JxlSignature S = JxlSignatureCheck(Header, kHeaderSniffSize);
  return S == JXL_SIG_CODESTREAM || S == JXL_SIG_CONTAINER;
}

void TJXLFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                                       const TReadOptions& Options) {
  if (Index != 0) Fail(EngineMessage(msgInvalid, "Index"));
  Image.FileGamma =
      Options.ScreenGamma; // colour comes out as the file or sRGB says, not corrected again
  const std::vector<uint8_t> Data = ReadRemaining(Stream, kFail);
  // A reduced decode stops once the frame's low-frequency pass is in (1/8 of the size).
  const int Reduced = Image.ReducedSize;
  const int Events = JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE |
                     (Reduced > 0 ? JXL_DEC_FRAME_PROGRESSION : 0);
  TDecoder Dec(Data, Events, true);
  JxlDecoderSetUnpremultiplyAlpha(Dec.D.get(), JXL_TRUE);
  if (Reduced > 0 && JxlDecoderSetProgressiveDetail(Dec.D.get(), kDC) != JXL_DEC_SUCCESS)
    Fail(EngineMessage(msgFailed, "JxlDecoderSetProgressiveDetail"));

  JxlBasicInfo Info{};
  JxlPixelFormat Format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  std::vector<uint8_t> Buffer;
  bool TryReduced = false;
  for (;;) {
    const JxlDecoderStatus S = Dec.Next();
    if (S == JXL_DEC_BASIC_INFO) {
      Info = Dec.BasicInfo();
      CheckPictureSize(Info.xsize, Info.ysize, kFail, Options.MaxPixelCount);
      if (Dec.HasBlackChannel(Info)) Fail("CMYK not supported");
      Format.num_channels = Info.alpha_bits ? 4 : 3;
      // Stills only: an animation's first frame may be blended onto a later canvas.
      TryReduced = Reduced > 0 && !Info.have_animation &&
                   ReducedSizeFits(Info.xsize, Info.ysize, (Info.xsize + 7) / 8,
                                   (Info.ysize + 7) / 8, Reduced);
    } else if (S == JXL_DEC_FRAME_PROGRESSION) {
      if (TryReduced && StoreReduced(Dec, Info, Format, Buffer, Image)) return;
    } else if (S == JXL_DEC_COLOR_ENCODING) {
      // Pictures in the format's own colour space are shown in sRGB (grey ones in sRGB grey).
      if (!Info.uses_original_profile) {
        JxlColorEncoding Srgb;
        JxlColorEncodingSetToSRGB(&Srgb, Info.num_color_channels == 1 ? JXL_TRUE : JXL_FALSE);
        JxlDecoderSetPreferredColorProfile(Dec.D.get(), &Srgb);
      }
    } else if (S == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      size_t Size = 0;
      if (JxlDecoderImageOutBufferSize(Dec.D.get(), &Format, &Size) != JXL_DEC_SUCCESS ||
          Size != size_t(Info.xsize) * Info.ysize * Format.num_channels)
        Fail(EngineMessage(msgNotSupportedSubformat));
      Buffer.resize(Size);
      if (JxlDecoderSetImageOutBuffer(Dec.D.get(), &Format, Buffer.data(), Size) != JXL_DEC_SUCCESS)
        Fail(EngineMessage(msgNotSupportedSubformat));
    } else if (S == JXL_DEC_FULL_IMAGE) {
      break; // the first frame is the picture
    } else if (S == JXL_DEC_SUCCESS) {
      Fail(EngineMessage(msgUnexpectedEOF)); // no frame at all
    }
  }
  TDecodedRows Rows;
  Rows.Data = Buffer.data();
  Rows.Width = static_cast<int>(Info.xsize);
  Rows.Height = static_cast<int>(Info.ysize);
  Rows.Channels = static_cast<int>(Format.num_channels);
  Rows.Stride = int64_t(Rows.Width) * Rows.Channels;
  Rows.RedFirst = true;
  StoreDecodedRows(Image, Rows);
}

void TJXLFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
                                   const TReadOptions& Options) {
  TFileFormatReader::GetInfo(Stream, Index, Info, Options);
  if (Index != 0) Fail(EngineMessage(msgInvalidValueFor, "Index"));
  const std::vector<uint8_t> Data = ReadRemaining(Stream, kFail);
  TDecoder Dec(Data, JXL_DEC_BASIC_INFO, false);
  for (JxlDecoderStatus S = Dec.Next(); S != JXL_DEC_BASIC_INFO; S = Dec.Next())
    if (S == JXL_DEC_SUCCESS) Fail(EngineMessage(msgUnexpectedEOF));
  const JxlBasicInfo B = Dec.BasicInfo();
  if (B.have_animation) Info.GraphicCount = CountAnimationFrames(Data);
  Info.Width = static_cast<int>(B.xsize);
  Info.Height = static_cast<int>(B.ysize);
  Info.BitsPerPixel = static_cast<int>(B.bits_per_sample * B.num_color_channels + B.alpha_bits);
  Info.Colors = std::string(B.num_color_channels == 1 ? "256" : "16.7M");
  // Pictures kept in their original colours are the lossless ones in practice.
  std::string Sub = B.uses_original_profile ? "lossless" : "lossy";
  Sub += ", " + std::to_string(B.bits_per_sample) + "-bit";
  if (B.alpha_bits) Sub += ", alpha";
  if (B.have_animation) Sub += ", animation";
  if (Dec.HasBlackChannel(B)) Sub += ", CMYK";
  Info.SubType = Sub;
}

void RegisterJXLFormats() {
  RegisterReader(std::make_unique<TJXLFileFormatReader>());
}

} // namespace orbisk
