#include "platform/shellfiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

namespace {

[[noreturn]] void Fail(const QByteArray& Target, int Error) {
  throw std::runtime_error("Cannot write " + Target.toStdString() + ": " + std::strerror(Error));
}

// Writes Data to a new temporary file beside Target; its name, or throws.
QByteArray WriteTemporary(const QByteArray& Target, const QByteArray& Data) {
  QByteArray Temp = Target + ".XXXXXX";
  const int Fd = ::mkstemp(Temp.data());
  if (Fd < 0) Fail(Target, errno);
  const char* P = Data.constData();
  qsizetype Left = Data.size();
  while (Left > 0) {
    const ssize_t N = ::write(Fd, P, size_t(Left));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) {
      const int E = N < 0 ? errno : EIO;
      ::close(Fd);
      ::unlink(Temp.constData());
      Fail(Target, E);
    }
    P += N;
    Left -= N;
  }
  // Readable by others like any file the user makes (mkstemp makes 0600).
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  if (::fchmod(Fd, 0666 & ~Mask) != 0 || ::fsync(Fd) != 0 || ::close(Fd) != 0) {
    const int E = errno;
    ::unlink(Temp.constData());
    Fail(Target, E);
  }
  return Temp;
}

} // namespace

void WriteFileReplacing(const QString& TargetName, const QByteArray& Data) {
  const QByteArray Target = QFile::encodeName(TargetName);
  struct stat St {};
  if (::stat(Target.constData(), &St) == 0 && !(St.st_mode & S_IWUSR)) Fail(Target, EACCES);
  const QByteArray Temp = WriteTemporary(Target, Data);
  if (::rename(Temp.constData(), Target.constData()) != 0) {
    const int E = errno;
    ::unlink(Temp.constData());
    Fail(Target, E);
  }
}

bool WriteNewFile(const QString& TargetName, const QByteArray& Data) {
  const QByteArray Target = QFile::encodeName(TargetName);
  if (::access(Target.constData(), F_OK) == 0) return false;
  const QByteArray Temp = WriteTemporary(Target, Data);
  // The name is taken only if nobody took it meanwhile.
  if (::renameat2(AT_FDCWD, Temp.constData(), AT_FDCWD, Target.constData(), RENAME_NOREPLACE) != 0) {
    const int E = errno;
    ::unlink(Temp.constData());
    if (E == EEXIST) return false;
    Fail(Target, E);
  }
  return true;
}

} // namespace orbisk
