#include "processing/editor/saveoptions.h"

#include "engine/pixelgraphic.h"
#include "platform/codecsettings.h"
#include "platform/prompt.h"
#include "processing/transforms.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace orbisk {

TSaveOptions TSaveOptions::FromEngine() {
  const TReadOptions R = CurrentReadOptions();
  const TWriteOptions W = CurrentWriteOptions();
  TSaveOptions O;
  O.PxMBinary = W.PxMWriteBinary;
  O.TIFFCompression = W.TIFFCompression;
  O.TIFFCMYK = W.TIFFWriteCMYK;
  O.TIFFWhiteIsZero = W.TIFFWhiteIsZero;
  O.TIFFBigEndian = W.TIFFBigEndian;
  O.TIFFResolutionUnit = W.TIFFResolutionUnit;
  O.XNumerator = W.TIFFXResolution.Numerator;
  O.XDenominator = W.TIFFXResolution.Denominator;
  O.YNumerator = W.TIFFYResolution.Numerator;
  O.YDenominator = W.TIFFYResolution.Denominator;
  O.JPEGQuality = W.JPEGQuality;
  O.JPEGReadDCT = R.JPEGReadDCTMethod;
  O.JPEGWriteDCT = W.JPEGWriteDCTMethod;
  O.JPEGProgressive = W.JPEGProgressive;
  O.ScreenGamma = R.ScreenGamma;
  O.GammaCorrectionOnRead = R.GammaCorrectionOnRead;
  O.WriteGamma = W.WriteGamma;
  return O;
}

void TSaveOptions::StoreToEngine() const {
  // The options the window does not show stay as they are.
  ChangeCurrentWriteOptions([this](TWriteOptions& W) {
    W.PxMWriteBinary = PxMBinary;
    W.TIFFCompression = TIFFCompression;
    W.TIFFWriteCMYK = TIFFCMYK;
    W.TIFFWhiteIsZero = TIFFWhiteIsZero;
    W.TIFFBigEndian = TIFFBigEndian;
    W.TIFFResolutionUnit = TIFFResolutionUnit;
    W.TIFFXResolution = {XNumerator, XDenominator};
    W.TIFFYResolution = {YNumerator, YDenominator};
    W.JPEGQuality = JPEGQuality;
    W.JPEGWriteDCTMethod = JPEGWriteDCT;
    W.JPEGProgressive = JPEGProgressive;
    W.WriteGamma = WriteGamma;
  });
  ChangeCurrentReadOptions([this](TReadOptions& R) {
    R.JPEGReadDCTMethod = JPEGReadDCT;
    R.ScreenGamma = ScreenGamma;
    R.GammaCorrectionOnRead = GammaCorrectionOnRead;
  });
}

namespace {

// Two choices or more in one box, exclusive.
QRadioButton* Choice(QButtonGroup* G, QBoxLayout* L, const QString& Text) {
  auto* B = new QRadioButton(Text);
  G->addButton(B);
  L->addWidget(B);
  return B;
}

QLineEdit* Number(QWidget* Parent) {
  auto* E = new QLineEdit(Parent);
  E->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), E));
  E->setMaximumWidth(70);
  return E;
}

// A row of exclusive choices under a caption.
QHBoxLayout* ChoiceRow(QGridLayout* Grid, int Row, const QString& Caption, QWidget* Parent) {
  Grid->addWidget(new QLabel(Caption, Parent), Row, 0);
  auto* L = new QHBoxLayout;
  Grid->addLayout(L, Row, 1);
  return L;
}

} // namespace

