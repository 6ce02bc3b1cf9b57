#include "platform/memory/memory_system_info.h"

namespace tavik {

MemorySystemInfo::MemorySystemInfo() {
  SetDate(7, 12, 2026);
  time_.hour = 10;
  time_.dayOfWeek = 1;
  SetVersion(10, 0);
  version_.buildNumber = 19045;
  version_.platformId = 2;  // VER_PLATFORM_WIN32_NT
}

void MemorySystemInfo::SetDate(uint16_t day, uint16_t month, uint16_t year) {
  time_.day = day;
  time_.month = month;
  time_.year = year;
}

void MemorySystemInfo::SetVersion(uint32_t major, uint32_t minor) {
  version_.majorVersion = major;
  version_.minorVersion = minor;
}

void MemorySystemInfo::GetLocalTime(SystemTime* time) {
  if (time != nullptr) *time = time_;
}

bool MemorySystemInfo::GetVersionExW(OsVersionInfo* info) {
  if (info == nullptr || failVersion_) return false;
  *info = version_;
  return true;
}

bool MemorySystemInfo::CurrentUserSidText(std::u16string& sid) {
  if (userSid_.empty()) return false;
  sid = userSid_;
  return true;
}

}  // namespace tavik
