// Runs every scenario of tests/scenarios over the memory registry in its Wine
// flavor and the memory file system; the same scenarios run under Wine with
// the real program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
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

class ScenarioTest : public ::testing::TestWithParam<std::string> {};

// Loads the scenario into a fresh memory registry of the given flavor, scans
// and checks the rows against `expectedFile`.
void CheckScenario(const fs::path& dir, RegistryFlavor flavor,
                   const char* expectedFile) {
  MemoryRegistry registry(flavor);
  MemoryFileSystem files;
  const std::string reg = ReadText(dir / "registry.reg");
  const RegLoadResult loaded =
      LoadRegFile(registry, std::vector<uint8_t>(reg.begin(), reg.end()));
  ASSERT_TRUE(loaded.ok) << loaded.error;

  if (fs::exists(dir / "files.txt")) {
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
  if (fs::exists(dir / "exclude.txt")) {
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
  ScanThreadMain(ScanEnvironment{registry, files, options, kScanCategories, stop, automation,
                                 results, host});
  EXPECT_EQ(FormatRowsAsTsv(results.rows), ReadText(dir / expectedFile));
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_P(ScenarioTest, ProducesTheExpectedRows) {
  CheckScenario(ScenarioRoot() / GetParam(), RegistryFlavor::kWine, "expected.tsv");
}

// Scenarios whose rows differ on Windows (its classes root merges the user's
// classes, its values keep their creation order) run a second time.
class WindowsScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(WindowsScenarioTest, ProducesTheExpectedWindowsRows) {
  CheckScenario(ScenarioRoot() / GetParam(), RegistryFlavor::kWindows,
                "expected-windows.tsv");
}

// Scenario folders holding `requiredFile` besides their registry.reg.
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

std::string ScenarioTestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (auto& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(All, ScenarioTest, ::testing::ValuesIn(ScenarioNames()),
                         ScenarioTestName);
INSTANTIATE_TEST_SUITE_P(All, WindowsScenarioTest,
                         ::testing::ValuesIn(ScenarioNames("expected-windows.tsv")),
                         ScenarioTestName);

}  // namespace
}  // namespace tavik
