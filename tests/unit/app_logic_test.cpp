#include <gtest/gtest.h>

#include <vector>

#include "app/automation_section.h"
#include "app/exclude_edit.h"
#include "app/recording_ports.h"
#include "app/scan_options_store.h"
#include "app/window_layout.h"
#include "base/text.h"
#include "engine/scan_run.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "scan_fixture.h"
#include "scanners/scan_categories.h"

namespace tavik {
namespace {

// --- automation section -------------------------------------------------

class RecordingActions final : public AutomationActions {
 public:
  bool WorkerRunning() override { return running; }
  void StartScan() override { calls.push_back("scan"); running = true; }
  void StartFix() override { calls.push_back("fix"); running = true; }
  void ShowWindow() override { calls.push_back("show"); }
  void Exit() override { calls.push_back("exit"); }
  void Stop() override { calls.push_back("stop"); }
  bool running = false;
  std::vector<std::string> calls;
};

TEST(AutomationSection, RequestsCountOnlyWhenExactlyOne) {
  std::vector<uint8_t> section(kAutomationSectionBytes, 0);
  for (const uint32_t value : {0u, 2u, 0x101u, 0x10000u, 0xFFFFFFFFu}) {
    WriteSectionField(section.data(), kScanRequestOffset, value);
    WriteSectionField(section.data(), kShowRequestOffset, value);
    RecordingActions actions;
    ServeAutomationRequests(section.data(), actions);
    EXPECT_TRUE(actions.calls.empty()) << value;
    EXPECT_EQ(ReadSectionField(section.data(), kScanRequestOffset), value);
  }
}

TEST(AutomationSection, OneTickServesScanThenShowExitStop) {
  std::vector<uint8_t> section(kAutomationSectionBytes, 0);
  for (const size_t field : {kScanRequestOffset, kFixRequestOffset,
                             kShowRequestOffset, kExitRequestOffset,
                             kStopRequestOffset}) {
    WriteSectionField(section.data(), field, 1);
  }
  RecordingActions actions;
  ServeAutomationRequests(section.data(), actions);
  EXPECT_EQ(actions.calls,
            (std::vector<std::string>{"scan", "show", "exit", "stop"}));
  EXPECT_EQ(ReadSectionField(section.data(), kScanRequestOffset), 0u);
  EXPECT_EQ(ReadSectionField(section.data(), kShowRequestOffset), 0u);
  // The fix waits; exit and stop are the controller's to clear.
  EXPECT_EQ(ReadSectionField(section.data(), kFixRequestOffset), 1u);
  EXPECT_EQ(ReadSectionField(section.data(), kExitRequestOffset), 1u);
  EXPECT_EQ(ReadSectionField(section.data(), kStopRequestOffset), 1u);
}

TEST(AutomationSection, RequestsWaitWhileAWorkerRuns) {
  std::vector<uint8_t> section(kAutomationSectionBytes, 0);
  WriteSectionField(section.data(), kScanRequestOffset, 1);
  WriteSectionField(section.data(), kFixRequestOffset, 1);
  RecordingActions actions;
  ServeAutomationRequests(section.data(), actions);  // scan starts
  ServeAutomationRequests(section.data(), actions);  // fix left set
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"scan"}));
  EXPECT_EQ(ReadSectionField(section.data(), kFixRequestOffset), 1u);
  actions.running = false;  // the scan has ended
  ServeAutomationRequests(section.data(), actions);
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"scan", "fix"}));
  EXPECT_EQ(ReadSectionField(section.data(), kFixRequestOffset), 0u);
}

