#include "platform/memory/memory_file_system.h"

#include <algorithm>

#include "base/text.h"

namespace tavik {

namespace {

constexpr int32_t kSOk = 0;
constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);
constexpr int32_t kEInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr int32_t kCsidlFlagMask = 0xFF00;  // CSIDL_FLAG_CREATE and friends
constexpr uint32_t kFileAttributeArchive = 0x20;

bool IsAsciiLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

std::u16string ToUpper(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = ToUpperAscii(c);
  return out;
}

std::u16string WithBackslashes(std::u16string_view text) {
  std::u16string out(text);
  std::replace(out.begin(), out.end(), u'/', u'\\');
  return out;
}

// Copies `text` into a buffer of `chars` units, cut to fit, terminated.
void CopyCut(std::u16string_view text, char16_t* buffer, size_t chars) {
  if (buffer == nullptr || chars == 0) return;
  const size_t n = std::min(text.size(), chars - 1);
  std::copy_n(text.begin(), n, buffer);
  buffer[n] = 0;
}

// shlwapi's PathIsRootW: "\", "X:\", "\\server" and "\\server\share".
bool IsRootText(const char16_t* path) {
  if (path[0] == 0) return false;
  if (path[0] == u'\\') {
    if (path[1] == 0) return true;
    if (path[1] != u'\\') return false;
    bool seenSlash = false;
    for (const char16_t* p = path + 2; *p; ++p) {
      if (*p == u'\\') {
        if (seenSlash) return false;
        seenSlash = true;
      }
    }
    return true;
  }
  return path[1] == u':' && path[2] == u'\\' && path[3] == 0;
}

// Cuts a path's last part as shlwapi does; false when nothing was cut.
bool RemoveLastPart(char16_t* path) {
  char16_t* p = path;
  char16_t* cut = path;
  if (*p == u'\\') cut = ++p;
  if (*p == u'\\') cut = ++p;
  while (*p) {
    if (*p == u'\\') {
      cut = p;
    } else if (*p == u':') {
      cut = ++p;
      if (*p == u'\\') ++cut;
      if (*p == 0) break;
    }
    ++p;
  }
  if (*cut == 0) return false;
  *cut = 0;
  return true;
}

// shlwapi's StrToIntW: an optional '-' and decimal digits at the very start.
int32_t StrToInt(const char16_t* text) {
  bool negative = false;
  if (*text == u'-') {
    negative = true;
    ++text;
  }
  uint32_t value = 0;
  while (*text >= u'0' && *text <= u'9') {
    value = value * 10 + static_cast<uint32_t>(*text - u'0');
    ++text;
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

}  // namespace

MemoryFileSystem::MemoryFileSystem()
    : windowsDirectory_(u"C:\\windows"),
      currentDirectory_(u"C:\\scan"),
      moduleFileName_(u"C:\\Program Files\\Tavik\\RegistryCleaner.exe") {
  SetDriveType(u'C', kDriveFixed);
  AddFolder(u"C:\\windows\\system32");
  AddFolder(u"C:\\windows\\Fonts");
  AddFolder(u"C:\\scan");
  AddFolder(u"C:\\users\\user\\Recent");
  AddFolder(u"C:\\Program Files\\Tavik");  // the executable's folder
  const std::pair<const char16_t*, const char16_t*> environment[] = {
      {u"SystemRoot", u"C:\\windows"},
      {u"windir", u"C:\\windows"},
      {u"SystemDrive", u"C:"},
      {u"ProgramFiles", u"C:\\Program Files"},
      {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"},
      {u"CommonProgramFiles", u"C:\\Program Files\\Common Files"},
      {u"CommonProgramFiles(x86)", u"C:\\Program Files (x86)\\Common Files"},
      {u"USERPROFILE", u"C:\\users\\user"},
      {u"APPDATA", u"C:\\users\\user\\AppData\\Roaming"},
      {u"TEMP", u"C:\\users\\user\\AppData\\Local\\Temp"},
  };
  for (const auto& [name, value] : environment) SetEnvironment(name, value);
  SetSpecialFolder(kCsidlFonts, u"C:\\windows\\Fonts");
  SetSpecialFolder(kCsidlRecent, u"C:\\users\\user\\Recent");
}

// --- paths ---

std::u16string MemoryFileSystem::Absolute(const std::u16string& path) const {
  const std::u16string text = WithBackslashes(path);
  if (text.empty()) return {};
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x20 ||
        std::u16string_view(u"*?\"<>|").find(c) != std::u16string_view::npos) {
      return {};
    }
    if (c == u':' && (i != 1 || !IsAsciiLetter(text[0]))) return {};
  }
  // UNC names and device paths are never in memory.
  if (text.size() >= 2 && text[0] == u'\\' && text[1] == u'\\') return {};

  std::u16string joined;
  if (text.size() >= 2 && text[1] == u':') {
    const char16_t drive = ToUpperAscii(text[0]);
    const std::u16string rest = text.substr(2);
    if (!rest.empty() && rest[0] == u'\\') {
      joined = text;
    } else if (drive == ToUpperAscii(currentDirectory_[0])) {
      // "X:name" is relative to the current folder of that drive.
      joined = currentDirectory_ + u"\\" + rest;
    } else {
      joined = std::u16string(1, drive) + u":\\" + rest;
    }
  } else if (text[0] == u'\\') {
    joined = currentDirectory_.substr(0, 2) + text;
  } else {
    joined = currentDirectory_ + u"\\" + text;
  }

  std::vector<std::u16string> parts;
  size_t start = 3;  // past "X:\"
  while (start <= joined.size()) {
    size_t end = joined.find(u'\\', start);
    if (end == std::u16string::npos) end = joined.size();
    std::u16string part = joined.substr(start, end - start);
    const bool last = end == joined.size();
    start = end + 1;
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    if (last) {
      // Win32 drops trailing dots and blanks of the last part...
      while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) {
        part.pop_back();
      }
      if (part.empty()) continue;
    } else if (part.back() == u'.') {
      part.pop_back();  // ...and one trailing dot of every folder part.
    }
    parts.push_back(std::move(part));
  }
  std::u16string result{ToUpperAscii(joined[0]), u':'};
  if (parts.empty()) result += u'\\';
  for (const auto& part : parts) result += u"\\" + part;
  return result;
}

