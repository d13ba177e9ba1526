#include "engine/formats/jpeg.h"

#include "engine/formats/formats.h"
#include "engine/messages.h"
#include "engine/orientation.h"
#include "engine/stream.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace orbisk {

namespace {

const std::string kTag = "JPG: ";
const char* const kDescription = "JPEG (JFIF compliant)";
constexpr size_t kBufferSize = 4096;
// Data bytes of one marker segment (its length field counts itself), and of the ICC profile
// chunks that follow their 14-byte "ICC_PROFILE" header.
constexpr size_t kMaxSegmentData = 65533;
constexpr size_t kMaxIccChunkData = kMaxSegmentData - 14;
constexpr size_t kMaxIccChunks = 255;
const JOCTET kXmpSignature[] = "http://ns.adobe.com/xap/1.0/"; // with its NUL

[[noreturn]] void Fail(const std::string& Text) {
  throw EPGJPGFileFormatReaderWriter(kTag + Text);
}

// Everything a library callback needs, reached through the object's client_data. libjpeg
// reports errors by calling back; we longjmp out to the guarded call (see Protected) and throw
// from there, so no exception ever crosses the library's C frames.
struct TContext {
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX] = {};
  std::exception_ptr Pending;     // a C++ exception caught inside a callback
  TPixelGraphic* Image = nullptr; // warnings follow its ReadWarningAction; none: they raise
  TPGStream* Stream = nullptr;
  bool StartOfFile = true;
  bool VersionError = false;
  JOCTET Buffer[kBufferSize];
};

TContext& Ctx(j_common_ptr C) {
  return *static_cast<TContext*>(C->client_data);
}
TContext& Ctx(j_decompress_ptr C) {
  return *static_cast<TContext*>(C->client_data);
}
TContext& Ctx(j_compress_ptr C) {
  return *static_cast<TContext*>(C->client_data);
}

// Runs Fn (library calls only, nothing with a destructor) with the context's jump target set.
// False: the library failed; the reason is in the context.
template <class F> bool Protected(TContext& X, F&& Fn) {
  if (setjmp(X.Jump) != 0) return false;
  Fn();
  return true;
}

[[noreturn]] void Raise(TContext& X) {
  if (X.Pending) std::rethrow_exception(X.Pending);
  if (X.VersionError) Fail("Invalid library version");
  Fail(X.Message);
}

void ErrorExit(j_common_ptr C) {
  TContext& X = Ctx(C);
  // A mismatch of library release and structure sizes is the version check.
  X.VersionError =
      C->err->msg_code == JERR_BAD_LIB_VERSION || C->err->msg_code == JERR_BAD_STRUCT_SIZE;
  C->err->format_message(C, X.Message);
  std::longjmp(X.Jump, 1);
}

// Hands a warning to the picture's warning action; false when that raised (kept in Pending).
bool RouteWarning(TContext& X, const char* Text) noexcept {
  try {
    if (!X.Image) Fail(Text);
    ApplyReadWarning(*X.Image, "JPG " + EngineMessage(msgWarning), Text, Text, Fail);
    return true;
  } catch (...) {
    X.Pending = std::current_exception();
    return false;
  }
}

// With the standard emit_message only the first warning of a picture arrives here.
void OutputMessage(j_common_ptr C) {
  TContext& X = Ctx(C);
  char Text[JMSG_LENGTH_MAX];
  C->err->format_message(C, Text);
  if (!RouteWarning(X, Text)) std::longjmp(X.Jump, 1);
}

void MonitorScans(j_common_ptr C) {
  if (!C->is_decompressor) return;
  auto* D = reinterpret_cast<j_decompress_ptr>(C);
  if (D->input_scan_number > JPEGMaxScans) {
    TContext& X = Ctx(C);
    std::snprintf(X.Message, sizeof X.Message, "More than %d scans", JPEGMaxScans);
    std::longjmp(X.Jump, 1);
  }
}

