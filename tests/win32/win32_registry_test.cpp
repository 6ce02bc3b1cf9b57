// What the engine relies on from the real registry, checked on a scratch key
// under HKEY_CURRENT_USER\Software\TavikTest of the throwaway Wine prefix.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "support/registry_names.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/win32_registry.h"

namespace tavik {
namespace {

constexpr char16_t kTestRoot[] = u"Software\\TavikTest";
constexpr char16_t kScratch[] = u"Software\\TavikTest\\Scratch";

std::vector<uint8_t> TextBytes(const std::u16string& text, bool terminator) {
  const size_t units = text.size() + (terminator ? 1 : 0);
  std::vector<uint8_t> bytes(units * sizeof(char16_t));
  std::copy_n(reinterpret_cast<const uint8_t*>(text.c_str()), bytes.size(),
              bytes.begin());
  return bytes;
}

class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTestTree();
    ASSERT_EQ(registry_.RegCreateKeyExW(kHkeyCurrentUser, kScratch,
                                        kKeyAllAccess, &scratch_),
              kErrorSuccess);
  }
  void TearDown() override {
    if (scratch_ != 0) registry_.RegCloseKey(scratch_);
    DeleteTestTree();
  }
  static void DeleteTestTree() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER,
                     reinterpret_cast<const wchar_t*>(kTestRoot));
    ::RegDeleteKeyW(HKEY_CURRENT_USER,
                    reinterpret_cast<const wchar_t*>(kTestRoot));
  }
  void CreateSubkey(const std::u16string& name) {
    RegKey key = 0;
    ASSERT_EQ(registry_.RegCreateKeyExW(scratch_, name.c_str(), kKeyAllAccess,
                                        &key),
              kErrorSuccess);
    registry_.RegCloseKey(key);
  }
  void SetString(const std::u16string& name, const std::u16string& text) {
    const auto bytes = TextBytes(text, true);
    ASSERT_EQ(registry_.RegSetValueExW(scratch_, name.c_str(), kRegSz,
                                       bytes.data(),
                                       static_cast<uint32_t>(bytes.size())),
              kErrorSuccess);
  }

  Win32Registry registry_;
  RegKey scratch_ = 0;
};

TEST_F(Win32RegistryTest, PredefinedRootsOpenAndHandlesServeAsParents) {
  for (const RegKey root :
       {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
    RegKey key = 0;
    EXPECT_EQ(registry_.RegOpenKeyExW(root, u"", kKeyRead, &key),
              kErrorSuccess)
        << std::hex << root;
    if (key != 0) registry_.RegCloseKey(key);
  }
  RegKey software = 0;
  ASSERT_EQ(registry_.RegOpenKeyExW(kHkeyCurrentUser, u"Software", kKeyRead,
                                    &software),
            kErrorSuccess);
  RegKey scratch = 0;
  EXPECT_EQ(registry_.RegOpenKeyExW(software, u"TavikTest\\Scratch", kKeyRead,
                                    &scratch),
            kErrorSuccess);
  registry_.RegCloseKey(scratch);
  registry_.RegCloseKey(software);
}

TEST_F(Win32RegistryTest, MissingKeyGivesFileNotFound) {
  RegKey key = 0;
  EXPECT_EQ(registry_.RegOpenKeyExW(kHkeyCurrentUser,
                                    u"Software\\TavikTest\\Scratch\\Missing",
                                    kKeyRead, &key),
            kErrorFileNotFound);
  EXPECT_EQ(registry_.RegOpenKeyExW(scratch_, u"Missing\\Deeper",
                                    kKeyAllAccess, &key),
            kErrorFileNotFound);
  EXPECT_EQ(registry_.RegOpenKeyExW(kHkeyLocalMachine,
                                    u"Software\\TavikTest\\NoSuchKey",
                                    kKeyAllAccess, &key),
            kErrorFileNotFound);
}

TEST_F(Win32RegistryTest, EmptySubkeyOpensTheKeyItself) {
  SetString(u"v", u"x");
  RegKey same = 0;
  ASSERT_EQ(registry_.RegOpenKeyExW(scratch_, u"", kKeyRead, &same),
            kErrorSuccess);
  uint32_t values = 0;
  EXPECT_EQ(registry_.RegQueryInfoKeyW(same, nullptr, &values), kErrorSuccess);
  EXPECT_EQ(values, 1u);
  registry_.RegCloseKey(same);
}

TEST_F(Win32RegistryTest, ReadOnlyHandleRefusesChanges) {
  RegKey readOnly = 0;
  ASSERT_EQ(registry_.RegOpenKeyExW(kHkeyCurrentUser, kScratch, kKeyRead,
                                    &readOnly),
            kErrorSuccess);
  const auto bytes = TextBytes(u"1", true);
  EXPECT_EQ(registry_.RegSetValueExW(readOnly, u"v", kRegSz, bytes.data(),
                                     static_cast<uint32_t>(bytes.size())),
            kErrorAccessDenied);
  registry_.RegCloseKey(readOnly);
}

// A key whose security grants everyone read access only: the full-access
// open that AddFinding makes must be refused, the read open must not be.
TEST_F(Win32RegistryTest, KeyReadableButNotWritableRefusesFullAccessOpen) {
  CreateSubkey(u"Locked");
  // Kept open with the right to change the security back afterwards.
  HKEY owner = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER,
                            L"Software\\TavikTest\\Scratch\\Locked", 0,
                            KEY_ALL_ACCESS | WRITE_DAC, &owner),
            ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR readOnly = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
  const LONG set =
      ::RegSetKeySecurity(owner, DACL_SECURITY_INFORMATION, readOnly);
  ::LocalFree(readOnly);
  ASSERT_EQ(set, ERROR_SUCCESS);

  RegKey key = 0;
  const int32_t fullAccess = registry_.RegOpenKeyExW(
      scratch_, u"Locked", kKeyAllAccess, &key);
  if (fullAccess == kErrorSuccess) registry_.RegCloseKey(key);
  const int32_t readAccess =
      registry_.RegOpenKeyExW(scratch_, u"Locked", kKeyRead, &key);
  if (readAccess == kErrorSuccess) registry_.RegCloseKey(key);

  PSECURITY_DESCRIPTOR open = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &open, nullptr));
  ::RegSetKeySecurity(owner, DACL_SECURITY_INFORMATION, open);
  ::LocalFree(open);
  ::RegCloseKey(owner);

  EXPECT_EQ(fullAccess, kErrorAccessDenied);
  EXPECT_EQ(readAccess, kErrorSuccess);
}

