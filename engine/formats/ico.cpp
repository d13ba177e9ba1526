#include "engine/formats/formats.h"

namespace orbisk {

void RegisterICOFormats() {}

} // namespace orbisk
