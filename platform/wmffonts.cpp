#include "platform/wmffonts.h"

#include <fontconfig/fontconfig.h>

#include <sys/stat.h>

#include <mutex>

namespace orbisk {

namespace {

struct TPsFont {
  const char* PsName;
  const char* Family;  // the family fontconfig knows the PostScript font by (aliases included)
  const char* Generic; // what stands in when that family is missing
  int Weight;
  int Slant;
};

constexpr int R = FC_WEIGHT_REGULAR, B = FC_WEIGHT_BOLD, L = FC_WEIGHT_LIGHT;
constexpr int U = FC_SLANT_ROMAN, I = FC_SLANT_ITALIC, O = FC_SLANT_OBLIQUE;

constexpr TPsFont kPsFonts[] = {
    {"Times-Roman", "Times", "serif", R, U},
    {"Times-Italic", "Times", "serif", R, I},
    {"Times-Bold", "Times", "serif", B, U},
    {"Times-BoldItalic", "Times", "serif", B, I},
    {"Helvetica", "Helvetica", "sans-serif", R, U},
    {"Helvetica-Oblique", "Helvetica", "sans-serif", R, O},
    {"Helvetica-Bold", "Helvetica", "sans-serif", B, U},
    {"Helvetica-BoldOblique", "Helvetica", "sans-serif", B, O},
    {"Helvetica-Narrow", "Helvetica Narrow", "sans-serif", R, U},
    {"Helvetica-Narrow-Oblique", "Helvetica Narrow", "sans-serif", R, O},
    {"Helvetica-Narrow-Bold", "Helvetica Narrow", "sans-serif", B, U},
    {"Helvetica-Narrow-BoldOblique", "Helvetica Narrow", "sans-serif", B, O},
    {"Courier", "Courier", "monospace", R, U},
    {"Courier-Oblique", "Courier", "monospace", R, O},
    {"Courier-Bold", "Courier", "monospace", B, U},
    {"Courier-BoldOblique", "Courier", "monospace", B, O},
    {"AvantGarde-Book", "URW Gothic", "sans-serif", R, U},
    {"AvantGarde-BookOblique", "URW Gothic", "sans-serif", R, O},
    {"AvantGarde-Demi", "URW Gothic", "sans-serif", B, U},
    {"AvantGarde-DemiOblique", "URW Gothic", "sans-serif", B, O},
    {"Bookman-Light", "URW Bookman", "serif", L, U},
    {"Bookman-LightItalic", "URW Bookman", "serif", L, I},
    {"Bookman-Demi", "URW Bookman", "serif", B, U},
    {"Bookman-DemiItalic", "URW Bookman", "serif", B, I},
    {"NewCenturySchlbk-Roman", "C059", "serif", R, U},
    {"NewCenturySchlbk-Italic", "C059", "serif", R, I},
    {"NewCenturySchlbk-Bold", "C059", "serif", B, U},
    {"NewCenturySchlbk-BoldItalic", "C059", "serif", B, I},
    {"Palatino-Roman", "P052", "serif", R, U},
    {"Palatino-Italic", "P052", "serif", R, I},
    {"Palatino-Bold", "P052", "serif", B, U},
    {"Palatino-BoldItalic", "P052", "serif", B, I},
    {"Symbol", "Standard Symbols PS", "serif", R, U},
    {"ZapfChancery-MediumItalic", "Z003", "serif", R, I},
    {"ZapfDingbats", "D050000L", "serif", R, U},
};

bool IsFontFile(const std::string& Path) {
  struct stat St {};
  return !Path.empty() && Path[0] == '/' && stat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

std::string MatchFile(FcConfig* Config, const TPsFont& F) {
  FcPattern* P = FcPatternCreate();
  FcPatternAddString(P, FC_FAMILY, reinterpret_cast<const FcChar8*>(F.Family));
  FcPatternAddString(P, FC_FAMILY, reinterpret_cast<const FcChar8*>(F.Generic));
  FcPatternAddInteger(P, FC_WEIGHT, F.Weight);
  FcPatternAddInteger(P, FC_SLANT, F.Slant);
  FcPatternAddBool(P, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(Config, P, FcMatchPattern);
  FcDefaultSubstitute(P);
  FcResult Result = FcResultNoMatch;
  FcPattern* Match = FcFontMatch(Config, P, &Result);
  std::string File;
  FcChar8* Name = nullptr;
  if (Match && FcPatternGetString(Match, FC_FILE, 0, &Name) == FcResultMatch && Name)
    File = reinterpret_cast<const char*>(Name);
  if (Match) FcPatternDestroy(Match);
  FcPatternDestroy(P);
  return IsFontFile(File) ? File : std::string();
}

} // namespace

const std::vector<TWmfFontFile>& WmfFontFiles() {
  static std::vector<TWmfFontFile> Files;
  static std::once_flag Once;
  std::call_once(Once, [] {
    if (!FcInit()) return;
    FcConfig* Config = FcConfigGetCurrent();
    for (const TPsFont& F : kPsFonts) {
      std::string File = MatchFile(Config, F);
      if (!File.empty()) Files.push_back({F.PsName, File});
    }
  });
  return Files;
}

} // namespace orbisk
