// The fix and the hive backup over the real registry of the throwaway Wine
// prefix: Wine's own registry links, links of the test's own (also in the
// way of a scanner's walk), and the hive files that Wine can save and load
// back.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/recording_ports.h"
#include "base/text.h"
#include "platform/memory/memory_registry.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_info.h"
#include "repair/classes_root.h"
#include "repair/fix_run.h"
#include "repair/hive_backup.h"
#include "repair/registry_links.h"
#include "scanners/user_traces.h"
#include "support/registry_snapshot.h"

namespace tavik {
namespace {

using Lines = std::vector<std::u16string>;

const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

constexpr char16_t kAppPath[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tavik-wine-test.exe";
constexpr char16_t kTestRoot[] = u"Software\\TavikRepairTest";
constexpr char16_t kTestClass[] = u"Software\\Classes\\.tavik-repair-test";
constexpr char16_t kSoundApps[] = u"Software\\TavikRepairTest\\Apps";
// Links of the sound walk's loop, relative to kSoundApps.
constexpr const char16_t* kSoundLinks[] = {u"\\App\\Loop", u"\\App\\Event\\Again"};

// Deletes a key opened as a link itself (the ordinary calls would reach the
// key it names).
void DeleteLinkKey(HKEY root, const char16_t* path) {
  using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
  const auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, W(path), REG_OPTION_OPEN_LINK, DELETE, &key) == ERROR_SUCCESS) {
    deleteKey(key);
    ::RegCloseKey(key);
  }
}

void CleanUp() {
  // Links first: a tree deletion would otherwise follow them.
  DeleteLinkKey(HKEY_LOCAL_MACHINE, u"Software\\TavikRepairTest\\Holder\\Inner");
  for (const char16_t* link : kSoundLinks) {
    DeleteLinkKey(HKEY_LOCAL_MACHINE, (std::u16string(kSoundApps) + link).c_str());
  }
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, W(kTestRoot));
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, W(kTestRoot));
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, W(kAppPath));
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, W(kAppPath));
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, W(kTestClass));
  ::RegDeleteKeyW(HKEY_CURRENT_USER, W(kTestClass));
}

void CreateKey(const std::u16string& path, const char16_t* value = nullptr) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(path.c_str()), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (value != nullptr) {
    const std::u16string data = value;
    ::RegSetValueExW(key, W(value), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * 2));
  }
  ::RegCloseKey(key);
}

// HKLM `path` as a link to HKLM `targetPath`; by default
// HKLM\Software\TavikRepairTest\Holder\Inner to ...\Target.
void CreateLink(const char16_t* path = u"Software\\TavikRepairTest\\Holder\\Inner",
                const char16_t* targetPath = u"Software\\TavikRepairTest\\Target") {
  HKEY link = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS, nullptr, &link, nullptr),
            ERROR_SUCCESS);
  const std::wstring target = L"\\Registry\\Machine\\" + std::wstring(W(targetPath));
  ASSERT_EQ(::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                             reinterpret_cast<const BYTE*>(target.c_str()),
                             static_cast<DWORD>(target.size() * 2)),
            ERROR_SUCCESS);
  ::RegCloseKey(link);
}

class RepairWineTest : public ::testing::Test {
 protected:
  void SetUp() override { CleanUp(); }
  void TearDown() override { CleanUp(); }

  RepairEnvironment environment() {
    return RepairEnvironment{registry, files, system, stop, automation, results, host};
  }
  void AddKeyRow(const std::u16string& path) {
    ResultsRow row;
    row.cells = {u"Invalid Key", u"HKEY_LOCAL_MACHINE", path, u"-------"};
    row.checked = true;
    results.rows.push_back(row);
  }

  Win32Registry registry;
  Win32FileSystem files;
  Win32SystemInfo system;
  SharedFlag stop{0};
  SharedFlag automation{0};
  RecordingResultsView results;
  RecordingHost host;
};

