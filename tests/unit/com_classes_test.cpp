// The class scanner on odd and hostile registry contents, and the three
// registration tests over each of the six places classes live. The ordinary
// cases run as the com_classes and com_user_classes scenarios.
#include <gtest/gtest.h>

#include <functional>

#include "base/text.h"
#include "scan_fixture.h"
#include "scanners/class_registration.h"
#include "scanners/com_classes.h"

namespace tavik {
namespace {

using testing::ScanFixture;

constexpr char16_t kClsid[] = u"SOFTWARE\\Classes\\CLSID";
constexpr char16_t kClasses[] = u"SOFTWARE\\Classes";
constexpr char16_t kAppIds[] = u"SOFTWARE\\Classes\\AppID";
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

// Forwards to the memory registry and lets a test act just before a key is
// opened: delete it, request a stop.
class HookedRegistry final : public Registry {
 public:
  explicit HookedRegistry(MemoryRegistry& inner) : inner_(inner) {}
  std::function<void(const std::u16string& subKey)> beforeOpen;
  size_t opens = 0;

  int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey, uint32_t access,
                        RegKey* result) override {
    ++opens;
    if (beforeOpen) beforeOpen(subKey);
    return inner_.RegOpenKeyExW(parent, subKey, access, result);
  }
  int32_t RegCreateKeyExW(RegKey parent, const char16_t* subKey,
                          uint32_t access, RegKey* result) override {
    return inner_.RegCreateKeyExW(parent, subKey, access, result);
  }
  int32_t RegCloseKey(RegKey key) override { return inner_.RegCloseKey(key); }
  int32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars) override {
    return inner_.RegEnumKeyExW(key, index, name, nameChars);
  }
  int32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars, uint32_t* type, uint8_t* data,
                        uint32_t* dataBytes) override {
    return inner_.RegEnumValueW(key, index, name, nameChars, type, data,
                                dataBytes);
  }
  int32_t RegQueryValueExW(RegKey key, const char16_t* valueName,
                           uint32_t* type, uint8_t* data,
                           uint32_t* dataBytes) override {
    return inner_.RegQueryValueExW(key, valueName, type, data, dataBytes);
  }
  int32_t RegQueryInfoKeyW(RegKey key, uint32_t* subKeys,
                           uint32_t* values) override {
    return inner_.RegQueryInfoKeyW(key, subKeys, values);
  }
  int32_t RegSetValueExW(RegKey key, const char16_t* valueName, uint32_t type,
                         const uint8_t* data, uint32_t dataBytes) override {
    return inner_.RegSetValueExW(key, valueName, type, data, dataBytes);
  }
  int32_t RegDeleteValueW(RegKey key, const char16_t* valueName) override {
    return inner_.RegDeleteValueW(key, valueName);
  }
  int32_t RegDeleteKeyW(RegKey parent, const char16_t* subKey) override {
    return inner_.RegDeleteKeyW(parent, subKey);
  }

 private:
  MemoryRegistry& inner_;
};

class ComClassesTest : public ::testing::Test {
 protected:
  void SetUp() override { f.files.AddFile(u"C:\\Apps\\good.dll"); }

  // A class under HKLM whose InprocServer32 names `server`.
  void AddClass(const std::u16string& name, const std::u16string& server) {
    f.registry.SetString(kHkeyLocalMachine,
                         std::u16string(kClsid) + u"\\" + name +
                             u"\\InprocServer32",
                         u"", server);
  }
  void ScanClassIds() {
    EXPECT_EQ(
        ScanClassIdContainer(f.context(), kHkeyLocalMachine, kClsid, &f.list), 0);
  }
  void TearDown() override { EXPECT_EQ(f.registry.OpenHandleCount(), 0u); }

  ScanFixture f;
};

TEST_F(ComClassesTest, LongestNamesAreExaminedInEveryContainer) {
  const std::u16string name255(255, u'C');
  const std::u16string name256(256, u'D');
  for (const auto& name : {name255, name256}) {
    AddClass(name, u"C:\\Gone\\x.dll");
    f.registry.CreateKey(kHkeyLocalMachine, std::u16string(kClasses) + u"\\" + name);
    f.registry.SetString(kHkeyLocalMachine, std::u16string(kAppIds) + u"\\" + name,
                         u"AppID", u"{unregistered}");
  }
  const std::u16string clsidPath = std::u16string(kClsid) + u"\\";
  const std::u16string classesPath = std::u16string(kClasses) + u"\\";
  const std::u16string appIdPath = std::u16string(kAppIds) + u"\\";
  ScanClassIds();
  EXPECT_EQ(ScanProgIdContainer(f.context(), kHkeyLocalMachine, kClasses, &f.list), 0);
  EXPECT_EQ(ScanAppIdContainer(f.context(), kHkeyLocalMachine, kAppIds, &f.list), 0);
  EXPECT_EQ(f.Describe(), (std::vector<std::u16string>{
                              K(clsidPath + name255), K(clsidPath + name256),
                              K(classesPath + name255), K(classesPath + name256),
                              K(appIdPath + name255), K(appIdPath + name256)}));
}

