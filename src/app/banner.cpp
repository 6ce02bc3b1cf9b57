#include "app/banner.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <ocidl.h>
#include <ole2.h>
#include <shellapi.h>
#include <urlmon.h>

#include "app/banner_rules.h"
#include "app/unelevated_open.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_text.h"

namespace tavik {

namespace {

// The Windows WebBrowser control, {8856F961-340A-11D0-A96B-00C04FD705A2}.
constexpr wchar_t kWebBrowserClassId[] =
    L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

// Starts the browser from this elevated process, with its rights: only
// where the desktop's shell cannot be asked.
void ShellExecuteFromThisProcess(const wchar_t* url) {
  ShellExecuteW(nullptr, L"Open", url, nullptr, nullptr, SW_SHOW);
}

DesktopShellOpener g_desktopOpener = ShellExecuteThroughDesktop;
BrowserOpener g_ownProcessOpener = ShellExecuteFromThisProcess;

void OpenInDefaultBrowser(const wchar_t* url) {
  if (g_desktopOpener(url, L"open", SW_SHOWNORMAL) ==
      DesktopShellAnswer::kAsked) {
    return;
  }
  g_ownProcessOpener(url);
}

BrowserOpener g_browserOpener = OpenInDefaultBrowser;

// The control container of the system's ATL library, loaded once and kept
// for the life of the process: its window class stays registered with its
// window procedure, so the library must never be unloaded.
struct AtlHost {
  using GetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
  GetControlFn getControl = nullptr;
  bool ready = false;
};

// GetProcAddress answers a generic function pointer; going through void(*)()
// states that the real type is known.
template <typename Function>
Function ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The system folder's copy only: an "atl.dll" beside the program or in the
// current folder must never run inside the elevated process.
HMODULE LoadSystemAtl() {
  if (HMODULE atl = LoadLibraryExW(L"atl.dll", nullptr,
                                   LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return atl;
  }
  // A system without the search flags refuses them as an invalid
  // parameter; the file is then named in full.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\atl.dll";
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

const AtlHost& LoadAtlHost() {
  static const AtlHost host = [] {
    AtlHost result;
    HMODULE atl = LoadSystemAtl();
    if (atl == nullptr) return result;
    using InitFn = BOOL(WINAPI*)();
    const auto init = ExportOf<InitFn>(atl, "AtlAxWinInit");
    result.getControl =
        ExportOf<AtlHost::GetControlFn>(atl, "AtlAxGetControl");
    result.ready = init != nullptr && result.getControl != nullptr && init();
    return result;
  }();
  return host;
}

std::u16string FromBstr(BSTR text) {
  if (text == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text),
                        SysStringLen(text));
}

// The string inside a variant, looking through one level of reference.
const VARIANT* Dereference(const VARIANT* value) {
  if (value != nullptr && value->vt == (VT_VARIANT | VT_BYREF)) {
    return value->pvarVal;
  }
  return value;
}

// The text of a string variant, directly or by reference; empty otherwise.
std::u16string AddressOf(const VARIANT* url) {
  if (url != nullptr && url->vt == VT_BSTR) return FromBstr(url->bstrVal);
  if (url != nullptr && url->vt == (VT_BSTR | VT_BYREF) &&
      url->pbstrVal != nullptr) {
    return FromBstr(*url->pbstrVal);
  }
  return {};
}

// The cancel flag among an event's arguments, or null when it is not there
// as a VARIANT_BOOL reference.
VARIANT_BOOL* CancelFlagOf(const DISPPARAMS* params, UINT index) {
  if (params == nullptr || params->rgvarg == nullptr || params->cArgs <= index) {
    return nullptr;
  }
  const VARIANT& cancel = params->rgvarg[index];
  if (cancel.vt != (VT_BOOL | VT_BYREF)) return nullptr;
  return cancel.pboolVal;
}

// Carries out a decision: cancels what is not followed, and hands a marked
// web address to the default browser.
void Apply(const NavigationDecision& decision, VARIANT_BOOL* cancel) {
  if (decision.action == NavigationAction::kNavigate) return;
  *cancel = VARIANT_TRUE;
  if (decision.action == NavigationAction::kOpenInBrowser) {
    g_browserOpener(AsWide(decision.browserUrl.c_str()));
  }
}

}  // namespace

// The sink of the control's DWebBrowserEvents2. It is reference counted by
// COM and may outlive its banner for as long as the control holds it, so it
// reaches the banner only through a pointer the banner clears at teardown.
class BannerEventSink final : public IDispatch {
 public:
  explicit BannerEventSink(CExplorer1* owner) : owner_(owner) {}
  void Detach() { owner_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;  // COM lifetime: the last reference frees it
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD,
                                   DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return HandleBannerEvent(owner_, id, params);
  }

