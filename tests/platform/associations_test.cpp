// Associations: mimeapps.list edits that keep the user's other entries, the desktop entry, and
// the result as the desktop's own tools see it (xdg-mime, desktop-file-validate).
#include "platform/associations.h"
#include "platform/filenames.h"

#include "tests/browser/browsertest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

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

TEST(Associations, LineBreakInTheProgramPathPlantsNoKeys) {
  TAssociationPaths P = FreshPaths("assoc-linebreak");
  // A real program in a folder whose name holds line breaks, a tab and what a planted key would
  // look like; it records its arguments.
  const QString Base = QFileInfo(P.ConfigHome).path();
  const QString Folder = Base + "/bin\nExec=sh -c 'touch planted'\n\tend";
  ASSERT_TRUE(QDir().mkpath(Folder));
  P.Program = Folder + "/orbisk";
  test::WriteData(P.Program, ("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + Base + "/ran'\n").toUtf8());
  QFile::setPermissions(P.Program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  AssociateTypes({"JPG"}, P);

  const QString Entry = P.DataHome + "/applications/orbisk.desktop";
  const QByteArray Text = ReadAll(Entry);
  int ExecLines = 0;
  for (const QByteArray& L : Text.split('\n'))
    ExecLines += L.startsWith("Exec=") ? 1 : 0;
  EXPECT_EQ(ExecLines, 1) << Text.constData();
  int Status = -1;
  const QString Validate = RunTool("desktop-file-validate", {Entry}, P, &Status);
  EXPECT_EQ(Status, 0) << Validate.toStdString();
  EXPECT_EQ(RunTool("xdg-mime", {"query", "default", "image/jpeg"}, P), "orbisk.desktop");
  // Launched the desktop's way, the entry runs this program with the file, and nothing else.
  if (!QStandardPaths::findExecutable("gio").isEmpty()) {
    RunTool("gio", {"launch", Entry, Base + "/a.jpg"}, P);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReadAll(Base + "/ran") == Base + "/a.jpg\n"; }, 10000))
        << ReadAll(Base + "/ran").constData();
    EXPECT_FALSE(QFileInfo::exists("planted")); // where the planted command would run
  }
}

TEST(Associations, ProgramPathADesktopEntryCannotHoldIsRefused) {
  for (const QByteArray& Bad : {QByteArray("bin\x01x"), QByteArray("bin\x1b[0m"),
                                QByteArray("bin\x7f"), QByteArray("lat\xe9")}) {
    TAssociationPaths P = FreshPaths("assoc-refused");
    P.Program =
        DecodeFileName(EncodeFileName(QFileInfo(P.ConfigHome).path()) + "/" + Bad) + "/orbisk";
    EXPECT_FALSE(UnwritableProgramPath(P.Program).isEmpty()) << Bad.toHex().constData();
    try {
      AssociateTypes({"JPG", "PNG"}, P);
      ADD_FAILURE() << "associated from " << Bad.toHex().constData();
    } catch (const EAssociation& E) {
      const QString Message = QString::fromStdString(E.what());
      EXPECT_TRUE(Message.startsWith("The program cannot be associated from ")) << E.what();
      // The message itself shows the path on one line.
      EXPECT_EQ(Message, DisplayFileName(Message));
    }
    // Nothing was written.
    EXPECT_FALSE(QFileInfo::exists(P.DataHome + "/applications/orbisk.desktop"));
    EXPECT_FALSE(QFileInfo::exists(P.ConfigHome + "/mimeapps.list"));
  }
  EXPECT_TRUE(UnwritableProgramPath(QString::fromUtf8("/opt/caf\xC3\xA9 \xF0\x9F\x93\xB7/orbisk"))
                  .isEmpty());
  EXPECT_TRUE(UnwritableProgramPath("/opt/a\nb\tc/orbisk").isEmpty());
}

TEST(Associations, DesktopEntryText) {
  // Exec quoting for paths with spaces, quotes, dollars and percent signs.
  EXPECT_EQ(QuoteExecArgument("/usr/bin/orbisk"), "/usr/bin/orbisk");
  EXPECT_EQ(QuoteExecArgument("/opt/my apps/orbisk"), "\"/opt/my apps/orbisk\"");
  EXPECT_EQ(QuoteExecArgument("/o/\"q\"$x/100%/orbisk"), R"("/o/\\"q\\"\\$x/100%%/orbisk")");
  // Line breaks, tabs and carriage returns as the string escapes of a desktop entry.
  EXPECT_EQ(QuoteExecArgument("/a\nb\tc\rd/orbisk"), R"("/a\nb\tc\rd/orbisk")");
  // The installed desktop entry is exactly the program's own text.
  EXPECT_EQ(ReadAll(ORBISK_TEST_DATA_DIR "/../../desktop/orbisk.desktop"), DesktopFileText());
  // Every type of the preferences has MIME types, all of them in the desktop entry.
  for (const char* T : {"JPG", "GIF", "BMP", "ICO", "WMF", "AVI", "PCX", "PNG", "TGA", "TIF"}) {
    ASSERT_FALSE(MimeTypesOfType(T).isEmpty()) << T;
    for (const QString& M : MimeTypesOfType(T))
      EXPECT_TRUE(ReadableMimeTypes().contains(M)) << M.toStdString();
  }
}
