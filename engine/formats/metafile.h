// Windows metafiles (WMF) and enhanced metafiles (EMF): recognition, the placeable header, sizes,
// file information and reading into a pixel image. The records are drawn by a player that the
// desktop layer installs (the engine has no drawing of its own).
#pragma once

#include "engine/registry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orbisk {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr int kPlaceableHeaderSize = 22;
constexpr uint32_t kEnhancedSignature = 0x464D4520; // " EMF"
constexpr int kMetafilePreviewLimit = 130;
// Size of the picture described by a synthesised placeable header, in header units.
constexpr int kSynthesisedWidth = 100;
constexpr int kSynthesisedHeight = 50;

// Exclusive or of the first ten 16-bit words of a placeable header.
uint16_t PlaceableChecksum(const uint8_t* Header);
// A placeable header for a W x H unit picture (each clamped to 3..32767) at the mean of the
// screen resolution Options give.
std::array<uint8_t, kPlaceableHeaderSize>
SynthesisePlaceableHeader(int W = kSynthesisedWidth, int H = kSynthesisedHeight,
                          const TReadOptions& Options = {});

// A loaded metafile: checked records, ready for a player.
struct TMetafile {
  bool Enhanced = false;
  // WMF: placeable header, metafile header, records, end record. EMF: header record, records,
  // end record. Every record length is checked; the header's size fields match the data.
  std::vector<uint8_t> Data;
  // Natural size in screen pixels, as the picture gets it (above 0).
  int Width = 0;
  int Height = 0;
  // The metafile's own palette (EMF only; empty when it carries none).
  std::vector<TRGB> Palette;
  // EMF: the picture frame in reference-device pixels and the header's bounds (device pixels).
  double FrameLeft = 0, FrameTop = 0, FrameRight = 0, FrameBottom = 0;
  int32_t BoundsLeft = 0, BoundsTop = 0, BoundsRight = 0, BoundsBottom = 0;
  // Records dropped at a truncated end (the rest is played).
  bool Truncated = false;
};

// Loads Data as the desktop's metafile object does: an enhanced metafile when more than 100 bytes
// are present, the first record is a header and the " EMF" signature is in place; otherwise a
// WMF that starts with a placeable header with the right checksum. False when it is neither or
// the records are damaged.
// Sizes are computed for the screen resolution Options give.
bool LoadMetafile(const uint8_t* Data, size_t Size, TMetafile& M, const TReadOptions& Options = {});

// Draws metafiles. The desktop layer installs one at start (see platform/metafileplayer.h).
class TMetafilePlayer {
public:
  virtual ~TMetafilePlayer() = default;
  // Draws M stretched onto the whole of Target, which is already sized and cleared to white.
  // Raises EPixelGraphic when the records cannot be played.
  virtual void Play(const TMetafile& M, TPixelGraphic& Target) = 0;
};
void SetMetafilePlayer(std::shared_ptr<TMetafilePlayer> Player); // nullptr removes it
std::shared_ptr<TMetafilePlayer> MetafilePlayer();

class tWMFFileFormatReader : public TFileFormatReader {
public:
  tWMFFileFormatReader();
  std::string ClassName() const override { return "tWMFFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options = {}) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options = {}) override;

protected:
  tWMFFileFormatReader(std::string Ext, std::string Desc, bool Enhanced);
  // Loads the metafile object from the stream; HadPlaceable tells whether the file had its own
  // placeable header.
  virtual bool LoadFromStream(TPGStream& Stream, TMetafile& M, bool& HadPlaceable,
                              const TReadOptions& Options = {});
  bool FEnhanced;
};

class tEMFFileFormatReader : public tWMFFileFormatReader {
public:
  tEMFFileFormatReader();
  std::string ClassName() const override { return "tEMFFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;

protected:
  bool LoadFromStream(TPGStream& Stream, TMetafile& M, bool& HadPlaceable,
                      const TReadOptions& Options = {}) override;
};

} // namespace orbisk
