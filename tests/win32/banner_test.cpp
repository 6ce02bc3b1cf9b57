#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/banner.h"
#include "app/banner_rules.h"
#include "app/unelevated_open.h"
#include "engine/file_reference.h"
#include "platform/win32/win32_file_system.h"

namespace tavik {
namespace {

std::vector<std::wstring>& Opened() {
  static std::vector<std::wstring> opened;
  return opened;
}
void RecordOpen(const wchar_t* url) { Opened().emplace_back(url); }

class BannerEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    Opened().clear();
    SetBannerBrowserOpener(RecordOpen);
  }
  void TearDown() override { SetBannerBrowserOpener(nullptr); }

  // Sends BeforeNavigate2 as the control does: seven arguments, last first,
  // the URL as a variant reference to a string, Cancel as a VARIANT_BOOL
  // reference that starts out set.
  VARIANT_BOOL BeforeNavigate(const wchar_t* url, bool urlByReference = true) {
    BSTR address = SysAllocString(url);
    VARIANT urlValue;
    VariantInit(&urlValue);
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = address;
    VARIANT args[7];
    for (auto& arg : args) VariantInit(&arg);
    VARIANT_BOOL cancel = VARIANT_TRUE;
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    if (urlByReference) {
      args[5].vt = VT_VARIANT | VT_BYREF;
      args[5].pvarVal = &urlValue;
    } else {
      args[5] = urlValue;
    }
    DISPPARAMS params{args, nullptr, 7, 0};
    EXPECT_EQ(HandleBannerEvent(nullptr, 250, &params), S_OK);
    SysFreeString(address);
    return cancel;
  }
};

TEST_F(BannerEvents, MarkedWebLinksOpenInTheBrowserAndNothingElseDoes) {
  struct Case {
    const wchar_t* url;
    VARIANT_BOOL cancel;
    const wchar_t* opened;
  };
  const Case cases[] = {
      {L"https://www.example.com/x-default-browser-tavik", VARIANT_TRUE,
       L"https://www.example.com/x"},
      {L"http://example.com/a-DEFAULT-Browser-Tavik&b=1", VARIANT_TRUE,
       L"http://example.com/a"},
      {L"https://www.taviksoftware.com/banner/next.html", VARIANT_FALSE, nullptr},
      {L"C:\\Windows\\System32\\cmd.exe-default-browser-tavik", VARIANT_TRUE,
       nullptr},
      {L"file:///C:/Windows/notepad.exe-default-browser-tavik", VARIANT_TRUE,
       nullptr},
      // Unmarked: the banner's own page stays on the web or at home.
      {L"file:///C:/Windows/notepad.exe", VARIANT_TRUE, nullptr},
      {L"about:blank", VARIANT_FALSE, nullptr},
      {L"mailto:someone@example.com", VARIANT_TRUE, nullptr},
      {L"", VARIANT_TRUE, nullptr},
  };
  for (const bool byReference : {true, false}) {
    for (const auto& c : cases) {
      Opened().clear();
      EXPECT_EQ(BeforeNavigate(c.url, byReference), c.cancel) << c.url;
      if (c.opened == nullptr) {
        EXPECT_TRUE(Opened().empty()) << c.url;
      } else {
        ASSERT_EQ(Opened().size(), 1u) << c.url;
        EXPECT_EQ(Opened()[0], c.opened);
      }
    }
  }
}

// The local home page is followed by its path and by its file: address.
TEST_F(BannerEvents, TheHomePageBesideTheProgramIsFollowed) {
  Win32FileSystem files;
  const std::u16string home = BannerFallbackPage(files);
  ASSERT_NE(home, u"about:blank");
  std::u16string url = u"file:///" + home;
  std::replace(url.begin(), url.end(), u'\\', u'/');
  for (const std::u16string& address : {home, url}) {
    EXPECT_EQ(BeforeNavigate(reinterpret_cast<const wchar_t*>(address.c_str())),
              VARIANT_FALSE);
  }
  EXPECT_TRUE(Opened().empty());
}

