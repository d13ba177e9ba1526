// The file types the main window lists: ten types in a fixed order, switched on and off by the
// flag characters of the "FileTypes" setting, joined into the ";"-separated type mask.
#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace orbisk {

constexpr int FileTypeCount = 10;

// "JPG", "GIF", "BMP", "ICO", "WMF", "AVI", "PCX", "PNG", "TGA", "TIF".
const std::array<const char*, FileTypeCount>& FileTypeNames();

using TFileTypeFlags = std::array<bool, FileTypeCount>;

// Position n is on when character n is "1"; missing positions are off.
TFileTypeFlags ParseFileTypes(const QString& Flags);
// Ten characters "1"/"0".
QString FileTypesText(const TFileTypeFlags& Flags);
// The mask pieces ("*.jpg;") of the types that are on, in type order.
QString BuildTypeMask(const TFileTypeFlags& Flags);
inline QString BuildTypeMask(const QString& Flags) {
  return BuildTypeMask(ParseFileTypes(Flags));
}
// The patterns of the formats beyond the ten types ("*.webp;*.avif;*.heic;*.heif;*.jxl;"): they
// have no flag of their own and are listed whenever a mask is built for a folder listing.
QString LaterTypeMask();

// The patterns of a mask: every piece that ends in ";" (text after the last ";" is ignored).
QStringList MaskPatterns(const QString& Mask);

// The three-letter type of a file name: the upper case of at most three characters after the
// last dot ("a.jpeg" gives "JPE"); empty without a dot. The four-letter extensions of the later
// formats stay whole ("a.avif" gives "AVIF", never the video type "AVI").
QString FileTypeOf(const QString& Name);
// Whether the tools take the type as a picture (".JPG.GIF.BMP.ICO.TIF.PNG.PCX.TGA.WMF", and the
// later formats ".WEBP.AVIF.HEIC.HEIF.JXL").
bool IsPictureType(const QString& Type);

} // namespace orbisk
