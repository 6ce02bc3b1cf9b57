#include "repair/fix_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/registry_snapshot.h"
#include "unit/repair_fixture.h"

namespace tavik {
namespace {

using testing::RepairFixture;
using testing::SnapshotChanges;
using testing::TakeSnapshot;
using Lines = std::vector<std::u16string>;

constexpr char16_t kApp[] = u"Software\\Vendor\\App";

TEST(FixRunTest, NothingCheckedShowsTheMessageAndStaysIdle) {
  for (const bool withRows : {false, true}) {
    for (const int32_t automated : {0, 1}) {
      RepairFixture fix;
      fix.registry.SetString(kHkeyLocalMachine, kApp, u"Path", u"x");
      if (withRows) fix.AddValueRow(kApp, u"Path", /*checked=*/false);
      fix.automation = automated;
      FixThreadMain(fix.environment());
      const std::u16string expected =
          std::u16string(automated ? u"status:" : u"message:") +
          u"No enteries in the list to be fixed.";
      EXPECT_EQ(fix.host.events, Lines{expected}) << withRows << automated;
      EXPECT_TRUE(fix.registry.ValueExists(kHkeyLocalMachine, kApp, u"Path"));
      EXPECT_EQ(fix.results.rows.size(), withRows ? 1u : 0u);
    }
  }
}

// One list with every kind of row: what is fixed leaves the list, what is not
// stays in order, and the registry loses exactly the named entries.
// Every case runs with and without an undo file: both fixes delete the same
// entries in the same order.
TEST(FixRunTest, FixesExactlyTheCheckedFixableRows) {
  for (const bool withUndo : {false, true}) {
    RepairFixture fix;
    auto& reg = fix.registry;
    const RegKey hklm = kHkeyLocalMachine;
    reg.SetString(hklm, kApp, u"A", u"1");
    reg.SetString(hklm, kApp, u"B", u"2");
    reg.SetString(hklm, kApp, u"Keep", u"3");
    reg.SetString(hklm, kApp, u"", u"default");
    reg.SetString(hklm, u"Software\\Vendor\\Tree\\L1\\L2\\L3", u"v", u"deep");
    reg.CreateKey(hklm, u"Software\\Vendor\\Tree\\L1b");
    reg.CreateKey(hklm, u"Software\\Vendor\\Trailing\\Child");
    reg.SetString(hklm, u"Software\\Vendor\\Long", std::u16string(16383, u'n'), u"x");
    reg.CreateKey(hklm, u"Software\\Vendor\\Unknown");
    reg.CreateKey(hklm, u"Software\\Vendor\\Doubled");
    reg.SetString(kHkeyCurrentUser, u"Software\\Mine", u"Run", u"x");
    const auto before = TakeSnapshot(reg);

    fix.AddValueRow(kApp, u"A");                        // adjacent checked rows
    fix.AddValueRow(kApp, u"B");
    fix.AddValueRow(kApp, u"Keep", /*checked=*/false);  // unchecked: stays
    fix.AddRow(u"Invalid Key", u"UNKNOWN", u"Software\\Vendor\\Unknown", u"-------");
    fix.AddRow(u"Invalid Key", u"hkey_local_machine", u"Software\\Vendor\\Unknown", u"-------");
    fix.AddValueRow(kApp, u"-------");                  // the default value
    fix.AddKeyRow(u"Software\\Vendor\\Tree");           // three levels below
    fix.AddKeyRow(u"Software\\Vendor\\Trailing\\");     // trailing backslash
    fix.AddKeyRow(u"Software\\Vendor\\Gone");           // absent key
    fix.AddValueRow(u"Software\\Vendor\\Gone", u"x");   // value of an absent key
    fix.AddValueRow(kApp, u"NeverThere");               // absent value
    fix.AddKeyRow(u"");                                 // would name the root
    fix.AddKeyRow(u"\\\\");
    fix.AddKeyRow(u"\\Software\\Vendor\\Doubled");      // leading backslash
    fix.AddKeyRow(u"Software\\\\Vendor\\Doubled");      // doubled backslash
    fix.AddValueRow(u"Software\\Vendor\\Long", std::u16string(16383, u'n'));
    fix.AddRow(u"Invalid Value", u"HKEY_CURRENT_USER", u"Software\\Mine", u"Run");

    fix.RunFix(withUndo);

    EXPECT_EQ(fix.RowPaths(),
              (Lines{kApp, u"Software\\Vendor\\Unknown", u"Software\\Vendor\\Unknown", u"",
                     u"\\\\", u"\\Software\\Vendor\\Doubled", u"Software\\\\Vendor\\Doubled"}));
    EXPECT_EQ(fix.host.events,
              (Lines{u"busy", u"backup-box", u"idle", u"message:Total Errors Fixed: 10    "}));
    Lines changes = SnapshotChanges(before, TakeSnapshot(reg));
    std::sort(changes.begin(), changes.end());
    EXPECT_EQ(changes, (Lines{
        u"-key HKLM\\Software\\Vendor\\Trailing",
        u"-key HKLM\\Software\\Vendor\\Trailing\\Child",
        u"-key HKLM\\Software\\Vendor\\Tree",
        u"-key HKLM\\Software\\Vendor\\Tree\\L1",
        u"-key HKLM\\Software\\Vendor\\Tree\\L1\\L2",
        u"-key HKLM\\Software\\Vendor\\Tree\\L1\\L2\\L3",
        u"-key HKLM\\Software\\Vendor\\Tree\\L1b",
        u"-value HKCU\\Software\\Mine\\Run",
        u"-value HKLM\\Software\\Vendor\\App\\",
        u"-value HKLM\\Software\\Vendor\\App\\A",
        u"-value HKLM\\Software\\Vendor\\App\\B",
        u"-value HKLM\\Software\\Vendor\\Long\\" + std::u16string(16383, u'n'),
    })) << withUndo;
    EXPECT_EQ(reg.OpenHandleCount(), 0u);
  }
}

TEST(FixRunTest, UndeletableSubkeyKeepsTheRowAndTheLaterSiblings) {
  for (const bool withUndo : {false, true}) {
    RepairFixture fix;
    for (const char16_t* child : {u"a\\a1", u"b\\b1", u"c"}) {
      fix.registry.CreateKey(kHkeyLocalMachine, std::u16string(u"Software\\T\\") + child);
    }
    fix.registry.RefuseDeletion(kHkeyLocalMachine, u"Software\\T\\b");
    fix.AddKeyRow(u"Software\\T");
    fix.RunFix(withUndo);
    EXPECT_EQ(fix.RowPaths(), Lines{u"Software\\T"});
    EXPECT_TRUE(fix.results.rows[0].checked);
    // Children first, in the order listed, up to the first that stays.
    EXPECT_FALSE(fix.registry.KeyExists(kHkeyLocalMachine, u"Software\\T\\a")) << withUndo;
    EXPECT_FALSE(fix.registry.KeyExists(kHkeyLocalMachine, u"Software\\T\\b\\b1")) << withUndo;
    EXPECT_TRUE(fix.registry.KeyExists(kHkeyLocalMachine, u"Software\\T\\b")) << withUndo;
    EXPECT_TRUE(fix.registry.KeyExists(kHkeyLocalMachine, u"Software\\T\\c")) << withUndo;
    EXPECT_EQ(fix.host.messages.back(), u"Total Errors Fixed: 0    ");
    EXPECT_EQ(fix.registry.OpenHandleCount(), 0u);
  }
}

// Wine's Wow6432Node links: a link, or a tree holding one, is never deleted;
// a path that only passes through a link names an ordinary key.
TEST(FixRunTest, RegistryLinksAreNeverDeleted) {
  for (const bool withUndo : {false, true}) {
    RepairFixture fix(RegistryFlavor::kWine);
    auto& reg = fix.registry;
    reg.CreateKey(kHkeyLocalMachine, u"Software\\Registered Applications");
    reg.SetString(kHkeyLocalMachine, u"Software\\Classes\\Wow6432Node\\CLSID\\{x}", u"", u"c");
    reg.CreateKey(kHkeyLocalMachine, u"Software\\Vendor\\Holder\\Plain");
    reg.AddLink(kHkeyLocalMachine, u"Software\\Vendor\\Holder\\Inner",
                u"Software\\Classes\\Wow6432Node\\CLSID");
    reg.CreateKey(kHkeyLocalMachine,
                  u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe\\Sub");
    const auto before = TakeSnapshot(reg);

    fix.AddKeyRow(u"Software\\Wow6432Node\\Registered Applications");
    fix.AddKeyRow(u"Software\\Wow6432Node\\Classes");
    fix.AddKeyRow(u"Software\\Vendor\\Holder");
    fix.AddKeyRow(u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe");
    fix.RunFix(withUndo);

    EXPECT_EQ(fix.RowPaths(), (Lines{u"Software\\Wow6432Node\\Registered Applications",
                                     u"Software\\Wow6432Node\\Classes",
                                     u"Software\\Vendor\\Holder"}));
    Lines changes = SnapshotChanges(before, TakeSnapshot(reg));
    std::sort(changes.begin(), changes.end());
    EXPECT_EQ(changes, (Lines{
        u"-key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe",
        u"-key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe\\Sub"}));
    EXPECT_TRUE(reg.IsLink(kHkeyLocalMachine,
                           u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths"));
  }
}

// Stops the run once `after` rows have left the list.
class StoppingView final : public ResultsView {
 public:
  StoppingView(RecordingResultsView& inner, SharedFlag& stop, int after)
      : inner_(inner), stop_(stop), after_(after) {}
  void DeleteAllRows() override { inner_.DeleteAllRows(); }
  void SetRedraw(bool enabled) override { inner_.SetRedraw(enabled); }
  void SetItemCountHint(int32_t count) override { inner_.SetItemCountHint(count); }
  void InsertRow(int32_t index, const std::u16string& text) override { inner_.InsertRow(index, text); }
  void SetCellText(int32_t row, int32_t column, const std::u16string& text) override {
    inner_.SetCellText(row, column, text);
  }
  void SetChecked(int32_t row, bool checked) override { inner_.SetChecked(row, checked); }
  int32_t RowCount() override { return inner_.RowCount(); }
  std::u16string CellText(int32_t row, int32_t column) override { return inner_.CellText(row, column); }
  bool IsChecked(int32_t row) override { return inner_.IsChecked(row); }
  void DeleteRow(int32_t row) override {
    deletedWhileDrawing |= inner_.redraw;
    inner_.DeleteRow(row);
    if (--after_ == 0) stop_ = 1;
  }

  // Whether a row left the list while it was being painted row by row.
  bool deletedWhileDrawing = false;

 private:
  RecordingResultsView& inner_;
  SharedFlag& stop_;
  int after_;
};

TEST(FixRunTest, StopEndsTheWalkBeforeTheNextRow) {
  for (const int32_t automated : {0, 1}) {
    RepairFixture fix;
    for (const char16_t* name : {u"a", u"b", u"c", u"d"}) {
      fix.registry.SetString(kHkeyLocalMachine, kApp, name, u"x");
      fix.AddValueRow(kApp, name);
    }
    fix.automation = automated;
    StoppingView view(fix.results, fix.stop, 2);
    RepairEnvironment environment = fix.environment();
    RepairEnvironment stopping{environment.registry, environment.files, environment.system,
                               environment.stopRequested, environment.automationMode,
                               view, environment.host};
    FixThreadMain(stopping);
    EXPECT_EQ(fix.results.rows.size(), 2u);
    EXPECT_TRUE(fix.registry.ValueExists(kHkeyLocalMachine, kApp, u"c"));
    EXPECT_EQ(fix.host.events.back(), automated ? u"status:Stopped"
                                                : u"message:Total Errors Fixed: 2    ");
    // The list is not repainted for each deleted row, and is drawn again
    // after a stopped run.
    EXPECT_FALSE(view.deletedWhileDrawing);
    EXPECT_TRUE(fix.results.redraw);
  }
}

TEST(FixRunTest, TextsThatFillTheWorkBufferAreNotFixed) {
  RepairFixture fix;
  fix.registry.CreateKey(kHkeyLocalMachine, u"Software\\Cut");
  // A path the list cut at 32999 units may name a shorter key: kept.
  fix.AddKeyRow(u"Software\\Cut" + std::u16string(32999 - 12, u'\\'));
  fix.AddKeyRow(u"Software\\Cut\\" + std::u16string(40000, u'x'));
  fix.AddValueRow(u"Software\\Cut", std::u16string(33000, u'v'));
  FixThreadMain(fix.environment());
  EXPECT_EQ(fix.results.rows.size(), 3u);
  EXPECT_TRUE(fix.registry.KeyExists(kHkeyLocalMachine, u"Software\\Cut"));
}

// Rows that no scan writes: each is either fixed as the key it names or
// kept, and never deletes anything outside that key.
TEST(FixRunTest, OddRowsNeverReachBeyondTheirKey) {
  struct Case {
    const char* name;
    std::u16string path;
    bool becomesLink;
    bool fixed;
  };
  const std::u16string deep = u"Software\\Odd\\" + std::u16string(32999 - 13, u'p');
  const Case cases[] = {
      {"32999 characters", deep, false, false},
      {"32998 characters", deep.substr(0, 32998), false, true},  // absent: counts as fixed
      {"became a link since the scan", u"Software\\Odd\\Victim", true, false},
      {"recreated since the scan", u"Software\\Odd\\Victim", false, true},
  };
  for (const Case& c : cases) {
    RepairFixture fix;
    fix.registry.SetString(kHkeyLocalMachine, u"Software\\Odd\\Sibling", u"v", u"x");
    fix.registry.SetString(kHkeyLocalMachine, u"Software\\Target\\Child", u"v", u"x");
    fix.registry.DeleteTree(kHkeyLocalMachine, u"Software\\Odd\\Victim");
    if (c.becomesLink) {
      fix.registry.AddLink(kHkeyLocalMachine, u"Software\\Odd\\Victim", u"Software\\Target");
    } else {
      fix.registry.CreateKey(kHkeyLocalMachine, u"Software\\Odd\\Victim\\New");
    }
    const auto before = TakeSnapshot(fix.registry);
    fix.AddKeyRow(c.path);
    FixThreadMain(fix.environment());
    EXPECT_EQ(fix.results.rows.empty(), c.fixed) << c.name;
    Lines changes = SnapshotChanges(before, TakeSnapshot(fix.registry));
    for (const auto& change : changes) {
      EXPECT_TRUE(change.starts_with(u"-key HKLM\\Software\\Odd\\Victim")) << c.name;
    }
    EXPECT_TRUE(fix.registry.KeyExists(kHkeyLocalMachine, u"Software\\Target\\Child")) << c.name;
  }
}

TEST(FixRunTest, DeleteKeyTreeStaysInsideItsBuffers) {
  RepairFixture fix;
  auto& reg = fix.registry;
  // A 300-character subkey name does not fit the 260-unit name buffer.
  reg.CreateKey(kHkeyLocalMachine, u"Software\\Wide\\" + std::u16string(300, u'w'));
  std::vector<char16_t> path(64, 0);
  std::u16string text = u"Software\\Wide";
  std::copy(text.begin(), text.end(), path.begin());
  EXPECT_EQ(DeleteKeyTree(reg, kHkeyLocalMachine, path.data(), path.size()), 0);
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, u"Software\\Wide"));
  // A child path longer than the caller's buffer ends the deletion.
  reg.CreateKey(kHkeyLocalMachine, u"Software\\Narrow\\" + std::u16string(60, u'n'));
  text = u"Software\\Narrow";
  std::fill(path.begin(), path.end(), 0);
  std::copy(text.begin(), text.end(), path.begin());
  EXPECT_EQ(DeleteKeyTree(reg, kHkeyLocalMachine, path.data(), path.size()), 0);
  EXPECT_EQ(std::u16string(path.data()), u"Software\\Narrow");
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, u"Software\\Narrow"));
  // A link in the tree (one made after the fix checked it) is the key the
  // deletion stops at: neither it nor what it names is deleted.
  reg.CreateKey(kHkeyLocalMachine, u"Software\\LinkTarget\\Kept");
  reg.AddLink(kHkeyLocalMachine, u"Software\\Looped\\Link", u"Software\\LinkTarget");
  for (const char16_t* start : {u"Software\\Looped", u"Software\\Looped\\Link"}) {
    text = start;
    std::fill(path.begin(), path.end(), 0);
    std::copy(text.begin(), text.end(), path.begin());
    EXPECT_EQ(DeleteKeyTree(reg, kHkeyLocalMachine, path.data(), path.size()), 0);
    EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, u"Software\\LinkTarget\\Kept"));
    EXPECT_TRUE(reg.IsLink(kHkeyLocalMachine, u"Software\\Looped\\Link"));
  }
  // An empty path is refused, never read as the root.
  std::vector<char16_t> empty(8, 0);
  EXPECT_EQ(DeleteKeyTree(reg, kHkeyLocalMachine, empty.data(), empty.size()), 0);
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, u"Software"));
  EXPECT_EQ(reg.OpenHandleCount(), 0u);
}

