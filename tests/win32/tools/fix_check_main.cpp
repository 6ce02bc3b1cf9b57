// tavik-fix-check: runs the fix worker under Wine over the rows of a real
// scan and proves, from a copy of the whole registry taken before and after,
// that exactly the entries of the fixed rows were removed and nothing else
// changed: every key, value name, type and data byte.
//
// Usage: tavik-fix-check [--undo] ROWS.tsv [EXPECTED-FIXED]
// ROWS.tsv holds tavik-scan's row lines (UTF-8, four tab-separated cells).
// Every third row (2, 5, 8, ...) is left unchecked. With --undo the fix
// writes an undo file, as the window's fix does; the file must exist
// exactly when the fix removed something. Exit code 0 when the check holds.
//
// For a fix run by another program (the window), the two copies are taken
// by two calls:
//   tavik-fix-check --before ROWS.tsv STATE    rows all checked, as the
//                                              window shows them; writes the
//                                              rows' keys and the copy
//   tavik-fix-check --after STATE LEFT.tsv FIXED
// LEFT.tsv holds the rows the list kept after the fix, FIXED the count the
// program reported ("-": the count is only printed).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/recording_ports.h"
#include "base/text.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_info.h"
#include "repair/fix_run.h"
#include "repair/registry_links.h"
#include "repair/undo_file.h"
#include "support/fix_outcome.h"
#include "support/registry_snapshot.h"

