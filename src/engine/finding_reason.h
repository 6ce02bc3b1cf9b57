// Why a finding was made: a kind from one fixed set and the evidence behind
// it, in words a user can check by hand. Reasons travel beside the findings
// and never change which findings are made or their order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik {

enum class ReasonKind : uint8_t {
  kFileMissing,
  kFolderMissing,
  kShortcutMissing,
  kShortcutUnreadable,
  kShortcutTargetMissing,
  kClassNotRegistered,
  kProgIdNotRegistered,
  kAppIdNotRegistered,
  kKeyEmpty,
  kUninstallEntryWithoutValues,
  kUninstallEntryWithoutStrings,
  kCacheEntryWithoutUninstallEntry,
  kExtensionNotInUse,
  kEmptyClassExtension,
};

struct FindingReason {
  ReasonKind kind = ReasonKind::kFileMissing;
  // The evidence as one sentence: what was looked for, and where.
  std::u16string detail;
};

// The kind's name in reports ("file-missing", ...); stable across versions.
std::string_view ReasonKindName(ReasonKind kind);

}  // namespace tavik
