// TfrmTesslyOptions ("Tessly Options"): the sheet's layout, colours, background, frame effects,
// title and footer on four tabs; and the colour button with its 20-colour palette.
#pragma once

#include "thumbnails/tessly.h"

#include <QDialog>
#include <QToolButton>

#include <array>
#include <functional>

class QCheckBox;
class QFontComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace orbisk {

// A button showing a colour; a click offers the 20 palette colours and "&Other".
class TColorButton : public QToolButton {
  Q_OBJECT
public:
  explicit TColorButton(TRGB Color, QWidget* Parent = nullptr);
  TRGB Color() const { return FColor; }
  void SetColor(TRGB C);
  // The palette, in its 4 x 5 order.
  static const std::array<TRGB, 20>& PaletteColors();
  QMenu* PaletteMenu() const { return FMenu; }

signals:
  void ColorChanged(TRGB C);

private:
  TRGB FColor;
  QMenu* FMenu;
};

class TfrmTesslyOptions : public QDialog {
  Q_OBJECT
public:
  explicit TfrmTesslyOptions(QWidget* Parent = nullptr);

  // The options as the controls hold them.
  TTesslyOptions Options() const;
  // Leaving "Size": outside 30..900 (or empty) shows the message, restores "96" and keeps the
  // focus there. Returns false when it had to do that.
  bool CheckSize();

  // Chooses the background picture (the image open dialog unless replaced; "" cancels).
  std::function<QString()> ChooseBackground;

protected:
  bool eventFilter(QObject* O, QEvent* E) override;

private:
  QString OpenBackground();
  bool FCheckingSize = false;

  // Each named as its member ("eSize", "udCols", "cbtnBGColor", ...).
  QTabWidget* Tabs = nullptr;
  // Basic
  QLineEdit* eSize = nullptr;
  QSpinBox *udCols = nullptr, *udHSpace = nullptr, *udVSpace = nullptr;
  TColorButton *cbtnBGColor = nullptr, *cbtnFontColor = nullptr;
  QCheckBox *cbIncFileNames = nullptr, *cbAutoSharpen = nullptr;
  QSlider* tbSharpeningFactor = nullptr;
  // Background
  QCheckBox* cbUseBGImage = nullptr;
  QLineEdit* eBGImage = nullptr;
  QToolButton* btnBGImage = nullptr;
  // Border FX
  QCheckBox *cbAddBorder = nullptr, *cbDropShadow = nullptr, *cbBevel = nullptr;
  TColorButton* cbtnBorderColor = nullptr;
  // Title/Footer
  QCheckBox *cbTitle = nullptr, *cbFooter = nullptr;
  QLineEdit *eTitle = nullptr, *eFooter = nullptr;
  QFontComboBox *fcbTitle = nullptr, *fcbFooter = nullptr;
  QSpinBox *udTitleSize = nullptr, *udFooterSize = nullptr;
  TColorButton *cbtnTitleColor = nullptr, *cbtnFooterColor = nullptr;
};

} // namespace orbisk
