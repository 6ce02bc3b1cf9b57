// The per-scan caches as a scan sees them: the same rows with and without
// them, a file that appears during the scan, and a later scan that sees
// every change.
#include <gtest/gtest.h>

#include "../../bench/common/counting_registry.h"
#include "app/recording_ports.h"
#include "engine/caching_registry.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "engine/scan_run.h"
#include "scan_fixture.h"
#include "scanners/scan_categories.h"

namespace tavik {
namespace {

using testing::ScanFixture;

constexpr char16_t kSharedDlls[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

class ScanCachesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.registry.SetString(kHkeyLocalMachine, u"Software\\Classes", u"Mark", u"");
    f.registry.SetString(kHkeyCurrentUser, u"Software\\Classes", u"Mark", u"");
  }
  std::string Scan(Registry& registry, const ScanCategoryTable& categories,
                   bool useCaches) {
    RecordingResultsView results;
    RecordingHost host;
    ScanThreadMain(ScanEnvironment{registry, f.files, options, categories,
                                   f.stop, automation, results, host, nullptr,
                                   useCaches});
    return FormatRowsAsTsv(results.rows);
  }
  ScanFixture f;
  ScanOptions options;
  SharedFlag automation{0};
};

TEST_F(ScanCachesTest, RowsAreTheSameWithAndWithoutTheCaches) {
  f.files.AddFile(u"C:\\Apps\\kept.dll");
  f.files.AddFile(u"C:\\Apps\\Kept Too.dll");
  f.files.AddFile(u"C:\\windows\\system32\\present.dll");
  f.files.AddFile(u"C:\\Locked\\in.dll");
  f.files.SetUnlistable(u"C:\\Locked", true);
  for (const auto* name :
       {u"C:\\Apps\\kept.dll", u"C:\\APPS\\KEPT TOO.DLL", u"C:\\Apps\\gone.dll",
        u"C:\\Apps\\gone2.dll", u"C:\\Apps\\kept.dll.", u"present.dll",
        u"absent.dll", u"C:\\Gone\\a.dll", u"C:\\Gone\\b.dll",
        u"C:\\Locked\\in.dll", u"C:\\Locked\\out.dll", u"C:\\Apps\\NUL",
        u"\\\\?\\C:\\Apps\\kept.dll"}) {
    f.registry.SetDword(kHkeyLocalMachine, kSharedDlls, name, 1);
  }
  f.registry.SetAccess(kHkeyLocalMachine, kSharedDlls, KeyAccess::kReadOnly);
  const std::string readOnly = Scan(f.registry, kScanCategories, true);
  EXPECT_EQ(readOnly, "");
  EXPECT_EQ(readOnly, Scan(f.registry, kScanCategories, false));
  f.registry.SetAccess(kHkeyLocalMachine, kSharedDlls, KeyAccess::kFull);
  const std::string rows = Scan(f.registry, kScanCategories, true);
  EXPECT_EQ(rows, Scan(f.registry, kScanCategories, false));
  EXPECT_NE(rows.find("C:\\Gone\\b.dll"), std::string::npos);
  EXPECT_EQ(rows.find("kept.dll\n"), std::string::npos);
  EXPECT_EQ(rows.find("present.dll"), std::string::npos);
  EXPECT_EQ(rows.find("in.dll"), std::string::npos);
}

TEST_F(ScanCachesTest, FullAccessTestOpensEachKeyOnce) {
  for (int i = 0; i < 50; ++i) {
    f.registry.SetDword(kHkeyLocalMachine, kSharedDlls,
                        u"C:\\Gone\\" + Utf8ToUtf16(std::to_string(i)) + u".dll",
                        1);
  }
  bench::CountingRegistry counting(f.registry);
  ScanCategoryTable sharedDllsOnly{};
  sharedDllsOnly[1] = kScanCategories[1];
  EXPECT_EQ(Scan(counting, sharedDllsOnly, false).size(),
            Scan(counting, sharedDllsOnly, true).size());
  counting.Reset();
  Scan(counting, sharedDllsOnly, false);
  const uint64_t uncached = counting.counts().opens;
  counting.Reset();
  Scan(counting, sharedDllsOnly, true);
  EXPECT_GE(uncached, 50u);
  EXPECT_LE(counting.counts().opens, 5u);
  // Every stand-in handle and every real key it opened was closed.
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(ScanCachesTest, StandInHandlesReadAsTheKeyItselfAndForgetOnChange) {
  f.registry.SetString(kHkeyLocalMachine, u"Software\\A", u"v", u"x");
  CachingRegistry cached(f.registry);
  RegKey first = 0;
  RegKey second = 0;
  ASSERT_EQ(cached.RegOpenKeyExW(kHkeyLocalMachine, u"Software\\A", kKeyRead,
                                 &first),
            kErrorSuccess);
  ASSERT_EQ(cached.RegOpenKeyExW(kHkeyLocalMachine, u"Software\\A", kKeyRead,
                                 &second),
            kErrorSuccess);
  EXPECT_NE(first, second);
  uint32_t values = 9;
  uint32_t subKeys = 9;
  EXPECT_EQ(cached.RegQueryInfoKeyW(second, &subKeys, &values), kErrorSuccess);
  EXPECT_EQ(values, 1u);
  // A stand-in serves as the parent of a further open as well.
  f.registry.SetString(kHkeyLocalMachine, u"Software\\A\\C", u"w", u"y");
  RegKey child = 0;
  ASSERT_EQ(cached.RegOpenKeyExW(first, u"C", kKeyRead, &child), kErrorSuccess);
  EXPECT_EQ(cached.RegQueryInfoKeyW(child, &subKeys, &values), kErrorSuccess);
  EXPECT_EQ(values, 1u);
  cached.RegCloseKey(child);
  cached.RegCloseKey(first);
  cached.RegCloseKey(second);
  // A key made meanwhile by another program is seen at once...
  RegKey missing = 0;
  EXPECT_NE(cached.RegOpenKeyExW(kHkeyLocalMachine, u"Software\\B", kKeyRead,
                                 &missing),
            kErrorSuccess);
  f.registry.SetString(kHkeyLocalMachine, u"Software\\B", u"v", u"x");
  ASSERT_EQ(cached.RegOpenKeyExW(kHkeyLocalMachine, u"Software\\B", kKeyRead,
                                 &missing),
            kErrorSuccess);
  cached.RegCloseKey(missing);
  // ...and one deleted through the cache is gone from it.
  RegKey software = 0;
  ASSERT_EQ(cached.RegOpenKeyExW(kHkeyLocalMachine, u"Software", kKeyAllAccess,
                                 &software),
            kErrorSuccess);
  EXPECT_EQ(cached.RegDeleteValueW(missing, u"v"), kErrorInvalidHandle);
  RegKey b = 0;
  ASSERT_EQ(cached.RegOpenKeyExW(kHkeyLocalMachine, u"Software\\B",
                                 kKeyAllAccess, &b),
            kErrorSuccess);
  EXPECT_EQ(cached.RegDeleteValueW(b, u"v"), kErrorSuccess);
  cached.RegCloseKey(b);
  EXPECT_EQ(cached.RegDeleteKeyW(software, u"B"), kErrorSuccess);
  cached.RegCloseKey(software);
  EXPECT_NE(cached.RegOpenKeyExW(kHkeyLocalMachine, u"Software\\B", kKeyRead,
                                 &missing),
            kErrorSuccess);
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

// A category that judges files in one folder and, half-way, has the
// folder gain the very file it judges next, as another program might.
MemoryFileSystem* gFiles = nullptr;
int gScans = 0;

void JudgeWhileAFileAppears(const CategoryRun& run) {
  ++gScans;
  FileSystem& files = run.context.files;
  CheckFileReference(files, u"C:\\Apps\\one.dll", 0);
  CheckFileReference(files, u"C:\\Apps\\two.dll", 0);
  if (gScans == 1) gFiles->AddFile(u"C:\\Apps\\late.dll");
  if (CheckFileReference(files, u"C:\\Apps\\late.dll", 0) == 0) {
    AddFinding(run.context, run.list, 1, kHkeyLocalMachine, kSharedDlls, u"",
               u"C:\\Apps\\late.dll", {});
  }
}

TEST_F(ScanCachesTest, FileThatAppearsDuringTheScanIsNeverReported) {
  f.files.AddFolder(u"C:\\Apps");
  f.registry.SetDword(kHkeyLocalMachine, kSharedDlls, u"x", 1);
  gFiles = &f.files;
  gScans = 0;
  ScanCategoryTable table{};
  table[0] = ScanCategory{u"Judge", &JudgeWhileAFileAppears};
  EXPECT_EQ(Scan(f.registry, table, true), "");
  // The first pass rested on a stale "absent" and was judged again.
  EXPECT_EQ(gScans, 2);
  gFiles = nullptr;
}

TEST_F(ScanCachesTest, NextScanSeesFilesMadeSinceTheLastOne) {
  f.registry.SetDword(kHkeyLocalMachine, kSharedDlls, u"C:\\Apps\\a.dll", 1);
  f.registry.SetDword(kHkeyLocalMachine, kSharedDlls, u"C:\\Apps\\b.dll", 1);
  f.files.AddFolder(u"C:\\Apps");
  ScanCategoryTable sharedDllsOnly{};
  sharedDllsOnly[1] = kScanCategories[1];
  EXPECT_NE(Scan(f.registry, sharedDllsOnly, true).find("a.dll"),
            std::string::npos);
  f.files.AddFile(u"C:\\Apps\\a.dll");
  f.files.AddFile(u"C:\\Apps\\b.dll");
  EXPECT_EQ(Scan(f.registry, sharedDllsOnly, true), "");
}

}  // namespace
}  // namespace tavik