std::u16string MemoryFileSystem::Normalize(const std::u16string& path) const {
  return ToUpper(Absolute(path));
}

const MemoryFileSystem::Entry* MemoryFileSystem::Find(
    const char16_t* path) const {
  if (path == nullptr) return nullptr;
  const std::u16string text = WithBackslashes(path);
  auto it = entries_.find(Normalize(text));
  if (it == entries_.end()) return nullptr;
  // "file.txt\" names a folder that is not there.
  if (!it->second.folder && !text.empty() && text.back() == u'\\') {
    return nullptr;
  }
  return &it->second;
}

uint32_t MemoryFileSystem::FileTestError(const char16_t* path) const {
  if (path == nullptr || fileTestErrors_.empty()) return 0;
  const std::u16string key = Normalize(WithBackslashes(path));
  for (const auto& [prefix, error] : fileTestErrors_) {
    if (key.starts_with(prefix) &&
        (key.size() == prefix.size() || key[prefix.size()] == u'\\' ||
         prefix.back() == u'\\')) {
      return error;
    }
  }
  return 0;
}

// --- set-up helpers ---

void MemoryFileSystem::SetFileTestError(const std::u16string& prefix,
                                        uint32_t error) {
  const std::u16string key = Normalize(WithBackslashes(prefix));
  std::erase_if(fileTestErrors_,
                [&key](const auto& entry) { return entry.first == key; });
  if (error != 0) fileTestErrors_.emplace_back(key, error);
}

