// HEIF and HEIC: reader of the primary picture (10- and 12-bit samples reduced to 8, alpha
// composited onto the background colour, the container's crop, rotation and mirror applied; a
// reduced picture asked is the primary picture's thumbnail item when one is large enough), over
// libheif. AVIF files under a general brand are handed to the AVIF reader.
#pragma once

#include "engine/formats/decodedrows.h"
#include "engine/registry.h"

#include <string>
#include <vector>

namespace orbisk {

class EPGHEIFFileFormatReader : public EPixelGraphic {
public:
  explicit EPGHEIFFileFormatReader(const std::string& Msg) : EPixelGraphic(Msg) {}
};

// Most tiles (coded items, repeats counted) one picture may be made of, and most items a file may
// list: more are refused before any library parses the file.
constexpr int kMaxPictureTiles = 1024;
constexpr int kMaxFileItems = 4 * kMaxPictureTiles;

// The item types a decoder handles: Coded ones hold compressed pictures, Derived ones (grids,
// overlays) are made of other items referenced through "dimg".
struct TItemTypes {
  std::vector<std::string> Coded, Derived;
};

// Walks the "meta" box of an ISO base media file (pitm, iinf, iref, iloc) from its primary item
// through every derived item it uses, and the auxiliary pictures (alpha) of the primary item.
// Fails with the engine's "invalid" message unless every referenced item exists with a type
// of Types and every coded one has a location, and when a picture needs more than
// kMaxPictureTiles tiles or the file lists more than kMaxFileItems items. Returns the number of
// coded items the primary picture is made of (0 when the file has no "meta" box).
// Derived items (grids, overlays) whose declared size passes MaxPixelCount fail too.
int CheckPrimaryItems(const std::vector<uint8_t>& Data, const TItemTypes& Types,
                      const TFailFn& Fail, int64_t MaxPixelCount = DefaultMaxPixelCount);

class THEICFileFormatReader : public TFileFormatReader {
public:
  THEICFileFormatReader() : THEICFileFormatReader("heic") {}
  std::string ClassName() const override { return "THEICFileFormatReader"; }
  bool Sniff(const uint8_t* Header) override;
  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options = {}) override;
  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options = {}) override;

protected:
  explicit THEICFileFormatReader(const char* Ext);
};

class THEIFFileFormatReader : public THEICFileFormatReader {
public:
  THEIFFileFormatReader() : THEICFileFormatReader("heif") {}
  std::string ClassName() const override { return "THEIFFileFormatReader"; }
};

} // namespace orbisk
