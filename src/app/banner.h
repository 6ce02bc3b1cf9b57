// The web banner strip at the bottom of the main window: the WebBrowser
// control hosted in a child window with the banner's control id, its event
// sink, and the banner's three operations. Where no browser control can be
// created the strip stays empty and the program goes on without a word.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/banner_rules.h"
#include "app/unelevated_open.h"

struct IWebBrowser2;
struct IConnectionPoint;

namespace tavik {

class BannerEventSink;

class CExplorer1 {
 public:
  CExplorer1(const CExplorer1&) = delete;
  CExplorer1& operator=(const CExplorer1&) = delete;
  // Disconnects the events, releases the control and destroys its window.
  ~CExplorer1();

  // The window that holds the control (carries the banner's control id);
  // null when no browser control could be created.
  HWND window() const { return window_; }
  bool HasBrowser() const { return browser_ != nullptr; }
  // Whether `frame` (the browser object an event names) is the banner's own
  // control rather than a frame inside its page.
  bool IsOwnBrowser(IDispatch* frame) const;

  // Navigate (dispatch id 104) with the four optional arguments empty.
  // Does nothing without a browser control.
  void Navigate(std::u16string_view url);
  // The current document's title through IHTMLDocument2; none when the
  // control has no HTML document.
  std::optional<std::u16string> DocumentTitle();

  // 0 until the first document completes, then 1 for good.
  int32_t firstNavigationDone = 0;

 private:
  friend std::unique_ptr<CExplorer1> CreateBannerAt(HWND, int, const RECT&);
  CExplorer1() = default;

  bool oleInitialized_ = false;
  HWND window_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  IConnectionPoint* events_ = nullptr;
  DWORD eventsCookie_ = 0;
  BannerEventSink* sink_ = nullptr;
};

// Hosts the banner in place of the dialog's control `controlId` (a
// placeholder of the dialog template): the browser window takes the
// placeholder's rectangle and id, so the layout moves it by that id. When no
// browser control can be created the placeholder stays as it is. Never
// returns null; call from the window's thread, which the banner joins to a
// single-threaded OLE apartment for its lifetime.
std::unique_ptr<CExplorer1> CreateBanner(HWND dialog, int controlId);
// As CreateBanner, for a parent without a placeholder.
std::unique_ptr<CExplorer1> CreateBannerAt(HWND parent, int controlId,
                                           const RECT& rect);

// Navigation sounds off, then the maker's page for this machine.
void LoadBanner(CExplorer1& banner);
// The first completed document only: a page without "tavik" in its title
// is replaced by "home.html" beside the executable, or by "about:blank".
void BannerDocumentComplete(CExplorer1& banner);
// Clears *cancel; a URL with the default-browser marker is cancelled and,
// when it is a web address, opened in the default browser. The banner's own
// page is kept to web addresses, the empty page and the local home page
// (DecideNavigation).
void BannerBeforeNavigate(const VARIANT* url, VARIANT_BOOL* cancel,
                          NavigationTarget target);
// Sets *cancel: the banner opens no windows. A marked web address `url`
// (null when the event gives none) goes to the default browser.
void BannerNewWindow(const VARIANT* url, VARIANT_BOOL* cancel);

// Unpacks one event of the control (BeforeNavigate2 250, NewWindow2 251,
// DocumentComplete 259, NewWindow3 273) and hands it to the banner;
// `banner` may be null after teardown.
HRESULT HandleBannerEvent(CExplorer1* banner, DISPID id,
                          const DISPPARAMS* params);

// The call that opens an address in the default browser; tests put a
// recorder in its place (null: the real one). The real one asks the
// desktop's shell to open it ("open", SW_SHOWNORMAL), so the browser runs
// as the signed-in user rather than with this process's administrator
// rights; only where there is no desktop shell to ask does it call
// ShellExecuteW itself ("Open", SW_SHOW).
using BrowserOpener = void (*)(const wchar_t* url);
void SetBannerBrowserOpener(BrowserOpener opener);
// The two ends of the real opener, for tests: the desktop's shell
// (ShellExecuteThroughDesktop) and this process's own ShellExecuteW. Null
// puts the real one back.
using DesktopShellOpener = DesktopShellAnswer (*)(const wchar_t* file,
                                                  const wchar_t* verb,
                                                  int show);
void SetBannerShellOpeners(DesktopShellOpener desktop,
                           BrowserOpener ownProcess);

}  // namespace tavik
