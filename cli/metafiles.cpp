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

namespace {

// Set while main's TReadSupport lives; null before and after.
std::unique_ptr<QGuiApplication>* ActiveApp = nullptr;

} // namespace

TReadSupport::TReadSupport() {
  static std::unique_ptr<QGuiApplication> App;
  ActiveApp = &App;
}

TReadSupport::~TReadSupport() {
  if (!ActiveApp) return;
  // The player holds Qt objects: it goes before the application does.
  SetMetafilePlayer(nullptr);
  ActiveApp->reset();
  ActiveApp = nullptr;
}

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
  if (!ActiveApp) return; // reading reports "Metafile playback failed"
  if (!QCoreApplication::instance()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int Argc = 1;
    static char Name[] = "orbisk-cli";
    static char* Argv[] = {Name, nullptr};
    *ActiveApp = std::make_unique<QGuiApplication>(Argc, Argv);
  }
  InstallMetafilePlayer();
}

} // namespace orbisk
