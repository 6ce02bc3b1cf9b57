#include "platform/memory/reg_file_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"

namespace tavik {
namespace {

using Bytes = std::vector<uint8_t>;

// The raw data and type of a value, read through the registry interface.
bool ReadValue(MemoryRegistry& reg, RegKey root, const std::u16string& path,
               const std::u16string& name, uint32_t* type, Bytes* data) {
  RegKey key = 0;
  if (reg.RegOpenKeyExW(root, path.c_str(), kKeyRead, &key) != 0) return false;
  uint32_t bytes = 0;
  bool ok = reg.RegQueryValueExW(key, name.c_str(), type, nullptr, &bytes) == 0;
  data->assign(bytes, 0);
  ok = ok &&
       reg.RegQueryValueExW(key, name.c_str(), type, data->data(), &bytes) == 0;
  reg.RegCloseKey(key);
  return ok;
}

Bytes Utf16Bytes(std::u16string_view text) {
  Bytes bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

TEST(RegFileLoaderTest, ReadsEveryValueForm) {
  MemoryRegistry reg;
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"; a comment\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
      u"@=\"default\"\r\n"
      u"\"Path\"=\"C:\\\\dir\\\\x.dll\"\r\n"
      u"\"Quote \\\"q\\\"\"=\"say \\\"hi\\\"\"\r\n"
      u"\"Number\"=dword:0000002a\r\n"
      u"\"Bin\"=hex:01,ff,0A\r\n"
      u"\"Expand\"=hex(2):25,00,00,00\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,\\\r\n"
      u"    00,00\r\n"
      u"\"None\"=hex(0):\r\n"
      u"\"Qword\"=hex(b):01,00,00,00,00,00,00,00\n"
      u"\"Odd\"=hex(12345):7f ; trailing comment\n"
      u"[HKCU\\Short]\n"
      u"\"x\"=dword:1\n";
  const RegLoadResult result = LoadRegText(reg, text);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.keys, 2);
  EXPECT_EQ(result.values, 11);

  struct Case {
    const char16_t* name;
    uint32_t type;
    Bytes data;
  };
  const Case cases[] = {
      {u"", kRegSz, Utf16Bytes(u"default")},
      {u"path", kRegSz, Utf16Bytes(u"C:\\dir\\x.dll")},
      {u"Quote \"q\"", kRegSz, Utf16Bytes(u"say \"hi\"")},
      {u"Number", kRegDword, {0x2a, 0, 0, 0}},
      {u"Bin", kRegBinary, {0x01, 0xff, 0x0a}},
      {u"Expand", kRegExpandSz, {0x25, 0, 0, 0}},
      {u"Multi", kRegMultiSz, {0x61, 0, 0, 0, 0, 0}},
      {u"None", kRegNone, {}},
      {u"Qword", 0xb, {1, 0, 0, 0, 0, 0, 0, 0}},
      {u"Odd", 0x12345, {0x7f}},
  };
  for (const auto& c : cases) {
    uint32_t type = 0;
    Bytes data;
    ASSERT_TRUE(ReadValue(reg, kHkeyLocalMachine, u"Software\\Test", c.name,
                          &type, &data))
        << Utf16ToUtf8(c.name);
    EXPECT_EQ(type, c.type) << Utf16ToUtf8(c.name);
    EXPECT_EQ(data, c.data) << Utf16ToUtf8(c.name);
  }
  EXPECT_TRUE(reg.ValueExists(kHkeyCurrentUser, u"Short", u"x"));
}

TEST(RegFileLoaderTest, DecodesEveryEncoding) {
  const std::string utf8 =
      "REGEDIT4\n[HKEY_USERS\\S]\n\"Name\"=\"caf\xC3\xA9\"\n";
  const std::u16string utf16 =
      u"Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\S]\r\n"
      u"\"Name\"=\"caf\u00e9\"\r\n";
  Bytes plain(utf8.begin(), utf8.end());
  Bytes withBom{0xEF, 0xBB, 0xBF};
  withBom.insert(withBom.end(), plain.begin(), plain.end());
  Bytes wide{0xFF, 0xFE};
  for (char16_t c : utf16) {
    wide.push_back(static_cast<uint8_t>(c & 0xFF));
    wide.push_back(static_cast<uint8_t>(c >> 8));
  }
  for (const Bytes& file : {plain, withBom, wide}) {
    MemoryRegistry reg;
    const RegLoadResult result = LoadRegFile(reg, file);
    ASSERT_TRUE(result.ok) << result.error;
    uint32_t type = 0;
    Bytes data;
    ASSERT_TRUE(ReadValue(reg, kHkeyUsers, u"S", u"Name", &type, &data));
    EXPECT_EQ(data, Utf16Bytes(u"caf\u00e9"));
  }
}

TEST(RegFileLoaderTest, DeletesKeysAndValues) {
  MemoryRegistry reg;
  reg.SetString(kHkeyLocalMachine, u"Software\\Gone\\Deep", u"v", u"x");
  reg.SetString(kHkeyLocalMachine, u"Software\\Keep", u"a", u"x");
  reg.SetString(kHkeyLocalMachine, u"Software\\Keep", u"b", u"x");
  const RegLoadResult result =
      LoadRegText(reg,
                  u"REGEDIT4\n"
                  u"[-HKEY_LOCAL_MACHINE\\Software\\Gone]\n"
                  u"\"ignored\"=\"values of a deleted key are dropped\"\n"
                  u"[-HKEY_LOCAL_MACHINE\\Software\\NeverThere]\n"
                  u"[HKEY_LOCAL_MACHINE\\Software\\Keep]\n"
                  u"\"a\"=-\n"
                  u"\"missing\"=-\n");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, u"Software\\Gone"));
  EXPECT_FALSE(reg.ValueExists(kHkeyLocalMachine, u"Software\\Keep", u"a"));
  EXPECT_TRUE(reg.ValueExists(kHkeyLocalMachine, u"Software\\Keep", u"b"));
}

