// The installed programs scanner on data the scenarios cannot express:
// record sizes at and around the offsets it reads, values of the wrong type,
// names at the registry's limits, keys that vanish while they are scanned,
// access limits and stop requests.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/text.h"
#include "scan_fixture.h"
#include "scanners/installed_programs.h"
#include "scanners/registry_value_reads.h"
#include "scanners/slow_info_cache.h"
#include "platform/forwarding_registry.h"

namespace tavik {
namespace {

using testing::ScanFixture;

const std::u16string kUninstall(kUninstallPath);
const std::u16string kArpCache(kArpCachePath);
const std::u16string kAppPaths(kAppPathsPath);

std::vector<uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

// A "SlowInfoCache" record of `size` bytes with the has-name byte and the
// program path at their offsets, cut to `size`.
std::vector<uint8_t> Record(size_t size, uint8_t hasName,
                            std::u16string_view program) {
  std::vector<uint8_t> bytes(std::max<size_t>(size, 28), 0);
  bytes[4] = hasName;
  const auto path = Utf16Bytes(program);
  bytes.insert(bytes.begin() + 28, path.begin(), path.end());
  bytes.resize(size, 0);
  return bytes;
}

TEST(SlowInfoCacheTest, ReadsOnlyTheBytesTheRecordHolds) {
  const std::u16string longPath = u"C:\\" + std::u16string(300, u'p');
  struct Case {
    const char* what;
    std::vector<uint8_t> record;
    std::optional<std::u16string> expected;
  };
  const Case cases[] = {
      {"empty", {}, std::nullopt},
      {"3 bytes", Record(3, 1, u""), std::nullopt},
      {"has-name byte only", Record(5, 1, u""), u""},
      {"has-name 0", Record(100, 0, u"C:\\a.exe"), std::nullopt},
      {"has-name 2", Record(100, 2, u"C:\\a.exe"), std::nullopt},
      {"27 bytes: no path", Record(27, 1, u"C:\\a.exe"), u""},
      {"odd last byte is a character", Record(28 + 5, 1, u"C:\\a.exe"),
       u"C:\\"},
      {"whole path", Record(100, 1, u"C:\\a.exe"), u"C:\\a.exe"},
      {"551 bytes: cut at 261 units", Record(551, 1, longPath),
       longPath.substr(0, 261)},
      {"33000 bytes", Record(33000, 1, u"C:\\a.exe"), u"C:\\a.exe"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SlowInfoCacheProgramPath(c.record.data(),
                                       static_cast<uint32_t>(c.record.size())),
              c.expected)
        << c.what;
  }
  // Bytes past the given length are never read, whatever they hold.
  const auto full = Record(100, 1, u"C:\\a.exe");
  EXPECT_EQ(SlowInfoCacheProgramPath(full.data(), 4), std::nullopt);
  EXPECT_EQ(SlowInfoCacheProgramPath(full.data(), 27), u"");
}

TEST(RegistryValueReadsTest, NumbersOfAnyTypeReadThroughFourBytes) {
  ScanFixture f;
  const std::u16string key = u"Numbers";
  struct Case {
    const char16_t* name;
    uint32_t type;
    std::vector<uint8_t> data;
    uint32_t expected;
  };
  const Case cases[] = {
      {u"dword", kRegDword, {1, 0, 0, 0}, 1},
      {u"string one", kRegSz, Utf16Bytes(std::u16string(u"1\0", 2)), 0x31},
      {u"string zero", kRegSz, Utf16Bytes(std::u16string(u"0\0", 2)), 0x30},
      {u"empty string", kRegSz, Utf16Bytes(std::u16string(u"\0", 1)), 0},
      {u"string too long", kRegSz, Utf16Bytes(std::u16string(u"10\0", 3)), 0},
      {u"qword", 11, {1, 0, 0, 0, 0, 0, 0, 0}, 0},
      {u"one byte", kRegBinary, {1}, 1},
      {u"no bytes", kRegBinary, {}, 0},
  };
  for (const auto& c : cases) {
    f.registry.SetValue(kHkeyCurrentUser, key, c.name, c.type, c.data);
  }
  RegKey handle = 0;
  ASSERT_EQ(f.registry.RegOpenKeyExW(kHkeyCurrentUser, key.c_str(), kKeyRead,
                                     &handle),
            kErrorSuccess);
  for (const auto& c : cases) {
    EXPECT_EQ(ReadNumberValue(f.context(), handle, c.name), c.expected)
        << Utf16ToUtf8(c.name);
  }
  EXPECT_EQ(ReadNumberValue(f.context(), handle, u"absent"), 0u);
  f.registry.RegCloseKey(handle);
}

class InstalledProgramsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.files.AddFile(u"C:\\Apps\\app.exe");
    f.files.AddFolder(u"C:\\Apps\\");
    // The memory registry starts with empty classes keys, which a real
    // system never has.
    f.registry.SetString(kHkeyLocalMachine, u"SOFTWARE\\Classes", u"Mark", u"");
    f.registry.SetString(kHkeyCurrentUser, u"SOFTWARE\\Classes", u"Mark", u"");
  }
  // An uninstall entry that passes every test unless changed.
  void AddEntry(const std::u16string& name) {
    f.registry.SetString(kHkeyLocalMachine, kUninstall + name,
                         u"UninstallString", u"C:\\Apps\\app.exe /remove");
  }
  void AddRecord(RegKey root, const std::u16string& name,
                 std::vector<uint8_t> record) {
    f.registry.SetValue(root, kArpCache + name, u"SlowInfoCache", kRegBinary,
                        std::move(record));
  }
  int32_t ScanUninstall() {
    return ScanUninstallEntries(f.context(), &f.list, kUninstallPath,
                                kArpCachePath);
  }
  ScanFixture f;
};

