// The web album: names, page text, picture sizes and copies, publishing end to end, hostile
// albums (texts and names that must not break the pages), colliding names, a web folder shared
// with the sources, orbisk-cli producing the same files, large JPEGs through one scaled decode.
#include "albums/webalbum.h"
#include "albums/albumprefs.h"
#include "albums/albumrender.h"
#include "engine/formats/jpeg.h"
#include "engine/stream.h"
#include "platform/codecsettings.h"
#include "tests/albums/webtestutil.h"
#include "tests/browser/browsertest.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"

#include <QDirIterator>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cmath>

#include <sys/stat.h>
#include <unistd.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

struct WebAlbum : ::testing::Test {
  void SetUp() override {
    Src = MakeFolder("web-src");
    Web = MakeFolder("web-out") + "/album";
    O.WebFolder = Web;
  }
  // Entries named Name0, Name1, ... of small PNG pictures.
  std::vector<AlbumEntry> Entries(int N, const QString& Stem = "p") {
    std::vector<AlbumEntry> E;
    for (int I = 0; I < N; ++I)
      E.push_back({MakeWebPicture(Src + QString("/%1%2.png").arg(Stem).arg(I), 30, 20), "", 0});
    return E;
  }
  TWebPublishResult Publish(const std::vector<AlbumEntry>& E) {
    TWebPublishHooks H;
    H.OnMessage = [this](const QString& T) { Messages << T; };
    return PublishWebAlbum(E, O, H);
  }
  QString Page(const QString& Name) { return QString::fromUtf8(FileBytes(Web + "/" + Name)); }
  QString Src, Web;
  TWebAlbumOptions O;
  QStringList Messages;
};

TEST(WebAlbumNames, CountsNamesColoursAndSizes) {
  EXPECT_EQ(WebPageCount(7, 3, 2), 2);
  EXPECT_EQ(WebPageCount(6, 3, 2), 1);
  EXPECT_EQ(WebPageCount(13, 3, 2), 3);
  EXPECT_EQ(WebPageCount(7, 0, 2), 0); // no division by zero
  EXPECT_EQ(WebPageCount(7, 3, 0), 0);
  EXPECT_EQ(PageCountText(1), "1 page");
  EXPECT_EQ(PageCountText(2), "2 pages");
  EXPECT_EQ(PageCountText(0), "0 pages");
  EXPECT_FALSE(LayoutProblem(0, 2).isEmpty());
  EXPECT_TRUE(LayoutProblem(1, 1).isEmpty());

  EXPECT_EQ(BasePageName("myphotos.html"), "myphotos");
  EXPECT_EQ(BasePageName("album"), "album");
  EXPECT_EQ(BasePageName("my.photos.html"), "my");
  EXPECT_EQ(WebPageFileName("album", 1, 1), "album.html");
  EXPECT_EQ(WebPageFileName("album", 1, 3), "album_1.html");
  EXPECT_EQ(WebPageFileName("album", 3, 3), "album_3.html");
  EXPECT_TRUE(PageNameProblem("album").isEmpty());
  EXPECT_FALSE(PageNameProblem("").isEmpty());
  EXPECT_FALSE(PageNameProblem(".html").isEmpty());
  EXPECT_FALSE(PageNameProblem("../../escape.html").isEmpty());

  EXPECT_EQ(WebPictureName("/x/beach.day.png"), "beach.jpg");
  EXPECT_EQ(WebPictureName("/x.y/noext"), "noext.jpg");
  EXPECT_EQ(HexColor(RGBOf(255, 128, 0)), "FF8000");
  EXPECT_EQ(HexColor(RGBOf(0, 10, 171)), "000AAB");
  EXPECT_EQ(WebCaptionOf(1), wcFilename);
  EXPECT_EQ(WebCaptionOf(5), wcCaption);

  EXPECT_EQ(WebPictureSize(50, 40, 96), (TSize2{96, 76}));
  EXPECT_EQ(WebPictureSize(40, 50, 96), (TSize2{76, 96}));
  EXPECT_EQ(WebPictureSize(3000, 2000, 2000), (TSize2{2000, 1333}));
  EXPECT_EQ(WebPictureSize(10, 10, 96), (TSize2{96, 96}));
  EXPECT_EQ(WebPictureSize(5000, 2, 96), (TSize2{96, 1})); // never 0 high
}

