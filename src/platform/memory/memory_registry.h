// An in-memory registry with Windows semantics, for host tests: names compared
// case-insensitively and stored case-preserved, enumeration in the order the
// real registry gives, HKEY_CLASSES_ROOT as a merged view, registry links,
// per-key access limits and injectable failures.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry.h"

namespace tavik {

enum class RegistryFlavor {
  // Subkeys sorted by upper-cased name, values in creation order,
  // HKEY_CLASSES_ROOT = HKCU\Software\Classes over HKLM\Software\Classes.
  kWindows,
  // Subkeys and values sorted by lower-cased name, HKEY_CLASSES_ROOT =
  // HKLM\Software\Classes only, Wine's Wow6432Node links, and Wine's
  // RegSaveKeyExW: security attributes refused (ERROR_UNKNOWN_REVISION),
  // an existing file saved over.
  kWine,
};

enum class KeyAccess {
  kFull,      // readable and writable
  kReadOnly,  // KEY_READ opens, anything more is refused
  kNone,      // every open is refused
};

class MemoryRegistry final : public Registry {
 public:
  static constexpr char16_t kCurrentUserSid[] = u"S-1-5-21-1-2-3-1001";

  explicit MemoryRegistry(RegistryFlavor flavor = RegistryFlavor::kWindows);
  ~MemoryRegistry() override;
  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  RegistryFlavor flavor() const { return flavor_; }

  // --- set-up helpers for tests (paths below a root, "" = the root) ---
  // They ignore access limits and accept key names longer than the 255
  // characters that RegCreateKeyExW allows.
  void CreateKey(RegKey root, const std::u16string& path);
  void SetValue(RegKey root, const std::u16string& path,
                const std::u16string& name, uint32_t type,
                std::vector<uint8_t> data);
  void SetString(RegKey root, const std::u16string& path,
                 const std::u16string& name, const std::u16string& text,
                 uint32_t type = kRegSz);
  void SetDword(RegKey root, const std::u16string& path,
                const std::u16string& name, uint32_t number);
  // Removes a key with all its subkeys; false when it did not exist.
  bool DeleteTree(RegKey root, const std::u16string& path);
  bool KeyExists(RegKey root, const std::u16string& path) const;
  bool ValueExists(RegKey root, const std::u16string& path,
                   const std::u16string& name) const;
  // Removes a value; false when the key or the value did not exist.
  bool DeleteValue(RegKey root, const std::u16string& path,
                   const std::u16string& name);
  // Makes `linkPath` a registry link to `targetPath` (both under HKLM, or
  // both under the given root).
  void AddLink(RegKey root, const std::u16string& linkPath,
               const std::u16string& targetPath);
  // Adds Wine's links below Software\Wow6432Node (done by the kWine
  // constructor).
  void AddWineLinks();
  // SetAccess and the injections create the key when it is missing. Under
  // HKEY_CLASSES_ROOT they apply to both sides of the merged key.
  void SetAccess(RegKey root, const std::u16string& path, KeyAccess access);
  // Failures: the open of this key, the enumeration at `index` of its
  // subkeys or values, or the query of one of its values returns `error`.
  void InjectOpenFailure(RegKey root, const std::u16string& path,
                         int32_t error);
  void InjectEnumKeyFailure(RegKey root, const std::u16string& path,
                            uint32_t index, int32_t error);
  void InjectEnumValueFailure(RegKey root, const std::u16string& path,
                              uint32_t index, int32_t error);
  void InjectQueryFailure(RegKey root, const std::u16string& path,
                          const std::u16string& valueName, int32_t error);
  // Handles opened and not yet closed: tests check for leaks with it.
  size_t OpenHandleCount() const;
  // RegDeleteKeyW of this key answers `error` (a key whose security refuses
  // deletion while it still opens with full access).
  void RefuseDeletion(RegKey root, const std::u16string& path,
                      int32_t error = kErrorAccessDenied);
  // The stored full name of the key that root + path reaches, links
  // followed ("HKEY_LOCAL_MACHINE\\Software\\..."); "" when it is absent.
  std::u16string KeyPath(RegKey root, const std::u16string& path) const;
  // Whether the key at `path` is itself a registry link.
  bool IsLink(RegKey root, const std::u16string& path) const;

