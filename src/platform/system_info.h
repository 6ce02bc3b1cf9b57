// The system seam: the kernel32 calls for the clock and the Windows version,
// and the advapi32 calls that name the process's user.
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

// SYSTEMTIME.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t dayOfWeek = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

// The fields of OSVERSIONINFOW (276 bytes) that the program reads.
struct OsVersionInfo {
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // GetLocalTime.
  virtual void GetLocalTime(SystemTime* time) = 0;
  // GetVersionExW: false when the call fails.
  virtual bool GetVersionExW(OsVersionInfo* info) = 0;
  // OpenProcessToken (TOKEN_QUERY), GetTokenInformation (TokenUser) and
  // ConvertSidToStringSidW: the security identifier of the user the
  // process runs as ("S-1-5-21-...-1001"), whose hives HKEY_USERS mounts
  // under that name. False, `sid` unchanged, when a call fails.
  virtual bool CurrentUserSidText(std::u16string& sid) = 0;
};

}  // namespace tavik
