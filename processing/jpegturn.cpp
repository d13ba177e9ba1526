#include "processing/jpegturn.h"

#include "engine/messages.h"
#include "engine/orientation.h"
#include "engine/pixelgraphic.h"
#include "engine/safefile.h"
#include "engine/stream.h"

#include <climits>
#include <cstring>
#include <memory>

#include <turbojpeg.h>

namespace orbisk {

namespace {

[[noreturn]] void Fail(const std::string& Text) {
  throw EPGJPGFileFormatReaderWriter("JPG: " + Text);
}

struct THandle {
  tjhandle H = tjInitTransform();
  ~THandle() {
    if (H) tjDestroy(H);
  }
  THandle() = default;
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  std::string Error() const { return tjGetErrorStr2(H); }
};

struct TOutput {
  unsigned char* Data = nullptr;
  unsigned long Size = 0;
  ~TOutput() {
    if (Data) tjFree(Data);
  }
};

int OperationOf(int Orientation) {
  switch (Orientation) {
  case 2:
    return TJXOP_HFLIP;
  case 3:
    return TJXOP_ROT180;
  case 4:
    return TJXOP_VFLIP;
  case 5:
    return TJXOP_TRANSPOSE;
  case 6:
    return TJXOP_ROT90;
  case 7:
    return TJXOP_TRANSVERSE;
  case 8:
    return TJXOP_ROT270;
  default:
    return TJXOP_NONE;
  }
}

struct THeader {
  int Width = 0, Height = 0, Subsamp = 0, Colorspace = 0;
};

bool ReadHeader(THandle& H, const uint8_t* Data, size_t Size, THeader& Out) {
  if (!H.H || !Data || Size < 2 || Size > ULONG_MAX) return false;
  return tjDecompressHeader3(H.H, Data, static_cast<unsigned long>(Size), &Out.Width, &Out.Height,
                             &Out.Subsamp, &Out.Colorspace) == 0;
}

// Whether the turn needs whole MCU blocks across the width and/or down the height. Turns that
// move the right edge need whole columns, those that move the bottom edge whole rows.
void EdgesMoved(int Orientation, bool& Right, bool& Bottom) {
  switch (Orientation) {
  case 2:
    Right = true, Bottom = false;
    break;
  case 4:
    Right = false, Bottom = true;
    break;
  case 5:
    Right = Bottom = false;
    break;
  case 6:
    Right = false, Bottom = true;
    break;
  case 8:
    Right = true, Bottom = false;
    break;
  case 3:
  case 7:
    Right = Bottom = true;
    break;
  default:
    Right = Bottom = false;
  }
}

bool Whole(const THeader& Hd, int Orientation) {
  if (Hd.Subsamp < 0 || Hd.Subsamp >= TJ_NUMSAMP) return false;
  bool Right, Bottom;
  EdgesMoved(Orientation, Right, Bottom);
  return (!Right || Hd.Width % tjMCUWidth[Hd.Subsamp] == 0) &&
         (!Bottom || Hd.Height % tjMCUHeight[Hd.Subsamp] == 0);
}

} // namespace

int TurnFromName(const std::string& Name) {
  if (Name == "90") return 6;
  if (Name == "180") return 3;
  if (Name == "270") return 8;
  if (Name == "h") return 2;
  if (Name == "v") return 4;
  return 0;
}

bool JPEGTurnIsPerfect(const uint8_t* Data, size_t Size, int Orientation) {
  THandle H;
  THeader Hd;
  return ReadHeader(H, Data, Size, Hd) && Whole(Hd, Orientation);
}

bool ResetJPEGOrientation(std::vector<uint8_t>& Jpeg) {
  bool Found = false;
  size_t P = 2;
  if (Jpeg.size() < 4 || Jpeg[0] != 0xFF || Jpeg[1] != 0xD8) return false;
  while (P + 4 <= Jpeg.size()) {
    if (Jpeg[P] != 0xFF) break;
    const uint8_t M = Jpeg[P + 1];
    if (M == 0xFF) { // fill byte
      ++P;
      continue;
    }
    if (M == 0xDA || M == 0xD9) break; // start of scan, end of image
    const size_t Len = size_t(Jpeg[P + 2]) << 8 | Jpeg[P + 3];
    if (Len < 2 || P + 2 + Len > Jpeg.size()) break;
    if (M == 0xE1 && Len >= 8 && std::memcmp(&Jpeg[P + 4], "Exif\0\0", 6) == 0)
      Found |= ResetExifOrientation(&Jpeg[P + 4], Len - 2);
    P += 2 + Len;
  }
  return Found;
}

std::vector<uint8_t> TurnJPEGLossless(const uint8_t* Data, size_t Size, int Orientation,
                                      TJPEGTurnEdge Edge, int64_t MaxPixelCount) {
  if (!ValidOrientation(Orientation)) Fail(EngineMessage(msgInvalidValueFor, "Orientation"));
  THandle H;
  if (!H.H) Fail(tjGetErrorStr2(nullptr));
  THeader Hd;
  if (!ReadHeader(H, Data, Size, Hd)) Fail(H.Error());
  if (Hd.Width <= 0 || Hd.Height <= 0 || int64_t(Hd.Width) * Hd.Height > MaxPixelCount)
    Fail(EngineMessage(msgFailed, "CreateDIBSection"));
  if (Edge == TJPEGTurnEdge::jePerfect && !Whole(Hd, Orientation))
    Fail("The size " + std::to_string(Hd.Width) + " x " + std::to_string(Hd.Height) +
         " is not a whole number of " + std::to_string(tjMCUWidth[Hd.Subsamp]) + " x " +
         std::to_string(tjMCUHeight[Hd.Subsamp]) + " blocks; the turn would trim it");

  tjtransform T;
  std::memset(&T, 0, sizeof T);
  T.op = OperationOf(Orientation);
  T.options = Edge == TJPEGTurnEdge::jePerfect ? TJXOPT_PERFECT : TJXOPT_TRIM;
  TOutput Out;
  // Progressive files with very many scans are refused, as the engine's reader does. The first
  // warning (truncated or damaged data) stops the turn at once: the result would be refused
  // anyway, and a large picture's blocks would otherwise all be filled in first.
  if (tjTransform(H.H, Data, static_cast<unsigned long>(Size), 1, &Out.Data, &Out.Size, &T,
                  TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING) != 0)
    Fail(H.Error());
  std::vector<uint8_t> Result(Out.Data, Out.Data + Out.Size);
  ResetJPEGOrientation(Result);
  return Result;
}

void TurnJPEGFileLossless(const std::string& In, const std::string& Out, int Orientation,
                          TJPEGTurnEdge Edge) {
  std::vector<uint8_t> Data;
  {
    TPGFileStream S(In, TFileMode::fmOpenRead);
    const int64_t N = S.Size();
    if (N < 0 || uint64_t(N) > SIZE_MAX / 2) Fail(EngineMessage(msgFailed, "CreateDIBSection"));
    Data.resize(size_t(N));
    if (S.Read(Data.data(), Data.size()) != Data.size())
      throw EPGStreamError(EngineMessage(msgUnexpectedEOF));
  }
  const std::vector<uint8_t> Result = TurnJPEGLossless(Data.data(), Data.size(), Orientation, Edge);
  WriteFileSafely(Out, Result.data(), Result.size(), TCommitMode::cmReplace);
}

} // namespace orbisk
