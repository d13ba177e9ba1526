// The album file: exact bytes written, files of older versions, damaged files, safe saving.
#include "albums/albumdoc.h"
#include "albums/albumformat.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

using namespace orbisk;

namespace {

std::string Header(const char* Rows, const char* Cols, const char* Border) {
  // frames off, caption option 1, "Arial" 8 black plain
  return std::string(Rows) + Cols + Border + "0" + "1" + std::string(35, ' ') + "Arial" + " 8" +
         std::string(11, ' ') + "0" + "0" + "0";
}

std::string VersionBlock(const char* First = "7.80") {
  std::string B(First);
  B.append(1000 - B.size(), ' ');
  return B;
}

QByteArray ReadAll(const QString& Path) {
  QFile F(Path);
  EXPECT_TRUE(F.open(QIODevice::ReadOnly));
  return F.readAll();
}

void WriteAll(const QString& Path, const QByteArray& B) {
  QFile F(Path);
  ASSERT_TRUE(F.open(QIODevice::WriteOnly));
  F.write(B);
}

AlbumSettings ThreeByTwo() {
  AlbumSettings S;
  S.Rows = 3;
  S.Cols = 2;
  S.Border = 100;
  S.PrintFrames = false;
  S.CaptionOption = 1;
  return S;
}

} // namespace

TEST(AlbumFile, TwoEntriesAreWrittenByteForByte) {
  std::vector<AlbumEntry> E = {{"/home/ann/pics/a.jpg", "Beach", 0},
                               {"/home/ann/pics/b.png", "", 2}};
  std::string Bytes = AlbumFileBytes(E, ThreeByTwo()).toStdString();
  std::string H = Header("  3", "  2", "100");
  ASSERT_EQ(H.size(), 67u);
  std::string Expected = H + VersionBlock() + std::string(1, '\0') +
                         "/home/ann/pics/a.jpg\tBeach\r\n" + std::string(1, '\2') +
                         "/home/ann/pics/b.png\t\r\n";
  EXPECT_EQ(Bytes, Expected);
  EXPECT_EQ(Bytes.substr(0, 9), "  3  2100");

  TAlbumContent C = ParseAlbumBytes(QByteArray::fromStdString(Bytes));
  EXPECT_EQ(C.Settings, ThreeByTwo());
  ASSERT_EQ(C.Entries.size(), 2u);
  EXPECT_EQ(C.Entries, E); // rotation 2 and the empty caption survive
  EXPECT_TRUE(C.HasRotation);
  EXPECT_FALSE(C.Truncated);
}

TEST(AlbumFile, HeaderFieldsOfOtherSettings) {
  AlbumSettings S;
  S.Rows = 6;
  S.Cols = 1;
  S.Border = 10;
  S.PrintFrames = true;
  S.CaptionOption = 5;
  S.CaptionFont = {"DejaVu Sans", 12, -2147483647 - 1, true, true};
  std::string B = AlbumFileBytes({{"/x", "", 0}}, S).toStdString();
  EXPECT_EQ(B.substr(0, 67),
            "  6  1 1015" + std::string(29, ' ') + "DejaVu Sans" + "12" + " -2147483648" + "11");
  TAlbumContent C = ParseAlbumBytes(QByteArray::fromStdString(B));
  EXPECT_EQ(C.Settings, S);
}

TEST(AlbumFile, OutOfRangeSettingsKeepTheHeaderFixedWidth) {
  AlbumSettings S;
  S.Rows = 0; // clamped, never written as something the layout would divide by
  S.Cols = 40;
  S.Border = 9999;
  S.CaptionOption = 12;
  S.CaptionFont.Name = QString(45, 'N');
  S.CaptionFont.Size = 144;
  std::string B = AlbumFileBytes({{"/x", "", 0}}, S).toStdString();
  EXPECT_EQ(B.substr(0, 11), "  1  6500"
                             "05");
  EXPECT_EQ(B.substr(11, 40), std::string(40, 'N'));
  EXPECT_EQ(B.substr(51, 2), "99");
  EXPECT_EQ(B.substr(67, 4), "7.80");
  TAlbumContent C = ParseAlbumBytes(QByteArray::fromStdString(B));
  EXPECT_EQ(C.Settings.CaptionFont.Name, QString(40, 'N'));
  EXPECT_EQ(C.Settings.CaptionFont.Size, 99);
  ASSERT_EQ(C.Entries.size(), 1u);
  EXPECT_EQ(C.Entries[0].FileName, "/x");
}

TEST(AlbumFile, FontNameCutAtACharacterBoundary) {
  AlbumSettings S;
  S.CaptionFont.Name = QString(39, 'a') + QString::fromUtf8("\xc3\xa9xyz"); // é straddles byte 40
  std::string B = AlbumFileBytes({{"/x", "", 0}}, S).toStdString();
  EXPECT_EQ(B.substr(11, 40), " " + std::string(39, 'a'));
  EXPECT_EQ(B.substr(67, 4), "7.80");
}

