// EXIF reader: pictures built byte by byte here, in both byte orders.
#include "metadata/exif.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A TIFF structure: the main chain's directories one after the other (each linked to the
// next), then the Exif directory. Values longer than four bytes follow their directory.
Bytes Build(ExifByteOrder O, const std::vector<std::vector<Field>>& Main,
            const std::vector<Field>& Exif = {}) {
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
      {254, "NewSubFile Type"},     {306, "DateTime"},
      {33434, "Exposure Time"},     {34665, "ExifOffset"},
      {36864, "Exif Version"},      {37500, "Maker Note"},
      {41729, "Scene Type"},        {0, "Undefined (0)"},
      {255, "Undefined (255)"},     {41730, "Undefined (41730)"},
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
  EXPECT_EQ(Out, "Make\tTab\\there\nExifOffset\t48\nF Number\t56/10\n");

  std::string Dated =
      WriteTemp("cli-dated.jpg", Jpeg(Build(O, {{Ascii(306, "2004:01:02 03:04:05")}})));
  EXPECT_EQ(RunCli({"exif", "--date", Dated}, &Out, &Err), 0) << Err;
  EXPECT_EQ(Out, "2004:01:02 03:04:05\n");
  EXPECT_EQ(RunCli({"exif", "--date", Missing, Dated}, &Out, &Err), 1);
  EXPECT_EQ(Out, Dated + "\t2004:01:02 03:04:05\n");

  EXPECT_EQ(RunCli({"exif", Plain, Missing, Good}, &Out, &Err), 1);
  EXPECT_EQ(Out, Plain + ":\n\n" + Missing + ":\n\n" + Good +
                     ":\nMake\tTab\\there\nExifOffset\t48\nF Number\t56/10\n");
  EXPECT_NE(Err.find("cli-missing.jpg"), std::string::npos) << Err;

  EXPECT_EQ(RunCli({"exif", "--detail", Good}, &Out, &Err), 0) << Err;
  EXPECT_NE(Out.find("exif\t0\t33437\t5\t1\tF Number\t56/10\n"), std::string::npos) << Out;

  EXPECT_EQ(RunCli({"exif"}, &Out, &Err), 2);
}
