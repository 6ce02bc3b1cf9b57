// SECURITY_ATTRIBUTES as the seams take them: the security descriptor in
// its text form (SDDL), which the Win32 layer turns into the binary form
// with ConvertStringSecurityDescriptorToSecurityDescriptorW. Where a seam
// call takes a pointer to these, null stands for no security attributes: the
// new file gets its folder's inherited permissions.
#pragma once

#include <cstdint>

namespace tavik {

struct SecurityAttributes {
  const char16_t* securityDescriptor;  // SDDL, e.g. u"D:P(A;;FA;;;SY)"
};

// ERROR_UNKNOWN_REVISION: a security descriptor the system cannot read.
inline constexpr int32_t kErrorUnknownRevision = 1305;
// ERROR_INVALID_SECURITY_DESCR: SDDL text that does not convert.
inline constexpr int32_t kErrorInvalidSecurityDescriptor = 1338;

}  // namespace tavik
