// The synthetic registry of the full-scan benchmarks: CLSIDs, ProgIDs, file
// extensions, uninstall entries, application paths and recent documents, a
// third of each broken, as one .reg text that both the memory layer's loader
// and regedit under Wine read, plus the files that make the rest valid.
#pragma once

#include <string>
#include <vector>

namespace tavik::bench {

struct SyntheticSize {
  int classIds = 20000;
  int progIds = 20000;
  int extensions = 5000;
  int uninstallEntries = 2000;
  int appPaths = 5000;
  int recentDocuments = 2000;

  // Every count multiplied by `factor` (at least 1 each).
  SyntheticSize Scaled(double factor) const;
  // The keys and values the scanners examine as entries.
  int Entries() const;
};

struct SyntheticRegistry {
  // "Windows Registry Editor Version 5.00" text, UTF-8, CR LF line ends.
  std::string regText;
  // Files and folders to create (a folder ends in a backslash).
  std::vector<std::u16string> files;
  // Shortcuts to create: link path and the target it resolves to.
  std::vector<std::pair<std::u16string, std::u16string>> shortcuts;
};

// `recentFolder` is the user's Recent folder, where the recent documents'
// shortcuts lie. Entry i is broken when i % 3 == 2.
SyntheticRegistry MakeSyntheticRegistry(const SyntheticSize& size,
                                        const std::u16string& recentFolder);

}  // namespace tavik::bench
