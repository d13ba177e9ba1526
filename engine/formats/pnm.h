// PBM, PGM and PPM: the portable bitmap family, ASCII (P1-P3) and binary (P4-P6).
#pragma once

namespace orbisk {

// Engine-wide: the writers produce the binary forms (P4, P5, P6) instead of ASCII. Default off.
extern bool PxMWriteBinary;

} // namespace orbisk
