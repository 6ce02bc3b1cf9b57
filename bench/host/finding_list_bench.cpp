// AddFinding onto one list of 100000 and of 200000 findings: the cost of a
// call must not grow with the list. "per_call" is the mean over all calls,
// "last_10pct_per_call" the mean over the final tenth, when the list is
// longest. Both are CPU times of the benchmark thread, so that other work on
// the machine does not blur the comparison.
#include <benchmark/benchmark.h>
#include <ctime>
#include <vector>

#include "bench_setup.h"

namespace tavik::bench {
namespace {

// The benchmark is single-threaded, so the process's CPU time is the
// thread's.
double ThreadCpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void BM_AddFindingOntoOneList(benchmark::State& state) {
  const int calls = static_cast<int>(state.range(0));
  BenchScan scan;
  scan.registry.CreateKey(kHkeyCurrentUser, kRunKey);
  std::vector<std::u16string> names;
  names.reserve(static_cast<size_t>(calls));
  for (int i = 0; i < calls; ++i) names.push_back(Numbered(u"Entry", i));
  const ScanContext context = scan.context();
  const int tailStart = calls - calls / 10;

  double tailSeconds = 0;
  for (auto _ : state) {
    FindingList list;
    for (int i = 0; i < tailStart; ++i) {
      AddFinding(context, &list, kFindingInvalidValue, kHkeyCurrentUser,
                 kRunKey, u"", names[static_cast<size_t>(i)], {});
    }
    const double tailBegin = ThreadCpuSeconds();
    for (int i = tailStart; i < calls; ++i) {
      AddFinding(context, &list, kFindingInvalidValue, kHkeyCurrentUser,
                 kRunKey, u"", names[static_cast<size_t>(i)], {});
    }
    tailSeconds += ThreadCpuSeconds() - tailBegin;
    if (list.findings.size() != static_cast<size_t>(calls)) {
      state.SkipWithError("a finding was not stored");
      break;
    }
    state.PauseTiming();
    list = FindingList();  // the release is not part of the appending
    state.ResumeTiming();
  }
  state.counters["per_call"] = benchmark::Counter(
      calls, benchmark::Counter::kIsIterationInvariantRate |
                 benchmark::Counter::kInvert);
  const double tailCalls =
      static_cast<double>(calls - tailStart) * static_cast<double>(state.iterations());
  state.counters["last_10pct_per_call"] = tailSeconds / tailCalls;
  state.SetItemsProcessed(state.iterations() * calls);
}
BENCHMARK(BM_AddFindingOntoOneList)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavik::bench
