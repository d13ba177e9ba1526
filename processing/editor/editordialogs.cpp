#include "processing/editor/editordialogs.h"

#include "platform/pgqt.h"
#include "processing/transforms.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QVBoxLayout>

#include <cstring>

namespace orbisk {

namespace {

// Digits only (at most nine, so that every value fits an int).
QLineEdit* DigitsEdit(const QString& Text, QWidget* Parent) {
  auto* E = new QLineEdit(Text, Parent);
  E->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), E));
  return E;
}

QDialogButtonBox* OkCancel(QDialog* D) {
  auto* B = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, D);
  QObject::connect(B, &QDialogButtonBox::accepted, D, &QDialog::accept);
  QObject::connect(B, &QDialogButtonBox::rejected, D, &QDialog::reject);
  return B;
}

QSlider* Slider(int Min, int Max, int Value, QWidget* Parent) {
  auto* S = new QSlider(Qt::Horizontal, Parent);
  S->setRange(Min, Max);
  S->setValue(Value);
  return S;
}

// A slider with its two end labels.
QWidget* SliderRow(QSlider* S, const QString& Left, const QString& Right, QWidget* Parent) {
  auto* W = new QWidget(Parent);
  auto* L = new QHBoxLayout(W);
  L->setContentsMargins(0, 0, 0, 0);
  L->addWidget(new QLabel(Left, W));
  L->addWidget(S, 1);
  L->addWidget(new QLabel(Right, W));
  return W;
}

} // namespace

QImage FastBMPToQImage(const TFastRGB& B) {
  if (B.Empty()) return QImage();
  QImage I(B.Width(), B.Height(), QImage::Format_RGB888);
  for (int Y = 0; Y < B.Height(); ++Y) {
    const uint8_t* S = B.Row(Y);
    uint8_t* D = I.scanLine(Y);
    for (int X = 0; X < B.Width(); ++X, S += 3, D += 3) {
      D[0] = S[2];
      D[1] = S[1];
      D[2] = S[0];
    }
  }
  return I;
}

// ---- TfRotate

