// A FileSystem that passes every call to another one and counts the calls
// that reach the disk on Windows: the existence tests, drive types and
// folder listings, and the environment expansions, one per judged text.
#pragma once

#include <cstdint>

#include "platform/file_system.h"

namespace tavik::bench {

class CountingFileSystem final : public FileSystem {
 public:
  explicit CountingFileSystem(FileSystem& inner) : inner_(inner) {}

  struct Counts {
    uint64_t attributes = 0;  // GetFileAttributesW and PathFileExistsW
    uint64_t opens = 0;       // OpenExistingFile
    uint64_t driveTypes = 0;  // GetDriveTypeW
    uint64_t listings = 0;    // ListFolder
    uint64_t expansions = 0;  // ExpandEnvironmentStringsW: judged texts
    uint64_t FileCalls() const {
      return attributes + opens + driveTypes + listings;
    }
  };
  const Counts& counts() const { return counts_; }
  void Reset() { counts_ = {}; }

  uint32_t GetFileAttributesW(const char16_t* path) override {
    ++counts_.attributes;
    return inner_.GetFileAttributesW(path);
  }
  bool PathFileExistsW(const char16_t* path) override {
    ++counts_.attributes;
    return inner_.PathFileExistsW(path);
  }
  bool OpenExistingFile(const char16_t* path, uint32_t access, uint32_t share,
                        uint32_t flags, uint32_t* error) override {
    ++counts_.opens;
    return inner_.OpenExistingFile(path, access, share, flags, error);
  }
  bool PathStripToRootW(char16_t* path) override {
    return inner_.PathStripToRootW(path);
  }
  uint32_t GetDriveTypeW(const char16_t* root) override {
    ++counts_.driveTypes;
    return inner_.GetDriveTypeW(root);
  }
  uint32_t ExpandEnvironmentStringsW(const char16_t* src, char16_t* dst,
                                     uint32_t dstChars) override {
    ++counts_.expansions;
    return inner_.ExpandEnvironmentStringsW(src, dst, dstChars);
  }
  uint32_t GetWindowsDirectoryW(char16_t* buffer, uint32_t chars) override {
    return inner_.GetWindowsDirectoryW(buffer, chars);
  }
  uint32_t GetSystemWow64DirectoryW(char16_t* buffer, uint32_t chars) override {
    return inner_.GetSystemWow64DirectoryW(buffer, chars);
  }
  uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t chars) override {
    return inner_.GetModuleFileNameW(buffer, chars);
  }
  int32_t PathParseIconLocationW(char16_t* iconFile) override {
    return inner_.PathParseIconLocationW(iconFile);
  }
  int32_t SHGetFolderPathW(int32_t csidl, uint32_t flags,
                           char16_t* path) override {
    return inner_.SHGetFolderPathW(csidl, flags, path);
  }
  int32_t LoadShellLinkTarget(const char16_t* linkPath, char16_t* target,
                              uint32_t chars) override {
    return inner_.LoadShellLinkTarget(linkPath, target, chars);
  }
  uint32_t GetCurrentDirectoryW(uint32_t chars, char16_t* buffer) override {
    return inner_.GetCurrentDirectoryW(chars, buffer);
  }
  uint32_t ListFolder(const char16_t* folder,
                      std::vector<FolderEntry>& entries) override {
    ++counts_.listings;
    return inner_.ListFolder(folder, entries);
  }
  bool ReadFileBytes(const char16_t* path,
                     std::vector<uint8_t>& bytes) override {
    return inner_.ReadFileBytes(path, bytes);
  }
  bool WriteFileBytes(const char16_t* path, const std::vector<uint8_t>& bytes,
                      bool append) override {
    return inner_.WriteFileBytes(path, bytes, append);
  }
  bool DeleteFileW(const char16_t* path) override {
    return inner_.DeleteFileW(path);
  }
  bool CreateDirectoryW(const char16_t* path) override {
    return inner_.CreateDirectoryW(path);
  }
  uintptr_t OpenFileForAppend(const char16_t* path) override {
    return inner_.OpenFileForAppend(path);
  }
  uintptr_t CreateNewFile(const char16_t* path, uint32_t& error) override {
    return inner_.CreateNewFile(path, error);
  }
  uintptr_t CreateNewFileWithSecurity(const char16_t* path,
                                      const SecurityAttributes* security,
                                      uint32_t& error) override {
    return inner_.CreateNewFileWithSecurity(path, security, error);
  }
  bool WriteFile(uintptr_t file, const uint8_t* data, uint32_t bytes,
                 uint32_t& written) override {
    return inner_.WriteFile(file, data, bytes, written);
  }
  bool SetFilePointerEx(uintptr_t file, int64_t distance, uint64_t* newPointer,
                        uint32_t moveMethod) override {
    return inner_.SetFilePointerEx(file, distance, newPointer, moveMethod);
  }
  bool SetEndOfFile(uintptr_t file) override {
    return inner_.SetEndOfFile(file);
  }
  void CloseFile(uintptr_t file) override { inner_.CloseFile(file); }

 private:
  FileSystem& inner_;
  Counts counts_;
};

}  // namespace tavik::bench
