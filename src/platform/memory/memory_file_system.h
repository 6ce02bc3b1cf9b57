// An in-memory file system with Windows path semantics for host tests:
// drives with their types, files and folders under case-insensitive paths, a
// current folder for relative names, a Windows folder, an environment for
// %VAR% expansion, the executable's path, special folders and shell links.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace tavik {

class MemoryFileSystem final : public FileSystem {
 public:
  // Starts with drive C: fixed, the Windows folder C:\windows with its
  // system32 and Fonts folders, the current folder C:\scan, the executable
  // C:\Program Files\Tavik\RegistryCleaner.exe (its folder exists, the file
  // itself is not created), the environment SystemRoot, windir, SystemDrive,
  // ProgramFiles, ProgramFiles(x86), CommonProgramFiles, USERPROFILE, APPDATA,
  // TEMP, and the special folders Fonts and Recent. GetDriveTypeW takes "C:"
  // like "C:\" (as Win32 does) and answers DRIVE_REMOTE for any UNC root;
  // ExpandEnvironmentStringsW keeps "%NAME" of an unknown name and goes on
  // at its closing '%', as Windows does (Wine keeps "%NAME%" whole).
  MemoryFileSystem();

  // --- set-up helpers for tests ---
  void SetDriveType(char16_t letter, uint32_t type);
  // Adds a file (and its missing parent folders); returns false for a path
  // that has no drive letter.
  bool AddFile(const std::u16string& path,
               std::vector<uint8_t> content = {});
  bool AddFolder(const std::u16string& path);
  bool Remove(const std::u16string& path);
  // Files that exist but cannot be seen by PathFileExistsW nor opened for
  // reading attributes (as locked or protected files are): only the
  // backup-semantics open finds them.
  void SetHiddenFromQuickTests(const std::u16string& path, bool hidden);
  // A folder whose listing is refused (as one the user may traverse but
  // not read): its files still answer the other tests.
  void SetUnlistable(const std::u16string& path, bool unlistable);
  // Marks a file or folder as a reparse point (a junction or link).
  void SetReparsePoint(const std::u16string& path, bool reparse);
  // Counts folder listings.
  uint64_t folderListings() const { return folderListings_; }
  void SetEnvironment(const std::u16string& name, const std::u16string& value);
  void SetWindowsDirectory(const std::u16string& path);
  // The 32-bit system folder (C:\windows\SysWOW64 unless set; empty: a
  // system without one).
  void SetSystemWow64Directory(const std::u16string& path) {
    wow64Directory_ = path;
  }
  // Every file test of a path below `prefix` fails with `error` (0 takes
  // the failure away): a locked volume, a folder the user may not enter.
  void SetFileTestError(const std::u16string& prefix, uint32_t error);
  void SetCurrentDirectory(const std::u16string& path);
  // Also creates the folder of the executable.
  void SetModuleFileName(const std::u16string& path);
  void SetSpecialFolder(int32_t csidl, const std::u16string& path);
  void FailSpecialFolder(int32_t csidl);
  // A link file whose target GetPath reads; an empty target is a link
  // without a file-system path, for which GetPath writes nothing.
  void AddShellLink(const std::u16string& linkPath,
                    const std::u16string& target);
  // A file that exists but does not load as a shell link.
  void AddBrokenShellLink(const std::u16string& linkPath);
  bool Exists(const std::u16string& path) const;
  bool FileContent(const std::u16string& path,
                   std::vector<uint8_t>& content) const;
  // Counts calls of the existence tests, for tests of the judging order.
  uint64_t existenceQueries() const { return existenceQueries_; }