TfRotate::TfRotate(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fRotate");
  setWindowTitle("Rotate Degrees");
  auto* L = new QVBoxLayout(this);
  auto* Form = new QFormLayout;
  AngleEdit = new QLineEdit("0", this);
  AngleEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,12}"), this));
  Form->addRow("Angle:", AngleEdit);
  L->addLayout(Form);
  ClockwiseButton = new QRadioButton("Clockwise", this);
  CounterClockwiseButton = new QRadioButton("Counter Clockwise", this);
  ClockwiseButton->setChecked(true);
  L->addWidget(ClockwiseButton);
  L->addWidget(CounterClockwiseButton);
  Buttons = OkCancel(this);
  L->addWidget(Buttons);
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {
      {AngleEdit, "AngleEdit"},
      {ClockwiseButton, "ClockwiseButton"},
      {CounterClockwiseButton, "CounterClockwiseButton"},
      {Buttons, "Buttons"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

QString TfRotate::AngleText() const {
  return AngleEdit->text();
}

bool TfRotate::Angle(long double& A) const {
  long double Typed = 0;
  if (!ParseDecimal(AngleEdit->text().toStdString(), Typed)) return false;
  A = ArbitraryAngle(Typed, ClockwiseButton->isChecked());
  return true;
}

// ---- TfrmResize

TfrmResize::TfrmResize(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmResize");
  setWindowTitle("Resize");
  auto* L = new QVBoxLayout(this);
  auto* Orig = new QGroupBox("Original Size", this);
  auto* OrigForm = new QFormLayout(Orig);
  OrigWidthLabel = new QLabel(Orig);
  OrigHeightLabel = new QLabel(Orig);
  OrigForm->addRow("Width:", OrigWidthLabel);
  OrigForm->addRow("Height:", OrigHeightLabel);
  L->addWidget(Orig);
  auto* New = new QGroupBox("New Size", this);
  auto* NewForm = new QFormLayout(New);
  WidthEdit = DigitsEdit("", New);
  HeightEdit = DigitsEdit("", New);
  NewForm->addRow("Width:", WidthEdit);
  NewForm->addRow("Height:", HeightEdit);
  L->addWidget(New);
  ConstrainBox = new QCheckBox("Constrain Proportions", this);
  ConstrainBox->setChecked(true);
  L->addWidget(ConstrainBox);
  Buttons = OkCancel(this);
  L->addWidget(Buttons);
  connect(WidthEdit, &QLineEdit::editingFinished, this, [this] { WidthEditExit(); });
  connect(HeightEdit, &QLineEdit::editingFinished, this, [this] { HeightEditExit(); });
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {
      {OrigWidthLabel, "OrigWidthLabel"}, {OrigHeightLabel, "OrigHeightLabel"},
      {WidthEdit, "WidthEdit"},           {HeightEdit, "HeightEdit"},
      {ConstrainBox, "ConstrainBox"},     {Buttons, "Buttons"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

void TfrmResize::Setup(int Width, int Height) {
  FOldWidth = Width;
  FOldHeight = Height;
  OrigWidthLabel->setText(QString::number(Width));
  OrigHeightLabel->setText(QString::number(Height));
  WidthEdit->setText(QString::number(Width));
  HeightEdit->setText(QString::number(Height));
}

int TfrmResize::NewWidth() const {
  return WidthEdit->text().toInt();
}

int TfrmResize::NewHeight() const {
  return HeightEdit->text().toInt();
}

void TfrmResize::WidthEditExit() {
  if (ConstrainBox->isChecked())
    HeightEdit->setText(QString::number(ProportionalSide(NewWidth(), FOldWidth, FOldHeight)));
}

void TfrmResize::HeightEditExit() {
  if (ConstrainBox->isChecked())
    WidthEdit->setText(QString::number(ProportionalSide(NewHeight(), FOldHeight, FOldWidth)));
}

// ---- TfrmBorder

TfrmBorder::TfrmBorder(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmBorder");
  setWindowTitle("Border Options");
  auto* L = new QVBoxLayout(this);
  auto* Form = new QFormLayout;
  WidthEdit = DigitsEdit("20", this);
  Form->addRow("Width (pixels)", WidthEdit);
  ColorButton = new QPushButton(this);
  ColorButton->setFixedSize(48, 22);
  ColorButton->setToolTip("Color");
  Form->addRow("Color", ColorButton);
  L->addLayout(Form);
  auto* Shape = new QGroupBox(" Shape ", this);
  auto* ShapeL = new QVBoxLayout(Shape);
  RectangleButton = new QRadioButton("Rectangle", Shape);
  EllipseButton = new QRadioButton("Ellipse", Shape);
  RectangleButton->setChecked(true);
  ShapeL->addWidget(RectangleButton);
  ShapeL->addWidget(EllipseButton);
  L->addWidget(Shape);
  Buttons = OkCancel(this);
  L->addWidget(Buttons);
  SetColor(0xFFFFFF);
  connect(ColorButton, &QPushButton::clicked, this, [this] { ColorButtonClick(); });
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {{WidthEdit, "WidthEdit"},
                                                    {ColorButton, "ColorButton"},
                                                    {RectangleButton, "RectangleButton"},
                                                    {EllipseButton, "EllipseButton"},
                                                    {Buttons, "Buttons"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

int TfrmBorder::BorderWidth() const {
  return WidthEdit->text().toInt();
}

void TfrmBorder::SetColor(TRGB C) {
  FColor = C;
  ColorButton->setStyleSheet(
      QString("background-color: rgb(%1, %2, %3);").arg(RedOf(C)).arg(GreenOf(C)).arg(BlueOf(C)));
}

bool TfrmBorder::Oval() const {
  return EllipseButton->isChecked();
}

void TfrmBorder::ColorButtonClick() {
  const QColor C =
      QColorDialog::getColor(QColor(RedOf(FColor), GreenOf(FColor), BlueOf(FColor)), this, "Color");
  if (C.isValid()) SetColor(RGBOf(C.red(), C.green(), C.blue()));
}

// ---- TfrmGaussianBlur

TfrmGaussianBlur::TfrmGaussianBlur(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmGaussianBlur");
  setWindowTitle("Gaussian Blur");
  auto* L = new QVBoxLayout(this);
  L->addWidget(new QLabel("Relative Strength", this));
  StrengthSlider = Slider(1, 100, 30, this);
  auto* Row = new QHBoxLayout;
  Row->addWidget(SliderRow(StrengthSlider, "0.1", "10", this), 1);
  ValueLabel = new QLabel("3.0", this);
  ValueLabel->setMinimumWidth(32);
  Row->addWidget(ValueLabel);
  L->addLayout(Row);
  Buttons = OkCancel(this);
  L->addWidget(Buttons);
  connect(StrengthSlider, &QSlider::valueChanged, this,
          [this](int V) { ValueLabel->setText(QString::number(V / 10.0, 'f', 1)); });
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {
      {StrengthSlider, "StrengthSlider"}, {ValueLabel, "ValueLabel"}, {Buttons, "Buttons"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

float TfrmGaussianBlur::Radius() const {
  return float(StrengthSlider->value() * 0.1L);
}

// ---- TfrmNewEFX

namespace {
constexpr int kPreviewSide = 240, kPreviewMargin = 5;
}

TfrmNewEFX::TfrmNewEFX(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmNewEFX");
  auto* L = new QVBoxLayout(this);
  L->addSpacing(kPreviewSide + 2 * kPreviewMargin);
  AmountSlider = Slider(0, 100, 0, this);
  L->addWidget(AmountSlider);
  Buttons = OkCancel(this);
  L->addWidget(Buttons);
  setMinimumWidth(kPreviewSide + 2 * kPreviewMargin);
  connect(AmountSlider, &QSlider::valueChanged, this, [this] { SliderChange(); });
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {{AmountSlider, "AmountSlider"},
                                                    {Buttons, "Buttons"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

void TfrmNewEFX::Setup(TFastEffect Effect, const QString& Caption, const TPixelGraphic& Picture) {
  FEffect = Effect;
  setWindowTitle(Caption);
  BuildEffectPreview(Picture, FSource);
  {
    const QSignalBlocker Block(AmountSlider);
    AmountSlider->setValue(0);
  }
  SliderChange();
}

int TfrmNewEFX::Amount() const {
  return AmountSlider->value();
}

QRect TfrmNewEFX::PreviewRect() const {
  const int W = FWork.Width(), H = FWork.Height();
  return QRect((kPreviewSide - W) / 2 + kPreviewMargin, (kPreviewSide - H) / 2 + kPreviewMargin, W,
               H);
}

void TfrmNewEFX::SliderChange() {
  if (FSource.Empty()) {
    FWork.SetSize(0, 0);
    FShown = QImage();
  } else {
    ApplyFastEffect(FEffect, FSource, FWork, Amount());
    FShown = FastBMPToQImage(FWork);
  }
  update();
}

void TfrmNewEFX::paintEvent(QPaintEvent* E) {
  QDialog::paintEvent(E);
  if (FShown.isNull()) return;
  QPainter P(this);
  P.drawImage(PreviewRect().topLeft(), FShown);
}

// ---- TfrmRedEyeReduction

TfrmRedEyeReduction::TfrmRedEyeReduction(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmRedEyeReduction");
  setWindowTitle("Red Eye Reduction");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  auto* L = new QVBoxLayout(this);
  PictureLabel = new QLabel(this);
  PictureLabel->setFixedSize(240, 240);
  PictureLabel->setAlignment(Qt::AlignCenter);
  L->addWidget(PictureLabel, 0, Qt::AlignHCenter);
  L->addWidget(new QLabel("Red Eye Reduction Amount", this));
  AmountSlider = Slider(-50, 80, 0, this);
  L->addWidget(SliderRow(AmountSlider, "Min", "Max", this));
  Buttons = OkCancel(this);
  L->addWidget(Buttons);
  connect(AmountSlider, &QSlider::valueChanged, this, [this] { Recompute(); });
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {
      {AmountSlider, "AmountSlider"}, {PictureLabel, "PictureLabel"}, {Buttons, "Buttons"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

void TfrmRedEyeReduction::Setup(const TPixelGraphic& Area) {
  FArea.Assign(&Area);
  ConvertToTrueColor(FArea);
  Recompute();
}

int TfrmRedEyeReduction::Position() const {
  return AmountSlider->value();
}

void TfrmRedEyeReduction::Recompute() {
  FShown.Assign(&FArea);
  if (FShown.Empty()) {
    PictureLabel->clear();
    return;
  }
  RedEyeReduction(FShown, RedEyeThresholds(Position()));
  const QImage I = ToQImage(FShown);
  PictureLabel->setPixmap(QPixmap::fromImage(
      I.scaled(PictureLabel->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

} // namespace orbisk
