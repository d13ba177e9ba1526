// TfPrefs: the "Preferences" window: which file types the list shows and their external editors
// (tab "Editors"), how files are deleted (tab "Deletions") and how pictures are shown (tab
// "Viewing").
#pragma once

#include "view/typemask.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QButtonGroup;
class QGroupBox;
class QTabWidget;

namespace orbisk {

class TSettingsStore;

class TfPrefs : public QDialog {
  Q_OBJECT
public:
  explicit TfPrefs(QWidget* Parent = nullptr);

  // Reloads the controls from the settings (done on every opening).
  void LoadSettings(const TSettingsStore& S);
  void SaveSettings(TSettingsStore& S) const;
  // Loads from the user's settings and runs modally; on OK the settings are written first.
  bool Execute();

  // Chooses a program for a "Locate" button (a file-open dialog unless replaced).
  std::function<QString(QWidget* Owner)> ChooseFile;

  TFileTypeFlags FileTypeFlags() const;
  TLaterTypeFlags LaterTypeFlags() const;
  bool DeletePermanently() const;
  bool ConfirmDeletions() const;

  void LocateButtonClick(int Row);
  void OKButtonClick();
  // Registers the checked types as the user's defaults, after asking.
  void AssociateButtonClick();

private:
  void UpdateAssociateButton();

  // The rows of the type checks, editor edits and "Locate" buttons are named TypeCheck1..,
  // EditorEdit1.. and Locate1.., the later formats' switches Later1...
  QTabWidget* PageControl1 = nullptr;
  std::array<QCheckBox*, FileTypeCount> TypeChecks{};
  std::array<QLineEdit*, FileTypeCount> EditorEdits{};
  std::array<QPushButton*, FileTypeCount> LocateButtons{};
  // The later formats have no editor of their own: one switch each, below the ten rows.
  std::array<QCheckBox*, LaterTypeCount> LaterChecks{};
  QGroupBox* RadioGroup1 = nullptr;
  QButtonGroup* DeleteModes = nullptr;
  QCheckBox* ConfirmCheck = nullptr;
  // Tab "Viewing".
  QCheckBox* AutoOrientCheck = nullptr;
  QCheckBox* CentreCheck = nullptr;
  QCheckBox* ColourProfilesCheck = nullptr;
  QPushButton *AssociateButton = nullptr, *OKButton = nullptr, *CancelButton = nullptr;
};

} // namespace orbisk