TEST(WebAlbumNames, CollidingNamesGetDistinctPicturesAndThumbnails) {
  std::vector<AlbumEntry> E = {{"/a/beach.day.png", "", 0}, {"/b/beach.jpg", "", 0},
                               {"/c/Beach.gif", "", 0},     {"/d/tm_a.png", "", 0},
                               {"/e/a.png", "", 0},         {"/f/beach_2.bmp", "", 0}};
  const std::vector<QString> Expected = {"beach.jpg", "beach_2.jpg", "Beach_3.jpg",
                                         "tm_a.jpg",  "a_2.jpg",     "beach_2_2.jpg"};
  EXPECT_EQ(WebPictureNames(E), Expected);
}

TEST(WebAlbumNames, TextIsEscapedAndNamesAreAddresses) {
  EXPECT_EQ(HtmlEscape("<b a=\"1\" b='2'>&</b>"),
            "&lt;b a=&quot;1&quot; b=&#39;2&#39;&gt;&amp;&lt;/b&gt;");
  // Characters beyond the first plane stay whole; only a lone half (from a name that is not
  // UTF-8) becomes U+FFFD.
  EXPECT_EQ(HtmlEscape(QString::fromUtf8("sun \xF0\x9F\x8C\x9E")),
            QString::fromUtf8("sun \xF0\x9F\x8C\x9E"));
  EXPECT_EQ(HtmlEscape(QString(QChar(0xD83C)) + "x"), QString(QChar(0xFFFD)) + "x");
  EXPECT_EQ(UrlOfName("my photo #1 100%?.jpg"), "my%20photo%20%231%20100%25%3F.jpg");
  EXPECT_EQ(UrlOfName("c:x.jpg"), "c%3Ax.jpg"); // never read as a scheme
  EXPECT_EQ(UrlOfName(QString::fromUtf8("é.jpg")), "%C3%A9.jpg");
  EXPECT_EQ(WebCellLine(wcNone, "a b.jpg", ""),
            "<td align=\"center\"><a href=\"a%20b.jpg\"><img border=\"1\" "
            "src=\"tm_a%20b.jpg\"></a></td>");
  EXPECT_EQ(WebCellLine(wcCaption, "a.jpg", "x:\\y <z>"),
            "<td align=\"center\"><a href=\"a.jpg\"><img border=\"1\" src=\"tm_a.jpg\"></a>"
            "<BR>x:\\y &lt;z&gt;</td>");
}

TEST(WebAlbumNames, PageLinesInTheirOrder) {
  TWebAlbumOptions O;
  O.ShowFrames = true;
  O.Cols = 2;
  O.Rows = 2;
  O.Title = "T";
  O.Header = "H";
  O.Footer = "F";
  const QStringList L = WebPageLines(O, 1, 1, {{WebCellLine(wcFilename, "a.jpg", "")}});
  const QStringList Expected = {
      "<html>",
      "<head>",
      "<meta charset=\"utf-8\">",
      "<meta name=\"GENERATOR\" content=\"Orbisk Internet Tessly\">",
      "<meta name=\"ProgId\" content=\"Orbisk Document\">",
      "<title>T</title>",
      "</head>",
      "<body bgcolor=\"#FFFFFF\">",
      "<div align=\"center\">",
      "<center>",
      "<font color=\"#000000\">",
      "<h1>H</h1>",
      "<table border=\"3\" width=\"1\" height = \"1\" cellspacing=\"0\" cellpadding=\"12\">",
      "<tr>",
      "<td align=\"center\"><a href=\"a.jpg\"><img border=\"1\" "
      "src=\"tm_a.jpg\"></a><BR>a.jpg</td>",
      "</tr>",
      "<tr>",
      "</tr>",
      "</table>",
      "<I>F</I>",
      "</font>",
      "</center>",
      "</div>",
      "</body>",
      "</html>"};
  EXPECT_EQ(L, Expected);
  EXPECT_EQ(WebPageBytes({"a", "b"}), QByteArray("a\r\nb\r\n"));

  O.ShowFrames = false;
  O.UseBGImage = true;
  O.BGImage = "/bg/x\".jpg";
  O.BackgroundColor = RGBOf(255, 128, 0);
  const QStringList L2 = WebPageLines(O, 2, 3, {});
  EXPECT_TRUE(L2.contains("<body background=\"/bg/x&quot;.jpg\">"));
  EXPECT_TRUE(L2.contains("<p>Page <a href=\"myphotos_1.html\">1</a> 2 "
                          "<a href=\"myphotos_3.html\">3</a></p>"));
  EXPECT_TRUE(L2.contains("<table border=\"0\" width=\"1\" height = \"1\" cellspacing=\"0\" "
                          "cellpadding=\"12\">"));
  O.UseBGImage = false;
  EXPECT_TRUE(WebPageLines(O, 1, 1, {}).contains("<body bgcolor=\"#FF8000\">"));
}

