// Each format module adds its readers and writers to the engine-wide lists.
#pragma once

namespace orbisk {

void RegisterBMPFormats();      // bmp, dib, rle readers; bmp, dib writers
void RegisterJPEGFormats();     // jpg, jpeg, jif
void RegisterPNGFormats();      // png
void RegisterTIFFFormats();     // tif, tiff
void RegisterGIFFormats();      // gif reader
void RegisterPCXFormats();      // pcx reader
void RegisterPxMFormats();      // pbm, pgm, ppm
void RegisterTGAFormats();      // tga
void RegisterICOFormats();      // ico reader
void RegisterMetafileFormats(); // wmf, emf readers (playback by the desktop layer)
void RegisterWebPFormats();     // webp
void RegisterAVIFFormats();     // avif
void RegisterHEIFFormats();     // heic, heif readers
void RegisterJXLFormats();      // jxl reader

} // namespace orbisk
