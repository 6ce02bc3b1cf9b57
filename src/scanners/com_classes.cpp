#include "scanners/com_classes.h"

#include <iterator>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "scanners/class_registration.h"

namespace tavik {

namespace {

// Text values are asked for with the whole work buffer, whatever their type.
constexpr uint32_t kValueBytes = kTextBufferChars * 2;

// The server keys of a class, in the order they are judged. The first names
// a 16-bit server, which 64-bit Windows never loads.
constexpr const char16_t* kServerKeys[] = {u"InprocServer", u"InprocServer32",
                                          u"LocalServer32"};
constexpr size_t kServerKeyCount = std::size(kServerKeys);

// One pass's work buffer for value data, reused for every value it reads.
class ValueReader {
 public:
  ValueReader() : buffer_(kTextBufferChars) {}

  // The value's data as text, up to its returned length or its first zero.
  // An absent or unreadable value is "". So is one that fills the whole
  // buffer, an odd last byte counted as a whole character: it leaves no room
  // for a terminator and is not examined.
  std::u16string Read(Registry& registry, RegKey key,
                      const char16_t* valueName) {
    uint32_t bytes = kValueBytes;
    if (registry.RegQueryValueExW(key, valueName, nullptr,
                                  reinterpret_cast<uint8_t*>(buffer_.data()),
                                  &bytes) != kErrorSuccess ||
        bytes + 1 >= kValueBytes) {
      return std::u16string();
    }
    return TextOfData(buffer_.data(), bytes);
  }

  // The default value of `parent`\`subKey`; false when that key does not
  // open for reading.
  bool ReadDefaultOf(Registry& registry, RegKey parent, const char16_t* subKey,
                     std::u16string& text) {
    RegistryKey key;
    if (RegistryKey::Open(registry, parent, subKey, kKeyRead, key) !=
        kErrorSuccess) {
      return false;
    }
    text = Read(registry, key.get(), u"");
    return true;
  }

