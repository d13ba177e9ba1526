#include "metadata/exifvalues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <sstream>

namespace orbisk {

namespace {

struct TGPSName {
  uint16_t Tag;
  const char* Name;
};

// The GPS directory's tags, by tag number (0 .. 31).
constexpr TGPSName GPSNames[] = {
    {0, "GPS Version ID"},         {1, "GPS Latitude Ref"},
    {2, "GPS Latitude"},           {3, "GPS Longitude Ref"},
    {4, "GPS Longitude"},          {5, "GPS Altitude Ref"},
    {6, "GPS Altitude"},           {7, "GPS Time Stamp"},
    {8, "GPS Satellites"},         {9, "GPS Status"},
    {10, "GPS Measure Mode"},      {11, "GPS DOP"},
    {12, "GPS Speed Ref"},         {13, "GPS Speed"},
    {14, "GPS Track Ref"},         {15, "GPS Track"},
    {16, "GPS Img Direction Ref"}, {17, "GPS Img Direction"},
    {18, "GPS Map Datum"},         {19, "GPS Dest Latitude Ref"},
    {20, "GPS Dest Latitude"},     {21, "GPS Dest Longitude Ref"},
    {22, "GPS Dest Longitude"},    {23, "GPS Dest Bearing Ref"},
    {24, "GPS Dest Bearing"},      {25, "GPS Dest Distance Ref"},
    {26, "GPS Dest Distance"},     {27, "GPS Processing Method"},
    {28, "GPS Area Information"},  {29, "GPS Date Stamp"},
    {30, "GPS Differential"},      {31, "GPS H Positioning Error"},
};

// A number with at most Places decimals, trailing zeros dropped ("5.6", "50", "-0.33").
std::string Decimal(double V, int Places) {
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%.*f", Places, V);
  std::string S = Buf;
  if (S.find('.') != std::string::npos) {
    while (S.back() == '0')
      S.pop_back();
    if (S.back() == '.') S.pop_back();
  }
  if (S == "-0") S = "0";
  return S;
}

using TNames = std::map<int64_t, const char*>;

std::string Named(const TNames& Names, int64_t V) {
  auto It = Names.find(V);
  return It == Names.end() ? std::string() : It->second;
}

// Exposure times the way cameras show them: 1/65 s, 1/2 s, 30 s.
std::string ExposureTime(TExifNumber T) {
  if (T.Num <= 0 || T.Den <= 0) return {};
  if (T.Num > 1 && T.Den > 1 && T.Den >= T.Num) {
    T.Den = static_cast<int64_t>(double(T.Den) / double(T.Num) + 0.5);
    T.Num = 1;
  }
  if (T.Den > 1 && T.Den < T.Num) {
    T.Num = static_cast<int64_t>(double(T.Num) / double(T.Den) + 0.5);
    T.Den = 1;
  }
  return T.Den == 1 ? std::to_string(T.Num) + " s"
                    : std::to_string(T.Num) + "/" + std::to_string(T.Den) + " s";
}

std::string FNumber(double F) {
  return F > 0 ? "f/" + Decimal(F, 1) : std::string();
}

// A version stored as four digits: "0220" is 2.2, "0232" 2.32, "0100" 1.0.
std::string Version(const std::vector<TExifNumber>& N) {
  if (N.size() < 4) return {};
  for (size_t I = 0; I < 4; ++I)
    if (N[I].Num < '0' || N[I].Num > '9') return {};
  const int Major = int(N[0].Num - '0') * 10 + int(N[1].Num - '0');
  std::string Minor{char(N[2].Num), char(N[3].Num)};
  if (Minor.back() == '0') Minor.pop_back();
  return std::to_string(Major) + "." + Minor;
}

// The text of an Undefined value that starts with an 8-byte character code (user comments, GPS
// processing method): ASCII and undefined codes as text, Unicode as UCS-2 in the file's order.
std::string CodedText(const std::string& Raw, bool Motorola) {
  std::vector<uint8_t> B;
  std::istringstream In(Raw);
  for (std::string N; std::getline(In, N, ',');)
    B.push_back(uint8_t(std::atoi(N.c_str())));
  if (B.size() < 8) return {};
  const std::string Code(B.begin(), B.begin() + 8);
  std::string T;
  if (Code == std::string("UNICODE\0", 8)) {
    for (size_t I = 8; I + 1 < B.size(); I += 2) {
      const unsigned C = Motorola ? unsigned(B[I]) << 8 | B[I + 1] : unsigned(B[I + 1]) << 8 | B[I];
      if (C == 0) break;
      if (C < 0x80) {
        T += char(C);
      } else if (C < 0x800) {
        T += char(0xC0 | C >> 6), T += char(0x80 | (C & 0x3F));
      } else {
        T += char(0xE0 | C >> 12), T += char(0x80 | (C >> 6 & 0x3F)), T += char(0x80 | (C & 0x3F));
      }
    }
  } else if (Code == std::string("ASCII\0\0\0", 8) || Code == std::string(8, '\0')) {
    for (size_t I = 8; I < B.size() && B[I]; ++I)
      T += char(B[I]);
  } else {
    return {};
  }
  while (!T.empty() && T.back() == ' ')
    T.pop_back();
  return T;
}

// 51°30′26″ N: degrees, minutes and seconds, whatever mix the camera stored.
std::string Position(const std::vector<TExifNumber>& N, const std::string& Ref) {
  if (N.size() < 3) return {};
  for (size_t I = 0; I < 3; ++I)
    if (N[I].Den <= 0 || N[I].Num < 0) return {};
  const double Total = N[0].Real() + N[1].Real() / 60 + N[2].Real() / 3600;
  // Hundredths of a second, so that carries into minutes and degrees come out right.
  const auto Hundredths = static_cast<int64_t>(std::llround(Total * 360000));
  const int64_t Deg = Hundredths / 360000, Min = Hundredths / 6000 % 60;
  const double Sec = double(Hundredths % 6000) / 100;
  std::string S =
      std::to_string(Deg) + "\u00B0" + std::to_string(Min) + "\u2032" + Decimal(Sec, 2) + "\u2033";
  if (!Ref.empty()) S += " " + Ref;
  return S;
}

std::string Flash(int64_t V) {
  if (V & 0x20) return "No flash function";
  std::string S = V & 1 ? "Fired" : "Did not fire";
  switch (V >> 3 & 3) {
  case 1:
    S += ", compulsory";
    break;
  case 2:
    S += ", suppressed";
    break;
  case 3:
    S += ", auto";
    break;
  default:
    break;
  }
  if ((V >> 1 & 3) == 2) S += ", return not detected";
  if ((V >> 1 & 3) == 3) S += ", return detected";
  if (V & 0x40) S += ", red-eye reduction";
  return S;
}

const TNames ExposurePrograms = {
    {0, "Not defined"},       {1, "Manual"},           {2, "Normal program"},
    {3, "Aperture priority"}, {4, "Shutter priority"}, {5, "Creative program"},
    {6, "Action program"},    {7, "Portrait mode"},    {8, "Landscape mode"}};
const TNames MeteringModes = {{0, "Unknown"}, {1, "Average"},    {2, "Center weighted average"},
                              {3, "Spot"},    {4, "Multi-spot"}, {5, "Pattern"},
                              {6, "Partial"}, {255, "Other"}};
const TNames LightSources = {{0, "Unknown"},
                             {1, "Daylight"},
                             {2, "Fluorescent"},
                             {3, "Tungsten (incandescent light)"},
                             {4, "Flash"},
                             {9, "Fine weather"},
                             {10, "Cloudy weather"},
                             {11, "Shade"},
                             {12, "Daylight fluorescent"},
                             {13, "Day white fluorescent"},
                             {14, "Cool white fluorescent"},
                             {15, "White fluorescent"},
                             {16, "Warm white fluorescent"},
                             {17, "Standard light A"},
                             {18, "Standard light B"},
                             {19, "Standard light C"},
                             {20, "D55"},
                             {21, "D65"},
                             {22, "D75"},
                             {23, "D50"},
                             {24, "ISO studio tungsten"},
                             {255, "Other light source"}};
const TNames Orientations = {{1, "Normal"},
                             {2, "Mirrored"},
                             {3, "Rotated 180\u00B0"},
                             {4, "Mirrored vertically"},
                             {5, "Mirrored, rotated 90\u00B0 counter-clockwise"},
                             {6, "Rotated 90\u00B0 clockwise"},
                             {7, "Mirrored, rotated 90\u00B0 clockwise"},
                             {8, "Rotated 90\u00B0 counter-clockwise"}};
const TNames ResolutionUnits = {{1, "None"}, {2, "inch"}, {3, "cm"}};
const TNames FocalPlaneUnits = {{1, "None"}, {2, "inch"}, {3, "cm"}, {4, "mm"}, {5, "\u00B5m"}};
const TNames Compressions = {{1, "Uncompressed"},  {2, "CCITT RLE"}, {3, "CCITT Group 3"},
                             {4, "CCITT Group 4"}, {5, "LZW"},       {6, "JPEG"},
                             {7, "JPEG"},          {8, "Deflate"},   {32773, "PackBits"}};
const TNames Photometrics = {{0, "WhiteIsZero"}, {1, "BlackIsZero"}, {2, "RGB"},   {3, "Palette"},
                             {4, "Mask"},        {5, "CMYK"},        {6, "YCbCr"}, {8, "CIELab"}};
const TNames Planar = {{1, "Chunky"}, {2, "Planar"}};
const TNames YCbCrPositions = {{1, "Centered"}, {2, "Co-sited"}};
const TNames ColorSpaces = {{1, "sRGB"}, {2, "Adobe RGB"}, {65535, "Uncalibrated"}};
const TNames SensingMethods = {{1, "Not defined"},
                               {2, "One-chip color area"},
                               {3, "Two-chip color area"},
                               {4, "Three-chip color area"},
                               {5, "Color sequential area"},
                               {7, "Trilinear sensor"},
                               {8, "Color sequential linear"}};
const TNames FileSources = {{0, "Others"},
                            {1, "Film scanner"},
                            {2, "Reflection print scanner"},
                            {3, "Digital still camera"}};
const TNames SceneTypes = {{1, "Directly photographed"}};
const TNames CustomRendered = {{0, "Normal process"}, {1, "Custom process"}};
const TNames ExposureModes = {{0, "Auto"}, {1, "Manual"}, {2, "Auto bracket"}};
const TNames WhiteBalances = {{0, "Auto"}, {1, "Manual"}};
const TNames SceneCaptureTypes = {
    {0, "Standard"}, {1, "Landscape"}, {2, "Portrait"}, {3, "Night scene"}};
const TNames GainControls = {{0, "None"},
                             {1, "Low gain up"},
                             {2, "High gain up"},
                             {3, "Low gain down"},
                             {4, "High gain down"}};
const TNames SoftHard = {{0, "Normal"}, {1, "Soft"}, {2, "Hard"}};
const TNames LowHigh = {{0, "Normal"}, {1, "Low"}, {2, "High"}};
const TNames DistanceRanges = {
    {0, "Unknown"}, {1, "Macro"}, {2, "Close view"}, {3, "Distant view"}};
const TNames SensitivityTypes = {{0, "Unknown"},
                                 {1, "Standard output sensitivity"},
                                 {2, "Recommended exposure index"},
                                 {3, "ISO speed"},
                                 {4, "SOS and REI"},
                                 {5, "SOS and ISO speed"},
                                 {6, "REI and ISO speed"},
                                 {7, "SOS, REI and ISO speed"}};
const TNames AltitudeRefs = {{0, "Above sea level"}, {1, "Below sea level"}};
const TNames Differentials = {{0, "Without correction"}, {1, "Correction applied"}};

std::string RefName(const std::string& Ref) {
  static const std::map<std::string, const char*> Names = {
      {"N", "North"}, {"S", "South"}, {"E", "East"}, {"W", "West"}};
  auto It = Names.find(Ref);
  return It == Names.end() ? std::string() : It->second;
}

// One entry of IFD0/IFD1 or the Exif directory.
std::string DescribeMain(const TExifEntry& E, bool Motorola) {
  const auto& N = E.Numbers;
  const bool Has = !N.empty();
  const int64_t I = Has ? N[0].Num : 0;
  const bool Ratio = Has && (E.Type == 5 || E.Type == 10) && N[0].Den != 0;
  const double R = Ratio ? N[0].Real() : 0.0;
  switch (E.Tag) {
  case 259:
    return Has ? Named(Compressions, I) : "";
  case 262:
    return Has ? Named(Photometrics, I) : "";
  case 274:
    return Has ? Named(Orientations, I) : "";
  case 282:
  case 283:
  case 41486:
  case 41487:
    return Ratio && N[0].Den != 1 ? Decimal(R, 2) : "";
  case 284:
    return Has ? Named(Planar, I) : "";
  case 296:
    return Has ? Named(ResolutionUnits, I) : "";
  case 531:
    return Has ? Named(YCbCrPositions, I) : "";
  case 33434:
    return Ratio ? ExposureTime(N[0]) : "";
  case 33437:
    return Ratio ? FNumber(R) : "";
  case 34850:
    return Has ? Named(ExposurePrograms, I) : "";
  case 34864:
    return Has ? Named(SensitivityTypes, I) : "";
  case 36864:
  case 40960:
    return Version(N);
  case 37121: {
    static const char* Parts[] = {"", "Y", "Cb", "Cr", "R", "G", "B"};
    std::string S;
    for (size_t K = 0; K < std::min<size_t>(4, N.size()); ++K)
      if (N[K].Num > 0 && N[K].Num < 7) S += Parts[N[K].Num];
    return S;
  }
  case 37122:
    return Ratio ? Decimal(R, 2) + " bits/pixel" : "";
  case 37377: {
    if (!Ratio) return {};
    const double T = std::exp2(R);
    if (T > 1) return "1/" + std::to_string(static_cast<int64_t>(T + 0.5)) + " s";
    return std::to_string(static_cast<int64_t>(1 / T + 0.5)) + " s";
  }
  case 37378:
  case 37381:
    return Ratio ? FNumber(std::exp2(R / 2)) : "";
  case 37379:
    return Ratio ? Decimal(R, 2) + " EV" : "";
  case 37380: {
    if (!Ratio || N[0].Den < 0) return {};
    if (N[0].Num == 0) return "0 EV";
    const int64_t G = std::gcd(N[0].Num, N[0].Den);
    const int64_t Num = std::abs(N[0].Num) / G, Den = N[0].Den / G;
    return std::string(N[0].Num < 0 ? "-" : "+") + std::to_string(Num) +
           (Den != 1 ? "/" + std::to_string(Den) : "") + " EV";
  }
  case 37382:
    if (!Ratio) return {};
    if (N[0].Num == 0) return "Unknown";
    if (N[0].Num == 0xFFFFFFFF) return "Infinity";
    return Decimal(R, 2) + " m";
  case 37383:
    return Has ? Named(MeteringModes, I) : "";
  case 37384:
    return Has ? Named(LightSources, I) : "";
  case 37385:
    return Has ? Flash(I) : "";
  case 37386:
    return Ratio ? Decimal(R, 1) + " mm" : "";
  case 37510:
    return CodedText(E.Value, Motorola);
  case 40961:
    return Has ? Named(ColorSpaces, I) : "";
  case 41488:
    return Has ? Named(FocalPlaneUnits, I) : "";
  case 41495:
    return Has ? Named(SensingMethods, I) : "";
  case 41728:
    return Has ? Named(FileSources, I) : "";
  case 41729:
    return Has ? Named(SceneTypes, I) : "";
  case 41985:
    return Has ? Named(CustomRendered, I) : "";
  case 41986:
    return Has ? Named(ExposureModes, I) : "";
  case 41987:
    return Has ? Named(WhiteBalances, I) : "";
  case 41988:
    if (!Ratio) return {};
    return N[0].Num == 0 ? "Not used" : Decimal(R, 2) + "x";
  case 41989:
    return Has ? (I == 0 ? "Unknown" : std::to_string(I) + " mm") : "";
  case 41990:
    return Has ? Named(SceneCaptureTypes, I) : "";
  case 41991:
    return Has ? Named(GainControls, I) : "";
  case 41992:
  case 41994:
    return Has ? Named(SoftHard, I) : "";
  case 41993:
    return Has ? Named(LowHigh, I) : "";
  case 41996:
    return Has ? Named(DistanceRanges, I) : "";
  case 42034: {
    // Focal lengths and f-numbers of the lens: 24-70 mm f/2.8.
    if (N.size() < 4) return {};
    for (size_t K = 0; K < 4; ++K)
      if (N[K].Den == 0) return {};
    auto Range = [](double A, double B) {
      return A == B ? Decimal(A, 1) : Decimal(A, 1) + "-" + Decimal(B, 1);
    };
    return Range(N[0].Real(), N[1].Real()) + " mm f/" + Range(N[2].Real(), N[3].Real());
  }
  case 42240:
    return Ratio ? Decimal(R, 2) : "";
  default:
    return {};
  }
}

std::string DescribeGPS(const TExifEntry& E, const std::map<uint16_t, std::string>& Refs,
                        bool Motorola) {
  const auto& N = E.Numbers;
  const bool Has = !N.empty();
  const bool Ratio = Has && (E.Type == 5 || E.Type == 10) && N[0].Den > 0;
  const double R = Ratio ? N[0].Real() : 0.0;
  auto Ref = [&](uint16_t Tag) {
    auto It = Refs.find(Tag);
    return It == Refs.end() ? std::string() : It->second;
  };
  switch (E.Tag) {
  case 0: {
    if (N.size() < 4) return {};
    std::string S;
    for (size_t K = 0; K < 4; ++K)
      S += (K ? "." : "") + std::to_string(N[K].Num);
    return S;
  }
  case 1:
  case 3:
  case 19:
  case 21:
    return RefName(E.Value);
  case 2:
  case 4:
  case 20:
  case 22:
    return Position(N, Ref(uint16_t(E.Tag - 1)));
  case 5:
    return Has ? Named(AltitudeRefs, N[0].Num) : "";
  case 6:
    if (!Ratio) return {};
    return (Ref(5) == "1" ? "-" : "") + Decimal(R, 2) + " m";
  case 7: {
    if (N.size() < 3) return {};
    for (size_t K = 0; K < 3; ++K)
      if (N[K].Den <= 0) return {};
    char Buf[64];
    const double S = N[2].Real();
    std::snprintf(Buf, sizeof Buf, "%02lld:%02lld:%s%s UTC", static_cast<long long>(N[0].Real()),
                  static_cast<long long>(N[1].Real()), S < 10 ? "0" : "", Decimal(S, 2).c_str());
    return Buf;
  }
  case 9:
    return E.Value == "A"   ? "Measurement in progress"
           : E.Value == "V" ? "Measurement interrupted"
                            : "";
  case 10:
    return E.Value == "2" ? "2-dimensional" : E.Value == "3" ? "3-dimensional" : "";
  case 11:
    return Ratio ? Decimal(R, 2) : "";
  case 12:
    return E.Value == "K" ? "km/h" : E.Value == "M" ? "mph" : E.Value == "N" ? "knots" : "";
  case 13: {
    if (!Ratio) return {};
    const std::string U = Ref(12);
    return Decimal(R, 2) + (U == "M" ? " mph" : U == "N" ? " knots" : " km/h");
  }
  case 14:
  case 16:
  case 23:
    return E.Value == "T" ? "True direction" : E.Value == "M" ? "Magnetic direction" : "";
  case 15:
  case 17:
  case 24:
    return Ratio ? Decimal(R, 2) + "\u00B0" : "";
  case 25:
    return E.Value == "K"   ? "Kilometers"
           : E.Value == "M" ? "Miles"
           : E.Value == "N" ? "Nautical miles"
                            : "";
  case 26: {
    if (!Ratio) return {};
    const std::string U = Ref(25);
    return Decimal(R, 2) + (U == "M" ? " mi" : U == "N" ? " nmi" : " km");
  }
  case 27:
  case 28:
    return CodedText(E.Value, Motorola);
  case 30:
    return Has ? Named(Differentials, N[0].Num) : "";
  case 31:
    return Ratio ? Decimal(R, 2) + " m" : "";
  default:
    return {};
  }
}

} // namespace

std::string ExifGPSTagName(unsigned Tag) {
  for (const TGPSName& G : GPSNames)
    if (G.Tag == Tag) return G.Name;
  return "Undefined (" + std::to_string(Tag) + ")";
}

void DescribeValues(std::vector<TExifEntry>& Entries, bool Motorola) {
  // The reference entries of each GPS directory (hemispheres, units) by tag.
  std::map<int, std::map<uint16_t, std::string>> Refs;
  for (const TExifEntry& E : Entries)
    if (E.Chain == TExifChain::ecGPS) {
      std::string V = E.Value;
      if (E.Type != 2 && !E.Numbers.empty()) V = std::to_string(E.Numbers[0].Num);
      Refs[E.Directory][E.Tag] = V;
    }
  for (TExifEntry& E : Entries)
    E.Readable = E.Chain == TExifChain::ecGPS ? DescribeGPS(E, Refs[E.Directory], Motorola)
                                              : DescribeMain(E, Motorola);
}

} // namespace orbisk
