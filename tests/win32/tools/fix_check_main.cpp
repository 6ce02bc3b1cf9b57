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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: tavik-fix-check ROWS.tsv [EXPECTED-FIXED]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  tavik::Win32Registry registry;
  std::vector<tavik::testing::FixCheckRow> rows;
  tavik::RecordingResultsView view;
  for (const tavik::ResultsRow& parsed : tavik::testing::ParseRows(text.str())) {
    tavik::testing::FixCheckRow row;
    row.row = parsed;
    const RegKey root = RootOf(parsed.cells[1]);
    if (root != 0) {
      row.canonical = tavik::ToLowerAscii(CanonicalName(root, parsed.cells[2]));
      row.link = parsed.cells[0] == u"Invalid Key" &&
                 tavik::CheckTreeForLinks(registry, root, parsed.cells[2].c_str()) ==
                     tavik::LinkCheck::kLink;
    }
    view.rows.push_back(parsed);
    rows.push_back(std::move(row));
  }

  tavik::Win32FileSystem files;
  tavik::Win32SystemInfo system;
  const auto before = Snapshot(registry);
  tavik::SharedFlag stop{0};
  tavik::SharedFlag automation{0};
  tavik::RecordingHost host;
  const tavik::RepairEnvironment environment{registry, files, system, stop, automation, view, host};
  // On its own thread, as behind the window.
  std::thread worker([&environment] { tavik::FixThreadMain(environment); });
  worker.join();
  const auto after = Snapshot(registry);

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
