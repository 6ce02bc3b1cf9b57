// Per-key access limits and injected failures of the in-memory registry:
// the test set-up calls that place them, and the access check of every open.
#include "platform/memory/memory_registry.h"

#include "base/text.h"
#include "platform/memory/memory_registry_node.h"

namespace tavik {

using namespace memory_registry_detail;

namespace {

constexpr uint32_t kKeyWow64Flags = 0x0300;  // view selectors, not rights
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kGenericReadRight = 0x80000000u;
constexpr uint32_t kGenericWriteRight = 0x40000000u;
constexpr uint32_t kGenericExecuteRight = 0x20000000u;
constexpr uint32_t kGenericAllRight = 0x10000000u;
constexpr uint32_t kMaximumAllowed = 0x02000000u;

// Turns generic rights into key rights, as the object manager does.
uint32_t MapGenericAccess(uint32_t access) {
  access &= ~kKeyWow64Flags;
  const std::pair<uint32_t, uint32_t> generic[] = {
      {kGenericReadRight, kKeyRead},
      {kGenericWriteRight, kKeyWrite},
      {kGenericExecuteRight, kKeyRead},
      {kGenericAllRight, kKeyAllAccess}};
  for (const auto& [bit, rights] : generic) {
    if (access & bit) access = (access & ~bit) | rights;
  }
  return access;
}

// The rights granted for `requested` on a key with these limits, or false.
bool GrantAccess(uint32_t requested, const std::vector<KeyAccess>& limits,
                 uint32_t* granted) {
  uint32_t rights = MapGenericAccess(requested);
  bool readOnly = false;
  for (KeyAccess limit : limits) {
    if (limit == KeyAccess::kNone) return false;
    if (limit == KeyAccess::kReadOnly) readOnly = true;
  }
  if (rights & kMaximumAllowed) {
    rights =
        (rights & ~kMaximumAllowed) | (readOnly ? kKeyRead : kKeyAllAccess);
  }
  if (readOnly && (rights & ~kKeyRead) != 0) return false;
  *granted = rights;
  return true;
}

}  // namespace

int32_t memory_registry_detail::CheckOpen(
    const std::vector<MemoryRegistry::Node*>& nodes, uint32_t access,
    uint32_t* granted) {
  std::vector<KeyAccess> limits;
  for (auto* node : nodes) {
    if (node->openFailure != kErrorSuccess) return node->openFailure;
    limits.push_back(node->access);
  }
  return GrantAccess(access, limits, granted) ? kErrorSuccess
                                              : kErrorAccessDenied;
}

void MemoryRegistry::SetAccess(RegKey root, const std::u16string& path,
                               KeyAccess access) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) node->access = access;
}

void MemoryRegistry::InjectOpenFailure(RegKey root, const std::u16string& path,
                                       int32_t error) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) node->openFailure = error;
}

void MemoryRegistry::InjectEnumKeyFailure(RegKey root,
                                          const std::u16string& path,
                                          uint32_t index, int32_t error) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) node->enumKeyFailures[index] = error;
}

void MemoryRegistry::InjectEnumValueFailure(RegKey root,
                                            const std::u16string& path,
                                            uint32_t index, int32_t error) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) node->enumValueFailures[index] = error;
}

void MemoryRegistry::InjectQueryFailure(RegKey root, const std::u16string& path,
                                        const std::u16string& valueName,
                                        int32_t error) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) {
    node->queryFailures[ToLowerAscii(valueName)] = error;
  }
}

void MemoryRegistry::RefuseDeletion(RegKey root, const std::u16string& path,
                                    int32_t error) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) node->deleteFailure = error;
}

void MemoryRegistry::InjectSaveFailure(RegKey root, const std::u16string& path,
                                       int32_t error, bool leaveEmptyFile) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) {
    node->saveFailure = error;
    node->saveLeavesEmptyFile = leaveEmptyFile;
  }
}

void MemoryRegistry::InjectReplaceFailure(RegKey root,
                                          const std::u16string& path,
                                          int32_t error,
                                          uint32_t afterReplaces) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) {
    node->replaceFailure = error;
    node->replaceFailureAfter = afterReplaces;
  }
}

}  // namespace tavik