TEST_F(WebAlbum, SevenEntriesMakeTwoPagesWithTheirPageLines) {
  O.Cols = 3;
  O.Rows = 2;
  O.Caption = wcFilename;
  int LastProgress = -1, Calls = 0;
  TWebPublishHooks H;
  H.OnProgress = [&](int D) { LastProgress = D, ++Calls; };
  H.KeepRunning = [] { return true; };
  const TWebPublishResult R = PublishWebAlbum(Entries(7), O, H);
  EXPECT_EQ(R.Errors, 0);
  EXPECT_EQ(R.Published, 7);
  EXPECT_EQ(Calls, 12); // every cell of both pages, the empty ones too
  EXPECT_EQ(LastProgress, 7);
  EXPECT_EQ(R.FirstPage, Web + "/myphotos_1.html");
  EXPECT_FALSE(QFile::exists(Web + "/myphotos.html"));
  const QString P1 = Page("myphotos_1.html"), P2 = Page("myphotos_2.html");
  EXPECT_EQ(P1.count("<td"), 6);
  EXPECT_EQ(P2.count("<td"), 1);
  EXPECT_TRUE(P1.contains("\r\n<p>Page 1 <a href=\"myphotos_2.html\">2</a></p>\r\n"));
  EXPECT_TRUE(P2.contains("\r\n<p>Page <a href=\"myphotos_1.html\">1</a> 2</p>\r\n"));
  // The last page: one cell in the first row, the second row empty.
  EXPECT_TRUE(P2.contains("<tr>\r\n<td align=\"center\"><a href=\"p6.jpg\"><img border=\"1\" "
                          "src=\"tm_p6.jpg\"></a><BR>p6.jpg</td>\r\n</tr>\r\n<tr>\r\n</tr>\r\n"));
  for (int I = 0; I < 7; ++I) {
    EXPECT_EQ(PictureSize(Web + QString("/p%1.jpg").arg(I)), (TSize2{30, 20}));
    EXPECT_EQ(PictureSize(Web + QString("/tm_p%1.jpg").arg(I)), (TSize2{96, 64}));
  }
  if (!TidyAvailable()) GTEST_SKIP() << "tidy is not installed: pages not validated";
  for (const QString& P : R.Pages) {
    QString Report;
    EXPECT_LT(TidyStatus(P, &Report), 2) << Report.toStdString();
  }
}

TEST_F(WebAlbum, SixEntriesMakeOnePageWithoutPageLine) {
  O.Cols = 3;
  O.Rows = 2;
  O.PageName = "album";
  const TWebPublishResult R = Publish(Entries(6));
  EXPECT_EQ(R.Pages, QStringList{Web + "/album.html"});
  EXPECT_FALSE(Page("album.html").contains("<p>Page"));
  EXPECT_EQ(Page("album.html").count("<td"), 6);
  EXPECT_TRUE(Messages.isEmpty());
}

