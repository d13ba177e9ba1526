#include "platform/autoorient.h"

#include "engine/orientation.h"
#include "platform/settingsstore.h"

#include <atomic>

namespace orbisk {

namespace {
std::atomic<bool> GAutoOrient{true};
} // namespace

bool AutoOrientPictures() {
  return GAutoOrient.load(std::memory_order_relaxed);
}

void SetAutoOrientPictures(bool On) {
  GAutoOrient.store(On, std::memory_order_relaxed);
}

bool ReadAutoOrient(const TSettingsStore& S) {
  return S.ReadString("AutoOrient", QStringLiteral("1")) != QLatin1String("0");
}

void WriteAutoOrient(TSettingsStore& S, bool On) {
  S.WriteString("AutoOrient", On ? "1" : "0");
}

int OrientForDisplay(TPixelGraphic& G) {
  if (!AutoOrientPictures()) return 1;
  const int O = ValidOrientation(G.ExifOrientation) ? G.ExifOrientation : 1;
  ApplyOrientation(G, O);
  return O;
}

} // namespace orbisk
