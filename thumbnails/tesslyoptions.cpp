#include "thumbnails/tesslyoptions.h"
#include "platform/dialogscale.h"

#include "platform/prompt.h"
#include "view/previewdialogs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <utility>

namespace orbisk {

namespace {

QColor ToQColor(TRGB C) {
  return QColor(int(RedOf(C)), int(GreenOf(C)), int(BlueOf(C)));
}

// An up-down field: its text cannot be typed, only the arrows change it.
QSpinBox* UpDown(int Lo, int Hi, int Step, int Value, QWidget* Parent) {
  auto* S = new QSpinBox(Parent);
  S->setRange(Lo, Hi);
  S->setSingleStep(Step);
  S->setValue(Value);
  S->findChild<QLineEdit*>()->setReadOnly(true);
  return S;
}

} // namespace

// ---- TColorButton

const std::array<TRGB, 20>& TColorButton::PaletteColors() {
  static const std::array<TRGB, 20> P = {
      RGBOf(255, 255, 255), RGBOf(255, 0, 0),     RGBOf(0, 255, 0),     RGBOf(0, 0, 255),
      RGBOf(191, 215, 191), RGBOf(0, 0, 0),       RGBOf(127, 0, 0),     RGBOf(0, 127, 0),
      RGBOf(0, 0, 127),     RGBOf(159, 191, 239), RGBOf(191, 191, 191), RGBOf(255, 255, 0),
      RGBOf(0, 255, 255),   RGBOf(255, 0, 255),   RGBOf(255, 247, 239), RGBOf(127, 127, 127),
      RGBOf(127, 127, 0),   RGBOf(0, 127, 127),   RGBOf(127, 0, 127),   RGBOf(159, 159, 159)};
  return P;
}

TColorButton::TColorButton(TRGB Color, QWidget* Parent) : QToolButton(Parent), FColor(Color) {
  setPopupMode(QToolButton::InstantPopup);
  FMenu = new QMenu(this);
  auto* Grid = new QWidget(FMenu);
  auto* L = new QGridLayout(Grid);
  L->setSpacing(2);
  const auto& P = PaletteColors();
  for (int I = 0; I < 20; ++I) {
    auto* B = new QToolButton(Grid);
    B->setFixedSize(18, 18);
    B->setStyleSheet(QString("background-color: %1").arg(ToQColor(P[size_t(I)]).name()));
    B->setObjectName(QString("Palette%1").arg(I));
    connect(B, &QToolButton::clicked, this, [this, C = P[size_t(I)]] {
      FMenu->close();
      SetColor(C);
    });
    L->addWidget(B, I / 5, I % 5);
  }
  auto* Other = new QToolButton(Grid);
  Other->setText("&Other");
  connect(Other, &QToolButton::clicked, this, [this] {
    FMenu->close();
    // Sixteen custom colours that start white.
    static bool CustomReady = false;
    if (!CustomReady) {
      for (int I = 0; I < QColorDialog::customCount(); ++I)
        QColorDialog::setCustomColor(I, Qt::white);
      CustomReady = true;
    }
    const QColor C = QColorDialog::getColor(ToQColor(FColor), this);
    if (C.isValid()) SetColor(RGBOf(unsigned(C.red()), unsigned(C.green()), unsigned(C.blue())));
  });
  L->addWidget(Other, 4, 0, 1, 5);
  auto* WA = new QWidgetAction(FMenu);
  WA->setDefaultWidget(Grid);
  FMenu->addAction(WA);
  setMenu(FMenu);
  SetColor(Color);
}

void TColorButton::SetColor(TRGB C) {
  FColor = C;
  QPixmap Swatch(28, 14);
  Swatch.fill(ToQColor(C));
  setIcon(QIcon(Swatch));
  setIconSize(Swatch.size());
  emit ColorChanged(C);
}

// ---- TfrmTesslyOptions

TfrmTesslyOptions::TfrmTesslyOptions(QWidget* Parent)
    : QDialog(Parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setWindowTitle("Tessly Options");
  resize(ScaledSize(304, 308));
  const TTesslyOptions D;
  Tabs = new QTabWidget(this);

  // Basic
  auto* Basic = new QWidget;
  eSize = new QLineEdit(QString::number(D.Size), Basic);
  eSize->setToolTip("Tessly Size (pixels)");
  eSize->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), eSize));
  eSize->installEventFilter(this);
  udCols = UpDown(1, 20, 1, D.Cols, Basic);
  udHSpace = UpDown(5, 100, 5, D.HSpace, Basic);
  udVSpace = UpDown(20, 100, 5, D.VSpace, Basic);
  cbtnBGColor = new TColorButton(D.BGColor, Basic);
  cbtnFontColor = new TColorButton(D.FontColor, Basic);
  cbIncFileNames = new QCheckBox("Include Filenames", Basic);
  cbIncFileNames->setChecked(D.IncFileNames);
  cbAutoSharpen = new QCheckBox("Auto Sharpen", Basic);
  cbAutoSharpen->setChecked(D.AutoSharpen);
  tbSharpeningFactor = new QSlider(Qt::Horizontal, Basic);
  tbSharpeningFactor->setRange(50, 100);
  tbSharpeningFactor->setValue(D.SharpeningFactor);
  connect(cbAutoSharpen, &QCheckBox::toggled, tbSharpeningFactor, &QWidget::setEnabled);
  auto* SharpRow = new QHBoxLayout;
  SharpRow->addWidget(new QLabel("Min", Basic));
  SharpRow->addWidget(tbSharpeningFactor);
  SharpRow->addWidget(new QLabel("Max", Basic));
  auto* BF = new QFormLayout(Basic);
  BF->addRow("Size", eSize);
  BF->addRow("Cols", udCols);
  BF->addRow("H Spc", udHSpace);
  BF->addRow("V Spc", udVSpace);
  BF->addRow("Background Color", cbtnBGColor);
  BF->addRow("Text Color", cbtnFontColor);
  BF->addRow(cbIncFileNames);
  BF->addRow(cbAutoSharpen);
  BF->addRow("Sharpening Factor", SharpRow);
  Tabs->addTab(Basic, "Basic");

  // Background
  auto* Back = new QWidget;
  cbUseBGImage = new QCheckBox("Use Image for Background", Back);
  eBGImage = new QLineEdit(D.BGImage, Back);
  btnBGImage = new QToolButton(Back);
  btnBGImage->setText("...");
  connect(btnBGImage, &QToolButton::clicked, this, [this] {
    const QString F = ChooseBackground ? ChooseBackground() : OpenBackground();
    if (!F.isEmpty()) eBGImage->setText(F);
  });
  auto* BackRow = new QHBoxLayout;
  BackRow->addWidget(eBGImage);
  BackRow->addWidget(btnBGImage);
  auto* BL = new QVBoxLayout(Back);
  BL->addWidget(cbUseBGImage);
  BL->addWidget(new QLabel("Image File for Background", Back));
  BL->addLayout(BackRow);
  BL->addStretch();
  Tabs->addTab(Back, "Background");

  // Border FX: each effect in its own box.
  auto* FX = new QWidget;
  auto* FL = new QVBoxLayout(FX);
  auto Box = [FX, FL](const QString& Title) {
    auto* G = new QGroupBox(Title, FX);
    FL->addWidget(G);
    return new QHBoxLayout(G);
  };
  cbAddBorder = new QCheckBox("Add Border", FX);
  cbAddBorder->setChecked(D.AddBorder);
  cbtnBorderColor = new TColorButton(D.BorderColor, FX);
  auto* B1 = Box("Border");
  B1->addWidget(cbAddBorder);
  B1->addWidget(new QLabel("Border Color", FX));
  B1->addWidget(cbtnBorderColor);
  cbDropShadow = new QCheckBox("Add Shadow", FX);
  cbDropShadow->setChecked(D.DropShadow);
  Box("Shadow")->addWidget(cbDropShadow);
  cbBevel = new QCheckBox("3D Bevel", FX);
  cbBevel->setChecked(D.Bevel);
  Box("Bevel")->addWidget(cbBevel);
  FL->addStretch();
  Tabs->addTab(FX, "Border FX");

  // Title/Footer
  auto* TF = new QWidget;
  auto* TL = new QVBoxLayout(TF);
  auto Line = [TF, TL](const QString& Title, QCheckBox*& Check, const QString& CheckText,
                       QLineEdit*& Text, const QString& Value, QFontComboBox*& Font,
                       const QString& FontName, QSpinBox*& Size, int SizeValue,
                       TColorButton*& Color, TRGB ColorValue) {
    auto* G = new QGroupBox(Title, TF);
    auto* GL = new QGridLayout(G);
    Check = new QCheckBox(CheckText, G);
    Text = new QLineEdit(Value, G);
    Font = new QFontComboBox(G);
    Font->setCurrentFont(QFont(FontName));
    Size = UpDown(6, 72, 1, SizeValue, G);
    Color = new TColorButton(ColorValue, G);
    GL->addWidget(Check, 0, 0);
    GL->addWidget(Color, 0, 2);
    GL->addWidget(Text, 1, 0, 1, 3);
    GL->addWidget(Font, 2, 0);
    GL->addWidget(new QLabel("Font Size", G), 2, 1);
    GL->addWidget(Size, 2, 2);
    TL->addWidget(G);
  };
  Line("Title", cbTitle, "Include Title", eTitle, D.TitleText, fcbTitle, D.TitleFont, udTitleSize,
       D.TitleSize, cbtnTitleColor, D.TitleColor);
  Line("Footer", cbFooter, "Include Footer", eFooter, D.FooterText, fcbFooter, D.FooterFont,
       udFooterSize, D.FooterSize, cbtnFooterColor, D.FooterColor);
  TL->addStretch();
  Tabs->addTab(TF, "Title/Footer");

  auto* L = new QVBoxLayout(this);
  L->addWidget(Tabs);
  // Every control is named as its member, so that it can be found by name.
  const std::pair<QObject*, const char*> Named[] = {
      {Tabs, "Tabs"},
      {eSize, "eSize"},
      {udCols, "udCols"},
      {udHSpace, "udHSpace"},
      {udVSpace, "udVSpace"},
      {cbtnBGColor, "cbtnBGColor"},
      {cbtnFontColor, "cbtnFontColor"},
      {cbIncFileNames, "cbIncFileNames"},
      {cbAutoSharpen, "cbAutoSharpen"},
      {tbSharpeningFactor, "tbSharpeningFactor"},
      {cbUseBGImage, "cbUseBGImage"},
      {eBGImage, "eBGImage"},
      {btnBGImage, "btnBGImage"},
      {cbAddBorder, "cbAddBorder"},
      {cbDropShadow, "cbDropShadow"},
      {cbBevel, "cbBevel"},
      {cbtnBorderColor, "cbtnBorderColor"},
      {cbTitle, "cbTitle"},
      {cbFooter, "cbFooter"},
      {eTitle, "eTitle"},
      {eFooter, "eFooter"},
      {fcbTitle, "fcbTitle"},
      {fcbFooter, "fcbFooter"},
      {udTitleSize, "udTitleSize"},
      {udFooterSize, "udFooterSize"},
      {cbtnTitleColor, "cbtnTitleColor"},
      {cbtnFooterColor, "cbtnFooterColor"},
  };
  for (const auto& [Object, Name] : Named)
    Object->setObjectName(Name);
  // With larger fonts some pages need more than the scaled size: the largest page decides.
  resize(size().expandedTo(sizeHint()));
}