void MemoryFileSystem::SetDriveType(char16_t letter, uint32_t type) {
  drives_[ToUpperAscii(letter)] = type;
}

bool MemoryFileSystem::AddFile(const std::u16string& path,
                               std::vector<uint8_t> content) {
  const std::u16string text = WithBackslashes(path);
  if (text.size() < 2 || text[1] != u':') return false;
  const std::u16string key = Normalize(text);
  if (key.size() <= 3) return false;  // a drive root is no file
  // The parent as written, so that a listing shows its name's case.
  const std::u16string absolute = Absolute(text);
  const size_t cut = absolute.rfind(u'\\');
  const std::u16string parent = absolute.substr(0, cut == 2 ? 3 : cut);
  if (!AddFolder(parent)) return false;
  auto [it, inserted] = entries_.try_emplace(key);
  auto& entry = it->second;
  if (entry.folder) return false;
  if (inserted) entry.name = absolute.substr(cut + 1);
  entry.content = std::move(content);
  return true;
}

bool MemoryFileSystem::AddFolder(const std::u16string& path) {
  const std::u16string text = WithBackslashes(path);
  if (text.size() < 2 || text[1] != u':') return false;
  const std::u16string absolute = Absolute(text);
  const std::u16string key = ToUpper(absolute);
  if (key.empty()) return false;
  // The last part of `absolute` up to `end`, as the name a listing shows.
  auto nameAt = [&absolute](size_t end) {
    const size_t slash = absolute.rfind(u'\\', end - 1);
    return end <= 3 ? std::u16string() : absolute.substr(slash + 1, end - slash - 1);
  };
  // Every prefix ending before a backslash is a folder, the root included.
  for (size_t pos = 2; pos != std::u16string::npos;
       pos = key.find(u'\\', pos + 1)) {
    const std::u16string folder =
        pos == 2 ? key.substr(0, 3) : key.substr(0, pos);
    auto [it, inserted] = entries_.try_emplace(folder);
    if (inserted) {
      it->second.folder = true;
      it->second.name = nameAt(pos == 2 ? 3 : pos);
    }
    if (!it->second.folder) return false;
  }
  auto [it, inserted] = entries_.try_emplace(key);
  if (inserted) {
    it->second.folder = true;
    it->second.name = nameAt(key.size());
  }
  return it->second.folder;
}

bool MemoryFileSystem::Remove(const std::u16string& path) {
  const std::u16string key = Normalize(path);
  auto it = entries_.find(key);
  if (it == entries_.end()) return false;
  const std::u16string prefix = key.back() == u'\\' ? key : key + u'\\';
  it = entries_.erase(it);
  while (it != entries_.end() && it->first.starts_with(prefix)) {
    it = entries_.erase(it);
  }
  shellLinks_.erase(key);
  brokenShellLinks_.erase(key);
  return true;
}

void MemoryFileSystem::SetHiddenFromQuickTests(const std::u16string& path,
                                               bool hidden) {
  auto it = entries_.find(Normalize(path));
  if (it != entries_.end()) it->second.hiddenFromQuickTests = hidden;
}

void MemoryFileSystem::SetUnlistable(const std::u16string& path,
                                     bool unlistable) {
  auto it = entries_.find(Normalize(path));
  if (it != entries_.end()) it->second.unlistable = unlistable;
}

void MemoryFileSystem::SetReparsePoint(const std::u16string& path,
                                       bool reparse) {
  auto it = entries_.find(Normalize(path));
  if (it != entries_.end()) it->second.reparsePoint = reparse;
}

void MemoryFileSystem::SetEnvironment(const std::u16string& name,
                                      const std::u16string& value) {
  const std::u16string key = ToUpper(name);
  environment_[key] = value;
  envNames_[key] = name;
}

void MemoryFileSystem::SetWindowsDirectory(const std::u16string& path) {
  windowsDirectory_ = path;
}

