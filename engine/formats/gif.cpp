#include "engine/formats/formats.h"

namespace orbisk {

void RegisterGIFFormats() {}

} // namespace orbisk
