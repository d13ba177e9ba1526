// Album file reader on arbitrary bytes: it either refuses the file or reads records that write
// back into a file of the same records.
#include "albums/albumformat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  using namespace orbisk;
  const std::string Bytes(reinterpret_cast<const char*>(Data), Size);
  TAlbumReadReport Report;
  TAlbumFileData D;
  try {
    D = ParseAlbumFile(Bytes, &Report);
  } catch (const EAlbumFormat&) {
    return 0;
  }
  for (const TAlbumRecord& R : D.Records) {
    if (R.Rotation < 0 || R.Rotation > 3) std::abort();
    if (R.FileName.find('\t') != std::string::npos) std::abort();
    if (R.Caption.find('\r') != std::string::npos) std::abort();
  }
  // Written again, the header keeps its width and every record reads back.
  const std::string Again = FormatAlbumFile(D);
  if (Again.compare(kAlbumHeaderSize, 4, kAlbumVersion) != 0) std::abort();
  TAlbumReadReport Report2;
  TAlbumFileData D2 = ParseAlbumFile(Again, &Report2);
  if (D2.Records.size() != D.Records.size() || Report2.Truncated) std::abort();
  for (size_t I = 0; I < D.Records.size(); ++I)
    if (D2.Records[I].FileName != D.Records[I].FileName ||
        D2.Records[I].Rotation != D.Records[I].Rotation)
      std::abort();
  return 0;
}
