#include "processing/editor/losslesssave.h"

#include "engine/orientation.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "platform/codecsettings.h"
#include "platform/filenames.h"
#include "processing/jpegturn.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace orbisk {

namespace {

bool Stamp(const std::string& Path, int64_t& Size, int64_t& Modified) {
  struct stat St;
  if (stat(Path.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return false;
  Size = St.st_size;
  Modified = int64_t(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
  return true;
}

bool StartsLikeJPEG(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  unsigned char Head[2] = {};
  return In.read(reinterpret_cast<char*>(Head), 2) && Head[0] == 0xFF && Head[1] == 0xD8;
}

bool IsJPEGName(const QString& Path) {
  const std::string Ext = FileExtension(EncodeFileName(Path).toStdString());
  return Ext == "jpg" || Ext == "jpeg" || Ext == "jif";
}

} // namespace

void TLosslessJPEGTracker::Loaded(const QString& Path, int Orientation,
                                  const TPixelGraphic* Picture) {
  Forget();
  const std::string File = EncodeFileName(Path).toStdString();
  if (!Picture || !StartsLikeJPEG(File) || !Stamp(File, FSize, FModified)) return;
  FValid = true;
  FSource = Path;
  FTurn = ValidOrientation(Orientation) ? Orientation : 1;
  FPicture = Picture;
}

void TLosslessJPEGTracker::Forget() {
  FValid = false;
  FSource.clear();
  FTurn = 1;
  FPicture = nullptr;
  FSize = -1;
  FModified = 0;
}

void TLosslessJPEGTracker::Turned(int Turn, const TPixelGraphic* Result) {
  if (!FValid) return;
  FTurn = ComposeOrientation(FTurn, Turn);
  FPicture = Result;
}

bool SamePicture(const TPixelGraphic& Decoded, const TPixelGraphic& Shown) {
  if (Decoded.Width() != Shown.Width() || Decoded.Height() != Shown.Height() ||
      Decoded.BitCountNum() != Shown.BitCountNum() || Decoded.Empty() || Shown.Empty())
    return false;
  if (Shown.BitCountNum() < 2) return false;
  const int64_t Bytes = int64_t(Shown.Width()) * (Shown.BitCountNum() == 3 ? 3 : 1);
  uint64_t Sum = 0;
  for (int Y = 0; Y < Shown.Height(); ++Y) {
    const uint8_t* A = Decoded.ScanLine(Y);
    const uint8_t* B = Shown.ScanLine(Y);
    for (int64_t I = 0; I < Bytes; ++I) {
      const int D = std::abs(int(A[I]) - int(B[I]));
      if (D > 8) return false;
      Sum += unsigned(D);
    }
  }
  return Sum < uint64_t(Bytes) * uint64_t(Shown.Height());
}

std::optional<std::vector<uint8_t>>
TLosslessJPEGTracker::LosslessFile(const TPixelGraphic& Picture, const QString& Target) const {
  if (!FValid || &Picture != FPicture || !IsJPEGName(Target)) return std::nullopt;
  const std::string File = EncodeFileName(FSource).toStdString();
  int64_t Size = 0, Modified = 0;
  if (!Stamp(File, Size, Modified) || Size != FSize || Modified != FModified) return std::nullopt;
  try {
    std::vector<uint8_t> Data;
    {
      TPGFileStream In(File, TFileMode::fmOpenRead);
      if (In.Size() != FSize) return std::nullopt;
      Data.resize(size_t(FSize));
      if (In.Read(Data.data(), Data.size()) != Data.size()) return std::nullopt;
    }
    if (!JPEGTurnIsPerfect(Data.data(), Data.size(), FTurn)) return std::nullopt;
    std::vector<uint8_t> Result =
        TurnJPEGLossless(Data.data(), Data.size(), FTurn, TJPEGTurnEdge::jePerfect);
    // The result must show what the editor shows; a change that slipped past the tracking (or
    // a decoder that rounds differently) leaves the saving to the encoder.
    TPixelGraphic Check;
    Check.ReadWarningAction = pgwaIgnore;
    TPGMemoryStream S(Result.data(), Result.size());
    Check.LoadFromStreamExt(S, "jpg", 0, CurrentReadOptions());
    if (!SamePicture(Check, Picture)) return std::nullopt;
    return Result;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

} // namespace orbisk
