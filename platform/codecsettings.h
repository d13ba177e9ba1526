// The program's current reader and writer options: what the user set in "File Save Options" for
// this run (the engine's defaults until then). Every load and save of the window layer passes
// them; a worker thread takes a consistent copy with each call.
#pragma once

#include "engine/codecoptions.h"
#include "engine/imagemetadata.h"

#include <functional>

namespace orbisk {

TReadOptions CurrentReadOptions();
TWriteOptions CurrentWriteOptions();
void SetCurrentReadOptions(const TReadOptions& Options);
void SetCurrentWriteOptions(const TWriteOptions& Options);
// Changes some of the current options in one step (no other change comes in between).
void ChangeCurrentReadOptions(const std::function<void(TReadOptions&)>& Change);
void ChangeCurrentWriteOptions(const std::function<void(TWriteOptions&)>& Change);

// "Use colour profiles" (on until the preferences say otherwise): pictures read to be shown
// (the picture area, the editor, thumbnails, sheets, albums, web pictures) are turned into sRGB
// from the profile their file carries. Tools that write such a picture write no profile.
bool UseColourProfiles();
void SetUseColourProfiles(bool On);
// The current read options for pictures read to be shown: CurrentReadOptions() with colour
// profiles applied as UseColourProfiles() says.
TReadOptions ViewReadOptions();
// What a picture read with ViewReadOptions() writes of its file's blocks: a profile the reading
// converted through no longer describes the (now sRGB) pixels and is left out.
void FitMetadataToViewPixels(TImageMetadata& M);

} // namespace orbisk