TEST(FixRunTest, BackupRunsBeforeTheFirstDeletionAndItsFailureDeletesNothing) {
  for (const bool saveFails : {false, true}) {
    RepairFixture fix;
    fix.registry.SetString(kHkeyLocalMachine, kApp, u"A", u"1");
    if (saveFails) {
      fix.registry.InjectSaveFailure(kHkeyLocalMachine, u"Software", kErrorPrivilegeNotHeld);
    }
    fix.AddValueRow(kApp, u"A");
    fix.host.backupChecked = true;
    FixThreadMain(fix.environment());
    const std::u16string saved = u"C:\\windows\\system32\\config\\TavikRegCSoft.tvk";
    if (saveFails) {
      EXPECT_EQ(fix.host.events, (Lines{u"busy", u"backup-box",
                                        u"message:Unable to create backup. Fixing stopped.",
                                        u"idle"}));
      EXPECT_TRUE(fix.registry.ValueExists(kHkeyLocalMachine, kApp, u"A"));
      EXPECT_FALSE(fix.files.Exists(saved));
      continue;
    }
    EXPECT_TRUE(fix.results.rows.empty());
    // The saved hive still holds the value the fix deleted afterwards.
    ASSERT_EQ(fix.registry.RegLoadKeyW(kHkeyLocalMachine, u"Scratch", saved.c_str()), 0);
    EXPECT_TRUE(fix.registry.ValueExists(kHkeyLocalMachine, u"Scratch\\Vendor\\App", u"A"));
    EXPECT_FALSE(fix.registry.ValueExists(kHkeyLocalMachine, kApp, u"A"));
  }
}

}  // namespace
}  // namespace tavik
