#include "processing/editor/filterdialog.h"

#include "engine/messages.h"
#include "processing/editor/filterdialogform.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace orbisk {

QString DialogText(int Message) {
  return QString::fromStdString(EngineMessage(Message));
}

namespace {

QString Signed(int P, const QString& Unit) {
  if (P > 0) return "+" + QString::number(P) + Unit;
  if (P == 0) return DialogText(82) + "0" + Unit;
  return QString::number(P) + Unit;
}

// Hundredths as "0.75": integer arithmetic, so no binary fraction shows.
QString Hundredths(long long H) {
  QString Sign = H < 0 ? "-" : "";
  H = std::llabs(H);
  return Sign + QString::number(H / 100) + "." + QString::number(H % 100).rightJustified(2, '0');
}

} // namespace

QString SliderValueText(const TFilterSlider& S) {
  switch (S.Kind) {
  case svkPercent:
    return Signed(S.Position, "%");
  case svkHue:
    return Signed(S.Position, DialogText(83));
  case svkHundredths:
    return Hundredths(S.Position);
  case svkPowerOf5:
    return Hundredths(std::llrint(PowerOf5Value(S.Position) * 100));
  case svkStrength:
    return QString::number(S.Position) + "%";
  }
  return {};
}

long double PowerOf5Value(int Position) {
  return std::pow(5.0L, Position / 100.0L);
}

int PowerOf5Position(long double Value) {
  const long double P = std::nearbyint(100 * std::log(Value) / std::log(5.0L));
  return int(std::clamp<long double>(P, -100, 100));
}

void FittedPreviewSize(int W, int H, int Box, int& OutW, int& OutH) {
  OutW = std::max(W, 0);
  OutH = std::max(H, 0);
  if (OutW <= Box && OutH <= Box) return;
  if (OutW >= OutH) {
    OutH = int(std::nearbyint(static_cast<long double>(OutH) * Box / OutW));
    OutW = Box;
  } else {
    OutW = int(std::nearbyint(static_cast<long double>(OutW) * Box / OutH));
    OutH = Box;
  }
  // A thin strip still previews as one pixel rather than as nothing.
  OutW = std::max(OutW, 1);
  OutH = std::max(OutH, 1);
}

// ---- TFilterDialog ----------------------------------------------------------------------------

TFilterDialog::TFilterDialog(QObject* Owner) : QObject(Owner) {
  const QPalette P = QGuiApplication::palette();
  ProgressClockBkColor = P.color(QPalette::Button);
  ProgressClockLineColor = P.color(QPalette::Shadow);
}

TFilterDialog::~TFilterDialog() {
  if (FForm) {
    // The window may still be in its modal loop (its owner is going away): its workers stop
    // and join here, before anything they read is freed; the loop then ends on its own.
    FForm->StopPreview();
    delete FForm.data();
  }
}

std::unique_ptr<TPGFilter> TFilterDialog::NewConfiguredFilter() const {
  std::unique_ptr<TPGFilter> F = CreateFilter();
  if (F) ConfigureFilter(*F);
  return F;
}

void TFilterDialog::InitFilter() {
  FFilter = NewConfiguredFilter();
}

void TFilterDialog::UpdateFilter() {
  if (FFilter) ConfigureFilter(*FFilter);
}

bool TFilterDialog::SetSliderPosition(int I, int Position) {
  TFilterSlider& S = Slider(I);
  Position = std::clamp(Position, S.Min, S.Max);
  if (Position == S.Position) return false;
  S.Position = Position;
  UpdateFilter();
  return true;
}

void TFilterDialog::ControlsChanged(const TFilterDialogState& S) {
  for (size_t I = 0; I < FState.Sliders.size(); ++I) {
    TFilterSlider& Sl = FState.Sliders[I];
    Sl.Position = std::clamp(S.Sliders[I].Position, Sl.Min, Sl.Max);
  }
  FState.Checked = S.Checked;
  FState.RadioChecked = S.RadioChecked;
  UpdateFilter();
}

QWidget* TFilterDialog::OwnerWidget() const {
  for (QObject* O = parent(); O; O = O->parent())
    if (auto* W = qobject_cast<QWidget*>(O)) return W->window();
  return nullptr;
}

void TFilterDialog::CloseWindow() {
  if (!FForm) return;
  FForm->reject(); // stops and joins the preview workers
}

bool TFilterDialog::RunWindow(const TPixelGraphic* Picture) {
  if (FForm) return false; // already open
  FSaved = FState;
  QPointer<TFilterDialog> Self(this);
  auto* Form = new TFilterDialogForm(*this, Picture, OwnerWidget());
  FForm = Form;
  const int R = Form->exec();
  if (!Self) return false; // destroyed while the window was open; it closed the window first
  delete FForm.data();     // joins the preview workers if they still run
  FForm = nullptr;
  if (R == QDialog::Accepted) return true;
  FState = FSaved;
  UpdateFilter();
  return false;
}

} // namespace orbisk