 private:
  ~BannerEventSink() = default;
  LONG references_ = 1;
  CExplorer1* owner_;
};

HRESULT HandleBannerEvent(CExplorer1* banner, DISPID id,
                          const DISPPARAMS* params) {
  // Arguments arrive last first.
  switch (id) {
    case DISPID_BEFORENAVIGATE2: {
      // The frame's browser object first, then the URL, ..., Cancel last.
      if (params == nullptr || params->cArgs < 7) return S_OK;
      VARIANT_BOOL* cancel = CancelFlagOf(params, 0);
      if (cancel == nullptr) return S_OK;
      // Without its banner (after teardown) every navigation counts as the
      // banner's own page, which is the stricter case.
      const VARIANT& frame = params->rgvarg[6];
      const bool topLevel =
          banner == nullptr || frame.vt != VT_DISPATCH ||
          banner->IsOwnBrowser(frame.pdispVal);
      BannerBeforeNavigate(Dereference(&params->rgvarg[5]), cancel,
                           topLevel ? NavigationTarget::kTopLevel
                                    : NavigationTarget::kFrame);
      return S_OK;
    }
    case DISPID_NEWWINDOW2: {
      // The new window's browser object (out), Cancel.
      if (params == nullptr || params->cArgs < 2) return S_OK;
      BannerNewWindow(nullptr, CancelFlagOf(params, 0));
      return S_OK;
    }
    case DISPID_NEWWINDOW3: {
      // The new window's browser object (out), Cancel, flags, the page that
      // asked, the URL.
      if (params == nullptr || params->cArgs < 5) return S_OK;
      BannerNewWindow(Dereference(&params->rgvarg[0]), CancelFlagOf(params, 3));
      return S_OK;
    }
    case DISPID_DOCUMENTCOMPLETE:
      if (banner != nullptr) BannerDocumentComplete(*banner);
      return S_OK;
    default:
      return S_OK;
  }
}

void SetBannerBrowserOpener(BrowserOpener opener) {
  g_browserOpener = opener != nullptr ? opener : OpenInDefaultBrowser;
}

void SetBannerShellOpeners(DesktopShellOpener desktop,
                           BrowserOpener ownProcess) {
  g_desktopOpener = desktop != nullptr ? desktop : ShellExecuteThroughDesktop;
  g_ownProcessOpener =
      ownProcess != nullptr ? ownProcess : ShellExecuteFromThisProcess;
}

CExplorer1::~CExplorer1() {
  if (events_ != nullptr) {
    events_->Unadvise(eventsCookie_);
    events_->Release();
  }
  if (sink_ != nullptr) {
    sink_->Detach();
    sink_->Release();
  }
  if (browser_ != nullptr) {
    browser_->Stop();
    browser_->Release();
  }
  // Destroying the container window makes it release the control.
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
  if (oleInitialized_) OleUninitialize();
}

void CExplorer1::Navigate(std::u16string_view url) {
  if (browser_ == nullptr) return;
  BSTR address = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(url.data()),
                                   static_cast<UINT>(url.size()));
  if (address == nullptr) return;
  VARIANT empty;
  VariantInit(&empty);
  browser_->Navigate(address, &empty, &empty, &empty, &empty);
  SysFreeString(address);
}

bool CExplorer1::IsOwnBrowser(IDispatch* frame) const {
  if (browser_ == nullptr || frame == nullptr) return false;
  // COM identity: the same object answers IUnknown with the same pointer.
  IUnknown* own = nullptr;
  IUnknown* other = nullptr;
  browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&own));
  frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&other));
  const bool same = own != nullptr && own == other;
  if (own != nullptr) own->Release();
  if (other != nullptr) other->Release();
  return same;
}

std::optional<std::u16string> CExplorer1::DocumentTitle() {
  if (browser_ == nullptr) return std::nullopt;
  IDispatch* document = nullptr;
  if (FAILED(browser_->get_Document(&document)) || document == nullptr) {
    return std::nullopt;
  }
  IHTMLDocument2* html = nullptr;
  const HRESULT asked =
      document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
  document->Release();
  if (FAILED(asked) || html == nullptr) return std::nullopt;
  BSTR title = nullptr;
  std::optional<std::u16string> result;
  // A document that cannot say its title is judged as one without the marker.
  result = SUCCEEDED(html->get_title(&title)) ? FromBstr(title) : u"";
  SysFreeString(title);
  html->Release();
  return result;
}

