#include "platform/memory/memory_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "support/registry_names.h"

namespace tavik {
namespace {

using Names = std::vector<std::u16string>;

// The names below root\\path, read through a handle opened for reading.
template <typename Reader>
Names NamesOf(MemoryRegistry& reg, RegKey root, const char16_t* path,
              Reader read) {
  RegKey key = 0;
  EXPECT_EQ(reg.RegOpenKeyExW(root, path, kKeyRead, &key), kErrorSuccess);
  Names names = read(reg, key);
  reg.RegCloseKey(key);
  return names;
}

Names ListSubkeys(MemoryRegistry& reg, RegKey root, const char16_t* path) {
  return NamesOf(reg, root, path, testing::SubkeyNames);
}

Names ListValues(MemoryRegistry& reg, RegKey root, const char16_t* path) {
  return NamesOf(reg, root, path, testing::ValueNames);
}

// The text of a REG_SZ value, or "<error>".
std::u16string ReadString(MemoryRegistry& reg, RegKey root,
                          const char16_t* path, const char16_t* name) {
  RegKey key = 0;
  int32_t rc = reg.RegOpenKeyExW(root, path, kKeyRead, &key);
  if (rc == kErrorSuccess) {
    char16_t data[256] = {};
    uint32_t bytes = sizeof(data) - 2;
    rc = reg.RegQueryValueExW(key, name, nullptr,
                              reinterpret_cast<uint8_t*>(data), &bytes);
    reg.RegCloseKey(key);
    if (rc == kErrorSuccess) return data;
  }
  return u"<error>";
}

TEST(MemoryRegistryTest, EnumerationOrderFollowsTheFlavor) {
  struct Case {
    RegistryFlavor flavor;
    Names subkeys;
    Names values;
  };
  const Case cases[] = {
      {RegistryFlavor::kWindows,
       {u"A", u"b", u"_x"},
       {u"zeta", u"_u", u"Alpha"}},
      {RegistryFlavor::kWine, {u"_x", u"A", u"b"}, {u"_u", u"Alpha", u"zeta"}},
  };
  for (const auto& c : cases) {
    MemoryRegistry reg(c.flavor);
    for (auto name : {u"b", u"_x", u"A"}) {
      reg.CreateKey(kHkeyCurrentUser, std::u16string(u"T\\") + name);
    }
    for (auto name : {u"zeta", u"_u", u"Alpha"}) {
      reg.SetDword(kHkeyCurrentUser, u"T", name, 1);
    }
    reg.SetDword(kHkeyCurrentUser, u"T", u"ZETA", 2);  // rewrite keeps place
    EXPECT_EQ(ListSubkeys(reg, kHkeyCurrentUser, u"T"), c.subkeys);
    EXPECT_EQ(ListValues(reg, kHkeyCurrentUser, u"T"), c.values);
  }
}

// Values deleted one by one, in either flavor: every lookup after each
// deletion still finds the remaining values and only them.
TEST(MemoryRegistryTest, DeletedValuesLeaveTheOthersFindable) {
  for (RegistryFlavor flavor : {RegistryFlavor::kWindows, RegistryFlavor::kWine}) {
    MemoryRegistry reg(flavor);
    const Names names = {u"e", u"B", u"d", u"A", u"c"};
    for (const auto& name : names) reg.SetString(kHkeyCurrentUser, u"T", name, name + u"!");
    RegKey key = 0;
    ASSERT_EQ(reg.RegOpenKeyExW(kHkeyCurrentUser, u"T", kKeyAllAccess, &key), kErrorSuccess);
    Names left = names;
    for (const char16_t* gone : {u"b", u"E", u"c"}) {
      ASSERT_EQ(reg.RegDeleteValueW(key, gone), kErrorSuccess) << Utf16ToUtf8(gone);
      EXPECT_EQ(reg.RegDeleteValueW(key, gone), kErrorFileNotFound);
      std::erase_if(left, [&](const std::u16string& n) { return EqualsIgnoreAsciiCase(n, gone); });
      for (const auto& name : left) {
        EXPECT_EQ(ReadString(reg, kHkeyCurrentUser, u"T", name.c_str()), name + u"!");
      }
    }
    reg.SetString(kHkeyCurrentUser, u"T", u"f", u"f!");
    EXPECT_EQ(ReadString(reg, kHkeyCurrentUser, u"T", u"F"), u"f!");
    EXPECT_EQ(ReadString(reg, kHkeyCurrentUser, u"T", u"B"), u"<error>");
    EXPECT_EQ(ListValues(reg, kHkeyCurrentUser, u"T").size(), 3u);
    reg.RegCloseKey(key);
  }
}

TEST(MemoryRegistryTest, NamesAreCaseInsensitiveAndKeepTheirCase) {
  MemoryRegistry reg;
  reg.SetString(kHkeyLocalMachine, u"Software\\MixedCase", u"Name", u"v");
  EXPECT_EQ(ReadString(reg, kHkeyLocalMachine, u"SOFTWARE\\mixedcase", u"NAME"),
            u"v");
  EXPECT_EQ(ListSubkeys(reg, kHkeyLocalMachine, u"software"),
            (Names{u"Classes", u"MixedCase"}));
  EXPECT_EQ(ListValues(reg, kHkeyLocalMachine, u"Software\\MixedCase"),
            Names{u"Name"});
  reg.CreateKey(kHkeyLocalMachine, u"SOFTWARE\\MIXEDCASE");
  EXPECT_EQ(ListSubkeys(reg, kHkeyLocalMachine, u"software").size(), 2u);
}

TEST(MemoryRegistryTest, NameAndDataBufferRules) {
  MemoryRegistry reg;
  const std::u16string longKey(255, u'k');
  const std::u16string longValue(16383, u'v');
  reg.CreateKey(kHkeyCurrentUser, u"B\\" + longKey);
  reg.SetValue(kHkeyCurrentUser, u"B", longValue, 0x12345678, {1, 2, 3});
  RegKey key = 0;
  ASSERT_EQ(reg.RegOpenKeyExW(kHkeyCurrentUser, u"B", kKeyRead, &key), 0);

  std::vector<char16_t> name(16384);
  struct Case {
    uint32_t capacity;
    int32_t result;
  };
  for (auto [capacity, result] :
       {Case{255, kErrorMoreData}, Case{256, kErrorSuccess}}) {
    uint32_t chars = capacity;
    EXPECT_EQ(reg.RegEnumKeyExW(key, 0, name.data(), &chars), result);
    if (result == kErrorSuccess) {
      EXPECT_EQ(chars, 255u);
      EXPECT_EQ(std::u16string(name.data()), longKey);
    }
  }
  uint32_t chars = 256;
  EXPECT_EQ(reg.RegEnumKeyExW(key, 1, name.data(), &chars), kErrorNoMoreItems);

  // Values: the name, then the data; data too big reports the size needed.
  uint8_t data[3] = {};
  uint32_t type = 0, bytes = 2;
  chars = 16383;
  EXPECT_EQ(reg.RegEnumValueW(key, 0, name.data(), &chars, &type, data, &bytes),
            kErrorMoreData);
  chars = 16384;
  EXPECT_EQ(reg.RegEnumValueW(key, 0, name.data(), &chars, &type, data, &bytes),
            kErrorMoreData);
  EXPECT_EQ(bytes, 3u);
  EXPECT_EQ(reg.RegEnumValueW(key, 0, name.data(), &chars, &type, data, &bytes),
            kErrorSuccess);
  EXPECT_EQ(chars, 16383u);
  EXPECT_EQ(type, 0x12345678u);
  EXPECT_EQ(data[2], 3);
  bytes = 0;
  chars = 16384;
  EXPECT_EQ(
      reg.RegEnumValueW(key, 0, name.data(), &chars, nullptr, nullptr, &bytes),
      kErrorSuccess);
  EXPECT_EQ(bytes, 3u);
  chars = 16384;
  EXPECT_EQ(
      reg.RegEnumValueW(key, 1, name.data(), &chars, nullptr, nullptr, nullptr),
      kErrorNoMoreItems);

  // Query: same data rules; the default value exists only once set.
  bytes = 1;
  EXPECT_EQ(reg.RegQueryValueExW(key, longValue.c_str(), nullptr, data, &bytes),
            kErrorMoreData);
  EXPECT_EQ(bytes, 3u);
  EXPECT_EQ(reg.RegQueryValueExW(key, u"", nullptr, nullptr, &bytes),
            kErrorFileNotFound);
  reg.SetValue(kHkeyCurrentUser, u"B", u"", kRegBinary, {9});
  EXPECT_EQ(reg.RegQueryValueExW(key, nullptr, &type, nullptr, &bytes), 0);
  EXPECT_EQ(bytes, 1u);
  uint32_t subKeys = 0, values = 0;
  EXPECT_EQ(reg.RegQueryInfoKeyW(key, &subKeys, &values), kErrorSuccess);
  EXPECT_EQ(subKeys, 1u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(reg.RegQueryInfoKeyW(key, nullptr, nullptr), kErrorSuccess);
  reg.RegCloseKey(key);

  // Names beyond the registry's limits are refused.
  EXPECT_EQ(reg.RegCreateKeyExW(kHkeyCurrentUser, (longKey + u"k").c_str(),
                                kKeyAllAccess, &key),
            kErrorInvalidParameter);
  EXPECT_EQ(reg.OpenHandleCount(), 0u);
}

TEST(MemoryRegistryTest, AccessLimitsAndInjectedFailures) {
  MemoryRegistry reg;
  reg.SetAccess(kHkeyLocalMachine, u"RO", KeyAccess::kReadOnly);
  reg.SetAccess(kHkeyLocalMachine, u"None", KeyAccess::kNone);
  reg.InjectOpenFailure(kHkeyLocalMachine, u"Broken", 1234);
  struct Case {
    const char16_t* path;
    uint32_t access;
    int32_t open;
  };
  const Case cases[] = {
      {u"RO", kKeyRead, kErrorSuccess},
      {u"RO", kKeyQueryValue, kErrorSuccess},
      {u"RO", kKeyAllAccess, kErrorAccessDenied},
      {u"RO", kKeySetValue, kErrorAccessDenied},
      {u"None", kKeyRead, kErrorAccessDenied},
      {u"Broken", kKeyRead, 1234},
      {u"Missing", kKeyRead, kErrorFileNotFound},
  };
  for (const auto& c : cases) {
    RegKey key = 0;
    EXPECT_EQ(reg.RegOpenKeyExW(kHkeyLocalMachine, c.path, c.access, &key),
              c.open)
        << Utf16ToUtf8(c.path);
    if (c.open == kErrorSuccess) reg.RegCloseKey(key);
  }
  RegKey key = 0;
  EXPECT_EQ(reg.RegCreateKeyExW(kHkeyLocalMachine, u"RO\\New\\Deeper",
                                kKeyAllAccess, &key),
            kErrorAccessDenied);
  EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, u"RO\\New"));
  EXPECT_EQ(reg.RegDeleteKeyW(kHkeyLocalMachine, u"RO"), kErrorAccessDenied);
  // A handle opened for reading cannot write.
  ASSERT_EQ(reg.RegOpenKeyExW(kHkeyLocalMachine, u"RO", kKeyRead, &key), 0);
  const uint8_t one = 1;
  EXPECT_EQ(reg.RegSetValueExW(key, u"x", kRegBinary, &one, 1),
            kErrorAccessDenied);
  reg.RegCloseKey(key);

