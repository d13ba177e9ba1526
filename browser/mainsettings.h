// The values the main window and its preferences keep in the settings store, with their
// defaults and text forms.
#pragma once

#include "view/typemask.h"

#include <QColor>
#include <QString>

#include <array>

namespace orbisk {

class TSettingsStore;

// What the main window reads at start-up and writes at close.
struct TMainWindowSettings {
  int Left = 0, Top = 0, Width = 620, Height = 460;
  int LeftWidth = 180, LeftHeight = 120;
  QString Seconds = QStringLiteral("4");
  // "Deletions": true = delete permanently, false = move to the trash.
  bool DeletePermanently = false;
  bool ConfirmDeletions = true;
  // "BG Color": -1 keeps the built-in colour; otherwise red in bits 0-7, green 8-15, blue 16-23.
  int BGColor = -1;
};

// The folder shown on a first run: the home folder.
QString DefaultDirectory();

TMainWindowSettings ReadMainWindowSettings(const TSettingsStore& S);
// Writes geometry, pane sizes and seconds; "BG Color" only when WriteColor is set.
void WriteMainWindowSettings(TSettingsStore& S, const TMainWindowSettings& V, bool WriteColor);

QString ReadDirectory(const TSettingsStore& S);
void WriteDirectory(TSettingsStore& S, const QString& Folder);

QString ReadFileTypes(const TSettingsStore& S);
// The setting name of a type's external editor ("JPG Editor").
QString EditorValueName(int TypeIndex);

// "1" means yes; any other text no.
bool ReadConfirmDeletions(const TSettingsStore& S);
// "1" means permanently; any other number the trash.
bool ReadDeletePermanently(const TSettingsStore& S);

// "CentrePictures": "0" places pictures smaller than the picture area at its top-left corner,
// anything else (or no value) centres them.
bool ReadCentrePictures(const TSettingsStore& S);
void WriteCentrePictures(TSettingsStore& S, bool On);
// The choice at start-up. Settings of earlier runs that never made it (a window place stored,
// no choice) keep the top-left placement they had; new settings centre. The choice is stored, so
// that it holds from then on.
bool SettleCentrePictures(TSettingsStore& S);
// "ColourProfiles": "0" shows pixels as stored, anything else (or no value) applies the files'
// colour profiles.
bool ReadColourProfiles(const TSettingsStore& S);
void WriteColourProfiles(TSettingsStore& S, bool On);

// The stored colour value as a colour, and back.
QColor ColorFromValue(int Value);
int ValueFromColor(const QColor& C);

} // namespace orbisk