std::unique_ptr<CExplorer1> CreateBannerAt(HWND parent, int controlId,
                                           const RECT& rect) {
  std::unique_ptr<CExplorer1> banner(new CExplorer1());
  const HRESULT ole = OleInitialize(nullptr);
  if (FAILED(ole)) return banner;  // a thread of the wrong apartment
  banner->oleInitialized_ = true;

  const AtlHost& atl = LoadAtlHost();
  if (!atl.ready || parent == nullptr) return banner;
  HWND window = CreateWindowExW(
      0, L"AtlAxWin", kWebBrowserClassId,
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, rect.left,
      rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
      GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return banner;
  banner->window_ = window;

  IUnknown* control = nullptr;
  if (FAILED(atl.getControl(window, &control)) || control == nullptr) {
    DestroyWindow(window);
    banner->window_ = nullptr;
    return banner;
  }
  IWebBrowser2* browser = nullptr;
  control->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
  if (browser == nullptr) {
    control->Release();
    DestroyWindow(window);
    banner->window_ = nullptr;
    return banner;
  }
  banner->browser_ = browser;
  // The banner plays no sounds and shows no script or certificate dialogs.
  browser->put_Silent(VARIANT_TRUE);

  IConnectionPointContainer* points = nullptr;
  if (SUCCEEDED(control->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void**>(&points))) &&
      points != nullptr) {
    IConnectionPoint* events = nullptr;
    if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events)) &&
        events != nullptr) {
      auto* sink = new BannerEventSink(banner.get());  // owned by its references
      DWORD cookie = 0;
      if (SUCCEEDED(events->Advise(sink, &cookie))) {
        banner->events_ = events;
        banner->eventsCookie_ = cookie;
        banner->sink_ = sink;
      } else {
        events->Release();
        sink->Release();
      }
    }
    points->Release();
  }
  control->Release();
  return banner;
}

std::unique_ptr<CExplorer1> CreateBanner(HWND dialog, int controlId) {
  HWND placeholder = GetDlgItem(dialog, controlId);
  RECT rect{};
  if (placeholder != nullptr) {
    GetWindowRect(placeholder, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    // Out of the way while the browser takes its id.
    SetWindowLongPtrW(placeholder, GWLP_ID, 0);
  }
  auto banner = CreateBannerAt(dialog, controlId, rect);
  if (placeholder != nullptr) {
    if (banner->window() != nullptr) {
      SetWindowPos(banner->window(), placeholder, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      DestroyWindow(placeholder);
    } else {
      SetWindowLongPtrW(placeholder, GWLP_ID, controlId);
    }
  }
  return banner;
}

void LoadBanner(CExplorer1& banner) {
  // Clicks would otherwise sound at every navigation; failure is harmless.
  CoInternetSetFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS,
                              SET_FEATURE_ON_PROCESS, TRUE);
  Win32Registry registry;
  banner.Navigate(BannerPageFor(SuiteIsInstalled(registry)));
  banner.firstNavigationDone = 0;
}

void BannerDocumentComplete(CExplorer1& banner) {
  if (banner.firstNavigationDone == 1) return;
  banner.firstNavigationDone = 1;
  Win32FileSystem files;
  const std::optional<std::u16string> title = banner.DocumentTitle();
  std::optional<std::u16string_view> titleView;
  if (title) titleView = *title;
  if (auto next = PageAfterFirstDocument(files, titleView)) {
    banner.Navigate(*next);
  }
}

void BannerBeforeNavigate(const VARIANT* url, VARIANT_BOOL* cancel,
                          NavigationTarget target) {
  if (cancel == nullptr) return;
  *cancel = VARIANT_FALSE;
  Win32FileSystem files;
  Apply(DecideNavigation(AddressOf(url), target, BannerFallbackPage(files)),
        cancel);
}

void BannerNewWindow(const VARIANT* url, VARIANT_BOOL* cancel) {
  if (cancel == nullptr) return;
  *cancel = VARIANT_TRUE;
  Apply(DecideNewWindow(AddressOf(url)), cancel);
}

}  // namespace tavik