  reg.SetString(kHkeyLocalMachine, u"E\\a", u"v1", u"x");
  reg.SetString(kHkeyLocalMachine, u"E\\b", u"v2", u"x");
  reg.SetString(kHkeyLocalMachine, u"E", u"v1", u"x");
  reg.SetString(kHkeyLocalMachine, u"E", u"v2", u"x");
  reg.InjectEnumKeyFailure(kHkeyLocalMachine, u"E", 1, 999);
  reg.InjectEnumValueFailure(kHkeyLocalMachine, u"E", 0, 998);
  reg.InjectQueryFailure(kHkeyLocalMachine, u"E", u"V2", 997);
  ASSERT_EQ(reg.RegOpenKeyExW(kHkeyLocalMachine, u"E", kKeyRead, &key), 0);
  char16_t name[16];
  uint32_t chars = 16;
  EXPECT_EQ(reg.RegEnumKeyExW(key, 0, name, &chars), kErrorSuccess);
  chars = 16;
  EXPECT_EQ(reg.RegEnumKeyExW(key, 1, name, &chars), 999);
  chars = 16;
  EXPECT_EQ(reg.RegEnumValueW(key, 0, name, &chars, nullptr, nullptr, nullptr),
            998);
  uint32_t bytes = 0;
  EXPECT_EQ(reg.RegQueryValueExW(key, u"v1", nullptr, nullptr, &bytes), 0);
  EXPECT_EQ(reg.RegQueryValueExW(key, u"v2", nullptr, nullptr, &bytes), 997);
  reg.RegCloseKey(key);
  EXPECT_EQ(reg.OpenHandleCount(), 0u);
}

TEST(MemoryRegistryTest, HandlesAndVanishingKeys) {
  MemoryRegistry reg;
  reg.SetString(kHkeyCurrentUser, u"P\\C", u"v", u"x");
  RegKey a = 0, b = 0, c = 0;
  ASSERT_EQ(reg.RegOpenKeyExW(kHkeyCurrentUser, u"P", kKeyAllAccess, &a), 0);
  ASSERT_EQ(reg.RegOpenKeyExW(a, u"C", kKeyAllAccess, &b), 0);
  ASSERT_EQ(reg.RegCreateKeyExW(b, u"", kKeyAllAccess, &c), 0);
  EXPECT_NE(a, b);
  EXPECT_NE(b, c);
  for (RegKey key : {a, b, c}) EXPECT_LT(key, 0x80000000u);
  EXPECT_EQ(reg.OpenHandleCount(), 3u);

  EXPECT_EQ(reg.RegDeleteKeyW(kHkeyCurrentUser, u"P"), kErrorAccessDenied);
  EXPECT_EQ(reg.RegDeleteKeyW(a, u"Nope"), kErrorFileNotFound);
  EXPECT_EQ(reg.RegDeleteValueW(b, u"nope"), kErrorFileNotFound);
  EXPECT_EQ(reg.RegDeleteValueW(b, u"V"), kErrorSuccess);
  EXPECT_EQ(reg.RegDeleteKeyW(a, u"c"), kErrorSuccess);
  // Both handles of the deleted key now report it.
  uint32_t count = 0;
  EXPECT_EQ(reg.RegQueryInfoKeyW(b, &count, nullptr), kErrorKeyDeleted);
  EXPECT_EQ(reg.RegQueryValueExW(c, u"v", nullptr, nullptr, &count),
            kErrorKeyDeleted);
  EXPECT_EQ(reg.RegQueryInfoKeyW(a, &count, nullptr), kErrorSuccess);
  EXPECT_EQ(count, 0u);
  // A key of the same name created later does not revive old handles.
  reg.CreateKey(kHkeyCurrentUser, u"P\\C");
  EXPECT_EQ(reg.RegQueryInfoKeyW(b, &count, nullptr), kErrorKeyDeleted);

  for (RegKey key : {a, b, c}) EXPECT_EQ(reg.RegCloseKey(key), kErrorSuccess);
  EXPECT_EQ(reg.RegCloseKey(a), kErrorInvalidHandle);
  EXPECT_EQ(reg.RegCloseKey(kHkeyLocalMachine), kErrorSuccess);
  EXPECT_EQ(reg.OpenHandleCount(), 0u);
}

TEST(MemoryRegistryTest, RawDataIsKeptAsGiven) {
  MemoryRegistry reg;
  RegKey key = 0;
  ASSERT_EQ(reg.RegCreateKeyExW(kHkeyLocalMachine, u"New\\Parents\\Made",
                                kKeyAllAccess, &key),
            kErrorSuccess);
  const uint8_t odd[3] = {'a', 0, 'b'};
  EXPECT_EQ(reg.RegSetValueExW(key, u"odd", 77, odd, 3), kErrorSuccess);
  uint8_t out[8] = {};
  uint32_t type = 0, bytes = sizeof(out);
  EXPECT_EQ(reg.RegQueryValueExW(key, u"ODD", &type, out, &bytes), 0);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(bytes, 3u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4),
            (std::vector<uint8_t>{'a', 0, 'b', 0}));
  EXPECT_EQ(reg.RegSetValueExW(key, u"empty", kRegSz, nullptr, 0), 0);
  EXPECT_TRUE(
      reg.ValueExists(kHkeyLocalMachine, u"new\\parents\\made", u"EMPTY"));
  reg.RegCloseKey(key);
}

