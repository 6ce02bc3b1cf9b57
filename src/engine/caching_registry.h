// A per-scan cache in front of any Registry: it keeps every successful open
// of a key path below a predefined root, so that a scan that comes back
// to the same key (the full-access test of each finding in one key, the
// same class looked up by many references) asks the registry once. A kept
// "opened" answer hands out a stand-in handle; the real key is opened only
// when the caller reads through it. Any change made through the cache drops
// what it kept. Lives for one scan, on the scan's thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "platform/registry.h"

namespace tavik {

struct RegistryCacheCounts {
  uint64_t opensAsked = 0;     // RegOpenKeyExW calls made to the cache
  uint64_t opensAnswered = 0;  // of them, answered without the registry
  uint64_t realOpens = 0;      // opens passed on to the registry
};

class CachingRegistry final : public Registry {
 public:
  explicit CachingRegistry(Registry& inner);
  ~CachingRegistry() override;
  CachingRegistry(const CachingRegistry&) = delete;
  CachingRegistry& operator=(const CachingRegistry&) = delete;

  const RegistryCacheCounts& counts() const { return counts_; }

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
  // Opens the real key; forgets what was kept unless the access is read.
  int32_t RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                          uint32_t access, RegKey* result) override;
  // The repair calls: a scan never makes them; they forget what was kept
  // and pass the real key on, as every write does.
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

 private:
  using OpenKey = std::tuple<RegKey, std::u16string, uint32_t>;
  // A stand-in handle: what it names, and the real key once one is needed.
  struct StandIn {
    OpenKey what;
    RegKey real = 0;
    bool opened = false;
  };
  // The real key behind `key` (opening it for a stand-in), or an error.
  int32_t Resolve(RegKey key, RegKey* real);
  void Forget();

  Registry& inner_;
  // Keys that opened, by root, path and access.
  std::map<OpenKey, int32_t> answers_;
  std::map<RegKey, StandIn> standIns_;
  RegKey nextStandIn_;
  RegistryCacheCounts counts_;
};

}  // namespace tavik
