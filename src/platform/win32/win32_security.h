// SECURITY_ATTRIBUTES for one Win32 call, built from the seams' text form;
// the binary descriptor is freed (LocalFree) when the holder goes away.
#pragma once

#include <windows.h>
#include <sddl.h>

#include "platform/security_attributes.h"
#include "platform/win32/win32_text.h"

namespace tavik {

class Win32SecurityAttributes {
 public:
  // Null `security` gives null attributes (the folder's permissions).
  explicit Win32SecurityAttributes(const SecurityAttributes* security) {
    if (security == nullptr) return;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            AsWide(security->securityDescriptor), SDDL_REVISION_1,
            &descriptor_, nullptr)) {
      error_ = ::GetLastError();
      return;
    }
    attributes_.lpSecurityDescriptor = descriptor_;
    requested_ = true;
  }
  ~Win32SecurityAttributes() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  }
  Win32SecurityAttributes(const Win32SecurityAttributes&) = delete;
  Win32SecurityAttributes& operator=(const Win32SecurityAttributes&) = delete;

  // The Win32 error of a descriptor that did not convert; 0 otherwise.
  DWORD error() const { return error_; }
  // The attributes to pass; null when none were asked for.
  SECURITY_ATTRIBUTES* get() { return requested_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  DWORD error_ = ERROR_SUCCESS;
  bool requested_ = false;
};

}  // namespace tavik