TEST(MemoryRegistryTest, ClassesRootMergesUserOverMachineOnWindows) {
  for (auto flavor : {RegistryFlavor::kWindows, RegistryFlavor::kWine}) {
    const bool windows = flavor == RegistryFlavor::kWindows;
    MemoryRegistry reg(flavor);
    const std::u16string machine = u"Software\\Classes\\";
    reg.SetString(kHkeyLocalMachine, machine + u".txt", u"", u"machine");
    reg.SetString(kHkeyCurrentUser, machine + u".txt", u"", u"user");
    reg.SetString(kHkeyLocalMachine, machine + u".doc", u"", u"machine");
    reg.SetString(kHkeyCurrentUser, machine + u".usr", u"", u"user");
    reg.CreateKey(kHkeyLocalMachine, machine + u".txt\\ShellNew");

    Names extensions;  // Wine's classes also hold its Wow6432Node links
    for (const auto& name : ListSubkeys(reg, kHkeyClassesRoot, u"")) {
      if (name[0] == u'.') extensions.push_back(name);
    }
    EXPECT_EQ(extensions, windows ? (Names{u".doc", u".txt", u".usr"})
                                  : (Names{u".doc", u".txt"}));
    EXPECT_EQ(ReadString(reg, kHkeyClassesRoot, u".TXT", u""),
              windows ? u"user" : u"machine");
    EXPECT_EQ(ReadString(reg, kHkeyClassesRoot, u".doc", u""), u"machine");
    EXPECT_EQ(ListSubkeys(reg, kHkeyClassesRoot, u".txt"), Names{u"ShellNew"});
    uint32_t subKeys = 0;
    EXPECT_EQ(reg.RegQueryInfoKeyW(kHkeyClassesRoot, &subKeys, nullptr), 0);
    EXPECT_EQ(subKeys, windows ? 3u : 6u);

    // Writes: to the user side when it has the key, new keys to the machine.
    RegKey key = 0;
    ASSERT_EQ(reg.RegOpenKeyExW(kHkeyClassesRoot, u".txt", kKeyAllAccess, &key),
              0);
    const uint8_t data[2] = {'z', 0};
    EXPECT_EQ(reg.RegSetValueExW(key, u"w", kRegSz, data, 2), 0);
    reg.RegCloseKey(key);
    EXPECT_EQ(reg.ValueExists(kHkeyCurrentUser, machine + u".txt", u"w"),
              windows);
    ASSERT_EQ(reg.RegCreateKeyExW(kHkeyClassesRoot, u".new\\sub", kKeyAllAccess,
                                  &key),
              0);
    reg.RegCloseKey(key);
    EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, machine + u".new\\sub"));
    EXPECT_EQ(reg.OpenHandleCount(), 0u);
  }
}