namespace {

using tavik::RegKey;

int failures = 0;

void Fail(const std::u16string& text) {
  ++failures;
  std::printf("FAIL %s\n", tavik::Utf16ToUtf8(text).c_str());
}

RegKey RootOf(const std::u16string& name) {
  if (name == u"HKEY_LOCAL_MACHINE") return tavik::kHkeyLocalMachine;
  if (name == u"HKEY_CURRENT_USER") return tavik::kHkeyCurrentUser;
  if (name == u"HKEY_CLASSES_ROOT") return tavik::kHkeyClassesRoot;
  return 0;
}

// The key's kernel name ("\REGISTRY\MACHINE\..."), links followed, as the
// snapshot names it ("HKLM\..."); empty when the key does not open.
std::u16string CanonicalName(RegKey root, const std::u16string& path) {
  using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<NtQueryKeyFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
  tavik::Win32Registry registry;
  RegKey key = 0;
  if (registry.RegOpenKeyExW(root, path.c_str(), tavik::kKeyRead, &key) != 0) return {};
  std::vector<uint8_t> buffer(70000);
  ULONG length = 0;
  constexpr int kKeyNameInformation = 3;
  const LONG status = query(reinterpret_cast<HANDLE>(key), kKeyNameInformation, buffer.data(),
                            static_cast<ULONG>(buffer.size()), &length);
  registry.RegCloseKey(key);
  if (status != 0) return {};
  ULONG bytes = 0;
  std::memcpy(&bytes, buffer.data(), sizeof(bytes));
  std::u16string name(reinterpret_cast<const char16_t*>(buffer.data() + 4), bytes / 2);
  const std::pair<std::u16string, std::u16string> prefixes[] = {
      {u"\\registry\\machine", u"HKLM"}, {u"\\registry\\user", u"HKU"}};
  for (const auto& [kernel, shortName] : prefixes) {
    if (tavik::StartsWithIgnoreAsciiCase(name, kernel)) {
      return shortName + name.substr(kernel.size());
    }
  }
  return {};
}

tavik::testing::RegistrySnapshot Snapshot(tavik::Registry& registry) {
  tavik::testing::RegistrySnapshot out;
  tavik::testing::SnapshotTree(registry, tavik::kHkeyLocalMachine, u"HKLM", out);
  tavik::testing::SnapshotTree(registry, tavik::kHkeyUsers, u"HKU", out);
  return out;
}

std::string ReadAll(const wchar_t* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The rows with their keys' snapshot names, taken while the keys exist.
std::vector<tavik::testing::FixCheckRow> CheckRowsOf(
    tavik::Registry& registry, const std::vector<tavik::ResultsRow>& parsed) {
  std::vector<tavik::testing::FixCheckRow> rows;
  for (const tavik::ResultsRow& each : parsed) {
    tavik::testing::FixCheckRow row;
    row.row = each;
    const RegKey root = RootOf(each.cells[1]);
    if (root != 0) {
      row.canonical = tavik::ToLowerAscii(CanonicalName(root, each.cells[2]));
      row.link = each.cells[0] == u"Invalid Key" &&
                 tavik::CheckTreeForLinks(registry, root, each.cells[2].c_str()) ==
                     tavik::LinkCheck::kLink;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<tavik::ResultsRow> AllChecked(std::vector<tavik::ResultsRow> rows) {
  for (auto& row : rows) row.checked = true;
  return rows;
}

int Before(const wchar_t* rowsFile, const wchar_t* stateFile) {
  tavik::Win32Registry registry;
  const auto rows =
      CheckRowsOf(registry, AllChecked(tavik::testing::ParseRows(ReadAll(rowsFile))));
  std::string state;
  using tavik::testing::HexField;
  for (const auto& row : rows) {
    const auto& cells = row.row.cells;
    state += "R " + HexField(cells[0]) + " " + HexField(cells[1]) + " " + HexField(cells[2]) +
             " " + HexField(cells[3]) + " " + HexField(row.canonical) + " " +
             (row.link ? "1" : "0") + "\n";
  }
  const auto before = Snapshot(registry);
  state += tavik::testing::SnapshotText(before);
  std::ofstream out(stateFile, std::ios::binary);
  out << state;
  out.close();
  std::printf("before: %zu rows, %zu keys\n", rows.size(), before.size());
  return out ? 0 : 1;
}

int After(const wchar_t* stateFile, const wchar_t* leftFile, const wchar_t* expected) {
  std::vector<tavik::testing::FixCheckRow> rows;
  tavik::testing::RegistrySnapshot before;
  tavik::testing::SnapshotKey* current = nullptr;
  std::istringstream state(ReadAll(stateFile));
  for (std::string line; std::getline(state, line);) {
    if (!line.starts_with("R ")) {
      tavik::testing::ReadSnapshotLine(line, before, current);
      continue;
    }
    std::istringstream fields(line.substr(2));
    std::string cells[4], canonical, link;
    fields >> cells[0] >> cells[1] >> cells[2] >> cells[3] >> canonical >> link;
    tavik::testing::FixCheckRow row;
    for (size_t i = 0; i < 4; ++i) row.row.cells[i] = tavik::testing::UnhexText(cells[i]);
    row.row.checked = true;
    row.canonical = tavik::testing::UnhexText(canonical);
    row.link = link == "1";
    rows.push_back(std::move(row));
  }
  const auto left = AllChecked(tavik::testing::ParseRows(ReadAll(leftFile)));
  tavik::Win32Registry registry;
  const auto after = Snapshot(registry);
  if (rows.empty() || before.empty()) Fail(u"no rows or no copy before the fix");
  for (const auto& fault : tavik::testing::CheckFixOutcome(rows, left, before, after)) {
    Fail(fault);
  }
  size_t fixedCount = 0;
  for (const auto& row : rows) fixedCount += row.fixed ? 1 : 0;
  std::printf("rows %zu, fixed %zu, left %zu, %zu keys before, %zu after\n", rows.size(),
              fixedCount, left.size(), before.size(), after.size());
  if (std::wcscmp(expected, L"-") != 0 && std::to_wstring(fixedCount) != expected) {
    Fail(u"the reported count differs from the rows fixed");
  }
  std::printf(failures == 0 ? "PASS\n" : "%d failures\n", failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"--before") == 0) return Before(argv[2], argv[3]);
  if (argc == 5 && std::wcscmp(argv[1], L"--after") == 0) {
    return After(argv[2], argv[3], argv[4]);
  }
  const bool withUndo = argc > 1 && std::wcscmp(argv[1], L"--undo") == 0;
  if (withUndo) {
    --argc;
    ++argv;
  }
  if (argc < 2) {
    std::printf("usage: tavik-fix-check [--undo] ROWS.tsv [EXPECTED-FIXED]\n");
    return 2;
  }
  tavik::Win32Registry registry;
  tavik::RecordingResultsView view;
  view.rows = tavik::testing::ParseRows(ReadAll(argv[1]));
  std::vector<tavik::testing::FixCheckRow> rows = CheckRowsOf(registry, view.rows);

  tavik::Win32FileSystem files;
  tavik::Win32SystemInfo system;
  const auto before = Snapshot(registry);
  tavik::SharedFlag stop{0};
  tavik::SharedFlag automation{0};
  tavik::RecordingHost host;
  tavik::RepairEnvironment environment{registry, files, system, stop, automation, view, host};
  tavik::UndoFile undo(registry, files, system);
  if (withUndo) environment.undo = &undo;
  // On its own thread, as behind the window.
  std::thread worker([&environment] { tavik::FixThreadMain(environment); });
  worker.join();
  const auto after = Snapshot(registry);
  if (withUndo) {
    const std::u16string& path = undo.path();
    std::printf("undo file %s\n", path.empty() ? "<none>" : tavik::Utf16ToUtf8(path).c_str());
    const bool removed = !(before == after);
    if (removed && (path.empty() || files.GetFileAttributesW(path.c_str()) ==
                                        tavik::kInvalidFileAttributes)) {
      Fail(u"the fix removed entries but left no undo file");
    }
    if (!removed && !path.empty()) Fail(u"the fix removed nothing but left an undo file");
  }

  for (const auto& fault : tavik::testing::CheckFixOutcome(rows, view.rows, before, after)) {
    Fail(fault);
  }
  size_t fixedCount = 0;
  for (const auto& row : rows) {
    fixedCount += row.fixed ? 1 : 0;
    const auto& cells = row.row.cells;
    std::printf("%s %s %s\\%s [%s]\n",
                row.fixed ? "fixed" : row.row.checked ? "kept " : "unchk",
                tavik::Utf16ToUtf8(cells[0]).c_str(), tavik::Utf16ToUtf8(cells[1]).c_str(),
                tavik::Utf16ToUtf8(cells[2]).c_str(), tavik::Utf16ToUtf8(cells[3]).c_str());
  }
  const std::string message =
      host.messages.empty() ? std::string("<none>") : tavik::Utf16ToUtf8(host.messages.back());
  std::printf("rows %zu, fixed %zu, %zu keys before, %zu after; %s\n", rows.size(), fixedCount,
              before.size(), after.size(), message.c_str());
  if (message != "Total Errors Fixed: " + std::to_string(fixedCount) + "    ") {
    Fail(u"summary does not match the rows fixed");
  }
  if (argc > 2 && std::to_wstring(fixedCount) != argv[2]) {
    Fail(u"expected " + std::u16string(reinterpret_cast<const char16_t*>(argv[2])) +
         u" rows fixed");
  }
  std::printf(failures == 0 ? "PASS\n" : "%d failures\n", failures);
  return failures == 0 ? 0 : 1;
}
