// CheckFileReference over a mix of the texts the scanners meet: existing and
// missing paths, bare names found in the Windows folder, quoted command lines
// with arguments, environment variables and paths on unjudged drives.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_setup.h"
#include "engine/file_reference.h"

namespace tavik::bench {
namespace {

struct Case {
  std::u16string text;
  int32_t expected;
};

std::vector<Case> MixedTexts(MemoryFileSystem& files) {
  files.AddFile(u"C:\\windows\\system32\\present.dll");
  files.AddFile(u"C:\\windows\\notepad.exe");
  files.AddFile(u"C:\\Program Files\\Vendor\\app.exe");
  files.AddFile(u"C:\\Tools\\runner.exe");
  files.SetDriveType(u'N', kDriveRemote);
  files.SetEnvironment(u"VENDOR", u"C:\\Program Files\\Vendor");
  return {
      {u"C:\\windows\\system32\\present.dll", 1},
      {u"C:\\Gone\\missing.dll", 0},
      {u"present.dll", 1},
      {u"notepad.exe", 1},
      {u"  \"C:\\Program Files\\Vendor\\app.exe\"  ", 1},
      {u"\"C:\\Program Files\\Vendor\\app.exe\" /minimized --tray", 1},
      {u"C:\\Tools\\runner.exe -x -y", 1},
      {u"\"C:\\Gone\\old.exe\" /run", 0},
      {u"C:\\Gone\\old.exe", 0},
      {u"%VENDOR%\\app.exe", 1},
      {u"%SystemRoot%\\system32\\present.dll", 1},
      {u"%ProgramFiles%\\Gone\\tool.exe /quiet", 0},
      {u"N:\\share\\tool.exe", 1},
      {u"\\\\server\\share\\tool.exe", 1},
      {u"rundll32.exe C:\\Gone\\x.dll,Entry", 0},
      {u"", 1},
  };
}

void BM_CheckFileReferenceMix(benchmark::State& state) {
  MemoryFileSystem files;
  const std::vector<Case> cases = MixedTexts(files);
  for (const Case& c : cases) {
    if (CheckFileReference(files, c.text, 0) != c.expected) {
      state.SkipWithError("a text was judged other than expected");
      return;
    }
  }
  for (auto _ : state) {
    for (const Case& c : cases) {
      benchmark::DoNotOptimize(CheckFileReference(files, c.text, 0));
    }
  }
  state.SetItemsProcessed(state.iterations() *
                          static_cast<int64_t>(cases.size()));
  state.counters["per_text"] = benchmark::Counter(
      static_cast<double>(cases.size()),
      benchmark::Counter::kIsIterationInvariantRate |
          benchmark::Counter::kInvert);
}
BENCHMARK(BM_CheckFileReferenceMix)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavik::bench
