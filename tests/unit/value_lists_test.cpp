#include <gtest/gtest.h>

#include "base/text.h"
#include "scan_fixture.h"
#include "scanners/value_lists.h"

namespace tavik {
namespace {

using testing::ScanFixture;

constexpr char16_t kSharedDlls[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr char16_t kDrivers[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr char16_t kFonts[] =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr char16_t kHelp[] = u"SOFTWARE\\Microsoft\\Windows\\Help";
constexpr char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::vector<uint8_t> RawUtf16(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

class ValueListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.files.AddFile(u"C:\\Windows\\system32\\present.dll");
    f.files.AddFile(u"C:\\Windows\\Fonts\\arial.ttf");
    f.files.AddFile(u"C:\\Apps\\tool.exe");
    f.files.AddFile(u"C:\\Docs\\manual.chm");
    f.files.AddFolder(u"C:\\EmptyHelp");
  }
  std::vector<std::u16string> ValueNames() const {
    std::vector<std::u16string> names;
    for (const auto& finding : f.list.findings) {
      EXPECT_EQ(finding.kind, kFindingInvalidValue);
      names.push_back(finding.valueName);
    }
    return names;
  }
  ScanFixture f;
};

TEST_F(ValueListsTest, SharedDllsJudgeTheValueNameOnly) {
  f.registry.SetDword(kHkeyLocalMachine, kSharedDlls,
                      u"C:\\Windows\\system32\\present.dll", 1);
  f.registry.SetDword(kHkeyLocalMachine, kSharedDlls, u"C:\\Gone\\old.dll", 3);
  f.registry.SetString(kHkeyLocalMachine, kSharedDlls, u"",
                       u"C:\\Gone\\datum.dll");
  EXPECT_EQ(ScanSharedDlls(f.context(), &f.list, kSharedDlls), 0);
  EXPECT_EQ(ValueNames(), std::vector<std::u16string>{u"C:\\Gone\\old.dll"});
  EXPECT_EQ(f.list.findings[0].path, kSharedDlls);
  EXPECT_EQ(f.list.findings[0].root, kHkeyLocalMachine);
}

TEST_F(ValueListsTest, DriversAndStartupJudgeTheDatum) {
  f.registry.SetString(kHkeyLocalMachine, kDrivers, u"ok", u"present.dll");
  f.registry.SetString(kHkeyLocalMachine, kDrivers, u"gone", u"gone.drv");
  f.registry.SetString(kHkeyLocalMachine, kDrivers, u"empty", u"");
  EXPECT_EQ(ScanSystemDrivers(f.context(), &f.list, kDrivers), 0);
  f.registry.SetString(kHkeyCurrentUser, kRun, u"quoted",
                       u"\"C:\\Apps\\tool.exe\" /background");
  f.registry.SetString(kHkeyCurrentUser, kRun, u"stale",
                       u"\"C:\\Old\\tool.exe\" /background", kRegExpandSz);
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), 0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{
                std::u16string(u"V|HKEY_LOCAL_MACHINE|") + kDrivers + u"|gone",
                std::u16string(u"V|HKEY_CURRENT_USER|") + kRun + u"|stale"}));
}

TEST_F(ValueListsTest, FontsAreAlsoLookedUpInTheFontsFolder) {
  f.registry.SetString(kHkeyLocalMachine, kFonts, u"Arial", u"arial.ttf");
  f.registry.SetString(kHkeyLocalMachine, kFonts, u"Gone", u"gone.ttf");
  f.registry.SetString(kHkeyLocalMachine, kFonts, u"Full",
                       u"C:\\Windows\\Fonts\\arial.ttf");
  EXPECT_EQ(ScanFonts(f.context(), &f.list, kFonts), 0);
  EXPECT_EQ(ValueNames(), std::vector<std::u16string>{u"Gone"});
}

TEST_F(ValueListsTest, AFailingFontsFolderEndsTheKeyScan) {
  f.files.FailSpecialFolder(kCsidlFonts);
  f.registry.SetString(kHkeyLocalMachine, kFonts, u"Gone", u"gone.ttf");
  EXPECT_EQ(ScanFonts(f.context(), &f.list, kFonts), -1);
  EXPECT_TRUE(f.list.findings.empty());
}

TEST_F(ValueListsTest, HelpFilesNeedTheFileNotJustTheFolder) {
  f.registry.SetString(kHkeyLocalMachine, kHelp, u"manual.chm", u"C:\\Docs");
  f.registry.SetString(kHkeyLocalMachine, kHelp, u"lost.chm", u"C:\\Docs");
  f.registry.SetString(kHkeyLocalMachine, kHelp, u"other.hlp",
                       u"C:\\EmptyHelp");
  f.registry.SetString(kHkeyLocalMachine, kHelp, u"present.dll", u"C:\\Nowhere");
  f.registry.SetString(kHkeyLocalMachine, kHelp, u"nofolder.chm", u"");
  f.registry.SetString(kHkeyLocalMachine, kHelp, u"", u"C:\\Nowhere");
  f.registry.SetString(kHkeyLocalMachine, kHelp, u"direct.chm",
                       u"C:\\Docs\\manual.chm");
  EXPECT_EQ(ScanHelpFiles(f.context(), &f.list, kHelp), 0);
  EXPECT_EQ(ValueNames(),
            (std::vector<std::u16string>{u"lost.chm", u"other.hlp"}));
}