void InstallErrorManager(jpeg_error_mgr& Err) {
  jpeg_std_error(&Err);
  Err.error_exit = ErrorExit;
  Err.output_message = OutputMessage;
}

// ---- data source: the library's standard file source, reading from the engine's stream ----

bool ReadSome(TContext& X, size_t& N) noexcept {
  try {
    N = X.Stream->Read(X.Buffer, kBufferSize);
    return true;
  } catch (...) {
    X.Pending = std::current_exception();
    return false;
  }
}

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr C) {
  TContext& X = Ctx(C);
  size_t N = 0;
  if (!ReadSome(X, N)) std::longjmp(X.Jump, 1);
  if (N == 0) {
    if (X.StartOfFile) ERREXIT(C, JERR_INPUT_EMPTY);
    // Data ended early: warn and insert a fake end-of-image marker, as the file source does.
    WARNMS(C, JWRN_JPEG_EOF);
    X.Buffer[0] = 0xFF;
    X.Buffer[1] = JPEG_EOI;
    N = 2;
  }
  C->src->next_input_byte = X.Buffer;
  C->src->bytes_in_buffer = N;
  X.StartOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr C, long N) {
  if (N <= 0) return;
  while (N > static_cast<long>(C->src->bytes_in_buffer)) {
    N -= static_cast<long>(C->src->bytes_in_buffer);
    FillInputBuffer(C);
  }
  C->src->next_input_byte += N;
  C->src->bytes_in_buffer -= static_cast<size_t>(N);
}

void TermSource(j_decompress_ptr) {}

// ---- data destination ----

bool WriteSome(TContext& X, size_t N) noexcept {
  try {
    X.Stream->Write(X.Buffer, N);
    return true;
  } catch (...) {
    X.Pending = std::current_exception();
    return false;
  }
}

void InitDestination(j_compress_ptr C) {
  C->dest->next_output_byte = Ctx(C).Buffer;
  C->dest->free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr C) {
  TContext& X = Ctx(C);
  if (!WriteSome(X, kBufferSize)) std::longjmp(X.Jump, 1);
  C->dest->next_output_byte = X.Buffer;
  C->dest->free_in_buffer = kBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr C) {
  TContext& X = Ctx(C);
  size_t N = kBufferSize - C->dest->free_in_buffer;
  if (N > 0 && !WriteSome(X, N)) std::longjmp(X.Jump, 1);
}

J_DCT_METHOD DCTMethod(int Code) {
  switch (Code) {
  case 1:
    return JDCT_IFAST;
  case 2:
    return JDCT_FLOAT;
  default:
    return JDCT_ISLOW;
  }
}

// The decompression object with its managers; destroyed on every exit path.
struct TDecompress {
  TContext X;
  jpeg_decompress_struct Info{};
  jpeg_error_mgr Err{};
  jpeg_source_mgr Src{};
  jpeg_progress_mgr Progress{};

  TDecompress(TPGStream& Stream, TPixelGraphic* Image) {
    X.Stream = &Stream;
    X.Image = Image;
    InstallErrorManager(Err);
    Info.err = &Err;
    Info.client_data = &X; // kept by jpeg_create_decompress
    if (!Protected(X, [&] { jpeg_create_decompress(&Info); })) Raise(X);
    Src.init_source = InitSource;
    Src.fill_input_buffer = FillInputBuffer;
    Src.skip_input_data = SkipInputData;
    Src.resync_to_restart = jpeg_resync_to_restart;
    Src.term_source = TermSource;
    Info.src = &Src;
    Progress.progress_monitor = MonitorScans;
    Info.progress = &Progress;
  }
  ~TDecompress() { jpeg_destroy_decompress(&Info); }
  TDecompress(const TDecompress&) = delete;
  TDecompress& operator=(const TDecompress&) = delete;

  void ReadHeader() {
    if (!Protected(X, [&] { jpeg_read_header(&Info, TRUE); })) Raise(X);
  }
};

struct TCompress {
  TContext X;
  jpeg_compress_struct Info{};
  jpeg_error_mgr Err{};
  jpeg_destination_mgr Dest{};