TEST(MemoryRegistryTest, WineLinksResolveToTheirTargets) {
  MemoryRegistry reg(RegistryFlavor::kWine);
  struct Case {
    const char16_t* target;
    const char16_t* link;
  };
  const Case cases[] = {
      {u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
       u"Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
      {u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
       u"Software\\Microsoft\\Windows\\CurrentVersion\\Time Zones"},
      {u"Software\\Classes\\TypeLib",
       u"Software\\Wow6432Node\\Classes\\TypeLib"},  // a link through a link
      {u"Software\\Microsoft\\Shared Tools\\MSInfo",
       u"Software\\Wow6432Node\\Microsoft\\Software\\Microsoft\\Shared "
       u"Tools\\MSInfo"},
      {u"Software\\Wine\\Ports", u"Software\\Wow6432Node\\Wine\\Ports"},
      {u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
       u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(reg.KeyExists(kHkeyLocalMachine, c.target))
        << Utf16ToUtf8(c.target);
    reg.SetString(kHkeyLocalMachine, c.target, u"Arial", u"arial.ttf");
    EXPECT_EQ(ReadString(reg, kHkeyLocalMachine, c.link, u"arial"),
              u"arial.ttf");
    reg.CreateKey(kHkeyLocalMachine, std::u16string(c.link) + u"\\Sub");
    EXPECT_TRUE(
        reg.KeyExists(kHkeyLocalMachine, std::u16string(c.target) + u"\\sub"));
  }
  // A link shows as a plain subkey of its parent.
  EXPECT_EQ(ListSubkeys(reg, kHkeyLocalMachine,
                        u"Software\\Wow6432Node\\Microsoft\\Cryptography"),
            (Names{u"Calais", u"Services"}));
  EXPECT_EQ(ListSubkeys(reg, kHkeyClassesRoot, u"Wow6432Node"),
            (Names{u"AppId", u"Protocols", u"TypeLib"}));
  EXPECT_FALSE(
      MemoryRegistry().KeyExists(kHkeyLocalMachine, u"Software\\Wow6432Node"));
}

TEST(MemoryRegistryTest, LinkLoopsEndAsMissingKeys) {
  MemoryRegistry reg;
  reg.AddLink(kHkeyCurrentUser, u"Loop\\A", u"Loop\\B");
  reg.AddLink(kHkeyCurrentUser, u"Loop\\B", u"Loop\\A");
  RegKey key = 0;
  EXPECT_EQ(reg.RegOpenKeyExW(kHkeyCurrentUser, u"Loop\\A", kKeyRead, &key),
            kErrorFileNotFound);
  EXPECT_EQ(ListSubkeys(reg, kHkeyCurrentUser, u"Loop"), (Names{u"A", u"B"}));
}

}  // namespace
}  // namespace tavik
