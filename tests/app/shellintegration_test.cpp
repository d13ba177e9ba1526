// The installed program as the desktop meets it: two real runs of orbisk (the second hands its
// file to the first and ends), and `cmake --install` into a temporary prefix.
#include "platform/associations.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <QTest>
#include <gtest/gtest.h>

using namespace orbisk;

namespace {

QProcessEnvironment PrivateEnvironment(const QString& Base) {
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  for (const char* Sub : {"home", "config", "data", "runtime"})
    QDir().mkpath(Base + "/" + Sub);
  Env.insert("HOME", Base + "/home");
  Env.insert("XDG_CONFIG_HOME", Base + "/config");
  Env.insert("XDG_DATA_HOME", Base + "/data");
  Env.insert("XDG_RUNTIME_DIR", Base + "/runtime");
  QFile::setPermissions(Base + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  Env.insert("QT_QPA_PLATFORM", "offscreen");
  Env.insert("ORBISK_TRACE", "1");
  return Env;
}

} // namespace

TEST(TwoRuns, SecondRunHandsItsFileToTheFirstAndEnds) {
  QTemporaryDir Base;
  const QProcessEnvironment Env = PrivateEnvironment(Base.path());
  const QString Pictures = Base.path() + "/my pictures";
  QDir().mkpath(Pictures);

  QProcess First;
  First.setProcessEnvironment(Env);
  First.start(ORBISK_APP_PATH, {});
  ASSERT_TRUE(First.waitForStarted(10000));
  const QString Socket = Base.path() + "/runtime/orbisk/orbisk.socket";
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(Socket); }, 30000));

  // The second run gets a relative name with spaces and quotes and a name that is not UTF-8
  // (through the shell: arguments of QProcess are always text); it sends both and ends with 0.
  QProcess Second;
  Second.setProcessEnvironment(Env);
  Second.setWorkingDirectory(Pictures);
  Second.start(
      "/bin/sh",
      {"-c", "exec \"$0\" 'say \"cheese\" [1].png' \"$(printf 'caf\\351.png')\"", ORBISK_APP_PATH});
  ASSERT_TRUE(Second.waitForFinished(30000));
  EXPECT_EQ(Second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(Second.exitCode(), 0) << Second.readAllStandardError().toStdString();

  // The first shows the last of them: its bytes arrive exactly.
  const QByteArray Expected = "open request: " + QFile::encodeName(Pictures) + "/caf\xe9.png\n";
  QByteArray Err;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        First.waitForReadyRead(100);
        Err += First.readAllStandardError();
        return Err.contains(Expected);
      },
      20000))
      << Err.toStdString();
  EXPECT_EQ(First.state(), QProcess::Running);
  First.kill();
  First.waitForFinished(5000);

  // The first run is gone; its socket file stays behind. A new run replaces it and listens.
  ASSERT_TRUE(QFileInfo::exists(Socket));
  QLocalSocket Probe;
  Probe.connectToServer(Socket);
  ASSERT_FALSE(Probe.waitForConnected(1000)); // nobody listens on the stale file
  QProcess Third;
  Third.setProcessEnvironment(Env);
  Third.start(ORBISK_APP_PATH, {Pictures + "/say \"cheese\" [1].png"});
  ASSERT_TRUE(Third.waitForStarted(10000));
  // The third run listens once the stale file has been replaced by a socket of its own (the new
  // file may get the old one's inode number, so the test connects instead of comparing them).
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        QLocalSocket S;
        S.connectToServer(Socket);
        return S.waitForConnected(200);
      },
      30000));
  QProcess Fourth;
  Fourth.setProcessEnvironment(Env);
  Fourth.start(ORBISK_APP_PATH, {Pictures + "/other.png"});
  ASSERT_TRUE(Fourth.waitForFinished(30000));
  EXPECT_EQ(Fourth.exitCode(), 0);
  Err.clear();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        Third.waitForReadyRead(100);
        Err += Third.readAllStandardError();
        return Err.contains("other.png");
      },
      20000));
  EXPECT_TRUE(Err.contains("open request: " + QFile::encodeName(Pictures) + "/other.png\n"))
      << Err.toStdString();
  Third.kill();
  Third.waitForFinished(5000);
}

TEST(Install, TemporaryPrefixHoldsProgramsDesktopEntryIconManualAndManPages) {
  QTemporaryDir Prefix;
  QProcess Install;
  Install.setProcessChannelMode(QProcess::MergedChannels);
  Install.start(ORBISK_CMAKE_COMMAND, {"--install", ORBISK_BUILD_DIR, "--prefix", Prefix.path()});
  ASSERT_TRUE(Install.waitForFinished(120000));
  ASSERT_EQ(Install.exitCode(), 0) << Install.readAll().toStdString();

  const QString P = Prefix.path();
  for (const char* File :
       {"bin/orbisk", "bin/orbisk-cli", "share/applications/orbisk.desktop",
        "share/icons/hicolor/scalable/apps/orbisk.svg", "share/orbisk/help/orbisk.html",
        "share/man/man1/orbisk-cli.1", "share/man/man1/orbisk.1"})
    EXPECT_TRUE(QFileInfo::exists(P + "/" + File)) << File;
  EXPECT_TRUE(QFileInfo(P + "/bin/orbisk").isExecutable());

  // The desktop entry passes the desktop's own check, opens files with %F and lists the MIME
  // types of every format the program reads.
  QProcess Validate;
  Validate.setProcessChannelMode(QProcess::MergedChannels);
  Validate.start("desktop-file-validate", {P + "/share/applications/orbisk.desktop"});
  ASSERT_TRUE(Validate.waitForFinished(30000));
  EXPECT_EQ(Validate.exitCode(), 0) << Validate.readAll().toStdString();
  QFile Entry(P + "/share/applications/orbisk.desktop");
  ASSERT_TRUE(Entry.open(QIODevice::ReadOnly));
  const QString Text = QString::fromUtf8(Entry.readAll());
  EXPECT_TRUE(Text.contains("\nExec=orbisk %F\n"));
  EXPECT_TRUE(Text.contains("\nIcon=orbisk\n"));
  EXPECT_TRUE(Text.contains("\nMimeType=" + ReadableMimeTypes().join(';') + ";\n"));

  // The installed programs run from there; orbisk-cli documents itself.
  QProcess Cli;
  Cli.start(P + "/bin/orbisk-cli", {"--help"});
  ASSERT_TRUE(Cli.waitForFinished(30000));
  EXPECT_EQ(Cli.exitCode(), 0);
  EXPECT_TRUE(Cli.readAllStandardOutput().contains("Usage: orbisk-cli"));
}
