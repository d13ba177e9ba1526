#include "view/typemask.h"

#include "engine/picturenames.h"

#include <QFile>

namespace orbisk {

namespace {

QStringList Split(const char* Endings) {
  return QString::fromLatin1(Endings).split(QLatin1Char(' '));
}

QString Pieces(const QStringList& Endings) {
  QString Mask;
  for (const QString& E : Endings)
    Mask += QStringLiteral("*.") + E + QLatin1Char(';');
  return Mask;
}

} // namespace

const std::array<const char*, FileTypeCount>& FileTypeNames() {
  static const std::array<const char*, FileTypeCount> Names = {"JPG", "GIF", "BMP", "ICO", "WMF",
                                                               "AVI", "PCX", "PNG", "TGA", "TIF"};
  return Names;
}

const std::array<const char*, LaterTypeCount>& LaterTypeNames() {
  static const std::array<const char*, LaterTypeCount> Names = {"WebP", "AVIF", "HEIF", "JXL",
                                                                "PxM"};
  return Names;
}

QStringList TypeExtensions(int FileType) {
  // The endings each reader is known by; the first is the type's own piece.
  static const std::array<const char*, FileTypeCount> Endings = {"jpg jpeg jpe jif jfif",
                                                                 "gif",
                                                                 "bmp dib rle",
                                                                 "ico",
                                                                 "wmf emf",
                                                                 "avi",
                                                                 "pcx",
                                                                 "png",
                                                                 "tga",
                                                                 "tif tiff"};
  if (FileType < 0 || FileType >= FileTypeCount) return {};
  return Split(Endings[size_t(FileType)]);
}

QStringList LaterTypeExtensions(int LaterType) {
  static const std::array<const char*, LaterTypeCount> Endings = {"webp", "avif", "heic heif",
                                                                  "jxl", "pbm pgm ppm pnm"};
  if (LaterType < 0 || LaterType >= LaterTypeCount) return {};
  return Split(Endings[size_t(LaterType)]);
}

TFileTypeFlags ParseFileTypes(const QString& Flags) {
  TFileTypeFlags F{};
  for (int I = 0; I < FileTypeCount; ++I)
    F[I] = I < Flags.size() && Flags[I] == QLatin1Char('1');
  return F;
}

TLaterTypeFlags ParseLaterFileTypes(const QString& Flags) {
  TLaterTypeFlags F{};
  for (int I = 0; I < LaterTypeCount; ++I) {
    const int P = FileTypeCount + I;
    F[I] = P >= Flags.size() || Flags[P] != QLatin1Char('0');
  }
  return F;
}

QString FileTypesText(const TFileTypeFlags& Flags) {
  QString S;
  for (bool On : Flags)
    S += On ? QLatin1Char('1') : QLatin1Char('0');
  return S;
}

QString FileTypesText(const TFileTypeFlags& Flags, const TLaterTypeFlags& Later) {
  QString S = FileTypesText(Flags);
  for (bool On : Later)
    S += On ? QLatin1Char('1') : QLatin1Char('0');
  return S;
}

QString BuildTypeMask(const TFileTypeFlags& Flags) {
  QString Mask;
  for (int I = 0; I < FileTypeCount; ++I)
    if (Flags[I])
      Mask += QStringLiteral("*.") + QString::fromLatin1(FileTypeNames()[I]).toLower() +
              QLatin1Char(';');
  return Mask;
}

QString ListingTypeMask(const QString& Flags) {
  const TFileTypeFlags Ten = ParseFileTypes(Flags);
  const TLaterTypeFlags Later = ParseLaterFileTypes(Flags);
  QString Mask;
  for (int I = 0; I < FileTypeCount; ++I)
    if (Ten[I]) Mask += Pieces(TypeExtensions(I));
  for (int I = 0; I < LaterTypeCount; ++I)
    if (Later[I]) Mask += Pieces(LaterTypeExtensions(I));
  return Mask;
}

QString LaterTypeMask() {
  QString Mask;
  for (int I = 0; I < LaterTypeCount; ++I)
    Mask += Pieces(LaterTypeExtensions(I));
  return Mask;
}

QStringList MaskPatterns(const QString& Mask) {
  QStringList Patterns;
  QString Rest = Mask;
  for (qsizetype P = Rest.indexOf(';'); P >= 0; P = Rest.indexOf(';')) {
    if (P > 0) Patterns << Rest.left(P);
    Rest = Rest.mid(P + 1);
  }
  return Patterns;
}

QString FileTypeOf(const QString& Name) {
  qsizetype Dot = Name.lastIndexOf('.');
  if (Dot < 0) return QString();
  const QString Whole = Name.mid(Dot + 1).toUpper();
  for (const char* Later : {"WEBP", "AVIF", "HEIC", "HEIF"})
    if (Whole == QLatin1String(Later)) return Whole;
  return Whole.left(3);
}

bool IsPictureType(const QString& Type) {
  static const QString Known = QStringLiteral(".JPG.GIF.BMP.ICO.TIF.PNG.PCX.TGA.WMF");
  static const QString Later = QStringLiteral(".WEBP.AVIF.HEIC.HEIF.JXL.");
  if (Type.size() == 3 && Known.contains(QLatin1Char('.') + Type.toUpper())) return true;
  return !Type.isEmpty() && !Type.contains('.') &&
         Later.contains(QLatin1Char('.') + Type.toUpper() + QLatin1Char('.'));
}

bool IsPictureFile(const QString& Name) {
  return IsReadablePictureName(QFile::encodeName(Name).toStdString());
}

} // namespace orbisk
