// TfBatch: "Convert and Resize", the batch work on a selection of files (the main window's and
// the thumbnail explorer's). Format and quality, a resize (longest side, percentage or a box), a
// turn (by camera orientation or by right angles, lossless for JPEG files where it can be), a
// name pattern, the destination folder and the rule for names already taken; a progress bar,
// Cancel or Esc between files, and the files that failed listed at the end. The work is
// processing/batch.h's RunBatch, the same as `orbisk-cli batch`. It lives beside the explorer so
// that the explorer and the main window can both open it.
#pragma once

#include "platform/worker.h"
#include "processing/batch.h"

#include <QWidget>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;

namespace orbisk {

// The values the window remembers, under this section of the settings store.
inline constexpr const char* kBatchSettingsSection = "ConvertAndResize/";

class TfBatch : public QWidget {
  Q_OBJECT
public:
  // Files: full paths; the settings start as they were last used.
  explicit TfBatch(const QStringList& Files, QWidget* Parent = nullptr);
  ~TfBatch() override;

  // Asks for the destination folder ("" cancels; a folder dialog unless replaced).
  std::function<QString(QWidget* Owner, const QString& Start)> ChooseFolder;

  const QStringList& Files() const { return FFiles; }
  // The settings the controls show (read and write options: the program's current ones).
  TBatchSettings Settings() const;
  // OK: checks the settings, remembers them and starts the run.
  void OkClick();
  // Cancel (and Esc): stops a run after the files being converted; closes the window otherwise.
  void CancelClick();
  bool Running() const { return FRunning; }
  // The report of the last run that ended.
  const TBatchReport& Report() const { return FReport; }

signals:
  // The run ended (also when cancelled) and its report is shown.
  void batchEnded();

protected:
  // Closing while a run goes on stops it and waits for the files being converted.
  void closeEvent(QCloseEvent* E) override;

private:
  void TargetChanged();
  void RunEnded(TBatchReport R, const QString& Failure);
  void LoadSettings();
  void SaveSettings() const;
  void SetEditable(bool On);
  // "Enlarge smaller pictures" is offered for the resize modes it decides for.
  void UpdateEnlarge();

  QLabel* FilesLabel = nullptr;
  QComboBox* FormatCombo = nullptr;
  QSpinBox* QualitySpin = nullptr;
  QComboBox* ResizeCombo = nullptr;
  QStackedWidget* ResizePages = nullptr;
  QSpinBox *LongestSpin = nullptr, *PercentSpin = nullptr;
  QSpinBox *BoxWidthSpin = nullptr, *BoxHeightSpin = nullptr;
  QCheckBox* EnlargeCheck = nullptr;
  QComboBox* TurnCombo = nullptr;
  QLineEdit* NamePattern = nullptr;
  QLineEdit* FolderEdit = nullptr;
  QPushButton* BrowseButton = nullptr;
  QComboBox* ExistingCombo = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QLabel* SummaryLabel = nullptr;
  QListWidget* ErrorList = nullptr;
  QPushButton *OkButton = nullptr, *CancelButton = nullptr;
  QList<QWidget*> FSettingsWidgets;

  QStringList FFiles;
  bool FRunning = false;
  std::atomic<bool> FStop{false};
  TBatchReport FReport;
  // Last: its thread ends before the members it uses go.
  TWorker FWorker{this};
};

// Shows a new "Convert and Resize" window for Files (nothing for an empty list); it deletes
// itself when closed. Returns the window.
TfBatch* ShowBatchWindow(const QStringList& Files, QWidget* Parent);

} // namespace orbisk
