// The colour resolution window and the GIF transparency selector.
#pragma once

#include "engine/pixelgraphic.h"
#include "processing/colorresolution.h"

#include <QDialog>
#include <QImage>

#include <array>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orbisk {

// Depth, palette, colour counts, dithering and RGB weighting; the choices follow
// TColorResolutionModel and "OK" is enabled only while both counts are in range.
class TfrmColorRez : public QDialog {
  Q_OBJECT
public:
  explicit TfrmColorRez(QWidget* Parent = nullptr);
  const TColorResolutionModel& Model() const { return FModel; }
  TColorResolutionChoice Choice() const { return FModel.Choice(); }
  QPushButton* OkButton() const;

private:
  // The depth buttons, then the palette buttons of each depth.
  QRadioButton *Bits1Button, *Bits4Button, *Bits8Button, *Bits24Button;
  QRadioButton *BlackWhiteButton, *Optimized1Button;
  QRadioButton *Gray4Button, *SysGray4Button, *Gray16Button, *Sys16Button, *Optimized4Button;
  QRadioButton *Gray236Button, *Gray256Button, *Special125Button, *Special216Button,
      *Special252Button, *Optimized8Button;
  QLineEdit *Count4Edit, *Count8Edit;
  QCheckBox *IncludeSystemBox, *DitherBox, *RGBWeightingBox;
  QDialogButtonBox* Buttons;
  void ShowModel(); // the buttons and OK from the model
  TColorResolutionModel FModel;
  bool FShowing = false;
};

// "GIF Transparency Selector": the colour under the mouse is the transparent colour; a click
// closes the window.
class TfrmGIFTrans : public QDialog {
  Q_OBJECT
public:
  explicit TfrmGIFTrans(QWidget* Parent = nullptr);
  // Shows Picture (centred, fitted, kept aspect ratio); the selected colour starts black.
  void Setup(const TPixelGraphic& Picture);
  // Setup, then the window modally; the selected colour.
  TRGB Execute(const TPixelGraphic& Picture);
  TRGB SelectedColor() const { return FColor; }
  // Where the picture is drawn in the picture area.
  QRect PictureRect() const;
  // The mouse over the picture area at P (area coordinates).
  void PictureMouseMove(QPoint P);

protected:
  bool eventFilter(QObject* O, QEvent* E) override;

private:
  QWidget* PictureArea;
  std::array<QLabel*, 3> StatusPanels{};
  QImage FImage;
  TRGB FColor = 0;
};

} // namespace orbisk
