#include <gtest/gtest.h>

#include "app/banner_rules.h"
#include "base/text.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"

namespace tavik {
namespace {

constexpr char16_t kHome[] = u"C:\\Program Files\\Tavik\\home.html";

struct UrlCase {
  const char* name;
  std::u16string url;
  NavigationAction action;
  std::u16string browserUrl;
};

TEST(DecideNavigation, MarkedLinksOpenOnlyWebAddresses) {
  const auto open = NavigationAction::kOpenInBrowser;
  const auto cancel = NavigationAction::kCancel;
  const auto follow = NavigationAction::kNavigate;
  const UrlCase cases[] = {
      {"marker at the end", u"https://www.example.com/buy-default-browser-tavik",
       open, u"https://www.example.com/buy"},
      {"marker in the middle",
       u"http://example.com/a-default-browser-tavik?x=1-default-browser-tavik",
       open, u"http://example.com/a"},
      {"marker in capitals", u"HTTPS://Example.com/p-DEFAULT-BROWSER-TAVIK",
       open, u"HTTPS://Example.com/p"},
      {"no marker", u"https://www.taviksoftware.com/banner/next.html", follow,
       u""},
      {"marker alone", u"-default-browser-tavik", cancel, u""},
      {"local program", u"C:\\Windows\\System32\\calc.exe-default-browser-tavik",
       cancel, u""},
      {"file scheme", u"file:///C:/Windows/notepad.exe-default-browser-tavik",
       cancel, u""},
      {"network share", u"\\\\server\\share\\x.exe-default-browser-tavik",
       cancel, u""},
      {"other scheme", u"ms-settings:privacy-default-browser-tavik", cancel,
       u""},
      {"script", u"javascript:alert(1)-default-browser-tavik", cancel, u""},
      {"scheme without host", u"https://-default-browser-tavik", cancel, u""},
      {"http lookalike", u"httpx://example.com/-default-browser-tavik", cancel,
       u""},
      {"quote that would split the command line",
       u"http://example.com/\" --load-extension=x-default-browser-tavik",
       cancel, u""},
      {"blank", u"http://example.com/a b-default-browser-tavik", cancel, u""},
      {"control character", u"http://example.com/a\nb-default-browser-tavik",
       cancel, u""},
      {"marker lookalike with a non-ASCII letter",
       u"http://example.com/-default-browser-tav\u0130k", follow, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A marked address is decided alike wherever it would load, and in a
    // new window.
    for (const auto target : {NavigationTarget::kTopLevel, NavigationTarget::kFrame}) {
      const NavigationDecision decision = DecideNavigation(c.url, target, kHome);
      EXPECT_EQ(decision.action, c.action);
      EXPECT_EQ(decision.browserUrl, c.browserUrl);
    }
    const NavigationDecision inNewWindow = DecideNewWindow(c.url);
    EXPECT_EQ(inNewWindow.action, c.action == follow ? cancel : c.action);
    EXPECT_EQ(inNewWindow.browserUrl, c.browserUrl);
  }
}

// The banner's own page stays on the web, the empty page and the home page
// beside the program; frames inside a page are the page's business.
TEST(DecideNavigation, UnmarkedTopLevelNavigationsStayOnTheWebOrAtHome) {
  struct Case {
    std::u16string url;
    bool topLevelFollowed;
  };
  const Case cases[] = {
      {u"https://www.taviksoftware.com/banner/next.html", true},
      {u"HTTP://example.com/", true},
      {u"about:blank", true},
      {u"About:Blank", true},
      {kHome, true},
      {u"c:\\program files\\tavik\\HOME.HTML", true},
      {u"file:///C:/Program%20Files/Tavik/home.html", true},
      {u"file://C:\\Program Files\\Tavik\\home.html", true},
      {u"file:///C:/Windows/notepad.exe", false},
      {u"file:///C:/Program%20Files/Tavik/home.html%", false},
      {u"file:///C:/Program%20Files/Tavik/other.html", false},
      {u"file://server/Program Files/Tavik/home.html", false},
      {u"C:\\Windows\\System32\\cmd.exe", false},
      {u"\\\\server\\share\\page.html", false},
      {u"about:home", false},
      {u"javascript:alert(1)", false},
      {u"ms-settings:privacy", false},
      {u"res://ieframe.dll/navcancl.htm", false},
      {u"httpx://example.com/", false},
      {u"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.url));
    EXPECT_EQ(DecideNavigation(c.url, NavigationTarget::kTopLevel, kHome).action,
              c.topLevelFollowed ? NavigationAction::kNavigate : NavigationAction::kCancel);
    EXPECT_EQ(DecideNavigation(c.url, NavigationTarget::kFrame, kHome).action,
              NavigationAction::kNavigate);
    EXPECT_EQ(DecideNewWindow(c.url).action, NavigationAction::kCancel);
  }
  // Without a home page file the fallback is the empty page: no local file
  // is followed.
  EXPECT_EQ(DecideNavigation(kHome, NavigationTarget::kTopLevel, u"about:blank").action,
            NavigationAction::kCancel);
}

TEST(DecideNavigation, LongMarkedAddressesAreCutWithinTheBuffer) {
  const std::u16string marker = u"-default-browser-tavik";
  const std::u16string head = u"https://example.com/";
  // The longest address that fits a 33000-unit buffer with its terminator.
  std::u16string fits = head + std::u16string(32999 - head.size() - marker.size(), u'a') + marker;
  ASSERT_EQ(fits.size(), 32999u);
  NavigationDecision decision = DecideNavigation(fits, NavigationTarget::kTopLevel, kHome);
  EXPECT_EQ(decision.action, NavigationAction::kOpenInBrowser);
  EXPECT_EQ(decision.browserUrl, fits.substr(0, fits.size() - marker.size()));

  // One unit more, or far more, is refused without opening anything, even
  // when the marker comes early.
  for (size_t extra : {size_t{1}, size_t{100000}}) {
    std::u16string tooLong = head + marker + std::u16string(32999 + extra - head.size() - marker.size(), u'b');
    decision = DecideNavigation(tooLong, NavigationTarget::kTopLevel, kHome);
    EXPECT_EQ(decision.action, NavigationAction::kCancel) << extra;
    EXPECT_TRUE(decision.browserUrl.empty());
  }
  // A long address without the marker is the banner's own business.
  EXPECT_EQ(DecideNavigation(head + std::u16string(70000, u'c'), NavigationTarget::kTopLevel,
                             kHome)
                .action,
            NavigationAction::kNavigate);
}

TEST(BannerTitle, MarkerAnywhereInAnyCaseOfAToZ) {
  const std::pair<std::u16string, bool> cases[] = {
      {u"Tavik Software - Registry Cleaner", true},
      {u"WELCOME TO TAVIK", true},
      {u"mytavikpage", true},
      {u"tavi", false},
      {u"", false},
      {u"Navigation Canceled", false},
      {u"T\u0430vik", false},  // Cyrillic a is not the letter a
  };
  for (const auto& [title, makers] : cases) {
    EXPECT_EQ(TitleShowsMakersPage(title), makers) << std::string(title.begin(), title.end());
  }
}

TEST(BannerFirstDocument, ForeignPagesFallBackToHomeThenBlank) {
  MemoryFileSystem files;
  files.SetModuleFileName(u"C:\\Program Files\\Tavik\\Tavik Registry Cleaner.exe");
  const std::u16string home = u"C:\\Program Files\\Tavik\\home.html";

  // No title to read: the banner is left alone.
  EXPECT_EQ(PageAfterFirstDocument(files, std::nullopt), std::nullopt);
  // The maker's page stays.
  EXPECT_EQ(PageAfterFirstDocument(files, u"Tavik Utilities"), std::nullopt);
  // An error page with home.html missing: the empty page.
  EXPECT_EQ(PageAfterFirstDocument(files, u"Cannot find server"),
            std::u16string(u"about:blank"));
  files.AddFolder(home);  // a folder of that name is no page
  EXPECT_EQ(PageAfterFirstDocument(files, u"Cannot find server"),
            std::u16string(u"about:blank"));
  files.Remove(home);
  files.AddFile(home);
  EXPECT_EQ(PageAfterFirstDocument(files, u"Cannot find server"), home);
  EXPECT_EQ(PageAfterFirstDocument(files, u""), home);
}

TEST(BannerPage, SuiteCountsOnlyWhenItsDefaultValueReadsWithFullAccess) {
  const std::u16string key(kSuiteKeyPath);
  MemoryRegistry noKey;
  EXPECT_EQ(SuiteIsInstalled(noKey), 0);

  MemoryRegistry keyOnly;
  keyOnly.CreateKey(kHkeyLocalMachine, key);
  EXPECT_EQ(SuiteIsInstalled(keyOnly), 0);  // no default value

  MemoryRegistry installed;
  installed.SetString(kHkeyLocalMachine, key, u"", u"");  // content unread
  EXPECT_EQ(SuiteIsInstalled(installed), 1);
  installed.SetDword(kHkeyLocalMachine, key, u"", 7);
  EXPECT_EQ(SuiteIsInstalled(installed), 1);

  // 66000 bytes hold the value; one more does not fit.
  MemoryRegistry big;
  big.SetValue(kHkeyLocalMachine, key, u"", kRegBinary, std::vector<uint8_t>(66000));
  EXPECT_EQ(SuiteIsInstalled(big), 1);
  big.SetValue(kHkeyLocalMachine, key, u"", kRegBinary, std::vector<uint8_t>(66001));
  EXPECT_EQ(SuiteIsInstalled(big), 0);

  MemoryRegistry readOnly;
  readOnly.SetString(kHkeyLocalMachine, key, u"", u"1");
  readOnly.SetAccess(kHkeyLocalMachine, key, KeyAccess::kReadOnly);
  EXPECT_EQ(SuiteIsInstalled(readOnly), 0);

  for (auto* registry : {&noKey, &keyOnly, &installed, &big, &readOnly}) {
    EXPECT_EQ(registry->OpenHandleCount(), 0u);
  }
  EXPECT_NE(BannerPageFor(1), BannerPageFor(0));
  EXPECT_EQ(BannerPageFor(1), kBannerPageSuiteInstalled);
  EXPECT_EQ(BannerPageFor(0), kBannerPageSuiteMissing);
}

}  // namespace
}  // namespace tavik
