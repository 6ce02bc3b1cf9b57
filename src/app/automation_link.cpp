#include "app/automation_link.h"

#include <shellapi.h>

#include "app/automation_section.h"
#include "app/main_window.h"
#include "engine/shared_flags.h"

namespace tavik {

namespace {

constexpr int kOpenAttempts = 5;
constexpr DWORD kOpenRetryMs = 1000;
constexpr DWORD kTickWaitMs = 10;
constexpr DWORD kStatusWaitMs = 1000;

// Open for the life of the process once ProcessCommandLine succeeded.
struct AutomationLink {
  HANDLE section = nullptr;
  HANDLE mutex = nullptr;
  uint8_t* view = nullptr;
};
AutomationLink g_link;

template <typename Open>
HANDLE OpenWithRetries(Open open) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (attempt > 0) ::Sleep(kOpenRetryMs);
    if (const HANDLE handle = open()) return handle;
  }
  return nullptr;
}

// What a tick asks of the main window.
class WindowActions final : public AutomationActions {
 public:
  explicit WindowActions(CRegistryCleanerDlg& window) : window_(window) {}
  bool WorkerRunning() override { return window_.WorkerRunning(); }
  void StartScan() override {
    StopRequested = 0;
    window_.StartScan();
  }
  void StartFix() override {
    StopRequested = 0;
    window_.StartFix();
  }
  void ShowWindow() override {
    AutomationMode = 1;
    ::ShowWindow(window_.hwnd(), SW_SHOW);
  }
  void Exit() override {
    AutomationMode = 0;
    window_.StoreBackupSwitch();
    window_.EndAsCancel();
  }
  void Stop() override { window_.StopCommand(); }

 private:
  CRegistryCleanerDlg& window_;
};

}  // namespace

int ProcessCommandLine(CRegistryCleanerDlg& window) {
  int count = 0;
  if (LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    ::LocalFree(arguments);
  }
  // The argument texts are never read: any argument selects automation.
  if (count <= 1) {
    AutomationMode = 0;
    return 0;
  }
  AutomationMode = count;
  if (OpenAutomationLink() != 0) return -1;
  ::SetTimer(window.hwnd(), kAutomationTimerId, kAutomationTimerMs, nullptr);
  return 0;
}

int OpenAutomationLink() {
  const HANDLE section = OpenWithRetries([] {
    return ::OpenFileMappingW(FILE_MAP_WRITE, FALSE, kAutomationSectionName);
  });
  if (section == nullptr) return -1;
  const HANDLE mutex = OpenWithRetries([] {
    return ::OpenMutexW(SYNCHRONIZE, FALSE, kAutomationMutexName);
  });
  if (mutex == nullptr) {
    ::CloseHandle(section);
    return -1;
  }
  ::WaitForSingleObject(mutex, INFINITE);
  void* view =
      ::MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kAutomationSectionBytes);
  ::ReleaseMutex(mutex);
  if (view == nullptr) {
    ::CloseHandle(mutex);
    ::CloseHandle(section);
    return -1;
  }
  g_link = {section, mutex, static_cast<uint8_t*>(view)};
  return 0;
}

void AutomationTick(CRegistryCleanerDlg& window) {
  if (g_link.view == nullptr) return;
  if (::WaitForSingleObject(g_link.mutex, kTickWaitMs) != WAIT_OBJECT_0) return;
  WindowActions actions(window);
  ServeAutomationRequests(g_link.view, actions);
  ::ReleaseMutex(g_link.mutex);
}

void ReportAutomationStatus(std::u16string_view text) {
  if (g_link.view == nullptr) return;
  if (::WaitForSingleObject(g_link.mutex, kStatusWaitMs) != WAIT_OBJECT_0) {
    return;
  }
  WriteStatus(g_link.view, text);
  ::ReleaseMutex(g_link.mutex);
}

void HandleClose(CRegistryCleanerDlg& window) {
  if (AutomationMode != 0) {
    ::ShowWindow(window.hwnd(), SW_HIDE);
  } else {
    window.EndAsCancel();
  }
  window.StoreBackupSwitch();
}

void SuppressShow(WINDOWPOS& position) {
  if (AutomationMode > 2) position.flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
}

}  // namespace tavik
