// SANE, loaded at run time: the program starts and runs without it, and then has no scanner.
// Only the types come from SANE's header; every function is looked up in the loaded library.
#pragma once

#include <sane/sane.h>

#include <QString>

#include <string>

namespace orbisk {

struct TSaneApi {
  decltype(&::sane_init) Init = nullptr;
  decltype(&::sane_exit) Exit = nullptr;
  decltype(&::sane_get_devices) GetDevices = nullptr;
  decltype(&::sane_open) Open = nullptr;
  decltype(&::sane_close) Close = nullptr;
  decltype(&::sane_get_option_descriptor) GetOptionDescriptor = nullptr;
  decltype(&::sane_control_option) ControlOption = nullptr;
  decltype(&::sane_get_parameters) GetParameters = nullptr;
  decltype(&::sane_start) Start = nullptr;
  decltype(&::sane_read) Read = nullptr;
  decltype(&::sane_cancel) Cancel = nullptr;
  decltype(&::sane_strstatus) StrStatus = nullptr;
};

class TSaneLibrary {
public:
  TSaneLibrary() = default;
  ~TSaneLibrary() { Unload(); }
  TSaneLibrary(const TSaneLibrary&) = delete;
  TSaneLibrary& operator=(const TSaneLibrary&) = delete;

  // Loads the library at Path; false (and nothing loaded) when it cannot be loaded or lacks one
  // of the functions.
  bool Load(const std::string& Path);
  void Unload();
  bool Loaded() const { return FHandle != nullptr; }
  const TSaneApi& Api() const { return FApi; }

private:
  void* FHandle = nullptr;
  TSaneApi FApi;
};

// "SANE_STATUS_JAMMED" and the like; "SANE status N" for codes SANE does not define.
QString SaneStatusName(int Status);

} // namespace orbisk