TEST(RegFileLoaderTest, ClassesRootGoesToMachineClasses) {
  for (auto flavor : {RegistryFlavor::kWindows, RegistryFlavor::kWine}) {
    MemoryRegistry reg(flavor);
    const RegLoadResult result =
        LoadRegText(reg,
                    u"REGEDIT4\n[HKEY_CLASSES_ROOT\\.txt]\n@=\"txtfile\"\n"
                    u"[HKCR\\txtfile]\n");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(
        reg.ValueExists(kHkeyLocalMachine, u"Software\\Classes\\.txt", u""));
    EXPECT_TRUE(
        reg.KeyExists(kHkeyLocalMachine, u"Software\\Classes\\txtfile"));
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, u"Software\\Classes\\.txt"));
  }
}

TEST(RegFileLoaderTest, StopsAtTheFirstBadLine) {
  struct Case {
    const char16_t* text;
    const char* error;
  };
  const Case cases[] = {
      {u"", "line 1:"},
      {u"REGEDIT5\n[HKLM\\A]\n", "line 1:"},
      {u"REGEDIT4\n\"v\"=\"outside\"\n", "line 2:"},
      {u"REGEDIT4\n[HKLM\\A\n", "line 2:"},
      {u"REGEDIT4\n[HKEY_NOWHERE\\A]\n", "line 2:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"=dword:123456789\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"=dword:xyz\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"=hex:1,,2\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"=hex:123\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"=hex(2:00\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"\"x\"\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v=\"x\"\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"=\"x\" junk\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"=text\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\n\"v\"=hex:00,\\\n  zz\n\"w\"=-\n", "line 3:"},
      {u"REGEDIT4\n[HKLM\\A]\njunk\n", "line 3:"},
  };
  for (const auto& c : cases) {
    MemoryRegistry reg;
    const RegLoadResult result = LoadRegText(reg, c.text);
    EXPECT_FALSE(result.ok) << Utf16ToUtf8(c.text);
    EXPECT_EQ(result.error.rfind(c.error, 0), 0u)
        << Utf16ToUtf8(c.text) << " -> " << result.error;
  }
}

TEST(RegFileLoaderTest, ArbitraryBytesNeverCrash) {
  const std::string seed =
      "Windows Registry Editor Version 5.00\r\n[HKCU\\A\\B]\r\n"
      "\"n\"=hex(7):00,\\\r\n\"s\"=\"a\\\\\"\r\n@=dword:1\r\n[-HKCU\\A]\r\n";
  uint32_t state = 12345;
  for (int round = 0; round < 300; ++round) {
    Bytes bytes(seed.begin(), seed.end());
    bytes.resize(bytes.size() * (round % 7 + 1) / 7);  // cut short
    for (int k = 0; k < round % 5; ++k) {
      state = state * 1103515245u + 12345u;
      if (!bytes.empty()) bytes[state % bytes.size()] = (state >> 16) & 0xFF;
    }
    if (round % 3 == 0) bytes.insert(bytes.begin(), {0xFF, 0xFE, 0x41});
    MemoryRegistry reg;
    LoadRegFile(reg, bytes);
    EXPECT_EQ(reg.OpenHandleCount(), 0u);
  }
}

}  // namespace
}  // namespace tavik
