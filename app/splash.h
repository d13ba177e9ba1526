// TfrmSplashForm: the start-up picture, borderless, on top, centred; it closes and frees
// itself a fixed time after it is shown.
#pragma once

#include <QWidget>

namespace orbisk {

class TfrmSplashForm : public QWidget {
public:
  static constexpr int CloseAfterMs = 2000;
  explicit TfrmSplashForm(QWidget* Parent = nullptr);

protected:
  void showEvent(QShowEvent* E) override;
  void paintEvent(QPaintEvent* E) override;

private:
  bool FTimerStarted = false;
};

} // namespace orbisk