  // --- hive files ---
  // RegSaveKeyExW writes hive files into `files`, RegLoadKeyW and
  // RegReplaceKeyW read them from there; without it they fail with
  // ERROR_INVALID_PARAMETER.
  void AttachFileSystem(FileSystem* files) { files_ = files; }
  // RegSaveKeyExW of this key answers `error`; with `leaveEmptyFile` it
  // leaves a 0-byte file behind first, as Wine does without the backup
  // privilege.
  void InjectSaveFailure(RegKey root, const std::u16string& path,
                         int32_t error, bool leaveEmptyFile = true);
  // RegReplaceKeyW of this hive answers `error` once `afterReplaces`
  // replaces of it have succeeded (1: the first succeeds and a second one,
  // which would take it back, fails).
  void InjectReplaceFailure(RegKey root, const std::u16string& path,
                            int32_t error, uint32_t afterReplaces = 0);
  // What RegReplaceKeyW scheduled for the next start of Windows: one entry
  // per hive, since a second replace of a hive takes the place of the first.
  struct PendingReplacement {
    std::u16string hive;  // "HKEY_LOCAL_MACHINE\Software"
    std::u16string newFile;
    std::u16string oldFile;
  };
  const std::vector<PendingReplacement>& PendingReplacements() const {
    return pendingReplacements_;
  }

  // --- Registry ---
  int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey, uint32_t access,
                        RegKey* result) override;
  int32_t RegCreateKeyExW(RegKey parent, const char16_t* subKey,
                          uint32_t access, RegKey* result) override;
  int32_t RegCloseKey(RegKey key) override;
  int32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars) override;
  int32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars, uint32_t* type, uint8_t* data,
                        uint32_t* dataBytes) override;
  int32_t RegQueryValueExW(RegKey key, const char16_t* valueName,
                           uint32_t* type, uint8_t* data,
                           uint32_t* dataBytes) override;
  int32_t RegQueryInfoKeyW(RegKey key, uint32_t* subKeys, uint32_t* values,
                           uint64_t* lastWriteTime = nullptr) override;
  int32_t RegSetValueExW(RegKey key, const char16_t* valueName, uint32_t type,
                         const uint8_t* data, uint32_t dataBytes) override;
  int32_t RegDeleteValueW(RegKey key, const char16_t* valueName) override;
  int32_t RegDeleteKeyW(RegKey parent, const char16_t* subKey) override;
  int32_t RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                          uint32_t access, RegKey* result) override;
  int32_t RegSaveKeyExW(RegKey key, const char16_t* file,
                        const SecurityAttributes* security,
                        uint32_t flags) override;
  int32_t RegLoadKeyW(RegKey root, const char16_t* subKey,
                      const char16_t* file) override;
  // The kernel's names: "\\REGISTRY\\MACHINE", "\\REGISTRY\\USER" and, for
  // HKEY_CURRENT_USER, "\\REGISTRY\\USER\\" + kCurrentUserSid.
  int32_t NtQueryKeyNameW(RegKey key, char16_t* name,
                          uint32_t* nameChars) override;
  int32_t RegUnLoadKeyW(RegKey root, const char16_t* subKey) override;
  int32_t RegReplaceKeyW(RegKey key, const char16_t* subKey,
                         const char16_t* newFile,
                         const char16_t* oldFile) override;

  struct Node;
  struct View;
  struct Handle;

 private:
  std::shared_ptr<Node> RootNode(RegKey root) const;
  View RootView(RegKey root) const;
  std::shared_ptr<Node> Child(const Node& parent,
                              std::u16string_view name) const;
  std::shared_ptr<Node> Follow(std::shared_ptr<Node> node, int depth) const;
  View Descend(const View& view, std::u16string_view name, int depth) const;
  View FindView(const View& start, std::u16string_view path) const;
  View FindView(RegKey root, std::u16string_view path) const;
  // As FindView, but a link named by the last part is not followed.
  View FindLinkView(const View& start, std::u16string_view path) const;
  int32_t OpenView(const View& view, uint32_t access, RegKey* result);
  std::u16string NodePath(const Node& node) const;
  int32_t CreateView(const View& start, std::u16string_view path, bool bypass,
                     View* result);
  View CreateOrFind(RegKey root, std::u16string_view path);
  std::shared_ptr<Node> AddChild(Node& parent, std::u16string_view name);
  void RemoveNode(Node& node);
  Handle* GetHandle(RegKey key, int32_t* error);
  size_t SubkeyCount(Handle& handle);
  std::u16string_view SubkeyName(Handle& handle, size_t index);
  RegKey NewHandle(const View& view, uint32_t granted);

  RegistryFlavor flavor_;
  std::shared_ptr<Node> hklm_;
  std::shared_ptr<Node> hkcu_;
  std::shared_ptr<Node> hku_;
  std::map<RegKey, std::unique_ptr<Handle>> handles_;
  // Predefined roots: views rebuilt on every call, kept for their caches.
  std::map<RegKey, std::unique_ptr<Handle>> rootHandles_;
  RegKey nextHandle_ = 0x1000;
  // Bumped on every change of the key tree; invalidates merged name lists.
  uint64_t generation_ = 0;
  // The clock of last-write times: one tick per change.
  uint64_t clock_ = 0;
  uint64_t Tick() { return ++clock_; }
  FileSystem* files_ = nullptr;
  std::vector<PendingReplacement> pendingReplacements_;
};

}  // namespace tavik
