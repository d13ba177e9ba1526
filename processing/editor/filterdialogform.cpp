#include "processing/editor/filterdialogform.h"

#include "platform/dialogscale.h"
#include "processing/editor/filterdialog.h"
#include "processing/editor/filterdialogpreview.h"
#include "view/pgimage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>

namespace orbisk {

namespace {

constexpr int kTrackWidth = 240;
constexpr int kTrackHeight = 32;
constexpr int kTrackTextWidth = 80;
constexpr int kButtonWidth = 85;
constexpr int kButtonHeight = 24;
constexpr int kCheckBoxWidth = 140;

// A slider that marks one position (the neutral or initial value) with a small triangle above
// its track.
class TMarkedSlider : public QSlider {
public:
  TMarkedSlider(int Mark, QWidget* Parent) : QSlider(Qt::Horizontal, Parent), FMark(Mark) {}

protected:
  void paintEvent(QPaintEvent* E) override {
    QSlider::paintEvent(E);
    QStyleOptionSlider Opt;
    initStyleOption(&Opt);
    const QRect Groove =
        style()->subControlRect(QStyle::CC_Slider, &Opt, QStyle::SC_SliderGroove, this);
    const QRect Handle =
        style()->subControlRect(QStyle::CC_Slider, &Opt, QStyle::SC_SliderHandle, this);
    const int Span = Groove.width() - Handle.width();
    const int X = Groove.left() + Handle.width() / 2 +
                  QStyle::sliderPositionFromValue(minimum(), maximum(), FMark, Span);
    QPainter P(this);
    P.setPen(Qt::NoPen);
    P.setBrush(palette().color(QPalette::WindowText));
    const QPoint Tri[3] = {{X - 3, 0}, {X + 3, 0}, {X, 4}};
    P.drawPolygon(Tri, 3);
  }

private:
  int FMark;
};

} // namespace

TFilterDialogForm::TFilterDialogForm(TFilterDialog& Dialog, const TPixelGraphic* Picture,
                                     QWidget* Parent)
    : QDialog(Parent), FDialog(Dialog) {
  setWindowTitle(Dialog.Title());
  setModal(true);
  BuildControls();
  if (Dialog.HasPreview()) {
    FPreview = new TFilterPreview(
        Picture, [this] { return FDialog.NewConfiguredFilter(); }, this);
    FPreview->OnResult = [this](std::unique_ptr<TPixelGraphic> G) {
      // The old picture stays on screen until the view paints the new one.
      FView->TakePixelGraphic(std::move(G));
    };
    FPreview->Start();
  }
}

TFilterDialogForm::~TFilterDialogForm() {
  StopPreview();
}

void TFilterDialogForm::StopPreview() {
  if (FPreview) FPreview->Stop();
}

void TFilterDialogForm::done(int R) {
  StopPreview();
  QDialog::done(R);
}

void TFilterDialogForm::BuildControls() {
  FBuilding = true;
  const TFilterDialogState& S = FDialog.State();
  bool AnySlider = false;
  for (const TFilterSlider& Sl : S.Sliders)
    AnySlider = AnySlider || Sl.Visible;
  const int Margin = AnySlider ? 10 : 40;

  auto* Outer = new QVBoxLayout(this);
  Outer->setContentsMargins(Margin, 10, Margin, 10);
  auto* Top = new QHBoxLayout;
  Outer->addLayout(Top);
  auto* Grid = new QGridLayout;
  Grid->setHorizontalSpacing(6);
  Grid->setVerticalSpacing(4);
  auto* Left = new QVBoxLayout;
  Left->addLayout(Grid);
  Top->addLayout(Left);

  int Row = 0;
  for (int I = 0; I < 3; ++I) {
    const TFilterSlider& Sl = S.Sliders[size_t(I)];
    if (!Sl.Visible) continue;
    auto* Name = new QLabel(Sl.Name, this);
    Name->setMinimumWidth(ScaledWidth(Sl.NameWidth));
    auto* Track = new TMarkedSlider(Sl.Mark, this);
    Track->setRange(Sl.Min, Sl.Max);
    Track->setTickInterval(Sl.Frequency);
    Track->setTickPosition(QSlider::TicksBelow);
    Track->setSingleStep(1);
    Track->setPageStep(Sl.Frequency);
    Track->setFixedSize(ScaledSize(kTrackWidth, kTrackHeight));
    Track->setValue(Sl.Position);
    Track->setAccessibleName(Sl.Name);
    Name->setBuddy(Track);
    auto* Value = new QLabel(this);
    Value->setMinimumWidth(ScaledWidth(Sl.ValueWidth));
    auto* Texts = new QWidget(this);
    Texts->setFixedWidth(ScaledWidth(kTrackWidth));
    auto* TextRow = new QHBoxLayout(Texts);
    TextRow->setContentsMargins(0, 0, 0, 0);
    TextRow->setSpacing(0);
    const std::array<QString, 3> Under{Sl.TextLeft, Sl.TextMiddle, Sl.TextRight};
    const std::array<Qt::Alignment, 3> Align{Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    for (int J = 0; J < 3; ++J) {
      auto* T = new QLabel(Under[size_t(J)], Texts);
      T->setFixedWidth(ScaledWidth(kTrackTextWidth));
      T->setAlignment(Align[size_t(J)] | Qt::AlignTop);
      TextRow->addWidget(T);
      FTrackTexts[size_t(I)][size_t(J)] = T;
    }
    Grid->addWidget(Name, Row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    Grid->addWidget(Track, Row, 1);
    Grid->addWidget(Value, Row, 2, Qt::AlignLeft | Qt::AlignVCenter);
    Grid->addWidget(Texts, Row + 1, 1);
    Row += 2;
    FSliders[size_t(I)] = Track;
    FNames[size_t(I)] = Name;
    FValues[size_t(I)] = Value;
    connect(Track, &QSlider::valueChanged, this, [this] { ControlChanged(); });
  }

  if (S.CheckBox) {
    FCheckBox = new QCheckBox(S.CheckBoxCaption, this);
    FCheckBox->setMinimumWidth(ScaledWidth(kCheckBoxWidth));
    FCheckBox->setChecked(S.Checked);
    Left->addWidget(FCheckBox);
    connect(FCheckBox, &QCheckBox::toggled, this, [this] { ControlChanged(); });
  }
  if (S.RadioPair) {
    auto* Pair = new QHBoxLayout;
    if (!S.SectionCaption.isEmpty()) {
      FSection = new QLabel(S.SectionCaption, this);
      Pair->addWidget(FSection);
    }
    auto* Group = new QButtonGroup(this);
    for (int I = 0; I < 2; ++I) {
      auto* R = new QRadioButton(S.RadioCaptions[size_t(I)], this);
      R->setChecked(S.RadioChecked[size_t(I)]);
      Group->addButton(R, I);
      Pair->addWidget(R);
      FRadios[size_t(I)] = R;
    }
    Pair->addStretch(1);
    Left->addLayout(Pair);
    connect(Group, &QButtonGroup::idToggled, this, [this](int, bool On) {
      if (On) ControlChanged();
    });
  }
  Left->addStretch(1);

  if (FDialog.HasPreview()) {
    FView = new TPGImage(this);
    FView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FView->SetStretch(sNeverKAR);
    FView->SetCenter(true);
    FView->SetPalette8BitSys24BitGraphic(FDialog.Palette8BitSys24BitGraphic);
    FView->SetPalette8BitSys8BitGraphic(FDialog.Palette8BitSys8BitGraphic);
    FView->SetProgressClockVisible(FDialog.ProgressClockVisible);
    FView->SetProgressClockBkColor(FDialog.ProgressClockBkColor);
    FView->SetProgressClockLineColor(FDialog.ProgressClockLineColor);
    const int Frame = FView->frameWidth();
    FView->setFixedSize(TFilterPreview::BoxSize + 2 * Frame, TFilterPreview::BoxSize + 2 * Frame);
    FView->setFocusPolicy(Qt::NoFocus);
    Top->addSpacing(10);
    Top->addWidget(FView, 0, Qt::AlignTop | Qt::AlignRight);
  }

  auto* Line = new QFrame(this);
  Line->setFrameShape(QFrame::HLine);
  Line->setFrameShadow(QFrame::Sunken);
  Outer->addSpacing(6);
  Outer->addWidget(Line);
  auto* Buttons = new QHBoxLayout;
  FOK = new QPushButton(DialogText(42), this);
  FCancel = new QPushButton(DialogText(43), this);
  for (QPushButton* B : {FOK, FCancel})
    B->setFixedSize(ScaledSize(kButtonWidth, kButtonHeight));
  FOK->setDefault(true);
  FOK->setAutoDefault(true);
  Buttons->addStretch(1);
  Buttons->addWidget(FOK);
  Buttons->addSpacing(10);
  Buttons->addWidget(FCancel);
  Buttons->addStretch(1);
  Outer->addLayout(Buttons);
  connect(FOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
  if (!AnySlider) setMinimumWidth(ScaledWidth(220));
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  ShowValueTexts();
  FBuilding = false;
}

void TFilterDialogForm::ShowValueTexts() {
  const TFilterDialogState& S = FDialog.State();
  for (int I = 0; I < 3; ++I)
    if (FValues[size_t(I)]) FValues[size_t(I)]->setText(SliderValueText(S.Sliders[size_t(I)]));
}

void TFilterDialogForm::ControlChanged() {
  if (FBuilding) return;
  TFilterDialogState S = FDialog.State();
  for (int I = 0; I < 3; ++I)
    if (FSliders[size_t(I)]) S.Sliders[size_t(I)].Position = FSliders[size_t(I)]->value();
  if (FCheckBox) S.Checked = FCheckBox->isChecked();
  for (int I = 0; I < 2; ++I)
    if (FRadios[size_t(I)]) S.RadioChecked[size_t(I)] = FRadios[size_t(I)]->isChecked();
  FDialog.ControlsChanged(S);
  ShowValueTexts();
  if (FPreview) FPreview->SettingsChanged();
}

} // namespace orbisk
