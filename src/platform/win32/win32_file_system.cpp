#include "platform/win32/win32_file_system.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <string_view>

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_security.h"
#include "platform/win32/win32_text.h"

namespace tavik {

namespace {

// GetPath flag: prefer the UNC form of a target on a network share.
constexpr DWORD kGetPathUncPriority = 2;  // SLGP_UNCPRIORITY

// Reads whole files of the program's own texts; larger files are not ours.
constexpr LONGLONG kMaxReadBytes = 64LL * 1024 * 1024;

// The seam carries file handles as integers; 0 is never a valid one.
HANDLE AsHandle(uintptr_t file) { return reinterpret_cast<HANDLE>(file); }

uintptr_t FromHandle(HANDLE file) {
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<uintptr_t>(file);
}

}  // namespace

uint32_t Win32FileSystem::GetFileAttributesW(const char16_t* path) {
  return ::GetFileAttributesW(AsWide(path));
}

bool Win32FileSystem::PathFileExistsW(const char16_t* path) {
  return ::PathFileExistsW(AsWide(path)) != FALSE;
}

bool Win32FileSystem::OpenExistingFile(const char16_t* path, uint32_t access,
                                       uint32_t share, uint32_t flags,
                                       uint32_t* error) {
  const FileHandle file(::CreateFileW(AsWide(path), access, share, nullptr,
                                      OPEN_EXISTING, flags, nullptr));
  if (!file.valid() && error != nullptr) *error = ::GetLastError();
  return file.valid();
}

bool Win32FileSystem::PathStripToRootW(char16_t* path) {
  return ::PathStripToRootW(AsWide(path)) != FALSE;
}

uint32_t Win32FileSystem::GetDriveTypeW(const char16_t* root) {
  return ::GetDriveTypeW(AsWide(root));
}

uint32_t Win32FileSystem::ExpandEnvironmentStringsW(const char16_t* src,
                                                    char16_t* dst,
                                                    uint32_t dstChars) {
  return ::ExpandEnvironmentStringsW(AsWide(src), AsWide(dst), dstChars);
}

uint32_t Win32FileSystem::GetWindowsDirectoryW(char16_t* buffer,
                                               uint32_t chars) {
  return ::GetWindowsDirectoryW(AsWide(buffer), chars);
}

uint32_t Win32FileSystem::GetSystemWow64DirectoryW(char16_t* buffer,
                                                   uint32_t chars) {
  return ::GetSystemWow64DirectoryW(AsWide(buffer), chars);
}

uint32_t Win32FileSystem::GetModuleFileNameW(char16_t* buffer,
                                             uint32_t chars) {
  return ::GetModuleFileNameW(nullptr, AsWide(buffer), chars);
}

int32_t Win32FileSystem::PathParseIconLocationW(char16_t* iconFile) {
  return ::PathParseIconLocationW(AsWide(iconFile));
}

uint32_t Win32FileSystem::GetCurrentDirectoryW(uint32_t chars,
                                               char16_t* buffer) {
  return ::GetCurrentDirectoryW(chars, AsWide(buffer));
}

uint32_t Win32FileSystem::ListFolder(const char16_t* folder,
                                     std::vector<FolderEntry>& entries) {
  entries.clear();
  std::wstring pattern(AsWide(folder));
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data{};
  const HANDLE find =
      ::FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data,
                         FindExSearchNameMatch, nullptr,
                         FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return ::GetLastError();
  DWORD error = ERROR_SUCCESS;
  do {
    const std::wstring_view name(data.cFileName);
    if (name == L"." || name == L"..") continue;
    entries.push_back(FolderEntry{
        std::u16string(reinterpret_cast<const char16_t*>(data.cFileName)),
        std::u16string(
            reinterpret_cast<const char16_t*>(data.cAlternateFileName)),
        data.dwFileAttributes});
  } while (::FindNextFileW(find, &data));
  error = ::GetLastError();
  ::FindClose(find);
  if (error != ERROR_NO_MORE_FILES) {
    entries.clear();
    return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
  }
  return ERROR_SUCCESS;
}

int32_t Win32FileSystem::SHGetFolderPathW(int32_t csidl, uint32_t flags,
                                          char16_t* path) {
  return ::SHGetFolderPathW(nullptr, csidl, nullptr, flags, AsWide(path));
}

int32_t Win32FileSystem::LoadShellLinkTarget(const char16_t* linkPath,
                                             char16_t* target,
                                             uint32_t chars) {
  ComRef<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr,
                                CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.out()))) {
    return -1;
  }
  ComRef<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.out()))) return -1;
  if (FAILED(file->Load(AsWide(linkPath), STGM_READ))) return -1;
  WIN32_FIND_DATAW findData{};
  // The link has loaded; GetPath's result (S_FALSE for a link without a
  // file-system path, which may leave the buffer untouched) is not needed.
  link->GetPath(AsWide(target), static_cast<int>(chars), &findData,
                kGetPathUncPriority);
  return 0;
}

