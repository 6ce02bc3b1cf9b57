// The fix run over 10000 and 100000 checked rows on the memory back end, rows
// read and deleted one at a time: half of them key trees two levels deep,
// half values, spread over keys of 200 entries each so that the registry's
// own cost per deletion stays flat. "per_row" is the CPU time per row; it
// must stay about the same from 10000 to 100000 rows (deleting a row must
// not cost a walk over the rest of the list).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/recording_ports.h"
#include "bench_setup.h"
#include "../indexed_results_view.h"
#include "platform/memory/memory_system_info.h"
#include "repair/fix_run.h"

namespace tavik::bench {
namespace {

void BM_FixCheckedRows(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<ResultsRow> rows;
  rows.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const std::u16string group = Numbered(u"Software\\Bench\\G", i / 200);
    ResultsRow row;
    row.checked = true;
    row.cells = i % 2 == 0
                    ? std::array<std::u16string, 4>{u"Invalid Key", u"HKEY_LOCAL_MACHINE",
                                                    group + Numbered(u"\\K", i), u"-------"}
                    : std::array<std::u16string, 4>{u"Invalid Value", u"HKEY_LOCAL_MACHINE",
                                                    group + u"\\Values", Numbered(u"Entry", i)};
    rows.push_back(std::move(row));
  }
  uint32_t fixed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BenchScan scan;
    MemorySystemInfo system;
    for (const ResultsRow& row : rows) {
      if (row.cells[0] == u"Invalid Key") {
        scan.registry.SetString(kHkeyLocalMachine, row.cells[2] + u"\\Sub", u"v", u"x");
      } else {
        scan.registry.SetString(kHkeyLocalMachine, row.cells[2], row.cells[3], u"x");
      }
    }
    IndexedResultsView view(rows);
    SharedFlag automation{0};
    RecordingHost host;
    const RepairEnvironment environment{scan.registry, scan.files, system, scan.stop,
                                        automation, view, host};
    state.ResumeTiming();
    FixThreadMain(environment);
    state.PauseTiming();
    fixed = static_cast<uint32_t>(count - view.RowCount());
    state.ResumeTiming();
  }
  if (fixed != static_cast<uint32_t>(count)) state.SkipWithError("a row was not fixed");
  state.counters["per_row"] = benchmark::Counter(
      count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_FixCheckedRows)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace tavik::bench
