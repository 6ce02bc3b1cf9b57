// Shared set-up for the host benchmarks: a scan context over the in-memory
// registry and file system.
#pragma once

#include <string>

#include "engine/finding.h"
#include "engine/scan_context.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"

namespace tavik::bench {

inline constexpr char16_t kRunKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

struct BenchScan {
  MemoryRegistry registry;
  MemoryFileSystem files;
  SharedFlag stop{0};
  ExcludeList exclude;

  ScanContext context() { return ScanContext{registry, files, stop, &exclude}; }
};

// "prefix" followed by `index` as a zero-padded decimal of six digits.
inline std::u16string Numbered(std::u16string_view prefix, int index) {
  std::u16string text(prefix);
  char16_t digits[6];
  for (int i = 5; i >= 0; --i) {
    digits[i] = static_cast<char16_t>(u'0' + index % 10);
    index /= 10;
  }
  text.append(digits, 6);
  return text;
}

}  // namespace tavik::bench
