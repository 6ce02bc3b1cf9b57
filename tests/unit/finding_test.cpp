#include <gtest/gtest.h>

#include "engine/finding.h"
#include "base/text.h"
#include "scan_fixture.h"

namespace tavik {
namespace {

using testing::ScanFixture;

TEST(JoinKeyPath, JoinsWithOneBackslash) {
  struct Case {
    std::u16string keyPath, subName, expected;
  };
  const Case cases[] = {
      {u"A\\B", u"C", u"A\\B\\C"},
      {u"A\\B\\", u"C", u"A\\B\\C"},
      {u"", u"C", u"C"},
      {u"A\\B", u"", u"A\\B"},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JoinKeyPath(c.keyPath, c.subName), c.expected);
  }
}

TEST(AddFinding, FirstFindingFillsTheListThenAppendsInOrder) {
  ScanFixture f;
  f.registry.CreateKey(kHkeyLocalMachine, u"Software\\A\\C");
  f.registry.CreateKey(kHkeyCurrentUser, u"Software\\B");
  auto context = f.context();
  EXPECT_EQ(AddFinding(context, &f.list, 0, kHkeyLocalMachine, u"Software\\A",
                       u"C", u"", {ReasonKind::kKeyEmpty, u"empty"}),
            0);
  EXPECT_EQ(AddFinding(context, &f.list, 1, kHkeyCurrentUser, u"Software\\B",
                       u"", u"Value", {ReasonKind::kFileMissing, u"gone"}),
            0);
  EXPECT_EQ(f.Describe(),
            (std::vector<std::u16string>{
                u"K|HKEY_LOCAL_MACHINE|Software\\A\\C|",
                u"V|HKEY_CURRENT_USER|Software\\B|Value"}));
  // Each reason stays beside its finding.
  ASSERT_EQ(f.list.reasons.size(), 2u);
  EXPECT_EQ(f.list.reasons[0].kind, ReasonKind::kKeyEmpty);
  EXPECT_EQ(f.list.reasons[1].detail.Text(), u"gone");
}

TEST(AddFinding, RefusesWhatCannotBeStoredOrChanged) {
  ScanFixture f;
  f.registry.CreateKey(kHkeyLocalMachine, u"Software\\ReadOnly");
  f.registry.SetAccess(kHkeyLocalMachine, u"Software\\ReadOnly",
                       KeyAccess::kReadOnly);
  auto context = f.context();
  EXPECT_EQ(AddFinding(context, nullptr, 1, kHkeyLocalMachine, u"Software",
                       u"", u"x", {}),
            -1);
  EXPECT_EQ(AddFinding(context, &f.list, 1, kHkeyLocalMachine,
                       u"Software\\ReadOnly", u"", u"x", {}),
            -1);
  EXPECT_EQ(AddFinding(context, &f.list, 0, kHkeyLocalMachine, u"Software",
                       u"Missing", u"", {}),
            -1);
  const std::u16string tooLong(kTextBufferChars, u'a');
  EXPECT_EQ(AddFinding(context, &f.list, 0, kHkeyLocalMachine, tooLong, u"",
                       u"", {}),
            -1);
  EXPECT_TRUE(f.list.findings.empty());
  EXPECT_TRUE(f.list.reasons.empty());
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST(AddFinding, ExcludedEntryIsLeftOutEvenWhenOpenable) {
  ScanFixture f;
  f.registry.CreateKey(kHkeyLocalMachine, u"Software\\Test\\Sub");
  f.exclude = {u"  hkey_local_machine\\software\\test  "};
  auto context = f.context();
  EXPECT_EQ(AddFinding(context, &f.list, 0, kHkeyLocalMachine,
                       u"SOFTWARE\\Test", u"Sub", u"", {}),
            1);
  // A value finding tests the key that holds the value.
  EXPECT_EQ(AddFinding(context, &f.list, 1, kHkeyLocalMachine,
                       u"SOFTWARE\\Test\\Sub", u"", u"v", {}),
            1);
  EXPECT_TRUE(f.list.findings.empty());
}

// A reason's detail is kept compactly but comes back as it was given, lone
// surrogates and characters beyond the basic plane included; a fixed ending
// follows it.
TEST(ReasonDetail, GivesBackItsTextUnchanged) {
  const std::u16string texts[] = {
      u"", u"C:\\x.dll was not found", u"\u00e4\u4e2d\U0001F600",
      u"\xd800lone", u"trail\xdc00", u"\xdc00\xd800 reversed",
  };
  for (const auto& text : texts) {
    const ReasonDetail detail(text);
    EXPECT_EQ(detail.Text(), text);
    EXPECT_EQ(ReasonDetail(detail).Text(), text);  // copies too
  }
  EXPECT_EQ(ReasonDetail(u"{x}", u" was not found").Text(),
            u"{x} was not found");
  EXPECT_EQ(std::u16string(ReasonDetail(u"", u" ending")), u" ending");
}

TEST(ListSubkeys, ListsEveryNameInRegistryOrder) {
  ScanFixture f;
  for (const auto* name : {u"b", u"A", u"_x"}) {
    f.registry.CreateKey(kHkeyLocalMachine, std::u16string(u"K\\") + name);
  }
  std::vector<std::u16string> names;
  EXPECT_EQ(ListSubkeys(f.context(), kHkeyLocalMachine, u"K", names), 0);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"b", u"_x"}));
  EXPECT_EQ(f.registry.OpenHandleCount(), 0u);
}

TEST(ListSubkeys, FailsWithoutNames) {
  ScanFixture f;
  f.registry.CreateKey(kHkeyLocalMachine, u"Empty");
  std::vector<std::u16string> names = {u"untouched"};
  EXPECT_EQ(ListSubkeys(f.context(), kHkeyLocalMachine, u"Missing", names), -1);
  EXPECT_EQ(names, std::vector<std::u16string>{u"untouched"});
  EXPECT_EQ(ListSubkeys(f.context(), kHkeyLocalMachine, u"Empty", names), -1);
  EXPECT_TRUE(names.empty());
}

TEST(ListSubkeys, AnEnumerationErrorReleasesTheNamesListedSoFar) {
  ScanFixture f;
  f.registry.CreateKey(kHkeyLocalMachine, u"K\\a");
  f.registry.CreateKey(kHkeyLocalMachine, u"K\\b");
  f.registry.InjectEnumKeyFailure(kHkeyLocalMachine, u"K", 1, 1011);
  std::vector<std::u16string> names;
  EXPECT_EQ(ListSubkeys(f.context(), kHkeyLocalMachine, u"K", names), -1);
  EXPECT_TRUE(names.empty());
}

TEST(ListSubkeys, NamesOf512CharactersEndTheEnumeration) {
  ScanFixture f;
  f.registry.CreateKey(kHkeyLocalMachine,
                       u"K\\" + std::u16string(511, u'a'));
  std::vector<std::u16string> names;
  EXPECT_EQ(ListSubkeys(f.context(), kHkeyLocalMachine, u"K", names), 0);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].size(), 511u);
  f.registry.CreateKey(kHkeyLocalMachine,
                       u"K\\" + std::u16string(512, u'b'));
  EXPECT_EQ(ListSubkeys(f.context(), kHkeyLocalMachine, u"K", names), -1);
  EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace tavik
