// Open requests: splitting received text into commands, carrying any path bytes, the queue that
// waits for the main window's handler, and the socket channel (private folder, stale sockets).
#include "platform/singleinstance.h"

#include "tests/browser/browsertest.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace orbisk;

namespace {

// The text the main window shows for a batch: the last command's path, or the command itself.
QByteArray Shown(const QStringList& Commands) {
  const QString& Last = Commands.last();
  return IsOpenCommand(Last) ? OpenCommandPath(Last) : Last.toUtf8();
}

// XDG_RUNTIME_DIR points into a fresh folder while the object lives.
class TRuntimeDir {
public:
  TRuntimeDir() : FOld(qgetenv("XDG_RUNTIME_DIR")) {
    qputenv("XDG_RUNTIME_DIR", FDir.path().toUtf8());
  }
  ~TRuntimeDir() { qputenv("XDG_RUNTIME_DIR", FOld); }
  QString Path() const { return FDir.path(); }

private:
  QTemporaryDir FDir;
  QByteArray FOld;
};

// Sends on a thread of its own: the receiving side needs this thread's event loop meanwhile.
bool SendFromThread(const QString& Socket, const QString& Line) {
  std::atomic<int> Result{-1};
  std::thread T([&] { Result = TSingleInstance::Send(Socket, Line, 5000) ? 1 : 0; });
  test::WaitFor([&] { return Result >= 0; }, 8000);
  T.join();
  return Result == 1;
}

} // namespace

TEST(OpenCommands, SplittingAndWhatIsShown) {
  struct TCase {
    QString Line;
    QStringList Commands;
    QByteArray Shown;
  } Cases[] = {
      {R"([Open("/p/a.jpg")])", {R"([Open("/p/a.jpg")])"}, "/p/a.jpg"},
      // Two open commands in one text: the second is shown.
      {R"([Open("/p/a.jpg")][Open("/p/b.jpg")])",
       {R"([Open("/p/a.jpg")])", R"([Open("/p/b.jpg")])"},
       "/p/b.jpg"},
      // Text before a pair is trimmed; a command that is not an open request is shown unchanged.
      {R"(  [Open("/p/a.jpg")][Other(1)]  )",
       {R"([Open("/p/a.jpg")])", R"([Other(1)]  )"},
       "[Other(1)]  "},
      {R"([A][B][Open("/c")])", {"[A]", "[B]", R"([Open("/c")])"}, "/c"},
      {"plain text", {"plain text"}, "plain text"},
  };
  for (const TCase& C : Cases) {
    const QStringList Got = SplitOpenCommands(C.Line);
    EXPECT_EQ(Got, C.Commands) << C.Line.toStdString();
    EXPECT_EQ(Shown(Got), C.Shown) << C.Line.toStdString();
  }
}

TEST(OpenCommands, AnyPathBytesTravelUnchanged) {
  const QByteArray Paths[] = {
      "/home/u/plain.jpg",
      "/home/u/with space/and \"quotes\".jpg",
      "/home/u/brackets][ and (parens) ]x[.png",
      "/home/u/100% sure.png",
      QByteArray("/home/u/not-utf8-\xff\xfe.bmp"),
      QByteArray("/home/u/line\nbreak\ttab.gif"),
      "/home/u/caf\xc3\xa9 \xe2\x82\xac.tif",
  };
  QString Line;
  for (const QByteArray& P : Paths) {
    const QString C = OpenCommand(P);
    // One line of plain ASCII that the split can not cut apart.
    EXPECT_FALSE(C.contains('\n'));
    EXPECT_EQ(C.toLatin1(), C.toUtf8());
    EXPECT_EQ(SplitOpenCommands(C).size(), 1) << C.toStdString();
    EXPECT_EQ(OpenCommandPath(C), P) << C.toStdString();
    Line += C;
  }
  const QStringList All = SplitOpenCommands(Line);
  ASSERT_EQ(All.size(), std::size(Paths));
  for (int I = 0; I < All.size(); ++I)
    EXPECT_EQ(OpenCommandPath(All[I]), Paths[I]);
  // A plain path reads as the command text users know.
  EXPECT_EQ(OpenCommand("/p/a.jpg"), R"([Open("/p/a.jpg")])");
}

