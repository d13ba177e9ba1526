// The album preferences: page layout and caption settings used when an album is printed and,
// in part, when it is published. Kept in the settings store; the "Frame Setup" dialog edits
// them, the album window and the web album wizard read and set them.
#pragma once

#include <QObject>
#include <QString>

namespace orbisk {

class TSettingsStore;

enum TCaptionOption : int {
  coNone = 0,
  coFilename,
  coCaption,
  coDateTime,
  coFilenameDateTime,
  coCustom
};
enum TBorderEffect : int {
  beNone = 0,
  beDropShadow,
  beSoftRectangle,
  beSoftEllipse,
  beWhiteBorder,
  beBevel
};
enum TResizingQuality : int { rqGood = 0, rqBetter, rqBest };
enum TCaptionPlacement : int { cpUnderImage = 0, cpEmbedded };
enum TEmbeddedPosition : int {
  epTopLeft = 0,
  epBottomLeft,
  epTopCenter,
  epBottomCenter,
  epTopRight,
  epBottomRight
};

inline constexpr const char* kPrefsReadError =
    "Error reading register values for Folvana configuration";

// The values and their control ranges. Setters limit values to the ranges (so a stored 0 or 9
// for the columns becomes 1 or 6). The Change... operations are what a user's change does: they
// apply the rules that tie the border to the caption kind and placement.
class TAlbumPrefs : public QObject {
  Q_OBJECT
public:
  TAlbumPrefs() = default;

  static constexpr int kMinRowsCols = 1, kMaxRowsCols = 6;
  static constexpr int kMinBorder = 10, kMaxBorder = 500, kBorderStep = 10;

  int Cols() const { return FCols; }
  int Rows() const { return FRows; }
  int Border() const { return FBorder; }
  TCaptionOption CaptionOption() const { return FCaptionOption; }
  TBorderEffect BorderEffect() const { return FBorderEffect; }
  TResizingQuality Quality() const { return FQuality; }
  TCaptionPlacement CaptionPlacement() const { return FPlacement; }
  bool PrintFrames() const { return FPrintFrames; }
  TEmbeddedPosition EmbeddedPosition() const { return FEmbeddedPosition; }
  bool TransparentBackground() const { return FTransparent; }
  int CaptionColor() const { return FCaptionColor; } // red in the low byte
  QString CustomCaption;                             // not stored

  int ImagesPerSheet() const { return FCols * FRows; }
  // "Embedded Position" can be chosen only while captions are embedded.
  bool EmbeddedPositionEnabled() const { return FPlacement == cpEmbedded; }

  // Direct settings (opening an album, "Contact Sheet", the web wizard): no rules applied.
  void SetCols(int V);
  void SetRows(int V);
  void SetBorder(int V);
  void SetCaptionOption(int V);
  void SetBorderEffect(int V);
  void SetQuality(int V);
  void SetCaptionPlacement(int V);
  void SetPrintFrames(bool V);
  void SetEmbeddedPosition(int V);
  void SetTransparentBackground(bool V);
  void SetCaptionColor(int V);

  // A user's change of the caption option: a caption under the image needs a border of at least
  // 100; no caption shrinks a border above 20 to 20.
  void ChangeCaptionOption(int V);
  // A user's change of the placement: under the image with a caption needs a border of at least
  // 100; embedded captions shrink a border above 10 to 10.
  void ChangeCaptionPlacement(int V);

  // Reads every stored value (absent ones take their defaults). A stored value that is not a
  // number stops the reading: the values before it are applied, the rest keep their state, and
  // the result is false (the caller shows kPrefsReadError).
  bool Load(const TSettingsStore& Store);
  // Writes the values in the store's order: "PACols", "PARows", "PABorder", "PACaption",
  // "PAQuality", "BorderEffect", "PAFrames", "CaptionPlacement", "TransparentBackground",
  // "CaptionColor", "EmbeddedPosition".
  void Save(TSettingsStore& Store) const;

signals:
  // After every change of a value.
  void OnChange();
  // The caption option changed (the web wizard follows it).
  void OnCaptionOptionChanged(int Option);

private:
  void Changed();
  int FCols = 2, FRows = 3, FBorder = 100;
  TCaptionOption FCaptionOption = coNone;
  TBorderEffect FBorderEffect = beNone;
  TResizingQuality FQuality = rqBetter;
  TCaptionPlacement FPlacement = cpUnderImage;
  bool FPrintFrames = false;
  TEmbeddedPosition FEmbeddedPosition = epBottomCenter;
  bool FTransparent = false;
  int FCaptionColor = 0;
};

} // namespace orbisk
