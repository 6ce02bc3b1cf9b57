// The --json report of tavik-scan: one JSON object per finding and line, then
// one summary object, so that names holding tabs, line breaks or quotes can
// neither split nor fake a line.
#pragma once

#include <string>
#include <string_view>

#include "engine/finding.h"

namespace tavik {

// Name of the category at record position `index` (0 to 9), as the settings
// record calls it ("Programs", "SharedDlls", ...); "" for any other index.
std::string_view CategoryRecordName(int32_t index);

// {"type":..,"root":..,"path":..,"valueName":..,"category":..,
// "reason":{"kind":..,"detail":..}} per finding, each on its own line, then
// {"count":N}; UTF-8, "\n" line ends. Value names are given as stored: "" for
// key findings and default values. The reason's kind is ReasonKindName's.
std::string FormatJsonReport(const FindingList& list);

}  // namespace tavik
