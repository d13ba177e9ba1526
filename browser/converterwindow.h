// TfrmConvert: the picture converter. The source on the left, the result on the right, the
// target type, the options and "Convert Now!" in the tool bar; the rules live in
// processing/converter.h, shared with orbisk-cli.
#pragma once

#include "processing/converter.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QSlider;
class QToolButton;
class QWidget;

namespace orbisk {

class TPGImage;

// Lets the user choose the transparent colour of a GIF picture in the "GIF Transparency Selector"
// (the colour follows the mouse over the picture, a click closes it; black when the mouse never
// moved over it). Always true: the selector cannot be cancelled.
bool PickGIFTransparentColor(QWidget* Owner, TPixelGraphic& Picture, TRGB& Color);

class TfrmConvert : public QMainWindow {
  Q_OBJECT
public:
  explicit TfrmConvert(QWidget* Parent = nullptr);

  // ---- hooks set by the main window (unset: none)
  std::function<void(const QString&)> OnImageProperties; // the image properties window
  std::function<bool()> ConfirmDeletions;                // the confirmation setting
  std::function<bool()> DeletePermanently;               // the deletion mode
  // Chooses the GIF transparent colour (PickGIFTransparentColor unless replaced).
  TTransparencyPicker PickTransparent;

  // The main window's request: converts this file next (opened now when the window is shown,
  // else the window is shown, which opens it).
  void Execute(const QString& Path);
  // The main window's list selected one file: while the window is shown it becomes the source
  // (other files and the current source are left alone).
  void SelectionChanged(const QString& Path);
  // Loads the source into the left view; false (and the view empty) when it cannot be read.
  bool OpenSource(const QString& Path);
  void ConvertNowClick();
  void DeleteConvertedFileClick();
  void CurrentDisplaySizeClick();
  void SetTarget(TConvertTarget T);
  TConvertTarget Target() const;
  // The settings "Convert Now!" uses.
  TConvertSettings Settings() const;
  // Path + " " + (size div 1024 + 1) + "K".
  static QString PanelText(const QString& Path);

  QString SourcePath() const { return FSourcePath; }
  QString ResultPath() const { return FResultPath; }
  QString Panel(int I) const;

signals:
  // A file was written or deleted in the source's folder (the file lists showing it refill).
  void OnListChanged();

protected:
  void showEvent(QShowEvent* E) override;

private:
  TPGImage *Image1 = nullptr, *Image2 = nullptr;
  QComboBox* TargetCombo = nullptr;
  QToolButton* OptionsButton = nullptr;
  QAction *MaintainOriginalSize1 = nullptr, *AutoSharpen1 = nullptr, *SizeToFit1 = nullptr;
  QAction* ConvertNowButton = nullptr;
  QWidget *JPEGBar = nullptr, *GIFBar = nullptr;
  QSlider* QualitySlider = nullptr;
  QLabel* QualityLabel = nullptr;
  QCheckBox *Interlaced = nullptr, *Transparent = nullptr;
  QMenu *LeftMenu = nullptr, *RightMenu = nullptr;
  QAction *LeftProperties1 = nullptr, *CurrentDisplaySize1 = nullptr;
  QAction *RightProperties1 = nullptr, *DeleteConvertedFile1 = nullptr;

  void ClearResult();
  void SizeToFitClick(bool On);
  void MaintainOriginalSizeClick(bool On);
  void TargetChange();
  void UpdateMenus();

  QString FSourcePath, FResultPath;
  std::array<QLabel*, 2> FPanels{};
};

} // namespace orbisk
