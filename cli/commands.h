// The sub-commands of orbisk-cli.
#pragma once

#include <string>
#include <vector>

namespace orbisk {

int RunInfoCommand(const std::vector<std::string>& Args);
int RunConvertCommand(const std::vector<std::string>& Args);
// The picture converter's conversion: "convert IN --to TYPE ...".
bool WantsConvertTo(const std::vector<std::string>& Args);
int RunConvertToCommand(const std::vector<std::string>& Args);
int RunExif(const std::vector<std::string>& Args);
int RunThumbnailsCommand(const std::vector<std::string>& Args);
int RunSheetCommand(const std::vector<std::string>& Args);
// album-pdf ALBUM.alb OUT.pdf: an album printed to PDF with the stored album preferences.
int RunAlbumPdf(const std::vector<std::string>& Args);
// web-album ALBUM.alb FOLDER: the web album the publishing wizard writes.
int RunWebAlbumCommand(const std::vector<std::string>& Args);
// scan --list | scan OUT [--device NAME] [--mode Color|Gray|Lineart] [--resolution DPI]
int RunScanCommand(const std::vector<std::string>& Args);
// jpegturn IN OUT 90|180|270|h|v [--trim|--perfect]: the lossless JPEG turn.
int RunJPEGTurnCommand(const std::vector<std::string>& Args);
// Makes ready what reading Path needs (metafiles are played back through Qt). The Qt
// application it may start belongs to the TReadSupport that main holds.
void PrepareToRead(const std::string& Path);

// Owns what PrepareToRead starts (the offscreen QGuiApplication and the metafile player), so that
// it ends inside main, before the exit handlers tear down Qt's own globals.
class TReadSupport {
public:
  TReadSupport();
  ~TReadSupport();
  TReadSupport(const TReadSupport&) = delete;
  TReadSupport& operator=(const TReadSupport&) = delete;
};
// Help text of the format options that convert accepts.
std::string FormatOptionsHelp();

// Splits words into options and file names. An option that takes a value uses the next word
// (or "--name=value"). Throws std::runtime_error for an unknown option or a missing value.
struct ParsedArgs {
  std::vector<std::string> Files;
  std::vector<std::pair<std::string, std::string>> Options; // in command-line order
};
ParsedArgs ParseArgs(const std::vector<std::string>& Args, const std::vector<std::string>& Flags,
                     const std::vector<std::string>& Valued);
// The whole number an option's value S gives, from Lo to Hi; throws std::runtime_error naming the
// option otherwise.
long WholeNumber(const std::string& Name, const std::string& S, long Lo, long Hi);

} // namespace orbisk
