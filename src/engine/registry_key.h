// An open registry key that closes itself.
#pragma once

#include <utility>

#include "platform/registry.h"

namespace tavik {

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(Registry& registry, RegKey key) : registry_(&registry), key_(key) {}
  RegistryKey(RegistryKey&& other) noexcept
      : registry_(std::exchange(other.registry_, nullptr)),
        key_(std::exchange(other.key_, 0)) {}
  RegistryKey& operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
      Close();
      registry_ = std::exchange(other.registry_, nullptr);
      key_ = std::exchange(other.key_, 0);
    }
    return *this;
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() { Close(); }

  // Opens root + path; the result is the registry's error code.
  static int32_t Open(Registry& registry, RegKey root, const char16_t* path,
                      uint32_t access, RegistryKey& out) {
    RegKey key = 0;
    const int32_t result = registry.RegOpenKeyExW(root, path, access, &key);
    if (result == kErrorSuccess) out = RegistryKey(registry, key);
    return result;
  }

  bool valid() const { return registry_ != nullptr; }
  RegKey get() const { return key_; }

  void Close() {
    if (registry_ != nullptr) registry_->RegCloseKey(key_);
    registry_ = nullptr;
    key_ = 0;
  }

 private:
  Registry* registry_ = nullptr;
  RegKey key_ = 0;
};

}  // namespace tavik
