#include "metadata/criteria.h"

#include "engine/registry.h"
#include "metadata/exif.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>

namespace orbisk {

namespace {

constexpr uint16_t TagMake = 271, TagModel = 272, TagDateTime = 306, TagDateTimeOriginal = 36867;

std::string Lower(std::string S) {
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return std::tolower(C); });
  return S;
}

std::string Trimmed(const std::string& S) {
  const auto B = S.find_first_not_of(" \t");
  if (B == std::string::npos) return "";
  return S.substr(B, S.find_last_not_of(" \t") - B + 1);
}

// "YYYY:MM:DD HH:MM:SS" as EXIF stores it, into "YYYY-MM-DD HH:MM:SS"; "" for anything else.
std::string ExifDate(const std::string& V) {
  if (V.size() < 19 || V[4] != ':' || V[7] != ':') return "";
  std::string D = V.substr(0, 19);
  D[4] = D[7] = '-';
  return ValidCriteriaDate(D.substr(0, 10)) ? D : "";
}

bool InDays(const std::string& Day, const std::string& From, const std::string& To) {
  return (From.empty() || Day >= From) && (To.empty() || Day <= To);
}

void Append(std::string& Value, const std::string& Part) {
  if (!Value.empty()) Value += ", ";
  Value += Part;
}

} // namespace

bool TSearchCriteria::Empty() const {
  return TakenFrom.empty() && TakenTo.empty() && Camera.empty() && !MinWidth && !MinHeight &&
         !MaxWidth && !MaxHeight && !MinBytes && !MaxBytes && ModifiedFrom.empty() &&
         ModifiedTo.empty();
}

bool ValidCriteriaDate(const std::string& Day) {
  int Y = 0, M = 0, D = 0;
  char Tail = 0;
  if (Day.size() != 10 || Day[4] != '-' || Day[7] != '-' ||
      std::sscanf(Day.c_str(), "%4d-%2d-%2d%c", &Y, &M, &D, &Tail) != 3)
    return false;
  if (Y < 1 || M < 1 || M > 12 || D < 1) return false;
  static const int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool Leap = (Y % 4 == 0 && Y % 100 != 0) || Y % 400 == 0;
  return D <= Days[M - 1] + (M == 2 && Leap ? 1 : 0);
}

bool CheckCriteria(const TSearchCriteria& C, std::string& Why) {
  auto Fail = [&](const std::string& Text) {
    Why = Text;
    return false;
  };
  for (const std::string* D : {&C.TakenFrom, &C.TakenTo, &C.ModifiedFrom, &C.ModifiedTo})
    if (!D->empty() && !ValidCriteriaDate(*D))
      return Fail("\"" + *D + "\" is not a date (YYYY-MM-DD)");
  if (!C.TakenFrom.empty() && !C.TakenTo.empty() && C.TakenFrom > C.TakenTo)
    return Fail("The first date taken is after the last");
  if (!C.ModifiedFrom.empty() && !C.ModifiedTo.empty() && C.ModifiedFrom > C.ModifiedTo)
    return Fail("The first date modified is after the last");
  if (C.MinWidth < 0 || C.MinHeight < 0 || C.MaxWidth < 0 || C.MaxHeight < 0 || C.MinBytes < 0 ||
      C.MaxBytes < 0)
    return Fail("Sizes cannot be negative");
  if ((C.MaxWidth && C.MinWidth > C.MaxWidth) || (C.MaxHeight && C.MinHeight > C.MaxHeight) ||
      (C.MaxBytes && C.MinBytes > C.MaxBytes))
    return Fail("A smallest size is above its largest");
  return true;
}

TCriteriaMatch MatchCriteria(const std::string& Path, const TSearchCriteria& C) {
  TCriteriaMatch R;
  try {
    struct stat St;
    if (::stat(Path.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return R;
    const bool WantTaken = !C.TakenFrom.empty() || !C.TakenTo.empty();
    if (WantTaken || !C.Camera.empty()) {
      std::string Taken, Stored, Make, Model;
      for (const TExifEntry& E : ReadExifEntries(Path)) {
        if (E.Tag == TagDateTimeOriginal && E.Chain == TExifChain::ecExif)
          Taken = ExifDate(E.Value);
        if (E.Chain != TExifChain::ecMain || E.Directory != 0) continue;
        if (E.Tag == TagDateTime) Stored = ExifDate(E.Value);
        if (E.Tag == TagMake) Make = Trimmed(E.Value);
        if (E.Tag == TagModel) Model = Trimmed(E.Value);
      }
      if (Taken.empty()) Taken = Stored; // cameras that write one date only
      if (WantTaken) {
        if (Taken.empty() || !InDays(Taken.substr(0, 10), C.TakenFrom, C.TakenTo)) return R;
        Append(R.Value, "taken " + Taken);
      }
      if (!C.Camera.empty()) {
        // Makers repeat their name in the model ("Canon" "Canon EOS 5D"): shown once.
        const std::string Camera =
            Lower(Model).rfind(Lower(Make), 0) == 0 ? Model : Trimmed(Make + " " + Model);
        if (Camera.empty() || Lower(Camera).find(Lower(Trimmed(C.Camera))) == std::string::npos)
          return R;
        Append(R.Value, Camera);
      }
    }
    if (C.MinWidth || C.MinHeight || C.MaxWidth || C.MaxHeight) {
      TGraphicFileInfo Info;
      if (!GetGraphicFileInfo(Path, 0, Info) || Info.Width <= 0 || Info.Height <= 0) return R;
      if (Info.Width < C.MinWidth || Info.Height < C.MinHeight ||
          (C.MaxWidth && Info.Width > C.MaxWidth) || (C.MaxHeight && Info.Height > C.MaxHeight))
        return R;
      Append(R.Value, std::to_string(Info.Width) + " x " + std::to_string(Info.Height));
    }
    if (C.MinBytes || C.MaxBytes) {
      if (St.st_size < C.MinBytes || (C.MaxBytes && St.st_size > C.MaxBytes)) return R;
      Append(R.Value, std::to_string(int64_t(St.st_size)) + " bytes");
    }
    if (!C.ModifiedFrom.empty() || !C.ModifiedTo.empty()) {
      std::tm Local{};
      char Day[16] = {};
      if (!localtime_r(&St.st_mtime, &Local) || !std::strftime(Day, sizeof Day, "%Y-%m-%d", &Local))
        return R;
      if (!InDays(Day, C.ModifiedFrom, C.ModifiedTo)) return R;
      Append(R.Value, std::string("modified ") + Day);
    }
    R.Matched = true;
    return R;
  } catch (const std::exception&) {
    return {}; // unreadable: no match
  }
}

} // namespace orbisk
