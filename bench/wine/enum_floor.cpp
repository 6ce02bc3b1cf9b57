// tavik-enum-floor: the floor for the Wine scan benchmark. Enumerates the
// values of the keys the benchmark fills (startup, shared DLLs, fonts) the
// way the scanners read them, names and data into 33000-unit buffers, with
// nothing judged, and prints the values seen and the time taken.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

struct Location {
  HKEY root;
  const wchar_t* path;
  bool readData;  // the shared-DLL scan reads names only
};

const Location kLocations[] = {
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", true},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", false},
    {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", true},
};

constexpr DWORD kNameChars = 33000;
constexpr DWORD kDataBytes = 33000;

class OpenKey {
 public:
  OpenKey(HKEY root, const wchar_t* path) {
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Values enumerated in one pass over every location.
long EnumerateAll(std::vector<wchar_t>& name, std::vector<wchar_t>& data) {
  long count = 0;
  for (const Location& location : kLocations) {
    OpenKey key(location.root, location.path);
    if (key.get() == nullptr) continue;
    for (DWORD index = 0;; ++index) {
      DWORD nameChars = kNameChars;
      DWORD dataBytes = kDataBytes;
      const LONG result = RegEnumValueW(
          key.get(), index, name.data(), &nameChars, nullptr, nullptr,
          location.readData ? reinterpret_cast<BYTE*>(data.data()) : nullptr,
          location.readData ? &dataBytes : nullptr);
      if (result != ERROR_SUCCESS) break;
      ++count;
    }
  }
  return count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? _wtoi(argv[1]) : 3;
  std::vector<wchar_t> name(kNameChars);
  std::vector<wchar_t> data(kNameChars);  // 33000 bytes of it are offered
  double best = -1;
  long count = 0;
  for (int round = 0; round < (rounds > 0 ? rounds : 1); ++round) {
    const auto start = std::chrono::steady_clock::now();
    count = EnumerateAll(name, data);
    const double ms = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now() - start)
                          .count();
    if (best < 0 || ms < best) best = ms;
  }
  std::printf("values=%ld best_ms=%.1f\n", count, best);
  return 0;
}
