#include "scanners/slow_info_cache.h"

#include <algorithm>

namespace tavik {

namespace {
constexpr uint32_t kHasNameOffset = 4;
constexpr uint32_t kPathOffset = 28;
// The path is always cut here, whatever the record holds beyond it.
constexpr uint32_t kPathEnd = 550;
}  // namespace

std::optional<std::u16string> SlowInfoCacheProgramPath(const uint8_t* record,
                                                       uint32_t length) {
  if (record == nullptr || length <= kHasNameOffset ||
      record[kHasNameOffset] != 1) {
    return std::nullopt;
  }
  const uint32_t end = std::min(length, kPathEnd);
  std::u16string path;
  for (uint32_t at = kPathOffset; at < end; at += 2) {
    // A byte beyond the data counts as zero: an odd last byte is a character.
    const uint32_t high = at + 1 < end ? record[at + 1] : 0;
    const auto unit = static_cast<char16_t>(record[at] | high << 8);
    if (unit == 0) break;
    path.push_back(unit);
  }
  return path;
}

}  // namespace tavik
