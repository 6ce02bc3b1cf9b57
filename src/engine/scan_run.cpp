#include "engine/scan_run.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "engine/exclude_list.h"
#include "base/text.h"

namespace tavik {

std::u16string FormatScanSummary(int32_t count) {
  return u"Total Invalid Entries Found: " +
         Utf8ToUtf16(std::to_string(count)) + u"    ";
}

std::u16string FindingTypeText(int32_t kind) {
  return kind == kFindingInvalidKey ? u"Invalid Key" : u"Invalid Value";
}

std::u16string FindingRootText(RegKey root) {
  const std::u16string name = RootDisplayName(root);
  return name.empty() ? u"UNKNOWN" : name;
}

std::u16string FindingValueNameText(const std::u16string& valueName) {
  return valueName.empty() ? u"-------" : valueName;
}

namespace {

// A scan over caches is judged again when a folder changed under it; after
// this many tries it runs without them.
constexpr int kCachedScanTries = 2;

void RunCategories(const ScanEnvironment& environment, Registry& registry,
                   FileSystem& files, const ExcludeList& excludeList,
                   FindingList& list) {
  list.findings.clear();
  list.categories.clear();
  list.reasons.clear();
  const ScanContext context{registry, files, environment.stopRequested,
                            &excludeList};
  const CategoryRun run{context, &list, environment.host};
  for (int index = 0; index < kScanCategoryCount; ++index) {
    const ScanCategory& category = environment.categories[static_cast<size_t>(index)];
    // Each switch is read once, when the scan reaches it. A stop request
    // does not skip the calls: every scanner returns at once on its own.
    if (ScanSwitch(environment.options, index) != 1) continue;
    if (category.scan != nullptr) category.scan(run);
    // Findings are only ever appended, so the ones added since the last
    // category are this category's.
    list.categories.resize(list.findings.size(), index);
  }
}

}  // namespace

void RunScan(const ScanEnvironment& environment, FindingList& list) {
  // The exclude file is read afresh for every scan, so edits made between
  // scans take effect at the next one.
  ExcludeList excludeList;
  LoadExcludeList(environment.files, excludeList);
  if (environment.useCaches) {
    for (int tries = 0; tries < kCachedScanTries; ++tries) {
      // The caches live for this scan only: the next one sees every change.
      CachingRegistry registry(environment.registry);
      CachingFileSystem files(environment.files);
      RunCategories(environment, registry, files, excludeList, list);
      if (environment.stopRequested.load(std::memory_order_relaxed) != 0) {
        return;
      }
      // A finding may rest on a file that a cached "absent" missed because
      // it appeared during the scan: the scan reports only when every such
      // answer still holds, and otherwise judges everything again.
      const auto start = std::chrono::steady_clock::now();
      const bool confirmed = files.ConfirmAbsentAnswers();
      if (environment.cacheReport != nullptr) {
        ScanCacheReport& report = *environment.cacheReport;
        report.files = files.counts();
        report.registry = registry.counts();
        report.passes = tries + 1;
        report.confirmMilliseconds +=
            std::chrono::duration<double, std::milli>(
                std::chrono::steady_clock::now() - start)
                .count();
      }
      if (confirmed) return;
    }
  }
  RunCategories(environment, environment.registry, environment.files,
                excludeList, list);
}

int32_t FillResultsList(ResultsView& results, const FindingList& list) {
  results.DeleteAllRows();
  results.SetRedraw(false);
  results.SetItemCountHint(kResultsCountHint);
  int32_t row = 0;
  for (const Finding& finding : list.findings) {
    if (finding.kind == -1) break;
    results.InsertRow(row, FindingTypeText(finding.kind));
    results.SetCellText(row, kColumnRootKey, FindingRootText(finding.root));
    results.SetCellText(row, kColumnPath, finding.path);
    results.SetCellText(row, kColumnValueName,
                        FindingValueNameText(finding.valueName));
    results.SetChecked(row, true);
    if (static_cast<size_t>(row) < list.reasons.size()) {
      results.SetRowTip(row, list.reasons[static_cast<size_t>(row)].detail);
    }
    ++row;
  }
  results.SetRedraw(true);
  return row;
}

void ReleaseFindingList(FindingList& list) {
  list.findings.clear();
  list.findings.shrink_to_fit();
  list.categories.clear();
  list.categories.shrink_to_fit();
  list.reasons.clear();
  list.reasons.shrink_to_fit();
}

int32_t ScanThreadMain(const ScanEnvironment& environment) {
  environment.host.EnterBusyState();
  FindingList list;
  RunScan(environment, list);
  // The automation mode is read only once the window is idle again: a
  // "show" request served meanwhile must not send the result elsewhere.
  const auto automated = [&environment] {
    return environment.automationMode.load(std::memory_order_relaxed) != 0;
  };
  if (environment.stopRequested.load(std::memory_order_relaxed) != 0) {
    // A stopped scan shows nothing and leaves the previous rows in place.
    ReleaseFindingList(list);
    environment.host.EnterIdleState();
    if (automated()) environment.host.ReportAutomationStatus(u"Stopped");
    return 0;
  }
  const int32_t count = FillResultsList(environment.results, list);
  if (environment.writtenFindings != nullptr) {
    FindingList& written = *environment.writtenFindings;
    written = list;
    written.findings.resize(static_cast<size_t>(count));
    written.categories.resize(static_cast<size_t>(count), -1);
    written.reasons.resize(std::min(written.reasons.size(),
                                    static_cast<size_t>(count)));
  }
  ReleaseFindingList(list);
  environment.host.EnterIdleState();
  const std::u16string summary = FormatScanSummary(count);
  if (automated()) {
    environment.host.ReportAutomationStatus(summary);
  } else {
    environment.host.ShowMessage(summary);
  }
  return 0;
}

}  // namespace tavik