void MemoryFileSystem::SetCurrentDirectory(const std::u16string& path) {
  const std::u16string text = WithBackslashes(path);
  if (text.size() < 2 || text[1] != u':') return;
  const std::u16string absolute = Absolute(text);
  if (!absolute.empty()) currentDirectory_ = absolute;
}

void MemoryFileSystem::SetModuleFileName(const std::u16string& path) {
  moduleFileName_ = path;
  // The program's folder exists, so files beside it can be written.
  const size_t slash = WithBackslashes(path).rfind(u'\\');
  if (slash != std::u16string::npos && slash > 2) {
    AddFolder(path.substr(0, slash));
  }
}

void MemoryFileSystem::SetSpecialFolder(int32_t csidl,
                                        const std::u16string& path) {
  specialFolders_[csidl] = path;
  failingFolders_.erase(csidl);
}

void MemoryFileSystem::FailSpecialFolder(int32_t csidl) {
  failingFolders_.insert(csidl);
}

void MemoryFileSystem::AddShellLink(const std::u16string& linkPath,
                                    const std::u16string& target) {
  AddFile(linkPath);
  const std::u16string key = Normalize(linkPath);
  shellLinks_[key] = target;
  brokenShellLinks_.erase(key);
}

void MemoryFileSystem::AddBrokenShellLink(const std::u16string& linkPath) {
  AddFile(linkPath);
  const std::u16string key = Normalize(linkPath);
  shellLinks_.erase(key);
  brokenShellLinks_.insert(key);
}

bool MemoryFileSystem::Exists(const std::u16string& path) const {
  return Find(path.c_str()) != nullptr;
}

bool MemoryFileSystem::FileContent(const std::u16string& path,
                                   std::vector<uint8_t>& content) const {
  const Entry* entry = Find(path.c_str());
  if (entry == nullptr || entry->folder) return false;
  content = entry->content;
  return true;
}

// --- FileSystem ---

uint32_t MemoryFileSystem::GetFileAttributesW(const char16_t* path) {
  ++existenceQueries_;
  if (FileTestError(path) != 0) return kInvalidFileAttributes;
  const Entry* entry = Find(path);
  if (entry == nullptr) return kInvalidFileAttributes;
  const uint32_t reparse = entry->reparsePoint ? kFileAttributeReparsePoint : 0;
  if (entry->folder) return kFileAttributeDirectory | reparse;
  return entry->hiddenFromQuickTests ? kInvalidFileAttributes
                                     : kFileAttributeArchive | reparse;
}

bool MemoryFileSystem::PathFileExistsW(const char16_t* path) {
  ++existenceQueries_;
  if (FileTestError(path) != 0) return false;
  const Entry* entry = Find(path);
  return entry != nullptr && !entry->hiddenFromQuickTests;
}

bool MemoryFileSystem::OpenExistingFile(const char16_t* path, uint32_t access,
                                        uint32_t share, uint32_t flags,
                                        uint32_t* error) {
  (void)access;
  (void)share;
  ++existenceQueries_;
  uint32_t failure = FileTestError(path);
  const Entry* entry = failure == 0 ? Find(path) : nullptr;
  if (failure == 0 && entry == nullptr) {
    const std::u16string text = path == nullptr ? u"" : WithBackslashes(path);
    const size_t slash = text.rfind(u'\\');
    const Entry* folder =
        slash == std::u16string::npos || slash < 2
            ? nullptr
            : Find(text.substr(0, slash == 2 ? 3 : slash).c_str());
    failure = folder != nullptr && folder->folder ? kErrorFileMissing
                                                  : kErrorPathMissing;
  }
  // Folders open only with backup semantics, as on Windows; locked files
  // only through the backup privilege's path.
  if (failure == 0 && (entry->folder || entry->hiddenFromQuickTests) &&
      (flags & kFileFlagBackupSemantics) == 0) {
    failure = kErrorFileAccessDenied;
  }
  if (failure != 0 && error != nullptr) *error = failure;
  return failure == 0;
}

