// TPixelGraphic: the one raster image of the program (1, 4, 8 bits with a palette, or 24 bits),
// stored as bottom-up rows padded to 4 bytes, exactly like an uncompressed bottom-up bitmap.
#pragma once

#include "engine/codecoptions.h"
#include "engine/imagemetadata.h"
#include "engine/messages.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orbisk {

class TPGStream;

// Red in bits 0-7, green 8-15, blue 16-23.
using TRGB = uint32_t;

constexpr TRGB RGBOf(unsigned R, unsigned G, unsigned B) {
  return R | (G << 8) | (B << 16);
}
constexpr unsigned RedOf(TRGB C) {
  return C & 0xFF;
}
constexpr unsigned GreenOf(TRGB C) {
  return (C >> 8) & 0xFF;
}
constexpr unsigned BlueOf(TRGB C) {
  return (C >> 16) & 0xFF;
}
// From the RRGGBB hexadecimal notation used in colour tables.
constexpr TRGB RGBFromHex(uint32_t RRGGBB) {
  return RGBOf((RRGGBB >> 16) & 0xFF, (RRGGBB >> 8) & 0xFF, RRGGBB & 0xFF);
}

enum TPaletteIdent : int {
  pNone = 0,
  pTrueColor,
  pUnknown,
  pBlackWhite,
  pSysGray4,
  pSys16,
  pGray4,
  pGray16,
  pGray236,
  pGray256,
  pSpecial125,
  pSpecial216,
  pSpecial252,
  pOptimized252Sys16,
  pSource,
};

enum TStretchMode : int { smFast = 0, smMedium = 1, smPrecise = 2 };

enum TPGWarningAction : int { pgwaIgnore = 0, pgwaOKBox = 1, pgwaOKCancelBox = 2, pgwaRaise = 3 };

// Largest picture (Width x Height) SetSize allocates outside a load, for every picture of the
// process (DefaultMaxPixelCount unless lowered; tests lower it to make an allocation fail).
// Loads allocate up to their own read option. Thread-safe.
int64_t PixelAllocationLimit();
void SetPixelAllocationLimit(int64_t Limit);

// Standard palette contents (kinds pBlackWhite..pSpecial252); empty for other kinds.
const std::vector<TRGB>& StandardPalette(TPaletteIdent Kind);
// Depth code (0..3) of a bit count (1, 4, 8, 24); raises EPGInvalidBitCountNum otherwise.
int BitCountToNum(int BitCount);

class TPixelGraphic {
public:
  using TNotifyEvent = std::function<void(TPixelGraphic* Sender)>;
  using TProgressEvent = std::function<void(TPixelGraphic* Sender, int Step, bool& Abort, int Max)>;

  TPixelGraphic();
  ~TPixelGraphic();
  TPixelGraphic(const TPixelGraphic&) = delete;
  TPixelGraphic& operator=(const TPixelGraphic&) = delete;

  // ---- size and storage ----
  void SetSize(int W, int H, int Code);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetWidth(int W) { SetSize(W, FHeight, FBitCountNum); }
  void SetHeight(int H) { SetSize(FWidth, H, FBitCountNum); }
  bool Empty() const { return FBits == nullptr; }
  int BitCountNum() const { return FBitCountNum; }
  void SetBitCountNum(int Code);
  int BitCount() const { return kBitCounts[FBitCountNum]; }
  int ColorCount() const { return kColorCounts[FBitCountNum]; }
  int64_t RowBytes() const { return FRowBytes; }
  int64_t ImageSize() const { return FRowBytes * FHeight; }
  static int64_t RowBytesFor(int W, int BitCount) {
    return ((int64_t(BitCount) * W + 31) / 32) * 4;
  }
  // Start of picture row Y (0 = top); nullptr when empty or Y is outside.
  uint8_t* ScanLine(int Y);
  const uint8_t* ScanLine(int Y) const;
  uint8_t* Bits() { return FBits; }
  const uint8_t* Bits() const { return FBits; }
  // The 40-byte info header plus ColorCount() colour-table slots kept beside the buffer.
  const std::vector<uint8_t>& InfoHeader() const { return FHeader; }

  // ---- pixels ----
  uint32_t GetPixelValue(int X, int Y) const;
  void SetPixelValue(int X, int Y, uint32_t V);
  TRGB GetPixelColor(int X, int Y) const;
  void SetPixelColor(int X, int Y, TRGB C);
  void Clear();

