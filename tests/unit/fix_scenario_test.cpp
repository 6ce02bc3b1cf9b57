// The fix over the fix_run scenario on the memory layers, as
// tests/win32/fix_scenario_test.sh runs it under Wine: scan, append the
// scenario's own rows, leave every third row unchecked, fix, and compare the
// whole registry before and after.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/recording_ports.h"
#include "app/scan_options_store.h"
#include "engine/scan_run.h"
#include "platform/memory/reg_file_loader.h"
#include "repair/fix_run.h"
#include "repair/registry_links.h"
#include "scanners/scan_categories.h"
#include "support/fix_outcome.h"
#include "support/scan_rows.h"
#include "unit/repair_fixture.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

RegKey RootOf(const std::u16string& name) {
  if (name == u"HKEY_LOCAL_MACHINE") return kHkeyLocalMachine;
  if (name == u"HKEY_CURRENT_USER") return kHkeyCurrentUser;
  if (name == u"HKEY_CLASSES_ROOT") return kHkeyClassesRoot;
  return 0;
}

// The memory registry's key name in the snapshot's spelling.
std::u16string SnapshotName(const std::u16string& keyPath) {
  const std::pair<std::u16string, std::u16string> roots[] = {
      {u"hkey_local_machine", u"hklm"}, {u"hkey_current_user", u"hkcu"}, {u"hkey_users", u"hku"}};
  const std::u16string folded = ToLowerAscii(keyPath);
  for (const auto& [full, brief] : roots) {
    if (folded.starts_with(full)) return brief + folded.substr(full.size());
  }
  return {};
}

// The rows a scan of the fixture's registry writes, as tavik-scan prints them.
std::string ScanRowsOf(testing::RepairFixture& fixture) {
  ScanOptions options;
  LoadScanOptions(fixture.registry, options);
  RecordingResultsView scanned;
  RecordingHost scanHost;
  ScanThreadMain(ScanEnvironment{fixture.registry, fixture.files, options,
                                 kScanCategories, fixture.stop,
                                 fixture.automation, scanned, scanHost});
  return FormatRowsAsTsv(scanned.rows);
}

TEST(FixScenarioTest, FixRemovesExactlyTheFixedRowsEntries) {
  const fs::path dir = fs::path(TAVIK_SOURCE_DIR) / "tests" / "scenarios" / "fix_run";
  testing::RepairFixture fix(RegistryFlavor::kWine);
  const std::string reg = ReadText(dir / "registry.reg");
  ASSERT_TRUE(LoadRegFile(fix.registry, std::vector<uint8_t>(reg.begin(), reg.end())).ok);
  std::istringstream files(ReadText(dir / "files.txt"));
  for (std::string line; std::getline(files, line);) {
    if (!line.empty()) fix.files.AddFile(Utf8ToUtf16(line));
  }
  // As under Wine, only the scan's rows beyond those of a clean registry are
  // handed to the fix, with the scenario's own rows.
  testing::RepairFixture clean(RegistryFlavor::kWine);
  const std::string rowsText =
      testing::RowsBeyond(ScanRowsOf(clean), ScanRowsOf(fix)) +
      ReadText(dir / "fix_rows.tsv");
  std::vector<testing::FixCheckRow> rows;
  for (const ResultsRow& parsed : testing::ParseRows(rowsText)) {
    testing::FixCheckRow row;
    row.row = parsed;
    const RegKey root = RootOf(parsed.cells[1]);
    if (root != 0) {
      row.canonical = SnapshotName(fix.registry.KeyPath(root, parsed.cells[2]));
      row.link = parsed.cells[0] == u"Invalid Key" &&
                 CheckTreeForLinks(fix.registry, root, parsed.cells[2].c_str()) ==
                     LinkCheck::kLink;
    }
    fix.results.rows.push_back(parsed);
    rows.push_back(std::move(row));
  }
  const auto before = testing::TakeSnapshot(fix.registry);
  FixThreadMain(fix.environment());
  const auto after = testing::TakeSnapshot(fix.registry);

  const auto faults = testing::CheckFixOutcome(rows, fix.results.rows, before, after);
  for (const auto& fault : faults) ADD_FAILURE() << Utf16ToUtf8(fault);
  const std::string count = ReadText(dir / "fix_count.txt");
  EXPECT_EQ(fix.host.messages.back(),
            u"Total Errors Fixed: " + Utf8ToUtf16(count.substr(0, count.find('\n'))) + u"    ");
  EXPECT_EQ(fix.registry.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace tavik
