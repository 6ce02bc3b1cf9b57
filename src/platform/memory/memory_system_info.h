// The system seam for host tests: a clock and a Windows version that tests
// set.
#pragma once

#include <string>
#include <utility>

#include "platform/system_info.h"

namespace tavik {

class MemorySystemInfo final : public SystemInfo {
 public:
  // Starts on 7 December 2026, 10:00, Windows 10.0 build 19045, run by
  // the user S-1-5-21-1-2-3-1001.
  MemorySystemInfo();

  void SetLocalTime(const SystemTime& time) { time_ = time; }
  void SetDate(uint16_t day, uint16_t month, uint16_t year);
  void SetVersion(uint32_t major, uint32_t minor);
  // Makes GetVersionExW fail.
  void FailVersion(bool fail) { failVersion_ = fail; }
  // The process's user; empty makes CurrentUserSidText fail.
  void SetCurrentUserSid(std::u16string sid) { userSid_ = std::move(sid); }

  void GetLocalTime(SystemTime* time) override;
  bool GetVersionExW(OsVersionInfo* info) override;
  bool CurrentUserSidText(std::u16string& sid) override;

 private:
  SystemTime time_;
  OsVersionInfo version_;
  bool failVersion_ = false;
  // The memory registry's HKEY_CURRENT_USER (MemoryRegistry::kCurrentUserSid).
  std::u16string userSid_ = u"S-1-5-21-1-2-3-1001";
};

}  // namespace tavik
