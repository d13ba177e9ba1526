// The thumbnail disk cache shared with the desktop: $XDG_CACHE_HOME/thumbnails (default
// ~/.cache/thumbnails) with the folders normal (pictures within 128 x 128), large (256),
// x-large (512) and xx-large (1024) of PNG files named by the MD5 of the file's URI, whichever
// program made them, valid while their Thumb::URI, Thumb::MTime and (when present) Thumb::Size
// match the file. Orbisk writes normal and large pictures for the files it decodes and a
// fail/orbisk-<version>/ entry for those it cannot read. Safe to use from several threads.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orbisk {

// The file a cell is made from, as the cache knows it.
struct TThumbSource {
  std::string Path; // absolute, as given (symbolic links are not resolved)
  std::string Uri;  // file:// and the path, escaped as the desktop does
  std::string Hash; // MD5 of Uri, 32 lower-case hexadecimal digits
  int64_t MTime = 0, Size = 0;
};

// A picture found in the cache, and the full (upright) size of the picture it was made from:
// Thumb::Image::Width/Height when stored, otherwise the picture's own size.
struct TCachedPicture {
  std::unique_ptr<TPixelGraphic> Picture;
  int FullWidth = 0, FullHeight = 0;
  std::string File; // the cache file it came from
};

// The boxes of the cache folders, smallest first.
struct TThumbCacheFolder {
  const char* Name;
  int Box;
};
inline constexpr TThumbCacheFolder kThumbCacheFolders[] = {
    {"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};
// The folders Orbisk writes (the first two).
inline constexpr int kThumbCacheWritten = 2;

// "file://" and the absolute path with every byte outside A-Z a-z 0-9 and !$&'()*+,-./:=@_~
// written as %XX (upper-case hexadecimal).
std::string ThumbFileUri(const std::string& AbsolutePath);
// 32 lower-case hexadecimal digits.
std::string ThumbMd5Hex(const std::string& Text);

// The tEXt (and uncompressed iTXt) keys of PNG data, and whether the data is a PNG at all.
bool ReadPngTextKeys(const uint8_t* Data, size_t Size, std::map<std::string, std::string>& Keys);
// An 8-bit RGBA PNG of the picture's colours (alpha 255) with the text keys as tEXt chunks.
std::vector<uint8_t> EncodeThumbPng(const TPixelGraphic& Picture,
                                    const std::vector<std::pair<std::string, std::string>>& Keys);

class TThumbCache {
public:
  // The cache under Root (the "thumbnails" folder itself); nothing is created until a write.
  explicit TThumbCache(std::string Root);
  // $XDG_CACHE_HOME/thumbnails, or $HOME/.cache/thumbnails when it is unset or not absolute.
  static std::string DefaultRoot();
  const std::string& Root() const { return FRoot; }
  // The fail folder's name: fail/orbisk-<version>.
  static std::string FailFolder();

  // Fills Out for a regular file outside the cache folder; false for anything else (missing
  // files, folders, files inside the cache), which is then neither read from nor written to the
  // cache.
  bool Describe(const std::string& Path, TThumbSource& Out) const;
  // The smallest valid cached picture that covers a cell of side S: its longer side at least S,
  // or the whole picture. Stale and foreign entries are passed over.
  bool Find(const TThumbSource& Source, int S, TCachedPicture& Out) const;
  // True when a valid fail entry says the file could not be read at its current time.
  bool Failed(const TThumbSource& Source) const;

  // Writes the normal and large pictures that Decoded covers: Decoded is the upright picture as
  // read (maybe reduced), FullWidth x FullHeight the upright size of the whole picture. A box the
  // whole picture fits in takes the whole picture only when Decoded is not reduced; a larger one
  // takes Decoded scaled down when Decoded is at least the box's size. Errors are swallowed (the
  // cache is a help, never a condition).
  void Store(const TThumbSource& Source, const TPixelGraphic& Decoded, int FullWidth,
             int FullHeight) const;
  // Writes the fail entry of a file that could not be read.
  void StoreFailure(const TThumbSource& Source) const;

  // The cache file of the source in a folder ("normal", "large", FailFolder(), ...).
  std::string FileOf(const std::string& Folder, const TThumbSource& Source) const;

private:
  bool ValidKeys(const std::map<std::string, std::string>& Keys, const TThumbSource& S) const;
  void Write(const std::string& Folder, const TThumbSource& Source,
             const std::vector<uint8_t>& Png) const;

  std::string FRoot;
  std::string FCanonicalRoot;
};

} // namespace orbisk
