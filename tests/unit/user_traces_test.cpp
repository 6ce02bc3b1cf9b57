// Recent documents, MUI caches and sound events on the memory layers: the
// failures, limits and odd data that the scenarios cannot set up.
#include <gtest/gtest.h>

#include "base/text.h"
#include "scan_fixture.h"
#include "scanners/user_traces.h"

namespace tavik {
namespace {

using testing::ScanFixture;

constexpr char16_t kRecentFolder[] = u"C:\\users\\user\\Recent";
constexpr char16_t kApps[] = u"AppEvents\\Schemes\\Apps";

std::vector<uint8_t> RawUtf16(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

std::u16string Recent(std::u16string_view name) {
  return std::u16string(kRecentFolder) + u"\\" + std::u16string(name);
}

std::u16string RecentDocs(std::u16string_view sub = {}) {
  return std::u16string(kRecentDocsPath) + u"\\" + std::u16string(sub);
}

std::vector<std::u16string> ValueNames(const FindingList& list) {
  std::vector<std::u16string> names;
  for (const auto& finding : list.findings) names.push_back(finding.valueName);
  return names;
}

class RecentDocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.files.AddFile(u"C:\\Docs\\kept.txt");
    f.files.AddShellLink(Recent(u"kept.txt.lnk"), u"C:\\Docs\\kept.txt");
    // The top key's values are judged only when it has a subkey.
    f.registry.CreateKey(kHkeyCurrentUser, RecentDocs(u".txt"));
  }
  // A value holding a document name as the shell writes it: the name, its
  // terminator, then binary data.
  void AddDocument(const std::u16string& key, const std::u16string& value,
                   std::u16string_view document) {
    auto data = RawUtf16(document);
    data.insert(data.end(), {0, 0, 0x14, 0x00, 0x1F, 0x50});
    f.registry.SetValue(kHkeyCurrentUser, key, value, kRegBinary, data);
  }
  ScanFixture f;
};

TEST_F(RecentDocumentsTest, TheDocumentNameEndsAtItsZeroOrWithTheData) {
  // The datum buffer is reused: a name without a terminator must end with
  // its data, not run on into what the longer name before it left behind.
  AddDocument(RecentDocs(), u"a", u"a-much-longer-name.txt");
  f.registry.SetValue(kHkeyCurrentUser, RecentDocs(), u"b", kRegBinary,
                      RawUtf16(u"kept.txt"));
  // An odd last byte is a character whose high byte is zero: "kept.txt".
  auto odd = RawUtf16(u"kept.tx");
  odd.push_back(0x74);
  f.registry.SetValue(kHkeyCurrentUser, RecentDocs(), u"c", kRegBinary, odd);
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), 0);
  EXPECT_EQ(ValueNames(f.list), std::vector<std::u16string>{u"a"});
}

TEST_F(RecentDocumentsTest, ALinkWithoutAPathIsJudgedOnAnEmptyTarget) {
  // The memory link object, like GetPath, writes nothing for such a link:
  // the datum left in the buffer ("nopath.txt", missing) must not be judged.
  f.files.AddShellLink(Recent(u"nopath.txt.lnk"), u"");
  AddDocument(RecentDocs(), u"0", u"nopath.txt");
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), 0);
  EXPECT_TRUE(f.list.findings.empty());

  std::vector<char16_t> target(kTextBufferChars, u'x');
  EXPECT_EQ(ResolveShortcut(f.files, Recent(u"nopath.txt.lnk").c_str(), target),
            0);
  EXPECT_EQ(target[0], u'\0');
  EXPECT_EQ(ResolveShortcut(f.files, Recent(u"none.lnk").c_str(), target), -1);
}

TEST_F(RecentDocumentsTest, TypeSwapsAndEmptyNamesAreNeverMisread) {
  // A number read as text names no shortcut; an empty leading text names no
  // document at all and cannot be judged.
  f.registry.SetDword(kHkeyCurrentUser, RecentDocs(), u"number", 0x00410041);
  f.registry.SetDword(kHkeyCurrentUser, RecentDocs(), u"zero", 0);
  f.registry.SetValue(kHkeyCurrentUser, RecentDocs(), u"empty", kRegBinary, {});
  f.registry.SetString(kHkeyCurrentUser, RecentDocs(), u"string", u"kept.txt");
  f.registry.SetString(kHkeyCurrentUser, RecentDocs(), u"MRUListEx", u"gone");
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), 0);
  EXPECT_EQ(ValueNames(f.list), std::vector<std::u16string>{u"number"});
}

