// Hive files of the in-memory registry: saving a key's tree, loading and
// unloading a hive, and scheduling a replacement.
#include "platform/memory/memory_registry.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "platform/memory/memory_registry_node.h"

namespace tavik {

using namespace memory_registry_detail;

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
                                      const SecurityAttributes* security,
                                      uint32_t /*flags*/) {
  constexpr int32_t kErrorDiskFull = 112;
  int32_t error = kErrorSuccess;
  Handle* handle = GetHandle(key, &error);
  if (handle == nullptr) return error;
  if (files_ == nullptr || file == nullptr || *file == 0) {
    return kErrorInvalidParameter;
  }
  // Wine reads the SECURITY_ATTRIBUTES as if they were the descriptor.
  if (security != nullptr && flavor_ == RegistryFlavor::kWine) {
    return kErrorUnknownRevision;
  }
  const Node& node = *handle->view.Primary();
  if (node.saveFailure != kErrorSuccess) {
    if (node.saveLeavesEmptyFile && !FileExists(*files_, file)) {
      files_->WriteFileBytes(file, {}, false);
    }
    return node.saveFailure;
  }
  const std::vector<uint8_t> hive = SaveTree(node);
  if (FileExists(*files_, file)) {
    // Windows wants a new file; Wine saves over the old one, which keeps
    // its permissions.
    if (flavor_ == RegistryFlavor::kWindows) return kErrorAlreadyExists;
    return files_->WriteFileBytes(file, hive, false) ? kErrorSuccess
                                                     : kErrorDiskFull;
  }
  uint32_t created = 0;
  const uintptr_t out =
      files_->CreateNewFileWithSecurity(file, security, created);
  if (out == 0) return static_cast<int32_t>(created);
  uint32_t written = 0;
  const bool whole =
      files_->WriteFile(out, hive.data(), static_cast<uint32_t>(hive.size()),
                        written) &&
      written == hive.size();
  files_->CloseFile(out);
  if (!whole) {
    files_->DeleteFileW(file);
    return kErrorDiskFull;
  }
  return kErrorSuccess;
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
  mount->loadedHive = true;
  mount->values = std::move(loaded.values);
  mount->valueIndexValid = false;
  mount->children = std::move(loaded.children);
  for (auto& child : mount->children) child->parent = mount.get();
  ++generation_;
  return kErrorSuccess;
}

int32_t MemoryRegistry::RegUnLoadKeyW(RegKey root, const char16_t* subKey) {
  if (root != kHkeyLocalMachine && root != kHkeyUsers) {
    return kErrorInvalidParameter;
  }
  const std::u16string name = subKey != nullptr ? subKey : u"";
  if (name.empty() || name.find(u'\\') != std::u16string::npos) {
    return kErrorInvalidParameter;
  }
  const std::shared_ptr<Node> mount = Child(*RootNode(root), name);
  if (!mount) return kErrorFileNotFound;
  if (!mount->loadedHive) return kErrorInvalidParameter;
  RemoveNode(*mount);
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
  Node& node = *view.Primary();
  // Only a hive's mount key can be replaced.
  if (node.parent != hklm_.get() && node.parent != hku_.get()) {
    return kErrorInvalidParameter;
  }
  if (node.replaceFailure != kErrorSuccess &&
      node.replaceCount >= node.replaceFailureAfter) {
    return node.replaceFailure;
  }
  if (!FileExists(*files_, newFile)) return kErrorFileNotFound;
  if (FileExists(*files_, oldFile)) return kErrorAlreadyExists;
  if (!files_->WriteFileBytes(oldFile, SaveTree(node), false)) {
    return kErrorPathNotFound;
  }
  // The hive is loaded from one file at the next start: the last replace
  // of a hive wins.
  const std::u16string hive = NodePath(node);
  auto it = std::find_if(
      pendingReplacements_.begin(), pendingReplacements_.end(),
      [&](const PendingReplacement& pending) { return pending.hive == hive; });
  if (it != pendingReplacements_.end()) {
    *it = {hive, newFile, oldFile};
  } else {
    pendingReplacements_.push_back({hive, newFile, oldFile});
  }
  ++node.replaceCount;
  return kErrorSuccess;
}

}  // namespace tavik
