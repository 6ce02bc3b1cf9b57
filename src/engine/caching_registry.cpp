#include "engine/caching_registry.h"

namespace tavik {

namespace {

// Stand-in handles come from a range that neither kernel handles nor the
// predefined roots use.
constexpr RegKey kStandInBase = static_cast<RegKey>(0x5A5A0000u) << 16;

bool IsPredefinedRoot(RegKey key) {
  return key == kHkeyClassesRoot || key == kHkeyCurrentUser ||
         key == kHkeyLocalMachine || key == kHkeyUsers;
}

}  // namespace

CachingRegistry::CachingRegistry(Registry& inner)
    : inner_(inner), nextStandIn_(kStandInBase) {}

CachingRegistry::~CachingRegistry() {
  for (auto& [handle, standIn] : standIns_) {
    if (standIn.opened) inner_.RegCloseKey(standIn.real);
  }
}

int32_t CachingRegistry::RegOpenKeyExW(RegKey parent, const char16_t* subKey,
                                       uint32_t access, RegKey* result) {
  ++counts_.opensAsked;
  // Only paths below a root name the same key for the whole scan; a key
  // below an open handle is opened for real.
  if (!IsPredefinedRoot(parent) || subKey == nullptr || result == nullptr) {
    RegKey real = 0;
    const int32_t error = Resolve(parent, &real);
    if (error != kErrorSuccess) return error;
    ++counts_.realOpens;
    return inner_.RegOpenKeyExW(real, subKey, access, result);
  }
  OpenKey what{parent, std::u16string(subKey), access};
  auto known = answers_.find(what);
  RegKey real = 0;
  bool opened = false;
  if (known == answers_.end()) {
    ++counts_.realOpens;
    const int32_t error = inner_.RegOpenKeyExW(parent, subKey, access, &real);
    // A failure is never kept: a key made during the scan (a class
    // registered meanwhile) must be seen, or an entry that refers to it
    // would be reported. A kept success can only keep an entry, or report
    // one that the fix then finds gone.
    if (error != kErrorSuccess) return error;
    known = answers_.emplace(what, error).first;
    opened = true;
  } else {
    ++counts_.opensAnswered;
  }
  const RegKey handle = nextStandIn_;
  nextStandIn_ += 4;
  standIns_[handle] = StandIn{std::move(what), real, opened};
  *result = handle;
  return kErrorSuccess;
}

int32_t CachingRegistry::Resolve(RegKey key, RegKey* real) {
  const auto it = standIns_.find(key);
  if (it == standIns_.end()) {
    *real = key;
    return kErrorSuccess;
  }
  StandIn& standIn = it->second;
  if (!standIn.opened) {
    ++counts_.realOpens;
    const auto& [root, path, access] = standIn.what;
    const int32_t error =
        inner_.RegOpenKeyExW(root, path.c_str(), access, &standIn.real);
    if (error != kErrorSuccess) return error;
    standIn.opened = true;
  }
  *real = standIn.real;
  return kErrorSuccess;
}

void CachingRegistry::Forget() { answers_.clear(); }

int32_t CachingRegistry::RegCreateKeyExW(RegKey parent, const char16_t* subKey,
                                         uint32_t access, RegKey* result) {
  Forget();
  RegKey real = 0;
  const int32_t error = Resolve(parent, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegCreateKeyExW(real, subKey, access, result);
}

int32_t CachingRegistry::RegCloseKey(RegKey key) {
  const auto it = standIns_.find(key);
  if (it == standIns_.end()) return inner_.RegCloseKey(key);
  if (it->second.opened) inner_.RegCloseKey(it->second.real);
  standIns_.erase(it);
  return kErrorSuccess;
}

int32_t CachingRegistry::RegEnumKeyExW(RegKey key, uint32_t index,
                                       char16_t* name, uint32_t* nameChars) {
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegEnumKeyExW(real, index, name, nameChars);
}

int32_t CachingRegistry::RegEnumValueW(RegKey key, uint32_t index,
                                       char16_t* name, uint32_t* nameChars,
                                       uint32_t* type, uint8_t* data,
                                       uint32_t* dataBytes) {
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegEnumValueW(real, index, name, nameChars, type, data,
                              dataBytes);
}

int32_t CachingRegistry::RegQueryValueExW(RegKey key, const char16_t* valueName,
                                          uint32_t* type, uint8_t* data,
                                          uint32_t* dataBytes) {
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegQueryValueExW(real, valueName, type, data, dataBytes);
}

int32_t CachingRegistry::RegQueryInfoKeyW(RegKey key, uint32_t* subKeys,
                                          uint32_t* values,
                                          uint64_t* lastWriteTime) {
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegQueryInfoKeyW(real, subKeys, values, lastWriteTime);
}

int32_t CachingRegistry::RegSetValueExW(RegKey key, const char16_t* valueName,
                                        uint32_t type, const uint8_t* data,
                                        uint32_t dataBytes) {
  Forget();
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegSetValueExW(real, valueName, type, data, dataBytes);
}

int32_t CachingRegistry::RegDeleteValueW(RegKey key,
                                         const char16_t* valueName) {
  Forget();
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegDeleteValueW(real, valueName);
}

int32_t CachingRegistry::RegDeleteKeyW(RegKey parent, const char16_t* subKey) {
  Forget();
  RegKey real = 0;
  const int32_t error = Resolve(parent, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegDeleteKeyW(real, subKey);
}

int32_t CachingRegistry::RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                                         uint32_t access, RegKey* result) {
  // A scan opens keys as themselves only to read them (to see whether one
  // is a link); only an open that may write forgets.
  if ((access & ~kKeyRead) != 0) Forget();
  RegKey real = 0;
  const int32_t error = Resolve(parent, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegOpenKeyLinkW(real, subKey, access, result);
}

int32_t CachingRegistry::RegSaveKeyExW(RegKey key, const char16_t* file,
                                       const SecurityAttributes* security,
                                       uint32_t flags) {
  Forget();
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegSaveKeyExW(real, file, security, flags);
}

int32_t CachingRegistry::RegLoadKeyW(RegKey root, const char16_t* subKey,
                                     const char16_t* file) {
  Forget();
  RegKey real = 0;
  const int32_t error = Resolve(root, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegLoadKeyW(real, subKey, file);
}

int32_t CachingRegistry::NtQueryKeyNameW(RegKey key, char16_t* name,
                                         uint32_t* nameChars) {
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.NtQueryKeyNameW(real, name, nameChars);
}

int32_t CachingRegistry::RegUnLoadKeyW(RegKey root, const char16_t* subKey) {
  Forget();
  RegKey real = 0;
  const int32_t error = Resolve(root, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegUnLoadKeyW(real, subKey);
}

int32_t CachingRegistry::RegReplaceKeyW(RegKey key, const char16_t* subKey,
                                        const char16_t* newFile,
                                        const char16_t* oldFile) {
  Forget();
  RegKey real = 0;
  const int32_t error = Resolve(key, &real);
  if (error != kErrorSuccess) return error;
  return inner_.RegReplaceKeyW(real, subKey, newFile, oldFile);
}

}  // namespace tavik