bool MemoryFileSystem::PathStripToRootW(char16_t* path) {
  if (path == nullptr) return false;
  while (!IsRootText(path)) {
    if (!RemoveLastPart(path)) return false;
  }
  return true;
}

uint32_t MemoryFileSystem::GetDriveTypeW(const char16_t* root) {
  auto driveType = [this](char16_t letter) {
    auto it = drives_.find(ToUpperAscii(letter));
    return it == drives_.end() ? kDriveNoRootDir : it->second;
  };
  if (root == nullptr) return driveType(currentDirectory_[0]);
  const std::u16string text = WithBackslashes(root);
  if (text == u"\\") return driveType(currentDirectory_[0]);
  // "X:\" and, as Windows also accepts it, "X:" without the backslash.
  if ((text.size() == 2 || (text.size() == 3 && text[2] == u'\\')) &&
      text[1] == u':' && IsAsciiLetter(text[0])) {
    return driveType(text[0]);
  }
  // "\\server\share" with or without a trailing backslash.
  if (text.size() > 2 && text[0] == u'\\' && text[1] == u'\\' &&
      text[2] != u'?' && text[2] != u'.') {
    std::u16string_view rest(text);
    rest.remove_prefix(2);
    if (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
    const size_t slash = rest.find(u'\\');
    if (slash != std::u16string_view::npos && slash > 0 &&
        slash + 1 < rest.size() &&
        rest.find(u'\\', slash + 1) == std::u16string_view::npos) {
      return kDriveRemote;
    }
  }
  return kDriveNoRootDir;
}

uint32_t MemoryFileSystem::ExpandEnvironmentStringsW(const char16_t* src,
                                                     char16_t* dst,
                                                     uint32_t dstChars) {
  if (src == nullptr) return 0;
  const std::u16string_view text(src);
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      const size_t next = std::min(text.find(u'%', i), text.size());
      out.append(text.substr(i, next - i));
      i = next;
      continue;
    }
    const size_t close = text.find(u'%', i + 1);
    if (close == std::u16string_view::npos) {
      out.append(text.substr(i));  // a lone '%' stays
      break;
    }
    const std::u16string name = ToUpper(text.substr(i + 1, close - i - 1));
    auto it = environment_.find(name);
    if (it != environment_.end() && !name.empty()) {
      out += it->second;
      i = close + 1;
    } else {
      // Unknown: keep "%NAME" and start again at the closing '%'.
      out.append(text.substr(i, close - i));
      i = close;
    }
  }
  const auto needed = static_cast<uint32_t>(out.size() + 1);
  if (dst != nullptr && needed <= dstChars) {
    std::copy(out.begin(), out.end(), dst);
    dst[out.size()] = 0;
  }
  return needed;
}

uint32_t MemoryFileSystem::GetWindowsDirectoryW(char16_t* buffer,
                                                uint32_t chars) {
  const auto length = static_cast<uint32_t>(windowsDirectory_.size());
  if (buffer == nullptr || chars <= length) return length + 1;
  CopyCut(windowsDirectory_, buffer, chars);
  return length;
}

uint32_t MemoryFileSystem::GetSystemWow64DirectoryW(char16_t* buffer,
                                                    uint32_t chars) {
  const auto length = static_cast<uint32_t>(wow64Directory_.size());
  if (length == 0) return 0;
  if (buffer == nullptr || chars <= length) return length + 1;
  CopyCut(wow64Directory_, buffer, chars);
  return length;
}

uint32_t MemoryFileSystem::GetModuleFileNameW(char16_t* buffer,
                                              uint32_t chars) {
  if (buffer == nullptr || chars == 0) return 0;
  CopyCut(moduleFileName_, buffer, chars);
  const auto length = static_cast<uint32_t>(moduleFileName_.size());
  return length < chars ? length : chars;
}

