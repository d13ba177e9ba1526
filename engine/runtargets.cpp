#include "engine/runtargets.h"

#include <sys/stat.h>

#include <cctype>

namespace orbisk {

namespace {
std::string Lower(std::string S) {
  for (char& C : S)
    C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}
} // namespace

TRunTarget TRunTargets::Claim(const std::string& Folder, const std::string& Stem,
                              const std::string& Ext) {
  const std::string Base = Folder.empty() ? std::string() : Folder + "/";
  std::string Path = Base + Stem + Ext;
  for (int N = 2; FGiven.count(Lower(Path)); ++N)
    Path = Base + Stem + "_" + std::to_string(N) + Ext;
  FGiven.insert(Lower(Path));
  struct stat St;
  TRunTarget R;
  R.Path = Path;
  R.Existing = !FOverwrite && ::lstat(Path.c_str(), &St) == 0;
  return R;
}

bool TRunTargets::Claimed(const std::string& Path) const {
  return FGiven.count(Lower(Path)) > 0;
}

} // namespace orbisk
