// TFilterDialogForm: the modal window of a filter dialog, built at run time from the dialog's
// settings. It forwards every control change to the dialog and, for the colour filters, shows
// the live preview.
#pragma once

#include "engine/pixelgraphic.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace orbisk {

class TFilterDialog;
class TFilterPreview;
class TPGImage;

class TFilterDialogForm : public QDialog {
  Q_OBJECT
public:
  // Picture is previewed when the dialog has a preview; it must not change while the window
  // is open.
  TFilterDialogForm(TFilterDialog& Dialog, const TPixelGraphic* Picture, QWidget* Parent);
  // Stops and joins the preview workers.
  ~TFilterDialogForm() override;

  // The controls, for hosts and tests (absent ones are null).
  QSlider* SliderControl(int I) const { return FSliders[size_t(I)]; }
  QLabel* NameLabel(int I) const { return FNames[size_t(I)]; }
  QLabel* ValueLabel(int I) const { return FValues[size_t(I)]; }
  QLabel* TrackText(int I, int Which) const { return FTrackTexts[size_t(I)][size_t(Which)]; }
  QCheckBox* CheckBox() const { return FCheckBox; }
  QRadioButton* RadioButton(int I) const { return FRadios[size_t(I)]; }
  QLabel* SectionLabel() const { return FSection; }
  QPushButton* OKButton() const { return FOK; }
  QPushButton* CancelButton() const { return FCancel; }
  TPGImage* PreviewView() const { return FView; }
  TFilterPreview* Preview() const { return FPreview; }

  // Stops the preview workers now (the window is closing).
  void StopPreview();

  void done(int R) override;

private:
  void BuildControls();
  void ControlChanged();
  void ShowValueTexts();

  TFilterDialog& FDialog;
  std::array<QSlider*, 3> FSliders{};
  std::array<QLabel*, 3> FNames{};
  std::array<QLabel*, 3> FValues{};
  std::array<std::array<QLabel*, 3>, 3> FTrackTexts{};
  QCheckBox* FCheckBox = nullptr;
  std::array<QRadioButton*, 2> FRadios{};
  QLabel* FSection = nullptr;
  QPushButton* FOK = nullptr;
  QPushButton* FCancel = nullptr;
  TPGImage* FView = nullptr;
  TFilterPreview* FPreview = nullptr;
  bool FBuilding = false;
};

} // namespace orbisk
