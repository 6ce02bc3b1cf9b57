// The private layout of the in-memory registry, shared by its source files:
// the key tree's nodes, the views an open handle sees, the handles, and the
// name rules every part of it compares and splits by.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "platform/memory/memory_registry.h"

namespace tavik {

namespace memory_registry_detail {

inline bool IsPredefined(RegKey key) {
  return key >= 0x80000000u && key <= 0x8000000Fu;
}

// Compares names folded to lower case (Wine) or upper case (Windows); the
// two differ only for the characters between 'Z' and 'a', such as '_'.
inline int CompareFolded(std::u16string_view a, std::u16string_view b, bool lower) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t ca = lower ? ToLowerAscii(a[i]) : ToUpperAscii(a[i]);
    const char16_t cb = lower ? ToLowerAscii(b[i]) : ToUpperAscii(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Splits a key path at its backslashes; empty parts are skipped.
inline std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

inline std::u16string_view NameOrEmpty(const char16_t* name) {
  return name ? std::u16string_view(name) : std::u16string_view();
}

}  // namespace memory_registry_detail

struct MemoryRegistry::Node {
  struct Value {
    std::u16string name;
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
  };
  std::u16string name;
  Node* parent = nullptr;  // null for roots and for keys taken out of the tree
  std::vector<std::shared_ptr<Node>> children;  // in enumeration order
  std::vector<Value> values;                    // in enumeration order
  KeyAccess access = KeyAccess::kFull;
  bool deleted = false;
  // The key's last-write time: a tick of the registry's clock, taken when
  // the key is made and whenever its values or its list of subkeys change.
  uint64_t lastWrite = 0;
  // A registry link: every open through it lands on the target key.
  bool isLink = false;
  std::weak_ptr<Node> linkBase;
  std::u16string linkTarget;
  int32_t openFailure = kErrorSuccess;
  int32_t deleteFailure = kErrorSuccess;
  int32_t saveFailure = kErrorSuccess;
  bool saveLeavesEmptyFile = false;
  int32_t replaceFailure = kErrorSuccess;
  uint32_t replaceFailureAfter = 0;  // replaces that succeed first
  uint32_t replaceCount = 0;         // RegReplaceKeyW calls that succeeded
  // Mounted by RegLoadKeyW, so RegUnLoadKeyW may take it away again.
  bool loadedHive = false;
  std::map<uint32_t, int32_t> enumKeyFailures;
  std::map<uint32_t, int32_t> enumValueFailures;
  std::map<std::u16string, int32_t> queryFailures;  // lower-cased names

  // Values of the Wine flavor are kept sorted by their lower-cased names
  // and found by binary search; values in creation order are found through
  // an index of their lower-cased names, rebuilt after an erase. Either way
  // a key with many values fills in linear time.
  bool sortedValues = false;
  std::unordered_map<std::u16string, size_t> valueIndex;
  bool valueIndexValid = true;

  Value* FindValue(std::u16string_view valueName) {
    if (sortedValues) {
      auto it = std::lower_bound(values.begin(), values.end(), valueName,
                                 [](const Value& v, std::u16string_view key) {
                                   return memory_registry_detail::CompareFolded(v.name, key, true) < 0;
                                 });
      return it != values.end() && EqualsIgnoreAsciiCase(it->name, valueName)
                 ? &*it
                 : nullptr;
    }
    if (!valueIndexValid) {
      valueIndex.clear();
      for (size_t i = 0; i < values.size(); ++i) {
        valueIndex.emplace(ToLowerAscii(values[i].name), i);
      }
      valueIndexValid = true;
    }
    auto it = valueIndex.find(ToLowerAscii(valueName));
    return it == valueIndex.end() ? nullptr : &values[it->second];
  }

  // Erases values[pos], keeping the index of names valid: a key whose
  // values are deleted one by one never rebuilds it.
  void EraseValueAt(size_t pos) {
    if (!sortedValues && valueIndexValid) {
      valueIndex.erase(ToLowerAscii(values[pos].name));
      for (auto& entry : valueIndex) {
        if (entry.second > pos) --entry.second;
      }
    }
    values.erase(values.begin() + static_cast<ptrdiff_t>(pos));
  }

  void AppendValue(Value value) {
    if (valueIndexValid) {
      valueIndex.emplace(ToLowerAscii(value.name), values.size());
    }
    values.push_back(std::move(value));
  }
};

// An opened key. Outside HKEY_CLASSES_ROOT only `machine` is set (the key
// itself); a key under the merged HKEY_CLASSES_ROOT has the HKCU side in
// `user` and the HKLM side in `machine`, either of which may be missing.
struct MemoryRegistry::View {
  std::shared_ptr<Node> user;
  std::shared_ptr<Node> machine;

  bool Empty() const { return !user && !machine; }
  bool Merged() const { return user && machine; }
  // The side that holds the values and receives writes.
  Node* Primary() const { return user ? user.get() : machine.get(); }
  std::vector<Node*> Nodes() const {
    std::vector<Node*> nodes;
    if (user) nodes.push_back(user.get());
    if (machine) nodes.push_back(machine.get());
    return nodes;
  }
  void DropDeleted() {
    if (user && user->deleted) user.reset();
    if (machine && machine->deleted) machine.reset();
  }
};

struct MemoryRegistry::Handle {
  View view;
  uint32_t granted = 0;
  // Subkey names of a merged view, valid while the tree generation matches.
  uint64_t namesGeneration = ~uint64_t{0};
  std::vector<std::u16string> mergedNames;
};

namespace memory_registry_detail {

// Whether a key with these nodes opens with `access`: injected failures
// first, then the keys' access limits. Sets the granted rights.
int32_t CheckOpen(const std::vector<MemoryRegistry::Node*>& nodes,
                  uint32_t access, uint32_t* granted);

}  // namespace memory_registry_detail

}  // namespace tavik
