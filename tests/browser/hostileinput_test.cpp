// The main window against what a fresh or a hostile machine hands it: file names that are not
// UTF-8 or hold a line break, stored window positions off every screen, bookmarks files of
// random bytes, bookmarks of folders that are gone, stored seconds outside the arrows' range.
#include "browser/mainwindow.h"
#include "browser/windowgeometry.h"
#include "platform/filenames.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QFile>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeView>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace orbisk;

namespace {

class HostileInput : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    // A folder per test: names that are not UTF-8 are beyond Qt's removeRecursively.
    Pics = test::MakeFolder(QString("hostile-") +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    test::WritePicture(Pics + "/good.png", 40, 30);
  }

  std::unique_ptr<TForm1> Open(const QString& StartFile = QString()) {
    auto F = std::make_unique<TForm1>();
    F->SetStartFile(StartFile);
    F->show();
    QApplication::processEvents();
    return F;
  }

  static void ChooseFolder(TForm1& F, const QString& Folder) {
    QModelIndex I = test::Child<TFolderTree>(F, "ShellTreeView1").Model()->index(Folder);
    ASSERT_TRUE(I.isValid()) << Folder.toStdString();
    test::Child<TFolderTree>(F, "ShellTreeView1").setCurrentIndex(I);
    QApplication::processEvents();
  }

  static int RowOf(TForm1& F, const QString& Name) {
    for (int R = 0; R < test::Child<TFileListModel>(F, "FileList").rowCount(); ++R)
      if (test::Child<TFileListModel>(F, "FileList").Item(R).Name == Name) return R;
    return -1;
  }

