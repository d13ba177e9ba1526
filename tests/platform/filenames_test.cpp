// File names shown on one line: the marks that stand for what would break the line, turn the
// text round or not show at all, and the names kept whole otherwise.
#include "platform/filenames.h"

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

const QChar Mark = QChar::ReplacementCharacter;

} // namespace

TEST(DisplayFileName, MarksWhatWouldBreakTheLineOrReorderIt) {
  EXPECT_EQ(DisplayFileName("two\nlines\r.png"), QString("two") + Mark + "lines" + Mark + ".png");
  EXPECT_EQ(DisplayFileName(QString("a\tb\x1b"
                                    "c\x7f"
                                    "d") +
                            QChar(0x85) + "e"),
            QString("a") + Mark + "b" + Mark + "c" + Mark + "d" + Mark + "e");
  EXPECT_EQ(DisplayFileName(QString("l") + QChar(0x2028) + "p" + QChar(0x2029)),
            QString("l") + Mark + "p" + Mark);
  // Every embedding, override, isolate and direction mark.
  for (const char16_t C : {0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066,
                           0x2067, 0x2068, 0x2069})
    EXPECT_EQ(DisplayFileName(QString("photo_") + QChar(C) + "gpj.exe"),
              QString("photo_") + Mark + "gpj.exe")
        << int(C);
  // Bytes that are not UTF-8 show as the mark; characters above U+FFFF stay whole.
  EXPECT_EQ(DisplayFileName(DecodeFileName("lat\xe9.jpg")), QString("lat") + Mark + ".jpg");
  const QString Emoji = QString::fromUtf8("\xF0\x9F\x93\xB7 caf\xC3\xA9 \xD7\xA9\xD7\x9C.jpg");
  EXPECT_EQ(DisplayFileName(Emoji), Emoji);
  EXPECT_EQ(DisplayFileName(QString(QChar(0xD83D))), QString(Mark)); // a lone half
  EXPECT_EQ(ShownName("x\ny"), DisplayFileName("x\ny"));
}
