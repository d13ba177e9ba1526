// The editor's lossless JPEG saving. While the picture is a JPEG file as loaded, changed only by
// right-angle turns and flips, saving it as JPEG rearranges the file's DCT coefficients instead
// of encoding the pixels again (processing/jpegturn.h). Anything else, and anything that cannot
// be checked, falls back to the normal encode.
#pragma once

#include "engine/pixelgraphic.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace orbisk {

class TLosslessJPEGTracker {
public:
  // Picture was loaded from Path and turned by Orientation for showing (1: as stored). Files
  // that are not JPEG are not tracked.
  void Loaded(const QString& Path, int Orientation, const TPixelGraphic* Picture);
  // Any change other than a turn: saving encodes the pixels.
  void Forget();
  // A turn (named by the orientation it makes upright: 6 = 90 degrees clockwise, 8 = 90
  // anticlockwise, 3 = 180, 2 = mirror left-right, 4 = mirror top-bottom) made Result from the
  // tracked picture.
  void Turned(int Turn, const TPixelGraphic* Result);
  // The picture the editor holds now is Picture (after Undo gave back a snapshot).
  void Rebind(const TPixelGraphic* Picture) { FPicture = Picture; }

  bool Tracking() const { return FValid; }
  QString Source() const { return FSource; }
  // The turn from the file as stored to the picture (1: none).
  int Turn() const { return FTurn; }

  // The JPEG file to write when Picture is saved as Target, or nothing when it must be encoded:
  // Target is not a JPEG name, the picture is not the tracked one, the source file changed on
  // disk since loading, the turn would trim partial blocks, or the turned file does not decode to
  // (nearly) the picture the editor holds.
  std::optional<std::vector<uint8_t>> LosslessFile(const TPixelGraphic& Picture,
                                                   const QString& Target) const;

private:
  bool FValid = false;
  QString FSource;
  int FTurn = 1;
  const TPixelGraphic* FPicture = nullptr;
  int64_t FSize = -1, FModified = 0;
};

// Whether Decoded shows the same picture as Shown: same size and kind (grey or colour), no
// sample more than 8 levels apart and the mean difference under one level (decoders may round
// a turned block differently from the turned pixels of the original).
bool SamePicture(const TPixelGraphic& Decoded, const TPixelGraphic& Shown);

} // namespace orbisk