int32_t MemoryFileSystem::PathParseIconLocationW(char16_t* iconFile) {
  if (iconFile == nullptr) return 0;
  int32_t index = 0;
  std::u16string text(iconFile);
  const size_t comma = text.find(u',');
  if (comma != std::u16string::npos) {
    index = StrToInt(iconFile + comma + 1);
    text.resize(comma);
  }
  // PathUnquoteSpacesW: a text wholly in double quotes loses them.
  if (!text.empty() && text.front() == u'"' && text.back() == u'"') {
    text = text.size() >= 2 ? text.substr(1, text.size() - 2) : u"";
  }
  // PathRemoveBlanksW: spaces only, not other white space.
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) {
    text.clear();
  } else {
    text = text.substr(first, text.find_last_not_of(u' ') - first + 1);
  }
  std::copy(text.begin(), text.end(), iconFile);
  iconFile[text.size()] = 0;
  return index;
}

int32_t MemoryFileSystem::SHGetFolderPathW(int32_t csidl, uint32_t flags,
                                           char16_t* path) {
  (void)flags;
  if (path == nullptr) return kEInvalidArg;
  path[0] = 0;
  const int32_t id = csidl & ~kCsidlFlagMask;
  auto it = specialFolders_.find(id);
  if (it == specialFolders_.end() || failingFolders_.count(id) != 0) {
    return kEFail;
  }
  CopyCut(it->second, path, kMaxPath);
  return kSOk;
}

int32_t MemoryFileSystem::LoadShellLinkTarget(const char16_t* linkPath,
                                              char16_t* target,
                                              uint32_t chars) {
  if (linkPath == nullptr) return -1;
  const Entry* entry = Find(linkPath);
  if (entry == nullptr || entry->folder) return -1;
  auto it = shellLinks_.find(Normalize(linkPath));
  if (it == shellLinks_.end()) return -1;
  // GetPath writes nothing for a link without a file-system path.
  if (!it->second.empty()) CopyCut(it->second, target, chars);
  return 0;
}

uint32_t MemoryFileSystem::GetCurrentDirectoryW(uint32_t chars,
                                                char16_t* buffer) {
  const auto length = static_cast<uint32_t>(currentDirectory_.size());
  if (buffer == nullptr || chars <= length) return length + 1;
  CopyCut(currentDirectory_, buffer, chars);
  return length;
}

uint32_t MemoryFileSystem::ListFolder(const char16_t* folder,
                                      std::vector<FolderEntry>& entries) {
  constexpr uint32_t kErrorAccessDenied = 5;
  constexpr uint32_t kErrorPathNotFound = 3;
  constexpr uint32_t kErrorDirectory = 267;
  entries.clear();
  ++folderListings_;
  const Entry* entry = Find(folder);
  if (entry == nullptr) return kErrorPathNotFound;
  if (!entry->folder) return kErrorDirectory;
  if (entry->unlistable) return kErrorAccessDenied;
  std::u16string prefix = Normalize(folder);
  if (prefix.back() != u'\\') prefix += u'\\';
  for (auto it = entries_.lower_bound(prefix);
       it != entries_.end() && it->first.starts_with(prefix); ++it) {
    // Neither the folder itself (a drive root ends with its backslash) nor
    // what lies deeper.
    if (it->first.size() == prefix.size() ||
        it->first.find(u'\\', prefix.size()) != std::u16string::npos) {
      continue;
    }
    const Entry& child = it->second;
    const uint32_t reparse =
        child.reparsePoint ? kFileAttributeReparsePoint : 0;
    entries.push_back(FolderEntry{
        child.name, u"",
        (child.folder ? kFileAttributeDirectory : kFileAttributeArchive) |
            reparse});
  }
  return 0;
}

