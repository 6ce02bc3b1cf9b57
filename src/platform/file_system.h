// The file-system and shell seam: the kernel32, shlwapi and shell32 calls
// that the engine and the scanners use, with their Windows semantics.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/security_attributes.h"

namespace tavik {

inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kFileAttributeReparsePoint = 0x400;

inline constexpr uint32_t kErrorFileMissing = 2;  // ERROR_FILE_NOT_FOUND
inline constexpr uint32_t kErrorPathMissing = 3;  // ERROR_PATH_NOT_FOUND
inline constexpr uint32_t kErrorFileAccessDenied = 5;
inline constexpr uint32_t kErrorNotReady = 21;
inline constexpr uint32_t kErrorNoMoreFiles = 18;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorBadPathname = 161;
inline constexpr uint32_t kErrorFilenameTooLong = 206;  // FILENAME_EXCED_RANGE
inline constexpr uint32_t kErrorNotADirectory = 267;    // ERROR_DIRECTORY
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorFileExists = 80;

inline constexpr uint32_t kFileBegin = 0;
inline constexpr uint32_t kFileCurrent = 1;
inline constexpr uint32_t kFileEnd = 2;

inline constexpr uint32_t kDriveUnknown = 0;
inline constexpr uint32_t kDriveNoRootDir = 1;
inline constexpr uint32_t kDriveRemovable = 2;
inline constexpr uint32_t kDriveFixed = 3;
inline constexpr uint32_t kDriveRemote = 4;
inline constexpr uint32_t kDriveCdrom = 5;
inline constexpr uint32_t kDriveRamdisk = 6;

inline constexpr uint32_t kFileReadAttributes = 0x80;
inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kFileShareAll = 7;  // read, write and delete
inline constexpr uint32_t kFileFlagNoBuffering = 0x20000000u;
inline constexpr uint32_t kFileFlagBackupSemantics = 0x02000000u;

inline constexpr int32_t kCsidlRecent = 8;
inline constexpr int32_t kCsidlFonts = 20;
inline constexpr int32_t kCsidlLocalAppData = 0x1c;
inline constexpr uint32_t kShgfpTypeCurrent = 0;
inline constexpr uint32_t kShgfpTypeDefault = 1;
inline constexpr uint32_t kMaxPath = 260;

// One entry of a folder listing, as WIN32_FIND_DATAW carries it.
struct FolderEntry {
  std::u16string fileName;
  // cAlternateFileName: the short 8.3 name, empty when the volume keeps
  // none or the long name is already one.
  std::u16string alternateFileName;
  uint32_t attributes = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual uint32_t GetFileAttributesW(const char16_t* path) = 0;
  virtual bool PathFileExistsW(const char16_t* path) = 0;
  // CreateFileW with OPEN_EXISTING, then CloseHandle: true when a handle came
  // back; otherwise false with GetLastError's code in `*error` (when given).
  virtual bool OpenExistingFile(const char16_t* path, uint32_t access,
                                uint32_t share, uint32_t flags,
                                uint32_t* error) = 0;
  // PathStripToRootW: cuts `path` in place to its root; false when there is
  // no root (a relative name, which is left empty).
  virtual bool PathStripToRootW(char16_t* path) = 0;
  virtual uint32_t GetDriveTypeW(const char16_t* root) = 0;
  // ExpandEnvironmentStringsW: the characters needed including the
  // terminator; the output is only valid when that fits `dstChars`. 0 on
  // failure.
  virtual uint32_t ExpandEnvironmentStringsW(const char16_t* src,
                                             char16_t* dst,
                                             uint32_t dstChars) = 0;
  // GetWindowsDirectoryW: the length without terminator, or the size needed
  // (with terminator) when the buffer is too small; 0 on failure.
  virtual uint32_t GetWindowsDirectoryW(char16_t* buffer, uint32_t chars) = 0;
  // GetSystemWow64DirectoryW: the 32-bit system folder (SysWOW64) as the
  // Windows folder call answers; 0 where there is none (a 32-bit system).
  virtual uint32_t GetSystemWow64DirectoryW(char16_t* buffer,
                                            uint32_t chars) = 0;
  // GetModuleFileNameW for the running executable: the length copied; a
  // path that does not fit is cut and terminated, returning `chars`.
  virtual uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t chars) = 0;
  // PathParseIconLocationW: removes ",index" in place and returns the index.
  virtual int32_t PathParseIconLocationW(char16_t* iconFile) = 0;
  // SHGetFolderPathW: fills `path` (kMaxPath characters); an HRESULT.
  virtual int32_t SHGetFolderPathW(int32_t csidl, uint32_t flags,
                                   char16_t* path) = 0;
  // Loads a shell link (.lnk) and reads its target with GetPath into
  // `target` (`chars` characters); as GetPath does, a link without a
  // file-system path may leave `target` untouched. 0 when the link loaded
  // (whatever GetPath answered), -1 when the link object cannot be created
  // or queried or the file cannot be loaded as a link.
  virtual int32_t LoadShellLinkTarget(const char16_t* linkPath,
                                      char16_t* target, uint32_t chars) = 0;

