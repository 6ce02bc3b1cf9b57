// autofix-controller: drives Tavik Registry Cleaner through its automation
// link, for tests and integrators. It creates the shared section and the
// mutex (admitting only Administrators and SYSTEM, and refusing names that
// already exist), starts the program with the given arguments and then
// reads commands, one per line, from standard input:
//
//   scan | fix | show        set that request
//   stop | clear-stop        set or clear the stop request
//   wait-for-status MS       wait up to MS ms for a status; print it, clear
//                            statusReady ("status: TEXT" or "timeout")
//   window                   print the window's visibility (waiting up to
//                            15 s for it to exist), the enabled state
//                            of its buttons, the backup box, whether the
//                            banner strip is shown, how many visible
//                            windows the program has, the Stop caption
//                            and the number of result rows
//   watch-ui MS              wait up to MS ms for a status as above while
//                            pinging the window every 10 ms; print the
//                            longest time the window took to answer
//                            and the time until the status
//                            ("ui: longest-stall-ms=N pings=N elapsed-ms=N")
//   rows [FILE]              print the results list's rows ("row ..." lines
//                            as --inspect prints them), or write their four
//                            cells, tab-separated, as UTF-8 lines to FILE
//   run COMMAND LINE         run a program and wait up to 10 minutes for it
//                            ("ran CODE"), e.g. to copy the registry while
//                            the window holds its rows
//   sleep MS                 pause
//   abandon                  take the mutex and end this controller at once
//                            without releasing it ("abandoned")
//   exit                     set the exit request and wait up to 15 s for
//                            the program to end ("exited CODE")
//
// A wait for the mutex that lasts over 10 s ends the controller with code 1
// ("mutex: not released ...").
//
//   autofix-controller --attach PID < commands
//
// drives a program already running (whose controller has gone) through the
// objects it holds open, and
//
//   autofix-controller --owner SID PROGRAM ARGUMENT... < commands
//
// creates the objects owned by SID (in SDDL, e.g. BU for Users) instead of
// Administrators, as a process squatting on the names would.
//
// For tests that drive the window with the mouse, it also lists windows:
//
//   autofix-controller --inspect TITLE
//
// prints, for each visible top-level window captioned TITLE, a line
// "window HWND LEFT TOP WIDTH HEIGHT" (screen pixels), then one line per
// child control: "control ID LEFT TOP WIDTH HEIGHT ENABLED CHECKED TEXT";
// after a list view, one line per row: "row INDEX LEFT TOP WIDTH HEIGHT
// CHECKED SELECTED" and the four cell texts separated by tabs, then "tip
// TEXT" while the list shows a row's tip.
//
//   autofix-controller --redraw TITLE
//
// repaints the first window captioned TITLE whole (for screenshots), and
//
//   autofix-controller --syscommand TITLE ID
//
// picks the item ID of that window's system menu.
//
// Exit code: 0 when every command succeeded, 1 when a wait timed out or a
// command failed, 2 for a usage error.
#include <windows.h>
#include <commctrl.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

constexpr wchar_t kSectionName[] = L"Global\\TavikAutoFixSharedMem";
constexpr wchar_t kMutexName[] = L"Global\\TavikAutoFixMutex";
constexpr DWORD kSectionBytes = 2368;
constexpr size_t kStatusReady = 0, kExitRequest = 4, kStopRequest = 8;
constexpr size_t kStatusText = 212, kStatusUnits = 1024;
constexpr size_t kScanRequest = 2320, kFixRequest = 2324, kShowRequest = 2328;

struct Link {
  HANDLE section = nullptr;
  HANDLE mutex = nullptr;
  uint8_t* view = nullptr;
  PROCESS_INFORMATION process{};
};

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                          static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        out.data(), bytes, nullptr, nullptr);
  return out;
}

void Print(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

uint32_t Field(const Link& link, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, link.view + offset, sizeof(value));
  return value;
}

void SetField(Link& link, size_t offset, uint32_t value) {
  std::memcpy(link.view + offset, &value, sizeof(value));
}

