// The system seam for host tests: a clock and a Windows version that tests
// set.
#pragma once

#include "platform/system_info.h"

namespace tavik {

class MemorySystemInfo final : public SystemInfo {
 public:
  // Starts on 7 December 2026, 10:00, Windows 10.0 build 19045.
  MemorySystemInfo();

  void SetLocalTime(const SystemTime& time) { time_ = time; }
  void SetDate(uint16_t day, uint16_t month, uint16_t year);
  void SetVersion(uint32_t major, uint32_t minor);
  // Makes GetVersionExW fail.
  void FailVersion(bool fail) { failVersion_ = fail; }

  void GetLocalTime(SystemTime* time) override;
  bool GetVersionExW(OsVersionInfo* info) override;

 private:
  SystemTime time_;
  OsVersionInfo version_;
  bool failVersion_ = false;
};

}  // namespace tavik
