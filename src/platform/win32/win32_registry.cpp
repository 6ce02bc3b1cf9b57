#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/win32_security.h"
#include "platform/win32/win32_text.h"

// ntdll's key query, for the one thing advapi32 does not tell: which key a
// handle holds.
extern "C" {
LONG NTAPI NtQueryKey(HANDLE key, int informationClass, void* information,
                      ULONG length, ULONG* resultLength);
ULONG NTAPI RtlNtStatusToDosError(LONG status);
}

namespace tavik {

namespace {

constexpr int kKeyNameInformation = 3;
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);

// The predefined roots are 32-bit values that 64-bit Windows sign-extends
// into its HKEY type (0x80000001 becomes 0xFFFFFFFF80000001); every other
// RegKey holds the bits of a handle that an open or create returned.
HKEY ToHkey(RegKey key) {
  if (key >= 0x80000000u && key <= 0x800000FFu) {
    const auto signedValue =
        static_cast<LONG_PTR>(static_cast<LONG>(static_cast<ULONG>(key)));
    return reinterpret_cast<HKEY>(signedValue);
  }
  return reinterpret_cast<HKEY>(key);
}

RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

// Copies a count in and out of the DWORD that the Windows function wants.
class DwordInOut {
 public:
  explicit DwordInOut(uint32_t* value)
      : value_(value), dword_(value != nullptr ? *value : 0) {}
  ~DwordInOut() {
    if (value_ != nullptr) *value_ = static_cast<uint32_t>(dword_);
  }
  DwordInOut(const DwordInOut&) = delete;
  DwordInOut& operator=(const DwordInOut&) = delete;
  DWORD* get() { return value_ != nullptr ? &dword_ : nullptr; }

 private:
  uint32_t* value_;
  DWORD dword_;
};

}  // namespace

int32_t Win32Registry::RegOpenKeyExW(RegKey parent, const char16_t* subKey,
                                     uint32_t access, RegKey* result) {
  HKEY opened = nullptr;
  const LONG status =
      ::RegOpenKeyExW(ToHkey(parent), AsWide(subKey), 0, access, &opened);
  if (status == ERROR_SUCCESS && result != nullptr) *result = FromHkey(opened);
  return status;
}

int32_t Win32Registry::RegCreateKeyExW(RegKey parent, const char16_t* subKey,
                                       uint32_t access, RegKey* result) {
  HKEY created = nullptr;
  const LONG status =
      ::RegCreateKeyExW(ToHkey(parent), AsWide(subKey), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, access, nullptr, &created,
                        nullptr);
  if (status == ERROR_SUCCESS && result != nullptr) *result = FromHkey(created);
  return status;
}

int32_t Win32Registry::RegCloseKey(RegKey key) {
  return ::RegCloseKey(ToHkey(key));
}

int32_t Win32Registry::RegEnumKeyExW(RegKey key, uint32_t index,
                                     char16_t* name, uint32_t* nameChars) {
  DwordInOut chars(nameChars);
  return ::RegEnumKeyExW(ToHkey(key), index, AsWide(name), chars.get(),
                         nullptr, nullptr, nullptr, nullptr);
}

int32_t Win32Registry::RegEnumValueW(RegKey key, uint32_t index,
                                     char16_t* name, uint32_t* nameChars,
                                     uint32_t* type, uint8_t* data,
                                     uint32_t* dataBytes) {
  DwordInOut chars(nameChars);
  DwordInOut valueType(type);
  DwordInOut bytes(dataBytes);
  return ::RegEnumValueW(ToHkey(key), index, AsWide(name), chars.get(),
                         nullptr, valueType.get(), data, bytes.get());
}

int32_t Win32Registry::RegQueryValueExW(RegKey key, const char16_t* valueName,
                                        uint32_t* type, uint8_t* data,
                                        uint32_t* dataBytes) {
  DwordInOut valueType(type);
  DwordInOut bytes(dataBytes);
  return ::RegQueryValueExW(ToHkey(key), AsWide(valueName), nullptr,
                            valueType.get(), data, bytes.get());
}

