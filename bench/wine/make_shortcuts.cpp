// tavik-bench-shortcuts: creates the shell links listed in a UTF-8 file of
// "link path<TAB>target" lines through the shell link object, so that the
// recent-documents scan of the Wine benchmark resolves them as it would real
// ones. Prints the number of links written.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::wstring Wide(const std::string& utf8) {
  const int chars = MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                        static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), chars);
  return wide;
}

bool WriteLink(const std::wstring& link, const std::wstring& target) {
  IShellLinkW* shellLink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IShellLinkW,
                              reinterpret_cast<void**>(&shellLink)))) {
    return false;
  }
  bool written = false;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(shellLink->SetPath(target.c_str())) &&
      SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile,
                                          reinterpret_cast<void**>(&file)))) {
    written = SUCCEEDED(file->Save(link.c_str(), TRUE));
    file->Release();
  }
  shellLink->Release();
  return written;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tavik-bench-shortcuts LIST\n");
    return 2;
  }
  std::ifstream list(argv[1], std::ios::binary);
  if (!list) {
    std::fprintf(stderr, "tavik-bench-shortcuts: cannot read the list\n");
    return 1;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  long written = 0;
  long failed = 0;
  for (std::string line; std::getline(list, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    if (WriteLink(Wide(line.substr(0, tab)), Wide(line.substr(tab + 1)))) {
      ++written;
    } else {
      ++failed;
    }
  }
  CoUninitialize();
  std::printf("links=%ld failed=%ld\n", written, failed);
  return failed == 0 ? 0 : 1;
}
