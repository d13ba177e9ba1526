#include "engine/safefile.h"

#include "engine/messages.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

namespace {

// The folder part of a path ("." for a bare name) and the name part.
void SplitPath(const std::string& Path, std::string& Dir, std::string& Base) {
  const auto Slash = Path.find_last_of('/');
  if (Slash == std::string::npos) {
    Dir = ".";
    Base = Path;
  } else {
    Dir = Slash == 0 ? "/" : Path.substr(0, Slash);
    Base = Path.substr(Slash + 1);
  }
}

// Unnamed files can be given a name only through /proc (linkat of /proc/self/fd/N).
bool CanNameUnnamedFiles() {
  static const bool Can = access("/proc/self/fd", X_OK) == 0;
  return Can;
}

// The process's umask without changing it (umask() would, for a moment, for every thread).
mode_t CurrentUmask() {
  if (std::FILE* F = std::fopen("/proc/self/status", "re")) {
    char Line[256];
    unsigned Mask = 0;
    bool Found = false;
    while (!Found && std::fgets(Line, sizeof Line, F))
      Found = std::sscanf(Line, "Umask: %o", &Mask) == 1;
    std::fclose(F);
    if (Found) return mode_t(Mask);
  }
  return 022;
}

// A commit gives the finished file a hidden name ".NAME.PID-N" for the instant before the rename;
// a process killed in between leaves it for good. Such a name, of a process that no longer runs,
// yields NAME; anything else (other patterns, running processes) yields "".
std::string StaleCommitTarget(const std::string& Entry) {
  if (Entry.size() < 6 || Entry[0] != '.') return {};
  const size_t Dash = Entry.rfind('-');
  if (Dash == std::string::npos || Dash + 1 == Entry.size()) return {};
  for (size_t I = Dash + 1; I < Entry.size(); ++I)
    if (!std::isdigit(static_cast<unsigned char>(Entry[I]))) return {};
  const size_t Dot = Entry.rfind('.', Dash);
  if (Dot == std::string::npos || Dot <= 1 || Dot + 1 == Dash) return {};
  for (size_t I = Dot + 1; I < Dash; ++I)
    if (!std::isdigit(static_cast<unsigned char>(Entry[I]))) return {};
  if (Dash - Dot - 1 > 9) return {};
  const long Pid = std::strtol(Entry.c_str() + Dot + 1, nullptr, 10);
  if (Pid <= 0 || Pid == long(getpid())) return {};
  if (kill(pid_t(Pid), 0) == 0 || errno != ESRCH) return {}; // running (or not ours to ask)
  return Entry.substr(1, Dot - 1);
}

// Stale commit names of one folder, listed once per process (a tool writing thousands of files
// into a folder must not read the folder for each), by the name they were meant to get.
class TStaleCommits {
public:
  // Removes the stale commit files of Name in Dir.
  void Sweep(const std::string& Dir, const std::string& Name) {
    std::lock_guard<std::mutex> Lock(FMutex);
    auto It = FFolders.find(Dir);
    if (It == FFolders.end()) It = FFolders.emplace(Dir, List(Dir)).first;
    auto Found = It->second.find(Name);
    if (Found == It->second.end()) return;
    for (const std::string& Entry : Found->second) {
      const std::string Path = (Dir == "/" ? "" : Dir) + "/" + Entry;
      struct stat St;
      // Only a plain file of this user with no other name, as a commit leaves it.
      if (lstat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode) && St.st_uid == geteuid() &&
          St.st_nlink == 1 && StaleCommitTarget(Entry) == Name)
        unlink(Path.c_str());
    }
    It->second.erase(Found);
  }

private:
  static std::map<std::string, std::vector<std::string>> List(const std::string& Dir) {
    std::map<std::string, std::vector<std::string>> Stale;
    if (DIR* D = opendir(Dir.c_str())) {
      while (dirent* E = readdir(D))
        if (E->d_name[0] == '.')
          if (std::string Name = StaleCommitTarget(E->d_name); !Name.empty())
            Stale[Name].push_back(E->d_name);
      closedir(D);
    }
    return Stale;
  }

  std::mutex FMutex;
  std::map<std::string, std::map<std::string, std::vector<std::string>>> FFolders;
};

TStaleCommits& StaleCommits() {
  static TStaleCommits* S = new TStaleCommits; // lives until exit, also for late writers
  return *S;
}

void Trace(const char* Call, const std::string& Path) {
  if (const auto& T = SafeFileTrace()) T(Call, Path);
}

std::string UniqueSuffix() {
  static std::atomic<unsigned> Counter{0};
  return std::to_string(getpid()) + "-" + std::to_string(Counter++);
}

} // namespace

