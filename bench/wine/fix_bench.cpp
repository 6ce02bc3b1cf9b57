// Wine benchmark of the fix: N checked rows under HKCU\Software\TavikBench\Fix,
// key and value rows in turn as in the host benchmark. A key row names a
// tree of three levels (a value at each level); a value row names one of
// 100 values of a group key. The fix worker deletes them once; then the same
// keys and values, recreated, are deleted by bare RegDeleteTreeW and
// RegDeleteKeyValueW calls. Prints "rows=N fix_ms=... bare_ms=...". With a
// second argument "undo" the fix also writes its undo file.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "../indexed_results_view.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_info.h"
#include "repair/fix_run.h"
#include "repair/undo_file.h"

namespace {

constexpr wchar_t kBase[] = L"Software\\TavikBench\\Fix";

std::wstring TreePath(int i) {
  wchar_t name[32];
  std::swprintf(name, 32, L"\\T%06d", i);
  return kBase + std::wstring(name);
}

std::wstring GroupPath(int i) {
  wchar_t name[32];
  std::swprintf(name, 32, L"\\Values%04d", i / 200);
  return kBase + std::wstring(name);
}

std::wstring ValueName(int i) {
  wchar_t name[32];
  std::swprintf(name, 32, L"Entry%06d", i);
  return name;
}

bool IsKeyRow(int i) { return i % 2 == 0; }

bool CreateEntries(int count) {
  for (int i = 0; i < count; ++i) {
    if (!IsKeyRow(i)) {
      const wchar_t data[] = L"C:\\Program Files\\Gone\\app.exe";
      if (::RegSetKeyValueW(HKEY_CURRENT_USER, GroupPath(i).c_str(), ValueName(i).c_str(),
                            REG_SZ, data, sizeof(data)) != ERROR_SUCCESS) {
        return false;
      }
      continue;
    }
    HKEY key = nullptr;
    const std::wstring deepest = TreePath(i) + L"\\A\\B";
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, deepest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    ::RegCloseKey(key);
    for (const std::wstring& path : {TreePath(i), TreePath(i) + L"\\A", deepest}) {
      ::RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), L"v", REG_SZ, L"x", 4);
    }
  }
  return true;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int count = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 10000;
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kBase);
  if (!CreateEntries(count)) {
    std::printf("cannot create the entries\n");
    return 1;
  }
  std::vector<tavik::ResultsRow> rows(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    auto& cells = rows[static_cast<size_t>(i)].cells;
    if (IsKeyRow(i)) {
      const std::wstring path = TreePath(i);
      cells = {u"Invalid Key", u"HKEY_CURRENT_USER", std::u16string(path.begin(), path.end()),
               u"-------"};
    } else {
      const std::wstring path = GroupPath(i);
      const std::wstring name = ValueName(i);
      cells = {u"Invalid Value", u"HKEY_CURRENT_USER", std::u16string(path.begin(), path.end()),
               std::u16string(name.begin(), name.end())};
    }
    rows[static_cast<size_t>(i)].checked = true;
  }
  tavik::bench::IndexedResultsView view(rows);
  tavik::Win32Registry registry;
  tavik::Win32FileSystem files;
  tavik::Win32SystemInfo system;
  tavik::SharedFlag stop{0};
  tavik::SharedFlag automation{0};
  tavik::RecordingHost host;
  tavik::RepairEnvironment environment{registry, files, system, stop, automation, view, host};
  tavik::UndoFile undo(registry, files, system);
  const bool withUndo = argc > 2 && std::wstring(argv[2]) == L"undo";
  if (withUndo) environment.undo = &undo;
  LARGE_INTEGER start, end;
  ::QueryPerformanceCounter(&start);
  tavik::FixThreadMain(environment);
  ::QueryPerformanceCounter(&end);
  const double fixMs = Milliseconds(start, end);
  const int left = view.RowCount();

  if (!CreateEntries(count)) return 1;
  ::QueryPerformanceCounter(&start);
  for (int i = 0; i < count; ++i) {
    if (IsKeyRow(i)) {
      const std::wstring path = TreePath(i);
      ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
      ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
    } else {
      ::RegDeleteKeyValueW(HKEY_CURRENT_USER, GroupPath(i).c_str(), ValueName(i).c_str());
    }
  }
  ::QueryPerformanceCounter(&end);
  const double bareMs = Milliseconds(start, end);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TavikBench");
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TavikBench");
  std::printf("rows=%d fixed=%d undo=%d fix_ms=%.1f bare_ms=%.1f\n", count, count - left,
              withUndo ? 1 : 0, fixMs, bareMs);
  if (withUndo) files.DeleteFileW(undo.path().c_str());
  return left == 0 ? 0 : 1;
}
