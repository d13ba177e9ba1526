// BMP, DIB and RLE: reader, writer and the packed-bitmap core shared with streaming.
#pragma once

#include "engine/registry.h"

#include <memory>

namespace orbisk {

// The separate BMP reader and writer used for streaming and packed bitmaps.
std::unique_ptr<TFileFormatReader> MakeBMPReader();
std::unique_ptr<TFileFormatWriter> MakeBMPWriter();

// The decoding core: reads a bitmap header (core header when CoreHeader, else an info header
// or one of its larger successors), the colour table and the pixels from the stream's position.
// Raises the image's progress events; an abort keeps what was decoded. PixelStart is the stream
// position a file header gives for the pixels (-1: none); it is used when it lies past the headers
// and the colour table and inside the data, otherwise the pixels follow the table.
void ReadDIB(TPGStream& Stream, TPixelGraphic& Image, bool CoreHeader, int64_t PixelStart,
             int64_t MaxPixelCount);

} // namespace orbisk