TEST_F(Win32RegistryTest, EnumKeyReportsMoreDataAndNoMoreItems) {
  CreateSubkey(u"Abcdef");
  char16_t name[16] = {};
  uint32_t chars = 6;  // one short: the terminator does not fit
  EXPECT_EQ(registry_.RegEnumKeyExW(scratch_, 0, name, &chars),
            kErrorMoreData);
  chars = 7;
  ASSERT_EQ(registry_.RegEnumKeyExW(scratch_, 0, name, &chars), kErrorSuccess);
  EXPECT_EQ(chars, 6u);
  EXPECT_EQ(std::u16string(name), u"Abcdef");
  chars = 16;
  EXPECT_EQ(registry_.RegEnumKeyExW(scratch_, 1, name, &chars),
            kErrorNoMoreItems);
}

TEST_F(Win32RegistryTest, EnumValueReportsMoreDataForNameAndData) {
  SetString(u"Name5", u"some data");  // 20 bytes with the terminator
  char16_t name[16] = {};
  uint8_t data[64] = {};
  uint32_t chars = 5;
  uint32_t bytes = sizeof(data);
  EXPECT_EQ(registry_.RegEnumValueW(scratch_, 0, name, &chars, nullptr, data,
                                    &bytes),
            kErrorMoreData);

  chars = 16;
  bytes = 8;
  EXPECT_EQ(registry_.RegEnumValueW(scratch_, 0, name, &chars, nullptr, data,
                                    &bytes),
            kErrorMoreData);
  EXPECT_EQ(bytes, 20u);

  chars = 16;
  uint32_t type = 0;
  ASSERT_EQ(registry_.RegEnumValueW(scratch_, 0, name, &chars, &type, nullptr,
                                    nullptr),
            kErrorSuccess);
  EXPECT_EQ(std::u16string(name), u"Name5");
  EXPECT_EQ(chars, 5u);
  EXPECT_EQ(type, kRegSz);

  chars = 16;
  bytes = sizeof(data);
  ASSERT_EQ(registry_.RegEnumValueW(scratch_, 0, name, &chars, nullptr, data,
                                    &bytes),
            kErrorSuccess);
  EXPECT_EQ(bytes, 20u);
  chars = 16;
  EXPECT_EQ(registry_.RegEnumValueW(scratch_, 1, name, &chars, nullptr,
                                    nullptr, nullptr),
            kErrorNoMoreItems);
}

TEST_F(Win32RegistryTest, QueryValueReportsMoreDataWithTheSizeNeeded) {
  SetString(u"", u"default text");  // the key's default value, 26 bytes
  uint8_t data[8] = {};
  uint32_t bytes = sizeof(data);
  EXPECT_EQ(registry_.RegQueryValueExW(scratch_, u"", nullptr, data, &bytes),
            kErrorMoreData);
  EXPECT_EQ(bytes, 26u);
  bytes = 0;
  EXPECT_EQ(registry_.RegQueryValueExW(scratch_, u"", nullptr, nullptr, &bytes),
            kErrorSuccess);
  EXPECT_EQ(bytes, 26u);
  EXPECT_EQ(registry_.RegQueryValueExW(scratch_, u"missing", nullptr, data,
                                       &bytes),
            kErrorFileNotFound);
}

