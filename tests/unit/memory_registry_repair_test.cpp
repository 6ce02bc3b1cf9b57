// The memory registry's deletion rules, links and hive files, which the fix
// and the backup rely on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"

namespace tavik {
namespace {

TEST(MemoryRegistryRepairTest, DeletionFollowsTheWindowsRules) {
  MemoryRegistry reg;
  reg.CreateKey(kHkeyLocalMachine, u"Software\\A\\B");
  reg.CreateKey(kHkeyLocalMachine, u"Software\\Refuses");
  reg.RefuseDeletion(kHkeyLocalMachine, u"Software\\Refuses");
  EXPECT_EQ(reg.RegDeleteKeyW(kHkeyLocalMachine, u"Software\\A"), kErrorAccessDenied);
  EXPECT_EQ(reg.RegDeleteKeyW(kHkeyLocalMachine, u"Software\\Refuses"), kErrorAccessDenied);
  EXPECT_EQ(reg.RegDeleteKeyW(kHkeyLocalMachine, u"Software\\Missing"), kErrorFileNotFound);
  RegKey open = 0;
  ASSERT_EQ(reg.RegOpenKeyExW(kHkeyLocalMachine, u"Software\\A\\B", kKeyRead, &open), 0);
  EXPECT_EQ(reg.RegDeleteKeyW(kHkeyLocalMachine, u"Software\\A\\B"), kErrorSuccess);
  uint32_t subKeys = 0;
  EXPECT_EQ(reg.RegQueryInfoKeyW(open, &subKeys, nullptr), kErrorKeyDeleted);
  reg.RegCloseKey(open);
  EXPECT_EQ(reg.RegDeleteKeyW(kHkeyLocalMachine, u"Software\\A"), kErrorSuccess);
}

TEST(MemoryRegistryRepairTest, LinksOpenAsThemselvesOnlyWhenAsked) {
  MemoryRegistry reg(RegistryFlavor::kWine);
  const char16_t* link = u"Software\\Wow6432Node\\Registered Applications";
  RegKey key = 0;
  uint32_t type = 0;
  std::vector<uint8_t> data(200);
  uint32_t bytes = static_cast<uint32_t>(data.size());
  ASSERT_EQ(reg.RegOpenKeyLinkW(kHkeyLocalMachine, link, kKeyRead, &key), 0);
  ASSERT_EQ(reg.RegQueryValueExW(key, kSymbolicLinkValueName, &type, data.data(), &bytes), 0);
  EXPECT_EQ(type, kRegLink);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data.data()), bytes / 2),
            u"\\Registry\\Machine\\Software\\Registered Applications");
  reg.RegCloseKey(key);
  // An ordinary open reaches the target, which has no such value.
  ASSERT_EQ(reg.RegOpenKeyExW(kHkeyLocalMachine, link, kKeyRead, &key), 0);
  EXPECT_EQ(reg.RegQueryValueExW(key, kSymbolicLinkValueName, &type, nullptr, &bytes),
            kErrorFileNotFound);
  reg.RegCloseKey(key);
  // Links on the way are followed; only the last part is opened as itself.
  reg.CreateKey(kHkeyLocalMachine, u"Software\\Registered Applications\\Inner");
  ASSERT_EQ(reg.RegOpenKeyLinkW(kHkeyLocalMachine,
                                u"Software\\Wow6432Node\\Registered Applications\\Inner",
                                kKeyRead, &key), 0);
  EXPECT_EQ(reg.RegQueryValueExW(key, kSymbolicLinkValueName, &type, nullptr, &bytes),
            kErrorFileNotFound);
  reg.RegCloseKey(key);
}

TEST(MemoryRegistryRepairTest, HiveFilesSaveLoadAndReplace) {
  MemoryFileSystem files;
  MemoryRegistry reg;
  reg.AttachFileSystem(&files);
  reg.SetString(kHkeyLocalMachine, u"Software\\Vendor", u"v", u"data");
  RegKey software = 0;
  ASSERT_EQ(reg.RegOpenKeyExW(kHkeyLocalMachine, u"Software", kKeyRead, &software), 0);
  EXPECT_EQ(reg.RegSaveKeyExW(software, u"C:\\nofolder\\x.hiv", nullptr, kRegNoCompression),
            kErrorPathNotFound);
  ASSERT_EQ(reg.RegSaveKeyExW(software, u"C:\\soft.hiv", nullptr, kRegNoCompression), 0);
  EXPECT_EQ(reg.RegSaveKeyExW(software, u"C:\\soft.hiv", nullptr, kRegNoCompression),
            kErrorAlreadyExists);

  EXPECT_EQ(reg.RegLoadKeyW(kHkeyLocalMachine, u"Copy", u"C:\\missing.hiv"), kErrorFileNotFound);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(files.FileContent(u"C:\\soft.hiv", bytes));
  bytes.resize(bytes.size() - 3);  // a cut file is damaged
  files.AddFile(u"C:\\cut.hiv", bytes);
  EXPECT_EQ(reg.RegLoadKeyW(kHkeyLocalMachine, u"Copy", u"C:\\cut.hiv"), kErrorBadDb);
  EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, u"Copy"));
  ASSERT_EQ(reg.RegLoadKeyW(kHkeyUsers, u"Copy", u"C:\\soft.hiv"), 0);
  EXPECT_TRUE(reg.ValueExists(kHkeyUsers, u"Copy\\Vendor", u"v"));

  files.AddFile(u"C:\\old.hiv");
  EXPECT_EQ(reg.RegReplaceKeyW(software, nullptr, u"C:\\soft.hiv", u"C:\\old.hiv"),
            kErrorAlreadyExists);
  files.Remove(u"C:\\old.hiv");
  EXPECT_EQ(reg.RegReplaceKeyW(software, nullptr, u"C:\\none.hiv", u"C:\\old.hiv"),
            kErrorFileNotFound);
  ASSERT_EQ(reg.RegReplaceKeyW(software, nullptr, u"C:\\soft.hiv", u"C:\\old.hiv"), 0);
  ASSERT_EQ(reg.PendingReplacements().size(), 1u);
  EXPECT_EQ(reg.PendingReplacements()[0].hive, u"HKEY_LOCAL_MACHINE\\Software");
  EXPECT_TRUE(files.Exists(u"C:\\old.hiv"));  // receives the live hive
  // Only a hive's mount key can be replaced.
  EXPECT_EQ(reg.RegReplaceKeyW(software, u"Vendor", u"C:\\soft.hiv", u"C:\\old2.hiv"),
            kErrorInvalidParameter);
  reg.RegCloseKey(software);
}

}  // namespace
}  // namespace tavik
