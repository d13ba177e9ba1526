// Associations: mimeapps.list edits that keep the user's other entries, the desktop entry, and
// the result as the desktop's own tools see it (xdg-mime, desktop-file-validate).
#include "platform/associations.h"

#include "tests/browser/browsertest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace orbisk;

namespace {

QByteArray ReadAll(const QString& Path) {
  QFile F(Path);
  return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

// Fresh XDG folders for one test; the program sits in a folder with a space in its name.
TAssociationPaths FreshPaths(const QString& Name) {
  const QString Base = test::MakeFolder(Name);
  TAssociationPaths P;
  P.ConfigHome = Base + "/config";
  P.DataHome = Base + "/data";
  P.DataDirs = {Base + "/system"};
  P.Program = Base + "/my bin/orbisk";
  return P;
}

// Runs a desktop tool with the XDG folders of P and no desktop named (xdg-mime's generic mode).
QString RunTool(const QString& Program, const QStringList& Args, const TAssociationPaths& P,
                int* Status = nullptr) {
  QProcess Proc;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert("XDG_CONFIG_HOME", P.ConfigHome);
  Env.insert("XDG_DATA_HOME", P.DataHome);
  Env.insert("XDG_DATA_DIRS", P.DataDirs.join(':') + ":/usr/share");
  for (const char* V : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                        "GNOME_DESKTOP_SESSION_ID", "XDG_SESSION_DESKTOP"})
    Env.remove(V);
  Proc.setProcessEnvironment(Env);
  Proc.setProcessChannelMode(QProcess::MergedChannels);
  Proc.start(Program, Args);
  Proc.waitForFinished(30000);
  if (Status) *Status = Proc.exitCode();
  return QString::fromUtf8(Proc.readAll()).trimmed();
}

} // namespace

TEST(Associations, MimeAppsListKeepsEverythingElse) {
  const QByteArray Old = "# my comment\n"
                         "[Default Applications]\n"
                         "text/plain=editor.desktop;\n"
                         "image/jpeg=other.desktop;\n"
                         "\n"
                         "[Added Associations]\n"
                         "image/jpeg=other.desktop;orbisk.desktop;third.desktop;\n"
                         "\n"
                         "[Removed Associations]\n"
                         "image/gif=bad.desktop;\n";
  const QByteArray New = SetDefaultApplications(Old, {"image/jpeg", "image/png"});
  EXPECT_EQ(New, "# my comment\n"
                 "[Default Applications]\n"
                 "text/plain=editor.desktop;\n"
                 "image/jpeg=orbisk.desktop;\n"
                 "image/png=orbisk.desktop;\n"
                 "\n"
                 "[Added Associations]\n"
                 "image/jpeg=orbisk.desktop;other.desktop;third.desktop;\n"
                 "image/png=orbisk.desktop;\n"
                 "\n"
                 "[Removed Associations]\n"
                 "image/gif=bad.desktop;\n");
  // Applying it twice changes nothing more.
  EXPECT_EQ(SetDefaultApplications(New, {"image/jpeg", "image/png"}), New);
  // An empty or missing file gets both groups.
  EXPECT_EQ(SetDefaultApplications("", {"image/gif"}),
            "[Default Applications]\nimage/gif=orbisk.desktop;\n\n"
            "[Added Associations]\nimage/gif=orbisk.desktop;\n");
}