TEST(AlbumFile, FilesWithoutRotationBytes) {
  std::string B = Header("  2", "  2", " 50") + VersionBlock("6.00") + "/p/one.jpg\tFirst\r\n" +
                  "/p/two.jpg\t\r\n";
  TAlbumContent C = ParseAlbumBytes(QByteArray::fromStdString(B));
  EXPECT_FALSE(C.HasRotation);
  ASSERT_EQ(C.Entries.size(), 2u);
  EXPECT_EQ(C.Entries[0], (AlbumEntry{"/p/one.jpg", "First", 0}));
  EXPECT_EQ(C.Entries[1], (AlbumEntry{"/p/two.jpg", "", 0}));
  EXPECT_EQ(C.Settings.Border, 50);
}

TEST(AlbumFile, TextBeyondAsciiAndLongValuesRoundTrip) {
  QString LongCaption(5000, 'c');
  QString Name = "/home/\u00e5sa/" + QString(3000, 'n') + ".jpg";
  std::vector<AlbumEntry> E = {{Name, LongCaption, 1}, {"/a\u00fc.png", "K\u00f6ln \u65e5", 3}};
  TAlbumContent C = ParseAlbumBytes(AlbumFileBytes(E, AlbumSettings()));
  // Long names stay whole; captions are cut to what a page can show, and the reader says so.
  ASSERT_EQ(C.Entries.size(), 2u);
  EXPECT_EQ(C.Entries[0].FileName, Name);
  EXPECT_EQ(C.Entries[0].Caption, LongCaption.left(kMaxCaptionLength));
  EXPECT_EQ(C.Entries[1], E[1]);
  EXPECT_TRUE(C.CaptionsCut);
  E[0].Caption = LongCaption.left(kMaxCaptionLength);
  C = ParseAlbumBytes(AlbumFileBytes(E, AlbumSettings()));
  EXPECT_EQ(C.Entries, E);
  EXPECT_FALSE(C.CaptionsCut);
  // Older single-byte captions that are not UTF-8 read as Latin-1.
  std::string Old =
      Header("  3", "  2", "100") + VersionBlock() + std::string(1, '\0') + "/x\tK\xf6ln\r\n";
  EXPECT_EQ(ParseAlbumBytes(QByteArray::fromStdString(Old)).Entries[0].Caption,
            QString("K\u00f6ln"));
}

TEST(AlbumFile, TabsAndLineBreaksBecomeBlanks) {
  TAlbumDocument D;
  int Changes = 0;
  QObject::connect(&D, &TAlbumDocument::OnChange, [&] { ++Changes; });
  EXPECT_TRUE(D.Add("/p/plain.jpg", "ok"));
  EXPECT_FALSE(D.Add("/p/a\tb.jpg", "line1\r\nline2"));
  EXPECT_EQ(D.Entry(1).FileName, "/p/a b.jpg");
  EXPECT_EQ(D.Entry(1).Caption, "line1  line2");
  EXPECT_FALSE(D.SetCaption(0, "x\ny"));
  EXPECT_EQ(D.Entry(0).Caption, "x y");
  EXPECT_TRUE(D.SetCaption(0, "tab\tin caption is kept"));
  EXPECT_EQ(Changes, 4);
  TAlbumContent C = ParseAlbumBytes(AlbumFileBytes(D.Entries(), AlbumSettings()));
  EXPECT_EQ(C.Entries, D.Entries());
  // Entries set directly are still written so that the file reads back record by record.
  std::vector<AlbumEntry> Raw = {{"/a\tb", "c\rd", 0}, {"/e", "f", 0}};
  C = ParseAlbumBytes(AlbumFileBytes(Raw, AlbumSettings()));
  ASSERT_EQ(C.Entries.size(), 2u);
  EXPECT_EQ(C.Entries[0].FileName, "/a b");
  EXPECT_EQ(C.Entries[0].Caption, "c d");
}

TEST(AlbumFile, TruncatedFilesKeepTheEntriesBefore) {
  std::string Full = Header("  3", "  2", "100") + VersionBlock() + std::string(1, '\1') +
                     "/a.jpg\tA\r\n" + std::string(1, '\0') + "/b.jpg\tB\r\n";
  for (size_t Cut = 1067; Cut <= Full.size(); ++Cut) {
    SCOPED_TRACE(Cut);
    TAlbumContent C = ParseAlbumBytes(QByteArray::fromStdString(Full.substr(0, Cut)));
    size_t FirstEnd = 1067 + 1 + 6 + 1 + 1 + 1; // up to and including the first CR
    size_t Expected = Cut < FirstEnd ? 0 : (Cut < Full.size() - 1 ? 1 : 2);
    EXPECT_EQ(C.Entries.size(), Expected);
    bool AtRecordEnd =
        Cut == 1067 || Cut == FirstEnd || Cut == FirstEnd + 1 || Cut >= Full.size() - 1;
    EXPECT_EQ(C.Truncated, !AtRecordEnd);
  }
  EXPECT_EQ(ParseAlbumBytes(QByteArray::fromStdString(Full)).Entries[0].Rotation, 1);
}