int32_t Win32Registry::RegQueryInfoKeyW(RegKey key, uint32_t* subKeys,
                                        uint32_t* values,
                                        uint64_t* lastWriteTime) {
  DwordInOut subKeyCount(subKeys);
  DwordInOut valueCount(values);
  FILETIME written{};
  const LONG status = ::RegQueryInfoKeyW(
      ToHkey(key), nullptr, nullptr, nullptr, subKeyCount.get(), nullptr,
      nullptr, valueCount.get(), nullptr, nullptr, nullptr,
      lastWriteTime != nullptr ? &written : nullptr);
  if (status == ERROR_SUCCESS && lastWriteTime != nullptr) {
    *lastWriteTime = (uint64_t{written.dwHighDateTime} << 32) |
                     written.dwLowDateTime;
  }
  return status;
}

int32_t Win32Registry::RegSetValueExW(RegKey key, const char16_t* valueName,
                                      uint32_t type, const uint8_t* data,
                                      uint32_t dataBytes) {
  return ::RegSetValueExW(ToHkey(key), AsWide(valueName), 0, type, data,
                          dataBytes);
}

int32_t Win32Registry::RegDeleteValueW(RegKey key, const char16_t* valueName) {
  return ::RegDeleteValueW(ToHkey(key), AsWide(valueName));
}

int32_t Win32Registry::RegDeleteKeyW(RegKey parent, const char16_t* subKey) {
  return ::RegDeleteKeyW(ToHkey(parent), AsWide(subKey));
}

int32_t Win32Registry::RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                                       uint32_t access, RegKey* result) {
  HKEY opened = nullptr;
  const LONG status = ::RegOpenKeyExW(ToHkey(parent), AsWide(subKey),
                                      REG_OPTION_OPEN_LINK, access, &opened);
  if (status == ERROR_SUCCESS && result != nullptr) *result = FromHkey(opened);
  return status;
}

int32_t Win32Registry::RegSaveKeyExW(RegKey key, const char16_t* file,
                                     const SecurityAttributes* security,
                                     uint32_t flags) {
  Win32SecurityAttributes attributes(security);
  if (attributes.error() != ERROR_SUCCESS) {
    return static_cast<int32_t>(attributes.error());
  }
  return ::RegSaveKeyExW(ToHkey(key), AsWide(file), attributes.get(), flags);
}

int32_t Win32Registry::RegLoadKeyW(RegKey root, const char16_t* subKey,
                                   const char16_t* file) {
  return ::RegLoadKeyW(ToHkey(root), AsWide(subKey), AsWide(file));
}

int32_t Win32Registry::NtQueryKeyNameW(RegKey key, char16_t* name,
                                       uint32_t* nameChars) {
  if (name == nullptr || nameChars == nullptr) return ERROR_INVALID_PARAMETER;
  // KEY_NAME_INFORMATION: the name's length in bytes, then the name.
  std::vector<uint8_t> buffer(sizeof(ULONG) + size_t{*nameChars} * 2 + 64);
  ULONG returned = 0;
  const LONG status = NtQueryKey(ToHkey(key), kKeyNameInformation,
                                 buffer.data(), static_cast<ULONG>(buffer.size()),
                                 &returned);
  if (status == kStatusBufferOverflow || status == kStatusBufferTooSmall) {
    return ERROR_MORE_DATA;
  }
  if (status < 0) return static_cast<int32_t>(RtlNtStatusToDosError(status));
  ULONG bytes = 0;
  std::memcpy(&bytes, buffer.data(), sizeof(bytes));
  const uint32_t chars = bytes / 2;
  if (chars >= *nameChars) return ERROR_MORE_DATA;
  std::memcpy(name, buffer.data() + sizeof(ULONG), size_t{chars} * 2);
  name[chars] = 0;
  *nameChars = chars;
  return ERROR_SUCCESS;
}

int32_t Win32Registry::RegUnLoadKeyW(RegKey root, const char16_t* subKey) {
  return ::RegUnLoadKeyW(ToHkey(root), AsWide(subKey));
}

int32_t Win32Registry::RegReplaceKeyW(RegKey key, const char16_t* subKey,
                                      const char16_t* newFile,
                                      const char16_t* oldFile) {
  return ::RegReplaceKeyW(ToHkey(key), AsWide(subKey), AsWide(newFile),
                          AsWide(oldFile));
}

}  // namespace tavik
