// TfrmSaveThumbnail ("Save Thumbnail": size, format, save folder and prefix of saved thumbnails)
// and TfrmSelectFolder ("Select Folder": a folder tree with OK and Cancel).
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orbisk {

class TFolderTree;

class TfrmSelectFolder : public QDialog {
  Q_OBJECT
public:
  explicit TfrmSelectFolder(QWidget* Parent = nullptr);
  // Opens on Folder; true on OK, with Folder() the chosen folder with a trailing separator.
  bool Execute(const QString& Folder);
  QString Folder() const { return FFolder; }
  // Selects a folder in the tree (as a click does).
  void SelectFolder(const QString& Folder);

private:
  TFolderTree* FolderTree = nullptr; // "FolderTree"
  QString FFolder;
};

class TfrmSaveThumbnail : public QDialog {
  Q_OBJECT
public:
  explicit TfrmSaveThumbnail(QWidget* Parent = nullptr);

  // Shows the dialog modally for Count files saved into Folder; true on OK.
  bool Execute(const QString& Folder, int Count);
  // Runs instead of the modal loop when set (tests): returns true for OK.
  std::function<bool(TfrmSaveThumbnail&)> OnExecute;

  int CellSize() const;       // the number before the first blank of the size text
  QString Extension() const;  // "bmp", "jpg", "tif", "png", "tga"
  QString SaveFolder() const; // with a trailing separator
  QString Prefix() const;
  // Files of the chosen names that this run did not write are replaced only when checked.
  bool ReplaceExisting() const;

private:
  // Named as the fields: "cbSize", "cbFormat", "eFolder", "btnFolder", "ePrefix", "cbReplace",
  // "lFiles", "SelectFolder".
  QComboBox* cbSize = nullptr;
  QComboBox* cbFormat = nullptr;
  QLineEdit* eFolder = nullptr;
  QPushButton* btnFolder = nullptr;
  QLineEdit* ePrefix = nullptr;
  QCheckBox* cbReplace = nullptr;
  QLabel* lFiles = nullptr;
  TfrmSelectFolder* SelectFolder = nullptr;
};

} // namespace orbisk
