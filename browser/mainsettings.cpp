#include "browser/mainsettings.h"

#include "platform/settingsstore.h"

#include <QDir>

namespace orbisk {

QString DefaultDirectory() {
  return QDir::homePath();
}

TMainWindowSettings ReadMainWindowSettings(const TSettingsStore& S) {
  TMainWindowSettings V;
  V.Left = S.ReadInteger("Left", V.Left);
  V.Top = S.ReadInteger("Top", V.Top);
  V.Width = S.ReadInteger("Width", V.Width);
  V.Height = S.ReadInteger("Height", V.Height);
  V.LeftWidth = S.ReadInteger("LeftWidth", V.LeftWidth);
  V.LeftHeight = S.ReadInteger("LeftHeight", V.LeftHeight);
  V.Seconds = S.ReadString("Seconds", V.Seconds);
  V.DeletePermanently = ReadDeletePermanently(S);
  V.ConfirmDeletions = ReadConfirmDeletions(S);
  V.BGColor = S.ReadInteger("BG Color", V.BGColor);
  return V;
}

void WriteMainWindowSettings(TSettingsStore& S, const TMainWindowSettings& V, bool WriteColor) {
  S.WriteInteger("Left", V.Left);
  S.WriteInteger("Top", V.Top);
  S.WriteInteger("Width", V.Width);
  S.WriteInteger("Height", V.Height);
  S.WriteInteger("LeftWidth", V.LeftWidth);
  S.WriteInteger("LeftHeight", V.LeftHeight);
  S.WriteString("Seconds", V.Seconds);
  if (WriteColor) S.WriteInteger("BG Color", V.BGColor);
}

QString ReadDirectory(const TSettingsStore& S) {
  return S.ReadString("Directory", DefaultDirectory());
}

void WriteDirectory(TSettingsStore& S, const QString& Folder) {
  S.WriteString("Directory", Folder);
}

QString ReadFileTypes(const TSettingsStore& S) {
  return S.ReadString("FileTypes", QStringLiteral("1111111111"));
}

QString EditorValueName(int TypeIndex) {
  return QString::fromLatin1(FileTypeNames()[TypeIndex]) + QStringLiteral(" Editor");
}

bool ReadConfirmDeletions(const TSettingsStore& S) {
  return S.ReadString("Confirm Deletions", QStringLiteral("1")) == QLatin1String("1");
}

bool ReadDeletePermanently(const TSettingsStore& S) {
  return S.ReadInteger("Deletions", 0) == 1;
}

bool ReadCentrePictures(const TSettingsStore& S) {
  return S.ReadString("CentrePictures", QStringLiteral("1")) != QLatin1String("0");
}

bool SettleCentrePictures(TSettingsStore& S) {
  if (!S.Contains("CentrePictures")) WriteCentrePictures(S, !S.Contains("Left"));
  return ReadCentrePictures(S);
}

void WriteCentrePictures(TSettingsStore& S, bool On) {
  S.WriteString("CentrePictures", On ? "1" : "0");
}

bool ReadColourProfiles(const TSettingsStore& S) {
  return S.ReadString("ColourProfiles", QStringLiteral("1")) != QLatin1String("0");
}

void WriteColourProfiles(TSettingsStore& S, bool On) {
  S.WriteString("ColourProfiles", On ? "1" : "0");
}

QColor ColorFromValue(int Value) {
  return QColor(Value & 0xFF, (Value >> 8) & 0xFF, (Value >> 16) & 0xFF);
}

int ValueFromColor(const QColor& C) {
  return C.red() | (C.green() << 8) | (C.blue() << 16);
}

} // namespace orbisk