// The program holds the mutex for at most a second at a time; one held
// longer means the link is wedged, and waiting on would hang the caller.
constexpr DWORD kLockWaitMs = 10000;

// Every access to the section happens with the mutex held. An abandoned
// mutex (its last owner died) is ours all the same.
class Locked {
 public:
  explicit Locked(const Link& link) : mutex_(link.mutex) {
    const DWORD wait = ::WaitForSingleObject(mutex_, kLockWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
      Print("mutex: not released within " + std::to_string(kLockWaitMs) + " ms");
      ::ExitProcess(1);
    }
  }
  ~Locked() { ::ReleaseMutex(mutex_); }

 private:
  HANDLE mutex_;
};

// Owned by Administrators (the program obeys no other owner but SYSTEM and
// its own user; only an elevated controller may name that owner), and only
// Administrators and SYSTEM may open the objects: whoever can write the
// section can start fixes in an elevated program.
// Tests name another owner (--owner) to play a squatter.
constexpr wchar_t kLinkDacl[] = L"D:P(A;;GA;;;BA)(A;;GA;;;SY)";

// Creates both objects new. A name that already exists belongs to someone
// else (another controller, or a process squatting on it), so the link is
// refused rather than shared.
bool CreateLink(Link& link, const std::wstring& owner) {
  const std::wstring security = L"O:" + owner + kLinkDacl;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          security.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  link.section = ::CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes,
                                      PAGE_READWRITE, 0, kSectionBytes,
                                      kSectionName);
  const bool sectionExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;
  link.mutex = ::CreateMutexW(&attributes, FALSE, kMutexName);
  const bool mutexExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;
  ::LocalFree(descriptor);
  if (link.section == nullptr || link.mutex == nullptr) return false;
  if (sectionExisted || mutexExisted) {
    std::fputs("autofix-controller: the section or the mutex already exists\n",
               stderr);
    return false;
  }
  link.view = static_cast<uint8_t*>(
      ::MapViewOfFile(link.section, FILE_MAP_ALL_ACCESS, 0, 0, kSectionBytes));
  if (link.view == nullptr) return false;
  Locked lock(link);
  std::memset(link.view, 0, kSectionBytes);
  return true;
}

// Takes over the link of a program already running (its previous controller
// gone): opens the objects it holds and the process itself.
bool AttachLink(Link& link, DWORD processId) {
  link.section = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kSectionName);
  link.mutex = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kMutexName);
  link.process.dwProcessId = processId;
  link.process.hProcess = ::OpenProcess(
      SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (link.section == nullptr || link.mutex == nullptr ||
      link.process.hProcess == nullptr) {
    return false;
  }
  link.view = static_cast<uint8_t*>(
      ::MapViewOfFile(link.section, FILE_MAP_ALL_ACCESS, 0, 0, kSectionBytes));
  return link.view != nullptr;
}

bool StartProgram(Link& link, int argc, wchar_t** argv) {
  std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
  for (int i = 2; i < argc; ++i) commandLine += L" \"" + std::wstring(argv[i]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  return ::CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE,
                          0, nullptr, nullptr, &startup, &link.process) != 0;
}

bool WaitForStatus(Link& link, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    {
      Locked lock(link);
      if (Field(link, kStatusReady) == 1) {
        std::wstring text;
        for (size_t i = 0; i < kStatusUnits; ++i) {
          wchar_t unit = 0;
          std::memcpy(&unit, link.view + kStatusText + 2 * i, sizeof(unit));
          if (unit == 0) break;
          text.push_back(unit);
        }
        SetField(link, kStatusReady, 0);
        Print("status: " + ToUtf8(text));
        return true;
      }
    }
    if (::GetTickCount64() >= deadline) {
      Print("timeout");
      return false;
    }
    ::Sleep(50);
  }
}