TEST_F(WebAlbum, DisplayPicturesScaledCopiedOrTurned) {
  const QString Big = MakeWebPicture(Src + "/big.jpg", 3000, 2000);
  const QString Fits = MakeWebPicture(Src + "/fits.jpg", 1600, 1200, RGBOf(20, 90, 200));
  const QString Small = MakeWebPicture(Src + "/beach.day.png", 50, 40);
  O.MaxSize = 2000;
  ChangeCurrentWriteOptions([](TWriteOptions& W) { W.JPEGQuality = 93; });
  Publish({{Big, "", 0}, {Fits, "", 0}, {Small, "", 0}});
  EXPECT_TRUE(Messages.isEmpty()) << Messages.join("; ").toStdString();
  EXPECT_EQ(PictureSize(Web + "/big.jpg"), (TSize2{2000, 1333}));
  EXPECT_EQ(PictureSize(Web + "/tm_big.jpg"), (TSize2{96, 64}));
  EXPECT_EQ(FileBytes(Web + "/fits.jpg"), FileBytes(Fits)); // copied byte for byte
  EXPECT_EQ(PictureSize(Web + "/beach.jpg"), (TSize2{50, 40}));
  EXPECT_EQ(PictureSize(Web + "/tm_beach.jpg"), (TSize2{96, 76}));
  EXPECT_FALSE(QFile::exists(Web + "/beach.day.jpg"));
  // Written progressive (a SOF2 marker), and the engine's own JPEG settings are back.
  EXPECT_TRUE(FileBytes(Web + "/tm_big.jpg").contains(QByteArray("\xFF\xC2", 2)));
  EXPECT_EQ(CurrentWriteOptions().JPEGQuality, 93);
  EXPECT_FALSE(CurrentWriteOptions().JPEGProgressive);
  SetCurrentWriteOptions(TWriteOptions{});

  // Turned once: re-encoded from the turned picture (over the files of the first run, which
  // the user allows).
  Messages.clear();
  O.ReplaceExisting = true;
  Publish({{Fits, "", 1}});
  EXPECT_NE(FileBytes(Web + "/fits.jpg"), FileBytes(Fits));
  EXPECT_EQ(PictureSize(Web + "/fits.jpg"), (TSize2{1200, 1600}));
  EXPECT_EQ(PictureSize(Web + "/tm_fits.jpg"), (TSize2{72, 96}));

  // A file named .jpg that holds a PNG is re-encoded, never copied under the wrong type.
  const QString Fake = Src + "/fake.jpg";
  MakeWebPicture(Src + "/fake.png", 20, 20);
  QFile::rename(Src + "/fake.png", Fake);
  Publish({{Fake, "", 0}});
  EXPECT_NE(FileBytes(Web + "/fake.jpg"), FileBytes(Fake));
  EXPECT_TRUE(FileBytes(Web + "/fake.jpg").startsWith("\xFF\xD8"));
}

TEST_F(WebAlbum, FailuresAreReportedAndTheRunGoesOn) {
  std::vector<AlbumEntry> E = Entries(3);
  WriteData(Src + "/broken.png", "not a picture");
  E.insert(E.begin() + 1, {Src + "/broken.png", "", 0});
  E.push_back({Src + "/missing.png", "", 2});
  // A thumbnail left read-only by someone: not replaced, even when the user allows replacing.
  O.ReplaceExisting = true;
  MakeFolder("web-out/album");
  MakeWebPicture(Web + "/tm_p2.jpg", 5, 5);
  ::chmod(EnginePath(Web + "/tm_p2.jpg").c_str(), 0444);
  const QByteArray Kept = FileBytes(Web + "/tm_p2.jpg");
  O.Cols = 5;
  O.Rows = 1;
  const TWebPublishResult R = Publish(E);
  EXPECT_EQ(Messages, (QStringList{QString(kCantLoadGraphic) + Src + "/broken.png",
                                   kErrorWritingFile + Web + "/tm_p2.jpg", kErrorRotatingImage}));
  EXPECT_EQ(R.Published, 2);
  EXPECT_EQ(FileBytes(Web + "/tm_p2.jpg"), Kept);
  // Only entries with pictures get a cell.
  const QString P = Page("myphotos.html");
  EXPECT_EQ(P.count("<td"), 2);
  EXPECT_TRUE(P.contains("p0.jpg") && P.contains("p1.jpg") && !P.contains("broken"));
}

