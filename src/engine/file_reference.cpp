#include "engine/file_reference.h"

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

  // A command line: cut the arguments off after the program name, at the
  // first ".exe" (or, without one, the first ".com") unless it ends the
  // text. A later ".exe" or ".com" that is followed by a blank or a quote is
  // tried as well, and a cut name without a drive is also looked for in the
  // Windows folder, so that a folder such as "my.exe.d" or a bare program
  // name with arguments never makes an existing program look missing.
  size_t first = FindSubstring(expanded, u".exe");
  if (first == std::u16string::npos) first = FindSubstring(expanded, u".com");
  if (first != std::u16string::npos && first + 4 < expanded.size() &&
      ExistsHereOrInWindowsFolder(files, expanded.substr(0, first + 4), wow) ==
          1) {
    return 1;
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
    if (ExistsHereOrInWindowsFolder(files, expanded.substr(0, at + 4), wow) ==
        1) {
      return 1;
    }
  }
  return 0;
}

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

}  // namespace tavik
