#include "platform/singleinstance.h"

#include "platform/filenames.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

namespace {

const QString OpenPrefix = QStringLiteral("[Open(");
// A line longer than this is not an open request; the connection is dropped.
constexpr qsizetype MaxLine = 1 << 20;

} // namespace

QStringList SplitOpenCommands(const QString& Line) {
  QStringList Commands;
  QString Rest = Line;
  for (qsizetype Pair = Rest.indexOf("]["); Pair >= 0; Pair = Rest.indexOf("][")) {
    Commands << Rest.left(Pair + 1).trimmed();
    Rest = Rest.mid(Pair + 1);
  }
  Commands << Rest;
  return Commands;
}

QString OpenCommand(const QByteArray& Path) {
  return OpenPrefix + '"' + QString::fromLatin1(Path.toPercentEncoding("/")) + "\")]";
}

bool IsOpenCommand(const QString& Command) {
  return Command.startsWith(OpenPrefix);
}

QByteArray OpenCommandPath(const QString& Command) {
  const qsizetype First = Command.indexOf('"');
  if (First < 0) return {};
  const qsizetype Second = Command.indexOf('"', First + 1);
  const QString Text =
      Second < 0 ? Command.mid(First + 1) : Command.mid(First + 1, Second - First - 1);
  return QByteArray::fromPercentEncoding(Text.toUtf8());
}

// ---- the queue

void TOpenRequestHandler::Execute(const QString& Line) {
  if (Line.trimmed().isEmpty()) return;
  FQueue << SplitOpenCommands(Line);
  Deliver();
}

void TOpenRequestHandler::InstallHandler(THandler Handler) {
  FHandler = std::move(Handler);
  Deliver();
}

void TOpenRequestHandler::Deliver() {
  if (!FHandler || FQueue.isEmpty()) return;
  // The handler may receive new requests while it runs: take the queue first.
  const QStringList Commands = std::exchange(FQueue, {});
  FHandler(Commands);
}

TOpenRequestHandler& OpenRequests() {
  static TOpenRequestHandler Handler;
  return Handler;
}

// ---- the private folder