TEST_F(RepairWineTest, WineLinksAreSeenAsLinks) {
  EXPECT_EQ(CheckTreeForLinks(registry, kHkeyLocalMachine,
                              u"Software\\Wow6432Node\\Registered Applications"),
            LinkCheck::kLink);
  EXPECT_EQ(CheckTreeForLinks(registry, kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes"),
            LinkCheck::kLink);
  EXPECT_EQ(CheckTreeForLinks(registry, kHkeyLocalMachine, u"Software\\Wine"),
            LinkCheck::kNoLink);
  EXPECT_EQ(CheckTreeForLinks(registry, kHkeyLocalMachine, u"Software\\TavikRepairTest"),
            LinkCheck::kAbsent);
}

// Links and trees holding one stay; a path through a link deletes the
// ordinary key it reaches; nothing else in the registry changes.
TEST_F(RepairWineTest, FixLeavesLinksAndDeletesThroughThem) {
  CreateKey(kAppPath, u"");
  CreateKey(std::u16string(kAppPath) + u"\\Sub", u"x");
  CreateKey(u"Software\\TavikRepairTest\\Target\\Child", u"t");
  CreateKey(u"Software\\TavikRepairTest\\Holder\\Plain", u"p");
  CreateLink();
  const auto before = testing::TakeSnapshot(registry);

  AddKeyRow(u"Software\\Wow6432Node\\Registered Applications");
  AddKeyRow(u"Software\\Wow6432Node\\Classes");
  AddKeyRow(u"Software\\TavikRepairTest\\Holder");
  AddKeyRow(u"Software\\TavikRepairTest\\Holder\\Inner");
  AddKeyRow(u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
            u"tavik-wine-test.exe");
  FixThreadMain(environment());

  ASSERT_EQ(results.rows.size(), 4u);
  EXPECT_EQ(host.messages, Lines{u"Total Errors Fixed: 1    "});
  Lines changes = testing::SnapshotChanges(before, testing::TakeSnapshot(registry));
  std::sort(changes.begin(), changes.end());
  // HKLM is walked once, under its own name; the Wow6432Node path reaches
  // the 64-bit key.
  EXPECT_EQ(changes, (Lines{u"-key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                            u"App Paths\\tavik-wine-test.exe",
                            u"-key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                            u"App Paths\\tavik-wine-test.exe\\Sub"}));
}

// The memory registry's Wine flavor must see links as Wine does: the same
// link value, and a RegDeleteKeyW through a link that removes the target and
// leaves the link listed.
TEST_F(RepairWineTest, MemoryLinksAgreeWithWine) {
  MemoryRegistry memory(RegistryFlavor::kWine);
  auto linkValue = [](Registry& reg, const char16_t* path) {
    RegKey key = 0;
    if (reg.RegOpenKeyLinkW(kHkeyLocalMachine, path, kKeyRead, &key) != kErrorSuccess) {
      return std::u16string(u"<no key>");
    }
    std::vector<uint8_t> data(512);
    uint32_t bytes = static_cast<uint32_t>(data.size());
    uint32_t type = 0;
    const int32_t rc = reg.RegQueryValueExW(key, kSymbolicLinkValueName, &type, data.data(), &bytes);
    reg.RegCloseKey(key);
    if (rc != kErrorSuccess) return std::u16string(u"<none>");
    return Utf8ToUtf16(std::to_string(type)) + u":" +
           std::u16string(reinterpret_cast<const char16_t*>(data.data()), bytes / 2);
  };
  for (const char16_t* path :
       {u"Software\\Wow6432Node\\Registered Applications", u"Software\\Wow6432Node\\Classes",
        u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths",
        u"Software\\Wow6432Node\\Policies", u"Software\\Wine"}) {
    EXPECT_EQ(linkValue(memory, path), linkValue(registry, path)) << Utf16ToUtf8(path);
  }

  CreateKey(u"Software\\TavikRepairTest\\Target");
  CreateLink();
  memory.CreateKey(kHkeyLocalMachine, u"Software\\TavikRepairTest\\Target");
  memory.AddLink(kHkeyLocalMachine, u"Software\\TavikRepairTest\\Holder\\Inner",
                 u"Software\\TavikRepairTest\\Target");
  for (Registry* reg : {static_cast<Registry*>(&memory), static_cast<Registry*>(&registry)}) {
    EXPECT_EQ(reg->RegDeleteKeyW(kHkeyLocalMachine, u"Software\\TavikRepairTest\\Holder\\Inner"),
              kErrorSuccess);
    RegKey key = 0;
    EXPECT_EQ(reg->RegOpenKeyExW(kHkeyLocalMachine, u"Software\\TavikRepairTest\\Target",
                                 kKeyRead, &key),
              kErrorFileNotFound);
    EXPECT_EQ(reg->RegOpenKeyLinkW(kHkeyLocalMachine,
                                   u"Software\\TavikRepairTest\\Holder\\Inner", kKeyRead, &key),
              kErrorSuccess);
    reg->RegCloseKey(key);
  }

  // Deleting through a handle (an empty name) removes the key the handle
  // holds: an ordinary key, or a link opened as itself, never its target.
  CreateKey(u"Software\\TavikRepairTest\\Target");
  CreateKey(u"Software\\TavikRepairTest\\Own");
  memory.CreateKey(kHkeyLocalMachine, u"Software\\TavikRepairTest\\Target");
  memory.CreateKey(kHkeyLocalMachine, u"Software\\TavikRepairTest\\Own");
  for (Registry* reg : {static_cast<Registry*>(&memory), static_cast<Registry*>(&registry)}) {
    const char* name = reg == &registry ? "wine" : "memory";
    for (const char16_t* path : {u"Software\\TavikRepairTest\\Own",
                                 u"Software\\TavikRepairTest\\Holder\\Inner"}) {
      RegKey key = 0;
      ASSERT_EQ(reg->RegOpenKeyLinkW(kHkeyLocalMachine, path, kKeyRead, &key), kErrorSuccess);
      EXPECT_EQ(reg->RegDeleteKeyW(key, u""), kErrorSuccess) << name;
      uint32_t subKeys = 0;
      EXPECT_EQ(reg->RegQueryInfoKeyW(key, &subKeys, nullptr), kErrorKeyDeleted) << name;
      reg->RegCloseKey(key);
      EXPECT_EQ(reg->RegOpenKeyLinkW(kHkeyLocalMachine, path, kKeyRead, &key),
                kErrorFileNotFound)
          << name;
    }
    RegKey target = 0;
    EXPECT_EQ(reg->RegOpenKeyExW(kHkeyLocalMachine, u"Software\\TavikRepairTest\\Target",
                                 kKeyRead, &target),
              kErrorSuccess)
        << name;
    reg->RegCloseKey(target);
  }
}

// A loop of links below a sound scheme tree, with two branches back to its
// top: followed, the walk would double at every level and never end.
TEST_F(RepairWineTest, SoundWalkStepsOverALinkLoop) {
  const std::u16string apps = kSoundApps;
  const std::u16string event = apps + u"\\App\\Event\\.Current";
  CreateKey(event);
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(event.c_str()), 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  const std::wstring gone = L"C:\\tavik-missing\\ding.wav";
  ::RegSetValueExW(key, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(gone.c_str()),
                   static_cast<DWORD>((gone.size() + 1) * 2));
  ::RegCloseKey(key);

  SharedFlag stop{0};
  auto walk = [&](double* seconds) {
    FindingList list;
    const ScanContext context{registry, files, stop, nullptr};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ScanSoundEvents(context, &list, kHkeyLocalMachine, apps), 0);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<std::u16string> paths;
    for (const Finding& finding : list.findings) paths.push_back(finding.path);
    return paths;
  };
  double plain = 0;
  double looped = 0;
  const auto before = walk(&plain);
  for (const char16_t* link : kSoundLinks) {
    CreateLink((apps + link).c_str(), kSoundApps);
  }
  EXPECT_EQ(walk(&looped), before);
  EXPECT_EQ(before, std::vector<std::u16string>{event});
  std::printf("sound walk: %.3f s plain, %.3f s with the loop\n", plain, looped);
}

// Which key a HKEY_CLASSES_ROOT handle holds: Wine's view shows the machine's
// classes alone, even where the user has a key of the same name.
TEST_F(RepairWineTest, ClassesRootKeysAreTheMachinesUnderWine) {
  MemoryRegistry memory(RegistryFlavor::kWine);
  CreateKey(kTestClass, u"");
  memory.CreateKey(kHkeyLocalMachine, kTestClass);
  HKEY user = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, W(kTestClass), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &user, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(user);
  memory.CreateKey(kHkeyCurrentUser, kTestClass);
  for (Registry* reg : {static_cast<Registry*>(&memory), static_cast<Registry*>(&registry)}) {
    RegKey key = 0;
    ASSERT_EQ(reg->RegOpenKeyExW(kHkeyClassesRoot, u".tavik-repair-test", kKeyRead, &key),
              kErrorSuccess);
    ConcreteKey concrete;
    EXPECT_TRUE(FindConcreteClassesKey(*reg, key, &concrete));
    EXPECT_EQ(concrete.root, kHkeyLocalMachine);
    EXPECT_TRUE(EqualsIgnoreAsciiCase(concrete.path, kTestClass)) << Utf16ToUtf8(concrete.path);
    reg->RegCloseKey(key);
  }
}

bool SetPrivilege(const wchar_t* name, bool enable) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          &token)) {
    return false;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  const bool ok = ::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) &&
                  ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  ::CloseHandle(token);
  return ok;
}