struct FoundWindow {
  DWORD processId;
  HWND window;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM parameter) {
  auto* found = reinterpret_cast<FoundWindow*>(parameter);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  wchar_t title[64] = {};
  ::GetWindowTextW(window, title, 64);
  // The main window, not a message box of the same caption: it holds the
  // results list.
  if (processId == found->processId &&
      std::wcscmp(title, L"Tavik Registry Cleaner") == 0 &&
      ::GetDlgItem(window, 1002) != nullptr) {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindMainWindow(const Link& link);

struct WindowCount {
  DWORD processId;
  int count;
};

BOOL CALLBACK CountVisibleWindow(HWND window, LPARAM parameter) {
  auto* counted = reinterpret_cast<WindowCount*>(parameter);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  if (processId == counted->processId && ::IsWindowVisible(window)) ++counted->count;
  return TRUE;
}

// The program's visible top-level windows: the main window alone unless a
// dialog or message box is up.
int VisibleWindowsOf(DWORD processId) {
  WindowCount counted{processId, 0};
  ::EnumWindows(CountVisibleWindow, reinterpret_cast<LPARAM>(&counted));
  return counted.count;
}

bool PrintWindowState(const Link& link) {
  // The window may still be starting (the link is opened during its
  // initialisation): look for it for up to 15 s.
  FoundWindow found{link.process.dwProcessId, FindMainWindow(link)};
  if (found.window == nullptr) {
    Print("window: none");
    return false;
  }
  auto enabled = [&found](int id) {
    return ::IsWindowEnabled(::GetDlgItem(found.window, id)) ? "1" : "0";
  };
  wchar_t stopText[64] = {};
  ::GetDlgItemTextW(found.window, 1025, stopText, 64);
  const LRESULT rows = ::SendMessageW(::GetDlgItem(found.window, 1002),
                                      LVM_GETITEMCOUNT, 0, 0);
  const LRESULT backup = ::SendDlgItemMessageW(found.window, 1035,
                                               BM_GETCHECK, 0, 0);
  const HWND banner = ::GetDlgItem(found.window, 1032);
  std::ostringstream line;
  line << "window: visible=" << (::IsWindowVisible(found.window) ? 1 : 0)
       << " scan=" << enabled(1022) << " fix=" << enabled(1023)
       << " stop=" << enabled(1025) << " settings=" << enabled(1012)
       << " exclude=" << enabled(1021) << " restore=" << enabled(1034)
       << " backup=" << (backup == BST_CHECKED ? 1 : 0)
       << " banner=" << (banner != nullptr && ::IsWindowVisible(banner) ? 1 : 0)
       << " windows=" << VisibleWindowsOf(link.process.dwProcessId)
       << " stoptext=" << ToUtf8(stopText) << " rows=" << rows;
  Print(line.str());
  return true;
}

HWND FindMainWindow(const Link& link) {
  FoundWindow found{link.process.dwProcessId, nullptr};
  for (int attempt = 0; attempt < 150 && found.window == nullptr; ++attempt) {
    if (attempt > 0) ::Sleep(100);
    ::EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&found));
  }
  return found.window;
}

// Waits for a status while measuring how long the window's thread takes to
// answer a message: the longest answer is the longest stall of its
// user-interface thread while the run goes on.
bool WatchUserInterface(Link& link, DWORD timeoutMs) {
  const HWND window = FindMainWindow(link);
  if (window == nullptr) {
    Print("window: none");
    return false;
  }
  LARGE_INTEGER frequency{}, before{}, after{};
  ::QueryPerformanceFrequency(&frequency);
  double longestMs = 0;
  long pings = 0;
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    ::QueryPerformanceCounter(&before);
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer);
    ::QueryPerformanceCounter(&after);
    ++pings;
    const double ms = 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                      static_cast<double>(frequency.QuadPart);
    if (ms > longestMs) longestMs = ms;
    {
      Locked lock(link);
      if (Field(link, kStatusReady) == 1) break;
    }
    if (::GetTickCount64() >= deadline) break;
    ::Sleep(10);
  }
  std::ostringstream line;
  line.setf(std::ios::fixed);
  line.precision(1);
  const double elapsedMs =
      static_cast<double>(::GetTickCount64() - (deadline - timeoutMs));
  line << "ui: longest-stall-ms=" << longestMs << " pings=" << pings
       << " elapsed-ms=" << elapsedMs;
  Print(line.str());
  return WaitForStatus(link, 0);
}

