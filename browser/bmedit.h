// TfBMEdit: the bookmark editor ("Edit Bookmarks"): reorder and delete the folder bookmarks.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace orbisk {

class TfBMEdit : public QDialog {
  Q_OBJECT
public:
  explicit TfBMEdit(QWidget* Parent = nullptr);

  // Loads the file into the list and selects the first line.
  void Open(const QString& FileName);
  // Opens with the file and runs modally; true when OK saved the list.
  bool Execute(const QString& FileName);
  QStringList Lines() const;

  void UpButtonClick();
  void DownButtonClick();
  void DeleteButtonClick();
  void OKButtonClick();

private:
  QListWidget* ListBox1 = nullptr;
  QPushButton *UpButton = nullptr, *DownButton = nullptr, *DeleteButton = nullptr;
  QPushButton *OKButton = nullptr, *CancelButton = nullptr;

  void MoveSelected(int Delta);
  QString FFileName;
  bool FReadable = true;
};

} // namespace orbisk
