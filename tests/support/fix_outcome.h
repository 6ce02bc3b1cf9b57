// Checks a fix run against copies of the registry taken before and after it:
// the rows left must be the rows not fixed, in order; no fixed row may be
// unchecked or name a link; nothing may be added or changed; every removed
// key or value must be named by a fixed row, and every fixed row's entry
// must be gone. Shared by the host scenario test and tavik-fix-check.exe.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/recording_ports.h"
#include "base/text.h"
#include "support/registry_snapshot.h"

namespace tavik::testing {

struct FixCheckRow {
  ResultsRow row;
  // The lower-cased snapshot name of the row's key, links followed ("" when
  // the key is absent), and whether the row's key tree holds a link.
  std::u16string canonical;
  bool link = false;
  bool fixed = false;  // filled by CheckFixOutcome
};

// Rows as tavik-scan prints them (UTF-8, four tab-separated cells); the
// summary line and blank lines are skipped; every third row (2, 5, 8, ...)
// is unchecked.
inline std::vector<ResultsRow> ParseRows(const std::string& text) {
  std::vector<ResultsRow> rows;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.starts_with("Total Invalid Entries Found")) continue;
    ResultsRow row;
    size_t cellStart = 0;
    for (size_t i = 0; i < 4; ++i) {
      size_t cellEnd = line.find('\t', cellStart);
      if (cellEnd == std::string::npos) cellEnd = line.size();
      row.cells[i] = Utf8ToUtf16(line.substr(cellStart, cellEnd - cellStart));
      cellStart = cellEnd < line.size() ? cellEnd + 1 : line.size();
    }
    row.checked = rows.size() % 3 != 2;
    rows.push_back(std::move(row));
  }
  return rows;
}

inline bool KeyCovers(const std::u16string& key, const std::u16string& folded) {
  return folded == key ||
         (folded.size() > key.size() && folded.starts_with(key) && folded[key.size()] == u'\\');
}

inline std::u16string RowValueName(const ResultsRow& row) {
  return row.cells[3] == u"-------" ? u"" : row.cells[3];
}

// Marks the fixed rows and returns one line per fault found.
inline std::vector<std::u16string> CheckFixOutcome(std::vector<FixCheckRow>& rows,
                                                   const std::vector<ResultsRow>& left,
                                                   const RegistrySnapshot& before,
                                                   const RegistrySnapshot& after) {
  std::vector<std::u16string> faults;
  size_t kept = 0;
  for (FixCheckRow& row : rows) {
    if (kept < left.size() && left[kept].cells == row.row.cells) {
      ++kept;
    } else {
      row.fixed = true;
    }
    const std::u16string text = row.row.cells[1] + u"\\" + row.row.cells[2];
    if (row.fixed && !row.row.checked) faults.push_back(u"unchecked row fixed: " + text);
    if (row.fixed && row.link) faults.push_back(u"link row fixed: " + text);
  }
  if (kept != left.size()) faults.push_back(u"rows were reordered or changed");
  auto isKeyRow = [](const FixCheckRow& row) { return row.row.cells[0] == u"Invalid Key"; };

  for (const auto& [folded, key] : before) {
    bool covered = false;
    for (const FixCheckRow& row : rows) {
      covered |= row.fixed && isKeyRow(row) && !row.canonical.empty() &&
                 KeyCovers(row.canonical, folded);
    }
    auto it = after.find(folded);
    if (it == after.end()) {
      if (!covered) faults.push_back(u"key removed without a fixed row: " + key.path);
      continue;
    }
    if (covered) faults.push_back(u"key of a fixed row still there: " + key.path);
    for (const auto& [name, value] : key.values) {
      auto v = it->second.values.find(name);
      if (v != it->second.values.end()) {
        if (!(v->second == value)) faults.push_back(u"value changed: " + key.path + u"\\" + value.name);
        continue;
      }
      bool named = false;
      for (const FixCheckRow& row : rows) {
        named |= row.fixed && !isKeyRow(row) && row.canonical == folded &&
                 ToLowerAscii(RowValueName(row.row)) == name;
      }
      if (!named) faults.push_back(u"value removed without a fixed row: " + key.path + u"\\" + value.name);
    }
    for (const auto& [name, value] : it->second.values) {
      if (!key.values.count(name)) faults.push_back(u"value added: " + key.path + u"\\" + value.name);
    }
  }
  for (const auto& [folded, key] : after) {
    if (!before.count(folded)) faults.push_back(u"key added: " + key.path);
  }
  for (const FixCheckRow& row : rows) {
    if (!row.fixed || isKeyRow(row) || row.canonical.empty()) continue;
    auto it = after.find(row.canonical);
    if (it != after.end() && it->second.values.count(ToLowerAscii(RowValueName(row.row)))) {
      faults.push_back(u"value of a fixed row still there: " + row.row.cells[2] + u"\\" +
                       RowValueName(row.row));
    }
  }
  return faults;
}

}  // namespace tavik::testing
