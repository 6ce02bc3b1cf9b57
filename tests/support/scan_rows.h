// Row texts of scans as tavik-scan prints them (tab-separated, one per line),
// and the rows of a scan beyond those a clean start already yields: the
// comparison every scenario runner makes, on the host as under Wine.
#pragma once

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tavik::testing {

inline std::vector<std::string> RowLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The lines of `rows` in their order, each line of `baseline` cancelling one
// equal line.
inline std::string RowsBeyond(const std::string& baseline,
                              const std::string& rows) {
  std::multiset<std::string> left;
  for (const auto& line : RowLines(baseline)) left.insert(line);
  std::string beyond;
  for (const auto& line : RowLines(rows)) {
    const auto it = left.find(line);
    if (it != left.end()) {
      left.erase(it);
    } else {
      beyond += line + "\n";
    }
  }
  return beyond;
}

}  // namespace tavik::testing
