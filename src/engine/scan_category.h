// What the scan run needs to know of a category: its caption and the scanner
// calls it makes. The table itself lives with the scanners and is handed to
// the scan run by whoever starts a scan, so the engine never knows them.
#pragma once

#include <array>
#include <string_view>

#include "engine/finding.h"
#include "engine/scan_options.h"
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
  CategoryScan scan;  // null: the category makes no calls
};

// Indexed by ScanOptions record position.
using ScanCategoryTable = std::array<ScanCategory, kScanCategoryCount>;

}  // namespace tavik
