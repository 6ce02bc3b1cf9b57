// The checked rows the fix benchmarks delete: key and value rows in turn,
// 200 to a group key, and the registry entries they name.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/recording_ports.h"
#include "bench_setup.h"

namespace tavik::bench {

inline std::vector<ResultsRow> FixBenchRows(int count) {
  std::vector<ResultsRow> rows;
  rows.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const std::u16string group = Numbered(u"Software\\Bench\\G", i / 200);
    ResultsRow row;
    row.checked = true;
    row.cells = i % 2 == 0
                    ? std::array<std::u16string, 4>{u"Invalid Key", u"HKEY_LOCAL_MACHINE",
                                                    group + Numbered(u"\\K", i), u"-------"}
                    : std::array<std::u16string, 4>{u"Invalid Value", u"HKEY_LOCAL_MACHINE",
                                                    group + u"\\Values", Numbered(u"Entry", i)};
    rows.push_back(std::move(row));
  }
  return rows;
}

// Creates what each row names: a key with one subkey value, or one value,
// holding `data`.
inline void SeedFixBenchRows(MemoryRegistry& registry,
                             const std::vector<ResultsRow>& rows,
                             const std::u16string& data) {
  for (const ResultsRow& row : rows) {
    if (row.cells[0] == u"Invalid Key") {
      registry.SetString(kHkeyLocalMachine, row.cells[2] + u"\\Sub", u"v", data);
    } else {
      registry.SetString(kHkeyLocalMachine, row.cells[2], row.cells[3], data);
    }
  }
}

}  // namespace tavik::bench