TfrmFileSaveOptions::TfrmFileSaveOptions(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmFileSaveOptions");
  setWindowTitle("File Save Options");
  auto* L = new QVBoxLayout(this);

  auto* PxM = new QGroupBox("PBM, PGM, PPM", this);
  auto* PxML = new QHBoxLayout(PxM);
  auto* PxMG = new QButtonGroup(this);
  BinaryButton = Choice(PxMG, PxML, "Write binary");
  AsciiButton = Choice(PxMG, PxML, "Write ASCII");
  L->addWidget(PxM);

  auto* Tif = new QGroupBox("TIF", this);
  auto* TifG = new QGridLayout(Tif);
  auto* R = ChoiceRow(TifG, 0, "Write compression", Tif);
  auto* CG = new QButtonGroup(this);
  NoCompressionButton = Choice(CG, R, "None");
  PackBitsButton = Choice(CG, R, "PackBits");
  R = ChoiceRow(TifG, 1, "Write true color as ", Tif);
  auto* TG = new QButtonGroup(this);
  RGBButton = Choice(TG, R, "RGB");
  CMYKButton = Choice(TG, R, "CMYK");
  R = ChoiceRow(TifG, 2, "Grayscale (2, 16, 256)", Tif);
  auto* GG = new QButtonGroup(this);
  BlackIsZeroButton = Choice(GG, R, "BlackIsZero");
  WhiteIsZeroButton = Choice(GG, R, "WhiteIsZero");
  R = ChoiceRow(TifG, 3, "Byte order", Tif);
  auto* BG = new QButtonGroup(this);
  IntelButton = Choice(BG, R, "I");
  MotorolaButton = Choice(BG, R, "M");
  R = ChoiceRow(TifG, 4, "Resolution", Tif);
  auto* UG = new QButtonGroup(this);
  NoUnitButton = Choice(UG, R, "No unit");
  InchButton = Choice(UG, R, "Inch");
  CentimeterButton = Choice(UG, R, "Centimeter");
  auto* Res = new QHBoxLayout;
  XNumEdit = Number(Tif);
  XDenEdit = Number(Tif);
  YNumEdit = Number(Tif);
  YDenEdit = Number(Tif);
  Res->addWidget(new QLabel("Horiz.:", Tif));
  Res->addWidget(XNumEdit);
  Res->addWidget(new QLabel("/", Tif));
  Res->addWidget(XDenEdit);
  Res->addWidget(new QLabel("Vert.:", Tif));
  Res->addWidget(YNumEdit);
  Res->addWidget(new QLabel("/", Tif));
  Res->addWidget(YDenEdit);
  TifG->addLayout(Res, 5, 1);
  L->addWidget(Tif);

  auto* Jpg = new QGroupBox("JPG", this);
  auto* JpgG = new QGridLayout(Jpg);
  JpgG->addWidget(new QLabel("Image Quality", Jpg), 0, 0);
  auto* QRow = new QHBoxLayout;
  QualitySlider = new QSlider(Qt::Horizontal, Jpg);
  QualitySlider->setRange(1, 100);
  QualitySlider->setInvertedAppearance(true); // "Highest" on the left
  QRow->addWidget(new QLabel("Highest", Jpg));
  QRow->addWidget(QualitySlider, 1);
  QRow->addWidget(new QLabel("Lowest", Jpg));
  JpgG->addLayout(QRow, 0, 1);
  R = ChoiceRow(JpgG, 1, "Read", Jpg);
  auto* RG = new QButtonGroup(this);
  ReadFastButton = Choice(RG, R, "Integer, fast");
  ReadPreciseButton = Choice(RG, R, "Integer, precise");
  ReadFloatButton = Choice(RG, R, "Floating point");
  R = ChoiceRow(JpgG, 2, "Write", Jpg);
  auto* WG = new QButtonGroup(this);
  WriteFastButton = Choice(WG, R, "Integer, fast");
  WritePreciseButton = Choice(WG, R, "Integer, precise");
  WriteFloatButton = Choice(WG, R, "Floating point");
  ProgressiveBox = new QCheckBox("Progressive", Jpg);
  JpgG->addWidget(ProgressiveBox, 3, 1);
  L->addWidget(Jpg);

  auto* Gen = new QGroupBox("General", this);
  auto* GenG = new QGridLayout(Gen);
  GenG->addWidget(new QLabel("Screen Gamma", Gen), 0, 0);
  GammaEdit = new QLineEdit(Gen);
  GammaEdit->setMaximumWidth(70);
  GenG->addWidget(GammaEdit, 0, 1);
  GammaOnReadBox = new QCheckBox("Gamma correction on read", Gen);
  WriteGammaBox = new QCheckBox("Write Gamma", Gen);
  GenG->addWidget(GammaOnReadBox, 1, 0, 1, 2);
  GenG->addWidget(WriteGammaBox, 2, 0, 1, 2);
  L->addWidget(Gen);

  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  L->addWidget(Buttons);
  const std::pair<QWidget*, const char*> Names[] = {{BinaryButton, "BinaryButton"},
                                                    {AsciiButton, "AsciiButton"},
                                                    {NoCompressionButton, "NoCompressionButton"},
                                                    {PackBitsButton, "PackBitsButton"},
                                                    {RGBButton, "RGBButton"},
                                                    {CMYKButton, "CMYKButton"},
                                                    {BlackIsZeroButton, "BlackIsZeroButton"},
                                                    {WhiteIsZeroButton, "WhiteIsZeroButton"},
                                                    {IntelButton, "IntelButton"},
                                                    {MotorolaButton, "MotorolaButton"},
                                                    {NoUnitButton, "NoUnitButton"},
                                                    {InchButton, "InchButton"},
                                                    {CentimeterButton, "CentimeterButton"},
                                                    {XNumEdit, "XNumEdit"},
                                                    {XDenEdit, "XDenEdit"},
                                                    {YNumEdit, "YNumEdit"},
                                                    {YDenEdit, "YDenEdit"},
                                                    {QualitySlider, "QualitySlider"},
                                                    {ReadFastButton, "ReadFastButton"},
                                                    {ReadPreciseButton, "ReadPreciseButton"},
                                                    {ReadFloatButton, "ReadFloatButton"},
                                                    {WriteFastButton, "WriteFastButton"},
                                                    {WritePreciseButton, "WritePreciseButton"},
                                                    {WriteFloatButton, "WriteFloatButton"},
                                                    {ProgressiveBox, "ProgressiveBox"},
                                                    {GammaEdit, "GammaEdit"},
                                                    {GammaOnReadBox, "GammaOnReadBox"},
                                                    {WriteGammaBox, "WriteGammaBox"},
                                                    {Buttons, "Buttons"}};
  for (const auto& N : Names)
    N.first->setObjectName(QString::fromLatin1(N.second));
  ShowOptions(TSaveOptions::FromEngine());
  SetQuality(80);
}

