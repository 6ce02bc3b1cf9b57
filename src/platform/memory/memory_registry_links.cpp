// Registry links of the in-memory registry: following them, opening a link
// itself, and making them (Wine's Wow6432Node links among them).
#include "platform/memory/memory_registry.h"

#include "base/text.h"
#include "platform/memory/memory_registry_node.h"

namespace tavik {

using namespace memory_registry_detail;

namespace {

// Registry links that point at links are followed this deep, no further, so
// that a loop of links ends as a missing key instead of hanging.
constexpr int kMaxLinkDepth = 16;

}  // namespace

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

int32_t MemoryRegistry::RegOpenKeyLinkW(RegKey parent, const char16_t* subKey,
                                        uint32_t access, RegKey* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  int32_t error = kErrorSuccess;
  Handle* base = GetHandle(parent, &error);
  if (base == nullptr) return error;
  return OpenView(FindLinkView(base->view, NameOrEmpty(subKey)), access,
                  result);
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

bool MemoryRegistry::IsLink(RegKey root, const std::u16string& path) const {
  const View view = FindLinkView(RootView(root), path);
  for (Node* node : view.Nodes()) {
    if (node->isLink) return true;
  }
  return false;
}

}  // namespace tavik
