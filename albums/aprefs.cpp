#include "albums/aprefs.h"

#include "platform/dialogscale.h"
#include "platform/prompt.h"
#include "platform/settingsstore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace orbisk {

namespace {

QButtonGroup* RadioGroup(QWidget* Owner, QGroupBox* Box, const QStringList& Items, int Columns) {
  auto* G = new QButtonGroup(Owner);
  auto* Grid = new QGridLayout(Box);
  const int PerColumn = (Items.size() + Columns - 1) / Columns;
  for (int I = 0; I < Items.size(); ++I) {
    auto* B = new QRadioButton(Items[I], Box);
    G->addButton(B, I);
    Grid->addWidget(B, I % PerColumn, I / PerColumn);
  }
  return G;
}

QColor ToQColor(int C) {
  if (C < 0) return Qt::black;
  return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
}

} // namespace

TfAPrefs::TfAPrefs(TAlbumPrefs& Prefs, QWidget* Parent) : QDialog(Parent), FPrefs(Prefs) {
  setWindowTitle("Frame Setup");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);

  auto* Main = new QVBoxLayout(this);
  Tabs = new QTabWidget(this);
  Main->addWidget(Tabs);

  // ---- Images
  auto* Images = new QWidget;
  auto* IL = new QVBoxLayout(Images);
  auto* Form = new QFormLayout;
  Cols = new QSpinBox;
  Cols->setRange(TAlbumPrefs::kMinRowsCols, TAlbumPrefs::kMaxRowsCols);
  Cols->setToolTip("Number Of Columns");
  Rows = new QSpinBox;
  Rows->setRange(TAlbumPrefs::kMinRowsCols, TAlbumPrefs::kMaxRowsCols);
  Rows->setToolTip("Number Of Rows");
  Border = new QSpinBox;
  Border->setRange(TAlbumPrefs::kMinBorder, TAlbumPrefs::kMaxBorder);
  Border->setSingleStep(TAlbumPrefs::kBorderStep);
  Border->setToolTip("Space around image");
  Form->addRow("Columns", Cols);
  Form->addRow("Rows", Rows);
  Form->addRow("Frame Border", Border);
  txtImagesPerSheet = new QLabel;
  Form->addRow("Images Per Sheet", txtImagesPerSheet);
  IL->addLayout(Form);
  auto* EffectBox = new QGroupBox("Border Effect");
  rgBorderEffect = RadioGroup(
      this, EffectBox,
      {"None", "Drop Shadow", "Soft Rectange", "Soft Ellipse", "White Border", "Bevel"}, 2);
  IL->addWidget(EffectBox);
  auto* QualityBox = new QGroupBox("Resizing Quality");
  QualityBox->setToolTip("Quality of resized image");
  rgQuality = RadioGroup(this, QualityBox, {"Good (fastest)   ", "Better", "Best (slowest)"}, 1);
  IL->addWidget(QualityBox);
  cbPrintFrames = new QCheckBox("Print Frames");
  cbPrintFrames->setToolTip("Print Frame Borders");
  IL->addWidget(cbPrintFrames);
  Tabs->addTab(Images, "Images");

  // ---- Captions
  auto* Captions = new QWidget;
  auto* CL = new QVBoxLayout(Captions);
  auto* CaptionBox = new QGroupBox("Caption Options");
  rgCaption =
      RadioGroup(this, CaptionBox,
                 {"None", "Filename", "Caption", "Date/Time", "Filename + Date/Time", "Custom"}, 2);
  eCustomCaption = new QLineEdit;
  eCustomCaption->installEventFilter(this);
  static_cast<QGridLayout*>(CaptionBox->layout())->addWidget(eCustomCaption, 3, 0, 1, 2);
  CL->addWidget(CaptionBox);
  auto* PlacementBox = new QGroupBox("Caption Placement");
  rgCaptionPlacement = RadioGroup(this, PlacementBox, {"Under Image", "Embedded In Image"}, 2);
  CL->addWidget(PlacementBox);
  EmbeddedPositionBox = new QGroupBox("Embedded Position");
  rgEmbeddedPosition = RadioGroup(
      this, EmbeddedPositionBox,
      {"Top Left", "Bottom Left", "Top Center", "Bottom Center", "Top Right", "Bottom Right"}, 3);
  CL->addWidget(EmbeddedPositionBox);
  cbTransparentBackGround = new QCheckBox("Transparent Background");
  CL->addWidget(cbTransparentBackGround);
  auto* ColorBox = new QGroupBox("Caption Color");
  auto* ColorLayout = new QHBoxLayout(ColorBox);
  CaptionColor = new QPushButton;
  CaptionColor->setFixedSize(60, 22);
  ColorLayout->addWidget(CaptionColor);
  ColorLayout->addStretch();
  CL->addWidget(ColorBox);
  Tabs->addTab(Captions, "Captions");

  OKButton = new QPushButton("OK");
  OKButton->setDefault(true);
  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch();
  Buttons->addWidget(OKButton);
  Main->addLayout(Buttons);

  ChooseColor = [this](int& Color) {
    QColor C = QColorDialog::getColor(ToQColor(Color), this, "Caption Color");
    if (!C.isValid()) return false;
    Color = C.red() | (C.green() << 8) | (C.blue() << 16);
    return true;
  };

  // User changes go to the model, which applies its rules; the controls then show the result.
  auto After = [this] { Refresh(); };
  connect(Cols, &QSpinBox::valueChanged, this, [this, After](int V) {
    if (FRefreshing) return;
    FPrefs.SetCols(V);
    After();
  });
  connect(Rows, &QSpinBox::valueChanged, this, [this, After](int V) {
    if (FRefreshing) return;
    FPrefs.SetRows(V);
    After();
  });
  connect(Border, &QSpinBox::valueChanged, this, [this](int V) {
    if (!FRefreshing) FPrefs.SetBorder(V);
  });
  connect(rgCaption, &QButtonGroup::idClicked, this, [this, After](int Id) {
    FPrefs.ChangeCaptionOption(Id);
    After();
  });
  connect(rgCaptionPlacement, &QButtonGroup::idClicked, this, [this, After](int Id) {
    FPrefs.ChangeCaptionPlacement(Id);
    After();
  });
  connect(rgBorderEffect, &QButtonGroup::idClicked, this,
          [this](int Id) { FPrefs.SetBorderEffect(Id); });
  connect(rgQuality, &QButtonGroup::idClicked, this, [this](int Id) { FPrefs.SetQuality(Id); });
  connect(rgEmbeddedPosition, &QButtonGroup::idClicked, this,
          [this](int Id) { FPrefs.SetEmbeddedPosition(Id); });
  connect(cbPrintFrames, &QCheckBox::toggled, this, [this](bool On) {
    if (!FRefreshing) FPrefs.SetPrintFrames(On);
  });
  connect(cbTransparentBackGround, &QCheckBox::toggled, this, [this](bool On) {
    if (!FRefreshing) FPrefs.SetTransparentBackground(On);
  });
  connect(eCustomCaption, &QLineEdit::textChanged, this,
          [this](const QString& T) { FPrefs.CustomCaption = T; });
  connect(CaptionColor, &QPushButton::clicked, this, [this] {
    int C = FPrefs.CaptionColor();
    if (ChooseColor && ChooseColor(C)) {
      FPrefs.SetCaptionColor(C);
      ShowCaptionColor();
    }
  });
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  setObjectName("fAPrefs");
  const std::pair<QObject*, const char*> Names[] = {
      {Tabs, "Tabs"},
      {Cols, "Cols"},
      {Rows, "Rows"},
      {Border, "Border"},
      {txtImagesPerSheet, "txtImagesPerSheet"},
      {rgCaption, "rgCaption"},
      {rgBorderEffect, "rgBorderEffect"},
      {rgQuality, "rgQuality"},
      {rgCaptionPlacement, "rgCaptionPlacement"},
      {rgEmbeddedPosition, "rgEmbeddedPosition"},
      {EmbeddedPositionBox, "EmbeddedPositionBox"},
      {cbPrintFrames, "cbPrintFrames"},
      {cbTransparentBackGround, "cbTransparentBackGround"},
      {CaptionColor, "CaptionColor"},
      {eCustomCaption, "eCustomCaption"},
      {OKButton, "OKButton"}};
  for (const auto& [Object, Name] : Names)
    Object->setObjectName(Name);
  Refresh();
  // The described size grown with this desktop's fonts, and never below what the tabs need:
  // squeezed radio buttons and a custom caption box of two pixels cannot be used.
  setFixedSize(ScaledSize(kWidth, kHeight).expandedTo(Main->totalMinimumSize()));
}

