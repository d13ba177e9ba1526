// TfrmThumbEdit: the "Tessly Creator". A list of picture files (dropped from the main window's
// or the explorer's list, or added by other tools), the generated sheet in an image view, and
// saving it through the previewing save dialog.
#pragma once

#include <QListWidget>
#include <QMainWindow>
#include <QStringList>

#include <array>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace orbisk {

class TPGImage;
class TPGSaveDialog;
class TfrmFileProp;
class TfrmTesslyOptions;

// The list: takes drops of file items from the program's lists.
class TTesslyList : public QListWidget {
  Q_OBJECT
public:
  explicit TTesslyList(QWidget* Parent = nullptr);

signals:
  // The local files of an accepted drop.
  void OnFilesDropped(const QStringList& Files);

protected:
  void dragEnterEvent(QDragEnterEvent* E) override;
  void dragMoveEvent(QDragMoveEvent* E) override;
  void dropEvent(QDropEvent* E) override;
};

class TfrmThumbEdit : public QMainWindow {
  Q_OBJECT
public:
  explicit TfrmThumbEdit(QWidget* Parent = nullptr);

  // Appends full paths to the list as they are (the album's "Contact Sheet" hands its entries
  // over this way).
  void AddFiles(const QStringList& Files);
  // A drop: the picture files among Files are appended.
  void DropFiles(const QStringList& Files);
  QStringList Files() const;

  void GenerateClick();
  void SaveClick();
  void ViewImageClick();
  void ImagePropertiesClick();
  void DeleteSelectedClick();
  void ClearAllClick();
  void StretchToFitClick(bool Down);
  void OptionsClick();

  QString PanelText(int Panel) const;

  // The properties window (made on demand when not set).
  std::function<TfrmFileProp*()> FilePropWindow;
  // Runs the save dialog instead of its modal loop when set (tests): true for OK.
  std::function<bool(TPGSaveDialog&)> OnExecuteSaveDialog;

  // The save dialog's filters, in order.
  static const char* const kSaveFilter;

protected:
  void hideEvent(QHideEvent* E) override;

private:
  void UpdateMenu();

  // Each named as its member ("ListBox1", "PGImage1", "GenerateButton", "Generate1", ...).
  TTesslyList* ListBox1 = nullptr;
  TPGImage* PGImage1 = nullptr;
  TfrmTesslyOptions* OptionsWindow = nullptr;
  QPushButton *GenerateButton, *SaveButton, *StretchButton, *OptionsButton;
  QAction *Generate1, *SaveAs1, *Close1;
  QAction *ViewImage1, *ImageProperties1, *DeleteSelectedItem1, *ClearAllItems1;
  QMenu* ListMenu = nullptr;
  std::array<QLabel*, 2> StatusPanels{};
};

} // namespace orbisk
