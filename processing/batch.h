// Converting and resizing many pictures at once (the main window's and the explorer's
// selection, `orbisk-cli batch`): each source is read, turned, resized and written into one
// folder under a name from a pattern, with the converter's rules for names already taken.
// Sources are never written over, and one file's failure only lists it.
#pragma once

#include "engine/codecoptions.h"
#include "processing/converter.h"

#include <functional>
#include <string>
#include <vector>

namespace orbisk {

enum class TBatchResize { None, LongestSide, Percentage, FitBox };
enum class TBatchTurn { None, Camera, Right, Turn180, Left }; // Right and Left: 90 degrees
// A destination that exists already: a "!" in front of the name (again until the name is free),
// the source skipped, or the file replaced (never a source of the run).
enum class TBatchCollision { Prefix, Skip, Overwrite };

struct TBatchSettings {
  TConvertTarget Target = ctJPG;
  int JPEGQuality = 90; // also lossy WebP and AVIF
  TBatchResize Resize = TBatchResize::None;
  int LongestSide = 1024;               // LongestSide
  int Percent = 50;                     // Percentage
  int BoxWidth = 1024, BoxHeight = 768; // FitBox
  bool Enlarge = false;                 // smaller pictures grow to the size too
  TBatchTurn Turn = TBatchTurn::Camera;
  // The destination's name without extension: "*" is the source's name without extension, a
  // run of "#" the file's number in the run (from 1) with at least that many digits. Empty:
  // "*".
  std::string NamePattern;
  std::string Folder; // the destination folder (must exist)
  TBatchCollision Collision = TBatchCollision::Prefix;
  // What every source is read and every destination written with (the window passes the
  // program's current ones; JPEGQuality above replaces the writer's quality).
  TReadOptions ReadOptions;
  TWriteOptions WriteOptions;
};

struct TBatchItem {
  std::string Source, Destination; // Destination "" when nothing was written
  std::string Error;               // why the source failed
  bool Skipped = false;            // its destination existed (TBatchCollision::Skip)
  bool Lossless = false;           // a JPEG turned without decoding it
};

struct TBatchReport {
  std::vector<TBatchItem> Items; // in source order
  int Converted = 0, Skipped = 0, Failed = 0;
  bool Cancelled = false; // sources after the cancel are not in Items
};

// Whether Enlarge decides for R (a percentage enlarges or reduces as it says; no resize keeps).
inline bool BatchResizeMayEnlarge(TBatchResize R) {
  return R == TBatchResize::LongestSide || R == TBatchResize::FitBox;
}
// The size a picture of Width x Height gets (at least 1 x 1).
void BatchTargetSize(const TBatchSettings& S, int Width, int Height, int& NewWidth, int& NewHeight);
// The destination name (without folder and extension) of the source numbered Number (from 1).
std::string BatchName(const std::string& Pattern, const std::string& Source, int Number);
// Refuses settings that cannot run (no such folder, sizes out of range) with the reason.
bool CheckBatchSettings(const TBatchSettings& S, std::string& Why);

// Runs the batch on the engine's threads, several files at a time. Progress is called on the
// calling thread after each file in source order (Done files of Count); returning true cancels:
// files not yet begun are left out. Raises std::invalid_argument for unusable settings.
TBatchReport RunBatch(const std::vector<std::string>& Sources, const TBatchSettings& Settings,
                      const std::function<bool(int Done, int Count)>& Progress = {});

} // namespace orbisk