  TCompress(TPGStream& Stream, TPixelGraphic* Image) {
    X.Stream = &Stream;
    X.Image = Image;
    InstallErrorManager(Err);
    Info.err = &Err;
    Info.client_data = &X;
    if (!Protected(X, [&] { jpeg_create_compress(&Info); })) Raise(X);
    Dest.init_destination = InitDestination;
    Dest.empty_output_buffer = EmptyOutputBuffer;
    Dest.term_destination = TermDestination;
    Info.dest = &Dest;
  }
  ~TCompress() { jpeg_destroy_compress(&Info); }
  TCompress(const TCompress&) = delete;
  TCompress& operator=(const TCompress&) = delete;
};

// The camera orientation from the first APP1 segment that holds EXIF data (saved by the
// library when asked before the header is read); 1 without one.
int SavedOrientation(const jpeg_decompress_struct& Info) {
  for (jpeg_saved_marker_ptr M = Info.marker_list; M; M = M->next)
    if (M->marker == JPEG_APP0 + 1 && M->data_length >= 6 && M->data &&
        std::memcmp(M->data, "Exif\0\0", 6) == 0)
      return OrientationFromExif(M->data, M->data_length);
  return 1;
}

// The DCT scale M/8 for a reduced decode: the smallest whose output sides are both at least the
// stored sides x Wanted / (the longer stored side); 8 (full size) when none below is.
int ReducedScale(TDecompress& D, int Wanted) {
  jpeg_decompress_struct& Info = D.Info;
  const int64_t W = Info.image_width, H = Info.image_height, Longer = std::max(W, H);
  if (Longer <= 0 || Wanted >= Longer) return 8;
  for (int M = 1; M < 8; ++M) {
    Info.scale_num = unsigned(M);
    Info.scale_denom = 8;
    if (!Protected(D.X, [&] { jpeg_calc_output_dimensions(&Info); })) Raise(D.X);
    if (int64_t(Info.output_width) * Longer >= W * Wanted &&
        int64_t(Info.output_height) * Longer >= H * Wanted)
      return M;
  }
  return 8;
}

const char* ColorSpaceName(J_COLOR_SPACE S) {
  switch (S) {
  case JCS_UNKNOWN:
    return "unknown";
  case JCS_GRAYSCALE:
    return "GrayScale";
  case JCS_RGB:
    return "RGB";
  case JCS_YCbCr:
    return "YCbCr";
  case JCS_CMYK:
    return "CMYK";
  case JCS_YCCK:
    return "YCbCrK";
  default:
    return "";
  }
}

const char* ColorsText(int N) {
  switch (N) {
  case 1:
    return "256";
  case 2:
    return "64K";
  case 3:
    return "16.7M";
  case 4:
    return "4294.9M";
  default:
    return "?";
  }
}

} // namespace

// ---- reader ----

TJPGFileFormatReader::TJPGFileFormatReader(const char* Ext) : TFileFormatReader(Ext, kDescription) {
  CanSniff = true;
}

bool TJPGFileFormatReader::Sniff(const uint8_t* Header) {
  return Header[0] == 0xFF && Header[1] == 0xD8;
}

void TJPGFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                                       const TReadOptions& Options) {
  if (Index != 0) Fail(EngineMessage(msgInvalid, "Index"));
  Image.FileGamma = Options.ScreenGamma; // JPEG files are never gamma-corrected

  auto D = std::make_unique<TDecompress>(Stream, &Image);
  jpeg_decompress_struct& Info = D->Info;
  if (!Protected(D->X, [&] { jpeg_save_markers(&Info, JPEG_APP0 + 1, 0xFFFF); })) Raise(D->X);
  D->ReadHeader();
  const int Orientation = SavedOrientation(Info);

  // Only grey and colour files; CMYK, YCCK and odd component counts are refused before the
  // library allocates anything for them.
  bool Grey = Info.out_color_space == JCS_GRAYSCALE;
  if (!Grey && Info.out_color_space != JCS_RGB) Fail(EngineMessage(msgNotSupportedSubformat));
  if (int64_t(Info.image_width) * Info.image_height > Options.MaxPixelCount)
    Fail(EngineMessage(msgFailed, "CreateDIBSection"));

  const int Scale = Image.ReducedSize > 0 ? ReducedScale(*D, Image.ReducedSize) : 8;
  Info.scale_num = Scale == 8 ? 1 : unsigned(Scale);
  Info.scale_denom = Scale == 8 ? 1 : 8;
  Info.dct_method = DCTMethod(Image.FastJPEGDecode ? 1 : Options.JPEGReadDCTMethod);
  Info.quantize_colors = FALSE;
  Info.dither_mode = JDITHER_NONE;
  Info.two_pass_quantize = FALSE;
  // Rows go straight into the picture's blue-green-red storage.
  if (!Grey) Info.out_color_space = JCS_EXT_BGR;

  if (!Protected(D->X, [&] { jpeg_start_decompress(&Info); })) Raise(D->X);
  if (Info.output_components != (Grey ? 1 : 3)) Fail(EngineMessage(msgNotSupportedSubformat));

  const int W = static_cast<int>(Info.output_width);
  const int H = static_cast<int>(Info.output_height);
  Image.SetSize(W, H, Grey ? 2 : 3);
  if (Grey) Image.SetPaletteKind(pGray256);
  Image.ExifOrientation = Orientation;
  if (Image.ReducedSize > 0) {
    Image.FullWidth = static_cast<int>(Info.image_width);
    Image.FullHeight = static_cast<int>(Info.image_height);
  }

  bool Aborted = false;
  {
    TProgressScope Progress(Image);
    constexpr int kMaxRows = 16;
    JSAMPROW Rows[kMaxRows];
    while (!Aborted && Info.output_scanline < Info.output_height) {
      const int First = static_cast<int>(Info.output_scanline);
      const int Count = std::clamp(Info.rec_outbuf_height, 1, std::min(kMaxRows, H - First));
      for (int I = 0; I < Count; ++I)
        Rows[I] = Image.ScanLine(First + I);
      JDIMENSION Got = 0;
      if (!Protected(D->X, [&] { Got = jpeg_read_scanlines(&Info, Rows, Count); })) Raise(D->X);
      for (JDIMENSION I = 1; I <= Got && !Aborted; ++I)
        Aborted = Image.DoProgress(First + static_cast<int>(I), H);
    }
  }
  // After an abort the rest of the data is simply dropped: finishing would only complain that
  // too few rows were read.
  if (!Aborted && !Protected(D->X, [&] { jpeg_finish_decompress(&Info); })) Raise(D->X);
}

void TJPGFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
                                   const TReadOptions& Options) {
  TFileFormatReader::GetInfo(Stream, Index, Info, Options);
  if (Index != 0) Fail(EngineMessage(msgInvalidValueFor, "Index"));

  auto D = std::make_unique<TDecompress>(Stream, nullptr); // every warning raises
  D->ReadHeader();
  const jpeg_decompress_struct& J = D->Info;

  Info.Width = static_cast<int>(J.image_width);
  Info.Height = static_cast<int>(J.image_height);
  Info.BitsPerPixel = 8 * J.num_components;
  std::string Sub = ColorSpaceName(J.jpeg_color_space);
  if (J.progressive_mode) Sub += ", Progressive";
  if (J.saw_Adobe_marker) Sub = "Adope, " + Sub;
  if (J.saw_JFIF_marker) Sub = "JFIF, " + Sub;
  Info.SubType = Sub;
  // A fresh string: assigning short literals trips a false GCC 12 -Wrestrict warning.
  Info.Colors = std::string(ColorsText(J.num_components));
}

// ---- writer ----

TJPGFileFormatWriter::TJPGFileFormatWriter(const char* Ext, bool IsListed)
    : TFileFormatWriter(Ext, kDescription, IsListed) {
  CanWriteResolutions = {5, 7};
}

