// What the album commands write, through orbisk-cli as a user runs it: never over the album's own
// files, never over files the run did not write, captions of any length, albums of many pages,
// and published pictures without the photographer's location and camera data.
#include "albums/albumdoc.h"
#include "albums/webalbum.h"
#include "tests/albums/webtestutil.h"
#include "tests/browser/browsertest.h"
#include "tests/common/testutil.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

int Cli(const QStringList& Args, QString* Out = nullptr, QString* Err = nullptr) {
  std::vector<std::string> A;
  for (const QString& S : Args)
    A.push_back(EnginePath(S));
  std::string O, E;
  const int Status = RunCli(A, &O, &E);
  if (Out) *Out = QString::fromStdString(O);
  if (Err) *Err = QString::fromStdString(E);
  return Status;
}

bool HavePoppler() {
  return !QStandardPaths::findExecutable("pdftotext").isEmpty();
}

// The segments of a JPEG file before its picture data, as marker bytes (0xE1 for APP1, ...).
QList<int> MarkersOf(const QByteArray& J) {
  QList<int> M;
  qsizetype P = 2;
  while (P + 4 <= J.size() && uchar(J[P]) == 0xFF) {
    const int Marker = uchar(J[P + 1]);
    M << Marker;
    if (Marker == 0xDA) break;
    P += 2 + ((qsizetype(uchar(J[P + 2])) << 8) | uchar(J[P + 3]));
  }
  return M;
}

QByteArray Segment(int Marker, const QByteArray& Body) {
  QByteArray S;
  S += char(0xFF);
  S += char(Marker);
  S += char((Body.size() + 2) >> 8);
  S += char((Body.size() + 2) & 0xFF);
  return S + Body;
}

struct AlbumOutputs : ::testing::Test {
  void SetUp() override {
    ResetUserFiles();
    Dir = MakeFolder("album-outputs");
  }
  QString Album(const std::vector<AlbumEntry>& E, int Cols = 2, int Rows = 3,
                int CaptionOption = 0) {
    AlbumSettings S;
    S.Cols = Cols;
    S.Rows = Rows;
    S.CaptionOption = CaptionOption;
    const QString Path = Dir + "/a.alb";
    SaveAlbum(Path, E, S);
    return Path;
  }
  QString Dir;
};

TEST_F(AlbumOutputs, AlbumPdfNeverWritesOverTheAlbumOrItsPictures) {
  const QString B = MakeWebPicture(Dir + "/b.jpg", 60, 40);
  const QString C = MakeWebPicture(Dir + "/c.png", 60, 40);
  const QString Alb = Album({{B, "", 0}, {C, "", 0}});
  ASSERT_EQ(::symlink(EnginePath(B).c_str(), EnginePath(Dir + "/link.pdf").c_str()), 0);
  ASSERT_EQ(::link(EnginePath(C).c_str(), EnginePath(Dir + "/hard.pdf").c_str()), 0);
  const QByteArray HashB = HashOf(B), HashC = HashOf(C), HashAlb = HashOf(Alb);
  for (const QString& Out : {B, Dir + "/link.pdf", Dir + "/hard.pdf", Alb, Dir + "/./c.png"}) {
    QString Err;
    EXPECT_NE(Cli({"album-pdf", Alb, Out}, nullptr, &Err), 0) << Out.toStdString();
    EXPECT_TRUE(Err.contains("one of the album's files")) << Err.toStdString();
  }
  EXPECT_EQ(HashOf(B), HashB);
  EXPECT_EQ(HashOf(C), HashC);
  EXPECT_EQ(HashOf(Alb), HashAlb);
  EXPECT_TRUE(QFileInfo(Dir + "/link.pdf").isSymLink());
  // Any other file is written.
  QString Err;
  EXPECT_EQ(Cli({"album-pdf", Alb, Dir + "/print.pdf"}, nullptr, &Err), 0) << Err.toStdString();
  EXPECT_TRUE(FileBytes(Dir + "/print.pdf").startsWith("%PDF"));
}