  // ---- palette ----
  int PaletteCount() const { return static_cast<int>(FPalette.size()); }
  void SetPaletteCount(int N);
  TRGB GetPaletteEntry(int I) const;
  void SetPaletteEntry(int I, TRGB C);
  const std::vector<TRGB>& Palette() const { return FPalette; }
  void AssignPalette(const TPixelGraphic& Source);
  TPaletteIdent PaletteKind() const { return FPaletteKind; }
  void SetPaletteKind(TPaletteIdent K);
  void RecognisePaletteKind();
  bool IsGrayPalette() const { return FIsGrayPalette; }
  int GetNearestPaletteIndex(TRGB C);
  int GetNearestPaletteIndex(unsigned R, unsigned G, unsigned B) {
    return GetNearestPaletteIndex(RGBOf(R, G, B));
  }
  // Colour resolution 0..7 of the picture as it is (see the registry).
  int ColorResolution() const;

  // ---- error diffusion ----
  // Started at the beginning and ended at the end of an operation that writes a palette
  // destination while Dither is on. TDitherScope ends it on every exit path.
  void StartDither();
  void EndDither();
  bool Dithering() const { return FDither != nullptr; }
  // Call before writing the pixels of row Y (rows top to bottom).
  void DitherNextRow(int Y);
  void SetPixelDithered(int X, int Y, unsigned R, unsigned G, unsigned B);
  // Writes a colour as an operation does: directly (24 bits), dithered when the writer runs,
  // else by nearest colour.
  void WriteColor(int X, int Y, TRGB C);

  // ---- copies ----
  void Assign(const TPixelGraphic* Source);
  void StretchRect(int DX, int DY, int DW, int DH, const TPixelGraphic& S, int SX, int SY, int SW,
                   int SH);
  void StretchFrom(const TPixelGraphic& S);
  void CopyRect(int DX, int DY, const TPixelGraphic& S, int SX, int SY, int W, int H);
  // Turns the picture upside down (row y exchanged with row Height - 1 - y).
  void FlipRows();

  // ---- loading and saving ----
  // Each call reads and writes with its own options (the defaults when none are given).
  void LoadFromFile(const std::string& FileName, const TReadOptions& Options = {}) {
    LoadFromFileIndex(FileName, 0, Options);
  }
  void LoadFromFileIndex(const std::string& FileName, int Index, const TReadOptions& Options = {});
  void LoadFromStream(TPGStream& Stream, const TReadOptions& Options = {}) {
    LoadFromStreamExt(Stream, "", 0, Options);
  }
  void LoadFromStreamExt(TPGStream& Stream, const std::string& Ext, int Index,
                         const TReadOptions& Options = {});
  void SaveToFile(const std::string& FileName, const TWriteOptions& Options = {});
  void SaveToStreamExt(TPGStream& Stream, const std::string& Ext,
                       const TWriteOptions& Options = {});
  void SaveToStream(TPGStream& Stream); // always a BMP file

  // ---- streaming, packed bitmaps, gradient border ----
  // A 32-bit length, then the picture as a BMP file.
  void WriteData(TPGStream& Stream);
  void ReadData(TPGStream& Stream);
  // Packed bitmap: 40-byte info header, PaletteCount() entries, pixels as stored.
  void WritePackedDIB(TPGStream& Stream);
  std::vector<uint8_t> SaveToPackedDIB();
  void LoadFromPackedDIB(const uint8_t* Data, size_t Size);
  void GradientBorder(bool Oval, int BorderWidth, const TPixelGraphic& Source, TRGB C);

  // ---- update counter and events ----
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  void Changed();
  int UpdateCount() const { return FUpdateCount; }
  void DoProgressStart();
  // Raises OnProgress; returns true when the handler asked to abort.
  bool DoProgress(int Step, int Max);
  void DoProgressEnd();

  TNotifyEvent OnChange;
  TNotifyEvent OnProgressStart;
  TProgressEvent OnProgress;
  TNotifyEvent OnProgressEnd;