bool MemoryFileSystem::ReadFileBytes(const char16_t* path,
                                     std::vector<uint8_t>& bytes) {
  const Entry* entry = Find(path);
  if (entry == nullptr || entry->folder) return false;
  bytes = entry->content;
  return true;
}

bool MemoryFileSystem::WriteFileBytes(const char16_t* path,
                                      const std::vector<uint8_t>& bytes,
                                      bool append) {
  if (path == nullptr) return false;
  const std::u16string key = Normalize(path);
  if (key.size() <= 3) return false;
  // As CreateFileW, the folder must exist already.
  const size_t cut = key.rfind(u'\\');
  auto parent = entries_.find(key.substr(0, cut == 2 ? 3 : cut));
  if (parent == entries_.end() || !parent->second.folder) return false;
  auto [it, inserted] = entries_.try_emplace(key);
  Entry& entry = it->second;
  if (entry.folder) return false;
  if (inserted) {
    const std::u16string absolute = Absolute(path);
    entry.name = absolute.substr(absolute.rfind(u'\\') + 1);
  }
  if (!append) {
    if (freeBytes_) *freeBytes_ += entry.content.size();
    entry.content.clear();
  }
  return StoreBytes(entry, entry.content.size(), bytes.data(), bytes.size()) ==
         bytes.size();
}

size_t MemoryFileSystem::StoreBytes(Entry& entry, uint64_t offset,
                                    const uint8_t* data, size_t bytes) {
  const uint64_t size = entry.content.size();
  uint64_t fits = bytes;
  if (freeBytes_) {
    const uint64_t room = size + *freeBytes_;
    fits = offset >= room ? 0 : std::min<uint64_t>(bytes, room - offset);
  }
  const uint64_t end = offset + fits;
  if (fits == 0) return 0;
  if (end > size) {
    if (freeBytes_) *freeBytes_ -= static_cast<size_t>(end - size);
    entry.content.resize(static_cast<size_t>(end), 0);
  }
  std::copy_n(data, static_cast<size_t>(fits),
              entry.content.begin() + static_cast<ptrdiff_t>(offset));
  return static_cast<size_t>(fits);
}

bool MemoryFileSystem::HasOpenHandle(const std::u16string& key) const {
  return std::any_of(handles_.begin(), handles_.end(),
                     [&key](const auto& open) { return open.second.key == key; });
}

MemoryFileSystem::Entry* MemoryFileSystem::HandleFile(uintptr_t file,
                                                      OpenFile** open) {
  auto handle = handles_.find(file);
  if (handle == handles_.end()) return nullptr;
  // The handle keeps the normalized path: no lookup of the name again.
  auto entry = entries_.find(handle->second.key);
  if (entry == entries_.end() || entry->second.folder) return nullptr;
  *open = &handle->second;
  return &entry->second;
}

uintptr_t MemoryFileSystem::CreateNewFile(const char16_t* path,
                                          uint32_t& error) {
  constexpr uint32_t kErrorPathNotFound = 3;
  error = kErrorPathNotFound;
  if (path == nullptr) return 0;
  const std::u16string key = Normalize(path);
  if (key.size() <= 3) return 0;
  const size_t cut = key.rfind(u'\\');
  auto parent = entries_.find(key.substr(0, cut == 2 ? 3 : cut));
  if (parent == entries_.end() || !parent->second.folder) return 0;
  auto [it, inserted] = entries_.try_emplace(key);
  if (!inserted) {
    error = kErrorFileExists;  // a folder's name too
    return 0;
  }
  const std::u16string absolute = Absolute(path);
  it->second.name = absolute.substr(absolute.rfind(u'\\') + 1);
  error = 0;
  handles_[nextHandle_] = OpenFile{key, 0};
  return nextHandle_++;
}

uintptr_t MemoryFileSystem::CreateNewFileWithSecurity(
    const char16_t* path, const SecurityAttributes* security,
    uint32_t& error) {
  const uintptr_t file = CreateNewFile(path, error);
  if (file != 0 && security != nullptr) {
    entries_[handles_[file].key].security = security->securityDescriptor;
  }
  return file;
}

