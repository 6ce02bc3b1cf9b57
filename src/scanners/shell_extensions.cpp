#include "scanners/shell_extensions.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "scanners/class_registration.h"

namespace tavik {

namespace {

// Value names are read into buffers of this many characters.
constexpr uint32_t kNameChars = 33000;
// "OpenWithList" data: 33000 bytes offered, at most 16500 characters.
constexpr uint32_t kListDatumBytes = 33000;
// Extension entry values: the whole 66000-byte work buffer is offered.
constexpr uint32_t kEntryDatumBytes = 66000;

bool AnyName(const std::u16string&) { return true; }

// Calls `examine` with each subkey of root\keyPath that `wanted` accepts and
// that opens for reading, in enumeration order. -1 when the key cannot be
// listed or opened, or a stop was requested; 0 after the last subkey.
template <typename Examine, typename Wanted = bool (*)(const std::u16string&)>
int32_t ForEachSubkey(const ScanContext& context, RegKey root,
                      std::u16string_view keyPath, Examine examine,
                      Wanted wanted = AnyName) {
  std::vector<std::u16string> names;
  if (ListSubkeys(context, root, keyPath, names) != 0) return -1;
  RegistryKey parent;
  if (RegistryKey::Open(context.registry, root,
                        std::u16string(keyPath).c_str(), kKeyRead,
                        parent) != kErrorSuccess) {
    return -1;
  }
  for (const auto& name : names) {
    if (context.StopRequested()) return -1;
    if (!wanted(name)) continue;
    // A subkey that vanished or refuses reading since it was listed is
    // skipped.
    RegistryKey child;
    if (RegistryKey::Open(context.registry, parent.get(), name.c_str(),
                          kKeyRead, child) != kErrorSuccess) {
      continue;
    }
    examine(child.get(), name);
  }
  return 0;
}

// Reads a value of an open key as text into `text`. False when the value is
// absent or its data does not fit `capacityBytes`.
bool ReadText(const ScanContext& context, RegKey key,
              const char16_t* valueName, std::vector<char16_t>& buffer,
              uint32_t capacityBytes, std::u16string& text) {
  uint32_t bytes = capacityBytes;
  if (context.registry.RegQueryValueExW(
          key, valueName, nullptr, reinterpret_cast<uint8_t*>(buffer.data()),
          &bytes) != kErrorSuccess) {
    return false;
  }
  // The data need not end with a terminator: cut at the returned length.
  text = TextOfData(buffer.data(), std::min(bytes, capacityBytes));
  return true;
}

// How a browser extension entry's value is judged.
enum class Test { kIcon, kNotEmpty, kFile };

// Why a value judged invalid is reported; `datum` is the value as its test
// left it.
FindingReason ExtensionValueReason(const ScanContext& context, Test test,
                                   const std::u16string& datum, FileView view) {
  switch (test) {
    case Test::kIcon:
      return {ReasonKind::kFileMissing,
              DescribeMissingIcon(context.files, datum, view)};
    case Test::kNotEmpty:
      return {ReasonKind::kEmptyClassExtension,
              ReasonDetail::Fixed(
                  u"ClsidExtension is empty: it names no class to run")};
    case Test::kFile:
      break;
  }
  return {ReasonKind::kFileMissing,
          DescribeMissingFile(context.files, datum, 0, view)};
}

bool SubkeyOpens(const ScanContext& context, RegKey key,
                 const char16_t* name, RegistryKey& out) {
  return RegistryKey::Open(context.registry, key, name, kKeyRead, out) ==
         kErrorSuccess;
}

}  // namespace

int32_t ScanShellExtensions(const ScanContext& context, FindingList* list) {
  ScanBrowserHelperObjects(
      context, list,
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\Browser "
      u"Helper Objects");
  ScanToolbars(context, list, u"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar");
  ScanBrowserExtensions(context, list,
                        u"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions");
  ScanFileExts(context, list, kHkeyLocalMachine,
               u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts");
  ScanFileExts(context, list, kHkeyCurrentUser,
               u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts");
  ScanBrowserHelperObjects(
      context, list,
      u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\explorer\\"
      u"Browser Helper Objects");
  ScanToolbars(context, list,
               u"SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Toolbar");
  ScanBrowserExtensions(
      context, list,
      u"SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Extensions");
  ScanFileExts(context, list, kHkeyLocalMachine,
               u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
               u"Explorer\\FileExts");
  ScanFileExts(context, list, kHkeyCurrentUser,
               u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
               u"Explorer\\FileExts");
  return context.StopRequested() ? -1 : 0;
}

int32_t ScanBrowserHelperObjects(const ScanContext& context, FindingList* list,
                                 std::u16string_view keyPath) {
  return ForEachSubkey(
      context, kHkeyLocalMachine, keyPath,
      [&](RegKey, const std::u16string& name) {
        if (ClassIsRegistered(context, name) == 0) {
          AddFinding(context, list, kFindingInvalidKey, kHkeyLocalMachine,
                     keyPath, name, u"", ClassNotRegisteredReason(name));
        }
      });
}

int32_t ScanToolbars(const ScanContext& context, FindingList* list,
                     std::u16string_view keyPath) {
  RegistryKey key;
  if (RegistryKey::Open(context.registry, kHkeyLocalMachine,
                        std::u16string(keyPath).c_str(), kKeyRead,
                        key) != kErrorSuccess) {
    return -1;
  }
  std::vector<char16_t> name(kNameChars);
  for (uint32_t index = 0;; ++index) {
    if (context.StopRequested()) return -1;
    uint32_t nameLength = kNameChars;
    const int32_t result = context.registry.RegEnumValueW(
        key.get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr);
    if (result == kErrorNoMoreItems) return 0;
    if (result != kErrorSuccess) return -1;
    const std::u16string_view nameText =
        TextUpToZero(name.data(), std::min(nameLength, kNameChars - 1));
    // The unnamed default value counts as registered and is never reported.
    if (ClassIsRegistered(context, nameText) == 0) {
      AddFinding(context, list, kFindingInvalidValue, kHkeyLocalMachine,
                 keyPath, u"", nameText, ClassNotRegisteredReason(nameText));
    }
  }
}

int32_t ScanBrowserExtensions(const ScanContext& context, FindingList* list,
                              std::u16string_view keyPath) {
  std::u16string entryPath;
  return ForEachSubkey(
      context, kHkeyLocalMachine, keyPath,
      [&](RegKey entryKey, const std::u16string& name) {
        entryPath = JoinKeyPath(keyPath, name);
        // A path too long for a work buffer names no real key: not examined.
        if (entryPath.size() >= kTextBufferChars) return;
        CheckExtensionEntry(context, entryKey, entryPath, list);
      });
}

int32_t CheckExtensionEntry(const ScanContext& context, RegKey entryKey,
                            std::u16string_view entryPath, FindingList* list) {
  struct EntryValue {
    const char16_t* name;
    Test test;
  };
  // Judged in this order, each on its own: one entry can yield five rows.
  static constexpr EntryValue kValues[] = {
      {u"HotIcon", Test::kIcon},     {u"Icon", Test::kIcon},
      {u"ClsidExtension", Test::kNotEmpty},
      {u"Exec", Test::kFile},        {u"Script", Test::kFile},
  };
  const FileView view = FileViewOfKey(entryPath);
  std::vector<char16_t> buffer(kTextBufferChars);
  std::u16string datum;
  for (const auto& value : kValues) {
    // Absent values, and values too long for the buffer, are not judged.
    if (!ReadText(context, entryKey, value.name, buffer, kEntryDatumBytes,
                  datum)) {
      continue;
    }
    bool invalid = false;
    switch (value.test) {
      case Test::kIcon:
        invalid = CheckIconLocation(context.files, datum, view) == 0;
        break;
      case Test::kNotEmpty:
        invalid = datum.empty();
        break;
      case Test::kFile:
        invalid = CheckFileReference(context.files, datum, 0, view) == 0;
        break;
    }
    if (invalid) {
      AddFinding(context, list, kFindingInvalidValue, kHkeyLocalMachine,
                 entryPath, u"", value.name,
                 ExtensionValueReason(context, value.test, datum, view));
    }
  }
  return 1;
}

int32_t ScanFileExts(const ScanContext& context, FindingList* list,
                     RegKey root, std::u16string_view keyPath) {
  return ForEachSubkey(
      context, root, keyPath,
      [&](RegKey extensionKey, const std::u16string& name) {
        if (FileExtInUse(context, extensionKey) == 0) {
          AddFinding(context, list, kFindingInvalidKey, root, keyPath, name,
                     u"",
                     {ReasonKind::kExtensionNotInUse,
                      ReasonDetail::Fixed(
                          u"No UserChoice subkey, no named value in "
                          u"OpenWithProgids and no value with data in "
                          u"OpenWithList")});
        }
      },
      // Only extension records ("." first) are judged.
      [](const std::u16string& name) {
        return !name.empty() && name.front() == u'.';
      });
}

int32_t FileExtInUse(const ScanContext& context, RegKey extensionKey) {
  RegistryKey sub;
  if (SubkeyOpens(context, extensionKey, u"UserChoice", sub)) return 1;

  std::vector<char16_t> name(kNameChars);
  if (SubkeyOpens(context, extensionKey, u"OpenWithProgids", sub)) {
    for (uint32_t index = 0;; ++index) {
      uint32_t nameLength = kNameChars;
      const int32_t result = context.registry.RegEnumValueW(
          sub.get(), index, name.data(), &nameLength, nullptr, nullptr,
          nullptr);
      // A name too long for the buffer is certainly not empty.
      if (result == kErrorMoreData) return 1;
      if (result != kErrorSuccess) break;
      if (nameLength > 0 && name[0] != u'\0') return 1;
    }
  }

  if (SubkeyOpens(context, extensionKey, u"OpenWithList", sub)) {
    std::vector<char16_t> datum(kTextBufferChars);
    for (uint32_t index = 0;; ++index) {
      uint32_t nameLength = kNameChars;
      uint32_t datumBytes = kListDatumBytes;
      const int32_t result = context.registry.RegEnumValueW(
          sub.get(), index, name.data(), &nameLength, nullptr,
          reinterpret_cast<uint8_t*>(datum.data()), &datumBytes);
      // A datum too long for the buffer lists something: the extension is
      // kept rather than judged on a list it could not read.
      if (result == kErrorMoreData) return 1;
      if (result != kErrorSuccess) break;
      // Only the first character counts; a lone byte is one too, the bytes
      // after it counting as zero.
      if (!TextOfData(datum.data(), std::min<uint32_t>(datumBytes, 2))
               .empty()) {
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace tavik
