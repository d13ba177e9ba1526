#include "thumbnails/tesslyviewer.h"

#include "platform/dialogscale.h"
#include "platform/filenames.h"
#include "view/pgimage.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QVBoxLayout>

namespace orbisk {

TfrmTessly::TfrmTessly(QWidget* Parent) : QWidget(Parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  resize(ScaledSize(kWidth, kHeight));
  auto* L = new QVBoxLayout(this);
  L->setContentsMargins(0, 0, 0, 0);
  PGImage1 = new TPGImage(this);
  PGImage1->setObjectName("PGImage1");
  PGImage1->SetCenter(true);
  PGImage1->SetStretch(sAlwaysKAR);
  PGImage1->SetReadWarningAction(pgwaIgnore);
  L->addWidget(PGImage1);
  if (QScreen* S = QGuiApplication::primaryScreen())
    move(S->availableGeometry().center() - rect().center());
}

TfrmTessly* ViewImage(const QString& Path, int Margin) {
  auto* W = new TfrmTessly();
  W->setWindowTitle(DisplayFileName(QFileInfo(Path).fileName()));
  try {
    W->View()->LoadFromFile(Path);
  } catch (...) {
    W->close();
    throw;
  }
  const QSize Screen = QGuiApplication::primaryScreen()
                           ? QGuiApplication::primaryScreen()->availableGeometry().size()
                           : QSize(1024, 768);
  const int PW = W->View()->ImageWidth(), PH = W->View()->ImageHeight();
  if (PW < Screen.width() && PH < Screen.height()) {
    W->resize(PW + Margin, PH + Margin);
  } else {
    // The displayed size is the fit into the view at the window's own size: lay the hidden
    // window out first, or the view still has a widget's initial size.
    W->layout()->activate();
    W->View()->Layout(true);
    const TIntRect Box = W->View()->BoxRect();
    W->resize(Box.Width() + Margin, Box.Height() + Margin);
  }
  W->show();
  return W;
}

} // namespace orbisk
