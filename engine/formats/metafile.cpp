// Placeholder until the metafile readers land.
#include "engine/formats/formats.h"

namespace orbisk {

void RegisterMetafileFormats() {}

} // namespace orbisk
