// orbisk-cli: the engine and tools without windows.
#include "cli/commands.h"

#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "platform/autoorient.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

using namespace orbisk;

namespace orbisk {
int RunBatchCommand(const std::vector<std::string>& Args);  // cli/batch.cpp
int RunSearchCommand(const std::vector<std::string>& Args); // cli/search.cpp
} // namespace orbisk

namespace {

const char* kUsage = R"(Usage: orbisk-cli COMMAND [OPTIONS] FILE...

Commands:
  info FILE...            Print the file information of each picture: Type, SubType, Options,
                          Width, Height, Colors, BitsPerPixel, GraphicCount.
  convert IN OUT [OPTIONS]
                          Load IN, apply the operations, and save it as OUT; the writer is
                          chosen by OUT's extension (see the options below).
  convert IN --to bmp|jpg|tif|png|tga|gif|webp|avif [--size WxH] [--no-sharpen] [--quality N]
          [--interlace] [--transparent RRGGBB] [--overwrite | --keep-existing]
                          The picture converter's conversion: writes IN next to itself as the
                          name up to its first "." plus the type's extension, and prints that
                          name. --size gives the displayed size (sharpened unless
                          --no-sharpen); --quality 10..100 (default 100) for JPEG, WebP and
                          AVIF; GIF files get 252 optimized colours. An existing file is
                          replaced only with --overwrite; --keep-existing writes "!" + name
                          instead. IN itself is never replaced.
  exif FILE...            List the EXIF entries of each file as "name<TAB>value" rows.
      --detail            Rows as chain, directory, tag, type, count, name, value.
      --date              Print the date shown for the picture (EXIF DateTime, else the
                          file's modification time).
  thumbnails DIR FILE... [--size 64|80|96|128] [--format bmp|jpg|tif|png|tga] [--prefix thm_]
             [--overwrite] [--no-cache]
                          Save the thumbnail explorer's cells of the files into DIR, named
                          prefix + name up to its first dot + format (prefix "thm_"); names
                          that repeat get _2, _3, ... A file already there is skipped (exit
                          status 1) unless --overwrite. With --auto-orient the desktop's
                          thumbnail cache ($XDG_CACHE_HOME/thumbnails) is read and filled as
                          the explorer does; with --no-cache, or without --auto-orient, every
                          cell is made from its file and the cache is left alone.
  sheet OUT FILE... [--size S] [--cols C] [--hspace H] [--vspace V] [--title T] [--footer F]
        [--no-names] [--no-sharpen] [--no-border] [--no-shadow] [--bevel] [--background FILE]
                          Save the Tessly sheet of the files as OUT (defaults: size 96,
                          6 columns, gaps 20 and 30, names, sharpening, border and shadow).
  album-pdf ALBUM.alb OUT.pdf [--landscape] [--a4] [--resolution DPI]
                          Print an album to a PDF file with the stored album preferences
                          (letter paper at 300 dpi, 1-inch margins, unless told otherwise).
                          OUT may not be the album file or one of its pictures.
  web-album ALBUM.alb FOLDER [--page-name N] [--cols C] [--rows R] [--thumb S] [--max S]
          [--quality Q] [--title T] [--header H] [--footer F] [--caption none|filename|caption]
          [--frames | --no-frames] [--sharpen 40..80 | --no-sharpen] [--no-progressive]
          [--keep-metadata] [--overwrite]
                          Publish an album as web pages into FOLDER (created when missing):
                          a JPEG thumbnail (tm_NAME.jpg) and display picture (NAME.jpg) per
                          entry and the pages N.html or N_1.html, N_2.html, ... (defaults:
                          myphotos.html, thumbnails 96, largest side 2000, quality 80,
                          sharpening 60, progressive; columns, rows, frames and captions from
                          the album file). Prints the pages written. Location and camera
                          data are removed from the pictures unless --keep-metadata. A file
                          already in FOLDER is skipped and reported (exit status 1) unless
                          --overwrite.
  scan --list             List the scanners SANE finds: name, vendor, model, type (tab-separated).
  scan OUT [--device NAME] [--mode Color|Gray|Lineart] [--resolution DPI]
                          Scan one picture (from NAME, else SANE's first device, with the
                          device's own settings where none is given) and save it as OUT; the
                          writer is chosen by OUT's extension.
  jpegturn IN OUT 90|180|270|h|v [--trim|--perfect]
                          Turn a JPEG file clockwise by 90, 180 or 270 degrees, or mirror it
                          left-right (h) or top-bottom (v), on its DCT coefficients without
                          re-encoding; its EXIF orientation becomes 1. Partial MCU blocks at
                          an edge that moves are dropped (--trim, the default) or the turn is
                          refused (--perfect).
  batch FILE... --into FOLDER [--to bmp|jpg|tif|png|tga|gif|webp|webp-lossless|avif]
        [--quality N] [--longest N | --percent N | --box WxH] [--enlarge]
        [--turn none|camera|90|180|270] [--name PATTERN] [--existing prefix|skip|overwrite]
                          The "Convert and Resize" window's work: every FILE converted (JPEG
                          unless --to says otherwise, quality 1..100, default 80), resized to
                          a longest side, a percentage or into a box (smaller pictures grow
                          only with --enlarge), turned by its camera orientation (the default)
                          or clockwise by right angles (JPEG files that only turn keep their
                          data) and written into FOLDER as PATTERN + extension ("*" the
                          file's name up to its first dot, "###" its number in the list;
                          default "*"). A name already taken gets "!" in front (prefix, the
                          default), or the file is skipped, or the existing file is replaced
                          (never a source). Prints each file written; files that fail are
                          listed on stderr and make the exit status 1.
  search FOLDER [--name PATTERN] [--taken-from DAY] [--taken-to DAY] [--camera TEXT]
         [--min-width N] [--max-width N] [--min-height N] [--max-height N] [--min-bytes N]
         [--max-bytes N] [--modified-from DAY] [--modified-to DAY]
                          The file search window's walk below FOLDER: files whose name
                          matches PATTERN (wildcards * and ?, default "*") and that meet the
                          criteria (days as YYYY-MM-DD, both ends included; the date taken
                          and the camera from the EXIF data, sizes in pixels and bytes),
                          sorted as the window lists them. With criteria each line is the
                          path, a tab and the values the file matched.
  --auto-orient           With thumbnails, sheet, album-pdf and web-album: turn every picture
                          upright by its camera orientation (EXIF Orientation), as the windows
                          do with "Rotate pictures by their camera orientation" on.
  help                    Show this text (also --help, -h).

Options may stand before or after the file names. Errors are printed to stderr with the
engine's message text, and the exit status is non-zero.
)";

int Help() {
  std::fputs(kUsage, stdout);
  std::fputs(FormatOptionsHelp().c_str(), stdout);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  if (Args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string Command = Args[0];
  Args.erase(Args.begin());
  for (const auto& A : Args)
    if (A == "--help" || A == "-h") return Help();
  TReadSupport Support;
  // Pictures are used as stored unless --auto-orient asks otherwise; the window's preference
  // does not reach the command line. convert reads the option itself (it turns before its other
  // operations); for the commands that show pictures (thumbnails, sheet, album-pdf, web-album)
  // it turns every picture as the windows do with the preference on.
  SetAutoOrientPictures(false);
  if (Command != "convert") {
    const auto It = std::find(Args.begin(), Args.end(), std::string("--auto-orient"));
    if (It != Args.end() && (Command == "thumbnails" || Command == "sheet" ||
                             Command == "album-pdf" || Command == "web-album")) {
      Args.erase(It);
      SetAutoOrientPictures(true);
    }
  }
  try {
    if (Command == "help" || Command == "--help" || Command == "-h") return Help();
    if (Command == "info") return RunInfoCommand(Args);
    if (Command == "convert" && WantsConvertTo(Args)) return RunConvertToCommand(Args);
    if (Command == "convert") return RunConvertCommand(Args);
    if (Command == "exif") return RunExif(Args);
    if (Command == "thumbnails") return RunThumbnailsCommand(Args);
    if (Command == "sheet") return RunSheetCommand(Args);
    if (Command == "album-pdf") return RunAlbumPdf(Args);
    if (Command == "web-album") return RunWebAlbumCommand(Args);
    if (Command == "scan") return RunScanCommand(Args);
    if (Command == "jpegturn") return RunJPEGTurnCommand(Args);
    if (Command == "batch") return RunBatchCommand(Args);
    if (Command == "search") return RunSearchCommand(Args);
    std::cerr << "orbisk-cli: unknown command \"" << Command << "\" (see orbisk-cli --help)\n";
    return 2;
  } catch (const std::exception& E) {
    std::cerr << E.what() << "\n";
    return 1;
  }
}
