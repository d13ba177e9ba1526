// Which file names are pictures the engine reads: the one rule behind the drops, imports and
// editable-file checks of every window.
#pragma once

#include <string>

namespace orbisk {

// True when the name's whole extension (any letter case) is one a reader is registered for, or
// another name of such a file (.jpe, .jfif, .pnm).
bool IsReadablePictureName(const std::string& FileName);

} // namespace orbisk
