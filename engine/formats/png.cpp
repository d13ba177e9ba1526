#include "engine/formats/png.h"

#include "engine/animation.h"
#include "engine/formats/decodedrows.h"
#include "engine/formats/formats.h"
#include "engine/formats/pngidat.h"
#include "engine/messages.h"
#include "engine/orientation.h"
#include "engine/palettes.h"
#include "engine/stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>

#include <png.h>
#include <zlib.h>

namespace orbisk {

namespace {

const std::string kTag = "PNG: ";
const char* const kDescription = "Portable Network Graphics";

[[noreturn]] void Fail(const std::string& Text) {
  throw EPGPNGFileFormatReaderWriter(kTag + Text);
}

// Ancillary chunks reported by GetInfo, in their reporting order.
struct TChunkName {
  const char* Tag;
  const char* Shown;
};
constexpr TChunkName kChunks[] = {
    {"gAMA", "gama"}, {"sBIT", "sbit"}, {"cHRM", "chrm"}, {"PLTE", "plte"}, {"tRNS", "trns"},
    {"bKGD", "bkgd"}, {"hIST", "hist"}, {"pHYs", "phys"}, {"oFFs", "offs"}, {"tIME", "time"}};
constexpr unsigned kSeenGamma = 1u << 0;
constexpr unsigned kSeenOffs = 1u << 8;

// The most an ancillary chunk may hold (text, profiles, unknown chunks).
constexpr png_alloc_size_t kMaxChunkBytes = 8 * 1024 * 1024;

// State shared with the library callbacks. libpng reports errors by calling back; we longjmp
// to the guarded call (Protected) and throw from there, never through the library's frames.
struct TContext {
  TPGStream* Stream = nullptr;
  TPixelGraphic* Image = nullptr; // warnings follow its ReadWarningAction; none: they raise
  const TReadOptions* Options = nullptr; // the reading's own options
  png_infop Info = nullptr;
  std::string Message;
  std::exception_ptr Pending; // a C++ exception caught inside a callback
  unsigned Seen = 0;          // bit i: chunk kChunks[i] was read
  bool Quiet = false;         // warnings are dropped (about blocks carried from another file)
  int Warnings = 0;           // warnings routed so far
  int SkipWarnings = 0;       // the first ones, already shown by an earlier decoding of the file
  // The image data inflated on a worker thread (see pngidat.h): allowed for this reading, the
  // first IDAT header seen, the worker, and whether libpng is still reading what it hands over.
  bool AllowPipe = false;
  bool FirstIdatSeen = false;
  std::unique_ptr<TIdatPipe> Pipe;
  bool InPipe() const { return Pipe && !Pipe->Finished(); }
};

TContext& Ctx(png_structp P) {
  return *static_cast<TContext*>(png_get_error_ptr(P));
}

template <class F> bool Protected(png_structp P, F&& Fn) {
  if (setjmp(png_jmpbuf(P)) != 0) return false;
  Fn();
  return true;
}

[[noreturn]] void Raise(TContext& X) {
  if (X.Pending) std::rethrow_exception(X.Pending);
  Fail(X.Message);
}

void PNGCBAPI OnError(png_structp P, png_const_charp Msg) {
  Ctx(P).Message = Msg ? Msg : "";
  png_longjmp(P, 1);
}

bool RouteWarning(TContext& X, png_const_charp Msg) noexcept {
  try {
    if (X.Quiet || ++X.Warnings <= X.SkipWarnings) return true;
    const std::string Text = Msg ? Msg : "";
    // Describing a file (no picture) never stops at a recoverable warning: a file that loads
    // must not be reported as unreadable because of, say, a known incorrect colour profile.
    if (X.Image) ApplyReadWarning(*X.Image, "PNG " + EngineMessage(msgWarning), Text, Text, Fail);
    return true;
  } catch (...) {
    X.Pending = std::current_exception();
    return false;
  }
}

void PNGCBAPI OnWarning(png_structp P, png_const_charp Msg) {
  if (!RouteWarning(Ctx(P), Msg)) png_longjmp(P, 1);
}

void NoteChunk(png_structp P, TContext& X) {
  const png_uint_32 Loc = png_get_io_state(P) & PNG_IO_MASK_LOC;
  if (Loc != PNG_IO_CHUNK_DATA && Loc != PNG_IO_CHUNK_CRC) return;
  const png_uint_32 Type = png_get_io_chunk_type(P);
  for (size_t I = 0; I < std::size(kChunks); ++I) {
    const auto* T = reinterpret_cast<const unsigned char*>(kChunks[I].Tag);
    const png_uint_32 Tag = (png_uint_32(T[0]) << 24) | (png_uint_32(T[1]) << 16) |
                            (png_uint_32(T[2]) << 8) | png_uint_32(T[3]);
    if (Type == Tag) X.Seen |= 1u << I;
  }
}

bool ReadSome(TContext& X, png_bytep Data, size_t Length, size_t& Got) noexcept {
  try {
    Got = X.Stream->Read(Data, Length);
    return true;
  } catch (...) {
    X.Pending = std::current_exception();
    return false;
  }
}

// The longest IDAT chunk libpng reads without a warning, by its own rule: the picture's bytes
// with generous deflate overhead, and never less than the chunk allocation limit.
uint32_t IdatLengthLimit(uint64_t W, uint64_t H, int Depth, int Channels, bool Interlaced) {
  uint64_t RowFactor = W * uint64_t(Channels) * (Depth > 8 ? 2 : 1) + 1 + (Interlaced ? 6 : 0);
  uint64_t Limit = H > 0xFFFFFFFFu / RowFactor ? PNG_UINT_31_MAX : H * RowFactor;
  RowFactor = std::min<uint64_t>(RowFactor, 32566);
  Limit += 6 + 5 * (Limit / RowFactor + 1);
  Limit = std::min<uint64_t>(Limit, PNG_UINT_31_MAX);
  return static_cast<uint32_t>(std::max<uint64_t>(Limit, kMaxChunkBytes));
}

int ReducedFactor(uint32_t W, uint32_t H, int Interlace, int ReducedSize);

// Filtered image data from this size on is worth a worker thread.
constexpr uint64_t kPipeMinBytes = 1u << 20;

// At the first IDAT header: hands the image data to a worker thread when the picture is large
// enough, more than one processor may be used and nothing makes libpng treat the chunk specially
// (a length it warns about). libpng is told the length of the first stored chunk instead.
void MaybeStartPipe(png_structp P, TContext& X, png_bytep Header) {
  // Plain getters: png_get_IHDR would check (and fail) a file without a valid IHDR here.
  if (!X.Info || !X.Image) return;
  const png_uint_32 W = png_get_image_width(P, X.Info), H = png_get_image_height(P, X.Info);
  const int Depth = png_get_bit_depth(P, X.Info), Type = png_get_color_type(P, X.Info);
  const int Interlace = png_get_interlace_type(P, X.Info);
  if (W == 0 || H == 0 || Depth == 0) return; // no header yet: libpng refuses the file
  if (Type == PNG_COLOR_TYPE_PALETTE && !png_get_valid(P, X.Info, PNG_INFO_PLTE)) return;
  const TReadOptions& Options = *X.Options;
  if (int64_t(W) * H > Options.MaxPixelCount) return;
  if (ReducedFactor(W, H, Interlace, X.Image->ReducedSize) > 1) return;
  const int Channels = png_get_channels(P, X.Info);
  const bool Interlaced = Interlace != PNG_INTERLACE_NONE;
  const uint32_t Length = png_get_uint_32(Header);
  const uint32_t Limit = IdatLengthLimit(W, H, Depth, Channels, Interlaced);
  if (Length > PNG_UINT_31_MAX || Length > Limit) return;
  const uint64_t Filtered = FilteredSize(W, H, Depth * Channels, Interlaced);
  if (Options.PNGDecodeThreads == 1 ||
      (Options.PNGDecodeThreads != 2 && (Filtered < kPipeMinBytes || CodecThreadCount() < 2)))
    return;
  try {
    X.Pipe = std::make_unique<TIdatPipe>(*X.Stream, Length, Filtered, Limit);
  } catch (const std::bad_alloc&) {
    return;
  }
  png_save_uint_32(Header, X.Pipe->FirstChunkLength());
  X.Pipe->Start();
}

void PNGCBAPI ReadData(png_structp P, png_bytep Data, size_t Length) {
  TContext& X = Ctx(P);
  NoteChunk(P, X);
  size_t Got = 0;
  if (X.InPipe()) {
    Got = X.Pipe->Serve(Data, Length);
    if (X.Pipe->Failed()) png_longjmp(P, 1); // the reader decodes the file again
  }
  if (Got < Length) {
    size_t More = 0;
    if (!ReadSome(X, Data + Got, Length - Got, More)) png_longjmp(P, 1);
    Got += More;
  }
  if (Got != Length) {
    X.Message = EngineMessage(msgUnexpectedEOF);
    png_longjmp(P, 1);
  }
  // libpng allocates a whole ancillary chunk before reading it: a chunk header that declares
  // more than the limit ends the reading here (image data is read in pieces and may be large).
  if ((png_get_io_state(P) & PNG_IO_MASK_LOC) == PNG_IO_CHUNK_HDR && Length == 8) {
    const png_uint_32 Size = png_get_uint_32(Data);
    const bool Idat = std::memcmp(Data + 4, "IDAT", 4) == 0;
    if (Size > kMaxChunkBytes && !Idat) {
      X.Message =
          std::string(reinterpret_cast<const char*>(Data + 4), 4) + ": chunk data is too large";
      png_longjmp(P, 1);
    }
    if (Idat && X.AllowPipe && !X.FirstIdatSeen) {
      X.FirstIdatSeen = true;
      MaybeStartPipe(P, X, Data);
    }
  }
}

bool WriteSome(TContext& X, png_bytep Data, size_t Length) noexcept {
  try {
    X.Stream->Write(Data, Length);
    return true;
  } catch (...) {
    X.Pending = std::current_exception();
    return false;
  }
}

void PNGCBAPI WriteData(png_structp P, png_bytep Data, size_t Length) {
  if (!WriteSome(Ctx(P), Data, Length)) png_longjmp(P, 1);
}

void PNGCBAPI FlushData(png_structp) {}

// Bound to the libpng and zlib series the code was compiled against.
void CheckVersion() {
  if (png_access_version_number() / 100 != PNG_LIBPNG_VER / 100 ||
      zlibVersion()[0] != ZLIB_VERSION[0])
    Fail("Invalid library version");
}

struct TPNGRead {
  TContext X;
  png_structp P = nullptr;
  png_infop I = nullptr;

