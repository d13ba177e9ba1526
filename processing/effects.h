// The editor's effects that are not plain colour or convolution filters: the fast-bitmap effects
// (noise, spray, mosaic, emboss), the separable Gaussian blur, red-eye reduction, pencil drawing
// and the frame effects (drop shadows, white and gradient borders, 3D bevel).
#pragma once

#include "engine/pixelgraphic.h"
#include "processing/fastbmp.h"

#include <vector>

namespace orbisk {

// ---- fast-bitmap effects ---------------------------------------------------------------------

// The effect window's effect numbers.
enum TFastEffect : int { feSprayPaint = 1, feMonoNoise = 2, feColorNoise = 3, feMosaic = 4 };

// Work becomes Source with the effect at Amount (mosaic: Amount x Amount blocks).
void ApplyFastEffect(TFastEffect Effect, const TFastBMP& Source, TFastBMP& Work, int Amount);
// The editor's commands: the effect on a 24-bit copy; the picture becomes 24-bit.
void FastEffectPicture(TPixelGraphic& Picture, TFastEffect Effect, int Amount);
void EmbossPicture(TPixelGraphic& Picture);
// The effect window's preview: the picture scaled so that its longer side is 240 pixels.
void EffectPreviewSize(int Width, int Height, int& PreviewWidth, int& PreviewHeight);
void BuildEffectPreview(const TPixelGraphic& Picture, TFastBMP& Preview);

// ---- Gaussian blur ---------------------------------------------------------------------------

// The editor's status bar during a blur: its second panel shows a gauge (0..100).
class TStatusGauge {
public:
  virtual ~TStatusGauge() = default;
  virtual void ShowGauge() = 0;
  virtual void SetGaugePosition(int Percent) = 0;
  virtual void HideGauge() = 0; // back to plain text
};

inline constexpr const char* GaussianBlurNeeds24Bit =
    "Gaussian Blur only works for 24-bit images. Convert the image first using Image/Color "
    "Resolution";

// Weights for offsets -HalfWidth..HalfWidth (single precision, summing to 1). The far offsets
// are dropped until the dropped weight reaches half a grey level; at least -1..1 stay.
struct TGaussianKernel {
  int HalfWidth = 0;
  std::vector<float> Weights;
};
TGaussianKernel GaussianKernel(float Radius);

// In place on a 24-bit picture (EPGFilter with GaussianBlurNeeds24Bit otherwise, the picture
// untouched). A radius that is not a positive number changes nothing. Progress goes to the
// gauge when given and to the picture's OnProgress (rows of both passes, in order, on the
// calling thread); an abort keeps what was done: in the first pass the rows up to the one
// reported, in the second maybe a few whole rows more when several threads run. The rows of
// each pass are shared out between the engine's threads (the first pass goes into a temporary
// copy of the picture's size); the result is the same whatever the thread count.
void GaussianBlur(TPixelGraphic& Picture, TStatusGauge* StatusBar, float Radius);

// ---- red-eye reduction -----------------------------------------------------------------------

struct TRedEyeThresholds {
  int Red = 100, Green = 100, Blue = 100;
};
// From the slider position (-50..80).
constexpr TRedEyeThresholds RedEyeThresholds(int Position) {
  return {100 - Position, 100 + Position, 100 + Position};
}
// Inside the disc inscribed in the area, pixels redder than the thresholds turn black.
void RedEyeReduction(TPixelGraphic& Area, const TRedEyeThresholds& T);
// The editor's flow: the area at (Left, Top) is treated on a 24-bit copy and copied back.
void RedEyeReduce(TPixelGraphic& Picture, int Left, int Top, int Width, int Height, int Position);

// ---- pencil drawing, frames ------------------------------------------------------------------

// Contour filter then greyscale; the picture becomes 24-bit.
void PencilDrawing(TPixelGraphic& Picture);
// A shadow below and right: the picture grows by 2.5% of its longer side and becomes 24-bit.
void DropShadow(TPixelGraphic& Picture);
// A shadow Size pixels wide drawn inside the picture, which is shrunk to make room and then
// sharpened back; the picture keeps its size and depth.
void DropShadowInPlace(TPixelGraphic& Picture, int PenWidth, int Size);
// A white frame fading into grey around the shrunk picture; keeps size and depth. Pictures of
// 56 pixels or less across have no room for the frame and stay as they are.
void WhiteBorder(TPixelGraphic& Picture);
// The editor's commands on a 24-bit copy (the picture becomes 24-bit).
void WhiteBorderPicture(TPixelGraphic& Picture);
void BevelPicture(TPixelGraphic& Picture);
// The editor's gradient border: same depth (and palette) as the picture.
void GradientBorderPicture(TPixelGraphic& Picture, bool Oval, int BorderWidth, TRGB Color);
// Rings concentric one-pixel rings, lighter at the top and left, darker at the bottom and right.
void Bevel(TPixelGraphic& Picture, int Rings);

// The picture's colours at 24 bits (nothing happens to a 24-bit picture).
void ConvertToTrueColor(TPixelGraphic& Picture);
// A line of width PenWidth with round ends: the pixels within PenWidth / 2 of the segment.
void DrawWideLine(TPixelGraphic& G, int X0, int Y0, int X1, int Y1, int PenWidth, TRGB Color);

} // namespace orbisk
