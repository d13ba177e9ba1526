// TfAPrefs: the "Frame Setup" dialog of the album window. It edits a TAlbumPrefs model, loads the
// stored values whenever it is shown and stores them when it closes.
#pragma once

#include "albums/albumprefs.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QGroupBox;
class QTabWidget;

namespace orbisk {

class TfAPrefs : public QDialog {
  Q_OBJECT
public:
  TfAPrefs(TAlbumPrefs& Prefs, QWidget* Parent = nullptr);

  // Reads the stored values into the model and the controls; "Error reading register values for
  // Folvana configuration" when one is not a number.
  void LoadAlbumPreferences();
  // Stores the model's values.
  void SaveAlbumPreferences();
  // Shows the controls as the model holds them.
  void Refresh();

  TAlbumPrefs& Prefs() { return FPrefs; }

  // Chooses a caption colour; a colour dialog unless replaced (false keeps the colour).
  std::function<bool(int& Color)> ChooseColor;

  static constexpr int kWidth = 353, kHeight = 413;

protected:
  void showEvent(QShowEvent* E) override;
  void done(int R) override;
  bool eventFilter(QObject* O, QEvent* E) override;

private:
  void ShowCaptionColor();

  // Controls, each with its name as object name.
  QTabWidget* Tabs;
  QSpinBox *Cols, *Rows, *Border;
  QLabel* txtImagesPerSheet;
  QButtonGroup *rgCaption, *rgBorderEffect, *rgQuality, *rgCaptionPlacement, *rgEmbeddedPosition;
  QGroupBox* EmbeddedPositionBox;
  QCheckBox *cbPrintFrames, *cbTransparentBackGround;
  QPushButton* CaptionColor;
  QLineEdit* eCustomCaption;
  QPushButton* OKButton;

  TAlbumPrefs& FPrefs;
  bool FRefreshing = false;
};

} // namespace orbisk
