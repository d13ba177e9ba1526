// Helpers shared by the tests: the corpus manifest, reference decoding and comparisons.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orbisk::test {

struct ManifestEntry {
  std::string Path;                    // relative to the corpus folder
  std::string Format;                  // BMP, JPEG, PNG, ...
  std::string Category;                // valid, lenient, invalid
  std::vector<std::string> References; // relative paths
  std::string Note;
};

// The corpus folder, or "" when it is absent (tests then GTEST_SKIP, saying so).
std::string CorpusDir();
std::vector<ManifestEntry> ReadManifest();
std::vector<ManifestEntry> ManifestFor(const std::string& Format);

// 8-bit RGBA, top-left origin.
struct RGBAImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Pixels; // Width * Height * 4
  bool Opaque() const;
};

// Decodes a PNG with libpng (expanded to 8-bit RGBA); false when it cannot.
bool LoadPNGReference(const std::string& Path, RGBAImage& Out);
// The picture's colours as RGBA (alpha 255).
RGBAImage ToRGBA(const TPixelGraphic& G);
// Number of pixels whose colours differ (RGB only when Alpha is false); -1 if sizes differ.
int64_t CountDifferences(const RGBAImage& A, const RGBAImage& B, bool Alpha, int Tolerance = 0);

std::string TempPath(const std::string& Name);        // a fresh path in a per-process temp folder
std::string EmptyTempFolder(const std::string& Name); // TempPath(Name), made an empty folder
std::vector<uint8_t> ReadFileBytes(const std::string& Path);
void WriteFileBytes(const std::string& Path, const std::vector<uint8_t>& Data);
// True when the shell finds Tool on the PATH.
bool HaveTool(const std::string& Tool);
// Runs a shell command with its output dropped; true when it exits with status 0.
bool RunTool(const std::string& Command);
// Runs orbisk-cli with the arguments; returns the exit status, stdout and stderr.
int RunCli(const std::vector<std::string>& Args, std::string* Out = nullptr,
           std::string* Err = nullptr);

} // namespace orbisk::test