 private:
  std::vector<char16_t> buffer_;
};

using NameExaminer = void (*)(const ScanContext& context, FindingList* list,
                              RegKey root, std::u16string_view containerPath,
                              RegKey container, const std::u16string& name,
                              ValueReader& reader);

// The frame every pass shares: list the container's subkeys, open the
// container once, and examine each name in enumeration order until a stop.
int32_t ScanContainer(const ScanContext& context, FindingList* list,
                      RegKey root, std::u16string_view containerPath,
                      NameExaminer examine) {
  std::vector<std::u16string> names;
  if (ListSubkeys(context, root, containerPath, names) != 0) return -1;
  RegistryKey container;
  if (RegistryKey::Open(context.registry, root,
                        std::u16string(containerPath).c_str(), kKeyRead,
                        container) != kErrorSuccess) {
    return -1;
  }
  ValueReader reader;
  for (const auto& name : names) {
    if (context.StopRequested()) return -1;
    examine(context, list, root, containerPath, container.get(), name, reader);
  }
  return 0;
}

void ExamineClassId(const ScanContext& context, FindingList* list, RegKey root,
                    std::u16string_view containerPath, RegKey container,
                    const std::u16string& name, ValueReader& reader) {
  RegistryKey classKey;
  if (RegistryKey::Open(context.registry, container, name.c_str(), kKeyRead,
                        classKey) != kErrorSuccess) {
    return;
  }
  const std::u16string appId =
      reader.Read(context.registry, classKey.get(), u"AppID");
  if (!appId.empty() && AppIdIsRegistered(context, appId) == 0) {
    AddFinding(context, list, kFindingInvalidValue, root, containerPath, name,
               u"AppID", AppIdNotRegisteredReason(appId));
  }

  const std::u16string classPath = JoinKeyPath(containerPath, name);
  const FileView view = FileViewOfKey(containerPath);
  std::u16string text;
  // CheckIconLocation counts an empty location as valid.
  if (reader.ReadDefaultOf(context.registry, classKey.get(), u"DefaultIcon",
                           text) &&
      CheckIconLocation(context.files, text, view) == 0) {
    AddFinding(context, list, kFindingInvalidKey, root, classPath,
               u"DefaultIcon", u"",
               {ReasonKind::kFileMissing,
                DescribeMissingIcon(context.files, text, view)});
  }

  // Each missing server reports the whole class again: the reports are
  // independent, so one class may be listed up to three times. A class with
  // a 32-bit server is judged by that alone: Windows itself registers classes
  // such as PSDispatch with a 16-bit file ("ole2disp.dll") that a 64-bit
  // system never has, and those classes work.
  bool opened[kServerKeyCount] = {};
  std::u16string servers[kServerKeyCount];
  for (size_t i = 0; i < kServerKeyCount; ++i) {
    opened[i] = reader.ReadDefaultOf(context.registry, classKey.get(),
                                     kServerKeys[i], servers[i]);
  }
  const bool has32BitServer = opened[1] || opened[2];
  for (size_t i = has32BitServer ? 1 : 0; i < kServerKeyCount; ++i) {
    // An empty server value counts as present.
    if (opened[i] &&
        CheckFileReference(context.files, servers[i], 0, view) == 0) {
      AddFinding(
          context, list, kFindingInvalidKey, root, classPath, u"", u"",
          {ReasonKind::kFileMissing,
           ReasonDetail({kServerKeys[i], u": ",
                         DescribeMissingFile(context.files, servers[i], 0,
                                             view)})});
    }
  }
}

void ExamineClassName(const ScanContext& context, FindingList* list,
                      RegKey root, std::u16string_view containerPath,
                      RegKey container, const std::u16string& name,
                      ValueReader& reader) {
  // "*" and the names below it hold settings for every file type.
  if (!name.empty() && name.front() == u'*') return;
  RegistryKey nameKey;
  if (RegistryKey::Open(context.registry, container, name.c_str(), kKeyRead,
                        nameKey) != kErrorSuccess) {
    return;
  }
  if (!name.empty() && name.front() == u'.') {
    // A file extension: its default value names the ProgID it opens with.
    const std::u16string progId = reader.Read(context.registry, nameKey.get(), u"");
    if (!progId.empty() && ClassNameIsRegistered(context, progId) == 0) {
      AddFinding(context, list, kFindingInvalidKey, root, containerPath, name,
                 u"", ClassNameNotRegisteredReason(progId));
    }
  } else {
    std::u16string text;
    const FileView view = FileViewOfKey(containerPath);
    if (reader.ReadDefaultOf(context.registry, nameKey.get(), u"DefaultIcon",
                             text) &&
        !text.empty() && CheckIconLocation(context.files, text, view) == 0) {
      AddFinding(context, list, kFindingInvalidKey, root, containerPath,
                 name + u"\\DefaultIcon", u"",
                 {ReasonKind::kFileMissing,
                  DescribeMissingIcon(context.files, text, view)});
    }
    if (reader.ReadDefaultOf(context.registry, nameKey.get(), u"CLSID", text) &&
        !text.empty() && ClassIsRegistered(context, text) == 0) {
      AddFinding(context, list, kFindingInvalidKey, root, containerPath, name,
                 u"", ClassNotRegisteredReason(text, u"CLSID: "));
    }
  }
  // A key with neither values nor subkeys carries nothing; a failed query
  // leaves both counts at 0.
  uint32_t subKeys = 0;
  uint32_t values = 0;
  context.registry.RegQueryInfoKeyW(nameKey.get(), &subKeys, &values);
  if (subKeys == 0 && values == 0) {
    AddFinding(context, list, kFindingInvalidKey, root, containerPath, name,
               u"",
               {ReasonKind::kKeyEmpty,
                ReasonDetail::Fixed(u"The key holds no values and no subkeys")});
  }
}

void ExamineAppId(const ScanContext& context, FindingList* list, RegKey root,
                  std::u16string_view containerPath, RegKey container,
                  const std::u16string& name, ValueReader& reader) {
  RegistryKey appKey;
  if (RegistryKey::Open(context.registry, container, name.c_str(), kKeyRead,
                        appKey) != kErrorSuccess) {
    return;
  }
  // Keys named after an executable point at their AppID; GUID keys carry no
  // such value, and the empty text counts as registered.
  const std::u16string appId =
      reader.Read(context.registry, appKey.get(), u"AppID");
  if (AppIdIsRegistered(context, appId) == 0) {
    AddFinding(context, list, kFindingInvalidKey, root, containerPath, name,
               u"", AppIdNotRegisteredReason(appId, u"AppID: "));
  }
}

}  // namespace

const std::array<ClassLocation, 6> kClassLocations = {{
    {kHkeyClassesRoot, u"", u"CLSID", u"AppID"},
    {kHkeyLocalMachine, u"SOFTWARE\\Classes", u"SOFTWARE\\Classes\\CLSID",
     u"SOFTWARE\\Classes\\AppID"},
    {kHkeyCurrentUser, u"SOFTWARE\\Classes", u"SOFTWARE\\Classes\\CLSID",
     u"SOFTWARE\\Classes\\AppID"},
    {kHkeyClassesRoot, u"Wow6432Node", u"Wow6432Node\\CLSID",
     u"Wow6432Node\\AppID"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Classes",
     u"SOFTWARE\\Wow6432Node\\Classes\\CLSID",
     u"SOFTWARE\\Wow6432Node\\Classes\\AppID"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Classes",
     u"SOFTWARE\\Wow6432Node\\Classes\\CLSID",
     u"SOFTWARE\\Wow6432Node\\Classes\\AppID"},
}};

int32_t ScanClassIdContainer(const ScanContext& context, RegKey root,
                             std::u16string_view containerPath,
                             FindingList* list) {
  return ScanContainer(context, list, root, containerPath, ExamineClassId);
}

int32_t ScanProgIdContainer(const ScanContext& context, RegKey root,
                            std::u16string_view classesRootPath,
                            FindingList* list) {
  return ScanContainer(context, list, root, classesRootPath, ExamineClassName);
}

int32_t ScanAppIdContainer(const ScanContext& context, RegKey root,
                           std::u16string_view containerPath,
                           FindingList* list) {
  return ScanContainer(context, list, root, containerPath, ExamineAppId);
}

int32_t ScanClasses(const ScanContext& context, FindingList* list) {
  for (const auto& location : kClassLocations) {
    ScanClassIdContainer(context, location.root, location.classIdContainer,
                         list);
  }
  for (const auto& location : kClassLocations) {
    ScanProgIdContainer(context, location.root, location.classesRoot, list);
  }
  for (const auto& location : kClassLocations) {
    ScanAppIdContainer(context, location.root, location.appIdContainer, list);
  }
  return 0;
}

}  // namespace tavik
