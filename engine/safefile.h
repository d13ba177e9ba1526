// Writing files without ever leaving a damaged one behind. Data goes into an unnamed temporary
// file in the target's folder, which gets its name only when it is complete and synced; a failed,
// cancelled or killed write leaves the old file (or no file) and no debris. Every file the program
// writes goes through here: pictures (through the registry), copies, albums, web pages, settings.
#pragma once

#include <cstddef>
#include <string>

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
  // Syncs the data, gives it the destination's name and syncs the folder. Raises EPGStreamError
  // (EPGTargetExists under cmNoReplace when the name was taken meanwhile); the old file stays.
  void Commit();

private:
  [[noreturn]] void Fail(const std::string& What, int Error) const;
  void Discard();

  std::string FTarget, FPath, FDir, FTempName;
  TCommitMode FMode;
  int FFd = -1;
  bool FUnnamed = false; // an O_TMPFILE file, named only at the commit
};

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