TEST_F(InstalledProgramsTest, RecordSizesAroundTheReadOffsets) {
  struct Case {
    const char16_t* name;
    size_t size;
    bool reported;
  };
  const Case cases[] = {
      {u"r0", 0, false},    {u"r3", 3, false},        {u"r27", 27, false},
      {u"r551", 551, true}, {u"r33000", 33000, true}, {u"r33001", 33001, false},
  };
  for (const auto& c : cases) {
    AddEntry(c.name);
    AddRecord(kHkeyLocalMachine, c.name, Record(c.size, 1, u"C:\\Gone\\a.exe"));
  }
  // A short record read after a long one is not judged from its leftovers.
  AddEntry(u"s1long");
  AddRecord(kHkeyLocalMachine, u"s1long", Record(600, 1, u"C:\\Apps\\app.exe"));
  AddEntry(u"s2short");
  AddRecord(kHkeyLocalMachine, u"s2short", {0, 0, 0, 0, 1});
  EXPECT_EQ(ScanUninstall(), -1);  // no user ARPCache key
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{
                u"K|HKEY_LOCAL_MACHINE|" + kArpCache + u"r33000|",
                u"K|HKEY_LOCAL_MACHINE|" + kArpCache + u"r551|",
            }));
}

TEST_F(InstalledProgramsTest, ValuesOfTheWrongType) {
  // Numbers stored as text read their first bytes: "0" is non-zero too, so
  // the entry is kept; a longer text does not fit and reads as 0.
  AddEntry(u"a-installer-text");
  f.registry.SetString(kHkeyLocalMachine, kUninstall + u"a-installer-text",
                       u"WindowsInstaller", u"0");
  f.registry.SetString(kHkeyLocalMachine, kUninstall + u"a-installer-text",
                       u"InstallSource", u"C:\\Gone\\");
  AddEntry(u"b-noremove-long");
  f.registry.SetString(kHkeyLocalMachine, kUninstall + u"b-noremove-long",
                       u"NoRemove", u"10");
  f.registry.SetString(kHkeyLocalMachine, kUninstall + u"b-noremove-long",
                       u"InstallSource", u"C:\\Gone\\");
  // Texts stored as numbers: 0 reads as empty, anything else as a text that
  // names no file.
  f.registry.SetDword(kHkeyLocalMachine, kUninstall + u"c-zero-strings",
                      u"UninstallString", 0);
  f.registry.SetDword(kHkeyLocalMachine, kUninstall + u"c-zero-strings",
                      u"InstallLocation", 0);
  AddEntry(u"d-number-location");
  f.registry.SetDword(kHkeyLocalMachine, kUninstall + u"d-number-location",
                      u"InstallLocation", 0x00410041);
  f.registry.SetDword(kHkeyLocalMachine, kUninstall + u"d-number-location",
                      u"DisplayIcon", 0);
  // App Paths: "1" as text is not the number 1; one byte 1 is.
  f.registry.SetString(kHkeyLocalMachine, kAppPaths + u"\\text.exe",
                       u"BlockOnTSNonInstallMode", u"1");
  f.registry.SetValue(kHkeyLocalMachine, kAppPaths + u"\\byte.exe",
                      u"BlockOnTSNonInstallMode", kRegBinary, {1});
  f.registry.SetDword(kHkeyLocalMachine, kAppPaths + u"\\number.exe", u"", 7);
  EXPECT_EQ(ScanUninstall(), -1);  // no ARPCache key
  EXPECT_EQ(ScanAppPaths(f.context(), &f.list, kAppPathsPath), 0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{
                u"V|HKEY_LOCAL_MACHINE|" + kUninstall + u"b-noremove-long|InstallSource",
                u"K|HKEY_LOCAL_MACHINE|" + kUninstall + u"c-zero-strings|",
                u"V|HKEY_LOCAL_MACHINE|" + kUninstall + u"d-number-location|InstallLocation",
                u"K|HKEY_LOCAL_MACHINE|" + kAppPaths + u"\\number.exe|",
                u"K|HKEY_LOCAL_MACHINE|" + kAppPaths + u"\\text.exe|",
            }));
}