std::string CannotCreateText(const std::string& Target, int Error) {
  return "Cannot create file \"" + Target + "\". " + std::strerror(Error);
}

TSafeFile::TSafeFile(const std::string& Target, TCommitMode Mode)
    : FTarget(Target), FPath(Target), FMode(Mode) {
  if (Target.empty() || Target.back() == '/')
    Fail("Cannot create file", Target.empty() ? ENOENT : EISDIR);
  struct stat Link, St;
  bool Exists = false;
  if (lstat(Target.c_str(), &Link) == 0) {
    if (Mode == TCommitMode::cmNoReplace) throw EPGTargetExists(CannotCreateText(Target, EEXIST));
    if (S_ISLNK(Link.st_mode)) {
      // Replace the file the link names and keep the link; a dangling link is not replaced.
      char* Real = realpath(Target.c_str(), nullptr);
      if (!Real) {
        if (errno == ENOENT)
          throw EPGStreamError("Cannot create file \"" + Target +
                               "\". The symbolic link points to a file that does not exist");
        Fail("Cannot create file", errno);
      }
      FPath = Real;
      std::free(Real);
    }
    if (stat(FPath.c_str(), &St) != 0) Fail("Cannot create file", errno);
    if (S_ISDIR(St.st_mode)) Fail("Cannot create file", EISDIR);
    if (!S_ISREG(St.st_mode))
      throw EPGStreamError("Cannot create file \"" + Target + "\". Not a regular file");
    // A read-only file is the user saying "do not change this", whoever runs the program.
    if (!(St.st_mode & S_IWUSR)) Fail("Cannot create file", EACCES);
    Exists = true;
  } else if (errno != ENOENT) {
    Fail("Cannot create file", errno);
  }

  std::string Base;
  SplitPath(FPath, FDir, Base);
  StaleCommits().Sweep(FDir, Base);
#ifdef O_TMPFILE
  if (CanNameUnnamedFiles()) {
    FFd = open(FDir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (FFd >= 0)
      FUnnamed = true;
    else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
      Fail("Cannot create file", errno);
  }
#endif
  if (FFd < 0) {
    // File systems without unnamed files: a hidden name in the same folder.
    std::string Tmpl = (FDir == "/" ? "" : FDir) + "/." + Base + ".XXXXXX";
    FFd = mkostemp(Tmpl.data(), O_CLOEXEC);
    if (FFd < 0) Fail("Cannot create file", errno);
    FTempName = Tmpl;
    if (!Exists) fchmod(FFd, 0666 & ~CurrentUmask());
  }
  if (Exists) {
    // The replacement keeps the old file's owner and group where the process may set them, and
    // its mode (after the owner, since a change of owner clears set-id bits).
    if (fchown(FFd, St.st_uid, St.st_gid) != 0) {
      // Not permitted: the file belongs to whoever writes it, as any new file does.
    }
    fchmod(FFd, St.st_mode & 07777);
  }
}

TSafeFile::~TSafeFile() {
  Discard();
}

void TSafeFile::Discard() {
  if (FFd >= 0) close(FFd);
  FFd = -1;
  if (!FTempName.empty()) unlink(FTempName.c_str());
  FTempName.clear();
}

void TSafeFile::Fail(const std::string& What, int Error) const {
  throw EPGStreamError(What + " \"" + FTarget + "\". " + std::strerror(Error));
}

void TSafeFile::Write(const void* Data, size_t Count) {
  if (FFd < 0) Fail("Cannot write file", EBADF);
  const char* P = static_cast<const char*>(Data);
  while (Count > 0) {
    const ssize_t N = ::write(FFd, P, Count);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) Fail("Cannot write file", N < 0 ? errno : ENOSPC);
    P += N;
    Count -= size_t(N);
  }
}

void TSafeFile::StartWriteback() {
  if (FFd >= 0) sync_file_range(FFd, 0, 0, SYNC_FILE_RANGE_WRITE); // a hint: failures do not matter
}

void TSafeFile::Sync() {
  if (FFd < 0) Fail("Cannot write file", EBADF);
  Trace("fsync", FPath);
  if (fsync(FFd) != 0) Fail("Cannot write file", errno);
  FSynced = true;
}

void TSafeFile::Commit() {
  if (!FSynced) Sync();
  Name();
  Trace("syncfolder", FDir);
  SyncFolder(FDir);
}

