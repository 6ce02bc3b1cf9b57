#include "platform/memory/memory_registry.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "base/text.h"

namespace tavik {

namespace {

// The registry's own limits on name lengths, in characters.
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
// Registry links that point at links are followed this deep, no further, so
// that a loop of links ends as a missing key instead of hanging.
constexpr int kMaxLinkDepth = 16;

constexpr uint32_t kKeyWow64Flags = 0x0300;  // view selectors, not rights
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kGenericReadRight = 0x80000000u;
constexpr uint32_t kGenericWriteRight = 0x40000000u;
constexpr uint32_t kGenericExecuteRight = 0x20000000u;
constexpr uint32_t kGenericAllRight = 0x10000000u;
constexpr uint32_t kMaximumAllowed = 0x02000000u;

bool IsPredefined(RegKey key) {
  return key >= 0x80000000u && key <= 0x8000000Fu;
}

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

// Compares names folded to lower case (Wine) or upper case (Windows); the
// two differ only for the characters between 'Z' and 'a', such as '_'.
int CompareFolded(std::u16string_view a, std::u16string_view b, bool lower) {
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
std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
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

std::u16string_view NameOrEmpty(const char16_t* name) {
  return name ? std::u16string_view(name) : std::u16string_view();
}

}  // namespace

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
  // A registry link: every open through it lands on the target key.
  bool isLink = false;
  std::weak_ptr<Node> linkBase;
  std::u16string linkTarget;
  int32_t openFailure = kErrorSuccess;
  int32_t deleteFailure = kErrorSuccess;
  int32_t saveFailure = kErrorSuccess;
  bool saveLeavesEmptyFile = false;
  int32_t replaceFailure = kErrorSuccess;
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
                                   return CompareFolded(v.name, key, true) < 0;
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

MemoryRegistry::MemoryRegistry(RegistryFlavor flavor)
    : flavor_(flavor),
      hklm_(std::make_shared<Node>()),
      hkcu_(std::make_shared<Node>()),
      hku_(std::make_shared<Node>()) {
  hklm_->name = u"HKEY_LOCAL_MACHINE";
  hkcu_->name = u"HKEY_CURRENT_USER";
  hku_->name = u"HKEY_USERS";
  CreateKey(kHkeyLocalMachine, u"Software\\Classes");
  CreateKey(kHkeyCurrentUser, u"Software\\Classes");
  for (RegKey root :
       {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
    rootHandles_[root] = std::make_unique<Handle>();
  }
  if (flavor_ == RegistryFlavor::kWine) AddWineLinks();
}

MemoryRegistry::~MemoryRegistry() = default;

// --- tree walking ---

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::RootNode(
    RegKey root) const {
  switch (root) {
    case kHkeyLocalMachine:
      return hklm_;
    case kHkeyCurrentUser:
      return hkcu_;
    case kHkeyUsers:
      return hku_;
    default:
      return nullptr;
  }
}

MemoryRegistry::View MemoryRegistry::RootView(RegKey root) const {
  View view;
  if (root == kHkeyClassesRoot) {
    const View machine{nullptr, hklm_};
    view.machine = FindView(machine, u"Software\\Classes").machine;
    if (flavor_ == RegistryFlavor::kWindows) {
      const View user{nullptr, hkcu_};
      view.user = FindView(user, u"Software\\Classes").machine;
    }
  } else {
    view.machine = RootNode(root);
  }
  return view;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Child(
    const Node& parent, std::u16string_view name) const {
  const bool lower = flavor_ == RegistryFlavor::kWine;
  auto it = std::lower_bound(
      parent.children.begin(), parent.children.end(), name,
      [lower](const std::shared_ptr<Node>& child, std::u16string_view key) {
        return CompareFolded(child->name, key, lower) < 0;
      });
  if (it != parent.children.end() &&
      CompareFolded((*it)->name, name, lower) == 0) {
    return *it;
  }
  return nullptr;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Follow(
    std::shared_ptr<Node> node, int depth) const {
  while (node && node->isLink) {
    if (++depth > kMaxLinkDepth) return nullptr;
    std::shared_ptr<Node> target = node->linkBase.lock();
    for (auto part : SplitPath(node->linkTarget)) {
      if (!target) break;
      target = Follow(Child(*target, part), depth);
    }
    node = target;
  }
  return node;
}

MemoryRegistry::View MemoryRegistry::Descend(const View& view,
                                             std::u16string_view name,
                                             int depth) const {
  View next;
  if (view.user) next.user = Follow(Child(*view.user, name), depth);
  if (view.machine) next.machine = Follow(Child(*view.machine, name), depth);
  return next;
}

MemoryRegistry::View MemoryRegistry::FindView(const View& start,
                                              std::u16string_view path) const {
  View view = start;
  for (auto part : SplitPath(path)) {
    if (view.Empty()) break;
    view = Descend(view, part, 0);
  }
  return view;
}

MemoryRegistry::View MemoryRegistry::FindView(RegKey root,
                                              std::u16string_view path) const {
  return FindView(RootView(root), path);
}

MemoryRegistry::View MemoryRegistry::FindLinkView(
    const View& start, std::u16string_view path) const {
  const auto parts = SplitPath(path);
  View view = start;
  for (size_t i = 0; i < parts.size() && !view.Empty(); ++i) {
    if (i + 1 < parts.size()) {
      view = Descend(view, parts[i], 0);
      continue;
    }
    View last;
    if (view.user) last.user = Child(*view.user, parts[i]);
    if (view.machine) last.machine = Child(*view.machine, parts[i]);
    view = last;
  }
  return view;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::AddChild(
    Node& parent, std::u16string_view name) {
  const bool lower = flavor_ == RegistryFlavor::kWine;
  auto child = std::make_shared<Node>();
  child->name = std::u16string(name);
  child->parent = &parent;
  auto it = std::lower_bound(
      parent.children.begin(), parent.children.end(), name,
      [lower](const std::shared_ptr<Node>& node, std::u16string_view key) {
        return CompareFolded(node->name, key, lower) < 0;
      });
  parent.children.insert(it, child);
  ++generation_;
  return child;
}

int32_t MemoryRegistry::CreateView(const View& start, std::u16string_view path,
                                   bool bypass, View* result) {
  View view = start;
  if (view.Empty()) return kErrorFileNotFound;
  for (auto part : SplitPath(path)) {
    // The set-up helpers may build names beyond the registry's limit.
    if (!bypass && part.size() > kMaxKeyNameChars) {
      return kErrorInvalidParameter;
    }
    View next = Descend(view, part, 0);
    if (next.Empty()) {
      // New keys under HKEY_CLASSES_ROOT go to the machine side when the
      // parent has one, as Windows does.
      const bool onMachine = view.machine != nullptr;
      Node& parent = onMachine ? *view.machine : *view.user;
      if (!bypass && parent.access != KeyAccess::kFull) {
        return kErrorAccessDenied;
      }
      // A link whose target vanished cannot hold keys.
      if (Child(parent, part)) return kErrorFileNotFound;
      auto child = AddChild(parent, part);
      next = onMachine ? View{nullptr, child} : View{child, nullptr};
    }
    view = next;
  }
  *result = view;
  return kErrorSuccess;
}

MemoryRegistry::View MemoryRegistry::CreateOrFind(RegKey root,
                                                  std::u16string_view path) {
  View start = RootView(root);
  if (start.Empty() && root == kHkeyClassesRoot) {
    CreateKey(kHkeyLocalMachine, u"Software\\Classes");
    start = RootView(root);
  }
  View view;
  CreateView(start, path, /*bypass=*/true, &view);
  return view;
}

void MemoryRegistry::RemoveNode(Node& node) {
  Node* parent = node.parent;
  if (parent == nullptr) return;  // roots stay
  // Keep the node alive while it is taken out and marked.
  std::shared_ptr<Node> keep;
  auto it =
      std::find_if(parent->children.begin(), parent->children.end(),
                   [&](const auto& child) { return child.get() == &node; });
  if (it == parent->children.end()) return;
  keep = *it;
  parent->children.erase(it);
  node.parent = nullptr;
  std::vector<Node*> pending{&node};
  while (!pending.empty()) {
    Node* current = pending.back();
    pending.pop_back();
    current->deleted = true;
    for (auto& child : current->children) pending.push_back(child.get());
  }
  ++generation_;
}

// --- handles ---

MemoryRegistry::Handle* MemoryRegistry::GetHandle(RegKey key, int32_t* error) {
  if (IsPredefined(key)) {
    auto it = rootHandles_.find(key);
    if (it == rootHandles_.end()) {
      *error = kErrorInvalidHandle;
      return nullptr;
    }
    Handle& handle = *it->second;
    View view = RootView(key);
    if (view.user != handle.view.user || view.machine != handle.view.machine) {
      handle.namesGeneration = ~uint64_t{0};
    }
    handle.view = view;
    handle.granted = kKeyAllAccess;
    if (view.Empty()) {
      *error = kErrorFileNotFound;
      return nullptr;
    }
    return &handle;
  }
  auto it = handles_.find(key);
  if (it == handles_.end()) {
    *error = kErrorInvalidHandle;
    return nullptr;
  }
  Handle& handle = *it->second;
  handle.view.DropDeleted();
  if (handle.view.Empty()) {
    *error = kErrorKeyDeleted;
    return nullptr;
  }
  return &handle;
}

RegKey MemoryRegistry::NewHandle(const View& view, uint32_t granted) {
  auto handle = std::make_unique<Handle>();
  handle->view = view;
  handle->granted = granted;
  const RegKey key = nextHandle_;
  nextHandle_ += 4;  // distinct, aligned like kernel handles
  handles_[key] = std::move(handle);
  return key;
}

size_t MemoryRegistry::SubkeyCount(Handle& handle) {
  if (!handle.view.Merged()) return handle.view.Primary()->children.size();
  SubkeyName(handle, 0);  // fills the cache
  return handle.mergedNames.size();
}

std::u16string_view MemoryRegistry::SubkeyName(Handle& handle, size_t index) {
  const View& view = handle.view;
  if (!view.Merged()) return view.Primary()->children[index]->name;
  if (handle.namesGeneration != generation_) {
    // Both sides are sorted alike: merge them, the user side winning ties.
    const bool lower = flavor_ == RegistryFlavor::kWine;
    const auto& a = view.user->children;
    const auto& b = view.machine->children;
    handle.mergedNames.clear();
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
      int order = i == a.size() ? 1
                  : j == b.size()
                      ? -1
                      : CompareFolded(a[i]->name, b[j]->name, lower);
      if (order <= 0) {
        handle.mergedNames.push_back(a[i]->name);
        ++i;
        if (order == 0) ++j;
      } else {
        handle.mergedNames.push_back(b[j]->name);
        ++j;
      }
    }
    handle.namesGeneration = generation_;
  }
  if (index >= handle.mergedNames.size()) return {};
  return handle.mergedNames[index];
}

namespace {

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

// Injected failures first, then the key's access limits.
int32_t CheckOpen(const std::vector<MemoryRegistry::Node*>& nodes,
                  uint32_t access, uint32_t* granted) {
  std::vector<KeyAccess> limits;
  for (auto* node : nodes) {
    if (node->openFailure != kErrorSuccess) return node->openFailure;
    limits.push_back(node->access);
  }
  return GrantAccess(access, limits, granted) ? kErrorSuccess
                                              : kErrorAccessDenied;
}

}  // namespace

// --- Registry ---

int32_t MemoryRegistry::RegOpenKeyExW(RegKey parent, const char16_t* subKey,
                                      uint32_t access, RegKey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  int32_t error = kErrorSuccess;
  Handle* base = GetHandle(parent, &error);
  if (base == nullptr) return error;
  return OpenView(FindView(base->view, NameOrEmpty(subKey)), access, result);
}

int32_t MemoryRegistry::RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                                        uint32_t access, RegKey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  int32_t error = kErrorSuccess;
  Handle* base = GetHandle(parent, &error);
  if (base == nullptr) return error;
  return OpenView(FindLinkView(base->view, NameOrEmpty(subKey)), access,
                  result);
}

int32_t MemoryRegistry::OpenView(const View& view, uint32_t access,
                                 RegKey* result) {
  if (view.Empty()) return kErrorFileNotFound;
  uint32_t granted = 0;
  const int32_t error = CheckOpen(view.Nodes(), access, &granted);
  if (error != kErrorSuccess) return error;
  *result = NewHandle(view, granted);
  return kErrorSuccess;
}

int32_t MemoryRegistry::RegCreateKeyExW(RegKey parent, const char16_t* subKey,
                                        uint32_t access, RegKey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  int32_t error = kErrorSuccess;
  Handle* base = GetHandle(parent, &error);
  if (base == nullptr) return error;
  // Opening an existing key must meet its injected failure first.
  View view = FindView(base->view, NameOrEmpty(subKey));
  if (view.Empty()) {
    error = CreateView(base->view, NameOrEmpty(subKey), false, &view);
    if (error != kErrorSuccess) return error;
  }
  uint32_t granted = 0;
  error = CheckOpen(view.Nodes(), access, &granted);
  if (error != kErrorSuccess) return error;
  *result = NewHandle(view, granted);
  return kErrorSuccess;
}

int32_t MemoryRegistry::RegCloseKey(RegKey key) {
  if (IsPredefined(key)) return kErrorSuccess;
  return handles_.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

int32_t MemoryRegistry::RegEnumKeyExW(RegKey key, uint32_t index,
                                      char16_t* name, uint32_t* nameChars) {
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (!(handle->granted & kKeyEnumerateSubKeys)) return kErrorAccessDenied;
  if (name == nullptr || nameChars == nullptr) return kErrorInvalidParameter;
  for (Node* node : handle->view.Nodes()) {
    auto it = node->enumKeyFailures.find(index);
    if (it != node->enumKeyFailures.end()) return it->second;
  }
  if (index >= SubkeyCount(*handle)) return kErrorNoMoreItems;
  const std::u16string_view text = SubkeyName(*handle, index);
  if (text.size() >= *nameChars) return kErrorMoreData;
  std::copy(text.begin(), text.end(), name);
  name[text.size()] = 0;
  *nameChars = static_cast<uint32_t>(text.size());
  return kErrorSuccess;
}

namespace {

// The data rules shared by RegEnumValueW and RegQueryValueExW.
int32_t CopyData(const std::vector<uint8_t>& source, uint8_t* data,
                 uint32_t* dataBytes) {
  if (dataBytes == nullptr) return kErrorSuccess;
  const auto size = static_cast<uint32_t>(source.size());
  if (data != nullptr) {
    if (size > *dataBytes) {
      *dataBytes = size;
      return kErrorMoreData;
    }
    if (size > 0) std::memcpy(data, source.data(), size);
  }
  *dataBytes = size;
  return kErrorSuccess;
}

}  // namespace

int32_t MemoryRegistry::RegEnumValueW(RegKey key, uint32_t index,
                                      char16_t* name, uint32_t* nameChars,
                                      uint32_t* type, uint8_t* data,
                                      uint32_t* dataBytes) {
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (!(handle->granted & kKeyQueryValue)) return kErrorAccessDenied;
  if (name == nullptr || nameChars == nullptr) return kErrorInvalidParameter;
  if (data != nullptr && dataBytes == nullptr) return kErrorInvalidParameter;
  for (Node* node : handle->view.Nodes()) {
    auto it = node->enumValueFailures.find(index);
    if (it != node->enumValueFailures.end()) return it->second;
  }
  const Node& node = *handle->view.Primary();
  if (index >= node.values.size()) return kErrorNoMoreItems;
  const Node::Value& value = node.values[index];
  if (type != nullptr) *type = value.type;
  if (value.name.size() >= *nameChars) return kErrorMoreData;
  const int32_t result = CopyData(value.data, data, dataBytes);
  if (result != kErrorSuccess) return result;  // the name is left alone
  std::copy(value.name.begin(), value.name.end(), name);
  name[value.name.size()] = 0;
  *nameChars = static_cast<uint32_t>(value.name.size());
  return kErrorSuccess;
}

int32_t MemoryRegistry::RegQueryValueExW(RegKey key, const char16_t* valueName,
                                         uint32_t* type, uint8_t* data,
                                         uint32_t* dataBytes) {
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (!(handle->granted & kKeyQueryValue)) return kErrorAccessDenied;
  if (data != nullptr && dataBytes == nullptr) return kErrorInvalidParameter;
  const std::u16string folded = ToLowerAscii(NameOrEmpty(valueName));
  for (Node* node : handle->view.Nodes()) {
    auto it = node->queryFailures.find(folded);
    if (it != node->queryFailures.end()) return it->second;
  }
  const Node::Value* value =
      handle->view.Primary()->FindValue(NameOrEmpty(valueName));
  if (value == nullptr) return kErrorFileNotFound;
  if (type != nullptr) *type = value->type;
  return CopyData(value->data, data, dataBytes);
}

int32_t MemoryRegistry::RegQueryInfoKeyW(RegKey key, uint32_t* subKeys,
                                         uint32_t* values) {
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (!(handle->granted & kKeyQueryValue)) return kErrorAccessDenied;
  if (subKeys != nullptr) {
    *subKeys = static_cast<uint32_t>(SubkeyCount(*handle));
  }
  if (values != nullptr) {
    *values = static_cast<uint32_t>(handle->view.Primary()->values.size());
  }
  return kErrorSuccess;
}

namespace {

void StoreValue(MemoryRegistry::Node& node, std::u16string_view name,
                uint32_t type, std::vector<uint8_t> data, bool sorted) {
  if (auto* value = node.FindValue(name)) {
    value->type = type;
    value->data = std::move(data);
    return;
  }
  MemoryRegistry::Node::Value value{std::u16string(name), type,
                                    std::move(data)};
  if (!sorted) {
    node.AppendValue(std::move(value));
    return;
  }
  node.sortedValues = true;
  auto at = std::lower_bound(node.values.begin(), node.values.end(), name,
                             [](const auto& v, std::u16string_view key) {
                               return CompareFolded(v.name, key, true) < 0;
                             });
  node.values.insert(at, std::move(value));
}

bool EraseValue(MemoryRegistry::Node& node, std::u16string_view name) {
  const MemoryRegistry::Node::Value* value = node.FindValue(name);
  if (value == nullptr) return false;
  node.EraseValueAt(static_cast<size_t>(value - node.values.data()));
  return true;
}

}  // namespace

int32_t MemoryRegistry::RegSetValueExW(RegKey key, const char16_t* valueName,
                                       uint32_t type, const uint8_t* data,
                                       uint32_t dataBytes) {
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (!(handle->granted & kKeySetValue)) return kErrorAccessDenied;
  const std::u16string_view name = NameOrEmpty(valueName);
  if (name.size() > kMaxValueNameChars) return kErrorInvalidParameter;
  if (data == nullptr && dataBytes != 0) return kErrorInvalidParameter;
  std::vector<uint8_t> bytes;
  if (dataBytes != 0) bytes.assign(data, data + dataBytes);
  StoreValue(*handle->view.Primary(), name, type, std::move(bytes),
             flavor_ == RegistryFlavor::kWine);
  return kErrorSuccess;
}

int32_t MemoryRegistry::RegDeleteValueW(RegKey key, const char16_t* valueName) {
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (!(handle->granted & kKeySetValue)) return kErrorAccessDenied;
  return EraseValue(*handle->view.Primary(), NameOrEmpty(valueName))
             ? kErrorSuccess
             : kErrorFileNotFound;
}

int32_t MemoryRegistry::RegDeleteKeyW(RegKey parent, const char16_t* subKey) {
  int32_t error = kErrorSuccess;
  Handle* base = GetHandle(parent, &error);
  if (base == nullptr) return error;
  const auto parts = SplitPath(NameOrEmpty(subKey));
  if (parts.empty() && IsPredefined(parent)) return kErrorAccessDenied;
  // Through a link the target is deleted, as Windows does.
  const View target = FindView(base->view, NameOrEmpty(subKey));
  if (target.Empty()) return kErrorFileNotFound;
  for (Node* node : target.Nodes()) {
    if (node->openFailure != kErrorSuccess) return node->openFailure;
    if (node->access != KeyAccess::kFull) return kErrorAccessDenied;
    if (node->deleteFailure != kErrorSuccess) return node->deleteFailure;
    if (!node->children.empty()) return kErrorAccessDenied;
    if (node->parent == nullptr) return kErrorAccessDenied;
  }
  RemoveNode(*target.Primary());
  return kErrorSuccess;
}

// --- set-up helpers ---

void MemoryRegistry::CreateKey(RegKey root, const std::u16string& path) {
  CreateOrFind(root, path);
}

void MemoryRegistry::SetValue(RegKey root, const std::u16string& path,
                              const std::u16string& name, uint32_t type,
                              std::vector<uint8_t> data) {
  const View view = CreateOrFind(root, path);
  if (view.Empty()) return;
  StoreValue(*view.Primary(), name, type, std::move(data),
             flavor_ == RegistryFlavor::kWine);
}

void MemoryRegistry::SetString(RegKey root, const std::u16string& path,
                               const std::u16string& name,
                               const std::u16string& text, uint32_t type) {
  std::vector<uint8_t> data;
  data.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    data.push_back(static_cast<uint8_t>(c & 0xFF));
    data.push_back(static_cast<uint8_t>(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  SetValue(root, path, name, type, std::move(data));
}

void MemoryRegistry::SetDword(RegKey root, const std::u16string& path,
                              const std::u16string& name, uint32_t number) {
  std::vector<uint8_t> data(4);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(number >> (8 * i));
  SetValue(root, path, name, kRegDword, std::move(data));
}

bool MemoryRegistry::DeleteTree(RegKey root, const std::u16string& path) {
  const View view = FindView(root, path);
  if (view.Empty()) return false;
  bool removed = false;
  for (Node* node : view.Nodes()) {
    if (node->parent == nullptr) continue;
    RemoveNode(*node);
    removed = true;
  }
  return removed;
}

bool MemoryRegistry::KeyExists(RegKey root, const std::u16string& path) const {
  return !FindView(root, path).Empty();
}

bool MemoryRegistry::ValueExists(RegKey root, const std::u16string& path,
                                 const std::u16string& name) const {
  const View view = FindView(root, path);
  return !view.Empty() && view.Primary()->FindValue(name) != nullptr;
}

bool MemoryRegistry::DeleteValue(RegKey root, const std::u16string& path,
                                 const std::u16string& name) {
  const View view = FindView(root, path);
  return !view.Empty() && EraseValue(*view.Primary(), name);
}

void MemoryRegistry::AddLink(RegKey root, const std::u16string& linkPath,
                             const std::u16string& targetPath) {
  View baseView = CreateOrFind(root, u"");
  std::shared_ptr<Node> base =
      baseView.machine ? baseView.machine : baseView.user;
  if (!base) return;
  View target;
  CreateView(View{nullptr, base}, targetPath, true, &target);
  auto parts = SplitPath(linkPath);
  if (parts.empty()) return;
  const std::u16string_view name = parts.back();
  std::u16string_view parentPath(linkPath);
  parentPath = parentPath.substr(0, name.data() - linkPath.data());
  View parent;
  if (CreateView(View{nullptr, base}, parentPath, true, &parent) !=
          kErrorSuccess ||
      parent.Empty()) {
    return;
  }
  if (auto existing = Child(*parent.Primary(), name)) RemoveNode(*existing);
  auto link = AddChild(*parent.Primary(), name);
  link->isLink = true;
  link->linkBase = base;
  link->linkTarget = targetPath;
  // What a key opened as a link shows: its REG_LINK value with the target's
  // full kernel name, without a terminator.
  std::u16string kernelName = base == hklm_   ? u"\\Registry\\Machine"
                              : base == hku_ ? u"\\Registry\\User"
                                             : u"\\Registry\\User\\Current";
  for (auto part : SplitPath(targetPath)) {
    kernelName += u'\\';
    kernelName += part;
  }
  std::vector<uint8_t> data;
  for (char16_t c : kernelName) {
    data.push_back(static_cast<uint8_t>(c & 0xFF));
    data.push_back(static_cast<uint8_t>(c >> 8));
  }
  link->AppendValue({kSymbolicLinkValueName, kRegLink, std::move(data)});
}

void MemoryRegistry::AddWineLinks() {
  // Wine 8's registry links, all under HKEY_LOCAL_MACHINE: the 32-bit view
  // of shared keys and the old Time Zones location.
  static const char16_t* const kDirect[][2] = {
      {u"Software\\Classes\\Wow6432Node\\AppId", u"Software\\Classes\\AppId"},
      {u"Software\\Classes\\Wow6432Node\\Protocols",
       u"Software\\Classes\\Protocols"},
      {u"Software\\Classes\\Wow6432Node\\TypeLib",
       u"Software\\Classes\\TypeLib"},
      {u"Software\\Microsoft\\Windows\\CurrentVersion\\Time Zones",
       u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones"},
      {u"Software\\Wow6432Node\\Classes", u"Software\\Classes\\Wow6432Node"},
      {u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Time Zones",
       u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones"},
      {u"Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Time "
       u"Zones",
       u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones"},
      {u"Software\\Wow6432Node\\Microsoft\\Software\\Microsoft\\Shared "
       u"Tools\\MSInfo",
       u"Software\\Microsoft\\Shared Tools\\MSInfo"},
      {u"Software\\Wow6432Node\\Policies", u"Software\\Policies"},
      {u"Software\\Wow6432Node\\Registered Applications",
       u"Software\\Registered Applications"},
      {u"Software\\Wow6432Node\\Wine\\Ports", u"Software\\Wine\\Ports"},
  };
  // Software\Wow6432Node\Microsoft\X -> Software\Microsoft\X.
  static const char16_t* const kMicrosoft[] = {
      u"Clients",
      u"Cryptography\\Calais\\Current",
      u"Cryptography\\Calais\\Readers",
      u"Cryptography\\Services",
      u"CTF\\SystemShared",
      u"CTF\\TIP",
      u"DFS",
      u"Driver Signing",
      u"EnterpriseCertificates",
      u"EventSystem",
      u"MSMQ",
      u"Non-Driver Signing",
      u"Notepad\\DefaultFonts",
      u"OLE",
      u"RAS",
      u"RPC",
      u"SystemCertificates",
      u"TermServLicensing",
      u"Transaction Server",
      u"Windows\\CurrentVersion\\App Paths",
      u"Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
      u"Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
      u"Windows\\CurrentVersion\\Explorer\\DriveIcons",
      u"Windows\\CurrentVersion\\Explorer\\KindMap",
      u"Windows\\CurrentVersion\\Group Policy",
      u"Windows\\CurrentVersion\\Policies",
      u"Windows\\CurrentVersion\\PreviewHandlers",
      u"Windows\\CurrentVersion\\Setup",
      u"Windows\\CurrentVersion\\Telephony\\Locations",
      u"Windows NT\\CurrentVersion\\Console",
      u"Windows NT\\CurrentVersion\\FontDpi",
      u"Windows NT\\CurrentVersion\\FontLink",
      u"Windows NT\\CurrentVersion\\FontMapper",
      u"Windows NT\\CurrentVersion\\Fonts",
      u"Windows NT\\CurrentVersion\\FontSubstitutes",
      u"Windows NT\\CurrentVersion\\Gre_Initialize",
      u"Windows NT\\CurrentVersion\\Image File Execution Options",
      u"Windows NT\\CurrentVersion\\LanguagePack",
      u"Windows NT\\CurrentVersion\\NetworkCards",
      u"Windows NT\\CurrentVersion\\Perflib",
      u"Windows NT\\CurrentVersion\\Ports",
      u"Windows NT\\CurrentVersion\\Print",
      u"Windows NT\\CurrentVersion\\ProfileList",
  };
  for (const auto& [link, target] : kDirect) {
    AddLink(kHkeyLocalMachine, link, target);
  }
  for (const char16_t* tail : kMicrosoft) {
    const std::u16string name(tail);
    AddLink(kHkeyLocalMachine, u"Software\\Wow6432Node\\Microsoft\\" + name,
            u"Software\\Microsoft\\" + name);
  }
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

size_t MemoryRegistry::OpenHandleCount() const { return handles_.size(); }

void MemoryRegistry::RefuseDeletion(RegKey root, const std::u16string& path,
                                    int32_t error) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) node->deleteFailure = error;
}

std::u16string MemoryRegistry::KeyPath(RegKey root,
                                       const std::u16string& path) const {
  const View view = FindView(root, path);
  return view.Empty() ? std::u16string() : NodePath(*view.Primary());
}

bool MemoryRegistry::IsLink(RegKey root, const std::u16string& path) const {
  const View view = FindLinkView(RootView(root), path);
  for (Node* node : view.Nodes()) {
    if (node->isLink) return true;
  }
  return false;
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
                                          int32_t error) {
  const View view = CreateOrFind(root, path);
  for (Node* node : view.Nodes()) node->replaceFailure = error;
}

// --- hive files ---
// RegSaveKeyExW writes a key's tree into the attached file system in a small
// binary form of its own, RegLoadKeyW mounts such a file, and RegReplaceKeyW
// records what Windows would do at its next start.
namespace {

constexpr char kHiveMagic[] = "TAVIK-MEMORY-HIVE-1";
// The registry's own nesting limit; deeper files are damaged.
constexpr int kMaxHiveDepth = 512;

class HiveWriter {
 public:
  void Number(uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  void Text(const std::u16string& text) {
    Number(static_cast<uint32_t>(text.size()));
    for (char16_t c : text) {
      bytes.push_back(static_cast<uint8_t>(c & 0xFF));
      bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
  }
  void Bytes(const std::vector<uint8_t>& data) {
    Number(static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  std::vector<uint8_t> bytes;
};

class HiveReader {
 public:
  explicit HiveReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool Magic() {
    const size_t size = sizeof(kHiveMagic);
    if (bytes_.size() < size || std::memcmp(bytes_.data(), kHiveMagic, size) != 0) {
      return false;
    }
    at_ = size;
    return true;
  }
  bool Number(uint32_t* value) {
    if (bytes_.size() - at_ < 4) return false;
    *value = 0;
    for (int i = 0; i < 4; ++i) *value |= uint32_t{bytes_[at_ + i]} << (8 * i);
    at_ += 4;
    return true;
  }
  bool Text(std::u16string* text) {
    uint32_t units = 0;
    if (!Number(&units) || (bytes_.size() - at_) / 2 < units) return false;
    text->resize(units);
    for (uint32_t i = 0; i < units; ++i) {
      (*text)[i] = static_cast<char16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
      at_ += 2;
    }
    return true;
  }
  bool Bytes(std::vector<uint8_t>* data) {
    uint32_t size = 0;
    if (!Number(&size) || bytes_.size() - at_ < size) return false;
    data->assign(bytes_.begin() + at_, bytes_.begin() + at_ + size);
    at_ += size;
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t at_ = 0;
};

}  // namespace

// The node layout is private to the memory registry; these two walk it.
struct HiveCodec {
  using Node = MemoryRegistry::Node;

  static void Write(const Node& node, HiveWriter& out) {
    out.Text(node.name);
    out.Number(node.isLink ? 1 : 0);
    out.Text(node.isLink ? node.linkTarget : std::u16string());
    out.Number(static_cast<uint32_t>(node.values.size()));
    for (const auto& value : node.values) {
      out.Text(value.name);
      out.Number(value.type);
      out.Bytes(value.data);
    }
    out.Number(static_cast<uint32_t>(node.children.size()));
    for (const auto& child : node.children) Write(*child, out);
  }

  static bool Read(HiveReader& in, Node& node, Node* parent,
                   const std::shared_ptr<Node>& linkBase, int depth) {
    if (depth > kMaxHiveDepth) return false;
    uint32_t isLink = 0, count = 0;
    std::u16string target;
    if (!in.Text(&node.name) || !in.Number(&isLink) || !in.Text(&target) ||
        !in.Number(&count)) {
      return false;
    }
    node.parent = parent;
    if (isLink != 0) {
      node.isLink = true;
      node.linkBase = linkBase;
      node.linkTarget = target;
    }
    for (uint32_t i = 0; i < count; ++i) {
      Node::Value value;
      if (!in.Text(&value.name) || !in.Number(&value.type) ||
          !in.Bytes(&value.data)) {
        return false;
      }
      node.AppendValue(std::move(value));
    }
    if (!in.Number(&count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      auto child = std::make_shared<Node>();
      if (!Read(in, *child, &node, linkBase, depth + 1)) return false;
      node.children.push_back(std::move(child));
    }
    return true;
  }
};

std::u16string MemoryRegistry::NodePath(const Node& node) const {
  std::u16string path = node.name;
  for (const Node* up = node.parent; up != nullptr; up = up->parent) {
    path = up->name + u"\\" + path;
  }
  return path;
}

namespace {

std::vector<uint8_t> SaveTree(const MemoryRegistry::Node& node) {
  HiveWriter out;
  out.bytes.assign(kHiveMagic, kHiveMagic + sizeof(kHiveMagic));
  HiveCodec::Write(node, out);
  return std::move(out.bytes);
}

bool FileExists(FileSystem& files, const char16_t* path) {
  return files.GetFileAttributesW(path) != kInvalidFileAttributes;
}

}  // namespace

int32_t MemoryRegistry::RegSaveKeyExW(RegKey key, const char16_t* file,
                                      uint32_t /*flags*/) {
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (files_ == nullptr || file == nullptr || *file == 0) {
    return kErrorInvalidParameter;
  }
  const Node& node = *handle->view.Primary();
  if (node.saveFailure != kErrorSuccess) {
    if (node.saveLeavesEmptyFile && !FileExists(*files_, file)) {
      files_->WriteFileBytes(file, {}, false);
    }
    return node.saveFailure;
  }
  if (FileExists(*files_, file)) return kErrorAlreadyExists;
  return files_->WriteFileBytes(file, SaveTree(node), false)
             ? kErrorSuccess
             : kErrorPathNotFound;
}

int32_t MemoryRegistry::RegLoadKeyW(RegKey root, const char16_t* subKey,
                                    const char16_t* file) {
  if (root != kHkeyLocalMachine && root != kHkeyUsers) {
    return kErrorInvalidParameter;
  }
  const std::u16string name = subKey != nullptr ? subKey : u"";
  if (files_ == nullptr || file == nullptr || name.empty() ||
      name.find(u'\\') != std::u16string::npos) {
    return kErrorInvalidParameter;
  }
  const std::shared_ptr<Node> base = RootNode(root);
  if (Child(*base, name)) return kErrorAlreadyExists;
  std::vector<uint8_t> bytes;
  if (!files_->ReadFileBytes(file, bytes)) return kErrorFileNotFound;
  HiveReader in(bytes);
  Node loaded;
  if (!in.Magic() || !HiveCodec::Read(in, loaded, nullptr, base, 0) ||
      !in.AtEnd()) {
    return kErrorBadDb;
  }
  // The hive keeps its contents and takes the mount name.
  const std::shared_ptr<Node> mount = AddChild(*base, name);
  mount->values = std::move(loaded.values);
  mount->valueIndexValid = false;
  mount->children = std::move(loaded.children);
  for (auto& child : mount->children) child->parent = mount.get();
  ++generation_;
  return kErrorSuccess;
}

int32_t MemoryRegistry::RegReplaceKeyW(RegKey key, const char16_t* subKey,
                                       const char16_t* newFile,
                                       const char16_t* oldFile) {
  int32_t error = kErrorSuccess;
  Handle* base = GetHandle(key, &error);
  if (base == nullptr) return error;
  if (files_ == nullptr || newFile == nullptr || oldFile == nullptr) {
    return kErrorInvalidParameter;
  }
  const View view = FindView(base->view, subKey != nullptr ? subKey : u"");
  if (view.Empty()) return kErrorFileNotFound;
  const Node& node = *view.Primary();
  // Only a hive's mount key can be replaced.
  if (node.parent != hklm_.get() && node.parent != hku_.get()) {
    return kErrorInvalidParameter;
  }
  if (node.replaceFailure != kErrorSuccess) return node.replaceFailure;
  if (!FileExists(*files_, newFile)) return kErrorFileNotFound;
  if (FileExists(*files_, oldFile)) return kErrorAlreadyExists;
  if (!files_->WriteFileBytes(oldFile, SaveTree(node), false)) {
    return kErrorPathNotFound;
  }
  pendingReplacements_.push_back({NodePath(node), newFile, oldFile});
  return kErrorSuccess;
}

}  // namespace tavik