TEST_F(ValueListsTest, OddDataIsReadAsTextUpToItsLength) {
  // No terminator, an odd byte count, binary data and an embedded zero.
  f.registry.SetValue(kHkeyCurrentUser, kRun, u"noterm", kRegSz,
                      RawUtf16(u"C:\\Gone\\a.exe"));
  auto odd = RawUtf16(u"C:\\Apps\\tool.exe");
  odd.push_back('x');
  f.registry.SetValue(kHkeyCurrentUser, kRun, u"odd", kRegBinary, odd);
  f.registry.SetValue(kHkeyCurrentUser, kRun, u"binary", kRegBinary,
                      {0x00, 0xD8, 0x41});
  f.registry.SetValue(kHkeyCurrentUser, kRun, u"zero", kRegSz,
                      RawUtf16(std::u16string(u"C:\\Apps\\tool.exe\0junk", 21)));
  f.registry.SetDword(kHkeyCurrentUser, kRun, u"number", 0x00410041);
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), 0);
  // Binary and numeric data read as text name no existing file.
  EXPECT_EQ(ValueNames(),
            (std::vector<std::u16string>{u"noterm", u"binary", u"number"}));
}

TEST_F(ValueListsTest, OversizedDatumEndsTheKeyButKeepsEarlierFindings) {
  f.registry.SetString(kHkeyCurrentUser, kRun, u"a", u"C:\\Gone\\a.exe");
  f.registry.SetValue(kHkeyCurrentUser, kRun, u"b", kRegSz,
                      std::vector<uint8_t>(33002, 'x'));
  f.registry.SetString(kHkeyCurrentUser, kRun, u"c", u"C:\\Gone\\c.exe");
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), -1);
  EXPECT_EQ(ValueNames(), std::vector<std::u16string>{u"a"});
  // Exactly 33000 bytes still fit.
  f.list.findings.clear();
  f.registry.SetValue(kHkeyCurrentUser, kRun, u"b", kRegSz,
                      std::vector<uint8_t>(33000, 'x'));
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), 0);
  EXPECT_EQ(ValueNames(), (std::vector<std::u16string>{u"a", u"b", u"c"}));
}

TEST_F(ValueListsTest, LongAndEmptyNamesAreReportedExactly) {
  const std::u16string longName(16383, u'n');
  f.registry.SetString(kHkeyCurrentUser, kRun, longName, u"C:\\Gone\\a.exe");
  f.registry.SetString(kHkeyCurrentUser, kRun, u"", u"C:\\Gone\\b.exe");
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), 0);
  EXPECT_EQ(ValueNames(), (std::vector<std::u16string>{longName, u""}));
}

TEST_F(ValueListsTest, ErrorsAndStopsEndTheKeyScan) {
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), -1);
  f.registry.SetString(kHkeyCurrentUser, kRun, u"a", u"C:\\Gone\\a.exe");
  f.registry.SetString(kHkeyCurrentUser, kRun, u"b", u"C:\\Gone\\b.exe");
  f.registry.InjectEnumValueFailure(kHkeyCurrentUser, kRun, 1, 1011);
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), -1);
  EXPECT_EQ(ValueNames(), std::vector<std::u16string>{u"a"});
  f.stop = 1;
  f.list.findings.clear();
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(ValueListsTest, KeysTheUserCannotChangeAreNeverReported) {
  f.registry.SetString(kHkeyCurrentUser, kRun, u"a", u"C:\\Gone\\a.exe");
  f.registry.SetAccess(kHkeyCurrentUser, kRun, KeyAccess::kReadOnly);
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), 0);
  f.registry.SetAccess(kHkeyCurrentUser, kRun, KeyAccess::kNone);
  EXPECT_EQ(ScanStartupKey(f.context(), &f.list, kHkeyCurrentUser, kRun), -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(ValueListsTest, StartupKeysAreScannedInTableOrderUnderBothRoots) {
  for (const auto& location : kStartupKeys) {
    f.registry.SetString(location.root, std::u16string(location.path), u"x",
                         u"C:\\Gone\\x.exe");
  }
  // Subkeys are not entered.
  f.registry.SetString(kHkeyLocalMachine,
                       u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx\\0001",
                       u"y", u"C:\\Gone\\y.exe");
  EXPECT_EQ(ScanStartupFiles(f.context(), &f.list), 0);
  ASSERT_EQ(f.list.findings.size(), kStartupKeys.size());
  for (size_t i = 0; i < kStartupKeys.size(); ++i) {
    EXPECT_EQ(f.list.findings[i].root, kStartupKeys[i].root);
    EXPECT_EQ(f.list.findings[i].path, kStartupKeys[i].path);
  }
  EXPECT_EQ(kStartupKeys[0].path,
            u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run");
  EXPECT_EQ(kStartupKeys[31].path,
            u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
}

}  // namespace
}  // namespace tavik
