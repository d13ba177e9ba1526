#include "processing/batch.h"

#include "engine/imagemetadata.h"
#include "engine/orientation.h"
#include "engine/parallel.h"
#include "engine/registry.h"
#include "processing/jpegturn.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <stdexcept>
#include <sys/stat.h>

namespace orbisk {

namespace {

bool Exists(const std::string& Path) {
  struct stat St;
  return lstat(Path.c_str(), &St) == 0;
}

bool IsFolder(const std::string& Path) {
  struct stat St;
  return stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

std::string FileNameOf(const std::string& Path) {
  const auto Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// The source's file starts as a JPEG does.
bool IsJPEGFile(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  unsigned char Head[3] = {};
  return F.read(reinterpret_cast<char*>(Head), 3) && Head[0] == 0xFF && Head[1] == 0xD8 &&
         Head[2] == 0xFF;
}

int CameraOrientation(const std::string& Path) {
  const TImageMetadata M = ReadImageMetadata(Path);
  return M.Exif.empty() ? 1 : OrientationFromExif(M.Exif.data(), M.Exif.size());
}

// The turn that makes the stored picture what the settings ask for, as an orientation.
int TurnFor(TBatchTurn Turn, int Camera) {
  switch (Turn) {
  case TBatchTurn::None:
    return 1;
  case TBatchTurn::Camera:
    return Camera;
  case TBatchTurn::Right:
    return ComposeOrientation(Camera, 6);
  case TBatchTurn::Turn180:
    return ComposeOrientation(Camera, 3);
  case TBatchTurn::Left:
    return ComposeOrientation(Camera, 8);
  }
  return 1;
}

int Scaled(int Side, long double Factor) {
  return std::max(1, int(std::min<long double>(std::nearbyint(Side * Factor), 1 << 20)));
}

// The destinations of every source, chosen in source order before anything is written, so that
// a run names its files the same way whatever order its threads finish in.
void PlanDestinations(const std::vector<std::string>& Sources, const TBatchSettings& S,
                      std::vector<TBatchItem>& Items) {
  std::set<std::string> Taken; // names given to earlier files of the run
  const std::string Ext = ConvertTargetExtension(S.Target);
  std::string Folder = S.Folder;
  if (!Folder.empty() && Folder.back() != '/') Folder += '/';
  auto IsSource = [&](const std::string& Path) {
    for (const std::string& Src : Sources)
      if (Path == Src || SameExistingFile(Path, Src)) return true;
    return false;
  };
  for (size_t I = 0; I < Sources.size(); ++I) {
    TBatchItem& It = Items[I];
    std::string Dest = Folder + BatchName(S.NamePattern, Sources[I], int(I) + 1) + "." + Ext;
    for (;;) {
      // A name an earlier file of this run took, or a source, is never written over.
      if (Taken.count(Dest) || IsSource(Dest)) {
        if (S.Collision == TBatchCollision::Skip && !Taken.count(Dest)) {
          It.Skipped = true;
          break;
        }
        Dest = PrefixFileName(Dest);
        continue;
      }
      if (!Exists(Dest) || S.Collision == TBatchCollision::Overwrite) break;
      if (S.Collision == TBatchCollision::Skip) {
        It.Skipped = true;
        break;
      }
      Dest = PrefixFileName(Dest);
    }
    if (It.Skipped) continue;
    Taken.insert(Dest);
    It.Destination = Dest;
  }
}

// The stored picture's sides from its header, turned as Turn turns them; false when the header
// does not tell.
bool TurnedHeaderSize(const std::string& Path, const TReadOptions& Options, int Turn, int& W,
                      int& H) {
  TGraphicFileInfo Info;
  if (!GetGraphicFileInfo(Path, 0, Info, Options) || Info.Width <= 0 || Info.Height <= 0)
    return false;
  W = Info.Width;
  H = Info.Height;
  if (Turn >= 5) std::swap(W, H);
  return true;
}

void ConvertOne(TBatchItem& It, const TBatchSettings& S) {
  const int Camera = S.Turn == TBatchTurn::None ? 1 : CameraOrientation(It.Source);
  const int Turn = TurnFor(S.Turn, Camera);
  int W = 0, H = 0, NW = 0, NH = 0;
  const bool Known = TurnedHeaderSize(It.Source, S.ReadOptions, Turn, W, H);
  if (Known) BatchTargetSize(S, W, H, NW, NH);
  // A JPEG that only turns (or is copied) keeps its coefficients.
  if (Known && NW == W && NH == H && S.Target == ctJPG && IsJPEGFile(It.Source) &&
      (S.Turn != TBatchTurn::None || Camera == 1)) {
    std::ifstream F(It.Source, std::ios::binary);
    const std::vector<uint8_t> Data{std::istreambuf_iterator<char>(F), {}};
    if (JPEGTurnIsPerfect(Data.data(), Data.size(), Turn)) {
      try {
        // Written only when the whole turn succeeded.
        TurnJPEGFileLossless(It.Source, It.Destination, Turn, TJPEGTurnEdge::jePerfect);
        It.Lossless = true;
        return;
      } catch (const std::exception&) {
        // Damaged data the coefficients cannot be taken from: the pixels as the viewer shows
        // them are converted below.
      }
    }
  }
  TPixelGraphic G;
  G.ReadWarningAction = pgwaIgnore;
  const auto Load = [&](int Reduced) {
    G.ReducedSize = Reduced;
    G.LoadFromFile(It.Source, S.ReadOptions);
    if (S.Turn != TBatchTurn::None) {
      ApplyOrientation(G, Turn);
      G.ExifOrientation = 1;
    }
  };
  // A picture made smaller needs no more pixels than the result: readers that decode a reduced
  // picture cheaply (JPEG DCT scaling, ...) give one at least as large as the target.
  Load(Known && NW < W && NH < H ? std::max(NW, NH) : 0);
  // The target follows the stored picture, whatever the reader reduced.
  W = G.FullWidth > 0 ? (Turn >= 5 ? G.FullHeight : G.FullWidth) : G.Width();
  H = G.FullHeight > 0 ? (Turn >= 5 ? G.FullWidth : G.FullHeight) : G.Height();
  BatchTargetSize(S, W, H, NW, NH);
  // A header that told another size than the picture has: read whole.
  if (G.ReducedSize > 0 && (G.Width() < NW || G.Height() < NH)) Load(0);
  TConvertSettings C;
  C.Target = S.Target;
  C.JPEGQuality = S.JPEGQuality;
  if (NW != G.Width() || NH != G.Height()) {
    C.MaintainOriginalSize = false;
    C.DisplayWidth = NW;
    C.DisplayHeight = NH;
  }
  ConvertPictureFile(G, It.Source, It.Destination, C, nullptr, S.WriteOptions);
}

} // namespace

void BatchTargetSize(const TBatchSettings& S, int Width, int Height, int& NewWidth,
                     int& NewHeight) {
  NewWidth = std::max(1, Width);
  NewHeight = std::max(1, Height);
  long double Factor = 1;
  switch (S.Resize) {
  case TBatchResize::None:
    return;
  case TBatchResize::LongestSide:
    Factor = (long double)S.LongestSide / std::max(NewWidth, NewHeight);
    break;
  case TBatchResize::Percentage:
    Factor = S.Percent / 100.0L;
    break;
  case TBatchResize::FitBox:
    Factor = std::min((long double)S.BoxWidth / NewWidth, (long double)S.BoxHeight / NewHeight);
    break;
  }
  if (Factor >= 1 && !S.Enlarge && BatchResizeMayEnlarge(S.Resize)) return;
  NewWidth = Scaled(NewWidth, Factor);
  NewHeight = Scaled(NewHeight, Factor);
}

std::string BatchName(const std::string& Pattern, const std::string& Source, int Number) {
  // The converter's rule: the name up to its first dot (not the dots a hidden name starts with).
  std::string Base = FileNameOf(ConvertDestination(Source, "x"));
  Base.resize(Base.size() - 2);
  const std::string P = Pattern.empty() ? "*" : Pattern;
  std::string Name;
  for (size_t I = 0; I < P.size();) {
    if (P[I] == '*') {
      Name += Base;
      ++I;
    } else if (P[I] == '#') {
      size_t Run = 0;
      while (I + Run < P.size() && P[I + Run] == '#')
        ++Run;
      std::string Digits = std::to_string(Number);
      if (Digits.size() < Run) Digits.insert(0, Run - Digits.size(), '0');
      Name += Digits;
      I += Run;
    } else {
      Name += P[I++];
    }
  }
  return Name;
}

bool CheckBatchSettings(const TBatchSettings& S, std::string& Why) {
  auto Fail = [&](const std::string& Text) {
    Why = Text;
    return false;
  };
  if (!IsFolder(S.Folder)) return Fail("The folder \"" + S.Folder + "\" does not exist");
  if (S.NamePattern.find('/') != std::string::npos) return Fail("A name pattern cannot hold \"/\"");
  if (S.JPEGQuality < 1 || S.JPEGQuality > 100) return Fail("The quality must be 1 to 100");
  switch (S.Resize) {
  case TBatchResize::None:
    break;
  case TBatchResize::LongestSide:
    if (S.LongestSide < 1 || S.LongestSide > 65535)
      return Fail("The longest side must be 1 to 65535 pixels");
    break;
  case TBatchResize::Percentage:
    if (S.Percent < 1 || S.Percent > 1000) return Fail("The percentage must be 1 to 1000");
    break;
  case TBatchResize::FitBox:
    if (S.BoxWidth < 1 || S.BoxWidth > 65535 || S.BoxHeight < 1 || S.BoxHeight > 65535)
      return Fail("The box sides must be 1 to 65535 pixels");
    break;
  }
  return true;
}

TBatchReport RunBatch(const std::vector<std::string>& Sources, const TBatchSettings& Settings,
                      const std::function<bool(int Done, int Count)>& Progress) {
  std::string Why;
  if (!CheckBatchSettings(Settings, Why)) throw std::invalid_argument(Why);
  std::vector<TBatchItem> Items(Sources.size());
  for (size_t I = 0; I < Sources.size(); ++I)
    Items[I].Source = Sources[I];
  PlanDestinations(Sources, Settings, Items);
  std::vector<char> Done(Sources.size(), 0);
  const int Count = int(Sources.size());
  const bool Complete = ParallelBands(
      Count,
      [&](int Begin, int End) {
        for (int I = Begin; I < End; ++I) {
          TBatchItem& It = Items[size_t(I)];
          if (!It.Skipped) {
            try {
              ConvertOne(It, Settings);
            } catch (const std::exception& E) {
              It.Error = E.what();
              It.Destination.clear();
              It.Lossless = false;
            }
          }
          Done[size_t(I)] = 1;
        }
      },
      [&](int Row) { return Progress && Progress(Row + 1, Count); }, 1);
  TBatchReport R;
  R.Cancelled = !Complete;
  for (size_t I = 0; I < Items.size(); ++I) {
    if (!Done[I]) continue;
    const TBatchItem& It = Items[I];
    if (It.Skipped)
      ++R.Skipped;
    else if (!It.Error.empty())
      ++R.Failed;
    else
      ++R.Converted;
    R.Items.push_back(It);
  }
  return R;
}

} // namespace orbisk