TEST_F(WebAlbum, FolderThatCannotBeMadeIsReported) {
  WriteData(Src + "/file", "x");
  O.WebFolder = Src + "/file/sub";
  const TWebPublishResult R = Publish(Entries(1));
  EXPECT_TRUE(R.FolderMissing);
  EXPECT_EQ(Messages, QStringList{"Error creating folder " + Src +
                                  "/file/sub\r\nPlease use a standard windows path like "
                                  "C:\\MyWebPages"});
  EXPECT_TRUE(MakeWebFolder(Src + "/a/b/c"));
  EXPECT_TRUE(QFileInfo(Src + "/a/b/c").isDir());
}

TEST_F(WebAlbum, HostileTextsAndNamesGiveEscapedTextAndWorkingLinks) {
  const QString Weird1 = QString::fromUtf8("my photo #1 100%?.png");
  const QString Weird2 = QString::fromUtf8("\"'><img src=x onerror=alert(1)>.png");
  const QString Weird3 = QString::fromUtf8("Ünïcödé 日本 & co's.png");
  const QStringList Captions = {"<script>alert('x')</script>", "\"quoted\" & 'single'",
                                QString::fromUtf8("Café – 東京 <b>")};
  std::vector<AlbumEntry> E;
  int I = 0;
  for (const QString& N : {Weird1, Weird2, Weird3})
    E.push_back({MakeWebPicture(Src + "/" + N, 12, 9), Captions[I++], 0});
  O.Caption = wcCaption;
  O.Title = "</title><script>steal()</script>";
  O.Header = "<h1 onload=\"x\">Head & \"more\"";
  O.Footer = QString::fromUtf8("© 'me' <i>");
  O.UseBGImage = true;
  O.BGImage = "/bg/a\" onload=\"evil().jpg";
  const TWebPublishResult R = Publish(E);
  ASSERT_EQ(R.Published, 3) << Messages.join("; ").toStdString();
  const QString Text = Page("myphotos.html");
  EXPECT_FALSE(Text.contains("<script"));
  EXPECT_FALSE(Text.contains("onload=\""));
  EXPECT_TRUE(Text.contains("<meta charset=\"utf-8\">"));
  EXPECT_TRUE(Text.contains(QString::fromUtf8("Café – 東京 &lt;b&gt;"))); // UTF-8, not mangled

  if (!TidyAvailable()) GTEST_SKIP() << "tidy is not installed: pages not parsed";
  QString Report;
  EXPECT_LT(TidyStatus(Web + "/myphotos.html", &Report), 2) << Report.toStdString();
  const TParsedPage P = ParsePage(Web + "/myphotos.html");
  EXPECT_EQ(P.Title, O.Title);
  EXPECT_EQ(P.Heading, O.Header);
  EXPECT_EQ(P.Footer, O.Footer);
  EXPECT_EQ(P.CellTexts, Captions);
  EXPECT_FALSE(P.Elements.contains("script"));
  ASSERT_EQ(P.Links.size(), 3);
  ASSERT_EQ(P.Pictures.size(), 3);
  for (int K = 0; K < 3; ++K) {
    const QString Linked = NameOfUrl(P.Links[K]), Shown = NameOfUrl(P.Pictures[K]);
    EXPECT_EQ(Linked, WebPictureName(E[size_t(K)].FileName));
    EXPECT_EQ(Shown, "tm_" + Linked);
    EXPECT_EQ(PictureSize(Web + "/" + Linked), (TSize2{12, 9})) << Linked.toStdString();
    EXPECT_EQ(PictureSize(Web + "/" + Shown), (TSize2{96, 72})) << Shown.toStdString();
  }
}

