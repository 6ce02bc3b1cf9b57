// The ten scan categories in the order a scan runs them, with the scanner
// calls each one makes.
#pragma once

#include "engine/scan_category.h"

namespace tavik {

extern const ScanCategoryTable kScanCategories;

}  // namespace tavik
