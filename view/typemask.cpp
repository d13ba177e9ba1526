#include "view/typemask.h"

namespace orbisk {

const std::array<const char*, FileTypeCount>& FileTypeNames() {
  static const std::array<const char*, FileTypeCount> Names = {"JPG", "GIF", "BMP", "ICO", "WMF",
                                                               "AVI", "PCX", "PNG", "TGA", "TIF"};
  return Names;
}

TFileTypeFlags ParseFileTypes(const QString& Flags) {
  TFileTypeFlags F{};
  for (int I = 0; I < FileTypeCount; ++I)
    F[I] = I < Flags.size() && Flags[I] == QLatin1Char('1');
  return F;
}

QString FileTypesText(const TFileTypeFlags& Flags) {
  QString S;
  for (bool On : Flags)
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

QString LaterTypeMask() {
  return QStringLiteral("*.webp;*.avif;*.heic;*.heif;*.jxl;");
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

} // namespace orbisk
