#include "engine/formats/formats.h"

namespace orbisk {

void RegisterJPEGFormats() {}

} // namespace orbisk