TEST_F(WebAlbum, CollidingEntriesKeepTheirOwnPictures) {
  const QString Red = MakeWebPicture(Src + "/beach.day.png", 40, 40, RGBOf(255, 0, 0));
  const QString Other = MakeFolder("web-src2");
  const QString Blue = MakeWebPicture(Other + "/beach.jpg", 40, 40, RGBOf(0, 0, 255));
  O.Caption = wcFilename;
  Publish({{Red, "", 0}, {Blue, "", 0}});
  EXPECT_TRUE(Messages.isEmpty());
  EXPECT_GT(RedOf(CentreColor(Web + "/beach.jpg")), 200u);
  EXPECT_GT(RedOf(CentreColor(Web + "/tm_beach.jpg")), 200u);
  EXPECT_EQ(FileBytes(Web + "/beach_2.jpg"), FileBytes(Blue));
  EXPECT_GT(BlueOf(CentreColor(Web + "/tm_beach_2.jpg")), 200u);
  EXPECT_TRUE(Page("myphotos.html")
                  .contains("<a href=\"beach_2.jpg\"><img border=\"1\" src=\"tm_beach_2.jpg\">"
                            "</a><BR>beach_2.jpg</td>"));
}

TEST_F(WebAlbum, WebFolderAmongTheSourcesNeverChangesASource) {
  // The sources: a.jpg (its display picture would be itself), tm_b.jpg (the thumbnail of b.png
  // would land on it), c.png (free), and in a second folder x.png whose display picture in the
  // web folder is a link to a.jpg.
  const QString A = MakeWebPicture(Src + "/a.jpg", 40, 30);
  const QString B = MakeWebPicture(Src + "/b.png", 40, 30);
  const QString TmB = MakeWebPicture(Src + "/tm_b.jpg", 40, 30, RGBOf(0, 200, 0));
  const QString C = MakeWebPicture(Src + "/c.png", 40, 30);
  const QString X = MakeWebPicture(MakeFolder("web-src3") + "/x.png", 40, 30);
  ::symlink(EnginePath(A).c_str(), EnginePath(Src + "/x.jpg").c_str());
  const std::vector<AlbumEntry> E = {{A, "", 0}, {B, "", 0}, {TmB, "", 0}, {C, "", 0}, {X, "", 0}};
  std::map<QString, QByteArray> Before;
  for (const AlbumEntry& S : E)
    Before[S.FileName] = HashOf(S.FileName);
  O.WebFolder = Src;
  const TWebPublishResult R = Publish(E);
  for (const AlbumEntry& S : E)
    EXPECT_EQ(HashOf(S.FileName), Before[S.FileName]) << S.FileName.toStdString();
  EXPECT_EQ(Messages,
            (QStringList{kErrorWritingFile + Src + "/a.jpg", kErrorWritingFile + Src + "/tm_b.jpg",
                         kErrorWritingFile + Src + "/x.jpg"}));
  // tm_b.jpg gives way to b.png's thumbnail name and is published as tm_b_2.jpg.
  EXPECT_EQ(R.Published, 2);
  EXPECT_TRUE(QFile::exists(Src + "/tm_b_2.jpg"));
  EXPECT_TRUE(QFile::exists(Src + "/c.jpg"));
  EXPECT_TRUE(QFile::exists(Src + "/tm_c.jpg"));
  EXPECT_TRUE(QFileInfo(Src + "/x.jpg").isSymLink());
}

