#include "platform/dialogscale.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <cmath>

namespace orbisk {

namespace {
// The average character the way dialog units measure it: the 52 letters' width over 52, and
// the font's line height.
QSizeF AverageCharacter() {
  const QFontMetricsF M(QApplication::font());
  const QString Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  return {M.horizontalAdvance(Letters) / Letters.size(), M.height()};
}
} // namespace

double DialogScaleX() {
  return std::max(1.0, AverageCharacter().width() / 6.0);
}
// Controls grow more than the text line: a radio button or check box was 16 pixels high and an
// edit box 21 with that font.
double DialogScaleY() {
  const QRadioButton Radio("X");
  const QLineEdit Edit;
  return std::max({1.0, AverageCharacter().height() / 13.0, Radio.sizeHint().height() / 16.0,
                   Edit.sizeHint().height() / 21.0});
}

int ScaledWidth(int Width) {
  return static_cast<int>(std::lround(Width * DialogScaleX()));
}
int ScaledHeight(int Height) {
  return static_cast<int>(std::lround(Height * DialogScaleY()));
}
QSize ScaledSize(int Width, int Height) {
  return {ScaledWidth(Width), ScaledHeight(Height)};
}

} // namespace orbisk