TEST_F(AlbumOutputs, WebAlbumNeverReplacesFilesItDidNotWrite) {
  // An entry pic.png beside the user's own, unrelated pic.jpg, and a page of the user's of the
  // wizard's page name; q.png and the within-run collision a.b.png / a.c.png are free.
  const QString Pic = MakeWebPicture(Dir + "/pic.png", 40, 30);
  const QString Users = MakeWebPicture(Dir + "/pic.jpg", 300, 200, RGBOf(0, 0, 255));
  WriteData(Dir + "/myphotos.html", "<p>my own page</p>");
  const QString Q = MakeWebPicture(Dir + "/q.png", 40, 30);
  const QString AB = MakeWebPicture(Dir + "/a.b.png", 40, 30, RGBOf(0, 200, 0));
  const QString AC = MakeWebPicture(Dir + "/a.c.png", 40, 30, RGBOf(200, 0, 0));
  const QString Alb = Album({{Pic, "", 0}, {Q, "", 0}, {AB, "", 0}, {AC, "", 0}});
  const QByteArray UsersHash = HashOf(Users);

  QString Out, Err;
  EXPECT_NE(Cli({"web-album", Alb, Dir}, &Out, &Err), 0);
  EXPECT_EQ(HashOf(Users), UsersHash);
  EXPECT_EQ(FileBytes(Dir + "/myphotos.html"), "<p>my own page</p>");
  EXPECT_TRUE(Out.contains("Skipped " + Dir + "/pic.jpg")) << Out.toStdString();
  EXPECT_TRUE(Out.contains("Skipped " + Dir + "/myphotos.html")) << Out.toStdString();
  EXPECT_TRUE(Err.contains("Published 3 of 4 pictures and 0 pages.")) << Err.toStdString();
  // The entry whose picture name was taken is left out, thumbnail and all; the others are there,
  // the two of the same stem under distinct names.
  EXPECT_FALSE(QFile::exists(Dir + "/tm_pic.jpg"));
  EXPECT_TRUE(QFile::exists(Dir + "/q.jpg"));
  EXPECT_GT(GreenOf(CentreColor(Dir + "/a.jpg")), 150u);
  EXPECT_GT(RedOf(CentreColor(Dir + "/a_2.jpg")), 150u);

  // With --overwrite the user allows it.
  EXPECT_EQ(Cli({"web-album", Alb, Dir, "--overwrite"}, &Out, &Err), 0) << Err.toStdString();
  EXPECT_NE(HashOf(Users), UsersHash);
  EXPECT_EQ(PictureSize(Dir + "/pic.jpg"), (TSize2{40, 30}));
  EXPECT_TRUE(QString::fromUtf8(FileBytes(Dir + "/myphotos.html")).contains("tm_pic.jpg"));
  EXPECT_FALSE(Out.contains("Skipped"));
}

TEST_F(AlbumOutputs, HugeCaptionsAreCutWhenReadAndFitTheirFrame) {
  const QString P = MakeWebPicture(Dir + "/p.png", 60, 40);
  // The album file is written byte by byte: the document would not hold such a caption.
  QByteArray Bytes = AlbumFileBytes({{P, "", 0}}, AlbumSettings());
  Bytes.chop(2);
  Bytes += QByteArray(3 << 20, 'w') + "\r\n";
  Bytes[10] = '2'; // caption option "Caption"
  const QString Alb = Dir + "/huge.alb";
  WriteData(Alb, Bytes);

  QString Out, Err;
  ASSERT_EQ(Cli({"album-pdf", Alb, Dir + "/huge.pdf", "--resolution", "72"}, &Out, &Err), 0)
      << Err.toStdString();
  EXPECT_TRUE(Err.contains(kCaptionsCut)) << Err.toStdString();
  if (HavePoppler()) {
    QProcess T;
    T.start("pdftotext", {Dir + "/huge.pdf", "-"});
    T.waitForFinished(60000);
    const QString Text = QString::fromUtf8(T.readAllStandardOutput());
    // The caption stands elided to its frame: a line of a few dozen letters ending in "…".
    const qsizetype Ws = Text.count('w');
    EXPECT_GT(Ws, 10);
    EXPECT_LT(Ws, 400);
    EXPECT_TRUE(Text.contains(QChar(0x2026))) << Text.left(200).toStdString();
  }

  // Published: the caption of the page is the cut one.
  EXPECT_EQ(Cli({"web-album", Alb, Dir + "/site", "--caption", "caption"}, &Out, &Err), 0)
      << Err.toStdString();
  EXPECT_TRUE(Err.contains(kCaptionsCut));
  const QByteArray Page = FileBytes(Dir + "/site/myphotos.html");
  EXPECT_TRUE(Page.contains(QByteArray(kMaxCaptionLength, 'w') + "</td>"));
  EXPECT_FALSE(Page.contains(QByteArray(kMaxCaptionLength + 1, 'w')));
}

TEST_F(AlbumOutputs, ManyPagesLinkAWindowOfPagesNotEveryPage) {
  const QString P = MakeWebPicture(Dir + "/p.png", 8, 8);
  std::vector<AlbumEntry> E(60, AlbumEntry{P, "", 0});
  const QString Alb = Album(E, 1, 1);
  QString Out, Err;
  ASSERT_EQ(Cli({"web-album", Alb, Dir + "/site", "--thumb", "32", "--max", "40"}, &Out, &Err), 0)
      << Err.toStdString();
  auto PageLine = [&](int N) {
    const QString Text =
        QString::fromUtf8(FileBytes(Dir + "/site/myphotos_" + QString::number(N) + ".html"));
    for (const QString& L : Text.split("\r\n"))
      if (L.startsWith("<p>Page")) return L;
    return QString();
  };
  auto Link = [](int N, const QString& Text) {
    return QString(" <a href=\"myphotos_%1.html\">%2</a>").arg(N).arg(Text);
  };
  QString Expected = "<p>Page" + Link(1, "First") + Link(29, "Previous");
  for (int N = 25; N <= 35; ++N)
    Expected += N == 30 ? QString(" 30") : Link(N, QString::number(N));
  Expected += Link(31, "Next") + Link(60, "Last") + "</p>";
  EXPECT_EQ(PageLine(30), Expected);
  // The first and last pages have no links before or after them.
  QString First = "<p>Page 1";
  for (int N = 2; N <= 6; ++N)
    First += Link(N, QString::number(N));
  EXPECT_EQ(PageLine(1), First + Link(2, "Next") + Link(60, "Last") + "</p>");
  EXPECT_TRUE(PageLine(60).endsWith(Link(59, "59") + " 60</p>"));
  EXPECT_TRUE(PageLine(60).startsWith("<p>Page" + Link(1, "First") + Link(59, "Previous")));
  // Every page is still reachable: page 60 from page 1 through "Last", each page from its
  // neighbours.
  if (TidyAvailable()) {
    EXPECT_LT(TidyStatus(Dir + "/site/myphotos_30.html"), 2);
  }
}