  static void Select(TForm1& F, int Row) {
    test::Child<QTreeView>(F, "ListView1")
        .setCurrentIndex(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    QApplication::processEvents();
  }

  // A picture file whose name is the given bytes.
  void WriteRawNamed(const QByteArray& Name, int W, int H) {
    const QString Tmp = Pics + "/tmp-rename.png";
    test::WritePicture(Tmp, W, H);
    const QByteArray To = QFile::encodeName(Pics) + "/" + Name;
    ASSERT_EQ(std::rename(QFile::encodeName(Tmp).constData(), To.constData()), 0);
    RawNamed.push_back(To);
  }

  void TearDown() override {
    for (const QByteArray& P : RawNamed)
      std::remove(P.constData());
  }

  QString Pics;
  std::vector<QByteArray> RawNamed;
};

TEST(FileNames, BytesThatAreNotUtf8RoundTrip) {
  const QByteArray Names[] = {"plain.png",       "bad\xff\xfename.png",   "\xc3\xa9t\xc3\xa9.png",
                              "half\xc3",        "\xed\xa0\x80surrogate", "\xf0\x9f\x98\x80.png",
                              "over\xc0\xaflong"};
  for (const QByteArray& N : Names) {
    EXPECT_EQ(EncodeFileName(DecodeFileName(N)), N) << N.toHex().constData();
    // Valid UTF-8 decodes as Qt decodes it, so such names compare equal everywhere.
    if (QString::fromUtf8(N).toUtf8() == N && !N.contains("\xed\xa0")) {
      EXPECT_EQ(DecodeFileName(N), QString::fromUtf8(N));
    }
  }
  EXPECT_EQ(ShownName("two\nlines\r.png"), QString("two\uFFFDlines\uFFFD.png"));
  EXPECT_FALSE(ShownName(DecodeFileName("bad\xff.png")).contains(QChar(0xDCFF)));
}

TEST_F(HostileInput, NamesThatAreNotUtf8AreListedAndShown) {
  const QByteArray Raw = "bad\xff\xfename.png";
  WriteRawNamed(Raw, 25, 15);
  auto F = Open();
  ChooseFolder(*F, Pics);
  ASSERT_EQ(test::Child<TFileListModel>(*F, "FileList").rowCount(), 2);
  const int Row = RowOf(*F, DecodeFileName(Raw));
  ASSERT_GE(Row, 0);
  Select(*F, Row);
  EXPECT_TRUE(test::Child<TPGImage>(*F, "PGImage1").isVisible());
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").ImageWidth(), 25);
  EXPECT_EQ(F->PanelText(3), QString(" bad\uFFFD\uFFFDname.png  (25 x 15)"));
  F->close();

  // Given on the command line (as bytes): listed, selected and shown.
  auto G = Open(DecodeFileName(QFile::encodeName(Pics) + "/" + Raw));
  EXPECT_EQ(G->ShownFile(), Pics + "/" + DecodeFileName(Raw));
  EXPECT_TRUE(test::Child<TPGImage>(*G, "PGImage1").isVisible());
  EXPECT_EQ(test::Child<TPGImage>(*G, "PGImage1").ImageHeight(), 15);
}

TEST_F(HostileInput, LineBreaksInANameStayOnOneStatusLine) {
  WriteRawNamed("two\nlines.png", 40, 30);
  auto F = Open();
  ChooseFolder(*F, Pics);
  Select(*F, RowOf(*F, "good.png"));
  const QRect Normal = test::Child<TPGImage>(*F, "PGImage1").geometry();
  const int BarHeight = F->statusBar()->height();
  Select(*F, RowOf(*F, "two\nlines.png"));
  ASSERT_TRUE(test::Child<TPGImage>(*F, "PGImage1").isVisible());
  EXPECT_EQ(F->PanelText(3), QString(" two\uFFFDlines.png  (40 x 30)"));
  EXPECT_EQ(F->statusBar()->height(), BarHeight);
  EXPECT_EQ(test::Child<TPGImage>(*F, "PGImage1").geometry(),
            Normal); // fitted as any other picture of its size
}

TEST(WindowGeometry, StoredRectanglesComeBackOntoTheScreen) {
  const QRect Screen(0, 0, 1920, 1080);
  const QSize Min(200, 150);
  struct Case {
    QRect Stored, Want;
  } Cases[] = {
      {{100, 50, 620, 460}, {100, 50, 620, 460}},   // on the screen: unchanged
      {{5000, 50, 620, 460}, {1300, 50, 620, 460}}, // off to the right
      {{10, -99999, 620, 460}, {10, 0, 620, 460}},  // above
      {{-700, 2000, 620, 460}, {0, 620, 620, 460}}, // left and below
      {{10, 10, 0, 0}, {10, 10, 200, 150}},         // no size: the minimum
      {{10, 10, 5000, 4000}, {0, 0, 1920, 1080}},   // larger than the screen
  };
  for (const auto& C : Cases)
    EXPECT_EQ(FitOnScreen(C.Stored, Screen, Min), C.Want) << C.Stored.x() << "," << C.Stored.y();
  // A screen area that does not start at 0 (a panel on the left).
  EXPECT_EQ(FitOnScreen({0, 0, 300, 200}, {64, 0, 800, 600}, Min), QRect(64, 0, 300, 200));
}

TEST_F(HostileInput, RestoredWindowIsOnTheScreen) {
  {
    TSettingsStore S;
    S.WriteInteger("Left", 5000);
    S.WriteInteger("Top", -99999);
    S.WriteInteger("Width", 0);
    S.WriteInteger("Height", 300);
  }
  auto F = Open();
  const QRect Available = F->screen()->availableGeometry();
  EXPECT_TRUE(Available.contains(QRect(F->pos(), F->size())))
      << F->x() << "," << F->y() << " " << F->width() << "x" << F->height();
  EXPECT_GE(F->width(), F->minimumSizeHint().width());
  EXPECT_GE(F->size().width(), kSmallestRestoredSize.width()); // not the 74 pixels of old
}

TEST_F(HostileInput, BookmarksFileOfRandomBytesGivesABoundedMenu) {
  QByteArray Data;
  std::mt19937 Random(5);
  for (int I = 0; I < 200 * 1024; ++I)
    Data += char(Random() & 0xFF);
  Data += "\r\n" + QByteArray(100000, 'a') + "\r\n" + Pics.toUtf8() + "\r\n";
  QDir().mkpath(QFileInfo(test::BookmarksPath()).absolutePath());
  QFile File(test::BookmarksPath());
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(Data);
  File.close();
  auto F = Open();
  const QList<QAction*> Items = test::Child<QMenu>(*F, "BookmarksMenu").actions().mid(3);
  EXPECT_LE(Items.size(), 100);
  bool HasPics = false;
  for (QAction* A : Items) {
    const QString T = A->text();
    EXPECT_LT(QFile::encodeName(T).size(), PATH_MAX);
    for (QChar C : T)
      ASSERT_NE(C.category(), QChar::Other_Control) << T.toStdString();
    HasPics = HasPics || T == Pics;
  }
  // Random bytes hold few line breaks; the folder after them may be past the cap or not, but a
  // short file of good lines is listed whole.
  File.open(QIODevice::WriteOnly);
  File.write(Pics.toUtf8() + "\r\n\x01\x02\r\n" + QByteArray(100000, 'b') + "\r\n/tmp\r\n");
  File.close();
  auto G = Open();
  QStringList Texts;
  for (QAction* A : test::Child<QMenu>(*G, "BookmarksMenu").actions().mid(3))
    Texts << A->text();
  EXPECT_EQ(Texts, QStringList({Pics, "/tmp"}));
  (void)HasPics;
}

TEST_F(HostileInput, BookmarkOfAFolderThatIsGoneSaysSo) {
  const QString Gone = test::MakeFolder("gone-soon");
  QDir().mkpath(QFileInfo(test::BookmarksPath()).absolutePath());
  QFile File(test::BookmarksPath());
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(Gone.toUtf8() + "\r\n");
  File.close();
  auto F = Open();
  ChooseFolder(*F, Pics);
  ASSERT_EQ(test::Child<TFileListModel>(*F, "FileList").rowCount(), 1);
  QDir(Gone).removeRecursively();
  test::TPromptScope Prompt;
  test::Child<QMenu>(*F, "BookmarksMenu").actions()[3]->trigger();
  EXPECT_EQ(Prompt->Messages,
            QStringList({"The bookmarked folder " + Gone + " does not exist any more."}));
  EXPECT_EQ(F->SelectedFolder(), Pics); // the list is left as it was
  EXPECT_EQ(test::Child<TFileListModel>(*F, "FileList").rowCount(), 1);
}

TEST_F(HostileInput, StoredSecondsAreShownAndKept) {
  struct Case {
    const char* Stored;
    QString Shown;
  } Cases[] = {{"90", "90"}, {"7", "7"}, {"abc", "4"}};
  for (const auto& C : Cases) {
    TSettingsStore().WriteString("Seconds", C.Stored);
    auto F = Open();
    EXPECT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").text(), C.Shown) << C.Stored;
    F->close();
    EXPECT_EQ(TSettingsStore().ReadString("Seconds", ""), C.Shown) << C.Stored;
  }
  // The arrows keep to 1..60: down from a stored 90 gives 60, up leaves it.
  TSettingsStore().WriteString("Seconds", "90");
  auto F = Open();
  test::Child<QSpinBox>(*F, "SecondsEdit").stepBy(1);
  EXPECT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").value(), 90);
  test::Child<QSpinBox>(*F, "SecondsEdit").stepBy(-1);
  EXPECT_EQ(test::Child<QSpinBox>(*F, "SecondsEdit").value(), 60);
}

TEST_F(HostileInput, SetAsWallpaperNeedsExactlyOneFile) {
  test::WritePicture(Pics + "/second.png", 10, 10);
  auto F = Open();
  ChooseFolder(*F, Pics);
  QMenu* Wallpaper = test::Child<QMenu>(*F, "PopupMenu1").findChild<QMenu*>("SetAsWallpaper1");
  ASSERT_NE(Wallpaper, nullptr);
  for (const QList<int>& Rows : {QList<int>{}, QList<int>{0}, QList<int>{0, 1}}) {
    test::Child<QTreeView>(*F, "ListView1").clearSelection();
    for (int R : Rows)
      test::Child<QTreeView>(*F, "ListView1")
          .selectionModel()
          ->select(test::Child<TFileListModel>(*F, "FileList").index(R, 0),
                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    emit test::Child<QMenu>(*F, "PopupMenu1").aboutToShow();
    EXPECT_EQ(Wallpaper->menuAction()->isEnabled(), Rows.size() == 1) << Rows.size();
  }
}

} // namespace
