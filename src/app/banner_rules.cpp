#include "app/banner_rules.h"

#include <string>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"

namespace tavik {

namespace {

constexpr uint32_t kSuiteValueBytes = 66000;

// Characters that never appear in an address worth opening and that could
// split the browser's command line: control characters, blanks, quotes.
bool IsUnsafeUrlChar(char16_t c) {
  return c <= 0x20 || c == 0x7F || c == u'"' || IsWideSpace(c);
}

bool HasWebScheme(std::u16string_view url) {
  return StartsWithIgnoreAsciiCase(url, u"https://") ||
         StartsWithIgnoreAsciiCase(url, u"http://");
}

bool IsWebAddress(std::u16string_view url) {
  std::u16string_view rest;
  if (StartsWithIgnoreAsciiCase(url, u"https://")) {
    rest = url.substr(8);
  } else if (StartsWithIgnoreAsciiCase(url, u"http://")) {
    rest = url.substr(7);
  } else {
    return false;
  }
  // A host must follow the scheme.
  if (rest.empty() || rest.front() == u'/') return false;
  for (const char16_t c : url) {
    if (IsUnsafeUrlChar(c)) return false;
  }
  return true;
}

}  // namespace

int32_t SuiteIsInstalled(Registry& registry) {
  RegistryKey key;
  if (RegistryKey::Open(registry, kHkeyLocalMachine,
                        std::u16string(kSuiteKeyPath).c_str(), kKeyAllAccess,
                        key) != kErrorSuccess) {
    return 0;
  }
  std::vector<uint8_t> buffer(kSuiteValueBytes);
  uint32_t bytes = kSuiteValueBytes;
  return registry.RegQueryValueExW(key.get(), u"", nullptr, buffer.data(),
                                   &bytes) == kErrorSuccess
             ? 1
             : 0;
}

std::u16string_view BannerPageFor(int32_t suiteInstalled) {
  return suiteInstalled != 0 ? kBannerPageSuiteInstalled
                             : kBannerPageSuiteMissing;
}

bool TitleShowsMakersPage(std::u16string_view title) {
  return FindSubstring(title, kBannerTitleMarker) != std::u16string_view::npos;
}

std::u16string BannerFallbackPage(FileSystem& files) {
  // A folder of that name is no page.
  if (auto home = FileBesideExecutable(files, kBannerHomePage);
      home && (files.GetFileAttributesW(home->c_str()) &
               kFileAttributeDirectory) == 0) {
    return *home;
  }
  return std::u16string(kBlankPage);
}

std::optional<std::u16string> PageAfterFirstDocument(
    FileSystem& files, std::optional<std::u16string_view> title) {
  if (!title || TitleShowsMakersPage(*title)) return std::nullopt;
  return BannerFallbackPage(files);
}

namespace {

// The value of one hexadecimal digit, or -1.
int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The path a file: address names ("file:///C:/a%20b/x.html" is
// "C:\a b\x.html"); escapes are UTF-8 bytes. None for other addresses,
// and for a broken escape.
std::optional<std::u16string> PathOfFileUrl(std::u16string_view url) {
  if (!StartsWithIgnoreAsciiCase(url, u"file:")) return std::nullopt;
  std::u16string_view rest = url.substr(5);
  // "file:///C:/..." and "file://C:/..." name a local path; a host
  // ("file://server/share") keeps its two slashes as a UNC name.
  if (rest.starts_with(u"///")) {
    rest.remove_prefix(3);
  } else if (rest.size() >= 4 && rest.starts_with(u"//") && rest[3] == u':') {
    rest.remove_prefix(2);
  }
  std::string bytes;
  while (!rest.empty()) {
    const size_t escape = rest.find(u'%');
    bytes += Utf16ToUtf8(rest.substr(0, escape));
    if (escape == std::u16string_view::npos) break;
    if (rest.size() - escape < 3) return std::nullopt;
    const int high = HexDigit(rest[escape + 1]);
    const int low = HexDigit(rest[escape + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
    rest.remove_prefix(escape + 3);
  }
  std::u16string path = Utf8ToUtf16(bytes);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

bool IsHomePage(std::u16string_view url, std::u16string_view homePage) {
  if (homePage.empty()) return false;
  if (EqualsIgnoreAsciiCase(url, homePage)) return true;
  const auto path = PathOfFileUrl(url);
  return path && EqualsIgnoreAsciiCase(*path, homePage);
}

// The decision for a marked address.
NavigationDecision DecideMarked(std::u16string_view url, size_t marker) {
  // The copy that is cut lives in a 33000-unit buffer with its terminator; an
  // address that does not fit is refused rather than cut short elsewhere.
  if (url.size() > kTextBufferChars - 1) return {NavigationAction::kCancel, {}};
  const std::u16string_view target = url.substr(0, marker);
  if (!IsWebAddress(target)) return {NavigationAction::kCancel, {}};
  return {NavigationAction::kOpenInBrowser, std::u16string(target)};
}

}  // namespace

NavigationDecision DecideNavigation(std::u16string_view url,
                                    NavigationTarget target,
                                    std::u16string_view homePage) {
  const size_t marker = FindSubstring(url, kDefaultBrowserMarker);
  if (marker != std::u16string_view::npos) return DecideMarked(url, marker);
  if (target == NavigationTarget::kFrame || HasWebScheme(url) ||
      EqualsIgnoreAsciiCase(url, kBlankPage) || IsHomePage(url, homePage)) {
    return {};
  }
  return {NavigationAction::kCancel, {}};
}

NavigationDecision DecideNewWindow(std::u16string_view url) {
  const size_t marker = FindSubstring(url, kDefaultBrowserMarker);
  if (marker != std::u16string_view::npos) return DecideMarked(url, marker);
  return {NavigationAction::kCancel, {}};
}

}  // namespace tavik
