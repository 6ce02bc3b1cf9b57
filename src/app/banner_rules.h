// The decisions of the web banner that need no window: which page it opens,
// whether a loaded page is the maker's, where it falls back to, and what
// happens to a link the page asks to open in the default browser.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/registry.h"

namespace tavik {

// The two banner pages on the maker's site, one for users who have the
// utilities suite and one for those who have not.
inline constexpr std::u16string_view kBannerPageSuiteInstalled =
    u"https://www.taviksoftware.com/banner/registry-cleaner/suite.html";
inline constexpr std::u16string_view kBannerPageSuiteMissing =
    u"https://www.taviksoftware.com/banner/registry-cleaner/index.html";

inline constexpr std::u16string_view kSuiteKeyPath =
    u"Software\\Tavik Software\\Tavik Utilities";
// Every page of the maker's banner carries this in its title.
inline constexpr std::u16string_view kBannerTitleMarker = u"tavik";
// A link whose address carries this opens in the default browser.
inline constexpr std::u16string_view kDefaultBrowserMarker =
    u"-default-browser-tavik";
inline constexpr std::u16string_view kBannerHomePage = u"home.html";
inline constexpr std::u16string_view kBlankPage = u"about:blank";

// 1 when HKEY_LOCAL_MACHINE "Software\Tavik Software\Tavik Utilities" opens
// with full access and its default value can be read into a 66000-byte
// buffer; the value's content does not matter. 0 otherwise.
int32_t SuiteIsInstalled(Registry& registry);

std::u16string_view BannerPageFor(int32_t suiteInstalled);

// True when the title holds "tavik" (letters A to Z in any case).
bool TitleShowsMakersPage(std::u16string_view title);

// Where the banner goes when its first page is not the maker's: "home.html"
// beside the executable when it exists as a file, otherwise "about:blank".
std::u16string BannerFallbackPage(FileSystem& files);

// What the first completed document leads to: nothing when the title could
// not be read (no document object) or shows the maker's page, otherwise the
// fallback page.
std::optional<std::u16string> PageAfterFirstDocument(
    FileSystem& files, std::optional<std::u16string_view> title);

enum class NavigationAction {
  kNavigate,       // the banner follows the link itself
  kOpenInBrowser,  // cancelled here; `browserUrl` goes to the default browser
  kCancel,         // cancelled here, nothing is opened
};

struct NavigationDecision {
  NavigationAction action = NavigationAction::kNavigate;
  std::u16string browserUrl;
};

// Where a navigation would load: the banner's own page, or a frame inside it.
enum class NavigationTarget { kTopLevel, kFrame };

// A marked address is never followed by the banner. The part before the
// first marker is handed to the default browser only when it is a plain
// http or https address; anything else (files, programs, other schemes,
// addresses with blanks, quotes or control characters that could break the
// browser's command line, or addresses too long for a 33000-unit buffer) is
// cancelled without opening anything.
//
// The banner runs inside the elevated program, so its own page goes only to
// http and https addresses, "about:blank" and the local home page
// `homePage` (given as a path; its file: address counts too). Any other
// top-level navigation is cancelled: a page cannot lead it to local files
// or to other protocol handlers. Frames inside a page are left to it.
NavigationDecision DecideNavigation(std::u16string_view url,
                                    NavigationTarget target,
                                    std::u16string_view homePage);

// A new window that the page asks for (a link with target=_blank,
// window.open) is never opened by the banner. Its address, when given and
// marked, is handled as a marked link: a web address goes to the default
// browser.
NavigationDecision DecideNewWindow(std::u16string_view url);

}  // namespace tavik