void PrintListRows(HWND list, std::ostream* cellsOnly = nullptr);

std::wstring ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                          static_cast<int>(text.size()),
                                          nullptr, 0);
  std::wstring out(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        out.data(), units);
  return out;
}

// Runs a command line to its end, its output going to ours.
bool RunProgram(const std::string& commandLine) {
  std::wstring line = ToWide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &process)) {
    Print("ran none");
    return false;
  }
  ::CloseHandle(process.hThread);
  DWORD code = 1;
  if (::WaitForSingleObject(process.hProcess, 600000) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process.hProcess, &code);
  }
  ::CloseHandle(process.hProcess);
  Print("ran " + std::to_string(code));
  return code == 0;
}

bool RunCommand(Link& link, const std::string& line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  // What follows the command word: a number, a file or a command line.
  const size_t restAt = line.find_first_not_of(' ', line.find(command) + command.size());
  const std::string rest = restAt == std::string::npos ? std::string() : line.substr(restAt);
  unsigned long number = 0;
  words >> number;
  auto request = [&link](size_t offset, uint32_t value) {
    Locked lock(link);
    SetField(link, offset, value);
    return true;
  };
  if (command.empty() || command[0] == '#') return true;
  if (command == "scan") return request(kScanRequest, 1);
  if (command == "fix") return request(kFixRequest, 1);
  if (command == "show") return request(kShowRequest, 1);
  if (command == "stop") return request(kStopRequest, 1);
  if (command == "clear-stop") return request(kStopRequest, 0);
  if (command == "wait-for-status") return WaitForStatus(link, number);
  if (command == "window") return PrintWindowState(link);
  if (command == "watch-ui") return WatchUserInterface(link, number);
  if (command == "rows") {
    const HWND window = FindMainWindow(link);
    if (window == nullptr) {
      Print("window: none");
      return false;
    }
    if (rest.empty()) {
      PrintListRows(::GetDlgItem(window, 1002));
      return true;
    }
    std::ofstream file(ToWide(rest).c_str(), std::ios::binary);
    PrintListRows(::GetDlgItem(window, 1002), &file);
    file.close();
    return static_cast<bool>(file);
  }
  if (command == "run") return !rest.empty() && RunProgram(rest);
  if (command == "abandon") {
    // Dies holding the mutex, as a controller killed mid-request would.
    ::WaitForSingleObject(link.mutex, kLockWaitMs);
    Print("abandoned");
    ::TerminateProcess(::GetCurrentProcess(), 3);
  }
  if (command == "sleep") {
    ::Sleep(static_cast<DWORD>(number));
    return true;
  }
  if (command == "exit") {
    request(kExitRequest, 1);
    if (::WaitForSingleObject(link.process.hProcess, 15000) != WAIT_OBJECT_0) {
      Print("still running");
      return false;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(link.process.hProcess, &code);
    Print("exited " + std::to_string(code));
    return true;
  }
  Print("unknown command: " + command);
  return false;
}

struct Inspection {
  const wchar_t* title;
  int found;
};

// A visible tooltip with a text, of the process `found->processId`.
BOOL CALLBACK FindShownTip(HWND window, LPARAM parameter) {
  auto* shown = reinterpret_cast<FoundWindow*>(parameter);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  wchar_t className[64] = {};
  ::GetClassNameW(window, className, 64);
  if (processId != shown->processId || !::IsWindowVisible(window) ||
      _wcsicmp(className, TOOLTIPS_CLASSW) != 0 ||
      ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0) == 0) {
    return TRUE;
  }
  shown->window = window;
  return FALSE;
}

