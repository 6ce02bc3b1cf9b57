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

// Scans the scenario folder `dir` (none: a clean registry) and returns the
// rows as tavik-scan prints them.
std::string ScanRows(const fs::path* dir) {
  MemoryRegistry registry(RegistryFlavor::kWine);
  MemoryFileSystem files;
  if (dir != nullptr) {
    const std::string reg = ReadText(*dir / "registry.reg");
    const RegLoadResult loaded =
        LoadRegFile(registry, std::vector<uint8_t>(reg.begin(), reg.end()));
    EXPECT_TRUE(loaded.ok) << loaded.error;
    if (!loaded.ok) return {};

    if (fs::exists(*dir / "files.txt")) {
      for (std::string line : Lines(ReadText(*dir / "files.txt"))) {
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        const std::u16string path(TrimWideSpace(Utf8ToUtf16(line)));
        if (path.empty()) continue;
        if (path.back() == u'\\') {
          EXPECT_TRUE(files.AddFolder(path)) << line;
        } else {
          EXPECT_TRUE(files.AddFile(path)) << line;
        }
      }
    }
    if (fs::exists(*dir / "exclude.txt")) {
      EXPECT_TRUE(files.WriteFileBytes(ExcludeFilePath(files).c_str(),
                                       ExcludeFileBytes(ReadText(*dir / "exclude.txt")),
                                       false));
    }
  }

  ScanOptions options;
  LoadScanOptions(registry, options);
  SharedFlag stop{0};
  SharedFlag automation{0};
  RecordingResultsView results;
  RecordingHost host;
  ScanThreadMain(ScanEnvironment{registry, files, options, kScanCategories, stop, automation,
                                 results, host});
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
  return FormatRowsAsTsv(results.rows);
}

// The rows of `rows` that the baseline does not account for, each baseline
// row cancelling one equal row, in the order of `rows`: what the Wine runner
// compares too.
std::string RowsBeyondBaseline(const std::string& baseline, const std::string& rows) {
  std::multiset<std::string> left;
  for (const auto& line : Lines(baseline)) left.insert(line);
  std::string out;
  for (const auto& line : Lines(rows)) {
    const auto it = left.find(line);
    if (it != left.end()) {
      left.erase(it);
    } else {
      out += line + "\n";
    }
  }
  return out;
}

class ScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ScenarioTest, ProducesTheExpectedRows) {
  // A clean memory registry already yields rows (empty keys it starts with),
  // as a fresh Wine prefix does: only the rows beyond them are compared.
  static const std::string baseline = ScanRows(nullptr);
  const fs::path dir = ScenarioRoot() / GetParam();
  EXPECT_EQ(RowsBeyondBaseline(baseline, ScanRows(&dir)),
            ReadText(dir / "expected.tsv"));
}

std::vector<std::string> ScenarioNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(ScenarioRoot())) {
    if (entry.is_directory() && fs::exists(entry.path() / "registry.reg")) {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(All, ScenarioTest, ::testing::ValuesIn(ScenarioNames()),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (auto& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace tavik
