#include <gtest/gtest.h>

#include "app/scan_options_store.h"
#include "platform/memory/memory_registry.h"

namespace tavik {
namespace {

TEST(LoadScanOptions, OnlyAStoredZeroTurnsASwitchOff) {
  MemoryRegistry registry;
  ScanOptions options;
  options.Fonts = 0;
  LoadScanOptions(registry, options);  // no key: everything on
  for (int i = 0; i < kScanCategoryCount; ++i) EXPECT_EQ(ScanSwitch(options, i), 1);

  const std::u16string key(kSettingsKeyPath);
  registry.SetString(kHkeyLocalMachine, key, u"9", u"0");
  registry.SetString(kHkeyLocalMachine, key, u"2", u"0");
  registry.SetString(kHkeyLocalMachine, key, u"3", u"no");
  registry.SetString(kHkeyLocalMachine, key, u"4", u"");
  registry.SetString(kHkeyLocalMachine, key, u"5", u"0", kRegExpandSz);
  registry.SetString(kHkeyLocalMachine, key, u"6", u"00");
  registry.SetDword(kHkeyLocalMachine, key, u"7", 0);
  // One byte without a terminator: the character '0' all the same.
  registry.SetValue(kHkeyLocalMachine, key, u"8", kRegSz, {0x30});
  LoadScanOptions(registry, options);
  EXPECT_EQ(options.ClassesAndIds, 0);  // "9" is the tenth switch
  EXPECT_EQ(options.ObjectsAndControls, 1);
  EXPECT_EQ(options.SharedDlls, 0);
  EXPECT_EQ(options.Startup, 1);
  EXPECT_EQ(options.Drivers, 1);
  EXPECT_EQ(options.Fonts, 0);  // the type is not examined
  EXPECT_EQ(options.HelpFiles, 1);
  EXPECT_EQ(options.Sounds, 1);
  EXPECT_EQ(options.RecentDocuments, 0);
  EXPECT_EQ(ScanSwitchValueName(8), u"10");
  EXPECT_EQ(ScanSwitchValueName(9), u"9");
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace tavik
