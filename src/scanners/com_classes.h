// The category "Scan Classes and IDs": COM class identifiers, ProgIDs and
// file extensions, and application identifiers, in the six places classes
// live.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/finding.h"

namespace tavik {

struct ClassLocation {
  RegKey root;
  std::u16string_view classesRoot;  // "" = the root itself
  std::u16string_view classIdContainer;
  std::u16string_view appIdContainer;
};

// The six class locations in scan order: merged view, machine, user, then
// the same three in the 32-bit view.
extern const std::array<ClassLocation, 6> kClassLocations;

// Runs the class identifier, class name and application identifier passes
// over the six locations, in that order. Always 0.
int32_t ScanClasses(const ScanContext& context, FindingList* list);

// Each pass returns 0 after walking its whole container, -1 when the
// container has no subkeys or cannot be read, or a stop ended the pass.
int32_t ScanClassIdContainer(const ScanContext& context, RegKey root,
                             std::u16string_view containerPath,
                             FindingList* list);
int32_t ScanProgIdContainer(const ScanContext& context, RegKey root,
                            std::u16string_view classesRootPath,
                            FindingList* list);
int32_t ScanAppIdContainer(const ScanContext& context, RegKey root,
                           std::u16string_view containerPath,
                           FindingList* list);

}  // namespace tavik
