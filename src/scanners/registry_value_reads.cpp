#include "scanners/registry_value_reads.h"

#include <algorithm>

#include "base/text.h"

namespace tavik {

uint32_t ReadNumberValue(const ScanContext& context, RegKey key,
                         const char16_t* valueName) {
  uint8_t bytes[4] = {};
  uint32_t length = sizeof(bytes);
  if (context.registry.RegQueryValueExW(key, valueName, nullptr, bytes,
                                        &length) != kErrorSuccess) {
    return 0;
  }
  // Bytes beyond the returned length stay zero.
  for (uint32_t i = std::min<uint32_t>(length, sizeof(bytes)); i < sizeof(bytes);
       ++i) {
    bytes[i] = 0;
  }
  return static_cast<uint32_t>(bytes[0]) |
         static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 |
         static_cast<uint32_t>(bytes[3]) << 24;
}

std::optional<std::u16string> ReadTextValue(const ScanContext& context,
                                            RegKey key,
                                            const char16_t* valueName,
                                            std::vector<char16_t>& buffer) {
  const auto capacity = static_cast<uint32_t>(buffer.size() * sizeof(char16_t));
  uint32_t length = capacity;
  if (context.registry.RegQueryValueExW(
          key, valueName, nullptr, reinterpret_cast<uint8_t*>(buffer.data()),
          &length) != kErrorSuccess) {
    return std::nullopt;
  }
  return TextOfData(buffer.data(), std::min(length, capacity));
}

}  // namespace tavik
