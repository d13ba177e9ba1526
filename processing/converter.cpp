#include "processing/converter.h"

#include "engine/formats/jpeg.h"
#include "engine/formats/webp.h"
#include "engine/messages.h"
#include "engine/picturenames.h"
#include "engine/registry.h"
#include "processing/colorresolution.h"
#include "processing/convfilter.h"
#include "processing/gifwriter.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

namespace orbisk {

namespace {

struct TTargetRow {
  const char* Text;
};
constexpr TTargetRow kTargets[ctCount] = {
    {"BMP - bitmap"},
    {"JPG - jpeg (jfif compliant)"},
    {"TIF - Tagged Image File Format"},
    {"PNG - Portable Network Graphics"},
    {"TGA - Truevision Targa"},
    {"GIF - Graphic Interchange Format"},
    {"WEBP - WebP"},
    {"WEBP - WebP lossless"},
    {"AVIF - AV1 Image File Format"},
};

size_t NameStart(const std::string& Path) {
  const auto Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? 0 : Slash + 1;
}

bool Exists(const std::string& Path) {
  struct stat St;
  return lstat(Path.c_str(), &St) == 0;
}

} // namespace

const char* ConvertTargetText(TConvertTarget T) {
  return kTargets[T < 0 || T >= ctCount ? 0 : T].Text;
}

std::string ConvertTargetExtension(TConvertTarget T) {
  std::string E(ConvertTargetText(T));
  E = E.substr(0, E.find(' '));
  for (auto& C : E)
    C = char(std::tolower(static_cast<unsigned char>(C)));
  return E;
}

bool ConvertTargetUsesQuality(TConvertTarget T) {
  return T == ctJPG || T == ctWEBP || T == ctAVIF;
}

bool ConvertTargetFromExtension(const std::string& Ext, TConvertTarget& T) {
  std::string L = Ext;
  for (auto& C : L)
    C = char(std::tolower(static_cast<unsigned char>(C)));
  for (int I = 0; I < ctCount; ++I)
    if (ConvertTargetExtension(TConvertTarget(I)) == L) {
      T = TConvertTarget(I);
      return true;
    }
  return false;
}

std::string ConvertDestination(const std::string& Source, const std::string& Ext) {
  const size_t Start = NameStart(Source);
  size_t From = Start;
  while (From < Source.size() && Source[From] == '.')
    ++From;
  const size_t Dot = Source.find('.', From);
  if (Dot == std::string::npos) return Source + "." + Ext;
  return Source.substr(0, Dot + 1) + Ext;
}

bool ConvertibleSourceName(const std::string& Name) {
  return IsReadablePictureName(Name);
}

std::string PrefixFileName(const std::string& Path) {
  std::string P = Path;
  P.insert(NameStart(Path), "!");
  return P;
}

bool SameExistingFile(const std::string& A, const std::string& B) {
  struct stat SA, SB;
  if (stat(A.c_str(), &SA) != 0 || stat(B.c_str(), &SB) != 0) return false;
  return SA.st_dev == SB.st_dev && SA.st_ino == SB.st_ino;
}

std::string ChooseConvertDestination(const std::string& Source, TConvertTarget Target,
                                     const TOverwriteQuestion& Ask) {
  std::string Dest = ConvertDestination(Source, ConvertTargetExtension(Target));
  while (Exists(Dest)) {
    if (!SameExistingFile(Dest, Source) && Ask && Ask(Dest)) break;
    Dest = PrefixFileName(Dest);
  }
  return Dest;
}

std::unique_ptr<TPixelGraphic> ConvertedPicture(const TPixelGraphic& Source,
                                                const TConvertSettings& S) {
  if (Source.Empty()) throw EPGEmpty(EngineMessage(msgIsEmpty, "PixelGraphic"));
  const bool Resize = !S.MaintainOriginalSize;
  if (Resize && (S.DisplayWidth <= 0 || S.DisplayHeight <= 0))
    throw EPixelGraphic("The displayed size is empty");
  if (S.Target == ctGIF) {
    auto G = Resize ? PrepareGIFPicture(Source, S.DisplayWidth, S.DisplayHeight)
                    : PrepareGIFPicture(Source);
    if (!G) throw EPGEmpty(EngineMessage(msgIsEmpty, "PixelGraphic"));
    return G;
  }
  auto G = std::make_unique<TPixelGraphic>();
  if (!Resize) {
    G->Assign(&Source);
    return G;
  }
  G->SetSize(S.DisplayWidth, S.DisplayHeight, 3);
  G->StretchFrom(Source);
  if (S.AutoSharpen) {
    TConvFilter Sharpen;
    Sharpen.SetSharpenKernel(dsTent, false, 70, 0.75L);
    TPixelGraphic Copy;
    Copy.Assign(G.get());
    ApplyFilter(*G, Sharpen, Copy);
  }
  return G;
}

TImageMetadata ConvertedMetadata(const TPixelGraphic& Source, const std::string& SourcePath,
                                 int Width, int Height) {
  TImageMetadata M = ReadImageMetadata(SourcePath);
  // A picture whose pixels no longer wait for the file's turn was turned upright on loading.
  FitMetadataToPicture(M, Width, Height, Source.ExifOrientation == 1);
  return M;
}

bool ConvertPictureFile(const TPixelGraphic& Source, const std::string& SourcePath,
                        const std::string& Destination, const TConvertSettings& S,
                        const TTransparencyPicker& PickTransparent, const TWriteOptions& Options) {
  if (Destination == SourcePath || SameExistingFile(Destination, SourcePath))
    throw EPGStreamError("Cannot create file \"" + Destination +
                         "\". It is the picture being converted.");
  struct stat St;
  if (stat(Destination.c_str(), &St) == 0 && S_ISREG(St.st_mode) && !(St.st_mode & S_IWUSR))
    throw EPGStreamError("Cannot create file \"" + Destination + "\". " + std::strerror(EACCES));
  auto G = ConvertedPicture(Source, S);
  if (S.Target == ctGIF) {
    TRGB Transparent = 0;
    if (S.Transparent) {
      if (!PickTransparent || !PickTransparent(*G, Transparent)) return false;
    }
    int Code = 0;
    if (!WriteGIF(Destination, *G, S.Interlaced, Transparent, S.Transparent, &Code))
      throw EPGStreamError("GIF: " + std::string(GIFErrorText(Code)) + " (\"" + Destination +
                           "\")");
    return true;
  }
  // Palette pictures go to writers that cannot hold them in a resolution they can.
  G->SaveColorResWarningAction = pgwaIgnore;
  G->Metadata = ConvertedMetadata(Source, SourcePath, G->Width(), G->Height());
  TWriteOptions Write = Options;
  if (ConvertTargetUsesQuality(S.Target)) Write.JPEGQuality = S.JPEGQuality;
  Write.WebPLossless = S.Target == ctWEBPLossless;
  G->SaveToFile(Destination, Write);
  return true;
}

} // namespace orbisk