bool TfrmTesslyOptions::eventFilter(QObject* O, QEvent* E) {
  if (O == eSize && E->type() == QEvent::FocusOut) CheckSize();
  return QDialog::eventFilter(O, E);
}

bool TfrmTesslyOptions::CheckSize() {
  if (FCheckingSize) return true;
  bool Ok = false;
  const int V = eSize->text().toInt(&Ok);
  if (Ok && V >= kTesslyMinSize && V <= kTesslyMaxSize) return true;
  FCheckingSize = true;
  ShowMessage(kTesslySizeMessage, this);
  eSize->setText(QString::number(kTesslyDefaultSize));
  Tabs->setCurrentIndex(0);
  eSize->setFocus();
  FCheckingSize = false;
  return false;
}

TTesslyOptions TfrmTesslyOptions::Options() const {
  TTesslyOptions O;
  bool Ok = false;
  const int Size = eSize->text().toInt(&Ok);
  O.Size = Ok && Size >= kTesslyMinSize && Size <= kTesslyMaxSize ? Size : kTesslyDefaultSize;
  O.Cols = udCols->value();
  O.HSpace = udHSpace->value();
  O.VSpace = udVSpace->value();
  O.BGColor = cbtnBGColor->Color();
  O.FontColor = cbtnFontColor->Color();
  O.IncFileNames = cbIncFileNames->isChecked();
  O.AutoSharpen = cbAutoSharpen->isChecked();
  O.SharpeningFactor = tbSharpeningFactor->value();
  O.UseBGImage = cbUseBGImage->isChecked();
  O.BGImage = eBGImage->text();
  O.AddBorder = cbAddBorder->isChecked();
  O.BorderColor = cbtnBorderColor->Color();
  O.DropShadow = cbDropShadow->isChecked();
  O.Bevel = cbBevel->isChecked();
  O.Title = cbTitle->isChecked();
  O.TitleText = eTitle->text();
  O.TitleFont = fcbTitle->currentFont().family();
  O.TitleSize = udTitleSize->value();
  O.TitleColor = cbtnTitleColor->Color();
  O.Footer = cbFooter->isChecked();
  O.FooterText = eFooter->text();
  O.FooterFont = fcbFooter->currentFont().family();
  O.FooterSize = udFooterSize->value();
  O.FooterColor = cbtnFooterColor->Color();
  return O;
}

QString TfrmTesslyOptions::OpenBackground() {
  TPGOpenDialog D(this);
  const QString Backgrounds = QCoreApplication::applicationDirPath() + "/Backgrounds";
  if (QDir(Backgrounds).exists()) D.InitialDir = Backgrounds;
  return D.Execute() ? D.FileName : QString();
}

} // namespace orbisk
