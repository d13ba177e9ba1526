#include "platform/codecsettings.h"

#include "engine/colorprofile.h"

#include <atomic>
#include <mutex>

namespace orbisk {

namespace {

struct TCurrent {
  std::mutex Lock;
  TReadOptions Read;
  TWriteOptions Write;
  std::atomic<bool> ColourProfiles{true};
};

TCurrent& Current() {
  static TCurrent C;
  return C;
}

} // namespace

TReadOptions CurrentReadOptions() {
  TCurrent& C = Current();
  std::lock_guard<std::mutex> Guard(C.Lock);
  return C.Read;
}

TWriteOptions CurrentWriteOptions() {
  TCurrent& C = Current();
  std::lock_guard<std::mutex> Guard(C.Lock);
  return C.Write;
}

void SetCurrentReadOptions(const TReadOptions& Options) {
  TCurrent& C = Current();
  std::lock_guard<std::mutex> Guard(C.Lock);
  C.Read = Options;
}

void SetCurrentWriteOptions(const TWriteOptions& Options) {
  TCurrent& C = Current();
  std::lock_guard<std::mutex> Guard(C.Lock);
  C.Write = Options;
}

void ChangeCurrentReadOptions(const std::function<void(TReadOptions&)>& Change) {
  TCurrent& C = Current();
  std::lock_guard<std::mutex> Guard(C.Lock);
  Change(C.Read);
}

void ChangeCurrentWriteOptions(const std::function<void(TWriteOptions&)>& Change) {
  TCurrent& C = Current();
  std::lock_guard<std::mutex> Guard(C.Lock);
  Change(C.Write);
}

bool UseColourProfiles() {
  return Current().ColourProfiles;
}

void SetUseColourProfiles(bool On) {
  Current().ColourProfiles = On;
}

TReadOptions ViewReadOptions() {
  TReadOptions Options = CurrentReadOptions();
  Options.ColourProfiles = UseColourProfiles();
  return Options;
}

void FitMetadataToViewPixels(TImageMetadata& M) {
  if (UseColourProfiles() && IsConvertingProfile(M.Icc)) M.Icc.clear();
}

} // namespace orbisk
