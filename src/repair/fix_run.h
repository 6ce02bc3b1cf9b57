// The fix run: the worker that deletes the entries of the checked rows of
// the results list, one row at a time from the top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/finding.h"
#include "repair/repair_environment.h"

namespace tavik {

// "Total Errors Fixed: %d    " with the count.
std::u16string FormatFixSummary(uint32_t count);

// Rebuilds the finding of row `row` into `record`: 0 when the row is checked
// and names an entry the fix may delete; -1 otherwise (unchecked, an unknown
// root name, a key row naming a root, a path with an empty part, or a text
// that filled the whole work buffer and may have been cut by the list).
int32_t ReadResultRow(ResultsView& results, int32_t row, Finding& record);

// Deletes the key root + path with all its subkeys. 0 when the key is gone
// afterwards (deleted now or already absent); -1 otherwise, and always for
// a key that is a registry link or holds one below it.
int32_t DeleteFindingKey(Registry& registry, const Finding& record);

// Deletes the value record.valueName of the key root + path. 0 when the
// value is gone afterwards (deleted now, or the value or its key absent).
int32_t DeleteFindingValue(Registry& registry, const Finding& record);

// Deletes root + path, children first. `path` is a zero-terminated buffer of
// `capacity` units that is extended with each child's name and restored
// before returning. 1 on success, 0 on failure; an empty path, a child path
// that would not fit the buffer, or a child name longer than 259 units is a
// failure.
int32_t DeleteKeyTree(Registry& registry, RegKey root, char16_t* path,
                      size_t capacity);

// The worker's body: the empty-list test, busy, the optional backup, the
// deletions, idle, the summary. Returns 0.
int32_t FixThreadMain(const RepairEnvironment& environment);

}  // namespace tavik
