#include "metadata/ui/exifwindow.h"
#include "platform/dialogscale.h"
#include "tests/common/testutil.h"

#include <QApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>

using namespace orbisk;

namespace {

// A little-endian TIFF block with one IFD holding the given Ascii entries.
std::vector<uint8_t> TiffWithAscii(const std::vector<std::pair<uint16_t, std::string>>& Tags) {
  std::vector<uint8_t> D = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto Word = [&](uint32_t V) { D.push_back(V & 0xFF), D.push_back((V >> 8) & 0xFF); };
  auto Long = [&](uint32_t V) { Word(V & 0xFFFF), Word(V >> 16); };
  Word(uint16_t(Tags.size()));
  uint32_t DataAt = 8 + 2 + 12 * uint32_t(Tags.size()) + 4;
  std::vector<uint8_t> Data;
  for (const auto& [Tag, Text] : Tags) {
    Word(Tag), Word(2), Long(uint32_t(Text.size() + 1)), Long(DataAt + uint32_t(Data.size()));
    Data.insert(Data.end(), Text.begin(), Text.end());
    Data.push_back(0);
  }
  Long(0);
  D.insert(D.end(), Data.begin(), Data.end());
  return D;
}

std::string WriteTemp(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  std::string P = test::TempPath(Name);
  test::WriteFileBytes(P, Bytes);
  return P;
}

QString Value(const TfrmEXIF& W, const std::string& Description) {
  for (const TExifRow& R : W.Rows())
    if (R.Description == Description) return QString::fromStdString(R.Value);
  return "<absent>";
}

} // namespace

TEST(ExifWindow, LooksAsDesigned) {
  TfrmEXIF W;
  EXPECT_EQ(W.windowTitle(), "EXIF Data");
  EXPECT_TRUE(W.windowFlags() & Qt::WindowStaysOnTopHint);
  W.ShowFile(QString::fromStdString(WriteTemp("look.tif", TiffWithAscii({{271, "Maker"}}))));
  EXPECT_EQ(W.size(), ScaledSize(339, 600));
  QRect Screen = W.screen()->availableGeometry();
  EXPECT_NEAR(W.geometry().center().x(), Screen.center().x(), 2);
  EXPECT_NEAR(W.geometry().center().y(), Screen.center().y(), 2);
  QTreeWidget* L = W.ListView();
  EXPECT_EQ(L->headerItem()->text(0), "Description");
  EXPECT_EQ(L->headerItem()->text(1), "Value");
  EXPECT_EQ(L->columnWidth(0), 158);
  EXPECT_EQ(L->columnWidth(1), 400);
  EXPECT_EQ(L->palette().color(QPalette::Base), QColor(255, 254, 234));
  // The list fills the window.
  EXPECT_EQ(L->geometry(), W.rect());
}

TEST(ExifWindow, CameraPictureShowsItsDate) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  std::string P = test::CorpusDir() + "/exif-samples/jpg/Canon_40D.jpg";
  if (!std::filesystem::exists(P)) GTEST_SKIP() << "camera sample absent";
  TfrmEXIF W;
  W.ShowFile(QString::fromStdString(P));
  ASSERT_TRUE(W.isVisible());
  auto Found = W.ListView()->findItems("DateTime", Qt::MatchExactly, 0);
  ASSERT_EQ(Found.size(), 1);
  EXPECT_EQ(Found[0]->text(1), "2008:07:31 10:38:11");
  EXPECT_EQ(Value(W, "Make"), "Canon");
  EXPECT_EQ(Value(W, "DateTime Original"), "2008:05:30 15:56:01");
  // Rows appear in the reader's order.
  EXPECT_EQ(W.Rows(), orbisk::ListExifData(P));
}

