#include "engine/formats/formats.h"

namespace orbisk {

void RegisterTIFFFormats() {}

} // namespace orbisk
