#include "engine/formats/decodedrows.h"

#include "engine/messages.h"
#include "engine/orientation.h"
#include "engine/stream.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <dlfcn.h>
#include <sched.h>
#include <thread>

namespace orbisk {

namespace {

// Files larger than this are refused rather than read into memory.
constexpr int64_t kMaxFileBytes = int64_t(1) << 31;

} // namespace

std::vector<uint8_t> ReadRemaining(TPGStream& Stream, const TFailFn& Fail) {
  const int64_t Left = Stream.Remaining();
  if (Left <= 0) Fail(EngineMessage(msgUnexpectedEOF));
  if (Left > kMaxFileBytes) Fail(EngineMessage(msgFailed, "CreateDIBSection"));
  std::vector<uint8_t> Data(static_cast<size_t>(Left));
  const size_t Got = Stream.Read(Data.data(), Data.size());
  Data.resize(Got);
  if (Data.empty()) Fail(EngineMessage(msgUnexpectedEOF));
  return Data;
}

int CodecThreadCount() {
  cpu_set_t Set;
  CPU_ZERO(&Set);
  int N = 0;
  if (sched_getaffinity(0, sizeof Set, &Set) == 0) N = CPU_COUNT(&Set);
  if (N <= 0) N = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(N, 1, 64);
}

void CheckPictureSize(int64_t Width, int64_t Height, const TFailFn& Fail) {
  if (Width <= 0 || Height <= 0) Fail(EngineMessage(msgWidthOrHeightZero));
  if (Width > INT32_MAX || Height > INT32_MAX || Width * Height > MaxPixelCount)
    Fail(EngineMessage(msgFailed, "CreateDIBSection"));
}

bool StoreDecodedRows(TPixelGraphic& Image, const TDecodedRows& R, bool Progress) {
  Image.SetSize(R.Width, R.Height, 3);
  return StoreDecodedRowsAt(Image, R, 0, 0, Progress);
}

bool StoreDecodedRowsAt(TPixelGraphic& Image, const TDecodedRows& R, int X0, int Y0,
                        bool Progress) {
  const int W = R.Width, H = R.Height;
  const TRGB Bk = Image.BackGroundColor();
  const unsigned BkB = BlueOf(Bk), BkG = GreenOf(Bk), BkR = RedOf(Bk);
  bool Aborted = false;
  std::optional<TProgressScope> Scope;
  if (Progress) Scope.emplace(Image);
  for (int Y = 0; Y < H && !Aborted; ++Y) {
    const uint8_t* S = R.Data + R.Stride * Y;
    uint8_t* D = Image.ScanLine(Y0 + Y) + size_t(X0) * 3;
    if (R.Channels == 3 && !R.RedFirst) {
      std::memcpy(D, S, size_t(W) * 3);
    } else if (R.Channels == 3) {
      for (int X = 0; X < W; ++X, S += 3, D += 3) {
        D[0] = S[2];
        D[1] = S[1];
        D[2] = S[0];
      }
    } else {
      const int B = R.RedFirst ? 2 : 0, Rd = 2 - B;
      for (int X = 0; X < W; ++X, S += 4, D += 3) {
        const unsigned A = S[3];
        if (A == 255) {
          D[0] = S[B];
          D[1] = S[1];
          D[2] = S[Rd];
        } else {
          const unsigned Rest = 255 - A;
          if (R.Premultiplied) {
            D[0] = static_cast<uint8_t>(std::min(255u, S[B] + (BkB * Rest + 127) / 255));
            D[1] = static_cast<uint8_t>(std::min(255u, S[1] + (BkG * Rest + 127) / 255));
            D[2] = static_cast<uint8_t>(std::min(255u, S[Rd] + (BkR * Rest + 127) / 255));
          } else {
            D[0] = static_cast<uint8_t>((S[B] * A + BkB * Rest + 127) / 255);
            D[1] = static_cast<uint8_t>((S[1] * A + BkG * Rest + 127) / 255);
            D[2] = static_cast<uint8_t>((S[Rd] * A + BkR * Rest + 127) / 255);
          }
        }
      }
    }
    if (Progress) Aborted = Image.DoProgress(Y + 1, H);
  }
  return !Aborted;
}

std::vector<uint8_t> TurnDecodedRows(TDecodedRows& R, int QuarterTurns, int Mirror) {
  const int W = R.Width, H = R.Height, C = R.Channels;
  const int Q = ((QuarterTurns % 4) + 4) % 4;
  const int OW = Q % 2 ? H : W, OH = Q % 2 ? W : H;
  std::vector<uint8_t> Out(size_t(OW) * OH * C);
  for (int Y = 0; Y < OH; ++Y) {
    for (int X = 0; X < OW; ++X) {
      // The mirror is applied after the rotation: find the rotated picture's pixel first.
      int RX = X, RY = Y;
      if (Mirror == 0) RY = OH - 1 - Y;
      if (Mirror == 1) RX = OW - 1 - X;
      int SX = RX, SY = RY;
      switch (Q) { // anti-clockwise turns: source pixel of rotated position (RX, RY)
      case 1:
        SX = W - 1 - RY;
        SY = RX;
        break;
      case 2:
        SX = W - 1 - RX;
        SY = H - 1 - RY;
        break;
      case 3:
        SX = RY;
        SY = H - 1 - RX;
        break;
      default:
        break;
      }
      std::memcpy(&Out[(size_t(Y) * OW + X) * C], R.Data + R.Stride * SY + int64_t(SX) * C,
                  size_t(C));
    }
  }
  R.Width = OW;
  R.Height = OH;
  R.Stride = int64_t(OW) * C;
  R.Data = Out.data();
  return Out;
}

void NoteExifBlock(TPixelGraphic& Image, const uint8_t* Data, size_t Size) {
  Image.ExifOrientation = OrientationFromExif(Data, Size);
}

} // namespace orbisk

