#include <gtest/gtest.h>

#include "app/recording_ports.h"
#include "engine/exclude_list.h"
#include "engine/scan_run.h"
#include "base/text.h"
#include "scan_fixture.h"
#include "scanners/scan_categories.h"

namespace tavik {
namespace {

using testing::ScanFixture;

constexpr char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t kSharedDlls[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

class ScanRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A real system's classes keys are never empty; the memory registry's
    // bare ones would be reported as empty vendor keys.
    f.registry.SetString(kHkeyLocalMachine, u"Software\\Classes", u"Mark", u"");
    f.registry.SetString(kHkeyCurrentUser, u"Software\\Classes", u"Mark", u"");
  }
  ScanEnvironment environment() {
    return ScanEnvironment{f.registry, f.files, options, kScanCategories, f.stop,
                           automation, results, host};
  }
  ScanFixture f;
  ScanOptions options;
  SharedFlag automation{0};
  RecordingResultsView results;
  RecordingHost host;
};

TEST_F(ScanRunTest, WritesOneCheckedRowPerFindingAndShowsTheSummary) {
  f.registry.SetString(kHkeyCurrentUser, kRun, u"", u"C:\\Gone\\a.exe");
  f.registry.SetDword(kHkeyLocalMachine, kSharedDlls, u"C:\\Gone\\b.dll", 1);
  EXPECT_EQ(ScanThreadMain(environment()), 0);
  ASSERT_EQ(results.rows.size(), 2u);
  // Shared DLLs come before startup entries.
  EXPECT_EQ(FormatRowsAsTsv(results.rows),
            "Invalid Value\tHKEY_LOCAL_MACHINE\tSoftware\\Microsoft\\Windows\\"
            "CurrentVersion\\SharedDLLs\tC:\\Gone\\b.dll\n"
            "Invalid Value\tHKEY_CURRENT_USER\tSOFTWARE\\Microsoft\\Windows\\"
            "CurrentVersion\\Run\t-------\n");
  EXPECT_TRUE(results.rows[0].checked && results.rows[1].checked);
  // Each row is handed its own reason as its tip.
  EXPECT_EQ(results.rows[0].tip, u"C:\\Gone\\b.dll was not found");
  EXPECT_EQ(results.rows[1].tip, u"C:\\Gone\\a.exe was not found");
  EXPECT_TRUE(results.redraw);
  EXPECT_EQ(results.countHint, 100000);
  // The recent documents category joins a COM apartment on the scan thread.
  EXPECT_EQ(host.events,
            (std::vector<std::u16string>{
                u"busy", u"com", u"idle",
                u"message:Total Invalid Entries Found: 2    "}));
}

TEST_F(ScanRunTest, SwitchesOtherThanOneTurnCategoriesOff) {
  f.registry.SetString(kHkeyCurrentUser, kRun, u"x", u"C:\\Gone\\a.exe");
  results.rows.push_back({});
  options.Startup = 2;
  ScanThreadMain(environment());
  EXPECT_TRUE(results.rows.empty());
  EXPECT_EQ(host.messages.back(), u"Total Invalid Entries Found: 0    ");
  for (int i = 0; i < kScanCategoryCount; ++i) ScanSwitch(options, i) = 0;
  options.Startup = 1;
  ScanThreadMain(environment());
  EXPECT_EQ(results.rows.size(), 1u);
}

TEST_F(ScanRunTest, StoppedScanKeepsThePreviousRowsAndSaysNothing) {
  f.registry.SetString(kHkeyCurrentUser, kRun, u"x", u"C:\\Gone\\a.exe");
  ScanThreadMain(environment());
  ASSERT_EQ(results.rows.size(), 1u);
  host.events.clear();
  f.registry.SetString(kHkeyCurrentUser, kRun, u"y", u"C:\\Gone\\b.exe");
  f.stop = 1;
  ScanThreadMain(environment());
  EXPECT_EQ(results.rows.size(), 1u);
  EXPECT_EQ(host.events,
            (std::vector<std::u16string>{u"busy", u"com", u"idle"}));
  automation = 1;
  host.events.clear();
  ScanThreadMain(environment());
  EXPECT_EQ(host.events,
            (std::vector<std::u16string>{u"busy", u"com", u"idle",
                                         u"status:Stopped"}));
}

TEST_F(ScanRunTest, AutomatedScanPostsTheSummaryInstead) {
  automation = 1;
  ScanThreadMain(environment());
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(host.statuses,
            std::vector<std::u16string>{u"Total Invalid Entries Found: 0    "});
}

TEST_F(ScanRunTest, ExcludeFileIsReadAtEveryScan) {
  f.registry.SetString(kHkeyCurrentUser, kRun, u"x", u"C:\\Gone\\a.exe");
  ASSERT_TRUE(RewriteExcludeFile(
      f.files, {u"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows"}));
  ScanThreadMain(environment());
  EXPECT_TRUE(results.rows.empty());
  ASSERT_TRUE(RewriteExcludeFile(f.files, {u"HKEY_CURRENT_USER\\Other"}));
  ScanThreadMain(environment());
  EXPECT_EQ(results.rows.size(), 1u);
}

TEST_F(ScanRunTest, WrittenFindingsCarryTheCategoryThatReportedThem) {
  f.registry.SetString(kHkeyCurrentUser, kRun, u"", u"C:\\Gone\\a.exe");
  f.registry.SetString(kHkeyCurrentUser, kRun, u"x", u"C:\\Gone\\b.exe");
  f.registry.SetDword(kHkeyLocalMachine, kSharedDlls, u"C:\\Gone\\b.dll", 1);
  FindingList written;
  written.findings.resize(5);
  ScanEnvironment withWritten = environment();
  withWritten.writtenFindings = &written;
  ScanThreadMain(withWritten);
  ASSERT_EQ(written.findings.size(), 3u);
  EXPECT_EQ(written.categories, (std::vector<int32_t>{1, 2, 2}));
  // The names as stored, not the row text of an empty name.
  EXPECT_EQ(written.findings[1].valueName, u"");
  EXPECT_EQ(written.findings[2].valueName, u"x");

  // Categories turned off leave no gap in the positions of later ones.
  options.SharedDlls = 0;
  ScanThreadMain(withWritten);
  EXPECT_EQ(written.categories, (std::vector<int32_t>{2, 2}));

  // A stopped scan writes no rows and hands over nothing new.
  f.stop = 1;
  ScanThreadMain(withWritten);
  EXPECT_EQ(written.findings.size(), 2u);
}

TEST(FillResultsList, RowTextsForEveryKindAndRoot) {
  FindingList list;
  list.findings = {
      {kFindingInvalidKey, kHkeyClassesRoot, u"CLSID\\{1}", u""},
      {kFindingInvalidValue, kHkeyLocalMachine, u"A", u"v"},
      {kFindingInvalidValue, kHkeyUsers, u"B", u""},
      {-1, kHkeyLocalMachine, u"never shown", u""},
  };
  RecordingResultsView results;
  EXPECT_EQ(FillResultsList(results, list), 3);
  EXPECT_EQ(FormatRowsAsTsv(results.rows),
            "Invalid Key\tHKEY_CLASSES_ROOT\tCLSID\\{1}\t-------\n"
            "Invalid Value\tHKEY_LOCAL_MACHINE\tA\tv\n"
            "Invalid Value\tUNKNOWN\tB\t-------\n");
}

TEST(FillResultsList, MoreRowsThanTheCountHint) {
  FindingList list;
  list.findings.resize(100001,
                       Finding{kFindingInvalidValue, kHkeyCurrentUser, u"K", u"v"});
  RecordingResultsView results;
  EXPECT_EQ(FillResultsList(results, list), 100001);
  EXPECT_EQ(results.rows.size(), 100001u);
}

}  // namespace
}  // namespace tavik
