// The fix run over 10000 checked rows on the memory back end, without and
// with the undo file (argument 0 or 1): half key trees two levels deep, half
// values, as in the plain fix benchmark. The undo file may add at most 20%
// to the fix time; compare "per_row" of the two.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/recording_ports.h"
#include "bench_setup.h"
#include "../indexed_results_view.h"
#include "platform/memory/memory_system_info.h"
#include "repair/fix_run.h"
#include "repair/undo_file.h"
#include "fix_bench_rows.h"

namespace tavik::bench {
namespace {

void BM_FixWithUndoFile(benchmark::State& state) {
  const int count = 10000;
  const bool withUndo = state.range(0) != 0;
  const std::vector<ResultsRow> rows = FixBenchRows(count);
  uint32_t fixed = 0;
  size_t undoBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BenchScan scan;
    scan.files.SetSpecialFolder(kCsidlLocalAppData, u"C:\\users\\user\\AppData\\Local");
    scan.files.AddFolder(u"C:\\users\\user\\AppData\\Local");
    MemorySystemInfo system;
    SeedFixBenchRows(scan.registry, rows, u"C:\\Program Files\\Gone\\app.exe");
    IndexedResultsView view(rows);
    SharedFlag automation{0};
    RecordingHost host;
    UndoFile undo(scan.registry, scan.files, system);
    RepairEnvironment environment{scan.registry, scan.files, system, scan.stop,
                                  automation, view, host};
    if (withUndo) environment.undo = &undo;
    state.ResumeTiming();
    FixThreadMain(environment);
    state.PauseTiming();
    fixed = static_cast<uint32_t>(count - view.RowCount());
    std::vector<uint8_t> content;
    undoBytes = withUndo && scan.files.FileContent(undo.path(), content) ? content.size() : 0;
    state.ResumeTiming();
  }
  if (fixed != static_cast<uint32_t>(count)) state.SkipWithError("a row was not fixed");
  state.counters["per_row"] = benchmark::Counter(
      count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["undo_bytes"] = static_cast<double>(undoBytes);
}
BENCHMARK(BM_FixWithUndoFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace tavik::bench
