// Judging the paths, command lines and icon locations stored in the
// registry: 1 = the file exists or cannot be judged, 0 = it is missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_system.h"

namespace tavik {

// `text` may be null (then 0). `fileRequired` 1: a folder, or nothing at all,
// counts as missing at once.
int32_t CheckFileReference(FileSystem& files, const char16_t* text,
                           int32_t fileRequired);
inline int32_t CheckFileReference(FileSystem& files,
                                  const std::u16string& text,
                                  int32_t fileRequired) {
  return CheckFileReference(files, text.c_str(), fileRequired);
}

// Judges an icon location such as "C:\x.dll,3", "@%1" or a quoted path.
// `text` is a scratch copy: its quote and icon index are cut off in place.
int32_t CheckIconLocation(FileSystem& files, std::u16string& text);

// 1 when `path` is empty or names an existing file or folder.
int32_t FileExists(FileSystem& files, const char16_t* path);

// The executable's folder followed by `relativeName`, when that file exists.
std::optional<std::u16string> FileBesideExecutable(
    FileSystem& files, std::u16string_view relativeName);

// Position of the first occurrence of `pattern` in `text`, comparing the
// letters A to Z case-insensitively; npos when there is none.
size_t FindSubstring(std::u16string_view text, std::u16string_view pattern);

}  // namespace tavik
