// The image editor without its window: the one-level undo, running an operation on the current
// picture with the editor's rules, the progress gauge's pace, the zoom-click rule and the texts
// the editor's dialogs and messages use.
#pragma once

#include "engine/pixelgraphic.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace orbisk {

// ---- texts

inline constexpr const char* kEditorCaption = "Orbisk Image Editor";
inline constexpr const char* kUndoCaption = "Undo";
inline constexpr const char* kNeedSelection = "You need to select an area first";
inline constexpr const char* kNeedEyeSelection = "Select an eye area first";
inline constexpr const char* kCantEdit = "Can't edit ";
inline constexpr const char* kCanNotEdit = "Can not edit ";
inline constexpr const char* kInvalidValues = "Invalid values entered!";
inline constexpr const char* kRadialNotApplied =
    "You did not Apply a radial adjustment. Reopen and click \"Apply\" before clicking \"OK\"";
inline constexpr const char* kGIFColorsMessage =
    "GIF images can only have 256 colors. I will optimize the colors...";
inline constexpr const char* kGIFErrorPrefix = "Error exporting GIF  (code ";
inline constexpr const char* kSaveChangesTo = "Save changes to %1?";
inline constexpr const char* kUntitled = "Untitled";
inline constexpr const char* kScreenCaptureFailed =
    "The screen could not be captured: the desktop does not let this program read the screen.";

// The "Open..." and "Save As..." filters.
QString EditorOpenFilter();
QString EditorSaveFilter();

// Whether the editor takes a file as a picture: its extension, upper-cased with its dot, is one
// of ".JPG.GIF.BMP.ICO.TIF.PNG.PCX.TGA.WMF", another name of those types (JPEG, JPE, JIF, JFIF,
// TIFF), or the extension of any reader the engine has (PxM, DIB, RLE, EMF, WebP, ...).

bool IsEditablePicture(const QString& Path);

// ---- undo and operations

// What the editor needs from its picture view.
struct TEditorPictureHost {
  // The current picture (nullptr: none); background work on it is stopped first.
  std::function<TPixelGraphic*()> Picture;
  // Makes G the current picture (the view takes ownership; nullptr: no picture).
  std::function<void(std::unique_ptr<TPixelGraphic> G)> TakePicture;
  // The current picture was changed in place.
  std::function<void()> Changed;
};

class TEditorModel {
public:
  explicit TEditorModel(TEditorPictureHost Host);

  // A picture with pixels: operations, saving and printing need one.
  bool HasPicture() const;
  TPixelGraphic* Picture() const { return FHost.Picture ? FHost.Picture() : nullptr; }

  // ---- undo
  bool CanUndo() const { return FSnapshot != nullptr; }
  // "Undo" or "Undo " + the action name.
  QString UndoCaption() const;
  const TPixelGraphic* Snapshot() const { return FSnapshot.get(); }
  // One copy of the current picture replaces any earlier snapshot.
  void TakeSnapshot(const QString& ActionName);
  void ClearUndo();
  // The snapshot becomes the current picture (no copy); false when there is none.
  bool Undo();
  // How many snapshots were taken (each one copy of the picture).
  int SnapshotCount() const { return FSnapshotCount; }

  // ---- changes since the picture was opened or saved
  // True after an operation changed the picture; Undo gives back the flag of the snapshot.
  bool Modified() const { return FModified; }
  // A new picture (false: as in its file; true: never saved, a capture or a scan).
  void SetModified(bool Modified) { FModified = Modified; }
  // The picture was written to its file: it is unchanged, and a snapshot of an earlier state
  // differs from the file. OtherPicture: the snapshot is a picture this one replaced (its own
  // file, if any, still holds it), whose flag stays.
  void Saved(bool OtherPicture = false);

  // ---- operations
  using TChange = std::function<void(TPixelGraphic& Picture)>;
  // Makes the new picture from the old one; Progress is for the new picture's OnProgress.
  using TMake = std::function<std::unique_ptr<TPixelGraphic>(
      const TPixelGraphic& Old, const TPixelGraphic::TProgressEvent& Progress)>;

  // Without a picture (or with an empty one) nothing happens and false is returned. Otherwise
  // the snapshot is taken, then Change runs on the current picture. An exception is returned
  // in Error (the snapshot stays, so Undo gives the picture back) and gives false.
  bool RunOperation(const QString& ActionName, const TChange& Change, QString* Error = nullptr);
  // The same for an operation that makes a new picture, which then replaces the current one
  // (a nullptr result leaves the picture as it is).
  bool RunReplacement(const QString& ActionName, const TMake& Make, QString* Error = nullptr);

  // Progress events of new pictures go here (the window's gauge).
  TPixelGraphic::TProgressEvent OnProgress;

private:
  TEditorPictureHost FHost;
  std::unique_ptr<TPixelGraphic> FSnapshot;
  QString FUndoAction;
  int FSnapshotCount = 0;
  bool FModified = false, FSnapshotModified = false;
};

// ---- progress gauge

// The gauge is updated at most every 200 ms: Start() when a run begins; Pass(i, n, now) is true
// (with Percent = i * 100 div n) when the row notification should be shown.
class TProgressPace {
public:
  static constexpr int64_t kIntervalMs = 200;
  void Start() { FLast = 0; }
  bool Pass(int Row, int LastRow, int64_t NowMs, int& Percent);

private:
  int64_t FLast = 0;
};

// ---- zooming by clicks

// The zoom factor after a click in zoom mode: a right click zooms out by 0.2 unless the factor
// is at most 0.3, any other click zooms in by 0.2 unless it is at least 3.0. Factors that are
// not positive numbers (an unknown fitted scale) start from 1.0; the result is always positive.
long double ZoomClickFactor(long double Factor, bool RightButton);
// The scroll position that brings the clicked point near the middle: the clicked coordinate in
// the new zoom (ClickAt / Old truncated, times New truncated) minus (Extent - 21) div 2.
int ZoomScrollPosition(int ClickAt, long double OldFactor, long double NewFactor, int Extent);

// ---- screen capture

// The depth of the captured picture for a screen of ScreenBits bits per pixel: 4, 8 or 24.
int CaptureBitCount(int ScreenBits);

} // namespace orbisk
