#include "scanners/value_lists.h"

#include <functional>
#include <vector>

#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "base/text.h"

namespace tavik {

namespace {

constexpr uint32_t kNameChars = 33000;
constexpr uint32_t kSharedDllNameChars = 32767;
// The datum buffer holds 33000 characters, but only 33000 bytes are offered
// to the registry: a datum holds at most 16500 characters.
constexpr uint32_t kDatumBytes = 33000;

// Answers true when the value is invalid; `name` and `datum` are the value's
// texts up to their first zero.
using MemberTest =
    std::function<bool(const std::u16string& name, const std::u16string& datum,
                       int32_t& endCode)>;
// The evidence for a value the member test judged invalid: what was looked
// for. Asked only for values about to be reported.
using MemberEvidence = std::function<std::u16string(
    const std::u16string& name, const std::u16string& datum)>;

// Walks the values of root\keyPath and reports each one the member test
// judges invalid. 0 when the key was read to its end, -1 otherwise.
int32_t ScanValueList(const ScanContext& context, FindingList* list,
                      RegKey root, std::u16string_view keyPath,
                      uint32_t nameChars, bool readDatum,
                      const MemberTest& isInvalid,
                      const MemberEvidence& evidence) {
  RegistryKey key;
  const std::u16string path(keyPath);
  if (RegistryKey::Open(context.registry, root, path.c_str(), kKeyRead, key) !=
      kErrorSuccess) {
    return -1;
  }
  std::vector<char16_t> name(nameChars);
  std::vector<char16_t> datum(kTextBufferChars);
  std::u16string nameText;
  std::u16string datumText;
  for (uint32_t index = 0;; ++index) {
    if (context.StopRequested()) return -1;
    uint32_t nameLength = nameChars;
    uint32_t datumBytes = kDatumBytes;
    const int32_t result = context.registry.RegEnumValueW(
        key.get(), index, name.data(), &nameLength, nullptr,
        readDatum ? reinterpret_cast<uint8_t*>(datum.data()) : nullptr,
        readDatum ? &datumBytes : nullptr);
    if (result == kErrorNoMoreItems) return 0;
    if (result != kErrorSuccess) return -1;
    // Neither the name nor the datum need carry a terminator: both are cut
    // at their returned length.
    nameText = TextUpToZero(name.data(), std::min(nameLength, nameChars - 1));
    datumText = readDatum ? TextOfData(datum.data(),
                                       std::min(datumBytes, kDatumBytes))
                          : std::u16string();
    int32_t endCode = 0;
    const bool invalid = isInvalid(nameText, datumText, endCode);
    if (endCode != 0) return endCode;
    if (invalid) {
      AddFinding(context, list, kFindingInvalidValue, root, keyPath, u"",
                 nameText,
                 {ReasonKind::kFileMissing, evidence(nameText, datumText)});
    }
  }
}

bool Missing(const ScanContext& context, const std::u16string& text,
             FileView view, int32_t fileRequired = 0) {
  return CheckFileReference(context.files, text, fileRequired, view) == 0;
}

// A composed path too long for a work buffer cannot be judged: kept.
bool ComposedMissing(const ScanContext& context, const std::u16string& path,
                     FileView view) {
  return path.size() < kTextBufferChars && Missing(context, path, view);
}

// The evidence of a member judged by one text alone.
MemberEvidence OneTextEvidence(const ScanContext& context, FileView view,
                               bool ofName) {
  return [&context, view, ofName](const std::u16string& name,
                                  const std::u16string& datum) {
    return DescribeMissingFile(context.files, ofName ? name : datum, 0, view);
  };
}

}  // namespace

const std::array<RegistryLocation, 32> kStartupKeys = {{
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup"},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunEx"},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {kHkeyCurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
    {kHkeyCurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {kHkeyCurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {kHkeyCurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {kHkeyCurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup"},
    {kHkeyCurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {kHkeyCurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunEx"},
    {kHkeyCurrentUser, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunEx"},
    {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunEx"},
    {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
}};

int32_t ScanSharedDlls(const ScanContext& context, FindingList* list,
                       std::u16string_view keyPath) {
  const FileView view = FileViewOfKey(keyPath);
  return ScanValueList(
      context, list, kHkeyLocalMachine, keyPath, kSharedDllNameChars, false,
      [&context, view](const std::u16string& name, const std::u16string&,
                       int32_t&) { return Missing(context, name, view); },
      OneTextEvidence(context, view, true));
}

int32_t ScanSystemDrivers(const ScanContext& context, FindingList* list,
                          std::u16string_view keyPath) {
  const FileView view = FileViewOfKey(keyPath);
  return ScanValueList(
      context, list, kHkeyLocalMachine, keyPath, kNameChars, true,
      [&context, view](const std::u16string&, const std::u16string& datum,
                       int32_t&) { return Missing(context, datum, view); },
      OneTextEvidence(context, view, false));
}

int32_t ScanFonts(const ScanContext& context, FindingList* list,
                  std::u16string_view keyPath) {
  const FileView view = FileViewOfKey(keyPath);
  return ScanValueList(
      context, list, kHkeyLocalMachine, keyPath, kNameChars, true,
      [&context, view](const std::u16string&, const std::u16string& datum,
                       int32_t& endCode) {
        char16_t folder[kMaxPath + 1] = {};
        if (context.files.SHGetFolderPathW(kCsidlFonts, kShgfpTypeDefault,
                                           folder) != 0) {
          endCode = -1;
          return false;
        }
        const std::u16string inFonts =
            std::u16string(TextUpToZero(folder, kMaxPath)) + u"\\" + datum;
        return Missing(context, datum, view) &&
               ComposedMissing(context, inFonts, view);
      },
      [&context, view](const std::u16string&, const std::u16string& datum) {
        MissingFileEvidence evidence(context.files);
        evidence.AddFile(datum, 0, view);
        char16_t folder[kMaxPath + 1] = {};
        if (context.files.SHGetFolderPathW(kCsidlFonts, kShgfpTypeDefault,
                                           folder) == 0) {
          evidence.AddFile(
              std::u16string(TextUpToZero(folder, kMaxPath)) + u"\\" + datum,
              0, view);
        }
        return evidence.Sentence();
      });
}

int32_t ScanHelpFiles(const ScanContext& context, FindingList* list,
                      std::u16string_view keyPath) {
  const FileView view = FileViewOfKey(keyPath);
  return ScanValueList(
      context, list, kHkeyLocalMachine, keyPath, kNameChars, true,
      [&context, view](const std::u16string& name, const std::u16string& datum,
                       int32_t&) {
        // The folder alone never makes an entry valid: the third test
        // requires a file.
        return Missing(context, name, view) &&
               ComposedMissing(context, datum + u"\\" + name, view) &&
               Missing(context, datum, view, 1);
      },
      [&context, view](const std::u16string& name,
                       const std::u16string& datum) {
        MissingFileEvidence evidence(context.files);
        evidence.AddFile(name, 0, view);
        evidence.AddFile(datum + u"\\" + name, 0, view);
        evidence.AddFile(datum, 1, view);
        return evidence.Sentence();
      });
}

int32_t ScanStartupKey(const ScanContext& context, FindingList* list,
                       RegKey root, std::u16string_view keyPath) {
  const FileView view = FileViewOfKey(keyPath);
  return ScanValueList(
      context, list, root, keyPath, kNameChars, true,
      [&context, view](const std::u16string&, const std::u16string& datum,
                       int32_t&) { return Missing(context, datum, view); },
      OneTextEvidence(context, view, false));
}

int32_t ScanStartupFiles(const ScanContext& context, FindingList* list) {
  for (const auto& location : kStartupKeys) {
    ScanStartupKey(context, list, location.root, location.path);
  }
  return context.StopRequested() ? -1 : 0;
}

}  // namespace tavik
