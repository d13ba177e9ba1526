// Truevision Targa reader and writer.
#pragma once

namespace orbisk {

// Engine-wide: the writer run-length encodes its pixels (image types 9 and 10) instead of
// storing them plainly (types 1 and 2). Default off.
extern bool TGAWriteRLE;

} // namespace orbisk
