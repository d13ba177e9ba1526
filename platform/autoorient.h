// The preference "Rotate pictures by their camera orientation" (settings value "AutoOrient",
// "1" or "0", default on): pictures are shown turned by their EXIF orientation. With it off
// every window shows pictures as stored.
#pragma once

#include "engine/pixelgraphic.h"

namespace orbisk {

class TSettingsStore;

inline constexpr const char* kAutoOrientCaption = "Rotate pictures by their camera orientation";

// The value windows follow while the program runs (on until the settings say otherwise);
// safe to read from worker threads.
bool AutoOrientPictures();
void SetAutoOrientPictures(bool On);

// "AutoOrient": "0" is off, anything else (or no value) on.
bool ReadAutoOrient(const TSettingsStore& S);
void WriteAutoOrient(TSettingsStore& S, bool On);

// Turns G upright for showing when the preference is on. The turn resets G's orientation to 1,
// so a picture shown in several places, or handed on, is never turned twice. Returns the
// orientation that was applied (1: none).
int OrientForDisplay(TPixelGraphic& G);

} // namespace orbisk
