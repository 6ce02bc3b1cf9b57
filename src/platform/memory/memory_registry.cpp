// The in-memory registry's key tree, its handles, and the registry calls
// for keys and values, with the set-up helpers that tests build it with.
#include "platform/memory/memory_registry.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "platform/memory/memory_registry_node.h"

namespace tavik {

using namespace memory_registry_detail;

namespace {

// The registry's own limits on name lengths, in characters.
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;

}  // namespace

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
  child->lastWrite = parent.lastWrite = Tick();
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
  parent->lastWrite = Tick();
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

// --- Registry ---

int32_t MemoryRegistry::RegOpenKeyExW(RegKey parent, const char16_t* subKey,
                                      uint32_t access, RegKey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  int32_t error = kErrorSuccess;
  Handle* base = GetHandle(parent, &error);
  if (base == nullptr) return error;
  return OpenView(FindView(base->view, NameOrEmpty(subKey)), access, result);
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
                                         uint32_t* values,
                                         uint64_t* lastWriteTime) {
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
  if (lastWriteTime != nullptr) {
    *lastWriteTime = handle->view.Primary()->lastWrite;
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
  handle->view.Primary()->lastWrite = Tick();
  return kErrorSuccess;
}

int32_t MemoryRegistry::RegDeleteValueW(RegKey key, const char16_t* valueName) {
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (!(handle->granted & kKeySetValue)) return kErrorAccessDenied;
  if (!EraseValue(*handle->view.Primary(), NameOrEmpty(valueName))) {
    return kErrorFileNotFound;
  }
  handle->view.Primary()->lastWrite = Tick();
  return kErrorSuccess;
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

int32_t MemoryRegistry::NtQueryKeyNameW(RegKey key, char16_t* name,
                                        uint32_t* nameChars) {
  if (name == nullptr || nameChars == nullptr) return kErrorInvalidParameter;
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  std::u16string path = NodePath(*handle->view.Primary());
  const size_t cut = path.find(u'\\');
  const std::u16string_view root = std::u16string_view(path).substr(0, cut);
  std::u16string text = root == u"HKEY_LOCAL_MACHINE" ? u"\\REGISTRY\\MACHINE"
                        : root == u"HKEY_USERS"
                            ? u"\\REGISTRY\\USER"
                            : std::u16string(u"\\REGISTRY\\USER\\") + kCurrentUserSid;
  if (cut != std::u16string::npos) text += path.substr(cut);
  if (text.size() >= *nameChars) return kErrorMoreData;
  std::copy(text.begin(), text.end(), name);
  name[text.size()] = 0;
  *nameChars = static_cast<uint32_t>(text.size());
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
  view.Primary()->lastWrite = Tick();
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
  if (view.Empty() || !EraseValue(*view.Primary(), name)) return false;
  view.Primary()->lastWrite = Tick();
  return true;
}

size_t MemoryRegistry::OpenHandleCount() const { return handles_.size(); }

std::u16string MemoryRegistry::KeyPath(RegKey root,
                                       const std::u16string& path) const {
  const View view = FindView(root, path);
  return view.Empty() ? std::u16string() : NodePath(*view.Primary());
}

std::u16string MemoryRegistry::NodePath(const Node& node) const {
  std::u16string path = node.name;
  for (const Node* up = node.parent; up != nullptr; up = up->parent) {
    path = up->name + u"\\" + path;
  }
  return path;
}

}  // namespace tavik
