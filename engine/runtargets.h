// The names one run of a tool gives the files it writes into folders (thumbnails, web albums,
// sheets): it never replaces a file it did not write in this run unless the user said so, and
// names that collide within the run get "_2", "_3", ... before their extension.
#pragma once

#include <set>
#include <string>

namespace orbisk {

struct TRunTarget {
  std::string Path;      // Folder + "/" + the name chosen
  bool Existing = false; // a file of that name was there before the run (skip it unless Overwrite)
};

class TRunTargets {
public:
  explicit TRunTargets(bool Overwrite = false) : FOverwrite(Overwrite) {}

  // The file to write for Stem + Ext in Folder (Folder without a trailing "/"; names compared
  // ignoring ASCII case, as on the web and on case-insensitive file systems). A name this run has
  // already given is taken with "_2", "_3", ... after Stem. Existing is set when a file, folder or
  // link of the chosen name exists and Overwrite is off: the caller skips it and reports it. The
  // name counts as given either way, so a later file of the same stem gets the next number.
  TRunTarget Claim(const std::string& Folder, const std::string& Stem, const std::string& Ext);

  // True when Path was given by Claim in this run.
  bool Claimed(const std::string& Path) const;

private:
  bool FOverwrite;
  std::set<std::string> FGiven; // lower-cased paths
};

} // namespace orbisk
