// Judging the paths, command lines and icon locations stored in the
// registry: 1 = the file exists or cannot be judged, 0 = it is missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace tavik {

// The registry view an entry was read from. A 32-bit program's entries
// (below a "Wow6432Node" key) name files as that program sees the disk:
// its "system32" is the 32-bit system folder and its "%ProgramFiles%" and
// "%CommonProgramFiles%" are the "(x86)" folders.
enum class FileView { kNative, kWow64 };

// kWow64 when one of the key path's parts is "Wow6432Node" (any case).
FileView FileViewOfKey(std::u16string_view keyPath);

// `text` may be null (then 0). `fileRequired` 1: a folder, or nothing at all
// on a drive that can be judged, counts as missing. An entry of the 32-bit
// view that is missing as the system sees the disk is judged once more as
// a 32-bit program sees it.
int32_t CheckFileReference(FileSystem& files, const char16_t* text,
                           int32_t fileRequired,
                           FileView view = FileView::kNative);
inline int32_t CheckFileReference(FileSystem& files, const std::u16string& text,
                                  int32_t fileRequired,
                                  FileView view = FileView::kNative) {
  return CheckFileReference(files, text.c_str(), fileRequired, view);
}

// Judges an icon location such as "C:\x.dll,3", "@%1" or a quoted path.
// `text` is a scratch copy: its quote and icon index are cut off in place.
int32_t CheckIconLocation(FileSystem& files, std::u16string& text,
                          FileView view = FileView::kNative);

// 1 when `path` is empty, names an existing file or folder, or cannot be
// judged: a test failed for another reason than a missing name or one no
// file can have (access denied, a drive not ready, a locked volume).
int32_t FileExists(FileSystem& files, const char16_t* path);

// What judgements that found texts missing looked for, in words a user can
// check by hand: each name as it was judged (trimmed, its variables
// expanded, cut after its program name, and as a 32-bit program sees it for
// an entry of the 32-bit view) and, for a name without a drive, the folders
// it was looked for in. Built only once an entry is to be reported, by
// following the judgement's steps again without its file tests, so that
// judging costs nothing more.
class MissingFileEvidence {
 public:
  explicit MissingFileEvidence(FileSystem& files);

  // A text that CheckFileReference judged missing with these arguments.
  void AddFile(std::u16string_view text, int32_t fileRequired = 0,
               FileView view = FileView::kNative);
  // An icon location that CheckIconLocation judged missing, as that call
  // left its scratch copy (without quotes, at sign and icon index).
  void AddIconLocation(std::u16string_view judged,
                       FileView view = FileView::kNative);

  // One sentence for everything added, such as "C:\Gone\tool.exe was not
  // found", "tool.exe was not found in C:\windows, C:\windows\system32 or
  // the current folder (C:\scan), nor C:\Tools\tool.exe" or "C:\Help is a
  // folder, not a file".
  std::u16string Sentence();

 private:
  struct Name {
    std::u16string path;
    std::vector<std::u16string> folders;  // looked in before the name itself
    bool inCurrentFolder = false;
  };

  // The folders a name without a drive was looked in, and the current
  // folder, each asked for once.
  const std::u16string& WindowsFolder();
  const std::u16string& SystemFolder(bool wow64);
  const std::u16string& CurrentFolder();
  // False when the text no longer expands.
  bool AddJudged(const std::u16string& cleaned, int32_t fileRequired,
                 bool wow64);
  // `inWindowsFolders` false: the name was tried only as it stands.
  void AddName(std::u16string path, bool inWindowsFolders, bool wow64);

  FileSystem& files_;
  std::vector<Name> names_;
  std::vector<std::u16string> folders_;  // texts that named a folder
  std::optional<std::u16string> windowsFolder_;
  std::optional<std::u16string> systemFolder_;
  std::optional<std::u16string> wowSystemFolder_;
  std::optional<std::u16string> currentFolder_;
};

// The sentence of a MissingFileEvidence holding one text or icon location.
std::u16string DescribeMissingFile(FileSystem& files, std::u16string_view text,
                                   int32_t fileRequired,
                                   FileView view = FileView::kNative);
std::u16string DescribeMissingIcon(FileSystem& files, std::u16string_view judged,
                                   FileView view = FileView::kNative);

// The executable's folder followed by `relativeName`, when that file exists.
std::optional<std::u16string> FileBesideExecutable(
    FileSystem& files, std::u16string_view relativeName);

// Position of the first occurrence of `pattern` in `text`, comparing the
// letters A to Z case-insensitively; npos when there is none.
size_t FindSubstring(std::u16string_view text, std::u16string_view pattern);

}  // namespace tavik
