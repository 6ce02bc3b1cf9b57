#include "app/json_report.h"

#include <array>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "engine/scan_options.h"
#include "engine/scan_run.h"

namespace tavik {

namespace {

constexpr std::array<std::string_view, kScanCategoryCount> kCategoryNames = {
    "Programs", "SharedDlls",      "Startup",           "Drivers",
    "Fonts",    "HelpFiles",       "Sounds",            "RecentDocuments",
    "ObjectsAndControls", "ClassesAndIds"};

// Keys in the order written, one object per line.
std::string Line(const nlohmann::ordered_json& object) {
  // Texts arrive as valid UTF-8 (lone surrogates become U+FFFD on the way),
  // but a bad byte must never end the report: it is replaced, not thrown.
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
         "\n";
}

}  // namespace

std::string_view CategoryRecordName(int32_t index) {
  if (index < 0 || index >= kScanCategoryCount) return {};
  return kCategoryNames[static_cast<size_t>(index)];
}

std::string FormatJsonReport(const FindingList& list) {
  std::string report;
  for (size_t i = 0; i < list.findings.size(); ++i) {
    const Finding& finding = list.findings[i];
    const int32_t category =
        i < list.categories.size() ? list.categories[i] : -1;
    nlohmann::ordered_json object;
    object["type"] = Utf16ToUtf8(FindingTypeText(finding.kind));
    object["root"] = Utf16ToUtf8(FindingRootText(finding.root));
    object["path"] = Utf16ToUtf8(finding.path);
    object["valueName"] = Utf16ToUtf8(finding.valueName);
    object["category"] = std::string(CategoryRecordName(category));
    if (i < list.reasons.size()) {
      const FindingReason& reason = list.reasons[i];
      nlohmann::ordered_json why;
      why["kind"] = std::string(ReasonKindName(reason.kind));
      why["detail"] = reason.detail.Utf8();
      object["reason"] = std::move(why);
    }
    report += Line(object);
  }
  nlohmann::ordered_json summary;
  summary["count"] = list.findings.size();
  report += Line(summary);
  return report;
}

}  // namespace tavik
