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
// system32 folder first, then where it stands (relative to the current
// folder).
int32_t ExistsHereOrInWindowsFolder(FileSystem& files,
                                    const std::u16string& path) {
  if (path.size() < 2 || path[1] != u':') {
    const std::u16string windows = WindowsDirectory(files);
    if (ComposedFileExists(files, windows + u"\\" + path) == 1) return 1;
    if (ComposedFileExists(files, windows + u"\\system32\\" + path) == 1) {
      return 1;
    }
  }
  return FileExists(files, path.c_str());
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

int32_t FileExists(FileSystem& files, const char16_t* path) {
  if (path == nullptr || path[0] == 0) return 1;
  if (files.PathFileExistsW(path)) return 1;
  // Files that the quick test misses because of access rights or locking
  // still open for their attributes, or with backup semantics.
  if (files.OpenExistingFile(path, kFileReadAttributes, kFileShareAll,
                             kFileFlagNoBuffering)) {
    return 1;
  }
  if (files.OpenExistingFile(path, kGenericRead, kFileShareAll,
                             kFileFlagBackupSemantics)) {
    return 1;
  }
  return 0;
}

int32_t CheckFileReference(FileSystem& files, const char16_t* text,
                           int32_t fileRequired) {
  if (text == nullptr) return 0;
  const std::u16string_view original(text);
  if (original.empty()) return 1;
  if (original.size() >= kTextBufferChars) return 1;
  const std::u16string cleaned(StripQuotesAndSemicolons(original));

  std::u16string expanded(kTextBufferChars, u'\0');
  const uint32_t needed = files.ExpandEnvironmentStringsW(
      cleaned.c_str(), expanded.data(),
      static_cast<uint32_t>(kTextBufferChars));
  // An expansion that failed or would not fit cannot be judged.
  if (needed == 0 || needed > kTextBufferChars) return 1;
  expanded.resize(TextUpToZero(expanded.data(), needed).size());

  if (fileRequired == 1) {
    const uint32_t attributes = files.GetFileAttributesW(expanded.c_str());
    if (attributes == kInvalidFileAttributes ||
        (attributes & kFileAttributeDirectory) != 0) {
      return 0;
    }
  }

  if (IsNetworkPath(expanded)) return 1;
  std::u16string root = expanded;
  files.PathStripToRootW(root.data());
  root.resize(TextUpToZero(root.data(), root.size()).size());
  if (!root.empty() && !IsJudgeableDrive(files.GetDriveTypeW(root.c_str()))) {
    return 1;
  }

  if (ExistsHereOrInWindowsFolder(files, expanded) == 1) return 1;

  // A command line: cut the arguments off after the program name, at the
  // first ".exe" (or, without one, the first ".com") unless it ends the
  // text. A later ".exe" or ".com" that is followed by a blank or a quote is
  // tried as well, and a cut name without a drive is also looked for in the
  // Windows folder, so that a folder such as "my.exe.d" or a bare program
  // name with arguments never makes an existing program look missing.
  size_t first = FindSubstring(expanded, u".exe");
  if (first == std::u16string::npos) first = FindSubstring(expanded, u".com");
  if (first != std::u16string::npos && first + 4 < expanded.size() &&
      ExistsHereOrInWindowsFolder(files, expanded.substr(0, first + 4)) == 1) {
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
    if (ExistsHereOrInWindowsFolder(files, expanded.substr(0, at + 4)) == 1) {
      return 1;
    }
  }
  return 0;
}

int32_t CheckIconLocation(FileSystem& files, std::u16string& text) {
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
  if (CheckFileReference(files, filePart.c_str(), 0) == 1) return 1;

  files.PathParseIconLocationW(text.data());
  text.resize(TextUpToZero(text.data(), text.size()).size());
  return CheckFileReference(files, text.c_str(), 0);
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
