#include "browser/slideshow.h"

#include "platform/prompt.h"

#include <algorithm>

namespace orbisk {

int SecondsFromText(const QString& Text) {
  bool Ok = false;
  const int V = Text.trimmed().toInt(&Ok);
  return Ok && V >= 1 && V <= kMaxSlideSeconds ? V : 4;
}

int StepSeconds(int Seconds, int Delta) {
  if (Delta > 0 && Seconds >= 60) return Seconds;
  return std::clamp(Seconds + Delta, 1, 60);
}

TSecondsBox::TSecondsBox(QWidget* Parent) : QSpinBox(Parent) {
  setRange(1, kMaxSlideSeconds);
  setWrapping(false);
}

void TSecondsBox::stepBy(int Steps) {
  setValue(StepSeconds(value(), Steps));
}

QAbstractSpinBox::StepEnabled TSecondsBox::stepEnabled() const {
  StepEnabled E = StepNone;
  if (value() < 60) E |= StepUpEnabled;
  if (value() > 1) E |= StepDownEnabled;
  return E;
}

TSlideShow::TSlideShow(TSlideShowHost Host, QObject* Parent)
    : QObject(Parent), FHost(std::move(Host)) {
  FTimer.setObjectName("Timer1");
  connect(&FTimer, &QTimer::timeout, this, [this] {
    if (FHost.NextImage) FHost.NextImage();
  });
}

void TSlideShow::ApplyInterval() {
  const int Seconds = SecondsFromText(FHost.SecondsText ? FHost.SecondsText() : QString());
  // setInterval restarts a running timer, so a new interval counts from now.
  FTimer.setInterval(Seconds * 1000);
}

void TSlideShow::ButtonClick(bool Down) {
  const int Count = FHost.ItemCount ? FHost.ItemCount() : 0;
  // An empty list: the button comes up, the message, and the timer stays as it was (also when
  // the click released the button of a running show).
  if (Count == 0) {
    if (FHost.SetButtonDown) FHost.SetButtonDown(false);
    if (FHost.SetBookmarksEnabled) FHost.SetBookmarksEnabled(true);
    const QString Text = QString::fromLatin1(EmptyListMessage);
    if (FHost.Message)
      FHost.Message(Text);
    else
      ShowMessage(Text);
    return;
  }
  // Nothing selected: the first file is selected and shown, whichever way the button went.
  if ((FHost.SelectedCount ? FHost.SelectedCount() : 0) == 0 && FHost.SelectFirst)
    FHost.SelectFirst();
  ApplyInterval();
  if (Down)
    FTimer.start();
  else
    FTimer.stop();
  if (FHost.SetBookmarksEnabled) FHost.SetBookmarksEnabled(!Down);
}

void TSlideShow::SecondsChanged() {
  ApplyInterval();
}

void TSlideShow::Stop() {
  FTimer.stop();
}

} // namespace orbisk
