// EXIF reader: pictures built byte by byte here, in both byte orders.
#include "metadata/exif.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <chrono>
#include <clocale>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

using namespace orbisk;
using orbisk::test::RunCli;
using orbisk::test::TempPath;
using orbisk::test::WriteFileBytes;

namespace {

using Bytes = std::vector<uint8_t>;

struct Field {
  uint16_t Tag, Type;
  uint32_t Count;
  Bytes Data; // the values as stored, already in the file's byte order
};

void Put16(Bytes& B, size_t At, uint32_t V, ExifByteOrder O) {
  B[At] = uint8_t(O == eboIntel ? V : V >> 8);
  B[At + 1] = uint8_t(O == eboIntel ? V >> 8 : V);
}
void Put32(Bytes& B, size_t At, uint32_t V, ExifByteOrder O) {
  Put16(B, At + (O == eboIntel ? 0 : 2), V & 0xFFFF, O);
  Put16(B, At + (O == eboIntel ? 2 : 0), V >> 16, O);
}
Bytes Enc16(uint32_t V, ExifByteOrder O) {
  Bytes B(2);
  Put16(B, 0, V, O);
  return B;
}
Bytes Enc32(uint32_t V, ExifByteOrder O) {
  Bytes B(4);
  Put32(B, 0, V, O);
  return B;
}
Bytes Cat(Bytes A, const Bytes& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

Field Short(uint16_t Tag, uint16_t V, ExifByteOrder O) {
  return {Tag, 3, 1, Enc16(V, O)};
}
Field Ascii(uint16_t Tag, const std::string& S) {
  Bytes B(S.begin(), S.end());
  B.push_back(0);
  return {Tag, 2, uint32_t(B.size()), B};
}
Field Rational(uint16_t Tag, uint32_t N, uint32_t D, ExifByteOrder O) {
  return {Tag, 5, 1, Cat(Enc32(N, O), Enc32(D, O))};
}
// Filled in by Build with the Exif directory's offset.
Field ExifLink() {
  return {34665, 4, 1, {}};
}
// Filled in by Build with the GPS directory's offset.
Field GPSLink() {
  return {34853, 4, 1, {}};
}

// A TIFF structure: the main chain's directories one after the other (each linked to the
// next), then the Exif directory. Values longer than four bytes follow their directory.
Bytes Build(ExifByteOrder O, const std::vector<std::vector<Field>>& Main,
            const std::vector<Field>& Exif = {}, const std::vector<Field>& GPS = {}) {
  auto DirSize = [](const std::vector<Field>& D) {
    size_t S = 2 + 12 * D.size() + 4;
    for (const Field& F : D)
      if (F.Data.size() > 4) S += (F.Data.size() + 1) & ~size_t(1);
    return S;
  };
  std::vector<size_t> Offsets;
  size_t At = 8;
  for (const auto& D : Main) {
    Offsets.push_back(At);
    At += DirSize(D);
  }
  size_t ExifAt = Exif.empty() ? 0 : At;
  At += Exif.empty() ? 0 : DirSize(Exif);
  size_t GPSAt = GPS.empty() ? 0 : At;
  At += GPS.empty() ? 0 : DirSize(GPS);

  Bytes B(At, 0);
  B[0] = B[1] = O == eboIntel ? 'I' : 'M';
  Put16(B, 2, 42, O);
  Put32(B, 4, Main.empty() ? 0 : uint32_t(Offsets[0]), O);
  auto Write = [&](const std::vector<Field>& D, size_t Pos, size_t Next) {
    Put16(B, Pos, uint16_t(D.size()), O);
    size_t Data = Pos + 2 + 12 * D.size() + 4;
    for (size_t I = 0; I < D.size(); ++I) {
      size_t E = Pos + 2 + 12 * I;
      Put16(B, E, D[I].Tag, O);
      Put16(B, E + 2, D[I].Type, O);
      Put32(B, E + 4, D[I].Count, O);
      if (D[I].Tag == 34665 && D[I].Data.empty()) {
        Put32(B, E + 8, uint32_t(ExifAt), O);
      } else if (D[I].Tag == 34853 && D[I].Data.empty()) {
        Put32(B, E + 8, uint32_t(GPSAt), O);
      } else if (D[I].Data.size() <= 4) {
        std::copy(D[I].Data.begin(), D[I].Data.end(), B.begin() + ptrdiff_t(E + 8));
      } else {
        Put32(B, E + 8, uint32_t(Data), O);
        std::copy(D[I].Data.begin(), D[I].Data.end(), B.begin() + ptrdiff_t(Data));
        Data += (D[I].Data.size() + 1) & ~size_t(1);
      }
    }
    Put32(B, Pos + 2 + 12 * D.size(), uint32_t(Next), O);
  };
  for (size_t I = 0; I < Main.size(); ++I)
    Write(Main[I], Offsets[I], I + 1 < Main.size() ? Offsets[I + 1] : 0);
  if (!Exif.empty()) Write(Exif, ExifAt, 0);
  if (!GPS.empty()) Write(GPS, GPSAt, 0);
  return B;
}

// The TIFF structure in an APP1 segment right after the start-of-image marker, optionally
// behind a 16-byte JFIF APP0 segment.
Bytes Jpeg(const Bytes& Tiff, bool Jfif = false) {
  Bytes B = {0xFF, 0xD8};
  if (Jfif) B = Cat(B, {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  size_t Len = Tiff.size() + 8;
  B = Cat(B, {0xFF, 0xE1, uint8_t(Len >> 8), uint8_t(Len), 'E', 'x', 'i', 'f', 0, 0});
  return Cat(Cat(B, Tiff), {0xFF, 0xD9});
}

std::vector<TExifRow> Rows(const Bytes& Data) {
  std::vector<TExifRow> R;
  for (auto& E : ReadExifEntries(Data))
    R.push_back({E.Name, E.Value});
  return R;
}
std::string WriteTemp(const std::string& Name, const Bytes& Data) {
  std::string P = TempPath(Name);
  WriteFileBytes(P, Data);
  return P;
}

// 2008-07-31 at the given local time.
void SetModified(const std::string& Path, int H, int M, int S) {
  std::tm T{};
  T.tm_sec = S, T.tm_min = M, T.tm_hour = H, T.tm_mday = 31, T.tm_mon = 6, T.tm_year = 108;
  T.tm_isdst = -1;
  timespec Times[2] = {{std::mktime(&T), 0}, {std::mktime(&T), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, Path.c_str(), Times, 0), 0);
}

const ExifByteOrder BothOrders[] = {eboIntel, eboMotorola};

} // namespace

TEST(ExifNumbers, ReadWordAndLongFollowTheByteOrder) {
  const Bytes B = {0x12, 0x34, 0x56, 0x78, 0x9A};
  struct {
    ExifByteOrder Order;
    size_t Pos;
    uint16_t Word;
    uint32_t Long;
  } Cases[] = {
      {eboIntel, 0, 0x3412, 0x78563412},
      {eboMotorola, 0, 0x1234, 0x12345678},
      {eboIntel, 1, 0x5634, 0x9A785634},
      {eboMotorola, 1, 0x3456, 0x3456789A},
      {eboNone, 0, 0, 0},
      {eboIntel, 4, 0, 0}, // runs off the buffer
      {eboMotorola, 3, 0x789A, 0},
      {eboIntel, size_t(-1), 0, 0},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(ReadExifWord(B, C.Pos, C.Order), C.Word) << C.Order << " at " << C.Pos;
    EXPECT_EQ(ReadExifLong(B, C.Pos, C.Order), C.Long) << C.Order << " at " << C.Pos;
  }
}

TEST(ExifNames, KnownTagsAndFallback) {
  const std::pair<unsigned, const char*> Cases[] = {
      {254, "NewSubFile Type"},
      {306, "DateTime"},
      {33434, "Exposure Time"},
      {34665, "ExifOffset"},
      {36864, "Exif Version"},
      {37500, "Maker Note"},
      {41729, "Scene Type"},
      {0, "Undefined (0)"},
      {255, "Undefined (255)"},
      {41730, "CFA Pattern"},
      {41985, "Custom Rendered"},
      {41996, "Subject Distance Range"},
      {42240, "Gamma"},
      {42241, "Undefined (42241)"},
      {65535, "Undefined (65535)"},
  };
  for (auto [Tag, Name] : Cases)
    EXPECT_EQ(ExifTagName(Tag), Name) << Tag;
}

TEST(ExifValues, FormattedByTypeInBothByteOrders) {
  struct Case {
    const char* What;
    uint16_t Type;
    uint32_t Count;
    std::function<Bytes(ExifByteOrder)> Data;
    const char* Text;
  };
  auto Raw = [](Bytes B) { return [B](ExifByteOrder) { return B; }; };
  const Case Cases[] = {
      {"byte", 1, 1, Raw({200, 0, 0, 0}), "200"},
      {"bytes out of line", 1, 6, Raw({7, 8, 9, 10, 11, 12}), "7"},
      {"ascii inline", 2, 3, Raw({'a', 'b', 0, 0}), "ab"},
      {"ascii", 2, 6, Raw({'C', 'a', 'n', 'o', 'n', 0}), "Canon"},
      {"ascii stops at nul", 2, 8, Raw({'a', 0, 'b', 'c', 'd', 'e', 'f', 0}), "a"},
      {"ascii without nul", 2, 5, Raw({'x', 'y', 'z', 'w', 'v'}), "xyzwv"},
      {"short", 3, 1,
       [](auto O) {
         return Cat(Enc16(65535, O), {0, 0});
       },
       "65535"},
      {"shorts out of line", 3, 3,
       [](auto O) { return Cat(Cat(Enc16(8, O), Enc16(8, O)), Enc16(8, O)); }, "8"},
      {"long is signed", 4, 1, [](auto O) { return Enc32(0xFFFFFFFF, O); }, "-1"},
      {"long", 4, 1, [](auto O) { return Enc32(1090, O); }, "1090"},
      {"rational kept as written", 5, 1, [](auto O) { return Cat(Enc32(1, O), Enc32(125, O)); },
       "1/125"},
      {"rational not reduced", 5, 1, [](auto O) { return Cat(Enc32(56, O), Enc32(10, O)); },
       "56/10"},
      {"sbyte", 6, 1, Raw({0xFF, 0, 0, 0}), "-1"},
      {"undefined 0210", 7, 4, Raw({'0', '2', '1', '0'}), "48,50,49,48"},
      {"undefined out of line", 7, 5, Raw({1, 2, 3, 0, 255}), "1,2,3,0,255"},
      {"undefined empty", 7, 0, Raw({}), ""},
      {"sshort", 8, 1,
       [](auto O) {
         return Cat(Enc16(0xFFFE, O), {0, 0});
       },
       "-2"},
      {"slong", 9, 1, [](auto O) { return Enc32(0x80000000, O); }, "-2147483648"},
      {"srational", 10, 1, [](auto O) { return Cat(Enc32(-1, O), Enc32(3, O)); }, "-1/3"},
      {"float", 11, 1, [](auto O) { return Enc32(0x3F800000, O); }, ""},
      {"double", 12, 1, Raw({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}), ""},
      {"unknown type", 13, 1, Raw({1, 2, 3, 4}), ""},
      {"no values", 3, 0, Raw({}), ""},
  };
  for (ExifByteOrder O : BothOrders)
    for (const Case& C : Cases) {
      Bytes D = C.Data(O);
      if (D.size() < 4) D.resize(4);
      auto R = Rows(Build(O, {{{700, C.Type, C.Count, D}}}));
      ASSERT_EQ(R.size(), 1u) << C.What;
      EXPECT_EQ(R[0], (TExifRow{"Undefined (700)", C.Text})) << C.What << ", order " << O;
    }
}

TEST(ExifValues, LongValuesAreCut) {
  std::string Long(400, 'x');
  Bytes Big(70000);
  for (size_t I = 0; I < Big.size(); ++I)
    Big[I] = uint8_t(I % 3);
  auto R = Rows(Build(eboIntel, {{Ascii(270, Long), {37500, 7, uint32_t(Big.size()), Big}}}));
  ASSERT_EQ(R.size(), 2u);
  EXPECT_EQ(R[0].Value, std::string(255, 'x'));
  EXPECT_EQ(std::count(R[1].Value.begin(), R[1].Value.end(), ',') + 1, 65536);
  EXPECT_EQ(R[1].Value.substr(0, 6), "0,1,2,");
}

TEST(ExifWalk, MainChainThenExifInBothOrders) {
  std::vector<TExifRow> Previous;
  for (ExifByteOrder O : BothOrders) {
    auto R = Rows(Build(O,
                        {{Ascii(271, "Canon"), ExifLink(), Ascii(306, "2008:07:31 10:38:11")},
                         {Short(259, 6, O), {513, 4, 1, Enc32(1090, O)}}},
                        {Rational(33434, 1, 125, O), {36864, 7, 4, {'0', '2', '1', '0'}}}));
    const std::vector<TExifRow> Expected = {
        {"Make", "Canon"},
        {"ExifOffset", "106"}, // IFD0 at 8 (42 + 26 bytes), IFD1 (30 bytes)
        {"DateTime", "2008:07:31 10:38:11"},
        {"Compression", "6"},
        {"JPEGInterchangeFormat", "1090"},
        {"Exposure Time", "1/125"},
        {"Exif Version", "48,50,49,48"},
    };
    EXPECT_EQ(R, Expected) << "order " << O;
    if (!Previous.empty()) {
      EXPECT_EQ(R, Previous);
    }
    Previous = R;
  }
}

TEST(ExifLocate, MarkFoundInTheFirstBytesOnly) {
  Bytes Tiff = Build(eboIntel, {{Ascii(271, "Canon")}});
  const std::vector<TExifRow> One = {{"Make", "Canon"}};
  auto Padded = [&](size_t At, Bytes Lead = {}) {
    Lead.resize(At, 0);
    return Cat(Lead, Tiff);
  };
  Bytes SwappedMagic = Build(eboMotorola, {{Ascii(271, "Canon")}});
  std::swap(SwappedMagic[2], SwappedMagic[3]);
  struct {
    const char* What;
    Bytes Data;
    bool Found;
  } Cases[] = {
      {"after start of image", Jpeg(Tiff), true},
      {"after a JFIF segment", Jpeg(Tiff, true), true},
      {"plain TIFF", Tiff, true},
      {"last place with a whole header", Padded(56), true},
      {"header runs past the window", Padded(57), false},
      {"beyond the window", Padded(100), false},
      {"first mark fails the magic test", Cat(Bytes{'I', 'I', 41, 0}, Padded(4)), false},
      {"Motorola magic read from its low byte", SwappedMagic, false},
      {"no mark", Bytes(200, 0x55), false},
      {"too short", {'I', 'I', 42, 0, 8, 0}, false},
      {"empty", {}, false},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Rows(C.Data), C.Found ? One : std::vector<TExifRow>{}) << C.What;

  // Intel marks are preferred, but one whose header would run past the window does not count.
  Bytes Moto = Build(eboMotorola, {{Ascii(272, "EOS")}});
  Bytes Mixed = Cat(Bytes(20, 0), Moto);
  Mixed.resize(std::max<size_t>(Mixed.size(), 70), 0);
  Mixed[58] = Mixed[59] = 'I';
  Mixed[60] = 42;
  EXPECT_EQ(Rows(Mixed), (std::vector<TExifRow>{{"Model", "EOS"}}));
  Mixed[10] = Mixed[11] = 'I';
  Mixed[12] = 0;
  EXPECT_TRUE(Rows(Mixed).empty()) << "the first Intel mark is taken even when MM follows";
}

TEST(ExifDamage, LoopsEndWhereTheyCloseAndWalksStayBounded) {
  // IFD1 links back to IFD0; the Exif offset points at IFD0 as well.
  Bytes B = Build(eboIntel, {{Short(274, 1, eboIntel), {34665, 4, 1, Enc32(8, eboIntel)}},
                             {Short(259, 6, eboIntel)}});
  size_t Link1 = 8 + 2 + 2 * 12 + 4 + 2 + 12;
  Put32(B, Link1, 8, eboIntel);
  EXPECT_EQ(Rows(B), (std::vector<TExifRow>{
                         {"Orientation", "1"}, {"ExifOffset", "8"}, {"Compression", "6"}}));

  // A directory that links to itself.
  Bytes Self = Build(eboMotorola, {{Short(274, 1, eboMotorola)}});
  Put32(Self, 8 + 2 + 12, 8, eboMotorola);
  EXPECT_EQ(Rows(Self).size(), 1u);

  // A long chain of distinct directories stops at the directory limit.
  std::vector<std::vector<Field>> Chain(ExifMaxDirectories + 50, {Short(274, 1, eboIntel)});
  EXPECT_EQ(Rows(Build(eboIntel, Chain)).size(), size_t(ExifMaxDirectories));

  // 65535 entries that each list the same 64 KiB: the listing stops at its text limit.
  Bytes Flood = Build(eboIntel, {{}});
  size_t Data = 8 + 2 + 65535 * 12 + 4;
  Flood.resize(Data + 65536, 7);
  Put16(Flood, 8, 65535, eboIntel);
  for (size_t I = 0; I < 65535; ++I) {
    size_t E = 10 + 12 * I;
    Put16(Flood, E, 37500, eboIntel);
    Put16(Flood, E + 2, 7, eboIntel);
    Put32(Flood, E + 4, 65536, eboIntel);
    Put32(Flood, E + 8, uint32_t(Data), eboIntel);
  }
  Put32(Flood, 10 + 65535 * 12, 0, eboIntel);
  auto Start = std::chrono::steady_clock::now();
  auto Entries = ReadExifEntries(Flood);
  size_t Text = 0;
  for (auto& E : Entries)
    Text += E.Value.size();
  EXPECT_LT(Entries.size(), 200u);
  EXPECT_LE(Text, ExifMaxListBytes + 2 * 65536);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
}

TEST(ExifDamage, TruncatedFilesListWhatWasRead) {
  const ExifByteOrder O = eboMotorola;
  Bytes Full = Jpeg(Build(
      O,
      {{Ascii(271, "NIKON CORPORATION"), ExifLink(), Rational(282, 300, 1, O)}, {Short(259, 6, O)}},
      {{37500, 7, 12, Bytes(12, 9)}, Ascii(36867, "2008:03:15 09:52:01")}));
  auto FullRows = Rows(Full);
  ASSERT_EQ(FullRows.size(), 6u);
  for (size_t Len = 0; Len < Full.size(); ++Len) {
    auto R = Rows(Bytes(Full.begin(), Full.begin() + ptrdiff_t(Len)));
    ASSERT_LE(R.size(), FullRows.size()) << Len;
    for (size_t I = 0; I < R.size(); ++I) {
      EXPECT_EQ(R[I].Description, FullRows[I].Description) << Len;
      // A value cut by the end of the file shows what was there: a prefix, or nothing.
      EXPECT_EQ(FullRows[I].Value.substr(0, R[I].Value.size()), R[I].Value) << Len;
    }
  }
  // Cut inside the Exif directory's Ascii value: the start of the text is kept.
  Bytes Cut(Full.begin(), Full.end() - 2 - 10);
  auto R = Rows(Cut);
  ASSERT_EQ(R.size(), 6u);
  EXPECT_EQ(R[5].Value, "2008:03:15");
  EXPECT_EQ(R[4].Value, "9,9,9,9,9,9,9,9,9,9,9,9");
}

TEST(ExifFiles, ListAndDateFromFiles) {
  std::setlocale(LC_TIME, "C");
  const ExifByteOrder O = eboIntel;
  struct {
    const char* What;
    Bytes Data;
    const char* Date;
  } Cases[] = {
      {"no EXIF data", Bytes(100, 0), "07/31/08 10:38:11"},
      {"date in IFD0", Jpeg(Build(O, {{Ascii(306, "2004:01:02 03:04:05")}})),
       "2004:01:02 03:04:05"},
      {"the last DateTime wins",
       Jpeg(Build(O, {{Ascii(306, "2004:01:02 03:04:05")}, {Ascii(306, "2005:06:07 08:09:10")}})),
       "2005:06:07 08:09:10"},
      {"an empty date keeps the file's", Jpeg(Build(O, {{Ascii(306, "")}})), "07/31/08 10:38:11"},
      {"other dates do not count", Jpeg(Build(O, {{ExifLink()}}, {Ascii(36867, "2001:01:01")})),
       "07/31/08 10:38:11"},
  };
  int N = 0;
  for (const auto& C : Cases) {
    std::string P = WriteTemp("date" + std::to_string(N++) + ".jpg", C.Data);
    SetModified(P, 10, 38, 11);
    EXPECT_EQ(GetExifDateTime(P), C.Date) << C.What;
    EXPECT_EQ(ListExifData(P), Rows(C.Data)) << C.What;
  }

  std::string Midnight = WriteTemp("midnight.jpg", Bytes(10, 0));
  SetModified(Midnight, 0, 0, 0);
  EXPECT_EQ(GetExifDateTime(Midnight), "07/31/08");
  EXPECT_EQ(FormatExifFileTime(std::numeric_limits<std::time_t>::max()), "");
}

TEST(ExifFiles, UnopenableFileRaisesAndLeavesTheListEmpty) {
  std::string Missing = TempPath("no-such-file.jpg");
  std::vector<TExifRow> List = {{"stale", "row"}};
  EXPECT_THROW(ListExifData(Missing, List), EExifFileError);
  EXPECT_TRUE(List.empty());
  try {
    GetExifDateTime(Missing);
    ADD_FAILURE() << "no error";
  } catch (const EExifFileError& E) {
    EXPECT_NE(std::string(E.what()).find(Missing), std::string::npos) << E.what();
    EXPECT_EQ(E.code().value(), ENOENT);
  }

  // A folder opens but cannot be read: the error comes after the open, and nothing leaks.
  auto OpenFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  auto Before = OpenFiles();
  for (int I = 0; I < 3; ++I)
    EXPECT_THROW(ReadExifEntries(TempPath("")), EExifFileError);
  EXPECT_EQ(OpenFiles(), Before);
}

TEST(ExifCli, ListsDatesAndReportsErrors) {
  const ExifByteOrder O = eboIntel;
  std::string Good = WriteTemp("cli.jpg", Jpeg(Build(O, {{Ascii(271, "Tab\there"), ExifLink()}},
                                                     {Rational(33437, 56, 10, O)})));
  std::string Plain = WriteTemp("cli-plain.bin", Bytes(64, 0));
  std::string Missing = TempPath("cli-missing.jpg");
  std::string Out, Err;

  EXPECT_EQ(RunCli({"exif", Good}, &Out, &Err), 0) << Err;
  EXPECT_EQ(Out, "Make\tTab\\there\nExifOffset\t48\nF Number\tf/5.6 (56/10)\n");

  std::string Dated =
      WriteTemp("cli-dated.jpg", Jpeg(Build(O, {{Ascii(306, "2004:01:02 03:04:05")}})));
  EXPECT_EQ(RunCli({"exif", "--date", Dated}, &Out, &Err), 0) << Err;
  EXPECT_EQ(Out, "2004:01:02 03:04:05\n");
  EXPECT_EQ(RunCli({"exif", "--date", Missing, Dated}, &Out, &Err), 1);
  EXPECT_EQ(Out, Dated + "\t2004:01:02 03:04:05\n");

  EXPECT_EQ(RunCli({"exif", Plain, Missing, Good}, &Out, &Err), 1);
  EXPECT_EQ(Out, Plain + ":\n\n" + Missing + ":\n\n" + Good +
                     ":\nMake\tTab\\there\nExifOffset\t48\nF Number\tf/5.6 (56/10)\n");
  EXPECT_NE(Err.find("cli-missing.jpg"), std::string::npos) << Err;

  EXPECT_EQ(RunCli({"exif", "--detail", Good}, &Out, &Err), 0) << Err;
  EXPECT_NE(Out.find("exif\t0\t33437\t5\t1\tF Number\t56/10\tf/5.6\n"), std::string::npos) << Out;

  EXPECT_EQ(RunCli({"exif"}, &Out, &Err), 2);
}

namespace {

Field Undefined(uint16_t Tag, const Bytes& B) {
  return {Tag, 7, uint32_t(B.size()), B};
}
Field Rationals(uint16_t Tag, const std::vector<std::pair<uint32_t, uint32_t>>& V, ExifByteOrder O,
                uint16_t Type = 5) {
  Bytes B;
  for (auto [N, D] : V)
    B = Cat(Cat(B, Enc32(N, O)), Enc32(D, O));
  return {Tag, Type, uint32_t(V.size()), B};
}
Field Byte(uint16_t Tag, const Bytes& B) {
  return {Tag, 1, uint32_t(B.size()), B};
}

// A camera picture's entries, the way one camera writes them, with a GPS position.
Bytes CameraBlock(ExifByteOrder O) {
  using namespace std::string_literals;
  const std::string Comment = "ASCII\0\0\0Harbour at dusk"s;
  return Build(
      O, {{Ascii(271, "Canon"), Short(274, 6, O), Rational(282, 72, 1, O), ExifLink(), GPSLink()}},
      {Rational(33434, 1543209, 100000000, O),
       Rational(33437, 56, 10, O),
       Short(34850, 2, O),
       Short(34855, 200, O),
       Undefined(36864, {'0', '2', '2', '0'}),
       Ascii(36867, "2024:05:01 14:03:07"),
       Undefined(37121, {1, 2, 3, 0}),
       Rationals(37377, {{6, 1}}, O, 10),
       Rational(37378, 497, 100, O),
       Rationals(37380, {{uint32_t(-1), 3}}, O, 10),
       Short(37383, 5, O),
       Short(37385, 25, O),
       Rational(37386, 63, 10, O),
       Undefined(37510, Bytes(Comment.begin(), Comment.end())),
       Undefined(40960, {'0', '1', '0', '0'}),
       Short(40961, 1, O),
       Undefined(41728, {3}),
       Undefined(41729, {1}),
       Short(41985, 0, O),
       Short(41986, 0, O),
       Short(41987, 1, O),
       Rational(41988, 0, 1, O),
       Short(41989, 50, O),
       Short(41990, 3, O),
       Short(41991, 0, O),
       Short(41992, 1, O),
       Short(41993, 2, O),
       Short(41994, 0, O),
       Short(41996, 2, O),
       Rationals(42034, {{24, 1}, {70, 1}, {28, 10}, {28, 10}}, O)},
      {Byte(0, {2, 3, 0, 0}), Ascii(1, "N"), Rationals(2, {{51, 1}, {30, 1}, {26, 1}}, O),
       Ascii(3, "W"), Rationals(4, {{0, 1}, {7, 1}, {3999, 100}}, O), Byte(5, {0}),
       Rational(6, 354, 10, O), Rationals(7, {{14, 1}, {3, 1}, {7, 1}}, O),
       Ascii(29, "2024:05:01")});
}

std::string DisplayOf(const std::vector<TExifRow>& Rows, const std::string& Name) {
  for (const TExifRow& R : Rows)
    if (R.Description == Name) return R.Value;
  return "<absent>";
}

} // namespace

// Values shown as people read them, with the stored value beside them, in both byte orders;
// the GPS directory is walked and named.
TEST(ExifValues, ReadableBesideTheRawValue) {
  for (ExifByteOrder O : BothOrders) {
    SCOPED_TRACE(O == eboIntel ? "Intel" : "Motorola");
    const std::string P = WriteTemp("camera.jpg", Jpeg(CameraBlock(O)));
    const std::vector<TExifRow> R = ListExifData(P);
    const std::pair<const char*, const char*> Cases[] = {
        {"Make", "Canon"},
        {"Orientation", "Rotated 90\u00B0 clockwise (6)"},
        {"XResolution", "72/1"},
        {"Exposure Time", "1/65 s (1543209/100000000)"},
        {"F Number", "f/5.6 (56/10)"},
        {"Exposure Program", "Normal program (2)"},
        {"ISO Speed Rating", "200"},
        {"Exif Version", "2.2 (48,50,50,48)"},
        {"Component Configuration", "YCbCr (1,2,3,0)"},
        {"Shutter Speed Value", "1/64 s (6/1)"},
        {"Aperture Value", "f/5.6 (497/100)"},
        {"Exposure Bias Value", "-1/3 EV (-1/3)"},
        {"Metering Mode", "Pattern (5)"},
        {"Flash", "Fired, auto (25)"},
        {"Focal Length", "6.3 mm (63/10)"},
        {"User Comment", "Harbour at dusk (65,83,67,73,73,0,0,0,72,97,114,98,111,117,114,32,97,"
                         "116,32,100,117,115,107)"},
        {"Flash Pix Version", "1.0 (48,49,48,48)"},
        {"Color Space", "sRGB (1)"},
        {"File Source", "Digital still camera (3)"},
        {"Scene Type", "Directly photographed (1)"},
        {"Custom Rendered", "Normal process (0)"},
        {"Exposure Mode", "Auto (0)"},
        {"White Balance", "Manual (1)"},
        {"Digital Zoom Ratio", "Not used (0/1)"},
        {"Focal Length In 35mm Film", "50 mm (50)"},
        {"Scene Capture Type", "Night scene (3)"},
        {"Gain Control", "None (0)"},
        {"Contrast", "Soft (1)"},
        {"Saturation", "High (2)"},
        {"Sharpness", "Normal (0)"},
        {"Subject Distance Range", "Close view (2)"},
        {"Lens Specification", "24-70 mm f/2.8 (24/1)"},
        {"GPS Version ID", "2.3.0.0 (2)"},
        {"GPS Latitude Ref", "North (N)"},
        {"GPS Latitude", "51\u00B030\u203226\u2033 N (51/1)"},
        {"GPS Longitude Ref", "West (W)"},
        {"GPS Longitude", "0\u00B07\u203239.99\u2033 W (0/1)"},
        {"GPS Altitude Ref", "Above sea level (0)"},
        {"GPS Altitude", "35.4 m (354/10)"},
        {"GPS Time Stamp", "14:03:07 UTC (14/1)"},
        {"GPS Date Stamp", "2024:05:01"},
    };
    for (auto [Name, Want] : Cases)
      EXPECT_EQ(DisplayOf(R, Name), Want) << Name;
    // The described listing is unchanged: main chain, Exif chain, then the GPS directory.
    ASSERT_GE(R.size(), 5u);
    EXPECT_EQ(R[0].Description, "Make");
    EXPECT_EQ(R.back().Description, "GPS Date Stamp");
    for (const TExifRow& Row : R)
      EXPECT_EQ(Row.Description.rfind("Undefined", 0), std::string::npos) << Row.Description;
    // The raw value stays what the reader always gave.
    for (const TExifEntry& E : ReadExifEntries(P)) {
      if (E.Tag == 33437) {
        EXPECT_EQ(E.Value, "56/10");
      }
    }
  }
  EXPECT_EQ(ExifGPSTagName(31), "GPS H Positioning Error");
  EXPECT_EQ(ExifGPSTagName(32), "Undefined (32)");
}

// Flash, exposure and position values across their ranges.
TEST(ExifValues, FlashExposureAndPositionForms) {
  const ExifByteOrder O = eboIntel;
  auto One = [&](std::vector<Field> Exif, std::vector<Field> GPS, const std::string& Name) {
    std::vector<Field> Main = {ExifLink()};
    if (!GPS.empty()) Main.push_back(GPSLink());
    if (Exif.empty()) Exif = {Short(41987, 0, O)};
    const std::string P = WriteTemp("forms.jpg", Jpeg(Build(O, {Main}, Exif, GPS)));
    return DisplayOf(ListExifData(P), Name);
  };
  EXPECT_EQ(One({Short(37385, 16, O)}, {}, "Flash"), "Did not fire, suppressed (16)");
  EXPECT_EQ(One({Short(37385, 0, O)}, {}, "Flash"), "Did not fire (0)");
  EXPECT_EQ(One({Short(37385, 0x4F, O)}, {}, "Flash"),
            "Fired, compulsory, return detected, red-eye reduction (79)");
  EXPECT_EQ(One({Short(37385, 0x20, O)}, {}, "Flash"), "No flash function (32)");
  EXPECT_EQ(One({Rational(33434, 1, 125, O)}, {}, "Exposure Time"), "1/125 s (1/125)");
  EXPECT_EQ(One({Rational(33434, 30, 1, O)}, {}, "Exposure Time"), "30 s (30/1)");
  EXPECT_EQ(One({Rational(33434, 0, 0, O)}, {}, "Exposure Time"), "0/0");
  EXPECT_EQ(One({Undefined(36864, {'0', '2', '3', '2'})}, {}, "Exif Version"),
            "2.32 (48,50,51,50)");
  EXPECT_EQ(One({Rational(37382, 0xFFFFFFFF, 1, O)}, {}, "Subject Distance"), "Infinity (-1/1)");
  // Minutes with a fraction and no seconds, as many phones store them; a carry into degrees.
  EXPECT_EQ(
      One({}, {Ascii(1, "S"), Rationals(2, {{33, 1}, {5150, 100}, {0, 1}}, O)}, "GPS Latitude"),
      "33\u00B051\u203230\u2033 S (33/1)");
  EXPECT_EQ(One({}, {Rationals(2, {{10, 1}, {59, 1}, {599999, 10000}}, O)}, "GPS Latitude"),
            "11\u00B00\u20320\u2033 (10/1)");
  // Damaged values show the raw value only.
  EXPECT_EQ(One({}, {Rationals(2, {{10, 0}, {0, 1}, {0, 1}}, O)}, "GPS Latitude"), "10/0");
  EXPECT_EQ(One({}, {Rational(2, 10, 1, O)}, "GPS Latitude"), "10/1");
}

// The readable values agree with exiv2's interpretation (`exiv2 -pt`) of the same file, after
// the differences of form listed in Normal().
TEST(ExifValues, AgreeWithExiv2) {
  if (std::system("exiv2 -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiv2 is not installed";
  const std::string P = WriteTemp("exiv2.jpg", Jpeg(CameraBlock(eboIntel)));
  auto Lines = [&](const char* Mode) {
    std::vector<std::string> L;
    std::string Out;
    if (FILE* F = popen(
            ("LC_ALL=C exiv2 " + std::string(Mode) + " '" + P + "' 2>/dev/null").c_str(), "r")) {
      char Buf[4096];
      size_t N;
      while ((N = fread(Buf, 1, sizeof Buf, F)) > 0)
        Out.append(Buf, N);
      pclose(F);
    }
    std::istringstream In(Out);
    for (std::string Line; std::getline(In, Line);)
      L.push_back(Line);
    return L;
  };
  // -pv names each entry by tag number and group, -pt interprets it; both list in one order.
  const auto Plain = Lines("-pv"), Told = Lines("-pt");
  ASSERT_EQ(Plain.size(), Told.size());
  ASSERT_GT(Plain.size(), 40u);
  struct TValues {
    std::string Plain, Told;
  };
  std::map<std::pair<std::string, unsigned>, TValues> Theirs;
  auto Rest = [](std::istringstream& In) {
    std::string V;
    std::getline(In, V);
    V.erase(0, std::min(V.size(), V.find_first_not_of(' ')));
    return V;
  };
  for (size_t I = 0; I < Plain.size(); ++I) {
    std::istringstream V(Plain[I]), T(Told[I]);
    std::string Hex, Group, Name, Key, Type;
    unsigned Count;
    ASSERT_TRUE(V >> Hex >> Group >> Name >> Type >> Count) << Plain[I];
    ASSERT_TRUE(T >> Key >> Type >> Count) << Told[I];
    Theirs[{Group, unsigned(std::stoul(Hex, nullptr, 16))}] = {Rest(V), Rest(T)};
  }
  // Same meaning, other words or marks. exiv2 names orientations by their first row and column,
  // shows exposure times as decimals and a user comment with its character code.
  auto Tokens = [](std::string S) {
    const std::pair<std::string, std::string> Same[] = {
        {"Rotated 90\u00B0 clockwise", "right, top"},
        {"\u00B0", " deg "},
        {"deg", " deg "},
        {"\u2032", "' "},
        {"\u2033", "\""},
        {"f/", "F"},
        {"Fired", "Yes"},
        {"Did not fire", "No"},
        {"Normal program", "Auto"},
        {"Pattern", "Multi-segment"},
        {"Not used", "0"},
        {"charset=Ascii", ""},
        {" UTC", ""},
        {"suppressed", "compulsory"},
        {"North", "N"},
        {"West", "W"}};
    for (const auto& [A, B] : Same)
      for (size_t At = 0; (At = S.find(A, At)) != std::string::npos; At += B.size())
        S.replace(At, A.size(), B);
    // "1/65 s" as the decimal exiv2 prints.
    if (S.rfind("1/", 0) == 0 && S.size() > 4 && S.compare(S.size() - 2, 2, " s") == 0)
      S = std::to_string(1.0 / std::stod(S.substr(2))) + " s";
    std::vector<std::string> T;
    for (size_t I = 0; I < S.size();) {
      if (std::isdigit(static_cast<unsigned char>(S[I]))) {
        size_t End;
        std::stod(S.substr(I), &End);
        T.push_back(S.substr(I, End));
        I += End;
      } else if (S[I] == ' ') {
        ++I;
      } else {
        if (T.empty() || std::isdigit(static_cast<unsigned char>(T.back().back())) ||
            (I > 0 && S[I - 1] == ' '))
          T.emplace_back();
        T.back() += S[I++];
      }
    }
    return T;
  };
  // Numbers agree to 1 % or within the last shown digit.
  auto Agree = [](const std::vector<std::string>& A, const std::vector<std::string>& B) {
    if (A.size() != B.size()) return false;
    for (size_t I = 0; I < A.size(); ++I) {
      const bool Number = std::isdigit(static_cast<unsigned char>(A[I][0])) &&
                          std::isdigit(static_cast<unsigned char>(B[I][0]));
      if (!Number) {
        if (A[I] != B[I]) return false;
        continue;
      }
      const double X = std::stod(A[I]), Y = std::stod(B[I]);
      if (std::abs(X - Y) > 0.01 * std::max(std::abs(X), std::abs(Y)) + 0.011) return false;
    }
    return true;
  };
  int Compared = 0, NotInterpreted = 0;
  for (const TExifEntry& E : ReadExifEntries(P)) {
    if (E.Readable.empty()) continue;
    const std::string Group = E.Chain == TExifChain::ecMain   ? "Image"
                              : E.Chain == TExifChain::ecExif ? "Photo"
                                                              : "GPSInfo";
    auto It = Theirs.find({Group, E.Tag});
    ASSERT_NE(It, Theirs.end()) << E.Name;
    if (It->second.Told == It->second.Plain) {
      ++NotInterpreted; // exiv2 shows the stored numbers only
      continue;
    }
    ++Compared;
    // exiv2 puts the hemisphere in its own entry.
    std::string Ours = E.Readable;
    if (E.Chain == TExifChain::ecGPS && (E.Tag == 2 || E.Tag == 4)) Ours.resize(Ours.size() - 2);
    EXPECT_TRUE(Agree(Tokens(Ours), Tokens(It->second.Told)))
        << E.Name << ": \"" << E.Readable << "\" vs exiv2 \"" << It->second.Told << "\"";
  }
  std::printf("[ exif ] %d readable values compared with exiv2, %d not interpreted by it\n",
              Compared, NotInterpreted);
  EXPECT_GT(Compared, 30);
}
