#include "engine/imagemetadata.h"

TImageMetadata ReadImageMetadata(const std::string&) { return {}; }

void FitMetadataToPicture(TImageMetadata&, int, int, bool) {}