  TPNGRead(TPGStream& Stream, TPixelGraphic* Image, const TReadOptions& Options) {
    X.Stream = &Stream;
    X.Image = Image;
    X.Options = &Options;
    P = png_create_read_struct(PNG_LIBPNG_VER_STRING, &X, OnError, OnWarning);
    if (!P) Fail(EngineMessage(msgFailed, "png_create_read_struct"));
    I = png_create_info_struct(P);
    if (!I) {
      png_destroy_read_struct(&P, nullptr, nullptr);
      Fail(EngineMessage(msgFailed, "png_create_info_struct"));
    }
    X.Info = I;
    png_set_read_fn(P, &X, ReadData);
    // A chunk may not make libpng allocate more than this: a few hundred bytes declaring a
    // 2 GB text chunk are refused at its header, not after the allocation.
    png_set_chunk_malloc_max(P, kMaxChunkBytes);
    // Widths and heights as far as the engine's pixel limit goes (a picture one pixel high may
    // be that wide); the pixel count itself is checked before the picture is allocated.
    const png_uint_32 Side =
        static_cast<png_uint_32>(std::clamp<int64_t>(Options.MaxPixelCount, 1, PNG_UINT_31_MAX));
    png_set_user_limits(P, Side, Side);
  }
  ~TPNGRead() {
    X.Pipe.reset(); // the worker stops before anything it reads from goes
    png_destroy_read_struct(&P, &I, nullptr);
  }
  TPNGRead(const TPNGRead&) = delete;
  TPNGRead& operator=(const TPNGRead&) = delete;

