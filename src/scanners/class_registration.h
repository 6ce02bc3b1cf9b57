// Registration tests: is a class identifier known in any of the six places
// where classes are registered (machine, user and merged classes, each in
// the native and the 32-bit view)?
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/scan_context.h"

namespace tavik {

// 1 when `clsidText` is empty, or when "CLSID\" followed by it exists below
// one of the six class locations; 0 otherwise. An identifier too long for a
// work buffer once joined to its location cannot be judged and counts as
// registered, so that it is never reported.
int32_t ClassIsRegistered(const ScanContext& context,
                          std::u16string_view clsidText);

}  // namespace tavik
