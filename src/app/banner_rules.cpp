#include "app/banner_rules.h"

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
  if (auto home = FileBesideExecutable(files, kBannerHomePage)) return *home;
  return std::u16string(kBlankPage);
}

std::optional<std::u16string> PageAfterFirstDocument(
    FileSystem& files, std::optional<std::u16string_view> title) {
  if (!title || TitleShowsMakersPage(*title)) return std::nullopt;
  return BannerFallbackPage(files);
}

NavigationDecision DecideNavigation(std::u16string_view url) {
  const size_t marker = FindSubstring(url, kDefaultBrowserMarker);
  if (marker == std::u16string_view::npos) return {};
  // The copy that is cut lives in a 33000-unit buffer with its terminator; an
  // address that does not fit is refused rather than cut short elsewhere.
  if (url.size() > kTextBufferChars - 1) return {NavigationAction::kCancel, {}};
  const std::u16string_view target = url.substr(0, marker);
  if (!IsWebAddress(target)) return {NavigationAction::kCancel, {}};
  return {NavigationAction::kOpenInBrowser, std::u16string(target)};
}

}  // namespace tavik