  void ReadInfo() {
    if (!Protected(P, [&] { png_read_info(P, I); })) Raise(X);
  }
};

struct TPNGWrite {
  TContext X;
  png_structp P = nullptr;
  png_infop I = nullptr;

  TPNGWrite(TPGStream& Stream, TPixelGraphic* Image) {
    X.Stream = &Stream;
    X.Image = Image;
    P = png_create_write_struct(PNG_LIBPNG_VER_STRING, &X, OnError, OnWarning);
    if (!P) Fail(EngineMessage(msgFailed, "png_create_write_struct"));
    I = png_create_info_struct(P);
    if (!I) {
      png_destroy_write_struct(&P, nullptr);
      Fail(EngineMessage(msgFailed, "png_create_info_struct"));
    }
    png_set_write_fn(P, &X, WriteData, FlushData);
  }
  ~TPNGWrite() { png_destroy_write_struct(&P, &I); }
  TPNGWrite(const TPNGWrite&) = delete;
  TPNGWrite& operator=(const TPNGWrite&) = delete;
};

// A sample of Depth bits (1, 2, 4 or 8) from an 8-bit level, rounded.
png_uint_16 LevelToDepth(unsigned Level, int Depth) {
  if (Depth == 16) return static_cast<png_uint_16>(Level * 256);
  const unsigned Max = (1u << Depth) - 1;
  return static_cast<png_uint_16>((Level * Max + 127) / 255);
}

// An 8-bit level from a sample of Depth bits.
unsigned DepthToLevel(unsigned Sample, int Depth) {
  if (Depth == 16) return Sample / 256;
  const unsigned Max = (1u << Depth) - 1;
  return std::min(Sample, Max) * 255 / Max;
}

// The picture's background colour in the file's own sample scale, as libpng composes it.
png_color_16 PictureBackground(TRGB C, int ColorType, int Depth) {
  png_color_16 B{};
  if (ColorType == PNG_COLOR_TYPE_PALETTE) {
    B.red = static_cast<png_uint_16>(RedOf(C));
    B.green = static_cast<png_uint_16>(GreenOf(C));
    B.blue = static_cast<png_uint_16>(BlueOf(C));
  } else if (ColorType & PNG_COLOR_MASK_COLOR) {
    B.red = LevelToDepth(RedOf(C), Depth);
    B.green = LevelToDepth(GreenOf(C), Depth);
    B.blue = LevelToDepth(BlueOf(C), Depth);
  } else {
    const unsigned Sum = RedOf(C) + GreenOf(C) + BlueOf(C);
    const png_uint_16 G =
        Depth == 16 ? static_cast<png_uint_16>(Sum * 256 / 3) : LevelToDepth(Sum / 3, Depth);
    // libpng composes a grey file onto the grey only when the colour channels agree with it.
    B.gray = B.red = B.green = B.blue = G;
  }
  return B;
}

// The file's bKGD record as a colour: 16-bit samples are divided down, others scaled up from
// their own depth, palette records already hold the entry's colour.
TRGB FileBackgroundColor(const png_color_16& B, int ColorType, int Depth) {
  if (ColorType == PNG_COLOR_TYPE_PALETTE)
    return RGBOf(std::min<unsigned>(B.red, 255), std::min<unsigned>(B.green, 255),
                 std::min<unsigned>(B.blue, 255));
  if (ColorType & PNG_COLOR_MASK_COLOR)
    return RGBOf(DepthToLevel(B.red, Depth), DepthToLevel(B.green, Depth),
                 DepthToLevel(B.blue, Depth));
  const unsigned G = DepthToLevel(B.gray, Depth);
  return RGBOf(G, G, G);
}

// Widens a row of 2-bit samples in place into 4-bit samples (the picture's storage), pair by
// pair from the right so that no source byte is overwritten before it is read.
void Widen2To4(uint8_t* Row, int Width) {
  for (int K = (Width - 1) / 2; K >= 0; --K) {
    const int X0 = 2 * K;
    const unsigned A = (Row[X0 >> 2] >> (6 - 2 * (X0 & 3))) & 3;
    const unsigned B = X0 + 1 < Width ? (Row[(X0 + 1) >> 2] >> (6 - 2 * ((X0 + 1) & 3))) & 3 : 0;
    Row[K] = static_cast<uint8_t>((A << 4) | B);
  }
}

const char* ColorsText(int N) {
  switch (N) {
  case 1:
    return "2";
  case 2:
    return "4";
  case 4:
    return "16";
  case 8:
    return "256";
  case 16:
    return "64K?";
  case 24:
    return "16.7M";
  case 32:
    return "16.7M?";
  default:
    return "?";
  }
}

} // namespace

// ---- reader ----

TPNGFileFormatReader::TPNGFileFormatReader() : TFileFormatReader("png", kDescription) {
  CanSniff = true;
}

bool TPNGFileFormatReader::Sniff(const uint8_t* Header) {
  return png_sig_cmp(Header, 0, 8) == 0;
}

namespace {

// Adam7 passes: first column and row, and their steps.
constexpr int kPassX[7] = {0, 4, 0, 2, 0, 1, 0}, kPassDX[7] = {8, 8, 4, 4, 2, 2, 1};
constexpr int kPassY[7] = {0, 0, 4, 0, 2, 0, 1}, kPassDY[7] = {8, 8, 8, 4, 4, 2, 2};

// What a decoding has already reported, for a second decoding of the same file that must not
// report it again: the warnings, the progress start and the rows.
struct TReplay {
  bool Again = false;
  int Warnings = 0;
  bool Started = false;
  int64_t Rows = 0;
};

// A sample of Bits (1, 2, 4, 8) at index K of a packed row, most significant first.
unsigned SampleAt(const uint8_t* Row, size_t K, int Bits) {
  if (Bits == 8) return Row[K];
  const size_t Bit = K * size_t(Bits);
  return (Row[Bit >> 3] >> (8 - Bits - (Bit & 7))) & ((1u << Bits) - 1);
}

void PutSample(uint8_t* Row, size_t K, int Bits, unsigned V) {
  if (Bits == 8) {
    Row[K] = uint8_t(V);
    return;
  }
  const size_t Bit = K * size_t(Bits);
  const int Shift = 8 - Bits - int(Bit & 7);
  const unsigned Mask = ((1u << Bits) - 1) << Shift;
  Row[Bit >> 3] = uint8_t((Row[Bit >> 3] & ~Mask) | ((V << Shift) & Mask));
}

// The reduction an Adam7 file allows for a reduced decode: 8, 4 or 2 when the first one, three
// or five passes give both sides at least ReducedSize / max side of the stored ones; 1 for a
// full decode.
int ReducedFactor(uint32_t W, uint32_t H, int Interlace, int ReducedSize) {
  if (ReducedSize <= 0 || Interlace != PNG_INTERLACE_ADAM7 || W == 0 || H == 0) return 1;
  const uint64_t Side = std::max(W, H);
  for (int F : {8, 4, 2}) {
    const uint64_t RW = (W + F - 1) / F, RH = (H + F - 1) / F;
    if (RW * Side >= uint64_t(W) * ReducedSize && RH * Side >= uint64_t(H) * ReducedSize) return F;
  }
  return 1;
}

// One decoding of the file. Returns false when the image data inflated on the worker thread went
// wrong: nothing has been raised for it, and the caller decodes again without the worker.
bool DecodeOnce(TPGStream& Stream, TPixelGraphic& Image, const TReadOptions& Options,
                bool AllowPipe, TReplay& Replay) {
  Image.FileGamma = Options.ScreenGamma;

  auto R = std::make_unique<TPNGRead>(Stream, &Image, Options);
  png_structp P = R->P;
  png_infop I = R->I;
  R->X.AllowPipe = AllowPipe;
  R->X.SkipWarnings = Replay.Again ? Replay.Warnings : 0;
  R->ReadInfo();

  const int W = static_cast<int>(png_get_image_width(P, I));
  const int H = static_cast<int>(png_get_image_height(P, I));
  const int Depth = png_get_bit_depth(P, I);
  const int ColorType = png_get_color_type(P, I);
  const int Channels = png_get_channels(P, I);
  if (int64_t(W) * H > Options.MaxPixelCount) Fail(EngineMessage(msgFailed, "CreateDIBSection"));

  const bool Palette = ColorType == PNG_COLOR_TYPE_PALETTE;
  const int Code = Channels > 2 ? 3 : Depth == 1 ? 0 : Depth <= 4 ? 1 : 2;
  const int Factor =
      ReducedFactor(uint32_t(W), uint32_t(H), png_get_interlace_type(P, I), Image.ReducedSize);

  // Transparency is composited onto a background, the file's own or the picture's, given in
  // the file's sample scale.
  bool UseFileBackground = false;
  TRGB FileBackground = 0;
  if (png_get_valid(P, I, PNG_INFO_tRNS) || (ColorType & PNG_COLOR_MASK_ALPHA)) {
    png_color_16p FileBk = nullptr;
    png_color_16 Bk{};
    int GammaCode = PNG_BACKGROUND_GAMMA_SCREEN;
    if (Options.PNGUseFileBackground && png_get_bKGD(P, I, &FileBk) && FileBk) {
      Bk = *FileBk;
      GammaCode = PNG_BACKGROUND_GAMMA_FILE;
      UseFileBackground = true;
      FileBackground = FileBackgroundColor(Bk, ColorType, Depth);
    } else {
      Bk = PictureBackground(Image.BackGroundColor(), ColorType, Depth);
    }
    if (!Protected(P, [&] { png_set_background(P, &Bk, GammaCode, 0, 1.0); })) Raise(R->X);
  }

  // gAMA g means the data was encoded for a display gamma of 1 / g. Values that cannot give a
  // usable correction table are ignored.
  double FileGamma = 0;
  if ((R->X.Seen & kSeenGamma) && png_get_gAMA(P, I, &FileGamma) && FileGamma > 0 &&
      std::isfinite(1.0 / FileGamma))
    Image.FileGamma = 1.0L / FileGamma;

  // 16-bit samples are reduced to their high byte here rather than by the library: libpng
  // rescales the background of a 16-bit file when it strips to 8 bits itself, which composes
  // transparent pixels onto a wrong colour. A reduced decode reads the first passes as the
  // small pictures they are, without the library's interlace handling.
  const bool Wide = Depth == 16;
  int Passes = 1;
  // The worker checks the file's Adler-32; libpng need not check that of the stored blocks
  // (the option counts when the image data's inflater is set up, in png_read_update_info).
  const bool Piped = R->X.Pipe != nullptr;
  if (!Protected(P, [&] {
        if (Channels > 2) png_set_bgr(P);
        if (Factor == 1) Passes = png_set_interlace_handling(P);
        if (Piped) png_set_option(P, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
        png_read_update_info(P, I);
        if (Piped) png_set_option(P, PNG_IGNORE_ADLER32, PNG_OPTION_OFF);
      }))
    Raise(R->X);

  // Every row is read straight into the picture, so the library's row must fit into it.
  const int Bits = Code == 3 ? 24 : Code == 2 ? 8 : Code == 1 ? 4 : 1;
  const size_t LibRowBytes = png_get_rowbytes(P, I);
  const int OutChannels = Code == 3 ? 3 : 1;
  if (int64_t(Wide ? LibRowBytes / 2 : LibRowBytes) > TPixelGraphic::RowBytesFor(W, Bits) ||
      png_get_channels(P, I) != OutChannels || png_get_bit_depth(P, I) != Depth)
    Fail(EngineMessage(msgUnknownSubformat));
  std::vector<png_byte> WideRow(Wide || Factor > 1 ? LibRowBytes : 0);
  const size_t Samples = size_t(W) * OutChannels;

  const int PW = (W + Factor - 1) / Factor, PH = (H + Factor - 1) / Factor;
  Image.SetSize(PW, PH, Code);
  if (Factor > 1) {
    Image.FullWidth = W;
    Image.FullHeight = H;
  }
#ifdef PNG_eXIf_SUPPORTED
  // An eXIf chunk before the image data carries the camera orientation.
  png_bytep Exif = nullptr;
  png_uint_32 ExifSize = 0;
  if (png_get_eXIf_1(P, I, &ExifSize, &Exif) != 0 && Exif)
    Image.ExifOrientation = OrientationFromExif(Exif, ExifSize);
#endif
  if (Palette) {
    png_colorp Entries = nullptr;
    int Count = 0;
    png_get_PLTE(P, I, &Entries, &Count);
    Count = std::clamp(Count, 0, Image.ColorCount());
    Image.SetPaletteCount(Count);
    for (int K = 0; K < Count; ++K)
      Image.SetPaletteEntry(K, RGBOf(Entries[K].red, Entries[K].green, Entries[K].blue));
  } else if (Code < 3) {
    Image.SetPaletteKind(Depth == 1   ? pBlackWhite
                         : Depth == 2 ? pGray4
                         : Depth == 4 ? pGray16
                                      : pGray256);
  }
  if (UseFileBackground) Image.SetBackGroundColor(FileBackground);

  // With the worker: libpng takes the stored chunks in one read each and leaves their CRCs
  // alone (the worker checked the file's).
  if (Piped) {
    png_set_compression_buffer_size(P, R->X.Pipe->FirstChunkLength() + 16);
    png_set_crc_action(P, PNG_CRC_QUIET_USE, PNG_CRC_NO_CHANGE);
  }

  bool Aborted = false, Failed = false;
  if (!(Replay.Again && Replay.Started)) Image.DoProgressStart();
  Replay.Started = true;
  int64_t Rows = 0;
  auto Progress = [&](int64_t Step, int64_t Max) {
    if (Replay.Again && Rows < Replay.Rows) { // shown by the first decoding
      ++Rows;
      return false;
    }
    ++Rows;
    return Image.DoProgress(static_cast<int>(std::min<int64_t>(Step, INT32_MAX)),
                            static_cast<int>(std::min<int64_t>(Max, INT32_MAX)));
  };
  if (W > 0 && H > 0 && Factor == 1) {
    const int64_t Max = int64_t(H) * Passes;
    for (int Pass = 0; Pass < Passes && !Aborted && !Failed; ++Pass) {
      for (int Y = 0; Y < H; ++Y) {
        png_bytep Row = Image.ScanLine(Y);
        if (Wide && Passes > 1) // later passes add to what earlier passes left in the row
          for (size_t K = 0; K < Samples; ++K)
            WideRow[2 * K] = Row[K];
        png_bytep Target = Wide ? WideRow.data() : Row;
        if (!Protected(P, [&] { png_read_row(P, Target, nullptr); })) {
          Failed = true;
          break;
        }
        if (Wide)
          for (size_t K = 0; K < Samples; ++K)
            Row[K] = WideRow[2 * K];
        if (Progress(Y + int64_t(H) * Pass, Max)) {
          Aborted = true;
          break;
        }
      }
    }
  } else if (W > 0 && H > 0) {
    // The passes that hold every Factor-th pixel of every Factor-th row, pixel by pixel into
    // the small picture.
    const int Needed = Factor == 8 ? 1 : Factor == 4 ? 3 : 5;
    int64_t Max = 0;
    for (int Pass = 0; Pass < Needed; ++Pass)
      if (PNG_PASS_COLS(W, Pass) > 0) Max += PNG_PASS_ROWS(H, Pass);
    const int SampleBits = Wide ? 8 : Depth;
    const int Step = Wide ? 2 : 1;
    for (int Pass = 0; Pass < Needed && !Aborted && !Failed; ++Pass) {
      const int Cols = int(PNG_PASS_COLS(W, Pass)), PassRows = int(PNG_PASS_ROWS(H, Pass));
      if (Cols == 0) continue; // libpng skips passes without pixels
      for (int Y = 0; Y < PassRows; ++Y) {
        if (!Protected(P, [&] { png_read_row(P, WideRow.data(), nullptr); })) {
          Failed = true;
          break;
        }
        png_bytep Row = Image.ScanLine((kPassY[Pass] + Y * kPassDY[Pass]) / Factor);
        for (int X = 0; X < Cols; ++X) {
          const size_t To = size_t((kPassX[Pass] + X * kPassDX[Pass]) / Factor) * OutChannels;
          for (int C = 0; C < OutChannels; ++C)
            PutSample(Row, To + C, SampleBits,
                      SampleAt(WideRow.data(), (size_t(X) * OutChannels + C) * Step, SampleBits));
        }
        if (Progress(Rows, Max)) {
          Aborted = true;
          break;
        }
      }
    }
  }
  if (Failed && R->X.InPipe() && !R->X.Pending) {
    // The worker met something irregular (or libpng did in the data it was handed): the file is
    // decoded again the ordinary way, which reports it exactly as it always has.
    Replay.Warnings = R->X.Warnings;
    Replay.Rows = Rows;
    return false;
  }
  if (Piped) png_set_crc_action(P, PNG_CRC_DEFAULT, PNG_CRC_NO_CHANGE);
  // Whatever was read is kept in the picture's own layout, also after an abort or an error.
  if (Depth == 2)
    for (int Y = 0; Y < PH; ++Y)
      Widen2To4(Image.ScanLine(Y), PW);
  // Indices past the end of the palette would make every colour lookup fail: such pixels get
  // black entries, as viewers show them.
  if (Palette && Image.PaletteCount() < Image.ColorCount()) {
    const int Used = HighestPixelIndex(Image) + 1;
    if (Used > Image.PaletteCount()) Image.SetPaletteCount(Used); // new entries are black
  }
  Image.DoProgressEnd();
  if (Failed) Raise(R->X);
  // A reduced decode stops after the passes it needs.
  if (!Aborted && Factor == 1 && !Protected(P, [&] { png_read_end(P, nullptr); })) Raise(R->X);
  if (Piped)
    if (Options.PNGDecodeStats) ++Options.PNGDecodeStats->Piped;
  return true;
}

} // namespace

void TPNGFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                                       const TReadOptions& Options) {
  if (Index != 0) Fail(EngineMessage(msgInvalid, "Index"));
  CheckVersion();
  // A second decoding must start where the first did.
  int64_t Start = -1;
  if (Options.PNGDecodeThreads != 1) {
    try {
      Start = Stream.Position();
    } catch (const std::exception&) {
      Start = -1;
    }
  }
  const int W0 = Image.Width(), H0 = Image.Height(), Code0 = Image.BitCountNum();
  const TRGB Background0 = Image.BackGroundColor();
  TReplay Replay;
  if (DecodeOnce(Stream, Image, Options, Start >= 0, Replay)) return;
  if (Options.PNGDecodeStats) ++Options.PNGDecodeStats->Repeated;
  // The picture as the first decoding found it, so that sizing it clears it the same way.
  if (Image.Width() != W0 || Image.Height() != H0 || Image.BitCountNum() != Code0)
    Image.SetSize(W0, H0, Code0);
  Image.SetBackGroundColor(Background0);
  Stream.SetPosition(Start);
  Replay.Again = true;
  DecodeOnce(Stream, Image, Options, false, Replay);
}

void TPNGFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
                                   const TReadOptions& Options) {
  TFileFormatReader::GetInfo(Stream, Index, Info, Options);
  if (Index != 0) Fail(EngineMessage(msgInvalidValueFor, "Index"));
  Info.GraphicCount = std::max(1, CountAnimationFrames(Stream)); // an animated PNG's frames

  auto R = std::make_unique<TPNGRead>(Stream, nullptr, Options); // every warning raises
  R->ReadInfo();
  png_structp P = R->P;
  png_infop I = R->I;

  const int ColorType = png_get_color_type(P, I);
  std::string Sub = "GrayScale";
  if (ColorType & PNG_COLOR_MASK_PALETTE)
    Sub = "palette";
  else if (ColorType & PNG_COLOR_MASK_COLOR)
    Sub = "RGB";
  if (ColorType & PNG_COLOR_MASK_ALPHA) Sub += ", alpha";
  if (png_get_interlace_type(P, I) == PNG_INTERLACE_ADAM7) Sub += ", interlaced";
  Info.SubType = Sub;

  const unsigned Seen = R->X.Seen;
  if (Seen & ~kSeenOffs) {
    std::string Opt;
    for (size_t K = 0; K < std::size(kChunks); ++K)
      if (Seen & (1u << K)) Opt += (Opt.empty() ? "" : ", ") + std::string(kChunks[K].Shown);
    Info.Options = "(" + Opt + ")";
  }

  Info.Width = static_cast<int>(png_get_image_width(P, I));
  Info.Height = static_cast<int>(png_get_image_height(P, I));
  Info.BitsPerPixel = png_get_bit_depth(P, I) * png_get_channels(P, I);
  // A fresh string: assigning short literals trips a false GCC 12 -Wrestrict warning.
  Info.Colors = std::string(ColorsText(Info.BitsPerPixel));
}

