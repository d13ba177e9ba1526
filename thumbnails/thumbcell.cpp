#include "thumbnails/thumbcell.h"

#include "platform/codecsettings.h"
#include "thumbnails/scaledjpeg.h"
#include "thumbnails/thumbcache.h"

#include "engine/messages.h"
#include "engine/registry.h"
#include "engine/safefile.h"
#include "engine/stream.h"
#include "platform/autoorient.h"
#include "platform/pgqt.h"

#include <QFile>
#include <QImage>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <vector>

// Resources of a static library are registered by name from the global namespace.
static void InitThumbnailResources() {
  Q_INIT_RESOURCE(thumbnails);
}

namespace orbisk {

TSize2 FitThumbnail(int W, int H, int S) {
  TSize2 R;
  if (W < S && H < S) {
    R = {W, H};
  } else if (W > H) {
    R = {S, static_cast<int>(std::trunc(static_cast<long double>(H) / W * S))};
  } else {
    R = {static_cast<int>(std::trunc(static_cast<long double>(W) / H * S)), S};
  }
  // A very flat or narrow picture keeps one row or column instead of vanishing.
  R.Width = std::max(R.Width, 1);
  R.Height = std::max(R.Height, 1);
  return R;
}

const TPixelGraphic* Placeholder() {
  static std::once_flag Once;
  static std::unique_ptr<TPixelGraphic> Picture;
  std::call_once(Once, [] {
    InitThumbnailResources();
    QFile F(":/thumbnails/QUESTIONMARK");
    if (!F.open(QIODevice::ReadOnly)) return;
    QImage Image;
    if (!Image.loadFromData(F.readAll(), "BMP") || Image.isNull()) return;
    auto G = std::make_unique<TPixelGraphic>();
    AssignFromQImage(*G, Image.convertToFormat(QImage::Format_RGB888));
    if (G->Empty()) return;
    Picture = std::move(G);
  });
  return Picture.get();
}

std::unique_ptr<TPixelGraphic> PlaceInCell(const TPixelGraphic& Loaded, int S, TStretchMode Mode) {
  if (Loaded.Empty() || Loaded.Width() <= 0 || Loaded.Height() <= 0)
    throw EPGEmpty(EngineMessage(msgIsEmpty, "PixelGraphic"));
  const TSize2 Fit = FitThumbnail(Loaded.Width(), Loaded.Height(), S);
  TPixelGraphic Scaled;
  Scaled.SetBackGroundColor(kThumbBackground);
  Scaled.StretchMode = Mode;
  Scaled.SetSize(Fit.Width, Fit.Height, 3);
  Scaled.StretchFrom(Loaded);
  auto Cell = std::make_unique<TPixelGraphic>();
  Cell->SetBackGroundColor(kThumbBackground);
  Cell->SetSize(S, S, 3);
  Cell->Clear();
  Cell->CopyRect(ThumbLeft(S, Fit.Width), 0, Scaled, 0, 0, Fit.Width, Fit.Height);
  return Cell;
}

namespace {

std::unique_ptr<TPixelGraphic> EmptyCell(int S) {
  auto Cell = std::make_unique<TPixelGraphic>();
  Cell->SetBackGroundColor(kThumbBackground);
  Cell->SetSize(S, S, 3);
  Cell->Clear();
  return Cell;
}

} // namespace

std::unique_ptr<TPixelGraphic> PlaceInCellAsFull(const TPixelGraphic& Loaded, int FullW, int FullH,
                                                 int S) {
  if (Loaded.Empty() || Loaded.Width() <= 0 || Loaded.Height() <= 0 || FullW <= 0 || FullH <= 0)
    throw EPGEmpty(EngineMessage(msgIsEmpty, "PixelGraphic"));
  const TSize2 Fit = FitThumbnail(FullW, FullH, S);
  TPixelGraphic Scaled;
  Scaled.SetBackGroundColor(kThumbBackground);
  Scaled.StretchMode = smFast;
  Scaled.SetSize(Fit.Width, Fit.Height, 3);
  Scaled.StretchFrom(Loaded);
  auto Cell = EmptyCell(S);
  Cell->CopyRect(ThumbLeft(S, Fit.Width), 0, Scaled, 0, 0, Fit.Width, Fit.Height);
  return Cell;
}

namespace {

// The whole file in one read of its known size (less when it shrinks meanwhile).
std::unique_ptr<uint8_t[]> ReadOpenFile(int Fd, size_t Size, size_t& Got) {
  std::unique_ptr<uint8_t[]> Data(new uint8_t[std::max<size_t>(Size, 1)]);
  Got = 0;
  while (Got < Size) {
    const ssize_t N = ::pread(Fd, Data.get() + Got, Size - Got, off_t(Got));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Got += size_t(N);
  }
  return Data;
}

// The explorer's way of reading: JPEG through DCT scaling (the file read once, in one go),
// anything else through the registry with a reduced decode where the reader offers one. Loaded
// comes out upright; FullW x FullH is the whole picture's upright size.
void DecodeFast(const std::string& Path, int S, const std::atomic<bool>* Cancel,
                TPixelGraphic& Loaded, int& FullW, int& FullH) {
  Loaded.FastJPEGDecode = true;
  Loaded.StretchMode = smFast;
  Loaded.ReadWarningAction = pgwaIgnore;
  if (Cancel)
    Loaded.OnProgress = [Cancel](TPixelGraphic*, int, bool& Abort, int) {
      if (Cancel->load(std::memory_order_relaxed)) Abort = true;
    };
  const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd >= 0) {
    struct stat St {};
    uint8_t Head[2] = {};
    if (::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && ::pread(Fd, Head, 2, 0) == 2 &&
        LooksLikeJPEG(Head, 2)) {
      size_t Size = 0;
      std::unique_ptr<uint8_t[]> Data;
      try {
        Data = ReadOpenFile(Fd, size_t(St.st_size), Size);
      } catch (...) {
        ::close(Fd);
        throw;
      }
      ::close(Fd);
      LoadScaledJPEG(Data.get(), Size, FitThumbnail, S, Loaded, FullW, FullH, Cancel);
      Data.reset();
      if (OrientForDisplay(Loaded) >= 5) std::swap(FullW, FullH);
      return;
    }
    ::close(Fd);
  }
  Loaded.ReducedSize = S;
  Loaded.LoadFromFile(Path, ViewReadOptions());
  FullW = Loaded.FullWidth > 0 ? Loaded.FullWidth : Loaded.Width();
  FullH = Loaded.FullHeight > 0 ? Loaded.FullHeight : Loaded.Height();
  if (OrientForDisplay(Loaded) >= 5) std::swap(FullW, FullH);
}

bool Cancelled(const std::atomic<bool>* Cancel) {
  return Cancel && Cancel->load(std::memory_order_relaxed);
}

} // namespace

