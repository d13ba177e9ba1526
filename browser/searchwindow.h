// TfSearch: the file search window. A pattern, "All Drives" or "Selected Drive", Find and Stop,
// "More criteria" (date taken, camera, size in pixels and bytes, date modified; folded away
// until wanted), the sorted result list with the value each file matched and a one-panel status
// bar; the walk itself is TFileSearch.
#pragma once

#include "browser/searchmodel.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTreeView;
class QPushButton;
class QRadioButton;

namespace orbisk {

class TfSearch : public QWidget {
  Q_OBJECT
public:
  explicit TfSearch(QWidget* Parent = nullptr);
  ~TfSearch() override;

  // Shows a result in the main window: its folder listed, the file selected and shown.
  std::function<void(const QString& Path)> OnOpenResult;
  // Number of lines the list takes ("Number of files exceeds list box capacity." beyond).
  qsizetype Capacity = 1000000;

  // The drive selector's volumes (the mounted local file systems unless replaced). After them
  // the selector offers a folder of the user's choice.
  void SetVolumes(const QList<TSearchVolume>& Volumes, int Selected);
  // Asks for the folder to search ("" cancels; a folder dialog unless replaced).
  std::function<QString(QWidget* Owner)> ChooseFolder;
  // Makes Folder the selector's chosen folder and selects it.
  void SetSearchFolder(const QString& Folder);
  // Offers Folder (the folder the main window lists) as the chosen folder without selecting it;
  // a chosen folder that is selected stays.
  void OfferFolder(const QString& Folder);
  // The folder "Selected Drive" searches.
  QString SelectedRoot() const;
  // The selector's last entry, which asks for a folder.
  static QString FolderItemText() { return QStringLiteral("Other Folder..."); }
  const QList<TSearchVolume>& Volumes() const { return FVolumes; }

  // The criteria "More criteria" holds (empty while it is folded away).
  TSearchCriteria Criteria() const;
  void FindClick();
  void StopClick();
  bool Running() const { return FSearch.Running(); }
  // Double click on a result line (ignored while a search runs).
  void OpenResult(int Row);
  QString StatusText() const;
  // The one-panel status bar (its text is shortened in the middle to the window's width).
  QLabel* StatusLabel() const { return FStatus; }
  // The status text after a search: N + " files found - Double click filename to view.".
  static QString FoundText(qsizetype N);

  TFileSearch& Search() { return FSearch; }

signals:
  // Emitted when a search has ended and the buttons are restored.
  void searchEnded();

protected:
  void keyPressEvent(QKeyEvent* E) override;
  void closeEvent(QCloseEvent* E) override;

private:
  QLineEdit* SearchFor = nullptr;
  QRadioButton *AllDrives = nullptr, *SelectedDrive = nullptr;
  QComboBox* DriveCombo = nullptr;
  QPushButton *FindButton = nullptr, *StopButton = nullptr;
  QGroupBox* MoreCriteria = nullptr; // checkable: checked shows and applies the criteria
  QWidget* CriteriaPanel = nullptr;
  QLineEdit *TakenFrom = nullptr, *TakenTo = nullptr, *Camera = nullptr;
  QSpinBox *MinWidth = nullptr, *MaxWidth = nullptr, *MinHeight = nullptr, *MaxHeight = nullptr;
  QSpinBox *MinKB = nullptr, *MaxKB = nullptr;
  QLineEdit *ModifiedFrom = nullptr, *ModifiedTo = nullptr;
  QTreeView* ResultList = nullptr;
  TSearchResultModel* Results = nullptr;
  void TakeResults();
  void SearchEnded();
  void ShowFolder();
  void DriveChosen(int Index);
  void FillDrives();

  QLabel* FStatus = nullptr;
  QString FFolder; // the chosen folder, "" before one is
  int FLastDrive = 0;
  QList<TSearchVolume> FVolumes;
  TFileSearch FSearch;
  QTimer FFolderTimer;
  bool FOverflowShown = false;
  bool FWaitCursor = false;
};

} // namespace orbisk