// Data stored without a terminator comes back with its own byte count; the
// function writes nothing past the capacity it was given. (RegSetValueExW
// counts a forgotten terminator of a REG_SZ in when the unit after the data
// is zero, so the unit after "ab" is an "X" here.)
TEST_F(Win32RegistryTest, UnterminatedTextKeepsItsByteCount) {
  const auto abx = TextBytes(u"abX", false);
  ASSERT_EQ(registry_.RegSetValueExW(scratch_, u"raw", kRegSz, abx.data(), 4),
            kErrorSuccess);
  uint8_t data[8];
  std::fill(std::begin(data), std::end(data), uint8_t{0xCC});
  uint32_t bytes = 4;
  ASSERT_EQ(registry_.RegQueryValueExW(scratch_, u"raw", nullptr, data, &bytes),
            kErrorSuccess);
  EXPECT_EQ(bytes, 4u);
  EXPECT_EQ(data[0], 'a');
  EXPECT_EQ(data[2], 'b');
  EXPECT_EQ(data[4], 0xCC);
  EXPECT_EQ(data[5], 0xCC);

  char16_t name[8] = {};
  uint32_t chars = 8;
  bytes = sizeof(data);
  ASSERT_EQ(registry_.RegEnumValueW(scratch_, 0, name, &chars, nullptr, data,
                                    &bytes),
            kErrorSuccess);
  EXPECT_EQ(bytes, 4u);
}

TEST_F(Win32RegistryTest, QueryInfoCountsSubkeysAndValues) {
  CreateSubkey(u"one");
  CreateSubkey(u"two");
  SetString(u"v", u"x");
  uint32_t subKeys = 99;
  uint32_t values = 99;
  ASSERT_EQ(registry_.RegQueryInfoKeyW(scratch_, &subKeys, &values),
            kErrorSuccess);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(values, 1u);
  subKeys = 99;
  ASSERT_EQ(registry_.RegQueryInfoKeyW(scratch_, &subKeys, nullptr),
            kErrorSuccess);
  EXPECT_EQ(subKeys, 2u);
}

TEST_F(Win32RegistryTest, DeletionOfValuesAndLeafKeys) {
  SetString(u"gone", u"x");
  EXPECT_EQ(registry_.RegDeleteValueW(scratch_, u"gone"), kErrorSuccess);
  EXPECT_EQ(registry_.RegDeleteValueW(scratch_, u"gone"), kErrorFileNotFound);

  CreateSubkey(u"Parent\\Child");
  EXPECT_NE(registry_.RegDeleteKeyW(scratch_, u"Parent"), kErrorSuccess);
  EXPECT_EQ(registry_.RegDeleteKeyW(scratch_, u"Parent\\Child"), kErrorSuccess);
  EXPECT_EQ(registry_.RegDeleteKeyW(scratch_, u"Parent"), kErrorSuccess);
  RegKey key = 0;
  EXPECT_EQ(registry_.RegOpenKeyExW(scratch_, u"Parent", kKeyRead, &key),
            kErrorFileNotFound);
}

// Wine keeps subkeys and values sorted by their names folded to lower case:
// "[" and "_" lie between the upper- and the lower-case letters, so they sort
// before every letter here (Windows, folding to upper case, puts subkeys
// named so after "Z", and lists values in creation order).
TEST_F(Win32RegistryTest, WineEnumeratesInLowerCaseNameOrder) {
  const std::vector<std::u16string> created = {u"b",  u"Zeta", u"_x", u"A",
                                               u"a1", u"[br", u"C"};
  const std::vector<std::u16string> sorted = {u"[br", u"_x", u"A",   u"a1",
                                              u"b",   u"C",  u"Zeta"};
  for (const auto& name : created) {
    CreateSubkey(name);
    SetString(name, u"x");
  }
  EXPECT_EQ(testing::SubkeyNames(registry_, scratch_), sorted);
  EXPECT_EQ(testing::ValueNames(registry_, scratch_), sorted);
}

TEST_F(Win32RegistryTest, NamesAreCaseInsensitiveAndKeepTheirCase) {
  CreateSubkey(u"MixedCase");
  RegKey key = 0;
  ASSERT_EQ(registry_.RegOpenKeyExW(scratch_, u"MIXEDCASE", kKeyRead, &key),
            kErrorSuccess);
  registry_.RegCloseKey(key);
  SetString(u"ValueName", u"x");
  uint32_t bytes = 0;
  EXPECT_EQ(registry_.RegQueryValueExW(scratch_, u"valuename", nullptr,
                                       nullptr, &bytes),
            kErrorSuccess);
  EXPECT_EQ(testing::SubkeyNames(registry_, scratch_),
            std::vector<std::u16string>{u"MixedCase"});
}

}  // namespace
}  // namespace tavik