TThumbCell MakeThumbCell(const std::string& Path, const TThumbCellOptions& Options,
                         const std::atomic<bool>* Cancel) {
  const int S = Options.Size;
  TThumbCell Result;
  if (!Options.Fast) {
    TPixelGraphic Loaded;
    Loaded.LoadFromFile(Path, ViewReadOptions());
    OrientForDisplay(Loaded);
    Result.Picture = PlaceInCell(Loaded, S, Loaded.StretchMode);
    return Result;
  }
  // The disk cache first, while pictures are shown upright and in sRGB as its pictures are.
  const TThumbCache* Cache =
      Options.Cache && AutoOrientPictures() && UseColourProfiles() ? Options.Cache.get() : nullptr;
  TThumbSource Source;
  const bool Cacheable = Cache && Cache->Describe(Path, Source);
  bool KnownFailure = false;
  if (Cacheable) {
    TCachedPicture Found;
    if (Cache->Find(Source, S, Found)) {
      try {
        Result.Picture = PlaceInCellAsFull(*Found.Picture, Found.FullWidth, Found.FullHeight, S);
        Result.FromCache = true;
        return Result;
      } catch (...) {
        // Decoded from the file below instead.
      }
    } else if (Cache->Failed(Source)) {
      KnownFailure = true;
      Result.FromCache = true;
      Result.Error = "The file could not be read when it was last tried (thumbnail cache)";
    }
  }
  if (!KnownFailure) {
    try {
      TPixelGraphic Loaded;
      int FullW = 0, FullH = 0;
      DecodeFast(Path, S, Cancel, Loaded, FullW, FullH);
      Result.Picture = PlaceInCellAsFull(Loaded, FullW, FullH, S);
      if (Cacheable && !Cancelled(Cancel)) Cache->Store(Source, Loaded, FullW, FullH);
      return Result;
    } catch (const std::exception& E) {
      Result.Error = E.what();
    } catch (...) {
      Result.Error = "Unknown error";
    }
    if (Cacheable && !Cancelled(Cancel)) Cache->StoreFailure(Source);
  }
  // The file gave nothing: the placeholder stands in, and if even that fails, an empty cell, so
  // that item i always shows cell i.
  const std::string Name = Path.substr(Path.find_last_of('/') + 1);
  const TPixelGraphic* Mark = Placeholder();
  if (!Mark) {
    Result.PlaceholderError = "could not load resource to bitmap";
  } else {
    try {
      Result.Picture = PlaceInCell(*Mark, S, smFast);
      Result.Source = TCellSource::csPlaceholder;
      return Result;
    } catch (...) {
      Result.PlaceholderError = "Could not load bitmap for " + Name;
    }
  }
  Result.Picture = EmptyCell(S);
  Result.Source = TCellSource::csEmpty;
  return Result;
}

