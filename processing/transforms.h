// Operations that move pixels rather than recolour them: rotation (right angles and any angle),
// flips, crop, resize, the radial lens adjustment, and the fisheye and swirl distortions.
#pragma once

#include "engine/pixelgraphic.h"
#include "processing/fastbmp.h"

#include <string>

namespace orbisk {

// ---- rotation and flips ----------------------------------------------------------------------

// Fills Dest with Source turned clockwise by Angle degrees about both centres (width div 2,
// height div 2). With AutoSize, Dest is first resized to the turned bounding box, keeping its
// depth; a whole multiple of 90 degrees is then the exact right-angle turn. Without AutoSize
// only the box covered by the turned source is touched. Dest.Smooth selects bilinear sampling
// (off for whole multiples of 90); samples that fall outside Source take Dest's own colour.
// An empty Source does nothing; a non-finite angle raises EPixelGraphic.
void Rotate(TPixelGraphic& Dest, bool AutoSize, const TPixelGraphic& Source, long double Angle);

// Dest becomes Source turned clockwise by QuarterTurns right angles, pixel value for pixel
// value, with Source's depth and palette.
void RotateQuarterTurns(TPixelGraphic& Dest, const TPixelGraphic& Source, int QuarterTurns);

// Mirror in place on raw values; progress once per row (horizontal) or column (vertical).
void FlipHorizontal(TPixelGraphic& G);
void FlipVertical(TPixelGraphic& G);

// ---- editor commands -------------------------------------------------------------------------

// Picture takes Result's size, depth, pixels and palette; its own settings and events stay.
void ReplacePicture(TPixelGraphic& Picture, const TPixelGraphic& Result);
// Work's progress events are raised as Owner's, so the owner's handler sees (and may abort)
// work done on a temporary picture.
void ForwardProgress(TPixelGraphic& Work, TPixelGraphic& Owner);

// The editor's rotation: whole multiples of 90 degrees are exact and keep depth and palette;
// other angles turn into a fresh auto-sized picture with interpolation, black corners.
void RotatePicture(TPixelGraphic& Picture, long double Angle);
// The angle the "Rotate Degrees" window applies for a typed value.
constexpr long double ArbitraryAngle(long double Typed, bool Clockwise) {
  return Clockwise ? Typed : 360 - Typed;
}
// Picture becomes the Width x Height area at (Left, Top), raw values, same depth and palette;
// parts outside the picture read as its background value.
void CropPicture(TPixelGraphic& Picture, int Left, int Top, int Width, int Height);
// Picture becomes a resampled copy of NewWidth x NewHeight, same depth and palette (a width or
// height of 0 gives an empty picture).
void ResizePicture(TPixelGraphic& Picture, int NewWidth, int NewHeight);
// "Constrain Proportions": round(NewSide x OldOther / OldSide), halves to even; 0 when the old
// side is not positive, limited to the int range.
int ProportionalSide(int NewSide, int OldSide, int OldOther);

// ---- radial adjustment -----------------------------------------------------------------------

struct TRadialSettings {
  long double Outer = -0.02L; // a
  long double Middle = 0;     // b
  long double Inner = 0;      // c
  long double Scaling = 1;    // d
};

// A decimal number as typed ("-0.02", "1e-3", "+2", surrounding blanks allowed); false for
// anything else, including values that are not finite ("nan", "inf", "1e9999").
bool ParseDecimal(const std::string& Text, long double& Value);
// All four fields, or false (the window then says "Invalid values entered!").
bool ParseRadialSettings(const std::string& Outer, const std::string& Middle,
                         const std::string& Inner, const std::string& Scaling,
                         TRadialSettings& Out);

// Dest becomes a 24-bit picture of Source's size whose pixel at radius r (in half-widths) comes
// from radius r(a r^3 + b r^2 + c r + d), sampled bilinearly; outside reads Source's background
// colour. Columns left to right, Dest's OnProgress(column, width - 1) after each. A picture
// less than 2 pixels wide is copied unchanged.
void RadialAdjust(TPixelGraphic& Dest, const TPixelGraphic& Source, const TRadialSettings& S);

// ---- fisheye and swirl (single precision, wrap-around sampling) ------------------------------

// Dest is made the size of Source. Amount 1 magnifies the centre twice.
void Fisheye(const TFastBMP& Source, TFastBMP& Dest, float Amount);
// Turns by r / Amount radians at radius r, plus a quarter turn counter-clockwise.
void Swirl(const TFastBMP& Source, TFastBMP& Dest, float Amount);
// The editor's commands: on a 24-bit copy, the picture becomes 24-bit.
void FisheyePicture(TPixelGraphic& Picture, float Amount = 1.0f);
void SwirlPicture(TPixelGraphic& Picture, float Amount = 100.0f);

} // namespace orbisk
