// tavik-container-floor: the floor for the Wine full-scan benchmark. Walks
// the containers of the synthetic registry once (classes with their CLSID,
// server and ProgID subkeys, uninstall entries, application paths, recent
// documents), opening every key and reading every value name and datum into
// 33000-unit buffers, with nothing judged. Prints the keys and values seen
// and the best time of the given number of rounds.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Container {
  HKEY root;
  const wchar_t* path;
  int depth;            // levels of subkeys walked below the container
  const wchar_t* skip;  // a direct subkey walked by another container
};

const Container kContainers[] = {
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes", 2, L"CLSID"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID", 2, nullptr},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 1, nullptr},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", 1, nullptr},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs", 1, nullptr},
};

constexpr DWORD kChars = 33000;

struct Walk {
  std::vector<wchar_t> name = std::vector<wchar_t>(kChars);
  std::vector<wchar_t> data = std::vector<wchar_t>(kChars);
  long keys = 0;
  long values = 0;

  void Key(HKEY parent, const wchar_t* path, int depth, const wchar_t* skip) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    ++keys;
    for (DWORD index = 0;; ++index) {
      DWORD nameChars = kChars;
      DWORD dataBytes = kChars;
      if (RegEnumValueW(key, index, name.data(), &nameChars, nullptr, nullptr,
                        reinterpret_cast<BYTE*>(data.data()),
                        &dataBytes) != ERROR_SUCCESS) {
        break;
      }
      ++values;
    }
    if (depth > 0) {
      std::vector<std::wstring> subkeys;
      for (DWORD index = 0;; ++index) {
        DWORD nameChars = 512;
        if (RegEnumKeyExW(key, index, name.data(), &nameChars, nullptr,
                          nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
          break;
        }
        subkeys.emplace_back(name.data(), nameChars);
      }
      for (const auto& subkey : subkeys) {
        if (skip != nullptr && _wcsicmp(subkey.c_str(), skip) == 0) continue;
        Key(key, subkey.c_str(), depth - 1, nullptr);
      }
    }
    RegCloseKey(key);
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? _wtoi(argv[1]) : 3;
  double best = -1;
  Walk last;
  for (int round = 0; round < (rounds > 0 ? rounds : 1); ++round) {
    Walk walk;
    const auto start = std::chrono::steady_clock::now();
    for (const Container& container : kContainers) {
      walk.Key(container.root, container.path, container.depth, container.skip);
    }
    const double ms = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now() - start)
                          .count();
    if (best < 0 || ms < best) best = ms;
    last = std::move(walk);
  }
  std::printf("keys=%ld values=%ld best_ms=%.1f\n", last.keys, last.values, best);
  return 0;
}