// Reads a list view's rows across processes: the item structure and the
// text buffers live in the window's process, as the list view expects.
void PrintListRows(HWND list, std::ostream* cellsOnly) {
  DWORD processId = 0;
  ::GetWindowThreadProcessId(list, &processId);
  const HANDLE process = ::OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
      processId);
  if (process == nullptr) return;
  constexpr size_t kTextChars = 1024;
  const size_t bytes = sizeof(LVITEMW) + sizeof(RECT) + kTextChars * 2;
  auto* remote = static_cast<uint8_t*>(::VirtualAllocEx(
      process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (remote == nullptr) {
    ::CloseHandle(process);
    return;
  }
  auto* remoteItem = reinterpret_cast<LVITEMW*>(remote);
  auto* remoteRect = reinterpret_cast<RECT*>(remote + sizeof(LVITEMW));
  auto* remoteText =
      reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW) + sizeof(RECT));
  auto cell = [&](int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = remoteText;
    item.cchTextMax = static_cast<int>(kTextChars);
    ::WriteProcessMemory(process, remoteItem, &item, sizeof(item), nullptr);
    const auto length = ::SendMessageW(list, LVM_GETITEMTEXTW, row,
                                       reinterpret_cast<LPARAM>(remoteItem));
    std::wstring text(static_cast<size_t>(length), L'\0');
    ::ReadProcessMemory(process, remoteText, text.data(), text.size() * 2,
                        nullptr);
    return text;
  };
  const auto rows = ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (LRESULT row = 0; row < rows; ++row) {
    RECT rect{};
    rect.left = LVIR_LABEL;
    ::WriteProcessMemory(process, remoteRect, &rect, sizeof(rect), nullptr);
    ::SendMessageW(list, LVM_GETITEMRECT, row,
                   reinterpret_cast<LPARAM>(remoteRect));
    ::ReadProcessMemory(process, remoteRect, &rect, sizeof(rect), nullptr);
    ::MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    if (cellsOnly != nullptr) {
      *cellsOnly << ToUtf8(cell(static_cast<int>(row), 0)) << '\t'
                 << ToUtf8(cell(static_cast<int>(row), 1)) << '\t'
                 << ToUtf8(cell(static_cast<int>(row), 2)) << '\t'
                 << ToUtf8(cell(static_cast<int>(row), 3)) << '\n';
      continue;
    }
    const auto state = ::SendMessageW(list, LVM_GETITEMSTATE, row,
                                      LVIS_STATEIMAGEMASK | LVIS_SELECTED);
    std::ostringstream line;
    line << "row " << row << ' ' << rect.left << ' ' << rect.top << ' '
         << rect.right - rect.left << ' ' << rect.bottom - rect.top << ' '
         << (((state & LVIS_STATEIMAGEMASK) >> 12) == 2 ? 1 : 0) << ' '
         << ((state & LVIS_SELECTED) ? 1 : 0) << ' '
         << ToUtf8(cell(static_cast<int>(row), 0)) << '\t'
         << ToUtf8(cell(static_cast<int>(row), 1)) << '\t'
         << ToUtf8(cell(static_cast<int>(row), 2)) << '\t'
         << ToUtf8(cell(static_cast<int>(row), 3));
    Print(line.str());
  }
  ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  ::CloseHandle(process);
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  wchar_t text[512] = {};
  ::GetWindowTextW(control, text, 512);
  const LRESULT checked = ::SendMessageW(control, BM_GETCHECK, 0, 0);
  std::ostringstream line;
  line << "control " << ::GetDlgCtrlID(control) << ' ' << rect.left << ' '
       << rect.top << ' ' << rect.right - rect.left << ' '
       << rect.bottom - rect.top << ' '
       << (::IsWindowEnabled(control) ? 1 : 0) << ' '
       << (checked == BST_CHECKED ? 1 : 0) << ' ' << ToUtf8(text);
  Print(line.str());
  wchar_t className[64] = {};
  ::GetClassNameW(control, className, 64);
  if (std::wcscmp(className, L"SysListView32") == 0) PrintListRows(control);
  return TRUE;
}

