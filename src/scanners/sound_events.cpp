// Sound events: every application sound scheme assigns each event a sound
// file in the default value of its ".Current" and ".Modified" keys.
#include <algorithm>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "engine/registry_link.h"
#include "scanners/user_traces.h"

namespace tavik {

namespace {

// 66000 bytes offered for a default value, the whole work buffer.
constexpr uint32_t kSoundFileBytes = kTextBufferChars * sizeof(char16_t);

// The scheme tree is under the user's own key, writable by the user. Real
// schemes hold a few thousand keys; a tree grown far past that (by
// anything, links being kept out already) ends the walk rather than holding
// the elevated scan.
constexpr size_t kMaxWalkKeys = 200000;

// Only these two names, with their exact case, hold a sound assignment;
// every other key (".Default", ".current", an application, an event) is
// descended into.
bool HoldsSoundAssignment(std::u16string_view name) {
  return name == u".Current" || name == u".Modified";
}

// One key of the walk: its path, its subkey names, the next name to take,
// and the key itself, open for reading while the level lasts.
struct WalkLevel {
  std::u16string path;
  std::vector<std::u16string> names;
  size_t next = 0;
  RegistryKey key;
};

// Lists and opens root\path as a new level; false when either fails (a
// missing key, or one without subkeys, ends its branch).
bool EnterLevel(const ScanContext& context, RegKey root, std::u16string path,
                std::vector<WalkLevel>& levels) {
  WalkLevel level;
  level.path = std::move(path);
  if (ListSubkeys(context, root, level.path, level.names) != 0) return false;
  if (RegistryKey::Open(context.registry, root, level.path.c_str(), kKeyRead,
                        level.key) != kErrorSuccess) {
    return false;
  }
  levels.push_back(std::move(level));
  return true;
}

// The sound file of one assignment key: its default value up to its first
// zero or its length; an absent or unreadable value is empty.
std::u16string SoundFile(const ScanContext& context, RegKey assignment,
                         std::vector<char16_t>& buffer) {
  uint32_t bytes = kSoundFileBytes;
  if (context.registry.RegQueryValueExW(assignment, u"", nullptr,
                                        reinterpret_cast<uint8_t*>(buffer.data()),
                                        &bytes) != kErrorSuccess) {
    return {};
  }
  return TextOfData(buffer.data(), std::min(bytes, kSoundFileBytes));
}

}  // namespace

// The walk keeps its levels on an explicit stack rather than the call stack,
// so a scheme tree of any depth cannot overflow the thread's stack; each
// level still holds its own key and name list, visited in the same
// depth-first order.
int32_t ScanSoundEvents(const ScanContext& context, FindingList* list,
                        RegKey root, std::u16string_view keyPath) {
  std::vector<WalkLevel> levels;
  if (!EnterLevel(context, root, std::u16string(keyPath), levels)) return -1;
  std::vector<char16_t> buffer(kTextBufferChars);
  size_t keysOpened = 0;
  while (!levels.empty()) {
    WalkLevel& level = levels.back();
    if (level.next == level.names.size()) {
      levels.pop_back();
      continue;
    }
    // A stop request ends every level at once.
    if (context.StopRequested()) return -1;
    const std::u16string& name = level.names[level.next++];
    // Opened as itself when it is a link: a link is neither walked nor
    // judged, so a link back up the tree cannot make the walk endless.
    RegKey opened = 0;
    if (context.registry.RegOpenKeyLinkW(level.key.get(), name.c_str(),
                                         kKeyRead, &opened) != kErrorSuccess) {
      continue;
    }
    RegistryKey sub(context.registry, opened);
    if (IsLinkHandle(context.registry, sub.get())) continue;
    if (++keysOpened > kMaxWalkKeys) return -1;
    if (!HoldsSoundAssignment(name)) {
      sub.Close();
      std::u16string childPath = level.path + u"\\" + name;
      // A path too long for its work buffer is neither walked nor reported.
      if (childPath.size() >= kTextBufferChars) continue;
      EnterLevel(context, root, std::move(childPath), levels);
      continue;
    }
    uint32_t subKeys = 0;
    if (context.registry.RegQueryInfoKeyW(sub.get(), &subKeys, nullptr) !=
        kErrorSuccess) {
      continue;
    }
    const std::u16string sound = SoundFile(context, sub.get(), buffer);
    if (CheckFileReference(context.files, sound, 0) == 0) {
      AddFinding(context, list, kFindingInvalidValue, root, level.path, name,
                 u"",
                 {ReasonKind::kFileMissing,
                  DescribeMissingFile(context.files, sound, 0)});
    }
  }
  return 0;
}

}  // namespace tavik