TEST(OpenRequestHandler, RequestsWaitForTheHandler) {
  TOpenRequestHandler H;
  H.Execute(R"([Open("/a")])");
  H.Execute(R"([Open("/b")][Open("/c")])");
  H.Execute("   "); // nothing
  EXPECT_EQ(H.Pending().size(), 3);
  QList<QStringList> Batches;
  H.InstallHandler([&](const QStringList& C) { Batches << C; });
  ASSERT_EQ(Batches.size(), 1);
  EXPECT_EQ(Batches[0].size(), 3);
  EXPECT_EQ(Shown(Batches[0]), "/c");
  EXPECT_TRUE(H.Pending().isEmpty());
  H.Execute(R"([Open("/d")])");
  ASSERT_EQ(Batches.size(), 2);
  EXPECT_EQ(Shown(Batches[1]), "/d");
  // Without a handler (the window is gone) requests queue again.
  H.InstallHandler({});
  H.Execute(R"([Open("/e")])");
  EXPECT_EQ(Batches.size(), 2);
  EXPECT_EQ(H.Pending().size(), 1);
}

TEST(SingleInstance, PrivateFolderAndDeliveryToTheFirstRun) {
  TRuntimeDir Runtime;
  QList<QStringList> Received;
  OpenRequests().InstallHandler([&](const QStringList& C) { Received << C; });

  TSingleInstance First;
  ASSERT_EQ(First.Start({}), TSingleInstance::TStart::Primary) << First.Error().toStdString();
  EXPECT_TRUE(First.Listening());
  EXPECT_EQ(QFileInfo(First.SocketPath()).path(), Runtime.Path() + "/orbisk");
  struct stat St {};
  ASSERT_EQ(::stat(QFile::encodeName(Runtime.Path() + "/orbisk").constData(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);

  const QByteArray Odd("/tmp/x/\"odd\" ][ name \xff.png");
  EXPECT_TRUE(SendFromThread(First.SocketPath(), OpenCommand("/tmp/x/a.png") + OpenCommand(Odd)));
  ASSERT_TRUE(test::WaitFor([&] { return !Received.isEmpty(); }));
  EXPECT_EQ(Received.first().size(), 2);
  EXPECT_EQ(Shown(Received.first()), Odd);

  // A second run without files starts a window of its own and listens nowhere.
  TSingleInstance Second;
  EXPECT_EQ(Second.Start({}), TSingleInstance::TStart::Alone);
  EXPECT_FALSE(Second.Listening());
  OpenRequests().InstallHandler({});
}

TEST(SingleInstance, StaleSocketIsReplacedAndLooseFolderTightened) {
  TRuntimeDir Runtime;
  const QString Folder = Runtime.Path() + "/orbisk";
  ASSERT_TRUE(QDir().mkpath(Folder));
  ASSERT_EQ(::chmod(QFile::encodeName(Folder).constData(), 0755), 0);
  // A crashed run leaves its socket file behind: bound once, nobody listening.
  const QByteArray Socket = QFile::encodeName(Folder + "/orbisk.socket");
  {
    const int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un A{};
    A.sun_family = AF_UNIX;
    std::strncpy(A.sun_path, Socket.constData(), sizeof A.sun_path - 1);
    ASSERT_EQ(::bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A), 0);
    ::close(Fd);
  }
  ASSERT_TRUE(QFileInfo::exists(QFile::decodeName(Socket)));

  QStringList Received;
  OpenRequests().InstallHandler([&](const QStringList& C) { Received << C; });
  // The run with a file finds nobody, so it listens itself; its own file is shown by its window.
  TSingleInstance Run;
  EXPECT_EQ(Run.Start({OpenCommand("/a.png")}, 2000), TSingleInstance::TStart::Primary)
      << Run.Error().toStdString();
  struct stat St {};
  ASSERT_EQ(::stat(QFile::encodeName(Folder).constData(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);
  EXPECT_TRUE(SendFromThread(Run.SocketPath(), OpenCommand("/b.png")));
  ASSERT_TRUE(test::WaitFor([&] { return !Received.isEmpty(); }));
  EXPECT_EQ(Received, QStringList{OpenCommand("/b.png")});
  OpenRequests().InstallHandler({});
}

TEST(SingleInstance, FolderOfAnotherUserIsNotUsed) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  TRuntimeDir Runtime;
  const QByteArray Folder = QFile::encodeName(Runtime.Path() + "/orbisk");
  ASSERT_EQ(::mkdir(Folder.constData(), 0777), 0);
  ASSERT_EQ(::chown(Folder.constData(), 65534, 65534), 0);
  QString Error;
  const QString Used = InstanceFolder(&Error);
  EXPECT_NE(Used, QFile::decodeName(Folder));
  EXPECT_EQ(Used, "/tmp/orbisk-" + QString::number(::getuid()));
}
