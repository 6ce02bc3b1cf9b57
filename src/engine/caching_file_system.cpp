#include "engine/caching_file_system.h"

#include "base/text.h"
#include "engine/file_reference.h"

namespace tavik {

namespace {

bool IsAsciiLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsAscii(std::u16string_view text) {
  for (const char16_t c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// The ASCII letters upper-cased, every other unit kept: two names with the
// same folding are the same name to Windows.
std::u16string FoldAscii(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = ToUpperAscii(c);
  return out;
}

// Units no Windows file name may hold; ':' also starts a stream name, and
// '*' and '?' are wildcards, which a listing would read as a pattern.
bool IsBadNameUnit(char16_t c) {
  return c < 0x20 ||
         std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos;
}

bool IsOddName(std::u16string_view name) {
  if (name.empty() || name.back() == u'.' || name.back() == u' ') return true;
  for (const char16_t c : name) {
    if (IsBadNameUnit(c)) return true;
  }
  return false;
}

// Names that Windows turns into devices in any folder and with any
// extension ("C:\dir\nul.txt" is the NUL device, which always "exists").
bool IsDeviceName(std::u16string_view part) {
  std::u16string base = FoldAscii(part.substr(0, part.find(u'.')));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  static constexpr std::u16string_view kDevices[] = {
      u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$", u"CLOCK$"};
  for (const auto device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() == 4 && (base.starts_with(u"COM") || base.starts_with(u"LPT"))) {
    const char16_t n = base[3];
    return (n >= u'0' && n <= u'9') || n == u'\u00B9' || n == u'\u00B2' ||
           n == u'\u00B3';
  }
  return false;
}

// An 8.3 name needs no short name of its own.
bool IsShortName(std::u16string_view name) {
  const size_t dot = name.find(u'.');
  const std::u16string_view base = name.substr(0, dot);
  const std::u16string_view extension =
      dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (dot != std::u16string_view::npos && extension.empty()) return false;
  for (const char16_t c : name.substr(0, base.size())) {
    if (c >= 0x80 || c <= u' ' || c == u'.' ||
        std::u16string_view(u"\"*+,/:;<=>?[\\]|").find(c) !=
            std::u16string_view::npos) {
      return false;
    }
  }
  for (const char16_t c : extension) {
    if (c >= 0x80 || c <= u' ' || c == u'.' ||
        std::u16string_view(u"\"*+,/:;<=>?[\\]|").find(c) !=
            std::u16string_view::npos) {
      return false;
    }
  }
  return true;
}

// Whether a name holding non-ASCII units could be `name` to Windows, which
// compares unit by unit after upper-casing each: ASCII against ASCII folds
// plainly, anything else might fold together.
bool MightBeSameName(std::u16string_view entry, std::u16string_view name) {
  if (entry.size() != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (entry[i] < 0x80 && name[i] < 0x80 &&
        ToUpperAscii(entry[i]) != ToUpperAscii(name[i])) {
      return false;
    }
  }
  return true;
}

std::u16string FolderPath(const std::u16string& drive,
                          const std::vector<std::u16string_view>& parts,
                          size_t count) {
  std::u16string path = drive + u"\\";
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) path += u'\\';
    path.append(parts[i]);
  }
  return path;
}

std::u16string ChildPath(const std::u16string& folder,
                         std::u16string_view name) {
  std::u16string path = folder;
  if (path.back() != u'\\') path += u'\\';
  path.append(name);
  return path;
}

std::u16string ParentFolder(const std::u16string& folder) {
  const size_t slash = folder.rfind(u'\\');
  return slash <= 2 ? folder.substr(0, 3) : folder.substr(0, slash);
}

}  // namespace

CachingFileSystem::CachingFileSystem(FileSystem& inner, uint32_t guards)
    : inner_(inner), guards_(guards) {}

// Only a plain absolute path "X:\folder\...\name" can be decided from a
// listing. Everything else keeps the real calls, because Windows resolves
// it in ways a listing of the named folder does not show:
CachingFileSystem::Answer CachingFileSystem::Lookup(const char16_t* path) {
  if (path == nullptr) return Answer::kUnknown;
  std::u16string_view text(path);
  // A plain relative name ("app.exe", "sub\\app.exe") is the current
  // folder's, asked for at each lookup as Windows does; the checks below
  // then apply to the whole path.
  std::u16string joined;
  if (!text.empty() && text[0] != u'\\' && text[0] != u'/' &&
      text.find(u':') == std::u16string_view::npos) {
    joined.assign(kMaxPath, u'\0');
    const uint32_t length =
        inner_.GetCurrentDirectoryW(kMaxPath, joined.data());
    if (length == 0 || length >= kMaxPath) return Answer::kUnknown;
    joined.resize(length);
    if (joined.back() != u'\\') joined += u'\\';
    joined.append(text);
    text = joined;
  }
  // Paths of MAX_PATH units or more fail or succeed by the caller's
  // long-path settings, not by what the folder holds.
  if ((guards_ & kGuardLongPaths) != 0 && text.size() >= kMaxPath) {
    return Answer::kUnknown;
  }
  // Drive-relative names ("C:app.exe") depend on that drive's own current
  // folder, root-relative ones ("\app.exe") on the current drive; UNC,
  // "\\?\" and "\\.\" paths bypass the normal name rules or name devices;
  // a bare root is no name in a folder.
  if (text.size() < 4 || !IsAsciiLetter(text[0]) || text[1] != u':' ||
      text[2] != u'\\') {
    return Answer::kUnknown;
  }
  std::vector<std::u16string_view> parts;
  size_t start = 3;
  while (true) {
    const size_t end = text.find(u'\\', start);
    const std::u16string_view part = text.substr(
        start, end == std::u16string_view::npos ? std::u16string_view::npos
                                                : end - start);
    // An empty part: a doubled backslash, or a trailing one, which asks
    // for a folder.
    if (part.empty()) return Answer::kUnknown;
    // "." and ".." are resolved by the path parser, not found in a folder.
    if ((guards_ & kGuardDotParts) != 0 && (part == u"." || part == u"..")) {
      return Answer::kUnknown;
    }
    // Windows drops trailing dots and blanks, so "app.exe." is "app.exe".
    if ((guards_ & kGuardTrailingDotsAndBlanks) != 0 &&
        (part.back() == u'.' || part.back() == u' ')) {
      return Answer::kUnknown;
    }
    // Streams ("file:stream"), wildcards, '/' separators and control units.
    if ((guards_ & kGuardBadCharacters) != 0) {
      for (const char16_t c : part) {
        if (IsBadNameUnit(c)) return Answer::kUnknown;
      }
    }
    // Device names exist everywhere without being listed.
    if ((guards_ & kGuardDeviceNames) != 0 && IsDeviceName(part)) {
      return Answer::kUnknown;
    }
    parts.push_back(part);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  const std::u16string drive{ToUpperAscii(text[0]), u':'};
  return LookupParts(drive, parts, parts.size(), false);
}

CachingFileSystem::Answer CachingFileSystem::LookupParts(
    const std::u16string& drive, const std::vector<std::u16string_view>& parts,
    size_t count, bool forChild) {
  const std::u16string folderPath = FolderPath(drive, parts, count - 1);
  Folder& folder = folders_[FoldAscii(folderPath)];
  const std::u16string_view name = parts[count - 1];
  if (!folder.listed && !folder.unlistable) {
    // A folder is listed once a second name is asked for in it: a folder
    // asked about once costs no more than before.
    // (A child folder that cannot be listed asks on behalf of the names
    // below it, so each of its asks counts.)
    if (forChild || folder.lastName != name) {
      ++folder.demand;
      folder.lastName = name;
    }
    if (folder.demand < 2) {
      // A folder asked about once is not listed, but when its parent is
      // listed already and lacks it, nothing in it exists.
      return count >= 2 && ParentListingLacks(drive, parts, count - 1)
                 ? Answer::kAbsent
                 : Answer::kUnknown;
    }
    folder.path = folderPath;
    std::vector<FolderEntry> entries;
    // A reparse point on the way leads elsewhere, perhaps somewhere that
    // changes or does not answer as a folder does.
    if (!FolderChainIsPlain(folderPath)) {
      folder.unlistable = true;
    } else {
      ++counts_.listings;
      if (inner_.ListFolder(folderPath.c_str(), entries) == 0) {
        MakeListing(entries, folder.listing);
        folder.listed = true;
      } else {
        folder.unlistable = true;
      }
    }
  }
  if (folder.unlistable) {
    // A folder that cannot be listed may still hold files that open (the
    // user may traverse it without reading it): only when the folder
    // itself is missing from its parent is nothing in it there.
    if (count >= 2 && LookupParts(drive, parts, count - 1, true) ==
                          Answer::kAbsent) {
      return Answer::kAbsent;
    }
    return Answer::kUnknown;
  }
  const Answer answer = MatchName(folder.listing, name);
  if (answer == Answer::kAbsent) folder.absentNames.emplace(name);
  return answer;
}

bool CachingFileSystem::ParentListingLacks(
    const std::u16string& drive, const std::vector<std::u16string_view>& parts,
    size_t count) {
  const auto parent = folders_.find(FoldAscii(FolderPath(drive, parts, count - 1)));
  if (parent == folders_.end() || !parent->second.listed) return false;
  const std::u16string_view name = parts[count - 1];
  if (MatchName(parent->second.listing, name) != Answer::kAbsent) return false;
  parent->second.absentNames.emplace(name);
  return true;
}

CachingFileSystem::Answer CachingFileSystem::MatchName(
    const Listing& listing, std::u16string_view name) const {
  const auto found = listing.byFoldedName.find(FoldAscii(name));
  if (found != listing.byFoldedName.end()) {
    // A link or junction may lead to nothing: the real calls decide.
    if ((guards_ & kGuardReparsePoints) != 0 &&
        (found->second & kFileAttributeReparsePoint) != 0) {
      return Answer::kUnknown;
    }
    return Answer::kPresent;
  }
  if (listing.hasOddNames) return Answer::kUnknown;
  // Windows folds non-ASCII case by its own table, which the cache does not
  // carry: a non-ASCII name is only proved present by an entry that equals
  // it, never proved missing.
  if ((guards_ & kGuardNonAsciiNames) != 0 && !IsAscii(name)) {
    return Answer::kUnknown;
  }
  // "PROGRA~1" may be an entry's short name that the listing did not give.
  if ((guards_ & kGuardShortNames) != 0 && !listing.shortNamesComplete &&
      name.find(u'~') != std::u16string_view::npos) {
    return Answer::kUnknown;
  }
  for (const auto& entry : listing.nonAsciiNames) {
    if (MightBeSameName(entry, name)) return Answer::kUnknown;
  }
  return Answer::kAbsent;
}

bool CachingFileSystem::FolderChainIsPlain(const std::u16string& folderPath) {
  const std::u16string key = FoldAscii(folderPath);
  const auto known = plainFolders_.find(key);
  if (known != plainFolders_.end()) return known->second;
  const uint32_t attributes = inner_.GetFileAttributesW(folderPath.c_str());
  bool plain = attributes != kInvalidFileAttributes &&
               (attributes & kFileAttributeDirectory) != 0;
  if ((guards_ & kGuardReparsePoints) != 0 &&
      (attributes & kFileAttributeReparsePoint) != 0) {
    plain = false;
  }
  if (plain && folderPath.size() > 3) {
    plain = FolderChainIsPlain(ParentFolder(folderPath));
  }
  plainFolders_[key] = plain;
  return plain;
}

void CachingFileSystem::MakeListing(const std::vector<FolderEntry>& entries,
                                    Listing& listing) const {
  listing = Listing{};
  for (const auto& entry : entries) {
    listing.byFoldedName.emplace(FoldAscii(entry.fileName), entry.attributes);
    if (!entry.alternateFileName.empty()) {
      listing.byFoldedName.emplace(FoldAscii(entry.alternateFileName),
                                   entry.attributes);
    } else if (!IsShortName(entry.fileName)) {
      listing.shortNamesComplete = false;
    }
    if (!IsAscii(entry.fileName)) listing.nonAsciiNames.push_back(entry.fileName);
    if (IsOddName(entry.fileName)) listing.hasOddNames = true;
  }
}

bool CachingFileSystem::RealFileExists(const char16_t* path) {
  // The same judgement as a scan's: a name that cannot be judged stays.
  return FileExists(inner_, path) == 1;
}

bool CachingFileSystem::ConfirmAbsentAnswers() {
  bool unchanged = true;
  for (auto& [key, folder] : folders_) {
    if (folder.absentNames.empty()) continue;
    std::vector<FolderEntry> entries;
    Listing listing;
    ++counts_.confirmListings;
    const bool listed = inner_.ListFolder(folder.path.c_str(), entries) == 0;
    if (listed) MakeListing(entries, listing);
    for (const auto& name : folder.absentNames) {
      if (listed && MatchName(listing, name) == Answer::kAbsent) continue;
      // What the new listing cannot show missing, the real calls judge.
      if (RealFileExists(ChildPath(folder.path, name).c_str())) {
        unchanged = false;
      }
    }
  }
  return unchanged;
}

// --- FileSystem ---

uint32_t CachingFileSystem::GetFileAttributesW(const char16_t* path) {
  return inner_.GetFileAttributesW(path);
}

bool CachingFileSystem::PathFileExistsW(const char16_t* path) {
  switch (Lookup(path)) {
    case Answer::kPresent:
      ++counts_.answeredPresent;
      return true;
    case Answer::kAbsent:
      ++counts_.answeredAbsent;
      return false;
    case Answer::kUnknown:
      break;
  }
  ++counts_.passedThrough;
  return inner_.PathFileExistsW(path);
}

bool CachingFileSystem::OpenExistingFile(const char16_t* path, uint32_t access,
                                         uint32_t share, uint32_t flags,
                                         uint32_t* error) {
  // A name missing from its listed folder opens in no way, as a file not
  // found; whatever is there is opened for real, since the access asked
  // for decides the answer.
  if (Lookup(path) == Answer::kAbsent) {
    ++counts_.answeredAbsent;
    if (error != nullptr) *error = kErrorFileMissing;
    return false;
  }
  ++counts_.passedThrough;
  return inner_.OpenExistingFile(path, access, share, flags, error);
}

bool CachingFileSystem::PathStripToRootW(char16_t* path) {
  return inner_.PathStripToRootW(path);
}

uint32_t CachingFileSystem::GetDriveTypeW(const char16_t* root) {
  // Only "X:\" and "X:" are kept, and only while fixed: a removable drive
  // or share that appears during the scan is asked about again, and so
  // never judged.
  if (root == nullptr) return inner_.GetDriveTypeW(root);
  const std::u16string_view text(root);
  const bool driveRoot =
      (text.size() == 2 || (text.size() == 3 && text[2] == u'\\')) &&
      IsAsciiLetter(text[0]) && text[1] == u':';
  if (!driveRoot) return inner_.GetDriveTypeW(root);
  const std::u16string key = FoldAscii(text.substr(0, 2));
  if (fixedRoots_.count(key) != 0) {
    ++counts_.driveTypesKept;
    return kDriveFixed;
  }
  const uint32_t type = inner_.GetDriveTypeW(root);
  if (type == kDriveFixed) fixedRoots_[key] = type;
  return type;
}

uint32_t CachingFileSystem::ExpandEnvironmentStringsW(const char16_t* src,
                                                      char16_t* dst,
                                                      uint32_t dstChars) {
  return inner_.ExpandEnvironmentStringsW(src, dst, dstChars);
}

uint32_t CachingFileSystem::GetWindowsDirectoryW(char16_t* buffer,
                                                 uint32_t chars) {
  return inner_.GetWindowsDirectoryW(buffer, chars);
}

uint32_t CachingFileSystem::GetSystemWow64DirectoryW(char16_t* buffer,
                                                     uint32_t chars) {
  return inner_.GetSystemWow64DirectoryW(buffer, chars);
}

uint32_t CachingFileSystem::GetModuleFileNameW(char16_t* buffer,
                                               uint32_t chars) {
  return inner_.GetModuleFileNameW(buffer, chars);
}

int32_t CachingFileSystem::PathParseIconLocationW(char16_t* iconFile) {
  return inner_.PathParseIconLocationW(iconFile);
}

int32_t CachingFileSystem::SHGetFolderPathW(int32_t csidl, uint32_t flags,
                                            char16_t* path) {
  return inner_.SHGetFolderPathW(csidl, flags, path);
}

int32_t CachingFileSystem::LoadShellLinkTarget(const char16_t* linkPath,
                                               char16_t* target,
                                               uint32_t chars) {
  return inner_.LoadShellLinkTarget(linkPath, target, chars);
}

uint32_t CachingFileSystem::GetCurrentDirectoryW(uint32_t chars,
                                                 char16_t* buffer) {
  return inner_.GetCurrentDirectoryW(chars, buffer);
}

uint32_t CachingFileSystem::ListFolder(const char16_t* folder,
                                       std::vector<FolderEntry>& entries) {
  return inner_.ListFolder(folder, entries);
}

bool CachingFileSystem::ReadFileBytes(const char16_t* path,
                                      std::vector<uint8_t>& bytes) {
  return inner_.ReadFileBytes(path, bytes);
}

bool CachingFileSystem::WriteFileBytes(const char16_t* path,
                                       const std::vector<uint8_t>& bytes,
                                       bool append) {
  ForgetListings();
  return inner_.WriteFileBytes(path, bytes, append);
}

bool CachingFileSystem::DeleteFileW(const char16_t* path) {
  ForgetListings();
  return inner_.DeleteFileW(path);
}

bool CachingFileSystem::CreateDirectoryW(const char16_t* path) {
  ForgetListings();
  return inner_.CreateDirectoryW(path);
}

// What this process changes must be seen at once: every listing goes (the
// names answered "absent" stay to be confirmed).
void CachingFileSystem::ForgetListings() {
  for (auto& [key, folder] : folders_) {
    folder.listed = false;
    folder.unlistable = false;
    folder.demand = 0;
    folder.lastName.clear();
    folder.listing = Listing{};
  }
  plainFolders_.clear();
}

}  // namespace tavik
