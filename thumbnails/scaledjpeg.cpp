#include "thumbnails/scaledjpeg.h"

#include "engine/formats/jpeg.h"
#include "engine/messages.h"
#include "engine/orientation.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace orbisk {

namespace {

struct TJumpError {
  jpeg_error_mgr Mgr{};
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX] = {};
  const std::atomic<bool>* Cancel = nullptr;
};

void ErrorExit(j_common_ptr C) {
  auto* E = reinterpret_cast<TJumpError*>(C->err);
  C->err->format_message(C, E->Message);
  std::longjmp(E->Jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// Refuses runaway progressive files as the engine's reader does, and stops on cancel.
void Monitor(j_common_ptr C) {
  auto* E = reinterpret_cast<TJumpError*>(C->err);
  if (E->Cancel && E->Cancel->load(std::memory_order_relaxed)) {
    std::snprintf(E->Message, sizeof E->Message, "Cancelled");
    std::longjmp(E->Jump, 1);
  }
  auto* D = reinterpret_cast<j_decompress_ptr>(C);
  if (D->input_scan_number > JPEGMaxScans) {
    std::snprintf(E->Message, sizeof E->Message, "More than %d scans", JPEGMaxScans);
    std::longjmp(E->Jump, 1);
  }
}

[[noreturn]] void Fail(const std::string& Text) {
  throw EPGJPGFileFormatReaderWriter("JPG: " + Text);
}

// Everything that libjpeg may jump over lives here, in plain storage without destructors.
struct TState {
  jpeg_decompress_struct Info{};
  TJumpError Err;
  jpeg_progress_mgr Progress{};
  bool Created = false;
};

// The library part: no C++ objects with destructors between setjmp and longjmp. Returns 0 on
// success, 1 after a library error, 2 for an unsupported colour space, 3 for a picture over the
// engine's pixel limit.
int Decode(TState& St, const uint8_t* Data, size_t Size, TSize2 (*Fit)(int, int, int), int S,
           TPixelGraphic& Out, int& FullW, int& FullH) {
  jpeg_decompress_struct& Info = St.Info;
  if (setjmp(St.Err.Jump) != 0) return 1;
  jpeg_create_decompress(&Info);
  St.Created = true;
  Info.progress = &St.Progress;
  jpeg_mem_src(&Info, Data, static_cast<unsigned long>(Size));
  jpeg_save_markers(&Info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&Info, TRUE);
  if (Info.out_color_space != JCS_GRAYSCALE && Info.out_color_space != JCS_RGB) return 2;
  FullW = static_cast<int>(Info.image_width);
  FullH = static_cast<int>(Info.image_height);
  if (int64_t(FullW) * FullH > PixelAllocationLimit()) return 3;
  const TSize2 Want = Fit(FullW, FullH, S);
  Info.out_color_space = JCS_EXT_BGR;
  Info.dct_method = JDCT_IFAST;
  Info.quantize_colors = FALSE;
  Info.dither_mode = JDITHER_NONE;
  Info.scale_denom = 8;
  for (unsigned N = 1; N <= 8; ++N) {
    Info.scale_num = N;
    jpeg_calc_output_dimensions(&Info);
    if (int(Info.output_width) >= Want.Width && int(Info.output_height) >= Want.Height) break;
  }
  jpeg_start_decompress(&Info);
  if (Info.output_components != 3) return 2;
  Out.SetSize(static_cast<int>(Info.output_width), static_cast<int>(Info.output_height), 3);
  // The camera orientation of the first EXIF segment.
  for (jpeg_saved_marker_ptr M = Info.marker_list; M; M = M->next)
    if (M->marker == JPEG_APP0 + 1 && M->data && M->data_length >= 6 &&
        std::memcmp(M->data, "Exif\0\0", 6) == 0) {
      Out.ExifOrientation = OrientationFromExif(M->data, M->data_length);
      break;
    }
  while (Info.output_scanline < Info.output_height) {
    JSAMPROW Row = Out.ScanLine(static_cast<int>(Info.output_scanline));
    jpeg_read_scanlines(&Info, &Row, 1);
  }
  jpeg_finish_decompress(&Info);
  return 0;
}

} // namespace

bool LooksLikeJPEG(const uint8_t* Data, size_t Size) {
  return Size >= 2 && Data[0] == 0xFF && Data[1] == 0xD8;
}

void LoadScaledJPEG(const uint8_t* Data, size_t Size, TSize2 (*Fit)(int W, int H, int S), int S,
                    TPixelGraphic& Out, int& FullW, int& FullH, const std::atomic<bool>* Cancel) {
  TState St;
  St.Info.err = jpeg_std_error(&St.Err.Mgr);
  St.Err.Mgr.error_exit = ErrorExit;
  St.Err.Mgr.output_message = IgnoreMessage;
  St.Err.Cancel = Cancel;
  St.Progress.progress_monitor = Monitor;
  int Result = 0;
  try {
    Result = Decode(St, Data, Size, Fit, S, Out, FullW, FullH);
  } catch (...) {
    if (St.Created) jpeg_destroy_decompress(&St.Info);
    throw;
  }
  if (St.Created) jpeg_destroy_decompress(&St.Info);
  switch (Result) {
  case 0:
    return;
  case 1:
    Fail(St.Err.Message);
  case 2:
    Fail(EngineMessage(msgNotSupportedSubformat));
  default:
    Fail(EngineMessage(msgFailed, "CreateDIBSection"));
  }
}

} // namespace orbisk
