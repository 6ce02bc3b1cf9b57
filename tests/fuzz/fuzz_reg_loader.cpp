// Fuzzes the .reg loader: arbitrary bytes are loaded into an in-memory
// registry of each flavor, every key is then walked through the registry
// calls, and a full scan runs over the result. Nothing may crash, hang or
// leak, every handle must be closed afterwards, and the scan's rows must be
// well-formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/recording_ports.h"
#include "engine/scan_run.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/reg_file_loader.h"
#include "scanners/scan_categories.h"

namespace {

using namespace tavik;

constexpr RegKey kRoots[] = {kHkeyClassesRoot, kHkeyCurrentUser,
                             kHkeyLocalMachine, kHkeyUsers};
constexpr int kMaxDepth = 12;
constexpr int kMaxKeys = 2000;

void Require(bool condition) {
  if (!condition) std::abort();
}

// Reads every value of each key, once with buffers too small (the
// ERROR_MORE_DATA paths) and once with full ones, then walks its subkeys.
struct Walker {
  MemoryRegistry& registry;
  std::vector<char16_t> name = std::vector<char16_t>(33000);
  std::vector<uint8_t> data = std::vector<uint8_t>(66000);
  int keys = 0;

  void Walk(RegKey key, int depth) {
    if (depth > kMaxDepth || ++keys > kMaxKeys) return;
    uint32_t subKeys = 0;
    uint32_t values = 0;
    registry.RegQueryInfoKeyW(key, &subKeys, &values);
    for (uint32_t index = 0; index < 5000; ++index) {
      uint32_t nameChars = 4;
      uint32_t dataBytes = 4;
      uint32_t type = 0;
      int32_t result = registry.RegEnumValueW(
          key, index, name.data(), &nameChars, &type, data.data(), &dataBytes);
      if (result == kErrorNoMoreItems) break;
      nameChars = static_cast<uint32_t>(name.size());
      dataBytes = static_cast<uint32_t>(data.size());
      result = registry.RegEnumValueW(key, index, name.data(), &nameChars,
                                      &type, data.data(), &dataBytes);
      if (result != kErrorSuccess) continue;
      Require(nameChars < name.size() && dataBytes <= data.size());
      name[nameChars] = 0;
      uint32_t queried = static_cast<uint32_t>(data.size());
      registry.RegQueryValueExW(key, name.data(), &type, data.data(), &queried);
    }
    for (uint32_t index = 0; index < 5000; ++index) {
      uint32_t nameChars = 512;
      const int32_t result =
          registry.RegEnumKeyExW(key, index, name.data(), &nameChars);
      if (result == kErrorNoMoreItems) break;
      if (result != kErrorSuccess) continue;
      Require(nameChars < 512);
      name[nameChars] = 0;
      RegKey child = 0;
      if (registry.RegOpenKeyExW(key, name.data(), kKeyRead, &child) ==
          kErrorSuccess) {
        Walk(child, depth + 1);
        registry.RegCloseKey(child);
      }
    }
  }
};

void LoadWalkAndScan(RegistryFlavor flavor, const std::vector<uint8_t>& bytes) {
  MemoryRegistry registry(flavor);
  LoadRegFile(registry, bytes);

  Walker walker{registry};
  for (const RegKey root : kRoots) walker.Walk(root, 0);
  Require(registry.OpenHandleCount() == 0);

  MemoryFileSystem files;
  files.AddFile(u"C:\\windows\\system32\\present.dll");
  files.AddFile(u"C:\\windows\\Fonts\\arial.ttf");
  files.AddFile(u"C:\\Program Files\\Vendor\\app.exe");
  files.SetDriveType(u'E', kDriveCdrom);
  files.SetEnvironment(u"VENDOR", u"C:\\Program Files\\Vendor");
  ScanOptions options;
  SharedFlag stop{0};
  SharedFlag automation{0};
  RecordingResultsView results;
  RecordingHost host;
  const ScanEnvironment environment{registry, files, options, kScanCategories, stop,
                                    automation, results, host};
  ScanThreadMain(environment);
  Require(registry.OpenHandleCount() == 0);
  for (const ResultsRow& row : results.rows) {
    Require(row.cells[0] == u"Invalid Key" || row.cells[0] == u"Invalid Value");
    Require(row.cells[1] == u"HKEY_CLASSES_ROOT" ||
            row.cells[1] == u"HKEY_CURRENT_USER" ||
            row.cells[1] == u"HKEY_LOCAL_MACHINE");
    Require(row.checked);
  }
  Require(host.messages.size() == 1 &&
          host.messages[0] == FormatScanSummary(
                                  static_cast<int32_t>(results.rows.size())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  LoadWalkAndScan(RegistryFlavor::kWindows, bytes);
  LoadWalkAndScan(RegistryFlavor::kWine, bytes);
  return 0;
}
