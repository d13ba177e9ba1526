// TfrmEXIF: the "EXIF Data" window. One two-column list ("Description", "Value") of every
// EXIF entry of a file; it stays on top and follows the selected file while it is visible.
#pragma once

#include "metadata/exif.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QTreeWidget;

namespace orbisk {

class TfrmEXIF : public QWidget {
  Q_OBJECT
public:
  explicit TfrmEXIF(QWidget* Parent = nullptr);

  // "EXIF Data...": shows the window (centred the first time) and lists the file.
  void ShowFile(const QString& Path);
  // A new file was selected in a list: lists it when the window is visible, else nothing.
  void SelectionChanged(const QString& Path);
  // Empties the list, then lists the file's entries. A file that cannot be opened leaves the
  // list empty and reports the reason through OnError (a message box when nobody listens).
  // Returns false in that case.
  bool ListExifData(const QString& Path);

  // The file last listed ("" before the first).
  QString ListedFile() const { return FListedFile; }
  QTreeWidget* ListView() const { return FList; }
  // The rows as shown.
  std::vector<TExifRow> Rows() const;

signals:
  // The text of a failed read; with no receiver connected a message box owned by the window
  // shows it.
  void OnError(const QString& Text);

public:
  static constexpr int kWidth = 339, kHeight = 600;
  static constexpr int kDescriptionWidth = 158, kValueWidth = 400;

private:
  void CentreOnScreen();

  QTreeWidget* FList;
  QString FListedFile;
  bool FPlaced = false;
};

} // namespace orbisk
