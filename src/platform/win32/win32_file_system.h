// The file-system and shell seam over kernel32, shlwapi, shell32 and ole32.
#pragma once

#include "platform/file_system.h"

namespace tavik {

class Win32FileSystem final : public FileSystem {
 public:
  uint32_t GetFileAttributesW(const char16_t* path) override;
  bool PathFileExistsW(const char16_t* path) override;
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
  // Needs a COM apartment on the calling thread, which the scan joins before
  // the scanners that read shell links run.
  int32_t LoadShellLinkTarget(const char16_t* linkPath, char16_t* target,
                              uint32_t chars) override;
  uint32_t GetCurrentDirectoryW(uint32_t chars, char16_t* buffer) override;
  uint32_t ListFolder(const char16_t* folder,
                      std::vector<FolderEntry>& entries) override;
  bool ReadFileBytes(const char16_t* path,
                     std::vector<uint8_t>& bytes) override;
  bool WriteFileBytes(const char16_t* path, const std::vector<uint8_t>& bytes,
                      bool append) override;
  bool DeleteFileW(const char16_t* path) override;
  bool CreateDirectoryW(const char16_t* path) override;
  uintptr_t CreateNewFile(const char16_t* path, uint32_t& error) override;
  uintptr_t OpenFileForAppend(const char16_t* path) override;
  bool WriteFile(uintptr_t file, const uint8_t* data, uint32_t bytes,
                 uint32_t& written) override;
  bool SetFilePointerEx(uintptr_t file, int64_t distance, uint64_t* newPointer,
                        uint32_t moveMethod) override;
  bool SetEndOfFile(uintptr_t file) override;
  void CloseFile(uintptr_t file) override;
  uintptr_t CreateNewFileWithSecurity(const char16_t* path,
                                      const SecurityAttributes* security,
                                      uint32_t& error) override;
};

}  // namespace tavik