namespace {

// Makes Dir a folder of this user with mode 0700; false with a reason otherwise.
bool MakePrivateFolder(const QByteArray& Dir, QString& Error) {
  if (::mkdir(Dir.constData(), 0700) != 0 && errno != EEXIST) {
    Error = DecodeFileName(Dir) + ": " + QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  struct stat St {};
  if (::lstat(Dir.constData(), &St) != 0 || !S_ISDIR(St.st_mode)) {
    Error = DecodeFileName(Dir) + " is not a folder";
    return false;
  }
  if (St.st_uid != ::getuid()) {
    Error = DecodeFileName(Dir) + " belongs to another user";
    return false;
  }
  if ((St.st_mode & 0777) != 0700 && ::chmod(Dir.constData(), 0700) != 0) {
    Error = DecodeFileName(Dir) + ": " + QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  return true;
}

} // namespace

QString InstanceFolder(QString* Error) {
  QString Why;
  const QByteArray Runtime = qgetenv("XDG_RUNTIME_DIR");
  if (Runtime.startsWith('/') && MakePrivateFolder(Runtime + "/orbisk", Why))
    return DecodeFileName(Runtime + "/orbisk");
  const QByteArray Fallback = "/tmp/orbisk-" + QByteArray::number(::getuid());
  if (MakePrivateFolder(Fallback, Why)) return DecodeFileName(Fallback);
  if (Error) *Error = Why;
  return {};
}

// ---- the channel

TSingleInstance::TSingleInstance(QObject* Parent) : QObject(Parent), FWatch(new QTimer(this)) {
  FWatch->setInterval(1000);
  connect(FWatch, &QTimer::timeout, this, [this] { CheckListening(); });
}

void TSingleInstance::SetLimits(int IdleMs, int MaxConnections, int RelistenMs) {
  FIdleMs = std::max(1, IdleMs);
  FMaxConnections = std::max(1, MaxConnections);
  FWatch->setInterval(std::max(1, RelistenMs));
}

TSingleInstance::~TSingleInstance() {
  CloseServer();
}

void TSingleInstance::CloseServer() {
  if (!FServer) return;
  // Its connections go with it, without calling back into this object.
  for (QLocalSocket* S : FServer->findChildren<QLocalSocket*>())
    S->disconnect(this);
  FOpen.clear();
  FServer->close(); // also removes the socket file
  FServer.reset();
}

bool TSingleInstance::Listening() const {
  return FServer && FServer->isListening();
}

namespace {

enum class TSend { NoServer, Delivered, NoAnswer };

TSend SendLine(const QString& SocketPath, const QString& Line, int TimeoutMs) {
  QLocalSocket S;
  S.connectToServer(SocketPath);
  // A socket file left by a crashed run refuses at once.
  if (!S.waitForConnected(std::min(TimeoutMs, 2000))) return TSend::NoServer;
  S.write(Line.toUtf8() + '\n');
  QElapsedTimer Clock;
  Clock.start();
  QByteArray Answer;
  while (!Answer.contains('\n') && Clock.elapsed() < TimeoutMs) {
    S.waitForBytesWritten(50);
    if (S.waitForReadyRead(100)) Answer += S.readAll();
    if (S.state() != QLocalSocket::ConnectedState && !S.bytesAvailable()) break;
  }
  S.disconnectFromServer();
  return Answer.startsWith("ok\n") ? TSend::Delivered : TSend::NoAnswer;
}

} // namespace

bool TSingleInstance::Send(const QString& SocketPath, const QString& Line, int TimeoutMs) {
  return SendLine(SocketPath, Line, TimeoutMs) == TSend::Delivered;
}

TSingleInstance::TStart TSingleInstance::Start(const QStringList& Commands, int TimeoutMs) {
  const QString Folder = InstanceFolder(&FError);
  if (Folder.isEmpty()) return TStart::Alone;
  FSocketPath = Folder + "/orbisk.socket";
  // Two runs starting together take turns: the second finds the first one listening.
  QLockFile Lock(Folder + "/orbisk.lock");
  Lock.setStaleLockTime(0); // a lock of a dead process is still recognised as stale
  if (!Lock.tryLock(TimeoutMs)) {
    FError = QStringLiteral("the lock file in ") + Folder + " is held by another process";
    return TStart::Alone;
  }
  if (Commands.isEmpty()) {
    QLocalSocket Probe;
    Probe.connectToServer(FSocketPath);
    if (Probe.waitForConnected(1000)) return TStart::Alone; // another window runs
  } else {
    switch (SendLine(FSocketPath, Commands.join(QString()), TimeoutMs)) {
    case TSend::Delivered:
      return TStart::Delivered;
    case TSend::NoAnswer:
      FError = QStringLiteral("the running instance did not answer");
      return TStart::Alone;
    case TSend::NoServer:
      break;
    }
  }
  return Listen() ? TStart::Primary : TStart::Alone;
}

bool TSingleInstance::Listen() {
  // Nobody answers on the socket: a file left there by a crashed run is replaced.
  CloseServer();
  QLocalServer::removeServer(FSocketPath);
  FServer = std::make_unique<QLocalServer>();
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  connect(FServer.get(), &QLocalServer::newConnection, this, [this] { NewConnection(); });
  if (!FServer->listen(FSocketPath)) {
    FError = FServer->errorString();
    FServer.reset();
    return false;
  }
  FWatch->start();
  return true;
}

void TSingleInstance::CheckListening() {
  if (FServer && FServer->isListening()) return;
  // The server closed itself after an error (it also removed its socket file). Another run may
  // have taken the name meanwhile: then that one answers and this one stops trying.
  QLocalSocket Probe;
  Probe.connectToServer(FSocketPath);
  if (Probe.waitForConnected(200)) {
    FWatch->stop();
    return;
  }
  if (Listen())
    ++FRelistened;
  else
    FWatch->start(); // no descriptor yet: again at the next check
}

void TSingleInstance::Forget(QLocalSocket* S) {
  // By address: the socket may be in its destructor, where no new guard may be made for it.
  FOpen.removeIf([S](const QPointer<QLocalSocket>& P) { return P.isNull() || P.data() == S; });
}

void TSingleInstance::Drop(QLocalSocket* S) {
  Forget(S);
  S->disconnect(this);
  S->abort();
  S->deleteLater();
}

void TSingleInstance::NewConnection() {
  while (QLocalSocket* S = FServer->nextPendingConnection()) {
    connect(S, &QLocalSocket::disconnected, this, [this, S] {
      Forget(S);
      S->deleteLater();
    });
    // The folder already keeps other users out; the peer's credentials say it again.
    struct ucred Cred {};
    socklen_t Len = sizeof Cred;
    if (::getsockopt(int(S->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &Cred, &Len) != 0 ||
        Cred.uid != ::getuid()) {
      S->abort();
      S->deleteLater();
      continue;
    }
    // Descriptors stay few: beyond the limit the oldest connection goes, so that a new request
    // always gets through.
    Forget(nullptr);
    while (FOpen.size() >= FMaxConnections)
      Drop(FOpen.first());
    FOpen << S;
    auto* Deadline = new QTimer(S);
    Deadline->setSingleShot(true);
    connect(Deadline, &QTimer::timeout, this, [this, S] { Drop(S); });
    Deadline->start(FIdleMs);
    connect(S, &QLocalSocket::readyRead, this, [this, S] { ReadFrom(S); });
    if (S->bytesAvailable()) ReadFrom(S);
  }
}

void TSingleInstance::ReadFrom(QLocalSocket* S) {
  QStringList Lines;
  while (S->canReadLine()) {
    Lines << QString::fromUtf8(S->readLine()).chopped(1);
    S->write("ok\n");
  }
  S->flush();
  if (S->bytesAvailable() > MaxLine) S->abort();
  // Showing a file may run dialogs: the socket is not touched after this.
  for (const QString& Line : Lines)
    OpenRequests().Execute(Line);
}

} // namespace orbisk
