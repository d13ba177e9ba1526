// Thumbnail cells: the fitting and placing rule, the question-mark placeholder, the cell of one
// file and the names of saved thumbnails. No windows here: the explorer, its loader and
// orbisk-cli share it.
#pragma once

#include "engine/pixelgraphic.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace orbisk {

// The explorer's list background, also the background of every cell.
constexpr TRGB kThumbBackground = RGBOf(254, 255, 230);
// Cell size of the explorer's grid.
constexpr int kThumbCellSize = 64;
// Side of the placeholder picture.
constexpr int kPlaceholderSide = 80;

struct TSize2 {
  int Width = 0, Height = 0;
  bool operator==(const TSize2&) const = default;
};

// Size of a W x H picture in an S x S cell: no enlargement when both sides are below S,
// otherwise the longer side becomes S and the other Trunc(side ratio x S). A side that would
// truncate to 0 becomes 1.
TSize2 FitThumbnail(int W, int H, int S);
// Left edge of a picture of width Scaled centred across an S-wide cell (the top edge is 0).
inline int ThumbLeft(int S, int Scaled) {
  return (S - Scaled) / 2;
}

// The placeholder (80 x 80, 24 bits) compiled into the program; nullptr when the resource cannot
// be read. Loaded once, then shared read-only by every thread.
const TPixelGraphic* Placeholder();

class TThumbCache;

struct TThumbCellOptions {
  TThumbCellOptions(int CellSize = kThumbCellSize, bool FastWay = true)
      : Size(CellSize), Fast(FastWay) {}
  int Size = kThumbCellSize;
  // The explorer's grid: fast integer DCT with DCT scaling for JPEG files, reduced decoding
  // where other readers offer it, nearest-pixel stretching, reader warnings ignored, and the
  // placeholder for unreadable files. Off: the saving rule (engine defaults, full decoding,
  // smooth stretching, failures raised).
  bool Fast = true;
  // With Fast: the disk cache read before decoding and written after it (none: neither). Used
  // only while pictures are turned by their camera orientation, as the cache's pictures are.
  std::shared_ptr<const TThumbCache> Cache;
};

enum class TCellSource { csPicture, csPlaceholder, csEmpty };

struct TThumbCell {
  // Size x Size, 24 bits, the picture placed on the background; never null.
  std::unique_ptr<TPixelGraphic> Picture;
  TCellSource Source = TCellSource::csPicture;
  // Made from a picture of the disk cache (csPicture) or from its fail entry (csPlaceholder)
  // instead of the file.
  bool FromCache = false;
  // Why the file gave no picture (empty for csPicture).
  std::string Error;
  // "Could not load bitmap for " / "could not load resource to bitmap" when even the placeholder
  // failed (the cell is then empty).
  std::string PlaceholderError;
};

// Loads the file (an encoded path) the way Options says and fits it into its cell. With Fast the
// result is always a cell (placeholder, or an empty cell) and nothing is raised; without it a
// file that cannot be read raises. Cancel, when given and set, stops the decoding early (the cell
// is then incomplete and must be dropped).
TThumbCell MakeThumbCell(const std::string& Path, const TThumbCellOptions& Options,
                         const std::atomic<bool>* Cancel = nullptr);
// Fits a loaded picture into a new cell.
std::unique_ptr<TPixelGraphic> PlaceInCell(const TPixelGraphic& Loaded, int S, TStretchMode Mode);
// The same with the fit taken from the whole picture's (upright) size FullW x FullH, for a
// picture decoded reduced or taken from the cache: the cell then has the geometry of a cell made
// from the whole picture. Nearest-pixel stretching.
std::unique_ptr<TPixelGraphic> PlaceInCellAsFull(const TPixelGraphic& Loaded, int FullW, int FullH,
                                                 int S);

// ---- saved thumbnails

// "BMP - bitmap", "JPG - jpeg (jfif compliant)", ... in the dialog's order.
inline constexpr const char* kThumbFormats[5] = {
    "BMP - bitmap", "JPG - jpeg (jfif compliant)", "TIF - Tagged Image File Format",
    "PNG - Portable Network Graphics", "TGA - Truevision Targa"};
inline constexpr const char* kThumbSizes[4] = {"64 X 64", "80 X 80", "96 X 96", "128 X 128"};
// The cell size of a size text: the number before its first blank.
int ThumbSizeOfText(const std::string& Text);
// The extension of a format text: its first three letters in lower case.
std::string ThumbExtensionOfFormat(const std::string& FormatText);
// Prefix, the file name up to and including its first ".", then the extension letters
// ("thm_" + "IMG_0001.JPG" + "jpg" gives "thm_IMG_0001.jpg"; a name without a dot gives the
// prefix and the letters only).
std::string ThumbnailFileName(const std::string& Prefix, const std::string& FileName,
                              const std::string& Ext);

// The same name split for numbering within a run: Stem + DotExt is ThumbnailFileName's result,
// DotExt the "." and the letters ("" for a name without a dot, whose letters end the stem).
struct TThumbNameParts {
  std::string Stem, DotExt;
};
TThumbNameParts ThumbnailNameParts(const std::string& Prefix, const std::string& FileName,
                                   const std::string& Ext);

// The source files of a run, known by device and inode, so that no thumbnail or sheet ever
// replaces one of them, whatever path names it.
class TSourceFiles {
public:
  explicit TSourceFiles(const std::vector<std::string>& Paths);
  // True when Path is one of the files (false when it does not exist).
  bool Contains(const std::string& Path) const;

private:
  std::set<std::pair<uint64_t, uint64_t>> FIds;
};

// Saves a cell as Target with the writer of Ext (lower case, no dot; the name need not end in it,
// so a name without a dot still gets its format), through a temporary file renamed over the
// target. A target that is one of Sources is refused (EPGStreamError), as is a read-only one.
void SaveThumbnail(TPixelGraphic& Cell, const std::string& Target, const std::string& Ext,
                   const TSourceFiles& Sources);

} // namespace orbisk