// The tip shown while the pointer rests on a row of `window`: its list
// view's own, or another tooltip of the same program. Read before anything
// else is asked of the window.
void PrintShownTip(HWND window) {
  FoundWindow shown{0, nullptr};
  ::GetWindowThreadProcessId(window, &shown.processId);
  const HWND list = ::GetDlgItem(window, 1002);
  shown.window = list == nullptr ? nullptr
                                 : reinterpret_cast<HWND>(::SendMessageW(
                                       list, LVM_GETTOOLTIPS, 0, 0));
  if (shown.window == nullptr || !::IsWindowVisible(shown.window)) {
    shown.window = nullptr;
    ::EnumWindows(FindShownTip, reinterpret_cast<LPARAM>(&shown));
  }
  if (shown.window == nullptr) return;
  // A tooltip's text is its current tip, which only WM_GETTEXT gives: the
  // caption GetWindowTextW reads across processes stays empty.
  wchar_t text[2048] = {};
  ::SendMessageW(shown.window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
  Print("tip " + ToUtf8(text));
}

BOOL CALLBACK InspectWindow(HWND window, LPARAM parameter) {
  auto* inspection = reinterpret_cast<Inspection*>(parameter);
  wchar_t title[256] = {};
  ::GetWindowTextW(window, title, 256);
  if (!::IsWindowVisible(window) || std::wcscmp(title, inspection->title) != 0) {
    return TRUE;
  }
  RECT rect{};
  ::GetWindowRect(window, &rect);
  std::ostringstream line;
  line << "window " << reinterpret_cast<uintptr_t>(window) << ' ' << rect.left
       << ' ' << rect.top << ' ' << rect.right - rect.left << ' '
       << rect.bottom - rect.top;
  Print(line.str());
  PrintShownTip(window);
  ::EnumChildWindows(window, PrintControl, 0);
  ++inspection->found;
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"--syscommand") == 0) {
    // Picks an item of a window's system menu, as a click on it would.
    HWND window = ::FindWindowW(nullptr, argv[2]);
    if (window == nullptr) return 1;
    ::PostMessageW(window, WM_SYSCOMMAND, std::wcstoul(argv[3], nullptr, 10), 0);
    return 0;
  }
  if (argc == 3 && std::wcscmp(argv[1], L"--redraw") == 0) {
    // Repaints a window whole, frame and controls, before a screenshot.
    HWND window = ::FindWindowW(nullptr, argv[2]);
    if (window == nullptr) return 1;
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN |
                       RDW_UPDATENOW);
    return 0;
  }
  if (argc == 3 && std::wcscmp(argv[1], L"--inspect") == 0) {
    Inspection inspection{argv[2], 0};
    ::EnumWindows(InspectWindow, reinterpret_cast<LPARAM>(&inspection));
    return inspection.found > 0 ? 0 : 1;
  }
  if (argc < 3) {
    std::fputs(
        "Usage: autofix-controller PROGRAM ARGUMENT... < commands\n"
        "       autofix-controller --owner SID PROGRAM ARGUMENT... < commands\n"
        "       autofix-controller --attach PID < commands\n"
        "       autofix-controller --inspect TITLE\n"
        "       autofix-controller --redraw TITLE\n"
        "       autofix-controller --syscommand TITLE ID\n"
        "Commands: scan, fix, show, stop, clear-stop, wait-for-status MS,\n"
        "window, rows, run COMMAND LINE, sleep MS, abandon, exit (one per\n"
        "line).\n",
        stderr);
    return 2;
  }
  Link link;
  if (std::wcscmp(argv[1], L"--attach") == 0) {
    if (!AttachLink(link, std::wcstoul(argv[2], nullptr, 10))) {
      std::fputs("autofix-controller: cannot attach to the program's link\n", stderr);
      return 1;
    }
    Print("attached " + std::to_string(link.process.dwProcessId));
  } else {
    std::wstring owner = L"BA";
    if (argc >= 5 && std::wcscmp(argv[1], L"--owner") == 0) {
      owner = argv[2];
      argc -= 2;
      argv += 2;
    }
    if (!CreateLink(link, owner)) {
      std::fputs("autofix-controller: cannot create the section or mutex\n", stderr);
      return 1;
    }
    if (!StartProgram(link, argc, argv)) {
      std::fputs("autofix-controller: cannot start the program\n", stderr);
      return 1;
    }
    Print("started " + std::to_string(link.process.dwProcessId));
  }
  bool ok = true;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!RunCommand(link, line)) ok = false;
  }
  return ok ? 0 : 1;
}
