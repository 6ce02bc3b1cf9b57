#include "platform/win32/win32_system_info.h"

#include <windows.h>

namespace tavik {

void Win32SystemInfo::GetLocalTime(SystemTime* time) {
  if (time == nullptr) return;
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  time->year = now.wYear;
  time->month = now.wMonth;
  time->dayOfWeek = now.wDayOfWeek;
  time->day = now.wDay;
  time->hour = now.wHour;
  time->minute = now.wMinute;
  time->second = now.wSecond;
  time->milliseconds = now.wMilliseconds;
}

bool Win32SystemInfo::GetVersionExW(OsVersionInfo* info) {
  if (info == nullptr) return false;
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);  // 276 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = ::GetVersionExW(&version);
#pragma GCC diagnostic pop
  if (!ok) return false;
  info->majorVersion = version.dwMajorVersion;
  info->minorVersion = version.dwMinorVersion;
  info->buildNumber = version.dwBuildNumber;
  info->platformId = version.dwPlatformId;
  return true;
}

}  // namespace tavik
