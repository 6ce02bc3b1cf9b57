// Hosts the web banner alone in a plain window, the way the main window
// does, pumps messages for a few seconds and closes. It fails when the run
// shows any other window of its own (a message box, an error or installer
// dialog), when the banner's control id goes missing, or when the browser
// control's presence differs from what the caller expects.
//
// With --navigate the banner is sent to that address after loading, as a
// click in its page would, and the addresses handed to the default browser
// are recorded instead of opened.
//
// Usage: tavik-banner-host.exe [--expect-browser | --expect-no-browser]
//          [--navigate URL [--expect-opened URL | --expect-nothing-opened]]
//          [--seconds N] [--self-check]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/banner.h"

namespace {

constexpr int kBannerControlId = 1032;
constexpr UINT_PTR kQuitTimer = 1;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kQuitTimer) PostQuitMessage(0);
      return 0;
    case WM_SIZE: {
      // The same move the main window's layout makes: the strip by its id.
      const int width = LOWORD(lParam);
      const int height = HIWORD(lParam);
      if (HWND strip = GetDlgItem(window, kBannerControlId)) {
        MoveWindow(strip, 0, height - 25, width, 25, TRUE);
      }
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// Every window of this thread that gets activated besides the host: message
// boxes and dialogs are activated even when they are gone again by the end.
HWND g_host = nullptr;
std::vector<std::wstring> g_activated;

std::wstring Describe(HWND window) {
  wchar_t className[256] = L"";
  wchar_t title[256] = L"";
  GetClassNameW(window, className, 256);
  GetWindowTextW(window, title, 256);
  return std::wstring(className) + L" \"" + title + L"\"";
}

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (window != g_host) g_activated.push_back(Describe(window));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<std::wstring> g_opened;
void RecordOpen(const wchar_t* url) { g_opened.emplace_back(url); }

struct ForeignWindows {
  HWND host;
  std::vector<std::wstring> found;
};

BOOL CALLBACK CollectForeignWindow(HWND window, LPARAM data) {
  auto& windows = *reinterpret_cast<ForeignWindows*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || window == windows.host ||
      !IsWindowVisible(window)) {
    return TRUE;
  }
  windows.found.push_back(Describe(window));
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  enum { kAny, kBrowser, kNoBrowser } expected = kAny;
  UINT seconds = 4;
  bool raiseMessageBox = false;
  const wchar_t* clickUrl = nullptr;
  // With --navigate: the one address the default browser must get, or none.
  const wchar_t* expectedOpen = nullptr;
  bool expectNothingOpened = false;
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"--expect-browser") == 0) {
      expected = kBrowser;
    } else if (wcscmp(argv[i], L"--expect-no-browser") == 0) {
      expected = kNoBrowser;
    } else if (wcscmp(argv[i], L"--self-check") == 0) {
      // Raises a message box while the banner loads: the run must fail.
      raiseMessageBox = true;
    } else if (wcscmp(argv[i], L"--navigate") == 0 && i + 1 < argc) {
      clickUrl = argv[++i];
    } else if (wcscmp(argv[i], L"--expect-opened") == 0 && i + 1 < argc) {
      expectedOpen = argv[++i];
    } else if (wcscmp(argv[i], L"--expect-nothing-opened") == 0) {
      expectNothingOpened = true;
    } else if (wcscmp(argv[i], L"--seconds") == 0 && i + 1 < argc) {
      seconds = static_cast<UINT>(_wtoi(argv[++i]));
    } else {
      std::fwprintf(stderr, L"unknown argument: %ls\n", argv[i]);
      return 2;
    }
  }

  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = HostWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"TavikBannerHost";
  if (RegisterClassW(&windowClass) == 0) return 3;
  HWND host = CreateWindowExW(0, windowClass.lpszClassName, L"Banner host",
                              WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              870, 480, nullptr, nullptr, instance, nullptr);
  if (host == nullptr) return 3;
  g_host = host;
  HHOOK watch = SetWindowsHookExW(WH_CBT, WatchActivation, nullptr,
                                  GetCurrentThreadId());
  // The dialog template's placeholder for the strip.
  RECT client{};
  GetClientRect(host, &client);
  CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0,
                  client.bottom - 25, client.right, 25, host,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBannerControlId)),
                  instance, nullptr);
  ShowWindow(host, SW_SHOW);

  auto banner = tavik::CreateBanner(host, kBannerControlId);
  tavik::LoadBanner(*banner);
  if (clickUrl != nullptr) {
    tavik::SetBannerBrowserOpener(RecordOpen);
    banner->Navigate(reinterpret_cast<const char16_t*>(clickUrl));
  }
  if (raiseMessageBox) {
    SetTimer(host, kQuitTimer, 1000, nullptr);
    MessageBoxW(nullptr, L"self-check", L"Tavik Registry Cleaner", MB_OK);
  }
  // The layout keeps working on the strip after the banner took it over.
  SetWindowPos(host, nullptr, 0, 0, 900, 500, SWP_NOMOVE | SWP_NOZORDER);

  SetTimer(host, kQuitTimer, seconds * 1000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  int failures = 0;
  const bool hasBrowser = banner->HasBrowser();
  std::printf("browser control: %s\n", hasBrowser ? "yes" : "no");
  for (const auto& url : g_opened) std::printf("opened: %ls\n", url.c_str());
  if (expectedOpen != nullptr &&
      (g_opened.size() != 1 || g_opened[0] != expectedOpen)) {
    std::printf("FAIL: the default browser did not get just %ls\n",
                expectedOpen);
    ++failures;
  }
  if (expectNothingOpened && !g_opened.empty()) {
    std::printf("FAIL: something was opened\n");
    ++failures;
  }
  std::printf("first document complete: %s\n",
              banner->firstNavigationDone == 1 ? "yes" : "no");
  if ((expected == kBrowser && !hasBrowser) ||
      (expected == kNoBrowser && hasBrowser)) {
    std::printf("FAIL: the browser control is %s\n",
                hasBrowser ? "there" : "missing");
    ++failures;
  }
  HWND strip = GetDlgItem(host, kBannerControlId);
  if (strip == nullptr) {
    std::printf("FAIL: no control %d after the banner was hosted\n",
                kBannerControlId);
    ++failures;
  } else {
    RECT rect{};
    GetWindowRect(strip, &rect);
    MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&rect), 2);
    GetClientRect(host, &client);
    if (rect.bottom != client.bottom || rect.right != client.right ||
        rect.bottom - rect.top != 25) {
      std::printf("FAIL: the strip was not laid out along the bottom\n");
      ++failures;
    }
    if (hasBrowser && strip != banner->window()) {
      std::printf("FAIL: control %d is not the browser's window\n",
                  kBannerControlId);
      ++failures;
    }
  }
  if (watch != nullptr) UnhookWindowsHookEx(watch);
  for (const auto& window : g_activated) {
    std::printf("FAIL: a window was activated: %ls\n", window.c_str());
    ++failures;
  }
  ForeignWindows windows{host, {}};
  EnumWindows(CollectForeignWindow, reinterpret_cast<LPARAM>(&windows));
  for (const auto& window : windows.found) {
    std::printf("FAIL: a window appeared: %ls\n", window.c_str());
    ++failures;
  }

  banner.reset();
  DestroyWindow(host);
  std::printf(failures == 0 ? "banner host: ok\n" : "banner host: FAILED\n");
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}
