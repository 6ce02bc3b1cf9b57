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
#include "fix_bench_rows.h"

namespace tavik::bench {
namespace {

void BM_FixCheckedRows(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<ResultsRow> rows = FixBenchRows(count);
  uint32_t fixed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BenchScan scan;
    MemorySystemInfo system;
    SeedFixBenchRows(scan.registry, rows, u"x");
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
