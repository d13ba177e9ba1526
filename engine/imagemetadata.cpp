#include "engine/imagemetadata.h"

namespace orbisk {

TImageMetadata ReadImageMetadata(const std::string&) {
  return {};
}

void FitMetadataToPicture(TImageMetadata&, int, int, bool) {}

} // namespace orbisk
