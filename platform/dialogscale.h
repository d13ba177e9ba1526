// Window sizes given in pixels were laid out for an 8-point dialog font whose average character
// is 6 x 13 pixels. This desktop's fonts are larger, so a window opened at those sizes would clip
// or hide its own controls: every such size goes through here, grown by the ratio of this
// desktop's font metrics to that font (never shrunk).
#pragma once

#include <QSize>

namespace orbisk {

// Horizontal and vertical ratios of this desktop's font and controls to that font's (the average
// character 6 x 13 pixels, radio buttons 16 and edit boxes 21 pixels high), at least 1.
double DialogScaleX();
double DialogScaleY();

int ScaledWidth(int Width);
int ScaledHeight(int Height);
QSize ScaledSize(int Width, int Height);

} // namespace orbisk
