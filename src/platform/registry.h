// The registry seam: every registry call of the engine and the scanners goes
// through this interface, shaped like the advapi32 functions it stands for
// (same arguments, same buffer-and-length rules, same Win32 error codes).
#pragma once

#include <cstdint>

#include "platform/security_attributes.h"

namespace tavik {

// A registry key handle: a predefined root or a handle returned by OpenKey.
using RegKey = std::uintptr_t;

inline constexpr RegKey kHkeyClassesRoot = 0x80000000u;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001u;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;
inline constexpr RegKey kHkeyUsers = 0x80000003u;

inline constexpr int32_t kErrorSuccess = 0;
inline constexpr int32_t kErrorFileNotFound = 2;
inline constexpr int32_t kErrorPathNotFound = 3;
inline constexpr int32_t kErrorAccessDenied = 5;
inline constexpr int32_t kErrorInvalidHandle = 6;
inline constexpr int32_t kErrorInvalidParameter = 87;
inline constexpr int32_t kErrorCallNotImplemented = 120;
inline constexpr int32_t kErrorMoreData = 234;
inline constexpr int32_t kErrorNoMoreItems = 259;
inline constexpr int32_t kErrorAlreadyExists = 183;
inline constexpr int32_t kErrorBadDb = 1009;
inline constexpr int32_t kErrorKeyDeleted = 1018;
inline constexpr int32_t kErrorPrivilegeNotHeld = 1314;

// RegOpenKeyExW option: open a registry link itself, not the key it names.
inline constexpr uint32_t kRegOptionOpenLink = 0x0008;
// RegSaveKeyExW flag: the hive file is written without compaction.
inline constexpr uint32_t kRegNoCompression = 4;
// The value that makes a key a registry link, and its type.
inline constexpr char16_t kSymbolicLinkValueName[] = u"SymbolicLinkValue";

inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExW: opens `subKey` ("" = the key itself) below `parent`.
  virtual int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey,
                                uint32_t access, RegKey* result) = 0;
  // RegCreateKeyExW: opens the key, creating it (and missing parents) first.
  virtual int32_t RegCreateKeyExW(RegKey parent, const char16_t* subKey,
                                  uint32_t access, RegKey* result) = 0;
  virtual int32_t RegCloseKey(RegKey key) = 0;

  // RegEnumKeyExW: `nameChars` holds the capacity including the terminator on
  // entry and the name length without it on success; ERROR_MORE_DATA when the
  // name does not fit, ERROR_NO_MORE_ITEMS past the last subkey.
  virtual int32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name,
                                uint32_t* nameChars) = 0;
  // RegEnumValueW: as RegEnumKeyExW for the name; `type`, `data` and
  // `dataBytes` may be null. ERROR_MORE_DATA when the data does not fit.
  virtual int32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name,
                                uint32_t* nameChars, uint32_t* type,
                                uint8_t* data, uint32_t* dataBytes) = 0;
  // RegQueryValueExW: "" names the default value.
  virtual int32_t RegQueryValueExW(RegKey key, const char16_t* valueName,
                                   uint32_t* type, uint8_t* data,
                                   uint32_t* dataBytes) = 0;
  // RegQueryInfoKeyW, reduced to the two counts and the last-write time
  // (a FILETIME as one number) that the system asks for; each may be null.
  virtual int32_t RegQueryInfoKeyW(RegKey key, uint32_t* subKeys,
                                   uint32_t* values,
                                   uint64_t* lastWriteTime = nullptr) = 0;
  virtual int32_t RegSetValueExW(RegKey key, const char16_t* valueName,
                                 uint32_t type, const uint8_t* data,
                                 uint32_t dataBytes) = 0;
  virtual int32_t RegDeleteValueW(RegKey key, const char16_t* valueName) = 0;
  // RegDeleteKeyW: deletes a subkey that has no subkeys of its own. A link
  // on the way, or named by `subKey`, is followed. An empty `subKey` deletes
  // the key of the handle itself: the key that was opened, even when it was
  // opened as a link with RegOpenKeyLinkW.
  virtual int32_t RegDeleteKeyW(RegKey parent, const char16_t* subKey) = 0;

  // RegOpenKeyExW with REG_OPTION_OPEN_LINK: links on the way are followed,
  // but a link named by the last part of `subKey` is opened itself, so that
  // its "SymbolicLinkValue" (REG_LINK) can be read.
  virtual int32_t RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                                  uint32_t access, RegKey* result) = 0;
  // RegSaveKeyExW: writes the key's tree to a new hive file created with
  // `security` (null: the folder's inherited permissions); fails when the
  // file exists (Windows; Wine saves over it and keeps its permissions) and
  // without SeBackupPrivilege (ERROR_PRIVILEGE_NOT_HELD). Wine hands the
  // SECURITY_ATTRIBUTES to the kernel as if they were the descriptor and
  // answers ERROR_UNKNOWN_REVISION to any.
  virtual int32_t RegSaveKeyExW(RegKey key, const char16_t* file,
                                const SecurityAttributes* security,
                                uint32_t flags) = 0;
  // RegLoadKeyW: mounts a hive file as `subKey` below HKEY_LOCAL_MACHINE or
  // HKEY_USERS (needs SeRestorePrivilege).
  virtual int32_t RegLoadKeyW(RegKey root, const char16_t* subKey,
                              const char16_t* file) = 0;
  // NtQueryKey with KeyNameInformation: the full name of the key a handle
  // holds, in the kernel's namespace ("\\REGISTRY\\MACHINE\\SOFTWARE\\Classes"),
  // which tells which key a merged HKEY_CLASSES_ROOT handle stands for.
  // `nameChars` holds the capacity on entry and the length without the
  // terminator on success; ERROR_MORE_DATA when the name does not fit. A
  // layer that cannot tell answers ERROR_CALL_NOT_IMPLEMENTED.
  virtual int32_t NtQueryKeyNameW(RegKey key, char16_t* name,
                                  uint32_t* nameChars) {
    (void)key;
    (void)name;
    (void)nameChars;
    return kErrorCallNotImplemented;
  }
  // RegUnLoadKeyW: unmounts a hive that RegLoadKeyW mounted.
  virtual int32_t RegUnLoadKeyW(RegKey root, const char16_t* subKey) = 0;
  // RegReplaceKeyW: at the next start of Windows `newFile` becomes the hive
  // mounted at key\subKey; `oldFile` receives the hive in use now.
  virtual int32_t RegReplaceKeyW(RegKey key, const char16_t* subKey,
                                 const char16_t* newFile,
                                 const char16_t* oldFile) = 0;
};

}  // namespace tavik