// New windows are never opened; a marked web address in NewWindow3 goes to
// the browser, as a marked link does.
TEST_F(BannerEvents, NewWindowsAreCancelled) {
  struct Case {
    const wchar_t* url;
    const wchar_t* opened;
  };
  const Case cases[] = {
      {L"https://www.example.com/x-default-browser-tavik", L"https://www.example.com/x"},
      {L"https://www.example.com/x", nullptr},
      {L"file:///C:/Windows/notepad.exe-default-browser-tavik", nullptr},
  };
  for (const auto& c : cases) {
    Opened().clear();
    BSTR address = SysAllocString(c.url);
    VARIANT args[5];
    for (auto& arg : args) VariantInit(&arg);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    args[3].vt = VT_BOOL | VT_BYREF;
    args[3].pboolVal = &cancel;
    args[0].vt = VT_BSTR;
    args[0].bstrVal = address;
    DISPPARAMS params{args, nullptr, 5, 0};
    EXPECT_EQ(HandleBannerEvent(nullptr, 273, &params), S_OK);
    SysFreeString(address);
    EXPECT_EQ(cancel, VARIANT_TRUE) << c.url;
    EXPECT_EQ(Opened(), c.opened == nullptr ? std::vector<std::wstring>{}
                                            : std::vector<std::wstring>{c.opened});
  }
  VARIANT args[2];
  for (auto& arg : args) VariantInit(&arg);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  args[0].vt = VT_BOOL | VT_BYREF;
  args[0].pboolVal = &cancel;
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(HandleBannerEvent(nullptr, 251, &params), S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);
}

std::vector<std::wstring>& DesktopOpened() {
  static std::vector<std::wstring> opened;
  return opened;
}
DesktopShellAnswer DesktopTakesIt(const wchar_t* file, const wchar_t* verb, int show) {
  DesktopOpened().push_back(std::wstring(file) + L" " + verb + L" " + std::to_wstring(show));
  return DesktopShellAnswer::kAsked;
}
DesktopShellAnswer NoDesktop(const wchar_t*, const wchar_t*, int) {
  return DesktopShellAnswer::kUnavailable;
}

// A marked link goes to the desktop's shell; only without one does this
// (elevated) process start the browser itself.
TEST_F(BannerEvents, MarkedLinksOpenThroughTheDesktopShellElseFromHere) {
  SetBannerBrowserOpener(nullptr);
  for (const bool desktop : {true, false}) {
    SCOPED_TRACE(desktop ? "desktop shell" : "no desktop shell");
    Opened().clear();
    DesktopOpened().clear();
    SetBannerShellOpeners(desktop ? DesktopTakesIt : NoDesktop, RecordOpen);
    EXPECT_EQ(BeforeNavigate(L"https://www.example.com/x-default-browser-tavik"), VARIANT_TRUE);
    const std::vector<std::wstring> none;
    EXPECT_EQ(DesktopOpened(), desktop ? std::vector<std::wstring>{L"https://www.example.com/x open 1"}
                                       : none);
    EXPECT_EQ(Opened(), desktop ? none : std::vector<std::wstring>{L"https://www.example.com/x"});
  }
  SetBannerShellOpeners(nullptr, nullptr);
}

// Wine's Explorer serves the desktop's shell window as Windows does: the
// document is opened by Explorer, not by this process.
TEST(DesktopShell, ExplorerOpensTheDocument) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring id = std::to_wstring(GetCurrentProcessId());
  const std::wstring script = std::wstring(temp) + L"tavik-desktop-" + id + L".cmd";
  const std::wstring marker = std::wstring(temp) + L"tavik-desktop-" + id + L".txt";
  DeleteFileW(marker.c_str());
  // A script that leaves a file behind when it runs.
  const std::string text = "@echo off\r\necho started> \"" +
                           std::string(marker.begin(), marker.end()) + "\"\r\n";
  HANDLE file = CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);

  EXPECT_EQ(ShellExecuteThroughDesktop(script.c_str(), L"open", SW_SHOWNORMAL),
            DesktopShellAnswer::kAsked);
  bool ran = false;
  for (int wait = 0; wait < 300 && !ran; ++wait) {
    ran = GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!ran) Sleep(100);
  }
  EXPECT_TRUE(ran);
  DeleteFileW(marker.c_str());
  DeleteFileW(script.c_str());
}