void TfAPrefs::ShowCaptionColor() {
  CaptionColor->setStyleSheet(
      QString("background-color: %1;").arg(ToQColor(FPrefs.CaptionColor()).name()));
}

void TfAPrefs::Refresh() {
  FRefreshing = true;
  Cols->setValue(FPrefs.Cols());
  Rows->setValue(FPrefs.Rows());
  Border->setValue(FPrefs.Border());
  txtImagesPerSheet->setText(QString::number(FPrefs.ImagesPerSheet()));
  rgCaption->button(FPrefs.CaptionOption())->setChecked(true);
  rgBorderEffect->button(FPrefs.BorderEffect())->setChecked(true);
  rgQuality->button(FPrefs.Quality())->setChecked(true);
  rgCaptionPlacement->button(FPrefs.CaptionPlacement())->setChecked(true);
  rgEmbeddedPosition->button(FPrefs.EmbeddedPosition())->setChecked(true);
  EmbeddedPositionBox->setEnabled(FPrefs.EmbeddedPositionEnabled());
  cbPrintFrames->setChecked(FPrefs.PrintFrames());
  cbTransparentBackGround->setChecked(FPrefs.TransparentBackground());
  if (eCustomCaption->text() != FPrefs.CustomCaption) eCustomCaption->setText(FPrefs.CustomCaption);
  ShowCaptionColor();
  FRefreshing = false;
}

void TfAPrefs::LoadAlbumPreferences() {
  TSettingsStore Store;
  if (!FPrefs.Load(Store)) ShowMessage(kPrefsReadError, this);
  Refresh();
}

void TfAPrefs::SaveAlbumPreferences() {
  TSettingsStore Store;
  FPrefs.Save(Store);
}

void TfAPrefs::showEvent(QShowEvent* E) {
  // Shown by the user: the stored values. Not when restored from minimised, which would put them
  // over an opened album's layout.
  if (!E->spontaneous()) LoadAlbumPreferences();
  QDialog::showEvent(E);
}

void TfAPrefs::done(int R) {
  SaveAlbumPreferences();
  QDialog::done(R);
}

bool TfAPrefs::eventFilter(QObject* O, QEvent* E) {
  // Clicking into the custom text chooses the custom caption.
  if (O == eCustomCaption && E->type() == QEvent::MouseButtonPress &&
      FPrefs.CaptionOption() != coCustom) {
    FPrefs.ChangeCaptionOption(coCustom);
    Refresh();
  }
  return QDialog::eventFilter(O, E);
}

} // namespace orbisk
