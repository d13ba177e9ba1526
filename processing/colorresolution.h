// Reducing a picture's colours: the colour resolution choices, posterize, and the preparation
// of a picture for GIF output.
#pragma once

#include "engine/pixelgraphic.h"

#include <memory>
#include <string>

namespace orbisk {

// One colour resolution: a depth, its palette, and how the colours are mapped into it.
struct TColorResolutionChoice {
  int BitCount = 24; // 1, 4, 8 or 24
  // A standard palette kind (pBlackWhite .. pSpecial252, one the depth can hold), or pUnknown
  // for an optimized palette of Colors entries.
  TPaletteIdent Kind = pUnknown;
  int Colors = 252;             // optimized palettes only: 2 for 1 bit, 2..16, 2..256
  bool IncludeSystem16 = false; // 8-bit optimized only: the last 16 entries are the
                                // system colours
  bool Dither = true;
  bool RGBWeighting = true;
};

// What the colour resolution window holds, with its initial values: a palette choice per
// depth, the two count fields as typed, and the two check boxes.
struct TColorResolutionModel {
  int BitCount = 24;
  TPaletteIdent Kind1 = pBlackWhite; // pBlackWhite or pUnknown (optimized, 2 colours)
  TPaletteIdent Kind4 = pSys16;      // pGray4, pSysGray4, pGray16, pSys16 or pUnknown
  std::string Count4 = "16";
  TPaletteIdent Kind8 = pUnknown; // pGray236 .. pSpecial252 or pUnknown
  std::string Count8 = "252";
  bool IncludeSystem16 = true;
  bool Dither = true;
  bool RGBWeighting = true;

  // Choosing a palette option also chooses its depth.
  void ChoosePalette(int Bits, TPaletteIdent Kind);
  // Typing in a count field chooses that depth's optimized palette.
  void EditCount4(const std::string& Text);
  void EditCount8(const std::string& Text);
  // Ticking "Include 16 system colors" chooses the 8-bit optimized palette.
  void SetIncludeSystem16(bool On);
  // OK is possible only when both count fields hold numbers in range.
  bool CanConfirm() const;
  // The choice made (meaningful when CanConfirm()).
  TColorResolutionChoice Choice() const;
};

// A whole number within Lo..Hi, blanks around it ignored; false otherwise.
bool ParseColorCount(const std::string& Text, int Lo, int Hi, int& Value);

// True when the choice names a depth, palette kind and count that fit together.
bool ValidChoice(const TColorResolutionChoice& C);

// The picture in the chosen resolution, as a new picture of the same size; nullptr when
// Picture has no pixels. OnProgress (optional) receives the new picture's progress events; an
// abort stops the work and the picture is returned as far as it got (an abort while the
// palette is built leaves every pixel at index 0). Raises EPGInvalidBitCountNum for another
// depth and EPixelGraphic for a palette or count the depth cannot hold.
std::unique_ptr<TPixelGraphic>
ApplyColorResolution(const TPixelGraphic& Picture, const TColorResolutionChoice& Choice,
                     const TPixelGraphic::TProgressEvent& OnProgress = nullptr);

// At most Colors (2..256, the editor uses 8) colours with hard edges between them: an
// optimized palette without dithering or RGB weighting, 4 bits up to 16 colours, else 8 bits.
// nullptr when Picture has no pixels; EPixelGraphic for another count.
std::unique_ptr<TPixelGraphic> Posterize(const TPixelGraphic& Picture, int Colors = 8,
                                         const TPixelGraphic::TProgressEvent& OnProgress = nullptr);

// The converter's GIF picture: 8 bits, optimized palette of 252 entries ending with the 16
// system colours, dithered, of the given size (the picture's own when 0); nullptr when
// Picture has no pixels.
std::unique_ptr<TPixelGraphic>
PrepareGIFPicture(const TPixelGraphic& Picture, int Width = 0, int Height = 0,
                  const TPixelGraphic::TProgressEvent& OnProgress = nullptr);

// The editor's export: palette pictures are copied unchanged, true-colour ones prepared as
// for the converter.
std::unique_ptr<TPixelGraphic>
PrepareGIFExport(const TPixelGraphic& Picture,
                 const TPixelGraphic::TProgressEvent& OnProgress = nullptr);

// An optimized choice of Colors colours (2..256) in the smallest depth that holds them, for
// callers that only name a count.
TColorResolutionChoice OptimizedChoice(int Colors, bool Dither);

} // namespace orbisk
