#include "repair/undo_file.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/text.h"

namespace tavik {

namespace {

// A second run within the same second gets "-2", "-3", ... before ".reg".
constexpr int kMaxNameSuffix = 99;

// WriteFile until every byte is written; a call that fails or writes
// nothing ends it.
bool WriteAll(FileSystem& files, uintptr_t file,
              const std::vector<uint8_t>& bytes) {
  constexpr size_t kMaxChunk = 1u << 30;
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk =
        static_cast<uint32_t>(std::min(bytes.size() - done, kMaxChunk));
    uint32_t written = 0;
    if (!files.WriteFile(file, bytes.data() + done, chunk, written) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// The file ends at `size` again.
bool CutTo(FileSystem& files, uintptr_t file, uint64_t size) {
  return files.SetFilePointerEx(file, static_cast<int64_t>(size), nullptr,
                                kFileBegin) &&
         files.SetEndOfFile(file);
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

UndoRecord UndoFile::RecordKeyTree(RegKey root, std::u16string_view path,
                                   std::vector<ExportedKey>& keys) {
  keys.clear();
  if (broken_) return UndoRecord::kFailed;
  text_.clear();
  const RegExport exported = exporter_.KeyTree(root, path, text_, &keys);
  const UndoRecord written = WriteRecord(exported);
  if (written != UndoRecord::kWritten) keys.clear();
  return written;
}

UndoRecord UndoFile::RecordValue(RegKey root, std::u16string_view path,
                                 RegKey key, std::u16string_view valueName) {
  if (broken_) return UndoRecord::kFailed;
  text_.clear();
  return WriteRecord(exporter_.OpenedValue(key, root, path, valueName, text_));
}

UndoRecord UndoFile::WriteRecord(RegExport exported) {
  if (exported == RegExport::kAbsent) return UndoRecord::kAbsent;
  if (exported == RegExport::kFailed) return UndoRecord::kFailed;
  if (path_.empty()) {
    return Create(text_) ? UndoRecord::kWritten : UndoRecord::kFailed;
  }
  // Once it holds a record the file is only appended to, never made again:
  // one that has gone (or cannot be opened) stops the run's deletions.
  if (handle_ == 0) handle_ = files_.OpenFileForAppend(path_.c_str());
  EncodeRegText(text_, false, bytes_);
  if (handle_ == 0 || !Append(bytes_)) {
    broken_ = true;
    return UndoRecord::kFailed;
  }
  return UndoRecord::kWritten;
}

// Each record goes to the system with WriteFile before the deletion it
// covers, so it survives the program being killed at any moment.
bool UndoFile::Append(const std::vector<uint8_t>& bytes) {
  uint64_t end = 0;
  if (!files_.SetFilePointerEx(handle_, 0, &end, kFileEnd)) return false;
  if (WriteAll(files_, handle_, bytes)) return true;
  // Cut off what part of the record was written, so the file ends on a
  // whole record and an import never sets a value to cut data.
  CutTo(files_, handle_, end);
  return false;
}

void UndoFile::Close() {
  if (handle_ != 0) files_.CloseFile(handle_);
  handle_ = 0;
}

bool UndoFile::Create(const std::u16string& firstRecord) {
  const std::u16string folder = PrepareUndoFolder(files_);
  if (folder.empty()) return false;
  const std::u16string name = UndoFileName(started_);
  const std::u16string stem = name.substr(0, name.size() - 4);
  std::u16string path = folder + u"\\" + name;
  // CREATE_NEW, never a test and then a write: a name that another run
  // takes, even at this very moment, is never written over.
  for (int suffix = 2;; ++suffix) {
    if (path.size() >= kMaxPath) return false;
    uint32_t error = 0;
    handle_ = files_.CreateNewFile(path.c_str(), error);
    if (handle_ != 0) break;
    if (error != kErrorFileExists || suffix > kMaxNameSuffix) return false;
    path = folder + u"\\" + stem + u"-" + Utf8ToUtf16(std::to_string(suffix)) +
           u".reg";
  }
  std::u16string text = kRegFileHeader;
  text += u"\r\n\r\n";
  text += firstRecord;
  EncodeRegText(text, true, bytes_);
  if (!WriteAll(files_, handle_, bytes_)) {
    // Leave no header-only or cut file behind: emptied first, in case it
    // cannot be deleted, and closed, since an open handle keeps it.
    CutTo(files_, handle_, 0);
    Close();
    files_.DeleteFileW(path.c_str());
    return false;
  }
  path_ = path;
  return true;
}

}  // namespace tavik
