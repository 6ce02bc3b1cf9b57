// The fix and restore workers over the in-memory registry, file system and
// clock, with the results list and the window in memory.
#pragma once

#include <string>
#include <vector>

#include "app/recording_ports.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/memory_system_info.h"
#include "repair/fix_run.h"
#include "repair/repair_environment.h"
#include "repair/undo_file.h"

namespace tavik::testing {

struct RepairFixture {
  explicit RepairFixture(RegistryFlavor flavor = RegistryFlavor::kWindows)
      : registry(flavor) {
    registry.AttachFileSystem(&files);
  }

  RepairEnvironment environment() {
    return RepairEnvironment{registry, files, system, stop, automation, results, host};
  }

  // Runs the fix worker; with `withUndo` each entry is first written to an
  // undo file in the user's local application data, as the window fixes.
  // The undo file's path, empty when none was written.
  std::u16string RunFix(bool withUndo) {
    if (!withUndo) {
      FixThreadMain(environment());
      return {};
    }
    const std::u16string localAppData = u"C:\\users\\user\\AppData\\Local";
    files.SetSpecialFolder(kCsidlLocalAppData, localAppData);
    if (!files.Exists(localAppData)) files.AddFolder(localAppData);
    UndoFile undo(registry, files, system);
    RepairEnvironment withFile = environment();
    withFile.undo = &undo;
    FixThreadMain(withFile);
    return undo.path();
  }

  void AddRow(const std::u16string& type, const std::u16string& root,
              const std::u16string& path, const std::u16string& value,
              bool checked = true) {
    ResultsRow row;
    row.cells = {type, root, path, value};
    row.checked = checked;
    results.rows.push_back(row);
  }
  void AddKeyRow(const std::u16string& path, bool checked = true) {
    AddRow(u"Invalid Key", u"HKEY_LOCAL_MACHINE", path, u"-------", checked);
  }
  void AddValueRow(const std::u16string& path, const std::u16string& value,
                   bool checked = true) {
    AddRow(u"Invalid Value", u"HKEY_LOCAL_MACHINE", path, value, checked);
  }
  // The Path cells of the rows left, in order.
  std::vector<std::u16string> RowPaths() const {
    std::vector<std::u16string> paths;
    for (const auto& row : results.rows) paths.push_back(row.cells[2]);
    return paths;
  }

  MemoryRegistry registry;
  MemoryFileSystem files;
  MemorySystemInfo system;
  SharedFlag stop{0};
  SharedFlag automation{0};
  RecordingResultsView results;
  RecordingHost host;
};

}  // namespace tavik::testing