TEST_F(WebAlbum, CommandLineWritesTheSameFiles) {
  std::vector<AlbumEntry> E = Entries(4, "q");
  E[1].Caption = "Second <one>";
  E[2].Rotation = 1;
  AlbumSettings S;
  S.Cols = 3;
  S.Rows = 1;
  S.CaptionOption = coCaption;
  const QString Album = Src + "/holiday.alb";
  SaveAlbum(Album, E, S);
  std::string Out, Err;
  const QString CliWeb = MakeFolder("web-cli") + "/site";
  ASSERT_EQ(RunCli({"web-album", EnginePath(Album), EnginePath(CliWeb), "--title", "Trip & co",
                    "--thumb", "64", "--max", "1000", "--page-name", "trip.html"},
                   &Out, &Err),
            0)
      << Err;
  EXPECT_EQ(Out, EnginePath(CliWeb) + "/trip_1.html\n" + EnginePath(CliWeb) + "/trip_2.html\n");

  O.Cols = 3;
  O.Rows = 1;
  O.Caption = wcCaption;
  O.Title = "Trip & co";
  O.ThumbnailSize = 64;
  O.MaxSize = 1000;
  O.PageName = "trip.html";
  Publish(E);
  QStringList Files = QDir(Web).entryList(QDir::Files, QDir::Name);
  EXPECT_EQ(QDir(CliWeb).entryList(QDir::Files, QDir::Name), Files);
  EXPECT_EQ(Files.size(), 10);
  for (const QString& F : Files)
    EXPECT_EQ(FileBytes(CliWeb + "/" + F), FileBytes(Web + "/" + F)) << F.toStdString();

  EXPECT_NE(RunCli({"web-album", EnginePath(Album), EnginePath(CliWeb), "--cols", "0"}, &Out, &Err),
            0);
  EXPECT_NE(RunCli({"web-album", EnginePath(Album), EnginePath(CliWeb), "--page-name", "../x.html"},
                   &Out, &Err),
            0);
}

} // namespace

namespace {

// A photo-like JPEG (texture the DCT scaling and the stretch both see), with an EXIF
// orientation block when Orientation is not 1.
QString MakeTexturedJPEG(const QString& Path, int W, int H, int Orientation = 1) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = G.ScanLine(Y);
    for (int X = 0; X < W; ++X) {
      const unsigned N = (X * 73 + Y * 151 + (X / 7) * (Y / 5) * 17) % 61;
      Row[3 * X] = uint8_t(40 + N + X * 100 / W);
      Row[3 * X + 1] = uint8_t(90 + N / 2 + Y * 80 / H);
      Row[3 * X + 2] = uint8_t(200 - N);
    }
  }
  TWriteOptions Quality90;
  Quality90.JPEGQuality = 90;
  TPGMemoryStream S;
  G.SaveToStreamExt(S, "jpg", Quality90);
  QByteArray B(reinterpret_cast<const char*>(S.Bytes().data()), qsizetype(S.Bytes().size()));
  if (Orientation != 1) {
    const std::vector<uint8_t> Exif = ExifBlock(Orientation);
    QByteArray Seg("\xFF\xE1", 2);
    Seg.append(char((Exif.size() + 2) >> 8)).append(char((Exif.size() + 2) & 0xFF));
    Seg.append(reinterpret_cast<const char*>(Exif.data()), qsizetype(Exif.size()));
    B.insert(2, Seg);
  }
  WriteData(Path, B);
  return Path;
}

// Peak signal-to-noise ratio of two pictures of one size, over the three channels (dB).
double PSNR(const TPixelGraphic& A, const TPixelGraphic& B) {
  double Sum = 0;
  for (int Y = 0; Y < A.Height(); ++Y)
    for (int X = 0; X < A.Width(); ++X) {
      const TRGB P = A.GetPixelColor(X, Y), Q = B.GetPixelColor(X, Y);
      for (int Shift : {0, 8, 16}) {
        const double D = double((P >> Shift) & 0xFF) - double((Q >> Shift) & 0xFF);
        Sum += D * D;
      }
    }
  const double Mse = Sum / (3.0 * A.Width() * A.Height());
  return Mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / Mse);
}

// The picture of a published file next to the full-size reference path: the entry loaded whole,
// scaled to S (sharpened at 60 %), written at quality 80 and read back.
double PublishedAgainstFullDecode(const QString& File, const AlbumEntry& E, int S) {
  TPixelGraphic Whole;
  LoadWebSource(E, Whole);
  auto Ref = WebScaledCopy(Whole, S, true, 60);
  TPGMemoryStream M;
  Ref->SaveToStreamExt(M, "jpg");
  TPixelGraphic RefBack, Got;
  TPGMemoryStream Back(M.Bytes().data(), M.Bytes().size());
  RefBack.LoadFromStream(Back);
  Got.LoadFromFile(EnginePath(File));
  EXPECT_EQ(Got.Width(), RefBack.Width()) << File.toStdString();
  EXPECT_EQ(Got.Height(), RefBack.Height()) << File.toStdString();
  if (Got.Width() != RefBack.Width() || Got.Height() != RefBack.Height()) return 0;
  return PSNR(Got, RefBack);
}

} // namespace

