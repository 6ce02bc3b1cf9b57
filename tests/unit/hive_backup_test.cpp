#include "repair/hive_backup.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "unit/repair_fixture.h"

namespace tavik {
namespace {

using testing::RepairFixture;
using Lines = std::vector<std::u16string>;

constexpr char16_t kConfig[] = u"C:\\windows\\system32\\config";
constexpr char16_t kHiveList[] = u"System\\CurrentControlSet\\Control\\HiveList";
constexpr char16_t kUserSid[] = u"S-1-5-21-1-2-3-1001";

std::u16string InConfig(const char16_t* name) { return std::u16string(kConfig) + name; }

std::string FileText(RepairFixture& fix, const std::u16string& path) {
  std::vector<uint8_t> bytes;
  if (!fix.files.FileContent(path, bytes)) return "<none>";
  return std::string(bytes.begin(), bytes.end());
}

// The "Marker" value below `keyPath` of the backup file `name`, loaded under
// root\Check; "<none>" when the file does not load or the value is missing.
std::u16string MarkerInSavedHive(RepairFixture& fix, RegKey root, const char16_t* name,
                                 const std::u16string& keyPath) {
  if (fix.registry.RegLoadKeyW(root, u"Check", InConfig(name).c_str()) != 0) return u"<none>";
  RegKey key = 0;
  if (fix.registry.RegOpenKeyExW(root, (u"Check\\" + keyPath).c_str(), kKeyRead, &key) != 0) {
    return u"<none>";
  }
  char16_t text[16] = {};
  uint32_t bytes = sizeof(text);
  const bool read = fix.registry.RegQueryValueExW(key, u"Marker", nullptr,
                                                  reinterpret_cast<uint8_t*>(text), &bytes) == 0;
  fix.registry.RegCloseKey(key);
  return read ? std::u16string(text) : u"<none>";
}

// A machine with the usual hives mounted and two users signed in; the
// process runs as the second in the hive list (kUserSid).
void MountHives(RepairFixture& fix) {
  auto& reg = fix.registry;
  reg.SetString(kHkeyLocalMachine, u"Software\\Vendor", u"Marker", u"machine");
  reg.CreateKey(kHkeyLocalMachine, u"Sam\\SAM");
  reg.CreateKey(kHkeyUsers, u".Default\\Software");
  for (const std::u16string other : {u"S-1-5-21-1-2-3-1000", u"S-1-5-21-1-2-3-1000_Classes"}) {
    reg.SetString(kHkeyUsers, other + u"\\Software", u"Marker", u"other user");
    reg.SetString(kHkeyLocalMachine, kHiveList, u"\\REGISTRY\\USER\\" + other,
                  u"\\Device\\HarddiskVolume2\\Users\\bob\\NTUSER.DAT");
  }
  reg.SetString(kHkeyUsers, std::u16string(kUserSid) + u"\\Software", u"Marker", u"user");
  reg.CreateKey(kHkeyUsers, std::u16string(kUserSid) + u"_Classes");
  reg.SetString(kHkeyLocalMachine, kHiveList, u"\\REGISTRY\\USER\\" + std::u16string(kUserSid),
                u"\\Device\\HarddiskVolume2\\Users\\ann\\NTUSER.DAT");
  reg.SetString(kHkeyLocalMachine, kHiveList,
                u"\\REGISTRY\\USER\\" + std::u16string(kUserSid) + u"_Classes",
                u"\\Device\\HarddiskVolume2\\Users\\ann\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat");
}

// Wine refuses security attributes in RegSaveKeyExW but saves over a file
// made with them first; either way each file is born protected.
TEST(HiveBackupTest, SavesEveryMountedHiveAndDatesTheSet) {
  constexpr char16_t kAdminsAndSystemOnly[] = u"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";
  for (const RegistryFlavor flavor : {RegistryFlavor::kWindows, RegistryFlavor::kWine}) {
    SCOPED_TRACE(flavor == RegistryFlavor::kWine ? "wine" : "windows");
    RepairFixture fix(flavor);
    MountHives(fix);
    ASSERT_FALSE(fix.files.Exists(kConfig));  // created by the backup
    ASSERT_EQ(BackupHives(fix.registry, fix.files, fix.system), 0);
    for (const HiveTableRow& row : kHiveTable) {
      const std::u16string name = row.backupFile;
      const bool mounted = name != u"\\TavikRegCBCD.tvk" && name != u"\\TavikRegCCOM.tvk" &&
                           name.find(u"Network") == std::u16string::npos &&
                           name.find(u"Local") == std::u16string::npos;
      EXPECT_EQ(fix.files.Exists(InConfig(row.backupFile)), mounted) << Utf16ToUtf8(name);
      if (mounted) {
        EXPECT_EQ(fix.files.FileSecurity(InConfig(row.backupFile)), kAdminsAndSystemOnly)
            << Utf16ToUtf8(name);
      }
    }
    EXPECT_EQ(FileText(fix, InConfig(kBackupTimeFile)), "7/12/2026");
    EXPECT_EQ(fix.files.FileSecurity(InConfig(kBackupTimeFile)), kAdminsAndSystemOnly);
    EXPECT_EQ(fix.files.OpenFileCount(), 0u);
    // The user hive file loads back with what was saved: the process user's.
    EXPECT_EQ(MarkerInSavedHive(fix, kHkeyLocalMachine, u"\\TavikRegCUser.tvk",
                                u"Software"),
              u"user");
  }
}

TEST(HiveBackupTest, SecondBackupReplacesTheFirstSet) {
  RepairFixture fix;
  MountHives(fix);
  fix.system.SetDate(1, 2, 2026);
  ASSERT_EQ(BackupHives(fix.registry, fix.files, fix.system), 0);
  fix.registry.DeleteTree(kHkeyLocalMachine, u"Sam");
  fix.registry.SetString(kHkeyLocalMachine, u"Software\\Vendor", u"Marker", u"second");
  fix.system.SetDate(7, 1, 2026);
  ASSERT_EQ(BackupHives(fix.registry, fix.files, fix.system), 0);
  EXPECT_FALSE(fix.files.Exists(InConfig(u"\\TavikRegCSam.tvk")));
  EXPECT_EQ(FileText(fix, InConfig(kBackupTimeFile)), "7/1/2026");
  // The loaded copy holds the second backup's data.
  EXPECT_EQ(MarkerInSavedHive(fix, kHkeyUsers, u"\\TavikRegCSoft.tvk", u"Vendor"),
            u"second");
}

// A set missing a hive cannot restore what the fix deletes: nothing of it,
// not even the old date, is left.
TEST(HiveBackupTest, FailedSaveLeavesNoSetAndNoDate) {
  RepairFixture fix;
  MountHives(fix);
  ASSERT_EQ(BackupHives(fix.registry, fix.files, fix.system), 0);
  fix.registry.InjectSaveFailure(kHkeyUsers, u".Default", kErrorPrivilegeNotHeld);
  EXPECT_EQ(BackupHives(fix.registry, fix.files, fix.system), -1);
  for (const HiveTableRow& row : kHiveTable) {
    EXPECT_FALSE(fix.files.Exists(InConfig(row.backupFile))) << Utf16ToUtf8(row.backupFile);
  }
  EXPECT_FALSE(ReadBackupTime(fix.files).has_value());
}

// When the old date cannot be taken away the old set stays as it was.
TEST(HiveBackupTest, UndeletableDateKeepsThePreviousSet) {
  RepairFixture fix;
  MountHives(fix);
  ASSERT_EQ(BackupHives(fix.registry, fix.files, fix.system), 0);
  fix.files.SetUndeletable(InConfig(kBackupTimeFile), true);
  fix.system.SetDate(8, 12, 2026);
  EXPECT_EQ(BackupHives(fix.registry, fix.files, fix.system), -1);
  EXPECT_EQ(FileText(fix, InConfig(kBackupTimeFile)), "7/12/2026");
  EXPECT_TRUE(fix.files.Exists(InConfig(u"\\TavikRegCSoft.tvk")));
}

// A set is dated only when it is whole: no file of an older set left in it
// and no mounted hive left out.
TEST(HiveBackupTest, BackupFailsWhenTheNewSetCannotBeWhole) {
  struct Case {
    const char* name;
    void (*arrange)(RepairFixture&);
  };
  const Case cases[] = {
      {"old file of a hive no longer mounted stays",
       [](RepairFixture& fix) {
         fix.registry.DeleteTree(kHkeyLocalMachine, u"Sam");
         fix.files.SetUndeletable(InConfig(u"\\TavikRegCSam.tvk"), true);
       }},
      {"mounted hive refuses its open",
       [](RepairFixture& fix) {
         fix.registry.InjectOpenFailure(kHkeyLocalMachine, u"Sam", kErrorAccessDenied);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RepairFixture fix;
    MountHives(fix);
    ASSERT_EQ(BackupHives(fix.registry, fix.files, fix.system), 0);
    c.arrange(fix);
    EXPECT_EQ(BackupHives(fix.registry, fix.files, fix.system), -1);
    EXPECT_FALSE(ReadBackupTime(fix.files).has_value());
  }
}

TEST(HiveBackupTest, ComponentsIsLoadedFromItsFileWhenNotMounted) {
  RepairFixture fix;
  RepairFixture source;
  source.registry.SetString(kHkeyLocalMachine, u"Components\\Store", u"v", u"c");
  ASSERT_EQ(source.files.AddFolder(u"C:\\out"), true);
  RegKey key = 0;
  ASSERT_EQ(source.registry.RegOpenKeyExW(kHkeyLocalMachine, u"Components", kKeyRead, &key), 0);
  ASSERT_EQ(source.registry.RegSaveKeyExW(key, u"C:\\out\\Components", nullptr, kRegNoCompression), 0);
  source.registry.RegCloseKey(key);
  std::vector<uint8_t> hive;
  ASSERT_TRUE(source.files.FileContent(u"C:\\out\\Components", hive));
  ASSERT_TRUE(fix.files.AddFile(u"C:\\windows\\System32\\Config\\Components", hive));

  ASSERT_EQ(BackupHives(fix.registry, fix.files, fix.system), 0);
  EXPECT_TRUE(fix.registry.ValueExists(kHkeyLocalMachine, u"COMPONENTS\\Store", u"v"));
  EXPECT_TRUE(fix.files.Exists(InConfig(u"\\TavikRegCCOM.tvk")));
}

// The hives of the user the process runs as, among other users signed in.
TEST(HiveBackupTest, FindUserHiveTakesTheProcessUsersHives) {
  struct Case {
    const char* name;
    std::u16string user;  // empty: the token cannot be read
    int32_t classes;
    std::u16string expected;  // empty: none (-1)
  };
  const Case cases[] = {
      {"not the longer identifier listed first", u"S-1-5-21-9-1001", 0, u"S-1-5-21-9-1001"},
      {"classes hive, as stored", u"S-1-5-21-9-1001", 1, u"s-1-5-21-9-1001_classes"},
      {"second user", u"S-1-5-21-9-1002", 0, u"S-1-5-21-9-1002"},
      {"cloud account", u"S-1-12-1-111-222-333-444", 0, u"S-1-12-1-111-222-333-444"},
      {"cloud account classes", u"S-1-12-1-111-222-333-444", 1,
       u"S-1-12-1-111-222-333-444_Classes"},
      {"profile outside a Users folder", u"S-1-5-21-5-500", 0, u"S-1-5-21-5-500"},
      {"shorter identifier", u"S-1-5-21-9-100", 0, u""},
      {"no classes hive loaded", u"S-1-5-21-9-1002", 1, u""},
      {"mounted elsewhere only", u"S-1-5-21-9-2000", 0, u""},
      {"token unreadable", u"", 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RepairFixture fix;
    auto add = [&](const std::u16string& name, const std::u16string& file) {
      fix.registry.SetString(kHkeyLocalMachine, kHiveList, name, file);
    };
    add(u"\\REGISTRY\\MACHINE\\SOFTWARE", u"\\Device\\HarddiskVolume2\\Windows\\System32\\config\\SOFTWARE");
    add(u"\\REGISTRY\\MACHINE\\S-1-5-21-9-2000", u"\\Device\\HarddiskVolume2\\Users\\x\\NTUSER.DAT");
    add(u"\\REGISTRY\\USER\\S-1-5-19", u"\\Device\\HarddiskVolume2\\Windows\\ServiceProfiles\\LocalService\\NTUSER.DAT");
    add(u"\\REGISTRY\\USER\\S-1-5-21-5-500", u"\\Device\\HarddiskVolume1\\Profiles\\Admin\\NTUSER.DAT");
    add(u"\\REGISTRY\\USER\\S-1-5-21-9-10010", u"\\Device\\HarddiskVolume2\\Users\\amy\\NTUSER.DAT");
    add(u"\\REGISTRY\\USER\\s-1-5-21-9-1001_classes", u"\\Device\\HarddiskVolume2\\users\\bob\\UsrClass.dat");
    add(u"\\REGISTRY\\USER\\S-1-5-21-9-1001", u"\\Device\\HarddiskVolume2\\Users\\bob\\NTUSER.DAT");
    add(u"\\REGISTRY\\USER\\S-1-5-21-9-1002", u"\\Device\\HarddiskVolume2\\Users\\eve\\NTUSER.DAT");
    add(u"\\REGISTRY\\USER\\S-1-12-1-111-222-333-444", u"\\Device\\HarddiskVolume2\\Users\\kim\\NTUSER.DAT");
    add(u"\\REGISTRY\\USER\\S-1-12-1-111-222-333-444_Classes", u"\\Device\\HarddiskVolume2\\Users\\kim\\UsrClass.dat");
    fix.system.SetCurrentUserSid(c.user);
    std::u16string out = u"unchanged";
    const int32_t result = FindUserHive(fix.registry, fix.system, out, c.classes);
    EXPECT_EQ(result, c.expected.empty() ? -1 : 0);
    EXPECT_EQ(out, c.expected.empty() ? u"unchanged" : c.expected);
    EXPECT_EQ(fix.registry.OpenHandleCount(), 0u);
  }
}

TEST(HiveBackupTest, ReadBackupTimeTakesOneShortToken) {
  struct Case {
    const char* content;  // null: no file
    std::optional<std::u16string> expected;
  };
  const Case cases[] = {
      {nullptr, std::nullopt},
      {"7/1/2026", u"7/1/2026"},
      {"  \r\n31/12/2026 trailing", u"31/12/2026"},
      {"123456789012", u"123456789012"},
      {"1234567890123", std::nullopt},
      {"", u""},
      {"7/1/2026\x1A" "99999999999999", u"7/1/2026"},
  };
  for (const Case& c : cases) {
    RepairFixture fix;
    if (c.content != nullptr) {
      const std::string text = c.content;
      ASSERT_TRUE(fix.files.AddFile(InConfig(kBackupTimeFile),
                                    std::vector<uint8_t>(text.begin(), text.end())));
    }
    EXPECT_EQ(ReadBackupTime(fix.files), c.expected) << (c.content ? c.content : "none");
  }
}

struct RestoreCase {
  const char* name;
  bool timeFile;
  bool answerYes;
  void (*arrange)(RepairFixture&);  // after the backup; null: nothing
  const char16_t* message;          // null: no restore was asked for
  Lines pending;                    // "hive: new file / old file"
};

// The file name without its folder.
std::u16string FileName(const std::u16string& path) {
  return path.substr(path.rfind(u'\\') + 1);
}

constexpr char16_t kUnchanged[] = u"Unable to restore registry. The registry stays unchanged.";
constexpr char16_t kSystemFromBackup[] =
    u"HKEY_LOCAL_MACHINE\\System: TavikRegCSys.tvk / BTavikRegCSys.tvk";
// An undone replace: the file that received the live hive replaces it.
constexpr char16_t kSystemAsItIs[] =
    u"HKEY_LOCAL_MACHINE\\System: BTavikRegCSys.tvk / UTavikRegCSys.tvk";

TEST(HiveBackupTest, RestoreAsksThenSchedulesEveryBackedUpHiveOrNone) {
  const std::u16string question =
      u"question:Registry Backup dated 7/1/2026 (DD/MM/YYYY) is available. Do you want to "
      u"restore Registry to specified date?";
  const std::u16string user = u"HKEY_USERS\\" + std::u16string(kUserSid);
  const RestoreCase cases[] = {
      {"yes", true, true, nullptr,
       u"Registry Restored Successfully. Please restart your computer.",
       {kSystemFromBackup, u"HKEY_LOCAL_MACHINE\\Sam: TavikRegCSam.tvk / BTavikRegCSam.tvk",
        u"HKEY_LOCAL_MACHINE\\Software: TavikRegCSoft.tvk / BTavikRegCSoft.tvk",
        u"HKEY_USERS\\.Default: TavikRegCDefault.tvk / BTavikRegCDefault.tvk",
        user + u": TavikRegCUser.tvk / BTavikRegCUser.tvk",
        user + u"_Classes: TavikRegCUserClass.tvk / BTavikRegCUserClass.tvk"}},
      {"no", true, false, nullptr, nullptr, {}},
      {"no date", false, true, nullptr, nullptr, {}},
      // A replace that fails midway: the one before it is undone.
      {"replace fails", true, true,
       [](RepairFixture& fix) {
         fix.registry.InjectReplaceFailure(kHkeyLocalMachine, u"Sam", kErrorAccessDenied);
       },
       kUnchanged, {kSystemAsItIs}},
      {"undo fails", true, true,
       [](RepairFixture& fix) {
         fix.registry.InjectReplaceFailure(kHkeyLocalMachine, u"Sam", kErrorAccessDenied);
         fix.registry.InjectReplaceFailure(kHkeyLocalMachine, u"System", kErrorAccessDenied, 1);
       },
       u"Unable to restore registry. These hives will still be replaced from the backup at "
       u"the next start of Windows:\nHKEY_LOCAL_MACHINE\\System",
       {kSystemFromBackup}},
      // The checks before the first replace: nothing is scheduled.
      {"backup file is no hive", true, true,
       [](RepairFixture& fix) {
         fix.files.AddFile(InConfig(u"\\TavikRegCSoft.tvk"), {'x'});
       },
       kUnchanged, {}},
      {"replaced-hive name cannot be freed", true, true,
       [](RepairFixture& fix) {
         fix.files.SetUndeletable(InConfig(u"\\BTavikRegCSys.tvk"), true);
       },
       kUnchanged, {}},
      {"hive mounted since the backup", true, true,
       [](RepairFixture& fix) { fix.registry.CreateKey(kHkeyUsers, u"S-1-5-20"); },
       kUnchanged, {}},
      {"mounted hive refuses its open", true, true,
       [](RepairFixture& fix) {
         fix.registry.InjectOpenFailure(kHkeyUsers, u".Default", kErrorAccessDenied);
       },
       kUnchanged, {}},
  };
  for (const RestoreCase& c : cases) {
    SCOPED_TRACE(c.name);
    RepairFixture fix;
    MountHives(fix);
    fix.system.SetDate(7, 1, 2026);
    ASSERT_EQ(BackupHives(fix.registry, fix.files, fix.system), 0);
    if (!c.timeFile) fix.files.Remove(InConfig(kBackupTimeFile));
    // A replaced-hive file of an earlier restore makes room for this one.
    fix.files.AddFile(InConfig(u"\\BTavikRegCSys.tvk"));
    fix.registry.CreateKey(kHkeyLocalMachine, u"System\\Select");
    if (c.arrange != nullptr) c.arrange(fix);
    fix.host.answerYes = c.answerYes;
    fix.host.events.clear();
    RestoreThreadMain(fix.environment());
    Lines events{u"busy-stop-locked",
                 c.timeFile ? question : u"message:Registry Backup not available."};
    if (c.message != nullptr) {
      events.push_back(u"title:Restoring Registry - Tavik Registry Cleaner");
      events.push_back(u"message:" + std::u16string(c.message));
    }
    events.push_back(u"idle");
    events.push_back(u"title:Tavik Registry Cleaner");
    EXPECT_EQ(fix.host.events, events);
    Lines pending;
    for (const auto& replacement : fix.registry.PendingReplacements()) {
      pending.push_back(replacement.hive + u": " + FileName(replacement.newFile) + u" / " +
                        FileName(replacement.oldFile));
    }
    EXPECT_EQ(pending, c.pending);
    EXPECT_EQ(fix.registry.OpenHandleCount(), 0u);
    EXPECT_FALSE(fix.registry.KeyExists(kHkeyLocalMachine, u"TavikRestoreCheck"));
  }
}

}  // namespace
}  // namespace tavik
