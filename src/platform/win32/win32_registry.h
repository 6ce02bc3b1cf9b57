// The registry seam over advapi32: each call forwards to the Windows function
// of the same name.
#pragma once

#include "platform/registry.h"

namespace tavik {

class Win32Registry final : public Registry {
 public:
  int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey, uint32_t access,
                        RegKey* result) override;
  int32_t RegCreateKeyExW(RegKey parent, const char16_t* subKey,
                          uint32_t access, RegKey* result) override;
  int32_t RegCloseKey(RegKey key) override;
  int32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars) override;
  int32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars, uint32_t* type, uint8_t* data,
                        uint32_t* dataBytes) override;
  int32_t RegQueryValueExW(RegKey key, const char16_t* valueName,
                           uint32_t* type, uint8_t* data,
                           uint32_t* dataBytes) override;
  int32_t RegQueryInfoKeyW(RegKey key, uint32_t* subKeys, uint32_t* values,
                           uint64_t* lastWriteTime = nullptr) override;
  int32_t RegSetValueExW(RegKey key, const char16_t* valueName, uint32_t type,
                         const uint8_t* data, uint32_t dataBytes) override;
  int32_t RegDeleteValueW(RegKey key, const char16_t* valueName) override;
  int32_t RegDeleteKeyW(RegKey parent, const char16_t* subKey) override;
  int32_t RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                          uint32_t access, RegKey* result) override;
  int32_t RegSaveKeyExW(RegKey key, const char16_t* file,
                        const SecurityAttributes* security,
                        uint32_t flags) override;
  int32_t RegLoadKeyW(RegKey root, const char16_t* subKey,
                      const char16_t* file) override;
  int32_t NtQueryKeyNameW(RegKey key, char16_t* name,
                          uint32_t* nameChars) override;
  int32_t RegUnLoadKeyW(RegKey root, const char16_t* subKey) override;
  int32_t RegReplaceKeyW(RegKey key, const char16_t* subKey,
                         const char16_t* newFile,
                         const char16_t* oldFile) override;
};

}  // namespace tavik
