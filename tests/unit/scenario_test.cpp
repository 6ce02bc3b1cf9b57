// Runs every scenario of tests/scenarios over the memory registry in its Wine
// flavor and the memory file system; the same scenarios run under Wine with
// the real program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/recording_ports.h"
#include "app/scan_options_store.h"
#include "engine/exclude_list.h"
#include "engine/scan_run.h"
#include "base/text.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/reg_file_loader.h"
#include "scanners/scan_categories.h"
#include "support/scan_rows.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

fs::path ScenarioRoot() { return fs::path(TAVIK_SOURCE_DIR) / "tests" / "scenarios"; }

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> Lines(const std::string& text) {
  return testing::RowLines(text);
}

// The exclude file as the scenario runners write it: UTF-16LE with its
// byte-order mark, the lines separated by CR LF.
std::vector<uint8_t> ExcludeFileBytes(const std::string& utf8) {
  std::vector<std::u16string> entries;
  for (const auto& line : Lines(utf8)) entries.push_back(Utf8ToUtf16(line));
  return EncodeExcludeFile(entries);
}

// "<Recent>" at the start of a files.txt path stands for the user's Recent
// folder, wherever the shell puts it.
std::u16string InRecentFolder(FileSystem& files, std::u16string_view path) {
  constexpr std::u16string_view kToken = u"<Recent>";
  if (path.substr(0, kToken.size()) != kToken) return std::u16string(path);
  char16_t folder[kMaxPath] = {};
  files.SHGetFolderPathW(kCsidlRecent, kShgfpTypeCurrent, folder);
  return std::u16string(folder) + std::u16string(path.substr(kToken.size()));
}

// The row lines of a scan, each followed by a tab, its reason's kind, a tab
// and its detail, the Recent folder written "<Recent>" as in files.txt.
std::string RowsWithReasons(FileSystem& files, const std::string& rows,
                            const FindingList& written) {
  char16_t recent[kMaxPath] = {};
  files.SHGetFolderPathW(kCsidlRecent, kShgfpTypeCurrent, recent);
  const std::string recentFolder = Utf16ToUtf8(recent);
  std::string out;
  const auto lines = Lines(rows);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string detail;
    std::string kind = "(none)";
    if (i < written.reasons.size()) {
      kind = std::string(ReasonKindName(written.reasons[i].kind));
      detail = written.reasons[i].detail.Utf8();
    }
    for (size_t at = detail.find(recentFolder); at != std::string::npos;
         at = detail.find(recentFolder, at)) {
      detail.replace(at, recentFolder.size(), "<Recent>");
    }
    out += lines[i] + "\t" + kind + "\t" + detail + "\n";
  }
  return out;
}

// Scans the scenario in `dir` (none: an empty registry) over a fresh memory
// registry of the given flavor and returns the rows as tavik-scan prints them
// and, when asked for, the rows with their reasons.
void ScanScenario(const fs::path& dir, RegistryFlavor flavor, std::string& rows,
                  std::string* withReasons = nullptr) {
  MemoryRegistry registry(flavor);
  MemoryFileSystem files;
  // Spelt as Wine answers it, for the reasons that name it.
  files.SetSystemWow64Directory(u"C:\\windows\\syswow64");
  if (!dir.empty()) {
    const std::string reg = ReadText(dir / "registry.reg");
    const RegLoadResult loaded =
        LoadRegFile(registry, std::vector<uint8_t>(reg.begin(), reg.end()));
    ASSERT_TRUE(loaded.ok) << loaded.error;
  }

  if (!dir.empty() && fs::exists(dir / "files.txt")) {
    for (std::string line : Lines(ReadText(dir / "files.txt"))) {
      const auto hash = line.find('#');
      if (hash != std::string::npos) line.resize(hash);
      std::u16string path(TrimWideSpace(Utf8ToUtf16(line)));
      if (path.empty()) continue;
      const size_t arrow = path.find(u" ->");
      if (arrow != std::u16string::npos) {
        const std::u16string target(TrimWideSpace(path.substr(arrow + 3)));
        files.AddShellLink(InRecentFolder(files, path.substr(0, arrow)),
                           InRecentFolder(files, target));
        continue;
      }
      path = InRecentFolder(files, path);
      if (path.back() == u'\\') {
        ASSERT_TRUE(files.AddFolder(path)) << line;
      } else {
        ASSERT_TRUE(files.AddFile(path)) << line;
      }
    }
  }
  if (!dir.empty() && fs::exists(dir / "exclude.txt")) {
    ASSERT_TRUE(files.WriteFileBytes(ExcludeFilePath(files).c_str(),
                                     ExcludeFileBytes(ReadText(dir / "exclude.txt")),
                                     false));
  }

  ScanOptions options;
  LoadScanOptions(registry, options);
  SharedFlag stop{0};
  SharedFlag automation{0};
  RecordingResultsView results;
  RecordingHost host;
  FindingList written;
  ScanThreadMain(ScanEnvironment{registry, files, options, kScanCategories, stop, automation,
                                 results, host, &written});
  rows = FormatRowsAsTsv(results.rows);
  if (withReasons != nullptr) *withReasons = RowsWithReasons(files, rows, written);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
  // The scan above ran with the per-scan caches; without them every row
  // must come out the same, byte for byte.
  RecordingResultsView uncached;
  FindingList writtenUncached;
  ScanThreadMain(ScanEnvironment{registry, files, options, kScanCategories, stop, automation,
                                 uncached, host, &writtenUncached, false});
  EXPECT_EQ(FormatRowsAsTsv(uncached.rows), rows);
  if (withReasons != nullptr) {
    EXPECT_EQ(RowsWithReasons(files, rows, writtenUncached), *withReasons);
  }
}

