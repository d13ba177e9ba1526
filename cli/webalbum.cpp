// orbisk-cli web-album: publishes an album file as web pages, the files the publishing wizard
// writes. Columns, rows, frames and the caption kind come from the album file unless given.
#include "cli/commands.h"
#include "platform/filenames.h"

#include "albums/albumdoc.h"
#include "albums/webalbum.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

namespace orbisk {

namespace {

int Number(const std::string& Name, const std::string& Value, int Lo, int Hi, int Step) {
  char* End = nullptr;
  const long V = std::strtol(Value.c_str(), &End, 10);
  if (Value.empty() || *End || V < Lo || V > Hi || (V - Lo) % Step != 0)
    throw std::runtime_error("web-album: " + Name + " must be a number from " + std::to_string(Lo) +
                             " to " + std::to_string(Hi) +
                             (Step > 1 ? " in steps of " + std::to_string(Step) : ""));
  return int(V);
}

QString Text(const std::string& S) {
  return QString::fromUtf8(S.data(), qsizetype(S.size()));
}

} // namespace

int RunWebAlbumCommand(const std::vector<std::string>& Args) {
  ParsedArgs P = ParseArgs(Args,
                           {"--frames", "--no-frames", "--no-sharpen", "--no-progressive",
                            "--overwrite", "--keep-metadata"},
                           {"--page-name", "--cols", "--rows", "--thumb", "--max", "--quality",
                            "--title", "--header", "--footer", "--caption", "--sharpen"});
  if (P.Files.size() != 2)
    throw std::runtime_error("web-album: give the album file and the folder to publish into");
  const QString AlbumPath = DecodeFileName(QByteArray::fromStdString(P.Files[0]));
  TAlbumContent Album = OpenAlbum(AlbumPath); // EAlbumFile names the file
  if (Album.Truncated)
    std::cerr << TruncatedAlbumText(AlbumPath, int(Album.Entries.size())).toStdString() << "\n";
  if (Album.CaptionsCut) std::cerr << kCaptionsCut << "\n";

  TWebAlbumOptions O;
  O.WebFolder = DecodeFileName(QByteArray::fromStdString(P.Files[1]));
  O.Cols = Album.Settings.Cols;
  O.Rows = Album.Settings.Rows;
  O.ShowFrames = Album.Settings.PrintFrames;
  O.Caption = WebCaptionOf(Album.Settings.CaptionOption);
  using W = TWebAlbumOptions;
  for (const auto& [Name, Value] : P.Options) {
    if (Name == "--page-name")
      O.PageName = Text(Value);
    else if (Name == "--cols")
      O.Cols = Number(Name, Value, 1, W::kMaxRowsCols, 1);
    else if (Name == "--rows")
      O.Rows = Number(Name, Value, 1, W::kMaxRowsCols, 1);
    else if (Name == "--thumb")
      O.ThumbnailSize = Number(Name, Value, W::kMinThumb, W::kMaxThumb, W::kThumbStep);
    else if (Name == "--max")
      O.MaxSize = Number(Name, Value, W::kMinMax, W::kMaxMax, W::kMaxStep);
    else if (Name == "--quality")
      O.Quality = Number(Name, Value, W::kMinQuality, W::kMaxQuality, 1);
    else if (Name == "--sharpen")
      O.SharpeningAmount = Number(Name, Value, W::kMinSharpen, W::kMaxSharpen, 1);
    else if (Name == "--title")
      O.Title = Text(Value);
    else if (Name == "--header")
      O.Header = Text(Value);
    else if (Name == "--footer")
      O.Footer = Text(Value);
    else if (Name == "--frames")
      O.ShowFrames = true;
    else if (Name == "--no-frames")
      O.ShowFrames = false;
    else if (Name == "--no-sharpen")
      O.AutoSharpen = false;
    else if (Name == "--no-progressive")
      O.Progressive = false;
    else if (Name == "--overwrite")
      O.ReplaceExisting = true;
    else if (Name == "--keep-metadata")
      O.RemoveMetadata = false;
    else if (Name == "--caption") {
      if (Value == "none")
        O.Caption = wcNone;
      else if (Value == "filename")
        O.Caption = wcFilename;
      else if (Value == "caption")
        O.Caption = wcCaption;
      else
        throw std::runtime_error("web-album: --caption must be none, filename or caption");
    }
  }
  if (const QString Why = LayoutProblem(O.Cols, O.Rows); !Why.isEmpty())
    throw std::runtime_error("web-album: " + Why.toStdString());
  if (const QString Why = PageNameProblem(O.PageName); !Why.isEmpty())
    throw std::runtime_error("web-album: " + Why.toStdString());
  if (Album.Entries.empty()) throw std::runtime_error(kNoAlbumImages);
  for (const AlbumEntry& E : Album.Entries)
    PrepareToRead(EnginePath(E.FileName));
  if (!MakeWebFolder(O.WebFolder))
    throw std::runtime_error((kCannotCreateFolder + O.WebFolder).toStdString());

  TWebPublishHooks Hooks;
  Hooks.OnMessage = [](const QString& Message) { std::cerr << Message.toStdString() << "\n"; };
  const TWebPublishResult R = PublishWebAlbum(Album.Entries, O, Hooks);
  for (const QString& Page : R.Pages)
    std::cout << EncodeFileName(Page).toStdString() << "\n";
  // Files of the run's names that were there before are never replaced without --overwrite.
  for (const QString& Path : R.Skipped)
    std::cout << "Skipped " << EncodeFileName(Path).toStdString()
              << ": a file of that name was already there (--overwrite replaces it)\n";
  std::cerr << WebPublishSummary(R, int(Album.Entries.size())).toStdString() << "\n";
  return R.Errors == 0 && R.Skipped.isEmpty() ? 0 : 1;
}

} // namespace orbisk
