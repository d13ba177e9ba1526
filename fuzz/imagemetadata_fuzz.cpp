// Metadata blocks from arbitrary files and EXIF bytes: read, fitted to a new size and laid out
// for a TIFF directory without reading or writing outside the data, and never throwing.
#include "engine/imagemetadata.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace orbisk;
  static const std::string Path = "/tmp/imagemetadata_fuzz." + std::to_string(::getpid());
  if (FILE* F = std::fopen(Path.c_str(), "wb")) {
    std::fwrite(Data, 1, Size, F);
    std::fclose(F);
  }
  TImageMetadata M = ReadImageMetadata(Path);
  FitMetadataToPicture(M, 17, 9, Size % 2 == 0);

  // The same bytes as an EXIF block and as a TIFF file's first directory.
  TImageMetadata Raw;
  if (ExifBlockFromBytes(Data, Size, Raw.Exif)) {
    FitMetadataToPicture(Raw, 70000, 3, true);
    std::vector<TTIFFMetadataEntry> Entries;
    std::vector<uint8_t> Bytes;
    ExifForTIFF(Raw.Exif, Size % 3 == 0, 8, Entries, Bytes);
  }
  std::vector<uint8_t> FromTIFF;
  ExifBlockFromTIFF(Data, Size, FromTIFF);
  return 0;
}