  // --- FileSystem ---
  uint32_t GetFileAttributesW(const char16_t* path) override;
  bool PathFileExistsW(const char16_t* path) override;
  // A missing name fails with ERROR_FILE_NOT_FOUND when its folder exists,
  // ERROR_PATH_NOT_FOUND otherwise.
  bool OpenExistingFile(const char16_t* path, uint32_t access, uint32_t share,
                        uint32_t flags, uint32_t* error) override;
  bool PathStripToRootW(char16_t* path) override;
  uint32_t GetDriveTypeW(const char16_t* root) override;
  uint32_t ExpandEnvironmentStringsW(const char16_t* src, char16_t* dst,
                                     uint32_t dstChars) override;
  uint32_t GetWindowsDirectoryW(char16_t* buffer, uint32_t chars) override;
  uint32_t GetSystemWow64DirectoryW(char16_t* buffer, uint32_t chars) override;
  uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t chars) override;
  int32_t PathParseIconLocationW(char16_t* iconFile) override;
  int32_t SHGetFolderPathW(int32_t csidl, uint32_t flags,
                           char16_t* path) override;
  int32_t LoadShellLinkTarget(const char16_t* linkPath, char16_t* target,
                              uint32_t chars) override;
  // Lists in the order of the upper-cased names, with each name as it was
  // first created; there are no short names.
  uint32_t GetCurrentDirectoryW(uint32_t chars, char16_t* buffer) override;
  uint32_t ListFolder(const char16_t* folder,
                      std::vector<FolderEntry>& entries) override;
  bool ReadFileBytes(const char16_t* path,
                     std::vector<uint8_t>& bytes) override;
  bool WriteFileBytes(const char16_t* path, const std::vector<uint8_t>& bytes,
                      bool append) override;
  bool DeleteFileW(const char16_t* path) override;
  bool CreateDirectoryW(const char16_t* path) override;
  // Handles share reading only, as the Win32 layer opens them: DeleteFileW
  // of a file with an open handle fails (Remove still takes it away, as
  // something outside the program might).
  uintptr_t CreateNewFile(const char16_t* path, uint32_t& error) override;
  uintptr_t OpenFileForAppend(const char16_t* path) override;
  bool WriteFile(uintptr_t file, const uint8_t* data, uint32_t bytes,
                 uint32_t& written) override;
  bool SetFilePointerEx(uintptr_t file, int64_t distance, uint64_t* newPointer,
                        uint32_t moveMethod) override;
  bool SetEndOfFile(uintptr_t file) override;
  void CloseFile(uintptr_t file) override;
  // Keeps the descriptor's text with the file for FileSecurity.
  uintptr_t CreateNewFileWithSecurity(const char16_t* path,
                                      const SecurityAttributes* security,
                                      uint32_t& error) override;
  // The security descriptor (SDDL) a file was created with; empty for one
  // created without security attributes, or no file. A file written again
  // keeps it, as Windows keeps a file's permissions when it is overwritten.
  std::u16string FileSecurity(const std::u16string& path) const;
  // Handles from CreateNewFile and OpenFileForAppend not yet closed.
  size_t OpenFileCount() const { return handles_.size(); }
  // Makes DeleteFileW of this file fail (a file in use or protected).
  void SetUndeletable(const std::u16string& path, bool undeletable);
  // A disk with this many bytes left: a write that does not fit stores
  // what fits and fails, as WriteFile on a full disk. Cutting a file gives
  // its bytes back.
  void SetFreeBytes(size_t bytes) { freeBytes_ = bytes; }

 private:
  // An open handle: the file's normalized path and its file pointer.
  struct OpenFile {
    std::u16string key;
    uint64_t pointer = 0;
  };
  std::optional<size_t> freeBytes_;
  std::map<uintptr_t, OpenFile> handles_;
  uintptr_t nextHandle_ = 1;
  struct Entry {
    bool folder = false;
    bool hiddenFromQuickTests = false;
    bool undeletable = false;
    bool unlistable = false;
    bool reparsePoint = false;
    std::u16string name;  // the last part as first created
    std::vector<uint8_t> content;
    std::u16string security;  // SDDL given at creation, if any
  };
  // The full path of `path` as Win32 forms it (case kept, separators and
  // "." / ".." resolved, relative names joined to the current folder). Empty
  // for a path that cannot exist.
  std::u16string Absolute(const std::u16string& path) const;
  // Writes `bytes` into `entry` at `offset` (zero-filling any gap), as far
  // as the simulated free room allows: how many were stored.
  size_t StoreBytes(Entry& entry, uint64_t offset, const uint8_t* data,
                    size_t bytes);
  // The file behind an open handle; null when the handle is unknown or its
  // file has gone.
  Entry* HandleFile(uintptr_t file, OpenFile** open);
  bool HasOpenHandle(const std::u16string& key) const;
  // The key under which a path is stored: absolute, folded to upper case,
  // separators and "." / ".." resolved, trailing dots and blanks of the
  // last part removed. Empty for a path that cannot exist.
  std::u16string Normalize(const std::u16string& path) const;
  const Entry* Find(const char16_t* path) const;

  std::map<char16_t, uint32_t> drives_;
  std::map<std::u16string, Entry> entries_;
  std::map<std::u16string, std::u16string> environment_;  // upper-case names
  std::map<std::u16string, std::u16string> envNames_;     // original case
  std::map<int32_t, std::u16string> specialFolders_;
  std::set<int32_t> failingFolders_;
  std::map<std::u16string, std::u16string> shellLinks_;  // normalized path
  std::set<std::u16string> brokenShellLinks_;
  std::u16string windowsDirectory_;
  std::u16string wow64Directory_ = u"C:\\windows\\SysWOW64";
  // Upper-cased path prefixes whose file tests fail, with their errors.
  std::vector<std::pair<std::u16string, uint32_t>> fileTestErrors_;
  // The injected error of a path, or 0.
  uint32_t FileTestError(const char16_t* path) const;
  std::u16string currentDirectory_;
  std::u16string moduleFileName_;
  uint64_t existenceQueries_ = 0;
  uint64_t folderListings_ = 0;
};

}  // namespace tavik