std::u16string ConfigFile(const char16_t* name) {
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  return std::u16string(reinterpret_cast<const char16_t*>(windows)) +
         u"\\system32\\config" + name;
}

bool FileExists(const std::u16string& path) {
  return ::GetFileAttributesW(W(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

// The file's DACL as GetFileSecurityW reports it, in SDDL.
std::wstring FileDacl(const std::u16string& path) {
  DWORD bytes = 0;
  ::GetFileSecurityW(W(path.c_str()), DACL_SECURITY_INFORMATION, nullptr, 0, &bytes);
  std::vector<uint8_t> descriptor(bytes);
  LPWSTR text = nullptr;
  if (bytes == 0 ||
      !::GetFileSecurityW(W(path.c_str()), DACL_SECURITY_INFORMATION, descriptor.data(), bytes,
                          &bytes) ||
      !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return L"<none>";
  }
  const std::wstring dacl = text;
  ::LocalFree(text);
  return dacl;
}

TEST_F(RepairWineTest, BackupSavesWhatWineCanSaveAndItLoadsBack) {
  CreateKey(kTestRoot, u"marker");
  // Without the backup privilege every save fails: no set, no date.
  ASSERT_TRUE(SetPrivilege(L"SeBackupPrivilege", false));
  EXPECT_EQ(BackupHives(registry, files, system), -1);
  for (const HiveTableRow& row : kHiveTable) {
    EXPECT_FALSE(FileExists(ConfigFile(row.backupFile)));
  }
  EXPECT_FALSE(ReadBackupTime(files).has_value());

  ASSERT_TRUE(SetPrivilege(L"SeBackupPrivilege", true));
  ASSERT_TRUE(SetPrivilege(L"SeRestorePrivilege", true));
  for (int run = 0; run < 2; ++run) {  // the second replaces the first
    ASSERT_EQ(BackupHives(registry, files, system), 0);
    // Of the twelve, Wine mounts System, Software and .Default.
    for (const HiveTableRow& row : kHiveTable) {
      const std::u16string name = row.backupFile;
      const bool saved = name == u"\\TavikRegCSys.tvk" || name == u"\\TavikRegCSoft.tvk" ||
                         name == u"\\TavikRegCDefault.tvk";
      EXPECT_EQ(FileExists(ConfigFile(row.backupFile)), saved) << Utf16ToUtf8(name);
    }
    // Wine keeps no descriptor with a file: it reports one made from the
    // Unix permissions, where the set's protection shows as no entry for
    // everyone (WD), which a file made without it has.
    for (const char16_t* name : {u"\\TavikRegCSys.tvk", u"\\TavikRegCSoft.tvk",
                                 u"\\TavikRegCDefault.tvk", kBackupTimeFile}) {
      const std::wstring dacl = FileDacl(ConfigFile(name));
      EXPECT_NE(dacl.find(L"(A;;FA;;;SY)"), std::wstring::npos) << Utf16ToUtf8(name);
      EXPECT_EQ(dacl.find(L";;;WD)"), std::wstring::npos) << Utf16ToUtf8(name);
    }
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::u16string today = Utf8ToUtf16(std::to_string(now.wDay) + "/" +
                                             std::to_string(now.wMonth) + "/" +
                                             std::to_string(now.wYear));
    EXPECT_EQ(ReadBackupTime(files), today);
  }

  const std::u16string unprotected = ConfigFile(u"\\TavikUnprotected.tvk");
  ASSERT_TRUE(files.WriteFileBytes(unprotected.c_str(), {'x'}, false));
  EXPECT_NE(FileDacl(unprotected).find(L";;;WD)"), std::wstring::npos);
  ::DeleteFileW(W(unprotected.c_str()));
  // The token's user is the one whose hive HKEY_USERS mounts under that
  // name (Wine's HiveList is empty, so the user rows are skipped).
  std::u16string user;
  ASSERT_TRUE(system.CurrentUserSidText(user));
  HKEY hive = nullptr;
  EXPECT_EQ(::RegOpenKeyExW(HKEY_USERS, W(user.c_str()), 0, KEY_READ, &hive), ERROR_SUCCESS)
      << Utf16ToUtf8(user);
  if (hive != nullptr) ::RegCloseKey(hive);

  // The saved Software hive loads under a scratch name with the marker in it.
  ASSERT_EQ(registry.RegLoadKeyW(kHkeyLocalMachine, u"TavikScratch",
                                 ConfigFile(u"\\TavikRegCSoft.tvk").c_str()),
            kErrorSuccess);
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"TavikScratch\\TavikRepairTest", 0, KEY_READ,
                            &key),
            ERROR_SUCCESS);
  wchar_t text[32] = {};
  DWORD bytes = sizeof(text);
  EXPECT_EQ(::RegQueryValueExW(key, L"marker", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(text), &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"marker");
  ::RegCloseKey(key);
  EXPECT_EQ(::RegUnLoadKeyW(HKEY_LOCAL_MACHINE, L"TavikScratch"), ERROR_SUCCESS);

  // The restore mounts every backup file under a scratch name before it
  // schedules anything: a damaged file stops it, and no scratch key stays.
  EXPECT_EQ(RestoreHives(registry, files, system), 0);
  ASSERT_TRUE(files.WriteFileBytes(ConfigFile(u"\\TavikRegCSoft.tvk").c_str(), {'x'}, false));
  std::vector<std::u16string> leftScheduled;
  EXPECT_EQ(RestoreHives(registry, files, system, &leftScheduled), -1);
  EXPECT_TRUE(leftScheduled.empty());
  EXPECT_NE(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"TavikRestoreCheck", 0, KEY_READ, &key),
            ERROR_SUCCESS);
}

}  // namespace
}  // namespace tavik
