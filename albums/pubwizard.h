// TfrmPubWizard, "Folvana Web Publishing Wizard": six pages that collect the web album's options
// (sizes and layout, picture quality, captions and folder, page names and texts, colours, and
// the last step that publishes), shown from the album window. The publishing itself is
// albums/webalbum.h; this window only gathers the options and reports.
#pragma once

#include "albums/albumdoc.h"
#include "albums/albumprefs.h"
#include "albums/webalbum.h"

#include <QDialog>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QToolButton;

namespace orbisk {

class TColorButton;

class TfrmPubWizard : public QDialog {
  Q_OBJECT
public:
  // The wizard publishes Doc's entries and shares columns, rows, frames and the caption option
  // with Prefs.
  TfrmPubWizard(TAlbumDocument& Doc, TAlbumPrefs& Prefs, QWidget* Parent = nullptr);

  // The options as the controls hold them.
  TWebAlbumOptions Options() const;
  // The page shown, 1 to 6.
  int PageNumber() const;
  bool Publishing() const { return FRunning; }
  // The last run's result.
  const TWebPublishResult& LastResult() const { return FResult; }

  void BackClick();
  void NextClick();

  // ---- hooks (tests replace them)
  // The folder browser ("" cancels).
  std::function<QString()> ChooseFolder;
  // The background picture chooser, the image open dialog ("" cancels).
  std::function<QString()> ChooseBackground;
  // Opens the first page in the web browser.
  std::function<void(const QString& Path)> OpenPage;

  static constexpr int kWidth = 456, kHeight = 265;

protected:
  void showEvent(QShowEvent* E) override;
  void keyPressEvent(QKeyEvent* E) override;
  bool eventFilter(QObject* O, QEvent* E) override;
  void reject() override;

private:
  // ---- controls, each with its name as object name
  QStackedWidget* Pages;
  // page 1
  QSpinBox *udThumbnailSize, *udMaxSize, *udCols, *udRows;
  QCheckBox* cbPrintFrames;
  QLabel *lblPageCount, *lblLayoutProblem;
  // page 2
  QSlider *tbImageQuality, *tbSharpeningFactor;
  QCheckBox *cbAutoSharpen, *cbProgressive, *cbRemoveMetadata;
  // page 3
  QButtonGroup* rgCaption;
  QLineEdit* eWebFolder;
  QToolButton* btnWebFolder;
  QCheckBox* cbReplaceExisting;
  // page 4
  QLineEdit *ePageName, *eTitle, *eHeader, *eFooter;
  QLabel* lblPageNameProblem;
  // page 5
  TColorButton *cbtnBGColor, *cbtnTextColor;
  QCheckBox* cbUseBGImage;
  QLineEdit* eBGImage;
  QToolButton* btnBGImage;
  // page 6
  QCheckBox* cbDisplayResults;
  QProgressBar* ProgressBar1;
  QLabel* lblResult; // what the last run published and skipped
  // bottom bar
  QPushButton *btnBack, *btnNext, *btnClose, *btnHelp;

  void ResetForShow();
  void SetPage(int Number);
  void UpdatePageCount();
  void UpdatePageName();
  void UpdateButtons();
  // Leaving the folder field: creates the folder; false (after the message) when it cannot.
  bool CheckWebFolder();
  void Publish();

  TAlbumDocument& FDoc;
  TAlbumPrefs& FPrefs;
  TWebPublishResult FResult;
  bool FRunning = false;
  bool FCloseAfterRun = false;
  bool FCheckingFolder = false;
};

} // namespace orbisk