TEST(AutomationSection, StatusIsBoundedAndLeavesOtherBytesAlone) {
  std::vector<uint8_t> section(kAutomationSectionBytes, 0xAB);
  const std::u16string longText(5000, u'x');
  WriteStatus(section.data(), longText);
  EXPECT_EQ(ReadSectionField(section.data(), kStatusReadyOffset), 1u);
  const size_t end = kStatusTextOffset + 2 * (kStatusTextUnits - 1);
  EXPECT_EQ(section[end - 2], 'x');
  EXPECT_EQ(section[end], 0);
  EXPECT_EQ(section[end + 1], 0);
  EXPECT_EQ(section[end + 2], 0xAB);  // the byte after the field
  EXPECT_EQ(section[4], 0xAB);        // exitRequest untouched

  WriteStatus(section.data(), u"Total Invalid Entries Found: 7    ");
  const auto* text = reinterpret_cast<const char16_t*>(&section[kStatusTextOffset]);
  EXPECT_EQ(std::u16string(text), u"Total Invalid Entries Found: 7    ");
}

// Another user's objects cannot be made under Wine (every process runs as
// one user), so the owner decision is checked here.
TEST(AutomationSection, ObeysOnlyAdministratorsSystemOrItsOwnUser) {
  const char16_t* me = u"S-1-5-21-1-2-3-1001";
  struct Case { const char16_t* owner; const char16_t* user; bool obeyed; };
  const Case cases[] = {
      {u"S-1-5-32-544", me, true},               // Administrators
      {u"S-1-5-18", me, true},                   // SYSTEM
      {me, me, true},                            // the program's own user
      {u"S-1-5-21-1-2-3-1002", me, false},       // another user
      {u"S-1-5-32-545", me, false},              // Users
      {u"S-1-1-0", me, false},                   // Everyone
      {u"S-1-5-32-5440", me, false},             // not the group by prefix
      {u"S-1-5-21-1-2-3-100", me, false},        // nor the user by prefix
      {u"", me, false},                          // no owner recorded
      {u"", u"", false},                         // neither could be read
      {u"S-1-5-21-1-2-3-1001", u"", false},      // own user unknown
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsTrustedLinkOwner(c.owner, c.user), c.obeyed)
        << Utf16ToUtf8(c.owner) << " / " << Utf16ToUtf8(c.user);
  }
}

// --- layout ----------------------------------------------------------------

TEST(WindowLayout, ScalesLayoutUnitsWithTheScreen) {
  struct Case { int32_t w, h, dpi; int32_t id, x, y, cw, ch; };
  const Case cases[] = {
      {1600, 900, 192, 1022, 16, 730, 210, 50},    // Scan at 192 dpi
      {854, 441, 96, 1002, 10, 10, 834, 341},       // list at 96 dpi
      {854, 441, 96, 1035, 664, 359, 190, 20},      // check box, right aligned
      {1281, 662, 144, 1011, 12, 579, 1251, 38},    // progress bar at 144 dpi
      {1281, 662, 144, 1032, 0, 624, 1281, 38},     // banner
  };
  for (const Case& c : cases) {
    bool found = false;
    for (const auto& p : LayoutMainWindow(c.w, c.h, c.dpi, c.dpi)) {
      if (p.id != c.id) continue;
      found = true;
      EXPECT_EQ(p.x, c.x) << c.id << " at " << c.dpi;
      EXPECT_EQ(p.y, c.y) << c.id << " at " << c.dpi;
      EXPECT_EQ(p.width, c.cw) << c.id << " at " << c.dpi;
      EXPECT_EQ(p.height, c.ch) << c.id << " at " << c.dpi;
    }
    EXPECT_TRUE(found) << c.id;
  }
  EXPECT_EQ(ResultColumnWidths(1000), (std::array<int32_t, 4>{120, 180, 450, 200}));
  EXPECT_EQ(ResultColumnWidths(854), (std::array<int32_t, 4>{102, 153, 384, 170}));
  EXPECT_EQ(MulDivRound(3, 1, 2), 2);
  EXPECT_EQ(MulDivRound(-3, 1, 2), -2);
  EXPECT_EQ(MulDivRound(5, 1, 0), -1);
}

// --- settings ----------------------------------------------------------------