TEST_F(AlbumOutputs, PublishedPicturesCarryNoLocationOrCameraData) {
  // A JPEG as a camera writes it: EXIF with a GPS block, XMP, a maker's APP13 block, a comment,
  // an ICC profile, and a preview picture after the end of the main one.
  const QString Plain = MakeWebPicture(Dir + "/plain.jpg", 64, 48);
  const QByteArray J = FileBytes(Plain);
  const QByteArray Icc = Segment(0xE2, QByteArray("ICC_PROFILE\0\x01\x01", 14) + "profile");
  QByteArray Camera = J.left(2);
  Camera += J.mid(2, 18); // the JFIF block stays first
  Camera += Segment(0xE1, QByteArray("Exif\0\0", 6) + "MM\0*GPSLatitude 51N");
  Camera += Segment(0xE1, "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>");
  Camera += Icc;
  Camera += Segment(0xED, "Photoshop 3.0\0 8BIM");
  Camera += Segment(0xFE, "Shot by someone at home");
  Camera += J.mid(20);
  Camera += QByteArray("\xFF\xD8\xFF\xE1", 4) + "Exif preview with GPS";
  const QString Shot = Dir + "/shot.jpg";
  WriteData(Shot, Camera);
  ASSERT_EQ(PictureSize(Shot), (TSize2{64, 48}));
  const QString Alb = Album({{Shot, "", 0}});

  QString Out, Err;
  ASSERT_EQ(Cli({"web-album", Alb, Dir + "/site"}, &Out, &Err), 0) << Err.toStdString();
  EXPECT_TRUE(Err.contains("Location and camera data were removed")) << Err.toStdString();
  const QByteArray Published = FileBytes(Dir + "/site/shot.jpg");
  const QList<int> Markers = MarkersOf(Published);
  EXPECT_FALSE(Markers.contains(0xE1));
  EXPECT_FALSE(Markers.contains(0xED));
  EXPECT_FALSE(Markers.contains(0xFE));
  EXPECT_TRUE(Markers.contains(0xE0));
  EXPECT_TRUE(Published.contains(Icc));
  EXPECT_FALSE(Published.contains("GPS"));
  EXPECT_FALSE(Published.contains("someone"));
  // Same picture data, so the same pixels.
  EXPECT_TRUE(Published.endsWith(J.mid(J.indexOf(QByteArray("\xFF\xDA", 2)))));
  EXPECT_EQ(CentreColor(Dir + "/site/shot.jpg"), CentreColor(Plain));
  for (const QString F : {"tm_shot.jpg", "myphotos.html"})
    EXPECT_FALSE(FileBytes(Dir + "/site/" + F).contains("GPS")) << F.toStdString();

  // Kept only when asked.
  ASSERT_EQ(Cli({"web-album", Alb, Dir + "/kept", "--keep-metadata"}, &Out, &Err), 0);
  EXPECT_EQ(FileBytes(Dir + "/kept/shot.jpg"), Camera);
  EXPECT_TRUE(Err.contains("keep their location and camera data")) << Err.toStdString();
}

TEST(JPEGCameraData, DamagedFilesAreNotFollowed) {
  EXPECT_TRUE(JPEGWithoutCameraData("").isEmpty());
  EXPECT_TRUE(JPEGWithoutCameraData("\xFF\xD8\xFF\xE1\x00").isEmpty());
  EXPECT_TRUE(JPEGWithoutCameraData(QByteArray("\xFF\xD8\xFF\xE1\x00\x10xx", 8)).isEmpty());
  EXPECT_TRUE(JPEGWithoutCameraData(QByteArray("\xFF\xD8\xFF\xDA\x00\x02\x12\x34", 8)).isEmpty());
  // Stuffed bytes and restart markers belong to the picture data.
  const QByteArray Scan("\xFF\xD8\xFF\xDA\x00\x02\x12\xFF\x00\x34\xFF\xD0\x56\xFF\xD9", 15);
  EXPECT_EQ(JPEGWithoutCameraData(Scan), Scan);
}

} // namespace
