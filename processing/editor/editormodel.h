// The image editor without its window: the undo and redo history, running an operation on the
// current picture with the editor's rules, the progress gauge's pace, the zoom-click rule and the
// texts the editor's dialogs and messages use.
#pragma once

#include "engine/pixelgraphic.h"

#include <QString>

#include <any>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

namespace orbisk {

// ---- texts

inline constexpr const char* kEditorCaption = "Orbisk Image Editor";
inline constexpr const char* kUndoCaption = "Undo";
inline constexpr const char* kRedoCaption = "Redo";
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
  // What the window keeps with a picture besides its pixels (its file name, ...): SaveState is
  // called when the current state goes into the history, RestoreState when a state from the
  // history becomes the current one (after TakePicture). Unset: nothing is kept.
  std::function<std::any()> SaveState;
  std::function<void(std::any& State)> RestoreState;
};

// How much history the editor keeps: steps to undo, and bytes of pixels over all kept pictures.
inline constexpr int kUndoSteps = 20;
inline constexpr int64_t kUndoBytes = int64_t(1) << 30;

class TEditorModel {
public:
  explicit TEditorModel(TEditorPictureHost Host);

  // A picture with pixels: operations, saving and printing need one.
  bool HasPicture() const;
  TPixelGraphic* Picture() const { return FHost.Picture ? FHost.Picture() : nullptr; }

  // ---- undo and redo
  // Each step keeps one copy of the picture as it was before it (undo) or after it (redo). At
  // most kUndoSteps steps are kept, and at most kUndoBytes of pixels over all of them: the oldest
  // go first. The nearest step is always kept, however large, so that the last change can be
  // undone as ever.
  bool CanUndo() const { return !FUndo.empty(); }
  bool CanRedo() const { return !FRedo.empty(); }
  // "Undo" or "Undo " + the action name of the step Undo takes back.
  QString UndoCaption() const;
  // "Redo" or "Redo " + the action name of the step Redo makes again.
  QString RedoCaption() const;
  // The picture Undo gives back (nullptr: none).
  const TPixelGraphic* Snapshot() const {
    return FUndo.empty() ? nullptr : FUndo.back().Picture.get();
  }
  // A copy of the current picture becomes the newest undo step; the redo steps are dropped.
  // Replaces: the step makes another picture the current one (a file opened over it), whose
  // saving does not concern the copy.
  void TakeSnapshot(const QString& ActionName, bool Replaces = false);
  void ClearUndo();
  // The newest undo step's picture becomes the current one (no copy of it); the current picture
  // goes to the redo steps. False when there is none.
  bool Undo();
  // The reverse: the nearest redo step's picture becomes the current one.
  bool Redo();
  // How many snapshots were taken (each one copy of the picture).
  int SnapshotCount() const { return FSnapshotCount; }
  int UndoCount() const { return int(FUndo.size()); }
  int RedoCount() const { return int(FRedo.size()); }
  // Bytes of pixels kept for undo and redo.
  int64_t HistoryBytes() const;
  // Other bounds than kUndoSteps and kUndoBytes (at least one step).
  void SetHistoryLimits(int Steps, int64_t Bytes);

  // ---- changes since the picture was opened or saved
  // True after an operation changed the picture; Undo and Redo give back the flag of the state.
  bool Modified() const { return FModified; }
  // A new picture (false: as in its file; true: never saved, a capture or a scan).
  void SetModified(bool Modified) { FModified = Modified; }
  // The picture was written to its file: it is unchanged, and every other state of the same
  // picture in the history now differs from the file. States of pictures it replaced (their own
  // files still hold them) keep their flags. SameDocument, when set, sees the kept state of each
  // of those states of the same picture (to give them the name it was saved under).
  void Saved(const std::function<void(std::any& State)>& SameDocument = {});

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
  struct TStep {
    std::unique_ptr<TPixelGraphic> Picture;
    QString Action;
    bool Modified = false;
    // The step put another picture in place of the one before it.
    bool Replaces = false;
    std::any State;
  };
  TStep CurrentStep(const QString& Action, bool Replaces);
  void Restore(TStep& Step);
  // Drops the oldest steps beyond the bounds, keeping the nearest one of Nearest.
  void Trim(const std::deque<TStep>& Nearest);

  TEditorPictureHost FHost;
  std::deque<TStep> FUndo, FRedo; // back(): the nearest step
  int FSnapshotCount = 0;
  int FSteps = kUndoSteps;
  int64_t FBytes = kUndoBytes;
  bool FModified = false;
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
