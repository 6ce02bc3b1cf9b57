// The system seam over kernel32 and advapi32.
#pragma once

#include "platform/system_info.h"

namespace tavik {

class Win32SystemInfo final : public SystemInfo {
 public:
  void GetLocalTime(SystemTime* time) override;
  bool GetVersionExW(OsVersionInfo* info) override;
  bool CurrentUserSidText(std::u16string& sid) override;
};

}  // namespace tavik
