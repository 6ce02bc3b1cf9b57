// Judging the paths, command lines and icon locations stored in the
// registry: 1 = the file exists or cannot be judged, 0 = it is missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// The executable's folder followed by `relativeName`, when that file exists.
std::optional<std::u16string> FileBesideExecutable(
    FileSystem& files, std::u16string_view relativeName);

// Position of the first occurrence of `pattern` in `text`, comparing the
// letters A to Z case-insensitively; npos when there is none.
size_t FindSubstring(std::u16string_view text, std::u16string_view pattern);

}  // namespace tavik