// The rows of `rows` beyond those an empty registry already yields, each
// baseline row cancelling one equal row, in order: as under Wine, where a
// fresh prefix has rows of its own (here the empty keys that the Wine flavor
// creates as the targets of Wine's registry links).
std::string RowsBeyondBaseline(RegistryFlavor flavor, const std::string& rows) {
  std::string baseline;
  ScanScenario(fs::path(), flavor, baseline);
  return testing::RowsBeyond(baseline, rows);
}

class ScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ScenarioTest, ProducesTheExpectedRows) {
  const fs::path dir = ScenarioRoot() / GetParam();
  std::string rows;
  ASSERT_NO_FATAL_FAILURE(ScanScenario(dir, RegistryFlavor::kWine, rows));
  EXPECT_EQ(RowsBeyondBaseline(RegistryFlavor::kWine, rows),
            ReadText(dir / "expected.tsv"));
}

// Scenarios whose rows depend on HKEY_CLASSES_ROOT showing the user's classes
// over the machine's, as Windows does, carry the Windows rows in a second
// file; expected.tsv holds the rows of Wine's machine-only classes root.
class WindowsScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(WindowsScenarioTest, ProducesTheExpectedWindowsRows) {
  const fs::path dir = ScenarioRoot() / GetParam();
  std::string rows;
  ASSERT_NO_FATAL_FAILURE(ScanScenario(dir, RegistryFlavor::kWindows, rows));
  EXPECT_EQ(RowsBeyondBaseline(RegistryFlavor::kWindows, rows),
            ReadText(dir / "expected-windows.tsv"));
}

// Scenarios with an expected-reasons.tsv: the rows beyond the baseline, each
// with the kind and detail of its reason. Baseline rows cancel by their row
// text alone.
class ReasonsScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ReasonsScenarioTest, GivesEachRowItsReason) {
  const fs::path dir = ScenarioRoot() / GetParam();
  std::string rows;
  std::string withReasons;
  ASSERT_NO_FATAL_FAILURE(
      ScanScenario(dir, RegistryFlavor::kWine, rows, &withReasons));
  std::string baseline;
  ScanScenario(fs::path(), RegistryFlavor::kWine, baseline);
  std::multiset<std::string> left;
  for (const auto& line : Lines(baseline)) left.insert(line);
  std::string beyond;
  for (const auto& line : Lines(withReasons)) {
    // The row is the line before its fourth tab.
    size_t rowEnd = line.find('\t');
    for (int tab = 1; tab < 4 && rowEnd != std::string::npos; ++tab) {
      rowEnd = line.find('\t', rowEnd + 1);
    }
    const auto it = left.find(line.substr(0, rowEnd));
    if (it != left.end()) {
      left.erase(it);
    } else {
      beyond += line + "\n";
    }
  }
  EXPECT_EQ(beyond, ReadText(dir / "expected-reasons.tsv"));
}

std::vector<std::string> ScenarioNames(const char* requiredFile = "registry.reg") {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(ScenarioRoot())) {
    if (entry.is_directory() && fs::exists(entry.path() / "registry.reg") &&
        fs::exists(entry.path() / requiredFile)) {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (auto& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(All, ScenarioTest, ::testing::ValuesIn(ScenarioNames()),
                         TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WindowsScenarioTest);
INSTANTIATE_TEST_SUITE_P(All, WindowsScenarioTest,
                         ::testing::ValuesIn(ScenarioNames("expected-windows.tsv")),
                         TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ReasonsScenarioTest);
INSTANTIATE_TEST_SUITE_P(All, ReasonsScenarioTest,
                         ::testing::ValuesIn(ScenarioNames("expected-reasons.tsv")),
                         TestName);

// Together the expected-reasons files show every kind of reason at least
// once.
TEST(ReasonsScenarios, CoverEveryKind) {
  std::string all;
  for (const auto& name : ScenarioNames("expected-reasons.tsv")) {
    all += ReadText(ScenarioRoot() / name / "expected-reasons.tsv");
  }
  for (int kind = 0;; ++kind) {
    const std::string_view name = ReasonKindName(static_cast<ReasonKind>(kind));
    if (name.empty()) break;
    EXPECT_NE(all.find("\t" + std::string(name) + "\t"), std::string::npos)
        << name;
  }
}

}  // namespace
}  // namespace tavik
