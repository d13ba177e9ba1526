// The program's settings: named text values under one per-user key. On Linux an INI file,
// $XDG_CONFIG_HOME/Brenmoor/Orbiskel.conf. Absent values read as the caller's default;
// integers are stored as decimal text.
#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace orbisk {

class TSettingsStore {
public:
  TSettingsStore();                                 // the user's settings file
  explicit TSettingsStore(const QString& FilePath); // another file (tests, tools)
  ~TSettingsStore();
  TSettingsStore(const TSettingsStore&) = delete;
  TSettingsStore& operator=(const TSettingsStore&) = delete;

  QString ReadString(const QString& Name, const QString& Default) const;
  // A stored text that is not a whole number reads as Default.
  int ReadInteger(const QString& Name, int Default) const;
  bool Contains(const QString& Name) const;
  void WriteString(const QString& Name, const QString& Value);
  void WriteInteger(const QString& Name, int Value);
  void Remove(const QString& Name);
  // Writes pending values to the file.
  void Flush();
  QString FileName() const;

private:
  std::unique_ptr<QSettings> FSettings;
};

} // namespace orbisk
