// The scanner's windows: choosing a device ("Select..."), the device's options before a scan
// (its mode, depth, resolution and scan area, "Scan" and "Cancel"), and the progress of a scan
// with Cancel.
#pragma once

#include "platform/scanner.h"

#include <QDialog>
#include <QImage>
#include <QLabel>

#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace orbisk {

// Lists the devices as vendor, model and name.
class TfrmSelectSource : public QDialog {
  Q_OBJECT
public:
  TfrmSelectSource(const std::vector<TScanDevice>& Devices, const QByteArray& Current,
                   QWidget* Parent = nullptr);
  int ChosenIndex() const; // -1 when none is selected

private:
  // Controls, each with its name as object name.
  QTreeWidget* DeviceList;
  QLabel* NoDevices;
  QPushButton *SelectButton, *CancelButton;
};

// The preview picture of the device's whole area; dragging on it marks the area to scan.
class TScanPreview : public QLabel {
  Q_OBJECT
public:
  explicit TScanPreview(QWidget* Parent = nullptr);
  void SetPicture(const QImage& Picture);
  // The marked area as fractions of the whole (empty when none is marked).
  QRectF Marked() const { return FMarked; }

signals:
  // The user marked an area (fractions of the whole).
  void OnMarked(const QRectF& Fractions);

protected:
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override;
  void paintEvent(QPaintEvent* E) override;

private:
  QPointF Fraction(QPoint P) const;
  QRect PictureRect() const;
  QImage FPicture;
  QPointF FStart;
  QRectF FMarked;
  bool FDragging = false;
};

// The device's options. Every change goes to the device at once, and the controls then show what
// the device made of it (one option can change others).
class TfrmScanOptions : public QDialog {
  Q_OBJECT
public:
  TfrmScanOptions(TScanSource& Source, const QString& Caption, QWidget* Parent = nullptr);
  // Rereads every control from the device.
  void Reload();
  // Scans the preview (the scanner's PreviewNative while the window is up).
  std::function<TNativeBitmap()> Preview;
  void PreviewClick();

private:
  // Controls, each with its name as object name.
  QComboBox* ModeCombo;           // hidden when the device has no mode option
  QComboBox* DepthCombo;          // hidden without a depth option
  QComboBox* ResolutionCombo;     // a list of resolutions, or
  QDoubleSpinBox* ResolutionSpin; // a range
  QDoubleSpinBox *LeftSpin, *TopSpin, *RightSpin, *BottomSpin; // the scan area
  QPushButton *ScanButton, *CancelButton;
  QPushButton* PreviewButton; // shown when the device has a scan area and Preview is set
  TScanPreview* PreviewImage;

  void Apply(const char* Name, const std::function<bool(int* Status)>& Set);
  TScanSource& FSource;
  QFormLayout* FForm;
  bool FLoading = false;
};

// The scanner's windows for the editor. Exec shows a window modally (replaced by tests).
class TScanWindows : public TScanUserInterface {
public:
  int ChooseSource(QWidget* Parent, const std::vector<TScanDevice>& Devices,
                   const QByteArray& Current) override;
  bool ShowSourceWindow(QWidget* Parent, TScanSource& Source) override;
  void WaitForTransfer(QWidget* Parent, TTransferWatch& Watch) override;
  std::function<int(QDialog& Dialog)> Exec = [](QDialog& D) { return D.exec(); };
};

// Scanner errors: a warning box titled "Scanner Error" (through the prompt).
inline constexpr const char* kScanErrorTitle = "Scanner Error";
void ShowScanError(QWidget* Window, const QString& Text);

// The windows the program uses (created on first use).
TScanWindows& ScanWindows();

} // namespace orbisk
