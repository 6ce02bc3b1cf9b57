// tavik-scenario-files.exe LIST: creates the files of a scan scenario that
// need the Windows shell, inside the Wine prefix it runs in. LIST is a UTF-8
// file of lines in the scenario's files.txt form:
//   PATH              an empty file (a PATH ending in "\" is a folder)
//   PATH -> TARGET    a shell link to TARGET, saved by the shell's own link
//                     object (TARGET need not exist)
//   PATH ->           a shell link without a file-system path
// "<Recent>" at the start of a PATH or TARGET stands for the current user's
// Recent folder, as the shell reports it. Blank lines and lines starting
// with "#" are skipped. Exits with 0 when every line was made.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr wchar_t kRecentToken[] = L"<Recent>";
constexpr wchar_t kLinkArrow[] = L" ->";

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int chars = ::MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                          static_cast<int>(text.size()),
                                          nullptr, 0);
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        wide.data(), chars);
  return wide;
}

std::wstring Trim(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return {};
  const size_t last = text.find_last_not_of(L" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::wstring WithRecent(const std::wstring& path, const std::wstring& recent) {
  const size_t token = wcslen(kRecentToken);
  if (path.compare(0, token, kRecentToken) == 0) {
    return recent + path.substr(token);
  }
  return path;
}

bool MakeFolder(const std::wstring& folder) {
  const int result = ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS ||
         result == ERROR_FILE_EXISTS;
}

bool MakeParent(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos || slash < 3 ||
         MakeFolder(path.substr(0, slash));
}

bool MakeEmptyFile(const std::wstring& path) {
  if (!MakeParent(path)) return false;
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

bool SaveLink(const std::wstring& path, const std::wstring& target) {
  if (!MakeParent(path)) return false;
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return false;
  }
  bool saved = false;
  // SetPath answers S_FALSE for a target that does not exist, and still
  // stores it.
  if (target.empty() || SUCCEEDED(link->SetPath(target.c_str()))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile,
                                       reinterpret_cast<void**>(&file)))) {
      saved = SUCCEEDED(file->Save(path.c_str(), TRUE));
      file->Release();
    }
  }
  link->Release();
  return saved;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: tavik-scenario-files LIST\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fputs("cannot read the list\n", stderr);
    return 2;
  }
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  wchar_t recent[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_RECENT | CSIDL_FLAG_CREATE,
                                nullptr, SHGFP_TYPE_CURRENT, recent))) {
    std::fputs("no Recent folder\n", stderr);
    return 1;
  }
  int failures = 0;
  std::string raw;
  while (std::getline(in, raw)) {
    const std::wstring line = Trim(FromUtf8(raw));
    if (line.empty() || line[0] == L'#') continue;
    const size_t arrow = line.find(kLinkArrow);
    bool made = false;
    if (arrow != std::wstring::npos) {
      const std::wstring path = WithRecent(Trim(line.substr(0, arrow)), recent);
      const std::wstring target =
          WithRecent(Trim(line.substr(arrow + wcslen(kLinkArrow))), recent);
      made = SaveLink(path, target);
    } else {
      const std::wstring path = WithRecent(line, recent);
      made = path.back() == L'\\' ? MakeFolder(path.substr(0, path.size() - 1))
                                  : MakeEmptyFile(path);
    }
    if (!made) {
      std::fprintf(stderr, "could not make: %s\n", raw.c_str());
      ++failures;
    }
  }
  ::CoUninitialize();
  return failures == 0 ? 0 : 1;
}
