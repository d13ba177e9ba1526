// The texts the desktop integration parses: a line received from another run (split into
// commands, paths decoded) and a user's mimeapps.list (defaults set, everything else kept).
#include "platform/associations.h"
#include "platform/singleinstance.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const QByteArray Bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
  const QString Line = QString::fromUtf8(Bytes);
  for (const QString& Command : orbisk::SplitOpenCommands(Line))
    if (orbisk::IsOpenCommand(Command)) (void)orbisk::OpenCommandPath(Command);
  // Every path survives the trip through a command.
  if (orbisk::OpenCommandPath(orbisk::OpenCommand(Bytes)) != Bytes) std::abort();
  // Setting the defaults twice gives the same text as once.
  const QByteArray Once = orbisk::SetDefaultApplications(Bytes, {"image/jpeg", "image/png"});
  if (orbisk::SetDefaultApplications(Once, {"image/jpeg", "image/png"}) != Once) std::abort();
  return 0;
}
