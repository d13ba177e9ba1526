// The small windows of the editor's operations: rotation by any angle, resize, gradient border,
// Gaussian blur, the one-slider effect window and red-eye reduction. Each keeps its values
// between uses; the editor reads them after the window was confirmed.
#pragma once

#include "engine/pixelgraphic.h"
#include "processing/effects.h"
#include "processing/fastbmp.h"

#include <QDialog>
#include <QImage>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace orbisk {

// A 24-bit top-down copy of a fast bitmap for drawing.
QImage FastBMPToQImage(const TFastRGB& B);

// "Rotate Degrees".
class TfRotate : public QDialog {
  Q_OBJECT
public:
  explicit TfRotate(QWidget* Parent = nullptr);
  // The angle to apply (360 - a for counter-clockwise); false when the field holds no number.
  bool Angle(long double& A) const;
  // The field's text as typed.
  QString AngleText() const;

private:
  QLineEdit* AngleEdit;
  QRadioButton *ClockwiseButton, *CounterClockwiseButton;
  QDialogButtonBox* Buttons;
};

// "Resize": the old size, the new size and "Constrain Proportions".
class TfrmResize : public QDialog {
  Q_OBJECT
public:
  explicit TfrmResize(QWidget* Parent = nullptr);
  // Shows Width x Height as the original and as the new size.
  void Setup(int Width, int Height);
  int NewWidth() const;
  int NewHeight() const;
  // What leaving a field does with the box checked: the other field follows the proportions.
  void WidthEditExit();
  void HeightEditExit();

private:
  QLabel *OrigWidthLabel, *OrigHeightLabel;
  QLineEdit *WidthEdit, *HeightEdit;
  QCheckBox* ConstrainBox;
  QDialogButtonBox* Buttons;
  int FOldWidth = 0, FOldHeight = 0;
};

// "Border Options": width, colour and shape of a gradient border.
class TfrmBorder : public QDialog {
  Q_OBJECT
public:
  explicit TfrmBorder(QWidget* Parent = nullptr);
  int BorderWidth() const;
  TRGB Color() const { return FColor; }
  void SetColor(TRGB C);
  bool Oval() const;
  // Opens the colour dialog (the swatch's click).
  void ColorButtonClick();

private:
  QLineEdit* WidthEdit;
  QPushButton* ColorButton;
  QRadioButton *RectangleButton, *EllipseButton;
  QDialogButtonBox* Buttons;
  TRGB FColor = 0xFFFFFF;
};

// "Gaussian Blur": "Relative Strength" 1..100, the radius is a tenth of it.
class TfrmGaussianBlur : public QDialog {
  Q_OBJECT
public:
  explicit TfrmGaussianBlur(QWidget* Parent = nullptr);
  float Radius() const;

private:
  QSlider* StrengthSlider;
  QLabel* ValueLabel;
  QDialogButtonBox* Buttons;
};

// The effect window: spray paint, monochrome noise, colour noise or mosaic with one slider and
// a 240-pixel preview.
class TfrmNewEFX : public QDialog {
  Q_OBJECT
public:
  explicit TfrmNewEFX(QWidget* Parent = nullptr);
  // Prepares the window for an effect on Picture: caption, slider at 0, fresh preview.
  void Setup(TFastEffect Effect, const QString& Caption, const TPixelGraphic& Picture);
  TFastEffect Effect() const { return FEffect; }
  int Amount() const;
  const TFastBMP& Preview() const { return FWork; }
  // The rectangle the preview is drawn in.
  QRect PreviewRect() const;

protected:
  void paintEvent(QPaintEvent* E) override;

private:
  QSlider* AmountSlider;
  QDialogButtonBox* Buttons;
  void SliderChange();
  TFastEffect FEffect = feSprayPaint;
  TFastBMP FSource, FWork;
  QImage FShown;
};

// "Red Eye Reduction": the selected area with the pixels that the thresholds catch turned
// black, live while the slider moves.
class TfrmRedEyeReduction : public QDialog {
  Q_OBJECT
public:
  explicit TfrmRedEyeReduction(QWidget* Parent = nullptr);
  // The area as a 24-bit picture; the slider keeps its position.
  void Setup(const TPixelGraphic& Area);
  int Position() const;
  const TPixelGraphic& Shown() const { return FShown; }

private:
  QSlider* AmountSlider;
  QLabel* PictureLabel;
  QDialogButtonBox* Buttons;
  void Recompute();
  TPixelGraphic FArea, FShown;
};

} // namespace orbisk