TEST_F(WebAlbum, LargeJPEGsComeFromOneScaledDecodeCloseToTheFullOne) {
  const QString Plain = MakeTexturedJPEG(Src + "/plain.jpg", 2400, 1600);
  const QString Camera = MakeTexturedJPEG(Src + "/camera.jpg", 2400, 1600, 6);
  QFile::copy(Plain, Src + "/turned.jpg");
  const std::vector<AlbumEntry> E = {
      {Plain, "", 0}, {Camera, "", 0}, {Src + "/turned.jpg", "", 1}, {Camera, "", 3}};
  O.MaxSize = 600;
  O.Progressive = false;
  O.Cols = 4;
  O.Rows = 1;
  const TWebPublishResult R = Publish(E);
  EXPECT_TRUE(Messages.isEmpty()) << Messages.join("; ").toStdString();
  EXPECT_EQ(R.Published, 4);
  const QStringList Names = {"plain.jpg", "camera.jpg", "turned.jpg", "camera_2.jpg"};
  const TSize2 Display[] = {{600, 400}, {400, 600}, {400, 600}, {600, 400}};
  const TSize2 Thumb[] = {{96, 64}, {64, 96}, {64, 96}, {96, 64}};
  for (int I = 0; I < 4; ++I) {
    const QString D = Web + "/" + Names[I], T = Web + "/tm_" + Names[I];
    EXPECT_EQ(PictureSize(D), Display[I]) << Names[I].toStdString();
    EXPECT_EQ(PictureSize(T), Thumb[I]) << Names[I].toStdString();
    // Within what the sharpening and the encoding change anyway.
    EXPECT_GT(PublishedAgainstFullDecode(D, E[size_t(I)], 600), 32.0) << Names[I].toStdString();
    EXPECT_GT(PublishedAgainstFullDecode(T, E[size_t(I)], 96), 32.0) << Names[I].toStdString();
  }
}

TEST_F(WebAlbum, OtherFormatsAndFittingJPEGsKeepTheFullDecode) {
  // A large PNG: its display picture and thumbnail are those of the full-size path, bytes alike.
  const QString Png = MakeWebPicture(Src + "/wide.png", 900, 500, RGBOf(30, 160, 90));
  // A JPEG that fits but is turned: re-encoded from the full decode, as before.
  const QString Jpeg = MakeTexturedJPEG(Src + "/fits.jpg", 500, 300);
  O.MaxSize = 600;
  O.Progressive = false;
  O.Cols = 2;
  O.Rows = 1;
  Publish({{Png, "", 0}, {Jpeg, "", 1}});
  EXPECT_TRUE(Messages.isEmpty()) << Messages.join("; ").toStdString();
  auto Expect = [&](const AlbumEntry& E, int S, const QString& File, bool Scale) {
    TPixelGraphic Whole;
    LoadWebSource(E, Whole);
    std::unique_ptr<TPixelGraphic> Ref;
    TPixelGraphic* Pic = &Whole;
    if (Scale) Pic = (Ref = WebScaledCopy(Whole, S, true, 60)).get();
    TPGMemoryStream M;
    Pic->SaveToStreamExt(M, "jpg");
    const QByteArray Want(reinterpret_cast<const char*>(M.Bytes().data()),
                          qsizetype(M.Bytes().size()));
    EXPECT_EQ(FileBytes(File), Want) << File.toStdString();
  };
  Expect({Png, "", 0}, 600, Web + "/wide.jpg", true);
  Expect({Png, "", 0}, 96, Web + "/tm_wide.jpg", true);
  Expect({Jpeg, "", 1}, 0, Web + "/fits.jpg", false);
  Expect({Jpeg, "", 1}, 96, Web + "/tm_fits.jpg", true);
}
