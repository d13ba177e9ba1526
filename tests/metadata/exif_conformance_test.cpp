// The camera pictures of the corpus, entry for entry against `exiv2 -pv`.
//
// Known, intended differences (each counted and printed):
// - Numbers: the list shows the first value of an entry; exiv2 prints all of them.
// - Ascii values are cut at 255 bytes.
// - "User Comment" is listed as bytes; exiv2 decodes it as text. The text is compared.
// - The byte-order mark is only looked for in the first 64 bytes: an EXIF segment behind a
//   large APP2 (ICC profile) is not found and the list is empty.
// - exiv2 drops Exif and interoperability tags that a writer put into IFD0; we list every
//   entry that is there.
// - exiv2 refuses an Exif offset entry whose type is not Long; we follow its value field.
#include "metadata/exif.h"
#include "tests/common/shelloutput.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

using namespace orbisk;

namespace {

struct TExiv2Entry {
  unsigned Tag = 0;
  std::string Group, Type;
  uint32_t Count = 0;
  std::string Value;
  bool Used = false;
};

std::string Quote(const std::string& S) {
  std::string R = "'";
  for (char C : S)
    R += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return R + "'";
}

std::string RunCapture(const std::string& Command) {
  return orbisk::test::ShellOutput(Command);
}

// Lines look like "0x010f Image        Make      Ascii       6  Canon"; a value with line
// breaks continues on the following lines.
std::vector<TExiv2Entry> Exiv2Entries(const std::string& Path) {
  std::vector<TExiv2Entry> Out;
  std::istringstream In(RunCapture("LC_ALL=C exiv2 -pv " + Quote(Path) + " 2>/dev/null"));
  std::string Line;
  while (std::getline(In, Line)) {
    std::istringstream L(Line);
    std::string Hex, Name;
    TExiv2Entry E;
    if (Line.rfind("0x", 0) == 0 && (L >> Hex >> E.Group >> Name >> E.Type >> E.Count)) {
      E.Tag = unsigned(std::stoul(Hex, nullptr, 16));
      auto At = L.tellg();
      E.Value = At < 0 ? "" : Line.substr(size_t(At) + std::min<size_t>(2, Line.size() - At));
      Out.push_back(E);
    } else if (!Out.empty()) {
      Out.back().Value += "\n" + Line;
    }
  }
  return Out;
}

std::string Exiv2Group(const TExifEntry& E) {
  if (E.Chain == TExifChain::ecGPS) return E.Directory == 0 ? "GPSInfo" : "";
  if (E.Chain == TExifChain::ecExif) return E.Directory == 0 ? "Photo" : "";
  if (E.Directory == 0) return "Image";
  if (E.Directory == 1) return "Thumbnail";
  return "Image" + std::to_string(E.Directory);
}

const char* TypeName(uint16_t T) {
  static const char* Names[] = {"",          "Byte",  "Ascii",     "Short",  "Long",
                                "Rational",  "SByte", "Undefined", "SShort", "SLong",
                                "SRational", "Float", "Double"};
  return T < 13 ? Names[T] : "";
}

// Where the TIFF header of the EXIF segment starts, or 0 for a TIFF file.
size_t HeaderPosition(const std::vector<uint8_t>& B) {
  if (B.size() < 4 || B[0] != 0xFF || B[1] != 0xD8) return 0;
  size_t P = 2;
  while (P + 4 <= B.size() && B[P] == 0xFF && B[P + 1] != 0xDA) {
    size_t Len = size_t(B[P + 2]) << 8 | B[P + 3];
    if (B[P + 1] == 0xE1 && P + 10 <= B.size() &&
        std::equal(B.begin() + P + 4, B.begin() + P + 10, "Exif\0\0"))
      return P + 10;
    P += 2 + Len;
  }
  return SIZE_MAX;
}

std::string CommentText(const std::string& S) {
  std::string T = S.substr(0, S.find('\0'));
  while (!T.empty() && T.back() == ' ')
    T.pop_back();
  return T;
}

std::string OurCommentText(const std::string& Value) {
  std::string Bytes;
  std::istringstream In(Value);
  for (std::string N; std::getline(In, N, ',');)
    Bytes += char(std::stoi(N));
  return CommentText(Bytes.size() > 8 ? Bytes.substr(8) : "");
}

std::string Exiv2CommentText(std::string V) {
  if (V.rfind("charset=", 0) == 0)
    V = V.find(' ') == std::string::npos ? "" : V.substr(V.find(' ') + 1);
  return CommentText(V);
}

bool MisplacedInIfd0(const TExifEntry& E) {
  return E.Chain == TExifChain::ecMain && E.Directory == 0 &&
         ((E.Tag >= 0xA000 && E.Tag <= 0xA4FF) || (E.Tag >= 0x1000 && E.Tag <= 0x1002));
}

} // namespace

