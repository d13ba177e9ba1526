#include "platform/dialogscale.h"

#include <QApplication>
#include <QFont>

#include <gtest/gtest.h>

using namespace orbisk;

TEST(DialogScale, GrowsWithTheFontAndNeverShrinks) {
  const QFont Saved = QApplication::font();
  QFont Small = Saved;
  Small.setPixelSize(4);
  QApplication::setFont(Small);
  EXPECT_EQ(ScaledSize(353, 413).width(), 353);
  QFont Large = Saved;
  Large.setPixelSize(26);
  QApplication::setFont(Large);
  EXPECT_GT(ScaledWidth(353), 353 * 3 / 2);
  EXPECT_GT(ScaledHeight(413), 413 * 3 / 2);
  QApplication::setFont(Saved);
}