TEST_F(InstalledProgramsTest, NamesAtTheLimitsInEveryContainer) {
  const std::u16string n255(255, u'a');
  const std::u16string n256(256, u'b');
  // The longest entry name whose ARPCache key path still fits its
  // 512-character buffer, and one more.
  const std::u16string fits(511 - kArpCache.size(), u'c');
  const std::u16string over(512 - kArpCache.size(), u'd');
  for (const auto& name : {n255, n256, fits, over}) {
    AddEntry(name);
    f.registry.SetString(kHkeyLocalMachine, kUninstall + name, u"InstallSource",
                         u"C:\\Gone\\");
    AddRecord(kHkeyCurrentUser, name, Record(100, 1, u"C:\\Gone\\a.exe"));
    AddRecord(kHkeyLocalMachine, u"o" + name, Record(100, 0, u""));
    f.registry.SetString(kHkeyLocalMachine, kAppPaths + u"\\" + name, u"",
                         u"C:\\Gone\\a.exe");
    f.registry.CreateKey(kHkeyCurrentUser, u"SOFTWARE\\" + name);
  }
  EXPECT_EQ(ScanUninstall(), 0);
  EXPECT_EQ(ScanAppPaths(f.context(), &f.list, kAppPathsPath), 0);
  EXPECT_EQ(ScanEmptySoftwareKeys(f.context(), &f.list, kHkeyCurrentUser,
                                  u"SOFTWARE"),
            0);
  std::vector<std::u16string> expected;
  // Uninstall pass (subkeys sorted: a..., b..., c..., d...): the entry whose
  // ARPCache path would not fit keeps only its value finding.
  for (const auto& name : {n255, n256, fits}) {
    expected.push_back(u"V|HKEY_LOCAL_MACHINE|" + kUninstall + name +
                       u"|InstallSource");
    expected.push_back(u"K|HKEY_CURRENT_USER|" + kArpCache + name + u"|");
  }
  expected.push_back(u"V|HKEY_LOCAL_MACHINE|" + kUninstall + over +
                     u"|InstallSource");
  for (const auto& name : {n255, n256, fits, over}) {
    expected.push_back(u"K|HKEY_LOCAL_MACHINE|" + kArpCache + u"o" + name + u"|");
  }
  // Every user ARPCache entry lacks a user uninstall entry.
  for (const auto& name : {n255, n256, fits, over}) {
    expected.push_back(u"K|HKEY_CURRENT_USER|" + kArpCache + name + u"|");
  }
  for (const auto& name : {n255, n256, fits, over}) {
    expected.push_back(u"K|HKEY_LOCAL_MACHINE|" + kAppPaths + u"\\" + name + u"|");
  }
  for (const auto& name : {n255, n256, fits, over}) {
    expected.push_back(u"K|HKEY_CURRENT_USER|SOFTWARE\\" + name + u"|");
  }
  EXPECT_EQ(f.Describe(), expected);
}

