// The undo file of a fix run: before the fix deletes an entry it appends
// the entry (a key with its whole tree, or one value) to a .reg file that
// regedit imports to put it back. One file per run, in the user's local
// application data below "Tavik Software\Registry Cleaner\Undo", named
// fix-YYYYMMDD-HHMMSS.reg by the run's start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/finding.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "repair/reg_export.h"

namespace tavik {

inline constexpr char16_t kUndoFolder[] =
    u"Tavik Software\\Registry Cleaner\\Undo";

// Where the fix run keeps what it is about to delete.
class UndoLog {
 public:
  virtual ~UndoLog() = default;
  // Writes the entry `record` names before it is deleted. 0 when the entry
  // is in the file (or does not exist, so there is nothing to keep); -1
  // when it could not be written, and then the entry must not be deleted.
  virtual int32_t RecordFinding(const Finding& record) = 0;
  // The run is over: whatever is open is closed.
  virtual void Close() {}
};

class UndoFile : public UndoLog {
 public:
  // Takes the run's start time for the file name; nothing is created yet.
  UndoFile(Registry& registry, FileSystem& files, SystemInfo& system);
  UndoFile(const UndoFile&) = delete;
  UndoFile& operator=(const UndoFile&) = delete;
  ~UndoFile() override { Close(); }

  // Exports the entry and writes it through to the file, which is created
  // with its header by the first entry. After a failed write every later
  // entry fails too: the end of the file may hold a cut record.
  int32_t RecordFinding(const Finding& record) override;

  // Ends the run's writing: the file is closed (the next entry would open
  // it again).
  void Close() override;

  // The file's full path once the first entry is written; empty before.
  const std::u16string& path() const { return path_; }

 private:
  bool Create(const std::u16string& firstRecord);

  RegExporter exporter_;
  FileSystem& files_;
  SystemTime started_;
  std::u16string path_;
  bool broken_ = false;
  // Open from the first entry to Close, where the file layer offers it.
  uintptr_t handle_ = 0;
  // Kept between entries: most records are alike in size.
  std::u16string text_;
  std::vector<uint8_t> bytes_;
};

// "fix-YYYYMMDD-HHMMSS.reg".
std::u16string UndoFileName(const SystemTime& time);

// Creates local application data\"Tavik Software\Registry Cleaner\Undo" as
// needed and returns its path; empty when it cannot be made.
std::u16string PrepareUndoFolder(FileSystem& files);

}  // namespace tavik
