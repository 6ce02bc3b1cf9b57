#include "app/unelevated_open.h"

#include <windows.h>
#include <exdisp.h>
#include <objbase.h>
#include <shldisp.h>
#include <shlobj.h>

#include "platform/win32/win32_handles.h"

namespace tavik {

namespace {

// The calling thread's COM apartment for one call: joined when the thread
// had none, left again afterwards.
class ComApartment {
 public:
  ComApartment()
      : joined_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (joined_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  // False also for a thread already in another apartment (RPC_E_CHANGED_MODE),
  // where the calls work as they are.
  bool joined_;
};

// A VARIANT cleared (its string freed) when it goes away.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  explicit Variant(const wchar_t* text) : Variant() {
    value_.vt = VT_BSTR;
    value_.bstrVal = SysAllocString(text);
  }
  explicit Variant(LONG number) : Variant() {
    value_.vt = VT_I4;
    value_.lVal = number;
  }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &value_; }
  const VARIANT& value() const { return value_; }

 private:
  VARIANT value_;
};

// The shell dispatch object of the desktop's folder view, living in
// Explorer's process; null when there is none. `desktop` receives the
// desktop window's handle.
bool DesktopShellDispatch(ComRef<IShellDispatch2>& shell, HWND& desktop) {
  ComRef<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL,
                              IID_IShellWindows, windows.out()))) {
    return false;
  }
  Variant location(static_cast<LONG>(CSIDL_DESKTOP));
  Variant root;
  long window = 0;
  ComRef<IDispatch> found;
  // S_FALSE: no desktop window is registered (no Explorer shell).
  if (windows->FindWindowSW(location.get(), root.get(), SWC_DESKTOP, &window,
                            SWFO_NEEDDISPATCH,
                            reinterpret_cast<IDispatch**>(found.out())) !=
          S_OK ||
      found.get() == nullptr) {
    return false;
  }
  desktop = reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
  ComRef<IServiceProvider> services;
  ComRef<IShellBrowser> browser;
  ComRef<IShellView> view;
  ComRef<IDispatch> background;
  ComRef<IShellFolderViewDual> folderView;
  ComRef<IDispatch> application;
  return SUCCEEDED(found->QueryInterface(IID_IServiceProvider,
                                         services.out())) &&
         SUCCEEDED(services->QueryService(SID_STopLevelBrowser,
                                          IID_IShellBrowser, browser.out())) &&
         SUCCEEDED(browser->QueryActiveShellView(
             reinterpret_cast<IShellView**>(view.out()))) &&
         view.get() != nullptr &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                       background.out())) &&
         background.get() != nullptr &&
         SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual,
                                              folderView.out())) &&
         SUCCEEDED(folderView->get_Application(
             reinterpret_cast<IDispatch**>(application.out()))) &&
         application.get() != nullptr &&
         SUCCEEDED(application->QueryInterface(IID_IShellDispatch2,
                                               shell.out())) &&
         shell.get() != nullptr;
}

}  // namespace

DesktopShellAnswer ShellExecuteThroughDesktop(const wchar_t* file,
                                              const wchar_t* verb, int show) {
  ComApartment apartment;
  ComRef<IShellDispatch2> shell;
  HWND desktop = nullptr;
  if (!DesktopShellDispatch(shell, desktop)) {
    return DesktopShellAnswer::kUnavailable;
  }
  // What Explorer starts may come to the front, as it would from a click.
  DWORD explorer = 0;
  if (desktop != nullptr && GetWindowThreadProcessId(desktop, &explorer) != 0) {
    AllowSetForegroundWindow(explorer);
  }
  BSTR target = SysAllocString(file);
  if (target == nullptr) return DesktopShellAnswer::kUnavailable;
  Variant none(L"");
  Variant folder(L"");
  Variant operation(verb);
  Variant shown(static_cast<LONG>(show));
  // Once Explorer has the request it is not made a second time from here,
  // whatever it answers: that would start the program with this process's
  // rights after all.
  shell->ShellExecute(target, none.value(), folder.value(), operation.value(),
                      shown.value());
  SysFreeString(target);
  return DesktopShellAnswer::kAsked;
}

}  // namespace tavik
