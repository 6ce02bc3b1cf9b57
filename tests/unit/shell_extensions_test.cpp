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

TEST(ClassIsRegistered, LooksInTheSixLocationsOfEachFlavor) {
  struct Case {
    RegKey root;
    std::u16string container;
    int32_t windows;
    int32_t wine;
  };
  const Case cases[] = {
      {kHkeyLocalMachine, u"Software\\Classes\\CLSID", 1, 1},
      {kHkeyCurrentUser, u"Software\\Classes\\CLSID", 1, 1},
      {kHkeyLocalMachine, u"Software\\Classes\\Wow6432Node\\CLSID", 1, 1},
      {kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes\\CLSID", 1, 1},
      {kHkeyCurrentUser, u"Software\\Wow6432Node\\Classes\\CLSID", 1, 1},
      // Reached only through the merged classes root, which under Wine shows
      // machine classes alone.
      {kHkeyCurrentUser, u"Software\\Classes\\Wow6432Node\\CLSID", 1, 0},
      // A class key elsewhere registers nothing.
      {kHkeyLocalMachine, u"Software\\CLSID", 0, 0},
  };
  for (const auto& c : cases) {
    for (const auto flavor : {RegistryFlavor::kWindows, RegistryFlavor::kWine}) {
      ScanFixture f(flavor);
      f.registry.CreateKey(c.root, Join(c.container, kKnown));
      const auto context = f.context();
      EXPECT_EQ(ClassIsRegistered(context, kKnown),
                flavor == RegistryFlavor::kWindows ? c.windows : c.wine)
          << Utf16ToUtf8(c.container);
      // Names are compared without regard to case.
      EXPECT_EQ(ClassIsRegistered(context, ToLowerAscii(kKnown)),
                ClassIsRegistered(context, kKnown));
      EXPECT_EQ(ClassIsRegistered(context, u"{unknown}"), 0);
      EXPECT_EQ(ClassIsRegistered(context, u""), 1);
      // Too long to be joined to a location in a work buffer: not judged.
      EXPECT_EQ(ClassIsRegistered(context,
                                  std::u16string(kTextBufferChars - 7, u'x')),
                1);
      EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
    }
  }
}

class ShellExtensionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.registry.CreateKey(kHkeyLocalMachine,
                         Join(u"Software\\Classes\\CLSID", kKnown));
    f.files.AddFile(u"C:\\Tools\\ext.exe");
    f.files.AddFile(u"C:\\Tools\\ext.ico");
  }
  ScanFixture f;
};

