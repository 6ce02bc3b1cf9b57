// The exclude file "RCExclude.txt" beside the executable: UTF-16LE text, one
// registry key prefix per line, and the prefix test applied to findings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scan_context.h"
#include "platform/file_system.h"

namespace tavik {

inline constexpr size_t kExcludeEntryMaxChars = 32999;

// The executable's folder followed by "\RCExclude.txt".
std::u16string ExcludeFilePath(FileSystem& files);

// Decodes the exclude file's bytes into its lines, as the UTF-16LE text mode
// reads them: a leading byte-order mark skipped, CR LF read as one line end,
// a lone CR or LF ending a line, characters past the 32999th of a line
// dropped, and a final line stored even when it is empty.
std::vector<std::u16string> DecodeExcludeLines(const std::vector<uint8_t>& bytes);

// Appends the file's lines to `list`; silent when the file cannot be read.
void LoadExcludeList(FileSystem& files, ExcludeList& list);

// 1 when root + keyPath lies under an entry of `list`, 0 otherwise.
int32_t IsExcluded(const ExcludeList* list, RegKey root,
                   std::u16string_view keyPath);

// The bytes of a rewritten exclude file: the byte-order mark, then the
// entries separated by CR LF with no line break after the last one.
std::vector<uint8_t> EncodeExcludeFile(const std::vector<std::u16string>& entries);

// Replaces the file's content with `entries`; false when it cannot be written.
bool RewriteExcludeFile(FileSystem& files,
                        const std::vector<std::u16string>& entries);

}  // namespace tavik