// Values near and past the work buffer: whatever cannot be read whole, or
// cannot be built into a key path, is not examined.
TEST_F(ComClassesTest, OverlongValuesAreNeverReported) {
  struct Case {
    const char* label;
    std::vector<uint8_t> data;
  };
  const std::u16string text33000(33000, u'X');
  const std::u16string text32990(32990, u'X');
  const std::vector<Case> cases = {
      {"33000 characters and a terminator", RawUtf16(text33000 + u'\0')},
      {"33000 characters filling the buffer", RawUtf16(text33000)},
      {"too long for the longest registration path", RawUtf16(text32990)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ScanFixture g;
    const std::u16string classKey = std::u16string(kClsid) + u"\\" + kGuid;
    // A class's AppID, a ProgID's CLSID, an extension's ProgID, an executable
    // key's AppID and an icon location, each too long.
    g.registry.SetValue(kHkeyLocalMachine, classKey, u"AppID", kRegSz, c.data);
    g.registry.SetValue(kHkeyLocalMachine, classKey + u"\\DefaultIcon", u"",
                        kRegSz, c.data);
    g.registry.SetValue(kHkeyLocalMachine, std::u16string(kClasses) + u"\\Tavik.Prog\\CLSID",
                        u"", kRegSz, c.data);
    g.registry.SetValue(kHkeyLocalMachine, std::u16string(kClasses) + u"\\.tvk", u"",
                        kRegSz, c.data);
    g.registry.SetValue(kHkeyLocalMachine, std::u16string(kAppIds) + u"\\tool.exe",
                        u"AppID", kRegSz, c.data);
    EXPECT_EQ(ScanClasses(g.context(), &g.list), 0);
    EXPECT_EQ(g.Describe(), std::vector<std::u16string>{});
    EXPECT_EQ(g.registry.OpenHandleCount(), 0u);
  }
}

// Server values are read as text whatever their type: numbers and binary
// data too short for one character are empty, and only the first string of
// a multi-string counts.
TEST_F(ComClassesTest, ServerValuesOfAnyTypeAreReadAsText) {
  struct Case {
    const char* label;
    uint32_t type;
    std::vector<uint8_t> data;
    bool reported;
  };
  const std::vector<Case> cases = {
      {"zero number", kRegDword, {0, 0, 0, 0}, false},
      {"one byte", kRegBinary, {0x43}, false},
      {"multi-string, first present",
       kRegMultiSz, RawUtf16(std::u16string(u"C:\\Apps\\good.dll\0C:\\Gone\\x.dll\0\0", 32)),
       false},
      {"expandable, present", kRegExpandSz,
       RawUtf16(std::u16string(u"%SystemDrive%\\Apps\\good.dll\0", 29)), false},
      {"no terminator, missing", kRegSz, RawUtf16(u"C:\\Gone\\x.dll"), true},
      {"odd byte count, missing", kRegSz, [] {
         auto bytes = RawUtf16(u"C:\\Gone\\x.dll");
         bytes.push_back(0x41);
         return bytes;
       }(), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ScanFixture g;
    g.files.AddFile(u"C:\\Apps\\good.dll");
    const std::u16string classKey = std::u16string(kClsid) + u"\\" + kGuid;
    g.registry.SetValue(kHkeyLocalMachine, classKey + u"\\InprocServer32", u"",
                        c.type, c.data);
    EXPECT_EQ(ScanClassIdContainer(g.context(), kHkeyLocalMachine, kClsid, &g.list), 0);
    EXPECT_EQ(g.list.findings.size(), c.reported ? 1u : 0u);
  }
}

TEST(ClassRegistrationTest, NothingToLookUpCountsAsRegistered) {
  ScanFixture f;
  const std::u16string tooLong(33000 - 35, u'X');
  EXPECT_EQ(ClassIsRegistered(f.context(), static_cast<const char16_t*>(nullptr)), 1);
  EXPECT_EQ(ClassIsRegistered(f.context(), u""), 1);
  EXPECT_EQ(AppIdIsRegistered(f.context(), u""), 1);
  EXPECT_EQ(ClassNameIsRegistered(f.context(), u""), 1);
  EXPECT_EQ(ClassIsRegistered(f.context(), tooLong), 1);
  EXPECT_EQ(ClassIsRegistered(f.context(), tooLong.substr(1)), 0);
  EXPECT_EQ(ClassIsRegistered(f.context(), kGuid), 0);
}

// Each test finds a registration in any one of its six places, and the
// identifiers are compared without regard to case.
TEST(ClassRegistrationTest, EachPlaceIsSearched) {
  struct Place {
    RegKey root;
    const char16_t* classesRoot;
  };
  const Place places[] = {
      {kHkeyClassesRoot, u""},
      {kHkeyLocalMachine, u"SOFTWARE\\Classes\\"},
      {kHkeyCurrentUser, u"SOFTWARE\\Classes\\"},
      {kHkeyClassesRoot, u"Wow6432Node\\"},
      {kHkeyLocalMachine, u"SOFTWARE\\Wow6432Node\\Classes\\"},
      {kHkeyCurrentUser, u"SOFTWARE\\Wow6432Node\\Classes\\"},
  };
  for (const auto flavor : {RegistryFlavor::kWindows, RegistryFlavor::kWine}) {
    for (const auto& place : places) {
      SCOPED_TRACE(Utf16ToUtf8(RootDisplayName(place.root) + u"\\" + place.classesRoot));
      ScanFixture f(flavor);
      const std::u16string root(place.classesRoot);
      f.registry.CreateKey(place.root, root + u"CLSID\\" + kGuid);
      f.registry.CreateKey(place.root, root + u"AppID\\" + kGuid);
      f.registry.CreateKey(place.root, root + u"Tavik.Document");
      EXPECT_EQ(ClassIsRegistered(f.context(), u"{5c000000-0000-4000-8000-000000000001}"), 1);
      EXPECT_EQ(AppIdIsRegistered(f.context(), kGuid), 1);
      EXPECT_EQ(ClassNameIsRegistered(f.context(), u"TAVIK.DOCUMENT"), 1);
      EXPECT_EQ(ClassIsRegistered(f.context(), u"{5C000000-0000-4000-8000-000000000002}"), 0);
      EXPECT_EQ(AppIdIsRegistered(f.context(), u"{5C000000-0000-4000-8000-000000000002}"), 0);
      EXPECT_EQ(ClassNameIsRegistered(f.context(), u"Tavik.Other"), 0);
      // A class is not an AppID, nor a class name.
      EXPECT_EQ(AppIdIsRegistered(f.context(), u"Tavik.Document"), 0);
      EXPECT_EQ(ClassNameIsRegistered(f.context(), kGuid), 0);
      EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
    }
  }
}

TEST_F(ComClassesTest, KeysTheUserCannotChangeAreNeverReported) {
  const std::u16string locked = u"{5C000000-0000-4000-8000-00000000000A}";
  AddClass(locked, u"C:\\Gone\\a.dll");
  AddClass(kGuid, u"C:\\Gone\\b.dll");
  f.registry.SetAccess(kHkeyLocalMachine, std::u16string(kClsid) + u"\\" + locked,
                       KeyAccess::kReadOnly);
  f.registry.CreateKey(kHkeyLocalMachine, std::u16string(kClasses) + u"\\Tavik.Locked");
  f.registry.SetAccess(kHkeyLocalMachine, std::u16string(kClasses) + u"\\Tavik.Locked",
                       KeyAccess::kReadOnly);
  ScanClassIds();
  EXPECT_EQ(ScanProgIdContainer(f.context(), kHkeyLocalMachine, kClasses, &f.list), 0);
  EXPECT_EQ(f.Describe(), std::vector<std::u16string>{
                              K(std::u16string(kClsid) + u"\\" + kGuid)});
}

// Keys that cannot be opened or read, or vanish between the listing and
// their examination, are skipped and the pass goes on.
TEST_F(ComClassesTest, UnreadableAndVanishingKeysAreSkipped) {
  const std::u16string clsid(kClsid);
  const std::u16string names[] = {
      u"{5C000000-0000-4000-8000-000000000011}",  // class key does not open
      u"{5C000000-0000-4000-8000-000000000012}",  // server key does not open
      u"{5C000000-0000-4000-8000-000000000013}",  // server value unreadable
      u"{5C000000-0000-4000-8000-000000000014}",  // deleted once listed
      u"{5C000000-0000-4000-8000-000000000015}",  // icon key deleted once read
      u"{5C000000-0000-4000-8000-000000000016}",  // reported
  };
  for (const auto& name : names) AddClass(name, u"C:\\Gone\\x.dll");
  f.registry.SetString(kHkeyLocalMachine, clsid + u"\\" + names[4] + u"\\DefaultIcon",
                       u"", u"C:\\Gone\\x.ico");
  f.registry.InjectOpenFailure(kHkeyLocalMachine, clsid + u"\\" + names[0], 5);
  f.registry.InjectOpenFailure(kHkeyLocalMachine,
                               clsid + u"\\" + names[1] + u"\\InprocServer32", 2);
  f.registry.InjectQueryFailure(kHkeyLocalMachine,
                                clsid + u"\\" + names[2] + u"\\InprocServer32", u"",
                                1015);
  HookedRegistry hooked(f.registry);
  std::u16string examined;
  hooked.beforeOpen = [&](const std::u16string& subKey) {
    if (!subKey.empty() && subKey.front() == u'{') examined = subKey;
    if (subKey == names[3]) f.registry.DeleteTree(kHkeyLocalMachine, clsid + u"\\" + names[3]);
    // The class goes away after its icon was judged: its servers are gone.
    if (examined == names[4] && subKey == u"InprocServer32") {
      f.registry.DeleteTree(kHkeyLocalMachine, clsid + u"\\" + names[4]);
    }
  };
  ScanContext context{hooked, f.files, f.stop, &f.exclude};
  EXPECT_EQ(ScanClassIdContainer(context, kHkeyLocalMachine, kClsid, &f.list), 0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{K(clsid + u"\\" + names[4] + u"\\DefaultIcon"),
                                         K(clsid + u"\\" + names[5])}));
}

TEST_F(ComClassesTest, ContainersThatCannotBeListedContributeNothing) {
  AddClass(kGuid, u"C:\\Gone\\x.dll");
  f.registry.CreateKey(kHkeyLocalMachine, std::u16string(kClsid) + u"\\{second}");
  f.registry.InjectEnumKeyFailure(kHkeyLocalMachine, kClsid, 1, 1011);
  f.registry.SetString(kHkeyLocalMachine, std::u16string(kAppIds) + u"\\tool.exe",
                       u"AppID", u"{unregistered}");
  f.registry.InjectOpenFailure(kHkeyLocalMachine, kAppIds, 5);
  EXPECT_EQ(ScanClassIdContainer(f.context(), kHkeyLocalMachine, kClsid, &f.list), -1);
  EXPECT_EQ(ScanAppIdContainer(f.context(), kHkeyLocalMachine, kAppIds, &f.list), -1);
  EXPECT_EQ(ScanProgIdContainer(f.context(), kHkeyCurrentUser, u"Software\\Missing",
                                &f.list), -1);
  EXPECT_TRUE(f.list.findings.empty());
}

// A stop ends the running pass before its next name; every later pass lists
// its container and ends at its first name.
TEST_F(ComClassesTest, StopEndsEveryPass) {
  const std::u16string second = u"{5C000000-0000-4000-8000-000000000002}";
  AddClass(kGuid, u"C:\\Gone\\a.dll");
  AddClass(second, u"C:\\Gone\\b.dll");
  f.registry.CreateKey(kHkeyLocalMachine, std::u16string(kClasses) + u"\\Tavik.Empty");
  f.registry.SetString(kHkeyLocalMachine, std::u16string(kAppIds) + u"\\tool.exe",
                       u"AppID", u"{unregistered}");
  HookedRegistry hooked(f.registry);
  hooked.beforeOpen = [&](const std::u16string& subKey) {
    if (subKey == kGuid) f.stop = 1;
  };
  ScanContext context{hooked, f.files, f.stop, &f.exclude};
  EXPECT_EQ(ScanClasses(context, &f.list), 0);
  // Only the name being examined when the stop came is finished.
  EXPECT_EQ(f.Describe(), std::vector<std::u16string>{
                              u"K|HKEY_CLASSES_ROOT|CLSID\\" + std::u16string(kGuid) + u"|"});
}

}  // namespace
}  // namespace tavik
