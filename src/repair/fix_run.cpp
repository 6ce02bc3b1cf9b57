#include "repair/fix_run.h"

#include <algorithm>
#include <vector>

#include "base/text.h"
#include "engine/registry_key.h"
#include "repair/classes_root.h"
#include "repair/hive_backup.h"
#include "repair/registry_links.h"
#include "repair/undo_file.h"

namespace tavik {

namespace {

constexpr char16_t kNothingToFix[] = u"No enteries in the list to be fixed.";
constexpr char16_t kBackupFailed[] = u"Unable to create backup. Fixing stopped.";
constexpr char16_t kEmptyValueNameText[] = u"-------";
// The buffer for one subkey name while a tree is deleted.
constexpr uint32_t kSubkeyNameChars = 260;
// The list is repainted after this many rows while the fix walks it:
// painting after every deleted row costs far more than the deletion.
constexpr uint32_t kRowsPerRepaint = 256;
// The registry nests keys at most this deep; a deeper tree is not deleted,
// which also keeps the recursion off the end of the worker's stack.
constexpr int kMaxTreeDepth = 512;

// Reads one cell as the list control hands it to a 33000-unit buffer: a
// longer text is cut. True when the text filled the whole buffer, so that
// it may have been cut.
bool ReadCell(ResultsView& results, int32_t row, int32_t column,
              std::u16string& out) {
  out = results.CellText(row, column);
  if (out.size() < kTextBufferChars - 1) return false;
  out.resize(kTextBufferChars - 1);
  return true;
}

bool RootFromText(const std::u16string& text, RegKey* root) {
  if (text == u"HKEY_CLASSES_ROOT") {
    *root = kHkeyClassesRoot;
  } else if (text == u"HKEY_LOCAL_MACHINE") {
    *root = kHkeyLocalMachine;
  } else if (text == u"HKEY_CURRENT_USER") {
    *root = kHkeyCurrentUser;
  } else {
    return false;
  }
  return true;
}

// The path without its trailing backslashes, which name the same key.
std::u16string_view WithoutTrailingSeparators(std::u16string_view path) {
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  return path;
}

// A path that starts with a backslash or doubles one names no key the scan
// reports; Windows and Wine read such paths differently, so the fix leaves
// them alone.
bool HasEmptyPart(std::u16string_view path) {
  return !path.empty() &&
         (path.front() == u'\\' || path.find(u"\\\\") != std::u16string_view::npos);
}

bool EntryGone(int32_t deleted) {
  return deleted == kErrorSuccess || deleted == kErrorFileNotFound ||
         deleted == kErrorPathNotFound;
}

// Deletes the key `key` was opened on, through that handle: a key that was
// replaced by a link meanwhile is not the key the handle holds, so the
// deletion can never reach through a link to what it names. True when the
// key is gone (deleted now, or since the handle was opened).
bool DeleteOpenedKey(Registry& registry, RegKey key) {
  const int32_t result = registry.RegDeleteKeyW(key, u"");
  return result == kErrorSuccess || result == kErrorKeyDeleted;
}

int32_t DeleteKeyTreeAt(Registry& registry, RegKey root, char16_t* path,
                        size_t capacity, int depth) {
  if (depth > kMaxTreeDepth) return 0;
  // The key itself, never what a link names: a link found here (one made
  // after the tree was checked) stays, and so does the tree above it.
  RegistryKey key;
  RegKey opened = 0;
  const int32_t result =
      registry.RegOpenKeyLinkW(root, path, kKeyRead, &opened);
  if (result != kErrorSuccess) return result == kErrorFileNotFound ? 1 : 0;
  key = RegistryKey(registry, opened);
  if (IsLinkHandle(registry, key.get())) return 0;
  // A key without subkeys goes at once.
  if (DeleteOpenedKey(registry, key.get())) return 1;

  size_t length = std::char_traits<char16_t>::length(path);
  const bool addedSeparator = path[length - 1] != u'\\';
  if (addedSeparator) {
    if (length + 1 >= capacity) return 0;
    path[length++] = u'\\';
    path[length] = 0;
  }
  const size_t tail = length;
  std::vector<char16_t> name(kSubkeyNameChars);
  std::u16string previous;
  bool childFailed = false;
  for (;;) {
    uint32_t chars = kSubkeyNameChars;
    // Index 0 every time: each deleted child makes room for the next.
    if (registry.RegEnumKeyExW(key.get(), 0, name.data(), &chars) !=
        kErrorSuccess) {
      break;
    }
    // A child that is still listed after its deletion succeeded would be
    // deleted again forever.
    const std::u16string_view child(name.data(), chars);
    if (tail + chars + 1 > capacity || (!previous.empty() && child == previous)) {
      childFailed = true;
      break;
    }
    previous.assign(child);
    std::copy_n(name.data(), chars, path + tail);
    path[tail + chars] = 0;
    const int32_t deleted =
        DeleteKeyTreeAt(registry, root, path, capacity, depth + 1);
    path[tail] = 0;
    if (deleted == 0) {
      childFailed = true;
      break;
    }
  }
  // The caller's path again, without a trailing separator.
  path[tail - 1] = 0;
  if (childFailed) return 0;
  return DeleteOpenedKey(registry, key.get()) ? 1 : 0;
}

// Deletes keys[at] and the keys below it that the undo log wrote, children
// first and siblings in the order they were listed, through the handles the
// export opened; stops at the first key that cannot go. A key that changed
// since it was written (a value or subkey added, removed or rewritten) is
// not deleted: the file does not hold what it has now. `at` moves past the
// key's part of the list. True when the key is gone.
bool DeleteExportedTree(Registry& registry, std::vector<ExportedKey>& keys,
                        size_t& at) {
  ExportedKey& self = keys[at++];
  const size_t firstChild = at;
  while (at < keys.size() && keys[at].depth > self.depth) ++at;
  const size_t end = at;
  KeyState now;
  const int32_t queried = QueryKeyState(registry, self.key.get(), &now);
  // Gone with everything below it since it was written.
  if (queried == kErrorKeyDeleted) return true;
  if (queried != kErrorSuccess || now != self.state) return false;
  for (size_t child = firstChild; child < end;) {
    if (!DeleteExportedTree(registry, keys, child)) return false;
  }
  if (firstChild != end) {
    // Its subkeys are gone now; it must still hold just what was written.
    const int32_t again = QueryKeyState(registry, self.key.get(), &now);
    if (again == kErrorKeyDeleted) return true;
    if (again != kErrorSuccess || now.subKeys != 0 ||
        now.values != self.state.values) {
      return false;
    }
  }
  return DeleteOpenedKey(registry, self.key.get());
}

// Deletes exactly the keys the undo log wrote, in the order of the fix
// without one. The export walked the tree once and found no link, so no
// second walk is needed; what the file does not hold is never deleted.
// 0 when the key is gone.
int32_t DeleteRecordedKey(Registry& registry, UndoLog& undo,
                          const Finding& record) {
  const std::u16string_view path = WithoutTrailingSeparators(record.path);
  if (path.empty() || path.size() >= kTextBufferChars) return -1;
  ConcreteKey target{record.root, std::u16string(path)};
  if (record.root == kHkeyClassesRoot) {
    RegKey opened = 0;
    const int32_t result = registry.RegOpenKeyLinkW(
        record.root, target.path.c_str(), kKeyRead, &opened);
    if (result == kErrorFileNotFound) return 0;  // already gone
    if (result != kErrorSuccess) return -1;
    const RegistryKey view(registry, opened);
    if (!FindConcreteClassesKey(registry, view.get(), &target)) return -1;
  }
  std::vector<ExportedKey> keys;
  switch (undo.RecordKeyTree(target.root, target.path, keys)) {
    case UndoRecord::kAbsent:
      return 0;  // already gone
    case UndoRecord::kFailed:
      return -1;
    case UndoRecord::kWritten:
      break;
  }
  if (keys.empty()) return -1;
  size_t at = 0;
  return DeleteExportedTree(registry, keys, at) ? 0 : -1;
}

// Opens the value's key once: the undo log reads the value through the same
// handle the deletion then uses.
int32_t DeleteRecordedValue(Registry& registry, UndoLog& undo,
                            const Finding& record) {
  RegistryKey key;
  const int32_t opened = RegistryKey::Open(
      registry, record.root, record.path.c_str(), kKeyAllAccess, key);
  if (opened == kErrorFileNotFound || opened == kErrorPathNotFound) return 0;
  if (opened != kErrorSuccess) return -1;
  ConcreteKey target{record.root,
                     std::u16string(WithoutTrailingSeparators(record.path))};
  if (record.root == kHkeyClassesRoot &&
      !FindConcreteClassesKey(registry, key.get(), &target)) {
    return -1;
  }
  switch (undo.RecordValue(target.root, target.path, key.get(),
                           record.valueName)) {
    case UndoRecord::kAbsent:
      return 0;
    case UndoRecord::kFailed:
      return -1;
    case UndoRecord::kWritten:
      break;
  }
  return EntryGone(registry.RegDeleteValueW(key.get(), record.valueName.c_str()))
             ? 0
             : -1;
}

uint32_t CountCheckedRows(ResultsView& results, uint32_t rows) {
  uint32_t checked = 0;
  for (uint32_t row = 0; row < rows; ++row) {
    if (results.IsChecked(static_cast<int32_t>(row))) ++checked;
  }
  return checked;
}

bool Automated(const RepairEnvironment& environment) {
  return environment.automationMode.load(std::memory_order_relaxed) != 0;
}

bool Stopping(const RepairEnvironment& environment) {
  return environment.stopRequested.load(std::memory_order_relaxed) != 0;
}

}  // namespace

std::u16string FormatFixSummary(uint32_t count) {
  return u"Total Errors Fixed: " + Utf8ToUtf16(std::to_string(count)) +
         u"    ";
}

int32_t ReadResultRow(ResultsView& results, int32_t row, Finding& record) {
  if (!results.IsChecked(row)) return -1;
  record.path.clear();
  record.valueName.clear();
  record.kind = -1;
  std::u16string cell;
  ReadCell(results, row, kColumnType, cell);
  record.kind = cell == u"Invalid Key" ? kFindingInvalidKey : kFindingInvalidValue;
  ReadCell(results, row, kColumnRootKey, cell);
  if (!RootFromText(cell, &record.root)) return -1;
  if (ReadCell(results, row, kColumnPath, record.path)) return -1;
  if (ReadCell(results, row, kColumnValueName, cell)) return -1;
  record.valueName = cell == kEmptyValueNameText ? std::u16string() : cell;
  if (HasEmptyPart(record.path)) return -1;
  // An empty key path would name the root itself.
  if (record.kind == kFindingInvalidKey &&
      WithoutTrailingSeparators(record.path).empty()) {
    return -1;
  }
  return 0;
}

int32_t DeleteKeyTree(Registry& registry, RegKey root, char16_t* path,
                      size_t capacity) {
  if (path == nullptr || capacity == 0) return 0;
  // An empty path, or one of backslashes alone, would name the root.
  const std::u16string_view text(path, std::char_traits<char16_t>::length(path));
  if (WithoutTrailingSeparators(text).empty() || text.size() >= capacity) {
    return 0;
  }
  return DeleteKeyTreeAt(registry, root, path, capacity, 0);
}

int32_t DeleteFindingKey(Registry& registry, const Finding& record) {
  const std::u16string_view path = WithoutTrailingSeparators(record.path);
  if (path.empty() || path.size() >= kTextBufferChars) return -1;
  std::vector<char16_t> buffer(kTextBufferChars, 0);
  std::copy(path.begin(), path.end(), buffer.begin());
  switch (CheckTreeForLinks(registry, record.root, buffer.data())) {
    case LinkCheck::kAbsent:
      return 0;  // already gone
    case LinkCheck::kNoLink:
      break;
    case LinkCheck::kLink:
    case LinkCheck::kUnknown:
      return -1;
  }
  return DeleteKeyTree(registry, record.root, buffer.data(), buffer.size()) == 1
             ? 0
             : -1;
}

int32_t DeleteFindingValue(Registry& registry, const Finding& record) {
  RegistryKey key;
  const int32_t opened = RegistryKey::Open(
      registry, record.root, record.path.c_str(), kKeyAllAccess, key);
  if (opened == kErrorFileNotFound || opened == kErrorPathNotFound) return 0;
  if (opened != kErrorSuccess) return -1;
  return EntryGone(registry.RegDeleteValueW(key.get(), record.valueName.c_str()))
             ? 0
             : -1;
}

int32_t FixThreadMain(const RepairEnvironment& environment) {
  ResultsView& results = environment.results;
  WorkerHost& host = environment.host;
  uint32_t rows = static_cast<uint32_t>(std::max(results.RowCount(), 0));
  if (rows == 0 || CountCheckedRows(results, rows) == 0) {
    if (Automated(environment)) {
      host.ReportAutomationStatus(kNothingToFix);
    } else {
      host.ShowMessage(kNothingToFix);
    }
    return 0;
  }
  host.EnterBusyState();
  if (host.IsBackupChecked() && BackupHives(environment.registry, environment.files,
                                           environment.system) != 0) {
    // Nothing has been deleted yet; a fix without its backup is not begun.
    host.ShowMessage(kBackupFailed);
    host.EnterIdleState();
    return 0;
  }

  Finding record;
  record.path.reserve(kTextBufferChars);
  record.valueName.reserve(kTextBufferChars);
  uint32_t fixed = 0;
  uint32_t row = 0;
  uint32_t examined = 0;
  results.SetRedraw(false);
  while (row < rows && !Stopping(environment)) {
    if (++examined % kRowsPerRepaint == 0) {
      results.SetRedraw(true);  // shows the rows left so far
      results.SetRedraw(false);
    }
    const auto index = static_cast<int32_t>(row);
    if (ReadResultRow(results, index, record) != 0) {
      ++row;
      continue;
    }
    // With an undo log nothing is deleted before it is in the log.
    const bool keyRow = record.kind == kFindingInvalidKey;
    Registry& registry = environment.registry;
    const int32_t deleted =
        environment.undo == nullptr
            ? (keyRow ? DeleteFindingKey(registry, record)
                   : DeleteFindingValue(registry, record))
            : (keyRow ? DeleteRecordedKey(registry, *environment.undo, record)
                   : DeleteRecordedValue(registry, *environment.undo, record));
    if (deleted != 0) {
      ++row;  // the row stays, still checked
      continue;
    }
    // The next row moves up into this index: examine it again.
    results.DeleteRow(index);
    --rows;
    ++fixed;
  }

  results.SetRedraw(true);
  if (environment.undo != nullptr) environment.undo->Close();
  host.EnterIdleState();
  const std::u16string summary = FormatFixSummary(fixed);
  if (!Automated(environment)) {
    host.ShowMessage(summary);
  } else {
    host.ReportAutomationStatus(Stopping(environment) ? u"Stopped" : summary);
  }
  return 0;
}

}  // namespace tavik
