// The class scan over 20000 class identifiers, 20000 ProgIDs and 2000 file
// extensions on the in-memory registry (Windows flavor: every machine class
// is also seen through HKEY_CLASSES_ROOT). Reports the time per class key and
// the registry opens each examined key costs.
#include <benchmark/benchmark.h>

#include "bench_setup.h"
#include "../common/counting_registry.h"
#include "scanners/com_classes.h"

namespace tavik::bench {
namespace {

constexpr int kClasses = 20000;
constexpr int kExtensions = 2000;

std::u16string Guid(int index) {
  // "{00000000-0000-4000-8000-" + twelve digits + "}"
  return u"{00000000-0000-4000-8000-" + Numbered(u"000000", index) + u"}";
}

void Fill(BenchScan& scan) {
  const std::u16string classes = u"Software\\Classes\\";
  scan.files.AddFile(u"C:\\Program Files\\App\\app.dll");
  scan.files.AddFile(u"C:\\windows\\system32\\shell32.dll");
  scan.registry.CreateKey(kHkeyLocalMachine, classes + u"AppID\\" + Guid(0));
  for (int i = 0; i < kClasses; ++i) {
    const std::u16string key = classes + u"CLSID\\" + Guid(i);
    // Every class has a server and an icon; a tenth of the servers are
    // missing; every fourth class names an AppID, registered or not.
    scan.registry.SetString(kHkeyLocalMachine, key + u"\\InprocServer32", u"",
                            i % 10 == 0 ? u"C:\\Gone\\gone.dll"
                                        : u"C:\\Program Files\\App\\app.dll");
    scan.registry.SetString(kHkeyLocalMachine, key + u"\\DefaultIcon", u"",
                            u"%SystemRoot%\\system32\\shell32.dll,-16");
    if (i % 4 == 0) {
      scan.registry.SetString(kHkeyLocalMachine, key, u"AppID",
                              i % 8 == 0 ? Guid(0) : Guid(kClasses + i));
    }
    const std::u16string progId = Numbered(u"App.Document", i);
    scan.registry.SetString(kHkeyLocalMachine, classes + progId, u"", u"Doc");
    scan.registry.SetString(kHkeyLocalMachine, classes + progId + u"\\CLSID",
                            u"", Guid(i));
  }
  for (int i = 0; i < kExtensions; ++i) {
    scan.registry.SetString(kHkeyLocalMachine, classes + Numbered(u".ext", i),
                            u"", Numbered(u"App.Document", (i * 7) % kClasses));
  }
}

BenchScan& ManyClasses() {
  static BenchScan scan;
  static const bool filled = (Fill(scan), true);
  (void)filled;
  return scan;
}

void BM_ScanClassesOf20000Classes(benchmark::State& state) {
  BenchScan& scan = ManyClasses();
  CountingRegistry counting(scan.registry);
  const ScanContext context{counting, scan.files, scan.stop, &scan.exclude};
  // Class keys seen through HKEY_CLASSES_ROOT and HKLM\SOFTWARE\Classes.
  constexpr int kExamined = 2 * (kClasses + kClasses + kExtensions);
  uint64_t runs = 0;
  for (auto _ : state) {
    FindingList list;
    ScanClasses(context, &list);
    ++runs;
    // Each missing server, and each unregistered AppID, through two roots.
    if (list.findings.size() != 2 * (kClasses / 10 + kClasses / 8)) {
      state.SkipWithError(("unexpected number of findings: " + std::to_string(list.findings.size())).c_str());
      break;
    }
    state.PauseTiming();
    list = FindingList();
    state.ResumeTiming();
  }
  state.counters["per_key"] = benchmark::Counter(
      kExamined, benchmark::Counter::kIsIterationInvariantRate |
                     benchmark::Counter::kInvert);
  state.counters["opens_per_key"] =
      runs == 0 ? 0.0
                : static_cast<double>(counting.counts().opens) / runs / kExamined;
  state.SetItemsProcessed(state.iterations() * kExamined);
}
BENCHMARK(BM_ScanClassesOf20000Classes)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavik::bench
