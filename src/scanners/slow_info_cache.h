// The "SlowInfoCache" record of an ARPCache entry: the cached data of the
// add/remove-programs list, of which only the program file is judged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavik {

// The most bytes read of a record.
inline constexpr uint32_t kSlowInfoCacheBytes = 33000;

// The program file a record names, or none when its has-name byte (offset 4)
// is not 1. The path starts at byte 28 and ends at its first zero, at byte
// 550 (at most 261 units), or at the end of the `length` bytes read. Bytes
// beyond `length` count as zero, so an odd last byte is a character whose
// high byte is zero, and a short record is never judged from bytes it does
// not hold.
std::optional<std::u16string> SlowInfoCacheProgramPath(const uint8_t* record,
                                                       uint32_t length);

}  // namespace tavik
