// orbisk-cli batch FILE... --into FOLDER: the "Convert and Resize" window's work from the command
// line, with the same settings and the same bytes.
#include "cli/commands.h"

#include "engine/codecoptions.h"
#include "processing/batch.h"

#include <cstdio>
#include <stdexcept>

namespace orbisk {

int RunBatchCommand(const std::vector<std::string>& Args) {
  const ParsedArgs P = ParseArgs(Args, {"--enlarge"},
                                 {"--into", "--to", "--quality", "--longest", "--percent", "--box",
                                  "--turn", "--name", "--existing"});
  TBatchSettings S;
  S.JPEGQuality = TWriteOptions{}.JPEGQuality; // the program's default, as the window starts
  int Resizes = 0;
  for (const auto& [Name, V] : P.Options) {
    if (Name == "--into") {
      S.Folder = V;
    } else if (Name == "--to") {
      if (V == "webp-lossless")
        S.Target = ctWEBPLossless;
      else if (!ConvertTargetFromExtension(V, S.Target))
        throw std::runtime_error(
            "--to takes bmp, jpg, tif, png, tga, gif, webp, webp-lossless or avif, not \"" + V +
            "\"");
    } else if (Name == "--quality") {
      S.JPEGQuality = int(WholeNumber(Name, V, 1, 100));
    } else if (Name == "--longest") {
      S.Resize = TBatchResize::LongestSide;
      S.LongestSide = int(WholeNumber(Name, V, 1, 65535));
      ++Resizes;
    } else if (Name == "--percent") {
      S.Resize = TBatchResize::Percentage;
      S.Percent = int(WholeNumber(Name, V, 1, 1000));
      ++Resizes;
    } else if (Name == "--box") {
      const auto X = V.find_first_of("xX");
      if (X == std::string::npos) throw std::runtime_error("--box needs WxH, not \"" + V + "\"");
      S.Resize = TBatchResize::FitBox;
      S.BoxWidth = int(WholeNumber(Name, V.substr(0, X), 1, 65535));
      S.BoxHeight = int(WholeNumber(Name, V.substr(X + 1), 1, 65535));
      ++Resizes;
    } else if (Name == "--enlarge") {
      S.Enlarge = true;
    } else if (Name == "--turn") {
      if (V == "none")
        S.Turn = TBatchTurn::None;
      else if (V == "camera")
        S.Turn = TBatchTurn::Camera;
      else if (V == "90")
        S.Turn = TBatchTurn::Right;
      else if (V == "180")
        S.Turn = TBatchTurn::Turn180;
      else if (V == "270")
        S.Turn = TBatchTurn::Left;
      else
        throw std::runtime_error("--turn takes none, camera, 90, 180 or 270, not \"" + V + "\"");
    } else if (Name == "--name") {
      S.NamePattern = V;
    } else if (Name == "--existing") {
      if (V == "prefix")
        S.Collision = TBatchCollision::Prefix;
      else if (V == "skip")
        S.Collision = TBatchCollision::Skip;
      else if (V == "overwrite")
        S.Collision = TBatchCollision::Overwrite;
      else
        throw std::runtime_error("--existing takes prefix, skip or overwrite, not \"" + V + "\"");
    }
  }
  if (S.Folder.empty()) throw std::runtime_error("batch needs --into FOLDER");
  if (P.Files.empty()) throw std::runtime_error("batch needs at least one FILE");
  if (Resizes > 1) throw std::runtime_error("--longest, --percent and --box exclude each other");
  std::string Why;
  if (!CheckBatchSettings(S, Why)) throw std::runtime_error(Why);
  for (const std::string& F : P.Files)
    PrepareToRead(F);

  const TBatchReport R = RunBatch(P.Files, S);
  for (const TBatchItem& It : R.Items) {
    if (!It.Error.empty())
      std::fprintf(stderr, "%s: %s\n", It.Source.c_str(), It.Error.c_str());
    else if (It.Skipped)
      std::fprintf(stderr, "%s: skipped (its name is taken)\n", It.Source.c_str());
    else
      std::printf("%s\n", It.Destination.c_str());
  }
  std::fprintf(stderr, "%d converted, %d skipped, %d failed\n", R.Converted, R.Skipped, R.Failed);
  return R.Failed ? 1 : 0;
}

} // namespace orbisk
