#include "app/scan_options_store.h"

#include <algorithm>
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

// Reads one value of the settings key as text; false when the key or the
// value is missing. The value's type is not examined.
bool ReadSettingsText(Registry& registry, std::u16string_view name,
                      std::u16string& text) {
  RegistryKey key;
  if (RegistryKey::Open(registry, kHkeyLocalMachine,
                        std::u16string(kSettingsKeyPath).c_str(),
                        kKeyAllAccess, key) != kErrorSuccess) {
    return false;
  }
  std::vector<char16_t> buffer(kSettingsDataBytes / sizeof(char16_t));
  uint32_t bytes = kSettingsDataBytes;
  if (registry.RegQueryValueExW(key.get(), std::u16string(name).c_str(),
                                nullptr,
                                reinterpret_cast<uint8_t*>(buffer.data()),
                                &bytes) != kErrorSuccess) {
    return false;
  }
  text = TextOfData(buffer.data(), std::min(bytes, kSettingsDataBytes));
  return true;
}

// Creates or opens the settings key and writes "1" or "0" (4 bytes with the
// terminator).
int32_t WriteSettingsSwitch(Registry& registry, std::u16string_view name,
                            bool on) {
  RegKey key = 0;
  if (registry.RegCreateKeyExW(kHkeyLocalMachine,
                               std::u16string(kSettingsKeyPath).c_str(),
                               kKeyAllAccess, &key) != kErrorSuccess) {
    return -1;
  }
  const RegistryKey closer(registry, key);
  const char16_t data[2] = {on ? u'1' : u'0', u'\0'};
  return registry.RegSetValueExW(key, std::u16string(name).c_str(), kRegSz,
                                 reinterpret_cast<const uint8_t*>(data),
                                 sizeof(data)) == kErrorSuccess
             ? 0
             : -1;
}

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
    // A 1-byte "0" (no terminator, odd length) still reads as "0".
    const auto text = TextOfData(buffer.data(), std::min(bytes, kSettingsDataBytes));
    if (text == u"0") ScanSwitch(options, index) = 0;
  }
}

bool LoadBackupSwitch(Registry& registry) {
  std::u16string text;
  if (!ReadSettingsText(registry, u"CreateBackup", text)) return true;
  return text == u"1";
}

int32_t StoreBackupSwitch(Registry& registry, bool checked) {
  return WriteSettingsSwitch(registry, u"CreateBackup", checked);
}

SettingsBoxes LoadSettingsBoxes(Registry& registry) {
  SettingsBoxes boxes{};
  for (int index = 0; index < kScanCategoryCount; ++index) {
    std::u16string text;
    boxes[static_cast<size_t>(index)] =
        !ReadSettingsText(registry, ScanSwitchValueName(index), text) ||
        text == u"1";
  }
  return boxes;
}

void StoreSettingsBoxes(Registry& registry, const SettingsBoxes& boxes,
                        ScanOptions& options) {
  for (int index = 0; index < kScanCategoryCount; ++index) {
    ScanSwitch(options, index) = boxes[static_cast<size_t>(index)] ? 1 : 0;
  }
  for (const int index : kReadOrder) {
    WriteSettingsSwitch(registry, ScanSwitchValueName(index),
                        boxes[static_cast<size_t>(index)]);
  }
}

}  // namespace tavik
