// The undo file of a fix run: before the fix deletes an entry it appends
// the entry (a key with its whole tree, or one value) to a .reg file that
// regedit imports to put it back. One file per run, in the user's local
// application data below "Tavik Software\Registry Cleaner\Undo", named
// fix-YYYYMMDD-HHMMSS.reg by the run's start.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "repair/reg_export.h"

namespace tavik {

inline constexpr char16_t kUndoFolder[] =
    u"Tavik Software\\Registry Cleaner\\Undo";

// What an undo log did with an entry the fix is about to delete.
enum class UndoRecord {
  kWritten,  // the entry is in the log
  kAbsent,   // the entry does not exist: nothing to keep, nothing to delete
  kFailed,   // the entry is not in the log, so it must not be deleted
};

// Where the fix run keeps what it is about to delete.
class UndoLog {
 public:
  virtual ~UndoLog() = default;
  // Writes the key root + path with its whole tree. On kWritten `keys`
  // holds every key written, parents first, each still open as itself and
  // with its state as written, and the tree held no registry link: those
  // keys, as they were, are what the fix may delete.
  virtual UndoRecord RecordKeyTree(RegKey root, std::u16string_view path,
                                   std::vector<ExportedKey>& keys) = 0;
  // Writes the value `valueName` ("" = the default value) of `key`, which
  // is open with read access as root + path.
  virtual UndoRecord RecordValue(RegKey root, std::u16string_view path,
                                 RegKey key, std::u16string_view valueName) = 0;
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

  // Each exports the entry and writes it through to the file, which is
  // created with its header by the first entry. A write that fails is cut
  // off again, so the file ends on a whole record; every later entry fails
  // too, as does every entry after the file has gone.
  UndoRecord RecordKeyTree(RegKey root, std::u16string_view path,
                           std::vector<ExportedKey>& keys) override;
  UndoRecord RecordValue(RegKey root, std::u16string_view path, RegKey key,
                         std::u16string_view valueName) override;

  // Ends the run's writing: the file is closed (the next entry would open
  // it again, but never create it).
  void Close() override;

  // The file's full path once the first entry is written; empty before.
  const std::u16string& path() const { return path_; }

 private:
  // Writes what text_ holds: kWritten, or kFailed after a failed write.
  UndoRecord WriteRecord(RegExport exported);
  // Creates the file under the first free name, keeps its handle and
  // writes the header with the first record; false leaves no file.
  bool Create(const std::u16string& firstRecord);
  // Appends a record through handle_; false after a failed write, cut off.
  bool Append(const std::vector<uint8_t>& bytes);

  RegExporter exporter_;
  FileSystem& files_;
  SystemTime started_;
  std::u16string path_;
  bool broken_ = false;
  // Open from the file's creation to Close, shared for reading only: no
  // one else writes to or deletes the file meanwhile.
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
