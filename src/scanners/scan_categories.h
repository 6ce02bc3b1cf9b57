// The ten scan categories in the order a scan runs them, with the scanner
// calls each one makes. A category whose scanners are not built yet has no
// calls and does nothing.
#pragma once

#include <array>
#include <string_view>

#include "engine/finding.h"
#include "engine/ui_ports.h"

namespace tavik {

struct CategoryRun {
  const ScanContext& context;
  FindingList* list;
  WorkerHost& host;
};

using CategoryScan = void (*)(const CategoryRun& run);

struct ScanCategory {
  std::u16string_view caption;
  CategoryScan scan;  // null: no scanner for this category yet
};

// Indexed by ScanOptions record position.
extern const std::array<ScanCategory, 10> kScanCategories;

}  // namespace tavik