TEST(ExifConformance, CameraPicturesAgreeWithExiv2) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "corpus folder absent";
  if (std::system("exiv2 -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiv2 is not installed";

  std::vector<test::ManifestEntry> Files;
  for (const char* Format : {"JPEG", "TIFF"})
    for (auto& M : test::ManifestFor(Format))
      if (M.Path.rfind("exif-samples/", 0) == 0) Files.push_back(M);
  ASSERT_FALSE(Files.empty());

  std::map<std::string, int> Explained;
  int Compared = 0, Entries = 0, Unexplained = 0;
  for (const auto& F : Files) {
    std::string Path = test::CorpusDir() + "/" + F.Path;
    SCOPED_TRACE(F.Path);
    std::vector<TExifEntry> Ours = ReadExifEntries(Path);
    std::vector<TExiv2Entry> Theirs = Exiv2Entries(Path);
    auto Fail = [&](const std::string& What) {
      ++Unexplained;
      ADD_FAILURE() << What;
    };

    size_t Header = HeaderPosition(test::ReadFileBytes(Path));
    if (Header != SIZE_MAX && Header > ExifHeaderWindow - 8) {
      ++Explained["EXIF segment beyond the first 64 bytes (files)"];
      if (!Ours.empty()) Fail("entries found although the EXIF segment lies beyond the window");
      continue;
    }
    ++Compared;

    bool ExifLinkNotLong = false;
    for (const auto& E : Ours)
      if (E.Tag == 34665 && E.Chain == TExifChain::ecMain && E.Type != 4) ExifLinkNotLong = true;

    for (const auto& E : Ours) {
      std::string Group = Exiv2Group(E);
      auto It = std::find_if(Theirs.begin(), Theirs.end(), [&](const TExiv2Entry& T) {
        return !T.Used && T.Group == Group && T.Tag == E.Tag;
      });
      if (It == Theirs.end()) {
        if (MisplacedInIfd0(E))
          ++Explained["Exif tag in IFD0, dropped by exiv2"];
        else if (E.Chain == TExifChain::ecExif && ExifLinkNotLong)
          ++Explained["Exif IFD behind a non-Long offset, refused by exiv2"];
        else
          Fail(Group + " tag " + std::to_string(E.Tag) + " (" + E.Name + ") not listed by exiv2");
        continue;
      }
      It->Used = true;
      ++Entries;
      std::string Where = Group + " tag " + std::to_string(E.Tag) + " (" + E.Name + ")";
      EXPECT_EQ(It->Type, TypeName(E.Type)) << Where;
      EXPECT_EQ(It->Count, E.Count) << Where;

      std::string Want = It->Value;
      switch (E.Type) {
      case 2:
        if (Want.size() > ExifAsciiMax) {
          Want.resize(ExifAsciiMax);
          ++Explained["Ascii cut at 255 bytes"];
        }
        break;
      case 7:
        if (E.Tag == 37510) {
          ++Explained["User Comment compared as text"];
          if (OurCommentText(E.Value) != Exiv2CommentText(Want))
            Fail(Where + ": comment \"" + OurCommentText(E.Value) + "\" vs \"" + Want + "\"");
          continue;
        }
        std::replace(Want.begin(), Want.end(), ' ', ',');
        break;
      case 11:
      case 12:
        ++Explained["Float and Double listed empty"];
        continue;
      default:
        if (E.Count > 1) ++Explained["first of several numbers"];
        Want = Want.substr(0, Want.find(' '));
        if (E.Type == 4 && !Want.empty() && std::stoll(Want) > INT32_MAX)
          Want = std::to_string(int32_t(uint32_t(std::stoll(Want))));
      }
      if (E.Value != Want) Fail(Where + ": \"" + E.Value + "\" vs exiv2 \"" + Want + "\"");
    }
    for (const auto& T : Theirs)
      if (!T.Used && (T.Group == "Image" || T.Group == "Thumbnail" || T.Group == "Photo"))
        Fail(T.Group + " tag " + std::to_string(T.Tag) + " listed by exiv2 only");
  }

  std::printf(
      "[ exif ] %zu files, %d compared, %d entries matched by tag, %d unexplained differences\n",
      Files.size(), Compared, Entries, Unexplained);
  for (const auto& [What, N] : Explained)
    std::printf("[ exif ]   %s: %d\n", What.c_str(), N);
  EXPECT_GT(Compared, 40);
  EXPECT_GT(Entries, 1000);
}