TEST_F(ShellExtensionsTest, SubkeyContainersSurviveOddNamesAndVanishingKeys) {
  const std::u16string name255(255, u'b');
  const std::u16string name256(256, u'c');
  for (const auto& name : {std::u16string(kKnown), std::u16string(u"*"),
                           name255, name256, std::u16string(u"{Vanished}"),
                           std::u16string(u"{ReadOnly}")}) {
    f.registry.CreateKey(kHkeyLocalMachine, Join(kBho, name));
  }
  f.registry.InjectOpenFailure(kHkeyLocalMachine, Join(kBho, u"{Vanished}"),
                               kErrorFileNotFound);
  f.registry.SetAccess(kHkeyLocalMachine, Join(kBho, u"{ReadOnly}"),
                       KeyAccess::kReadOnly);
  EXPECT_EQ(ScanBrowserHelperObjects(f.context(), &f.list, kBho), 0);
  const std::u16string prefix = u"K|HKEY_LOCAL_MACHINE|" + std::u16string(kBho);
  EXPECT_EQ(f.Describe(), (Rows{prefix + u"\\*|", prefix + u"\\" + name255 + u"|",
                                prefix + u"\\" + name256 + u"|"}));

  // The same names as browser extensions: each is opened and judged.
  for (const auto& name : {name255, name256}) {
    f.registry.SetString(kHkeyLocalMachine, Join(kExtensions, name), u"Exec",
                         u"C:\\Gone\\ext.exe");
  }
  f.list.findings.clear();
  EXPECT_EQ(ScanBrowserExtensions(f.context(), &f.list, kExtensions), 0);
  EXPECT_EQ(f.list.findings.size(), 2u);
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(ShellExtensionsTest, ToolbarValuesAreClassIdentifiers) {
  f.registry.SetString(kHkeyLocalMachine, kToolbar, u"", u"default");
  f.registry.SetString(kHkeyLocalMachine, kToolbar, kKnown, u"");
  f.registry.SetDword(kHkeyLocalMachine, kToolbar, u"{Gone}", 1);
  f.registry.SetValue(kHkeyLocalMachine, kToolbar, u"{Odd}", kRegBinary, {7});
  f.registry.SetString(kHkeyLocalMachine, kToolbar, u"{Later}", u"");
  f.registry.InjectEnumValueFailure(kHkeyLocalMachine, kToolbar, 4, 1011);
  EXPECT_EQ(ScanToolbars(f.context(), &f.list, kToolbar), -1);
  const std::u16string prefix = u"V|HKEY_LOCAL_MACHINE|" + std::u16string(kToolbar);
  EXPECT_EQ(f.Describe(), (Rows{prefix + u"|{Gone}", prefix + u"|{Odd}"}));

  f.list.findings.clear();
  f.stop = 1;
  EXPECT_EQ(ScanToolbars(f.context(), &f.list, kToolbar), -1);
  EXPECT_EQ(ScanBrowserHelperObjects(f.context(), &f.list, kBho), -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(ShellExtensionsTest, ExtensionEntryValuesAreJudgedOneByOne) {
  struct Case {
    const char* what;
    std::function<void(MemoryRegistry&, const std::u16string&)> setUp;
    Rows invalidValues;
  };
  const auto text = [](const char16_t* name, std::u16string datum) {
    return [=](MemoryRegistry& r, const std::u16string& key) {
      r.SetString(kHkeyLocalMachine, key, name, datum);
    };
  };
  const Case cases[] = {
      {"every value missing its file, in fixed order",
       [](MemoryRegistry& r, const std::u16string& key) {
         // Created in another order: the report order is fixed.
         r.SetString(kHkeyLocalMachine, key, u"Script", u"C:\\Gone\\s.js");
         r.SetString(kHkeyLocalMachine, key, u"Exec", u"C:\\Gone\\x.exe");
         r.SetString(kHkeyLocalMachine, key, u"ClsidExtension", u"");
         r.SetString(kHkeyLocalMachine, key, u"Icon", u"C:\\Gone\\i.ico,1");
         r.SetString(kHkeyLocalMachine, key, u"HotIcon", u"\"C:\\Gone\\h.ico\",2");
       },
       {u"HotIcon", u"Icon", u"ClsidExtension", u"Exec", u"Script"}},
      {"present files and placeholders",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetString(kHkeyLocalMachine, key, u"HotIcon", u"C:\\Tools\\ext.ico,0");
         r.SetString(kHkeyLocalMachine, key, u"Icon", u"@%1");
         r.SetString(kHkeyLocalMachine, key, u"ClsidExtension", u"{whatever}");
         r.SetString(kHkeyLocalMachine, key, u"Exec",
                     u"\"C:\\Tools\\ext.exe\" /go", kRegExpandSz);
         r.SetString(kHkeyLocalMachine, key, u"Script", u"");
       },
       {}},
      {"empty class identifier stored as a number",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetDword(kHkeyLocalMachine, key, u"ClsidExtension", 0);
       },
       {u"ClsidExtension"}},
      {"class identifier of one odd byte reads as empty",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetValue(kHkeyLocalMachine, key, u"ClsidExtension", kRegBinary, {'{'});
       },
       {u"ClsidExtension"}},
      {"a number whose low word is zero reads as an empty program",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetDword(kHkeyLocalMachine, key, u"Exec", 0x00410000);
       },
       {}},
      {"text without a terminator is cut at its length",
       [](MemoryRegistry& r, const std::u16string& key) {
         const std::u16string path = u"C:\\Tools\\ext.exe";
         std::vector<uint8_t> bytes;
         for (char16_t c : path) {
           bytes.push_back(static_cast<uint8_t>(c));
           bytes.push_back(static_cast<uint8_t>(c >> 8));
         }
         r.SetValue(kHkeyLocalMachine, key, u"Exec", kRegSz, bytes);
       },
       {}},
      {"a datum over 66000 bytes is not judged",
       text(u"Exec", std::u16string(33000, u'z')),
       {}},
      {"exactly 66000 bytes fill the buffer and are judged",
       text(u"Script", u"C:\\Gone\\" + std::u16string(32991, u'z')),
       {u"Script"}},
  };
  for (const auto& c : cases) {
    ScanFixture g;
    const std::u16string entry = Join(kExtensions, u"{Entry}");
    g.registry.CreateKey(kHkeyLocalMachine, entry);
    g.files.AddFile(u"C:\\Tools\\ext.exe");
    g.files.AddFile(u"C:\\Tools\\ext.ico");
    c.setUp(g.registry, entry);
    EXPECT_EQ(ScanBrowserExtensions(g.context(), &g.list, kExtensions), 0);
    Rows rows;
    for (const auto& value : c.invalidValues) {
      rows.push_back(u"V|HKEY_LOCAL_MACHINE|" + entry + u"|" + value);
    }
    EXPECT_EQ(g.Describe(), rows) << c.what;
    EXPECT_EQ(g.registry.OpenHandleCount(), 0u);
  }
}

