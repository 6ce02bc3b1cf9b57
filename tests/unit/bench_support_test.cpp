// The benchmarks' synthetic registry and counting decorator: wrong figures
// would come silently from a layout the scanners do not read, a broken share
// other than a third, or opens counted against the wrong keys.
#include <gtest/gtest.h>

#include "../../bench/common/counting_registry.h"
#include "../../bench/common/synthetic_registry.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/reg_file_loader.h"

namespace tavik::bench {
namespace {

constexpr char16_t kRecent[] = u"C:\\Recent";

std::u16string DefaultValue(Registry& registry, RegKey root,
                            const std::u16string& path) {
  RegistryKey key;
  if (RegistryKey::Open(registry, root, path.c_str(), kKeyRead, key) !=
      kErrorSuccess) {
    return u"<no key>";
  }
  std::u16string text(kTextBufferChars, u'\0');
  uint32_t bytes = static_cast<uint32_t>(kTextBufferChars * 2);
  if (registry.RegQueryValueExW(key.get(), u"", nullptr,
                                reinterpret_cast<uint8_t*>(text.data()),
                                &bytes) != kErrorSuccess) {
    return u"<no value>";
  }
  return std::u16string(TextUpToZero(text.data(), bytes / 2));
}

uint32_t SubkeyCount(Registry& registry, RegKey root, const char16_t* path) {
  RegistryKey key;
  uint32_t subkeys = 0;
  uint32_t values = 0;
  if (RegistryKey::Open(registry, root, path, kKeyRead, key) == kErrorSuccess) {
    registry.RegQueryInfoKeyW(key.get(), &subkeys, &values);
  }
  return subkeys;
}

TEST(SyntheticRegistry, LoadsWithTheLayoutTheScannersReadAndAThirdBroken) {
  const SyntheticSize size = SyntheticSize{}.Scaled(0.01);
  EXPECT_EQ(size.classIds, 200);
  EXPECT_EQ(size.recentDocuments, 20);
  const SyntheticRegistry synthetic = MakeSyntheticRegistry(size, kRecent);
  MemoryRegistry registry;
  const RegLoadResult loaded = LoadRegText(registry, Utf8ToUtf16(synthetic.regText));
  ASSERT_TRUE(loaded.ok) << loaded.error;
  MemoryFileSystem files;
  for (const auto& path : synthetic.files) {
    if (path.back() != u'\\') files.AddFile(path);
  }

  EXPECT_EQ(SubkeyCount(registry, kHkeyLocalMachine, u"SOFTWARE\\Classes\\CLSID"),
            200u);
  EXPECT_EQ(SubkeyCount(registry, kHkeyLocalMachine,
                        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
            20u);
  EXPECT_EQ(SubkeyCount(registry, kHkeyLocalMachine,
                        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths"),
            50u);
  // The recent documents need subkeys, or their top key is not judged.
  EXPECT_EQ(SubkeyCount(registry, kHkeyCurrentUser,
                        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs"),
            3u);

  // Class servers exist for two thirds; ProgIDs name registered classes and
  // extensions existing ProgIDs for two thirds, seen through the merged
  // classes root as the scanners see them.
  int servers = 0, progIds = 0, extensions = 0;
  for (int i = 0; i < size.classIds; ++i) {
    char16_t id[64];
    const std::string text = "{BE0C0000-0000-4000-8000-" +
                             std::string(12 - std::to_string(i).size(), '0') +
                             std::to_string(i) + "}";
    std::copy(text.begin(), text.end() + 1, id);
    const std::u16string server =
        DefaultValue(registry, kHkeyClassesRoot,
                     u"CLSID\\" + std::u16string(id) + u"\\InprocServer32");
    servers += CheckFileReference(files, server.c_str(), 0);
  }
  for (int i = 0; i < size.progIds; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Bench.Prog%06d", i);
    const std::u16string clsid =
        DefaultValue(registry, kHkeyClassesRoot, Utf8ToUtf16(name) + u"\\CLSID");
    RegistryKey key;
    progIds += RegistryKey::Open(registry, kHkeyClassesRoot,
                                 (u"CLSID\\" + clsid).c_str(), kKeyRead,
                                 key) == kErrorSuccess;
  }
  for (int i = 0; i < size.extensions; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, ".bx%05d", i);
    const std::u16string progId =
        DefaultValue(registry, kHkeyClassesRoot, Utf8ToUtf16(name));
    RegistryKey key;
    extensions += RegistryKey::Open(registry, kHkeyClassesRoot, progId.c_str(),
                                    kKeyRead, key) == kErrorSuccess;
  }
  EXPECT_EQ(servers, 134);
  EXPECT_EQ(progIds, 134);
  EXPECT_EQ(extensions, 34);
  // One shortcut per valid recent document, in the Recent folder.
  ASSERT_EQ(synthetic.shortcuts.size(), 14u);
  EXPECT_EQ(synthetic.shortcuts[0].first, u"C:\\Recent\\report000000.txt.lnk");
}

TEST(CountingRegistry, CountsOpensAndTheDistinctKeysTheyReach) {
  MemoryRegistry inner;
  inner.CreateKey(kHkeyLocalMachine, u"Software\\A\\B");
  CountingRegistry counting(inner);
  {
    RegistryKey a;
    ASSERT_EQ(RegistryKey::Open(counting, kHkeyLocalMachine, u"Software\\A",
                                kKeyRead, a),
              kErrorSuccess);
    RegistryKey b1, b2, again, missing;
    RegistryKey::Open(counting, a.get(), u"B", kKeyRead, b1);
    // The same key by another case and by its full path from the root.
    RegistryKey::Open(counting, a.get(), u"b", kKeyRead, b2);
    RegistryKey::Open(counting, kHkeyLocalMachine, u"SOFTWARE\\a\\B", kKeyRead,
                      again);
    RegistryKey::Open(counting, a.get(), u"Gone", kKeyRead, missing);
  }
  EXPECT_EQ(counting.counts().opens, 5u);
  EXPECT_EQ(counting.counts().failedOpens, 1u);
  EXPECT_EQ(counting.DistinctKeysOpened(), 2u);
  EXPECT_EQ(inner.OpenHandleCount(), 0u);
  counting.Reset();
  EXPECT_EQ(counting.counts().opens, 0u);
  EXPECT_EQ(counting.DistinctKeysOpened(), 0u);
}

}  // namespace
}  // namespace tavik::bench
