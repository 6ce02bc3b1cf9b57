#include "app/scan_options_store.h"

#include <array>
#include <vector>

#include "engine/registry_key.h"
#include "base/text.h"

namespace tavik {

namespace {

constexpr std::array<std::u16string_view, kScanCategoryCount> kValueNames = {
    u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"10", u"9"};

// Reading order of the values: "1" to "10".
constexpr std::array<int, kScanCategoryCount> kReadOrder = {0, 1, 2, 3, 4,
                                                             5, 6, 7, 9, 8};

constexpr uint32_t kSettingsDataBytes = 66000;

}  // namespace

std::u16string_view ScanSwitchValueName(int index) {
  return kValueNames.at(static_cast<size_t>(index));
}

void LoadScanOptions(Registry& registry, ScanOptions& options) {
  options = ScanOptions{};
  std::vector<char16_t> buffer(kSettingsDataBytes / sizeof(char16_t));
  for (const int index : kReadOrder) {
    RegistryKey key;
    if (RegistryKey::Open(registry, kHkeyLocalMachine,
                          std::u16string(kSettingsKeyPath).c_str(),
                          kKeyAllAccess, key) != kErrorSuccess) {
      continue;
    }
    uint32_t bytes = kSettingsDataBytes;
    const std::u16string name(kValueNames[static_cast<size_t>(index)]);
    if (registry.RegQueryValueExW(key.get(), name.c_str(), nullptr,
                                  reinterpret_cast<uint8_t*>(buffer.data()),
                                  &bytes) != kErrorSuccess) {
      continue;
    }
    const auto text = TextUpToZero(buffer.data(), bytes / sizeof(char16_t));
    if (text == u"0") ScanSwitch(options, index) = 0;
  }
}

}  // namespace tavik