TEST_F(RecentDocumentsTest, WithoutSubkeysNotEvenTheTopKeyIsJudged) {
  AddDocument(RecentDocs(), u"0", u"gone.txt");
  f.registry.DeleteTree(kHkeyCurrentUser, RecentDocs(u".txt"));
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), -1);
  EXPECT_TRUE(f.list.findings.empty());
  f.registry.CreateKey(kHkeyCurrentUser, RecentDocs(u".txt"));
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), 0);
  EXPECT_EQ(f.Describe(), std::vector<std::u16string>{
                              u"V|HKEY_CURRENT_USER|" + RecentDocs() + u"|0"});
}

TEST_F(RecentDocumentsTest, AFailingRecentFolderEndsOnlyTheCurrentKey) {
  AddDocument(RecentDocs(), u"0", u"gone.txt");
  AddDocument(RecentDocs(u".txt"), u"0", u"gone.txt");
  f.files.FailSpecialFolder(kCsidlRecent);
  EXPECT_EQ(ScanRecentDocsKey(f.context(), &f.list, kRecentDocsPath, u".txt"),
            -1);
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), 0);
  EXPECT_TRUE(f.list.findings.empty());
  // The order list needs no folder.
  f.registry.DeleteTree(kHkeyCurrentUser, std::u16string(kRecentDocsPath));
  f.registry.SetString(kHkeyCurrentUser, RecentDocs(u"x"), u"mrulistex", u"");
  EXPECT_EQ(ScanRecentDocsKey(f.context(), &f.list, kRecentDocsPath, u"x"), 0);
}

TEST_F(RecentDocumentsTest, DataBeyondTheDatumBufferEndTheKey) {
  // 33000 bytes are offered: 16500 characters without a terminator still
  // fit, one more ends the key's scan with the values after it unjudged.
  AddDocument(RecentDocs(), u"a", u"gone.txt");
  f.registry.SetValue(kHkeyCurrentUser, RecentDocs(), u"b", kRegBinary,
                      RawUtf16(std::u16string(16500, u'd')));
  f.registry.SetValue(kHkeyCurrentUser, RecentDocs(), u"c", kRegBinary,
                      RawUtf16(std::u16string(16501, u'd')));
  AddDocument(RecentDocs(), u"d", u"gone.txt");
  EXPECT_EQ(ScanRecentDocsKey(f.context(), &f.list, kRecentDocsPath, u""), -1);
  EXPECT_EQ(ValueNames(f.list), (std::vector<std::u16string>{u"a", u"b"}));
}

TEST_F(RecentDocumentsTest, VanishingLockedAndStoppedKeys) {
  AddDocument(RecentDocs(), u"top", u"gone.txt");
  AddDocument(RecentDocs(u".txt"), u"t", u"gone.txt");
  AddDocument(RecentDocs(u".doc"), u"d", u"gone.txt");
  AddDocument(RecentDocs(u"Folder"), u"f", u"gone.txt");
  // .doc vanishes between the listing and its scan; .txt may be read but
  // not changed; Folder fails in the middle of its values.
  f.registry.InjectOpenFailure(kHkeyCurrentUser, RecentDocs(u".doc"),
                               kErrorFileNotFound);
  f.registry.SetAccess(kHkeyCurrentUser, RecentDocs(u".txt"),
                       KeyAccess::kReadOnly);
  AddDocument(RecentDocs(u"Folder"), u"g", u"gone.txt");
  f.registry.InjectEnumValueFailure(kHkeyCurrentUser, RecentDocs(u"Folder"), 1,
                                    kErrorKeyDeleted);
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), 0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{
                u"V|HKEY_CURRENT_USER|" + RecentDocs() + u"|top",
                u"V|HKEY_CURRENT_USER|" + RecentDocs(u"Folder") + u"|f"}));
  f.list.findings.clear();
  f.stop = 1;
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(RecentDocumentsTest, SubkeyNamesOf255And256Characters) {
  const std::u16string name255(255, u'a');
  const std::u16string name256(256, u'b');
  AddDocument(RecentDocs(name255), u"x", u"gone.txt");
  AddDocument(RecentDocs(name256), u"y", u"kept.txt");
  AddDocument(RecentDocs(name256), u"z", u"gone.txt");
  EXPECT_EQ(ScanRecentDocuments(f.context(), &f.list), 0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{
                u"V|HKEY_CURRENT_USER|" + RecentDocs(name255) + u"|x",
                u"V|HKEY_CURRENT_USER|" + RecentDocs(name256) + u"|z"}));
}

