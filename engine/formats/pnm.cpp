#include "engine/formats/formats.h"

namespace orbisk {

void RegisterPxMFormats() {}

} // namespace orbisk