void TfrmFileSaveOptions::SetQuality(int Quality) {
  QualitySlider->setValue(Quality);
}

void TfrmFileSaveOptions::ShowOptions(const TSaveOptions& O) {
  (O.PxMBinary ? BinaryButton : AsciiButton)->setChecked(true);
  (O.TIFFCompression == kTIFFCompressionPackBits ? PackBitsButton : NoCompressionButton)
      ->setChecked(true);
  (O.TIFFCMYK ? CMYKButton : RGBButton)->setChecked(true);
  (O.TIFFWhiteIsZero ? WhiteIsZeroButton : BlackIsZeroButton)->setChecked(true);
  (O.TIFFBigEndian ? MotorolaButton : IntelButton)->setChecked(true);
  (O.TIFFResolutionUnit == 1   ? InchButton
   : O.TIFFResolutionUnit == 2 ? CentimeterButton
                               : NoUnitButton)
      ->setChecked(true);
  XNumEdit->setText(QString::number(O.XNumerator));
  XDenEdit->setText(QString::number(O.XDenominator));
  YNumEdit->setText(QString::number(O.YNumerator));
  YDenEdit->setText(QString::number(O.YDenominator));
  QualitySlider->setValue(O.JPEGQuality);
  auto Dct = [](int M, QRadioButton* Fast, QRadioButton* Precise, QRadioButton* Float) {
    (M == 1 ? Fast : M == 2 ? Float : Precise)->setChecked(true);
  };
  Dct(O.JPEGReadDCT, ReadFastButton, ReadPreciseButton, ReadFloatButton);
  Dct(O.JPEGWriteDCT, WriteFastButton, WritePreciseButton, WriteFloatButton);
  ProgressiveBox->setChecked(O.JPEGProgressive);
  GammaEdit->setText(QString::number(double(O.ScreenGamma), 'g', 6));
  GammaOnReadBox->setChecked(O.GammaCorrectionOnRead);
  WriteGammaBox->setChecked(O.WriteGamma);
}

bool TfrmFileSaveOptions::ReadOptions(TSaveOptions& O, QString& Why) const {
  TSaveOptions N;
  N.PxMBinary = BinaryButton->isChecked();
  N.TIFFCompression = PackBitsButton->isChecked() ? kTIFFCompressionPackBits : kTIFFCompressionNone;
  N.TIFFCMYK = CMYKButton->isChecked();
  N.TIFFWhiteIsZero = WhiteIsZeroButton->isChecked();
  N.TIFFBigEndian = MotorolaButton->isChecked();
  N.TIFFResolutionUnit = InchButton->isChecked() ? 1 : CentimeterButton->isChecked() ? 2 : 0;
  bool Ok = true;
  auto Field = [&](QLineEdit* E, bool Denominator) -> uint32_t {
    bool Good = false;
    const uint32_t V = E->text().trimmed().toUInt(&Good);
    if (!Good || (Denominator && V == 0)) Ok = false;
    return V;
  };
  N.XNumerator = Field(XNumEdit, false);
  N.XDenominator = Field(XDenEdit, true);
  N.YNumerator = Field(YNumEdit, false);
  N.YDenominator = Field(YDenEdit, true);
  if (!Ok) {
    Why = "The resolution needs whole numbers and denominators above 0.";
    return false;
  }
  N.JPEGQuality = QualitySlider->value();
  auto Dct = [](QRadioButton* Fast, QRadioButton* Float) {
    return Fast->isChecked() ? 1 : Float->isChecked() ? 2 : 0;
  };
  N.JPEGReadDCT = Dct(ReadFastButton, ReadFloatButton);
  N.JPEGWriteDCT = Dct(WriteFastButton, WriteFloatButton);
  N.JPEGProgressive = ProgressiveBox->isChecked();
  long double Gamma = 0;
  if (!ParseDecimal(GammaEdit->text().toStdString(), Gamma) || Gamma <= 0) {
    Why = "'" + GammaEdit->text() + "' is not a valid screen gamma.";
    return false;
  }
  N.ScreenGamma = Gamma;
  N.GammaCorrectionOnRead = GammaOnReadBox->isChecked();
  N.WriteGamma = WriteGammaBox->isChecked();
  O = N;
  return true;
}

void TfrmFileSaveOptions::done(int Result) {
  if (Result == QDialog::Accepted) {
    TSaveOptions O;
    QString Why;
    if (!ReadOptions(O, Why)) {
      ShowMessage(Why, this); // the window stays open for a correction
      return;
    }
  }
  QDialog::done(Result);
}

bool TfrmFileSaveOptions::Execute() {
  ShowOptions(TSaveOptions::FromEngine());
  const int R = ExecDialog ? ExecDialog(*this) : exec();
  if (R != QDialog::Accepted) return false;
  TSaveOptions O;
  QString Why;
  if (!ReadOptions(O, Why)) return false;
  O.StoreToEngine();
  return true;
}

} // namespace orbisk