namespace orbisk {
namespace {

// Whether Address lies in one of the codec libraries behind the later formats (or the AV1 and
// HEVC decoders they load).
bool InCodecLibrary(const void* Address) {
  Dl_info Info;
  if (!dladdr(Address, &Info) || !Info.dli_fname) return false;
  static const char* const kLibraries[] = {"/libjxl",   "/libdav1d", "/libgav1", "/libaom",
                                           "/libde265", "/libheif",  "/libavif", "/libwebp"};
  for (const char* L : kLibraries)
    if (std::strstr(Info.dli_fname, L)) return true;
  return false;
}

using TVfprintfChk = int (*)(FILE*, int, const char*, va_list);

TVfprintfChk NextVfprintfChk() {
  static const TVfprintfChk Next =
      reinterpret_cast<TVfprintfChk>(dlsym(RTLD_NEXT, "__vfprintf_chk"));
  return Next;
}

} // namespace
} // namespace orbisk

// Some codec libraries print diagnostics to stderr with no hook to turn them off or catch them:
// libjxl its failure trail (on its own threads), dav1d (behind libavif) every bitstream error,
// libde265 (behind libheif) stream errors. Their writes to stderr (formatted, or constant texts
// the compiler turned into fwrite) are caught here and dropped: the reader reports the failure
// with its own tagged message. Every other caller goes on to the C library as usual.
extern "C" int __vfprintf_chk(FILE* Stream, int Flag, const char* Format, va_list Args) {
  if (Stream == stderr && orbisk::InCodecLibrary(__builtin_return_address(0))) return 0;
  const auto Next = orbisk::NextVfprintfChk();
  return Next ? Next(Stream, Flag, Format, Args) : -1;
}

extern "C" int __fprintf_chk(FILE* Stream, int Flag, const char* Format, ...) {
  va_list Args;
  va_start(Args, Format);
  int N = 0;
  if (Stream != stderr || !orbisk::InCodecLibrary(__builtin_return_address(0))) {
    const auto Next = orbisk::NextVfprintfChk();
    N = Next ? Next(Stream, Flag, Format, Args) : -1;
  }
  va_end(Args);
  return N;
}

extern "C" size_t fwrite(const void* Data, size_t Size, size_t Count, FILE* Stream) {
  using TFn = size_t (*)(const void*, size_t, size_t, FILE*);
  static const TFn Next = reinterpret_cast<TFn>(dlsym(RTLD_NEXT, "fwrite"));
  if (Stream == stderr && orbisk::InCodecLibrary(__builtin_return_address(0))) return Count;
  return Next ? Next(Data, Size, Count, Stream) : 0;
}
