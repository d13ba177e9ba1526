// orbisk-cli thumbnails: the explorer's cells, made by its threaded loader, saved under the
// names the explorer's "Save Thumbnail" gives them.
#include "platform/filenames.h"
#include "cli/commands.h"

#include "engine/registry.h"
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
  ParsedArgs P = ParseArgs(Args, {}, {"--size", "--format", "--prefix", "--threads"});
  if (P.Files.size() < 2) throw std::runtime_error("thumbnails needs DIR and at least one FILE");
  int Size = kThumbCellSize, Threads = 0;
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

  const TSourceFiles Guard(Sources);
  TThumbLoader Loader(Sources, {Size, true}, Threads);
  int Status = 0, Saved = 0;
  for (;;) {
    std::vector<TThumbResult> Ready = Loader.WaitReady();
    if (Ready.empty()) break;
    for (auto& R : Ready) {
      const std::string& Source = Sources[size_t(R.Index)];
      const std::string Name = EncodeFileName(QFileInfo(Decoded(Source)).fileName()).toStdString();
      const std::string Target =
          EncodeFileName(Dir).toStdString() + "/" + ThumbnailFileName(Prefix, Name, Format);
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
  std::printf("%d of %zu thumbnails saved\n", Saved, Sources.size());
  return Status;
}

} // namespace orbisk