  // GetCurrentDirectoryW: the length without terminator, or the size
  // needed (with terminator) when the buffer is too small; 0 on failure. A
  // layer without a current folder answers 0, so relative names are always
  // asked for as they stand.
  virtual uint32_t GetCurrentDirectoryW(uint32_t chars, char16_t* buffer) {
    (void)chars;
    (void)buffer;
    return 0;
  }
  // FindFirstFileExW on "folder\\*" (FindExInfoStandard, with short names),
  // FindNextFileW to the end, FindClose: every entry except "." and "..".
  // 0 when the whole folder was listed, otherwise the Win32 error of the
  // call that failed (a listing cut short is no listing). A layer that
  // cannot list answers ERROR_NOT_SUPPORTED, so its names are always asked
  // for one by one.
  virtual uint32_t ListFolder(const char16_t* folder,
                              std::vector<FolderEntry>& entries) {
    (void)folder;
    entries.clear();
    return kErrorNotSupported;
  }

  // Whole-file byte access for the program's own small text files.
  virtual bool ReadFileBytes(const char16_t* path,
                             std::vector<uint8_t>& bytes) = 0;
  virtual bool WriteFileBytes(const char16_t* path,
                              const std::vector<uint8_t>& bytes,
                              bool append) = 0;

  // DeleteFileW: true when the file was deleted.
  virtual bool DeleteFileW(const char16_t* path) = 0;
  // CreateDirectoryW without security attributes: creates one folder whose
  // parent exists; false when it exists already or cannot be made.
  virtual bool CreateDirectoryW(const char16_t* path) = 0;

  // Handles for a file written record by record (the undo file). Each is
  // opened for writing while others may only read, so no other writer and
  // no deletion can touch it until CloseFile. A layer without handles
  // answers "cannot" to every call, and such files cannot be written.

  // CreateFileW with CREATE_NEW (GENERIC_WRITE, FILE_SHARE_READ): a handle
  // to a new empty file, or 0 with `error` set to the Win32 error;
  // ERROR_FILE_EXISTS when the name is taken, by any process.
  virtual uintptr_t CreateNewFile(const char16_t* path, uint32_t& error) {
    (void)path;
    error = kErrorNotSupported;
    return 0;
  }
  // CreateFileW with OPEN_EXISTING (GENERIC_WRITE, FILE_SHARE_READ), then
  // SetFilePointerEx to the end: a handle whose writes append, or 0 when
  // the file is not there or cannot be opened so. Never creates a file.
  virtual uintptr_t OpenFileForAppend(const char16_t* path) {
    (void)path;
    return 0;
  }
  // WriteFile at the file pointer, which it moves past what was written.
  // On a full disk it may write part and fail: `written` tells how much.
  virtual bool WriteFile(uintptr_t file, const uint8_t* data, uint32_t bytes,
                         uint32_t& written) {
    (void)file;
    (void)data;
    (void)bytes;
    written = 0;
    return false;
  }
  // SetFilePointerEx with FILE_BEGIN, FILE_CURRENT or FILE_END.
  virtual bool SetFilePointerEx(uintptr_t file, int64_t distance,
                                uint64_t* newPointer, uint32_t moveMethod) {
    (void)file;
    (void)distance;
    (void)newPointer;
    (void)moveMethod;
    return false;
  }
  // SetEndOfFile: the file ends at its file pointer.
  virtual bool SetEndOfFile(uintptr_t file) {
    (void)file;
    return false;
  }
  // CloseHandle of a handle from CreateNewFile or OpenFileForAppend.
  virtual void CloseFile(uintptr_t file) { (void)file; }

  // CreateFileW with CREATE_NEW (GENERIC_WRITE, FILE_SHARE_READ) and the
  // given security attributes (null: none, as CreateNewFile): a handle for
  // WriteFile and CloseFile, or 0 with `error` set. A layer that cannot
  // apply security answers ERROR_NOT_SUPPORTED and creates nothing.
  virtual uintptr_t CreateNewFileWithSecurity(
      const char16_t* path, const SecurityAttributes* security,
      uint32_t& error) {
    (void)path;
    (void)security;
    error = kErrorNotSupported;
    return 0;
  }
};

}  // namespace tavik
