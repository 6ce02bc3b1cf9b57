// A startup-key scan over one key of 100000 values, half of whose commands
// name files that do not exist, on the in-memory registry and file system.
#include <benchmark/benchmark.h>

#include "bench_setup.h"
#include "scanners/value_lists.h"

namespace tavik::bench {
namespace {

constexpr int kValues = 100000;

void Fill(BenchScan& scan) {
  for (int i = 0; i < kValues; ++i) {
    const std::u16string file = Numbered(u"C:\\Apps\\tool", i) + u".exe";
    // Even entries exist; odd ones are missing, with and without arguments.
    if (i % 2 == 0) scan.files.AddFile(file);
    const std::u16string command =
        (i % 4 == 1) ? u"\"" + file + u"\" /background" : file;
    scan.registry.SetString(kHkeyCurrentUser, kRunKey, Numbered(u"Entry", i),
                            command);
  }
}

// Built once and kept for every run of the benchmark.
BenchScan& HundredThousandValues() {
  static BenchScan scan;
  static const bool filled = (Fill(scan), true);
  (void)filled;
  return scan;
}

void BM_ScanStartupKeyOf100000Values(benchmark::State& state) {
  BenchScan& scan = HundredThousandValues();
  const ScanContext context = scan.context();
  for (auto _ : state) {
    FindingList list;
    ScanStartupKey(context, &list, kHkeyCurrentUser, kRunKey);
    if (list.findings.size() != kValues / 2) {
      state.SkipWithError("unexpected number of findings");
      break;
    }
    state.PauseTiming();
    list = FindingList();
    state.ResumeTiming();
  }
  state.counters["per_value"] = benchmark::Counter(
      kValues, benchmark::Counter::kIsIterationInvariantRate |
                   benchmark::Counter::kInvert);
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ScanStartupKeyOf100000Values)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavik::bench