TEST(MuiCacheTest, NamesAreJudgedAsProgramPaths) {
  ScanFixture f;
  f.files.AddFile(u"C:\\Apps\\tool.exe");
  const std::u16string key(kShellMuiCachePath);
  const struct {
    std::u16string name;
    bool reported;
  } cases[] = {
      {u"LangID", false},
      {u"@shell32.dll,-21787", false},
      {u"@C:\\Gone\\x.dll,-1", false},
      {u"C:\\Apps\\tool.exe", false},
      {u"C:\\Apps\\tool.exe.FriendlyAppName", false},
      {u"C:\\Gone\\tool.exe.ApplicationCompany", true},
      {u"C:\\Gone\\tool.exe", true},
      {u"", false},
      {u"C:\\" + std::u16string(1000, u'n') + u".exe", true},
  };
  for (const auto& c : cases) {
    f.registry.SetDword(kHkeyCurrentUser, key, c.name, 1);
  }
  EXPECT_EQ(ScanMuiCacheKey(f.context(), &f.list, key), 0);
  std::vector<std::u16string> expected;
  for (const auto& c : cases) {
    if (c.reported) expected.push_back(c.name);
  }
  EXPECT_EQ(ValueNames(f.list), expected);
}

TEST(MuiCacheTest, MissingFailingLockedAndStoppedKeys) {
  ScanFixture f;
  const std::u16string key(kShellNoRoamMuiCachePath);
  EXPECT_EQ(ScanMuiCacheKey(f.context(), &f.list, key), -1);
  f.registry.SetString(kHkeyCurrentUser, key, u"C:\\Gone\\a.exe", u"A");
  f.registry.SetString(kHkeyCurrentUser, key, u"C:\\Gone\\b.exe", u"B");
  f.registry.InjectEnumValueFailure(kHkeyCurrentUser, key, 1, kErrorKeyDeleted);
  EXPECT_EQ(ScanMuiCacheKey(f.context(), &f.list, key), -1);
  EXPECT_EQ(ValueNames(f.list), std::vector<std::u16string>{u"C:\\Gone\\a.exe"});

  const std::u16string locked(kShellMuiCachePath);
  f.registry.SetString(kHkeyCurrentUser, locked, u"C:\\Gone\\a.exe", u"A");
  f.registry.SetAccess(kHkeyCurrentUser, locked, KeyAccess::kReadOnly);
  EXPECT_EQ(ScanMuiCacheKey(f.context(), &f.list, locked), 0);
  EXPECT_EQ(f.list.findings.size(), 1u);
  f.stop = 1;
  f.list.findings.clear();
  EXPECT_EQ(ScanMuiCacheKey(f.context(), &f.list, key), -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

class SoundEventsTest : public ::testing::Test {
 protected:
  void SetUp() override { f.files.AddFile(u"C:\\Media\\ding.wav"); }
  void Assign(const std::u16string& path, const std::u16string& file) {
    f.registry.SetString(kHkeyCurrentUser, path, u"", file);
  }
  int32_t Scan() {
    return ScanSoundEvents(f.context(), &f.list, kHkeyCurrentUser, kApps);
  }
  ScanFixture f;
};

TEST_F(SoundEventsTest, DeepSchemeTreesAreWalkedWithoutExhaustingTheStack) {
  // 500 levels below the scheme key, a missing sound half-way and one at
  // the bottom (".Current" sorts before the next level's name).
  std::u16string path = kApps;
  std::u16string halfway;
  for (int level = 0; level < 500; ++level) {
    path += u"\\L" + std::u16string(1, static_cast<char16_t>(u'a' + level % 26));
    if (level == 250) {
      halfway = path;
      Assign(path + u"\\.Current", u"C:\\Media\\gone-half.wav");
    }
  }
  Assign(path + u"\\.Modified", u"C:\\Media\\gone.wav");
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{
                u"V|HKEY_CURRENT_USER|" + halfway + u"\\.Current|",
                u"V|HKEY_CURRENT_USER|" + path + u"\\.Modified|"}));
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(SoundEventsTest, PathsBeyondTheWorkBufferAreNeitherWalkedNorReported) {
  // Subkey names of 255 and 256 characters; deep enough that the path
  // outgrows the 33000-character buffer.
  std::u16string path = kApps;
  std::u16string lastFitting;
  for (int level = 0; level < 140; ++level) {
    path += u"\\" + std::u16string(level % 2 == 0 ? 255 : 256,
                                   static_cast<char16_t>(u'a' + level % 26));
    const std::u16string assignment = path + u"\\.Current";
    Assign(assignment, u"C:\\Media\\gone.wav");
    if (assignment.size() < kTextBufferChars) lastFitting = path;
  }
  EXPECT_EQ(Scan(), 0);
  ASSERT_FALSE(f.list.findings.empty());
  for (const auto& finding : f.list.findings) {
    EXPECT_LT(finding.path.size(), kTextBufferChars);
  }
  // Shallow levels first: ".Current" sorts before the next level's name.
  EXPECT_EQ(f.list.findings.back().path, lastFitting + u"\\.Current");
  EXPECT_EQ(f.list.findings.front().path,
            std::u16string(kApps) + u"\\" + std::u16string(255, u'a') +
                u"\\.Current");
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(SoundEventsTest, OddDataVanishingKeysAndLockedKeys) {
  const std::u16string app = std::u16string(kApps) + u"\\App";
  f.registry.SetDword(kHkeyCurrentUser, app + u"\\Number\\.Current", u"",
                      0x00410041);
  f.registry.SetDword(kHkeyCurrentUser, app + u"\\Zero\\.Current", u"", 0);
  f.registry.SetValue(kHkeyCurrentUser, app + u"\\NoTerm\\.Current", u"",
                      kRegSz, RawUtf16(u"C:\\Media\\ding.wav"));
  f.registry.CreateKey(kHkeyCurrentUser, app + u"\\Absent\\.Current");
  Assign(app + u"\\Vanished\\.Current", u"C:\\Media\\gone.wav");
  f.registry.InjectOpenFailure(kHkeyCurrentUser, app + u"\\Vanished",
                               kErrorFileNotFound);
  Assign(app + u"\\Info\\.Current", u"C:\\Media\\gone.wav");
  f.registry.InjectQueryFailure(kHkeyCurrentUser, app + u"\\Info\\.Current",
                                u"", kErrorMoreData);
  Assign(app + u"\\Locked\\.Modified", u"C:\\Media\\gone.wav");
  f.registry.SetAccess(kHkeyCurrentUser, app + u"\\Locked\\.Modified",
                       KeyAccess::kReadOnly);
  Assign(app + u"\\Gone\\.Current", u"C:\\Media\\gone.wav");
  // The enumeration of Later's subkeys fails after one name: none of them
  // is judged.
  Assign(app + u"\\Later\\a\\.Current", u"C:\\Media\\gone.wav");
  Assign(app + u"\\Later\\b\\.Current", u"C:\\Media\\gone.wav");
  f.registry.InjectEnumKeyFailure(kHkeyCurrentUser, app + u"\\Later", 1,
                                  kErrorKeyDeleted);
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{
                u"V|HKEY_CURRENT_USER|" + app + u"\\Gone\\.Current|",
                u"V|HKEY_CURRENT_USER|" + app + u"\\Number\\.Current|"}));
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

// Two links back to the scheme key would double the walk at every level if
// followed; a link named ".Modified" would be judged, and fixed, through
// the key it names.
TEST_F(SoundEventsTest, LinksAreNeitherWalkedNorJudged) {
  const std::u16string apps = kApps;
  Assign(apps + u"\\App\\Event\\.Current", u"C:\\Media\\gone.wav");
  f.registry.AddLink(kHkeyCurrentUser, apps + u"\\App\\Event\\Again", apps);
  f.registry.AddLink(kHkeyCurrentUser, apps + u"\\App\\Loop", apps);
  Assign(apps + u"\\Other\\Sound", u"C:\\Media\\gone.wav");
  f.registry.AddLink(kHkeyCurrentUser, apps + u"\\Other\\.Modified",
                     apps + u"\\Other\\Sound");
  EXPECT_EQ(Scan(), 0);
  EXPECT_EQ(f.Describe(), (std::vector<std::u16string>{
                              u"V|HKEY_CURRENT_USER|" + apps +
                              u"\\App\\Event\\.Current|"}));
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST_F(SoundEventsTest, AStopEndsEveryLevel) {
  Assign(std::u16string(kApps) + u"\\A\\B\\.Current", u"C:\\Media\\gone.wav");
  Assign(std::u16string(kApps) + u"\\C\\.Current", u"C:\\Media\\gone.wav");
  f.stop = 1;
  EXPECT_EQ(Scan(), -1);
  EXPECT_TRUE(f.list.findings.empty());
  f.stop = 0;
  f.registry.DeleteTree(kHkeyCurrentUser, u"AppEvents");
  EXPECT_EQ(Scan(), -1);
  f.registry.CreateKey(kHkeyCurrentUser, kApps);
  EXPECT_EQ(Scan(), -1);  // no subkeys
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace tavik
