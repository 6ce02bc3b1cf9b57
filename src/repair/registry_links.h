// Registry links: keys that stand for another key. Deleting one through the
// ordinary calls would delete what it points to (or the redirection itself),
// so the fix leaves every link, and every tree holding one, alone.
#pragma once

#include <cstdint>

#include "engine/registry_link.h"
#include "platform/registry.h"

namespace tavik {

enum class LinkCheck {
  kNoLink,   // the key and everything below it are ordinary keys
  kLink,     // the key, or a key below it, is a registry link
  kAbsent,   // the key does not exist
  kUnknown,  // some key could not be examined
};

// Examines root + path and its whole tree without following links below
// the path's own parent.
LinkCheck CheckTreeForLinks(Registry& registry, RegKey root,
                            const char16_t* path);

}  // namespace tavik