void TSafeFile::Name() {
  if (FFd < 0 || !FSynced) Fail("Cannot write file", EBADF);
  Trace("name", FPath);
  if (FUnnamed) {
    const std::string Proc = "/proc/self/fd/" + std::to_string(FFd);
    if (FMode == TCommitMode::cmNoReplace) {
      if (linkat(AT_FDCWD, Proc.c_str(), AT_FDCWD, FPath.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        if (errno == EEXIST) throw EPGTargetExists(CannotCreateText(FTarget, EEXIST));
        Fail("Cannot create file", errno);
      }
    } else {
      // The complete file gets a hidden name for the instant before it replaces the target.
      std::string Dir, Base, Hidden;
      SplitPath(FPath, Dir, Base);
      int Linked = -1;
      for (int Try = 0; Linked != 0 && Try < 100; ++Try) {
        Hidden = (Dir == "/" ? "" : Dir) + "/." + Base + "." + UniqueSuffix();
        Linked = linkat(AT_FDCWD, Proc.c_str(), AT_FDCWD, Hidden.c_str(), AT_SYMLINK_FOLLOW);
        if (Linked != 0 && errno != EEXIST) Fail("Cannot create file", errno);
      }
      if (Linked != 0) Fail("Cannot create file", EEXIST);
      if (std::rename(Hidden.c_str(), FPath.c_str()) != 0) {
        const int Error = errno;
        unlink(Hidden.c_str());
        Fail("Cannot create file", Error);
      }
    }
  } else if (FMode == TCommitMode::cmNoReplace) {
    if (!RenameNoReplace(FTempName, FPath)) {
      if (errno == EEXIST) throw EPGTargetExists(CannotCreateText(FTarget, EEXIST));
      Fail("Cannot create file", errno);
    }
    FTempName.clear();
  } else {
    if (std::rename(FTempName.c_str(), FPath.c_str()) != 0) Fail("Cannot create file", errno);
    FTempName.clear();
  }
  close(FFd);
  FFd = -1;
}

void TSafeFileGroup::Add(std::unique_ptr<TSafeFile> File, uint64_t Bytes) {
  FFiles.push_back(std::move(File));
  FBytes += Bytes;
}

std::vector<std::exception_ptr> TSafeFileGroup::Commit() {
  std::vector<std::exception_ptr> Result(FFiles.size());
  // One syncfs per file system; where it fails, each of its files syncs on its own and reports
  // its own failure.
  std::vector<dev_t> Synced, Failed;
  for (const auto& F : FFiles) {
    struct stat St;
    if (F->FFd < 0 || fstat(F->FFd, &St) != 0) continue;
    if (std::find(Synced.begin(), Synced.end(), St.st_dev) != Synced.end() ||
        std::find(Failed.begin(), Failed.end(), St.st_dev) != Failed.end())
      continue;
    Trace("syncfs", F->FPath);
    (syncfs(F->FFd) == 0 ? Synced : Failed).push_back(St.st_dev);
  }
  for (size_t I = 0; I < FFiles.size(); ++I) {
    TSafeFile& F = *FFiles[I];
    try {
      struct stat St;
      if (F.FFd >= 0 && fstat(F.FFd, &St) == 0 &&
          std::find(Synced.begin(), Synced.end(), St.st_dev) != Synced.end())
        F.FSynced = true;
      else
        F.Sync();
      F.Name();
    } catch (...) {
      Result[I] = std::current_exception();
    }
  }
  std::vector<std::string> Folders;
  for (size_t I = 0; I < FFiles.size(); ++I)
    if (!Result[I] && std::find(Folders.begin(), Folders.end(), FFiles[I]->FDir) == Folders.end())
      Folders.push_back(FFiles[I]->FDir);
  for (const std::string& Folder : Folders) {
    Trace("syncfolder", Folder);
    SyncFolder(Folder);
  }
  FFiles.clear();
  FBytes = 0;
  return Result;
}

void TSafeFileGroup::Discard() {
  FFiles.clear(); // each file removes its temporary
  FBytes = 0;
}

std::function<void(const char* Call, const std::string& Path)>& SafeFileTrace() {
  static std::function<void(const char*, const std::string&)> T;
  return T;
}

void WriteFileSafely(const std::string& Target, const void* Data, size_t Count, TCommitMode Mode) {
  TSafeFile File(Target, Mode);
  File.Write(Data, Count);
  File.Commit();
}

bool RenameNoReplace(const std::string& From, const std::string& To) {
  if (renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  // File systems without the flag: a second name fails on an existing target, then the first goes.
  if (link(From.c_str(), To.c_str()) != 0) return false;
  if (unlink(From.c_str()) != 0) {
    const int Error = errno;
    unlink(To.c_str());
    errno = Error;
    return false;
  }
  return true;
}

bool SyncFolder(const std::string& Folder) {
  const int Fd = open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) return false;
  const bool Ok = fsync(Fd) == 0;
  const int Error = errno;
  close(Fd);
  errno = Error;
  return Ok;
}

} // namespace orbisk
