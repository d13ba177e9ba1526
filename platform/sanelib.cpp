#include "platform/sanelib.h"

#include <dlfcn.h>

namespace orbisk {

namespace {

template <typename F> bool Resolve(void* Handle, const char* Name, F& Out) {
  Out = reinterpret_cast<F>(dlsym(Handle, Name));
  return Out != nullptr;
}

} // namespace

bool TSaneLibrary::Load(const std::string& Path) {
  if (FHandle) return true;
  void* H = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!H) return false;
  TSaneApi A;
  const bool All = Resolve(H, "sane_init", A.Init) && Resolve(H, "sane_exit", A.Exit) &&
                   Resolve(H, "sane_get_devices", A.GetDevices) &&
                   Resolve(H, "sane_open", A.Open) && Resolve(H, "sane_close", A.Close) &&
                   Resolve(H, "sane_get_option_descriptor", A.GetOptionDescriptor) &&
                   Resolve(H, "sane_control_option", A.ControlOption) &&
                   Resolve(H, "sane_get_parameters", A.GetParameters) &&
                   Resolve(H, "sane_start", A.Start) && Resolve(H, "sane_read", A.Read) &&
                   Resolve(H, "sane_cancel", A.Cancel) && Resolve(H, "sane_strstatus", A.StrStatus);
  if (!All) {
    dlclose(H);
    return false;
  }
  FHandle = H;
  FApi = A;
  return true;
}

void TSaneLibrary::Unload() {
  if (!FHandle) return;
  dlclose(FHandle);
  FHandle = nullptr;
  FApi = TSaneApi();
}

QString SaneStatusName(int Status) {
  static const char* const Names[] = {
      "SANE_STATUS_GOOD",        "SANE_STATUS_UNSUPPORTED", "SANE_STATUS_CANCELLED",
      "SANE_STATUS_DEVICE_BUSY", "SANE_STATUS_INVAL",       "SANE_STATUS_EOF",
      "SANE_STATUS_JAMMED",      "SANE_STATUS_NO_DOCS",     "SANE_STATUS_COVER_OPEN",
      "SANE_STATUS_IO_ERROR",    "SANE_STATUS_NO_MEM",      "SANE_STATUS_ACCESS_DENIED"};
  if (Status >= 0 && Status < int(std::size(Names))) return Names[Status];
  return QString("SANE status %1").arg(Status);
}

} // namespace orbisk