bool StoredText(MemoryRegistry& registry, const std::u16string& name,
                std::u16string& text) {
  RegKey key = 0;
  if (registry.RegOpenKeyExW(kHkeyLocalMachine,
                             std::u16string(kSettingsKeyPath).c_str(), kKeyRead,
                             &key) != kErrorSuccess) {
    return false;
  }
  char16_t buffer[16] = {};
  uint32_t type = 0, bytes = sizeof(buffer);
  const bool ok = registry.RegQueryValueExW(key, name.c_str(), &type,
                                            reinterpret_cast<uint8_t*>(buffer),
                                            &bytes) == kErrorSuccess;
  registry.RegCloseKey(key);
  text = std::u16string(buffer, bytes / 2 > 0 ? bytes / 2 - 1 : 0);
  return ok && type == kRegSz && bytes == 4;
}

TEST(Settings, BackupSwitchAndDialogBoxesReadAsStored) {
  MemoryRegistry registry;
  EXPECT_TRUE(LoadBackupSwitch(registry));  // nothing stored: checked
  for (const bool box : LoadSettingsBoxes(registry)) EXPECT_TRUE(box);

  const std::u16string key(kSettingsKeyPath);
  struct Case { const char16_t* stored; bool checked; };
  for (const Case& c : {Case{u"1", true}, Case{u"0", false},
                        Case{u"yes", false}, Case{u"", false}}) {
    registry.SetString(kHkeyLocalMachine, key, u"CreateBackup", c.stored);
    registry.SetString(kHkeyLocalMachine, key, u"9", c.stored);
    EXPECT_EQ(LoadBackupSwitch(registry), c.checked) << Utf16ToUtf8(c.stored);
    const SettingsBoxes boxes = LoadSettingsBoxes(registry);
    EXPECT_EQ(boxes[9], c.checked);  // "9" is the Classes and IDs box
    EXPECT_TRUE(boxes[8]);
  }
  // One byte without a terminator: the character '1' all the same.
  registry.SetValue(kHkeyLocalMachine, key, u"CreateBackup", kRegSz, {0x31});
  EXPECT_TRUE(LoadBackupSwitch(registry));
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST(Settings, OkStoresAllTenCrossedOverAndTheRecord) {
  MemoryRegistry registry;
  ScanOptions options;
  SettingsBoxes boxes{};
  boxes.fill(true);
  boxes[8] = false;  // Objects and Controls off
  StoreSettingsBoxes(registry, boxes, options);
  EXPECT_EQ(options.ObjectsAndControls, 0);
  EXPECT_EQ(options.ClassesAndIds, 1);
  std::u16string text;
  for (int i = 1; i <= 10; ++i) {
    const std::u16string name = Utf8ToUtf16(std::to_string(i));
    ASSERT_TRUE(StoredText(registry, name, text)) << i;
    EXPECT_EQ(text, i == 10 ? u"0" : u"1") << i;
  }
  ScanOptions reloaded;
  LoadScanOptions(registry, reloaded);
  EXPECT_EQ(reloaded.ObjectsAndControls, 0);

  EXPECT_EQ(StoreBackupSwitch(registry, false), 0);
  EXPECT_FALSE(LoadBackupSwitch(registry));
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

// --- exclude list editing -------------------------------------------------

constexpr char16_t kExcludeFile[] = u"C:\\Program Files\\Tavik\\RCExclude.txt";

std::vector<uint8_t> Utf16File(std::u16string_view text, bool mark = true) {
  std::vector<uint8_t> bytes;
  if (mark) bytes = {0xFF, 0xFE};
  for (const char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

TEST(ExcludeEdit, AddJudgesPathAndDuplicatesWithoutCase) {
  const std::vector<std::u16string> listed = {u"HKEY_LOCAL_MACHINE\\Software\\Old"};
  struct Case { const char16_t* path; AddOutcome outcome; const char16_t* text; };
  const Case cases[] = {
      {u"", AddOutcome::kNoPath, u""},
      {u"SOFTWARE\\old", AddOutcome::kAlreadyPresent, u""},
      {u"Software\\Old2", AddOutcome::kAdded, u"HKEY_LOCAL_MACHINE\\Software\\Old2"},
      {u"\\Lead", AddOutcome::kAdded, u"HKEY_LOCAL_MACHINE\\\\Lead"},
      {u" Software\\Old", AddOutcome::kAdded, u"HKEY_LOCAL_MACHINE\\ Software\\Old"},
  };
  for (const Case& c : cases) {
    std::u16string exclusion;
    EXPECT_EQ(CheckNewExclusion(listed, u"HKEY_LOCAL_MACHINE", c.path, exclusion),
              c.outcome) << Utf16ToUtf8(c.path);
    if (c.outcome == AddOutcome::kAdded) {
      EXPECT_EQ(exclusion, c.text);
    }
  }
  std::u16string exclusion;
  CheckNewExclusion({}, u"HKEY_CLASSES_ROOT", std::u16string(40000, u'k'), exclusion);
  EXPECT_EQ(exclusion.size(), kWorkTextMaxChars);
}

TEST(ExcludeEdit, AppendCreatesTheFileWithMarkThenAddsLines) {
  MemoryFileSystem files;
  ASSERT_TRUE(AppendExclusion(files, u"HKEY_CURRENT_USER\\A"));
  ASSERT_TRUE(AppendExclusion(files, u"HKEY_CURRENT_USER\\B"));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(files.FileContent(kExcludeFile, bytes));
  EXPECT_EQ(bytes, Utf16File(u"\r\nHKEY_CURRENT_USER\\A\r\nHKEY_CURRENT_USER\\B"));
  // The blank first line is not shown in the dialog.
  EXPECT_EQ(LoadDialogEntries(files),
            (std::vector<std::u16string>{u"HKEY_CURRENT_USER\\A",
                                         u"HKEY_CURRENT_USER\\B"}));
}

TEST(ExcludeEdit, RemovalPositionsFollowEarlierDeletionsUpTo100) {
  EXPECT_EQ(RemovalPositions({1, 3, 4}), (std::vector<int32_t>{1, 2, 2}));
  std::vector<int32_t> many;
  for (int32_t i = 0; i < 150; ++i) many.push_back(2 * i);
  const auto positions = RemovalPositions(many);
  ASSERT_EQ(positions.size(), 100u);
  EXPECT_EQ(positions.back(), 99);
}

RecordingResultsView RowsOf(std::initializer_list<std::pair<const char16_t*, const char16_t*>> keys) {
  RecordingResultsView view;
  int32_t row = 0;
  for (const auto& [root, path] : keys) {
    view.InsertRow(row, u"Invalid Key");
    view.SetCellText(row, kColumnRootKey, root);
    view.SetCellText(row, kColumnPath, path);
    view.SetCellText(row, kColumnValueName, u"-------");
    ++row;
  }
  return view;
}

TEST(ExcludeEdit, ExcludeKeyAppendsOneLineAndRemovesRowsUnderIt) {
  MemoryFileSystem files;
  const WorkerGate workers;
  files.AddFile(kExcludeFile, Utf16File(u""));  // only the mark
  auto view = RowsOf({{u"HKEY_CURRENT_USER", u"Software\\App"},
                      {u"HKEY_CURRENT_USER", u"SOFTWARE\\APP\\Sub"},
                      {u"HKEY_CURRENT_USER", u"Software\\Application"},
                      {u"HKEY_LOCAL_MACHINE", u"Software\\App"},
                      {u"HKEY_CURRENT_USER", u"Software\\Ap"}});
  EXPECT_TRUE(ExcludeSelectedRow(files, view, 0, workers));
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(view.rows[0].cells[1], u"HKEY_LOCAL_MACHINE");
  EXPECT_EQ(view.rows[1].cells[2], u"Software\\Ap");
  EXPECT_TRUE(ExcludeSelectedRow(files, view, 1, workers));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(files.FileContent(kExcludeFile, bytes));
  EXPECT_EQ(bytes, Utf16File(u"HKEY_CURRENT_USER\\Software\\App\r\n"
                             u"HKEY_CURRENT_USER\\Software\\Ap"));
}

TEST(ExcludeEdit, ExcludeKeyNeedsAFileASelectionAndNoWorkerAtTheList) {
  MemoryFileSystem files;
  WorkerGate workers;
  auto view = RowsOf({{u"HKEY_CURRENT_USER", u"Software\\App"}});
  EXPECT_FALSE(ExcludeSelectedRow(files, view, 0, workers));  // no exclude file
  EXPECT_FALSE(files.Exists(kExcludeFile));
  files.AddFile(kExcludeFile);  // empty: gets its mark first
  EXPECT_FALSE(ExcludeSelectedRow(files, view, -1, workers));
  std::vector<uint8_t> bytes;
  {
    // A fix just started, before its thread has switched the window busy.
    WorkerGate::Ticket fix(workers);
    EXPECT_FALSE(ExcludeSelectedRow(files, view, 0, workers));
    EXPECT_EQ(view.rows.size(), 1u);
    ASSERT_TRUE(files.FileContent(kExcludeFile, bytes));
    EXPECT_TRUE(bytes.empty());
    // Its idle switch frees the list while its summary box is still open.
    fix.ReleaseHold();
    EXPECT_TRUE(ExcludeSelectedRow(files, view, 0, workers));
  }
  EXPECT_FALSE(workers.Running());
  ASSERT_TRUE(files.FileContent(kExcludeFile, bytes));
  EXPECT_EQ(bytes, Utf16File(u"HKEY_CURRENT_USER\\Software\\App"));
  EXPECT_TRUE(view.rows.empty());
}

TEST(ExcludeEdit, LongCellsAreCutToTheWorkBuffer) {
  auto view = RowsOf({{u"HKEY_CURRENT_USER", u""}});
  view.SetCellText(0, kColumnPath, std::u16string(50000, u'p'));
  EXPECT_EQ(RowKeyText(view, 0).size(), 17u + 1u + kWorkTextMaxChars);
}

// --- where a scan's result goes -------------------------------------------

// A host whose idle switch stands for a controller that ended automated
// mode (or entered it) while the scan ran.
class ModeChangingHost final : public WorkerHost {
 public:
  ModeChangingHost(SharedFlag& mode, int32_t modeAtIdle)
      : mode_(mode), modeAtIdle_(modeAtIdle) {}
  void SetBusyState(int32_t idle, int32_t) override {
    if (idle != 0) mode_ = modeAtIdle_;
  }
  bool IsBackupChecked() override { return false; }
  bool AskYesNo(const std::u16string&) override { return false; }
  void SetTitle(const std::u16string&) override {}
  void ShowMessage(const std::u16string& text) override { messages.push_back(text); }
  void ReportAutomationStatus(const std::u16string& text) override {
    statuses.push_back(text);
  }
  void JoinComApartment() override {}
  std::vector<std::u16string> messages, statuses;

 private:
  SharedFlag& mode_;
  int32_t modeAtIdle_;
};

TEST(ScanResultRoute, AutomationModeIsReadAfterTheIdleSwitch) {
  struct Case { int32_t before, atIdle; bool stopped; bool toLink; };
  for (const Case& c : {Case{0, 2, false, true}, Case{2, 0, false, false},
                        Case{0, 1, true, true}, Case{3, 0, true, false}}) {
    testing::ScanFixture f;
    ScanOptions options;
    SharedFlag mode{c.before};
    RecordingResultsView results;
    ModeChangingHost host(mode, c.atIdle);
    f.stop = c.stopped ? 1 : 0;
    ScanThreadMain(ScanEnvironment{f.registry, f.files, options, kScanCategories,
                                   f.stop, mode, results, host});
    EXPECT_EQ(host.statuses.size(), c.toLink ? 1u : 0u) << c.before << c.atIdle;
    // A stopped scan is reported only to the link, never in a box.
    EXPECT_EQ(host.messages.size(), !c.toLink && !c.stopped ? 1u : 0u);
  }
}

}  // namespace
}  // namespace tavik
