// The wallpaper: the desktop's tool with the right arguments (fake tools on PATH record them),
// the BMP question and conversion, and never overwriting another file.
#include "platform/wallpaper.h"

#include "tests/browser/browsertest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <sys/stat.h>

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

TEST(Wallpaper, BitmapIsMadeOnceAndNeverOverwritesAnotherFile) {
  TFakeTools Tools;
  test::TPromptScope Prompt;
  const QString Dir = test::MakeFolder("wallpaper");
  QImage Img(7, 5, QImage::Format_RGB32);
  Img.fill(QColor(10, 120, 200));
  ASSERT_TRUE(Img.save(Dir + "/photo.jpg", "JPG"));
  EXPECT_EQ(WallpaperBitmapName(Dir + "/photo.jpg"), Dir + "/photo.bmp");
  EXPECT_EQ(WallpaperBitmapName(Dir + "/photo.2024.jpg"), Dir + "/photo.bmp");

  // No: nothing is written and the desktop is not touched.
  TWallpaperResult R = SetAsWallpaper(Dir + "/photo.jpg", TWallpaperStyle::Tiled, nullptr, "GNOME");
  EXPECT_EQ(Prompt->Messages, QStringList{Question});
  EXPECT_FALSE(R.Applied);
  EXPECT_FALSE(QFile::exists(Dir + "/photo.bmp"));
  EXPECT_TRUE(Tools.Calls().isEmpty());

  // Yes: photo.bmp beside the picture becomes the wallpaper, tiled.
  Prompt->Messages.clear();
  Prompt->Answers = {true};
  R = SetAsWallpaper(Dir + "/photo.jpg", TWallpaperStyle::Tiled, nullptr, "GNOME");
  EXPECT_EQ(Prompt->Messages, QStringList{Question});
  EXPECT_TRUE(R.Applied);
  EXPECT_EQ(R.WrittenBitmap, Dir + "/photo.bmp");
  EXPECT_TRUE(Tools.Calls().contains(JoinCall(
      {"gsettings", "set", "org.gnome.desktop.background", "picture-options", "wallpaper"})));
  EXPECT_TRUE(Tools.Calls().first().endsWith("|file://" + Dir + "/photo.bmp"));
  const QByteArray Made = [&] {
    QFile F(Dir + "/photo.bmp");
    F.open(QIODevice::ReadOnly);
    return F.readAll();
  }();
  EXPECT_TRUE(Made.startsWith("BM"));

  // Again: the same bitmap is used, no photo1.bmp appears.
  Prompt->Answers = {true};
  R = SetAsWallpaper(Dir + "/photo.jpg", TWallpaperStyle::Stretched, nullptr, "GNOME");
  EXPECT_TRUE(R.Applied);
  EXPECT_TRUE(R.WrittenBitmap.isEmpty());
  EXPECT_FALSE(QFile::exists(Dir + "/photo1.bmp"));

  // An unrelated photo.bmp stays as it is: a second question names photo1.bmp.
  test::WriteData(Dir + "/photo.bmp", "my own bitmap");
  Prompt->Messages.clear();
  Prompt->Answers = {true, false};
  R = SetAsWallpaper(Dir + "/photo.jpg", TWallpaperStyle::Centered, nullptr, "GNOME");
  ASSERT_EQ(Prompt->Messages.size(), 2);
  EXPECT_EQ(Prompt->Messages[1], "The file " + Dir +
                                     "/photo.bmp already exists. Can I store the bitmap as " + Dir +
                                     "/photo1.bmp instead?");
  EXPECT_FALSE(R.Applied);
  EXPECT_FALSE(QFile::exists(Dir + "/photo1.bmp"));
  Prompt->Answers = {true, true};
  R = SetAsWallpaper(Dir + "/photo.jpg", TWallpaperStyle::Centered, nullptr, "GNOME");
  EXPECT_TRUE(R.Applied);
  EXPECT_EQ(R.WrittenBitmap, Dir + "/photo1.bmp");
  QFile Own(Dir + "/photo.bmp");
  ASSERT_TRUE(Own.open(QIODevice::ReadOnly));
  EXPECT_EQ(Own.readAll(), "my own bitmap");
  // No temporary files are left behind.
  EXPECT_EQ(QDir(Dir).entryList(QDir::Files),
            QStringList({"photo.bmp", "photo.jpg", "photo1.bmp"}));
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
