// The file types the main window lists: ten types in a fixed order, switched on and off by the
// flag characters of the "FileTypes" setting, joined into the ";"-separated type mask; and the
// later formats (WebP, AVIF, HEIF, JPEG XL, PxM), switched by the characters after the ten.
#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace orbisk {

constexpr int FileTypeCount = 10;
constexpr int LaterTypeCount = 5;

// "JPG", "GIF", "BMP", "ICO", "WMF", "AVI", "PCX", "PNG", "TGA", "TIF".
const std::array<const char*, FileTypeCount>& FileTypeNames();
// "WebP", "AVIF", "HEIF", "JXL", "PxM": stored at positions 11 to 15 of "FileTypes".
const std::array<const char*, LaterTypeCount>& LaterTypeNames();

// Every file name ending a type stands for, lower case: the ten types first, then the later ones
// ("jpg", "jpeg", "jpe", "jif", "jfif" for JPG; "tif", "tiff" for TIF; ...).
QStringList TypeExtensions(int FileType);
QStringList LaterTypeExtensions(int LaterType);

using TFileTypeFlags = std::array<bool, FileTypeCount>;
using TLaterTypeFlags = std::array<bool, LaterTypeCount>;

// Position n is on when character n is "1"; missing positions are off.
TFileTypeFlags ParseFileTypes(const QString& Flags);
// Positions 11 to 15: "0" switches a later format off; missing positions are on (a value
// written before they existed lists them, as it always did).
TLaterTypeFlags ParseLaterFileTypes(const QString& Flags);
// Ten characters "1"/"0".
QString FileTypesText(const TFileTypeFlags& Flags);
// The stored "FileTypes": the ten characters, then one per later format. A build that knows only
// the ten reads its part and ignores the rest.
QString FileTypesText(const TFileTypeFlags& Flags, const TLaterTypeFlags& Later);
// The mask pieces ("*.jpg;"), one per type that is on, in type order.
QString BuildTypeMask(const TFileTypeFlags& Flags);
inline QString BuildTypeMask(const QString& Flags) {
  return BuildTypeMask(ParseFileTypes(Flags));
}
// The mask the folder listings use: for every type that is on (the ten, then the later
// formats), a piece for each of its name endings ("*.jpg;*.jpeg;*.jpe;*.jif;*.jfif;"). The
// listing matches them ignoring letter case.
QString ListingTypeMask(const QString& Flags);
// The pieces of every later format ("*.webp;*.avif;*.heic;*.heif;*.jxl;*.pbm;...").
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
// Whether a file (path or name) is a picture the program reads, by its whole extension in any
// letter case: every name ending of the ten types but AVI, and of the later formats.
bool IsPictureFile(const QString& Name);

} // namespace orbisk
