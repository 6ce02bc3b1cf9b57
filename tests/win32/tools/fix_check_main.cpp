// tavik-fix-check: runs the fix worker under Wine over the rows of a real
// scan and proves, from a copy of the whole registry taken before and after,
// that exactly the entries of the fixed rows were removed and nothing else
// changed: every key, value name, type and data byte.
//
// Usage: tavik-fix-check ROWS.tsv [EXPECTED-FIXED]
// ROWS.tsv holds tavik-scan's row lines (UTF-8, four tab-separated cells).
// Every third row (2, 5, 8, ...) is left unchecked. Exit code 0 when the
// check holds.
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
  static const auto query = reinterpret_cast<NtQueryKeyFn>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey"));
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

struct Row {
  tavik::ResultsRow cells;
  std::u16string canonical;  // folded
  bool link = false;
  bool fixed = false;
};

bool Covers(const std::u16string& key, const std::u16string& folded) {
  return folded == key || (folded.size() > key.size() && folded.starts_with(key) &&
                           folded[key.size()] == u'\\');
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: tavik-fix-check ROWS.tsv [EXPECTED-FIXED]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string line;
  std::vector<Row> rows;
  tavik::RecordingResultsView view;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.starts_with("Total Invalid Entries Found")) continue;
    Row row;
    std::istringstream cells(line);
    std::string cell;
    for (size_t i = 0; i < 4 && std::getline(cells, cell, '\t'); ++i) {
      row.cells.cells[i] = tavik::Utf8ToUtf16(cell);
    }
    row.cells.checked = rows.size() % 3 != 2;
    const RegKey root = RootOf(row.cells.cells[1]);
    tavik::Win32Registry registry;
    if (root != 0) {
      row.canonical = tavik::ToLowerAscii(CanonicalName(root, row.cells.cells[2]));
      row.link = row.cells.cells[0] == u"Invalid Key" &&
                 tavik::CheckTreeForLinks(registry, root, row.cells.cells[2].c_str()) ==
                     tavik::LinkCheck::kLink;
    }
    view.rows.push_back(row.cells);
    rows.push_back(std::move(row));
  }

  tavik::Win32Registry registry;
  tavik::Win32FileSystem files;
  tavik::Win32SystemInfo system;
  const auto before = Snapshot(registry);
  tavik::SharedFlag stop{0};
  tavik::SharedFlag automation{0};
  tavik::RecordingHost host;
  const tavik::RepairEnvironment environment{registry, files, system, stop, automation, view, host};
  std::thread worker([&environment] { tavik::FixThreadMain(environment); });
  worker.join();
  const auto after = Snapshot(registry);

  // The rows left are the rows not fixed, in their order.
  size_t left = 0;
  size_t fixedCount = 0;
  for (Row& row : rows) {
    if (left < view.rows.size() && view.rows[left].cells == row.cells.cells) {
      ++left;
    } else {
      row.fixed = true;
      ++fixedCount;
    }
    const std::u16string text = row.cells.cells[0] + u" " + row.cells.cells[1] + u"\\" +
                                row.cells.cells[2] + u" [" + row.cells.cells[3] + u"]";
    if (row.fixed && !row.cells.checked) Fail(u"unchecked row fixed: " + text);
    if (row.fixed && row.link) Fail(u"link row fixed: " + text);
    std::printf("%s %s\n", row.fixed ? "fixed" : row.cells.checked ? "kept " : "unchk",
                tavik::Utf16ToUtf8(text).c_str());
  }
  if (left != view.rows.size()) Fail(u"rows were reordered or changed");

  // Nothing added or changed; everything removed is named by a fixed row.
  size_t removedKeys = 0, removedValues = 0;
  for (const auto& [folded, key] : before) {
    auto it = after.find(folded);
    bool keyCovered = false;
    for (const Row& row : rows) {
      if (row.fixed && row.cells.cells[0] == u"Invalid Key" && !row.canonical.empty() &&
          Covers(row.canonical, folded)) {
        keyCovered = true;
      }
    }
    if (it == after.end()) {
      ++removedKeys;
      if (!keyCovered) Fail(u"key removed without a fixed row: " + key.path);
      continue;
    }
    if (keyCovered) Fail(u"key of a fixed row still there: " + key.path);
    for (const auto& [name, value] : key.values) {
      auto v = it->second.values.find(name);
      if (v != it->second.values.end()) {
        if (!(v->second == value)) Fail(u"value changed: " + key.path + u"\\" + value.name);
        continue;
      }
      ++removedValues;
      bool named = false;
      for (const Row& row : rows) {
        const std::u16string valueName =
            row.cells.cells[3] == u"-------" ? u"" : row.cells.cells[3];
        named |= row.fixed && row.cells.cells[0] != u"Invalid Key" &&
                 row.canonical == folded && tavik::ToLowerAscii(valueName) == name;
      }
      if (!named) Fail(u"value removed without a fixed row: " + key.path + u"\\" + value.name);
    }
    for (const auto& [name, value] : it->second.values) {
      if (!key.values.count(name)) Fail(u"value added: " + key.path + u"\\" + value.name);
    }
  }
  for (const auto& [folded, key] : after) {
    if (!before.count(folded)) Fail(u"key added: " + key.path);
  }
  // Every fixed value row's value is gone.
  for (const Row& row : rows) {
    if (!row.fixed || row.cells.cells[0] == u"Invalid Key" || row.canonical.empty()) continue;
    auto it = after.find(row.canonical);
    const std::u16string valueName = row.cells.cells[3] == u"-------" ? u"" : row.cells.cells[3];
    if (it != after.end() && it->second.values.count(tavik::ToLowerAscii(valueName))) {
      Fail(u"value of a fixed row still there: " + row.cells.cells[2] + u"\\" + valueName);
    }
  }

  const std::string message =
      host.messages.empty() ? std::string("<none>") : tavik::Utf16ToUtf8(host.messages.back());
  std::printf("rows %zu, fixed %zu, keys removed %zu, values removed %zu of %zu keys; %s\n",
              rows.size(), fixedCount, removedKeys, removedValues, before.size(), message.c_str());
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
