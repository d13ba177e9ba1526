// Colour profiles: a picture whose file carries an ICC profile is shown in sRGB. The pixels the
// reader gave are taken as colours of the profile's space and turned into sRGB with the
// perceptual intent; pictures without a profile, or with an sRGB one, stay as they are.
#pragma once

#include "engine/pixelgraphic.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orbisk {

enum class TProfileResult {
  Unchanged, // no profile, or one that describes sRGB
  Converted,
  Ignored, // a profile that cannot be read or does not describe the picture's colours (Why)
};

// Converts Picture from the colour space Icc describes into sRGB. True-colour pictures are
// converted pixel by pixel (on the engine's bands), palette pictures through their palette.
// An RGB profile applies to colour pictures, a grey profile to grey ones (grey palettes or
// true-colour pixels whose three channels are equal); other profiles are ignored.
TProfileResult ConvertToSRGB(TPixelGraphic& Picture, const std::vector<uint8_t>& Icc,
                             std::string* Why = nullptr);

// Whether Icc is a readable profile that describes sRGB (its conversion would change nothing).
bool IsSRGBProfile(const std::vector<uint8_t>& Icc);

// Whether Icc is a readable RGB or grey profile other than sRGB: one whose pictures
// ConvertToSRGB changes. A picture read through it is sRGB afterwards, so the profile no longer
// describes it.
bool IsConvertingProfile(const std::vector<uint8_t>& Icc);

} // namespace orbisk
