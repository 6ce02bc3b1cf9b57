#include "repair/undo_file.h"

#include <cstdio>
#include <vector>

#include "base/text.h"

namespace tavik {

namespace {

// A second run within the same second gets "-2", "-3", ... before ".reg".
constexpr int kMaxNameSuffix = 99;

std::u16string_view WithoutTrailingSeparators(std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  return path;
}

bool IsFolder(FileSystem& files, const std::u16string& path) {
  const uint32_t attributes = files.GetFileAttributesW(path.c_str());
  return attributes != kInvalidFileAttributes &&
         (attributes & kFileAttributeDirectory) != 0;
}

}  // namespace

std::u16string UndoFileName(const SystemTime& time) {
  char text[48];
  std::snprintf(text, sizeof(text), "fix-%04u%02u%02u-%02u%02u%02u.reg",
                time.year % 10000u, time.month % 100u, time.day % 100u,
                time.hour % 100u, time.minute % 100u, time.second % 100u);
  return Utf8ToUtf16(text);
}

std::u16string PrepareUndoFolder(FileSystem& files) {
  std::vector<char16_t> base(kMaxPath + 1, 0);
  if (files.SHGetFolderPathW(kCsidlLocalAppData, kShgfpTypeCurrent,
                             base.data()) != 0 ||
      base[0] == 0) {
    return {};
  }
  std::u16string folder(TextUpToZero(base.data(), kMaxPath));
  while (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  std::u16string_view rest = kUndoFolder;
  while (!rest.empty()) {
    const size_t slash = rest.find(u'\\');
    folder += u"\\";
    folder += rest.substr(0, slash);
    rest = slash == std::u16string_view::npos ? std::u16string_view()
                                              : rest.substr(slash + 1);
    if (folder.size() >= kMaxPath) return {};
    if (!files.CreateDirectoryW(folder.c_str()) && !IsFolder(files, folder)) {
      return {};
    }
  }
  return folder;
}

UndoFile::UndoFile(Registry& registry, FileSystem& files, SystemInfo& system)
    : exporter_(registry), files_(files) {
  system.GetLocalTime(&started_);
}

int32_t UndoFile::RecordFinding(const Finding& record) {
  if (broken_) return -1;
  // "A\B\" names the key "A\B"; the key line must not end in a separator.
  const std::u16string_view path = WithoutTrailingSeparators(record.path);
  text_.clear();
  const RegExport exported =
      record.kind == kFindingInvalidKey
          ? exporter_.KeyTree(record.root, path, text_)
          : exporter_.Value(record.root, path, record.valueName, text_);
  if (exported == RegExport::kAbsent) return 0;
  if (exported == RegExport::kFailed) return -1;
  if (path_.empty()) return Create(text_) ? 0 : -1;
  EncodeRegText(text_, false, bytes_);
  if (handle_ == 0) handle_ = files_.OpenFileForAppend(path_.c_str());
  const bool written = handle_ != 0
                           ? files_.AppendToFile(handle_, bytes_)
                           : files_.WriteFileBytes(path_.c_str(), bytes_, true);
  if (!written) {
    broken_ = true;
    return -1;
  }
  return 0;
}

void UndoFile::Close() {
  if (handle_ != 0) files_.CloseFile(handle_);
  handle_ = 0;
}

bool UndoFile::Create(const std::u16string& firstRecord) {
  const std::u16string folder = PrepareUndoFolder(files_);
  if (folder.empty()) return false;
  std::u16string name = UndoFileName(started_);
  const std::u16string stem = name.substr(0, name.size() - 4);
  std::u16string path = folder + u"\\" + name;
  for (int suffix = 2; files_.GetFileAttributesW(path.c_str()) !=
                       kInvalidFileAttributes;
       ++suffix) {
    if (suffix > kMaxNameSuffix) return false;
    path = folder + u"\\" + stem + u"-" + Utf8ToUtf16(std::to_string(suffix)) +
           u".reg";
  }
  if (path.size() >= kMaxPath) return false;
  std::u16string text = kRegFileHeader;
  text += u"\r\n\r\n";
  text += firstRecord;
  if (!files_.WriteFileBytes(path.c_str(), EncodeRegText(text, true), false)) {
    // Leave no header-only or cut file behind.
    files_.DeleteFileW(path.c_str());
    return false;
  }
  path_ = path;
  return true;
}

}  // namespace tavik
