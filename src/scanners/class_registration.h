// Whether a class identifier, an application identifier or a class name is
// registered in any of the six places classes live: the merged classes root,
// the machine's and the user's classes, each in the 64-bit and the 32-bit
// view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/finding.h"
#include "engine/scan_context.h"

namespace tavik {

// 1 when `id` is null or empty, or when CLSID\<id> opens for reading below
// one of the six locations; 0 otherwise. An identifier too long to be built
// into a key path cannot be judged and counts as registered.
int32_t ClassIsRegistered(const ScanContext& context, const char16_t* id);
int32_t ClassIsRegistered(const ScanContext& context, std::u16string_view id);

// The same over the AppID containers.
int32_t AppIdIsRegistered(const ScanContext& context, const char16_t* id);
int32_t AppIdIsRegistered(const ScanContext& context, std::u16string_view id);

// The same for a ProgID or other class name directly below each classes
// root.
int32_t ClassNameIsRegistered(const ScanContext& context, const char16_t* name);
int32_t ClassNameIsRegistered(const ScanContext& context,
                              std::u16string_view name);

// The reasons of names the tests above found unregistered: the name, then
// the six places it was looked for. `source` leads the detail ("CLSID: ")
// where the row alone does not show where the name was read.
FindingReason ClassNotRegisteredReason(std::u16string_view id,
                                       std::u16string_view source = {});
FindingReason AppIdNotRegisteredReason(std::u16string_view id,
                                       std::u16string_view source = {});
FindingReason ClassNameNotRegisteredReason(std::u16string_view name,
                                           std::u16string_view source = {});

}  // namespace tavik
