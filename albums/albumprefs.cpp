#include "albums/albumprefs.h"

#include "platform/settingsstore.h"

#include <algorithm>
#include <optional>

namespace orbisk {

namespace {

std::optional<int> StoredNumber(const TSettingsStore& Store, const char* Name,
                                const char* Default) {
  bool Ok = false;
  int V = Store.ReadString(Name, Default).trimmed().toInt(&Ok);
  if (!Ok) return std::nullopt;
  return V;
}

} // namespace

void TAlbumPrefs::Changed() {
  emit OnChange();
}

void TAlbumPrefs::SetCols(int V) {
  FCols = std::clamp(V, kMinRowsCols, kMaxRowsCols);
  Changed();
}
void TAlbumPrefs::SetRows(int V) {
  FRows = std::clamp(V, kMinRowsCols, kMaxRowsCols);
  Changed();
}
void TAlbumPrefs::SetBorder(int V) {
  FBorder = std::clamp(V, kMinBorder, kMaxBorder);
  Changed();
}
void TAlbumPrefs::SetCaptionOption(int V) {
  TCaptionOption Old = FCaptionOption;
  FCaptionOption = TCaptionOption(std::clamp(V, int(coNone), int(coCustom)));
  if (Old != FCaptionOption) emit OnCaptionOptionChanged(FCaptionOption);
  Changed();
}
void TAlbumPrefs::SetBorderEffect(int V) {
  FBorderEffect = TBorderEffect(std::clamp(V, int(beNone), int(beBevel)));
  Changed();
}
void TAlbumPrefs::SetQuality(int V) {
  FQuality = TResizingQuality(std::clamp(V, int(rqGood), int(rqBest)));
  Changed();
}
void TAlbumPrefs::SetCaptionPlacement(int V) {
  FPlacement = TCaptionPlacement(std::clamp(V, int(cpUnderImage), int(cpEmbedded)));
  Changed();
}
void TAlbumPrefs::SetPrintFrames(bool V) {
  FPrintFrames = V;
  Changed();
}
void TAlbumPrefs::SetEmbeddedPosition(int V) {
  FEmbeddedPosition = TEmbeddedPosition(std::clamp(V, int(epTopLeft), int(epBottomRight)));
  Changed();
}
void TAlbumPrefs::SetTransparentBackground(bool V) {
  FTransparent = V;
  Changed();
}
void TAlbumPrefs::SetCaptionColor(int V) {
  FCaptionColor = V;
  Changed();
}

void TAlbumPrefs::ChangeCaptionOption(int V) {
  SetCaptionOption(V);
  if (FCaptionOption != coNone && FBorder < 100 && FPlacement == cpUnderImage) SetBorder(100);
  if (FCaptionOption == coNone && FBorder > 20) SetBorder(20);
}

void TAlbumPrefs::ChangeCaptionPlacement(int V) {
  SetCaptionPlacement(V);
  if (FCaptionOption != coNone && FBorder < 100 && FPlacement == cpUnderImage) SetBorder(100);
  if (FPlacement == cpEmbedded && FBorder > 10) SetBorder(10);
}

bool TAlbumPrefs::Load(const TSettingsStore& Store) {
  struct Item {
    const char* Name;
    const char* Default;
    void (TAlbumPrefs::*Set)(int);
  };
  // Flags go through small adapters so that one table drives the reading.
  static const Item Items[] = {
      {"PACols", "2", &TAlbumPrefs::SetCols},
      {"PARows", "3", &TAlbumPrefs::SetRows},
      {"PABorder", "100", &TAlbumPrefs::SetBorder},
      {"PACaption", "0", &TAlbumPrefs::SetCaptionOption},
      {"PAQuality", "1", &TAlbumPrefs::SetQuality},
      {"BorderEffect", "0", &TAlbumPrefs::SetBorderEffect},
      {"PAFrames", "0", nullptr},
      {"CaptionPlacement", "0", &TAlbumPrefs::SetCaptionPlacement},
      {"TransparentBackground", "0", nullptr},
      {"CaptionColor", "0", &TAlbumPrefs::SetCaptionColor},
      {"EmbeddedPosition", "3", &TAlbumPrefs::SetEmbeddedPosition},
  };
  for (const Item& I : Items) {
    std::optional<int> V = StoredNumber(Store, I.Name, I.Default);
    if (!V) return false;
    if (I.Set)
      (this->*I.Set)(*V);
    else if (QString(I.Name) == "PAFrames")
      SetPrintFrames(*V == 1);
    else
      SetTransparentBackground(*V == 1);
  }
  return true;
}

void TAlbumPrefs::Save(TSettingsStore& Store) const {
  Store.WriteInteger("PACols", FCols);
  Store.WriteInteger("PARows", FRows);
  Store.WriteInteger("PABorder", FBorder);
  Store.WriteInteger("PACaption", FCaptionOption);
  Store.WriteInteger("PAQuality", FQuality);
  Store.WriteInteger("BorderEffect", FBorderEffect);
  Store.WriteString("PAFrames", FPrintFrames ? "1" : "0");
  Store.WriteInteger("CaptionPlacement", FPlacement);
  Store.WriteString("TransparentBackground", FTransparent ? "1" : "0");
  Store.WriteInteger("CaptionColor", FCaptionColor);
  Store.WriteInteger("EmbeddedPosition", FEmbeddedPosition);
  Store.Flush();
}

} // namespace orbisk
