// The five categories whose data is a flat list of values in one key:
// shared DLLs, system drivers, fonts, help files and startup commands.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/finding.h"

namespace tavik {

struct RegistryLocation {
  RegKey root;
  std::u16string_view path;
};

// The 32 startup keys, in scan order.
extern const std::array<RegistryLocation, 32> kStartupKeys;

int32_t ScanSharedDlls(const ScanContext& context, FindingList* list,
                       std::u16string_view keyPath);
int32_t ScanSystemDrivers(const ScanContext& context, FindingList* list,
                          std::u16string_view keyPath);
int32_t ScanFonts(const ScanContext& context, FindingList* list,
                  std::u16string_view keyPath);
int32_t ScanHelpFiles(const ScanContext& context, FindingList* list,
                      std::u16string_view keyPath);
int32_t ScanStartupKey(const ScanContext& context, FindingList* list,
                       RegKey root, std::u16string_view keyPath);
int32_t ScanStartupFiles(const ScanContext& context, FindingList* list);

}  // namespace tavik
