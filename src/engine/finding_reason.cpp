#include "engine/finding_reason.h"

namespace tavik {

std::string_view ReasonKindName(ReasonKind kind) {
  switch (kind) {
    case ReasonKind::kFileMissing: return "file-missing";
    case ReasonKind::kFolderMissing: return "folder-missing";
    case ReasonKind::kShortcutMissing: return "shortcut-missing";
    case ReasonKind::kShortcutUnreadable: return "shortcut-unreadable";
    case ReasonKind::kShortcutTargetMissing: return "shortcut-target-missing";
    case ReasonKind::kClassNotRegistered: return "class-not-registered";
    case ReasonKind::kProgIdNotRegistered: return "progid-not-registered";
    case ReasonKind::kAppIdNotRegistered: return "appid-not-registered";
    case ReasonKind::kKeyEmpty: return "key-empty";
    case ReasonKind::kUninstallEntryWithoutValues:
      return "uninstall-entry-without-values";
    case ReasonKind::kUninstallEntryWithoutStrings:
      return "uninstall-entry-without-strings";
    case ReasonKind::kCacheEntryWithoutUninstallEntry:
      return "cache-entry-without-uninstall-entry";
    case ReasonKind::kExtensionNotInUse: return "extension-not-in-use";
    case ReasonKind::kEmptyClassExtension: return "empty-class-extension";
  }
  return "";
}

}  // namespace tavik
