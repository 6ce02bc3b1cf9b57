#include "engine/file_reference.h"

#include <algorithm>
#include <vector>

#include "base/text.h"

namespace tavik {

namespace {

// Icon locations are copied up to their comma into a buffer of this size.
constexpr size_t kIconFileChars = 32000;

bool IsJudgeableDrive(uint32_t type) {
  return type == kDriveNoRootDir || type == kDriveFixed;
}

// "X:\" or "X:": a drive letter's root. Such a root without a volume (an
// unplugged disk, a card reader without its card) cannot be judged; a
// relative name, also without a root directory, still can.
bool IsDriveLetterRoot(std::u16string_view root) {
  return (root.size() == 2 || (root.size() == 3 && root[2] == u'\\')) &&
         root[1] == u':' &&
         ((root[0] >= u'A' && root[0] <= u'Z') ||
          (root[0] >= u'a' && root[0] <= u'z'));
}

// The answers of a failed file test that mean "nothing is there": the file
// or a folder on its way is missing, or no file can have such a name.
// Anything else (access denied, a drive not ready, a locked volume) leaves
// the question open.
bool MeansMissing(uint32_t error) {
  return error == kErrorFileMissing || error == kErrorPathMissing ||
         error == kErrorInvalidName || error == kErrorBadPathname ||
         error == kErrorFilenameTooLong || error == kErrorNotADirectory;
}

// Where a 32-bit program finds what it names: its "system32" is the 32-bit
// system folder.
struct Wow64Folders {
  std::u16string nativeSystem;  // "<Windows folder>\system32"
  std::u16string system;        // the 32-bit system folder; empty if none
};

// A path on a network share (\\server\share\...) is never judged: the share
// may simply be away, and its root has no drive type worth asking for.
bool IsNetworkPath(std::u16string_view path) {
  return path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
}

std::u16string_view StripQuotesAndSemicolons(std::u16string_view text) {
  text = TrimWideSpace(text);
  while (!text.empty() && text.back() == u'"') text.remove_suffix(1);
  while (!text.empty() && text.front() == u'"') text.remove_prefix(1);
  while (!text.empty() && text.back() == u';') text.remove_suffix(1);
  while (!text.empty() && text.front() == u';') text.remove_prefix(1);
  return text;
}

std::u16string WindowsDirectory(FileSystem& files) {
  std::u16string buffer(kTextBufferChars, u'\0');
  const uint32_t length = files.GetWindowsDirectoryW(
      buffer.data(), static_cast<uint32_t>(kTextBufferChars));
  if (length == 0 || length >= kTextBufferChars) return {};
  buffer.resize(length);
  return buffer;
}

// FileExists on a composed path; a path too long for a work buffer cannot be
// judged and counts as existing.
int32_t ComposedFileExists(FileSystem& files, const std::u16string& path) {
  if (path.size() >= kTextBufferChars) return 1;
  return FileExists(files, path.c_str());
}

// A path that names no drive is looked for in the Windows folder and its
// system32 folder (for a 32-bit program: the 32-bit system folder) first,
// then where it stands (relative to the current folder).
int32_t ExistsHereOrInWindowsFolder(FileSystem& files,
                                    const std::u16string& path,
                                    const Wow64Folders* wow) {
  if (path.size() < 2 || path[1] != u':') {
    const std::u16string windows = WindowsDirectory(files);
    if (ComposedFileExists(files, windows + u"\\" + path) == 1) return 1;
    const std::u16string system =
        wow != nullptr ? wow->system : windows + u"\\system32";
    if (!system.empty() &&
        ComposedFileExists(files, system + u"\\" + path) == 1) {
      return 1;
    }
  }
  return FileExists(files, path.c_str());
}

std::optional<Wow64Folders> FindWow64Folders(FileSystem& files) {
  const std::u16string windows = WindowsDirectory(files);
  if (windows.empty()) return std::nullopt;
  Wow64Folders folders;
  folders.nativeSystem = windows + u"\\system32";
  std::u16string buffer(kTextBufferChars, u'\0');
  const uint32_t length = files.GetSystemWow64DirectoryW(
      buffer.data(), static_cast<uint32_t>(kTextBufferChars));
  if (length != 0 && length < kTextBufferChars) {
    buffer.resize(length);
    folders.system = std::move(buffer);
  }
  return folders;
}

// The text as a 32-bit program's environment expands it.
std::u16string WithWow64Variables(std::u16string_view text) {
  static constexpr std::pair<std::u16string_view, std::u16string_view>
      kVariables[] = {
          {u"%ProgramFiles%", u"%ProgramFiles(x86)%"},
          {u"%CommonProgramFiles%", u"%CommonProgramFiles(x86)%"},
      };
  std::u16string result;
  size_t at = 0;
  while (at < text.size()) {
    bool replaced = false;
    for (const auto& [name, wow] : kVariables) {
      if (StartsWithIgnoreAsciiCase(text.substr(at), name)) {
        result += wow;
        at += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) result += text[at++];
  }
  return result;
}

// The expanded path as a 32-bit program sees it: "<Windows>\system32\..."
// is in the 32-bit system folder.
std::u16string InWow64View(const std::u16string& path,
                           const Wow64Folders& wow) {
  if (wow.system.empty() || path.size() <= wow.nativeSystem.size() ||
      path[wow.nativeSystem.size()] != u'\\' ||
      !StartsWithIgnoreAsciiCase(path, wow.nativeSystem)) {
    return path;
  }
  return wow.system + path.substr(wow.nativeSystem.size());
}

// A command line is also judged by its program name: `tryName` is called
// with the length of each cut of `expanded`, in this order, until it
// answers true: after the first ".exe" (or, without one, the first ".com")
// unless that ends the text, then after every other ".exe" or ".com" that a
// blank or a quote follows, so that a folder such as "my.exe.d" or a bare
// program name with arguments never makes an existing program look missing.
// True when `tryName` did.
template <typename TryName>
bool AnyProgramCut(const std::u16string& expanded, TryName tryName) {
  size_t first = FindSubstring(expanded, u".exe");
  if (first == std::u16string::npos) first = FindSubstring(expanded, u".com");
  if (first != std::u16string::npos && first + 4 < expanded.size() &&
      tryName(first + 4)) {
    return true;
  }
  for (size_t at = 0; at + 4 < expanded.size(); ++at) {
    const std::u16string_view extension =
        std::u16string_view(expanded).substr(at, 4);
    const char16_t next = expanded[at + 4];
    if (at == first || (next != u'"' && !IsWideSpace(next)) ||
        (!EqualsIgnoreAsciiCase(extension, u".exe") &&
         !EqualsIgnoreAsciiCase(extension, u".com"))) {
      continue;
    }
    if (tryName(at + 4)) return true;
  }
  return false;
}

// The judgement of a cleaned text; `wow` judges it as a 32-bit program
// would see the disk.
int32_t Judge(FileSystem& files, const std::u16string& cleaned,
              int32_t fileRequired, const Wow64Folders* wow) {
  std::u16string expanded(kTextBufferChars, u'\0');
  const uint32_t needed = files.ExpandEnvironmentStringsW(
      cleaned.c_str(), expanded.data(),
      static_cast<uint32_t>(kTextBufferChars));
  // An expansion that failed or would not fit cannot be judged.
  if (needed == 0 || needed > kTextBufferChars) return 1;
  expanded.resize(TextUpToZero(expanded.data(), needed).size());
  if (wow != nullptr) {
    expanded = InWow64View(expanded, *wow);
    if (expanded.size() >= kTextBufferChars) return 1;
  }

  // A folder is no file; whether nothing at all is there is decided below,
  // where the drive may turn out unjudgeable.
  bool nothingThere = false;
  if (fileRequired == 1) {
    const uint32_t attributes = files.GetFileAttributesW(expanded.c_str());
    if (attributes != kInvalidFileAttributes &&
        (attributes & kFileAttributeDirectory) != 0) {
      return 0;
    }
    nothingThere = attributes == kInvalidFileAttributes;
  }

  if (IsNetworkPath(expanded)) return 1;
  std::u16string root = expanded;
  files.PathStripToRootW(root.data());
  root.resize(TextUpToZero(root.data(), root.size()).size());
  if (!root.empty()) {
    const uint32_t type = files.GetDriveTypeW(root.c_str());
    if (!IsJudgeableDrive(type) ||
        (type == kDriveNoRootDir && IsDriveLetterRoot(root))) {
      return 1;
    }
  }
  if (nothingThere) return FileExists(files, expanded.c_str());

  if (ExistsHereOrInWindowsFolder(files, expanded, wow) == 1) return 1;
  return AnyProgramCut(expanded, [&](size_t end) {
           return ExistsHereOrInWindowsFolder(files, expanded.substr(0, end),
                                              wow) == 1;
         })
             ? 1
             : 0;
}

// The text of a folder call shaped like GetWindowsDirectoryW (the length,
// or the size needed when the buffer is too small), asked with a path-sized
// buffer first: the evidence of a finding never needs a work buffer.
template <typename Call>
std::u16string FolderText(Call call) {
  std::u16string buffer(kMaxPath + 1, u'\0');
  uint32_t length = call(buffer.data(), static_cast<uint32_t>(buffer.size()));
  if (length >= buffer.size() && length < kTextBufferChars) {
    buffer.assign(length, u'\0');
    length = call(buffer.data(), static_cast<uint32_t>(buffer.size()));
  }
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return buffer;
}

// The expansion Judge makes of a cleaned text, into a path-sized buffer
// first; none when Judge could not have judged it.
std::optional<std::u16string> ExpandedAsJudged(FileSystem& files,
                                               const std::u16string& cleaned) {
  char16_t small[kMaxPath * 2];
  const uint32_t needed =
      files.ExpandEnvironmentStringsW(cleaned.c_str(), small, std::size(small));
  if (needed == 0 || needed > kTextBufferChars) return std::nullopt;
  if (needed <= std::size(small)) {
    return std::u16string(TextUpToZero(small, needed));
  }
  std::u16string expanded(needed, u'\0');
  if (files.ExpandEnvironmentStringsW(cleaned.c_str(), expanded.data(),
                                      needed) != needed) {
    return std::nullopt;
  }
  expanded.resize(TextUpToZero(expanded.data(), needed).size());
  return expanded;
}

bool IsArgumentStart(char16_t c) { return c == u'"' || IsWideSpace(c); }

}  // namespace

size_t FindSubstring(std::u16string_view text, std::u16string_view pattern) {
  if (pattern.size() > text.size()) return std::u16string_view::npos;
  for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
    if (EqualsIgnoreAsciiCase(text.substr(i, pattern.size()), pattern)) {
      return i;
    }
  }
  return std::u16string_view::npos;
}

FileView FileViewOfKey(std::u16string_view keyPath) {
  constexpr std::u16string_view kWow64Key = u"Wow6432Node";
  size_t start = 0;
  while (start <= keyPath.size()) {
    size_t end = keyPath.find(u'\\', start);
    if (end == std::u16string_view::npos) end = keyPath.size();
    if (EqualsIgnoreAsciiCase(keyPath.substr(start, end - start), kWow64Key)) {
      return FileView::kWow64;
    }
    start = end + 1;
  }
  return FileView::kNative;
}

int32_t FileExists(FileSystem& files, const char16_t* path) {
  if (path == nullptr || path[0] == 0) return 1;
  if (files.PathFileExistsW(path)) return 1;
  // Files that the quick test misses because of access rights or locking
  // still open for their attributes, or with backup semantics.
  uint32_t quickOpen = 0;
  if (files.OpenExistingFile(path, kFileReadAttributes, kFileShareAll,
                             kFileFlagNoBuffering, &quickOpen)) {
    return 1;
  }
  uint32_t backupOpen = 0;
  if (files.OpenExistingFile(path, kGenericRead, kFileShareAll,
                             kFileFlagBackupSemantics, &backupOpen)) {
    return 1;
  }
  // Missing only when both opens say that nothing is there.
  return MeansMissing(quickOpen) && MeansMissing(backupOpen) ? 0 : 1;
}

int32_t CheckFileReference(FileSystem& files, const char16_t* text,
                           int32_t fileRequired, FileView view) {
  if (text == nullptr) return 0;
  const std::u16string_view original(text);
  if (original.empty()) return 1;
  if (original.size() >= kTextBufferChars) return 1;
  const std::u16string cleaned(StripQuotesAndSemicolons(original));
  const int32_t native = Judge(files, cleaned, fileRequired, nullptr);
  if (native != 0 || view != FileView::kWow64) return native;
  // Missing as the system sees the disk; a 32-bit program may still find it.
  const std::optional<Wow64Folders> wow = FindWow64Folders(files);
  if (!wow) return 0;
  return Judge(files, WithWow64Variables(cleaned), fileRequired, &*wow);
}

int32_t CheckIconLocation(FileSystem& files, std::u16string& text,
                          FileView view) {
  if (text.empty()) return 1;
  std::u16string_view rest(text);
  if (rest.front() == u'"') {
    rest.remove_prefix(1);
    if (!rest.empty()) rest.remove_suffix(1);
  }
  if (!rest.empty() && rest.front() == u'@') rest.remove_prefix(1);
  text = std::u16string(rest);
  if (text == u"%1") return 1;

  const std::u16string filePart = text.substr(0, text.find(u','));
  // A file part too long for its buffer cannot be judged.
  if (filePart.size() >= kIconFileChars) return 1;
  if (CheckFileReference(files, filePart.c_str(), 0, view) == 1) return 1;

  files.PathParseIconLocationW(text.data());
  text.resize(TextUpToZero(text.data(), text.size()).size());
  return CheckFileReference(files, text.c_str(), 0, view);
}

std::optional<std::u16string> FileBesideExecutable(
    FileSystem& files, std::u16string_view relativeName) {
  std::u16string path(kTextBufferChars, u'\0');
  const uint32_t length = files.GetModuleFileNameW(
      path.data(), static_cast<uint32_t>(kTextBufferChars));
  path.resize(TextUpToZero(path.data(), std::min<size_t>(
                                             length, kTextBufferChars - 1))
                  .size());
  const size_t slash = path.rfind(u'\\');
  path.resize(slash == std::u16string::npos ? 0 : slash + 1);
  path.append(relativeName.substr(
      0, std::min(relativeName.size(), kTextBufferChars - 1 - path.size())));
  if (FileExists(files, path.c_str()) == 1) return path;
  return std::nullopt;
}

MissingFileEvidence::MissingFileEvidence(FileSystem& files) : files_(files) {}

void MissingFileEvidence::AddFile(std::u16string_view text,
                                  int32_t fileRequired, FileView view) {
  // The texts CheckFileReference keeps without a test leave no evidence.
  if (text.empty() || text.size() >= kTextBufferChars) return;
  const std::u16string cleaned(StripQuotesAndSemicolons(text));
  // An expansion that fails now, though the judgement made it, leaves the
  // text to speak for itself.
  if (!AddJudged(cleaned, fileRequired, false)) {
    AddName(std::u16string(text), false, false);
  }
  if (view == FileView::kWow64 && !WindowsFolder().empty()) {
    AddJudged(WithWow64Variables(cleaned), fileRequired, true);
  }
}

void MissingFileEvidence::AddIconLocation(std::u16string_view judged,
                                          FileView view) {
  // CheckIconLocation tried the file part up to the first comma, then the
  // location without its icon index: the text it leaves. That text still
  // begins with the same file part.
  AddFile(judged.substr(0, judged.find(u',')), 0, view);
  AddFile(judged, 0, view);
}

const std::u16string& MissingFileEvidence::WindowsFolder() {
  if (!windowsFolder_) {
    windowsFolder_ = FolderText([this](char16_t* buffer, uint32_t chars) {
      return files_.GetWindowsDirectoryW(buffer, chars);
    });
  }
  return *windowsFolder_;
}

const std::u16string& MissingFileEvidence::SystemFolder(bool wow64) {
  std::optional<std::u16string>& folder =
      wow64 ? wowSystemFolder_ : systemFolder_;
  if (!folder) {
    folder = wow64 ? FolderText([this](char16_t* buffer, uint32_t chars) {
      return files_.GetSystemWow64DirectoryW(buffer, chars);
    })
                   : WindowsFolder() + u"\\system32";
  }
  return *folder;
}

bool MissingFileEvidence::AddJudged(const std::u16string& cleaned,
                                    int32_t fileRequired, bool wow64) {
  std::optional<std::u16string> expanded = ExpandedAsJudged(files_, cleaned);
  if (!expanded) return false;
  if (wow64) {
    expanded = InWow64View(*expanded, Wow64Folders{SystemFolder(false),
                                                   SystemFolder(true)});
  }
  if (fileRequired == 1) {
    const uint32_t attributes = files_.GetFileAttributesW(expanded->c_str());
    if (attributes != kInvalidFileAttributes &&
        (attributes & kFileAttributeDirectory) != 0) {
      if (std::find(folders_.begin(), folders_.end(), *expanded) ==
          folders_.end()) {
        folders_.push_back(std::move(*expanded));
      }
      return true;
    }
    // Nothing there: the text alone was tried, as it stands.
    if (attributes == kInvalidFileAttributes) {
      AddName(std::move(*expanded), false, wow64);
      return true;
    }
  }
  // A command line whose arguments were cut off is shown by its program
  // name alone; any other text was also tried whole.
  std::vector<size_t> cuts;
  bool argumentsCut = false;
  AnyProgramCut(*expanded, [&](size_t end) {
    cuts.push_back(end);
    argumentsCut = argumentsCut || IsArgumentStart((*expanded)[end]);
    return false;
  });
  if (cuts.empty()) {
    AddName(std::move(*expanded), true, wow64);
    return true;
  }
  if (!argumentsCut) AddName(*expanded, true, wow64);
  for (const size_t end : cuts) AddName(expanded->substr(0, end), true, wow64);
  return true;
}

void MissingFileEvidence::AddName(std::u16string path, bool inWindowsFolders,
                                  bool wow64) {
  // A name without a drive is looked for where Windows looks first, then
  // from the current folder.
  const bool relative = path.size() < 2 || path[1] != u':';
  auto name = std::find_if(names_.begin(), names_.end(),
                           [&](const Name& n) { return n.path == path; });
  if (name == names_.end()) {
    names_.push_back(Name{std::move(path), {}, false});
    name = names_.end() - 1;
  }
  if (!relative) return;
  name->inCurrentFolder = true;
  if (!inWindowsFolders) return;
  for (const bool system : {false, true}) {
    const std::u16string& folder =
        system ? SystemFolder(wow64) : WindowsFolder();
    if (!folder.empty() && std::find(name->folders.begin(), name->folders.end(),
                                     folder) == name->folders.end()) {
      name->folders.push_back(folder);
    }
  }
}

std::u16string MissingFileEvidence::Sentence() {
  std::u16string text;
  text.reserve(kMaxPath);
  for (const Name& name : names_) {
    text.append(text.empty() ? u"" : u", nor ");
    text.append(name.path);
    if (&name == &names_.front()) text.append(u" was not found");
    const size_t places = name.folders.size() + (name.inCurrentFolder ? 1 : 0);
    if (places == 0) continue;
    text.append(u" in ");
    for (size_t i = 0; i < places; ++i) {
      if (i > 0) text.append(i + 1 == places ? u" or " : u", ");
      if (i < name.folders.size()) {
        text.append(name.folders[i]);
        continue;
      }
      text.append(u"the current folder");
      const std::u16string& current = CurrentFolder();
      if (!current.empty()) text.append(u" (").append(current).append(u")");
    }
  }
  for (const std::u16string& folder : folders_) {
    if (!text.empty()) text.append(u"; ");
    text.append(folder).append(u" is a folder, not a file");
  }
  return text;
}

const std::u16string& MissingFileEvidence::CurrentFolder() {
  if (!currentFolder_) {
    currentFolder_ = FolderText([this](char16_t* buffer, uint32_t chars) {
      return files_.GetCurrentDirectoryW(chars, buffer);
    });
  }
  return *currentFolder_;
}

std::u16string DescribeMissingFile(FileSystem& files, std::u16string_view text,
                                   int32_t fileRequired, FileView view) {
  MissingFileEvidence evidence(files);
  evidence.AddFile(text, fileRequired, view);
  return evidence.Sentence();
}

std::u16string DescribeMissingIcon(FileSystem& files, std::u16string_view judged,
                                   FileView view) {
  MissingFileEvidence evidence(files);
  evidence.AddIconLocation(judged, view);
  return evidence.Sentence();
}

}  // namespace tavik
