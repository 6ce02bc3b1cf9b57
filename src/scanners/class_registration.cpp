#include "scanners/class_registration.h"

#include <array>

#include "base/text.h"
#include "engine/registry_key.h"

namespace tavik {

namespace {

struct RegistrationPlace {
  RegKey root;
  std::u16string_view prefix;
};

using RegistrationPlaces = std::array<RegistrationPlace, 6>;

// The six locations in the order every test tries them: merged view,
// machine, user; then the same three in the 32-bit view.
constexpr RegistrationPlaces kClassIdPlaces = {{
    {kHkeyClassesRoot, u"CLSID"},
    {kHkeyLocalMachine, u"Software\\Classes\\CLSID"},
    {kHkeyCurrentUser, u"Software\\Classes\\CLSID"},
    {kHkeyClassesRoot, u"Wow6432Node\\CLSID"},
    {kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes\\CLSID"},
    {kHkeyCurrentUser, u"Software\\Wow6432Node\\Classes\\CLSID"},
}};

constexpr RegistrationPlaces kAppIdPlaces = {{
    {kHkeyClassesRoot, u"AppID"},
    {kHkeyLocalMachine, u"Software\\Classes\\AppID"},
    {kHkeyCurrentUser, u"Software\\Classes\\AppID"},
    {kHkeyClassesRoot, u"Wow6432Node\\AppID"},
    {kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes\\AppID"},
    {kHkeyCurrentUser, u"Software\\Wow6432Node\\Classes\\AppID"},
}};

// "" stands for the classes root itself: the name is opened directly below.
constexpr RegistrationPlaces kClassNamePlaces = {{
    {kHkeyClassesRoot, u""},
    {kHkeyLocalMachine, u"Software\\Classes"},
    {kHkeyCurrentUser, u"Software\\Classes"},
    {kHkeyClassesRoot, u"Wow6432Node"},
    {kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes"},
    {kHkeyCurrentUser, u"Software\\Wow6432Node\\Classes"},
}};

int32_t IsRegisteredBelow(const ScanContext& context,
                          const RegistrationPlaces& places,
                          std::u16string_view name) {
  if (name.empty()) return 1;
  // Every built path must fit a work buffer with its terminator. A name too
  // long for the longest prefix cannot be judged, so it is kept rather than
  // judged through only some of the places.
  for (const auto& place : places) {
    if (place.prefix.size() + 1 + name.size() >= kTextBufferChars) return 1;
  }
  std::u16string path;
  path.reserve(kTextBufferChars);
  for (const auto& place : places) {
    path.assign(place.prefix);
    if (!path.empty()) path.push_back(u'\\');
    path.append(name);
    RegistryKey key;
    if (RegistryKey::Open(context.registry, place.root, path.c_str(), kKeyRead,
                          key) == kErrorSuccess) {
      return 1;
    }
  }
  return 0;
}

// " was not found in A, B, ... or F": the places in the order tried. Built
// once and kept for the program's life, so that every reason of its kind
// shares it.
std::u16string NotFoundEnding(const RegistrationPlaces& places) {
  std::u16string text = u" was not found in ";
  for (size_t i = 0; i < places.size(); ++i) {
    if (i > 0) text += i + 1 == places.size() ? u" or " : u", ";
    text += JoinKeyPath(RootDisplayName(places[i].root), places[i].prefix);
  }
  return text;
}

FindingReason NotRegisteredReason(ReasonKind kind, std::u16string_view name,
                                  std::u16string_view source,
                                  const std::u16string& ending) {
  return FindingReason{kind, ReasonDetail({source, name}, ending.c_str())};
}

std::u16string_view TextOf(const char16_t* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

}  // namespace

int32_t ClassIsRegistered(const ScanContext& context, const char16_t* id) {
  return IsRegisteredBelow(context, kClassIdPlaces, TextOf(id));
}

int32_t ClassIsRegistered(const ScanContext& context, std::u16string_view id) {
  return IsRegisteredBelow(context, kClassIdPlaces, id);
}

int32_t AppIdIsRegistered(const ScanContext& context, const char16_t* id) {
  return IsRegisteredBelow(context, kAppIdPlaces, TextOf(id));
}

int32_t AppIdIsRegistered(const ScanContext& context, std::u16string_view id) {
  return IsRegisteredBelow(context, kAppIdPlaces, id);
}

int32_t ClassNameIsRegistered(const ScanContext& context,
                              const char16_t* name) {
  return IsRegisteredBelow(context, kClassNamePlaces, TextOf(name));
}

int32_t ClassNameIsRegistered(const ScanContext& context,
                              std::u16string_view name) {
  return IsRegisteredBelow(context, kClassNamePlaces, name);
}

FindingReason ClassNotRegisteredReason(std::u16string_view id,
                                       std::u16string_view source) {
  static const std::u16string ending = NotFoundEnding(kClassIdPlaces);
  return NotRegisteredReason(ReasonKind::kClassNotRegistered, id, source,
                             ending);
}

FindingReason AppIdNotRegisteredReason(std::u16string_view id,
                                       std::u16string_view source) {
  static const std::u16string ending = NotFoundEnding(kAppIdPlaces);
  return NotRegisteredReason(ReasonKind::kAppIdNotRegistered, id, source,
                             ending);
}

FindingReason ClassNameNotRegisteredReason(std::u16string_view name,
                                           std::u16string_view source) {
  static const std::u16string ending = NotFoundEnding(kClassNamePlaces);
  return NotRegisteredReason(ReasonKind::kProgIdNotRegistered, name, source,
                             ending);
}

}  // namespace tavik
