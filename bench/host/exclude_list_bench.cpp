// IsExcluded against an exclude list of 1000 entries: once with no entry
// matching, once with only the last entry matching, so that every entry is
// compared in both.
#include <benchmark/benchmark.h>

#include "bench_setup.h"
#include "engine/exclude_list.h"

namespace tavik::bench {
namespace {

constexpr int kEntries = 1000;

ExcludeList ThousandEntries(bool lastMatches) {
  ExcludeList list;
  for (int i = 0; i < kEntries; ++i) {
    // Entries as users write them: mixed case and surrounding blanks.
    list.push_back(u"  " +
                   Numbered(u"HKEY_LOCAL_MACHINE\\Software\\Vendor", i) +
                   u"\\Product  ");
  }
  if (lastMatches) {
    list.back() = u"  hkey_current_user\\software\\microsoft\\windows  ";
  }
  return list;
}

void RunIsExcluded(benchmark::State& state, bool lastMatches) {
  const ExcludeList list = ThousandEntries(lastMatches);
  const int32_t expected = lastMatches ? 1 : 0;
  for (auto _ : state) {
    const int32_t result = IsExcluded(&list, kHkeyCurrentUser, kRunKey);
    benchmark::DoNotOptimize(result);
    if (result != expected) {
      state.SkipWithError("unexpected exclude answer");
      break;
    }
  }
  state.counters["entries"] = kEntries;
  state.SetItemsProcessed(state.iterations());
}

void BM_IsExcludedNoneMatching(benchmark::State& state) {
  RunIsExcluded(state, false);
}
void BM_IsExcludedLastMatching(benchmark::State& state) {
  RunIsExcluded(state, true);
}
BENCHMARK(BM_IsExcludedNoneMatching)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IsExcludedLastMatching)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavik::bench
