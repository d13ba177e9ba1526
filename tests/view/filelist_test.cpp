// Folder listing and sorting without a window: the columns, the type mask, hidden files and
// letter case, and the order of every column in both directions.
#include "view/filelist.h"
#include "platform/filenames.h"
#include "view/typemask.h"
#include "tests/browser/browsertest.h"

#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

using namespace orbisk;

namespace {

QStringList Names(const std::vector<TFileItem>& Items) {
  QStringList L;
  for (const auto& It : Items)
    L << It.Name;
  return L;
}

QDateTime At(int Y, int Mo, int D, int H = 0, int Mi = 0, int S = 0) {
  return QDateTime(QDate(Y, Mo, D), QTime(H, Mi, S));
}

} // namespace

TEST(FileList, ColumnTexts) {
  struct Case {
    qint64 Bytes;
    const char* Kb;
  } Sizes[] = {{0, "1"}, {1023, "1"}, {1024, "2"}, {2047, "2"}, {5 * 1024 * 1024, "5121"}};
  for (auto C : Sizes)
    EXPECT_EQ(SizeText(C.Bytes), C.Kb) << C.Bytes;

  struct TypeCase {
    const char* Name;
    const char* Type;
  } Types[] = {{"a.jpeg", "JPE"}, {"b.JPG", "JPG"},   {"noext", ""},
               {"x.c", "C"},      {"a.b.tif", "TIF"}, {"photo.Png", "PNG"}};
  for (auto C : Types)
    EXPECT_EQ(FileTypeOf(C.Name), C.Type) << C.Name;

  EXPECT_EQ(FullFileName("/pics", "a.jpg"), "/pics/a.jpg");
  EXPECT_EQ(FullFileName("/pics/", "a.jpg"), "/pics/a.jpg");
  EXPECT_EQ(FullFileName("/", "a.jpg"), "/a.jpg");
}

TEST(FileList, DateKeyCountsDaysFrom1899) {
  struct Case {
    QDateTime T;
    const char* Key;
  } Cases[] = {
      {At(1899, 12, 30), "000000.00000000"},  {At(1900, 1, 1, 12), "000002.50000000"},
      {At(2000, 1, 1, 6), "036526.25000000"}, {At(2024, 2, 29, 23, 59, 59), "045351.99998843"},
      {At(1800, 1, 1), "000000.00000000"}, // before the epoch: clamped, never a "-" key
  };
  for (const auto& C : Cases)
    EXPECT_EQ(DateKey(C.T), C.Key) << C.T.toString().toStdString();
}

TEST(FileList, TypeMaskFromFlags) {
  struct Case {
    const char* Flags;
    const char* Mask;
  } Cases[] = {
      {"1111111111", "*.jpg;*.gif;*.bmp;*.ico;*.wmf;*.avi;*.pcx;*.png;*.tga;*.tif;"},
      {"1111", "*.jpg;*.gif;*.bmp;*.ico;"},
      {"11", "*.jpg;*.gif;"},
      {"0000000000", ""},
      {"", ""},
      {"1x1", "*.jpg;*.bmp;"},
      {"0000000001", "*.tif;"},
  };
  for (auto C : Cases)
    EXPECT_EQ(BuildTypeMask(QString(C.Flags)), C.Mask) << C.Flags;
  EXPECT_EQ(FileTypesText(ParseFileTypes("1x1")), "1010000000");
  EXPECT_EQ(MaskPatterns("*.jpg;*.gif;tail"), QStringList({"*.jpg", "*.gif"}));
  for (const char* T : {"JPG", "gif", "WMF", "TIF"})
    EXPECT_TRUE(IsPictureType(T)) << T;
  for (const char* T : {"JPE", "AVI", "PG", "", "G.B"})
    EXPECT_FALSE(IsPictureType(T)) << T;
}

TEST(FileList, ListingFollowsTheMask) {
  const QString Dir = test::MakeFolder("listing");
  for (const char* N : {"a.JPG", "b.jpg", "c.png", "e.txt", ".hidden.jpg", "noext"})
    test::WriteBytes(Dir + "/" + N, 10);
  QDir(Dir).mkdir("folder.jpg");
  QFile::link(Dir + "/missing-target", Dir + "/dangling.jpg");

  // Letter case ignored, hidden files, folders and dangling links left out.
  QStringList Jpg = Names(ListFolderItems(Dir, "*.jpg;", false));
  Jpg.sort();
  EXPECT_EQ(Jpg, QStringList({"a.JPG", "b.jpg"}));
  // Pattern order: the PNG comes before the JPEGs; nothing is listed twice.
  auto Items = ListFolderItems(Dir, "*.png;*.jpg;*.JPG;", false);
  ASSERT_EQ(Items.size(), 3u);
  EXPECT_EQ(Items[0].Name, "c.png");
  // All files: every ordinary, visible file.
  QStringList All = Names(ListFolderItems(Dir, "", true));
  All.sort();
  EXPECT_EQ(All, QStringList({"a.JPG", "b.jpg", "c.png", "e.txt", "noext"}));
  EXPECT_TRUE(ListFolderItems(Dir, "", false).empty());
  // Other wildcards still work.
  EXPECT_EQ(Names(ListFolderItems(Dir, "?.TXT;", false)), QStringList({"e.txt"}));

  const TFileItem& C = Items[0];
  EXPECT_EQ(C.SizeText, "1");
  EXPECT_EQ(C.Type, "PNG");
  EXPECT_FALSE(C.ModifiedText.isEmpty());

  EXPECT_THROW(ListFolderItems(Dir + "/absent", "*.jpg;", false), std::runtime_error);
  EXPECT_THROW(ListFolderItems(Dir + "/e.txt", "*.jpg;", false), std::runtime_error);
}

