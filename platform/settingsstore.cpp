#include "platform/settingsstore.h"

#include <QSettings>

namespace orbisk {

TSettingsStore::TSettingsStore()
    : FSettings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            "Brenmoor", "Orbiskel")) {}

TSettingsStore::TSettingsStore(const QString& FilePath)
    : FSettings(std::make_unique<QSettings>(FilePath, QSettings::IniFormat)) {}

TSettingsStore::~TSettingsStore() {
  FSettings->sync();
}

QString TSettingsStore::ReadString(const QString& Name, const QString& Default) const {
  QVariant V = FSettings->value(Name);
  return V.isValid() ? V.toString() : Default;
}

int TSettingsStore::ReadInteger(const QString& Name, int Default) const {
  bool Ok = false;
  int N = ReadString(Name, QString()).trimmed().toInt(&Ok);
  return Ok ? N : Default;
}

bool TSettingsStore::Contains(const QString& Name) const {
  return FSettings->contains(Name);
}

void TSettingsStore::WriteString(const QString& Name, const QString& Value) {
  FSettings->setValue(Name, Value);
}

void TSettingsStore::WriteInteger(const QString& Name, int Value) {
  WriteString(Name, QString::number(Value));
}

void TSettingsStore::Remove(const QString& Name) {
  FSettings->remove(Name);
}

void TSettingsStore::Flush() {
  FSettings->sync();
}

QString TSettingsStore::FileName() const {
  return FSettings->fileName();
}

} // namespace orbisk
