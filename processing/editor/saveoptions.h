// "File Save Options": the program's current reader and writer options in one window. Opening
// loads every control from them, OK stores every control back, Cancel changes nothing.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;
class QRadioButton;
class QSlider;

namespace orbisk {

// The options the window edits, as the program's current options (platform/codecsettings.h)
// hold them.
struct TSaveOptions {
  bool PxMBinary = false;
  int TIFFCompression = 1; // 1 or 32773
  bool TIFFCMYK = false;
  bool TIFFWhiteIsZero = false;
  bool TIFFBigEndian = false;
  int TIFFResolutionUnit = 0; // 0 none, 1 inch, 2 centimetre
  uint32_t XNumerator = 300, XDenominator = 1, YNumerator = 300, YDenominator = 1;
  int JPEGQuality = 80;
  int JPEGReadDCT = 0, JPEGWriteDCT = 2; // 1 integer fast, 0 integer precise, 2 floating point
  bool JPEGProgressive = false;
  long double ScreenGamma = 1.8L;
  bool GammaCorrectionOnRead = true;
  bool WriteGamma = true;

  static TSaveOptions FromEngine();
  void StoreToEngine() const;
};

class TfrmFileSaveOptions : public QDialog {
  Q_OBJECT
public:
  explicit TfrmFileSaveOptions(QWidget* Parent = nullptr);
  // Loads the controls from the engine, shows the window modally and stores them on OK.
  bool Execute();
  // The controls from Options, and back; Read is false (with Why) when a field holds no
  // usable value.
  void ShowOptions(const TSaveOptions& Options);
  bool ReadOptions(TSaveOptions& Options, QString& Why) const;
  // Sets the quality slider (the editor puts it back to 80 when it is shown).
  void SetQuality(int Quality);

  // How the window is shown (replaced by tests); returns the dialog result.
  std::function<int(QDialog&)> ExecDialog;

protected:
  void done(int Result) override;

private:
  // Each named as its field (tests find them by name).
  QRadioButton *BinaryButton, *AsciiButton;
  QRadioButton *NoCompressionButton, *PackBitsButton;
  QRadioButton *RGBButton, *CMYKButton;
  QRadioButton *BlackIsZeroButton, *WhiteIsZeroButton;
  QRadioButton *IntelButton, *MotorolaButton;
  QRadioButton *NoUnitButton, *InchButton, *CentimeterButton;
  QLineEdit *XNumEdit, *XDenEdit, *YNumEdit, *YDenEdit;
  QSlider* QualitySlider;
  QRadioButton *ReadFastButton, *ReadPreciseButton, *ReadFloatButton;
  QRadioButton *WriteFastButton, *WritePreciseButton, *WriteFloatButton;
  QCheckBox* ProgressiveBox;
  QLineEdit* GammaEdit;
  QCheckBox *GammaOnReadBox, *WriteGammaBox;
  QDialogButtonBox* Buttons;
};

} // namespace orbisk
