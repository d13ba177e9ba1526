// Placeholder until the BMP codec lands.
#include "engine/formats/bmp.h"
#include "engine/formats/formats.h"

namespace orbisk {

void RegisterBMPFormats() {}
std::unique_ptr<TFileFormatReader> MakeBMPReader() { return nullptr; }
std::unique_ptr<TFileFormatWriter> MakeBMPWriter() { return nullptr; }

} // namespace orbisk
