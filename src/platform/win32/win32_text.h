// char16_t and wchar_t are both UTF-16 code units on Windows, so the seam's
// texts are handed to the W functions as they are.
#pragma once

#include <windows.h>

namespace tavik {

static_assert(sizeof(wchar_t) == sizeof(char16_t),
              "wchar_t must be a UTF-16 code unit");

inline const wchar_t* AsWide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* AsWide(char16_t* text) {
  return reinterpret_cast<wchar_t*>(text);
}

}  // namespace tavik
