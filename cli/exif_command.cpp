#include "cli/exif_command.h"

#include "metadata/exif.h"

#include <cstdio>
#include <exception>
#include <iostream>

namespace orbisk {

namespace {

const char* const ExifUsage = "usage: orbisk-cli exif [--detail | --date] FILE...\n";

// Keeps one entry per line whatever bytes a camera stored.
std::string Escaped(const std::string& S) {
  std::string R;
  R.reserve(S.size());
  for (unsigned char C : S) {
    if (C == '\t')
      R += "\\t";
    else if (C == '\n')
      R += "\\n";
    else if (C == '\r')
      R += "\\r";
    else if (C < 0x20 || C == 0x7F) {
      char Hex[8];
      std::snprintf(Hex, sizeof Hex, "\\x%02X", C);
      R += Hex;
    } else
      R += static_cast<char>(C);
  }
  return R;
}

enum class TExifMode { List, Detail, Date };

void PrintFile(const std::string& File, TExifMode Mode, bool Several) {
  switch (Mode) {
  case TExifMode::Date: {
    std::string Date = GetExifDateTime(File);
    if (Several) std::cout << Escaped(File) << '\t';
    std::cout << Escaped(Date) << '\n';
    break;
  }
  case TExifMode::List:
    for (const TExifRow& R : ListExifData(File))
      std::cout << Escaped(R.Description) << '\t' << Escaped(R.Value) << '\n';
    break;
  case TExifMode::Detail:
    for (const TExifEntry& E : ReadExifEntries(File))
      std::cout << (E.Chain == TExifChain::ecMain   ? "main"
                    : E.Chain == TExifChain::ecExif ? "exif"
                                                    : "gps")
                << '\t' << E.Directory << '\t' << E.Tag << '\t' << E.Type << '\t' << E.Count << '\t'
                << Escaped(E.Name) << '\t' << Escaped(E.Value) << '\t' << Escaped(E.Readable)
                << '\n';
    break;
  }
}

} // namespace

int RunExifCommand(const std::vector<std::string>& Args) {
  TExifMode Mode = TExifMode::List;
  size_t First = 0;
  if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h")) {
    std::cout << ExifUsage;
    return 0;
  }
  if (!Args.empty() && Args[0] == "--date") {
    Mode = TExifMode::Date;
    First = 1;
  } else if (!Args.empty() && Args[0] == "--detail") {
    Mode = TExifMode::Detail;
    First = 1;
  }
  if (First < Args.size() && Args[First] == "--") ++First;
  if (First >= Args.size()) {
    std::cerr << ExifUsage;
    return 2;
  }

  bool Several = Args.size() - First > 1;
  int Status = 0;
  for (size_t I = First; I < Args.size(); ++I) {
    const std::string& File = Args[I];
    if (Several && Mode != TExifMode::Date)
      std::cout << (I > First ? "\n" : "") << Escaped(File) << ":\n";
    try {
      PrintFile(File, Mode, Several);
    } catch (const std::exception& E) {
      std::cout.flush();
      std::cerr << "orbisk-cli exif: " << E.what() << '\n';
      Status = 1;
    }
  }
  std::cout.flush();
  return Status;
}

} // namespace orbisk
