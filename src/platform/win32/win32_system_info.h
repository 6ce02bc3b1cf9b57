// The system seam over kernel32.
#pragma once

#include "platform/system_info.h"

namespace tavik {

class Win32SystemInfo final : public SystemInfo {
 public:
  void GetLocalTime(SystemTime* time) override;
  bool GetVersionExW(OsVersionInfo* info) override;
};

}  // namespace tavik
