// Open requests between two runs of the program: the first run listens on a local socket that
// only its user can reach; a later `orbisk FILE` hands "[Open("FILE")]" to it and ends. The
// received text is split into commands and queued until the main window installs its handler.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace orbisk {

// Splits one received line into commands: while the line contains "][", the text up to and
// including that "]" is trimmed and queued and the rest goes on; the remainder comes last.
QStringList SplitOpenCommands(const QString& Line);

// "[Open("PATH")]" for a path given as raw bytes. Every byte outside letters, digits, "/",
// "-", ".", "_" and "~" is written as %XX, so quotes, brackets, line breaks and names that are
// not UTF-8 travel unchanged.
QString OpenCommand(const QByteArray& Path);
// True when the command begins with "[Open(".
bool IsOpenCommand(const QString& Command);
// The path of an open command: the text between its first and second double quote, with the
// %XX escapes undone (raw bytes).
QByteArray OpenCommandPath(const QString& Command);

// The queue of received commands and the handler that the main window installs.
class TOpenRequestHandler {
public:
  using THandler = std::function<void(const QStringList& Commands)>;
  // Splits the line, queues its commands and delivers the queue when a handler is installed.
  void Execute(const QString& Line);
  // Stores the handler and delivers the commands queued before it came. An empty handler
  // uninstalls (later requests wait in the queue again).
  void InstallHandler(THandler Handler);
  const QStringList& Pending() const { return FQueue; }

private:
  void Deliver();
  QStringList FQueue;
  THandler FHandler;
};

// The program's one handler.
TOpenRequestHandler& OpenRequests();

// The private folder of the socket: $XDG_RUNTIME_DIR/orbisk, or /tmp/orbisk-UID when the
// runtime folder is not set. Created with mode 0700; refused ("" and Error set) when it is not
// a real folder owned by this user.
QString InstanceFolder(QString* Error = nullptr);

// The listening side and the sending side of the channel.
class TSingleInstance : public QObject {
  // No signals of its own: the connections are lambdas.
public:
  explicit TSingleInstance(QObject* Parent = nullptr);
  ~TSingleInstance() override;

  enum class TStart {
    Primary,   // this run listens now; requests reach OpenRequests()
    Delivered, // another run was found and took the commands: this run ends
    Alone      // no channel (folder refused, no running instance took it): run without one
  };
  // With Commands empty: listens when no other run does (a second run without files starts as
  // a window of its own). With commands: sends them to a running instance, or listens itself.
  TStart Start(const QStringList& Commands, int TimeoutMs = 10000);
  bool Listening() const;
  QString SocketPath() const { return FSocketPath; }
  // Why the channel could not be set up (for a warning on stderr).
  QString Error() const { return FError; }

  // Sends one line to the instance listening at SocketPath; true when it acknowledged.
  static bool Send(const QString& SocketPath, const QString& Line, int TimeoutMs);

  // Limits that keep the channel open for real requests whatever other local programs do: a
  // connection is dropped IdleMs after it came (it had that long to send its line); beyond
  // MaxConnections open at once the oldest is dropped; every RelistenMs the server is checked
  // and listens again when an error closed it (no descriptors left, say).
  void SetLimits(int IdleMs, int MaxConnections, int RelistenMs);
  int OpenConnections() const { return int(FOpen.size()); }
  // How often the channel listened again after an error closed it.
  int Relistened() const { return FRelistened; }

private:
  void NewConnection();
  void ReadFrom(QLocalSocket* S);
  void Drop(QLocalSocket* S);
  void Forget(QLocalSocket* S);
  bool Listen();
  void CloseServer();
  void CheckListening();

  QString FSocketPath, FError;
  std::unique_ptr<QLocalServer> FServer;
  QList<QPointer<QLocalSocket>> FOpen; // in the order they came
  QTimer* FWatch = nullptr;
  int FIdleMs = 5000, FMaxConnections = 32, FRelistened = 0;
};

} // namespace orbisk