TEST_F(ShellExtensionsTest, FileExtensionInUse) {
  struct Case {
    const char* what;
    std::function<void(MemoryRegistry&, const std::u16string&)> setUp;
    int32_t inUse;
  };
  const auto value = [](const char16_t* sub, const char16_t* name,
                        std::u16string datum) {
    return [=](MemoryRegistry& r, const std::u16string& key) {
      r.SetString(kHkeyCurrentUser, Join(key, sub), name, datum);
    };
  };
  const Case cases[] = {
      {"nothing at all", [](MemoryRegistry&, const std::u16string&) {}, 0},
      {"a user choice, even an empty one",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.CreateKey(kHkeyCurrentUser, Join(key, u"UserChoice"));
       },
       1},
      {"a user choice that cannot be read",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetAccess(kHkeyCurrentUser, Join(key, u"UserChoice"), KeyAccess::kNone);
       },
       0},
      {"program identifiers: only the default value",
       value(u"OpenWithProgids", u"", u"txtfile"), 0},
      {"program identifiers: a named one, whatever its datum",
       value(u"OpenWithProgids", u"txtfile", u""), 1},
      {"an unreadable first program identifier ends the list",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetString(kHkeyCurrentUser, Join(key, u"OpenWithProgids"), u"a", u"");
         r.InjectEnumValueFailure(kHkeyCurrentUser, Join(key, u"OpenWithProgids"),
                                  0, kErrorKeyDeleted);
       },
       0},
      {"program list: empty data, one stored as a zero number",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetString(kHkeyCurrentUser, Join(key, u"OpenWithList"), u"a", u"");
         r.SetDword(kHkeyCurrentUser, Join(key, u"OpenWithList"), u"b", 0);
         r.SetValue(kHkeyCurrentUser, Join(key, u"OpenWithList"), u"c", kRegBinary,
                    {'x'});
       },
       0},
      {"program list: a program under any name",
       value(u"OpenWithList", u"", u"notepad.exe"), 1},
      {"program list: a non-zero number reads as text",
       [](MemoryRegistry& r, const std::u16string& key) {
         r.SetDword(kHkeyCurrentUser, Join(key, u"OpenWithList"), u"a", 0x61);
       },
       1},
      {"program list: a datum too long to read still lists something",
       value(u"OpenWithList", u"a", std::u16string(16500, u'p')), 1},
  };
  for (const auto& c : cases) {
    ScanFixture g;
    const std::u16string extension = Join(kFileExts, u".txt");
    g.registry.CreateKey(kHkeyCurrentUser, extension);
    c.setUp(g.registry, extension);
    RegKey key = 0;
    ASSERT_EQ(g.registry.RegOpenKeyExW(kHkeyCurrentUser, extension.c_str(),
                                       kKeyRead, &key),
              kErrorSuccess);
    EXPECT_EQ(FileExtInUse(g.context(), key), c.inUse) << c.what;
    g.registry.RegCloseKey(key);
    EXPECT_EQ(g.registry.OpenHandleCount(), 0u) << c.what;
  }
}

TEST_F(ShellExtensionsTest, FileExtsJudgeOnlyExtensionsTheUserCanDelete) {
  const std::u16string dot256 = u"." + std::u16string(255, u'e');
  for (const auto& name : {std::u16string(u".gone"), std::u16string(u"gone"),
                           std::u16string(u".readonly"), std::u16string(u".vanished"),
                           dot256}) {
    f.registry.CreateKey(kHkeyLocalMachine, Join(kFileExts, name));
    f.registry.CreateKey(kHkeyCurrentUser, Join(kFileExts, name));
  }
  f.registry.SetAccess(kHkeyCurrentUser, Join(kFileExts, u".readonly"),
                       KeyAccess::kReadOnly);
  f.registry.InjectOpenFailure(kHkeyCurrentUser, Join(kFileExts, u".vanished"),
                               kErrorFileNotFound);
  EXPECT_EQ(ScanFileExts(f.context(), &f.list, kHkeyCurrentUser, kFileExts), 0);
  EXPECT_EQ(ScanFileExts(f.context(), &f.list, kHkeyLocalMachine, kFileExts), 0);
  const std::u16string user = u"K|HKEY_CURRENT_USER|" + std::u16string(kFileExts);
  const std::u16string machine = u"K|HKEY_LOCAL_MACHINE|" + std::u16string(kFileExts);
  EXPECT_EQ(f.Describe(),
            (Rows{user + u"\\" + dot256 + u"|", user + u"\\.gone|",
                  machine + u"\\" + dot256 + u"|", machine + u"\\.gone|",
                  machine + u"\\.readonly|", machine + u"\\.vanished|"}));
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(ShellExtensionsTest, MissingContainersEndTheirCallOnly) {
  f.registry.CreateKey(kHkeyLocalMachine, kBho);  // no subkeys
  f.registry.SetString(
      kHkeyCurrentUser,
      u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
      u"FileExts\\.old\\OpenWithList",
      u"a", u"");
  EXPECT_EQ(ScanBrowserHelperObjects(f.context(), &f.list, kBho), -1);
  EXPECT_EQ(ScanShellExtensions(f.context(), &f.list), 0);
  EXPECT_EQ(f.Describe(),
            Rows{u"K|HKEY_CURRENT_USER|Software\\Wow6432Node\\Microsoft\\Windows\\"
                 u"CurrentVersion\\Explorer\\FileExts\\.old|"});
}

}  // namespace
}  // namespace tavik
