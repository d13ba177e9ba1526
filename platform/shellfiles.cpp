#include "platform/shellfiles.h"

#include "platform/filenames.h"

#include "engine/messages.h"
#include "engine/safefile.h"

#include <QFile>

#include <stdexcept>

namespace orbisk {

void WriteFileReplacing(const QString& Target, const QByteArray& Data) {
  WriteFileSafely(EncodeFileName(Target).toStdString(), Data.constData(), size_t(Data.size()),
                  TCommitMode::cmReplace);
}

bool WriteNewFile(const QString& Target, const QByteArray& Data) {
  try {
    WriteFileSafely(EncodeFileName(Target).toStdString(), Data.constData(), size_t(Data.size()),
                    TCommitMode::cmNoReplace);
  } catch (const EPGTargetExists&) {
    return false;
  }
  return true;
}

} // namespace orbisk