int ThumbSizeOfText(const std::string& Text) {
  const size_t Blank = Text.find(' ');
  try {
    return std::stoi(Text.substr(0, Blank));
  } catch (...) {
    return kThumbCellSize;
  }
}

std::string ThumbExtensionOfFormat(const std::string& FormatText) {
  return LowerCase(FormatText.substr(0, 3));
}

std::string ThumbnailFileName(const std::string& Prefix, const std::string& FileName,
                              const std::string& Ext) {
  const size_t Dot = FileName.find('.');
  const std::string Stem = Dot == std::string::npos ? std::string() : FileName.substr(0, Dot + 1);
  return Prefix + Stem + Ext;
}

TThumbNameParts ThumbnailNameParts(const std::string& Prefix, const std::string& FileName,
                                   const std::string& Ext) {
  const size_t Dot = FileName.find('.');
  if (Dot == std::string::npos) return {Prefix + Ext, {}};
  return {Prefix + FileName.substr(0, Dot), "." + Ext};
}

TSourceFiles::TSourceFiles(const std::vector<std::string>& Paths) {
  for (const auto& P : Paths) {
    struct stat St {};
    if (::stat(P.c_str(), &St) == 0) FIds.emplace(uint64_t(St.st_dev), uint64_t(St.st_ino));
  }
}

bool TSourceFiles::Contains(const std::string& Path) const {
  struct stat St {};
  if (::stat(Path.c_str(), &St) != 0) return false;
  return FIds.count({uint64_t(St.st_dev), uint64_t(St.st_ino)}) != 0;
}

void SaveThumbnail(TPixelGraphic& Cell, const std::string& Target, const std::string& Ext,
                   const TSourceFiles& Sources) {
  if (Sources.Contains(Target))
    throw EPGStreamError("\"" + Target + "\" is one of the files the thumbnails are made from");
  TPGMemoryStream Data;
  Cell.SaveToStreamExt(Data, Ext, CurrentWriteOptions());
  WriteFileSafely(Target, Data.Memory(), static_cast<size_t>(Data.Size()));
}

} // namespace orbisk
