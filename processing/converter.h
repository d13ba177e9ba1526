// The picture converter's rules, shared by the converter window and `orbisk-cli convert --to`:
// the target types, the destination name next to the source, the overwrite question with its
// "!" prefix, and the conversion itself (original or displayed size, auto sharpen, GIF through
// the optimized 252-colour palette). Paths are the file system's bytes.
#pragma once

#include "engine/pixelgraphic.h"

#include <functional>
#include <string>

namespace orbisk {

// The later formats follow the classic six: WebP at the JPEG quality, lossless WebP, AVIF.
enum TConvertTarget : int {
  ctBMP = 0,
  ctJPG,
  ctTIF,
  ctPNG,
  ctTGA,
  ctGIF,
  ctWEBP,
  ctWEBPLossless,
  ctAVIF,
  ctCount
};

// The target list's text ("BMP - bitmap", ...), in list order.
const char* ConvertTargetText(TConvertTarget T);
// The lower case of the text up to its first space ("bmp", "jpg", ..., "webp").
std::string ConvertTargetExtension(TConvertTarget T);
// Whether the JPEG quality setting applies to the target (JPEG, lossy WebP, AVIF).
bool ConvertTargetUsesQuality(TConvertTarget T);
// The target of an extension ("jpg", "JPG"), the first in the list for "webp"; false for one the
// converter does not write.
bool ConvertTargetFromExtension(const std::string& Ext, TConvertTarget& T);

// Destination for converting Source: its folder, its file name up to and including the first
// "." and the extension (a.b.jpg to "png" gives a.png). A name without a dot gets one; the dots
// that start a hidden name are not the first dot (.x.jpg gives .x.png).
std::string ConvertDestination(const std::string& Source, const std::string& Ext);
// Path with "!" in front of its file name.
std::string PrefixFileName(const std::string& Path);
// True when both paths name the same existing file (also through links or another spelling).
bool SameExistingFile(const std::string& A, const std::string& B);

// Whether a file of this name is taken as a source: its extension (any letter case) is one the
// engine reads (bmp, jpg, jpeg, jif, pbm, pgm, ppm, tif, tiff, webp, ...) or another common
// spelling of one (jpe, jfif).
bool ConvertibleSourceName(const std::string& Name);

// Asked for an existing destination; true keeps it (it will be replaced), false takes the
// "!" name.
using TOverwriteQuestion = std::function<bool(const std::string& Destination)>;

// The destination name after the overwrite questions: while the name exists, Ask decides;
// No prefixes the name with "!" and asks again only if that name exists too. The source itself
// is never offered for replacing: its name takes the "!" prefix without a question.
std::string ChooseConvertDestination(const std::string& Source, TConvertTarget Target,
                                     const TOverwriteQuestion& Ask);

struct TConvertSettings {
  TConvertTarget Target = ctBMP;
  // Off: the result has the displayed size below.
  bool MaintainOriginalSize = true;
  bool AutoSharpen = true;
  int DisplayWidth = 0, DisplayHeight = 0;
  int JPEGQuality = 100; // 10..100, also for lossy WebP and AVIF
  bool Interlaced = false;
  bool Transparent = false;
};

// Chooses the transparent colour of a GIF picture about to be written; false cancels the
// conversion (nothing is written).
using TTransparencyPicker = std::function<bool(TPixelGraphic& Picture, TRGB& Color)>;

// The picture that is written for Settings (a copy; the source is not changed). For GIF the
// 8-bit picture with the optimized palette.
std::unique_ptr<TPixelGraphic> ConvertedPicture(const TPixelGraphic& Source,
                                                const TConvertSettings& Settings);

// The metadata of the file at SourcePath fitted to a picture of Width x Height converted from
// Source (loaded from that file): the orientation becomes 1 when Source was turned upright.
TImageMetadata ConvertedMetadata(const TPixelGraphic& Source, const std::string& SourcePath,
                                 int Width, int Height);

// Converts Source and writes it to Destination through a temporary file renamed over the
// target only when complete, so a failure leaves an existing file as it was. Returns false when
// the transparency picker cancelled. Raises EPixelGraphic (or std::runtime_error for the GIF
// writer's failures) with the reason; refuses a read-only existing target and SourcePath
// itself. The file is written with Options, the settings' JPEG quality (for the targets that
// use it) and lossless WebP for that target in place of theirs. The source file's EXIF data,
// colour profile and XMP go into the written file where its format holds them
// (ConvertedMetadata).
bool ConvertPictureFile(const TPixelGraphic& Source, const std::string& SourcePath,
                        const std::string& Destination, const TConvertSettings& Settings,
                        const TTransparencyPicker& PickTransparent = nullptr,
                        const TWriteOptions& Options = {});

} // namespace orbisk
