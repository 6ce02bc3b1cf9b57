// A Registry that passes every call to another one: the base of decorators
// (counting, failure injection, per-scan caches) that change a few calls and
// leave the rest alone.
#pragma once

#include "platform/registry.h"

namespace tavik {

class ForwardingRegistry : public Registry {
 public:
  explicit ForwardingRegistry(Registry& inner) : inner_(inner) {}

  int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey, uint32_t access,
                        RegKey* result) override {
    return inner_.RegOpenKeyExW(parent, subKey, access, result);
  }
  int32_t RegCreateKeyExW(RegKey parent, const char16_t* subKey,
                          uint32_t access, RegKey* result) override {
    return inner_.RegCreateKeyExW(parent, subKey, access, result);
  }
  int32_t RegCloseKey(RegKey key) override { return inner_.RegCloseKey(key); }
  int32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars) override {
    return inner_.RegEnumKeyExW(key, index, name, nameChars);
  }
  int32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars, uint32_t* type, uint8_t* data,
                        uint32_t* dataBytes) override {
    return inner_.RegEnumValueW(key, index, name, nameChars, type, data,
                                dataBytes);
  }
  int32_t RegQueryValueExW(RegKey key, const char16_t* valueName,
                           uint32_t* type, uint8_t* data,
                           uint32_t* dataBytes) override {
    return inner_.RegQueryValueExW(key, valueName, type, data, dataBytes);
  }
  int32_t RegQueryInfoKeyW(RegKey key, uint32_t* subKeys, uint32_t* values,
                           uint64_t* lastWriteTime = nullptr) override {
    return inner_.RegQueryInfoKeyW(key, subKeys, values, lastWriteTime);
  }
  int32_t RegSetValueExW(RegKey key, const char16_t* valueName, uint32_t type,
                         const uint8_t* data, uint32_t dataBytes) override {
    return inner_.RegSetValueExW(key, valueName, type, data, dataBytes);
  }
  int32_t RegDeleteValueW(RegKey key, const char16_t* valueName) override {
    return inner_.RegDeleteValueW(key, valueName);
  }
  int32_t RegDeleteKeyW(RegKey parent, const char16_t* subKey) override {
    return inner_.RegDeleteKeyW(parent, subKey);
  }
  int32_t RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                          uint32_t access, RegKey* result) override {
    return inner_.RegOpenKeyLinkW(parent, subKey, access, result);
  }
  int32_t RegSaveKeyExW(RegKey key, const char16_t* file,
                        const SecurityAttributes* security,
                        uint32_t flags) override {
    return inner_.RegSaveKeyExW(key, file, security, flags);
  }
  int32_t RegLoadKeyW(RegKey root, const char16_t* subKey,
                      const char16_t* file) override {
    return inner_.RegLoadKeyW(root, subKey, file);
  }
  int32_t NtQueryKeyNameW(RegKey key, char16_t* name,
                          uint32_t* nameChars) override {
    return inner_.NtQueryKeyNameW(key, name, nameChars);
  }
  int32_t RegUnLoadKeyW(RegKey root, const char16_t* subKey) override {
    return inner_.RegUnLoadKeyW(root, subKey);
  }
  int32_t RegReplaceKeyW(RegKey key, const char16_t* subKey,
                         const char16_t* newFile,
                         const char16_t* oldFile) override {
    return inner_.RegReplaceKeyW(key, subKey, newFile, oldFile);
  }

 protected:
  Registry& inner() { return inner_; }

 private:
  Registry& inner_;
};

}  // namespace tavik