TEST(FileList, EveryColumnSortsBothWays) {
  const QDateTime T1 = At(2020, 5, 1, 10), T2 = At(2021, 1, 1, 9);
  std::vector<TFileItem> Items = {
      MakeFileItem("b.jpg", 3000, T2), // 3 KB
      MakeFileItem("_a.gif", 0, T1),   // 1 KB; "_" sorts after letters in upper case
      MakeFileItem("A.JPG", 1024, T1), // 2 KB
      MakeFileItem("c.jpeg", 100, T2), // 1 KB, type JPE
  };
  struct Case {
    int Column;
    bool Ascending;
    QStringList Order;
  } Cases[] = {
      {scName, true, {"A.JPG", "b.jpg", "c.jpeg", "_a.gif"}},
      {scName, false, {"_a.gif", "c.jpeg", "b.jpg", "A.JPG"}},
      // equal sizes keep their listing order
      {scSize, true, {"_a.gif", "c.jpeg", "A.JPG", "b.jpg"}},
      {scSize, false, {"b.jpg", "A.JPG", "_a.gif", "c.jpeg"}},
      {scType, true, {"_a.gif", "c.jpeg", "A.JPG", "b.jpg"}},
      {scType, false, {"b.jpg", "A.JPG", "c.jpeg", "_a.gif"}},
      // equal times are ordered by name
      {scModified, true, {"A.JPG", "_a.gif", "b.jpg", "c.jpeg"}},
      {scModified, false, {"c.jpeg", "b.jpg", "_a.gif", "A.JPG"}},
  };
  for (const auto& C : Cases) {
    auto Sorted = Items;
    SortItems(Sorted, C.Column, C.Ascending);
    EXPECT_EQ(Names(Sorted), C.Order) << "column " << C.Column << (C.Ascending ? " up" : " down");
  }
  EXPECT_EQ(CompareItems(Items[0], Items[2], scName), 1);
  EXPECT_EQ(CompareItems(Items[1], Items[3], scSize), 0);
  EXPECT_EQ(CompareItems(Items[1], Items[2], scModified), 1);
}

TEST(FileList, ModelHeaderClicksAndPrefixSearch) {
  const QString Dir = test::MakeFolder("model");
  test::WriteBytes(Dir + "/a.JPG", 5000);
  test::WriteBytes(Dir + "/b.jpg", 10);
  test::WriteBytes(Dir + "/Beta.png", 2000);
  TFileListModel M;
  M.ListFolder(Dir, "*.jpg;*.png;");
  M.Sort();
  auto Column0 = [&] {
    QStringList L;
    for (int R = 0; R < M.rowCount(); ++R)
      L << M.data(M.index(R, 0), Qt::DisplayRole).toString();
    return L;
  };
  EXPECT_EQ(Column0(), QStringList({"a.JPG", "b.jpg", "Beta.png"}));
  EXPECT_EQ(M.data(M.index(0, 1), Qt::DisplayRole).toString(), "5");
  EXPECT_EQ(M.FullName(0), Dir + "/a.JPG");

  M.ColumnClick(1); // size, ascending
  EXPECT_EQ(Column0(), QStringList({"b.jpg", "Beta.png", "a.JPG"}));
  M.ColumnClick(1); // the same column again: descending
  EXPECT_EQ(Column0(), QStringList({"a.JPG", "Beta.png", "b.jpg"}));
  EXPECT_FALSE(M.SortAscending());
  M.ColumnClick(0); // another column: ascending again
  EXPECT_TRUE(M.SortAscending());
  EXPECT_EQ(M.SortColumn(), 0);

  EXPECT_EQ(M.FindByPrefix("BE"), 2);
  EXPECT_EQ(M.FindByPrefix("b"), 1);
  EXPECT_EQ(M.FindByPrefix("z"), -1);

  int HeaderChanges = 0;
  QObject::connect(&M, &QAbstractItemModel::headerDataChanged, [&] { ++HeaderChanges; });
  EXPECT_EQ(M.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Name (Images)");
  M.SetAllFiles(true);
  EXPECT_EQ(M.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Name (All)");
  EXPECT_EQ(HeaderChanges, 1);

  // A failed listing leaves an empty list.
  EXPECT_THROW(M.ListFolder(Dir + "/absent", "*.jpg;"), std::runtime_error);
  EXPECT_EQ(M.rowCount(), 0);
}

TEST(FileList, ShownNamesKeepToOneLineAndTheirOwnOrder) {
  const QString Dir = test::MakeFolder("model-hostile");
  const QByteArray Raw = EncodeFileName(Dir) + "/lat\xe9.jpg";
  const int F = ::open(Raw.constData(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(F, 0);
  ::close(F);
  test::WriteBytes(Dir + "/a\nb.jpg", 10);
  test::WriteBytes(Dir + QString("/c_") + QChar(0x202E) + "gpj.exe.jpg", 10);
  TFileListModel M;
  M.ListFolder(Dir, "*.jpg;");
  M.Sort();
  ASSERT_EQ(M.rowCount(), 3);
  const QChar Mark = QChar::ReplacementCharacter;
  QStringList Shown;
  for (int R = 0; R < M.rowCount(); ++R)
    Shown << M.data(M.index(R, 0), Qt::DisplayRole).toString();
  EXPECT_EQ(Shown, QStringList({QString("a") + Mark + "b.jpg", QString("c_") + Mark + "gpj.exe.jpg",
                                QString("lat") + Mark + ".jpg"}));
  // The names the commands use are the stored ones.
  EXPECT_EQ(M.FullName(0), Dir + "/a\nb.jpg");
  EXPECT_EQ(EncodeFileName(M.FullName(2)), Raw);
}