TEST_F(BannerEvents, MalformedEventsAreIgnored) {
  VARIANT_BOOL cancel = VARIANT_TRUE;
  VARIANT args[7];
  for (auto& arg : args) VariantInit(&arg);
  DISPPARAMS tooFew{args, nullptr, 2, 0};
  EXPECT_EQ(HandleBannerEvent(nullptr, 250, &tooFew), S_OK);
  EXPECT_EQ(HandleBannerEvent(nullptr, 250, nullptr), S_OK);
  // Cancel of the wrong type, URL of the wrong type.
  args[0].vt = VT_I4;
  DISPPARAMS wrongCancel{args, nullptr, 7, 0};
  EXPECT_EQ(HandleBannerEvent(nullptr, 250, &wrongCancel), S_OK);
  args[0].vt = VT_BOOL | VT_BYREF;
  args[0].pboolVal = &cancel;
  args[5].vt = VT_I4;
  cancel = VARIANT_FALSE;
  EXPECT_EQ(HandleBannerEvent(nullptr, 250, &wrongCancel), S_OK);
  EXPECT_EQ(cancel, VARIANT_TRUE);  // an unreadable URL is no web address
  // A completed document after teardown, and unknown events.
  EXPECT_EQ(HandleBannerEvent(nullptr, 259, nullptr), S_OK);
  EXPECT_EQ(HandleBannerEvent(nullptr, 113, nullptr), S_OK);
  EXPECT_TRUE(Opened().empty());
}

TEST(Banner, WithoutAWindowTheBannerStaysEmptyAndQuiet) {
  const RECT rect{0, 0, 100, 25};
  auto banner = CreateBannerAt(nullptr, 1032, rect);
  ASSERT_NE(banner, nullptr);
  EXPECT_FALSE(banner->HasBrowser());
  EXPECT_EQ(banner->window(), nullptr);
  LoadBanner(*banner);
  EXPECT_EQ(banner->firstNavigationDone, 0);
  BannerDocumentComplete(*banner);
  EXPECT_EQ(banner->firstNavigationDone, 1);
  EXPECT_FALSE(banner->DocumentTitle().has_value());
}

// The build puts the help file and the banner's page beside the programs.
TEST(InstalledFiles, HelpFileAndHomePageSitBesideTheExecutable) {
  Win32FileSystem files;
  const auto help = FileBesideExecutable(files, u"help\\Registry_Cleaner.chm");
  ASSERT_TRUE(help.has_value());
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(help->c_str()),
                            GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char magic[4] = {};
  DWORD read = 0;
  ReadFile(file, magic, 4, &read, nullptr);
  CloseHandle(file);
  EXPECT_EQ(std::string(magic, read), "ITSF");  // a compiled HTML help file

  const std::u16string home = BannerFallbackPage(files);
  EXPECT_NE(home, u"about:blank");
  EXPECT_EQ(home.substr(home.size() - 10), u"\\home.html");
  // Without it the browser control draws the page in its oldest mode; it
  // must come first in the head.
  std::vector<uint8_t> page;
  ASSERT_TRUE(files.ReadFileBytes(home.c_str(), page));
  const std::string html(page.begin(), page.end());
  const size_t head = html.find("<head>");
  ASSERT_NE(head, std::string::npos);
  EXPECT_EQ(html.find("<meta", head), html.find("<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">"));
}

}  // namespace
}  // namespace tavik
