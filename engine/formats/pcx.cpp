#include "engine/formats/formats.h"

namespace orbisk {

void RegisterPCXFormats() {}

} // namespace orbisk
