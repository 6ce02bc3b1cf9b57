#include "app/automation_link.h"

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <string>

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

// A SID in string form ("S-1-5-32-544"); empty when there is none.
std::u16string SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return {};
  std::u16string result(reinterpret_cast<const char16_t*>(text));
  ::LocalFree(text);
  return result;
}

std::u16string OwnerSidOf(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION,
                        &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  std::u16string result = SidText(owner);
  ::LocalFree(descriptor);
  return result;
}

std::u16string ProgramUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::u16string result;
  DWORD bytes = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &bytes);
  std::string buffer(bytes, '\0');
  if (bytes != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(),
                                          bytes, &bytes)) {
    result = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  }
  ::CloseHandle(token);
  return result;
}

// An object another user created under the link's name is treated as
// missing: the program then runs as if no controller were there.
HANDLE KeepIfTrusted(HANDLE object) {
  if (object == nullptr) return nullptr;
  if (IsTrustedLinkOwner(OwnerSidOf(object), ProgramUserSid())) return object;
  ::CloseHandle(object);
  return nullptr;
}

template <typename Open>
HANDLE OpenWithRetries(Open open) {
  // Every failed attempt is followed by its second's wait, the last one
  // too, so a name that never appears costs the five seconds a controller
  // is promised.
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (const HANDLE handle = KeepIfTrusted(open())) return handle;
    ::Sleep(kOpenRetryMs);
  }
  return nullptr;
}

// A wait that ends in WAIT_ABANDONED (a controller died holding the mutex)
// still makes this thread the owner: it is served and released like any
// other, or the thread would keep the mutex for good.
bool AcquireLinkMutex(HANDLE mutex, DWORD timeoutMs) {
  const DWORD wait = ::WaitForSingleObject(mutex, timeoutMs);
  return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
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
    return ::OpenFileMappingW(FILE_MAP_WRITE | READ_CONTROL, FALSE,
                              kAutomationSectionName);
  });
  if (section == nullptr) return -1;
  const HANDLE mutex = OpenWithRetries([] {
    return ::OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, kAutomationMutexName);
  });
  if (mutex == nullptr) {
    ::CloseHandle(section);
    return -1;
  }
  const bool locked = AcquireLinkMutex(mutex, INFINITE);
  void* view =
      ::MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kAutomationSectionBytes);
  if (locked) ::ReleaseMutex(mutex);
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
  if (!AcquireLinkMutex(g_link.mutex, kTickWaitMs)) return;
  WindowActions actions(window);
  ServeAutomationRequests(g_link.view, actions);
  ::ReleaseMutex(g_link.mutex);
}

void ReportAutomationStatus(std::u16string_view text) {
  if (g_link.view == nullptr) return;
  if (!AcquireLinkMutex(g_link.mutex, kStatusWaitMs)) return;
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
