// "Radial Adjustment (Barrel Distortion)": the picture and its corrected result side by side,
// four coefficients kept in the settings, "Apply" computes the result with a gauge.
#pragma once

#include "engine/pixelgraphic.h"

#include <QDialog>

#include <functional>
#include <memory>

class QComboBox;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;

namespace orbisk {

class TPGImage;

class TfrmBarrel : public QDialog {
  Q_OBJECT
public:
  // Loads "RAOuter", "RAMiddle", "RAInner" and "RAScaling".
  explicit TfrmBarrel(QWidget* Parent = nullptr);
  // Writes the four fields back.
  ~TfrmBarrel() override;

  // The "Original" view takes Picture; the "Adjusted" view is emptied.
  void Setup(std::unique_ptr<TPixelGraphic> Picture);
  // "Apply": "Invalid values entered!" when a field is not a number; else the result.
  void ApplyButtonClick();
  // Whether "Apply" made a result since Setup.
  bool HasResult() const;
  // Hands the result over and empties the "Adjusted" view.
  std::unique_ptr<TPixelGraphic> TakeResult();
  // A file dropped on the "Original" view (the editor's rules and message).
  void DropFile(const QMimeData* Data);

  std::function<void(int Topic)> OnHelp;

private:
  TPGImage *OriginalView, *AdjustedView;
  QComboBox* ViewBox; // "Original Size", "Shrink to fit"
  QLineEdit *OuterEdit, *MiddleEdit, *InnerEdit, *ScalingEdit;
  QPushButton *ApplyButton, *OkButton, *CancelButton, *HelpButton;
  QProgressBar* Gauge;
  void ViewChange();
};

} // namespace orbisk
