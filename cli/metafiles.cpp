// Metafiles are played back through Qt: orbisk-cli starts an offscreen QGuiApplication only
// when a file it reads is one, so the other formats never pay for it.
#include "cli/commands.h"

#include "engine/formats/metafile.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "platform/metafileplayer.h"

#include <QGuiApplication>

#include <memory>

namespace orbisk {

void PrepareToRead(const std::string& Path) {
  if (MetafilePlayer()) return;
  TFileFormatReader* Reader = nullptr;
  try {
    TPGFileStream S(Path, TFileMode::fmOpenRead);
    Reader = FindReader(S, FileExtension(Path));
  } catch (const std::exception&) {
    return; // reading reports the error itself
  }
  if (!Reader || (Reader->Extension != "wmf" && Reader->Extension != "emf")) return;
  static std::unique_ptr<QGuiApplication> App;
  if (!QCoreApplication::instance()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int Argc = 1;
    static char Name[] = "orbisk-cli";
    static char* Argv[] = {Name, nullptr};
    App = std::make_unique<QGuiApplication>(Argc, Argv);
  }
  InstallMetafilePlayer();
}

} // namespace orbisk