TEST(Associations, TypesBecomeTheUsersDefaultsForTheDesktop) {
  const TAssociationPaths P = FreshPaths("assoc");
  QDir().mkpath(P.ConfigHome);
  test::WriteData(P.ConfigHome + "/mimeapps.list",
                  "[Default Applications]\ntext/plain=editor.desktop;\n");
  QDir().mkpath(P.DataHome + "/applications");
  test::WriteData(P.DataHome + "/applications/editor.desktop",
                  "[Desktop Entry]\nType=Application\nName=Editor\nExec=true %F\n"
                  "MimeType=text/plain;\n");
  AssociateTypes({"JPG", "BMP", "TGA"}, P);

  // Not installed beside the program: the desktop entry is our own copy, running this program.
  const QString Entry = P.DataHome + "/applications/orbisk.desktop";
  ASSERT_TRUE(QFileInfo::exists(Entry));
  EXPECT_TRUE(ReadAll(Entry).contains("\nExec=\"" + QFile::encodeName(P.Program) + "\" %F\n"));
  int Status = -1;
  const QString Validate = RunTool("desktop-file-validate", {Entry}, P, &Status);
  EXPECT_EQ(Status, 0) << Validate.toStdString();

  for (const char* Mime : {"image/jpeg", "image/bmp", "image/x-tga"})
    EXPECT_EQ(RunTool("xdg-mime", {"query", "default", Mime}, P), "orbisk.desktop") << Mime;
  // Types not asked for get no default; the user's other defaults stay.
  EXPECT_FALSE(ReadAll(P.ConfigHome + "/mimeapps.list").contains("image/png"));
  EXPECT_EQ(RunTool("xdg-mime", {"query", "default", "text/plain"}, P), "editor.desktop");
  // Written whole: no temporary files beside it.
  EXPECT_EQ(QDir(P.ConfigHome).entryList(QDir::Files), QStringList{"mimeapps.list"});
}

TEST(Associations, InstalledDesktopEntryIsUsedWhenTheDesktopFindsIt) {
  TAssociationPaths P = FreshPaths("assoc-installed");
  // Installed into PREFIX: PREFIX/bin/orbisk and PREFIX/share/applications/orbisk.desktop.
  const QString Prefix = QFileInfo(P.ConfigHome).path() + "/prefix";
  P.Program = Prefix + "/bin/orbisk";
  P.DataDirs = {Prefix + "/share"};
  QDir().mkpath(Prefix + "/share/applications");
  test::WriteData(Prefix + "/share/applications/orbisk.desktop", DesktopFileText());
  EXPECT_EQ(EnsureDesktopFile(P), Prefix + "/share/applications/orbisk.desktop");
  EXPECT_FALSE(QFileInfo::exists(P.DataHome + "/applications/orbisk.desktop"));
  // The same prefix outside the desktop's search path: a copy of our own is made after all.
  P.DataDirs = {"/usr/share"};
  EXPECT_EQ(EnsureDesktopFile(P), P.DataHome + "/applications/orbisk.desktop");
}

TEST(Associations, FailureNamesTheFileAndStopsTheRest) {
  TAssociationPaths P = FreshPaths("assoc-fail");
  // A plain file where the configuration folder should be: not even root can write below it.
  test::WriteData(P.ConfigHome, "in the way");
  try {
    AssociateTypes({"GIF", "PNG"}, P);
    ADD_FAILURE() << "no error";
  } catch (const EAssociation& E) {
    EXPECT_EQ(QString::fromStdString(E.what()),
              "Cannot create file " + P.ConfigHome +
                  "/mimeapps.list, the user account may not have the required rights to create "
                  "files under " +
                  P.ConfigHome + ".");
  }
  EXPECT_EQ(ReadAll(P.ConfigHome), "in the way");
}

TEST(Associations, DesktopEntryText) {
  // Exec quoting for paths with spaces, quotes, dollars and percent signs.
  EXPECT_EQ(QuoteExecArgument("/usr/bin/orbisk"), "/usr/bin/orbisk");
  EXPECT_EQ(QuoteExecArgument("/opt/my apps/orbisk"), "\"/opt/my apps/orbisk\"");
  EXPECT_EQ(QuoteExecArgument("/o/\"q\"$x/100%/orbisk"), R"("/o/\\"q\\"\\$x/100%%/orbisk")");
  // The installed desktop entry is exactly the program's own text.
  EXPECT_EQ(ReadAll(ORBISK_TEST_DATA_DIR "/../../desktop/orbisk.desktop"), DesktopFileText());
  // Every type of the preferences has MIME types, all of them in the desktop entry.
  for (const char* T : {"JPG", "GIF", "BMP", "ICO", "WMF", "AVI", "PCX", "PNG", "TGA", "TIF"}) {
    ASSERT_FALSE(MimeTypesOfType(T).isEmpty()) << T;
    for (const QString& M : MimeTypesOfType(T))
      EXPECT_TRUE(ReadableMimeTypes().contains(M)) << M.toStdString();
  }
}
