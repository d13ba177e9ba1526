#include "engine/formats/decodedrows.h"

#include "engine/messages.h"
#include "engine/orientation.h"
#include "engine/stream.h"

#include <algorithm>
#include <cstring>
#include <optional>
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

void CheckPictureSize(int64_t Width, int64_t Height, const TFailFn& Fail, int64_t MaxPixelCount) {
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

bool ReducedSizeFits(int64_t FullW, int64_t FullH, int64_t W, int64_t H, int Reduced) {
  if (Reduced <= 0 || FullW <= 0 || FullH <= 0 || W <= 0 || H <= 0) return false;
  if (W > FullW || H > FullH) return false;
  // W / FullW >= Reduced / Max, in whole numbers (sides are below 2^31); a request beyond the
  // stored size asks for the stored size.
  const int64_t Max = std::max(FullW, FullH);
  const int64_t Need = std::min<int64_t>(Reduced, Max);
  return W * Max >= FullW * Need && H * Max >= FullH * Need;
}

void ReducedTarget(int64_t FullW, int64_t FullH, int Reduced, int& W, int& H) {
  const int64_t Max = std::max(FullW, FullH);
  W = static_cast<int>(FullW);
  H = static_cast<int>(FullH);
  if (Reduced <= 0 || Max <= Reduced) return;
  W = static_cast<int>(std::max<int64_t>(1, (FullW * Reduced + Max - 1) / Max));
  H = static_cast<int>(std::max<int64_t>(1, (FullH * Reduced + Max - 1) / Max));
}

void NoteExifBlock(TPixelGraphic& Image, const uint8_t* Data, size_t Size) {
  Image.ExifOrientation = OrientationFromExif(Data, Size);
}

} // namespace orbisk
