// orbisk-cli thumbnails: the explorer's cells, made by its threaded loader, saved under the
// names the explorer's "Save Thumbnail" gives them; files the run did not write are skipped
// unless --overwrite. With --auto-orient the desktop's thumbnail cache is read and written as the
// explorer does (its pictures stand upright); --no-cache leaves it alone, and without
// --auto-orient it is never used, so the cells are always made from the files then.
#include "platform/filenames.h"
#include "cli/commands.h"

#include "engine/registry.h"
#include "engine/runtargets.h"
#include "thumbnails/thumbcache.h"
#include "thumbnails/thumbloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace orbisk {

namespace {

const std::vector<std::string> kFormats = {"bmp", "jpg", "tif", "png", "tga"};
const std::vector<int> kSizes = {64, 80, 96, 128};

QString Decoded(const std::string& S) {
  return DecodeFileName(QByteArray::fromStdString(S));
}

} // namespace

int RunThumbnailsCommand(const std::vector<std::string>& Args) {
  ParsedArgs P = ParseArgs(Args, {"--overwrite", "--no-cache"},
                           {"--size", "--format", "--prefix", "--threads"});
  if (P.Files.size() < 2) throw std::runtime_error("thumbnails needs DIR and at least one FILE");
  int Size = kThumbCellSize, Threads = 0;
  bool Overwrite = false, UseCache = true;
  std::string Format = "bmp", Prefix = "thm_";
  for (const auto& [Name, Value] : P.Options) {
    if (Name == "--size") {
      Size = std::atoi(Value.c_str());
      if (std::find(kSizes.begin(), kSizes.end(), Size) == kSizes.end())
        throw std::runtime_error("--size must be 64, 80, 96 or 128");
    } else if (Name == "--format") {
      Format = LowerCase(Value);
      if (std::find(kFormats.begin(), kFormats.end(), Format) == kFormats.end())
        throw std::runtime_error("--format must be bmp, jpg, tif, png or tga");
    } else if (Name == "--prefix") {
      Prefix = Value;
    } else if (Name == "--overwrite") {
      Overwrite = true;
    } else if (Name == "--no-cache") {
      UseCache = false;
    } else if (Name == "--threads") {
      Threads = std::atoi(Value.c_str());
    }
  }
  const QString Dir = Decoded(P.Files[0]);
  if (!QFileInfo(Dir).isDir()) throw std::runtime_error(P.Files[0] + " is not a folder");
  std::vector<std::string> Sources(P.Files.begin() + 1, P.Files.end());
  const QString TargetDir = QFileInfo(Dir).canonicalFilePath();
  if (Prefix.empty())
    for (const auto& S : Sources)
      if (QFileInfo(Decoded(S)).canonicalPath() == TargetDir)
        throw std::runtime_error("DIR holds source files: give a non-empty --prefix");
  for (const auto& S : Sources)
    PrepareToRead(S);

  // The names are given in the order of the command line, before anything is written (results
  // arrive in any order), so that a.b.png and a.c.png always become thm_a and thm_a_2.
  std::string OutDir = EncodeFileName(Dir).toStdString();
  while (OutDir.size() > 1 && OutDir.back() == '/')
    OutDir.pop_back();
  TRunTargets Targets(Overwrite);
  std::vector<TRunTarget> Names;
  for (const auto& Source : Sources) {
    const std::string Name = EncodeFileName(QFileInfo(Decoded(Source)).fileName()).toStdString();
    const TThumbNameParts Parts = ThumbnailNameParts(Prefix, Name, Format);
    Names.push_back(Targets.Claim(OutDir, Parts.Stem, Parts.DotExt));
  }
  const TSourceFiles Guard(Sources);
  TThumbCellOptions Options;
  Options.Size = Size;
  if (UseCache) Options.Cache = std::make_shared<TThumbCache>(TThumbCache::DefaultRoot());
  TThumbLoader Loader(Sources, Options, Threads);
  int Status = 0, Saved = 0, Skipped = 0;
  for (;;) {
    std::vector<TThumbResult> Ready = Loader.WaitReady();
    if (Ready.empty()) break;
    for (auto& R : Ready) {
      const std::string& Source = Sources[size_t(R.Index)];
      const TRunTarget& T = Names[size_t(R.Index)];
      const std::string& Target = T.Path;
      if (T.Existing && !Guard.Contains(Target)) {
        std::fprintf(stderr, "Skipped %s: the file exists (--overwrite replaces it)\n",
                     Target.c_str());
        ++Skipped;
        Status = 1;
        continue;
      }
      try {
        if (R.Cell.Source != TCellSource::csPicture) throw std::runtime_error(R.Cell.Error);
        SaveThumbnail(*R.Cell.Picture, Target, Format, Guard);
        ++Saved;
      } catch (const std::exception& E) {
        std::fprintf(stderr, "Error reading %s: %s\n", Source.c_str(), E.what());
        Status = 1;
      }
    }
  }
  std::printf("%d of %zu thumbnails saved", Saved, Sources.size());
  if (Skipped) std::printf(", %d skipped", Skipped);
  std::printf("\n");
  return Status;
}

} // namespace orbisk
