// Open requests: splitting received text into commands, carrying any path bytes, the queue that
// waits for the main window's handler, and the socket channel (private folder, stale sockets).
#include "platform/singleinstance.h"

#include "tests/browser/browsertest.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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

namespace {

// Connects to the socket and sends nothing; -1 when it could not.
int IdleConnection(const QByteArray& Socket) {
  const int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0) return -1;
  sockaddr_un A{};
  A.sun_family = AF_UNIX;
  std::strncpy(A.sun_path, Socket.constData(), sizeof A.sun_path - 1);
  if (::connect(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0) {
    ::close(Fd);
    return -1;
  }
  return Fd;
}

// True when the server closed the connection (end of file without an answer).
bool ClosedByServer(int Fd) {
  char C;
  return ::recv(Fd, &C, 1, MSG_DONTWAIT) == 0;
}

// Another local program holding many connections open without sending: a child process, so that
// its descriptors are not this process's. Ends when the object goes.
class TIdleFlood {
public:
  TIdleFlood(const QByteArray& Socket, int Count) {
    int Pipe[2];
    if (::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    FChild = ::fork();
    if (FChild == 0) {
      ::close(Pipe[0]);
      // Not bound by a limit the parent set for itself.
      rlimit L{};
      getrlimit(RLIMIT_NOFILE, &L);
      L.rlim_cur = L.rlim_max;
      setrlimit(RLIMIT_NOFILE, &L);
      for (int I = 0; I < Count; ++I)
        IdleConnection(Socket); // kept open, never written to
      const char Done = 'd';
      (void)!::write(Pipe[1], &Done, 1);
      for (;;)
        ::pause();
    }
    ::close(Pipe[1]);
    FDone = Pipe[0];
  }
  ~TIdleFlood() {
    if (FChild > 0) {
      ::kill(FChild, SIGKILL);
      ::waitpid(FChild, nullptr, 0);
    }
    if (FDone >= 0) ::close(FDone);
  }
  // True once every connection was made (each one accepted by the server in turn).
  bool Connected() {
    char C;
    return FDone >= 0 && ::read(FDone, &C, 1) == 1 ? (FReady = true) : FReady;
  }

private:
  pid_t FChild = -1;
  int FDone = -1;
  bool FReady = false;
};

// Lowers the soft descriptor limit while the object lives.
class TDescriptorLimit {
public:
  explicit TDescriptorLimit(rlim_t Soft) {
    getrlimit(RLIMIT_NOFILE, &FOld);
    rlimit New = FOld;
    New.rlim_cur = std::min(Soft, FOld.rlim_max);
    setrlimit(RLIMIT_NOFILE, &New);
  }
  ~TDescriptorLimit() { Restore(); }
  void Restore() { setrlimit(RLIMIT_NOFILE, &FOld); }

private:
  rlimit FOld{};
};

// The descriptors this process has open now.
int OpenDescriptors() {
  return int(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

} // namespace

TEST(SingleInstance, IdleConnectionsAreDroppedAndTheirNumberCapped) {
  TRuntimeDir Runtime;
  QStringList Received;
  OpenRequests().InstallHandler([&](const QStringList& C) { Received << C; });
  TSingleInstance First;
  First.SetLimits(300, 8, 100);
  ASSERT_EQ(First.Start({}), TSingleInstance::TStart::Primary) << First.Error().toStdString();
  const QByteArray Socket = QFile::encodeName(First.SocketPath());

  // Connections that send nothing, or half a line, are closed by the server.
  QList<int> Fds;
  for (int I = 0; I < 20; ++I)
    Fds << IdleConnection(Socket);
  ASSERT_GE(Fds.last(), 0);
  ASSERT_EQ(::send(Fds.first(), "[Open(\"/half", 12, MSG_NOSIGNAL), 12);
  ASSERT_TRUE(test::WaitFor([&] { return First.OpenConnections() == 0; }, 10000));
  // Never more than the limit open at once.
  EXPECT_TRUE(test::WaitFor([&] {
    for (int Fd : Fds)
      if (!ClosedByServer(Fd)) return false;
    return true;
  }));
  for (int Fd : Fds)
    ::close(Fd);
  EXPECT_TRUE(Received.isEmpty());

  // A flood of idle connections from another program, then a real request: it gets through.
  {
    TIdleFlood Flood(Socket, 1000);
    int Most = 0;
    ASSERT_TRUE(test::WaitFor(
        [&] {
          Most = std::max(Most, First.OpenConnections());
          return Flood.Connected();
        },
        60000));
    EXPECT_LE(Most, 8);
    EXPECT_TRUE(SendFromThread(First.SocketPath(), OpenCommand("/after/flood.png")));
    ASSERT_TRUE(test::WaitFor([&] { return !Received.isEmpty(); }));
    EXPECT_EQ(Received, QStringList{OpenCommand("/after/flood.png")});
  }
  EXPECT_TRUE(First.Listening());
  OpenRequests().InstallHandler({});
}

TEST(SingleInstance, ListensAgainAfterDescriptorsRanOut) {
  TRuntimeDir Runtime;
  QStringList Received;
  OpenRequests().InstallHandler([&](const QStringList& C) { Received << C; });
  TSingleInstance First;
  First.SetLimits(60000, 1000, 100);
  ASSERT_EQ(First.Start({}), TSingleInstance::TStart::Primary) << First.Error().toStdString();
  const QByteArray Socket = QFile::encodeName(First.SocketPath());
  {
    // Room for a few more descriptors only: accepting the flood runs out of them, and the
    // server closes (removing its socket file).
    TDescriptorLimit Limit(rlim_t(OpenDescriptors() + 4));
    TIdleFlood Flood(Socket, 40);
    ASSERT_TRUE(test::WaitFor([&] { return First.Relistened() > 0 || !First.Listening(); }, 20000));
    Limit.Restore();
    // With descriptors back the channel listens again and takes requests.
    ASSERT_TRUE(test::WaitFor([&] { return First.Listening(); }, 20000));
    EXPECT_TRUE(SendFromThread(First.SocketPath(), OpenCommand("/again.png")));
    ASSERT_TRUE(test::WaitFor([&] { return !Received.isEmpty(); }));
    EXPECT_EQ(Received, QStringList{OpenCommand("/again.png")});
  }
  OpenRequests().InstallHandler({});
}
