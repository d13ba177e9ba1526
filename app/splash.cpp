#include "app/splash.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace orbisk {

TfrmSplashForm::TfrmSplashForm(QWidget* Parent)
    : QWidget(Parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("frmSplashForm");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(360, 200);
  if (QScreen* S = QGuiApplication::primaryScreen())
    move(S->availableGeometry().center() - rect().center());
}

void TfrmSplashForm::showEvent(QShowEvent* E) {
  QWidget::showEvent(E);
  if (!FTimerStarted) {
    FTimerStarted = true;
    QTimer::singleShot(CloseAfterMs, this, &QWidget::close);
  }
}

void TfrmSplashForm::paintEvent(QPaintEvent*) {
  QPainter P(this);
  QLinearGradient G(0, 0, width(), height());
  G.setColorAt(0, QColor(20, 40, 90));
  G.setColorAt(1, QColor(90, 150, 200));
  P.fillRect(rect(), G);
  P.setRenderHint(QPainter::Antialiasing);
  P.setPen(Qt::NoPen);
  P.setBrush(QColor(255, 210, 80));
  P.drawEllipse(QPoint(70, 100), 40, 40);
  P.setPen(Qt::white);
  QFont F = font();
  F.setPointSize(28);
  F.setBold(true);
  P.setFont(F);
  P.drawText(QRect(120, 50, 230, 60), Qt::AlignLeft | Qt::AlignVCenter, "Orbisk");
  F.setPointSize(10);
  F.setBold(false);
  P.setFont(F);
  P.drawText(QRect(120, 110, 230, 30), Qt::AlignLeft | Qt::AlignVCenter, "by Brenmoor Software");
}

} // namespace orbisk
