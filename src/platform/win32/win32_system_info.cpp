#include "platform/win32/win32_system_info.h"

#include <windows.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/win32_handles.h"

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

bool Win32SystemInfo::CurrentUserSidText(std::u16string& sid) {
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) {
    return false;
  }
  const FileHandle token(opened);
  DWORD bytes = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &bytes);
  if (bytes < sizeof(TOKEN_USER)) return false;
  // TOKEN_USER holds pointers: the buffer is aligned for them.
  std::vector<void*> buffer((bytes + sizeof(void*) - 1) / sizeof(void*));
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), bytes,
                             &bytes)) {
    return false;
  }
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  LPWSTR text = nullptr;
  if (!::ConvertSidToStringSidW(user->User.Sid, &text)) return false;
  sid.assign(reinterpret_cast<const char16_t*>(text));
  ::LocalFree(text);
  return true;
}

}  // namespace tavik
