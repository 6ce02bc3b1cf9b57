// Loads .reg text ("Windows Registry Editor Version 5.00" or "REGEDIT4")
// into a MemoryRegistry, so that tests and fixtures stay readable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/memory/memory_registry.h"

namespace tavik {

struct RegLoadResult {
  bool ok = false;
  std::string error;  // the first problem, with its line number
  int keys = 0;       // keys created or deleted
  int values = 0;     // values set or deleted
};

// Loads the raw bytes of a .reg file: UTF-16LE with its byte-order mark, or
// UTF-8 with or without one. Handles [key], [-key], "name"="text", @=,
// "name"=-, dword:, hex:, hex(N):, line continuations and ; comments.
// Loading stops at the first bad line: `ok` is false and `error` names the
// line; what the lines before it did stays in the registry. Keys under
// HKEY_CLASSES_ROOT are written to HKLM\Software\Classes, and the values of
// a deleted [-key] are ignored, as regedit does.
RegLoadResult LoadRegFile(MemoryRegistry& registry,
                          const std::vector<uint8_t>& bytes);
RegLoadResult LoadRegText(MemoryRegistry& registry, const std::u16string& text);

}  // namespace tavik
