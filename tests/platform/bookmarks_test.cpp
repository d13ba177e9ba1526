// The bookmarks file read line by line: long lines and huge files cost little and lose nothing
// the user wrote; adding to a file read only in part appends to it.
#include "browser/bookmarks.h"
#include "platform/filenames.h"

#include "tests/browser/browsertest.h"

#include <QFile>

#include <gtest/gtest.h>

#include <climits>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orbisk;

namespace {

QByteArray Bytes(const QString& Path, qint64 Count = -1) {
  QFile F(Path);
  if (!F.open(QIODevice::ReadOnly)) return "<missing>";
  return Count < 0 ? F.readAll() : F.read(Count);
}

void Write(const QString& Path, const QByteArray& Data) {
  QFile F(Path);
  ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(F.write(Data), Data.size());
}

long PeakKilobytes() {
  rusage U{};
  getrusage(RUSAGE_SELF, &U);
  return U.ru_maxrss;
}

} // namespace

TEST(BookmarksFile, LongLinesAreSkippedAndTheRestIsRead) {
  const QString File = test::MakeFolder("bookmarks-long") + "/bookmrks.dat";
  const QByteArray Long(PATH_MAX + 10, 'x');
  const QByteArray Exact = "/" + QByteArray(PATH_MAX - 2, 'p'); // one byte short of the limit
  Write(File, "/a\r\n" + Long + "\r\n/b\n\n" + Exact + "\r\n/lat\xe9\r\n/last");
  QStringList List;
  bool Whole = true;
  ASSERT_EQ(ReadBookmarks(File, List, &Whole), TBookmarksRead::Ok);
  EXPECT_EQ(List, QStringList({"/a", "/b", QString::fromLatin1(Exact), DecodeFileName("/lat\xe9"),
                               "/last"}));
  EXPECT_FALSE(Whole);
  // A file with nothing skipped is whole, and its bytes come back as they were.
  const QString Plain = test::MakeFolder("bookmarks-plain") + "/bookmrks.dat";
  ASSERT_TRUE(SaveBookmarks(Plain, {"/a", DecodeFileName("/lat\xe9")}));
  EXPECT_EQ(Bytes(Plain), "/a\r\n/lat\xe9\r\n");
  ASSERT_EQ(ReadBookmarks(Plain, List, &Whole), TBookmarksRead::Ok);
  EXPECT_TRUE(Whole);
  EXPECT_EQ(List, QStringList({"/a", DecodeFileName("/lat\xe9")}));

  // Adding to the file read in part keeps every byte of it and appends the folder.
  const QByteArray Before = Bytes(File);
  EXPECT_EQ(AddBookmark(File, "/B"), TAddBookmark::Duplicate);
  EXPECT_EQ(AddBookmark(File, "/new"), TAddBookmark::Added);
  EXPECT_EQ(Bytes(File), Before + "\r\n/new\r\n"); // the last line had no line end
  ASSERT_EQ(ReadBookmarks(File, List), TBookmarksRead::Ok);
  EXPECT_EQ(List.last(), "/new");
}

TEST(BookmarksFile, HugeFileIsReadOnlyAsFarAsASaneSize) {
  const QString File = test::MakeFolder("bookmarks-huge") + "/bookmrks.dat";
  // 200 MB of one endless line after two folders (sparse: it takes no disk space).
  Write(File, "/first\r\n/second\r\n");
  ASSERT_EQ(truncate(QFile::encodeName(File).constData(), 200LL << 20), 0);
  const long Peak = PeakKilobytes();
  QStringList List;
  bool Whole = true;
  ASSERT_EQ(ReadBookmarks(File, List, &Whole), TBookmarksRead::Ok);
  EXPECT_EQ(List, QStringList({"/first", "/second"}));
  EXPECT_FALSE(Whole);
  // Far less memory than the file's size.
  EXPECT_LT(PeakKilobytes() - Peak, 32L * 1024);

  // Many short lines past the limit: the ones before it are read, the cut line is not taken.
  const QString Many = test::MakeFolder("bookmarks-many") + "/bookmrks.dat";
  QByteArray Data;
  for (int I = 0; Data.size() < kMaxBookmarksFileBytes + 1000; ++I)
    Data += "/folder" + QByteArray::number(I) + "\r\n";
  Write(Many, Data);
  ASSERT_EQ(ReadBookmarks(Many, List, &Whole), TBookmarksRead::Ok);
  EXPECT_FALSE(Whole);
  ASSERT_FALSE(List.isEmpty());
  EXPECT_EQ(List.first(), "/folder0");
  const QByteArray Kept = Data.left(kMaxBookmarksFileBytes);
  const QByteArray LastWhole = Kept.left(Kept.lastIndexOf("\r\n"));
  EXPECT_EQ(List.last(), QString::fromLatin1(LastWhole.mid(LastWhole.lastIndexOf('\n') + 1)));
  // Adding appends after everything, also the part that was not read.
  EXPECT_EQ(AddBookmark(Many, "/added"), TAddBookmark::Added);
  EXPECT_EQ(Bytes(Many), Data + "/added\r\n");
}