void TJPGFileFormatWriter::WriteGraphic(TPGStream& Stream, TPixelGraphic& Image,
                                        const TWriteOptions& Options) {
  auto Cm = std::make_unique<TCompress>(Stream, &Image);
  jpeg_compress_struct& Info = Cm->Info;

  Image.RecognisePaletteKind();
  const bool Grey = Image.BitCountNum() == 2 && Image.PaletteKind() == pGray256;
  if (!Grey && Image.BitCountNum() != 3) Fail(EngineMessage(msgInvalidValueFor, "BitCount"));

  const int H = Image.Height();
  Info.image_width = static_cast<JDIMENSION>(Image.Width());
  Info.image_height = static_cast<JDIMENSION>(H);
  Info.input_components = Grey ? 1 : 3;
  Info.in_color_space = Grey ? JCS_GRAYSCALE : JCS_EXT_BGR;

  const int Quality = Options.JPEGQuality;
  const bool Progressive = Options.JPEGProgressive;
  const J_DCT_METHOD Method = DCTMethod(Options.JPEGWriteDCTMethod);
  // The blocks carried from a source file, as the segments that hold them; a block too large
  // for its segments is left out.
  const TImageMetadata& Md = Image.Metadata;
  std::vector<JOCTET> ExifSegment, XmpSegment;
  if (!Md.Exif.empty() && Md.Exif.size() + 6 <= kMaxSegmentData) {
    ExifSegment.resize(6 + Md.Exif.size());
    std::memcpy(ExifSegment.data(), "Exif\0", 6);
    std::copy(Md.Exif.begin(), Md.Exif.end(), ExifSegment.begin() + 6);
  }
  if (!Md.Xmp.empty() && Md.Xmp.size() + sizeof kXmpSignature <= kMaxSegmentData) {
    XmpSegment.assign(kXmpSignature, kXmpSignature + sizeof kXmpSignature);
    XmpSegment.insert(XmpSegment.end(), Md.Xmp.begin(), Md.Xmp.end());
  }
  const bool WriteIcc = !Md.Icc.empty() && Md.Icc.size() <= kMaxIccChunks * kMaxIccChunkData;
  if (!Protected(Cm->X, [&] {
        jpeg_set_defaults(&Info);
        if (Progressive) jpeg_simple_progression(&Info);
        jpeg_set_quality(&Info, Quality, TRUE);
        Info.dct_method = Method;
        jpeg_start_compress(&Info, TRUE);
        if (!ExifSegment.empty())
          jpeg_write_marker(&Info, JPEG_APP0 + 1, ExifSegment.data(),
                            static_cast<unsigned>(ExifSegment.size()));
        if (WriteIcc)
          jpeg_write_icc_profile(&Info, Md.Icc.data(), static_cast<unsigned>(Md.Icc.size()));
        if (!XmpSegment.empty())
          jpeg_write_marker(&Info, JPEG_APP0 + 1, XmpSegment.data(),
                            static_cast<unsigned>(XmpSegment.size()));
      }))
    Raise(Cm->X);

  {
    TProgressScope Progress(Image);
    for (int Y = 0; Y < H; ++Y) {
      JSAMPROW Row = Image.ScanLine(Y);
      if (!Protected(Cm->X, [&] { jpeg_write_scanlines(&Info, &Row, 1); })) Raise(Cm->X);
      Image.DoProgress(Y + 1, H); // writing is not abortable
    }
  }
  if (!Protected(Cm->X, [&] { jpeg_finish_compress(&Info); })) Raise(Cm->X);
}

void RegisterJPEGFormats() {
  RegisterReader(std::make_unique<TJPGFileFormatReader>());
  RegisterReader(std::make_unique<TJPEGFileFormatReader>());
  RegisterReader(std::make_unique<TJIFFileFormatReader>());
  RegisterWriter(std::make_unique<TJPGFileFormatWriter>());
  RegisterWriter(std::make_unique<TJPEGFileFormatWriter>());
  RegisterWriter(std::make_unique<TJIFFileFormatWriter>());
}

} // namespace orbisk
