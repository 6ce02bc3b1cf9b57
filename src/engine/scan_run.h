// The scan run: the worker body that collects findings from the enabled
// categories and writes them to the results list.
#pragma once

#include <cstdint>
#include <string>

#include "engine/caching_file_system.h"
#include "engine/caching_registry.h"
#include "engine/finding.h"
#include "engine/scan_category.h"
#include "engine/scan_context.h"
#include "engine/scan_options.h"
#include "engine/ui_ports.h"

namespace tavik {

// What the caches of a scan did, for benchmarks and the console program.
struct ScanCacheReport {
  FileCacheCounts files;
  RegistryCacheCounts registry;
  int32_t passes = 0;             // cached passes (2 when one was stale)
  double confirmMilliseconds = 0;  // spent confirming "absent" answers
};

// Everything the scan worker shares with the rest of the program.
struct ScanEnvironment {
  Registry& registry;
  FileSystem& files;
  const ScanOptions& options;
  // The categories in record order, from the scanners layer.
  const ScanCategoryTable& categories;
  SharedFlag& stopRequested;
  SharedFlag& automationMode;
  ResultsView& results;
  WorkerHost& host;
  // When set, receives a copy of the findings that became rows, with the
  // category of each, for a caller that reports more than the rows hold.
  FindingList* writtenFindings = nullptr;
  // Off: every test goes to the registry and the file system as it stands,
  // to compare a scan with and without the per-scan caches.
  bool useCaches = true;
  // When set, receives what the caches did.
  ScanCacheReport* cacheReport = nullptr;
};

inline constexpr int32_t kResultsCountHint = 100000;

// "Total Invalid Entries Found: %d    " with the count.
std::u16string FormatScanSummary(int32_t count);

// Loads the exclude file and runs the enabled categories into `list`.
void RunScan(const ScanEnvironment& environment, FindingList& list);

// Replaces the results list's rows with one checked row per finding and
// returns their number.
int32_t FillResultsList(ResultsView& results, const FindingList& list);

void ReleaseFindingList(FindingList& list);

// The worker's body: busy, scan, rows (unless stopped), idle, summary.
int32_t ScanThreadMain(const ScanEnvironment& environment);

// The four texts of a finding's results-list row.
std::u16string FindingTypeText(int32_t kind);
std::u16string FindingRootText(RegKey root);
std::u16string FindingValueNameText(const std::u16string& valueName);

}  // namespace tavik