// ---- writer ----

TPNGFileFormatWriter::TPNGFileFormatWriter() : TFileFormatWriter("png", kDescription) {
  CanWriteResolutions = {0, 1, 2, 3, 4, 5, 6, 7};
}

void TPNGFileFormatWriter::WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                                        const TWriteOptions& Options) {
  CheckVersion();
  auto Wr = std::make_unique<TPNGWrite>(Stream, &Image);
  png_structp P = Wr->P;
  png_infop I = Wr->I;

  const int W = Image.Width(), H = Image.Height();
  const bool True = Image.BitCountNum() == 3;
  const bool Grey = Image.BitCountNum() == 2 && Image.PaletteKind() == pGray256;
  const int Depth = True || Grey ? 8 : Image.BitCount();
  const int ColorType = True   ? PNG_COLOR_TYPE_RGB
                        : Grey ? PNG_COLOR_TYPE_GRAY
                               : PNG_COLOR_TYPE_PALETTE;

  // The PLTE chunk holds the palette, extended when pixels use indices past its end (a PNG
  // decoder rejects those) with the colour such pixels show: entry 0's.
  std::vector<png_color> Entries;
  if (ColorType == PNG_COLOR_TYPE_PALETTE) {
    const int Count =
        std::min(Image.ColorCount(), std::max(Image.PaletteCount(), HighestPixelIndex(Image) + 1));
    for (TRGB C : ShownPalette(Image, Count))
      Entries.push_back(png_color{static_cast<png_byte>(RedOf(C)),
                                  static_cast<png_byte>(GreenOf(C)),
                                  static_cast<png_byte>(BlueOf(C))});
  }
  const long double Gamma = Image.FileGamma;

  // The blocks carried from a source file: eXIf, iCCP (a profile whose header does not give
  // its own length is left out, as libpng would refuse it) and an iTXt XMP packet.
  const TImageMetadata& Md = Image.Metadata;
  const bool WriteExif = !Md.Exif.empty() && Md.Exif.size() <= kMaxChunkBytes;
  const bool WriteIcc = Md.Icc.size() >= 132 && Md.Icc.size() <= kMaxChunkBytes &&
                        png_get_uint_32(Md.Icc.data()) == Md.Icc.size();
  png_text Xmp{};
  Xmp.compression = PNG_ITXT_COMPRESSION_NONE;
  Xmp.key = const_cast<png_charp>("XML:com.adobe.xmp");
  Xmp.text = const_cast<png_charp>(Md.Xmp.c_str());
  Xmp.itxt_length = Md.Xmp.size();
  Xmp.lang = const_cast<png_charp>("");
  Xmp.lang_key = const_cast<png_charp>("");
  const bool WriteXmp = !Md.Xmp.empty() && Md.Xmp.size() <= kMaxChunkBytes;

  if (!Protected(P, [&] {
        png_set_IHDR(P, I, static_cast<png_uint_32>(W), static_cast<png_uint_32>(H), Depth,
                     ColorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (!Entries.empty()) png_set_PLTE(P, I, Entries.data(), static_cast<int>(Entries.size()));
        if (Options.WriteGamma && Gamma > 0 && std::isfinite(static_cast<double>(1.0L / Gamma)))
          png_set_gAMA(P, I, static_cast<double>(1.0L / Gamma));
        // A carried block libpng finds fault with is left out without a question: it must not
        // stop the picture from being written.
        Wr->X.Quiet = WriteIcc || WriteExif || WriteXmp;
        if (WriteIcc) {
          png_set_option(P, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
          png_set_benign_errors(P, 1);
          png_set_iCCP(P, I, "ICC Profile", PNG_COMPRESSION_TYPE_BASE, Md.Icc.data(),
                       static_cast<png_uint_32>(Md.Icc.size()));
        }
#ifdef PNG_eXIf_SUPPORTED
        if (WriteExif)
          png_set_eXIf_1(P, I, static_cast<png_uint_32>(Md.Exif.size()),
                         const_cast<png_bytep>(Md.Exif.data()));
#endif
        if (WriteXmp) png_set_text(P, I, &Xmp, 1);
        png_write_info(P, I);
        Wr->X.Quiet = false;
        if (True) png_set_bgr(P);
      }))
    Raise(Wr->X);

  Image.DoProgressStart();
  for (int Y = 0; Y < H; ++Y) {
    png_bytep Row = Image.ScanLine(Y);
    if (!Protected(P, [&] { png_write_row(P, Row); })) Raise(Wr->X);
    Image.DoProgress(Y, H - 1); // writing is not abortable
  }
  Image.DoProgressEnd();
  if (!Protected(P, [&] { png_write_end(P, nullptr); })) Raise(Wr->X);
}

void RegisterPNGFormats() {
  RegisterReader(std::make_unique<TPNGFileFormatReader>());
  RegisterWriter(std::make_unique<TPNGFileFormatWriter>());
}

} // namespace orbisk