// Forwards to the memory registry and deletes a key tree the first time a
// chosen value is queried: a key that vanishes while it is being scanned.
class VanishingRegistry final : public ForwardingRegistry {
 public:
  VanishingRegistry(MemoryRegistry& inner, std::u16string trigger, RegKey root,
                    std::u16string path)
      : ForwardingRegistry(inner), memory_(inner), trigger_(std::move(trigger)),
        root_(root), path_(std::move(path)) {}
  int32_t RegQueryValueExW(RegKey k, const char16_t* n, uint32_t* t,
                           uint8_t* d, uint32_t* b) override {
    if (!fired_ && n != nullptr && trigger_ == n) {
      fired_ = true;
      memory_.DeleteTree(root_, path_);
    }
    return memory_.RegQueryValueExW(k, n, t, d, b);
  }

 private:
  MemoryRegistry& memory_;
  std::u16string trigger_;
  RegKey root_;
  std::u16string path_;
  bool fired_ = false;
};

TEST_F(InstalledProgramsTest, KeysThatVanishMidScan) {
  // Deleted while its values are read: nothing is reported for it, and the
  // entries after it are still judged.
  f.registry.SetString(kHkeyLocalMachine, kUninstall + u"a", u"InstallSource",
                       u"C:\\Gone\\");
  AddEntry(u"a");
  f.registry.SetString(kHkeyLocalMachine, kUninstall + u"b", u"InstallSource",
                       u"C:\\Gone\\");
  AddEntry(u"b");
  f.registry.SetString(kHkeyLocalMachine, kAppPaths + u"\\a.exe", u"",
                       u"C:\\Gone\\a.exe");
  f.registry.CreateKey(kHkeyLocalMachine, u"SOFTWARE\\Vendor");
  VanishingRegistry uninstall(f.registry, u"InstallSource", kHkeyLocalMachine,
                              kUninstall + u"a");
  ScanContext context{uninstall, f.files, f.stop, &f.exclude};
  EXPECT_EQ(ScanUninstallEntries(context, &f.list, kUninstallPath, kArpCachePath),
            -1);  // no ARPCache key
  VanishingRegistry appPaths(f.registry, u"BlockOnTSNonInstallMode",
                             kHkeyLocalMachine, kAppPaths + u"\\a.exe");
  EXPECT_EQ(ScanAppPaths({appPaths, f.files, f.stop, &f.exclude}, &f.list,
                         kAppPathsPath),
            0);
  VanishingRegistry software(f.registry, u"", kHkeyLocalMachine,
                             u"SOFTWARE\\Vendor");
  EXPECT_EQ(ScanEmptySoftwareKeys({software, f.files, f.stop, &f.exclude},
                                  &f.list, kHkeyLocalMachine, u"SOFTWARE"),
            0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{u"V|HKEY_LOCAL_MACHINE|" + kUninstall +
                                         u"b|InstallSource"}));

  // Gone between the listing and its open: the call ends there, as an
  // unreadable entry does.
  f.list.findings.clear();
  f.registry.SetString(kHkeyLocalMachine, kUninstall + u"a", u"InstallSource",
                       u"C:\\Gone\\");
  AddEntry(u"a");
  f.registry.InjectOpenFailure(kHkeyLocalMachine, kUninstall + u"a",
                               kErrorFileNotFound);
  AddRecord(kHkeyLocalMachine, u"orphan", Record(100, 0, u""));
  EXPECT_EQ(ScanUninstall(), -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(InstalledProgramsTest, KeysTheUserCannotChangeOrReadAreNeverReported) {
  f.registry.CreateKey(kHkeyLocalMachine, kUninstall + u"a-novalues");
  AddEntry(u"b-cached");
  AddRecord(kHkeyCurrentUser, u"b-cached", Record(100, 1, u"C:\\Gone\\a.exe"));
  AddRecord(kHkeyCurrentUser, u"c-orphan", Record(100, 0, u""));
  // An uninstall entry that exists but may not be read: its ARPCache entry
  // is no orphan.
  AddRecord(kHkeyCurrentUser, u"d-hidden", Record(100, 0, u""));
  f.registry.SetString(kHkeyCurrentUser, kUninstall + u"d-hidden", u"x", u"");
  f.registry.SetAccess(kHkeyCurrentUser, kUninstall + u"d-hidden",
                       KeyAccess::kNone);
  f.registry.CreateKey(kHkeyLocalMachine, kArpCache + u"e-orphan");
  f.registry.SetString(kHkeyLocalMachine, kAppPaths + u"\\gone.exe", u"",
                       u"C:\\Gone\\gone.exe");
  f.registry.CreateKey(kHkeyCurrentUser, u"SOFTWARE\\Vendor");
  for (const auto& [root, path] :
       std::vector<std::pair<RegKey, std::u16string>>{
           {kHkeyLocalMachine, kUninstall + u"a-novalues"},
           {kHkeyCurrentUser, kArpCache + u"b-cached"},
           {kHkeyCurrentUser, kArpCache + u"c-orphan"},
           {kHkeyLocalMachine, kArpCache + u"e-orphan"},
           {kHkeyLocalMachine, kAppPaths + u"\\gone.exe"},
           {kHkeyCurrentUser, u"SOFTWARE\\Vendor"}}) {
    f.registry.SetAccess(root, path, KeyAccess::kReadOnly);
  }
  EXPECT_EQ(ScanUninstall(), 0);
  EXPECT_EQ(ScanAppPaths(f.context(), &f.list, kAppPathsPath), 0);
  EXPECT_EQ(ScanEmptySoftwareKeys(f.context(), &f.list, kHkeyCurrentUser,
                                  u"SOFTWARE"),
            0);
  EXPECT_TRUE(f.list.findings.empty()) << f.Describe().size();

  // An uninstall entry that cannot be read ends the call at once.
  f.registry.SetAccess(kHkeyLocalMachine, kUninstall + u"a-novalues",
                       KeyAccess::kNone);
  f.registry.SetAccess(kHkeyLocalMachine, kArpCache + u"e-orphan",
                       KeyAccess::kFull);
  EXPECT_EQ(ScanUninstall(), -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(InstalledProgramsTest, AMissingMachineArpCacheSkipsTheUserPass) {
  f.registry.CreateKey(kHkeyLocalMachine, kUninstall + u"gone");
  AddRecord(kHkeyCurrentUser, u"orphan", Record(100, 0, u""));
  EXPECT_EQ(ScanUninstall(), -1);
  EXPECT_EQ(f.Describe(), (std::vector<std::u16string>{
                              u"K|HKEY_LOCAL_MACHINE|" + kUninstall + u"gone|"}));
}

TEST_F(InstalledProgramsTest, AStopEndsEveryStepBeforeItsFirstEntry) {
  f.registry.CreateKey(kHkeyLocalMachine, kUninstall + u"gone");
  AddRecord(kHkeyLocalMachine, u"orphan", Record(100, 0, u""));
  f.registry.SetString(kHkeyLocalMachine, std::u16string(kInstallerFoldersPath),
                       u"C:\\Gone\\", u"");
  f.registry.CreateKey(kHkeyLocalMachine, kAppPaths + u"\\none.exe");
  f.registry.CreateKey(kHkeyCurrentUser, u"SOFTWARE\\Vendor");
  f.stop = 1;
  EXPECT_EQ(ScanUninstall(), -1);
  EXPECT_EQ(ScanInstallerFolders(f.context(), &f.list), -1);
  EXPECT_EQ(ScanAppPaths(f.context(), &f.list, kAppPathsPath), -1);
  EXPECT_EQ(ScanEmptySoftwareKeys(f.context(), &f.list, kHkeyCurrentUser,
                                  u"SOFTWARE"),
            -1);
  EXPECT_EQ(ScanInstalledPrograms(f.context(), &f.list), -1);
  EXPECT_TRUE(f.list.findings.empty());
  f.stop = 0;
  EXPECT_EQ(ScanInstalledPrograms(f.context(), &f.list), 0);
  EXPECT_EQ(f.list.findings.size(), 5u);
}

TEST(InstalledProgramsFlavorTest, WineSharesTheAppPathsOfBothViews) {
  // Under Wine the 32-bit App Paths key is a link to the 64-bit one, so an
  // entry is judged, and reported, under both paths; Windows keeps two keys.
  for (const auto flavor : {RegistryFlavor::kWindows, RegistryFlavor::kWine}) {
    ScanFixture f(flavor);
    f.registry.SetString(kHkeyLocalMachine, kAppPaths + u"\\gone.exe", u"",
                         u"C:\\Gone\\gone.exe");
    ScanAppPaths(f.context(), &f.list, kAppPathsPath);
    ScanAppPaths(f.context(), &f.list, kWowAppPathsPath);
    EXPECT_EQ(f.list.findings.size(),
              flavor == RegistryFlavor::kWine ? 2u : 1u);
  }
}

}  // namespace
}  // namespace tavik
