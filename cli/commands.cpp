#include "cli/commands.h"

#include "engine/pixelgraphic.h"
#include "engine/registry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

namespace orbisk {

long WholeNumber(const std::string& Name, const std::string& S, long Lo, long Hi) {
  char* End = nullptr;
  const long V = std::strtol(S.c_str(), &End, 10);
  if (S.empty() || *End || V < Lo || V > Hi)
    throw std::runtime_error(Name + " needs a whole number from " + std::to_string(Lo) + " to " +
                             std::to_string(Hi) + ", not \"" + S + "\"");
  return V;
}

ParsedArgs ParseArgs(const std::vector<std::string>& Args, const std::vector<std::string>& Flags,
                     const std::vector<std::string>& Valued) {
  ParsedArgs P;
  bool OnlyFiles = false;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (OnlyFiles || A.size() < 2 || A[0] != '-') {
      P.Files.push_back(A);
      continue;
    }
    if (A == "--") {
      OnlyFiles = true;
      continue;
    }
    std::string Name = A, Value;
    bool HasValue = false;
    if (auto Eq = A.find('='); Eq != std::string::npos) {
      Name = A.substr(0, Eq);
      Value = A.substr(Eq + 1);
      HasValue = true;
    }
    if (std::find(Flags.begin(), Flags.end(), Name) != Flags.end() && !HasValue) {
      P.Options.emplace_back(Name, "");
    } else if (std::find(Valued.begin(), Valued.end(), Name) != Valued.end()) {
      if (!HasValue) {
        if (I + 1 >= Args.size()) throw std::runtime_error("option " + Name + " needs a value");
        Value = Args[++I];
      }
      P.Options.emplace_back(Name, Value);
    } else {
      throw std::runtime_error("unknown option " + A + " (see orbisk-cli --help)");
    }
  }
  return P;
}

int RunInfoCommand(const std::vector<std::string>& Args) {
  ParsedArgs P = ParseArgs(Args, {}, {});
  if (P.Files.empty()) throw std::runtime_error("info needs at least one FILE");
  int Status = 0;
  for (const auto& F : P.Files) {
    TGraphicFileInfo Info;
    PrepareToRead(F);
    if (P.Files.size() > 1) std::printf("%s:\n", F.c_str());
    if (!GetGraphicFileInfo(F, 0, Info)) {
      // The query only answers yes or no; load the file to tell the user why.
      std::string Why = "the file loads, but its information cannot be read";
      try {
        TPixelGraphic G;
        G.ReadWarningAction = pgwaIgnore;
        G.LoadFromFile(F);
      } catch (const std::exception& E) {
        Why = E.what();
      }
      std::fprintf(stderr, "%s: %s\n", F.c_str(), Why.c_str());
      Status = 1;
      continue;
    }
    std::printf("Type: %s\nSubType: %s\nOptions: %s\nWidth: %d\nHeight: %d\nColors: %s\n"
                "BitsPerPixel: %d\nGraphicCount: %d\n",
                Info.Type.c_str(), Info.SubType.c_str(), Info.Options.c_str(), Info.Width,
                Info.Height, Info.Colors.c_str(), Info.BitsPerPixel, Info.GraphicCount);
  }
  return Status;
}

} // namespace orbisk
