#include "processing/editor/barrel.h"
#include "platform/waitcursor.h"

#include "platform/dialogscale.h"
#include "platform/dragfiles.h"
#include "platform/prompt.h"
#include "platform/settingsstore.h"
#include "processing/editor/editormodel.h"
#include "processing/transforms.h"
#include "view/pgimage.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace orbisk {

TfrmBarrel::TfrmBarrel(QWidget* Parent) : QDialog(Parent) {
  setObjectName("frmBarrel");
  setWindowTitle("Radial Adjustment (Barrel Distortion)");
  auto* L = new QVBoxLayout(this);
  auto* Views = new QHBoxLayout;
  auto MakeView = [&](const QString& Title, TPGImage*& View) {
    auto* Box = new QGroupBox(Title, this);
    auto* BL = new QVBoxLayout(Box);
    View = new TPGImage(Box);
    View->setMinimumSize(240, 200);
    BL->addWidget(View);
    Views->addWidget(Box, 1);
  };
  MakeView("Original", OriginalView);
  MakeView("Adjusted", AdjustedView);
  L->addLayout(Views, 1);

  auto* Row = new QHBoxLayout;
  auto* Form = new QFormLayout;
  OuterEdit = new QLineEdit(this);
  MiddleEdit = new QLineEdit(this);
  InnerEdit = new QLineEdit(this);
  ScalingEdit = new QLineEdit(this);
  Form->addRow("Outer", OuterEdit);
  Form->addRow("Middle", MiddleEdit);
  Form->addRow("Inner", InnerEdit);
  Form->addRow("Scaling", ScalingEdit);
  Row->addLayout(Form);
  auto* Right = new QFormLayout;
  ViewBox = new QComboBox(this);
  ViewBox->addItems({"Original Size", "Shrink to fit"});
  ViewBox->setCurrentIndex(1);
  Right->addRow("View", ViewBox);
  Row->addLayout(Right);
  L->addLayout(Row);

  auto* ButtonRow = new QHBoxLayout;
  ApplyButton = new QPushButton("Apply", this);
  OkButton = new QPushButton("OK", this);
  CancelButton = new QPushButton("Cancel", this);
  HelpButton = new QPushButton("Help", this);
  ButtonRow->addWidget(ApplyButton);
  ButtonRow->addStretch(1);
  ButtonRow->addWidget(OkButton);
  ButtonRow->addWidget(CancelButton);
  ButtonRow->addWidget(HelpButton);
  L->addLayout(ButtonRow);
  Gauge = new QProgressBar(this);
  Gauge->setRange(0, 100);
  Gauge->setValue(0);
  L->addWidget(Gauge);

  connect(ApplyButton, &QPushButton::clicked, this, [this] { ApplyButtonClick(); });
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(HelpButton, &QPushButton::clicked, this, [this] {
    if (OnHelp) OnHelp(590);
  });
  connect(ViewBox, &QComboBox::currentIndexChanged, this, [this] { ViewChange(); });
  OriginalView->OnDragOver = [](QWidget*, const QMimeData* Data, int, int) {
    return DraggedLocalFiles(Data).size() == 1;
  };
  OriginalView->OnDragDrop = [this](QWidget*, const QMimeData* Data, int, int) { DropFile(Data); };

  TSettingsStore S;
  OuterEdit->setText(S.ReadString("RAOuter", "-0.02"));
  MiddleEdit->setText(S.ReadString("RAMiddle", "0"));
  InnerEdit->setText(S.ReadString("RAInner", "0"));
  ScalingEdit->setText(S.ReadString("RAScaling", "1"));
  ViewChange();
  resize(ScaledSize(640, 460));
  // The controls are found by their names.
  const std::pair<QObject*, const char*> Names[] = {
      {OriginalView, "OriginalView"}, {AdjustedView, "AdjustedView"}, {ViewBox, "ViewBox"},
      {OuterEdit, "OuterEdit"},       {MiddleEdit, "MiddleEdit"},     {InnerEdit, "InnerEdit"},
      {ScalingEdit, "ScalingEdit"},   {ApplyButton, "ApplyButton"},   {OkButton, "OkButton"},
      {CancelButton, "CancelButton"}, {HelpButton, "HelpButton"},     {Gauge, "Gauge"}};
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

TfrmBarrel::~TfrmBarrel() {
  TSettingsStore S;
  S.WriteString("RAOuter", OuterEdit->text());
  S.WriteString("RAMiddle", MiddleEdit->text());
  S.WriteString("RAInner", InnerEdit->text());
  S.WriteString("RAScaling", ScalingEdit->text());
}

void TfrmBarrel::ViewChange() {
  const TStretch S = ViewBox->currentIndex() == 0 ? sNeverKAR : sAlwaysKAR;
  OriginalView->SetStretch(S);
  AdjustedView->SetStretch(S);
}

void TfrmBarrel::Setup(std::unique_ptr<TPixelGraphic> Picture) {
  OriginalView->TakePixelGraphic(std::move(Picture));
  AdjustedView->TakePixelGraphic(nullptr);
}

bool TfrmBarrel::HasResult() const {
  const TPixelGraphic* G = AdjustedView->PixelGraphicNoWait();
  return G && !G->Empty();
}

std::unique_ptr<TPixelGraphic> TfrmBarrel::TakeResult() {
  if (!HasResult()) return nullptr;
  auto Result = std::make_unique<TPixelGraphic>();
  Result->Assign(AdjustedView->PixelGraphic());
  AdjustedView->TakePixelGraphic(nullptr);
  return Result;
}

void TfrmBarrel::DropFile(const QMimeData* Data) {
  const QStringList Files = DraggedLocalFiles(Data);
  if (Files.size() != 1) return;
  const QString Path = Files.first();
  if (!IsEditablePicture(Path)) {
    ShowMessage(kCantEdit + Path, this);
    return;
  }
  try {
    OriginalView->LoadFromFile(Path);
  } catch (const std::exception&) {
    ShowMessage(kCantEdit + Path, this);
  }
}

void TfrmBarrel::ApplyButtonClick() {
  TRadialSettings S;
  if (!ParseRadialSettings(OuterEdit->text().toStdString(), MiddleEdit->text().toStdString(),
                           InnerEdit->text().toStdString(), ScalingEdit->text().toStdString(), S)) {
    ShowMessage(kInvalidValues, this);
    return;
  }
  TPixelGraphic* Source = OriginalView->PixelGraphic();
  if (!Source || Source->Empty()) return;
  TWaitCursor Wait;
  auto Result = std::make_unique<TPixelGraphic>();
  Result->OnProgress = [this](TPixelGraphic*, int Step, bool&, int Max) {
    if (Max > 0 && Gauge->value() != int(int64_t(Step) * 100 / Max)) {
      Gauge->setValue(int(int64_t(Step) * 100 / Max));
      Gauge->repaint();
    }
  };
  try {
    RadialAdjust(*Result, *Source, S);
    Result->OnProgress = nullptr;
    AdjustedView->TakePixelGraphic(std::move(Result));
  } catch (const std::exception& E) {
    ShowMessage(QString::fromUtf8(E.what()), this);
  }
  Gauge->setValue(0);
}

} // namespace orbisk
