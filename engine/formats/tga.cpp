#include "engine/formats/formats.h"

namespace orbisk {

void RegisterTGAFormats() {}

} // namespace orbisk
