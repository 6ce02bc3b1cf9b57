// A per-scan cache in front of any FileSystem. It answers the existence tests
// of FileExists from one listing per folder and keeps the type of fixed
// drives, so that a scan asks the file system far less often. Whatever a
// listing cannot decide with certainty goes to the real calls unchanged.
// An "absent" answer can go stale while the scan runs; ConfirmAbsentAnswers
// re-lists the folders those answers came from before the scan reports.
// Lives for one scan, on the scan's thread.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_system.h"

namespace tavik {

// The guards that send a path to the real calls. All are on in a scan; a
// test switches one off to show that it is needed.
enum CacheGuard : uint32_t {
  kGuardLongPaths = 1u << 0,
  kGuardDotParts = 1u << 1,
  kGuardTrailingDotsAndBlanks = 1u << 2,
  kGuardDeviceNames = 1u << 3,
  kGuardBadCharacters = 1u << 4,
  kGuardReparsePoints = 1u << 5,
  kGuardNonAsciiNames = 1u << 6,
  kGuardShortNames = 1u << 7,
  kAllCacheGuards = 0xFFFFFFFFu,
};

struct FileCacheCounts {
  uint64_t listings = 0;         // folder listings made
  uint64_t answeredPresent = 0;  // existence tests answered "present"
  uint64_t answeredAbsent = 0;   // existence tests answered "absent"
  uint64_t passedThrough = 0;    // existence tests left to the real calls
  uint64_t driveTypesKept = 0;   // drive-type queries answered from the cache
  uint64_t confirmListings = 0;  // re-listings made to confirm "absent"
};

class CachingFileSystem final : public FileSystem {
 public:
  explicit CachingFileSystem(FileSystem& inner,
                             uint32_t guards = kAllCacheGuards);

  // True when every "absent" answered from a listing still holds: each
  // folder that gave one is listed again (or, where it cannot be, each name
  // is tested with the real calls). False when a name has appeared since,
  // and then the scan's findings may rest on a stale answer.
  bool ConfirmAbsentAnswers();
  const FileCacheCounts& counts() const { return counts_; }

  // --- FileSystem ---
  uint32_t GetFileAttributesW(const char16_t* path) override;
  bool PathFileExistsW(const char16_t* path) override;
  bool OpenExistingFile(const char16_t* path, uint32_t access, uint32_t share,
                        uint32_t flags, uint32_t* error) override;
  bool PathStripToRootW(char16_t* path) override;
  uint32_t GetDriveTypeW(const char16_t* root) override;
  uint32_t ExpandEnvironmentStringsW(const char16_t* src, char16_t* dst,
                                     uint32_t dstChars) override;
  uint32_t GetWindowsDirectoryW(char16_t* buffer, uint32_t chars) override;
  uint32_t GetSystemWow64DirectoryW(char16_t* buffer, uint32_t chars) override;
  uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t chars) override;
  int32_t PathParseIconLocationW(char16_t* iconFile) override;
  int32_t SHGetFolderPathW(int32_t csidl, uint32_t flags,
                           char16_t* path) override;
  int32_t LoadShellLinkTarget(const char16_t* linkPath, char16_t* target,
                              uint32_t chars) override;
  uint32_t GetCurrentDirectoryW(uint32_t chars, char16_t* buffer) override;
  uint32_t ListFolder(const char16_t* folder,
                      std::vector<FolderEntry>& entries) override;
  bool ReadFileBytes(const char16_t* path,
                     std::vector<uint8_t>& bytes) override;
  bool WriteFileBytes(const char16_t* path, const std::vector<uint8_t>& bytes,
                      bool append) override;
  bool DeleteFileW(const char16_t* path) override;
  bool CreateDirectoryW(const char16_t* path) override;

 private:
  enum class Answer { kPresent, kAbsent, kUnknown };
  void ForgetListings();

  // What one listing of a folder tells.
  struct Listing {
    // Entries by name with the ASCII letters upper-cased (other units
    // kept), long and short names alike; the value is the entry's
    // attributes.
    std::unordered_map<std::u16string, uint32_t> byFoldedName;
    // Names holding non-ASCII units, which Windows may fold onto ASCII
    // letters (U+0131 onto I, U+212A onto K, U+017F onto S).
    std::vector<std::u16string> nonAsciiNames;
    // An entry no Windows name could be (trailing dot or blank, a
    // character a name cannot hold): the real lookup may map names onto
    // it in ways a listing cannot show.
    bool hasOddNames = false;
    // Short names: some entry whose long name is no 8.3 name came without
    // a short name, so a lookup by short name cannot be proved missing.
    bool shortNamesComplete = true;
  };

  struct Folder {
    int32_t demand = 0;       // distinct names asked for before listing
    std::u16string lastName;  // the name last asked for
    std::u16string path;      // as first asked for, once listed
    bool listed = false;
    bool unlistable = false;
    Listing listing;
    std::set<std::u16string> absentNames;  // answered "absent", to confirm
  };

  Answer Lookup(const char16_t* path);
  Answer LookupParts(const std::u16string& drive,
                     const std::vector<std::u16string_view>& parts,
                     size_t count, bool forChild);
  // Whether the already listed parent of parts[0..count) lacks it; asks
  // for no listing.
  bool ParentListingLacks(const std::u16string& drive,
                          const std::vector<std::u16string_view>& parts,
                          size_t count);
  Answer MatchName(const Listing& listing, std::u16string_view name) const;
  bool FolderChainIsPlain(const std::u16string& folderKey);
  void MakeListing(const std::vector<FolderEntry>& entries,
                   Listing& listing) const;
  bool RealFileExists(const char16_t* path);

  FileSystem& inner_;
  const uint32_t guards_;
  // Folders by their path with the ASCII letters upper-cased, no trailing
  // backslash except at a drive root ("C:\").
  std::map<std::u16string, Folder> folders_;
  std::map<std::u16string, bool> plainFolders_;
  std::map<std::u16string, uint32_t> fixedRoots_;
  FileCacheCounts counts_;
};

}  // namespace tavik
