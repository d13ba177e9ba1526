// Filter dialogs: non-visual components that own one configured filter, keep the user's settings
// between uses and, on Execute, build a small modal window with up to three sliders, a check box
// or a radio pair and, for the colour filters, a live preview computed by worker threads.
#pragma once

#include "engine/pixelgraphic.h"
#include "processing/editor/filterdialogform.h"
#include "processing/filter.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QWidget;

namespace orbisk {

// How the text beside a slider shows its position.
enum TSliderValueKind : int {
  svkPercent,    // +10%, ±0%, -20%
  svkHue,        // +15°, ±0°
  svkHundredths, // position / 100 with two decimals: "0.75", "2.50"
  svkPowerOf5,   // 5^(position / 100) to hundredths: "0.20", "1.00", "5.00"
  svkStrength,   // position and "%": "50%"
};

struct TFilterSlider {
  bool Visible = false;
  int Min = 0, Max = 0, Frequency = 1;
  int Mark = 0; // marked position on the track
  int NameWidth = 0;
  QString Name;
  QString TextLeft, TextMiddle, TextRight; // under the track
  int ValueWidth = 0;
  int Position = 0;
  TSliderValueKind Kind = svkPercent;
};

// The texts an engine message table entry gives ("±", "°" included).
QString DialogText(int Message);
// The text beside a slider for its current position.
QString SliderValueText(const TFilterSlider& S);
// Contrast and gamma: value 5^(Position / 100) and back to the nearest position in -100..100.
long double PowerOf5Value(int Position);
int PowerOf5Position(long double Value);
// Size of the preview source for a W x H picture in a Box x Box preview: the picture's own size
// when it fits, else the largest size with its aspect ratio (other side rounded, at least 1).
void FittedPreviewSize(int W, int H, int Box, int& OutW, int& OutH);

// Everything the window lets the user change; Cancel restores it whole.
struct TFilterDialogState {
  std::array<TFilterSlider, 3> Sliders;
  bool CheckBox = false;
  QString CheckBoxCaption;
  bool Checked = false;
  bool RadioPair = false;
  std::array<QString, 2> RadioCaptions;
  std::array<bool, 2> RadioChecked{true, false};
  QString SectionCaption; // above the radio pair ("Apply on")
};

class TFilterDialog : public QObject {
  Q_OBJECT
public:
  explicit TFilterDialog(QObject* Owner = nullptr);
  // Closes an open window first: its preview threads are stopped and joined.
  ~TFilterDialog() override;

  // The owned filter, configured from the current settings.
  TPGFilter& Filter() { return *FFilter; }
  // A new filter object configured from the current settings (for a preview worker).
  std::unique_ptr<TPGFilter> NewConfiguredFilter() const;

  const TFilterDialogState& State() const { return FState; }
  int SliderPosition(int I) const { return FState.Sliders[size_t(I)].Position; }
  QString Title() const { return FTitle; }
  bool HasPreview() const { return FPreview; }
  // The window while Execute runs, else nullptr.
  TFilterDialogForm* Form() const { return FForm.data(); }
  // Closes an open window as Cancel does (its threads stopped and joined before this returns).
  void CloseWindow();

  // The window reports every control change: the states are stored, the filter reconfigured.
  void ControlsChanged(const TFilterDialogState& S);

  // Preview view options, handed to the preview view unchanged.
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  QColor ProgressClockBkColor;   // initially the button face colour
  QColor ProgressClockLineColor; // initially the button shadow colour
  bool ProgressClockVisible = false;

  // A factory of the filter objects (the owned one and the preview workers'); overridable so
  // that a host or a test can substitute a filter of the same family.
  virtual std::unique_ptr<TPGFilter> CreateFilter() const = 0;

protected:
  // Sets F (made by CreateFilter) from the current settings.
  virtual void ConfigureFilter(TPGFilter& F) const = 0;
  // Creates the owned filter; every concrete dialog calls it at the end of its constructor.
  void InitFilter();
  void UpdateFilter();
  // Shows the window modally; Picture (may be null) is previewed when the dialog has a preview.
  bool RunWindow(const TPixelGraphic* Picture);
  TFilterSlider& Slider(int I) { return FState.Sliders[size_t(I)]; }
  // Stores a slider position limited to its range; true when it changed (filter reconfigured).
  bool SetSliderPosition(int I, int Position);

  TFilterDialogState FState;
  QString FTitle;
  bool FPreview = false;

private:
  QWidget* OwnerWidget() const;

  std::unique_ptr<TPGFilter> FFilter;
  QPointer<TFilterDialogForm> FForm;
  TFilterDialogState FSaved;
};

} // namespace orbisk