TEST(AlbumFile, DamagedHeadersAreErrorsNamingTheField) {
  std::string Good = Header("  3", "  2", "100") + VersionBlock();
  EXPECT_THROW(ParseAlbumBytes(""), EAlbumFormat);
  EXPECT_THROW(ParseAlbumBytes(QByteArray::fromStdString(Good.substr(0, 66))), EAlbumFormat);
  EXPECT_THROW(ParseAlbumBytes(QByteArray::fromStdString(Good.substr(0, 1066))), EAlbumFormat);
  struct Case {
    size_t Pos, Len;
    const char* Text;
    const char* Field;
  } Cases[] = {{0, 3, "abc", "Rows"},     {3, 3, "   ", "Cols"},
               {6, 3, "1 0", "Border"},   {10, 1, "x", "CaptionOption"},
               {51, 2, "- ", "FontSize"}, {53, 12, "99999999999 ", "FontColor"}};
  for (const Case& K : Cases) {
    std::string B = Good;
    B.replace(K.Pos, K.Len, K.Text);
    try {
      ParseAlbumBytes(QByteArray::fromStdString(B));
      ADD_FAILURE() << K.Field;
    } catch (const EAlbumFormat& E) {
      EXPECT_NE(std::string(E.what()).find(std::string("\"") + K.Field + "\""), std::string::npos)
          << E.what();
    }
  }
}

TEST(AlbumFile, SaveAndOpenThroughFiles) {
  QTemporaryDir Dir;
  QString Path = Dir.filePath("trip.alb");
  std::vector<AlbumEntry> E = {{"/p/1.jpg", "one", 3}};
  SaveAlbum(Path, E, ThreeByTwo());
  EXPECT_EQ(ReadAll(Path), AlbumFileBytes(E, ThreeByTwo()));
  TAlbumContent C = OpenAlbum(Path);
  EXPECT_EQ(C.Entries, E);
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{"trip.alb"}); // no leftovers

  // An empty album is refused and the file stays as it was.
  try {
    SaveAlbum(Path, {}, ThreeByTwo());
    ADD_FAILURE();
  } catch (const EAlbumFile& X) {
    EXPECT_STREQ(X.what(), kNoEntriesToSave);
  }
  EXPECT_EQ(ReadAll(Path), AlbumFileBytes(E, ThreeByTwo()));

  // A read-only album is refused, unchanged.
  QFile::setPermissions(Path, QFileDevice::ReadOwner);
  EXPECT_THROW(SaveAlbum(Path, {{"/q.jpg", "", 0}}, ThreeByTwo()), EAlbumFile);
  QFile::setPermissions(Path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  EXPECT_EQ(ReadAll(Path), AlbumFileBytes(E, ThreeByTwo()));

  // A folder that cannot be written to: an error, and nothing appears.
  EXPECT_THROW(SaveAlbum(Dir.filePath("missing/x.alb"), E, ThreeByTwo()), EAlbumFile);

  // Unreadable and damaged files are errors naming the file.
  EXPECT_THROW(OpenAlbum(Dir.filePath("none.alb")), EAlbumFile);
  QString Bad = Dir.filePath("bad.alb");
  WriteAll(Bad, QByteArray(2000, 'z'));
  try {
    OpenAlbum(Bad);
    ADD_FAILURE();
  } catch (const EAlbumFile& X) {
    EXPECT_TRUE(QString(X.what()).startsWith(Bad)) << X.what();
  }
}

TEST(AlbumDocument, EditingCommands) {
  TAlbumDocument D;
  D.Add("/a", "A");
  D.Add("/b", "B", 1);
  D.Add("/c", "C");
  EXPECT_FALSE(D.MoveUp(0));
  EXPECT_FALSE(D.MoveDown(2));
  EXPECT_TRUE(D.MoveDown(1)); // keeps caption and rotation
  EXPECT_EQ(D.Entry(2), (AlbumEntry{"/b", "B", 1}));
  EXPECT_TRUE(D.MoveUp(2));
  EXPECT_EQ(D.FileNames(), (QStringList{"/a", "/b", "/c"}));
  for (int I = 0; I < 4; ++I)
    D.RotateClockwise(0);
  EXPECT_EQ(D.Entry(0).Rotation, 0);
  D.RotateCounterClockwise(0);
  EXPECT_EQ(D.Entry(0).Rotation, 3);
  D.Remove(1);
  EXPECT_EQ(D.FileNames(), (QStringList{"/a", "/c"}));
  D.CaptionFont = {"Serif", 20, 255, true, false};
  D.FileName = "/x.alb";
  D.New();
  EXPECT_EQ(D.Count(), 0);
  EXPECT_EQ(D.CaptionFont, TAlbumFont());
  EXPECT_FALSE(D.HasFileName());
}
