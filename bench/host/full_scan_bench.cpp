// The full scan over the synthetic registry (20000 CLSIDs, 20000 ProgIDs,
// 5000 extensions, 2000 uninstall entries, 5000 application paths, 2000
// recent documents, a third of each broken) on the in-memory layers, with
// every category switch on, at sizes 1, 2 and 3: the time per scan and per
// entry (which must stay close to flat from size 1 to 2), the findings, the
// heap the finding list holds per finding, and the registry opens per
// examined key, counted by a decorator over the seam.
// Beside it, the floor: one bare walk of the same containers through the
// seam, every key opened once and every value read once.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>

#include "../common/counting_file_system.h"
#include "../common/counting_registry.h"
#include "../common/synthetic_registry.h"
#include "app/recording_ports.h"
#include "engine/registry_key.h"
#include "engine/scan_run.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/reg_file_loader.h"
#include "scanners/scan_categories.h"

namespace tavik::bench {
namespace {

constexpr char16_t kRecentFolder[] =
    u"C:\\Users\\Bench\\AppData\\Roaming\\Microsoft\\Windows\\Recent";

// Bytes the C library's heap has handed out and not taken back.
size_t HeapBytesInUse() { return mallinfo2().uordblks; }

struct FullScanSetup {
  MemoryRegistry registry{RegistryFlavor::kWindows};
  MemoryFileSystem files;
  SyntheticSize size;
  bool loaded = false;
};

// Built once per size and kept for every run of the benchmark.
FullScanSetup& SetupOfSize(int factor) {
  static std::map<int, std::unique_ptr<FullScanSetup>> setups;
  auto& setup = setups[factor];
  if (setup) return *setup;
  setup = std::make_unique<FullScanSetup>();
  setup->size = SyntheticSize{}.Scaled(factor);
  const SyntheticRegistry synthetic =
      MakeSyntheticRegistry(setup->size, kRecentFolder);
  setup->loaded =
      LoadRegText(setup->registry, Utf8ToUtf16(synthetic.regText)).ok;
  setup->files.SetSpecialFolder(kCsidlRecent, kRecentFolder);
  for (const auto& path : synthetic.files) {
    if (!path.empty() && path.back() == u'\\') {
      setup->files.AddFolder(path.substr(0, path.size() - 1));
    } else {
      setup->files.AddFile(path);
    }
  }
  for (const auto& [link, target] : synthetic.shortcuts) {
    setup->files.AddShellLink(link, target);
  }
  return *setup;
}

void BM_FullScan(benchmark::State& state) {
  FullScanSetup& setup = SetupOfSize(static_cast<int>(state.range(0)));
  if (!setup.loaded) {
    state.SkipWithError("the synthetic registry did not load");
    return;
  }
  CountingRegistry counting(setup.registry);
  const ScanOptions options;  // every switch on
  SharedFlag stop{0};
  SharedFlag automation{0};
  RecordingResultsView results;
  RecordingHost host;
  const ScanEnvironment environment{counting, setup.files, options,
                                    kScanCategories, stop, automation,
                                    results, host};
  size_t findings = 0;
  double cpuSeconds = 0;
  double heldBytes = 0;
  for (auto _ : state) {
    counting.Reset();
    FindingList list;
    const size_t heapBefore = HeapBytesInUse();
    const std::clock_t start = std::clock();
    RunScan(environment, list);
    cpuSeconds += static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    // What the scan leaves allocated: the finding list and what its rows
    // and reasons hold.
    heldBytes = static_cast<double>(HeapBytesInUse() - heapBefore);
    findings = list.findings.size();
    state.PauseTiming();
    list = FindingList();
    state.ResumeTiming();
  }
  const double entries = setup.size.Entries();
  const auto& counts = counting.counts();
  const double distinct = static_cast<double>(counting.DistinctKeysOpened());
  state.counters["entries"] = entries;
  state.counters["findings"] = static_cast<double>(findings);
  state.counters["held_bytes_per_finding"] =
      heldBytes / std::max<double>(1.0, static_cast<double>(findings));
  state.counters["cpu_per_entry_ns"] =
      cpuSeconds / static_cast<double>(state.iterations()) / entries * 1e9;
  state.counters["opens"] = static_cast<double>(counts.opens);
  state.counters["failed_opens"] = static_cast<double>(counts.failedOpens);
  state.counters["keys_opened"] = distinct;
  state.counters["opens_per_key"] =
      static_cast<double>(counts.opens) / std::max(1.0, distinct);
  state.counters["opens_per_entry"] = static_cast<double>(counts.opens) / entries;
  state.counters["enum_calls"] =
      static_cast<double>(counts.enumKeys + counts.enumValues);
  state.counters["queries"] = static_cast<double>(counts.queries);
}
// Size 3 gives about 100000 findings, each with its reason: the size at
// which what the reasons cost in time and memory is measured.
BENCHMARK(BM_FullScan)->Arg(1)->Arg(2)->Arg(3)
    ->Unit(benchmark::kMillisecond)->Iterations(3);

// The same scan with the per-scan caches off (0) and on (1): time, the
// file-system calls per judged text (one environment expansion each) and
// the registry opens, through counting decorators under the caches. The
// rows must be the same both ways.
void BM_FullScanCaches(benchmark::State& state) {
  FullScanSetup& setup = SetupOfSize(static_cast<int>(state.range(0)));
  if (!setup.loaded) {
    state.SkipWithError("the synthetic registry did not load");
    return;
  }
  CountingRegistry counting(setup.registry);
  CountingFileSystem files(setup.files);
  const ScanOptions options;  // every switch on
  SharedFlag stop{0};
  SharedFlag automation{0};
  RecordingResultsView results;
  RecordingHost host;
  ScanEnvironment environment{counting, files, options, kScanCategories,
                              stop, automation, results, host};
  environment.useCaches = state.range(1) != 0;
  size_t findings = 0;
  for (auto _ : state) {
    counting.Reset();
    files.Reset();
    FindingList list;
    RunScan(environment, list);
    findings = list.findings.size();
    state.PauseTiming();
    list = FindingList();
    state.ResumeTiming();
  }
  const auto& fileCounts = files.counts();
  const double texts = std::max<double>(1.0, fileCounts.expansions);
  state.counters["findings"] = static_cast<double>(findings);
  state.counters["judged_texts"] = static_cast<double>(fileCounts.expansions);
  state.counters["file_calls_per_text"] =
      static_cast<double>(fileCounts.FileCalls()) / texts;
  state.counters["drive_types_per_text"] =
      static_cast<double>(fileCounts.driveTypes) / texts;
  state.counters["listings"] = static_cast<double>(fileCounts.listings);
  state.counters["registry_opens"] =
      static_cast<double>(counting.counts().opens);
}
BENCHMARK(BM_FullScanCaches)
    ->Args({1, 0})->Args({1, 1})->Args({2, 1})->Args({4, 1})
    ->Unit(benchmark::kMillisecond)->Iterations(2);

struct Container {
  RegKey root;
  const char16_t* path;
  int depth;              // levels of subkeys walked below the container
  const char16_t* skip;   // a direct subkey walked by another container
};

constexpr Container kContainers[] = {
    {kHkeyLocalMachine, u"SOFTWARE\\Classes", 2, u"clsid"},
    {kHkeyLocalMachine, u"SOFTWARE\\Classes\\CLSID", 2, nullptr},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 1, nullptr},
    {kHkeyLocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", 1, nullptr},
    {kHkeyCurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs", 1, nullptr},
};

struct Walk {
  Registry& registry;
  std::u16string name = std::u16string(kTextBufferChars, u'\0');
  std::vector<uint8_t> data = std::vector<uint8_t>(kTextBufferChars);
  long keys = 0;
  long values = 0;

  void Key(RegKey parent, const char16_t* path, int depth,
           const char16_t* skip) {
    RegistryKey key;
    if (RegistryKey::Open(registry, parent, path, kKeyRead, key) !=
        kErrorSuccess) {
      return;
    }
    ++keys;
    for (uint32_t index = 0;; ++index) {
      uint32_t nameChars = kTextBufferChars;
      uint32_t dataBytes = kTextBufferChars;
      if (registry.RegEnumValueW(key.get(), index, name.data(), &nameChars,
                                 nullptr, data.data(),
                                 &dataBytes) != kErrorSuccess) {
        break;
      }
      ++values;
    }
    if (depth == 0) return;
    std::vector<std::u16string> subkeys;
    for (uint32_t index = 0;; ++index) {
      uint32_t nameChars = 512;
      if (registry.RegEnumKeyExW(key.get(), index, name.data(), &nameChars) !=
          kErrorSuccess) {
        break;
      }
      subkeys.emplace_back(name.data(), nameChars);
    }
    for (const auto& subkey : subkeys) {
      if (skip != nullptr && EqualsIgnoreAsciiCase(subkey, skip)) continue;
      Key(key.get(), subkey.c_str(), depth - 1, nullptr);
    }
  }
};

void BM_ContainerWalkFloor(benchmark::State& state) {
  FullScanSetup& setup = SetupOfSize(static_cast<int>(state.range(0)));
  long keys = 0;
  long values = 0;
  for (auto _ : state) {
    Walk walk{setup.registry};
    for (const Container& container : kContainers) {
      walk.Key(container.root, container.path, container.depth,
               container.skip);
    }
    keys = walk.keys;
    values = walk.values;
  }
  if (keys < setup.size.Entries() / 2) {
    state.SkipWithError("the synthetic containers are missing");
  }
  state.counters["keys"] = static_cast<double>(keys);
  state.counters["values"] = static_cast<double>(values);
}
BENCHMARK(BM_ContainerWalkFloor)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace tavik::bench
