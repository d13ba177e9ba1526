// PBM, PGM and PPM: the portable bitmap family, ASCII (P1-P3) and binary (P4-P6).
#pragma once

namespace orbisk {


} // namespace orbisk