std::u16string MemoryFileSystem::FileSecurity(
    const std::u16string& path) const {
  const Entry* entry = Find(path.c_str());
  return entry != nullptr ? entry->security : std::u16string();
}

uintptr_t MemoryFileSystem::OpenFileForAppend(const char16_t* path) {
  if (path == nullptr) return 0;
  const Entry* entry = Find(path);
  if (entry == nullptr || entry->folder) return 0;
  handles_[nextHandle_] = OpenFile{Normalize(path), entry->content.size()};
  return nextHandle_++;
}

bool MemoryFileSystem::WriteFile(uintptr_t file, const uint8_t* data,
                                 uint32_t bytes, uint32_t& written) {
  written = 0;
  OpenFile* open = nullptr;
  Entry* entry = HandleFile(file, &open);
  if (entry == nullptr) return false;
  written = static_cast<uint32_t>(StoreBytes(*entry, open->pointer, data, bytes));
  open->pointer += written;
  return written == bytes;
}

bool MemoryFileSystem::SetFilePointerEx(uintptr_t file, int64_t distance,
                                        uint64_t* newPointer,
                                        uint32_t moveMethod) {
  OpenFile* open = nullptr;
  const Entry* entry = HandleFile(file, &open);
  if (entry == nullptr || moveMethod > kFileEnd) return false;
  const uint64_t base = moveMethod == kFileBegin     ? 0
                        : moveMethod == kFileCurrent ? open->pointer
                                                     : entry->content.size();
  // A pointer before the start is refused (ERROR_NEGATIVE_SEEK).
  if (distance < 0 && static_cast<uint64_t>(-distance) > base) return false;
  open->pointer = base + static_cast<uint64_t>(distance);
  if (newPointer != nullptr) *newPointer = open->pointer;
  return true;
}

bool MemoryFileSystem::SetEndOfFile(uintptr_t file) {
  OpenFile* open = nullptr;
  Entry* entry = HandleFile(file, &open);
  if (entry == nullptr) return false;
  const uint64_t size = entry->content.size();
  if (freeBytes_) {
    // Cutting gives the bytes back; growing needs room for the zeros.
    if (open->pointer > size && open->pointer - size > *freeBytes_) {
      return false;
    }
    *freeBytes_ = static_cast<size_t>(*freeBytes_ + size - open->pointer);
  }
  entry->content.resize(static_cast<size_t>(open->pointer), 0);
  return true;
}

void MemoryFileSystem::CloseFile(uintptr_t file) { handles_.erase(file); }

bool MemoryFileSystem::DeleteFileW(const char16_t* path) {
  if (path == nullptr) return false;
  auto it = entries_.find(Normalize(path));
  if (it == entries_.end() || it->second.folder || it->second.undeletable ||
      HasOpenHandle(it->first)) {
    return false;
  }
  shellLinks_.erase(it->first);
  brokenShellLinks_.erase(it->first);
  entries_.erase(it);
  return true;
}

bool MemoryFileSystem::CreateDirectoryW(const char16_t* path) {
  if (path == nullptr) return false;
  const std::u16string key = Normalize(path);
  if (key.size() <= 3 || entries_.count(key) != 0) return false;
  // As on Windows, only the last part is created.
  const size_t cut = key.rfind(u'\\');
  auto parent = entries_.find(key.substr(0, cut == 2 ? 3 : cut));
  if (parent == entries_.end() || !parent->second.folder) return false;
  entries_[key].folder = true;
  return true;
}

void MemoryFileSystem::SetUndeletable(const std::u16string& path,
                                      bool undeletable) {
  auto it = entries_.find(Normalize(path));
  if (it != entries_.end()) it->second.undeletable = undeletable;
}

}  // namespace tavik
