// The installed programs category over 10000 uninstall entries, each with
// its location, uninstall and icon values and an ARPCache record, and 1000
// ARPCache entries left behind by programs that are gone; half the programs'
// files are missing. In-memory registry and file system.
#include <benchmark/benchmark.h>

#include "bench_setup.h"
#include "scanners/installed_programs.h"

namespace tavik::bench {
namespace {

constexpr int kEntries = 10000;
constexpr int kOrphans = 1000;
// Per missing program: DisplayIcon, InstallLocation and the ARPCache key.
constexpr size_t kExpectedFindings = kEntries / 2 * 3 + kOrphans;

std::vector<uint8_t> Record(const std::u16string& program) {
  std::vector<uint8_t> bytes(28, 0);
  bytes[4] = 1;
  for (const char16_t c : program) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.resize(bytes.size() + 2, 0);
  return bytes;
}

void Fill(BenchScan& scan) {
  const std::u16string uninstall(kUninstallPath);
  const std::u16string arpCache(kArpCachePath);
  for (int i = 0; i < kEntries; ++i) {
    const std::u16string name = Numbered(u"Program", i);
    const std::u16string folder = Numbered(u"C:\\Program Files\\Vendor", i);
    const std::u16string program = folder + u"\\app.exe";
    if (i % 2 == 0) scan.files.AddFile(program);
    const std::u16string entry = uninstall + name;
    scan.registry.SetString(kHkeyLocalMachine, entry, u"DisplayName", name);
    scan.registry.SetString(kHkeyLocalMachine, entry, u"DisplayIcon",
                            program + u",0");
    scan.registry.SetString(kHkeyLocalMachine, entry, u"InstallLocation",
                            folder);
    scan.registry.SetString(kHkeyLocalMachine, entry, u"UninstallString",
                            u"\"" + folder + u"\\uninst.exe\" /S");
    scan.registry.SetValue(kHkeyLocalMachine, arpCache + name, u"SlowInfoCache",
                           kRegBinary, Record(program));
  }
  for (int i = 0; i < kOrphans; ++i) {
    scan.registry.SetValue(kHkeyLocalMachine, arpCache + Numbered(u"Gone", i),
                           u"SlowInfoCache", kRegBinary, Record(u""));
  }
  scan.registry.CreateKey(kHkeyCurrentUser, arpCache + u"Other");
  scan.registry.SetString(kHkeyCurrentUser, uninstall + u"Other", u"x", u"");
  // Classes keys are never empty on a real system.
  scan.registry.SetString(kHkeyLocalMachine, u"SOFTWARE\\Classes", u"x", u"");
  scan.registry.SetString(kHkeyCurrentUser, u"SOFTWARE\\Classes", u"x", u"");
}

// Built once and kept for every run of the benchmark.
BenchScan& TenThousandPrograms() {
  static BenchScan scan;
  static const bool filled = (Fill(scan), true);
  (void)filled;
  return scan;
}

void BM_ScanInstalledProgramsOf10000Entries(benchmark::State& state) {
  BenchScan& scan = TenThousandPrograms();
  const ScanContext context = scan.context();
  for (auto _ : state) {
    FindingList list;
    ScanInstalledPrograms(context, &list);
    if (list.findings.size() != kExpectedFindings) {
      state.SkipWithError("unexpected number of findings");
      break;
    }
    state.PauseTiming();
    list = FindingList();
    state.ResumeTiming();
  }
  state.counters["per_entry"] = benchmark::Counter(
      kEntries, benchmark::Counter::kIsIterationInvariantRate |
                    benchmark::Counter::kInvert);
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ScanInstalledProgramsOf10000Entries)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavik::bench
