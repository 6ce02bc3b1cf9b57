// Bad input for the shell and browser extension scanners that the scenarios
// cannot carry: names beyond the registry's limits, keys that vanish or
// refuse access mid-scan, data too long for the buffers, stop requests.
#include <gtest/gtest.h>

#include <functional>

#include "base/text.h"
#include "scan_fixture.h"
#include "scanners/class_registration.h"
#include "scanners/shell_extensions.h"

namespace tavik {
namespace {

using testing::ScanFixture;
using Rows = std::vector<std::u16string>;

constexpr char16_t kBho[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\Browser Helper "
    u"Objects";
constexpr char16_t kToolbar[] = u"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
constexpr char16_t kExtensions[] =
    u"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
constexpr char16_t kFileExts[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
constexpr char16_t kKnown[] = u"{00000000-0000-0000-0000-00000000000A}";

std::u16string Join(std::u16string_view a, std::u16string_view b) {
  return std::u16string(a) + u"\\" + std::u16string(b);
}

TEST(ClassIsRegistered, EmptyOrUnjoinableNamesCountAsRegistered) {
  ScanFixture f;
  f.registry.CreateKey(kHkeyCurrentUser,
                       Join(u"Software\\Wow6432Node\\Classes\\CLSID", kKnown));
  const auto context = f.context();
  EXPECT_EQ(ClassIsRegistered(context, ToLowerAscii(kKnown)), 1);
  EXPECT_EQ(ClassIsRegistered(context, u"{unknown}"), 0);
  EXPECT_EQ(ClassIsRegistered(context, u""), 1);
  // Fits after "CLSID\" but not after the longer prefixes: never reported.
  EXPECT_EQ(ClassIsRegistered(context,
                              std::u16string(kTextBufferChars - 7, u'x')),
            1);
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST(ShellExtensions, ContainersSurviveOddNamesAndKeysThatChangeUnderfoot) {
  ScanFixture f;
  const std::u16string name255(255, u'b');
  const std::u16string name256 = u"." + std::u16string(255, u'c');
  for (const auto& name : {std::u16string(u".vanished"),
                           std::u16string(u".readonly"), name255, name256}) {
    f.registry.CreateKey(kHkeyLocalMachine, Join(kBho, name));
    f.registry.CreateKey(kHkeyCurrentUser, Join(kFileExts, name));
  }
  for (const auto root : {kHkeyLocalMachine, kHkeyCurrentUser}) {
    const auto container = root == kHkeyLocalMachine ? kBho : kFileExts;
    f.registry.InjectOpenFailure(root, Join(container, u".vanished"),
                                 kErrorFileNotFound);
    f.registry.SetAccess(root, Join(container, u".readonly"),
                         KeyAccess::kReadOnly);
  }
  EXPECT_EQ(ScanBrowserHelperObjects(f.context(), &f.list, kBho), 0);
  EXPECT_EQ(ScanFileExts(f.context(), &f.list, kHkeyCurrentUser, kFileExts), 0);
  const std::u16string bho = u"K|HKEY_LOCAL_MACHINE|" + std::u16string(kBho);
  const std::u16string exts = u"K|HKEY_CURRENT_USER|" + std::u16string(kFileExts);
  EXPECT_EQ(f.Describe(),
            (Rows{bho + u"\\" + name256 + u"|", bho + u"\\" + name255 + u"|",
                  exts + u"\\" + name256 + u"|"}));

  // A stop request ends each scanner before its first entry.
  f.list.findings.clear();
  f.registry.SetString(kHkeyLocalMachine, kToolbar, u"{Gone}", u"");
  f.stop = 1;
  EXPECT_EQ(ScanShellExtensions(f.context(), &f.list), -1);
  EXPECT_EQ(ScanToolbars(f.context(), &f.list, kToolbar), -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST(ShellExtensions, ToolbarEnumerationErrorKeepsEarlierFindings) {
  ScanFixture f;
  f.registry.SetString(kHkeyLocalMachine, kToolbar, u"{Gone}", u"");
  f.registry.SetString(kHkeyLocalMachine, kToolbar, u"{Later}", u"");
  f.registry.InjectEnumValueFailure(kHkeyLocalMachine, kToolbar, 1,
                                    kErrorKeyDeleted);
  EXPECT_EQ(ScanToolbars(f.context(), &f.list, kToolbar), -1);
  EXPECT_EQ(f.Describe(),
            Rows{u"V|HKEY_LOCAL_MACHINE|" + std::u16string(kToolbar) + u"|{Gone}"});
}

TEST(ShellExtensions, ExtensionValuesAtTheBufferLimit) {
  struct Case {
    const char16_t* value;
    std::u16string datum;
    bool reported;
  };
  const Case cases[] = {
      // 66002 bytes with the terminator: does not fit, not judged.
      {u"Exec", std::u16string(33000, u'z'), false},
      // 66000 bytes with the terminator: read and judged.
      {u"Script", u"C:\\Gone\\" + std::u16string(32991, u'z'), true},
  };
  for (const auto& c : cases) {
    ScanFixture f;
    const std::u16string entry = Join(kExtensions, u"{Entry}");
    f.registry.SetString(kHkeyLocalMachine, entry, c.value, c.datum);
    EXPECT_EQ(ScanBrowserExtensions(f.context(), &f.list, kExtensions), 0);
    EXPECT_EQ(f.list.findings.size(), c.reported ? 1u : 0u)
        << Utf16ToUtf8(c.value);
  }
}

TEST(ShellExtensions, FileExtensionListsThatCannotBeRead) {
  struct Case {
    const char* what;
    std::function<void(MemoryRegistry&, const std::u16string&)> setUp;
    int32_t inUse;
  };
  const Case cases[] = {
      {"a user choice that refuses reading is no choice",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetAccess(kHkeyCurrentUser, Join(key, u"UserChoice"), KeyAccess::kNone);
       },
       0},
      {"an enumeration error ends the program identifiers",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetString(kHkeyCurrentUser, Join(key, u"OpenWithProgids"), u"a", u"");
         r.InjectEnumValueFailure(kHkeyCurrentUser, Join(key, u"OpenWithProgids"),
                                  0, kErrorKeyDeleted);
       },
       0},
      {"a program entry too long to read still lists something",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetString(kHkeyCurrentUser, Join(key, u"OpenWithList"), u"a",
                     std::u16string(16500, u'p'));
       },
       1},
  };
  for (const auto& c : cases) {
    ScanFixture f;
    const std::u16string extension = Join(kFileExts, u".txt");
    f.registry.CreateKey(kHkeyCurrentUser, extension);
    c.setUp(f.registry, extension);
    RegKey key = 0;
    ASSERT_EQ(f.registry.RegOpenKeyExW(kHkeyCurrentUser, extension.c_str(),
                                       kKeyRead, &key),
              kErrorSuccess);
    EXPECT_EQ(FileExtInUse(f.context(), key), c.inUse) << c.what;
    f.registry.RegCloseKey(key);
    EXPECT_EQ(f.registry.OpenHandleCount(), 0u) << c.what;
  }
}

}  // namespace
}  // namespace tavik
