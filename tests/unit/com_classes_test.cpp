// The class scanner on hostile registry contents, and the three registration
// tests over each of the six places classes live. The ordinary cases run as
// the com_classes and com_user_classes scenarios.
#include <gtest/gtest.h>

#include "base/text.h"
#include "scan_fixture.h"
#include "scanners/class_registration.h"
#include "scanners/com_classes.h"

namespace tavik {
namespace {

using testing::ScanFixture;

constexpr char16_t kClsid[] = u"SOFTWARE\\Classes\\CLSID\\";
constexpr char16_t kClasses[] = u"SOFTWARE\\Classes\\";
constexpr char16_t kAppIds[] = u"SOFTWARE\\Classes\\AppID\\";
constexpr char16_t kGuid[] = u"{5C000000-0000-4000-8000-000000000001}";

std::u16string K(std::u16string_view path) {
  return u"K|HKEY_LOCAL_MACHINE|" + std::u16string(path) + u"|";
}

std::vector<uint8_t> RawUtf16(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

// Scans the machine's 64-bit containers alone and checks for leaked handles.
std::vector<std::u16string> ScanMachineClasses(ScanFixture& f) {
  const ScanContext context = f.context();
  ScanClassIdContainer(context, kHkeyLocalMachine, u"SOFTWARE\\Classes\\CLSID", &f.list);
  ScanProgIdContainer(context, kHkeyLocalMachine, u"SOFTWARE\\Classes", &f.list);
  ScanAppIdContainer(context, kHkeyLocalMachine, u"SOFTWARE\\Classes\\AppID", &f.list);
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
  return f.Describe();
}

TEST(ComClassesTest, NamesOf255And256CharactersInEveryContainer) {
  ScanFixture f;
  std::vector<std::u16string> expected;
  for (const auto& name : {std::u16string(255, u'C'), std::u16string(256, u'D')}) {
    f.registry.SetString(kHkeyLocalMachine, kClsid + name + u"\\InprocServer32",
                         u"", u"C:\\Gone\\x.dll");
    f.registry.CreateKey(kHkeyLocalMachine, kClasses + name);
    f.registry.SetString(kHkeyLocalMachine, kAppIds + name, u"AppID", u"{gone}");
    expected.push_back(K(kClsid + name));
  }
  for (const auto* container : {kClasses, kAppIds}) {
    expected.push_back(K(container + std::u16string(255, u'C')));
    expected.push_back(K(container + std::u16string(256, u'D')));
  }
  EXPECT_EQ(ScanMachineClasses(f), expected);
}

// Values near and past the work buffer: what cannot be read whole, or built
// into a key path, is not examined.
TEST(ComClassesTest, OverlongValuesAreNeverReported) {
  const std::u16string x33000(33000, u'X');
  const std::vector<std::vector<uint8_t>> values = {
      RawUtf16(x33000 + u'\0'),         // more than the buffer holds
      RawUtf16(x33000),                 // fills it, no room for a terminator
      RawUtf16(x33000.substr(0, 32990)),  // too long behind the longest prefix
  };
  for (const auto& data : values) {
    ScanFixture f;
    const std::u16string classKey = kClsid + std::u16string(kGuid);
    f.registry.SetValue(kHkeyLocalMachine, classKey, u"AppID", kRegSz, data);
    f.registry.SetValue(kHkeyLocalMachine, classKey + u"\\DefaultIcon", u"", kRegSz, data);
    f.registry.SetValue(kHkeyLocalMachine, kClasses + std::u16string(u"Tavik.Prog\\CLSID"),
                        u"", kRegSz, data);
    f.registry.SetValue(kHkeyLocalMachine, kClasses + std::u16string(u".tvk"), u"",
                        kRegSz, data);
    f.registry.SetValue(kHkeyLocalMachine, kAppIds + std::u16string(u"tool.exe"),
                        u"AppID", kRegSz, data);
    EXPECT_EQ(ScanMachineClasses(f), std::vector<std::u16string>{}) << data.size();
  }
}

// Server values are read as text whatever their type.
TEST(ComClassesTest, ServerValuesOfAnyTypeAreReadAsText) {
  struct Case {
    uint32_t type;
    std::vector<uint8_t> data;
    bool reported;
  };
  auto oddBytes = RawUtf16(u"C:\\Gone\\x.dll");
  oddBytes.push_back(0x41);
  const Case cases[] = {
      {kRegDword, {0, 0, 0, 0}, false},
      // One byte is the character "C", which names no file.
      {kRegBinary, {0x43}, true},
      {kRegMultiSz, RawUtf16(std::u16string(u"C:\\Apps\\good.dll\0C:\\Gone\\x.dll\0\0", 32)),
       false},
      {kRegSz, RawUtf16(u"C:\\Gone\\x.dll"), true},
      {kRegSz, oddBytes, true},
  };
  for (const auto& c : cases) {
    ScanFixture f;
    f.files.AddFile(u"C:\\Apps\\good.dll");
    f.registry.SetValue(kHkeyLocalMachine, kClsid + std::u16string(kGuid) + u"\\InprocServer32",
                        u"", c.type, c.data);
    EXPECT_EQ(ScanMachineClasses(f).size(), c.reported ? 1u : 0u) << c.data.size();
  }
}

// Keys the user cannot change, keys that cannot be opened or read (as when
// they vanish between the listing and their examination) are skipped, and the
// pass goes on.
TEST(ComClassesTest, LockedAndUnreadableKeysAreSkipped) {
  ScanFixture f;
  const std::u16string clsid(kClsid);
  const std::u16string names[] = {
      u"{5C000000-0000-4000-8000-000000000011}",  // read-only
      u"{5C000000-0000-4000-8000-000000000012}",  // class key gone
      u"{5C000000-0000-4000-8000-000000000013}",  // server key gone
      u"{5C000000-0000-4000-8000-000000000014}",  // server value unreadable
      u"{5C000000-0000-4000-8000-000000000015}",  // reported
  };
  for (const auto& name : names) {
    f.registry.SetString(kHkeyLocalMachine, clsid + name + u"\\InprocServer32", u"",
                         u"C:\\Gone\\x.dll");
  }
  f.registry.SetAccess(kHkeyLocalMachine, clsid + names[0], KeyAccess::kReadOnly);
  f.registry.InjectOpenFailure(kHkeyLocalMachine, clsid + names[1], kErrorFileNotFound);
  f.registry.InjectOpenFailure(kHkeyLocalMachine, clsid + names[2] + u"\\InprocServer32",
                               kErrorFileNotFound);
  f.registry.InjectQueryFailure(kHkeyLocalMachine, clsid + names[3] + u"\\InprocServer32",
                                u"", 1015);
  f.registry.CreateKey(kHkeyLocalMachine, kClasses + std::u16string(u"Tavik.Locked"));
  f.registry.SetAccess(kHkeyLocalMachine, kClasses + std::u16string(u"Tavik.Locked"),
                       KeyAccess::kReadOnly);
  f.registry.SetString(kHkeyLocalMachine, kAppIds + std::u16string(u"tool.exe"), u"AppID",
                       u"{gone}");
  f.registry.InjectEnumKeyFailure(kHkeyLocalMachine, u"SOFTWARE\\Classes\\AppID", 0, 1011);
  EXPECT_EQ(ScanMachineClasses(f), std::vector<std::u16string>{K(clsid + names[4])});
}

TEST(ComClassesTest, StopEndsEveryPassBeforeItsFirstName) {
  ScanFixture f;
  f.registry.SetString(kHkeyLocalMachine, kClsid + std::u16string(kGuid) + u"\\InprocServer32",
                       u"", u"C:\\Gone\\x.dll");
  f.stop = 1;
  EXPECT_EQ(ScanClassIdContainer(f.context(), kHkeyClassesRoot, u"CLSID", &f.list), -1);
  EXPECT_EQ(ScanClasses(f.context(), &f.list), 0);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST(ClassRegistrationTest, NothingToLookUpCountsAsRegistered) {
  ScanFixture f;
  // "Software\Wow6432Node\Classes\CLSID\" is 35 characters long.
  const std::u16string tooLong(33000 - 35, u'X');
  EXPECT_EQ(ClassIsRegistered(f.context(), static_cast<const char16_t*>(nullptr)), 1);
  EXPECT_EQ(ClassIsRegistered(f.context(), u""), 1);
  EXPECT_EQ(AppIdIsRegistered(f.context(), u""), 1);
  EXPECT_EQ(ClassNameIsRegistered(f.context(), u""), 1);
  EXPECT_EQ(ClassIsRegistered(f.context(), tooLong), 1);
  EXPECT_EQ(AppIdIsRegistered(f.context(), tooLong), 1);
  EXPECT_EQ(ClassIsRegistered(f.context(), tooLong.substr(1)), 0);
}

// Each test finds a registration in any one of its six places, comparing
// names without regard to case, in both registry flavors.
TEST(ClassRegistrationTest, EachPlaceIsSearched) {
  const std::pair<RegKey, const char16_t*> places[] = {
      {kHkeyClassesRoot, u""},
      {kHkeyLocalMachine, u"SOFTWARE\\Classes\\"},
      {kHkeyCurrentUser, u"SOFTWARE\\Classes\\"},
      {kHkeyClassesRoot, u"Wow6432Node\\"},
      {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Classes\\"},
      {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Classes\\"},
  };
  const char16_t other[] = u"{5C000000-0000-4000-8000-000000000002}";
  for (const auto flavor : {RegistryFlavor::kWindows, RegistryFlavor::kWine}) {
    for (const auto& [root, prefix] : places) {
      SCOPED_TRACE(Utf16ToUtf8(RootDisplayName(root) + u"\\" + prefix));
      ScanFixture f(flavor);
      f.registry.CreateKey(root, prefix + std::u16string(u"CLSID\\") + kGuid);
      f.registry.CreateKey(root, prefix + std::u16string(u"AppID\\") + kGuid);
      f.registry.CreateKey(root, prefix + std::u16string(u"Tavik.Document"));
      const ScanContext c = f.context();
      EXPECT_EQ(ClassIsRegistered(c, u"{5c000000-0000-4000-8000-000000000001}"), 1);
      EXPECT_EQ(AppIdIsRegistered(c, kGuid), 1);
      EXPECT_EQ(ClassNameIsRegistered(c, u"TAVIK.DOCUMENT"), 1);
      EXPECT_EQ(ClassIsRegistered(c, other) + AppIdIsRegistered(c, other) +
                    ClassNameIsRegistered(c, u"Tavik.Other") +
                    AppIdIsRegistered(c, u"Tavik.Document") +
                    ClassNameIsRegistered(c, kGuid),
                0);
      EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
    }
  }
}

}  // namespace
}  // namespace tavik