bool Win32FileSystem::ReadFileBytes(const char16_t* path,
                                    std::vector<uint8_t>& bytes) {
  const FileHandle file(::CreateFileW(AsWide(path), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxReadBytes) {
    return false;
  }
  bytes.assign(static_cast<size_t>(size.QuadPart), 0);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + done,
                    static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
      return false;
    }
    if (read == 0) break;
    done += read;
  }
  bytes.resize(done);
  return true;
}

bool Win32FileSystem::WriteFileBytes(const char16_t* path,
                                     const std::vector<uint8_t>& bytes,
                                     bool append) {
  const FileHandle file(::CreateFileW(
      AsWide(path), append ? FILE_APPEND_DATA : GENERIC_WRITE,
      FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done,
                     static_cast<DWORD>(bytes.size() - done), &written,
                     nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool Win32FileSystem::DeleteFileW(const char16_t* path) {
  return ::DeleteFileW(AsWide(path)) != FALSE;
}

bool Win32FileSystem::CreateDirectoryW(const char16_t* path) {
  return ::CreateDirectoryW(AsWide(path), nullptr) != FALSE;
}

uintptr_t Win32FileSystem::CreateNewFile(const char16_t* path,
                                         uint32_t& error) {
  return CreateNewFileWithSecurity(path, nullptr, error);
}

uintptr_t Win32FileSystem::OpenFileForAppend(const char16_t* path) {
  // GENERIC_WRITE rather than FILE_APPEND_DATA alone, so that SetEndOfFile
  // can cut the file; the pointer is then moved to the end once.
  const HANDLE file =
      ::CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  const LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(file, zero, nullptr, FILE_END)) {
    ::CloseHandle(file);
    return 0;
  }
  return FromHandle(file);
}

bool Win32FileSystem::WriteFile(uintptr_t file, const uint8_t* data,
                                uint32_t bytes, uint32_t& written) {
  DWORD done = 0;
  const BOOL ok = ::WriteFile(AsHandle(file), data, bytes, &done, nullptr);
  written = done;
  return ok != FALSE;
}

bool Win32FileSystem::SetFilePointerEx(uintptr_t file, int64_t distance,
                                       uint64_t* newPointer,
                                       uint32_t moveMethod) {
  LARGE_INTEGER move{};
  move.QuadPart = distance;
  LARGE_INTEGER moved{};
  if (!::SetFilePointerEx(AsHandle(file), move, &moved, moveMethod)) {
    return false;
  }
  if (newPointer != nullptr) *newPointer = static_cast<uint64_t>(moved.QuadPart);
  return true;
}

bool Win32FileSystem::SetEndOfFile(uintptr_t file) {
  return ::SetEndOfFile(AsHandle(file)) != FALSE;
}

void Win32FileSystem::CloseFile(uintptr_t file) {
  if (file != 0) ::CloseHandle(AsHandle(file));
}

uintptr_t Win32FileSystem::CreateNewFileWithSecurity(
    const char16_t* path, const SecurityAttributes* security,
    uint32_t& error) {
  Win32SecurityAttributes attributes(security);
  if (attributes.error() != ERROR_SUCCESS) {
    error = attributes.error();
    return 0;
  }
  // No FILE_SHARE_WRITE or FILE_SHARE_DELETE: while the handle is open no
  // one else writes to, renames or deletes the file.
  const HANDLE file =
      ::CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ,
                    attributes.get(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
  error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
  return FromHandle(file);
}

}  // namespace tavik
