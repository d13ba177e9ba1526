#include "engine/formats/formats.h"

namespace orbisk {

void RegisterPNGFormats() {}

} // namespace orbisk
