// BMP, DIB and RLE: reader, writer and the packed-bitmap core shared with streaming.
#pragma once

#include "engine/registry.h"

#include <memory>

namespace orbisk {

// The separate BMP reader and writer used for streaming and packed bitmaps.
std::unique_ptr<TFileFormatReader> MakeBMPReader();
std::unique_ptr<TFileFormatWriter> MakeBMPWriter();

} // namespace orbisk
