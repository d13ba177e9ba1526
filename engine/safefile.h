// Writing files without ever leaving a damaged one behind. Data goes into an unnamed temporary
// file in the target's folder, which gets its name only when it is complete and synced; a failed,
// cancelled or killed write leaves the old file (or no file) and no debris. Every file the program
// writes goes through here: pictures (through the registry), copies, albums, web pages, settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orbisk {

enum class TCommitMode {
  cmReplace,  // the finished file replaces the target (a symbolic link's file, keeping the link)
  cmNoReplace // the target must not exist; an existing one is never replaced (EPGTargetExists)
};

class TSafeFile {
public:
  // Prepares the temporary file. Refuses, with EPGStreamError naming Target and the reason: a
  // target without write permission for its owner (read-only means "do not change this", whoever
  // runs the program), a folder, a special file, a dangling symbolic link, a folder that cannot
  // be written. Under cmNoReplace an existing target raises EPGTargetExists.
  explicit TSafeFile(const std::string& Target, TCommitMode Mode = TCommitMode::cmReplace);
  ~TSafeFile(); // discards the data unless committed
  TSafeFile(const TSafeFile&) = delete;
  TSafeFile& operator=(const TSafeFile&) = delete;

  // The descriptor to write to (positioned writes and seeks are fine).
  int Descriptor() const { return FFd; }
  // The name given, used in messages.
  const std::string& Target() const { return FTarget; }
  // The file that will be written (the link's file when Target is a symbolic link).
  const std::string& Destination() const { return FPath; }

  void Write(const void* Data, size_t Count);
  // Asks the kernel to start writing the data out now (no waiting), so that a later sync of many
  // files finds most of it written.
  void StartWriteback();
  // Syncs the data, gives it the destination's name and syncs the folder. Raises EPGStreamError
  // (EPGTargetExists under cmNoReplace when the name was taken meanwhile); the old file stays.
  void Commit();

private:
  friend class TSafeFileGroup;
  [[noreturn]] void Fail(const std::string& What, int Error) const;
  void Discard();
  void Sync();
  // Gives the synced data its name (the folder is not synced).
  void Name();

  std::string FTarget, FPath, FDir, FTempName;
  TCommitMode FMode;
  int FFd = -1;
  bool FUnnamed = false; // an O_TMPFILE file, named only at the commit
  bool FSynced = false;
};

// Files written one after the other and named together, with one sync for all: their data is
// synced by one syncfs() of each file system they are on (each file's own fsync where that
// fails, so that the failing files are known), only then does each get its name, and each
// folder is synced once at the end. No file has its name before its data is on disk.
class TSafeFileGroup {
public:
  TSafeFileGroup() = default;
  TSafeFileGroup(const TSafeFileGroup&) = delete;
  TSafeFileGroup& operator=(const TSafeFileGroup&) = delete;
  ~TSafeFileGroup() { Discard(); }

  // Takes a completely written file.
  void Add(std::unique_ptr<TSafeFile> File, uint64_t Bytes);
  size_t Count() const { return FFiles.size(); }
  uint64_t Bytes() const { return FBytes; }
  // Syncs and names every file; per file in the order added, nullptr when it has its name, else
  // what the file's own Commit would have raised. The group is empty afterwards.
  std::vector<std::exception_ptr> Commit();
  // Drops every file: none gets a name, no temporary stays.
  void Discard();

private:
  std::vector<std::unique_ptr<TSafeFile>> FFiles;
  uint64_t FBytes = 0;
};

// Test seam: when set, told of every sync and naming of the safe files, in the order they
// happen: ("fsync", destination), ("syncfs", destination of the file whose descriptor served),
// ("name", destination), ("syncfolder", folder).
std::function<void(const char* Call, const std::string& Path)>& SafeFileTrace();

// The whole of Data as the file Target, through TSafeFile.
void WriteFileSafely(const std::string& Target, const void* Data, size_t Count,
                     TCommitMode Mode = TCommitMode::cmReplace);

// Renames From to To unless To exists (renameat2 with RENAME_NOREPLACE; a link and unlink
// where the file system does not offer it). False with errno set on failure (EEXIST when To
// exists).
bool RenameNoReplace(const std::string& From, const std::string& To);

// Syncs a folder's entries (after a rename into it). False with errno set on failure.
bool SyncFolder(const std::string& Folder);

// "Cannot create file "Target". Reason" — the text of every refusal to write Target.
std::string CannotCreateText(const std::string& Target, int Error);

} // namespace orbisk
