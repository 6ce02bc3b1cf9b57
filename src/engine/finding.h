// The Finding record, the list that collects a scan's findings, and the one
// reporting operation every scanner uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/finding_reason.h"
#include "engine/scan_context.h"

namespace tavik {

inline constexpr int32_t kFindingInvalidKey = 0;
inline constexpr int32_t kFindingInvalidValue = 1;

struct Finding {
  // 0 = the key `path` is to be deleted with its subkeys; 1 = the value
  // `valueName` of the key `path` is to be deleted.
  int32_t kind = kFindingInvalidKey;
  RegKey root = 0;
  // The full key path below the root, without a leading backslash.
  std::u16string path;
  // "" for key findings; "" also names a key's default value.
  std::u16string valueName;
};

// The findings of one scan in the order they were found. A vector keeps
// appending constant-time however long the list grows.
struct FindingList {
  std::vector<Finding> findings;
  // For each finding, the record position (0 to 9) of the category that was
  // running when it was added; kept beside the findings by the scan run.
  std::vector<int32_t> categories;
  // For each finding, why it was made.
  std::vector<FindingReason> reasons;
};

// Display name of a root: "HKEY_LOCAL_MACHINE" and so on, "" for others.
std::u16string RootDisplayName(RegKey root);

// Joins a key path and a subkey name with one backslash, as AddFinding does.
std::u16string JoinKeyPath(std::u16string_view keyPath,
                           std::u16string_view subName);

// Reports an invalid key (kind 0) or value (kind 1) with the reason it was
// found. 0 = stored; 1 = the key lies under an exclude entry; -1 = no list,
// or the key cannot be opened with full access (or its path would not fit a
// work buffer), nothing stored.
int32_t AddFinding(const ScanContext& context, FindingList* list, int32_t kind,
                   RegKey root, std::u16string_view keyPath,
                   std::u16string_view subName, std::u16string_view valueName,
                   FindingReason reason);

// Lists every subkey name of root + keyPath into `names`. 0 = at least one
// name listed to the end; -1 = the key cannot be read, has no subkeys, or the
// enumeration stopped on an error (names of a key that opened are cleared; a
// key that did not open leaves `names` untouched).
int32_t ListSubkeys(const ScanContext& context, RegKey root,
                    std::u16string_view keyPath,
                    std::vector<std::u16string>& names);

}  // namespace tavik
