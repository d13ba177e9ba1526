// The wallpaper: the desktop's tool with the right arguments (fake tools on PATH record them),
// pictures handed over as they are, the BMP question and the program's one copy, names that are
// not UTF-8.
#include "platform/wallpaper.h"
#include "platform/filenames.h"

#include "tests/browser/browsertest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

using namespace orbisk;

namespace {

const char* const Question = "I need a BMP (bitmap) file to set the wallpaper. Can I create a new "
                             "bitmap file and store it in the current directory to proceed?";

// Fake gsettings, xfconf-query and dbus-send first on PATH; each appends its arguments (one line
// per call, arguments separated by "|") to calls.log. xfconf-query -l lists two monitors.
class TFakeTools {
public:
  TFakeTools() : FOldPath(qgetenv("PATH")) {
    FDir = test::MakeFolder("faketools");
    for (const char* Tool : {"gsettings", "xfconf-query", "dbus-send"}) {
      QString Script = "#!/bin/sh\n"
                       "out=\"\"; for a in \"$@\"; do out=\"$out|$a\"; done\n"
                       "echo \"" +
                       QString::fromLatin1(Tool) + "$out\" >> \"" + FDir + "/calls.log\"\n";
      if (QString::fromLatin1(Tool) == "xfconf-query")
        Script +=
            "[ \"$3\" = \"-l\" ] && printf '/backdrop/screen0/monitor0/workspace0/last-image\\n"
            "/backdrop/screen0/monitor0/workspace0/color-style\\n"
            "/backdrop/screen0/monitorHDMI-1/workspace0/last-image\\n'\n";
      Script += "exit ${FAKE_STATUS:-0}\n";
      const QString Path = FDir + "/" + Tool;
      test::WriteData(Path, Script.toUtf8());
      QFile::setPermissions(Path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("PATH", (FDir + ":").toUtf8() + FOldPath);
  }
  ~TFakeTools() {
    qputenv("PATH", FOldPath);
    qunsetenv("FAKE_STATUS");
  }
  QStringList Calls() const {
    QFile F(FDir + "/calls.log");
    if (!F.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(F.readAll()).split('\n', Qt::SkipEmptyParts);
  }
  void Clear() { QFile::remove(FDir + "/calls.log"); }

private:
  QString FDir;
  QByteArray FOldPath;
};

QString JoinCall(const QStringList& Parts) {
  return Parts.join('|');
}

} // namespace

TEST(Wallpaper, DesktopFromEnvironment) {
  const std::pair<const char*, TDesktopKind> Cases[] = {
      {"GNOME", TDesktopKind::Gnome},        {"ubuntu:GNOME", TDesktopKind::Gnome},
      {"Budgie:GNOME", TDesktopKind::Gnome}, {"X-Cinnamon", TDesktopKind::Cinnamon},
      {"MATE", TDesktopKind::Mate},          {"KDE", TDesktopKind::Kde},
      {"XFCE", TDesktopKind::Xfce},          {"LXQt", TDesktopKind::Unsupported},
      {"", TDesktopKind::Unsupported},       {"sway", TDesktopKind::Unsupported}};
  for (auto [Name, Kind] : Cases)
    EXPECT_EQ(DesktopKind(Name), Kind) << Name;
}

TEST(Wallpaper, EachDesktopsToolGetsTheStyle) {
  TFakeTools Tools;
  const QString Pic = "/home/u/my pics/photo.bmp";
  const QString Uri = "file:///home/u/my%20pics/photo.bmp";

  ApplyWallpaper(TDesktopKind::Gnome, Pic, TWallpaperStyle::Tiled);
  EXPECT_EQ(
      Tools.Calls(),
      QStringList(
          {JoinCall({"gsettings", "set", "org.gnome.desktop.background", "picture-uri", Uri}),
           JoinCall({"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", Uri}),
           JoinCall({"gsettings", "set", "org.gnome.desktop.background", "picture-options",
                     "wallpaper"})}));
  Tools.Clear();
  ApplyWallpaper(TDesktopKind::Mate, Pic, TWallpaperStyle::Centered);
  EXPECT_EQ(
      Tools.Calls(),
      QStringList(
          {JoinCall({"gsettings", "set", "org.mate.background", "picture-filename", Pic}),
           JoinCall({"gsettings", "set", "org.mate.background", "picture-options", "centered"})}));
  Tools.Clear();
  ApplyWallpaper(TDesktopKind::Cinnamon, "", TWallpaperStyle::Remove);
  EXPECT_EQ(Tools.Calls(),
            QStringList({JoinCall({"gsettings", "set", "org.cinnamon.desktop.background",
                                   "picture-uri", ""}),
                         JoinCall({"gsettings", "set", "org.cinnamon.desktop.background",
                                   "picture-options", "none"})}));

  // Xfce: every monitor's picture and style.
  Tools.Clear();
  ApplyWallpaper(TDesktopKind::Xfce, Pic, TWallpaperStyle::Stretched);
  const QString M0 = "/backdrop/screen0/monitor0/workspace0",
                M1 = "/backdrop/screen0/monitorHDMI-1/workspace0";
  EXPECT_EQ(
      Tools.Calls(),
      QStringList(
          {JoinCall({"xfconf-query", "-c", "xfce4-desktop", "-l"}),
           JoinCall({"xfconf-query", "-c", "xfce4-desktop", "-p", M0 + "/last-image", "-s", Pic}),
           JoinCall({"xfconf-query", "-c", "xfce4-desktop", "-p", M0 + "/image-style", "-s", "3"}),
           JoinCall({"xfconf-query", "-c", "xfce4-desktop", "-p", M1 + "/last-image", "-s", Pic}),
           JoinCall(
               {"xfconf-query", "-c", "xfce4-desktop", "-p", M1 + "/image-style", "-s", "3"})}));

  // KDE Plasma: one script for every desktop; the picture's address is quoted safely.
  Tools.Clear();
  ApplyWallpaper(TDesktopKind::Kde, "/home/u/\"q\"/a.bmp", TWallpaperStyle::Centered);
  const QStringList K = Tools.Calls();
  ASSERT_EQ(K.size(), 1);
  EXPECT_TRUE(
      K[0].startsWith("dbus-send|--session|--print-reply|--dest=org.kde.plasmashell|/PlasmaShell|"
                      "org.kde.PlasmaShell.evaluateScript|string:var all = desktops();"));
  EXPECT_TRUE(K[0].contains(R"(d.writeConfig("Image", "file:///home/u/%22q%22/a.bmp"))"))
      << K[0].toStdString();
  EXPECT_TRUE(K[0].contains(R"(d.writeConfig("FillMode", 6))"));

  // A failing tool is an error for the user, not a silent success.
  qputenv("FAKE_STATUS", "3");
  try {
    ApplyWallpaper(TDesktopKind::Gnome, Pic, TWallpaperStyle::Tiled);
    ADD_FAILURE() << "no error";
  } catch (const std::exception& E) {
    EXPECT_STREQ(E.what(), "The wallpaper could not be set: gsettings ended with status 3.");
  }
}

namespace {

QByteArray FileBytes(const QString& Path) {
  QFile F(Path);
  return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(Wallpaper, PicturesTheDesktopReadsGoToItAsTheyAre) {
  TFakeTools Tools;
  test::TPromptScope Prompt;
  const QString Dir = test::MakeFolder("wallpaper-direct");
  QImage Img(7, 5, QImage::Format_RGB32);
  Img.fill(QColor(10, 120, 200));
  ASSERT_TRUE(Img.save(Dir + "/photo.jpg", "JPG"));
  ASSERT_TRUE(Img.save(Dir + "/shot.png", "PNG"));
  ASSERT_TRUE(Img.save(Dir + "/named wrong.bmp", "PNG")); // the bytes decide, not the name
  for (const QString& Name :
       {QString("photo.jpg"), QString("shot.png"), QString("named wrong.bmp")}) {
    Tools.Clear();
    const TWallpaperResult R =
        SetAsWallpaper(Dir + "/" + Name, TWallpaperStyle::Tiled, nullptr, "GNOME");
    EXPECT_TRUE(R.Applied) << Name.toStdString();
    EXPECT_TRUE(R.WrittenBitmap.isEmpty());
    ASSERT_FALSE(Tools.Calls().isEmpty());
    EXPECT_EQ(Tools.Calls().first(),
              JoinCall({"gsettings", "set", "org.gnome.desktop.background", "picture-uri",
                        "file://" + QString(Dir + "/" + Name).replace(" ", "%20")}));
  }
  // No question, nothing written beside the pictures or into the program's folder.
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  EXPECT_EQ(QDir(Dir).entryList(QDir::Files),
            QStringList({"named wrong.bmp", "photo.jpg", "shot.png"}));
  EXPECT_FALSE(QFile::exists(WallpaperCopyPath()));
  // The same for the path-taking desktops; Plasma reads no TIFF by itself.
  Tools.Clear();
  EXPECT_TRUE(
      SetAsWallpaper(Dir + "/photo.jpg", TWallpaperStyle::Centered, nullptr, "MATE").Applied);
  EXPECT_EQ(Tools.Calls().first(), JoinCall({"gsettings", "set", "org.mate.background",
                                             "picture-filename", Dir + "/photo.jpg"}));
  EXPECT_TRUE(DesktopTakesDirectly(TDesktopKind::Xfce, TPictureKind::Tiff));
  EXPECT_FALSE(DesktopTakesDirectly(TDesktopKind::Kde, TPictureKind::Tiff));
  EXPECT_FALSE(DesktopTakesDirectly(TDesktopKind::Gnome, TPictureKind::Other));
  EXPECT_EQ(PictureKindOf(Dir + "/named wrong.bmp"), TPictureKind::Png);
  EXPECT_EQ(PictureKindOf(Dir + "/photo.jpg"), TPictureKind::Jpeg);
  EXPECT_EQ(PictureKindOf(Dir + "/absent.jpg"), TPictureKind::Other);
}

TEST(Wallpaper, OtherPicturesBecomeTheProgramsOneCopy) {
  TFakeTools Tools;
  test::TPromptScope Prompt;
  const QString Dir = test::MakeFolder("wallpaper-copy");
  QImage Img(7, 5, QImage::Format_RGB32);
  Img.fill(QColor(10, 120, 200));
  ASSERT_TRUE(Img.save(Dir + "/scan.ppm", "PPM"));
  Img.fill(QColor(200, 20, 20));
  ASSERT_TRUE(Img.save(Dir + "/other.pgm", "PGM"));
  const QString Copy = WallpaperCopyPath();
  EXPECT_EQ(Copy, test::TestHome() + "/data/Orbiskel/wallpaper.bmp");
  QFile::remove(Copy);
  QDir().mkpath(test::TestHome() + "/data/Orbiskel");
  test::WriteData(test::TestHome() + "/data/Orbiskel/bookmrks.dat", "/home/u\r\n");

  // No: nothing is written and the desktop is not touched.
  TWallpaperResult R = SetAsWallpaper(Dir + "/scan.ppm", TWallpaperStyle::Tiled, nullptr, "GNOME");
  EXPECT_EQ(Prompt->Messages, QStringList{Question});
  EXPECT_FALSE(R.Applied);
  EXPECT_FALSE(QFile::exists(Copy));
  EXPECT_TRUE(Tools.Calls().isEmpty());

  // Yes: the copy becomes the wallpaper.
  Prompt->Messages.clear();
  Prompt->Answers = {true};
  R = SetAsWallpaper(Dir + "/scan.ppm", TWallpaperStyle::Tiled, nullptr, "GNOME");
  EXPECT_EQ(Prompt->Messages, QStringList{Question});
  EXPECT_TRUE(R.Applied);
  EXPECT_EQ(R.WrittenBitmap, Copy);
  EXPECT_EQ(Tools.Calls().first(), JoinCall({"gsettings", "set", "org.gnome.desktop.background",
                                             "picture-uri", "file://" + Copy}));
  const QByteArray First = FileBytes(Copy);
  EXPECT_TRUE(First.startsWith("BM"));

  // Another picture replaces that copy and nothing else.
  Prompt->Answers = {true};
  R = SetAsWallpaper(Dir + "/other.pgm", TWallpaperStyle::Stretched, nullptr, "XFCE");
  EXPECT_TRUE(R.Applied);
  EXPECT_EQ(R.WrittenBitmap, Copy);
  EXPECT_TRUE(FileBytes(Copy).startsWith("BM"));
  EXPECT_NE(FileBytes(Copy), First);
  EXPECT_EQ(QDir(test::TestHome() + "/data/Orbiskel").entryList(QDir::Files),
            QStringList({"bookmrks.dat", "wallpaper.bmp"}));
  EXPECT_EQ(FileBytes(test::TestHome() + "/data/Orbiskel/bookmrks.dat"), "/home/u\r\n");
  // The pictures' folder is as it was.
  EXPECT_EQ(QDir(Dir).entryList(QDir::Files), QStringList({"other.pgm", "scan.ppm"}));
}

TEST(Wallpaper, NamesThatAreNotUtf8ReachTheDesktopWholeOrAreRefused) {
  TFakeTools Tools;
  test::TPromptScope Prompt;
  const QString Dir = test::MakeFolder("wallpaper-bytes");
  QImage Img(4, 4, QImage::Format_RGB32);
  Img.fill(Qt::green);
  ASSERT_TRUE(Img.save(Dir + "/plain.jpg", "JPG"));
  // The same bytes under a name with the byte 0xFF.
  const QByteArray Raw = EncodeFileName(Dir) + "/lat\xff.jpg";
  ASSERT_EQ(::rename(QFile::encodeName(Dir + "/plain.jpg").constData(), Raw.constData()), 0);
  const QString Picture = DecodeFileName(Raw);

  // GNOME and Cinnamon: a URI of the name's bytes.
  for (const char* Desktop : {"GNOME", "X-Cinnamon"}) {
    Tools.Clear();
    EXPECT_TRUE(SetAsWallpaper(Picture, TWallpaperStyle::Tiled, nullptr, Desktop).Applied);
    const QString Uri = Tools.Calls().first().section('|', 4);
    EXPECT_EQ(Uri, "file://" + Dir + "/lat%FF.jpg") << Desktop;
    EXPECT_EQ(QByteArray::fromPercentEncoding(Uri.mid(7).toLatin1()), Raw);
  }
  // A relative name keeps its bytes as well.
  const QString Old = QDir::currentPath();
  ASSERT_EQ(chdir(EncodeFileName(Dir).constData()), 0);
  Tools.Clear();
  const bool Relative =
      SetAsWallpaper(DecodeFileName("lat\xff.jpg"), TWallpaperStyle::Tiled, nullptr, "GNOME")
          .Applied;
  ASSERT_EQ(chdir(QFile::encodeName(Old).constData()), 0);
  EXPECT_TRUE(Relative);
  EXPECT_EQ(Tools.Calls().value(0).section('|', 4), "file://" + Dir + "/lat%FF.jpg");
  EXPECT_TRUE(Prompt->Messages.isEmpty());

  // The desktops that take UTF-8 paths only: a message, no call, no copy, no false success.
  for (const char* Desktop : {"MATE", "XFCE", "KDE"}) {
    Tools.Clear();
    Prompt->Messages.clear();
    EXPECT_FALSE(SetAsWallpaper(Picture, TWallpaperStyle::Centered, nullptr, Desktop).Applied);
    EXPECT_TRUE(Tools.Calls().isEmpty()) << Desktop;
    ASSERT_EQ(Prompt->Messages.size(), 1) << Desktop;
    EXPECT_EQ(Prompt->Messages[0],
              "The wallpaper could not be set: this desktop takes only file names in UTF-8, and " +
                  Dir + "/lat" + QChar::ReplacementCharacter +
                  ".jpg is not one. Rename the picture and try again.");
  }
}

TEST(Wallpaper, BitmapsRemoveAndUnsupportedDesktops) {
  TFakeTools Tools;
  test::TPromptScope Prompt;
  const QString Dir = test::MakeFolder("wallpaper2");
  QImage Img(3, 3, QImage::Format_RGB32);
  Img.fill(Qt::white);
  ASSERT_TRUE(Img.save(Dir + "/pic.BMP", "BMP"));

  // A BMP is used as it is, without a question.
  TWallpaperResult R = SetAsWallpaper(Dir + "/pic.BMP", TWallpaperStyle::Centered, nullptr, "XFCE");
  EXPECT_TRUE(R.Applied);
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  EXPECT_TRUE(Tools.Calls().contains(
      JoinCall({"xfconf-query", "-c", "xfce4-desktop", "-p",
                "/backdrop/screen0/monitor0/workspace0/last-image", "-s", Dir + "/pic.BMP"})));
  // Remove asks nothing.
  Tools.Clear();
  R = SetAsWallpaper(QString(), TWallpaperStyle::Remove, nullptr, "GNOME");
  EXPECT_TRUE(R.Applied);
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  EXPECT_TRUE(Tools.Calls().contains(
      JoinCall({"gsettings", "set", "org.gnome.desktop.background", "picture-options", "none"})));

  // An unreadable picture reports the engine's error and writes nothing.
  test::WriteData(Dir + "/broken.png", "not a picture");
  Prompt->Answers = {true};
  R = SetAsWallpaper(Dir + "/broken.png", TWallpaperStyle::Tiled, nullptr, "GNOME");
  EXPECT_FALSE(R.Applied);
  ASSERT_EQ(Prompt->Messages.size(), 2);
  EXPECT_FALSE(QFile::exists(Dir + "/broken.bmp"));

  // Other desktops: a clear message, no question, nothing converted.
  Prompt->Messages.clear();
  Tools.Clear();
  R = SetAsWallpaper(Dir + "/broken.png", TWallpaperStyle::Tiled, nullptr, "LXQt");
  EXPECT_EQ(Prompt->Messages,
            QStringList{"Setting the wallpaper is not supported on this desktop (LXQt)."});
  EXPECT_TRUE(Tools.Calls().isEmpty());
}