  // ---- settings (copied by Assign, except FastJPEGDecode) ----
  uint32_t BackGroundColor() const { return FBackGroundColor; }
  void SetBackGroundColor(TRGB C);
  bool Dither = true;
  uint8_t DitherErrorLimit = 32;
  bool DitherErrorLimitAuto = true;
  bool DitherErrorLimitSoft = true;
  bool ColorCache() const { return FColorCache; }
  void SetColorCache(bool V);
  bool RGBWeighting() const { return FRGBWeighting; }
  void SetRGBWeighting(bool V);
  bool Smooth = true;
  TStretchMode StretchMode = smPrecise;
  bool Transparent = false;
  TRGB TransparentColor = 0;
  TPGWarningAction ReadWarningAction = pgwaOKCancelBox;
  TPGWarningAction SaveColorResWarningAction = pgwaOKCancelBox;
  bool RangeCheck = false;
  long double FileGamma;
  bool FastJPEGDecode = false;
  // Above 0, readers may decode a reduced picture for thumbnails and previews, where their
  // library does it cheaply (JPEG DCT scaling, WebP scaled decoding, an embedded preview image, a
  // TIFF reduced subfile, ...): both sides then at least the stored sides times
  // ReducedSize / max(stored width, stored height), and never more than the stored sides; 0
  // (the default) always decodes the full picture. Not copied by Assign.
  int ReducedSize = 0;
  // The stored picture's size as the last load found it, before any reduction and before any
  // turn by camera orientation (equal to Width and Height when nothing was reduced).
  int FullWidth = 0, FullHeight = 0;
  bool ReservedPaletteEntries = false;
  bool PaletteRealized = false;
  // Camera orientation of the stored pixels (1..8, see engine/orientation.h): set by readers
  // that find the EXIF tag, after they size the picture; SetSize makes it 1 (new pixels), Assign
  // copies it, and turning the picture upright makes it 1 again.
  int ExifOrientation = 1;
  // Blocks that writers able to store them write into the file (EXIF, ICC profile, XMP). Readers
  // leave it empty and Assign does not copy it: a tool saving an edited or converted picture sets
  // it from the source file (ReadImageMetadata); empty means the file is written as before.
  TImageMetadata Metadata;

private:
  static constexpr int kBitCounts[4] = {1, 4, 8, 24};
  static constexpr int kColorCounts[4] = {2, 16, 256, 0};
  struct DitherState;
  struct ColorCacheData;

  void FreeBuffer();
  void InvalidatePalette();
  void WriteHeaderSlot(int I);
  int ExhaustiveSearch(TRGB C) const;
  int CacheLookup(TRGB C);
  int Luminance(unsigned R, unsigned G, unsigned B) const;
  void ApplyGamma(const TReadOptions& Options);

  // During a load the read's own MaxPixelCount, the largest Width x Height SetSize allocates;
  // 0 outside loads (PixelAllocationLimit holds then).
  int64_t FPixelLimit = 0;
  int FWidth = 0, FHeight = 0, FBitCountNum = 3;
  int64_t FRowBytes = 0;
  uint8_t* FBits = nullptr; // calloc'd, so fresh buffers come from zeroed pages
  std::vector<uint8_t> FHeader;
  std::vector<TRGB> FPalette;
  TPaletteIdent FPaletteKind = pTrueColor;
  bool FIsGrayPalette = false;
  uint32_t FBackGroundColor = 0;
  bool FColorCache = true;
  bool FRGBWeighting = true;
  int FUpdateCount = 0;
  // One-entry matching memo.
  bool FMemoValid = false;
  TRGB FMemoColor = 0;
  int FMemoIndex = 0;
  std::unique_ptr<ColorCacheData> FCache;
  std::unique_ptr<DitherState> FDither;
};

// Ends the error-diffusion writer on every exit path.
class TDitherScope {
public:
  explicit TDitherScope(TPixelGraphic& D, bool Start) : G(Start ? &D : nullptr) {
    if (G) G->StartDither();
  }
  ~TDitherScope() {
    if (G) G->EndDither();
  }
  TDitherScope(const TDitherScope&) = delete;
  TDitherScope& operator=(const TDitherScope&) = delete;

private:
  TPixelGraphic* G;
};

// Raises OnProgressStart now and OnProgressEnd when the operation finishes normally or by abort
// (not after an exception, as the engine's protocol says).
class TProgressScope {
public:
  explicit TProgressScope(TPixelGraphic& G) : FG(G), FExceptions(std::uncaught_exceptions()) {
    FG.DoProgressStart();
  }
  ~TProgressScope() {
    if (std::uncaught_exceptions() == FExceptions) FG.DoProgressEnd();
  }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

private:
  TPixelGraphic& FG;
  int FExceptions;
};

// Raises OnProgressStart now and OnProgressEnd on every exit path, errors included: the
// readers' protocol.
class TProgressBracket {
public:
  explicit TProgressBracket(TPixelGraphic& G) : FG(G) { FG.DoProgressStart(); }
  ~TProgressBracket() { FG.DoProgressEnd(); }
  TProgressBracket(const TProgressBracket&) = delete;
  TProgressBracket& operator=(const TProgressBracket&) = delete;

private:
  TPixelGraphic& FG;
};

// Runs Body inside a progress bracket.
template <class F> void WithProgress(TPixelGraphic& Image, F&& Body) {
  TProgressBracket Bracket(Image);
  Body();
}

// BeginUpdate now, EndUpdate on every exit path.
class TUpdateScope {
public:
  explicit TUpdateScope(TPixelGraphic& G) : FG(G) { FG.BeginUpdate(); }
  ~TUpdateScope() { FG.EndUpdate(); }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

private:
  TPixelGraphic& FG;
};

} // namespace orbisk