TEST(ExifWindow, FollowsTheSelectionOnlyWhileVisible) {
  std::string A = WriteTemp("a.tif", TiffWithAscii({{306, "2001:02:03 04:05:06"}}));
  std::string B = WriteTemp("b.tif", TiffWithAscii({{306, "2011:12:13 14:15:16"}, {305, "X"}}));
  TfrmEXIF W;
  W.SelectionChanged(QString::fromStdString(A)); // hidden: nothing is read
  EXPECT_TRUE(W.ListedFile().isEmpty());
  EXPECT_EQ(W.ListView()->topLevelItemCount(), 0);

  W.ShowFile(QString::fromStdString(A));
  EXPECT_EQ(Value(W, "DateTime"), "2001:02:03 04:05:06");
  W.SelectionChanged(QString::fromStdString(B));
  EXPECT_EQ(W.ListView()->topLevelItemCount(), 2);
  EXPECT_EQ(Value(W, "DateTime"), "2011:12:13 14:15:16");

  W.hide();
  W.SelectionChanged(QString::fromStdString(A));
  EXPECT_EQ(W.ListedFile().toStdString(), B);
}

TEST(ExifWindow, UnreadableFileEmptiesTheListAndSaysWhy) {
  TfrmEXIF W;
  QStringList Errors;
  QObject::connect(&W, &TfrmEXIF::OnError, [&](const QString& T) { Errors << T; });
  W.ShowFile(QString::fromStdString(WriteTemp("ok.tif", TiffWithAscii({{271, "Maker"}}))));
  ASSERT_EQ(W.ListView()->topLevelItemCount(), 1);

  EXPECT_FALSE(W.ListExifData(QString::fromStdString(test::TempPath("missing.jpg"))));
  EXPECT_EQ(W.ListView()->topLevelItemCount(), 0);
  ASSERT_EQ(Errors.size(), 1);
  EXPECT_FALSE(Errors[0].isEmpty());

  // A file without EXIF data is no error: just an empty list.
  EXPECT_TRUE(
      W.ListExifData(QString::fromStdString(WriteTemp("plain.txt", {'h', 'e', 'l', 'l', 'o'}))));
  EXPECT_EQ(W.ListView()->topLevelItemCount(), 0);
  EXPECT_EQ(Errors.size(), 1);
}

TEST(ExifWindow, TextInEitherEncodingStaysReadable) {
  struct Case {
    std::string Stored;
    QString Shown;
  } Cases[] = {
      {"Caf\xC3\xA9", QString::fromUtf8("Caf\xC3\xA9")}, // UTF-8
      {"Caf\xE9", QString::fromUtf8("Caf\xC3\xA9")},     // Latin-1
      {"Plain", "Plain"},
  };
  TfrmEXIF W;
  for (const Case& C : Cases) {
    W.ListExifData(QString::fromStdString(WriteTemp("enc.tif", TiffWithAscii({{315, C.Stored}}))));
    EXPECT_EQ(W.ListView()->topLevelItem(0)->text(1), C.Shown) << C.Stored;
  }
}

// The window's columns show what people read, the stored value beside it, and the GPS
// directory's entries by name.
TEST(ExifWindow, ShowsReadableValuesAndThePosition) {
  std::vector<uint8_t> D = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto Word = [&](uint32_t V) { D.push_back(V & 0xFF), D.push_back((V >> 8) & 0xFF); };
  auto Long = [&](uint32_t V) { Word(V & 0xFFFF), Word(V >> 16); };
  Word(2); // IFD0 at 8: the exposure time and the GPS link
  Word(33434), Word(5), Long(1), Long(38);
  Word(34853), Word(4), Long(1), Long(46);
  Long(0);
  Long(1), Long(125); // at 38
  Word(2);            // the GPS directory at 46
  Word(1), Word(2), Long(2), D.push_back('N'), D.push_back(0), Word(0);
  Word(2), Word(5), Long(3), Long(76);
  Long(0);
  for (uint32_t V : {51u, 1u, 30u, 1u, 26u, 1u}) // at 76
    Long(V);
  TfrmEXIF W;
  W.ShowFile(QString::fromStdString(WriteTemp("gps.tif", D)));
  EXPECT_EQ(W.size(), ScaledSize(339, 600));
  EXPECT_EQ(W.ListView()->headerItem()->text(0), "Description");
  EXPECT_EQ(W.ListView()->headerItem()->text(1), "Value");
  EXPECT_EQ(Value(W, "Exposure Time"), "1/125 s (1/125)");
  EXPECT_EQ(Value(W, "GPSInfo"), "46");
  EXPECT_EQ(Value(W, "GPS Latitude Ref"), "North (N)");
  EXPECT_EQ(Value(W, "GPS Latitude"), QString::fromUtf8("51°30′26″ N (51/1)"));
}
