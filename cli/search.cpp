// orbisk-cli search FOLDER [criteria]: the file search window's walk below one folder, with its
// name pattern and its further criteria; results sorted as the window lists them.
#include "cli/commands.h"

#include "browser/searchmodel.h"
#include "metadata/criteria.h"

#include <QString>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>

namespace orbisk {

namespace {

long long Count(const std::string& Name, const std::string& S) {
  char* End = nullptr;
  const long long V = std::strtoll(S.c_str(), &End, 10);
  if (S.empty() || *End || V < 0 || V > (1LL << 40))
    throw std::runtime_error(Name + " needs a whole number of 0 or more, not \"" + S + "\"");
  return V;
}

} // namespace

int RunSearchCommand(const std::vector<std::string>& Args) {
  const ParsedArgs P = ParseArgs(Args, {},
                                 {"--name", "--taken-from", "--taken-to", "--camera", "--min-width",
                                  "--max-width", "--min-height", "--max-height", "--min-bytes",
                                  "--max-bytes", "--modified-from", "--modified-to"});
  if (P.Files.size() != 1) throw std::runtime_error("search needs exactly one FOLDER");
  std::string Pattern = "*";
  TSearchCriteria C;
  for (const auto& [Name, V] : P.Options) {
    if (Name == "--name")
      Pattern = V;
    else if (Name == "--taken-from")
      C.TakenFrom = V;
    else if (Name == "--taken-to")
      C.TakenTo = V;
    else if (Name == "--camera")
      C.Camera = V;
    else if (Name == "--modified-from")
      C.ModifiedFrom = V;
    else if (Name == "--modified-to")
      C.ModifiedTo = V;
    else if (Name == "--min-bytes")
      C.MinBytes = Count(Name, V);
    else if (Name == "--max-bytes")
      C.MaxBytes = Count(Name, V);
    else {
      const long long N = Count(Name, V);
      if (N > 1000000000) throw std::runtime_error(Name + " is too large");
      if (Name == "--min-width") C.MinWidth = int(N);
      if (Name == "--max-width") C.MaxWidth = int(N);
      if (Name == "--min-height") C.MinHeight = int(N);
      if (Name == "--max-height") C.MaxHeight = int(N);
    }
  }
  std::string Why;
  if (!CheckCriteria(C, Why)) throw std::runtime_error(Why);
  const std::string& Root = P.Files[0];
  struct stat St;
  if (::stat(Root.c_str(), &St) != 0 || !S_ISDIR(St.st_mode))
    throw std::runtime_error("The folder \"" + Root + "\" does not exist");

  const TWildcard Wildcard(QString::fromLocal8Bit(Pattern.c_str()));
  const std::atomic<bool> Stop{false};
  std::vector<TSearchResult> Found;
  WalkForFiles(Root, Wildcard, Stop, [&](std::string&& Path) {
    if (std::optional<TSearchResult> R = FoundResult(std::move(Path), C))
      Found.push_back(std::move(*R));
    return true;
  });
  std::sort(Found.begin(), Found.end(), ResultLess);
  for (const TSearchResult& R : Found) {
    std::fwrite(R.Path.data(), 1, size_t(R.Path.size()), stdout);
    if (!C.Empty()) std::printf("\t%s", R.Value.toUtf8().constData());
    std::fputc('\n', stdout);
  }
  return 0;
}

} // namespace orbisk
